// The value text of a tag: one formatter for the image's property items
// (EXIF, TIFF, GPS) and the plug-in's IPTC entries.
#pragma once
#include <cstdint>
#include <span>
#include <string>

namespace orrery::metadata {

// The value of tag `id` of `type`, `length` bytes long and holding `count`
// values, as a text:
// - texts (type 2, and always the identifiers 700, 37510 and 50341): each
//   byte one Windows-1252 character, NULs included; a user comment (37510)
//   drops its 8-byte character-code prefix; no bytes give "0";
// - numbers (types 1, 3, 4, 5, 8, 9, 10), joined with ", ", each with a
//   leading blank when not negative; rationals as their quotient (up to 15
//   significant digits, ".5" without the 0, "1E-05" below 0.0001), a zero
//   denominator as "numerator/0";
// - undefined bytes (type 7): two upper-case hexadecimal digits each;
// - 10000 bytes or more, and every other type: the length and " Byte".
// Only whole values inside `bytes` (and inside `length`) are rendered: a
// count that overstates them is cut.
std::string FormatTagValue(uint32_t id, uint16_t type, uint32_t length, uint32_t count,
                           std::span<const uint8_t> bytes);

// A number as the value texts write it: " 72", "-3", " .004", " 1.5E+15".
std::string FormatNumber(double value);

}  // namespace orrery::metadata
