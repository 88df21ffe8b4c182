// The class registry reader and the GUID parser on arbitrary bytes: the text
// reads back as it was, a parsed GUID prints and parses to itself, and
// registering over any registry leaves the library's classes findable and
// unregistering removes them again.
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "control/registration.h"
#include "orrery/class_ids.h"
#include "platform/automation/class_registry.h"

using namespace orrery;
using namespace orrery::automation;

namespace {

// A private configuration folder for the whole run, removed at exit.
const std::string& registryFile() {
    static char folder[] = "/tmp/orrery-registry-fuzz-XXXXXX";
    static const std::string path = [] {
        if (!mkdtemp(folder)) std::abort();
        setenv("XDG_CONFIG_HOME", folder, 1);
        std::atexit([] {
            std::error_code ignored;
            std::filesystem::remove_all(folder, ignored);
        });
        return classRegistryPath();
    }();
    return path;
}

void checkText(const std::string& text) {
    std::string expected = text;
    if (!expected.empty() && expected.back() != '\n') expected += '\n';
    if (RegistryText::parse(text).text() != expected) std::abort();
}

void checkGuid(const std::string& text) {
    const std::optional<Guid> guid = Guid::parse(text);
    if (guid && Guid::parse(guid->toString()) != guid) std::abort();
}

void checkRegistration(const std::string& text) {
    if (text.size() > RegistryText::kMaxBytes) return;
    const std::string& path = registryFile();
    if (control::registerServer("/lib/liborreryctl.so") != S_OK) std::abort();  // makes the folder
    std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
    Guid clsid;
    control::classIdFromProgId("OrreryCtl.OrreryCnt", clsid);
    if (control::registerServer("/lib/liborreryctl.so") != S_OK) std::abort();
    if (control::classIdFromProgId("orreryctl.dummy", clsid) != S_OK || clsid != CLSID_dummy) std::abort();
    if (control::unregisterServer() != S_OK) std::abort();
    if (control::classIdFromProgId("OrreryCtl.Orrery", clsid) != CO_E_CLASSSTRING) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    checkText(text);
    checkGuid(text);
    checkRegistration(text);
    return 0;
}
