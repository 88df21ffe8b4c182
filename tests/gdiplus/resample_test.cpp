#include "platform/gdiplus/resample.h"

#include <gtest/gtest.h>

#include <numeric>

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
