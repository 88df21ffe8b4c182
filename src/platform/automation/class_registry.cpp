#include "platform/automation/class_registry.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>

#include "platform/automation/type_description.h"
#include "platform/kernel/files.h"

namespace orrery::automation {

namespace {

constexpr std::string_view kSeparator = " = ";

std::string_view trimmed(std::string_view s) {
    const size_t first = s.find_first_not_of(" \t\r");
    if (first == std::string_view::npos) return {};
    return s.substr(first, s.find_last_not_of(" \t\r") - first + 1);
}

// True when `key` is `root` or a path under it, whatever the case.
bool underRoot(std::string_view key, std::string_view root) {
    if (key.size() < root.size() || foldCase(key.substr(0, root.size())) != foldCase(root)) return false;
    return key.size() == root.size() || key[root.size()] == '\\';
}

// Reads at most `limit` + 1 bytes, so that a larger file shows itself.
bool readBounded(int fd, size_t limit, std::string& out) {
    char buffer[8192];
    while (out.size() <= limit) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return false;
        if (n == 0) return true;
        out.append(buffer, static_cast<size_t>(n));
    }
    return true;
}

std::string folderOf(const std::string& path) { return std::filesystem::path(path).parent_path().string(); }

HRESULT readRegistryAt(const std::string& path, RegistryText& out) {
    out = RegistryText();
    kernel::UniqueFd fd;
    const kernel::OpenError opened = kernel::openRegularFile(path, fd);
    if (opened == kernel::OpenError::NotFound) return S_OK;
    if (opened != kernel::OpenError::None) return E_FAIL;
    std::string text;
    if (!readBounded(fd.get(), RegistryText::kMaxBytes, text) || text.size() > RegistryText::kMaxBytes)
        return E_FAIL;
    out = RegistryText::parse(text);
    return S_OK;
}

// Writes `text` beside `path` and renames it over `path`.
bool replaceFile(const std::string& path, const std::string& text) {
    std::string temporary = path + ".XXXXXX";
    const int fd = ::mkstemp(temporary.data());
    if (fd < 0) return false;
    const bool written = kernel::writeAll(fd, std::span(reinterpret_cast<const uint8_t*>(text.data()), text.size())) && ::fsync(fd) == 0;
    const bool closed = ::close(fd) == 0;
    if (written && closed && ::rename(temporary.c_str(), path.c_str()) == 0) return true;
    ::unlink(temporary.c_str());
    return false;
}

}  // namespace

RegistryText RegistryText::parse(std::string_view text) {
    RegistryText out;
    while (!text.empty()) {
        const size_t end = text.find('\n');
        const std::string_view raw = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        Line line{std::string(raw), {}, {}};
        const size_t at = raw.find('=');
        if (at != std::string_view::npos) {
            const std::string_view key = trimmed(raw.substr(0, at));
            if (!key.empty() && key.find('\0') == std::string_view::npos) {
                line.key = std::string(key);
                line.value = std::string(trimmed(raw.substr(at + 1)));
            }
        }
        out.lines_.push_back(std::move(line));
    }
    return out;
}

std::string RegistryText::text() const {
    std::string out;
    for (const Line& line : lines_) {
        out += line.raw;
        out += '\n';
    }
    return out;
}

std::optional<std::string> RegistryText::value(std::string_view key) const {
    const std::string folded = foldCase(key);
    for (const Line& line : lines_)
        if (!line.key.empty() && foldCase(line.key) == folded) return line.value;
    return std::nullopt;
}

void RegistryText::add(std::string key, std::string value) {
    std::string raw = key + std::string(value.empty() ? trimmed(kSeparator) : kSeparator) + value;
    lines_.push_back(Line{std::move(raw), std::move(key), std::move(value)});
}

bool RegistryText::removeTree(std::string_view root) {
    return std::erase_if(lines_, [root](const Line& line) { return !line.key.empty() && underRoot(line.key, root); }) >
           0;
}

std::string classRegistryPath() {
    const char* config = std::getenv("XDG_CONFIG_HOME");
    std::string folder;
    if (config && config[0] == '/') folder = config;
    else if (const char* home = std::getenv("HOME"); home && home[0]) folder = std::string(home) + "/.config";
    else folder = "/tmp";
    return folder + "/orreryctl/registry";
}

HRESULT readClassRegistry(RegistryText& out) { return readRegistryAt(classRegistryPath(), out); }

HRESULT editClassRegistry(const std::function<bool(RegistryText&)>& edit) {
    const std::string path = classRegistryPath();
    std::error_code error;
    std::filesystem::create_directories(folderOf(path), error);
    if (error) return E_FAIL;
    const kernel::UniqueFd lock(::open((folderOf(path) + "/registry.lock").c_str(),
                                       O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600));
    if (!lock) return E_FAIL;
    while (::flock(lock.get(), LOCK_EX) != 0)
        if (errno != EINTR) return E_FAIL;
    RegistryText registry;
    if (failed(readRegistryAt(path, registry))) return E_FAIL;
    if (!edit(registry)) return S_OK;
    return replaceFile(path, registry.text()) ? S_OK : E_FAIL;
}

}  // namespace orrery::automation
