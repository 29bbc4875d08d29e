#include "app/CSirensetApp.h"

#include "app/CSirensetDlg.h"
#include "resources/Texts.h"

#include <QCommandLineParser>
#include <QTimer>

#include <cstdio>

CSirensetApp::CSirensetApp(int& argc, char** argv)
    : QApplication(argc, argv)
{
    setApplicationName(QStringLiteral("Sirenset"));
    setApplicationVersion(QStringLiteral(SIRENSET_VERSION));
    setApplicationDisplayName(Texts::AppTitle());
}

int CSirensetApp::Run()
{
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Configures a wireless early-warning broadcast terminal over a serial line."));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption portOption(
        QStringList{QStringLiteral("port"), QStringLiteral("p")},
        QStringLiteral("Lists DEVICE first in the port list and opens it at start-up (repeatable)."),
        QStringLiteral("DEVICE"));
    const QCommandLineOption logOption(QStringLiteral("log-stdout"),
                                       QStringLiteral("Also prints every log line on standard output."));
    const QCommandLineOption quitOption(QStringLiteral("quit-after"),
                                        QStringLiteral("Closes the window after SECONDS (demonstrations)."),
                                        QStringLiteral("SECONDS"));
    parser.addOption(portOption);
    parser.addOption(logOption);
    parser.addOption(quitOption);
    if (!parser.parse(arguments())) {
        std::fprintf(stderr, "%s\n", qPrintable(parser.errorText()));
        return 2;
    }
    if (parser.isSet(QStringLiteral("help")))
        parser.showHelp(0);
    if (parser.isSet(QStringLiteral("version")))
        parser.showVersion();

    MainWindowOptions options;
    options.extraPorts = parser.values(portOption);
    options.logToStdout = parser.isSet(logOption);

    CSirensetDlg dialog(options);
    if (parser.isSet(quitOption)) {
        const int seconds = parser.value(quitOption).toInt();
        QTimer::singleShot(seconds * 1000, &dialog, &QDialog::accept);
    }
    dialog.show();
    dialog.exec();
    return 0;
}
