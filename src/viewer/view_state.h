// The viewer state of one control: zoom, layout, scroll bars and painting
// fields, as the viewing engine reads and writes them.
#pragma once
#include <cstdint>
#include <vector>

#include "orrery/mouse_modes.h"

namespace orrery::viewer {

enum ViewerZoomMode : int32_t {
    Zoom100 = 1,
    ZoomFitToControl = 2,
    ZoomWidthControl = 3,
    ZoomCustom = 4,
    ZoomHeightControl = 5,
    ZoomToControl = 6,
    // Internal: fit `zoomArea` (ZoomArea) and fit the selection rectangle (ZoomRect).
    ZoomFitArea = 7,
    ZoomFitRect = 10,
};

// ViewerImageAlignment and ViewerImagePosition share their values.
enum ViewerPlacement : int32_t {
    MiddleLeft = 0,
    MiddleRight = 1,
    MiddleCenter = 2,
    TopLeft = 4,
    TopRight = 5,
    TopCenter = 6,
    BottomLeft = 7,
    BottomRight = 8,
    BottomCenter = 9,
};

enum ViewerQuality : int32_t {
    ViewerQualityLow = 0,
    ViewerQualityBilinear = 1,
    ViewerQualityBicubic = 2,
    ViewerQualityBilinearHQ = 3,
    ViewerQualityBicubicHQ = 4,
};

enum DocumentType : int32_t { DocumentTypeNone = 0, DocumentTypeImage = 1, DocumentTypePDF = 2 };

struct ScrollBarState {
    int32_t min = 0;
    int32_t max = 0;
    int32_t value = 0;  // 16-bit positions: 0..32767
    int16_t smallChange = 1;
    int16_t largeChange = 50;
    bool enabled = false;
    bool visible = false;
};

struct AreaRect {
    int32_t left = 0, top = 0, width = 0, height = 0;
    friend bool operator==(const AreaRect&, const AreaRect&) = default;
};

using orrery::ViewerMouseMode;
using orrery::ViewerMouseWheelMode;
using enum orrery::ViewerMouseMode;
using enum orrery::ViewerMouseWheelMode;

// The part of the selection rectangle under the pointer.
enum RectGrip : int32_t {
    GripNone = 0,
    GripTopLeft = 1,
    GripTopRight = 2,
    GripBottomLeft = 3,
    GripBottomRight = 4,
    GripLeft = 5,
    GripRight = 6,
    GripBottom = 7,
    GripTop = 8,
    GripInside = 9,
};

struct ViewState {
    // The host's switches.
    bool silentMode = false;        // no message boxes
    bool lockControl = false;       // layouts run, nothing is painted
    bool disableAutoFocus = false;  // painting never moves the focus
    bool imageForceTemporaryMode = false;  // files are read from a temporary copy
    int32_t mousePointer = 0;       // the host's pointer (MousePointer), 0 the mode's
    // Zoom and layout.
    int32_t zoomMode = Zoom100;
    double zoom = 1.0;
    double previousZoom = 1.0;
    double maxZoom = 1.0;
    int32_t zoomStep = 10;
    int32_t imageWidth = 0;
    int32_t imageHeight = 0;
    float horizontalResolution = 0;
    float verticalResolution = 0;
    bool skipImageResolution = false;
    double aspectCorrection = 1.0;
    int32_t displayWidth = 0;
    int32_t displayHeight = 0;
    int32_t offsetLeft = 0;
    int32_t offsetTop = 0;
    AreaRect displayedArea;
    int32_t imageAlignment = MiddleCenter;
    int32_t imagePosition = MiddleCenter;
    bool keepImagePosition = false;
    bool scrollBars = true;
    bool forceScrollBars = false;
    AreaRect zoomArea;
    int32_t zoomAreaStatus = 0;
    bool resetHorizontal = true;
    bool resetVertical = true;
    bool forceRealign = true;
    bool laidOutOnce = false;
    bool pageTransition = false;
    bool scrollEventsArmed = true;
    bool drawFailed = false;
    int32_t status = 0;
    int32_t currentImage = 0;

    // Scroll bars.
    ScrollBarState hScroll;
    ScrollBarState vScroll;
    bool cornerVisible = false;

    // Painting.
    int32_t viewerQuality = ViewerQualityBicubicHQ;
    bool viewerQualityAuto = false;
    bool highQualityPass = false;
    float gamma = 1.0f;
    uint32_t imageMaskColor = 0x00010000;
    bool optimizeDrawingSpeed = false;
    bool scrollOptimization = false;
    bool forcePictureMode = false;
    int32_t workingImage = 0;
    int32_t workingFrame = 0;  // the page the working copy was made from
    int32_t lastDrawnImage = 0;

    // Scrolling and the wheel.
    bool enableMouseWheel = true;
    int32_t mouseWheelMode = MouseWheelZoom;
    bool wheelHooked = false;
    bool keyScrollGuard = false;  // a key went to a scroll bar: the next change is undone
    int32_t savedHValue = 0;
    int32_t savedVValue = 0;

    // Mouse modes and the selection rectangle.
    int32_t mouseMode = MouseModePan;
    int32_t mouseButtonForMouseMode = 1;
    bool rectIsEditable = true;
    bool continuousViewMode = true;
    int32_t rectBorderStyle = 1;
    int32_t rectDrawMode = 13;
    bool rectDrawn = false;
    AreaRect rectImage;  // the rectangle in image pixels, as last read
    bool panning = false;
    bool editingRect = false;
    bool drawingRect = false;
    bool startOutsideX = true;
    bool startOutsideY = true;
    int32_t grip = GripNone;
    int32_t lastMouseX = 0;
    int32_t lastMouseY = 0;
    int32_t mouseImageX = 0;
    int32_t mouseImageY = 0;
    bool pageTurnedThisDrag = false;
    bool customPointer = false;  // the host's MousePointer overrides the mode cursors

    // Frames, pages and animation.
    int32_t pageCount = 0;
    int32_t currentPage = 0;  // 1-based; 0 when nothing is shown
    int32_t documentType = DocumentTypeNone;
    bool animatedGif = false;    // a GIF of two or more frames
    bool animateGif = false;     // AnimateGIF: play animations
    bool playing = false;
    int32_t nextAnimFrame = 1;   // 1-based frame of the next animation step
    std::vector<int32_t> frameDelaysMs;
    int32_t animTimer = 0;       // the armed timer's identifier, 0 when none
};

}  // namespace orrery::viewer
