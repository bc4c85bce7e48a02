// CX500DistinguishedName: a subject name encoded from its X.500 text, or decoded from
// its DER; it then answers with both.
#include "components/certenroll/enrolment.h"
#include "components/certenroll/objects.h"
#include "components/common/com_object.h"
#include "components/common/text.h"

namespace pw::certenroll {
namespace {

class DistinguishedName : public com::DispatchObject<DistinguishedName, IX500DistinguishedName> {
 public:
  void* interfaceFor(REFIID riid) {
    if (riid == IID_IUnknown || riid == IID_IDispatch || riid == IID_IX500DistinguishedName)
      return static_cast<IX500DistinguishedName*>(this);
    return nullptr;
  }

  HRESULT STDMETHODCALLTYPE Decode(BSTR strEncodedName, EncodingType Encoding,
                                   X500NameFlags NameFlags) override {
    return com::guardedWork([&] { return decode(strEncodedName, Encoding, NameFlags); });
  }
  HRESULT decode(BSTR strEncodedName, EncodingType Encoding, X500NameFlags NameFlags) {
    enrol::Bytes der;
    std::string text;
    if (HRESULT hr = decodeIn(strEncodedName, Encoding, &der); FAILED(hr)) return hr;
    if (HRESULT hr = enrol::renderName(der, DWORD(NameFlags), &text); FAILED(hr)) return hr;
    der_ = std::move(der);
    text_ = std::move(text);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Encode(BSTR strName, X500NameFlags NameFlags) override {
    return com::guardedWork([&] { return encode(strName, NameFlags); });
  }
  HRESULT encode(BSTR strName, X500NameFlags NameFlags) {
    if (!strName) return E_POINTER;
    enrol::Bytes der;
    if (HRESULT hr = enrol::encodeName(strName, DWORD(NameFlags), &der); FAILED(hr)) return hr;
    der_ = std::move(der);
    text_ = com::narrow(strName);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE get_Name(BSTR* pValue) override {
    if (!pValue) return E_POINTER;
    *pValue = nullptr;
    if (der_.empty()) return kNotInitialized;
    *pValue = com::widen(text_);
    return *pValue ? S_OK : E_OUTOFMEMORY;
  }
  HRESULT STDMETHODCALLTYPE get_EncodedName(EncodingType Encoding, BSTR* pValue) override {
    if (!pValue) return E_POINTER;
    *pValue = nullptr;
    if (der_.empty()) return kNotInitialized;
    return encodeOut(der_, Encoding, pValue);
  }

 private:
  enrol::Bytes der_;
  std::string text_;
};

}  // namespace

HRESULT createDistinguishedName(REFIID riid, void** ppv) {
  return com::handOut(com::make<DistinguishedName>(), riid, ppv);
}

}  // namespace pw::certenroll
