// Extensions: CX509Extension's members shared by the key-usage and enhanced-key-usage
// extensions (each initialised once, then answering with its object identifier, its
// DER value and its critical flag), and the request's list of extensions.
#include "components/certenroll/collection.h"
#include "components/certenroll/enrolment.h"
#include "components/certenroll/objects.h"
#include "components/common/com_object.h"
#include "components/common/text.h"

namespace pw::certenroll {
namespace {

template <class Self, class Interface>
class ExtensionBase : public com::DispatchObject<Self, Interface> {
 public:
  void* interfaceFor(REFIID riid) {
    if (riid == IID_IUnknown || riid == IID_IDispatch || riid == IID_IX509Extension ||
        riid == Self::kIid)
      return static_cast<Interface*>(this);
    return nullptr;
  }

  HRESULT STDMETHODCALLTYPE Initialize(IObjectId* pObjectId, EncodingType Encoding,
                                       BSTR strEncodedData) override {
    if (initialized()) return kAlreadyInitialized;
    if (!pObjectId) return E_POINTER;
    std::string oid = oidText(pObjectId);
    enrol::Bytes value;
    if (oid.empty()) return E_INVALIDARG;
    if (HRESULT hr = decodeIn(strEncodedData, Encoding, &value); FAILED(hr)) return hr;
    extension_.oid = oid;
    extension_.value = value;
    oidObject_ = com::Ref<IObjectId>::share(pObjectId);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE get_ObjectId(IObjectId** ppValue) override {
    if (!ppValue) return E_POINTER;
    *ppValue = nullptr;
    if (!initialized()) return kNotInitialized;
    if (!oidObject_) {
      IObjectId* oid = nullptr;
      if (HRESULT hr = createObjectId(IID_IObjectId, reinterpret_cast<void**>(&oid)); FAILED(hr))
        return hr;
      BSTR text = com::widen(extension_.oid);
      HRESULT hr = text ? oid->InitializeFromValue(text) : E_OUTOFMEMORY;
      SysFreeString(text);
      if (FAILED(hr)) {
        oid->Release();
        return hr;
      }
      oidObject_ = com::Ref<IObjectId>(oid);
    }
    *ppValue = oidObject_.addRefed();
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE get_RawData(EncodingType Encoding, BSTR* pValue) override {
    if (!pValue) return E_POINTER;
    *pValue = nullptr;
    if (!initialized()) return kNotInitialized;
    return encodeOut(extension_.value, Encoding, pValue);
  }
  HRESULT STDMETHODCALLTYPE get_Critical(VARIANT_BOOL* pValue) override {
    if (!pValue) return E_POINTER;
    *pValue = extension_.critical ? VARIANT_TRUE : VARIANT_FALSE;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE put_Critical(VARIANT_BOOL Value) override {
    extension_.critical = Value != VARIANT_FALSE;
    return S_OK;
  }

 protected:
  bool initialized() const { return !extension_.oid.empty(); }
  // Takes an encoded extension, keeping the critical flag already put.
  void take(const enrol::Extension& encoded) {
    extension_.oid = encoded.oid;
    extension_.value = encoded.value;
  }

  enrol::Extension extension_;
  com::Ref<IObjectId> oidObject_;
};

class KeyUsage : public ExtensionBase<KeyUsage, IX509ExtensionKeyUsage> {
 public:
  static constexpr const IID& kIid = IID_IX509ExtensionKeyUsage;

  HRESULT STDMETHODCALLTYPE InitializeEncode(X509KeyUsageFlags UsageFlags) override {
    if (initialized()) return kAlreadyInitialized;
    enrol::Extension encoded;
    if (HRESULT hr = enrol::encodeKeyUsage(DWORD(UsageFlags), &encoded); FAILED(hr)) return hr;
    take(encoded);
    usage_ = UsageFlags;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE InitializeDecode(EncodingType, BSTR) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_KeyUsage(X509KeyUsageFlags* pValue) override {
    if (!pValue) return E_POINTER;
    if (!initialized()) return kNotInitialized;
    *pValue = usage_;
    return S_OK;
  }

 private:
  X509KeyUsageFlags usage_ = XCN_CERT_NO_KEY_USAGE;
};

class EnhancedKeyUsage : public ExtensionBase<EnhancedKeyUsage, IX509ExtensionEnhancedKeyUsage> {
 public:
  static constexpr const IID& kIid = IID_IX509ExtensionEnhancedKeyUsage;

  HRESULT STDMETHODCALLTYPE InitializeEncode(IObjectIds* pValue) override {
    if (initialized()) return kAlreadyInitialized;
    if (!pValue) return E_POINTER;
    LONG count = 0;
    if (HRESULT hr = pValue->get_Count(&count); FAILED(hr)) return hr;
    std::vector<std::string> oids;
    for (LONG i = 0; i < count; ++i) {
      IObjectId* item = nullptr;
      if (HRESULT hr = pValue->get_ItemByIndex(i, &item); FAILED(hr)) return hr;
      std::string oid = oidText(item);
      item->Release();
      if (oid.empty()) return E_INVALIDARG;
      oids.push_back(oid);
    }
    enrol::Extension encoded;
    if (HRESULT hr = enrol::encodeEnhancedKeyUsage(oids, &encoded); FAILED(hr)) return hr;
    take(encoded);
    usages_ = com::Ref<IObjectIds>::share(pValue);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE InitializeDecode(EncodingType, BSTR) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_EnhancedKeyUsage(IObjectIds** ppValue) override {
    if (!ppValue) return E_POINTER;
    *ppValue = nullptr;
    if (!usages_) return kNotInitialized;
    *ppValue = usages_.addRefed();
    return S_OK;
  }

 private:
  com::Ref<IObjectIds> usages_;
};

class Extensions : public Collection<Extensions, IX509Extensions, IX509Extension> {
 public:
  void* interfaceFor(REFIID riid) {
    if (riid == IID_IUnknown || riid == IID_IDispatch || riid == IID_IX509Extensions)
      return static_cast<IX509Extensions*>(this);
    return nullptr;
  }

  HRESULT STDMETHODCALLTYPE get_IndexByObjectId(IObjectId* pObjectId, LONG* pIndex) override {
    if (!pObjectId || !pIndex) return E_POINTER;
    std::string wanted = oidText(pObjectId);
    for (size_t i = 0; i < items_.size(); ++i) {
      IObjectId* oid = nullptr;
      if (FAILED(items_[i]->get_ObjectId(&oid))) continue;
      bool same = oidText(oid) == wanted;
      oid->Release();
      if (same) {
        *pIndex = LONG(i);
        return S_OK;
      }
    }
    return CRYPT_E_NOT_FOUND;
  }
};

}  // namespace

HRESULT createKeyUsage(REFIID riid, void** ppv) {
  return com::handOut(com::make<KeyUsage>(), riid, ppv);
}
HRESULT createEnhancedKeyUsage(REFIID riid, void** ppv) {
  return com::handOut(com::make<EnhancedKeyUsage>(), riid, ppv);
}
HRESULT createExtensions(IX509Extensions** out) {
  return com::handOut(com::make<Extensions>(), IID_IX509Extensions, reinterpret_cast<void**>(out));
}

}  // namespace pw::certenroll
