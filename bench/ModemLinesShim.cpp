// LD_PRELOAD shim for the side-by-side benchmark only: a pseudo-terminal has
// no modem lines, and a program that sets DTR/RTS or reads them (CuteCom,
// through QSerialPort) takes the failure as a broken port and closes it.
// Here those four requests succeed on any descriptor that refuses them,
// reporting the lines a cable with everything connected would show.
// Every other request goes to the C library unchanged.

#include <dlfcn.h>
#include <sys/ioctl.h>

#include <cerrno>
#include <cstdarg>

extern "C" int ioctl(int fd, unsigned long request, ...)
{
    using RealIoctl = int (*)(int, unsigned long, ...);
    static const RealIoctl real = reinterpret_cast<RealIoctl>(dlsym(RTLD_NEXT, "ioctl"));
    va_list arguments;
    va_start(arguments, request);
    void* argument = va_arg(arguments, void*);
    va_end(arguments);
    const int result = real(fd, request, argument);
    if (result == 0 || (errno != ENOTTY && errno != EINVAL))
        return result;
    switch (request) {
    case TIOCMGET:
        if (argument)
            *static_cast<int*>(argument) = TIOCM_DTR | TIOCM_RTS | TIOCM_CTS | TIOCM_DSR | TIOCM_CAR;
        return 0;
    case TIOCMSET:
    case TIOCMBIS:
    case TIOCMBIC:
        return 0;
    default:
        return result;
    }
}
