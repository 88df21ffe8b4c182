#include "platform/automation/stream_object.h"

namespace orrery::automation {

HRESULT StreamObject::GetIDsOfNames(std::string_view, DISPID& id) {
    id = DISPID_UNKNOWN;
    return DISP_E_UNKNOWNNAME;
}

HRESULT StreamObject::Invoke(DISPID, uint16_t, std::span<Variant>, Variant*, ExcepInfo*, uint32_t*) {
    return DISP_E_MEMBERNOTFOUND;
}

IStream* streamOf(IDispatch* object) {
    auto* streamObject = dynamic_cast<StreamObject*>(object);
    return streamObject ? &streamObject->stream() : nullptr;
}

}  // namespace orrery::automation
