#include "platform/gdiplus/byte_source.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/kernel/files.h"

namespace orrery::gdiplus {

namespace {
class VectorSource final : public ByteSource {
public:
    explicit VectorSource(std::vector<uint8_t> bytes) : bytes_(std::move(bytes)) {}
    const uint8_t* data() const override { return bytes_.data(); }
    size_t size() const override { return bytes_.size(); }

private:
    std::vector<uint8_t> bytes_;
};
}  // namespace

std::shared_ptr<const ByteSource> ByteSource::fromVector(std::vector<uint8_t> bytes) {
    return std::make_shared<VectorSource>(std::move(bytes));
}

std::shared_ptr<const ByteSource> ByteSource::copyOf(std::span<const uint8_t> bytes) {
    return fromVector(std::vector<uint8_t>(bytes.begin(), bytes.end()));
}

// The file is read whole into memory rather than mapped: a mapping would fault
// if another program truncated the file while an image still reads frames
// from it.
Status ByteSource::openFile(const std::string& path, std::shared_ptr<const ByteSource>& out) {
    kernel::UniqueFd file;
    switch (kernel::openRegularFile(path, file)) {
        case kernel::OpenError::None: break;
        case kernel::OpenError::NotFound: return Status::FileNotFound;
        default: return Status::AccessDenied;
    }
    const int fd = file.get();
    struct stat st;
    if (fstat(fd, &st) != 0) return Status::AccessDenied;
    std::vector<uint8_t> bytes;
    try {
        bytes.resize(static_cast<size_t>(st.st_size));
    } catch (const std::bad_alloc&) {
        return Status::OutOfMemory;
    }
    size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = ::read(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        done += static_cast<size_t>(n);
    }
    bytes.resize(done);
    out = fromVector(std::move(bytes));
    return Status::Ok;
}

}  // namespace orrery::gdiplus
