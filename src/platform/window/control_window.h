// The window of one control: a model of the platform window the control
// lives in, drawn entirely by this code into a surface that a host only
// shows. It keeps the client area, the appearance properties, the persistent
// bitmap (the control's drawn content, kept across exposures), the picture
// and mask picture shown when persistent drawing is off, two child scroll
// bars with the corner box between them, the rectangle shape, the cursor,
// focus, capture and timers. Input from the host arrives in window
// coordinates (border included) through the input entries below; the window
// routes it to its scroll bars or to its owner in client coordinates.
//
// Composition order of what the window shows (compose, snapshot): the
// container's background colour; the persistent bitmap, or the back colour
// and the picture; the mask picture's cut-out (transparent back style only);
// the rectangle shape over the content; the scroll bars and the corner box,
// which as child windows cover the shape; the border.
//
// Everything runs on the owner's thread. An owner must not destroy the window
// from inside one of its callbacks.
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/gdiplus/graphics.h"
#include "platform/gdiplus/image.h"
#include "platform/window/rect_shape.h"
#include "platform/window/scroll_bar.h"
#include "orrery/window/window.h"

namespace orrery::window {

using gdiplus::Status;

enum class BorderStyle : int32_t { None = 0, FixedSingle = 1 };
enum class Appearance : int32_t { Flat = 0, ThreeD = 1 };
enum class BackStyle : int32_t { Transparent = 0, Opaque = 1 };
enum class DropMode : int32_t { None = 0, Manual = 1 };
enum class PersistentDrawing { Off, On };

// Border thickness taken off the client area by BorderStyle::FixedSingle: a
// one-pixel frame when flat, the two-pixel sunken edge when 3D.
inline constexpr int kFlatBorderWidth = 1;
inline constexpr int k3DBorderWidth = 2;

// Timer identifiers from this value up belong to the window itself.
inline constexpr uint32_t kReservedTimerBase = 0xFFFF0000u;

// Resolves an interface colour (0x00BBGGRR, or 0x800000nn for system colour
// nn) to 0x00RRGGBB.
uint32_t resolveOleColor(uint32_t oleColor);

class ControlWindow {
public:
    explicit ControlWindow(WindowBackend& backend);
    ~ControlWindow();
    ControlWindow(const ControlWindow&) = delete;
    ControlWindow& operator=(const ControlWindow&) = delete;

    // The owner must outlive the window or be replaced (null is allowed)
    // before it goes.
    void setOwner(WindowOwner* owner) { owner_ = owner; }
    WindowBackend& backend() const { return backend_; }

    // Process-unique positive numbers naming the window and the device
    // context of its persistent bitmap.
    Hwnd hwnd() const { return hwnd_; }
    int32_t hdc() const { return hdc_; }
    // The live window of this thread with that number, or null.
    static ControlWindow* fromHwnd(Hwnd hwnd);
    static ControlWindow* fromHdc(int32_t hdc);

    // --- Size -------------------------------------------------------------
    // The window's extent in its container (border included). The persistent
    // bitmap follows the client size, keeping its content where it overlaps;
    // the owner hears onResize when the client size changed. OutOfMemory when
    // the bitmap would exceed the pixel allocation limit (the size is then
    // kept as it was); InvalidParameter for negative sizes.
    Status setWindowSize(int width, int height);
    int windowWidth() const { return width_; }
    int windowHeight() const { return height_; }
    int borderWidth() const;
    int clientWidth() const;
    int clientHeight() const;

    // --- Appearance ---------------------------------------------------------
    BorderStyle borderStyle() const { return borderStyle_; }
    void setBorderStyle(BorderStyle s);
    Appearance appearance() const { return appearance_; }
    void setAppearance(Appearance a);
    BackStyle backStyle() const { return backStyle_; }
    void setBackStyle(BackStyle s);
    uint32_t backColor() const { return backColor_; }  // as set (0x00BBGGRR or system)
    void setBackColor(uint32_t oleColor);
    // Kept and read back; children are always drawn over the content, so it
    // changes nothing that the window shows.
    bool clipControls() const { return clipControls_; }
    void setClipControls(bool on) { clipControls_ = on; }
    // A disabled window takes no mouse, key, wheel or drop input.
    bool enabled() const { return enabled_; }
    void setEnabled(bool on);
    // The colour of the container behind the window, shown where the window
    // is transparent.
    uint32_t containerBackColor() const { return containerBackColor_; }
    void setContainerBackColor(uint32_t oleColor);
    DropMode dropMode() const { return dropMode_; }
    void setDropMode(DropMode m) { dropMode_ = m; }

    // --- Content ------------------------------------------------------------
    // On: the window shows its persistent bitmap. Off: it shows the back
    // colour (when opaque) and the picture.
    PersistentDrawing persistentDrawing() const { return persistent_; }
    void setPersistentDrawing(PersistentDrawing p);
    // The persistent bitmap: 32-bit premultiplied ARGB of the client size
    // (no pixels while the client area is empty). Draw on it with
    // gdiplus::Graphics::fromSurface, then call invalidate().
    const gdiplus::Surface& surface() const { return surface_; }
    // Changes whenever the window itself rewrites the persistent bitmap (a
    // new size, an erase), so that whoever draws on it knows what it left
    // there still holds.
    uint64_t surfaceEpoch() const { return surfaceEpoch_; }
    // Erases the persistent bitmap to the back colour.
    void clearSurface();
    // Any 32-bit image (other formats are converted while composing), drawn
    // at the client origin.
    void setPicture(std::shared_ptr<const gdiplus::Image> picture);
    const std::shared_ptr<const gdiplus::Image>& picture() const { return picture_; }
    // Pixels of alpha 0 (and the area beyond the mask's size) show the
    // container; applies with the transparent back style.
    void setMaskPicture(std::shared_ptr<const gdiplus::Image> mask);
    const std::shared_ptr<const gdiplus::Image>& maskPicture() const { return mask_; }
    // Asks the host to show the window again, later (invalidate) or now
    // (refresh).
    void invalidate();
    void refresh();

    // --- Scroll bars and corner box ----------------------------------------
    const ScrollBar& scrollBar(ScrollBarId id) const { return id == ScrollBarId::Horizontal ? hScroll_ : vScroll_; }
    // Value changes made by these (also by clamping) reach the owner as
    // onScrollValueChanged(..., Change).
    void setScrollValue(ScrollBarId id, int32_t value);
    void setScrollMin(ScrollBarId id, int32_t value);
    void setScrollMax(ScrollBarId id, int32_t value);
    void setScrollSmallChange(ScrollBarId id, int32_t value);
    void setScrollLargeChange(ScrollBarId id, int32_t value);
    void setScrollEnabled(ScrollBarId id, bool on);
    // Showing or hiding a bar re-places both bars (placeScrollBars).
    void setScrollVisible(ScrollBarId id, bool on);
    void setScrollGeometry(ScrollBarId id, const Rect& clientRect);
    // The standard places: the horizontal bar along the bottom edge, the
    // vertical bar along the right edge, each kScrollBarThickness thick and
    // leaving the corner box free when the other bar is visible. Runs on
    // every resize and visibility change.
    void placeScrollBars();
    // The box between two visible bars: the vertical bar's left edge, the
    // horizontal bar's top edge, one thickness each way.
    bool cornerVisible() const { return hScroll_.visible() && vScroll_.visible(); }
    Rect cornerBox() const;

    // --- Rectangle shape ----------------------------------------------------
    const RectShape& rectShape() const { return rect_; }
    void setRectShape(const RectShape& shape);

    // --- Cursor -------------------------------------------------------------
    // A MousePointer number; MousePointerCustom shows the mouse icon.
    int32_t mousePointer() const { return mousePointer_; }
    void setMousePointer(int32_t pointer);
    // Loads an icon or cursor file as the mouse icon (hot spot from a cursor
    // file, the centre for an icon). The decoder's status on failure; the
    // previous icon stays then.
    Status loadMouseIcon(const std::string& path);
    void setMouseIcon(std::shared_ptr<const CursorImage> icon);
    const std::shared_ptr<const CursorImage>& mouseIcon() const { return mouseIcon_; }
    // What the pointer shows over the client area.
    Cursor cursor() const;

    // --- Focus and capture -------------------------------------------------
    // The part holding the keyboard focus; None while the window lacks the
    // host's focus.
    FocusTarget focus() const { return hostFocused_ ? focus_ : FocusTarget::None; }
    // Moves the focus to a part (hidden or disabled bars and a hidden corner
    // box refuse it, returning false) and asks the host for the focus.
    bool setFocus(FocusTarget target);
    void setCapture();
    void releaseCapture();
    bool hasCapture() const { return explicitCapture_ || heldButtons_ != 0; }

    // --- Timers -------------------------------------------------------------
    // Starts or restarts timer `id` (intervals below 10 ms are 10 ms);
    // false for the reserved identifiers.
    bool setTimer(uint32_t id, uint32_t intervalMs);
    void killTimer(uint32_t id);

    // --- Dialogs ------------------------------------------------------------
    // `style` adds buttons, icon and default button; an empty title is the
    // platform's default. Returns the button pressed.
    int32_t messageBox(const std::string& text, int32_t style = vbOKOnly,
                       const std::string& title = {});
    // Shows a pop-up menu; the menu takes the release of the buttons held
    // when it opens.
    int32_t popupMenu(const PopupMenuRequest& request);
    std::string openFileDialog(const OpenFileRequest& request);
    std::string inputBox(const InputBoxRequest& request);

    // --- What the window shows ---------------------------------------------
    // Composes into a target of the window's size (InvalidParameter
    // otherwise).
    Status compose(const gdiplus::Surface& target) const;
    // Everything the window shows as a PixelFormat32bppARGB image of the
    // window's size. InvalidParameter for an empty window, OutOfMemory above
    // the allocation limit.
    Status snapshot(std::unique_ptr<gdiplus::Image>& out) const;

    // --- Input from the host (window coordinates) --------------------------
    void mouseDown(int32_t button, int32_t shift, float x, float y);
    void mouseMove(int32_t shift, float x, float y);
    void mouseUp(int32_t button, int32_t shift, float x, float y);
    // The second press of a double click (in place of its mouse-down).
    void mouseDoubleClick(int32_t button, int32_t shift, float x, float y);
    void keyDown(int32_t keyCode, int32_t shift);
    void keyPress(int32_t keyAscii);
    void keyUp(int32_t keyCode, int32_t shift);
    // Wheel input as the host reports it: vertical deltas add up per window,
    // and each time the sum reaches a notch (+-kWheelDelta) the owner hears
    // one notch and the sum starts again at 0. Horizontal input and a delta
    // of 0 are no notch.
    void wheel(int32_t delta, int32_t shift, float x, float y, WheelAxis axis = WheelAxis::Vertical);
    void hostFocusIn();
    void hostFocusOut();
    // Data dropped on the window; taken only while enabled and in the
    // manual drop mode.
    void drop(const DropData& data);
    // The host shows the window again (an exposure).
    void expose();
    void deliverTimer(uint32_t id);
    // The mask of buttons held now.
    int32_t heldButtons() const { return heldButtons_; }

private:
    enum class Target { None, Client, HScroll, VScroll, Corner };

    Target hitTest(int x, int y) const;
    Target inputTarget(int x, int y) const;
    ScrollBar& bar(ScrollBarId id) { return id == ScrollBarId::Horizontal ? hScroll_ : vScroll_; }
    static ScrollBarId barOf(Target t) { return t == Target::HScroll ? ScrollBarId::Horizontal : ScrollBarId::Vertical; }
    MouseEvent clientEvent(int32_t button, int32_t shift, float x, float y) const;

    Status resizeSurface(int clientW, int clientH);
    void clientSizeMaybeChanged(int oldW, int oldH);
    void afterValueSet(ScrollBarId id, bool changed, ScrollChange how);
    void scrollAction(ScrollBarId id, ScrollCode code);
    void pressScrollBar(ScrollBarId id, int32_t button, float x, float y);
    void dragThumb(float x, float y);
    void releaseScrollBar();
    void repeatScroll();
    ScrollPart partUnder(ScrollBarId id, float x, float y) const;
    void updateHover(Target t);
    void pushCursor();
    void ensureFocusable();
    void moveFocus(FocusTarget target);

    void composeContent(const gdiplus::Surface& target, const Rect& client) const;
    void applyMask(const gdiplus::Surface& target, const Rect& client) const;
    void drawBorder(const gdiplus::Surface& target) const;

    WindowBackend& backend_;
    WindowOwner* owner_ = nullptr;
    Hwnd hwnd_;
    int32_t hdc_;

    int width_ = 0;
    int height_ = 0;
    BorderStyle borderStyle_ = BorderStyle::FixedSingle;
    Appearance appearance_ = Appearance::ThreeD;
    BackStyle backStyle_ = BackStyle::Opaque;
    uint32_t backColor_ = 0x8000000Fu;  // button face
    uint32_t containerBackColor_ = 0x8000000Fu;
    bool clipControls_ = true;
    bool enabled_ = true;
    DropMode dropMode_ = DropMode::None;

    PersistentDrawing persistent_ = PersistentDrawing::On;
    std::unique_ptr<uint32_t[]> pixels_;
    gdiplus::Surface surface_;
    uint64_t surfaceEpoch_ = 0;
    std::shared_ptr<const gdiplus::Image> picture_;
    std::shared_ptr<const gdiplus::Image> mask_;

    ScrollBar hScroll_{Orientation::Horizontal};
    ScrollBar vScroll_{Orientation::Vertical};
    RectShape rect_;

    int64_t wheelSum_ = 0;
    int32_t mousePointer_ = MousePointerDefault;
    std::shared_ptr<const CursorImage> mouseIcon_;
    Target hover_ = Target::None;

    FocusTarget focus_ = FocusTarget::None;
    bool hostFocused_ = false;
    bool explicitCapture_ = false;
    int32_t heldButtons_ = 0;
    Target pressTarget_ = Target::None;
    bool clickArmed_ = false;
    int32_t releaseTakenByMenu_ = 0;  // buttons whose next release a menu took

    // Scroll-bar interaction in progress (left button on a bar).
    struct BarPress {
        bool active = false;
        ScrollBarId bar = ScrollBarId::Horizontal;
        ScrollPart part = ScrollPart::None;
        int grab = 0;              // pointer offset from the thumb's leading edge
        int32_t startValue = 0;    // value when the thumb drag began
        float x = 0, y = 0;        // last pointer position (window coordinates)
        bool repeating = false;    // the repeat timer runs at its fast rate
    } press_;
    // Key actions on a focused bar end with SB_ENDSCROLL at the key-up.
    bool keyScrolling_ = false;
};

}  // namespace orrery::window
