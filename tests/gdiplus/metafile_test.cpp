// WMF and EMF recognition: sizes and resolutions of Pillow's drawings against
// its reference renderings, plain and placeable headers built here, and
// damaged headers.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "platform/gdiplus/codecs/codecs.h"
#include "platform/gdiplus/factory.h"
#include "platform/gdiplus/image.h"
#include "support/test_support.h"

using namespace orrery::gdiplus;
using orrery::test::corpusPath;
using orrery::test::put16;
using orrery::test::put32;
using orrery::test::readFile;

namespace {

// Width and height of a PNG, from its IHDR chunk.
std::pair<int, int> pngSize(const std::vector<uint8_t>& png) {
    auto be32 = [&](size_t at) {
        return static_cast<int>(uint32_t{png[at]} << 24 | uint32_t{png[at + 1]} << 16 |
                                uint32_t{png[at + 2]} << 8 | png[at + 3]);
    };
    return {be32(16), be32(20)};
}

Status decodeWith(const Decoder& decoder, const std::vector<uint8_t>& bytes, std::unique_ptr<Image>& out) {
    Decoded d;
    Status s = decoder.decode(ByteSource::copyOf(bytes), DecodeOptions{}, d);
    if (s == Status::Ok) out = std::make_unique<Image>(std::move(d));
    return s;
}

// The nine-word WMF header.
void wmfHeader(std::vector<uint8_t>& f) {
    put16(f, 1);       // in memory
    put16(f, 9);       // header words
    put16(f, 0x0300);  // version
    put32(f, 0);       // file size in words (not checked)
    put16(f, 0);       // objects
    put32(f, 5);       // largest record
    put16(f, 0);
}

void record(std::vector<uint8_t>& f, uint16_t function, std::vector<uint16_t> params) {
    put32(f, static_cast<uint32_t>(3 + params.size()));
    put16(f, function);
    for (uint16_t p : params) put16(f, p);
}

std::vector<uint8_t> placeable(int16_t left, int16_t top, int16_t right, int16_t bottom, uint16_t inch) {
    std::vector<uint8_t> f;
    put32(f, 0x9AC6CDD7);
    put16(f, 0);
    for (int16_t v : {left, top, right, bottom}) put16(f, static_cast<uint16_t>(v));
    put16(f, inch);
    put32(f, 0);
    put16(f, 0);  // checksum (not checked)
    wmfHeader(f);
    record(f, 0, {});
    return f;
}

// An EMF header record of 108 bytes.
std::vector<uint8_t> emfHeader(int32_t frameRight, int32_t frameBottom, int32_t devW, int32_t devH,
                               int32_t mmW, int32_t mmH) {
    std::vector<uint8_t> f;
    put32(f, 1);
    put32(f, 108);
    for (int32_t v : {0, 0, 99, 49}) put32(f, static_cast<uint32_t>(v));  // bounds
    for (int32_t v : {0, 0, frameRight, frameBottom}) put32(f, static_cast<uint32_t>(v));
    put32(f, 0x464D4520);
    put32(f, 0x10000);
    put32(f, 108);  // bytes
    put32(f, 1);    // records
    put16(f, 0);
    put16(f, 0);
    put32(f, 0);
    put32(f, 0);
    put32(f, 0);
    for (int32_t v : {devW, devH, mmW, mmH}) put32(f, static_cast<uint32_t>(v));
    put32(f, 0);
    put32(f, 0);
    put32(f, 0);
    put32(f, static_cast<uint32_t>(mmW * 1000));
    put32(f, static_cast<uint32_t>(mmH * 1000));
    return f;
}

TEST(Metafile, PillowDrawingsHaveTheReferenceSizes) {
    ORRERY_REQUIRE_CORPUS();
    std::unique_ptr<Image> wmf;
    ASSERT_EQ(loadImageFromBytes(ByteSource::copyOf(readFile(corpusPath("pillow/drawing.wmf"))), {}, wmf),
              Status::Ok);
    EXPECT_EQ(wmf->type(), ImageType::Metafile);
    EXPECT_EQ(wmf->rawFormat(), ImageFormat::WMF);
    EXPECT_EQ(wmf->pixelFormat(), PixelFormat32bppRGB);
    EXPECT_TRUE(wmf->flags() & ImageFlagsScalable);
    EXPECT_EQ(wmf->bytesHeld(), 0u);
    // The references are rendered at 72 and 144 dpi.
    for (auto [file, dpi] : {std::pair{"pillow/drawing_wmf_ref.png", 72.0},
                             std::pair{"pillow/drawing_wmf_ref_144.png", 144.0}}) {
        auto [w, h] = pngSize(readFile(corpusPath(file)));
        EXPECT_NEAR(wmf->width() * dpi / wmf->horizontalResolution(), w, 1.0) << file;
        EXPECT_NEAR(wmf->height() * dpi / wmf->verticalResolution(), h, 1.0) << file;
    }

    std::unique_ptr<Image> emf;
    ASSERT_EQ(loadImageFromBytes(ByteSource::copyOf(readFile(corpusPath("pillow/drawing.emf"))), {}, emf),
              Status::Ok);
    EXPECT_EQ(emf->rawFormat(), ImageFormat::EMF);
    EXPECT_EQ(emf->pixelFormat(), PixelFormat32bppRGB);
    EXPECT_NEAR(emf->horizontalResolution(), 1200, 0.5);
    auto [w, h] = pngSize(readFile(corpusPath("pillow/drawing_emf_ref_72_144.png")));
    EXPECT_NEAR(emf->width() * 72.0 / emf->horizontalResolution(), w, 1.0);
    EXPECT_NEAR(emf->height() * 144.0 / emf->verticalResolution(), h, 1.0);
    // A metafile cannot be selected into other frames or locked as pixels.
    uint32_t frames = 0;
    EXPECT_EQ(emf->frameCount(FrameDimension::Page, frames), Status::Ok);
    EXPECT_EQ(frames, 1u);
}

TEST(Metafile, PlaceableHeaderGivesPixelsAt96Dpi) {
    std::unique_ptr<Image> image;
    ASSERT_EQ(decodeWith(codecs::wmfDecoder(), placeable(-100, 0, 1340, 720, 1440), image), Status::Ok);
    EXPECT_EQ(image->width(), 96);   // 1440 units = 1 inch
    EXPECT_EQ(image->height(), 48);  // 720 units = half an inch
    EXPECT_FLOAT_EQ(image->horizontalResolution(), 96);
    EXPECT_EQ(decodeWith(codecs::wmfDecoder(), placeable(0, 0, 100, 100, 0), image), Status::InvalidParameter);
    EXPECT_EQ(decodeWith(codecs::wmfDecoder(), placeable(0, 0, 0, 100, 1440), image), Status::InvalidParameter);
    std::vector<uint8_t> cut = placeable(0, 0, 100, 100, 1440);
    cut.resize(30);
    EXPECT_EQ(decodeWith(codecs::wmfDecoder(), cut, image), Status::InvalidParameter);
}

TEST(Metafile, PlainWmfTakesItsWindowExtent) {
    std::vector<uint8_t> f;
    wmfHeader(f);
    record(f, 0x0103, {8});         // SetMapMode
    record(f, 0x020C, {240, 320});  // SetWindowExt: height, width
    record(f, 0, {});
    std::unique_ptr<Image> image;
    ASSERT_TRUE(codecs::wmfDecoder().sniff(f));
    ASSERT_EQ(decodeWith(codecs::wmfDecoder(), f, image), Status::Ok);
    EXPECT_EQ(image->width(), 320);
    EXPECT_EQ(image->height(), 240);

    // Without a window extent the size cannot be known.
    std::vector<uint8_t> bare;
    wmfHeader(bare);
    record(bare, 0x0103, {8});
    record(bare, 0, {});
    EXPECT_EQ(decodeWith(codecs::wmfDecoder(), bare, image), Status::InvalidParameter);
    // A record claiming more words than the file holds ends the walk.
    std::vector<uint8_t> lying;
    wmfHeader(lying);
    put32(lying, 0x7FFFFFFF);
    put16(lying, 0x0103);
    EXPECT_EQ(decodeWith(codecs::wmfDecoder(), lying, image), Status::InvalidParameter);
}

TEST(Metafile, EmfFrameAndReferenceDeviceGiveSizeAndResolution) {
    // A 96-dpi device: 1024 x 768 pixels on 270.93 x 203.2 mm; a frame of 50.8 x 25.4 mm.
    std::vector<uint8_t> f = emfHeader(5080, 2540, 1024, 768, 270, 203);
    std::unique_ptr<Image> image;
    ASSERT_TRUE(codecs::emfDecoder().sniff(f));
    ASSERT_EQ(decodeWith(codecs::emfDecoder(), f, image), Status::Ok);
    double dpiX = 1024 * 25.4 / 270, dpiY = 768 * 25.4 / 203;
    EXPECT_NEAR(image->horizontalResolution(), dpiX, 0.01);
    EXPECT_NEAR(image->verticalResolution(), dpiY, 0.01);
    EXPECT_EQ(image->width(), static_cast<int>(std::lround(2 * dpiX)));
    EXPECT_EQ(image->height(), static_cast<int>(std::lround(dpiY)));

    // An empty frame: the bounds (device pixels) measure the picture.
    ASSERT_EQ(decodeWith(codecs::emfDecoder(), emfHeader(0, 0, 1024, 768, 270, 203), image), Status::Ok);
    EXPECT_EQ(image->width(), 99);
    EXPECT_EQ(image->height(), 49);
    // Damaged device sizes and truncated headers.
    EXPECT_EQ(decodeWith(codecs::emfDecoder(), emfHeader(5080, 2540, 1000000, 768, 1, 203), image),
              Status::InvalidParameter);
    std::vector<uint8_t> cut = f;
    cut.resize(60);
    EXPECT_EQ(decodeWith(codecs::emfDecoder(), cut, image), Status::InvalidParameter);
}

TEST(Metafile, SniffingAndCodecInfo) {
    std::vector<uint8_t> emf = emfHeader(100, 100, 10, 10, 10, 10);
    EXPECT_TRUE(codecs::emfDecoder().sniff(emf));
    EXPECT_FALSE(codecs::wmfDecoder().sniff(emf));
    emf[40] = 'X';
    EXPECT_FALSE(codecs::emfDecoder().sniff(emf));
    std::vector<uint8_t> wmf = placeable(0, 0, 10, 10, 96);
    EXPECT_TRUE(codecs::wmfDecoder().sniff(wmf));
    EXPECT_FALSE(codecs::emfDecoder().sniff(wmf));
    EXPECT_FALSE(codecs::wmfDecoder().sniff(std::vector<uint8_t>{1, 0, 9, 0, 0, 2}));

    const CodecInfo& w = codecs::wmfDecoder().info();
    EXPECT_EQ(w.clsid, CodecClsid::WMF);
    EXPECT_EQ(w.formatId, ImageFormat::WMF);
    EXPECT_EQ(w.codecName, "Built-in WMF Codec");
    EXPECT_EQ(w.filenameExtension, "*.WMF");
    EXPECT_EQ(w.mimeType, "image/x-wmf");
    EXPECT_EQ(w.flags, CodecFlagsDecoder | CodecFlagsSupportVector | CodecFlagsBuiltin);
    const CodecInfo& e = codecs::emfDecoder().info();
    EXPECT_EQ(e.clsid, CodecClsid::EMF);
    EXPECT_EQ(e.codecName, "Built-in EMF Codec");
    EXPECT_EQ(e.formatDescription, "EMF");
    EXPECT_EQ(e.mimeType, "image/x-emf");
}

}  // namespace
