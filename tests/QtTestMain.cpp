// Test main for tests that need a Qt application (fonts, painting, widgets, the
// clipboard): the offscreen platform, so no display is needed. VARIMARK_TEST_QPA names another
// (the desktop test runs the window's tests on a real X server with "xcb").
#include <QApplication>

#include <gtest/gtest.h>

int main(int argc, char** argv) {
    const QByteArray platform = qgetenv("VARIMARK_TEST_QPA");
    qputenv("QT_QPA_PLATFORM", platform.isEmpty() ? QByteArray("offscreen") : platform);
    QApplication application(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
