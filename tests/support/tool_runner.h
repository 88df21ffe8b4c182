// Runs a built program of the project as a child process, the way a user
// runs it: in a folder of the test's, with its output captured.
#pragma once
#include <filesystem>
#include <string>
#include <vector>

namespace orrery::test {

struct ToolRun {
    int exitCode = -1;  // -1 when the program could not run or did not exit
    std::string out, err;
};

// Runs `program ARGS...` with `folder` as the working folder, so that
// operands may be bare names. Standard output and error are kept in files
// of that folder while it runs.
ToolRun runTool(const std::string& program, const std::filesystem::path& folder,
                const std::vector<std::string>& args);

std::string readText(const std::filesystem::path& path);

}  // namespace orrery::test
