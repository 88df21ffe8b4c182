// Draws a small image described by the input onto a small target: the
// format, size, pixels, rectangles (fractional, partly or wholly outside),
// interpolation, pixel offset, compositing, page unit and image attributes
// all come from the bytes. Catches reads outside the image or the target at
// edges, in every drawing path.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "platform/gdiplus/graphics.h"

using namespace orrery::gdiplus;

namespace {

class Input {
public:
    Input(const uint8_t* data, size_t size) : data_(data), size_(size) {}
    uint8_t byte() { return pos_ < size_ ? data_[pos_++] : 0; }
    // A coordinate from -4096 to 4096 in steps of 1/8.
    float coordinate() {
        int16_t v = static_cast<int16_t>(byte() | (byte() << 8));
        return static_cast<float>(v) / 8.0f;
    }
    size_t remaining() const { return size_ - pos_; }
    const uint8_t* rest() const { return data_ + pos_; }

private:
    const uint8_t* data_;
    size_t size_;
    size_t pos_ = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static bool once = [] {
        setPixelAllocationLimit(64 << 20);
        return true;
    }();
    (void)once;
    Input in(data, size);
    const auto& formats = allPixelFormats();
    const PixelFormat format = formats[in.byte() % formats.size()];
    const int width = in.byte() % 64 + 1;
    const int height = in.byte() % 64 + 1;
    const auto mode = static_cast<InterpolationMode>(in.byte() % 8);
    const auto offset = static_cast<PixelOffsetMode>(in.byte() % 5);
    const auto compositing = static_cast<CompositingMode>(in.byte() % 2);
    const uint8_t flags = in.byte();
    const RectF dst{in.coordinate(), in.coordinate(), in.coordinate(), in.coordinate()};
    const RectF src{in.coordinate(), in.coordinate(), in.coordinate(), in.coordinate()};
    const float gamma = 0.1f + static_cast<float>(in.byte()) / 32.0f;
    ARGB key = 0;
    for (int i = 0; i < 4; ++i) key = (key << 8) | in.byte();

    // The image: the rest of the input, repeated, as its pixels.
    PixelData pixels;
    if (PixelData::allocate(width, height, format, pixels) != Status::Ok) return 0;
    const size_t rowBytes = strideFor(format, width);
    if (in.remaining() > 0) {
        for (int y = 0; y < height; ++y)
            for (size_t i = 0; i < rowBytes; ++i)
                pixels.row(y)[i] = in.rest()[(static_cast<size_t>(y) * rowBytes + i) % in.remaining()];
    }
    auto image = Image::fromPixels(std::move(pixels));

    ImageAttributes attributes;
    if (flags & 1) attributes.setGamma(gamma);
    if (flags & 2) attributes.setRemapTable({{key, 0x00000000}});

    // The target: a surface, or a bitmap of a drawable format.
    std::vector<uint32_t> surfacePixels(40 * 30, 0xFF336699);
    std::unique_ptr<Image> bitmap;
    std::unique_ptr<Graphics> g;
    if (flags & 4) {
        PixelFormat targetFormat = formats[(flags >> 4) % formats.size()];
        if (isIndexed(targetFormat)) targetFormat = PixelFormat32bppARGB;
        PixelData targetPixels;
        if (PixelData::allocate(40, 30, targetFormat, targetPixels) != Status::Ok) return 0;
        bitmap = Image::fromPixels(std::move(targetPixels));
        if (Graphics::fromImage(*bitmap, g) != Status::Ok) return 0;
    } else {
        Surface surface;
        surface.pixels = surfacePixels.data();
        surface.width = 40;
        surface.height = 30;
        surface.stride = 40 * 4;
        surface.dpiX = surface.dpiY = (flags & 8) ? 254.0f : 96.0f;
        if (Graphics::fromSurface(surface, g) != Status::Ok) return 0;
    }
    g->setInterpolationMode(mode);
    g->setPixelOffsetMode(offset);
    g->setCompositingMode(compositing);
    if (flags & 8) g->setPageUnit(UnitMillimeter);
    g->drawImageRectRect(*image, dst, src, UnitPixel, (flags & 3) ? &attributes : nullptr);
    // Drawing again reuses the cached levels and opacity.
    g->drawImageRectRect(*image, dst, src, UnitPixel, (flags & 3) ? &attributes : nullptr);
    if (flags & 0x80) g->drawImageRect(*image, dst);
    return 0;
}
