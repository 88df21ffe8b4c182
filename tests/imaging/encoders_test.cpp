// The encoder map and the two save operations of the image store.
#include <gtest/gtest.h>

#include <memory>

#include "imaging/encoders.h"
#include "platform/gdiplus/factory.h"

using namespace orrery;
using namespace orrery::gdiplus;

namespace {

std::unique_ptr<Image> picture(PixelFormat format) {
    std::unique_ptr<Image> image;
    EXPECT_EQ(createBitmapFromScan0(8, 4, 0, format, nullptr, image), Status::Ok);
    return image;
}

std::unique_ptr<Image> decode(const ByteSink& bytes) {
    std::unique_ptr<Image> image;
    EXPECT_EQ(loadImageFromBytes(ByteSource::fromVector(bytes), {}, image), Status::Ok);
    return image;
}

uint32_t tiffCompression(const Image& image) {
    PropertyItem item;
    if (image.getPropertyItem(0x0103, item) != Status::Ok || item.value.size() < 2) return 0;
    return item.value[0] | item.value[1] << 8;
}

}  // namespace

TEST(EncodersTest, PatternsAreFoundWithoutRegardToCase) {
    imaging::ReadEncoders();
    ASSERT_NE(imaging::FindEncoder("*.png"), nullptr);
    EXPECT_EQ(imaging::FindEncoder("*.PNG"), imaging::FindEncoder("*.png"));
    EXPECT_EQ(imaging::FindEncoder("*.tiff"), imaging::FindEncoder("*.TIF"));
    EXPECT_NE(imaging::FindEncoder("*.tif"), imaging::FindEncoder("*.png"));
    EXPECT_EQ(imaging::FindEncoder("*.xyz"), nullptr);
    EXPECT_EQ(imaging::FindEncoder("png"), nullptr);
}

TEST(EncodersTest, BilevelCompressionsBecomeLzwForDeeperPictures) {
    // 24 bits with CCITT4 asked: the encoder would refuse it, LZW is written.
    auto colour = picture(PixelFormat24bppRGB);
    ByteSink bytes;
    ASSERT_EQ(imaging::SaveTiff(*colour, EncoderValueCompressionCCITT4, 0, bytes), 0);
    auto back = decode(bytes);
    EXPECT_EQ(back->pixelFormat(), PixelFormat24bppRGB);
    EXPECT_EQ(tiffCompression(*back), 5u);  // LZW
    // A 1-bit picture keeps its fax compression.
    auto bilevel = picture(PixelFormat1bppIndexed);
    bytes.clear();
    ASSERT_EQ(imaging::SaveTiff(*bilevel, EncoderValueCompressionCCITT4, 0, bytes), 0);
    EXPECT_EQ(tiffCompression(*decode(bytes)), 4u);  // CCITT T.6

    bytes.clear();
    ASSERT_EQ(imaging::SavePng(*colour, bytes), 0);
    ASSERT_GE(bytes.size(), 8u);
    EXPECT_EQ(bytes[1], 'P');
}
