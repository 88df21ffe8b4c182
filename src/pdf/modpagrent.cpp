#include "pdf/modpagrent.h"

#include <dlfcn.h>

#include <cstdlib>
#include <filesystem>
#include <map>

#include "imaging/image_info.h"
#include "pagrent.h"
#include "platform/gdiplus/pixel_data.h"

namespace orrery::pdf::modpagrent {

namespace {

constexpr const char* kDefaultLibrary = "libpagrent.so";

// Every export of the plug-in, by the name it is bound under.
#define ORRERY_PAGRENT_EXPORTS(X)                                                                       \
    X(BindHost) X(LoadFromFileW) X(HasEncryption) X(SetPasswordW) X(PageCount) X(SelectPage) X(PageWidth) \
        X(PageHeight) X(PageRotation) X(Rasterize) X(GetDescriptionW) X(GetMetadataW) X(Close)

struct Exports {
#define ORRERY_SLOT(name) decltype(&PAGRENT_##name) name = nullptr;
    ORRERY_PAGRENT_EXPORTS(ORRERY_SLOT)
#undef ORRERY_SLOT
};

struct Binding {
    bool attempted = false;
    void* library = nullptr;
    std::string libraryName;
    Exports exports;
};

// --- Page images for the plug-in ----------------------------------------------
// Bitmaps the plug-in asked for on this thread and has not handed back yet,
// by handle. The plug-in calls back on the thread that called it, so the
// image it returns is found here by the same thread.

struct PageBitmaps {
    std::map<int32_t, std::unique_ptr<gdiplus::Image>> images;
    int32_t lastHandle = 0;
};

thread_local PageBitmaps pageBitmaps;

int32_t createBitmap(void*, int32_t width, int32_t height, uint8_t** pixels, int32_t* stride) {
    gdiplus::PixelData data;
    if (gdiplus::PixelData::allocate(width, height, gdiplus::PixelFormat32bppPARGB, data) != gdiplus::Status::Ok)
        return 0;
    // The image keeps the same pixel memory.
    uint8_t* scan0 = data.scan0();
    const ptrdiff_t rowBytes = data.stride();
    std::unique_ptr<gdiplus::Image> image = gdiplus::Image::fromPixels(std::move(data));
    PageBitmaps& table = pageBitmaps;
    if (!image || table.lastHandle == INT32_MAX) return 0;
    const int32_t handle = ++table.lastHandle;
    *pixels = scan0;
    *stride = static_cast<int32_t>(rowBytes);
    table.images.emplace(handle, std::move(image));
    return handle;
}

void disposeBitmap(void*, int32_t bitmap) { pageBitmaps.images.erase(bitmap); }

void bindAll(Binding& b) {
#define ORRERY_BIND(name) \
    b.exports.name = reinterpret_cast<decltype(b.exports.name)>(dlsym(b.library, "PAGRENT_" #name));
    ORRERY_PAGRENT_EXPORTS(ORRERY_BIND)
#undef ORRERY_BIND
}

// A file in the folder of the running program ("" when that is unknown):
// the plug-in installed beside the tool or viewer that uses the control.
std::string besideProgram(const char* name) {
    std::error_code error;
    const std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error || program.empty()) return {};
    return (program.parent_path() / name).string();
}

Binding& bound() {
    static Binding b;
    if (b.attempted) return b;
    b.attempted = true;
    const char* env = std::getenv("ORRERY_PDF_PLUGIN");
    b.libraryName = (env && *env) ? env : kDefaultLibrary;
    if (b.libraryName == "none") return b;
    b.library = dlopen(b.libraryName.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!b.library && b.libraryName == kDefaultLibrary) {
        const std::string beside = besideProgram(kDefaultLibrary);
        if (!beside.empty()) b.library = dlopen(beside.c_str(), RTLD_NOW | RTLD_LOCAL);
    }
    if (!b.library) return b;
    bindAll(b);
    return b;
}

// Hands the plug-in the imaging layer's bitmaps and its current allocation
// limit (which tests may lower), before each document is opened.
void bindHost(const Exports& e) {
    if (!e.BindHost) return;
    const PagrentHost host{sizeof(PagrentHost), nullptr, createBitmap, disposeBitmap,
                           static_cast<uint64_t>(gdiplus::pixelAllocationLimit())};
    e.BindHost(&host);
}

// The bound export, or the run-time fault of a missing library or export.
template <typename F>
F require(F Exports::*slot, const char* name) {
    Binding& b = bound();
    if (!b.library) throw PluginFault("Cannot load the PDF library " + b.libraryName);
    F function = b.exports.*slot;
    if (!function) throw PluginFault(std::string("The PDF library has no function ") + name);
    return function;
}

#define ORRERY_PAGRENT(name) require(&Exports::name, "PAGRENT_" #name)

std::string copyText(const char* text) { return text ? std::string(text) : std::string(); }

}  // namespace

bool IsAvailable() {
    Binding& b = bound();
    bool all = b.library != nullptr;
#define ORRERY_PRESENT(name) all = all && b.exports.name != nullptr;
    ORRERY_PAGRENT_EXPORTS(ORRERY_PRESENT)
#undef ORRERY_PRESENT
    return all;
}

int32_t LoadFromFile(const std::string& path) {
    const auto load = ORRERY_PAGRENT(LoadFromFileW);
    bindHost(bound().exports);
    return load(imaging::Trim(path).c_str());
}

int32_t HasEncryption(int32_t document) { return ORRERY_PAGRENT(HasEncryption)(document); }

int32_t SetPassword(int32_t document, const std::string& password) {
    return ORRERY_PAGRENT(SetPasswordW)(document, imaging::Trim(password).c_str());
}

int32_t PageCount(int32_t document) { return ORRERY_PAGRENT(PageCount)(document); }
int32_t SelectPage(int32_t document, int32_t page) { return ORRERY_PAGRENT(SelectPage)(document, page); }
double PageWidth(int32_t document) { return ORRERY_PAGRENT(PageWidth)(document); }
double PageHeight(int32_t document) { return ORRERY_PAGRENT(PageHeight)(document); }
int32_t PageRotation(int32_t document) { return ORRERY_PAGRENT(PageRotation)(document); }

int32_t Rasterize(int32_t document, double dpi, int32_t& output, int32_t width, int32_t height, int32_t reserved,
                  int16_t drawFormFields) {
    return ORRERY_PAGRENT(Rasterize)(document, dpi, &output, width, height, reserved, drawFormFields);
}

std::string GetDescription(int32_t document, int32_t field) {
    return copyText(ORRERY_PAGRENT(GetDescriptionW)(document, field));
}

std::string GetMetadata(int32_t document) { return copyText(ORRERY_PAGRENT(GetMetadataW)(document)); }

void Close(int32_t document) { ORRERY_PAGRENT(Close)(document); }

#undef ORRERY_PAGRENT

std::unique_ptr<gdiplus::Image> TakePageImage(int32_t bitmap) {
    auto it = pageBitmaps.images.find(bitmap);
    if (it == pageBitmaps.images.end()) return nullptr;
    std::unique_ptr<gdiplus::Image> image = std::move(it->second);
    pageBitmaps.images.erase(it);
    return image;
}

size_t PendingPageImages() { return pageBitmaps.images.size(); }

}  // namespace orrery::pdf::modpagrent
