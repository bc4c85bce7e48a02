// Signing and verifying what a certificate or a request signs, through the CryptoAPI of
// the caller's key: the signature algorithm's hash over the encoded to-be-signed bytes,
// signed by CryptSignHash (its bytes little-endian, as X509_CERT expects them), checked by
// CryptVerifySignature with the issuer's public key. A hash algorithm's own identifier
// "signs" with the bare hash value.
#include <windows.h>

#include <wincrypt.h>

#include "crypt32/cert_der.h"
#include "crypt32/object_encoding.h"
#include "machine/guard.h"

#include <algorithm>
#include <cstring>
#include <string>

namespace {

struct SignatureAlgorithm {
  const char* oid;
  ALG_ID hash;
  bool signs;  // false for a bare hash
};

const SignatureAlgorithm kAlgorithms[] = {
    {szOID_RSA_SHA1RSA, CALG_SHA1, true},      {szOID_OIWSEC_sha1RSASign, CALG_SHA1, true},
    {szOID_RSA_MD5RSA, CALG_MD5, true},        {szOID_RSA_SHA256RSA, CALG_SHA_256, true},
    {szOID_RSA_SHA384RSA, CALG_SHA_384, true}, {szOID_RSA_SHA512RSA, CALG_SHA_512, true},
    {szOID_OIWSEC_sha1, CALG_SHA1, false},     {szOID_RSA_MD5, CALG_MD5, false},
    {szOID_NIST_sha256, CALG_SHA_256, false},  {szOID_NIST_sha384, CALG_SHA_384, false},
    {szOID_NIST_sha512, CALG_SHA_512, false},
};

const SignatureAlgorithm* algorithmOf(const CRYPT_ALGORITHM_IDENTIFIER* id) {
  if (!id || !id->pszObjId) return nullptr;
  for (const SignatureAlgorithm& a : kAlgorithms)
    if (std::strcmp(a.oid, id->pszObjId) == 0) return &a;
  return nullptr;
}

// A hash of `data` made by `prov`; 0 with the last error set.
HCRYPTHASH hashOf(HCRYPTPROV prov, ALG_ID alg, const BYTE* data, DWORD size) {
  HCRYPTHASH hash = 0;
  if (!CryptCreateHash(prov, alg, 0, 0, &hash)) return 0;
  if (CryptHashData(hash, data, size, 0)) return hash;
  DWORD error = GetLastError();
  CryptDestroyHash(hash);
  SetLastError(error);
  return 0;
}

struct SignedContent {
  std::string_view toBeSigned, algorithm, parameters, signature;
};

// The three parts of an X509_CERT encoding; false when it is none.
bool splitSignedContent(std::string_view der, SignedContent* out) {
  using pw::cert::Der;
  Der whole, tbs, algorithm, oid, bits;
  if (!pw::cert::readDer(&der, &whole) || whole.tag != 0x30) return false;
  std::string_view fields = whole.content;
  if (!pw::cert::readDer(&fields, &tbs) || !pw::cert::readDer(&fields, &algorithm) ||
      algorithm.tag != 0x30 || !pw::cert::readDer(&fields, &bits) || bits.tag != 0x03 ||
      bits.content.empty() || !fields.empty())
    return false;
  std::string_view inside = algorithm.content;
  if (!pw::cert::readDer(&inside, &oid) || oid.tag != 0x06) return false;
  out->toBeSigned = tbs.whole;
  out->algorithm = oid.content;
  out->parameters = inside;
  out->signature = bits.content.substr(1);  // after the unused-bits count
  return true;
}

}  // namespace

BOOL WINAPI CryptSignCertificate(HCRYPTPROV_OR_NCRYPT_KEY_HANDLE hCryptProv, DWORD dwKeySpec,
                                 DWORD dwCertEncodingType, const BYTE* pbEncodedToBeSigned,
                                 DWORD cbEncodedToBeSigned,
                                 PCRYPT_ALGORITHM_IDENTIFIER pSignatureAlgorithm,
                                 const void* pvHashAuxInfo, BYTE* pbSignature,
                                 DWORD* pcbSignature) {
  return pw::guarded(FALSE, ERROR_NOT_ENOUGH_MEMORY, [&]() -> BOOL {
    if (!pcbSignature) return pw::fail(ERROR_INVALID_PARAMETER);
    const SignatureAlgorithm* algorithm = algorithmOf(pSignatureAlgorithm);
    if (!algorithm) return pw::fail(DWORD(NTE_BAD_ALGID));
    HCRYPTHASH hash = hashOf(hCryptProv, algorithm->hash, pbEncodedToBeSigned,
                             pbEncodedToBeSigned ? cbEncodedToBeSigned : 0);
    if (!hash) return FALSE;
    BOOL ok = algorithm->signs
                  ? CryptSignHashW(hash, dwKeySpec, nullptr, 0, pbSignature, pcbSignature)
                  : CryptGetHashParam(hash, HP_HASHVAL, pbSignature, pcbSignature, 0);
    DWORD error = GetLastError();
    CryptDestroyHash(hash);
    SetLastError(error);
    return ok;
  });
}

BOOL WINAPI CryptSignAndEncodeCertificate(HCRYPTPROV_OR_NCRYPT_KEY_HANDLE hCryptProv,
                                          DWORD dwKeySpec, DWORD dwCertEncodingType,
                                          LPCSTR lpszStructType, const void* pvStructInfo,
                                          PCRYPT_ALGORITHM_IDENTIFIER pSignatureAlgorithm,
                                          const void* pvHashAuxInfo, BYTE* pbEncoded,
                                          DWORD* pcbEncoded) {
  return pw::guarded(FALSE, ERROR_NOT_ENOUGH_MEMORY, [&]() -> BOOL {
    if (!pcbEncoded || !pSignatureAlgorithm) return pw::fail(ERROR_INVALID_PARAMETER);
    DWORD size = 0;
    if (!CryptEncodeObjectEx(dwCertEncodingType, lpszStructType, pvStructInfo, 0, nullptr, nullptr,
                             &size))
      return FALSE;
    std::string toBeSigned(size, '\0');
    if (!CryptEncodeObjectEx(dwCertEncodingType, lpszStructType, pvStructInfo, 0, nullptr,
                             toBeSigned.data(), &size))
      return FALSE;
    toBeSigned.resize(size);
    auto* tbs = reinterpret_cast<const BYTE*>(toBeSigned.data());
    DWORD signatureSize = 0;
    if (!CryptSignCertificate(hCryptProv, dwKeySpec, dwCertEncodingType, tbs, size,
                              pSignatureAlgorithm, pvHashAuxInfo, nullptr, &signatureSize))
      return FALSE;
    // A size query needs no signature: a placeholder of its length gives the same size.
    std::string signature(signatureSize, '\0');
    if (pbEncoded && !CryptSignCertificate(
                         hCryptProv, dwKeySpec, dwCertEncodingType, tbs, size, pSignatureAlgorithm,
                         pvHashAuxInfo, reinterpret_cast<BYTE*>(signature.data()), &signatureSize))
      return FALSE;
    CERT_SIGNED_CONTENT_INFO content{{size, const_cast<BYTE*>(tbs)},
                                     *pSignatureAlgorithm,
                                     {signatureSize, reinterpret_cast<BYTE*>(signature.data()), 0}};
    return CryptEncodeObjectEx(dwCertEncodingType, X509_CERT, &content, 0, nullptr, pbEncoded,
                               pcbEncoded);
  });
}

BOOL WINAPI CryptVerifyCertificateSignatureEx(HCRYPTPROV_LEGACY hCryptProv,
                                              DWORD dwCertEncodingType, DWORD dwSubjectType,
                                              void* pvSubject, DWORD dwIssuerType, void* pvIssuer,
                                              DWORD dwFlags, void* pvExtra) {
  return pw::guarded(FALSE, ERROR_NOT_ENOUGH_MEMORY, [&]() -> BOOL {
    if (!pvSubject) return pw::fail(DWORD(E_INVALIDARG));
    std::string_view der;
    switch (dwSubjectType) {
      case CRYPT_VERIFY_CERT_SIGN_SUBJECT_BLOB: {
        auto* blob = static_cast<const CRYPT_DATA_BLOB*>(pvSubject);
        der = {reinterpret_cast<const char*>(blob->pbData), blob->pbData ? blob->cbData : 0};
        break;
      }
      case CRYPT_VERIFY_CERT_SIGN_SUBJECT_CERT: {
        auto* cert = static_cast<PCCERT_CONTEXT>(pvSubject);
        der = {reinterpret_cast<const char*>(cert->pbCertEncoded), cert->cbCertEncoded};
        break;
      }
      default:
        return pw::fail(DWORD(E_INVALIDARG));
    }
    PCERT_PUBLIC_KEY_INFO issuerKey = nullptr;
    switch (dwIssuerType) {
      case CRYPT_VERIFY_CERT_SIGN_ISSUER_PUBKEY:
        issuerKey = static_cast<PCERT_PUBLIC_KEY_INFO>(pvIssuer);
        break;
      case CRYPT_VERIFY_CERT_SIGN_ISSUER_CERT:
        if (pvIssuer)
          issuerKey = &static_cast<PCCERT_CONTEXT>(pvIssuer)->pCertInfo->SubjectPublicKeyInfo;
        break;
      default:
        return pw::fail(DWORD(E_INVALIDARG));
    }
    if (!issuerKey) return pw::fail(DWORD(E_INVALIDARG));

    SignedContent content;
    if (!splitSignedContent(der, &content)) return pw::fail(DWORD(CRYPT_E_ASN1_BADTAG));
    std::string oid = pw::cert::oidOf(content.algorithm);
    CRYPT_ALGORITHM_IDENTIFIER id{oid.data(), {0, nullptr}};
    const SignatureAlgorithm* algorithm = algorithmOf(&id);
    if (!algorithm || !algorithm->signs) return pw::fail(DWORD(NTE_BAD_ALGID));

    // Any key verifies in a verification context of the provider that hashes them all.
    HCRYPTPROV prov = hCryptProv, own = 0;
    if (!prov) {
      if (!CryptAcquireContextA(&own, nullptr, MS_ENH_RSA_AES_PROV_A, PROV_RSA_AES,
                                CRYPT_VERIFYCONTEXT))
        return FALSE;
      prov = own;
    }
    HCRYPTKEY key = 0;
    HCRYPTHASH hash = 0;
    std::string signature(content.signature.rbegin(), content.signature.rend());
    BOOL ok = CryptImportPublicKeyInfo(prov, dwCertEncodingType, issuerKey, &key) &&
              (hash = hashOf(prov, algorithm->hash,
                             reinterpret_cast<const BYTE*>(content.toBeSigned.data()),
                             DWORD(content.toBeSigned.size()))) != 0 &&
              CryptVerifySignatureW(hash, reinterpret_cast<const BYTE*>(signature.data()),
                                    DWORD(signature.size()), key, nullptr, 0);
    DWORD error = GetLastError();
    if (hash) CryptDestroyHash(hash);
    if (key) CryptDestroyKey(key);
    if (own) CryptReleaseContext(own, 0);
    SetLastError(ok ? ERROR_SUCCESS : error);
    return ok;
  });
}

BOOL WINAPI CryptVerifyCertificateSignature(HCRYPTPROV_LEGACY hCryptProv, DWORD dwCertEncodingType,
                                            const BYTE* pbEncoded, DWORD cbEncoded,
                                            PCERT_PUBLIC_KEY_INFO pPublicKey) {
  CRYPT_DATA_BLOB blob{cbEncoded, const_cast<BYTE*>(pbEncoded)};
  return CryptVerifyCertificateSignatureEx(
      hCryptProv, dwCertEncodingType, CRYPT_VERIFY_CERT_SIGN_SUBJECT_BLOB, &blob,
      CRYPT_VERIFY_CERT_SIGN_ISSUER_PUBKEY, pPublicKey, 0, nullptr);
}
