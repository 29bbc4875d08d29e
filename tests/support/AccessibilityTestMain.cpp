#include "support/AccessibilityDesktop.h"

#include <QApplication>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cstdio>

#if defined(__SANITIZE_ADDRESS__)
// On xcb, libxkbcommon-x11 copies the keymap's names with strndup() from
// reply data that is not zero-terminated, which is allowed; AddressSanitizer's
// strndup() check with strict_string_checks (as the test run sets it) reports
// it all the same. Options the environment names still win.
extern "C" const char* __asan_default_options()
{
    return "intercept_strndup=0";
}
#endif

// Widget tests that read the windows over AT-SPI, as screen readers do: on
// Qt's xcb platform, under an X server and an accessibility bus of their
// own, which must exist before the application does.
int main(int argc, char** argv)
{
    testsupport::AccessibilityDesktop desktop;
    QString why;
    if (!desktop.Start(&why)) {
        std::fprintf(stderr, "No desktop with an accessibility bus: %s\n", qPrintable(why));
        return 1;
    }
    // As for the other widget tests: a data folder of their own.
    QTemporaryDir dataHome;
    if (!dataHome.isValid() || !qputenv("XDG_DATA_HOME", dataHome.path().toLocal8Bit()))
        QStandardPaths::setTestModeEnabled(true);
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
