#include <gtest/gtest.h>

#include <QApplication>

// The windows need a widget application; without a display (test discovery, CI) the offscreen
// platform draws them in memory.
int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
