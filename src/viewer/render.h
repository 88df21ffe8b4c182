// Painting: draws the visible part of the current image into the control's
// window, with the quality ViewerQuality asks for, the gamma and the mask
// colour, and falls back to cheaper drawing when memory runs short.
#pragma once
#include <cstdint>
#include <memory>
#include <string>

#include "platform/gdiplus/graphics.h"
#include "platform/window/control_window.h"
#include "viewer/view_state.h"

namespace orrery::viewer {

// The quality timer's identifier on the control's window.
inline constexpr uint32_t kQualityTimerId = 1;
inline constexpr uint32_t kQualityTimerIntervalMs = 1000;

// What painting needs from the control around it.
class RenderHost {
public:
    virtual ~RenderHost() = default;
    virtual window::ControlWindow& window() = 0;
    virtual bool lockControl() const = 0;
    virtual bool silentMode() const = 0;
    // The document identifier: the image identifier, or the open PDF's handle.
    virtual int32_t documentId() const = 0;
    virtual bool documentIsPdf() const = 0;
    // The format name of an image ("GIF" keeps no working copy).
    virtual std::string formatName(int32_t image) const = 0;
    virtual void raisePictureChange() = 0;
    virtual void raisePictureChanged() = 0;
    virtual void raisePageChange() = 0;
    virtual void raiseDisplay() = 0;
    // Installs the wheel hook when EnableMouseWheel asks for it.
    virtual void ensureWheelHook() = 0;
    // Shows the selection rectangle again at its image position, if drawn.
    virtual void redrawSelection(int32_t image) = 0;
    virtual void refreshQualityMenuChecks() = 0;
    virtual bool disableAutoFocus() const = 0;
    // Which part of the control holds the keyboard focus (0 none).
    virtual int32_t focusOwner() const = 0;
    // Scroll-bar visibility is the layout's; painting asks for it first.
    virtual void updateScrollBarVisibility() = 0;
    // A critical message box (only called when not silent).
    virtual void showCriticalMessage(const std::string& text) = 0;
};

// A painting at the interactive quality, or the delayed quality pass that
// follows it when ViewerQualityAuto is on.
enum class DrawPass { Interactive, Quality };

class Renderer {
public:
    Renderer(ViewState& state, RenderHost& host) : s_(state), host_(host) {}

    // Paints `image`; 0 paints the working copy or the current image.
    void DrawView(int32_t image, DrawPass pass);
    // The interpolation mode for the next painting.
    gdiplus::InterpolationMode ChooseInterpolation();
    // The quality timer fired.
    void OnQualityTimer();
    // Makes the premultiplied working copy of the current image (speed
    // optimisation); returns the status, 0 when the copy was made.
    int32_t MakeWorkingCopy();
    void DiscardWorkingCopy();

private:
    int32_t drawDirect(gdiplus::Image& image, const gdiplus::RectF& dst, const gdiplus::RectF& src,
                       const gdiplus::ImageAttributes* attributes);
    int32_t renderToPicture(int drawW, int drawH, gdiplus::Image& image, const gdiplus::RectF& dst,
                            const gdiplus::RectF& src, std::shared_ptr<const gdiplus::Image>& picture);
    uint32_t backColorArgb() const;

    ViewState& s_;
    RenderHost& host_;
    // What the last direct painting left on the window's bitmap, while the
    // window has not rewritten it since (its epoch then).
    gdiplus::Backdrop backdrop_;
    uint64_t backdropEpoch_ = 0;
};

}  // namespace orrery::viewer
