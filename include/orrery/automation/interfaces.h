// The object interfaces a creatable class answers besides IDispatch: the
// interface lookup (IUnknown), object safety and persistence through a
// property bag, with the platform's identifiers.
//
// Objects are owned by C++ (a unique_ptr, a member, the stack): there is no
// reference count, and a pointer from QueryInterface lives as long as the
// object it came from.
#pragma once
#include <cstdint>

#include "orrery/automation/hresult.h"
#include "orrery/gdiplus/guid.h"

namespace orrery::automation {

class PropertyBag;
using gdiplus::Guid;
using gdiplus::makeGuid;

inline constexpr Guid IID_IUnknown = makeGuid(0x00000000, 0x0000, 0x0000, 0xC000000000000046ULL);
inline constexpr Guid IID_IDispatch = makeGuid(0x00020400, 0x0000, 0x0000, 0xC000000000000046ULL);
inline constexpr Guid IID_IPersistStorage = makeGuid(0x0000010A, 0x0000, 0x0000, 0xC000000000000046ULL);
inline constexpr Guid IID_IPersistStream = makeGuid(0x00000109, 0x0000, 0x0000, 0xC000000000000046ULL);
inline constexpr Guid IID_IPersistPropertyBag = makeGuid(0x37D84F60, 0x42CB, 0x11CE, 0x813500AA004BB851ULL);
inline constexpr Guid IID_IClassFactory = makeGuid(0x00000001, 0x0000, 0x0000, 0xC000000000000046ULL);
inline constexpr Guid IID_IObjectSafety = makeGuid(0xCB5BDC81, 0x93C1, 0x11CF, 0x8F2000805F2CD064ULL);

class IUnknown {
public:
    virtual ~IUnknown() = default;
    // S_OK with `*object` pointing at this object as interface `iid` (the
    // pointer converts back only to that interface's class), or
    // E_NOINTERFACE with `*object` null.
    virtual HRESULT QueryInterface(const Guid& iid, void** object) = 0;
};

// QueryInterface with the cast back done once: null when `iid` is not answered.
template <class Interface>
Interface* queryInterface(IUnknown& object, const Guid& iid) {
    void* found = nullptr;
    return succeeded(object.QueryInterface(iid, &found)) ? static_cast<Interface*>(found) : nullptr;
}

// Option bits of object safety.
inline constexpr uint32_t INTERFACESAFE_FOR_UNTRUSTED_CALLER = 1;  // safe for scripting
inline constexpr uint32_t INTERFACESAFE_FOR_UNTRUSTED_DATA = 2;    // safe for initialising

// What an object claims about being driven by untrusted script and
// initialised from untrusted data, per interface. A null `riid` asks about
// no interface in particular.
class IObjectSafety {
public:
    virtual ~IObjectSafety() = default;
    virtual HRESULT GetInterfaceSafetyOptions(const Guid* riid, uint32_t* supported, uint32_t* enabled) = 0;
    virtual HRESULT SetInterfaceSafetyOptions(const Guid* riid, uint32_t optionSetMask, uint32_t enabledOptions) = 0;
};

// Persistence through the container's property bag: a new instance, loading
// and saving.
class IPersistPropertyBag {
public:
    virtual ~IPersistPropertyBag() = default;
    virtual HRESULT InitNew() = 0;
    virtual HRESULT Load(const PropertyBag& bag) = 0;
    virtual HRESULT Save(PropertyBag& bag) = 0;
};

}  // namespace orrery::automation
