// A stream shaped after the platform's IStream: sequential read and write
// with a seek pointer, its size, and two implementations (memory and file).
#pragma once
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "orrery/automation/hresult.h"

namespace orrery::automation {

enum class SeekOrigin { Set = 0, Current = 1, End = 2 };

class IStream {
public:
    virtual ~IStream() = default;
    // Reads up to `count` bytes; `read` gets the number read (fewer at the end,
    // S_FALSE then).
    virtual HRESULT Read(void* buffer, uint32_t count, uint32_t* read) = 0;
    virtual HRESULT Write(const void* buffer, uint32_t count, uint32_t* written) = 0;
    virtual HRESULT Seek(int64_t offset, SeekOrigin origin, uint64_t* newPosition) = 0;
    virtual HRESULT SetSize(uint64_t size) = 0;
    virtual HRESULT Size(uint64_t* size) = 0;
};

// A growable stream over owned memory.
class MemoryStream final : public IStream {
public:
    MemoryStream() = default;
    explicit MemoryStream(std::vector<uint8_t> bytes) : bytes_(std::move(bytes)) {}
    HRESULT Read(void* buffer, uint32_t count, uint32_t* read) override;
    HRESULT Write(const void* buffer, uint32_t count, uint32_t* written) override;
    HRESULT Seek(int64_t offset, SeekOrigin origin, uint64_t* newPosition) override;
    HRESULT SetSize(uint64_t size) override;
    HRESULT Size(uint64_t* size) override;
    const std::vector<uint8_t>& bytes() const { return bytes_; }

private:
    std::vector<uint8_t> bytes_;
    uint64_t position_ = 0;
};

enum class FileMode { Read, ReadWrite, Create };

// A stream over a file of the file system.
class FileStream final : public IStream {
public:
    // STG_E_FILENOTFOUND or STG_E_ACCESSDENIED when the file cannot be opened.
    static HRESULT open(const std::string& path, FileMode mode, std::unique_ptr<FileStream>& out);
    ~FileStream() override;
    HRESULT Read(void* buffer, uint32_t count, uint32_t* read) override;
    HRESULT Write(const void* buffer, uint32_t count, uint32_t* written) override;
    HRESULT Seek(int64_t offset, SeekOrigin origin, uint64_t* newPosition) override;
    HRESULT SetSize(uint64_t size) override;
    HRESULT Size(uint64_t* size) override;

private:
    explicit FileStream(int fd) : fd_(fd) {}
    int fd_ = -1;
};

// Reads from the current position to the end of the stream.
HRESULT readToEnd(IStream& stream, std::vector<uint8_t>& out);

}  // namespace orrery::automation
