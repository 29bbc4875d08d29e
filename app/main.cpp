#include "batch/CBatchRunner.h"
#include "batch/CSignalRun.h"
#include "batch/CConfigFileEdit.h"
#include "batch/CComplianceRun.h"
#include "batch/CProfileFileCheck.h"
#include "batch/CReportRun.h"
#include "batch/ReportVerify.h"
#include "app/CSirensetApp.h"
#include "batch/CommandLine.h"
#include "records/CRecordWriter.h"
#include "records/RecordCommands.h"

#include <QCoreApplication>
#include <QDateTime>

#include <cstdio>
#include <cstdlib>

namespace {

QStringList Arguments(int argc, char** argv)
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    return arguments;
}

// The end of a process that recorded. A record writer that is stuck inside
// its database's library (a server that never answers) was left running:
// the process ends here, its output flushed, without the static destructors
// that would pull Qt's SQL drivers out from under it. What it had not
// written waits in the outbox already.
int EndProcess(int status)
{
    if (CRecordWriter::RunningDetached() == 0)
        return status;
    std::fflush(nullptr);
    std::_Exit(status);
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
    case CommandLine::Mode::Diff:
    case CommandLine::Mode::Conform: {
        // No window, so no display is needed.
        QCoreApplication app(argc, argv);
        int status = 0;
        {
            // Its ports and records are closed before the process ends.
            CBatchRunner runner(command);
            status = runner.Run();
        }
        return EndProcess(status);
    }
    case CommandLine::Mode::Signal: {
        QCoreApplication app(argc, argv);
        int status = 0;
        {
            CSignalRun run(command);
            status = run.Run();
        }
        return EndProcess(status);
    }
    case CommandLine::Mode::Acceptance:
    case CommandLine::Mode::Inspection:
        return EndProcess(CReportRun::RunCommand(command, argc, argv));
    case CommandLine::Mode::VerifyReport: {
        QCoreApplication app(argc, argv);
        return VerifyReport(command.database, command.verifyNumber, command.verifyDigest, stdout, stderr);
    }
    case CommandLine::Mode::Edit:
        return CConfigFileEdit(command).Run(stdout, stderr);
    case CommandLine::Mode::Check:
        return CProfileFileCheck(command).Run(stdout, stderr);
    case CommandLine::Mode::Compliance: {
        QCoreApplication app(argc, argv);
        return CComplianceRun(command).Run(stdout, stderr, QDateTime::currentMSecsSinceEpoch());
    }
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
    return EndProcess(app.Run(command));
}
