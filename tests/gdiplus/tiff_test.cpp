// TIFF decoder and encoder: libtiff's photometric x depth set against its
// netpbm references, faxes kept at one bit per pixel, OJPEG, IFD loops,
// EXIF/GPS directories, Pillow's multi-page, 16-bit, planar, tiled, BigTIFF
// and broken files, pages made here with libtiff, and encoder round trips.
#include <gtest/gtest.h>
#include <tiffio.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/gdiplus/codecs/codecs.h"
#include "platform/gdiplus/factory.h"
#include "platform/gdiplus/image.h"
#include "support/test_support.h"

using namespace orrery::gdiplus;
namespace fs = std::filesystem;
using orrery::test::corpusPath;
using orrery::test::readFile;

namespace {

Status decodeBytes(const std::vector<uint8_t>& bytes, std::unique_ptr<Image>& out) {
    Decoded decoded;
    Status s = codecs::tiffDecoder().decode(ByteSource::copyOf(bytes), DecodeOptions{}, decoded);
    if (s == Status::Ok) out = std::make_unique<Image>(std::move(decoded));
    return s;
}

std::unique_ptr<Image> decodeCorpus(const std::string& relative) {
    std::unique_ptr<Image> image;
    EXPECT_EQ(decodeBytes(readFile(corpusPath(relative)), image), Status::Ok) << relative;
    return image;
}

Status statusOf(const std::string& relative) {
    std::unique_ptr<Image> image;
    return decodeBytes(readFile(corpusPath(relative)), image);
}

uint32_t pageCount(const Image& image) {
    uint32_t n = 0;
    EXPECT_EQ(image.frameCount(FrameDimension::Page, n), Status::Ok);
    return n;
}

// A binary netpbm file (P4, P5, P6): size, maxval and the raster.
struct Netpbm {
    int width = 0, height = 0, maxval = 1;
    std::vector<uint8_t> data;
};

Netpbm readNetpbm(const fs::path& path) {
    std::vector<uint8_t> f = readFile(path);
    size_t pos = 2;
    auto next = [&]() {
        while (pos < f.size()) {
            if (f[pos] == '#') while (pos < f.size() && f[pos] != '\n') ++pos;
            else if (std::isspace(f[pos])) ++pos;
            else break;
        }
        int v = 0;
        while (pos < f.size() && std::isdigit(f[pos])) v = v * 10 + (f[pos++] - '0');
        return v;
    };
    Netpbm p;
    p.width = next();
    p.height = next();
    if (f[1] != '4') p.maxval = next();
    p.data.assign(f.begin() + static_cast<ptrdiff_t>(pos + 1), f.end());
    return p;
}

// Rows of an image, without the stride's padding, in bytes of `rowBytes`.
std::vector<uint8_t> packedRows(const Image& image, size_t rowBytes) {
    std::vector<uint8_t> out;
    for (int y = 0; y < image.height(); ++y) {
        const uint8_t* r = image.pixels().row(y);
        out.insert(out.end(), r, r + rowBytes);
    }
    return out;
}

// 8-bit non-premultiplied ARGB of every pixel.
std::vector<ARGB> argbOf(const Image& image) {
    const PixelData& px = image.pixels();
    std::vector<ARGB> out(static_cast<size_t>(px.width()) * static_cast<size_t>(px.height()));
    for (int y = 0; y < px.height(); ++y)
        rowToArgb32(px.format(), px.row(y), 0, px.width(), &image.palette(),
                    out.data() + static_cast<size_t>(y) * static_cast<size_t>(px.width()));
    return out;
}

// A TIFF written with libtiff into a temporary file: tags set by `tags`,
// rows given by `row`.
template <class Tags, class Row>
std::vector<uint8_t> makeTiff(uint32_t w, uint32_t h, Tags tags, Row row) {
    orrery::test::TempDir dir;
    fs::path path = dir.file("made.tif");
    TIFF* tif = TIFFOpen(path.c_str(), "w");
    EXPECT_NE(tif, nullptr);
    TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, w);
    TIFFSetField(tif, TIFFTAG_IMAGELENGTH, h);
    TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    tags(tif);
    std::vector<uint8_t> buf(static_cast<size_t>(TIFFScanlineSize(tif)));
    for (uint32_t y = 0; y < h; ++y) {
        row(y, buf.data());
        EXPECT_GE(TIFFWriteScanline(tif, buf.data(), y, 0), 0);
    }
    TIFFClose(tif);
    return readFile(path);
}

auto rgbTags(uint16_t bps, uint16_t spp, uint16_t compression = COMPRESSION_NONE) {
    return [=](TIFF* tif) {
        TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, bps);
        TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, spp);
        TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, spp >= 3 ? PHOTOMETRIC_RGB : PHOTOMETRIC_MINISBLACK);
        TIFFSetField(tif, TIFFTAG_COMPRESSION, compression);
        TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, 4u);
    };
}

// A little-endian TIFF of one directory written by hand, for layouts libtiff
// refuses to write. Entries are (tag, type, count, value); the strip holds
// `stripBytes` bytes after the directory.
std::vector<uint8_t> handTiff(std::vector<std::array<uint32_t, 4>> entries, size_t stripBytes,
                              bool tiled = false) {
    using orrery::test::put16;
    using orrery::test::put32;
    std::vector<uint8_t> f = {'I', 'I', 42, 0};
    put32(f, 8);
    uint32_t stripAt = static_cast<uint32_t>(8 + 2 + 12 * (entries.size() + 2) + 4);
    entries.push_back({tiled ? 324u : 273u, 4, 1, stripAt});  // tile or strip offsets
    entries.push_back({tiled ? 325u : 279u, 4, 1,  // tile or strip byte counts
                       static_cast<uint32_t>(stripBytes)});
    std::sort(entries.begin(), entries.end());
    put16(f, static_cast<uint32_t>(entries.size()));
    for (const auto& e : entries) {
        put16(f, e[0]);
        put16(f, e[1]);
        put32(f, e[2]);
        if (e[1] == 3) {
            put16(f, e[3]);
            put16(f, 0);
        } else {
            put32(f, e[3]);
        }
    }
    put32(f, 0);
    f.resize(f.size() + stripBytes, 0x55);
    return f;
}

std::unique_ptr<Image> imageOf(int w, int h, PixelFormat format, Palette palette = {}) {
    PixelData px;
    EXPECT_EQ(PixelData::allocate(w, h, format, px), Status::Ok);
    size_t rowBytes = strideFor(format, w);
    for (int y = 0; y < h; ++y)
        for (size_t i = 0; i < rowBytes; ++i)
            px.row(y)[i] = static_cast<uint8_t>(i * 37 + static_cast<size_t>(y) * 11 + (i >> 3));
    return Image::fromPixels(std::move(px), std::move(palette));
}

EncoderParameters params(uint32_t compression, uint32_t depth = 0) {
    EncoderParameters p;
    p.push_back({EncoderParam::Compression, EncoderParameterValueTypeLong, {compression}});
    if (depth) p.push_back({EncoderParam::ColorDepth, EncoderParameterValueTypeLong, {depth}});
    return p;
}

std::unique_ptr<Image> roundTrip(const Image& image, const EncoderParameters& p) {
    ByteSink sink;
    EXPECT_EQ(codecs::tiffEncoder().encode(image, p, sink), Status::Ok);
    std::unique_ptr<Image> back;
    EXPECT_EQ(decodeBytes(sink, back), Status::Ok);
    return back;
}

// A page that looks like printed text: lines of word-like black runs.
std::unique_ptr<Image> textPage(int w, int h) {
    PixelData px;
    EXPECT_EQ(PixelData::allocate(w, h, PixelFormat1bppIndexed, px), Status::Ok);
    for (int y = 150; y + 40 < h - 150; y += 60)
        for (int yy = y; yy < y + 30; ++yy)
            for (int x = 150; x < w - 150; ++x) {
                int word = (x / 90 + y / 60) % 7;
                bool ink = (x % 90) < 50 + word * 5 && ((x * 7 + yy * 3) % (11 + word)) < 7;
                if (ink) px.row(yy)[x / 8] |= static_cast<uint8_t>(0x80 >> (x % 8));
            }
    Palette pal;
    pal.entries = {0xFFFFFFFFu, 0xFF000000u};
    auto image = Image::fromPixels(std::move(px), pal);
    EXPECT_EQ(image->setResolution(300, 300), Status::Ok);
    return image;
}

// ---------------------------------------------------------------------------

TEST(TiffCodec, SniffsClassicAndBigTiffSignaturesOnly) {
    const Decoder& d = codecs::tiffDecoder();
    auto sniff = [&](std::vector<uint8_t> b) { return d.sniff(b); };
    EXPECT_TRUE(sniff({'I', 'I', 42, 0, 8, 0, 0, 0}));
    EXPECT_TRUE(sniff({'M', 'M', 0, 42, 0, 0, 0, 8}));
    EXPECT_TRUE(sniff({'I', 'I', 43, 0, 8, 0, 0, 0}));
    EXPECT_TRUE(sniff({'M', 'M', 0, 43, 0, 8, 0, 0}));
    EXPECT_FALSE(sniff({'I', 'I', 0, 42}));
    EXPECT_FALSE(sniff({'M', 'M', 42, 0}));
    EXPECT_FALSE(sniff({'I', 'I', 42}));
    EXPECT_FALSE(sniff({0x89, 'P', 'N', 'G'}));
}

TEST(TiffCodec, CodecInfoIsThePlatforms) {
    const CodecInfo& e = codecs::tiffEncoder().info();
    EXPECT_EQ(e.clsid, CodecClsid::TIFF);
    EXPECT_EQ(e.formatId, ImageFormat::TIFF);
    EXPECT_EQ(e.codecName, "Built-in TIFF Codec");
    EXPECT_EQ(e.formatDescription, "TIFF");
    EXPECT_EQ(e.filenameExtension, "*.TIF;*.TIFF");
    EXPECT_EQ(e.mimeType, "image/tiff");
    EXPECT_EQ(e.flags, 0x10007u);
    EXPECT_EQ(codecs::tiffDecoder().info().clsid, CodecClsid::TIFF);
}

// libtiff's photometric x depth set against the netpbm files beside it.
TEST(TiffCorpus, PhotometricSetMatchesNetpbmReferences) {
    ORRERY_REQUIRE_CORPUS();
    {
        auto image = decodeCorpus("libtiff/rgb-3c-8b.tiff");
        Netpbm ref = readNetpbm(corpusPath("libtiff/rgb-3c-8b.ppm"));
        ASSERT_EQ(image->pixelFormat(), PixelFormat24bppRGB);
        ASSERT_EQ(image->width(), ref.width);
        ASSERT_EQ(image->height(), ref.height);
        std::vector<uint8_t> rows = packedRows(*image, static_cast<size_t>(ref.width) * 3);
        for (size_t i = 0; i < rows.size(); i += 3) std::swap(rows[i], rows[i + 2]);
        EXPECT_EQ(rows, ref.data);
        EXPECT_EQ(image->rawFormat(), ImageFormat::TIFF);
        EXPECT_TRUE(image->flags() & ImageFlagsColorSpaceRGB);
    }
    {
        auto image = decodeCorpus("libtiff/rgb-3c-16b.tiff");
        Netpbm ref = readNetpbm(corpusPath("libtiff/rgb-3c-16b.ppm"));
        ASSERT_EQ(image->pixelFormat(), PixelFormat48bppRGB);
        ASSERT_EQ(ref.maxval, 65535);
        std::vector<uint8_t> rows = packedRows(*image, static_cast<size_t>(ref.width) * 6);
        // Netpbm keeps big-endian R, G, B; the platform little-endian B, G, R.
        std::vector<uint8_t> expect(ref.data.size());
        for (size_t px = 0; px < expect.size(); px += 6)
            for (int c = 0; c < 3; ++c) {
                expect[px + 2 * (2 - c)] = ref.data[px + 2 * c + 1];
                expect[px + 2 * (2 - c) + 1] = ref.data[px + 2 * c];
            }
        EXPECT_EQ(rows, expect);
    }
    {
        auto image = decodeCorpus("libtiff/minisblack-1c-8b.tiff");
        Netpbm ref = readNetpbm(corpusPath("libtiff/minisblack-1c-8b.pgm"));
        ASSERT_EQ(image->pixelFormat(), PixelFormat8bppIndexed);
        EXPECT_EQ(packedRows(*image, static_cast<size_t>(ref.width)), ref.data);
        EXPECT_EQ(image->palette().entries, grayPalette(256).entries);
        EXPECT_TRUE(image->flags() & ImageFlagsColorSpaceGRAY);
    }
    {
        // PBM and MINISWHITE both store 1 for black: the bits stay as stored.
        auto image = decodeCorpus("libtiff/miniswhite-1c-1b.tiff");
        Netpbm ref = readNetpbm(corpusPath("libtiff/miniswhite-1c-1b.pbm"));
        ASSERT_EQ(image->pixelFormat(), PixelFormat1bppIndexed);
        EXPECT_EQ(packedRows(*image, static_cast<size_t>(ref.width + 7) / 8), ref.data);
        EXPECT_EQ(image->palette().entries, (std::vector<ARGB>{0xFFFFFFFFu, 0xFF000000u}));
    }
    {
        auto image = decodeCorpus("libtiff/minisblack-1c-16b.tiff");
        ASSERT_EQ(image->pixelFormat(), PixelFormat48bppRGB);
        const uint8_t* r = image->pixels().row(image->height() / 2);
        bool varied = false;
        for (int x = 0; x < image->width(); ++x) {
            EXPECT_EQ(std::memcmp(r + 6 * x, r + 6 * x + 2, 2), 0);
            EXPECT_EQ(std::memcmp(r + 6 * x, r + 6 * x + 4, 2), 0);
            varied |= std::memcmp(r, r + 6 * x, 2) != 0;
        }
        EXPECT_TRUE(varied);
    }
}

TEST(TiffCorpus, PalettesKeepTheirDepthAndColourMap) {
    ORRERY_REQUIRE_CORPUS();
    struct Case { const char* file; PixelFormat format; size_t entries; };
    for (Case c : {Case{"libtiff/palette-1c-1b.tiff", PixelFormat1bppIndexed, 2},
                   Case{"libtiff/palette-1c-4b.tiff", PixelFormat4bppIndexed, 16},
                   Case{"libtiff/palette-1c-8b.tiff", PixelFormat8bppIndexed, 256}}) {
        auto image = decodeCorpus(c.file);
        ASSERT_TRUE(image) << c.file;
        EXPECT_EQ(image->pixelFormat(), c.format) << c.file;
        EXPECT_EQ(image->palette().entries.size(), c.entries) << c.file;
        // The 8-bit rendering of the palette page resembles the RGB page.
        auto rgb = decodeCorpus("libtiff/rgb-3c-8b.tiff");
        std::vector<ARGB> a = argbOf(*image), b = argbOf(*rgb);
        ASSERT_EQ(a.size(), b.size());
        if (c.entries == 256) {
            double diff = 0;
            for (size_t i = 0; i < a.size(); ++i)
                for (int s = 0; s < 24; s += 8)
                    diff += std::abs(static_cast<int>(a[i] >> s & 0xFF) - static_cast<int>(b[i] >> s & 0xFF));
            EXPECT_LT(diff / (3.0 * a.size()), 12.0) << c.file;
        }
    }
}

TEST(TiffCorpus, FaxPagesStayOneBitWithTheirResolution) {
    ORRERY_REQUIRE_CORPUS();
    auto g4 = decodeCorpus("libtiff/testfax4.tiff");
    ASSERT_TRUE(g4);
    EXPECT_EQ(g4->pixelFormat(), PixelFormat1bppIndexed);
    EXPECT_EQ(g4->width(), 2453);
    EXPECT_EQ(g4->height(), 3369);
    EXPECT_FLOAT_EQ(g4->horizontalResolution(), 300);
    EXPECT_TRUE(g4->flags() & ImageFlagsHasRealDPI);
    EXPECT_LT(g4->bytesHeld(), 1100u * 1024);

    // A G3 fax of three pages at 204 x 196 dpi.
    auto g3 = decodeCorpus("pillow/total-pages-zero.tif");
    ASSERT_TRUE(g3);
    EXPECT_EQ(pageCount(*g3), 3u);
    for (uint32_t page = 0; page < 3; ++page) {
        ASSERT_EQ(g3->selectActiveFrame(FrameDimension::Page, page), Status::Ok);
        EXPECT_EQ(g3->pixelFormat(), PixelFormat1bppIndexed);
        EXPECT_EQ(g3->width(), 1728);
        EXPECT_EQ(g3->height(), 2156);
        EXPECT_FLOAT_EQ(g3->horizontalResolution(), 204);
        EXPECT_FLOAT_EQ(g3->verticalResolution(), 196);
    }
    auto pport = decodeCorpus("pillow/pport_g4.tif");
    EXPECT_EQ(pport->pixelFormat(), PixelFormat1bppIndexed);
    EXPECT_FLOAT_EQ(pport->horizontalResolution(), 200);

    // Fill order 2: ink and paper both present.
    auto reversed = decodeCorpus("pillow/g4-fillorder-test.tif");
    ASSERT_TRUE(reversed);
    std::vector<ARGB> px = argbOf(*reversed);
    auto black = std::count(px.begin(), px.end(), 0xFF000000u);
    EXPECT_GT(black, 0);
    EXPECT_LT(black, static_cast<ptrdiff_t>(px.size()) / 2);
}

TEST(TiffCorpus, OldStyleJpegDecodesToRgb) {
    ORRERY_REQUIRE_CORPUS();
    for (const char* f : {"libtiff/ojpeg_chewey_subsamp21_multi_strip.tiff",
                          "libtiff/ojpeg_zackthecat_subsamp22_single_strip.tiff",
                          "libtiff/ojpeg_single_strip_no_rowsperstrip.tiff",
                          "pillow/old-style-jpeg-compression.tif"}) {
        auto image = decodeCorpus(f);
        ASSERT_TRUE(image) << f;
        EXPECT_EQ(image->pixelFormat(), PixelFormat24bppRGB) << f;
        EXPECT_TRUE(image->flags() & ImageFlagsColorSpaceYCBCR) << f;
        // A photograph: not one flat colour.
        std::vector<ARGB> px = argbOf(*image);
        EXPECT_NE(std::count(px.begin(), px.end(), px[px.size() / 2]), static_cast<ptrdiff_t>(px.size())) << f;
    }
    auto chewey = decodeCorpus("libtiff/ojpeg_chewey_subsamp21_multi_strip.tiff");
    EXPECT_EQ(chewey->width(), 392);
    EXPECT_EQ(chewey->height(), 575);
}

TEST(TiffCorpus, DirectoryLoopsEndWithoutHanging) {
    ORRERY_REQUIRE_CORPUS();
    struct Case { const char* file; uint32_t pages; };
    for (Case c : {Case{"libtiff/test_ifd_loop_to_self.tif", 1}, Case{"libtiff/test_ifd_loop_to_first.tif", 2},
                   Case{"libtiff/test_two_ifds.tif", 2}, Case{"pillow/multipage_single_frame_loop.tiff", 1},
                   Case{"pillow/multipage_multiple_frame_loop.tiff", 2}}) {
        auto image = decodeCorpus(c.file);
        ASSERT_TRUE(image) << c.file;
        EXPECT_EQ(pageCount(*image), c.pages) << c.file;
        for (uint32_t p = 0; p < c.pages; ++p)
            EXPECT_EQ(image->selectActiveFrame(FrameDimension::Page, p), Status::Ok) << c.file << " " << p;
        EXPECT_EQ(image->selectActiveFrame(FrameDimension::Page, c.pages), Status::InvalidParameter);
    }
    // Sub-directories are not pages.
    auto sub = decodeCorpus("libtiff/test_ifd_loop_subifd.tif");
    ASSERT_TRUE(sub);
    uint32_t pages = pageCount(*sub);
    for (uint32_t p = 0; p < pages; ++p) (void)sub->selectActiveFrame(FrameDimension::Page, p);
}

TEST(TiffCorpus, ExifAndGpsDirectoriesBecomePropertyItems) {
    ORRERY_REQUIRE_CORPUS();
    auto image = decodeCorpus("libtiff/custom_dir_EXIF_GPS.tiff");
    ASSERT_TRUE(image);
    std::vector<uint32_t> ids = image->propertyIdList();
    auto has = [&](uint32_t id) { return std::find(ids.begin(), ids.end(), id) != ids.end(); };
    EXPECT_TRUE(has(0x0100));  // ImageWidth of the page itself
    EXPECT_TRUE(has(0x0000));  // GPSVersionID from the GPS directory
    EXPECT_TRUE(has(0x9000));  // ExifVersion from the EXIF directory
    PropertyItem gpsVersion;
    ASSERT_EQ(image->getPropertyItem(0x0000, gpsVersion), Status::Ok);
    EXPECT_EQ(gpsVersion.type, PropertyTagTypeByte);
    EXPECT_EQ(gpsVersion.length(), 4u);
}

TEST(TiffCorpus, MultiPageFilesOfferEveryPage) {
    ORRERY_REQUIRE_CORPUS();
    struct Case { const char* file; std::vector<int> widths; };
    for (const Case& c : {Case{"pillow/multipage.tiff", {10, 10, 20}},
                          Case{"pillow/multipage-mmap.tiff", {10, 10, 20}},
                          Case{"pillow/multipage_out_of_order.tiff", {10, 20, 10}},
                          Case{"pillow/g4-multi.tiff", {3307, 3307, 3307}}}) {
        auto image = decodeCorpus(c.file);
        ASSERT_TRUE(image) << c.file;
        ASSERT_EQ(pageCount(*image), c.widths.size()) << c.file;
        EXPECT_EQ(image->frameDimensions(), std::vector<Guid>{FrameDimension::Page});
        for (size_t p = c.widths.size(); p-- > 0;) {
            ASSERT_EQ(image->selectActiveFrame(FrameDimension::Page, static_cast<uint32_t>(p)), Status::Ok);
            EXPECT_EQ(image->width(), c.widths[p]) << c.file << " page " << p;
            EXPECT_EQ(image->activeFrame(), p);
        }
    }
    // The overviews of a pyramid file are pages of their own.
    auto overviews = decodeCorpus("pillow/tiff_strip_planar_raw_with_overviews.tif");
    ASSERT_EQ(pageCount(*overviews), 5u);
    ASSERT_EQ(overviews->selectActiveFrame(FrameDimension::Page, 4), Status::Ok);
    EXPECT_EQ(overviews->width(), 18);
}

// Strips, tiles, contiguous and separate planes of one picture decode alike.
TEST(TiffCorpus, LayoutsOfOnePictureDecodeAlike) {
    ORRERY_REQUIRE_CORPUS();
    auto ref = decodeCorpus("pillow/tiff_strip_raw.tif");
    ASSERT_EQ(ref->pixelFormat(), PixelFormat24bppRGB);
    for (const char* f : {"pillow/tiff_tiled_raw.tif", "pillow/tiff_strip_planar_raw.tif",
                          "pillow/tiff_strip_planar_lzw.tiff", "pillow/tiff_tiled_planar_raw.tif",
                          "pillow/tiff_tiled_planar_lzw.tiff"}) {
        auto image = decodeCorpus(f);
        ASSERT_TRUE(image) << f;
        EXPECT_EQ(image->pixelFormat(), PixelFormat24bppRGB) << f;
        EXPECT_EQ(packedRows(*image, 278 * 3), packedRows(*ref, 278 * 3)) << f;
    }
    auto deep = decodeCorpus("pillow/tiff_16bit_RGB.tiff");
    ASSERT_EQ(deep->pixelFormat(), PixelFormat48bppRGB);
    for (const char* f : {"pillow/tiff_strip_planar_16bit_RGB.tiff", "pillow/tiff_tiled_planar_16bit_RGB.tiff"}) {
        auto image = decodeCorpus(f);
        EXPECT_EQ(image->pixelFormat(), PixelFormat48bppRGB) << f;
        EXPECT_EQ(packedRows(*image, 100 * 6), packedRows(*deep, 100 * 6)) << f;
    }
    auto deepAlpha = decodeCorpus("pillow/tiff_16bit_RGBa.tiff");
    ASSERT_TRUE(isExtended(deepAlpha->pixelFormat()) && hasAlpha(deepAlpha->pixelFormat()));
    for (const char* f : {"pillow/tiff_strip_planar_16bit_RGBa.tiff", "pillow/tiff_tiled_planar_16bit_RGBa.tiff"}) {
        auto image = decodeCorpus(f);
        EXPECT_EQ(image->pixelFormat(), deepAlpha->pixelFormat()) << f;
        EXPECT_EQ(packedRows(*image, 100 * 8), packedRows(*deepAlpha, 100 * 8)) << f;
    }
    // The BigTIFF twin of hopper holds the same pixels.
    auto hopper = decodeCorpus("pillow/hopper.tif");
    auto big = decodeCorpus("pillow/hopper_bigtiff.tif");
    ASSERT_TRUE(hopper && big);
    EXPECT_EQ(argbOf(*hopper), argbOf(*big));
    // JPEG-in-TIFF, tiled: close to the lossless picture.
    auto lossless = decodeCorpus("libtiff/quad-lzw-compat.tiff");
    auto jpeg = decodeCorpus("libtiff/quad-tile.jpg.tiff");
    ASSERT_TRUE(lossless && jpeg);
    std::vector<ARGB> a = argbOf(*lossless), b = argbOf(*jpeg);
    ASSERT_EQ(a.size(), b.size());
    double diff = 0;
    for (size_t i = 0; i < a.size(); ++i)
        diff += std::abs(static_cast<int>(a[i] >> 8 & 0xFF) - static_cast<int>(b[i] >> 8 & 0xFF));
    EXPECT_LT(diff / static_cast<double>(a.size()), 8.0);
}

TEST(TiffCorpus, SixteenBitPagesKeepTheirDepth) {
    ORRERY_REQUIRE_CORPUS();
    auto rgb = decodeCorpus("pillow/tiff_16bit_RGB.tiff");
    EXPECT_EQ(rgb->pixelFormat(), PixelFormat48bppRGB);
    auto grey = decodeCorpus("pillow/16bit.MM.deflate.tif");
    EXPECT_EQ(grey->pixelFormat(), PixelFormat48bppRGB);
    // Big- and little-endian files of one picture give the same samples.
    auto le = decodeCorpus("pillow/16bit.deflate.tif");
    EXPECT_EQ(packedRows(*grey, 64 * 6), packedRows(*le, 64 * 6));
    auto uint16 = decodeCorpus("pillow/uint16_1_4660.tif");
    ASSERT_EQ(uint16->pixelFormat(), PixelFormat48bppRGB);
    uint16_t v;
    std::memcpy(&v, uint16->pixels().row(3) + 6 * 4, 2);
    EXPECT_EQ(v, 4660);  // the file's every sample
}

TEST(TiffCorpus, BrokenFilesGiveAStatusAndPrintNothing) {
    ORRERY_REQUIRE_CORPUS();
    testing::internal::CaptureStderr();
    for (const char* f : {"pillow/libtiff_segfault.tif", "pillow/oom-225817ca0f8c663be7ab4b9e717b02c661e66834.tif",
                          "pillow/seek_too_large.tif", "pillow/tiff_overflow_rows_per_strip.tif",
                          "pillow/crash-0c7e0e8e11ce787078f00b5b0ca409a167f070e0.tif",
                          "libtiff/testfax3_bug_513.tiff"})
        EXPECT_NE(statusOf(f), Status::Ok) << f;
    // Every other crash reproducer gives a status or pixels, nothing worse.
    for (const auto& e : fs::directory_iterator(corpusPath("pillow"))) {
        std::string name = e.path().filename().string();
        if (name.rfind("crash", 0) != 0 || e.path().extension() != ".tif") continue;
        std::unique_ptr<Image> image;
        if (decodeBytes(readFile(e.path()), image) != Status::Ok) continue;
        uint32_t pages = pageCount(*image);
        for (uint32_t p = 0; p < pages; ++p) (void)image->selectActiveFrame(FrameDimension::Page, p);
    }
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    // Floating-point samples have no range to map to pixels.
    EXPECT_EQ(statusOf("libtiff/test_float64_predictor2_le_lzw.tif"), Status::UnknownImageFormat);
    EXPECT_EQ(statusOf("pillow/10ct_32bit_128.tiff"), Status::UnknownImageFormat);
}

TEST(TiffCorpus, LoadsThroughTheCodecTableWithItsProfile) {
    ORRERY_REQUIRE_CORPUS();
    auto bytes = ByteSource::copyOf(readFile(corpusPath("pillow/hopper.iccprofile.tif")));
    std::unique_ptr<Image> plain, managed;
    ASSERT_EQ(loadImageFromBytes(bytes, DecodeOptions{}, plain), Status::Ok);
    EXPECT_EQ(plain->rawFormat(), ImageFormat::TIFF);
    EXPECT_GT(plain->frame().iccProfile.size(), 128u);
    DecodeOptions icm;
    icm.useEmbeddedColorManagement = true;
    ASSERT_EQ(loadImageFromBytes(bytes, icm, managed), Status::Ok);
    EXPECT_EQ(managed->pixelFormat(), plain->pixelFormat());
    EXPECT_EQ(managed->frame().iccProfile, plain->frame().iccProfile);
    // The encoder is found by its class identifier.
    ByteSink sink;
    ASSERT_EQ(plain->saveToBytes(CodecClsid::TIFF, {}, sink), Status::Ok);
    std::unique_ptr<Image> back;
    ASSERT_EQ(loadImageFromBytes(ByteSource::fromVector(std::move(sink)), {}, back), Status::Ok);
    EXPECT_EQ(argbOf(*back), argbOf(*plain));
}

// ---------------------------------------------------------------------------
// Pages made here

TEST(TiffPages, AlphaIsKeptAssociatedOrNot) {
    for (uint16_t kind : {uint16_t{EXTRASAMPLE_UNASSALPHA}, uint16_t{EXTRASAMPLE_ASSOCALPHA}}) {
        auto bytes = makeTiff(
            3, 2,
            [&](TIFF* tif) {
                rgbTags(8, 4)(tif);
                TIFFSetField(tif, TIFFTAG_EXTRASAMPLES, 1, &kind);
            },
            [](uint32_t y, uint8_t* row) {
                const uint8_t px[4] = {200, 100, 50, static_cast<uint8_t>(y ? 128 : 255)};
                for (int x = 0; x < 3; ++x) std::memcpy(row + 4 * x, px, 4);
            });
        std::unique_ptr<Image> image;
        ASSERT_EQ(decodeBytes(bytes, image), Status::Ok);
        bool assoc = kind == EXTRASAMPLE_ASSOCALPHA;
        EXPECT_EQ(image->pixelFormat(), assoc ? PixelFormat32bppPARGB : PixelFormat32bppARGB);
        const uint8_t* r = image->pixels().row(1);
        EXPECT_EQ((std::vector<uint8_t>(r, r + 4)), (std::vector<uint8_t>{50, 100, 200, 128}));
    }
}

TEST(TiffPages, TwoBitPagesWidenToFourBits) {
    auto bytes = makeTiff(
        5, 1,
        [](TIFF* tif) {
            TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 2);
            TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, 1);
            TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISBLACK);
        },
        [](uint32_t, uint8_t* row) {
            row[0] = 0b00011011;  // 0 1 2 3
            row[1] = 0b10000000;  // 2
        });
    std::unique_ptr<Image> image;
    ASSERT_EQ(decodeBytes(bytes, image), Status::Ok);
    ASSERT_EQ(image->pixelFormat(), PixelFormat4bppIndexed);
    EXPECT_EQ(image->palette().entries, grayPalette(4).entries);
    const uint8_t* r = image->pixels().row(0);
    EXPECT_EQ(r[0], 0x01);
    EXPECT_EQ(r[1], 0x23);
    EXPECT_EQ(r[2] >> 4, 2);
}

// Fill order and compression are undone by libtiff: the stored bits come back.
TEST(TiffPages, BilevelPagesKeepTheirBitsInEveryCompression) {
    for (uint16_t compression : {uint16_t{COMPRESSION_CCITTFAX3}, uint16_t{COMPRESSION_CCITTFAX4},
                                 uint16_t{COMPRESSION_PACKBITS}, uint16_t{COMPRESSION_CCITTRLE}}) {
        for (uint16_t fill : {uint16_t{FILLORDER_MSB2LSB}, uint16_t{FILLORDER_LSB2MSB}}) {
            for (uint16_t photometric : {uint16_t{PHOTOMETRIC_MINISWHITE}, uint16_t{PHOTOMETRIC_MINISBLACK}}) {
                auto bytes = makeTiff(
                    70, 9,
                    [&](TIFF* tif) {
                        TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 1);
                        TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, 1);
                        TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, photometric);
                        TIFFSetField(tif, TIFFTAG_COMPRESSION, compression);
                        TIFFSetField(tif, TIFFTAG_FILLORDER, fill);
                    },
                    [](uint32_t y, uint8_t* row) {
                        for (int i = 0; i < 9; ++i) row[i] = static_cast<uint8_t>(y * 29 + static_cast<uint32_t>(i) * 71);
                        row[8] &= 0xC0;  // 70 pixels: the last byte's padding is clear
                    });
                std::unique_ptr<Image> image;
                ASSERT_EQ(decodeBytes(bytes, image), Status::Ok) << compression;
                ASSERT_EQ(image->pixelFormat(), PixelFormat1bppIndexed);
                ARGB white = 0xFFFFFFFFu, black = 0xFF000000u;
                EXPECT_EQ(image->palette().entries, (photometric == PHOTOMETRIC_MINISWHITE
                                                         ? std::vector<ARGB>{white, black}
                                                         : std::vector<ARGB>{black, white}));
                for (uint32_t y = 0; y < 9; ++y) {
                    const uint8_t* r = image->pixels().row(static_cast<int>(y));
                    for (int i = 0; i < 8; ++i)
                        EXPECT_EQ(r[i], static_cast<uint8_t>(y * 29 + static_cast<uint32_t>(i) * 71))
                            << compression << " fill " << fill << " row " << y;
                }
            }
        }
    }
}

TEST(TiffPages, ResolutionUnitsAreConverted) {
    auto withResolution = [](float x, float y, uint16_t unit) {
        return makeTiff(
            2, 2,
            [=](TIFF* tif) {
                rgbTags(8, 1)(tif);
                TIFFSetField(tif, TIFFTAG_XRESOLUTION, x);
                TIFFSetField(tif, TIFFTAG_YRESOLUTION, y);
                TIFFSetField(tif, TIFFTAG_RESOLUTIONUNIT, unit);
            },
            [](uint32_t, uint8_t* row) { row[0] = row[1] = 7; });
    };
    std::unique_ptr<Image> image;
    ASSERT_EQ(decodeBytes(withResolution(100, 50, RESUNIT_CENTIMETER), image), Status::Ok);
    EXPECT_NEAR(image->horizontalResolution(), 254, 0.01);
    EXPECT_NEAR(image->verticalResolution(), 127, 0.01);
    EXPECT_TRUE(image->flags() & ImageFlagsHasRealDPI);
    // Without a unit only the aspect ratio is known.
    ASSERT_EQ(decodeBytes(withResolution(2, 1, RESUNIT_NONE), image), Status::Ok);
    EXPECT_FLOAT_EQ(image->horizontalResolution(), 192);
    EXPECT_FLOAT_EQ(image->verticalResolution(), 96);
    EXPECT_FALSE(image->flags() & ImageFlagsHasRealDPI);
    auto none = makeTiff(2, 2, rgbTags(8, 1), [](uint32_t, uint8_t* row) { row[0] = row[1] = 7; });
    ASSERT_EQ(decodeBytes(none, image), Status::Ok);
    EXPECT_FLOAT_EQ(image->horizontalResolution(), 96);
    EXPECT_FALSE(image->flags() & ImageFlagsHasRealDPI);
}

TEST(TiffPages, TruncatedStripsShowWhatDecoded) {
    auto bytes = makeTiff(4, 8, rgbTags(8, 3), [](uint32_t y, uint8_t* row) {
        for (int i = 0; i < 12; ++i) row[i] = static_cast<uint8_t>(10 + y);
    });
    // libtiff writes the strips first, then the directory: blank the second
    // strip's data by pointing it past the end of the file.
    std::unique_ptr<Image> whole;
    ASSERT_EQ(decodeBytes(bytes, whole), Status::Ok);
    // Two strips of 4 rows, 48 bytes each, starting at offset 8.
    ASSERT_EQ(bytes[8 + 48], 14);
    std::vector<uint8_t> cut = bytes;
    uint32_t stripTwo = 8 + 48;
    for (size_t i = 8 + 96; i + 4 <= cut.size(); ++i) {
        uint32_t v;
        std::memcpy(&v, &cut[i], 4);
        if (v == stripTwo) {
            uint32_t far = 0x7FFFFFF0;
            std::memcpy(&cut[i], &far, 4);
            break;
        }
    }
    std::unique_ptr<Image> image;
    ASSERT_EQ(decodeBytes(cut, image), Status::Ok);
    EXPECT_EQ(image->pixels().row(3)[0], 13);
    EXPECT_EQ(image->pixels().row(4)[0], 0);
    EXPECT_EQ(image->pixels().row(7)[5], 0);
}

TEST(TiffPages, HugeLayoutsAreRefusedQuickly) {
    // 513 samples per pixel.
    auto many = handTiff({{TIFFTAG_IMAGEWIDTH, 3, 1, 64}, {TIFFTAG_IMAGELENGTH, 3, 1, 64},
                          {TIFFTAG_BITSPERSAMPLE, 3, 1, 8}, {TIFFTAG_SAMPLESPERPIXEL, 3, 1, 513},
                          {TIFFTAG_PHOTOMETRIC, 3, 1, PHOTOMETRIC_MINISBLACK}},
                         64);
    std::unique_ptr<Image> image;
    EXPECT_NE(decodeBytes(many, image), Status::Ok);
    // One strip claiming a page of 60000 x 60000.
    auto wide = handTiff({{TIFFTAG_IMAGEWIDTH, 4, 1, 60000}, {TIFFTAG_IMAGELENGTH, 4, 1, 60000},
                          {TIFFTAG_BITSPERSAMPLE, 3, 1, 8}, {TIFFTAG_SAMPLESPERPIXEL, 3, 1, 3},
                          {TIFFTAG_PHOTOMETRIC, 3, 1, PHOTOMETRIC_RGB}},
                         64);
    EXPECT_EQ(decodeBytes(wide, image), Status::OutOfMemory);
    // Sixteen million tiles of one pixel, with one tile offset.
    auto tiny = handTiff({{TIFFTAG_IMAGEWIDTH, 4, 1, 4096}, {TIFFTAG_IMAGELENGTH, 4, 1, 4096},
                          {TIFFTAG_BITSPERSAMPLE, 3, 1, 8}, {TIFFTAG_SAMPLESPERPIXEL, 3, 1, 1},
                          {TIFFTAG_PHOTOMETRIC, 3, 1, PHOTOMETRIC_MINISBLACK},
                          {TIFFTAG_TILEWIDTH, 3, 1, 1}, {TIFFTAG_TILELENGTH, 3, 1, 1}},
                         64, true);
    EXPECT_NE(decodeBytes(tiny, image), Status::Ok);
    // A tile far larger than its page and the allocation limit.
    auto huge = handTiff({{TIFFTAG_IMAGEWIDTH, 3, 1, 8}, {TIFFTAG_IMAGELENGTH, 3, 1, 8},
                          {TIFFTAG_BITSPERSAMPLE, 3, 1, 8}, {TIFFTAG_SAMPLESPERPIXEL, 3, 1, 3},
                          {TIFFTAG_PHOTOMETRIC, 3, 1, PHOTOMETRIC_RGB},
                          {TIFFTAG_TILEWIDTH, 4, 1, 1u << 16}, {TIFFTAG_TILELENGTH, 4, 1, 1u << 16}},
                         64, true);
    EXPECT_NE(decodeBytes(huge, image), Status::Ok);
    // A small page below the limit of the moment, refused when the limit is lowered.
    auto small = makeTiff(200, 200, rgbTags(8, 3), [](uint32_t, uint8_t* row) { std::memset(row, 1, 600); });
    size_t saved = pixelAllocationLimit();
    setPixelAllocationLimit(100 * 1024);
    EXPECT_EQ(decodeBytes(small, image), Status::OutOfMemory);
    setPixelAllocationLimit(saved);
    EXPECT_EQ(decodeBytes(small, image), Status::Ok);
}

// ---------------------------------------------------------------------------
// Encoder

TEST(TiffEncoder, EveryCompressionRoundTripsLosslessDepths) {
    Palette four = defaultPalette(PixelFormat4bppIndexed);
    Palette eight = grayPalette(256);
    Palette two;
    two.entries = {0xFF000000u, 0xFFFFFFFFu};
    struct Case { PixelFormat format; Palette palette; };
    for (const Case& c : {Case{PixelFormat24bppRGB, {}}, Case{PixelFormat32bppARGB, {}},
                          Case{PixelFormat48bppRGB, {}}, Case{PixelFormat64bppARGB, {}},
                          Case{PixelFormat8bppIndexed, eight}, Case{PixelFormat4bppIndexed, four},
                          Case{PixelFormat1bppIndexed, two}}) {
        auto source = imageOf(37, 23, c.format, c.palette);
        for (uint32_t compression : {EncoderValueCompressionLZW, EncoderValueCompressionNone}) {
            auto back = roundTrip(*source, params(compression));
            ASSERT_TRUE(back) << pixelFormatName(c.format);
            EXPECT_EQ(back->pixelFormat(), c.format) << pixelFormatName(c.format);
            EXPECT_EQ(back->width(), 37);
            EXPECT_EQ(back->height(), 23);
            size_t rowBytes = (static_cast<size_t>(bitsPerPixel(c.format)) * 37 + 7) / 8;
            if (c.format == PixelFormat1bppIndexed || c.format == PixelFormat4bppIndexed) {
                // Padding bits of the last byte are not pixels.
                EXPECT_EQ(argbOf(*back), argbOf(*source)) << pixelFormatName(c.format);
            } else {
                EXPECT_EQ(packedRows(*back, rowBytes), packedRows(*source, rowBytes))
                    << pixelFormatName(c.format) << " compression " << compression;
            }
            if (isIndexed(c.format)) {
                EXPECT_EQ(back->palette().entries, source->palette().entries);
            }
        }
    }
}

TEST(TiffEncoder, ColourDepthsConvert) {
    auto source = imageOf(40, 10, PixelFormat32bppARGB);
    struct Case { uint32_t depth; PixelFormat format; };
    for (Case c : {Case{1, PixelFormat1bppIndexed}, Case{4, PixelFormat4bppIndexed},
                   Case{8, PixelFormat8bppIndexed}, Case{24, PixelFormat24bppRGB},
                   Case{32, PixelFormat32bppARGB}}) {
        auto back = roundTrip(*source, params(EncoderValueCompressionLZW, c.depth));
        ASSERT_TRUE(back);
        EXPECT_EQ(back->pixelFormat(), c.format) << c.depth;
        std::vector<ARGB> got = argbOf(*back), want = argbOf(*source);
        // Every written pixel is the source's colour or a palette's nearest.
        if (c.depth == 24) {
            for (size_t i = 0; i < got.size(); ++i) EXPECT_EQ(got[i], want[i] | 0xFF000000u);
        }
        if (c.depth == 32) {
            EXPECT_EQ(got, want);
        }
        if (c.depth <= 8) {
            for (size_t i = 0; i < got.size(); ++i) {
                const std::vector<ARGB>& pal = back->palette().entries;
                EXPECT_NE(std::find(pal.begin(), pal.end(), got[i]), pal.end());
            }
        }
    }
    // A grey picture written at 8 bits keeps its greys exactly.
    PixelData grey;
    ASSERT_EQ(PixelData::allocate(16, 16, PixelFormat24bppRGB, grey), Status::Ok);
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 48; ++x) grey.row(y)[x] = static_cast<uint8_t>((y * 16 + x / 3));
    auto greyImage = Image::fromPixels(std::move(grey));
    auto back = roundTrip(*greyImage, params(EncoderValueCompressionLZW, 8));
    EXPECT_EQ(back->pixelFormat(), PixelFormat8bppIndexed);
    EXPECT_EQ(argbOf(*back), argbOf(*greyImage));
    // A palette image of 16 colours written at 4 bits keeps its palette.
    auto indexed = imageOf(9, 9, PixelFormat4bppIndexed, defaultPalette(PixelFormat4bppIndexed));
    auto four = roundTrip(*indexed, params(EncoderValueCompressionNone, 8));
    EXPECT_EQ(four->pixelFormat(), PixelFormat8bppIndexed);
    EXPECT_EQ(argbOf(*four), argbOf(*indexed));
}

TEST(TiffEncoder, FaxCompressionsWriteBilevelPages) {
    auto source = textPage(300, 120);
    for (uint32_t compression : {EncoderValueCompressionCCITT3, EncoderValueCompressionCCITT4,
                                 EncoderValueCompressionRle}) {
        auto back = roundTrip(*source, params(compression));
        ASSERT_TRUE(back) << compression;
        EXPECT_EQ(back->pixelFormat(), PixelFormat1bppIndexed);
        EXPECT_EQ(back->palette().entries, (std::vector<ARGB>{0xFFFFFFFFu, 0xFF000000u}));
        EXPECT_EQ(argbOf(*back), argbOf(*source)) << compression;
        EXPECT_FLOAT_EQ(back->horizontalResolution(), 300);
    }
    // A colour picture is made bilevel (black ink on white) first.
    auto colour = imageOf(30, 30, PixelFormat24bppRGB);
    auto back = roundTrip(*colour, params(EncoderValueCompressionCCITT4));
    ASSERT_TRUE(back);
    EXPECT_EQ(back->pixelFormat(), PixelFormat1bppIndexed);
    std::vector<ARGB> got = argbOf(*back), want = argbOf(*colour);
    for (size_t i = 0; i < got.size(); ++i) {
        int luma = static_cast<int>((want[i] >> 16 & 0xFF) + (want[i] >> 8 & 0xFF) + (want[i] & 0xFF));
        if (luma < 100) {
            EXPECT_EQ(got[i], 0xFF000000u);
        }
        if (luma > 700) {
            EXPECT_EQ(got[i], 0xFFFFFFFFu);
        }
    }
    ByteSink sink;
    EXPECT_EQ(codecs::tiffEncoder().encode(*colour, params(EncoderValueCompressionCCITT4, 24), sink),
              Status::InvalidParameter);
    EXPECT_EQ(codecs::tiffEncoder().encode(*colour, params(99), sink), Status::InvalidParameter);
    EXPECT_EQ(codecs::tiffEncoder().encode(*colour, params(EncoderValueCompressionLZW, 16), sink),
              Status::InvalidParameter);
    EXPECT_TRUE(sink.empty());
}

TEST(TiffEncoder, SixteenBitGreyKeepsItsPrecision) {
    auto source = imageOf(11, 5, PixelFormat16bppGrayScale);
    auto back = roundTrip(*source, {});
    ASSERT_TRUE(back);
    EXPECT_EQ(back->pixelFormat(), PixelFormat48bppRGB);
    std::vector<uint64_t> a(11), b(11);
    for (int y = 0; y < 5; ++y) {
        rowToArgb64(source->pixelFormat(), source->pixels().row(y), 0, 11, nullptr, a.data());
        rowToArgb64(back->pixelFormat(), back->pixels().row(y), 0, 11, nullptr, b.data());
        EXPECT_EQ(a, b) << y;
    }
}

TEST(TiffEncoder, ResolutionIsWritten) {
    auto source = imageOf(8, 8, PixelFormat24bppRGB);
    ASSERT_EQ(source->setResolution(150, 75), Status::Ok);
    auto back = roundTrip(*source, {});
    EXPECT_FLOAT_EQ(back->horizontalResolution(), 150);
    EXPECT_FLOAT_EQ(back->verticalResolution(), 75);
    EXPECT_TRUE(back->flags() & ImageFlagsHasRealDPI);
}

// An A4 page at 300 dpi stays one bit per pixel: about 1.1 MB, not 35 MB.
TEST(TiffEncoder, A4FaxPageStaysSmallInMemory) {
    auto page = textPage(2480, 3508);
    ByteSink sink;
    ASSERT_EQ(codecs::tiffEncoder().encode(*page, params(EncoderValueCompressionCCITT4), sink), Status::Ok);
    EXPECT_LT(sink.size(), 2u << 20);
    std::unique_ptr<Image> back;
    ASSERT_EQ(decodeBytes(sink, back), Status::Ok);
    EXPECT_EQ(back->pixelFormat(), PixelFormat1bppIndexed);
    EXPECT_EQ(back->width(), 2480);
    EXPECT_EQ(back->height(), 3508);
    EXPECT_LT(back->bytesHeld(), 1200u * 1000);
    EXPECT_EQ(packedRows(*back, 310), packedRows(*page, 310));
}

}  // namespace
