#include "platform/gdiplus/resample.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <numeric>
#include <random>

using namespace orrery::gdiplus;

namespace {

std::vector<uint32_t> rampRow(int n) {
    std::vector<uint32_t> row;
    for (int i = 0; i < n; ++i) {
        uint32_t v = static_cast<uint32_t>((i * 23) & 0xff);
        row.push_back(0xFF000000u | v << 16 | (255 - v) << 8 | (v / 2));
    }
    return row;
}

// Runs the resampler over a one-row-per-y image held in `rows`.
std::vector<uint32_t> run(const std::vector<std::vector<uint32_t>>& rows, const AxisFilter& fx,
                          const AxisFilter& fy) {
    std::vector<uint32_t> out(static_cast<size_t>(fx.count * fy.count));
    RowFetch fetch = [&](int y) { return rows[static_cast<size_t>(y)].data() + fx.srcBegin; };
    EXPECT_EQ(resample(fx, fy, fetch, out.data(), fx.count), Status::Ok);
    return out;
}

// A random premultiplied image with hard alpha edges: a transparent band,
// an opaque band, and between them random alpha changing every few pixels.
std::vector<std::vector<uint32_t>> alphaEdgeImage(int w, int h, uint32_t seed) {
    std::mt19937 rng(seed);
    std::vector<std::vector<uint32_t>> rows(static_cast<size_t>(h), std::vector<uint32_t>(static_cast<size_t>(w)));
    uint32_t alpha = 0;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            if (x < w / 5) alpha = 0;
            else if (x > 4 * w / 5 || y < h / 6) alpha = 255;
            else if (rng() % 3 == 0) alpha = rng() % 2 ? rng() % 256 : (rng() % 2) * 255;
            uint32_t p = alpha << 24;
            for (int c = 0; c < 3; ++c) p |= (alpha ? rng() % (alpha + 1) : 0) << (8 * c);
            rows[static_cast<size_t>(y)][static_cast<size_t>(x)] = p;
        }
    return rows;
}

// Rows handed to the resampler hold exactly the pixels the filter names, so
// a read outside them is caught by the address sanitizer.
std::vector<uint32_t> runExact(const std::vector<std::vector<uint32_t>>& rows, const AxisFilter& fx,
                               const AxisFilter& fy) {
    std::vector<uint32_t> out(static_cast<size_t>(fx.count * fy.count));
    std::unique_ptr<uint32_t[]> row;
    RowFetch fetch = [&](int y) {
        const auto& r = rows[static_cast<size_t>(y)];
        row.reset(new uint32_t[static_cast<size_t>(fx.srcEnd - fx.srcBegin)]);
        std::copy(r.begin() + fx.srcBegin, r.begin() + fx.srcEnd, row.get());
        return row.get();
    };
    EXPECT_EQ(resample(fx, fy, fetch, out.data(), fx.count), Status::Ok);
    return out;
}

// The filters applied in double precision, rounded once at the end, with
// colours clamped to 0..255 and to their alpha.
uint32_t referencePixel(const std::vector<std::vector<uint32_t>>& rows, const AxisFilter& fx,
                        const AxisFilter& fy, int x, int y) {
    double sum[4] = {0, 0, 0, 0};
    for (int ty = 0; ty < fy.taps; ++ty) {
        const double wy = fy.weights[static_cast<size_t>(y * fy.taps + ty)];
        const auto& row = rows[static_cast<size_t>(fy.start[static_cast<size_t>(y)] + ty)];
        for (int tx = 0; tx < fx.taps; ++tx) {
            const double w = wy * fx.weights[static_cast<size_t>(x * fx.taps + tx)];
            const uint32_t p = row[static_cast<size_t>(fx.start[static_cast<size_t>(x)] + tx)];
            for (int c = 0; c < 4; ++c) sum[c] += w * ((p >> (8 * c)) & 0xff);
        }
    }
    const double alpha = std::clamp(sum[3], 0.0, 255.0);
    uint32_t out = static_cast<uint32_t>(std::lround(alpha)) << 24;
    for (int c = 0; c < 3; ++c)
        out |= static_cast<uint32_t>(std::lround(std::min(std::clamp(sum[c], 0.0, 255.0), alpha))) << (8 * c);
    return out;
}

int largestChannelDifference(uint32_t a, uint32_t b) {
    int d = 0;
    for (int c = 0; c < 4; ++c)
        d = std::max(d, std::abs(static_cast<int>((a >> (8 * c)) & 0xff) - static_cast<int>((b >> (8 * c)) & 0xff)));
    return d;
}

struct LoopsGuard {
    explicit LoopsGuard(ResamplerLoops loops) { setResamplerLoops(loops); }
    ~LoopsGuard() { setResamplerLoops(ResamplerLoops::Best); }
};

struct Scale {
    double step;
    KernelWidth width;
};

}  // namespace

TEST(AxisFilter, WeightsSumToOneAndStayInsideTheSource) {
    for (ResampleKernel k : {ResampleKernel::Linear, ResampleKernel::CatmullRom})
        for (KernelWidth width : {KernelWidth::Unit, KernelWidth::Widened})
            for (double step : {0.13, 0.5, 1.0, 1.7, 3.9}) {
                AxisMapping m{-0.8, step, 40, 3, 25};
                AxisFilter f;
                ASSERT_EQ(makeAxisFilter(m, k, width, f), Status::Ok);
                ASSERT_EQ(f.start.size(), 40u);
                EXPECT_GE(f.srcBegin, 3);
                EXPECT_LE(f.srcEnd, 25);
                for (int i = 0; i < f.count; ++i) {
                    EXPECT_GE(f.start[i], 3);
                    EXPECT_LE(f.start[i] + f.taps, 25);
                    double sum = 0;
                    for (int t = 0; t < f.taps; ++t) sum += f.weights[i * f.taps + t];
                    EXPECT_NEAR(sum, 1.0, 1e-5);
                }
            }
}

TEST(AxisFilter, WidenedKernelGrowsWithTheShrinkFactor) {
    AxisFilter unit, wide;
    AxisMapping m{0, 3.0, 10, 0, 30};
    ASSERT_EQ(makeAxisFilter(m, ResampleKernel::CatmullRom, KernelWidth::Unit, unit), Status::Ok);
    ASSERT_EQ(makeAxisFilter(m, ResampleKernel::CatmullRom, KernelWidth::Widened, wide), Status::Ok);
    // Unit width: at most the 4 cubic taps. Widened by 3: a span of 12
    // pixels whose two ends fall on the kernel's zeros.
    EXPECT_LE(unit.taps, 4);
    EXPECT_EQ(wide.taps, 11);
    AxisFilter bad;
    EXPECT_EQ(makeAxisFilter(AxisMapping{0, 1, 0, 0, 4}, ResampleKernel::Linear, KernelWidth::Unit, bad),
              Status::InvalidParameter);
    EXPECT_EQ(makeAxisFilter(AxisMapping{0, 1, 4, 4, 4}, ResampleKernel::Linear, KernelWidth::Unit, bad),
              Status::InvalidParameter);
}

TEST(Resample, CatmullRomAtUnitStepReproducesTheSource) {
    const int w = 17, h = 5;
    std::vector<std::vector<uint32_t>> rows;
    for (int y = 0; y < h; ++y) {
        auto r = rampRow(w + y);
        r.resize(w);
        rows.push_back(r);
    }
    AxisFilter fx, fy;
    ASSERT_EQ(makeAxisFilter(AxisMapping{0, 1, w, 0, w}, ResampleKernel::CatmullRom,
                             KernelWidth::Widened, fx),
              Status::Ok);
    ASSERT_EQ(makeAxisFilter(AxisMapping{0, 1, h, 0, h}, ResampleKernel::CatmullRom,
                             KernelWidth::Widened, fy),
              Status::Ok);
    auto out = run(rows, fx, fy);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) ASSERT_EQ(out[y * w + x], rows[y][x]) << x << "," << y;
}

TEST(Resample, LinearHalfwayAveragesAndClampsAtEdges) {
    std::vector<std::vector<uint32_t>> rows = {{0xFF000000, 0xFF0000C8}};
    AxisFilter fx, fy;
    // Output centres at source 0.5, 1.0, 1.5, 2.0: pixel 0, halfway, pixel 1,
    // and beyond the edge (the edge pixel).
    ASSERT_EQ(makeAxisFilter(AxisMapping{0.25, 0.5, 4, 0, 2}, ResampleKernel::Linear, KernelWidth::Unit, fx),
              Status::Ok);
    ASSERT_EQ(makeAxisFilter(AxisMapping{0, 1, 1, 0, 1}, ResampleKernel::Linear, KernelWidth::Unit, fy),
              Status::Ok);
    auto out = run(rows, fx, fy);
    EXPECT_EQ(out[0] & 0xff, 0u);
    EXPECT_EQ(out[1] & 0xff, 100u);
    EXPECT_EQ(out[2] & 0xff, 200u);
    EXPECT_EQ(out[3] & 0xff, 200u);
}

TEST(Resample, OvershootStaysValidPremultiplied) {
    // A sharp step through Catmull-Rom rings; colours must never exceed alpha.
    std::vector<std::vector<uint32_t>> rows = {{0x40404040, 0x40404040, 0xFFFFFFFF, 0xFFFFFFFF}};
    AxisFilter fx, fy;
    ASSERT_EQ(makeAxisFilter(AxisMapping{0, 0.3, 13, 0, 4}, ResampleKernel::CatmullRom, KernelWidth::Unit, fx),
              Status::Ok);
    ASSERT_EQ(makeAxisFilter(AxisMapping{0, 1, 1, 0, 1}, ResampleKernel::CatmullRom, KernelWidth::Unit, fy),
              Status::Ok);
    for (uint32_t p : run(rows, fx, fy)) {
        uint32_t a = p >> 24;
        EXPECT_LE((p >> 16) & 0xff, a);
        EXPECT_LE((p >> 8) & 0xff, a);
        EXPECT_LE(p & 0xff, a);
    }
}

TEST(Levels, HalvingAveragesBlocksAndPadsOddEdges) {
    std::vector<uint32_t> r0 = {0x00000000, 0x04040404, 0x80FF0010};
    std::vector<uint32_t> r1 = {0x08080808, 0x0C0C0C0C, 0x80FF0010};
    std::vector<uint32_t> out(2);
    halveRows(r0.data(), r1.data(), 3, out.data());
    EXPECT_EQ(out[0], 0x06060606u);
    EXPECT_EQ(out[1], 0x80FF0010u);
    EXPECT_EQ(levelSize(6000, 1), 3000);
    EXPECT_EQ(levelSize(5, 1), 3);
    EXPECT_EQ(levelSize(5, 3), 1);
    EXPECT_EQ(levelSize(1, 4), 1);
}

TEST(Levels, MadeOnceAndKeyedByColourAdjustment) {
    PixelData px;
    ASSERT_EQ(PixelData::allocate(9, 7, PixelFormat24bppRGB, px), Status::Ok);
    for (int y = 0; y < 7; ++y)
        for (int x = 0; x < 9; ++x) px.row(y)[3 * x + 1] = 0x80;  // green 128
    auto image = Image::fromPixels(std::move(px));
    ColorAdjuster plain;
    const PremulBuffer* level = nullptr;
    DrawCache& cache = DrawCache::of(*image);
    ASSERT_EQ(cache.level(*image, 2, plain, level), Status::Ok);
    EXPECT_EQ(level->width(), 3);
    EXPECT_EQ(level->height(), 2);
    EXPECT_EQ(level->row(1)[2], 0xFF008000u);
    EXPECT_EQ(cache.levelsMade(), 2);
    EXPECT_EQ(&DrawCache::of(*image), &cache);

    ImageAttributes gamma;
    gamma.setGamma(2.0f);
    ColorAdjuster adjusted(&gamma);
    ASSERT_EQ(cache.level(*image, 1, adjusted, level), Status::Ok);
    EXPECT_EQ(cache.levelsMade(), 1);
    EXPECT_EQ(level->row(0)[0], 0xFF004000u);  // 255 * (128 / 255)^2 = 64.25
}

// 24-bit pictures are halved straight from their rows; their first level
// must be the one their 32-bit conversion gives, odd edges included.
TEST(Levels, TwentyFourBitRowsHalveLikeTheirConversion) {
    const int w = 37, h = 23;
    PixelData rgb, argb;
    ASSERT_EQ(PixelData::allocate(w, h, PixelFormat24bppRGB, rgb), Status::Ok);
    ASSERT_EQ(PixelData::allocate(w, h, PixelFormat32bppARGB, argb), Status::Ok);
    std::mt19937 random(7);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const uint32_t c = 0xFF000000u | (random() & 0xFFFFFFu);
            for (int i = 0; i < 3; ++i) rgb.row(y)[3 * x + i] = static_cast<uint8_t>(c >> (8 * i));
            std::memcpy(argb.row(y) + 4 * x, &c, 4);
        }
    auto fromRgb = Image::fromPixels(std::move(rgb));
    auto fromArgb = Image::fromPixels(std::move(argb));
    const PremulBuffer *got = nullptr, *want = nullptr;
    ASSERT_EQ(DrawCache::of(*fromRgb).level(*fromRgb, 2, ColorAdjuster(), got), Status::Ok);
    ASSERT_EQ(DrawCache::of(*fromArgb).level(*fromArgb, 2, ColorAdjuster(), want), Status::Ok);
    ASSERT_EQ(got->width(), want->width());
    ASSERT_EQ(got->height(), want->height());
    for (int y = 0; y < got->height(); ++y)
        ASSERT_TRUE(std::equal(got->row(y), got->row(y) + got->width(), want->row(y))) << "row " << y;
}

TEST(Levels, RefusedAboveTheAllocationLimit) {
    PixelData px;
    ASSERT_EQ(PixelData::allocate(64, 64, PixelFormat32bppARGB, px), Status::Ok);
    auto image = Image::fromPixels(std::move(px));
    const size_t old = pixelAllocationLimit();
    setPixelAllocationLimit(1000);
    const PremulBuffer* level = nullptr;
    Status s = DrawCache::of(*image).level(*image, 1, ColorAdjuster(), level);
    setPixelAllocationLimit(old);
    EXPECT_EQ(s, Status::OutOfMemory);
}

// The fixed-point passes against the double-precision reference, for both
// builds of the loops, on shrinks with widened kernels (up to 16 taps),
// unit-width shrinks and enlargements, with a source range that starts and
// ends inside the rows (the last outputs' taps run against its end).
TEST(Resample, FixedPointMatchesExactFiltersWithinOneStep) {
    const int w = 71, h = 43;
    const auto rows = alphaEdgeImage(w, h, 7);
    const Scale scales[] = {{0.37, KernelWidth::Widened}, {1.0, KernelWidth::Widened}, {1.3, KernelWidth::Widened},
                            {1.85, KernelWidth::Widened}, {2.6, KernelWidth::Widened}, {3.9, KernelWidth::Widened},
                            {1.85, KernelWidth::Unit},    {3.9, KernelWidth::Unit}};
    for (ResampleKernel kernel : {ResampleKernel::Linear, ResampleKernel::CatmullRom})
        for (const Scale& sc : scales) {
            AxisFilter fx, fy;
            const AxisMapping mx{2.3, sc.step, static_cast<int>((w - 4) / sc.step), 2, w - 1};
            const AxisMapping my{0.6, sc.step * 0.93, static_cast<int>(h / (sc.step * 0.93)), 0, h};
            ASSERT_EQ(makeAxisFilter(mx, kernel, sc.width, fx), Status::Ok);
            ASSERT_EQ(makeAxisFilter(my, kernel, sc.width, fy), Status::Ok);
            std::vector<uint32_t> best, baseline;
            {
                LoopsGuard loops(ResamplerLoops::Best);
                best = runExact(rows, fx, fy);
            }
            {
                LoopsGuard loops(ResamplerLoops::Baseline);
                baseline = runExact(rows, fx, fy);
            }
            int worst = 0, inexact = 0;
            for (int y = 0; y < fy.count; ++y)
                for (int x = 0; x < fx.count; ++x) {
                    const size_t i = static_cast<size_t>(y * fx.count + x);
                    const uint32_t ref = referencePixel(rows, fx, fy, x, y);
                    const int d = largestChannelDifference(best[i], ref);
                    worst = std::max(worst, d);
                    inexact += d != 0;
                    ASSERT_EQ(best[i], baseline[i]) << "loops differ at " << x << "," << y;
                    const uint32_t a = best[i] >> 24;
                    ASSERT_LE(best[i] & 0xff, a);
                    ASSERT_LE((best[i] >> 8) & 0xff, a);
                    ASSERT_LE((best[i] >> 16) & 0xff, a);
                }
            EXPECT_LE(worst, 1) << "step " << sc.step << " taps " << fx.taps << "x" << fy.taps;
            // Off by one only where the exact value sits close to a rounding
            // boundary: a small share of the channels.
            EXPECT_LT(inexact, fx.count * fy.count / 10) << "step " << sc.step;
        }
}

// The Q14 weights of every output sum to exactly one, so a flat area comes
// out unchanged however the weights round.
TEST(Resample, FlatAreasStayExactInFixedPoint) {
    const uint32_t colour = 0xC8781E64u;
    std::vector<std::vector<uint32_t>> rows(31, std::vector<uint32_t>(37, colour));
    for (ResamplerLoops loops : {ResamplerLoops::Best, ResamplerLoops::Baseline})
        for (double step : {0.29, 0.77, 1.41, 1.85, 3.3}) {
            LoopsGuard guard(loops);
            AxisFilter fx, fy;
            ASSERT_EQ(makeAxisFilter(AxisMapping{0.1, step, static_cast<int>(37 / step), 0, 37},
                                     ResampleKernel::CatmullRom, KernelWidth::Widened, fx),
                      Status::Ok);
            ASSERT_EQ(makeAxisFilter(AxisMapping{0, step, static_cast<int>(31 / step), 0, 31},
                                     ResampleKernel::CatmullRom, KernelWidth::Widened, fy),
                      Status::Ok);
            for (uint32_t p : runExact(rows, fx, fy)) ASSERT_EQ(p, colour) << "step " << step;
        }
}
