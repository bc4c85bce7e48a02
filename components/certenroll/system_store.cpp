#include "components/certenroll/system_store.h"

#include "components/common/text.h"

#include <memory>

namespace pw::enrol {

SystemStore::SystemStore(const char* name, bool machine)
    : store_(CertOpenStore(
          CERT_STORE_PROV_SYSTEM_A, 0, 0,
          machine ? CERT_SYSTEM_STORE_LOCAL_MACHINE : CERT_SYSTEM_STORE_CURRENT_USER, name)) {}

HRESULT SystemStore::commit() {
  return CertControlStore(store_.get(), 0, CERT_STORE_CTRL_COMMIT, nullptr) ? S_OK
                                                                            : com::lastError();
}

HRESULT KeyProvider::read(PCCERT_CONTEXT certificate) {
  DWORD size = 0;
  if (!CertGetCertificateContextProperty(certificate, CERT_KEY_PROV_INFO_PROP_ID, nullptr, &size))
    return com::lastError();
  auto buffer = std::make_unique<ULONG_PTR[]>(size / sizeof(ULONG_PTR) + 1);
  if (!CertGetCertificateContextProperty(certificate, CERT_KEY_PROV_INFO_PROP_ID, buffer.get(),
                                         &size))
    return com::lastError();
  const auto* from = reinterpret_cast<const CRYPT_KEY_PROV_INFO*>(buffer.get());
  container_ = from->pwszContainerName ? from->pwszContainerName : com::WideString();
  provider_ = from->pwszProvName ? from->pwszProvName : com::WideString();
  info_ = *from;
  info_.cProvParam = 0;
  info_.rgProvParam = nullptr;
  return S_OK;
}

KeyProvider::KeyProvider(const KeyParams& key)
    : container_(com::wide(key.container)),
      provider_(key.providerName() ? com::wide(key.providerName()) : com::WideString()) {
  info_.dwProvType = key.providerType;
  info_.dwFlags = key.machine ? CRYPT_MACHINE_KEYSET : 0;
  info_.dwKeySpec = key.keySpec;
}

HRESULT KeyProvider::setOn(PCCERT_CONTEXT certificate) {
  info_.pwszContainerName = container_.data();
  info_.pwszProvName = provider_.empty() ? nullptr : provider_.data();
  return CertSetCertificateContextProperty(certificate, CERT_KEY_PROV_INFO_PROP_ID, 0, &info_)
             ? S_OK
             : com::lastError();
}

win32::CertContext certificateOf(const BYTE* der, DWORD size) {
  return win32::CertContext(CertCreateCertificateContext(X509_ASN_ENCODING, der, size));
}

}  // namespace pw::enrol
