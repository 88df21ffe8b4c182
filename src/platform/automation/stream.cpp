#include "platform/automation/stream.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>

#include "platform/kernel/files.h"

namespace orrery::automation {

HRESULT MemoryStream::Read(void* buffer, uint32_t count, uint32_t* read) {
    uint64_t available = position_ < bytes_.size() ? bytes_.size() - position_ : 0;
    uint32_t n = static_cast<uint32_t>(std::min<uint64_t>(count, available));
    if (n) std::memcpy(buffer, bytes_.data() + position_, n);
    position_ += n;
    if (read) *read = n;
    return n == count ? S_OK : S_FALSE;
}

HRESULT MemoryStream::Write(const void* buffer, uint32_t count, uint32_t* written) {
    if (written) *written = 0;
    uint64_t end = position_ + count;
    if (end > bytes_.max_size()) return E_OUTOFMEMORY;
    try {
        if (end > bytes_.size()) bytes_.resize(static_cast<size_t>(end));
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    if (count) std::memcpy(bytes_.data() + position_, buffer, count);
    position_ = end;
    if (written) *written = count;
    return S_OK;
}

HRESULT MemoryStream::Seek(int64_t offset, SeekOrigin origin, uint64_t* newPosition) {
    int64_t base = origin == SeekOrigin::Set       ? 0
                   : origin == SeekOrigin::Current ? static_cast<int64_t>(position_)
                                                   : static_cast<int64_t>(bytes_.size());
    if ((offset < 0 && base < -offset) ||
        (offset > 0 && base > std::numeric_limits<int64_t>::max() - offset))
        return STG_E_INVALIDFUNCTION;
    position_ = static_cast<uint64_t>(base + offset);
    if (newPosition) *newPosition = position_;
    return S_OK;
}

HRESULT MemoryStream::SetSize(uint64_t size) {
    if (size > bytes_.max_size()) return E_OUTOFMEMORY;
    try {
        bytes_.resize(static_cast<size_t>(size));
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    return S_OK;
}

HRESULT MemoryStream::Size(uint64_t* size) {
    *size = bytes_.size();
    return S_OK;
}

HRESULT FileStream::open(const std::string& path, FileMode mode, std::unique_ptr<FileStream>& out) {
    if (mode == FileMode::Read) {
        kernel::UniqueFd fd;
        switch (kernel::openRegularFile(path, fd)) {
            case kernel::OpenError::None: out.reset(new FileStream(fd.release())); return S_OK;
            case kernel::OpenError::NotFound: return STG_E_FILENOTFOUND;
            default: return STG_E_ACCESSDENIED;
        }
    }
    // Writing never blocks either: a FIFO opened for reading and writing
    // returns at once, and is refused like every other special file.
    const int flags = mode == FileMode::ReadWrite ? O_RDWR : O_RDWR | O_CREAT | O_TRUNC;
    kernel::UniqueFd fd(::open(path.c_str(), flags | O_CLOEXEC | O_NOCTTY, 0644));
    if (!fd) return errno == ENOENT ? STG_E_FILENOTFOUND : STG_E_ACCESSDENIED;
    struct stat st;
    if (fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) return STG_E_ACCESSDENIED;
    out.reset(new FileStream(fd.release()));
    return S_OK;
}

FileStream::~FileStream() {
    if (fd_ >= 0) ::close(fd_);
}

HRESULT FileStream::Read(void* buffer, uint32_t count, uint32_t* read) {
    uint32_t total = 0;
    while (total < count) {
        ssize_t n = ::read(fd_, static_cast<uint8_t*>(buffer) + total, count - total);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            if (read) *read = total;
            return STG_E_READFAULT;
        }
        if (n == 0) break;
        total += static_cast<uint32_t>(n);
    }
    if (read) *read = total;
    return total == count ? S_OK : S_FALSE;
}

HRESULT FileStream::Write(const void* buffer, uint32_t count, uint32_t* written) {
    uint32_t total = 0;
    while (total < count) {
        ssize_t n = ::write(fd_, static_cast<const uint8_t*>(buffer) + total, count - total);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            if (written) *written = total;
            return STG_E_WRITEFAULT;
        }
        total += static_cast<uint32_t>(n);
    }
    if (written) *written = total;
    return S_OK;
}

HRESULT FileStream::Seek(int64_t offset, SeekOrigin origin, uint64_t* newPosition) {
    int whence = origin == SeekOrigin::Set ? SEEK_SET : origin == SeekOrigin::Current ? SEEK_CUR : SEEK_END;
    off_t pos = ::lseek(fd_, offset, whence);
    if (pos < 0) return STG_E_INVALIDFUNCTION;
    if (newPosition) *newPosition = static_cast<uint64_t>(pos);
    return S_OK;
}

HRESULT FileStream::SetSize(uint64_t size) {
    return ::ftruncate(fd_, static_cast<off_t>(size)) == 0 ? S_OK : STG_E_WRITEFAULT;
}

HRESULT FileStream::Size(uint64_t* size) {
    struct stat st;
    if (fstat(fd_, &st) != 0) return E_FAIL;
    *size = static_cast<uint64_t>(st.st_size);
    return S_OK;
}

HRESULT readToEnd(IStream& stream, std::vector<uint8_t>& out) {
    out.clear();
    uint8_t chunk[65536];
    for (;;) {
        uint32_t got = 0;
        HRESULT hr = stream.Read(chunk, sizeof chunk, &got);
        if (hr < 0) return hr;
        try {
            out.insert(out.end(), chunk, chunk + got);
        } catch (const std::bad_alloc&) {
            return E_OUTOFMEMORY;
        }
        if (got < sizeof chunk) return S_OK;
    }
}

}  // namespace orrery::automation
