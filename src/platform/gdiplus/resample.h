// The resampler of the high-quality and bicubic drawing modes: reduced
// levels made by 2x2 box halvings and kept with the image, and a separable
// two-pass filter (Catmull-Rom cubic or linear) run over the visible part.
#pragma once
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include "platform/gdiplus/image.h"
#include "platform/gdiplus/surface_convert.h"

namespace orrery::gdiplus {

// Catmull-Rom (cubic, B = 0, C = 0.5) interpolates: it reproduces the source
// samples at their centres, keeps edges crisp and leaves constant areas
// constant. Linear is the tent filter.
enum class ResampleKernel { Linear, CatmullRom };

// How the output pixels of one axis sit on the source. The centre of output
// pixel i lies at source coordinate origin + (i + 0.5) * step; source pixel j
// has its centre at j + 0.5. Only source pixels [srcBegin, srcEnd) are read;
// taps beyond them take the edge pixel (pad).
struct AxisMapping {
    double origin = 0;
    double step = 1;
    int count = 0;
    int srcBegin = 0;
    int srcEnd = 0;
};

// The weights of one axis: output pixel i reads source pixels
// start[i] .. start[i] + taps - 1 with weights[i * taps + t] (summing to 1).
struct AxisFilter {
    int count = 0;
    int taps = 0;
    int srcBegin = 0;  // the source pixels any output reads
    int srcEnd = 0;
    std::vector<int> start;
    std::vector<float> weights;
};

enum class KernelWidth {
    Unit,     // plain interpolation (the bicubic mode: aliases when shrinking)
    Widened,  // stretched by the shrink factor, so every source pixel counts
};

// InvalidParameter for an empty mapping or source range.
Status makeAxisFilter(const AxisMapping& mapping, ResampleKernel kernel, KernelWidth width,
                      AxisFilter& out);

// Source rows for the resampler: a pointer to pixel fx.srcBegin of row y,
// premultiplied a8r8g8b8, covering fx.srcBegin .. fx.srcEnd - 1. It needs to
// stay valid only until the next call.
using RowFetch = std::function<const uint32_t*(int y)>;

// Runs the horizontal pass once per source row (kept in a ring of
// fy.taps rows) and the vertical pass once per output row. Writes fx.count x
// fy.count premultiplied pixels to `out`. Both passes run in fixed point
// (Q14 weights, 16-bit intermediates with 6 fractional bits); results stay
// within one step of an exact computation with the float weights.
Status resample(const AxisFilter& fx, const AxisFilter& fy, const RowFetch& rows, uint32_t* out,
                ptrdiff_t outStridePixels);

// Which build of the passes' inner loops resample() runs: the 256-bit one
// where the processor has it, or the baseline everywhere (for tests; both
// give identical results).
enum class ResamplerLoops { Best, Baseline };
void setResamplerLoops(ResamplerLoops loops);

// Halves two source rows (r1 may equal r0 at an odd last row) into one row
// of (width + 1) / 2 pixels, averaging each 2x2 block in premultiplied form.
void halveRows(const uint32_t* r0, const uint32_t* r1, int width, uint32_t* out);

// Size of level k of an axis of `size` pixels: halved k times, rounding up.
int levelSize(int size, int k);

// What drawing keeps with an image: whether it is opaque, its reduced
// levels and a converted copy of its pixels. Replaced whenever the image's
// generation changes.
class DrawCache : public ImageCache {
public:
    // The image's cache, made afresh when missing or stale.
    static DrawCache& of(const Image& image);

    bool opaque(const Image& image);
    // KnownOpaque::Yes for an opaque 32bppARGB image, whose bytes can be
    // read as premultiplied pixels in place.
    KnownOpaque opaqueArgb(const Image& image);
    // Level k >= 1 (the image halved k times), made on first need from the
    // level above, with `adjust` applied to the source colours. Levels made
    // with another adjustment are dropped first.
    Status level(const Image& image, int k, const ColorAdjuster& adjust, const PremulBuffer*& out);
    // Number of levels made so far (level 0, the image itself, not counted).
    int levelsMade() const { return static_cast<int>(levels_.size()); }
    // The whole image as premultiplied a8r8g8b8, without colour adjustment,
    // made on first need: the point-sampled modes read it in place instead
    // of converting the visible part of a format pixman cannot read on every
    // drawing. OutOfMemory when it does not fit the allocation limit; the
    // refusal is kept until the pixels change, so later drawings do not try
    // again.
    Status convertedCopy(const Image& image, const PremulBuffer*& out);
    bool hasConvertedCopy() const { return !copy_.empty(); }
    uint64_t generation() const { return generation_; }

private:
    explicit DrawCache(uint64_t generation) : generation_(generation) {}
    Status makeFirstLevel(const Image& image, const ColorAdjuster& adjust);

    uint64_t generation_;
    std::optional<bool> opaque_;
    uint64_t levelsKey_ = 0;
    std::vector<PremulBuffer> levels_;  // levels_[k - 1] is level k
    PremulBuffer copy_;
    bool copyRefused_ = false;
};

}  // namespace orrery::gdiplus
