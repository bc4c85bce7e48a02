// A component as one of the portable machine's built-in modules: its entry points by
// name, as the machine's loader hands them out through GetProcAddress, over the
// library's class table. The machine's modules are part of its system, so their
// registrations belong to the system (pwplatform.h): the registry functions cannot
// delete them, only the module's own unregistration.
#pragma once

#include <pwplatform.h>

#include "components/common/inproc_server.h"

#include <span>

namespace pw::com {

inline RegistrationStyle systemOwned() { return {PwMarkSystemKeyA, PwDeleteSystemKeyA}; }

// The module of `Classes`, installed as `Server` (its path in the system folder).
template <std::span<const ServedClass> (*Classes)(), const char* Server>
struct BuiltinModule {
  static HRESULT STDAPICALLTYPE DllGetClassObject(REFCLSID rclsid, REFIID riid, LPVOID* ppv) {
    return getClassObject(Classes(), rclsid, riid, ppv);
  }
  static HRESULT STDAPICALLTYPE DllCanUnloadNow() { return canUnloadNow(); }
  static HRESULT STDAPICALLTYPE DllRegisterServer() {
    return registerServer(Classes(), Server, systemOwned());
  }
  static HRESULT STDAPICALLTYPE DllUnregisterServer() {
    return unregisterServer(Classes(), systemOwned());
  }

  static std::span<const Export> exports() {
    static const Export table[] = {
        {"DllCanUnloadNow", exportOf(DllCanUnloadNow)},
        {"DllGetClassObject", exportOf(DllGetClassObject)},
        {"DllRegisterServer", exportOf(DllRegisterServer)},
        {"DllUnregisterServer", exportOf(DllUnregisterServer)},
    };
    return table;
  }
};

}  // namespace pw::com
