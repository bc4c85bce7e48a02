// A key pair's public half as CERT_PUBLIC_KEY_INFO, and back into a key handle, through
// the CryptoAPI as any program would: CryptExportKey's PUBLICKEYBLOB becomes the
// RSAPublicKey of PKCS #1 (RSA_CSP_PUBLICKEYBLOB), and an RSAPublicKey becomes a
// PUBLICKEYBLOB for CryptImportKey. Only RSA keys are offered.
#include <windows.h>

#include <wincrypt.h>

#include "crypt32/cert_der.h"
#include "machine/guard.h"

#include <cstring>
#include <string>

namespace {

constexpr DWORD kRsa1 = 0x31415352;  // "RSA1", a public key blob's magic

// The key handle's PUBLICKEYBLOB; empty with the last error set.
std::string publicBlob(HCRYPTPROV prov, DWORD keySpec) {
  HCRYPTKEY key = 0;
  if (!CryptGetUserKey(prov, keySpec, &key)) return {};
  DWORD size = 0;
  std::string blob;
  if (CryptExportKey(key, 0, PUBLICKEYBLOB, 0, nullptr, &size)) {
    blob.resize(size);
    if (!CryptExportKey(key, 0, PUBLICKEYBLOB, 0, reinterpret_cast<BYTE*>(blob.data()), &size))
      blob.clear();
  }
  DWORD error = GetLastError();
  CryptDestroyKey(key);
  SetLastError(error);
  return blob;
}

// An INTEGER's content as an unsigned big-endian number without leading zeros.
bool unsignedContent(std::string_view* in, std::string_view* number) {
  pw::cert::Der element;
  if (!pw::cert::readDer(in, &element) || element.tag != 0x02 || element.content.empty())
    return false;
  std::string_view n = element.content;
  if (BYTE(n[0]) & 0x80) return false;  // negative
  while (n.size() > 1 && n[0] == '\0') n.remove_prefix(1);
  *number = n;
  return true;
}

// The PUBLICKEYBLOB of an RSAPublicKey; empty when the bytes are none.
std::string blobOfRsaPublicKey(std::string_view der, ALG_ID alg) {
  pw::cert::Der sequence;
  std::string_view modulus, exponent;
  if (!pw::cert::readDer(&der, &sequence) || sequence.tag != 0x30 || !der.empty()) return {};
  std::string_view fields = sequence.content;
  if (!unsignedContent(&fields, &modulus) || !unsignedContent(&fields, &exponent) ||
      !fields.empty() || exponent.size() > 4 || modulus == std::string_view("\0", 1))
    return {};
  BLOBHEADER header{PUBLICKEYBLOB, CUR_BLOB_VERSION, 0, alg};
  DWORD pubexp = 0;
  for (char c : exponent) pubexp = pubexp << 8 | BYTE(c);
  RSAPUBKEY rsa{kRsa1, DWORD(modulus.size() * 8), pubexp};
  std::string blob(reinterpret_cast<const char*>(&header), sizeof header);
  blob.append(reinterpret_cast<const char*>(&rsa), sizeof rsa);
  blob.append(modulus.rbegin(), modulus.rend());  // little-endian
  return blob;
}

}  // namespace

BOOL WINAPI CryptExportPublicKeyInfoEx(HCRYPTPROV_OR_NCRYPT_KEY_HANDLE hCryptProv, DWORD dwKeySpec,
                                       DWORD dwCertEncodingType, LPSTR pszPublicKeyObjId,
                                       DWORD dwFlags, void* pvAuxInfo, PCERT_PUBLIC_KEY_INFO pInfo,
                                       DWORD* pcbInfo) {
  return pw::guarded(FALSE, ERROR_NOT_ENOUGH_MEMORY, [&]() -> BOOL {
    if (!hCryptProv || !pcbInfo) return pw::fail(ERROR_INVALID_PARAMETER);
    const char* oid = pszPublicKeyObjId ? pszPublicKeyObjId : szOID_RSA_RSA;
    if (std::strcmp(oid, szOID_RSA_RSA) != 0) return pw::fail(ERROR_FILE_NOT_FOUND);
    std::string blob = publicBlob(hCryptProv, dwKeySpec);
    if (blob.empty()) return FALSE;
    DWORD encodedSize = 0;
    if (!CryptEncodeObjectEx(dwCertEncodingType, RSA_CSP_PUBLICKEYBLOB, blob.data(), 0, nullptr,
                             nullptr, &encodedSize))
      return FALSE;
    // The structure, the identifier and the key, in one block as crypt32 lays it out.
    size_t oidSize = std::strlen(oid) + 1;
    DWORD size = DWORD(sizeof(CERT_PUBLIC_KEY_INFO) + oidSize + encodedSize);
    if (!pInfo) {
      *pcbInfo = size;
      return TRUE;
    }
    if (*pcbInfo < size) {
      *pcbInfo = size;
      return pw::fail(ERROR_MORE_DATA);
    }
    auto* text = reinterpret_cast<char*>(pInfo + 1);
    auto* key = reinterpret_cast<BYTE*>(text + oidSize);
    if (!CryptEncodeObjectEx(dwCertEncodingType, RSA_CSP_PUBLICKEYBLOB, blob.data(), 0, nullptr,
                             key, &encodedSize))
      return FALSE;
    std::memcpy(text, oid, oidSize);
    *pInfo = CERT_PUBLIC_KEY_INFO{{text, {0, nullptr}}, {encodedSize, key, 0}};
    *pcbInfo = size;
    return TRUE;
  });
}

BOOL WINAPI CryptExportPublicKeyInfo(HCRYPTPROV_OR_NCRYPT_KEY_HANDLE hCryptProv, DWORD dwKeySpec,
                                     DWORD dwCertEncodingType, PCERT_PUBLIC_KEY_INFO pInfo,
                                     DWORD* pcbInfo) {
  return CryptExportPublicKeyInfoEx(hCryptProv, dwKeySpec, dwCertEncodingType, nullptr, 0, nullptr,
                                    pInfo, pcbInfo);
}

BOOL WINAPI CryptImportPublicKeyInfoEx(HCRYPTPROV hCryptProv, DWORD dwCertEncodingType,
                                       PCERT_PUBLIC_KEY_INFO pInfo, ALG_ID aiKeyAlg, DWORD dwFlags,
                                       void* pvAuxInfo, HCRYPTKEY* phKey) {
  return pw::guarded(FALSE, ERROR_NOT_ENOUGH_MEMORY, [&]() -> BOOL {
    if (!hCryptProv || !pInfo || !phKey) return pw::fail(ERROR_INVALID_PARAMETER);
    // No installable import function exists here, so every key is read as an RSA public
    // key, whatever its algorithm's identifier: what crypt32 does without one.
    const CRYPT_BIT_BLOB& bits = pInfo->PublicKey;
    std::string blob = blobOfRsaPublicKey(
        {reinterpret_cast<const char*>(bits.pbData), bits.pbData ? bits.cbData : 0},
        aiKeyAlg ? aiKeyAlg : CALG_RSA_KEYX);
    if (blob.empty()) return pw::fail(DWORD(CRYPT_E_ASN1_BADTAG));
    return CryptImportKey(hCryptProv, reinterpret_cast<const BYTE*>(blob.data()),
                          DWORD(blob.size()), 0, 0, phKey);
  });
}

BOOL WINAPI CryptImportPublicKeyInfo(HCRYPTPROV hCryptProv, DWORD dwCertEncodingType,
                                     PCERT_PUBLIC_KEY_INFO pInfo, HCRYPTKEY* phKey) {
  return CryptImportPublicKeyInfoEx(hCryptProv, dwCertEncodingType, pInfo, 0, 0, nullptr, phKey);
}
