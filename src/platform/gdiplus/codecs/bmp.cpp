// BMP files: a 14-byte file header in front of a DIB (read by dib.cpp), and
// the writer.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "platform/gdiplus/codecs/codecs.h"
#include "platform/gdiplus/dib.h"
#include "platform/gdiplus/little_endian.h"
#include "platform/gdiplus/image.h"

namespace orrery::gdiplus::codecs {

namespace {

constexpr size_t kFileHeaderBytes = 14;
constexpr uint32_t kInfoHeaderBytes = 40;
constexpr uint32_t kV5HeaderBytes = 124;
constexpr uint32_t kBiRgb = 0;
constexpr uint32_t kBiBitfields = 3;
constexpr uint32_t kLcsSrgb = 0x73524742;  // 'sRGB'
constexpr uint32_t kLcsGmImages = 4;

const CodecInfo& bmpInfo() {
    static const CodecInfo info{CodecClsid::BMP,
                                ImageFormat::BMP,
                                "Built-in BMP Codec",
                                "",
                                "BMP",
                                "*.BMP;*.DIB;*.RLE",
                                "image/bmp",
                                CodecFlagsEncoder | CodecFlagsDecoder | CodecFlagsSupportBitmap |
                                    CodecFlagsBuiltin,
                                1};
    return info;
}

class BmpDecoder final : public Decoder {
public:
    const CodecInfo& info() const override { return bmpInfo(); }

    bool sniff(std::span<const uint8_t> head) const override {
        return head.size() >= 2 && head[0] == 'B' && head[1] == 'M';
    }

    Status decode(std::shared_ptr<const ByteSource> bytes, const DecodeOptions&,
                  Decoded& out) const override {
        if (!bytes) return Status::InvalidParameter;
        std::span<const uint8_t> file = bytes->bytes();
        if (!sniff(file)) return Status::UnknownImageFormat;
        if (file.size() < kFileHeaderBytes + 4) return Status::InvalidParameter;
        // bfSize and the reserved words are ignored: writers get them wrong.
        uint32_t offBits = uint32_t(file[10]) | (uint32_t(file[11]) << 8) |
                           (uint32_t(file[12]) << 16) | (uint32_t(file[13]) << 24);
        size_t bitsOffset = offBits > kFileHeaderBytes ? offBits - kFileHeaderBytes : 0;
        Frame frame;
        Status s = decodeDib(file.subspan(kFileHeaderBytes), bitsOffset, DibOptions{}, frame);
        if (s != Status::Ok) return s;
        out.rawFormat = ImageFormat::BMP;
        out.frame = std::move(frame);
        return Status::Ok;
    }
};

// --- writing ----------------------------------------------------------------

constexpr auto put16 = appendLe16;
constexpr auto put32 = appendLe32;

// What a source pixel format is written as.
struct Target {
    PixelFormat format;   // the row layout written (converted to when different)
    int bitCount;
    uint32_t compression;
    bool alpha;           // written with a V5 header carrying an alpha mask
};

Target targetFor(PixelFormat f) {
    switch (f) {
        case PixelFormat1bppIndexed: return {f, 1, kBiRgb, false};
        case PixelFormat4bppIndexed: return {f, 4, kBiRgb, false};
        case PixelFormat8bppIndexed: return {f, 8, kBiRgb, false};
        case PixelFormat16bppRGB555: return {f, 16, kBiRgb, false};
        case PixelFormat16bppRGB565: return {f, 16, kBiBitfields, false};
        case PixelFormat24bppRGB: return {f, 24, kBiRgb, false};
        case PixelFormat32bppRGB: return {f, 32, kBiRgb, false};
        case PixelFormat16bppGrayScale:
        case PixelFormat48bppRGB: return {PixelFormat24bppRGB, 24, kBiRgb, false};
        default:  // ARGB1555, 32/64 bpp ARGB and PARGB: non-premultiplied 32-bit with alpha
            return {PixelFormat32bppARGB, 32, kBiBitfields, true};
    }
}

uint32_t pelsPerMeter(float dpi) {
    double ppm = std::round(static_cast<double>(dpi) / 0.0254);
    return ppm > 0 && ppm < 1e9 ? static_cast<uint32_t>(ppm) : 0;
}

// BITMAPINFOHEADER, or BITMAPV5HEADER for images with alpha (bit fields with
// an alpha mask, sRGB).
void writeInfoHeader(const Image& image, const Target& t, uint32_t paletteCount, uint32_t imageBytes,
                     ByteSink& out) {
    uint32_t size = t.alpha ? kV5HeaderBytes : kInfoHeaderBytes;
    put32(out, size);
    put32(out, static_cast<uint32_t>(image.width()));
    put32(out, static_cast<uint32_t>(image.height()));  // bottom-up rows
    put16(out, 1);
    put16(out, static_cast<uint32_t>(t.bitCount));
    put32(out, t.compression);
    put32(out, imageBytes);
    put32(out, pelsPerMeter(image.horizontalResolution()));
    put32(out, pelsPerMeter(image.verticalResolution()));
    put32(out, paletteCount);
    put32(out, 0);  // all colours important
    if (!t.alpha) return;
    put32(out, 0x00ff0000);
    put32(out, 0x0000ff00);
    put32(out, 0x000000ff);
    put32(out, 0xff000000);
    put32(out, kLcsSrgb);
    for (int i = 0; i < 12; ++i) put32(out, 0);  // endpoints and gamma, unused for sRGB
    put32(out, kLcsGmImages);
    put32(out, 0);  // profile data
    put32(out, 0);  // profile size
    put32(out, 0);  // reserved
}

class BmpEncoder final : public Encoder {
public:
    const CodecInfo& info() const override { return bmpInfo(); }

    // The format takes no encoder parameters; any given are ignored, as the
    // platform's BMP encoder does.
    Status encode(const Image& image, const EncoderParameters&, ByteSink& out) const override {
        const PixelData& px = image.pixels();
        if (px.empty()) return Status::InvalidParameter;
        Target t = targetFor(px.format());
        const int w = px.width(), h = px.height();
        uint64_t stride = ((static_cast<uint64_t>(w) * t.bitCount + 31) / 32) * 4;
        uint64_t imageBytes = stride * static_cast<uint64_t>(h);

        // An indexed image without colours shows black; a colour table cannot
        // be empty (0 entries means "all of them"), so one black entry is written.
        std::vector<ARGB> palette;
        if (isIndexed(t.format)) {
            palette = image.palette().entries;
            palette.resize(std::clamp<size_t>(palette.size(), 1, size_t{1} << t.bitCount), 0xFF000000u);
        }
        uint64_t headerBytes = kFileHeaderBytes + (t.alpha ? kV5HeaderBytes : kInfoHeaderBytes) +
                               (t.compression == kBiBitfields && !t.alpha ? 12 : 0) + 4 * palette.size();
        uint64_t fileBytes = headerBytes + imageBytes;
        if (fileBytes > UINT32_MAX) return Status::ValueOverflow;

        ByteSink bytes;
        bytes.reserve(static_cast<size_t>(fileBytes));
        bytes.push_back('B');
        bytes.push_back('M');
        put32(bytes, static_cast<uint32_t>(fileBytes));
        put32(bytes, 0);
        put32(bytes, static_cast<uint32_t>(headerBytes));
        writeInfoHeader(image, t, static_cast<uint32_t>(palette.size()),
                        static_cast<uint32_t>(imageBytes), bytes);
        if (t.compression == kBiBitfields && !t.alpha) {  // 565 masks
            put32(bytes, 0xf800);
            put32(bytes, 0x07e0);
            put32(bytes, 0x001f);
        }
        for (ARGB c : palette) put32(bytes, c & 0x00ffffff);

        // Rows bottom-up, padded with zeros to four bytes.
        const Palette* srcPalette = &image.palette();
        for (int y = h - 1; y >= 0; --y) {
            size_t at = bytes.size();
            bytes.resize(at + static_cast<size_t>(stride), 0);
            if (t.format == px.format()) {
                std::memcpy(bytes.data() + at, px.row(y), (static_cast<size_t>(w) * t.bitCount + 7) / 8);
            } else {
                convertRow(px.format(), px.row(y), 0, srcPalette, t.format, bytes.data() + at, 0,
                           nullptr, w);
            }
        }
        out.insert(out.end(), bytes.begin(), bytes.end());
        return Status::Ok;
    }
};

}  // namespace

const Decoder& bmpDecoder() {
    static const BmpDecoder decoder;
    return decoder;
}

const Encoder& bmpEncoder() {
    static const BmpEncoder encoder;
    return encoder;
}

}  // namespace orrery::gdiplus::codecs
