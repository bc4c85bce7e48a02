// CX509Enrollment: initialised for a context (with a PKCS #10 request of its own) or
// from a caller's request; CreateRequest encodes the request and keeps it pending,
// InstallResponse installs the authority's answer. Enrolling with a certification
// authority, templates and PFX export answer E_NOTIMPL.
#include "components/certenroll/objects.h"
#include "components/common/com_object.h"
#include "components/common/fault_point.h"
#include "components/common/text.h"

namespace pw::certenroll {
namespace {

using com::Ref;

class Enrollment : public com::DispatchObject<Enrollment, IX509Enrollment> {
 public:
  void* interfaceFor(REFIID riid) {
    if (riid == IID_IUnknown || riid == IID_IDispatch || riid == IID_IX509Enrollment)
      return static_cast<IX509Enrollment*>(this);
    return nullptr;
  }

  HRESULT STDMETHODCALLTYPE Initialize(X509CertificateEnrollmentContext Context) override {
    if (HRESULT fault = com::faultAt("IX509Enrollment_Initialize"); FAILED(fault)) return fault;
    if (request_) return kAlreadyInitialized;
    IX509CertificateRequestPkcs10* request = nullptr;
    HRESULT hr =
        createRequestPkcs10(IID_IX509CertificateRequestPkcs10, reinterpret_cast<void**>(&request));
    if (FAILED(hr)) return hr;
    Ref<IX509CertificateRequestPkcs10> held(request);
    if (FAILED(hr = request->Initialize(Context))) return hr;
    context_ = Context;
    request_ = Ref<IX509CertificateRequest>::share(request);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE InitializeFromTemplateName(X509CertificateEnrollmentContext,
                                                       BSTR) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE InitializeFromRequest(IX509CertificateRequest* pRequest) override {
    if (request_) return kAlreadyInitialized;
    if (!pRequest) return E_POINTER;
    X509CertificateEnrollmentContext context{};
    if (HRESULT hr = pRequest->get_EnrollmentContext(&context); FAILED(hr)) return hr;
    context_ = context;
    request_ = Ref<IX509CertificateRequest>::share(pRequest);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE CreateRequest(EncodingType Encoding, BSTR* pValue) override {
    return com::guardedWork([&] { return createRequest(Encoding, pValue); });
  }
  HRESULT STDMETHODCALLTYPE Enroll() override { return request_ ? E_NOTIMPL : kNotInitialized; }
  HRESULT STDMETHODCALLTYPE InstallResponse(InstallResponseRestrictionFlags Restrictions,
                                            BSTR strResponse, EncodingType Encoding,
                                            BSTR strPassword) override {
    return com::guardedWork([&] { return installResponse(Restrictions, strResponse, Encoding); });
  }
  HRESULT STDMETHODCALLTYPE CreatePFX(BSTR, PFXExportOptions, EncodingType, BSTR*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE get_Request(IX509CertificateRequest** pValue) override {
    if (!pValue) return E_POINTER;
    *pValue = nullptr;
    if (!request_) return kNotInitialized;
    *pValue = request_.addRefed();
    return S_OK;
  }
  // The object never asks anything of a user, so it is always silent.
  HRESULT STDMETHODCALLTYPE get_Silent(VARIANT_BOOL* pValue) override {
    if (!pValue) return E_POINTER;
    *pValue = VARIANT_TRUE;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE put_Silent(VARIANT_BOOL) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE get_ParentWindow(LONG*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE put_ParentWindow(LONG) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_NameValuePairs(IX509NameValuePairs**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE
  get_EnrollmentContext(X509CertificateEnrollmentContext* pValue) override {
    if (!pValue) return E_POINTER;
    if (!request_) return kNotInitialized;
    *pValue = context_;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE get_Status(IX509EnrollmentStatus**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_Certificate(EncodingType, BSTR*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_Response(EncodingType Encoding, BSTR* pValue) override {
    if (!pValue) return E_POINTER;
    *pValue = nullptr;
    if (response_.empty()) return CERTSRV_E_PROPERTY_EMPTY;
    return encodeOut(response_, Encoding, pValue);
  }
  HRESULT STDMETHODCALLTYPE get_CertificateFriendlyName(BSTR*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE put_CertificateFriendlyName(BSTR) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_CertificateDescription(BSTR*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE put_CertificateDescription(BSTR) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_RequestId(LONG*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_CAConfigString(BSTR*) override { return E_NOTIMPL; }

 private:
  HRESULT createRequest(EncodingType Encoding, BSTR* pValue);
  HRESULT installResponse(InstallResponseRestrictionFlags Restrictions, BSTR strResponse,
                          EncodingType Encoding);

  X509CertificateEnrollmentContext context_{};
  Ref<IX509CertificateRequest> request_;
  enrol::Bytes response_;
};

HRESULT Enrollment::createRequest(EncodingType Encoding, BSTR* pValue) {
  if (!pValue) return E_POINTER;
  *pValue = nullptr;
  if (!request_) return kNotInitialized;
  IX509CertificateRequestPkcs10* pkcs10 = nullptr;
  if (FAILED(request_->QueryInterface(IID_IX509CertificateRequestPkcs10,
                                      reinterpret_cast<void**>(&pkcs10))))
    return CRYPT_E_INVALID_MSG_TYPE;
  Ref<IX509CertificateRequestPkcs10> request(pkcs10);
  HRESULT hr = request->Encode();
  BSTR raw = nullptr;
  if (SUCCEEDED(hr)) hr = request->get_RawData(XCN_CRYPT_STRING_BINARY, &raw);
  if (FAILED(hr)) return hr;
  const auto* bytes = reinterpret_cast<const BYTE*>(raw);
  enrol::Bytes der(bytes, bytes + SysStringByteLen(raw));
  SysFreeString(raw);

  enrol::KeyParams key;
  enrol::RequestParams contents;
  if (FAILED(hr = describeRequest(request.get(), &key, &contents)) ||
      FAILED(hr = enrol::keepPending(key, contents)))
    return hr;
  return encodeOut(der, Encoding, pValue);
}

// Installation never checks the answer's chain against the trusted roots, so the
// restrictions that relax that check change nothing; an answer for no pending request
// is always refused.
HRESULT Enrollment::installResponse(InstallResponseRestrictionFlags Restrictions, BSTR strResponse,
                                    EncodingType Encoding) {
  if (!request_) return kNotInitialized;
  if (Restrictions & AllowNoOutstandingRequest) return E_NOTIMPL;
  enrol::Bytes der;
  if (HRESULT hr = decodeIn(strResponse, Encoding, &der); FAILED(hr)) return hr;
  HRESULT hr = enrol::install(der, context_ != ContextUser, enrol::Install::Response);
  if (SUCCEEDED(hr)) response_ = std::move(der);
  return hr;
}

}  // namespace

HRESULT createEnrollment(REFIID riid, void** ppv) {
  return com::handOut(com::make<Enrollment>(), riid, ppv);
}

}  // namespace pw::certenroll
