// Memory files for handing pixels from one process to another without a
// copy: the writer fills an anonymous memory file and seals it, so that
// nobody can change, grow or shrink it any more; the reader checks the seals
// and maps it read-only.
#pragma once
#include <cstddef>
#include <cstdint>

#include "platform/kernel/files.h"

namespace orrery::kernel {

// A new memory file of `size` bytes, written with the calls below (no
// mapping: writing through the file costs the kernel less than faulting in
// a shared mapping page by page) and then sealed.
class MemoryFileWriter {
public:
    // False when the file cannot be made (no memory, no sealing).
    bool create(size_t size);
    size_t size() const { return size_; }
    // Writes `n` bytes at `offset`; false when they do not fit or the write
    // fails.
    bool write(size_t offset, const void* data, size_t n);
    // Writes `rows` rows of `rowBytes` bytes, one after the other from
    // `offset`, taking row i from `first + i * stride` (a negative stride
    // reads the rows upwards).
    bool writeRows(size_t offset, const uint8_t* first, ptrdiff_t stride, size_t rowBytes, int rows);
    // Seals the file against writing, growing and shrinking (and against
    // further seals) and hands over its descriptor; an invalid descriptor
    // when sealing fails.
    UniqueFd seal();

private:
    UniqueFd fd_;
    size_t size_ = 0;
};

// A read-only mapping of a sealed memory file, unmapped on destruction.
class SealedMapping {
public:
    SealedMapping() = default;
    SealedMapping(const SealedMapping&) = delete;
    SealedMapping& operator=(const SealedMapping&) = delete;
    ~SealedMapping();

    // Maps `fd` when it is a memory file sealed against writing, growing and
    // shrinking and holds at least one byte. False otherwise: a file another
    // process could still change is never trusted.
    bool map(int fd);
    const uint8_t* data() const { return data_; }
    size_t size() const { return size_; }

private:
    const uint8_t* data_ = nullptr;
    size_t size_ = 0;
};

}  // namespace orrery::kernel
