#include "platform/gdiplus/factory.h"

#include <gtest/gtest.h>

#include "platform/automation/stream.h"
#include "support/test_support.h"

using namespace orrery::gdiplus;
using orrery::automation::MemoryStream;

TEST(Factory, FileErrorsAreStatuses) {
    orrery::test::TempDir dir;
    std::unique_ptr<Image> image;
    EXPECT_EQ(loadImageFromFile(dir.file("missing.png").string(), {}, image), Status::FileNotFound);
    orrery::test::writeFile(dir.file("text.bmp"), {'n', 'o', 't', ' ', 'a', 'n', ' ', 'i', 'm', 'a', 'g', 'e'});
    EXPECT_EQ(loadImageFromFile(dir.file("text.bmp").string(), {}, image), Status::UnknownImageFormat);
    orrery::test::writeFile(dir.file("empty"), {});
    EXPECT_EQ(loadImageFromFile(dir.file("empty").string(), {}, image), Status::UnknownImageFormat);
    EXPECT_EQ(image, nullptr);
}

TEST(Factory, EncodersAreListedAsThePlatformListsThem) {
    struct Expected {
        Guid clsid;
        const char* description;
        const char* extensions;
        const char* mime;
    } expected[] = {
        {CodecClsid::BMP, "BMP", "*.BMP;*.DIB;*.RLE", "image/bmp"},
        {CodecClsid::JPEG, "JPEG", "*.JPG;*.JPEG;*.JPE;*.JFIF", "image/jpeg"},
        {CodecClsid::GIF, "GIF", "*.GIF", "image/gif"},
        {CodecClsid::TIFF, "TIFF", "*.TIF;*.TIFF", "image/tiff"},
        {CodecClsid::PNG, "PNG", "*.PNG", "image/png"},
    };
    for (const Expected& e : expected) {
        const Encoder* encoder = findEncoder(e.clsid);
        ASSERT_NE(encoder, nullptr) << e.description;
        EXPECT_EQ(encoder->info().formatDescription, e.description);
        EXPECT_EQ(encoder->info().filenameExtension, e.extensions);
        EXPECT_EQ(encoder->info().mimeType, e.mime);
        EXPECT_TRUE(encoder->info().flags & CodecFlagsEncoder);
    }
    EXPECT_EQ(encoders().size(), 5u);
    EXPECT_EQ(findEncoderForPath("/a/b.Jpe"), findEncoder(CodecClsid::JPEG));
    EXPECT_EQ(findEncoderForPath("x.tiff"), findEncoder(CodecClsid::TIFF));
    EXPECT_EQ(findEncoderForPath("x.ico"), nullptr);
    EXPECT_EQ(findEncoderForPath("dir.png/file"), nullptr);
    EXPECT_EQ(rawFormatDescription(ImageFormat::MemoryBMP), "MemoryBMP");
    EXPECT_EQ(rawFormatDescription(ImageFormat::TIFF), "TIFF");
    EXPECT_EQ(rawFormatDescription(ImageFormat::Undefined), "Undefined");
}

TEST(Factory, StreamsRoundTripThroughEveryEncoder) {
    std::unique_ptr<Image> image;
    ASSERT_EQ(createBitmapFromScan0(7, 5, 0, PixelFormat24bppRGB, nullptr, image), Status::Ok);
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 7; ++x) image->setPixel(x, y, (x + y) % 2 ? 0xFFFFFFFF : 0xFF000000);
    for (const Encoder* encoder : encoders()) {
        MemoryStream stream;
        ASSERT_EQ(saveImageToStream(*image, stream, encoder->info().clsid, {}), Status::Ok)
            << encoder->info().formatDescription;
        stream.Seek(0, orrery::automation::SeekOrigin::Set, nullptr);
        std::unique_ptr<Image> back;
        ASSERT_EQ(loadImageFromStream(stream, {}, back), Status::Ok) << encoder->info().formatDescription;
        EXPECT_EQ(back->rawFormat(), encoder->info().formatId);
        EXPECT_EQ(back->width(), 7);
        EXPECT_EQ(back->height(), 5);
        ARGB c;
        back->getPixel(1, 0, c);
        EXPECT_GT(c & 0xff, 0xc0u) << encoder->info().formatDescription;
    }
    MemoryStream stream;
    EXPECT_EQ(saveImageToStream(*image, stream, CodecClsid::ICO, {}), Status::UnknownImageFormat);
}
