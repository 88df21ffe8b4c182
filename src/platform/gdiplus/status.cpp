#include "platform/gdiplus/status.h"

namespace orrery::gdiplus {

const char* statusName(Status s) {
    static const char* const names[] = {
        "Ok", "GenericError", "InvalidParameter", "OutOfMemory", "ObjectBusy",
        "InsufficientBuffer", "NotImplemented", "Win32Error", "WrongState", "Aborted",
        "FileNotFound", "ValueOverflow", "AccessDenied", "UnknownImageFormat",
        "FontFamilyNotFound", "FontStyleNotFound", "NotTrueTypeFont", "UnsupportedGdiplusVersion",
        "GdiplusNotInitialized", "PropertyNotFound", "PropertyNotSupported", "ProfileNotFound",
    };
    auto i = static_cast<int32_t>(s);
    return i >= 0 && i < static_cast<int32_t>(sizeof names / sizeof *names) ? names[i] : "Unknown";
}

}  // namespace orrery::gdiplus
