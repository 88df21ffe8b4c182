// The viewing engine of one control as one object: the view state, the
// window, the layout, painting, frames and pages, the selection rectangle,
// the mouse modes, rotation, the wheel and the PDF display, wired to each
// other here. Outward it has two edges: the window layer, whose owner it is,
// and one ViewerSink for what the control around it must hear.
#pragma once
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "imaging/load_options.h"
#include "orrery/rotate_flip_type.h"
#include "viewer/pdf_display.h"
#include "platform/window/control_window.h"
#include "viewer/frames.h"
#include "viewer/layout.h"
#include "viewer/mouse_modes.h"
#include "viewer/render.h"
#include "viewer/selection.h"
#include "viewer/view_state.h"

namespace orrery::viewer {

// Events without arguments.
enum class ViewerEvent {
    BeforeZoomChange,
    ZoomChange,
    ScrollControl,
    PageChange,
    PictureChange,
    PictureChanged,
    Display,
    PaintControl,
    ResizeControl,
    ClickControl,
    DblClickControl,
};

// The arguments of a mouse event, as the host's handlers may change them.
struct MouseArgs {
    int16_t button = 0;
    int16_t shift = 0;
    float x = 0;
    float y = 0;
};
enum class MouseEventKind { Down, Move, Up };

// The marks of the context menu that follow the view.
enum class MenuMark { ZoomMode, MouseMode, Quality, ScrollBars };

// What the control around the engine must hear. Each entry is called on the
// control's thread while the engine works; the engine reads back what the
// reference arguments hold afterwards.
class ViewerSink {
public:
    virtual ~ViewerSink() = default;
    // An event without arguments is raised.
    virtual void raise(ViewerEvent event) = 0;
    // The picture was rotated or flipped by `type`.
    virtual void rotated(RotateFlipType type) = 0;
    // A mouse event; the engine goes on with the arguments the handlers left.
    virtual void mouseEvent(MouseEventKind kind, MouseArgs& args) = 0;
    // Key down on the viewer surface.
    virtual void keyDown(int16_t keyCode, int16_t shift) = 0;
    // Key up on the viewer surface; the engine goes on with the key the handlers left.
    virtual void keyUp(int16_t& keyCode, int16_t shift) = 0;
    // A character typed on the viewer surface.
    virtual void keyPress(int16_t keyAscii) = 0;
    // One wheel step (up: away from the user), before the engine acts on it.
    virtual void wheelTurned(bool up) = 0;
    // Readable files were dropped, in drop order (never empty).
    virtual void filesDropped(std::vector<std::string> files) = 0;
    // A PDF needs a password the handlers may write into `password`.
    virtual void passwordRequested(std::string& password) = 0;
    // A page or animation item of the context menu is enabled or disabled.
    virtual void frameItemEnabled(FrameMenuItem item, bool enabled) = 0;
    // A mark of the context menu must show the state again.
    virtual void menuMarkChanged(MenuMark mark) = 0;
    // The right button went down on a shown picture; returns when the menu has closed.
    virtual void contextMenuRequested(float x, float y) = 0;
    // A message box of the given style (never called in silent mode).
    virtual void showMessage(const std::string& text, int32_t style) = 0;
};

using imaging::ColorManagement;

class Viewer : private window::WindowOwner,
               private LayoutHost,
               private RenderHost,
               private FramesHost,
               private MouseModesHost,
               private pdf::PdfHost {
public:
    Viewer(window::WindowBackend& backend, ViewerSink& sink);
    ~Viewer() override;
    Viewer(const Viewer&) = delete;
    Viewer& operator=(const Viewer&) = delete;

    // The parts, for what each does on its own.
    ViewState& state() { return s_; }
    const ViewState& state() const { return s_; }
    window::ControlWindow& window() override { return window_; }
    const window::ControlWindow& window() const { return window_; }
    Layout& layout() { return layout_; }
    const Layout& layout() const { return layout_; }
    Frames& frames() { return frames_; }
    Selection& selection() { return selection_; }
    const Selection& selection() const { return selection_; }
    MouseModes& mouse() { return mouse_; }
    pdf::PdfDisplay& pdf() { return pdf_; }
    const pdf::PdfDisplay& pdf() const { return pdf_; }
    pdf::PdfSettings& pdfSettings() { return pdfSettings_; }
    const pdf::PdfSettings& pdfSettings() const { return pdfSettings_; }

    // --- Life cycle ----------------------------------------------------------
    // Defaults, the temporary file names and a reference on the thread's
    // imaging session; a fault leaves the engine usable and is reported.
    void initialise();
    // Ends the engine's work for good: timers, hooks, the document, the session.
    void terminate();
    bool terminated() const { return terminated_; }
    void closeDocument();        // CloseImageEx
    void forgetDocument();       // ImageClosed: the reset, sizes kept
    void clearWindow();          // Clear
    // The window stops (false) or resumes (true) telling the engine about
    // changes, while a container loads the settings.
    void listenToWindow(bool listen);

    // --- Shell ---------------------------------------------------------------
    void setMousePointer(int32_t value);
    // Loads a cursor or icon file as the pointer; false when it cannot be loaded.
    bool loadMouseIcon(const std::string& path);
    void refresh();
    // The container shows the control: scroll bars, marks, a persisted pointer.
    void show();

    // --- Painting and scrolling ---------------------------------------------
    void redraw();
    void setViewerQuality(int32_t value);
    void setViewerQualityAuto(bool value);
    void setScrollOptimization(bool value);
    void setScrollBars(bool value);
    void setForceScrollBars(bool value);
    // Both bars take the step; values below 1 change nothing.
    void setScrollSmallChange(int16_t value);
    void setScrollLargeChange(int16_t value);
    void scrollTo(window::ScrollBarId bar, int32_t position);
    // The scroll bars' visibility evaluated again and shown by the window.
    void updateScrollBars();
    // Both bars, then one painting and ScrollControl.
    void scrollToBoth(int32_t hPosition, int32_t vPosition);
    void setEnableMouseWheel(bool value);

    // --- Mouse modes and the selection ---------------------------------------
    void setMouseMode(int32_t value);
    void centerOnRect();
    int32_t zoomRect();

    // --- Rotation --------------------------------------------------------------
    int32_t rotateFlip(RotateFlipType type);

    // --- Documents ---------------------------------------------------------------
    // An entry of the image store shown as the document (SetNativeImage).
    int32_t showStoredImage(int32_t image);
    // A file: its picture, or a PDF by its extension or when no decoder reads it.
    int32_t displayFile(std::string path, ColorManagement colors);
    // The current document closed, `load` run for a new entry, and on success
    // the entry shown as a new image.
    int32_t displayLoaded(const std::function<int32_t(int32_t&)>& load);
    // Bytes of any format a file may hold, through a temporary file that
    // lives as long as the display.
    int32_t displayBytes(std::span<const uint8_t> bytes, ColorManagement colors);
    int32_t displayPdf(const std::string& path, const std::string& password);
    // A temporary file of ours shown as a file would be; it then belongs to
    // the display: tied to the picture's entry, or (a PDF, which keeps its
    // file open, or a failure) its name removed at once.
    int32_t displayTempFile(const std::string& path, ColorManagement colors);
    // The open PDF document closed (a download begins).
    void closePdfDocument() { closePdf(); }
    // The reset before a new document arrives.
    void resetForNewDocument() { resetViewer(ResetFor::NewDocument); }
    // The picture painting uses: the working copy when one exists, else the
    // current image; 0 when nothing is shown.
    int32_t workingImage() const override { return s_.workingImage != 0 ? s_.workingImage : s_.currentImage; }
    std::string imageFormat() const;
    // The image temporary file name (temporary folder + |hwnd|).
    const std::string& imageTempFile() const { return imageTempFile_; }
    // The part of the control that holds the keyboard focus: 0 none, 1 the
    // viewer surface, 2 the horizontal bar, 3 the vertical bar, 4 the corner box.
    int32_t focusOwner() const override { return focusOwner_; }

private:
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
    bool silentMode() const override { return s_.silentMode; }
    void drawView(int32_t image) override;
    void raiseBeforeZoomChange() override { sink_.raise(ViewerEvent::BeforeZoomChange); }
    void raiseZoomChange() override { sink_.raise(ViewerEvent::ZoomChange); }
    void refreshMouseCursor() override { mouse_.ApplyModeCursor(); }
    void refreshMenuChecks() override;
    void refreshScrollBarsMark() override { sink_.menuMarkChanged(MenuMark::ScrollBars); }
    std::optional<AreaRect> selectionInImage() const override { return selection_.GetRectValues(); }
    void showCriticalMessage(const std::string& text) override;
    // RenderHost
    bool lockControl() const override { return s_.lockControl; }
    int32_t documentId() const override;
    bool documentIsPdf() const override { return s_.documentType == DocumentTypePDF; }
    std::string formatName(int32_t image) const override;
    void raisePictureChange() override { sink_.raise(ViewerEvent::PictureChange); }
    void raisePictureChanged() override { sink_.raise(ViewerEvent::PictureChanged); }
    void raisePageChange() override { sink_.raise(ViewerEvent::PageChange); }
    void raiseDisplay() override { sink_.raise(ViewerEvent::Display); }
    void ensureWheelHook() override;
    // A rectangle whose place no longer fits a Long stays where it was.
    void redrawSelection(int32_t) override { selection_.FollowPicture(); }
    void refreshQualityMenuChecks() override { sink_.menuMarkChanged(MenuMark::Quality); }
    bool disableAutoFocus() const override { return s_.disableAutoFocus; }
    void updateScrollBarVisibility() override;
    // FramesHost
    void enableMenuItem(FrameMenuItem item, bool enabled) override { sink_.frameItemEnabled(item, enabled); }
    void clearDrawingSurface() override { window_.clearSurface(); }
    void startAnimationTimer(uint32_t delayMs) override;
    void killAnimationTimer() override;
    int32_t renderPdfPage(int32_t page) override { return pdf_.RenderPage(page); }
    // MouseModesHost
    void showPlainMessage(const std::string& text) override { sink_.showMessage(text, window::vbOKOnly); }
    int32_t zoomToSelection() override { return zoomRect(); }
    void openContextMenu(float x, float y) override { sink_.contextMenuRequested(x, y); }
    // PdfHost
    void releaseDisplayedPicture() override { releaseDisplayedImage(); }
    void resetForDocument(pdf::PdfHost::Reset reset) override;
    std::string askPassword() override;
    void raisePasswordRequest(std::string& password) override { sink_.passwordRequested(password); }
    void showPageImage(int32_t image, int32_t page) override;

    void initialiseSteps();
    // The reset before a picture is shown: for a new document (everything
    // cleared), after the host closed the image (its sizes kept), or for
    // another page of the open document (the page count and the record of
    // the last drawn document kept, so the page is no new picture).
    enum class ResetFor { NewDocument, ClosedImage, AnotherPage };
    void resetViewer(ResetFor reason);
    void releaseDisplayedImage();
    void discardImageTempCopy();
    void closePdf() { pdf_.CloseDocument(); }
    // A file no decoder read, tried as a PDF without messages: 0 when it
    // opened, else UnknownImageFormat.
    int32_t displayAsPdfSilently(const std::string& path);
    // After a load: metrics and frames, then a layout that starts at the
    // alignment, showing page `page`.
    void showNewImage(int32_t page);
    // The window's scroll bars show what the layout computed.
    void syncScrollBarsToWindow();
    void syncScrollRangesToWindow();
    MouseArgs raiseMouseEvent(MouseEventKind kind, const window::MouseEvent& e);
    void keyDownOnSurface(int32_t keyCode, int32_t shift);
    // Returns the key code as the key-up handlers left it.
    int32_t keyUpOnSurface(int32_t keyCode, int32_t shift);
    void wheelStep(int32_t keyCode);
    void installWheelHook();
    void removeWheelHook();

    ViewerSink& sink_;
    window::ControlWindow window_;
    ViewState s_;
    Layout layout_;
    Renderer renderer_;
    Frames frames_;
    Selection selection_;
    MouseModes mouse_;
    pdf::PdfSettings pdfSettings_;
    pdf::PdfDisplay pdf_;

    bool imageFromTempFile_ = false;
    bool terminated_ = false;
    std::string imageTempFile_;
    int32_t focusOwner_ = 0;
};

}  // namespace orrery::viewer
