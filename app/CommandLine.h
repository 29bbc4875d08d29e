#pragma once

#include <QString>
#include <QStringList>

// What the command line asks for.
struct CommandLine {
    enum class Mode { Window, Read, Apply, Help, Version, Error };

    Mode mode = Mode::Window;
    QStringList ports;           // --port, in the order given
    int baudRate = 115200;       // --baud
    int powerOnTimeoutSeconds = 120;  // --timeout
    QString file;                // --read / --apply
    bool logToStdout = false;    // --log-stdout (window)
    int quitAfterSeconds = 0;    // --quit-after (window demonstrations)
    QString error;               // Mode::Error: what was wrong
    QString helpText;

    bool IsBatch() const { return mode == Mode::Read || mode == Mode::Apply; }
};

// Parses the arguments (argv[0] included). Needs no application object.
CommandLine ParseCommandLine(const QStringList& arguments);
