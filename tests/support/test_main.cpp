#include <gtest/gtest.h>

#if defined(KEL_TEST_QAPPLICATION) || defined(KEL_TEST_QGUIAPPLICATION)
#ifdef KEL_TEST_QAPPLICATION
#include <QApplication>
#else
#include <QGuiApplication>
#endif
#include <cstdio>

#include "platform/offscreen_screen.h"
#endif

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
#if defined(KEL_TEST_QAPPLICATION) || defined(KEL_TEST_QGUIAPPLICATION)
    // Qt tests run on the offscreen platform with a screen as large as the station's default
    // (the plain offscreen screen is smaller than the smallest window the station accepts).
    std::string config;
    QByteArray platform = qgetenv("QT_QPA_PLATFORM");
    if (platform.isEmpty() || platform == "offscreen") {
        config = kel::WriteOffscreenScreenConfig(1280, 1024);
        qputenv("QT_QPA_PLATFORM", QByteArray::fromStdString(kel::OffscreenPlatform(config)));
    }
#ifdef KEL_TEST_QAPPLICATION
    QApplication app(argc, argv);
#else
    QGuiApplication app(argc, argv);
#endif
    if (!config.empty())
        std::remove(config.c_str());
#endif
    return RUN_ALL_TESTS();
}
