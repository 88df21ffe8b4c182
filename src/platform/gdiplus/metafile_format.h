// The layout facts of WMF and EMF files that the metafile reader and the
// rasteriser share: signatures, header sizes, little-endian fields.
#pragma once
#include <cstddef>
#include <cstdint>
#include <span>

#include "platform/gdiplus/little_endian.h"

namespace orrery::gdiplus::metafile {

inline constexpr uint32_t kPlaceableKey = 0x9AC6CDD7;
inline constexpr size_t kPlaceableSize = 22;
inline constexpr size_t kWmfHeaderSize = 18;  // nine 16-bit words
inline constexpr uint32_t kEmrHeader = 1;
inline constexpr uint32_t kEmrEof = 14;
inline constexpr uint32_t kEmfSignature = 0x464D4520;  // " EMF"
inline constexpr size_t kEmfHeaderMin = 88;

using gdiplus::le16;
using gdiplus::le32;

// A WMF header (in memory or on disk, version 1 or 3) at `at`.
inline bool isWmfHeader(std::span<const uint8_t> b, size_t at) {
    if (b.size() < at + kWmfHeaderSize) return false;
    const uint16_t type = le16(&b[at]), words = le16(&b[at + 2]), version = le16(&b[at + 4]);
    return (type == 1 || type == 2) && words == 9 && (version == 0x0100 || version == 0x0300);
}

// The window of a WMF whose header is at `at`: the origin of the last
// SetWindowOrg record and the extent of the first SetWindowExt record
// before drawing starts, walking at most `maxRecords` records (each at least
// three words long) without leaving the data. False when there is no extent.
struct WmfWindow {
    int orgX = 0, orgY = 0, extX = 0, extY = 0;
};
inline bool findWmfWindow(std::span<const uint8_t> b, size_t at, WmfWindow& out, int maxRecords = 4096) {
    constexpr uint16_t kSetWindowOrg = 0x020B, kSetWindowExt = 0x020C;
    size_t pos = at + kWmfHeaderSize;
    WmfWindow window;
    for (int n = 0; n < maxRecords && pos + 6 <= b.size(); ++n) {
        const uint32_t words = le32(&b[pos]);
        const uint16_t function = le16(&b[pos + 4]);
        if (words < 3 || words > (b.size() - pos) / 2) return false;
        if (function == 0) return false;  // end-of-file record
        if ((function == kSetWindowOrg || function == kSetWindowExt) && words >= 5) {
            // Parameters are stored last first: y, then x.
            const int y = static_cast<int16_t>(le16(&b[pos + 6]));
            const int x = static_cast<int16_t>(le16(&b[pos + 8]));
            if (function == kSetWindowOrg) {
                window.orgX = x;
                window.orgY = y;
            } else {
                window.extX = x;
                window.extY = y;
                out = window;
                return true;
            }
        }
        pos += size_t{words} * 2;
    }
    return false;
}

inline bool isPlaceableWmf(std::span<const uint8_t> b) { return b.size() >= 4 && le32(b.data()) == kPlaceableKey; }

inline bool isEmf(std::span<const uint8_t> b) {
    return b.size() >= 44 && le32(b.data()) == kEmrHeader && le32(&b[40]) == kEmfSignature;
}

}  // namespace orrery::gdiplus::metafile
