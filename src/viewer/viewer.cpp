#include "viewer/viewer.h"

#include <algorithm>
#include <array>
#include <cstdlib>

#include "imaging/image_info.h"
#include "imaging/image_table.h"
#include "imaging/loaders.h"
#include "imaging/memory_sources.h"
#include "orrery/quillon_status.h"
#include "platform/kernel/files.h"
#include "viewer/input_flags.h"
#include "viewer/rotation.h"

namespace orrery::viewer {

namespace modMain = imaging::modMain;

namespace {

int32_t statusValue(QuillonStatus status) { return static_cast<int32_t>(status); }

}  // namespace

Viewer::Viewer(window::WindowBackend& backend, ViewerSink& sink)
    : sink_(sink),
      window_(backend),
      layout_(s_, *this),
      renderer_(s_, *this),
      frames_(s_, *this, layout_, renderer_),
      selection_(s_, layout_, window_),
      mouse_(s_, layout_, selection_, frames_, renderer_, window_, *this),
      pdf_(s_, *this, pdfSettings_) {
    window_.setOwner(this);
}

Viewer::~Viewer() { window_.setOwner(nullptr); }

void Viewer::listenToWindow(bool listen) { window_.setOwner(listen ? this : nullptr); }

// ---------------------------------------------------------------------------
// Life cycle

void Viewer::initialise() {
    try {
        initialiseSteps();
    } catch (const std::exception& fault) {
        s_.status = statusValue(QuillonStatus::GenericError);
        if (!s_.silentMode) sink_.showMessage(std::string("Init Error: ") + fault.what(), window::vbOKOnly);
    }
}

void Viewer::initialiseSteps() {
    enableMenuItem(FrameMenuItem::PlayGif, false);
    enableMenuItem(FrameMenuItem::StopGifAnimation, false);
    resetViewer(ResetFor::NewDocument);
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
    if (!modMain::StartGdiPlus() && !s_.silentMode && !modMain::LastSessionError().empty())
        sink_.showMessage(modMain::LastSessionError(), window::vbOKOnly);
}

void Viewer::terminate() {
    if (terminated_) return;
    removeWheelHook();
    threadInputFlags().clearForTerminate();
    if (s_.documentType == DocumentTypePDF) releaseDisplayedImage();
    closePdf();
    window_.killTimer(kQualityTimerId);
    killAnimationTimer();
    s_.playing = false;
    renderer_.DiscardWorkingCopy();
    modMain::ShutdownGdiPlus();
    s_.currentImage = 0;
    terminated_ = true;
}

// Deletes the temporary copy the displayed image was loaded from, if any.
void Viewer::discardImageTempCopy() {
    if (!imageFromTempFile_) return;
    kernel::removeQuietly(imageTempFile_);
    imageFromTempFile_ = false;
}

void Viewer::releaseDisplayedImage() {
    if (s_.currentImage != 0) {
        s_.status = static_cast<int32_t>(modMain::ReleaseImage(s_.currentImage));
        discardImageTempCopy();
    }
    s_.currentImage = 0;
    renderer_.DiscardWorkingCopy();
}

void Viewer::resetViewer(ResetFor reason) {
    frames_.ResetForNewDocument(reason == ResetFor::AnotherPage);
    if (reason != ResetFor::ClosedImage) {
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
    for (ScrollBarState* bar : {&s_.hScroll, &s_.vScroll}) {
        bar->enabled = bar->max >= 1;
        bar->visible = s_.forceScrollBars;
    }
    s_.cornerVisible = false;
    syncScrollRangesToWindow();
    if (!s_.customPointer) window_.setMousePointer(0);
    s_.maxZoom = 1.0;
    s_.resetHorizontal = s_.resetVertical = true;
    s_.drawFailed = false;
    if (reason != ResetFor::AnotherPage) s_.lastDrawnImage = 0;
    if (imageFromTempFile_) releaseDisplayedImage();
    renderer_.DiscardWorkingCopy();
    s_.currentImage = 0;
}

void Viewer::closeDocument() {
    releaseDisplayedImage();
    closePdf();
    resetViewer(ResetFor::NewDocument);
}

void Viewer::forgetDocument() { resetViewer(ResetFor::ClosedImage); }

void Viewer::clearWindow() {
    if (s_.lockControl) return;
    window_.setPersistentDrawing(window::PersistentDrawing::On);
    window_.setPicture(nullptr);
    window_.setMaskPicture(nullptr);
    window_.clearSurface();
    window_.refresh();
}

// ---------------------------------------------------------------------------
// Shell

void Viewer::setMousePointer(int32_t value) {
    s_.mousePointer = value;
    window_.setMousePointer(value);
    s_.customPointer = value != 0;
    if (!s_.customPointer) mouse_.ApplyModeCursor();
}

bool Viewer::loadMouseIcon(const std::string& path) {
    window_.setMousePointer(window::MousePointerCustom);
    s_.mousePointer = window::MousePointerCustom;
    if (window_.loadMouseIcon(path) != gdiplus::Status::Ok) return false;
    s_.customPointer = true;
    return true;
}

void Viewer::refresh() {
    FlagScope busy(threadInputFlags().busy);
    window_.refresh();
}

void Viewer::show() {
    updateScrollBarVisibility();
    sink_.menuMarkChanged(MenuMark::ZoomMode);
    sink_.menuMarkChanged(MenuMark::MouseMode);
    sink_.menuMarkChanged(MenuMark::Quality);
    selection_.ClearRect();
    if (s_.mousePointer != 0) {
        s_.customPointer = true;
        window_.setMousePointer(s_.mousePointer);
    }
}

void Viewer::showCriticalMessage(const std::string& text) { sink_.showMessage(text, window::vbCritical); }

void Viewer::refreshMenuChecks() {
    sink_.menuMarkChanged(MenuMark::ZoomMode);
    sink_.menuMarkChanged(MenuMark::Quality);
}

// ---------------------------------------------------------------------------
// Painting

void Viewer::drawView(int32_t image) {
    renderer_.DrawView(image, s_.highQualityPass ? DrawPass::Quality : DrawPass::Interactive);
}

int32_t Viewer::documentId() const { return documentIsPdf() ? pdf_.handle() : s_.currentImage; }

std::string Viewer::formatName(int32_t image) const {
    const imaging::ImageEntry* e = modMain::FindEntry(image);
    return e ? e->FormatName : std::string();
}

void Viewer::updateScrollBarVisibility() { updateScrollBars(); }

void Viewer::updateScrollBars() {
    layout_.UpdateScrollBarVisibility();
    syncScrollBarsToWindow();
}

void Viewer::redraw() {
    if (s_.currentImage == 0) return;
    renderer_.DiscardWorkingCopy();
    frames_.ReadCurrentImage();
    layout_.UpdateLayout(0);
}

void Viewer::setViewerQuality(int32_t value) {
    s_.viewerQuality = value;
    layout_.UpdateLayout(0);
}

void Viewer::setViewerQualityAuto(bool value) {
    s_.viewerQualityAuto = value;
    if (value) window_.setTimer(kQualityTimerId, kQualityTimerIntervalMs);
    else window_.killTimer(kQualityTimerId);
}

void Viewer::setScrollOptimization(bool value) {
    s_.scrollOptimization = value;
    if (value) s_.optimizeDrawingSpeed = true;
}

// ---------------------------------------------------------------------------
// Scrolling

void Viewer::setScrollBars(bool value) {
    layout_.SetScrollBars(value);
    syncScrollBarsToWindow();
}

void Viewer::setForceScrollBars(bool value) {
    layout_.SetForceScrollBars(value);
    syncScrollBarsToWindow();
}

void Viewer::setScrollSmallChange(int16_t value) {
    if (value < 1) return;
    s_.hScroll.smallChange = s_.vScroll.smallChange = value;
    syncScrollBarsToWindow();
}

void Viewer::setScrollLargeChange(int16_t value) {
    if (value < 1) return;
    s_.hScroll.largeChange = s_.vScroll.largeChange = value;
    syncScrollBarsToWindow();
}

void Viewer::scrollTo(window::ScrollBarId bar, int32_t position) {
    s_.keyScrollGuard = false;
    s_.scrollEventsArmed = true;
    const ScrollBarState& state = bar == window::ScrollBarId::Horizontal ? s_.hScroll : s_.vScroll;
    const int32_t value = std::clamp(position, 0, state.max);
    if (value != window_.scrollBar(bar).value()) window_.setScrollValue(bar, value);
}

void Viewer::scrollToBoth(int32_t hPosition, int32_t vPosition) {
    const bool wasLocked = s_.lockControl;
    s_.lockControl = true;
    scrollTo(window::ScrollBarId::Vertical, vPosition);
    scrollTo(window::ScrollBarId::Horizontal, hPosition);
    if (!wasLocked) {
        s_.lockControl = false;
        renderer_.DrawView(0, DrawPass::Interactive);
        sink_.raise(ViewerEvent::ScrollControl);
    }
    s_.lockControl = wasLocked;
}

// The window's scroll bars show what the layout computed; writing them must
// not start repaints of their own.
void Viewer::syncScrollBarsToWindow() {
    syncScrollRangesToWindow();
    for (auto [id, bar] : {std::pair{window::ScrollBarId::Horizontal, &s_.hScroll},
                           std::pair{window::ScrollBarId::Vertical, &s_.vScroll}}) {
        window_.setScrollSmallChange(id, bar->smallChange);
        window_.setScrollLargeChange(id, bar->largeChange);
    }
}

// Range, position, enabled state and visibility; the steps stay as they are.
void Viewer::syncScrollRangesToWindow() {
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
// Mouse modes, the selection and rotation

void Viewer::setMouseMode(int32_t value) {
    mouse_.SetMouseMode(value);
    sink_.menuMarkChanged(MenuMark::MouseMode);
}

void Viewer::centerOnRect() {
    if (!selection_.isRectDrawed()) return;
    int32_t h = 0, v = 0;
    selection_.CenterPosition(h, v);
    scrollToBoth(h, v);
}

int32_t Viewer::zoomRect() {
    // A rectangle whose place does not fit a Long is no area to zoom to.
    if (!selection_.isRectDrawed() || !selection_.GetRectValues()) return s_.status;
    // The layout computes the new zoom without painting; the one painting
    // comes from the scroll to the centred rectangle. The host hears no
    // change of LockControl.
    const bool wasLocked = s_.lockControl;
    s_.lockControl = true;
    s_.zoomMode = ZoomFitRect;
    layout_.UpdateLayout(0);
    s_.lockControl = wasLocked;
    // The rectangle at its place in the new zoom, so that centring uses the
    // size it has now, not the one it had before the zoom.
    selection_.FollowPicture();
    centerOnRect();
    return s_.status;
}

int32_t Viewer::rotateFlip(RotateFlipType type) {
    const int32_t status = RotateFlip(s_, layout_, renderer_, type);
    sink_.rotated(type);
    return status;
}

// ---------------------------------------------------------------------------
// Frames and animation

// Window timers fire no sooner than 10 ms.
void Viewer::startAnimationTimer(uint32_t delayMs) {
    window_.setTimer(kAnimationTimerId, std::max<uint32_t>(delayMs, 10));
}

void Viewer::killAnimationTimer() { window_.killTimer(kAnimationTimerId); }

// ---------------------------------------------------------------------------
// Documents

int32_t Viewer::showStoredImage(int32_t image) {
    // The page image of the open PDF shown again keeps its page.
    const bool shownPdfPage = s_.documentType == DocumentTypePDF && image == s_.currentImage;
    if (!shownPdfPage) {
        closeDocument();
        s_.documentType = DocumentTypeImage;
    }
    if (image == 0) return s_.status = statusValue(QuillonStatus::InvalidParameter);
    s_.currentImage = image;
    int32_t page = 1;
    if (shownPdfPage) page = s_.currentPage;
    else if (modMain::IsMultiPageTiff(image)) page = modMain::GetCurrentTiffPage(image) + 1;
    else if (modMain::IsMultiFrameGif(image)) page = modMain::GetCurrentGifFrame(image) + 1;
    showNewImage(page);
    return s_.status;
}

void Viewer::showNewImage(int32_t page) {
    frames_.SetCurrentPageOfNewImage(page);
    s_.laidOutOnce = false;
    s_.resetHorizontal = s_.resetVertical = true;
    frames_.ReadCurrentImage();
    layout_.UpdateLayout(0);
    syncScrollBarsToWindow();
}

int32_t Viewer::displayFile(std::string path, ColorManagement colors) {
    closeDocument();
    path = imaging::ResolveFilePath(path, [this] {
        window::OpenFileRequest request;
        request.title = "Open File";
        return window_.openFileDialog(request);
    });
    if (pdf::HasPdfExtension(path)) return displayPdf(path, {});
    std::string loadPath = path;
    if (s_.imageForceTemporaryMode && !imaging::FileExistsPath(path).empty()) {
        if (kernel::copyToTempFile(path, imageTempFile_)) {
            loadPath = imageTempFile_;
            imageFromTempFile_ = true;
        }
    }
    int32_t id = 0;
    const int32_t status = imaging::LoadResolvedFile(id, loadPath, colors);
    if (status == 0) {
        s_.documentType = DocumentTypeImage;
        s_.currentImage = id;
        s_.status = 0;
        showNewImage(1);
        return s_.status;
    }
    discardImageTempCopy();
    // No decoder read the file: it may be a PDF without the extension.
    const auto failure = static_cast<QuillonStatus>(status);
    if (failure == QuillonStatus::UnknownImageFormat || failure == QuillonStatus::Aborted ||
        failure == QuillonStatus::OutOfMemory)
        return s_.status = displayAsPdfSilently(path);
    return s_.status = status;
}

int32_t Viewer::displayLoaded(const std::function<int32_t(int32_t&)>& load) {
    closeDocument();
    int32_t id = 0;
    const int32_t status = load(id);
    if (status != 0) return s_.status = status;
    s_.documentType = DocumentTypeImage;
    s_.currentImage = id;
    s_.status = 0;
    showNewImage(1);
    return s_.status;
}

// The bytes go through a temporary file and the file loader. The file lives
// as long as what shows it: the picture's entry, or the PDF document, which
// keeps its file open, so its name can go at once.
int32_t Viewer::displayBytes(std::span<const uint8_t> bytes, ColorManagement colors) {
    std::string path;
    if (const int32_t written = imaging::WriteBytesToTempFile(bytes, path); written != 0) {
        closeDocument();
        return s_.status = written;
    }
    return displayTempFile(path, colors);
}

int32_t Viewer::displayTempFile(const std::string& path, ColorManagement colors) {
    const int32_t status = displayFile(path, colors);
    if (status != 0 || s_.documentType != DocumentTypeImage || imageFromTempFile_) {
        kernel::removeQuietly(path);
        return status;
    }
    modMain::SetImageTempFile(s_.currentImage, path);
    imageFromTempFile_ = true;
    return status;
}

int32_t Viewer::displayPdf(const std::string& path, const std::string& password) {
    return pdf_.DisplayFromPdfFile(path, password);
}

int32_t Viewer::displayAsPdfSilently(const std::string& path) {
    const bool wasSilent = s_.silentMode;
    s_.silentMode = true;
    const int32_t status = pdf_.DisplayFromPdfFile(path, {});
    s_.silentMode = wasSilent;
    return status == 0 ? 0 : statusValue(QuillonStatus::UnknownImageFormat);
}

std::string Viewer::imageFormat() const {
    if (s_.currentImage == 0) return {};
    if (const imaging::ImageEntry* e = modMain::FindEntry(s_.currentImage)) return e->FormatName;
    const gdiplus::Image* image = modMain::GetGdiImage(s_.currentImage);
    return image ? imaging::FormatNameFromRawFormat(image->rawFormat()) : std::string();
}

// ---------------------------------------------------------------------------
// The PDF display's needs

void Viewer::resetForDocument(pdf::PdfHost::Reset reset) {
    resetViewer(reset == pdf::PdfHost::Reset::AnotherPage ? ResetFor::AnotherPage : ResetFor::NewDocument);
}

std::string Viewer::askPassword() {
    window::InputBoxRequest request;
    request.prompt = "Password: ";
    request.title = "PDF password";
    return window_.inputBox(request);
}

void Viewer::showPageImage(int32_t image, int32_t page) {
    s_.currentImage = image;
    s_.documentType = DocumentTypePDF;
    showNewImage(page);
}

}  // namespace orrery::viewer
