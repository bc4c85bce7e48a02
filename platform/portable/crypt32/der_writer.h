// The pieces of DER that crypt32's encoders put together: tags and lengths, object
// identifiers, integers in CryptoAPI's little-endian blobs, bit strings, times and sorted
// sets. Each answers the whole element, tag and length included.
#pragma once

#include <windows.h>

#include <wincrypt.h>

#include <string>
#include <string_view>
#include <vector>

namespace pw::cert::der {

enum Tag : BYTE {
  kBoolean = 0x01,
  kInteger = 0x02,
  kBitString = 0x03,
  kOctetString = 0x04,
  kNull = 0x05,
  kOid = 0x06,
  kUtf8String = 0x0c,
  kNumericString = 0x12,
  kPrintableString = 0x13,
  kT61String = 0x14,
  kVideotexString = 0x15,
  kIa5String = 0x16,
  kUtcTime = 0x17,
  kGeneralizedTime = 0x18,
  kGraphicString = 0x19,
  kVisibleString = 0x1a,
  kGeneralString = 0x1b,
  kUniversalString = 0x1c,
  kBmpString = 0x1e,
  kSequence = 0x30,
  kSet = 0x31,
};

// A constructed context-specific tag: [n] as an explicit wrapper or an implicit SET.
constexpr BYTE context(int n) { return BYTE(0xa0 | n); }
// A primitive context-specific tag: [n] IMPLICIT of a primitive type.
constexpr BYTE contextPrimitive(int n) { return BYTE(0x80 | n); }

std::string element(BYTE tag, std::string_view content);

// SET OF: the elements ordered by their encodings, as DER orders them.
std::string setOf(std::vector<std::string> elements);

// The encoded OBJECT IDENTIFIER of a dotted text; false unless it has two arcs or more,
// the first 0 to 2 and each a decimal number that fits 32 bits.
bool objectId(const char* dotted, std::string* out);

// INTEGER of a little-endian two's-complement number (X509_MULTI_BYTE_INTEGER, serial
// numbers), in its shortest form; an empty number is 0.
std::string signedInteger(const BYTE* littleEndian, size_t size);
// INTEGER of a little-endian number read as unsigned (a modulus): a zero byte in front
// when its top bit is set.
std::string unsignedInteger(const BYTE* littleEndian, size_t size);
std::string integer(int value);

// BIT STRING of the blob's bytes, its unused bits as given (and cleared in the last byte).
std::string bitString(const CRYPT_BIT_BLOB& bits);

// UTCTime "YYMMDDHHMMSSZ" for 1950 to 2049; false for any other year (or a FILETIME that
// is no time). GeneralizedTime "YYYYMMDDHHMMSSZ" for any year from 1601.
bool utcTime(const FILETIME& time, std::string* out);
bool generalizedTime(const FILETIME& time, std::string* out);
// UTCTime where it can be, else GeneralizedTime, as RFC 5280 has a certificate's times.
bool choiceOfTime(const FILETIME& time, std::string* out);

inline std::string_view bytes(const CRYPT_DATA_BLOB& blob) {
  return {reinterpret_cast<const char*>(blob.pbData), blob.pbData ? blob.cbData : 0};
}

}  // namespace pw::cert::der
