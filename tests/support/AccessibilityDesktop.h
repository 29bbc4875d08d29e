#pragma once

#include <QProcess>
#include <QString>
#include <QTemporaryDir>

namespace testsupport {

// A desktop of a test program's own on which its windows are read as
// assistive tools read them: a virtual X server (Xvfb, on a display number
// it picks itself), a session bus, and on that bus AT-SPI's accessibility
// bus launcher, which starts the accessibility bus and its registry. Start()
// points the environment at it (DISPLAY, the session bus, Qt's xcb platform
// with its accessibility bridge on) for the QApplication made after it.
// Everything stops with the object, and also when the test program dies.
class AccessibilityDesktop {
public:
    AccessibilityDesktop() = default;
    ~AccessibilityDesktop();
    AccessibilityDesktop(const AccessibilityDesktop&) = delete;
    AccessibilityDesktop& operator=(const AccessibilityDesktop&) = delete;

    // Before any QCoreApplication exists; false with the reason.
    bool Start(QString* why);

private:
    bool StartXServer(QString* why);
    bool StartSessionBus(QString* why);
    bool StartAccessibilityBus(QString* why);

    QTemporaryDir m_runtimeDir;
    QProcess m_xServer;
    QProcess m_sessionBus;
};

}  // namespace testsupport
