// crypt32's encoders behind CryptEncodeObjectEx, one a structure type. Each fills `out`
// with the whole DER and answers 0, or the error the call fails with; a string the type
// of its value cannot hold also sets `where`, which the caller finds in its size: the
// place of the bad character (X509_UNICODE_NAME packs the relative name's and the
// attribute's index in front of it, as the CERT_UNICODE_*_ERR_INDEX masks read it).
#pragma once

#include <windows.h>

#include <wincrypt.h>

#include <string>

namespace pw::cert {

struct Encoded {
  std::string der;
  DWORD where = 0;
};

// `flags` are CryptEncodeObjectEx's, the CRYPT_UNICODE_NAME_ENCODE_* flags included.
using Encoder = DWORD (*)(const void* info, DWORD flags, Encoded* out);

// The encoder of a structure type (a small number or an OID string); null for none.
Encoder encoderFor(LPCSTR structType);

// The encoders the libraries' other functions use directly.
DWORD encodeName(const void* info, DWORD flags, Encoded* out);         // X509_NAME
DWORD encodeUnicodeName(const void* info, DWORD flags, Encoded* out);  // X509_UNICODE_NAME
DWORD encodeNameValue(const void* info, DWORD flags, Encoded* out);    // X509_NAME_VALUE
DWORD encodeUnicodeNameValue(const void* info, DWORD flags, Encoded* out);
DWORD encodePublicKeyInfo(const void* info, DWORD flags, Encoded* out);
DWORD encodeExtensions(const void* info, DWORD flags, Encoded* out);
DWORD encodeBits(const void* info, DWORD flags, Encoded* out);  // X509_BITS, X509_KEY_USAGE
DWORD encodeEnhancedKeyUsage(const void* info, DWORD flags, Encoded* out);
DWORD encodeBasicConstraints2(const void* info, DWORD flags, Encoded* out);
DWORD encodeAttribute(const void* info, DWORD flags, Encoded* out);
DWORD encodeAttributes(const void* info, DWORD flags, Encoded* out);
DWORD encodeCertificateInfo(const void* info, DWORD flags, Encoded* out);  // to be signed
DWORD encodeRequestInfo(const void* info, DWORD flags, Encoded* out);      // to be signed
DWORD encodeSignedContent(const void* info, DWORD flags, Encoded* out);    // X509_CERT
DWORD encodeRsaPublicKey(const void* info, DWORD flags, Encoded* out);     // PUBLICKEYBLOB in
DWORD encodeOctets(const void* info, DWORD flags, Encoded* out);
DWORD encodeInteger(const void* info, DWORD flags, Encoded* out);
DWORD encodeMultiByteInteger(const void* info, DWORD flags, Encoded* out);
DWORD encodeUtcTime(const void* info, DWORD flags, Encoded* out);
DWORD encodeChoiceOfTime(const void* info, DWORD flags, Encoded* out);
DWORD encodeSequenceOfAny(const void* info, DWORD flags, Encoded* out);

// An AlgorithmIdentifier: its parameters as given, or NULL when `nullWhenEmpty` and none.
DWORD encodeAlgorithm(const CRYPT_ALGORITHM_IDENTIFIER& algorithm, bool nullWhenEmpty,
                      std::string* out);

}  // namespace pw::cert
