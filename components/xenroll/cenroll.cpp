// CEnroll keeps the settings a caller puts (store names and locations, key
// specification, container, provider, key generation flags, hash) and hands the work
// to the enrolment engine. Members that would need a user interface, a file, a
// directory service or a smart card answer E_NOTIMPL. The store members come in
// name/type/flags triples for each of the four stores, as ICEnroll declares them; each
// stays a one-line member so the class reads against the interface line by line.
#include "components/xenroll/cenroll.h"

#include <xenroll.h>

#include "components/certenroll/enrolment.h"
#include "components/common/com_object.h"
#include "components/common/fault_point.h"
#include "components/common/text.h"

#include <string>

namespace pw::xenroll {
namespace {

constexpr LONG kLocationMask = 0x00FF0000;
constexpr LONG kLocalMachine = 0x00020000;
constexpr LONG kCurrentUser = 0x00010000;
constexpr DWORD kMachineKeySet = 0x20;  // CRYPT_MACHINE_KEYSET

// The X.509 key usages xenroll asks for by key specification.
constexpr BYTE kExchangeUsage = 0xF0;     // signature, non-repudiation, key and data encipherment
constexpr BYTE kEnciphermentOnly = 0x30;  // key and data encipherment
constexpr BYTE kSignatureUsage = 0xC0;    // signature, non-repudiation

constexpr const char* kSystem = "System";

HRESULT getText(const std::string& value, BSTR* out) {
  if (!out) return E_POINTER;
  *out = com::widen(value);
  return *out ? S_OK : E_OUTOFMEMORY;
}

HRESULT putText(std::string* value, BSTR text) {
  *value = com::narrow(text);
  return S_OK;
}

class Enroll : public com::DispatchObject<Enroll, ICEnroll3> {
 public:
  void* interfaceFor(REFIID riid) {
    if (riid == IID_IUnknown || riid == IID_IDispatch || riid == IID_ICEnroll ||
        riid == IID_ICEnroll2 || riid == IID_ICEnroll3)
      return static_cast<ICEnroll3*>(this);
    return nullptr;
  }

  // ---- requests and answers ----
  HRESULT STDMETHODCALLTYPE createFilePKCS10(BSTR, BSTR, BSTR) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE acceptFilePKCS7(BSTR) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE createPKCS10(BSTR DNName, BSTR Usage, BSTR* pPKCS10) override {
    return com::guardedWork([&] { return request(DNName, Usage, pPKCS10); });
  }
  HRESULT STDMETHODCALLTYPE acceptPKCS7(BSTR PKCS7) override {
    return com::guardedWork([&] { return installAnswer(PKCS7, enrol::Install::Response); });
  }
  HRESULT STDMETHODCALLTYPE getCertFromPKCS7(BSTR, BSTR*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE enumProviders(LONG, LONG, BSTR*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE enumContainers(LONG, BSTR*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE freeRequestInfo(BSTR) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE InstallPKCS7(BSTR PKCS7) override {
    return com::guardedWork([&] { return installAnswer(PKCS7, enrol::Install::Authorities); });
  }
  HRESULT STDMETHODCALLTYPE Reset() override {
    s_ = Settings();
    return S_OK;
  }

  // ---- stores: the system stores of Windows' names; the authorities' stores follow the
  // personal store's location ----
  HRESULT STDMETHODCALLTYPE get_MyStoreName(BSTR* p) override { return getText("MY", p); }
  HRESULT STDMETHODCALLTYPE put_MyStoreName(BSTR) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_MyStoreType(BSTR* p) override { return getText(kSystem, p); }
  HRESULT STDMETHODCALLTYPE put_MyStoreType(BSTR) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_MyStoreFlags(LONG* p) override {
    return com::outValue(s_.myFlags, p);
  }
  HRESULT STDMETHODCALLTYPE put_MyStoreFlags(LONG v) override {
    if (HRESULT fault = com::faultAt("ICEnroll_put_MyStoreFlags"); FAILED(fault)) return fault;
    return putFlags(&s_.myFlags, v);
  }
  HRESULT STDMETHODCALLTYPE get_CAStoreName(BSTR* p) override { return getText("CA", p); }
  HRESULT STDMETHODCALLTYPE put_CAStoreName(BSTR) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_CAStoreType(BSTR* p) override { return getText(kSystem, p); }
  HRESULT STDMETHODCALLTYPE put_CAStoreType(BSTR) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_CAStoreFlags(LONG* p) override {
    return com::outValue(s_.myFlags, p);
  }
  HRESULT STDMETHODCALLTYPE put_CAStoreFlags(LONG) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_RootStoreName(BSTR* p) override { return getText("Root", p); }
  HRESULT STDMETHODCALLTYPE put_RootStoreName(BSTR) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_RootStoreType(BSTR* p) override { return getText(kSystem, p); }
  HRESULT STDMETHODCALLTYPE put_RootStoreType(BSTR) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_RootStoreFlags(LONG* p) override {
    return com::outValue(s_.myFlags, p);
  }
  HRESULT STDMETHODCALLTYPE put_RootStoreFlags(LONG) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_RequestStoreName(BSTR* p) override { return getText("REQUEST", p); }
  HRESULT STDMETHODCALLTYPE put_RequestStoreName(BSTR) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_RequestStoreType(BSTR* p) override { return getText(kSystem, p); }
  HRESULT STDMETHODCALLTYPE put_RequestStoreType(BSTR) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_RequestStoreFlags(LONG* p) override {
    return com::outValue(s_.requestFlags, p);
  }
  HRESULT STDMETHODCALLTYPE put_RequestStoreFlags(LONG v) override {
    return putFlags(&s_.requestFlags, v);
  }

  // ---- key ----
  HRESULT STDMETHODCALLTYPE get_ContainerName(BSTR* p) override {
    return getText(s_.key.container, p);
  }
  HRESULT STDMETHODCALLTYPE put_ContainerName(BSTR v) override {
    return putText(&s_.key.container, v);
  }
  HRESULT STDMETHODCALLTYPE get_ProviderName(BSTR* p) override {
    return getText(s_.key.provider, p);
  }
  HRESULT STDMETHODCALLTYPE put_ProviderName(BSTR v) override {
    return putText(&s_.key.provider, v);
  }
  HRESULT STDMETHODCALLTYPE get_ProviderType(LONG* p) override {
    return com::outValue(s_.key.providerType, p);
  }
  HRESULT STDMETHODCALLTYPE put_ProviderType(LONG v) override {
    s_.key.providerType = DWORD(v);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE get_KeySpec(LONG* p) override {
    return com::outValue(s_.key.keySpec, p);
  }
  HRESULT STDMETHODCALLTYPE put_KeySpec(LONG v) override {
    if (v != AT_KEYEXCHANGE && v != AT_SIGNATURE) return E_INVALIDARG;
    s_.key.keySpec = DWORD(v);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE get_ProviderFlags(LONG* p) override {
    return com::outValue(s_.providerFlags, p);
  }
  HRESULT STDMETHODCALLTYPE put_ProviderFlags(LONG v) override {
    s_.providerFlags = v;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE get_UseExistingKeySet(BOOL*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE put_UseExistingKeySet(BOOL) override { return E_NOTIMPL; }
  // The key length in the upper 16 bits (0: the provider's default), CRYPT_EXPORTABLE below.
  HRESULT STDMETHODCALLTYPE get_GenKeyFlags(LONG* p) override {
    return com::outValue(s_.genKeyFlags, p);
  }
  HRESULT STDMETHODCALLTYPE put_GenKeyFlags(LONG v) override {
    s_.genKeyFlags = v;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE get_DeleteRequestCert(BOOL* p) override {
    return com::outValue(s_.deleteRequestCert, p);
  }
  HRESULT STDMETHODCALLTYPE put_DeleteRequestCert(BOOL v) override {
    s_.deleteRequestCert = v;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE get_WriteCertToCSP(BOOL*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE put_WriteCertToCSP(BOOL) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_SPCFileName(BSTR*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE put_SPCFileName(BSTR) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_PVKFileName(BSTR*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE put_PVKFileName(BSTR) override { return E_NOTIMPL; }
  // Requests are signed with SHA-256 whatever is asked; the name is kept for the caller.
  HRESULT STDMETHODCALLTYPE get_HashAlgorithm(BSTR* p) override { return getText(s_.hash, p); }
  HRESULT STDMETHODCALLTYPE put_HashAlgorithm(BSTR v) override { return putText(&s_.hash, v); }

  // ---- ICEnroll2 ----
  HRESULT STDMETHODCALLTYPE addCertTypeToRequest(BSTR) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE addNameValuePairToSignature(BSTR, BSTR) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_WriteCertToUserDS(BOOL*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE put_WriteCertToUserDS(BOOL) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_EnableT61DNEncoding(BOOL*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE put_EnableT61DNEncoding(BOOL) override { return E_NOTIMPL; }

  // ---- ICEnroll3 ----
  HRESULT STDMETHODCALLTYPE GetSupportedKeySpec(LONG* p) override {
    return com::outValue(AT_KEYEXCHANGE | AT_SIGNATURE, p);
  }
  HRESULT STDMETHODCALLTYPE GetKeyLen(BOOL, BOOL, LONG*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE EnumAlgs(LONG, LONG, LONG*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetAlgName(LONG, BSTR*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE put_ReuseHardwareKeyIfUnableToGenNew(BOOL) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE get_ReuseHardwareKeyIfUnableToGenNew(BOOL*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE put_HashAlgID(LONG) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_HashAlgID(LONG*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE put_LimitExchangeKeyToEncipherment(BOOL v) override {
    s_.limitExchange = v;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE get_LimitExchangeKeyToEncipherment(BOOL* p) override {
    return com::outValue(s_.limitExchange, p);
  }
  HRESULT STDMETHODCALLTYPE put_EnableSMIMECapabilities(BOOL) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_EnableSMIMECapabilities(BOOL*) override { return E_NOTIMPL; }

 private:
  static HRESULT putFlags(LONG* flags, LONG value) {
    LONG location = value & kLocationMask;
    if (location != kCurrentUser && location != kLocalMachine) return E_INVALIDARG;
    *flags = value;
    return S_OK;
  }
  // The key set and the pending request follow the request store's location, or the
  // provider flags when they name the machine's key set.
  bool machineKeys() const {
    return (s_.requestFlags & kLocationMask) == kLocalMachine ||
           (s_.providerFlags & kMachineKeySet);
  }
  HRESULT request(BSTR DNName, BSTR Usage, BSTR* pPKCS10);
  HRESULT installAnswer(BSTR text, enrol::Install mode);

  struct Settings {
    LONG myFlags = kCurrentUser;
    LONG requestFlags = kCurrentUser;
    enrol::KeyParams key;
    LONG providerFlags = 0;
    LONG genKeyFlags = 0;
    BOOL deleteRequestCert = TRUE;
    BOOL limitExchange = FALSE;
    std::string hash = "SHA256";
  } s_;
};

// The usage text is a comma-separated list of extended-key-usage object identifiers.
HRESULT usageExtension(const std::string& usage, enrol::Extension* out) {
  std::vector<std::string> oids;
  size_t start = 0;
  while (start <= usage.size()) {
    size_t comma = usage.find(',', start);
    std::string oid = usage.substr(start, comma - start);
    if (!oid.empty()) oids.push_back(oid);
    if (comma == std::string::npos) break;
    start = comma + 1;
  }
  if (oids.empty()) return S_FALSE;
  return enrol::encodeEnhancedKeyUsage(oids, out);
}

HRESULT Enroll::request(BSTR DNName, BSTR Usage, BSTR* pPKCS10) {
  if (!pPKCS10) return E_POINTER;
  *pPKCS10 = nullptr;
  enrol::RequestParams request;
  if (HRESULT hr = enrol::encodeName(DNName, 0, &request.subject); FAILED(hr)) return hr;
  enrol::Extension extension;
  HRESULT hr = usageExtension(com::narrow(Usage), &extension);
  if (FAILED(hr)) return hr;
  if (hr == S_OK) request.extensions.push_back(extension);
  BYTE usage = s_.key.keySpec == AT_SIGNATURE ? kSignatureUsage
               : s_.limitExchange             ? kEnciphermentOnly
                                              : kExchangeUsage;
  if (FAILED(hr = enrol::encodeKeyUsage(usage, &extension))) return hr;
  request.extensions.push_back(extension);

  enrol::KeyParams key = s_.key;
  key.machine = machineKeys();
  key.exportable = (s_.genKeyFlags & CRYPT_EXPORTABLE) != 0;
  if (DWORD bits = DWORD(s_.genKeyFlags) >> 16) key.bits = bits;
  if (FAILED(hr = enrol::createKeyPair(&key))) return hr;
  enrol::Bytes der;
  std::string text;
  if (FAILED(hr = enrol::signRequest(key, request, &der)) ||
      FAILED(hr = enrol::keepPending(key, request)) ||
      FAILED(hr = enrol::toText(der, CRYPT_STRING_BASE64, &text))) {
    enrol::deleteKeyPair(key);
    return hr;
  }
  *pPKCS10 = com::widen(text);
  return *pPKCS10 ? S_OK : E_OUTOFMEMORY;
}

HRESULT Enroll::installAnswer(BSTR text, enrol::Install mode) {
  if (!text) return E_INVALIDARG;
  enrol::Bytes der;
  if (HRESULT hr = enrol::fromText(com::narrow(text), CRYPT_STRING_BASE64, &der); FAILED(hr))
    return hr;
  return enrol::install(der, (s_.myFlags & kLocationMask) == kLocalMachine, mode);
}

}  // namespace

HRESULT createEnroll(REFIID riid, void** ppv) {
  return com::handOut(com::make<Enroll>(), riid, ppv);
}

}  // namespace pw::xenroll
