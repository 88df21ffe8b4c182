// What the desktop host adds, in OrreryWidget on a private X server
// (1920 x 1200) against the headless control, both showing a 24-megapixel
// JPEG in a 1920 x 1080 window:
// - the first frame: from show() of the widget, through opening the file
//   fitted, to the first painted frame flushed to the X server, against what
//   `orrery render` does for the same (open the file fitted, take what the
//   window shows); goal: the host adds under 10 %;
// - one wheel notch at 100 %: the widget's wheel event through to the
//   repainted frame on the X server, against the headless control's wheel
//   notch and compose of its window; goal: under 1.2x.
// Both sides are timed on the wall clock (the X server's part runs in its
// own process), each iteration on its own.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iostream>

#include <QApplication>
#include <QWheelEvent>

#include "control/orrery.h"
#include "orrery/mouse_modes.h"
#include "orrery/qt/orrery_widget.h"
#include "orrery/window/headless_backend.h"
#include "platform/window/control_window.h"
#include "support/bench_support.h"
#include "xvfb/xvfb_server.h"

using namespace orrery;

namespace {

constexpr int kWidth = 1920, kHeight = 1080;
constexpr int kZoomFit = 2;
constexpr int kWheelX = 960, kWheelY = 540;

using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// OrreryWidget that tells when it painted a frame.
class TimedWidget : public qt::OrreryWidget {
public:
    int paints = 0;

    // Runs Qt's events until the widget painted a frame after `before`
    // paints (the wheel repaints at once, the first frame when the window
    // is exposed) and the frame reached the X server.
    void waitForPaint(int before) {
        while (paints == before) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
        QGuiApplication::sync();
    }

protected:
    void paintEvent(QPaintEvent* event) override {
        qt::OrreryWidget::paintEvent(event);
        ++paints;
    }
};

void prepare(control::Orrery& c, int zoomMode) {
    c.setSilentMode(true);
    c.setZoomMode(zoomMode);
}

struct Fixture {
    std::string path = (std::filesystem::temp_directory_path() / "orrery-widget-bench.jpg").string();

    Fixture() {
        if (!bench::writePhotoJpeg(path)) {
            std::fprintf(stderr, "widget_bench: cannot write %s\n", path.c_str());
            std::exit(1);
        }
    }
    ~Fixture() { std::remove(path.c_str()); }
};

Fixture& fixture() { return bench::sharedFixture<Fixture>(); }

void BM_WidgetFirstFrame(benchmark::State& state) {
    const std::string& path = fixture().path;
    for (auto _ : state) {
        auto widget = std::make_unique<TimedWidget>();
        widget->setGeometry(0, 0, kWidth, kHeight);
        prepare(widget->control(), kZoomFit);
        const Clock::time_point start = Clock::now();
        widget->show();
        if (widget->control().DisplayFromFile(path) != 0) state.SkipWithError("the JPEG did not open");
        widget->waitForPaint(0);
        state.SetIterationTime(secondsSince(start));
        widget.reset();
        QCoreApplication::processEvents();
    }
}

void BM_RenderFirstFrame(benchmark::State& state) {
    const std::string& path = fixture().path;
    for (auto _ : state) {
        window::HeadlessBackend backend;
        control::Orrery viewer(backend);
        viewer.InitProperties();
        prepare(viewer, kZoomFit);
        viewer.controlWindow().setWindowSize(kWidth, kHeight);
        const Clock::time_point start = Clock::now();
        if (viewer.DisplayFromFile(path) != 0) state.SkipWithError("the JPEG did not open");
        std::unique_ptr<gdiplus::Image> shot;
        viewer.controlWindow().snapshot(shot);
        benchmark::DoNotOptimize(shot.get());
        state.SetIterationTime(secondsSince(start));
    }
}

// Both controls show the picture at 100 %, the wheel scrolling by the large
// change.
bool showForWheel(control::Orrery& c) {
    prepare(c, 1);
    if (c.DisplayFromFile(fixture().path) != 0) return false;
    c.SetZoom100();
    c.setMouseWheelMode(viewer::MouseWheelVerticalScroll);
    c.setScrollLargeChange(16);
    c.SetHVScrollBarPosition(2000, 1500);
    return true;
}

void BM_WidgetWheelRepaint(benchmark::State& state) {
    TimedWidget widget;
    widget.setGeometry(0, 0, kWidth, kHeight);
    if (!showForWheel(widget.control())) state.SkipWithError("the JPEG did not open");
    widget.show();
    widget.waitForPaint(0);
    int step = 0;
    for (auto _ : state) {
        const QPointF at(kWheelX, kWheelY);
        QWheelEvent event(at, widget.mapToGlobal(at), QPoint(), QPoint(0, (++step & 1) ? -120 : 120), Qt::NoButton,
                          Qt::NoModifier, Qt::NoScrollPhase, false);
        const int before = widget.paints;
        const Clock::time_point start = Clock::now();
        QApplication::sendEvent(&widget, &event);
        widget.waitForPaint(before);
        state.SetIterationTime(secondsSince(start));
    }
}

void BM_HeadlessWheelRepaint(benchmark::State& state) {
    window::HeadlessBackend backend;
    control::Orrery viewer(backend);
    viewer.InitProperties();
    viewer.controlWindow().setWindowSize(kWidth, kHeight);
    if (!showForWheel(viewer)) state.SkipWithError("the JPEG did not open");
    std::vector<uint32_t> pixels(size_t{kWidth} * kHeight);
    const gdiplus::Surface target{pixels.data(), kWidth, kHeight, kWidth * 4};
    int step = 0;
    for (auto _ : state) {
        const Clock::time_point start = Clock::now();
        backend.wheel(viewer.controlWindow(), (++step & 1) ? -120 : 120, 0, kWheelX, kWheelY);
        viewer.controlWindow().compose(target);
        state.SetIterationTime(secondsSince(start));
    }
}

}  // namespace

// Three seconds of each (a first frame takes about 0.2 s) even out the
// machine's noise.
BENCHMARK(BM_WidgetFirstFrame)->Unit(benchmark::kMillisecond)->UseManualTime()->MinTime(3.0);
BENCHMARK(BM_RenderFirstFrame)->Unit(benchmark::kMillisecond)->UseManualTime()->MinTime(3.0);
BENCHMARK(BM_WidgetWheelRepaint)->Unit(benchmark::kMillisecond)->UseManualTime()->MinTime(3.0);
BENCHMARK(BM_HeadlessWheelRepaint)->Unit(benchmark::kMillisecond)->UseManualTime()->MinTime(3.0);

int main(int argc, char** argv) {
    qt::XvfbServer server("1920x1200x24");
    if (server.display().empty()) {
        std::cerr << "widget_bench: no X server: " << server.error() << '\n';
        return 1;
    }
    setenv("DISPLAY", server.display().c_str(), 1);
    setenv("QT_QPA_PLATFORM", "xcb", 1);
    setenv("QT_SCALE_FACTOR", "1", 1);
    unsetenv("WAYLAND_DISPLAY");
    unsetenv("QT_SCREEN_SCALE_FACTORS");
    int qtArgc = 1;
    QApplication app(qtArgc, argv);
    fixture();
    // The goals are on the wall clock; the CPU time of this process alone
    // (without the X server's part) is shown beside it, as a second view on
    // a busy machine.
    const std::string suffix = "/min_time:3.000/manual_time";
    const std::string firstFrame = "BM_WidgetFirstFrame" + suffix, render = "BM_RenderFirstFrame" + suffix;
    const std::string wheel = "BM_WidgetWheelRepaint" + suffix, headless = "BM_HeadlessWheelRepaint" + suffix;
    const std::vector<bench::Ratio> ratios = {{firstFrame, render, 1.10, bench::Clock::Manual},
                                              {firstFrame, render, 0, bench::Clock::Cpu},
                                              {wheel, headless, 1.20, bench::Clock::Manual},
                                              {wheel, headless, 0, bench::Clock::Cpu}};
    const int code = bench::runWithRatios(argc, argv, ratios);
    bench::endFixture<Fixture>();
    return code;
}
