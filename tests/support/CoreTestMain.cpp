#include <QCoreApplication>
#include <gtest/gtest.h>

// Device logic runs without widgets, but it still needs an event loop on the
// main thread: notifications and log lines are delivered through it.
int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
