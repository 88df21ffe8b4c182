#include "orrery/qt/orrery_widget.h"

#include <cmath>

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFocusEvent>
#include <QImage>
#include <QKeyEvent>
#include <QMimeData>
#include <QMouseEvent>
#include <QBackingStore>
#include <QPaintEngine>
#include <QPainter>
#include <QPaintEvent>
#include <QWheelEvent>

#include "control/orrery.h"
#include "key_codes.h"
#include "orrery/automation/events.h"
#include "platform/window/drop_data.h"
#include "qt_window_backend.h"

namespace orrery::qt {

namespace {

int32_t buttonNumber(Qt::MouseButton button) {
    switch (button) {
        case Qt::LeftButton: return window::vbLeftButton;
        case Qt::RightButton: return window::vbRightButton;
        case Qt::MiddleButton: return window::vbMiddleButton;
        default: return 0;
    }
}

// An event argument as Qt carries it: texts, truth values and numbers; other
// kinds (objects, arrays) as an invalid QVariant.
QVariant toQVariant(const automation::Variant& argument) {
    const automation::Variant value = argument.dereferenced();
    switch (value.vt()) {
        case automation::VT_BSTR: return QString::fromStdString(value.str());
        case automation::VT_BOOL: return value.boolValue() != automation::VARIANT_FALSE;
        default: break;
    }
    automation::Variant number;
    if (value.changeType(automation::VT_R8, number) == automation::S_OK) return number.r8();
    return {};
}

bool controlKey(int32_t virtualKey) {
    return (virtualKey >= window::VK_PRIOR && virtualKey <= window::VK_DOWN) || virtualKey == window::VK_ADD ||
           virtualKey == window::VK_SUBTRACT;
}

}  // namespace

std::shared_ptr<QtWindowBackend> OrreryWidget::sharedBackend() {
    thread_local std::weak_ptr<QtWindowBackend> shared;
    std::shared_ptr<QtWindowBackend> backend = shared.lock();
    if (!backend) {
        backend = std::make_shared<QtWindowBackend>();
        shared = backend;
    }
    return backend;
}

OrreryWidget::OrreryWidget(QWidget* parent)
    : QWidget(parent), backend_(sharedBackend()), control_(std::make_unique<control::Orrery>(*backend_)) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFocusPolicy(Qt::StrongFocus);
    setMouseTracking(true);
    setAcceptDrops(true);
    control_->InitProperties();
    backend_->bind(control_->controlWindow(), this);
    connectEvents();
    followSize();
    control_->Show();
}

OrreryWidget::~OrreryWidget() {
    backend_->bind(control_->controlWindow(), nullptr);
    control_.reset();
}

void OrreryWidget::connectEvents() {
    const automation::TypeDescription& table = control_->events().description();
    auto sink = std::make_shared<automation::FunctionSink>(
        [this, &table](automation::DISPID id, std::span<automation::Variant> args) {
            const automation::MemberInfo* event = table.find(id);
            if (!event) return automation::S_OK;
            QVariantList values;
            for (const automation::Variant& arg : args) values << toQVariant(arg);
            emit controlEvent(QString::fromStdString(event->name), values);
            return automation::S_OK;
        },
        &table);
    control_->events().connect(std::move(sink));
}

// --- Size and painting -----------------------------------------------------------

void OrreryWidget::followSize() {
    const double ratio = devicePixelRatioF();
    const int w = static_cast<int>(std::lround(width() * ratio));
    const int h = static_cast<int>(std::lround(height() * ratio));
    control_->controlWindow().setWindowSize(w, h);
}

void OrreryWidget::resizeEvent(QResizeEvent*) { followSize(); }

void OrreryWidget::paintEvent(QPaintEvent* event) {
    window::ControlWindow& win = control_->controlWindow();
    // A change of screen density shows here first.
    if (win.windowWidth() != std::lround(width() * devicePixelRatioF())) followSize();
    const int w = win.windowWidth(), h = win.windowHeight();
    if (w <= 0 || h <= 0) return;
    QPainter painter(this);
    const bool wholeWidget = QRegion(rect()).subtracted(event->region()).isEmpty();
    if ((wholeWidget || !coveredByOthers()) && composeInPlace(painter)) return;
    frame_.resize(static_cast<size_t>(w) * static_cast<size_t>(h));
    const gdiplus::Surface surface{frame_.data(), w, h, static_cast<ptrdiff_t>(w) * 4};
    if (win.compose(surface) != gdiplus::Status::Ok) return;
    // The composed window is opaque: its pixels are copied, not blended.
    QImage image(reinterpret_cast<const uchar*>(frame_.data()), w, h, w * 4, QImage::Format_RGB32);
    image.setDevicePixelRatio(devicePixelRatioF());
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    painter.setClipRegion(event->region());
    painter.drawImage(QPointF(0, 0), image);
}

bool OrreryWidget::coveredByOthers() const {
    for (const QObject* child : children())
        if (const auto* widget = qobject_cast<const QWidget*>(child); widget && widget->isVisible()) return true;
    // Siblings come in stacking order: those after a widget lie over it.
    const QWidget* level = this;
    QRect area = rect();
    while (!level->isWindow() && level->parentWidget()) {
        const QWidget* parent = level->parentWidget();
        area.translate(level->pos());
        const QObjectList& siblings = parent->children();
        for (qsizetype i = siblings.indexOf(const_cast<QWidget*>(level)) + 1; i < siblings.size(); ++i) {
            const auto* sibling = qobject_cast<const QWidget*>(siblings[i]);
            if (sibling && sibling->isVisible() && !sibling->isWindow() && sibling->geometry().intersects(area))
                return true;
        }
        level = parent;
    }
    return false;
}

bool OrreryWidget::composeInPlace(QPainter& painter) {
    // Only the window's own backing store: a widget rendered elsewhere (a
    // grab, a print) is drawn as usual.
    QPaintEngine* engine = painter.paintEngine();
    QPaintDevice* device = engine ? engine->paintDevice() : nullptr;
    QBackingStore* store = backingStore();
    if (!device || !store || store->paintDevice() != device || device->devType() != QInternal::Image) return false;
    auto* target = static_cast<QImage*>(device);
    // Writing into a shared image would first copy it away from the painter.
    if (!target->isDetached()) return false;
    if (target->format() != QImage::Format_RGB32 && target->format() != QImage::Format_ARGB32_Premultiplied)
        return false;
    // The widget lies in the image at an offset, at the device size, unturned.
    const QTransform place = painter.deviceTransform();
    const double ratio = devicePixelRatioF();
    if (place.type() > QTransform::TxScale || std::abs(place.m11() - ratio) > 1e-9 ||
        std::abs(place.m22() - ratio) > 1e-9)
        return false;
    const window::ControlWindow& win = control_->controlWindow();
    const int w = win.windowWidth(), h = win.windowHeight();
    const long x = std::lround(place.dx()), y = std::lround(place.dy());
    if (x < 0 || y < 0 || x + w > target->width() || y + h > target->height()) return false;
    const ptrdiff_t stride = target->bytesPerLine();
    uchar* origin = target->bits() + y * stride + x * 4;
    const gdiplus::Surface surface{reinterpret_cast<uint32_t*>(origin), w, h, stride};
    return win.compose(surface) == gdiplus::Status::Ok;
}

// --- Mouse and wheel -------------------------------------------------------------

float OrreryWidget::deviceX(double logicalX) const { return static_cast<float>(logicalX * devicePixelRatioF()); }
float OrreryWidget::deviceY(double logicalY) const { return static_cast<float>(logicalY * devicePixelRatioF()); }

bool OrreryWidget::forwardButton(QMouseEvent* event, ButtonEntry entry) {
    const int32_t button = buttonNumber(event->button());
    if (button == 0) return false;
    (control_->controlWindow().*entry)(button, shiftMask(event->modifiers()), deviceX(event->position().x()),
                                       deviceY(event->position().y()));
    return true;
}

void OrreryWidget::mousePressEvent(QMouseEvent* event) {
    if (!forwardButton(event, &window::ControlWindow::mouseDown)) QWidget::mousePressEvent(event);
}

void OrreryWidget::mouseMoveEvent(QMouseEvent* event) {
    control_->controlWindow().mouseMove(shiftMask(event->modifiers()), deviceX(event->position().x()),
                                        deviceY(event->position().y()));
}

void OrreryWidget::mouseReleaseEvent(QMouseEvent* event) {
    if (!forwardButton(event, &window::ControlWindow::mouseUp)) QWidget::mouseReleaseEvent(event);
}

void OrreryWidget::mouseDoubleClickEvent(QMouseEvent* event) {
    if (!forwardButton(event, &window::ControlWindow::mouseDoubleClick)) QWidget::mouseDoubleClickEvent(event);
}

void OrreryWidget::wheelEvent(QWheelEvent* event) {
    const int32_t shift = shiftMask(event->modifiers());
    const float x = deviceX(event->position().x()), y = deviceY(event->position().y());
    const QPoint delta = event->angleDelta();
    window::ControlWindow& win = control_->controlWindow();
    if (delta.y() != 0) win.wheel(delta.y(), shift, x, y, window::WheelAxis::Vertical);
    if (delta.x() != 0) win.wheel(delta.x(), shift, x, y, window::WheelAxis::Horizontal);
    event->accept();
}

// --- Keys and focus ----------------------------------------------------------------

bool OrreryWidget::event(QEvent* event) {
    // The keys the control acts on itself (scrolling, and the keypad's zoom)
    // reach it even where the host made them shortcuts.
    if (event->type() == QEvent::ShortcutOverride) {
        auto* key = static_cast<QKeyEvent*>(event);
        if (controlKey(virtualKey(key->key(), key->modifiers()))) {
            event->accept();
            return true;
        }
    }
    return QWidget::event(event);
}

void OrreryWidget::keyPressEvent(QKeyEvent* event) {
    window::ControlWindow& win = control_->controlWindow();
    const int32_t key = virtualKey(event->key(), event->modifiers());
    if (key != 0) win.keyDown(key, shiftMask(event->modifiers()));
    // The character the key types, when it is one of the code page's.
    const QString text = event->text();
    if (text.size() == 1 && text[0].unicode() <= 0xFF) win.keyPress(text[0].unicode());
    event->accept();
}

void OrreryWidget::keyReleaseEvent(QKeyEvent* event) {
    // Held keys repeat their down and character, not their release.
    if (event->isAutoRepeat()) return;
    const int32_t key = virtualKey(event->key(), event->modifiers());
    if (key != 0) control_->controlWindow().keyUp(key, shiftMask(event->modifiers()));
    event->accept();
}

void OrreryWidget::focusInEvent(QFocusEvent* event) {
    // A pop-up menu of the control's own does not take the focus from it.
    if (event->reason() != Qt::PopupFocusReason) control_->controlWindow().hostFocusIn();
    QWidget::focusInEvent(event);
}

void OrreryWidget::focusOutEvent(QFocusEvent* event) {
    if (event->reason() != Qt::PopupFocusReason) control_->controlWindow().hostFocusOut();
    QWidget::focusOutEvent(event);
}

// --- Drops ------------------------------------------------------------------------

bool OrreryWidget::takesDrops() const {
    const window::ControlWindow& win = control_->controlWindow();
    return win.enabled() && win.dropMode() == window::DropMode::Manual;
}

void OrreryWidget::dragEnterEvent(QDragEnterEvent* event) {
    if (takesDrops()) event->acceptProposedAction();
}

void OrreryWidget::dragMoveEvent(QDragMoveEvent* event) {
    if (takesDrops()) event->acceptProposedAction();
}

void OrreryWidget::dropEvent(QDropEvent* event) {
    const QMimeData* mime = event->mimeData();
    const QByteArray uriList = mime->data(QStringLiteral("text/uri-list"));
    const window::DropData data = mime->hasFormat(QStringLiteral("text/uri-list"))
                                      ? window::dropDataFromUriList(std::string_view(uriList.constData(),
                                                                                     static_cast<size_t>(uriList.size())))
                                      : window::DropData{};
    control_->controlWindow().drop(data);
    event->acceptProposedAction();
}

}  // namespace orrery::qt
