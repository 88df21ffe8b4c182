#include "tools/orrery/object_commands.h"

#include <dlfcn.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>

#include "tools/orrery/command_line.h"
#include "tools/orrery/created_object.h"
#include "tools/orrery/script.h"

namespace orrery::tool {

namespace {

constexpr Option kProgIdOption[] = {{"--progid", true}};

std::string progIdOf(const Arguments& args) {
    const std::string* v = args.value("--progid");
    return v ? *v : std::string();
}

// The shared library installed or built beside this program.
std::string defaultLibrary() {
    std::error_code error;
    const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error) return "liborreryctl.so";
    return (self.parent_path() / "liborreryctl.so").string();
}

}  // namespace

int runCommand(const std::vector<std::string>& words) {
    Arguments args;
    if (!args.parse(words, kProgIdOption)) return usageError(args.error());
    if (args.operands().size() != 1) return usageError("run takes one SCRIPT");
    const std::string& path = args.operands()[0];
    if (path == "-") return runScript(std::cin, std::cout, progIdOf(args));
    std::ifstream script(path);
    if (!script) {
        std::fprintf(stderr, "orrery: cannot read %s\n", path.c_str());
        return 1;
    }
    return runScript(script, std::cout, progIdOf(args));
}

int membersCommand(const std::vector<std::string>& words) {
    Arguments args;
    if (!args.parse(words, kProgIdOption)) return usageError(args.error());
    if (!args.operands().empty()) return usageError("members takes no operand");
    return printMembers(std::cout, progIdOf(args));
}

int registrationCommand(const std::vector<std::string>& words, bool unregister) {
    Arguments args;
    if (!args.parse(words, {})) return usageError(args.error());
    if (args.operands().size() > 1) return usageError("register and unregister take at most one LIBRARY");
    const std::string library = args.operands().empty() ? defaultLibrary() : args.operands()[0];
    void* handle = ::dlopen(library.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
        std::fprintf(stderr, "orrery: cannot load %s: %s\n", library.c_str(), ::dlerror());
        return 1;
    }
    const char* entry = unregister ? "DllUnregisterServer" : "DllRegisterServer";
    using EntryPoint = int32_t (*)();
    const auto call = reinterpret_cast<EntryPoint>(::dlsym(handle, entry));
    int code = 1;
    if (!call) {
        std::fprintf(stderr, "orrery: %s has no %s\n", library.c_str(), entry);
    } else {
        const int32_t hr = call();
        std::printf("%s %s: %s\n", entry, library.c_str(), resultCode(hr).c_str());
        code = hr == 0 ? 0 : 1;
    }
    ::dlclose(handle);
    return code;
}

}  // namespace orrery::tool
