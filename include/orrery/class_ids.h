// The identifiers of the library's classes and interfaces, fixed for good:
// hosts and registry entries name them.
#pragma once
#include "orrery/gdiplus/guid.h"

namespace orrery {

using gdiplus::Guid;
using gdiplus::makeGuid;

// Creatable classes.
inline constexpr Guid CLSID_Orrery = makeGuid(0xA53AFB74, 0x7CE4, 0x4F13, 0x9D266025A13074E4ULL);
inline constexpr Guid CLSID_OrreryCnt = makeGuid(0xECB9B4CE, 0xDEC6, 0x4832, 0xA04AE77C4AFE2894ULL);
inline constexpr Guid CLSID_dummy = makeGuid(0x4252958C, 0x4866, 0x47F7, 0x9B5B8EFC75C5E7AAULL);

// Dispatch interfaces (one underscore) and event interfaces (two).
inline constexpr Guid IID__Orrery = makeGuid(0x3AAE4E2E, 0xF1F0, 0x449F, 0xBE3636BFAC52B0AFULL);
inline constexpr Guid DIID___Orrery = makeGuid(0x3084AC7D, 0x534F, 0x4F91, 0xAC97F39363BC4ECAULL);
inline constexpr Guid IID__OrreryCnt = makeGuid(0x5BA9C1A0, 0xD62E, 0x4588, 0xA46893081BF485DDULL);
inline constexpr Guid DIID___OrreryCnt = makeGuid(0x57641463, 0x76D8, 0x4AF4, 0xA43A2536ABB3A2C2ULL);
inline constexpr Guid IID__dummy = makeGuid(0x9FDAF96D, 0xB2C1, 0x4153, 0x9857FE9841759589ULL);

// The type description that lists the classes and interfaces above, and its version.
inline constexpr Guid LIBID_OrreryCtl = makeGuid(0x3624EA1B, 0x3989, 0x4A37, 0x9CC362374DAB320AULL);
inline constexpr const char* kTypeDescriptionVersion = "1.0";

}  // namespace orrery
