#include "app/CSirensetApp.h"

#include "app/CSignalWatcher.h"
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
    // SIGTERM or SIGINT close the window as the user would: the dialog's
    // controller then releases the port and stops its worker in order.
    int status = 0;
    CSignalWatcher watcher;
    QObject::connect(&watcher, &CSignalWatcher::terminationRequested, &dialog, [&](int number) {
        status = CSignalWatcher::ExitStatusFor(number);
        dialog.done(QDialog::Rejected);
    });
    dialog.show();
    dialog.exec();
    return status;
}
