#include "support/bench_support.h"

#include <cstdio>

#include "control/orrery.h"
#include "platform/gdiplus/pixel_format.h"
#include "orrery/window/headless_backend.h"
#include "platform/window/control_window.h"

namespace orrery::bench {

using namespace gdiplus;

std::unique_ptr<Image> makePatternImage(int width, int height, PixelFormat format) {
    PixelData px;
    if (PixelData::allocate(width, height, format, px) != Status::Ok) return nullptr;
    std::vector<ARGB> row(static_cast<size_t>(width));
    Palette palette = isIndexed(format) ? defaultPalette(format) : Palette{};
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            uint32_t r = static_cast<uint32_t>(x * 255 / width);
            uint32_t g = static_cast<uint32_t>(y * 255 / height);
            uint32_t b = static_cast<uint32_t>(((x ^ y) & 0x3f) * 4);
            row[static_cast<size_t>(x)] = 0xFF000000u | r << 16 | g << 8 | b;
        }
        rowFromArgb32(format, row.data(), width, isIndexed(format) ? &palette : nullptr, px.row(y));
    }
    return Image::fromPixels(std::move(px), palette);
}

bool writePhotoJpeg(const std::string& path) {
    auto pattern = makePatternImage(6000, 4000, PixelFormat24bppRGB);
    return pattern && pattern->save(path, CodecClsid::JPEG, {{EncoderParam::Quality, EncoderParameterValueTypeLong, {90}}}) ==
                          Status::Ok;
}

std::unique_ptr<control::Orrery> showPhoto(window::HeadlessBackend& backend, int width, int height, int zoomMode,
                                           const std::string& path) {
    auto viewer = std::make_unique<control::Orrery>(backend);
    viewer->setSilentMode(true);
    viewer->setBorderStyle(0);
    viewer->controlWindow().setWindowSize(width, height);
    viewer->setZoomMode(zoomMode);
    if (viewer->DisplayFromFile(path) != 0) return nullptr;
    return viewer;
}

std::unique_ptr<Graphics> directPathGraphics(const Surface& surface, InterpolationMode mode) {
    std::unique_ptr<Graphics> g;
    if (Graphics::fromSurface(surface, g) != Status::Ok) return nullptr;
    g->clear(0xFF000000);
    g->setSmoothingMode(SmoothingModeNone);
    g->setPixelOffsetMode(PixelOffsetModeHalf);
    g->setCompositingQuality(CompositingQualityHighSpeed);
    g->setInterpolationMode(mode);
    return g;
}

void RatioReporter::ReportRuns(const std::vector<Run>& runs) {
    for (const Run& run : runs) {
        if (run.iterations > 0 && run.run_type == Run::RT_Iteration) {
            seconds_[run.benchmark_name()] = run.cpu_accumulated_time / static_cast<double>(run.iterations);
            reportedSeconds_[run.benchmark_name()] = run.real_accumulated_time / static_cast<double>(run.iterations);
        }
    }
    ConsoleReporter::ReportRuns(runs);
}

void RatioReporter::Finalize() {
    ConsoleReporter::Finalize();
    // CPU time unless a ratio asks for the benchmarks' own (manual) time: the
    // machines this runs on are shared, and waiting for a core would otherwise
    // count as drawing time.
    std::printf("\n%-52s %-40s %10s %8s\n", "benchmark", "baseline", "ratio", "goal");
    for (const Ratio& r : ratios_) {
        const std::map<std::string, double>& times = r.clock == Clock::Manual ? reportedSeconds_ : seconds_;
        auto a = times.find(r.name);
        auto b = times.find(r.baseline);
        if (a == times.end() || b == times.end() || b->second <= 0) continue;
        const double ratio = a->second / b->second;
        if (r.goal > 0)
            std::printf("%-52s %-40s %10.3f %8.3f %s\n", r.name.c_str(), r.baseline.c_str(), ratio,
                        r.goal, ratio <= r.goal ? "met" : "MISSED");
        else
            std::printf("%-52s %-40s %10.3f\n", r.name.c_str(), r.baseline.c_str(), ratio);
    }
    std::fflush(stdout);
}

int runWithRatios(int argc, char** argv, std::vector<Ratio> ratios) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    RatioReporter reporter(std::move(ratios));
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}

}  // namespace orrery::bench
