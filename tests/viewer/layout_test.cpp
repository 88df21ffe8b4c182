#include "viewer/layout.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

#include "imaging/image_table.h"
#include "platform/gdiplus/factory.h"

using namespace orrery::viewer;
namespace gp = orrery::gdiplus;
namespace modMain = orrery::imaging::modMain;

namespace {

// A host that records what the layout asks of it.
class RecordingHost : public LayoutHost {
public:
    int32_t width = 500, height = 500;
    bool silent = false;
    int32_t current = 0;
    AreaRect selection;
    std::vector<std::string> calls;

    int32_t clientWidth() const override { return width; }
    int32_t clientHeight() const override { return height; }
    bool silentMode() const override { return silent; }
    int32_t workingImage() const override { return current; }
    void drawView(int32_t) override { calls.push_back("draw"); }
    void raiseBeforeZoomChange() override { calls.push_back("BeforeZoomChange"); }
    void raiseZoomChange() override { calls.push_back("ZoomChange"); }
    void refreshMouseCursor() override {}
    void refreshMenuChecks() override {}
    void refreshScrollBarsMark() override {}
    std::optional<AreaRect> selectionInImage() const override { return selection; }
    void showCriticalMessage(const std::string& text) override { calls.push_back("message: " + text); }
};

class LayoutTest : public ::testing::Test {
protected:
    void SetUp() override { modMain::StartGdiPlus(); }
    void TearDown() override { modMain::ShutdownGdiPlus(); }

    // Shows a new w x h image at the given resolution, as a load does.
    void show(int w, int h, float dpiX = 96, float dpiY = 96) {
        std::unique_ptr<gp::Image> image;
        ASSERT_EQ(gp::createBitmapFromScan0(w, h, 0, gp::PixelFormat24bppRGB, nullptr, image), gp::Status::Ok);
        image->setResolution(dpiX, dpiY);
        int32_t id = 0;
        modMain::AddImage(id, std::move(image), "", "", orrery::imaging::SourcePlain);
        state.currentImage = host.current = id;
        state.laidOutOnce = false;
        state.resetHorizontal = state.resetVertical = true;
        layout.ReadImageMetrics(id);
        layout.UpdateLayout(id);
    }

    ViewState state;
    RecordingHost host;
    Layout layout{state, host};
};

}  // namespace

TEST_F(LayoutTest, FitToControlCentresTheWholePicture) {
    state.zoomMode = ZoomFitToControl;
    show(1000, 500);
    EXPECT_DOUBLE_EQ(state.zoom, 0.5);
    EXPECT_EQ(state.displayWidth, 500);
    EXPECT_EQ(state.displayHeight, 250);
    EXPECT_EQ(state.offsetLeft, 0);
    EXPECT_EQ(state.offsetTop, 125);
    EXPECT_FALSE(state.hScroll.visible);
    layout.UpdateScrollBarVisibility();
    EXPECT_FALSE(state.vScroll.visible);
}

TEST_F(LayoutTest, ResolutionCorrectsTheAspectUnlessSkipped) {
    state.zoomMode = ZoomFitToControl;
    show(1000, 500, 200, 100);
    EXPECT_DOUBLE_EQ(state.aspectCorrection, 0.5);
    EXPECT_DOUBLE_EQ(state.zoom, 0.5);
    EXPECT_EQ(state.displayWidth, 500);
    EXPECT_EQ(state.displayHeight, 500);
    state.skipImageResolution = true;
    show(1000, 500, 200, 100);
    EXPECT_EQ(state.displayHeight, 250);
}

TEST_F(LayoutTest, CentreMarginsRoundHalfToEven) {
    state.zoomMode = Zoom100;
    host.width = 105;  // margin 5 -> 2.5 -> 2
    host.height = 107;  // margin 7 -> 3.5 -> 4
    show(100, 100);
    EXPECT_EQ(state.offsetLeft, 2);
    EXPECT_EQ(state.offsetTop, 4);
}

TEST_F(LayoutTest, ZoomOutStopsAboveAThousandth) {
    state.zoomMode = ZoomCustom;
    state.zoom = 0.05;
    show(100, 100);
    state.zoomStep = 5;
    layout.ZoomOUT();
    EXPECT_DOUBLE_EQ(state.zoom, 0.05);
    state.zoom = 0.06;
    layout.ZoomOUT();
    EXPECT_NEAR(state.zoom, 0.01, 1e-12);
    EXPECT_EQ(state.zoomMode, ZoomCustom);
}

TEST_F(LayoutTest, ZoomMembersAndEventOrder) {
    state.zoomMode = ZoomFitToControl;
    show(1000, 500);
    host.calls.clear();
    layout.SetZoomModeMember(ZoomFitToControl);  // already in that mode: nothing happens
    EXPECT_TRUE(host.calls.empty());
    layout.SetZoomMode(ZoomCustom);  // stores the mode without a layout
    EXPECT_TRUE(host.calls.empty());
    EXPECT_EQ(state.zoomMode, ZoomCustom);

    layout.SetZoom(200);
    EXPECT_EQ(host.calls, (std::vector<std::string>{"BeforeZoomChange", "draw", "ZoomChange"}));
    host.calls.clear();
    layout.UpdateLayout(0);  // same zoom: neither event
    EXPECT_EQ(host.calls, (std::vector<std::string>{"draw"}));

    EXPECT_EQ(layout.ZoomArea(0, 0, 0, 10), 2);
    EXPECT_DOUBLE_EQ(state.zoom, 2.0);
    EXPECT_EQ(layout.ZoomArea(100, 50, 250, 100), 0);
    EXPECT_EQ(state.zoomMode, ZoomCustom);
    EXPECT_DOUBLE_EQ(state.zoom, 2.0);  // min(500 / 250, 500 / 100)
    EXPECT_EQ(state.offsetLeft, -200);
    EXPECT_EQ(state.offsetTop, -100);
}

TEST_F(LayoutTest, MaxZoomKeepsTheLongerSideWithinTheScrollRange) {
    state.zoomMode = ZoomCustom;
    show(10, 5);
    EXPECT_DOUBLE_EQ(state.maxZoom, (500 + 32765 - 17) / 10.0);
    layout.SetZoomValue(1e6);
    EXPECT_DOUBLE_EQ(state.zoom, state.maxZoom);
    EXPECT_LE(state.displayWidth, 500 + 32765);
    const double before = state.zoom;
    layout.SetZoom(100000000);  // above maxZoom: ignored
    EXPECT_DOUBLE_EQ(state.zoom, before);
}

TEST_F(LayoutTest, BothScrollRangesFitSixteenBitsInAClientThatIsNotSquare) {
    // The longer image side is the width, but in a flat client the height
    // limits: the rule by the longer side alone gave a vertical range of 33631.
    host.width = 1000;
    host.height = 100;
    state.zoomMode = ZoomCustom;
    show(1000, 999);
    EXPECT_DOUBLE_EQ(state.maxZoom, (100 + 32765 - 17) / 999.0);
    layout.SetZoomValue(1e6);
    EXPECT_LE(state.vScroll.max, 32767);
    EXPECT_LE(state.hScroll.max, 32767);
    EXPECT_GT(state.vScroll.max, 32000);
}

TEST_F(LayoutTest, RoundingCannotTakeAScrollRangePastTheLargestPosition) {
    // 10 x 10000 at the largest zoom: the rounded width 34 gives a height of
    // 34000 and a vertical range of 33017 before the cap.
    host.width = 1000;
    host.height = 1000;
    state.zoomMode = ZoomCustom;
    show(10, 10000);
    layout.SetZoomValue(1e6);
    EXPECT_EQ(state.displayHeight, 34000);
    EXPECT_EQ(state.vScroll.max, 32767);
}

TEST_F(LayoutTest, SelectionModeFitsTheRectangleAndCentresOnIt) {
    state.zoomMode = Zoom100;
    show(1000, 1000);
    host.selection = {100, 200, 250, 100};  // the width limits: 500 / 250
    state.zoomMode = ZoomFitRect;
    layout.UpdateLayout(0);
    EXPECT_EQ(state.zoomMode, ZoomCustom);
    EXPECT_DOUBLE_EQ(state.zoom, 2.0);
    EXPECT_EQ(state.offsetLeft, -200);
    EXPECT_EQ(state.offsetTop, -400);
    EXPECT_EQ(state.hScroll.value, 200);
    // A rectangle without width keeps the zoom; its height still limits.
    host.selection = {0, 0, 0, 1000};
    state.zoomMode = ZoomFitRect;
    layout.UpdateLayout(0);
    EXPECT_DOUBLE_EQ(state.zoom, 0.5);
}

TEST_F(LayoutTest, ScrollRangesVisibilityAndAlignment) {
    state.zoomMode = Zoom100;
    state.imageAlignment = BottomRight;
    show(1000, 800);
    // Both ranges exist: each takes the other bar's thickness.
    EXPECT_EQ(state.hScroll.max, 1000 - 500 + 17);
    EXPECT_EQ(state.vScroll.max, 800 - 500 + 17);
    EXPECT_EQ(state.hScroll.value, state.hScroll.max);
    EXPECT_EQ(state.offsetLeft, -state.hScroll.max);
    layout.UpdateScrollBarVisibility();
    EXPECT_TRUE(state.hScroll.visible && state.vScroll.visible && state.cornerVisible);

    // A picture exactly as wide as the client area has no horizontal range.
    show(500, 800);
    EXPECT_EQ(state.hScroll.max, 0);
    EXPECT_TRUE(state.resetHorizontal);
    layout.UpdateScrollBarVisibility();
    EXPECT_FALSE(state.hScroll.visible);

    layout.SetForceScrollBars(true);
    EXPECT_TRUE(state.scrollBars);
    show(10, 10);
    layout.UpdateScrollBarVisibility();
    EXPECT_TRUE(state.hScroll.visible && state.vScroll.visible);
    EXPECT_EQ(state.hScroll.max, 0);
    EXPECT_FALSE(state.hScroll.enabled);
}

TEST_F(LayoutTest, CoordinatesAndMillimetres) {
    state.zoomMode = Zoom100;
    show(600, 300, 300, 150);
    EXPECT_FLOAT_EQ(layout.GetWidthMM(), 50.8f);
    EXPECT_FLOAT_EQ(layout.GetHeightMM(), 50.8f);
    int32_t ix = -1, iy = -1;
    layout.CoordObjectToImage(state.offsetLeft + 10, state.offsetTop + 10, ix, iy);
    EXPECT_EQ(ix, 10);
    EXPECT_EQ(iy, 5);  // vertical image lengths are half the display length here
    int32_t ox = 0, oy = 0;
    layout.CoordImageToObject(ix, iy, ox, oy);
    EXPECT_EQ(ox, state.offsetLeft + 10);
    EXPECT_EQ(oy, state.offsetTop + 10);
    state.horizontalResolution = 0;
    EXPECT_EQ(layout.GetWidthMM(), 0.0f);
}

TEST_F(LayoutTest, NoRoomOrNoImageSkipsThePainting) {
    state.zoomMode = ZoomFitToControl;
    host.width = 0;
    show(100, 100);
    EXPECT_TRUE(std::find(host.calls.begin(), host.calls.end(), "draw") == host.calls.end());
    EXPECT_TRUE(state.laidOutOnce);
    host.calls.clear();
    layout.ReadImageMetrics(12345);  // unknown identifier
    EXPECT_NE(state.status, 0);
    EXPECT_EQ(host.calls, (std::vector<std::string>{"message: Invalid image: Can not get picture height."}));
}

TEST_F(LayoutTest, WidthHeightAndStretchModes) {
    // Fit the width: 1000 x 2000 into 500 x 500 needs a vertical bar, so the
    // width left beside it sets the zoom.
    state.zoomMode = ZoomWidthControl;
    show(1000, 2000);
    EXPECT_DOUBLE_EQ(state.zoom, (500.0 - 17) / 1000);
    EXPECT_EQ(state.displayWidth, 483);
    EXPECT_EQ(state.offsetLeft, 0);

    // Fit the height: 2000 x 1000 needs a horizontal bar below.
    state.zoomMode = ZoomHeightControl;
    show(2000, 1000);
    EXPECT_DOUBLE_EQ(state.zoom, (500.0 - 17) / 1000);
    EXPECT_EQ(state.displayHeight, 483);

    // Stretch: the whole client area whatever the proportions.
    state.zoomMode = ZoomToControl;
    show(100, 50);
    EXPECT_EQ(state.displayWidth, 500);
    EXPECT_EQ(state.displayHeight, 500);
    EXPECT_DOUBLE_EQ(state.zoom, 10.0);
    EXPECT_EQ(state.offsetLeft, 0);
    EXPECT_EQ(state.offsetTop, 0);
}

TEST_F(LayoutTest, PlacementOfSmallPicturesFollowsImagePosition) {
    state.zoomMode = Zoom100;
    const struct {
        int32_t position;
        int32_t left, top;
    } cases[] = {{TopLeft, 0, 0}, {BottomRight, 400, 450}, {MiddleLeft, 0, 225}, {TopCenter, 200, 0}};
    for (const auto& c : cases) {
        state.imagePosition = c.position;
        show(100, 50);
        EXPECT_EQ(state.offsetLeft, c.left) << c.position;
        EXPECT_EQ(state.offsetTop, c.top) << c.position;
    }
}

TEST_F(LayoutTest, CoordinatesSaturateAtTheEndsOfTheLongRange) {
    constexpr int32_t kMin = INT32_MIN, kMax = INT32_MAX;
    state.zoomMode = ZoomFitToControl;
    show(1000, 500);  // zoom 0.5, origin (0, 125)
    int32_t ix = 0, iy = 0;
    layout.CoordObjectToImage(kMin, kMin, ix, iy);
    EXPECT_EQ(ix, kMin);
    EXPECT_EQ(iy, kMin);
    layout.CoordObjectToImage(kMax, kMax, ix, iy);
    EXPECT_EQ(ix, kMax);
    EXPECT_EQ(iy, kMax);
    // Halving stays in range: 2147483647 x 0.5 = 1073741823.5 goes to the even 1073741824.
    int32_t ox = 0, oy = 0;
    layout.CoordImageToObject(kMax, kMax, ox, oy);
    EXPECT_EQ(ox, 1073741824);
    EXPECT_EQ(oy, 1073741824 + 125);
    layout.CoordImageToObject(kMin, kMin, ox, oy);
    EXPECT_EQ(ox, -1073741824);
    EXPECT_EQ(oy, -1073741824 + 125);

    // At 200 % the picture is scrolled to its middle: origin (-758, -258).
    layout.SetZoom(200);
    ASSERT_EQ(state.offsetLeft, -758);
    ASSERT_EQ(state.offsetTop, -258);
    layout.CoordObjectToImage(kMin, kMin, ix, iy);
    EXPECT_EQ(ix, -1073741824 + 379);
    EXPECT_EQ(iy, -1073741824 + 129);
    layout.CoordImageToObject(kMax, kMin, ox, oy);
    EXPECT_EQ(ox, kMax);
    EXPECT_EQ(oy, kMin);
    // 2^30 x 2 is one past the range; the origin brings it back, exactly.
    layout.CoordImageToObject(1 << 30, -(1 << 30), ox, oy);
    EXPECT_EQ(ox, 2147483648 - 758);
    EXPECT_EQ(oy, kMin);  // -2^31 - 258 stays below the range
}

TEST_F(LayoutTest, ZoomAreaAtTheEndsOfTheLongRange) {
    constexpr int32_t kMin = INT32_MIN, kMax = INT32_MAX;
    state.zoomMode = ZoomFitToControl;
    show(1000, 500);
    // The widest area: the zoom fits it, the picture shrinks to nothing and sits centred.
    EXPECT_EQ(layout.ZoomArea(kMin, kMin, kMax, kMax), 0);
    EXPECT_EQ(state.zoomMode, ZoomCustom);
    EXPECT_DOUBLE_EQ(state.zoom, 500.0 / kMax);
    EXPECT_EQ(state.displayWidth, 0);
    EXPECT_EQ(state.offsetLeft, 250);
    EXPECT_EQ(state.offsetTop, 250);

    // A small area far past the picture's last pixel: the zoom is the
    // largest allowed and the view scrolls to the far corner.
    EXPECT_EQ(layout.ZoomArea(kMax, kMax, 10, 10), 0);
    EXPECT_DOUBLE_EQ(state.zoom, state.maxZoom);
    ASSERT_GT(state.hScroll.max, 0);
    EXPECT_EQ(state.offsetLeft, -state.hScroll.max);
    EXPECT_EQ(state.offsetTop, -state.vScroll.max);
    EXPECT_EQ(state.hScroll.value, state.hScroll.max);
    // Far before the first pixel: the view starts at the origin.
    EXPECT_EQ(layout.ZoomArea(kMin, kMin, 10, 10), 0);
    EXPECT_EQ(state.offsetLeft, 0);
    EXPECT_EQ(state.offsetTop, 0);
}

TEST_F(LayoutTest, ZoomValuesThatAreNoNumberOrOutOfRange) {
    const double nan = std::numeric_limits<double>::quiet_NaN(), inf = std::numeric_limits<double>::infinity();
    state.zoomMode = ZoomFitToControl;
    show(1000, 500);
    for (double percent : {nan, inf, -inf, -0.0, 1e308}) layout.SetZoom(percent);
    EXPECT_DOUBLE_EQ(state.zoom, 0.5);
    for (double zoom : {nan, -inf, 0.0, -0.0}) layout.SetZoomValue(zoom);
    EXPECT_DOUBLE_EQ(state.zoom, 0.5);
    for (double zoom : {inf, 1e308}) {
        layout.SetZoomValue(0.5);
        layout.SetZoomValue(zoom);
        EXPECT_DOUBLE_EQ(state.zoom, state.maxZoom) << zoom;
        EXPECT_LE(state.displayWidth, 500 + 32765);
    }

    // The smallest positive zoom: every image pixel is far apart on screen,
    // so positions off the origin saturate.
    layout.SetZoomValue(std::numeric_limits<double>::denorm_min());
    EXPECT_EQ(state.displayWidth, 0);
    int32_t ix = 0, iy = 0;
    layout.CoordObjectToImage(state.offsetLeft + 1, state.offsetTop - 1, ix, iy);
    EXPECT_EQ(ix, INT32_MAX);
    EXPECT_EQ(iy, INT32_MIN);
    int32_t ox = 0, oy = 0;
    layout.CoordImageToObject(INT32_MAX, INT32_MIN, ox, oy);
    EXPECT_EQ(ox, state.offsetLeft);
    EXPECT_EQ(oy, state.offsetTop);

    // ZoomStep at its largest: ZoomIN passes maxZoom and ZoomOUT goes below zero; both are ignored.
    layout.SetZoomValue(0.5);
    state.zoomStep = INT32_MAX;
    layout.ZoomIN();
    layout.ZoomOUT();
    EXPECT_DOUBLE_EQ(state.zoom, 0.5);
}

TEST_F(LayoutTest, MillimetresAreComputedInDoubleAndRoundedOnceToSingle) {
    show(227, 227, 96, 96);
    // 227 / 96 x 25.4 = 60.0604166...; single-precision division would give 60.060413.
    EXPECT_EQ(layout.GetWidthMM(), 60.060417f);
    EXPECT_EQ(layout.GetHeightMM(), 60.060417f);

    // The displayed area: 3 / 150 as a Single, then x 25.4 in double: 0.508000016
    // (a single-precision product would give 0.507999957).
    show(300, 300, 150, 150);
    state.displayedArea = {3, 3, 3, 3};
    float left = 0, top = 0, width = 0, height = 0;
    layout.GetDisplayedAreaMM(left, top, width, height);
    EXPECT_EQ(left, 0.508000016f);
    EXPECT_EQ(top, 0.508000016f);
    EXPECT_EQ(width, 0.508000016f);
    EXPECT_EQ(height, 0.508000016f);
}
