#include "platform/automation/dispatch.h"

namespace orrery::automation {

namespace {

const Variant kNoArgument;

// The parameter list an access sees: a method's own, nothing for a get, the
// new value for a let (made in `letValue`). A view, not a copy: every call
// binds through here.
std::span<const ParamInfo> accessParams(const MemberInfo& m, bool let, ParamInfo& letValue) {
    if (!m.isProperty()) return m.params;
    if (!let) return {};
    letValue = arg("value", m.type);
    return {&letValue, 1};
}

// An omitted optional parameter: its default, converted to the declared type.
HRESULT defaultFor(const ParamInfo& p, Variant& out) {
    if (p.defaultValue.isMissing()) {
        if (p.type == VT_VARIANT) {
            out = Variant::missing();
            return S_OK;
        }
        return Variant().changeType(p.type, out);
    }
    return p.defaultValue.changeType(p.type, out);
}

}  // namespace

HRESULT invokeByName(IDispatch& object, std::string_view name, uint16_t flags,
                     std::span<Variant> args, Variant* result, ExcepInfo* excepInfo,
                     uint32_t* argError) {
    DISPID id = DISPID_UNKNOWN;
    if (HRESULT hr = object.GetIDsOfNames(name, id); failed(hr)) return hr;
    return object.Invoke(id, flags, args, result, excepInfo, argError);
}

const Variant& Call::arg(size_t i) const { return i < args_.size() ? args_[i] : kNoArgument; }

Variant Call::as(size_t i, VARTYPE type) const {
    Variant out;
    if (failed(arg(i).changeType(type, out))) return Variant();
    return out;
}

void Call::setOut(size_t i, Variant value) {
    if (i >= args_.size() || i >= outSet_.size()) return;
    args_[i] = std::move(value);
    outSet_[i] = true;
}

void Call::fail(HRESULT code, std::string description) {
    failed_ = true;
    errorCode_ = code;
    errorText_ = std::move(description);
}

HRESULT DispatchTableBase::idOfName(std::string_view name, DISPID& id) const {
    const MemberInfo* m = description_.find(name);
    if (!m) {
        id = DISPID_UNKNOWN;
        return DISP_E_UNKNOWNNAME;
    }
    id = m->id;
    return S_OK;
}

HRESULT DispatchTableBase::bind(DISPID id, uint16_t flags, std::span<Variant> args, Call& call,
                                size_t& index, Access& access, uint32_t* argError) const {
    const MemberInfo* m = description_.find(id);
    if (!m || m->kind == MemberKind::Event) return DISP_E_MEMBERNOTFOUND;
    if (flags & DISPATCH_PROPERTYPUT) {
        if (!m->writable()) return DISP_E_MEMBERNOTFOUND;
        access = Access::Let;
    } else if (m->kind == MemberKind::Method && (flags & DISPATCH_METHOD)) {
        access = Access::Method;
    } else if (m->readable() && (flags & DISPATCH_PROPERTYGET)) {
        access = Access::Get;
    } else {
        return DISP_E_MEMBERNOTFOUND;
    }
    index = static_cast<size_t>(m - description_.members().data());

    ParamInfo letValue;
    const std::span<const ParamInfo> params = accessParams(*m, access == Access::Let, letValue);
    if (args.size() > params.size()) return DISP_E_BADPARAMCOUNT;
    call.args_.resize(params.size());
    call.outSet_.assign(params.size(), false);
    for (size_t i = 0; i < params.size(); ++i) {
        const ParamInfo& p = params[i];
        Variant given = i < args.size() ? args[i].dereferenced() : Variant::missing();
        HRESULT hr = S_OK;
        if (given.isMissing()) {
            if (!p.optional) hr = i < args.size() ? DISP_E_PARAMNOTOPTIONAL : DISP_E_BADPARAMCOUNT;
            else hr = defaultFor(p, call.args_[i]);
        } else {
            hr = given.changeType(p.type, call.args_[i]);
        }
        if (failed(hr)) {
            if (argError && hr != DISP_E_BADPARAMCOUNT) *argError = static_cast<uint32_t>(i);
            return hr;
        }
    }
    return S_OK;
}

HRESULT DispatchTableBase::finish(size_t index, Access access, Call& call, std::span<Variant> args,
                                  Variant* result, ExcepInfo* excepInfo, uint32_t* argError) const {
    const MemberInfo& m = description_.members()[index];
    // Outputs go back even when the member then fails: a by-reference
    // parameter is the caller's variable, changed the moment it is assigned.
    if (access == Access::Method) {
        for (size_t i = 0; i < m.params.size() && i < args.size(); ++i) {
            if (!m.params[i].byRef || !call.outSet_[i] || args[i].isMissing()) continue;
            Variant out;
            HRESULT hr = call.args_[i].changeType(m.params[i].type, out);
            if (succeeded(hr))
                hr = args[i].isByRef() ? args[i].assignThroughRef(out) : (args[i] = out, S_OK);
            if (failed(hr)) {
                if (argError) *argError = static_cast<uint32_t>(i);
                return hr;
            }
        }
    }
    if (call.failed_) {
        if (excepInfo) {
            excepInfo->code = call.errorCode_;
            excepInfo->source = description_.name();
            excepInfo->description = call.errorText_;
        }
        return DISP_E_EXCEPTION;
    }
    if (!result) return S_OK;
    VARTYPE type = access == Access::Let ? VT_EMPTY : m.type;
    if (type == VT_EMPTY) {
        *result = Variant();
        return S_OK;
    }
    // A result of the declared type goes to the caller as it is, not copied.
    if (call.result_.vt() == type) {
        *result = std::move(call.result_);
        return S_OK;
    }
    return call.result_.changeType(type, *result);
}

}  // namespace orrery::automation
