// Enrolment components probe: the in-process server's entry points, its
// self-registration, and the encodings its objects make, one line per case. The
// portable machine's built-in modules (certenroll.dll, xenroll.dll) and the Windows
// build's DLLs (pwenrol_objects.dll, pwenrol_control.dll, found beside the probe, since
// Wine has no such components) are one source built twice: their outputs, each over
// its own platform's crypt32, must be identical.
#include <windows.h>

#include <certenroll.h>
#include <objbase.h>
#include <oleauto.h>
#include <xenroll.h>

#include <cctype>
#include <cstdio>
#include <string>

namespace {

// A class no library serves.
const CLSID kUnknown = {
    0x5077E1F3, 0xA0C2, 0x4B9D, {0x84, 0x4E, 0x70, 0x86, 0xE3, 0xF5, 0x2D, 0x1C}};

using Entry = HRESULT(STDAPICALLTYPE*)();
using GetClassObject = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, LPVOID*);

void line(const char* label, HRESULT hr, const std::string& detail = "") {
  std::printf("%-44s %08lx %s\n", label, static_cast<unsigned long>(DWORD(hr)), detail.c_str());
}

std::string hex(BSTR bytes) {
  std::string out;
  const auto* data = reinterpret_cast<const unsigned char*>(bytes);
  for (UINT i = 0; bytes && i < SysStringByteLen(bytes); ++i) {
    char two[3];
    std::snprintf(two, sizeof two, "%02x", data[i]);
    out += two;
  }
  SysFreeString(bytes);
  return out;
}

// Printable text of a wide string, with CR and LF spelled out.
std::string text(BSTR value) {
  std::string out;
  for (UINT i = 0; value && i < SysStringLen(value); ++i)
    out += value[i] == '\r'   ? std::string("\\r")
           : value[i] == '\n' ? "\\n"
                              : std::string(1, char(value[i]));
  SysFreeString(value);
  return out;
}

BSTR wide(const char* value) {
  std::basic_string<OLECHAR> w;
  for (; *value; ++value) w += OLECHAR(*value);
  return SysAllocString(w.c_str());
}

struct Library {
  HMODULE module;
  const char* file;
};

// The library of the Windows build beside the probe, else the machine's own.
Library load(const char* windowsBuild, const char* machine) {
  if (HMODULE module = LoadLibraryA(windowsBuild)) return {module, windowsBuild};
  return {LoadLibraryA(machine), machine};
}

bool sameName(const char* a, const char* b) {
  for (; *a && *b; ++a, ++b)
    if (std::tolower(static_cast<unsigned char>(*a)) !=
        std::tolower(static_cast<unsigned char>(*b)))
      return false;
  return *a == *b;
}

template <class Function>
Function entry(HMODULE module, const char* name) {
  return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

// The registration's threading model and whether its server is the file loaded.
std::string registration(const char* clsid, const char* file) {
  std::string key = std::string("CLSID\\") + clsid + "\\InprocServer32";
  HKEY server = nullptr;
  if (RegOpenKeyExA(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_READ, &server) != ERROR_SUCCESS)
    return "no registration";
  char model[32] = {}, path[MAX_PATH] = {};
  DWORD size = sizeof model;
  RegQueryValueExA(server, "ThreadingModel", nullptr, nullptr, reinterpret_cast<BYTE*>(model),
                   &size);
  size = sizeof path;
  RegQueryValueExA(server, nullptr, nullptr, nullptr, reinterpret_cast<BYTE*>(path), &size);
  RegCloseKey(server);
  // The portable machine names its modules in its system folder, a Wine prefix the file
  // where it was registered from: the file's own name is what both must share.
  const char* name = path;
  for (const char* p = path; *p; ++p)
    if (*p == '\\' || *p == '/') name = p + 1;
  return std::string("ThreadingModel=") + model +
         (sameName(name, file) ? " this file" : " other server");
}

void server(const char* label, Library library, REFCLSID clsid, const char* clsidText) {
  HMODULE module = library.module;
  auto getClassObject = entry<GetClassObject>(module, "DllGetClassObject");
  auto canUnload = entry<Entry>(module, "DllCanUnloadNow");
  auto registerServer = entry<Entry>(module, "DllRegisterServer");
  auto unregisterServer = entry<Entry>(module, "DllUnregisterServer");
  std::printf("-- %s\n", label);
  // Each call is made before its line is printed: arguments have no order of evaluation.
  void* out = &out;
  HRESULT hr = getClassObject(kUnknown, IID_IClassFactory, &out);
  line("class object of an unknown class", hr, out ? "out set" : "out null");
  IClassFactory* factory = nullptr;
  line("class object",
       getClassObject(clsid, IID_IClassFactory, reinterpret_cast<void**>(&factory)));
  line("can unload, class object held", canUnload());
  IUnknown* object = nullptr;
  line("create with an outer object",
       factory->CreateInstance(reinterpret_cast<IUnknown*>(factory), IID_IUnknown,
                               reinterpret_cast<void**>(&object)));
  line("create",
       factory->CreateInstance(nullptr, IID_IDispatch, reinterpret_cast<void**>(&object)));
  line("can unload, object alive", canUnload());
  object->Release();
  line("can unload, object released", canUnload());
  factory->LockServer(TRUE);
  line("can unload, server locked", canUnload());
  factory->LockServer(FALSE);
  factory->Release();
  const struct {
    const char* label;
    Entry call;
  } steps[] = {{"register", registerServer},
               {"register again", registerServer},
               {"unregister", unregisterServer}};
  for (const auto& step : steps) {
    hr = step.call();
    line(step.label, hr, registration(clsidText, library.file));
  }
  line("unregister again", unregisterServer());
  line("register for the objects' cases", registerServer());
}

template <class T>
T* make(REFCLSID clsid, REFIID iid) {
  T* object = nullptr;
  CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, iid, reinterpret_cast<void**>(&object));
  return object;
}

void encodings() {
  std::printf("-- encodings\n");
  for (LONG usage : {0xF0, 0x80, 0x30, 0x8080, 0x01, 0x00}) {
    auto* extension =
        make<IX509ExtensionKeyUsage>(CLSID_CX509ExtensionKeyUsage, IID_IX509ExtensionKeyUsage);
    HRESULT hr = extension->InitializeEncode(X509KeyUsageFlags(usage));
    BSTR raw = nullptr;
    if (SUCCEEDED(hr)) extension->get_RawData(XCN_CRYPT_STRING_BINARY, &raw);
    line(("key usage " + std::to_string(usage)).c_str(), hr, hex(raw));
    extension->Release();
  }
  auto* oid = make<IObjectId>(CLSID_CObjectId, IID_IObjectId);
  auto* oids = make<IObjectIds>(CLSID_CObjectIds, IID_IObjectIds);
  line("object identifier by name", oid->InitializeFromName(XCN_OID_PKIX_KP_CLIENT_AUTH));
  oids->Add(oid);
  BSTR server = wide("1.3.6.1.5.5.7.3.1");
  auto* second = make<IObjectId>(CLSID_CObjectId, IID_IObjectId);
  line("object identifier by value", second->InitializeFromValue(server));
  SysFreeString(server);
  oids->Add(second);
  auto* eku = make<IX509ExtensionEnhancedKeyUsage>(CLSID_CX509ExtensionEnhancedKeyUsage,
                                                   IID_IX509ExtensionEnhancedKeyUsage);
  line("enhanced key usage", eku->InitializeEncode(oids));
  BSTR raw = nullptr;
  eku->get_RawData(XCN_CRYPT_STRING_BINARY, &raw);
  line("  as bytes", S_OK, hex(raw));
  eku->get_RawData(XCN_CRYPT_STRING_BASE64, &raw);
  line("  as base64", S_OK, text(raw));
  eku->get_RawData(XCN_CRYPT_STRING_BASE64HEADER, &raw);
  line("  with a header", S_OK, text(raw));
  for (IUnknown* o : {static_cast<IUnknown*>(eku), static_cast<IUnknown*>(oids),
                      static_cast<IUnknown*>(oid), static_cast<IUnknown*>(second)})
    o->Release();

  for (const char* name :
       {"CN=a;O=b", "CN=a,O=b", "CN=\"a;b\"", "O=Velmora, CN=HWID", "CN=\"open", "XX=1", ""}) {
    auto* dn =
        make<IX500DistinguishedName>(CLSID_CX500DistinguishedName, IID_IX500DistinguishedName);
    BSTR value = wide(name);
    HRESULT hr = dn->Encode(value, XCN_CERT_NAME_STR_NONE);
    SysFreeString(value);
    BSTR encoded = nullptr;
    if (SUCCEEDED(hr)) dn->get_EncodedName(XCN_CRYPT_STRING_BINARY, &encoded);
    line((std::string("name ") + name).c_str(), hr, hex(encoded));
    dn->Release();
  }
}

}  // namespace

int main() {
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  Library objects = load("pwenrol_objects.dll", "certenroll.dll");
  Library control = load("pwenrol_control.dll", "xenroll.dll");
  line("load the newer objects", objects.module ? S_OK : E_FAIL);
  line("load the older control", control.module ? S_OK : E_FAIL);
  if (!objects.module || !control.module) return 1;
  server("newer objects", objects, CLSID_CX509Enrollment, "{884E2046-217D-11DA-B2A4-000E7BBB2B09}");
  server("older control", control, CLSID_CEnroll, "{43F8F289-7A20-11D0-8F06-00C04FC295E1}");
  encodings();
  CoUninitialize();
  return 0;
}
