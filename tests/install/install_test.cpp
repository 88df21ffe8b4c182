// The installed package: this build is installed into a temporary prefix
// (`cmake --install BUILD --prefix P`), and a host outside the tree
// (tests/install/host) is built against it with find_package(OrreryCtl), on
// the static and on the shared library, and with pkg-config, then run: it
// shows pictures it writes on a control of the headless backend (and, with
// Qt, in an OrreryWidget) and reports what shows.
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

// A shell command line, built up of quoted words (paths) and text as it is
// (options, substitutions).
class CommandLine {
public:
    CommandLine& word(const std::string& w) {
        text_ += " '";
        text_ += w;
        text_ += '\'';
        return *this;
    }
    CommandLine& text(const std::string& t) {
        text_ += ' ';
        text_ += t;
        return *this;
    }
    // NAME'VALUE', such as -DVARIABLE='path'.
    CommandLine& option(const std::string& name, const std::string& value) {
        text_ += ' ';
        text_ += name;
        text_ += '\'';
        text_ += value;
        text_ += '\'';
        return *this;
    }
    const std::string& line() const { return text_; }

private:
    std::string text_;
};

// A shell command run in `folder`; its output is kept for the failure message.
ToolRun shell(const fs::path& folder, const CommandLine& command) {
    return runTool("/bin/sh", folder, {"-c", command.line()});
}

std::string describe(const ToolRun& run) {
    std::string text = "exit ";
    text += std::to_string(run.exitCode);
    text += "\n--- output\n";
    text += run.out;
    text += "\n--- errors\n";
    text += run.err;
    return text;
}

// The codec plug-in reads TARGA files; without it they are unknown.
bool codecPluginInstalled() {
    void* library = dlopen("libfreeimage.so.3", RTLD_LAZY | RTLD_LOCAL);
    if (library) dlclose(library);
    return library != nullptr;
}

constexpr const char* kShownBmp = "bmp: 40 x 30, centre 336699, Display 1";
constexpr const char* kShownTarga = "tga: 40 x 30, centre 336699, Display 2";

class InstalledPackageTest : public ::testing::Test {
protected:
    void SetUp() override {
        const ToolRun install = shell(dir_.path(), CommandLine()
                                                       .word(ORRERY_CMAKE)
                                                       .text("--install")
                                                       .word(ORRERY_BUILD_DIR)
                                                       .text("--prefix")
                                                       .word(prefix()));
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
    // The public headers, and nothing of the library's insides: every
    // installed header lies under orrery/.
    const fs::path include = prefix() / "include" / "orreryctl";
    for (const char* header : {"orrery/orrery.h", "orrery/window/headless_backend.h", "orrery/automation/events.h"})
        EXPECT_TRUE(fs::exists(include / header)) << header;
    for (const fs::directory_entry& entry : fs::recursive_directory_iterator(include)) {
        if (!entry.is_regular_file()) continue;
        EXPECT_EQ(fs::relative(entry.path(), include).begin()->string(), "orrery") << entry.path();
    }
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
    const ToolRun configured = shell(dir_.path(), CommandLine()
                                                      .word(ORRERY_CMAKE)
                                                      .text("-S")
                                                      .word(ORRERY_HOST_SOURCE)
                                                      .text("-B")
                                                      .word(build)
                                                      .text("-G")
                                                      .word(ORRERY_GENERATOR)
                                                      .text("-DCMAKE_BUILD_TYPE=Release")
                                                      .option("-DCMAKE_CXX_COMPILER=", ORRERY_CXX)
                                                      .option("-DCMAKE_PREFIX_PATH=", prefix())
                                                      .text(ORRERY_INSTALL_QT ? "-DHOST_WITH_QT=ON" : "-DHOST_WITH_QT=OFF"));
    ASSERT_EQ(configured.exitCode, 0) << describe(configured);
    // The package of the temporary prefix, not one installed elsewhere.
    const std::string cache = readText(build / "CMakeCache.txt");
    EXPECT_NE(cache.find("OrreryCtl_DIR:PATH=" + (libDir() / "cmake" / "OrreryCtl").string()), std::string::npos);
    const ToolRun built = shell(dir_.path(), CommandLine().word(ORRERY_CMAKE).text("--build").word(build));
    ASSERT_EQ(built.exitCode, 0) << describe(built);

    for (const char* host : {"headless_host", "shared_host"}) {
        const ToolRun shown = runTool((build / host).string(), dir_.path(), {dir_.path().string()});
        EXPECT_EQ(shown.exitCode, 0) << host << ": " << describe(shown);
        EXPECT_NE(shown.out.find(kShownBmp), std::string::npos) << host << ": " << describe(shown);
        if (codecPluginInstalled()) {
            EXPECT_NE(shown.out.find(kShownTarga), std::string::npos) << host << ": " << describe(shown);
        }
    }
#if ORRERY_INSTALL_QT
    const ToolRun painted =
        shell(dir_.path(), CommandLine().text("QT_QPA_PLATFORM=offscreen exec").word(build / "widget_host").text("."));
    EXPECT_EQ(painted.exitCode, 0) << describe(painted);
    EXPECT_NE(painted.out.find("widget: status 0, 40 x 30, painted 200 x 150, centre 336699"), std::string::npos)
        << describe(painted);
#endif
}

// pkg-config links liborreryctl.so, which finds the installed codec worker
// from its own folder.
TEST_F(InstalledPackageTest, HostBuiltWithPkgConfigShowsPictures) {
    const std::string pkgConfig = CommandLine()
                                      .option("PKG_CONFIG_PATH=", libDir() / "pkgconfig")
                                      .text("pkg-config --cflags --libs orreryctl")
                                      .line();
    const ToolRun libs = shell(dir_.path(), CommandLine().text(pkgConfig));
    ASSERT_EQ(libs.exitCode, 0) << describe(libs);
    EXPECT_NE(libs.out.find("-lorreryctl"), std::string::npos) << libs.out;
    const fs::path host = dir_.file("pc_host");
    const std::string source = ORRERY_HOST_SOURCE;
    const ToolRun built = shell(dir_.path(), CommandLine()
                                                 .word(ORRERY_CXX)
                                                 .text("-std=c++20 -o")
                                                 .word(host)
                                                 .word(source + "/headless_host.cpp")
                                                 .word(source + "/host_pictures.cpp")
                                                 .text("$(" + pkgConfig + ")")
                                                 .option("-Wl,-rpath,", libDir()));
    ASSERT_EQ(built.exitCode, 0) << describe(built);
    const ToolRun ldd = shell(dir_.path(), CommandLine().text("ldd").word(host));
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
