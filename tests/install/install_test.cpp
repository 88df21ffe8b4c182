// The installed package: this build is installed into a temporary prefix
// (`cmake --install BUILD --prefix P`), and a host outside the tree
// (tests/install/host) is built against it with find_package(OrreryCtl) and
// with pkg-config, then run: it shows pictures it writes on a control of the
// headless backend (and, with Qt, in an OrreryWidget) and reports what shows.
#include <dlfcn.h>

#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/dib_builder.h"
#include "support/test_support.h"
#include "support/tool_runner.h"

namespace orrery::test {
namespace {

namespace fs = std::filesystem;

// A shell command run in `folder`; its output is kept for the failure message.
ToolRun shell(const fs::path& folder, const std::string& command) {
    return runTool("/bin/sh", folder, {"-c", command});
}

std::string shellWord(const fs::path& path) { return "'" + path.string() + "'"; }

std::string describe(const ToolRun& run) {
    return "exit " + std::to_string(run.exitCode) + "\n--- output\n" + run.out + "\n--- errors\n" + run.err;
}

// The codec plug-in reads TARGA files; without it they are unknown.
bool codecPluginInstalled() {
    void* library = dlopen("libfreeimage.so.3", RTLD_LAZY | RTLD_LOCAL);
    if (library) dlclose(library);
    return library != nullptr;
}

constexpr const char* kShownBmp = "bmp: 40 x 30, centre 336699";
constexpr const char* kShownTarga = "tga: 40 x 30, centre 336699";

class InstalledPackageTest : public ::testing::Test {
protected:
    void SetUp() override {
        const ToolRun install = shell(dir_.path(), std::string(shellWord(ORRERY_CMAKE)) + " --install " +
                                                       shellWord(ORRERY_BUILD_DIR) + " --prefix " + shellWord(prefix()));
        ASSERT_EQ(install.exitCode, 0) << describe(install);
    }
    fs::path prefix() const { return dir_.file("prefix"); }
    fs::path libDir() const { return prefix() / ORRERY_INSTALL_LIBDIR; }

    TempDir dir_;
};

TEST_F(InstalledPackageTest, LaysOutProgramsLibrariesHeadersAndTheDesktopEntry) {
    for (const char* program : {"orrery", "orrery-codec-worker"})
        EXPECT_TRUE(fs::exists(prefix() / "bin" / program)) << program;
    for (const char* library : {"liborreryctl.a", "liborrery_platform.a", "liborreryctl.so"})
        EXPECT_TRUE(fs::exists(libDir() / library)) << library;
    // The public header and what it includes, at the paths its directives name.
    const fs::path include = prefix() / "include" / "orreryctl";
    for (const char* header : {"orrery/orrery.h", "control/orrery.h", "platform/window/headless_backend.h",
                               "platform/gdiplus/graphics.h", "viewer/view_state.h"})
        EXPECT_TRUE(fs::exists(include / header)) << header;
    EXPECT_TRUE(fs::exists(libDir() / "cmake" / "OrreryCtl" / "OrreryCtlConfig.cmake"));
    EXPECT_TRUE(fs::exists(libDir() / "pkgconfig" / "orreryctl.pc"));
#if ORRERY_INSTALL_QT
    EXPECT_TRUE(fs::exists(prefix() / "bin" / "orrery-view"));
    EXPECT_TRUE(fs::exists(include / "orrery" / "qt" / "orrery_widget.h"));
    const std::string desktop = readText(prefix() / "share" / "applications" / "orrery-view.desktop");
    EXPECT_NE(desktop.find("Exec=orrery-view %f"), std::string::npos) << desktop;
    EXPECT_NE(desktop.find("MimeType=image/jpeg;"), std::string::npos) << desktop;
    EXPECT_NE(desktop.find("application/pdf;"), std::string::npos) << desktop;
#endif
    // The installed tool runs from there.
    DibLayout layout;
    layout.width = 7;
    layout.height = 5;
    layout.bitCount = 24;
    layout.bits.assign(size_t{dibStride(7, 24)} * 5, 0x80);
    writeFile(dir_.file("grey.bmp"), bmpFile(layout));
    const ToolRun info = runTool((prefix() / "bin" / "orrery").string(), dir_.path(), {"info", "grey.bmp"});
    EXPECT_EQ(info.exitCode, 0) << describe(info);
    EXPECT_NE(info.out.find("7 x 5"), std::string::npos) << describe(info);
}

TEST_F(InstalledPackageTest, HostBuiltWithFindPackageShowsPictures) {
    const fs::path build = dir_.file("host-build");
    const std::string configure = std::string(shellWord(ORRERY_CMAKE)) + " -S " + shellWord(ORRERY_HOST_SOURCE) + " -B " +
                                  shellWord(build) + " -G '" ORRERY_GENERATOR "' -DCMAKE_BUILD_TYPE=Release" +
                                  " -DCMAKE_CXX_COMPILER=" + shellWord(ORRERY_CXX) +
                                  " -DCMAKE_PREFIX_PATH=" + shellWord(prefix()) +
                                  " -DHOST_WITH_QT=" + (ORRERY_INSTALL_QT ? "ON" : "OFF");
    const ToolRun configured = shell(dir_.path(), configure);
    ASSERT_EQ(configured.exitCode, 0) << describe(configured);
    // The package of the temporary prefix, not one installed elsewhere.
    const std::string cache = readText(build / "CMakeCache.txt");
    EXPECT_NE(cache.find("OrreryCtl_DIR:PATH=" + (libDir() / "cmake" / "OrreryCtl").string()), std::string::npos);
    const ToolRun built = shell(dir_.path(), std::string(shellWord(ORRERY_CMAKE)) + " --build " + shellWord(build));
    ASSERT_EQ(built.exitCode, 0) << describe(built);

    const ToolRun shown = runTool((build / "headless_host").string(), dir_.path(), {dir_.path().string()});
    EXPECT_EQ(shown.exitCode, 0) << describe(shown);
    EXPECT_NE(shown.out.find(kShownBmp), std::string::npos) << describe(shown);
    if (codecPluginInstalled()) {
        EXPECT_NE(shown.out.find(kShownTarga), std::string::npos) << describe(shown);
    }
#if ORRERY_INSTALL_QT
    const ToolRun painted =
        shell(dir_.path(), "QT_QPA_PLATFORM=offscreen exec " + shellWord(build / "widget_host") + " .");
    EXPECT_EQ(painted.exitCode, 0) << describe(painted);
    EXPECT_NE(painted.out.find("widget: status 0, 40 x 30, painted 200 x 150, centre 336699"), std::string::npos)
        << describe(painted);
#endif
}

// pkg-config links liborreryctl.so, which finds the installed codec worker
// from its own folder.
TEST_F(InstalledPackageTest, HostBuiltWithPkgConfigShowsPictures) {
    const std::string flags = "PKG_CONFIG_PATH=" + shellWord(libDir() / "pkgconfig") + " pkg-config";
    const ToolRun libs = shell(dir_.path(), flags + " --libs orreryctl");
    ASSERT_EQ(libs.exitCode, 0) << describe(libs);
    EXPECT_NE(libs.out.find("-lorreryctl"), std::string::npos) << libs.out;
    const fs::path host = dir_.file("pc_host");
    const std::string source = ORRERY_HOST_SOURCE;
    const ToolRun built = shell(dir_.path(), std::string(shellWord(ORRERY_CXX)) + " -std=c++20 -o " + shellWord(host) + " " +
                                                 shellWord(source + "/headless_host.cpp") + " " +
                                                 shellWord(source + "/host_pictures.cpp") + " $(" + flags +
                                                 " --cflags --libs orreryctl) -Wl,-rpath," + libDir().string());
    ASSERT_EQ(built.exitCode, 0) << describe(built);
    const ToolRun ldd = shell(dir_.path(), "ldd " + shellWord(host));
    EXPECT_NE(ldd.out.find((libDir() / "liborreryctl.so").string()), std::string::npos) << ldd.out;

    const ToolRun shown = runTool(host.string(), dir_.path(), {dir_.path().string()});
    EXPECT_EQ(shown.exitCode, 0) << describe(shown);
    EXPECT_NE(shown.out.find(kShownBmp), std::string::npos) << describe(shown);
    if (codecPluginInstalled()) {
        EXPECT_NE(shown.out.find(kShownTarga), std::string::npos) << describe(shown);
    }
}

}  // namespace
}  // namespace orrery::test
