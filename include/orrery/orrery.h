// The viewer control Orrery and its twin class OrreryCnt: what a host
// builds on. A host creates a control on a window backend (the headless one,
// orrery/window/headless_backend.h, or OrreryWidget's), drives it through its
// dispatch interface _Orrery (Invoke, or the same members as the C++ methods
// below) and receives its events __Orrery through events() (connect a sink,
// such as automation::FunctionSink; the identifiers are in orrery/event_ids.h).
//
// The control translates: each member turns its arguments into a call of the
// viewing engine and its result into a status, and the engine's news into
// events, change notifications and menu marks. Members of families that are
// not built yet are absent from the dispatch table, so callers get the
// unknown-member error for them.
#pragma once
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "orrery/automation/dispatch.h"
#include "orrery/automation/events.h"
#include "orrery/automation/hresult.h"
#include "orrery/automation/interfaces.h"
#include "orrery/automation/variant.h"
#include "orrery/class_ids.h"
#include "orrery/event_ids.h"
#include "orrery/mouse_modes.h"
#include "orrery/quillon_status.h"
#include "orrery/rotate_flip_type.h"

namespace orrery::automation {
class PropertyBag;
class PropertyNotifier;
class TypeDescription;
}  // namespace orrery::automation
namespace orrery::window {
class ControlWindow;
class WindowBackend;
}  // namespace orrery::window
namespace orrery::viewer {
struct ViewState;
enum class FrameMenuItem;
}  // namespace orrery::viewer

namespace orrery::control {

using viewer::FrameMenuItem;

class ContextMenu;
class Persistence;
struct ControlClass;

class Orrery : public automation::IDispatch, public automation::IUnknown, public automation::IPersistPropertyBag {
public:
    explicit Orrery(window::WindowBackend& backend);
    ~Orrery() override;
    Orrery(const Orrery&) = delete;
    Orrery& operator=(const Orrery&) = delete;

    // The class this control was made as (Orrery or OrreryCnt).
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

    // Events, property-change notification, the control's window and the
    // engine's state.
    automation::EventSource& events();
    automation::PropertyNotifier& propertyNotifier();
    window::ControlWindow& controlWindow();
    const viewer::ViewState& viewState() const;

    // --- Shell -------------------------------------------------------------
    int32_t MousePointer() const;
    void setMousePointer(int32_t value);
    int32_t BorderStyle() const;
    void setBorderStyle(int32_t value);
    int32_t Appearance() const;
    void setAppearance(int32_t value);
    int32_t BackStyle() const;
    void setBackStyle(int32_t value);
    int32_t BackColor() const;
    void setBackColor(int32_t value);
    void SetBackGroundColor(int32_t nRGBColor);
    bool ClipControls() const;
    void setClipControls(bool value);
    bool Enabled() const;
    void setEnabled(bool value);
    bool LockControl() const;
    void setLockControl(bool value);
    bool SilentMode() const;
    void setSilentMode(bool value);
    int32_t GetStat() const;
    double GetVersion() const;
    int32_t hwnd() const;
    int32_t hdc() const;
    void Refresh();
    // Loads a cursor or icon file as the mouse pointer (MousePointer reads 99
    // afterwards). False when the file cannot be loaded; the dispatch
    // interface reports that as a failed call.
    bool SetMouseIcon(const std::string& sIconPath);
    // The container shows the control: scroll bars re-evaluated, a persisted
    // mouse pointer applied.
    void Show();

    // --- Zoom and layout ---------------------------------------------------
    double ZOOM() const;
    void setZOOM(double value);
    int32_t ZoomMode() const;
    void setZoomMode(int32_t value);
    int32_t ZoomStep() const;
    void setZoomStep(int32_t value);
    int32_t ZoomIN();
    int32_t ZoomOUT();
    int32_t SetZoom(float nZoomPercent);
    int32_t SetZoom100();
    int32_t SetZoomFitControl();
    int32_t SetZoomWidthControl();
    int32_t SetZoomHeightControl();
    int32_t SetZoomControl();
    double GetMaxZoom() const;
    int32_t ZoomArea(int32_t nLeft, int32_t nTop, int32_t nWidth, int32_t nHeight);
    void GetDisplayedArea(int32_t& nLeft, int32_t& nTop, int32_t& nWidth, int32_t& nHeight) const;
    void GetDisplayedAreaMM(float& nLeft, float& nTop, float& nWidth, float& nHeight) const;
    int32_t GetImageTop() const;
    int32_t GetImageLeft() const;
    void CoordObjectToImage(int32_t nObjectX, int32_t nObjectY, int32_t& nImageX, int32_t& nImageY) const;
    void CoordImageToObject(int32_t nImageX, int32_t nImageY, int32_t& nObjectX, int32_t& nObjectY) const;
    int32_t ImageAlignment() const;
    void setImageAlignment(int32_t value);
    int32_t ImagePosition() const;
    void setImagePosition(int32_t value);
    bool KeepImagePosition() const;
    void setKeepImagePosition(bool value);
    bool SkipImageResolution() const;
    void setSkipImageResolution(bool value);

    // --- Rendering ---------------------------------------------------------
    int32_t Redraw();
    int32_t ViewerQuality() const;
    void setViewerQuality(int32_t value);
    bool ViewerQualityAuto() const;
    void setViewerQualityAuto(bool value);
    bool OptimizeDrawingSpeed() const;
    void setOptimizeDrawingSpeed(bool value);
    int32_t ImageMaskColor() const;
    void setImageMaskColor(int32_t value);
    float gamma() const;
    void setGamma(float value);
    bool ForcePictureMode() const;
    void setForcePictureMode(bool value);
    bool ScrollOptimization() const;
    void setScrollOptimization(bool value);

    // --- Scrolling -----------------------------------------------------------
    bool ScrollBars() const;
    void setScrollBars(bool value);
    bool ForceScrollBars() const;
    void setForceScrollBars(bool value);
    bool HScrollVisible() const;
    bool VScrollVisible() const;
    void setScrollVisibleIgnored(bool);
    int16_t ScrollSmallChange() const;
    void setScrollSmallChange(int16_t value);
    int16_t ScrollLargeChange() const;
    void setScrollLargeChange(int16_t value);
    int32_t GetHScrollBarMaxPosition() const;
    int32_t GetVScrollBarMaxPosition() const;
    int32_t GetHScrollBarPosition() const;
    int32_t GetVScrollBarPosition() const;
    void SetHScrollBarPosition(int32_t nNewHPosition);
    void SetVScrollBarPosition(int32_t nNewVPosition);
    void SetHVScrollBarPosition(int32_t nNewHPosition, int32_t nNewVPosition);
    bool EnableMouseWheel() const;
    void setEnableMouseWheel(bool value);
    int32_t MouseWheelMode() const;
    void setMouseWheelMode(int32_t value);

    // --- Mouse modes and the selection rectangle ---------------------------
    // Members that take host numbers throw automation::OverflowError when a
    // value does not fit a Long, and the Rect... lets throw
    // automation::InvalidPropertyValue outside the shape's range; nothing
    // changes then. The dispatch interface reports both as failed calls.
    int32_t MouseMode() const;
    void setMouseMode(int32_t value);
    int32_t MouseButtonForMouseMode() const;
    void setMouseButtonForMouseMode(int32_t value);
    bool RectIsEditable() const;
    void setRectIsEditable(bool value);
    bool ContinuousViewMode() const;
    void setContinuousViewMode(bool value);
    int32_t RectBorderColor() const;
    void setRectBorderColor(int32_t value);
    int16_t RectBorderSize() const;
    void setRectBorderSize(int16_t value);
    int32_t RectBorderStyle() const;
    void setRectBorderStyle(int32_t value);
    int32_t RectDrawMode() const;
    void setRectDrawMode(int32_t value);
    bool isRectDrawed() const;
    void ClearRect();
    void GetRectValues(int32_t& nLeft, int32_t& nTop, int32_t& nWidth, int32_t& nHeight) const;
    int32_t GetRectX() const;
    int32_t GetRectY() const;
    int32_t GetRectWidth() const;
    int32_t GetRectHeight() const;
    void GetRectValuesMM(float& nLeft, float& nTop, float& nWidth, float& nHeight) const;
    void SetRectValues(int32_t nLeft, int32_t nTop, int32_t nWidth, int32_t nHeight);
    void SetRectValuesMM(float nLeft, float nTop, float nWidth, float nHeight);
    void SetRectValuesObject(int32_t nLeft, int32_t nTop, int32_t nWidth, int32_t nHeight);
    void GetRectValuesObject(int32_t& nLeft, int32_t& nTop, int32_t& nWidth, int32_t& nHeight) const;
    int32_t GetMouseX() const;
    int32_t GetMouseY() const;
    void CenterOnRect();
    int32_t ZoomRect();

    // --- Frames, pages and animation -------------------------------------------
    int32_t DisplayFrame(int32_t nFrame);
    int32_t DisplayNextFrame();
    int32_t DisplayPreviousFrame();
    int32_t DisplayFirstFrame();
    int32_t DisplayLastFrame();
    int32_t GetTotalFrame() const;
    int32_t PageCount() const;
    int32_t CurrentPage() const;
    int32_t PlayGif();
    void StopGif();
    bool AnimateGIF() const;
    void setAnimateGIF(bool value);
    // Whether a context-menu item that follows the pages is enabled.
    bool menuItemEnabled(FrameMenuItem item) const;

    // --- Events, drops and focus -------------------------------------------------
    bool ViewerDrop() const;
    void setViewerDrop(bool value);
    bool DisableAutoFocus() const;
    void setDisableAutoFocus(bool value);
    // The part of the control that holds the keyboard focus: 0 none, 1 the
    // viewer surface, 2 the horizontal bar, 3 the vertical bar, 4 the corner box.
    int32_t focusOwner() const;

    // --- Context menu ------------------------------------------------------------
    bool EnableMenu() const;
    void setEnableMenu(bool value);
    void SetItemMenuCaption(int32_t nIdxMenu, const std::string& sNewMenuCaption);
    void SetItemMenuEnabled(int32_t nIdxMenu, bool bEnabled);
    const ContextMenu& contextMenu() const;

    // --- Rotation and flipping -------------------------------------------------
    int32_t Rotate90();
    int32_t Rotate180();
    int32_t Rotate270();
    int32_t FlipX();
    int32_t FlipX90();
    int32_t FlipX180();
    int32_t FlipX270();

    // --- Life cycle ----------------------------------------------------------
    void Terminate();
    void CloseImage();
    void CloseImageEx();
    void ImageClosed();
    void Clear();

    // --- Image store and files ----------------------------------------------
    int32_t GetNativeImage() const;
    int32_t SetNativeImage(int32_t nImageID);
    int32_t DisplayFromQuillonImage(int32_t nImageID);
    int32_t DisplayFromFile(std::string sFilePath);
    int32_t DisplayFromFileICM(std::string sFilePath);
    bool ImageForceTemporaryMode() const;
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
    int32_t ImageWidth() const;
    int32_t ImageHeight() const;
    float HorizontalResolution() const;
    float VerticalResolution() const;
    void setIgnoredLong(int32_t);
    void setIgnoredSingle(float);
    void setIgnoredBool(bool);
    float GetWidthMM() const;
    float GetHeightMM() const;
    int32_t GetDocumentType() const;
    std::string GetImageFormat() const;

    // --- PDF display -----------------------------------------------------------
    int32_t DisplayFromPdfFile(std::string sPdfFilePath, std::string sPassword = {});
    int32_t GetnativePDF() const;
    std::string PdfGetVersion() const;
    std::string PdfGetAuthor() const;
    std::string PdfGetTitle() const;
    std::string PdfGetSubject() const;
    std::string PdfGetKeywords() const;
    std::string PdfGetCreator() const;
    std::string PdfGetProducer() const;
    std::string PdfGetCreationDate() const;
    std::string PdfGetModificationDate() const;
    std::string PdfGetMetadata() const;
    int32_t PdfDpiRendering() const;
    void setPdfDpiRendering(int32_t value);
    bool PdfForceTemporaryMode() const;
    void setPdfForceTemporaryMode(bool value);
    bool PdfDisplayFormField() const;
    void setPdfDisplayFormField(bool value);
    bool PDFShowDialogForPassword() const;
    void setPDFShowDialogForPassword(bool value);
    int32_t PdfRenderingMode() const;
    bool PdfEnablePageCash() const;
    // The PDF temporary copy's name (temporary folder + |hwnd| + ".pdf").
    const std::string& pdfTempFile() const;

    // --- EXIF and IPTC metadata of the shown image ----------------------------
    // The image's property count; the imaging status becomes the last status
    // (InvalidParameter and 0 with no image).
    int32_t ExifTagCount();
    // Identifier, name and value text of property item nTagNo (from 1); 0 or
    // "" outside 1..ExifTagCount or with no image. The last status stays.
    int32_t ExifTagGetID(int32_t nTagNo) const;
    std::string ExifTagGetName(int32_t nTagNo) const;
    std::string ExifTagGetValue(int32_t nTagNo) const;
    // The count of the IPTC tags the codec plug-in read; status 0, or
    // VorplexDllRequired and 0 without the plug-in.
    int32_t IPTCTagCount();
    // Identifier and value text of IPTC tag nTagNo (from 1): status
    // VorplexDllRequired without the plug-in, PropertyNotFound with no image
    // or nTagNo outside 1..IPTCTagCount, else 0.
    int32_t IPTCTagGetID(int32_t nTagNo);
    std::string IPTCTagGetValueString(int32_t nTagNo);

    // --- Internet transfer -------------------------------------------------------
    // An HTTP GET of `sPath` from `sHost` ("HTTP://" or "HTTPS://" in front is
    // dropped; the second means TLS, on port 443 when nHTTPPort is 80),
    // raising DataReceived per block; the body is shown as DisplayFromByteArray
    // shows bytes. Returns at once with the last status while a transfer runs.
    int32_t DisplayFromURL(std::string sHost, std::string sPath, int32_t nHTTPPort = 80);
    // An FTP download through a temporary file shown as DisplayFromFile shows
    // files; the file lives as long as the picture.
    int32_t DisplayFromFTP(std::string sHost, std::string sPath, std::string sLogin = {}, std::string sPassword = {},
                           int32_t nFTPPort = 21);
    // The running HTTP transfer stops after its block (107); otherwise nothing.
    void DisplayFromURLStop();
    // Bytes per block of later HTTP transfers (below 1: 4096 are used).
    void SetHttpTransfertBufferSize(int32_t nBuffersize);
    void SetFtpPassiveMode(bool bPassiveMode);

    // --- Persistence: the container's callbacks (see Persistence) ------------
    void InitProperties();
    automation::HRESULT WriteProperties(automation::PropertyBag& bag) const;
    automation::HRESULT ReadProperties(const automation::PropertyBag& bag);

    // The image temporary file name (temporary folder + |hwnd|).
    const std::string& imageTempFile() const;

protected:
    // A control made as class `cls` (Orrery or OrreryCnt).
    Orrery(window::WindowBackend& backend, const ControlClass& cls);

private:
    friend class Persistence;
    friend struct PersistedParts;

    // The control's parts: its events, menu and viewing engine (control/orrery.h).
    struct Parts;

    viewer::ViewState& state();
    const viewer::ViewState& state() const;
    window::ControlWindow& window();
    const window::ControlWindow& window() const;
    void notify(const char* propertyName);
    // Runs the command of a context-menu item.
    void runMenuCommand(int32_t number);

    const ControlClass* class_;
    std::unique_ptr<Parts> p_;
};

// The class OrreryCnt.
const ControlClass& orreryCntClass();

// The control under class Orrery's twin name: the same members less
// GetnativePDF, the same events, persisted properties and life cycle.
class OrreryCnt final : public Orrery {
public:
    explicit OrreryCnt(window::WindowBackend& backend) : Orrery(backend, orreryCntClass()) {}

    static const automation::TypeDescription& interfaceDescription();
    static std::vector<std::string> interfaceProblems();

    int32_t GetnativePDF() const = delete;
};

}  // namespace orrery::control
