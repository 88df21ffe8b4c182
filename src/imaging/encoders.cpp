#include "imaging/encoders.h"

#include <algorithm>
#include <cctype>
#include <map>
#include <sstream>

#include "imaging/image_info.h"
#include "imaging/image_table.h"
#include "orrery/gdiplus/guid.h"

namespace orrery::imaging {

namespace {

constexpr int32_t kUnknownImageFormat = static_cast<int32_t>(gdiplus::Status::UnknownImageFormat);
// Imaging versions before this ignore a colour depth below 24 bits.
constexpr long kVersionWithLowDepths = 6;

std::string upper(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::toupper(c); });
    return text;
}

std::map<std::string, const gdiplus::Encoder*>& encoderMap() {
    thread_local std::map<std::string, const gdiplus::Encoder*> map;
    return map;
}

int32_t encodeWith(const char* pattern, const gdiplus::Image& image, const gdiplus::EncoderParameters& params,
                   gdiplus::ByteSink& out) {
    if (encoderMap().empty()) ReadEncoders();
    const gdiplus::Encoder* encoder = FindEncoder(pattern);
    if (!encoder) return kUnknownImageFormat;
    return static_cast<int32_t>(encoder->encode(image, params, out));
}

bool isBilevelCompression(int32_t compression) {
    return compression == gdiplus::EncoderValueCompressionCCITT3 ||
           compression == gdiplus::EncoderValueCompressionCCITT4 || compression == gdiplus::EncoderValueCompressionRle;
}

gdiplus::EncoderParameter longParameter(const gdiplus::Guid& guid, int32_t value) {
    return {guid, gdiplus::EncoderParameterValueTypeLong, {static_cast<uint32_t>(value)}};
}

}  // namespace

void ReadEncoders() {
    auto& map = encoderMap();
    map.clear();
    for (const gdiplus::Encoder* encoder : gdiplus::encoders()) {
        std::istringstream patterns(encoder->info().filenameExtension);
        for (std::string pattern; std::getline(patterns, pattern, ';');)
            if (!pattern.empty()) map.emplace(upper(pattern), encoder);
    }
}

const gdiplus::Encoder* FindEncoder(const std::string& pattern) {
    const auto& map = encoderMap();
    auto it = map.find(upper(pattern));
    return it == map.end() ? nullptr : it->second;
}

int32_t SavePng(const gdiplus::Image& image, gdiplus::ByteSink& out) { return encodeWith("*.png", image, {}, out); }

int32_t SaveTiff(const gdiplus::Image& image, int32_t compression, int32_t colourDepth, gdiplus::ByteSink& out) {
    int32_t depth = gdiplus::bitsPerPixel(image.pixelFormat());
    if (depth == 0) depth = 32;
    if (depth == 16) depth = 24;
    if (colourDepth >= 1 && colourDepth <= 23 && VersionMajor(modMain::GdiPlusVersion()) < kVersionWithLowDepths)
        colourDepth = 0;
    if (isBilevelCompression(compression) && (colourDepth != 0 ? colourDepth : depth) >= 2)
        compression = gdiplus::EncoderValueCompressionLZW;
    gdiplus::EncoderParameters params;
    if (compression != 0) params.push_back(longParameter(gdiplus::EncoderParam::Compression, compression));
    if (colourDepth != 0) params.push_back(longParameter(gdiplus::EncoderParam::ColorDepth, colourDepth));
    return encodeWith("*.tif", image, params, out);
}

}  // namespace orrery::imaging
