#include "platform/kernel/code_page.h"

#include <array>
#include <optional>

namespace orrery::kernel {

namespace {

// Characters of bytes 0x80-0x9F that the code page gives characters of
// their own; 0 where it leaves the byte undefined.
constexpr std::array<char32_t, 32> kHighControls = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,  // 80-87
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,       // 88-8F
    0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  // 90-97
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178,  // 98-9F
};

std::optional<uint8_t> byteOf(char32_t c) {
    if (c <= 0xFF) return static_cast<uint8_t>(c);
    for (size_t i = 0; i < kHighControls.size(); ++i)
        if (kHighControls[i] == c) return static_cast<uint8_t>(0x80 + i);
    return std::nullopt;
}

// Decodes one UTF-8 sequence at `at`, moving past it; nullopt for a broken,
// overlong or surrogate sequence.
std::optional<char32_t> nextCodePoint(std::string_view text, size_t& at) {
    const auto lead = static_cast<uint8_t>(text[at++]);
    if (lead < 0x80) return lead;
    int more = lead >= 0xF0 ? 3 : lead >= 0xE0 ? 2 : lead >= 0xC0 ? 1 : -1;
    if (more < 0 || lead > 0xF4 || text.size() - at < static_cast<size_t>(more)) return std::nullopt;
    char32_t c = lead & (0x3F >> more);
    for (int i = 0; i < more; ++i) {
        const auto next = static_cast<uint8_t>(text[at++]);
        if ((next & 0xC0) != 0x80) return std::nullopt;
        c = (c << 6) | (next & 0x3F);
    }
    static constexpr char32_t kSmallest[] = {0, 0x80, 0x800, 0x10000};
    if (c < kSmallest[more] || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return std::nullopt;
    return c;
}

void appendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (c >> 6)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xE0 | (c >> 12)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
}

}  // namespace

std::string windows1252ToUtf8(std::span<const uint8_t> bytes) {
    std::string text;
    text.reserve(bytes.size());
    for (uint8_t b : bytes) {
        const bool high = b >= 0x80 && b < 0x80 + kHighControls.size();
        const char32_t mapped = high ? kHighControls[b - 0x80] : 0;
        appendUtf8(text, mapped != 0 ? mapped : b);
    }
    return text;
}

bool utf8ToWindows1252(std::string_view text, std::vector<uint8_t>& out) {
    std::vector<uint8_t> bytes;
    bytes.reserve(text.size());
    for (size_t at = 0; at < text.size();) {
        std::optional<char32_t> c = nextCodePoint(text, at);
        if (!c) return false;
        std::optional<uint8_t> b = byteOf(*c);
        if (!b) return false;
        bytes.push_back(*b);
    }
    out = std::move(bytes);
    return true;
}

}  // namespace orrery::kernel
