// Every real-world file of the shared corpus goes through the file loader:
// whatever it holds, loading gives an image or a status, never a crash, and
// every frame of what loads can be selected and read.
#include <gtest/gtest.h>

#include <filesystem>

#include "platform/gdiplus/factory.h"
#include "support/test_support.h"

using namespace orrery::gdiplus;
namespace fs = std::filesystem;

namespace {

// Reads every pixel of the current frame through a converting lock, so that
// a buffer shorter than the image claims shows up under the sanitizers.
uint64_t touchAllPixels(Image& image) {
    BitmapData data;
    if (image.lockBits(nullptr, ImageLockModeRead, PixelFormat32bppARGB, data) != Status::Ok) return 0;
    uint64_t sum = 0;
    for (int y = 0; y < data.height; ++y) {
        const ARGB* row = reinterpret_cast<const ARGB*>(data.scan0 + y * data.stride);
        for (int x = 0; x < data.width; ++x) sum += row[x];
    }
    image.unlockBits(data);
    return sum;
}

}  // namespace

TEST(CorpusSweep, EveryFileLoadsOrGivesAStatus) {
    ORRERY_REQUIRE_CORPUS();
    const size_t savedLimit = pixelAllocationLimit();
    setPixelAllocationLimit(size_t{256} << 20);
    size_t files = 0, loaded = 0;
    for (const auto& entry : fs::recursive_directory_iterator(orrery::test::corpusPath(""))) {
        if (!entry.is_regular_file()) continue;
        ++files;
        std::unique_ptr<Image> image;
        Status s = loadImageFromFile(entry.path().string(), {}, image);
        if (s != Status::Ok) {
            EXPECT_EQ(image, nullptr) << entry.path();
            continue;
        }
        ++loaded;
        ASSERT_NE(image, nullptr) << entry.path();
        EXPECT_GT(image->width(), 0) << entry.path();
        EXPECT_GT(image->height(), 0) << entry.path();
        if (image->type() != ImageType::Bitmap) continue;
        const Guid dimension = image->frameDimensions().front();
        uint32_t count = 0;
        ASSERT_EQ(image->frameCount(dimension, count), Status::Ok) << entry.path();
        for (uint32_t i = 0; i < std::min<uint32_t>(count, 64); ++i) {
            if (image->selectActiveFrame(dimension, i) == Status::Ok) touchAllPixels(*image);
        }
    }
    setPixelAllocationLimit(savedLimit);
    EXPECT_GT(files, 1000u);
    EXPECT_GT(loaded, files / 2) << "most corpus files are images the layer reads";
}
