// BMP reader and writer: every header kind and depth built byte by byte,
// bit fields, RLE with its escape codes, orientation, resolution, truncated
// and hostile headers, the bmpsuite corpus against its reference images, and
// writer round trips.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "platform/gdiplus/codecs/codecs.h"
#include "platform/gdiplus/factory.h"
#include "platform/gdiplus/image.h"
#include "support/dib_builder.h"
#include "support/test_support.h"

using namespace orrery::gdiplus;
using namespace orrery::test;
namespace fs = std::filesystem;

namespace {

Status decode(const std::vector<uint8_t>& bytes, Decoded& out) {
    return decodeWith(codecs::bmpDecoder(), bytes, out);
}

Decoded decodeOk(const std::vector<uint8_t>& bytes) { return decodeOkWith(codecs::bmpDecoder(), bytes); }

// 24-bit rows (BGR), bottom-up unless told, padded to four bytes.
std::vector<uint8_t> rows24(const std::vector<std::vector<ARGB>>& topDownRows, bool bottomUp = true) {
    std::vector<uint8_t> out;
    int h = static_cast<int>(topDownRows.size());
    for (int i = 0; i < h; ++i) {
        const auto& row = topDownRows[static_cast<size_t>(bottomUp ? h - 1 - i : i)];
        size_t start = out.size();
        for (ARGB c : row) {
            out.push_back(static_cast<uint8_t>(c));
            out.push_back(static_cast<uint8_t>(c >> 8));
            out.push_back(static_cast<uint8_t>(c >> 16));
        }
        while ((out.size() - start) % 4) out.push_back(0);
    }
    return out;
}

const std::vector<std::vector<ARGB>> kPicture = {
    {0xFFFF0000, 0xFF00FF00, 0xFF0000FF},
    {0xFF102030, 0xFFFFFFFF, 0xFF000000},
};

void expectPicture(const Frame& f) {
    ASSERT_EQ(f.pixels.width(), 3);
    ASSERT_EQ(f.pixels.height(), 2);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 3; ++x)
            EXPECT_EQ(framePixel(f, x, y), kPicture[y][x]) << x << "," << y;
}

}  // namespace

TEST(BmpCodec, InfoAndSniff) {
    const CodecInfo& info = codecs::bmpDecoder().info();
    EXPECT_EQ(info.clsid, CodecClsid::BMP);
    EXPECT_EQ(info.formatId, ImageFormat::BMP);
    EXPECT_EQ(info.codecName, "Built-in BMP Codec");
    EXPECT_EQ(info.dllName, "");
    EXPECT_EQ(info.formatDescription, "BMP");
    EXPECT_EQ(info.filenameExtension, "*.BMP;*.DIB;*.RLE");
    EXPECT_EQ(info.mimeType, "image/bmp");
    EXPECT_EQ(info.flags, 0x10007u);
    EXPECT_EQ(&codecs::bmpEncoder().info(), &info);
    const uint8_t bm[] = {'B', 'M', 0};
    const uint8_t ba[] = {'B', 'A', 0};
    EXPECT_TRUE(codecs::bmpDecoder().sniff(bm));
    EXPECT_FALSE(codecs::bmpDecoder().sniff(ba));
    EXPECT_FALSE(codecs::bmpDecoder().sniff(std::span<const uint8_t>(bm, 1)));
}

TEST(BmpDecode, EveryHeaderKindReads24Bit) {
    for (uint32_t hs : {12u, 16u, 40u, 52u, 56u, 64u, 108u, 124u}) {
        DibLayout s;
        s.headerSize = hs;
        s.width = 3;
        s.height = 2;
        s.bits = rows24(kPicture);
        Decoded d = decodeOk(bmpFile(s));
        SCOPED_TRACE(hs);
        EXPECT_EQ(d.rawFormat, ImageFormat::BMP);
        EXPECT_EQ(d.frame.pixels.format(), PixelFormat24bppRGB);
        expectPicture(d.frame);
    }
}

TEST(BmpDecode, TopDownAndBottomUp) {
    DibLayout s;
    s.width = 3;
    s.height = -2;
    s.bits = rows24(kPicture, false);
    expectPicture(decodeOk(bmpFile(s)).frame);
    s.height = 2;
    s.bits = rows24(kPicture, true);
    expectPicture(decodeOk(bmpFile(s)).frame);
}

TEST(BmpDecode, IndexedDepthsKeepTheirFormatAndPalette) {
    struct Case {
        uint16_t bits;
        uint32_t headerSize;
        PixelFormat format;
        std::vector<uint8_t> row;  // one row of 4 pixels: indices 0,1,2,3 (1 bpp: 0,1,1,0)
    };
    const std::vector<uint32_t> palette = {0x000000, 0xff0000, 0x00ff00, 0x0000ff};
    for (const Case& c : std::vector<Case>{{1, 40, PixelFormat1bppIndexed, {0x60, 0, 0, 0}},
                                           {1, 12, PixelFormat1bppIndexed, {0x60, 0, 0, 0}},
                                           {2, 40, PixelFormat4bppIndexed, {0x1b, 0, 0, 0}},
                                           {4, 40, PixelFormat4bppIndexed, {0x01, 0x23, 0, 0}},
                                           {8, 40, PixelFormat8bppIndexed, {0, 1, 2, 3}},
                                           {8, 12, PixelFormat8bppIndexed, {0, 1, 2, 3}}}) {
        SCOPED_TRACE(testing::Message() << c.bits << " bpp, header " << c.headerSize);
        DibLayout s;
        s.headerSize = c.headerSize;
        s.width = 4;
        s.height = 1;
        s.bitCount = c.bits;
        s.palette.assign(palette.begin(), palette.begin() + (c.bits == 1 ? 2 : 4));
        if (c.headerSize == 12) s.palette.resize(size_t{1} << c.bits, 0x808080);
        else s.colorsUsed = static_cast<uint32_t>(s.palette.size());
        s.bits = c.row;
        Decoded d = decodeOk(bmpFile(s));
        EXPECT_EQ(d.frame.pixels.format(), c.format);
        EXPECT_EQ(d.frame.palette.entries.size(), s.palette.size());
        std::vector<ARGB> want = c.bits == 1
            ? std::vector<ARGB>{0xFF000000, 0xFFFF0000, 0xFFFF0000, 0xFF000000}
            : std::vector<ARGB>{0xFF000000, 0xFFFF0000, 0xFF00FF00, 0xFF0000FF};
        for (int x = 0; x < 4; ++x) EXPECT_EQ(framePixel(d.frame, x, 0), want[x]) << x;
    }
}

TEST(BmpDecode, ColourTableSizeIsBounded) {
    DibLayout s;
    s.width = 1;
    s.bitCount = 8;
    s.colorsUsed = 300;  // more than 8 bits can index: the table is cut to 256
    s.palette.assign(300, 0x112233);
    s.bits = {255, 0, 0, 0};
    Decoded d = decodeOk(bmpFile(s));
    EXPECT_EQ(d.frame.palette.entries.size(), 256u);
    EXPECT_EQ(framePixel(d.frame, 0, 0), 0xFF112233u);
    EXPECT_TRUE(d.frame.palette.flags == 0);

    s.colorsUsed = 2;  // a short table; an index past it reads as black
    s.palette = {0x404040, 0x808080};
    s.bits = {7, 0, 0, 0};
    d = decodeOk(bmpFile(s));
    EXPECT_EQ(d.frame.palette.entries.size(), 2u);
    EXPECT_EQ(d.frame.palette.flags & PaletteFlagsGrayScale, PaletteFlagsGrayScale);
    EXPECT_EQ(framePixel(d.frame, 0, 0), 0xFF000000u);
}

TEST(BmpDecode, SixteenBitFormats) {
    DibLayout s;
    s.width = 2;
    s.bitCount = 16;
    // 555 by default: red, then white.
    s.bits = {0x00, 0x7c, 0xff, 0x7f};
    Decoded d = decodeOk(bmpFile(s));
    EXPECT_EQ(d.frame.pixels.format(), PixelFormat16bppRGB555);
    EXPECT_EQ(framePixel(d.frame, 0, 0), 0xFFFF0000u);
    EXPECT_EQ(framePixel(d.frame, 1, 0), 0xFFFFFFFFu);

    s.compression = 3;  // explicit 555 masks stay 555
    s.masks = {0x7c00, 0x03e0, 0x001f};
    EXPECT_EQ(decodeOk(bmpFile(s)).frame.pixels.format(), PixelFormat16bppRGB555);

    s.masks = {0xf800, 0x07e0, 0x001f};  // 565: pure green, then blue
    s.bits = {0xe0, 0x07, 0x1f, 0x00};
    d = decodeOk(bmpFile(s));
    EXPECT_EQ(d.frame.pixels.format(), PixelFormat16bppRGB565);
    EXPECT_EQ(framePixel(d.frame, 0, 0), 0xFF00FF00u);
    EXPECT_EQ(framePixel(d.frame, 1, 0), 0xFF0000FFu);

    // 4444 with alpha in a V5 header: expanded to 32bppARGB.
    s.headerSize = 124;
    s.masks = {0x0f00, 0x00f0, 0x000f, 0xf000};
    s.bits = {0x00, 0x8f, 0x0f, 0xf0};  // half-transparent red, opaque blue
    d = decodeOk(bmpFile(s));
    EXPECT_EQ(d.frame.pixels.format(), PixelFormat32bppARGB);
    EXPECT_EQ(framePixel(d.frame, 0, 0), 0x88FF0000u);
    EXPECT_EQ(framePixel(d.frame, 1, 0), 0xFF0000FFu);
    EXPECT_TRUE(d.frame.flags & ImageFlagsHasAlpha);

    // Odd fields without alpha (2-3-1 bits) become 32bppRGB.
    s.headerSize = 40;
    s.masks = {0x0030, 0x000e, 0x0001};
    s.bits = {0x3f, 0x00, 0x02, 0x00};  // white, then the lowest green step
    d = decodeOk(bmpFile(s));
    EXPECT_EQ(d.frame.pixels.format(), PixelFormat32bppRGB);
    EXPECT_EQ(framePixel(d.frame, 0, 0), 0xFFFFFFFFu);
    EXPECT_EQ(framePixel(d.frame, 1, 0), 0xFF002400u);  // 1 of 7 steps: 255/7 rounded
}

TEST(BmpDecode, ThirtyTwoBitAlphaRules) {
    DibLayout s;
    s.width = 2;
    s.bitCount = 32;
    s.bits = {0x10, 0x20, 0x30, 0x80, 0x40, 0x50, 0x60, 0x00};
    // Plain 32-bit: the fourth byte is not alpha.
    Decoded d = decodeOk(bmpFile(s));
    EXPECT_EQ(d.frame.pixels.format(), PixelFormat32bppRGB);
    EXPECT_EQ(framePixel(d.frame, 0, 0), 0xFF302010u);

    // A V5 header with an alpha mask and some alpha: 32bppARGB.
    s.headerSize = 124;
    s.compression = 3;
    s.masks = {0xff0000, 0xff00, 0xff, 0xff000000};
    d = decodeOk(bmpFile(s));
    EXPECT_EQ(d.frame.pixels.format(), PixelFormat32bppARGB);
    EXPECT_EQ(framePixel(d.frame, 0, 0), 0x80302010u);
    EXPECT_EQ(framePixel(d.frame, 1, 0), 0x00605040u);

    // The same with every alpha zero: 32bppRGB, opaque.
    s.bits[3] = 0;
    d = decodeOk(bmpFile(s));
    EXPECT_EQ(d.frame.pixels.format(), PixelFormat32bppRGB);
    EXPECT_EQ(framePixel(d.frame, 1, 0), 0xFF605040u);

    // 40-byte header with BI_ALPHABITFIELDS masks after it, in xBGR order.
    s.headerSize = 40;
    s.compression = 6;
    s.masks = {0x000000ff, 0x0000ff00, 0x00ff0000, 0xff000000};
    s.bits = {0x11, 0x22, 0x33, 0xff, 0x44, 0x55, 0x66, 0x7f};
    d = decodeOk(bmpFile(s));
    EXPECT_EQ(d.frame.pixels.format(), PixelFormat32bppARGB);
    EXPECT_EQ(framePixel(d.frame, 0, 0), 0xFF112233u);
    EXPECT_EQ(framePixel(d.frame, 1, 0), 0x7F445566u);

    // 10-bit channels keep their top eight bits.
    s.compression = 3;
    s.masks = {0x3ff00000, 0x000ffc00, 0x000003ff};
    uint32_t v = (0x3ffu << 20) | (0x200u << 10) | 0x004u;
    s.bits = {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v >> 16),
              static_cast<uint8_t>(v >> 24), 0, 0, 0, 0};
    d = decodeOk(bmpFile(s));
    EXPECT_EQ(d.frame.pixels.format(), PixelFormat32bppRGB);
    EXPECT_EQ(framePixel(d.frame, 0, 0), 0xFFFF8001u);
}

TEST(BmpDecode, Rle8WithDeltaEndOfLineAndEndOfBitmap) {
    DibLayout s;
    s.width = 6;
    s.height = 3;
    s.bitCount = 8;
    s.compression = 1;
    s.palette = {0x000000, 0xff0000, 0x00ff00, 0x0000ff};
    s.bits = {
        3, 1,              // bottom row: three of index 1
        0, 3, 2, 3, 2, 0,  // absolute: 2, 3, 2 (padded to a word)
        0, 0,              // end of line
        0, 2, 1, 1,        // delta: one right, one up (to the top row)
        2, 3,              // two of index 3 at x = 1, 2
        0, 1,              // end of bitmap
        5, 1,              // ignored
    };
    Decoded d = decodeOk(bmpFile(s));
    ASSERT_EQ(d.frame.pixels.format(), PixelFormat8bppIndexed);
    const uint8_t want[3][6] = {{0, 3, 3, 0, 0, 0}, {0, 0, 0, 0, 0, 0}, {1, 1, 1, 2, 3, 2}};
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 6; ++x) EXPECT_EQ(d.frame.pixels.row(y)[x], want[y][x]) << x << "," << y;
}

TEST(BmpDecode, Rle4WithAbsoluteRunsAndClipping) {
    DibLayout s;
    s.width = 5;
    s.height = 2;
    s.bitCount = 4;
    s.compression = 2;
    s.palette.assign(16, 0);
    s.bits = {
        5, 0x12,           // 1 2 1 2 1
        0, 0,              // end of line
        0, 3, 0x45, 0x60,  // absolute 4 5 6 (two bytes: already word-aligned)
        9, 0x77,           // a run past the right edge is clipped
        0, 1,
    };
    Decoded d = decodeOk(bmpFile(s));
    ASSERT_EQ(d.frame.pixels.format(), PixelFormat4bppIndexed);
    auto idx = [&](int x, int y) {
        uint8_t b = d.frame.pixels.row(y)[x / 2];
        return (x & 1) ? b & 0x0f : b >> 4;
    };
    const int want[2][5] = {{4, 5, 6, 7, 7}, {1, 2, 1, 2, 1}};
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 5; ++x) EXPECT_EQ(idx(x, y), want[y][x]) << x << "," << y;
}

TEST(BmpDecode, Os2Rle24) {
    DibLayout s;
    s.headerSize = 64;
    s.width = 3;
    s.height = 1;
    s.compression = 4;
    s.bits = {2, 0x00, 0x00, 0xff,  // two red
              0, 1};
    Decoded d = decodeOk(bmpFile(s));
    ASSERT_EQ(d.frame.pixels.format(), PixelFormat24bppRGB);
    EXPECT_EQ(framePixel(d.frame, 0, 0), 0xFFFF0000u);
    EXPECT_EQ(framePixel(d.frame, 1, 0), 0xFFFF0000u);
    EXPECT_EQ(framePixel(d.frame, 2, 0), 0xFF000000u);
}

TEST(BmpDecode, ResolutionFromPelsPerMeter) {
    DibLayout s;
    s.bits = {0, 0, 0, 0};
    Decoded d = decodeOk(bmpFile(s));
    EXPECT_FLOAT_EQ(d.frame.dpiX, 96.0f);
    EXPECT_EQ(d.frame.flags & ImageFlagsHasRealDPI, 0u);
    s.xPelsPerMeter = 3780;
    s.yPelsPerMeter = 2835;
    d = decodeOk(bmpFile(s));
    EXPECT_FLOAT_EQ(d.frame.dpiX, 96.0f);
    EXPECT_FLOAT_EQ(d.frame.dpiY, 72.0f);
    EXPECT_NE(d.frame.flags & ImageFlagsHasRealDPI, 0u);
    s.xPelsPerMeter = 5000;  // 127 dpi exactly
    s.yPelsPerMeter = 1234;  // 31.3436 dpi
    d = decodeOk(bmpFile(s));
    EXPECT_FLOAT_EQ(d.frame.dpiX, 127.0f);
    EXPECT_FLOAT_EQ(d.frame.dpiY, 31.344f);
    s.yPelsPerMeter = -5;  // nonsense: not stored
    d = decodeOk(bmpFile(s));
    EXPECT_FLOAT_EQ(d.frame.dpiY, 96.0f);
    EXPECT_EQ(d.frame.flags & ImageFlagsHasRealDPI, 0u);
}

TEST(BmpDecode, TruncatedBitsLeaveTheRestZero) {
    DibLayout s;
    s.width = 3;
    s.height = 2;
    s.bits = rows24(kPicture);
    s.bits.resize(12 + 4);  // the bottom row and a pixel of the top one
    Decoded d = decodeOk(bmpFile(s));
    EXPECT_EQ(framePixel(d.frame, 0, 1), 0xFF102030u);
    EXPECT_EQ(framePixel(d.frame, 0, 0), 0xFFFF0000u);
    EXPECT_EQ(framePixel(d.frame, 1, 0), 0xFF000000u);
    EXPECT_EQ(framePixel(d.frame, 2, 0), 0xFF000000u);
    // Bits offset beyond the end: a black image of the right size.
    std::vector<uint8_t> file = bmpFile(s);
    file[10] = 0xa0, file[11] = 0x86, file[12] = 0x01;  // bfOffBits = 100000
    d = decodeOk(file);
    EXPECT_EQ(d.frame.pixels.width(), 3);
    EXPECT_EQ(framePixel(d.frame, 1, 1), 0xFF000000u);
}

TEST(BmpDecode, BadHeadersGiveStatuses) {
    auto statusOf = [](const std::vector<uint8_t>& bytes) {
        Decoded d;
        return decode(bytes, d);
    };
    DibLayout good;
    good.bits = {0, 0, 0, 0};
    std::vector<uint8_t> file = bmpFile(good);
    EXPECT_EQ(statusOf({'B', 'M'}), Status::InvalidParameter);
    EXPECT_EQ(statusOf({'P', 'K', 0, 0}), Status::UnknownImageFormat);
    for (size_t cut : {14u, 17u, 20u, 40u, 53u})
        EXPECT_NE(statusOf({file.begin(), file.begin() + cut}), Status::Ok) << cut;

    auto with = [&](auto change) {
        DibLayout s = good;
        change(s);
        return statusOf(bmpFile(s));
    };
    EXPECT_EQ(with([](DibLayout& s) { s.planes = 2; }), Status::InvalidParameter);
    EXPECT_EQ(with([](DibLayout& s) { s.width = 0; }), Status::InvalidParameter);
    EXPECT_EQ(with([](DibLayout& s) { s.width = -4; }), Status::InvalidParameter);
    EXPECT_EQ(with([](DibLayout& s) { s.height = 0; }), Status::InvalidParameter);
    EXPECT_EQ(with([](DibLayout& s) { s.height = INT32_MIN; }), Status::InvalidParameter);
    EXPECT_EQ(with([](DibLayout& s) { s.bitCount = 3; }), Status::InvalidParameter);
    EXPECT_EQ(with([](DibLayout& s) { s.bitCount = 0; }), Status::InvalidParameter);
    EXPECT_EQ(with([](DibLayout& s) { s.headerSize = 66; }), Status::InvalidParameter);
    EXPECT_EQ(with([](DibLayout& s) { s.headerSize = 200; }), Status::InvalidParameter);
    EXPECT_EQ(with([](DibLayout& s) { s.compression = 9; }), Status::UnknownImageFormat);
    EXPECT_EQ(with([](DibLayout& s) { s.compression = 3; }), Status::InvalidParameter);  // 24-bit fields
    EXPECT_EQ(with([](DibLayout& s) { s.headerSize = 64, s.compression = 3, s.bitCount = 1; }),
              Status::UnknownImageFormat);  // OS/2 Huffman
    EXPECT_EQ(with([](DibLayout& s) { s.bitCount = 8, s.compression = 1, s.height = -1; }),
              Status::InvalidParameter);  // RLE is bottom-up only
    EXPECT_EQ(with([](DibLayout& s) { s.bitCount = 4, s.compression = 1; }), Status::InvalidParameter);
    EXPECT_EQ(with([](DibLayout& s) { s.width = 200000, s.height = 200000; }), Status::OutOfMemory);
}

TEST(BmpDecode, AllocationLimitRefusesBeforeAllocating) {
    size_t old = pixelAllocationLimit();
    setPixelAllocationLimit(1 << 16);
    DibLayout s;
    s.width = 1000;
    s.height = 1000;
    s.bitCount = 8;
    Decoded d;
    EXPECT_EQ(decode(bmpFile(s), d), Status::OutOfMemory);
    s.width = 100;
    s.height = 100;
    EXPECT_EQ(decode(bmpFile(s), d), Status::Ok);
    setPixelAllocationLimit(old);
}

TEST(BmpDecode, EmbeddedPngDecodesThroughThePngCodec) {
    const uint8_t sig[] = {0x89, 'P', 'N', 'G', 0x0d, 0x0a, 0x1a, 0x0a};
    if (!findDecoder(sig)) GTEST_SKIP() << "no PNG decoder registered";
    ORRERY_REQUIRE_CORPUS();
    Decoded d = decodeOk(readFile(corpusPath("bmpsuite/q/rgb24png.bmp")));
    EXPECT_EQ(d.frame.pixels.width(), 127);
    EXPECT_EQ(d.frame.pixels.height(), 64);
    EXPECT_EQ(d.rawFormat, ImageFormat::BMP);
}

// --- corpus ---------------------------------------------------------------

TEST(BmpCorpus, GoodFilesDecodeWithTheirSizes) {
    ORRERY_REQUIRE_CORPUS();
    std::map<std::string, std::pair<int, int>> special = {
        {"pal8nonsquare", {127, 32}}, {"pal8w124", {124, 61}}, {"pal8w125", {125, 62}},
        {"pal8w126", {126, 63}}};
    int count = 0;
    for (const auto& e : fs::directory_iterator(corpusPath("bmpsuite/g"))) {
        SCOPED_TRACE(e.path().filename().string());
        Decoded d = decodeOk(readFile(e.path()));
        auto it = special.find(e.path().stem().string());
        auto size = it == special.end() ? std::pair<int, int>{127, 64} : it->second;
        EXPECT_EQ(d.frame.pixels.width(), size.first);
        EXPECT_EQ(d.frame.pixels.height(), size.second);
        ++count;
    }
    EXPECT_GE(count, 20);
}

TEST(BmpCorpus, GoodFilesMatchReferenceImages) {
    ORRERY_REQUIRE_CORPUS();
    const uint8_t sig[] = {0x89, 'P', 'N', 'G', 0x0d, 0x0a, 0x1a, 0x0a};
    if (!findDecoder(sig)) GTEST_SKIP() << "no PNG decoder registered";
    const std::map<std::string, std::string> reference = {
        {"pal1", "pal1"},         {"pal1bg", "pal1bg"},       {"pal1wb", "pal1"},
        {"pal4", "pal4"},         {"pal4rle", "pal4"},        {"pal8", "pal8"},
        {"pal8-0", "pal8"},       {"pal8os2", "pal8"},        {"pal8rle", "pal8"},
        {"pal8topdown", "pal8"},  {"pal8v4", "pal8"},         {"pal8v5", "pal8"},
        {"pal8w124", "pal8w124"}, {"pal8w125", "pal8w125"},   {"pal8w126", "pal8w126"},
        {"pal8nonsquare", "pal8nonsquare-e"},                 {"rgb16", "rgb16"},
        {"rgb16-565", "rgb16-565"}, {"rgb16-565pal", "rgb16-565"}, {"rgb24", "rgb24"},
        {"rgb24pal", "rgb24"},    {"rgb32", "rgb24"},         {"rgb32bf", "rgb24"},
        // Unusual but well-defined files of q/ show the same pictures.
        {"q/pal8offs", "pal8"},   {"q/pal8os2sp", "pal8"},    {"q/pal8os2v2", "pal8"},
        {"q/pal8os2v2-16", "pal8"}, {"q/pal8oversizepal", "pal8"}, {"q/rgb24largepal", "rgb24"},
        {"q/rgb24prof", "rgb24"}, {"q/rgb24lprof", "rgb24"},  {"q/rgb32h52", "rgb24"},
        {"q/rgb32bf-xbgr", "rgb24"}, {"q/rgb32-111110", "rgb24"}};
    for (const auto& [name, ref] : reference) {
        SCOPED_TRACE(name);
        std::string path = name.starts_with("q/") ? name : "g/" + name;
        Decoded d = decodeOk(readFile(corpusPath("bmpsuite/" + path + ".bmp")));
        std::unique_ptr<Image> expected;
        ASSERT_EQ(loadImageFromFile(corpusPath("bmpsuite/html/" + ref + ".png").string(), DecodeOptions{},
                                    expected),
                  Status::Ok);
        ASSERT_EQ(expected->width(), d.frame.pixels.width());
        ASSERT_EQ(expected->height(), d.frame.pixels.height());
        int worst = 0;
        for (int y = 0; y < expected->height(); ++y) {
            for (int x = 0; x < expected->width(); ++x) {
                ARGB want = 0;
                ASSERT_EQ(expected->getPixel(x, y, want), Status::Ok);
                ARGB got = framePixel(d.frame, x, y);
                for (int shift = 0; shift < 32; shift += 8)
                    worst = std::max(worst, std::abs(int((want >> shift) & 0xff) - int((got >> shift) & 0xff)));
            }
        }
        EXPECT_LE(worst, 1);
    }
}

TEST(BmpCorpus, QuestionableFilesDecodeOrGiveAStatus) {
    ORRERY_REQUIRE_CORPUS();
    // These hold nothing unusual for this reader and must decode.
    const std::vector<std::string> mustDecode = {
        "pal1p1", "pal2", "pal4rletrns", "pal8offs", "pal8os2sp", "pal8os2v2", "pal8os2v2-16",
        "pal8oversizepal", "pal8rletrns", "rgb16-231", "rgb24largepal", "rgb24lprof", "rgb24prof",
        "rgb32-111110", "rgb32bf-xbgr", "rgb32fakealpha", "rgb32h52", "rgba16-4444", "rgba32",
        "rgba32abf", "rgba32h56"};
    for (const std::string& name : mustDecode) {
        SCOPED_TRACE(name);
        Decoded d = decodeOk(readFile(corpusPath("bmpsuite/q/" + name + ".bmp")));
        EXPECT_EQ(d.frame.pixels.width(), 127);
        EXPECT_EQ(d.frame.pixels.height(), 64);
    }
    for (std::string name : {"rgba32", "rgba32abf", "rgba32h56", "rgba16-4444"}) {
        Decoded d = decodeOk(readFile(corpusPath("bmpsuite/q/" + name + ".bmp")));
        EXPECT_EQ(d.frame.pixels.format(), PixelFormat32bppARGB) << name;
    }
    Decoded fake = decodeOk(readFile(corpusPath("bmpsuite/q/rgb32fakealpha.bmp")));
    EXPECT_EQ(fake.frame.pixels.format(), PixelFormat32bppRGB);
    Decoded prof = decodeOk(readFile(corpusPath("bmpsuite/q/rgb24prof.bmp")));
    EXPECT_FALSE(prof.frame.iccProfile.empty());
    // Everything in the folder: a status, never a crash.
    for (const auto& e : fs::directory_iterator(corpusPath("bmpsuite/q"))) {
        Decoded d;
        Status s = decode(readFile(e.path()), d);
        if (s == Status::Ok) {
            EXPECT_FALSE(d.frame.pixels.empty()) << e.path();
        }
    }
}

TEST(BmpCorpus, BadFilesGiveStatuses) {
    ORRERY_REQUIRE_CORPUS();
    const std::map<std::string, Status> expected = {
        {"badbitcount", Status::InvalidParameter}, {"badheadersize", Status::InvalidParameter},
        {"badplanes", Status::InvalidParameter},   {"badwidth", Status::InvalidParameter},
        {"reallybig", Status::OutOfMemory},        {"rletopdown", Status::InvalidParameter}};
    for (const auto& e : fs::directory_iterator(corpusPath("bmpsuite/b"))) {
        Decoded d;
        Status s = decode(readFile(e.path()), d);
        auto it = expected.find(e.path().stem().string());
        if (it != expected.end()) {
            EXPECT_EQ(s, it->second) << e.path();
        } else if (s == Status::Ok) {
            EXPECT_FALSE(d.frame.pixels.empty()) << e.path();
        }
    }
}

// --- writing ----------------------------------------------------------------

namespace {

// An image of `format` filled with a pattern that every format can hold.
std::unique_ptr<Image> patternImage(PixelFormat format, int w, int h) {
    PixelData px;
    EXPECT_EQ(PixelData::allocate(w, h, format, px), Status::Ok);
    Palette palette;
    if (isIndexed(format)) {
        int n = 1 << bitsPerPixel(format);
        for (int i = 0; i < n; ++i)
            palette.entries.push_back(0xFF000000u | uint32_t(i * 37 % 256) << 16 | uint32_t(i * 91 % 256) << 8 |
                                      uint32_t(i * 13 % 256));
    }
    std::vector<ARGB> row(static_cast<size_t>(w));
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            if (isIndexed(format)) {
                row[x] = palette.entries[static_cast<size_t>((x + 3 * y) % palette.entries.size())];
            } else {
                uint32_t a = hasAlpha(format) ? uint32_t((x * 40 + y * 7) % 256) : 255u;
                if (isPremultiplied(format)) a = a < 128 ? 255 : a;  // keep colours exact
                row[x] = a << 24 | uint32_t(x * 16 % 256) << 16 | uint32_t(y * 32 % 256) << 8 | 0x84;
            }
        }
        rowFromArgb32(format, row.data(), w, &palette, px.row(y));
    }
    return Image::fromPixels(std::move(px), palette);
}

}  // namespace

TEST(BmpEncode, RoundTripsEveryFormat) {
    struct Case {
        PixelFormat in;
        PixelFormat out;
    };
    for (const Case& c : std::vector<Case>{{PixelFormat1bppIndexed, PixelFormat1bppIndexed},
                                           {PixelFormat4bppIndexed, PixelFormat4bppIndexed},
                                           {PixelFormat8bppIndexed, PixelFormat8bppIndexed},
                                           {PixelFormat16bppRGB555, PixelFormat16bppRGB555},
                                           {PixelFormat16bppRGB565, PixelFormat16bppRGB565},
                                           {PixelFormat24bppRGB, PixelFormat24bppRGB},
                                           {PixelFormat32bppRGB, PixelFormat32bppRGB},
                                           {PixelFormat32bppARGB, PixelFormat32bppARGB},
                                           {PixelFormat32bppPARGB, PixelFormat32bppARGB},
                                           {PixelFormat48bppRGB, PixelFormat24bppRGB},
                                           {PixelFormat64bppARGB, PixelFormat32bppARGB},
                                           {PixelFormat16bppARGB1555, PixelFormat32bppARGB}}) {
        SCOPED_TRACE(pixelFormatName(c.in));
        std::unique_ptr<Image> image = patternImage(c.in, 13, 5);
        ASSERT_TRUE(image);
        ASSERT_EQ(image->setResolution(300.0f, 150.0f), Status::Ok);
        ByteSink bytes;
        ASSERT_EQ(codecs::bmpEncoder().encode(*image, {}, bytes), Status::Ok);
        Decoded d = decodeOk(bytes);
        ASSERT_EQ(d.frame.pixels.format(), c.out);
        ASSERT_EQ(d.frame.pixels.width(), 13);
        ASSERT_EQ(d.frame.pixels.height(), 5);
        EXPECT_FLOAT_EQ(d.frame.dpiX, 300.0f);
        EXPECT_FLOAT_EQ(d.frame.dpiY, 150.0f);
        if (isIndexed(c.in)) {
            EXPECT_EQ(d.frame.palette.entries, image->palette().entries);
        }
        for (int y = 0; y < 5; ++y) {
            for (int x = 0; x < 13; ++x) {
                ARGB want = 0;
                ASSERT_EQ(image->getPixel(x, y, want), Status::Ok);
                EXPECT_EQ(framePixel(d.frame, x, y), want) << x << "," << y;
            }
        }
    }
}

TEST(BmpEncode, WritesTheExpectedHeaders) {
    ByteSink bytes;
    ASSERT_EQ(codecs::bmpEncoder().encode(*patternImage(PixelFormat24bppRGB, 3, 2), {}, bytes), Status::Ok);
    ASSERT_GE(bytes.size(), 54u);
    EXPECT_EQ(bytes[0], 'B');
    EXPECT_EQ(bytes[1], 'M');
    auto rd32 = [&](size_t at) {
        return uint32_t(bytes[at]) | uint32_t(bytes[at + 1]) << 8 | uint32_t(bytes[at + 2]) << 16 |
               uint32_t(bytes[at + 3]) << 24;
    };
    EXPECT_EQ(rd32(2), bytes.size());
    EXPECT_EQ(rd32(10), 54u);
    EXPECT_EQ(rd32(14), 40u);
    EXPECT_EQ(bytes.size(), 54u + 2 * 12);
    EXPECT_EQ(rd32(38), 3780u);  // 96 dpi

    bytes.clear();
    ASSERT_EQ(codecs::bmpEncoder().encode(*patternImage(PixelFormat32bppARGB, 2, 2), {}, bytes), Status::Ok);
    EXPECT_EQ(rd32(14), 124u);
    EXPECT_EQ(rd32(30), 3u);  // bit fields
    EXPECT_EQ(rd32(66), 0xff000000u);

    bytes.clear();
    ASSERT_EQ(codecs::bmpEncoder().encode(*patternImage(PixelFormat16bppRGB565, 2, 2), {}, bytes), Status::Ok);
    EXPECT_EQ(rd32(30), 3u);
    EXPECT_EQ(rd32(54), 0xf800u);
    EXPECT_EQ(rd32(10), 66u);
}
