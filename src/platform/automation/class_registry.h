// The class registry: where hosts find a class by its program identifier and
// its class identifier. A text file in the user's configuration folder,
// $XDG_CONFIG_HOME/orreryctl/registry (default ~/.config), one value a line:
//
//     CLSID\{A53AFB74-7CE4-4F13-9D26-6025A13074E4}\ProgID = OrreryCtl.Orrery
//
// the key a path of names joined by '\' (found whatever its case), then " = "
// and the value. Lines that do not read so are kept as they are, and so are
// the entries of other libraries: a library edits only the keys it owns.
#pragma once
#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "orrery/automation/hresult.h"

namespace orrery::automation {

class RegistryText {
public:
    // A file larger than this is refused unread.
    static constexpr size_t kMaxBytes = 1 << 20;

    // Never fails: a line without a key and " = " is kept as foreign text.
    static RegistryText parse(std::string_view text);
    std::string text() const;

    // The value of the first line with this key, if any.
    std::optional<std::string> value(std::string_view key) const;
    void add(std::string key, std::string value);
    // Removes the values whose key is `root` or lies under it; false when
    // there were none.
    bool removeTree(std::string_view root);
    size_t lineCount() const { return lines_.size(); }

private:
    struct Line {
        std::string raw;  // the line as read or written, kept verbatim
        std::string key;  // empty for a line that does not read as a value
        std::string value;
    };
    std::vector<Line> lines_;
};

// The registry file of this user.
std::string classRegistryPath();

// Reads the registry. A missing file reads as empty (S_OK); a file that
// cannot be read or is larger than RegistryText::kMaxBytes gives E_FAIL.
HRESULT readClassRegistry(RegistryText& out);

// Reads, edits and writes the registry under an exclusive lock on its
// folder's lock file, writing a temporary file that then replaces the
// registry, so that readers see the old or the new text, never a part.
// E_FAIL when the folder cannot be made or written or the registry cannot be
// read; the registry is then as it was. `edit` returns whether it changed
// anything: nothing is written when it did not.
HRESULT editClassRegistry(const std::function<bool(RegistryText&)>& edit);

}  // namespace orrery::automation
