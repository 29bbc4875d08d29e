#include "support/AccessibilityDesktop.h"

#include <QApplication>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cstdio>

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
