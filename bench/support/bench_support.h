// Helpers shared by the benchmarks: large test images and a reporter that
// prints each benchmark's time as a ratio of its named baseline.
#pragma once
#include <benchmark/benchmark.h>

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/gdiplus/graphics.h"
#include "platform/gdiplus/image.h"

namespace orrery::control {
class Orrery;
}
namespace orrery::window {
class HeadlessBackend;
}

namespace orrery::bench {

// An opaque width x height image of `format`: smooth gradients with fine
// detail, so that no filter sees a flat area.
std::unique_ptr<gdiplus::Image> makePatternImage(int width, int height, gdiplus::PixelFormat format);

// The photograph the control benchmarks show: the 6000 x 4000 pattern as a
// JPEG of quality 90 at `path`. False when it cannot be written.
bool writePhotoJpeg(const std::string& path);

// A silent control without border of width x height on `backend`, showing
// the file at `path` in `zoomMode`; null when the file does not open.
std::unique_ptr<control::Orrery> showPhoto(window::HeadlessBackend& backend, int width, int height, int zoomMode,
                                           const std::string& path);

// A graphics on `surface`, cleared to black and set up as the control's
// direct drawing path sets up its own: the bare call the control is
// measured against.
std::unique_ptr<gdiplus::Graphics> directPathGraphics(const gdiplus::Surface& surface,
                                                      gdiplus::InterpolationMode mode);

// Which time a ratio compares: CPU time of this process, or the time each
// benchmark reports itself (manual time, e.g. the CPU time of a child
// process that runs a baseline program).
enum class Clock { Cpu, Manual };

// One line of the ratio table: time(name) / time(baseline), and the goal
// the ratio should stay under (0 for none).
struct Ratio {
    std::string name;
    std::string baseline;
    double goal = 0;
    Clock clock = Clock::Cpu;
};

// A ratio measured in one loop: each iteration times one call of `subject`
// and then one of `baseline` in this thread's CPU time, so that the load of a
// shared machine weighs on both alike. The benchmark reports the subject's
// time (register it with UseManualTime) and the counters "ratio" (median
// subject time over median baseline time) and "goal" (0: none); with
// repetitions, the reporter's table takes the median repetition's ratio.
// Either call returns false when it failed, which ends the benchmark.
void pairedRatio(benchmark::State& state, const std::function<bool()>& subject,
                 const std::function<bool()>& baseline, double goal = 0);

// Console output as usual, then the ratio table: the ratios named here, then
// those of the paired benchmarks.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    explicit RatioReporter(std::vector<Ratio> ratios) : ratios_(std::move(ratios)) {}
    void ReportRuns(const std::vector<Run>& runs) override;
    void Finalize() override;

private:
    struct Paired {
        double ratio = 0;
        double goal = 0;
    };
    std::vector<Ratio> ratios_;
    std::map<std::string, double> seconds_;      // CPU per iteration, by benchmark name
    std::map<std::string, double> reportedSeconds_;  // manual (or wall-clock) time per iteration, by name
    std::map<std::string, Paired> paired_;       // by benchmark name without repetition suffixes
};

// Runs the registered benchmarks with the ratio table; returns the exit code.
int runWithRatios(int argc, char** argv, std::vector<Ratio> ratios);

// One fixture of type F for all benchmarks of a program, made on first use.
// main ends it (endFixture) before the thread's image store goes at exit: a
// control must not outlive it.
template <class F>
std::unique_ptr<F>& fixtureSlot() {
    static std::unique_ptr<F> fixture;
    return fixture;
}

template <class F>
F& sharedFixture() {
    std::unique_ptr<F>& slot = fixtureSlot<F>();
    if (!slot) slot = std::make_unique<F>();
    return *slot;
}

template <class F>
void endFixture() {
    fixtureSlot<F>().reset();
}

}  // namespace orrery::bench
