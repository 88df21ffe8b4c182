// Device-independent bitmaps: the one reader of DIB headers, colour tables
// and pixel bits that BMP files, ICO/CUR entries, packed DIBs and bitmap
// handles share, and the conversions between images and bitmap or icon
// handles.
#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "platform/gdi/handles.h"
#include "platform/gdiplus/frame.h"
#include "platform/gdiplus/image.h"

namespace orrery::gdiplus {

// Where a DIB comes from; it decides how the height and the bits are read.
enum class DibContainer {
    // A BMP file (without its 14-byte file header) or a packed DIB: the
    // height counts image rows.
    Bitmap,
    // An ICO/CUR entry: the height counts the colour rows and the 1-bit AND
    // mask rows that follow them; a 32-bit colour part carries alpha. The
    // result is 32bppARGB with the mask applied.
    IconEntry,
};

struct DibOptions {
    DibContainer container = DibContainer::Bitmap;
};

// What a DIB header announces, read without decoding the pixels.
struct DibInfo {
    int width = 0;
    int height = 0;  // image rows (colour rows for icon entries)
    int bitCount = 0;
    uint32_t compression = 0;
    int32_t xPelsPerMeter = 0;  // 0 when the header has none
    int32_t yPelsPerMeter = 0;
};

// Reads the header at the start of `dib`. InvalidParameter when it is too
// short or not a DIB header.
Status probeDib(std::span<const uint8_t> dib, DibContainer container, DibInfo& out);

// Decodes a DIB. `dib` starts at the DIB header; the pixel bits start at
// `bitsOffset` bytes into it, or right after the colour table when
// `bitsOffset` is 0. Every header kind is read: OS/2 1.x core (12 bytes),
// OS/2 2.x (16..64), BITMAPINFOHEADER (40), V2/V3 (52/56), V4 (108), V5 (124).
// Bits missing at the end of the data leave the rest of the image zero, as a
// browser shows a truncated file. A header that cannot describe an image gives
// InvalidParameter (or UnknownImageFormat for an unknown compression, and
// OutOfMemory when the pixels would exceed the allocation limit).
Status decodeDib(std::span<const uint8_t> dib, size_t bitsOffset, const DibOptions& options,
                 Frame& out);

// The platform's GdipCreateBitmapFromGdiDib: `bitmapInfo` holds the header
// and colour table (and bit-field masks), `bits` the pixel rows. The pixels
// are copied. Raw format MemoryBMP.
Status createBitmapFromGdiDib(const uint8_t* bitmapInfo, size_t infoSize, const uint8_t* bits,
                              size_t bitsSize, std::unique_ptr<Image>& out);

// Copies a bitmap handle's pixels into a new image (MemoryBMP). A 32-bit
// section becomes 32bppRGB: its fourth byte is not taken as alpha.
// InvalidParameter when the handle names no bitmap.
Status createBitmapFromHBITMAP(gdi::HBITMAP handle, std::unique_ptr<Image>& out);

// A 32bppARGB image of an icon: a 32-bit colour bitmap with some non-zero
// alpha keeps its alpha, otherwise the AND mask gives it (mask bit set:
// transparent). InvalidParameter when the handle names no icon.
Status createBitmapFromHICON(gdi::HICON handle, std::unique_ptr<Image>& out);

// A new bitmap handle: a 32-bit top-down section of the image composited
// over `background`. InvalidParameter for an image without pixels.
Status createHBITMAPFromBitmap(const Image& image, ARGB background, gdi::HBITMAP& out);

// A 32-bit top-down section of the image composited over `background`: what
// a bitmap handle made from the image holds. InvalidParameter for an image
// without pixels, OutOfMemory beyond the allocation limit.
Status sectionOfImage(const Image& image, ARGB background, gdi::DibSection& out);

// Copies a section's pixels into a new image (MemoryBMP), as
// createBitmapFromHBITMAP does for the section behind a handle.
Status createBitmapFromSection(const gdi::DibSection& section, std::unique_ptr<Image>& out);

// A packed DIB (header, bit-field masks, colour table, bits, as a global
// block or the clipboard holds one) decoded into a new image. The bits start
// after the colour table that the header announces; uncompressed bits that
// do not all fit in `dib` give InvalidParameter.
Status createBitmapFromPackedDib(std::span<const uint8_t> dib, std::unique_ptr<Image>& out);

// Which header a packed DIB is written with: BITMAPINFOHEADER (40 bytes) or
// BITMAPV5HEADER (124 bytes, sRGB).
enum class DibHeaderKind { Info, V5 };

// Writes the image as a packed DIB with the header asked for, in the depth
// the BMP writer chooses for its pixel format.
Status packDib(const Image& image, DibHeaderKind kind, std::vector<uint8_t>& out);

// A new icon handle: a 32-bit top-down colour bitmap carrying the image's
// alpha, and an AND mask set where the image is fully transparent. The hot
// spot is the centre.
Status createHICONFromBitmap(const Image& image, gdi::HICON& out);

}  // namespace orrery::gdiplus
