#include "platform/kernel/memory_file.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace orrery::kernel {

namespace {
constexpr int kAllSeals = F_SEAL_WRITE | F_SEAL_GROW | F_SEAL_SHRINK | F_SEAL_SEAL;
constexpr int kRequiredSeals = F_SEAL_WRITE | F_SEAL_GROW | F_SEAL_SHRINK;
}  // namespace

MemoryFileWriter::~MemoryFileWriter() { unmap(); }

void MemoryFileWriter::unmap() {
    if (data_) ::munmap(data_, size_);
    data_ = nullptr;
}

bool MemoryFileWriter::create(size_t size) {
    unmap();
    fd_.reset();
    size_ = 0;
    if (size == 0) return false;
    UniqueFd fd(::memfd_create("orrery-pixels", MFD_CLOEXEC | MFD_ALLOW_SEALING));
    if (!fd || ::ftruncate(fd.get(), static_cast<off_t>(size)) != 0) return false;
    // The pages are made at once: the writer fills all of them, and one
    // call costs less than a fault for every page.
    void* p = ::mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED | MAP_POPULATE, fd.get(), 0);
    if (p == MAP_FAILED) return false;
    fd_ = std::move(fd);
    data_ = static_cast<uint8_t*>(p);
    size_ = size;
    return true;
}

UniqueFd MemoryFileWriter::seal() {
    // A shared writable mapping that still exists makes F_SEAL_WRITE fail.
    unmap();
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
