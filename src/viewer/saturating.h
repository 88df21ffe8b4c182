// Arithmetic on host numbers. A host may pass any Long, Single or Double to
// the members, so the viewer computes with them in double and turns results
// back into 32-bit integers only through these conversions: they round half
// to even, as every conversion of the viewer does, and saturate at the ends
// of the 32-bit range instead of overflowing. NaN, which no position can
// mean, becomes 0.
#pragma once
#include <cmath>
#include <cstdint>
#include <limits>
#include <optional>

namespace orrery::viewer {

inline int32_t roundEven(double v) {
    if (std::isnan(v)) return 0;
    const double r = std::nearbyint(v);  // the default rounding mode: half to even
    if (r >= static_cast<double>(std::numeric_limits<int32_t>::max())) return std::numeric_limits<int32_t>::max();
    if (r <= static_cast<double>(std::numeric_limits<int32_t>::min())) return std::numeric_limits<int32_t>::min();
    return static_cast<int32_t>(r);
}

// round(v) + offset, as the coordinate conversions add the image origin: the
// sum is taken before saturating, so a large v and an origin of the other
// sign still meet exactly.
inline int32_t roundEvenPlus(double v, int32_t offset) { return roundEven(std::nearbyint(v) + offset); }

// round(v) for a value that must fit a Long exactly, as the host's Single
// coordinates and sizes must: nothing for NaN, infinities and values beyond
// the 32-bit range, which the caller refuses instead of saturating.
inline std::optional<int32_t> exactLong(double v) {
    if (!std::isfinite(v)) return std::nullopt;
    const double r = std::nearbyint(v);
    if (r > static_cast<double>(std::numeric_limits<int32_t>::max()) ||
        r < static_cast<double>(std::numeric_limits<int32_t>::min()))
        return std::nullopt;
    return static_cast<int32_t>(r);
}

// A sum of Longs that must itself be a Long.
inline std::optional<int32_t> exactSum(int64_t v) {
    if (v > std::numeric_limits<int32_t>::max() || v < std::numeric_limits<int32_t>::min()) return std::nullopt;
    return static_cast<int32_t>(v);
}

}  // namespace orrery::viewer
