// The engine as the owner of its window: painting, resizing, the scroll
// bars, timers, and the mouse, key, wheel, focus and drop notifications,
// each told to the control through the sink before or after the engine's
// own handling, as each event is documented.
#include <array>

#include "platform/window/drop_data.h"
#include "viewer/input_flags.h"
#include "viewer/scrolling.h"
#include "viewer/viewer.h"
#include "viewer/wheel_hook.h"

namespace orrery::viewer {

namespace {

bool isScrollBar(window::FocusTarget target) {
    return target == window::FocusTarget::HScroll || target == window::FocusTarget::VScroll;
}

int16_t toInteger(int32_t v) { return static_cast<int16_t>(v); }

}  // namespace

void Viewer::onPaint() { sink_.raise(ViewerEvent::PaintControl); }

void Viewer::onResize() {
    if (window_.clientWidth() > 0 && window_.clientHeight() > 0) window_.placeScrollBars();
    // The zoom limit follows the client size: the layout of the new size
    // must not keep a zoom whose scroll range no longer fits 16 bits.
    layout_.ComputeMaxZoom();
    layout_.UpdateLayout(0);
    syncScrollBarsToWindow();
    layout_.ComputeMaxZoom();
    sink_.raise(ViewerEvent::ResizeControl);
}

void Viewer::onScrollValueChanged(window::ScrollBarId bar, int32_t value, window::ScrollChange) {
    const bool horizontal = bar == window::ScrollBarId::Horizontal;
    (horizontal ? s_.hScroll : s_.vScroll).value = value;
    if (s_.keyScrollGuard) {
        // A key moved a focused bar: the picture stays where it was.
        s_.keyScrollGuard = false;
        const bool armed = s_.scrollEventsArmed;
        s_.scrollEventsArmed = false;
        s_.vScroll.value = s_.savedVValue;
        s_.hScroll.value = s_.savedHValue;
        window_.setScrollValue(window::ScrollBarId::Vertical, s_.savedVValue);
        window_.setScrollValue(window::ScrollBarId::Horizontal, s_.savedHValue);
        s_.scrollEventsArmed = armed;
        return;
    }
    if (!s_.scrollEventsArmed) return;
    if (horizontal) {
        s_.resetHorizontal = false;
        s_.offsetLeft = -static_cast<int16_t>(value);
    } else {
        s_.resetVertical = false;
        s_.offsetTop = -static_cast<int16_t>(value);
    }
    renderer_.DrawView(0, DrawPass::Interactive);
    sink_.raise(ViewerEvent::ScrollControl);
}

void Viewer::onTimer(uint32_t id) {
    if (id == kQualityTimerId) {
        renderer_.OnQualityTimer();
    } else if (id == kAnimationTimerId) {
        // One-shot: each step arms the next.
        window_.killTimer(id);
        frames_.OnAnimationTimer();
    }
}

// ---------------------------------------------------------------------------
// Mouse

MouseArgs Viewer::raiseMouseEvent(MouseEventKind kind, const window::MouseEvent& e) {
    MouseArgs args{toInteger(e.button), toInteger(e.shift), e.x, e.y};
    sink_.mouseEvent(kind, args);
    return args;
}

void Viewer::onMouseDown(const window::MouseEvent& e) {
    threadInputFlags().mouseButtonHeld = true;
    mouse_.UpdateMousePosition(e.x, e.y);
    const MouseArgs a = raiseMouseEvent(MouseEventKind::Down, e);
    if (terminated_) return;
    mouse_.Press(a.button, a.x, a.y);
}

void Viewer::onMouseMove(const window::MouseEvent& e) {
    FlagScope moving(threadInputFlags().mouseMoveInProgress);
    const MouseArgs a = raiseMouseEvent(MouseEventKind::Move, e);
    if (terminated_) return;
    mouse_.UpdateMousePosition(a.x, a.y);
    mouse_.Move(a.button, a.x, a.y);
}

void Viewer::onMouseUp(const window::MouseEvent& e) {
    if (!terminated_) mouse_.Release(e.x, e.y);
    raiseMouseEvent(MouseEventKind::Up, e);
    threadInputFlags().mouseButtonHeld = false;
}

void Viewer::onClick() { sink_.raise(ViewerEvent::ClickControl); }

void Viewer::onDoubleClick() { sink_.raise(ViewerEvent::DblClickControl); }

// ---------------------------------------------------------------------------
// Keys and focus

void Viewer::onKeyDown(window::KeyEvent& e) {
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

void Viewer::onKeyUp(window::KeyEvent& e) {
    if (isScrollBar(e.target)) {
        // A key that moved nothing (a bar at its end) leaves no guard behind.
        s_.keyScrollGuard = false;
        return;
    }
    e.keyCode = keyUpOnSurface(e.keyCode, e.shift);
}

void Viewer::keyDownOnSurface(int32_t keyCode, int32_t shift) {
    threadInputFlags().keyHeld = true;
    sink_.keyDown(toInteger(keyCode), toInteger(shift));
}

int32_t Viewer::keyUpOnSurface(int32_t keyCode, int32_t shift) {
    int16_t key = toInteger(keyCode);
    sink_.keyUp(key, toInteger(shift));
    if (!terminated_ && s_.enableMouseWheel && (key == kVkAdd || key == kVkSubtract)) wheelStep(key);
    threadInputFlags().keyHeld = false;
    return key;
}

void Viewer::onKeyPress(window::KeyPressEvent& e) {
    if (isScrollBar(e.target)) return;
    sink_.keyPress(toInteger(e.keyAscii));
}

void Viewer::onFocus(window::FocusTarget target, window::FocusChange change) {
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
// Drops

void Viewer::onDrop(const window::DropData& data) {
    if (!data.hasFileList || data.files.empty()) return;
    std::vector<std::string> kept;
    try {
        kept = window::readableDroppedFiles(data.files);
    } catch (const std::exception&) {
        return;  // a drop that cannot be read is no drop
    }
    if (!kept.empty()) sink_.filesDropped(std::move(kept));
}

// ---------------------------------------------------------------------------
// Wheel

void Viewer::wheelStep(int32_t keyCode) {
    const bool up = keyCode == kVkAdd;
    sink_.wheelTurned(up);
    switch (s_.mouseWheelMode) {
        case MouseWheelZoom: up ? layout_.ZoomIN() : layout_.ZoomOUT(); break;
        case MouseWheelPageChange: up ? frames_.DisplayPreviousFrame() : frames_.DisplayNextFrame(); break;
        case MouseWheelVerticalScroll: {
            const WheelScroll step = wheelScrollStep(s_, keyCode);
            using Kind = WheelScroll::Kind;
            if (step.kind == Kind::PreviousPage) frames_.TurnPageInContinuousView(Frames::PageTurn::Previous);
            else if (step.kind == Kind::NextPage) frames_.TurnPageInContinuousView(Frames::PageTurn::Next);
            else if (step.kind == Kind::Scroll) window_.setScrollValue(window::ScrollBarId::Vertical, step.value);
            break;
        }
        default: break;
    }
}

void Viewer::onWheel(const window::WheelEvent& e) {
    const WheelHookResult result =
            deliverToWheelHook(window_.hwnd(), kWmMouseWheel, e.delta, window_.enabled(), [this](int32_t keyCode) {
                keyDownOnSurface(keyCode, 0);
                keyUpOnSurface(keyCode, 0);
            });
    if (result == WheelHookResult::Removed) s_.wheelHooked = false;
}

void Viewer::installWheelHook() {
    if (s_.wheelHooked || !window_.enabled()) return;
    WheelHookTable::forThisThread().install(window_.hwnd());
    s_.wheelHooked = true;
}

void Viewer::removeWheelHook() {
    WheelHookTable::forThisThread().remove(window_.hwnd());
    s_.wheelHooked = false;
}

void Viewer::ensureWheelHook() {
    if (s_.enableMouseWheel) installWheelHook();
}

void Viewer::setEnableMouseWheel(bool value) {
    s_.enableMouseWheel = value;
    if (!value) removeWheelHook();
    else if (s_.currentImage != 0) installWheelHook();
}

}  // namespace orrery::viewer
