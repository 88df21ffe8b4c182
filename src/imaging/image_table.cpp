#include "imaging/image_table.h"

#include <chrono>
#include <cstdlib>
#include <random>

#include "imaging/encoders.h"
#include "imaging/image_info.h"
#include "imaging/loaders.h"
#include "platform/gdiplus/factory.h"
#include "platform/kernel/files.h"

namespace orrery::imaging::modMain {

using gdiplus::Image;
using gdiplus::Status;

namespace {

struct ModuleState {
    std::vector<ImageEntry> table;
    bool sessionOpen = false;
    int32_t references = 0;
    std::string gdiPlusVersion;
    std::string pluginVersion;
    std::string lastSessionError;
    std::mt19937_64 rng{std::random_device{}() ^
                        static_cast<uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count())};
};

// The store exists once per user-interface thread, shared by its controls.
ModuleState& state() {
    thread_local ModuleState s;
    return s;
}

int32_t status(Status s) { return static_cast<int32_t>(s); }
constexpr int32_t kUnsupportedImageFormat = static_cast<int32_t>(QuillonStatus::UnsupportedImageFormat);

int32_t NewImageId() {
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    for (;;) {
        const int32_t id = static_cast<int32_t>(std::nearbyint(unit(state().rng) * 100000000.0));
        if (id != 0 && FindImageIndex(id) < 0) return id;
    }
}

const gdiplus::Guid& dimensionFor(const std::string& format) {
    return format == "GIF" ? gdiplus::FrameDimension::Time : gdiplus::FrameDimension::Page;
}

bool hasFrameFlag(const ImageEntry& e, const std::string& format) {
    return format == "TIFF" ? e.IsMultiPageTiff : format == "GIF" ? e.IsMultiFrameGif : false;
}

int32_t readLong(const gdiplus::PropertyItem& item, size_t i) {
    const uint8_t* p = item.value.data() + 4 * i;
    return static_cast<int32_t>(p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24));
}

// Frame delays, loop count and comment of a GIF, read from its property items.
void readGifProperties(const Image& image, ImageEntry& e) {
    gdiplus::PropertyItem item;
    if (image.getPropertyItem(gdiplus::PropertyTagFrameDelay, item) == Status::Ok) {
        const size_t n = std::min<size_t>(item.length() / 4, static_cast<size_t>(e.FrameCount));
        for (size_t i = 0; i < n; ++i) {
            const int32_t delay = readLong(item, i);
            e.FrameDelays[i] = delay < 1 ? 25 : delay;
        }
    }
    if (image.getPropertyItem(gdiplus::PropertyTagLoopCount, item) == Status::Ok) {
        if (item.type == gdiplus::PropertyTagTypeShort && item.length() == 2)
            e.GifLoopCount = item.value[0] | (item.value[1] << 8);
        else if (item.type == gdiplus::PropertyTagTypeLong && item.length() == 4)
            e.GifLoopCount = readLong(item, 0);
    }
    if (image.getPropertyItem(gdiplus::PropertyTagExifUserComment, item) == Status::Ok) {
        std::string text(item.value.begin(), item.value.end());
        e.GifComment = text.substr(0, text.find('\0'));
    }
}

void writeGifProperties(int32_t id, const ImageEntry& e) {
    Image* image = GetGdiImage(id);
    if (!image) return;
    std::vector<uint32_t> delays(e.FrameDelays.begin(), e.FrameDelays.end());
    image->setPropertyItem(gdiplus::PropertyItem::fromLongs(gdiplus::PropertyTagFrameDelay, delays));
    image->setPropertyItem(gdiplus::PropertyItem::fromShorts(gdiplus::PropertyTagLoopCount,
                                                             {static_cast<uint16_t>(e.GifLoopCount)}));
    if (!e.GifComment.empty())
        image->setPropertyItem(gdiplus::PropertyItem::fromAscii(gdiplus::PropertyTagExifUserComment, e.GifComment));
}

void sizeFrameArrays(ImageEntry& e, int32_t count) {
    e.FrameCount = count;
    e.FrameFiles.assign(static_cast<size_t>(count), std::string());
    e.FrameImageIds.assign(static_cast<size_t>(count), 0);
    e.FrameDelays.assign(static_cast<size_t>(count), 0);
    e.FrameBitsPerPixel.assign(static_cast<size_t>(count), 0);
    e.CurrentFrame = -1;
}

void dropFrames(ImageEntry& e) {
    e.IsMultiFrameGif = e.IsMultiPageTiff = false;
    e.FrameCount = 0;
    e.FrameFiles.clear();
    e.FrameImageIds.clear();
    e.FrameDelays.clear();
    e.FrameBitsPerPixel.clear();
    e.CurrentFrame = -1;
}

}  // namespace

// ---------------------------------------------------------------------------
// Session

bool StartGdiPlus() {
    ModuleState& s = state();
    ++s.references;
    if (!s.sessionOpen) {
        s.sessionOpen = true;
        // The imaging layer needs no start-up call: the probe bitmap tells
        // whether it works in this process.
        std::unique_ptr<Image> probe;
        Status probeStatus = gdiplus::createBitmapFromScan0(1, 1, 0, gdiplus::PixelFormat24bppRGB, nullptr, probe);
        if (probeStatus == Status::Ok) {
            ReadEncoders();
            s.gdiPlusVersion = GetFileVersionString("gdiplus.dll");
        } else {
            s.sessionOpen = false;
            s.lastSessionError = "Error starting GDI+. Err no: " + std::to_string(static_cast<int>(probeStatus)) +
                                 ". Error: " + gdiplus::statusName(probeStatus);
        }
    }
    if (VersionMajor(s.pluginVersion) == 0) s.pluginVersion = GetFileVersionString("vorplex.dll");
    return s.sessionOpen;
}

void ShutdownGdiPlus() {
    ModuleState& s = state();
    --s.references;
    if (s.sessionOpen && s.references <= 0) {
        s.sessionOpen = false;
        ReleaseAllImages();
    }
}

bool IsSessionOpen() { return state().sessionOpen; }
int32_t SessionReferenceCount() { return state().references; }
std::string LastSessionError() { return state().lastSessionError; }
std::string GdiPlusVersion() { return state().gdiPlusVersion; }

// ---------------------------------------------------------------------------
// Entries

int32_t AddImage(int32_t& id, std::unique_ptr<Image> image, const std::string& formatName,
                 const std::string& tempFilePath, ImageSourceKind kind) {
    auto& table = state().table;
    size_t index = 0;
    while (index < table.size() && table[index].ImageId != 0) ++index;
    if (index == table.size()) table.emplace_back();
    id = NewImageId();
    ImageEntry& e = table[index];
    e = ImageEntry{};
    e.ImageId = id;
    e.GdiImage = std::move(image);
    if (!tempFilePath.empty()) e.TempFilePath = tempFilePath;
    e.FormatName = formatName;
    e.SourceKind = kind;
    if (e.GdiImage) {
        e.GdiImage->forceValidation();
        if (e.FormatName.empty()) e.FormatName = FormatNameFromRawFormat(e.GdiImage->rawFormat());
        e.BitsPerPixel = BitsPerPixelOf(e.GdiImage->pixelFormat());
    }
    return static_cast<int32_t>(index);
}

int32_t FindImageIndex(int32_t id) {
    if (id == 0) return -1;
    const auto& table = state().table;
    for (size_t i = 0; i < table.size(); ++i)
        if (table[i].ImageId == id) return static_cast<int32_t>(i);
    return -1;
}

ImageEntry* FindEntry(int32_t id) {
    int32_t index = FindImageIndex(id);
    return index < 0 ? nullptr : &state().table[static_cast<size_t>(index)];
}

gdiplus::Image* GetGdiImage(int32_t id) {
    ImageEntry* e = FindEntry(id);
    if (!e) return nullptr;
    if (e->GdiImage) return e->GdiImage.get();
    if (e->FrameCount > 0 && e->CurrentFrame >= 0 && e->CurrentFrame < e->FrameCount) {
        const int32_t child = e->FrameImageIds[static_cast<size_t>(e->CurrentFrame)];
        return child != id ? GetGdiImage(child) : nullptr;
    }
    return nullptr;
}

int32_t ResolveFrameImageId(int32_t id) {
    ImageEntry* e = FindEntry(id);
    if (!e) return 0;
    if (e->GdiImage || e->FrameCount == 0) return id;
    if (e->CurrentFrame < 0 || e->CurrentFrame >= e->FrameCount) return 0;
    return e->FrameImageIds[static_cast<size_t>(e->CurrentFrame)];
}

gdiplus::Status ReleaseImage(int32_t id) {
    int32_t index = FindImageIndex(id);
    if (index < 0) return Status::InvalidParameter;
    // Children are released first; they may shrink the table, so the entry
    // is looked up again afterwards.
    {
        ImageEntry& e = state().table[static_cast<size_t>(index)];
        if (e.IsMultiFrameGif || e.IsMultiPageTiff) {
            std::vector<int32_t> children = e.FrameImageIds;
            std::vector<std::string> files = e.FrameFiles;
            e.FrameImageIds.assign(children.size(), 0);
            for (int32_t child : children)
                if (child != 0 && child != id) ReleaseImage(child);
            for (const std::string& file : files) kernel::removeQuietly(file);
        }
    }
    index = FindImageIndex(id);
    auto& table = state().table;
    ImageEntry& e = table[static_cast<size_t>(index)];
    Status result = Status::Ok;
    if (e.OwnsPixelBuffer && e.PixelBuffer) {
        // Free the buffer only while it is still the image's pixel memory.
        const bool stillUnderImage = !e.GdiImage || e.GdiImage->pixels().scan0() == e.PixelBuffer ||
                                     e.GdiImage->pixels().empty();
        if (stillUnderImage) {
            e.GdiImage.reset();
            std::free(e.PixelBuffer);
        }
        e.PixelBuffer = nullptr;
    }
    if (e.PluginFileHandle) pluginCloseFileHandle(e.PluginFileHandle);
    e.GdiImage.reset();
    switch (e.SourceKind) {
        case SourceGdiDib:
            if (e.GlobalMemory) gdi::globalFree(e.GlobalMemory);
            break;
        case SourcePluginBitmap:
            if (e.IsMultiFrameGif || e.IsMultiPageTiff) pluginCloseMultiBitmap(e.PluginBitmap);
            else pluginUnload(e.PluginBitmap);
            break;
        case SourcePluginPage:
            pluginUnlockPage(e.PluginBitmap, e.PluginPage);
            break;
        default: break;
    }
    if (e.DeleteTempFile) kernel::removeQuietly(e.TempFilePath);
    if (static_cast<size_t>(index) + 1 == table.size()) table.pop_back();
    else e = ImageEntry{};
    return result;
}

void ReleaseAllImages() {
    auto& table = state().table;
    while (!table.empty()) {
        if (table.back().ImageId == 0) table.pop_back();
        else ReleaseImage(table.back().ImageId);
    }
}

int32_t ReplaceImage(int32_t oldId, int32_t newId) {
    ImageEntry* old = FindEntry(oldId);
    if (!old || !FindEntry(newId)) return oldId;
    const bool splitContainer = (old->IsMultiFrameGif || old->IsMultiPageTiff) && !old->FramesInOneImage;
    if (splitContainer && old->CurrentFrame >= 0) {
        const std::string format = old->IsMultiPageTiff ? "TIFF" : "GIF";
        const Image* replacement = GetGdiImage(newId);
        const std::string file = replacement ? SaveFrameToTempFile(*replacement, format) : std::string();
        if (file.empty()) return oldId;
        old = FindEntry(oldId);
        const size_t frame = static_cast<size_t>(old->CurrentFrame);
        const int32_t child = old->FrameImageIds[frame];
        if (child != 0 && child != newId) ReleaseImage(child);
        old = FindEntry(oldId);
        kernel::removeQuietly(old->FrameFiles[frame]);
        old->FrameFiles[frame] = file;
        old->FrameImageIds[frame] = newId;
        ImageEntry* fresh = FindEntry(newId);
        old = FindEntry(oldId);
        old->FrameBitsPerPixel[frame] = fresh->BitsPerPixel;
        fresh->Modified = false;
        return oldId;
    }
    ReleaseImage(oldId);
    if (ImageEntry* fresh = FindEntry(newId)) fresh->ImageId = oldId;
    return oldId;
}

void SetImageFormatName(int32_t id, const std::string& name) {
    if (ImageEntry* e = FindEntry(id)) e->FormatName = name;
}

void SetImageTempFile(int32_t id, const std::string& path) {
    if (ImageEntry* e = FindEntry(id)) {
        e->TempFilePath = path;
        e->DeleteTempFile = true;
    }
}

void AttachPluginBitmap(int32_t id, PluginHandle bitmap) {
    if (ImageEntry* e = FindEntry(id)) {
        e->PluginBitmap = bitmap;
        e->SourceKind = SourcePluginBitmap;
    }
}

void AttachPluginPage(int32_t id, PluginHandle multi, PluginHandle page) {
    if (ImageEntry* e = FindEntry(id)) {
        e->PluginBitmap = multi;
        e->PluginPage = page;
        e->SourceKind = SourcePluginPage;
    }
}

void AttachGlobalMemory(int32_t id, gdi::HGLOBAL block) {
    if (ImageEntry* e = FindEntry(id)) {
        e->GlobalMemory = block;
        e->SourceKind = SourceGdiDib;
    }
}

void MarkImageModified(int32_t id) {
    ImageEntry* e = FindEntry(id);
    if (!e) return;
    if (e->SourceKind == SourceFile && e->FramesInOneImage && e->GdiImage) {
        uint32_t count = 0;
        const gdiplus::Guid dim = e->GdiImage->frameDimensions().front();
        if (e->GdiImage->frameCount(dim, count) != Status::Ok || count < 2) {
            dropFrames(*e);
            e->FramesInOneImage = false;
        }
    }
    if (ImageEntry* holder = FindEntry(ResolveFrameImageId(id))) holder->Modified = true;
}

void ClearImageModified(int32_t id) {
    if (ImageEntry* e = FindEntry(id)) e->Modified = false;
}

size_t TableSize() { return state().table.size(); }

size_t LiveEntryCount() {
    size_t n = 0;
    for (const ImageEntry& e : state().table) n += e.ImageId != 0;
    return n;
}

// ---------------------------------------------------------------------------
// Frames

std::string SaveFrameToTempFile(const Image& image, const std::string& format) {
    const std::string path = GetTempFileName();
    gdiplus::ByteSink bytes;
    const int32_t saved = format == "TIFF" ? SaveTiff(image, gdiplus::EncoderValueCompressionLZW, 0, bytes)
                                           : SavePng(image, bytes);
    if (path.empty() || saved != 0) return {};
    return kernel::writeTempFile(path, bytes) ? path : std::string();
}

int32_t RegisterFrames(const std::string& sourcePath, int32_t id, int32_t& resultId, FrameStorage tiff,
                       FrameStorage gif) {
    resultId = id;
    ImageEntry* e = FindEntry(id);
    if (!e || !e->GdiImage) return status(Status::Ok);
    const std::string format = e->FormatName;
    if (format != "GIF" && format != "TIFF") return status(Status::Ok);
    uint32_t frames = 0;
    if (e->GdiImage->frameCount(dimensionFor(format), frames) != Status::Ok || frames < 2) return status(Status::Ok);
    const bool keepInOne = (format == "TIFF" ? tiff : gif) == FrameStorage::InOneImage;
    int32_t containerId = id;
    if (!keepInOne) AddImage(containerId, nullptr, format, sourcePath, SourcePlain);
    ImageEntry& c = *FindEntry(containerId);
    sizeFrameArrays(c, static_cast<int32_t>(frames));
    Image& decoded = *FindEntry(id)->GdiImage;
    if (format == "GIF") readGifProperties(decoded, c);
    c.IsMultiFrameGif = format == "GIF";
    c.IsMultiPageTiff = format == "TIFF";
    resultId = containerId;
    if (keepInOne) {
        c.FramesInOneImage = true;
        return format == "TIFF" ? SelectTiffPage(containerId, 0) : SelectGifFrame(containerId, 0);
    }
    int saved = 0;
    for (uint32_t i = 0; i < frames; ++i) {
        Image& source = *FindEntry(id)->GdiImage;
        if (source.selectActiveFrame(dimensionFor(format), i) != Status::Ok) continue;
        const std::string file = SaveFrameToTempFile(source, format);
        if (file.empty()) continue;
        ImageEntry& container = *FindEntry(containerId);
        container.FrameFiles[i] = file;
        container.FrameBitsPerPixel[i] = BitsPerPixelOf(source.pixelFormat());
        ++saved;
    }
    ReleaseImage(id);
    if (saved == 0) {
        ReleaseImage(containerId);
        resultId = 0;
        return status(Status::UnknownImageFormat);
    }
    return format == "TIFF" ? SelectTiffPage(containerId, 0) : SelectGifFrame(containerId, 0);
}

int32_t GetTiffPageCount(int32_t id, int32_t& n) {
    ImageEntry* e = FindEntry(id);
    if (!e || !e->IsMultiPageTiff) return kUnsupportedImageFormat;
    n = e->FrameCount;
    return 0;
}

int32_t GetGifFrameCount(int32_t id, int32_t& n) {
    ImageEntry* e = FindEntry(id);
    if (!e || !e->IsMultiFrameGif) return kUnsupportedImageFormat;
    n = e->FrameCount;
    return 0;
}

bool IsMultiPageTiff(int32_t id) {
    ImageEntry* e = FindEntry(id);
    return e && e->IsMultiPageTiff;
}

bool IsMultiFrameGif(int32_t id) {
    ImageEntry* e = FindEntry(id);
    return e && e->IsMultiFrameGif;
}

bool IsTiffSplit(int32_t id) {
    ImageEntry* e = FindEntry(id);
    return e && e->IsMultiPageTiff && !e->FramesInOneImage;
}

bool IsGifSplit(int32_t id) {
    ImageEntry* e = FindEntry(id);
    return e && e->IsMultiFrameGif && !e->FramesInOneImage;
}

int32_t GetCurrentTiffPage(int32_t id) {
    ImageEntry* e = FindEntry(id);
    if (!e) return 0;
    return e->IsMultiPageTiff ? e->CurrentFrame : -1;
}

int32_t GetCurrentGifFrame(int32_t id) {
    ImageEntry* e = FindEntry(id);
    if (!e) return 0;
    return e->IsMultiFrameGif ? e->CurrentFrame : -1;
}

int32_t SelectTiffPage(int32_t id, int32_t index) { return SelectFrame(id, index, "TIFF"); }
int32_t SelectGifFrame(int32_t id, int32_t index) { return SelectFrame(id, index, "GIF"); }

int32_t SelectFrame(int32_t id, int32_t index, const std::string& format) {
    ImageEntry* e = FindEntry(id);
    if (!e) return status(Status::GenericError);
    if (!hasFrameFlag(*e, format)) return kUnsupportedImageFormat;
    if (index < 0 || index >= e->FrameCount) return status(Status::InvalidParameter);
    int32_t result = 0;
    if (index != e->CurrentFrame) {
        LeaveCurrentFrame(id);
        e = FindEntry(id);
        e->CurrentFrame = index;
        const size_t i = static_cast<size_t>(index);
        if (e->FramesInOneImage && e->SourceKind == SourcePluginBitmap && !e->GdiImage) {
            int32_t child = 0;
            result = LoadPluginPage(id, index, child);
            if (result == 0 && child != 0) FindEntry(id)->FrameImageIds[i] = child;
        } else if (e->FramesInOneImage && e->GdiImage) {
            result = status(e->GdiImage->selectActiveFrame(dimensionFor(format), static_cast<uint32_t>(index)));
        } else if (!e->FramesInOneImage && e->FrameImageIds[i] == 0) {
            const std::string file = e->FrameFiles[i];
            if (file.empty()) {
                result = status(Status::GenericError);
            } else {
                int32_t child = 0;
                result = LoadImageFromFile(child, file);
                if (result == 0) FindEntry(id)->FrameImageIds[i] = child;
            }
        }
    }
    if (result == 0 && format == "GIF") writeGifProperties(id, *FindEntry(id));
    return result;
}

void LeaveCurrentFrame(int32_t id) {
    ImageEntry* e = FindEntry(id);
    if (!e || e->CurrentFrame < 0 || e->CurrentFrame >= e->FrameCount) return;
    const size_t frame = static_cast<size_t>(e->CurrentFrame);
    const int32_t child = e->FrameImageIds[frame];
    if (child == 0) return;
    ImageEntry* c = FindEntry(child);
    if (!e->FramesInOneImage && c && c->Modified && c->GdiImage) {
        const std::string file = SaveFrameToTempFile(*c->GdiImage, e->IsMultiPageTiff ? "TIFF" : "GIF");
        if (!file.empty()) {
            kernel::removeQuietly(e->FrameFiles[frame]);
            e->FrameFiles[frame] = file;
        }
    }
    ReleaseImage(child);
    e = FindEntry(id);
    e->FrameImageIds[frame] = 0;
    e->CurrentFrame = -1;
}

bool GetFrameDelays(int32_t id, std::vector<int32_t>& delays) {
    ImageEntry* e = FindEntry(id);
    if (!e || !e->IsMultiFrameGif) return false;
    delays = e->FrameDelays;
    return true;
}

}  // namespace orrery::imaging::modMain
