// Drawing: a graphics object on a bitmap or on a 32-bit premultiplied ARGB
// surface that a window owns, with the platform's quality settings, and the
// image-drawing calls the viewer uses.
#pragma once
#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "platform/gdiplus/image.h"

namespace orrery::gdiplus {

enum InterpolationMode : int32_t {
    InterpolationModeInvalid = -1,
    InterpolationModeDefault = 0,
    InterpolationModeLowQuality = 1,
    InterpolationModeHighQuality = 2,
    InterpolationModeBilinear = 3,
    InterpolationModeBicubic = 4,
    InterpolationModeNearestNeighbor = 5,
    InterpolationModeHighQualityBilinear = 6,
    InterpolationModeHighQualityBicubic = 7,
};

enum SmoothingMode : int32_t {
    SmoothingModeInvalid = -1,
    SmoothingModeDefault = 0,
    SmoothingModeHighSpeed = 1,
    SmoothingModeHighQuality = 2,
    SmoothingModeNone = 3,
    SmoothingModeAntiAlias = 4,
};

enum PixelOffsetMode : int32_t {
    PixelOffsetModeInvalid = -1,
    PixelOffsetModeDefault = 0,
    PixelOffsetModeHighSpeed = 1,
    PixelOffsetModeHighQuality = 2,
    PixelOffsetModeNone = 3,
    PixelOffsetModeHalf = 4,
};

enum CompositingMode : int32_t { CompositingModeSourceOver = 0, CompositingModeSourceCopy = 1 };

enum CompositingQuality : int32_t {
    CompositingQualityInvalid = -1,
    CompositingQualityDefault = 0,
    CompositingQualityHighSpeed = 1,
    CompositingQualityHighQuality = 2,
    CompositingQualityGammaCorrected = 3,
    CompositingQualityAssumeLinear = 4,
};

enum Unit : int32_t {
    UnitWorld = 0,
    UnitDisplay = 1,
    UnitPixel = 2,
    UnitPoint = 3,
    UnitInch = 4,
    UnitDocument = 5,
    UnitMillimeter = 6,
};

struct RectF {
    float x = 0, y = 0, width = 0, height = 0;
};

// A 32-bit premultiplied ARGB drawing target owned by someone else (a window's
// persistent bitmap). Rows are `stride` bytes apart.
struct Surface {
    uint32_t* pixels = nullptr;
    int width = 0;
    int height = 0;
    ptrdiff_t stride = 0;
    float dpiX = kDefaultDpi;
    float dpiY = kDefaultDpi;
};

enum ColorAdjustType : int32_t {
    ColorAdjustTypeDefault = 0,
    ColorAdjustTypeBitmap = 1,
};

struct ColorMap {
    ARGB oldColor;
    ARGB newColor;
};

// ImageAttributes of the platform: gamma and colour remap tables.
class ImageAttributes {
public:
    // InvalidParameter for gamma not above 0.
    Status setGamma(float gamma, ColorAdjustType type = ColorAdjustTypeDefault, bool enable = true);
    Status clearGamma(ColorAdjustType type = ColorAdjustTypeDefault);
    Status setRemapTable(const std::vector<ColorMap>& map,
                         ColorAdjustType type = ColorAdjustTypeDefault, bool enable = true);
    Status clearRemapTable(ColorAdjustType type = ColorAdjustTypeDefault);

    std::optional<float> gamma() const { return gamma_; }
    const std::vector<ColorMap>& remap() const { return remap_; }
    // Applies remap then gamma to one non-premultiplied colour.
    ARGB apply(ARGB c) const;
    bool isIdentity() const { return !gamma_ && remap_.empty(); }

private:
    std::optional<float> gamma_;
    std::vector<ColorMap> remap_;
};

struct DrawPlan;

// What a drawing on a background left on its target: every pixel outside
// `picture` holds `background` (when `known`). A later drawing of the same
// placement on the same background need not fill those pixels again, as long
// as nothing else has drawn on the target.
struct Backdrop {
    bool known = false;
    ARGB background = 0;
    Rect picture;
};

class Graphics {
public:
    // On a bitmap: OutOfMemory for indexed formats (as the platform does),
    // InvalidParameter for a metafile or an image without pixels.
    static Status fromImage(Image& image, std::unique_ptr<Graphics>& out);
    static Status fromSurface(const Surface& surface, std::unique_ptr<Graphics>& out);
    ~Graphics();

    Status clear(ARGB color);
    Status setSmoothingMode(SmoothingMode m);
    Status setPixelOffsetMode(PixelOffsetMode m);
    Status setCompositingMode(CompositingMode m);
    Status setCompositingQuality(CompositingQuality q);
    Status setInterpolationMode(InterpolationMode m);
    // UnitPixel and UnitMillimeter; other units give NotImplemented.
    Status setPageUnit(Unit unit);
    SmoothingMode smoothingMode() const { return smoothing_; }
    PixelOffsetMode pixelOffsetMode() const { return pixelOffset_; }
    CompositingMode compositingMode() const { return compositingMode_; }
    CompositingQuality compositingQuality() const { return compositingQuality_; }
    InterpolationMode interpolationMode() const { return interpolation_; }
    Unit pageUnit() const { return pageUnit_; }

    // Draws the whole image into dst (page units); a metafile is rasterised
    // at dst's size in target pixels.
    Status drawImageRect(const Image& image, const RectF& dst);
    // Draws the src rectangle (in `srcUnit`, pixels only) of the image into
    // dst. Parts of src outside the image draw nothing. Of a metafile only
    // the whole picture is drawn (NotImplemented for a part of it).
    Status drawImageRectRect(const Image& image, const RectF& dst, const RectF& src,
                             Unit srcUnit = UnitPixel, const ImageAttributes* attributes = nullptr);
    // clear(background), then drawImageRectRect of src (pixels) into dst; the
    // target pixels an opaque picture will cover are not filled first. With
    // a backdrop, the pixels it says hold the background already are not
    // filled either, and it is updated to what holds after the drawing.
    Status drawImageOnBackground(const Image& image, const RectF& dst, const RectF& src, ARGB background,
                                 const ImageAttributes* attributes = nullptr, Backdrop* backdrop = nullptr);

private:
    struct Target;
    explicit Graphics(std::unique_ptr<Target> target);

    // Where a drawing of src into dst lands in target pixels and how it
    // samples; false when nothing is drawn.
    bool planDraw(const Image& image, const RectF& dst, const RectF& src, DrawPlan& plan) const;
    // The interpolation a drawing of the image uses: the mode set, unless
    // pixman cannot address the image.
    InterpolationMode effectiveInterpolation(const Image& image) const;
    // Whether a drawing of the image gives every target pixel it covers alpha 255.
    bool coversOpaquely(const Image& image, const ImageAttributes* attributes) const;

    Status drawMetafile(const Image& metafile, const RectF& dst, const RectF& src, Unit srcUnit,
                        const ImageAttributes* attributes);

    std::unique_ptr<Target> target_;
    SmoothingMode smoothing_ = SmoothingModeDefault;
    PixelOffsetMode pixelOffset_ = PixelOffsetModeDefault;
    CompositingMode compositingMode_ = CompositingModeSourceOver;
    CompositingQuality compositingQuality_ = CompositingQualityDefault;
    InterpolationMode interpolation_ = InterpolationModeBilinear;
    Unit pageUnit_ = UnitDisplay;
};

}  // namespace orrery::gdiplus
