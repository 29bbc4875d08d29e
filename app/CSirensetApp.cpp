#include "app/CSirensetApp.h"

#include "logpane/CLogPane.h"
#include "batch/CSignalWatcher.h"
#include "app/CSirensetDlg.h"
#include "batch/CommandLine.h"
#include "controls/CUiLanguage.h"
#include "controls/MessageBoxes.h"
#include "records/RecordLocation.h"
#include "resources/Texts.h"

#include <QSettings>
#include <QTimer>

#include <cstdio>

CSirensetApp::CSirensetApp(int& argc, char** argv)
    : QApplication(argc, argv)
{
    Configure(*this);
}

void CSirensetApp::Configure(QApplication& app)
{
    app.setApplicationName(QStringLiteral("Sirenset"));
    app.setApplicationVersion(QStringLiteral(SIRENSET_VERSION));
    // No display name: the platform would append it to every window's
    // title, and each window has exactly its own.
    CUiLanguage::Install(app);
    MessageBoxes::SetDefaultCaption(Texts::AppTitle());
}

void CSirensetApp::SaveScreenshot(CSirensetDlg& dialog)
{
    // scripts/screenshot.sh photographs the window as it stands when it
    // quits, for the README.
    const QString path = qEnvironmentVariable("SIRENSET_SCREENSHOT");
    if (path.isEmpty())
        return;
    dialog.LogPane()->ShowPendingEntries();
    if (!dialog.grab().save(path))
        std::fprintf(stderr, "sirenset: cannot write the screenshot %s\n", qPrintable(path));
}

namespace {

// What the user chose last, in the user's settings (~/.config/Sirenset/).
QString StoredChoice(const QString& key)
{
    return QSettings(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("Sirenset"), QStringLiteral("Sirenset"))
        .value(key)
        .toString();
}

void StoreChoice(const QString& key, const QString& value)
{
    QSettings(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("Sirenset"), QStringLiteral("Sirenset"))
        .setValue(key, value);
}

}  // namespace

MainWindowOptions CSirensetApp::WindowOptions(const CommandLine& command)
{
    MainWindowOptions options;
    options.extraPorts = command.ports;
    options.logToStdout = command.logToStdout;
    options.communicationMode = command.communicationMode;
    options.hexDisplay = command.hexDisplay;
    options.timeStamps = command.timeStamps;
    options.record = command.record;
    // --db for this run; else the location last chosen in 设备档案.
    options.recordDatabase = command.database.isEmpty() ? StoredChoice(QStringLiteral("records/database")) : command.database;
    options.recordLocationChosen = [](const QString& location) {
        // A password typed into an address serves this session only; the
        // next start finds it where libpq looks (PGPASSWORD, ~/.pgpass).
        // 设备档案 hands on only a location that parses.
        StoreChoice(QStringLiteral("records/database"), location.isEmpty() ? QString() : RecordLocation::Redacted(location));
    };
    // --profile for this run; else the profile last chosen in the window.
    options.profileFile = command.profileFile.isEmpty() ? StoredChoice(QStringLiteral("profiles/path")) : command.profileFile;
    options.profileChosen = [](const QString& path) { StoreChoice(QStringLiteral("profiles/path"), path); };
    return options;
}

int CSirensetApp::Run(const CommandLine& command)
{
    const MainWindowOptions options = WindowOptions(command);
    CSirensetDlg dialog(options);
    if (command.quitAfterSeconds > 0) {
        QTimer::singleShot(command.quitAfterSeconds * 1000, &dialog, [&dialog] {
            SaveScreenshot(dialog);
            dialog.accept();
        });
    }
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
