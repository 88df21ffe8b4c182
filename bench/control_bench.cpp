// What the control adds on top of the imaging layer's drawing: a 1920 x 1080
// control showing a 24-megapixel JPEG, a full relayout with painting per
// quality mode and one scroll-step repaint, each against the bare drawing
// call for the same rectangles. Goal: the control adds under 5 percent.
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

struct Fixture {
    std::string path = (std::filesystem::temp_directory_path() / "orrery-control-bench.jpg").string();
    window::HeadlessBackend backend;
    std::unique_ptr<control::Orrery> viewer;
    std::unique_ptr<gdiplus::Image> image;  // the same picture, for the bare calls
    std::vector<uint32_t> pixels = std::vector<uint32_t>(1920 * 1080);

    Fixture() {
        if (!bench::writePhotoJpeg(path) || !(viewer = bench::showPhoto(backend, 1920, 1080, 2, path))) {
            std::fprintf(stderr, "control_bench: cannot show %s\n", path.c_str());
            std::exit(1);
        }
        gdiplus::loadImageFromFile(path, {}, image);
    }
    ~Fixture() { std::remove(path.c_str()); }

    // The bare call: a graphics on a surface of the control's size, set up as
    // the control's direct path does, drawing the rectangles it drew.
    void bareDraw(gdiplus::InterpolationMode mode) {
        const viewer::ViewState& s = viewer->viewState();
        std::unique_ptr<gdiplus::Graphics> g =
            bench::directPathGraphics(gdiplus::Surface{pixels.data(), 1920, 1080, 1920 * 4}, mode);
        const viewer::AreaRect& a = s.displayedArea;
        const float dstW = s.displayWidth <= 1920 ? s.displayWidth : 1920.0f;
        const float dstH = s.displayHeight <= 1080 ? s.displayHeight : 1080.0f;
        const float dstX = s.displayWidth <= 1920 ? s.offsetLeft : 0.0f;
        const float dstY = s.displayHeight <= 1080 ? s.offsetTop : 0.0f;
        g->drawImageRectRect(*image, {dstX, dstY, dstW, dstH},
                             {float(a.left), float(a.top), float(a.width), float(a.height)});
    }
};

// The fixture lives until main ends it: a control must be gone before the
// thread's image store is destroyed at exit.
std::unique_ptr<Fixture>& fixtureHolder() {
    static std::unique_ptr<Fixture> f;
    return f;
}

Fixture& fixture() {
    if (!fixtureHolder()) fixtureHolder() = std::make_unique<Fixture>();
    return *fixtureHolder();
}

const gdiplus::InterpolationMode kModes[] = {
    gdiplus::InterpolationModeNearestNeighbor, gdiplus::InterpolationModeBilinear, gdiplus::InterpolationModeBicubic,
    gdiplus::InterpolationModeHighQualityBilinear, gdiplus::InterpolationModeHighQualityBicubic};

void BM_ControlRedraw(benchmark::State& state) {
    Fixture& f = fixture();
    f.viewer->setZoomMode(2);
    f.viewer->setViewerQuality(static_cast<int32_t>(state.range(0)));
    for (auto _ : state) f.viewer->Redraw();
}

void BM_BareDraw(benchmark::State& state) {
    Fixture& f = fixture();
    f.viewer->setZoomMode(2);
    f.viewer->setViewerQuality(static_cast<int32_t>(state.range(0)));
    f.viewer->Redraw();
    for (auto _ : state) f.bareDraw(kModes[state.range(0)]);
}

// One scroll step at 100 %: the change notification repaints the view.
void BM_ControlScrollStep(benchmark::State& state) {
    Fixture& f = fixture();
    f.viewer->SetZoom100();
    int32_t step = 0;
    for (auto _ : state) f.viewer->SetVScrollBarPosition(1000 + (++step & 1) * 16);
}

void BM_BareScrollStep(benchmark::State& state) {
    Fixture& f = fixture();
    f.viewer->SetZoom100();
    f.viewer->SetVScrollBarPosition(1000);
    for (auto _ : state) f.bareDraw(gdiplus::InterpolationModeNearestNeighbor);
}

}  // namespace

BENCHMARK(BM_ControlRedraw)->DenseRange(0, 4)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BareDraw)->DenseRange(0, 4)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ControlScrollStep)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BareScrollStep)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) {
    fixture();
    std::vector<bench::Ratio> ratios;
    for (int q = 0; q <= 4; ++q)
        ratios.push_back({"BM_ControlRedraw/" + std::to_string(q), "BM_BareDraw/" + std::to_string(q), 1.05});
    ratios.push_back({"BM_ControlScrollStep", "BM_BareScrollStep", 1.05});
    const int code = bench::runWithRatios(argc, argv, ratios);
    fixtureHolder().reset();
    return code;
}
