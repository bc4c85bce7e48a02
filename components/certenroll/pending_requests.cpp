// A pending request is kept as Windows keeps it: a self-signed placeholder certificate
// for the request's subject and key in the "REQUEST" store of its context, carrying
// the key-provider information that the issued certificate will inherit.
#include "components/certenroll/asn1.h"
#include "components/certenroll/enrolment.h"
#include "components/certenroll/signing_key.h"
#include "components/certenroll/system_store.h"
#include "components/common/text.h"

namespace pw::enrol {
namespace {

constexpr ULONGLONG kTicksPerDay = 24ull * 60 * 60 * 10'000'000;  // FILETIME counts 100 ns
constexpr ULONGLONG kPlaceholderDays = 365;

FILETIME later(FILETIME from, ULONGLONG days) {
  ULONGLONG t = (ULONGLONG(from.dwHighDateTime) << 32 | from.dwLowDateTime) + days * kTicksPerDay;
  return {DWORD(t), DWORD(t >> 32)};
}

HRESULT placeholderFor(const KeyParams& key, const RequestParams& request, Bytes* der) {
  SigningKey signer;
  if (HRESULT hr = signer.open(key); FAILED(hr)) return hr;
  // A random positive serial number, little-endian as CryptoAPI keeps integers.
  BYTE serial[16];
  if (!CryptGenRandom(signer.provider(), sizeof serial, serial)) return com::lastError();
  serial[sizeof serial - 1] &= 0x7F;

  CERT_INFO info{};
  info.dwVersion = CERT_V3;
  info.SerialNumber = {sizeof serial, serial};
  info.SignatureAlgorithm = SigningKey::algorithm();
  CERT_NAME_BLOB subject{DWORD(request.subject.size()), const_cast<BYTE*>(request.subject.data())};
  info.Issuer = subject;
  info.Subject = subject;
  GetSystemTimeAsFileTime(&info.NotBefore);
  info.NotAfter = later(info.NotBefore, kPlaceholderDays);
  info.SubjectPublicKeyInfo = *signer.publicKey();
  Bytes toBeSigned;
  if (HRESULT hr = encodeObject(X509_CERT_TO_BE_SIGNED, &info, &toBeSigned); FAILED(hr)) return hr;
  return signer.sign(toBeSigned, der);
}

}  // namespace

HRESULT keepPending(const KeyParams& key, const RequestParams& request) {
  Bytes der;
  if (HRESULT hr = placeholderFor(key, request, &der); FAILED(hr)) return hr;
  win32::CertContext placeholder = certificateOf(der.data(), DWORD(der.size()));
  if (!placeholder) return com::lastError();
  if (HRESULT hr = KeyProvider(key).setOn(placeholder.get()); FAILED(hr)) return hr;
  SystemStore store("REQUEST", key.machine);
  if (!store) return com::lastError();
  if (!CertAddCertificateContextToStore(store.get(), placeholder.get(), CERT_STORE_ADD_NEW,
                                        nullptr))
    return com::lastError();
  return store.commit();
}

}  // namespace pw::enrol
