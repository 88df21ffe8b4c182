// OrreryWidget on a screen of density 2 (this program runs Qt with a scale
// factor of 2): the control draws in device pixels and the widget scales
// nothing, so the screen shows, pixel for pixel, what a headless window of
// the device size composes; pointer positions reach the control in device
// pixels.
#include <QTest>
#include <gtest/gtest.h>

#include "orrery/mouse_modes.h"
#include "support/test_support.h"
#include "support/twin_viewer.h"

namespace orrery::qt::test {
namespace {

using control::Orrery;

constexpr int kWidth = 200, kHeight = 150;  // logical pixels

class HighDpiTest : public ::testing::Test {
protected:
    void SetUp() override {
        picture_ = dir_.file("pattern.bmp").string();
        writePatternBmp(picture_, 900, 700);
    }
    orrery::test::TempDir dir_;
    std::string picture_;
};

TEST_F(HighDpiTest, ScreenShowsTheHeadlessWindowOfTheDeviceSize) {
    TwinViewer twin(kWidth, kHeight);
    ASSERT_DOUBLE_EQ(twin.widget().devicePixelRatioF(), 2.0);
    EXPECT_EQ(twin.shown().controlWindow().windowWidth(), 2 * kWidth);
    EXPECT_EQ(twin.shown().controlWindow().windowHeight(), 2 * kHeight);
    twin.both([&](Orrery& c) {
        c.setZoomMode(2);
        ASSERT_EQ(c.DisplayFromFile(picture_), 0);
    });
    EXPECT_EQ(twin.screen().size(), QSize(2 * kWidth, 2 * kHeight));
    EXPECT_TRUE(twin.screenMatchesReference());
    // At 100 % one picture pixel is one screen pixel: the grid lines stay
    // one pixel wide.
    twin.both([](Orrery& c) { c.SetZoom100(); });
    EXPECT_TRUE(twin.screenMatchesReference());
    // The window follows the widget in device pixels.
    twin.widget().resize(kWidth + 30, kHeight + 20);
    twin.reference().controlWindow().setWindowSize(2 * (kWidth + 30), 2 * (kHeight + 20));
    EXPECT_EQ(twin.shown().controlWindow().windowWidth(), 2 * (kWidth + 30));
    EXPECT_TRUE(twin.screenMatchesReference());
}

TEST_F(HighDpiTest, PointerPositionsReachTheControlInDevicePixels) {
    TwinViewer twin(kWidth, kHeight);
    // No border: the events' positions are the window's.
    twin.both([&](Orrery& c) {
        c.setBorderStyle(0);
        ASSERT_EQ(c.DisplayFromFile(picture_), 0);
        c.SetZoom100();
        c.setMouseMode(MouseModeAreaSelection);
    });
    QWidget& w = twin.widget();
    QTest::mouseMove(&w, {30, 20});
    QTest::mousePress(&w, Qt::LeftButton, Qt::NoModifier, {30, 20});
    QTest::mouseMove(&w, {90, 70});
    QTest::mouseMove(&w, {150, 110});
    QTest::mouseRelease(&w, Qt::LeftButton, Qt::NoModifier, {150, 110});
    const std::vector<RecordedEvent> downs = twin.eventsNamed("MouseDownControl");
    ASSERT_EQ(downs.size(), 1u);
    EXPECT_FLOAT_EQ(downs[0].args.value(2).toFloat(), 60.0f);
    EXPECT_FLOAT_EQ(downs[0].args.value(3).toFloat(), 40.0f);
    // The same selection drawn in the headless window at device positions.
    window::HeadlessBackend& headless = twin.headless();
    window::ControlWindow& ref = twin.reference().controlWindow();
    headless.mouseMove(ref, 0, 60, 40);
    headless.mouseDown(ref, window::vbLeftButton, 0, 60, 40);
    headless.mouseMove(ref, 0, 180, 140);
    headless.mouseMove(ref, 0, 300, 220);
    headless.mouseUp(ref, window::vbLeftButton, 0, 300, 220);
    EXPECT_TRUE(twin.screenMatchesReference());
}

}  // namespace
}  // namespace orrery::qt::test
