// The table of built-in codecs. Order matters only for sniffing, where the
// most common formats come first.
#include "platform/gdiplus/codecs/codecs.h"

#include <cctype>

namespace orrery::gdiplus {

const std::vector<const Decoder*>& decoders() {
    static const std::vector<const Decoder*> list = {
        &codecs::jpegDecoder(),
        &codecs::pngDecoder(),
        &codecs::gifDecoder(),
        &codecs::bmpDecoder(),
        &codecs::icoDecoder(),
        &codecs::tiffDecoder(),
        &codecs::emfDecoder(),
        &codecs::wmfDecoder(),
    };
    return list;
}

const std::vector<const Encoder*>& encoders() {
    static const std::vector<const Encoder*> list = {
        &codecs::jpegEncoder(),
        &codecs::pngEncoder(),
        &codecs::gifEncoder(),
        &codecs::bmpEncoder(),
        &codecs::tiffEncoder(),
    };
    return list;
}

const Encoder* findEncoder(const Guid& clsid) {
    for (const Encoder* e : encoders())
        if (e->info().clsid == clsid) return e;
    return nullptr;
}

const Decoder* findDecoder(std::span<const uint8_t> head) {
    for (const Decoder* d : decoders())
        if (d->sniff(head)) return d;
    return nullptr;
}

uint32_t encoderParameterValue(const EncoderParameters& params, const Guid& guid, uint32_t fallback) {
    for (const EncoderParameter& p : params)
        if (p.guid == guid && !p.values.empty()) return p.values.front();
    return fallback;
}

}  // namespace orrery::gdiplus

namespace orrery::gdiplus {

std::string rawFormatDescription(const Guid& rawFormat) {
    if (rawFormat == ImageFormat::MemoryBMP) return "MemoryBMP";
    for (const Decoder* d : decoders())
        if (d->info().formatId == rawFormat) return d->info().formatDescription;
    return "Undefined";
}

namespace {
std::string upper(std::string s) {
    for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}
}  // namespace

const Encoder* findEncoderForPath(const std::string& path) {
    const size_t dot = path.find_last_of('.');
    const size_t slash = path.find_last_of('/');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return nullptr;
    // Built by appending: "*" + string trips a false -Wrestrict of GCC 12 at -O3.
    std::string pattern = "*";
    pattern += upper(path.substr(dot));
    for (const Encoder* e : encoders()) {
        const std::string& list = e->info().filenameExtension;
        size_t start = 0;
        while (start <= list.size()) {
            size_t end = list.find(';', start);
            if (end == std::string::npos) end = list.size();
            if (upper(list.substr(start, end - start)) == pattern) return e;
            start = end + 1;
        }
    }
    return nullptr;
}

}  // namespace orrery::gdiplus
