#include <gtest/gtest.h>

#include <QCoreApplication>

// The engine's tests need an application object for the event loop, timers and sockets.
int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
