// The Windows DLL of the older enrolment control (CEnroll): its exported entry points over the
// library's class table. For Wine prefixes only: Windows has its own, which this DLL must never
// replace.
#include "components/common/windows/dll_server.h"
#include "components/xenroll/module.h"

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  return pw::com::dllMain(instance, reason);
}

STDAPI DllGetClassObject(REFCLSID rclsid, REFIID riid, LPVOID* ppv) {
  return pw::com::getClassObject(pw::xenroll::classes(), rclsid, riid, ppv);
}

STDAPI DllCanUnloadNow() { return pw::com::canUnloadNow(); }

STDAPI DllRegisterServer() { return pw::com::registerDll(pw::xenroll::classes()); }

STDAPI DllUnregisterServer() { return pw::com::unregisterServer(pw::xenroll::classes()); }
