// JPEG decoder and encoder on libjpeg-turbo.
//
// libjpeg reports fatal errors through a callback that must not return; we
// longjmp out of it. Each libjpeg session therefore runs in one C-style
// function (runDecompress, runCompress) that keeps no object with a
// destructor alive across the jump. What a session needs from C++ (pixel
// buffers, row conversion, saved markers) it asks of an interface owned by
// the caller, whose methods never call libjpeg themselves.
#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <cmath>
#include <cstdlib>
#include <memory>

#include <jpeglib.h>
#include <jerror.h>

#include "platform/gdiplus/codecs/codecs.h"
#include "platform/gdiplus/codecs/jpeg_limits.h"
#include "platform/gdiplus/color_management.h"
#include "platform/gdiplus/exif_ifd.h"
#include "platform/gdiplus/image.h"

namespace orrery::gdiplus::codecs {

namespace {

// Size of the largest ICC profile we reassemble from APP2 chunks.
constexpr size_t kMaxIccProfile = 16u << 20;
// Largest APP1 payload a marker segment can carry.
constexpr size_t kMaxMarkerPayload = 65533;
constexpr uint32_t kTagLuminanceTable = 0x5090;
constexpr uint32_t kTagChrominanceTable = 0x5091;

const CodecInfo& jpegInfo() {
    static const CodecInfo info{CodecClsid::JPEG,
                                ImageFormat::JPEG,
                                "Built-in JPEG Codec",
                                "",
                                "JPEG",
                                "*.JPG;*.JPEG;*.JPE;*.JFIF",
                                "image/jpeg",
                                CodecFlagsEncoder | CodecFlagsDecoder | CodecFlagsSupportBitmap |
                                    CodecFlagsBuiltin,
                                1};
    return info;
}

// ---------------------------------------------------------------------------
// libjpeg plumbing shared by both directions

struct JpegError {
    jpeg_error_mgr mgr;  // first member: libjpeg sees only this part
    std::jmp_buf jump;
    int warnings;
    bool tooManyScans;
};

void onJpegError(j_common_ptr cinfo) {
    std::longjmp(reinterpret_cast<JpegError*>(cinfo->err)->jump, 1);
}

// Warnings (corrupt data, premature end) are counted, never printed.
void onJpegMessage(j_common_ptr cinfo, int level) {
    if (level < 0) ++reinterpret_cast<JpegError*>(cinfo->err)->warnings;
}

void onJpegProgress(j_common_ptr cinfo) {
    if (!cinfo->is_decompressor) return;
    auto* d = reinterpret_cast<j_decompress_ptr>(cinfo);
    if (d->input_scan_number > kMaxJpegScans) {
        reinterpret_cast<JpegError*>(cinfo->err)->tooManyScans = true;
        cinfo->err->msg_code = JERR_NOT_COMPILED;
        cinfo->err->error_exit(cinfo);
    }
}

void initError(JpegError& err, jpeg_error_mgr*& slot) {
    slot = jpeg_std_error(&err.mgr);
    err.mgr.error_exit = onJpegError;
    err.mgr.emit_message = onJpegMessage;
    err.warnings = 0;
    err.tooManyScans = false;
}

// ---------------------------------------------------------------------------
// Decoding

// What runDecompress asks of the caller. None of these calls libjpeg.
class DecodeTarget {
public:
    virtual ~DecodeTarget() = default;
    // After the header: chooses the output colour space and allocates the
    // pixels. False stops the decode (the target keeps the reason).
    virtual bool onHeader(jpeg_decompress_struct& cinfo) = 0;
    // Where rows from `y` go; sets how many rows the buffer holds.
    virtual JSAMPARRAY rowsAt(JDIMENSION y, JDIMENSION& count) = 0;
    // Rows [y, y + count) were written to the buffer of rowsAt(y).
    virtual void rowsDone(JDIMENSION y, JDIMENSION count) = 0;
};

enum class DecodeRun { Complete, HeaderFailed, StoppedByTarget, PixelsFailed };

struct DecodeReport {
    int msgCode = 0;
    int warnings = 0;
    bool tooManyScans = false;
    JDIMENSION rowsRead = 0;
};

DecodeRun runDecompress(const uint8_t* data, size_t size, size_t memoryLimit, DecodeTarget& target,
                        DecodeReport& report) {
    jpeg_decompress_struct cinfo;
    JpegError err;
    jpeg_progress_mgr progress;
    volatile bool pixelsStarted = false;
    initError(err, cinfo.err);
    if (setjmp(err.jump)) {
        report.msgCode = err.mgr.msg_code;
        report.warnings = err.warnings;
        report.tooManyScans = err.tooManyScans;
        jpeg_destroy_decompress(&cinfo);
        return pixelsStarted ? DecodeRun::PixelsFailed : DecodeRun::HeaderFailed;
    }
    jpeg_create_decompress(&cinfo);
    cinfo.mem->max_memory_to_use = static_cast<long>(memoryLimit);
    progress.progress_monitor = onJpegProgress;
    cinfo.progress = &progress;
    jpeg_mem_src(&cinfo, data, static_cast<unsigned long>(size));
    jpeg_save_markers(&cinfo, JPEG_APP0 + 1, 0xFFFF);
    jpeg_save_markers(&cinfo, JPEG_APP0 + 2, 0xFFFF);
    jpeg_read_header(&cinfo, TRUE);
    if (!target.onHeader(cinfo)) {
        jpeg_destroy_decompress(&cinfo);
        return DecodeRun::StoppedByTarget;
    }
    pixelsStarted = true;
    jpeg_start_decompress(&cinfo);
    while (cinfo.output_scanline < cinfo.output_height) {
        JDIMENSION y = cinfo.output_scanline, room = 0;
        JSAMPARRAY rows = target.rowsAt(y, room);
        JDIMENSION got = jpeg_read_scanlines(&cinfo, rows, room);
        if (got == 0) break;
        target.rowsDone(y, got);
        report.rowsRead = y + got;
    }
    report.warnings = err.warnings;
    jpeg_destroy_decompress(&cinfo);
    return DecodeRun::Complete;
}

// Inks to RGB by formula when no CMYK profile is used. Adobe applications
// store inverted inks (255 = no ink), for which R = C * K / 255; plain CMYK
// gets R = (255 - C) * (255 - K) / 255.
void cmykToBgr(const uint8_t* cmyk, int count, bool inverted, uint8_t* bgr) {
    for (int i = 0; i < count; ++i, cmyk += 4, bgr += 3) {
        uint32_t c = cmyk[0], m = cmyk[1], y = cmyk[2], k = cmyk[3];
        if (!inverted) c = 255 - c, m = 255 - m, y = 255 - y, k = 255 - k;
        bgr[0] = static_cast<uint8_t>((y * k + 127) / 255);
        bgr[1] = static_cast<uint8_t>((m * k + 127) / 255);
        bgr[2] = static_cast<uint8_t>((c * k + 127) / 255);
    }
}

bool startsWith(const std::vector<uint8_t>& data, const char* prefix, size_t n) {
    return data.size() >= n && std::memcmp(data.data(), prefix, n) == 0;
}

// The ICC profile split over APP2 "ICC_PROFILE" chunks, each numbered 1..n.
// Empty when a chunk is missing, repeated or numbered inconsistently.
std::vector<uint8_t> assembleIccProfile(const std::vector<std::vector<uint8_t>>& app2) {
    constexpr size_t kHeader = 14;  // "ICC_PROFILE\0", sequence number, chunk count
    std::vector<const std::vector<uint8_t>*> chunks;
    size_t total = 0;
    for (const auto& seg : app2) {
        if (!startsWith(seg, "ICC_PROFILE\0", 12) || seg.size() < kHeader) continue;
        size_t seq = seg[12], count = seg[13];
        if (count == 0 || seq == 0 || seq > count) return {};
        if (chunks.empty()) chunks.assign(count, nullptr);
        if (chunks.size() != count || chunks[seq - 1]) return {};
        chunks[seq - 1] = &seg;
        total += seg.size() - kHeader;
    }
    if (total == 0 || total > kMaxIccProfile) return {};
    std::vector<uint8_t> profile;
    profile.reserve(total);
    for (const auto* c : chunks) {
        if (!c) return {};
        profile.insert(profile.end(), c->begin() + kHeader, c->end());
    }
    return profile;
}

const PropertyItem* findItem(const std::vector<PropertyItem>& items, uint32_t id) {
    for (const PropertyItem& item : items)
        if (item.id == id) return &item;
    return nullptr;
}

uint32_t le32(const uint8_t* p) {
    return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}

// A positive resolution property converted to dots per inch, or 0. Writers
// store it as a rational; some store a plain integer.
float exifResolution(const std::vector<PropertyItem>& items, uint32_t id, float perInch) {
    const PropertyItem* item = findItem(items, id);
    if (!item) return 0;
    const std::vector<uint8_t>& v = item->value;
    double value = 0;
    switch (item->type) {
        case PropertyTagTypeRational:
        case PropertyTagTypeSRational: {
            if (v.size() < 8) return 0;
            uint32_t num = le32(v.data()), den = le32(v.data() + 4);
            if (item->type == PropertyTagTypeSRational && (num | den) >> 31) return 0;
            if (den == 0) return 0;
            value = double(num) / double(den);
            break;
        }
        case PropertyTagTypeLong:
        case PropertyTagTypeSLONG:
            if (v.size() < 4 || (item->type == PropertyTagTypeSLONG && le32(v.data()) >> 31)) return 0;
            value = le32(v.data());
            break;
        case PropertyTagTypeShort:
            if (v.size() < 2) return 0;
            value = v[0] | (v[1] << 8);
            break;
        default: return 0;
    }
    return static_cast<float>(value * perInch);
}

// Header facts copied out of libjpeg while the session runs.
struct JpegHeader {
    int width = 0;
    int height = 0;
    J_COLOR_SPACE colorSpace = JCS_UNKNOWN;
    bool adobe = false;
    bool jfif = false;
    int densityUnit = 0;
    int xDensity = 0;
    int yDensity = 0;
    std::vector<uint8_t> exif;
    std::vector<std::vector<uint8_t>> app2;
    std::vector<uint16_t> quantTables[2];
};

class FrameTarget final : public DecodeTarget {
public:
    explicit FrameTarget(const DecodeOptions& options) : options_(options) {}

    bool onHeader(jpeg_decompress_struct& cinfo) override {
        copyHeader(cinfo);
        PixelFormat format = PixelFormat24bppRGB;
        switch (cinfo.jpeg_color_space) {
            case JCS_GRAYSCALE:
                cinfo.out_color_space = JCS_GRAYSCALE;
                format = PixelFormat8bppIndexed;
                frame.palette = grayPalette(256);
                break;
            case JCS_YCbCr:
            case JCS_RGB:
                cinfo.out_color_space = JCS_EXT_BGR;
                break;
            case JCS_CMYK:
            case JCS_YCCK:
                cinfo.out_color_space = JCS_CMYK;
                cmyk_ = true;
                break;
            default:
                status = Status::NotImplemented;  // two-channel or unknown colour spaces
                return false;
        }
        int w = header.width, h = header.height;
        if (!fitsAllocationLimit(w, h, format)) {
            status = Status::OutOfMemory;
            return false;
        }
        status = PixelData::allocate(w, h, format, frame.pixels);
        if (status != Status::Ok) return false;
        rows_.resize(static_cast<size_t>(h));
        for (int y = 0; y < h; ++y) rows_[static_cast<size_t>(y)] = frame.pixels.row(y);
        if (cmyk_) prepareCmyk();
        return true;
    }

    JSAMPARRAY rowsAt(JDIMENSION y, JDIMENSION& count) override {
        if (cmyk_) {
            count = 1;
            return &cmykRow_;
        }
        count = static_cast<JDIMENSION>(rows_.size()) - y;
        return rows_.data() + y;
    }

    void rowsDone(JDIMENSION y, JDIMENSION count) override {
        if (!cmyk_) return;
        for (JDIMENSION i = 0; i < count; ++i) {
            uint8_t* out = frame.pixels.row(static_cast<int>(y + i));
            if (cmykProfile_ && cmykProfile_->valid())
                cmykProfile_->toBgr(cmykRow_, header.width, out);
            else
                cmykToBgr(cmykRow_, header.width, header.adobe, out);
        }
    }

    // Everything but the pixels: properties, resolution, flags, profile.
    void finishFrame() {
        if (!header.exif.empty()) readExifBlock(header.exif, frame.properties);
        static constexpr uint32_t kTableIds[2] = {kTagLuminanceTable, kTagChrominanceTable};
        for (int i = 0; i < 2; ++i)
            if (!header.quantTables[i].empty())
                frame.properties.push_back(PropertyItem::fromShorts(kTableIds[i], header.quantTables[i]));
        setResolution();
        frame.flags |= colorSpaceFlag() | ImageFlagsHasRealPixelSize | ImageFlagsReadOnly |
                       ImageFlagsPartiallyScalable;
        if (frame.iccProfile.empty()) frame.iccProfile = assembleIccProfile(header.app2);
        if (options_.useEmbeddedColorManagement && !cmyk_) applyEmbeddedProfile(frame);
    }

    JpegHeader header;
    Frame frame;
    Status status = Status::Ok;

private:
    void copyHeader(const jpeg_decompress_struct& cinfo) {
        header.width = static_cast<int>(cinfo.image_width);
        header.height = static_cast<int>(cinfo.image_height);
        header.colorSpace = cinfo.jpeg_color_space;
        header.adobe = cinfo.saw_Adobe_marker;
        header.jfif = cinfo.saw_JFIF_marker;
        header.densityUnit = cinfo.density_unit;
        header.xDensity = cinfo.X_density;
        header.yDensity = cinfo.Y_density;
        for (jpeg_saved_marker_ptr m = cinfo.marker_list; m; m = m->next) {
            std::vector<uint8_t> data(m->data, m->data + m->data_length);
            if (m->marker == JPEG_APP0 + 1 && header.exif.empty() && startsWith(data, "Exif\0", 5))
                header.exif = std::move(data);
            else if (m->marker == JPEG_APP0 + 2)
                header.app2.push_back(std::move(data));
        }
        for (int i = 0; i < 2; ++i) {
            const JQUANT_TBL* table = cinfo.quant_tbl_ptrs[i];
            if (table) header.quantTables[i].assign(table->quantval, table->quantval + DCTSIZE2);
        }
    }

    void prepareCmyk() {
        cmykBuffer_.resize(static_cast<size_t>(header.width) * 4);
        cmykRow_ = cmykBuffer_.data();
        if (!options_.useEmbeddedColorManagement) return;
        frame.iccProfile = assembleIccProfile(header.app2);
        if (!frame.iccProfile.empty())
            cmykProfile_ = std::make_unique<CmykTransform>(frame.iccProfile, header.adobe);
    }

    // JFIF density first, then the EXIF resolution, else the default.
    void setResolution() {
        float x = 0, y = 0;
        if (header.jfif && (header.densityUnit == 1 || header.densityUnit == 2)) {
            float perInch = header.densityUnit == 2 ? 2.54f : 1.0f;
            x = static_cast<float>(header.xDensity) * perInch;
            y = static_cast<float>(header.yDensity) * perInch;
        }
        if (x <= 0 || y <= 0) {
            const PropertyItem* unit = findItem(frame.properties, PropertyTagResolutionUnit);
            uint32_t u = unit && unit->value.size() >= 2 ? unit->value[0] | (unit->value[1] << 8) : 2;
            float perInch = u == 3 ? 2.54f : u == 2 ? 1.0f : 0.0f;
            x = exifResolution(frame.properties, PropertyTagXResolution, perInch);
            y = exifResolution(frame.properties, PropertyTagYResolution, perInch);
        }
        if (x > 0 && y > 0 && std::isfinite(x) && std::isfinite(y)) {
            frame.dpiX = x;
            frame.dpiY = y;
            frame.flags |= ImageFlagsHasRealDPI;
        }
    }

    uint32_t colorSpaceFlag() const {
        switch (header.colorSpace) {
            case JCS_GRAYSCALE: return ImageFlagsColorSpaceGRAY;
            case JCS_RGB: return ImageFlagsColorSpaceRGB;
            case JCS_CMYK: return ImageFlagsColorSpaceCMYK;
            case JCS_YCCK: return ImageFlagsColorSpaceYCCK;
            default: return ImageFlagsColorSpaceYCBCR;
        }
    }

    const DecodeOptions& options_;
    std::vector<JSAMPROW> rows_;
    bool cmyk_ = false;
    std::vector<uint8_t> cmykBuffer_;
    JSAMPROW cmykRow_ = nullptr;
    std::unique_ptr<CmykTransform> cmykProfile_;
};

Status statusForFailure(const DecodeReport& report) {
    if (report.msgCode == JERR_BAD_PRECISION) return Status::NotImplemented;  // 12- and 16-bit
    if (report.msgCode == JERR_OUT_OF_MEMORY || report.msgCode == JERR_NO_BACKING_STORE)
        return Status::OutOfMemory;
    return Status::InvalidParameter;
}

class JpegDecoder final : public Decoder {
public:
    const CodecInfo& info() const override { return jpegInfo(); }

    bool sniff(std::span<const uint8_t> head) const override {
        return head.size() >= 3 && head[0] == 0xFF && head[1] == 0xD8 && head[2] == 0xFF;
    }

    Status decode(std::shared_ptr<const ByteSource> bytes, const DecodeOptions& options,
                  Decoded& out) const override {
        if (!bytes || bytes->size() < 4) return Status::InvalidParameter;
        FrameTarget target(options);
        DecodeReport report;
        DecodeRun run =
            runDecompress(bytes->data(), bytes->size(), pixelAllocationLimit(), target, report);
        switch (run) {
            case DecodeRun::StoppedByTarget: return target.status;
            case DecodeRun::HeaderFailed: return statusForFailure(report);
            case DecodeRun::PixelsFailed:
                // A fatal error inside the entropy-coded data: keep the rows
                // already decoded, as for a truncated file.
                if (report.rowsRead == 0) return statusForFailure(report);
                break;
            case DecodeRun::Complete: break;
        }
        target.finishFrame();
        out.rawFormat = ImageFormat::JPEG;
        out.frame = std::move(target.frame);
        out.frames.reset();
        return Status::Ok;
    }
};

// ---------------------------------------------------------------------------
// Encoding

// Rows for runCompress: 24bppRGB (B, G, R) or 8-bit grey.
class RowSource {
public:
    virtual ~RowSource() = default;
    virtual JSAMPROW row(int y) = 0;
};

struct EncodeJob {
    int width = 0;
    int height = 0;
    bool gray = false;
    int quality = 75;
    uint16_t dpiX = 96;
    uint16_t dpiY = 96;
    const uint8_t* exif = nullptr;
    size_t exifSize = 0;
};

// Compresses into a buffer that libjpeg allocates with malloc; the caller
// frees *buffer whether or not the call succeeded.
bool runCompress(const EncodeJob& job, RowSource& rows, unsigned char** buffer, unsigned long* size) {
    jpeg_compress_struct cinfo;
    JpegError err;
    initError(err, cinfo.err);
    if (setjmp(err.jump)) {
        jpeg_destroy_compress(&cinfo);
        return false;
    }
    jpeg_create_compress(&cinfo);
    jpeg_mem_dest(&cinfo, buffer, size);
    cinfo.image_width = static_cast<JDIMENSION>(job.width);
    cinfo.image_height = static_cast<JDIMENSION>(job.height);
    cinfo.input_components = job.gray ? 1 : 3;
    cinfo.in_color_space = job.gray ? JCS_GRAYSCALE : JCS_EXT_BGR;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, job.quality, TRUE);
    cinfo.write_JFIF_header = TRUE;
    cinfo.density_unit = 1;
    cinfo.X_density = job.dpiX;
    cinfo.Y_density = job.dpiY;
    jpeg_start_compress(&cinfo, TRUE);
    if (job.exifSize > 0)
        jpeg_write_marker(&cinfo, JPEG_APP0 + 1, job.exif, static_cast<unsigned int>(job.exifSize));
    while (cinfo.next_scanline < cinfo.image_height) {
        JSAMPROW row = rows.row(static_cast<int>(cinfo.next_scanline));
        jpeg_write_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    return true;
}

bool isGrayPalette(const Palette& p) {
    if (p.entries.empty()) return false;
    for (ARGB c : p.entries)
        if (((c >> 16) & 0xff) != (c & 0xff) || ((c >> 8) & 0xff) != (c & 0xff)) return false;
    return true;
}

class ImageRows final : public RowSource {
public:
    ImageRows(const Frame& frame, bool gray)
        : frame_(frame), gray_(gray), buffer_(static_cast<size_t>(frame.pixels.width()) * 3) {}

    JSAMPROW row(int y) override {
        const PixelData& px = frame_.pixels;
        const uint8_t* in = px.row(y);
        if (gray_) {
            // Palette entries are grey: the blue byte is the level.
            const auto& entries = frame_.palette.entries;
            for (int x = 0; x < px.width(); ++x)
                buffer_[static_cast<size_t>(x)] =
                    in[x] < entries.size() ? static_cast<uint8_t>(entries[in[x]]) : 0;
        } else {
            convertRow(px.format(), in, 0, &frame_.palette, PixelFormat24bppRGB, buffer_.data(), 0,
                       nullptr, px.width());
        }
        return buffer_.data();
    }

private:
    const Frame& frame_;
    bool gray_;
    std::vector<uint8_t> buffer_;
};

uint16_t densityOf(float dpi) {
    if (!(dpi >= 1.0f)) return 96;
    return static_cast<uint16_t>(std::lround(std::min(dpi, 65535.0f)));
}

// The image's property items as an EXIF payload that fits one marker
// segment: the largest items are left out until it fits. Empty when no item
// can be written.
std::vector<uint8_t> exifPayload(std::vector<PropertyItem> items) {
    while (!items.empty()) {
        std::vector<uint8_t> block = writeExifBlock(items);
        bool noEntries = block.size() >= 16 && block[14] == 0 && block[15] == 0;
        if (noEntries) return {};
        if (block.size() <= kMaxMarkerPayload) return block;
        auto largest = std::max_element(items.begin(), items.end(), [](const auto& a, const auto& b) {
            return a.value.size() < b.value.size();
        });
        items.erase(largest);
    }
    return {};
}

class JpegEncoder final : public Encoder {
public:
    const CodecInfo& info() const override { return jpegInfo(); }

    Status encode(const Image& image, const EncoderParameters& params, ByteSink& out) const override {
        const Frame& frame = image.frame();
        const PixelData& px = frame.pixels;
        if (px.empty()) return Status::InvalidParameter;
        if (px.width() > JPEG_MAX_DIMENSION || px.height() > JPEG_MAX_DIMENSION)
            return Status::InvalidParameter;
        uint32_t quality = encoderParameterValue(params, EncoderParam::Quality, 75);
        if (quality > 100) return Status::InvalidParameter;

        EncodeJob job;
        job.width = px.width();
        job.height = px.height();
        job.gray = px.format() == PixelFormat8bppIndexed && isGrayPalette(frame.palette);
        job.quality = static_cast<int>(quality);
        job.dpiX = densityOf(frame.dpiX);
        job.dpiY = densityOf(frame.dpiY);
        std::vector<uint8_t> exif = exifPayload(frame.properties);
        job.exif = exif.data();
        job.exifSize = exif.size();

        ImageRows rows(frame, job.gray);
        unsigned char* buffer = nullptr;
        unsigned long size = 0;
        bool ok = runCompress(job, rows, &buffer, &size);
        if (ok) out.assign(buffer, buffer + size);
        std::free(buffer);
        return ok ? Status::Ok : Status::GenericError;
    }
};

}  // namespace

const Decoder& jpegDecoder() {
    static const JpegDecoder decoder;
    return decoder;
}

const Encoder& jpegEncoder() {
    static const JpegEncoder encoder;
    return encoder;
}

}  // namespace orrery::gdiplus::codecs
