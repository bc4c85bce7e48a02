// Object creation: a class is found through its registration in the machine's
// classes (HKEY_CLASSES_ROOT\CLSID\{...}\InprocServer32, whose default value names
// the library that serves it), the library is loaded and asked for the class's
// factory through its DllGetClassObject, as Windows does for in-process servers.
#include <objbase.h>

#include "machine/faults.h"
#include "machine/guard.h"
#include "ole32/apartment.h"

#include <string>

namespace {

constexpr int kGuidText = 39;

// The library file that serves `clsid`, or the failure Windows answers.
HRESULT serverOf(REFCLSID clsid, std::string* library) {
  OLECHAR wide[kGuidText];
  StringFromGUID2(clsid, wide, kGuidText);
  std::string key = "CLSID\\";
  for (int i = 0; i < kGuidText - 1; ++i) key += char(wide[i]);
  key += "\\InprocServer32";

  HKEY server = nullptr;
  if (RegOpenKeyExA(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_QUERY_VALUE, &server) != ERROR_SUCCESS)
    return REGDB_E_CLASSNOTREG;
  char path[MAX_PATH + 1] = {};
  DWORD type = 0, size = MAX_PATH;
  LONG status =
      RegQueryValueExA(server, nullptr, nullptr, &type, reinterpret_cast<BYTE*>(path), &size);
  RegCloseKey(server);
  if (status != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ) || !path[0])
    return REGDB_E_CLASSNOTREG;
  *library = path;
  return S_OK;
}

HRESULT classObject(REFCLSID rclsid, DWORD dwClsContext, REFIID riid, LPVOID* ppv) {
  if (!pw::ole32::apartmentEntered()) return CO_E_NOTINITIALIZED;
  // Windows looks for the class in the activation context first; a process without
  // redirected classes is left with the lookup's last error, whatever follows.
  SetLastError(ERROR_SXS_KEY_NOT_FOUND);
  if (!(dwClsContext & CLSCTX_INPROC_SERVER)) return REGDB_E_CLASSNOTREG;
  std::string library;
  if (HRESULT hr = serverOf(rclsid, &library); FAILED(hr)) return hr;
  HMODULE module = LoadLibraryA(library.c_str());
  if (!module) return HRESULT_FROM_WIN32(GetLastError());
  auto getClassObject = reinterpret_cast<LPFNGETCLASSOBJECT>(
      reinterpret_cast<void (*)()>(GetProcAddress(module, "DllGetClassObject")));
  if (!getClassObject) return CO_E_ERRORINDLL;
  return getClassObject(rclsid, riid, ppv);
}

}  // namespace

HRESULT WINAPI CoGetClassObject(REFCLSID rclsid, DWORD dwClsContext, LPVOID pvReserved, REFIID riid,
                                LPVOID* ppv) {
  if (!ppv) return E_POINTER;
  *ppv = nullptr;
  return pw::guarded(E_OUTOFMEMORY, [&] { return classObject(rclsid, dwClsContext, riid, ppv); });
}

HRESULT WINAPI CoCreateInstance(REFCLSID rclsid, LPUNKNOWN pUnkOuter, DWORD dwClsContext,
                                REFIID riid, LPVOID* ppv) {
  if (!ppv) return E_POINTER;
  *ppv = nullptr;
  if (auto fault = pw::faults::injected(pw::faults::Point::CoCreateInstance))
    return HRESULT(*fault);
  IClassFactory* factory = nullptr;
  HRESULT hr = CoGetClassObject(rclsid, dwClsContext, nullptr, IID_IClassFactory,
                                reinterpret_cast<void**>(&factory));
  if (FAILED(hr)) return hr;
  hr = factory->CreateInstance(pUnkOuter, riid, ppv);
  factory->Release();
  return hr;
}
