// TIFF reader and writer on libtiff.
//
// Reading: every top-level directory is a page (FrameDimension::Page). A page
// keeps its own pixel format where the platform has one (bilevel stays one bit
// per pixel, palettes stay indexed, 16-bit samples stay 48/64 bpp); anything
// else libtiff's RGBA interface understands (CMYK, YCbCr, LAB, JPEG, OJPEG,
// odd depths) becomes 24bppRGB or 32bppARGB. libtiff reads straight from the
// shared in-memory bytes; its messages go to a per-handle log, never to stderr.
//
// Writing: one page, the image's current frame, with LZW (default), CCITT G3,
// G4, modified Huffman RLE or no compression, at 1, 4, 8, 24, 32 (and 48, 64)
// bits per pixel.
#include <tiffio.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "platform/gdiplus/codecs/codecs.h"
#include "platform/gdiplus/color_management.h"
#include "platform/gdiplus/exif_ifd.h"
#include "platform/gdiplus/image.h"

static_assert(std::endian::native == std::endian::little,
              "deep pixel formats are stored little-endian; libtiff gives host order");

namespace orrery::gdiplus::codecs {
namespace {

// Pages beyond this are not offered; a chain this long is damage or an attack.
constexpr uint32_t kMaxPages = 10000;
// Samples per pixel beyond this are refused before libtiff sizes anything.
constexpr uint32_t kMaxSamplesPerPixel = 16;
// Tiles per page beyond this are refused: reading millions of tiny tiles
// takes long even when each read fails at once.
constexpr uint32_t kMaxTiles = 1u << 20;

// ---------------------------------------------------------------------------
// libtiff handles over memory

// What libtiff said while a handle was open: counted, the first kept.
struct TiffLog {
    int errors = 0;
    std::string firstError;
};

int logError(TIFF*, void* user, const char* module, const char* fmt, va_list ap) {
    auto* log = static_cast<TiffLog*>(user);
    if (log->errors++ == 0) {
        char text[256];
        std::vsnprintf(text, sizeof text, fmt, ap);
        log->firstError = std::string(module ? module : "") + ": " + text;
    }
    return 1;  // handled: libtiff must not call its global (printing) handler
}

int ignoreWarning(TIFF*, void*, const char*, const char*, va_list) { return 1; }

// Read-only client data: the encoded bytes and a file position.
struct MemoryFile {
    const uint8_t* data = nullptr;
    uint64_t size = 0;
    uint64_t pos = 0;
};

tmsize_t memRead(thandle_t h, void* buf, tmsize_t n) {
    auto* f = static_cast<MemoryFile*>(h);
    if (n <= 0 || f->pos >= f->size) return 0;
    uint64_t count = std::min<uint64_t>(static_cast<uint64_t>(n), f->size - f->pos);
    std::memcpy(buf, f->data + f->pos, count);
    f->pos += count;
    return static_cast<tmsize_t>(count);
}

tmsize_t memNoWrite(thandle_t, void*, tmsize_t) { return 0; }

toff_t memSeek(thandle_t h, toff_t off, int whence) {
    auto* f = static_cast<MemoryFile*>(h);
    uint64_t base = whence == SEEK_CUR ? f->pos : whence == SEEK_END ? f->size : 0;
    if (off > std::numeric_limits<uint64_t>::max() - base) return static_cast<toff_t>(-1);
    f->pos = base + off;
    return f->pos;
}

int memClose(thandle_t) { return 0; }
toff_t memSize(thandle_t h) { return static_cast<MemoryFile*>(h)->size; }

int memMap(thandle_t h, void** base, toff_t* size) {
    auto* f = static_cast<MemoryFile*>(h);
    // libtiff only reads mapped memory (it copies before any bit reversal).
    *base = const_cast<uint8_t*>(f->data);
    *size = f->size;
    return 1;
}

void memUnmap(thandle_t, void*, toff_t) {}

TIFFOpenOptions* openOptions(TiffLog* log) {
    TIFFOpenOptions* opts = TIFFOpenOptionsAlloc();
    if (!opts) return nullptr;
    TIFFOpenOptionsSetErrorHandlerExtR(opts, logError, log);
    TIFFOpenOptionsSetWarningHandlerExtR(opts, ignoreWarning, nullptr);
    // No single allocation of libtiff's (strip, tile, tag arrays) may exceed
    // what a whole decoded page may take.
    size_t cap = std::max<size_t>(pixelAllocationLimit(), size_t{16} << 20);
    if (cap > static_cast<size_t>(std::numeric_limits<tmsize_t>::max()))
        cap = static_cast<size_t>(std::numeric_limits<tmsize_t>::max());
    TIFFOpenOptionsSetMaxSingleMemAlloc(opts, static_cast<tmsize_t>(cap));
    return opts;
}

// An open reading handle. Not movable: libtiff keeps pointers to the members.
class TiffReader {
public:
    explicit TiffReader(std::shared_ptr<const ByteSource> bytes) : bytes_(std::move(bytes)) {
        file_.data = bytes_->data();
        file_.size = bytes_->size();
    }
    TiffReader(const TiffReader&) = delete;
    TiffReader& operator=(const TiffReader&) = delete;
    ~TiffReader() {
        if (tif_) TIFFClose(tif_);
    }

    Status open() {
        TIFFOpenOptions* opts = openOptions(&log_);
        if (!opts) return Status::OutOfMemory;
        tif_ = TIFFClientOpenExt("memory", "r", &file_, memRead, memNoWrite, memSeek, memClose,
                                 memSize, memMap, memUnmap, opts);
        TIFFOpenOptionsFree(opts);
        return tif_ ? Status::Ok : Status::InvalidParameter;
    }

    TIFF* tif() const { return tif_; }
    const ByteSource& bytes() const { return *bytes_; }
    TiffLog& log() { return log_; }

private:
    std::shared_ptr<const ByteSource> bytes_;
    MemoryFile file_;
    TiffLog log_;
    TIFF* tif_ = nullptr;
};

// ---------------------------------------------------------------------------
// Page layout

// How a page's stored rows become rows of the platform format.
enum class RowKind {
    Copy,          // 1, 4, 8 bits, same layout
    Bits2To4,      // 2-bit indices or greys widened to 4 bpp
    Grey16ToRgb48, // 16-bit grey spread over B, G, R
    Rgb8,          // to 24bppRGB
    Rgba8,         // to 32bppARGB / PARGB
    Rgb16,         // to 48bppRGB
    Rgba16,        // to 64bppARGB / PARGB
    ViaRgba,       // libtiff's RGBA interface
};

struct PageLayout {
    uint32_t width = 0;
    uint32_t height = 0;
    uint16_t bps = 1;
    uint16_t spp = 1;
    uint16_t photometric = PHOTOMETRIC_MINISWHITE;
    uint16_t planar = PLANARCONFIG_CONTIG;
    uint16_t sampleFormat = SAMPLEFORMAT_UINT;
    int alphaSample = -1;  // sample index of the alpha channel, -1 for none
    bool associatedAlpha = false;
    RowKind kind = RowKind::ViaRgba;
    PixelFormat format = PixelFormatUndefined;
    bool invertGrey16 = false;
};

// Finds the alpha sample among the extra samples, as libtiff's RGBA interface
// does: an RGB page with four samples and no ExtraSamples tag has associated alpha.
void findAlpha(TIFF* tif, int colourSamples, PageLayout& p) {
    uint16_t count = 0;
    uint16_t* types = nullptr;
    if (TIFFGetField(tif, TIFFTAG_EXTRASAMPLES, &count, &types) && types) {
        for (uint16_t i = 0; i < count; ++i) {
            if (types[i] == EXTRASAMPLE_ASSOCALPHA || types[i] == EXTRASAMPLE_UNASSALPHA) {
                int sample = colourSamples + i;
                if (sample < p.spp) {
                    p.alphaSample = sample;
                    p.associatedAlpha = types[i] == EXTRASAMPLE_ASSOCALPHA;
                }
                return;
            }
        }
        return;
    }
    if (p.photometric == PHOTOMETRIC_RGB && p.spp == 4) {
        p.alphaSample = 3;
        p.associatedAlpha = true;
    }
}

// Chooses how the page is kept. Formats with a platform twin are read
// sample by sample; everything else goes through the RGBA interface.
void chooseKind(TIFF* tif, PageLayout& p) {
    p.kind = RowKind::ViaRgba;
    uint16_t compression = COMPRESSION_NONE;
    TIFFGetFieldDefaulted(tif, TIFFTAG_COMPRESSION, &compression);
    if (compression == COMPRESSION_OJPEG || compression == COMPRESSION_JPEG) return;
    if (p.sampleFormat != SAMPLEFORMAT_UINT && p.sampleFormat != SAMPLEFORMAT_VOID) return;
    bool grey = p.photometric == PHOTOMETRIC_MINISWHITE || p.photometric == PHOTOMETRIC_MINISBLACK;
    if ((grey || p.photometric == PHOTOMETRIC_PALETTE) && p.spp == 1) {
        switch (p.bps) {
            case 1: p.kind = RowKind::Copy; p.format = PixelFormat1bppIndexed; return;
            case 2: p.kind = RowKind::Bits2To4; p.format = PixelFormat4bppIndexed; return;
            case 4: p.kind = RowKind::Copy; p.format = PixelFormat4bppIndexed; return;
            case 8: p.kind = RowKind::Copy; p.format = PixelFormat8bppIndexed; return;
            case 16:
                if (!grey) return;
                p.kind = RowKind::Grey16ToRgb48;
                p.format = PixelFormat48bppRGB;
                p.invertGrey16 = p.photometric == PHOTOMETRIC_MINISWHITE;
                return;
            default: return;
        }
    }
    if (p.photometric != PHOTOMETRIC_RGB || p.spp < 3 || (p.bps != 8 && p.bps != 16)) return;
    findAlpha(tif, 3, p);
    bool alpha = p.alphaSample >= 0;
    if (p.bps == 8) {
        p.kind = alpha ? RowKind::Rgba8 : RowKind::Rgb8;
        p.format = !alpha ? PixelFormat24bppRGB
                   : p.associatedAlpha ? PixelFormat32bppPARGB : PixelFormat32bppARGB;
    } else {
        p.kind = alpha ? RowKind::Rgba16 : RowKind::Rgb16;
        p.format = !alpha ? PixelFormat48bppRGB
                   : p.associatedAlpha ? PixelFormat64bppPARGB : PixelFormat64bppARGB;
    }
}

Status readLayout(TIFF* tif, PageLayout& p) {
    if (!TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &p.width) ||
        !TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &p.height))
        return Status::InvalidParameter;
    if (p.width == 0 || p.height == 0 || p.width > INT32_MAX || p.height > INT32_MAX)
        return Status::InvalidParameter;
    TIFFGetFieldDefaulted(tif, TIFFTAG_BITSPERSAMPLE, &p.bps);
    TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLESPERPIXEL, &p.spp);
    TIFFGetFieldDefaulted(tif, TIFFTAG_PLANARCONFIG, &p.planar);
    TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLEFORMAT, &p.sampleFormat);
    if (p.spp == 0 || p.spp > kMaxSamplesPerPixel || p.bps == 0 || p.bps > 64)
        return Status::InvalidParameter;
    if (!TIFFGetField(tif, TIFFTAG_PHOTOMETRIC, &p.photometric)) {
        // Missing photometric: guess as libtiff's RGBA interface does.
        p.photometric = p.spp >= 3 ? PHOTOMETRIC_RGB : PHOTOMETRIC_MINISBLACK;
    }
    // Floating-point samples carry no fixed range to map to pixels.
    if (p.sampleFormat == SAMPLEFORMAT_IEEEFP || p.sampleFormat == SAMPLEFORMAT_COMPLEXIEEEFP ||
        p.sampleFormat == SAMPLEFORMAT_COMPLEXINT)
        return Status::UnknownImageFormat;
    if (TIFFIsTiled(tif) && TIFFNumberOfTiles(tif) > kMaxTiles) return Status::InvalidParameter;
    chooseKind(tif, p);
    return Status::Ok;
}

// ---------------------------------------------------------------------------
// Palettes, resolution, flags

Status readColorMap(TIFF* tif, const PageLayout& p, Palette& out) {
    uint16_t *r = nullptr, *g = nullptr, *b = nullptr;
    if (!TIFFGetField(tif, TIFFTAG_COLORMAP, &r, &g, &b) || !r || !g || !b)
        return Status::InvalidParameter;
    size_t n = size_t{1} << p.bps;
    // Some writers store 8-bit values in the 16-bit map; detect them as libtiff does.
    bool eightBit = true;
    for (size_t i = 0; i < n && eightBit; ++i) eightBit = r[i] < 256 && g[i] < 256 && b[i] < 256;
    auto scale = [eightBit](uint16_t v) -> uint32_t {
        return eightBit ? v : (uint32_t{v} * 255 + 32767) / 65535;
    };
    out.flags = 0;
    out.entries.resize(n);
    for (size_t i = 0; i < n; ++i)
        out.entries[i] = 0xFF000000u | scale(r[i]) << 16 | scale(g[i]) << 8 | scale(b[i]);
    return Status::Ok;
}

// Greys from dark to light for MINISBLACK, the reverse for MINISWHITE, so
// that the stored values serve as indices unchanged.
Palette greyPaletteFor(const PageLayout& p) {
    Palette pal = grayPalette(1 << p.bps);
    if (p.photometric == PHOTOMETRIC_MINISWHITE) std::reverse(pal.entries.begin(), pal.entries.end());
    return pal;
}

// Resolution in dots per inch. Centimetres are converted; without a unit the
// values give only the aspect ratio, which is kept around 96 dpi vertically.
void readResolution(TIFF* tif, Frame& frame) {
    float x = 0, y = 0;
    bool hasX = TIFFGetField(tif, TIFFTAG_XRESOLUTION, &x) && std::isfinite(x) && x > 0;
    bool hasY = TIFFGetField(tif, TIFFTAG_YRESOLUTION, &y) && std::isfinite(y) && y > 0;
    if (!hasX && !hasY) return;
    if (!hasX) x = y;
    if (!hasY) y = x;
    uint16_t unit = RESUNIT_INCH;
    TIFFGetFieldDefaulted(tif, TIFFTAG_RESOLUTIONUNIT, &unit);
    if (unit == RESUNIT_CENTIMETER) {
        x *= 2.54f;
        y *= 2.54f;
    } else if (unit == RESUNIT_NONE) {
        frame.dpiX = kDefaultDpi * x / y;
        frame.dpiY = kDefaultDpi;
        if (!std::isfinite(frame.dpiX) || frame.dpiX <= 0) frame.dpiX = kDefaultDpi;
        return;
    }
    if (!std::isfinite(x) || !std::isfinite(y)) return;
    frame.dpiX = x;
    frame.dpiY = y;
    frame.flags |= ImageFlagsHasRealDPI;
}

uint32_t colourSpaceFlag(uint16_t photometric) {
    switch (photometric) {
        case PHOTOMETRIC_MINISWHITE:
        case PHOTOMETRIC_MINISBLACK: return ImageFlagsColorSpaceGRAY;
        case PHOTOMETRIC_SEPARATED: return ImageFlagsColorSpaceCMYK;
        case PHOTOMETRIC_YCBCR: return ImageFlagsColorSpaceYCBCR;
        default: return ImageFlagsColorSpaceRGB;
    }
}

// ---------------------------------------------------------------------------
// Stored rows to platform rows

// Swaps the first and third sample of each pixel: TIFF keeps R, G, B, the
// platform B, G, R. Used in both directions.
void swapRedBlue(uint8_t* row, uint32_t count, int bytesPerSample, int samples) {
    size_t step = static_cast<size_t>(bytesPerSample) * samples;
    if (bytesPerSample == 1) {
        for (uint32_t i = 0; i < count; ++i, row += step) std::swap(row[0], row[2]);
    } else {
        for (uint32_t i = 0; i < count; ++i, row += step) {
            std::swap(row[0], row[4]);
            std::swap(row[1], row[5]);
        }
    }
}

// Picks R, G, B (and alpha) out of `spp`-sample pixels into B, G, R (, A).
void gatherColour(const uint8_t* in, uint8_t* out, const PageLayout& p, int bytesPerSample) {
    int outSamples = p.alphaSample >= 0 ? 4 : 3;
    size_t inStep = static_cast<size_t>(p.spp) * bytesPerSample;
    size_t outStep = static_cast<size_t>(outSamples) * bytesPerSample;
    size_t b = static_cast<size_t>(bytesPerSample);
    if (inStep == outStep) {
        std::memcpy(out, in, outStep * p.width);
    } else {
        for (uint32_t x = 0; x < p.width; ++x) {
            const uint8_t* s = in + x * inStep;
            uint8_t* d = out + x * outStep;
            std::memcpy(d, s, 3 * b);
            if (outSamples == 4) std::memcpy(d + 3 * b, s + p.alphaSample * b, b);
        }
    }
    swapRedBlue(out, p.width, bytesPerSample, outSamples);
}

void convertStoredRow(const PageLayout& p, const uint8_t* in, uint8_t* out) {
    switch (p.kind) {
        case RowKind::Copy:
            std::memcpy(out, in, (static_cast<size_t>(p.width) * p.bps + 7) / 8);
            break;
        case RowKind::Bits2To4:
            for (uint32_t x = 0; x < p.width; x += 2) {
                uint8_t byte = in[x / 4];
                int shift = 6 - 2 * static_cast<int>(x % 4);
                uint8_t hi = (byte >> shift) & 3;
                uint8_t lo = shift >= 2 ? (byte >> (shift - 2)) & 3 : 0;
                out[x / 2] = static_cast<uint8_t>(hi << 4 | lo);
            }
            break;
        case RowKind::Grey16ToRgb48:
            for (uint32_t x = 0; x < p.width; ++x) {
                uint16_t v;
                std::memcpy(&v, in + 2 * x, 2);
                if (p.invertGrey16) v = static_cast<uint16_t>(65535 - v);
                for (int c = 0; c < 3; ++c) std::memcpy(out + 6 * x + 2 * c, &v, 2);
            }
            break;
        case RowKind::Rgb8:
        case RowKind::Rgba8: gatherColour(in, out, p, 1); break;
        case RowKind::Rgb16:
        case RowKind::Rgba16: gatherColour(in, out, p, 2); break;
        case RowKind::ViaRgba: break;
    }
}

// ---------------------------------------------------------------------------
// Reading stored rows in bands (one strip or one row of tiles at a time)

class BandReader {
public:
    BandReader(TIFF* tif, const PageLayout& p) : tif_(tif), p_(p) {}

    Status init() {
        tiled_ = TIFFIsTiled(tif_) != 0;
        separate_ = p_.planar == PLANARCONFIG_SEPARATE && p_.spp > 1;
        if (separate_ && p_.bps % 8 != 0) return Status::UnknownImageFormat;
        planes_ = separate_ ? p_.spp : 1;
        uint64_t planeSamples = uint64_t{p_.width} * (separate_ ? 1 : p_.spp);
        planeRowBytes_ = (planeSamples * p_.bps + 7) / 8;
        rowBytes_ = (uint64_t{p_.width} * p_.spp * p_.bps + 7) / 8;
        if (tiled_) {
            if (!TIFFGetField(tif_, TIFFTAG_TILEWIDTH, &tileW_) ||
                !TIFFGetField(tif_, TIFFTAG_TILELENGTH, &tileH_) || tileW_ == 0 || tileH_ == 0)
                return Status::InvalidParameter;
            // Tiles start on byte boundaries only when their rows fill whole bytes.
            if (uint64_t{tileW_} * (separate_ ? 1 : p_.spp) * p_.bps % 8 != 0)
                return Status::UnknownImageFormat;
            bandRows_ = std::min(tileH_, p_.height);
            chunkBytes_ = TIFFTileSize64(tif_);
        } else {
            uint32_t rps = 0;
            TIFFGetFieldDefaulted(tif_, TIFFTAG_ROWSPERSTRIP, &rps);
            bandRows_ = rps == 0 ? p_.height : std::min(rps, p_.height);
            chunkBytes_ = TIFFStripSize64(tif_);
        }
        uint64_t limit = pixelAllocationLimit();
        uint64_t bandBytes = planeRowBytes_ * bandRows_;
        if (chunkBytes_ == 0 || chunkBytes_ > limit || bandBytes > limit ||
            rowBytes_ * bandRows_ > limit)
            return Status::OutOfMemory;
        if (!tiled_ && chunkBytes_ < bandBytes) return Status::InvalidParameter;
        chunk_.resize(chunkBytes_);
        if (tiled_ || separate_) planeBand_.resize(planes_, std::vector<uint8_t>(bandBytes));
        if (separate_) band_.resize(rowBytes_ * bandRows_);
        return Status::Ok;
    }

    uint32_t bandRows() const { return bandRows_; }
    size_t rowBytes() const { return rowBytes_; }
    int failures() const { return failures_; }
    int reads() const { return reads_; }

    // Stored rows [y0, y0 + bandRows) of all samples, interleaved. Rows that
    // could not be decoded are zero.
    const uint8_t* band(uint32_t y0) {
        uint32_t rows = std::min(bandRows_, p_.height - y0);
        if (!tiled_ && !separate_) {
            readStrip(y0 / bandRows_, rows, chunk_.data());
            return chunk_.data();
        }
        for (uint16_t plane = 0; plane < planes_; ++plane) {
            if (tiled_) readTileRow(y0, rows, plane);
            else readStrip(plane * stripsPerPlane() + y0 / bandRows_, rows, planeBand_[plane].data());
        }
        if (!separate_) return planeBand_[0].data();
        interleave(rows);
        return band_.data();
    }

private:
    uint32_t stripsPerPlane() const { return (p_.height + bandRows_ - 1) / bandRows_; }

    void readStrip(uint32_t strip, uint32_t rows, uint8_t* dst) {
        tmsize_t want = static_cast<tmsize_t>(planeRowBytes_ * rows);
        std::memset(dst, 0, static_cast<size_t>(want));
        ++reads_;
        if (TIFFReadEncodedStrip(tif_, strip, dst, want) < 0) ++failures_;
    }

    void readTileRow(uint32_t y0, uint32_t rows, uint16_t plane) {
        uint8_t* dst = planeBand_[plane].data();
        std::memset(dst, 0, planeBand_[plane].size());
        uint64_t tileRowBytes = (uint64_t{tileW_} * (separate_ ? 1 : p_.spp) * p_.bps) / 8;
        for (uint32_t x = 0; x < p_.width; x += tileW_) {
            ++reads_;
            std::memset(chunk_.data(), 0, chunk_.size());
            uint32_t tile = TIFFComputeTile(tif_, x, y0, 0, plane);
            if (TIFFReadEncodedTile(tif_, tile, chunk_.data(), static_cast<tmsize_t>(chunk_.size())) < 0)
                ++failures_;
            uint64_t xByte = uint64_t{x} / tileW_ * tileRowBytes;
            uint64_t copy = std::min<uint64_t>(tileRowBytes, planeRowBytes_ - xByte);
            for (uint32_t r = 0; r < rows && r < tileH_; ++r)
                std::memcpy(dst + r * planeRowBytes_ + xByte, chunk_.data() + r * tileRowBytes, copy);
        }
    }

    void interleave(uint32_t rows) {
        size_t b = p_.bps / 8;
        for (uint32_t r = 0; r < rows; ++r) {
            uint8_t* out = band_.data() + r * rowBytes_;
            for (uint16_t s = 0; s < planes_; ++s) {
                const uint8_t* in = planeBand_[s].data() + r * planeRowBytes_;
                for (uint32_t x = 0; x < p_.width; ++x)
                    std::memcpy(out + (static_cast<size_t>(x) * p_.spp + s) * b, in + x * b, b);
            }
        }
    }

    TIFF* tif_;
    const PageLayout& p_;
    bool tiled_ = false;
    bool separate_ = false;
    uint16_t planes_ = 1;
    uint32_t tileW_ = 0, tileH_ = 0;
    uint32_t bandRows_ = 1;
    uint64_t planeRowBytes_ = 0;
    uint64_t rowBytes_ = 0;
    uint64_t chunkBytes_ = 0;
    std::vector<uint8_t> chunk_;
    std::vector<std::vector<uint8_t>> planeBand_;
    std::vector<uint8_t> band_;
    int failures_ = 0;
    int reads_ = 0;
};

Status decodeStored(TIFF* tif, const PageLayout& p, PixelData& pixels) {
    BandReader reader(tif, p);
    Status s = reader.init();
    if (s != Status::Ok) return s;
    s = PixelData::allocate(static_cast<int>(p.width), static_cast<int>(p.height), p.format, pixels);
    if (s != Status::Ok) return s;
    for (uint32_t y0 = 0; y0 < p.height; y0 += reader.bandRows()) {
        const uint8_t* band = reader.band(y0);
        uint32_t rows = std::min(reader.bandRows(), p.height - y0);
        for (uint32_t r = 0; r < rows; ++r)
            convertStoredRow(p, band + r * reader.rowBytes(), pixels.row(static_cast<int>(y0 + r)));
    }
    // Damaged strips leave rows blank; a page of which nothing decoded is an error.
    if (reader.failures() == reader.reads()) return Status::InvalidParameter;
    return Status::Ok;
}

// ---------------------------------------------------------------------------
// The RGBA interface, for everything without a platform twin

// libtiff gives premultiplied R, G, B, A bytes; the platform wants B, G, R
// (, A) not premultiplied.
void rgbaRowToPlatform(const uint32_t* in, uint32_t width, bool alpha, uint8_t* out) {
    for (uint32_t x = 0; x < width; ++x) {
        uint32_t v = in[x];
        ARGB c = (v & 0xFF000000u) | (v & 0xFFu) << 16 | (v & 0xFF00u) | (v >> 16 & 0xFFu);
        if (alpha) {
            c = unpremultiply(c);
            std::memcpy(out + 4 * x, &c, 4);
        } else {
            out[3 * x] = static_cast<uint8_t>(c);
            out[3 * x + 1] = static_cast<uint8_t>(c >> 8);
            out[3 * x + 2] = static_cast<uint8_t>(c >> 16);
        }
    }
}

Status decodeViaRgba(TIFF* tif, const PageLayout& p, PixelData& pixels) {
    char message[1024] = {};
    if (!TIFFRGBAImageOK(tif, message)) return Status::UnknownImageFormat;
    TIFFRGBAImage img;
    if (!TIFFRGBAImageBegin(&img, tif, 0, message)) return Status::InvalidParameter;
    // Keep the stored row order, as the directly kept formats do.
    img.req_orientation = img.orientation;
    bool alpha = img.alpha != 0;
    PixelFormat format = alpha ? PixelFormat32bppARGB : PixelFormat24bppRGB;
    uint32_t bandRows = p.height;
    uint32_t chunkRows = 0;
    if (TIFFIsTiled(tif)) TIFFGetField(tif, TIFFTAG_TILELENGTH, &chunkRows);
    else TIFFGetFieldDefaulted(tif, TIFFTAG_ROWSPERSTRIP, &chunkRows);
    if (chunkRows > 0) bandRows = std::min(std::max(chunkRows, uint32_t{64}), p.height);
    Status s = Status::Ok;
    if (!fitsAllocationLimit(static_cast<int>(p.width), static_cast<int>(p.height), format) ||
        !fitsAllocationLimit(static_cast<int>(p.width), static_cast<int>(bandRows), PixelFormat32bppARGB))
        s = Status::OutOfMemory;
    if (s == Status::Ok)
        s = PixelData::allocate(static_cast<int>(p.width), static_cast<int>(p.height), format, pixels);
    if (s != Status::Ok) {
        TIFFRGBAImageEnd(&img);
        return s;
    }
    std::vector<uint32_t> raster(static_cast<size_t>(p.width) * bandRows);
    int failures = 0, reads = 0;
    for (uint32_t y0 = 0; y0 < p.height; y0 += bandRows) {
        uint32_t rows = std::min(bandRows, p.height - y0);
        std::fill(raster.begin(), raster.end(), 0u);
        img.row_offset = static_cast<int>(y0);
        img.col_offset = 0;
        ++reads;
        if (!TIFFRGBAImageGet(&img, raster.data(), p.width, rows)) ++failures;
        for (uint32_t r = 0; r < rows; ++r)
            rgbaRowToPlatform(raster.data() + static_cast<size_t>(r) * p.width, p.width, alpha,
                              pixels.row(static_cast<int>(y0 + r)));
    }
    TIFFRGBAImageEnd(&img);
    return failures == reads ? Status::InvalidParameter : Status::Ok;
}

// ---------------------------------------------------------------------------
// One page

Status decodeCurrentPage(TiffReader& reader, const DecodeOptions& options, Frame& frame) {
    TIFF* tif = reader.tif();
    PageLayout p;
    Status s = readLayout(tif, p);
    if (s != Status::Ok) return s;
    PixelFormat target = p.kind == RowKind::ViaRgba ? PixelFormat32bppARGB : p.format;
    if (!fitsAllocationLimit(static_cast<int>(p.width), static_cast<int>(p.height), target))
        return Status::OutOfMemory;

    frame = Frame{};
    if (p.kind != RowKind::ViaRgba && isIndexed(p.format)) {
        if (p.photometric == PHOTOMETRIC_PALETTE) {
            s = readColorMap(tif, p, frame.palette);
            if (s != Status::Ok) return s;
        } else {
            frame.palette = greyPaletteFor(p);
        }
    }
    s = p.kind == RowKind::ViaRgba ? decodeViaRgba(tif, p, frame.pixels)
                                   : decodeStored(tif, p, frame.pixels);
    if (s != Status::Ok) return s;

    readResolution(tif, frame);
    frame.flags |= colourSpaceFlag(p.photometric);
    if (hasAlpha(frame.pixels.format())) frame.flags |= ImageFlagsHasAlpha;

    uint32_t iccSize = 0;
    void* icc = nullptr;
    if (TIFFGetField(tif, TIFFTAG_ICCPROFILE, &iccSize, &icc) && icc && iccSize > 0) {
        auto* b = static_cast<const uint8_t*>(icc);
        frame.iccProfile.assign(b, b + iccSize);
        if (options.useEmbeddedColorManagement) applyEmbeddedProfile(frame);
    }
    // The page's tags as property items. The tag-directory reader takes
    // classic TIFF only; BigTIFF pages carry none.
    if (!TIFFIsBigTIFF(tif))
        (void)readTiffDirectory(reader.bytes().bytes(), TIFFCurrentDirOffset(tif), frame.properties);
    return Status::Ok;
}

// Pages on demand: keeps the handle open and moves to the asked directory.
class TiffPages final : public FrameSource {
public:
    TiffPages(std::unique_ptr<TiffReader> reader, const DecodeOptions& options, uint32_t count)
        : reader_(std::move(reader)), options_(options), count_(count) {}
    Guid dimension() const override { return FrameDimension::Page; }
    uint32_t count() const override { return count_; }
    Status decode(uint32_t index, Frame& out) override {
        if (index >= count_) return Status::InvalidParameter;
        if (!TIFFSetDirectory(reader_->tif(), static_cast<tdir_t>(index))) return Status::InvalidParameter;
        Frame frame;
        Status s = decodeCurrentPage(*reader_, options_, frame);
        if (s == Status::Ok) out = std::move(frame);
        return s;
    }

private:
    std::unique_ptr<TiffReader> reader_;
    DecodeOptions options_;
    uint32_t count_;
};

// ---------------------------------------------------------------------------
// Decoder

CodecInfo tiffInfo(uint32_t flags) {
    CodecInfo i;
    i.clsid = CodecClsid::TIFF;
    i.formatId = ImageFormat::TIFF;
    i.codecName = "Built-in TIFF Codec";
    i.formatDescription = "TIFF";
    i.filenameExtension = "*.TIF;*.TIFF";
    i.mimeType = "image/tiff";
    i.flags = flags;
    return i;
}

class TiffDecoder final : public Decoder {
public:
    const CodecInfo& info() const override {
        static const CodecInfo i = tiffInfo(CodecFlagsDecoder | CodecFlagsEncoder |
                                            CodecFlagsSupportBitmap | CodecFlagsBuiltin);
        return i;
    }

    bool sniff(std::span<const uint8_t> head) const override {
        if (head.size() < 4) return false;
        static const uint8_t kSignatures[4][4] = {
            {'I', 'I', 42, 0}, {'M', 'M', 0, 42}, {'I', 'I', 43, 0}, {'M', 'M', 0, 43}};
        for (const auto& sig : kSignatures)
            if (std::memcmp(head.data(), sig, 4) == 0) return true;
        return false;
    }

    Status decode(std::shared_ptr<const ByteSource> bytes, const DecodeOptions& options,
                  Decoded& out) const override {
        if (!bytes || !sniff(bytes->bytes())) return Status::UnknownImageFormat;
        auto reader = std::make_unique<TiffReader>(std::move(bytes));
        Status s = reader->open();
        if (s != Status::Ok) return s;
        Frame frame;
        s = decodeCurrentPage(*reader, options, frame);
        if (s != Status::Ok) return s;
        uint32_t pages = std::min<uint32_t>(TIFFNumberOfDirectories(reader->tif()), kMaxPages);
        out.rawFormat = ImageFormat::TIFF;
        out.frame = std::move(frame);
        out.isMetafile = false;
        if (pages > 1) out.frames = std::make_unique<TiffPages>(std::move(reader), options, pages);
        return Status::Ok;
    }
};

// ---------------------------------------------------------------------------
// Writing into a growable buffer

struct GrowingFile {
    std::vector<uint8_t> data;
    uint64_t pos = 0;
};

tmsize_t growRead(thandle_t h, void* buf, tmsize_t n) {
    auto* f = static_cast<GrowingFile*>(h);
    if (n <= 0 || f->pos >= f->data.size()) return 0;
    size_t count = std::min<size_t>(static_cast<size_t>(n), f->data.size() - f->pos);
    std::memcpy(buf, f->data.data() + f->pos, count);
    f->pos += count;
    return static_cast<tmsize_t>(count);
}

tmsize_t growWrite(thandle_t h, void* buf, tmsize_t n) {
    auto* f = static_cast<GrowingFile*>(h);
    if (n < 0) return -1;
    size_t end = static_cast<size_t>(f->pos) + static_cast<size_t>(n);
    if (end > f->data.size()) f->data.resize(end);
    std::memcpy(f->data.data() + f->pos, buf, static_cast<size_t>(n));
    f->pos = end;
    return n;
}

toff_t growSeek(thandle_t h, toff_t off, int whence) {
    auto* f = static_cast<GrowingFile*>(h);
    uint64_t base = whence == SEEK_CUR ? f->pos : whence == SEEK_END ? f->data.size() : 0;
    f->pos = base + off;
    return f->pos;
}

toff_t growSize(thandle_t h) { return static_cast<GrowingFile*>(h)->data.size(); }
int noMap(thandle_t, void**, toff_t*) { return 0; }

// What is written: TIFF layout plus the platform format rows pass through.
struct WritePlan {
    uint16_t compression = COMPRESSION_LZW;
    int depth = 0;  // 1, 4, 8, 24, 32, 48, 64
    PixelFormat rowFormat = PixelFormatUndefined;
    Palette palette;  // indexed depths
    uint16_t photometric = PHOTOMETRIC_RGB;
    uint16_t spp = 3;
    uint16_t bps = 8;
};

bool isBilevelCompression(uint16_t c) {
    return c == COMPRESSION_CCITTFAX3 || c == COMPRESSION_CCITTFAX4 || c == COMPRESSION_CCITTRLE;
}

Status compressionFromParam(uint32_t value, uint16_t& out) {
    switch (value) {
        case EncoderValueCompressionLZW: out = COMPRESSION_LZW; return Status::Ok;
        case EncoderValueCompressionCCITT3: out = COMPRESSION_CCITTFAX3; return Status::Ok;
        case EncoderValueCompressionCCITT4: out = COMPRESSION_CCITTFAX4; return Status::Ok;
        case EncoderValueCompressionRle: out = COMPRESSION_CCITTRLE; return Status::Ok;
        case EncoderValueCompressionNone: out = COMPRESSION_NONE; return Status::Ok;
        default: return Status::InvalidParameter;
    }
}

// The depth an image keeps when no ColorDepth is asked for.
int naturalDepth(PixelFormat f) {
    switch (f) {
        case PixelFormat1bppIndexed: return 1;
        case PixelFormat4bppIndexed: return 4;
        case PixelFormat8bppIndexed: return 8;
        case PixelFormat48bppRGB: return 48;
        case PixelFormat64bppARGB:
        case PixelFormat64bppPARGB: return 64;
        // 16-bit grey keeps its precision in 16-bit samples.
        case PixelFormat16bppGrayScale: return 48;
        default: return hasAlpha(f) ? 32 : 24;
    }
}

bool imageIsGrey(const PixelData& px, const Palette& pal) {
    std::vector<ARGB> row(static_cast<size_t>(px.width()));
    for (int y = 0; y < px.height(); ++y) {
        rowToArgb32(px.format(), px.row(y), 0, px.width(), &pal, row.data());
        for (ARGB c : row)
            if (((c >> 16) & 0xFF) != ((c >> 8) & 0xFF) || ((c >> 8) & 0xFF) != (c & 0xFF)) return false;
    }
    return true;
}

// The palette an indexed depth is written with: the image's own when it has
// few enough entries, else greys for a grey image, else the platform's
// default palette of that depth.
Palette indexedPalette(const Image& image, int depth, PixelFormat rowFormat) {
    const PixelData& px = image.pixels();
    size_t max = size_t{1} << depth;
    if (isIndexed(px.format()) && !image.palette().entries.empty() &&
        image.palette().entries.size() <= max) {
        Palette p = image.palette();
        p.entries.resize(max, 0xFF000000u);
        return p;
    }
    if (imageIsGrey(px, image.palette())) return grayPalette(static_cast<int>(max));
    return defaultPalette(rowFormat);
}

bool isGreyRamp(const Palette& p, bool ascending) {
    size_t n = p.entries.size();
    if (n < 2) return false;
    Palette ramp = grayPalette(static_cast<int>(n));
    if (!ascending) std::reverse(ramp.entries.begin(), ramp.entries.end());
    return ramp.entries == p.entries;
}

Status planWrite(const Image& image, const EncoderParameters& params, WritePlan& plan) {
    Status s = compressionFromParam(
        encoderParameterValue(params, EncoderParam::Compression, EncoderValueCompressionLZW),
        plan.compression);
    if (s != Status::Ok) return s;
    PixelFormat src = image.pixels().format();
    bool bilevel = isBilevelCompression(plan.compression);
    uint32_t asked = encoderParameterValue(params, EncoderParam::ColorDepth, 0);
    if (asked != 0 && asked != 1 && asked != 4 && asked != 8 && asked != 24 && asked != 32 &&
        asked != 48 && asked != 64)
        return Status::InvalidParameter;
    if (bilevel && asked != 0 && asked != 1) return Status::InvalidParameter;
    plan.depth = bilevel ? 1 : asked != 0 ? static_cast<int>(asked) : naturalDepth(src);

    switch (plan.depth) {
        case 1:
            plan.rowFormat = PixelFormat1bppIndexed;
            plan.bps = 1;
            plan.spp = 1;
            if (bilevel) {
                // Fax readers expect 0 = white.
                plan.palette.flags = PaletteFlagsGrayScale;
                plan.palette.entries = {0xFFFFFFFFu, 0xFF000000u};
            } else {
                plan.palette = isIndexed(src) && image.palette().entries.size() <= 2
                                   ? indexedPalette(image, 1, PixelFormat1bppIndexed)
                                   : defaultPalette(PixelFormat1bppIndexed);
            }
            break;
        case 4:
        case 8:
            plan.rowFormat = plan.depth == 4 ? PixelFormat4bppIndexed : PixelFormat8bppIndexed;
            plan.bps = static_cast<uint16_t>(plan.depth);
            plan.spp = 1;
            plan.palette = indexedPalette(image, plan.depth, plan.rowFormat);
            break;
        case 24: plan.rowFormat = PixelFormat24bppRGB; plan.spp = 3; plan.bps = 8; break;
        case 32: plan.rowFormat = PixelFormat32bppARGB; plan.spp = 4; plan.bps = 8; break;
        case 48: plan.rowFormat = PixelFormat48bppRGB; plan.spp = 3; plan.bps = 16; break;
        case 64: plan.rowFormat = PixelFormat64bppARGB; plan.spp = 4; plan.bps = 16; break;
        default: return Status::InvalidParameter;
    }
    if (plan.spp == 1) {
        plan.photometric = isGreyRamp(plan.palette, true)    ? PHOTOMETRIC_MINISBLACK
                           : isGreyRamp(plan.palette, false) ? PHOTOMETRIC_MINISWHITE
                                                             : PHOTOMETRIC_PALETTE;
    }
    return Status::Ok;
}

void setPageTags(TIFF* tif, const Image& image, const WritePlan& plan) {
    const PixelData& px = image.pixels();
    TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, static_cast<uint32_t>(px.width()));
    TIFFSetField(tif, TIFFTAG_IMAGELENGTH, static_cast<uint32_t>(px.height()));
    TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, plan.bps);
    TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, plan.spp);
    TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, plan.photometric);
    TIFFSetField(tif, TIFFTAG_COMPRESSION, plan.compression);
    if (plan.spp == 4) {
        uint16_t extra = EXTRASAMPLE_UNASSALPHA;
        TIFFSetField(tif, TIFFTAG_EXTRASAMPLES, 1, &extra);
    }
    if (plan.compression == COMPRESSION_LZW && plan.spp >= 3)
        TIFFSetField(tif, TIFFTAG_PREDICTOR, PREDICTOR_HORIZONTAL);
    if (plan.photometric == PHOTOMETRIC_PALETTE) {
        size_t n = size_t{1} << plan.bps;
        std::vector<uint16_t> r(n), g(n), b(n);
        for (size_t i = 0; i < n && i < plan.palette.entries.size(); ++i) {
            ARGB c = plan.palette.entries[i];
            r[i] = static_cast<uint16_t>((c >> 16 & 0xFF) * 257);
            g[i] = static_cast<uint16_t>((c >> 8 & 0xFF) * 257);
            b[i] = static_cast<uint16_t>((c & 0xFF) * 257);
        }
        TIFFSetField(tif, TIFFTAG_COLORMAP, r.data(), g.data(), b.data());
    }
    TIFFSetField(tif, TIFFTAG_XRESOLUTION, image.horizontalResolution());
    TIFFSetField(tif, TIFFTAG_YRESOLUTION, image.verticalResolution());
    TIFFSetField(tif, TIFFTAG_RESOLUTIONUNIT, RESUNIT_INCH);
    uint32_t rps = isBilevelCompression(plan.compression) ? static_cast<uint32_t>(px.height())
                                                          : TIFFDefaultStripSize(tif, 0);
    TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, rps);
}

Status writeRows(TIFF* tif, const Image& image, const WritePlan& plan) {
    const PixelData& px = image.pixels();
    size_t rowBytes = strideFor(plan.rowFormat, px.width());
    std::vector<uint8_t> row(rowBytes);
    const Palette* dstPalette = isIndexed(plan.rowFormat) ? &plan.palette : nullptr;
    for (int y = 0; y < px.height(); ++y) {
        convertRow(px.format(), px.row(y), 0, &image.palette(), plan.rowFormat, row.data(), 0,
                   dstPalette, px.width());
        if (plan.spp >= 3) swapRedBlue(row.data(), static_cast<uint32_t>(px.width()), plan.bps / 8, plan.spp);
        if (TIFFWriteScanline(tif, row.data(), static_cast<uint32_t>(y), 0) < 0)
            return Status::GenericError;
    }
    return Status::Ok;
}

class TiffEncoder final : public Encoder {
public:
    const CodecInfo& info() const override {
        static const CodecInfo i = tiffInfo(0x10007);
        return i;
    }

    Status encode(const Image& image, const EncoderParameters& params, ByteSink& out) const override {
        if (image.type() != ImageType::Bitmap || image.pixels().empty()) return Status::InvalidParameter;
        WritePlan plan;
        Status s = planWrite(image, params, plan);
        if (s != Status::Ok) return s;

        GrowingFile file;
        TiffLog log;
        TIFFOpenOptions* opts = openOptions(&log);
        if (!opts) return Status::OutOfMemory;
        TIFF* tif = TIFFClientOpenExt("memory", "w", &file, growRead, growWrite, growSeek, memClose,
                                      growSize, noMap, memUnmap, opts);
        TIFFOpenOptionsFree(opts);
        if (!tif) return Status::GenericError;
        setPageTags(tif, image, plan);
        s = writeRows(tif, image, plan);
        if (s == Status::Ok && !TIFFWriteDirectory(tif)) s = Status::GenericError;
        TIFFClose(tif);
        if (s == Status::Ok && log.errors > 0) s = Status::GenericError;
        if (s != Status::Ok) return s;
        out.insert(out.end(), file.data.begin(), file.data.end());
        return Status::Ok;
    }
};

}  // namespace

const Decoder& tiffDecoder() {
    static const TiffDecoder d;
    return d;
}

const Encoder& tiffEncoder() {
    static const TiffEncoder e;
    return e;
}

}  // namespace orrery::gdiplus::codecs
