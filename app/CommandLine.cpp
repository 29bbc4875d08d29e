#include "app/CommandLine.h"

#include <QCommandLineParser>

namespace {

bool ReadPositive(const QString& text, int* value)
{
    bool ok = false;
    const int number = text.toInt(&ok);
    if (!ok || number <= 0)
        return false;
    *value = number;
    return true;
}

// Seconds become milliseconds for a timer: a day at most keeps that far
// inside an int.
constexpr int kMaxSeconds = 86400;

bool ReadSeconds(const QString& text, int* value)
{
    int seconds = 0;
    if (!ReadPositive(text, &seconds) || seconds > kMaxSeconds)
        return false;
    *value = seconds;
    return true;
}

}  // namespace

CommandLine ParseCommandLine(const QStringList& arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Configures a wireless early-warning broadcast terminal over a serial line.\n"
        "Without --read or --apply the window opens; with them the same conversation runs\n"
        "without a window: wait for the terminal's power-on, enter configuration mode, then\n"
        "save its configuration to FILE (--read) or configure it from FILE (--apply)."));
    const QCommandLineOption help(QStringList{QStringLiteral("h"), QStringLiteral("help")},
                                  QStringLiteral("Shows this help."));
    const QCommandLineOption version(QStringList{QStringLiteral("v"), QStringLiteral("version")},
                                     QStringLiteral("Shows the version."));
    const QCommandLineOption port(QStringList{QStringLiteral("p"), QStringLiteral("port")},
                                  QStringLiteral("Serial device to use; listed first in the window (repeatable)."),
                                  QStringLiteral("DEVICE"));
    const QCommandLineOption baud(QStringLiteral("baud"), QStringLiteral("Line speed (default 115200)."),
                                  QStringLiteral("RATE"));
    const QCommandLineOption timeout(QStringLiteral("timeout"),
                                     QStringLiteral("How long to wait for the power-on, 1 to 86400 (default 120)."),
                                     QStringLiteral("SECONDS"));
    const QCommandLineOption read(QStringLiteral("read"),
                                  QStringLiteral("Save the terminal's configuration to FILE."), QStringLiteral("FILE"));
    const QCommandLineOption apply(QStringLiteral("apply"), QStringLiteral("Configure the terminal from FILE."),
                                   QStringLiteral("FILE"));
    const QCommandLineOption logStdout(QStringLiteral("log-stdout"),
                                       QStringLiteral("Window: also print every log line on standard output."));
    const QCommandLineOption quitAfter(QStringLiteral("quit-after"),
                                       QStringLiteral("Window: close after SECONDS (demonstrations)."),
                                       QStringLiteral("SECONDS"));
    parser.addOptions({help, version, port, baud, timeout, read, apply, logStdout, quitAfter});

    CommandLine command;
    // Without an application object the parser does not know our name.
    command.helpText = parser.helpText().replace(QStringLiteral("<executable_name>"), QStringLiteral("sirenset"));
    const auto fail = [&command](const QString& why) {
        command.mode = CommandLine::Mode::Error;
        command.error = why;
        return command;
    };
    if (!parser.parse(arguments))
        return fail(parser.errorText());
    if (!parser.positionalArguments().isEmpty())
        return fail(QStringLiteral("Unexpected argument: %1").arg(parser.positionalArguments().constFirst()));
    if (parser.isSet(help)) {
        command.mode = CommandLine::Mode::Help;
        return command;
    }
    if (parser.isSet(version)) {
        command.mode = CommandLine::Mode::Version;
        return command;
    }

    command.ports = parser.values(port);
    command.logToStdout = parser.isSet(logStdout);
    if (parser.isSet(baud) && !ReadPositive(parser.value(baud), &command.baudRate))
        return fail(QStringLiteral("--baud needs a positive number, not \"%1\"").arg(parser.value(baud)));
    if (parser.isSet(timeout) && !ReadSeconds(parser.value(timeout), &command.powerOnTimeoutSeconds))
        return fail(QStringLiteral("--timeout needs a number of seconds from 1 to %1, not \"%2\"")
                        .arg(kMaxSeconds)
                        .arg(parser.value(timeout)));
    if (parser.isSet(quitAfter) && !ReadSeconds(parser.value(quitAfter), &command.quitAfterSeconds))
        return fail(QStringLiteral("--quit-after needs a number of seconds from 1 to %1").arg(kMaxSeconds));

    if (parser.isSet(read) && parser.isSet(apply))
        return fail(QStringLiteral("--read and --apply cannot be used together"));
    if (parser.isSet(read) || parser.isSet(apply)) {
        command.mode = parser.isSet(read) ? CommandLine::Mode::Read : CommandLine::Mode::Apply;
        command.file = parser.value(parser.isSet(read) ? read : apply);
        if (command.file.isEmpty())
            return fail(QStringLiteral("--read and --apply need a file name"));
        if (command.ports.size() != 1)
            return fail(QStringLiteral("--read and --apply need exactly one --port DEVICE"));
    }
    return command;
}
