#include "components/certenroll/signing_key.h"

#include "components/certenroll/asn1.h"
#include "components/common/text.h"

namespace pw::enrol {

HRESULT SigningKey::open(const KeyParams& key) {
  if (!CryptAcquireContextA(provider_.out(), key.container.c_str(), key.providerName(),
                            key.providerType, key.machine ? CRYPT_MACHINE_KEYSET : 0))
    return com::lastError();
  keySpec_ = key.keySpec;
  DWORD size = 0;
  if (!CryptExportPublicKeyInfo(provider_.get(), keySpec_, X509_ASN_ENCODING, nullptr, &size))
    return com::lastError();
  publicKey_ = std::make_unique<ULONG_PTR[]>(size / sizeof(ULONG_PTR) + 1);
  auto* info = reinterpret_cast<CERT_PUBLIC_KEY_INFO*>(publicKey_.get());
  if (!CryptExportPublicKeyInfo(provider_.get(), keySpec_, X509_ASN_ENCODING, info, &size))
    return com::lastError();
  return S_OK;
}

CRYPT_ALGORITHM_IDENTIFIER SigningKey::algorithm() {
  return {const_cast<LPSTR>(szOID_RSA_SHA256RSA), {0, nullptr}};
}

HRESULT SigningKey::sign(const Bytes& toBeSigned, Bytes* signedDer) const {
  CRYPT_ALGORITHM_IDENTIFIER alg = algorithm();
  DWORD size = 0;
  if (!CryptSignCertificate(provider_.get(), keySpec_, X509_ASN_ENCODING, toBeSigned.data(),
                            DWORD(toBeSigned.size()), &alg, nullptr, nullptr, &size))
    return com::lastError();
  Bytes signature(size);
  if (!CryptSignCertificate(provider_.get(), keySpec_, X509_ASN_ENCODING, toBeSigned.data(),
                            DWORD(toBeSigned.size()), &alg, nullptr, signature.data(), &size))
    return com::lastError();
  CERT_SIGNED_CONTENT_INFO content{};
  content.ToBeSigned = {DWORD(toBeSigned.size()), const_cast<BYTE*>(toBeSigned.data())};
  content.SignatureAlgorithm = alg;
  content.Signature = {size, signature.data(), 0};
  return encodeObject(X509_CERT, &content, signedDer);
}

}  // namespace pw::enrol
