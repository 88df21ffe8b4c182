// Every real-world file of the shared corpus through the control's file
// loader, with the codec plug-in when it is installed: each gives an entry or
// a status, never a fault, and leaves nothing behind. Under the sanitizers
// this also guards against the plug-in's read of freed memory on TIFFs with
// colour profiles (pillow/tiff_adobe_deflate.tif, tiff_16bit_RGBa.tiff),
// which the loader keeps away from it.
#include <gtest/gtest.h>
#include <tiffio.h>

#include <filesystem>

#include "imaging/codec_plugin.h"
#include "imaging/image_table.h"
#include "imaging/loaders.h"
#include "platform/gdiplus/factory.h"
#include "platform/gdiplus/image.h"
#include "platform/gdiplus/pixel_data.h"
#include "support/test_support.h"

using namespace orrery::imaging;
namespace fs = std::filesystem;

TEST(StoreSweep, EveryCorpusFileLoadsOrGivesAStatus) {
    ORRERY_REQUIRE_CORPUS();
    const size_t savedLimit = orrery::gdiplus::pixelAllocationLimit();
    orrery::gdiplus::setPixelAllocationLimit(size_t{256} << 20);
    ASSERT_TRUE(modMain::StartGdiPlus());
    size_t files = 0, loaded = 0;
    for (const auto& entry : fs::recursive_directory_iterator(orrery::test::corpusPath(""))) {
        if (!entry.is_regular_file()) continue;
        ++files;
        int32_t id = 0;
        const int32_t s = LoadImageFromFile(id, entry.path().string());
        if (s != 0) {
            EXPECT_EQ(modMain::LiveEntryCount(), 0u) << entry.path();
            continue;
        }
        ++loaded;
        const orrery::gdiplus::Image* image = modMain::GetGdiImage(id);
        ASSERT_NE(image, nullptr) << entry.path();
        EXPECT_GT(image->width(), 0) << entry.path();
        EXPECT_FALSE(modMain::FindEntry(id)->FormatName.empty()) << entry.path();
        EXPECT_EQ(modMain::ReleaseImage(id), orrery::gdiplus::Status::Ok) << entry.path();
        EXPECT_EQ(modMain::LiveEntryCount(), 0u) << entry.path();
    }
    modMain::ShutdownGdiPlus();
    orrery::gdiplus::setPixelAllocationLimit(savedLimit);
    EXPECT_GT(files, 1000u);
    EXPECT_GT(loaded, files / 2);
    std::printf("%zu of %zu files loaded (plug-in %s)\n", loaded, files, IsPluginAvailable() ? "present" : "absent");
}

namespace {

// Icons and cursors with more than one entry: the plug-in shows the first
// entry, the imaging layer the richest, so the two need not agree.
bool isMultiEntryIcon(const fs::path& path) {
    const std::vector<uint8_t> bytes = orrery::test::readFile(path);
    return bytes.size() >= 6 && bytes[0] == 0 && bytes[1] == 0 && (bytes[2] == 1 || bytes[2] == 2) &&
           (bytes[4] | (bytes[5] << 8)) > 1;
}

// A JPEG cut short: each library fills the rows it never got its own way.
bool isTruncatedJpeg(const fs::path& path) {
    const std::vector<uint8_t> bytes = orrery::test::readFile(path);
    return bytes.size() < 2 || bytes[bytes.size() - 2] != 0xFF || bytes[bytes.size() - 1] != 0xD9;
}

int quiet(TIFF*, void*, const char*, const char*, va_list) { return 1; }

// Signed and floating-point samples have no one mapping to display levels:
// the plug-in stretches them between their extremes, the imaging layer
// does not.
bool hasUnsignedSamples(const fs::path& path) {
    TIFFOpenOptions* options = TIFFOpenOptionsAlloc();
    TIFFOpenOptionsSetErrorHandlerExtR(options, quiet, nullptr);
    TIFFOpenOptionsSetWarningHandlerExtR(options, quiet, nullptr);
    TIFF* tif = TIFFOpenExt(path.c_str(), "r", options);
    TIFFOpenOptionsFree(options);
    if (!tif) return true;
    uint16_t format = SAMPLEFORMAT_UINT;
    TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLEFORMAT, &format);
    TIFFClose(tif);
    return format == SAMPLEFORMAT_UINT || format == SAMPLEFORMAT_VOID;
}

bool isSingleImage(const orrery::gdiplus::Image& image) {
    using namespace orrery::gdiplus;
    uint32_t pages = 1, frames = 1;
    image.frameCount(FrameDimension::Page, pages);
    image.frameCount(FrameDimension::Time, frames);
    return pages <= 1 && frames <= 1;
}

}  // namespace

// Whichever loader the order picks, a picture looks the same: every
// single-image file of the corpus that both the plug-in and the imaging
// layer's own decoders read gives the same pixels within one level (JPEG
// within the two libraries' different chroma upsampling).
TEST(StoreSweep, PluginAndOwnDecodersShowTheSamePixels) {
    ORRERY_REQUIRE_CORPUS();
    if (!IsPluginAvailable()) GTEST_SKIP() << "codec plug-in not installed";
    const size_t savedLimit = orrery::gdiplus::pixelAllocationLimit();
    orrery::gdiplus::setPixelAllocationLimit(size_t{256} << 20);
    ASSERT_TRUE(modMain::StartGdiPlus());
    size_t compared = 0;
    for (const auto& entry : fs::recursive_directory_iterator(orrery::test::corpusPath(""))) {
        if (!entry.is_regular_file()) continue;
        const std::string path = entry.path().string();
        std::unique_ptr<orrery::gdiplus::Image> own;
        if (orrery::gdiplus::loadImageFromFile(path, {}, own) != orrery::gdiplus::Status::Ok) continue;
        if (!isSingleImage(*own) || isMultiEntryIcon(entry.path())) continue;
        if (own->rawFormat() == orrery::gdiplus::ImageFormat::TIFF && !hasUnsignedSamples(entry.path())) continue;
        int32_t id = 0;
        if (LoadWithPlugin(id, path, false) != 0) continue;
        const orrery::gdiplus::Image* viaPlugin = modMain::GetGdiImage(id);
        ASSERT_NE(viaPlugin, nullptr) << path;
        const orrery::test::PixelDiff d = orrery::test::compareImages(*viaPlugin, *own);
        if (own->rawFormat() != orrery::gdiplus::ImageFormat::JPEG) {
            EXPECT_LE(d.max, 1) << path;
        } else if (!isTruncatedJpeg(entry.path())) {
            EXPECT_LT(d.mean, 2.0) << path;  // the libraries upsample chroma differently
        }
        ++compared;
        modMain::ReleaseImage(id);
    }
    modMain::ShutdownGdiPlus();
    orrery::gdiplus::setPixelAllocationLimit(savedLimit);
    EXPECT_GT(compared, 50u);
}
