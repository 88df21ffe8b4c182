// Saving through the codec plug-in: property items become the bitmap's EXIF
// tags as they are, texts included; a save gives its status and leaves
// either the whole new file or none, also when the worker dies mid-save.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <string>

#include "imaging/codec_plugin.h"
#include "imaging/codec_worker.h"
#include "imaging/image_table.h"
#include "imaging/loaders.h"
#include "imaging/plugin_api.h"
#include "imaging/plugin_metadata.h"
#include "imaging/plugin_save.h"
#include "platform/gdiplus/factory.h"
#include "support/test_support.h"

using namespace orrery::imaging;
namespace gp = orrery::gdiplus;
namespace fs = std::filesystem;

namespace {

constexpr int32_t kGenericError = 1, kInvalidParameter = 2, kUnknownImageFormat = 13, kPluginRequired = 300;

std::vector<uint8_t> bytesOf(const std::string& text) { return {text.begin(), text.end()}; }

// Every tag of `model` on the bitmap, by identifier.
std::map<int32_t, PluginMetadataTag> tagsOf(PluginHandle bitmap, int model) {
    const plugin::Functions& f = *plugin::functions();
    std::map<int32_t, PluginMetadataTag> tags;
    plugin::FITAG* tag = nullptr;
    plugin::FIMETADATA* search = f.FindFirstMetadata(model, static_cast<plugin::FIBITMAP*>(bitmap), &tag);
    if (!search) return tags;
    do {
        PluginMetadataTag t;
        t.id = f.GetTagID(tag);
        t.type = static_cast<uint16_t>(f.GetTagType(tag));
        t.count = f.GetTagCount(tag);
        t.length = f.GetTagLength(tag);
        const auto* value = static_cast<const uint8_t*>(f.GetTagValue(tag));
        if (value) t.value.assign(value, value + t.length);
        tags[t.id] = t;
    } while (f.FindNextMetadata(search, &tag));
    f.FindCloseMetadata(search);
    return tags;
}

class PluginSave : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(modMain::StartGdiPlus());
        if (!IsPluginAvailable() || !plugin::functions()) GTEST_SKIP() << "no codec plug-in";
    }
    void TearDown() override {
        setWorkerCallDeadlineForTesting(std::chrono::milliseconds(0));
        modMain::ReleaseAllImages();
        modMain::ShutdownGdiPlus();
    }
    // A w x h 24-bit entry with a gradient, a resolution and two tags.
    int32_t addPicture(int w, int h) {
        std::unique_ptr<gp::Image> image;
        EXPECT_EQ(gp::createBitmapFromScan0(w, h, 0, gp::PixelFormat24bppRGB, nullptr, image), gp::Status::Ok);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) image->setPixel(x, y, 0xFF000000u | (x * 255 / w) << 16 | (y * 255 / h) << 8);
        image->setResolution(300, 150);
        image->setPropertyItem(gp::PropertyItem::fromAscii(271, "Orrery Optics"));
        image->setPropertyItem(gp::PropertyItem::fromShorts(274, {6}));
        int32_t id = 0;
        EXPECT_EQ(modMain::AddImage(id, std::move(image), "Memory BMP", {}, SourcePlain), 0);
        return id;
    }
    // The names in the folder: a failed save must leave none behind.
    std::vector<std::string> filesLeft() const {
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(dir.path())) names.push_back(e.path().filename().string());
        return names;
    }

    orrery::test::TempDir dir;
};

}  // namespace

TEST_F(PluginSave, ItemsBecomeTheBitmapsExifTagsTextsIncluded) {
    const plugin::Functions& f = *plugin::functions();
    std::vector<uint8_t> pixels(4 * 4 * 3, 0x80);
    PluginHandle bitmap = f.ConvertFromRawBits(pixels.data(), 4, 4, 12, 24, 0xFF0000, 0xFF00, 0xFF, 1);
    ASSERT_NE(bitmap, nullptr);
    std::vector<uint8_t> resolution = gp::PropertyItem::fromRational(282, 72, 1).value;
    resolution.push_back(0);  // a 9-byte resolution goes out as its 8
    const std::vector<gp::PropertyItem> items = {
        gp::PropertyItem::fromAscii(271, "Orrery Optics"),
        gp::PropertyItem::fromShorts(274, {6}),
        {282, 5, resolution},
        gp::PropertyItem::fromLongs(40962, {640}),
        gp::PropertyItem::fromRational(33434, 1, 250),
        {37510, 7, bytesOf(std::string("ASCII\0\0\0Hi", 10))},
        {0, 1, {2, 2, 0, 0}},
    };
    EXPECT_EQ(exportPluginMetadata(bitmap, items, 299.5, 150.4), static_cast<int>(items.size()));
    const auto tags = tagsOf(bitmap, plugin::MetadataModel::ExifExif);
    ASSERT_EQ(tags.size(), items.size());
    for (const gp::PropertyItem& item : items) {
        const PluginMetadataTag& t = tags.at(static_cast<int32_t>(item.id));
        const uint32_t length = item.id == 282 ? 8 : item.length();
        EXPECT_EQ(t.type, item.type) << item.id;
        EXPECT_EQ(t.length, length) << item.id;
        EXPECT_EQ(t.value, std::vector<uint8_t>(item.value.begin(), item.value.begin() + length)) << item.id;
    }
    EXPECT_EQ(tags.at(271).count, 14u);  // a text counts its characters
    EXPECT_EQ(tags.at(33434).count, 1u);
    auto* dib = static_cast<plugin::FIBITMAP*>(bitmap);
    EXPECT_EQ(plugin::dpmToDpi(f.GetDotsPerMeterX(dib)), 300);  // 299.5 to even
    EXPECT_EQ(plugin::dpmToDpi(f.GetDotsPerMeterY(dib)), 150);
    plugin::Unload(bitmap);
}

TEST_F(PluginSave, StatusesAndWholeFilesOnly) {
    const int32_t id = addPicture(40, 30);
    const fs::path tiff = dir.file("out.tif");
    ASSERT_EQ(SaveWithPlugin(id, tiff.string(), PluginFormat::TIFF), 0);
    int32_t back = 0;
    ASSERT_EQ(LoadImageFromFile(back, tiff.string()), 0);
    const gp::Image* reloaded = modMain::GetGdiImage(back);
    ASSERT_NE(reloaded, nullptr);
    EXPECT_EQ(orrery::test::compareImages(*modMain::GetGdiImage(id), *reloaded).max, 0);
    EXPECT_EQ(reloaded->horizontalResolution(), 300);
    EXPECT_EQ(reloaded->verticalResolution(), 150);

    // A failed save keeps the file that was there and leaves nothing else.
    const fs::path gif = dir.file("out.gif");
    orrery::test::writeFile(gif, bytesOf("earlier"));
    EXPECT_EQ(SaveWithPlugin(id, gif.string(), PluginFormat::GIF), kUnknownImageFormat);  // 24 bits
    EXPECT_EQ(orrery::test::readFile(gif), bytesOf("earlier"));
    EXPECT_EQ(SaveWithPlugin(id + 1, dir.file("none.tif").string(), PluginFormat::TIFF), kInvalidParameter);
    EXPECT_EQ(SaveWithPlugin(id, dir.file("none.x").string(), PluginFormat::Unknown), kUnknownImageFormat);
    EXPECT_EQ(SaveWithPlugin(id, dir.file("missing/none.tif").string(), PluginFormat::TIFF), kGenericError);
    EXPECT_EQ(filesLeft().size(), 2u);
    // A successful one replaces it whole.
    ASSERT_EQ(SaveWithPlugin(id, gif.string(), PluginFormat::PNG), 0);
    EXPECT_NE(orrery::test::readFile(gif), bytesOf("earlier"));
    EXPECT_EQ(filesLeft().size(), 2u);
}

TEST_F(PluginSave, AWorkerEndedMidSaveLeavesNoFile) {
    if (!codecSandboxEnabled()) GTEST_SKIP() << "the plug-in runs in this process";
    const int32_t id = addPicture(3000, 2000);
    setWorkerCallDeadlineForTesting(std::chrono::milliseconds(1));
    EXPECT_EQ(SaveWithPlugin(id, dir.file("big.tif").string(), PluginFormat::TIFF), kGenericError);
    EXPECT_TRUE(filesLeft().empty());
    // The next save starts a new worker.
    setWorkerCallDeadlineForTesting(std::chrono::milliseconds(0));
    EXPECT_EQ(SaveWithPlugin(id, dir.file("big.tif").string(), PluginFormat::TIFF), 0);
    EXPECT_EQ(filesLeft().size(), 1u);
}

TEST(PluginSaveWithoutPlugin, NeedsThePlugin) {
    setenv("ORRERY_CODEC_PLUGIN", "none", 1);
    plugin::reloadCodecPluginForTesting();
    EXPECT_EQ(SaveWithPlugin(1, "/nonexistent/x.tif", PluginFormat::TIFF), kPluginRequired);
    unsetenv("ORRERY_CODEC_PLUGIN");
    plugin::reloadCodecPluginForTesting();
}
