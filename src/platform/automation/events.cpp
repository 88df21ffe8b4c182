#include "orrery/automation/events.h"

#include "platform/automation/dispatch.h"
#include "platform/automation/type_description.h"

namespace orrery::automation {

HRESULT EventSource::raise(DISPID id, std::span<Variant> args) {
    const MemberInfo* e = events_->find(id);
    if (!e || e->kind != MemberKind::Event) return DISP_E_MEMBERNOTFOUND;
    if (args.size() != e->params.size()) return DISP_E_BADPARAMCOUNT;
    for (size_t i = 0; i < args.size(); ++i) {
        Variant converted;
        if (HRESULT hr = args[i].changeType(e->params[i].type, converted); failed(hr)) return hr;
        args[i] = std::move(converted);
    }
    HRESULT first = S_OK;
    std::vector<Variant> passed(args.size());
    for (const DispatchPtr& sink : sinks_.snapshot()) {
        for (size_t i = 0; i < args.size(); ++i)
            passed[i] = e->params[i].byRef ? Variant::referenceTo(args[i]) : args[i];
        ExcepInfo excep;
        uint32_t argError = 0;
        HRESULT hr = sink->Invoke(id, DISPATCH_METHOD, passed, nullptr, &excep, &argError);
        if (failed(hr) && succeeded(first)) first = hr;
    }
    return first;
}

HRESULT FunctionSink::GetIDsOfNames(std::string_view name, DISPID& id) {
    const MemberInfo* m = events_ ? events_->find(name) : nullptr;
    if (!m) return DISP_E_UNKNOWNNAME;
    id = m->id;
    return S_OK;
}

HRESULT FunctionSink::Invoke(DISPID id, uint16_t flags, std::span<Variant> args, Variant* result,
                             ExcepInfo*, uint32_t*) {
    if (!(flags & DISPATCH_METHOD)) return DISP_E_MEMBERNOTFOUND;
    if (result) *result = Variant();
    return handler_ ? handler_(id, args) : S_OK;
}

}  // namespace orrery::automation
