// Dispatch by name and identifier: the interface IDispatch, through which a
// host calls any member of an object by its identifier, and looks the
// identifier up by name.
//
// Arguments are passed IN CALL ORDER: args[0] is the first parameter (the
// platform's DISPPARAMS holds them reversed; we do not). For a property put
// the new value is the last (for our properties: the only) argument.
#pragma once
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "orrery/automation/hresult.h"
#include "orrery/automation/variant.h"

namespace orrery::automation {

// A member's identifier in its dispatch interface.
using DISPID = int32_t;

// The member list of an object (platform/automation/type_description.h).
class TypeDescription;

inline constexpr uint16_t DISPATCH_METHOD = 1;
inline constexpr uint16_t DISPATCH_PROPERTYGET = 2;
inline constexpr uint16_t DISPATCH_PROPERTYPUT = 4;

// Error information of a call that failed with DISP_E_EXCEPTION.
struct ExcepInfo {
    HRESULT code = S_OK;      // the member's own error code
    std::string source;       // the interface that raised it
    std::string description;  // text for the user
};

class IDispatch {
public:
    virtual ~IDispatch() = default;
    // DISP_E_UNKNOWNNAME when no member has that name (case is ignored).
    virtual HRESULT GetIDsOfNames(std::string_view name, DISPID& id) = 0;
    // Calls member `id`. `flags` is a combination of DISPATCH_METHOD,
    // DISPATCH_PROPERTYGET and DISPATCH_PROPERTYPUT. `result`, `excepInfo` and
    // `argError` may be null. By-reference parameters are written back into
    // the caller's variants (through the reference of a VT_BYREF variant,
    // otherwise into the variant itself). `argError` receives the index (call
    // order) of the argument that caused DISP_E_TYPEMISMATCH, DISP_E_OVERFLOW
    // or DISP_E_PARAMNOTOPTIONAL.
    virtual HRESULT Invoke(DISPID id, uint16_t flags, std::span<Variant> args, Variant* result,
                           ExcepInfo* excepInfo, uint32_t* argError) = 0;
    // The object's member list for hosts that show it; null when the object
    // describes none (an event sink, for example).
    virtual const TypeDescription* typeDescription() const { return nullptr; }
};

// Looks the name up and invokes it, as a script host does.
HRESULT invokeByName(IDispatch& object, std::string_view name, uint16_t flags,
                     std::span<Variant> args, Variant* result = nullptr,
                     ExcepInfo* excepInfo = nullptr, uint32_t* argError = nullptr);

}  // namespace orrery::automation
