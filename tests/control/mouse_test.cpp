// The mouse, the wheel and the keys over a control, as a host's window
// delivers them: panning, the selection rectangle and its grips, the wheel
// modes and the thread's input flags, the scroll-bar key guard, cursors,
// and what a host's handlers may change or break.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <limits>
#include <stdexcept>

#include "control/events.h"
#include "control/orrery.h"
#include "imaging/image_table.h"
#include "platform/automation/member_error.h"
#include "orrery/window/headless_backend.h"
#include "platform/window/control_window.h"
#include "support/frame_builders.h"
#include "support/headless_viewer.h"
#include "support/test_support.h"
#include "viewer/wheel_hook.h"

using namespace orrery;
using namespace orrery::automation;
using window::HeadlessBackend;
namespace modMain = imaging::modMain;

namespace orrery::viewer {
void PrintTo(const AreaRect& r, std::ostream* os) {
    *os << "(" << r.left << ", " << r.top << ", " << r.width << ", " << r.height << ")";
}
}  // namespace orrery::viewer

namespace {

const bool kNoPlugin = [] { return setenv("ORRERY_CODEC_PLUGIN", "none", 1) == 0; }();

constexpr int32_t kLeft = window::vbLeftButton;
using Viewer = test::HeadlessViewer;

class MouseTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(kNoPlugin); }
    void TearDown() override {
        v.reset();
        EXPECT_EQ(modMain::LiveEntryCount(), 0u);
    }

    // Shows a w x h picture at 96 dpi, 100 % zoom, centred.
    void show(int w, int h, Viewer* viewer = nullptr) { ASSERT_TRUE((viewer ? *viewer : *v).showBlank(w, h)); }

    HRESULT invoke(const char* name, uint16_t flags, std::vector<Variant> args, Variant* result = nullptr,
                   ExcepInfo* error = nullptr) {
        return invokeByName(v->control, name, flags, args, result, error);
    }
    int32_t call(const char* name, std::vector<Variant> args = {}) {
        Variant result;
        EXPECT_EQ(invoke(name, DISPATCH_METHOD, std::move(args), &result), S_OK) << name;
        return result.isEmpty() ? 0 : result.i4();
    }
    void let(const char* name, Variant value) {
        EXPECT_EQ(invoke(name, DISPATCH_PROPERTYPUT, {std::move(value)}), S_OK) << name;
    }
    viewer::AreaRect rectObject() {
        int32_t l = 0, t = 0, w = 0, h = 0;
        v->control.GetRectValuesObject(l, t, w, h);
        return {l, t, w, h};
    }
    viewer::AreaRect rectImage() {
        int32_t l = 0, t = 0, w = 0, h = 0;
        v->control.GetRectValues(l, t, w, h);
        return {l, t, w, h};
    }

    HeadlessBackend backend;
    std::unique_ptr<Viewer> v = std::make_unique<Viewer>(backend);
};


// ---------------------------------------------------------------------------
// Panning

TEST_F(MouseTest, PanDragsThePictureWithinTheScrollRangeAndPaintsOncePerStep) {
    show(800, 600);  // ranges 417 x 317, centred at 208 x 158 (half to even)
    ASSERT_EQ(v->control.GetHScrollBarPosition(), 208);
    ASSERT_EQ(v->control.GetVScrollBarPosition(), 158);
    v->move(200, 150);
    EXPECT_EQ(v->cursor(), window::MousePointerOpenHand);
    v->down(kLeft, 200, 150);
    EXPECT_EQ(v->cursor(), window::MousePointerClosedHand);
    v->events.clear();
    v->move(150, 100);
    EXPECT_EQ(v->control.GetImageLeft(), -258);
    EXPECT_EQ(v->control.GetImageTop(), -208);
    EXPECT_EQ(v->control.GetHScrollBarPosition(), 258);
    EXPECT_EQ(v->count("Display"), 1u);
    EXPECT_EQ(v->count("ScrollControl"), 0u);
    // Past the left end the horizontal move is refused; the vertical one is taken.
    v->move(-1000, 150);
    EXPECT_EQ(v->control.GetImageLeft(), -258);
    EXPECT_EQ(v->control.GetImageTop(), -158);
    v->up(kLeft, -1000, 150);
    v->move(200, 150);
    EXPECT_EQ(v->cursor(), window::MousePointerOpenHand);
}

TEST_F(MouseTest, ContinuousViewTurnsThePageOncePerPressAndOnTheWheel) {
    test::TempDir files;
    const std::string path = files.file("pages.tif").string();
    test::writeMultiPageTiff(path, {{400, 600, 0xFF0000}, {400, 600, 0x00FF00}, {400, 600, 0x0000FF}});
    ASSERT_EQ(v->control.DisplayFromFile(path), 0);
    ASSERT_EQ(v->control.DisplayFrame(3), 0);
    v->control.SetVScrollBarPosition(0);
    ASSERT_EQ(v->control.GetVScrollBarMaxPosition(), 300);
    // Dragging down past the top of page 3 shows page 2 from its bottom.
    v->down(kLeft, 200, 100);
    v->move(200, 150);
    EXPECT_EQ(v->control.CurrentPage(), 2);
    EXPECT_EQ(v->control.GetVScrollBarPosition(), 300);
    EXPECT_EQ(v->control.ImageAlignment(), 2);  // the host's alignment again
    v->move(200, 200);                          // pans page 2
    EXPECT_EQ(v->control.GetVScrollBarPosition(), 250);
    v->move(200, 500);  // past the top again: no second turn in this press
    EXPECT_EQ(v->control.CurrentPage(), 2);
    v->up(kLeft, 200, 500);
    // The wheel turns the same way at the ends of the vertical range.
    v->control.setMouseWheelMode(viewer::MouseWheelVerticalScroll);
    v->control.SetVScrollBarPosition(300);
    v->wheel(-120);
    EXPECT_EQ(v->control.CurrentPage(), 3);
    EXPECT_EQ(v->control.GetVScrollBarPosition(), 0);
    v->wheel(120);
    EXPECT_EQ(v->control.CurrentPage(), 2);
    EXPECT_EQ(v->control.GetVScrollBarPosition(), 300);
    v->control.setContinuousViewMode(false);
    v->control.SetVScrollBarPosition(0);
    v->wheel(120);
    EXPECT_EQ(v->control.CurrentPage(), 2);
}

// ---------------------------------------------------------------------------
// The selection rectangle

TEST_F(MouseTest, NewRectanglesStartOnThePictureAndStopAtItsEdges) {
    show(200, 100);  // at (100, 100) .. (300, 200)
    v->move(10, 10);
    v->control.setMouseMode(viewer::MouseModeAreaSelection);
    EXPECT_EQ(v->cursor(), window::MousePointerCross);
    v->drag(50, 150, 150, 180);  // pressed left of the picture
    EXPECT_FALSE(v->control.isRectDrawed());
    v->drag(150, 150, 20, 250);  // left past the picture and below it
    EXPECT_EQ(rectObject(), (viewer::AreaRect{100, 150, 50, 50}));
    EXPECT_EQ(rectImage(), (viewer::AreaRect{0, 50, 50, 50}));
    v->events.clear();
    v->drag(150, 120, 390, 130);  // right past the picture
    EXPECT_EQ(rectObject(), (viewer::AreaRect{150, 120, 150, 10}));
    EXPECT_EQ(v->count("Display"), 0u);  // the window draws the band; no repaint of the picture
    // A rectangle beyond the picture reads no negative size.
    v->control.SetRectValuesObject(350, 250, 20, 20);
    EXPECT_EQ(v->control.GetRectWidth(), 0);
    EXPECT_EQ(v->control.GetRectHeight(), 0);
    // A degenerate rectangle is a 1 x 1 shape, not drawn.
    v->control.SetRectValues(10, 10, 0, 0);
    EXPECT_EQ(v->control.controlWindow().rectShape().width(), 1);
    EXPECT_FALSE(v->control.isRectDrawed());
}

TEST_F(MouseTest, GripsPickTheirPointerAndEditsStayOnThePicture) {
    show(200, 100);
    v->control.setMouseMode(viewer::MouseModeAreaSelection);
    v->control.SetRectValuesObject(150, 120, 100, 60);
    v->move(146, 116);  // 4 pixels outside the top-left corner
    EXPECT_EQ(v->cursor(), window::MousePointerSize_NW_SE);
    v->move(145, 115);  // 5 pixels: off the rectangle
    EXPECT_EQ(v->cursor(), window::MousePointerCross);
    v->move(250, 150);
    EXPECT_EQ(v->cursor(), window::MousePointerSize_W_E);
    v->move(200, 182);
    EXPECT_EQ(v->cursor(), window::MousePointerSize_N_S);
    v->move(200, 150);
    EXPECT_EQ(v->cursor(), window::MousePointerSizeAll);
    v->down(kLeft, 200, 150);
    v->move(260, 150);  // the right edge would pass the picture's: stays
    EXPECT_EQ(rectObject(), (viewer::AreaRect{150, 120, 100, 60}));
    v->move(230, 160);  // from the last pointer: 30 left, 10 down
    EXPECT_EQ(rectObject(), (viewer::AreaRect{120, 130, 100, 60}));
    v->up(kLeft, 230, 160);
    // Bottom-right grip resizes.
    v->move(220, 190);
    v->down(kLeft, 220, 190);
    v->move(200, 170);
    v->up(kLeft, 200, 170);
    EXPECT_EQ(rectObject(), (viewer::AreaRect{120, 130, 80, 40}));
    // The pan mode clears the rectangle.
    v->control.setMouseMode(viewer::MouseModePan);
    EXPECT_FALSE(v->control.isRectDrawed());
}

TEST_F(MouseTest, AutoZoomZoomsToTheDraggedRectangleAndAClickDoesNothing) {
    show(200, 100);
    v->control.setMouseMode(viewer::MouseModeAutoZoom);
    v->down(kLeft, 150, 150);
    v->up(kLeft, 150, 150);
    EXPECT_DOUBLE_EQ(v->control.ZOOM(), 1.0);
    EXPECT_EQ(rectObject(), (viewer::AreaRect{}));
    v->events.clear();
    v->drag(120, 120, 170, 145);  // 50 x 25 image pixels: 400 / 50 limits
    EXPECT_DOUBLE_EQ(v->control.ZOOM(), 8.0);
    EXPECT_FALSE(v->control.isRectDrawed());
    const auto zoomed = std::find(v->events.begin(), v->events.end(), "ZoomChange");
    EXPECT_LT(zoomed - v->events.begin(), std::find(v->events.begin(), v->events.end(), "MouseUpControl") -
                                                 v->events.begin());  // the host hears the release after the zoom
}

TEST_F(MouseTest, TheRectangleFollowsZoomWithoutWalking) {
    show(800, 600);
    v->control.SetRectValues(5, 5, 100, 100);
    v->control.setZOOM(0.3);  // 5 x 0.3 rounds to 2, which reads back as 7
    v->control.setZOOM(1.0);
    EXPECT_EQ(v->control.GetRectX(), 5);
    EXPECT_EQ(v->control.GetRectY(), 5);
}

TEST_F(MouseTest, CenterOnRectScrollsOnceAndZoomRectKeepsLockControlQuiet) {
    show(800, 600);
    v->control.SetRectValues(500, 400, 100, 50);
    v->events.clear();
    v->control.CenterOnRect();
    // ((400 - 17) - 100) / 2 = 141.5 and ((300 - 17) - 50) / 2 = 116.5.
    EXPECT_EQ(v->control.GetHScrollBarPosition(), 358);
    EXPECT_EQ(v->control.GetVScrollBarPosition(), 284);
    EXPECT_EQ(rectObject(), (viewer::AreaRect{142, 116, 100, 50}));
    EXPECT_EQ(v->count("ScrollControl"), 3u);
    EXPECT_EQ(v->count("Display"), 1u);

    auto sink = std::make_shared<test::RecordingNotifySink>();
    v->control.propertyNotifier().advise(sink);
    v->events.clear();
    EXPECT_EQ(v->control.ZoomRect(), 0);
    EXPECT_DOUBLE_EQ(v->control.ZOOM(), 4.0);  // 400 / 100 against 300 / 50
    EXPECT_FALSE(v->control.LockControl());
    EXPECT_TRUE(sink->changed.empty());
    EXPECT_EQ(v->count("Display"), 1u);
    // Centred at the new zoom: the rectangle is 400 x 200 on screen.
    const viewer::AreaRect r = rectObject();
    EXPECT_EQ(r.width, 400);
    EXPECT_NEAR(r.top + r.height / 2.0, (300 - 17) / 2.0, 1.0);
}

TEST_F(MouseTest, RectangleMembersInMillimetresAndTheirLimits) {
    show(800, 600);
    v->control.SetRectValuesMM(25.4f, 0, 25.4f, 12.7f);
    EXPECT_EQ(rectImage(), (viewer::AreaRect{96, 0, 96, 48}));
    float l = -1, t = -1, w = -1, h = -1;
    v->control.GetRectValuesMM(l, t, w, h);
    EXPECT_FLOAT_EQ(l, 25.4f);
    EXPECT_FLOAT_EQ(t, 0);
    EXPECT_FLOAT_EQ(h, 12.7f);

    const viewer::AreaRect before = rectObject();
    ExcepInfo error;
    for (std::vector<Variant> args : {std::vector<Variant>{Variant(1e30f), Variant(0.0f), Variant(1.0f), Variant(1.0f)},
                                      std::vector<Variant>{Variant(std::numeric_limits<float>::quiet_NaN()),
                                                           Variant(0.0f), Variant(1.0f), Variant(1.0f)}}) {
        EXPECT_EQ(invoke("SetRectValuesMM", DISPATCH_METHOD, args, nullptr, &error), DISP_E_EXCEPTION);
        EXPECT_EQ(error.code, CTL_E_OVERFLOW);
        EXPECT_EQ(error.description, "Overflow");
    }
    EXPECT_EQ(invoke("SetRectValues", DISPATCH_METHOD,
                     {Variant(int32_t{INT32_MAX}), Variant(int32_t{0}), Variant(int32_t{10}), Variant(int32_t{10})},
                     nullptr, &error),
              DISP_E_EXCEPTION);
    EXPECT_EQ(error.description, "Overflow");
    EXPECT_EQ(rectObject(), before);

    for (auto [name, value] : {std::pair{"RectBorderStyle", 7}, std::pair{"RectBorderStyle", -1},
                               std::pair{"RectDrawMode", 0}, std::pair{"RectDrawMode", 17},
                               std::pair{"RectBorderSize", 0}}) {
        EXPECT_EQ(invoke(name, DISPATCH_PROPERTYPUT, {Variant(int32_t{value})}, nullptr, &error), DISP_E_EXCEPTION)
                << name << " " << value;
        EXPECT_EQ(error.code, CTL_E_INVALIDPROPERTYVALUE);
        EXPECT_EQ(error.description, "Invalid property value");
    }
    let("RectBorderStyle", Variant(int32_t{6}));
    let("RectDrawMode", Variant(int32_t{16}));
    EXPECT_EQ(v->control.RectBorderStyle(), 6);
    EXPECT_EQ(v->control.RectDrawMode(), 16);
}

// ---------------------------------------------------------------------------
// Scroll bars and keys

TEST_F(MouseTest, SetHVScrollBarPositionClampsPaintsOnceAndReportsThreeTimes) {
    show(800, 600);
    call("SetHVScrollBarPosition", {Variant(int32_t{-5}), Variant(int32_t{99999})});
    EXPECT_EQ(v->control.GetHScrollBarPosition(), 0);
    EXPECT_EQ(v->control.GetVScrollBarPosition(), 317);
    EXPECT_EQ(v->count("ScrollControl"), 3u);
    EXPECT_EQ(v->count("Display"), 1u);
}

TEST_F(MouseTest, KeysOnAFocusedBarNeverScrollThePicture) {
    show(800, 600);
    backend.focus(v->window());
    ASSERT_TRUE(v->window().setFocus(window::FocusTarget::VScroll));
    backend.keyDown(v->window(), window::VK_DOWN, 0);
    backend.keyUp(v->window(), window::VK_DOWN, 0);
    EXPECT_EQ(v->control.GetVScrollBarPosition(), 158);
    EXPECT_EQ(v->control.GetImageTop(), -158);
    EXPECT_EQ(v->count("ScrollControl"), 0u);
    EXPECT_EQ(v->count("KeyDownControl"), 0u);
    // A key that moves nothing (the bar at its top) leaves no guard behind:
    // the next click on the bar's down arrow scrolls.
    v->control.SetVScrollBarPosition(0);
    backend.keyDown(v->window(), window::VK_UP, 0);
    backend.keyUp(v->window(), window::VK_UP, 0);
    v->down(kLeft, 391, 274);
    v->up(kLeft, 391, 274);
    EXPECT_EQ(v->control.GetVScrollBarPosition(), 1);
    EXPECT_EQ(v->control.GetImageTop(), -1);
}

// ---------------------------------------------------------------------------
// The wheel

TEST_F(MouseTest, WheelNotchesAddUpAndFollowTheWheelMode) {
    v->wheel(120);  // no picture painted yet: no hook
    EXPECT_TRUE(v->events.empty());
    show(800, 600);
    v->wheel(60);
    EXPECT_TRUE(v->events.empty());
    v->wheel(120, window::WheelAxis::Horizontal);
    v->wheel(0);
    EXPECT_TRUE(v->events.empty());
    v->wheel(60);
    ASSERT_GE(v->events.size(), 3u);
    EXPECT_EQ(std::vector<std::string>(v->events.begin(), v->events.begin() + 3),
              (std::vector<std::string>{"KeyDownControl", "KeyUpControl", "MouseWheelControl"}));
    EXPECT_DOUBLE_EQ(v->control.ZOOM(), 1.1);
    v->control.setMouseWheelMode(viewer::MouseWheelVerticalScroll);
    v->control.setContinuousViewMode(false);
    v->control.setZOOM(1.0);
    v->control.setScrollLargeChange(100);
    v->control.SetVScrollBarPosition(10);
    v->wheel(120);
    EXPECT_EQ(v->control.GetVScrollBarPosition(), 0);
    v->control.SetVScrollBarPosition(307);
    v->wheel(-120);
    EXPECT_EQ(v->control.GetVScrollBarPosition(), 317);
    // The numeric-pad keys released on the control are wheel notches too.
    v->control.setMouseWheelMode(viewer::MouseWheelZoom);
    backend.keyDown(v->window(), window::VK_ADD, 0);
    backend.keyUp(v->window(), window::VK_ADD, 0);
    EXPECT_DOUBLE_EQ(v->control.ZOOM(), 1.1);
    // Without EnableMouseWheel the key-up is only an event.
    v->control.setEnableMouseWheel(false);
    v->events.clear();
    backend.keyDown(v->window(), window::VK_ADD, 0);
    backend.keyUp(v->window(), window::VK_ADD, 0);
    EXPECT_EQ(v->events, (std::vector<std::string>{"KeyDownControl", "KeyUpControl"}));
    v->wheel(120);
    EXPECT_EQ(v->events.size(), 2u);
}

TEST_F(MouseTest, HandlersCanCancelANotchAndCannotWheelFromInsideAnother) {
    show(800, 600);
    v->handler = [](DISPID id, std::span<Variant> args) {
        if (id == control::EventId::KeyUpControl) args[0].assignThroughRef(Variant(int16_t{0}));
    };
    v->wheel(120);
    EXPECT_EQ(v->count("MouseWheelControl"), 0u);
    EXPECT_DOUBLE_EQ(v->control.ZOOM(), 1.0);
    v->handler = [this](DISPID id, std::span<Variant>) {
        if (id == control::EventId::MouseMoveControl) v->wheel(120);
    };
    v->events.clear();
    v->move(10, 10);
    EXPECT_EQ(v->count("KeyDownControl"), 0u);
    v->handler = nullptr;
    v->wheel(120);
    EXPECT_EQ(v->count("MouseWheelControl"), 1u);
}

TEST_F(MouseTest, HookRecordsAreAppendedAndOnlyFlaggedRemoved) {
    show(800, 600);
    auto& table = viewer::WheelHookTable::forThisThread();
    const int32_t hwnd = v->control.hwnd();
    auto records = [&] {
        return std::count_if(table.records().begin(), table.records().end(),
                             [&](const viewer::WheelHookRecord& r) { return r.hwnd == hwnd; });
    };
    EXPECT_EQ(records(), 1);
    for (int i = 0; i < 2; ++i) {
        v->control.setEnableMouseWheel(false);
        EXPECT_EQ(table.active(hwnd), nullptr);
        v->control.setEnableMouseWheel(true);
        ASSERT_NE(table.active(hwnd), nullptr);
    }
    EXPECT_EQ(records(), 3);
    v->wheel(120);
    EXPECT_EQ(v->count("MouseWheelControl"), 1u);
    EXPECT_EQ(table.active(hwnd)->lastMessage, viewer::kWmMouseWheel);
    // A fault while a notch is handled removes the hook, and goes no further.
    v->handler = [](DISPID id, std::span<Variant>) {
        if (id == control::EventId::KeyDownControl) throw std::runtime_error("host fault");
    };
    v->wheel(120);
    EXPECT_EQ(table.active(hwnd), nullptr);
    v->handler = nullptr;
    v->events.clear();
    v->wheel(120);
    EXPECT_TRUE(v->events.empty());
}

TEST_F(MouseTest, APressOnOneControlHoldsTheWheelOfEveryControlOfTheThread) {
    Viewer other(backend);
    show(800, 600);
    show(800, 600, &other);
    v->down(kLeft, 10, 10);
    other.wheel(120);
    EXPECT_EQ(other.count("MouseWheelControl"), 0u);
    v->up(kLeft, 10, 10);
    other.wheel(120);
    EXPECT_EQ(other.count("MouseWheelControl"), 1u);
    // Terminating a control clears what another control of the thread set.
    v->down(kLeft, 10, 10);
    other.control.Terminate();
    v->wheel(120);
    EXPECT_EQ(v->count("MouseWheelControl"), 1u);
    // Losing the host's focus forgets a key that went down.
    backend.keyDown(v->window(), 'A', 0);
    backend.blur();
    v->wheel(120);
    EXPECT_EQ(v->count("MouseWheelControl"), 2u);
}

// ---------------------------------------------------------------------------
// Cursors and what handlers write back

TEST_F(MouseTest, MousePointerZeroGivesTheModeCursorBack) {
    ORRERY_REQUIRE_CORPUS();
    const std::string icon = test::corpusPath("pillow/hopper.ico").string();
    v->move(10, 10);
    v->control.setMousePointer(0);
    EXPECT_EQ(v->cursor(), window::MousePointerDefault);  // pan mode without a picture
    show(800, 600);
    const std::pair<int32_t, int32_t> modes[] = {{0, window::MousePointerDefault},
                                                 {1, window::MousePointerCross},
                                                 {2, window::MousePointerOpenHand},
                                                 {3, window::MousePointerCross}};
    for (auto [mode, pointer] : modes) {
        v->control.setMouseMode(mode);
        ASSERT_TRUE(v->control.SetMouseIcon(icon));
        v->move(20, 20);
        EXPECT_EQ(v->cursor(), window::MousePointerCustom) << mode;
        v->down(kLeft, 20, 20);  // the host's pointer beats the hand
        EXPECT_EQ(v->cursor(), window::MousePointerCustom) << mode;
        v->up(kLeft, 20, 20);
        v->control.setMousePointer(0);
        EXPECT_EQ(v->cursor(), pointer) << mode;
    }
}

TEST_F(MouseTest, HandlersChangeTheButtonAndBadCoordinatesAreTrapped) {
    show(800, 600);
    v->handler = [](DISPID id, std::span<Variant> args) {
        if (id == control::EventId::MouseDownControl) args[0].assignThroughRef(Variant(int16_t{2}));
        if (id == control::EventId::MouseUpControl) args[0].assignThroughRef(Variant(int16_t{4}));
    };
    v->drag(200, 150, 100, 100);  // the mode sees the right button: no pan
    EXPECT_EQ(v->control.GetImageLeft(), -208);
    // A value that does not convert keeps the one the window gave.
    v->handler = [](DISPID id, std::span<Variant> args) {
        if (id == control::EventId::MouseMoveControl && args[2].isByRef()) {
            Variant text("left");
            args[2].assignThroughRef(text);  // refused: the slot keeps its number
        }
    };
    v->drag(200, 150, 150, 150);
    EXPECT_EQ(v->control.GetImageLeft(), -258);
    // Not a number: both handlers report and nothing moves.
    v->handler = [](DISPID id, std::span<Variant> args) {
        if (id == control::EventId::MouseMoveControl)
            args[2].assignThroughRef(Variant(std::numeric_limits<float>::quiet_NaN()));
    };
    backend.clearRecords();
    v->drag(200, 150, 100, 150);
    EXPECT_EQ(v->control.GetImageLeft(), -258);
    EXPECT_EQ(v->control.GetStat(), 1);
    ASSERT_EQ(backend.messageBoxes().size(), 2u);
    EXPECT_EQ(backend.messageBoxes()[0].request.text, "Mouse Position Calc: Overflow");
    EXPECT_EQ(backend.messageBoxes()[1].request.text, "Mouse Move Error: Overflow");
    EXPECT_EQ(backend.messageBoxes()[1].request.icon, 0);
    v->control.setSilentMode(true);
    v->drag(200, 150, 100, 150);
    EXPECT_EQ(backend.messageBoxes().size(), 2u);
}

}  // namespace
