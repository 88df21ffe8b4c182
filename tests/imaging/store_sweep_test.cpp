// Every real-world file of the shared corpus through the control's file
// loader, with the codec plug-in when it is installed: each gives an entry or
// a status, never a fault, and leaves nothing behind. Under the sanitizers
// this also guards against the plug-in's read of freed memory on TIFFs with
// colour profiles (pillow/tiff_adobe_deflate.tif, tiff_16bit_RGBa.tiff),
// which the loader keeps away from it.
#include <gtest/gtest.h>

#include <filesystem>

#include "imaging/codec_plugin.h"
#include "imaging/image_table.h"
#include "imaging/loaders.h"
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
        const int32_t s = LoadImageFromFile(id, entry.path().string(), false, false, nullptr, true);
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
