// The ANSI code page of the control's texts: Windows-1252. Texts are UTF-8
// inside; members that treat a text as bytes, one character a byte, go
// through here.
#pragma once
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace orrery::kernel {

// The Windows-1252 bytes of a UTF-8 text. U+0000-U+00FF map to the byte of
// the same value (U+0080-U+009F included, so any byte survives a round trip
// through a text), and the other characters of the code page (the euro sign,
// typographic quotes, ...) to their byte. False, with `out` unchanged, for a
// character outside the code page or text that is not UTF-8.
bool utf8ToWindows1252(std::string_view text, std::vector<uint8_t>& out);

// The UTF-8 text of Windows-1252 bytes, one character a byte, NULs included.
// The five bytes the code page leaves undefined (0x81, 0x8D, 0x8F, 0x90,
// 0x9D) keep their own code points, so the two functions are inverses.
std::string windows1252ToUtf8(std::span<const uint8_t> bytes);

}  // namespace orrery::kernel
