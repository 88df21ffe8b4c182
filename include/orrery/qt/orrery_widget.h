// OrreryWidget: one viewer control in a Qt widget. The widget owns the
// control, shows what the control's window composes (in device pixels, so
// nothing is scaled on high-density screens), forwards the user's input with
// the platform's numbers, and keeps the control's window at its own size.
//
// The control's members are reached through control() (the C++ methods or
// the dispatch interface). Its events arrive as controlEvent(name, args);
// a host that must answer by-reference arguments connects a sink to
// control().events() instead.
#pragma once
#include <cstdint>
#include <memory>
#include <vector>

#include <QString>
#include <QVariantList>
#include <QWidget>

class QPainter;

namespace orrery::control {
class Orrery;
}
namespace orrery::window {
class ControlWindow;
}

namespace orrery::qt {

class QtWindowBackend;

class OrreryWidget : public QWidget {
    Q_OBJECT
public:
    // Widgets of one thread share one backend (and so one clipboard).
    explicit OrreryWidget(QWidget* parent = nullptr);
    ~OrreryWidget() override;

    control::Orrery& control() { return *control_; }
    QtWindowBackend& backend() { return *backend_; }
    // The backend the widgets of this thread share, made on first use; it
    // lives as long as a widget holds it.
    static std::shared_ptr<QtWindowBackend> sharedBackend();

signals:
    // An event of the control: its name ("Click", "KeyDownControl", ...) and
    // its arguments in call order, read after every sink has seen them.
    void controlEvent(const QString& name, const QVariantList& args);

protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    // The control's window follows the widget's size in device pixels.
    void followSize();
    // When the widget is painted onto an image that holds it at its device
    // size (the window's backing store), the control's window is composed
    // straight into that image, saving a copy of every frame; false when it
    // cannot be. The whole window is composed, so this is done only when the
    // whole widget is painted or no other widget lies over it.
    bool composeInPlace(QPainter& painter);
    // A visible child, or a widget stacked above this one or one of its
    // parents, covers part of it.
    bool coveredByOthers() const;
    // Window coordinates (device pixels) of a point in the widget.
    float deviceX(double logicalX) const;
    float deviceY(double logicalY) const;
    bool takesDrops() const;
    // Hands a press, release or double click of a button the platform
    // numbers to the window; false for other buttons.
    using ButtonEntry = void (window::ControlWindow::*)(int32_t, int32_t, float, float);
    bool forwardButton(QMouseEvent* event, ButtonEntry entry);
    void connectEvents();

    std::shared_ptr<QtWindowBackend> backend_;
    std::unique_ptr<control::Orrery> control_;
    // What the control's window composes, shown as a QImage over these pixels.
    std::vector<uint32_t> frame_;
};

}  // namespace orrery::qt
