// The Windows DLL of the newer enrolment objects: its exported entry points over the library's
// class table. For Wine prefixes only: Windows has its own, which this DLL must never replace.
#include "components/certenroll/module.h"
#include "components/common/windows/dll_server.h"

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  return pw::com::dllMain(instance, reason);
}

STDAPI DllGetClassObject(REFCLSID rclsid, REFIID riid, LPVOID* ppv) {
  return pw::com::getClassObject(pw::certenroll::classes(), rclsid, riid, ppv);
}

STDAPI DllCanUnloadNow() { return pw::com::canUnloadNow(); }

STDAPI DllRegisterServer() { return pw::com::registerDll(pw::certenroll::classes()); }

STDAPI DllUnregisterServer() { return pw::com::unregisterServer(pw::certenroll::classes()); }
