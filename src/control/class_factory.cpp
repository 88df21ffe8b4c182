#include "control/class_factory.h"

#include <atomic>
#include <iterator>

#include "control/control_class.h"
#include "control/dummy.h"
#include "platform/automation/object_safety.h"

namespace orrery::control {

using namespace automation;

namespace {

// Objects and locks of the whole process: a library is loaded once for all
// threads.
std::atomic<int> liveObjects{0};
std::atomic<int> serverLocks{0};

template <class Control>
std::unique_ptr<automation::IUnknown> createControl(window::WindowBackend& backend) {
    return std::make_unique<Control>(backend);
}

std::unique_ptr<automation::IUnknown> createDummy(window::WindowBackend&) { return std::make_unique<dummy>(); }

const CreatableClass kClasses[] = {
    {"Orrery Control", "OrreryCtl.Orrery", CLSID_Orrery, IID__Orrery, &DIID___Orrery, true, createControl<Orrery>},
    {"OrreryCnt Control", "OrreryCtl.OrreryCnt", CLSID_OrreryCnt, IID__OrreryCnt, &DIID___OrreryCnt, true,
     createControl<OrreryCnt>},
    {"dummy", "OrreryCtl.dummy", CLSID_dummy, IID__dummy, nullptr, false, createDummy},
};

class ClassFactory final : public automation::IUnknown, public IClassFactory {
public:
    explicit ClassFactory(const CreatableClass& c) : class_(c) {}
    const Guid& clsid() const { return class_.clsid; }

    HRESULT QueryInterface(const Guid& iid, void** object) override {
        if (!object) return E_INVALIDARG;
        *object = nullptr;
        if (iid == IID_IUnknown) *object = static_cast<automation::IUnknown*>(this);
        else if (iid == IID_IClassFactory) *object = static_cast<IClassFactory*>(this);
        return *object ? S_OK : E_NOINTERFACE;
    }

    HRESULT CreateInstance(automation::IUnknown* outer, window::WindowBackend& backend, const Guid& iid,
                           std::unique_ptr<automation::IUnknown>& object) override {
        object.reset();
        if (outer) return CLASS_E_NOAGGREGATION;
        std::unique_ptr<automation::IUnknown> made = class_.create(backend);
        void* answered = nullptr;
        if (HRESULT hr = made->QueryInterface(iid, &answered); failed(hr)) return hr;
        object = std::move(made);
        return S_OK;
    }

    HRESULT LockServer(bool lock) override {
        if (lock) ++serverLocks;
        else if (serverLocks.load() > 0) --serverLocks;
        return S_OK;
    }

private:
    const CreatableClass& class_;
};

}  // namespace

std::span<const CreatableClass> creatableClasses() { return kClasses; }

ServerObject::ServerObject() {
    threadSafetyFlags();
    ++liveObjects;
}

ServerObject::~ServerObject() { --liveObjects; }

HRESULT getClassObject(const Guid& clsid, const Guid& iid, void** factory) {
    if (!factory) return E_INVALIDARG;
    *factory = nullptr;
    threadSafetyFlags();
    static_assert(std::size(kClasses) == 3, "one factory a class");
    static ClassFactory factories[] = {ClassFactory(kClasses[0]), ClassFactory(kClasses[1]),
                                       ClassFactory(kClasses[2])};
    for (ClassFactory& f : factories)
        if (f.clsid() == clsid) return f.QueryInterface(iid, factory);
    return CLASS_E_CLASSNOTAVAILABLE;
}

HRESULT createInstance(const Guid& clsid, window::WindowBackend& backend, const Guid& iid,
                       std::unique_ptr<automation::IUnknown>& object) {
    object.reset();
    void* found = nullptr;
    if (HRESULT hr = getClassObject(clsid, IID_IClassFactory, &found); failed(hr)) return hr;
    return static_cast<IClassFactory*>(found)->CreateInstance(nullptr, backend, iid, object);
}

HRESULT canUnloadNow() { return liveObjects.load() == 0 && serverLocks.load() == 0 ? S_OK : S_FALSE; }

}  // namespace orrery::control
