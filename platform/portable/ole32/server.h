// The server side of in-process classes, shared by the libraries that serve them:
// their class table, DllGetClassObject over it, and the self-registration that
// regsvr32 asks of them (DllRegisterServer, DllUnregisterServer).
#pragma once

#include <objbase.h>

#include "machine/modules.h"

#include <span>
#include <string>
#include <vector>

namespace pw::ole32 {

struct ServedClass {
  const CLSID* clsid;
  const char* name;    // the class key's default value
  const char* progId;  // "Library.Class.1"
  // A new object answering `riid`, or the failure to hand out.
  HRESULT (*create)(REFIID riid, void** ppv);
};

// DllGetClassObject of a library serving `classes`.
HRESULT getClassObject(std::span<const ServedClass> classes, REFCLSID rclsid, REFIID riid,
                       void** ppv);

// One registry value of a class registration, under HKEY_CLASSES_ROOT (the machine's
// Software\Classes); a null name is the key's default value.
struct RegistryEntry {
  std::string key;
  const char* name;
  std::string value;  // REG_SZ
};
// What registering `classes` served from `library` writes, keys in creation order.
std::vector<RegistryEntry> registrationOf(std::span<const ServedClass> classes,
                                          const char* library);

// Writes or removes the classes' registrations, naming `library` (the file name in
// the system folder) as their in-process server. Answer S_OK or SELFREG_E_CLASS.
HRESULT registerServer(std::span<const ServedClass> classes, const char* library);
HRESULT unregisterServer(std::span<const ServedClass> classes);

// An entry point as GetProcAddress hands it out (through the generic function
// pointer type, which any function pointer converts to and from).
template <class Function>
FARPROC exportOf(Function function) {
  return reinterpret_cast<FARPROC>(reinterpret_cast<void (*)()>(function));
}

// The exports of a library that serves `Classes` from the file `Library`.
template <const auto& Classes, const char* Library>
struct InprocServer {
  static HRESULT STDAPICALLTYPE DllGetClassObject(REFCLSID rclsid, REFIID riid, LPVOID* ppv) {
    return getClassObject(Classes, rclsid, riid, ppv);
  }
  static HRESULT STDAPICALLTYPE DllRegisterServer() { return registerServer(Classes, Library); }
  static HRESULT STDAPICALLTYPE DllUnregisterServer() { return unregisterServer(Classes); }
  // The libraries are part of the platform and never unload.
  static HRESULT STDAPICALLTYPE DllCanUnloadNow() { return S_FALSE; }

  static std::span<const machine::ModuleExport> exports() {
    static const machine::ModuleExport table[] = {
        {"DllCanUnloadNow", exportOf(DllCanUnloadNow)},
        {"DllGetClassObject", exportOf(DllGetClassObject)},
        {"DllRegisterServer", exportOf(DllRegisterServer)},
        {"DllUnregisterServer", exportOf(DllUnregisterServer)},
    };
    return table;
  }
};

}  // namespace pw::ole32
