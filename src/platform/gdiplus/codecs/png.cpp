// PNG decoder and encoder on libpng.
//
// The decoder keeps the image's own depth: palette and grey images of up to
// 8 bits stay indexed, 16-bit samples go to the deep 48/64 bpp formats. All
// libpng calls that may fail run inside small functions that hold setjmp and
// no C++ object with a destructor, so libpng's longjmp skips nothing that
// needs cleaning up.
#include <png.h>
#include <zlib.h>

#include <algorithm>
#include <cmath>
#include <csetjmp>
#include <cstring>
#include <vector>

#include "platform/gdiplus/codecs/codecs.h"
#include "platform/gdiplus/color_management.h"
#include "platform/gdiplus/image.h"

namespace orrery::gdiplus::codecs {
namespace {

constexpr uint8_t kPngSignature[8] = {0x89, 'P', 'N', 'G', 0x0d, 0x0a, 0x1a, 0x0a};
constexpr double kMetresPerInch = 0.0254;

// ---------------------------------------------------------------------------
// Reading

// State shared with libpng's callbacks. Plain data only: a longjmp may leave
// any function that touches it.
struct PngReader {
    png_structp png = nullptr;
    png_infop info = nullptr;
    const uint8_t* data = nullptr;
    size_t size = 0;
    size_t pos = 0;
    bool truncated = false;  // the file broke off and was closed by repairTruncation
    int rowCallsDone = 0;
};

void readFromMemory(png_structp png, png_bytep out, size_t length) {
    auto* reader = static_cast<PngReader*>(png_get_io_ptr(png));
    if (length > reader->size - reader->pos) png_error(png, "unexpected end of data");
    std::memcpy(out, reader->data + reader->pos, length);
    reader->pos += length;
}

void errorToJump(png_structp png, png_const_charp) { png_longjmp(png, 1); }
void ignoreWarning(png_structp, png_const_charp) {}

bool readPngInfo(PngReader& r) {
    if (setjmp(png_jmpbuf(r.png))) return false;
    png_set_read_fn(r.png, &r, readFromMemory);
    png_read_info(r.png, r.info);
    return true;
}

// The libpng transformations that produce the target format's memory layout.
struct ReadTransforms {
    bool grayToRgb = false;
    bool trnsToAlpha = false;
    bool bgr = false;
    bool swap16 = false;  // big-endian samples to little-endian
    int passes = 1;
};

bool applyReadTransforms(PngReader& r, ReadTransforms& t) {
    if (setjmp(png_jmpbuf(r.png))) return false;
    if (t.grayToRgb) png_set_gray_to_rgb(r.png);
    if (t.trnsToAlpha) png_set_tRNS_to_alpha(r.png);
    if (t.bgr) png_set_bgr(r.png);
    if (t.swap16) png_set_swap(r.png);
    t.passes = png_set_interlace_handling(r.png);
    png_read_update_info(r.png, r.info);
    return true;
}

// Reads every pass of every row straight into the pixel rows. Returns false
// when libpng stops early; r.rowCallsDone tells how far it came.
bool readPngRows(PngReader& r, uint8_t* scan0, ptrdiff_t stride, int height, int passes) {
    if (setjmp(png_jmpbuf(r.png))) return false;
    for (int pass = 0; pass < passes; ++pass) {
        for (int y = 0; y < height; ++y) {
            png_read_row(r.png, scan0 + y * stride, nullptr);
            ++r.rowCallsDone;
        }
    }
    return true;
}

struct PngReaderGuard {
    PngReader& r;
    ~PngReaderGuard() { png_destroy_read_struct(&r.png, &r.info, nullptr); }
};

// Two-bit samples have no platform format: they are widened in place to
// four bits per pixel. The packed row occupies the first half of the 4bpp
// row, so pairs are written from the end backwards, each read before written.
void widenTwoBitRow(uint8_t* row, int width) {
    for (int p = (width - 1) / 2; p >= 0; --p) {
        int x0 = 2 * p;
        int x1 = x0 + 1;
        uint8_t a = (row[x0 >> 2] >> (6 - 2 * (x0 & 3))) & 3;
        uint8_t b = x1 < width ? (row[x1 >> 2] >> (6 - 2 * (x1 & 3))) & 3 : 0;
        row[p] = static_cast<uint8_t>((a << 4) | b);
    }
}

uint32_t bigEndian32(const uint8_t* p) {
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
}

void appendChunk(std::vector<uint8_t>& out, const char* type, const uint8_t* data, uint32_t length) {
    for (int shift : {24, 16, 8, 0}) out.push_back(static_cast<uint8_t>(length >> shift));
    const size_t crcFrom = out.size();
    out.insert(out.end(), type, type + 4);
    out.insert(out.end(), data, data + length);
    uLong crc = crc32(0, out.data() + crcFrom, static_cast<uInt>(length + 4));
    for (int shift : {24, 16, 8, 0}) out.push_back(static_cast<uint8_t>(crc >> shift));
}

// A file that breaks off, as a download does, is shown as far as it goes.
// libpng asks for IDAT data in pieces of up to 8 KB and cannot use a piece
// that comes short, so the file is closed first: the complete chunks, the
// IDAT data that did arrive as a chunk of its own, and IEND. libpng then
// decodes every row the data holds and stops at "not enough image data".
// Returns false (and leaves `out` alone) when the file is complete.
bool repairTruncation(const uint8_t* data, size_t size, std::vector<uint8_t>& out) {
    size_t pos = sizeof kPngSignature;
    while (pos + 12 <= size) {
        const uint32_t length = bigEndian32(data + pos);
        if (length > size - pos - 12) break;
        if (std::memcmp(data + pos + 4, "IEND", 4) == 0) return false;
        pos += 12 + size_t{length};
    }
    out.assign(data, data + pos);
    const size_t available = size - pos;
    if (available > 8 && std::memcmp(data + pos + 4, "IDAT", 4) == 0)
        appendChunk(out, "IDAT", data + pos + 8,
                    static_cast<uint32_t>(std::min<size_t>(available - 8, bigEndian32(data + pos))));
    appendChunk(out, "IEND", nullptr, 0);
    return true;
}

struct TargetLayout {
    PixelFormat format = PixelFormatUndefined;
    ReadTransforms transforms;
    bool twoBit = false;
    bool alpha = false;
};

TargetLayout chooseTarget(int colorType, int depth, bool hasTrns) {
    TargetLayout t;
    const bool deep = depth == 16;
    switch (colorType) {
    case PNG_COLOR_TYPE_PALETTE:
    case PNG_COLOR_TYPE_GRAY:
        if (colorType == PNG_COLOR_TYPE_GRAY && deep) {
            t.format = hasTrns ? PixelFormat64bppARGB : PixelFormat48bppRGB;
            t.transforms.grayToRgb = true;
            t.transforms.trnsToAlpha = hasTrns;
            t.transforms.swap16 = true;
            t.alpha = hasTrns;
            break;
        }
        t.format = depth == 1   ? PixelFormat1bppIndexed
                   : depth <= 4 ? PixelFormat4bppIndexed
                                : PixelFormat8bppIndexed;
        t.twoBit = depth == 2;
        break;
    case PNG_COLOR_TYPE_GRAY_ALPHA:
        t.format = deep ? PixelFormat64bppARGB : PixelFormat32bppARGB;
        t.transforms.grayToRgb = true;
        t.transforms.swap16 = deep;
        t.alpha = true;
        break;
    case PNG_COLOR_TYPE_RGB:
        t.format = deep ? (hasTrns ? PixelFormat64bppARGB : PixelFormat48bppRGB)
                        : (hasTrns ? PixelFormat32bppARGB : PixelFormat24bppRGB);
        t.transforms.trnsToAlpha = hasTrns;
        t.transforms.bgr = true;
        t.transforms.swap16 = deep;
        t.alpha = hasTrns;
        break;
    case PNG_COLOR_TYPE_RGB_ALPHA:
        t.format = deep ? PixelFormat64bppARGB : PixelFormat32bppARGB;
        t.transforms.bgr = true;
        t.transforms.swap16 = deep;
        t.alpha = true;
        break;
    default:
        break;
    }
    return t;
}

// The palette of an indexed target, with tRNS alpha folded in.
Palette indexedPalette(PngReader& r, int colorType, int depth, bool& anyAlpha) {
    Palette palette;
    png_bytep trnsAlpha = nullptr;
    int trnsCount = 0;
    png_color_16p trnsColor = nullptr;
    bool hasTrns = png_get_tRNS(r.png, r.info, &trnsAlpha, &trnsCount, &trnsColor) != 0;
    anyAlpha = false;
    if (colorType == PNG_COLOR_TYPE_PALETTE) {
        png_colorp colors = nullptr;
        int count = 0;
        png_get_PLTE(r.png, r.info, &colors, &count);
        for (int i = 0; i < count; ++i) {
            uint32_t a = 0xff;
            if (hasTrns && trnsAlpha && i < trnsCount) a = trnsAlpha[i];
            if (a != 0xff) anyAlpha = true;
            palette.entries.push_back((a << 24) | (uint32_t(colors[i].red) << 16) |
                                      (uint32_t(colors[i].green) << 8) | colors[i].blue);
        }
    } else {
        palette = grayPalette(1 << depth);
        if (hasTrns && trnsColor) {
            size_t key = trnsColor->gray & ((1u << depth) - 1);
            palette.entries[key] &= 0x00ffffff;
            anyAlpha = true;
        }
    }
    if (anyAlpha) palette.flags |= PaletteFlagsHasAlpha;
    return palette;
}

void readResolution(PngReader& r, Frame& frame) {
    png_uint_32 ppmX = 0, ppmY = 0;
    int unit = 0;
    if (png_get_pHYs(r.png, r.info, &ppmX, &ppmY, &unit) && unit == PNG_RESOLUTION_METER &&
        ppmX > 0 && ppmY > 0) {
        frame.dpiX = static_cast<float>(ppmX * kMetresPerInch);
        frame.dpiY = static_cast<float>(ppmY * kMetresPerInch);
        frame.flags |= ImageFlagsHasRealDPI;
    }
}

void readIccProfile(PngReader& r, Frame& frame) {
    png_charp name = nullptr;
    int compression = 0;
    png_bytep profile = nullptr;
    png_uint_32 length = 0;
    if (png_get_iCCP(r.png, r.info, &name, &compression, &profile, &length) && profile)
        frame.iccProfile.assign(profile, profile + length);
}

class PngDecoder final : public Decoder {
public:
    const CodecInfo& info() const override {
        static const CodecInfo info{CodecClsid::PNG, ImageFormat::PNG, "Built-in PNG Codec", "",
                                    "PNG", "*.PNG", "image/png", 0x10007, 1};
        return info;
    }

    bool sniff(std::span<const uint8_t> head) const override {
        return head.size() >= sizeof kPngSignature &&
               std::memcmp(head.data(), kPngSignature, sizeof kPngSignature) == 0;
    }

    Status decode(std::shared_ptr<const ByteSource> bytes, const DecodeOptions& options,
                  Decoded& out) const override {
        PngReader r;
        r.data = bytes->data();
        r.size = bytes->size();
        std::vector<uint8_t> repaired;
        if (r.size > sizeof kPngSignature && repairTruncation(r.data, r.size, repaired)) {
            r.data = repaired.data();
            r.size = repaired.size();
            r.truncated = true;
        }
        r.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, errorToJump, ignoreWarning);
        if (!r.png) return Status::OutOfMemory;
        PngReaderGuard guard{r};
        r.info = png_create_info_struct(r.png);
        if (!r.info) return Status::OutOfMemory;
        if (!readPngInfo(r)) return Status::InvalidParameter;

        png_uint_32 width = 0, height = 0;
        int depth = 0, colorType = 0, interlace = 0;
        png_get_IHDR(r.png, r.info, &width, &height, &depth, &colorType, &interlace, nullptr,
                     nullptr);
        bool hasTrns = png_get_valid(r.png, r.info, PNG_INFO_tRNS) != 0;
        TargetLayout target = chooseTarget(colorType, depth, hasTrns);
        if (target.format == PixelFormatUndefined) return Status::InvalidParameter;
        const int w = static_cast<int>(width);
        const int h = static_cast<int>(height);
        if (!fitsAllocationLimit(w, h, target.format)) return Status::OutOfMemory;

        Frame frame;
        if (isIndexed(target.format)) {
            bool anyAlpha = false;
            frame.palette = indexedPalette(r, colorType, depth, anyAlpha);
            target.alpha = anyAlpha;
        }
        readResolution(r, frame);
        readIccProfile(r, frame);
        if (!applyReadTransforms(r, target.transforms)) return Status::InvalidParameter;

        Status s = PixelData::allocate(w, h, target.format, frame.pixels);
        if (s != Status::Ok) return s;
        if (!readPngRows(r, frame.pixels.scan0(), frame.pixels.stride(), h,
                         target.transforms.passes)) {
            // Data that simply ends shows what arrived, as a browser does;
            // anything else (bad CRC, broken chunk) in a whole file is an error.
            if (!r.truncated || r.rowCallsDone == 0) return Status::InvalidParameter;
        }
        if (target.twoBit)
            for (int y = 0; y < h; ++y) widenTwoBitRow(frame.pixels.row(y), w);

        frame.flags |= (colorType & PNG_COLOR_MASK_COLOR) ? ImageFlagsColorSpaceRGB
                                                           : ImageFlagsColorSpaceGRAY;
        if (target.alpha) frame.flags |= ImageFlagsHasAlpha;
        if (options.useEmbeddedColorManagement) applyEmbeddedProfile(frame);
        out.rawFormat = ImageFormat::PNG;
        out.frame = std::move(frame);
        return Status::Ok;
    }

};

// ---------------------------------------------------------------------------
// Writing

// Gives libpng one row of pixels in the layout the plan announced.
using RowFetch = const uint8_t* (*)(void* state, int y);

struct PngWritePlan {
    int width = 0;
    int height = 0;
    int depth = 8;
    int colorType = PNG_COLOR_TYPE_RGB;
    bool bgr = false;
    bool swap16 = false;
    bool stripFiller = false;
    png_color palette[256]{};
    int paletteCount = 0;
    png_byte trnsAlpha[256]{};
    int trnsCount = 0;
    png_uint_32 ppmX = 0;
    png_uint_32 ppmY = 0;
};

struct PngWriter {
    png_structp png = nullptr;
    png_infop info = nullptr;
    ByteSink* sink = nullptr;
    bool sinkFailed = false;
};

void writeToSink(png_structp png, png_bytep data, size_t length) {
    auto* w = static_cast<PngWriter*>(png_get_io_ptr(png));
    try {
        w->sink->insert(w->sink->end(), data, data + length);
    } catch (...) {
        w->sinkFailed = true;
    }
    if (w->sinkFailed) png_error(png, "out of memory");
}

void flushNothing(png_structp) {}

bool writePngStream(PngWriter& w, const PngWritePlan& plan, RowFetch fetch, void* state) {
    if (setjmp(png_jmpbuf(w.png))) return false;
    png_set_write_fn(w.png, &w, writeToSink, flushNothing);
    png_set_IHDR(w.png, w.info, plan.width, plan.height, plan.depth, plan.colorType,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    if (plan.paletteCount > 0) png_set_PLTE(w.png, w.info, plan.palette, plan.paletteCount);
    if (plan.trnsCount > 0)
        png_set_tRNS(w.png, w.info, plan.trnsAlpha, plan.trnsCount, nullptr);
    if (plan.ppmX > 0 && plan.ppmY > 0)
        png_set_pHYs(w.png, w.info, plan.ppmX, plan.ppmY, PNG_RESOLUTION_METER);
    png_write_info(w.png, w.info);
    if (plan.bgr) png_set_bgr(w.png);
    if (plan.swap16) png_set_swap(w.png);
    if (plan.stripFiller) png_set_filler(w.png, 0, PNG_FILLER_AFTER);
    for (int y = 0; y < plan.height; ++y) png_write_row(w.png, fetch(state, y));
    png_write_end(w.png, nullptr);
    return true;
}

struct PngWriterGuard {
    PngWriter& w;
    ~PngWriterGuard() { png_destroy_write_struct(&w.png, &w.info); }
};

// Where rows come from: the image's own rows, or rows converted into a
// scratch row by the pixel-format converters.
struct RowSource {
    const PixelData* pixels = nullptr;
    const Palette* palette = nullptr;
    PixelFormat convertTo = PixelFormatUndefined;  // Undefined: rows as stored
    std::vector<uint8_t> scratch;
};

const uint8_t* fetchRow(void* state, int y) {
    auto* src = static_cast<RowSource*>(state);
    const uint8_t* row = src->pixels->row(y);
    if (src->convertTo == PixelFormatUndefined) return row;
    convertRow(src->pixels->format(), row, 0, src->palette, src->convertTo, src->scratch.data(), 0,
               src->palette, src->pixels->width());
    return src->scratch.data();
}

void planPalette(const Palette& palette, int depth, PngWritePlan& plan) {
    size_t count = std::min<size_t>(palette.entries.size(), size_t{1} << depth);
    if (count == 0) {
        // An indexed bitmap without entries: write the grey ramp it would show.
        Palette grey = grayPalette(1 << depth);
        planPalette(grey, depth, plan);
        return;
    }
    plan.paletteCount = static_cast<int>(count);
    for (size_t i = 0; i < count; ++i) {
        ARGB c = palette.entries[i];
        plan.palette[i] = png_color{static_cast<png_byte>(c >> 16), static_cast<png_byte>(c >> 8),
                                    static_cast<png_byte>(c)};
        plan.trnsAlpha[i] = static_cast<png_byte>(c >> 24);
        if ((c >> 24) != 0xff) plan.trnsCount = static_cast<int>(i) + 1;
    }
}

// Chooses the PNG colour type and depth for a pixel format, and the
// converted format for formats PNG cannot hold as they are.
bool planFormat(PixelFormat f, PngWritePlan& plan, RowSource& src) {
    switch (f) {
    case PixelFormat1bppIndexed:
    case PixelFormat4bppIndexed:
    case PixelFormat8bppIndexed:
        plan.colorType = PNG_COLOR_TYPE_PALETTE;
        plan.depth = bitsPerPixel(f);
        planPalette(*src.palette, plan.depth, plan);
        return true;
    case PixelFormat24bppRGB:
        plan.bgr = true;
        return true;
    case PixelFormat32bppRGB:
        plan.bgr = true;
        plan.stripFiller = true;
        return true;
    case PixelFormat32bppARGB:
        plan.colorType = PNG_COLOR_TYPE_RGB_ALPHA;
        plan.bgr = true;
        return true;
    case PixelFormat32bppPARGB:
    case PixelFormat16bppARGB1555:
        plan.colorType = PNG_COLOR_TYPE_RGB_ALPHA;
        plan.bgr = true;
        src.convertTo = PixelFormat32bppARGB;
        return true;
    case PixelFormat16bppRGB555:
    case PixelFormat16bppRGB565:
    case PixelFormat16bppGrayScale:
        plan.bgr = true;
        src.convertTo = PixelFormat24bppRGB;
        return true;
    case PixelFormat48bppRGB:
        plan.depth = 16;
        plan.bgr = true;
        plan.swap16 = true;
        return true;
    case PixelFormat64bppARGB:
    case PixelFormat64bppPARGB:
        plan.colorType = PNG_COLOR_TYPE_RGB_ALPHA;
        plan.depth = 16;
        plan.bgr = true;
        plan.swap16 = true;
        if (f == PixelFormat64bppPARGB) src.convertTo = PixelFormat64bppARGB;
        return true;
    default:
        return false;
    }
}

png_uint_32 pixelsPerMetre(float dpi) {
    if (!(dpi > 0) || dpi > 1e6f) return 0;
    return static_cast<png_uint_32>(std::lround(dpi / kMetresPerInch));
}

class PngEncoder final : public Encoder {
public:
    const CodecInfo& info() const override {
        static const CodecInfo info{CodecClsid::PNG, ImageFormat::PNG, "Built-in PNG Codec", "",
                                    "PNG", "*.PNG", "image/png", 0x10007, 1};
        return info;
    }

    Status encode(const Image& image, const EncoderParameters&, ByteSink& out) const override {
        const PixelData& pixels = image.pixels();
        if (pixels.empty()) return Status::InvalidParameter;
        PngWritePlan plan;
        plan.width = pixels.width();
        plan.height = pixels.height();
        plan.ppmX = pixelsPerMetre(image.horizontalResolution());
        plan.ppmY = pixelsPerMetre(image.verticalResolution());
        RowSource src;
        src.pixels = &pixels;
        src.palette = &image.palette();
        if (!planFormat(pixels.format(), plan, src)) return Status::InvalidParameter;
        if (src.convertTo != PixelFormatUndefined)
            src.scratch.resize(strideFor(src.convertTo, pixels.width()));

        PngWriter w;
        w.sink = &out;
        w.png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, errorToJump, ignoreWarning);
        if (!w.png) return Status::OutOfMemory;
        PngWriterGuard guard{w};
        w.info = png_create_info_struct(w.png);
        if (!w.info) return Status::OutOfMemory;
        size_t start = out.size();
        if (!writePngStream(w, plan, fetchRow, &src)) {
            out.resize(start);
            return w.sinkFailed ? Status::OutOfMemory : Status::GenericError;
        }
        return Status::Ok;
    }
};

}  // namespace

const Decoder& pngDecoder() {
    static const PngDecoder decoder;
    return decoder;
}

const Encoder& pngEncoder() {
    static const PngEncoder encoder;
    return encoder;
}

}  // namespace orrery::gdiplus::codecs
