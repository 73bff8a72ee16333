#include <gtest/gtest.h>

#ifdef KEL_TEST_QAPPLICATION
#include <QApplication>
#endif

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
#ifdef KEL_TEST_QAPPLICATION
    // Widget tests run on the offscreen platform; ctest sets it, a hand run gets it here.
    qputenv("QT_QPA_PLATFORM",
            qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
    QApplication app(argc, argv);
#endif
    return RUN_ALL_TESTS();
}
