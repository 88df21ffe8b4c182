// ICO/CUR reader: directory parsing, choice of the richest entry, AND masks
// and alpha, PNG entries, hostile directories, and Pillow's icon files.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/gdiplus/codecs/codecs.h"
#include "platform/gdiplus/image.h"
#include "support/dib_builder.h"
#include "support/test_support.h"

using namespace orrery::gdiplus;
using namespace orrery::test;

namespace {

Status decode(const std::vector<uint8_t>& bytes, Decoded& out) {
    return decodeWith(codecs::icoDecoder(), bytes, out);
}

Decoded decodeOk(const std::vector<uint8_t>& bytes) { return decodeOkWith(codecs::icoDecoder(), bytes); }

// An icon entry: a DIB whose header height counts colour and mask rows,
// colour rows (bottom-up) and then the mask rows. `maskRows` are top-down
// here, one bit per pixel, most significant first.
IcoEntry dibEntry(int w, int h, uint16_t bitCount, std::vector<uint8_t> colourBits,
                  const std::vector<uint32_t>& maskRows, std::vector<uint32_t> palette = {}) {
    DibLayout s;
    s.width = w;
    s.height = 2 * h;
    s.bitCount = bitCount;
    s.palette = std::move(palette);
    s.bits = std::move(colourBits);
    uint32_t stride = dibStride(w, 1);
    for (int i = h - 1; i >= 0; --i) {
        uint32_t bits = i < static_cast<int>(maskRows.size()) ? maskRows[static_cast<size_t>(i)] : 0;
        for (uint32_t k = 0; k < stride; ++k) s.bits.push_back(k < 4 ? static_cast<uint8_t>(bits >> (24 - 8 * k)) : 0);
    }
    IcoEntry e;
    e.data = packedDib(s);
    e.width = static_cast<uint8_t>(w);
    e.height = static_cast<uint8_t>(h);
    e.bitsOrHotY = bitCount;
    return e;
}

// Solid colour rows of a 24-bit entry.
std::vector<uint8_t> solid24(int w, int h, uint32_t rgb) {
    std::vector<uint8_t> out;
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            out.push_back(static_cast<uint8_t>(rgb));
            out.push_back(static_cast<uint8_t>(rgb >> 8));
            out.push_back(static_cast<uint8_t>(rgb >> 16));
        }
        while (out.size() % 4) out.push_back(0);
    }
    return out;
}

}  // namespace

TEST(IcoCodec, InfoAndSniff) {
    const CodecInfo& info = codecs::icoDecoder().info();
    EXPECT_EQ(info.clsid, CodecClsid::ICO);
    EXPECT_EQ(info.formatId, ImageFormat::Icon);
    EXPECT_EQ(info.codecName, "Built-in ICO Codec");
    EXPECT_EQ(info.formatDescription, "ICO");
    EXPECT_EQ(info.filenameExtension, "*.ICO");
    EXPECT_EQ(info.mimeType, "image/x-icon");
    EXPECT_EQ(info.flags, uint32_t(CodecFlagsDecoder | CodecFlagsSupportBitmap | CodecFlagsBuiltin));
    std::vector<uint8_t> ico = icoFile({dibEntry(1, 1, 24, solid24(1, 1, 0), {})});
    std::vector<uint8_t> cur = icoFile({dibEntry(1, 1, 24, solid24(1, 1, 0), {})}, 2);
    EXPECT_TRUE(codecs::icoDecoder().sniff(ico));
    EXPECT_TRUE(codecs::icoDecoder().sniff(cur));
    std::vector<uint8_t> empty = {0, 0, 1, 0, 0, 0};
    std::vector<uint8_t> wrongType = {0, 0, 3, 0, 1, 0};
    EXPECT_FALSE(codecs::icoDecoder().sniff(empty));
    EXPECT_FALSE(codecs::icoDecoder().sniff(wrongType));
    // A first entry that points into the directory is not an icon.
    std::vector<uint8_t> inside = ico;
    inside[18] = 4;
    EXPECT_FALSE(codecs::icoDecoder().sniff(inside));
}

TEST(IcoDecode, MaskBecomesAlpha) {
    // 3x2, red; mask: top row middle pixel, bottom row first pixel transparent.
    std::vector<uint8_t> file = icoFile({dibEntry(3, 2, 24, solid24(3, 2, 0xff0000), {0x40000000, 0x80000000})});
    Decoded d = decodeOk(file);
    EXPECT_EQ(d.rawFormat, ImageFormat::Icon);
    ASSERT_EQ(d.frame.pixels.format(), PixelFormat32bppARGB);
    ASSERT_EQ(d.frame.pixels.width(), 3);
    ASSERT_EQ(d.frame.pixels.height(), 2);
    EXPECT_EQ(framePixel(d.frame, 0, 0), 0xFFFF0000u);
    EXPECT_EQ(framePixel(d.frame, 1, 0) >> 24, 0u);
    EXPECT_EQ(framePixel(d.frame, 2, 0), 0xFFFF0000u);
    EXPECT_EQ(framePixel(d.frame, 0, 1) >> 24, 0u);
    EXPECT_EQ(framePixel(d.frame, 1, 1), 0xFFFF0000u);
    EXPECT_NE(d.frame.flags & ImageFlagsHasAlpha, 0u);
}

TEST(IcoDecode, IndexedEntriesUseTheirPalette) {
    // 8x1 at 1 bpp: pixels alternate palette entries 0 and 1; no mask bits.
    std::vector<uint8_t> bits = {0x55, 0, 0, 0};
    Decoded d = decodeOk(icoFile({dibEntry(8, 1, 1, bits, {}, {0x0000ff, 0x00ff00})}));
    ASSERT_EQ(d.frame.pixels.format(), PixelFormat32bppARGB);
    EXPECT_EQ(framePixel(d.frame, 0, 0), 0xFF0000FFu);
    EXPECT_EQ(framePixel(d.frame, 1, 0), 0xFF00FF00u);
}

TEST(IcoDecode, ThirtyTwoBitEntriesKeepAlphaUnlessAllZero) {
    std::vector<uint8_t> bits = {0x10, 0x20, 0x30, 0x80, 0x40, 0x50, 0x60, 0x00};
    // Some alpha: kept, the mask is ignored.
    Decoded d = decodeOk(icoFile({dibEntry(2, 1, 32, bits, {0xC0000000})}));
    EXPECT_EQ(framePixel(d.frame, 0, 0), 0x80302010u);
    EXPECT_EQ(framePixel(d.frame, 1, 0), 0x00605040u);
    // No alpha at all: the mask decides.
    bits[3] = 0;
    d = decodeOk(icoFile({dibEntry(2, 1, 32, bits, {0x40000000})}));
    EXPECT_EQ(framePixel(d.frame, 0, 0), 0xFF302010u);
    EXPECT_EQ(framePixel(d.frame, 1, 0) >> 24, 0u);
}

TEST(IcoDecode, RichestEntryWins) {
    IcoEntry small8 = dibEntry(2, 2, 8, {1, 1, 0, 0, 1, 1, 0, 0}, {}, {0, 0x00ff00});
    IcoEntry small24 = dibEntry(2, 2, 24, solid24(2, 2, 0x0000ff), {});
    IcoEntry big1 = dibEntry(4, 4, 1, std::vector<uint8_t>(16, 0xff), {}, {0, 0xff0000});
    // Largest area first, whatever the order or depth.
    Decoded d = decodeOk(icoFile({small24, big1, small8}));
    EXPECT_EQ(d.frame.pixels.width(), 4);
    EXPECT_EQ(framePixel(d.frame, 0, 0), 0xFFFF0000u);
    // Same area: the deeper one.
    d = decodeOk(icoFile({small8, small24}));
    EXPECT_EQ(framePixel(d.frame, 0, 0), 0xFF0000FFu);
    // The directory's own sizes are not trusted: the DIB header's are.
    small8.width = 200;
    d = decodeOk(icoFile({small8, small24}));
    EXPECT_EQ(framePixel(d.frame, 0, 0), 0xFF0000FFu);
}

TEST(IcoDecode, BrokenEntryGivesWayToTheNext) {
    IcoEntry good = dibEntry(2, 2, 24, solid24(2, 2, 0x123456), {});
    IcoEntry broken = dibEntry(4, 4, 24, solid24(4, 4, 0), {});
    broken.data[12] = 2;  // planes = 2: unusable header, larger area
    Decoded d = decodeOk(icoFile({broken, good}));
    EXPECT_EQ(d.frame.pixels.width(), 2);
    EXPECT_EQ(framePixel(d.frame, 1, 1), 0xFF123456u);
}

TEST(IcoDecode, HostileDirectoriesGiveStatuses) {
    std::vector<uint8_t> file = icoFile({dibEntry(2, 2, 24, solid24(2, 2, 0), {})});
    Decoded d;
    // The entry points past the end.
    std::vector<uint8_t> past = file;
    past[18] = 0xff, past[19] = 0xff;
    EXPECT_EQ(decode(past, d), Status::InvalidParameter);
    // A count larger than the directory present: the entries that fit are read.
    std::vector<uint8_t> many = file;
    many[4] = 0xff, many[5] = 0xff;
    EXPECT_EQ(decode(many, d), Status::Ok);
    // Truncated colour bits: what is there shows, the rest is zero.
    std::vector<uint8_t> cut(file.begin(), file.end() - 12);
    EXPECT_EQ(decode(cut, d), Status::Ok);
    EXPECT_EQ(d.frame.pixels.width(), 2);
    // Directory only, no entry data.
    std::vector<uint8_t> bare(file.begin(), file.begin() + 22);
    EXPECT_EQ(decode(bare, d), Status::InvalidParameter);
    EXPECT_EQ(decode({0, 0, 1, 0}, d), Status::UnknownImageFormat);
    EXPECT_EQ(decode({'B', 'M', 0, 0, 0, 0, 0, 0}, d), Status::UnknownImageFormat);
}

TEST(IcoDecode, OversizedEntryIsRefusedBeforeAllocation) {
    DibLayout s;
    s.width = 60000;
    s.height = 120000;
    s.bitCount = 1;
    IcoEntry e;
    e.data = packedDib(s);
    Decoded d;
    EXPECT_EQ(decode(icoFile({e}), d), Status::OutOfMemory);
}

TEST(IcoDecode, PngEntries) {
    const Encoder* png = findEncoder(CodecClsid::PNG);
    const uint8_t sig[] = {0x89, 'P', 'N', 'G', 0x0d, 0x0a, 0x1a, 0x0a};
    if (!png || !findDecoder(sig)) GTEST_SKIP() << "no PNG codec registered";
    PixelData px;
    ASSERT_EQ(PixelData::allocate(5, 3, PixelFormat32bppARGB, px), Status::Ok);
    std::vector<ARGB> row(5);
    for (int y = 0; y < 3; ++y) {
        for (int x = 0; x < 5; ++x) row[x] = (uint32_t(x * 60) << 24) | (uint32_t(y * 100) << 8) | 0x7f;
        rowFromArgb32(PixelFormat32bppARGB, row.data(), 5, nullptr, px.row(y));
    }
    std::unique_ptr<Image> image = Image::fromPixels(std::move(px));
    ByteSink bytes;
    ASSERT_EQ(png->encode(*image, {}, bytes), Status::Ok);
    IcoEntry pngEntry;
    pngEntry.data = bytes;
    Decoded d = decodeOk(icoFile({dibEntry(2, 2, 24, solid24(2, 2, 0), {}), pngEntry}));
    ASSERT_EQ(d.frame.pixels.format(), PixelFormat32bppARGB);
    ASSERT_EQ(d.frame.pixels.width(), 5);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 5; ++x) {
            ARGB want = 0;
            ASSERT_EQ(image->getPixel(x, y, want), Status::Ok);
            EXPECT_EQ(framePixel(d.frame, x, y), want) << x << "," << y;
        }
}

TEST(IcoCorpus, PillowIconsAndCursors) {
    ORRERY_REQUIRE_CORPUS();
    const uint8_t sig[] = {0x89, 'P', 'N', 'G', 0x0d, 0x0a, 0x1a, 0x0a};
    bool pngRegistered = findDecoder(sig) != nullptr;
    struct Case {
        const char* file;
        int width, height;
        bool needsPng;
    };
    for (const Case& c : std::vector<Case>{{"black_and_white.ico", 16, 16, false},
                                           {"hopper.ico", 16, 16, false},
                                           {"hopper_256x256.ico", 256, 256, false},
                                           {"hopper_draw.ico", 16, 16, true},
                                           {"hopper_mask.ico", 16, 16, false},
                                           {"hopper_unexpected.ico", 16, 16, false},
                                           {"pillow.ico", 256, 256, true},
                                           {"python.ico", 48, 48, false},
                                           {"deerstalker.cur", 32, 32, false},
                                           {"mask_1.cur", 1, 4, false},
                                           {"mask_L.cur", 1, 4, false}}) {
        if (c.needsPng && !pngRegistered) continue;
        SCOPED_TRACE(c.file);
        Decoded d = decodeOk(readFile(corpusPath(std::string("pillow/") + c.file)));
        EXPECT_EQ(d.frame.pixels.width(), c.width);
        EXPECT_EQ(d.frame.pixels.height(), c.height);
        EXPECT_EQ(d.frame.pixels.format(), PixelFormat32bppARGB);
    }
    // hopper_mask.ico: a 1-bit image whose mask cuts out transparent pixels.
    Decoded masked = decodeOk(readFile(corpusPath("pillow/hopper_mask.ico")));
    int transparent = 0;
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x) transparent += (framePixel(masked.frame, x, y) >> 24) == 0;
    EXPECT_GT(transparent, 0);
    EXPECT_LT(transparent, 256);
    Decoded d;
    EXPECT_EQ(decode(readFile(corpusPath("pillow/decompression_bomb.ico")), d), Status::OutOfMemory);
    EXPECT_EQ(decode(readFile(corpusPath("pillow/no_cursors.cur")), d), Status::UnknownImageFormat);
}
