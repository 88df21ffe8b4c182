// Files as the control reads and writes them: existing documents are opened
// without ever blocking, and temporary files live in a folder private to the
// process, each created exclusively.
#pragma once
#include <cstdint>
#include <span>
#include <string>

namespace orrery::kernel {

// An open file descriptor, closed when it goes out of scope.
class UniqueFd {
public:
    UniqueFd() = default;
    explicit UniqueFd(int fd) : fd_(fd) {}
    UniqueFd(UniqueFd&& other) noexcept : fd_(other.release()) {}
    UniqueFd& operator=(UniqueFd&& other) noexcept;
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;
    ~UniqueFd() { reset(); }

    int get() const { return fd_; }
    explicit operator bool() const { return fd_ >= 0; }
    int release() {
        const int fd = fd_;
        fd_ = -1;
        return fd;
    }
    void reset();

private:
    int fd_ = -1;
};

// Why a document could not be opened for reading.
enum class OpenError {
    None,
    NotFound,       // no such file, or a path component is not a folder
    NotRegular,     // a folder, FIFO, socket or device: nothing a decoder may read
    AccessDenied,   // the file exists but may not be read
};

// Opens an existing regular file for reading. The open never blocks (a FIFO
// without a writer would otherwise wait forever) and anything that is not a
// regular file is refused before a byte of it is read. On success the
// descriptor is in blocking mode again, positioned at the start.
OpenError openRegularFile(const std::string& path, UniqueFd& out);
// The same check, leaving the descriptor non-blocking: for a caller that
// only needs to know the file can be opened and its size read (fstat has
// succeeded when this returns None).
OpenError openRegularFileNonBlocking(const std::string& path, UniqueFd& out);

// A short English description of `error`, for messages.
const char* describe(OpenError error);

// The process's private temporary folder inside `baseFolder` (which ends in
// "/"): made on first need with mode 0700 under a name "orrery-PID-XXXXXX"
// (PID the process's number) and removed, with whatever is left in it, when
// the process exits. Making it first removes the folders of that name in
// `baseFolder` whose process no longer exists (killed processes leave
// theirs): real folders of this user only, never through a link. Returns the
// folder followed by "/", or empty when it cannot be made. Each base folder
// gets one private folder per process.
std::string privateTempFolder(const std::string& baseFolder);

// Creates a new temporary file for writing: it must not exist yet (a file or
// link planted under that name makes this fail rather than follow it), and
// only its owner may read it (mode 0600). Every temporary file of the control
// is made here.
UniqueFd CreateTempFile(const std::string& path);

// Writes all of `bytes` to `fd`, again after an interrupted or partial write.
// False when the descriptor takes no more.
bool writeAll(int fd, std::span<const uint8_t> bytes);

// Writes `bytes` into a new temporary file at `path` (see CreateTempFile); a
// partly written file is removed. False on any failure.
bool writeTempFile(const std::string& path, std::span<const uint8_t> bytes);

// Copies the regular file `source` to the temporary file `path`, replacing an
// earlier temporary file of that name. False, and no file at `path`, on any
// failure.
bool copyToTempFile(const std::string& source, const std::string& path);

// Removes a file, ignoring every error: temporary files never fail an
// operation when they cannot be deleted.
void removeQuietly(const std::string& path);

}  // namespace orrery::kernel
