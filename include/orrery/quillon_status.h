// QuillonStatus: the status that loading, zooming, navigation and rotation
// members return and that the control keeps as its last status. Values 0 to
// 21 are the imaging layer's status codes, value for value.
#pragma once
#include <cstdint>

namespace orrery {

enum class QuillonStatus : int32_t {
    OK = 0,
    GenericError = 1,
    InvalidParameter = 2,
    OutOfMemory = 3,
    ObjectBusy = 4,
    InsufficientBuffer = 5,
    NotImplemented = 6,
    Win32Error = 7,
    WrongState = 8,
    Aborted = 9,
    FileNotFound = 10,
    ValueOverflow = 11,
    AccessDenied = 12,
    UnknownImageFormat = 13,
    FontFamilyNotFound = 14,
    FontStyleNotFound = 15,
    NotTrueTypeFont = 16,
    UnsupportedGdiplusVersion = 17,
    GdiplusNotInitialized = 18,
    PropertyNotFound = 19,
    PropertyNotSupported = 20,
    ProfileNotFound = 21,
    UnsupportedImageFormat = 22,
    InternetOpenError = 100,
    InternetConnectError = 101,
    InternetHttpOpenRequestError = 102,
    InternetHttpQueryError = 103,
    InternetFtpGetFileError = 104,
    InternetHttpSendRequestError = 105,
    InternetHttpInvalidFileLength = 106,
    InternetHttpTransferError = 107,
    InternetFtpWriteFileError = 108,
    PdfCanNotBeDecrypted = 200,
    PdfPasswordNeeded = 201,
    PdfBadPassword = 202,
    PdfCanNotOpenFile = 203,
    PdfRenderingPageError = 204,
    PdfUnexpectedError = 205,
    PdfPlugNotLoaded = 210,
    VorplexDllRequired = 300,
    WrongVorplexVersion = 301,
};

// The enumerator's name ("UnknownImageFormat"); values 1 to 21 are named as
// the imaging layer names them. "Unknown" for values without a name (23, for
// example, which the stream loader reports).
const char* statusName(QuillonStatus status);

}  // namespace orrery
