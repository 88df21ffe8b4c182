#include "platform/gdiplus/pixel_format.h"

#include <gtest/gtest.h>

#include <vector>

using namespace orrery::gdiplus;

namespace {

std::vector<uint8_t> encodeRow(PixelFormat f, const std::vector<ARGB>& colors, const Palette* palette) {
    std::vector<uint8_t> row(strideFor(f, static_cast<int>(colors.size())) + 8, 0);
    rowFromArgb32(f, colors.data(), static_cast<int>(colors.size()), palette, row.data());
    return row;
}

std::vector<ARGB> decodeRow(PixelFormat f, const std::vector<uint8_t>& row, int count, const Palette* palette) {
    std::vector<ARGB> out(static_cast<size_t>(count));
    rowToArgb32(f, row.data(), 0, count, palette, out.data());
    return out;
}

// Colours every format can hold exactly (grey formats only the greys).
std::vector<ARGB> exactColors(PixelFormat f) {
    if (f == PixelFormat1bppIndexed || f == PixelFormat16bppGrayScale) return {0xFF000000, 0xFFFFFFFF};
    return {0xFF000000, 0xFFFFFFFF, 0xFFFF0000, 0xFF00FF00, 0xFF0000FF, 0xFFFFFF00};
}

}  // namespace

TEST(PixelFormat, ValuesAndFactsAreThePlatforms) {
    EXPECT_EQ(PixelFormat24bppRGB, 0x21808);
    EXPECT_EQ(PixelFormat32bppARGB, 0x26200A);
    EXPECT_EQ(PixelFormat64bppPARGB, 0x1C400E);
    EXPECT_EQ(allPixelFormats().size(), 14u);
    EXPECT_EQ(bitsPerPixel(PixelFormat1bppIndexed), 1);
    EXPECT_EQ(bitsPerPixel(PixelFormat48bppRGB), 48);
    EXPECT_TRUE(isIndexed(PixelFormat4bppIndexed));
    EXPECT_FALSE(isIndexed(PixelFormat16bppRGB565));
    EXPECT_TRUE(hasAlpha(PixelFormat16bppARGB1555));
    EXPECT_TRUE(isPremultiplied(PixelFormat32bppPARGB));
    EXPECT_FALSE(isPremultiplied(PixelFormat32bppARGB));
    EXPECT_FALSE(isValidPixelFormat(0x12345));
    EXPECT_EQ(strideFor(PixelFormat1bppIndexed, 33), 8u);
    EXPECT_EQ(strideFor(PixelFormat24bppRGB, 5), 16u);
    EXPECT_STREQ(pixelFormatName(PixelFormat16bppRGB555), "PixelFormat16bppRGB555");
}

TEST(PixelFormat, DefaultPalettesHaveThePlatformSizes) {
    EXPECT_EQ(defaultPalette(PixelFormat1bppIndexed).entries, (std::vector<ARGB>{0xFF000000, 0xFFFFFFFF}));
    EXPECT_EQ(defaultPalette(PixelFormat4bppIndexed).entries.size(), 16u);
    Palette halftone = defaultPalette(PixelFormat8bppIndexed);
    EXPECT_EQ(halftone.entries.size(), 256u);
    EXPECT_EQ(halftone.flags, PaletteFlagsHalftone);
    EXPECT_TRUE(defaultPalette(PixelFormat24bppRGB).entries.empty());
    EXPECT_EQ(grayPalette(256).entries[128], 0xFF808080u);
}

TEST(PixelFormat, EveryPairConvertsExactColorsExactly) {
    for (PixelFormat src : allPixelFormats()) {
        for (PixelFormat dst : allPixelFormats()) {
            Palette srcPal = defaultPalette(src), dstPal = defaultPalette(dst);
            std::vector<ARGB> colors = exactColors(src);
            if (exactColors(dst).size() < colors.size()) colors = exactColors(dst);
            const int n = static_cast<int>(colors.size());
            std::vector<uint8_t> in = encodeRow(src, colors, &srcPal);
            std::vector<uint8_t> out(strideFor(dst, n) + 8, 0);
            convertRow(src, in.data(), 0, &srcPal, dst, out.data(), 0, &dstPal, n);
            EXPECT_EQ(decodeRow(dst, out, n, &dstPal), colors)
                << pixelFormatName(src) << " -> " << pixelFormatName(dst);
        }
    }
}

TEST(PixelFormat, SubByteFormatsHonourOddOffsets) {
    Palette pal = defaultPalette(PixelFormat4bppIndexed);
    // Indices 1..7 packed two per byte, read from x = 3.
    const uint8_t packed[] = {0x01, 0x23, 0x45, 0x67};
    ARGB out[3];
    rowToArgb32(PixelFormat4bppIndexed, packed, 3, 3, &pal, out);
    EXPECT_EQ(out[0], pal.entries[3]);
    EXPECT_EQ(out[2], pal.entries[5]);

    uint8_t bits[2] = {0, 0};
    const ARGB whites[3] = {0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF};
    Palette bw = defaultPalette(PixelFormat1bppIndexed);
    rowFromArgb32(PixelFormat1bppIndexed, whites, 3, &bw, bits, 6);
    EXPECT_EQ(bits[0], 0x03);
    EXPECT_EQ(bits[1], 0x80);
}

TEST(PixelFormat, DeepFormatsKeepSixteenBitPrecision) {
    // 48bpp B, G, R words: convert to 64bpp and back without loss.
    const uint8_t in[6] = {0x34, 0x12, 0x78, 0x56, 0xbc, 0x9a};
    uint8_t wide[8] = {};
    convertRow(PixelFormat48bppRGB, in, 0, nullptr, PixelFormat64bppARGB, wide, 0, nullptr, 1);
    EXPECT_EQ(wide[6], 0xff);
    EXPECT_EQ(wide[7], 0xff);
    uint8_t back[6] = {};
    convertRow(PixelFormat64bppARGB, wide, 0, nullptr, PixelFormat48bppRGB, back, 0, nullptr, 1);
    EXPECT_EQ(std::vector<uint8_t>(back, back + 6), std::vector<uint8_t>(in, in + 6));
    // And down to 8 bits by rounding to the nearest v * 257: 0x9abc -> 0x9a.
    ARGB c;
    rowToArgb32(PixelFormat48bppRGB, in, 0, 1, nullptr, &c);
    EXPECT_EQ(c, 0xFF9A5612u);
}

TEST(PixelFormat, PremultiplicationRoundsAndInverts) {
    EXPECT_EQ(premultiply(0x80FF0000), 0x80800000u);
    EXPECT_EQ(premultiply(0x00FFFFFF), 0u);
    EXPECT_EQ(unpremultiply(0x80800000), 0x80FF0000u);
    uint8_t pargb[4];
    const ARGB half = 0x40204060;
    rowFromArgb32(PixelFormat32bppPARGB, &half, 1, nullptr, pargb);
    ARGB back;
    rowToArgb32(PixelFormat32bppPARGB, pargb, 0, 1, nullptr, &back);
    EXPECT_EQ(back >> 24, 0x40u);
    EXPECT_NEAR(static_cast<int>((back >> 16) & 0xff), 0x20, 2);
    EXPECT_NEAR(static_cast<int>((back >> 8) & 0xff), 0x40, 2);
}

TEST(PixelFormat, IndexedTargetsTakeTheNearestEntry) {
    Palette pal;
    pal.entries = {0xFF000000, 0xFF808080, 0xFFFFFFFF};
    EXPECT_EQ(nearestPaletteIndex(pal, 0xFF707070), 1);
    EXPECT_EQ(nearestPaletteIndex(pal, 0xFFF0F0F0), 2);
    // Indices move unchanged between indexed formats sharing a palette.
    const uint8_t eight[3] = {2, 0, 1};
    uint8_t four[2] = {};
    convertRow(PixelFormat8bppIndexed, eight, 0, &pal, PixelFormat4bppIndexed, four, 0, &pal, 3);
    EXPECT_EQ(four[0], 0x20);
    EXPECT_EQ(four[1], 0x10);
}
