// CX500DistinguishedName: a subject name encoded from its X.500 text, or decoded from
// its DER; it then answers with both.
#include "certenroll/enrolment.h"
#include "certenroll/objects.h"
#include "ole32/com_object.h"

namespace pw::certenroll {
namespace {

class DistinguishedName : public ole32::DispatchObject<DistinguishedName, IX500DistinguishedName> {
 public:
  void* interfaceFor(REFIID riid) {
    if (riid == IID_IUnknown || riid == IID_IDispatch || riid == IID_IX500DistinguishedName)
      return static_cast<IX500DistinguishedName*>(this);
    return nullptr;
  }

  HRESULT STDMETHODCALLTYPE Decode(BSTR strEncodedName, EncodingType Encoding,
                                   X500NameFlags NameFlags) override {
    std::string der, text;
    if (HRESULT hr = decodeIn(strEncodedName, Encoding, &der); FAILED(hr)) return hr;
    if (HRESULT hr = enrol::renderName(der, DWORD(NameFlags), &text); FAILED(hr)) return hr;
    der_ = std::move(der);
    text_ = std::move(text);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Encode(BSTR strName, X500NameFlags NameFlags) override {
    return enrol::guardedWork([&] { return encode(strName, NameFlags); });
  }
  HRESULT encode(BSTR strName, X500NameFlags NameFlags) {
    if (!strName) return E_POINTER;
    std::string der;
    if (HRESULT hr = enrol::encodeName(strName, DWORD(NameFlags), &der); FAILED(hr)) return hr;
    der_ = std::move(der);
    text_ = enrol::narrow(strName);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE get_Name(BSTR* pValue) override {
    if (!pValue) return E_POINTER;
    *pValue = nullptr;
    if (der_.empty()) return kNotInitialized;
    *pValue = enrol::widen(text_);
    return *pValue ? S_OK : E_OUTOFMEMORY;
  }
  HRESULT STDMETHODCALLTYPE get_EncodedName(EncodingType Encoding, BSTR* pValue) override {
    if (!pValue) return E_POINTER;
    *pValue = nullptr;
    if (der_.empty()) return kNotInitialized;
    return encodeOut(der_, Encoding, pValue);
  }

 private:
  std::string der_;
  std::string text_;
};

}  // namespace

HRESULT createDistinguishedName(REFIID riid, void** ppv) {
  return ole32::handOut(ole32::make<DistinguishedName>(), riid, ppv);
}

}  // namespace pw::certenroll
