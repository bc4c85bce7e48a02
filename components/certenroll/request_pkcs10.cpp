// CX509CertificateRequestPkcs10: a PKCS #10 request initialised for a context, given a
// subject and extensions, and encoded (which creates its key pair if it has none yet)
// as SHA-256 with RSA. Members for templates, renewals, smart cards and key
// archival answer E_NOTIMPL.
#include "components/certenroll/objects.h"
#include "components/common/com_object.h"
#include "components/common/text.h"

namespace pw::certenroll {
namespace {

using com::Ref;

class RequestPkcs10 : public com::DispatchObject<RequestPkcs10, IX509CertificateRequestPkcs10> {
 public:
  void* interfaceFor(REFIID riid) {
    if (riid == IID_IUnknown || riid == IID_IDispatch || riid == IID_IX509CertificateRequest ||
        riid == IID_IX509CertificateRequestPkcs10)
      return static_cast<IX509CertificateRequestPkcs10*>(this);
    return nullptr;
  }

  // ---- IX509CertificateRequest ----
  HRESULT STDMETHODCALLTYPE Initialize(X509CertificateEnrollmentContext Context) override {
    if (context_) return kAlreadyInitialized;
    if (Context < ContextUser || Context > ContextAdministratorForceMachine) return E_INVALIDARG;
    IX509PrivateKey* key = nullptr;
    if (HRESULT hr = createPrivateKey(Context != ContextUser, &key); FAILED(hr)) return hr;
    return initialize(Context, Ref<IX509PrivateKey>(key));
  }
  HRESULT STDMETHODCALLTYPE Encode() override {
    return com::guardedWork([&] { return encode(); });
  }
  HRESULT STDMETHODCALLTYPE ResetForEncode() override {
    der_.clear();
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetInnerRequest(InnerRequestLevel,
                                            IX509CertificateRequest** ppValue) override {
    if (!ppValue) return E_POINTER;
    AddRef();
    *ppValue = this;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE get_Type(X509RequestType* p) override {
    return com::outValue(TypePkcs10, p);
  }
  HRESULT STDMETHODCALLTYPE get_EnrollmentContext(X509CertificateEnrollmentContext* p) override {
    if (!context_) return kNotInitialized;
    return com::outValue(context_, p);
  }
  // The request never asks anything of a user, so it is always silent (as the private
  // key object is, with the same members: each interface is its own method table).
  HRESULT STDMETHODCALLTYPE get_Silent(VARIANT_BOOL* p) override {
    return com::outValue(VARIANT_TRUE, p);
  }
  HRESULT STDMETHODCALLTYPE put_Silent(VARIANT_BOOL) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE get_ParentWindow(LONG*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE put_ParentWindow(LONG) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_UIContextMessage(BSTR*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE put_UIContextMessage(BSTR) override { return E_NOTIMPL; }
  // No default extensions or attributes are added, so there is nothing to suppress.
  HRESULT STDMETHODCALLTYPE get_SuppressDefaults(VARIANT_BOOL* p) override {
    return com::outValue(VARIANT_TRUE, p);
  }
  HRESULT STDMETHODCALLTYPE put_SuppressDefaults(VARIANT_BOOL) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE get_RenewalCertificate(EncodingType, BSTR*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE put_RenewalCertificate(EncodingType, BSTR) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE get_ClientId(RequestClientInfoClientId*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE put_ClientId(RequestClientInfoClientId) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_CspInformations(ICspInformations**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE put_CspInformations(ICspInformations*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_HashAlgorithm(IObjectId**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE put_HashAlgorithm(IObjectId*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_AlternateSignatureAlgorithm(VARIANT_BOOL* p) override {
    return com::outValue(VARIANT_FALSE, p);
  }
  HRESULT STDMETHODCALLTYPE put_AlternateSignatureAlgorithm(VARIANT_BOOL v) override {
    return v == VARIANT_FALSE ? S_OK : E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE get_RawData(EncodingType Encoding, BSTR* pValue) override {
    if (!pValue) return E_POINTER;
    *pValue = nullptr;
    if (!context_) return kNotInitialized;
    if (der_.empty()) return CERTSRV_E_PROPERTY_EMPTY;
    return encodeOut(der_, Encoding, pValue);
  }

  // ---- IX509CertificateRequestPkcs10 ----
  HRESULT STDMETHODCALLTYPE InitializeFromTemplateName(X509CertificateEnrollmentContext,
                                                       BSTR) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE InitializeFromPrivateKey(X509CertificateEnrollmentContext Context,
                                                     IX509PrivateKey* pPrivateKey,
                                                     BSTR strTemplateName) override {
    if (context_) return kAlreadyInitialized;
    if (!pPrivateKey) return E_POINTER;
    if (strTemplateName && *strTemplateName) return E_NOTIMPL;
    if (Context < ContextUser || Context > ContextAdministratorForceMachine) return E_INVALIDARG;
    return initialize(Context, Ref<IX509PrivateKey>::share(pPrivateKey));
  }
  HRESULT STDMETHODCALLTYPE InitializeFromPublicKey(X509CertificateEnrollmentContext,
                                                    IX509PublicKey*, BSTR) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE InitializeFromCertificate(X509CertificateEnrollmentContext, BSTR,
                                                      EncodingType,
                                                      X509RequestInheritOptions) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE InitializeDecode(BSTR, EncodingType) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE CheckSignature(Pkcs10AllowedSignatureTypes) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE IsSmartCard(VARIANT_BOOL* p) override {
    return com::outValue(VARIANT_FALSE, p);
  }
  HRESULT STDMETHODCALLTYPE get_TemplateObjectId(IObjectId** p) override {
    if (p) *p = nullptr;
    return CERTSRV_E_PROPERTY_EMPTY;
  }
  HRESULT STDMETHODCALLTYPE get_PublicKey(IX509PublicKey**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_PrivateKey(IX509PrivateKey** ppValue) override {
    return handOutMember(privateKey_, ppValue);
  }
  HRESULT STDMETHODCALLTYPE get_NullSigned(VARIANT_BOOL* p) override {
    return com::outValue(VARIANT_FALSE, p);
  }
  HRESULT STDMETHODCALLTYPE get_ReuseKey(VARIANT_BOOL* p) override {
    return com::outValue(VARIANT_FALSE, p);
  }
  HRESULT STDMETHODCALLTYPE get_OldCertificate(EncodingType, BSTR* p) override {
    if (p) *p = nullptr;
    return CERTSRV_E_PROPERTY_EMPTY;
  }
  HRESULT STDMETHODCALLTYPE get_Subject(IX500DistinguishedName** ppValue) override {
    if (ppValue && context_ && !subject_) {
      *ppValue = nullptr;
      return CERTSRV_E_PROPERTY_EMPTY;
    }
    return handOutMember(subject_, ppValue);
  }
  HRESULT STDMETHODCALLTYPE put_Subject(IX500DistinguishedName* pValue) override {
    if (!context_) return kNotInitialized;
    if (!pValue) return E_POINTER;
    subject_ = Ref<IX500DistinguishedName>::share(pValue);
    der_.clear();
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE get_CspStatuses(ICspStatuses**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_SmimeCapabilities(VARIANT_BOOL* p) override {
    return com::outValue(VARIANT_FALSE, p);
  }
  HRESULT STDMETHODCALLTYPE put_SmimeCapabilities(VARIANT_BOOL v) override {
    return v == VARIANT_FALSE ? S_OK : E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE get_SignatureInformation(IX509SignatureInformation**) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE get_KeyContainerNamePrefix(BSTR*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE put_KeyContainerNamePrefix(BSTR) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_CryptAttributes(ICryptAttributes**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_X509Extensions(IX509Extensions** ppValue) override {
    return handOutMember(extensions_, ppValue);
  }
  HRESULT STDMETHODCALLTYPE get_CriticalExtensions(IObjectIds** ppValue) override {
    return handOutMember(critical_, ppValue);
  }
  HRESULT STDMETHODCALLTYPE get_SuppressOids(IObjectIds**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_RawDataToBeSigned(EncodingType, BSTR*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE get_Signature(EncodingType, BSTR*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetCspStatuses(X509KeySpec, ICspStatuses**) override {
    return E_NOTIMPL;
  }

 private:
  HRESULT encode();
  HRESULT initialize(X509CertificateEnrollmentContext context, Ref<IX509PrivateKey> key) {
    IX509Extensions* extensions = nullptr;
    IObjectIds* critical = nullptr;
    HRESULT hr = createExtensions(&extensions);
    Ref<IX509Extensions> heldExtensions(extensions);
    if (SUCCEEDED(hr)) hr = createObjectIds(IID_IObjectIds, reinterpret_cast<void**>(&critical));
    Ref<IObjectIds> heldCritical(critical);
    if (FAILED(hr)) return hr;
    context_ = context;
    privateKey_ = key;
    extensions_ = heldExtensions;
    critical_ = heldCritical;
    return S_OK;
  }
  template <class T>
  HRESULT handOutMember(const Ref<T>& member, T** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (!context_) return kNotInitialized;
    *out = member.addRefed();
    return S_OK;
  }

  X509CertificateEnrollmentContext context_{};
  Ref<IX509PrivateKey> privateKey_;
  Ref<IX500DistinguishedName> subject_;
  Ref<IX509Extensions> extensions_;
  Ref<IObjectIds> critical_;
  enrol::Bytes der_;
};

HRESULT RequestPkcs10::encode() {
  if (!context_) return kNotInitialized;
  VARIANT_BOOL opened = VARIANT_FALSE;
  if (HRESULT hr = privateKey_->get_Opened(&opened); FAILED(hr)) return hr;
  if (opened == VARIANT_FALSE)
    if (HRESULT hr = privateKey_->Create(); FAILED(hr)) return hr;
  enrol::KeyParams key;
  enrol::RequestParams contents;
  if (HRESULT hr = describeRequest(this, &key, &contents); FAILED(hr)) return hr;
  enrol::Bytes der;
  if (HRESULT hr = enrol::signRequest(key, contents, &der); FAILED(hr)) return hr;
  der_ = std::move(der);
  return S_OK;
}

// Reads a text property into `out`; an empty property is no failure.
template <class Getter>
HRESULT readText(Getter getter, std::string* out) {
  BSTR text = nullptr;
  HRESULT hr = getter(&text);
  if (hr == CERTSRV_E_PROPERTY_EMPTY) return S_OK;
  if (FAILED(hr)) return hr;
  *out = com::narrow(text);
  SysFreeString(text);
  return S_OK;
}

// Reads bytes given out as XCN_CRYPT_STRING_BINARY.
template <class Getter>
HRESULT readBytes(Getter getter, enrol::Bytes* out) {
  BSTR bytes = nullptr;
  if (HRESULT hr = getter(&bytes); FAILED(hr)) return hr;
  const auto* data = reinterpret_cast<const BYTE*>(bytes);
  out->assign(data, data + SysStringByteLen(bytes));
  SysFreeString(bytes);
  return S_OK;
}

HRESULT describeKey(IX509PrivateKey* privateKey, enrol::KeyParams* key) {
  X509ProviderType type{};
  X509KeySpec spec{};
  LONG bits = 0;
  VARIANT_BOOL machine = VARIANT_FALSE;
  HRESULT hr;
  if (FAILED(hr = readText([&](BSTR* t) { return privateKey->get_ContainerName(t); },
                           &key->container)) ||
      FAILED(hr = readText([&](BSTR* t) { return privateKey->get_ProviderName(t); },
                           &key->provider)) ||
      FAILED(hr = privateKey->get_ProviderType(&type)) ||
      FAILED(hr = privateKey->get_KeySpec(&spec)) || FAILED(hr = privateKey->get_Length(&bits)) ||
      FAILED(hr = privateKey->get_MachineContext(&machine)))
    return hr;
  key->providerType = DWORD(type);
  key->keySpec = DWORD(spec);
  key->bits = DWORD(bits);
  key->machine = machine != VARIANT_FALSE;
  return S_OK;
}

HRESULT describeExtension(IX509Extension* extension, IObjectIds* critical, enrol::Extension* out) {
  IObjectId* oid = nullptr;
  if (HRESULT hr = extension->get_ObjectId(&oid); FAILED(hr)) return hr;
  out->oid = oidText(oid);
  oid->Release();
  VARIANT_BOOL flag = VARIANT_FALSE;
  if (HRESULT hr = extension->get_Critical(&flag); FAILED(hr)) return hr;
  out->critical = flag != VARIANT_FALSE;
  LONG count = 0;
  critical->get_Count(&count);
  for (LONG i = 0; i < count && !out->critical; ++i) {
    IObjectId* listed = nullptr;
    if (FAILED(critical->get_ItemByIndex(i, &listed))) continue;
    out->critical = oidText(listed) == out->oid;
    listed->Release();
  }
  return readBytes([&](BSTR* b) { return extension->get_RawData(XCN_CRYPT_STRING_BINARY, b); },
                   &out->value);
}

}  // namespace

HRESULT createRequestPkcs10(REFIID riid, void** ppv) {
  return com::handOut(com::make<RequestPkcs10>(), riid, ppv);
}

HRESULT describeRequest(IX509CertificateRequestPkcs10* request, enrol::KeyParams* key,
                        enrol::RequestParams* contents) {
  IX509PrivateKey* privateKey = nullptr;
  if (HRESULT hr = request->get_PrivateKey(&privateKey); FAILED(hr)) return hr;
  HRESULT hr = describeKey(privateKey, key);
  privateKey->Release();
  if (FAILED(hr)) return hr;

  IX500DistinguishedName* subject = nullptr;
  hr = request->get_Subject(&subject);
  if (hr == CERTSRV_E_PROPERTY_EMPTY) {
    contents->subject = {0x30, 0x00};  // an empty name
  } else if (FAILED(hr)) {
    return hr;
  } else {
    hr = readBytes([&](BSTR* b) { return subject->get_EncodedName(XCN_CRYPT_STRING_BINARY, b); },
                   &contents->subject);
    subject->Release();
    if (FAILED(hr)) return hr;
  }

  IX509Extensions* extensions = nullptr;
  IObjectIds* critical = nullptr;
  if (FAILED(hr = request->get_X509Extensions(&extensions))) return hr;
  Ref<IX509Extensions> heldExtensions(extensions);
  if (FAILED(hr = request->get_CriticalExtensions(&critical))) return hr;
  Ref<IObjectIds> heldCritical(critical);
  LONG count = 0;
  if (FAILED(hr = extensions->get_Count(&count))) return hr;
  contents->extensions.clear();
  for (LONG i = 0; i < count; ++i) {
    IX509Extension* item = nullptr;
    if (FAILED(hr = extensions->get_ItemByIndex(i, &item))) return hr;
    enrol::Extension described;
    hr = describeExtension(item, critical, &described);
    item->Release();
    if (FAILED(hr)) return hr;
    contents->extensions.push_back(std::move(described));
  }
  return S_OK;
}

}  // namespace pw::certenroll
