// The worker protocol's records and picture files: what one side writes the
// other reads back, and every record or picture that is cut short, padded,
// or describes rows, palettes or sizes it does not hold is refused.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstring>

#include "imaging/worker_wire.h"
#include "platform/gdiplus/image.h"
#include "platform/gdiplus/pixel_data.h"

using namespace orrery::imaging;
namespace gp = orrery::gdiplus;

namespace {

// No record decodes from fewer bytes than were written.
template <typename Record>
void expectCutRecordsRefused(const std::vector<uint8_t>& bytes) {
    Record record;
    for (size_t n = 0; n < bytes.size(); ++n) EXPECT_FALSE(wire::decode(std::span(bytes.data(), n), record)) << n;
}

TEST(WorkerWire, RecordsRoundTripAndAnythingElseIsRefused) {
    wire::Request request;
    request.op = wire::Op::Page;
    request.format = 18;
    request.index = 41;
    request.container = 7;
    request.useIcm = true;
    request.allocationLimit = 123456789;
    request.path = "/some/picture.tga";
    const std::vector<uint8_t> bytes = wire::encode(request);
    wire::Request back;
    ASSERT_TRUE(wire::decode(bytes, back));
    EXPECT_EQ(back.op, wire::Op::Page);
    EXPECT_EQ(back.format, 18);
    EXPECT_EQ(back.index, 41);
    EXPECT_EQ(back.container, 7u);
    EXPECT_TRUE(back.useIcm);
    EXPECT_EQ(back.allocationLimit, 123456789u);
    EXPECT_EQ(back.path, request.path);
    // Every shorter record, a longer one, an unknown operation.
    expectCutRecordsRefused<wire::Request>(bytes);
    std::vector<uint8_t> longer = bytes;
    longer.push_back(0);
    EXPECT_FALSE(wire::decode(longer, back));
    std::vector<uint8_t> unknown = bytes;
    unknown[4] = 99;
    EXPECT_FALSE(wire::decode(unknown, back));

    wire::Reply reply;
    reply.answer = wire::Answer::Container;
    reply.status = 0;
    reply.value = 50;
    reply.container = 3;
    reply.pixels = 1ull << 40;
    reply.text = "3.18.0.0";
    const std::vector<uint8_t> replyBytes = wire::encode(reply);
    wire::Reply got;
    ASSERT_TRUE(wire::decode(replyBytes, got));
    EXPECT_EQ(got.answer, wire::Answer::Container);
    EXPECT_EQ(got.value, 50);
    EXPECT_EQ(got.container, 3u);
    EXPECT_EQ(got.pixels, 1ull << 40);
    EXPECT_EQ(got.text, "3.18.0.0");
    expectCutRecordsRefused<wire::Reply>(replyBytes);
    // A request is no reply, and a text length beyond the record fails.
    EXPECT_FALSE(wire::decode(bytes, got));
    std::vector<uint8_t> lying = replyBytes;
    lying[28] = 0xFF;  // the text's length
    EXPECT_FALSE(wire::decode(lying, got));
}

// The bytes of a picture file made from a 5 x 3 indexed image with a
// property and an IPTC tag.
std::vector<uint8_t> pictureBytes() {
    gp::PixelData pixels;
    EXPECT_EQ(gp::PixelData::allocate(5, 3, gp::PixelFormat8bppIndexed, pixels), gp::Status::Ok);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 5; ++x) pixels.row(y)[x] = static_cast<uint8_t>(10 * y + x);
    gp::Palette palette;
    for (uint32_t i = 0; i < 256; ++i) palette.entries.push_back(0xFF000000u | i * 0x010101u);
    auto image = gp::Image::fromPixels(std::move(pixels), palette);
    image->setResolution(300, 150);
    gp::PropertyItem item;
    item.id = 0x010F;
    item.type = 2;
    item.value = {'M', 'a', 'k', 'e', 0};
    image->setPropertyItem(item);
    PluginMetadataTag tag;
    tag.id = 0x0205;
    tag.type = 2;
    tag.count = 3;
    tag.length = 3;
    tag.value = {'a', 'b', 'c'};
    orrery::kernel::UniqueFd fd;
    EXPECT_TRUE(wire::writePicture(*image, {tag}, true, "TIFF", fd));
    std::vector<uint8_t> bytes(static_cast<size_t>(::lseek(fd.get(), 0, SEEK_END)));
    EXPECT_EQ(::pread(fd.get(), bytes.data(), bytes.size(), 0), static_cast<ssize_t>(bytes.size()));
    return bytes;
}

TEST(WorkerWire, PictureFileCarriesPixelsAndFacts) {
    const std::vector<uint8_t> bytes = pictureBytes();
    wire::Picture p;
    ASSERT_TRUE(wire::readPicture(bytes.data(), bytes.size(), p));
    EXPECT_EQ(p.width, 5);
    EXPECT_EQ(p.height, 3);
    EXPECT_EQ(p.format, gp::PixelFormat8bppIndexed);
    EXPECT_EQ(p.stride, 8u);
    EXPECT_EQ(p.pixelOffset % 4096, 0u);
    EXPECT_EQ(bytes[p.pixelOffset + 2 * p.stride + 4], 24) << "row 2, column 4";
    ASSERT_EQ(p.palette.entries.size(), 256u);
    EXPECT_EQ(p.palette.entries[200], 0xFFC8C8C8u);
    EXPECT_FLOAT_EQ(p.dpiX, 300);
    EXPECT_FLOAT_EQ(p.dpiY, 150);
    ASSERT_EQ(p.properties.size(), 1u);
    EXPECT_EQ(p.properties[0].id, 0x010Fu);
    EXPECT_EQ(p.properties[0].value.size(), 5u);
    ASSERT_EQ(p.iptc.size(), 1u);
    EXPECT_EQ(p.iptc[0].id, 0x0205);
    EXPECT_EQ(p.iptc[0].count, 3u);
    EXPECT_EQ(p.iptc[0].value, (std::vector<uint8_t>{'a', 'b', 'c'}));
    EXPECT_TRUE(p.modified);
    EXPECT_EQ(p.formatName, "TIFF");
}

TEST(WorkerWire, PicturesThatDoNotHoldWhatTheySayAreRefused) {
    const std::vector<uint8_t> good = pictureBytes();
    wire::Picture p;
    const auto refused = [&](std::vector<uint8_t> bytes, const char* what) {
        EXPECT_FALSE(wire::readPicture(bytes.data(), bytes.size(), p)) << what;
    };
    const auto with = [&](size_t offset, const void* value, size_t n) {
        std::vector<uint8_t> bytes = good;
        std::memcpy(bytes.data() + offset, value, n);
        return bytes;
    };
    // The last row is cut off.
    refused(std::vector<uint8_t>(good.begin(), good.end() - 1), "short rows");
    // Description cut anywhere.
    for (size_t n : {size_t{0}, size_t{3}, size_t{20}, size_t{40}, size_t{1100}}) {
        std::vector<uint8_t> cut(good.begin(), good.begin() + static_cast<ptrdiff_t>(n));
        refused(cut, "cut description");
    }
    const int32_t huge = 0x7FFFFFFF, zero = 0, negative = -5;
    refused(with(4, &huge, 4), "width beyond the allocation limit");
    refused(with(4, &zero, 4), "no width");
    refused(with(8, &negative, 4), "negative height");
    const uint32_t tall = 4;
    refused(with(8, &tall, 4), "more rows than the file holds");
    const uint32_t notAFormat = 0x12345;
    refused(with(12, &notAFormat, 4), "unknown pixel format");
    const uint32_t rgb24 = gp::PixelFormat24bppRGB;
    refused(with(12, &rgb24, 4), "a palette on a direct-colour picture, rows too short");
    const uint64_t narrow = 4, unaligned = 9;
    refused(with(16, &narrow, 8), "stride below a row");
    refused(with(16, &unaligned, 8), "stride not a multiple of 4");
    const uint32_t manyColours = 257;
    refused(with(36, &manyColours, 4), "palette beyond 256 entries");
    // The pixel offset is the last 8 bytes of the description, just before
    // the page it names.
    wire::Picture ok;
    ASSERT_TRUE(wire::readPicture(good.data(), good.size(), ok));
    size_t descriptionEnd = 0;
    for (size_t i = 0; i + 8 <= ok.pixelOffset; ++i) {
        uint64_t v = 0;
        std::memcpy(&v, good.data() + i, 8);
        if (v == ok.pixelOffset) descriptionEnd = i + 8;
    }
    ASSERT_GT(descriptionEnd, 0u);
    const uint64_t inside = 64, off = ok.pixelOffset + 1, beyond = good.size() + 4096;
    refused(with(descriptionEnd - 8, &inside, 8), "pixels over the description");
    refused(with(descriptionEnd - 8, &off, 8), "pixels not page-aligned");
    refused(with(descriptionEnd - 8, &beyond, 8), "pixels beyond the file");
}

}  // namespace
