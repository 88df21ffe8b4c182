// The desktop backend of the window layer on Qt 6 Widgets: a monotonic clock
// and Qt timers, Qt's event loop, real message boxes, menus, file dialogs
// and input boxes, the system clipboard, and presenting through the QWidget
// that shows a window.
//
// A window is shown by the widget bound to it (bind); until then, and after
// unbind, presenting, cursor, focus and capture requests for it do nothing
// while timers and dialogs still work. One backend serves every window of
// the GUI thread; it must be created after the QApplication.
#pragma once
#include <cstdint>
#include <map>
#include <utility>

#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QWidget>

#include "platform/window/control_window.h"
#include "orrery/window/window.h"
#include "qt_clipboard.h"

namespace orrery::qt {

class QtWindowBackend final : public QObject, public window::WindowBackend {
public:
    QtWindowBackend();
    ~QtWindowBackend() override;

    // The widget that shows `window`, or null to stop showing it.
    void bind(window::ControlWindow& window, QWidget* widget);
    QWidget* widgetOf(const window::ControlWindow& window) const;

    // --- WindowBackend -----------------------------------------------------
    void attach(window::ControlWindow& window) override;
    void detach(window::ControlWindow& window) override;
    int64_t now() const override { return clock_.elapsed(); }
    void setTimer(window::ControlWindow& window, uint32_t id, uint32_t intervalMs) override;
    void killTimer(window::ControlWindow& window, uint32_t id) override;
    void processPendingEvents() override;
    int32_t messageBox(window::ControlWindow& window, const window::MessageBoxRequest& request) override;
    int32_t popupMenu(window::ControlWindow& window, const window::PopupMenuRequest& request) override;
    std::string openFileDialog(window::ControlWindow& window, const window::OpenFileRequest& request) override;
    std::string inputBox(window::ControlWindow& window, const window::InputBoxRequest& request) override;
    void invalidate(window::ControlWindow& window, const window::Rect& area, window::Repaint when) override;
    void setCursor(window::ControlWindow& window, const window::Cursor& cursor) override;
    void requestFocus(window::ControlWindow& window) override;
    void setCapture(window::ControlWindow& window) override;
    void releaseCapture(window::ControlWindow& window) override;
    window::Clipboard& clipboard() override { return clipboard_; }

    // Whether timer `id` of the window runs.
    bool hasTimer(const window::ControlWindow& window, uint32_t id) const;
    size_t timerCount() const { return timers_.size(); }

protected:
    void timerEvent(QTimerEvent* event) override;

private:
    using TimerKey = std::pair<window::ControlWindow*, uint32_t>;

    // The widget of a window, or null when none is bound (or it is gone).
    QWidget* shownBy(const window::ControlWindow& window) const;

    QElapsedTimer clock_;
    std::map<const window::ControlWindow*, QPointer<QWidget>> widgets_;
    std::map<TimerKey, int> timers_;         // window and id -> Qt's timer id
    std::map<int, TimerKey> timerOwners_;    // Qt's timer id -> window and id
    QtClipboard clipboard_;  // the system clipboard
};

}  // namespace orrery::qt
