// CryptEncodeObjectEx and CryptEncodeObject: the structure type picks an encoder
// (crypt32/object_encoding.h); the result goes out under the size protocol, or into memory
// the call allocates with CRYPT_ENCODE_ALLOC_FLAG (the caller's allocator from its
// CRYPT_ENCODE_PARA, else LocalAlloc). The small types live here too.
#include <windows.h>

#include <wincrypt.h>

#include "crypt32/der_writer.h"
#include "crypt32/object_encoding.h"
#include "machine/guard.h"

#include <cstring>
#include <string_view>
#include <utility>

namespace pw::cert {
namespace {

struct Named {
  const char* oid;
  Encoder encoder;
};
// The structure types that are object identifiers: what an extension's or an
// attribute's value holds.
const Named kByOid[] = {
    {szOID_CERT_EXTENSIONS, encodeExtensions},
    {szOID_RSA_certExtensions, encodeExtensions},
    {szOID_KEY_USAGE, encodeBits},
    {szOID_ENHANCED_KEY_USAGE, encodeEnhancedKeyUsage},
    {szOID_BASIC_CONSTRAINTS2, encodeBasicConstraints2},
    {szOID_SUBJECT_KEY_IDENTIFIER, encodeOctets},
    {szOID_RSA_signingTime, encodeUtcTime},
};

// The structure types that are small numbers.
const std::pair<LPCSTR, Encoder> kByNumber[] = {
    {X509_CERT, encodeSignedContent},
    {X509_CERT_TO_BE_SIGNED, encodeCertificateInfo},
    {X509_CERT_REQUEST_TO_BE_SIGNED, encodeRequestInfo},
    {X509_EXTENSIONS, encodeExtensions},
    {X509_NAME_VALUE, encodeNameValue},
    {X509_NAME, encodeName},
    {X509_PUBLIC_KEY_INFO, encodePublicKeyInfo},
    {X509_KEY_USAGE, encodeBits},
    {X509_BITS, encodeBits},
    {X509_BASIC_CONSTRAINTS2, encodeBasicConstraints2},
    {PKCS_UTC_TIME, encodeUtcTime},
    {RSA_CSP_PUBLICKEYBLOB, encodeRsaPublicKey},
    {X509_UNICODE_NAME, encodeUnicodeName},
    {PKCS_ATTRIBUTE, encodeAttribute},
    {X509_UNICODE_NAME_VALUE, encodeUnicodeNameValue},
    {X509_OCTET_STRING, encodeOctets},
    {X509_INTEGER, encodeInteger},
    {X509_MULTI_BYTE_INTEGER, encodeMultiByteInteger},
    {X509_CHOICE_OF_TIME, encodeChoiceOfTime},
    {X509_SEQUENCE_OF_ANY, encodeSequenceOfAny},
    {X509_ENHANCED_KEY_USAGE, encodeEnhancedKeyUsage},
    {PKCS_ATTRIBUTES, encodeAttributes},
};

// Hands the encoding out under the size protocol or in allocated memory.
BOOL handOut(const std::string& der, DWORD flags, const CRYPT_ENCODE_PARA* para, void* out,
             DWORD* size) {
  if (flags & CRYPT_ENCODE_ALLOC_FLAG) {
    if (!out) return fail(ERROR_INVALID_PARAMETER);
    bool own = para && para->cbSize >= offsetof(CRYPT_ENCODE_PARA, pfnFree) && para->pfnAlloc;
    void* memory = own ? para->pfnAlloc(der.size()) : LocalAlloc(LMEM_FIXED, der.size());
    *static_cast<BYTE**>(out) = static_cast<BYTE*>(memory);
    if (!memory) return fail(ERROR_NOT_ENOUGH_MEMORY);
    std::memcpy(memory, der.data(), der.size());
    if (size) *size = DWORD(der.size());
    return TRUE;
  }
  return copyOut(out, size, der.data(), DWORD(der.size()));
}

}  // namespace

Encoder encoderFor(LPCSTR structType) {
  if (reinterpret_cast<ULONG_PTR>(structType) <= 0xffff) {
    for (const auto& [type, encoder] : kByNumber)
      if (type == structType) return encoder;
    return nullptr;
  }
  for (const Named& named : kByOid)
    if (std::strcmp(named.oid, structType) == 0) return named.encoder;
  return nullptr;
}

DWORD encodeOctets(const void* info, DWORD, Encoded* out) {
  out->der =
      der::element(der::kOctetString, der::bytes(*static_cast<const CRYPT_DATA_BLOB*>(info)));
  return 0;
}

DWORD encodeInteger(const void* info, DWORD, Encoded* out) {
  out->der = der::integer(*static_cast<const int*>(info));
  return 0;
}

DWORD encodeMultiByteInteger(const void* info, DWORD, Encoded* out) {
  auto* number = static_cast<const CRYPT_INTEGER_BLOB*>(info);
  out->der = der::signedInteger(number->pbData, number->cbData);
  return 0;
}

DWORD encodeUtcTime(const void* info, DWORD, Encoded* out) {
  return der::utcTime(*static_cast<const FILETIME*>(info), &out->der) ? 0
                                                                      : DWORD(CRYPT_E_BAD_ENCODE);
}

DWORD encodeChoiceOfTime(const void* info, DWORD, Encoded* out) {
  return der::choiceOfTime(*static_cast<const FILETIME*>(info), &out->der)
             ? 0
             : DWORD(CRYPT_E_BAD_ENCODE);
}

DWORD encodeSequenceOfAny(const void* info, DWORD, Encoded* out) {
  auto* sequence = static_cast<const CRYPT_SEQUENCE_OF_ANY*>(info);
  std::string content;
  for (DWORD i = 0; i < sequence->cValue; ++i) content += der::bytes(sequence->rgValue[i]);
  out->der = der::element(der::kSequence, content);
  return 0;
}

}  // namespace pw::cert

BOOL WINAPI CryptEncodeObjectEx(DWORD dwCertEncodingType, LPCSTR lpszStructType,
                                const void* pvStructInfo, DWORD dwFlags,
                                PCRYPT_ENCODE_PARA pEncodePara, void* pvEncoded,
                                DWORD* pcbEncoded) {
  return pw::guarded(FALSE, ERROR_NOT_ENOUGH_MEMORY, [&]() -> BOOL {
    if (!pvEncoded && !pcbEncoded) return pw::fail(ERROR_INVALID_PARAMETER);
    if ((dwFlags & CRYPT_ENCODE_ALLOC_FLAG) && pvEncoded) *static_cast<BYTE**>(pvEncoded) = nullptr;
    // Either part of the encoding type may name ASN.1; nothing else is offered.
    bool asn1 = (dwCertEncodingType & CERT_ENCODING_TYPE_MASK) == X509_ASN_ENCODING ||
                (dwCertEncodingType & CMSG_ENCODING_TYPE_MASK) == PKCS_7_ASN_ENCODING;
    pw::cert::Encoder encoder = asn1 ? pw::cert::encoderFor(lpszStructType) : nullptr;
    if (!encoder) return pw::fail(ERROR_FILE_NOT_FOUND);
    if (!pvStructInfo) return pw::fail(DWORD(STATUS_ACCESS_VIOLATION));
    pw::cert::Encoded encoded;
    if (DWORD error = encoder(pvStructInfo, dwFlags, &encoded)) {
      if (pcbEncoded) *pcbEncoded = encoded.where;
      return pw::fail(error);
    }
    return pw::cert::handOut(encoded.der, dwFlags, pEncodePara, pvEncoded, pcbEncoded);
  });
}

BOOL WINAPI CryptEncodeObject(DWORD dwCertEncodingType, LPCSTR lpszStructType,
                              const void* pvStructInfo, BYTE* pbEncoded, DWORD* pcbEncoded) {
  if (!pbEncoded && !pcbEncoded) return pw::fail(ERROR_INVALID_PARAMETER);
  return CryptEncodeObjectEx(dwCertEncodingType, lpszStructType, pvStructInfo, 0, nullptr,
                             pbEncoded, pcbEncoded);
}
