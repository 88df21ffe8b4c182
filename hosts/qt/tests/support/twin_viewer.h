// One control in a real window (OrreryWidget on the X server) and a second
// one of the same size on the headless backend, so a test can do the same to
// both and compare what the screen shows with what the headless window
// composes. The widget is a top-level window of the given size in the
// screen's logical pixels; the headless window is its size in device pixels.
#pragma once
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <QImage>
#include <QString>
#include <QVariantList>

#include "control/orrery.h"
#include "orrery/qt/orrery_widget.h"
#include "orrery/window/headless_backend.h"
#include "platform/window/control_window.h"

namespace orrery::qt::test {

struct RecordedEvent {
    QString name;
    QVariantList args;
};

class TwinViewer {
public:
    TwinViewer(int width, int height);
    ~TwinViewer();

    OrreryWidget& widget() { return *widget_; }
    control::Orrery& shown() { return widget_->control(); }
    control::Orrery& reference() { return *reference_; }
    window::HeadlessBackend& headless() { return headless_; }

    // Runs the same calls on both controls.
    void both(const std::function<void(control::Orrery&)>& calls);
    // The window as the X server shows it.
    QImage screen() const;
    // What the headless window composes, after its timers ran for `ms`.
    QImage referenceImage(int64_t ms = 5000);
    // Waits (up to 5 s) until the screen shows what the headless window
    // composes; true when it does.
    bool screenMatchesReference();
    // Waits until the widget's pending paints reached the screen.
    void settle();

    // Events the widget signalled, in order.
    const std::vector<RecordedEvent>& events() const { return events_; }
    std::vector<RecordedEvent> eventsNamed(const QString& name) const;

private:
    window::HeadlessBackend headless_;
    std::unique_ptr<control::Orrery> reference_;
    std::unique_ptr<OrreryWidget> widget_;
    std::vector<RecordedEvent> events_;
};

// A 24-bit BMP of the given size with a pattern that shows every pixel's
// place (colour ramps and a grid), written to `path`.
void writePatternBmp(const std::string& path, int width, int height);

}  // namespace orrery::qt::test
