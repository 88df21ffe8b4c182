#include "imaging/costly_files.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstring>

#include "imaging/codec_plugin.h"
#include "platform/gdiplus/codecs/jpeg_limits.h"

namespace orrery::imaging {

namespace {

// The plug-in's numbers of the PNM variants (it reads all six through one
// reader, which it reports as PBM) and of PFM.
constexpr int kPbm = 7, kPbmRaw = 8, kPgm = 11, kPgmRaw = 12, kPpm = 14, kPpmRaw = 15, kPfm = 32;
// Header fields beyond this are no picture the allocation limit admits.
constexpr uint64_t kLargestField = uint64_t{1} << 31;

// The file read forward through a buffer, by position (pread).
class Reader {
public:
    explicit Reader(int fd) : fd_(fd) {}
    // The next byte, or -1 at the end or on an error.
    int next() {
        if (at_ == size_) {
            const ssize_t n = ::pread(fd_, buffer_, sizeof buffer_, static_cast<off_t>(offset_));
            if (n <= 0) return -1;
            offset_ += static_cast<uint64_t>(n);
            at_ = 0;
            size_ = static_cast<size_t>(n);
        }
        return buffer_[at_++];
    }
    // Skips `count` bytes; false when the file ends first.
    bool skip(uint64_t count) {
        const uint64_t buffered = size_ - at_;
        if (count <= buffered) {
            at_ += static_cast<size_t>(count);
            return true;
        }
        offset_ += count - buffered;
        at_ = size_ = 0;
        return offset_ <= fileSize();
    }
    // Moves to the next 0xFF byte; false at the end of the file.
    bool toNextFF() {
        for (;;) {
            if (at_ == size_ && next() >= 0) --at_;
            if (at_ == size_) return false;
            const void* found = std::memchr(buffer_ + at_, 0xFF, size_ - at_);
            if (found) {
                at_ = static_cast<size_t>(static_cast<const uint8_t*>(found) - buffer_);
                return true;
            }
            at_ = size_;
        }
    }
    uint64_t position() const { return offset_ - (size_ - at_); }
    uint64_t fileSize() const {
        struct stat st {};
        return ::fstat(fd_, &st) == 0 && st.st_size > 0 ? static_cast<uint64_t>(st.st_size) : 0;
    }

private:
    int fd_;
    uint8_t buffer_[65536];
    uint64_t offset_ = 0;  // file position after the buffered bytes
    size_t at_ = 0, size_ = 0;
};

// Skips blanks and comments (from '#' to the end of the line) of a PNM
// header and reads a decimal number; false when there is none or it is
// beyond any picture.
bool headerNumber(Reader& in, uint64_t& value, int& after) {
    int c = in.next();
    for (;;) {
        if (c == '#') {
            while (c >= 0 && c != '\n' && c != '\r') c = in.next();
        } else if (c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f') {
            c = in.next();
        } else {
            break;
        }
    }
    if (c < '0' || c > '9') return false;
    value = 0;
    while (c >= '0' && c <= '9') {
        value = value * 10 + static_cast<uint64_t>(c - '0');
        if (value > kLargestField) return false;
        c = in.next();
    }
    after = c;
    return true;
}

// PNM (P1 to P6) and PFM (PF, Pf): the header gives the size; raw variants
// need every sample's bytes after it, text variants at least one byte per
// sample (a digit; P1 needs no blanks between them).
bool truncatedPortableMap(int fd) {
    Reader in(fd);
    if (in.next() != 'P') return false;
    const int kind = in.next();
    const bool floats = kind == 'F' || kind == 'f';
    if (!floats && (kind < '1' || kind > '6')) return false;
    uint64_t width = 0, height = 0, maxValue = 1;
    int after = 0;
    if (!headerNumber(in, width, after) || !headerNumber(in, height, after)) return false;
    if (kind != '1' && kind != '4') {
        if (floats) {
            // The scale is a signed real number; its sign gives the byte
            // order, which does not change the size.
            int c = after;
            while (c == ' ' || c == '\t' || c == '\n' || c == '\r') c = in.next();
            while (c >= 0 && c != '\n' && c != '\r' && c != ' ' && c != '\t') c = in.next();
            after = c;
        } else if (!headerNumber(in, maxValue, after)) {
            return false;
        }
    }
    if (after < 0) return width > 0 && height > 0;  // a header and nothing else
    const uint64_t samples = width * height * (kind == '3' || kind == '6' || kind == 'F' ? 3 : 1);
    uint64_t needed = samples;  // text variants: a digit each
    if (kind == '4') needed = (width + 7) / 8 * height;
    if (kind == '5' || kind == '6') needed = samples * (maxValue > 255 ? 2 : 1);
    if (floats) needed = samples * 4;
    const uint64_t size = in.fileSize();
    const uint64_t start = in.position();
    return start > size || size - start < needed;
}

// Counts the scans of a JPEG file by its markers (each scan starts with
// SOS), skipping segments by their lengths and scan data to its next marker.
bool tooManyJpegScans(int fd) {
    Reader in(fd);
    if (in.next() != 0xFF || in.next() != 0xD8) return false;
    int scans = 0;
    for (;;) {
        if (!in.toNextFF()) return false;
        int marker = in.next();
        while (marker == 0xFF) marker = in.next();
        if (marker < 0 || marker == 0xD9) return false;                   // end of file or of image
        if (marker == 0x00 || (marker >= 0xD0 && marker <= 0xD7) || marker == 0x01) continue;  // in scan data
        const int high = in.next(), low = in.next();
        if (high < 0 || low < 0) return false;
        const int length = (high << 8) | low;
        if (length < 2 || !in.skip(static_cast<uint64_t>(length - 2))) return false;
        if (marker == 0xDA && ++scans > gdiplus::codecs::kMaxJpegScans) return true;
    }
}

}  // namespace

uint64_t jpegFramePixels(int fd) {
    Reader in(fd);
    if (in.next() != 0xFF || in.next() != 0xD8) return 0;
    for (;;) {
        if (in.next() != 0xFF) return 0;  // segments follow each other up to the first scan
        int marker = in.next();
        while (marker == 0xFF) marker = in.next();
        const int high = in.next(), low = in.next();
        if (marker < 0 || marker == 0xD9 || marker == 0xDA || high < 0 || low < 0) return 0;
        const int length = (high << 8) | low;
        const bool frame = marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
        if (frame) {
            int b[5];
            for (int& v : b) v = in.next();
            if (b[4] < 0) return 0;
            return uint64_t((b[1] << 8) | b[2]) * uint64_t((b[3] << 8) | b[4]);
        }
        if (length < 2 || !in.skip(static_cast<uint64_t>(length - 2))) return 0;
    }
}

bool pluginWouldSpendLongOn(int fd, int format) {
    switch (format) {
        case kPbm: case kPbmRaw: case kPgm: case kPgmRaw: case kPpm: case kPpmRaw: case kPfm:
            return truncatedPortableMap(fd);
        case PluginFormat::JPEG:
            return tooManyJpegScans(fd);
        default:
            return false;
    }
}

}  // namespace orrery::imaging
