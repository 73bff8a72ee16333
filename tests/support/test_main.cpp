#include <gtest/gtest.h>

#ifdef KEL_TEST_QAPPLICATION
#include <QApplication>
#include <cstdio>

#include "platform/offscreen_screen.h"
#endif

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
#ifdef KEL_TEST_QAPPLICATION
    // Widget tests run on the offscreen platform with a screen as large as the station's default
    // (the plain offscreen screen is smaller than the smallest window the station accepts).
    std::string config;
    QByteArray platform = qgetenv("QT_QPA_PLATFORM");
    if (platform.isEmpty() || platform == "offscreen") {
        config = kel::WriteOffscreenScreenConfig(1280, 1024);
        qputenv("QT_QPA_PLATFORM", QByteArray::fromStdString(kel::OffscreenPlatform(config)));
    }
    QApplication app(argc, argv);
    if (!config.empty())
        std::remove(config.c_str());
#endif
    return RUN_ALL_TESTS();
}
