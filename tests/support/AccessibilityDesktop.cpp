#include "support/AccessibilityDesktop.h"

#include <csignal>
#include <sys/prctl.h>

namespace testsupport {

namespace {

// Starting a server on a loaded machine can take a while; a server that
// does not come up at all is reported after this.
constexpr int kStartLimitMs = 60000;

// The servers end with the test program even when it is killed or aborts
// (a sanitizer report, a time-out), so none is left behind.
void EndWithParent(QProcess& process)
{
    process.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGTERM); });
}

// The first line `process` prints, or an empty text when it ends first.
QString FirstLine(QProcess& process)
{
    while (!process.canReadLine()) {
        if (process.state() == QProcess::NotRunning || !process.waitForReadyRead(kStartLimitMs))
            return {};
    }
    return QString::fromLocal8Bit(process.readLine()).trimmed();
}

void Stop(QProcess& process)
{
    if (process.state() == QProcess::NotRunning)
        return;
    process.terminate();
    if (!process.waitForFinished(10000)) {
        process.kill();
        process.waitForFinished(10000);
    }
}

}  // namespace

AccessibilityDesktop::~AccessibilityDesktop()
{
    // The bus first: the launcher and the accessibility bus end with it.
    Stop(m_sessionBus);
    Stop(m_xServer);
}

bool AccessibilityDesktop::Start(QString* why)
{
    if (!m_runtimeDir.isValid()) {
        *why = QStringLiteral("no temporary folder");
        return false;
    }
    // The launcher keeps its bus socket under XDG_RUNTIME_DIR: ours, so that
    // desktops of programs running side by side keep apart.
    qputenv("XDG_RUNTIME_DIR", m_runtimeDir.path().toLocal8Bit());
    // A bus named directly would bypass the launcher; Qt then misses the
    // moment its bridge could start.
    qunsetenv("AT_SPI_BUS_ADDRESS");
    if (!StartXServer(why) || !StartSessionBus(why) || !StartAccessibilityBus(why))
        return false;
    qputenv("QT_QPA_PLATFORM", "xcb");
    qputenv("QT_LINUX_ACCESSIBILITY_ALWAYS_ON", "1");
    return true;
}

bool AccessibilityDesktop::StartXServer(QString* why)
{
    // -displayfd: the server takes the first free display and prints its
    // number, so parallel runs never race for one.
    EndWithParent(m_xServer);
    m_xServer.setStandardErrorFile(QProcess::nullDevice());
    m_xServer.start(QStringLiteral("Xvfb"), {QStringLiteral("-displayfd"), QStringLiteral("1"),
                                             QStringLiteral("-screen"), QStringLiteral("0"),
                                             QStringLiteral("1600x1200x24"), QStringLiteral("-nolisten"),
                                             QStringLiteral("tcp")});
    const QString display = FirstLine(m_xServer);
    bool isNumber = false;
    display.toUInt(&isNumber);
    if (!isNumber) {
        *why = QStringLiteral("Xvfb did not start: %1").arg(m_xServer.errorString());
        return false;
    }
    qputenv("DISPLAY", (QLatin1Char(':') + display).toLocal8Bit());
    return true;
}

bool AccessibilityDesktop::StartSessionBus(QString* why)
{
    EndWithParent(m_sessionBus);
    m_sessionBus.setStandardErrorFile(QProcess::nullDevice());
    m_sessionBus.start(QStringLiteral("dbus-daemon"),
                       {QStringLiteral("--session"), QStringLiteral("--nofork"), QStringLiteral("--print-address=1")});
    const QString address = FirstLine(m_sessionBus);
    if (address.isEmpty()) {
        *why = QStringLiteral("dbus-daemon did not start: %1").arg(m_sessionBus.errorString());
        return false;
    }
    qputenv("DBUS_SESSION_BUS_ADDRESS", address.toLocal8Bit());
    return true;
}

bool AccessibilityDesktop::StartAccessibilityBus(QString* why)
{
    // Asking the launcher for the bus starts it (the session bus activates
    // it) and waits until the bus is there. Qt's bridge looks for the
    // launcher when the application starts: it must run by then.
    QProcess ask;
    ask.start(QStringLiteral("dbus-send"),
              {QStringLiteral("--session"), QStringLiteral("--print-reply"),
               QStringLiteral("--reply-timeout=%1").arg(kStartLimitMs), QStringLiteral("--dest=org.a11y.Bus"),
               QStringLiteral("/org/a11y/bus"), QStringLiteral("org.a11y.Bus.GetAddress")});
    if (!ask.waitForFinished(kStartLimitMs) || ask.exitCode() != 0) {
        *why = QStringLiteral("the accessibility bus did not start: %1%2")
                   .arg(ask.errorString(), QString::fromLocal8Bit(ask.readAllStandardError()));
        return false;
    }
    return true;
}

}  // namespace testsupport
