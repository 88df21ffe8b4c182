// Windows and enhanced metafiles: recognised and measured, never rasterised.
// A metafile image has a size in pixels and a resolution, and no pixels.
//
// Placeable WMF: the bounding box is in units of `inch` per inch; the size is
// reported in pixels at 96 dpi. Plain WMF carries no size: the window extent
// of its first SetWindowExt record is taken as pixels at 96 dpi, and a file
// without one has no size (InvalidParameter). EMF: the resolution is that of
// the reference device (pixels over millimetres), the size is the picture
// frame (0.01 mm units) at that resolution.
#include <cmath>
#include <cstring>

#include "platform/gdiplus/codecs/codecs.h"
#include "platform/gdiplus/metafile_format.h"

namespace orrery::gdiplus::codecs {
namespace {

using namespace metafile;

constexpr size_t kEmfMicrometresEnd = 108;
// Sizes beyond this are damage: no metafile is a million pixels wide.
constexpr double kMaxPixels = 1 << 20;

// Signed 32-bit field, as a double for the size arithmetic.
double sle32(const uint8_t* p) { return static_cast<int32_t>(le32(p)); }

Status pixelSize(double w, double h, Decoded& out) {
    if (!std::isfinite(w) || !std::isfinite(h)) return Status::InvalidParameter;
    long wi = std::lround(std::fabs(w));
    long hi = std::lround(std::fabs(h));
    if (wi < 1 || hi < 1 || wi > kMaxPixels || hi > kMaxPixels) return Status::InvalidParameter;
    out.metafileWidth = static_cast<int>(wi);
    out.metafileHeight = static_cast<int>(hi);
    return Status::Ok;
}

void finishMetafile(const Guid& format, float dpiX, float dpiY, std::shared_ptr<const ByteSource> bytes,
                    Decoded& out) {
    out.rawFormat = format;
    out.isMetafile = true;
    out.metafileBytes = std::move(bytes);
    out.frame = Frame{};
    out.frame.dpiX = dpiX;
    out.frame.dpiY = dpiY;
    out.frame.flags = ImageFlagsScalable;
    out.frames.reset();
}

CodecInfo metafileInfo(const Guid& clsid, const Guid& format, const char* name, const char* desc,
                       const char* ext, const char* mime) {
    CodecInfo i;
    i.clsid = clsid;
    i.formatId = format;
    i.codecName = name;
    i.formatDescription = desc;
    i.filenameExtension = ext;
    i.mimeType = mime;
    i.flags = CodecFlagsDecoder | CodecFlagsSupportVector | CodecFlagsBuiltin;
    return i;
}

class WmfDecoder final : public Decoder {
public:
    const CodecInfo& info() const override {
        static const CodecInfo i = metafileInfo(CodecClsid::WMF, ImageFormat::WMF, "Built-in WMF Codec",
                                                "WMF", "*.WMF", "image/x-wmf");
        return i;
    }

    bool sniff(std::span<const uint8_t> head) const override {
        return isPlaceableWmf(head) || isWmfHeader(head, 0);
    }

    Status decode(std::shared_ptr<const ByteSource> bytes, const DecodeOptions&,
                  Decoded& out) const override {
        if (!bytes) return Status::InvalidParameter;
        std::span<const uint8_t> b = bytes->bytes();
        if (isPlaceableWmf(b)) {
            if (b.size() < kPlaceableSize || !isWmfHeader(b, kPlaceableSize)) return Status::InvalidParameter;
            int left = static_cast<int16_t>(le16(&b[6]));
            int top = static_cast<int16_t>(le16(&b[8]));
            int right = static_cast<int16_t>(le16(&b[10]));
            int bottom = static_cast<int16_t>(le16(&b[12]));
            int inch = le16(&b[14]);
            if (inch == 0) return Status::InvalidParameter;
            Status s = pixelSize((right - left) * double{kDefaultDpi} / inch,
                                 (bottom - top) * double{kDefaultDpi} / inch, out);
            if (s != Status::Ok) return s;
            finishMetafile(ImageFormat::WMF, kDefaultDpi, kDefaultDpi, bytes, out);
            return Status::Ok;
        }
        if (!isWmfHeader(b, 0)) return Status::UnknownImageFormat;
        WmfWindow window;
        if (!findWmfWindow(b, 0, window)) return Status::InvalidParameter;
        Status s = pixelSize(window.extX, window.extY, out);
        if (s != Status::Ok) return s;
        finishMetafile(ImageFormat::WMF, kDefaultDpi, kDefaultDpi, bytes, out);
        return Status::Ok;
    }
};

class EmfDecoder final : public Decoder {
public:
    const CodecInfo& info() const override {
        static const CodecInfo i = metafileInfo(CodecClsid::EMF, ImageFormat::EMF, "Built-in EMF Codec",
                                                "EMF", "*.EMF", "image/x-emf");
        return i;
    }

    bool sniff(std::span<const uint8_t> head) const override {
        return isEmf(head);
    }

    Status decode(std::shared_ptr<const ByteSource> bytes, const DecodeOptions&,
                  Decoded& out) const override {
        if (!bytes) return Status::InvalidParameter;
        std::span<const uint8_t> b = bytes->bytes();
        if (!sniff(b)) return Status::UnknownImageFormat;
        uint32_t headerSize = le32(&b[4]);
        if (headerSize < kEmfHeaderMin || b.size() < kEmfHeaderMin) return Status::InvalidParameter;
        double frameW = sle32(&b[32]) - sle32(&b[24]);
        double frameH = sle32(&b[36]) - sle32(&b[28]);
        double devW = sle32(&b[72]), devH = sle32(&b[76]);
        double mmW = sle32(&b[80]), mmH = sle32(&b[84]);
        // The micrometre size of the reference device, when present, is exact.
        if (headerSize >= kEmfMicrometresEnd && b.size() >= kEmfMicrometresEnd) {
            double umW = sle32(&b[100]), umH = sle32(&b[104]);
            if (umW > 0 && umH > 0) {
                mmW = umW / 1000;
                mmH = umH / 1000;
            }
        }
        double dpiX = kDefaultDpi, dpiY = kDefaultDpi;
        if (devW > 0 && devH > 0 && mmW > 0 && mmH > 0) {
            dpiX = devW * 25.4 / mmW;
            dpiY = devH * 25.4 / mmH;
        }
        if (!(dpiX >= 1 && dpiX <= 1e5 && dpiY >= 1 && dpiY <= 1e5)) return Status::InvalidParameter;
        Status s = pixelSize(frameW * dpiX / 2540, frameH * dpiY / 2540, out);
        if (s != Status::Ok) {
            // No usable frame: the bounds, in device pixels, measure the picture.
            double boundsW = sle32(&b[16]) - sle32(&b[8]);
            double boundsH = sle32(&b[20]) - sle32(&b[12]);
            s = pixelSize(boundsW, boundsH, out);
            if (s != Status::Ok) return s;
        }
        finishMetafile(ImageFormat::EMF, static_cast<float>(dpiX), static_cast<float>(dpiY), bytes, out);
        return Status::Ok;
    }
};

}  // namespace

const Decoder& wmfDecoder() {
    static const WmfDecoder d;
    return d;
}

const Decoder& emfDecoder() {
    static const EmfDecoder d;
    return d;
}

}  // namespace orrery::gdiplus::codecs
