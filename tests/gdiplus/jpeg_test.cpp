// JPEG decoding and encoding: reference files, colour spaces, metadata,
// resolution, quality, damaged input.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include <jpeglib.h>

#include "platform/gdiplus/codecs/codecs.h"
#include "platform/gdiplus/exif_ifd.h"
#include "platform/gdiplus/factory.h"
#include "support/jpeg_builder.h"
#include "support/test_support.h"

namespace orrery::gdiplus {
namespace {

using test::corpusPath;
using test::readFile;

Status load(const std::vector<uint8_t>& bytes, std::unique_ptr<Image>& out, bool icm = false) {
    DecodeOptions options;
    options.useEmbeddedColorManagement = icm;
    return loadImageFromBytes(ByteSource::copyOf(bytes), options, out);
}

std::unique_ptr<Image> loadOk(const std::vector<uint8_t>& bytes) {
    std::unique_ptr<Image> image;
    EXPECT_EQ(load(bytes, image), Status::Ok);
    return image;
}

ARGB pixel(const Image& image, int x, int y) {
    ARGB c = 0;
    EXPECT_EQ(image.getPixel(x, y, c), Status::Ok);
    return c;
}

int channelDiff(ARGB a, ARGB b) {
    int d = 0;
    for (int s = 0; s < 24; s += 8)
        d = std::max(d, std::abs(int((a >> s) & 0xff) - int((b >> s) & 0xff)));
    return d;
}

// Mean absolute difference per channel between two images of equal size.
double meanError(const Image& a, const Image& b) {
    double sum = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x) {
            ARGB p = pixel(a, x, y), q = pixel(b, x, y);
            for (int s = 0; s < 24; s += 8) sum += std::abs(int((p >> s) & 0xff) - int((q >> s) & 0xff));
        }
    return sum / (3.0 * a.width() * a.height());
}

// Reads a binary PPM (P6, maxval 255) as an image.
std::unique_ptr<Image> readPpm(const std::filesystem::path& path) {
    std::vector<uint8_t> data = readFile(path);
    int w = 0, h = 0, maxval = 0, used = 0;
    std::string head(data.begin(), data.begin() + std::min<size_t>(data.size(), 64));
    if (std::sscanf(head.c_str(), "P6 %d %d %d%n", &w, &h, &maxval, &used) != 3 || maxval != 255)
        return nullptr;
    PixelData px;
    if (PixelData::allocate(w, h, PixelFormat24bppRGB, px) != Status::Ok) return nullptr;
    const uint8_t* in = data.data() + used + 1;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x, in += 3) {
            uint8_t* p = px.row(y) + 3 * x;
            p[0] = in[2], p[1] = in[1], p[2] = in[0];
        }
    return Image::fromPixels(std::move(px));
}

// A test image: smooth gradients and a soft wave, so that quality matters.
std::unique_ptr<Image> makeTestImage(int w, int h) {
    PixelData px;
    EXPECT_EQ(PixelData::allocate(w, h, PixelFormat24bppRGB, px), Status::Ok);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            uint8_t* p = px.row(y) + 3 * x;
            p[0] = static_cast<uint8_t>(x * 255 / w);
            p[1] = static_cast<uint8_t>(y * 255 / h);
            p[2] = static_cast<uint8_t>(128 + 100 * std::sin(x / 3.0) * std::cos(y / 5.0));
        }
    return Image::fromPixels(std::move(px));
}

std::vector<uint8_t> saveJpeg(const Image& image, int quality = -1) {
    EncoderParameters params;
    if (quality >= 0)
        params.push_back({EncoderParam::Quality, EncoderParameterValueTypeLong, {uint32_t(quality)}});
    ByteSink out;
    EXPECT_EQ(codecs::jpegEncoder().encode(image, params, out), Status::Ok);
    return out;
}

// Compresses CMYK samples as they are given (libjpeg writes an Adobe marker,
// as for every four-channel file), optionally as YCCK.
std::vector<uint8_t> makeCmykJpeg(const std::vector<uint8_t>& cmyk, int w, int h, bool ycck) {
    orrery::test::JpegParams layout;
    layout.width = w;
    layout.height = h;
    layout.components = 4;
    layout.ycck = ycck;
    return orrery::test::compressJpeg(cmyk, layout);
}

TEST(JpegCodec, InfoAndSignature) {
    const CodecInfo& info = codecs::jpegDecoder().info();
    EXPECT_EQ(info.clsid, CodecClsid::JPEG);
    EXPECT_EQ(info.formatId, ImageFormat::JPEG);
    EXPECT_EQ(info.codecName, "Built-in JPEG Codec");
    EXPECT_EQ(info.filenameExtension, "*.JPG;*.JPEG;*.JPE;*.JFIF");
    EXPECT_EQ(info.mimeType, "image/jpeg");
    EXPECT_EQ(info.flags, 0x10007u);
    EXPECT_EQ(codecs::jpegEncoder().info().clsid, CodecClsid::JPEG);
    EXPECT_EQ(findEncoder(CodecClsid::JPEG), &codecs::jpegEncoder());
    const uint8_t soi[] = {0xFF, 0xD8, 0xFF, 0xE0};
    const uint8_t png[] = {0x89, 'P', 'N', 'G'};
    EXPECT_TRUE(codecs::jpegDecoder().sniff(soi));
    EXPECT_FALSE(codecs::jpegDecoder().sniff(png));
    EXPECT_FALSE(codecs::jpegDecoder().sniff(std::span<const uint8_t>(soi, 2)));
}

TEST(JpegDecode, ReferenceImageMatchesTheLibraryDecode) {
    ORRERY_REQUIRE_CORPUS();
    auto image = loadOk(readFile(corpusPath("libjpeg-turbo/testorig.jpg")));
    ASSERT_TRUE(image);
    auto reference = readPpm(corpusPath("libjpeg-turbo/testorig.ppm"));
    ASSERT_TRUE(reference);
    EXPECT_EQ(image->width(), 227);
    EXPECT_EQ(image->height(), 149);
    EXPECT_EQ(image->pixelFormat(), PixelFormat24bppRGB);
    EXPECT_EQ(image->rawFormat(), ImageFormat::JPEG);
    EXPECT_EQ(image->flags() & 0x1F0u, ImageFlagsColorSpaceYCBCR);
    EXPECT_NE(image->flags() & ImageFlagsReadOnly, 0u);
    EXPECT_NE(image->flags() & ImageFlagsHasRealPixelSize, 0u);
    EXPECT_EQ(image->flags() & ImageFlagsHasRealDPI, 0u);
    EXPECT_EQ(image->horizontalResolution(), 96.0f);
    ASSERT_EQ(reference->width(), 227);
    int worst = 0;
    for (int y = 0; y < 149; ++y)
        for (int x = 0; x < 227; ++x) worst = std::max(worst, channelDiff(pixel(*image, x, y), pixel(*reference, x, y)));
    // The reference was written by another build of the library; integer
    // IDCT and upsampling round slightly differently between builds.
    EXPECT_LE(worst, 4);
    EXPECT_LT(meanError(*image, *reference), 0.5);
}

TEST(JpegDecode, ProgressiveAndArithmeticCodedFilesDecode) {
    ORRERY_REQUIRE_CORPUS();
    auto reference = readPpm(corpusPath("libjpeg-turbo/testorig.ppm"));
    ASSERT_TRUE(reference);
    for (const char* name : {"libjpeg-turbo/testimgint.jpg", "libjpeg-turbo/testimgari.jpg"}) {
        SCOPED_TRACE(name);
        auto image = loadOk(readFile(corpusPath(name)));
        ASSERT_TRUE(image);
        ASSERT_EQ(image->width(), 227);
        ASSERT_EQ(image->height(), 149);
        EXPECT_LT(meanError(*image, *reference), 3.0);
    }
}

TEST(JpegDecode, TwelveBitFilesGiveNotImplemented) {
    ORRERY_REQUIRE_CORPUS();
    std::unique_ptr<Image> image;
    EXPECT_EQ(load(readFile(corpusPath("libjpeg-turbo/monkey12.jpg")), image), Status::NotImplemented);
    EXPECT_FALSE(image);
}

TEST(JpegDecode, ExifPropertiesAndResolution) {
    ORRERY_REQUIRE_CORPUS();
    struct Case {
        const char* file;
        float dpiX, dpiY;
        bool real;
    };
    const Case cases[] = {
        {"pillow/exif-200dpcm.jpg", 508.0f, 508.0f, true},       // EXIF, centimetres
        {"pillow/photoshop-200dpi.jpg", 200.0f, 200.0f, true},   // EXIF, inches
        {"pillow/exif-72dpi-int.jpg", 72.0f, 72.0f, true},       // EXIF, integer values
        {"pillow/jfif_unit_cm.jpg", 2.54f, 5.08f, true},         // JFIF, centimetres
        {"pillow/no-dpi-in-exif.jpg", 96.0f, 96.0f, false},
        {"pillow/exif-dpi-zerodivision.jpg", 96.0f, 96.0f, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        auto image = loadOk(readFile(corpusPath(c.file)));
        ASSERT_TRUE(image);
        EXPECT_NEAR(image->horizontalResolution(), c.dpiX, 0.01);
        EXPECT_NEAR(image->verticalResolution(), c.dpiY, 0.01);
        EXPECT_EQ((image->flags() & ImageFlagsHasRealDPI) != 0, c.real);
    }
    for (int orientation = 2; orientation <= 8; ++orientation) {
        auto path = corpusPath("pillow/hopper_orientation_" + std::to_string(orientation) + ".jpg");
        auto image = loadOk(readFile(path));
        ASSERT_TRUE(image);
        PropertyItem item;
        ASSERT_EQ(image->getPropertyItem(PropertyTagOrientation, item), Status::Ok);
        EXPECT_EQ(item, PropertyItem::fromShorts(PropertyTagOrientation, {uint16_t(orientation)}));
    }
}

TEST(JpegDecode, GreyFilesBecomeEightBitWithAGreyPalette) {
    ORRERY_REQUIRE_CORPUS();
    auto image = loadOk(readFile(corpusPath("pillow/hopper_gray.jpg")));
    ASSERT_TRUE(image);
    EXPECT_EQ(image->pixelFormat(), PixelFormat8bppIndexed);
    EXPECT_EQ(image->palette(), grayPalette(256));
    EXPECT_NE(image->palette().flags & PaletteFlagsGrayScale, 0u);
    EXPECT_NE(image->flags() & ImageFlagsColorSpaceGRAY, 0u);
}

// Ink amounts (0 = none) of four patches and the RGB they should show.
struct Patch {
    uint8_t c, m, y, k;
    ARGB rgb;
};
const Patch kPatches[] = {
    {255, 0, 0, 0, 0xFF00FFFF},    // cyan
    {0, 255, 255, 0, 0xFFFF0000},  // red
    {0, 0, 0, 128, 0xFF7F7F7F},    // half black
    {0, 0, 0, 0, 0xFFFFFFFF},      // paper
};

std::vector<uint8_t> invertedPatches(int w, int h) {
    std::vector<uint8_t> cmyk;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const Patch& p = kPatches[(y / 16) * 2 + x / 16];
            for (uint8_t ink : {p.c, p.m, p.y, p.k}) cmyk.push_back(static_cast<uint8_t>(255 - ink));
        }
    return cmyk;
}

TEST(JpegDecode, AdobeCmykAndYcckGiveTheirColours) {
    for (bool ycck : {false, true}) {
        SCOPED_TRACE(ycck ? "YCCK" : "CMYK");
        auto image = loadOk(makeCmykJpeg(invertedPatches(32, 32), 32, 32, ycck));
        ASSERT_TRUE(image);
        EXPECT_EQ(image->pixelFormat(), PixelFormat24bppRGB);
        EXPECT_NE(image->flags() & (ycck ? ImageFlagsColorSpaceYCCK : ImageFlagsColorSpaceCMYK), 0u);
        for (int i = 0; i < 4; ++i) {
            ARGB got = pixel(*image, (i % 2) * 16 + 8, (i / 2) * 16 + 8);
            EXPECT_LE(channelDiff(got, kPatches[i].rgb), 4) << i << " " << std::hex << got;
        }
    }
}

TEST(JpegDecode, CorpusCmykLooksLikeItsRgbTwin) {
    ORRERY_REQUIRE_CORPUS();
    auto cmyk = loadOk(readFile(corpusPath("pillow/pil_sample_cmyk.jpg")));
    auto rgb = loadOk(readFile(corpusPath("pillow/pil_sample_rgb.jpg")));
    ASSERT_TRUE(cmyk && rgb);
    ASSERT_EQ(cmyk->width(), rgb->width());
    // Photoshop stores it as YCCK.
    EXPECT_NE(cmyk->flags() & (ImageFlagsColorSpaceCMYK | ImageFlagsColorSpaceYCCK), 0u);
    // The formula ignores the press profile, so colours are close, not equal;
    // inverted inks would be far off.
    EXPECT_LT(meanError(*cmyk, *rgb), 25.0);
}

TEST(JpegDecode, TruncatedFilesKeepTheDecodedRows) {
    ORRERY_REQUIRE_CORPUS();
    std::vector<uint8_t> full = readFile(corpusPath("libjpeg-turbo/testorig.jpg"));
    auto whole = loadOk(full);
    ASSERT_TRUE(whole);
    std::vector<uint8_t> cut(full.begin(), full.begin() + static_cast<ptrdiff_t>(full.size() * 6 / 10));
    auto part = loadOk(cut);
    ASSERT_TRUE(part);
    EXPECT_EQ(part->width(), 227);
    EXPECT_EQ(part->height(), 149);
    for (int x = 0; x < 227; x += 7) EXPECT_EQ(pixel(*part, x, 3), pixel(*whole, x, 3));
    // The bottom rows were not in the data.
    EXPECT_GT(meanError(*part, *whole), 1.0);

    std::unique_ptr<Image> none;
    std::vector<uint8_t> headerOnly(full.begin(), full.begin() + 100);
    EXPECT_EQ(load(headerOnly, none), Status::InvalidParameter);
    EXPECT_FALSE(none);
}

TEST(JpegDecode, CorruptFilesGiveAStatusNotACrash) {
    std::unique_ptr<Image> image;
    std::vector<uint8_t> junk = {0xFF, 0xD8, 0xFF, 0xC0, 0x00, 0x02, 0x13, 0x37};
    EXPECT_EQ(load(junk, image), Status::InvalidParameter);
    std::vector<uint8_t> soiOnly = {0xFF, 0xD8, 0xFF};
    EXPECT_NE(load(soiOnly, image), Status::Ok);
    // A valid file whose frame header claims 0 lines.
    auto bytes = saveJpeg(*makeTestImage(16, 16));
    for (size_t i = 0; i + 8 < bytes.size(); ++i)
        if (bytes[i] == 0xFF && bytes[i + 1] == 0xC0) {
            bytes[i + 5] = 0, bytes[i + 6] = 0;
            break;
        }
    EXPECT_EQ(load(bytes, image), Status::InvalidParameter);
}

TEST(JpegDecode, EveryCorpusJpegLoadsOrGivesAStatus) {
    ORRERY_REQUIRE_CORPUS();
    int loaded = 0;
    for (const char* dir : {"pillow", "libjpeg-turbo"})
        for (const auto& entry : std::filesystem::directory_iterator(corpusPath(dir))) {
            if (entry.path().extension() != ".jpg") continue;
            SCOPED_TRACE(entry.path().string());
            std::unique_ptr<Image> image;
            Status s = load(readFile(entry.path()), image);
            if (s == Status::Ok) {
                ++loaded;
                EXPECT_GT(image->width(), 0);
            } else {
                EXPECT_FALSE(image);
            }
        }
    EXPECT_GT(loaded, 40);
}

TEST(JpegDecode, ImagesAboveTheAllocationLimitAreRefused) {
    auto bytes = saveJpeg(*makeTestImage(200, 100));
    size_t old = pixelAllocationLimit();
    setPixelAllocationLimit(200 * 50 * 3);
    std::unique_ptr<Image> image;
    Status s = load(bytes, image);
    setPixelAllocationLimit(old);
    EXPECT_EQ(s, Status::OutOfMemory);
    EXPECT_FALSE(image);
}

TEST(JpegEncode, HigherQualityGivesBiggerFilesAndSmallerErrors) {
    auto image = makeTestImage(96, 64);
    auto low = saveJpeg(*image, 20);
    auto high = saveJpeg(*image, 95);
    auto standard = saveJpeg(*image);
    EXPECT_GT(high.size(), low.size());
    EXPECT_GT(standard.size(), low.size());
    EXPECT_LT(standard.size(), high.size());
    auto lowBack = loadOk(low), highBack = loadOk(high);
    ASSERT_TRUE(lowBack && highBack);
    EXPECT_LT(meanError(*highBack, *image), meanError(*lowBack, *image));
    EXPECT_LT(meanError(*highBack, *image), 3.0);

    ByteSink out;
    EncoderParameters bad = {{EncoderParam::Quality, EncoderParameterValueTypeLong, {101}}};
    EXPECT_EQ(codecs::jpegEncoder().encode(*image, bad, out), Status::InvalidParameter);
}

TEST(JpegEncode, GreyPaletteImagesWriteGreyFiles) {
    PixelData px;
    ASSERT_EQ(PixelData::allocate(32, 8, PixelFormat8bppIndexed, px), Status::Ok);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 32; ++x) px.row(y)[x] = static_cast<uint8_t>(x * 8);
    auto image = Image::fromPixels(std::move(px), grayPalette(256));
    auto back = loadOk(saveJpeg(*image, 100));
    ASSERT_TRUE(back);
    EXPECT_EQ(back->pixelFormat(), PixelFormat8bppIndexed);
    EXPECT_NE(back->flags() & ImageFlagsColorSpaceGRAY, 0u);
    EXPECT_LE(channelDiff(pixel(*back, 20, 4), 0xFFA0A0A0), 2);
}

TEST(JpegEncode, OtherFormatsGoThroughTwentyFourBitsAndDropAlpha) {
    PixelData px;
    ASSERT_EQ(PixelData::allocate(16, 16, PixelFormat32bppARGB, px), Status::Ok);
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x) {
            ARGB c = 0x20C08040;  // nearly transparent, colour kept
            std::memcpy(px.row(y) + 4 * x, &c, 4);
        }
    auto back = loadOk(saveJpeg(*Image::fromPixels(std::move(px)), 100));
    ASSERT_TRUE(back);
    EXPECT_EQ(back->pixelFormat(), PixelFormat24bppRGB);
    EXPECT_LE(channelDiff(pixel(*back, 8, 8), 0xFFC08040), 3);

    // A colour palette: not a grey file.
    PixelData indexed;
    ASSERT_EQ(PixelData::allocate(16, 16, PixelFormat8bppIndexed, indexed), Status::Ok);
    Palette palette;
    palette.entries = {0xFF0000FF, 0xFFFF0000};
    std::memset(indexed.row(0), 1, 16);
    auto colour = loadOk(saveJpeg(*Image::fromPixels(std::move(indexed), palette), 100));
    ASSERT_TRUE(colour);
    EXPECT_EQ(colour->pixelFormat(), PixelFormat24bppRGB);
}

TEST(JpegEncode, ResolutionAndPropertiesSurviveARoundTrip) {
    auto image = makeTestImage(40, 30);
    ASSERT_EQ(image->setResolution(150.0f, 300.0f), Status::Ok);
    ASSERT_EQ(image->setPropertyItem(PropertyItem::fromShorts(PropertyTagOrientation, {6})), Status::Ok);
    ASSERT_EQ(image->setPropertyItem(PropertyItem::fromAscii(0x9003, "2024:05:06 07:08:09")), Status::Ok);
    ASSERT_EQ(image->setPropertyItem(PropertyItem::fromAscii(0x010F, "Orrery")), Status::Ok);
    auto back = loadOk(saveJpeg(*image));
    ASSERT_TRUE(back);
    EXPECT_EQ(back->horizontalResolution(), 150.0f);
    EXPECT_EQ(back->verticalResolution(), 300.0f);
    EXPECT_NE(back->flags() & ImageFlagsHasRealDPI, 0u);
    for (uint32_t id : {uint32_t(PropertyTagOrientation), 0x9003u, 0x010Fu}) {
        PropertyItem want, got;
        ASSERT_EQ(image->getPropertyItem(id, want), Status::Ok);
        ASSERT_EQ(back->getPropertyItem(id, got), Status::Ok) << std::hex << id;
        EXPECT_EQ(got, want);
    }
}

TEST(JpegEncode, OversizedMetadataIsTrimmedToFitOneSegment) {
    auto image = makeTestImage(8, 8);
    ASSERT_EQ(image->setPropertyItem(PropertyItem{0x927C, PropertyTagTypeUndefined,
                                                  std::vector<uint8_t>(70000, 7)}),
              Status::Ok);
    ASSERT_EQ(image->setPropertyItem(PropertyItem::fromShorts(PropertyTagOrientation, {3})), Status::Ok);
    auto back = loadOk(saveJpeg(*image));
    ASSERT_TRUE(back);
    PropertyItem item;
    EXPECT_EQ(back->getPropertyItem(PropertyTagOrientation, item), Status::Ok);
    EXPECT_EQ(back->getPropertyItem(0x927C, item), Status::PropertyNotFound);
}

}  // namespace
}  // namespace orrery::gdiplus
