// Tag directories: hand-built little- and big-endian blobs, hostile offsets
// and counts, the thumbnail directory, and writing then reading back.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <iterator>

#include "platform/gdiplus/exif_ifd.h"

namespace orrery::gdiplus {
namespace {

// An element of a TIFF value and the number of bytes it takes.
struct Entry {
    uint16_t tag;
    uint16_t type;
    std::vector<uint64_t> elements;  // rationals: numerator and denominator as two elements
};

size_t elementSize(uint16_t type) {
    switch (type) {
        case 3: case 8: return 2;
        case 4: case 5: case 9: case 10: case 11: case 13: return 4;
        case 12: return 8;
        default: return 1;
    }
}

uint32_t countOf(const Entry& e) {
    auto n = static_cast<uint32_t>(e.elements.size());
    return (e.type == 5 || e.type == 10) ? n / 2 : n;
}

// Writes TIFF data in either byte order, so the same test builds both.
class TiffWriter {
public:
    explicit TiffWriter(bool big) : big_(big) {
        if (big) bytes = {'M', 'M', 0, 42};
        else bytes = {'I', 'I', 42, 0};
        put(8, 4);
    }
    void put(uint64_t v, size_t n) {
        for (size_t i = 0; i < n; ++i)
            bytes.push_back(static_cast<uint8_t>(v >> (8 * (big_ ? n - 1 - i : i))));
    }
    void patch(size_t at, uint64_t v, size_t n) {
        for (size_t i = 0; i < n; ++i)
            bytes[at + i] = static_cast<uint8_t>(v >> (8 * (big_ ? n - 1 - i : i)));
    }
    // Appends a directory and its out-of-line values; returns its offset.
    size_t directory(const std::vector<Entry>& entries, uint32_t next = 0) {
        size_t at = bytes.size();
        put(entries.size(), 2);
        std::vector<std::pair<size_t, const Entry*>> later;
        for (const Entry& e : entries) {
            put(e.tag, 2);
            put(e.type, 2);
            put(countOf(e), 4);
            size_t length = e.elements.size() * elementSize(e.type);
            if (length <= 4) {
                size_t field = bytes.size();
                for (uint64_t v : e.elements) put(v, elementSize(e.type));
                bytes.resize(field + 4, 0);
            } else {
                later.emplace_back(bytes.size(), &e);
                put(0, 4);
            }
        }
        put(next, 4);
        for (auto [field, e] : later) {
            patch(field, bytes.size(), 4);
            for (uint64_t v : e->elements) put(v, elementSize(e->type));
        }
        return at;
    }
    // Offset of the value field of entry `index` of the directory at `dir`.
    static size_t valueField(size_t dir, size_t index) { return dir + 2 + 12 * index + 8; }

    std::vector<uint8_t> bytes;

private:
    bool big_;
};

// An APP1 EXIF block: the "Exif" marker and its two zero bytes, then the TIFF
// data. Sized once and filled, so no growth path is involved.
std::vector<uint8_t> exifBlock(const TiffWriter& w) {
    static constexpr uint8_t marker[] = {'E', 'x', 'i', 'f', 0, 0};
    std::vector<uint8_t> app1(sizeof marker + w.bytes.size());
    std::copy(std::begin(marker), std::end(marker), app1.begin());
    std::copy(w.bytes.begin(), w.bytes.end(), app1.begin() + sizeof marker);
    return app1;
}

std::vector<uint8_t> le(const std::vector<uint64_t>& elements, size_t size) {
    std::vector<uint8_t> out;
    for (uint64_t v : elements)
        for (size_t i = 0; i < size; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
    return out;
}

const PropertyItem* find(const std::vector<PropertyItem>& items, uint32_t id) {
    for (const auto& item : items)
        if (item.id == id) return &item;
    return nullptr;
}

uint64_t doubleBits(double d) {
    uint64_t v;
    std::memcpy(&v, &d, 8);
    return v;
}

std::vector<Entry> everyType() {
    return {
        {0x0100, 3, {640}},                          // SHORT, inline
        {0x0101, 4, {480}},                          // LONG
        {0x010F, 2, {'A', 'c', 'm', 'e', '1', 0}},   // ASCII, out of line
        {0x011A, 5, {300, 1}},                       // RATIONAL
        {0x0102, 1, {8, 8, 8}},                      // BYTE x3
        {0x9001, 6, {0xFE}},                         // SBYTE -> Byte
        {0x9002, 7, {1, 2, 3, 4, 5}},                // UNDEFINED
        {0x9003, 8, {0xFFFE, 7}},                    // SSHORT -> Short
        {0x9004, 9, {0xFFFFFFF0}},                   // SLONG
        {0x9005, 10, {0xFFFFFFFF, 3}},               // SRATIONAL -1/3
        {0x9006, 11, {0x3FC00000}},                  // FLOAT 1.5 -> Undefined
        {0x9007, 12, {doubleBits(2.25)}},            // DOUBLE -> Undefined
    };
}

class ByteOrder : public ::testing::TestWithParam<bool> {};

TEST_P(ByteOrder, EveryTypeBecomesLittleEndianItemsOfThePlatformTypes) {
    TiffWriter w(GetParam());
    w.directory(everyType());
    std::vector<PropertyItem> items;
    ASSERT_EQ(readTiffDirectory(w.bytes, 8, items), Status::Ok);
    ASSERT_EQ(items.size(), 12u);
    EXPECT_EQ(items[0], (PropertyItem{0x0100, PropertyTagTypeShort, le({640}, 2)}));
    EXPECT_EQ(items[1], (PropertyItem{0x0101, PropertyTagTypeLong, le({480}, 4)}));
    EXPECT_EQ(items[2], PropertyItem::fromAscii(0x010F, "Acme1"));
    EXPECT_EQ(items[3], PropertyItem::fromRational(0x011A, 300, 1));
    EXPECT_EQ(items[4], (PropertyItem{0x0102, PropertyTagTypeByte, {8, 8, 8}}));
    EXPECT_EQ(items[5], (PropertyItem{0x9001, PropertyTagTypeByte, {0xFE}}));
    EXPECT_EQ(items[6], (PropertyItem{0x9002, PropertyTagTypeUndefined, {1, 2, 3, 4, 5}}));
    EXPECT_EQ(items[7], (PropertyItem{0x9003, PropertyTagTypeShort, le({0xFFFE, 7}, 2)}));
    EXPECT_EQ(items[8], (PropertyItem{0x9004, PropertyTagTypeSLONG, le({0xFFFFFFF0}, 4)}));
    EXPECT_EQ(items[9], (PropertyItem{0x9005, PropertyTagTypeSRational, le({0xFFFFFFFF, 3}, 4)}));
    EXPECT_EQ(items[10], (PropertyItem{0x9006, PropertyTagTypeUndefined, le({0x3FC00000}, 4)}));
    EXPECT_EQ(items[11], (PropertyItem{0x9007, PropertyTagTypeUndefined, le({doubleBits(2.25)}, 8)}));
}

TEST_P(ByteOrder, FollowsExifGpsAndInteropDirectoriesKeepingThePointers) {
    TiffWriter w(GetParam());
    size_t ifd0 = w.directory({{0x0112, 3, {6}}, {0x8769, 4, {0}}, {0x8825, 4, {0}}});
    size_t exif = w.directory({{0x9000, 7, {'0', '2', '3', '0'}}, {0xA005, 4, {0}}});
    size_t gps = w.directory({{0x0000, 1, {2, 2, 0, 0}}, {0x0001, 2, {'N', 0}}});
    size_t interop = w.directory({{0x0001, 2, {'R', '9', '8', 0}}, {0x0002, 7, {'0', '1', '0', '0'}}});
    w.patch(TiffWriter::valueField(ifd0, 1), exif, 4);
    w.patch(TiffWriter::valueField(ifd0, 2), gps, 4);
    w.patch(TiffWriter::valueField(exif, 1), interop, 4);

    std::vector<PropertyItem> items;
    ASSERT_EQ(readTiffDirectory(w.bytes, ifd0, items), Status::Ok);
    ASSERT_NE(find(items, PropertyTagOrientation), nullptr);
    EXPECT_EQ(find(items, PropertyTagOrientation)->value, le({6}, 2));
    ASSERT_NE(find(items, PropertyTagExifIFD), nullptr);
    EXPECT_EQ(find(items, PropertyTagExifIFD)->value, le({exif}, 4));
    ASSERT_NE(find(items, PropertyTagGpsIFD), nullptr);
    ASSERT_NE(find(items, 0xA005), nullptr);
    ASSERT_NE(find(items, 0x9000), nullptr);
    EXPECT_EQ(find(items, 0x0000)->value, (std::vector<uint8_t>{2, 2, 0, 0}));
    // GPS and interoperability share tag numbers: the first one read stays.
    EXPECT_EQ(find(items, 0x0001)->value, (std::vector<uint8_t>{'N', 0}));
    ASSERT_NE(find(items, 0x0002), nullptr);
    EXPECT_EQ(find(items, 0x0002)->type, PropertyTagTypeUndefined);
}

INSTANTIATE_TEST_SUITE_P(Tiff, ByteOrder, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "BigEndian" : "LittleEndian"; });

TEST(TiffDirectory, LoopsAreReadOnce) {
    TiffWriter w(false);
    // IFD0 points at itself as EXIF directory and as GPS directory; the EXIF
    // directory it would reach names IFD0 again.
    size_t ifd0 = w.directory({{0x0112, 3, {1}}, {0x8769, 4, {8}}, {0x8825, 4, {8}}}, 8);
    std::vector<PropertyItem> items;
    ASSERT_EQ(readTiffDirectory(w.bytes, ifd0, items), Status::Ok);
    EXPECT_EQ(items.size(), 3u);

    // The thumbnail chain loops back to IFD0.
    items.clear();
    ASSERT_EQ(readExifBlock(exifBlock(w), items), Status::Ok);
    EXPECT_EQ(items.size(), 3u);
}

TEST(TiffDirectory, OutOfRangeOffsetsAndHugeCountsSkipOnlyTheirEntry) {
    TiffWriter w(true);
    size_t ifd0 = w.directory({
        {0x010E, 2, {'a', 'b', 'c', 'd', 'e', 'f', 'g', 0}},  // offset patched out of range
        {0x0111, 4, {1}},                                    // count patched to 0xFFFFFFFF
        {0x011A, 5, {72, 1}},                                // count patched to 2^30 rationals
        {0x8769, 4, {0}},                                    // EXIF pointer past the end
        {0x0112, 3, {3}},                                    // intact
        {0x0113, 99, {1}},                                   // unknown type
    });
    w.patch(TiffWriter::valueField(ifd0, 0), 0xFFFFFFF0u, 4);
    w.patch(TiffWriter::valueField(ifd0, 1) - 4, 0xFFFFFFFFu, 4);
    w.patch(TiffWriter::valueField(ifd0, 2) - 4, 0x40000000u, 4);
    w.patch(TiffWriter::valueField(ifd0, 3), 0x7FFFFFFFu, 4);
    std::vector<PropertyItem> items;
    ASSERT_EQ(readTiffDirectory(w.bytes, ifd0, items), Status::Ok);
    ASSERT_EQ(items.size(), 2u);
    EXPECT_EQ(items[0].id, PropertyTagExifIFD);
    EXPECT_EQ(items[1], PropertyItem::fromShorts(PropertyTagOrientation, {3}));

    // A directory offset beyond the data, and one that starts in the last byte.
    items.clear();
    EXPECT_EQ(readTiffDirectory(w.bytes, uint64_t(1) << 40, items), Status::Ok);
    EXPECT_EQ(readTiffDirectory(w.bytes, w.bytes.size() - 1, items), Status::Ok);
    EXPECT_TRUE(items.empty());
}

TEST(TiffDirectory, EntryCountIsCappedAndTruncatedDirectoriesStop) {
    TiffWriter w(false);
    std::vector<Entry> many;
    for (uint16_t i = 0; i < 1500; ++i) many.push_back({static_cast<uint16_t>(0x1000 + i), 3, {i}});
    size_t ifd0 = w.directory(many);
    std::vector<PropertyItem> items;
    ASSERT_EQ(readTiffDirectory(w.bytes, ifd0, items), Status::Ok);
    EXPECT_EQ(items.size(), 1000u);

    // The directory claims 65535 entries but the data ends after three.
    TiffWriter t(false);
    t.directory({{0x0100, 3, {1}}, {0x0101, 3, {2}}, {0x0102, 3, {3}}});
    t.patch(8, 0xFFFF, 2);
    t.bytes.resize(8 + 2 + 3 * 12);
    items.clear();
    ASSERT_EQ(readTiffDirectory(t.bytes, 8, items), Status::Ok);
    EXPECT_EQ(items.size(), 3u);
}

TEST(TiffDirectory, RejectsDataWithoutATiffHeader) {
    std::vector<PropertyItem> items;
    std::vector<uint8_t> junk = {'I', 'I', 43, 0, 8, 0, 0, 0, 0, 0};
    EXPECT_EQ(readTiffDirectory(junk, 8, items), Status::InvalidParameter);
    EXPECT_EQ(readTiffDirectory({}, 8, items), Status::InvalidParameter);
    std::vector<uint8_t> notExif = {'X', 'x', 'i', 'f', 0, 0, 'I', 'I', 42, 0, 8, 0, 0, 0};
    EXPECT_EQ(readExifBlock(notExif, items), Status::InvalidParameter);
    std::vector<uint8_t> shortExif = {'E', 'x', 'i', 'f', 0, 0, 'I', 'I'};
    EXPECT_EQ(readExifBlock(shortExif, items), Status::InvalidParameter);
}

TEST(ExifBlock, ThumbnailDirectoryGetsThePlatformIdentifiers) {
    TiffWriter w(true);
    size_t ifd0 = w.directory({{0x0112, 3, {8}}, {0x011A, 5, {72, 1}}});
    size_t ifd1 = w.directory({
        {0x0103, 3, {6}},
        {0x011A, 5, {180, 1}},
        {0x011B, 5, {180, 1}},
        {0x0128, 3, {2}},
        {0x0201, 4, {0}},
        {0x0202, 4, {5}},
        {0x9999, 3, {1}},  // not a thumbnail tag of the platform
    });
    size_t thumb = w.bytes.size();
    for (uint8_t b : {0xFF, 0xD8, 0xFF, 0xD9, 0x42}) w.bytes.push_back(b);
    w.patch(ifd0 + 2 + 12 * 2, ifd1, 4);
    w.patch(TiffWriter::valueField(ifd1, 4), thumb, 4);

    std::vector<PropertyItem> items;
    ASSERT_EQ(readExifBlock(exifBlock(w), items), Status::Ok);
    EXPECT_EQ(find(items, PropertyTagXResolution)->value, le({72, 1}, 4));
    ASSERT_NE(find(items, 0x5023), nullptr);
    EXPECT_EQ(find(items, 0x5023)->value, le({6}, 2));
    EXPECT_EQ(find(items, 0x502D)->value, le({180, 1}, 4));
    EXPECT_NE(find(items, 0x502E), nullptr);
    EXPECT_NE(find(items, 0x5030), nullptr);
    ASSERT_NE(find(items, 0x501B), nullptr);
    EXPECT_EQ(find(items, 0x501B)->value, (std::vector<uint8_t>{0xFF, 0xD8, 0xFF, 0xD9, 0x42}));
    EXPECT_EQ(find(items, 0x9999), nullptr);
    // IFD1's compression must not overwrite IFD0 tags.
    EXPECT_EQ(find(items, 0x0103), nullptr);
}

TEST(ExifBlock, ThumbnailOutsideTheDataIsLeftOut) {
    TiffWriter w(false);
    size_t ifd0 = w.directory({{0x0112, 3, {1}}});
    size_t ifd1 = w.directory({{0x0201, 4, {0xFFFFFF00u}}, {0x0202, 4, {0x200}}});
    w.patch(ifd0 + 2 + 12, ifd1, 4);
    std::vector<PropertyItem> items;
    ASSERT_EQ(readExifBlock(exifBlock(w), items), Status::Ok);
    EXPECT_EQ(find(items, 0x501B), nullptr);
    EXPECT_NE(find(items, 0x0201), nullptr);
}

TEST(ExifBlock, WrittenBlockReadsBackIntoItsDirectories) {
    std::vector<PropertyItem> items = {
        PropertyItem::fromShorts(PropertyTagOrientation, {6}),
        PropertyItem::fromRational(PropertyTagXResolution, 300, 1),
        PropertyItem::fromAscii(0x010F, "Nikon1"),                    // 7 bytes: odd length
        PropertyItem::fromAscii(0x9003, "2020:01:02 03:04:05"),      // EXIF directory
        PropertyItem::fromRational(0x829A, 1, 250),                   // EXIF directory
        PropertyItem{0x0000, PropertyTagTypeByte, {2, 3, 0, 0}},      // GPS directory
        PropertyItem{0x0002, PropertyTagTypeRational, le({52, 1, 31, 1, 0, 1}, 4)},
        PropertyItem::fromShorts(PropertyTagFrameDelay, {10}),        // not an EXIF tag
        PropertyItem{0x501B, PropertyTagTypeByte, {0xFF, 0xD8}},      // thumbnail data
        PropertyItem::fromLongs(PropertyTagExifIFD, {12345}),          // recomputed
    };
    std::vector<uint8_t> block = writeExifBlock(items);
    ASSERT_GE(block.size(), 14u);
    EXPECT_EQ(std::memcmp(block.data(), "Exif\0\0II*\0", 10), 0);

    std::vector<PropertyItem> back;
    ASSERT_EQ(readExifBlock(block, back), Status::Ok);
    for (size_t i = 0; i < 7; ++i) {
        const PropertyItem* got = find(back, items[i].id);
        ASSERT_NE(got, nullptr) << std::hex << items[i].id;
        EXPECT_EQ(*got, items[i]);
    }
    EXPECT_EQ(find(back, PropertyTagFrameDelay), nullptr);
    EXPECT_EQ(find(back, 0x501B), nullptr);
    ASSERT_NE(find(back, PropertyTagExifIFD), nullptr);
    ASSERT_NE(find(back, PropertyTagGpsIFD), nullptr);
    EXPECT_NE(find(back, PropertyTagExifIFD)->value, le({12345}, 4));

    // Reading IFD0 alone must not show EXIF or GPS tags: they live in their
    // own directories.
    std::span<const uint8_t> tiff(block.data() + 6, block.size() - 6);
    uint32_t exifOffset = 0;
    std::memcpy(&exifOffset, find(back, PropertyTagExifIFD)->value.data(), 4);
    EXPECT_EQ(exifOffset % 2, 0u);
    ASSERT_LT(exifOffset + 2u, tiff.size());
    uint16_t exifEntries = static_cast<uint16_t>(tiff[exifOffset] | (tiff[exifOffset + 1] << 8));
    EXPECT_EQ(exifEntries, 2u);
}

TEST(ExifBlock, OutOfLineValuesStartOnWordBoundaries) {
    std::vector<PropertyItem> items = {
        PropertyItem::fromAscii(0x010E, "odd"),     // 4 bytes, inline
        PropertyItem::fromAscii(0x010F, "abcd"),    // 5 bytes
        PropertyItem::fromAscii(0x0110, "efghij"),  // 7 bytes
        PropertyItem::fromAscii(0x0131, "k1234"),   // 6 bytes
    };
    std::vector<uint8_t> block = writeExifBlock(items);
    std::span<const uint8_t> tiff(block.data() + 6, block.size() - 6);
    uint16_t n = static_cast<uint16_t>(tiff[8] | (tiff[9] << 8));
    ASSERT_EQ(n, 4u);
    for (uint16_t i = 1; i < n; ++i) {
        size_t field = 8 + 2 + 12 * i + 8;
        uint32_t offset = tiff[field] | (tiff[field + 1] << 8) | (tiff[field + 2] << 16) |
                          (uint32_t(tiff[field + 3]) << 24);
        EXPECT_EQ(offset % 2, 0u) << i;
    }
    std::vector<PropertyItem> back;
    ASSERT_EQ(readExifBlock(block, back), Status::Ok);
    EXPECT_EQ(back, items);
}

}  // namespace
}  // namespace orrery::gdiplus
