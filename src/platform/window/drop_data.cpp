#include "platform/window/drop_data.h"

#include <cctype>

#include "platform/kernel/files.h"
#include "platform/kernel/hex.h"

namespace orrery::window {

namespace {

// Percent-decoding; a malformed escape stays as it is written.
std::string percentDecoded(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size()) {
            const int high = kernel::hexDigitValue(text[i + 1]), low = kernel::hexDigitValue(text[i + 2]);
            if (high >= 0 && low >= 0) {
                out += static_cast<char>(high * 16 + low);
                i += 2;
                continue;
            }
        }
        out += text[i];
    }
    return out;
}

bool startsWithNoCase(std::string_view text, std::string_view prefix) {
    if (text.size() < prefix.size()) return false;
    for (size_t i = 0; i < prefix.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(text[i])) != prefix[i]) return false;
    return true;
}

}  // namespace

std::optional<std::string> localPathFromUri(std::string_view uri) {
    if (!startsWithNoCase(uri, "file:")) return std::nullopt;
    std::string_view rest = uri.substr(5);
    if (rest.substr(0, 2) == "//") {
        rest.remove_prefix(2);
        const size_t slash = rest.find('/');
        if (slash == std::string_view::npos) return std::nullopt;
        const std::string_view host = rest.substr(0, slash);
        const bool thisMachine = host.empty() || (host.size() == 9 && startsWithNoCase(host, "localhost"));
        if (!thisMachine) return std::nullopt;
        rest.remove_prefix(slash);
    }
    if (rest.empty() || rest.front() != '/') return std::nullopt;
    // A query or fragment is no part of a file's name.
    rest = rest.substr(0, rest.find_first_of("?#"));
    std::string path = percentDecoded(rest);
    if (path.find('\0') != std::string::npos) return std::nullopt;
    return path;
}

DropData dropDataFromUriList(std::string_view uriList) {
    DropData data;
    size_t start = 0;
    while (start <= uriList.size()) {
        size_t end = uriList.find('\n', start);
        if (end == std::string_view::npos) end = uriList.size();
        std::string_view line = uriList.substr(start, end - start);
        while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) line.remove_suffix(1);
        while (!line.empty() && line.front() == ' ') line.remove_prefix(1);
        if (!line.empty() && line.front() != '#') {
            if (std::optional<std::string> path = localPathFromUri(line)) data.files.push_back(std::move(*path));
        }
        start = end + 1;
    }
    data.hasFileList = !data.files.empty();
    return data;
}

DropData dropDataFromPaths(std::vector<std::string> paths) {
    DropData data;
    data.hasFileList = true;
    data.files = std::move(paths);
    return data;
}

std::vector<std::string> readableDroppedFiles(const std::vector<std::string>& paths) {
    std::vector<std::string> kept;
    for (const std::string& path : paths) {
        kernel::UniqueFd fd;
        if (kernel::openRegularFileNonBlocking(path, fd) == kernel::OpenError::None) kept.push_back(path);
    }
    return kept;
}

}  // namespace orrery::window
