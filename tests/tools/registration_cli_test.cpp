// `orrery register`, `unregister`, `--progid` and the script's safety lines
// as users run them, in a configuration folder of the test's.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "support/test_support.h"
#include "support/tool_runner.h"

namespace fs = std::filesystem;
using orrery::test::ToolRun;

namespace {

class RegistrationCli : public ::testing::Test {
protected:
    void SetUp() override { setenv("XDG_CONFIG_HOME", (folder.path() / "config").c_str(), 1); }
    void TearDown() override { unsetenv("XDG_CONFIG_HOME"); }

    ToolRun orrery(const std::vector<std::string>& args) {
        return orrery::test::runTool(ORRERY_TOOL_PATH, folder.path(), args);
    }
    ToolRun script(const std::string& progId, const std::string& lines) {
        std::ofstream(folder.file("lines.txt")) << lines;
        return orrery({"run", "--progid", progId, "lines.txt"});
    }

    orrery::test::TempDir folder;
};

}  // namespace

TEST_F(RegistrationCli, RegisterRunByProgramIdentifierAndUnregister) {
    ToolRun r = script("OrreryCtl.OrreryCnt", "call ZoomIN\n");
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.out, "cannot create OrreryCtl.OrreryCnt: 0x800401F3\n");

    r = orrery({"register"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find("DllRegisterServer "), std::string::npos);
    EXPECT_NE(r.out.find("liborreryctl.so: 0x00000000"), std::string::npos);

    r = script("OrreryCtl.OrreryCnt",
               "safety get IDispatch\n"
               "safety get IPersistPropertyBag\n"
               "safety set IDispatch 1 1\n"
               "safety set IDispatch 3 3\n"
               "safety set IPersistStream 2 0\n"
               "safety get {00000000-0000-0000-C000-000000000046}\n"
               "call GetnativePDF\n");
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.out,
              "1: safety get IDispatch\n  supported 3 enabled 1 result 0x00000000\n"
              "2: safety get IPersistPropertyBag\n  supported 3 enabled 2 result 0x00000000\n"
              "3: safety set IDispatch 1 1\n  result 0x00000000\n"
              "4: safety set IDispatch 3 3\n  result 0x80004005\n"
              "5: safety set IPersistStream 2 0\n  result 0x80004005\n"
              "6: safety get {00000000-0000-0000-C000-000000000046}\n  supported 3 enabled 0 result 0x80004002\n"
              "7: call GetnativePDF\n  GetnativePDF failed: 0x80020006\n");

    r = script("OrreryCtl.Orrery", "safety get IPersistStream\ncall SetZoom 50\n");
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, "1: safety get IPersistStream\n  supported 3 enabled 2 result 0x00000000\n"
                     "2: call SetZoom 50\n  SetZoom = 0\n");

    // dummy: no members, no window, no safety.
    r = script("OrreryCtl.dummy", "call ZoomIN\nsize 100 100\nsafety get IDispatch\nsafety get\n");
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.out, "1: call ZoomIN\n  ZoomIN failed: 0x80020006\n"
                     "2: size 100 100\n  size needs a control: this object has no window\n"
                     "3: safety get IDispatch\n  no object safety: 0x80004002\n"
                     "4: safety get\n  cannot read this line\n");

    r = orrery({"members", "--progid", "OrreryCtl.dummy"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, "");
    // OrreryCnt lists Orrery's members and events less GetnativePDF.
    std::string orreryMembers = orrery({"members", "--progid", "OrreryCtl.Orrery"}).out;
    const std::string cntMembers = orrery({"members", "--progid", "OrreryCtl.OrreryCnt"}).out;
    EXPECT_EQ(orreryMembers, orrery({"members"}).out);
    EXPECT_GT(cntMembers.size(), 1000u);
    if (const size_t at = orreryMembers.find(" GetnativePDF"); at != std::string::npos)
        orreryMembers.erase(orreryMembers.rfind('\n', at) + 1, orreryMembers.find('\n', at) - orreryMembers.rfind('\n', at));
    EXPECT_EQ(cntMembers, orreryMembers);

    r = orrery({"unregister"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    r = orrery({"members", "--progid", "OrreryCtl.dummy"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.out, "cannot create OrreryCtl.dummy: 0x800401F3\n");
}

TEST_F(RegistrationCli, ALibraryThatCannotBeLoadedOrWrittenFails) {
    ToolRun r = orrery({"register", "no-such-library.so"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("cannot load no-such-library.so"), std::string::npos);

    std::ofstream(folder.path() / "config") << "a file where the folder should be";
    r = orrery({"register"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.out.find(": 0x80040201"), std::string::npos);
    EXPECT_EQ(orrery({"register", "a", "b"}).exitCode, 2);
    EXPECT_EQ(orrery({"run", "--progid"}).exitCode, 2);
}
