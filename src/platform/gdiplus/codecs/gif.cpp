// GIF decoder and encoder on giflib.
//
// Loading walks the records once without decompressing pixels: it finds
// every frame, its graphics control extension, the loop count and the
// comment. Pixels are decompressed when a frame is selected, from the
// frame's own offset, so an animation costs memory for one canvas only.
//
// Every GIF has the time dimension, even with one frame, as on the platform.
// Pixel formats: a GIF with one frame stays 8bppIndexed with its palette, as
// it is stored. A GIF with two or more frames gives every frame as 32bppARGB
// composed the way a browser shows the animation at that frame
// (disposal, transparency, frames placed inside the logical screen), since
// frames with their own palettes and transparency do not share one palette.
#include <gif_lib.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "platform/gdiplus/codecs/codecs.h"
#include "platform/gdiplus/codecs/quantize.h"
#include "platform/gdiplus/image.h"

namespace orrery::gdiplus::codecs {
namespace {

// Bounds the work a file can ask for.
constexpr size_t kMaxFrames = 10000;

constexpr int kDisposalRestoreBackground = 2;
constexpr int kDisposalRestorePrevious = 3;

// ---------------------------------------------------------------------------
// Reading records

struct MemoryInput {
    const uint8_t* data = nullptr;
    size_t size = 0;
    size_t pos = 0;
    bool cameShort = false;  // a read asked for more than was left
    size_t shortReadAt = 0;  // where that read started
};

int readFromMemory(GifFileType* gif, GifByteType* out, int length) {
    auto* in = static_cast<MemoryInput*>(gif->UserData);
    size_t n = std::min(static_cast<size_t>(std::max(length, 0)), in->size - in->pos);
    if (n < static_cast<size_t>(std::max(length, 0)) && !in->cameShort) {
        in->cameShort = true;
        in->shortReadAt = in->pos;
    }
    if (n > 0) std::memcpy(out, in->data + in->pos, n);
    in->pos += n;
    return static_cast<int>(n);
}

struct GifCloser {
    void operator()(GifFileType* gif) const {
        int error = 0;
        DGifCloseFile(gif, &error);
    }
};
using GifReader = std::unique_ptr<GifFileType, GifCloser>;

GifReader openGif(MemoryInput& in) {
    int error = 0;
    return GifReader(DGifOpen(&in, readFromMemory, &error));
}

std::vector<ARGB> colorsOf(const ColorMapObject* map) {
    std::vector<ARGB> colors;
    if (!map || !map->Colors) return colors;
    for (int i = 0; i < map->ColorCount; ++i) {
        const GifColorType& c = map->Colors[i];
        colors.push_back(0xff000000u | uint32_t(c.Red) << 16 | uint32_t(c.Green) << 8 | c.Blue);
    }
    return colors;
}

struct GifFrameInfo {
    size_t offset = 0;  // of the image separator
    int left = 0, top = 0, width = 0, height = 0;
    int disposal = 0;
    int delay = 0;  // hundredths of a second, as stored
    int transparent = NO_TRANSPARENT_COLOR;
    std::vector<ARGB> colors;  // the local colour table, or the global one
};

struct GifLayout {
    int screenWidth = 0;
    int screenHeight = 0;
    int background = 0;
    std::vector<ARGB> globalColors;
    std::vector<GifFrameInfo> frames;
    int loopCount = -1;  // -1: no looping extension
    bool hasComment = false;
    std::string comment;
    // The file closed after its last frame's data, when that data broke off.
    std::vector<uint8_t> closedTruncation;
};

bool isLoopingApplication(const GifByteType* block) {
    return block[0] == 11 && (std::memcmp(block + 1, "NETSCAPE2.0", 11) == 0 ||
                              std::memcmp(block + 1, "ANIMEXTS1.0", 11) == 0);
}

// Reads one extension; false when the data breaks off.
bool readExtension(GifFileType* gif, GifLayout& layout, GraphicsControlBlock& pendingGcb) {
    int code = 0;
    GifByteType* block = nullptr;
    if (DGifGetExtension(gif, &code, &block) == GIF_ERROR) return false;
    bool looping = false;
    bool firstComment = code == COMMENT_EXT_FUNC_CODE && !layout.hasComment;
    if (firstComment) layout.hasComment = true;
    if (block && code == GRAPHICS_EXT_FUNC_CODE) DGifExtensionToGCB(block[0], block + 1, &pendingGcb);
    if (block && code == APPLICATION_EXT_FUNC_CODE) looping = isLoopingApplication(block);
    bool first = true;
    while (block) {
        if (firstComment) layout.comment.append(reinterpret_cast<const char*>(block + 1), block[0]);
        if (looping && !first && block[0] >= 3 && block[1] == 1)
            layout.loopCount = block[2] | block[3] << 8;
        first = false;
        if (DGifGetExtensionNext(gif, &block) == GIF_ERROR) return false;
    }
    return true;
}

// Skips a frame's compressed data; false when it breaks off.
bool skipImageData(GifFileType* gif) {
    int codeSize = 0;
    GifByteType* block = nullptr;
    if (DGifGetCode(gif, &codeSize, &block) == GIF_ERROR) return false;
    while (block)
        if (DGifGetCodeNext(gif, &block) == GIF_ERROR) return false;
    return true;
}

void addFrame(GifFileType* gif, size_t offset, const GifLayout& layout,
              GraphicsControlBlock& gcb, std::vector<GifFrameInfo>& frames) {
    GifFrameInfo f;
    f.offset = offset;
    f.left = gif->Image.Left;
    f.top = gif->Image.Top;
    f.width = gif->Image.Width;
    f.height = gif->Image.Height;
    f.disposal = gcb.DisposalMode;
    f.delay = gcb.DelayTime;
    f.transparent = gcb.TransparentColor;
    f.colors = gif->Image.ColorMap ? colorsOf(gif->Image.ColorMap) : layout.globalColors;
    frames.push_back(std::move(f));
    gcb = GraphicsControlBlock{DISPOSAL_UNSPECIFIED, false, 0, NO_TRANSPARENT_COLOR};
}

// giflib reads a frame's data a whole sub-block at a time and cannot use a
// block that comes short, so a file that breaks off inside its last frame is
// closed first: the block shortened to the bytes that arrived, then a block
// terminator and the trailer. Decoding then shows every row the data holds.
std::vector<uint8_t> closeTruncatedFrame(const ByteSource& bytes, const MemoryInput& in) {
    std::vector<uint8_t> closed;
    if (!in.cameShort || in.shortReadAt == 0) return closed;
    const size_t at = in.shortReadAt;
    const size_t arrived = bytes.size() - at;
    if (arrived == 0) {
        closed.assign(bytes.data(), bytes.data() + bytes.size());
    } else {
        // The block's size byte stands just before its data.
        closed.assign(bytes.data(), bytes.data() + at - 1);
        closed.push_back(static_cast<uint8_t>(arrived));
        closed.insert(closed.end(), bytes.data() + at, bytes.data() + bytes.size());
    }
    closed.push_back(0x00);
    closed.push_back(0x3b);
    return closed;
}

// Walks every record. A file that breaks off keeps the frames found so far;
// only a missing or broken screen descriptor fails.
bool scanLayout(const ByteSource& bytes, GifLayout& layout) {
    MemoryInput in{bytes.data(), bytes.size(), 0};
    GifReader gif = openGif(in);
    if (!gif) return false;
    layout.screenWidth = gif->SWidth;
    layout.screenHeight = gif->SHeight;
    layout.background = gif->SBackGroundColor;
    layout.globalColors = colorsOf(gif->SColorMap);
    GraphicsControlBlock gcb{DISPOSAL_UNSPECIFIED, false, 0, NO_TRANSPARENT_COLOR};
    for (;;) {
        size_t offset = in.pos;
        GifRecordType type = UNDEFINED_RECORD_TYPE;
        if (DGifGetRecordType(gif.get(), &type) == GIF_ERROR) break;
        if (type == IMAGE_DESC_RECORD_TYPE) {
            if (layout.frames.size() == kMaxFrames) break;
            if (DGifGetImageDesc(gif.get()) == GIF_ERROR) break;
            addFrame(gif.get(), offset, layout, gcb, layout.frames);
            if (!skipImageData(gif.get())) {
                layout.closedTruncation = closeTruncatedFrame(bytes, in);
                break;
            }
        } else if (type == EXTENSION_RECORD_TYPE) {
            if (!readExtension(gif.get(), layout, gcb)) break;
        } else {
            break;  // the trailer, or bytes that are no record
        }
    }
    return true;
}

// ---------------------------------------------------------------------------
// Decompressing one frame

// Receives the decoded rows of a frame: frame-relative row number, indices.
class RowTarget {
public:
    virtual ~RowTarget() = default;
    virtual void row(int y, const uint8_t* indices) = 0;
};

// True when some of the frame's pixels fall on the screen.
bool showsOnScreen(const GifLayout& layout, const GifFrameInfo& f) {
    return f.width > 0 && f.height > 0 && f.left < layout.screenWidth && f.top < layout.screenHeight;
}

// Row order of an interlaced frame: four passes.
struct InterlacePass {
    int start, step;
};
constexpr InterlacePass kInterlacePasses[] = {{0, 8}, {4, 8}, {2, 4}, {1, 2}};

// Decompresses frame `f` and hands each row to `target`; rows below the
// screen are not needed and not decoded. Returns the number of rows decoded
// (fewer than the frame's height when the data breaks off).
int decompressFrame(const ByteSource& bytes, const GifLayout& layout, const GifFrameInfo& f,
                    RowTarget& target) {
    if (!showsOnScreen(layout, f)) return 0;
    if (!fitsAllocationLimit(f.width, f.height, PixelFormat8bppIndexed)) return 0;
    MemoryInput in{bytes.data(), bytes.size(), 0};
    GifReader gif = openGif(in);
    if (!gif) return 0;
    in.pos = f.offset;
    GifRecordType type = UNDEFINED_RECORD_TYPE;
    if (DGifGetRecordType(gif.get(), &type) == GIF_ERROR || type != IMAGE_DESC_RECORD_TYPE ||
        DGifGetImageDesc(gif.get()) == GIF_ERROR)
        return 0;
    std::vector<uint8_t> line(static_cast<size_t>(f.width));
    const bool interlaced = gif->Image.Interlace;
    const int visibleRows = std::min(f.height, layout.screenHeight - f.top);
    int decoded = 0;
    for (const InterlacePass& pass : kInterlacePasses) {
        const int start = interlaced ? pass.start : 0;
        const int step = interlaced ? pass.step : 1;
        for (int y = start; y < f.height; y += step) {
            if (!interlaced && y >= visibleRows) return decoded;
            if (DGifGetLine(gif.get(), line.data(), f.width) == GIF_ERROR) return decoded;
            if (y < visibleRows) target.row(y, line.data());
            ++decoded;
        }
        if (!interlaced) break;
    }
    return decoded;
}

// ---------------------------------------------------------------------------
// Frames

std::vector<PropertyItem> gifProperties(const GifLayout& layout, const GifFrameInfo& frame) {
    std::vector<PropertyItem> items;
    std::vector<uint32_t> delays;
    for (const GifFrameInfo& f : layout.frames) delays.push_back(static_cast<uint32_t>(f.delay));
    items.push_back(PropertyItem::fromLongs(PropertyTagFrameDelay, delays));
    if (layout.loopCount >= 0)
        items.push_back(PropertyItem::fromShorts(PropertyTagLoopCount,
                                                 {static_cast<uint16_t>(layout.loopCount)}));
    if (layout.hasComment) {
        // The text up to any NUL it carries.
        items.push_back(PropertyItem::fromAscii(PropertyTagExifUserComment,
                                                std::string(layout.comment.c_str())));
    }
    if (!layout.globalColors.empty()) {
        PropertyItem palette{PropertyTagGlobalPalette, PropertyTagTypeByte, {}};
        for (ARGB c : layout.globalColors)
            for (int shift : {16, 8, 0}) palette.value.push_back(static_cast<uint8_t>(c >> shift));
        items.push_back(std::move(palette));
        items.push_back(PropertyItem{PropertyTagIndexBackground, PropertyTagTypeByte,
                                     {static_cast<uint8_t>(layout.background)}});
    }
    if (frame.transparent != NO_TRANSPARENT_COLOR)
        items.push_back(PropertyItem{PropertyTagIndexTransparent, PropertyTagTypeByte,
                                     {static_cast<uint8_t>(frame.transparent)}});
    return items;
}

Frame frameShell(const GifLayout& layout, const GifFrameInfo& info) {
    Frame frame;
    frame.flags = ImageFlagsColorSpaceRGB;
    frame.properties = gifProperties(layout, info);
    return frame;
}

// Writes the rows of a single-frame GIF into its 8bpp screen.
class IndexedRows final : public RowTarget {
public:
    IndexedRows(PixelData& screen, const GifFrameInfo& f) : screen_(screen), f_(f) {}
    void row(int y, const uint8_t* indices) override {
        uint8_t* out = screen_.row(f_.top + y);
        const int end = std::min(f_.left + f_.width, screen_.width());
        for (int x = f_.left; x < end; ++x) {
            uint8_t v = indices[x - f_.left];
            if (v != f_.transparent) out[x] = v;
        }
    }

private:
    PixelData& screen_;
    const GifFrameInfo& f_;
};

Status decodeSingleFrame(const ByteSource& bytes, const GifLayout& layout, Frame& out) {
    const GifFrameInfo& f = layout.frames[0];
    Frame frame = frameShell(layout, f);
    Status s = PixelData::allocate(layout.screenWidth, layout.screenHeight, PixelFormat8bppIndexed,
                                   frame.pixels);
    if (s != Status::Ok) return s;
    frame.palette.entries = f.colors.empty() ? grayPalette(256).entries : f.colors;
    const int fill = f.transparent != NO_TRANSPARENT_COLOR ? f.transparent : layout.background;
    for (int y = 0; y < layout.screenHeight; ++y)
        std::memset(frame.pixels.row(y), fill, static_cast<size_t>(layout.screenWidth));
    if (f.transparent != NO_TRANSPARENT_COLOR) {
        auto& entries = frame.palette.entries;
        if (entries.size() <= static_cast<size_t>(f.transparent))
            entries.resize(static_cast<size_t>(f.transparent) + 1, 0xff000000u);
        entries[static_cast<size_t>(f.transparent)] &= 0x00ffffffu;
        frame.palette.flags |= PaletteFlagsHasAlpha;
        frame.flags |= ImageFlagsHasAlpha;
    }
    IndexedRows target(frame.pixels, f);
    if (decompressFrame(bytes, layout, f, target) == 0 && showsOnScreen(layout, f))
        return Status::InvalidParameter;
    out = std::move(frame);
    return Status::Ok;
}

// A still GIF is reachable along the time dimension too, as every GIF is on
// the platform; its one frame stays indexed.
class GifStill final : public FrameSource {
public:
    GifStill(std::shared_ptr<const ByteSource> bytes, GifLayout layout)
        : bytes_(std::move(bytes)), layout_(std::move(layout)) {}
    Guid dimension() const override { return FrameDimension::Time; }
    uint32_t count() const override { return 1; }
    Status decode(uint32_t index, Frame& out) override {
        if (index != 0) return Status::InvalidParameter;
        return decodeSingleFrame(*bytes_, layout_, out);
    }

private:
    std::shared_ptr<const ByteSource> bytes_;
    GifLayout layout_;
};

// Draws the rows of one animation frame onto the ARGB canvas.
class ComposedRows final : public RowTarget {
public:
    ComposedRows(PixelData& canvas, const GifFrameInfo& f) : canvas_(canvas), f_(f) {}
    void row(int y, const uint8_t* indices) override {
        auto* out = reinterpret_cast<ARGB*>(canvas_.row(f_.top + y));
        const int end = std::min(f_.left + f_.width, canvas_.width());
        for (int x = f_.left; x < end; ++x) {
            uint8_t v = indices[x - f_.left];
            if (v == f_.transparent) continue;
            out[x] = v < f_.colors.size() ? f_.colors[v] : 0xff000000u;
        }
    }

private:
    PixelData& canvas_;
    const GifFrameInfo& f_;
};

// Every frame of an animation, composed on one cached canvas: going forward
// continues from the last composed frame, going back starts over, so that
// playing the animation costs each frame's decoding once.
class GifAnimation final : public FrameSource {
public:
    GifAnimation(std::shared_ptr<const ByteSource> bytes, GifLayout layout)
        : bytes_(std::move(bytes)), layout_(std::move(layout)) {}

    Guid dimension() const override { return FrameDimension::Time; }
    uint32_t count() const override { return static_cast<uint32_t>(layout_.frames.size()); }

    Status decode(uint32_t index, Frame& out) override {
        if (index >= count()) return Status::InvalidParameter;
        if (canvas_.empty()) {
            Status s = PixelData::allocate(layout_.screenWidth, layout_.screenHeight,
                                           PixelFormat32bppARGB, canvas_);
            if (s != Status::Ok) return s;
        }
        if (composed_ < 0 || static_cast<int>(index) < composed_) restart();
        int rowsOfLast = -1;
        while (composed_ < static_cast<int>(index)) {
            Status s = step(rowsOfLast);
            if (s != Status::Ok) return s;
        }
        if (index == 0 && rowsOfLast == 0 && showsOnScreen(layout_, layout_.frames[0]))
            return Status::InvalidParameter;
        Frame frame = frameShell(layout_, layout_.frames[index]);
        frame.flags |= ImageFlagsHasAlpha;
        frame.opaque = canvasOpaque_;
        Status s = canvas_.copy(frame.pixels);
        if (s != Status::Ok) return s;
        out = std::move(frame);
        return Status::Ok;
    }

private:
    void restart() {
        for (int y = 0; y < canvas_.height(); ++y)
            std::memset(canvas_.row(y), 0, static_cast<size_t>(canvas_.width()) * 4);
        composed_ = -1;
        canvasOpaque_ = false;
    }

    // Disposes of the composed frame and draws the next one.
    Status step(int& rowsDrawn) {
        if (composed_ >= 0) dispose(layout_.frames[static_cast<size_t>(composed_)]);
        const GifFrameInfo& next = layout_.frames[static_cast<size_t>(composed_ + 1)];
        if (next.disposal == kDisposalRestorePrevious) {
            if (previous_.empty()) {
                Status s = canvas_.copy(previous_);
                if (s != Status::Ok) return s;
            } else {
                copyPixels(canvas_, previous_);
            }
            previousOpaque_ = canvasOpaque_;
        }
        ComposedRows target(canvas_, next);
        rowsDrawn = decompressFrame(*bytes_, layout_, next, target);
        // Every colour is opaque and a transparent index leaves the canvas as
        // it was: an opaque canvas stays so, and a frame without transparency
        // that fills the whole screen makes it so.
        const bool fillsScreen = next.left == 0 && next.top == 0 && next.width >= canvas_.width() &&
                                 next.height == canvas_.height() && rowsDrawn == next.height;
        if (next.transparent == NO_TRANSPARENT_COLOR && fillsScreen) canvasOpaque_ = true;
        ++composed_;
        return Status::Ok;
    }

    void dispose(const GifFrameInfo& f) {
        if (f.disposal == kDisposalRestoreBackground) {
            const int x0 = std::min(f.left, canvas_.width());
            const int x1 = std::min(f.left + f.width, canvas_.width());
            const int y1 = std::min(f.top + f.height, canvas_.height());
            for (int y = f.top; y < y1; ++y)
                std::memset(canvas_.row(y) + 4 * x0, 0, static_cast<size_t>(x1 - x0) * 4);
            if (x1 > x0 && y1 > f.top) canvasOpaque_ = false;
        } else if (f.disposal == kDisposalRestorePrevious && !previous_.empty()) {
            copyPixels(previous_, canvas_);
            canvasOpaque_ = previousOpaque_;
        }
    }

    static void copyPixels(const PixelData& from, PixelData& to) {
        for (int y = 0; y < from.height(); ++y)
            std::memcpy(to.row(y), from.row(y), static_cast<size_t>(from.width()) * 4);
    }

    std::shared_ptr<const ByteSource> bytes_;
    GifLayout layout_;
    PixelData canvas_;
    PixelData previous_;  // the canvas before the last frame that restores to it
    int composed_ = -1;   // frame the canvas shows
    bool canvasOpaque_ = false;    // no pixel of the canvas is transparent
    bool previousOpaque_ = false;  // the same of previous_
};

class GifDecoder final : public Decoder {
public:
    const CodecInfo& info() const override {
        static const CodecInfo info{CodecClsid::GIF, ImageFormat::GIF, "Built-in GIF Codec", "",
                                    "GIF", "*.GIF", "image/gif", 0x10007, 1};
        return info;
    }

    bool sniff(std::span<const uint8_t> head) const override {
        return head.size() >= 6 && (std::memcmp(head.data(), "GIF87a", 6) == 0 ||
                                    std::memcmp(head.data(), "GIF89a", 6) == 0);
    }

    Status decode(std::shared_ptr<const ByteSource> bytes, const DecodeOptions&,
                  Decoded& out) const override {
        GifLayout layout;
        if (!scanLayout(*bytes, layout) || layout.frames.empty()) return Status::InvalidParameter;
        // A file without a logical screen size shows its first frame's extent.
        const GifFrameInfo& first = layout.frames[0];
        if (layout.screenWidth == 0 || layout.screenHeight == 0) {
            layout.screenWidth = first.left + first.width;
            layout.screenHeight = first.top + first.height;
        }
        if (layout.screenWidth <= 0 || layout.screenHeight <= 0) return Status::InvalidParameter;
        const bool animated = layout.frames.size() > 1;
        if (!fitsAllocationLimit(layout.screenWidth, layout.screenHeight,
                                 animated ? PixelFormat32bppARGB : PixelFormat8bppIndexed))
            return Status::OutOfMemory;

        if (!layout.closedTruncation.empty())
            bytes = ByteSource::fromVector(std::move(layout.closedTruncation));
        out.rawFormat = ImageFormat::GIF;
        std::unique_ptr<FrameSource> frames;
        if (animated)
            frames = std::make_unique<GifAnimation>(std::move(bytes), std::move(layout));
        else
            frames = std::make_unique<GifStill>(std::move(bytes), std::move(layout));
        Status s = frames->decode(0, out.frame);
        if (s != Status::Ok) return s;
        out.frames = std::move(frames);
        return Status::Ok;
    }
};

// ---------------------------------------------------------------------------
// Writing

int writeToSink(GifFileType* gif, const GifByteType* data, int length) {
    auto* sink = static_cast<ByteSink*>(gif->UserData);
    try {
        sink->insert(sink->end(), data, data + length);
    } catch (...) {
        return 0;
    }
    return length;
}

struct GifWriterCloser {
    void operator()(GifFileType* gif) const {
        int error = 0;
        EGifCloseFile(gif, &error);
    }
};

struct MapCloser {
    void operator()(ColorMapObject* map) const { GifFreeMapObject(map); }
};

// The frame as palette indices, with a power-of-two palette.
QuantizedImage indicesOf(const Image& image) {
    const PixelData& px = image.pixels();
    const PixelFormat f = px.format();
    const size_t count = static_cast<size_t>(px.width()) * static_cast<size_t>(px.height());
    if (!isIndexed(f)) {
        std::vector<ARGB> argb(count);
        for (int y = 0; y < px.height(); ++y)
            rowToArgb32(f, px.row(y), 0, px.width(), &image.palette(),
                        argb.data() + static_cast<size_t>(y) * px.width());
        return quantizeTo256(argb.data(), count);
    }
    QuantizedImage q;
    q.palette = image.palette().entries;
    const size_t full = size_t{1} << bitsPerPixel(f);
    if (q.palette.size() > full) q.palette.resize(full);
    // Entries whose alpha is below one half all show as the transparent one.
    std::vector<uint8_t> remap(256);
    for (size_t i = 0; i < 256; ++i) remap[i] = static_cast<uint8_t>(i);
    for (size_t i = 0; i < q.palette.size(); ++i) {
        if ((q.palette[i] >> 24) >= 128) continue;
        if (q.transparentIndex < 0) q.transparentIndex = static_cast<int>(i);
        remap[i] = static_cast<uint8_t>(q.transparentIndex);
    }
    q.indices.resize(count);
    const int bits = bitsPerPixel(f);
    size_t largest = 0;
    for (int y = 0; y < px.height(); ++y) {
        const uint8_t* row = px.row(y);
        for (int x = 0; x < px.width(); ++x) {
            int bit = x * bits;
            size_t v = (row[bit >> 3] >> (8 - bits - (bit & 7))) & ((1u << bits) - 1);
            largest = std::max(largest, v);
            q.indices[static_cast<size_t>(y) * px.width() + x] = remap[v];
        }
    }
    // Indices past the palette's end show as opaque black, as when drawn.
    if (q.palette.size() <= largest) q.palette.resize(largest + 1, 0xff000000u);
    return q;
}

std::unique_ptr<ColorMapObject, MapCloser> colorMapOf(const std::vector<ARGB>& palette) {
    size_t size = 2;
    while (size < palette.size()) size *= 2;
    std::vector<GifColorType> colors(size, GifColorType{0, 0, 0});
    for (size_t i = 0; i < palette.size(); ++i)
        colors[i] = GifColorType{static_cast<GifByteType>(palette[i] >> 16),
                                 static_cast<GifByteType>(palette[i] >> 8),
                                 static_cast<GifByteType>(palette[i])};
    return std::unique_ptr<ColorMapObject, MapCloser>(
        GifMakeMapObject(static_cast<int>(size), colors.data()));
}

const PropertyItem* findProperty(const Image& image, uint32_t id) {
    for (const PropertyItem& p : image.properties())
        if (p.id == id) return &p;
    return nullptr;
}

uint32_t readLittleEndian(const std::vector<uint8_t>& v, size_t at, size_t width) {
    uint32_t value = 0;
    for (size_t i = 0; i < width && at + i < v.size(); ++i) value |= uint32_t(v[at + i]) << (8 * i);
    return value;
}

bool putLoopCount(GifFileType* gif, uint16_t loops) {
    const GifByteType loopBlock[3] = {1, static_cast<GifByteType>(loops & 0xff),
                                      static_cast<GifByteType>(loops >> 8)};
    return EGifPutExtensionLeader(gif, APPLICATION_EXT_FUNC_CODE) != GIF_ERROR &&
           EGifPutExtensionBlock(gif, 11, "NETSCAPE2.0") != GIF_ERROR &&
           EGifPutExtensionBlock(gif, 3, loopBlock) != GIF_ERROR &&
           EGifPutExtensionTrailer(gif) != GIF_ERROR;
}

class GifEncoder final : public Encoder {
public:
    const CodecInfo& info() const override {
        static const CodecInfo info{CodecClsid::GIF, ImageFormat::GIF, "Built-in GIF Codec", "",
                                    "GIF", "*.GIF", "image/gif", 0x10007, 1};
        return info;
    }

    Status encode(const Image& image, const EncoderParameters&, ByteSink& out) const override {
        const PixelData& px = image.pixels();
        if (px.empty() || px.width() > 0xffff || px.height() > 0xffff)
            return Status::InvalidParameter;
        QuantizedImage q = indicesOf(image);
        auto map = colorMapOf(q.palette);
        if (!map) return Status::OutOfMemory;
        const size_t start = out.size();
        if (!writeStream(image, q, *map, out)) {
            out.resize(start);
            return Status::GenericError;
        }
        return Status::Ok;
    }

private:
    static bool writeStream(const Image& image, QuantizedImage& q, const ColorMapObject& map,
                            ByteSink& out) {
        const PixelData& px = image.pixels();
        int error = 0;
        std::unique_ptr<GifFileType, GifWriterCloser> gif(EGifOpen(&out, writeToSink, &error));
        if (!gif) return false;
        EGifSetGifVersion(gif.get(), true);
        if (EGifPutScreenDesc(gif.get(), px.width(), px.height(), 8, 0, &map) == GIF_ERROR)
            return false;
        if (const PropertyItem* loops = findProperty(image, PropertyTagLoopCount);
            loops && !putLoopCount(gif.get(), static_cast<uint16_t>(readLittleEndian(loops->value, 0, 2))))
            return false;
        if (const PropertyItem* comment = findProperty(image, PropertyTagExifUserComment);
            comment && comment->type == PropertyTagTypeASCII) {
            std::string text(comment->value.begin(), comment->value.end());
            text = text.c_str();
            if (!text.empty() && EGifPutComment(gif.get(), text.c_str()) == GIF_ERROR) return false;
        }
        GraphicsControlBlock gcb{DISPOSAL_UNSPECIFIED, false, 0, q.transparentIndex};
        if (const PropertyItem* delays = findProperty(image, PropertyTagFrameDelay)) {
            size_t at = 4 * static_cast<size_t>(image.activeFrame());
            if (at + 4 > delays->value.size()) at = 0;
            gcb.DelayTime = static_cast<int>(readLittleEndian(delays->value, at, 4) & 0xffff);
        }
        if (gcb.DelayTime != 0 || gcb.TransparentColor != NO_TRANSPARENT_COLOR) {
            GifByteType extension[4];
            size_t length = EGifGCBToExtension(&gcb, extension);
            if (EGifPutExtension(gif.get(), GRAPHICS_EXT_FUNC_CODE, static_cast<int>(length),
                                 extension) == GIF_ERROR)
                return false;
        }
        if (EGifPutImageDesc(gif.get(), 0, 0, px.width(), px.height(), false, nullptr) == GIF_ERROR)
            return false;
        for (int y = 0; y < px.height(); ++y)
            if (EGifPutLine(gif.get(), q.indices.data() + static_cast<size_t>(y) * px.width(),
                            px.width()) == GIF_ERROR)
                return false;
        GifFileType* raw = gif.release();
        return EGifCloseFile(raw, &error) != GIF_ERROR;
    }
};

}  // namespace

const Decoder& gifDecoder() {
    static const GifDecoder decoder;
    return decoder;
}

const Encoder& gifEncoder() {
    static const GifEncoder encoder;
    return encoder;
}

}  // namespace orrery::gdiplus::codecs
