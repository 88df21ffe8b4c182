// modpagrent: the binding of the PDF plug-in libpagrent. The library is
// loaded by name on first use and every export is bound by name; the
// environment variable ORRERY_PDF_PLUGIN names another library file to load
// instead, or "none" to run without it.
//
// A missing library or export is a run-time fault: the call that needs it
// throws PluginFault, and the PDF display turns that into its statuses.
// Texts go in trimmed and come back as copies.
#pragma once
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>

#include "platform/gdiplus/image.h"

namespace orrery::pdf::modpagrent {

class PluginFault : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// True when the library and every export are bound (loads it if needed).
bool IsAvailable();

int32_t LoadFromFile(const std::string& path);
int32_t HasEncryption(int32_t document);
int32_t SetPassword(int32_t document, const std::string& password);
int32_t PageCount(int32_t document);
int32_t SelectPage(int32_t document, int32_t page);
double PageWidth(int32_t document);
double PageHeight(int32_t document);
int32_t PageRotation(int32_t document);
// The form-field flag is the platform's 16-bit Boolean: 0 or -1.
int32_t Rasterize(int32_t document, double dpi, int32_t& output, int32_t width, int32_t height, int32_t reserved,
                  int16_t drawFormFields);
// Field indexes 0 version ... 8 modification date; "" for a null answer.
std::string GetDescription(int32_t document, int32_t field);
std::string GetMetadata(int32_t document);
void Close(int32_t document);

// The page image behind a bitmap handle that PAGRENT_Rasterize returned on
// this thread; the caller owns it from then on. Null for an unknown handle.
std::unique_ptr<gdiplus::Image> TakePageImage(int32_t bitmap);
// Page images made for the plug-in and not yet taken (tests).
size_t PendingPageImages();

}  // namespace orrery::pdf::modpagrent
