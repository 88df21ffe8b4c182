// Binding the codec plug-in at run time and the thin, null-safe wrappers over
// its functions (plugin_api.h).
#include "imaging/codec_plugin.h"

#include <dlfcn.h>
#include <sys/stat.h>
#include <tiffio.h>
#include <unistd.h>

#include <array>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>

#include "imaging/codec_worker.h"
#include "imaging/plugin_api.h"
#include "platform/kernel/files.h"

namespace orrery::imaging {

namespace {

constexpr const char* kDefaultLibrary = "libfreeimage.so.3";
constexpr const char* kPrefix = "FreeImage_";

// Names of the published identifiers -1 .. 35, then 100 and 101.
constexpr std::array<const char*, 37> kFormatNames = {
    "UNKNOWN", "BMP", "ICO", "JPEG", "JNG", "KOALA", "LBM", "MNG", "PBM", "PBMRAW",
    "PCD", "PCX", "PGM", "PGMRAW", "PNG", "PPM", "PPMRAW", "RAS", "TARGA", "TIFF",
    "WBMP", "PSD", "CUT", "XBM", "XPM", "DDS", "GIF", "HDR", "FAXG3", "SGI",
    "EXR", "J2K", "JP2", "PFM", "PICT", "RAW", "JBIG"};

// The library numbers its formats like the published table up to 34; its
// 35 and 36 are WebP and JPEG-XR, which the published table numbers from 100
// (its 35 is JBIG, a format the library does not read).
constexpr int kLastSharedFormat = 34;
constexpr int kLibraryFirstExtra = 35;
constexpr int kPublishedFirstExtra = 100;

struct Binding {
    void* library = nullptr;
    plugin::Functions functions{};
    bool loaded = false;  // the environment was read and binding attempted
};

Binding& binding() {
    static Binding b;
    return b;
}

template <typename T>
void bindOne(void* library, T& member, const char* name) {
    std::string symbol = std::string(kPrefix) + name;
    member = reinterpret_cast<T>(dlsym(library, symbol.c_str()));
}

void bindAll(void* lib, plugin::Functions& f) {
#define ORRERY_BIND(name) bindOne(lib, f.name, #name)
    ORRERY_BIND(GetVersion);
    ORRERY_BIND(SetOutputMessage);
    ORRERY_BIND(GetFileType);
    ORRERY_BIND(GetFileTypeFromHandle);
    ORRERY_BIND(GetFIFFromFilename);
    ORRERY_BIND(FIFSupportsNoPixels);
    ORRERY_BIND(OpenMultiBitmapFromHandle);
    ORRERY_BIND(GetPageCount);
    ORRERY_BIND(LockPage);
    ORRERY_BIND(UnlockPage);
    ORRERY_BIND(CloseMultiBitmap);
    ORRERY_BIND(Load);
    ORRERY_BIND(LoadFromHandle);
    ORRERY_BIND(Unload);
    ORRERY_BIND(Save);
    ORRERY_BIND(SaveToHandle);
    ORRERY_BIND(FIFSupportsWriting);
    ORRERY_BIND(FIFSupportsExportBPP);
    ORRERY_BIND(GetWidth);
    ORRERY_BIND(GetHeight);
    ORRERY_BIND(GetPitch);
    ORRERY_BIND(GetBits);
    ORRERY_BIND(GetBPP);
    ORRERY_BIND(GetColorType);
    ORRERY_BIND(GetImageType);
    ORRERY_BIND(GetTransparencyCount);
    ORRERY_BIND(IsTransparent);
    ORRERY_BIND(GetColorsUsed);
    ORRERY_BIND(GetPalette);
    ORRERY_BIND(GetInfoHeader);
    ORRERY_BIND(GetRedMask);
    ORRERY_BIND(GetGreenMask);
    ORRERY_BIND(GetBlueMask);
    ORRERY_BIND(GetDotsPerMeterX);
    ORRERY_BIND(GetDotsPerMeterY);
    ORRERY_BIND(SetDotsPerMeterX);
    ORRERY_BIND(SetDotsPerMeterY);
    ORRERY_BIND(ConvertTo24Bits);
    ORRERY_BIND(ConvertTo32Bits);
    ORRERY_BIND(ConvertToGreyscale);
    ORRERY_BIND(ConvertToType);
    ORRERY_BIND(TmoReinhard05);
    ORRERY_BIND(FlipVertical);
    ORRERY_BIND(Invert);
    ORRERY_BIND(ConvertFromRawBits);
    ORRERY_BIND(SetTransparentIndex);
    ORRERY_BIND(GetMetadataCount);
    ORRERY_BIND(FindFirstMetadata);
    ORRERY_BIND(FindNextMetadata);
    ORRERY_BIND(FindCloseMetadata);
    ORRERY_BIND(GetTagKey);
    ORRERY_BIND(GetTagDescription);
    ORRERY_BIND(GetTagID);
    ORRERY_BIND(GetTagType);
    ORRERY_BIND(GetTagCount);
    ORRERY_BIND(GetTagLength);
    ORRERY_BIND(GetTagValue);
    ORRERY_BIND(CreateTag);
    ORRERY_BIND(DeleteTag);
    ORRERY_BIND(SetTagKey);
    ORRERY_BIND(SetTagLength);
    ORRERY_BIND(SetTagCount);
    ORRERY_BIND(SetTagType);
    ORRERY_BIND(SetTagID);
    ORRERY_BIND(SetTagValue);
    ORRERY_BIND(SetMetadata);
#undef ORRERY_BIND
}

// The library reports decoding problems through this hook; the loaders turn
// failures into statuses, so the messages are dropped rather than printed.
void ignoreMessage(int, const char*) {}

// The plug-in the environment names; "none" switches it off.
std::string pluginNameFromEnvironment() {
    const char* env = std::getenv("ORRERY_CODEC_PLUGIN");
    return (env && *env) ? env : kDefaultLibrary;
}

void bindFromEnvironment(Binding& b) {
    b.loaded = true;
    const std::string name = pluginNameFromEnvironment();
    if (name == "none") return;
    void* lib = dlopen(name.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!lib) return;
    b.library = lib;
    bindAll(lib, b.functions);
    if (b.functions.SetOutputMessage) b.functions.SetOutputMessage(ignoreMessage);
    // The plug-in reads TIFF through the same libtiff as the imaging layer
    // but without handlers of its own, so libtiff's process-wide handlers
    // would print its complaints (unknown EXIF tags, ...) on stderr. The
    // imaging layer's TIFF codec installs handlers per file and does not
    // rely on these.
    TIFFSetErrorHandler(nullptr);
    TIFFSetWarningHandler(nullptr);
}

Binding& boundOnce() {
    Binding& b = binding();
    if (!b.loaded) bindFromEnvironment(b);
    return b;
}

// "3.18.0" -> "3.18.0.0": the leading number of up to four dot-separated
// parts, missing parts 0.
std::string fourPartVersion(const char* text) {
    std::array<long, 4> parts{0, 0, 0, 0};
    const char* p = text ? text : "";
    for (size_t i = 0; i < parts.size() && *p; ++i) {
        char* end = nullptr;
        parts[i] = std::strtol(p, &end, 10);
        if (end == p) break;
        p = end;
        if (*p != '.') break;
        ++p;
    }
    return std::to_string(parts[0]) + "." + std::to_string(parts[1]) + "." + std::to_string(parts[2]) +
           "." + std::to_string(parts[3]);
}

}  // namespace

std::string pluginFormatName(int format) {
    if (format >= -1 && format <= 35) return kFormatNames[static_cast<size_t>(format + 1)];
    if (format == PluginFormat::WEBP) return "WEBP";
    if (format == PluginFormat::JXR) return "JXR";
    return "";
}

int pluginFormatOfPath(const std::string& path) {
    const size_t dot = path.find_last_of("./");
    if (dot == std::string::npos || path[dot] != '.') return PluginFormat::Unknown;
    std::string extension = path.substr(dot + 1);
    for (char& c : extension) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    static const std::pair<const char*, const char*> kAliases[] = {
        {"JPG", "JPEG"}, {"JPE", "JPEG"}, {"TIF", "TIFF"}, {"TGA", "TARGA"}};
    for (const auto& [alias, name] : kAliases)
        if (extension == alias) extension = name;
    for (int format : {PluginFormat::WEBP, PluginFormat::JXR})
        if (extension == pluginFormatName(format)) return format;
    for (int format = 0; !pluginFormatName(format).empty(); ++format)
        if (extension == pluginFormatName(format)) return format;
    return PluginFormat::Unknown;
}

std::string PluginVersion() {
    // Switched off, there is nothing for a worker to load: none is started.
    if (codecSandboxEnabled()) return pluginNameFromEnvironment() == "none" ? "Undefined" : workerPluginVersion();
    const Binding& b = boundOnce();
    if (!b.library) return "Undefined";
    if (!b.functions.GetVersion) return "Unknown";
    return fourPartVersion(b.functions.GetVersion());
}

bool IsPluginAvailable() {
    const std::string version = PluginVersion();
    return std::strtol(version.c_str(), nullptr, 10) != 0;
}

// Handles that came through the worker are the host's own objects; the
// others are the bound library's.
void pluginUnload(PluginHandle bitmap) {
    if (!releaseWorkerHandle(bitmap)) plugin::Unload(bitmap);
}
void pluginCloseMultiBitmap(PluginHandle multi) {
    if (!releaseWorkerHandle(multi)) plugin::CloseMultiBitmap(multi);
}
void pluginUnlockPage(PluginHandle multi, PluginHandle page) { plugin::UnlockPage(multi, page); }
void pluginCloseFileHandle(PluginHandle file) { plugin::CloseFileHandle(file); }

namespace plugin {

namespace {

FIBITMAP* bmp(PluginHandle h) { return static_cast<FIBITMAP*>(h); }
FIMULTIBITMAP* multiOf(PluginHandle h) { return static_cast<FIMULTIBITMAP*>(h); }

// The plug-in reads and writes files through callbacks over a descriptor and a
// position of its own (pread), so that several readers of one descriptor
// never move each other's position and nothing is opened by name.
struct FdCursor {
    int fd = -1;
    int64_t position = 0;
};

FdCursor* readerOf(fi_handle handle) { return static_cast<FdCursor*>(handle); }

unsigned readFile(void* buffer, unsigned size, unsigned count, fi_handle handle) {
    FdCursor* r = readerOf(handle);
    if (size == 0 || count == 0) return 0;
    const size_t wanted = size_t{size} * count;
    size_t done = 0;
    while (done < wanted) {
        const ssize_t n = ::pread(r->fd, static_cast<uint8_t*>(buffer) + done, wanted - done, r->position);
        if (n <= 0) break;
        done += static_cast<size_t>(n);
        r->position += n;
    }
    return static_cast<unsigned>(done / size);
}
unsigned writeFile(void*, unsigned, unsigned, fi_handle) { return 0; }
// Writing for SaveTo: positioned writes at the handle's own position.
unsigned writeFileAt(void* buffer, unsigned size, unsigned count, fi_handle handle) {
    FdCursor* w = readerOf(handle);
    if (size == 0 || count == 0) return 0;
    const size_t wanted = size_t{size} * count;
    size_t done = 0;
    while (done < wanted) {
        const ssize_t n = ::pwrite(w->fd, static_cast<const uint8_t*>(buffer) + done, wanted - done, w->position);
        if (n <= 0) break;
        done += static_cast<size_t>(n);
        w->position += n;
    }
    return static_cast<unsigned>(done / size);
}
int seekFile(fi_handle handle, long offset, int origin) {
    FdCursor* r = readerOf(handle);
    int64_t base = 0;
    if (origin == SEEK_CUR) {
        base = r->position;
    } else if (origin == SEEK_END) {
        struct stat st {};
        if (::fstat(r->fd, &st) != 0) return -1;
        base = st.st_size;
    } else if (origin != SEEK_SET) {
        return -1;
    }
    if (offset < 0 && base < -static_cast<int64_t>(offset)) return -1;
    r->position = base + offset;
    return 0;
}
long tellFile(fi_handle handle) { return static_cast<long>(readerOf(handle)->position); }

FreeImageIO fileIo = {readFile, writeFile, seekFile, tellFile};
FreeImageIO saveIo = {readFile, writeFileAt, seekFile, tellFile};

}  // namespace

const Functions* functions() {
    const Binding& b = boundOnce();
    return b.library ? &b.functions : nullptr;
}

void reloadCodecPluginForTesting() {
    stopCodecWorker();
    Binding& b = binding();
    void* old = b.library;
    b = Binding{};
    bindFromEnvironment(b);
    // Close the old binding after the new one is open, so that binding the
    // same library again does not unload and reinitialise it.
    if (old) dlclose(old);
}

int toPublishedFormat(int libraryFormat) {
    if (libraryFormat < -1) return -1;
    if (libraryFormat <= kLastSharedFormat) return libraryFormat;
    return libraryFormat - kLibraryFirstExtra + kPublishedFirstExtra;
}

int toLibraryFormat(int publishedFormat) {
    if (publishedFormat >= -1 && publishedFormat <= kLastSharedFormat) return publishedFormat;
    if (publishedFormat >= kPublishedFirstExtra) return publishedFormat - kPublishedFirstExtra + kLibraryFirstExtra;
    return -1;
}

int dpmToDpi(unsigned dotsPerMeter) { return static_cast<int>(std::floor(dotsPerMeter * 0.0254 + 0.5)); }

unsigned dpiToDpm(double dotsPerInch) {
    if (!(dotsPerInch > 0)) return 0;
    return static_cast<unsigned>(std::floor(dotsPerInch / 0.0254 + 0.5));
}

int GetFileType(const std::string& path) {
    const Functions* f = functions();
    if (!f || !f->GetFileType) return -1;
    return toPublishedFormat(f->GetFileType(path.c_str(), 0));
}

int GetFIFFromFilename(const std::string& path) {
    const Functions* f = functions();
    if (!f || !f->GetFIFFromFilename) return -1;
    return toPublishedFormat(f->GetFIFFromFilename(path.c_str()));
}

int GetFileTypeOf(int fd) {
    const Functions* f = functions();
    if (!f || !f->GetFileTypeFromHandle || fd < 0) return -1;
    FdCursor reader{fd, 0};
    return toPublishedFormat(f->GetFileTypeFromHandle(&fileIo, &reader, 0));
}

PluginHandle OpenFile(const std::string& path) {
    kernel::UniqueFd fd;
    if (kernel::openRegularFile(path, fd) != kernel::OpenError::None) return nullptr;
    return new FdCursor{fd.release(), 0};
}

PluginHandle OpenFileDescriptor(int fd) {
    struct stat st {};
    if (fd < 0 || ::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) return nullptr;
    const int copy = ::fcntl(fd, F_DUPFD_CLOEXEC, 0);
    if (copy < 0) return nullptr;
    return new FdCursor{copy, 0};
}

int FileDescriptorOf(PluginHandle file) { return file ? readerOf(file)->fd : -1; }

void CloseFileHandle(PluginHandle file) {
    if (!file) return;
    ::close(readerOf(file)->fd);
    delete readerOf(file);
}

PluginHandle OpenMultiBitmap(int format, int flags, PluginHandle file) {
    const Functions* f = functions();
    const int fif = toLibraryFormat(format);
    if (!f || !f->OpenMultiBitmapFromHandle || !file || fif < 0) return nullptr;
    return f->OpenMultiBitmapFromHandle(fif, &fileIo, file, flags);
}

int GetPageCount(PluginHandle multi) {
    const Functions* f = functions();
    if (!f || !f->GetPageCount || !multi) return 0;
    return f->GetPageCount(multiOf(multi));
}

PluginHandle LockPage(PluginHandle multi, int index) {
    const Functions* f = functions();
    if (!f || !f->LockPage || !multi) return nullptr;
    return f->LockPage(multiOf(multi), index);
}

void UnlockPage(PluginHandle multi, PluginHandle page) {
    const Functions* f = functions();
    if (f && f->UnlockPage && multi && page) f->UnlockPage(multiOf(multi), bmp(page), 0);
}

void CloseMultiBitmap(PluginHandle multi) {
    const Functions* f = functions();
    if (f && f->CloseMultiBitmap && multi) f->CloseMultiBitmap(multiOf(multi), 0);
}

PluginHandle Load(int format, const std::string& path, int flags) {
    const Functions* f = functions();
    const int fif = toLibraryFormat(format);
    if (!f || !f->Load || fif < 0) return nullptr;
    return f->Load(fif, path.c_str(), flags);
}

PluginHandle LoadFrom(int format, int fd, int flags) {
    const Functions* f = functions();
    const int fif = toLibraryFormat(format);
    if (!f || !f->LoadFromHandle || fif < 0 || fd < 0) return nullptr;
    FdCursor reader{fd, 0};
    return f->LoadFromHandle(fif, &fileIo, &reader, flags);
}

bool SupportsHeaderOnly(int format) {
    const Functions* f = functions();
    const int fif = toLibraryFormat(format);
    return f && f->FIFSupportsNoPixels && fif >= 0 && f->FIFSupportsNoPixels(fif) != 0;
}

void Unload(PluginHandle bitmap) {
    const Functions* f = functions();
    if (f && f->Unload && bitmap) f->Unload(bmp(bitmap));
}

bool Save(int format, PluginHandle bitmap, const std::string& path, int flags) {
    const Functions* f = functions();
    const int fif = toLibraryFormat(format);
    if (!f || !f->Save || !bitmap || fif < 0) return false;
    return f->Save(fif, bmp(bitmap), path.c_str(), flags) != 0;
}

bool SaveTo(int format, PluginHandle bitmap, int fd, int flags) {
    const Functions* f = functions();
    const int fif = toLibraryFormat(format);
    if (!f || !f->SaveToHandle || !bitmap || fif < 0 || fd < 0) return false;
    FdCursor writer{fd, 0};
    return f->SaveToHandle(fif, bmp(bitmap), &saveIo, &writer, flags) != 0;
}

bool CanSave(int format, int bpp) {
    const Functions* f = functions();
    const int fif = toLibraryFormat(format);
    if (!f || !f->FIFSupportsWriting || !f->FIFSupportsExportBPP || fif < 0) return false;
    return f->FIFSupportsWriting(fif) != 0 && f->FIFSupportsExportBPP(fif, bpp) != 0;
}

// A fact of a bitmap through `fn`, or `fallback` when anything is missing.
#define ORRERY_FACT(fn, fallback)                          \
    const Functions* f = functions();                      \
    if (!f || !f->fn || !bitmap) return fallback;          \
    return static_cast<decltype(fallback)>(f->fn(bmp(bitmap)))

int GetWidth(PluginHandle bitmap) { ORRERY_FACT(GetWidth, 0); }
int GetHeight(PluginHandle bitmap) { ORRERY_FACT(GetHeight, 0); }
int GetPitch(PluginHandle bitmap) { ORRERY_FACT(GetPitch, 0); }
int GetBPP(PluginHandle bitmap) { ORRERY_FACT(GetBPP, 0); }
int GetColorType(PluginHandle bitmap) { ORRERY_FACT(GetColorType, -1); }
int GetImageType(PluginHandle bitmap) { ORRERY_FACT(GetImageType, 0); }
int GetTransparencyCount(PluginHandle bitmap) { ORRERY_FACT(GetTransparencyCount, 0); }
int GetColorsUsed(PluginHandle bitmap) { ORRERY_FACT(GetColorsUsed, 0); }
uint8_t* GetBits(PluginHandle bitmap) { ORRERY_FACT(GetBits, static_cast<uint8_t*>(nullptr)); }
const RgbQuad* GetPalette(PluginHandle bitmap) {
    ORRERY_FACT(GetPalette, static_cast<const RgbQuad*>(nullptr));
}
const BitmapInfoHeader* GetInfoHeader(PluginHandle bitmap) {
    ORRERY_FACT(GetInfoHeader, static_cast<const BitmapInfoHeader*>(nullptr));
}
bool IsTransparent(PluginHandle bitmap) {
    const Functions* f = functions();
    return f && f->IsTransparent && bitmap && f->IsTransparent(bmp(bitmap)) != 0;
}
int GetDotsPerInchX(PluginHandle bitmap) {
    const Functions* f = functions();
    if (!f || !f->GetDotsPerMeterX || !bitmap) return 0;
    return dpmToDpi(f->GetDotsPerMeterX(bmp(bitmap)));
}
int GetDotsPerInchY(PluginHandle bitmap) {
    const Functions* f = functions();
    if (!f || !f->GetDotsPerMeterY || !bitmap) return 0;
    return dpmToDpi(f->GetDotsPerMeterY(bmp(bitmap)));
}
#undef ORRERY_FACT

bool HasMasks565(PluginHandle bitmap) {
    const Functions* f = functions();
    if (!f || !f->GetGreenMask || !bitmap) return false;
    return f->GetGreenMask(bmp(bitmap)) == 0x07E0;
}

void SetDotsPerInch(PluginHandle bitmap, double dpiX, double dpiY) {
    const Functions* f = functions();
    if (!f || !bitmap) return;
    if (f->SetDotsPerMeterX) f->SetDotsPerMeterX(bmp(bitmap), dpiToDpm(dpiX));
    if (f->SetDotsPerMeterY) f->SetDotsPerMeterY(bmp(bitmap), dpiToDpm(dpiY));
}

#define ORRERY_CONVERT(fn, ...)                   \
    const Functions* f = functions();             \
    if (!f || !f->fn || !bitmap) return nullptr;  \
    return f->fn(bmp(bitmap) __VA_OPT__(, ) __VA_ARGS__)

PluginHandle ConvertTo24Bits(PluginHandle bitmap) { ORRERY_CONVERT(ConvertTo24Bits); }
PluginHandle ConvertTo32Bits(PluginHandle bitmap) { ORRERY_CONVERT(ConvertTo32Bits); }
PluginHandle ConvertToGreyscale(PluginHandle bitmap) { ORRERY_CONVERT(ConvertToGreyscale); }
PluginHandle ConvertToStandardType(PluginHandle bitmap) { ORRERY_CONVERT(ConvertToType, ImageType::Bitmap, 1); }
PluginHandle TmoReinhard05(PluginHandle bitmap, double intensity, double contrast) {
    ORRERY_CONVERT(TmoReinhard05, intensity, contrast);
}
#undef ORRERY_CONVERT

bool FlipVertical(PluginHandle bitmap) {
    const Functions* f = functions();
    return f && f->FlipVertical && bitmap && f->FlipVertical(bmp(bitmap)) != 0;
}

bool Invert(PluginHandle bitmap) {
    const Functions* f = functions();
    return f && f->Invert && bitmap && f->Invert(bmp(bitmap)) != 0;
}

}  // namespace plugin
}  // namespace orrery::imaging
