#include "platform/gdiplus/resample.h"

#include <algorithm>
#include <atomic>
#include <climits>
#include <cmath>
#include <cstring>
#include <memory>

#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#endif

namespace orrery::gdiplus {

namespace {

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

// The passes run in fixed point: weights in Q14 (each output's weights sum
// to exactly 1 << 14), the horizontal results kept as 16-bit values with
// kFracBits fractional bits. Cubic overshoot stays below 1.2 * 255, so
// 255 << 6 leaves room in 16 bits; the vertical sums reach 2^29 at most.
constexpr int kWeightBits = 14;
constexpr int kFracBits = 6;
constexpr int kHShift = kWeightBits - kFracBits;
constexpr int kVShift = kWeightBits + kFracBits;

std::atomic<ResamplerLoops> gLoops{ResamplerLoops::Best};

// One output's float weights in Q14, the rounding remainder given to the
// largest weight so the sum stays exact (constant areas stay constant).
void quantizeWeights(const float* w, int taps, int16_t* q) {
    int sum = 0, biggest = 0;
    for (int t = 0; t < taps; ++t) {
        const long v = std::lround(static_cast<double>(w[t]) * (1 << kWeightBits));
        q[t] = static_cast<int16_t>(std::clamp(v, -32768L, 32767L));
        sum += q[t];
        if (std::fabs(w[t]) > std::fabs(w[biggest])) biggest = t;
    }
    q[biggest] = static_cast<int16_t>(std::clamp(q[biggest] + (1 << kWeightBits) - sum, -32768, 32767));
}

int16_t saturate16(int32_t v) { return static_cast<int16_t>(std::clamp(v, -32768, 32767)); }

// The horizontal pass's tables. Outputs are padded to a multiple of four
// (the padding reads the last output's pixels with zero weights) and taps
// to a multiple of four, so every source read is 16 bytes a group.
struct HorizontalPlan {
    int count = 0;         // outputs, padded to a multiple of 4
    int taps = 0;          // taps, padded to a multiple of 4
    int srcBegin = 0;
    int srcEnd = 0;
    int tailBegin = 0;     // first pixel held in the tail copy
    std::vector<int> start;        // per padded output
    std::vector<int16_t> weights;  // per padded output, `taps` each
    // The same weights arranged for the 256-bit loop: per quad of outputs
    // and group of four taps, four vectors of 16 values (see wideWeights).
    std::vector<int16_t> wide;
};

// Per output row of the vertical pass: the Q14 weights of fy, two to an
// int32 (low half the even tap), taps padded to even.
struct VerticalPlan {
    int pairs = 0;
    std::vector<int32_t> weightPairs;
};

// For the 256-bit loop a vector holds two outputs, one a 128-bit lane; the
// quad's outputs 0 and 2 share one vector and 1 and 3 another, so packing
// the two leaves the four in order. Each lane reads four source pixels; one
// byte shuffle spreads pixels 0 and 1 into tap pairs of 16-bit channels,
// another pixels 2 and 3.
void wideWeights(HorizontalPlan& h) {
    const int groups = h.taps / 4;
    h.wide.assign(static_cast<size_t>(h.count) * static_cast<size_t>(h.taps) * 4, 0);
    for (int k = 0; k < h.count / 4; ++k)
        for (int g = 0; g < groups; ++g)
            for (int r = 0; r < 4; ++r) {
                // r: 0 = outputs 0/2 taps 0,1; 1 = outputs 0/2 taps 2,3;
                // 2 = outputs 1/3 taps 0,1; 3 = outputs 1/3 taps 2,3.
                int16_t* v = &h.wide[((static_cast<size_t>(k) * groups + g) * 4 + r) * 16];
                for (int lane = 0; lane < 2; ++lane) {
                    const int i = 4 * k + (r / 2) + 2 * lane;
                    const int t = 4 * g + 2 * (r % 2);
                    const int16_t* w = &h.weights[static_cast<size_t>(i) * h.taps];
                    for (int c = 0; c < 4; ++c) {
                        v[lane * 8 + 2 * c] = w[t];
                        v[lane * 8 + 2 * c + 1] = w[t + 1];
                    }
                }
            }
}

HorizontalPlan planHorizontal(const AxisFilter& fx) {
    HorizontalPlan h;
    h.count = (fx.count + 3) & ~3;
    h.taps = (fx.taps + 3) & ~3;
    h.srcBegin = fx.srcBegin;
    h.srcEnd = fx.srcEnd;
    h.tailBegin = std::max(fx.srcBegin, fx.srcEnd - h.taps);
    h.start.assign(static_cast<size_t>(h.count), fx.start.back());
    std::copy(fx.start.begin(), fx.start.end(), h.start.begin());
    h.weights.assign(static_cast<size_t>(h.count) * static_cast<size_t>(h.taps), 0);
    for (int i = 0; i < fx.count; ++i)
        quantizeWeights(&fx.weights[static_cast<size_t>(i) * static_cast<size_t>(fx.taps)], fx.taps,
                        &h.weights[static_cast<size_t>(i) * static_cast<size_t>(h.taps)]);
    wideWeights(h);
    return h;
}

VerticalPlan planVertical(const AxisFilter& fy) {
    VerticalPlan v;
    v.pairs = (fy.taps + 1) / 2;
    v.weightPairs.assign(static_cast<size_t>(fy.count) * static_cast<size_t>(v.pairs), 0);
    std::vector<int16_t> q(static_cast<size_t>(2 * v.pairs), 0);
    for (int i = 0; i < fy.count; ++i) {
        quantizeWeights(&fy.weights[static_cast<size_t>(i) * static_cast<size_t>(fy.taps)], fy.taps, q.data());
        for (int p = 0; p < v.pairs; ++p)
            v.weightPairs[static_cast<size_t>(i) * v.pairs + p] = static_cast<int32_t>(
                static_cast<uint32_t>(static_cast<uint16_t>(q[2 * p])) |
                static_cast<uint32_t>(static_cast<uint16_t>(q[2 * p + 1])) << 16);
    }
    return v;
}

// Source pixels of output i: from the row itself, or from the zero-padded
// tail copy where the padded taps would run past the row's end.
inline const uint8_t* tapsAt(const HorizontalPlan& h, int i, const uint8_t* row, const uint8_t* tail) {
    const int s = h.start[static_cast<size_t>(i)];
    return s + h.taps <= h.srcEnd ? row + 4 * (s - h.srcBegin) : tail + 4 * (s - h.tailBegin);
}

// The baseline loops: plain integer arithmetic giving exactly the results
// of the 256-bit loops.
void horizontalBaseline(const HorizontalPlan& h, const uint8_t* row, const uint8_t* tail, int16_t* dst) {
    for (int i = 0; i < h.count; ++i) {
        const uint8_t* p = tapsAt(h, i, row, tail);
        const int16_t* w = &h.weights[static_cast<size_t>(i) * static_cast<size_t>(h.taps)];
        int32_t sum[4] = {0, 0, 0, 0};
        for (int t = 0; t < h.taps; ++t)
            for (int c = 0; c < 4; ++c) sum[c] += w[t] * p[4 * t + c];
        for (int c = 0; c < 4; ++c) dst[4 * i + c] = saturate16((sum[c] + (1 << (kHShift - 1))) >> kHShift);
    }
}

// Rounds one vertical sum per channel to 0..255 with every colour at or
// below its alpha, so the result is valid premultiplied data (cubic
// overshoot).
uint32_t packPixel(const int32_t* sum) {
    int v[4];
    for (int c = 0; c < 4; ++c)
        v[c] = std::clamp<int>(saturate16((sum[c] + (1 << (kVShift - 1))) >> kVShift), 0, 255);
    for (int c = 0; c < 3; ++c) v[c] = std::min(v[c], v[3]);
    return static_cast<uint32_t>(v[0]) | static_cast<uint32_t>(v[1]) << 8 | static_cast<uint32_t>(v[2]) << 16 |
           static_cast<uint32_t>(v[3]) << 24;
}

void verticalBaseline(const int16_t* const* rows, const int32_t* pairs, int pairCount, int count, uint32_t* out) {
    for (int x = 0; x < count; ++x) {
        int32_t sum[4] = {0, 0, 0, 0};
        for (int p = 0; p < pairCount; ++p) {
            const int32_t w0 = static_cast<int16_t>(pairs[p] & 0xffff);
            const int32_t w1 = static_cast<int16_t>(static_cast<uint32_t>(pairs[p]) >> 16);
            const int16_t* a = rows[2 * p] + 4 * x;
            const int16_t* b = rows[2 * p + 1] + 4 * x;
            for (int c = 0; c < 4; ++c) sum[c] += a[c] * w0 + b[c] * w1;
        }
        out[x] = packPixel(sum);
    }
}

#if defined(__x86_64__) && defined(__GNUC__)
#define ORRERY_WIDE_LOOPS 1
#define ORRERY_AVX2 __attribute__((target("avx2")))

ORRERY_AVX2 inline __m256i loadLanes(const uint8_t* lo, const uint8_t* hi) {
    return _mm256_inserti128_si256(
        _mm256_castsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(lo))),
        _mm_loadu_si128(reinterpret_cast<const __m128i*>(hi)), 1);
}

ORRERY_AVX2 void horizontalWide(const HorizontalPlan& h, const uint8_t* row, const uint8_t* tail, int16_t* dst) {
    // Bytes of pixels 0 and 1 (2 and 3) of a lane to 16-bit tap pairs per
    // channel: b0 b1 g0 g1 r0 r1 a0 a1.
    const __m256i pairs01 = _mm256_setr_epi8(0, -1, 4, -1, 1, -1, 5, -1, 2, -1, 6, -1, 3, -1, 7, -1,
                                             0, -1, 4, -1, 1, -1, 5, -1, 2, -1, 6, -1, 3, -1, 7, -1);
    const __m256i pairs23 = _mm256_setr_epi8(8, -1, 12, -1, 9, -1, 13, -1, 10, -1, 14, -1, 11, -1, 15, -1,
                                             8, -1, 12, -1, 9, -1, 13, -1, 10, -1, 14, -1, 11, -1, 15, -1);
    const __m256i round = _mm256_set1_epi32(1 << (kHShift - 1));
    const int groups = h.taps / 4;
    const __m256i* w = reinterpret_cast<const __m256i*>(h.wide.data());
    for (int k = 0; k < h.count / 4; ++k) {
        const uint8_t* p0 = tapsAt(h, 4 * k, row, tail);
        const uint8_t* p1 = tapsAt(h, 4 * k + 1, row, tail);
        const uint8_t* p2 = tapsAt(h, 4 * k + 2, row, tail);
        const uint8_t* p3 = tapsAt(h, 4 * k + 3, row, tail);
        __m256i even = _mm256_setzero_si256(), odd = even;
        for (int g = 0; g < groups; ++g, w += 4) {
            const __m256i se = loadLanes(p0 + 16 * g, p2 + 16 * g);
            const __m256i so = loadLanes(p1 + 16 * g, p3 + 16 * g);
            even = _mm256_add_epi32(even, _mm256_madd_epi16(_mm256_shuffle_epi8(se, pairs01), _mm256_loadu_si256(w)));
            even = _mm256_add_epi32(even, _mm256_madd_epi16(_mm256_shuffle_epi8(se, pairs23), _mm256_loadu_si256(w + 1)));
            odd = _mm256_add_epi32(odd, _mm256_madd_epi16(_mm256_shuffle_epi8(so, pairs01), _mm256_loadu_si256(w + 2)));
            odd = _mm256_add_epi32(odd, _mm256_madd_epi16(_mm256_shuffle_epi8(so, pairs23), _mm256_loadu_si256(w + 3)));
        }
        even = _mm256_srai_epi32(_mm256_add_epi32(even, round), kHShift);
        odd = _mm256_srai_epi32(_mm256_add_epi32(odd, round), kHShift);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(dst + 16 * k), _mm256_packs_epi32(even, odd));
    }
}

ORRERY_AVX2 void verticalWide(const int16_t* const* rows, const int32_t* pairs, int pairCount, int count,
                              uint32_t* out) {
    const __m256i round = _mm256_set1_epi32(1 << (kVShift - 1));
    const __m256i zero = _mm256_setzero_si256();
    const __m256i max = _mm256_set1_epi16(255);
    // Four pixels (16 channels) a step, every tap summed in registers.
    for (int x = 0; x < count; x += 4) {
        __m256i lo = zero, hi = zero;
        for (int p = 0; p < pairCount; ++p) {
            const __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(rows[2 * p] + 4 * x));
            const __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(rows[2 * p + 1] + 4 * x));
            const __m256i w = _mm256_set1_epi32(pairs[p]);
            lo = _mm256_add_epi32(lo, _mm256_madd_epi16(_mm256_unpacklo_epi16(a, b), w));
            hi = _mm256_add_epi32(hi, _mm256_madd_epi16(_mm256_unpackhi_epi16(a, b), w));
        }
        lo = _mm256_srai_epi32(_mm256_add_epi32(lo, round), kVShift);
        hi = _mm256_srai_epi32(_mm256_add_epi32(hi, round), kVShift);
        __m256i v = _mm256_min_epi16(_mm256_max_epi16(_mm256_packs_epi32(lo, hi), zero), max);
        const __m256i alpha = _mm256_shufflehi_epi16(_mm256_shufflelo_epi16(v, 0xFF), 0xFF);
        v = _mm256_min_epi16(v, alpha);
        const __m128i bytes = _mm256_castsi256_si128(_mm256_permute4x64_epi64(_mm256_packus_epi16(v, v), 0x08));
        if (x + 4 <= count)
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out + x), bytes);
        else {
            uint32_t last[4];
            _mm_storeu_si128(reinterpret_cast<__m128i*>(last), bytes);
            std::memcpy(out + x, last, static_cast<size_t>(count - x) * 4);
        }
    }
}

bool haveWideVectors() {
    static const bool have = __builtin_cpu_supports("avx2");
    return have;
}
#endif

using HorizontalLoop = void (*)(const HorizontalPlan&, const uint8_t*, const uint8_t*, int16_t*);
using VerticalLoop = void (*)(const int16_t* const*, const int32_t*, int, int, uint32_t*);

}  // namespace

void setResamplerLoops(ResamplerLoops loops) { gLoops.store(loops); }

Status resample(const AxisFilter& fx, const AxisFilter& fy, const RowFetch& rows, uint32_t* out,
                ptrdiff_t outStridePixels) {
    if (fx.count <= 0 || fy.count <= 0 || fx.taps <= 0 || fy.taps <= 0 ||
        fx.weights.size() != static_cast<size_t>(fx.count) * static_cast<size_t>(fx.taps) ||
        fy.weights.size() != static_cast<size_t>(fy.count) * static_cast<size_t>(fy.taps) ||
        fx.start.size() != static_cast<size_t>(fx.count) || fy.start.size() != static_cast<size_t>(fy.count))
        return Status::InvalidParameter;
    const HorizontalPlan h = planHorizontal(fx);
    const VerticalPlan v = planVertical(fy);
    HorizontalLoop horizontal = horizontalBaseline;
    VerticalLoop vertical = verticalBaseline;
#ifdef ORRERY_WIDE_LOOPS
    if (gLoops.load() == ResamplerLoops::Best && haveWideVectors()) {
        horizontal = horizontalWide;
        vertical = verticalWide;
    }
#endif
    const size_t rowValues = 4 * static_cast<size_t>(h.count);
    const int ring = fy.taps;
    // The horizontal results of the last fy.taps source rows.
    std::vector<int16_t> inter(static_cast<size_t>(ring) * rowValues);
    std::vector<int> tag(static_cast<size_t>(ring), INT_MIN);
    std::vector<const int16_t*> window(static_cast<size_t>(2 * v.pairs));
    std::vector<uint8_t> tail(4 * static_cast<size_t>(fx.srcEnd - h.tailBegin + h.taps), 0);
    const size_t tailBytes = 4 * static_cast<size_t>(fx.srcEnd - h.tailBegin);
    for (int oy = 0; oy < fy.count; ++oy) {
        const int s = fy.start[static_cast<size_t>(oy)];
        for (int t = 0; t < ring; ++t) {
            const int y = s + t;
            const size_t slot = static_cast<size_t>((y - fy.srcBegin) % ring);
            int16_t* dst = inter.data() + slot * rowValues;
            if (tag[slot] != y) {
                const uint8_t* row = reinterpret_cast<const uint8_t*>(rows(y));
                std::memcpy(tail.data(), row + 4 * static_cast<size_t>(h.tailBegin - fx.srcBegin), tailBytes);
                horizontal(h, row, tail.data(), dst);
                tag[slot] = y;
            }
            window[static_cast<size_t>(t)] = dst;
        }
        // An odd last tap pairs with itself at zero weight.
        if (ring % 2) window[static_cast<size_t>(ring)] = window[static_cast<size_t>(ring - 1)];
        vertical(window.data(), &v.weightPairs[static_cast<size_t>(oy) * v.pairs], v.pairs, fx.count,
                 out + oy * outStridePixels);
    }
    return Status::Ok;
}

namespace {

// halveRows over pixels of kBytes bytes in a8r8g8b8 byte order (blue first):
// four-byte pixels are premultiplied already, three-byte ones (24-bit RGB)
// are opaque and come out with alpha 255, exactly as their conversion would.
template <int kBytes>
void halvePixelRows(const uint8_t* a, const uint8_t* b, int width, uint32_t* out) {
    const int pairs = width / 2;
    uint8_t* o = reinterpret_cast<uint8_t*>(out);
    for (int x = 0; x < pairs; ++x) {
        for (int c = 0; c < kBytes; ++c) {
            const int i = 2 * kBytes * x + c;
            o[4 * x + c] = static_cast<uint8_t>((a[i] + a[i + kBytes] + b[i] + b[i + kBytes] + 2) >> 2);
        }
        if (kBytes == 3) o[4 * x + 3] = 255;
    }
    if (width & 1) {
        // The odd last column pairs with itself (the edge is padded).
        const int i = 2 * kBytes * pairs;
        for (int c = 0; c < kBytes; ++c)
            o[4 * pairs + c] = static_cast<uint8_t>((2 * a[i + c] + 2 * b[i + c] + 2) >> 2);
        if (kBytes == 3) o[4 * pairs + 3] = 255;
    }
}

}  // namespace

void halveRows(const uint32_t* r0, const uint32_t* r1, int width, uint32_t* out) {
    halvePixelRows<4>(reinterpret_cast<const uint8_t*>(r0), reinterpret_cast<const uint8_t*>(r1), width, out);
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
    if (!opaque_) opaque_ = image.knownOpaque() || imageIsOpaque(image);
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
    if (px.format() == PixelFormat24bppRGB && adjust.identity()) {
        // Plain 24-bit rows are halved as they are, without converting them
        // first: the largest pictures (photographs) are mostly of this kind.
        for (int y = 0; y < level.height(); ++y)
            halvePixelRows<3>(px.row(2 * y), px.row(std::min(h - 1, 2 * y + 1)), w, level.row(y));
        levels_.push_back(std::move(level));
        return Status::Ok;
    }
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
