// Loading through the codec plug-in: formats only it reads, orientation
// against the imaging layer's own decoders, the conversions of unusual depths
// and sample types, multi-page TIFF containers, metadata and the resolution
// rule, and the plug-in's absence.
#include <gtest/gtest.h>
#include <png.h>
#include <tiffio.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "imaging/codec_plugin.h"
#include "imaging/codec_worker.h"
#include "imaging/image_table.h"
#include "imaging/loaders.h"
#include "imaging/plugin_api.h"
#include "imaging/plugin_metadata.h"
#include "platform/gdi/handles.h"
#include "platform/gdiplus/factory.h"
#include "support/test_support.h"

using namespace orrery::imaging;
namespace gp = orrery::gdiplus;
namespace gdi = orrery::gdi;
namespace fs = std::filesystem;
using orrery::test::corpusPath;
using orrery::test::PixelDiff;
using Compare = orrery::test::Orientation;

namespace {

std::unique_ptr<gp::Image> decodeOwn(const fs::path& path) {
    std::unique_ptr<gp::Image> image;
    EXPECT_EQ(gp::loadImageFromFile(path.string(), {}, image), gp::Status::Ok) << path;
    return image;
}

// A 4 x 3 Radiance picture, stored flat: the top row bright (4.0), the
// middle row mid grey (0.5), the bottom row dark (0.02), the first column red.
std::vector<uint8_t> radianceFile() {
    std::string header = "#?RADIANCE\nFORMAT=32-bit_rle_rgbe\n\n-Y 3 +X 4\n";
    std::vector<uint8_t> out(header.begin(), header.end());
    auto rgbe = [&](float r, float g, float b) {
        const float v = std::max({r, g, b});
        int e = 0;
        const float m = std::frexp(v, &e) * 256.0f / v;
        out.push_back(static_cast<uint8_t>(r * m));
        out.push_back(static_cast<uint8_t>(g * m));
        out.push_back(static_cast<uint8_t>(b * m));
        out.push_back(static_cast<uint8_t>(e + 128));
    };
    for (float level : {4.0f, 0.5f, 0.02f})
        for (int x = 0; x < 4; ++x) x == 0 ? rgbe(level, level / 8, level / 8) : rgbe(level, level, level);
    return out;
}

// A colour-mapped TGA whose first bytes also read as a PCX header (ID field
// of 10 bytes, colour-map type 1, image type 1, first map entry 1), so that
// content detection names PCX. 4 x 2 pixels, bottom-up: the bottom row uses
// map entry 1 (red), the top row entry 2 (blue).
std::vector<uint8_t> tgaThatSniffsAsPcx() {
    std::vector<uint8_t> t = {10, 1, 1, 1, 0, 3, 0, 24, 0, 0, 0, 0, 4, 0, 2, 0, 8, 0};
    for (int i = 0; i < 10; ++i) t.push_back(static_cast<uint8_t>('a' + i));
    // Entries 1 to 3; the plug-in's reader needs the map to reach past the
    // last index used by as many entries as the map starts late.
    const uint8_t map[] = {0, 0, 255, /* red */ 255, 0, 0, /* blue */ 0, 255, 0 /* green, unused */};
    t.insert(t.end(), std::begin(map), std::end(map));
    for (int i = 0; i < 4; ++i) t.push_back(1);
    for (int i = 0; i < 4; ++i) t.push_back(2);
    return t;
}

// A 16 x 4 bilevel TIFF stored with white as zero: the top row black on its
// left half, every other pixel white.
void writeMinIsWhiteTiff(const fs::path& path) {
    TIFF* tif = TIFFOpen(path.c_str(), "w");
    ASSERT_NE(tif, nullptr);
    TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, 16);
    TIFFSetField(tif, TIFFTAG_IMAGELENGTH, 4);
    TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 1);
    TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, 1);
    TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISWHITE);
    TIFFSetField(tif, TIFFTAG_COMPRESSION, COMPRESSION_NONE);
    TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, 4);
    for (uint32_t y = 0; y < 4; ++y) {
        uint8_t row[2] = {static_cast<uint8_t>(y == 0 ? 0xff : 0x00), 0x00};
        ASSERT_EQ(TIFFWriteScanline(tif, row, y, 0), 1);
    }
    TIFFClose(tif);
}

// A 16 x 4 palette TIFF (8 bits, photometric palette, no extra samples) with
// `pages` pages: entry i is (i, 255 - i, 3 i mod 256); pixel (x, y) of page
// p uses entry 16 y + x + p. The samples per pixel are left to their default
// of one, as many writers do: that is where the plug-in reports a table of
// 256 garbage transparency entries.
void writePaletteTiff(const fs::path& path, int pages) {
    TIFF* tif = TIFFOpen(path.c_str(), "w");
    ASSERT_NE(tif, nullptr);
    std::vector<uint16_t> red(256), green(256), blue(256);
    for (int i = 0; i < 256; ++i) {
        red[i] = static_cast<uint16_t>(i * 257);
        green[i] = static_cast<uint16_t>((255 - i) * 257);
        blue[i] = static_cast<uint16_t>((3 * i % 256) * 257);
    }
    for (int page = 0; page < pages; ++page) {
        TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, 16);
        TIFFSetField(tif, TIFFTAG_IMAGELENGTH, 4);
        TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 8);
        TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_PALETTE);
        TIFFSetField(tif, TIFFTAG_COLORMAP, red.data(), green.data(), blue.data());
        TIFFSetField(tif, TIFFTAG_COMPRESSION, COMPRESSION_NONE);
        TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, 4);
        if (pages > 1) TIFFSetField(tif, TIFFTAG_SUBFILETYPE, FILETYPE_PAGE);
        for (uint32_t y = 0; y < 4; ++y) {
            uint8_t row[16];
            for (int x = 0; x < 16; ++x) row[x] = static_cast<uint8_t>(16 * y + x + page);
            ASSERT_EQ(TIFFWriteScanline(tif, row, y, 0), 1);
        }
        ASSERT_EQ(TIFFWriteDirectory(tif), 1);
    }
    TIFFClose(tif);
}

// A 4 x 1 TIFF of 16-bit RGB samples: white, mid grey, black, pure red.
void writeRgb16Tiff(const fs::path& path) {
    TIFF* tif = TIFFOpen(path.c_str(), "w");
    ASSERT_NE(tif, nullptr);
    TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, 4);
    TIFFSetField(tif, TIFFTAG_IMAGELENGTH, 1);
    TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 16);
    TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, 3);
    TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
    TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(tif, TIFFTAG_COMPRESSION, COMPRESSION_NONE);
    TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, 1);
    uint16_t row[12] = {65535, 65535, 65535, 32768, 32768, 32768, 0, 0, 0, 65535, 0, 0};
    ASSERT_EQ(TIFFWriteScanline(tif, row, 0, 0), 1);
    TIFFClose(tif);
}

// An 8 x 2 palette PNG with a transparency chunk and no gamma chunk, so that
// no library version changes its colours: entry i is (30 i, 255 - 30 i, 7)
// with alpha 32 i (entry 0 fully transparent, entry 7 opaque).
void writeTransparentPalettePng(const fs::path& path) {
    FILE* file = std::fopen(path.c_str(), "wb");
    ASSERT_NE(file, nullptr);
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        std::fclose(file);
        FAIL() << "libpng failed";
    }
    png_init_io(png, file);
    png_set_IHDR(png, info, 8, 2, 8, PNG_COLOR_TYPE_PALETTE, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    png_color palette[8];
    png_byte alpha[8];
    for (int i = 0; i < 8; ++i) {
        palette[i] = {static_cast<png_byte>(30 * i), static_cast<png_byte>(255 - 30 * i), 7};
        alpha[i] = static_cast<png_byte>(i == 7 ? 255 : 32 * i);
    }
    png_set_PLTE(png, info, palette, 8);
    png_set_tRNS(png, info, alpha, 8, nullptr);
    png_write_info(png, info);
    for (int y = 0; y < 2; ++y) {
        png_byte row[8];
        for (int x = 0; x < 8; ++x) row[x] = static_cast<png_byte>((x + y) % 8);
        png_write_row(png, row);
    }
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    std::fclose(file);
}

class PluginLoad : public ::testing::Test {
protected:
    void SetUp() override {
        if (!IsPluginAvailable()) GTEST_SKIP() << "codec plug-in not installed";
        started_ = modMain::StartGdiPlus();
        ASSERT_TRUE(started_);
        bitmapsBefore_ = gdi::liveBitmapCount();
    }
    void TearDown() override {
        if (!started_) return;
        modMain::ShutdownGdiPlus();
        EXPECT_EQ(modMain::TableSize(), 0u);
        EXPECT_EQ(gdi::liveBitmapCount(), bitmapsBefore_) << "a bitmap section was left behind";
    }

    // Loads through the plug-in and expects success.
    int32_t load(const fs::path& path, const std::string& formatName) {
        int32_t id = 0;
        EXPECT_EQ(LoadWithPlugin(id, path.string(), false), 0) << path;
        const ImageEntry* e = modMain::FindEntry(id);
        EXPECT_NE(e, nullptr);
        if (e) {
            EXPECT_EQ(e->FormatName, formatName);
        }
        return id;
    }

    orrery::test::TempDir dir_;

private:
    bool started_ = false;
    size_t bitmapsBefore_ = 0;
};

TEST_F(PluginLoad, JpegIsUprightAndMatchesOwnDecoder) {
    ORRERY_REQUIRE_CORPUS();
    for (const char* name : {"pillow/hopper.jpg", "pillow/flower.jpg"}) {
        const fs::path path = corpusPath(name);
        const int32_t id = load(path, "JPEG");
        const gp::Image* image = modMain::GetGdiImage(id);
        ASSERT_NE(image, nullptr);
        EXPECT_EQ(image->pixelFormat(), gp::PixelFormat24bppRGB);
        auto own = decodeOwn(path);
        // The plug-in's fast integer transform differs by a level or two.
        const PixelDiff upright = orrery::test::compareImages(*image, *own);
        EXPECT_LT(upright.mean, 2.5) << name;
        EXPECT_GT(orrery::test::compareImages(*image, *own, Compare::SecondUpsideDown).mean, 4 * upright.mean + 2) << "upside down: " << name;
        // The image wraps the plug-in's pixels, which the entry keeps.
        const ImageEntry* e = modMain::FindEntry(id);
        EXPECT_EQ(e->SourceKind, SourcePluginBitmap);
        EXPECT_NE(e->PluginBitmap, nullptr);
        EXPECT_EQ(modMain::ReleaseImage(id), gp::Status::Ok);
    }
}

TEST_F(PluginLoad, TargaMatchesReferencePngs) {
    ORRERY_REQUIRE_CORPUS();
    for (const char* mode : {"l", "p", "rgb", "rgba"})
        for (const char* origin : {"bl", "tl"})
            for (const char* packing : {"raw", "rle"}) {
                const std::string base = std::string("pillow/tga/common/200x32_") + mode;
                const fs::path tga = corpusPath(base + "_" + origin + "_" + packing + ".tga");
                const int32_t id = load(tga, "TARGA");
                const gp::Image* image = modMain::GetGdiImage(id);
                ASSERT_NE(image, nullptr) << tga;
                auto reference = decodeOwn(corpusPath(base + ".png"));
                const PixelDiff d = orrery::test::compareImages(*image, *reference);
                EXPECT_EQ(d.max, 0) << tga << " mean " << d.mean;
                modMain::ReleaseImage(id);
            }
    // Grey with alpha is beyond the plug-in's TARGA reader: no bitmap.
    int32_t id = 0;
    EXPECT_EQ(LoadWithPlugin(id, corpusPath("pillow/tga/common/200x32_la_bl_raw.tga").string(), false), 3);
    EXPECT_EQ(id, 0);
}

TEST_F(PluginLoad, FormatsOnlyThePluginReads) {
    ORRERY_REQUIRE_CORPUS();
    // PSD against the PNG of the same picture.
    int32_t id = load(corpusPath("pillow/hopper.psd"), "PSD");
    auto reference = decodeOwn(corpusPath("pillow/hopper.png"));
    const double upright = orrery::test::compareImages(*modMain::GetGdiImage(id), *reference).mean;
    EXPECT_LT(upright, 2.0);
    EXPECT_GT(orrery::test::compareImages(*modMain::GetGdiImage(id), *reference, Compare::SecondUpsideDown).mean, 4 * upright + 2);
    modMain::ReleaseImage(id);
    // PCX files of several depths decode to their announced size.
    id = load(corpusPath("pillow/pil184.pcx"), "PCX");
    EXPECT_EQ(modMain::GetGdiImage(id)->width(), 447);
    modMain::ReleaseImage(id);
    id = load(corpusPath("pillow/odd_stride.pcx"), "PCX");
    EXPECT_NE(modMain::GetGdiImage(id), nullptr);
    modMain::ReleaseImage(id);
}

TEST_F(PluginLoad, FormatsWrittenByThePluginReadBackUpright) {
    ORRERY_REQUIRE_CORPUS();
    const fs::path source = corpusPath("pillow/hopper.png");
    auto reference = decodeOwn(source);
    PluginHandle bitmap = plugin::Load(PluginFormat::PNG, source.string(), 0);
    ASSERT_NE(bitmap, nullptr);
    // Every PNM flavour sniffs as the plug-in's first PNM format, PBM.
    struct Case {
        int format;
        int detected;
        const char* file;
        const char* name;
        double tolerance;  // mean difference allowed by the format's coding
    };
    const Case cases[] = {{14 /* PPM */, 7, "a.ppm", "PBM", 0.0},
                          {15 /* PPMRAW */, 7, "b.ppm", "PBM", 0.0},
                          {PluginFormat::J2K, PluginFormat::J2K, "c.j2k", "J2K", 5.0},
                          {PluginFormat::JP2, PluginFormat::JP2, "d.jp2", "JP2", 5.0},
                          {PluginFormat::WEBP, PluginFormat::WEBP, "e.webp", "WEBP", 6.0}};
    for (const Case& c : cases) {
        const fs::path path = dir_.file(c.file);
        if (!plugin::Save(c.format, bitmap, path.string(), 0)) {
            ADD_FAILURE() << "the plug-in could not write " << c.name;
            continue;
        }
        EXPECT_EQ(plugin::GetFileType(path.string()), c.detected) << c.name;
        int32_t id = 0;
        ASSERT_EQ(LoadWithPlugin(id, path.string(), false), 0) << c.name;
        EXPECT_EQ(modMain::FindEntry(id)->FormatName, c.name);
        const PixelDiff d = orrery::test::compareImages(*modMain::GetGdiImage(id), *reference);
        EXPECT_LE(d.mean, c.tolerance) << c.name;
        EXPECT_GT(orrery::test::compareImages(*modMain::GetGdiImage(id), *reference, Compare::SecondUpsideDown).mean, c.tolerance + 10) << c.name;
        modMain::ReleaseImage(id);
    }
    plugin::Unload(bitmap);
}

TEST_F(PluginLoad, FormatDetection) {
    ORRERY_REQUIRE_CORPUS();
    // Content that sniffs as another format, named as TARGA: read as TARGA.
    const auto tga = tgaThatSniffsAsPcx();
    const fs::path disguised = dir_.file("map.tga");
    orrery::test::writeFile(disguised, tga);
    ASSERT_EQ(plugin::GetFileType(disguised.string()), 10) << "the test file must sniff as PCX";
    int32_t id = load(disguised, "TARGA");
    const gp::Image* image = modMain::GetGdiImage(id);
    ASSERT_NE(image, nullptr);
    ASSERT_EQ(image->width(), 4);
    gp::ARGB top = 0, bottom = 0;
    image->getPixel(0, 0, top);
    image->getPixel(3, 1, bottom);
    EXPECT_EQ(top, 0xFF0000FFu);
    EXPECT_EQ(bottom, 0xFFFF0000u);
    modMain::ReleaseImage(id);

    // Named as another format, the content wins: the plug-in tries PCX.
    const fs::path asPcx = dir_.file("map.pcx");
    orrery::test::writeFile(asPcx, tga);
    id = 0;
    EXPECT_EQ(LoadWithPlugin(id, asPcx.string(), false), 3) << "read as PCX, which it is not";
    EXPECT_EQ(id, 0);

    // The formats the imaging layer reads are never taken by the plug-in.
    for (const char* name : {"pillow/hopper.png", "pillow/hopper.gif", "bmpsuite/g/rgb24.bmp"}) {
        id = 0;
        EXPECT_EQ(LoadWithPlugin(id, corpusPath(name).string(), false), 13) << name;
        EXPECT_EQ(id, 0);
    }
    // Unknown content.
    const fs::path junk = dir_.file("junk.dat");
    orrery::test::writeFile(junk, std::vector<uint8_t>(64, 0x5a));
    EXPECT_EQ(LoadWithPlugin(id, junk.string(), false), 13);
    // A PNG named as TARGA is read as TARGA, which fails: no bitmap.
    const fs::path pngAsTga = dir_.file("picture.tga");
    fs::copy_file(corpusPath("pillow/hopper.png"), pngAsTga);
    EXPECT_EQ(LoadWithPlugin(id, pngAsTga.string(), false), 3);
    EXPECT_EQ(modMain::LiveEntryCount(), 0u);
}

TEST_F(PluginLoad, BilevelMinIsWhiteShowsBlackOnWhite) {
    const fs::path path = dir_.file("miniswhite.tif");
    writeMinIsWhiteTiff(path);
    const int32_t id = load(path, "TIFF");
    const gp::Image* image = modMain::GetGdiImage(id);
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(image->pixelFormat(), gp::PixelFormat1bppIndexed);
    ASSERT_EQ(image->palette().entries.size(), 2u);
    EXPECT_EQ(image->palette().entries[0], 0xFF000000u);
    EXPECT_EQ(image->palette().entries[1], 0xFFFFFFFFu);
    gp::ARGB c = 0;
    image->getPixel(0, 0, c);
    EXPECT_EQ(c, 0xFF000000u) << "top-left is black";
    image->getPixel(12, 0, c);
    EXPECT_EQ(c, 0xFFFFFFFFu);
    image->getPixel(0, 3, c);
    EXPECT_EQ(c, 0xFFFFFFFFu) << "bottom-left is white";
    // In-process the rows are copied into a bitmap section; through the
    // worker the entry keeps the mapping of the picture it sent.
    EXPECT_EQ(modMain::FindEntry(id)->SourceKind, codecSandboxEnabled() ? SourcePluginBitmap : SourceHBitmap);
}

TEST_F(PluginLoad, HighDynamicRangeIsToneMappedTo24Bits) {
    const fs::path hdr = dir_.file("light.hdr");
    orrery::test::writeFile(hdr, radianceFile());
    ASSERT_EQ(plugin::GetFileType(hdr.string()), PluginFormat::HDR);
    const int32_t id = load(hdr, "HDR");
    const gp::Image* image = modMain::GetGdiImage(id);
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(image->pixelFormat(), gp::PixelFormat24bppRGB);
    ASSERT_EQ(image->height(), 3);
    gp::ARGB top = 0, middle = 0, bottom = 0, red = 0;
    image->getPixel(2, 0, top);
    image->getPixel(2, 1, middle);
    image->getPixel(2, 2, bottom);
    image->getPixel(0, 1, red);
    const auto green = [](gp::ARGB c) { return int((c >> 8) & 0xff); };
    EXPECT_GT(green(top), green(middle)) << "rows in file order";
    EXPECT_GT(green(middle), green(bottom));
    EXPECT_GT(int((red >> 16) & 0xff), int(red & 0xff) + 20);
}

TEST_F(PluginLoad, OtherSampleTypesAndTransparency) {
    ORRERY_REQUIRE_CORPUS();
    // 16-bit grey becomes 8-bit grey.
    int32_t id = load(corpusPath("pillow/uint16_1_4660.tif"), "TIFF");
    EXPECT_EQ(modMain::GetGdiImage(id)->pixelFormat(), gp::PixelFormat8bppIndexed);
    modMain::ReleaseImage(id);
    // 8-bit with transparent palette entries becomes 32-bit with alpha, the
    // same pixels the imaging layer's decoder gives.
    const fs::path png = dir_.file("transparent-palette.png");
    writeTransparentPalettePng(png);
    PluginHandle bitmap = plugin::Load(PluginFormat::PNG, png.string(), 0);
    ASSERT_NE(bitmap, nullptr);
    bool independent = false;
    ASSERT_EQ(ConvertPluginBitmap(bitmap, PluginFormat::PNG, nullptr, id, independent), 0);
    EXPECT_FALSE(independent);
    const gp::Image* image = modMain::GetGdiImage(id);
    EXPECT_EQ(image->pixelFormat(), gp::PixelFormat32bppARGB);
    auto own = decodeOwn(png);
    EXPECT_EQ(orrery::test::compareImages(*image, *own).max, 0);
    gp::ARGB clear = 0, half = 0;
    image->getPixel(0, 0, clear);
    image->getPixel(4, 0, half);
    EXPECT_EQ(clear >> 24, 0u);
    EXPECT_EQ(half, 0x80788707u);  // entry 4: alpha 128, colour (120, 135, 7)
    modMain::AttachPluginBitmap(id, bitmap);
    modMain::ReleaseImage(id);
}

// The plug-in's integer 16-bit RGB is scaled linearly: white stays white and
// greys keep their level (tone mapping is for floating-point samples).
TEST_F(PluginLoad, SixteenBitRgbKeepsItsLevels) {
    const fs::path path = dir_.file("rgb16.tif");
    writeRgb16Tiff(path);
    const int32_t id = load(path, "TIFF");
    const gp::Image* image = modMain::GetGdiImage(id);
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(image->pixelFormat(), gp::PixelFormat24bppRGB);
    const auto level = [&](int x, int shift) {
        gp::ARGB c = 0;
        image->getPixel(x, 0, c);
        return int((c >> shift) & 0xff);
    };
    for (int shift : {0, 8, 16}) {
        EXPECT_GE(level(0, shift), 254) << "white, shift " << shift;
        EXPECT_NEAR(level(1, shift), 128, 2) << "mid grey, shift " << shift;
        EXPECT_LE(level(2, shift), 1) << "black, shift " << shift;
    }
    EXPECT_GE(level(3, 16), 254);
    EXPECT_LE(level(3, 8), 1);
}

// A palette TIFF has no transparency unless it carries an alpha sample; the
// plug-in's report of a transparency table for it is not believed, on a
// single page and on the pages of a multi-page file alike.
TEST_F(PluginLoad, PaletteTiffWithoutAlphaStaysIndexedAndOpaque) {
    for (int pages : {1, 3}) {
        const fs::path path = dir_.file("palette" + std::to_string(pages) + ".tif");
        writePaletteTiff(path, pages);
        const int32_t id = load(path, "TIFF");
        auto own = decodeOwn(path);
        for (int page = 0; page < pages; ++page) {
            if (pages > 1) {
                ASSERT_EQ(modMain::SelectTiffPage(id, page), 0);
                ASSERT_EQ(own->selectActiveFrame(gp::FrameDimension::Page, static_cast<uint32_t>(page)),
                          gp::Status::Ok);
            }
            const gp::Image* image = modMain::GetGdiImage(id);
            ASSERT_NE(image, nullptr);
            EXPECT_EQ(image->pixelFormat(), gp::PixelFormat8bppIndexed) << "page " << page;
            EXPECT_EQ(orrery::test::compareImages(*image, *own).max, 0) << "page " << page;
            gp::ARGB c = 0;
            image->getPixel(5, 2, c);  // entry 37 + page
            const uint32_t i = 37u + static_cast<uint32_t>(page);
            EXPECT_EQ(c, 0xFF000000u | (i << 16) | ((255 - i) << 8) | (3 * i % 256)) << "page " << page;
        }
        modMain::ReleaseImage(id);
    }
}

// With colour management asked for, the plug-in keeps CMYK TIFF pixels as
// CMYK, and its reader of tiled CMYK TIFFs keeps them unasked (named RGB with
// alpha); either way they are shown in RGB like the imaging layer's decoder
// shows them.
TEST_F(PluginLoad, CmykTiffKeepsItsColours) {
    ORRERY_REQUIRE_CORPUS();
    for (const char* name : {"pillow/tiff_strip_cmyk_jpeg.tif", "pillow/tiff_tiled_cmyk_jpeg.tif"}) {
        const fs::path path = corpusPath(name);
        auto own = decodeOwn(path);
        for (bool colourManaged : {false, true}) {
            int32_t id = 0;
            ASSERT_EQ(LoadWithPlugin(id, path.string(), colourManaged), 0);
            const gp::Image* image = modMain::GetGdiImage(id);
            EXPECT_FALSE(gp::hasAlpha(image->pixelFormat()));
            EXPECT_LT(orrery::test::compareImages(*image, *own).mean, 1.0)
                << name << ", colour managed " << colourManaged;
            modMain::ReleaseImage(id);
        }
    }
}

TEST_F(PluginLoad, MultiPageTiffIsAContainerOfPages) {
    ORRERY_REQUIRE_CORPUS();
    const fs::path path = corpusPath("pillow/multipage.tiff");
    const int32_t id = load(path, "TIFF");
    const ImageEntry* e = modMain::FindEntry(id);
    ASSERT_NE(e, nullptr);
    EXPECT_TRUE(e->IsMultiPageTiff);
    EXPECT_TRUE(e->FramesInOneImage);
    EXPECT_EQ(e->SourceKind, SourcePluginBitmap);
    EXPECT_NE(e->PluginFileHandle, nullptr);
    EXPECT_EQ(e->GdiImage, nullptr);
    int32_t pages = 0;
    EXPECT_EQ(modMain::GetTiffPageCount(id, pages), 0);
    EXPECT_EQ(pages, 3);
    EXPECT_EQ(modMain::GetCurrentTiffPage(id), 0);

    // Each page matches the imaging layer's decoding of the same page.
    auto own = decodeOwn(path);
    for (int32_t page : {0, 2, 1}) {
        ASSERT_EQ(modMain::SelectTiffPage(id, page), 0);
        EXPECT_EQ(modMain::GetCurrentTiffPage(id), page);
        const gp::Image* shown = modMain::GetGdiImage(id);
        ASSERT_NE(shown, nullptr);
        ASSERT_EQ(own->selectActiveFrame(gp::FrameDimension::Page, static_cast<uint32_t>(page)), gp::Status::Ok);
        EXPECT_EQ(orrery::test::compareImages(*shown, *own).max, 0) << "page " << page;
        EXPECT_EQ(modMain::LiveEntryCount(), 2u) << "the container and one page";
    }
    EXPECT_EQ(modMain::SelectTiffPage(id, 3), 2);
    EXPECT_EQ(modMain::ReleaseImage(id), gp::Status::Ok);
    EXPECT_EQ(modMain::LiveEntryCount(), 0u);
}

TEST_F(PluginLoad, OnePageTiffIsAPlainEntry) {
    ORRERY_REQUIRE_CORPUS();
    const int32_t id = load(corpusPath("pillow/hopper.tif"), "TIFF");
    EXPECT_FALSE(modMain::IsMultiPageTiff(id));
    EXPECT_NE(modMain::GetGdiImage(id), nullptr);
    EXPECT_EQ(modMain::FindEntry(id)->PluginFileHandle, nullptr);
}

// Adds a rational tag holding one value to the bitmap's main EXIF tags.
void addRationalTag(PluginHandle bitmap, uint16_t id, const char* key, uint32_t num, uint32_t den) {
    const plugin::Functions* f = plugin::functions();
    ASSERT_TRUE(f && f->CreateTag && f->SetMetadata);
    plugin::FITAG* tag = f->CreateTag();
    const uint32_t value[2] = {num, den};
    f->SetTagKey(tag, key);
    f->SetTagID(tag, id);
    f->SetTagType(tag, 5);
    f->SetTagCount(tag, 1);
    f->SetTagLength(tag, 8);
    f->SetTagValue(tag, value);
    f->SetMetadata(plugin::MetadataModel::ExifMain, static_cast<plugin::FIBITMAP*>(bitmap), key, tag);
    f->DeleteTag(tag);
}

// Converts a TARGA whose bitmap reads `dpi` and whose tags say 200 x 150.
void convertWithResolutionTags(int dpi, int32_t& id) {
    const fs::path tga = corpusPath("pillow/tga/common/200x32_rgb_bl_raw.tga");
    PluginHandle bitmap = plugin::Load(PluginFormat::TARGA, tga.string(), 0);
    ASSERT_NE(bitmap, nullptr);
    plugin::SetDotsPerInch(bitmap, dpi, dpi);
    addRationalTag(bitmap, 282, "XResolution", 400, 2);
    addRationalTag(bitmap, 283, "YResolution", 150, 1);
    bool independent = true;
    ASSERT_EQ(ConvertPluginBitmap(bitmap, PluginFormat::TARGA, nullptr, id, independent), 0);
    if (independent) plugin::Unload(bitmap);
    else modMain::AttachPluginBitmap(id, bitmap);
}

TEST_F(PluginLoad, ResolutionFromMetadataReplacesOnlyTheDefault) {
    ORRERY_REQUIRE_CORPUS();
    int32_t id = 0;
    convertWithResolutionTags(72, id);
    const gp::Image* image = modMain::GetGdiImage(id);
    ASSERT_NE(image, nullptr);
    EXPECT_FLOAT_EQ(image->horizontalResolution(), 200.0f);
    EXPECT_FLOAT_EQ(image->verticalResolution(), 150.0f);
    gp::PropertyItem x;
    ASSERT_EQ(image->getPropertyItem(282, x), gp::Status::Ok);
    EXPECT_EQ(x.type, 5);
    EXPECT_EQ(x.value, (std::vector<uint8_t>{144, 1, 0, 0, 2, 0, 0, 0}));
    EXPECT_TRUE(modMain::FindEntry(id)->Modified);
    modMain::ReleaseImage(id);

    convertWithResolutionTags(300, id);
    EXPECT_FLOAT_EQ(modMain::GetGdiImage(id)->horizontalResolution(), 300.0f);
    EXPECT_FLOAT_EQ(modMain::GetGdiImage(id)->verticalResolution(), 300.0f);
    modMain::ReleaseImage(id);

    // No tags and the plug-in's default: the image keeps its resolution.
    id = load(corpusPath("pillow/tga/common/200x32_rgb_bl_raw.tga"), "TARGA");
    EXPECT_EQ(modMain::GetGdiImage(id)->propertyCount(), 0u);
    EXPECT_FLOAT_EQ(modMain::GetGdiImage(id)->horizontalResolution(), gp::kDefaultDpi);
    EXPECT_TRUE(modMain::FindEntry(id)->PluginMetadata.empty());
}

TEST_F(PluginLoad, ExifAndIptcOfAPhoto) {
    ORRERY_REQUIRE_CORPUS();
    // The photo says 300 dpi, in its header and in its EXIF tags.
    const int32_t id = load(corpusPath("pillow/iptc.jpg"), "JPEG");
    const gp::Image* image = modMain::GetGdiImage(id);
    EXPECT_FLOAT_EQ(image->horizontalResolution(), 300.0f);
    gp::PropertyItem make, xres;
    ASSERT_EQ(image->getPropertyItem(0x010F, make), gp::Status::Ok);
    EXPECT_EQ(std::string(make.value.begin(), make.value.end()).substr(0, 5), "Nokia");
    ASSERT_EQ(image->getPropertyItem(282, xres), gp::Status::Ok);
    EXPECT_EQ(xres.value, (std::vector<uint8_t>{0x2c, 1, 0, 0, 1, 0, 0, 0}));
    // IPTC tags stay with the entry, as the plug-in gave them.
    const ImageEntry* e = modMain::FindEntry(id);
    ASSERT_FALSE(e->PluginMetadata.empty());
    for (const PluginMetadataTag& t : e->PluginMetadata) {
        EXPECT_EQ(t.value.size(), t.length);
        EXPECT_GT(t.count, 0u);
    }
}

// Damaged and hostile files of the formats only the plug-in reads (and TIFF
// files that crashed other readers) give a status; a failure leaves no entry.
TEST_F(PluginLoad, DamagedFilesGiveAStatus) {
    ORRERY_REQUIRE_CORPUS();
    int tried = 0;
    for (const auto& entry : fs::directory_iterator(corpusPath("pillow"))) {
        const std::string name = entry.path().filename().string();
        const std::string ext = entry.path().extension().string();
        const bool damagedTiff = ext == ".tif" && (name.rfind("crash-", 0) == 0 || name.rfind("oom-", 0) == 0);
        if (ext != ".psd" && ext != ".pcx" && ext != ".tga" && !damagedTiff) continue;
        int32_t id = 0;
        const int32_t s = LoadWithPlugin(id, entry.path().string(), false);
        if (s == 0) {
            ASSERT_NE(modMain::GetGdiImage(id), nullptr) << name;
            EXPECT_EQ(modMain::ReleaseImage(id), gp::Status::Ok);
        } else {
            EXPECT_EQ(id, 0) << name;
        }
        EXPECT_EQ(modMain::LiveEntryCount(), 0u) << name;
        ++tried;
    }
    EXPECT_GT(tried, 40);
}

// The size a file announces is checked before its pixels are decoded.
TEST_F(PluginLoad, AnnouncedSizeAboveTheLimitIsRefused) {
    ORRERY_REQUIRE_CORPUS();
    const size_t limit = gp::pixelAllocationLimit();
    gp::setPixelAllocationLimit(128 * 128 * 3 - 1);
    int32_t id = 0;
    EXPECT_EQ(LoadWithPlugin(id, corpusPath("pillow/hopper.jpg").string(), false), 3);
    EXPECT_EQ(LoadWithPlugin(id, corpusPath("pillow/hopper.psd").string(), false), 3);
    gp::setPixelAllocationLimit(128 * 128 * 3);
    EXPECT_EQ(LoadWithPlugin(id, corpusPath("pillow/hopper.jpg").string(), false), 0);
    gp::setPixelAllocationLimit(limit);
    modMain::ReleaseImage(id);
}

// An icon whose directory says 16 x 16 while its bitmap header says 65535 x
// 65534 (two rows a pixel, colour and mask): with the mask made alpha the
// plug-in would allocate 16 GB before anything could look at it.
TEST_F(PluginLoad, IconAnnouncingAHugeBitmapIsRefusedBeforeDecoding) {
    std::vector<uint8_t> ico;
    orrery::test::put16(ico, 0);
    orrery::test::put16(ico, 1);
    orrery::test::put16(ico, 1);
    ico.insert(ico.end(), {16, 16, 2, 0});
    orrery::test::put16(ico, 1);
    orrery::test::put16(ico, 1);
    orrery::test::put32(ico, 40 + 8 + 64);
    orrery::test::put32(ico, 22);
    orrery::test::put32(ico, 40);
    orrery::test::put32(ico, 65535);
    orrery::test::put32(ico, 2 * 65534);
    orrery::test::put16(ico, 1);
    orrery::test::put16(ico, 1);
    for (int i = 0; i < 6; ++i) orrery::test::put32(ico, 0);
    orrery::test::put32(ico, 0);
    orrery::test::put32(ico, 0xFFFFFF);
    ico.resize(ico.size() + 64, 0x55);
    const fs::path path = dir_.file("bomb.ico");
    orrery::test::writeFile(path, ico);
    int32_t id = 0;
    EXPECT_EQ(LoadWithPlugin(id, path.string(), false), 3);
    EXPECT_EQ(id, 0);
}

TEST(PluginResolution, BitmapResolutionWinsUnlessItIsTheDefault) {
    double x = 0, y = 0;
    // 72 x 72 gives way to a different metadata resolution.
    EXPECT_TRUE(choosePluginResolution(72, 72, 300, 200, x, y));
    EXPECT_EQ(x, 300);
    EXPECT_EQ(y, 200);
    // Any other bitmap resolution wins.
    EXPECT_TRUE(choosePluginResolution(150, 150, 300, 300, x, y));
    EXPECT_EQ(x, 150);
    EXPECT_TRUE(choosePluginResolution(72, 96, 300, 300, x, y));
    EXPECT_EQ(x, 72);
    EXPECT_EQ(y, 96);
    // 72 x 72 and no metadata resolution: nothing to set.
    EXPECT_FALSE(choosePluginResolution(72, 72, 0, 0, x, y));
    EXPECT_TRUE(choosePluginResolution(72, 72, 72, 72, x, y));
    EXPECT_EQ(x, 72);
    EXPECT_FALSE(choosePluginResolution(0, 0, 300, 300, x, y));
}

// The plug-in switched off: the plug-in step reports 9 and the other
// decoders still run.
TEST(PluginAbsent, LoadersReportItAndFallBack) {
    ORRERY_REQUIRE_CORPUS();
    const char* before = std::getenv("ORRERY_CODEC_PLUGIN");
    const std::string saved = before ? before : "";
    ASSERT_EQ(setenv("ORRERY_CODEC_PLUGIN", "none", 1), 0);
    plugin::reloadCodecPluginForTesting();
    ASSERT_TRUE(modMain::StartGdiPlus());
    int32_t id = 0;
    EXPECT_EQ(LoadWithPlugin(id, corpusPath("pillow/hopper.psd").string(), false), 9);
    EXPECT_EQ(LoadWithPlugin(id, corpusPath("pillow/hopper.jpg").string(), false), 9);
    EXPECT_EQ(LoadImageFromFile(id, corpusPath("pillow/tga/common/200x32_rgb_bl_raw.tga").string()), 9);
    EXPECT_EQ(LoadImageFromFile(id, corpusPath("pillow/hopper.jpg").string()), 0);
    EXPECT_EQ(modMain::FindEntry(id)->SourceKind, SourceFile);
    modMain::ShutdownGdiPlus();
    if (before) setenv("ORRERY_CODEC_PLUGIN", saved.c_str(), 1);
    else unsetenv("ORRERY_CODEC_PLUGIN");
    plugin::reloadCodecPluginForTesting();
}

}  // namespace
