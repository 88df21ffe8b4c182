// ICO and CUR files: a directory of entries, each a DIB (colour rows and an
// AND mask, read by dib.cpp) or an embedded PNG. The richest entry becomes
// the image, as 32bppARGB.
#include <algorithm>
#include <cstring>
#include <vector>

#include "platform/gdiplus/codecs/codecs.h"
#include "platform/gdiplus/dib.h"

namespace orrery::gdiplus::codecs {

namespace {

constexpr size_t kDirectoryBytes = 6;
constexpr size_t kEntryBytes = 16;
// Entries past this many are not looked at; real files hold a handful.
constexpr size_t kMaxEntries = 512;
// A BITMAPINFOHEADER; a PNG's signature and header chunk are smaller.
constexpr uint32_t kSmallestEntry = 40;
constexpr uint8_t kPngSignature[8] = {0x89, 'P', 'N', 'G', 0x0d, 0x0a, 0x1a, 0x0a};

uint16_t rd16(std::span<const uint8_t> b, size_t at) {
    return static_cast<uint16_t>(b[at] | (b[at + 1] << 8));
}
uint32_t rd32(std::span<const uint8_t> b, size_t at) {
    return uint32_t(rd16(b, at)) | (uint32_t(rd16(b, at + 2)) << 16);
}
uint32_t rd32be(std::span<const uint8_t> b, size_t at) {
    return (uint32_t(b[at]) << 24) | (uint32_t(b[at + 1]) << 16) | (uint32_t(b[at + 2]) << 8) |
           b[at + 3];
}

bool isPng(std::span<const uint8_t> data) {
    return data.size() >= 8 && std::memcmp(data.data(), kPngSignature, 8) == 0;
}

struct Candidate {
    std::span<const uint8_t> data;
    bool png = false;
    uint64_t area = 0;
    int bitCount = 0;
};

// Size and depth as the entry's own header states them (the directory's
// bytes are often wrong); false when the entry holds neither DIB nor PNG.
bool describe(std::span<const uint8_t> data, Candidate& c) {
    c.data = data;
    if (isPng(data)) {
        if (data.size() < 26) return false;
        c.png = true;
        c.area = uint64_t{rd32be(data, 16)} * rd32be(data, 20);
        static const int channels[7] = {1, 0, 3, 1, 2, 0, 4};
        int colourType = data[25];
        int perChannel = data[24];
        c.bitCount = colourType <= 6 ? perChannel * channels[colourType] : 0;
        return true;
    }
    DibInfo info;
    if (probeDib(data, DibContainer::IconEntry, info) != Status::Ok) return false;
    c.area = uint64_t(info.width) * uint64_t(info.height);
    c.bitCount = info.bitCount;
    return true;
}

// A PNG entry goes through the registered PNG decoder, then to 32bppARGB.
Status decodePngEntry(std::span<const uint8_t> data, Frame& out) {
    const Decoder* png = findDecoder(data);
    if (!png || png->info().formatId != ImageFormat::PNG) return Status::UnknownImageFormat;
    Decoded decoded;
    Status s = png->decode(ByteSource::copyOf(data), DecodeOptions{}, decoded);
    if (s != Status::Ok) return s;
    Frame& f = decoded.frame;
    if (f.pixels.format() != PixelFormat32bppARGB) {
        PixelData argb;
        s = PixelData::allocate(f.pixels.width(), f.pixels.height(), PixelFormat32bppARGB, argb);
        if (s != Status::Ok) return s;
        for (int y = 0; y < argb.height(); ++y)
            convertRow(f.pixels.format(), f.pixels.row(y), 0, &f.palette, PixelFormat32bppARGB,
                       argb.row(y), 0, nullptr, argb.width());
        f.pixels = std::move(argb);
        f.palette = {};
    }
    f.flags |= ImageFlagsHasAlpha;
    out = std::move(f);
    return Status::Ok;
}

Status decodeEntry(const Candidate& c, Frame& out) {
    if (c.png) return decodePngEntry(c.data, out);
    DibOptions options;
    options.container = DibContainer::IconEntry;
    return decodeDib(c.data, 0, options, out);
}

class IcoDecoder final : public Decoder {
public:
    const CodecInfo& info() const override {
        static const CodecInfo info{CodecClsid::ICO,
                                    ImageFormat::Icon,
                                    "Built-in ICO Codec",
                                    "",
                                    "ICO",
                                    "*.ICO",
                                    "image/x-icon",
                                    CodecFlagsDecoder | CodecFlagsSupportBitmap | CodecFlagsBuiltin,
                                    1};
        return info;
    }

    // Reserved 0, type 1 (icon) or 2 (cursor), at least one entry, and a
    // first entry that points past the directory.
    bool sniff(std::span<const uint8_t> head) const override {
        if (head.size() < kDirectoryBytes) return false;
        uint16_t type = rd16(head, 2);
        uint16_t count = rd16(head, 4);
        if (rd16(head, 0) != 0 || (type != 1 && type != 2) || count == 0) return false;
        if (head.size() < kDirectoryBytes + kEntryBytes) return true;
        uint32_t size = rd32(head, 14);
        uint32_t offset = rd32(head, 18);
        return size > 0 && offset >= kDirectoryBytes + kEntryBytes;
    }

    Status decode(std::shared_ptr<const ByteSource> bytes, const DecodeOptions&,
                  Decoded& out) const override {
        if (!bytes) return Status::InvalidParameter;
        std::span<const uint8_t> file = bytes->bytes();
        if (!sniff(file)) return Status::UnknownImageFormat;
        std::vector<Candidate> candidates;
        collect(file, candidates);
        if (candidates.empty()) return Status::InvalidParameter;
        // Richest first: largest area, then deepest.
        std::stable_sort(candidates.begin(), candidates.end(), [](const Candidate& a, const Candidate& b) {
            return a.area != b.area ? a.area > b.area : a.bitCount > b.bitCount;
        });
        // An entry that fails to decode gives way to the next richest one.
        Status first = Status::Ok;
        for (const Candidate& c : candidates) {
            Frame frame;
            Status s = decodeEntry(c, frame);
            if (s == Status::Ok) {
                out.rawFormat = ImageFormat::Icon;
                out.frame = std::move(frame);
                out.frame.flags |= ImageFlagsColorSpaceRGB | ImageFlagsHasRealPixelSize;
                return Status::Ok;
            }
            if (first == Status::Ok) first = s;
        }
        return first;
    }

private:
    static void collect(std::span<const uint8_t> file, std::vector<Candidate>& out) {
        size_t count = std::min<size_t>(rd16(file, 4), kMaxEntries);
        for (size_t i = 0; i < count; ++i) {
            size_t e = kDirectoryBytes + i * kEntryBytes;
            if (e + kEntryBytes > file.size()) break;
            uint32_t size = rd32(file, e + 8);
            uint32_t offset = rd32(file, e + 12);
            if (offset >= file.size()) continue;
            // A size reaching past the end is cut to what the file holds; one
            // too small for any header (writers get it wrong) is taken to
            // reach to the end of the file.
            size_t rest = file.size() - offset;
            size_t length = size < kSmallestEntry ? rest : std::min<size_t>(size, rest);
            Candidate c;
            if (describe(file.subspan(offset, length), c)) out.push_back(c);
        }
    }
};

}  // namespace

const Decoder& icoDecoder() {
    static const IcoDecoder decoder;
    return decoder;
}

}  // namespace orrery::gdiplus::codecs
