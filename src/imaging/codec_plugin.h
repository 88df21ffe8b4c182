// The codec plug-in: the FreeImage library, bound at run time by name through
// the library search (never linked). It decodes the formats the imaging
// layer does not read. Its absence is a normal state: callers then get
// VorplexDllRequired (300) or the loaders' "plug-in absent" status (9).
//
// The environment variable ORRERY_CODEC_PLUGIN names another library file to
// bind instead, or "none" to run without the plug-in.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace orrery::imaging {

// An opaque handle of the plug-in: a bitmap, a multi-page handle or an open
// file; null means none.
using PluginHandle = void*;

// Format identifiers as the control publishes them (-1 unknown ... 35 JBIG),
// with formats beyond that table numbered from 100.
namespace PluginFormat {
inline constexpr int Unknown = -1;
inline constexpr int BMP = 0;
inline constexpr int ICO = 1;
inline constexpr int JPEG = 2;
inline constexpr int PNG = 13;
inline constexpr int TARGA = 17;
inline constexpr int TIFF = 18;
inline constexpr int GIF = 25;
inline constexpr int HDR = 26;
inline constexpr int EXR = 29;
inline constexpr int J2K = 30;
inline constexpr int JP2 = 31;
inline constexpr int WEBP = 100;
inline constexpr int JXR = 101;
}  // namespace PluginFormat

// The name of a format identifier ("TARGA"); empty for identifiers outside
// the table.
std::string pluginFormatName(int format);

// The format a file name's extension names: the format of that name
// ("TARGA" for ".targa"), or JPEG for ".jpg" and ".jpe", TIFF for ".tif",
// TARGA for ".tga"; Unknown for any other extension.
int pluginFormatOfPath(const std::string& path);

// True when the plug-in library is bound and its version reads non-zero.
bool IsPluginAvailable();
// The plug-in's version as "major.minor.build.revision"; "Unknown" when the
// library has no version function; "Undefined" when it cannot be bound.
std::string PluginVersion();

// Releasing plug-in handles (the image store calls these when it releases an
// entry). Each accepts null and does nothing then.
void pluginUnload(PluginHandle bitmap);
void pluginCloseMultiBitmap(PluginHandle multi);
void pluginUnlockPage(PluginHandle multi, PluginHandle page);
void pluginCloseFileHandle(PluginHandle file);

}  // namespace orrery::imaging
