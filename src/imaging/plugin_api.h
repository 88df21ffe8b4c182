// The codec plug-in's operations as the imaging code calls them. The library
// is bound once per process with dlopen; every operation checks that its
// function was found and answers with the plug-in's failure value (null, 0,
// false, -1) when it was not, so a partial or foreign library never crashes
// the caller. Format numbers are the published identifiers of
// codec_plugin.h; the library's own numbers never leave codec_plugin.cpp.
#pragma once
#include <cstdint>
#include <string>

#include "imaging/codec_plugin.h"

namespace orrery::imaging::plugin {

// The library's C types, declared here so that no header of it is needed.
extern "C" {
struct FIBITMAP;
struct FIMULTIBITMAP;
struct FITAG;
struct FIMETADATA;
using fi_handle = void*;
using FI_ReadProc = unsigned (*)(void* buffer, unsigned size, unsigned count, fi_handle handle);
using FI_WriteProc = unsigned (*)(void* buffer, unsigned size, unsigned count, fi_handle handle);
using FI_SeekProc = int (*)(fi_handle handle, long offset, int origin);
using FI_TellProc = long (*)(fi_handle handle);
struct FreeImageIO {
    FI_ReadProc read_proc;
    FI_WriteProc write_proc;
    FI_SeekProc seek_proc;
    FI_TellProc tell_proc;
};
using FI_OutputMessage = void (*)(int format, const char* message);
}

// Image types of the plug-in (FREE_IMAGE_TYPE).
namespace ImageType {
inline constexpr int Unknown = 0;
inline constexpr int Bitmap = 1;
inline constexpr int UInt16 = 2;
inline constexpr int RGB16 = 9;
inline constexpr int RGBA16 = 10;
inline constexpr int RGBF = 11;
inline constexpr int RGBAF = 12;
}  // namespace ImageType

// Colour types (FREE_IMAGE_COLOR_TYPE); 0 is "minimum is white".
namespace ColorType {
inline constexpr int MinIsWhite = 0;
inline constexpr int MinIsBlack = 1;
inline constexpr int RGB = 2;
inline constexpr int Palette = 3;
inline constexpr int RGBAlpha = 4;
inline constexpr int CMYK = 5;
}  // namespace ColorType

// Metadata models (FREE_IMAGE_MDMODEL).
namespace MetadataModel {
inline constexpr int Comments = 0;
inline constexpr int ExifMain = 1;
inline constexpr int ExifExif = 2;
inline constexpr int ExifGps = 3;
inline constexpr int Iptc = 6;
inline constexpr int Xmp = 7;
}  // namespace MetadataModel

// Flags.
inline constexpr int kTiffSaveLzw = 0x4000;
inline constexpr int kTiffLoadColorManaged = 1;
// ICO: icons below 32 bits get an alpha channel from their AND mask.
inline constexpr int kIcoLoadMaskAsAlpha = 1;
// Load only the header (size, depth, metadata), for formats that support it.
inline constexpr int kLoadHeaderOnly = 0x8000;

// BITMAPINFOHEADER as the plug-in returns it from GetInfoHeader.
struct BitmapInfoHeader {
    uint32_t biSize;
    int32_t biWidth;
    int32_t biHeight;
    uint16_t biPlanes;
    uint16_t biBitCount;
    uint32_t biCompression;
    uint32_t biSizeImage;
    int32_t biXPelsPerMeter;
    int32_t biYPelsPerMeter;
    uint32_t biClrUsed;
    uint32_t biClrImportant;
};

// One palette entry in the plug-in's layout (blue, green, red, reserved).
struct RgbQuad {
    uint8_t blue, green, red, reserved;
};

// The functions bound from the library; a member is null when the library
// does not export it.
struct Functions {
    const char* (*GetVersion)();
    void (*SetOutputMessage)(FI_OutputMessage);
    int (*GetFileType)(const char* path, int size);
    int (*GetFileTypeFromHandle)(FreeImageIO* io, fi_handle handle, int size);
    int (*GetFIFFromFilename)(const char* path);
    int (*FIFSupportsNoPixels)(int format);
    FIMULTIBITMAP* (*OpenMultiBitmapFromHandle)(int format, FreeImageIO* io, fi_handle handle, int flags);
    int (*GetPageCount)(FIMULTIBITMAP*);
    FIBITMAP* (*LockPage)(FIMULTIBITMAP*, int page);
    void (*UnlockPage)(FIMULTIBITMAP*, FIBITMAP* page, int changed);
    int (*CloseMultiBitmap)(FIMULTIBITMAP*, int flags);
    FIBITMAP* (*Load)(int format, const char* path, int flags);
    FIBITMAP* (*LoadFromHandle)(int format, FreeImageIO* io, fi_handle handle, int flags);
    void (*Unload)(FIBITMAP*);
    int (*Save)(int format, FIBITMAP*, const char* path, int flags);
    int (*SaveToHandle)(int format, FIBITMAP*, FreeImageIO* io, fi_handle handle, int flags);
    int (*FIFSupportsWriting)(int format);
    int (*FIFSupportsExportBPP)(int format, int bpp);
    unsigned (*GetWidth)(FIBITMAP*);
    unsigned (*GetHeight)(FIBITMAP*);
    unsigned (*GetPitch)(FIBITMAP*);
    uint8_t* (*GetBits)(FIBITMAP*);
    unsigned (*GetBPP)(FIBITMAP*);
    int (*GetColorType)(FIBITMAP*);
    int (*GetImageType)(FIBITMAP*);
    unsigned (*GetTransparencyCount)(FIBITMAP*);
    int (*IsTransparent)(FIBITMAP*);
    unsigned (*GetColorsUsed)(FIBITMAP*);
    RgbQuad* (*GetPalette)(FIBITMAP*);
    BitmapInfoHeader* (*GetInfoHeader)(FIBITMAP*);
    unsigned (*GetRedMask)(FIBITMAP*);
    unsigned (*GetGreenMask)(FIBITMAP*);
    unsigned (*GetBlueMask)(FIBITMAP*);
    unsigned (*GetDotsPerMeterX)(FIBITMAP*);
    unsigned (*GetDotsPerMeterY)(FIBITMAP*);
    void (*SetDotsPerMeterX)(FIBITMAP*, unsigned);
    void (*SetDotsPerMeterY)(FIBITMAP*, unsigned);
    FIBITMAP* (*ConvertTo24Bits)(FIBITMAP*);
    FIBITMAP* (*ConvertTo32Bits)(FIBITMAP*);
    FIBITMAP* (*ConvertToGreyscale)(FIBITMAP*);
    FIBITMAP* (*ConvertToType)(FIBITMAP*, int type, int scaleLinear);
    FIBITMAP* (*TmoReinhard05)(FIBITMAP*, double intensity, double contrast);
    int (*FlipVertical)(FIBITMAP*);
    int (*Invert)(FIBITMAP*);
    FIBITMAP* (*ConvertFromRawBits)(uint8_t* bits, int width, int height, int pitch, unsigned bpp,
                                    unsigned redMask, unsigned greenMask, unsigned blueMask, int topDown);
    void (*SetTransparentIndex)(FIBITMAP*, int index);
    unsigned (*GetMetadataCount)(int model, FIBITMAP*);
    FIMETADATA* (*FindFirstMetadata)(int model, FIBITMAP*, FITAG** tag);
    int (*FindNextMetadata)(FIMETADATA*, FITAG** tag);
    void (*FindCloseMetadata)(FIMETADATA*);
    const char* (*GetTagKey)(FITAG*);
    const char* (*GetTagDescription)(FITAG*);
    uint16_t (*GetTagID)(FITAG*);
    int (*GetTagType)(FITAG*);
    uint32_t (*GetTagCount)(FITAG*);
    uint32_t (*GetTagLength)(FITAG*);
    const void* (*GetTagValue)(FITAG*);
    FITAG* (*CreateTag)();
    void (*DeleteTag)(FITAG*);
    int (*SetTagKey)(FITAG*, const char*);
    int (*SetTagLength)(FITAG*, uint32_t);
    int (*SetTagCount)(FITAG*, uint32_t);
    int (*SetTagType)(FITAG*, int);
    int (*SetTagID)(FITAG*, uint16_t);
    int (*SetTagValue)(FITAG*, const void*);
    int (*SetMetadata)(int model, FIBITMAP*, const char* key, FITAG*);
};

// The bound functions, or null when no library could be bound (absent, or
// ORRERY_CODEC_PLUGIN is "none").
const Functions* functions();

// Binds the library again from the current value of ORRERY_CODEC_PLUGIN.
// For tests that switch between a present and an absent plug-in: every
// plug-in handle must have been released before.
void reloadCodecPluginForTesting();

// Format identifiers: between the library's numbers and the published ones.
int toPublishedFormat(int libraryFormat);
int toLibraryFormat(int publishedFormat);  // -1 when the library has no such format

// Resolution: dots per metre to dots per inch and back, rounded half up.
int dpmToDpi(unsigned dotsPerMeter);
unsigned dpiToDpm(double dotsPerInch);

// Type detection; -1 when unknown. The descriptor is read from its start
// whatever its position.
int GetFileType(const std::string& path);
int GetFileTypeOf(int fd);
int GetFIFFromFilename(const std::string& path);

// Reading. A file handle is an open regular file that the multi-page handle
// reads through; it must outlive the multi-page handle. OpenFileDescriptor
// takes a duplicate of `fd`; both give null when the file is not a regular
// file that can be read.
PluginHandle OpenFile(const std::string& path);
PluginHandle OpenFileDescriptor(int fd);
// The descriptor of a file handle, -1 for null.
int FileDescriptorOf(PluginHandle file);
void CloseFileHandle(PluginHandle file);
PluginHandle OpenMultiBitmap(int format, int flags, PluginHandle file);  // read-only
int GetPageCount(PluginHandle multi);
PluginHandle LockPage(PluginHandle multi, int index);
void UnlockPage(PluginHandle multi, PluginHandle page);  // without saving
void CloseMultiBitmap(PluginHandle multi);               // without saving
PluginHandle Load(int format, const std::string& path, int flags);
PluginHandle LoadFrom(int format, int fd, int flags);
// True when Load with kLoadHeaderOnly reads `format` without its pixels.
bool SupportsHeaderOnly(int format);
void Unload(PluginHandle bitmap);
bool Save(int format, PluginHandle bitmap, const std::string& path, int flags);
// Writes the bitmap into `fd` from its start with positioned writes (nothing
// is opened by name); false when the plug-in refuses or a write fails.
bool SaveTo(int format, PluginHandle bitmap, int fd, int flags);
// True when the plug-in writes `format` from bitmaps of `bpp` bits.
bool CanSave(int format, int bpp);

// Facts of a bitmap; 0 (or null) for a null bitmap or a missing function.
int GetWidth(PluginHandle bitmap);
int GetHeight(PluginHandle bitmap);
int GetPitch(PluginHandle bitmap);
uint8_t* GetBits(PluginHandle bitmap);
int GetBPP(PluginHandle bitmap);
int GetColorType(PluginHandle bitmap);  // -1 when unknown
int GetImageType(PluginHandle bitmap);
int GetTransparencyCount(PluginHandle bitmap);
bool IsTransparent(PluginHandle bitmap);
int GetColorsUsed(PluginHandle bitmap);
const RgbQuad* GetPalette(PluginHandle bitmap);
const BitmapInfoHeader* GetInfoHeader(PluginHandle bitmap);
bool HasMasks565(PluginHandle bitmap);
int GetDotsPerInchX(PluginHandle bitmap);
int GetDotsPerInchY(PluginHandle bitmap);
void SetDotsPerInch(PluginHandle bitmap, double dpiX, double dpiY);

// Conversions: a new bitmap, null on failure; the source is left alone.
PluginHandle ConvertTo24Bits(PluginHandle bitmap);
PluginHandle ConvertTo32Bits(PluginHandle bitmap);
PluginHandle ConvertToGreyscale(PluginHandle bitmap);
PluginHandle ConvertToStandardType(PluginHandle bitmap);  // linear scaling
PluginHandle TmoReinhard05(PluginHandle bitmap, double intensity, double contrast);
// In place; false on failure.
bool FlipVertical(PluginHandle bitmap);
bool Invert(PluginHandle bitmap);

}  // namespace orrery::imaging::plugin
