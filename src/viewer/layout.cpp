#include "viewer/layout.h"

#include <algorithm>
#include <cmath>

#include "imaging/image_table.h"
#include "platform/window/scroll_bar.h"
#include "viewer/input_flags.h"

namespace orrery::viewer {

namespace {

// The thickness of a scroll bar, which the picture gives up when one shows.
constexpr int32_t kBar = window::kScrollBarThickness;

enum class Horizontal { Left, Right, Center, Keep };
enum class Vertical { Middle, Top, Bottom, Keep };

Horizontal horizontalPart(int32_t placement) {
    switch (placement) {
        case 0: case 4: case 7: return Horizontal::Left;
        case 1: case 5: case 8: return Horizontal::Right;
        case 2: case 6: case 9: return Horizontal::Center;
        default: return Horizontal::Keep;
    }
}

Vertical verticalPart(int32_t placement) {
    switch (placement) {
        case 0: case 1: case 2: return Vertical::Middle;
        case 4: case 5: case 6: return Vertical::Top;
        case 7: case 8: case 9: return Vertical::Bottom;
        default: return Vertical::Keep;
    }
}

constexpr int32_t kInvalidParameter = 2;
constexpr int32_t kMaxScrollPosition = 32767;

}  // namespace

// ---------------------------------------------------------------------------
// Metrics

void Layout::ReadImageMetrics(int32_t image) {
    gdiplus::Image* img = imaging::modMain::GetGdiImage(image);
    auto fail = [this](const char* message) {
        s_.status = kInvalidParameter;
        if (!host_.silentMode()) host_.showCriticalMessage(message);
    };
    if (!img) return fail("Invalid image: Can not get picture height.");
    s_.status = 0;
    s_.imageHeight = img->height();
    s_.imageWidth = img->width();
    s_.horizontalResolution = img->horizontalResolution();
    s_.verticalResolution = img->verticalResolution();
    if (s_.verticalResolution == 0 && !host_.silentMode())
        host_.showCriticalMessage("Invalid image: Can not get picture vertical resolution");
    // A vertical resolution of 0 would make the correction 0, by which the
    // layout divides; such an image is shown without correction.
    const bool usable = s_.horizontalResolution != 0 && s_.verticalResolution != 0 && !s_.skipImageResolution;
    s_.aspectCorrection = usable ? static_cast<double>(s_.verticalResolution) / s_.horizontalResolution : 1.0;
    s_.imageWidth = std::max(s_.imageWidth, 1);
    s_.imageHeight = std::max(s_.imageHeight, 1);
    ComputeMaxZoom();
}

void Layout::ComputeMaxZoom() {
    const double limitW = roundEven(host_.clientWidth() + 32765.0 - kBar);
    const double limitH = roundEven(host_.clientHeight() + 32765.0 - kBar);
    if (s_.imageWidth > 0 && s_.imageHeight > 0) {
        // Both directions must fit the 16-bit scroll range; in a client that
        // is not square the shorter image side can be the one that limits.
        const double effH = s_.imageHeight / s_.aspectCorrection;
        s_.maxZoom = std::min(limitW / s_.imageWidth, limitH / effH);
    } else {
        s_.maxZoom = 1.0;
    }
    if (s_.zoom > s_.maxZoom) s_.zoom = s_.maxZoom;
}

// ---------------------------------------------------------------------------
// Scroll bars

void Layout::UpdateScrollBars() {
    s_.scrollEventsArmed = false;
    s_.hScroll.min = s_.vScroll.min = 0;
    const int32_t cw = host_.clientWidth(), ch = host_.clientHeight();
    const double displayW = s_.displayWidth, displayH = s_.displayHeight;
    int32_t hMax = 0, vMax = 0;
    if (cw < s_.displayWidth) hMax = roundEven(displayW - cw + kBar);
    else s_.hScroll.value = 0;
    if (ch < s_.displayHeight) {
        vMax = hMax == 0 && !s_.forceScrollBars ? roundEven(displayH - ch)
                                                 : roundEven(displayH - ch + kBar);
    } else {
        s_.vScroll.value = 0;
    }
    if (vMax == 0 && hMax > 0)
        hMax = roundEven(displayW - (cw - (s_.forceScrollBars ? kBar : 0)));
    // Scroll positions are 16-bit: a range that rounding took past the
    // largest position stops there.
    hMax = std::min(hMax, kMaxScrollPosition);
    vMax = std::min(vMax, kMaxScrollPosition);
    s_.hScroll.value = std::min(s_.hScroll.value, hMax);
    s_.vScroll.value = std::min(s_.vScroll.value, vMax);
    s_.vScroll.max = vMax;
    s_.hScroll.max = hMax;
    s_.hScroll.enabled = hMax >= 1;
    s_.vScroll.enabled = vMax >= 1;
    if (vMax < 1) s_.resetVertical = true;
    if (hMax < 1) s_.resetHorizontal = true;
    s_.scrollEventsArmed = true;
}

void Layout::UpdateScrollBarVisibility() {
    host_.refreshScrollBarsMark();
    if (s_.forceScrollBars) {
        s_.hScroll.visible = s_.vScroll.visible = true;
    } else if (s_.zoomMode != ZoomFitToControl) {
        s_.hScroll.visible = s_.hScroll.max >= 1 && s_.scrollBars;
        s_.vScroll.visible = s_.vScroll.max >= 1 && s_.scrollBars;
    } else {
        s_.hScroll.visible = s_.vScroll.visible = false;
        s_.resetHorizontal = s_.resetVertical = true;
    }
    s_.cornerVisible = s_.hScroll.visible && s_.vScroll.visible;
}

// ---------------------------------------------------------------------------
// Layout

double Layout::zoomForMode(double availW, double availH, bool& centreOnArea) {
    const double w = s_.imageWidth, h = s_.imageHeight, ac = s_.aspectCorrection;
    const double aspect = w / h * ac;
    double z = s_.zoom;
    switch (s_.zoomMode) {
        case Zoom100: z = 1.0; break;
        case ZoomFitToControl: z = aspect >= availW / availH ? availW / w : availH / h * ac; break;
        case ZoomWidthControl:
            z = availW / w;
            if (w * z / aspect > availH && s_.scrollBars) {
                availW = host_.clientWidth() - kBar;
                z = availW / w;
                if (w * z / aspect < availH) z = availH / h * ac;
            }
            break;
        case ZoomHeightControl:
            z = availH / h * ac;
            if (w * z > availW && s_.scrollBars) {
                availH = host_.clientHeight() - kBar;
                z = availH / h * ac;
                if (w * z < availW) z = availW / w;
            }
            break;
        case ZoomToControl:
            s_.displayWidth = roundEven(host_.clientWidth() - (s_.forceScrollBars ? kBar : 0.0));
            s_.displayHeight = roundEven(host_.clientHeight() - (s_.forceScrollBars ? kBar : 0.0));
            z = host_.clientHeight() / h * ac;
            break;
        case ZoomFitArea:
            if (s_.zoomArea.width > 0) z = availW / s_.zoomArea.width;
            if (s_.zoomArea.height > 0 && availH / s_.zoomArea.height < z) z = availH / s_.zoomArea.height;
            centreOnArea = true;
            s_.zoomMode = ZoomCustom;
            break;
        case ZoomFitRect:
            s_.zoomArea = host_.selectionInImage().value_or(AreaRect{});
            if (s_.zoomArea.width >= 1) z = availW / s_.zoomArea.width;
            if (s_.zoomArea.height > 0 && availH / s_.zoomArea.height < z) z = availH / s_.zoomArea.height;
            centreOnArea = true;
            s_.zoomMode = ZoomCustom;
            break;
        default: break;
    }
    return z;
}

void Layout::placeHorizontally(double availW, double relH, bool centreOnArea) {
    if (s_.displayWidth <= availW) {
        switch (horizontalPart(s_.imagePosition)) {
            case Horizontal::Left: s_.offsetLeft = 0; break;
            case Horizontal::Right: s_.offsetLeft = roundEven(availW - s_.displayWidth); break;
            case Horizontal::Center: s_.offsetLeft = roundEven((availW - s_.displayWidth) / 2); break;
            case Horizontal::Keep: break;
        }
        return;
    }
    if (centreOnArea) return;
    const bool keepFirst = s_.keepImagePosition && !s_.laidOutOnce;
    if (s_.forceRealign || (s_.resetHorizontal && !s_.pageTransition && !keepFirst)) {
        switch (horizontalPart(s_.imageAlignment)) {
            case Horizontal::Left: relH = 0; break;
            case Horizontal::Right: relH = 1.0; break;
            case Horizontal::Center: relH = 0.5; break;
            case Horizontal::Keep: break;
        }
    }
    s_.hScroll.value = roundEven(s_.hScroll.max * relH);
    s_.offsetLeft = -s_.hScroll.value;
    if (keepFirst) s_.resetHorizontal = false;
}

void Layout::placeVertically(double availH, double relV, bool centreOnArea) {
    if (s_.displayHeight <= availH) {
        switch (verticalPart(s_.imagePosition)) {
            case Vertical::Top: s_.offsetTop = 0; break;
            case Vertical::Bottom: s_.offsetTop = roundEven(availH - s_.displayHeight); break;
            case Vertical::Middle: s_.offsetTop = roundEven((availH - s_.displayHeight) / 2); break;
            case Vertical::Keep: break;
        }
        return;
    }
    if (centreOnArea) return;
    const bool keepFirst = s_.keepImagePosition && !s_.laidOutOnce;
    if (s_.forceRealign || (s_.resetVertical && !keepFirst)) {
        switch (verticalPart(s_.imageAlignment)) {
            case Vertical::Top: relV = 0; break;
            case Vertical::Bottom: relV = 1.0; break;
            case Vertical::Middle: relV = 0.5; break;
            case Vertical::Keep: break;
        }
    }
    s_.vScroll.value = roundEven(s_.vScroll.max * relV);
    s_.offsetTop = -s_.vScroll.value;
    if (keepFirst) s_.resetVertical = false;
}

void Layout::UpdateLayout(int32_t image) {
    FlagScope busy(threadInputFlags().busy);
    s_.highQualityPass = false;
    if (image == 0) image = host_.workingImage();
    double availW = host_.clientWidth() - (s_.forceScrollBars ? kBar : 0);
    double availH = host_.clientHeight() - (s_.forceScrollBars ? kBar : 0);
    if (s_.drawFailed) s_.status = 0;
    const bool run = s_.status == 0 && image != 0 && s_.imageWidth > 0 && s_.imageHeight > 0 && availW > 0 &&
                     availH > 0;
    if (run) {
        const double aspect = static_cast<double>(s_.imageWidth) / s_.imageHeight * s_.aspectCorrection;
        bool centreOnArea = false;
        const int32_t modeBefore = s_.zoomMode;
        double z = zoomForMode(availW, availH, centreOnArea);
        if (z > s_.maxZoom) z = s_.maxZoom;
        s_.zoom = z;
        const bool zoomChanged = s_.zoom != s_.previousZoom;
        if (zoomChanged) host_.raiseBeforeZoomChange();
        s_.previousZoom = s_.zoom;
        if (modeBefore != ZoomToControl) {
            s_.displayWidth = roundEven(static_cast<double>(s_.imageWidth) * s_.zoom);
            s_.displayHeight = roundEven(s_.displayWidth / aspect);
        }
        const double relV = s_.vScroll.max >= 1 ? static_cast<double>(s_.vScroll.value) / s_.vScroll.max : 0;
        const double relH = s_.hScroll.max >= 1 ? static_cast<double>(s_.hScroll.value) / s_.hScroll.max : 0;
        UpdateScrollBars();
        s_.scrollEventsArmed = false;
        if (centreOnArea) {
            s_.offsetLeft = std::clamp(roundEven(-static_cast<double>(s_.zoomArea.left) * s_.zoom), -s_.hScroll.max, 0);
            s_.offsetTop = std::clamp(roundEven(-static_cast<double>(s_.zoomArea.top) * s_.zoom), -s_.vScroll.max, 0);
            s_.hScroll.value = -s_.offsetLeft;
            s_.vScroll.value = -s_.offsetTop;
            s_.resetHorizontal = s_.resetVertical = false;
        }
        if (s_.scrollBars) {
            availH = s_.hScroll.max >= 1 || s_.forceScrollBars ? host_.clientHeight() - kBar
                                                               : host_.clientHeight();
            availW = s_.vScroll.max >= 1 || s_.forceScrollBars ? host_.clientWidth() - kBar
                                                               : host_.clientWidth();
        }
        placeHorizontally(availW, relH, centreOnArea);
        placeVertically(availH, relV, centreOnArea);
        host_.drawView(image);
        if (zoomChanged) host_.raiseZoomChange();
        host_.refreshMouseCursor();
        s_.forceRealign = false;
    }
    host_.refreshMenuChecks();
    s_.laidOutOnce = true;
    s_.scrollEventsArmed = true;
}

// ---------------------------------------------------------------------------
// Zoom members

void Layout::SetZoomModeMember(int32_t mode) {
    if (s_.zoomMode == mode) return;
    s_.zoomMode = mode;
    UpdateLayout(0);
}

void Layout::SetZoomMode(int32_t mode) {
    if (mode < Zoom100 || mode > ZoomToControl) return;
    if (mode != s_.zoomMode && mode != ZoomCustom) SetZoomModeMember(mode);
    s_.zoomMode = mode;
    host_.refreshMenuChecks();
}

void Layout::SetZoom(double percent) {
    if (!(percent > 0) || percent / 100.0 > s_.maxZoom) return;
    s_.zoomMode = ZoomCustom;
    s_.zoom = percent / 100.0;
    UpdateLayout(0);
}

void Layout::SetZoomValue(double zoom) {
    if (!(zoom > 0)) return;
    if (hasImage() && zoom > s_.maxZoom) zoom = s_.maxZoom;
    if (zoom == s_.zoom) return;
    s_.zoom = zoom;
    s_.zoomMode = ZoomCustom;
    if (hasImage()) UpdateLayout(0);
}

void Layout::ZoomIN() {
    if (!hasImage()) return;
    const double z = s_.zoom + s_.zoomStep / 100.0;
    if (z > s_.maxZoom) return;
    s_.zoomMode = ZoomCustom;
    s_.zoom = z;
    UpdateLayout(0);
}

void Layout::ZoomOUT() {
    if (!hasImage()) return;
    const double z = s_.zoom - s_.zoomStep / 100.0;
    if (!(z > 0.001)) return;
    s_.zoomMode = ZoomCustom;
    s_.zoom = z;
    UpdateLayout(0);
}

int32_t Layout::ZoomArea(int32_t left, int32_t top, int32_t width, int32_t height) {
    s_.zoomArea = {left, top, width, height};
    if (width <= 0 || height <= 0) {
        s_.zoomAreaStatus = kInvalidParameter;
        return kInvalidParameter;
    }
    s_.zoomMode = ZoomFitArea;
    UpdateLayout(0);
    s_.zoomAreaStatus = s_.status;
    return s_.status;
}

void Layout::SetImageAlignment(int32_t value) {
    if (value == s_.imageAlignment) return;
    s_.resetHorizontal = s_.resetVertical = true;
    s_.imageAlignment = value;
    if (hasImage()) {
        ReadImageMetrics(s_.currentImage);
        UpdateLayout(0);
    }
}

void Layout::SetImagePosition(int32_t value) {
    if (value == s_.imagePosition) return;
    s_.imagePosition = value;
    if (hasImage()) {
        ReadImageMetrics(s_.currentImage);
        UpdateLayout(0);
    }
}

void Layout::SetScrollBars(bool value) {
    if (value == s_.scrollBars) return;
    s_.scrollBars = value;
    if (!value) s_.forceScrollBars = false;
    UpdateLayout(0);
}

void Layout::SetForceScrollBars(bool value) {
    if (value == s_.forceScrollBars) return;
    s_.forceScrollBars = value;
    if (value) s_.scrollBars = true;
    UpdateLayout(0);
}

// ---------------------------------------------------------------------------
// Coordinates

void Layout::CoordObjectToImage(int32_t objectX, int32_t objectY, int32_t& imageX, int32_t& imageY) const {
    if (s_.zoom == 0) return;
    imageY = roundEven((static_cast<double>(objectY) - s_.offsetTop) / s_.zoom * s_.aspectCorrection);
    imageX = roundEven((static_cast<double>(objectX) - s_.offsetLeft) / s_.zoom);
}

void Layout::CoordImageToObject(int32_t imageX, int32_t imageY, int32_t& objectX, int32_t& objectY) const {
    if (s_.aspectCorrection != 0) objectY = roundEvenPlus(imageY * s_.zoom / s_.aspectCorrection, s_.offsetTop);
    objectX = roundEvenPlus(imageX * s_.zoom, s_.offsetLeft);
}

float Layout::GetWidthMM() const {
    return s_.horizontalResolution > 0 ? static_cast<float>(s_.imageWidth / double{s_.horizontalResolution} * 25.4)
                                       : 0.0f;
}

float Layout::GetHeightMM() const {
    return s_.verticalResolution > 0 ? static_cast<float>(s_.imageHeight / double{s_.verticalResolution} * 25.4)
                                     : 0.0f;
}

void Layout::GetDisplayedAreaMM(float& left, float& top, float& width, float& height) const {
    const AreaRect& a = s_.displayedArea;
    // Each value becomes a Single and is divided in single precision; the
    // scaling to millimetres is in double, rounded once to the Single output.
    auto millimetres = [](int32_t pixels, float dpi) {
        return static_cast<float>(double{static_cast<float>(pixels) / dpi} * 25.4);
    };
    if (s_.horizontalResolution > 0) {
        left = millimetres(a.left, s_.horizontalResolution);
        width = millimetres(a.width, s_.horizontalResolution);
    }
    if (s_.verticalResolution > 0) {
        top = millimetres(a.top, s_.verticalResolution);
        height = millimetres(a.height, s_.verticalResolution);
    }
}

}  // namespace orrery::viewer
