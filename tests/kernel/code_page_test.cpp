// Texts as Windows-1252 bytes.
#include <gtest/gtest.h>

#include "platform/kernel/code_page.h"

using orrery::kernel::utf8ToWindows1252;

namespace {

std::vector<uint8_t> bytesOf(std::string_view text) {
    std::vector<uint8_t> out{0xAA};
    EXPECT_TRUE(utf8ToWindows1252(text, out)) << text;
    return out;
}

}  // namespace

TEST(CodePageTest, EveryByteHasACharacterThatMapsBackToIt) {
    // U+0000-U+00FF, the C1 controls included, are their own bytes.
    std::string all;
    for (int b = 0; b < 256; ++b) {
        if (b < 0x80) {
            all += static_cast<char>(b);
        } else {
            all += static_cast<char>(0xC0 | (b >> 6));
            all += static_cast<char>(0x80 | (b & 0x3F));
        }
    }
    std::vector<uint8_t> out = bytesOf(all);
    ASSERT_EQ(out.size(), 256u);
    for (int b = 0; b < 256; ++b) EXPECT_EQ(out[b], b);
}

TEST(CodePageTest, TheCodePagesOwnCharactersTakeTheirBytes) {
    EXPECT_EQ(bytesOf("\xE2\x82\xAC"), std::vector<uint8_t>{0x80});              // euro sign
    EXPECT_EQ(bytesOf("\xE2\x80\x9C" "a\xE2\x80\x9D"), (std::vector<uint8_t>{0x93, 'a', 0x94}));  // quotes
    EXPECT_EQ(bytesOf("\xC5\xB8"), std::vector<uint8_t>{0x9F});                  // Y with diaeresis
    EXPECT_EQ(bytesOf("\xE2\x84\xA2"), std::vector<uint8_t>{0x99});              // trade mark
    EXPECT_TRUE(bytesOf("").empty());
}

TEST(CodePageTest, OtherCharactersAndBrokenTextAreRefused) {
    for (std::string_view bad : {std::string_view("\xE4\xB8\x80"),  // a CJK character
                                 std::string_view("\xF0\x9F\x98\x80"),  // outside the BMP
                                 std::string_view("\xC3"),              // cut short
                                 std::string_view("\xC0\x80"),          // overlong zero
                                 std::string_view("\xED\xA0\x80"),      // a surrogate
                                 std::string_view("\x80"),              // a lone continuation byte
                                 std::string_view("\xF8\x88\x80\x80\x80")}) {
        std::vector<uint8_t> out{1, 2};
        EXPECT_FALSE(utf8ToWindows1252(bad, out));
        EXPECT_EQ(out, (std::vector<uint8_t>{1, 2}));  // left as it was
    }
}
