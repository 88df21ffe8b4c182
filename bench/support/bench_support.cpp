#include "support/bench_support.h"

#include <algorithm>
#include <cstdio>
#include <ctime>

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

namespace {

double threadCpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

double median(std::vector<double> v) {
    if (v.empty()) return 0;
    const auto middle = v.begin() + static_cast<ptrdiff_t>(v.size() / 2);
    std::nth_element(v.begin(), middle, v.end());
    return *middle;
}

}  // namespace

void pairedRatio(benchmark::State& state, const std::function<bool()>& subject,
                 const std::function<bool()>& baseline, double goal) {
    std::vector<double> subjectTimes, baselineTimes;
    for (auto _ : state) {
        const double t0 = threadCpuSeconds();
        const bool subjectDone = subject();
        const double t1 = threadCpuSeconds();
        const bool baselineDone = subjectDone && baseline();
        const double t2 = threadCpuSeconds();
        if (!subjectDone || !baselineDone) {
            state.SkipWithError(subjectDone ? "the baseline failed" : "the subject failed");
            return;
        }
        state.SetIterationTime(t1 - t0);
        subjectTimes.push_back(t1 - t0);
        baselineTimes.push_back(t2 - t1);
    }
    const double base = median(baselineTimes);
    state.counters["ratio"] = base > 0 ? median(subjectTimes) / base : 0;
    state.counters["goal"] = goal;
}

void RatioReporter::ReportRuns(const std::vector<Run>& runs) {
    for (const Run& run : runs) {
        const auto ratio = run.counters.find("ratio");
        const bool medianRun = run.run_type == Run::RT_Aggregate ? run.aggregate_name == "median"
                                                                 : run.repetitions <= 1;
        if (ratio != run.counters.end() && medianRun && !run.error_occurred) {
            const auto goal = run.counters.find("goal");
            paired_[run.run_name.str()] = {ratio->second.value, goal != run.counters.end() ? goal->second.value : 0};
        }
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
    for (const auto& [name, p] : paired_) {
        if (p.goal > 0)
            std::printf("%-52s %-40s %10.3f %8.3f %s\n", name.c_str(), "(paired in one loop)", p.ratio, p.goal,
                        p.ratio <= p.goal ? "met" : "MISSED");
        else
            std::printf("%-52s %-40s %10.3f\n", name.c_str(), "(paired in one loop)", p.ratio);
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
