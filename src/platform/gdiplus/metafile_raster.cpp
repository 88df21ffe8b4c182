#include "platform/gdiplus/metafile_raster.h"

#include <cairo.h>
#include <emf2svg.h>
#include <librsvg/rsvg.h>
#include <libwmf/api.h>
#include <libwmf/svg.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/gdiplus/metafile_cost.h"
#include "platform/gdiplus/metafile_format.h"
#include "platform/gdiplus/pixel_data.h"

namespace orrery::gdiplus {

namespace {

using namespace metafile;

// Records of three words and more, each inside the data, up to the
// end-of-file record (function 0). The header's largest record, by which
// the player sizes its buffer, must lie between the largest record found
// and the whole metafile.
Status walkWmf(std::span<const uint8_t> b) {
    const size_t header = isPlaceableWmf(b) ? kPlaceableSize : 0;
    if (!isWmfHeader(b, header)) return Status::InvalidParameter;
    const uint64_t declaredLargest = le32(&b[header + 12]);
    uint64_t largest = 0;
    size_t pos = header + kWmfHeaderSize;
    while (b.size() - pos >= 6) {
        const uint32_t words = le32(&b[pos]);
        const uint16_t function = le16(&b[pos + 4]);
        if (words < 3 || words > (b.size() - pos) / 2) return Status::InvalidParameter;
        largest = std::max<uint64_t>(largest, words);
        if (function == 0) {
            const bool sane = declaredLargest >= largest && declaredLargest <= (b.size() - header) / 2;
            return sane ? Status::Ok : Status::InvalidParameter;
        }
        pos += size_t{words} * 2;
    }
    return Status::InvalidParameter;
}

// Whether `count` items of `itemSize` bytes at `offset` lie inside the
// header record of `headerSize` bytes, after its fixed fields; nothing at
// offset 0 always does.
bool insideHeader(uint64_t count, uint64_t itemSize, uint64_t offset, uint64_t headerSize) {
    if (offset == 0 && count == 0) return true;
    return offset >= kEmfHeaderMin && offset <= headerSize && count * itemSize <= headerSize - offset;
}

// Whether the header's description lies inside it and ends there: the
// converter reads it from its offset, even with no length, up to a zero.
bool descriptionInsideHeader(std::span<const uint8_t> b, uint32_t headerSize) {
    const uint32_t count = le32(&b[60]), offset = le32(&b[64]);
    if (offset == 0 && count == 0) return true;
    if (!insideHeader(count, 2, offset, headerSize)) return false;
    for (size_t at = offset; at + 2 <= headerSize; at += 2) {
        if (le16(&b[at]) == 0) return true;
    }
    return false;
}

// Records of eight bytes and more, in whole 32-bit words, each inside the
// data, from the header record to the end record. The header's description
// (UTF-16 characters) and pixel format descriptor, which the converter reads
// where the header says without checking, must lie inside the header record.
Status walkEmf(std::span<const uint8_t> b) {
    if (b.size() < kEmfHeaderMin || !isEmf(b)) return Status::InvalidParameter;
    const uint32_t headerSize = le32(&b[4]);
    if (headerSize >= kEmfHeaderMin && headerSize <= b.size()) {
        if (!descriptionInsideHeader(b, headerSize)) return Status::InvalidParameter;
        if (headerSize >= 100 && !insideHeader(le32(&b[88]), 1, le32(&b[92]), headerSize))
            return Status::InvalidParameter;
    }
    size_t pos = 0;
    while (b.size() - pos >= 8) {
        const uint32_t type = le32(&b[pos]);
        const uint32_t size = le32(&b[pos + 4]);
        if (size < 8 || size % 4 != 0 || size > b.size() - pos) return Status::InvalidParameter;
        if (pos == 0 && size < kEmfHeaderMin) return Status::InvalidParameter;
        if (type == kEmrEof) return Status::Ok;
        pos += size;
    }
    return Status::InvalidParameter;
}

// What the converter writes otherwise than the platform draws: a WMF has no
// translucency, yet some fills come half transparent; and a pen is never
// thinner than a pixel, yet thin pens come as hairlines.
void fixWmfStyles(std::string& svg) {
    static const std::string kHalfFill = "fill-opacity:0.5";
    static const std::string kStroke = "stroke-width:";
    std::string fixed;
    fixed.reserve(svg.size());
    for (size_t at = 0; at < svg.size();) {
        if (svg.compare(at, kHalfFill.size(), kHalfFill) == 0) {
            fixed += "fill-opacity:1";
            at += kHalfFill.size();
        } else if (svg.compare(at, kStroke.size(), kStroke) == 0) {
            fixed += kStroke;
            at += kStroke.size();
            char* end = nullptr;
            const double width = std::strtod(svg.c_str() + at, &end);
            const size_t length = static_cast<size_t>(end - (svg.c_str() + at));
            if (length > 0 && width < 1) {
                fixed += '1';
                at += length;
            }
        } else {
            fixed += svg[at++];
        }
    }
    svg = std::move(fixed);
}

// Whether the records set a mapping mode other than text mode (pixels),
// which scales the window onto a viewport.
bool scalesWindow(std::span<const uint8_t> records) {
    constexpr uint16_t kSetMapMode = 0x0103;
    constexpr uint16_t kTextMode = 1;
    for (size_t pos = kWmfHeaderSize; records.size() - pos >= 6;) {
        const uint32_t words = le32(&records[pos]);
        const uint16_t function = le16(&records[pos + 4]);
        if (function == 0 || words < 3 || words > (records.size() - pos) / 2) return false;
        if (function == kSetMapMode && words >= 4) return le16(&records[pos + 6]) != kTextMode;
        pos += size_t{words} * 2;
    }
    return false;
}

// The box the picture shows, in the player's device units. The player
// measures what the records draw; in text mode, where the device units are
// the window's logical units from its origin, the window is the picture
// when it holds all of that (a drawing that covers part of its window keeps
// its place in it). A drawing that overflows its window, or one mapped onto
// a viewport, is shown whole.
void pictureBox(std::span<const uint8_t> records, wmfD_Rect& box) {
    WmfWindow window;
    if (!findWmfWindow(records, 0, window) || window.extX <= 0 || window.extY <= 0 || scalesWindow(records)) return;
    const double left = 0, top = 0, right = window.extX, bottom = window.extY;
    // The drawn box reaches half a pen beyond the shapes.
    const double slackX = std::max(1.0, (right - left) / 50), slackY = std::max(1.0, (bottom - top) / 50);
    if (box.TL.x < left - slackX || box.TL.y < top - slackY || box.BR.x > right + slackX || box.BR.y > bottom + slackY)
        return;
    box.TL.x = static_cast<float>(left);
    box.TL.y = static_cast<float>(top);
    box.BR.x = static_cast<float>(right);
    box.BR.y = static_cast<float>(bottom);
}

// libwmf's SVG device, writing to memory; the picture's size is the size asked for.
bool wmfToSvg(std::span<const uint8_t> bytes, int width, int height, std::string& svg) {
    wmfAPI_Options options{};
    options.function = wmf_svg_function;
    wmfAPI* api = nullptr;
    const unsigned long flags = WMF_OPT_FUNCTION | WMF_OPT_IGNORE_NONFATAL | WMF_OPT_NO_ERROR;
    if (wmf_api_create(&api, flags, &options) != wmf_E_None) {
        if (api) wmf_api_destroy(api);
        return false;
    }
    // The records alone: the player then measures in the metafile's own
    // logical units, whatever a placeable header says of the size.
    const std::span<const uint8_t> records = bytes.subspan(isPlaceableWmf(bytes) ? kPlaceableSize : 0);
    std::vector<unsigned char> copy(records.begin(), records.end());
    wmfD_Rect bbox{};
    bool ok = wmf_mem_open(api, copy.data(), static_cast<long>(copy.size())) == wmf_E_None &&
              wmf_scan(api, 0, &bbox) == wmf_E_None;
    if (ok) pictureBox(records, bbox);
    if (ok) {
        wmf_svg_t* device = WMF_SVG_GetData(api);
        device->out = wmf_stream_create(api, nullptr);
        device->Description = nullptr;
        device->bbox = bbox;
        device->width = static_cast<unsigned int>(width);
        device->height = static_cast<unsigned int>(height);
        ok = device->out && wmf_play(api, 0, &bbox) == wmf_E_None;
        if (device->out) {
            char* text = nullptr;
            unsigned long length = 0;
            // The text belongs to the library's allocator, freed with the API.
            wmf_stream_destroy(api, device->out, &text, &length);
            if (ok && text) svg.assign(text, length);
        }
        fixWmfStyles(svg);
    }
    wmf_api_destroy(api);
    return ok && !svg.empty();
}

void put32(uint8_t* p, int32_t value) { storeLe32(p, static_cast<uint32_t>(value)); }

// The picture is its frame, as the platform draws an enhanced metafile: the
// header's bounds, which the converter places at the origin, become the
// frame in reference-device pixels.
void boundsFromFrame(std::vector<char>& emf) {
    auto* b = reinterpret_cast<uint8_t*>(emf.data());
    auto field = [&](size_t at) { return static_cast<double>(static_cast<int32_t>(le32(b + at))); };
    const double devW = field(72), devH = field(76), mmW = field(80), mmH = field(84);
    if (!(devW > 0 && devH > 0 && mmW > 0 && mmH > 0)) return;
    const double toX = devW / (mmW * 100), toY = devH / (mmH * 100);
    const double edges[4] = {field(24) * toX, field(28) * toY, field(32) * toX, field(36) * toY};
    if (!(edges[2] > edges[0] && edges[3] > edges[1])) return;
    for (int i = 0; i < 4; ++i) {
        if (!(std::fabs(edges[i]) < 1e9)) return;
    }
    for (int i = 0; i < 4; ++i) put32(b + 8 + 4 * i, static_cast<int32_t>(std::lround(edges[i])));
}

bool emfToSvg(std::span<const uint8_t> bytes, int width, int height, std::string& svg) {
    generatorOptions options{};
    // No name-space prefix: the converter leaks the prefix text it makes.
    options.nameSpace = nullptr;
    options.svgDelimiter = true;
    options.imgWidth = width;
    options.imgHeight = height;
    std::vector<char> copy(bytes.begin(), bytes.end());
    boundsFromFrame(copy);
    char* text = nullptr;
    size_t length = 0;
    const int ok = emf2svg(copy.data(), copy.size(), &text, &length, &options);
    if (ok && text) svg.assign(text, length);
    std::free(text);
    return ok && !svg.empty();
}

// Draws the SVG stretched over a width x height premultiplied surface.
bool drawSvg(const std::string& svg, int width, int height, PixelData& pixels) {
    GError* error = nullptr;
    RsvgHandle* handle =
        rsvg_handle_new_from_data(reinterpret_cast<const guint8*>(svg.data()), svg.size(), &error);
    if (!handle) {
        if (error) g_error_free(error);
        return false;
    }
    cairo_surface_t* surface = cairo_image_surface_create_for_data(
        pixels.scan0(), CAIRO_FORMAT_ARGB32, width, height, static_cast<int>(pixels.stride()));
    cairo_t* cr = cairo_create(surface);
    gdouble svgWidth = 0, svgHeight = 0;
    RsvgRectangle viewport{0, 0, static_cast<double>(width), static_cast<double>(height)};
    if (rsvg_handle_get_intrinsic_size_in_pixels(handle, &svgWidth, &svgHeight) && svgWidth > 0 && svgHeight > 0) {
        cairo_scale(cr, width / svgWidth, height / svgHeight);
        viewport.width = svgWidth;
        viewport.height = svgHeight;
    }
    const bool ok = rsvg_handle_render_document(handle, cr, &viewport, &error);
    if (error) g_error_free(error);
    cairo_destroy(cr);
    cairo_surface_flush(surface);
    cairo_surface_destroy(surface);
    g_object_unref(handle);
    return ok;
}

}  // namespace

MetafileKind metafileKindOf(std::span<const uint8_t> b) {
    if (isPlaceableWmf(b) || isWmfHeader(b, 0)) return MetafileKind::Wmf;
    if (isEmf(b)) return MetafileKind::Emf;
    return MetafileKind::None;
}

Status walkMetafileRecords(std::span<const uint8_t> bytes, MetafileKind kind) {
    switch (kind) {
        case MetafileKind::Wmf: return walkWmf(bytes);
        case MetafileKind::Emf: return walkEmf(bytes);
        default: return Status::InvalidParameter;
    }
}

Status rasteriseMetafile(std::span<const uint8_t> bytes, int width, int height, std::unique_ptr<Image>& out) {
    if (width < 1 || height < 1) return Status::InvalidParameter;
    if (!fitsAllocationLimit(width, height, PixelFormat32bppARGB)) return Status::OutOfMemory;
    const MetafileKind kind = metafileKindOf(bytes);
    Status s = walkMetafileRecords(bytes, kind);
    if (s != Status::Ok) return s;
    // Drawings whose scan conversion would take minutes are refused here,
    // before the converters and the renderer start on them.
    s = checkMetafileDrawingCost(bytes, kind, height);
    if (s != Status::Ok) return s;
    std::string svg;
    const bool converted = kind == MetafileKind::Wmf ? wmfToSvg(bytes, width, height, svg)
                                                     : emfToSvg(bytes, width, height, svg);
    if (!converted) return Status::InvalidParameter;
    PixelData premultiplied;
    s = PixelData::allocate(width, height, PixelFormat32bppPARGB, premultiplied);
    if (s != Status::Ok) return s;
    if (!drawSvg(svg, width, height, premultiplied)) return Status::InvalidParameter;
    std::unique_ptr<Image> drawn = Image::fromPixels(std::move(premultiplied));
    return drawn->cloneArea({0, 0, width, height}, PixelFormat32bppARGB, out);
}

}  // namespace orrery::gdiplus
