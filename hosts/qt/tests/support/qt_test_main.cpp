// The entry point of the desktop host's tests: a private X server and one
// QApplication on it for the whole run. Listing the tests needs neither.
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <memory>

#include <QApplication>
#include <gtest/gtest.h>

#include "xvfb/xvfb_server.h"

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    if (testing::GTEST_FLAG(list_tests)) return RUN_ALL_TESTS();
    orrery::qt::XvfbServer server;
    if (server.display().empty()) {
        std::cerr << "no X server for the tests: " << server.error() << '\n';
        return 1;
    }
    setenv("DISPLAY", server.display().c_str(), 1);
    setenv("QT_QPA_PLATFORM", "xcb", 1);
    unsetenv("WAYLAND_DISPLAY");
    // A fixed density, whatever the desktop the tests were started from says:
    // 1, or the one the test program is built for.
#ifndef ORRERY_TEST_SCALE_FACTOR
#define ORRERY_TEST_SCALE_FACTOR "1"
#endif
    setenv("QT_SCALE_FACTOR", ORRERY_TEST_SCALE_FACTOR, 1);
    unsetenv("QT_SCREEN_SCALE_FACTORS");
    unsetenv("QT_ENABLE_HIGHDPI_SCALING");
    int qtArgc = 1;
    QApplication app(qtArgc, argv);
    QApplication::setApplicationDisplayName(QStringLiteral("OrreryCtl tests"));
    return RUN_ALL_TESTS();
}
