// A pending request is kept as Windows keeps it: a self-signed placeholder certificate
// for the request's subject and key in the "REQUEST" store of its context, carrying
// the key-provider information that the issued certificate will inherit.
#include "certenroll/certificate.h"
#include "certenroll/enrolment.h"

#include "advapi32/key_container.h"

#include "machine/ossl.h"

#include <openssl/bn.h>
#include <openssl/evp.h>
#include <openssl/rand.h>

namespace pw::enrol {
namespace {

constexpr long kPlaceholderDays = 365;

HRESULT placeholderFor(const KeyParams& key, const RequestParams& request, std::string* der) {
  crypt::Pkey pair =
      crypt::containerKeyPair(key.container, key.machine ? CRYPT_MACHINE_KEYSET : 0, key.keySpec);
  if (!pair) return NTE_BAD_KEYSET;
  const auto* subjectBytes = reinterpret_cast<const unsigned char*>(request.subject.data());
  ossl::Name subject(d2i_X509_NAME(nullptr, &subjectBytes, long(request.subject.size())));
  Certificate placeholder(X509_new());
  unsigned char serial[16];
  if (!subject || !placeholder || RAND_bytes(serial, sizeof serial) != 1) return E_OUTOFMEMORY;
  serial[0] &= 0x7F;  // a positive number
  ossl::Bignum number(BN_bin2bn(serial, sizeof serial, nullptr));
  X509* x = placeholder.get();
  if (!number || !X509_set_version(x, 2) ||
      !BN_to_ASN1_INTEGER(number.get(), X509_get_serialNumber(x)) ||
      !X509_set_subject_name(x, subject.get()) || !X509_set_issuer_name(x, subject.get()) ||
      !X509_gmtime_adj(X509_getm_notBefore(x), 0) ||
      !X509_time_adj_ex(X509_getm_notAfter(x), kPlaceholderDays, 0, nullptr) ||
      !X509_set_pubkey(x, pair.get()) || X509_sign(x, pair.get(), EVP_sha256()) <= 0)
    return E_OUTOFMEMORY;
  *der = derOf(x);
  return der->empty() ? CRYPT_E_BAD_ENCODE : S_OK;
}

}  // namespace

HRESULT keepPending(const KeyParams& key, const RequestParams& request) {
  std::string der;
  if (HRESULT hr = placeholderFor(key, request, &der); FAILED(hr)) return hr;
  SystemStore store("REQUEST", key.machine);
  if (!store) return lastError();
  PCCERT_CONTEXT added = nullptr;
  if (!CertAddEncodedCertificateToStore(store.get(), X509_ASN_ENCODING,
                                        reinterpret_cast<const BYTE*>(der.data()),
                                        DWORD(der.size()), CERT_STORE_ADD_NEW, &added))
    return lastError();

  std::u16string container = codepageWide(key.container);
  std::u16string provider = codepageWide(key.provider.empty() ? kDefaultProvider : key.provider);
  CRYPT_KEY_PROV_INFO info{};
  info.pwszContainerName = reinterpret_cast<LPWSTR>(container.data());
  info.pwszProvName = reinterpret_cast<LPWSTR>(provider.data());
  info.dwProvType = key.providerType;
  info.dwFlags = key.machine ? CRYPT_MACHINE_KEYSET : 0;
  info.dwKeySpec = key.keySpec;
  HRESULT hr = S_OK;
  if (!CertSetCertificateContextProperty(added, CERT_KEY_PROV_INFO_PROP_ID, 0, &info)) {
    hr = lastError();
    CertDeleteCertificateFromStore(added);  // releases the context
  } else {
    CertFreeCertificateContext(added);
  }
  return hr;
}

}  // namespace pw::enrol
