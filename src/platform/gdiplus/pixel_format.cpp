#include "platform/gdiplus/pixel_format.h"

#include <algorithm>
#include <cstring>
#include <limits>

namespace orrery::gdiplus {

const std::vector<PixelFormat>& allPixelFormats() {
    static const std::vector<PixelFormat> formats = {
        PixelFormat1bppIndexed,    PixelFormat4bppIndexed,    PixelFormat8bppIndexed,
        PixelFormat16bppGrayScale, PixelFormat16bppRGB555,    PixelFormat16bppRGB565,
        PixelFormat16bppARGB1555,  PixelFormat24bppRGB,       PixelFormat32bppRGB,
        PixelFormat32bppARGB,      PixelFormat32bppPARGB,     PixelFormat48bppRGB,
        PixelFormat64bppARGB,      PixelFormat64bppPARGB,
    };
    return formats;
}

bool isValidPixelFormat(int32_t format) {
    for (PixelFormat f : allPixelFormats())
        if (f == format) return true;
    return false;
}

size_t strideFor(PixelFormat f, int width) {
    return ((static_cast<size_t>(width) * bitsPerPixel(f) + 31) / 32) * 4;
}

const char* pixelFormatName(PixelFormat f) {
    switch (f) {
        case PixelFormat1bppIndexed: return "PixelFormat1bppIndexed";
        case PixelFormat4bppIndexed: return "PixelFormat4bppIndexed";
        case PixelFormat8bppIndexed: return "PixelFormat8bppIndexed";
        case PixelFormat16bppGrayScale: return "PixelFormat16bppGrayScale";
        case PixelFormat16bppRGB555: return "PixelFormat16bppRGB555";
        case PixelFormat16bppRGB565: return "PixelFormat16bppRGB565";
        case PixelFormat16bppARGB1555: return "PixelFormat16bppARGB1555";
        case PixelFormat24bppRGB: return "PixelFormat24bppRGB";
        case PixelFormat32bppRGB: return "PixelFormat32bppRGB";
        case PixelFormat32bppARGB: return "PixelFormat32bppARGB";
        case PixelFormat32bppPARGB: return "PixelFormat32bppPARGB";
        case PixelFormat48bppRGB: return "PixelFormat48bppRGB";
        case PixelFormat64bppARGB: return "PixelFormat64bppARGB";
        case PixelFormat64bppPARGB: return "PixelFormat64bppPARGB";
        default: return "PixelFormatUndefined";
    }
}

// ---------------------------------------------------------------------------
// Palettes

namespace {
constexpr ARGB kSystemColors[16] = {
    0xFF000000, 0xFF800000, 0xFF008000, 0xFF808000, 0xFF000080, 0xFF800080,
    0xFF008080, 0xFF808080, 0xFFC0C0C0, 0xFFFF0000, 0xFF00FF00, 0xFFFFFF00,
    0xFF0000FF, 0xFFFF00FF, 0xFF00FFFF, 0xFFFFFFFF,
};
}  // namespace

Palette grayPalette(int entries) {
    Palette p;
    p.flags = PaletteFlagsGrayScale;
    p.entries.resize(static_cast<size_t>(entries));
    for (int i = 0; i < entries; ++i) {
        uint32_t v = entries > 1 ? static_cast<uint32_t>(i * 255 / (entries - 1)) : 0;
        p.entries[static_cast<size_t>(i)] = 0xFF000000u | (v << 16) | (v << 8) | v;
    }
    return p;
}

Palette defaultPalette(PixelFormat f) {
    Palette p;
    switch (f) {
        case PixelFormat1bppIndexed:
            p.flags = PaletteFlagsGrayScale;
            p.entries = {0xFF000000, 0xFFFFFFFF};
            break;
        case PixelFormat4bppIndexed:
            p.entries.assign(std::begin(kSystemColors), std::end(kSystemColors));
            break;
        case PixelFormat8bppIndexed: {
            // Halftone: the 16 system colours, the 6x6x6 colour cube, then black.
            p.flags = PaletteFlagsHalftone;
            p.entries.assign(std::begin(kSystemColors), std::end(kSystemColors));
            for (uint32_t r = 0; r < 6; ++r)
                for (uint32_t g = 0; g < 6; ++g)
                    for (uint32_t b = 0; b < 6; ++b)
                        p.entries.push_back(0xFF000000u | (r * 51 << 16) | (g * 51 << 8) | (b * 51));
            p.entries.resize(256, 0xFF000000u);
            break;
        }
        default: break;
    }
    return p;
}

int nearestPaletteIndex(const Palette& palette, ARGB c) {
    int best = 0;
    uint32_t bestDistance = std::numeric_limits<uint32_t>::max();
    const int a = c >> 24, r = (c >> 16) & 0xff, g = (c >> 8) & 0xff, b = c & 0xff;
    for (size_t i = 0; i < palette.entries.size(); ++i) {
        ARGB e = palette.entries[i];
        int da = static_cast<int>(e >> 24) - a, dr = static_cast<int>((e >> 16) & 0xff) - r;
        int dg = static_cast<int>((e >> 8) & 0xff) - g, db = static_cast<int>(e & 0xff) - b;
        uint32_t d = static_cast<uint32_t>(da * da + dr * dr + dg * dg + db * db);
        if (d < bestDistance) {
            bestDistance = d;
            best = static_cast<int>(i);
            if (d == 0) break;
        }
    }
    return best;
}

// ---------------------------------------------------------------------------
// Premultiplication

ARGB premultiply(ARGB c) {
    uint32_t a = c >> 24;
    if (a == 255) return c;
    if (a == 0) return 0;
    auto m = [a](uint32_t v) { return (v * a + 127) / 255; };
    return (a << 24) | (m((c >> 16) & 0xff) << 16) | (m((c >> 8) & 0xff) << 8) | m(c & 0xff);
}

ARGB unpremultiply(ARGB c) {
    uint32_t a = c >> 24;
    if (a == 255) return c;
    if (a == 0) return 0;
    auto u = [a](uint32_t v) { return std::min<uint32_t>(255, (v * 255 + a / 2) / a); };
    return (a << 24) | (u((c >> 16) & 0xff) << 16) | (u((c >> 8) & 0xff) << 8) | u(c & 0xff);
}

namespace {

using ARGB64 = uint64_t;

inline uint16_t load16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
inline void store16(uint8_t* p, uint32_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}
inline uint32_t load32(const uint8_t* p) {
    uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
}
inline void store32(uint8_t* p, uint32_t v) { std::memcpy(p, &v, 4); }

inline uint32_t expand5(uint32_t v) { return (v << 3) | (v >> 2); }
inline uint32_t expand6(uint32_t v) { return (v << 2) | (v >> 4); }
inline uint32_t reduce5(uint32_t v) { return (v * 31 + 127) / 255; }
inline uint32_t reduce6(uint32_t v) { return (v * 63 + 127) / 255; }
inline uint32_t to16(uint32_t v8) { return v8 * 257; }
inline uint32_t to8(uint32_t v16) { return (v16 * 255 + 32767) / 65535; }

inline ARGB64 pack64(uint64_t a, uint64_t r, uint64_t g, uint64_t b) {
    return (a << 48) | (r << 32) | (g << 16) | b;
}
inline ARGB64 widen(ARGB c) {
    return pack64(to16(c >> 24), to16((c >> 16) & 0xff), to16((c >> 8) & 0xff), to16(c & 0xff));
}
inline ARGB narrow(ARGB64 c) {
    return (to8(static_cast<uint32_t>(c >> 48)) << 24) |
           (to8(static_cast<uint32_t>(c >> 32) & 0xffff) << 16) |
           (to8(static_cast<uint32_t>(c >> 16) & 0xffff) << 8) | to8(static_cast<uint32_t>(c & 0xffff));
}

inline uint32_t indexAt(PixelFormat f, const uint8_t* row, int x) {
    switch (f) {
        case PixelFormat1bppIndexed: return (row[x >> 3] >> (7 - (x & 7))) & 1;
        case PixelFormat4bppIndexed: return (x & 1) ? row[x >> 1] & 0x0f : row[x >> 1] >> 4;
        default: return row[x];
    }
}

inline void putIndex(PixelFormat f, uint8_t* row, int x, uint32_t index) {
    switch (f) {
        case PixelFormat1bppIndexed: {
            uint8_t bit = static_cast<uint8_t>(0x80 >> (x & 7));
            row[x >> 3] = (index & 1) ? (row[x >> 3] | bit) : (row[x >> 3] & ~bit);
            break;
        }
        case PixelFormat4bppIndexed:
            row[x >> 1] = (x & 1) ? static_cast<uint8_t>((row[x >> 1] & 0xf0) | (index & 0x0f))
                                  : static_cast<uint8_t>((row[x >> 1] & 0x0f) | ((index & 0x0f) << 4));
            break;
        default: row[x] = static_cast<uint8_t>(index);
    }
}

// Runs fn(offset, n) over `count` pixels in pieces that fit the stack
// buffers of the two-step conversions.
constexpr int kChunk = 256;
template <typename Fn>
void forChunks(int count, Fn fn) {
    for (int done = 0; done < count;) {
        const int n = std::min(kChunk, count - done);
        fn(done, n);
        done += n;
    }
}

inline ARGB paletteColor(const Palette* palette, uint32_t index) {
    if (palette && index < palette->entries.size()) return palette->entries[index];
    return 0xFF000000u;
}

// Finds palette indices quickly for runs of equal colours.
class IndexFinder {
public:
    explicit IndexFinder(const Palette* palette) : palette_(palette) {}
    uint32_t find(ARGB c) {
        if (!palette_ || palette_->entries.empty()) return 0;
        if (valid_ && c == last_) return lastIndex_;
        last_ = c;
        lastIndex_ = static_cast<uint32_t>(nearestPaletteIndex(*palette_, c));
        valid_ = true;
        return lastIndex_;
    }

private:
    const Palette* palette_;
    ARGB last_ = 0;
    uint32_t lastIndex_ = 0;
    bool valid_ = false;
};

}  // namespace

void rowToArgb32(PixelFormat src, const uint8_t* in, int x0, int count, const Palette* palette,
                 ARGB* out) {
    switch (src) {
        case PixelFormat1bppIndexed:
        case PixelFormat4bppIndexed:
        case PixelFormat8bppIndexed:
            for (int i = 0; i < count; ++i) out[i] = paletteColor(palette, indexAt(src, in, x0 + i));
            return;
        case PixelFormat16bppRGB555:
            for (int i = 0; i < count; ++i) {
                uint32_t v = load16(in + 2 * (x0 + i));
                out[i] = 0xFF000000u | (expand5((v >> 10) & 31) << 16) | (expand5((v >> 5) & 31) << 8) |
                         expand5(v & 31);
            }
            return;
        case PixelFormat16bppARGB1555:
            for (int i = 0; i < count; ++i) {
                uint32_t v = load16(in + 2 * (x0 + i));
                out[i] = ((v & 0x8000) ? 0xFF000000u : 0u) | (expand5((v >> 10) & 31) << 16) |
                         (expand5((v >> 5) & 31) << 8) | expand5(v & 31);
            }
            return;
        case PixelFormat16bppRGB565:
            for (int i = 0; i < count; ++i) {
                uint32_t v = load16(in + 2 * (x0 + i));
                out[i] = 0xFF000000u | (expand5(v >> 11) << 16) | (expand6((v >> 5) & 63) << 8) |
                         expand5(v & 31);
            }
            return;
        case PixelFormat24bppRGB:
            for (int i = 0; i < count; ++i) {
                const uint8_t* p = in + 3 * (x0 + i);
                out[i] = 0xFF000000u | (uint32_t(p[2]) << 16) | (uint32_t(p[1]) << 8) | p[0];
            }
            return;
        case PixelFormat32bppRGB:
            for (int i = 0; i < count; ++i) out[i] = load32(in + 4 * (x0 + i)) | 0xFF000000u;
            return;
        case PixelFormat32bppARGB:
            std::memcpy(out, in + 4 * x0, static_cast<size_t>(count) * 4);
            return;
        case PixelFormat32bppPARGB:
            for (int i = 0; i < count; ++i) out[i] = unpremultiply(load32(in + 4 * (x0 + i)));
            return;
        case PixelFormat16bppGrayScale:
        case PixelFormat48bppRGB:
        case PixelFormat64bppARGB:
        case PixelFormat64bppPARGB: {
            ARGB64 buf[kChunk];
            forChunks(count, [&](int done, int n) {
                rowToArgb64(src, in, x0 + done, n, palette, buf);
                for (int i = 0; i < n; ++i) out[done + i] = narrow(buf[i]);
            });
            return;
        }
        default:
            std::fill(out, out + count, 0u);
    }
}

void rowToArgb64(PixelFormat src, const uint8_t* in, int x0, int count, const Palette* palette,
                 uint64_t* out) {
    switch (src) {
        case PixelFormat16bppGrayScale:
            for (int i = 0; i < count; ++i) {
                uint64_t v = load16(in + 2 * (x0 + i));
                out[i] = pack64(0xffff, v, v, v);
            }
            return;
        case PixelFormat48bppRGB:
            for (int i = 0; i < count; ++i) {
                const uint8_t* p = in + 6 * (x0 + i);
                out[i] = pack64(0xffff, load16(p + 4), load16(p + 2), load16(p));
            }
            return;
        case PixelFormat64bppARGB:
            for (int i = 0; i < count; ++i) {
                const uint8_t* p = in + 8 * (x0 + i);
                out[i] = pack64(load16(p + 6), load16(p + 4), load16(p + 2), load16(p));
            }
            return;
        case PixelFormat64bppPARGB:
            for (int i = 0; i < count; ++i) {
                const uint8_t* p = in + 8 * (x0 + i);
                uint64_t a = load16(p + 6);
                auto u = [a](uint64_t v) {
                    return a == 0 ? 0 : std::min<uint64_t>(65535, (v * 65535 + a / 2) / a);
                };
                out[i] = pack64(a, u(load16(p + 4)), u(load16(p + 2)), u(load16(p)));
            }
            return;
        default: {
            ARGB buf[kChunk];
            forChunks(count, [&](int done, int n) {
                rowToArgb32(src, in, x0 + done, n, palette, buf);
                for (int i = 0; i < n; ++i) out[done + i] = widen(buf[i]);
            });
        }
    }
}

void rowFromArgb32(PixelFormat dst, const ARGB* in, int count, const Palette* palette, uint8_t* out,
                   int x0) {
    switch (dst) {
        case PixelFormat1bppIndexed:
        case PixelFormat4bppIndexed:
        case PixelFormat8bppIndexed: {
            IndexFinder finder(palette);
            for (int i = 0; i < count; ++i) putIndex(dst, out, x0 + i, finder.find(in[i]));
            return;
        }
        case PixelFormat16bppRGB555:
            for (int i = 0; i < count; ++i) {
                ARGB c = in[i];
                store16(out + 2 * (x0 + i), (reduce5((c >> 16) & 0xff) << 10) |
                                                (reduce5((c >> 8) & 0xff) << 5) | reduce5(c & 0xff));
            }
            return;
        case PixelFormat16bppARGB1555:
            for (int i = 0; i < count; ++i) {
                ARGB c = in[i];
                store16(out + 2 * (x0 + i), ((c >> 24) >= 128 ? 0x8000u : 0u) |
                                                (reduce5((c >> 16) & 0xff) << 10) |
                                                (reduce5((c >> 8) & 0xff) << 5) | reduce5(c & 0xff));
            }
            return;
        case PixelFormat16bppRGB565:
            for (int i = 0; i < count; ++i) {
                ARGB c = in[i];
                store16(out + 2 * (x0 + i), (reduce5((c >> 16) & 0xff) << 11) |
                                                (reduce6((c >> 8) & 0xff) << 5) | reduce5(c & 0xff));
            }
            return;
        case PixelFormat24bppRGB:
            for (int i = 0; i < count; ++i) {
                uint8_t* p = out + 3 * (x0 + i);
                p[0] = static_cast<uint8_t>(in[i]);
                p[1] = static_cast<uint8_t>(in[i] >> 8);
                p[2] = static_cast<uint8_t>(in[i] >> 16);
            }
            return;
        case PixelFormat32bppRGB:
            for (int i = 0; i < count; ++i) store32(out + 4 * (x0 + i), in[i] | 0xFF000000u);
            return;
        case PixelFormat32bppARGB:
            std::memcpy(out + 4 * x0, in, static_cast<size_t>(count) * 4);
            return;
        case PixelFormat32bppPARGB:
            for (int i = 0; i < count; ++i) store32(out + 4 * (x0 + i), premultiply(in[i]));
            return;
        case PixelFormat16bppGrayScale:
        case PixelFormat48bppRGB:
        case PixelFormat64bppARGB:
        case PixelFormat64bppPARGB: {
            ARGB64 buf[kChunk];
            forChunks(count, [&](int done, int n) {
                for (int i = 0; i < n; ++i) buf[i] = widen(in[done + i]);
                rowFromArgb64(dst, buf, n, palette, out, x0 + done);
            });
            return;
        }
        default: return;
    }
}

void rowFromArgb64(PixelFormat dst, const uint64_t* in, int count, const Palette* palette,
                   uint8_t* out, int x0) {
    switch (dst) {
        case PixelFormat16bppGrayScale:
            for (int i = 0; i < count; ++i) {
                uint64_t c = in[i];
                uint64_t y = (((c >> 32) & 0xffff) * 299 + ((c >> 16) & 0xffff) * 587 + (c & 0xffff) * 114 + 500) / 1000;
                store16(out + 2 * (x0 + i), static_cast<uint32_t>(y));
            }
            return;
        case PixelFormat48bppRGB:
            for (int i = 0; i < count; ++i) {
                uint8_t* p = out + 6 * (x0 + i);
                store16(p, static_cast<uint32_t>(in[i] & 0xffff));
                store16(p + 2, static_cast<uint32_t>((in[i] >> 16) & 0xffff));
                store16(p + 4, static_cast<uint32_t>((in[i] >> 32) & 0xffff));
            }
            return;
        case PixelFormat64bppARGB:
            for (int i = 0; i < count; ++i) {
                uint8_t* p = out + 8 * (x0 + i);
                for (int k = 0; k < 4; ++k) store16(p + 2 * k, static_cast<uint32_t>((in[i] >> (16 * k)) & 0xffff));
            }
            return;
        case PixelFormat64bppPARGB:
            for (int i = 0; i < count; ++i) {
                uint8_t* p = out + 8 * (x0 + i);
                uint64_t a = in[i] >> 48;
                for (int k = 0; k < 3; ++k) {
                    uint64_t v = (in[i] >> (16 * k)) & 0xffff;
                    store16(p + 2 * k, static_cast<uint32_t>((v * a + 32767) / 65535));
                }
                store16(p + 6, static_cast<uint32_t>(a));
            }
            return;
        default: {
            ARGB buf[kChunk];
            forChunks(count, [&](int done, int n) {
                for (int i = 0; i < n; ++i) buf[i] = narrow(in[done + i]);
                rowFromArgb32(dst, buf, n, palette, out, x0 + done);
            });
        }
    }
}

namespace {
bool isDeep(PixelFormat f) {
    return f == PixelFormat16bppGrayScale || f == PixelFormat48bppRGB || f == PixelFormat64bppARGB ||
           f == PixelFormat64bppPARGB;
}
}  // namespace

void convertRow(PixelFormat src, const uint8_t* in, int srcX0, const Palette* srcPalette,
                PixelFormat dst, uint8_t* out, int dstX0, const Palette* dstPalette, int count) {
    const int bpp = bitsPerPixel(src);
    // Same format and byte-aligned: a plain copy keeps indices and bits exact.
    if (src == dst && (bpp >= 8 || ((srcX0 * bpp) % 8 == 0 && (dstX0 * bpp) % 8 == 0 &&
                                    (count * bpp) % 8 == 0))) {
        if (!isIndexed(src) || srcPalette == dstPalette ||
            (srcPalette && dstPalette && *srcPalette == *dstPalette)) {
            std::memmove(out + static_cast<size_t>(dstX0) * bpp / 8,
                         in + static_cast<size_t>(srcX0) * bpp / 8, static_cast<size_t>(count) * bpp / 8);
            return;
        }
    }
    // Indexed to indexed with the same palette: move indices, not colours.
    if (isIndexed(src) && isIndexed(dst) &&
        (srcPalette == dstPalette || (srcPalette && dstPalette && *srcPalette == *dstPalette))) {
        const uint32_t maxIndex = (1u << bitsPerPixel(dst)) - 1;
        for (int i = 0; i < count; ++i) {
            uint32_t index = indexAt(src, in, srcX0 + i);
            putIndex(dst, out, dstX0 + i, index <= maxIndex ? index : 0);
        }
        return;
    }
    if (isDeep(src) || isDeep(dst)) {
        ARGB64 buf[kChunk];
        forChunks(count, [&](int done, int n) {
            rowToArgb64(src, in, srcX0 + done, n, srcPalette, buf);
            rowFromArgb64(dst, buf, n, dstPalette, out, dstX0 + done);
        });
        return;
    }
    ARGB buf[kChunk];
    forChunks(count, [&](int done, int n) {
        rowToArgb32(src, in, srcX0 + done, n, srcPalette, buf);
        rowFromArgb32(dst, buf, n, dstPalette, out, dstX0 + done);
    });
}

}  // namespace orrery::gdiplus
