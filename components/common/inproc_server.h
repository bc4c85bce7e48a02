// The server side of the components' classes: their class table, DllGetClassObject
// over it, DllCanUnloadNow over the module's live objects, and the self-registration
// that regsvr32 asks for (DllRegisterServer, DllUnregisterServer). Each component's
// entry points (dll.cpp on Windows, builtin.cpp in the portable machine) are thin
// calls into these.
#pragma once

#include <windows.h>

#include <objbase.h>

#include <span>
#include <string>
#include <vector>

namespace pw::com {

struct ServedClass {
  const CLSID* clsid;
  const char* name;    // the class key's default value
  const char* progId;  // "Library.Class.1"
  // A new object answering `riid`, or the failure to hand out.
  HRESULT (*create)(REFIID riid, void** ppv);
};

// An entry point as GetProcAddress hands it out.
struct Export {
  const char* name;
  FARPROC proc;
};

// An entry point through the generic function pointer type, which any function
// pointer converts to and from.
template <class Function>
FARPROC exportOf(Function function) {
  return reinterpret_cast<FARPROC>(reinterpret_cast<void (*)()>(function));
}

HRESULT getClassObject(std::span<const ServedClass> classes, REFCLSID rclsid, REFIID riid,
                       void** ppv);

// Counts the module's live objects and its class objects' locks; DllCanUnloadNow
// answers S_OK when there are none.
void moduleInUse(int change);
HRESULT canUnloadNow();

// One value of a class registration under HKEY_CLASSES_ROOT; a null name is the key's
// default value.
struct RegistryEntry {
  std::string key;
  const char* name;
  std::string value;  // REG_SZ
};
// What registering `classes` served by the file `server` writes, keys in creation order.
// Every class is registered with the threading model "Both", as Windows registers the
// enrolment components' classes.
std::vector<RegistryEntry> registrationOf(std::span<const ServedClass> classes,
                                          const std::string& server);

// How a build owns its registrations. A Windows DLL writes and deletes plain keys. The
// portable machine's built-in modules belong to the system, as a Windows system
// component's registrations do: each key written is marked as the system's, and
// unregistering removes the marked trees.
struct RegistrationStyle {
  // Called after each key is written, with HKEY_LOCAL_MACHINE and "SOFTWARE\Classes\<key>".
  LSTATUS(WINAPI* markKey)(HKEY, LPCSTR) = nullptr;
  // Deletes a class's key tree (same arguments); without it the keys go one by one.
  LSTATUS(WINAPI* deleteTree)(HKEY, LPCSTR) = nullptr;
};

// Writes or removes the classes' registrations; S_OK or SELFREG_E_CLASS.
HRESULT registerServer(std::span<const ServedClass> classes, const std::string& server,
                       const RegistrationStyle& style = {});
HRESULT unregisterServer(std::span<const ServedClass> classes, const RegistrationStyle& style = {});

}  // namespace pw::com
