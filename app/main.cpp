#include "app/CBatchRunner.h"
#include "app/CSignalRun.h"
#include "app/CConfigFileEdit.h"
#include "app/CSirensetApp.h"
#include "app/CommandLine.h"
#include "records/RecordCommands.h"

#include <QCoreApplication>

#include <cstdio>

namespace {

QStringList Arguments(int argc, char** argv)
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    return arguments;
}

}  // namespace

int main(int argc, char** argv)
{
    const CommandLine command = ParseCommandLine(Arguments(argc, argv));
    switch (command.mode) {
    case CommandLine::Mode::Error:
        std::fprintf(stderr, "sirenset: %s\n\n%s", qPrintable(command.error), qPrintable(command.helpText));
        return 2;
    case CommandLine::Mode::Help:
        std::fputs(qPrintable(command.helpText), stdout);
        return 0;
    case CommandLine::Mode::Version:
        std::printf("sirenset %s\n", SIRENSET_VERSION);
        return 0;
    case CommandLine::Mode::Read:
    case CommandLine::Mode::Apply:
    case CommandLine::Mode::Diff: {
        // No window, so no display is needed.
        QCoreApplication app(argc, argv);
        CBatchRunner runner(command);
        return runner.Run();
    }
    case CommandLine::Mode::Signal: {
        QCoreApplication app(argc, argv);
        CSignalRun run(command);
        return run.Run();
    }
    case CommandLine::Mode::Edit:
        return CConfigFileEdit(command).Run(stdout, stderr);
    case CommandLine::Mode::History: {
        // Qt SQL loads its drivers through the application object.
        QCoreApplication app(argc, argv);
        return PrintHistory(command.database, command.historyDevice, command.json, stdout, stderr);
    }
    case CommandLine::Mode::Export: {
        QCoreApplication app(argc, argv);
        return ExportSnapshot(command.database, command.exportSnapshot, command.exportFile, stderr);
    }
    case CommandLine::Mode::Window:
        break;
    }
    CSirensetApp app(argc, argv);
    return app.Run(command);
}
