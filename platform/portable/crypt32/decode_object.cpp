// CryptDecodeObjectEx and CryptDecodeObject: the structure type picks a decoder
// (crypt32/object_decoding.h), which lays the structure and what it points to out in one
// block; the block goes out under the size protocol or in memory the call allocates. The
// small types live here too.
#include <windows.h>

#include <wincrypt.h>

#include "crypt32/object_decoding.h"
#include "machine/guard.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <utility>
#include <vector>

namespace pw::cert {
namespace {

constexpr BYTE kInteger = 0x02, kOctetString = 0x04, kSequence = 0x30;

const std::pair<LPCSTR, Decoder> kByNumber[] = {
    {X509_CERT, decodeSignedContent},
    {X509_EXTENSIONS, decodeExtensions},
    {X509_PUBLIC_KEY_INFO, decodePublicKeyInfo},
    {X509_KEY_USAGE, decodeBits},
    {X509_BITS, decodeBits},
    {X509_BASIC_CONSTRAINTS2, decodeBasicConstraints2},
    {X509_OCTET_STRING, decodeOctets},
    {X509_INTEGER, decodeInteger},
    {X509_MULTI_BYTE_INTEGER, decodeMultiByteInteger},
    {X509_SEQUENCE_OF_ANY, decodeSequenceOfAny},
    {X509_ENHANCED_KEY_USAGE, decodeEnhancedKeyUsage},
};

const std::pair<const char*, Decoder> kByOid[] = {
    {szOID_CERT_EXTENSIONS, decodeExtensions},
    {szOID_RSA_certExtensions, decodeExtensions},
    {szOID_KEY_USAGE, decodeBits},
    {szOID_ENHANCED_KEY_USAGE, decodeEnhancedKeyUsage},
    {szOID_BASIC_CONSTRAINTS2, decodeBasicConstraints2},
    {szOID_SUBJECT_KEY_IDENTIFIER, decodeOctets},
};

}  // namespace

Decoder decoderFor(LPCSTR structType) {
  if (reinterpret_cast<ULONG_PTR>(structType) <= 0xffff) {
    for (const auto& [type, decoder] : kByNumber)
      if (type == structType) return decoder;
    return nullptr;
  }
  for (const auto& [oid, decoder] : kByOid)
    if (std::strcmp(oid, structType) == 0) return decoder;
  return nullptr;
}

DWORD decodeOctets(std::string_view der, DWORD, Flat* out) {
  Der octets;
  if (DWORD error = take(&der, kOctetString, &octets)) return error;
  out->blob(out->reserve(sizeof(CRYPT_DATA_BLOB)), octets.content);
  return 0;
}

// An INTEGER that fits an int; a longer one is CRYPT_E_ASN1_LARGE.
DWORD decodeInteger(std::string_view der, DWORD, Flat* out) {
  Der number;
  if (DWORD error = take(&der, kInteger, &number)) return error;
  std::string_view c = number.content;
  if (c.empty()) return DWORD(CRYPT_E_ASN1_CORRUPT);
  if (c.size() > sizeof(int)) return DWORD(CRYPT_E_ASN1_LARGE);
  unsigned value = (BYTE(c[0]) & 0x80) ? ~0u : 0u;  // the sign, extended
  for (char ch : c) value = value << 8 | BYTE(ch);
  out->addStruct(int(value));
  return 0;
}

// The number little-endian, as CryptoAPI keeps it, with the DER's bytes.
DWORD decodeMultiByteInteger(std::string_view der, DWORD, Flat* out) {
  Der number;
  if (DWORD error = take(&der, kInteger, &number)) return error;
  std::string bytes(number.content.rbegin(), number.content.rend());
  out->blob(out->reserve(sizeof(CRYPT_INTEGER_BLOB)), bytes);
  return 0;
}

DWORD decodeSequenceOfAny(std::string_view der, DWORD, Flat* out) {
  Der sequence;
  if (DWORD error = take(&der, kSequence, &sequence)) return error;
  std::vector<std::string_view> items;
  for (std::string_view inside = sequence.content; !inside.empty();) {
    Der item;
    if (DWORD error = takeAny(&inside, &item)) return error;
    items.push_back(item.whole);
  }
  size_t at = out->reserve(sizeof(CRYPT_SEQUENCE_OF_ANY));
  out->set(at + offsetof(CRYPT_SEQUENCE_OF_ANY, cValue), DWORD(items.size()));
  if (items.empty()) return 0;
  size_t array = out->reserve(items.size() * sizeof(CRYPT_DER_BLOB));
  out->link(at + offsetof(CRYPT_SEQUENCE_OF_ANY, rgValue), array);
  for (size_t i = 0; i < items.size(); ++i) out->blob(array + i * sizeof(CRYPT_DER_BLOB), items[i]);
  return 0;
}

}  // namespace pw::cert

BOOL WINAPI CryptDecodeObjectEx(DWORD dwCertEncodingType, LPCSTR lpszStructType,
                                const BYTE* pbEncoded, DWORD cbEncoded, DWORD dwFlags,
                                PCRYPT_DECODE_PARA pDecodePara, void* pvStructInfo,
                                DWORD* pcbStructInfo) {
  return pw::guarded(FALSE, ERROR_NOT_ENOUGH_MEMORY, [&]() -> BOOL {
    if (!pvStructInfo && !pcbStructInfo) return pw::fail(ERROR_INVALID_PARAMETER);
    if ((dwFlags & CRYPT_DECODE_ALLOC_FLAG) && pvStructInfo)
      *static_cast<void**>(pvStructInfo) = nullptr;
    bool asn1 = (dwCertEncodingType & CERT_ENCODING_TYPE_MASK) == X509_ASN_ENCODING ||
                (dwCertEncodingType & CMSG_ENCODING_TYPE_MASK) == PKCS_7_ASN_ENCODING;
    pw::cert::Decoder decoder = asn1 ? pw::cert::decoderFor(lpszStructType) : nullptr;
    if (!decoder) return pw::fail(ERROR_FILE_NOT_FOUND);
    if (!pbEncoded || !cbEncoded) return pw::fail(DWORD(CRYPT_E_ASN1_EOD));
    pw::cert::Flat flat;
    std::string_view der(reinterpret_cast<const char*>(pbEncoded), cbEncoded);
    if (DWORD error = decoder(der, dwFlags, &flat)) {
      if (pcbStructInfo) *pcbStructInfo = 0;
      return pw::fail(error);
    }
    return flat.handOut(dwFlags, pDecodePara, pvStructInfo, pcbStructInfo);
  });
}

BOOL WINAPI CryptDecodeObject(DWORD dwCertEncodingType, LPCSTR lpszStructType,
                              const BYTE* pbEncoded, DWORD cbEncoded, DWORD dwFlags,
                              void* pvStructInfo, DWORD* pcbStructInfo) {
  return CryptDecodeObjectEx(dwCertEncodingType, lpszStructType, pbEncoded, cbEncoded,
                             dwFlags & ~CRYPT_DECODE_ALLOC_FLAG, nullptr, pvStructInfo,
                             pcbStructInfo);
}
