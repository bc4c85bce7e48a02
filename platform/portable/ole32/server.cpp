#include "ole32/server.h"

#include <pwplatform.h>

#include "machine/guard.h"
#include "ole32/com_object.h"

#include <string>

namespace pw::ole32 {
namespace {

// Class objects do not count towards a library's use, as the libraries never unload.
class ClassFactory : public ComObject<ClassFactory, IClassFactory> {
 public:
  explicit ClassFactory(const ServedClass& served) : served_(served) {}

  void* interfaceFor(REFIID riid) {
    if (riid == IID_IUnknown || riid == IID_IClassFactory) return static_cast<IClassFactory*>(this);
    return nullptr;
  }

  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* pUnkOuter, REFIID riid,
                                           void** ppvObject) override {
    if (!ppvObject) return E_POINTER;
    *ppvObject = nullptr;
    if (pUnkOuter) return CLASS_E_NOAGGREGATION;
    return guarded(E_OUTOFMEMORY, [&] { return served_.create(riid, ppvObject); });
  }
  HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }

 private:
  const ServedClass& served_;
};

// HKEY_CLASSES_ROOT is the machine's classes.
const std::string kClasses = "SOFTWARE\\Classes\\";

std::string guidText(REFCLSID clsid) {
  OLECHAR wide[39];
  StringFromGUID2(clsid, wide, 39);
  std::string text;
  for (int i = 0; i < 38; ++i) text += char(wide[i]);
  return text;
}

LONG setString(HKEY root, const std::string& path, const char* name, const char* value) {
  HKEY key = nullptr;
  LONG status = RegCreateKeyExA(root, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_WRITE,
                                nullptr, &key, nullptr);
  if (status != ERROR_SUCCESS) return status;
  status = RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value),
                          DWORD(std::char_traits<char>::length(value) + 1));
  RegCloseKey(key);
  return status;
}

}  // namespace

HRESULT getClassObject(std::span<const ServedClass> classes, REFCLSID rclsid, REFIID riid,
                       void** ppv) {
  if (!ppv) return E_INVALIDARG;
  *ppv = nullptr;
  for (const ServedClass& served : classes)
    if (*served.clsid == rclsid) return handOut(make<ClassFactory>(served), riid, ppv);
  return CLASS_E_CLASSNOTAVAILABLE;
}

std::vector<RegistryEntry> registrationOf(std::span<const ServedClass> classes,
                                          const char* library) {
  const std::string server = std::string("C:\\Windows\\System32\\") + library;
  std::vector<RegistryEntry> entries;
  for (const ServedClass& served : classes) {
    const std::string clsid = guidText(*served.clsid);
    const std::string key = "CLSID\\" + clsid;
    entries.push_back({key, nullptr, served.name});
    entries.push_back({key + "\\InprocServer32", nullptr, server});
    entries.push_back({key + "\\InprocServer32", "ThreadingModel", "Both"});
    entries.push_back({key + "\\ProgID", nullptr, served.progId});
    entries.push_back({served.progId, nullptr, served.name});
    entries.push_back({std::string(served.progId) + "\\CLSID", nullptr, clsid});
  }
  return entries;
}

// A built-in library's registrations belong to the system, as on Windows: the
// registry functions cannot delete them, only the library's own unregistration can.
HRESULT registerServer(std::span<const ServedClass> classes, const char* library) {
  return guarded(E_OUTOFMEMORY, [&] {
    for (const RegistryEntry& entry : registrationOf(classes, library))
      if (setString(HKEY_CLASSES_ROOT, entry.key, entry.name, entry.value.c_str()) ||
          PwMarkSystemKeyA(HKEY_LOCAL_MACHINE, (kClasses + entry.key).c_str()))
        return SELFREG_E_CLASS;
    return S_OK;
  });
}

HRESULT unregisterServer(std::span<const ServedClass> classes) {
  return guarded(E_OUTOFMEMORY, [&] {
    HRESULT result = S_OK;
    for (const ServedClass& served : classes)
      for (const std::string& key :
           {"CLSID\\" + guidText(*served.clsid), std::string(served.progId)})
        if (LONG status = PwDeleteSystemKeyA(HKEY_LOCAL_MACHINE, (kClasses + key).c_str());
            status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND)
          result = SELFREG_E_CLASS;
    return result;
  });
}

}  // namespace pw::ole32
