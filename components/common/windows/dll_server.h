// A component's DLL on Windows: the module handle DllMain receives, and the
// registration that names the DLL's own file as the classes' server.
#pragma once

#include "components/common/inproc_server.h"

namespace pw::com {

BOOL dllMain(HINSTANCE instance, DWORD reason);
// DllRegisterServer: the classes' registrations, served by this DLL's file.
HRESULT registerDll(std::span<const ServedClass> classes);

}  // namespace pw::com
