// main of the GUI tests: one QApplication per test process, with a throwaway runtime and
// configuration, on the offscreen platform unless a test run chose another (the suite runs
// under one virtual X display; QT_QPA_PLATFORM=xcb selects it).
#include "GuiTestSupport.h"
#include "ui/ZarnView.h"

#include <QApplication>
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>

// The browser engine frees some of its own objects through a base of another size, which
// the address sanitizer reports on every page teardown, and it keeps objects until the
// process ends: both checks are off for the GUI tests (the suite sets the same in ASAN_OPTIONS,
// which wins over this).
extern "C" const char* __asan_default_options() {
    return "new_delete_type_mismatch=0:detect_leaks=0";
}

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    // Listing the tests at build time needs no application at all.
    if (::testing::GTEST_FLAG(list_tests))
        return RUN_ALL_TESTS();

    setenv("QTWEBENGINE_DISABLE_SANDBOX", "1", 0); // Chromium refuses to run as root otherwise
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    setenv("QT_QUICK_BACKEND", "software", 0);
    // Runtime folder (single-instance block, sockets) and configuration of this process only.
    static TempDir runtime;
    ::chmod(runtime.Path().c_str(), 0700);
    setenv("XDG_RUNTIME_DIR", runtime.Path().c_str(), 1);
    setenv("MIVOKLIENT_CONFIG_DIR", (runtime.Path() + "/config").c_str(), 1);
    setenv("MIVOKLIENT_SYSCONF_DIR", (runtime.Path() + "/etc").c_str(), 1);
    std::filesystem::create_directories(GuiArtifactsDir());

    CZarnView::RegisterPageScheme(); // before the application, as the engine requires
    QApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
