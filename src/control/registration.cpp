#include "control/registration.h"

#include <algorithm>

#include "platform/automation/class_registry.h"

namespace orrery::control {

using namespace automation;

namespace {

std::string classRoot(const Guid& clsid) { return "CLSID\\" + clsid.toString(); }

// False when the registry held none of the library's entries.
bool removeEntries(RegistryText& registry) {
    bool removed = false;
    for (const CreatableClass& c : creatableClasses()) {
        removed |= registry.removeTree(classRoot(c.clsid));
        removed |= registry.removeTree(c.progId);
    }
    return removed;
}

HRESULT classIdIn(const RegistryText& registry, std::string_view progId, Guid& clsid) {
    const std::optional<std::string> text =
        progId.empty() ? std::nullopt : registry.value(std::string(progId) + "\\CLSID");
    const std::optional<Guid> parsed = text ? Guid::parse(*text) : std::nullopt;
    if (!parsed) return CO_E_CLASSSTRING;
    clsid = *parsed;
    return S_OK;
}

void addEntries(RegistryText& registry, const CreatableClass& c, const std::string& libraryPath) {
    const std::string root = classRoot(c.clsid);
    registry.add(root, c.name);
    registry.add(root + "\\ProgID", c.progId);
    registry.add(root + "\\InprocServer32", libraryPath);
    registry.add(root + "\\InprocServer32\\ThreadingModel", "Apartment");
    if (c.isControl) registry.add(root + "\\Control", "");
    registry.add(root + "\\DispatchInterface", c.dispatchIid.toString());
    if (c.eventsIid) registry.add(root + "\\EventInterface", c.eventsIid->toString());
    registry.add(root + "\\TypeLib", LIBID_OrreryCtl.toString());
    registry.add(root + "\\Version", kTypeDescriptionVersion);
    registry.add(c.progId, c.name);
    registry.add(std::string(c.progId) + "\\CLSID", c.clsid.toString());
}

bool fitsOneLine(const std::string& text) {
    return !text.empty() && std::none_of(text.begin(), text.end(), [](char ch) {
        return static_cast<unsigned char>(ch) < 0x20 || ch == 0x7F;
    });
}

}  // namespace

HRESULT registerServer(const std::string& libraryPath) {
    if (!fitsOneLine(libraryPath)) return SELFREG_E_CLASS;
    const HRESULT hr = editClassRegistry([&libraryPath](RegistryText& registry) {
        removeEntries(registry);
        for (const CreatableClass& c : creatableClasses()) addEntries(registry, c, libraryPath);
        return true;
    });
    return succeeded(hr) ? S_OK : SELFREG_E_CLASS;
}

HRESULT unregisterServer() {
    const HRESULT hr = editClassRegistry([](RegistryText& registry) {
        return removeEntries(registry);
    });
    return succeeded(hr) ? S_OK : SELFREG_E_CLASS;
}

HRESULT classIdFromProgId(std::string_view progId, Guid& clsid) {
    RegistryText registry;
    if (failed(readClassRegistry(registry))) return CO_E_CLASSSTRING;
    return classIdIn(registry, progId, clsid);
}

HRESULT createByProgId(std::string_view progId, window::WindowBackend& backend, const Guid& iid,
                       std::unique_ptr<automation::IUnknown>& object) {
    object.reset();
    RegistryText registry;
    if (failed(readClassRegistry(registry))) return CO_E_CLASSSTRING;
    Guid clsid;
    if (HRESULT hr = classIdIn(registry, progId, clsid); failed(hr)) return hr;
    if (!registry.value(classRoot(clsid) + "\\InprocServer32")) return REGDB_E_CLASSNOTREG;
    return createInstance(clsid, backend, iid, object);
}

}  // namespace orrery::control
