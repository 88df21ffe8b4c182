// Tag names, the property-item class and the value texts: the rules the
// metadata members and the tools rely on, and bad items that must give a
// text without reading past their bytes.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "metadata/gdip_property_item.h"
#include "metadata/tag_names.h"
#include "metadata/value_text.h"

using namespace orrery::metadata;
using namespace std::string_literals;

namespace {

std::vector<uint8_t> le32(std::initializer_list<int64_t> values) {
    std::vector<uint8_t> out;
    for (int64_t v : values)
        for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(static_cast<uint64_t>(v) >> (8 * i)));
    return out;
}

std::vector<uint8_t> bytesOf(const std::string& s) { return {s.begin(), s.end()}; }

// An item built as the reader builds it: header, then `value`.
cGDIPPropertyItem itemOf(uint32_t id, uint32_t length, uint16_t type, const std::vector<uint8_t>& value) {
    std::vector<uint8_t> buffer(cGDIPPropertyItem::kHeaderSize, 0);
    buffer.insert(buffer.end(), value.begin(), value.end());
    cGDIPPropertyItem item;
    item.Initialise(id, length, type, buffer.data(), buffer.size());
    return item;
}

}  // namespace

TEST(TagNames, TableIsOrderedAndNamesEveryOtherIdentifierInHex) {
    const auto table = TagNameTable();
    ASSERT_EQ(table.size(), 237u);
    for (size_t i = 0; i < table.size(); ++i) {
        EXPECT_NE(std::string(table[i].name), "");
        EXPECT_EQ(TagName(table[i].id), table[i].name);
        if (i > 0) {
            EXPECT_LT(table[i - 1].id, table[i].id) << table[i].name;
        }
    }
    const std::pair<uint32_t, const char*> cases[] = {
        {274, "Orientation"},
        {TagGpsIFD, "8825"},
        {0, "GpsVer"},
        {TagGpsProcessingMethod, "ProcessingMethod"},
        {TagSubfileType, "SubFileType"},
        {tagXResolution, "XResolution"},
        {301, "TransferFuncition"},
        {TagJPEGProc, "JPEroc"},
        {TagPrintIMData, "PrintIMData"},
        {32, "20"},
        {50342, "C4A6"},
        {0xABCDEF12, "ABCDEF12"},
    };
    for (const auto& [id, name] : cases) EXPECT_EQ(TagName(id), name) << id;
    EXPECT_EQ(TagGpsProcessingMethod, 27u);
    EXPECT_EQ(TagSubfileType, 255u);
    EXPECT_EQ(tagXResolution, 282u);
    EXPECT_EQ(TagJPEGProc, 512u);
    EXPECT_EQ(TagTypeSRational, 10);
}

TEST(PropertyItem, SizesCountsAndReadsStayInsideTheValueBytes) {
    struct Case {
        uint16_t type;
        uint32_t length;
        uint32_t elementSize, count, bufferSize;
    };
    const Case cases[] = {
        {1, 5, 1, 5, 5},   {2, 20, 1, 1, 20}, {3, 4, 2, 2, 4},  {3, 3, 2, 2, 4},  {3, 5, 2, 2, 4},
        {8, 7, 2, 4, 8},   {4, 6, 4, 2, 8},   {9, 10, 4, 2, 8}, {11, 4, 4, 1, 4}, {5, 12, 8, 2, 16},
        {12, 4, 8, 0, 0},  {10, 20, 8, 2, 16}, {6, 3, 1, 3, 3}, {7, 0, 1, 0, 0},  {0, 8, 0, 0, 0},
        {13, 8, 0, 0, 0},  {255, 8, 0, 0, 0},
    };
    for (const Case& c : cases) {
        const cGDIPPropertyItem item = itemOf(1, c.length, c.type, std::vector<uint8_t>(c.length, 1));
        EXPECT_EQ(item.ElementDataSize(), c.elementSize) << c.type << "/" << c.length;
        EXPECT_EQ(item.ValueCount(), c.count) << c.type << "/" << c.length;
        EXPECT_EQ(item.DataBufferSize(), c.bufferSize) << c.type << "/" << c.length;
    }

    // A LONG item whose header claims 12 bytes but whose buffer holds 6.
    const cGDIPPropertyItem longs = itemOf(2, 12, TagTypeLong, {0xFF, 0xFF, 0xFF, 0xFF, 7, 0});
    EXPECT_EQ(longs.ParseLong(1), -1);
    for (int n : {0, 2, 3, 4, -1}) EXPECT_EQ(longs.ParseLong(n), 0) << n;
    std::vector<uint8_t> small(2, 0xAA), large(10, 0xAA), whole;
    EXPECT_EQ(longs.GetData(small), 2u);
    EXPECT_EQ(small, (std::vector<uint8_t>{0xFF, 0xFF}));
    EXPECT_EQ(longs.GetData(large), 6u);
    EXPECT_EQ(large[5], 0);
    EXPECT_EQ(large[6], 0xAA);
    longs.GetDataB(whole);
    EXPECT_EQ(whole.size(), 6u);

    // No value bytes: a header alone, a length below 1, the empty item.
    const cGDIPPropertyItem headerOnly = itemOf(3, 4, TagTypeLong, {});
    const cGDIPPropertyItem noLength = itemOf(3, 0, TagTypeLong, {1, 2, 3, 4});
    const cGDIPPropertyItem empty;
    for (const cGDIPPropertyItem* item : {&headerOnly, &noLength, &empty}) {
        EXPECT_EQ(item->DataPtr(), nullptr);
        EXPECT_TRUE(item->value().empty());
        EXPECT_EQ(item->ParseLong(1), 0);
    }
    EXPECT_EQ(empty.name(), "GpsVer");
    EXPECT_EQ(FormatTagValue(empty.ID(), empty.ItemType(), empty.Length(), empty.ValueCount(), empty.value()),
              "0 Byte");
}

TEST(ValueText, EveryTypeAndTheBadItems) {
    struct Case {
        uint32_t id;
        uint16_t type;
        std::vector<uint8_t> bytes;
        uint32_t count;
        std::string text;
    };
    const std::string comment = "ASCII\0\0\0Hello\0"s;
    const Case cases[] = {
        {282, 5, le32({72, 1}), 1, " 72"},
        {33434, 5, le32({1, 250, 3, 2}), 2, " .004,  1.5"},
        {37121, 7, {0x30, 0x32, 0x32, 0x31}, 4, "30, 32, 32, 31"},
        {37121, 7, {0x0A, 0xFF}, 2, "0A, FF"},
        {37510, 7, bytesOf(comment), 14, "Hello\0"s},
        {37510, 7, bytesOf("ASCII"), 5, ""},
        {37510, 7, {}, 0, "0"},
        {270, 2, {}, 1, "0"},
        {270, 2, {'C', 'a', 'f', 0xE9, 0x80, 0x81, 0}, 1, "Caf\u00e9\u20ac\u0081\0"s},
        {700, 1, bytesOf("<x/>"), 4, "<x/>"},
        {50341, 7, bytesOf("PrintIM"), 7, "PrintIM"},
        {1, 1, {0, 255, 7}, 3, " 0,  255,  7"},
        {1, 3, {0xFF, 0xFF, 1, 0}, 2, " 65535,  1"},
        {1, 8, {0xFF, 0xFF}, 1, " 65535"},
        {1, 4, le32({-1, 5}), 2, "-1,  5"},
        {1, 9, le32({-2147483648LL}), 1, "-2147483648"},
        {1, 10, le32({-1, 2, 1, 3}), 2, "-.5,  .333333333333333"},
        {1, 10, le32({1, 100000}), 1, " 1E-05"},
        {1, 5, le32({1, 10000}), 1, " .0001"},
        {1, 5, le32({5, 0, 0, 0, -5, 0}), 3, " 5/0,  0/0, -5/0"},
        {1, 5, le32({2147483647, 1}), 1, " 2147483647"},
        {1, 4, le32({1, 2}), 5, " 1,  2"},                 // a count beyond the bytes is cut
        {1, 4, {1, 0, 0, 0, 9, 9}, 2, " 1"},                // a partial value is not read
        {1, 5, le32({1, 2, 3}), 2, " .5"},
        {1, 3, {1}, 1, ""},
        {1, 6, {1, 2, 3}, 3, "3 Byte"},
        {1, 11, le32({1}), 1, "4 Byte"},
        {1, 12, le32({1, 2}), 1, "8 Byte"},
        {1, 0, {1}, 1, "1 Byte"},
        {1, 13, {1}, 1, "1 Byte"},
        {1, 255, {1}, 1, "1 Byte"},
        {1, 1, std::vector<uint8_t>(12000, 1), 12000, "12000 Byte"},
        {37510, 7, std::vector<uint8_t>(65536, 'a'), 65536, "65536 Byte"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(FormatTagValue(c.id, c.type, static_cast<uint32_t>(c.bytes.size()), c.count, c.bytes), c.text)
            << c.id << " type " << c.type;

    // 9999 bytes are still rendered by their type.
    const std::vector<uint8_t> text(9999, 'a');
    EXPECT_EQ(FormatTagValue(270, 2, 9999, 1, text), std::string(9999, 'a'));
    // A length that claims more bytes than there are reads only those there.
    EXPECT_EQ(FormatTagValue(1, 4, 400, 100, le32({3})), " 3");
}

TEST(ValueText, NumbersKeepFifteenDigitsAndSwitchToExponentsOutsideThePlainRange) {
    const std::pair<double, const char*> cases[] = {
        {0, " 0"},
        {100, " 100"},
        {0.25, " .25"},
        {-1234.5, "-1234.5"},
        {-0.00012, "-.00012"},
        {2.0 / 3, " .666666666666667"},
        {999999999999999.0, " 999999999999999"},
        {1e15, " 1E+15"},
        {1.5e15, " 1.5E+15"},
        {0.00001, " 1E-05"},
        {9.999999999999999e-5, " .0001"},  // rounds to 15 digits first
    };
    for (const auto& [value, text] : cases) EXPECT_EQ(FormatNumber(value), text) << value;
}
