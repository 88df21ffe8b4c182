// What forwarding events costs: one pan step of a 1920 x 1080 control showing
// a 24-megapixel JPEG with a host sink that reads every parameter of every
// event, against the same step with no sink (goal: under 2 percent added);
// and a drop of 1,000 files against a bare open-and-stat loop over the same
// files (goal: under 1.2x).
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "control/orrery.h"
#include "platform/gdiplus/factory.h"
#include "orrery/window/headless_backend.h"
#include "platform/window/control_window.h"
#include "support/bench_support.h"

using namespace orrery;
using namespace orrery::automation;

namespace {

constexpr int kWidth = 1920, kHeight = 1080, kDroppedFiles = 1000;

struct Fixture {
    std::filesystem::path folder = std::filesystem::temp_directory_path() / "orrery-events-bench";
    std::string picture = (folder / "picture.jpg").string();
    std::vector<std::string> dropped;
    window::HeadlessBackend backend;
    std::unique_ptr<control::Orrery> viewer;
    uint32_t sinkCookie = 0;
    double parameterSum = 0;  // what the reading sink read, so that the reads stay

    Fixture() {
        std::filesystem::create_directories(folder);
        if (!bench::writePhotoJpeg(picture) || !(viewer = bench::showPhoto(backend, kWidth, kHeight, 1, picture))) {
            std::fprintf(stderr, "events_bench: cannot show %s\n", picture.c_str());
            std::exit(1);
        }
        for (int i = 0; i < kDroppedFiles; ++i) {
            dropped.push_back((folder / ("dropped-" + std::to_string(i) + ".png")).string());
            std::ofstream(dropped.back()) << "x";
        }
        viewer->setViewerDrop(true);
        viewer->setMouseMode(viewer::MouseModePan);
        viewer->SetHVScrollBarPosition(2000, 1500);
    }
    ~Fixture() { std::filesystem::remove_all(folder); }

    void connectReadingSink() {
        sinkCookie = viewer->events().connect(std::make_shared<FunctionSink>([this](DISPID, std::span<Variant> args) {
            for (const Variant& arg : args) {
                Variant number;
                if (arg.dereferenced().changeType(VT_R8, number) == S_OK) parameterSum += number.r8();
            }
            return S_OK;
        }));
    }
    void disconnectSink() {
        viewer->events().disconnect(sinkCookie);
        sinkCookie = 0;
    }
};

Fixture& fixture() { return bench::sharedFixture<Fixture>(); }

void panSteps(benchmark::State& state, Fixture& f) {
    f.backend.mouseDown(f.viewer->controlWindow(), window::vbLeftButton, 0, 900, 500);
    int32_t step = 0;
    for (auto _ : state)
        f.backend.mouseMove(f.viewer->controlWindow(), 0, 900, (++step & 1) ? 516.0f : 500.0f);
    f.backend.mouseUp(f.viewer->controlWindow(), window::vbLeftButton, 0, 900, 500);
}

void BM_PanStepReadingSink(benchmark::State& state) {
    Fixture& f = fixture();
    f.connectReadingSink();
    panSteps(state, f);
    f.disconnectSink();
}

void BM_PanStepNoSink(benchmark::State& state) { panSteps(state, fixture()); }

void BM_DropFiles(benchmark::State& state) {
    Fixture& f = fixture();
    f.connectReadingSink();
    for (auto _ : state) f.backend.dropFiles(f.viewer->controlWindow(), f.dropped);
    f.disconnectSink();
}

void BM_BareOpenAndStat(benchmark::State& state) {
    Fixture& f = fixture();
    for (auto _ : state) {
        size_t kept = 0;
        for (const std::string& path : f.dropped) {
            const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
            struct stat info {};
            if (fd >= 0 && ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode)) ++kept;
            if (fd >= 0) ::close(fd);
        }
        benchmark::DoNotOptimize(kept);
    }
}

}  // namespace

BENCHMARK(BM_PanStepReadingSink)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PanStepNoSink)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DropFiles)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BareOpenAndStat)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) {
    fixture();
    const std::vector<bench::Ratio> ratios = {{"BM_PanStepReadingSink", "BM_PanStepNoSink", 1.02},
                                              {"BM_DropFiles", "BM_BareOpenAndStat", 1.2}};
    const int code = bench::runWithRatios(argc, argv, ratios);
    bench::endFixture<Fixture>();
    return code;
}
