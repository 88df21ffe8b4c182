// One round trip over every registered encoder and every pixel format: what
// is written reads back with the same size and colours (within a tolerance
// for the lossy JPEG encoder).
#include <gtest/gtest.h>

#include <cstdlib>

#include "platform/gdiplus/factory.h"

using namespace orrery::gdiplus;

namespace {

std::vector<ARGB> stripeColors(PixelFormat f) {
    if (f == PixelFormat1bppIndexed || f == PixelFormat16bppGrayScale) return {0xFF000000, 0xFFFFFFFF};
    return {0xFF000000, 0xFFFFFFFF, 0xFFFF0000, 0xFF0000FF};
}

// Eight-pixel-wide vertical stripes of exactly representable colours.
std::unique_ptr<Image> stripes(PixelFormat f) {
    const std::vector<ARGB> colors = stripeColors(f);
    const int w = 8 * static_cast<int>(colors.size()), h = 8;
    std::unique_ptr<Image> image;
    EXPECT_EQ(createBitmapFromScan0(w, h, 0, f, nullptr, image), Status::Ok);
    BitmapData data;
    EXPECT_EQ(image->lockBits(nullptr, ImageLockModeWrite, PixelFormat32bppARGB, data), Status::Ok);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            reinterpret_cast<ARGB*>(data.scan0 + y * data.stride)[x] = colors[static_cast<size_t>(x / 8)];
    EXPECT_EQ(image->unlockBits(data), Status::Ok);
    return image;
}

int channelDistance(ARGB a, ARGB b) {
    int worst = 0;
    for (int k = 0; k < 32; k += 8)
        worst = std::max(worst, std::abs(static_cast<int>((a >> k) & 0xff) - static_cast<int>((b >> k) & 0xff)));
    return worst;
}

}  // namespace

TEST(CodecRoundTrip, EveryEncoderEveryPixelFormat) {
    ASSERT_FALSE(encoders().empty());
    for (const Encoder* encoder : encoders()) {
        const bool lossy = encoder->info().clsid == CodecClsid::JPEG;
        for (PixelFormat f : allPixelFormats()) {
            auto image = stripes(f);
            ByteSink bytes;
            ASSERT_EQ(image->saveToBytes(encoder->info().clsid, {}, bytes), Status::Ok)
                << encoder->info().formatDescription << " " << pixelFormatName(f);
            std::unique_ptr<Image> back;
            ASSERT_EQ(loadImageFromBytes(ByteSource::fromVector(bytes), {}, back), Status::Ok)
                << encoder->info().formatDescription << " " << pixelFormatName(f);
            ASSERT_EQ(back->width(), image->width());
            ASSERT_EQ(back->height(), image->height());
            for (int x = 0; x < image->width(); ++x) {
                // Sample the middle of each stripe for the lossy encoder.
                if (lossy && (x % 8) != 4) continue;
                ARGB want, got;
                image->getPixel(x, 3, want);
                back->getPixel(x, 3, got);
                EXPECT_LE(channelDistance(want, got), lossy ? 24 : 0)
                    << encoder->info().formatDescription << " " << pixelFormatName(f) << " x=" << x;
            }
        }
    }
}
