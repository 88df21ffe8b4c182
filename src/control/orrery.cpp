#include "control/orrery.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "control/control_class.h"
#include "control/events.h"
#include "control/member_rows.h"
#include "control/persistence.h"
#include "imaging/image_info.h"
#include "imaging/image_table.h"
#include "imaging/loaders.h"
#include "platform/kernel/files.h"
#include "viewer/input_flags.h"

namespace orrery::control {

using namespace automation;
namespace modMain = imaging::modMain;

namespace {

using Table = OrreryTable;

// The members of the control's own families, with their fixed identifiers.
std::vector<Table::Row> shellRows() {
    return {
            // Shell.
            Table::property("MousePointer", 0x68030031, &Orrery::MousePointer, &Orrery::setMousePointer),
            Table::property("BorderStyle", 0x68030030, &Orrery::BorderStyle, &Orrery::setBorderStyle),
            Table::property("BackColor", 0x6803002F, &Orrery::BackColor, &Orrery::setBackColor),
            Table::method("SetBackGroundColor", 0x60030070, &Orrery::SetBackGroundColor, {arg("nRGBColor")}),
            Table::property("Appearance", 0x6803000C, &Orrery::Appearance, &Orrery::setAppearance),
            Table::property("BackStyle", 0x6803000B, &Orrery::BackStyle, &Orrery::setBackStyle),
            Table::property("ClipControls", 0x68030023, &Orrery::ClipControls, &Orrery::setClipControls),
            Table::property("Enabled", 0x68030011, &Orrery::Enabled, &Orrery::setEnabled),
            Table::property("LockControl", 0x68030016, &Orrery::LockControl, &Orrery::setLockControl),
            Table::property("SilentMode", 0x6803001C, &Orrery::SilentMode, &Orrery::setSilentMode),
            Table::method("GetStat", 0x600300B9, &Orrery::GetStat),
            Table::method("GetVersion", 0x600300A7, &Orrery::GetVersion),
            Table::readOnly("hwnd", 0x68030017, &Orrery::hwnd),
            Table::readOnly("hdc", 0x6803002E, &Orrery::hdc),
            Table::method("Refresh", 0x600300B2, &Orrery::Refresh),
            Table::method("SetMouseIcon", 0x600300BA, {arg("sIconPath", VT_BSTR)}, VT_EMPTY,
                          [](Orrery& o, Call& c) {
                              if (!o.SetMouseIcon(c.str(0))) c.fail(E_FAIL, "Cannot load the cursor file " + c.str(0));
                          }),
            // Life cycle.
            Table::method("Terminate", 0x60030032, &Orrery::Terminate),
            Table::method("CloseImage", 0x60030039, &Orrery::CloseImage),
            Table::method("CloseImageEx", 0x6003003A, &Orrery::CloseImageEx),
            Table::method("ImageClosed", 0x6003003B, &Orrery::ImageClosed),
            Table::method("Clear", 0x600300A8, &Orrery::Clear),
            // Zoom and layout.
            Table::property("ZOOM", 0x6803002A, &Orrery::ZOOM, &Orrery::setZOOM),
            Table::property("ZoomMode", 0x68030015, &Orrery::ZoomMode, &Orrery::setZoomMode),
            Table::property("ZoomStep", 0x68030025, &Orrery::ZoomStep, &Orrery::setZoomStep),
            Table::method("ZoomIN", 0x6003005B, &Orrery::ZoomIN),
            Table::method("ZoomOUT", 0x6003005C, &Orrery::ZoomOUT),
            Table::method("SetZoom", 0x6003005D, &Orrery::SetZoom, {arg("nZoomPercent")}),
            Table::method("SetZoom100", 0x6003005F, &Orrery::SetZoom100),
            Table::method("SetZoomFitControl", 0x60030060, &Orrery::SetZoomFitControl),
            Table::method("SetZoomWidthControl", 0x60030061, &Orrery::SetZoomWidthControl),
            Table::method("SetZoomHeightControl", 0x60030062, &Orrery::SetZoomHeightControl),
            Table::method("SetZoomControl", 0x60030063, &Orrery::SetZoomControl),
            Table::method("GetMaxZoom", 0x600300A5, &Orrery::GetMaxZoom),
            Table::method("ZoomArea", 0x6003007B, &Orrery::ZoomArea,
                          {arg("nLeft"), arg("nTop"), arg("nWidth"), arg("nHeight")}),
            Table::method("GetDisplayedArea", 0x6003003D, &Orrery::GetDisplayedArea,
                          {refArg("nLeft"), refArg("nTop"), refArg("nWidth"), refArg("nHeight")}),
            Table::method("GetDisplayedAreaMM", 0x6003003E, &Orrery::GetDisplayedAreaMM,
                          {refArg("nLeft"), refArg("nTop"), refArg("nWidth"), refArg("nHeight")}),
            Table::method("GetImageTop", 0x600300A3, &Orrery::GetImageTop),
            Table::method("GetImageLeft", 0x600300A4, &Orrery::GetImageLeft),
            Table::method("CoordObjectToImage", 0x600300B0, &Orrery::CoordObjectToImage,
                          {arg("nObjectX"), arg("nObjectY"), refArg("nImageX"), refArg("nImageY")}),
            Table::method("CoordImageToObject", 0x600300B1, &Orrery::CoordImageToObject,
                          {arg("nImageX"), arg("nImageY"), refArg("nObjectX"), refArg("nObjectY")}),
            Table::property("ImageAlignment", 0x6803000F, &Orrery::ImageAlignment, &Orrery::setImageAlignment),
            Table::property("ImagePosition", 0x6803000E, &Orrery::ImagePosition, &Orrery::setImagePosition),
            Table::property("KeepImagePosition", 0x68030004, &Orrery::KeepImagePosition,
                            &Orrery::setKeepImagePosition),
            Table::property("SkipImageResolution", 0x68030018, &Orrery::SkipImageResolution,
                            &Orrery::setSkipImageResolution),
            // Rendering.
            Table::method("Redraw", 0x60030068, &Orrery::Redraw),
            Table::property("ViewerQuality", 0x68030009, &Orrery::ViewerQuality, &Orrery::setViewerQuality),
            Table::property("ViewerQualityAuto", 0x68030008, &Orrery::ViewerQualityAuto,
                            &Orrery::setViewerQualityAuto),
            Table::property("OptimizeDrawingSpeed", 0x680300DB, &Orrery::OptimizeDrawingSpeed,
                            &Orrery::setOptimizeDrawingSpeed),
            Table::property("ImageMaskColor", 0x680300CA, &Orrery::ImageMaskColor, &Orrery::setImageMaskColor),
            Table::property("gamma", 0x680300C9, &Orrery::gamma, &Orrery::setGamma),
            Table::property("ForcePictureMode", 0x68030005, &Orrery::ForcePictureMode, &Orrery::setForcePictureMode),
            Table::property("ScrollOptimization", 0x6803000A, &Orrery::ScrollOptimization,
                            &Orrery::setScrollOptimization),
            // Scrolling.
            Table::property("ScrollBars", 0x6803002D, &Orrery::ScrollBars, &Orrery::setScrollBars),
            Table::property("ForceScrollBars", 0x6803002C, &Orrery::ForceScrollBars, &Orrery::setForceScrollBars),
            Table::property("HScrollVisible", 0x680300D9, &Orrery::HScrollVisible, &Orrery::setScrollVisibleIgnored),
            Table::property("VScrollVisible", 0x680300DA, &Orrery::VScrollVisible, &Orrery::setScrollVisibleIgnored),
            Table::property("ScrollSmallChange", 0x68030022, &Orrery::ScrollSmallChange,
                            &Orrery::setScrollSmallChange),
            Table::property("ScrollLargeChange", 0x68030021, &Orrery::ScrollLargeChange,
                            &Orrery::setScrollLargeChange),
            Table::method("GetHScrollBarMaxPosition", 0x60030073, &Orrery::GetHScrollBarMaxPosition),
            Table::method("GetVScrollBarMaxPosition", 0x60030074, &Orrery::GetVScrollBarMaxPosition),
            Table::method("GetHScrollBarPosition", 0x60030075, &Orrery::GetHScrollBarPosition),
            Table::method("GetVScrollBarPosition", 0x60030076, &Orrery::GetVScrollBarPosition),
            Table::method("SetHScrollBarPosition", 0x60030077, &Orrery::SetHScrollBarPosition, {arg("nNewHPosition")}),
            Table::method("SetVScrollBarPosition", 0x60030078, &Orrery::SetVScrollBarPosition, {arg("nNewVPosition")}),
            Table::method("SetHVScrollBarPosition", 0x60030079, &Orrery::SetHVScrollBarPosition,
                          {arg("nNewHPosition"), arg("nNewVPosition")}),
            // Image store, files and information.
            Table::method("GetNativeImage", 0x60030071, &Orrery::GetNativeImage),
            Table::method("SetNativeImage", 0x60030072, &Orrery::SetNativeImage, {arg("nImageID")}),
            Table::method("DisplayFromQuillonImage", 0x60030057, &Orrery::DisplayFromQuillonImage, {arg("nImageID")}),
            Table::method("DisplayFromFile", 0x60030054, &Orrery::DisplayFromFile, {arg("sFilePath")}),
            Table::method("DisplayFromFileICM", 0x60030055, &Orrery::DisplayFromFileICM, {arg("sFilePath")}),
            Table::property("ImageForceTemporaryMode", 0x68030019, &Orrery::ImageForceTemporaryMode,
                            &Orrery::setImageForceTemporaryMode),
            Table::property("ImageWidth", 0x68030029, &Orrery::ImageWidth, &Orrery::setIgnoredLong),
            Table::property("ImageHeight", 0x68030028, &Orrery::ImageHeight, &Orrery::setIgnoredLong),
            Table::property("HorizontalResolution", 0x6803001F, &Orrery::HorizontalResolution,
                            &Orrery::setIgnoredSingle),
            Table::property("VerticalResolution", 0x68030020, &Orrery::VerticalResolution, &Orrery::setIgnoredSingle),
            Table::method("GetWidthMM", 0x600300B6, &Orrery::GetWidthMM),
            Table::method("GetHeightMM", 0x600300B5, &Orrery::GetHeightMM),
            Table::method("GetDocumentType", 0x600300D4, &Orrery::GetDocumentType),
            Table::method("GetImageFormat", 0x600300D6, &Orrery::GetImageFormat),
    };
}

}  // namespace

// The members built so far: the control's own and each family's.
std::vector<OrreryTable::Row> memberRows() {
    std::vector<Table::Row> rows = shellRows();
    for (auto family : {frameAndRotationRows, mouseAndSelectionRows, memoryAndClipboardRows, menuAndEventRows,
                        pdfRows})
        for (Table::Row& row : family()) rows.push_back(std::move(row));
    return rows;
}

// ---------------------------------------------------------------------------
// Construction and dispatch

Orrery::Orrery(window::WindowBackend& backend) : Orrery(backend, orreryClass()) {}

Orrery::Orrery(window::WindowBackend& backend, const ControlClass& cls)
    : class_(&cls),
      window_(backend),
      layout_(s_, *this),
      renderer_(s_, *this),
      frames_(s_, *this, layout_, renderer_),
      selection_(s_, layout_, window_),
      mouse_(s_, layout_, selection_, frames_, renderer_, window_, *this),
      events_(cls.events()),
      notifier_(&cls.table().description()),
      pdf_(s_, *this, pdfSettings_) {
    window_.setOwner(this);
    renderer_.updateScrollBarVisibility = [this] {
        layout_.UpdateScrollBarVisibility();
        syncScrollBarsToWindow();
    };
    initialise();
}

Orrery::~Orrery() {
    Terminate();
    window_.setOwner(nullptr);
}

const TypeDescription& Orrery::interfaceDescription() { return orreryClass().table().description(); }
std::vector<std::string> Orrery::interfaceProblems() { return orreryClass().table().problems(); }
const TypeDescription* Orrery::typeDescription() const { return &class_->table().description(); }

HRESULT Orrery::GetIDsOfNames(std::string_view name, DISPID& id) { return class_->table().idOfName(name, id); }

HRESULT Orrery::Invoke(DISPID id, uint16_t flags, std::span<Variant> args, Variant* result, ExcepInfo* excepInfo,
                       uint32_t* argError) {
    return class_->table().invoke(*this, id, flags, args, result, excepInfo, argError);
}

void Orrery::raise(int32_t eventId) { events_.raise(eventId); }
void Orrery::raiseBeforeZoomChange() { raise(EventId::BeforeZoomChange); }
void Orrery::raiseZoomChange() { raise(EventId::ZoomChange); }
void Orrery::raisePictureChange() { raise(EventId::PictureChange); }
void Orrery::raisePictureChanged() { raise(EventId::PictureChanged); }
void Orrery::raisePageChange() { raise(EventId::PageChange); }
void Orrery::raiseDisplay() { raise(EventId::Display); }

void Orrery::notify(const char* propertyName) { notifier_.changed(propertyName); }

void Orrery::showCriticalMessage(const std::string& text) { window_.messageBox(text, window::vbCritical); }

std::string Orrery::formatName(int32_t image) const {
    const imaging::ImageEntry* e = modMain::FindEntry(image);
    return e ? e->FormatName : std::string();
}

// Initialise: defaults, the temporary file names and a reference on the
// thread's imaging session. A fault leaves the control usable with what was
// set up, and is reported.
void Orrery::initialise() {
    try {
        initialiseSteps();
    } catch (const std::exception& fault) {
        s_.status = static_cast<int32_t>(gdiplus::Status::GenericError);
        if (!silentMode_) window_.messageBox(std::string("Init Error: ") + fault.what(), window::vbOKOnly);
    }
}

void Orrery::initialiseSteps() {
    enableMenuItem(FrameMenuItem::PlayGif, false);
    enableMenuItem(FrameMenuItem::StopGifAnimation, false);
    resetViewer(KeepGeometry::No, KeepPageCount::No);
    s_.status = 0;
    // Without a private temporary folder there are no temporary copies: the
    // empty names make every copy fail, and the original files are read.
    const std::string folder = imaging::GetPrivateTempFolder();
    const std::string leaf = std::to_string(std::abs(static_cast<int64_t>(window_.hwnd())));
    imageTempFile_ = folder.empty() ? std::string() : folder + leaf;
    pdf_.setTemporaryPath(folder.empty() ? std::string() : folder + leaf + ".pdf");
    imageFromTempFile_ = false;
    s_.hScroll.smallChange = s_.vScroll.smallChange = 1;
    s_.hScroll.largeChange = s_.vScroll.largeChange = 50;
    if (!modMain::StartGdiPlus() && !silentMode_ && !modMain::LastSessionError().empty())
        window_.messageBox(modMain::LastSessionError(), window::vbOKOnly);
}

// ---------------------------------------------------------------------------
// Window

void Orrery::onPaint() { raise(EventId::PaintControl); }

void Orrery::onResize() {
    if (window_.clientWidth() > 0 && window_.clientHeight() > 0) window_.placeScrollBars();
    // The zoom limit follows the client size: the layout of the new size
    // must not keep a zoom whose scroll range no longer fits 16 bits.
    layout_.ComputeMaxZoom();
    layout_.UpdateLayout(0);
    syncScrollBarsToWindow();
    layout_.ComputeMaxZoom();
    raise(EventId::ResizeControl);
}

void Orrery::onScrollValueChanged(window::ScrollBarId bar, int32_t value, window::ScrollChange) {
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
    renderer_.DrawView(0, false);
    raise(EventId::ScrollControl);
}

void Orrery::onTimer(uint32_t id) {
    if (id == viewer::kQualityTimerId) {
        renderer_.OnQualityTimer();
    } else if (id == viewer::kAnimationTimerId) {
        // One-shot: each step arms the next.
        window_.killTimer(id);
        frames_.OnAnimationTimer();
    }
}

// ---------------------------------------------------------------------------
// Frames, pages and animation; rotation

// Window timers fire no sooner than 10 ms.
void Orrery::startAnimationTimer(uint32_t delayMs) {
    window_.setTimer(viewer::kAnimationTimerId, std::max<uint32_t>(delayMs, 10));
}

void Orrery::killAnimationTimer() { window_.killTimer(viewer::kAnimationTimerId); }

void Orrery::setAnimateGIF(bool value) {
    frames_.SetAnimateGif(value);
    notify("AnimateGIF");
}

int32_t Orrery::rotateFlip(RotateFlipType type) {
    const int32_t status = viewer::RotateFlip(s_, layout_, renderer_, type);
    Variant rotation(static_cast<int32_t>(type));
    events_.raise(EventId::Rotation, std::span<Variant>(&rotation, 1));
    return status;
}

// The window's scroll bars show what the layout computed; writing them must
// not start repaints of their own.
void Orrery::syncScrollBarsToWindow() {
    syncScrollRangesToWindow();
    for (auto [id, bar] : {std::pair{window::ScrollBarId::Horizontal, &s_.hScroll},
                           std::pair{window::ScrollBarId::Vertical, &s_.vScroll}}) {
        window_.setScrollSmallChange(id, bar->smallChange);
        window_.setScrollLargeChange(id, bar->largeChange);
    }
}

// Range, position, enabled state and visibility; the steps stay as they are.
void Orrery::syncScrollRangesToWindow() {
    const bool armed = s_.scrollEventsArmed;
    s_.scrollEventsArmed = false;
    for (auto [id, bar] : {std::pair{window::ScrollBarId::Horizontal, &s_.hScroll},
                           std::pair{window::ScrollBarId::Vertical, &s_.vScroll}}) {
        window_.setScrollMax(id, bar->max);
        window_.setScrollValue(id, bar->value);
        window_.setScrollEnabled(id, bar->enabled);
        window_.setScrollVisible(id, bar->visible);
    }
    s_.scrollEventsArmed = armed;
}

// ---------------------------------------------------------------------------
// Shell

void Orrery::setMousePointer(int32_t value) {
    mousePointer_ = value;
    window_.setMousePointer(value);
    s_.customPointer = value != 0;
    if (!s_.customPointer) mouse_.ApplyModeCursor();
    notify("MousePointer");
}

void Orrery::setBorderStyle(int32_t value) {
    window_.setBorderStyle(static_cast<window::BorderStyle>(value != 0));
    notify("BorderStyle");
}

void Orrery::setAppearance(int32_t value) {
    window_.setAppearance(static_cast<window::Appearance>(value != 0));
    notify("Appearance");
}

void Orrery::setBackStyle(int32_t value) {
    window_.setBackStyle(static_cast<window::BackStyle>(value != 0));
    notify("BackStyle");
}

void Orrery::setBackColor(int32_t value) {
    window_.setBackColor(static_cast<uint32_t>(value));
    notify("BackColor");
}

void Orrery::SetBackGroundColor(int32_t nRGBColor) { window_.setBackColor(static_cast<uint32_t>(nRGBColor)); }

void Orrery::setClipControls(bool value) {
    window_.setClipControls(value);
    notify("ClipControls");
}

void Orrery::setEnabled(bool value) {
    enabled_ = value;
    window_.setEnabled(value);
    notify("Enabled");
}

void Orrery::setLockControl(bool value) {
    lockControl_ = value;
    notify("LockControl");
}

void Orrery::setSilentMode(bool value) {
    silentMode_ = value;
    notify("SilentMode");
}

void Orrery::Refresh() {
    viewer::FlagScope busy(viewer::threadInputFlags().busy);
    window_.refresh();
}

bool Orrery::SetMouseIcon(const std::string& sIconPath) {
    window_.setMousePointer(window::MousePointerCustom);
    mousePointer_ = window::MousePointerCustom;
    if (window_.loadMouseIcon(sIconPath) != gdiplus::Status::Ok) return false;
    s_.customPointer = true;
    return true;
}

void Orrery::Show() {
    layout_.UpdateScrollBarVisibility();
    syncScrollBarsToWindow();
    menu_.showZoomMode(s_.zoomMode);
    menu_.showMouseMode(s_.mouseMode);
    refreshQualityMenuChecks();
    selection_.ClearRect();
    if (mousePointer_ != 0) {
        s_.customPointer = true;
        window_.setMousePointer(mousePointer_);
    }
}

// ---------------------------------------------------------------------------
// Zoom and layout

void Orrery::setZOOM(double value) {
    layout_.SetZoomValue(value);
    notify("Zoom");
}

void Orrery::setZoomMode(int32_t value) {
    layout_.SetZoomMode(value);
    notify("ZoomMode");
}

void Orrery::setZoomStep(int32_t value) {
    if (value > 0) s_.zoomStep = value;
    notify("ZoomStep");
}

int32_t Orrery::ZoomIN() {
    layout_.ZoomIN();
    return s_.status;
}

int32_t Orrery::ZoomOUT() {
    layout_.ZoomOUT();
    return s_.status;
}

int32_t Orrery::SetZoom(float nZoomPercent) {
    layout_.SetZoom(nZoomPercent);
    return s_.status;
}

int32_t Orrery::SetZoom100() {
    layout_.SetZoomModeMember(viewer::Zoom100);
    return s_.status;
}

int32_t Orrery::SetZoomFitControl() {
    layout_.SetZoomModeMember(viewer::ZoomFitToControl);
    return s_.status;
}

int32_t Orrery::SetZoomWidthControl() {
    layout_.SetZoomModeMember(viewer::ZoomWidthControl);
    return s_.status;
}

int32_t Orrery::SetZoomHeightControl() {
    layout_.SetZoomModeMember(viewer::ZoomHeightControl);
    return s_.status;
}

int32_t Orrery::SetZoomControl() {
    layout_.SetZoomModeMember(viewer::ZoomToControl);
    return s_.status;
}

int32_t Orrery::ZoomArea(int32_t nLeft, int32_t nTop, int32_t nWidth, int32_t nHeight) {
    return layout_.ZoomArea(nLeft, nTop, nWidth, nHeight);
}

void Orrery::GetDisplayedArea(int32_t& nLeft, int32_t& nTop, int32_t& nWidth, int32_t& nHeight) const {
    nLeft = s_.displayedArea.left;
    nTop = s_.displayedArea.top;
    nWidth = s_.displayedArea.width;
    nHeight = s_.displayedArea.height;
}

void Orrery::GetDisplayedAreaMM(float& nLeft, float& nTop, float& nWidth, float& nHeight) const {
    layout_.GetDisplayedAreaMM(nLeft, nTop, nWidth, nHeight);
}

void Orrery::CoordObjectToImage(int32_t nObjectX, int32_t nObjectY, int32_t& nImageX, int32_t& nImageY) const {
    layout_.CoordObjectToImage(nObjectX, nObjectY, nImageX, nImageY);
}

void Orrery::CoordImageToObject(int32_t nImageX, int32_t nImageY, int32_t& nObjectX, int32_t& nObjectY) const {
    layout_.CoordImageToObject(nImageX, nImageY, nObjectX, nObjectY);
}

void Orrery::setImageAlignment(int32_t value) {
    if (value == s_.imageAlignment) return;
    layout_.SetImageAlignment(value);
    notify("ImageAlignment");
}

void Orrery::setImagePosition(int32_t value) {
    if (value == s_.imagePosition) return;
    layout_.SetImagePosition(value);
    notify("ImagePosition");
}

void Orrery::setKeepImagePosition(bool value) {
    s_.keepImagePosition = value;
    notify("KeepImagePosition");
}

void Orrery::setSkipImageResolution(bool value) {
    s_.skipImageResolution = value;
    notify("SkipImageResolution");
}

// ---------------------------------------------------------------------------
// Rendering

int32_t Orrery::Redraw() {
    if (s_.currentImage != 0) {
        renderer_.DiscardWorkingCopy();
        frames_.ReadCurrentImage();
        layout_.UpdateLayout(0);
    }
    return s_.status;
}

void Orrery::setViewerQuality(int32_t value) {
    s_.viewerQuality = value;
    notify("ViewerQuality");
    layout_.UpdateLayout(0);
}

void Orrery::setViewerQualityAuto(bool value) {
    s_.viewerQualityAuto = value;
    notify("ViewerQualityAuto");
    if (value) window_.setTimer(viewer::kQualityTimerId, viewer::kQualityTimerIntervalMs);
    else window_.killTimer(viewer::kQualityTimerId);
}

void Orrery::setOptimizeDrawingSpeed(bool value) {
    s_.optimizeDrawingSpeed = value;
    notify("OptimizeDrawingSpeed");
}

void Orrery::setImageMaskColor(int32_t value) {
    s_.imageMaskColor = static_cast<uint32_t>(value);
    notify("ImageMaskColor");
}

void Orrery::setGamma(float value) {
    s_.gamma = value;
    notify("Gamma");
}

void Orrery::setForcePictureMode(bool value) {
    s_.forcePictureMode = value;
    notify("ForcePictureMode");
}

void Orrery::setScrollOptimization(bool value) {
    s_.scrollOptimization = value;
    if (value) s_.optimizeDrawingSpeed = true;
}

// ---------------------------------------------------------------------------
// Scrolling

void Orrery::setScrollBars(bool value) {
    layout_.SetScrollBars(value);
    syncScrollBarsToWindow();
    notify("ScrollBars");
}

void Orrery::setForceScrollBars(bool value) {
    layout_.SetForceScrollBars(value);
    syncScrollBarsToWindow();
    notify("ForceScrollBars");
}

void Orrery::setScrollSmallChange(int16_t value) {
    if (value > 0) {
        s_.hScroll.smallChange = s_.vScroll.smallChange = value;
        syncScrollBarsToWindow();
    }
    notify("ScrollSmallChange");
}

void Orrery::setScrollLargeChange(int16_t value) {
    if (value > 0) {
        s_.hScroll.largeChange = s_.vScroll.largeChange = value;
        syncScrollBarsToWindow();
    }
    notify("ScrollLargeChange");
}

void Orrery::SetHScrollBarPosition(int32_t nNewHPosition) {
    s_.keyScrollGuard = false;
    s_.scrollEventsArmed = true;
    const int32_t value = std::clamp(nNewHPosition, 0, s_.hScroll.max);
    if (value != window_.scrollBar(window::ScrollBarId::Horizontal).value())
        window_.setScrollValue(window::ScrollBarId::Horizontal, value);
}

void Orrery::SetVScrollBarPosition(int32_t nNewVPosition) {
    s_.keyScrollGuard = false;
    s_.scrollEventsArmed = true;
    const int32_t value = std::clamp(nNewVPosition, 0, s_.vScroll.max);
    if (value != window_.scrollBar(window::ScrollBarId::Vertical).value())
        window_.setScrollValue(window::ScrollBarId::Vertical, value);
}

void Orrery::SetHVScrollBarPosition(int32_t nNewHPosition, int32_t nNewVPosition) {
    const bool wasLocked = lockControl_;
    lockControl_ = true;
    SetVScrollBarPosition(nNewVPosition);
    SetHScrollBarPosition(nNewHPosition);
    if (!wasLocked) {
        lockControl_ = false;
        renderer_.DrawView(0, false);
        raise(EventId::ScrollControl);
    }
    lockControl_ = wasLocked;
}

// ---------------------------------------------------------------------------
// Life cycle

// Deletes the temporary copy the displayed image was loaded from, if any.
void Orrery::discardImageTempCopy() {
    if (!imageFromTempFile_) return;
    kernel::removeQuietly(imageTempFile_);
    imageFromTempFile_ = false;
}

void Orrery::releaseDisplayedImage() {
    if (s_.currentImage != 0) {
        const gdiplus::Status released = modMain::ReleaseImage(s_.currentImage);
        s_.status = static_cast<int32_t>(released);
        discardImageTempCopy();
    }
    s_.currentImage = 0;
    renderer_.DiscardWorkingCopy();
}

void Orrery::resetViewer(KeepGeometry keepGeometry, KeepPageCount keepPageCount) {
    frames_.ResetForNewDocument(keepPageCount == KeepPageCount::Yes);
    if (keepGeometry == KeepGeometry::No) {
        s_.aspectCorrection = 1.0;
        s_.imageWidth = s_.imageHeight = 0;
        s_.horizontalResolution = s_.verticalResolution = 0;
        s_.offsetLeft = s_.offsetTop = 0;
        s_.displayWidth = s_.displayHeight = 0;
        s_.displayedArea = {};
    }
    s_.status = 0;
    s_.laidOutOnce = false;
    s_.scrollEventsArmed = false;
    if (!s_.keepImagePosition) {
        if (!s_.pageTransition) s_.hScroll.value = s_.hScroll.max = 0;
        s_.vScroll.value = s_.vScroll.max = 0;
    }
    for (viewer::ScrollBarState* bar : {&s_.hScroll, &s_.vScroll}) {
        bar->enabled = bar->max >= 1;
        bar->visible = s_.forceScrollBars;
    }
    s_.cornerVisible = false;
    syncScrollRangesToWindow();
    if (!s_.customPointer) window_.setMousePointer(0);
    s_.maxZoom = 1.0;
    s_.resetHorizontal = s_.resetVertical = true;
    s_.drawFailed = false;
    s_.lastDrawnImage = 0;
    if (imageFromTempFile_) releaseDisplayedImage();
    renderer_.DiscardWorkingCopy();
    s_.currentImage = 0;
}

void Orrery::Terminate() {
    if (terminated_) return;
    removeWheelHook();
    viewer::threadInputFlags().clearForTerminate();
    if (s_.documentType == DocumentTypePDF) releaseDisplayedImage();
    closePdf();
    window_.killTimer(viewer::kQualityTimerId);
    killAnimationTimer();
    s_.playing = false;
    renderer_.DiscardWorkingCopy();
    modMain::ShutdownGdiPlus();
    s_.currentImage = 0;
    terminated_ = true;
}

void Orrery::CloseImage() {
    CloseImageEx();
    Clear();
}

void Orrery::CloseImageEx() {
    releaseDisplayedImage();
    closePdf();
    resetViewer(KeepGeometry::No, KeepPageCount::No);
}

void Orrery::ImageClosed() { resetViewer(KeepGeometry::Yes, KeepPageCount::No); }

void Orrery::Clear() {
    if (lockControl_) return;
    window_.setPersistentDrawing(window::PersistentDrawing::On);
    window_.setPicture(nullptr);
    window_.setMaskPicture(nullptr);
    window_.clearSurface();
    window_.refresh();
}

// ---------------------------------------------------------------------------
// Persistence

void Orrery::InitProperties() { Persistence::InitProperties(*this); }
HRESULT Orrery::WriteProperties(PropertyBag& bag) const { return Persistence::WriteProperties(*this, bag); }
HRESULT Orrery::ReadProperties(const PropertyBag& bag) { return Persistence::ReadProperties(*this, bag); }

// ---------------------------------------------------------------------------
// Image store and files

int32_t Orrery::SetNativeImage(int32_t nImageID) {
    // The page image of the open PDF shown again keeps its page.
    const bool shownPdfPage = s_.documentType == DocumentTypePDF && nImageID == s_.currentImage;
    if (!shownPdfPage) {
        CloseImageEx();
        s_.documentType = DocumentTypeImage;
    }
    if (nImageID == 0) return s_.status = static_cast<int32_t>(gdiplus::Status::InvalidParameter);
    s_.currentImage = nImageID;
    int32_t page = 1;
    if (shownPdfPage) page = s_.currentPage;
    else if (modMain::IsMultiPageTiff(nImageID)) page = modMain::GetCurrentTiffPage(nImageID) + 1;
    else if (modMain::IsMultiFrameGif(nImageID)) page = modMain::GetCurrentGifFrame(nImageID) + 1;
    showNewImage(page);
    return s_.status;
}

void Orrery::showNewImage(int32_t page) {
    frames_.SetCurrentPageOfNewImage(page);
    s_.laidOutOnce = false;
    s_.resetHorizontal = s_.resetVertical = true;
    frames_.ReadCurrentImage();
    layout_.UpdateLayout(0);
    syncScrollBarsToWindow();
}

int32_t Orrery::DisplayFromFile(std::string sFilePath) { return displayFromFile(std::move(sFilePath), false); }
int32_t Orrery::DisplayFromFileICM(std::string sFilePath) { return displayFromFile(std::move(sFilePath), true); }

int32_t Orrery::displayFromFile(std::string path, bool useIcm) {
    CloseImageEx();
    const imaging::OpenFileDialog dialog = [this] { window::OpenFileRequest request;
        request.title = "Open File";
        return window_.openFileDialog(request);
    };
    if (imaging::Trim(path).empty()) path = dialog();
    path = imaging::NormalizePath(path);
    if (pdf::HasPdfExtension(path)) return DisplayFromPdfFile(path, {});
    std::string loadPath = path;
    if (imageForceTemporaryMode_ && !imaging::FileExistsPath(path).empty()) {
        if (kernel::copyToTempFile(path, imageTempFile_)) {
            loadPath = imageTempFile_;
            imageFromTempFile_ = true;
        }
    }
    int32_t id = 0;
    int32_t status = imaging::LoadImageFromFile(id, loadPath, useIcm, false, dialog, false);
    if (status == 0) {
        s_.documentType = DocumentTypeImage;
        s_.currentImage = id;
        s_.status = 0;
        showNewImage(1);
        return s_.status;
    }
    discardImageTempCopy();
    // No decoder read the file: it may be a PDF without the extension.
    if (status == 13 || status == 9 || status == 3) return s_.status = displayAsPdfSilently(path);
    return s_.status = status;
}

void Orrery::setImageForceTemporaryMode(bool value) {
    imageForceTemporaryMode_ = value;
    notify("ImageForceTemporaryMode");
}

std::string Orrery::GetImageFormat() const {
    if (s_.currentImage == 0) return {};
    if (const imaging::ImageEntry* e = modMain::FindEntry(s_.currentImage)) return e->FormatName;
    const gdiplus::Image* image = modMain::GetGdiImage(s_.currentImage);
    return image ? imaging::FormatNameFromRawFormat(image->rawFormat()) : std::string();
}

}  // namespace orrery::control
