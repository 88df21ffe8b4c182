#include "tools/orrery/output.h"

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "tools/orrery/failures.h"

namespace orrery::tool {

namespace {

// ".jpg .jpeg ... .tiff": the extensions of every encoder (registered as
// "*.TIF;*.TIFF"), for the refusal message.
std::string writableExtensions() {
    std::string list;
    for (const gdiplus::Encoder* e : gdiplus::encoders())
        for (char c : e->info().filenameExtension) {
            if (c == '*' || c == ';') continue;
            if (c == '.' && !list.empty()) list += ' ';
            list += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        }
    return list;
}

}  // namespace

const gdiplus::Encoder* encoderForOutput(const std::string& path) {
    const gdiplus::Encoder* encoder = gdiplus::findEncoderForPath(path);
    if (!encoder)
        std::fprintf(stderr, "orrery: cannot write %s: no encoder for its extension (these can be written: %s)\n",
                     path.c_str(), writableExtensions().c_str());
    return encoder;
}

int writeImage(const gdiplus::Image& image, const std::string& path, const gdiplus::Encoder& encoder,
               const gdiplus::EncoderParameters& params) {
    gdiplus::ByteSink bytes;
    const gdiplus::Status encoded = image.saveToBytes(encoder.info().clsid, params, bytes);
    if (encoded != gdiplus::Status::Ok) {
        std::fprintf(stderr, "orrery: cannot encode %s as %s: %s\n", path.c_str(),
                     encoder.info().formatDescription.c_str(), statusText(static_cast<int32_t>(encoded)).c_str());
        return 1;
    }
    // Written here rather than by Image::save so that a failure can say why.
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) {
        std::fprintf(stderr, "orrery: cannot write %s: %s\n", path.c_str(), std::strerror(errno));
        return 1;
    }
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    const int writeError = errno;
    const bool closed = std::fclose(file) == 0;
    if (!written || !closed) {
        std::fprintf(stderr, "orrery: cannot write %s: %s\n", path.c_str(),
                     std::strerror(written ? errno : writeError));
        std::remove(path.c_str());
        return 1;
    }
    return 0;
}

std::string quotedText(const std::string& s) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string out = "\"";
    for (char c : s) {
        const auto b = static_cast<unsigned char>(c);
        if (c == '\\' || c == '"') out += {'\\', c};
        else if (b == 0) out += "\\0";
        else if (c == '\n') out += "\\n";
        else if (c == '\r') out += "\\r";
        else if (c == '\t') out += "\\t";
        else if (b < 0x20 || b == 0x7F) out += {'\\', 'x', kDigits[b >> 4], kDigits[b & 0xF]};
        else out += c;
    }
    return out + "\"";
}

}  // namespace orrery::tool
