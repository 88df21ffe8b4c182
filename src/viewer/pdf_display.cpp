#include "viewer/pdf_display.h"

#include <cctype>
#include <cmath>
#include <cstdlib>
#include <exception>
#include <limits>
#include <utility>

#include "imaging/image_info.h"
#include "imaging/image_table.h"
#include "orrery/quillon_status.h"
#include "pdf/modpagrent.h"
#include "platform/kernel/files.h"

namespace orrery::pdf {

namespace modMain = imaging::modMain;
using viewer::DocumentTypePDF;

namespace {

constexpr int32_t status(QuillonStatus s) { return static_cast<int32_t>(s); }

}  // namespace

int32_t PagePixels(double points, int32_t dpi) {
    const double exact = points / 72.0 * dpi;
    if (!(exact > 0) || exact >= static_cast<double>(std::numeric_limits<int32_t>::max())) return 0;
    const double whole = std::floor(exact);
    return static_cast<int32_t>(whole == exact ? whole : whole + 1);
}

bool HasPdfExtension(const std::string& path) {
    const std::string trimmed = imaging::Trim(path);
    if (trimmed.size() <= 3) return false;
    std::string extension = trimmed.substr(trimmed.size() - 3);
    for (char& c : extension) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return extension == "PDF";
}

// ---------------------------------------------------------------------------
// Settings

void PdfDisplay::setDpiRendering(int32_t dpi) {
    if (dpi >= 1 && dpi <= kMaxDpi) settings_.dpiRendering = dpi;
}

int32_t PdfDisplay::renderingDpi() {
    if (settings_.dpiRendering == 0) settings_.dpiRendering = kDefaultDpi;
    const int32_t dpi = settings_.dpiRendering;
    return dpi >= 1 && dpi <= kMaxDpi ? dpi : kDefaultDpi;
}

int32_t PdfDisplay::fail(int32_t code, const std::string& message) {
    if (!message.empty() && !host_.silentMode()) host_.showCriticalMessage(message);
    return code;
}

// ---------------------------------------------------------------------------
// DisplayFromPdfFile

int32_t PdfDisplay::DisplayFromPdfFile(const std::string& path, const std::string& password) {
    if (isOpen()) {
        host_.releaseDisplayedPicture();
        CloseDocument();
    }
    host_.resetForDocument(PdfHost::Reset::NewDocument);
    const std::string file = imaging::NormalizePath(path);
    int32_t result = 0;
    if (imaging::FileExistsPath(file).empty()) {
        result = fail(status(QuillonStatus::FileNotFound), "File not found: " + imaging::Trim(path));
    } else if ((result = openDocument(file, password)) == 0) {
        s_.pageCount = countPages();
        if (s_.pageCount == 0) {
            result = status(QuillonStatus::PdfUnexpectedError);
        } else {
            s_.currentPage = 1;
            result = RenderPage(1);
            host_.raisePageChange();
        }
    }
    return s_.status = result;
}

// ---------------------------------------------------------------------------
// Opening

int32_t PdfDisplay::openDocument(const std::string& path, const std::string& password) {
    int32_t result = 0;
    try {
        result = openSteps(path, imaging::Trim(password));
    } catch (const std::exception&) {
        // The plug-in or one of its exports is missing, or the copy failed.
        if (handle_ != 0) CloseDocument();
        result = status(QuillonStatus::PdfPlugNotLoaded);
    }
    // A document that did not open leaves no temporary copy behind.
    if (result != 0) discardTemporaryCopy();
    return result;
}

int32_t PdfDisplay::openSteps(const std::string& path, const std::string& password) {
    std::string openPath = path;
    if (settings_.forceTemporaryMode) {
        if (!kernel::copyToTempFile(path, temporaryPath_))
            throw modpagrent::PluginFault("Cannot copy " + path + " to " + temporaryPath_);
        openPath = temporaryPath_;
        openedTemporaryCopy_ = true;
    }
    handle_ = modpagrent::LoadFromFile(openPath);
    if (handle_ == 0) return fail(status(QuillonStatus::PdfCanNotOpenFile), "This PDF seems to be corrupted.");
    if (modpagrent::HasEncryption(handle_) >= 1) return authenticate(password);
    return 0;
}

// The given password (even when empty), then one more from the input box
// or the host's handler.
int32_t PdfDisplay::authenticate(const std::string& password) {
    if (modpagrent::SetPassword(handle_, password) >= 1) return 0;
    const std::string another = imaging::Trim(anotherPassword(password));
    if (modpagrent::SetPassword(handle_, another) >= 1) return 0;
    CloseDocument();
    if (another.empty()) return fail(status(QuillonStatus::PdfPasswordNeeded), "Invalid password.");
    return fail(status(QuillonStatus::PdfBadPassword), "The password supplied is incorrect.");
}

std::string PdfDisplay::anotherPassword(const std::string& tried) {
    if (settings_.showDialogForPassword) return host_.askPassword();
    std::string password = tried;
    host_.raisePasswordRequest(password);
    return password;
}

int32_t PdfDisplay::countPages() {
    if (handle_ == 0) return 0;
    int32_t count = 0;
    try {
        count = modpagrent::PageCount(handle_);
    } catch (const std::exception&) {
        count = 0;
    }
    if (count <= 0) {
        fail(0, "This PDF file have no page");
        return 0;
    }
    return count;
}

// ---------------------------------------------------------------------------
// Rendering a page

int32_t PdfDisplay::RenderPage(int32_t page) {
    const int32_t dpi = renderingDpi();
    host_.releaseDisplayedPicture();
    host_.resetForDocument(PdfHost::Reset::AnotherPage);
    try {
        s_.status = renderSteps(page, dpi);
    } catch (const std::exception& fault) {
        // The document stays open: navigation may still render another page.
        s_.currentPage = page;
        s_.documentType = DocumentTypePDF;
        s_.status = fail(status(QuillonStatus::PdfUnexpectedError),
                         std::string("Unexpected error was raised: ") + fault.what());
    }
    return s_.status;
}

int32_t PdfDisplay::renderSteps(int32_t page, int32_t dpi) {
    s_.currentPage = page;
    if (modpagrent::SelectPage(handle_, page) != 1) {
        s_.documentType = DocumentTypePDF;
        return status(QuillonStatus::PdfRenderingPageError);
    }
    int32_t width = PagePixels(modpagrent::PageWidth(handle_), dpi);
    int32_t height = PagePixels(modpagrent::PageHeight(handle_), dpi);
    const int32_t rotation = std::abs(modpagrent::PageRotation(handle_));
    if (rotation == 90 || rotation == 270) std::swap(width, height);
    if (width == 0 || height == 0) return rasterizeFailed();

    int32_t output = 0;
    const int16_t formFields = settings_.displayFormField ? -1 : 0;
    const int32_t rasterized = modpagrent::Rasterize(handle_, dpi, output, width, height, 0, formFields);
    std::unique_ptr<gdiplus::Image> image = output != 0 ? modpagrent::TakePageImage(output) : nullptr;
    if (rasterized != 1) return rasterizeFailed();
    // The plug-in succeeded with an image the imaging layer does not accept:
    // nothing is shown, and the image is dropped.
    if (!image || image->forceValidation() != gdiplus::Status::Ok) {
        s_.documentType = DocumentTypePDF;
        return status(QuillonStatus::PdfRenderingPageError);
    }
    image->setResolution(static_cast<float>(dpi), static_cast<float>(dpi));
    int32_t id = 0;
    modMain::AddImage(id, std::move(image), std::string(), std::string(), imaging::SourcePlain);
    s_.status = 0;
    host_.showPageImage(id, page);
    return s_.status;
}

int32_t PdfDisplay::rasterizeFailed() {
    s_.documentType = DocumentTypePDF;
    if (!host_.silentMode()) {
        host_.showCriticalMessage("Error rendering page.");
        host_.showCriticalMessage("Error rendering page from the pagrent library.");
    }
    return status(QuillonStatus::PdfRenderingPageError);
}

// ---------------------------------------------------------------------------
// Closing

void PdfDisplay::CloseDocument() {
    if (handle_ == 0) return;
    const int32_t closing = handle_;
    handle_ = 0;
    s_.lastDrawnImage = 0;
    try {
        modpagrent::Close(closing);
    } catch (const std::exception&) {
        // Without the export there is nothing to close in the plug-in.
    }
    discardTemporaryCopy();
}

void PdfDisplay::discardTemporaryCopy() {
    if (!openedTemporaryCopy_) return;
    kernel::removeQuietly(temporaryPath_);
    openedTemporaryCopy_ = false;
}

// ---------------------------------------------------------------------------
// Texts

std::string PdfDisplay::Description(PdfField field) const {
    if (handle_ == 0) return {};
    try {
        return modpagrent::GetDescription(handle_, static_cast<int32_t>(field));
    } catch (const std::exception&) {
        return {};
    }
}

std::string PdfDisplay::Metadata() const {
    if (handle_ == 0) return {};
    try {
        return modpagrent::GetMetadata(handle_);
    } catch (const std::exception&) {
        return {};
    }
}

}  // namespace orrery::pdf
