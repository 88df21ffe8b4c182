#include "control/orrery.h"

#include <array>

#include "control/control_class.h"
#include "control/events.h"
#include "control/members/families.h"
#include "control/persistence.h"
#include "viewer/input_flags.h"

namespace orrery::control {

using namespace automation;

// The members built so far, family by family, in interface order.
std::vector<OrreryTable::Row> memberRows() {
    std::vector<OrreryTable::Row> rows;
    for (auto family : {shellRows, lifeCycleRows, zoomRows, renderingRows, scrollingRows, storeRows,
                        frameAndRotationRows, mouseAndSelectionRows, memoryAndClipboardRows, menuAndEventRows,
                        pdfRows, metadataRows, internetRows})
        for (OrreryTable::Row& row : family()) rows.push_back(std::move(row));
    return rows;
}

// ---------------------------------------------------------------------------
// Construction and dispatch

Orrery::Orrery(window::WindowBackend& backend) : Orrery(backend, orreryClass()) {}

Orrery::Parts::Parts(Orrery& owner, window::WindowBackend& backend, const ControlClass& cls)
    : control(owner), events(cls.events()), notifier(&cls.table().description()), viewer(backend, *this) {}

Orrery::Orrery(window::WindowBackend& backend, const ControlClass& cls)
    : class_(&cls), p_(std::make_unique<Parts>(*this, backend, cls)) {
    p_->viewer.initialise();
}

Orrery::~Orrery() { Terminate(); }

const TypeDescription& Orrery::interfaceDescription() { return orreryClass().table().description(); }
std::vector<std::string> Orrery::interfaceProblems() { return orreryClass().table().problems(); }
const TypeDescription* Orrery::typeDescription() const { return &class_->table().description(); }

HRESULT Orrery::GetIDsOfNames(std::string_view name, DISPID& id) { return class_->table().idOfName(name, id); }

HRESULT Orrery::Invoke(DISPID id, uint16_t flags, std::span<Variant> args, Variant* result, ExcepInfo* excepInfo,
                       uint32_t* argError) {
    return class_->table().invoke(*this, id, flags, args, result, excepInfo, argError);
}

void Orrery::notify(const char* propertyName) { p_->notifier.changed(propertyName); }

automation::EventSource& Orrery::events() { return p_->events; }
automation::PropertyNotifier& Orrery::propertyNotifier() { return p_->notifier; }
window::ControlWindow& Orrery::controlWindow() { return p_->viewer.window(); }
const viewer::ViewState& Orrery::viewState() const { return p_->viewer.state(); }

// ---------------------------------------------------------------------------
// Persistence

void Orrery::InitProperties() { Persistence::InitProperties(*this); }
HRESULT Orrery::WriteProperties(PropertyBag& bag) const { return Persistence::WriteProperties(*this, bag); }
HRESULT Orrery::ReadProperties(const PropertyBag& bag) { return Persistence::ReadProperties(*this, bag); }

// ---------------------------------------------------------------------------
// The engine's news

namespace {

int32_t eventIdOf(viewer::ViewerEvent event) {
    using viewer::ViewerEvent;
    switch (event) {
        case ViewerEvent::BeforeZoomChange: return EventId::BeforeZoomChange;
        case ViewerEvent::ZoomChange: return EventId::ZoomChange;
        case ViewerEvent::ScrollControl: return EventId::ScrollControl;
        case ViewerEvent::PageChange: return EventId::PageChange;
        case ViewerEvent::PictureChange: return EventId::PictureChange;
        case ViewerEvent::PictureChanged: return EventId::PictureChanged;
        case ViewerEvent::Display: return EventId::Display;
        case ViewerEvent::PaintControl: return EventId::PaintControl;
        case ViewerEvent::ResizeControl: return EventId::ResizeControl;
        case ViewerEvent::ClickControl: return EventId::ClickControl;
        case ViewerEvent::DblClickControl: return EventId::DblClickControl;
    }
    return 0;
}

int32_t eventIdOf(viewer::MouseEventKind kind) {
    switch (kind) {
        case viewer::MouseEventKind::Down: return EventId::MouseDownControl;
        case viewer::MouseEventKind::Move: return EventId::MouseMoveControl;
        case viewer::MouseEventKind::Up: return EventId::MouseUpControl;
    }
    return 0;
}

// A by-reference parameter as the host's handlers left it; a value that does
// not convert keeps the earlier one.
void readBack(const Variant& v, int16_t& value) {
    Variant converted;
    if (succeeded(v.changeType(VT_I2, converted))) value = converted.i2();
}

void readBack(const Variant& v, float& value) {
    Variant converted;
    if (succeeded(v.changeType(VT_R4, converted))) value = converted.r4();
}

}  // namespace

void Orrery::Parts::raise(viewer::ViewerEvent event) { events.raise(eventIdOf(event)); }

void Orrery::Parts::rotated(RotateFlipType type) {
    Variant rotation(static_cast<int32_t>(type));
    events.raise(EventId::Rotation, std::span<Variant>(&rotation, 1));
}

void Orrery::Parts::mouseEvent(viewer::MouseEventKind kind, viewer::MouseArgs& a) {
    std::array<Variant, 4> args = {Variant(a.button), Variant(a.shift), Variant(a.x), Variant(a.y)};
    events.raise(eventIdOf(kind), args);
    readBack(args[0], a.button);
    readBack(args[1], a.shift);
    readBack(args[2], a.x);
    readBack(args[3], a.y);
}

void Orrery::Parts::keyDown(int16_t keyCode, int16_t shift) {
    std::array<Variant, 2> args = {Variant(keyCode), Variant(shift)};
    events.raise(EventId::KeyDownControl, args);
}

void Orrery::Parts::keyUp(int16_t& keyCode, int16_t shift) {
    std::array<Variant, 2> args = {Variant(keyCode), Variant(shift)};
    events.raise(EventId::KeyUpControl, args);
    readBack(args[0], keyCode);
}

void Orrery::Parts::keyPress(int16_t keyAscii) {
    Variant key(keyAscii);
    events.raise(EventId::KeyPressControl, std::span<Variant>(&key, 1));
}

void Orrery::Parts::wheelTurned(bool up) {
    Variant upDown(int16_t{up ? int16_t{0} : int16_t{1}});
    events.raise(EventId::MouseWheelControl, std::span<Variant>(&upDown, 1));
}

void Orrery::Parts::filesDropped(std::vector<std::string> files) {
    Variant first(files.front());
    events.raise(EventId::FileDrop, std::span<Variant>(&first, 1));
    const auto count = static_cast<int32_t>(files.size());
    std::array<Variant, 2> all = {Variant::strings(std::move(files), 0), Variant(count)};
    events.raise(EventId::FilesDrop, all);
}

void Orrery::Parts::passwordRequested(std::string& password) {
    // Handlers receive the argument by reference and write into it.
    Variant argument(password);
    events.raise(EventId::PdfPasswordRequest, std::span<Variant>(&argument, 1));
    password = argument.dereferenced().str();
}

void Orrery::Parts::showMessage(const std::string& text, int32_t style) { viewer.window().messageBox(text, style); }

}  // namespace orrery::control
