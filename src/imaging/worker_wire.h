// The codec worker's protocol: small fixed binary records over a packet
// socket, and pictures in sealed memory files. Every field is read with its
// bounds checked; the host treats whatever the worker sends as hostile.
//
// A request asks one plug-in operation; the reply says how it went and
// carries a picture file, a container number, a format or a version. A
// picture file holds its description (size, pixel format, palette,
// resolution, property items, IPTC tags, format name) at its start and the
// pixel rows, top-down, at a page-aligned offset after it.
#pragma once
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "imaging/plugin_metadata.h"
#include "platform/gdiplus/pixel_format.h"
#include "platform/gdiplus/property_item.h"
#include "platform/kernel/files.h"

namespace orrery::gdiplus {
class Image;
}

namespace orrery::imaging::wire {

// Largest message either side sends or accepts (a request holds a path).
inline constexpr size_t kMaxMessageBytes = 8192;

enum class Op : uint32_t {
    Version = 1,  // the plug-in's version text
    Detect = 2,   // the format of the attached file, read with `path`'s name
    Load = 3,     // the attached file, detected as `format`
    Page = 4,     // page `index` of container `container`
    Close = 5,    // closes container `container`
    SaveTarget = 6,  // the attached file is where the next Save writes
    Save = 7,        // the attached picture file, written as `format`
};

struct Request {
    Op op = Op::Version;
    int32_t format = -1;
    int32_t index = 0;
    uint32_t container = 0;
    bool useIcm = false;
    // The host's pixel allocation limit, which the worker applies as its own.
    uint64_t allocationLimit = 0;
    std::string path;
};

enum class Answer : uint32_t {
    Status = 0,     // `status` alone
    Picture = 1,    // a picture file is attached
    Container = 2,  // `container` is open with `value` pages
    Format = 3,     // `value` is a format identifier, `pixels` the pixels its header announces
    Version = 4,    // `text` is the version; `value` 1 when the worker is confined
};

struct Reply {
    Answer answer = Answer::Status;
    int32_t status = 0;
    int32_t value = 0;
    uint32_t container = 0;
    uint64_t pixels = 0;  // 0 when unknown
    std::string text;
};

std::vector<uint8_t> encode(const Request& request);
std::vector<uint8_t> encode(const Reply& reply);
// False for anything but a whole, well-formed record.
bool decode(std::span<const uint8_t> bytes, Request& request);
bool decode(std::span<const uint8_t> bytes, Reply& reply);

// A picture as the host rebuilds it.
struct Picture {
    int32_t width = 0;
    int32_t height = 0;
    gdiplus::PixelFormat format = gdiplus::PixelFormatUndefined;
    size_t stride = 0;       // bytes per row, a multiple of 4
    size_t pixelOffset = 0;  // where the first (top) row starts in the file
    gdiplus::Palette palette;
    float dpiX = 0;
    float dpiY = 0;
    std::vector<gdiplus::PropertyItem> properties;
    std::vector<PluginMetadataTag> iptc;
    bool modified = false;
    std::string formatName;
};

// Writes `image` and what its entry keeps (IPTC tags, modified flag, format
// name) into a new sealed memory file. False when the image has no pixels
// or the file cannot be made.
bool writePicture(const gdiplus::Image& image, const std::vector<PluginMetadataTag>& iptc, bool modified,
                  const std::string& formatName, kernel::UniqueFd& out);

// Reads the description of a picture file of `size` bytes mapped at `data`.
// False unless every field is in bounds, the size and pixel format are ones
// an image can have, the pixels fit the allocation limit and the rows lie
// inside the file.
bool readPicture(const uint8_t* data, size_t size, Picture& out);

}  // namespace orrery::imaging::wire
