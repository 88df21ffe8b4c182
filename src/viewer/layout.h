// Zoom and layout: turns an image of W x H pixels, a client area and a zoom
// mode into a zoom factor, a displayed size, an image origin and scroll-bar
// ranges. Every change that can move or resize the picture ends in
// UpdateLayout, which then asks the host to paint.
#pragma once
#include <cstdint>
#include <optional>
#include <string>

#include "viewer/saturating.h"
#include "viewer/view_state.h"

namespace orrery::viewer {

// What the layout needs from the control around it.
class LayoutHost {
public:
    virtual ~LayoutHost() = default;
    virtual int32_t clientWidth() const = 0;
    virtual int32_t clientHeight() const = 0;
    virtual bool silentMode() const = 0;
    // The image that painting uses when the layout is given none: the
    // speed-optimised working copy when one exists, else the current image.
    virtual int32_t workingImage() const = 0;
    virtual void drawView(int32_t image) = 0;
    virtual void raiseBeforeZoomChange() = 0;
    virtual void raiseZoomChange() = 0;
    virtual void refreshMouseCursor() = 0;
    // The context menu's marks that follow the layout: zoom mode and quality.
    virtual void refreshMenuChecks() = 0;
    // The context menu's "ScrollBars" mark.
    virtual void refreshScrollBarsMark() = 0;
    // The selection rectangle in image pixels (all 0 when none is drawn);
    // no value when its place does not fit a Long.
    virtual std::optional<AreaRect> selectionInImage() const = 0;
    // A critical message box (only called when not silent).
    virtual void showCriticalMessage(const std::string& text) = 0;
};

class Layout {
public:
    Layout(ViewState& state, LayoutHost& host) : s_(state), host_(host) {}

    void ReadImageMetrics(int32_t image);
    void ComputeMaxZoom();
    void UpdateLayout(int32_t image);
    void UpdateScrollBars();
    void UpdateScrollBarVisibility();

    // Zoom members.
    void SetZoomModeMember(int32_t mode);  // SetZoom100 ... SetZoomControl
    void SetZoomMode(int32_t mode);        // the ZoomMode let
    void SetZoom(double percent);
    void SetZoomValue(double zoom);  // the ZOOM let
    void ZoomIN();
    void ZoomOUT();
    int32_t ZoomArea(int32_t left, int32_t top, int32_t width, int32_t height);
    void SetImageAlignment(int32_t value);
    void SetImagePosition(int32_t value);
    void SetScrollBars(bool value);
    void SetForceScrollBars(bool value);

    // Coordinates and areas.
    void CoordObjectToImage(int32_t objectX, int32_t objectY, int32_t& imageX, int32_t& imageY) const;
    void CoordImageToObject(int32_t imageX, int32_t imageY, int32_t& objectX, int32_t& objectY) const;
    float GetWidthMM() const;
    float GetHeightMM() const;
    void GetDisplayedAreaMM(float& left, float& top, float& width, float& height) const;

private:
    bool hasImage() const { return s_.currentImage != 0; }
    double zoomForMode(double availW, double availH, bool& centreOnArea);
    void placeHorizontally(double availW, double relH, bool centreOnArea);
    void placeVertically(double availH, double relV, bool centreOnArea);

    ViewState& s_;
    LayoutHost& host_;
};

}  // namespace orrery::viewer
