#include "qt_window_backend.h"

#include <QCoreApplication>
#include <QTimerEvent>

#include "qt_cursors.h"
#include "qt_dialogs.h"

namespace orrery::qt {

QtWindowBackend::QtWindowBackend() { clock_.start(); }

QtWindowBackend::~QtWindowBackend() {
    for (const auto& entry : timerOwners_) QObject::killTimer(entry.first);
}

void QtWindowBackend::bind(window::ControlWindow& window, QWidget* widget) { widgets_[&window] = widget; }

QWidget* QtWindowBackend::widgetOf(const window::ControlWindow& window) const { return shownBy(window); }

QWidget* QtWindowBackend::shownBy(const window::ControlWindow& window) const {
    const auto it = widgets_.find(&window);
    return it == widgets_.end() ? nullptr : it->second.data();
}

void QtWindowBackend::attach(window::ControlWindow& window) { widgets_[&window]; }

void QtWindowBackend::detach(window::ControlWindow& window) {
    for (auto it = timers_.begin(); it != timers_.end();) {
        if (it->first.first == &window) {
            QObject::killTimer(it->second);
            timerOwners_.erase(it->second);
            it = timers_.erase(it);
        } else {
            ++it;
        }
    }
    if (QWidget* widget = shownBy(window); widget && QWidget::mouseGrabber() == widget) widget->releaseMouse();
    widgets_.erase(&window);
}

// --- Timers --------------------------------------------------------------------

void QtWindowBackend::setTimer(window::ControlWindow& window, uint32_t id, uint32_t intervalMs) {
    killTimer(window, id);
    const int interval = static_cast<int>(std::min<uint32_t>(std::max<uint32_t>(intervalMs, 1), INT32_MAX));
    const int qtId = QObject::startTimer(interval, Qt::PreciseTimer);
    if (qtId == 0) return;
    timers_[{&window, id}] = qtId;
    timerOwners_[qtId] = {&window, id};
}

void QtWindowBackend::killTimer(window::ControlWindow& window, uint32_t id) {
    const auto it = timers_.find({&window, id});
    if (it == timers_.end()) return;
    QObject::killTimer(it->second);
    timerOwners_.erase(it->second);
    timers_.erase(it);
}

bool QtWindowBackend::hasTimer(const window::ControlWindow& window, uint32_t id) const {
    return timers_.count({const_cast<window::ControlWindow*>(&window), id}) != 0;
}

void QtWindowBackend::timerEvent(QTimerEvent* event) {
    const auto it = timerOwners_.find(event->timerId());
    if (it == timerOwners_.end()) return;
    const auto [window, id] = it->second;
    window->deliverTimer(id);
}

void QtWindowBackend::processPendingEvents() { QCoreApplication::processEvents(); }

// --- Dialogs -------------------------------------------------------------------

int32_t QtWindowBackend::messageBox(window::ControlWindow& window, const window::MessageBoxRequest& request) {
    return showMessageBox(shownBy(window), request);
}

int32_t QtWindowBackend::popupMenu(window::ControlWindow& window, const window::PopupMenuRequest& request) {
    QWidget* widget = shownBy(window);
    if (!widget) return 0;
    // The request is in client pixels of the device; the menu opens in the
    // widget's logical coordinates.
    const double ratio = widget->devicePixelRatioF();
    const int border = window.borderWidth();
    const QPoint local(static_cast<int>((request.x + border) / ratio), static_cast<int>((request.y + border) / ratio));
    return showPopupMenu(widget, request, widget->mapToGlobal(local));
}

std::string QtWindowBackend::openFileDialog(window::ControlWindow& window, const window::OpenFileRequest& request) {
    return showOpenFileDialog(shownBy(window), request);
}

std::string QtWindowBackend::inputBox(window::ControlWindow& window, const window::InputBoxRequest& request) {
    return showInputBox(shownBy(window), request);
}

// --- Presenting, cursor, focus, capture ------------------------------------------

void QtWindowBackend::invalidate(window::ControlWindow& window, const window::Rect& area, window::Repaint when) {
    QWidget* widget = shownBy(window);
    if (!widget) return;
    // Device pixels to logical ones, rounded outwards.
    const double ratio = widget->devicePixelRatioF();
    const QRectF logical(area.x / ratio, area.y / ratio, area.width / ratio, area.height / ratio);
    const QRect rect = logical.toAlignedRect();
    if (when == window::Repaint::Immediate) widget->repaint(rect);
    else widget->update(rect);
}

void QtWindowBackend::setCursor(window::ControlWindow& window, const window::Cursor& cursor) {
    if (QWidget* widget = shownBy(window)) widget->setCursor(qtCursor(cursor));
}

void QtWindowBackend::requestFocus(window::ControlWindow& window) {
    if (QWidget* widget = shownBy(window)) widget->setFocus(Qt::OtherFocusReason);
}

void QtWindowBackend::setCapture(window::ControlWindow& window) {
    QWidget* widget = shownBy(window);
    if (widget && widget->isVisible()) widget->grabMouse();
}

void QtWindowBackend::releaseCapture(window::ControlWindow& window) {
    QWidget* widget = shownBy(window);
    if (widget && QWidget::mouseGrabber() == widget) widget->releaseMouse();
}

}  // namespace orrery::qt
