// Names and their values: X509_NAME, whose values are bytes of the type they name (16-bit
// characters for the BMP and UTF-8 types, 32-bit ones for UniversalString), and
// X509_UNICODE_NAME, whose values are wide strings that the encoder checks against their
// type or, for CERT_RDN_ANY_TYPE, gives the type the attribute and the characters allow:
// a PrintableString when it can be, an IA5String for e-mail addresses and domain
// components, else a BMPString (a T61String or UTF8String when the flags ask for one).
#include "crypt32/object_encoding.h"

#include "crypt32/der_writer.h"
#include "machine/codepage.h"

#include <cstring>
#include <string_view>
#include <vector>

namespace pw::cert {
namespace {

using Wide = std::u16string_view;

constexpr DWORD kUnicodeFlags = CERT_RDN_ENABLE_T61_UNICODE_FLAG |
                                CERT_RDN_ENABLE_UTF8_UNICODE_FLAG |
                                CERT_RDN_FORCE_UTF8_UNICODE_FLAG | CERT_RDN_DISABLE_CHECK_TYPE_FLAG;

BYTE tagOf(DWORD type) {
  switch (type) {
    case CERT_RDN_OCTET_STRING:
      return 0x04;
    case CERT_RDN_NUMERIC_STRING:
      return der::kNumericString;
    case CERT_RDN_PRINTABLE_STRING:
      return der::kPrintableString;
    case CERT_RDN_T61_STRING:
      return der::kT61String;
    case CERT_RDN_VIDEOTEX_STRING:
      return der::kVideotexString;
    case CERT_RDN_IA5_STRING:
      return der::kIa5String;
    case CERT_RDN_GRAPHIC_STRING:
      return der::kGraphicString;
    case CERT_RDN_VISIBLE_STRING:
      return der::kVisibleString;
    case CERT_RDN_GENERAL_STRING:
      return der::kGeneralString;
    case CERT_RDN_UNIVERSAL_STRING:
      return der::kUniversalString;
    case CERT_RDN_BMP_STRING:
      return der::kBmpString;
    case CERT_RDN_UTF8_STRING:
      return der::kUtf8String;
    default:
      return 0;
  }
}

bool printable(char16_t c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
         (c < 0x80 && c && std::strchr(" '()+,-./:=?", char(c)));
}
bool numeric(char16_t c) { return (c >= '0' && c <= '9') || c == ' '; }
bool ia5(char16_t c) { return c <= 0x7f; }

Wide wideValue(const CERT_RDN_VALUE_BLOB& value) {
  auto* text = reinterpret_cast<const char16_t*>(value.pbData);
  if (!text) return {};
  return value.cbData ? Wide(text, value.cbData / sizeof(char16_t)) : Wide(text);
}

std::string bigEndianUnits(Wide text, int width) {
  std::string out;
  for (char16_t c : text) {
    if (width == 4) out += {'\0', '\0'};
    out += {char(c >> 8), char(c & 0xff)};
  }
  return out;
}

// Which string type CERT_RDN_ANY_TYPE gives a value of the attribute `oid`.
DWORD chosenType(const char* oid, Wide text, DWORD flags) {
  std::string_view id = oid ? oid : "";
  if (id == szOID_RSA_emailAddr || id == szOID_DOMAIN_COMPONENT) return CERT_RDN_IA5_STRING;
  bool allPrintable = true, allLatin = true;
  for (char16_t c : text) {
    allPrintable = allPrintable && printable(c);
    allLatin = allLatin && c <= 0xff;
  }
  if (id == szOID_COUNTRY_NAME || id == szOID_DEVICE_SERIAL_NUMBER)
    return CERT_RDN_PRINTABLE_STRING;  // their only type: a bad character is reported
  if (allPrintable && !(flags & CERT_RDN_FORCE_UTF8_UNICODE_FLAG)) return CERT_RDN_PRINTABLE_STRING;
  if ((flags & CERT_RDN_ENABLE_T61_UNICODE_FLAG) && allLatin) return CERT_RDN_T61_STRING;
  if (flags & (CERT_RDN_ENABLE_UTF8_UNICODE_FLAG | CERT_RDN_FORCE_UTF8_UNICODE_FLAG))
    return CERT_RDN_UTF8_STRING;
  return CERT_RDN_BMP_STRING;
}

// A wide value as an element of `type`; the index of a character the type cannot hold in
// `where`.
DWORD encodeWide(const char* oid, DWORD valueType, const CERT_RDN_VALUE_BLOB& value, DWORD flags,
                 std::string* out, DWORD* where) {
  DWORD type = valueType & CERT_RDN_TYPE_MASK;
  flags |= valueType & kUnicodeFlags;
  if (type == CERT_RDN_ENCODED_BLOB) {
    *out = std::string(der::bytes(value));
    return 0;
  }
  Wide text = wideValue(value);
  if (type == CERT_RDN_ANY_TYPE) type = chosenType(oid, text, flags);
  if (type == CERT_RDN_OCTET_STRING) return DWORD(CRYPT_E_NOT_CHAR_STRING);
  BYTE tag = tagOf(type);
  if (!tag) return DWORD(CRYPT_E_ASN1_CHOICE);
  bool check = !(flags & CERT_RDN_DISABLE_CHECK_TYPE_FLAG);
  bool (*valid)(char16_t) = type == CERT_RDN_NUMERIC_STRING     ? numeric
                            : type == CERT_RDN_PRINTABLE_STRING ? printable
                            : type == CERT_RDN_IA5_STRING       ? ia5
                                                                : nullptr;
  DWORD error = type == CERT_RDN_NUMERIC_STRING     ? DWORD(CRYPT_E_INVALID_NUMERIC_STRING)
                : type == CERT_RDN_PRINTABLE_STRING ? DWORD(CRYPT_E_INVALID_PRINTABLE_STRING)
                                                    : DWORD(CRYPT_E_INVALID_IA5_STRING);
  for (size_t i = 0; check && valid && i < text.size(); ++i)
    if (!valid(text[i])) {
      *where = DWORD(i);
      return error;
    }
  std::string content;
  if (type == CERT_RDN_BMP_STRING) {
    content = bigEndianUnits(text, 2);
  } else if (type == CERT_RDN_UNIVERSAL_STRING) {
    content = bigEndianUnits(text, 4);
  } else if (type == CERT_RDN_UTF8_STRING) {
    content = codepage::utf16ToUtf8(text);
  } else {
    for (char16_t c : text) content += char(c & 0xff);  // the 8-bit types keep the low byte
  }
  *out = der::element(tag, content);
  return 0;
}

// A value of X509_NAME: bytes as they are, wide units for the wide types.
DWORD encodeBytes(DWORD valueType, const CERT_RDN_VALUE_BLOB& value, std::string* out) {
  DWORD type = valueType & CERT_RDN_TYPE_MASK;
  if (type == CERT_RDN_ANY_TYPE) return DWORD(E_INVALIDARG);
  if (type == CERT_RDN_ENCODED_BLOB) {
    *out = std::string(der::bytes(value));
    return 0;
  }
  BYTE tag = tagOf(type);
  if (!tag) return DWORD(CRYPT_E_ASN1_CHOICE);
  std::string content;
  if (type == CERT_RDN_BMP_STRING) {
    content = bigEndianUnits(wideValue(value), 2);
  } else if (type == CERT_RDN_UTF8_STRING) {
    content = codepage::utf16ToUtf8(wideValue(value));
  } else if (type == CERT_RDN_UNIVERSAL_STRING) {
    for (DWORD i = 0; value.pbData && i + 4 <= value.cbData; i += 4) {
      DWORD c;
      std::memcpy(&c, value.pbData + i, 4);
      content += {char(c >> 24), char(c >> 16), char(c >> 8), char(c)};
    }
  } else {
    content = der::bytes(value);
  }
  *out = der::element(tag, content);
  return 0;
}

DWORD encodeRdns(const CERT_NAME_INFO& name, bool unicode, DWORD flags, Encoded* out) {
  std::string rdns;
  for (DWORD r = 0; r < name.cRDN; ++r) {
    const CERT_RDN& rdn = name.rgRDN[r];
    std::vector<std::string> attributes;
    for (DWORD a = 0; a < rdn.cRDNAttr; ++a) {
      const CERT_RDN_ATTR& attr = rdn.rgRDNAttr[a];
      std::string oid, value;
      if (!der::objectId(attr.pszObjId, &oid)) return DWORD(CRYPT_E_ASN1_ERROR);
      DWORD where = 0;
      DWORD error =
          unicode ? encodeWide(attr.pszObjId, attr.dwValueType, attr.Value, flags, &value, &where)
                  : encodeBytes(attr.dwValueType, attr.Value, &value);
      bool badCharacter = error == DWORD(CRYPT_E_INVALID_NUMERIC_STRING) ||
                          error == DWORD(CRYPT_E_INVALID_PRINTABLE_STRING) ||
                          error == DWORD(CRYPT_E_INVALID_IA5_STRING);
      if (error && badCharacter)
        out->where =
            (DWORD(r) & CERT_UNICODE_RDN_ERR_INDEX_MASK) << CERT_UNICODE_RDN_ERR_INDEX_SHIFT |
            (DWORD(a) & CERT_UNICODE_ATTR_ERR_INDEX_MASK) << CERT_UNICODE_ATTR_ERR_INDEX_SHIFT |
            (where & CERT_UNICODE_VALUE_ERR_INDEX_MASK);
      if (error) return error;
      attributes.push_back(der::element(der::kSequence, oid + value));
    }
    rdns += der::setOf(std::move(attributes));
  }
  out->der = der::element(der::kSequence, rdns);
  return 0;
}

}  // namespace

DWORD encodeName(const void* info, DWORD flags, Encoded* out) {
  return encodeRdns(*static_cast<const CERT_NAME_INFO*>(info), false, flags, out);
}

DWORD encodeUnicodeName(const void* info, DWORD flags, Encoded* out) {
  return encodeRdns(*static_cast<const CERT_NAME_INFO*>(info), true, flags, out);
}

DWORD encodeNameValue(const void* info, DWORD, Encoded* out) {
  auto* value = static_cast<const CERT_NAME_VALUE*>(info);
  return encodeBytes(value->dwValueType, value->Value, &out->der);
}

DWORD encodeUnicodeNameValue(const void* info, DWORD flags, Encoded* out) {
  auto* value = static_cast<const CERT_NAME_VALUE*>(info);
  return encodeWide(nullptr, value->dwValueType, value->Value, flags, &out->der, &out->where);
}

}  // namespace pw::cert
