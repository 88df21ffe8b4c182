// Self-registration into the class registry of a temporary configuration
// folder, creation by program identifier, and registries that are foreign,
// corrupt, binary, huge or unwritable.
#include "control/registration.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>

#include "control/orrery.h"
#include "platform/automation/class_registry.h"
#include "orrery/window/headless_backend.h"
#include "platform/window/control_window.h"
#include "support/test_support.h"

namespace fs = std::filesystem;
using namespace orrery;
using namespace orrery::automation;

namespace {

const char* const kProgIds[] = {"OrreryCtl.Orrery", "OrreryCtl.OrreryCnt", "OrreryCtl.dummy"};
const std::string kLibrary = "/opt/orrery/lib/liborreryctl.so";

// Registry text built part by part.
std::string joined(std::initializer_list<std::string_view> parts) {
    std::string out;
    for (std::string_view part : parts) out.append(part);
    return out;
}

class Registration : public ::testing::Test {
protected:
    void SetUp() override {
        setenv("XDG_CONFIG_HOME", config.path().c_str(), 1);
        setenv("ORRERY_CODEC_PLUGIN", "none", 1);
    }
    void TearDown() override { unsetenv("XDG_CONFIG_HOME"); }

    fs::path registryFile() const { return config.path() / "orreryctl" / "registry"; }
    std::string registryText() const {
        std::ifstream in(registryFile(), std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    void writeRegistry(const std::string& text) {
        fs::create_directories(registryFile().parent_path());
        std::ofstream(registryFile(), std::ios::binary) << text;
    }
    HRESULT createBy(const std::string& progId) {
        object.reset();
        return control::createByProgId(progId, backend, IID_IDispatch, object);
    }

    test::TempDir config;
    window::HeadlessBackend backend;
    std::unique_ptr<IUnknown> object;
};

}  // namespace

TEST_F(Registration, RegisteredClassesAreCreatedByProgramIdentifierUntilUnregistered) {
    EXPECT_EQ(createBy("OrreryCtl.Orrery"), CO_E_CLASSSTRING);  // nothing registered yet
    ASSERT_EQ(control::registerServer(kLibrary), S_OK);
    const std::string text = registryText();
    EXPECT_NE(text.find(joined({"CLSID\\", CLSID_OrreryCnt.toString(), "\\InprocServer32 = ", kLibrary, "\n"})),
              std::string::npos);
    EXPECT_NE(text.find(joined({"CLSID\\", CLSID_Orrery.toString(), "\\InprocServer32\\ThreadingModel = Apartment\n"})),
              std::string::npos);
    EXPECT_NE(text.find(joined({"OrreryCtl.dummy\\CLSID = ", CLSID_dummy.toString(), "\n"})), std::string::npos);
    EXPECT_NE(text.find(joined({"CLSID\\", CLSID_Orrery.toString(), "\\EventInterface = ", DIID___Orrery.toString()})),
              std::string::npos);
    EXPECT_EQ(text.find(joined({"CLSID\\", CLSID_dummy.toString(), "\\Control"})), std::string::npos);

    for (const char* progId : kProgIds) {
        ASSERT_EQ(createBy(progId), S_OK) << progId;
        auto* dispatch = queryInterface<IDispatch>(*object, IID_IDispatch);
        ASSERT_NE(dispatch, nullptr);
        EXPECT_EQ(dispatch->typeDescription()->name(), joined({"_", std::string_view(progId).substr(10)}));
    }
    Guid clsid;
    ASSERT_EQ(control::classIdFromProgId("orreryctl.orrerycnt", clsid), S_OK);  // case is ignored
    EXPECT_EQ(clsid, CLSID_OrreryCnt);

    ASSERT_EQ(control::unregisterServer(), S_OK);
    EXPECT_EQ(registryText(), "");
    for (const char* progId : kProgIds) EXPECT_EQ(createBy(progId), CO_E_CLASSSTRING) << progId;
    EXPECT_EQ(control::unregisterServer(), S_OK);  // nothing left to remove
    EXPECT_EQ(createBy(""), CO_E_CLASSSTRING);
}

TEST_F(Registration, RegisteringTwiceKeepsOneCopyAndForeignLinesVerbatim) {
    const std::string foreign =
        "# kept by another library\n"
        "CLSID\\{11111111-2222-3333-4444-555555555555}\\InprocServer32 = /usr/lib/libother.so\n"
        "this line has no key\n"
        " = a value without a key\n"
        "OrreryCtl.Orrery.Old\\CLSID = {11111111-2222-3333-4444-555555555555}\n"
        "\x01\x02\xff binary \xfe\n"
        "\n"
        "spaced   =   value  \r\n";
    writeRegistry(foreign);
    ASSERT_EQ(control::registerServer(kLibrary), S_OK);
    const std::string once = registryText();
    ASSERT_EQ(once.substr(0, foreign.size()), foreign);
    ASSERT_EQ(control::registerServer(kLibrary), S_OK);
    EXPECT_EQ(registryText(), once);
    ASSERT_EQ(control::registerServer("/elsewhere/liborreryctl.so"), S_OK);
    EXPECT_EQ(registryText().find(kLibrary), std::string::npos);

    ASSERT_EQ(control::unregisterServer(), S_OK);
    EXPECT_EQ(registryText(), foreign);
    // A foreign class is found, but this library serves only its own.
    EXPECT_EQ(createBy("OrreryCtl.Orrery.Old"), CLASS_E_CLASSNOTAVAILABLE);
}

TEST_F(Registration, BrokenEntriesNameNothing) {
    writeRegistry(joined({"OrreryCtl.Orrery\\CLSID = {A53AFB74-7CE4-4F13-9D26-6025A13074E}\n"
                          "OrreryCtl.OrreryCnt\\CLSID = ",
                          CLSID_OrreryCnt.toString(),
                          "\nOrreryCtl.dummy\\CLSID = {4252958C-4866-47F7-9B5B-8EFC75C5E7AG}\n"}));
    EXPECT_EQ(createBy("OrreryCtl.Orrery"), CO_E_CLASSSTRING);
    EXPECT_EQ(createBy("OrreryCtl.dummy"), CO_E_CLASSSTRING);
    // A program identifier whose class has no server entry.
    EXPECT_EQ(createBy("OrreryCtl.OrreryCnt"), REGDB_E_CLASSNOTREG);

    // A registry that is not a text at all, or a truncated one.
    writeRegistry(std::string("\0\0\0OrreryCtl.Orrery\\CLSID\0 = \xff", 30));
    EXPECT_EQ(createBy("OrreryCtl.Orrery"), CO_E_CLASSSTRING);
    ASSERT_EQ(control::registerServer(kLibrary), S_OK);
    writeRegistry(registryText().substr(0, registryText().find("OrreryCtl.OrreryCnt\\CLSID") + 30));
    EXPECT_EQ(createBy("OrreryCtl.Orrery"), S_OK);
    EXPECT_EQ(createBy("OrreryCtl.OrreryCnt"), CO_E_CLASSSTRING);
}

TEST_F(Registration, AHugeRegistryIsRefusedUntouched) {
    std::string huge(RegistryText::kMaxBytes + 1, 'x');
    huge += joined({"\nOrreryCtl.Orrery\\CLSID = ", CLSID_Orrery.toString(), "\n"});
    writeRegistry(huge);
    EXPECT_EQ(control::registerServer(kLibrary), SELFREG_E_CLASS);
    EXPECT_EQ(control::unregisterServer(), SELFREG_E_CLASS);
    EXPECT_EQ(registryText(), huge);
    EXPECT_EQ(createBy("OrreryCtl.Orrery"), CO_E_CLASSSTRING);
}

TEST_F(Registration, AConfigurationPathThatIsNoFolderOrABadLibraryPathWritesNothing) {
    // A configuration "folder" that is a file cannot hold a registry.
    const fs::path plain = config.file("plain");
    std::ofstream(plain) << "not a folder";
    setenv("XDG_CONFIG_HOME", plain.c_str(), 1);
    EXPECT_EQ(control::registerServer(kLibrary), SELFREG_E_CLASS);
    setenv("XDG_CONFIG_HOME", config.path().c_str(), 1);

    // A path that would break the one-line form is refused before anything is written.
    EXPECT_EQ(control::registerServer("/lib/a\nCLSID\\x = y"), SELFREG_E_CLASS);
    EXPECT_EQ(control::registerServer(""), SELFREG_E_CLASS);
    EXPECT_FALSE(fs::exists(registryFile()));
}

TEST_F(Registration, AReadOnlyFolderGivesSelfRegClassAndLeavesTheRegistry) {
    if (geteuid() == 0) GTEST_SKIP() << "permissions do not stop the superuser";
    writeRegistry("foreign = kept\n");
    ASSERT_EQ(chmod(registryFile().parent_path().c_str(), 0555), 0);
    EXPECT_EQ(control::registerServer(kLibrary), SELFREG_E_CLASS);
    chmod(registryFile().parent_path().c_str(), 0755);
    EXPECT_EQ(registryText(), "foreign = kept\n");
}

TEST(ClassRegistryPath, FollowsTheConfigurationFolder) {
    setenv("XDG_CONFIG_HOME", "/somewhere/config", 1);
    EXPECT_EQ(classRegistryPath(), "/somewhere/config/orreryctl/registry");
    setenv("XDG_CONFIG_HOME", "relative/ignored", 1);
    setenv("HOME", "/home/user", 1);
    EXPECT_EQ(classRegistryPath(), "/home/user/.config/orreryctl/registry");
    unsetenv("XDG_CONFIG_HOME");
    EXPECT_EQ(classRegistryPath(), "/home/user/.config/orreryctl/registry");
}
