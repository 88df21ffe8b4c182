// Image facts and the small helpers the loaders share: the raw-format and
// pixel-format tables, the temporary folder and file names, path
// normalisation, the file-exists test and library version texts.
#pragma once
#include <string>

#include "orrery/gdiplus/guid.h"
#include "platform/gdiplus/pixel_format.h"

namespace orrery::imaging {

// "JPEG", "Memory BMP", ... for a raw-format identifier; "Undefined" for any
// other identifier.
std::string FormatNameFromRawFormat(const gdiplus::Guid& rawFormat);
// Bits per pixel of a pixel format; 0 for any other value.
int32_t BitsPerPixelOf(int32_t pixelFormat);

// The text without leading and trailing blanks, tabs and line ends.
std::string Trim(const std::string& text);

// The temporary folder: the environment variable "tmp", else "temp", else
// "TMPDIR", else "/tmp"; trimmed, ending with "/".
std::string GetTempFolder();
// The process's private folder inside the temporary folder, where every
// temporary file of the control lives (made on first need, mode 0700,
// removed at exit); ends with "/". Empty when it cannot be made.
std::string GetPrivateTempFolder();
// A path in the private temporary folder that does not exist yet: eight or
// fewer decimal digits, no extension. Empty when there is no such folder.
// The file is to be created with kernel::CreateTempFile.
std::string GetTempFileName();
// Trims, turns "\" into "/", and collapses repeated separators after the
// first two characters, so that a leading "//" of a network path survives.
std::string NormalizePath(const std::string& path);
// The path when it names a regular file that can be opened for reading, else
// empty. Folders, FIFOs, sockets and devices are refused without blocking.
std::string FileExistsPath(const std::string& path);
// The version text "major.minor.build.revision" of a library: "Unknown" when
// it carries no version, "Undefined" when it cannot be read. Knows the
// imaging layer ("gdiplus.dll") and the codec plug-in ("vorplex.dll").
std::string GetFileVersionString(const std::string& library);
// Leading number of a version text; 0 for "Unknown" and "Undefined".
long VersionMajor(const std::string& version);

// The interface level the imaging layer implements, as its version text.
inline constexpr const char* kImagingLayerVersion = "6.1.0.0";

}  // namespace orrery::imaging
