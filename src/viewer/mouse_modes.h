// What the mouse does over the picture: in the default mode it only reports
// positions, in area selection it draws and edits the selection rectangle,
// in pan mode it drags the picture (turning pages at the edges in continuous
// view), and in auto-zoom it zooms to a dragged rectangle. The control
// forwards the window's press, move and release here after raising its
// events; positions are client pixels as the window reports them.
#pragma once
#include <cstdint>
#include <string>

#include "platform/window/control_window.h"
#include "viewer/frames.h"
#include "viewer/layout.h"
#include "viewer/render.h"
#include "viewer/selection.h"
#include "viewer/view_state.h"

namespace orrery::viewer {

class MouseModesHost {
public:
    virtual ~MouseModesHost() = default;
    virtual bool silentMode() const = 0;
    // A plain message box (only called when not silent).
    virtual void showPlainMessage(const std::string& text) = 0;
    // Zooms to the selection rectangle (the control's ZoomRect).
    virtual int32_t zoomToSelection() = 0;
    // The right button went down on a shown picture: the context menu, when
    // the host allows it; returns when the menu has closed.
    virtual void openContextMenu(float x, float y) = 0;
};

class MouseModes {
public:
    MouseModes(ViewState& state, const Layout& layout, Selection& selection, Frames& frames, Renderer& renderer,
               window::ControlWindow& window, MouseModesHost& host)
        : s_(state), layout_(layout), selection_(selection), frames_(frames), renderer_(renderer),
          window_(window), host_(host) {}

    // The MouseMode let: 0 to 3, others ignored (false). The default and pan
    // modes clear the rectangle first.
    bool SetMouseMode(int32_t mode);
    // The cursor of the current mode, unless the host's pointer is in force.
    void ApplyModeCursor();
    int32_t modeCursor() const;

    // The image pixel under a client position, clamped to the image
    // (GetMouseX, GetMouseY); faults are reported, not thrown.
    void UpdateMousePosition(float x, float y);
    void Press(int32_t button, float x, float y);
    void Move(int32_t button, float x, float y);
    void Release(float x, float y);

private:
    bool imageShown() const { return s_.currentImage != 0; }
    // Runs `work`, which returns false when a position does not fit a Long
    // (it stops before changing anything then); that, or a fault, sets
    // GenericError and, unless silent, shows `prefix` and "Overflow" or the
    // fault's description.
    template <class Work>
    void trapped(const char* prefix, Work&& work);
    void report(const char* prefix, const char* what);
    // Each returns false when a position does not fit a Long.
    bool startRectangle();
    bool hoverOrEdit(float x, float y);
    bool editRectangle(float x, float y);
    bool pan(float x, float y);
    void turnPageWhilePanning(int32_t dy, int32_t x, int32_t y);
    bool dragNewRectangle(float x, float y);

    ViewState& s_;
    const Layout& layout_;
    Selection& selection_;
    Frames& frames_;
    Renderer& renderer_;
    window::ControlWindow& window_;
    MouseModesHost& host_;
};

}  // namespace orrery::viewer
