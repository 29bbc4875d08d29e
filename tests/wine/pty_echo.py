#!/usr/bin/env python3
"""Plays the far end of a COM port for the Win32 port checks: makes a
pseudo-terminal, prints its slave path, and echoes every byte back until
it is told to stop (SIGTERM)."""
import os
import pty
import select
import signal
import sys
import termios
import tty

master, slave = pty.openpty()
# Raw, so that the line discipline neither echoes nor maps bytes.
tty.setraw(slave, termios.TCSANOW)
print(os.ttyname(slave), flush=True)
signal.signal(signal.SIGTERM, lambda *_: sys.exit(0))
while True:
    select.select([master], [], [])
    try:
        data = os.read(master, 4096)
    except OSError:
        continue
    os.write(master, data)
