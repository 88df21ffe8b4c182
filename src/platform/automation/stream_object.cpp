#include "platform/automation/stream_object.h"

namespace orrery::automation {

HRESULT StreamObject::QueryInterface(const Guid& iid, void** object) {
    if (iid == IID_IUnknown) {
        *object = static_cast<IUnknown*>(this);
    } else if (iid == IID_IDispatch) {
        *object = static_cast<IDispatch*>(this);
    } else if (iid == IID_IStream) {
        *object = stream_.get();
    } else {
        *object = nullptr;
        return E_NOINTERFACE;
    }
    return S_OK;
}

HRESULT StreamObject::GetIDsOfNames(std::string_view, DISPID& id) {
    id = DISPID_UNKNOWN;
    return DISP_E_UNKNOWNNAME;
}

HRESULT StreamObject::Invoke(DISPID, uint16_t, std::span<Variant>, Variant*, ExcepInfo*, uint32_t*) {
    return DISP_E_MEMBERNOTFOUND;
}

IStream* streamOf(IDispatch* object) {
    auto* unknown = dynamic_cast<IUnknown*>(object);
    return unknown ? queryInterface<IStream>(*unknown, IID_IStream) : nullptr;
}

}  // namespace orrery::automation
