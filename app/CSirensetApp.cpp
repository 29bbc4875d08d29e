#include "app/CSirensetApp.h"

#include "app/CSirensetDlg.h"
#include "app/CommandLine.h"
#include "resources/Texts.h"

#include <QTimer>

CSirensetApp::CSirensetApp(int& argc, char** argv)
    : QApplication(argc, argv)
{
    setApplicationName(QStringLiteral("Sirenset"));
    setApplicationVersion(QStringLiteral(SIRENSET_VERSION));
    setApplicationDisplayName(Texts::AppTitle());
}

int CSirensetApp::Run(const CommandLine& command)
{
    MainWindowOptions options;
    options.extraPorts = command.ports;
    options.logToStdout = command.logToStdout;

    CSirensetDlg dialog(options);
    if (command.quitAfterSeconds > 0)
        QTimer::singleShot(command.quitAfterSeconds * 1000, &dialog, &QDialog::accept);
    dialog.show();
    dialog.exec();
    return 0;
}
