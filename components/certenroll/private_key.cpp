// CX509PrivateKey over a key container of the base RSA providers: its settings are
// taken while it is closed, Create makes the key pair in a new container, Open finds an
// existing one. Members for smart cards, key storage providers, security descriptors
// and user interface answer E_NOTIMPL.
#include "components/certenroll/enrolment.h"
#include "components/certenroll/objects.h"
#include "components/common/com_object.h"
#include "components/common/text.h"

namespace pw::certenroll {
namespace {

class PrivateKey : public com::DispatchObject<PrivateKey, IX509PrivateKey> {
 public:
  explicit PrivateKey(bool machine) { key_.machine = machine; }

  void* interfaceFor(REFIID riid) {
    if (riid == IID_IUnknown || riid == IID_IDispatch || riid == IID_IX509PrivateKey)
      return static_cast<IX509PrivateKey*>(this);
    return nullptr;
  }

  HRESULT STDMETHODCALLTYPE Open() override {
    if (opened_) return kAlreadyInitialized;
    if (key_.container.empty()) return CERTSRV_E_PROPERTY_EMPTY;
    if (HRESULT hr = enrol::openKeyPair(key_); FAILED(hr)) return hr;
    opened_ = existing_ = true;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Create() override {
    if (opened_) return kAlreadyInitialized;
    if (HRESULT hr = enrol::createKeyPair(&key_); FAILED(hr)) return hr;
    opened_ = true;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Close() override {
    opened_ = false;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Delete() override {
    if (key_.container.empty()) return CERTSRV_E_PROPERTY_EMPTY;
    enrol::deleteKeyPair(key_);
    opened_ = false;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Verify(X509PrivateKeyVerify) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Import(BSTR, BSTR, EncodingType) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Export(BSTR, EncodingType, BSTR*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE ExportPublicKey(IX509PublicKey**) override { return E_NOTIMPL; }

  HRESULT STDMETHODCALLTYPE get_ContainerName(BSTR* p) override {
    return getText(key_.container, p);
  }
  HRESULT STDMETHODCALLTYPE put_ContainerName(BSTR v) override {
    return putClosed([&] { key_.container = com::narrow(v); });
  }
  HRESULT STDMETHODCALLTYPE get_ContainerNamePrefix(BSTR*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE put_ContainerNamePrefix(BSTR) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_ReaderName(BSTR*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE put_ReaderName(BSTR) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_CspInformations(ICspInformations**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE put_CspInformations(ICspInformations*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_CspStatus(ICspStatus**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE put_CspStatus(ICspStatus*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_ProviderName(BSTR* p) override {
    const char* name = key_.providerName();
    return getText(name ? name : "", p);
  }
  HRESULT STDMETHODCALLTYPE put_ProviderName(BSTR v) override {
    return putClosed([&] { key_.provider = com::narrow(v); });
  }
  HRESULT STDMETHODCALLTYPE get_ProviderType(X509ProviderType* p) override {
    return com::outValue(X509ProviderType(key_.providerType), p);
  }
  HRESULT STDMETHODCALLTYPE put_ProviderType(X509ProviderType v) override {
    return putClosed([&] { key_.providerType = DWORD(v); });
  }
  HRESULT STDMETHODCALLTYPE get_LegacyCsp(VARIANT_BOOL* p) override {
    return com::outValue(VARIANT_TRUE, p);
  }
  HRESULT STDMETHODCALLTYPE put_LegacyCsp(VARIANT_BOOL v) override {
    return v == VARIANT_FALSE ? E_NOTIMPL : S_OK;
  }
  HRESULT STDMETHODCALLTYPE get_Algorithm(IObjectId**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE put_Algorithm(IObjectId*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_KeySpec(X509KeySpec* p) override {
    return com::outValue(X509KeySpec(key_.keySpec), p);
  }
  HRESULT STDMETHODCALLTYPE put_KeySpec(X509KeySpec v) override {
    if (v != XCN_AT_KEYEXCHANGE && v != XCN_AT_SIGNATURE) return E_INVALIDARG;
    return putClosed([&] { key_.keySpec = DWORD(v); });
  }
  HRESULT STDMETHODCALLTYPE get_Length(LONG* p) override {
    return com::outValue(LONG(key_.bits), p);
  }
  HRESULT STDMETHODCALLTYPE put_Length(LONG v) override {
    if (v < 512 || v > 16384 || v % 8) return E_INVALIDARG;
    return putClosed([&] { key_.bits = DWORD(v); });
  }
  HRESULT STDMETHODCALLTYPE get_ExportPolicy(X509PrivateKeyExportFlags* p) override {
    return com::outValue(
        key_.exportable ? XCN_NCRYPT_ALLOW_EXPORT_FLAG : XCN_NCRYPT_ALLOW_EXPORT_NONE, p);
  }
  HRESULT STDMETHODCALLTYPE put_ExportPolicy(X509PrivateKeyExportFlags v) override {
    return putClosed([&] { key_.exportable = (v & XCN_NCRYPT_ALLOW_EXPORT_FLAG) != 0; });
  }
  HRESULT STDMETHODCALLTYPE get_KeyUsage(X509PrivateKeyUsageFlags*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE put_KeyUsage(X509PrivateKeyUsageFlags) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_KeyProtection(X509PrivateKeyProtection*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE put_KeyProtection(X509PrivateKeyProtection) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE get_MachineContext(VARIANT_BOOL* p) override {
    return com::outValue(key_.machine ? VARIANT_TRUE : VARIANT_FALSE, p);
  }
  HRESULT STDMETHODCALLTYPE put_MachineContext(VARIANT_BOOL v) override {
    return putClosed([&] { key_.machine = v != VARIANT_FALSE; });
  }
  HRESULT STDMETHODCALLTYPE get_SecurityDescriptor(BSTR*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE put_SecurityDescriptor(BSTR) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_Certificate(EncodingType, BSTR*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE put_Certificate(EncodingType, BSTR) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_UniqueContainerName(BSTR*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_Opened(VARIANT_BOOL* p) override {
    return com::outValue(opened_ ? VARIANT_TRUE : VARIANT_FALSE, p);
  }
  HRESULT STDMETHODCALLTYPE get_DefaultContainer(VARIANT_BOOL* p) override {
    return com::outValue(VARIANT_FALSE, p);
  }
  HRESULT STDMETHODCALLTYPE get_Existing(VARIANT_BOOL* p) override {
    return com::outValue(existing_ ? VARIANT_TRUE : VARIANT_FALSE, p);
  }
  HRESULT STDMETHODCALLTYPE put_Existing(VARIANT_BOOL v) override {
    return putClosed([&] { existing_ = v != VARIANT_FALSE; });
  }
  // The key never asks anything of a user, so it is always silent. The request object
  // declares the same user-interface members and answers them alike: each interface is a
  // method table of its own, so each object spells them out.
  HRESULT STDMETHODCALLTYPE get_Silent(VARIANT_BOOL* p) override {
    return com::outValue(VARIANT_TRUE, p);
  }
  HRESULT STDMETHODCALLTYPE put_Silent(VARIANT_BOOL) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE get_ParentWindow(LONG*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE put_ParentWindow(LONG) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_UIContextMessage(BSTR*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE put_UIContextMessage(BSTR) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE put_Pin(BSTR) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_FriendlyName(BSTR*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE put_FriendlyName(BSTR) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_Description(BSTR*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE put_Description(BSTR) override { return E_NOTIMPL; }

 private:
  static HRESULT getText(const std::string& value, BSTR* out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (value.empty()) return CERTSRV_E_PROPERTY_EMPTY;
    *out = com::widen(value);
    return *out ? S_OK : E_OUTOFMEMORY;
  }
  // A setting can change only while the key is neither created nor opened.
  template <class Change>
  HRESULT putClosed(Change change) {
    if (opened_) return kAlreadyInitialized;
    change();
    return S_OK;
  }

  enrol::KeyParams key_;
  bool opened_ = false;
  bool existing_ = false;
};

}  // namespace

HRESULT createPrivateKey(bool machine, IX509PrivateKey** out) {
  return com::handOut(com::make<PrivateKey>(machine), IID_IX509PrivateKey,
                      reinterpret_cast<void**>(out));
}

}  // namespace pw::certenroll
