#include "imaging/image_info.h"

#include <sys/stat.h>

#include <chrono>
#include <cstdlib>
#include <random>

#include "imaging/codec_plugin.h"
#include "platform/kernel/files.h"

namespace orrery::imaging {

using gdiplus::Guid;
namespace ImageFormat = gdiplus::ImageFormat;

std::string FormatNameFromRawFormat(const Guid& rawFormat) {
    static const struct {
        Guid id;
        const char* name;
    } table[] = {
        {ImageFormat::Undefined, "UNKNOWN"}, {ImageFormat::MemoryBMP, "Memory BMP"},
        {ImageFormat::BMP, "BMP"},           {ImageFormat::EMF, "EMF"},
        {ImageFormat::WMF, "WMF"},           {ImageFormat::JPEG, "JPEG"},
        {ImageFormat::PNG, "PNG"},           {ImageFormat::GIF, "GIF"},
        {ImageFormat::TIFF, "TIFF"},         {ImageFormat::EXIF, "EXIF"},
        {ImageFormat::Icon, "ICON"},
    };
    for (const auto& row : table)
        if (row.id == rawFormat) return row.name;
    return "Undefined";
}

int32_t BitsPerPixelOf(int32_t pixelFormat) {
    return gdiplus::isValidPixelFormat(pixelFormat)
               ? gdiplus::bitsPerPixel(static_cast<gdiplus::PixelFormat>(pixelFormat))
               : 0;
}

namespace {

std::string environment(const char* name) {
    const char* v = std::getenv(name);
    return v ? Trim(v) : std::string();
}

std::mt19937_64& generator() {
    thread_local std::mt19937_64 rng(
        std::random_device{}() ^
        static_cast<uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count()));
    return rng;
}

}  // namespace

std::string Trim(const std::string& text) {
    const char* blanks = " \t\r\n";
    const size_t first = text.find_first_not_of(blanks);
    if (first == std::string::npos) return {};
    return text.substr(first, text.find_last_not_of(blanks) - first + 1);
}

std::string GetTempFolder() {
    std::string folder = environment("tmp");
    if (folder.empty()) folder = environment("temp");
    if (folder.empty()) folder = environment("TMPDIR");
    if (folder.empty()) folder = "/tmp";
    if (folder.back() != '/') folder += '/';
    return folder;
}

std::string GetPrivateTempFolder() { return kernel::privateTempFolder(GetTempFolder()); }

std::string GetTempFileName() {
    const std::string folder = GetPrivateTempFolder();
    if (folder.empty()) return {};
    std::uniform_int_distribution<uint32_t> digits(0, 99999999);
    for (;;) {
        std::string candidate = folder + std::to_string(digits(generator()));
        struct stat st;
        if (::lstat(candidate.c_str(), &st) != 0) return candidate;
    }
}

std::string NormalizePath(const std::string& path) {
    std::string p = Trim(path);
    for (char& c : p)
        if (c == '\\') c = '/';
    if (p.size() <= 3) return p;
    while (p.size() > 2 && p.compare(0, 3, "///") == 0) p.erase(0, 1);
    std::string out = p.substr(0, 2);
    for (size_t i = 2; i < p.size(); ++i) {
        if (p[i] == '/' && out.size() > 2 && out.back() == '/') continue;
        out += p[i];
    }
    return out;
}

std::string FileExistsPath(const std::string& path) {
    kernel::UniqueFd fd;
    return kernel::openRegularFile(path, fd) == kernel::OpenError::None ? path : std::string();
}

std::string GetFileVersionString(const std::string& library) {
    if (library == "gdiplus.dll") return kImagingLayerVersion;
    if (library == "vorplex.dll") return PluginVersion();
    return "Undefined";
}

long VersionMajor(const std::string& version) {
    return std::strtol(version.c_str(), nullptr, 10);
}

}  // namespace orrery::imaging
