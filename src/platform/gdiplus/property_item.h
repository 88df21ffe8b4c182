// Property items: tagged metadata values of an image (EXIF and TIFF tags,
// GIF frame delays, ...), in the platform's layout.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace orrery::gdiplus {

enum PropertyTagType : uint16_t {
    PropertyTagTypeByte = 1,
    PropertyTagTypeASCII = 2,
    PropertyTagTypeShort = 3,
    PropertyTagTypeLong = 4,
    PropertyTagTypeRational = 5,
    PropertyTagTypeUndefined = 7,
    PropertyTagTypeSLONG = 9,
    PropertyTagTypeSRational = 10,
};

inline constexpr uint32_t PropertyTagExifIFD = 0x8769;
inline constexpr uint32_t PropertyTagGpsIFD = 0x8825;
inline constexpr uint32_t PropertyTagXResolution = 0x011A;
inline constexpr uint32_t PropertyTagYResolution = 0x011B;
inline constexpr uint32_t PropertyTagResolutionUnit = 0x0128;
inline constexpr uint32_t PropertyTagOrientation = 0x0112;
inline constexpr uint32_t PropertyTagICCProfile = 0x8773;
inline constexpr uint32_t PropertyTagFrameDelay = 0x5100;
inline constexpr uint32_t PropertyTagLoopCount = 0x5101;
inline constexpr uint32_t PropertyTagGlobalPalette = 0x5102;
inline constexpr uint32_t PropertyTagIndexBackground = 0x5103;
inline constexpr uint32_t PropertyTagIndexTransparent = 0x5104;
inline constexpr uint32_t PropertyTagExifUserComment = 0x9286;

struct PropertyItem {
    uint32_t id = 0;
    uint16_t type = 0;
    std::vector<uint8_t> value;  // length() bytes, little-endian numbers
    uint32_t length() const { return static_cast<uint32_t>(value.size()); }
    friend bool operator==(const PropertyItem&, const PropertyItem&) = default;

    static PropertyItem fromLongs(uint32_t id, const std::vector<uint32_t>& values);
    static PropertyItem fromShorts(uint32_t id, const std::vector<uint16_t>& values);
    static PropertyItem fromAscii(uint32_t id, const std::string& text);  // adds the NUL
    static PropertyItem fromRational(uint32_t id, uint32_t num, uint32_t den);
};

}  // namespace orrery::gdiplus
