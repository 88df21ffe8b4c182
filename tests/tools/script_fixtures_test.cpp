// Script fixtures: each folder of tests/scripts holds a script for
// `orrery run` and the output it must give, event by event. "@CORPUS@" in a
// script stands for the real-world corpus folder; a fixture that uses it is
// skipped when the corpus is absent.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "support/test_support.h"
#include "support/tool_runner.h"

namespace fs = std::filesystem;

namespace {

const fs::path kFixtures = fs::path(ORRERY_TEST_DATA_DIR).parent_path() / "scripts";

std::vector<std::string> fixtureNames() {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(kFixtures))
        if (entry.is_directory()) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

std::string replaceAll(std::string text, const std::string& from, const std::string& to) {
    for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
    return text;
}

class ScriptFixture : public ::testing::TestWithParam<std::string> {};

}  // namespace

TEST_P(ScriptFixture, GivesTheExpectedRecord) {
    const fs::path folder = kFixtures / GetParam();
    std::string script = orrery::test::readText(folder / "script.txt");
    if (script.find("@CORPUS@") != std::string::npos) {
        ORRERY_REQUIRE_CORPUS();
        script = replaceAll(script, "@CORPUS@", std::string(ORRERY_CORPUS_DIR));
    }
    orrery::test::TempDir work;
    orrery::test::writeFile(work.file("script.txt"), std::vector<uint8_t>(script.begin(), script.end()));
    setenv("ORRERY_CODEC_PLUGIN", "none", 1);
    const orrery::test::ToolRun run = orrery::test::runTool(ORRERY_TOOL_PATH, work.path(), {"run", "script.txt"});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    const std::string expected =
        replaceAll(orrery::test::readText(folder / "expected.txt"), "@CORPUS@", std::string(ORRERY_CORPUS_DIR));
    EXPECT_EQ(run.out, expected);
}

INSTANTIATE_TEST_SUITE_P(Scripts, ScriptFixture, ::testing::ValuesIn(fixtureNames()),
                         [](const auto& info) { return info.param; });
