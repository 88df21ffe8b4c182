#include "platform/window/control_window.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "platform/gdiplus/codecs/codecs.h"
#include "platform/gdiplus/factory.h"
#include "orrery/window/headless_backend.h"
#include "support/dib_builder.h"
#include "support/test_support.h"

using namespace orrery::window;
using orrery::gdiplus::ARGB;
using orrery::gdiplus::Image;
using orrery::gdiplus::PixelData;
using orrery::gdiplus::Status;

namespace {

// Logs every owner callback as text, in order.
class Recorder : public WindowOwner {
public:
    void onPaint() override { log.push_back("paint"); }
    void onResize() override { log.push_back("resize"); }
    void onMouseDown(const MouseEvent& e) override { log.push_back("down " + mouse(e)); }
    void onMouseMove(const MouseEvent& e) override { log.push_back("move " + mouse(e)); }
    void onMouseUp(const MouseEvent& e) override { log.push_back("up " + mouse(e)); }
    void onClick() override { log.push_back("click"); }
    void onDoubleClick() override { log.push_back("dblclick"); }
    void onKeyDown(KeyEvent& e) override {
        log.push_back("keydown " + key(e));
        if (cancelKeys) e.keyCode = 0;
    }
    void onKeyPress(KeyPressEvent& e) override { log.push_back("keypress " + std::to_string(e.keyAscii)); }
    void onKeyUp(KeyEvent& e) override { log.push_back("keyup " + key(e)); }
    void onWheel(const WheelEvent& e) override {
        log.push_back("wheel " + std::to_string(e.delta) + " " + std::to_string(static_cast<int>(e.x)));
    }
    void onFocus(FocusTarget t, FocusChange c) override {
        log.push_back("focus " + std::to_string(static_cast<int>(t)) +
                      (c == FocusChange::Gained ? " in" : " out"));
    }
    void onScroll(const ScrollEvent& e) override {
        log.push_back(std::string("sb ") + bar(e.bar) + " " + std::to_string(e.code) + " " +
                      std::to_string(e.value));
    }
    void onScrollValueChanged(ScrollBarId id, int32_t v, ScrollChange how) override {
        log.push_back(std::string("value ") + bar(id) + " " + std::to_string(v) +
                      (how == ScrollChange::Change ? " change" : " track"));
    }
    void onTimer(uint32_t id) override { log.push_back("timer " + std::to_string(id)); }
    void onDrop(const DropData& d) override { log.push_back("drop " + std::to_string(d.files.size())); }

    static std::string mouse(const MouseEvent& e) {
        return std::to_string(e.button) + " " + std::to_string(e.shift) + " " +
               std::to_string(static_cast<int>(e.x)) + " " + std::to_string(static_cast<int>(e.y));
    }
    static std::string key(const KeyEvent& e) {
        return std::to_string(e.keyCode) + " " + std::to_string(e.shift) + " " +
               std::to_string(static_cast<int>(e.target));
    }
    static const char* bar(ScrollBarId id) { return id == ScrollBarId::Horizontal ? "H" : "V"; }

    std::vector<std::string> take() {
        std::vector<std::string> out;
        out.swap(log);
        return out;
    }
    std::vector<std::string> log;
    bool cancelKeys = false;
};

using Log = std::vector<std::string>;

struct Fixture {
    Fixture(int w = 200, int h = 150) : window(backend) {
        window.setOwner(&owner);
        EXPECT_EQ(window.setWindowSize(w, h), Status::Ok);
        owner.take();
    }
    HeadlessBackend backend;
    ControlWindow window;
    Recorder owner;
};

ARGB pixelOf(const Image& image, int x, int y) {
    ARGB c = 0;
    EXPECT_EQ(image.getPixel(x, y, c), Status::Ok);
    return c;
}

std::shared_ptr<Image> solidImage(int w, int h, ARGB color) {
    PixelData px;
    EXPECT_EQ(PixelData::allocate(w, h, orrery::gdiplus::PixelFormat32bppARGB, px), Status::Ok);
    for (int y = 0; y < h; ++y) {
        auto* row = reinterpret_cast<uint32_t*>(px.row(y));
        for (int x = 0; x < w; ++x) row[x] = color;
    }
    return std::shared_ptr<Image>(Image::fromPixels(std::move(px)));
}

void fillClient(const ControlWindow& w, uint32_t argb) {
    const auto& s = w.surface();
    for (int y = 0; y < s.height; ++y)
        for (int x = 0; x < s.width; ++x)
            reinterpret_cast<uint32_t*>(reinterpret_cast<uint8_t*>(s.pixels) + y * s.stride)[x] = argb;
}

std::unique_ptr<Image> snap(const ControlWindow& w) {
    std::unique_ptr<Image> out;
    EXPECT_EQ(w.snapshot(out), Status::Ok);
    return out;
}

}  // namespace

// --- Identity and size -------------------------------------------------------------

TEST(ControlWindowIdentity, HandlesAreUniquePositiveAndFindTheirWindow) {
    HeadlessBackend backend;
    ControlWindow a(backend), b(backend);
    EXPECT_GT(a.hwnd(), 0);
    EXPECT_GT(a.hdc(), 0);
    EXPECT_NE(a.hwnd(), b.hwnd());
    EXPECT_NE(a.hdc(), b.hdc());
    EXPECT_EQ(ControlWindow::fromHwnd(b.hwnd()), &b);
    EXPECT_EQ(ControlWindow::fromHdc(a.hdc()), &a);
    Hwnd gone = 0;
    {
        ControlWindow c(backend);
        gone = c.hwnd();
    }
    EXPECT_EQ(ControlWindow::fromHwnd(gone), nullptr);
}

TEST(ControlWindowSize, BorderTakesOneOrTwoPixelsOffTheClientArea) {
    Fixture f;
    EXPECT_EQ(f.window.borderStyle(), BorderStyle::FixedSingle);
    EXPECT_EQ(f.window.appearance(), Appearance::ThreeD);
    EXPECT_EQ(f.window.clientWidth(), 196);
    EXPECT_EQ(f.window.clientHeight(), 146);
    EXPECT_EQ(f.window.surface().width, 196);
    f.window.setAppearance(Appearance::Flat);
    EXPECT_EQ(f.window.clientWidth(), 198);
    f.window.setBorderStyle(BorderStyle::None);
    EXPECT_EQ(f.window.clientWidth(), 200);
    EXPECT_EQ(f.window.clientHeight(), 150);
    EXPECT_EQ(f.owner.take(), (Log{"resize", "resize"}));
    f.window.setBorderStyle(BorderStyle::None);  // no change, no notification
    EXPECT_TRUE(f.owner.log.empty());
}

TEST(ControlWindowSize, ResizeKeepsTheContentAndRefusesBadSizes) {
    Fixture f(50, 40);
    fillClient(f.window, 0xFF112233u);
    EXPECT_EQ(f.window.setWindowSize(80, 40), Status::Ok);
    EXPECT_EQ(f.owner.take(), Log{"resize"});
    const auto& s = f.window.surface();
    const auto* row = reinterpret_cast<const uint32_t*>(reinterpret_cast<const uint8_t*>(s.pixels) + 10 * s.stride);
    EXPECT_EQ(row[10], 0xFF112233u);  // kept
    EXPECT_EQ(row[60], 0xFFF0F0F0u);  // new area in the back colour (button face)
    EXPECT_EQ(f.window.setWindowSize(-1, 10), Status::InvalidParameter);
    EXPECT_EQ(f.window.windowWidth(), 80);
    const size_t limit = orrery::gdiplus::pixelAllocationLimit();
    orrery::gdiplus::setPixelAllocationLimit(1 << 20);
    EXPECT_EQ(f.window.setWindowSize(5000, 5000), Status::OutOfMemory);
    orrery::gdiplus::setPixelAllocationLimit(limit);
    EXPECT_EQ(f.window.windowWidth(), 80);
    EXPECT_EQ(f.window.setWindowSize(0, 0), Status::Ok);
    EXPECT_EQ(f.window.surface().pixels, nullptr);
    std::unique_ptr<Image> none;
    EXPECT_EQ(f.window.snapshot(none), Status::InvalidParameter);
}

// --- Scroll bars through the window ---------------------------------------------

TEST(ControlWindowScrollBars, PlacedAlongTheEdgesWithTheCornerBoxOnlyForBoth) {
    Fixture f;  // client 196 x 146
    f.window.setScrollVisible(ScrollBarId::Horizontal, true);
    const auto& h = f.window.scrollBar(ScrollBarId::Horizontal);
    const auto& v = f.window.scrollBar(ScrollBarId::Vertical);
    EXPECT_EQ(h.geometry(), (Rect{0, 129, 196, 17}));
    EXPECT_FALSE(f.window.cornerVisible());
    f.window.setScrollVisible(ScrollBarId::Vertical, true);
    EXPECT_EQ(h.geometry(), (Rect{0, 129, 179, 17}));
    EXPECT_EQ(v.geometry(), (Rect{179, 0, 17, 129}));
    EXPECT_TRUE(f.window.cornerVisible());
    EXPECT_EQ(f.window.cornerBox(), (Rect{179, 129, 17, 17}));
    f.window.setScrollVisible(ScrollBarId::Horizontal, false);
    EXPECT_EQ(v.geometry(), (Rect{179, 0, 17, 146}));
    EXPECT_FALSE(f.window.cornerVisible());
    // A resize moves the bars with the edges.
    f.window.setWindowSize(304, 204);
    EXPECT_EQ(v.geometry(), (Rect{283, 0, 17, 200}));
}

TEST(ControlWindowScrollBars, ValueChangesByProgramReachTheOwner) {
    Fixture f;
    f.window.setScrollMax(ScrollBarId::Vertical, 100);
    f.window.setScrollValue(ScrollBarId::Vertical, 70);
    f.window.setScrollValue(ScrollBarId::Vertical, 70);
    f.window.setScrollMax(ScrollBarId::Vertical, 40);  // clamps the value
    f.window.setScrollValue(ScrollBarId::Vertical, -3);
    EXPECT_EQ(f.owner.take(), (Log{"value V 70 change", "value V 40 change", "value V 0 change"}));
}

namespace {

// A window whose vertical bar (x 179..195, y 0..145 in the client, so
// 181..197 and 2..147 in the window) has range 0..100, page 10, small 3.
struct BarFixture : Fixture {
    BarFixture() {
        window.setScrollVisible(ScrollBarId::Vertical, true);
        window.setScrollMax(ScrollBarId::Vertical, 100);
        window.setScrollSmallChange(ScrollBarId::Vertical, 3);
        window.setScrollLargeChange(ScrollBarId::Vertical, 10);
        owner.take();
    }
    static constexpr float kBarX = 2 + 179 + 8;
};

}  // namespace

TEST(ControlWindowScrollBars, ArrowClickSendsLineMessagesAndTakesTheFocus) {
    BarFixture f;
    f.backend.click(f.window, vbLeftButton, 0, BarFixture::kBarX, 2 + 146 - 5);
    EXPECT_EQ(f.owner.take(),
              (Log{"focus 3 in", "sb V 1 3", "value V 3 change", "sb V 8 3"}));
    EXPECT_EQ(f.window.focus(), FocusTarget::VScroll);
    f.backend.click(f.window, vbLeftButton, 0, BarFixture::kBarX, 2 + 3);
    EXPECT_EQ(f.owner.take(), (Log{"sb V 0 0", "value V 0 change", "sb V 8 0"}));
    // At the top a further line up changes nothing but still reports.
    f.backend.click(f.window, vbLeftButton, 0, BarFixture::kBarX, 2 + 3);
    EXPECT_EQ(f.owner.take(), (Log{"sb V 0 0", "sb V 8 0"}));
    // The right button does nothing on a bar.
    f.backend.click(f.window, vbRightButton, 0, BarFixture::kBarX, 2 + 3);
    EXPECT_TRUE(f.owner.log.empty());
}

TEST(ControlWindowScrollBars, HeldTrackRepeatsUntilTheThumbReachesThePointer) {
    BarFixture f;
    // Track 112 px (17..129); thumb 10 px (10 / 110 of the track).
    const float y = 2 + 60;
    f.backend.mouseDown(f.window, vbLeftButton, 0, BarFixture::kBarX, y);
    EXPECT_EQ(f.owner.take(), (Log{"focus 3 in", "sb V 3 10", "value V 10 change"}));
    f.backend.advance(199);
    EXPECT_TRUE(f.owner.log.empty());
    f.backend.advance(1);  // first repeat after 200 ms
    EXPECT_EQ(f.owner.take(), (Log{"sb V 3 20", "value V 20 change"}));
    f.backend.advance(50 * 20);  // then every 50 ms while the track is under the pointer
    const int pointerValue = f.window.scrollBar(ScrollBarId::Vertical).valueForThumbStart(60);
    const int32_t reached = f.window.scrollBar(ScrollBarId::Vertical).value();
    EXPECT_GE(reached, pointerValue - 10);
    EXPECT_LT(reached, 100);
    f.owner.take();
    f.backend.mouseUp(f.window, vbLeftButton, 0, BarFixture::kBarX, y);
    EXPECT_EQ(f.owner.take(), (Log{"sb V 8 " + std::to_string(reached)}));
    EXPECT_EQ(f.backend.timerCount(), 0u);
}

TEST(ControlWindowScrollBars, ThumbDragTracksThenSettles) {
    BarFixture f;
    const auto& v = f.window.scrollBar(ScrollBarId::Vertical);
    const float grabY = 2 + v.thumbStart() + 2;  // on the thumb at value 0
    f.backend.mouseDown(f.window, vbLeftButton, 0, BarFixture::kBarX, grabY);
    f.owner.take();
    const int32_t expected = v.valueForThumbStart(v.thumbStart() + 52);
    // Far outside the bar the drag still follows the pointer (capture).
    f.backend.mouseMove(f.window, 0, 500, grabY + 52);
    EXPECT_EQ(f.owner.take(), (Log{"sb V 5 " + std::to_string(expected),
                                   "value V " + std::to_string(expected) + " track"}));
    f.backend.mouseUp(f.window, vbLeftButton, 0, 500, grabY + 52);
    EXPECT_EQ(f.owner.take(), (Log{"sb V 4 " + std::to_string(expected),
                                   "value V " + std::to_string(expected) + " change",
                                   "sb V 8 " + std::to_string(expected)}));
    EXPECT_GT(expected, 0);
}

TEST(ControlWindowScrollBars, KeysOnAFocusedBarScrollUnlessTheOwnerCancels) {
    BarFixture f;
    ASSERT_TRUE(f.window.setFocus(FocusTarget::VScroll));
    f.owner.take();
    f.backend.keyStroke(f.window, VK_DOWN, 0);
    EXPECT_EQ(f.owner.take(), (Log{"keydown 40 0 3", "sb V 1 3", "value V 3 change",
                                   "keyup 40 0 3", "sb V 8 3"}));
    f.backend.keyStroke(f.window, VK_END, 0);
    EXPECT_EQ(f.window.scrollBar(ScrollBarId::Vertical).value(), 100);
    f.owner.take();
    f.owner.cancelKeys = true;
    f.backend.keyStroke(f.window, VK_HOME, vbShiftMask);
    EXPECT_EQ(f.owner.take(), (Log{"keydown 36 1 3", "keyup 36 1 3"}));
    EXPECT_EQ(f.window.scrollBar(ScrollBarId::Vertical).value(), 100);
}

TEST(ControlWindowScrollBars, ClickOnTheCornerBoxFocusesIt) {
    BarFixture f;
    f.window.setScrollVisible(ScrollBarId::Horizontal, true);
    f.backend.click(f.window, vbLeftButton, 0, 2 + 185, 2 + 135);
    EXPECT_EQ(f.window.focus(), FocusTarget::Corner);
    EXPECT_EQ(f.owner.take(), (Log{"focus 4 in"}));
}

TEST(ControlWindowScrollBars, HidingTheFocusedBarGivesTheFocusToTheControl) {
    BarFixture f;
    f.window.setScrollVisible(ScrollBarId::Horizontal, true);
    ASSERT_TRUE(f.window.setFocus(FocusTarget::Corner));
    f.owner.take();
    f.window.setScrollVisible(ScrollBarId::Horizontal, false);
    EXPECT_EQ(f.window.focus(), FocusTarget::Control);
    EXPECT_EQ(f.owner.take(), (Log{"focus 4 out", "focus 1 in"}));
    EXPECT_FALSE(f.window.setFocus(FocusTarget::Corner));
    EXPECT_FALSE(f.window.setFocus(FocusTarget::HScroll));
}

// --- Client input ----------------------------------------------------------------

TEST(ControlWindowInput, MouseInClientCoordinatesWithClickAfterUp) {
    Fixture f;
    f.backend.mouseMove(f.window, 0, 12, 22);
    f.backend.click(f.window, vbLeftButton, vbCtrlMask, 12, 22);
    EXPECT_EQ(f.owner.take(), (Log{"move 0 0 10 20", "focus 1 in", "down 1 2 10 20",
                                   "up 1 2 10 20", "click"}));
    EXPECT_EQ(f.backend.captureWindow(), nullptr);
}

TEST(ControlWindowInput, DoubleClickFollowsThePlatformOrder) {
    Fixture f;
    f.backend.focus(f.window);
    f.owner.take();
    f.backend.doubleClick(f.window, vbLeftButton, 0, 30, 30);
    EXPECT_EQ(f.owner.take(), (Log{"down 1 0 28 28", "up 1 0 28 28", "click", "dblclick",
                                   "up 1 0 28 28"}));
}

TEST(ControlWindowInput, CaptureFollowsThePressAndMovesCarryHeldButtons) {
    Fixture f;
    f.backend.focus(f.window);
    f.backend.mouseDown(f.window, vbRightButton, 0, 50, 50);
    EXPECT_EQ(f.backend.captureWindow(), &f.window);
    f.backend.mouseDown(f.window, vbLeftButton, 0, 50, 50);
    f.backend.mouseMove(f.window, 0, 400, -30);  // outside the window
    f.backend.mouseUp(f.window, vbLeftButton, 0, 400, -30);
    f.backend.mouseUp(f.window, vbRightButton, 0, 400, -30);
    EXPECT_EQ(f.owner.take(), (Log{"focus 1 in", "down 2 0 48 48", "down 1 0 48 48",
                                   "move 3 0 398 -32", "up 1 0 398 -32", "up 2 0 398 -32"}));
    EXPECT_EQ(f.backend.captureWindow(), nullptr);
    // Without a press, input outside the client area reaches nobody.
    f.backend.mouseMove(f.window, 0, 400, -30);
    f.backend.mouseDown(f.window, vbLeftButton, 0, 0, 0);  // on the border
    f.backend.mouseUp(f.window, vbLeftButton, 0, 0, 0);
    EXPECT_TRUE(f.owner.log.empty());
    // An explicit capture keeps input coming.
    f.window.setCapture();
    f.backend.mouseMove(f.window, 0, 400, -30);
    f.window.releaseCapture();
    EXPECT_EQ(f.owner.take(), (Log{"move 0 0 398 -32"}));
}

TEST(ControlWindowInput, KeysWheelDropAndExposureReachTheOwner) {
    Fixture f;
    f.backend.keyStroke(f.window, VK_ADD, 0, '+');
    f.backend.wheel(f.window, -120, 0, 42, 10);
    f.backend.dropFiles(f.window, {"/a.png", "/b.png"});  // drop mode none: ignored
    f.window.setDropMode(DropMode::Manual);
    f.backend.dropFiles(f.window, {"/a.png", "/b.png"});
    f.backend.expose(f.window);
    EXPECT_EQ(f.owner.take(), (Log{"focus 1 in", "keydown 107 0 1", "keypress 43", "keyup 107 0 1",
                                   "wheel -120 40", "drop 2", "paint"}));
}

TEST(ControlWindowInput, DisabledWindowTakesNoInput) {
    Fixture f;
    f.window.setEnabled(false);
    f.window.setDropMode(DropMode::Manual);
    f.backend.click(f.window, vbLeftButton, 0, 20, 20);
    f.window.keyDown(VK_DOWN, 0);
    f.backend.wheel(f.window, 120, 0, 20, 20);
    f.backend.dropFiles(f.window, {"/a.png"});
    EXPECT_FALSE(f.window.setFocus(FocusTarget::Control));
    EXPECT_TRUE(f.owner.log.empty());
}

TEST(ControlWindowInput, TimersReachTheOwner) {
    Fixture f;
    f.window.setTimer(5, 1000);
    f.backend.advance(2000);
    f.window.killTimer(5);
    f.backend.advance(2000);
    EXPECT_EQ(f.owner.take(), (Log{"timer 5", "timer 5"}));
}

// --- Cursor ------------------------------------------------------------------------

TEST(ControlWindowCursor, PointerShowsOverTheClientAreaOnly) {
    Fixture f;
    f.window.setScrollVisible(ScrollBarId::Vertical, true);
    f.window.setMousePointer(MousePointerCross);
    EXPECT_EQ(f.backend.cursorOf(f.window).pointer, MousePointerDefault);  // pointer not over it yet
    f.backend.mouseMove(f.window, 0, 20, 20);
    EXPECT_EQ(f.backend.cursorOf(f.window).pointer, MousePointerCross);
    f.backend.mouseMove(f.window, 0, 190, 20);  // over the scroll bar
    EXPECT_EQ(f.backend.cursorOf(f.window).pointer, MousePointerDefault);
    f.backend.mouseMove(f.window, 0, 20, 20);
    f.window.setMousePointer(MousePointerSizeAll);
    EXPECT_EQ(f.backend.cursorOf(f.window).pointer, MousePointerSizeAll);
}

TEST(ControlWindowCursor, CustomIconFromACursorFile) {
    using namespace orrery::test;
    DibLayout layout;
    layout.width = 8;
    layout.height = 16;  // colour and mask
    layout.bitCount = 32;
    layout.bits.assign(8 * 8 * 4, 0xFF);
    layout.bits.resize(8 * 8 * 4 + 8 * 4, 0);
    IcoEntry entry;
    entry.data = packedDib(layout);
    entry.width = 8;
    entry.height = 8;
    entry.planesOrHotX = 3;
    entry.bitsOrHotY = 5;
    TempDir dir;
    writeFile(dir.file("hand.cur"), icoFile({entry}, 2));
    writeFile(dir.file("bad.cur"), {1, 2, 3});

    Fixture f;
    ASSERT_EQ(f.window.loadMouseIcon(dir.file("hand.cur").string()), Status::Ok);
    ASSERT_TRUE(f.window.mouseIcon());
    EXPECT_EQ(f.window.mouseIcon()->hotspotX, 3);
    EXPECT_EQ(f.window.mouseIcon()->hotspotY, 5);
    EXPECT_EQ(f.window.mouseIcon()->image->width(), 8);
    EXPECT_NE(f.window.loadMouseIcon(dir.file("bad.cur").string()), Status::Ok);
    EXPECT_EQ(f.window.loadMouseIcon(dir.file("missing.cur").string()), Status::FileNotFound);
    EXPECT_EQ(f.window.mouseIcon()->hotspotX, 3);  // the previous icon stays
    f.window.setMousePointer(MousePointerCustom);
    f.backend.mouseMove(f.window, 0, 20, 20);
    const Cursor c = f.backend.cursorOf(f.window);
    EXPECT_EQ(c.pointer, MousePointerCustom);
    EXPECT_EQ(c.custom, f.window.mouseIcon());
}

// --- Composition -------------------------------------------------------------------

TEST(ControlWindowSnapshot, PersistentBitmapInsideThe3DBorder) {
    Fixture f(60, 40);
    fillClient(f.window, 0xFFFF0000u);
    const auto img = snap(f.window);
    ASSERT_TRUE(img);
    EXPECT_EQ(img->width(), 60);
    EXPECT_EQ(img->pixelFormat(), orrery::gdiplus::PixelFormat32bppARGB);
    EXPECT_EQ(pixelOf(*img, 2, 2), 0xFFFF0000u);
    EXPECT_EQ(pixelOf(*img, 57, 37), 0xFFFF0000u);
    // Sunken edge: shadow and dark shadow at the top and left, highlight and
    // light at the bottom and right.
    EXPECT_EQ(pixelOf(*img, 0, 20), 0xFFA0A0A0u);
    EXPECT_EQ(pixelOf(*img, 1, 20), 0xFF696969u);
    EXPECT_EQ(pixelOf(*img, 30, 0), 0xFFA0A0A0u);
    EXPECT_EQ(pixelOf(*img, 59, 20), 0xFFFFFFFFu);
    EXPECT_EQ(pixelOf(*img, 58, 20), 0xFFE3E3E3u);
    EXPECT_EQ(pixelOf(*img, 30, 39), 0xFFFFFFFFu);
    f.window.setAppearance(Appearance::Flat);
    const auto flat = snap(f.window);
    EXPECT_EQ(pixelOf(*flat, 0, 20), 0xFF646464u);
    EXPECT_EQ(pixelOf(*flat, 1, 20), 0xFFFF0000u);
}

TEST(ControlWindowSnapshot, DrawingLayerDrawsOnThePersistentBitmap) {
    Fixture f(30, 20);
    std::unique_ptr<orrery::gdiplus::Graphics> g;
    ASSERT_EQ(orrery::gdiplus::Graphics::fromSurface(f.window.surface(), g), Status::Ok);
    ASSERT_EQ(g->clear(0xFF0080FFu), Status::Ok);
    auto blue = solidImage(4, 4, 0xFF0000FFu);
    ASSERT_EQ(g->setPageUnit(orrery::gdiplus::UnitPixel), Status::Ok);
    ASSERT_EQ(g->drawImageRect(*blue, {10, 5, 4, 4}), Status::Ok);
    const auto img = snap(f.window);
    EXPECT_EQ(pixelOf(*img, 2 + 1, 2 + 1), 0xFF0080FFu);
    EXPECT_EQ(pixelOf(*img, 2 + 11, 2 + 6), 0xFF0000FFu);
    EXPECT_EQ(pixelOf(*img, 2 + 15, 2 + 6), 0xFF0080FFu);
}

TEST(ControlWindowSnapshot, ClearSurfaceErasesToTheBackColour) {
    Fixture f(30, 30);
    f.window.setBorderStyle(BorderStyle::None);
    fillClient(f.window, 0xFF000000u);
    f.window.setBackColor(0x00FF8040);  // 0x00BBGGRR
    f.window.clearSurface();
    EXPECT_EQ(pixelOf(*snap(f.window), 15, 15), 0xFF4080FFu);
    // A system colour resolves through the colour table.
    f.window.setBackColor(0x80000005);  // window background
    f.window.clearSurface();
    EXPECT_EQ(pixelOf(*snap(f.window), 15, 15), 0xFFFFFFFFu);
}

TEST(ControlWindowSnapshot, PictureOverTheBackColourWhenPersistentDrawingIsOff) {
    Fixture f(40, 30);
    f.window.setBorderStyle(BorderStyle::None);
    fillClient(f.window, 0xFFFF0000u);  // not shown while off
    f.window.setPersistentDrawing(PersistentDrawing::Off);
    f.window.setBackColor(0x0000FF00);
    f.window.setPicture(solidImage(10, 10, 0xFF0000FFu));
    auto img = snap(f.window);
    EXPECT_EQ(pixelOf(*img, 5, 5), 0xFF0000FFu);
    EXPECT_EQ(pixelOf(*img, 20, 5), 0xFF00FF00u);
    // Half-transparent picture pixels blend with the back colour.
    f.window.setPicture(solidImage(10, 10, 0x800000FFu));
    img = snap(f.window);
    const ARGB c = pixelOf(*img, 5, 5);
    EXPECT_NEAR(static_cast<int>(c & 0xFF), 128, 1);
    EXPECT_NEAR(static_cast<int>((c >> 8) & 0xFF), 127, 1);
    // Back on, the persistent bitmap shows again.
    f.window.setPersistentDrawing(PersistentDrawing::On);
    EXPECT_EQ(pixelOf(*snap(f.window), 5, 5), 0xFFFF0000u);
}

TEST(ControlWindowSnapshot, MaskLetsTheContainerShowThroughInTransparentStyle) {
    Fixture f(40, 30);
    f.window.setBorderStyle(BorderStyle::None);
    f.window.setPersistentDrawing(PersistentDrawing::Off);
    f.window.setContainerBackColor(0x00FFFF00);  // cyan as 0x00BBGGRR
    auto picture = solidImage(20, 30, 0xFFFF0000u);
    std::shared_ptr<Image> mask = solidImage(20, 30, 0xFFFF0000u);
    for (int y = 0; y < 30; ++y)
        for (int x = 0; x < 10; ++x) ASSERT_EQ(mask->setPixel(x, y, 0x00000000u), Status::Ok);
    f.window.setPicture(picture);
    f.window.setMaskPicture(mask);
    f.window.setBackStyle(BackStyle::Transparent);
    auto img = snap(f.window);
    EXPECT_EQ(pixelOf(*img, 5, 5), 0xFF00FFFFu);   // masked out: container
    EXPECT_EQ(pixelOf(*img, 15, 5), 0xFFFF0000u);  // inside the mask: picture
    EXPECT_EQ(pixelOf(*img, 30, 5), 0xFF00FFFFu);  // beyond the mask: container
    // The opaque style ignores the mask.
    f.window.setBackStyle(BackStyle::Opaque);
    img = snap(f.window);
    EXPECT_EQ(pixelOf(*img, 5, 5), 0xFFFF0000u);
    EXPECT_EQ(pixelOf(*img, 30, 5), 0xFFF0F0F0u);
}

TEST(ControlWindowSnapshot, ShapeOverContentUnderScrollBarsAndCorner) {
    Fixture f(100, 80);  // client 96 x 76 at (2, 2)
    fillClient(f.window, 0xFF00FF00u);
    f.window.setScrollVisible(ScrollBarId::Horizontal, true);
    f.window.setScrollVisible(ScrollBarId::Vertical, true);
    RectShape r;
    r.move(0, 0, 96, 76);  // the whole client area, partly under the bars
    r.setDrawMode(R2_NOT);
    f.window.setRectShape(r);
    const auto img = snap(f.window);
    EXPECT_EQ(pixelOf(*img, 2, 2), 0xFFFF00FFu);    // inverted content
    EXPECT_EQ(pixelOf(*img, 10, 10), 0xFF00FF00u);  // inside the outline
    EXPECT_EQ(pixelOf(*img, 2 + 87, 2 + 67), 0xFFF0F0F0u);  // corner box
    EXPECT_EQ(pixelOf(*img, 2 + 95, 2 + 5), 0xFF696969u);  // arrow edge over the shape's right side
    EXPECT_EQ(pixelOf(*img, 0, 30), 0xFFA0A0A0u);           // border last
}

TEST(ControlWindowSnapshot, ComposeChecksTheTargetAndSnapshotsSaveAsPng) {
    Fixture f(24, 16);
    fillClient(f.window, 0xFF336699u);
    std::vector<uint32_t> small(10 * 10);
    EXPECT_EQ(f.window.compose({small.data(), 10, 10, 40}), Status::InvalidParameter);
    const auto img = snap(f.window);
    orrery::test::TempDir dir;
    const std::string path = dir.file("window.png").string();
    ASSERT_EQ(img->save(path, orrery::gdiplus::codecs::pngEncoder().info().clsid, {}), Status::Ok);
    std::unique_ptr<Image> back;
    ASSERT_EQ(orrery::gdiplus::loadImageFromFile(path, {}, back), Status::Ok);
    EXPECT_EQ(back->width(), 24);
    EXPECT_EQ(pixelOf(*back, 10, 8), 0xFF336699u);
    EXPECT_EQ(pixelOf(*back, 0, 8), 0xFFA0A0A0u);
}

TEST(ControlWindowSnapshot, RefreshAsksForAnImmediateRepaint) {
    Fixture f;
    const size_t before = f.backend.invalidations(f.window);
    f.window.refresh();
    EXPECT_EQ(f.backend.invalidations(f.window), before + 1);
    EXPECT_EQ(f.backend.immediateRepaints(f.window), 1u);
    EXPECT_TRUE(f.owner.log.empty());  // presenting does not call the owner
}
