#include <cmath>

#include "platform/gdiplus/graphics.h"
#include "platform/gdiplus/surface_convert.h"

namespace orrery::gdiplus {

namespace {

// One set of adjustments serves both the default and the bitmap category:
// the layer only ever draws bitmaps, for which the bitmap category would
// otherwise fall back to the default one.
bool validType(ColorAdjustType type) {
    return type == ColorAdjustTypeDefault || type == ColorAdjustTypeBitmap;
}

}  // namespace

Status ImageAttributes::setGamma(float gamma, ColorAdjustType type, bool enable) {
    if (!validType(type)) return Status::InvalidParameter;
    if (!enable) {
        gamma_.reset();
        return Status::Ok;
    }
    if (!(gamma > 0.0f) || !std::isfinite(gamma)) return Status::InvalidParameter;
    gamma_ = gamma;
    return Status::Ok;
}

Status ImageAttributes::clearGamma(ColorAdjustType type) {
    if (!validType(type)) return Status::InvalidParameter;
    gamma_.reset();
    return Status::Ok;
}

Status ImageAttributes::setRemapTable(const std::vector<ColorMap>& map, ColorAdjustType type,
                                      bool enable) {
    if (!validType(type)) return Status::InvalidParameter;
    if (!enable) {
        remap_.clear();
        return Status::Ok;
    }
    if (map.empty()) return Status::InvalidParameter;
    remap_ = map;
    return Status::Ok;
}

Status ImageAttributes::clearRemapTable(ColorAdjustType type) {
    if (!validType(type)) return Status::InvalidParameter;
    remap_.clear();
    return Status::Ok;
}

ARGB ImageAttributes::apply(ARGB c) const {
    if (isIdentity()) return c;
    return ColorAdjuster(this).apply(c);
}

}  // namespace orrery::gdiplus
