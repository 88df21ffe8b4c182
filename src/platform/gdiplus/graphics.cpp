#include "platform/gdiplus/graphics.h"

#include <pixman.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>
#include <vector>

#include "platform/gdiplus/metafile_raster.h"
#include "platform/gdiplus/resample.h"
#include "platform/gdiplus/surface_convert.h"

namespace orrery::gdiplus {

// Where a drawing lands and how it samples. The target pixels `covered`
// are drawn; target pixel i (absolute) samples the source at coordinate
// offset + (i + 0.5) * step, source pixel j having its centre at j + 0.5.
struct DrawPlan {
    Rect covered;
    double offsetX = 0, offsetY = 0;
    double stepX = 1, stepY = 1;
};

namespace {

// pixman addresses source pixels in 16.16 fixed point.
constexpr int kPixmanMaxCoordinate = 32767;

struct DrawTarget {
    Image* image = nullptr;  // a bitmap target, or null for a surface
    Surface surface;
    int width = 0;
    int height = 0;
    float dpiX = kDefaultDpi;
    float dpiY = kDefaultDpi;
};

class PixmanRef {
public:
    explicit PixmanRef(pixman_image_t* p = nullptr) : p_(p) {}
    ~PixmanRef() {
        if (p_) pixman_image_unref(p_);
    }
    PixmanRef(const PixmanRef&) = delete;
    PixmanRef& operator=(const PixmanRef&) = delete;
    void reset(pixman_image_t* p) {
        if (p_) pixman_image_unref(p_);
        p_ = p;
    }
    pixman_image_t* get() const { return p_; }

private:
    pixman_image_t* p_;
};

pixman_image_t* wrapBits(pixman_format_code_t format, int width, int height, uint32_t* bits,
                         ptrdiff_t strideBytes) {
    return pixman_image_create_bits_no_clear(format, width, height, bits,
                                             static_cast<int>(strideBytes));
}

// The pixels of a target rectangle as a pixman a8r8g8b8 (or x8r8g8b8) image
// with its origin at the rectangle's corner. A surface is drawn in place; a
// bitmap is locked: 32-bit formats in their own layout (32bppARGB is
// premultiplied in place while open), every other format as a 32bppPARGB
// copy that the unlock converts back with the row converters.
class Canvas {
public:
    explicit Canvas(DrawTarget& target) : target_(target) {}
    ~Canvas() { close(); }
    Canvas(const Canvas&) = delete;
    Canvas& operator=(const Canvas&) = delete;

    Status open(const Rect& r) {
        rect_ = r;
        if (!target_.image) {
            const Surface& s = target_.surface;
            uint8_t* base = reinterpret_cast<uint8_t*>(s.pixels) + r.y * s.stride + 4 * r.x;
            pix_.reset(wrapBits(PIXMAN_a8r8g8b8, r.width, r.height,
                                reinterpret_cast<uint32_t*>(base), s.stride));
            return pix_.get() ? Status::Ok : Status::OutOfMemory;
        }
        const PixelFormat f = target_.image->pixelFormat();
        lockFormat_ = (f == PixelFormat32bppRGB || f == PixelFormat32bppARGB) ? f
                                                                               : PixelFormat32bppPARGB;
        Status st = target_.image->lockBits(&rect_, ImageLockModeRead | ImageLockModeWrite,
                                            lockFormat_, data_);
        if (st != Status::Ok) return st;
        locked_ = true;
        uint32_t* bits = reinterpret_cast<uint32_t*>(data_.scan0);
        ptrdiff_t stride = data_.stride;
        if (stride <= 0 || stride % 4 != 0) {
            // Bottom-up or oddly laid out memory: draw on a packed copy.
            st = shadow_.allocate(r.width, r.height);
            if (st != Status::Ok) return st;
            for (int y = 0; y < r.height; ++y)
                std::memcpy(shadow_.row(y), lockedRow(y), static_cast<size_t>(r.width) * 4);
            bits = shadow_.data();
            stride = static_cast<ptrdiff_t>(r.width) * 4;
        }
        if (lockFormat_ == PixelFormat32bppARGB)
            for (int y = 0; y < r.height; ++y)
                premultiplyRow(bits + y * (stride / 4), r.width);
        bits_ = bits;
        bitsStride_ = stride;
        pix_.reset(wrapBits(lockFormat_ == PixelFormat32bppRGB ? PIXMAN_x8r8g8b8 : PIXMAN_a8r8g8b8,
                            r.width, r.height, bits, stride));
        return pix_.get() ? Status::Ok : Status::OutOfMemory;
    }

    pixman_image_t* image() const { return pix_.get(); }

    Status close() {
        pix_.reset(nullptr);
        if (!locked_) return Status::Ok;
        locked_ = false;
        if (lockFormat_ == PixelFormat32bppARGB)
            for (int y = 0; y < rect_.height; ++y)
                unpremultiplyRow(bits_ + y * (bitsStride_ / 4), rect_.width);
        if (!shadow_.empty())
            for (int y = 0; y < rect_.height; ++y)
                std::memcpy(lockedRow(y), shadow_.row(y), static_cast<size_t>(rect_.width) * 4);
        return target_.image->unlockBits(data_);
    }

private:
    uint8_t* lockedRow(int y) { return data_.scan0 + y * data_.stride; }

    DrawTarget& target_;
    Rect rect_;
    PixelFormat lockFormat_ = PixelFormat32bppPARGB;
    BitmapData data_;
    bool locked_ = false;
    PremulBuffer shadow_;
    uint32_t* bits_ = nullptr;
    ptrdiff_t bitsStride_ = 0;
    PixmanRef pix_;
};


// One axis of a plan. Returns false when nothing of the axis is drawn.
bool planAxis(double dst, double dstSize, double src, double srcSize, int imageSize,
              int targetSize, bool halfOffset, int& first, int& count, double& offset,
              double& step) {
    const double s0 = std::max(src, 0.0);
    const double s1 = std::min(src + srcSize, static_cast<double>(imageSize));
    if (!(s1 > s0)) return false;
    step = srcSize / dstSize;
    // Only the part of the source inside the image draws, into the matching
    // part of the destination.
    const double d0 = dst + (s0 - src) / step;
    const double d1 = dst + (s1 - src) / step;
    // Target pixels whose centres lie in [d0, d1): centres at i + 0.5 with
    // the half offset, at i with the platform's default shift.
    const double centre = halfOffset ? 0.5 : 0.0;
    const double lo = std::max(std::ceil(d0 - centre), 0.0);
    const double hi = std::min(std::ceil(d1 - centre), static_cast<double>(targetSize));
    if (!(hi > lo)) return false;
    first = static_cast<int>(lo);
    count = static_cast<int>(hi - lo);
    // Half: the centre i + 0.5 maps to s0 + (i + 0.5 - d0) * step.
    // Default: the centre i maps to source coordinate s0 + (i - d0) * step,
    // which the source reads with its centres at j, that is j + 0.5 here.
    offset = halfOffset ? s0 - d0 * step : s0 - (d0 + 0.5) * step + 0.5;
    return true;
}

bool validRect(const RectF& r) {
    return std::isfinite(r.x) && std::isfinite(r.y) && std::isfinite(r.width) &&
           std::isfinite(r.height) && r.width >= 0 && r.height >= 0;
}

// The source pixels a point sampler (nearest or bilinear) reads for one axis
// of the plan, with a pixel to spare for fixed-point drift; inside the image.
void sampledRange(int first, int count, double offset, double step, int imageSize, int& lo,
                  int& hi) {
    const double u0 = offset + (first + 0.5) * step;
    const double u1 = offset + (first + count - 0.5) * step;
    lo = std::max(0, static_cast<int>(std::floor(std::min(u0, u1) - 0.5)) - 2);
    hi = std::min(imageSize, static_cast<int>(std::floor(std::max(u0, u1))) + 3);
}

// Visible parts above a quarter of the image, or of this many source pixels
// (about 20 ms to convert on each drawing), are drawn from a converted copy
// of the whole image kept with it. For a quarter, making the copy costs at
// most four conversions of the part; either way it is repaid within a few
// repaints (scrolling, resizing, animation), which then each take only
// pixman's time. Smaller parts of
// large images keep converting just the part: opening a huge image at
// 100 % stays quick, and a small view of it holds no copy of all of it.
// Once made, the copy serves every later drawing of the image.
constexpr int64_t kCopyMinVisiblePixels = int64_t{1} << 22;

// Whether drawing the sampled source part `visible` goes through the copy:
// when it is there already, or the part is large. Not for colour
// adjustments (the copy holds the plain pixels), not for indexed formats (a
// bilevel page stays one bit per pixel in memory), and not for pixels
// wrapping a caller's writable memory, which the caller may change without
// the image knowing (read-only memory, like the image's own, changes only
// through the image).
bool drawsFromCopy(const Image& image, const Rect& visible, const ColorAdjuster& adjust) {
    const PixelData& px = image.pixels();
    if (!adjust.identity() || isIndexed(px.format()) || !px.changesOnlyThroughImage()) return false;
    if (DrawCache::of(image).hasConvertedCopy()) return true;
    const int64_t area = int64_t{visible.width} * visible.height;
    const int64_t whole = int64_t{px.width()} * px.height();
    return area >= kCopyMinVisiblePixels || 4 * area > whole;
}

// What pixman samples for a point-sampled drawing: the image in place, its
// converted copy, or the converted sampled part (whose corner is at
// originX, originY of the image).
struct PointSource {
    PremulBuffer part;
    PixmanRef pix;  // released before the part it may wrap
    int originX = 0;
    int originY = 0;
};

pixman_image_t* wrapBuffer(pixman_format_code_t format, const PremulBuffer& b) {
    return wrapBits(format, b.width(), b.height(), const_cast<uint32_t*>(b.row(0)),
                    b.stridePixels() * 4);
}

// The image wrapped in place when pixman reads its layout (32bppPARGB as
// a8r8g8b8, 32bppRGB and opaque 32bppARGB as x8r8g8b8), else null.
bool readableInPlace(const Image& image, const ColorAdjuster& adjust, pixman_format_code_t& format) {
    const PixelData& px = image.pixels();
    const PixelFormat f = px.format();
    if (!adjust.identity() || px.stride() <= 0 || px.stride() % 4 != 0) return false;
    if (f == PixelFormat32bppPARGB)
        format = PIXMAN_a8r8g8b8;
    else if (f == PixelFormat32bppRGB ||
             (f == PixelFormat32bppARGB && DrawCache::of(image).opaque(image)))
        format = PIXMAN_x8r8g8b8;
    else
        return false;
    return true;
}

pixman_image_t* wrapInPlace(const Image& image, const ColorAdjuster& adjust) {
    pixman_format_code_t format;
    if (!readableInPlace(image, adjust, format)) return nullptr;
    const PixelData& px = image.pixels();
    return wrapBits(format, px.width(), px.height(),
                    reinterpret_cast<uint32_t*>(const_cast<uint8_t*>(px.scan0())), px.stride());
}

Status pointSource(const Image& image, const DrawPlan& plan, const ColorAdjuster& adjust,
                   PointSource& out) {
    out.pix.reset(wrapInPlace(image, adjust));
    if (out.pix.get()) return Status::Ok;
    const PixelData& px = image.pixels();
    int x0, x1, y0, y1;
    sampledRange(plan.covered.x, plan.covered.width, plan.offsetX, plan.stepX, px.width(), x0, x1);
    sampledRange(plan.covered.y, plan.covered.height, plan.offsetY, plan.stepY, px.height(), y0, y1);
    const Rect visible{x0, y0, x1 - x0, y1 - y0};
    if (drawsFromCopy(image, visible, adjust)) {
        // The copy is read exactly as a 32-bit image in place; when it does
        // not fit the allocation limit the part is converted as before.
        DrawCache& cache = DrawCache::of(image);
        const PremulBuffer* copy = nullptr;
        if (cache.convertedCopy(image, copy) == Status::Ok) {
            out.pix.reset(
                wrapBuffer(cache.opaque(image) ? PIXMAN_x8r8g8b8 : PIXMAN_a8r8g8b8, *copy));
            return out.pix.get() ? Status::Ok : Status::OutOfMemory;
        }
    }
    Status s = convertArea(image, visible, adjust, out.part);
    if (s != Status::Ok) return s;
    out.originX = x0;
    out.originY = y0;
    out.pix.reset(wrapBuffer(PIXMAN_a8r8g8b8, out.part));
    return out.pix.get() ? Status::Ok : Status::OutOfMemory;
}

// The source index pixman's nearest filter reads for target pixel `p` of
// one axis: the transform of the pixel's centre in 16.16 fixed point, as
// pixman rounds it, less the smallest step, clamped as the pad repeat does.
class NearestAxis {
public:
    NearestAxis(double offset, double step, int size)
        : step_(pixman_double_to_fixed(step)),
          start_(int64_t{pixman_double_to_fixed(offset)} + ((int64_t{step_} * 0x8000 + 0x8000) >> 16) -
                 pixman_fixed_e),
          size_(size) {}
    int index(int p) const {
        const int64_t i = (start_ + int64_t{step_} * p) >> 16;
        return static_cast<int>(std::clamp<int64_t>(i, 0, size_ - 1));
    }

private:
    int64_t step_;
    int64_t start_;
    int size_;
};

// A shrinking nearest-neighbour drawing converts only the source pixels it
// samples: exactly the pixels pixman would read, at the target's size, to be
// composited one to one. An indexed image (a bilevel page stays one bit per
// pixel and has no converted copy) is always drawn this way, so a fitted fax
// page converts a fraction of itself instead of all of it. Other images that
// pixman cannot read in place are drawn this way while they have no converted
// copy and the drawing reads at most half of the pixels it covers: the first
// frame of a large picture fitted to the window then costs the window's
// pixels, not a conversion of the whole picture (whose copy a fitted view,
// repainted by the resampler once the quality pass runs, would seldom use).
bool samplesRowsOnly(const Image& image, const DrawPlan& plan, pixman_filter_t filter,
                     const ColorAdjuster& adjust) {
    if (filter != PIXMAN_FILTER_NEAREST || plan.stepX < 1 || plan.stepY < 1) return false;
    const PixelFormat f = image.pixels().format();
    if (isIndexed(f)) return true;
    pixman_format_code_t inPlace;
    return plan.stepX * plan.stepY >= 2 && bitsPerPixel(f) % 8 == 0 &&
           !DrawCache::of(image).hasConvertedCopy() && !readableInPlace(image, adjust, inPlace);
}

// The palette premultiplied, with room for every index a pixel can hold
// (indices past the palette read as transparent black).
std::vector<uint32_t> premultipliedPalette(const Image& image) {
    std::vector<uint32_t> table(256, 0);
    const std::vector<ARGB>& entries = image.palette().entries;
    std::copy_n(entries.begin(), std::min<size_t>(entries.size(), table.size()), table.begin());
    premultiplyRow(table.data(), static_cast<int>(table.size()));
    return table;
}

// The index of pixel x of an indexed row.
int indexAt(const uint8_t* row, int x, int bits) {
    switch (bits) {
        case 1: return (row[x >> 3] >> (7 - (x & 7))) & 1;
        case 4: return (row[x >> 1] >> ((x & 1) ? 0 : 4)) & 15;
        default: return row[x];
    }
}

Status sampleNearest(const Image& image, const DrawPlan& plan, const ColorAdjuster& adjust,
                     PremulBuffer& out) {
    const PixelData& px = image.pixels();
    const NearestAxis ax(plan.offsetX + plan.covered.x * plan.stepX, plan.stepX, px.width());
    const NearestAxis ay(plan.offsetY + plan.covered.y * plan.stepY, plan.stepY, px.height());
    const int w = plan.covered.width, h = plan.covered.height;
    Status s = out.allocate(w, h);
    if (s != Status::Ok) return s;
    std::vector<int> columns(static_cast<size_t>(w));
    for (int p = 0; p < w; ++p) columns[static_cast<size_t>(p)] = ax.index(p);
    const int bits = bitsPerPixel(px.format());
    if (adjust.identity() && isIndexed(px.format())) {
        // Plain colours: each sampled pixel is its palette entry.
        const std::vector<uint32_t> palette = premultipliedPalette(image);
        for (int q = 0; q < h; ++q) {
            const uint8_t* from = px.row(ay.index(q));
            uint32_t* to = out.row(q);
            for (int p = 0; p < w; ++p)
                to[p] = palette[static_cast<size_t>(indexAt(from, columns[static_cast<size_t>(p)], bits))];
        }
        return Status::Ok;
    }
    if (bits % 8 == 0) {
        // Whole-byte pixels: the sampled pixels of a row are gathered in the
        // image's own format and converted together.
        const int bytes = bits / 8;
        std::vector<uint8_t> gathered(static_cast<size_t>(w) * static_cast<size_t>(bytes));
        for (int q = 0; q < h; ++q) {
            const uint8_t* from = px.row(ay.index(q));
            for (int p = 0; p < w; ++p)
                std::memcpy(&gathered[static_cast<size_t>(p) * static_cast<size_t>(bytes)],
                            from + static_cast<ptrdiff_t>(columns[static_cast<size_t>(p)]) * bytes,
                            static_cast<size_t>(bytes));
            uint32_t* to = out.row(q);
            rowToArgb32(px.format(), gathered.data(), 0, w, &image.palette(), to);
            adjust.applyRow(to, w);
            premultiplyRow(to, w);
        }
        return Status::Ok;
    }
    // Adjusted colours of pixels smaller than a byte go through the
    // converter, a sampled row at a time.
    const int x0 = columns.front(), x1 = columns.back() + 1;
    PremulBuffer line;
    int converted = -1;
    for (int q = 0; q < h; ++q) {
        const int y = ay.index(q);
        if (y != converted) {
            s = convertArea(image, Rect{x0, y, x1 - x0, 1}, adjust, line);
            if (s != Status::Ok) return s;
            converted = y;
        }
        const uint32_t* from = line.row(0);
        uint32_t* to = out.row(q);
        for (int p = 0; p < w; ++p) to[p] = from[columns[static_cast<size_t>(p)] - x0];
    }
    return Status::Ok;
}

Status drawRowSampled(const Image& image, const DrawPlan& plan, pixman_op_t op, const ColorAdjuster& adjust,
                      pixman_image_t* dst) {
    PremulBuffer sampled;
    Status s = sampleNearest(image, plan, adjust, sampled);
    if (s != Status::Ok) return s;
    PixmanRef src(wrapBuffer(PIXMAN_a8r8g8b8, sampled));
    if (!src.get()) return Status::OutOfMemory;
    pixman_image_composite32(op, src.get(), nullptr, dst, 0, 0, 0, 0, 0, 0, plan.covered.width,
                             plan.covered.height);
    return Status::Ok;
}

// An opaque 32-bit source whose whole extent pixman would sample, drawn with
// the nearest filter into a 32-bit target: whatever the operator, each target
// pixel becomes the source pixel pixman's filter reads, so the pixels are
// copied directly, each target row sampled once and copied where the scale
// repeats a source row (an animation frame enlarged to the window).
bool copiesNearestOpaque(const PointSource& src, pixman_filter_t filter, pixman_op_t op, pixman_image_t* dst) {
    if (filter != PIXMAN_FILTER_NEAREST || (op != PIXMAN_OP_SRC && op != PIXMAN_OP_OVER)) return false;
    if (src.originX != 0 || src.originY != 0 || pixman_image_get_format(src.pix.get()) != PIXMAN_x8r8g8b8)
        return false;
    const pixman_format_code_t target = pixman_image_get_format(dst);
    return target == PIXMAN_a8r8g8b8 || target == PIXMAN_x8r8g8b8;
}

// to[p] = row[columns[p]] with alpha 255, four pixels a step.
void gatherOpaque(const uint32_t* row, const int* columns, int w, uint32_t* to) {
    constexpr uint32_t kOpaque = 0xff000000u;
    int p = 0;
    for (; p + 4 <= w; p += 4) {
        const uint32_t a = row[columns[p]], b = row[columns[p + 1]];
        const uint32_t c = row[columns[p + 2]], d = row[columns[p + 3]];
        to[p] = a | kOpaque;
        to[p + 1] = b | kOpaque;
        to[p + 2] = c | kOpaque;
        to[p + 3] = d | kOpaque;
    }
    for (; p < w; ++p) to[p] = row[columns[p]] | kOpaque;
}

void copyNearestOpaque(const PointSource& src, const DrawPlan& plan, pixman_image_t* dst) {
    pixman_image_t* from = src.pix.get();
    const NearestAxis ax(plan.offsetX + plan.covered.x * plan.stepX, plan.stepX, pixman_image_get_width(from));
    const NearestAxis ay(plan.offsetY + plan.covered.y * plan.stepY, plan.stepY, pixman_image_get_height(from));
    const int w = plan.covered.width, h = plan.covered.height;
    std::vector<int> columns(static_cast<size_t>(w));
    for (int p = 0; p < w; ++p) columns[static_cast<size_t>(p)] = ax.index(p);
    const auto* fromBits = reinterpret_cast<const uint8_t*>(pixman_image_get_data(from));
    const ptrdiff_t fromStride = pixman_image_get_stride(from);
    auto* toBits = reinterpret_cast<uint8_t*>(pixman_image_get_data(dst));
    const ptrdiff_t toStride = pixman_image_get_stride(dst);
    int sampledRow = -1;
    for (int q = 0; q < h; ++q) {
        auto* to = reinterpret_cast<uint32_t*>(toBits + q * toStride);
        const int y = ay.index(q);
        if (y == sampledRow) {
            std::memcpy(to, toBits + (q - 1) * toStride, static_cast<size_t>(w) * 4);
            continue;
        }
        gatherOpaque(reinterpret_cast<const uint32_t*>(fromBits + y * fromStride), columns.data(), w, to);
        sampledRow = y;
    }
}

// Nearest and bilinear through pixman's scaled fast paths, from the source
// pointSource gives.
Status drawPointSampled(const Image& image, const DrawPlan& plan, pixman_filter_t filter,
                        pixman_op_t op, const ColorAdjuster& adjust, pixman_image_t* dst) {
    if (samplesRowsOnly(image, plan, filter, adjust)) return drawRowSampled(image, plan, op, adjust, dst);
    PointSource src;
    Status s = pointSource(image, plan, adjust, src);
    if (s != Status::Ok) return s;
    if (copiesNearestOpaque(src, filter, op, dst)) {
        copyNearestOpaque(src, plan, dst);
        return Status::Ok;
    }

    // Local target pixel p (centre p + 0.5) is absolute covered.x + p. The
    // source origin moves in whole fixed-point pixels, so that a converted
    // part samples exactly where the whole image would.
    pixman_transform_t t;
    pixman_transform_init_identity(&t);
    t.matrix[0][0] = pixman_double_to_fixed(plan.stepX);
    t.matrix[0][2] = pixman_double_to_fixed(plan.offsetX + plan.covered.x * plan.stepX) -
                     pixman_int_to_fixed(src.originX);
    t.matrix[1][1] = pixman_double_to_fixed(plan.stepY);
    t.matrix[1][2] = pixman_double_to_fixed(plan.offsetY + plan.covered.y * plan.stepY) -
                     pixman_int_to_fixed(src.originY);
    if (!pixman_image_set_transform(src.pix.get(), &t)) return Status::OutOfMemory;
    pixman_image_set_filter(src.pix.get(), filter, nullptr, 0);
    pixman_image_set_repeat(src.pix.get(), PIXMAN_REPEAT_PAD);
    pixman_image_composite32(op, src.pix.get(), nullptr, dst, 0, 0, 0, 0, 0, 0, plan.covered.width,
                             plan.covered.height);
    return Status::Ok;
}

// Level of reduction for a shrink by `step`: the smallest level still at
// or above the target size, so the filter that follows shrinks by less than 2.
int levelFor(double step, int width, int height) {
    int k = 0;
    while (k < 30 && step >= double(int64_t{2} << k) && levelSize(std::max(width, height), k) > 1)
        ++k;
    return k;
}

// Bicubic, and the high-quality modes through the reduced levels: a
// separable pass over the visible part only, into a premultiplied buffer
// that pixman then composites.
Status drawResampled(const Image& image, const DrawPlan& plan, ResampleKernel kernel,
                     KernelWidth width, pixman_op_t op, const ColorAdjuster& adjust,
                     pixman_image_t* dst) {
    const PixelData& px = image.pixels();
    const int k = width == KernelWidth::Widened
                      ? levelFor(std::min(plan.stepX, plan.stepY), px.width(), px.height())
                      : 0;
    const PremulBuffer* level = nullptr;
    if (k > 0) {
        Status s = DrawCache::of(image).level(image, k, adjust, level);
        if (s != Status::Ok) return s;
    }
    const double f = std::ldexp(1.0, k);
    const int levelW = level ? level->width() : px.width();
    const int levelH = level ? level->height() : px.height();
    AxisMapping mx{(plan.offsetX + plan.covered.x * plan.stepX) / f, plan.stepX / f,
                   plan.covered.width, 0, levelW};
    AxisMapping my{(plan.offsetY + plan.covered.y * plan.stepY) / f, plan.stepY / f,
                   plan.covered.height, 0, levelH};
    AxisFilter fx, fy;
    Status s = makeAxisFilter(mx, kernel, width, fx);
    if (s == Status::Ok) s = makeAxisFilter(my, kernel, width, fy);
    if (s != Status::Ok) return s;

    PremulBuffer out;
    s = out.allocate(plan.covered.width, plan.covered.height);
    if (s != Status::Ok) return s;
    PremulRowReader reader(image, adjust, DrawCache::of(image).opaqueArgb(image));
    const int begin = fx.srcBegin;
    const int span = fx.srcEnd - fx.srcBegin;
    RowFetch rows;
    if (level)
        rows = [level, begin](int y) { return level->row(y) + begin; };
    else
        rows = [&reader, begin, span](int y) { return reader.read(y, begin, span); };
    s = resample(fx, fy, rows, out.data(), out.stridePixels());
    if (s != Status::Ok) return s;

    PixmanRef src(wrapBits(PIXMAN_a8r8g8b8, out.width(), out.height(), out.data(),
                           out.stridePixels() * 4));
    if (!src.get()) return Status::OutOfMemory;
    pixman_image_composite32(op, src.get(), nullptr, dst, 0, 0, 0, 0, 0, 0, out.width(),
                             out.height());
    return Status::Ok;
}

bool pixmanCanAddress(const Image& image) {
    return image.width() <= kPixmanMaxCoordinate && image.height() <= kPixmanMaxCoordinate;
}

}  // namespace

struct Graphics::Target {
    DrawTarget d;
};

Graphics::Graphics(std::unique_ptr<Target> target) : target_(std::move(target)) {}
Graphics::~Graphics() = default;

Status Graphics::fromImage(Image& image, std::unique_ptr<Graphics>& out) {
    if (image.type() != ImageType::Bitmap || image.pixels().empty())
        return Status::InvalidParameter;
    // The platform cannot draw on palette images and says so this way.
    if (isIndexed(image.pixelFormat())) return Status::OutOfMemory;
    auto t = std::make_unique<Target>();
    t->d.image = &image;
    t->d.width = image.width();
    t->d.height = image.height();
    t->d.dpiX = image.horizontalResolution();
    t->d.dpiY = image.verticalResolution();
    out.reset(new Graphics(std::move(t)));
    return Status::Ok;
}

Status Graphics::fromSurface(const Surface& surface, std::unique_ptr<Graphics>& out) {
    if (!surface.pixels || surface.width <= 0 || surface.height <= 0 ||
        surface.width > kPixmanMaxCoordinate || surface.height > kPixmanMaxCoordinate ||
        surface.stride < static_cast<ptrdiff_t>(surface.width) * 4 || surface.stride % 4 != 0 ||
        !(surface.dpiX > 0) || !(surface.dpiY > 0))
        return Status::InvalidParameter;
    auto t = std::make_unique<Target>();
    t->d.surface = surface;
    t->d.width = surface.width;
    t->d.height = surface.height;
    t->d.dpiX = surface.dpiX;
    t->d.dpiY = surface.dpiY;
    out.reset(new Graphics(std::move(t)));
    return Status::Ok;
}

Status Graphics::clear(ARGB color) {
    DrawTarget& t = target_->d;
    if (!t.image) {
        const uint32_t v = premultiply(color);
        for (int y = 0; y < t.height; ++y) {
            uint32_t* row = reinterpret_cast<uint32_t*>(reinterpret_cast<uint8_t*>(t.surface.pixels) +
                                                        y * t.surface.stride);
            std::fill(row, row + t.width, v);
        }
        return Status::Ok;
    }
    // A bitmap takes the colour in its own format: 32-bit layouts directly,
    // others through the converting lock.
    const PixelFormat f = t.image->pixelFormat();
    PixelFormat lockFormat = PixelFormat32bppARGB;
    uint32_t v = color;
    if (f == PixelFormat32bppPARGB) {
        lockFormat = f;
        v = premultiply(color);
    } else if (f == PixelFormat32bppRGB) {
        lockFormat = f;
        v = color | 0xff000000u;
    }
    BitmapData data;
    Status s = t.image->lockBits(nullptr, ImageLockModeWrite, lockFormat, data);
    if (s != Status::Ok) return s;
    for (int y = 0; y < data.height; ++y) {
        uint8_t* row = data.scan0 + y * data.stride;
        for (int x = 0; x < data.width; ++x) std::memcpy(row + 4 * x, &v, 4);
    }
    return t.image->unlockBits(data);
}

Status Graphics::setSmoothingMode(SmoothingMode m) {
    if (m < SmoothingModeDefault || m > SmoothingModeAntiAlias) return Status::InvalidParameter;
    smoothing_ = m;
    return Status::Ok;
}

Status Graphics::setPixelOffsetMode(PixelOffsetMode m) {
    if (m < PixelOffsetModeDefault || m > PixelOffsetModeHalf) return Status::InvalidParameter;
    pixelOffset_ = m;
    return Status::Ok;
}

Status Graphics::setCompositingMode(CompositingMode m) {
    if (m != CompositingModeSourceOver && m != CompositingModeSourceCopy)
        return Status::InvalidParameter;
    compositingMode_ = m;
    return Status::Ok;
}

Status Graphics::setCompositingQuality(CompositingQuality q) {
    if (q < CompositingQualityDefault || q > CompositingQualityAssumeLinear)
        return Status::InvalidParameter;
    compositingQuality_ = q;
    return Status::Ok;
}

Status Graphics::setInterpolationMode(InterpolationMode m) {
    // The platform stores the generic modes as the concrete ones they mean.
    switch (m) {
        case InterpolationModeDefault:
        case InterpolationModeLowQuality:
            interpolation_ = InterpolationModeBilinear;
            return Status::Ok;
        case InterpolationModeHighQuality:
            interpolation_ = InterpolationModeHighQualityBicubic;
            return Status::Ok;
        case InterpolationModeBilinear:
        case InterpolationModeBicubic:
        case InterpolationModeNearestNeighbor:
        case InterpolationModeHighQualityBilinear:
        case InterpolationModeHighQualityBicubic:
            interpolation_ = m;
            return Status::Ok;
        default:
            return Status::InvalidParameter;
    }
}

Status Graphics::setPageUnit(Unit unit) {
    if (unit == UnitWorld || unit < UnitWorld || unit > UnitMillimeter) return Status::InvalidParameter;
    if (unit != UnitDisplay && unit != UnitPixel && unit != UnitMillimeter)
        return Status::NotImplemented;
    pageUnit_ = unit;
    return Status::Ok;
}

Status Graphics::drawImageRect(const Image& image, const RectF& dst) {
    return drawImageRectRect(image, dst,
                             RectF{0, 0, static_cast<float>(image.width()),
                                   static_cast<float>(image.height())});
}

// A metafile is rasterised at the destination's size in target pixels and
// drawn from there pixel for pixel; only the whole metafile can be drawn.
Status Graphics::drawMetafile(const Image& metafile, const RectF& dst, const RectF& src, Unit srcUnit,
                              const ImageAttributes* attributes) {
    const RectF whole{0, 0, static_cast<float>(metafile.width()), static_cast<float>(metafile.height())};
    if (srcUnit != UnitPixel || !(src.x == whole.x && src.y == whole.y && src.width == whole.width &&
                                  src.height == whole.height))
        return Status::NotImplemented;
    if (!validRect(dst)) return Status::InvalidParameter;
    const DrawTarget& t = target_->d;
    const double ux = pageUnit_ == UnitMillimeter ? t.dpiX / 25.4 : 1.0;
    const double uy = pageUnit_ == UnitMillimeter ? t.dpiY / 25.4 : 1.0;
    const double width = std::round(std::fabs(dst.width * ux)), height = std::round(std::fabs(dst.height * uy));
    if (width < 1 || height < 1) return Status::Ok;
    if (width > INT32_MAX || height > INT32_MAX) return Status::OutOfMemory;
    std::unique_ptr<Image> raster;
    Status s = rasteriseMetafile(metafile.metafileBytes(), static_cast<int>(width), static_cast<int>(height), raster);
    if (s != Status::Ok) return s;
    return drawImageRectRect(*raster, dst,
                             RectF{0, 0, static_cast<float>(raster->width()), static_cast<float>(raster->height())},
                             UnitPixel, attributes);
}

bool Graphics::planDraw(const Image& image, const RectF& dst, const RectF& src, DrawPlan& plan) const {
    const DrawTarget& t = target_->d;
    // Page units to target pixels.
    double ux = 1, uy = 1;
    if (pageUnit_ == UnitMillimeter) {
        ux = t.dpiX / 25.4;
        uy = t.dpiY / 25.4;
    }
    const bool half =
        pixelOffset_ == PixelOffsetModeHalf || pixelOffset_ == PixelOffsetModeHighQuality;
    return planAxis(dst.x * ux, dst.width * ux, src.x, src.width, image.width(), t.width, half,
                    plan.covered.x, plan.covered.width, plan.offsetX, plan.stepX) &&
           planAxis(dst.y * uy, dst.height * uy, src.y, src.height, image.height(), t.height, half,
                    plan.covered.y, plan.covered.height, plan.offsetY, plan.stepY);
}

InterpolationMode Graphics::effectiveInterpolation(const Image& image) const {
    const InterpolationMode mode = interpolation_;
    if ((mode == InterpolationModeNearestNeighbor || mode == InterpolationModeBilinear) &&
        !pixmanCanAddress(image))
        return InterpolationModeHighQualityBilinear;  // beyond pixman's fixed-point range
    return mode;
}

// Pixman's nearest and bilinear filters read only source pixels, whole
// weights summing to one: an opaque source gives every covered target pixel
// alpha 255, whatever was beneath it.
bool Graphics::coversOpaquely(const Image& image, const ImageAttributes* attributes) const {
    const InterpolationMode mode = effectiveInterpolation(image);
    if (mode != InterpolationModeNearestNeighbor && mode != InterpolationModeBilinear) return false;
    if (image.type() != ImageType::Bitmap || image.pixels().empty() || !ColorAdjuster(attributes).identity())
        return false;
    if (!(image.flags() & ImageFlagsHasAlpha) || image.knownOpaque()) return true;
    // The drawing asks the same of a 32bppARGB image; the answer is kept.
    return image.pixelFormat() == PixelFormat32bppARGB && DrawCache::of(image).opaque(image);
}

Status Graphics::drawImageOnBackground(const Image& image, const RectF& dst, const RectF& src,
                                       ARGB background, const ImageAttributes* attributes, Backdrop* backdrop) {
    DrawTarget& t = target_->d;
    // A bitmap draws inside the covered rectangle of its plan, or nowhere.
    const bool bitmap = image.type() == ImageType::Bitmap;
    DrawPlan plan;
    const bool planned = bitmap && validRect(dst) && validRect(src) && planDraw(image, dst, src, plan);
    const bool skipCovered = planned && !t.image && coversOpaquely(image, attributes);
    const Rect& c = plan.covered;
    const bool bandsHold = skipCovered && backdrop && backdrop->known && backdrop->background == background &&
                           backdrop->picture.x == c.x && backdrop->picture.y == c.y &&
                           backdrop->picture.width == c.width && backdrop->picture.height == c.height;
    if (backdrop) backdrop->known = false;
    if (!skipCovered) {
        Status s = clear(background);
        if (s != Status::Ok) return s;
    } else if (!bandsHold) {
        // The bands around the covered rectangle.
        const uint32_t v = premultiply(background);
        for (int y = 0; y < t.height; ++y) {
            uint32_t* row = reinterpret_cast<uint32_t*>(reinterpret_cast<uint8_t*>(t.surface.pixels) +
                                                        y * t.surface.stride);
            if (y < c.y || y >= c.y + c.height) {
                std::fill(row, row + t.width, v);
            } else {
                std::fill(row, row + c.x, v);
                std::fill(row + c.x + c.width, row + t.width, v);
            }
        }
    }
    if (backdrop) {
        backdrop->known = bitmap;
        backdrop->background = background;
        backdrop->picture = c;
    }
    return drawImageRectRect(image, dst, src, UnitPixel, attributes);
}

Status Graphics::drawImageRectRect(const Image& image, const RectF& dst, const RectF& src,
                                   Unit srcUnit, const ImageAttributes* attributes) {
    if (image.type() == ImageType::Metafile) return drawMetafile(image, dst, src, srcUnit, attributes);
    if (image.type() != ImageType::Bitmap || image.pixels().empty())
        return Status::InvalidParameter;
    if (srcUnit != UnitPixel) return Status::NotImplemented;
    if (!validRect(dst) || !validRect(src)) return Status::InvalidParameter;
    if (dst.width == 0 || dst.height == 0 || src.width == 0 || src.height == 0) return Status::Ok;

    DrawTarget& t = target_->d;
    DrawPlan plan;
    if (!planDraw(image, dst, src, plan)) return Status::Ok;

    const ColorAdjuster adjust(attributes);
    const pixman_op_t op =
        compositingMode_ == CompositingModeSourceCopy ? PIXMAN_OP_SRC : PIXMAN_OP_OVER;

    Canvas canvas(t);
    Status s = canvas.open(plan.covered);
    if (s != Status::Ok) return s;
    // The canvas starts at the covered rectangle's corner; the plan's
    // offsets stay in absolute target pixels.
    switch (effectiveInterpolation(image)) {
        case InterpolationModeNearestNeighbor:
            s = drawPointSampled(image, plan, PIXMAN_FILTER_NEAREST, op, adjust, canvas.image());
            break;
        case InterpolationModeBicubic:
            s = drawResampled(image, plan, ResampleKernel::CatmullRom, KernelWidth::Unit, op, adjust,
                              canvas.image());
            break;
        case InterpolationModeHighQualityBilinear:
            s = drawResampled(image, plan, ResampleKernel::Linear, KernelWidth::Widened, op, adjust,
                              canvas.image());
            break;
        case InterpolationModeHighQualityBicubic:
            s = drawResampled(image, plan, ResampleKernel::CatmullRom, KernelWidth::Widened, op,
                              adjust, canvas.image());
            break;
        default:
            s = drawPointSampled(image, plan, PIXMAN_FILTER_BILINEAR, op, adjust, canvas.image());
            break;
    }
    Status closed = canvas.close();
    return s != Status::Ok ? s : closed;
}

}  // namespace orrery::gdiplus
