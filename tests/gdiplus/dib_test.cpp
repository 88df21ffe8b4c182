// The shared DIB reader on packed DIBs, and images made from and into bitmap
// and icon handles.
#include <gtest/gtest.h>

#include <vector>

#include "platform/gdi/handles.h"
#include "platform/gdiplus/dib.h"
#include "platform/gdiplus/image.h"
#include "support/dib_builder.h"
#include "support/test_support.h"

using namespace orrery::gdiplus;
using namespace orrery::test;
namespace gdi = orrery::gdi;

namespace {

ARGB pixelOf(const Image& image, int x, int y) {
    ARGB c = 0;
    EXPECT_EQ(image.getPixel(x, y, c), Status::Ok);
    return c;
}

Status fromGdiDib(const DibLayout& layout, std::unique_ptr<Image>& out) {
    std::vector<uint8_t> info = dibInfo(layout);
    return createBitmapFromGdiDib(info.data(), info.size(), layout.bits.data(), layout.bits.size(), out);
}

std::unique_ptr<Image> argbImage(const std::vector<std::vector<ARGB>>& rows) {
    int h = static_cast<int>(rows.size()), w = static_cast<int>(rows[0].size());
    PixelData px;
    EXPECT_EQ(PixelData::allocate(w, h, PixelFormat32bppARGB, px), Status::Ok);
    for (int y = 0; y < h; ++y) rowFromArgb32(PixelFormat32bppARGB, rows[y].data(), w, nullptr, px.row(y));
    return Image::fromPixels(std::move(px));
}

}  // namespace

TEST(DibDecode, PackedDibWithBitsAfterTheTable) {
    DibLayout s;
    s.width = 2;
    s.height = 2;
    s.bitCount = 4;
    s.colorsUsed = 3;
    s.palette = {0x000000, 0xffffff, 0x336699};
    s.bits = {0x12, 0, 0, 0, 0x21, 0, 0, 0};
    Frame f;
    ASSERT_EQ(decodeDib(packedDib(s), 0, DibOptions{}, f), Status::Ok);
    ASSERT_EQ(f.pixels.format(), PixelFormat4bppIndexed);
    EXPECT_EQ(f.palette.entries.size(), 3u);
    EXPECT_EQ(framePixel(f, 0, 0), 0xFF336699u);  // top row is the second in the data
    EXPECT_EQ(framePixel(f, 1, 0), 0xFFFFFFFFu);
    EXPECT_EQ(framePixel(f, 0, 1), 0xFFFFFFFFu);
    // An explicit offset that skips a gap.
    std::vector<uint8_t> gapped = dibInfo(s);
    gapped.resize(gapped.size() + 6, 0xee);
    size_t offset = gapped.size();
    gapped.insert(gapped.end(), s.bits.begin(), s.bits.end());
    Frame g;
    ASSERT_EQ(decodeDib(gapped, offset, DibOptions{}, g), Status::Ok);
    EXPECT_EQ(framePixel(g, 0, 0), 0xFF336699u);
}

TEST(DibDecode, ProbeReadsTheHeaderOnly) {
    DibLayout s;
    s.width = 300;
    s.height = -20;
    s.bitCount = 8;
    DibInfo info;
    ASSERT_EQ(probeDib(dibInfo(s), DibContainer::Bitmap, info), Status::Ok);
    EXPECT_EQ(info.width, 300);
    EXPECT_EQ(info.height, 20);
    EXPECT_EQ(info.bitCount, 8);
    s.height = 40;
    ASSERT_EQ(probeDib(dibInfo(s), DibContainer::IconEntry, info), Status::Ok);
    EXPECT_EQ(info.height, 20);
    s.height = 1;  // an icon needs a colour row and a mask row
    EXPECT_EQ(probeDib(dibInfo(s), DibContainer::IconEntry, info), Status::InvalidParameter);
    EXPECT_EQ(probeDib(std::vector<uint8_t>{40, 0}, DibContainer::Bitmap, info), Status::InvalidParameter);
}

TEST(GdiDib, DepthsAndRawFormat) {
    DibLayout s;
    s.width = 3;
    s.height = 1;
    s.bitCount = 1;
    s.palette = {0xffffff, 0x000000};
    s.bits = {0x40, 0, 0, 0};
    std::unique_ptr<Image> image;
    ASSERT_EQ(fromGdiDib(s, image), Status::Ok);
    EXPECT_EQ(image->rawFormat(), ImageFormat::MemoryBMP);
    EXPECT_EQ(image->pixelFormat(), PixelFormat1bppIndexed);
    EXPECT_EQ(image->palette().entries, (std::vector<ARGB>{0xFFFFFFFF, 0xFF000000}));
    EXPECT_EQ(pixelOf(*image, 0, 0), 0xFFFFFFFFu);
    EXPECT_EQ(pixelOf(*image, 1, 0), 0xFF000000u);

    s = DibLayout{};
    s.width = 1;
    s.bitCount = 32;
    s.bits = {1, 2, 3, 4};
    ASSERT_EQ(fromGdiDib(s, image), Status::Ok);
    EXPECT_EQ(image->pixelFormat(), PixelFormat32bppRGB);
    EXPECT_EQ(pixelOf(*image, 0, 0), 0xFF030201u);

    s.bitCount = 16;  // 565 masks travel in the BITMAPINFO
    s.compression = 3;
    s.masks = {0xf800, 0x07e0, 0x001f};
    s.bits = {0x00, 0xf8, 0, 0};
    ASSERT_EQ(fromGdiDib(s, image), Status::Ok);
    EXPECT_EQ(image->pixelFormat(), PixelFormat16bppRGB565);
    EXPECT_EQ(pixelOf(*image, 0, 0), 0xFFFF0000u);
}

TEST(GdiDib, BadInputGivesStatuses) {
    DibLayout s;
    s.width = 2;
    s.height = 2;
    s.bits = std::vector<uint8_t>(16, 0xff);
    std::vector<uint8_t> info = dibInfo(s);
    std::unique_ptr<Image> image;
    EXPECT_EQ(createBitmapFromGdiDib(nullptr, 40, s.bits.data(), s.bits.size(), image),
              Status::InvalidParameter);
    EXPECT_EQ(createBitmapFromGdiDib(info.data(), info.size(), nullptr, 0, image), Status::InvalidParameter);
    EXPECT_EQ(createBitmapFromGdiDib(info.data(), 20, s.bits.data(), s.bits.size(), image),
              Status::InvalidParameter);
    // Masks announced but cut off.
    DibLayout fields = s;
    fields.bitCount = 16;
    fields.compression = 3;
    std::vector<uint8_t> noMasks = dibInfo(fields);
    EXPECT_EQ(createBitmapFromGdiDib(noMasks.data(), noMasks.size(), s.bits.data(), s.bits.size(), image),
              Status::InvalidParameter);
    // Too few bits: the bottom row is there, the top row stays black.
    ASSERT_EQ(createBitmapFromGdiDib(info.data(), info.size(), s.bits.data(), 8, image), Status::Ok);
    EXPECT_EQ(pixelOf(*image, 0, 1), 0xFFFFFFFFu);
    EXPECT_EQ(pixelOf(*image, 0, 0), 0xFF000000u);
}

TEST(BitmapHandleImages, FromHBITMAP) {
    size_t live = gdi::liveBitmapCount();
    gdi::DibSection s;
    s.width = 2;
    s.height = 2;  // bottom-up
    s.bitCount = 24;
    s.bits = {0, 0, 0xff, 0, 0xff, 0, 0, 0, 0xff, 0, 0, 0xff, 0xff, 0xff, 0, 0};
    gdi::HBITMAP h = gdi::createBitmap(s);
    ASSERT_NE(h, 0u);
    std::unique_ptr<Image> image;
    ASSERT_EQ(createBitmapFromHBITMAP(h, image), Status::Ok);
    EXPECT_EQ(image->rawFormat(), ImageFormat::MemoryBMP);
    EXPECT_EQ(image->pixelFormat(), PixelFormat24bppRGB);
    EXPECT_EQ(pixelOf(*image, 0, 0), 0xFF0000FFu);
    EXPECT_EQ(pixelOf(*image, 1, 0), 0xFFFFFFFFu);
    EXPECT_EQ(pixelOf(*image, 0, 1), 0xFFFF0000u);
    EXPECT_EQ(pixelOf(*image, 1, 1), 0xFF00FF00u);
    // The image owns a copy: the handle may go.
    EXPECT_TRUE(gdi::deleteBitmap(h));
    EXPECT_EQ(pixelOf(*image, 0, 0), 0xFF0000FFu);

    gdi::DibSection indexed;
    indexed.width = 2;
    indexed.height = -1;
    indexed.bitCount = 8;
    indexed.colors = {0x112233, 0x445566};
    indexed.bits = {1, 0, 0, 0};
    h = gdi::createBitmap(indexed);
    ASSERT_EQ(createBitmapFromHBITMAP(h, image), Status::Ok);
    EXPECT_EQ(image->pixelFormat(), PixelFormat8bppIndexed);
    EXPECT_EQ(pixelOf(*image, 0, 0), 0xFF445566u);
    EXPECT_TRUE(gdi::deleteBitmap(h));

    gdi::DibSection deep;
    deep.width = 1;
    deep.height = 1;
    deep.bitCount = 32;
    deep.bits = {10, 20, 30, 0};  // a zero fourth byte is not transparency
    h = gdi::createBitmap(deep);
    ASSERT_EQ(createBitmapFromHBITMAP(h, image), Status::Ok);
    EXPECT_EQ(image->pixelFormat(), PixelFormat32bppRGB);
    EXPECT_EQ(pixelOf(*image, 0, 0), 0xFF1E140Au);
    EXPECT_TRUE(gdi::deleteBitmap(h));

    EXPECT_EQ(createBitmapFromHBITMAP(0, image), Status::InvalidParameter);
    EXPECT_EQ(createBitmapFromHBITMAP(h, image), Status::InvalidParameter);
    EXPECT_EQ(gdi::liveBitmapCount(), live);
}

TEST(BitmapHandleImages, ToHBITMAPCompositesOverTheBackground) {
    std::unique_ptr<Image> image = argbImage({{0xFFFF0000, 0x80000000, 0x00123456}});
    gdi::HBITMAP h = 0;
    ASSERT_EQ(createHBITMAPFromBitmap(*image, 0xFFFFFFFF, h), Status::Ok);
    const gdi::DibSection* s = gdi::bitmap(h);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(s->bitCount, 32);
    EXPECT_EQ(s->width, 3);
    EXPECT_EQ(s->height, -1);  // top-down
    auto at = [&](int x) {
        const uint8_t* p = s->bits.data() + 4 * x;
        return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
    };
    EXPECT_EQ(at(0), 0xFFFF0000u);
    EXPECT_EQ(at(1), 0xFF7F7F7Fu);  // half black over white
    EXPECT_EQ(at(2), 0xFFFFFFFFu);  // transparent shows the background
    // And back: the same colours, opaque.
    std::unique_ptr<Image> back;
    ASSERT_EQ(createBitmapFromHBITMAP(h, back), Status::Ok);
    EXPECT_EQ(pixelOf(*back, 1, 0), 0xFF7F7F7Fu);
    EXPECT_TRUE(gdi::deleteBitmap(h));

    // Over a transparent background the image's own alpha stays.
    ASSERT_EQ(createHBITMAPFromBitmap(*image, 0, h), Status::Ok);
    s = gdi::bitmap(h);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(at(0), 0xFFFF0000u);
    EXPECT_EQ(s->bits[7], 0x80);
    EXPECT_TRUE(gdi::deleteBitmap(h));

    Image empty;
    EXPECT_EQ(createHBITMAPFromBitmap(empty, 0, h), Status::InvalidParameter);
}

TEST(IconHandleImages, RoundTripKeepsAlpha) {
    size_t live = gdi::liveIconCount();
    std::unique_ptr<Image> image = argbImage({{0xFFFF0000, 0x80336699}, {0x00000000, 0xFF00FF00}});
    gdi::HICON h = 0;
    ASSERT_EQ(createHICONFromBitmap(*image, h), Status::Ok);
    const gdi::IconInfo* info = gdi::icon(h);
    ASSERT_NE(info, nullptr);
    EXPECT_TRUE(info->isIcon);
    EXPECT_EQ(info->mask.bitCount, 1);
    EXPECT_EQ(info->mask.bits[info->mask.stride()] & 0x80, 0x80);  // (0, 1) is transparent
    EXPECT_EQ(info->mask.bits[0] & 0xc0, 0x00);
    std::unique_ptr<Image> back;
    ASSERT_EQ(createBitmapFromHICON(h, back), Status::Ok);
    EXPECT_EQ(back->pixelFormat(), PixelFormat32bppARGB);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 2; ++x) EXPECT_EQ(pixelOf(*back, x, y), pixelOf(*image, x, y)) << x << "," << y;
    EXPECT_TRUE(gdi::destroyIcon(h));
    EXPECT_EQ(createBitmapFromHICON(h, back), Status::InvalidParameter);
    EXPECT_EQ(gdi::liveIconCount(), live);
}

TEST(IconHandleImages, MaskGivesAlphaWhenColourHasNone) {
    gdi::IconInfo info;
    info.color.width = info.mask.width = 2;
    info.color.height = info.mask.height = 1;
    info.color.bitCount = 24;
    info.color.bits = {0xff, 0, 0, 0, 0xff, 0, 0, 0};
    info.mask.bitCount = 1;
    info.mask.bits = {0x40, 0, 0, 0};
    gdi::HICON h = gdi::createIcon(info);
    ASSERT_NE(h, 0u);
    std::unique_ptr<Image> image;
    ASSERT_EQ(createBitmapFromHICON(h, image), Status::Ok);
    EXPECT_EQ(image->pixelFormat(), PixelFormat32bppARGB);
    EXPECT_EQ(pixelOf(*image, 0, 0), 0xFF0000FFu);
    EXPECT_EQ(pixelOf(*image, 1, 0) >> 24, 0u);
    EXPECT_TRUE(gdi::destroyIcon(h));

    // 32-bit colour whose alpha is all zero: the mask decides too.
    info.color.bitCount = 32;
    info.color.bits = {1, 2, 3, 0, 4, 5, 6, 0};
    h = gdi::createIcon(info);
    ASSERT_EQ(createBitmapFromHICON(h, image), Status::Ok);
    EXPECT_EQ(pixelOf(*image, 0, 0), 0xFF030201u);
    EXPECT_EQ(pixelOf(*image, 1, 0) >> 24, 0u);
    EXPECT_TRUE(gdi::destroyIcon(h));
}
