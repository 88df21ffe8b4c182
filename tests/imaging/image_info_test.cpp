#include "imaging/image_info.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "support/test_support.h"

using namespace orrery::imaging;
namespace gp = orrery::gdiplus;

namespace {
// Sets or clears an environment variable for the life of the object.
class EnvGuard {
public:
    EnvGuard(const char* name, const char* value) : name_(name) {
        if (const char* old = std::getenv(name)) saved_ = old, had_ = true;
        value ? setenv(name, value, 1) : unsetenv(name);
    }
    ~EnvGuard() { had_ ? setenv(name_, saved_.c_str(), 1) : unsetenv(name_); }

private:
    const char* name_;
    std::string saved_;
    bool had_ = false;
};
}  // namespace

TEST(ImageInfo, RawFormatAndPixelFormatTables) {
    EXPECT_EQ(FormatNameFromRawFormat(gp::ImageFormat::MemoryBMP), "Memory BMP");
    EXPECT_EQ(FormatNameFromRawFormat(gp::ImageFormat::Icon), "ICON");
    EXPECT_EQ(FormatNameFromRawFormat(gp::ImageFormat::Undefined), "UNKNOWN");
    EXPECT_EQ(FormatNameFromRawFormat(gp::FrameDimension::Page), "Undefined");
    EXPECT_EQ(BitsPerPixelOf(gp::PixelFormat16bppARGB1555), 16);
    EXPECT_EQ(BitsPerPixelOf(gp::PixelFormat64bppPARGB), 64);
    EXPECT_EQ(BitsPerPixelOf(0x12345), 0);
}

TEST(ImageInfo, NormalizePathCollapsesSeparatorsAfterTheFirstTwo) {
    EXPECT_EQ(NormalizePath("C:/pictures//a.png"), "C:/pictures/a.png");
    EXPECT_EQ(NormalizePath("  \\\\server\\\\share\\a.png "), "//server/share/a.png");
    EXPECT_EQ(NormalizePath("////server/x"), "//server/x");
    EXPECT_EQ(NormalizePath("/tmp///x//y"), "/tmp/x/y");
    EXPECT_EQ(NormalizePath("a//"), "a//");
}

TEST(ImageInfo, TempFolderComesFromTheEnvironment) {
    {
        EnvGuard a("tmp", nullptr), b("temp", nullptr), c("TMPDIR", nullptr);
        EXPECT_EQ(GetTempFolder(), "/tmp/");
    }
    {
        EnvGuard a("tmp", " /var/x "), b("temp", "/ignored");
        EXPECT_EQ(GetTempFolder(), "/var/x/");
    }
    {
        EnvGuard a("tmp", ""), b("temp", "/t2/");
        EXPECT_EQ(GetTempFolder(), "/t2/");
    }
    orrery::test::TempDir dir;
    EnvGuard a("tmp", dir.path().c_str());
    const std::string name = GetTempFileName();
    const std::string privateFolder = GetPrivateTempFolder();
    EXPECT_EQ(privateFolder.rfind(dir.path().string() + "/orrery-", 0), 0u);
    EXPECT_EQ(name.rfind(privateFolder, 0), 0u);
    EXPECT_FALSE(std::filesystem::exists(name));
    const std::string digits = name.substr(privateFolder.size());
    EXPECT_LE(digits.size(), 8u);
    EXPECT_EQ(digits.find_first_not_of("0123456789"), std::string::npos);
}

TEST(ImageInfo, FileExistsAndVersions) {
    orrery::test::TempDir dir;
    orrery::test::writeFile(dir.file("a"), {1});
    EXPECT_EQ(FileExistsPath(dir.file("a").string()), dir.file("a").string());
    EXPECT_EQ(FileExistsPath(dir.file("b").string()), "");
    EXPECT_EQ(FileExistsPath(dir.path().string()), "");
    EXPECT_EQ(GetFileVersionString("gdiplus.dll"), "6.1.0.0");
    EXPECT_EQ(GetFileVersionString("nothing.dll"), "Undefined");
    EXPECT_EQ(VersionMajor("6.1.0.0"), 6);
    EXPECT_EQ(VersionMajor("Unknown"), 0);
}
