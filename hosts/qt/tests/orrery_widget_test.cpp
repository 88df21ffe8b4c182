// OrreryWidget in a real window: what the screen shows against the headless
// window after the same input, and the backend's dialogs, timers, cursors,
// focus and drops as Qt delivers them.
#include <QApplication>
#include <QBackingStore>
#include <QFileDialog>
#include <QInputDialog>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QMimeData>
#include <QTest>
#include <QTimer>
#include <QUrl>
#include <QWindow>
#include <QWheelEvent>
#include <gtest/gtest.h>

#include "orrery/mouse_modes.h"
#include "platform/window/hand_cursor.h"
#include "qt_window_backend.h"
#include "support/twin_viewer.h"
#include "support/frame_builders.h"
#include "support/test_support.h"

namespace orrery::qt::test {
namespace {

using control::Orrery;
using window::ControlWindow;

constexpr int kWidth = 320;
constexpr int kHeight = 240;

class OrreryWidgetTest : public ::testing::Test {
protected:
    void SetUp() override {
        picture_ = dir_.file("pattern.bmp").string();
        writePatternBmp(picture_, 900, 700);
    }
    // Both controls show the pattern at 100 %.
    void showPatternAt100(TwinViewer& twin) {
        twin.both([&](Orrery& c) {
            ASSERT_EQ(c.DisplayFromFile(picture_), 0);
            c.SetZoom100();
        });
    }
    void sendWheel(QWidget& w, QPoint angle, QPointF at) {
        QWheelEvent event(at, w.mapToGlobal(at), QPoint(), angle, Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase,
                          false);
        QApplication::sendEvent(&w, &event);
    }

    // A left-button drag through `path` in the real window (with QTest) and
    // in the headless one.
    void dragOnBoth(TwinViewer& twin, const std::vector<QPoint>& path) {
        QWidget& w = twin.widget();
        ControlWindow& ref = twin.reference().controlWindow();
        QTest::mouseMove(&w, path.front());
        QTest::mousePress(&w, Qt::LeftButton, Qt::NoModifier, path.front());
        twin.headless().mouseMove(ref, 0, path.front().x(), path.front().y());
        twin.headless().mouseDown(ref, window::vbLeftButton, 0, path.front().x(), path.front().y());
        for (const QPoint& p : path) {
            QTest::mouseMove(&w, p);
            twin.headless().mouseMove(ref, 0, p.x(), p.y());
        }
        QTest::mouseRelease(&w, Qt::LeftButton, Qt::NoModifier, path.back());
        twin.headless().mouseUp(ref, window::vbLeftButton, 0, path.back().x(), path.back().y());
    }

    orrery::test::TempDir dir_;
    std::string picture_;
};

TEST_F(OrreryWidgetTest, ScreenShowsWhatTheHeadlessWindowComposes) {
    TwinViewer twin(kWidth, kHeight);
    EXPECT_EQ(twin.shown().controlWindow().windowWidth(), kWidth);
    EXPECT_EQ(twin.shown().controlWindow().windowHeight(), kHeight);
    twin.both([&](Orrery& c) {
        c.setZoomMode(2);
        ASSERT_EQ(c.DisplayFromFile(picture_), 0);
    });
    EXPECT_TRUE(twin.screenMatchesReference());
    // The window follows the widget's size.
    twin.widget().resize(kWidth + 60, kHeight + 30);
    twin.reference().controlWindow().setWindowSize(kWidth + 60, kHeight + 30);
    EXPECT_EQ(twin.shown().controlWindow().windowWidth(), kWidth + 60);
    EXPECT_TRUE(twin.screenMatchesReference());
}

TEST_F(OrreryWidgetTest, WheelScrollsAsTheHeadlessWindowDoes) {
    TwinViewer twin(kWidth, kHeight);
    showPatternAt100(twin);
    twin.both([](Orrery& c) { c.setMouseWheelMode(MouseWheelVerticalScroll); });
    const QPointF centre(kWidth / 2.0, kHeight / 2.0);
    // Two half notches make one notch, as a fine-grained wheel sends them.
    sendWheel(twin.widget(), {0, -60}, centre);
    sendWheel(twin.widget(), {0, -60}, centre);
    twin.headless().wheel(twin.reference().controlWindow(), -120, 0, centre.x(), centre.y());
    EXPECT_GT(twin.shown().GetVScrollBarPosition(), 0);
    EXPECT_EQ(twin.shown().GetVScrollBarPosition(), twin.reference().GetVScrollBarPosition());
    EXPECT_TRUE(twin.screenMatchesReference());
    EXPECT_EQ(twin.eventsNamed("MouseWheelControl").size(), 1u);
}

// The widget composes the control's window straight into the window's
// backing store, the whole window at once; a widget lying over it keeps its
// own pixels when only part of the viewer is repainted.
TEST_F(OrreryWidgetTest, WidgetsLyingOverTheViewerStayDrawn) {
    QWidget frame;
    frame.resize(kWidth, kHeight);
    auto* viewer = new OrreryWidget(&frame);
    viewer->setGeometry(0, 0, kWidth, kHeight);
    auto* badge = new QWidget(&frame);
    badge->setGeometry(0, 0, 60, 30);
    badge->setAutoFillBackground(true);
    QPalette palette = badge->palette();
    palette.setColor(QPalette::Window, QColor(0x12, 0xC4, 0x5A));
    badge->setPalette(palette);
    badge->raise();
    frame.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&frame));
    Orrery& c = viewer->control();
    c.setSilentMode(true);
    ASSERT_EQ(c.DisplayFromFile(picture_), 0);
    c.SetZoom100();
    c.setMouseWheelMode(MouseWheelVerticalScroll);
    const QRgb badgeColour = qRgb(0x12, 0xC4, 0x5A);
    auto badgeShown = [&] {
        const QImage screen = frame.screen()->grabWindow(frame.winId()).toImage();
        for (const QPoint p : {QPoint(0, 0), QPoint(1, 1), QPoint(59, 29), QPoint(30, 15)})
            if (screen.pixel(p) != badgeColour) return false;
        return true;
    };
    EXPECT_TRUE(QTest::qWaitFor(badgeShown, 5000));
    // The wheel repaints the picture inside the viewer's border only; what
    // the backing store then holds is what the screen shows after any
    // exposure (flushed here at once).
    for (int notch = 0; notch < 3; ++notch) {
        sendWheel(*viewer, {0, -120}, {kWidth / 2.0, kHeight / 2.0});
        QTest::qWait(50);
        frame.backingStore()->flush(QRegion(frame.rect()), frame.windowHandle());
        EXPECT_TRUE(QTest::qWaitFor(badgeShown, 1000)) << "after notch " << notch;
    }
    EXPECT_GT(c.GetVScrollBarPosition(), 0);
}

TEST_F(OrreryWidgetTest, DragPansAsTheHeadlessWindowDoes) {
    TwinViewer twin(kWidth, kHeight);
    showPatternAt100(twin);
    twin.both([](Orrery& c) { c.setMouseMode(MouseModePan); });
    dragOnBoth(twin, {{200, 150}, {150, 110}, {120, 90}});
    EXPECT_GT(twin.shown().GetHScrollBarPosition(), 0);
    EXPECT_EQ(twin.shown().GetHScrollBarPosition(), twin.reference().GetHScrollBarPosition());
    EXPECT_EQ(twin.shown().GetVScrollBarPosition(), twin.reference().GetVScrollBarPosition());
    EXPECT_TRUE(twin.screenMatchesReference());
}

TEST_F(OrreryWidgetTest, KeysReachTheControlWithThePlatformsNumbers) {
    TwinViewer twin(kWidth, kHeight);
    showPatternAt100(twin);
    QWidget& w = twin.widget();
    QTest::keyClick(&w, Qt::Key_Down);
    QTest::keyClick(&w, Qt::Key_PageDown);
    QTest::keyClick(&w, Qt::Key_Right);
    ControlWindow& ref = twin.reference().controlWindow();
    twin.headless().keyStroke(ref, window::VK_DOWN, 0);
    twin.headless().keyStroke(ref, window::VK_NEXT, 0);
    twin.headless().keyStroke(ref, window::VK_RIGHT, 0);
    EXPECT_GT(twin.shown().GetVScrollBarPosition(), 0);
    EXPECT_EQ(twin.shown().GetVScrollBarPosition(), twin.reference().GetVScrollBarPosition());
    EXPECT_EQ(twin.shown().GetHScrollBarPosition(), twin.reference().GetHScrollBarPosition());
    // The keypad's plus is VK_ADD with the character '+'; a letter is its
    // capital's number with its own character.
    QTest::keyClick(&w, Qt::Key_Plus, Qt::KeypadModifier);
    twin.headless().keyStroke(ref, window::VK_ADD, 0, '+');
    QTest::keyClick(&w, 'A', Qt::ShiftModifier);
    twin.headless().keyStroke(ref, 'A', window::vbShiftMask, 'A');
    EXPECT_DOUBLE_EQ(twin.shown().ZOOM(), twin.reference().ZOOM());
    // Shift is a key of its own before the letter.
    const std::vector<int> expectedDowns{window::VK_DOWN, window::VK_NEXT, window::VK_RIGHT, window::VK_ADD, 0x10, 'A'};
    std::vector<int> downs;
    for (const RecordedEvent& e : twin.eventsNamed("KeyDownControl")) downs.push_back(e.args.value(0).toInt());
    EXPECT_EQ(downs, expectedDowns);
    EXPECT_EQ(twin.eventsNamed("KeyDownControl").back().args.value(1).toInt(), window::vbShiftMask);
    const auto presses = twin.eventsNamed("KeyPressControl");
    ASSERT_EQ(presses.size(), 2u);
    EXPECT_EQ(presses[0].args.value(0).toInt(), '+');
    EXPECT_EQ(presses[1].args.value(0).toInt(), 'A');
    EXPECT_EQ(twin.eventsNamed("KeyUpControl").size(), expectedDowns.size());
    EXPECT_TRUE(twin.screenMatchesReference());
}

TEST_F(OrreryWidgetTest, SelectionRectangleIsDrawnAsHeadless) {
    TwinViewer twin(kWidth, kHeight);
    showPatternAt100(twin);
    twin.both([](Orrery& c) { c.setMouseMode(MouseModeAreaSelection); });
    const QImage before = twin.screen();
    dragOnBoth(twin, {{40, 30}, {120, 90}, {200, 160}});
    EXPECT_TRUE(twin.screenMatchesReference());
    EXPECT_NE(twin.screen(), before);
}

// Answers the next pop-up menu from inside its event loop.
void answerMenu(const std::function<void(QMenu&)>& answer) {
    QTimer::singleShot(0, [answer] {
        const bool opened = QTest::qWaitFor([] { return QApplication::activePopupWidget() != nullptr; }, 5000);
        ASSERT_TRUE(opened);
        answer(*qobject_cast<QMenu*>(QApplication::activePopupWidget()));
    });
}

TEST_F(OrreryWidgetTest, ContextMenuChoiceReachesTheControl) {
    TwinViewer twin(kWidth, kHeight);
    showPatternAt100(twin);
    QWidget& w = twin.widget();
    int32_t chosenId = 0;
    QString chosenCaption;
    answerMenu([&](QMenu& menu) {
        for (QAction* action : menu.actions()) {
            if (action->isEnabled() && !action->isSeparator() && !action->menu() && action->data().toInt() != 0) {
                chosenId = action->data().toInt();
                chosenCaption = action->text();
                QTest::mouseClick(&menu, Qt::LeftButton, Qt::NoModifier, menu.actionGeometry(action).center());
                return;
            }
        }
        menu.close();
    });
    QTest::mouseClick(&w, Qt::RightButton, Qt::NoModifier, {100, 80});
    ASSERT_NE(chosenId, 0) << "the menu offered nothing to choose";
    const auto clicks = twin.eventsNamed("ClickMenu");
    ASSERT_EQ(clicks.size(), 1u) << chosenCaption.toStdString();
    EXPECT_EQ(clicks[0].args.value(0).toInt(), chosenId);

    // A menu closed without a choice answers nothing.
    answerMenu([](QMenu& menu) { menu.close(); });
    QTest::mouseClick(&w, Qt::RightButton, Qt::NoModifier, {100, 80});
    EXPECT_EQ(twin.eventsNamed("ClickMenu").size(), 1u);
    // The press that opened the menu left no button held.
    EXPECT_EQ(twin.shown().controlWindow().heldButtons(), 0);
}

// Answers the next modal dialog from inside its event loop.
void answerModal(const std::function<void(QWidget&)>& answer) {
    QTimer::singleShot(0, [answer] {
        const bool opened = QTest::qWaitFor([] { return QApplication::activeModalWidget() != nullptr; }, 5000);
        ASSERT_TRUE(opened);
        answer(*QApplication::activeModalWidget());
    });
}

TEST_F(OrreryWidgetTest, MessageBoxShowsTheRequestAndAnswersTheButton) {
    TwinViewer twin(kWidth, kHeight);
    ControlWindow& win = twin.shown().controlWindow();
    QString title, text;
    bool defaultIsNo = false;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    answerModal([&](QWidget& modal) {
        auto* box = qobject_cast<QMessageBox*>(&modal);
        ASSERT_NE(box, nullptr);
        title = box->windowTitle();
        text = box->text();
        icon = box->icon();
        defaultIsNo = static_cast<QAbstractButton*>(box->defaultButton()) == box->button(QMessageBox::No);
        box->button(QMessageBox::Yes)->click();
    });
    const int32_t answer =
        win.messageBox("Keep the picture?", window::vbYesNo + window::vbQuestion + window::vbDefaultButton2);
    EXPECT_EQ(answer, window::vbYes);
    EXPECT_EQ(text, QStringLiteral("Keep the picture?"));
    EXPECT_EQ(title, QApplication::applicationDisplayName());
    EXPECT_EQ(icon, QMessageBox::Question);
    EXPECT_TRUE(defaultIsNo);

    // Escape answers Cancel where the box has one.
    answerModal([](QWidget& modal) { QTest::keyClick(&modal, Qt::Key_Escape); });
    EXPECT_EQ(win.messageBox("Stop?", window::vbRetryCancel + window::vbCritical, "Title"), window::vbCancel);
}

TEST_F(OrreryWidgetTest, InputBoxAndFileDialogAnswerWhatThePersonChose) {
    TwinViewer twin(kWidth, kHeight);
    ControlWindow& win = twin.shown().controlWindow();
    QString label;
    answerModal([&](QWidget& modal) {
        auto* box = qobject_cast<QInputDialog*>(&modal);
        ASSERT_NE(box, nullptr);
        label = box->labelText();
        EXPECT_EQ(box->textValue(), QStringLiteral("draft"));
        box->setTextValue(QStringLiteral("s3cret"));
        box->accept();
    });
    EXPECT_EQ(win.inputBox({"Password of the document", "Locked", "draft"}), "s3cret");
    EXPECT_EQ(label, QStringLiteral("Password of the document"));
    answerModal([](QWidget& modal) { qobject_cast<QDialog*>(&modal)->reject(); });
    EXPECT_EQ(win.inputBox({"Password", "", "draft"}), "");

    // The file dialog opens in the folder asked for, with the filter in Qt's form.
    QStringList filters;
    answerModal([&](QWidget& modal) {
        auto* dialog = qobject_cast<QFileDialog*>(&modal);
        ASSERT_NE(dialog, nullptr);
        filters = dialog->nameFilters();
        dialog->selectFile(QString::fromStdString(picture_));
        static_cast<QDialog*>(dialog)->accept();
    });
    const std::string chosen = win.openFileDialog({"Open", "Bitmaps|*.bmp|All files|*.*", dir_.path().string()});
    EXPECT_EQ(chosen, picture_);
    EXPECT_EQ(filters, QStringList({QStringLiteral("Bitmaps (*.bmp)"), QStringLiteral("All files (*.*)")}));
}

TEST_F(OrreryWidgetTest, AnimationAdvancesInRealTime) {
    const std::string gif = dir_.file("blink.gif").string();
    orrery::test::writeFile(gif, orrery::test::animatedGif({{40, 40, 0xFF0000, 10}, {40, 40, 0x0000FF, 10}}));
    TwinViewer twin(kWidth, kHeight);
    twin.both([&](Orrery& c) { ASSERT_EQ(c.DisplayFromFile(gif), 0); });
    if (!twin.shown().AnimateGIF()) {
        ASSERT_EQ(twin.shown().PlayGif(), 0);
    }
    const int frameAtStart = twin.shown().CurrentPage();
    EXPECT_TRUE(QTest::qWaitFor([&] { return twin.shown().CurrentPage() != frameAtStart; }, 3000));
    // What the screen shows follows the frames.
    const QPoint centre(kWidth / 2, kHeight / 2);
    auto centreColour = [&] { return twin.screen().pixel(centre) & 0xFFFFFF; };
    EXPECT_TRUE(QTest::qWaitFor([&] { return centreColour() == 0xFF0000; }, 3000));
    EXPECT_TRUE(QTest::qWaitFor([&] { return centreColour() == 0x0000FF; }, 3000));
}

TEST_F(OrreryWidgetTest, CursorFollowsTheMousePointer) {
    TwinViewer twin(kWidth, kHeight);
    QWidget& w = twin.widget();
    twin.shown().setMousePointer(window::MousePointerCross);
    QTest::mouseMove(&w, {100, 100});
    EXPECT_EQ(w.cursor().shape(), Qt::CrossCursor);
    twin.shown().setMousePointer(window::MousePointerSize_W_E);
    QTest::mouseMove(&w, {101, 100});
    EXPECT_EQ(w.cursor().shape(), Qt::SizeHorCursor);
    // The control's own open hand is its image with its hot spot.
    twin.shown().setMousePointer(window::MousePointerOpenHand);
    QTest::mouseMove(&w, {102, 100});
    const auto hand = window::handCursor(window::MousePointerOpenHand);
    ASSERT_TRUE(hand && hand->image);
    EXPECT_EQ(w.cursor().shape(), Qt::BitmapCursor);
    EXPECT_EQ(w.cursor().hotSpot(), QPoint(hand->hotspotX, hand->hotspotY));
    EXPECT_EQ(w.cursor().pixmap().size(), QSize(hand->image->width(), hand->image->height()));
}

TEST_F(OrreryWidgetTest, FocusAndCaptureGoThroughQt) {
    TwinViewer twin(kWidth, kHeight);
    OrreryWidget& w = twin.widget();
    ControlWindow& win = twin.shown().controlWindow();
    EXPECT_TRUE(QTest::qWaitFor([&] { return w.hasFocus(); }, 2000));
    EXPECT_NE(win.focus(), window::FocusTarget::None);
    win.setCapture();
    EXPECT_EQ(QWidget::mouseGrabber(), &w);
    win.releaseCapture();
    EXPECT_EQ(QWidget::mouseGrabber(), nullptr);
    // The focus leaves for another window and comes back when asked for.
    QWidget other;
    other.setFocusPolicy(Qt::StrongFocus);
    other.show();
    other.activateWindow();
    other.setFocus();
    EXPECT_TRUE(QTest::qWaitFor([&] { return win.focus() == window::FocusTarget::None; }, 2000));
    w.activateWindow();
    EXPECT_TRUE(win.setFocus(window::FocusTarget::Control));
    EXPECT_TRUE(QTest::qWaitFor([&] { return w.hasFocus(); }, 2000));
}

TEST_F(OrreryWidgetTest, DroppedFilesReachTheControl) {
    TwinViewer twin(kWidth, kHeight);
    QWidget& w = twin.widget();
    auto dropUrls = [&](const QList<QUrl>& urls) {
        QMimeData mime;
        mime.setUrls(urls);
        QDragEnterEvent enter(QPoint(50, 50), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(&w, &enter);
        const bool accepted = enter.isAccepted();
        QDropEvent drop(QPointF(50, 50), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        if (accepted) QApplication::sendEvent(&w, &drop);
        return accepted;
    };
    // Without the control's drop property the widget refuses drops.
    const QList<QUrl> urls{QUrl::fromLocalFile(QString::fromStdString(picture_))};
    EXPECT_FALSE(dropUrls(urls));
    EXPECT_TRUE(twin.eventsNamed("FileDrop").empty());
    twin.shown().setViewerDrop(true);
    EXPECT_TRUE(dropUrls(urls));
    const auto drops = twin.eventsNamed("FileDrop");
    ASSERT_EQ(drops.size(), 1u);
    EXPECT_EQ(drops[0].args.value(0).toString(), QString::fromStdString(picture_));
    // Remote URIs name no local file.
    EXPECT_TRUE(dropUrls({QUrl(QStringLiteral("https://example.org/a.png"))}));
    EXPECT_EQ(twin.eventsNamed("FileDrop").size(), 1u);
}

TEST_F(OrreryWidgetTest, TimersFireThroughQtAndStopWithTheirWindow) {
    const std::shared_ptr<QtWindowBackend> shared = OrreryWidget::sharedBackend();
    auto widget = std::make_unique<OrreryWidget>();
    QtWindowBackend& backend = widget->backend();
    ASSERT_EQ(&backend, shared.get());
    const size_t timersBefore = backend.timerCount();
    ControlWindow& win = widget->control().controlWindow();
    ASSERT_TRUE(win.setTimer(7, 10));
    EXPECT_TRUE(backend.hasTimer(win, 7));
    const int64_t start = backend.now();
    QTest::qWait(60);
    EXPECT_GE(backend.now() - start, 60);
    win.killTimer(7);
    EXPECT_FALSE(backend.hasTimer(win, 7));
    ASSERT_TRUE(win.setTimer(8, 10));
    ASSERT_TRUE(win.setTimer(9, 20));
    EXPECT_EQ(backend.timerCount(), timersBefore + 2);
    widget.reset();
    EXPECT_EQ(backend.timerCount(), timersBefore);
}

}  // namespace
}  // namespace orrery::qt::test
