#include "control/events.h"

namespace orrery::control {

using namespace automation;

namespace {

// The 25 events under the name of the class's event interface.
TypeDescription eventInterface(const char* interfaceName) {
    auto event = [](const char* name, DISPID id, std::vector<ParamInfo> params = {}) {
        return MemberInfo{name, id, MemberKind::Event, std::move(params), VT_EMPTY};
    };
    const std::vector<ParamInfo> mouse = {refArg("Button", VT_I2), refArg("shift", VT_I2),
                                          refArg("X", VT_R4), refArg("Y", VT_R4)};
    const std::vector<ParamInfo> key = {refArg("KeyAscii", VT_I2), refArg("shift", VT_I2)};
    return TypeDescription(
        interfaceName,
        {
            event("PdfPasswordRequest", EventId::PdfPasswordRequest, {refArg("Password", VT_BSTR)}),
            event("PrintPage", EventId::PrintPage, {arg("nPage", VT_I4), arg("nPageLeft", VT_I4)}),
            event("DataReceived", EventId::DataReceived,
                  {arg("nPercentProgress", VT_I4), arg("nLeftToTransfer", VT_I4), arg("nTotalLength", VT_I4)}),
            event("ZoomChange", EventId::ZoomChange),
            event("BeforeZoomChange", EventId::BeforeZoomChange),
            event("ScrollControl", EventId::ScrollControl),
            event("Rotation", EventId::Rotation, {arg("nRotation", VT_I4)}),
            event("PageChange", EventId::PageChange),
            event("FileDrop", EventId::FileDrop, {arg("sFilePath", VT_BSTR)}),
            event("FilesDrop", EventId::FilesDrop,
                  {refArg("sFilesPath", VT_ARRAY | VT_BSTR), arg("nFilesCount", VT_I4)}),
            event("PictureChange", EventId::PictureChange),
            event("PictureChanged", EventId::PictureChanged),
            event("Display", EventId::Display),
            event("KeyPressControl", EventId::KeyPressControl, {refArg("KeyAscii", VT_I2)}),
            event("KeyUpControl", EventId::KeyUpControl, key),
            event("KeyDownControl", EventId::KeyDownControl, key),
            event("MouseMoveControl", EventId::MouseMoveControl, mouse),
            event("ClickControl", EventId::ClickControl),
            event("ClickMenu", EventId::ClickMenu, {refArg("MenuItem", VT_I4)}),
            event("DblClickControl", EventId::DblClickControl),
            event("MouseDownControl", EventId::MouseDownControl, mouse),
            event("MouseUpControl", EventId::MouseUpControl, mouse),
            event("MouseWheelControl", EventId::MouseWheelControl, {arg("UpDown", VT_I2)}),
            event("ResizeControl", EventId::ResizeControl),
            event("PaintControl", EventId::PaintControl),
        });
}

}  // namespace

const TypeDescription& orreryEvents() {
    static const TypeDescription events = eventInterface("__Orrery");
    return events;
}

const TypeDescription& orreryCntEvents() {
    static const TypeDescription events = eventInterface("__OrreryCnt");
    return events;
}

}  // namespace orrery::control
