#include "platform/kernel/files.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <mutex>

namespace orrery::kernel {

UniqueFd& UniqueFd::operator=(UniqueFd&& other) noexcept {
    if (this != &other) {
        reset();
        fd_ = other.release();
    }
    return *this;
}

void UniqueFd::reset() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
}

OpenError openRegularFileNonBlocking(const std::string& path, UniqueFd& out) {
    out.reset();
    if (path.empty()) return OpenError::NotFound;
    UniqueFd fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
    if (!fd) {
        if (errno == ENOENT || errno == ENOTDIR || errno == ENAMETOOLONG || errno == ELOOP) return OpenError::NotFound;
        // A socket cannot be opened at all (ENXIO); it is no document either.
        if (errno == ENXIO || errno == ENODEV) return OpenError::NotRegular;
        return OpenError::AccessDenied;
    }
    struct stat st;
    if (::fstat(fd.get(), &st) != 0) return OpenError::AccessDenied;
    if (!S_ISREG(st.st_mode)) return OpenError::NotRegular;
    out = std::move(fd);
    return OpenError::None;
}

OpenError openRegularFile(const std::string& path, UniqueFd& out) {
    const OpenError error = openRegularFileNonBlocking(path, out);
    if (error != OpenError::None) return error;
    const int flags = ::fcntl(out.get(), F_GETFL);
    if (flags < 0 || ::fcntl(out.get(), F_SETFL, flags & ~O_NONBLOCK) != 0) {
        out.reset();
        return OpenError::AccessDenied;
    }
    return OpenError::None;
}

const char* describe(OpenError error) {
    switch (error) {
        case OpenError::None: return "readable";
        case OpenError::NotFound: return "no such file";
        case OpenError::NotRegular: return "not a regular file";
        case OpenError::AccessDenied: return "permission denied or unreadable";
    }
    return "unreadable";
}

// ---------------------------------------------------------------------------
// The private temporary folder

namespace {

struct PrivateFolders {
    std::mutex lock;
    std::map<std::string, std::string> byBase;  // base folder -> private folder with "/"
    pid_t owner = 0;                             // the process that made them
};

PrivateFolders& privateFolders() {
    static PrivateFolders* folders = new PrivateFolders;  // lives until exit, read by the exit hook
    return *folders;
}

// Runs at exit. A forked child that exits runs the hook too; only the
// process that made the folders removes them.
void removePrivateFolders() {
    PrivateFolders& f = privateFolders();
    std::lock_guard<std::mutex> guard(f.lock);
    if (f.owner != ::getpid()) return;
    for (const auto& [base, folder] : f.byBase) {
        std::error_code ec;
        std::filesystem::remove_all(folder, ec);
    }
    f.byBase.clear();
}

// The owner of a private folder named "orrery-PID-XXXXXX"; 0 for any other
// name.
pid_t ownerOf(const char* name) {
    constexpr char kPrefix[] = "orrery-";
    if (std::strncmp(name, kPrefix, sizeof kPrefix - 1) != 0) return 0;
    const char* p = name + sizeof kPrefix - 1;
    long pid = 0;
    const char* digits = p;
    while (*p >= '0' && *p <= '9' && p - digits < 10) pid = pid * 10 + (*p++ - '0');
    if (p == digits || *p != '-' || std::strlen(p + 1) != 6) return 0;
    return pid > 0 && pid <= INT32_MAX ? static_cast<pid_t>(pid) : 0;
}

// Removes the private folders in `baseFolder` of processes that no longer
// exist (a killed process runs no exit hook). Only real folders (never a
// link) of this user, named with a process number that the system reports
// as gone, are removed; anything else is left as it is.
void removeFoldersOfEndedProcesses(const std::string& baseFolder) {
    DIR* dir = ::opendir(baseFolder.c_str());
    if (!dir) return;
    const int dirFd = ::dirfd(dir);
    while (const dirent* entry = ::readdir(dir)) {
        const pid_t owner = ownerOf(entry->d_name);
        if (owner == 0 || owner == ::getpid()) continue;
        struct stat st;
        if (::fstatat(dirFd, entry->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISDIR(st.st_mode) ||
            st.st_uid != ::geteuid())
            continue;
        if (::kill(owner, 0) == 0 || errno != ESRCH) continue;
        std::error_code ec;
        std::filesystem::remove_all(baseFolder + entry->d_name, ec);  // removes links, never follows them
    }
    ::closedir(dir);
}

}  // namespace

std::string privateTempFolder(const std::string& baseFolder) {
    PrivateFolders& f = privateFolders();
    std::lock_guard<std::mutex> guard(f.lock);
    if (f.owner != ::getpid()) {
        // First use, or first use in a forked child: the parent's folders
        // are not this process's to write into or to remove.
        if (f.owner == 0) std::atexit(removePrivateFolders);
        f.byBase.clear();
        f.owner = ::getpid();
    }
    if (auto it = f.byBase.find(baseFolder); it != f.byBase.end()) {
        // A cleaner of the temporary folder may have removed it meanwhile.
        struct stat st;
        if (::lstat(it->second.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::geteuid())
            return it->second;
        f.byBase.erase(it);
    }
    // The process number in the name tells later processes whether the
    // folder's owner still runs.
    removeFoldersOfEndedProcesses(baseFolder);
    std::string name = baseFolder + "orrery-" + std::to_string(::getpid()) + "-XXXXXX";
    if (::mkdtemp(name.data()) == nullptr) return {};  // mkdtemp makes it with mode 0700
    name += '/';
    f.byBase.emplace(baseFolder, name);
    return name;
}

UniqueFd CreateTempFile(const std::string& path) {
    return UniqueFd(::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
}

bool writeAll(int fd, std::span<const uint8_t> bytes) {
    while (!bytes.empty()) {
        const ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        bytes = bytes.subspan(static_cast<size_t>(n));
    }
    return true;
}

namespace {

// Finishes a temporary file: closes it, and removes it when writing failed.
bool finish(UniqueFd& fd, const std::string& path, bool written) {
    const bool closed = ::close(fd.release()) == 0;
    if (written && closed) return true;
    removeQuietly(path);
    return false;
}

}  // namespace

bool writeTempFile(const std::string& path, std::span<const uint8_t> bytes) {
    UniqueFd fd = CreateTempFile(path);
    if (!fd) return false;
    return finish(fd, path, writeAll(fd.get(), bytes));
}

bool copyToTempFile(const std::string& source, const std::string& path) {
    // The source is opened first: should it be the old temporary file
    // itself, it is still read through its descriptor after the name goes.
    UniqueFd in;
    if (openRegularFile(source, in) != OpenError::None) return false;
    removeQuietly(path);
    UniqueFd out = CreateTempFile(path);
    if (!out) return false;
    bool ok = true;
    uint8_t buffer[1 << 16];
    for (;;) {
        const ssize_t n = ::read(in.get(), buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) ok = false;
        if (n <= 0) break;
        if (!writeAll(out.get(), std::span<const uint8_t>(buffer, static_cast<size_t>(n)))) {
            ok = false;
            break;
        }
    }
    return finish(out, path, ok);
}

void removeQuietly(const std::string& path) {
    if (!path.empty()) ::unlink(path.c_str());
}

}  // namespace orrery::kernel
