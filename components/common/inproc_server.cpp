#include "components/common/inproc_server.h"

#include <olectl.h>

#include "components/common/com_object.h"
#include "components/common/text.h"

#include <atomic>

namespace pw::com {
namespace {

std::atomic<long> inUse{0};

// Class objects do not count towards the module's use; their locks do.
class ClassFactory : public IClassFactory {
 public:
  explicit ClassFactory(const ServedClass& served) : served_(served) {}
  virtual ~ClassFactory() = default;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (riid != IID_IUnknown && riid != IID_IClassFactory) return E_NOINTERFACE;
    *ppv = static_cast<IClassFactory*>(this);
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
  ULONG STDMETHODCALLTYPE Release() override {
    ULONG left = --refs_;
    if (left == 0) delete this;
    return left;
  }
  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* pUnkOuter, REFIID riid,
                                           void** ppvObject) override {
    if (!ppvObject) return E_POINTER;
    *ppvObject = nullptr;
    if (pUnkOuter) return CLASS_E_NOAGGREGATION;
    return guarded([&] { return served_.create(riid, ppvObject); });
  }
  HRESULT STDMETHODCALLTYPE LockServer(BOOL fLock) override {
    moduleInUse(fLock ? +1 : -1);
    return S_OK;
  }

 private:
  const ServedClass& served_;
  std::atomic<ULONG> refs_{1};
};

constexpr char kClassesKey[] = "SOFTWARE\\Classes\\";

std::string guidText(REFCLSID clsid) {
  OLECHAR wide[39];
  StringFromGUID2(clsid, wide, 39);
  std::string text;
  for (int i = 0; i < 38; ++i) text += char(wide[i]);
  return text;
}

LONG setString(const RegistryEntry& entry) {
  HKEY key = nullptr;
  LONG status = RegCreateKeyExA(HKEY_CLASSES_ROOT, entry.key.c_str(), 0, nullptr,
                                REG_OPTION_NON_VOLATILE, KEY_WRITE, nullptr, &key, nullptr);
  if (status != ERROR_SUCCESS) return status;
  status =
      RegSetValueExA(key, entry.name, 0, REG_SZ, reinterpret_cast<const BYTE*>(entry.value.c_str()),
                     DWORD(entry.value.size() + 1));
  RegCloseKey(key);
  return status;
}

// A key that is already gone counts as removed.
bool removed(LONG status) { return status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND; }

// The keys a registration made, deepest first, for deletion one by one.
std::vector<std::string> keysOf(const ServedClass& served) {
  const std::string clsid = "CLSID\\" + guidText(*served.clsid);
  const std::string progId = served.progId;
  return {clsid + "\\InprocServer32", clsid + "\\ProgID", clsid, progId + "\\CLSID", progId};
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

void moduleInUse(int change) { inUse += change; }

HRESULT canUnloadNow() { return inUse == 0 ? S_OK : S_FALSE; }

std::vector<RegistryEntry> registrationOf(std::span<const ServedClass> classes,
                                          const std::string& server) {
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

HRESULT registerServer(std::span<const ServedClass> classes, const std::string& server,
                       const RegistrationStyle& style) {
  return guarded([&]() -> HRESULT {
    for (const RegistryEntry& entry : registrationOf(classes, server)) {
      if (setString(entry) != ERROR_SUCCESS) return SELFREG_E_CLASS;
      if (style.markKey &&
          style.markKey(HKEY_LOCAL_MACHINE, (kClassesKey + entry.key).c_str()) != ERROR_SUCCESS)
        return SELFREG_E_CLASS;
    }
    return S_OK;
  });
}

HRESULT unregisterServer(std::span<const ServedClass> classes, const RegistrationStyle& style) {
  return guarded([&]() -> HRESULT {
    HRESULT result = S_OK;
    for (const ServedClass& served : classes) {
      if (style.deleteTree) {
        for (const std::string& key :
             {"CLSID\\" + guidText(*served.clsid), std::string(served.progId)})
          if (!removed(style.deleteTree(HKEY_LOCAL_MACHINE, (kClassesKey + key).c_str())))
            result = SELFREG_E_CLASS;
        continue;
      }
      for (const std::string& key : keysOf(served))
        if (!removed(RegDeleteKeyA(HKEY_CLASSES_ROOT, key.c_str()))) result = SELFREG_E_CLASS;
    }
    return result;
  });
}

}  // namespace pw::com
