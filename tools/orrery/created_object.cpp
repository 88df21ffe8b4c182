#include "tools/orrery/created_object.h"

#include <cstdio>
#include <cstdlib>
#include <optional>

#include "control/registration.h"
#include "platform/automation/dispatch.h"

namespace orrery::tool {

using namespace automation;

namespace {

// An interface named on a script line: empty for "none".
bool parseInterface(const std::string& word, std::optional<Guid>& iid) {
    static const std::pair<const char*, Guid> names[] = {
        {"IUnknown", IID_IUnknown},
        {"IDispatch", IID_IDispatch},
        {"IPersistStorage", IID_IPersistStorage},
        {"IPersistStream", IID_IPersistStream},
        {"IPersistPropertyBag", IID_IPersistPropertyBag},
        {"IClassFactory", IID_IClassFactory},
        {"IObjectSafety", IID_IObjectSafety},
    };
    if (word == "none") {
        iid.reset();
        return true;
    }
    for (const auto& [name, guid] : names)
        if (word == name) {
            iid = guid;
            return true;
        }
    iid = Guid::parse(word);
    return iid.has_value();
}

bool parseOptions(const std::string& word, uint32_t& value) {
    char* end = nullptr;
    const unsigned long v = std::strtoul(word.c_str(), &end, 0);
    if (word.empty() || word[0] == '-' || *end != 0 || v > UINT32_MAX) return false;
    value = static_cast<uint32_t>(v);
    return true;
}

}  // namespace

HRESULT createObject(const std::string& progId, window::WindowBackend& backend, CreatedObject& out) {
    out = CreatedObject();
    std::unique_ptr<IUnknown> object;
    if (progId.empty()) object = std::make_unique<control::Orrery>(backend);
    else if (HRESULT hr = control::createByProgId(progId, backend, IID_IDispatch, object); failed(hr)) return hr;
    out.dispatch = queryInterface<IDispatch>(*object, IID_IDispatch);
    out.control = dynamic_cast<control::Orrery*>(object.get());
    out.object = std::move(object);
    return S_OK;
}

std::string resultCode(HRESULT hr) {
    char code[16];
    std::snprintf(code, sizeof code, "0x%08X", static_cast<uint32_t>(hr));
    return code;
}

bool safetyCommand(IUnknown& object, const std::vector<std::string>& w, std::ostream& out) {
    const bool get = w.size() == 3 && w[1] == "get";
    const bool set = w.size() == 5 && w[1] == "set";
    std::optional<Guid> iid;
    uint32_t mask = 0, enabled = 0;
    if ((!get && !set) || !parseInterface(w[2], iid) || (set && (!parseOptions(w[3], mask) || !parseOptions(w[4], enabled)))) {
        out << "  cannot read this line\n";
        return false;
    }
    IObjectSafety* safety = queryInterface<IObjectSafety>(object, IID_IObjectSafety);
    if (!safety) {
        out << "  no object safety: " << resultCode(E_NOINTERFACE) << "\n";
        return false;
    }
    const Guid* riid = iid ? &*iid : nullptr;
    HRESULT hr = S_OK;
    if (get) {
        uint32_t supported = 0;
        hr = safety->GetInterfaceSafetyOptions(riid, &supported, &enabled);
        out << "  supported " << supported << " enabled " << enabled << " result " << resultCode(hr) << "\n";
    } else {
        hr = safety->SetInterfaceSafetyOptions(riid, mask, enabled);
        out << "  result " << resultCode(hr) << "\n";
    }
    return succeeded(hr);
}

}  // namespace orrery::tool
