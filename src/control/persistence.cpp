#include "control/persistence.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <initializer_list>
#include <string_view>
#include <type_traits>
#include <utility>
#include <variant>
#include <vector>

#include "control/orrery.h"
#include "platform/automation/property_bag.h"

namespace orrery::control {

using automation::HRESULT;
using automation::PropertyBag;
using automation::Variant;
using automation::VARTYPE;
using window::ScrollBarId;

namespace {

// The bag's value type for each C++ type a row holds: Boolean, Integer,
// Long, Single and Double.
template <class T>
constexpr VARTYPE bagType() {
    if constexpr (std::is_same_v<T, bool>) return automation::VT_BOOL;
    else if constexpr (std::is_same_v<T, int16_t>) return automation::VT_I2;
    else if constexpr (std::is_same_v<T, int32_t>) return automation::VT_I4;
    else if constexpr (std::is_same_v<T, float>) return automation::VT_R4;
    else {
        static_assert(std::is_same_v<T, double>, "a persisted value is Boolean, Integer, Long, Single or Double");
        return automation::VT_R8;
    }
}

// The value of a variant already converted to bagType<T>().
template <class T>
T fromBag(const Variant& v) {
    if constexpr (std::is_same_v<T, bool>) return v.isTrue();
    else if constexpr (std::is_same_v<T, int16_t>) return v.i2();
    else if constexpr (std::is_same_v<T, int32_t>) return v.i4();
    else if constexpr (std::is_same_v<T, float>) return v.r4();
    else return v.r8();
}

template <class T>
using Apply = void (*)(Orrery&, T);

// One place a persisted value lives: read when saving, assigned when loading.
template <class T>
struct Place {
    T (*get)(const Orrery&);
    Apply<T> set;
};

// Initialise resets the control's own fields; the window and its parts keep
// the values they were built with.
enum class Keeper { ControlField, Window };

template <class T>
struct TypedRow {
    std::string_view name;  // exactly as the container stores it
    T defaultValue;
    Keeper keeper;
    Place<T> kept;
    // Further parts that loading applies the value to, in order, each after a
    // read of the bag of its own.
    std::vector<Apply<T>> alsoApplied;
    // The values the property's member accepts; loading keeps the default
    // for any other. Null: every value of the type.
    bool (*accepts)(T) = nullptr;
};

using Row = std::variant<TypedRow<bool>, TypedRow<int16_t>, TypedRow<int32_t>, TypedRow<float>, TypedRow<double>>;

}  // namespace

// The parts of a control whose fields are persisted.
struct PersistedParts {
    using Own = Orrery::Parts;
    static viewer::ViewState& state(Orrery& o) { return o.state(); }
    static const viewer::ViewState& state(const Orrery& o) { return o.state(); }
    static pdf::PdfSettings& pdf(Orrery& o) { return o.p_->viewer.pdfSettings(); }
    static const pdf::PdfSettings& pdf(const Orrery& o) { return o.p_->viewer.pdfSettings(); }
    static window::ControlWindow& window(Orrery& o) { return o.window(); }
    static Own& own(Orrery& o) { return *o.p_; }
    static const Own& own(const Orrery& o) { return *o.p_; }
    static const window::ControlWindow& window(const Orrery& o) { return o.window(); }
};

namespace {

using Parts = PersistedParts;

// A field of the viewer state.
template <auto Member>
auto inState() {
    using T = std::remove_cvref_t<decltype(std::declval<const viewer::ViewState&>().*Member)>;
    return Place<T>{[](const Orrery& o) { return Parts::state(o).*Member; }, [](Orrery& o, T v) { Parts::state(o).*Member = v; }};
}

// A field of the PDF settings.
template <auto Member>
auto inPdf() {
    using T = std::remove_cvref_t<decltype(std::declval<const pdf::PdfSettings&>().*Member)>;
    return Place<T>{[](const Orrery& o) { return Parts::pdf(o).*Member; },
                    [](Orrery& o, T v) { Parts::pdf(o).*Member = v; }};
}

// A field of the control's own parts.
template <auto Member>
auto inControl() {
    using T = std::remove_cvref_t<decltype(std::declval<const Parts::Own&>().*Member)>;
    return Place<T>{[](const Orrery& o) { return Parts::own(o).*Member; },
                    [](Orrery& o, T v) { Parts::own(o).*Member = v; }};
}

template <class T>
Row field(std::string_view name, T defaultValue, Place<T> kept,
          std::initializer_list<std::type_identity_t<Apply<T>>> alsoApplied = {}) {
    return TypedRow<T>{name, defaultValue, Keeper::ControlField, kept, alsoApplied};
}

// A control field whose member accepts only some values of its type.
template <class T>
Row checkedField(std::string_view name, T defaultValue, Place<T> kept, bool (*accepts)(std::type_identity_t<T>)) {
    return TypedRow<T>{name, defaultValue, Keeper::ControlField, kept, {}, accepts};
}

bool isZoomFactor(double zoom) { return std::isfinite(zoom) && zoom > 0; }
bool isPositive(int32_t value) { return value > 0; }

template <class T>
Row windowPart(std::string_view name, std::type_identity_t<T> defaultValue, Place<std::type_identity_t<T>> kept) {
    return TypedRow<T>{name, defaultValue, Keeper::Window, kept, {}};
}

template <class Edit>
void editShape(window::ControlWindow& w, Edit edit) {
    window::RectShape shape = w.rectShape();
    edit(shape);
    w.setRectShape(shape);
}

int16_t toInteger(int32_t v) {
    return static_cast<int16_t>(std::clamp<int32_t>(v, INT16_MIN, INT16_MAX));
}

const std::string_view& nameOf(const Row& row) {
    return std::visit([](const auto& r) -> const std::string_view& { return r.name; }, row);
}

template <class T>
HRESULT readInto(const TypedRow<T>& row, Orrery& control, const PropertyBag& bag, Apply<T> apply) {
    Variant value;
    const HRESULT hr = bag.ReadProperty(row.name, Variant(row.defaultValue)).changeType(bagType<T>(), value);
    if (automation::failed(hr)) return hr;
    const T read = fromBag<T>(value);
    apply(control, row.accepts && !row.accepts(read) ? row.defaultValue : read);
    return automation::S_OK;
}

template <class T>
HRESULT readRow(const TypedRow<T>& row, Orrery& control, const PropertyBag& bag) {
    HRESULT hr = readInto(row, control, bag, row.kept.set);
    for (Apply<T> apply : row.alsoApplied) {
        if (automation::failed(hr)) break;
        hr = readInto(row, control, bag, apply);
    }
    return hr;
}

template <class T>
HRESULT writeRow(const TypedRow<T>& row, const Orrery& control, PropertyBag& bag) {
    return bag.WriteProperty(row.name, Variant(row.kept.get(control)), Variant(row.defaultValue));
}

template <class T>
void initRow(const TypedRow<T>& row, Orrery& control) {
    if (row.keeper == Keeper::ControlField) row.kept.set(control, row.defaultValue);
}

// Loading reads the names in this order (it differs from the writing order:
// the window and its parts are set up after the control's own fields).
constexpr std::string_view kReadingOrder[] = {
    // The control's fields.
    "ScrollBars", "EnableMenu", "Zoom", "ImageWidth", "ImageHeight", "MouseMode", "ZoomStep",
    "VerticalResolution", "HorizontalResolution", "PageCount", "CurrentPage", "SilentMode", "PdfDpiRendering",
    "pdfForceTemporaryMode", "ImageForceTemporaryMode", "SkipImageResolution", "LockControl", "ZoomMode",
    "PdfRenderingMode", "EnableMouseWheel", "ImageAlignment", "ImagePosition", "AnimateGIF",
    // Field and window, then field and both scroll bars.
    "Enabled", "ScrollSmallChange", "ScrollLargeChange",
    // The rectangle outline.
    "RectDrawMode", "RectBorderStyle", "RectBorderColor", "RectBorderSize",
    // The window.
    "ClipControls", "BorderStyle", "Appearance", "BackStyle", "BackColor",
    // Rendering and input fields (ViewerDrop also sets the window's drop mode).
    "ScrollOptimization", "ViewerQuality", "ViewerQualityAuto", "ForcePictureMode", "KeepImagePosition",
    "MouseWheelMode", "ViewerDrop",
    "DisableAutoFocus", "MousePointer", "PdfDisplayFormField", "ForceScrollBars", "PdfEnablePageCash",
    "ImageMaskColor", "Gamma", "RectIsEditable", "ContinuousViewMode", "MouseButtonForMouseMode",
    "OptimizeDrawingSpeed", "PDFShowDialogForPassword",
};

}  // namespace

struct Persistence::Table {
    std::vector<Row> rows;  // in writing order
    std::vector<const Row*> readingOrder;
};

const Persistence::Table& Persistence::table() {
    using viewer::ViewState;
    using Pdf = pdf::PdfSettings;
    static const Table t = [] {
        Table t;
        t.rows = {
            field("ScrollBars", true, inState<&ViewState::scrollBars>()),
            field("EnableMenu", true, inControl<&Orrery::Parts::enableMenu>()),
            checkedField("Zoom", 1.0, inState<&ViewState::zoom>(), isZoomFactor),
            field("ImageWidth", 0, inState<&ViewState::imageWidth>()),
            field("ImageHeight", 0, inState<&ViewState::imageHeight>()),
            field("MouseMode", 2, inState<&ViewState::mouseMode>()),
            checkedField("ZoomStep", 10, inState<&ViewState::zoomStep>(), isPositive),
            // The control's scroll steps are those of its two bars, which it
            // mirrors into the window's bars.
            field<int16_t>("ScrollSmallChange", 1,
                           {[](const Orrery& o) { return o.state().hScroll.smallChange; },
                            [](Orrery& o, int16_t v) { o.state().hScroll.smallChange = o.state().vScroll.smallChange = v; }},
                           {[](Orrery& o, int16_t v) { o.window().setScrollSmallChange(ScrollBarId::Horizontal, v); },
                            [](Orrery& o, int16_t v) { o.window().setScrollSmallChange(ScrollBarId::Vertical, v); }}),
            field<int16_t>("ScrollLargeChange", 50,
                           {[](const Orrery& o) { return o.state().hScroll.largeChange; },
                            [](Orrery& o, int16_t v) { o.state().hScroll.largeChange = o.state().vScroll.largeChange = v; }},
                           {[](Orrery& o, int16_t v) { o.window().setScrollLargeChange(ScrollBarId::Horizontal, v); },
                            [](Orrery& o, int16_t v) { o.window().setScrollLargeChange(ScrollBarId::Vertical, v); }}),
            field("VerticalResolution", 0.0f, inState<&ViewState::verticalResolution>()),
            field("HorizontalResolution", 0.0f, inState<&ViewState::horizontalResolution>()),
            field("PageCount", 0, inState<&ViewState::pageCount>()),
            field("CurrentPage", 0, inState<&ViewState::currentPage>()),
            field("SilentMode", false, inState<&ViewState::silentMode>()),
            field("PdfDpiRendering", 200, inPdf<&Pdf::dpiRendering>()),
            field("pdfForceTemporaryMode", false, inPdf<&Pdf::forceTemporaryMode>()),
            field("ImageForceTemporaryMode", false, inState<&ViewState::imageForceTemporaryMode>()),
            field("SkipImageResolution", false, inState<&ViewState::skipImageResolution>()),
            field("LockControl", false, inState<&ViewState::lockControl>()),
            field("ZoomMode", 1, inState<&ViewState::zoomMode>()),
            field("PdfRenderingMode", 2, inPdf<&Pdf::renderingMode>()),
            field("RectBorderStyle", 1, inState<&ViewState::rectBorderStyle>(),
                  {[](Orrery& o, int32_t v) { editShape(o.window(), [v](auto& s) { s.setBorderStyle(v); }); }}),
            field("RectDrawMode", 13, inState<&ViewState::rectDrawMode>(),
                  {[](Orrery& o, int32_t v) { editShape(o.window(), [v](auto& s) { s.setDrawMode(v); }); }}),
            field("Enabled", true, inControl<&Orrery::Parts::enabled>(),
                  {[](Orrery& o, bool v) { o.window().setEnabled(v); }}),
            field("EnableMouseWheel", true, inState<&ViewState::enableMouseWheel>()),
            field("ImageAlignment", 2, inState<&ViewState::imageAlignment>()),
            field("ImagePosition", 2, inState<&ViewState::imagePosition>()),
            field("AnimateGIF", false, inState<&ViewState::animateGif>()),
            windowPart<int16_t>(
                "RectBorderSize", 1,
                {[](const Orrery& o) { return toInteger(o.window().rectShape().borderWidth()); },
                 [](Orrery& o, int16_t v) { editShape(o.window(), [v](auto& s) { s.setBorderWidth(v); }); }}),
            windowPart<bool>("ClipControls", true,
                             {[](const Orrery& o) { return o.window().clipControls(); },
                              [](Orrery& o, bool v) { o.window().setClipControls(v); }}),
            windowPart<int32_t>(
                "RectBorderColor", 0,
                {[](const Orrery& o) { return static_cast<int32_t>(o.window().rectShape().borderColor()); },
                 [](Orrery& o, int32_t v) {
                     editShape(o.window(), [v](auto& s) { s.setBorderColor(static_cast<uint32_t>(v)); });
                 }}),
            // The window's appearance values are 0 or 1; any other number
            // stands for 1, as with the properties.
            windowPart<int16_t>("BorderStyle", 1,
                                {[](const Orrery& o) { return static_cast<int16_t>(o.window().borderStyle()); },
                                 [](Orrery& o, int16_t v) {
                                     o.window().setBorderStyle(static_cast<window::BorderStyle>(v != 0));
                                 }}),
            windowPart<int16_t>("Appearance", 1,
                                {[](const Orrery& o) { return static_cast<int16_t>(o.window().appearance()); },
                                 [](Orrery& o, int16_t v) {
                                     o.window().setAppearance(static_cast<window::Appearance>(v != 0));
                                 }}),
            windowPart<int16_t>("BackStyle", 1,
                                {[](const Orrery& o) { return static_cast<int16_t>(o.window().backStyle()); },
                                 [](Orrery& o, int16_t v) {
                                     o.window().setBackStyle(static_cast<window::BackStyle>(v != 0));
                                 }}),
            // Black when absent, whatever colour the window was built with.
            windowPart<int32_t>("BackColor", 0,
                                {[](const Orrery& o) { return static_cast<int32_t>(o.window().backColor()); },
                                 [](Orrery& o, int32_t v) { o.window().setBackColor(static_cast<uint32_t>(v)); }}),
            field("ScrollOptimization", false, inState<&ViewState::scrollOptimization>()),
            field("ViewerQuality", 4, inState<&ViewState::viewerQuality>()),
            field("ViewerQualityAuto", false, inState<&ViewState::viewerQualityAuto>()),
            field("ForcePictureMode", false, inState<&ViewState::forcePictureMode>()),
            field("KeepImagePosition", false, inState<&ViewState::keepImagePosition>()),
            field("MouseWheelMode", 0, inState<&ViewState::mouseWheelMode>()),
            field("ViewerDrop", false, inControl<&Orrery::Parts::viewerDrop>(),
                  {[](Orrery& o, bool v) {
                      o.window().setDropMode(v ? window::DropMode::Manual : window::DropMode::None);
                  }}),
            field("DisableAutoFocus", false, inState<&ViewState::disableAutoFocus>()),
            field("MousePointer", 0, inState<&ViewState::mousePointer>()),
            field("PdfDisplayFormField", true, inPdf<&Pdf::displayFormField>()),
            field("ForceScrollBars", false, inState<&ViewState::forceScrollBars>()),
            field("PdfEnablePageCash", false, inPdf<&Pdf::enablePageCash>()),
            field<int32_t>("ImageMaskColor", 0x00010000,
                           {[](const Orrery& o) { return static_cast<int32_t>(o.state().imageMaskColor); },
                            [](Orrery& o, int32_t v) { o.state().imageMaskColor = static_cast<uint32_t>(v); }}),
            field("Gamma", 1.0f, inState<&ViewState::gamma>()),
            field("RectIsEditable", true, inState<&ViewState::rectIsEditable>()),
            field("ContinuousViewMode", true, inState<&ViewState::continuousViewMode>()),
            field("MouseButtonForMouseMode", 1, inState<&ViewState::mouseButtonForMouseMode>()),
            field("OptimizeDrawingSpeed", false, inState<&ViewState::optimizeDrawingSpeed>()),
            field("PDFShowDialogForPassword", true, inPdf<&Pdf::showDialogForPassword>()),
        };
        for (std::string_view name : kReadingOrder) {
            auto it = std::find_if(t.rows.begin(), t.rows.end(), [name](const Row& r) { return nameOf(r) == name; });
            if (it != t.rows.end()) t.readingOrder.push_back(&*it);
        }
        return t;
    }();
    return t;
}

void Persistence::InitProperties(Orrery& control) {
    for (const Row& row : table().rows) std::visit([&](const auto& r) { initRow(r, control); }, row);
}

HRESULT Persistence::WriteProperties(const Orrery& control, PropertyBag& bag) {
    for (const Row& row : table().rows) {
        const HRESULT hr = std::visit([&](const auto& r) { return writeRow(r, control, bag); }, row);
        if (automation::failed(hr)) return hr;
    }
    return automation::S_OK;
}

HRESULT Persistence::ReadProperties(Orrery& control, const PropertyBag& bag) {
    // A new border style or appearance changes the client area; the control
    // lays itself out when it is first shown, not while it is being loaded,
    // so the window does not tell it about the change.
    control.p_->viewer.listenToWindow(false);
    HRESULT hr = automation::S_OK;
    for (const Row* row : table().readingOrder) {
        hr = std::visit([&](const auto& r) { return readRow(r, control, bag); }, *row);
        if (automation::failed(hr)) break;
    }
    control.p_->viewer.listenToWindow(true);
    return hr;
}

}  // namespace orrery::control
