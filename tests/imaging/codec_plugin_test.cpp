// Binding the codec plug-in: the published format table, the mapping of the
// library's numbers, resolution rounding, the version text and what happens
// when the plug-in is switched off or replaced by another library.
#include "imaging/codec_plugin.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "imaging/image_table.h"
#include "imaging/loaders.h"
#include "imaging/plugin_api.h"
#include "support/test_support.h"

using namespace orrery::imaging;
using orrery::test::corpusPath;

namespace {

// Sets ORRERY_CODEC_PLUGIN for the life of the object and binds again; the
// previous value is restored and bound on the way out.
class PluginEnvironment {
public:
    explicit PluginEnvironment(const char* value) {
        const char* before = std::getenv("ORRERY_CODEC_PLUGIN");
        hadValue_ = before != nullptr;
        if (before) saved_ = before;
        setenv("ORRERY_CODEC_PLUGIN", value, 1);
        plugin::reloadCodecPluginForTesting();
    }
    ~PluginEnvironment() {
        if (hadValue_) setenv("ORRERY_CODEC_PLUGIN", saved_.c_str(), 1);
        else unsetenv("ORRERY_CODEC_PLUGIN");
        plugin::reloadCodecPluginForTesting();
    }

private:
    bool hadValue_ = false;
    std::string saved_;
};

TEST(PluginFormatName, PublishedTable) {
    EXPECT_EQ(pluginFormatName(-1), "UNKNOWN");
    EXPECT_EQ(pluginFormatName(0), "BMP");
    EXPECT_EQ(pluginFormatName(2), "JPEG");
    EXPECT_EQ(pluginFormatName(5), "LBM");
    EXPECT_EQ(pluginFormatName(13), "PNG");
    EXPECT_EQ(pluginFormatName(17), "TARGA");
    EXPECT_EQ(pluginFormatName(18), "TIFF");
    EXPECT_EQ(pluginFormatName(26), "HDR");
    EXPECT_EQ(pluginFormatName(31), "JP2");
    EXPECT_EQ(pluginFormatName(34), "RAW");
    EXPECT_EQ(pluginFormatName(35), "JBIG");
    EXPECT_EQ(pluginFormatName(PluginFormat::WEBP), "WEBP");
    EXPECT_EQ(pluginFormatName(PluginFormat::JXR), "JXR");
    for (int outside : {-2, 36, 37, 99, 102, 1000}) EXPECT_EQ(pluginFormatName(outside), "") << outside;
}

TEST(PluginFormatMapping, LibraryNumbersBeyondTheTableMoveTo100) {
    for (int f = -1; f <= 34; ++f) {
        EXPECT_EQ(plugin::toPublishedFormat(f), f);
        EXPECT_EQ(plugin::toLibraryFormat(f), f);
    }
    EXPECT_EQ(plugin::toPublishedFormat(35), PluginFormat::WEBP);
    EXPECT_EQ(plugin::toPublishedFormat(36), PluginFormat::JXR);
    EXPECT_EQ(plugin::toLibraryFormat(PluginFormat::WEBP), 35);
    EXPECT_EQ(plugin::toLibraryFormat(PluginFormat::JXR), 36);
    // JBIG is published but the library has no reader for it.
    EXPECT_EQ(plugin::toLibraryFormat(35), -1);
    EXPECT_EQ(plugin::toLibraryFormat(50), -1);
    EXPECT_EQ(plugin::toPublishedFormat(-5), -1);
}

TEST(PluginResolutionRounding, DotsPerMetreAndInch) {
    EXPECT_EQ(plugin::dpmToDpi(2835), 72);  // 72.009
    EXPECT_EQ(plugin::dpmToDpi(3780), 96);  // 96.012
    EXPECT_EQ(plugin::dpmToDpi(3937), 100);  // 99.9998
    EXPECT_EQ(plugin::dpmToDpi(0), 0);
    EXPECT_EQ(plugin::dpmToDpi(2854), 72);  // 72.49 rounds down
    EXPECT_EQ(plugin::dpmToDpi(2855), 73);  // 72.517 rounds up
    EXPECT_EQ(plugin::dpiToDpm(72), 2835u);  // 2834.6
    EXPECT_EQ(plugin::dpiToDpm(300), 11811u);  // 11811.02
    EXPECT_EQ(plugin::dpiToDpm(96), 3780u);
    EXPECT_EQ(plugin::dpiToDpm(0), 0u);
    EXPECT_EQ(plugin::dpiToDpm(-5), 0u);
}

TEST(PluginBinding, VersionOfTheInstalledLibrary) {
    if (!IsPluginAvailable()) GTEST_SKIP() << "codec plug-in not installed";
    const std::string version = PluginVersion();
    // Four whole numbers joined with dots.
    int parts = 0;
    size_t i = 0;
    bool wellFormed = true;
    while (wellFormed && i <= version.size()) {
        const size_t end = version.find('.', i);
        const std::string part = version.substr(i, end == std::string::npos ? std::string::npos : end - i);
        wellFormed = !part.empty() && part.find_first_not_of("0123456789") == std::string::npos;
        ++parts;
        if (end == std::string::npos) break;
        i = end + 1;
    }
    EXPECT_TRUE(wellFormed && parts == 4) << version;
    // Four parts from the library's own text, which has three or more.
    const std::string own = plugin::functions()->GetVersion();
    EXPECT_EQ(version.substr(0, own.size()), own);
    EXPECT_NE(std::strtol(version.c_str(), nullptr, 10), 0);
}

TEST(PluginBinding, SwitchedOff) {
    PluginEnvironment off("none");
    EXPECT_EQ(plugin::functions(), nullptr);
    EXPECT_EQ(PluginVersion(), "Undefined");
    EXPECT_FALSE(IsPluginAvailable());
    int32_t id = 0;
    EXPECT_EQ(LoadWithPlugin(id, "/nonexistent.tga", false), 9);
    EXPECT_EQ(id, 0);
    // Every operation answers with its failure value.
    EXPECT_EQ(plugin::GetFileType("/nonexistent.tga"), -1);
    EXPECT_EQ(plugin::Load(PluginFormat::TARGA, "/nonexistent.tga", 0), nullptr);
    EXPECT_EQ(plugin::OpenFile("/dev/null"), nullptr);
    EXPECT_EQ(plugin::GetWidth(nullptr), 0);
    pluginUnload(nullptr);
    pluginCloseMultiBitmap(nullptr);
}

TEST(PluginBinding, LibraryThatCannotBeBound) {
    PluginEnvironment missing("/nonexistent/libcodec.so");
    EXPECT_EQ(PluginVersion(), "Undefined");
    EXPECT_FALSE(IsPluginAvailable());
}

// A library without the plug-in's version function binds, but its version
// is unknown and reads 0, so the plug-in counts as absent.
TEST(PluginBinding, ForeignLibraryHasUnknownVersion) {
    PluginEnvironment foreign("libz.so.1");
    ASSERT_NE(plugin::functions(), nullptr) << "libz.so.1 should be loadable";
    EXPECT_EQ(PluginVersion(), "Unknown");
    EXPECT_FALSE(IsPluginAvailable());
    EXPECT_EQ(plugin::functions()->Load, nullptr);
    int32_t id = 0;
    EXPECT_EQ(LoadWithPlugin(id, "/nonexistent.tga", false), 9);
}

TEST(PluginBinding, ContentDetectionOfCorpusFiles) {
    ORRERY_REQUIRE_CORPUS();
    if (!IsPluginAvailable()) GTEST_SKIP() << "codec plug-in not installed";
    EXPECT_EQ(plugin::GetFileType(corpusPath("pillow/hopper.jpg").string()), PluginFormat::JPEG);
    EXPECT_EQ(plugin::GetFileType(corpusPath("pillow/hopper.png").string()), PluginFormat::PNG);
    EXPECT_EQ(plugin::GetFileType(corpusPath("pillow/hopper.tif").string()), PluginFormat::TIFF);
    EXPECT_EQ(plugin::GetFileType(corpusPath("pillow/hopper.psd").string()), 20);
    EXPECT_EQ(plugin::GetFileType(corpusPath("pillow/pil184.pcx").string()), 10);
    EXPECT_EQ(plugin::GetFileType(corpusPath("pillow/hopper.gif").string()), PluginFormat::GIF);
    EXPECT_EQ(plugin::GetFileType("/nonexistent/file.jpg"), -1);
    EXPECT_EQ(plugin::GetFIFFromFilename("a/b/picture.TGA"), PluginFormat::TARGA);
    EXPECT_EQ(plugin::GetFIFFromFilename("x.webp"), PluginFormat::WEBP);
    EXPECT_EQ(plugin::GetFIFFromFilename("x.jxr"), PluginFormat::JXR);
    EXPECT_EQ(plugin::GetFIFFromFilename("x.unknown"), -1);
}

TEST(PluginBinding, MultiPageHandlesOverAnOpenFile) {
    ORRERY_REQUIRE_CORPUS();
    if (!IsPluginAvailable()) GTEST_SKIP() << "codec plug-in not installed";
    PluginHandle file = plugin::OpenFile(corpusPath("pillow/multipage.tiff").string());
    ASSERT_NE(file, nullptr);
    PluginHandle multi = plugin::OpenMultiBitmap(PluginFormat::TIFF, 0, file);
    ASSERT_NE(multi, nullptr);
    EXPECT_EQ(plugin::GetPageCount(multi), 3);
    PluginHandle page = plugin::LockPage(multi, 1);
    ASSERT_NE(page, nullptr);
    EXPECT_EQ(plugin::GetWidth(page), 10);
    EXPECT_EQ(plugin::LockPage(multi, 7), nullptr);
    plugin::UnlockPage(multi, page);
    plugin::CloseMultiBitmap(multi);
    plugin::CloseFileHandle(file);
    EXPECT_EQ(plugin::OpenFile("/nonexistent/file.tif"), nullptr);
    EXPECT_EQ(plugin::OpenMultiBitmap(PluginFormat::TIFF, 0, nullptr), nullptr);
}

}  // namespace
