#include "orrery/quillon_status.h"

#include "platform/gdiplus/status.h"

namespace orrery {

const char* statusName(QuillonStatus status) {
    const auto value = static_cast<int32_t>(status);
    if (status == QuillonStatus::OK) return "OK";
    if (value > 0 && value <= static_cast<int32_t>(QuillonStatus::ProfileNotFound))
        return gdiplus::statusName(static_cast<gdiplus::Status>(value));
    switch (status) {
        case QuillonStatus::UnsupportedImageFormat: return "UnsupportedImageFormat";
        case QuillonStatus::InternetOpenError: return "InternetOpenError";
        case QuillonStatus::InternetConnectError: return "InternetConnectError";
        case QuillonStatus::InternetHttpOpenRequestError: return "InternetHttpOpenRequestError";
        case QuillonStatus::InternetHttpQueryError: return "InternetHttpQueryError";
        case QuillonStatus::InternetFtpGetFileError: return "InternetFtpGetFileError";
        case QuillonStatus::InternetHttpSendRequestError: return "InternetHttpSendRequestError";
        case QuillonStatus::InternetHttpInvalidFileLength: return "InternetHttpInvalidFileLength";
        case QuillonStatus::InternetHttpTransferError: return "InternetHttpTransferError";
        case QuillonStatus::InternetFtpWriteFileError: return "InternetFtpWriteFileError";
        case QuillonStatus::PdfCanNotBeDecrypted: return "PdfCanNotBeDecrypted";
        case QuillonStatus::PdfPasswordNeeded: return "PdfPasswordNeeded";
        case QuillonStatus::PdfBadPassword: return "PdfBadPassword";
        case QuillonStatus::PdfCanNotOpenFile: return "PdfCanNotOpenFile";
        case QuillonStatus::PdfRenderingPageError: return "PdfRenderingPageError";
        case QuillonStatus::PdfUnexpectedError: return "PdfUnexpectedError";
        case QuillonStatus::PdfPlugNotLoaded: return "PdfPlugNotLoaded";
        case QuillonStatus::VorplexDllRequired: return "VorplexDllRequired";
        case QuillonStatus::WrongVorplexVersion: return "WrongVorplexVersion";
        default: return "Unknown";
    }
}

}  // namespace orrery
