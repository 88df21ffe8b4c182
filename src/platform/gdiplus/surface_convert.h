// Moving an image's pixels into premultiplied a8r8g8b8, the one form that
// pixman and the resampler draw from, with the colour adjustments of image
// attributes applied on the way. Only the parts a drawing needs are moved.
#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "platform/gdiplus/graphics.h"
#include "platform/gdiplus/image.h"

namespace orrery::gdiplus {

// A premultiplied a8r8g8b8 pixel buffer owned by the drawing code (converted
// visible parts, reduced levels, resampled output).
class PremulBuffer {
public:
    // Zero-filled; InvalidParameter for sizes below 1, OutOfMemory above the
    // pixel allocation limit.
    Status allocate(int width, int height);
    bool empty() const { return !pixels_; }
    int width() const { return width_; }
    int height() const { return height_; }
    // Row distance in pixels (the width; rows are packed).
    ptrdiff_t stridePixels() const { return width_; }
    uint32_t* row(int y) { return pixels_.get() + static_cast<ptrdiff_t>(y) * width_; }
    const uint32_t* row(int y) const { return pixels_.get() + static_cast<ptrdiff_t>(y) * width_; }
    uint32_t* data() { return pixels_.get(); }

private:
    std::unique_ptr<uint32_t[]> pixels_;
    int width_ = 0;
    int height_ = 0;
};

// The colour adjustments of image attributes as tables: the remap table
// (exact ARGB match, first entry wins) and then gamma on the three colour
// channels through a 256-entry table. Works on non-premultiplied colours.
class ColorAdjuster {
public:
    explicit ColorAdjuster(const ImageAttributes* attributes = nullptr);
    bool identity() const { return !hasGamma_ && remap_.empty(); }
    ARGB apply(ARGB c) const;
    void applyRow(ARGB* row, int count) const;
    // Equal for adjustments that give equal results; caches key on it.
    uint64_t fingerprint() const { return fingerprint_; }

private:
    bool hasGamma_ = false;
    uint8_t gammaTable_[256] = {};
    std::vector<ColorMap> remap_;  // sorted by old colour, first of equals kept
    uint64_t fingerprint_ = 0;
};

// Reads rows of an image as premultiplied a8r8g8b8 through a colour
// adjustment. Without adjustment a 32bppPARGB image, and a 32bppARGB image
// known to be opaque (its bytes are then premultiplied already), are read in
// place; anything else is converted row by row into scratch memory.
enum class KnownOpaque { No, Yes };

class PremulRowReader {
public:
    PremulRowReader(const Image& image, const ColorAdjuster& adjust,
                    KnownOpaque opaque = KnownOpaque::No);
    // Pixels [x0, x0 + count) of row y, inside the image. The pointer stays
    // valid until the next call.
    const uint32_t* read(int y, int x0, int count);
    // The same pixels written to `out` (count pixels).
    void readInto(int y, int x0, int count, uint32_t* out) const;
    // True when read() returns pointers into the image's own pixels.
    bool inPlace() const { return inPlace_; }

private:
    const PixelData& pixels_;
    const Palette* palette_;
    const ColorAdjuster& adjust_;
    bool inPlace_;
    std::vector<uint32_t> scratch_;
};

// Converts `area` (which must lie inside the image) to premultiplied
// a8r8g8b8. OutOfMemory above the allocation limit.
Status convertArea(const Image& image, const Rect& area, const ColorAdjuster& adjust,
                   PremulBuffer& out);

// Premultiplies a row of non-premultiplied ARGB in place.
void premultiplyRow(uint32_t* row, int count);
// Undoes premultiplyRow.
void unpremultiplyRow(uint32_t* row, int count);

// True when every pixel of the buffer has alpha 255.
bool isOpaque(const PremulBuffer& buffer);

// True when every pixel of the image has alpha 255 (always true for formats
// without alpha; indexed images look at the palette entries used).
bool imageIsOpaque(const Image& image);

}  // namespace orrery::gdiplus
