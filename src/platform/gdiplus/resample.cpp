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

inline v4f toFloat(uint32_t c) {
    v4i v = {static_cast<int32_t>(c & 0xff), static_cast<int32_t>((c >> 8) & 0xff),
             static_cast<int32_t>((c >> 16) & 0xff), static_cast<int32_t>(c >> 24)};
    return __builtin_convertvector(v, v4f);
}

// Rounds and clamps to 0..255, keeping every colour channel at or below
// alpha so the result is valid premultiplied data (cubic overshoot).
inline uint32_t toPixel(v4f v) {
    const v4f zero = {0, 0, 0, 0};
    const v4f half = {0.5f, 0.5f, 0.5f, 0.5f};
    float a = std::clamp(v[3], 0.0f, 255.0f);
    v4f top = {a, a, a, a};
    v = v < zero ? zero : v;
    v = v > top ? top : v;
    v4i i = __builtin_convertvector(v + half, v4i);
    return static_cast<uint32_t>(i[0]) | (static_cast<uint32_t>(i[1]) << 8) |
           (static_cast<uint32_t>(i[2]) << 16) | (static_cast<uint32_t>(i[3]) << 24);
}

double kernelValue(ResampleKernel kernel, double x) {
    x = std::fabs(x);
    if (kernel == ResampleKernel::Linear) return x < 1.0 ? 1.0 - x : 0.0;
    if (x < 1.0) return (1.5 * x - 2.5) * x * x + 1.0;
    if (x < 2.0) return ((-0.5 * x + 2.5) * x - 4.0) * x + 2.0;
    return 0.0;
}

double kernelRadius(ResampleKernel kernel) { return kernel == ResampleKernel::Linear ? 1.0 : 2.0; }

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
    const int maxTaps = hi - lo + 1;
    // Raw taps of one output; clamping folds those beyond the range onto the
    // edge pixel.
    const int rawTaps = static_cast<int>(std::ceil(2 * support)) + 2;
    std::vector<double> acc(static_cast<size_t>(std::min(rawTaps, maxTaps)) + 1);

    AxisFilter f;
    f.count = m.count;
    f.taps = std::min(rawTaps, maxTaps);
    f.start.resize(static_cast<size_t>(m.count));
    f.weights.assign(static_cast<size_t>(m.count) * static_cast<size_t>(f.taps), 0.0f);
    for (int i = 0; i < m.count; ++i) {
        const double c = m.origin + (i + 0.5) * m.step;
        const double first = std::floor(c - 0.5 - support) + 1;
        const double last = std::floor(c - 0.5 + support);
        const int firstC = static_cast<int>(std::clamp(first, double(lo), double(hi)));
        const int start = std::clamp(firstC, lo, std::max(lo, hi - f.taps + 1));
        std::fill(acc.begin(), acc.end(), 0.0);
        double sum = 0;
        const int firstRaw = static_cast<int>(std::max(first, double(INT_MIN / 2)));
        const int lastRaw = static_cast<int>(std::min(std::max(first, last), double(INT_MAX / 2)));
        // Taps far outside the range all fold onto the edge: walk only the
        // kernel's own span.
        for (int j = firstRaw; j <= lastRaw; ++j) {
            double w = kernelValue(kernel, (j + 0.5 - c) / scale);
            if (w == 0.0) continue;
            int idx = std::clamp(j, lo, hi) - start;
            if (idx < 0 || idx >= f.taps) continue;  // cannot happen: start covers the span
            acc[static_cast<size_t>(idx)] += w;
            sum += w;
        }
        float* w = &f.weights[static_cast<size_t>(i) * static_cast<size_t>(f.taps)];
        if (sum == 0.0) {
            // The kernel's span held no weight (a sample exactly between two
            // linear taps cannot give this, but keep a defined result).
            int idx = std::clamp(static_cast<int>(std::floor(c)), lo, hi) - start;
            w[std::clamp(idx, 0, f.taps - 1)] = 1.0f;
        } else {
            for (int t = 0; t < f.taps; ++t) w[t] = static_cast<float>(acc[static_cast<size_t>(t)] / sum);
        }
        f.start[static_cast<size_t>(i)] = start;
    }
    f.srcBegin = *std::min_element(f.start.begin(), f.start.end());
    f.srcEnd = *std::max_element(f.start.begin(), f.start.end()) + f.taps;
    out = std::move(f);
    return Status::Ok;
}

Status resample(const AxisFilter& fx, const AxisFilter& fy, const RowFetch& rows, uint32_t* out,
                ptrdiff_t outStridePixels) {
    if (fx.count <= 0 || fy.count <= 0 || fx.taps <= 0 || fy.taps <= 0)
        return Status::InvalidParameter;
    const int inW = fx.srcEnd - fx.srcBegin;
    const size_t outW = static_cast<size_t>(fx.count);
    const int ring = fy.taps;
    std::vector<v4f> srcRow(static_cast<size_t>(inW));
    std::vector<v4f> inter(static_cast<size_t>(ring) * outW);
    std::vector<int> tag(static_cast<size_t>(ring), INT_MIN);
    std::vector<const v4f*> window(static_cast<size_t>(ring));
    const int taps = fx.taps;

    auto horizontal = [&](int y, v4f* dst) {
        const uint32_t* p = rows(y);
        for (int x = 0; x < inW; ++x) srcRow[static_cast<size_t>(x)] = toFloat(p[x]);
        const float* w = fx.weights.data();
        for (size_t i = 0; i < outW; ++i, w += taps) {
            const v4f* s = srcRow.data() + (fx.start[i] - fx.srcBegin);
            v4f acc = {0, 0, 0, 0};
            for (int t = 0; t < taps; ++t) acc += w[t] * s[t];
            dst[i] = acc;
        }
    };

    for (int oy = 0; oy < fy.count; ++oy) {
        const int s = fy.start[static_cast<size_t>(oy)];
        for (int t = 0; t < ring; ++t) {
            const int y = s + t;
            const size_t slot = static_cast<size_t>((y - fy.srcBegin) % ring);
            v4f* dst = inter.data() + slot * outW;
            if (tag[slot] != y) {
                horizontal(y, dst);
                tag[slot] = y;
            }
            window[static_cast<size_t>(t)] = dst;
        }
        const float* w = fy.weights.data() + static_cast<size_t>(oy) * static_cast<size_t>(ring);
        uint32_t* o = out + oy * outStridePixels;
        for (size_t x = 0; x < outW; ++x) {
            v4f acc = {0, 0, 0, 0};
            for (int t = 0; t < ring; ++t) acc += w[t] * window[static_cast<size_t>(t)][x];
            o[x] = toPixel(acc);
        }
    }
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

Status DrawCache::makeFirstLevel(const Image& image, const ColorAdjuster& adjust) {
    const PixelData& px = image.pixels();
    const int w = px.width();
    const int h = px.height();
    PremulBuffer level;
    Status s = level.allocate(levelSize(w, 1), levelSize(h, 1));
    if (s != Status::Ok) return s;
    PremulRowReader reader(image, adjust);
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
