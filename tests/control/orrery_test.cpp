#include "control/orrery.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <limits>

#include "control/events.h"
#include "imaging/image_table.h"
#include "platform/gdiplus/factory.h"
#include "orrery/window/headless_backend.h"
#include "platform/window/control_window.h"
#include "support/control_maker.h"
#include "support/test_support.h"

using namespace orrery;
using namespace orrery::automation;

namespace {

const bool kNoPlugin = [] { return setenv("ORRERY_CODEC_PLUGIN", "none", 1) == 0; }();

// A control in a headless window, with every event it raises recorded by name.
class ControlTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(kNoPlugin);
        control = test::makeControl(backend);
        control->InitProperties();
        control->setZoomMode(2);  // fit to the control
        control->controlWindow().setWindowSize(204, 104);  // 200 x 100 inside the 3D border
        auto sink = std::make_shared<FunctionSink>([this](DISPID id, std::span<Variant>) {
            events.push_back(control::orreryEvents().find(id)->name);
            return S_OK;
        });
        control->events().connect(sink);
        image = files.file("stripes.png").string();
        writeStripes(image, 400, 100);
    }

    // A w x h image: a red left half and a blue right half.
    static void writeStripes(const std::string& path, int w, int h) {
        std::unique_ptr<gdiplus::Image> bitmap;
        ASSERT_EQ(gdiplus::createBitmapFromScan0(w, h, 0, gdiplus::PixelFormat24bppRGB, nullptr, bitmap),
                  gdiplus::Status::Ok);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) bitmap->setPixel(x, y, x < w / 2 ? 0xFFFF0000 : 0xFF0000FF);
        ASSERT_EQ(bitmap->save(path, gdiplus::CodecClsid::PNG, {}), gdiplus::Status::Ok);
    }

    // Calls a member by name as a script host does.
    HRESULT call(const char* name, std::vector<Variant> args = {}, Variant* result = nullptr,
                 uint16_t flags = DISPATCH_METHOD) {
        return invokeByName(*control, name, flags, args, result);
    }
    Variant get(const char* name) {
        Variant v;
        EXPECT_EQ(invokeByName(*control, name, DISPATCH_PROPERTYGET, {}, &v), S_OK) << name;
        return v;
    }
    HRESULT let(const char* name, Variant value) {
        std::vector<Variant> args{std::move(value)};
        return invokeByName(*control, name, DISPATCH_PROPERTYPUT, args, nullptr);
    }
    gdiplus::ARGB shownPixel(int x, int y) {
        std::unique_ptr<gdiplus::Image> shot;
        EXPECT_EQ(control->controlWindow().snapshot(shot), gdiplus::Status::Ok);
        gdiplus::ARGB c = 0;
        shot->getPixel(x, y, c);
        return c;
    }

    orrery::test::TempDir files;
    window::HeadlessBackend backend;
    std::unique_ptr<control::Orrery> control;
    std::vector<std::string> events;
    std::string image;
};

}  // namespace

TEST(ControlInterface, TheMemberTableIsSound) {
    EXPECT_EQ(control::Orrery::interfaceProblems(), std::vector<std::string>{});
    EXPECT_TRUE(control::orreryEvents().problems().empty());
    EXPECT_EQ(control::orreryEvents().members().size(), 25u);
    const MemberInfo* zoomArea = control::Orrery::interfaceDescription().find("zoomarea");
    ASSERT_NE(zoomArea, nullptr);
    EXPECT_EQ(zoomArea->id, 0x6003007B);
}

TEST_F(ControlTest, ANewControlReportsOkAndItsVersion) {
    Variant v;
    ASSERT_EQ(call("GetStat", {}, &v), S_OK);
    EXPECT_EQ(v.i4(), 0);
    ASSERT_EQ(call("getversion", {}, &v), S_OK);
    EXPECT_DOUBLE_EQ(v.r8(), 5.9901307);
    EXPECT_GT(get("hwnd").i4(), 0);
    EXPECT_EQ(call("GetDocumentType", {}, &v), S_OK);
    EXPECT_EQ(v.i4(), 0);
    EXPECT_EQ(call("GetImageFormat", {}, &v), S_OK);
    EXPECT_EQ(v.str(), "");
}

TEST_F(ControlTest, DisplayFromFileLaysOutPaintsAndRaisesEventsInOrder) {
    Variant status;
    ASSERT_EQ(call("DisplayFromFile", {Variant(image)}, &status), S_OK);
    EXPECT_EQ(status.i4(), 0);
    EXPECT_EQ(events, (std::vector<std::string>{"BeforeZoomChange", "PictureChange", "Display", "PictureChanged",
                                                "PageChange", "ZoomChange"}));
    EXPECT_EQ(get("ImageWidth").i4(), 400);
    EXPECT_DOUBLE_EQ(get("ZOOM").r8(), 0.5);  // fitted: 400 x 100 into 200 x 100
    Variant format;
    call("GetImageFormat", {}, &format);
    EXPECT_EQ(format.str(), "PNG");
    // Left half red, right half blue, inside the 2-pixel border.
    EXPECT_EQ(shownPixel(2 + 20, 2 + 50) & 0xFFFFFF, 0xFF0000u);
    EXPECT_EQ(shownPixel(2 + 180, 2 + 50) & 0xFFFFFF, 0x0000FFu);

    // By-reference outputs come back to the caller's variables.
    Variant ix(int32_t(-1)), iy(int32_t(-1));
    ASSERT_EQ(call("CoordObjectToImage", {Variant(int32_t(100)), Variant(int32_t(50)), Variant::byRef(&ix),
                                          Variant::byRef(&iy)}),
              S_OK);
    // The 200 x 50 picture is centred: its origin is (0, 25).
    Variant top;
    call("GetImageTop", {}, &top);
    EXPECT_EQ(top.i4(), 25);
    EXPECT_EQ(ix.i4(), 200);
    EXPECT_EQ(iy.i4(), 50);
}

TEST_F(ControlTest, FailuresKeepTheirStatusAndSilentModeShowsNothing) {
    let("SilentMode", Variant(true));
    Variant status;
    ASSERT_EQ(call("DisplayFromFile", {Variant(files.file("missing.png").string())}, &status), S_OK);
    EXPECT_EQ(status.i4(), 10);
    let("ZoomStep", Variant(int32_t(20)));
    get("ZOOM");
    Variant stat;
    call("GetStat", {}, &stat);
    EXPECT_EQ(stat.i4(), 10);
    EXPECT_TRUE(backend.messageBoxes().empty());

    orrery::test::writeFile(files.file("bad.png"), {1, 2, 3, 4, 5, 6, 7, 8});
    call("DisplayFromFile", {Variant(files.file("bad.png").string())}, &status);
    EXPECT_EQ(status.i4(), 13);
    EXPECT_EQ(imaging::modMain::LiveEntryCount(), 0u);
}

TEST_F(ControlTest, TheDispatchInterfaceReportsThePlatformsErrors) {
    EXPECT_EQ(call("PrintGetCopies"), DISP_E_UNKNOWNNAME);  // not built: absent, not pretending
    EXPECT_EQ(call("ZoomArea", {Variant(int32_t(1))}), DISP_E_BADPARAMCOUNT);
    EXPECT_EQ(call("SetZoom", {Variant("not a number")}), DISP_E_TYPEMISMATCH);
    EXPECT_EQ(let("hwnd", Variant(int32_t(5))), DISP_E_MEMBERNOTFOUND);
    Variant status;
    ASSERT_EQ(call("ZoomArea", {Variant(int32_t(0)), Variant(int32_t(0)), Variant(int32_t(0)), Variant(int32_t(10))},
                   &status),
              S_OK);
    EXPECT_EQ(status.i4(), 2);
}

TEST_F(ControlTest, AutomaticQualityPaintsFastThenHighAfterASecond) {
    call("DisplayFromFile", {Variant(image)});
    let("ViewerQualityAuto", Variant(true));
    call("Redraw");
    EXPECT_EQ(get("ViewerQuality").i4(), 0);
    backend.advance(999);
    EXPECT_EQ(get("ViewerQuality").i4(), 0);
    backend.advance(1);
    EXPECT_EQ(get("ViewerQuality").i4(), 4);
}

TEST_F(ControlTest, MaskColourIsTransparentAndGammaChangesThePicture) {
    call("DisplayFromFile", {Variant(image)});
    control->controlWindow().setContainerBackColor(0x0000FF00);  // green behind the control
    let("BackStyle", Variant(int32_t(0)));
    let("ImageMaskColor", Variant(int32_t(0x000000FF)));  // red, as 0x00BBGGRR
    call("Redraw");
    EXPECT_EQ(shownPixel(2 + 20, 2 + 50) & 0xFFFFFF, 0x00FF00u);  // red keyed out: the container shows
    EXPECT_EQ(shownPixel(2 + 180, 2 + 50) & 0xFFFFFF, 0x0000FFu);

    let("BackStyle", Variant(int32_t(1)));
    let("gamma", Variant(2.0f));
    writeStripes(image, 400, 100);
    std::unique_ptr<gdiplus::Image> grey;
    ASSERT_EQ(gdiplus::createBitmapFromScan0(4, 4, 0, gdiplus::PixelFormat24bppRGB, nullptr, grey), gdiplus::Status::Ok);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x) grey->setPixel(x, y, 0xFF808080);
    grey->save(files.file("grey.png").string(), gdiplus::CodecClsid::PNG, {});
    call("DisplayFromFile", {Variant(files.file("grey.png").string())});
    const uint32_t shown = shownPixel(2 + 100, 2 + 50) & 0xFF;
    EXPECT_NEAR(static_cast<int>(shown), 64, 2);  // 255 * (128/255)^2
}

TEST_F(ControlTest, LockedControlKeepsItsViewOnClear) {
    call("DisplayFromFile", {Variant(image)});
    let("LockControl", Variant(true));
    call("Clear");
    EXPECT_EQ(shownPixel(2 + 20, 2 + 50) & 0xFFFFFF, 0xFF0000u);
    let("LockControl", Variant(false));
    call("CloseImage");
    Variant stat;
    call("GetStat", {}, &stat);
    EXPECT_EQ(stat.i4(), 0);
    EXPECT_EQ(get("ImageWidth").i4(), 0);
    EXPECT_NE(shownPixel(2 + 20, 2 + 50) & 0xFFFFFF, 0xFF0000u);
    EXPECT_EQ(imaging::modMain::LiveEntryCount(), 0u);
}

TEST_F(ControlTest, TemporaryCopySurvivesDeletionOfTheOriginal) {
    let("ImageForceTemporaryMode", Variant(true));
    Variant status;
    ASSERT_EQ(call("DisplayFromFile", {Variant(image)}, &status), S_OK);
    ASSERT_EQ(status.i4(), 0);
    std::filesystem::remove(image);
    EXPECT_TRUE(std::filesystem::exists(control->imageTempFile()));
    call("Redraw");
    EXPECT_EQ(shownPixel(2 + 20, 2 + 50) & 0xFFFFFF, 0xFF0000u);
    call("CloseImage");
    EXPECT_FALSE(std::filesystem::exists(control->imageTempFile()));
}

TEST_F(ControlTest, PersistedSettersNotifyTheContainer) {
    struct Sink : IPropertyNotifySink {
        std::vector<DISPID> changed;
        HRESULT OnChanged(DISPID id) override {
            changed.push_back(id);
            return S_OK;
        }
        HRESULT OnRequestEdit(DISPID) override { return S_OK; }
    };
    auto sink = std::make_shared<Sink>();
    control->propertyNotifier().advise(sink);
    call("SetBackGroundColor", {Variant(int32_t(0x123456))});
    EXPECT_TRUE(sink->changed.empty());
    let("BackColor", Variant(int32_t(0x123456)));
    EXPECT_EQ(sink->changed, std::vector<DISPID>{0x6803002F});
}

TEST_F(ControlTest, MouseIconReadsNinetyNineAndAFailedLoadIsAnError) {
    ORRERY_REQUIRE_CORPUS();
    Variant status;
    call("DisplayFromFile", {Variant(files.file("missing.png").string())}, &status);
    ExcepInfo error;
    std::vector<Variant> args{Variant(files.file("missing.cur").string())};
    EXPECT_EQ(invokeByName(*control, "SetMouseIcon", DISPATCH_METHOD, args, nullptr, &error), DISP_E_EXCEPTION);
    EXPECT_FALSE(error.description.empty());
    Variant stat;
    call("GetStat", {}, &stat);
    EXPECT_EQ(stat.i4(), 10);  // the failed call leaves the last status alone
    EXPECT_EQ(call("SetMouseIcon", {Variant(orrery::test::corpusPath("pillow/deerstalker.cur").string())}), S_OK);
    EXPECT_EQ(get("MousePointer").i4(), 99);
    let("MousePointer", Variant(int32_t(0)));
    EXPECT_EQ(get("MousePointer").i4(), 0);
}

TEST_F(ControlTest, OutOfMemoryFallsBackToCheaperDrawing) {
    // The picture is decoded first; then buffers as large as its visible
    // part (400 x 100 in 32 bits) are refused, but a thumbnail of the
    // destination's size still fits, so the view is drawn from it.
    Variant status;
    ASSERT_EQ(call("DisplayFromFile", {Variant(image)}, &status), S_OK);
    const size_t saved = gdiplus::pixelAllocationLimit();
    gdiplus::setPixelAllocationLimit(100000);
    call("Redraw", {}, &status);
    gdiplus::setPixelAllocationLimit(saved);
    EXPECT_EQ(status.i4(), 0);
    EXPECT_EQ(shownPixel(2 + 20, 2 + 50) & 0xFFFFFF, 0xFF0000u);
    EXPECT_EQ(shownPixel(2 + 180, 2 + 50) & 0xFFFFFF, 0x0000FFu);

    // With no room even for the thumbnail, the painting fails and says so.
    gdiplus::setPixelAllocationLimit(1000);
    call("Redraw", {}, &status);
    gdiplus::setPixelAllocationLimit(saved);
    EXPECT_EQ(status.i4(), 3);
    ASSERT_FALSE(backend.messageBoxes().empty());
    EXPECT_EQ(backend.messageBoxes().back().request.text, "Can not display image error no: 3");
}

TEST_F(ControlTest, LifeCycleClosesAndTerminatesOnce) {
    call("DisplayFromFile", {Variant(image)});
    // ImageClosed keeps the geometry of the picture shown before; the
    // picture is no longer shown but stays in the store, like any picture
    // the control has stopped showing, until the session ends.
    call("ImageClosed");
    EXPECT_EQ(get("ImageWidth").i4(), 400);
    EXPECT_EQ(control->GetNativeImage(), 0);
    EXPECT_EQ(imaging::modMain::LiveEntryCount(), 1u);
    call("DisplayFromFile", {Variant(image)});
    // CloseImageEx releases the picture but leaves it on the screen.
    call("CloseImageEx");
    EXPECT_EQ(get("ImageWidth").i4(), 0);
    EXPECT_EQ(shownPixel(2 + 20, 2 + 50) & 0xFFFFFF, 0xFF0000u);
    EXPECT_EQ(imaging::modMain::LiveEntryCount(), 1u);

    // A second control shares the thread's session; terminating one leaves
    // the other's picture alive, and terminating twice changes nothing more.
    window::HeadlessBackend otherBackend;
    control::Orrery other(otherBackend);
    other.controlWindow().setWindowSize(100, 100);
    ASSERT_EQ(other.DisplayFromFile(image), 0);
    const int32_t references = imaging::modMain::SessionReferenceCount();
    call("Terminate");
    call("Terminate");
    EXPECT_EQ(imaging::modMain::SessionReferenceCount(), references - 1);
    EXPECT_TRUE(imaging::modMain::IsSessionOpen());
    EXPECT_NE(imaging::modMain::GetGdiImage(other.GetNativeImage()), nullptr);
}

TEST_F(ControlTest, WindowNotificationsBecomeEvents) {
    events.clear();
    backend.expose(control->controlWindow());
    control->controlWindow().setWindowSize(304, 204);
    EXPECT_EQ(events, (std::vector<std::string>{"PaintControl", "ResizeControl"}));
    EXPECT_GT(get("hdc").i4(), 0);
}

TEST_F(ControlTest, NativeImagesAreSharedByIdentifier) {
    call("DisplayFromFile", {Variant(image)});
    Variant id;
    call("GetNativeImage", {}, &id);
    ASSERT_NE(id.i4(), 0);
    window::HeadlessBackend otherBackend;
    control::Orrery other(otherBackend);
    other.controlWindow().setWindowSize(100, 100);
    EXPECT_EQ(other.DisplayFromQuillonImage(id.i4()), 0);
    EXPECT_EQ(other.ImageWidth(), 400);
    Variant status;
    call("SetNativeImage", {Variant(int32_t(0))}, &status);
    EXPECT_EQ(status.i4(), 2);
}

TEST_F(ControlTest, ScrollingBothBarsPaintsOnceAndReportsEachBar) {
    writeStripes(image, 400, 400);
    let("ZoomMode", Variant(int32_t(1)));
    call("DisplayFromFile", {Variant(image)});
    call("SetHVScrollBarPosition", {Variant(int32_t(50)), Variant(int32_t(50))});
    events.clear();
    call("SetHVScrollBarPosition", {Variant(int32_t(-5)), Variant(int32_t(99999))});
    Variant h, v, vMax;
    call("GetHScrollBarPosition", {}, &h);
    call("GetVScrollBarPosition", {}, &v);
    call("GetVScrollBarMaxPosition", {}, &vMax);
    EXPECT_EQ(h.i4(), 0);
    EXPECT_EQ(v.i4(), vMax.i4());
    EXPECT_GT(vMax.i4(), 0);
    EXPECT_EQ(std::count(events.begin(), events.end(), "ScrollControl"), 3);
    EXPECT_EQ(std::count(events.begin(), events.end(), "Display"), 1);
    EXPECT_FALSE(get("LockControl").isTrue());
    // The picture's origin follows the bars.
    Variant top;
    call("GetImageTop", {}, &top);
    EXPECT_EQ(top.i4(), -vMax.i4());
}

TEST_F(ControlTest, ExtremeNumbersSaturateOrAreRefused) {
    constexpr int32_t kMin = INT32_MIN, kMax = INT32_MAX;
    ASSERT_EQ(call("DisplayFromFile", {Variant(image)}), S_OK);  // 400 x 100 fitted: zoom 0.5, origin (0, 25)
    Variant status;
    ASSERT_EQ(call("ZoomArea", {Variant(kMin), Variant(kMin), Variant(kMax), Variant(kMax)}, &status), S_OK);
    EXPECT_EQ(status.i4(), 0);
    EXPECT_EQ(get("ZoomMode").i4(), 4);
    EXPECT_DOUBLE_EQ(get("ZOOM").r8(), 100.0 / kMax);  // the height of the client area limits it
    Variant left, top;
    call("GetImageLeft", {}, &left);
    call("GetImageTop", {}, &top);
    EXPECT_EQ(left.i4(), 100);
    EXPECT_EQ(top.i4(), 50);

    let("ZoomMode", Variant(int32_t(2)));
    Variant x, y;
    call("CoordObjectToImage", {Variant(kMin), Variant(kMin), Variant::byRef(&x), Variant::byRef(&y)});
    EXPECT_EQ(x.i4(), kMin);
    EXPECT_EQ(y.i4(), kMin);
    call("CoordObjectToImage", {Variant(kMax), Variant(kMax), Variant::byRef(&x), Variant::byRef(&y)});
    EXPECT_EQ(x.i4(), kMax);
    EXPECT_EQ(y.i4(), kMax);
    call("CoordImageToObject", {Variant(kMax), Variant(kMin), Variant::byRef(&x), Variant::byRef(&y)});
    EXPECT_EQ(x.i4(), 1073741824);  // 1073741823.5 to even
    EXPECT_EQ(y.i4(), -1073741824 + 25);

    // Singles and Doubles that are no number, infinite or huge.
    const float nanF = std::numeric_limits<float>::quiet_NaN(), infF = std::numeric_limits<float>::infinity();
    for (float percent : {nanF, infF, -infF, -0.0f}) {
        ASSERT_EQ(call("SetZoom", {Variant(percent)}, &status), S_OK);
        EXPECT_EQ(status.i4(), 0);
    }
    EXPECT_DOUBLE_EQ(get("ZOOM").r8(), 0.5);
    EXPECT_EQ(let("ZOOM", Variant(std::numeric_limits<double>::quiet_NaN())), S_OK);
    EXPECT_DOUBLE_EQ(get("ZOOM").r8(), 0.5);
    Variant maxZoom;
    call("GetMaxZoom", {}, &maxZoom);
    for (double zoom : {std::numeric_limits<double>::infinity(), 1e308}) {
        let("ZOOM", Variant(0.5));
        EXPECT_EQ(let("ZOOM", Variant(zoom)), S_OK);
        EXPECT_DOUBLE_EQ(get("ZOOM").r8(), maxZoom.r8()) << zoom;
    }
    // A Double that no Long can hold is refused before the member runs.
    uint32_t argError = 99;
    std::vector<Variant> args;
    for (double d : {1e308, 0.0, std::numeric_limits<double>::quiet_NaN(), 1.0}) args.emplace_back(d);
    EXPECT_EQ(invokeByName(*control, "ZoomArea", DISPATCH_METHOD, args, &status, nullptr, &argError), DISP_E_OVERFLOW);
    EXPECT_EQ(argError, 0u);
    args[0] = Variant(10.0);
    EXPECT_EQ(invokeByName(*control, "ZoomArea", DISPATCH_METHOD, args, &status, nullptr, &argError), DISP_E_OVERFLOW);
    EXPECT_EQ(argError, 2u);
    EXPECT_DOUBLE_EQ(get("ZOOM").r8(), maxZoom.r8());
}

TEST_F(ControlTest, AnImageClosedByThePictureChangeHandlerIsNotDrawn) {
    // A host that closes the picture from its PictureChange handler, once.
    bool closeNext = true;
    control->events().connect(std::make_shared<FunctionSink>([&](DISPID id, std::span<Variant>) {
        if (id == control::orreryEvents().find("PictureChange")->id && closeNext) {
            closeNext = false;
            EXPECT_EQ(call("CloseImageEx"), S_OK);
        }
        return S_OK;
    }));
    Variant status;
    ASSERT_EQ(call("DisplayFromFile", {Variant(image)}, &status), S_OK);
    EXPECT_EQ(status.i4(), 2);  // drawing a released image
    ASSERT_EQ(backend.messageBoxes().size(), 1u);
    EXPECT_EQ(backend.messageBoxes()[0].request.text, "Can not display image error no: 2");
    EXPECT_EQ(imaging::modMain::LiveEntryCount(), 0u);
    EXPECT_EQ(std::count(events.begin(), events.end(), "Display"), 0);

    // The next load draws again.
    ASSERT_EQ(call("DisplayFromFile", {Variant(image)}, &status), S_OK);
    EXPECT_EQ(status.i4(), 0);
    EXPECT_EQ(shownPixel(2 + 20, 2 + 50) & 0xFFFFFF, 0xFF0000u);
}
