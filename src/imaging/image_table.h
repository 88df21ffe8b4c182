// modMain: the image store of the user-interface thread. Every picture a
// control shows is an entry of the ImageTable, named by a random 32-bit
// identifier; the entry owns the image and whatever keeps it alive (plug-in
// bitmaps and pages, a memory block, a pixel buffer, a temporary file, frame
// files). All controls of a thread share the table and the imaging session.
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "imaging/codec_plugin.h"
#include "imaging/plugin_metadata.h"
#include "orrery/quillon_status.h"
#include "platform/gdi/handles.h"
#include "platform/gdiplus/image.h"

namespace orrery::imaging {

enum ImageSourceKind : int32_t {
    SourcePlain = 0,
    SourceGdiDib = 2,
    SourcePluginBitmap = 3,
    SourceHBitmap = 4,
    SourceHIcon = 5,
    SourceFile = 6,
    SourceScan0 = 7,
    SourcePluginPage = 8,
    SourceOwnedBuffer = 9,
};

struct ImageEntry {
    int32_t ImageId = 0;
    int32_t SourceKind = SourcePlain;
    gdi::HGLOBAL GlobalMemory = 0;
    uint8_t* PixelBuffer = nullptr;  // allocated with std::malloc when owned
    std::unique_ptr<gdiplus::Image> GdiImage;
    PluginHandle PluginBitmap = nullptr;  // bitmap, or multi-page handle of a container
    PluginHandle PluginPage = nullptr;
    std::string TempFilePath;
    bool DeleteTempFile = false;
    bool OwnsPixelBuffer = false;
    std::string FormatName;
    bool IsMultiPageTiff = false;
    bool IsMultiFrameGif = false;
    int32_t BitsPerPixel = 0;
    int32_t FrameCount = 0;
    std::vector<std::string> FrameFiles;
    std::vector<int32_t> FrameImageIds;
    std::vector<int32_t> FrameDelays;
    std::vector<int32_t> FrameBitsPerPixel;
    int32_t CurrentFrame = -1;
    bool FramesInOneImage = false;
    int32_t GifLoopCount = 0;
    std::string GifComment;
    std::vector<PluginMetadataTag> PluginMetadata;  // IPTC tags read through the plug-in
    bool Modified = false;
    PluginHandle PluginFileHandle = nullptr;
};

namespace modMain {

// Session. Every control opens it when it initialises and closes it when it
// terminates; the last close releases every entry still in the table.
bool StartGdiPlus();
void ShutdownGdiPlus();
bool IsSessionOpen();
int32_t SessionReferenceCount();
// The message of the last failed start or shutdown ("Error starting GDI+. Err
// no: ..."); the control shows it in a message box.
std::string LastSessionError();
std::string GdiPlusVersion();

// Entries.
int32_t AddImage(int32_t& id, std::unique_ptr<gdiplus::Image> image, const std::string& formatName,
                 const std::string& tempFilePath, ImageSourceKind kind);
int32_t FindImageIndex(int32_t id);
ImageEntry* FindEntry(int32_t id);
gdiplus::Image* GetGdiImage(int32_t id);
int32_t ResolveFrameImageId(int32_t id);
gdiplus::Status ReleaseImage(int32_t id);
void ReleaseAllImages();
int32_t ReplaceImage(int32_t oldId, int32_t newId);
void SetImageFormatName(int32_t id, const std::string& name);
void SetImageTempFile(int32_t id, const std::string& path);
void AttachPluginBitmap(int32_t id, PluginHandle bitmap);
void AttachPluginPage(int32_t id, PluginHandle multi, PluginHandle page);
void AttachGlobalMemory(int32_t id, gdi::HGLOBAL block);
void MarkImageModified(int32_t id);
void ClearImageModified(int32_t id);
// Number of slots of the table, live or free (tests and diagnostics).
size_t TableSize();
size_t LiveEntryCount();

// Frames. A multi-frame GIF or TIFF stays one image, or its frames are split
// into files of their own under a container entry.
enum class FrameStorage { InOneImage, SplitIntoFiles };
int32_t RegisterFrames(const std::string& sourcePath, int32_t id, int32_t& resultId, FrameStorage tiff,
                       FrameStorage gif);
int32_t GetTiffPageCount(int32_t id, int32_t& n);
int32_t GetGifFrameCount(int32_t id, int32_t& n);
bool IsMultiPageTiff(int32_t id);
bool IsMultiFrameGif(int32_t id);
bool IsTiffSplit(int32_t id);
bool IsGifSplit(int32_t id);
int32_t GetCurrentTiffPage(int32_t id);
int32_t GetCurrentGifFrame(int32_t id);
int32_t SelectTiffPage(int32_t id, int32_t index);
int32_t SelectGifFrame(int32_t id, int32_t index);
int32_t SelectFrame(int32_t id, int32_t index, const std::string& format);
void LeaveCurrentFrame(int32_t id);
bool GetFrameDelays(int32_t id, std::vector<int32_t>& delays);

// Saving a frame to a new temporary file: TIFF pages as LZW TIFF, GIF frames
// as PNG. Returns the path, or empty when the image could not be saved.
std::string SaveFrameToTempFile(const gdiplus::Image& image, const std::string& format);

}  // namespace modMain
}  // namespace orrery::imaging
