// Looking into a certificate's parts: an extension by its identifier, and whether two
// names or two public keys are the same. Names compare byte for byte; two RSA keys compare
// by their numbers, so an encoding with a redundant leading zero is still the same key.
#include <windows.h>

#include <wincrypt.h>

#include "crypt32/cert_der.h"
#include "machine/guard.h"

#include <cstring>
#include <string_view>

namespace {

std::string_view bytesOf(const BYTE* data, DWORD size) {
  return {reinterpret_cast<const char*>(data), data ? size : 0};
}

// The modulus and exponent of an RSAPublicKey without leading zero bytes; false when the
// bytes are no RSAPublicKey.
bool rsaNumbers(std::string_view der, std::string_view* modulus, std::string_view* exponent) {
  pw::cert::Der sequence, n, e;
  if (!pw::cert::readDer(&der, &sequence) || sequence.tag != 0x30) return false;
  std::string_view inside = sequence.content;
  if (!pw::cert::readDer(&inside, &n) || n.tag != 0x02 || !pw::cert::readDer(&inside, &e) ||
      e.tag != 0x02)
    return false;
  auto trim = [](std::string_view v) {
    while (v.size() > 1 && v[0] == '\0') v.remove_prefix(1);
    return v;
  };
  *modulus = trim(n.content);
  *exponent = trim(e.content);
  return true;
}

bool isRsa(const CERT_PUBLIC_KEY_INFO* key) {
  return key->Algorithm.pszObjId && std::strcmp(key->Algorithm.pszObjId, szOID_RSA_RSA) == 0;
}

}  // namespace

PCERT_EXTENSION WINAPI CertFindExtension(LPCSTR pszObjId, DWORD cExtensions,
                                         CERT_EXTENSION rgExtensions[]) {
  if (!pszObjId || (cExtensions && !rgExtensions)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  for (DWORD i = 0; i < cExtensions; ++i)
    if (rgExtensions[i].pszObjId && std::strcmp(rgExtensions[i].pszObjId, pszObjId) == 0)
      return &rgExtensions[i];
  return nullptr;  // the last error stays as it was
}

BOOL WINAPI CertCompareCertificateName(DWORD dwCertEncodingType, PCERT_NAME_BLOB pCertName1,
                                       PCERT_NAME_BLOB pCertName2) {
  if (!pCertName1 || !pCertName2) return pw::fail(ERROR_INVALID_PARAMETER);
  bool same = bytesOf(pCertName1->pbData, pCertName1->cbData) ==
              bytesOf(pCertName2->pbData, pCertName2->cbData);
  if (!same) SetLastError(ERROR_SUCCESS);
  return same;
}

BOOL WINAPI CertComparePublicKeyInfo(DWORD dwCertEncodingType, PCERT_PUBLIC_KEY_INFO pPublicKey1,
                                     PCERT_PUBLIC_KEY_INFO pPublicKey2) {
  if (!pPublicKey1 || !pPublicKey2) return pw::fail(ERROR_INVALID_PARAMETER);
  std::string_view key1 = bytesOf(pPublicKey1->PublicKey.pbData, pPublicKey1->PublicKey.cbData);
  std::string_view key2 = bytesOf(pPublicKey2->PublicKey.pbData, pPublicKey2->PublicKey.cbData);
  std::string_view n1, e1, n2, e2;
  if (isRsa(pPublicKey1) && isRsa(pPublicKey2) && rsaNumbers(key1, &n1, &e1) &&
      rsaNumbers(key2, &n2, &e2))
    return n1 == n2 && e1 == e2;
  return key1 == key2 && pPublicKey1->PublicKey.cUnusedBits == pPublicKey2->PublicKey.cUnusedBits;
}
