#include "control/persistence.h"

#include <algorithm>
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
};

using Row = std::variant<TypedRow<bool>, TypedRow<int16_t>, TypedRow<int32_t>, TypedRow<float>, TypedRow<double>>;

// (control.*Part).*Member, e.g. a field of the viewer state.
template <auto Part, auto Member>
auto inPart() {
    using T = std::remove_cvref_t<decltype((std::declval<const Orrery&>().*Part).*Member)>;
    return Place<T>{[](const Orrery& o) { return (o.*Part).*Member; }, [](Orrery& o, T v) { (o.*Part).*Member = v; }};
}

// control.*Member, a field of the control itself.
template <auto Member>
auto inControl() {
    using T = std::remove_cvref_t<decltype(std::declval<const Orrery&>().*Member)>;
    return Place<T>{[](const Orrery& o) { return o.*Member; }, [](Orrery& o, T v) { o.*Member = v; }};
}

template <class T>
Row field(std::string_view name, T defaultValue, Place<T> kept,
          std::initializer_list<std::type_identity_t<Apply<T>>> alsoApplied = {}) {
    return TypedRow<T>{name, defaultValue, Keeper::ControlField, kept, alsoApplied};
}

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
    apply(control, fromBag<T>(value));
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
            field("ScrollBars", true, inPart<&Orrery::s_, &ViewState::scrollBars>()),
            field("EnableMenu", true, inControl<&Orrery::enableMenu_>()),
            field("Zoom", 1.0, inPart<&Orrery::s_, &ViewState::zoom>()),
            field("ImageWidth", 0, inPart<&Orrery::s_, &ViewState::imageWidth>()),
            field("ImageHeight", 0, inPart<&Orrery::s_, &ViewState::imageHeight>()),
            field("MouseMode", 2, inPart<&Orrery::s_, &ViewState::mouseMode>()),
            field("ZoomStep", 10, inPart<&Orrery::s_, &ViewState::zoomStep>()),
            // The control's scroll steps are those of its two bars, which it
            // mirrors into the window's bars.
            field<int16_t>("ScrollSmallChange", 1,
                           {[](const Orrery& o) { return o.s_.hScroll.smallChange; },
                            [](Orrery& o, int16_t v) { o.s_.hScroll.smallChange = o.s_.vScroll.smallChange = v; }},
                           {[](Orrery& o, int16_t v) { o.window_.setScrollSmallChange(ScrollBarId::Horizontal, v); },
                            [](Orrery& o, int16_t v) { o.window_.setScrollSmallChange(ScrollBarId::Vertical, v); }}),
            field<int16_t>("ScrollLargeChange", 50,
                           {[](const Orrery& o) { return o.s_.hScroll.largeChange; },
                            [](Orrery& o, int16_t v) { o.s_.hScroll.largeChange = o.s_.vScroll.largeChange = v; }},
                           {[](Orrery& o, int16_t v) { o.window_.setScrollLargeChange(ScrollBarId::Horizontal, v); },
                            [](Orrery& o, int16_t v) { o.window_.setScrollLargeChange(ScrollBarId::Vertical, v); }}),
            field("VerticalResolution", 0.0f, inPart<&Orrery::s_, &ViewState::verticalResolution>()),
            field("HorizontalResolution", 0.0f, inPart<&Orrery::s_, &ViewState::horizontalResolution>()),
            field("PageCount", 0, inPart<&Orrery::s_, &ViewState::pageCount>()),
            field("CurrentPage", 0, inPart<&Orrery::s_, &ViewState::currentPage>()),
            field("SilentMode", false, inControl<&Orrery::silentMode_>()),
            field("PdfDpiRendering", 200, inPart<&Orrery::pdfSettings_, &Pdf::dpiRendering>()),
            field("pdfForceTemporaryMode", false, inPart<&Orrery::pdfSettings_, &Pdf::forceTemporaryMode>()),
            field("ImageForceTemporaryMode", false, inControl<&Orrery::imageForceTemporaryMode_>()),
            field("SkipImageResolution", false, inPart<&Orrery::s_, &ViewState::skipImageResolution>()),
            field("LockControl", false, inControl<&Orrery::lockControl_>()),
            field("ZoomMode", 1, inPart<&Orrery::s_, &ViewState::zoomMode>()),
            field("PdfRenderingMode", 2, inPart<&Orrery::pdfSettings_, &Pdf::renderingMode>()),
            field("RectBorderStyle", 1, inPart<&Orrery::s_, &ViewState::rectBorderStyle>(),
                  {[](Orrery& o, int32_t v) { editShape(o.window_, [v](auto& s) { s.setBorderStyle(v); }); }}),
            field("RectDrawMode", 13, inPart<&Orrery::s_, &ViewState::rectDrawMode>(),
                  {[](Orrery& o, int32_t v) { editShape(o.window_, [v](auto& s) { s.setDrawMode(v); }); }}),
            field("Enabled", true, inControl<&Orrery::enabled_>(),
                  {[](Orrery& o, bool v) { o.window_.setEnabled(v); }}),
            field("EnableMouseWheel", true, inPart<&Orrery::s_, &ViewState::enableMouseWheel>()),
            field("ImageAlignment", 2, inPart<&Orrery::s_, &ViewState::imageAlignment>()),
            field("ImagePosition", 2, inPart<&Orrery::s_, &ViewState::imagePosition>()),
            field("AnimateGIF", false, inPart<&Orrery::s_, &ViewState::animateGif>()),
            windowPart<int16_t>(
                "RectBorderSize", 1,
                {[](const Orrery& o) { return toInteger(o.window_.rectShape().borderWidth()); },
                 [](Orrery& o, int16_t v) { editShape(o.window_, [v](auto& s) { s.setBorderWidth(v); }); }}),
            windowPart<bool>("ClipControls", true,
                             {[](const Orrery& o) { return o.window_.clipControls(); },
                              [](Orrery& o, bool v) { o.window_.setClipControls(v); }}),
            windowPart<int32_t>(
                "RectBorderColor", 0,
                {[](const Orrery& o) { return static_cast<int32_t>(o.window_.rectShape().borderColor()); },
                 [](Orrery& o, int32_t v) {
                     editShape(o.window_, [v](auto& s) { s.setBorderColor(static_cast<uint32_t>(v)); });
                 }}),
            // The window's appearance values are 0 or 1; any other number
            // stands for 1, as with the properties.
            windowPart<int16_t>("BorderStyle", 1,
                                {[](const Orrery& o) { return static_cast<int16_t>(o.window_.borderStyle()); },
                                 [](Orrery& o, int16_t v) {
                                     o.window_.setBorderStyle(static_cast<window::BorderStyle>(v != 0));
                                 }}),
            windowPart<int16_t>("Appearance", 1,
                                {[](const Orrery& o) { return static_cast<int16_t>(o.window_.appearance()); },
                                 [](Orrery& o, int16_t v) {
                                     o.window_.setAppearance(static_cast<window::Appearance>(v != 0));
                                 }}),
            windowPart<int16_t>("BackStyle", 1,
                                {[](const Orrery& o) { return static_cast<int16_t>(o.window_.backStyle()); },
                                 [](Orrery& o, int16_t v) {
                                     o.window_.setBackStyle(static_cast<window::BackStyle>(v != 0));
                                 }}),
            // Black when absent, whatever colour the window was built with.
            windowPart<int32_t>("BackColor", 0,
                                {[](const Orrery& o) { return static_cast<int32_t>(o.window_.backColor()); },
                                 [](Orrery& o, int32_t v) { o.window_.setBackColor(static_cast<uint32_t>(v)); }}),
            field("ScrollOptimization", false, inPart<&Orrery::s_, &ViewState::scrollOptimization>()),
            field("ViewerQuality", 4, inPart<&Orrery::s_, &ViewState::viewerQuality>()),
            field("ViewerQualityAuto", false, inPart<&Orrery::s_, &ViewState::viewerQualityAuto>()),
            field("ForcePictureMode", false, inPart<&Orrery::s_, &ViewState::forcePictureMode>()),
            field("KeepImagePosition", false, inPart<&Orrery::s_, &ViewState::keepImagePosition>()),
            field("MouseWheelMode", 0, inPart<&Orrery::s_, &ViewState::mouseWheelMode>()),
            field("ViewerDrop", false, inControl<&Orrery::viewerDrop_>(),
                  {[](Orrery& o, bool v) {
                      o.window_.setDropMode(v ? window::DropMode::Manual : window::DropMode::None);
                  }}),
            field("DisableAutoFocus", false, inControl<&Orrery::disableAutoFocus_>()),
            field("MousePointer", 0, inControl<&Orrery::mousePointer_>()),
            field("PdfDisplayFormField", true, inPart<&Orrery::pdfSettings_, &Pdf::displayFormField>()),
            field("ForceScrollBars", false, inPart<&Orrery::s_, &ViewState::forceScrollBars>()),
            field("PdfEnablePageCash", false, inPart<&Orrery::pdfSettings_, &Pdf::enablePageCash>()),
            field<int32_t>("ImageMaskColor", 0x00010000,
                           {[](const Orrery& o) { return static_cast<int32_t>(o.s_.imageMaskColor); },
                            [](Orrery& o, int32_t v) { o.s_.imageMaskColor = static_cast<uint32_t>(v); }}),
            field("Gamma", 1.0f, inPart<&Orrery::s_, &ViewState::gamma>()),
            field("RectIsEditable", true, inPart<&Orrery::s_, &ViewState::rectIsEditable>()),
            field("ContinuousViewMode", true, inPart<&Orrery::s_, &ViewState::continuousViewMode>()),
            field("MouseButtonForMouseMode", 1, inPart<&Orrery::s_, &ViewState::mouseButtonForMouseMode>()),
            field("OptimizeDrawingSpeed", false, inPart<&Orrery::s_, &ViewState::optimizeDrawingSpeed>()),
            field("PDFShowDialogForPassword", true, inPart<&Orrery::pdfSettings_, &Pdf::showDialogForPassword>()),
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
    control.window_.setOwner(nullptr);
    HRESULT hr = automation::S_OK;
    for (const Row* row : table().readingOrder) {
        hr = std::visit([&](const auto& r) { return readRow(r, control, bag); }, *row);
        if (automation::failed(hr)) break;
    }
    control.window_.setOwner(&control);
    return hr;
}

}  // namespace orrery::control
