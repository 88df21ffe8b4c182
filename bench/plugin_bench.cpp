// Presenting the codec plug-in's bottom-up rows: drawing an image that wraps
// them with a negative stride (no copy at load) against one flipped once at
// load and wrapped with its positive stride, and the cost of that flip.
#include <algorithm>
#include <cstring>
#include <vector>

#include "platform/gdiplus/factory.h"
#include "platform/gdiplus/graphics.h"
#include "support/bench_support.h"

using namespace orrery::gdiplus;
using orrery::bench::makePatternImage;
using orrery::bench::Ratio;

namespace {

constexpr int kImageW = 4000, kImageH = 3000;
constexpr int kViewW = 1920, kViewH = 1080;

// The pattern's rows copied into one buffer, as the plug-in holds them.
struct Rows {
    explicit Rows(PixelFormat format) : format(format) {
        auto image = makePatternImage(kImageW, kImageH, format);
        const PixelData& px = image->pixels();
        stride = static_cast<ptrdiff_t>(strideFor(format, kImageW));
        bytes.resize(static_cast<size_t>(stride) * kImageH);
        for (int y = 0; y < kImageH; ++y)
            std::memcpy(bytes.data() + stride * y, px.row(y), static_cast<size_t>(stride));
    }
    PixelFormat format;
    ptrdiff_t stride = 0;
    std::vector<uint8_t> bytes;
};

Rows& rowsOf(PixelFormat format) {
    static Rows rgb32(PixelFormat32bppRGB);
    static Rows rgb24(PixelFormat24bppRGB);
    return format == PixelFormat32bppRGB ? rgb32 : rgb24;
}

void drawWrapped(benchmark::State& state, PixelFormat format, bool negative) {
    Rows& rows = rowsOf(format);
    uint8_t* scan0 = negative ? rows.bytes.data() + rows.stride * (kImageH - 1) : rows.bytes.data();
    std::unique_ptr<Image> image;
    if (createBitmapFromScan0(kImageW, kImageH, negative ? -rows.stride : rows.stride, format, scan0, image) !=
        Status::Ok) {
        state.SkipWithError("wrap failed");
        return;
    }
    std::vector<uint32_t> view(static_cast<size_t>(kViewW) * kViewH, 0xFF202020);
    Surface surface;
    surface.pixels = view.data();
    surface.width = kViewW;
    surface.height = kViewH;
    surface.stride = kViewW * 4;
    std::unique_ptr<Graphics> g;
    Graphics::fromSurface(surface, g);
    g->setInterpolationMode(InterpolationModeBilinear);
    g->setPixelOffsetMode(PixelOffsetModeHalf);
    const RectF dst{240, 0, 1440, 1080};
    for (auto _ : state) {
        g->drawImageRect(*image, dst);
        benchmark::DoNotOptimize(view.data());
    }
}

// What flipping once at load costs: every row swapped with its mirror.
void flipOnce(benchmark::State& state, PixelFormat format) {
    Rows& rows = rowsOf(format);
    std::vector<uint8_t> line(static_cast<size_t>(rows.stride));
    for (auto _ : state) {
        for (int y = 0; y < kImageH / 2; ++y) {
            uint8_t* top = rows.bytes.data() + rows.stride * y;
            uint8_t* bottom = rows.bytes.data() + rows.stride * (kImageH - 1 - y);
            std::memcpy(line.data(), top, line.size());
            std::memcpy(top, bottom, line.size());
            std::memcpy(bottom, line.data(), line.size());
        }
        benchmark::DoNotOptimize(rows.bytes.data());
    }
}

BENCHMARK_CAPTURE(drawWrapped, rgb32_positive, PixelFormat32bppRGB, false)->Name("draw/rgb32/positive");
BENCHMARK_CAPTURE(drawWrapped, rgb32_negative, PixelFormat32bppRGB, true)->Name("draw/rgb32/negative");
BENCHMARK_CAPTURE(drawWrapped, rgb24_positive, PixelFormat24bppRGB, false)->Name("draw/rgb24/positive");
BENCHMARK_CAPTURE(drawWrapped, rgb24_negative, PixelFormat24bppRGB, true)->Name("draw/rgb24/negative");
BENCHMARK_CAPTURE(flipOnce, rgb32, PixelFormat32bppRGB)->Name("flip/rgb32");

}  // namespace

int main(int argc, char** argv) {
    return orrery::bench::runWithRatios(argc, argv,
                                        {{"draw/rgb32/negative", "draw/rgb32/positive", 0},
                                         {"draw/rgb24/negative", "draw/rgb24/positive", 0},
                                         {"flip/rgb32", "draw/rgb32/positive", 0}});
}
