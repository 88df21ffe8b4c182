#include "platform/kernel/memory_file.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <vector>

namespace orrery::kernel {

namespace {
constexpr int kAllSeals = F_SEAL_WRITE | F_SEAL_GROW | F_SEAL_SHRINK | F_SEAL_SEAL;
constexpr int kRequiredSeals = F_SEAL_WRITE | F_SEAL_GROW | F_SEAL_SHRINK;
}  // namespace

bool MemoryFileWriter::create(size_t size) {
    fd_.reset();
    size_ = 0;
    if (size == 0) return false;
    UniqueFd fd(::memfd_create("orrery-pixels", MFD_CLOEXEC | MFD_ALLOW_SEALING));
    if (!fd || ::ftruncate(fd.get(), static_cast<off_t>(size)) != 0) return false;
    fd_ = std::move(fd);
    size_ = size;
    return true;
}

bool MemoryFileWriter::write(size_t offset, const void* data, size_t n) {
    if (!fd_ || offset > size_ || n > size_ - offset) return false;
    const auto* bytes = static_cast<const uint8_t*>(data);
    while (n > 0) {
        const ssize_t done = ::pwrite(fd_.get(), bytes, n, static_cast<off_t>(offset));
        if (done < 0 && errno == EINTR) continue;
        if (done <= 0) return false;
        bytes += done;
        offset += static_cast<size_t>(done);
        n -= static_cast<size_t>(done);
    }
    return true;
}

bool MemoryFileWriter::writeRows(size_t offset, const uint8_t* first, ptrdiff_t stride, size_t rowBytes, int rows) {
    if (rows < 0 || (rows > 0 && rowBytes > (size_ - std::min(offset, size_)) / static_cast<size_t>(rows)))
        return false;
    // Gathered writes of as many rows as one call takes.
    std::vector<iovec> chunk;
    for (int y = 0; y < rows;) {
        chunk.clear();
        size_t bytes = 0;
        for (; y < rows && chunk.size() < IOV_MAX; ++y) {
            chunk.push_back({const_cast<uint8_t*>(first + y * stride), rowBytes});
            bytes += rowBytes;
        }
        size_t done = 0;
        while (done < bytes) {
            const ssize_t n = ::pwritev(fd_.get(), chunk.data(), static_cast<int>(chunk.size()), static_cast<off_t>(offset));
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) return false;
            done += static_cast<size_t>(n);
            offset += static_cast<size_t>(n);
            // A short write: drop what went out and go on from there.
            size_t skip = static_cast<size_t>(n);
            size_t i = 0;
            while (i < chunk.size() && skip >= chunk[i].iov_len) skip -= chunk[i++].iov_len;
            chunk.erase(chunk.begin(), chunk.begin() + static_cast<ptrdiff_t>(i));
            if (!chunk.empty()) {
                chunk[0].iov_base = static_cast<uint8_t*>(chunk[0].iov_base) + skip;
                chunk[0].iov_len -= skip;
            }
        }
    }
    return true;
}

UniqueFd MemoryFileWriter::seal() {
    if (!fd_ || ::fcntl(fd_.get(), F_ADD_SEALS, kAllSeals) != 0) {
        fd_.reset();
        return UniqueFd();
    }
    return std::move(fd_);
}

SealedMapping::~SealedMapping() {
    if (data_) ::munmap(const_cast<uint8_t*>(data_), size_);
}

bool SealedMapping::map(int fd) {
    if (data_) return false;
    const int seals = ::fcntl(fd, F_GET_SEALS);
    if (seals < 0 || (seals & kRequiredSeals) != kRequiredSeals) return false;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size <= 0) return false;
    const size_t size = static_cast<size_t>(st.st_size);
    void* p = ::mmap(nullptr, size, PROT_READ, MAP_SHARED, fd, 0);
    if (p == MAP_FAILED) return false;
    data_ = static_cast<const uint8_t*>(p);
    size_ = size;
    return true;
}

}  // namespace orrery::kernel
