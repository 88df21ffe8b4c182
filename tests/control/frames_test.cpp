// Paging through frames and pages, GIF animation on the virtual clock, and
// rotation and flipping, driven through the dispatch interface as a host
// drives them.
#include <gtest/gtest.h>

#include <tiffio.h>

#include <algorithm>
#include <cstdlib>

#include "control/events.h"
#include "control/orrery.h"
#include "imaging/image_table.h"
#include "platform/automation/property_bag.h"
#include "platform/gdiplus/factory.h"
#include "platform/gdiplus/pixel_data.h"
#include "orrery/window/headless_backend.h"
#include "platform/window/control_window.h"
#include "support/frame_builders.h"
#include "support/control_maker.h"
#include "support/test_support.h"

using namespace orrery;
using namespace orrery::automation;
using orrery::test::SolidFrame;
using window::HeadlessBackend;
namespace modMain = imaging::modMain;

namespace {

const bool kNoPlugin = [] { return setenv("ORRERY_CODEC_PLUGIN", "none", 1) == 0; }();

constexpr uint32_t kRed = 0xFF0000, kGreen = 0x00FF00, kBlue = 0x0000FF;

class FramesTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(kNoPlugin);
        control = test::makeControl(backend);
        control->InitProperties();
        control->controlWindow().setWindowSize(204, 104);  // 200 x 100 inside the border
        auto sink = std::make_shared<FunctionSink>([this](DISPID id, std::span<Variant> args) {
            events.push_back(control::orreryEvents().find(id)->name);
            if (id == control::EventId::Rotation && !args.empty()) rotations.push_back(args[0].i4());
            return S_OK;
        });
        control->events().connect(sink);
    }
    void TearDown() override {
        control.reset();
        EXPECT_EQ(modMain::LiveEntryCount(), 0u);
    }

    std::string writeGif(const std::vector<SolidFrame>& frames, int loops = 0) {
        const std::string path = files.file("anim" + std::to_string(++written) + ".gif").string();
        orrery::test::writeFile(path, orrery::test::animatedGif(frames, loops));
        return path;
    }
    std::string writeTiff(const std::vector<SolidFrame>& pages, bool bilevel = false) {
        const std::string path = files.file("pages" + std::to_string(++written) + ".tif").string();
        orrery::test::writeMultiPageTiff(path, pages, bilevel);
        return path;
    }

    int32_t call(const char* name, std::vector<Variant> args = {}) {
        Variant result;
        EXPECT_EQ(invokeByName(*control, name, DISPATCH_METHOD, args, &result), S_OK) << name;
        return result.isEmpty() ? 0 : result.i4();
    }
    Variant get(const char* name) {
        Variant v;
        EXPECT_EQ(invokeByName(*control, name, DISPATCH_PROPERTYGET, {}, &v), S_OK) << name;
        return v;
    }
    void let(const char* name, Variant value) {
        std::vector<Variant> args{std::move(value)};
        EXPECT_EQ(invokeByName(*control, name, DISPATCH_PROPERTYPUT, args, nullptr), S_OK) << name;
    }
    // The colour of the shown frame's top-left pixel, as the store holds it.
    uint32_t shownColor() {
        gdiplus::Image* image = modMain::GetGdiImage(control->GetNativeImage());
        gdiplus::ARGB c = 0;
        if (image) image->getPixel(0, 0, c);
        return c & 0xFFFFFF;
    }
    bool item(control::FrameMenuItem i) const { return control->menuItemEnabled(i); }
    size_t count(const char* event) const { return static_cast<size_t>(std::count(events.begin(), events.end(), event)); }

    orrery::test::TempDir files;
    HeadlessBackend backend;
    std::unique_ptr<control::Orrery> control;
    std::vector<std::string> events;
    std::vector<int32_t> rotations;
    int written = 0;
};

using Item = control::FrameMenuItem;

}  // namespace

TEST_F(FramesTest, AnimationPlaysEachFrameForItsDelayAndLoopsForEver) {
    // Delays 0, 5 and 7 hundredths: the store keeps 0 as 25, so 250, 50, 70 ms.
    // The file asks for one loop; the control loops for ever.
    const std::string gif = writeGif({{8, 8, kRed, 0}, {8, 8, kGreen, 5}, {8, 8, kBlue, 7}}, 1);
    ASSERT_EQ(call("DisplayFromFile", {Variant(gif)}), 0);
    EXPECT_EQ(call("GetTotalFrame"), 3);
    EXPECT_EQ(get("CurrentPage").i4(), 1);
    EXPECT_TRUE(item(Item::PlayGif));
    EXPECT_FALSE(item(Item::StopGifAnimation));
    EXPECT_TRUE(item(Item::GotoNext));
    EXPECT_FALSE(item(Item::GotoPrevious));

    ASSERT_EQ(call("PlayGif"), 0);
    EXPECT_TRUE(get("AnimateGIF").isTrue());
    EXPECT_TRUE(item(Item::StopGifAnimation));
    EXPECT_FALSE(item(Item::PlayGif));
    EXPECT_EQ(shownColor(), kRed);
    events.clear();
    const std::vector<std::pair<int64_t, uint32_t>> steps = {
        {249, kRed}, {1, kGreen}, {49, kGreen}, {1, kBlue}, {69, kBlue}, {1, kRed}, {250, kGreen}, {50, kBlue}};
    for (const auto& [ms, color] : steps) {
        backend.advance(ms);
        EXPECT_EQ(shownColor(), color) << "at " << backend.now() << " ms";
    }
    // Each step shows its frame and says so, but the document stays the same.
    EXPECT_EQ(count("PageChange"), 5u);
    EXPECT_EQ(count("Display"), 5u);
    EXPECT_EQ(count("PictureChange"), 0u);

    call("StopGif");
    EXPECT_FALSE(get("AnimateGIF").isTrue());
    EXPECT_TRUE(item(Item::PlayGif));
    EXPECT_FALSE(item(Item::StopGifAnimation));
    backend.advance(1000);
    EXPECT_EQ(shownColor(), kBlue);  // the shown frame stays
    call("CloseImage");
}

TEST_F(FramesTest, AnimateGifLetPlaysStopsAndSurvivesBeingWrittenTwice) {
    const std::string gif = writeGif({{4, 4, kRed, 10}, {4, 4, kGreen, 10}});
    ASSERT_EQ(call("DisplayFromFile", {Variant(gif)}), 0);
    let("AnimateGIF", Variant(true));
    let("AnimateGIF", Variant(true));  // a host repeating itself keeps it playing
    EXPECT_TRUE(get("AnimateGIF").isTrue());
    backend.advance(100);
    EXPECT_EQ(shownColor(), kGreen);
    let("AnimateGIF", Variant(false));
    EXPECT_FALSE(get("AnimateGIF").isTrue());
    backend.advance(500);
    EXPECT_EQ(shownColor(), kGreen);

    // With the flag on, the next animated GIF plays by itself, also when the
    // flag came from a property bag.
    PropertyBag bag;
    ASSERT_EQ(control->WriteProperties(bag), S_OK);
    bag.WriteProperty("AnimateGIF", Variant(true));
    auto second = test::makeControl(backend);
    ASSERT_EQ(second->ReadProperties(bag), S_OK);
    ASSERT_EQ(second->DisplayFromFile(gif), 0);
    EXPECT_TRUE(second->viewState().playing);
    backend.advance(100);
    EXPECT_EQ(second->CurrentPage(), 2);
    second.reset();
    call("CloseImage");
}

TEST_F(FramesTest, ASingleFrameGifDoesNotAnimate) {
    ASSERT_EQ(call("DisplayFromFile", {Variant(writeGif({{4, 4, kRed, 10}}))}), 0);
    EXPECT_EQ(call("GetTotalFrame"), 1);
    EXPECT_FALSE(item(Item::PlayGif));
    EXPECT_EQ(call("PlayGif"), 0);
    EXPECT_FALSE(control->viewState().playing);
    EXPECT_FALSE(get("AnimateGIF").isTrue());
    EXPECT_FALSE(item(Item::GotoNext));
    call("CloseImage");
}

TEST_F(FramesTest, PagesOfATiffAndTheNavigationMembers) {
    const std::string tif = writeTiff({{40, 20, kRed}, {20, 40, kGreen}, {40, 20, kBlue}});
    ASSERT_EQ(call("DisplayFromFile", {Variant(tif)}), 0);
    EXPECT_EQ(get("PageCount").i4(), 3);
    EXPECT_EQ(shownColor(), kRed);

    events.clear();
    EXPECT_EQ(call("DisplayNextFrame"), 0);
    EXPECT_EQ(get("CurrentPage").i4(), 2);
    EXPECT_EQ(get("ImageWidth").i4(), 20);  // each page has its own size
    EXPECT_EQ(shownColor(), kGreen);
    EXPECT_TRUE(item(Item::GotoPrevious));
    EXPECT_TRUE(item(Item::GotoNext));
    EXPECT_EQ(count("PageChange"), 1u);

    call("DisplayLastFrame");
    EXPECT_EQ(get("CurrentPage").i4(), 3);
    EXPECT_FALSE(item(Item::GotoNext));
    EXPECT_FALSE(item(Item::GotoLast));
    events.clear();
    EXPECT_EQ(call("DisplayNextFrame"), 0);  // on the last page: nothing happens
    EXPECT_TRUE(events.empty());
    EXPECT_EQ(call("DisplayFirstFrame"), 0);
    EXPECT_EQ(shownColor(), kRed);
    EXPECT_EQ(call("DisplayPreviousFrame"), 0);
    EXPECT_EQ(get("CurrentPage").i4(), 1);

    // Out of range: OK, the page stays, yet the page change is reported.
    for (int32_t frame : {0, 4, -7, INT32_MAX, INT32_MIN}) {
        events.clear();
        EXPECT_EQ(call("DisplayFrame", {Variant(frame)}), 0) << frame;
        EXPECT_EQ(get("CurrentPage").i4(), 1) << frame;
        EXPECT_EQ(events, std::vector<std::string>{"PageChange"}) << frame;
    }
    // Its lets accept and ignore.
    let("PageCount", Variant(int32_t(9)));
    let("CurrentPage", Variant(int32_t(3)));
    EXPECT_EQ(get("PageCount").i4(), 3);
    EXPECT_EQ(get("CurrentPage").i4(), 1);
    call("CloseImage");
    EXPECT_EQ(get("PageCount").i4(), 0);
    EXPECT_EQ(get("CurrentPage").i4(), 0);
}

TEST_F(FramesTest, BilevelPagesStayOneBitThroughPagingAndRotation) {
    const std::string tif = writeTiff({{64, 32, 0}, {32, 64, 1}}, true);
    ASSERT_EQ(call("DisplayFromFile", {Variant(tif)}), 0);
    const auto format = [&] { return modMain::GetGdiImage(control->GetNativeImage())->pixelFormat(); };
    EXPECT_EQ(format(), gdiplus::PixelFormat1bppIndexed);
    EXPECT_EQ(call("Rotate90"), 0);
    EXPECT_EQ(format(), gdiplus::PixelFormat1bppIndexed);
    EXPECT_EQ(call("DisplayNextFrame"), 0);
    EXPECT_EQ(format(), gdiplus::PixelFormat1bppIndexed);
    EXPECT_EQ(get("ImageWidth").i4(), 32);
    call("CloseImage");
}

TEST_F(FramesTest, NavigationWithoutADocumentChangesNothing) {
    // A property bag can bring a page count while nothing is shown.
    PropertyBag bag;
    ASSERT_EQ(control->WriteProperties(bag), S_OK);
    bag.WriteProperty("PageCount", Variant(int32_t(5)));
    bag.WriteProperty("CurrentPage", Variant(int32_t(2)));
    ASSERT_EQ(control->ReadProperties(bag), S_OK);
    EXPECT_EQ(call("DisplayNextFrame"), 0);
    EXPECT_EQ(call("DisplayFrame", {Variant(int32_t(3))}), 0);
    EXPECT_EQ(get("CurrentPage").i4(), 2);
    EXPECT_TRUE(backend.messageBoxes().empty());
    EXPECT_TRUE(events.empty());
}

TEST_F(FramesTest, CorruptFramesGiveAStatusAndAClearedSurface) {
    // A two-page TIFF whose second page's compressed strip is overwritten.
    const std::string tif = writeTiff({{16, 16, kRed}, {16, 16, kGreen}});
    std::vector<uint8_t> bytes = orrery::test::readFile(tif);
    TIFF* probe = TIFFOpen(tif.c_str(), "r");
    ASSERT_NE(probe, nullptr);
    ASSERT_EQ(TIFFSetDirectory(probe, 1), 1);
    uint64_t* offsets = nullptr;
    ASSERT_EQ(TIFFGetField(probe, TIFFTAG_STRIPOFFSETS, &offsets), 1);
    const uint64_t secondStrip = offsets[0];
    TIFFClose(probe);
    std::fill(bytes.begin() + static_cast<std::ptrdiff_t>(secondStrip),
              bytes.begin() + static_cast<std::ptrdiff_t>(std::min<uint64_t>(secondStrip + 40, bytes.size())), 0xFF);
    orrery::test::writeFile(tif, bytes);

    ASSERT_EQ(call("DisplayFromFile", {Variant(tif)}), 0);
    events.clear();
    EXPECT_NE(call("DisplayNextFrame"), 0);
    EXPECT_EQ(call("GetStat"), 2);
    EXPECT_EQ(events.back(), "PageChange");
    // Nothing of the first page is left on the screen.
    std::unique_ptr<gdiplus::Image> shot;
    ASSERT_EQ(control->controlWindow().snapshot(shot), gdiplus::Status::Ok);
    gdiplus::ARGB c = 0;
    shot->getPixel(100, 50, c);
    EXPECT_NE(c & 0xFFFFFF, kRed);
    EXPECT_EQ(call("DisplayFirstFrame"), 0);
    EXPECT_EQ(shownColor(), kRed);
    call("CloseImage");
}

TEST_F(FramesTest, ResetForANewDocumentStopsTheAnimationAndClearsThePages) {
    const std::string gif = writeGif({{4, 4, kRed, 10}, {4, 4, kGreen, 10}});
    ASSERT_EQ(call("DisplayFromFile", {Variant(gif)}), 0);
    call("PlayGif");
    for (const char* close : {"CloseImage", "CloseImageEx", "ImageClosed"}) {
        ASSERT_EQ(call("DisplayFromFile", {Variant(gif)}), 0);
        EXPECT_TRUE(control->viewState().playing) << close;
        call(close);
        const viewer::ViewState& s = control->viewState();
        EXPECT_FALSE(s.playing) << close;
        EXPECT_FALSE(s.animatedGif) << close;
        EXPECT_EQ(s.pageCount, 0) << close;
        EXPECT_EQ(s.currentPage, 0) << close;
        EXPECT_EQ(s.documentType, viewer::DocumentTypeNone) << close;
        EXPECT_EQ(s.currentImage, 0) << close;
        EXPECT_TRUE(get("AnimateGIF").isTrue()) << close;  // the wish to animate stays
        EXPECT_EQ(s.imageWidth, std::string(close) == "ImageClosed" ? 4 : 0) << close;
        const size_t fired = backend.advance(1000).fired;
        EXPECT_EQ(fired, 0u) << close;
    }
    // ImageClosed leaves the picture in the store until the session ends.
    control.reset();
}

// ---------------------------------------------------------------------------
// Rotation and flipping

namespace {

// A w x h picture: red top-left pixel, blue bottom-right, green elsewhere.
void writeMarked(const std::string& path, int w, int h, float dpiX = 96, float dpiY = 96) {
    std::unique_ptr<gdiplus::Image> bitmap;
    ASSERT_EQ(gdiplus::createBitmapFromScan0(w, h, 0, gdiplus::PixelFormat24bppRGB, nullptr, bitmap),
              gdiplus::Status::Ok);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) bitmap->setPixel(x, y, 0xFF00FF00);
    bitmap->setPixel(0, 0, 0xFFFF0000);
    bitmap->setPixel(w - 1, h - 1, 0xFF0000FF);
    bitmap->setResolution(dpiX, dpiY);
    ASSERT_EQ(bitmap->save(path, gdiplus::CodecClsid::PNG, {}), gdiplus::Status::Ok);
}

}  // namespace

TEST_F(FramesTest, QuarterTurnsAndMirrorsTransformThePixelsAndTheLayout) {
    const std::string png = files.file("marked.png").string();
    writeMarked(png, 300, 200);
    control->setZoomMode(viewer::ZoomFitToControl);
    ASSERT_EQ(call("DisplayFromFile", {Variant(png)}), 0);
    EXPECT_DOUBLE_EQ(get("ZOOM").r8(), 0.5);  // 300 x 200 into 200 x 100
    events.clear();
    EXPECT_EQ(call("Rotate90"), 0);
    EXPECT_EQ(get("ImageWidth").i4(), 200);
    EXPECT_EQ(get("ImageHeight").i4(), 300);
    EXPECT_DOUBLE_EQ(get("ZOOM").r8(), 100.0 / 300.0);  // fitted to the new proportions
    // Clockwise: the old top-left corner is now the top-right one.
    gdiplus::ARGB topRight = 0;
    modMain::GetGdiImage(control->GetNativeImage())->getPixel(199, 0, topRight);
    EXPECT_EQ(topRight & 0xFFFFFF, kRed);
    EXPECT_EQ(shownColor(), kGreen);
    EXPECT_EQ(events.back(), "Rotation");
    for (int i = 0; i < 3; ++i) call("Rotate90");
    EXPECT_EQ(rotations, (std::vector<int32_t>{1, 1, 1, 1}));
    EXPECT_EQ(get("ImageWidth").i4(), 300);
    EXPECT_EQ(shownColor(), kRed);

    call("FlipX");
    gdiplus::ARGB corner = 0;
    modMain::GetGdiImage(control->GetNativeImage())->getPixel(299, 0, corner);
    EXPECT_EQ(corner & 0xFFFFFF, kRed);
    call("FlipX");
    EXPECT_EQ(shownColor(), kRed);
    for (const char* member : {"Rotate180", "Rotate270", "FlipX90", "FlipX180", "FlipX270"}) call(member);
    EXPECT_EQ(rotations.size(), 11u);
    EXPECT_EQ(std::vector<int32_t>(rotations.end() - 5, rotations.end()), (std::vector<int32_t>{2, 3, 5, 6, 7}));
    call("CloseImage");
}

TEST_F(FramesTest, AQuarterTurnKeepsThePictureInProportion) {
    // 200 x 100 dots per inch: each pixel is half as tall as it is wide.
    const std::string png = files.file("aspect.png").string();
    writeMarked(png, 100, 100, 200, 100);
    ASSERT_EQ(call("DisplayFromFile", {Variant(png)}), 0);
    EXPECT_NEAR(control->viewState().aspectCorrection, 0.5, 1e-6);
    ASSERT_EQ(call("Rotate90"), 0);
    // The file keeps dots per metre, hence the small tolerance.
    EXPECT_NEAR(get("HorizontalResolution").r4(), 100.0f, 0.01f);
    EXPECT_NEAR(get("VerticalResolution").r4(), 200.0f, 0.01f);
    EXPECT_NEAR(control->viewState().aspectCorrection, 2.0, 1e-6);
    call("CloseImage");
}

TEST_F(FramesTest, AFailedRotationReportsItsStatusAndStillLaysOut) {
    const std::string png = files.file("big.png").string();
    writeMarked(png, 300, 200);
    ASSERT_EQ(call("DisplayFromFile", {Variant(png)}), 0);
    const size_t saved = gdiplus::pixelAllocationLimit();
    gdiplus::setPixelAllocationLimit(1000);  // no room for the turned pixels
    events.clear();
    const int32_t status = call("Rotate90");
    gdiplus::setPixelAllocationLimit(saved);
    EXPECT_EQ(status, 3);
    EXPECT_EQ(call("GetStat"), 3);
    EXPECT_EQ(get("ImageWidth").i4(), 300);  // the picture stays as it was
    EXPECT_EQ(events.back(), "Rotation");
    call("CloseImage");
}

TEST_F(FramesTest, RotatingWithoutAPictureSaysSo) {
    EXPECT_EQ(call("Rotate90"), 2);
    ASSERT_FALSE(backend.messageBoxes().empty());
    EXPECT_EQ(backend.messageBoxes().back().request.text, "Invalid image: Can not get picture height.");
    control->setSilentMode(true);
    const size_t boxes = backend.messageBoxes().size();
    EXPECT_EQ(call("FlipX"), 2);
    EXPECT_EQ(backend.messageBoxes().size(), boxes);
}

TEST_F(FramesTest, ARotatedPageKeptInOneImageIsLostAtTheNextPageButASplitFrameKeepsIt) {
    const std::string tif = writeTiff({{40, 20, kRed}, {40, 20, kGreen}});
    ASSERT_EQ(call("DisplayFromFile", {Variant(tif)}), 0);
    ASSERT_EQ(call("Rotate90"), 0);
    EXPECT_EQ(get("ImageWidth").i4(), 20);
    call("DisplayNextFrame");
    call("DisplayPreviousFrame");
    EXPECT_EQ(get("ImageWidth").i4(), 40);
    call("CloseImage");

    // Split: each frame is an image of its own, saved when it changed.
    std::unique_ptr<gdiplus::Image> decoded;
    ASSERT_EQ(gdiplus::loadImageFromFile(tif, {}, decoded), gdiplus::Status::Ok);
    int32_t id = 0, container = 0;
    modMain::AddImage(id, std::move(decoded), "TIFF", "", imaging::SourcePlain);
    ASSERT_EQ(modMain::RegisterFrames(tif, id, container, modMain::FrameStorage::SplitIntoFiles, modMain::FrameStorage::SplitIntoFiles), 0);
    ASSERT_EQ(call("SetNativeImage", {Variant(container)}), 0);
    EXPECT_EQ(get("PageCount").i4(), 2);
    ASSERT_EQ(call("Rotate90"), 0);
    call("DisplayNextFrame");
    EXPECT_EQ(get("ImageWidth").i4(), 40);
    call("DisplayPreviousFrame");
    EXPECT_EQ(get("ImageWidth").i4(), 20);
    EXPECT_EQ(get("ImageHeight").i4(), 40);
    call("CloseImage");
}

TEST_F(FramesTest, AnAnimationKeepsTheScrollPositionAndTerminateEndsIt) {
    // At 100 % a 400 x 300 animation is larger than the 200 x 100 view.
    const std::string gif = writeGif({{400, 300, kRed, 10}, {400, 300, kGreen, 10}, {400, 300, kBlue, 10}});
    ASSERT_EQ(call("DisplayFromFile", {Variant(gif)}), 0);
    call("SetHVScrollBarPosition", {Variant(int32_t(50)), Variant(int32_t(40))});
    const int32_t h = call("GetHScrollBarPosition"), v = call("GetVScrollBarPosition");
    ASSERT_GT(h, 0);
    ASSERT_GT(v, 0);
    call("PlayGif");
    backend.advance(250);
    EXPECT_EQ(control->CurrentPage(), 3);
    EXPECT_EQ(call("GetHScrollBarPosition"), h);
    EXPECT_EQ(call("GetVScrollBarPosition"), v);

    call("Terminate");
    EXPECT_EQ(backend.advance(1000).fired, 0u);
    EXPECT_EQ(control->CurrentPage(), 3);
}

TEST_F(FramesTest, PagesOfOtherSizesAtACustomZoomRaiseNoZoomEvents) {
    const std::string tif = writeTiff({{40, 20, kRed}, {400, 200, kGreen}, {30, 90, kBlue}});
    ASSERT_EQ(call("DisplayFromFile", {Variant(tif)}), 0);
    call("SetZoom", {Variant(150.0)});
    ASSERT_EQ(control->ZoomMode(), viewer::ZoomCustom);
    events.clear();
    call("DisplayNextFrame");
    call("DisplayNextFrame");
    EXPECT_EQ(count("BeforeZoomChange"), 0u);
    EXPECT_EQ(count("ZoomChange"), 0u);
    EXPECT_EQ(count("PageChange"), 2u);
    EXPECT_DOUBLE_EQ(get("ZOOM").r8(), 1.5);
    call("CloseImage");
}
