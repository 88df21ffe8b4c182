// The control's input: the window's mouse, key and wheel notifications,
// forwarded to the host as events before or after the control's own
// handling, and the wheel hook that turns wheel notches into key strokes.
#include <array>

#include "control/events.h"
#include "control/file_drop.h"
#include "control/orrery.h"
#include "viewer/input_flags.h"
#include "viewer/scrolling.h"
#include "viewer/wheel_hook.h"

namespace orrery::control {

using automation::Variant;
using viewer::threadInputFlags;

namespace {

bool isScrollBar(window::FocusTarget target) {
    return target == window::FocusTarget::HScroll || target == window::FocusTarget::VScroll;
}

// A by-reference parameter as the host's handlers left it; a value that does
// not convert keeps the earlier one.
void readBack(const Variant& v, int16_t& value) {
    Variant converted;
    if (automation::succeeded(v.changeType(automation::VT_I2, converted))) value = converted.i2();
}

void readBack(const Variant& v, float& value) {
    Variant converted;
    if (automation::succeeded(v.changeType(automation::VT_R4, converted))) value = converted.r4();
}

int16_t toInteger(int32_t v) { return static_cast<int16_t>(v); }

}  // namespace

Orrery::MouseArgs Orrery::raiseMouseEvent(int32_t eventId, const MouseArgs& given) {
    std::array<Variant, 4> args = {Variant(given.button), Variant(given.shift), Variant(given.x), Variant(given.y)};
    events_.raise(eventId, args);
    MouseArgs after = given;
    readBack(args[0], after.button);
    readBack(args[1], after.shift);
    readBack(args[2], after.x);
    readBack(args[3], after.y);
    return after;
}

// ---------------------------------------------------------------------------
// Mouse

void Orrery::onMouseDown(const window::MouseEvent& e) {
    threadInputFlags().mouseButtonHeld = true;
    mouse_.UpdateMousePosition(e.x, e.y);
    const MouseArgs a = raiseMouseEvent(EventId::MouseDownControl, {toInteger(e.button), toInteger(e.shift), e.x, e.y});
    if (terminated_) return;
    mouse_.Press(a.button, a.x, a.y);
}

void Orrery::onMouseMove(const window::MouseEvent& e) {
    viewer::FlagScope moving(threadInputFlags().mouseMoveInProgress);
    const MouseArgs a = raiseMouseEvent(EventId::MouseMoveControl, {toInteger(e.button), toInteger(e.shift), e.x, e.y});
    if (terminated_) return;
    mouse_.UpdateMousePosition(a.x, a.y);
    mouse_.Move(a.button, a.x, a.y);
}

void Orrery::onMouseUp(const window::MouseEvent& e) {
    if (!terminated_) mouse_.Release(e.x, e.y);
    raiseMouseEvent(EventId::MouseUpControl, {toInteger(e.button), toInteger(e.shift), e.x, e.y});
    threadInputFlags().mouseButtonHeld = false;
}

// ---------------------------------------------------------------------------
// Keys

void Orrery::onKeyDown(window::KeyEvent& e) {
    if (isScrollBar(e.target)) {
        // The keyboard never scrolls through a focused bar: its next change
        // is undone.
        s_.keyScrollGuard = true;
        s_.savedHValue = s_.hScroll.value;
        s_.savedVValue = s_.vScroll.value;
        return;
    }
    keyDownOnSurface(e.keyCode, e.shift);
}

void Orrery::onKeyUp(window::KeyEvent& e) {
    if (isScrollBar(e.target)) {
        // A key that moved nothing (a bar at its end) leaves no guard behind.
        s_.keyScrollGuard = false;
        return;
    }
    e.keyCode = keyUpOnSurface(e.keyCode, e.shift);
}

void Orrery::keyDownOnSurface(int32_t keyCode, int32_t shift) {
    threadInputFlags().keyHeld = true;
    std::array<Variant, 2> args = {Variant(toInteger(keyCode)), Variant(toInteger(shift))};
    events_.raise(EventId::KeyDownControl, args);
}

int32_t Orrery::keyUpOnSurface(int32_t keyCode, int32_t shift) {
    std::array<Variant, 2> args = {Variant(toInteger(keyCode)), Variant(toInteger(shift))};
    events_.raise(EventId::KeyUpControl, args);
    int16_t key = toInteger(keyCode);
    readBack(args[0], key);
    if (!terminated_ && s_.enableMouseWheel && (key == viewer::kVkAdd || key == viewer::kVkSubtract)) wheelStep(key);
    threadInputFlags().keyHeld = false;
    return key;
}

void Orrery::onKeyPress(window::KeyPressEvent& e) {
    if (isScrollBar(e.target)) return;
    Variant key(toInteger(e.keyAscii));
    events_.raise(EventId::KeyPressControl, std::span<Variant>(&key, 1));
}

void Orrery::onFocus(window::FocusTarget target, window::FocusChange change) {
    const int32_t part = static_cast<int32_t>(target);
    if (change == window::FocusChange::Gained) {
        focusOwner_ = part;
        return;
    }
    // A loss by a part that does not own the focus changes nothing.
    if (part == focusOwner_) focusOwner_ = 0;
    // A key released while another window had the focus never comes back
    // as a key-up; without this the thread's wheel would stay dead.
    threadInputFlags().keyHeld = false;
}

// ---------------------------------------------------------------------------
// Clicks and drops

void Orrery::onClick() { raise(EventId::ClickControl); }

void Orrery::onDoubleClick() { raise(EventId::DblClickControl); }

void Orrery::onDrop(const window::DropData& data) {
    if (!data.hasFileList || data.files.empty()) return;
    std::vector<std::string> kept;
    try {
        kept = readableDroppedFiles(data.files);
    } catch (const std::exception&) {
        return;  // a drop that cannot be read is no drop
    }
    if (kept.empty()) return;
    Variant first(kept.front());
    events_.raise(EventId::FileDrop, std::span<Variant>(&first, 1));
    const int32_t count = static_cast<int32_t>(kept.size());
    std::array<Variant, 2> all = {Variant::strings(std::move(kept), 0), Variant(count)};
    events_.raise(EventId::FilesDrop, all);
}

// ---------------------------------------------------------------------------
// Wheel

void Orrery::wheelStep(int32_t keyCode) {
    const bool up = keyCode == viewer::kVkAdd;
    Variant upDown(int16_t{up ? int16_t{0} : int16_t{1}});
    events_.raise(EventId::MouseWheelControl, std::span<Variant>(&upDown, 1));
    switch (s_.mouseWheelMode) {
        case viewer::MouseWheelZoom: up ? ZoomIN() : ZoomOUT(); break;
        case viewer::MouseWheelPageChange: up ? DisplayPreviousFrame() : DisplayNextFrame(); break;
        case viewer::MouseWheelVerticalScroll: {
            const viewer::WheelScroll step = viewer::wheelScrollStep(s_, keyCode);
            using Kind = viewer::WheelScroll::Kind;
            if (step.kind == Kind::PreviousPage)
                frames_.TurnPageInContinuousView(viewer::Frames::PageTurn::Previous);
            else if (step.kind == Kind::NextPage)
                frames_.TurnPageInContinuousView(viewer::Frames::PageTurn::Next);
            else if (step.kind == Kind::Scroll)
                window_.setScrollValue(window::ScrollBarId::Vertical, step.value);
            break;
        }
        default: break;
    }
}

void Orrery::onWheel(const window::WheelEvent& e) {
    const viewer::WheelHookResult result = viewer::deliverToWheelHook(
            window_.hwnd(), viewer::kWmMouseWheel, e.delta, window_.enabled(), [this](int32_t keyCode) {
                keyDownOnSurface(keyCode, 0);
                keyUpOnSurface(keyCode, 0);
            });
    if (result == viewer::WheelHookResult::Removed) s_.wheelHooked = false;
}

void Orrery::installWheelHook() {
    if (s_.wheelHooked || !window_.enabled()) return;
    viewer::WheelHookTable::forThisThread().install(window_.hwnd());
    s_.wheelHooked = true;
}

void Orrery::removeWheelHook() {
    viewer::WheelHookTable::forThisThread().remove(window_.hwnd());
    s_.wheelHooked = false;
}

void Orrery::ensureWheelHook() {
    if (s_.enableMouseWheel) installWheelHook();
}

void Orrery::setEnableMouseWheel(bool value) {
    s_.enableMouseWheel = value;
    if (!value) removeWheelHook();
    else if (s_.currentImage != 0) installWheelHook();
    notify("EnableMouseWheel");
}

void Orrery::setMouseWheelMode(int32_t value) {
    s_.mouseWheelMode = value;
    notify("MouseWheelMode");
}

}  // namespace orrery::control
