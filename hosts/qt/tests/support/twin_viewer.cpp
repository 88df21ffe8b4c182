#include "support/twin_viewer.h"

#include <cmath>

#include <QScreen>
#include <QTest>

#include "support/dib_builder.h"
#include "support/test_support.h"

namespace orrery::qt::test {

namespace {

constexpr int kMatchTimeoutMs = 5000;

QImage toScreenFormat(QImage image) { return image.convertToFormat(QImage::Format_RGB32); }

}  // namespace

TwinViewer::TwinViewer(int width, int height)
    : reference_(std::make_unique<control::Orrery>(headless_)), widget_(std::make_unique<OrreryWidget>()) {
    reference_->InitProperties();
    reference_->controlWindow().setWindowSize(width, height);
    reference_->Show();
    QObject::connect(widget_.get(), &OrreryWidget::controlEvent,
                     [this](const QString& name, const QVariantList& args) { events_.push_back({name, args}); });
    widget_->resize(width, height);
    widget_->move(20, 20);
    widget_->show();
    widget_->activateWindow();
    (void)QTest::qWaitForWindowExposed(widget_.get());
    (void)QTest::qWaitForWindowActive(widget_.get());
    // The control draws in device pixels: on a denser screen the headless
    // window is as many device pixels as the widget's.
    const double ratio = widget_->devicePixelRatioF();
    reference_->controlWindow().setWindowSize(static_cast<int>(std::lround(width * ratio)),
                                              static_cast<int>(std::lround(height * ratio)));
    both([](control::Orrery& c) { c.setSilentMode(true); });
}

TwinViewer::~TwinViewer() = default;

void TwinViewer::both(const std::function<void(control::Orrery&)>& calls) {
    calls(*reference_);
    calls(widget_->control());
}

QImage TwinViewer::screen() const {
    return toScreenFormat(widget_->screen()->grabWindow(widget_->winId()).toImage());
}

QImage TwinViewer::referenceImage(int64_t ms) {
    headless_.advance(ms);
    const window::ControlWindow& win = reference_->controlWindow();
    QImage image(win.windowWidth(), win.windowHeight(), QImage::Format_ARGB32_Premultiplied);
    const gdiplus::Surface surface{reinterpret_cast<uint32_t*>(image.bits()), image.width(), image.height(),
                                   image.bytesPerLine()};
    if (win.compose(surface) != gdiplus::Status::Ok) return {};
    return toScreenFormat(image);
}

bool TwinViewer::screenMatchesReference() {
    const QImage expected = referenceImage();
    return QTest::qWaitFor([&] { return screen() == expected; }, kMatchTimeoutMs);
}

void TwinViewer::settle() {
    QTest::qWait(50);
    QCoreApplication::processEvents();
}

std::vector<RecordedEvent> TwinViewer::eventsNamed(const QString& name) const {
    std::vector<RecordedEvent> out;
    for (const RecordedEvent& e : events_)
        if (e.name == name) out.push_back(e);
    return out;
}

void writePatternBmp(const std::string& path, int width, int height) {
    orrery::test::DibLayout layout;
    layout.width = width;
    layout.height = -height;  // top-down
    layout.bitCount = 24;
    const uint32_t stride = orrery::test::dibStride(width, 24);
    layout.bits.assign(static_cast<size_t>(stride) * static_cast<size_t>(height), 0);
    for (int y = 0; y < height; ++y) {
        uint8_t* row = layout.bits.data() + static_cast<size_t>(y) * stride;
        for (int x = 0; x < width; ++x) {
            const bool grid = x % 50 == 0 || y % 50 == 0;
            row[x * 3 + 0] = grid ? 0 : static_cast<uint8_t>(x * 255 / width);         // blue
            row[x * 3 + 1] = grid ? 0 : static_cast<uint8_t>(y * 255 / height);        // green
            row[x * 3 + 2] = grid ? 0 : static_cast<uint8_t>(((x / 25 + y / 25) % 2) * 200);  // red
        }
    }
    orrery::test::writeFile(path, orrery::test::bmpFile(layout));
}

}  // namespace orrery::qt::test
