// The in-process server: a class factory for each creatable class (Orrery,
// OrreryCnt and dummy), the count of live objects and server locks that
// decides whether the library may be unloaded, and the bodies of the
// DllGetClassObject and DllCanUnloadNow entry points. Factories work without
// registration, as an in-process server's do.
#pragma once
#include <memory>
#include <span>

#include "orrery/class_ids.h"
#include "orrery/automation/interfaces.h"

namespace orrery::window {
class WindowBackend;
}

namespace orrery::control {

class IClassFactory {
public:
    virtual ~IClassFactory() = default;
    // A new instance whose window (if the class has one) lives on `backend`,
    // owned by `object` when it answers `iid`. An `outer` object:
    // CLASS_E_NOAGGREGATION; an instance that does not answer `iid`:
    // E_NOINTERFACE, and none is kept.
    virtual automation::HRESULT CreateInstance(automation::IUnknown* outer, window::WindowBackend& backend,
                                               const Guid& iid, std::unique_ptr<automation::IUnknown>& object) = 0;
    // Holds the server in memory (true) or releases one such hold (false).
    virtual automation::HRESULT LockServer(bool lock) = 0;
};

// What the registry and the factories know of a creatable class.
struct CreatableClass {
    const char* name;
    const char* progId;
    Guid clsid;
    Guid dispatchIid;
    const Guid* eventsIid;  // null for a class without events
    bool isControl;
    std::unique_ptr<automation::IUnknown> (*create)(window::WindowBackend& backend);
};
std::span<const CreatableClass> creatableClasses();

// Every object of the library holds one: it counts the live objects for
// canUnloadNow, and it runs the thread's start-up before the thread's first
// object exists.
class ServerObject {
public:
    ServerObject();
    ~ServerObject();
    ServerObject(const ServerObject&) : ServerObject() {}
    ServerObject& operator=(const ServerObject&) { return *this; }
};

// DllGetClassObject: the factory of `clsid` as interface `iid` (IClassFactory
// or IUnknown). CLASS_E_CLASSNOTAVAILABLE for a class the library does not
// serve, E_NOINTERFACE for another interface.
automation::HRESULT getClassObject(const Guid& clsid, const Guid& iid, void** factory);
// Creates an instance through the class's factory, as a host does.
automation::HRESULT createInstance(const Guid& clsid, window::WindowBackend& backend, const Guid& iid,
                                   std::unique_ptr<automation::IUnknown>& object);
// DllCanUnloadNow: S_OK when no object lives and no lock is held, else S_FALSE.
automation::HRESULT canUnloadNow();

}  // namespace orrery::control
