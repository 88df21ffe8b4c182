#include "viewer/layout.h"

#include <gtest/gtest.h>

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
