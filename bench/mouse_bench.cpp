// What the mouse handling adds on a 1920 x 1080 control showing a
// 24-megapixel JPEG at 100 %: one pan step and one wheel notch in the
// vertical-scroll mode, each against the bare drawing call for the same
// rectangles (goal: under 5 percent added), and one rubber-band move of the
// selection rectangle plus the host's compose of the window against the
// compose alone (goal: under 1.1x; the move repaints nothing itself).
#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "control/orrery.h"
#include "platform/gdiplus/factory.h"
#include "orrery/window/headless_backend.h"
#include "platform/window/control_window.h"
#include "support/bench_support.h"

using namespace orrery;

namespace {

constexpr int kWidth = 1920, kHeight = 1080;

struct Fixture {
    std::string path = (std::filesystem::temp_directory_path() / "orrery-mouse-bench.jpg").string();
    window::HeadlessBackend backend;
    std::unique_ptr<control::Orrery> viewer;
    std::unique_ptr<gdiplus::Image> image;  // the same picture, for the bare calls
    std::vector<uint32_t> pixels = std::vector<uint32_t>(size_t{kWidth} * kHeight);
    gdiplus::Surface target{pixels.data(), kWidth, kHeight, kWidth * 4};

    Fixture() {
        if (!bench::writePhotoJpeg(path) || !(viewer = bench::showPhoto(backend, kWidth, kHeight, 1, path))) {
            std::fprintf(stderr, "mouse_bench: cannot show %s\n", path.c_str());
            std::exit(1);
        }
        gdiplus::loadImageFromFile(path, {}, image);
    }
    ~Fixture() { std::remove(path.c_str()); }

    window::ControlWindow& window() { return viewer->controlWindow(); }

    // The bare call: the visible part of the picture at 100 %, as the
    // control's direct path draws it.
    void bareDraw() {
        const viewer::ViewState& s = viewer->viewState();
        std::unique_ptr<gdiplus::Graphics> g =
            bench::directPathGraphics(target, gdiplus::InterpolationModeNearestNeighbor);
        const viewer::AreaRect& a = s.displayedArea;
        g->drawImageRectRect(*image, {0, 0, float(kWidth), float(kHeight)},
                             {float(a.left), float(a.top), float(a.width), float(a.height)});
    }
};

Fixture& fixture() { return bench::sharedFixture<Fixture>(); }

// One pan step: the held picture follows the pointer 16 pixels up or down.
void BM_PanStep(benchmark::State& state) {
    Fixture& f = fixture();
    f.viewer->setMouseMode(viewer::MouseModePan);
    f.viewer->SetHVScrollBarPosition(2000, 1500);
    f.backend.mouseDown(f.window(), window::vbLeftButton, 0, 900, 500);
    int32_t step = 0;
    for (auto _ : state) f.backend.mouseMove(f.window(), 0, 900, (++step & 1) ? 516.0f : 500.0f);
    f.backend.mouseUp(f.window(), window::vbLeftButton, 0, 900, 500);
}

// One wheel notch scrolling by the large change, down and up in turn.
void BM_WheelNotch(benchmark::State& state) {
    Fixture& f = fixture();
    f.viewer->setMouseWheelMode(viewer::MouseWheelVerticalScroll);
    f.viewer->setScrollLargeChange(16);
    f.viewer->SetHVScrollBarPosition(2000, 1500);
    int32_t step = 0;
    for (auto _ : state) f.backend.wheel(f.window(), (++step & 1) ? -120 : 120, 0, 900, 500);
}

void BM_BareStep(benchmark::State& state) {
    Fixture& f = fixture();
    f.viewer->SetHVScrollBarPosition(2000, 1500);
    for (auto _ : state) f.bareDraw();
}

// One move of a rubber band being drawn, then the host shows the window.
void BM_RubberBandMove(benchmark::State& state) {
    Fixture& f = fixture();
    f.viewer->setMouseMode(viewer::MouseModeAreaSelection);
    f.backend.mouseDown(f.window(), window::vbLeftButton, 0, 100, 100);
    int32_t step = 0;
    for (auto _ : state) {
        const float corner = (++step & 1) ? 901.0f : 900.0f;
        f.backend.mouseMove(f.window(), window::vbLeftButton, corner, corner / 2);
        f.window().compose(f.target);
    }
    f.backend.mouseUp(f.window(), window::vbLeftButton, 0, 900, 450);
    f.viewer->setMouseMode(viewer::MouseModePan);
}

void BM_ComposeAlone(benchmark::State& state) {
    Fixture& f = fixture();
    for (auto _ : state) f.window().compose(f.target);
}

}  // namespace

BENCHMARK(BM_PanStep)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WheelNotch)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BareStep)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RubberBandMove)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ComposeAlone)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) {
    fixture();
    const std::vector<bench::Ratio> ratios = {{"BM_PanStep", "BM_BareStep", 1.05},
                                              {"BM_WheelNotch", "BM_BareStep", 1.05},
                                              {"BM_RubberBandMove", "BM_ComposeAlone", 1.10}};
    const int code = bench::runWithRatios(argc, argv, ratios);
    bench::endFixture<Fixture>();
    return code;
}
