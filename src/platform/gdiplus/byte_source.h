// Encoded bytes a decoder reads: a whole file mapped into memory, or a copy
// of a caller's buffer. Shared, so that multi-frame images can go back for
// later frames after the call that loaded them has returned.
#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "platform/gdiplus/status.h"

namespace orrery::gdiplus {

class ByteSource {
public:
    virtual ~ByteSource() = default;
    virtual const uint8_t* data() const = 0;
    virtual size_t size() const = 0;
    std::span<const uint8_t> bytes() const { return {data(), size()}; }

    // FileNotFound when the path cannot be opened, AccessDenied when it is not
    // readable, Ok otherwise (an empty file gives an empty source).
    static Status openFile(const std::string& path, std::shared_ptr<const ByteSource>& out);
    static std::shared_ptr<const ByteSource> fromVector(std::vector<uint8_t> bytes);
    static std::shared_ptr<const ByteSource> copyOf(std::span<const uint8_t> bytes);
};

// Where encoders write.
using ByteSink = std::vector<uint8_t>;

}  // namespace orrery::gdiplus
