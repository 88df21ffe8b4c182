// Events as a host sees them around the control's own handling, the
// keyboard-focus bookkeeping, dropped files, and the context menu: its tree,
// its commands, its marks and what it does to the button that opened it.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "control/context_menu.h"
#include "control/events.h"
#include "control/orrery.h"
#include "imaging/image_table.h"
#include "orrery/window/headless_backend.h"
#include "platform/window/control_window.h"
#include "support/frame_builders.h"
#include "support/headless_viewer.h"
#include "support/test_support.h"

using namespace orrery;
using namespace orrery::automation;
using control::ContextMenu;
using window::HeadlessBackend;

namespace {

const bool kNoPlugin = [] { return setenv("ORRERY_CODEC_PLUGIN", "none", 1) == 0; }();

constexpr int32_t kLeft = window::vbLeftButton, kRight = window::vbRightButton;

class EventsTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(kNoPlugin); }
    void TearDown() override {
        v.reset();
        EXPECT_EQ(imaging::modMain::LiveEntryCount(), 0u);
    }

    std::string touch(const std::string& name) {
        const std::string path = files.file(name).string();
        std::ofstream(path) << "bytes";
        return path;
    }
    // Opens the menu with a right click, answering `item`.
    void choose(int32_t item) {
        backend.queuePopupMenuAnswer(item);
        v->down(kRight, 50, 50);
        v->up(kRight, 50, 50);
    }
    const window::PopupMenuRequest& lastMenu() { return backend.popupMenus().back().request; }

    test::TempDir files;
    HeadlessBackend backend;
    std::unique_ptr<test::HeadlessViewer> v = std::make_unique<test::HeadlessViewer>(backend);
};

// ---------------------------------------------------------------------------
// Forwarding

TEST_F(EventsTest, EachWindowEventReachesTheHostInItsOrder) {
    v->control.setMouseMode(viewer::MouseModeDefault);
    backend.click(v->window(), kLeft, 0, 20, 20);
    EXPECT_EQ(v->events, (std::vector<std::string>{"MouseDownControl", "MouseUpControl", "ClickControl"}));
    v->events.clear();
    backend.doubleClick(v->window(), kLeft, 0, 20, 20);
    EXPECT_EQ(v->events, (std::vector<std::string>{"MouseDownControl", "MouseUpControl", "ClickControl",
                                                   "DblClickControl", "MouseUpControl"}));
    v->calls.clear();
    v->handler = [](DISPID id, std::span<Variant> args) {
        if (id == control::EventId::KeyPressControl) args[0].assignThroughRef(Variant(int16_t{0}));
    };
    backend.keyStroke(v->window(), 'A', window::vbShiftMask, 'A');
    EXPECT_EQ(v->calls,
              (std::vector<std::string>{"KeyDownControl(65, 1)", "KeyPressControl(65)", "KeyUpControl(65, 1)"}));
    v->events.clear();
    backend.expose(v->window());
    EXPECT_EQ(v->events, (std::vector<std::string>{"PaintControl"}));
    v->events.clear();
    ASSERT_TRUE(v->showBlank(800, 600));
    backend.resize(v->window(), 304, 204);
    ASSERT_FALSE(v->events.empty());
    EXPECT_EQ(v->events.back(), "ResizeControl");
    EXPECT_EQ(v->control.GetHScrollBarMaxPosition(), 800 - 300 + 17);
}

TEST_F(EventsTest, FocusOwnerFollowsThePartsAndAutoFocusGoesToTheCorner) {
    EXPECT_EQ(v->control.focusOwner(), 0);
    backend.focus(v->window());
    EXPECT_EQ(v->control.focusOwner(), 1);
    ASSERT_TRUE(v->showBlank(800, 600));  // both bars: the corner box shows
    EXPECT_EQ(v->control.focusOwner(), 4);
    ASSERT_TRUE(v->window().setFocus(window::FocusTarget::VScroll));
    EXPECT_EQ(v->control.focusOwner(), 3);
    backend.blur();
    EXPECT_EQ(v->control.focusOwner(), 0);
    // Without the focus, or with auto-focus off, painting moves nothing.
    v->control.Redraw();
    EXPECT_EQ(v->control.focusOwner(), 0);
    v->control.setDisableAutoFocus(true);
    backend.focus(v->window());
    ASSERT_TRUE(v->window().setFocus(window::FocusTarget::Control));
    ASSERT_TRUE(v->showBlank(900, 700));
    EXPECT_EQ(v->control.focusOwner(), 1);
}

// ---------------------------------------------------------------------------
// Drops

TEST_F(EventsTest, DroppedFilesAreReportedReadableOnesOnlyAndNeverLoaded) {
    const std::string a = touch("a.png"), b = touch("b c%.jpg");
    std::filesystem::create_directory(files.file("folder"));
    const std::string folder = files.file("folder").string();
    const std::string fifo = files.file("pipe").string();
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const std::string gone = touch("gone.png");
    std::filesystem::remove(gone);

    backend.dropFiles(v->window(), {a, b});
    EXPECT_TRUE(v->events.empty());  // ViewerDrop is off
    v->control.setViewerDrop(true);
    backend.dropFiles(v->window(), {folder, a, fifo, gone, b});
    EXPECT_EQ(v->calls, (std::vector<std::string>{"FileDrop(" + a + ")", "FilesDrop([" + a + "|" + b + "], 2)"}));
    EXPECT_EQ(v->control.GetNativeImage(), 0);
    v->calls.clear();
    backend.dropFiles(v->window(), {folder, fifo});
    backend.dropFiles(v->window(), {});
    backend.dropText(v->window(), "not a file list");
    EXPECT_TRUE(v->calls.empty());
    // A uri-list: this machine's file: URIs, percent-decoded.
    std::string encoded = "file://" + files.path().string() + "/b%20c%25.jpg";
    backend.dropUris(v->window(), {"http://example.invalid/x.png", "file://otherhost" + a, encoded,
                                   "file://" + files.path().string() + "/a%00.png"});
    EXPECT_EQ(v->calls, (std::vector<std::string>{"FileDrop(" + b + ")", "FilesDrop([" + b + "], 1)"}));
    // A handler may load the dropped file itself.
    v->handler = [this](DISPID id, std::span<Variant> args) {
        if (id == control::EventId::FileDrop) v->control.DisplayFromFile(args[0].dereferenced().str());
    };
    const std::string png = files.file("p.png").string();
    ASSERT_TRUE(v->showBlank(10, 10));
    ASSERT_EQ(gdiplus::Status::Ok,
              imaging::modMain::GetGdiImage(v->control.GetNativeImage())->save(png, gdiplus::CodecClsid::PNG, {}));
    backend.dropFiles(v->window(), {png});
    EXPECT_EQ(v->control.ImageWidth(), 10);
    EXPECT_EQ(v->count("Display"), 1u);
}

// ---------------------------------------------------------------------------
// The context menu

TEST_F(EventsTest, TheMenuOpensOnARightClickOnAPictureWithItsFixedTree) {
    backend.queuePopupMenuAnswer(0);
    v->down(kRight, 50, 50);
    EXPECT_TRUE(backend.popupMenus().empty());  // no picture
    EXPECT_EQ(v->events, (std::vector<std::string>{"MouseDownControl"}));
    v->up(kRight, 50, 50);
    backend.clearRecords();
    ASSERT_TRUE(v->showBlank(200, 100));
    choose(0);
    ASSERT_EQ(backend.popupMenus().size(), 1u);
    const auto& items = lastMenu().items;
    ASSERT_EQ(items.size(), 9u);
    EXPECT_EQ(lastMenu().x, 50);
    const std::vector<std::pair<int32_t, std::string>> top = {
        {1, "Pages / Frames"}, {6, "Play Gif"}, {7, "Stop GIF Animation"}, {8, "Rotations - Flips"},
        {16, "ScrollBars"},    {17, "Copy to Clipboard"}, {18, "Zoom"},   {27, "Left Click"},
        {32, "Viewer Quality"}};
    for (size_t i = 0; i < top.size(); ++i) {
        EXPECT_EQ(items[i].id, top[i].first);
        EXPECT_EQ(items[i].caption, top[i].second);
    }
    EXPECT_EQ(items[3].items[6].caption, "RotateFlip 270\xC2\xB0 ");
    EXPECT_EQ(items[3].items[0].caption, "Rotate 90\xC2\xB0");
    EXPECT_EQ(items[6].items[5].caption, "Fit image to viewer (don't keep aspect ratio)");
    ASSERT_EQ(items[8].items.size(), 7u);
    EXPECT_TRUE(items[8].items[1].separator);
    EXPECT_EQ(items[8].items[1].caption, "-");
    EXPECT_EQ(items[8].items[6].caption, "Quality Bicubic HQ");
    // Marks and states when it first opens: a single page, nothing playing,
    // 100 %, the pan tool, bicubic HQ, scroll bars on.
    const ContextMenu& menu = v->control.contextMenu();
    for (int32_t n : {2, 3, 4, 5, 6, 7}) EXPECT_FALSE(menu.isEnabled(n)) << n;
    for (int32_t n : {21, 29, 38, 16}) EXPECT_TRUE(menu.isChecked(n)) << n;
    for (int32_t n : {23, 24, 25, 26, 28, 30, 31, 33, 34}) EXPECT_FALSE(menu.isChecked(n)) << n;
    // The menu took the release of the button: no MouseUpControl, and the
    // wheel works at once.
    EXPECT_EQ(v->events, (std::vector<std::string>{"MouseDownControl"}));
    v->events.clear();
    v->wheel(120);
    EXPECT_EQ(v->count("MouseWheelControl"), 1u);
    // With EnableMenu off, or the right button driving the modes, no menu.
    v->control.setEnableMenu(false);
    choose(0);
    v->control.setEnableMenu(true);
    v->control.setMouseButtonForMouseMode(kRight);
    choose(0);
    EXPECT_EQ(backend.popupMenus().size(), 1u);
}

TEST_F(EventsTest, EveryItemRunsItsCommandThenReportsItsNumber) {
    const std::string tiff = files.file("pages.tif").string();
    test::writeMultiPageTiff(tiff, {{200, 100, 0xFF0000}, {200, 100, 0x00FF00}, {200, 100, 0x0000FF}});
    ASSERT_EQ(v->control.DisplayFromFile(tiff), 0);
    v->events.clear();
    auto chose = [this](int32_t item) {
        v->calls.clear();
        choose(item);
        ASSERT_FALSE(v->calls.empty());
        EXPECT_EQ(v->calls.back(), "ClickMenu(" + std::to_string(item) + ")");
    };
    chose(control::mnlastframe);
    EXPECT_EQ(v->control.CurrentPage(), 3);
    chose(control::mnpreviousframe);
    EXPECT_EQ(v->control.CurrentPage(), 2);
    chose(control::mnfirstframe);
    EXPECT_EQ(v->control.CurrentPage(), 1);
    EXPECT_FALSE(v->control.contextMenu().isEnabled(control::mnfirstframe));
    EXPECT_TRUE(v->control.contextMenu().isEnabled(control::mnnextframe));
    chose(control::mnnextframe);
    EXPECT_EQ(v->control.CurrentPage(), 2);
    const std::pair<int32_t, const char*> turns[] = {{control::mn90, "Rotation(1)"},       {control::mn180, "Rotation(2)"},
                                                     {control::mn270, "Rotation(3)"},      {control::mnflipx, "Rotation(4)"},
                                                     {control::mn90flipx, "Rotation(5)"},  {control::mn180Flipx, "Rotation(6)"},
                                                     {control::mn270FlipX, "Rotation(7)"}};
    for (auto [item, rotation] : turns) {
        chose(item);
        EXPECT_NE(std::find(v->calls.begin(), v->calls.end(), rotation), v->calls.end()) << item;
    }
    chose(control::mnscroll);
    EXPECT_FALSE(v->control.ScrollBars());
    EXPECT_FALSE(v->control.contextMenu().isChecked(control::mnscroll));
    chose(control::mnscroll);
    EXPECT_TRUE(v->control.ScrollBars());
    chose(control::mnZoomin);
    EXPECT_DOUBLE_EQ(v->control.ZOOM(), 1.1);
    chose(control::mnzoomout);
    EXPECT_DOUBLE_EQ(v->control.ZOOM(), 1.0);
    EXPECT_FALSE(v->control.contextMenu().isChecked(control::mnzoom100));  // custom zoom: no zoom mark
    const std::pair<int32_t, int32_t> modes[] = {{control::mnzoomfit, 2}, {control::mnZoomwidth, 3},
                                                 {control::mnZoomheight, 5}, {control::mnzoomviewer, 6},
                                                 {control::mnzoom100, 1}};
    for (auto [item, mode] : modes) {
        chose(item);
        EXPECT_EQ(v->control.ZoomMode(), mode) << item;
        EXPECT_TRUE(v->control.contextMenu().isChecked(item)) << item;
    }
    v->events.clear();
    chose(control::mnzoom100);  // already checked: nothing but the report
    EXPECT_EQ(v->events, (std::vector<std::string>{"MouseDownControl", "ClickMenu"}));
    const std::pair<int32_t, int32_t> mouseModes[] = {{control::mnstandard, 0}, {control::mnareaselection, 1},
                                                      {control::mnautozoom, 3}, {control::mnhandcursor, 2}};
    for (auto [item, mode] : mouseModes) {
        chose(item);
        EXPECT_EQ(v->control.MouseMode(), mode);
        EXPECT_TRUE(v->control.contextMenu().isChecked(item));
    }
    v->control.SetRectValuesObject(10, 10, 40, 20);
    chose(control::mnzoomrect);
    EXPECT_GT(v->control.ZOOM(), 1.0);
    for (int32_t q = 0; q <= 4; ++q) {
        chose(control::mnqualitylow + q);
        EXPECT_EQ(v->control.ViewerQuality(), q);
        EXPECT_TRUE(v->control.contextMenu().isChecked(control::mnqualitylow + q));
    }
}

TEST_F(EventsTest, AutomaticQualityIsTheFieldAloneAndItemsCanBeRenamedOrDisabled) {
    ASSERT_TRUE(v->showBlank(200, 100));
    auto sink = std::make_shared<test::RecordingNotifySink>();
    v->control.propertyNotifier().advise(sink);
    choose(control::mnautomatic);
    EXPECT_TRUE(v->control.ViewerQualityAuto());
    EXPECT_TRUE(v->control.contextMenu().isChecked(control::mnautomatic));
    EXPECT_FALSE(v->control.contextMenu().isEnabled(control::mnqualitylow));
    choose(control::mnautomatic);
    EXPECT_FALSE(v->control.ViewerQualityAuto());
    EXPECT_TRUE(sink->changed.empty());
    // Renaming and disabling by number; 0 and 39 name nothing.
    v->control.SetItemMenuCaption(33, "Auto");
    v->control.SetItemMenuCaption(34, "Fast");
    v->control.SetItemMenuCaption(39, "none");
    v->control.SetItemMenuEnabled(0, false);
    v->control.SetItemMenuEnabled(39, false);
    choose(0);
    EXPECT_EQ(lastMenu().items[8].items[0].caption, "Auto");
    EXPECT_EQ(lastMenu().items[8].items[2].caption, "Fast");
    // A disabled submenu title cannot open: its items cannot be chosen.
    v->control.SetItemMenuEnabled(control::mnRotation, false);
    v->events.clear();
    choose(control::mn90);
    v->control.SetItemMenuEnabled(control::mn90, false);
    v->control.SetItemMenuEnabled(control::mnRotation, true);
    choose(control::mn90);
    EXPECT_EQ(v->events, (std::vector<std::string>{"MouseDownControl", "MouseDownControl"}));
}

TEST_F(EventsTest, HandlersThatCloseOrTerminateInsideAPressAreSurvived) {
    ASSERT_TRUE(v->showBlank(200, 100));
    v->handler = [this](DISPID id, std::span<Variant>) {
        if (id == control::EventId::MouseDownControl) v->control.CloseImage();
    };
    choose(control::mn90);
    EXPECT_TRUE(backend.popupMenus().empty());  // the picture went first
    EXPECT_EQ(v->count("Rotation"), 0u);
    ASSERT_TRUE(v->showBlank(200, 100));
    v->handler = [this](DISPID id, std::span<Variant>) {
        if (id == control::EventId::MouseDownControl) v->control.Terminate();
    };
    v->down(kLeft, 150, 150);
    v->move(120, 120);
    v->up(kLeft, 120, 120);
    v->handler = nullptr;
    v->wheel(120);  // the terminated control removed its hook
    EXPECT_EQ(v->count("MouseWheelControl"), 0u);
}

}  // namespace
