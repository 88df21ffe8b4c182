// Handle tables standing in for the platform's bitmap, icon, metafile,
// palette and global-memory objects. A handle is a positive 32-bit number naming one
// object of its table; 0 is never a valid handle. Each table is per thread,
// like the user-interface objects it stands in for.
#pragma once
#include <cstdint>
#include <span>
#include <vector>

#include "platform/gdiplus/pixel_format.h"

namespace orrery::gdi {

using HBITMAP = uint32_t;
using HICON = uint32_t;
using HGLOBAL = uint32_t;
using HMETAFILE = uint32_t;
using HENHMETAFILE = uint32_t;
using HPALETTE = uint32_t;

// A device-independent bitmap section: what a BITMAPINFOHEADER describes.
struct DibSection {
    int width = 0;
    int height = 0;        // positive: bottom-up rows; negative: top-down
    int bitCount = 0;      // 1, 4, 8, 16, 24 or 32
    std::vector<uint32_t> colors;  // colour table, 0x00RRGGBB (RGBQUAD order)
    std::vector<uint8_t> bits;     // rows padded to 4 bytes, in the order `height` says
    uint32_t stride() const { return ((static_cast<uint32_t>(width) * bitCount + 31) / 32) * 4; }
};

// Creates a bitmap handle owning the section. 0 when the section is invalid
// (sizes below 1, an unknown bit count, too few bits).
HBITMAP createBitmap(DibSection section);
// Null when the handle does not name a bitmap.
const DibSection* bitmap(HBITMAP handle);
bool deleteBitmap(HBITMAP handle);
// Removes the bitmap from its table and hands its section to the caller, as
// an owner that takes a handle's object (the clipboard) does. False when the
// handle names no bitmap.
bool takeBitmap(HBITMAP handle, DibSection& out);

// An icon: a colour bitmap and an AND mask (1 bpp, same size); a 32-bit colour
// bitmap with non-zero alpha carries its own transparency.
struct IconInfo {
    bool isIcon = true;  // false for a cursor
    int hotspotX = 0;
    int hotspotY = 0;
    DibSection color;
    DibSection mask;
};
HICON createIcon(IconInfo info);
const IconInfo* icon(HICON handle);
bool destroyIcon(HICON handle);

// Global memory blocks (GlobalAlloc and friends). Lock returns the block's
// bytes; the pointer stays valid until the block is freed.
HGLOBAL globalAlloc(size_t size);
uint8_t* globalLock(HGLOBAL handle);
bool globalUnlock(HGLOBAL handle);
size_t globalSize(HGLOBAL handle);
bool globalFree(HGLOBAL handle);

// Windows metafiles (the header and records, without a placeable header)
// and enhanced metafiles, made from a copy of their bytes as
// SetMetaFileBitsEx and SetEnhMetaFileBits make them. 0 when the bytes do
// not start with such a header or pass the size of a global block. The
// records are checked when the metafile is drawn.
HMETAFILE setMetaFileBits(std::span<const uint8_t> bytes);
// Null when the handle names no metafile of the kind.
const std::vector<uint8_t>* metaFileBits(HMETAFILE handle);
bool deleteMetaFile(HMETAFILE handle);
HENHMETAFILE setEnhMetaFileBits(std::span<const uint8_t> bytes);
const std::vector<uint8_t>* enhMetaFileBits(HENHMETAFILE handle);
bool deleteEnhMetaFile(HENHMETAFILE handle);

// Logical palettes: 1 to 256 colours, 0x00RRGGBB. 0 for any other count.
HPALETTE createPalette(std::vector<uint32_t> colors);
const std::vector<uint32_t>* palette(HPALETTE handle);
bool deletePalette(HPALETTE handle);

// Counts of live objects, for leak checks in tests.
size_t liveBitmapCount();
size_t liveIconCount();
size_t liveGlobalCount();
size_t liveMetaFileCount();
size_t liveEnhMetaFileCount();
size_t livePaletteCount();

}  // namespace orrery::gdi
