#include <gtest/gtest.h>

#include <QApplication>

// The application object must outlive every test and go before Qt's own
// globals are torn down, so it lives in main's frame.
int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    // Tests never put windows on a real screen.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    return RUN_ALL_TESTS();
}
