// The layout facts of WMF and EMF files that the metafile reader and the
// rasteriser share: signatures, header sizes, little-endian fields.
#pragma once
#include <cstddef>
#include <cstdint>
#include <span>

namespace orrery::gdiplus::metafile {

inline constexpr uint32_t kPlaceableKey = 0x9AC6CDD7;
inline constexpr size_t kPlaceableSize = 22;
inline constexpr size_t kWmfHeaderSize = 18;  // nine 16-bit words
inline constexpr uint32_t kEmrHeader = 1;
inline constexpr uint32_t kEmrEof = 14;
inline constexpr uint32_t kEmfSignature = 0x464D4520;  // " EMF"
inline constexpr size_t kEmfHeaderMin = 88;

inline uint16_t le16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }
inline uint32_t le32(const uint8_t* p) {
    return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}

// A WMF header (in memory or on disk, version 1 or 3) at `at`.
inline bool isWmfHeader(std::span<const uint8_t> b, size_t at) {
    if (b.size() < at + kWmfHeaderSize) return false;
    const uint16_t type = le16(&b[at]), words = le16(&b[at + 2]), version = le16(&b[at + 4]);
    return (type == 1 || type == 2) && words == 9 && (version == 0x0100 || version == 0x0300);
}

inline bool isPlaceableWmf(std::span<const uint8_t> b) { return b.size() >= 4 && le32(b.data()) == kPlaceableKey; }

inline bool isEmf(std::span<const uint8_t> b) {
    return b.size() >= 44 && le32(b.data()) == kEmrHeader && le32(&b[40]) == kEmfSignature;
}

}  // namespace orrery::gdiplus::metafile
