// A control in a 400 x 300 client area on a headless backend, with a sink
// that records every event by name (and what it carried) and lets a test act
// inside the handlers; input goes in client coordinates.
#pragma once
#include <algorithm>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "control/orrery.h"
#include "platform/automation/property_notifier.h"
#include "orrery/window/headless_backend.h"
#include "platform/window/control_window.h"

namespace orrery::test {

struct HeadlessViewer {
    explicit HeadlessViewer(window::HeadlessBackend& b);

    window::ControlWindow& window() { return control.controlWindow(); }
    float border() { return static_cast<float>(window().borderWidth()); }
    void down(int32_t button, float x, float y) { backend.mouseDown(window(), button, 0, x + border(), y + border()); }
    void move(float x, float y) { backend.mouseMove(window(), 0, x + border(), y + border()); }
    void up(int32_t button, float x, float y) { backend.mouseUp(window(), button, 0, x + border(), y + border()); }
    void drag(float x1, float y1, float x2, float y2);
    void wheel(int32_t delta, window::WheelAxis axis = window::WheelAxis::Vertical) {
        backend.wheel(window(), delta, 0, 100, 100, axis);
    }
    int32_t cursor() { return backend.cursorOf(window()).pointer; }
    size_t count(const std::string& event) const { return std::count(events.begin(), events.end(), event); }
    // Shows a w x h picture at 96 dpi through SetNativeImage; the events
    // recorded so far are dropped. False when the control refused it.
    bool showBlank(int w, int h);

    window::HeadlessBackend& backend;
    std::unique_ptr<control::Orrery> made;  // of the class the tests run under (control_maker.h)
    control::Orrery& control;
    std::vector<std::string> events;
    // Each event as "Name(arg, ...)", the arguments as the event carried them.
    std::vector<std::string> calls;
    std::function<void(automation::DISPID, std::span<automation::Variant>)> handler;
};

// A container's property-change sink that records what it hears.
struct RecordingNotifySink : automation::IPropertyNotifySink {
    std::vector<automation::DISPID> changed;
    automation::HRESULT OnChanged(automation::DISPID id) override {
        changed.push_back(id);
        return automation::S_OK;
    }
    automation::HRESULT OnRequestEdit(automation::DISPID) override { return automation::S_OK; }
};

}  // namespace orrery::test
