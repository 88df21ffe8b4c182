// Orrery: the viewer control. A host creates it on a window backend, drives it
// through its dispatch interface _Orrery (or the same members as C++
// methods below) and receives its events through __Orrery.
//
// Members of families that are not built yet are absent from the dispatch
// table, so callers get the unknown-member error for them.
#pragma once
#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>

#include "control/class_factory.h"
#include "control/context_menu.h"
#include "platform/automation/dispatch.h"
#include "platform/automation/events.h"
#include "platform/automation/interfaces.h"
#include "platform/automation/property_bag.h"
#include "platform/automation/property_notifier.h"
#include "pdf/pdf_display.h"
#include "platform/window/control_window.h"
#include "viewer/frames.h"
#include "viewer/layout.h"
#include "viewer/mouse_modes.h"
#include "viewer/render.h"
#include "viewer/rotation.h"
#include "viewer/selection.h"
#include "viewer/view_state.h"

namespace orrery::control {

using viewer::DocumentType;
using viewer::DocumentTypeImage;
using viewer::DocumentTypeNone;
using viewer::DocumentTypePDF;
using viewer::FrameMenuItem;

class Persistence;
struct ControlClass;

class Orrery : public automation::IDispatch,
               public automation::IUnknown,
               public automation::IPersistPropertyBag,
               private window::WindowOwner,
               private viewer::LayoutHost,
               private viewer::RenderHost,
               private viewer::FramesHost,
               private viewer::MouseModesHost,
               private pdf::PdfHost {
public:
    explicit Orrery(window::WindowBackend& backend);
    ~Orrery() override;
    Orrery(const Orrery&) = delete;
    Orrery& operator=(const Orrery&) = delete;

    // The class this control was made as (see control_class.h).
    const ControlClass& controlClass() const { return *class_; }
    // IUnknown, IDispatch and the class's own dispatch interface,
    // IObjectSafety and IPersistPropertyBag.
    automation::HRESULT QueryInterface(const Guid& iid, void** object) override;
    // IPersistPropertyBag: the container callbacks below.
    automation::HRESULT InitNew() override {
        InitProperties();
        return automation::S_OK;
    }
    automation::HRESULT Load(const automation::PropertyBag& bag) override { return ReadProperties(bag); }
    automation::HRESULT Save(automation::PropertyBag& bag) override { return WriteProperties(bag); }

    // Dispatch interface _Orrery.
    automation::HRESULT GetIDsOfNames(std::string_view name, automation::DISPID& id) override;
    automation::HRESULT Invoke(automation::DISPID id, uint16_t flags, std::span<automation::Variant> args,
                               automation::Variant* result, automation::ExcepInfo* excepInfo,
                               uint32_t* argError) override;
    const automation::TypeDescription* typeDescription() const override;
    static const automation::TypeDescription& interfaceDescription();
    // Mistakes in the member table (repeated identifiers, parameter rows that
    // do not match their handlers); empty when the table is sound.
    static std::vector<std::string> interfaceProblems();

    // Events and property-change notification.
    automation::EventSource& events() { return events_; }
    automation::PropertyNotifier& propertyNotifier() { return notifier_; }
    window::ControlWindow& controlWindow() { return window_; }
    const viewer::ViewState& viewState() const { return s_; }

    // --- Shell -------------------------------------------------------------
    int32_t MousePointer() const { return mousePointer_; }
    void setMousePointer(int32_t value);
    int32_t BorderStyle() const { return static_cast<int32_t>(window_.borderStyle()); }
    void setBorderStyle(int32_t value);
    int32_t Appearance() const { return static_cast<int32_t>(window_.appearance()); }
    void setAppearance(int32_t value);
    int32_t BackStyle() const { return static_cast<int32_t>(window_.backStyle()); }
    void setBackStyle(int32_t value);
    int32_t BackColor() const { return static_cast<int32_t>(window_.backColor()); }
    void setBackColor(int32_t value);
    void SetBackGroundColor(int32_t nRGBColor);
    bool ClipControls() const { return window_.clipControls(); }
    void setClipControls(bool value);
    bool Enabled() const { return enabled_; }
    void setEnabled(bool value);
    bool LockControl() const { return lockControl_; }
    void setLockControl(bool value);
    bool SilentMode() const { return silentMode_; }
    void setSilentMode(bool value);
    int32_t GetStat() const { return s_.status; }
    double GetVersion() const { return 5.9901307; }
    int32_t hwnd() const { return window_.hwnd(); }
    int32_t hdc() const { return window_.hdc(); }
    void Refresh();
    // Loads a cursor or icon file as the mouse pointer (MousePointer reads 99
    // afterwards). False when the file cannot be loaded; the dispatch
    // interface reports that as a failed call.
    bool SetMouseIcon(const std::string& sIconPath);
    // The container shows the control: scroll bars re-evaluated, a persisted
    // mouse pointer applied.
    void Show();

    // --- Zoom and layout ---------------------------------------------------
    double ZOOM() const { return s_.zoom; }
    void setZOOM(double value);
    int32_t ZoomMode() const { return s_.zoomMode; }
    void setZoomMode(int32_t value);
    int32_t ZoomStep() const { return s_.zoomStep; }
    void setZoomStep(int32_t value);
    int32_t ZoomIN();
    int32_t ZoomOUT();
    int32_t SetZoom(float nZoomPercent);
    int32_t SetZoom100();
    int32_t SetZoomFitControl();
    int32_t SetZoomWidthControl();
    int32_t SetZoomHeightControl();
    int32_t SetZoomControl();
    double GetMaxZoom() const { return s_.maxZoom; }
    int32_t ZoomArea(int32_t nLeft, int32_t nTop, int32_t nWidth, int32_t nHeight);
    void GetDisplayedArea(int32_t& nLeft, int32_t& nTop, int32_t& nWidth, int32_t& nHeight) const;
    void GetDisplayedAreaMM(float& nLeft, float& nTop, float& nWidth, float& nHeight) const;
    int32_t GetImageTop() const { return s_.offsetTop; }
    int32_t GetImageLeft() const { return s_.offsetLeft; }
    void CoordObjectToImage(int32_t nObjectX, int32_t nObjectY, int32_t& nImageX, int32_t& nImageY) const;
    void CoordImageToObject(int32_t nImageX, int32_t nImageY, int32_t& nObjectX, int32_t& nObjectY) const;
    int32_t ImageAlignment() const { return s_.imageAlignment; }
    void setImageAlignment(int32_t value);
    int32_t ImagePosition() const { return s_.imagePosition; }
    void setImagePosition(int32_t value);
    bool KeepImagePosition() const { return s_.keepImagePosition; }
    void setKeepImagePosition(bool value);
    bool SkipImageResolution() const { return s_.skipImageResolution; }
    void setSkipImageResolution(bool value);

    // --- Rendering ---------------------------------------------------------
    int32_t Redraw();
    int32_t ViewerQuality() const { return s_.viewerQuality; }
    void setViewerQuality(int32_t value);
    bool ViewerQualityAuto() const { return s_.viewerQualityAuto; }
    void setViewerQualityAuto(bool value);
    bool OptimizeDrawingSpeed() const { return s_.optimizeDrawingSpeed; }
    void setOptimizeDrawingSpeed(bool value);
    int32_t ImageMaskColor() const { return static_cast<int32_t>(s_.imageMaskColor); }
    void setImageMaskColor(int32_t value);
    float gamma() const { return s_.gamma; }
    void setGamma(float value);
    bool ForcePictureMode() const { return s_.forcePictureMode; }
    void setForcePictureMode(bool value);
    bool ScrollOptimization() const { return s_.scrollOptimization; }
    void setScrollOptimization(bool value);

    // --- Scrolling -----------------------------------------------------------
    bool ScrollBars() const { return s_.scrollBars; }
    void setScrollBars(bool value);
    bool ForceScrollBars() const { return s_.forceScrollBars; }
    void setForceScrollBars(bool value);
    bool HScrollVisible() const { return s_.hScroll.visible; }
    bool VScrollVisible() const { return s_.vScroll.visible; }
    void setScrollVisibleIgnored(bool) {}
    int16_t ScrollSmallChange() const { return s_.hScroll.smallChange; }
    void setScrollSmallChange(int16_t value);
    int16_t ScrollLargeChange() const { return s_.hScroll.largeChange; }
    void setScrollLargeChange(int16_t value);
    int32_t GetHScrollBarMaxPosition() const { return s_.hScroll.max; }
    int32_t GetVScrollBarMaxPosition() const { return s_.vScroll.max; }
    int32_t GetHScrollBarPosition() const { return s_.hScroll.value; }
    int32_t GetVScrollBarPosition() const { return s_.vScroll.value; }
    void SetHScrollBarPosition(int32_t nNewHPosition);
    void SetVScrollBarPosition(int32_t nNewVPosition);
    void SetHVScrollBarPosition(int32_t nNewHPosition, int32_t nNewVPosition);
    bool EnableMouseWheel() const { return s_.enableMouseWheel; }
    void setEnableMouseWheel(bool value);
    int32_t MouseWheelMode() const { return s_.mouseWheelMode; }
    void setMouseWheelMode(int32_t value);

    // --- Mouse modes and the selection rectangle ---------------------------
    // Members that take host numbers throw automation::OverflowError when a
    // value does not fit a Long, and the Rect... lets throw
    // automation::InvalidPropertyValue outside the shape's range; nothing
    // changes then. The dispatch interface reports both as failed calls.
    int32_t MouseMode() const { return s_.mouseMode; }
    void setMouseMode(int32_t value);
    int32_t MouseButtonForMouseMode() const { return s_.mouseButtonForMouseMode; }
    void setMouseButtonForMouseMode(int32_t value) { s_.mouseButtonForMouseMode = value == 0 ? 1 : value; }
    bool RectIsEditable() const { return s_.rectIsEditable; }
    void setRectIsEditable(bool value) { s_.rectIsEditable = value; }
    bool ContinuousViewMode() const { return s_.continuousViewMode; }
    void setContinuousViewMode(bool value) { s_.continuousViewMode = value; }
    int32_t RectBorderColor() const { return static_cast<int32_t>(window_.rectShape().borderColor()); }
    void setRectBorderColor(int32_t value);
    int16_t RectBorderSize() const;
    void setRectBorderSize(int16_t value);
    int32_t RectBorderStyle() const { return window_.rectShape().borderStyle(); }
    void setRectBorderStyle(int32_t value);
    int32_t RectDrawMode() const { return window_.rectShape().drawMode(); }
    void setRectDrawMode(int32_t value);
    bool isRectDrawed() const { return selection_.isRectDrawed(); }
    void ClearRect() { selection_.ClearRect(); }
    void GetRectValues(int32_t& nLeft, int32_t& nTop, int32_t& nWidth, int32_t& nHeight) const;
    int32_t GetRectX() const { return selection_.GetRectValues().left; }
    int32_t GetRectY() const { return selection_.GetRectValues().top; }
    int32_t GetRectWidth() const { return selection_.GetRectValues().width; }
    int32_t GetRectHeight() const { return selection_.GetRectValues().height; }
    void GetRectValuesMM(float& nLeft, float& nTop, float& nWidth, float& nHeight) const {
        selection_.GetRectValuesMM(nLeft, nTop, nWidth, nHeight);
    }
    void SetRectValues(int32_t nLeft, int32_t nTop, int32_t nWidth, int32_t nHeight) {
        selection_.SetRectValues(nLeft, nTop, nWidth, nHeight);
    }
    void SetRectValuesMM(float nLeft, float nTop, float nWidth, float nHeight) {
        selection_.SetRectValuesMM(nLeft, nTop, nWidth, nHeight);
    }
    void SetRectValuesObject(int32_t nLeft, int32_t nTop, int32_t nWidth, int32_t nHeight) {
        selection_.SetRectValuesObject(nLeft, nTop, nWidth, nHeight);
    }
    void GetRectValuesObject(int32_t& nLeft, int32_t& nTop, int32_t& nWidth, int32_t& nHeight) const;
    int32_t GetMouseX() const { return s_.mouseImageX; }
    int32_t GetMouseY() const { return s_.mouseImageY; }
    void CenterOnRect();
    int32_t ZoomRect();

    // --- Frames, pages and animation -------------------------------------------
    int32_t DisplayFrame(int32_t nFrame) { return frames_.DisplayFrame(nFrame); }
    int32_t DisplayNextFrame() { return frames_.DisplayNextFrame(); }
    int32_t DisplayPreviousFrame() { return frames_.DisplayPreviousFrame(); }
    int32_t DisplayFirstFrame() { return frames_.DisplayFirstFrame(); }
    int32_t DisplayLastFrame() { return frames_.DisplayLastFrame(); }
    int32_t GetTotalFrame() const { return s_.pageCount; }
    int32_t PageCount() const { return s_.pageCount; }
    int32_t CurrentPage() const { return s_.currentPage; }
    int32_t PlayGif() { return frames_.PlayGif(); }
    void StopGif() { frames_.StopGif(); }
    bool AnimateGIF() const { return s_.animateGif; }
    void setAnimateGIF(bool value);
    // Whether a context-menu item that follows the pages is enabled.
    bool menuItemEnabled(FrameMenuItem item) const;

    // --- Events, drops and focus -------------------------------------------------
    bool ViewerDrop() const { return viewerDrop_; }
    void setViewerDrop(bool value);
    bool DisableAutoFocus() const { return disableAutoFocus_; }
    void setDisableAutoFocus(bool value);
    // The part of the control that holds the keyboard focus: 0 none, 1 the
    // viewer surface, 2 the horizontal bar, 3 the vertical bar, 4 the corner box.
    int32_t focusOwner() const override { return focusOwner_; }

    // --- Context menu ------------------------------------------------------------
    bool EnableMenu() const { return enableMenu_; }
    void setEnableMenu(bool value);
    void SetItemMenuCaption(int32_t nIdxMenu, const std::string& sNewMenuCaption) {
        menu_.SetItemMenuCaption(nIdxMenu, sNewMenuCaption);
    }
    void SetItemMenuEnabled(int32_t nIdxMenu, bool bEnabled) { menu_.SetItemMenuEnabled(nIdxMenu, bEnabled); }
    const ContextMenu& contextMenu() const { return menu_; }

    // --- Rotation and flipping -------------------------------------------------
    int32_t Rotate90() { return rotateFlip(RotateFlipType::Rotate90FlipNone); }
    int32_t Rotate180() { return rotateFlip(RotateFlipType::Rotate180FlipNone); }
    int32_t Rotate270() { return rotateFlip(RotateFlipType::Rotate270FlipNone); }
    int32_t FlipX() { return rotateFlip(RotateFlipType::RotateNoneFlipX); }
    int32_t FlipX90() { return rotateFlip(RotateFlipType::Rotate90FlipX); }
    int32_t FlipX180() { return rotateFlip(RotateFlipType::Rotate180FlipX); }
    int32_t FlipX270() { return rotateFlip(RotateFlipType::Rotate270FlipX); }

    // --- Life cycle ----------------------------------------------------------
    void Terminate();
    void CloseImage();
    void CloseImageEx();
    void ImageClosed();
    void Clear();

    // --- Image store and files ----------------------------------------------
    int32_t GetNativeImage() const { return s_.currentImage; }
    int32_t SetNativeImage(int32_t nImageID);
    int32_t DisplayFromQuillonImage(int32_t nImageID) { return SetNativeImage(nImageID); }
    int32_t DisplayFromFile(std::string sFilePath);
    int32_t DisplayFromFileICM(std::string sFilePath);
    bool ImageForceTemporaryMode() const { return imageForceTemporaryMode_; }
    void setImageForceTemporaryMode(bool value);

    // --- Memory, handles and the clipboard -----------------------------------
    // The picture the control draws (its drawing copy when it keeps one) goes
    // on the backend's clipboard as a bitmap; nothing is stored in GetStat.
    void Copy2Clipboard();
    // A rectangle of that picture in image pixels; GetStat reads the first
    // failure, or GenericError when nothing is displayed.
    void CopyRegion2Clipboard(int32_t nSrcLeft, int32_t nSrcTop, int32_t nWidth, int32_t nHeight);
    // Pictures from handles, packed DIBs, streams, bytes and the clipboard.
    // Each closes the current display, returns a QuillonStatus and stores it.
    // Handles are the gdi tables' numbers; the caller keeps its handle or
    // block, whose pixels are copied.
    int32_t DisplayFromHBitmap(int32_t nHbitmap);
    int32_t DisplayFromHICON(int32_t nHICON);
    int32_t DisplayFromGdiDib(int32_t nGdiDibRef);
    // A stream object (automation::StreamObject); null gives InvalidParameter,
    // another object 23. Multi-frame pictures are split into frame files.
    int32_t DisplayFromStream(automation::DispatchPtr oStream);
    int32_t DisplayFromStreamICM(automation::DispatchPtr oStream);
    // Bytes of any format the files may hold, through a temporary file that
    // lives as long as the display.
    int32_t DisplayFromByteArray(automation::ByteArray& arBytes);
    int32_t DisplayFromByteArrayICM(automation::ByteArray& arBytes);
    // `Length` bytes of global block `hMem`; no block, or fewer bytes in it,
    // give InvalidParameter.
    int32_t DisplayFromMemory(int32_t hMem, int32_t& Length);
    // A text of Windows-1252 characters, one a byte.
    int32_t DisplayFromString(std::string sImageString);
    int32_t DisplayFromClipboardData();
    // A picture object (automation::Picture or any object answering its
    // interface): bitmaps and icons copied, metafiles rasterised on white.
    // The document type reads image even when the load fails; no picture
    // gives InvalidParameter.
    int32_t DisplayFromStdPicture(automation::DispatchPtr& oStdPicture);
    // A WMF or EMF file rasterised at its own size times nScaleBy.
    int32_t DisplayFromMetaFile(std::string sFilePath, float nScaleBy = 1.0f);
    // A new bitmap handle of the displayed picture for the caller, 0 on
    // failure (the status in GetStat); DeleteHBitmap gives it back.
    int32_t GetHBitmap();
    void DeleteHBitmap(int32_t nHbitmap);

    // --- Image information -----------------------------------------------------
    int32_t ImageWidth() const { return s_.imageWidth; }
    int32_t ImageHeight() const { return s_.imageHeight; }
    float HorizontalResolution() const { return s_.horizontalResolution; }
    float VerticalResolution() const { return s_.verticalResolution; }
    void setIgnoredLong(int32_t) {}
    void setIgnoredSingle(float) {}
    void setIgnoredBool(bool) {}
    float GetWidthMM() const { return layout_.GetWidthMM(); }
    float GetHeightMM() const { return layout_.GetHeightMM(); }
    int32_t GetDocumentType() const { return s_.documentType; }
    std::string GetImageFormat() const;

    // --- PDF display -----------------------------------------------------------
    int32_t DisplayFromPdfFile(std::string sPdfFilePath, std::string sPassword = {});
    int32_t GetnativePDF() const { return pdf_.handle(); }
    std::string PdfGetVersion() const { return pdf_.Description(pdf::PdfField::Version); }
    std::string PdfGetAuthor() const { return pdf_.Description(pdf::PdfField::Author); }
    std::string PdfGetTitle() const { return pdf_.Description(pdf::PdfField::Title); }
    std::string PdfGetSubject() const { return pdf_.Description(pdf::PdfField::Subject); }
    std::string PdfGetKeywords() const { return pdf_.Description(pdf::PdfField::Keywords); }
    std::string PdfGetCreator() const { return pdf_.Description(pdf::PdfField::Creator); }
    std::string PdfGetProducer() const { return pdf_.Description(pdf::PdfField::Producer); }
    std::string PdfGetCreationDate() const { return pdf_.Description(pdf::PdfField::CreationDate); }
    std::string PdfGetModificationDate() const { return pdf_.Description(pdf::PdfField::ModificationDate); }
    std::string PdfGetMetadata() const { return pdf_.Metadata(); }
    int32_t PdfDpiRendering() const { return pdfSettings_.dpiRendering; }
    void setPdfDpiRendering(int32_t value);
    bool PdfForceTemporaryMode() const { return pdfSettings_.forceTemporaryMode; }
    void setPdfForceTemporaryMode(bool value);
    bool PdfDisplayFormField() const { return pdfSettings_.displayFormField; }
    void setPdfDisplayFormField(bool value);
    bool PDFShowDialogForPassword() const { return pdfSettings_.showDialogForPassword; }
    void setPDFShowDialogForPassword(bool value);
    int32_t PdfRenderingMode() const { return pdfSettings_.renderingMode; }
    bool PdfEnablePageCash() const { return pdfSettings_.enablePageCash; }
    // The PDF temporary copy's name (temporary folder + |hwnd| + ".pdf").
    const std::string& pdfTempFile() const { return pdf_.temporaryPath(); }

    // --- Persistence: the container's callbacks (see Persistence) ------------
    void InitProperties();
    automation::HRESULT WriteProperties(automation::PropertyBag& bag) const;
    automation::HRESULT ReadProperties(const automation::PropertyBag& bag);

    // The image temporary file name (temporary folder + |hwnd|).
    const std::string& imageTempFile() const { return imageTempFile_; }

protected:
    // A control made as class `cls` (Orrery or OrreryCnt).
    Orrery(window::WindowBackend& backend, const ControlClass& cls);

private:
    friend class Persistence;

    // WindowOwner
    void onPaint() override;
    void onResize() override;
    void onScrollValueChanged(window::ScrollBarId bar, int32_t value, window::ScrollChange change) override;
    void onTimer(uint32_t id) override;
    void onMouseDown(const window::MouseEvent& e) override;
    void onMouseMove(const window::MouseEvent& e) override;
    void onMouseUp(const window::MouseEvent& e) override;
    void onKeyDown(window::KeyEvent& e) override;
    void onKeyUp(window::KeyEvent& e) override;
    void onWheel(const window::WheelEvent& e) override;
    void onClick() override;
    void onDoubleClick() override;
    void onKeyPress(window::KeyPressEvent& e) override;
    void onDrop(const window::DropData& data) override;
    void onFocus(window::FocusTarget target, window::FocusChange change) override;
    // LayoutHost
    int32_t clientWidth() const override { return window_.clientWidth(); }
    int32_t clientHeight() const override { return window_.clientHeight(); }
    bool silentMode() const override { return silentMode_; }
    int32_t workingImage() const override { return s_.workingImage != 0 ? s_.workingImage : s_.currentImage; }
    void drawView(int32_t image) override { renderer_.DrawView(image, s_.highQualityPass); }
    void raiseBeforeZoomChange() override;
    void raiseZoomChange() override;
    void refreshMouseCursor() override { mouse_.ApplyModeCursor(); }
    void refreshMenuChecks() override;
    void refreshScrollBarsMark() override { menu_.showScrollBars(s_.scrollBars); }
    viewer::AreaRect selectionInImage() const override { return selection_.GetRectValues(); }
    void showCriticalMessage(const std::string& text) override;
    // RenderHost
    window::ControlWindow& window() override { return window_; }
    bool lockControl() const override { return lockControl_; }
    int32_t documentId() const override { return documentIsPdf() ? pdf_.handle() : s_.currentImage; }
    bool documentIsPdf() const override { return s_.documentType == DocumentTypePDF; }
    std::string formatName(int32_t image) const override;
    void raisePictureChange() override;
    void raisePictureChanged() override;
    void raisePageChange() override;
    void raiseDisplay() override;
    void ensureWheelHook() override;
    void redrawSelection(int32_t) override { selection_.FollowPicture(); }
    void refreshQualityMenuChecks() override { menu_.showQuality(s_.viewerQualityAuto, s_.viewerQuality); }
    bool disableAutoFocus() const override { return disableAutoFocus_; }
    // FramesHost
    void enableMenuItem(FrameMenuItem item, bool enabled) override;
    void clearDrawingSurface() override { window_.clearSurface(); }
    void startAnimationTimer(uint32_t delayMs) override;
    void killAnimationTimer() override;
    int32_t renderPdfPage(int32_t page) override { return pdf_.RenderPage(page); }
    // MouseModesHost
    void showPlainMessage(const std::string& text) override { window_.messageBox(text, window::vbOKOnly); }
    int32_t zoomToSelection() override { return ZoomRect(); }
    // PdfHost
    void releaseDisplayedPicture() override { releaseDisplayedImage(); }
    void resetForDocument(pdf::PdfHost::KeepPageCount keep) override;
    std::string askPassword() override;
    void raisePasswordRequest(std::string& password) override;
    void showPageImage(int32_t image, int32_t page) override;
    // Closes an open PDF document after the displayed picture is released.
    void closePdf();
    // A file no decoder read, tried as a PDF without messages: 0 when it
    // opened, else UnknownImageFormat.
    int32_t displayAsPdfSilently(const std::string& path);
    void openContextMenu(float x, float y) override;

    void initialise();
    void initialiseSteps();
    void raise(int32_t eventId);
    void notify(const char* propertyName);
    // The viewer reset for a new document; the switches keep the image's
    // sizes and the page count.
    enum class KeepGeometry { No, Yes };
    enum class KeepPageCount { No, Yes };
    void resetViewer(KeepGeometry keepGeometry, KeepPageCount keepPageCount);
    int32_t rotateFlip(RotateFlipType type);
    void releaseDisplayedImage();
    void discardImageTempCopy();
    int32_t displayFromFile(std::string path, bool useIcm);
    // The frame of the Display... members: the display closed, `load` run
    // for a new entry, and on success the entry shown as a new image.
    int32_t displayLoaded(const std::function<int32_t(int32_t&)>& load);
    int32_t displayFromBytes(std::span<const uint8_t> bytes, bool useIcm);
    int32_t displayFromStream(const automation::DispatchPtr& stream, bool useIcm);
    // After a load: metrics and frames, then a layout that starts at the
    // alignment, showing page `page`.
    void showNewImage(int32_t page);
    void syncScrollBarsToWindow();
    void syncScrollRangesToWindow();
    // Input forwarding: the host's handlers run before or after the
    // control's own, as each event is documented.
    struct MouseArgs {
        int16_t button = 0;
        int16_t shift = 0;
        float x = 0;
        float y = 0;
    };
    // Raises a mouse event; the values as the host's handlers left them.
    MouseArgs raiseMouseEvent(int32_t eventId, const MouseArgs& given);
    void keyDownOnSurface(int32_t keyCode, int32_t shift);
    // Returns the key code as KeyUpControl's handlers left it.
    int32_t keyUpOnSurface(int32_t keyCode, int32_t shift);
    void wheelStep(int32_t keyCode);
    void installWheelHook();
    void removeWheelHook();
    // Runs the command of a context-menu item.
    void runMenuCommand(int32_t number);

    ServerObject live_;
    const ControlClass* class_;
    window::ControlWindow window_;
    viewer::ViewState s_;
    viewer::Layout layout_;
    viewer::Renderer renderer_;
    viewer::Frames frames_;
    viewer::Selection selection_;
    viewer::MouseModes mouse_;
    ContextMenu menu_;
    automation::EventSource events_;
    automation::PropertyNotifier notifier_;

    bool silentMode_ = false;
    bool lockControl_ = false;
    bool enabled_ = true;
    int32_t mousePointer_ = 0;
    bool imageForceTemporaryMode_ = false;
    bool imageFromTempFile_ = false;
    bool terminated_ = false;
    std::string imageTempFile_;
    pdf::PdfSettings pdfSettings_;
    pdf::PdfDisplay pdf_;
    bool enableMenu_ = true;
    bool viewerDrop_ = false;
    bool disableAutoFocus_ = false;
    int32_t focusOwner_ = 0;
};

}  // namespace orrery::control
