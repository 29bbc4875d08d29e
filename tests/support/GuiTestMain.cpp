#include <QApplication>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <gtest/gtest.h>

// Widget tests run offscreen (ctest sets QT_QPA_PLATFORM=offscreen) and drive
// real widgets with QTest.
int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // The main window keeps a service record under the user's data folder:
    // tests get a data folder of their own, removed when they end.
    QTemporaryDir dataHome;
    bool ownDataHome = false;
#if defined(Q_OS_UNIX) && !defined(Q_OS_DARWIN)
    ownDataHome = dataHome.isValid() && qputenv("XDG_DATA_HOME", dataHome.path().toLocal8Bit());
#endif
    // Elsewhere (or without a temporary folder) Qt's test folders.
    if (!ownDataHome)
        QStandardPaths::setTestModeEnabled(true);
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
