#include "platform/gdiplus/image.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <fstream>

namespace orrery::gdiplus {

namespace {

// Generations are unique across all images so that a cache can never match
// pixels it was not made from.
uint64_t nextGeneration() {
    static std::atomic<uint64_t> counter{0};
    return ++counter;
}

bool paletteHasAlpha(const Palette& p) {
    for (ARGB c : p.entries)
        if ((c >> 24) != 0xff) return true;
    return false;
}

bool isInside(const Rect& r, int width, int height) {
    return r.x >= 0 && r.y >= 0 && r.width > 0 && r.height > 0 && r.x <= width - r.width &&
           r.y <= height - r.height;
}

// Copies one pixel of `bytesPerPixel` bytes, or one index for sub-byte formats.
struct PixelMover {
    PixelFormat format;
    int bytes;  // 0 for 1 and 4 bpp
    void move(const uint8_t* srcRow, int sx, uint8_t* dstRow, int dx) const {
        if (bytes) {
            std::memcpy(dstRow + static_cast<size_t>(dx) * bytes, srcRow + static_cast<size_t>(sx) * bytes,
                        static_cast<size_t>(bytes));
            return;
        }
        convertRow(format, srcRow, sx, nullptr, format, dstRow, dx, nullptr, 1);
    }
};

// Copies `count` pixels of kBytes bytes to consecutive places at `to`, taking
// them from `from` onwards `step` bytes apart.
template <int kBytes>
void copyRunOf(const uint8_t* from, ptrdiff_t step, uint8_t* to, int count) {
    for (int i = 0; i < count; ++i, from += step, to += kBytes) std::memcpy(to, from, kBytes);
}

void copyRun(int bytes, const uint8_t* from, ptrdiff_t step, uint8_t* to, int count) {
    switch (bytes) {
        case 1: return copyRunOf<1>(from, step, to, count);
        case 2: return copyRunOf<2>(from, step, to, count);
        case 3: return copyRunOf<3>(from, step, to, count);
        case 4: return copyRunOf<4>(from, step, to, count);
        case 6: return copyRunOf<6>(from, step, to, count);
        default: return copyRunOf<8>(from, step, to, count);
    }
}

}  // namespace

Image::Image(Decoded decoded)
    : type_(decoded.isMetafile ? ImageType::Metafile : ImageType::Bitmap),
      rawFormat_(decoded.rawFormat),
      frame_(std::move(decoded.frame)),
      frames_(std::move(decoded.frames)),
      metafileWidth_(decoded.metafileWidth),
      metafileHeight_(decoded.metafileHeight),
      metafileBytes_(std::move(decoded.metafileBytes)),
      generation_(nextGeneration()),
      opaqueGeneration_(frame_.opaque ? generation_ : 0) {}

Image::~Image() = default;

std::span<const uint8_t> Image::metafileBytes() const {
    return metafileBytes_ ? metafileBytes_->bytes() : std::span<const uint8_t>{};
}

std::unique_ptr<Image> Image::fromPixels(PixelData pixels, Palette palette) {
    Decoded d;
    d.rawFormat = ImageFormat::MemoryBMP;
    if (isIndexed(pixels.format()) && palette.entries.empty()) palette = defaultPalette(pixels.format());
    d.frame.pixels = std::move(pixels);
    d.frame.palette = std::move(palette);
    return std::make_unique<Image>(std::move(d));
}

void Image::replaceFrame(Frame frame) {
    frame_ = std::move(frame);
    frameReplaced();
}

void Image::touch() {
    generation_ = nextGeneration();
    cache_.reset();
}

void Image::frameReplaced() {
    touch();
    opaqueGeneration_ = frame_.opaque ? generation_ : 0;
}

int Image::width() const { return type_ == ImageType::Metafile ? metafileWidth_ : frame_.pixels.width(); }
int Image::height() const { return type_ == ImageType::Metafile ? metafileHeight_ : frame_.pixels.height(); }

PixelFormat Image::pixelFormat() const {
    if (type_ == ImageType::Metafile) return PixelFormat32bppRGB;
    return frame_.pixels.format();
}

uint32_t Image::flags() const {
    uint32_t f = frame_.flags;
    if (type_ == ImageType::Metafile) f |= ImageFlagsScalable;
    if (hasAlpha(pixelFormat()) || (isIndexed(pixelFormat()) && paletteHasAlpha(frame_.palette)))
        f |= ImageFlagsHasAlpha;
    return f;
}

Status Image::setResolution(float dpiX, float dpiY) {
    if (!(dpiX > 0) || !(dpiY > 0)) return Status::InvalidParameter;
    frame_.dpiX = dpiX;
    frame_.dpiY = dpiY;
    return Status::Ok;
}

Status Image::setPalette(const Palette& palette) {
    if (type_ != ImageType::Bitmap) return Status::InvalidParameter;
    PixelFormat f = pixelFormat();
    if (!isIndexed(f)) return Status::InvalidParameter;
    if (palette.entries.empty() || palette.entries.size() > (size_t{1} << bitsPerPixel(f)))
        return Status::InvalidParameter;
    frame_.palette = palette;
    touch();
    return Status::Ok;
}

// ---------------------------------------------------------------------------
// Frames

std::vector<Guid> Image::frameDimensions() const {
    return {frames_ ? frames_->dimension() : FrameDimension::Page};
}

Status Image::frameCount(const Guid& dimension, uint32_t& count) const {
    if (dimension != frameDimensions().front()) return Status::InvalidParameter;
    count = frames_ ? frames_->count() : 1;
    return Status::Ok;
}

Status Image::selectActiveFrame(const Guid& dimension, uint32_t index) {
    uint32_t count = 0;
    Status s = frameCount(dimension, count);
    if (s != Status::Ok) return s;
    if (index >= count) return Status::InvalidParameter;
    if (locked_) return Status::WrongState;
    if (!frames_) return Status::Ok;
    Frame next;
    s = frames_->decode(index, next);
    if (s != Status::Ok) return s;
    frame_ = std::move(next);
    activeFrame_ = index;
    frameReplaced();
    return Status::Ok;
}

// ---------------------------------------------------------------------------
// Property items

std::vector<uint32_t> Image::propertyIdList() const {
    std::vector<uint32_t> ids;
    ids.reserve(frame_.properties.size());
    for (const PropertyItem& p : frame_.properties) ids.push_back(p.id);
    return ids;
}

Status Image::propertyItemSize(uint32_t id, uint32_t& size) const {
    for (const PropertyItem& p : frame_.properties)
        if (p.id == id) {
            size = 16 + p.length();
            return Status::Ok;
        }
    return Status::PropertyNotFound;
}

Status Image::getPropertyItem(uint32_t id, PropertyItem& item) const {
    for (const PropertyItem& p : frame_.properties)
        if (p.id == id) {
            item = p;
            return Status::Ok;
        }
    return Status::PropertyNotFound;
}

Status Image::setPropertyItem(const PropertyItem& item) {
    if (type_ != ImageType::Bitmap) return Status::PropertyNotSupported;
    for (PropertyItem& p : frame_.properties)
        if (p.id == item.id) {
            p = item;
            return Status::Ok;
        }
    frame_.properties.push_back(item);
    return Status::Ok;
}

Status Image::removePropertyItem(uint32_t id) {
    auto& props = frame_.properties;
    auto it = std::find_if(props.begin(), props.end(), [id](const PropertyItem& p) { return p.id == id; });
    if (it == props.end()) return Status::PropertyNotFound;
    props.erase(it);
    return Status::Ok;
}

// ---------------------------------------------------------------------------
// Pixels

Status Image::lockBits(const Rect* rect, uint32_t mode, PixelFormat format, BitmapData& data) {
    if (type_ != ImageType::Bitmap || frame_.pixels.empty()) return Status::InvalidParameter;
    if (!isValidPixelFormat(format)) return Status::InvalidParameter;
    if ((mode & (ImageLockModeRead | ImageLockModeWrite)) == 0) return Status::InvalidParameter;
    if (locked_) return Status::WrongState;
    Rect r = rect ? *rect : Rect{0, 0, width(), height()};
    if (!isInside(r, width(), height())) return Status::InvalidParameter;
    const PixelFormat own = pixelFormat();
    // An indexed lock needs indices: only an indexed image has them.
    if (isIndexed(format) && !isIndexed(own)) return Status::InvalidParameter;

    if (mode & ImageLockModeWrite) {
        const Status s = makePixelsWritable();
        if (s != Status::Ok) return s;
    }
    data.width = r.width;
    data.height = r.height;
    data.pixelFormat = format;
    data.lockRect = r;
    data.lockMode = mode;
    data.buffer.reset();

    const bool userBuffer = (mode & ImageLockModeUserInputBuf) != 0;
    const bool byteAligned = (static_cast<size_t>(r.x) * bitsPerPixel(own)) % 8 == 0;
    if (!userBuffer && format == own && byteAligned) {
        data.stride = frame_.pixels.stride();
        data.scan0 = frame_.pixels.row(r.y) + static_cast<size_t>(r.x) * bitsPerPixel(own) / 8;
    } else {
        if (userBuffer) {
            if (!data.scan0 || std::abs(data.stride) < static_cast<ptrdiff_t>((static_cast<size_t>(r.width) * bitsPerPixel(format) + 7) / 8))
                return Status::InvalidParameter;
        } else {
            if (!fitsAllocationLimit(r.width, r.height, format)) return Status::OutOfMemory;
            size_t stride = strideFor(format, r.width);
            data.buffer.reset(new (std::nothrow) uint8_t[stride * static_cast<size_t>(r.height)]());
            if (!data.buffer) return Status::OutOfMemory;
            data.stride = static_cast<ptrdiff_t>(stride);
            data.scan0 = data.buffer.get();
        }
        if (mode & ImageLockModeRead) {
            const Palette* pal = &frame_.palette;
            for (int y = 0; y < r.height; ++y)
                convertRow(own, frame_.pixels.row(r.y + y), r.x, pal, format, data.scan0 + y * data.stride, 0,
                           pal, r.width);
        }
    }
    locked_ = true;
    return Status::Ok;
}

Status Image::unlockBits(BitmapData& data) {
    if (!locked_) return Status::WrongState;
    locked_ = false;
    const Rect& r = data.lockRect;
    const PixelFormat own = pixelFormat();
    const bool inPlace = !data.buffer && !(data.lockMode & ImageLockModeUserInputBuf);
    if ((data.lockMode & ImageLockModeWrite) && !inPlace) {
        const Palette* pal = &frame_.palette;
        for (int y = 0; y < r.height; ++y)
            convertRow(data.pixelFormat, data.scan0 + y * data.stride, 0, pal, own, frame_.pixels.row(r.y + y),
                       r.x, pal, r.width);
    }
    if (data.lockMode & ImageLockModeWrite) touch();
    data.buffer.reset();
    data.scan0 = nullptr;
    return Status::Ok;
}

Status Image::makePixelsWritable() {
    if (!frame_.pixels.isReadOnly()) return Status::Ok;
    PixelData own;
    const Status s = frame_.pixels.copy(own);
    if (s == Status::Ok) frame_.pixels = std::move(own);
    return s;
}

Status Image::getPixel(int x, int y, ARGB& color) const {
    if (type_ != ImageType::Bitmap || frame_.pixels.empty()) return Status::InvalidParameter;
    if (x < 0 || y < 0 || x >= width() || y >= height()) return Status::InvalidParameter;
    rowToArgb32(pixelFormat(), frame_.pixels.row(y), x, 1, &frame_.palette, &color);
    return Status::Ok;
}

Status Image::setPixel(int x, int y, ARGB color) {
    if (type_ != ImageType::Bitmap || frame_.pixels.empty()) return Status::InvalidParameter;
    if (x < 0 || y < 0 || x >= width() || y >= height()) return Status::InvalidParameter;
    // The platform refuses SetPixel on indexed bitmaps.
    if (isIndexed(pixelFormat())) return Status::InvalidParameter;
    if (const Status s = makePixelsWritable(); s != Status::Ok) return s;
    rowFromArgb32(pixelFormat(), &color, 1, nullptr, frame_.pixels.row(y), x);
    touch();
    return Status::Ok;
}

Status Image::rotateFlip(RotateFlipType type) {
    if (type < RotateNoneFlipNone || type > Rotate270FlipX) return Status::InvalidParameter;
    if (type_ != ImageType::Bitmap || frame_.pixels.empty()) return Status::InvalidParameter;
    if (locked_) return Status::WrongState;
    if (type == RotateNoneFlipNone) return Status::Ok;
    const int rotation = type & 3;
    const bool flipX = (type & 4) != 0;
    const bool quarter = (rotation & 1) != 0;
    const int w = width(), h = height();
    const int nw = quarter ? h : w, nh = quarter ? w : h;
    const PixelFormat f = pixelFormat();
    // The drawing caches describe the pixels being replaced: they go first,
    // so that they are not held beside both pictures.
    cache_.reset();
    PixelData out;
    Status s = PixelData::allocate(nw, nh, f, out);
    if (s != Status::Ok) return s;
    const PixelMover mover{f, bitsPerPixel(f) >= 8 ? bitsPerPixel(f) / 8 : 0};
    auto sourceOf = [&](int x, int y, int& sx, int& sy) {
        const int xr = flipX ? nw - 1 - x : x, yr = y;
        switch (rotation) {
            case 0: sx = xr; sy = yr; break;
            case 1: sx = yr; sy = h - 1 - xr; break;
            case 2: sx = w - 1 - xr; sy = h - 1 - yr; break;
            default: sx = w - 1 - yr; sy = xr; break;
        }
    };
    // The new picture is made in bands that each read a run of whole source
    // rows: bands of columns for the quarter turns, of rows otherwise. The
    // source rows a band finishes are released behind it, so a large picture
    // is held about once, not twice. Tiles keep both images' rows in cache.
    constexpr int kTile = 64;
    const int bands = quarter ? nw : nh, across = quarter ? nh : nw;
    int finishedLo = h, finishedHi = 0;  // source rows finished so far
    for (int b = 0; b < bands; b += kTile) {
        const int bEnd = std::min(bands, b + kTile);
        for (int a = 0; a < across; a += kTile) {
            const int aEnd = std::min(across, a + kTile);
            const int x0 = quarter ? b : a, x1 = quarter ? bEnd : aEnd;
            const int y0 = quarter ? a : b, y1 = quarter ? aEnd : bEnd;
            for (int y = y0; y < y1; ++y) {
                uint8_t* dstRow = out.row(y);
                int sx, sy, nextX, nextY;
                sourceOf(x0, y, sx, sy);
                if (!mover.bytes) {
                    for (int x = x0; x < x1; ++x) {
                        sourceOf(x, y, sx, sy);
                        mover.move(frame_.pixels.row(sy), sx, dstRow, x);
                    }
                    continue;
                }
                // Along a row of the new picture the source moves by a fixed step.
                sourceOf(x0 + 1, y, nextX, nextY);
                const ptrdiff_t step = (nextY - sy) * frame_.pixels.stride() + (nextX - sx) * mover.bytes;
                copyRun(mover.bytes, frame_.pixels.row(sy) + static_cast<ptrdiff_t>(sx) * mover.bytes, step,
                        dstRow + static_cast<ptrdiff_t>(x0) * mover.bytes, x1 - x0);
            }
        }
        // The band's source rows, a run beside those finished before.
        int first, last, unused;
        sourceOf(quarter ? b : 0, quarter ? 0 : b, unused, first);
        sourceOf(quarter ? bEnd - 1 : 0, quarter ? 0 : bEnd - 1, unused, last);
        finishedLo = std::min({finishedLo, first, last});
        finishedHi = std::max({finishedHi, first + 1, last + 1});
        // Pages released before are released again at no cost; a page across
        // the border with the band is whole once the band is finished.
        frame_.pixels.releaseRows(finishedLo, finishedHi);
    }
    frame_.pixels = std::move(out);
    if (rotation & 1) std::swap(frame_.dpiX, frame_.dpiY);
    touch();
    return Status::Ok;
}

Status Image::cloneArea(const Rect& rect, PixelFormat format, std::unique_ptr<Image>& out) const {
    if (type_ != ImageType::Bitmap || frame_.pixels.empty()) return Status::InvalidParameter;
    if (!isValidPixelFormat(format) || !isInside(rect, width(), height())) return Status::InvalidParameter;
    const PixelFormat own = pixelFormat();
    if (isIndexed(format) && !isIndexed(own)) return Status::InvalidParameter;
    PixelData pixels;
    Status s = PixelData::allocate(rect.width, rect.height, format, pixels);
    if (s != Status::Ok) return s;
    const Palette* pal = &frame_.palette;
    for (int y = 0; y < rect.height; ++y)
        convertRow(own, frame_.pixels.row(rect.y + y), rect.x, pal, format, pixels.row(y), 0, pal, rect.width);
    auto image = fromPixels(std::move(pixels), isIndexed(format) ? frame_.palette : Palette{});
    image->frame_.dpiX = frame_.dpiX;
    image->frame_.dpiY = frame_.dpiY;
    out = std::move(image);
    return Status::Ok;
}

Status Image::clone(std::unique_ptr<Image>& out) const {
    if (type_ == ImageType::Metafile) {
        Decoded d;
        d.rawFormat = rawFormat_;
        d.isMetafile = true;
        d.metafileWidth = metafileWidth_;
        d.metafileHeight = metafileHeight_;
        d.metafileBytes = metafileBytes_;
        d.frame.dpiX = frame_.dpiX;
        d.frame.dpiY = frame_.dpiY;
        d.frame.flags = frame_.flags;
        out = std::make_unique<Image>(std::move(d));
        return Status::Ok;
    }
    if (frame_.pixels.empty()) return Status::InvalidParameter;
    Decoded d;
    d.rawFormat = rawFormat_;
    Status s = frame_.pixels.copy(d.frame.pixels);
    if (s != Status::Ok) return s;
    d.frame.palette = frame_.palette;
    d.frame.dpiX = frame_.dpiX;
    d.frame.dpiY = frame_.dpiY;
    d.frame.flags = frame_.flags;
    d.frame.properties = frame_.properties;
    d.frame.iccProfile = frame_.iccProfile;
    out = std::make_unique<Image>(std::move(d));
    return Status::Ok;
}

Status Image::thumbnail(int thumbWidth, int thumbHeight, std::unique_ptr<Image>& out) const {
    if (type_ != ImageType::Bitmap || frame_.pixels.empty()) return Status::InvalidParameter;
    if (thumbWidth < 0 || thumbHeight < 0) return Status::InvalidParameter;
    if (thumbWidth == 0 && thumbHeight == 0) thumbWidth = thumbHeight = 120;
    else if (thumbWidth == 0 || thumbHeight == 0) return Status::InvalidParameter;
    PixelData pixels;
    Status s = PixelData::allocate(thumbWidth, thumbHeight, PixelFormat32bppPARGB, pixels);
    if (s != Status::Ok) return s;
    // Area average: every thumbnail pixel is the mean of the premultiplied
    // source pixels its rectangle covers.
    const int w = width(), h = height();
    std::vector<ARGB> row(static_cast<size_t>(w));
    std::vector<uint64_t> sums(static_cast<size_t>(thumbWidth) * 4);
    std::vector<uint64_t> counts(static_cast<size_t>(thumbWidth));
    for (int ty = 0; ty < thumbHeight; ++ty) {
        const int y0 = static_cast<int>(static_cast<int64_t>(ty) * h / thumbHeight);
        const int y1 = std::max(y0 + 1, static_cast<int>(static_cast<int64_t>(ty + 1) * h / thumbHeight));
        std::fill(sums.begin(), sums.end(), 0);
        std::fill(counts.begin(), counts.end(), 0);
        for (int y = y0; y < y1 && y < h; ++y) {
            rowToArgb32(pixelFormat(), frame_.pixels.row(y), 0, w, &frame_.palette, row.data());
            for (int tx = 0; tx < thumbWidth; ++tx) {
                const int x0 = static_cast<int>(static_cast<int64_t>(tx) * w / thumbWidth);
                const int x1 = std::max(x0 + 1, static_cast<int>(static_cast<int64_t>(tx + 1) * w / thumbWidth));
                for (int x = x0; x < x1 && x < w; ++x) {
                    ARGB c = premultiply(row[static_cast<size_t>(x)]);
                    for (int k = 0; k < 4; ++k) sums[static_cast<size_t>(tx) * 4 + k] += (c >> (8 * k)) & 0xff;
                    ++counts[static_cast<size_t>(tx)];
                }
            }
        }
        uint32_t* dst = reinterpret_cast<uint32_t*>(pixels.row(ty));
        for (int tx = 0; tx < thumbWidth; ++tx) {
            uint64_t n = std::max<uint64_t>(1, counts[static_cast<size_t>(tx)]);
            uint32_t c = 0;
            for (int k = 0; k < 4; ++k)
                c |= static_cast<uint32_t>((sums[static_cast<size_t>(tx) * 4 + k] + n / 2) / n) << (8 * k);
            dst[tx] = c;
        }
    }
    auto image = fromPixels(std::move(pixels));
    image->frame_.dpiX = frame_.dpiX;
    image->frame_.dpiY = frame_.dpiY;
    out = std::move(image);
    return Status::Ok;
}

Status Image::forceValidation() const {
    if (type_ == ImageType::Metafile) return width() > 0 && height() > 0 ? Status::Ok : Status::WrongState;
    return frame_.pixels.empty() ? Status::WrongState : Status::Ok;
}

// ---------------------------------------------------------------------------
// Encoding

Status Image::saveToBytes(const Guid& encoderClsid, const EncoderParameters& params, ByteSink& out) const {
    const Encoder* encoder = findEncoder(encoderClsid);
    if (!encoder) return Status::UnknownImageFormat;
    if (type_ != ImageType::Bitmap || frame_.pixels.empty()) return Status::InvalidParameter;
    out.clear();
    return encoder->encode(*this, params, out);
}

Status Image::save(const std::string& path, const Guid& encoderClsid, const EncoderParameters& params) const {
    ByteSink bytes;
    Status s = saveToBytes(encoderClsid, params, bytes);
    if (s != Status::Ok) return s;
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    if (!file) return Status::Win32Error;
    file.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    file.close();
    return file ? Status::Ok : Status::Win32Error;
}

}  // namespace orrery::gdiplus
