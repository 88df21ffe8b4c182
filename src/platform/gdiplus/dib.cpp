#include "platform/gdiplus/dib.h"

#include <algorithm>
#include <bit>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "platform/gdiplus/byte_source.h"
#include "platform/gdiplus/codec.h"
#include "platform/gdiplus/codecs/codecs.h"

namespace orrery::gdiplus {

namespace {

// Compression values of the DIB header. OS/2 2.x headers reuse 3 and 4.
constexpr uint32_t kBiRgb = 0;
constexpr uint32_t kBiRle8 = 1;
constexpr uint32_t kBiRle4 = 2;
constexpr uint32_t kBiBitfields = 3;
constexpr uint32_t kBiJpeg = 4;
constexpr uint32_t kBiPng = 5;
constexpr uint32_t kBiAlphaBitfields = 6;
constexpr uint32_t kOs2Huffman1D = 3;
constexpr uint32_t kOs2Rle24 = 4;

constexpr uint32_t kProfileEmbedded = 0x4D424544;  // 'MBED'
constexpr uint32_t kMaxProfileBytes = 16u << 20;
// Resolutions beyond this (about 25400 dpi) are taken as garbage, not stored.
constexpr int32_t kMaxPelsPerMeter = 1000000;

uint16_t rd16(std::span<const uint8_t> b, size_t at) {
    return static_cast<uint16_t>(b[at] | (b[at + 1] << 8));
}
uint32_t load32(const uint8_t* p) {
    return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}
uint32_t rd32(std::span<const uint8_t> b, size_t at) { return load32(b.data() + at); }
void wr32(uint8_t* p, uint32_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
    p[2] = static_cast<uint8_t>(v >> 16);
    p[3] = static_cast<uint8_t>(v >> 24);
}

// How the pixel bits are laid out, after the header has been understood.
enum class Encoding {
    Raw,        // rows in the target format's own layout (1/4/8/16/24/32 bpp)
    TwoBit,     // 2 bpp indexed, widened to 4 bpp
    BitFields,  // 16 or 32 bpp with masks other than the target's layout
    Rle8,
    Rle4,
    Rle24,      // OS/2 2.x
    Embedded,   // JPEG or PNG bits
};

// A DIB header reduced to what decoding needs; made from a header in bytes or
// from a bitmap handle's section.
struct Layout {
    uint32_t headerSize = 0;
    bool os2 = false;
    int width = 0;
    int height = 0;  // image rows (colour rows for icons)
    bool topDown = false;
    int bitCount = 0;
    uint32_t compression = kBiRgb;
    Encoding encoding = Encoding::Raw;
    uint32_t masks[4] = {0, 0, 0, 0};  // red, green, blue, alpha
    int32_t xPelsPerMeter = 0;
    int32_t yPelsPerMeter = 0;
    uint32_t colorsUsed = 0;
    size_t paletteOffset = 0;     // from the start of the header
    size_t paletteEntryBytes = 4;
    uint32_t csType = 0;
    uint32_t profileOffset = 0;
    uint32_t profileSize = 0;
};

uint64_t sourceStride(const Layout& l) {
    return ((static_cast<uint64_t>(l.width) * static_cast<uint64_t>(l.bitCount) + 31) / 32) * 4;
}

// Reads the header fields of every header kind into `l`.
Status readHeaderFields(std::span<const uint8_t> dib, Layout& l) {
    if (dib.size() < 4) return Status::InvalidParameter;
    l.headerSize = rd32(dib, 0);
    uint32_t hs = l.headerSize;
    bool windows = hs == 40 || hs == 52 || hs == 56 || hs == 108 || hs == 124;
    bool os2v2 = !windows && hs >= 16 && hs <= 64;
    if (hs != 12 && !windows && !os2v2) return Status::InvalidParameter;
    if (dib.size() < hs) return Status::InvalidParameter;
    int64_t rawHeight = 0;
    uint16_t planes = 0;
    if (hs == 12) {
        // OS/2 1.x core header: unsigned 16-bit sizes, 3-byte colour entries.
        l.os2 = true;
        l.width = rd16(dib, 4);
        rawHeight = rd16(dib, 6);
        planes = rd16(dib, 8);
        l.bitCount = rd16(dib, 10);
        l.paletteEntryBytes = 3;
    } else {
        l.os2 = os2v2;
        l.width = static_cast<int32_t>(rd32(dib, 4));
        rawHeight = static_cast<int32_t>(rd32(dib, 8));
        planes = rd16(dib, 12);
        l.bitCount = rd16(dib, 14);
        // Fields beyond a short OS/2 2.x header read as zero.
        auto field = [&](size_t at) { return at + 4 <= hs ? rd32(dib, at) : 0u; };
        l.compression = field(16);
        l.xPelsPerMeter = static_cast<int32_t>(field(24));
        l.yPelsPerMeter = static_cast<int32_t>(field(28));
        l.colorsUsed = field(32);
        if (hs >= 52) {
            l.masks[0] = rd32(dib, 40);
            l.masks[1] = rd32(dib, 44);
            l.masks[2] = rd32(dib, 48);
        }
        if (hs >= 56) l.masks[3] = rd32(dib, 52);
        if (hs >= 108) l.csType = rd32(dib, 56);
        if (hs >= 124) {
            l.profileOffset = rd32(dib, 112);
            l.profileSize = rd32(dib, 116);
        }
    }
    if (planes != 1) return Status::InvalidParameter;
    if (l.width < 1) return Status::InvalidParameter;
    if (rawHeight == 0 || rawHeight == INT32_MIN) return Status::InvalidParameter;
    l.topDown = rawHeight < 0;
    l.height = static_cast<int>(rawHeight < 0 ? -rawHeight : rawHeight);
    l.paletteOffset = hs;
    return Status::Ok;
}

// Masks of a 40-byte header with bit fields follow the header.
Status readTrailingMasks(std::span<const uint8_t> dib, Layout& l) {
    if (l.os2 || l.headerSize != 40) return Status::Ok;
    if (l.compression != kBiBitfields && l.compression != kBiAlphaBitfields) return Status::Ok;
    size_t count = l.compression == kBiAlphaBitfields ? 4 : 3;
    if (dib.size() < 40 + 4 * count) return Status::InvalidParameter;
    for (size_t i = 0; i < count; ++i) l.masks[i] = rd32(dib, 40 + 4 * i);
    l.paletteOffset = 40 + 4 * count;
    return Status::Ok;
}

bool isMasks(const Layout& l, uint32_t r, uint32_t g, uint32_t b) {
    return l.masks[0] == r && l.masks[1] == g && l.masks[2] == b;
}

// Chooses how the bits are read and the pixel format they become.
Status choosePlan(Layout& l, DibContainer container, PixelFormat& format) {
    bool iconAlpha = container == DibContainer::IconEntry;
    uint32_t c = l.compression;
    if (l.os2 && l.headerSize != 12) {
        if (c == kOs2Huffman1D) return Status::UnknownImageFormat;
        if (c == kOs2Rle24) {
            if (l.bitCount != 24) return Status::InvalidParameter;
            l.encoding = Encoding::Rle24;
            format = PixelFormat24bppRGB;
            return l.topDown ? Status::InvalidParameter : Status::Ok;
        }
    }
    if (c == kBiJpeg || c == kBiPng) {
        l.encoding = Encoding::Embedded;
        return Status::Ok;
    }
    if (c == kBiRle8 || c == kBiRle4) {
        int want = c == kBiRle8 ? 8 : 4;
        if (l.bitCount != want || l.topDown) return Status::InvalidParameter;
        l.encoding = c == kBiRle8 ? Encoding::Rle8 : Encoding::Rle4;
        format = c == kBiRle8 ? PixelFormat8bppIndexed : PixelFormat4bppIndexed;
        return Status::Ok;
    }
    bool fields = c == kBiBitfields || c == kBiAlphaBitfields;
    if (c != kBiRgb && !fields) return Status::UnknownImageFormat;
    switch (l.bitCount) {
        case 1: format = PixelFormat1bppIndexed; break;
        case 2: format = PixelFormat4bppIndexed; l.encoding = Encoding::TwoBit; break;
        case 4: format = PixelFormat4bppIndexed; break;
        case 8: format = PixelFormat8bppIndexed; break;
        case 24: format = PixelFormat24bppRGB; break;
        case 16:
            if (!fields || (l.masks[0] | l.masks[1] | l.masks[2]) == 0) {
                l.masks[0] = 0x7c00, l.masks[1] = 0x03e0, l.masks[2] = 0x001f;
                if (!fields) l.masks[3] = 0;
            }
            if (isMasks(l, 0x7c00, 0x03e0, 0x001f) && (l.masks[3] & 0xffff) == 0) {
                format = PixelFormat16bppRGB555;
            } else if (isMasks(l, 0xf800, 0x07e0, 0x001f) && (l.masks[3] & 0xffff) == 0) {
                format = PixelFormat16bppRGB565;
            } else {
                format = PixelFormat32bppARGB;
                l.encoding = Encoding::BitFields;
            }
            return Status::Ok;
        case 32:
            if (!fields || (l.masks[0] | l.masks[1] | l.masks[2]) == 0) {
                l.masks[0] = 0xff0000, l.masks[1] = 0xff00, l.masks[2] = 0xff;
                if (iconAlpha) l.masks[3] = 0xff000000;
            }
            format = PixelFormat32bppARGB;
            if (!isMasks(l, 0xff0000, 0xff00, 0xff) ||
                (l.masks[3] != 0 && l.masks[3] != 0xff000000)) {
                l.encoding = Encoding::BitFields;
            } else if (l.masks[3] == 0) {
                format = PixelFormat32bppRGB;
            }
            return Status::Ok;
        default: return Status::InvalidParameter;
    }
    if (fields) return Status::InvalidParameter;  // masks only go with 16 and 32 bpp
    return Status::Ok;
}

// The colour table: entries as many as the header says (bounded by the depth,
// by where the bits start and by the data present).
Palette readPalette(std::span<const uint8_t> dib, const Layout& l, size_t bitsOffset) {
    Palette palette;
    if (l.bitCount > 8) return palette;
    size_t count = size_t{1} << l.bitCount;
    if (l.colorsUsed != 0 && l.headerSize != 12) count = std::min<size_t>(count, l.colorsUsed);
    size_t end = dib.size();
    if (bitsOffset > l.paletteOffset) end = std::min(end, bitsOffset);
    size_t room = end > l.paletteOffset ? (end - l.paletteOffset) / l.paletteEntryBytes : 0;
    count = std::min(count, room);
    bool gray = count > 0;
    palette.entries.reserve(count);
    for (size_t i = 0; i < count; ++i) {
        const uint8_t* p = dib.data() + l.paletteOffset + i * l.paletteEntryBytes;
        palette.entries.push_back(0xFF000000u | (uint32_t(p[2]) << 16) | (uint32_t(p[1]) << 8) | p[0]);
        gray = gray && p[0] == p[1] && p[1] == p[2];
    }
    if (gray) palette.flags |= PaletteFlagsGrayScale;
    return palette;
}

// Where the bits start when the container does not say: after the colour
// table as the header sizes it (deeper images may carry an unused table too).
size_t defaultBitsOffset(const Layout& l) {
    uint64_t entries = l.headerSize == 12 ? 0 : l.colorsUsed;
    if (l.bitCount <= 8 && (l.headerSize == 12 || entries == 0)) entries = uint64_t{1} << l.bitCount;
    uint64_t off = l.paletteOffset + entries * l.paletteEntryBytes;
    return off > SIZE_MAX / 2 ? SIZE_MAX / 2 : static_cast<size_t>(off);
}

// --- pixel decoding -------------------------------------------------------

struct Channel {
    uint32_t mask = 0;
    int shift = 0;
    int bits = 0;
};

Channel channelOf(uint32_t mask) {
    Channel c;
    if (mask == 0) return c;
    c.mask = mask;
    c.shift = std::countr_zero(mask);
    c.bits = 32 - std::countl_zero(mask) - c.shift;
    return c;
}

uint32_t channelValue(const Channel& c, uint32_t px) {
    if (c.bits == 0) return 0;
    uint32_t v = (px & c.mask) >> c.shift;
    if (c.bits >= 8) return v >> (c.bits - 8);
    uint32_t max = (1u << c.bits) - 1;
    return (v * 255 + max / 2) / max;
}

// Row `i` of the data (in file order) is image row y.
int imageRow(const Layout& l, int i) { return l.topDown ? i : l.height - 1 - i; }

void decodeRawRows(const Layout& l, std::span<const uint8_t> bits, PixelData& px) {
    uint64_t stride = sourceStride(l);
    size_t rowBytes = (static_cast<size_t>(l.width) * l.bitCount + 7) / 8;
    for (int i = 0; i < l.height; ++i) {
        uint64_t at = stride * static_cast<uint64_t>(i);
        if (at >= bits.size()) break;
        size_t n = std::min<size_t>(rowBytes, bits.size() - at);
        std::memcpy(px.row(imageRow(l, i)), bits.data() + at, n);
    }
}

void decodeTwoBitRows(const Layout& l, std::span<const uint8_t> bits, PixelData& px) {
    uint64_t stride = sourceStride(l);
    for (int i = 0; i < l.height; ++i) {
        uint64_t at = stride * static_cast<uint64_t>(i);
        if (at >= bits.size()) break;
        uint8_t* out = px.row(imageRow(l, i));
        size_t avail = bits.size() - at;
        for (int x = 0; x < l.width && static_cast<size_t>(x / 4) < avail; ++x) {
            uint32_t v = (bits[at + x / 4] >> (6 - 2 * (x & 3))) & 3;
            out[x / 2] |= static_cast<uint8_t>((x & 1) ? v : v << 4);
        }
    }
}

void decodeBitFieldRows(const Layout& l, std::span<const uint8_t> bits, PixelData& px) {
    uint64_t stride = sourceStride(l);
    size_t bpp = static_cast<size_t>(l.bitCount / 8);
    uint32_t limit = bpp == 2 ? 0xffffu : 0xffffffffu;
    Channel ch[4];
    for (int k = 0; k < 4; ++k) ch[k] = channelOf(l.masks[k] & limit);
    for (int i = 0; i < l.height; ++i) {
        uint64_t at = stride * static_cast<uint64_t>(i);
        if (at >= bits.size()) break;
        size_t pixels = std::min<size_t>(static_cast<size_t>(l.width), (bits.size() - at) / bpp);
        uint8_t* out = px.row(imageRow(l, i));
        for (size_t x = 0; x < pixels; ++x) {
            const uint8_t* p = bits.data() + at + x * bpp;
            uint32_t v = bpp == 2 ? uint32_t(p[0] | (p[1] << 8)) : load32(p);
            uint32_t a = ch[3].bits ? channelValue(ch[3], v) : 0xff;
            wr32(out + 4 * x, (a << 24) | (channelValue(ch[0], v) << 16) |
                                  (channelValue(ch[1], v) << 8) | channelValue(ch[2], v));
        }
    }
}

// Run-length data, bottom-up. Pixels that the codes skip stay 0.
void decodeRle(const Layout& l, std::span<const uint8_t> bits, PixelData& px) {
    const Encoding e = l.encoding;
    const size_t unit = e == Encoding::Rle24 ? 3 : 1;  // bytes of one encoded value
    const int w = l.width;
    auto put = [&](int x, int y, const uint8_t* v, int nibble) {
        if (x >= w || y >= l.height) return;
        uint8_t* row = px.row(l.height - 1 - y);
        if (e == Encoding::Rle8) {
            row[x] = v[0];
        } else if (e == Encoding::Rle24) {
            std::memcpy(row + 3 * x, v, 3);
        } else {
            uint8_t idx = nibble ? (v[0] & 0x0f) : (v[0] >> 4);
            row[x / 2] = (x & 1) ? static_cast<uint8_t>((row[x / 2] & 0xf0) | idx)
                                 : static_cast<uint8_t>((row[x / 2] & 0x0f) | (idx << 4));
        }
    };
    size_t p = 0;
    int x = 0, y = 0;
    const size_t n = bits.size();
    while (p + 1 < n && y < l.height) {
        int count = bits[p++];
        if (count > 0) {
            if (p + unit > n) break;
            const uint8_t* v = bits.data() + p;
            p += unit;
            int todo = std::min(count, std::max(0, w - x));
            for (int k = 0; k < todo; ++k) put(x + k, y, v, k & 1);
            x = std::min(w, x + count);
            continue;
        }
        int code = bits[p++];
        if (code == 0) {
            x = 0;
            ++y;
        } else if (code == 1) {
            break;
        } else if (code == 2) {
            if (p + 2 > n) break;
            x = std::min(w, x + bits[p]);
            y += bits[p + 1];
            p += 2;
        } else {
            size_t bytes = e == Encoding::Rle4 ? (size_t(code) + 1) / 2 : size_t(code) * unit;
            for (int k = 0; k < code; ++k) {
                size_t at = p + (e == Encoding::Rle4 ? size_t(k) / 2 : size_t(k) * unit);
                if (at + unit > n) break;
                put(x + k, y, bits.data() + at, e == Encoding::Rle4 ? (k & 1) : 0);
            }
            x = std::min(w, x + code);
            p += bytes + (bytes & 1);
        }
    }
}

bool anyAlpha(const PixelData& px) {
    for (int y = 0; y < px.height(); ++y) {
        const uint8_t* r = px.row(y);
        for (int x = 0; x < px.width(); ++x)
            if (r[4 * x + 3] != 0) return true;
    }
    return false;
}

// JPEG or PNG bits inside a DIB go to that format's registered decoder; no
// other decoder is asked, so a DIB cannot nest DIBs.
Status decodeEmbedded(const Layout& l, std::span<const uint8_t> bits, Frame& out) {
    const Decoder* d = findDecoder(bits);
    Guid want = l.compression == kBiJpeg ? ImageFormat::JPEG : ImageFormat::PNG;
    if (!d || d->info().formatId != want) return Status::UnknownImageFormat;
    Decoded decoded;
    Status s = d->decode(ByteSource::copyOf(bits), DecodeOptions{}, decoded);
    if (s != Status::Ok) return s;
    out = std::move(decoded.frame);
    return Status::Ok;
}

// Decodes the bits of a laid-out DIB into `out.pixels` (and its palette).
Status decodeBits(Layout& l, DibContainer container, Palette palette,
                  std::span<const uint8_t> bits, Frame& out) {
    PixelFormat format = PixelFormatUndefined;
    Status s = choosePlan(l, container, format);
    if (s != Status::Ok) return s;
    if (l.encoding == Encoding::Embedded) return decodeEmbedded(l, bits, out);
    if (!fitsAllocationLimit(l.width, l.height, format)) return Status::OutOfMemory;
    // Icons end as 32bppARGB: refuse early what could not be converted.
    if (container == DibContainer::IconEntry &&
        !fitsAllocationLimit(l.width, l.height, PixelFormat32bppARGB))
        return Status::OutOfMemory;
    PixelData px;
    s = PixelData::allocate(l.width, l.height, format, px);
    if (s != Status::Ok) return s;
    switch (l.encoding) {
        case Encoding::Raw: decodeRawRows(l, bits, px); break;
        case Encoding::TwoBit: decodeTwoBitRows(l, bits, px); break;
        case Encoding::BitFields: decodeBitFieldRows(l, bits, px); break;
        case Encoding::Rle8:
        case Encoding::Rle4:
        case Encoding::Rle24: decodeRle(l, bits, px); break;
        case Encoding::Embedded: break;
    }
    // Alpha counts only when some pixel has it; a zero alpha channel is
    // what writers leave when they mean "no alpha".
    if (format == PixelFormat32bppARGB && (l.masks[3] == 0 || !anyAlpha(px)))
        px.setFormat(PixelFormat32bppRGB);
    out.pixels = std::move(px);
    if (isIndexed(out.pixels.format())) out.palette = std::move(palette);
    return Status::Ok;
}

// Pixels per metre to dots per inch: whole numbers when the stored value is
// the rounding of one (3780 ppm is 96 dpi), else three decimals.
float dpiFromPelsPerMeter(int32_t ppm) {
    double dpi = ppm * 0.0254;
    double whole = std::round(dpi);
    if (std::fabs(dpi - whole) < 0.05) return static_cast<float>(whole);
    return static_cast<float>(std::round(dpi * 1000.0) / 1000.0);
}

void setResolutionAndFlags(const Layout& l, std::span<const uint8_t> dib, Frame& f) {
    f.flags |= ImageFlagsColorSpaceRGB | ImageFlagsHasRealPixelSize;
    if (hasAlpha(f.pixels.format())) f.flags |= ImageFlagsHasAlpha;
    auto valid = [](int32_t ppm) { return ppm > 0 && ppm <= kMaxPelsPerMeter; };
    if (valid(l.xPelsPerMeter) && valid(l.yPelsPerMeter)) {
        f.dpiX = dpiFromPelsPerMeter(l.xPelsPerMeter);
        f.dpiY = dpiFromPelsPerMeter(l.yPelsPerMeter);
        f.flags |= ImageFlagsHasRealDPI;
    }
    if (l.headerSize >= 124 && l.csType == kProfileEmbedded && l.profileSize > 0 &&
        l.profileSize <= kMaxProfileBytes && l.profileOffset <= dib.size() &&
        l.profileSize <= dib.size() - l.profileOffset) {
        auto p = dib.subspan(l.profileOffset, l.profileSize);
        f.iccProfile.assign(p.begin(), p.end());
    }
}

// The AND mask of an icon: 1 bpp rows, a set bit marks a transparent pixel.
struct MaskBits {
    std::span<const uint8_t> bits;
    uint64_t stride = 0;
    int rows = 0;
    bool topDown = false;
};

// Row y (top-down) of the mask and how many of its bytes are present; an
// absent row leaves its pixels opaque.
std::span<const uint8_t> maskRow(const MaskBits& m, int y) {
    if (y >= m.rows) return {};
    uint64_t row = static_cast<uint64_t>(m.topDown ? y : m.rows - 1 - y);
    uint64_t at = row * m.stride;
    if (at >= m.bits.size()) return {};
    return m.bits.subspan(static_cast<size_t>(at),
                          static_cast<size_t>(std::min<uint64_t>(m.stride, m.bits.size() - at)));
}

// Turns a decoded icon colour part into 32bppARGB: colour that carries alpha
// keeps it, anything else takes its transparency from the mask.
Status applyIconMask(const MaskBits& mask, Frame& f) {
    f.flags |= ImageFlagsHasAlpha;
    if (f.pixels.format() == PixelFormat32bppARGB) return Status::Ok;
    PixelData argb;
    Status s = PixelData::allocate(f.pixels.width(), f.pixels.height(), PixelFormat32bppARGB, argb);
    if (s != Status::Ok) return s;
    std::vector<ARGB> row(static_cast<size_t>(f.pixels.width()));
    for (int y = 0; y < argb.height(); ++y) {
        rowToArgb32(f.pixels.format(), f.pixels.row(y), 0, argb.width(), &f.palette, row.data());
        std::span<const uint8_t> m = maskRow(mask, y);
        for (size_t x = 0; x < row.size() && x / 8 < m.size(); ++x)
            if ((m[x / 8] >> (7 - (x & 7))) & 1) row[x] = 0;
        std::memcpy(argb.row(y), row.data(), row.size() * 4);
    }
    f.pixels = std::move(argb);
    f.palette = {};
    return Status::Ok;
}

Status parseLayout(std::span<const uint8_t> dib, DibContainer container, Layout& l) {
    Status s = readHeaderFields(dib, l);
    if (s != Status::Ok) return s;
    if (container == DibContainer::IconEntry) {
        l.height /= 2;
        if (l.height < 1) return Status::InvalidParameter;
    }
    return readTrailingMasks(dib, l);
}

// Layout of a bitmap handle's section: a BITMAPINFOHEADER without bit fields.
Layout layoutOfSection(const gdi::DibSection& s) {
    Layout l;
    l.headerSize = 40;
    l.width = s.width;
    l.height = s.height < 0 ? -s.height : s.height;
    l.topDown = s.height < 0;
    l.bitCount = s.bitCount;
    return l;
}

Palette paletteOfSection(const gdi::DibSection& s) {
    Palette p;
    if (s.bitCount > 8) return p;
    size_t count = std::min(s.colors.size(), size_t{1} << s.bitCount);
    for (size_t i = 0; i < count; ++i) p.entries.push_back(0xFF000000u | (s.colors[i] & 0xffffff));
    return p;
}

Status imageOfFrame(Frame frame, std::unique_ptr<Image>& out) {
    std::unique_ptr<Image> image = Image::fromPixels(std::move(frame.pixels), std::move(frame.palette));
    if (!image) return Status::OutOfMemory;
    out = std::move(image);
    return Status::Ok;
}

// The image's pixels as rows of non-premultiplied ARGB, top row first.
template <typename Fn>
void forEachArgbRow(const Image& image, Fn&& fn) {
    const PixelData& px = image.pixels();
    std::vector<ARGB> row(static_cast<size_t>(px.width()));
    for (int y = 0; y < px.height(); ++y) {
        rowToArgb32(px.format(), px.row(y), 0, px.width(), &image.palette(), row.data());
        fn(y, row);
    }
}

// `src` over `dst`, both non-premultiplied.
ARGB compositeOver(ARGB src, ARGB dst) {
    uint32_t sa = src >> 24, da = dst >> 24;
    if (sa == 255 || da == 0) return sa == 0 ? 0 : src;
    uint32_t dw = da * (255 - sa);                 // destination weight, scale 255*255
    uint32_t outA255 = sa * 255 + dw;              // result alpha, scale 255*255
    ARGB result = ((outA255 + 127) / 255) << 24;
    for (int shift = 0; shift <= 16; shift += 8) {
        uint32_t sc = (src >> shift) & 0xff, dc = (dst >> shift) & 0xff;
        uint32_t c = (sc * sa * 255 + dc * dw + outA255 / 2) / outA255;
        result |= std::min(c, 255u) << shift;
    }
    return result;
}

}  // namespace

Status probeDib(std::span<const uint8_t> dib, DibContainer container, DibInfo& out) {
    Layout l;
    Status s = parseLayout(dib, container, l);
    if (s != Status::Ok) return s;
    out.width = l.width;
    out.height = l.height;
    out.bitCount = l.bitCount;
    out.compression = l.compression;
    out.xPelsPerMeter = l.xPelsPerMeter;
    out.yPelsPerMeter = l.yPelsPerMeter;
    return Status::Ok;
}

Status decodeDib(std::span<const uint8_t> dib, size_t bitsOffset, const DibOptions& options,
                 Frame& out) {
    Layout l;
    Status s = parseLayout(dib, options.container, l);
    if (s != Status::Ok) return s;
    // Bits announced inside the header or colour table are taken to follow the table.
    if (bitsOffset < l.paletteOffset) bitsOffset = defaultBitsOffset(l);
    Palette palette = readPalette(dib, l, bitsOffset);
    std::span<const uint8_t> bits = bitsOffset < dib.size() ? dib.subspan(bitsOffset)
                                                            : std::span<const uint8_t>{};
    Frame frame;
    s = decodeBits(l, options.container, std::move(palette), bits, frame);
    if (s != Status::Ok) return s;
    if (options.container == DibContainer::IconEntry) {
        MaskBits mask;
        mask.stride = ((static_cast<uint64_t>(l.width) + 31) / 32) * 4;
        mask.rows = l.height;
        mask.topDown = l.topDown;
        uint64_t colourBytes = sourceStride(l) * static_cast<uint64_t>(l.height);
        if (l.encoding == Encoding::Raw || l.encoding == Encoding::TwoBit ||
            l.encoding == Encoding::BitFields) {
            if (colourBytes < bits.size()) mask.bits = bits.subspan(static_cast<size_t>(colourBytes));
        }
        s = applyIconMask(mask, frame);
        if (s != Status::Ok) return s;
    }
    setResolutionAndFlags(l, dib, frame);
    out = std::move(frame);
    return Status::Ok;
}

Status createBitmapFromGdiDib(const uint8_t* bitmapInfo, size_t infoSize, const uint8_t* bits,
                              size_t bitsSize, std::unique_ptr<Image>& out) {
    if (!bitmapInfo || !bits) return Status::InvalidParameter;
    std::span<const uint8_t> info(bitmapInfo, infoSize);
    Layout l;
    Status s = parseLayout(info, DibContainer::Bitmap, l);
    if (s != Status::Ok) return s;
    Palette palette = readPalette(info, l, 0);
    Frame frame;
    s = decodeBits(l, DibContainer::Bitmap, std::move(palette), {bits, bitsSize}, frame);
    if (s != Status::Ok) return s;
    s = imageOfFrame(std::move(frame), out);
    return s;
}

Status createBitmapFromSection(const gdi::DibSection& section, std::unique_ptr<Image>& out) {
    Layout l = layoutOfSection(section);
    Frame frame;
    Status s = decodeBits(l, DibContainer::Bitmap, paletteOfSection(section), section.bits, frame);
    if (s != Status::Ok) return s;
    return imageOfFrame(std::move(frame), out);
}

Status createBitmapFromHBITMAP(gdi::HBITMAP handle, std::unique_ptr<Image>& out) {
    const gdi::DibSection* section = gdi::bitmap(handle);
    if (!section) return Status::InvalidParameter;
    return createBitmapFromSection(*section, out);
}

Status createBitmapFromHICON(gdi::HICON handle, std::unique_ptr<Image>& out) {
    const gdi::IconInfo* icon = gdi::icon(handle);
    if (!icon) return Status::InvalidParameter;
    Layout l = layoutOfSection(icon->color);
    Frame frame;
    Status s = decodeBits(l, DibContainer::IconEntry, paletteOfSection(icon->color),
                          icon->color.bits, frame);
    if (s != Status::Ok) return s;
    MaskBits mask;
    mask.bits = icon->mask.bits;
    mask.stride = icon->mask.stride();
    mask.rows = std::abs(icon->mask.height);
    mask.topDown = icon->mask.height < 0;
    s = applyIconMask(mask, frame);
    if (s != Status::Ok) return s;
    return imageOfFrame(std::move(frame), out);
}

Status sectionOfImage(const Image& image, ARGB background, gdi::DibSection& out) {
    const PixelData& px = image.pixels();
    if (px.empty()) return Status::InvalidParameter;
    if (!fitsAllocationLimit(px.width(), px.height(), PixelFormat32bppARGB)) return Status::OutOfMemory;
    gdi::DibSection section;
    section.width = px.width();
    section.height = -px.height();
    section.bitCount = 32;
    section.bits.resize(static_cast<size_t>(section.stride()) * static_cast<size_t>(px.height()));
    forEachArgbRow(image, [&](int y, const std::vector<ARGB>& row) {
        uint8_t* dst = section.bits.data() + static_cast<size_t>(y) * section.stride();
        for (size_t x = 0; x < row.size(); ++x) wr32(dst + 4 * x, compositeOver(row[x], background));
    });
    out = std::move(section);
    return Status::Ok;
}

Status createHBITMAPFromBitmap(const Image& image, ARGB background, gdi::HBITMAP& out) {
    gdi::DibSection section;
    Status s = sectionOfImage(image, background, section);
    if (s != Status::Ok) return s;
    out = gdi::createBitmap(std::move(section));
    return out ? Status::Ok : Status::OutOfMemory;
}

Status createBitmapFromPackedDib(std::span<const uint8_t> dib, std::unique_ptr<Image>& out) {
    Layout l;
    Status s = parseLayout(dib, DibContainer::Bitmap, l);
    if (s != Status::Ok) return s;
    const size_t bitsOffset = defaultBitsOffset(l);
    // A block holds its whole picture: uncompressed rows cut short are damage
    // here, not a file whose end was lost.
    if (l.compression == kBiRgb || (!l.os2 && (l.compression == kBiBitfields || l.compression == kBiAlphaBitfields))) {
        const uint64_t stride = sourceStride(l);
        const uint64_t room = dib.size() > bitsOffset ? dib.size() - bitsOffset : 0;
        if (stride == 0 || room / stride < static_cast<uint64_t>(l.height)) return Status::InvalidParameter;
    }
    Frame frame;
    s = decodeDib(dib, bitsOffset, DibOptions{}, frame);
    if (s != Status::Ok) return s;
    float dpiX = frame.dpiX, dpiY = frame.dpiY;
    s = imageOfFrame(std::move(frame), out);
    if (s == Status::Ok && dpiX > 0 && dpiY > 0) out->setResolution(dpiX, dpiY);
    return s;
}

namespace {

constexpr size_t kInfoHeaderBytes = 40;
constexpr size_t kV5HeaderBytes = 124;
constexpr size_t kBmpFileHeaderBytes = 14;
constexpr uint32_t kLcsSrgb = 0x73524742;  // 'sRGB'
constexpr uint32_t kLcsGmImages = 4;

// A BITMAPV5HEADER in place of the 40-byte header at the start of `dib`. Bit
// fields after a 40-byte header are the V5 header's masks already.
void widenToV5(std::vector<uint8_t>& dib) {
    bool bitFields = rd32(dib, 16) == kBiBitfields;
    size_t keep = kInfoHeaderBytes + (bitFields ? 12 : 0);
    std::vector<uint8_t> tail(kV5HeaderBytes - keep, 0);
    // Tail offsets are V5 offsets minus `keep`: colour space at 60, intent at 108.
    wr32(tail.data() + (60 - keep), kLcsSrgb);
    wr32(tail.data() + (108 - keep), kLcsGmImages);
    dib.insert(dib.begin() + static_cast<ptrdiff_t>(keep), tail.begin(), tail.end());
    wr32(dib.data(), static_cast<uint32_t>(kV5HeaderBytes));
}

// A 40-byte header in place of a V5 one; 32-bit bit fields become plain
// 32-bit rows, which hold the same bytes (blue, green, red, alpha).
void narrowToInfo(std::vector<uint8_t>& dib) {
    dib.erase(dib.begin() + static_cast<ptrdiff_t>(kInfoHeaderBytes),
              dib.begin() + static_cast<ptrdiff_t>(kV5HeaderBytes));
    wr32(dib.data(), static_cast<uint32_t>(kInfoHeaderBytes));
    wr32(dib.data() + 16, kBiRgb);
}

}  // namespace

Status packDib(const Image& image, DibHeaderKind kind, std::vector<uint8_t>& out) {
    ByteSink file;
    Status s = codecs::bmpEncoder().encode(image, EncoderParameters{}, file);
    if (s != Status::Ok) return s;
    std::vector<uint8_t> dib(file.begin() + kBmpFileHeaderBytes, file.end());
    size_t header = rd32(dib, 0);
    if (kind == DibHeaderKind::V5 && header == kInfoHeaderBytes) widenToV5(dib);
    if (kind == DibHeaderKind::Info && header == kV5HeaderBytes) narrowToInfo(dib);
    out = std::move(dib);
    return Status::Ok;
}

Status createHICONFromBitmap(const Image& image, gdi::HICON& out) {
    const PixelData& px = image.pixels();
    if (px.empty()) return Status::InvalidParameter;
    if (!fitsAllocationLimit(px.width(), px.height(), PixelFormat32bppARGB)) return Status::OutOfMemory;
    gdi::IconInfo info;
    info.isIcon = true;
    info.hotspotX = px.width() / 2;
    info.hotspotY = px.height() / 2;
    info.color.width = info.mask.width = px.width();
    info.color.height = info.mask.height = -px.height();
    info.color.bitCount = 32;
    info.mask.bitCount = 1;
    info.mask.colors = {0x000000, 0xffffff};
    info.color.bits.resize(static_cast<size_t>(info.color.stride()) * static_cast<size_t>(px.height()));
    info.mask.bits.resize(static_cast<size_t>(info.mask.stride()) * static_cast<size_t>(px.height()));
    forEachArgbRow(image, [&](int y, const std::vector<ARGB>& row) {
        uint8_t* colour = info.color.bits.data() + static_cast<size_t>(y) * info.color.stride();
        uint8_t* mask = info.mask.bits.data() + static_cast<size_t>(y) * info.mask.stride();
        for (size_t x = 0; x < row.size(); ++x) {
            wr32(colour + 4 * x, row[x]);
            if ((row[x] >> 24) == 0) mask[x / 8] |= static_cast<uint8_t>(0x80 >> (x & 7));
        }
    });
    out = gdi::createIcon(std::move(info));
    return out ? Status::Ok : Status::OutOfMemory;
}

}  // namespace orrery::gdiplus
