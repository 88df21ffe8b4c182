#include "platform/gdiplus/resample.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>
#include <memory>

namespace orrery::gdiplus {

namespace {

// Four float channels in memory order of a8r8g8b8 (B, G, R, A). The vector
// type keeps the inner loops in SIMD registers with any compiler flags.
typedef float v4f __attribute__((vector_size(16)));
typedef int32_t v4i __attribute__((vector_size(16)));
typedef uint8_t v4u8 __attribute__((vector_size(4)));

double kernelValue(ResampleKernel kernel, double x) {
    x = std::fabs(x);
    if (kernel == ResampleKernel::Linear) return x < 1.0 ? 1.0 - x : 0.0;
    if (x < 1.0) return (1.5 * x - 2.5) * x * x + 1.0;
    if (x < 2.0) return ((-0.5 * x + 2.5) * x - 4.0) * x + 2.0;
    return 0.0;
}

double kernelRadius(ResampleKernel kernel) { return kernel == ResampleKernel::Linear ? 1.0 : 2.0; }

}  // namespace

namespace {

// The nonzero taps of one output, folded onto the source range [lo, hi]:
// weights[k] belongs to source pixel first + k.
struct Taps {
    int first = 0;
    std::vector<double> weights;
};

void kernelTaps(ResampleKernel kernel, double c, double scale, double support, int lo, int hi,
                Taps& out) {
    const double first = std::floor(c - 0.5 - support) + 1;
    const double last = std::max(first, std::floor(c - 0.5 + support));
    const int firstRaw = static_cast<int>(std::clamp(first, double(INT_MIN / 2), double(INT_MAX / 2)));
    const int lastRaw = static_cast<int>(std::clamp(last, double(INT_MIN / 2), double(INT_MAX / 2)));
    const int firstC = std::clamp(firstRaw, lo, hi);
    const int lastC = std::clamp(lastRaw, lo, hi);
    out.first = firstC;
    out.weights.assign(static_cast<size_t>(lastC - firstC + 1), 0.0);
    double sum = 0;
    // Taps beyond the range fold onto the edge pixel (pad).
    for (int j = firstRaw; j <= lastRaw; ++j) {
        const double w = kernelValue(kernel, (j + 0.5 - c) / scale);
        out.weights[static_cast<size_t>(std::clamp(j, lo, hi) - firstC)] += w;
        sum += w;
    }
    if (sum == 0.0) {
        // No weight in the span (only possible for degenerate positions):
        // take the nearest pixel.
        std::fill(out.weights.begin(), out.weights.end(), 0.0);
        out.weights[static_cast<size_t>(std::clamp(static_cast<int>(std::floor(c)), lo, hi) - firstC)] = 1.0;
        sum = 1.0;
    }
    for (double& w : out.weights) w /= sum;
    // Trim zero weights at both ends (kernel zeros at integer distances).
    size_t b = 0, e = out.weights.size();
    while (e - b > 1 && out.weights[b] == 0.0) ++b;
    while (e - b > 1 && out.weights[e - 1] == 0.0) --e;
    out.first += static_cast<int>(b);
    out.weights = std::vector<double>(out.weights.begin() + static_cast<ptrdiff_t>(b),
                                      out.weights.begin() + static_cast<ptrdiff_t>(e));
}

}  // namespace

Status makeAxisFilter(const AxisMapping& m, ResampleKernel kernel, KernelWidth width,
                      AxisFilter& out) {
    if (m.count <= 0 || m.srcEnd <= m.srcBegin || !(m.step > 0) || !std::isfinite(m.step) ||
        !std::isfinite(m.origin))
        return Status::InvalidParameter;
    const double scale = width == KernelWidth::Widened ? std::max(1.0, m.step) : 1.0;
    const double support = kernelRadius(kernel) * scale;
    const int lo = m.srcBegin;
    const int hi = m.srcEnd - 1;
    auto centre = [&](int i) { return m.origin + (i + 0.5) * m.step; };

    // First the widest span, so every output gets the same tap count (one
    // loop shape for the passes); then the weights.
    Taps taps;
    int widest = 1;
    for (int i = 0; i < m.count; ++i) {
        kernelTaps(kernel, centre(i), scale, support, lo, hi, taps);
        widest = std::max(widest, static_cast<int>(taps.weights.size()));
    }
    AxisFilter f;
    f.count = m.count;
    f.taps = widest;
    f.start.resize(static_cast<size_t>(m.count));
    f.weights.assign(static_cast<size_t>(m.count) * static_cast<size_t>(f.taps), 0.0f);
    for (int i = 0; i < m.count; ++i) {
        kernelTaps(kernel, centre(i), scale, support, lo, hi, taps);
        const int start = std::clamp(taps.first, lo, std::max(lo, hi - f.taps + 1));
        float* w = &f.weights[static_cast<size_t>(i) * static_cast<size_t>(f.taps)];
        for (size_t k = 0; k < taps.weights.size(); ++k)
            w[static_cast<size_t>(taps.first - start) + k] = static_cast<float>(taps.weights[k]);
        f.start[static_cast<size_t>(i)] = start;
    }
    f.srcBegin = *std::min_element(f.start.begin(), f.start.end());
    f.srcEnd = *std::max_element(f.start.begin(), f.start.end()) + f.taps;
    out = std::move(f);
    return Status::Ok;
}

namespace {

// The passes' inner loops are inlined into one driver that is built twice:
// for 256-bit vectors with fused multiply-add, and for the baseline. The
// first is taken when the processor has them.
#if defined(__GNUC__) && !defined(__clang__)
#define ORRERY_INLINE inline __attribute__((always_inline))
#else
#define ORRERY_INLINE inline
#endif

typedef float v8f __attribute__((vector_size(32)));

// Helpers take 8-float vectors by reference: passing them by value would
// change the calling convention between the clones.
ORRERY_INLINE v4f sumHalves(const v8f& v) {
    return __builtin_shufflevector(v, v, 0, 1, 2, 3) + __builtin_shufflevector(v, v, 4, 5, 6, 7);
}
ORRERY_INLINE void mulAdd(v8f& acc, const float* a, const float* b) {
    v8f x, y;
    std::memcpy(&x, a, sizeof x);
    std::memcpy(&y, b, sizeof y);
    acc += x * y;
}

// One row of the horizontal pass. `src` holds 4 floats a pixel from pixel
// srcBegin on, padded by one pixel; `wide` holds each weight four times, taps
// rounded up to even, so two taps make one 8-float step.
ORRERY_INLINE void horizontalPass(const float* src, const int* start, int srcBegin, const float* wide, int pairs,
                    int count, v4f* dst) {
    const int stride = 8 * pairs;
    int i = 0;
    // Four outputs a step: four independent sums hide the latency of the
    // multiply-adds.
    for (; i + 4 <= count; i += 4) {
        const float* s0 = src + 4 * (start[i] - srcBegin);
        const float* s1 = src + 4 * (start[i + 1] - srcBegin);
        const float* s2 = src + 4 * (start[i + 2] - srcBegin);
        const float* s3 = src + 4 * (start[i + 3] - srcBegin);
        const float* w0 = wide + static_cast<ptrdiff_t>(i) * stride;
        const float* w1 = w0 + stride;
        const float* w2 = w1 + stride;
        const float* w3 = w2 + stride;
        v8f a0 = {0, 0, 0, 0, 0, 0, 0, 0}, a1 = a0, a2 = a0, a3 = a0;
        for (int q = 0; q < pairs; ++q) {
            mulAdd(a0, w0 + 8 * q, s0 + 8 * q);
            mulAdd(a1, w1 + 8 * q, s1 + 8 * q);
            mulAdd(a2, w2 + 8 * q, s2 + 8 * q);
            mulAdd(a3, w3 + 8 * q, s3 + 8 * q);
        }
        dst[i] = sumHalves(a0);
        dst[i + 1] = sumHalves(a1);
        dst[i + 2] = sumHalves(a2);
        dst[i + 3] = sumHalves(a3);
    }
    for (; i < count; ++i) {
        const float* s0 = src + 4 * (start[i] - srcBegin);
        const float* w0 = wide + static_cast<ptrdiff_t>(i) * stride;
        v8f a0 = {0, 0, 0, 0, 0, 0, 0, 0};
        for (int q = 0; q < pairs; ++q) mulAdd(a0, w0 + 8 * q, s0 + 8 * q);
        dst[i] = sumHalves(a0);
    }
}

// One row of the vertical pass over `n` floats: plain loops the compiler
// vectorises at whatever width the clone allows.
ORRERY_INLINE void verticalPass(const float* const* rows, const float* w, int taps, int n, float* acc) {
    int t = 0;
    if (taps >= 2) {
        const float *r0 = rows[0], *r1 = rows[1];
        const float w0 = w[0], w1 = w[1];
        for (int j = 0; j < n; ++j) acc[j] = w0 * r0[j] + w1 * r1[j];
        t = 2;
    } else {
        const float* r0 = rows[0];
        const float w0 = w[0];
        for (int j = 0; j < n; ++j) acc[j] = w0 * r0[j];
        t = 1;
    }
    // Four rows a sweep: fewer trips through the accumulator row.
    for (; t + 4 <= taps; t += 4) {
        const float *r0 = rows[t], *r1 = rows[t + 1], *r2 = rows[t + 2], *r3 = rows[t + 3];
        const float w0 = w[t], w1 = w[t + 1], w2 = w[t + 2], w3 = w[t + 3];
        for (int j = 0; j < n; ++j) acc[j] += (w0 * r0[j] + w1 * r1[j]) + (w2 * r2[j] + w3 * r3[j]);
    }
    for (; t < taps; ++t) {
        const float* r = rows[t];
        const float wt = w[t];
        for (int j = 0; j < n; ++j) acc[j] += wt * r[j];
    }
}

// Rounds and clamps a row to 0..255, with every colour at or below its
// alpha so the result is valid premultiplied data (cubic overshoot).
ORRERY_INLINE void packRow(const v4f* acc, size_t count, v4i* ints, uint32_t* out) {
    const v4f zero = {0, 0, 0, 0};
    const v4f max = {255.0f, 255.0f, 255.0f, 255.0f};
    const v4f half = {0.5f, 0.5f, 0.5f, 0.5f};
    for (size_t x = 0; x < count; ++x) {
        v4f v = acc[x];
        v = v < zero ? zero : v;
        v = v > max ? max : v;
        const v4f alpha = __builtin_shufflevector(v, v, 3, 3, 3, 3);
        v = v > alpha ? alpha : v;
        ints[x] = __builtin_convertvector(v + half, v4i);
    }
    // Narrowing as a flat loop, which vectorises into packs.
    const int32_t* in = reinterpret_cast<const int32_t*>(ints);
    uint8_t* bytes = reinterpret_cast<uint8_t*>(out);
    for (size_t j = 0; j < 4 * count; ++j) bytes[j] = static_cast<uint8_t>(in[j]);
}

ORRERY_INLINE void widenBytes(const uint8_t* p, int n, float* f) {
    for (int j = 0; j < n; ++j) f[j] = static_cast<float>(p[j]);
}


// Everything the passes need, set up once by resample().
struct Passes {
    const AxisFilter& fx;
    const AxisFilter& fy;
    const RowFetch& rows;
    uint32_t* out;
    ptrdiff_t outStridePixels;
    int pairs;
    const float* wide;
    float* srcFloats;
    v4f* inter;
    v4f* acc;
    v4i* ints;
    int* tag;
    const float** window;
};

ORRERY_INLINE void runPasses(const Passes& p) {
    const AxisFilter& fx = p.fx;
    const AxisFilter& fy = p.fy;
    const int inW = fx.srcEnd - fx.srcBegin;
    const size_t outW = static_cast<size_t>(fx.count);
    const int ring = fy.taps;
    for (int oy = 0; oy < fy.count; ++oy) {
        const int s = fy.start[static_cast<size_t>(oy)];
        for (int t = 0; t < ring; ++t) {
            const int y = s + t;
            const size_t slot = static_cast<size_t>((y - fy.srcBegin) % ring);
            v4f* dst = p.inter + slot * outW;
            if (p.tag[slot] != y) {
                widenBytes(reinterpret_cast<const uint8_t*>(p.rows(y)), 4 * inW, p.srcFloats);
                horizontalPass(p.srcFloats, fx.start.data(), fx.srcBegin, p.wide, p.pairs, fx.count, dst);
                p.tag[slot] = y;
            }
            p.window[t] = reinterpret_cast<const float*>(dst);
        }
        verticalPass(p.window, fy.weights.data() + static_cast<size_t>(oy) * static_cast<size_t>(ring),
                     ring, static_cast<int>(4 * outW), reinterpret_cast<float*>(p.acc));
        packRow(p.acc, outW, p.ints, p.out + oy * p.outStridePixels);
    }
}

#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__)
__attribute__((target("avx2,fma"), optimize("fp-contract=fast"))) void runPassesWide(const Passes& p) {
    runPasses(p);
}
bool haveWideVectors() {
    static const bool have = __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma");
    return have;
}
#else
void runPassesWide(const Passes& p) { runPasses(p); }
bool haveWideVectors() { return false; }
#endif

void runPassesBaseline(const Passes& p) { runPasses(p); }

}  // namespace

Status resample(const AxisFilter& fx, const AxisFilter& fy, const RowFetch& rows, uint32_t* out,
                ptrdiff_t outStridePixels) {
    if (fx.count <= 0 || fy.count <= 0 || fx.taps <= 0 || fy.taps <= 0 ||
        fx.weights.size() != static_cast<size_t>(fx.count) * static_cast<size_t>(fx.taps) ||
        fy.weights.size() != static_cast<size_t>(fy.count) * static_cast<size_t>(fy.taps))
        return Status::InvalidParameter;
    const int inW = fx.srcEnd - fx.srcBegin;
    const size_t outW = static_cast<size_t>(fx.count);
    const int ring = fy.taps;
    const int pairs = (fx.taps + 1) / 2;
    // Weights spread for the 8-float steps; an odd last tap pairs with a
    // zero weight, reading one pixel past the row (the padding below).
    std::vector<float> wide(outW * static_cast<size_t>(pairs) * 8, 0.0f);
    for (size_t i = 0; i < outW; ++i)
        for (int t = 0; t < fx.taps; ++t)
            for (int c = 0; c < 4; ++c)
                wide[(i * static_cast<size_t>(pairs) * 2 + static_cast<size_t>(t)) * 4 + static_cast<size_t>(c)] =
                    fx.weights[i * static_cast<size_t>(fx.taps) + static_cast<size_t>(t)];
    std::vector<v4f> srcRow(static_cast<size_t>(inW) + 1, v4f{0, 0, 0, 0});
    std::vector<v4f> inter(static_cast<size_t>(ring) * outW);
    std::vector<v4f> acc(outW);
    std::vector<v4i> ints(outW);
    std::vector<int> tag(static_cast<size_t>(ring), INT_MIN);
    std::vector<const float*> window(static_cast<size_t>(ring));
    const Passes passes{fx,          fy,           rows,       out,        outStridePixels,
                        pairs,       wide.data(),  reinterpret_cast<float*>(srcRow.data()),
                        inter.data(), acc.data(), ints.data(), tag.data(), window.data()};
    if (haveWideVectors())
        runPassesWide(passes);
    else
        runPassesBaseline(passes);
    return Status::Ok;
}

void halveRows(const uint32_t* r0, const uint32_t* r1, int width, uint32_t* out) {
    const int pairs = width / 2;
    const uint8_t* a = reinterpret_cast<const uint8_t*>(r0);
    const uint8_t* b = reinterpret_cast<const uint8_t*>(r1);
    uint8_t* o = reinterpret_cast<uint8_t*>(out);
    for (int x = 0; x < pairs; ++x) {
        for (int c = 0; c < 4; ++c) {
            const int i = 8 * x + c;
            o[4 * x + c] = static_cast<uint8_t>((a[i] + a[i + 4] + b[i] + b[i + 4] + 2) >> 2);
        }
    }
    if (width & 1) {
        // The odd last column pairs with itself (the edge is padded).
        const int i = 8 * pairs;
        for (int c = 0; c < 4; ++c)
            o[4 * pairs + c] = static_cast<uint8_t>((2 * a[i + c] + 2 * b[i + c] + 2) >> 2);
    }
}

int levelSize(int size, int k) {
    for (int i = 0; i < k; ++i) size = (size + 1) / 2;
    return size;
}

DrawCache& DrawCache::of(const Image& image) {
    auto* cache = dynamic_cast<DrawCache*>(image.cache());
    if (cache && cache->generation_ == image.generation()) return *cache;
    std::unique_ptr<DrawCache> fresh(new DrawCache(image.generation()));
    DrawCache& ref = *fresh;
    image.setCache(std::move(fresh));
    return ref;
}

bool DrawCache::opaque(const Image& image) {
    if (!opaque_) opaque_ = imageIsOpaque(image);
    return *opaque_;
}

KnownOpaque DrawCache::opaqueArgb(const Image& image) {
    return image.pixelFormat() == PixelFormat32bppARGB && opaque(image) ? KnownOpaque::Yes
                                                                       : KnownOpaque::No;
}

Status DrawCache::convertedCopy(const Image& image, const PremulBuffer*& out) {
    const PixelData& px = image.pixels();
    if (px.empty()) return Status::InvalidParameter;
    if (copy_.empty()) {
        if (copyRefused_) return Status::OutOfMemory;
        Status s = convertArea(image, Rect{0, 0, px.width(), px.height()}, ColorAdjuster(), copy_);
        if (s != Status::Ok) {
            copyRefused_ = s == Status::OutOfMemory;
            return s;
        }
        // The copy answers the opacity question on the way, sparing formats
        // with alpha a second pass over the image.
        if (!opaque_) opaque_ = !hasAlpha(px.format()) || isOpaque(copy_);
    }
    out = &copy_;
    return Status::Ok;
}

Status DrawCache::makeFirstLevel(const Image& image, const ColorAdjuster& adjust) {
    const PixelData& px = image.pixels();
    const int w = px.width();
    const int h = px.height();
    PremulBuffer level;
    Status s = level.allocate(levelSize(w, 1), levelSize(h, 1));
    if (s != Status::Ok) return s;
    PremulRowReader reader(image, adjust, opaqueArgb(image));
    std::vector<uint32_t> top(static_cast<size_t>(w));
    for (int y = 0; y < level.height(); ++y) {
        const int y0 = 2 * y;
        const int y1 = std::min(h - 1, y0 + 1);
        const uint32_t* r0 = reader.read(y0, 0, w);
        if (y1 == y0) {
            halveRows(r0, r0, w, level.row(y));
            continue;
        }
        // The reader's scratch serves one row at a time: keep the first.
        if (!reader.inPlace()) {
            std::memcpy(top.data(), r0, static_cast<size_t>(w) * 4);
            r0 = top.data();
        }
        const uint32_t* r1 = reader.read(y1, 0, w);
        halveRows(r0, r1, w, level.row(y));
    }
    levels_.push_back(std::move(level));
    return Status::Ok;
}

Status DrawCache::level(const Image& image, int k, const ColorAdjuster& adjust,
                        const PremulBuffer*& out) {
    if (k < 1 || image.pixels().empty()) return Status::InvalidParameter;
    if (adjust.fingerprint() != levelsKey_) {
        levels_.clear();
        levelsKey_ = adjust.fingerprint();
    }
    if (levels_.empty()) {
        Status s = makeFirstLevel(image, adjust);
        if (s != Status::Ok) return s;
    }
    while (static_cast<int>(levels_.size()) < k) {
        const PremulBuffer& above = levels_.back();
        PremulBuffer next;
        Status s = next.allocate(levelSize(above.width(), 1), levelSize(above.height(), 1));
        if (s != Status::Ok) return s;
        for (int y = 0; y < next.height(); ++y) {
            const int y1 = std::min(above.height() - 1, 2 * y + 1);
            halveRows(above.row(2 * y), above.row(y1), above.width(), next.row(y));
        }
        levels_.push_back(std::move(next));
    }
    out = &levels_[static_cast<size_t>(k - 1)];
    return Status::Ok;
}

}  // namespace orrery::gdiplus
