// The private side of the control Orrery (orrery/orrery.h): its parts, which
// the member files under control/members/ and the persistence reach.
#pragma once
#include "control/class_factory.h"
#include "control/context_menu.h"
#include "orrery/orrery.h"
#include "platform/automation/dispatch.h"
#include "orrery/automation/events.h"
#include "platform/automation/property_bag.h"
#include "platform/automation/property_notifier.h"
#include "platform/window/clipboard.h"
#include "net/internet_display.h"
#include "platform/window/control_window.h"
#include "viewer/viewer.h"

namespace orrery::control {

using viewer::DocumentType;
using viewer::DocumentTypeImage;
using viewer::DocumentTypeNone;
using viewer::DocumentTypePDF;

// What a control holds: its events and change notification, its context
// menu, its viewing engine, whose news it hears as the engine's sink, and its
// internet downloads, which it serves as their host.
struct Orrery::Parts final : viewer::ViewerSink, net::DownloadHost {
    Parts(Orrery& owner, window::WindowBackend& backend, const ControlClass& cls);

    // ViewerSink: the engine's news as events, menu marks and message boxes.
    void raise(viewer::ViewerEvent event) override;
    void rotated(RotateFlipType type) override;
    void mouseEvent(viewer::MouseEventKind kind, viewer::MouseArgs& args) override;
    void keyDown(int16_t keyCode, int16_t shift) override;
    void keyUp(int16_t& keyCode, int16_t shift) override;
    void keyPress(int16_t keyAscii) override;
    void wheelTurned(bool up) override;
    void filesDropped(std::vector<std::string> files) override;
    void passwordRequested(std::string& password) override;
    void frameItemEnabled(FrameMenuItem item, bool enabled) override;
    void menuMarkChanged(viewer::MenuMark mark) override;
    void contextMenuRequested(float x, float y) override;
    void showMessage(const std::string& text, int32_t style) override;

    // DownloadHost: the downloads end in the control's own displays.
    bool documentIsPdf() const override { return viewer.state().documentType == DocumentTypePDF; }
    void closePdfDocument() override { viewer.closePdfDocument(); }
    void resetForNewDocument() override { viewer.resetForNewDocument(); }
    int32_t displayDownloadedBytes(std::vector<uint8_t>& bytes) override;
    int32_t displayDownloadedFile(const std::string& path) override;
    std::string freshTempFileName() override;
    void runMessageLoop() override;
    void dataReceived(int32_t percentProgress, int32_t leftToTransfer, int32_t totalLength) override;
    int32_t lastStatus() const override { return viewer.state().status; }

    Orrery& control;
    // First: the thread's start-up runs before anything else of the control.
    ServerObject live;
    automation::EventSource events;
    automation::PropertyNotifier notifier;
    ContextMenu menu;
    viewer::Viewer viewer;
    net::InternetDisplay internet{*this};
    bool enabled = true;
    bool enableMenu = true;
    bool viewerDrop = false;
};

inline viewer::ViewState& Orrery::state() { return p_->viewer.state(); }
inline const viewer::ViewState& Orrery::state() const { return p_->viewer.state(); }
inline window::ControlWindow& Orrery::window() { return p_->viewer.window(); }
inline const window::ControlWindow& Orrery::window() const { return p_->viewer.window(); }

}  // namespace orrery::control
