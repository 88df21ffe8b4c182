// PNG decoder and encoder: the PngSuite with its expected pixels, libpng's
// depth/gamma/tRNS set and crashers, truncation, corruption, limits and
// round trips through every pixel format.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/gdiplus/codecs/codecs.h"
#include "platform/gdiplus/factory.h"
#include "platform/gdiplus/image.h"
#include "support/test_support.h"

using namespace orrery::gdiplus;
namespace fs = std::filesystem;

namespace {

Status decodeBytes(const std::vector<uint8_t>& bytes, std::unique_ptr<Image>& out) {
    Decoded decoded;
    Status s = codecs::pngDecoder().decode(ByteSource::copyOf(bytes), DecodeOptions{}, decoded);
    if (s == Status::Ok) out = std::make_unique<Image>(std::move(decoded));
    return s;
}

std::unique_ptr<Image> decodeFile(const fs::path& path) {
    std::unique_ptr<Image> image;
    Status s = decodeBytes(orrery::test::readFile(path), image);
    EXPECT_EQ(s, Status::Ok) << path;
    return image;
}

// The PngSuite name tells colour type and depth: "basn2c16" is type 2, 16 bits.
struct SuiteName {
    int colorType = 0;
    int depth = 0;
};
SuiteName parseSuiteName(const std::string& stem) {
    return SuiteName{stem[4] - '0', std::stoi(stem.substr(6, 2))};
}

bool hasChunk(const std::vector<uint8_t>& file, const char* type) {
    return std::search(file.begin(), file.end(), type, type + 4) != file.end();
}

PixelFormat expectedFormat(int colorType, int depth, bool trns) {
    switch (colorType) {
    case 0:
        if (depth == 16) return trns ? PixelFormat64bppARGB : PixelFormat48bppRGB;
        [[fallthrough]];
    case 3:
        return depth == 1 ? PixelFormat1bppIndexed
                          : depth <= 4 ? PixelFormat4bppIndexed : PixelFormat8bppIndexed;
    case 2:
        if (depth == 16) return trns ? PixelFormat64bppARGB : PixelFormat48bppRGB;
        return trns ? PixelFormat32bppARGB : PixelFormat24bppRGB;
    default:
        return depth == 16 ? PixelFormat64bppARGB : PixelFormat32bppARGB;
    }
}

std::vector<uint32_t> readJsonNumbers(const fs::path& path) {
    std::ifstream in(path);
    std::vector<uint32_t> values;
    uint32_t v = 0;
    bool inNumber = false;
    char c;
    while (in.get(c)) {
        if (std::isdigit(static_cast<unsigned char>(c))) {
            v = v * 10 + static_cast<uint32_t>(c - '0');
            inNumber = true;
        } else if (inNumber) {
            values.push_back(v);
            v = 0;
            inNumber = false;
        }
    }
    if (inNumber) values.push_back(v);
    return values;
}

// Pixels of an image as R, G, B, A values: 8-bit, or 16-bit when `deep`.
std::vector<uint32_t> rgbaOf(const Image& image, bool deep) {
    const PixelData& px = image.pixels();
    std::vector<uint32_t> out;
    std::vector<uint64_t> row64(static_cast<size_t>(px.width()));
    std::vector<ARGB> row32(static_cast<size_t>(px.width()));
    for (int y = 0; y < px.height(); ++y) {
        if (deep) {
            rowToArgb64(px.format(), px.row(y), 0, px.width(), &image.palette(), row64.data());
            for (uint64_t c : row64)
                for (int shift : {32, 16, 0, 48}) out.push_back(static_cast<uint32_t>(c >> shift) & 0xffff);
        } else {
            rowToArgb32(px.format(), px.row(y), 0, px.width(), &image.palette(), row32.data());
            for (ARGB c : row32)
                for (int shift : {16, 8, 0, 24}) out.push_back((c >> shift) & 0xff);
        }
    }
    return out;
}

std::vector<fs::path> pngsIn(const fs::path& dir) {
    std::vector<fs::path> files;
    for (const auto& e : fs::directory_iterator(dir))
        if (e.path().extension() == ".png") files.push_back(e.path());
    std::sort(files.begin(), files.end());
    return files;
}

std::vector<uint8_t> encode(const Image& image) {
    ByteSink sink;
    EXPECT_EQ(codecs::pngEncoder().encode(image, {}, sink), Status::Ok);
    return sink;
}

// A deterministic gradient image in 24bppRGB.
std::unique_ptr<Image> gradient(int w, int h) {
    PixelData px;
    EXPECT_EQ(PixelData::allocate(w, h, PixelFormat24bppRGB, px), Status::Ok);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            uint8_t* p = px.row(y) + 3 * x;
            p[0] = static_cast<uint8_t>(x * 7 + y);
            p[1] = static_cast<uint8_t>(y * 3);
            p[2] = static_cast<uint8_t>(x ^ y);
        }
    return Image::fromPixels(std::move(px));
}

// Offset of the first byte of the first chunk of `type`'s data.
size_t chunkData(const std::vector<uint8_t>& file, const char* type) {
    auto it = std::search(file.begin(), file.end(), type, type + 4);
    return static_cast<size_t>(it - file.begin()) + 4;
}

}  // namespace

TEST(PngSuite, GoodFilesDecodeToTheirOwnFormatWithExpectedPixels) {
    ORRERY_REQUIRE_CORPUS();
    int checked = 0;
    for (const fs::path& path : pngsIn(orrery::test::corpusPath("pngsuite/png"))) {
        std::string stem = path.stem().string();
        if (stem[0] == 'x') continue;
        SCOPED_TRACE(stem);
        std::vector<uint8_t> file = orrery::test::readFile(path);
        std::unique_ptr<Image> image;
        ASSERT_EQ(decodeBytes(file, image), Status::Ok);
        SuiteName name = parseSuiteName(stem);
        EXPECT_EQ(image->pixelFormat(), expectedFormat(name.colorType, name.depth, hasChunk(file, "tRNS")));
        EXPECT_EQ(image->rawFormat(), ImageFormat::PNG);

        fs::path json = orrery::test::corpusPath("pngsuite/json/" + stem + ".json");
        std::vector<uint32_t> expected = readJsonNumbers(json);
        ASSERT_EQ(expected.size(), size_t(image->width()) * image->height() * 4);
        std::vector<uint32_t> actual = rgbaOf(*image, name.depth == 16);
        size_t mismatches = 0;
        for (size_t i = 0; i < expected.size(); ++i) {
            // A fully transparent pixel's colour is not defined by the file.
            bool transparent = expected[i - i % 4 + 3] == 0;
            if (!transparent && actual[i] != expected[i]) ++mismatches;
            if (transparent && i % 4 == 3 && actual[i] != 0) ++mismatches;
        }
        EXPECT_EQ(mismatches, 0u);
        ++checked;
    }
    EXPECT_GT(checked, 150);
}

TEST(PngSuite, CorruptFilesGiveAStatus) {
    ORRERY_REQUIRE_CORPUS();
    int checked = 0;
    for (const fs::path& path : pngsIn(orrery::test::corpusPath("pngsuite/png"))) {
        if (path.stem().string()[0] != 'x') continue;
        SCOPED_TRACE(path.stem().string());
        std::vector<uint8_t> file = orrery::test::readFile(path);
        std::unique_ptr<Image> image;
        if (codecs::pngDecoder().sniff(file)) {
            EXPECT_NE(decodeBytes(file, image), Status::Ok);
        }
        EXPECT_NE(loadImageFromBytes(ByteSource::copyOf(file), {}, image), Status::Ok);
        ++checked;
    }
    EXPECT_EQ(checked, 14);
}

TEST(PngSuite, ResolutionAndFlags) {
    ORRERY_REQUIRE_CORPUS();
    auto plain = decodeFile(orrery::test::corpusPath("pngsuite/png/basn2c08.png"));
    EXPECT_FLOAT_EQ(plain->horizontalResolution(), 96.0f);
    EXPECT_EQ(plain->flags() & ImageFlagsHasRealDPI, 0u);
    EXPECT_EQ(plain->flags() & ImageFlagsHasAlpha, 0u);
    // cdfn2c08 stores 1 x 4 pixels per unit, unit unknown: no real dpi.
    auto unknownUnit = decodeFile(orrery::test::corpusPath("pngsuite/png/cdfn2c08.png"));
    EXPECT_FLOAT_EQ(unknownUnit->horizontalResolution(), 96.0f);
    // cdun2c08 stores 1000 pixels per metre on both axes.
    auto metric = decodeFile(orrery::test::corpusPath("pngsuite/png/cdun2c08.png"));
    EXPECT_NEAR(metric->horizontalResolution(), 25.4f, 0.01f);
    EXPECT_NE(metric->flags() & ImageFlagsHasRealDPI, 0u);
    auto alpha = decodeFile(orrery::test::corpusPath("pngsuite/png/basn6a08.png"));
    EXPECT_NE(alpha->flags() & ImageFlagsHasAlpha, 0u);
    auto paletteAlpha = decodeFile(orrery::test::corpusPath("pngsuite/png/tbbn3p08.png"));
    EXPECT_NE(paletteAlpha->palette().flags & PaletteFlagsHasAlpha, 0u);
    EXPECT_NE(paletteAlpha->flags() & ImageFlagsHasAlpha, 0u);
    auto greyKey = decodeFile(orrery::test::corpusPath("pngsuite/png/tbbn0g04.png"));
    EXPECT_EQ(greyKey->pixelFormat(), PixelFormat4bppIndexed);
    EXPECT_NE(greyKey->palette().flags & PaletteFlagsHasAlpha, 0u);
}

TEST(PngSuite, EmbeddedProfileIsKeptAndCanBeApplied) {
    ORRERY_REQUIRE_CORPUS();
    std::vector<uint8_t> file = orrery::test::readFile(orrery::test::corpusPath("pillow/icc_profile.png"));
    std::unique_ptr<Image> image;
    ASSERT_EQ(decodeBytes(file, image), Status::Ok);
    const std::vector<uint8_t>& icc = image->frame().iccProfile;
    ASSERT_GT(icc.size(), 128u);
    EXPECT_EQ(std::string(icc.begin() + 36, icc.begin() + 40), "acsp");
    Decoded managed;
    EXPECT_EQ(codecs::pngDecoder().decode(ByteSource::copyOf(file), DecodeOptions{true}, managed),
              Status::Ok);
    auto plain = decodeFile(orrery::test::corpusPath("pngsuite/png/basn2c08.png"));
    EXPECT_TRUE(plain->frame().iccProfile.empty());
}

TEST(LibpngTestImages, EveryDepthGammaAndTransparencyDecodes) {
    ORRERY_REQUIRE_CORPUS();
    int checked = 0;
    for (const fs::path& path : pngsIn(orrery::test::corpusPath("libpng-testpngs"))) {
        std::string stem = path.stem().string();
        SCOPED_TRACE(stem);
        std::vector<uint8_t> file = orrery::test::readFile(path);
        std::unique_ptr<Image> image;
        ASSERT_EQ(decodeBytes(file, image), Status::Ok);
        // Names read "<kind>-<depth>[-<gamma>][-tRNS]".
        int colorType = -1;
        size_t depthAt = 0;
        for (auto [kind, type] : {std::pair{"gray-alpha-", 4}, {"rgb-alpha-", 6}, {"gray-", 0},
                                  {"palette-", 3}, {"rgb-", 2}}) {
            if (stem.rfind(kind, 0) == 0) {
                colorType = type;
                depthAt = std::strlen(kind);
                break;
            }
        }
        if (colorType < 0) continue;
        int depth = std::stoi(stem.substr(depthAt));
        EXPECT_EQ(image->pixelFormat(), expectedFormat(colorType, depth, hasChunk(file, "tRNS")));
        ++checked;
    }
    EXPECT_GT(checked, 80);
}

TEST(LibpngTestImages, CrashersAndBadPalettesNeverCrash) {
    ORRERY_REQUIRE_CORPUS();
    for (const char* dir : {"libpng-testpngs/crashers", "libpng-testpngs/badpal"}) {
        for (const fs::path& path : pngsIn(orrery::test::corpusPath(dir))) {
            SCOPED_TRACE(path.filename().string());
            std::unique_ptr<Image> image;
            Status s = decodeBytes(orrery::test::readFile(path), image);
            if (s == Status::Ok) {
                EXPECT_GT(image->width(), 0);
                std::vector<uint32_t> pixels = rgbaOf(*image, false);
                EXPECT_EQ(pixels.size(), size_t(image->width()) * image->height() * 4);
            }
        }
    }
    // A critical-chunk CRC error is a status, not an image.
    std::unique_ptr<Image> image;
    EXPECT_NE(decodeBytes(orrery::test::readFile(
                              orrery::test::corpusPath("libpng-testpngs/crashers/badcrc.png")),
                          image),
              Status::Ok);
}

TEST(PngTruncation, RowsDecodedSoFarShowAndTheRestIsZero) {
    auto original = gradient(64, 64);
    std::vector<uint8_t> file = encode(*original);
    size_t idat = chunkData(file, "IDAT");
    file.resize(idat + (file.size() - idat) / 2);
    std::unique_ptr<Image> image;
    ASSERT_EQ(decodeBytes(file, image), Status::Ok);
    ASSERT_EQ(image->pixelFormat(), PixelFormat24bppRGB);
    EXPECT_EQ(std::memcmp(image->pixels().row(0), original->pixels().row(0), 64 * 3), 0);
    std::vector<uint8_t> zeros(64 * 3, 0);
    EXPECT_EQ(std::memcmp(image->pixels().row(63), zeros.data(), zeros.size()), 0);
}

TEST(PngTruncation, InterlacedFilesShowThePassesThatArrived) {
    ORRERY_REQUIRE_CORPUS();
    std::vector<uint8_t> file = orrery::test::readFile(orrery::test::corpusPath("pngsuite/png/basi2c08.png"));
    auto whole = decodeFile(orrery::test::corpusPath("pngsuite/png/basi2c08.png"));
    file.resize(file.size() * 3 / 4);
    std::unique_ptr<Image> part;
    ASSERT_EQ(decodeBytes(file, part), Status::Ok);
    // The first pass holds pixel (0,0); the last pass (odd rows) did not arrive.
    EXPECT_EQ(std::memcmp(part->pixels().row(0), whole->pixels().row(0), 3), 0);
    std::vector<uint8_t> zeros(32 * 3, 0);
    EXPECT_EQ(std::memcmp(part->pixels().row(31), zeros.data(), zeros.size()), 0);
}

TEST(PngTruncation, DataEndingBeforeAnyRowOrInTheHeaderIsAStatus) {
    std::vector<uint8_t> file = encode(*gradient(16, 16));
    std::unique_ptr<Image> image;
    std::vector<uint8_t> headerOnly(file.begin(), file.begin() + 20);
    EXPECT_EQ(decodeBytes(headerOnly, image), Status::InvalidParameter);
    std::vector<uint8_t> noRows(file.begin(), file.begin() + static_cast<long>(chunkData(file, "IDAT")) + 2);
    EXPECT_EQ(decodeBytes(noRows, image), Status::InvalidParameter);
}

TEST(PngCorruption, CriticalChunkCrcErrorIsAStatus) {
    std::vector<uint8_t> file = encode(*gradient(16, 16));
    file[chunkData(file, "IDAT") + 5] ^= 0x55;
    std::unique_ptr<Image> image;
    EXPECT_EQ(decodeBytes(file, image), Status::InvalidParameter);
    std::vector<uint8_t> badHeader = encode(*gradient(16, 16));
    badHeader[chunkData(badHeader, "IHDR") + 3] ^= 1;
    EXPECT_EQ(decodeBytes(badHeader, image), Status::InvalidParameter);
}

TEST(PngLimits, ImagesAboveTheAllocationLimitAreRefusedBeforeAllocating) {
    std::vector<uint8_t> file = encode(*gradient(200, 200));
    size_t saved = pixelAllocationLimit();
    setPixelAllocationLimit(10000);
    std::unique_ptr<Image> image;
    Status s = decodeBytes(file, image);
    setPixelAllocationLimit(saved);
    EXPECT_EQ(s, Status::OutOfMemory);
}

TEST(PngEncoder, CodecInfo) {
    const CodecInfo& info = codecs::pngEncoder().info();
    EXPECT_EQ(info.clsid, CodecClsid::PNG);
    EXPECT_EQ(info.formatId, ImageFormat::PNG);
    EXPECT_EQ(info.codecName, "Built-in PNG Codec");
    EXPECT_EQ(info.formatDescription, "PNG");
    EXPECT_EQ(info.filenameExtension, "*.PNG");
    EXPECT_EQ(info.mimeType, "image/png");
    EXPECT_EQ(info.flags, 0x10007u);
}

namespace {

// Pixels every format can hold exactly: premultiplied formats get colours
// no larger than their alpha.
std::unique_ptr<Image> patternImage(PixelFormat format, int w, int h) {
    PixelData px;
    EXPECT_EQ(PixelData::allocate(w, h, format, px), Status::Ok);
    uint32_t seed = 12345;
    for (int y = 0; y < h; ++y) {
        uint8_t* row = px.row(y);
        for (size_t i = 0; i < strideFor(format, w); ++i) {
            seed = seed * 1103515245 + 12345;
            row[i] = static_cast<uint8_t>(seed >> 16);
        }
    }
    if (isPremultiplied(format)) {
        std::vector<uint64_t> argb(static_cast<size_t>(w));
        for (int y = 0; y < h; ++y) {
            rowToArgb64(format, px.row(y), 0, w, nullptr, argb.data());
            rowFromArgb64(format, argb.data(), w, nullptr, px.row(y));
        }
    }
    Palette palette;
    if (isIndexed(format)) {
        int n = 1 << bitsPerPixel(format);
        for (int i = 0; i < n; ++i)
            palette.entries.push_back(0xff000000u | static_cast<uint32_t>(i * 0x010305 * 7));
        palette.entries[1] = 0x80123456;  // a translucent entry travels as tRNS
    }
    return Image::fromPixels(std::move(px), palette);
}

PixelFormat storedAs(PixelFormat f) {
    switch (f) {
    case PixelFormat32bppRGB:
    case PixelFormat16bppRGB555:
    case PixelFormat16bppRGB565:
    case PixelFormat16bppGrayScale: return PixelFormat24bppRGB;
    case PixelFormat32bppPARGB:
    case PixelFormat16bppARGB1555: return PixelFormat32bppARGB;
    case PixelFormat64bppPARGB: return PixelFormat64bppARGB;
    default: return f;
    }
}

}  // namespace

TEST(PngEncoder, EveryPixelFormatRoundTrips) {
    for (PixelFormat f : allPixelFormats()) {
        SCOPED_TRACE(pixelFormatName(f));
        auto original = patternImage(f, 37, 11);
        ASSERT_EQ(original->setResolution(300.0f, 150.0f), Status::Ok);
        std::unique_ptr<Image> back;
        ASSERT_EQ(decodeBytes(encode(*original), back), Status::Ok);
        EXPECT_EQ(back->pixelFormat(), storedAs(f));
        EXPECT_NEAR(back->horizontalResolution(), 300.0f, 0.1f);
        EXPECT_NEAR(back->verticalResolution(), 150.0f, 0.1f);
        EXPECT_NE(back->flags() & ImageFlagsHasRealDPI, 0u);
        bool deep = f == PixelFormat48bppRGB || f == PixelFormat64bppARGB || f == PixelFormat64bppPARGB;
        // 16-bit grey is written as 8-bit RGB: compare at 8 bits.
        EXPECT_EQ(rgbaOf(*back, deep), rgbaOf(*original, deep));
        if (isIndexed(f)) {
            EXPECT_EQ(back->palette().entries, original->palette().entries);
            EXPECT_NE(back->palette().flags & PaletteFlagsHasAlpha, 0u);
        }
    }
}

TEST(PngEncoder, RegisteredCodecsLoadAndSaveThroughTheFactory) {
    auto original = gradient(40, 30);
    ByteSink sink;
    ASSERT_EQ(original->saveToBytes(CodecClsid::PNG, {}, sink), Status::Ok);
    std::unique_ptr<Image> back;
    ASSERT_EQ(loadImageFromBytes(ByteSource::copyOf(sink), {}, back), Status::Ok);
    EXPECT_EQ(back->rawFormat(), ImageFormat::PNG);
    EXPECT_EQ(rgbaOf(*back, false), rgbaOf(*original, false));
}
