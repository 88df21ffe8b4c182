// liborreryctl.so as a host loads it: by path with dlopen, its four entry
// points found by name.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>

#include "control/class_factory.h"
#include "orrery/class_ids.h"
#include "platform/automation/dispatch.h"
#include "platform/automation/object_safety.h"
#include "orrery/window/headless_backend.h"
#include "platform/window/control_window.h"
#include "support/test_support.h"

using namespace orrery;
using namespace orrery::automation;

namespace {

using Register = int32_t (*)();
using GetClassObject = int32_t (*)(const Guid*, const Guid*, void**);

class ServerLibrary : public ::testing::Test {
protected:
    void SetUp() override {
        setenv("XDG_CONFIG_HOME", config.path().c_str(), 1);
        library = dlopen(ORRERY_SERVER_LIBRARY, RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(library, nullptr) << dlerror();
    }
    void TearDown() override {
        if (library) dlclose(library);
        unsetenv("XDG_CONFIG_HOME");
    }
    template <class F>
    F entry(const char* name) {
        return reinterpret_cast<F>(dlsym(library, name));
    }
    std::string registryText() const {
        std::ifstream in(config.path() / "orreryctl" / "registry");
        return std::string(std::istreambuf_iterator<char>(in), {});
    }

    test::TempDir config;
    void* library = nullptr;
};

}  // namespace

TEST_F(ServerLibrary, RegistersItselfAndServesItsClasses) {
    const auto registerServer = entry<Register>("DllRegisterServer");
    const auto unregisterServer = entry<Register>("DllUnregisterServer");
    const auto getClassObject = entry<GetClassObject>("DllGetClassObject");
    const auto canUnloadNow = entry<Register>("DllCanUnloadNow");
    ASSERT_NE(registerServer, nullptr);
    ASSERT_NE(unregisterServer, nullptr);
    ASSERT_NE(getClassObject, nullptr);
    ASSERT_NE(canUnloadNow, nullptr);

    ASSERT_EQ(registerServer(), S_OK);
    char real[PATH_MAX];
    ASSERT_NE(realpath(ORRERY_SERVER_LIBRARY, real), nullptr);
    std::string serverLine = "\\InprocServer32 = ";
    serverLine.append(real).append("\n");
    EXPECT_NE(registryText().find(serverLine), std::string::npos);

    EXPECT_EQ(canUnloadNow(), S_OK);
    void* found = nullptr;
    EXPECT_EQ(getClassObject(&IID_IDispatch, &IID_IClassFactory, &found), CLASS_E_CLASSNOTAVAILABLE);
    EXPECT_EQ(getClassObject(nullptr, &IID_IClassFactory, &found), E_INVALIDARG);
    ASSERT_EQ(getClassObject(&CLSID_OrreryCnt, &IID_IClassFactory, &found), S_OK);
    auto* factory = static_cast<control::IClassFactory*>(found);
    window::HeadlessBackend backend;
    std::unique_ptr<IUnknown> control;
    ASSERT_EQ(factory->CreateInstance(nullptr, backend, IID__OrreryCnt, control), S_OK);
    EXPECT_EQ(canUnloadNow(), S_FALSE);
    // The library's own safety, reached through the object's virtual calls.
    void* safety = nullptr;
    ASSERT_EQ(control->QueryInterface(IID_IObjectSafety, &safety), S_OK);
    uint32_t supported = 0, enabled = 0;
    EXPECT_EQ(static_cast<IObjectSafety*>(safety)->GetInterfaceSafetyOptions(&IID_IDispatch, &supported, &enabled),
              S_OK);
    EXPECT_EQ(enabled, 1u);
    void* dispatch = nullptr;
    ASSERT_EQ(control->QueryInterface(IID_IDispatch, &dispatch), S_OK);
    DISPID id = 0;
    EXPECT_EQ(static_cast<IDispatch*>(dispatch)->GetIDsOfNames("GetnativePDF", id), DISP_E_UNKNOWNNAME);
    EXPECT_EQ(static_cast<IDispatch*>(dispatch)->GetIDsOfNames("ZoomIN", id), S_OK);

    control.reset();
    EXPECT_EQ(canUnloadNow(), S_OK);
    factory->LockServer(true);
    EXPECT_EQ(canUnloadNow(), S_FALSE);
    factory->LockServer(false);
    EXPECT_EQ(canUnloadNow(), S_OK);

    ASSERT_EQ(unregisterServer(), S_OK);
    EXPECT_EQ(registryText(), "");
}
