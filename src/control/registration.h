// Self-registration and creation by program identifier through the class
// registry (platform/automation/class_registry.h).
#pragma once
#include <memory>
#include <string>
#include <string_view>

#include "control/class_factory.h"

namespace orrery::control {

// Writes Orrery, OrreryCnt and dummy into the registry with `libraryPath` as
// their server: class and program identifiers, name, threading model, the
// control flag, dispatch and event interfaces, type description and version.
// Registering again replaces the library's entries and keeps every other
// line. SELFREG_E_CLASS when the registry cannot be written (or the path
// cannot be kept on one line); the registry is then untouched.
automation::HRESULT registerServer(const std::string& libraryPath);
// Removes the library's entries only: S_OK also when there were none.
automation::HRESULT unregisterServer();

// The class identifier registered for `progId`: CO_E_CLASSSTRING for an
// unknown program identifier or one whose class identifier does not parse.
automation::HRESULT classIdFromProgId(std::string_view progId, Guid& clsid);
// Creates the class registered under `progId` through its factory:
// CO_E_CLASSSTRING as above, REGDB_E_CLASSNOTREG when the class has no
// server entry, otherwise what the factory answers.
automation::HRESULT createByProgId(std::string_view progId, window::WindowBackend& backend, const Guid& iid,
                                   std::unique_ptr<automation::IUnknown>& object);

}  // namespace orrery::control
