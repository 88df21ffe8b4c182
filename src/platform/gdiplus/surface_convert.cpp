#include "platform/gdiplus/surface_convert.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>

namespace orrery::gdiplus {

Status PremulBuffer::allocate(int width, int height) {
    if (width <= 0 || height <= 0) return Status::InvalidParameter;
    if (!fitsAllocationLimit(width, height, PixelFormat32bppPARGB)) return Status::OutOfMemory;
    size_t count = static_cast<size_t>(width) * static_cast<size_t>(height);
    uint32_t* raw = new (std::nothrow) uint32_t[count];
    if (!raw) return Status::OutOfMemory;
    std::memset(raw, 0, count * sizeof(uint32_t));
    pixels_.reset(raw);
    width_ = width;
    height_ = height;
    return Status::Ok;
}

namespace {

uint64_t mix(uint64_t h, uint64_t v) {
    // FNV-1a over the 8 bytes of v.
    for (int i = 0; i < 8; ++i) {
        h ^= (v >> (8 * i)) & 0xff;
        h *= 0x100000001b3ull;
    }
    return h;
}

}  // namespace

ColorAdjuster::ColorAdjuster(const ImageAttributes* attributes) {
    uint64_t h = 0xcbf29ce484222325ull;
    if (attributes && attributes->gamma()) {
        float g = *attributes->gamma();
        hasGamma_ = true;
        for (int c = 0; c < 256; ++c) {
            double v = 255.0 * std::pow(c / 255.0, static_cast<double>(g));
            gammaTable_[c] = static_cast<uint8_t>(std::clamp(std::lround(v), 0L, 255L));
        }
        uint32_t bits;
        std::memcpy(&bits, &g, sizeof bits);
        h = mix(h, 0x100000000ull | bits);
    }
    if (attributes) {
        remap_ = attributes->remap();
        // Sorted for binary search; the stable sort plus unique keep the
        // first entry of equal old colours, which is the one that applies.
        std::stable_sort(remap_.begin(), remap_.end(),
                         [](const ColorMap& a, const ColorMap& b) { return a.oldColor < b.oldColor; });
        remap_.erase(std::unique(remap_.begin(), remap_.end(),
                                 [](const ColorMap& a, const ColorMap& b) {
                                     return a.oldColor == b.oldColor;
                                 }),
                     remap_.end());
        for (const ColorMap& m : remap_) h = mix(h, (uint64_t{m.oldColor} << 32) | m.newColor);
    }
    fingerprint_ = identity() ? 0 : h;
}

ARGB ColorAdjuster::apply(ARGB c) const {
    if (!remap_.empty()) {
        auto it = std::lower_bound(remap_.begin(), remap_.end(), c,
                                   [](const ColorMap& m, ARGB v) { return m.oldColor < v; });
        if (it != remap_.end() && it->oldColor == c) c = it->newColor;
    }
    if (hasGamma_) {
        c = (c & 0xff000000u) | (uint32_t{gammaTable_[(c >> 16) & 0xff]} << 16) |
            (uint32_t{gammaTable_[(c >> 8) & 0xff]} << 8) | gammaTable_[c & 0xff];
    }
    return c;
}

void ColorAdjuster::applyRow(ARGB* row, int count) const {
    if (identity()) return;
    for (int i = 0; i < count; ++i) row[i] = apply(row[i]);
}

void premultiplyRow(uint32_t* row, int count) {
    // Most rows are opaque: one pass the compiler vectorises settles them.
    uint32_t all = 0xffffffffu;
    for (int i = 0; i < count; ++i) all &= row[i];
    if ((all >> 24) == 255) return;
    for (int i = 0; i < count; ++i) {
        uint32_t c = row[i];
        uint32_t a = c >> 24;
        if (a == 255) continue;
        row[i] = premultiply(c);
    }
}

void unpremultiplyRow(uint32_t* row, int count) {
    for (int i = 0; i < count; ++i) {
        uint32_t c = row[i];
        if ((c >> 24) == 255) continue;
        row[i] = unpremultiply(c);
    }
}

PremulRowReader::PremulRowReader(const Image& image, const ColorAdjuster& adjust,
                                 KnownOpaque opaque)
    : pixels_(image.pixels()),
      palette_(&image.palette()),
      adjust_(adjust),
      inPlace_(adjust.identity() &&
               (pixels_.format() == PixelFormat32bppPARGB ||
                (pixels_.format() == PixelFormat32bppARGB && opaque == KnownOpaque::Yes))) {}

const uint32_t* PremulRowReader::read(int y, int x0, int count) {
    const uint8_t* in = pixels_.row(y);
    if (inPlace_) return reinterpret_cast<const uint32_t*>(in) + x0;
    if (scratch_.size() < static_cast<size_t>(count)) scratch_.resize(static_cast<size_t>(count));
    readInto(y, x0, count, scratch_.data());
    return scratch_.data();
}

void PremulRowReader::readInto(int y, int x0, int count, uint32_t* out) const {
    const uint8_t* in = pixels_.row(y);
    if (inPlace_) {
        std::memcpy(out, reinterpret_cast<const uint32_t*>(in) + x0, static_cast<size_t>(count) * 4);
        return;
    }
    rowToArgb32(pixels_.format(), in, x0, count, palette_, out);
    adjust_.applyRow(out, count);
    premultiplyRow(out, count);
}

Status convertArea(const Image& image, const Rect& area, const ColorAdjuster& adjust,
                   PremulBuffer& out) {
    const PixelData& px = image.pixels();
    if (px.empty() || area.width <= 0 || area.height <= 0 || area.x < 0 || area.y < 0 ||
        area.x + area.width > px.width() || area.y + area.height > px.height())
        return Status::InvalidParameter;
    Status s = out.allocate(area.width, area.height);
    if (s != Status::Ok) return s;
    PremulRowReader reader(image, adjust);
    for (int y = 0; y < area.height; ++y) reader.readInto(area.y + y, area.x, area.width, out.row(y));
    return Status::Ok;
}

bool isOpaque(const PremulBuffer& buffer) {
    for (int y = 0; y < buffer.height(); ++y) {
        const uint32_t* row = buffer.row(y);
        uint32_t all = 0xff000000u;
        for (int x = 0; x < buffer.width(); ++x) all &= row[x];
        if ((all & 0xff000000u) != 0xff000000u) return false;
    }
    return true;
}

bool imageIsOpaque(const Image& image) {
    const PixelData& px = image.pixels();
    if (px.empty()) return false;
    PixelFormat f = px.format();
    if (isIndexed(f)) {
        const auto& entries = image.palette().entries;
        return std::all_of(entries.begin(), entries.end(),
                           [](ARGB c) { return (c >> 24) == 255; });
    }
    if (!hasAlpha(f)) return true;
    if (f == PixelFormat32bppARGB || f == PixelFormat32bppPARGB) {
        for (int y = 0; y < px.height(); ++y) {
            const uint8_t* row = px.row(y);
            uint8_t all = 255;
            for (int x = 0; x < px.width(); ++x) all &= row[4 * x + 3];
            if (all != 255) return false;
        }
        return true;
    }
    std::vector<ARGB> buf(static_cast<size_t>(px.width()));
    for (int y = 0; y < px.height(); ++y) {
        rowToArgb32(f, px.row(y), 0, px.width(), &image.palette(), buf.data());
        for (ARGB c : buf)
            if ((c >> 24) != 255) return false;
    }
    return true;
}

}  // namespace orrery::gdiplus
