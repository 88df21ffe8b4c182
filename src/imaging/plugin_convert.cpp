// Loading files through the codec plug-in and turning plug-in bitmaps into
// images of the imaging layer.
//
// Orientation. The plug-in keeps every bitmap bottom-up in memory, whatever
// the file format: GetBits is the bottom row, for JPEG and PNG as much as for
// TARGA or BMP (a JPEG decoded here and by the imaging layer's own decoder
// agree only after the rows are reversed; the tests check exactly that). So
// no format is exempt from the flip:
// - 24 to 64 bits: the bitmap is flipped once in place, then wrapped top-down
//   with its positive pitch. A negative stride from the last row would avoid
//   the flip, but drawing takes its direct path only for images with a
//   positive stride and converts every visible part of the others, so the
//   one pass at load is cheaper than a slower draw on every paint.
// - below 24 bits: the rows go into a bottom-up bitmap section (positive
//   height), which is exactly the plug-in's layout, and are not flipped.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <vector>

#include <tiffio.h>

#include "imaging/codec_worker.h"
#include "imaging/costly_files.h"
#include "imaging/image_info.h"
#include "imaging/image_table.h"
#include "imaging/loaders.h"
#include "imaging/plugin_api.h"
#include "imaging/plugin_metadata.h"
#include "platform/gdi/handles.h"
#include "platform/gdiplus/dib.h"
#include "platform/gdiplus/factory.h"
#include "platform/gdiplus/pixel_data.h"
#include "platform/kernel/files.h"

namespace orrery::imaging {

namespace {

using gdiplus::PixelFormat;
using gdiplus::Status;

constexpr int32_t kUnknownImageFormat = 13;
constexpr int32_t kPluginAbsent = 9;
// A bitmap section could not be made from the plug-in's bitmap.
constexpr int32_t kSectionFailed = static_cast<int32_t>(Status::Win32Error);

int32_t statusOf(Status s) { return static_cast<int32_t>(s); }

// The bitmap being converted, and whether it is still the page locked from
// `multi` (then it is unlocked, not unloaded, when a conversion replaces it).
struct Working {
    PluginHandle& bitmap;
    PluginHandle multi;
    bool isPage;

    void replaceWith(PluginHandle converted) {
        if (isPage) plugin::UnlockPage(multi, bitmap);
        else plugin::Unload(bitmap);
        bitmap = converted;
        isPage = false;
    }
};

// Step 2: samples of other types than the standard bitmap become a standard
// bitmap: 16-bit grey to 8-bit grey, float RGB(A) tone-mapped, anything else
// (16-bit RGB and RGBA among them) converted with linear scaling. Tone
// mapping belongs to high-dynamic-range samples only: applied to 16-bit
// integer RGB it turns white into grey and darkens every photograph.
void toStandardType(Working& w) {
    const int type = plugin::GetImageType(w.bitmap);
    if (type == plugin::ImageType::Bitmap) return;
    PluginHandle converted = nullptr;
    if (type == plugin::ImageType::UInt16) {
        converted = plugin::ConvertToGreyscale(w.bitmap);
    } else if (type == plugin::ImageType::RGBF || type == plugin::ImageType::RGBAF) {
        converted = plugin::TmoReinhard05(w.bitmap, 0.0, 0.0);
    } else {
        converted = plugin::ConvertToStandardType(w.bitmap);
    }
    if (converted) w.replaceWith(converted);
}

// Asked to keep CMYK (its TIFF flag 1, which the control passes for colour
// management), the plug-in delivers 32-bit pixels holding C, M, Y, K bytes;
// its reader of tiled CMYK TIFFs delivers Y, M, C, K, asked or not (see
// PluginPictureFacts). No pixel format of the imaging layer holds inks, so
// they become opaque B, G, R in place.
enum class InkOrder { CMYK, YMCK };

void cmykToBgrInPlace(PluginHandle bitmap, InkOrder order) {
    uint8_t* bits = plugin::GetBits(bitmap);
    const int width = plugin::GetWidth(bitmap), height = plugin::GetHeight(bitmap);
    const int pitch = plugin::GetPitch(bitmap);
    if (!bits || pitch < width * 4) return;
    const int cyan = order == InkOrder::CMYK ? 0 : 2, yellow = 2 - cyan;
    for (int y = 0; y < height; ++y) {
        uint8_t* p = bits + static_cast<size_t>(pitch) * y;
        for (int x = 0; x < width; ++x, p += 4) {
            const int k = 255 - p[3];
            const uint8_t r = static_cast<uint8_t>((255 - p[cyan]) * k / 255);
            const uint8_t g = static_cast<uint8_t>((255 - p[1]) * k / 255);
            const uint8_t b = static_cast<uint8_t>((255 - p[yellow]) * k / 255);
            p[0] = b;
            p[1] = g;
            p[2] = r;
            p[3] = 255;
        }
    }
}

// Formats of the deep path. 48 and 64 bits whose rows are only as long as 24
// or 32-bit rows hold 8-bit samples. The colour type is that of the bitmap
// as it is now: a palette bitmap widened for its transparency reads "RGB with
// alpha" only after the widening.
PixelFormat wrapFormatFor(PluginHandle bitmap, int depth, const PluginPictureFacts& facts) {
    const int width = plugin::GetWidth(bitmap);
    const int pitch = plugin::GetPitch(bitmap);
    const bool alpha = plugin::GetColorType(bitmap) == plugin::ColorType::RGBAlpha && !facts.cmykSamples;
    const PixelFormat argb32 =
        facts.premultipliedAlpha ? gdiplus::PixelFormat32bppPARGB : gdiplus::PixelFormat32bppARGB;
    const PixelFormat argb64 =
        facts.premultipliedAlpha ? gdiplus::PixelFormat64bppPARGB : gdiplus::PixelFormat64bppARGB;
    switch (depth) {
        case 24:
            return gdiplus::PixelFormat24bppRGB;
        case 32:
            return alpha ? argb32 : gdiplus::PixelFormat32bppRGB;
        case 48:
            return pitch == ((3 * width + 3) & ~3) ? gdiplus::PixelFormat24bppRGB : gdiplus::PixelFormat48bppRGB;
        case 64:
            return pitch == 4 * width ? argb32 : argb64;
        default:
            return gdiplus::PixelFormatUndefined;
    }
}

// 16-bit samples: the plug-in stores red, green, blue (, alpha); the imaging
// layer's 48 and 64-bit formats store blue, green, red (, alpha). The copy is
// made top-down, so the plug-in bitmap is neither flipped nor kept.
int32_t copyDeepSamples(PluginHandle bitmap, PixelFormat format, std::unique_ptr<gdiplus::Image>& out) {
    const int width = plugin::GetWidth(bitmap), height = plugin::GetHeight(bitmap);
    const int pitch = plugin::GetPitch(bitmap);
    const uint8_t* bits = plugin::GetBits(bitmap);
    const int channels = format == gdiplus::PixelFormat48bppRGB ? 3 : 4;
    if (!bits || width < 1 || height < 1 || pitch < width * channels * 2) return statusOf(Status::InvalidParameter);
    gdiplus::PixelData pixels;
    Status s = gdiplus::PixelData::allocate(width, height, format, pixels);
    if (s != Status::Ok) return statusOf(s);
    for (int y = 0; y < height; ++y) {
        const uint8_t* src = bits + static_cast<size_t>(height - 1 - y) * static_cast<size_t>(pitch);
        uint8_t* dst = pixels.row(y);
        for (int x = 0; x < width; ++x, src += 2 * channels, dst += 2 * channels) {
            std::memcpy(dst + 0, src + 4, 2);
            std::memcpy(dst + 2, src + 2, 2);
            std::memcpy(dst + 4, src + 0, 2);
            if (channels == 4) std::memcpy(dst + 6, src + 6, 2);
        }
    }
    out = gdiplus::Image::fromPixels(std::move(pixels));
    return 0;
}

// Turns the plug-in's bottom-up rows top-down in place. The plug-in's own
// flip copies rows with overlapping memcpy calls on some bitmaps (seen with
// icons whose mask became alpha), which is undefined; this one swaps row by
// row. False when the bitmap has no pixels to flip.
bool flipRowsInPlace(PluginHandle bitmap) {
    uint8_t* bits = plugin::GetBits(bitmap);
    const int height = plugin::GetHeight(bitmap);
    const int pitch = plugin::GetPitch(bitmap);
    if (!bits || height < 1 || pitch < 1) return false;
    const size_t rowBytes = static_cast<size_t>(pitch);
    std::vector<uint8_t> row(rowBytes);
    for (int top = 0, bottom = height - 1; top < bottom; ++top, --bottom) {
        uint8_t* a = bits + rowBytes * static_cast<size_t>(top);
        uint8_t* b = bits + rowBytes * static_cast<size_t>(bottom);
        std::memcpy(row.data(), a, rowBytes);
        std::memcpy(a, b, rowBytes);
        std::memcpy(b, row.data(), rowBytes);
    }
    return true;
}

bool g_rowsStayBottomUp = false;

// Steps 4 and 5: 24 bits and up.
int32_t wrapDeepBitmap(PluginHandle bitmap, int depth, const PluginPictureFacts& facts,
                       std::unique_ptr<gdiplus::Image>& out, bool& independent) {
    const PixelFormat format = wrapFormatFor(bitmap, depth, facts);
    if (gdiplus::bitsPerPixel(format) > 32) {
        independent = true;
        return copyDeepSamples(bitmap, format, out);
    }
    const int height = plugin::GetHeight(bitmap), pitch = plugin::GetPitch(bitmap);
    uint8_t* bits = plugin::GetBits(bitmap);
    if (g_rowsStayBottomUp && bits && height > 0 && pitch > 0) {
        independent = false;
        return statusOf(gdiplus::createBitmapFromScan0(plugin::GetWidth(bitmap), height, -static_cast<ptrdiff_t>(pitch),
                                                       format, bits + static_cast<size_t>(pitch) * (height - 1), out));
    }
    const bool flipped = flipRowsInPlace(bitmap);
    Status s = gdiplus::createBitmapFromScan0(plugin::GetWidth(bitmap), plugin::GetHeight(bitmap),
                                              plugin::GetPitch(bitmap), format, plugin::GetBits(bitmap), out);
    if (s != Status::Ok) return statusOf(s);
    independent = false;
    if (!flipped) {
        // Flipping the image copies the rows into memory of its own.
        s = out->rotateFlip(gdiplus::RotateNoneFlipY);
        if (s != Status::Ok) return statusOf(s);
        independent = true;
    }
    return 0;
}

// Step 6: below 24 bits, through a bitmap section.
int32_t copyThroughSection(PluginHandle bitmap, int depth, std::unique_ptr<gdiplus::Image>& out) {
    const bool minIsWhite = depth == 1 && plugin::GetColorType(bitmap) == plugin::ColorType::MinIsWhite;
    if (minIsWhite) plugin::Invert(bitmap);
    const plugin::BitmapInfoHeader* header = plugin::GetInfoHeader(bitmap);
    const uint8_t* bits = plugin::GetBits(bitmap);
    const int height = plugin::GetHeight(bitmap);
    const int pitch = plugin::GetPitch(bitmap);
    if (!header || !bits || height < 1 || pitch < 1) return kSectionFailed;
    gdi::DibSection section;
    section.width = header->biWidth;
    section.height = header->biHeight;
    section.bitCount = header->biBitCount;
    const PixelFormat indexedFormat = depth == 1   ? gdiplus::PixelFormat1bppIndexed
                                      : depth == 4 ? gdiplus::PixelFormat4bppIndexed
                                      : depth == 8 ? gdiplus::PixelFormat8bppIndexed
                                                   : gdiplus::PixelFormat16bppRGB555;
    if (section.width < 1 || section.height < 1 || static_cast<uint32_t>(pitch) < section.stride())
        return kSectionFailed;
    if (!gdiplus::fitsAllocationLimit(section.width, section.height, indexedFormat))
        return statusOf(Status::OutOfMemory);
    if (const plugin::RgbQuad* palette = plugin::GetPalette(bitmap)) {
        const int colors = plugin::GetColorsUsed(bitmap);
        for (int i = 0; i < colors && i < 256; ++i)
            section.colors.push_back((uint32_t{palette[i].red} << 16) | (uint32_t{palette[i].green} << 8) |
                                     palette[i].blue);
    }
    const size_t stride = section.stride();
    section.bits.resize(stride * static_cast<size_t>(section.height));
    for (int y = 0; y < section.height; ++y)
        std::memcpy(section.bits.data() + stride * y, bits + static_cast<size_t>(pitch) * y, stride);
    const gdi::HBITMAP handle = gdi::createBitmap(std::move(section));
    if (handle == 0) return kSectionFailed;
    Status s = gdiplus::createBitmapFromHBITMAP(handle, out);
    gdi::deleteBitmap(handle);
    if (s != Status::Ok) return statusOf(s);
    if (minIsWhite) {
        gdiplus::Palette blackOnWhite;
        blackOnWhite.entries = {0xFF000000u, 0xFFFFFFFFu};
        s = out->setPalette(blackOnWhite);
        if (s != Status::Ok) return statusOf(s);
    }
    return 0;
}

// Step 7: metadata and resolution of the new entry.
void carryOverMetadata(PluginHandle bitmap, int dpiX, int dpiY, int32_t id) {
    gdiplus::Image* image = modMain::GetGdiImage(id);
    if (!image) return;
    ImportedMetadata meta = importPluginMetadata(bitmap, *image);
    bool modified = meta.propertiesSet > 0;
    double x = 0, y = 0;
    if (choosePluginResolution(dpiX, dpiY, meta.dpiX, meta.dpiY, x, y))
        modified |= image->setResolution(static_cast<float>(x), static_cast<float>(y)) == Status::Ok;
    if (ImageEntry* e = modMain::FindEntry(id)) e->PluginMetadata = std::move(meta.iptc);
    if (modified) modMain::MarkImageModified(id);
}

// Releases a bitmap the caller no longer keeps: a locked page is unlocked,
// anything else unloaded.
void releaseBitmap(PluginHandle bitmap, PluginHandle multi, PluginHandle page) {
    if (bitmap == page) plugin::UnlockPage(multi, page);
    else plugin::Unload(bitmap);
}

}  // namespace

// The format the plug-in reads the file as: its content, except that a file
// named as TARGA is read as TARGA (TARGA files carry no reliable signature).
int detectPluginFormat(int fd, const std::string& path) {
    const int content = plugin::GetFileTypeOf(fd);
    const int byName = plugin::GetFIFFromFilename(path);
    if (content != PluginFormat::Unknown && content != byName && byName == PluginFormat::TARGA)
        return PluginFormat::TARGA;
    return content;
}

bool pluginLeavesFormat(int format) {
    return format == PluginFormat::Unknown || format == PluginFormat::BMP || format == PluginFormat::PNG ||
           format == PluginFormat::GIF;
}

namespace {

// Sizes in files are not trusted: where the plug-in can read a header alone,
// the pixel memory it announces is checked against the allocation limit
// before the pixels are decoded. Other formats are decoded as they are.
//
// An icon's size comes from the bitmap header of its first entry, which the
// plug-in reads (its directory may say otherwise); with its mask turned into
// alpha the plug-in makes 32 bits of every pixel. A 198-byte file can
// announce 65535 x 32767 pixels, 8 GB at 32 bits.
uint64_t announcedIconBytes(int fd) {
    uint8_t head[22];
    if (::pread(fd, head, sizeof head, 0) != static_cast<ssize_t>(sizeof head)) return 0;
    const auto le32 = [](const uint8_t* p) {
        return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
    };
    uint8_t entry[24];
    if (::pread(fd, entry, sizeof entry, le32(head + 18)) != static_cast<ssize_t>(sizeof entry)) return 0;
    uint64_t width = 0, height = 0;
    if (std::memcmp(entry, "\x89PNG", 4) == 0) {
        width = (uint64_t(entry[16]) << 24) | (uint64_t(entry[17]) << 16) | (uint64_t(entry[18]) << 8) | entry[19];
        height = (uint64_t(entry[20]) << 24) | (uint64_t(entry[21]) << 16) | (uint64_t(entry[22]) << 8) | entry[23];
    } else {
        width = static_cast<uint64_t>(std::abs(int64_t(int32_t(le32(entry + 4)))));
        height = static_cast<uint64_t>(std::abs(int64_t(int32_t(le32(entry + 8))))) / 2;
    }
    return width * height * 4;
}

int32_t checkAnnouncedSize(int format, int fd, int flags) {
    if (format == PluginFormat::ICO)
        return announcedIconBytes(fd) > gdiplus::pixelAllocationLimit() ? statusOf(Status::OutOfMemory) : 0;
    if (!plugin::SupportsHeaderOnly(format)) return 0;
    PluginHandle header = plugin::LoadFrom(format, fd, flags | plugin::kLoadHeaderOnly);
    if (!header) return 0;  // the full load reports what is wrong
    const uint64_t bits = uint64_t(plugin::GetWidth(header)) * uint64_t(plugin::GetHeight(header)) *
                          uint64_t(plugin::GetBPP(header));
    plugin::Unload(header);
    return bits / 8 > gdiplus::pixelAllocationLimit() ? statusOf(Status::OutOfMemory) : 0;
}

int32_t addMultiPageTiff(int32_t& id, const std::string& path, PluginHandle file, PluginHandle multi, int pages) {
    modMain::AddImage(id, nullptr, pluginFormatName(PluginFormat::TIFF), path, SourcePluginBitmap);
    ImageEntry* e = modMain::FindEntry(id);
    if (!e) {
        pluginCloseMultiBitmap(multi);
        pluginCloseFileHandle(file);
        return statusOf(Status::GenericError);
    }
    e->PluginBitmap = multi;
    e->PluginFileHandle = file;
    e->IsMultiPageTiff = true;
    e->FramesInOneImage = true;
    e->FrameCount = pages;
    const size_t n = static_cast<size_t>(pages);
    e->FrameFiles.assign(n, std::string());
    e->FrameImageIds.assign(n, 0);
    e->FrameDelays.assign(n, 0);
    e->FrameBitsPerPixel.assign(n, 0);
    e->CurrentFrame = -1;
    const int32_t s = modMain::SelectTiffPage(id, 0);
    if (s != 0) {
        modMain::ReleaseImage(id);
        id = 0;
    }
    return s;
}

}  // namespace

void keepPluginRowsBottomUp(bool bottomUp) { g_rowsStayBottomUp = bottomUp; }

int32_t ConvertPluginBitmap(PluginHandle& bitmap, int format, PluginHandle multi, int32_t& id, bool& independent,
                            const PluginPictureFacts& facts) {
    (void)format;  // every format is bottom-up in the plug-in (see the top of this file)
    id = 0;
    independent = true;
    if (!bitmap) return statusOf(Status::InvalidParameter);
    Working w{bitmap, multi, multi != nullptr};
    const int dpiX = plugin::GetDotsPerInchX(bitmap);
    const int dpiY = plugin::GetDotsPerInchY(bitmap);

    toStandardType(w);
    int depth = plugin::GetBPP(bitmap);
    const bool standard = plugin::GetImageType(bitmap) == plugin::ImageType::Bitmap;
    // 8 bits with transparent entries: 32 bits keep the transparency; when
    // that fails the bitmap goes through the section as it is.
    if (standard && depth == 8 && facts.paletteTransparency && plugin::GetTransparencyCount(bitmap) > 0) {
        if (PluginHandle converted = plugin::ConvertTo32Bits(bitmap)) {
            w.replaceWith(converted);
            depth = 32;
        }
    }
    if (standard && depth == 32 && (facts.cmykSamples || plugin::GetColorType(bitmap) == plugin::ColorType::CMYK))
        cmykToBgrInPlace(bitmap, facts.inksSwapped ? InkOrder::YMCK : InkOrder::CMYK);
    // 16-bit 5-6-5 pixels: a bitmap section has no place for the masks, so
    // they are widened to 24 bits first.
    if (standard && depth == 16 && plugin::HasMasks565(bitmap)) {
        if (PluginHandle converted = plugin::ConvertTo24Bits(bitmap)) {
            w.replaceWith(converted);
            depth = 24;
        }
    }
    if (depth > 64) return kUnknownImageFormat;

    std::unique_ptr<gdiplus::Image> image;
    int32_t s = 0;
    ImageSourceKind kind = SourceScan0;
    if (depth >= 24) {
        s = wrapDeepBitmap(bitmap, depth, facts, image, independent);
    } else {
        s = copyThroughSection(bitmap, depth, image);
        independent = true;
        kind = SourceHBitmap;
    }
    if (s != 0) return s;
    modMain::AddImage(id, std::move(image), pluginFormatName(format), std::string(), kind);
    carryOverMetadata(bitmap, dpiX, dpiY, id);
    return 0;
}

namespace {

int ignoreTiffMessage(TIFF*, void*, const char*, const char*, va_list) { return 1; }

// Facts of a TIFF page that the plug-in cannot be trusted with, read with
// libtiff (quietly: a damaged file is the decoders' business).
struct TiffFacts {
    // The plug-in's TIFF reader reads freed memory while it copies some
    // embedded colour profiles (seen with Adobe-deflate and 16-bit RGBA
    // files). TIFFs that carry a profile are therefore left to the imaging
    // layer's own TIFF reader, which handles them fully, profile included.
    bool colorProfile = false;
    uint16_t alpha = 0;    // EXTRASAMPLE_ASSOCALPHA, EXTRASAMPLE_UNASSALPHA, or 0 for none
    int colorSamples = 1;  // samples per pixel without the extra samples
    bool cmyk = false;
    bool tiled = false;

    // Grey or palette pixels with alpha: the plug-in can only give them as
    // an 8-bit palette picture, which holds no alpha per pixel.
    bool alphaBeyondPlugin() const { return alpha != 0 && colorSamples < 3; }
};

// libtiff reads the descriptor through these, at a position of its own.
struct TiffSource {
    int fd;
    toff_t position;
};

tmsize_t readTiffSource(thandle_t h, void* buffer, tmsize_t size) {
    auto* src = static_cast<TiffSource*>(h);
    const ssize_t n = ::pread(src->fd, buffer, static_cast<size_t>(size), static_cast<off_t>(src->position));
    if (n > 0) src->position += static_cast<toff_t>(n);
    return n;
}
tmsize_t writeTiffSource(thandle_t, void*, tmsize_t) { return -1; }
toff_t tiffSourceSize(thandle_t h) {
    struct stat st {};
    return ::fstat(static_cast<TiffSource*>(h)->fd, &st) == 0 ? static_cast<toff_t>(st.st_size) : 0;
}
toff_t seekTiffSource(thandle_t h, toff_t offset, int whence) {
    auto* src = static_cast<TiffSource*>(h);
    if (whence == SEEK_CUR) offset += src->position;
    else if (whence == SEEK_END) offset += tiffSourceSize(h);
    src->position = offset;
    return offset;
}
int closeTiffSource(thandle_t) { return 0; }
int mapTiffSource(thandle_t, void**, toff_t*) { return 0; }
void unmapTiffSource(thandle_t, void*, toff_t) {}

TiffFacts readTiffFacts(int fd, int page) {
    TiffFacts facts;
    TIFFOpenOptions* options = TIFFOpenOptionsAlloc();
    TIFFOpenOptionsSetErrorHandlerExtR(options, ignoreTiffMessage, nullptr);
    TIFFOpenOptionsSetWarningHandlerExtR(options, ignoreTiffMessage, nullptr);
    TiffSource source{fd, 0};
    TIFF* tif = TIFFClientOpenExt("plug-in file", "rm", &source, readTiffSource, writeTiffSource, seekTiffSource,
                                  closeTiffSource, tiffSourceSize, mapTiffSource, unmapTiffSource, options);
    TIFFOpenOptionsFree(options);
    if (!tif) return facts;
    uint32_t count = 0;
    void* profile = nullptr;
    facts.colorProfile = TIFFGetField(tif, TIFFTAG_ICCPROFILE, &count, &profile) == 1 && count > 0;
    if (page == 0 || TIFFSetDirectory(tif, static_cast<tdir_t>(page)) == 1) {
        uint16_t samples = 1, extra = 0, photometric = 0, inks = INKSET_CMYK;
        uint16_t* kinds = nullptr;
        TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLESPERPIXEL, &samples);
        if (TIFFGetField(tif, TIFFTAG_EXTRASAMPLES, &extra, &kinds) == 1 && kinds)
            for (uint16_t i = 0; i < extra && facts.alpha == 0; ++i)
                if (kinds[i] == EXTRASAMPLE_ASSOCALPHA || kinds[i] == EXTRASAMPLE_UNASSALPHA) facts.alpha = kinds[i];
        facts.colorSamples = samples > extra ? samples - extra : 0;
        TIFFGetField(tif, TIFFTAG_PHOTOMETRIC, &photometric);
        TIFFGetFieldDefaulted(tif, TIFFTAG_INKSET, &inks);
        facts.cmyk = photometric == PHOTOMETRIC_SEPARATED && inks == INKSET_CMYK && facts.colorSamples == 4;
        facts.tiled = TIFFIsTiled(tif) != 0;
    }
    TIFFClose(tif);
    return facts;
}

// What page `page` of `path`, read as `format`, says about its pixels that
// the plug-in's bitmap does not.
PluginPictureFacts pictureFactsOf(int format, int fd, int page) {
    if (format != PluginFormat::TIFF) return {};
    const TiffFacts tiff = readTiffFacts(fd, page);
    PluginPictureFacts facts;
    facts.paletteTransparency = false;
    facts.premultipliedAlpha = tiff.alpha == EXTRASAMPLE_ASSOCALPHA;
    facts.cmykSamples = tiff.cmyk;
    facts.inksSwapped = tiff.cmyk && tiff.tiled;
    return facts;
}

// Load flags: colour management for TIFF when asked for; icons always keep
// their mask, which would otherwise be dropped and show the transparent
// parts of an icon in whatever colour its pixels hold there.
int loadFlagsFor(int format, bool useIcm) {
    if (format == PluginFormat::TIFF && useIcm) return plugin::kTiffLoadColorManaged;
    if (format == PluginFormat::ICO) return plugin::kIcoLoadMaskAsAlpha;
    return 0;
}

}  // namespace

uint64_t announcedPluginPixels(int fd, int format) {
    // The plug-in's JPEG reader decodes every scan of a progressive file even
    // for its header: the frame header is read here instead.
    if (format == PluginFormat::JPEG) return jpegFramePixels(fd);
    if (pluginLeavesFormat(format) || !plugin::SupportsHeaderOnly(format) || pluginWouldSpendLongOn(fd, format))
        return 0;
    PluginHandle header = plugin::LoadFrom(format, fd, loadFlagsFor(format, false) | plugin::kLoadHeaderOnly);
    const uint64_t pixels = uint64_t(plugin::GetWidth(header)) * uint64_t(plugin::GetHeight(header));
    plugin::Unload(header);
    return pixels;
}

int32_t loadWithBoundPlugin(int fd, int format, bool useIcm, int32_t& id, PluginContainer& container) {
    id = 0;
    container = {};
    if (pluginWouldSpendLongOn(fd, format)) return statusOf(Status::InvalidParameter);
    if (format == PluginFormat::TIFF) {
        const TiffFacts tiff = readTiffFacts(fd, 0);
        if (tiff.colorProfile || tiff.alphaBeyondPlugin()) return kUnknownImageFormat;
    }
    const int flags = loadFlagsFor(format, useIcm);

    if (format == PluginFormat::TIFF) {
        PluginHandle file = plugin::OpenFileDescriptor(fd);
        PluginHandle multi = plugin::OpenMultiBitmap(format, flags, file);
        const int pages = plugin::GetPageCount(multi);
        if (pages >= 2) {
            container = {multi, file, pages};
            return 0;
        }
        plugin::CloseMultiBitmap(multi);
        plugin::CloseFileHandle(file);
    }

    if (const int32_t s = checkAnnouncedSize(format, fd, flags); s != 0) return s;
    PluginHandle bitmap = plugin::LoadFrom(format, fd, flags);
    if (!bitmap) return statusOf(Status::OutOfMemory);
    bool independent = true;
    const int32_t s = ConvertPluginBitmap(bitmap, format, nullptr, id, independent, pictureFactsOf(format, fd, 0));
    if (s != 0) {
        plugin::Unload(bitmap);
        return s;
    }
    if (independent) plugin::Unload(bitmap);
    else modMain::AttachPluginBitmap(id, bitmap);
    modMain::SetImageFormatName(id, pluginFormatName(format));
    return 0;
}

int32_t loadBoundPluginPage(PluginHandle multi, PluginHandle file, int32_t index, int32_t& childId) {
    childId = 0;
    PluginHandle page = plugin::LockPage(multi, index);
    if (!page) return 0;
    PluginHandle bitmap = page;
    bool independent = true;
    int32_t child = 0;
    const PluginPictureFacts facts = pictureFactsOf(PluginFormat::TIFF, plugin::FileDescriptorOf(file), index);
    const int32_t s = ConvertPluginBitmap(bitmap, PluginFormat::TIFF, multi, child, independent, facts);
    if (s != 0) {
        releaseBitmap(bitmap, multi, page);
        return s;
    }
    if (independent) releaseBitmap(bitmap, multi, page);
    else if (bitmap == page) modMain::AttachPluginPage(child, multi, page);
    else modMain::AttachPluginBitmap(child, bitmap);
    childId = child;
    return 0;
}

int32_t LoadWithPlugin(int32_t& id, const std::string& path, bool useIcm) {
    id = 0;
    if (!IsPluginAvailable()) return kPluginAbsent;
    // The plug-in would block on a FIFO or read a device without end: it
    // sees regular files only, opened here and read through the descriptor.
    kernel::UniqueFd fd;
    if (kernel::openRegularFile(path, fd) != kernel::OpenError::None) return statusOf(Status::FileNotFound);
    const bool sandboxed = codecSandboxEnabled();
    uint64_t pixels = 0;
    const int format = sandboxed ? workerDetectFormat(fd.get(), path, pixels) : detectPluginFormat(fd.get(), path);
    if (pluginLeavesFormat(format)) return kUnknownImageFormat;
    PluginContainer container;
    const int32_t s = sandboxed ? workerLoad(fd.get(), format, useIcm, pixels, id, container)
                                : loadWithBoundPlugin(fd.get(), format, useIcm, id, container);
    if (s != 0 || !container.multi) return s;
    return addMultiPageTiff(id, path, container.file, container.multi, container.pages);
}

int32_t LoadPluginPage(int32_t containerId, int32_t index, int32_t& childId) {
    childId = 0;
    const ImageEntry* container = modMain::FindEntry(containerId);
    if (!container || !container->PluginBitmap) return statusOf(Status::GenericError);
    if (isWorkerHandle(container->PluginBitmap)) return workerLoadPage(container->PluginBitmap, index, childId);
    return loadBoundPluginPage(container->PluginBitmap, container->PluginFileHandle, index, childId);
}

}  // namespace orrery::imaging
