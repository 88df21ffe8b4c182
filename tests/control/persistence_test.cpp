#include "control/persistence.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "control/events.h"
#include "control/orrery.h"
#include "platform/automation/property_bag.h"
#include "orrery/window/headless_backend.h"
#include "platform/window/control_window.h"
#include "support/control_maker.h"

using namespace orrery;
using namespace orrery::automation;
using window::ScrollBarId;

namespace {

const bool kNoPlugin = [] { return setenv("ORRERY_CODEC_PLUGIN", "none", 1) == 0; }();

// Every persisted property with a value other than its default, in the order
// and with the types the control writes them.
constexpr const char* kEveryPropertyChanged =
    "ScrollBars = bool:False\n"
    "EnableMenu = bool:False\n"
    "Zoom = r8:2.5\n"
    "ImageWidth = i4:640\n"
    "ImageHeight = i4:480\n"
    "MouseMode = i4:1\n"
    "ZoomStep = i4:25\n"
    "ScrollSmallChange = i2:7\n"
    "ScrollLargeChange = i2:70\n"
    "VerticalResolution = r4:72.5\n"
    "HorizontalResolution = r4:96.25\n"
    "PageCount = i4:3\n"
    "CurrentPage = i4:2\n"
    "SilentMode = bool:True\n"
    "PdfDpiRendering = i4:300\n"
    "pdfForceTemporaryMode = bool:True\n"
    "ImageForceTemporaryMode = bool:True\n"
    "SkipImageResolution = bool:True\n"
    "LockControl = bool:True\n"
    "ZoomMode = i4:4\n"
    "PdfRenderingMode = i4:1\n"
    "RectBorderStyle = i4:2\n"
    "RectDrawMode = i4:7\n"
    "Enabled = bool:False\n"
    "EnableMouseWheel = bool:False\n"
    "ImageAlignment = i4:4\n"
    "ImagePosition = i4:9\n"
    "AnimateGIF = bool:True\n"
    "RectBorderSize = i2:3\n"
    "ClipControls = bool:False\n"
    "RectBorderColor = i4:255\n"
    "BorderStyle = i2:0\n"
    "Appearance = i2:0\n"
    "BackStyle = i2:0\n"
    "BackColor = i4:16711680\n"
    "ScrollOptimization = bool:True\n"
    "ViewerQuality = i4:1\n"
    "ViewerQualityAuto = bool:True\n"
    "ForcePictureMode = bool:True\n"
    "KeepImagePosition = bool:True\n"
    "MouseWheelMode = i4:1\n"
    "ViewerDrop = bool:True\n"
    "DisableAutoFocus = bool:True\n"
    "MousePointer = i4:2\n"
    "PdfDisplayFormField = bool:False\n"
    "ForceScrollBars = bool:True\n"
    "PdfEnablePageCash = bool:True\n"
    "ImageMaskColor = i4:65280\n"
    "Gamma = r4:1.5\n"
    "RectIsEditable = bool:False\n"
    "ContinuousViewMode = bool:False\n"
    "MouseButtonForMouseMode = i4:2\n"
    "OptimizeDrawingSpeed = bool:True\n"
    "PDFShowDialogForPassword = bool:False\n";

class CountingNotifySink final : public IPropertyNotifySink {
public:
    HRESULT OnChanged(DISPID) override {
        ++changes;
        return S_OK;
    }
    HRESULT OnRequestEdit(DISPID) override { return S_OK; }
    int changes = 0;
};

class PersistenceTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(kNoPlugin);
        control = makeControl();
    }

    std::unique_ptr<control::Orrery> makeControl() {
        auto c = test::makeControl(backend);
        c->controlWindow().setWindowSize(204, 104);
        auto sink = std::make_shared<FunctionSink>([this](DISPID id, std::span<Variant>) {
            events.push_back(control::orreryEvents().find(id)->name);
            return S_OK;
        });
        c->events().connect(sink);
        return c;
    }

    static PropertyBag bagFrom(const std::string& text) {
        PropertyBag bag;
        BagTextError error;
        EXPECT_EQ(PropertyBag::fromText(text, bag, &error), S_OK) << error.toString();
        return bag;
    }

    PropertyBag saved(const control::Orrery& c) {
        PropertyBag bag;
        EXPECT_EQ(c.WriteProperties(bag), S_OK);
        return bag;
    }

    HRESULT let(const char* name, Variant value) {
        std::vector<Variant> args{std::move(value)};
        return invokeByName(*control, name, DISPATCH_PROPERTYPUT, args, nullptr);
    }

    window::ControlWindow& win() { return control->controlWindow(); }

    window::HeadlessBackend backend;
    std::unique_ptr<control::Orrery> control;
    std::vector<std::string> events;
};

}  // namespace

// --- Initialise and save ---------------------------------------------------

TEST_F(PersistenceTest, AFreshControlSavesOnlyWindowValuesThatDifferFromTheDefaults) {
    control->InitProperties();
    const PropertyBag bag = saved(*control);
    // The window is built with the button-face colour as its background; every
    // other value it and its parts are built with is the default.
    ASSERT_EQ(bag.size(), 1u) << bag.toText();
    EXPECT_EQ(bag.entries()[0].name, "BackColor");
    EXPECT_EQ(bag.entries()[0].value, Variant(static_cast<int32_t>(0x8000000Fu)));

    win().setBorderStyle(window::BorderStyle::None);
    win().setBackColor(0);
    window::RectShape shape = win().rectShape();
    shape.setBorderWidth(4);
    win().setRectShape(shape);
    EXPECT_EQ(saved(*control).toText(), "RectBorderSize = i2:4\nBorderStyle = i2:0\n");
}

TEST_F(PersistenceTest, InitialiseResetsControlFieldsAndLeavesTheWindowAsBuilt) {
    ASSERT_EQ(let("ZoomStep", Variant(int32_t{40})), S_OK);
    ASSERT_EQ(let("SilentMode", Variant(true)), S_OK);
    win().setBackColor(0x00123456);
    win().setBorderStyle(window::BorderStyle::None);
    win().setScrollSmallChange(ScrollBarId::Vertical, 9);
    win().setScrollLargeChange(ScrollBarId::Horizontal, 33);
    window::RectShape shape = win().rectShape();
    shape.setDrawMode(window::R2_XORPEN);
    win().setRectShape(shape);
    const int32_t status = control->DisplayFromFile("/nonexistent/none.png");
    ASSERT_NE(status, 0);

    control->InitProperties();

    EXPECT_EQ(control->ZoomStep(), 10);
    EXPECT_FALSE(control->SilentMode());
    EXPECT_EQ(control->ZoomMode(), viewer::Zoom100);
    EXPECT_EQ(control->ScrollLargeChange(), 50);
    EXPECT_EQ(control->viewState().vScroll.largeChange, 50);
    EXPECT_EQ(win().backColor(), 0x00123456u);
    EXPECT_EQ(win().borderStyle(), window::BorderStyle::None);
    EXPECT_EQ(win().scrollBar(ScrollBarId::Vertical).smallChange(), 9);
    EXPECT_EQ(win().scrollBar(ScrollBarId::Horizontal).largeChange(), 33);
    EXPECT_EQ(win().rectShape().drawMode(), window::R2_XORPEN);
    EXPECT_EQ(control->GetStat(), status);
}

TEST_F(PersistenceTest, SavingStoresInterfaceValuesWithTheirTypesAndDropsDefaults) {
    control->InitProperties();
    ASSERT_EQ(let("ZoomStep", Variant(int32_t{25})), S_OK);
    ASSERT_EQ(let("gamma", Variant(1.5f)), S_OK);
    ASSERT_EQ(let("ScrollSmallChange", Variant(int16_t{5})), S_OK);
    ASSERT_EQ(let("BackColor", Variant(int32_t{0})), S_OK);
    PropertyBag bag = saved(*control);
    EXPECT_EQ(bag.toText(), "ZoomStep = i4:25\nScrollSmallChange = i2:5\nGamma = r4:1.5\n");

    // Saving into the same bag after the values went back to their defaults
    // removes their entries.
    ASSERT_EQ(let("ZoomStep", Variant(int32_t{10})), S_OK);
    ASSERT_EQ(let("gamma", Variant(1.0f)), S_OK);
    ASSERT_EQ(control->WriteProperties(bag), S_OK);
    EXPECT_EQ(bag.toText(), "ScrollSmallChange = i2:5\n");
}

TEST_F(PersistenceTest, ValuesTheInterfaceCannotChangeAreSavedAsLoaded) {
    control->InitProperties();
    ASSERT_EQ(let("ImageWidth", Variant(int32_t{500})), S_OK);
    EXPECT_FALSE(saved(*control).contains("ImageWidth"));

    ASSERT_EQ(control->ReadProperties(bagFrom("ImageWidth = i4:640\nPageCount = i4:3\nPdfRenderingMode = i4:1\n")),
              S_OK);
    ASSERT_EQ(let("ImageWidth", Variant(int32_t{500})), S_OK);
    EXPECT_EQ(control->ImageWidth(), 640);
    const PropertyBag bag = saved(*control);
    EXPECT_EQ(bag.ReadProperty("ImageWidth"), Variant(int32_t{640}));
    EXPECT_EQ(bag.ReadProperty("PageCount"), Variant(int32_t{3}));
    EXPECT_EQ(bag.ReadProperty("PdfRenderingMode"), Variant(int32_t{1}));
}

// --- Load ---------------------------------------------------------------------

TEST_F(PersistenceTest, EveryPropertyRoundTripsThroughTheTextFormIntoAnotherControl) {
    ASSERT_EQ(control->ReadProperties(bagFrom(kEveryPropertyChanged)), S_OK);
    const std::string text = saved(*control).toText();
    EXPECT_EQ(text, kEveryPropertyChanged);

    auto second = makeControl();
    second->InitProperties();
    ASSERT_EQ(second->ReadProperties(bagFrom(text)), S_OK);
    EXPECT_EQ(saved(*second).toText(), kEveryPropertyChanged);

    // A sample of what the second control now reports through its members.
    EXPECT_DOUBLE_EQ(second->ZOOM(), 2.5);
    EXPECT_EQ(second->ZoomMode(), viewer::ZoomCustom);
    EXPECT_EQ(second->ImageHeight(), 480);
    EXPECT_FLOAT_EQ(second->HorizontalResolution(), 96.25f);
    EXPECT_TRUE(second->SilentMode());
    EXPECT_TRUE(second->LockControl());
    EXPECT_TRUE(second->ImageForceTemporaryMode());
    EXPECT_EQ(second->ImagePosition(), viewer::BottomCenter);
    EXPECT_EQ(second->ViewerQuality(), viewer::ViewerQualityBilinear);
    EXPECT_TRUE(second->ViewerQualityAuto());
    EXPECT_EQ(second->MousePointer(), 2);
    EXPECT_EQ(second->ImageMaskColor(), 65280);
    EXPECT_FLOAT_EQ(second->gamma(), 1.5f);
    EXPECT_FALSE(second->ClipControls());
    EXPECT_EQ(second->BackStyle(), 0);
    EXPECT_EQ(second->Appearance(), 0);
    EXPECT_EQ(second->BackColor(), 16711680);
}

TEST_F(PersistenceTest, ABagHoldingOnlyViewerDropEnablesDropping) {
    ASSERT_EQ(win().dropMode(), window::DropMode::None);
    ASSERT_EQ(control->ReadProperties(bagFrom("ViewerDrop = bool:True\n")), S_OK);
    EXPECT_EQ(win().dropMode(), window::DropMode::Manual);
    // Everything else is at its default, the window's background included.
    EXPECT_EQ(saved(*control).toText(), "ViewerDrop = bool:True\n");

    ASSERT_EQ(control->ReadProperties(PropertyBag()), S_OK);
    EXPECT_EQ(win().dropMode(), window::DropMode::None);
}

TEST_F(PersistenceTest, PdfForceTemporaryModeIsStoredWithALowerCaseFirstLetter) {
    ASSERT_EQ(control->ReadProperties(bagFrom("pdfForceTemporaryMode = bool:True\n")), S_OK);
    const PropertyBag bag = saved(*control);
    ASSERT_EQ(bag.size(), 1u);
    EXPECT_EQ(bag.entries()[0].name, "pdfForceTemporaryMode");
    EXPECT_TRUE(bag.entries()[0].value.isTrue());
}

TEST_F(PersistenceTest, AbsentBackColorGivesBlackNotTheWindowColour) {
    ASSERT_EQ(win().backColor(), 0x8000000Fu);
    ASSERT_EQ(control->ReadProperties(bagFrom("ZoomStep = i4:20\n")), S_OK);
    EXPECT_EQ(win().backColor(), 0u);
    EXPECT_EQ(control->BackColor(), 0);
}

TEST_F(PersistenceTest, StoredValuesOfOtherTypesAreConverted) {
    ASSERT_EQ(control->ReadProperties(bagFrom("ScrollBars = i4:0\nZoom = string:\" 1.75 \"\nSilentMode = "
                                              "string:\"true\"\nZoomStep = r8:12.5\nGamma = i2:2\n")),
              S_OK);
    EXPECT_FALSE(control->ScrollBars());
    EXPECT_DOUBLE_EQ(control->ZOOM(), 1.75);
    EXPECT_TRUE(control->SilentMode());
    EXPECT_EQ(control->ZoomStep(), 12);  // half to even
    EXPECT_FLOAT_EQ(control->gamma(), 2.0f);
}

TEST_F(PersistenceTest, StoredZoomsTheMembersRefuseKeepTheirDefaults) {
    const double nan = std::numeric_limits<double>::quiet_NaN(), inf = std::numeric_limits<double>::infinity();
    for (double zoom : {nan, inf, -inf, -2.0, 0.0}) {
        PropertyBag bag;
        bag.WriteProperty("Zoom", Variant(zoom));
        bag.WriteProperty("ZoomStep", Variant(int32_t{-5}));
        ASSERT_EQ(control->ReadProperties(bag), S_OK);
        EXPECT_DOUBLE_EQ(control->ZOOM(), 1.0) << zoom;
        EXPECT_EQ(control->ZoomStep(), 10) << zoom;
    }
}

TEST_F(PersistenceTest, AValueThatCannotBeConvertedFailsAndLeavesLaterFields) {
    const PropertyBag bag = bagFrom(
        "ScrollBars = bool:False\nZoom = r8:3\nZoomStep = string:\"many\"\nSilentMode = bool:True\n"
        "Enabled = bool:False\n");
    EXPECT_EQ(control->ReadProperties(bag), DISP_E_TYPEMISMATCH);
    EXPECT_FALSE(control->ScrollBars());
    EXPECT_DOUBLE_EQ(control->ZOOM(), 3.0);
    EXPECT_EQ(control->ZoomStep(), 10);
    EXPECT_FALSE(control->SilentMode());
    EXPECT_TRUE(control->Enabled());
    EXPECT_TRUE(win().enabled());

    // An Integer out of range: the Enabled row before it is applied in full,
    // the scroll steps and everything after keep their values.
    const int16_t largeBefore = control->ScrollLargeChange();
    EXPECT_EQ(control->ReadProperties(bagFrom("Enabled = bool:False\nScrollSmallChange = i4:70000\n"
                                              "ScrollLargeChange = i2:70\nBorderStyle = i2:0\n")),
              DISP_E_OVERFLOW);
    EXPECT_FALSE(control->Enabled());
    EXPECT_FALSE(win().enabled());
    EXPECT_EQ(control->ScrollSmallChange(), 1);
    EXPECT_EQ(control->ScrollLargeChange(), largeBefore);
    EXPECT_EQ(win().borderStyle(), window::BorderStyle::FixedSingle);

    // The window tells the control about resizes again after a failed load.
    events.clear();
    win().setWindowSize(300, 200);
    EXPECT_EQ(events, std::vector<std::string>{"ResizeControl"});
}

TEST_F(PersistenceTest, LoadingAppliesValuesToTheWindowScrollBarsAndOutline) {
    ASSERT_EQ(control->ReadProperties(bagFrom("Enabled = bool:False\nScrollSmallChange = i2:7\n"
                                              "ScrollLargeChange = i2:70\nRectDrawMode = i4:7\n"
                                              "RectBorderStyle = i4:2\nRectBorderColor = i4:255\n"
                                              "RectBorderSize = i2:3\nClipControls = bool:False\n"
                                              "BorderStyle = i2:0\nAppearance = i2:0\nBackStyle = i2:0\n"
                                              "BackColor = i4:65535\n")),
              S_OK);
    EXPECT_FALSE(control->Enabled());
    EXPECT_FALSE(win().enabled());

    for (ScrollBarId id : {ScrollBarId::Horizontal, ScrollBarId::Vertical}) {
        EXPECT_EQ(win().scrollBar(id).smallChange(), 7);
        EXPECT_EQ(win().scrollBar(id).largeChange(), 70);
    }
    EXPECT_EQ(control->viewState().hScroll.smallChange, 7);
    EXPECT_EQ(control->viewState().vScroll.smallChange, 7);
    EXPECT_EQ(control->viewState().hScroll.largeChange, 70);
    EXPECT_EQ(control->viewState().vScroll.largeChange, 70);

    const window::RectShape& shape = win().rectShape();
    EXPECT_EQ(shape.drawMode(), window::R2_XORPEN);
    EXPECT_EQ(shape.borderStyle(), window::BorderStyleDash);
    EXPECT_EQ(shape.borderColor(), 255u);
    EXPECT_EQ(shape.borderWidth(), 3);

    EXPECT_FALSE(win().clipControls());
    EXPECT_EQ(win().borderStyle(), window::BorderStyle::None);
    EXPECT_EQ(win().appearance(), window::Appearance::Flat);
    EXPECT_EQ(win().backStyle(), window::BackStyle::Transparent);
    EXPECT_EQ(win().backColor(), 65535u);
    EXPECT_EQ(win().clientWidth(), 204);  // the border is gone
}

TEST_F(PersistenceTest, LoadingNotifiesNothingLaysNothingOutAndKeepsTheStatus) {
    const int32_t status = control->DisplayFromFile("/nonexistent/none.png");
    ASSERT_NE(status, 0);
    auto sink = std::make_shared<CountingNotifySink>();
    control->propertyNotifier().advise(sink);
    events.clear();

    ASSERT_EQ(control->ReadProperties(bagFrom(kEveryPropertyChanged)), S_OK);

    EXPECT_EQ(sink->changes, 0);
    EXPECT_TRUE(events.empty()) << events.front();
    EXPECT_EQ(control->GetStat(), status);
    // The setters' side effects do not run: no quality timer starts and the
    // drawing-speed switch that ScrollOptimization's setter also sets is
    // loaded on its own.
    EXPECT_FALSE(backend.hasTimer(win(), viewer::kQualityTimerId));
    ASSERT_EQ(control->ReadProperties(bagFrom("ScrollOptimization = bool:True\n")), S_OK);
    EXPECT_TRUE(control->ScrollOptimization());
    EXPECT_FALSE(control->OptimizeDrawingSpeed());

    PropertyBag bag;
    ASSERT_EQ(control->WriteProperties(bag), S_OK);
    control->InitProperties();
    EXPECT_EQ(sink->changes, 0);
    EXPECT_EQ(control->GetStat(), status);
}
