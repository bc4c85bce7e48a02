// crypt32's decoders behind CryptDecodeObjectEx, one a structure type. Each reads the whole
// DER of its type from `der` into the flat block (crypt32/flat_output.h), the structure
// first, and answers 0 or the error the call fails with: CRYPT_E_ASN1_EOD when the bytes
// end too soon, CRYPT_E_ASN1_BADTAG for an element of another type, CRYPT_E_ASN1_CORRUPT
// for one that is no element at all.
#pragma once

#include <windows.h>

#include <wincrypt.h>

#include "crypt32/cert_der.h"
#include "crypt32/flat_output.h"

#include <string_view>

namespace pw::cert {

using Decoder = DWORD (*)(std::string_view der, DWORD flags, Flat* out);

// The decoder of a structure type (a small number or an OID string); null for none.
Decoder decoderFor(LPCSTR structType);

// Reads the next element from `in`, which must have `tag`; 0 or a CRYPT_E_ASN1_* error.
DWORD take(std::string_view* in, BYTE tag, Der* out);
// The same for an element of any tag.
DWORD takeAny(std::string_view* in, Der* out);

// Decoders the others share.
DWORD decodeBits(std::string_view der, DWORD flags, Flat* out);
DWORD decodeBasicConstraints2(std::string_view der, DWORD flags, Flat* out);
DWORD decodeEnhancedKeyUsage(std::string_view der, DWORD flags, Flat* out);
DWORD decodeExtensions(std::string_view der, DWORD flags, Flat* out);
DWORD decodePublicKeyInfo(std::string_view der, DWORD flags, Flat* out);
DWORD decodeSignedContent(std::string_view der, DWORD flags, Flat* out);
DWORD decodeOctets(std::string_view der, DWORD flags, Flat* out);
DWORD decodeInteger(std::string_view der, DWORD flags, Flat* out);
DWORD decodeMultiByteInteger(std::string_view der, DWORD flags, Flat* out);
DWORD decodeSequenceOfAny(std::string_view der, DWORD flags, Flat* out);

// Parts that several structures hold, written into a structure already in the block at
// `at`. The OID string goes into the block, its pointer linked.
DWORD readOid(std::string_view* in, Flat* out, size_t pointerField);
DWORD readAlgorithm(std::string_view* in, Flat* out, size_t at);  // CRYPT_ALGORITHM_IDENTIFIER
DWORD readPublicKey(std::string_view* in, Flat* out, size_t at);  // CERT_PUBLIC_KEY_INFO
DWORD readBitString(const Der& element, Flat* out, size_t at);    // CRYPT_BIT_BLOB
DWORD readExtensionList(std::string_view content, Flat* out, size_t countField,
                        size_t arrayField);  // DWORD count, PCERT_EXTENSION array

}  // namespace pw::cert
