// An image of the imaging layer: a bitmap in its own pixel format (with its
// palette, resolution, property items and frames), or a metafile: its size,
// resolution and records, rasterised only when it is drawn.
#pragma once
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "orrery/gdiplus/rect.h"
#include "orrery/rotate_flip_type.h"
#include "platform/gdiplus/codec.h"
#include "platform/gdiplus/frame.h"
#include "orrery/gdiplus/guid.h"
#include "platform/gdiplus/pixel_data.h"

namespace orrery::gdiplus {

enum class ImageType { Unknown = 0, Bitmap = 1, Metafile = 2 };

// The platform's rotate-flip values, as the control's public header gives them.
using RotateFlipType = orrery::RotateFlipType;
using enum orrery::RotateFlipType;

enum ImageLockMode : uint32_t {
    ImageLockModeRead = 1,
    ImageLockModeWrite = 2,
    ImageLockModeUserInputBuf = 4,
};

// BitmapData of the platform: the locked pixels in the asked format.
struct BitmapData {
    int width = 0;
    int height = 0;
    ptrdiff_t stride = 0;
    PixelFormat pixelFormat = PixelFormatUndefined;
    uint8_t* scan0 = nullptr;
    // Private to the image: the lock's rectangle, mode and conversion buffer.
    Rect lockRect;
    uint32_t lockMode = 0;
    std::shared_ptr<uint8_t[]> buffer;
};

// Per-image state that drawing keeps (reduced levels for high-quality
// scaling). Dropped whenever the pixels change.
class ImageCache {
public:
    virtual ~ImageCache() = default;
};

class Image {
public:
    Image() = default;
    explicit Image(Decoded decoded);
    Image(const Image&) = delete;
    Image& operator=(const Image&) = delete;
    ~Image();

    ImageType type() const { return type_; }
    int width() const;
    int height() const;
    PixelFormat pixelFormat() const;
    Guid rawFormat() const { return rawFormat_; }
    void setRawFormat(const Guid& g) { rawFormat_ = g; }
    uint32_t flags() const;
    float horizontalResolution() const { return frame_.dpiX; }
    float verticalResolution() const { return frame_.dpiY; }
    // InvalidParameter for values not above 0.
    Status setResolution(float dpiX, float dpiY);

    const Palette& palette() const { return frame_.palette; }
    // InvalidParameter for a non-indexed image or more entries than the depth allows.
    Status setPalette(const Palette& palette);

    // Frames. Every image has at least one frame; single-frame images report
    // the page dimension, as the platform does.
    std::vector<Guid> frameDimensions() const;
    // InvalidParameter when `dimension` is not one of frameDimensions().
    Status frameCount(const Guid& dimension, uint32_t& count) const;
    // Decodes frame `index`; changes to the current frame are dropped, as on
    // the platform. InvalidParameter for a wrong dimension or index.
    Status selectActiveFrame(const Guid& dimension, uint32_t index);
    uint32_t activeFrame() const { return activeFrame_; }

    // Property items of the current frame.
    uint32_t propertyCount() const { return static_cast<uint32_t>(frame_.properties.size()); }
    std::vector<uint32_t> propertyIdList() const;
    // PropertyNotFound when absent. Size is that of the platform's flat
    // layout: a 16-byte header followed by the value.
    Status propertyItemSize(uint32_t id, uint32_t& size) const;
    Status getPropertyItem(uint32_t id, PropertyItem& item) const;
    Status setPropertyItem(const PropertyItem& item);
    Status removePropertyItem(uint32_t id);
    const std::vector<PropertyItem>& properties() const { return frame_.properties; }

    // Pixels. `rect` null means the whole image. Locking in another format
    // converts; a write lock writes the pixels back on unlock. Locking twice
    // gives WrongState. ObjectBusy is not used.
    Status lockBits(const Rect* rect, uint32_t mode, PixelFormat format, BitmapData& data);
    Status unlockBits(BitmapData& data);
    Status getPixel(int x, int y, ARGB& color) const;
    Status setPixel(int x, int y, ARGB color);

    Status rotateFlip(RotateFlipType type);
    // A new single-frame bitmap of `rect` in `format`. InvalidParameter when
    // rect is not inside the image.
    Status cloneArea(const Rect& rect, PixelFormat format, std::unique_ptr<Image>& out) const;
    Status clone(std::unique_ptr<Image>& out) const;
    // A 32bppPARGB thumbnail of the given size (platform default 120 when 0).
    Status thumbnail(int width, int height, std::unique_ptr<Image>& out) const;
    // Proves the image decodes (decoding is done at load here): Ok for a bitmap
    // with pixels, a metafile with a size; WrongState otherwise.
    Status forceValidation() const;

    // Encoding the current frame.
    Status save(const std::string& path, const Guid& encoderClsid,
                const EncoderParameters& params) const;
    Status saveToBytes(const Guid& encoderClsid, const EncoderParameters& params,
                       ByteSink& out) const;

    // A metafile's records (its whole file); empty for a bitmap.
    std::span<const uint8_t> metafileBytes() const;

    // The current frame, for codecs and drawing.
    const Frame& frame() const { return frame_; }
    const PixelData& pixels() const { return frame_.pixels; }
    // Number that changes whenever the pixels or palette change.
    uint64_t generation() const { return generation_; }
    // True while the pixels are as their decoder left them and it said
    // every one is opaque; any change of the pixels ends it.
    bool knownOpaque() const { return opaqueGeneration_ == generation_; }
    ImageCache* cache() const { return cache_.get(); }
    void setCache(std::unique_ptr<ImageCache> cache) const { cache_ = std::move(cache); }

    // Bytes held by this image's pixels (not counting wrapped caller memory).
    size_t bytesHeld() const { return frame_.pixels.bytesHeld(); }

    // Creates a single-frame bitmap from pixels (MemoryBMP raw format).
    static std::unique_ptr<Image> fromPixels(PixelData pixels, Palette palette = {});
    // Replaces the whole frame (used by decoders of handles and by rotate).
    void replaceFrame(Frame frame);

private:
    void touch();
    // Takes a new frame's pixels as they are: a new generation that the
    // frame's opacity, as its decoder states it, holds for.
    void frameReplaced();
    // Read-only pixels are copied into memory of the image's own before the
    // first change.
    Status makePixelsWritable();

    ImageType type_ = ImageType::Unknown;
    Guid rawFormat_ = ImageFormat::Undefined;
    Frame frame_;
    std::unique_ptr<FrameSource> frames_;
    uint32_t activeFrame_ = 0;
    int metafileWidth_ = 0;
    int metafileHeight_ = 0;
    std::shared_ptr<const ByteSource> metafileBytes_;
    bool locked_ = false;
    uint64_t generation_ = 0;
    uint64_t opaqueGeneration_ = 0;  // the generation the decoder's word is for; 0: none
    mutable std::unique_ptr<ImageCache> cache_;
};

}  // namespace orrery::gdiplus
