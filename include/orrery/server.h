// The library as an in-process server (liborreryctl.so): the four entry
// points a host or a registration tool finds by name with dlsym.
//
//   DllRegisterServer    writes Orrery, OrreryCnt and dummy into the class
//                        registry with this library as their server;
//                        SELFREG_E_CLASS when it cannot be written
//   DllUnregisterServer  removes the library's entries (S_OK when none)
//   DllGetClassObject    the class factory of a class (control::IClassFactory
//                        or IUnknown as `iid` asks); CLASS_E_CLASSNOTAVAILABLE
//                        for another class
//   DllCanUnloadNow      S_OK when no object lives and no lock is held,
//                        else S_FALSE
#pragma once
#include <cstdint>

#include "orrery/class_ids.h"

extern "C" {
int32_t DllRegisterServer();
int32_t DllUnregisterServer();
int32_t DllGetClassObject(const orrery::Guid* clsid, const orrery::Guid* iid, void** object);
int32_t DllCanUnloadNow();
}
