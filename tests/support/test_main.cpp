// One QApplication for every test of an executable. Qt runs on xcb (the suite runs under
// xvfb-run): libVLC embeds video only in X11 windows.
#include <gtest/gtest.h>

#include <QApplication>
#include <cstdlib>
#include <cstring>

int main(int argc, char** argv) {
    bool listing = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--gtest_list_tests") == 0) listing = true;
    }
    ::testing::InitGoogleTest(&argc, argv);
    if (listing) return RUN_ALL_TESTS();
    if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "xcb", 1);
    QApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
