#include "imaging/plugin_save.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <memory>
#include <random>

#include "imaging/codec_plugin.h"
#include "imaging/codec_worker.h"
#include "imaging/image_table.h"
#include "imaging/plugin_api.h"
#include "imaging/plugin_metadata.h"
#include "platform/gdiplus/image.h"
#include "platform/kernel/files.h"
#include "platform/kernel/memory_file.h"

namespace orrery::imaging {

namespace {

using gdiplus::PixelFormat;

constexpr int32_t kGenericError = static_cast<int32_t>(gdiplus::Status::GenericError);
constexpr int32_t kInvalidParameter = static_cast<int32_t>(gdiplus::Status::InvalidParameter);
constexpr int32_t kUnknownImageFormat = static_cast<int32_t>(gdiplus::Status::UnknownImageFormat);
constexpr int32_t kPluginRequired = 300;
constexpr unsigned kRedMask = 0x00FF0000, kGreenMask = 0x0000FF00, kBlueMask = 0x000000FF;

int saveFlagsFor(int format) { return format == PluginFormat::TIFF ? plugin::kTiffSaveLzw : 0; }

// The depth the picture travels in: the image's own where the plug-in may
// take it, else 24 bits, or 32 when it has alpha.
PixelFormat travelFormat(PixelFormat own) {
    if (own == gdiplus::PixelFormat8bppIndexed || own == gdiplus::PixelFormat24bppRGB ||
        own == gdiplus::PixelFormat32bppARGB)
        return own;
    return gdiplus::hasAlpha(own) ? gdiplus::PixelFormat32bppARGB : gdiplus::PixelFormat24bppRGB;
}

int bitsOf(PixelFormat format) {
    return format == gdiplus::PixelFormat8bppIndexed ? 8 : format == gdiplus::PixelFormat24bppRGB ? 24 : 32;
}

// A plug-in bitmap of the picture's pixels (and palette), or null.
PluginHandle bitmapOf(const plugin::Functions& f, const wire::Picture& picture, const uint8_t* file) {
    if (!f.ConvertFromRawBits) return nullptr;
    auto* bits = const_cast<uint8_t*>(file + picture.pixelOffset);  // read only: the plug-in copies them
    plugin::FIBITMAP* dib =
        f.ConvertFromRawBits(bits, picture.width, picture.height, static_cast<int>(picture.stride),
                             static_cast<unsigned>(bitsOf(picture.format)), kRedMask, kGreenMask, kBlueMask, 1);
    if (!dib || picture.format != gdiplus::PixelFormat8bppIndexed) return dib;
    plugin::RgbQuad* palette = f.GetPalette ? f.GetPalette(dib) : nullptr;
    if (!palette) return dib;
    for (size_t i = 0; i < picture.palette.entries.size() && i < 256; ++i) {
        const gdiplus::ARGB c = picture.palette.entries[i];
        palette[i] = {static_cast<uint8_t>(c), static_cast<uint8_t>(c >> 8), static_cast<uint8_t>(c >> 16), 0};
    }
    return dib;
}

// The bitmap in a depth the plug-in writes as `format`: itself, or a 24-bit
// copy (the original is released then); null when there is none.
PluginHandle writableBitmap(const plugin::Functions& f, PluginHandle dib, int format) {
    const int bpp = plugin::GetBPP(dib);
    if (plugin::CanSave(format, bpp)) return dib;
    PluginHandle converted = bpp != 24 && f.ConvertTo24Bits ? f.ConvertTo24Bits(static_cast<plugin::FIBITMAP*>(dib))
                                                            : nullptr;
    plugin::Unload(dib);
    if (converted && plugin::CanSave(format, 24)) return converted;
    plugin::Unload(converted);
    return nullptr;
}

// A new, empty file beside `path` that only this process knows the name of.
std::string createSibling(const std::string& path, kernel::UniqueFd& fd) {
    static std::mt19937 generator{std::random_device{}()};
    for (int attempt = 0; attempt < 16; ++attempt) {
        char suffix[16];
        std::snprintf(suffix, sizeof suffix, ".%08x~", static_cast<unsigned>(generator()));
        const std::string candidate = path + suffix;
        fd = kernel::CreateTempFile(candidate);
        if (fd) return candidate;
    }
    return {};
}

// The picture through the plug-in in this process: mapped as the worker
// maps it, so that both roads read the same file.
int32_t saveInProcess(int pictureFd, int format, int outFd) {
    kernel::SealedMapping mapping;
    wire::Picture picture;
    if (!mapping.map(pictureFd) || !wire::readPicture(mapping.data(), mapping.size(), picture)) return kGenericError;
    return savePictureWithBoundPlugin(picture, mapping.data(), format, outFd);
}

}  // namespace

int32_t savePictureWithBoundPlugin(const wire::Picture& picture, const uint8_t* file, int format, int fd) {
    const plugin::Functions* f = plugin::functions();
    if (!f) return kPluginRequired;
    PluginHandle dib = bitmapOf(*f, picture, file);
    if (!dib) return kGenericError;
    dib = writableBitmap(*f, dib, format);
    if (!dib) return kUnknownImageFormat;
    exportPluginMetadata(dib, picture.properties, picture.dpiX, picture.dpiY);
    const bool saved = plugin::SaveTo(format, dib, fd, saveFlagsFor(format));
    plugin::Unload(dib);
    return saved ? 0 : kGenericError;
}

int32_t SaveWithPlugin(int32_t id, const std::string& path, int format) {
    if (!IsPluginAvailable()) return kPluginRequired;
    const gdiplus::Image* image = modMain::GetGdiImage(modMain::ResolveFrameImageId(id));
    if (!image || image->pixels().empty()) return kInvalidParameter;
    if (pluginFormatName(format).empty() || format == PluginFormat::Unknown) return kUnknownImageFormat;

    std::unique_ptr<gdiplus::Image> converted;
    const PixelFormat travel = travelFormat(image->pixelFormat());
    if (travel != image->pixelFormat()) {
        const gdiplus::Rect whole{0, 0, image->width(), image->height()};
        if (image->cloneArea(whole, travel, converted) != gdiplus::Status::Ok) return kGenericError;
        for (const gdiplus::PropertyItem& item : image->properties()) converted->setPropertyItem(item);
        converted->setResolution(image->horizontalResolution(), image->verticalResolution());
    }
    kernel::UniqueFd picture;
    if (!wire::writePicture(converted ? *converted : *image, {}, false, std::string(), picture)) return kGenericError;

    kernel::UniqueFd out;
    const std::string partial = createSibling(path, out);
    if (partial.empty()) return kGenericError;
    const uint64_t pixels = static_cast<uint64_t>(image->width()) * image->height();
    int32_t status = codecSandboxEnabled() ? workerSave(picture.get(), out.get(), format, pixels)
                                           : saveInProcess(picture.get(), format, out.get());
    if (status == 0 && (::fsync(out.get()) != 0 || ::rename(partial.c_str(), path.c_str()) != 0))
        status = kGenericError;
    if (status != 0) ::unlink(partial.c_str());
    return status;
}

}  // namespace orrery::imaging
