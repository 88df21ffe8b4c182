// The window layer's two interfaces, independent of any backend:
//
//  - WindowOwner: what a control window tells the control that owns it
//    (paint, resize, mouse, keys, wheel, focus, scroll bars, timers, drops).
//  - WindowBackend: what differs between the headless host and a desktop
//    host (event loop and clock, modal dialogs, presenting the surface,
//    cursor shape, focus and capture with the host).
//
// The viewer engine and the control see only these and ControlWindow
// (platform/window/control_window.h); they never include a backend. The numbers of buttons, masks, keys, scroll codes,
// message-box styles and cursors are the platform's.
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "orrery/gdiplus/rect.h"

namespace orrery::gdiplus {
class Image;
}

namespace orrery::window {

class Clipboard;
class ControlWindow;

// A window handle: a process-unique positive number per control window.
using Hwnd = int32_t;
using gdiplus::Rect;

// Mouse buttons (one button for down and up, the mask of held buttons for moves).
enum MouseButtonMask : int32_t { vbLeftButton = 1, vbRightButton = 2, vbMiddleButton = 4 };
// Modifier keys.
enum ShiftMask : int32_t { vbShiftMask = 1, vbCtrlMask = 2, vbAltMask = 4 };

// Virtual-key codes the window itself acts on (focused scroll bars).
enum VirtualKey : int32_t {
    VK_PRIOR = 0x21,
    VK_NEXT = 0x22,
    VK_END = 0x23,
    VK_HOME = 0x24,
    VK_LEFT = 0x25,
    VK_UP = 0x26,
    VK_RIGHT = 0x27,
    VK_DOWN = 0x28,
    VK_ADD = 0x6B,
    VK_SUBTRACT = 0x6D,
};

// Which part of the control holds the keyboard focus. The numbers are the
// control's `focusOwner` values.
enum class FocusTarget : int32_t { None = 0, Control = 1, HScroll = 2, VScroll = 3, Corner = 4 };
enum class FocusChange { Gained, Lost };

enum class ScrollBarId { Horizontal, Vertical };

// Scroll-bar notification codes.
enum ScrollCode : int32_t {
    SB_LINEUP = 0,
    SB_LINEDOWN = 1,
    SB_PAGEUP = 2,
    SB_PAGEDOWN = 3,
    SB_THUMBPOSITION = 4,
    SB_THUMBTRACK = 5,
    SB_TOP = 6,
    SB_BOTTOM = 7,
    SB_ENDSCROLL = 8,
};

// A user action on a scroll bar; `value` is the bar's value after it.
struct ScrollEvent {
    ScrollBarId bar = ScrollBarId::Horizontal;
    ScrollCode code = SB_ENDSCROLL;
    int32_t value = 0;
};

// How a scroll bar's value changed: a settled change (line, page, top,
// bottom, thumb release, or a value set by program) or a move of the thumb
// while it is dragged.
enum class ScrollChange { Change, Track };

// Mouse input in client pixels. `button` is the pressed or released button
// for down and up, the mask of held buttons for moves.
struct MouseEvent {
    int32_t button = 0;
    int32_t shift = 0;
    float x = 0;
    float y = 0;
};

// Key down and up. The owner may change `keyCode`; 0 cancels the window's
// own handling of the key (a focused scroll bar then does not move).
struct KeyEvent {
    int32_t keyCode = 0;
    int32_t shift = 0;
    FocusTarget target = FocusTarget::Control;
};

struct KeyPressEvent {
    int32_t keyAscii = 0;
    FocusTarget target = FocusTarget::Control;
};

// One wheel notch; delta is +120 away from the user, -120 towards.
inline constexpr int32_t kWheelDelta = 120;
enum class WheelAxis { Vertical, Horizontal };
struct WheelEvent {
    int32_t delta = 0;
    int32_t buttons = 0;
    int32_t shift = 0;
    float x = 0;
    float y = 0;
};

// What a drop brings: a list of local files, or data of another kind (no
// file list). A drop of text/uri-list keeps the file: URIs of this machine.
struct DropData {
    bool hasFileList = false;
    std::vector<std::string> files;
};

// The control that owns a window implements this. Every entry has an empty
// default, so an owner handles only what it needs.
class WindowOwner {
public:
    virtual ~WindowOwner() = default;
    // The window was exposed; it repaints itself from its content.
    virtual void onPaint() {}
    // The client area changed size (also after a border change).
    virtual void onResize() {}
    virtual void onMouseDown(const MouseEvent&) {}
    virtual void onMouseMove(const MouseEvent&) {}
    virtual void onMouseUp(const MouseEvent&) {}
    // After the mouse-up of a press that began and ended on the client area.
    virtual void onClick() {}
    virtual void onDoubleClick() {}
    virtual void onKeyDown(KeyEvent&) {}
    virtual void onKeyPress(KeyPressEvent&) {}
    virtual void onKeyUp(KeyEvent&) {}
    virtual void onWheel(const WheelEvent&) {}
    virtual void onFocus(FocusTarget, FocusChange) {}
    // A user action on a scroll bar, sent before the value changes.
    virtual void onScroll(const ScrollEvent&) {}
    // The value of a scroll bar changed, by the user or by program.
    virtual void onScrollValueChanged(ScrollBarId, int32_t /*value*/, ScrollChange) {}
    virtual void onTimer(uint32_t /*id*/) {}
    // Data dropped on the window while its drop mode is manual.
    virtual void onDrop(const DropData&) {}
};

// Message-box style bits and results.
enum MsgBoxStyle : int32_t {
    vbOKOnly = 0,
    vbOKCancel = 1,
    vbAbortRetryIgnore = 2,
    vbYesNoCancel = 3,
    vbYesNo = 4,
    vbRetryCancel = 5,
    vbCritical = 16,
    vbQuestion = 32,
    vbExclamation = 48,
    vbInformation = 64,
    vbDefaultButton1 = 0,
    vbDefaultButton2 = 256,
    vbDefaultButton3 = 512,
};
enum MsgBoxResult : int32_t {
    vbOK = 1,
    vbCancel = 2,
    vbAbort = 3,
    vbRetry = 4,
    vbIgnore = 5,
    vbYes = 6,
    vbNo = 7,
};

// A modal message box. An empty title asks for the platform's default title.
struct MessageBoxRequest {
    std::string text;
    std::string title;
    int32_t buttons = vbOKOnly;      // 0..5
    int32_t icon = 0;                // 0, 16, 32, 48 or 64
    int32_t defaultButton = 0;       // 0-based index into buttonsOf(buttons)

    // Splits a style value (buttons + icon + default button) into its parts.
    static MessageBoxRequest fromStyle(std::string text, int32_t style, std::string title);
};
// The buttons a button set shows, in order; vbOK alone for unknown sets.
std::vector<int32_t> buttonsOf(int32_t buttonSet);
// The button a box answers with when it is closed without choice: the
// default button.
int32_t defaultAnswer(const MessageBoxRequest& request);

// An entry of a pop-up menu. An entry with items is a submenu title: it
// opens them (unless disabled) and cannot be chosen itself.
struct MenuItem {
    int32_t id = 0;  // returned when chosen; items with id 0 cannot be chosen
    std::string caption;
    bool enabled = true;
    bool checked = false;
    bool separator = false;
    std::vector<MenuItem> items;

    bool isSubmenu() const { return !items.empty(); }
};

// A pop-up menu at a client position; the answer is the chosen item's id, or
// 0 when the menu was dismissed.
struct PopupMenuRequest {
    std::vector<MenuItem> items;
    int x = 0;
    int y = 0;
};

// Whether `id` names an item a person could choose in `items`: an enabled
// item that is neither a separator nor a submenu title, reached through
// enabled submenu titles only. 0 is never choosable.
bool isChoosable(const std::vector<MenuItem>& items, int32_t id);

// An open-file dialog; the answer is a path, or empty when cancelled.
struct OpenFileRequest {
    std::string title;
    std::string filter;  // "Images|*.png;*.jpg|All files|*.*"
    std::string initialDir;
};

// A modal input box with one line of text; the answer is the text, or empty
// when cancelled.
struct InputBoxRequest {
    std::string prompt;
    std::string title;
    std::string defaultText;
};

// Cursor numbers (MousePointer values).
enum MousePointer : int32_t {
    MousePointerDefault = 0,
    MousePointerArrow = 1,
    MousePointerCross = 2,
    MousePointerIBeam = 3,
    MousePointerSize = 5,
    MousePointerSize_NE_SW = 6,
    MousePointerSize_N_S = 7,
    MousePointerSize_NW_SE = 8,
    MousePointerSize_W_E = 9,
    MousePointerUpArrow = 10,
    MousePointerHourglass = 11,
    MousePointerNoDrop = 12,
    MousePointerArrowAndHourglass = 13,
    MousePointerArrowAndQuestion = 14,
    MousePointerSizeAll = 15,
    MousePointerCustom = 99,
    // The control's own cursors, drawn by the window layer: the hand of the
    // pan mode, closed while it holds the picture.
    MousePointerClosedHand = 103,
    MousePointerOpenHand = 104,
};

// A cursor image with its hot spot (from an icon or cursor file, or from
// the control's own resources).
struct CursorImage {
    std::shared_ptr<const gdiplus::Image> image;
    int hotspotX = 0;
    int hotspotY = 0;
};

// What the pointer looks like over a window: a cursor number, or a custom
// image when `pointer` is MousePointerCustom and `custom` is set.
struct Cursor {
    int32_t pointer = MousePointerDefault;
    std::shared_ptr<const CursorImage> custom;
};

enum class Repaint { Deferred, Immediate };

// What differs between hosts. One backend serves any number of windows of
// its thread; a window registers itself on construction and leaves on
// destruction (the backend then forgets its timers, focus and capture).
class WindowBackend {
public:
    virtual ~WindowBackend() = default;

    virtual void attach(ControlWindow& window) = 0;
    virtual void detach(ControlWindow& window) = 0;

    // Event loop and clock. Milliseconds on a monotonic clock.
    virtual int64_t now() const = 0;
    // Starts or restarts timer `id` of the window; it fires every
    // `intervalMs` through ControlWindow::deliverTimer until killed.
    virtual void setTimer(ControlWindow& window, uint32_t id, uint32_t intervalMs) = 0;
    virtual void killTimer(ControlWindow& window, uint32_t id) = 0;
    // Lets pending events and due timers run, then returns.
    virtual void processPendingEvents() = 0;

    // Modal dialogs.
    virtual int32_t messageBox(ControlWindow& window, const MessageBoxRequest& request) = 0;
    virtual int32_t popupMenu(ControlWindow& window, const PopupMenuRequest& request) = 0;
    virtual std::string openFileDialog(ControlWindow& window, const OpenFileRequest& request) = 0;
    virtual std::string inputBox(ControlWindow& window, const InputBoxRequest& request) = 0;

    // Presenting: part of the window (window coordinates) must be shown again
    // from ControlWindow::compose, at the next pass of the event loop or
    // before returning.
    // Presenting never calls the owner: only an exposure by the host (a
    // window uncovered) reaches it, through ControlWindow::expose.
    virtual void invalidate(ControlWindow& window, const Rect& area, Repaint when) = 0;

    virtual void setCursor(ControlWindow& window, const Cursor& cursor) = 0;
    // The window wants the host's keyboard focus.
    virtual void requestFocus(ControlWindow& window) = 0;
    // Mouse capture: input goes to the window until released.
    virtual void setCapture(ControlWindow& window) = 0;
    virtual void releaseCapture(ControlWindow& window) = 0;

    // The host's clipboard, shared by every window of the backend.
    virtual Clipboard& clipboard() = 0;
};

}  // namespace orrery::window
