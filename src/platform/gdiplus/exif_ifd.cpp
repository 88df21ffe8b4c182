// Tag directories (IFDs) as property items.
//
// Reading: every value is copied out and turned into little-endian numbers.
// TIFF types the platform has no property type for are mapped to the nearest
// one it has:
//   SBYTE (6)            -> Byte (bit pattern kept)
//   SSHORT (8)           -> Short (bit pattern kept)
//   IFD (13)             -> Long
//   FLOAT (11), DOUBLE (12) -> Undefined, the IEEE bytes in little-endian order
// Entries of any other type are skipped.
//
// Offsets and counts come from the file, so every range is checked against
// the data with 64-bit arithmetic that cannot wrap, each directory is read at
// most once and the number of entries is capped per directory and in total.
#include "platform/gdiplus/exif_ifd.h"

#include <algorithm>
#include <cstring>
#include <optional>
#include <set>

#include "platform/gdiplus/little_endian.h"

namespace orrery::gdiplus {

namespace {

constexpr size_t kMaxEntriesPerIfd = 1000;
constexpr size_t kMaxEntriesTotal = 4096;
constexpr uint32_t kTagInteropIFD = 0xA005;
constexpr uint32_t kTagJpegInterFormat = 0x0201;
constexpr uint32_t kTagJpegInterLength = 0x0202;
constexpr uint32_t kTagThumbnailData = 0x501B;
constexpr uint16_t kTiffTypeIfd = 13;

// Bytes of one element of a TIFF type; 0 for types we do not read.
size_t tiffTypeSize(uint16_t type) {
    switch (type) {
        case 1: case 2: case 6: case 7: return 1;  // BYTE ASCII SBYTE UNDEFINED
        case 3: case 8: return 2;                  // SHORT SSHORT
        case 4: case 9: case 11: case 13: return 4;  // LONG SLONG FLOAT IFD
        case 5: case 10: case 12: return 8;        // RATIONAL SRATIONAL DOUBLE
        default: return 0;
    }
}

// The platform property type a TIFF type is reported as.
uint16_t platformType(uint16_t tiffType) {
    switch (tiffType) {
        case 6: return PropertyTagTypeByte;
        case 8: return PropertyTagTypeShort;
        case 13: return PropertyTagTypeLong;
        case 11: case 12: return PropertyTagTypeUndefined;
        default: return tiffType;
    }
}

// Width of the units that are byte-swapped in a value: 4 for the halves of
// rationals, the element size otherwise.
size_t swapUnit(uint16_t tiffType) {
    switch (tiffType) {
        case 5: case 10: return 4;
        default: return tiffTypeSize(tiffType);
    }
}

// The IFD1 tags the platform reports, renamed into its thumbnail range.
uint32_t thumbnailTagFor(uint32_t tag) {
    switch (tag) {
        case 0x0100: return 0x5020;  // ThumbnailImageWidth
        case 0x0101: return 0x5021;  // ThumbnailImageHeight
        case 0x0102: return 0x5022;  // ThumbnailBitsPerSample
        case 0x0103: return 0x5023;  // ThumbnailCompression
        case 0x0106: return 0x5024;  // ThumbnailPhotometricInterp
        case 0x010E: return 0x5025;  // ThumbnailImageDescription
        case 0x010F: return 0x5026;  // ThumbnailEquipMake
        case 0x0110: return 0x5027;  // ThumbnailEquipModel
        case 0x0111: return 0x5028;  // ThumbnailStripOffsets
        case 0x0112: return 0x5029;  // ThumbnailOrientation
        case 0x0115: return 0x502A;  // ThumbnailSamplesPerPixel
        case 0x0116: return 0x502B;  // ThumbnailRowsPerStrip
        case 0x0117: return 0x502C;  // ThumbnailStripBytesCount
        case 0x011A: return 0x502D;  // ThumbnailResolutionX
        case 0x011B: return 0x502E;  // ThumbnailResolutionY
        case 0x011C: return 0x502F;  // ThumbnailPlanarConfig
        case 0x0128: return 0x5030;  // ThumbnailResolutionUnit
        case 0x012D: return 0x5031;  // ThumbnailTransferFunction
        case 0x0131: return 0x5032;  // ThumbnailSoftwareUsed
        case 0x0132: return 0x5033;  // ThumbnailDateTime
        case 0x013B: return 0x5034;  // ThumbnailArtist
        case 0x013E: return 0x5035;  // ThumbnailWhitePoint
        case 0x013F: return 0x5036;  // ThumbnailPrimaryChromaticities
        case 0x0211: return 0x5037;  // ThumbnailYCbCrCoefficients
        case 0x0212: return 0x5038;  // ThumbnailYCbCrSubsampling
        case 0x0213: return 0x5039;  // ThumbnailYCbCrPositioning
        case 0x0214: return 0x503A;  // ThumbnailRefBlackWhite
        case 0x8298: return 0x503B;  // ThumbnailCopyRight
        case kTagJpegInterFormat: return kTagJpegInterFormat;  // kept as is
        case kTagJpegInterLength: return kTagJpegInterLength;
        default: return 0;
    }
}

bool isPointerTag(uint32_t tag) {
    return tag == PropertyTagExifIFD || tag == PropertyTagGpsIFD || tag == kTagInteropIFD;
}

class TiffData {
public:
    TiffData(std::span<const uint8_t> data, bool bigEndian) : data_(data), big_(bigEndian) {}

    // True when [offset, offset + length) lies inside the data.
    bool contains(uint64_t offset, uint64_t length) const {
        return offset <= data_.size() && length <= data_.size() - offset;
    }
    uint16_t u16(uint64_t offset) const {
        const uint8_t* p = data_.data() + offset;
        return big_ ? static_cast<uint16_t>((p[0] << 8) | p[1]) : static_cast<uint16_t>(p[0] | (p[1] << 8));
    }
    uint32_t u32(uint64_t offset) const {
        const uint8_t* p = data_.data() + offset;
        return big_ ? (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | p[3]
                    : (uint32_t(p[3]) << 24) | (uint32_t(p[2]) << 16) | (uint32_t(p[1]) << 8) | p[0];
    }
    // Copies `length` bytes at `offset`, reversing each `unit`-byte group of a
    // big-endian file so that the result is little-endian.
    std::vector<uint8_t> valueBytes(uint64_t offset, size_t length, size_t unit) const {
        std::vector<uint8_t> out(data_.begin() + static_cast<ptrdiff_t>(offset),
                                 data_.begin() + static_cast<ptrdiff_t>(offset + length));
        if (big_ && unit > 1)
            for (size_t i = 0; i + unit <= out.size(); i += unit)
                std::reverse(out.begin() + static_cast<ptrdiff_t>(i),
                             out.begin() + static_cast<ptrdiff_t>(i + unit));
        return out;
    }
    std::span<const uint8_t> bytes() const { return data_; }

private:
    std::span<const uint8_t> data_;
    bool big_;
};

// One raw directory entry after its value was located and checked.
struct RawEntry {
    uint16_t tag;
    uint16_t type;
    uint32_t count;
    uint64_t valueOffset;
    size_t length;
};

enum class IfdKind { Main, Exif, Gps, Interop, Thumbnail };

class DirectoryWalker {
public:
    DirectoryWalker(const TiffData& data, std::vector<PropertyItem>& out) : data_(data), out_(out) {
        for (const PropertyItem& item : out_) seenIds_.insert(item.id);
    }

    // Reads the directory at `offset` and then the sub-directories it points
    // to, breadth first. Returns the offset of the next directory in the
    // chain (0 when none or unreadable).
    uint32_t readWithChildren(uint64_t offset, IfdKind kind) {
        pending_.clear();
        uint32_t next = readDirectory(offset, kind);
        for (size_t i = 0; i < pending_.size(); ++i) readDirectory(pending_[i].first, pending_[i].second);
        return next;
    }

private:
    uint32_t readDirectory(uint64_t offset, IfdKind kind) {
        if (!visited_.insert(offset).second) return 0;
        if (!data_.contains(offset, 2)) return 0;
        size_t count = data_.u16(offset);
        size_t readable = std::min(count, kMaxEntriesPerIfd);
        for (size_t i = 0; i < readable && total_ < kMaxEntriesTotal; ++i) {
            uint64_t entryOffset = offset + 2 + 12 * uint64_t(i);
            if (!data_.contains(entryOffset, 12)) return 0;
            ++total_;
            RawEntry e;
            if (locate(entryOffset, e)) take(e, kind);
        }
        uint64_t nextAt = offset + 2 + 12 * uint64_t(count);
        return data_.contains(nextAt, 4) ? data_.u32(nextAt) : 0;
    }

    bool locate(uint64_t entryOffset, RawEntry& e) const {
        e.tag = data_.u16(entryOffset);
        e.type = data_.u16(entryOffset + 2);
        e.count = data_.u32(entryOffset + 4);
        size_t unit = tiffTypeSize(e.type);
        if (unit == 0) return false;
        uint64_t length = uint64_t(e.count) * unit;  // at most 2^32 * 8: no wrap
        e.valueOffset = length <= 4 ? entryOffset + 8 : data_.u32(entryOffset + 8);
        if (!data_.contains(e.valueOffset, length)) return false;
        e.length = static_cast<size_t>(length);
        return true;
    }

    void take(const RawEntry& e, IfdKind kind) {
        uint32_t id = e.tag;
        if (kind == IfdKind::Thumbnail) {
            id = thumbnailTagFor(e.tag);
            if (id == 0) return;
            if (e.tag == kTagJpegInterFormat) thumbnailOffset_ = firstLong(e);
            if (e.tag == kTagJpegInterLength) thumbnailLength_ = firstLong(e);
        } else if (isPointerTag(e.tag)) {
            follow(e);
        }
        add(PropertyItem{id, platformType(e.type), data_.valueBytes(e.valueOffset, e.length, swapUnit(e.type))});
    }

    void add(PropertyItem item) {
        // A tag seen before keeps its first value (the GPS and
        // interoperability directories share small numbers).
        if (!seenIds_.insert(item.id).second) return;
        out_.push_back(std::move(item));
    }

    std::optional<uint32_t> firstLong(const RawEntry& e) const {
        if (e.count < 1) return std::nullopt;
        if (e.type == 4 || e.type == kTiffTypeIfd || e.type == 9) return data_.u32(e.valueOffset);
        if (e.type == 3) return data_.u16(e.valueOffset);
        return std::nullopt;
    }

    void follow(const RawEntry& e) {
        IfdKind kind = e.tag == PropertyTagExifIFD ? IfdKind::Exif
                       : e.tag == PropertyTagGpsIFD ? IfdKind::Gps
                                                    : IfdKind::Interop;
        if (!followed_.insert(kind).second) return;
        if (auto target = firstLong(e)) pending_.emplace_back(*target, kind);
    }

public:
    // The thumbnail bytes named by IFD1, when they lie inside the data.
    void addThumbnailData() {
        if (!thumbnailOffset_ || !thumbnailLength_ || *thumbnailLength_ == 0) return;
        if (!data_.contains(*thumbnailOffset_, *thumbnailLength_)) return;
        add(PropertyItem{kTagThumbnailData, PropertyTagTypeByte,
                         data_.valueBytes(*thumbnailOffset_, *thumbnailLength_, 1)});
    }

private:
    const TiffData& data_;
    std::vector<PropertyItem>& out_;
    std::set<uint64_t> visited_;
    std::set<IfdKind> followed_;
    std::set<uint32_t> seenIds_;
    std::vector<std::pair<uint64_t, IfdKind>> pending_;
    size_t total_ = 0;
    std::optional<uint32_t> thumbnailOffset_;
    std::optional<uint32_t> thumbnailLength_;
};

// Recognises the TIFF header; sets `bigEndian`.
bool parseTiffHeader(std::span<const uint8_t> tiff, bool& bigEndian) {
    if (tiff.size() < 8) return false;
    if (tiff[0] == 'I' && tiff[1] == 'I' && tiff[2] == 42 && tiff[3] == 0) {
        bigEndian = false;
        return true;
    }
    if (tiff[0] == 'M' && tiff[1] == 'M' && tiff[2] == 0 && tiff[3] == 42) {
        bigEndian = true;
        return true;
    }
    return false;
}

}  // namespace

Status readTiffDirectory(std::span<const uint8_t> tiff, uint64_t ifdOffset,
                         std::vector<PropertyItem>& out) {
    bool big = false;
    if (!parseTiffHeader(tiff, big)) return Status::InvalidParameter;
    TiffData data(tiff, big);
    DirectoryWalker walker(data, out);
    walker.readWithChildren(ifdOffset, IfdKind::Main);
    return Status::Ok;
}

Status readExifBlock(std::span<const uint8_t> app1, std::vector<PropertyItem>& out) {
    static constexpr uint8_t kExifId[6] = {'E', 'x', 'i', 'f', 0, 0};
    if (app1.size() < 6 || std::memcmp(app1.data(), kExifId, 5) != 0) return Status::InvalidParameter;
    std::span<const uint8_t> tiff = app1.subspan(6);
    bool big = false;
    if (!parseTiffHeader(tiff, big)) return Status::InvalidParameter;
    TiffData data(tiff, big);
    DirectoryWalker walker(data, out);
    uint32_t ifd1 = walker.readWithChildren(data.u32(4), IfdKind::Main);
    if (ifd1 != 0) {
        walker.readWithChildren(ifd1, IfdKind::Thumbnail);
        walker.addThumbnailData();
    }
    return Status::Ok;
}

// ---------------------------------------------------------------------------
// Writing

namespace {

enum class Home { Ifd0, Exif, Gps, None };

// Which directory an item belongs in; None for items a TIFF-structured block
// cannot carry (platform-only tags, offsets into another file, pointers that
// are recomputed).
Home homeOf(uint32_t id) {
    if (id <= 0x001F) return Home::Gps;
    if (id >= 0x5000 && id <= 0x5FFF) return Home::None;  // thumbnail, GIF, print, quant tables
    if (isPointerTag(id)) return Home::None;
    switch (id) {
        case 0x0111: case 0x0117:  // strip offsets and byte counts
        case 0x0120: case 0x0121:  // free offsets and byte counts
        case 0x0144: case 0x0145:  // tile offsets and byte counts
        case 0x014A:               // sub-IFDs
        case kTagJpegInterFormat: case kTagJpegInterLength:
            return Home::None;
        case 0x829A: case 0x829D: case 0x8822: case 0x8824: case 0x8827: case 0x8828:
        case 0x8830: case 0x8831: case 0x8832:
            return Home::Exif;
        default: break;
    }
    if (id >= 0x9000 && id <= 0x9FFF) return Home::Exif;
    if (id >= 0xA000 && id <= 0xAFFF) return Home::Exif;
    if (id > 0xFFFF) return Home::None;
    return Home::Ifd0;
}

struct OutEntry {
    uint16_t tag;
    uint16_t type;
    uint32_t count;
    const std::vector<uint8_t>* value;  // null for pointer entries
    uint32_t pointer = 0;
};

OutEntry entryFor(const PropertyItem& item) {
    uint16_t type = item.type;
    size_t unit = tiffTypeSize(type);
    if (unit == 0 || type == 6 || type == 8 || type > 10 || item.value.size() % unit != 0) {
        type = PropertyTagTypeUndefined;
        unit = 1;
    }
    return OutEntry{static_cast<uint16_t>(item.id), type,
                    static_cast<uint32_t>(item.value.size() / unit), &item.value};
}

size_t padded(size_t n) { return n + (n & 1); }

size_t directorySize(const std::vector<OutEntry>& entries) {
    size_t size = 2 + 12 * entries.size() + 4;
    for (const OutEntry& e : entries)
        if (e.value && e.value->size() > 4) size += padded(e.value->size());
    return size;
}

// Every EXIF block this writer makes is little-endian ("II").
constexpr auto put16 = appendLe16;
constexpr auto put32 = appendLe32;

// Appends one directory (entries sorted by tag) and its out-of-line values at
// the end of `out`, which is where its offset was planned. Offsets count from
// `base`, where the TIFF header starts.
void writeDirectory(std::vector<OutEntry> entries, size_t base, std::vector<uint8_t>& out) {
    std::sort(entries.begin(), entries.end(),
              [](const OutEntry& a, const OutEntry& b) { return a.tag < b.tag; });
    size_t start = out.size();
    size_t valuesAt = start + 2 + 12 * entries.size() + 4;
    put16(out, static_cast<uint32_t>(entries.size()));
    std::vector<const std::vector<uint8_t>*> outOfLine;
    for (const OutEntry& e : entries) {
        put16(out, e.tag);
        put16(out, e.type);
        put32(out, e.count);
        if (!e.value) {
            put32(out, e.pointer);
        } else if (e.value->size() <= 4) {
            size_t at = out.size();
            out.insert(out.end(), e.value->begin(), e.value->end());
            out.resize(at + 4, 0);
        } else {
            put32(out, static_cast<uint32_t>(valuesAt - base));
            valuesAt += padded(e.value->size());
            outOfLine.push_back(e.value);
        }
    }
    put32(out, 0);  // no further directory in the chain
    for (const std::vector<uint8_t>* v : outOfLine) {
        out.insert(out.end(), v->begin(), v->end());
        if (v->size() & 1) out.push_back(0);
    }
}

}  // namespace

std::vector<uint8_t> writeExifBlock(const std::vector<PropertyItem>& items) {
    std::vector<OutEntry> ifd0, exif, gps;
    std::set<uint32_t> seen;
    for (const PropertyItem& item : items) {
        if (item.value.empty() || !seen.insert(item.id).second) continue;
        switch (homeOf(item.id)) {
            case Home::Ifd0: ifd0.push_back(entryFor(item)); break;
            case Home::Exif: exif.push_back(entryFor(item)); break;
            case Home::Gps: gps.push_back(entryFor(item)); break;
            case Home::None: break;
        }
    }
    // Pointer entries first, so that IFD0's size is known before the
    // sub-directories' offsets are filled in.
    if (!exif.empty()) ifd0.push_back(OutEntry{PropertyTagExifIFD, PropertyTagTypeLong, 1, nullptr});
    if (!gps.empty()) ifd0.push_back(OutEntry{PropertyTagGpsIFD, PropertyTagTypeLong, 1, nullptr});
    size_t exifAt = 8 + directorySize(ifd0);
    size_t gpsAt = exifAt + (exif.empty() ? 0 : directorySize(exif));
    for (OutEntry& e : ifd0) {
        if (e.value) continue;
        e.pointer = static_cast<uint32_t>(e.tag == PropertyTagExifIFD ? exifAt : gpsAt);
    }

    constexpr size_t kBase = 6;  // the TIFF data follows "Exif\0\0"
    std::vector<uint8_t> block = {'E', 'x', 'i', 'f', 0, 0, 'I', 'I', 42, 0, 8, 0, 0, 0};
    writeDirectory(ifd0, kBase, block);
    if (!exif.empty()) writeDirectory(exif, kBase, block);
    if (!gps.empty()) writeDirectory(gps, kBase, block);
    return block;
}

}  // namespace orrery::gdiplus
