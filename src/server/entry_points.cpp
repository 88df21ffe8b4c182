#include "orrery/server.h"

#include <dlfcn.h>
#include <limits.h>

#include <cstdlib>
#include <string>

#include "control/class_factory.h"
#include "control/registration.h"

using namespace orrery;

namespace {

// The file this code was loaded from: the shared library, or the program
// that links the library statically.
std::string ownLibraryPath() {
    Dl_info info{};
    if (::dladdr(reinterpret_cast<void*>(&DllRegisterServer), &info) == 0 || !info.dli_fname) return {};
    char absolute[PATH_MAX];
    return ::realpath(info.dli_fname, absolute) ? std::string(absolute) : std::string();
}

}  // namespace

extern "C" {

int32_t DllRegisterServer() { return control::registerServer(ownLibraryPath()); }

int32_t DllUnregisterServer() { return control::unregisterServer(); }

int32_t DllGetClassObject(const Guid* clsid, const Guid* iid, void** object) {
    if (!clsid || !iid) {
        if (object) *object = nullptr;
        return automation::E_INVALIDARG;
    }
    return control::getClassObject(*clsid, *iid, object);
}

int32_t DllCanUnloadNow() { return control::canUnloadNow(); }

}
