// Drawing a 1920x1080 view from a 6000x4000 image: every interpolation mode
// through Graphics, against memcpy of the view (the floor), one direct
// pixman call with the same filter, the resampler called alone, and pixman's
// separable convolution (the high-quality filter of general 2D libraries).
#include <pixman.h>

#include <cmath>
#include <cstring>

#include "platform/gdiplus/graphics.h"
#include "platform/gdiplus/resample.h"
#include "support/bench_support.h"

using namespace orrery::gdiplus;
using orrery::bench::makePatternImage;
using orrery::bench::Ratio;

namespace {

constexpr int kViewW = 1920, kViewH = 1080;
constexpr int kImageW = 6000, kImageH = 4000;

// Source and destination rectangles as the viewer computes them.
struct Scene {
    const char* name;
    RectF dst;
    RectF src;
};

const Scene kScenes[] = {
    // Zoom 0.3: 1800x1200 shown, centred horizontally, middle rows.
    {"zoom0.3", {60, 0, 1800, 1080}, {0, 200, 6000, 3600}},
    // Zoom 2.5: a 768x432 part of the middle fills the view.
    {"zoom2.5", {0, 0, 1920, 1080}, {2616, 1784, 768, 432}},
    // The whole image fitted into the view's height.
    {"fit", {150, 0, 1620, 1080}, {0, 0, 6000, 4000}},
};

const Image& imageOf(PixelFormat f) {
    static auto pargb = makePatternImage(kImageW, kImageH, PixelFormat32bppPARGB);
    static auto argb = makePatternImage(kImageW, kImageH, PixelFormat32bppARGB);
    return f == PixelFormat32bppPARGB ? *pargb : *argb;
}

struct View {
    View() : pixels(static_cast<size_t>(kViewW) * kViewH, 0xFF202020) {
        surface.pixels = pixels.data();
        surface.width = kViewW;
        surface.height = kViewH;
        surface.stride = kViewW * 4;
    }
    std::vector<uint32_t> pixels;
    Surface surface;
};

const char* modeName(InterpolationMode m) {
    switch (m) {
        case InterpolationModeNearestNeighbor: return "nearest";
        case InterpolationModeBilinear: return "bilinear";
        case InterpolationModeBicubic: return "bicubic";
        case InterpolationModeHighQualityBilinear: return "hq_bilinear";
        case InterpolationModeHighQualityBicubic: return "hq_bicubic";
        default: return "other";
    }
}

std::string drawName(PixelFormat f, const Scene& s, InterpolationMode m) {
    return std::string("draw/") + (f == PixelFormat32bppPARGB ? "pargb/" : "argb_opaque/") + s.name +
           "/" + modeName(m);
}

void drawBench(benchmark::State& state, PixelFormat format, Scene scene, InterpolationMode mode) {
    const Image& image = imageOf(format);
    View view;
    std::unique_ptr<Graphics> g;
    Graphics::fromSurface(view.surface, g);
    g->setSmoothingMode(SmoothingModeNone);
    g->setPixelOffsetMode(PixelOffsetModeHalf);
    g->setCompositingQuality(CompositingQualityHighSpeed);
    g->setInterpolationMode(mode);
    g->setPageUnit(UnitPixel);
    // The first drawing makes the reduced levels (and the opacity check);
    // the timed ones show the steady state of a viewer.
    if (g->drawImageRectRect(image, scene.dst, scene.src) != Status::Ok) {
        state.SkipWithError("draw failed");
        return;
    }
    for (auto _ : state) {
        g->drawImageRectRect(image, scene.dst, scene.src);
        benchmark::DoNotOptimize(view.pixels.data());
    }
}

void memcpyBench(benchmark::State& state) {
    std::vector<uint32_t> a(static_cast<size_t>(kViewW) * kViewH, 1), b(a.size());
    for (auto _ : state) {
        std::memcpy(b.data(), a.data(), a.size() * 4);
        benchmark::DoNotOptimize(b.data());
        benchmark::ClobberMemory();
    }
}

// One pixman composite with the view's mapping (pixel centres matched), the
// image wrapped as Graphics wraps it.
void pixmanBench(benchmark::State& state, PixelFormat format, Scene scene, pixman_filter_t filter,
                 const pixman_fixed_t* params, int nParams) {
    const Image& image = imageOf(format);
    const PixelData& px = image.pixels();
    View view;
    pixman_image_t* dst = pixman_image_create_bits(PIXMAN_a8r8g8b8, kViewW, kViewH, view.pixels.data(),
                                                   kViewW * 4);
    pixman_image_t* src = pixman_image_create_bits(
        format == PixelFormat32bppPARGB ? PIXMAN_a8r8g8b8 : PIXMAN_x8r8g8b8, px.width(), px.height(),
        reinterpret_cast<uint32_t*>(const_cast<uint8_t*>(px.scan0())), static_cast<int>(px.stride()));
    pixman_transform_t t;
    pixman_transform_init_identity(&t);
    t.matrix[0][0] = pixman_double_to_fixed(scene.src.width / scene.dst.width);
    t.matrix[1][1] = pixman_double_to_fixed(scene.src.height / scene.dst.height);
    t.matrix[0][2] = pixman_double_to_fixed(scene.src.x);
    t.matrix[1][2] = pixman_double_to_fixed(scene.src.y);
    pixman_image_set_transform(src, &t);
    pixman_image_set_filter(src, filter, params, nParams);
    pixman_image_set_repeat(src, PIXMAN_REPEAT_PAD);
    for (auto _ : state) {
        pixman_image_composite32(PIXMAN_OP_OVER, src, nullptr, dst, 0, 0, 0, 0,
                                 static_cast<int>(scene.dst.x), static_cast<int>(scene.dst.y),
                                 static_cast<int>(scene.dst.width), static_cast<int>(scene.dst.height));
        benchmark::DoNotOptimize(view.pixels.data());
    }
    pixman_image_unref(src);
    pixman_image_unref(dst);
}

// Separable convolution as general 2D libraries set it up for their best
// filter: a cubic reconstruction, a box sampling filter stretched by the
// shrink factor, four subsample bits.
void separableBench(benchmark::State& state, Scene scene) {
    const double sx = scene.src.width / scene.dst.width;
    const double sy = scene.src.height / scene.dst.height;
    int n = 0;
    pixman_fixed_t* params = pixman_filter_create_separable_convolution(
        &n, pixman_double_to_fixed(std::max(1.0, sx)), pixman_double_to_fixed(std::max(1.0, sy)),
        PIXMAN_KERNEL_CUBIC, PIXMAN_KERNEL_CUBIC, sx > 1 ? PIXMAN_KERNEL_BOX : PIXMAN_KERNEL_IMPULSE,
        sy > 1 ? PIXMAN_KERNEL_BOX : PIXMAN_KERNEL_IMPULSE, 4, 4);
    pixmanBench(state, PixelFormat32bppPARGB, scene, PIXMAN_FILTER_SEPARABLE_CONVOLUTION, params, n);
    free(params);
}

// The resampler alone on the level Graphics picks (made beforehand):
// filters plus the two passes, without compositing into the view.
void resampleBench(benchmark::State& state, Scene scene, ResampleKernel kernel) {
    const Image& image = imageOf(PixelFormat32bppPARGB);
    const double step = std::min(scene.src.width / scene.dst.width, scene.src.height / scene.dst.height);
    int k = 0;
    while (step >= std::ldexp(2.0, k)) ++k;
    const PremulBuffer* level = nullptr;
    ColorAdjuster none;
    if (k > 0 && DrawCache::of(image).level(image, k, none, level) != Status::Ok) {
        state.SkipWithError("no level");
        return;
    }
    const double f = std::ldexp(1.0, k);
    std::vector<uint32_t> out(static_cast<size_t>(scene.dst.width * scene.dst.height));
    PremulRowReader reader(image, none);
    for (auto _ : state) {
        AxisMapping mx{scene.src.x / f, scene.src.width / scene.dst.width / f,
                       static_cast<int>(scene.dst.width), 0, level ? level->width() : image.width()};
        AxisMapping my{scene.src.y / f, scene.src.height / scene.dst.height / f,
                       static_cast<int>(scene.dst.height), 0, level ? level->height() : image.height()};
        AxisFilter fx, fy;
        makeAxisFilter(mx, kernel, KernelWidth::Widened, fx);
        makeAxisFilter(my, kernel, KernelWidth::Widened, fy);
        const int begin = fx.srcBegin, span = fx.srcEnd - fx.srcBegin;
        RowFetch rows = level ? RowFetch([&](int y) { return level->row(y) + begin; })
                              : RowFetch([&](int y) { return reader.read(y, begin, span); });
        resample(fx, fy, rows, out.data(), fx.count);
        benchmark::DoNotOptimize(out.data());
    }
}

// Making the reduced levels once (the cost of the first high-quality drawing).
void levelsBench(benchmark::State& state, PixelFormat format) {
    auto image = makePatternImage(kImageW, kImageH, format);
    ColorAdjuster none;
    for (auto _ : state) {
        image->setCache(nullptr);
        const PremulBuffer* level = nullptr;
        DrawCache::of(*image).level(*image, 1, none, level);
        benchmark::DoNotOptimize(level);
    }
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<Ratio> ratios;
    benchmark::RegisterBenchmark("memcpy_view", memcpyBench)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("levels/pargb/make_level1", levelsBench, PixelFormat32bppPARGB)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("levels/rgb24/make_level1", levelsBench, PixelFormat24bppRGB)
        ->Unit(benchmark::kMillisecond);
    const InterpolationMode modes[] = {InterpolationModeNearestNeighbor, InterpolationModeBilinear,
                                       InterpolationModeBicubic, InterpolationModeHighQualityBilinear,
                                       InterpolationModeHighQualityBicubic};
    for (const Scene& s : kScenes) {
        for (PixelFormat f : {PixelFormat32bppPARGB, PixelFormat32bppARGB}) {
            const std::string fmt = f == PixelFormat32bppPARGB ? "pargb/" : "argb_opaque/";
            for (auto [filter, mode] : {std::pair{PIXMAN_FILTER_NEAREST, InterpolationModeNearestNeighbor},
                                        std::pair{PIXMAN_FILTER_BILINEAR, InterpolationModeBilinear}}) {
                const std::string base = "pixman/" + fmt + s.name + "/" + modeName(mode);
                benchmark::RegisterBenchmark(base.c_str(), pixmanBench, f, s, filter, nullptr, 0)
                    ->Unit(benchmark::kMillisecond);
                ratios.push_back({drawName(f, s, mode), base, 1.2});
            }
            for (InterpolationMode m : modes) {
                benchmark::RegisterBenchmark(drawName(f, s, m).c_str(), drawBench, f, s, m)
                    ->Unit(benchmark::kMillisecond);
                ratios.push_back({drawName(f, s, m), "memcpy_view", 0});
            }
        }
        const std::string sep = std::string("pixman_separable/pargb/") + s.name;
        benchmark::RegisterBenchmark(sep.c_str(), separableBench, s)->Unit(benchmark::kMillisecond);
        for (auto [kernel, mode] : {std::pair{ResampleKernel::Linear, InterpolationModeHighQualityBilinear},
                                    std::pair{ResampleKernel::CatmullRom, InterpolationModeHighQualityBicubic}}) {
            const std::string direct = std::string("resampler/pargb/") + s.name + "/" + modeName(mode);
            benchmark::RegisterBenchmark(direct.c_str(), resampleBench, s, kernel)
                ->Unit(benchmark::kMillisecond);
            const std::string drawn = drawName(PixelFormat32bppPARGB, s, mode);
            ratios.push_back({drawn, direct, 0});
            ratios.push_back({drawn, sep, mode == InterpolationModeHighQualityBicubic ? 0.03 : 0});
        }
    }
    return orrery::bench::runWithRatios(argc, argv, std::move(ratios));
}
