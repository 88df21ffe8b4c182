// Pixel formats with the platform's values, their facts, palettes and the row
// converters that move pixels between any two formats.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

namespace orrery::gdiplus {

using ARGB = uint32_t;  // 0xAARRGGBB, not premultiplied

enum PixelFormat : int32_t {
    PixelFormatUndefined = 0,
    PixelFormat1bppIndexed = 0x30101,
    PixelFormat4bppIndexed = 0x30402,
    PixelFormat8bppIndexed = 0x30803,
    PixelFormat16bppGrayScale = 0x101004,
    PixelFormat16bppRGB555 = 0x21005,
    PixelFormat16bppRGB565 = 0x21006,
    PixelFormat16bppARGB1555 = 0x61007,
    PixelFormat24bppRGB = 0x21808,
    PixelFormat32bppRGB = 0x22009,
    PixelFormat32bppARGB = 0x26200A,
    PixelFormat32bppPARGB = 0xE200B,
    PixelFormat48bppRGB = 0x10300C,
    PixelFormat64bppARGB = 0x34400D,
    PixelFormat64bppPARGB = 0x1C400E,
};

inline constexpr int32_t PixelFormatIndexed = 0x00010000;
inline constexpr int32_t PixelFormatGDI = 0x00020000;
inline constexpr int32_t PixelFormatAlpha = 0x00040000;
inline constexpr int32_t PixelFormatPAlpha = 0x00080000;
inline constexpr int32_t PixelFormatExtended = 0x00100000;
inline constexpr int32_t PixelFormatCanonical = 0x00200000;

// Every format listed above, in platform order.
const std::vector<PixelFormat>& allPixelFormats();
bool isValidPixelFormat(int32_t format);
inline int bitsPerPixel(PixelFormat f) { return (f >> 8) & 0xff; }
inline bool isIndexed(PixelFormat f) { return (f & PixelFormatIndexed) != 0; }
inline bool hasAlpha(PixelFormat f) { return (f & PixelFormatAlpha) != 0; }
inline bool isPremultiplied(PixelFormat f) { return (f & PixelFormatPAlpha) != 0; }
inline bool isExtended(PixelFormat f) { return (f & PixelFormatExtended) != 0; }
// Bytes of one row, padded to a multiple of four as the platform lays out bitmaps.
size_t strideFor(PixelFormat f, int width);
// Short name such as "PixelFormat24bppRGB".
const char* pixelFormatName(PixelFormat f);

// Palette flags and palette.
inline constexpr uint32_t PaletteFlagsHasAlpha = 1;
inline constexpr uint32_t PaletteFlagsGrayScale = 2;
inline constexpr uint32_t PaletteFlagsHalftone = 4;

struct Palette {
    uint32_t flags = 0;
    std::vector<ARGB> entries;
    friend bool operator==(const Palette&, const Palette&) = default;
};

// The palette the platform gives a new indexed bitmap: black and white for
// 1 bpp, the 16 system colours for 4 bpp, the halftone palette for 8 bpp.
Palette defaultPalette(PixelFormat f);
Palette grayPalette(int entries);

// Row conversion. Pixels go through one of two canonical forms: 8-bit
// non-premultiplied ARGB (uint32 0xAARRGGBB) or 16-bit per channel
// non-premultiplied ARGB (uint64 0xAAAARRRRGGGGBBBB). Deep formats
// (48/64 bpp, 16-bit grey) keep their precision through the 16-bit form.
// `palette` is used for indexed sources; indexed targets take the nearest
// palette entry.
void rowToArgb32(PixelFormat src, const uint8_t* in, int x0, int count, const Palette* palette,
                 ARGB* out);
void rowFromArgb32(PixelFormat dst, const ARGB* in, int count, const Palette* palette, uint8_t* out,
                   int x0 = 0);
void rowToArgb64(PixelFormat src, const uint8_t* in, int x0, int count, const Palette* palette,
                 uint64_t* out);
void rowFromArgb64(PixelFormat dst, const uint64_t* in, int count, const Palette* palette,
                   uint8_t* out, int x0 = 0);
// Converts `count` pixels of one row from `src` to `dst`, choosing the deep
// path when either side has more than 8 bits per channel.
void convertRow(PixelFormat src, const uint8_t* in, int srcX0, const Palette* srcPalette,
                PixelFormat dst, uint8_t* out, int dstX0, const Palette* dstPalette, int count);

// Index of the palette entry nearest to `c` (squared RGB distance, alpha too).
int nearestPaletteIndex(const Palette& palette, ARGB c);

// Premultiplication helpers, exact rounding.
ARGB premultiply(ARGB c);
ARGB unpremultiply(ARGB c);

}  // namespace orrery::gdiplus
