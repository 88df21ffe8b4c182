// Embedded-profile colour management with lcms2. Every lcms object lives in
// a private context whose error handler is silent, so that a broken profile
// neither prints nor fails: the pixels are simply left as they are.
#include "platform/gdiplus/color_management.h"

#include <lcms2.h>

#include <vector>

namespace orrery::gdiplus {

namespace {

void silentLog(cmsContext, cmsUInt32Number, const char*) {}

cmsContext newContext() {
    cmsContext ctx = cmsCreateContext(nullptr, nullptr);
    if (ctx) cmsSetLogErrorHandlerTHR(ctx, silentLog);
    return ctx;
}

// The sRGB tone curve as an lcms parametric curve (type 4).
cmsToneCurve* srgbCurve(cmsContext ctx) {
    const cmsFloat64Number params[5] = {2.4, 1.0 / 1.055, 0.055 / 1.055, 1.0 / 12.92, 0.04045};
    return cmsBuildParametricToneCurve(ctx, 4, params);
}

// A grey profile with the sRGB tone curve: the target for grey pixels, which
// stay grey.
cmsHPROFILE srgbGrayProfile(cmsContext ctx) {
    cmsToneCurve* curve = srgbCurve(ctx);
    if (!curve) return nullptr;
    cmsHPROFILE p = cmsCreateGrayProfileTHR(ctx, cmsD50_xyY(), curve);
    cmsFreeToneCurve(curve);
    return p;
}

// Owns the context, the two profiles and the transform of one operation.
class Session {
public:
    Session() : ctx_(newContext()) {}
    ~Session() {
        if (xf_) cmsDeleteTransform(xf_);
        if (src_) cmsCloseProfile(src_);
        if (dst_) cmsCloseProfile(dst_);
        if (ctx_) cmsDeleteContext(ctx_);
    }
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    // Opens the embedded profile; its colour space, or 0 when unusable.
    cmsColorSpaceSignature open(const std::vector<uint8_t>& icc) {
        if (!ctx_ || icc.empty()) return cmsColorSpaceSignature(0);
        src_ = cmsOpenProfileFromMemTHR(ctx_, icc.data(), static_cast<cmsUInt32Number>(icc.size()));
        return src_ ? cmsGetColorSpace(src_) : cmsColorSpaceSignature(0);
    }
    // Builds the transform from the embedded profile to sRGB (or sRGB grey).
    bool prepare(cmsUInt32Number format, bool gray, cmsUInt32Number flags) {
        dst_ = gray ? srgbGrayProfile(ctx_) : cmsCreate_sRGBProfileTHR(ctx_);
        if (!dst_) return false;
        xf_ = cmsCreateTransformTHR(ctx_, src_, format, dst_, format, INTENT_PERCEPTUAL, flags);
        return xf_ != nullptr;
    }
    void run(void* pixels, int count) {
        cmsDoTransform(xf_, pixels, pixels, static_cast<cmsUInt32Number>(count));
    }

private:
    cmsContext ctx_;
    cmsHPROFILE src_ = nullptr;
    cmsHPROFILE dst_ = nullptr;
    cmsHTRANSFORM xf_ = nullptr;
};

// lcms layout of a direct pixel format; 0 for formats left alone.
cmsUInt32Number rgbLayout(PixelFormat f, cmsUInt32Number& flags) {
    flags = 0;
    switch (f) {
        case PixelFormat24bppRGB: return TYPE_BGR_8;
        case PixelFormat48bppRGB: return TYPE_BGR_16;
        case PixelFormat32bppRGB:
        case PixelFormat32bppARGB: flags = cmsFLAGS_COPY_ALPHA; return TYPE_BGRA_8;
        case PixelFormat32bppPARGB: flags = cmsFLAGS_COPY_ALPHA; return TYPE_BGRA_8_PREMUL;
        case PixelFormat64bppARGB: flags = cmsFLAGS_COPY_ALPHA; return TYPE_BGRA_16;
        default: return 0;
    }
}

void transformRows(Session& s, PixelData& pixels) {
    for (int y = 0; y < pixels.height(); ++y) s.run(pixels.row(y), pixels.width());
}

bool isGrayPalette(const Palette& p) {
    for (ARGB c : p.entries)
        if (((c >> 16) & 0xff) != (c & 0xff) || ((c >> 8) & 0xff) != (c & 0xff)) return false;
    return true;
}

void transformPalette(Session& s, cmsColorSpaceSignature space, Palette& palette) {
    if (palette.entries.empty()) return;
    if (space == cmsSigRgbData) {
        // ARGB entries are B, G, R, A in memory.
        if (!s.prepare(TYPE_BGRA_8, false, cmsFLAGS_COPY_ALPHA)) return;
        s.run(palette.entries.data(), static_cast<int>(palette.entries.size()));
        if (!isGrayPalette(palette)) palette.flags &= ~PaletteFlagsGrayScale;
        return;
    }
    if (space != cmsSigGrayData || !isGrayPalette(palette)) return;
    if (!s.prepare(TYPE_GRAY_8, true, 0)) return;
    std::vector<uint8_t> levels;
    for (ARGB c : palette.entries) levels.push_back(static_cast<uint8_t>(c));
    s.run(levels.data(), static_cast<int>(levels.size()));
    for (size_t i = 0; i < levels.size(); ++i) {
        ARGB v = levels[i];
        palette.entries[i] = (palette.entries[i] & 0xff000000u) | (v << 16) | (v << 8) | v;
    }
}

}  // namespace

void applyEmbeddedProfile(Frame& frame) {
    if (frame.iccProfile.empty() || frame.pixels.empty()) return;
    Session s;
    cmsColorSpaceSignature space = s.open(frame.iccProfile);
    PixelFormat format = frame.pixels.format();
    if (isIndexed(format)) {
        transformPalette(s, space, frame.palette);
        return;
    }
    if (space == cmsSigGrayData && format == PixelFormat16bppGrayScale) {
        if (s.prepare(TYPE_GRAY_16, true, 0)) transformRows(s, frame.pixels);
        return;
    }
    cmsUInt32Number flags = 0;
    cmsUInt32Number layout = rgbLayout(format, flags);
    if (space != cmsSigRgbData || layout == 0) return;
    if (s.prepare(layout, false, flags)) transformRows(s, frame.pixels);
}

CmykTransform::CmykTransform(std::span<const uint8_t> profile, bool inverted) {
    cmsContext ctx = newContext();
    if (!ctx) return;
    context_ = ctx;
    if (profile.empty()) return;
    cmsHPROFILE src =
        cmsOpenProfileFromMemTHR(ctx, profile.data(), static_cast<cmsUInt32Number>(profile.size()));
    if (!src) return;
    cmsHPROFILE dst = cmsGetColorSpace(src) == cmsSigCmykData ? cmsCreate_sRGBProfileTHR(ctx) : nullptr;
    if (dst) {
        transform_ = cmsCreateTransformTHR(ctx, src, inverted ? TYPE_CMYK_8_REV : TYPE_CMYK_8, dst,
                                           TYPE_BGR_8, INTENT_PERCEPTUAL, 0);
        cmsCloseProfile(dst);
    }
    cmsCloseProfile(src);
}

CmykTransform::~CmykTransform() {
    if (transform_) cmsDeleteTransform(static_cast<cmsHTRANSFORM>(transform_));
    if (context_) cmsDeleteContext(static_cast<cmsContext>(context_));
}

void CmykTransform::toBgr(const uint8_t* cmyk, int count, uint8_t* bgr) const {
    if (!transform_ || count <= 0) return;
    cmsDoTransform(static_cast<cmsHTRANSFORM>(transform_), cmyk, bgr, static_cast<cmsUInt32Number>(count));
}

}  // namespace orrery::gdiplus
