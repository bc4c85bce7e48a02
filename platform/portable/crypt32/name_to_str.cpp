// CertNameToStrA: an encoded X.500 name as text, in the name's encoded order unless
// reversed. CERT_SIMPLE_NAME_STR writes the values only, CERT_OID_NAME_STR prefixes each
// with its dotted type and '=', CERT_X500_NAME_STR with its key name ("CN=") or
// "OID.<dotted>=" for a type without one. Relative names are joined by ", " (or "; ",
// or CR LF), the values of a multi-valued one by " + " (or " "). A value that is empty,
// starts or ends with white space, or holds one of , + = " \n < > # ; is quoted, with
// its quotes doubled, unless CERT_NAME_STR_NO_QUOTING_FLAG. An OCTET STRING value, or one
// that is no string at all, is written as '#' and the hex of its bytes (of the whole
// element for the latter). Text leaves in the ANSI code page, '?' for what it cannot
// carry.
//
// The answer is a count of characters with the terminator. A null or empty buffer asks for
// it; a buffer too short for the text gets the empty string and the answer 1, as does a
// name that cannot be decoded. The last error says which: ERROR_INSUFFICIENT_BUFFER, the
// ASN.1 error, or ERROR_FILE_NOT_FOUND for an encoding type other than X509_ASN_ENCODING
// (the message encoding type in the high word is ignored). Otherwise it is cleared.
#include "crypt32/name_string.h"

#include <windows.h>

#include <wincrypt.h>

#include "crypt32/cert_der.h"
#include "machine/faults.h"
#include "machine/guard.h"

#include "machine/codepage.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace pw::cert {
namespace {

struct KeyName {
  const char* oid;
  const char* name;
};

// Windows' key names of the relative distinguished name attributes.
constexpr KeyName kKeyNames[] = {
    {"2.5.4.3", "CN"},
    {"2.5.4.4", "SN"},
    {"2.5.4.5", "SERIALNUMBER"},
    {"2.5.4.6", "C"},
    {"2.5.4.7", "L"},
    {"2.5.4.8", "S"},
    {"2.5.4.9", "STREET"},
    {"2.5.4.10", "O"},
    {"2.5.4.11", "OU"},
    {"2.5.4.12", "T"},
    {"2.5.4.13", "Description"},
    {"2.5.4.17", "PostalCode"},
    {"2.5.4.18", "POBox"},
    {"2.5.4.20", "Phone"},
    {"2.5.4.21", "X21Address"},
    {"2.5.4.42", "G"},
    {"2.5.4.43", "I"},
    {"2.5.4.46", "dnQualifier"},
    {"1.2.840.113549.1.9.1", "E"},
    {"1.2.840.113549.1.9.2", "UnstructuredName"},
    {"1.2.840.113549.1.9.8", "UnstructuredAddress"},
    {"0.9.2342.19200300.100.1.25", "DC"},
};

// Other names Windows reads for the same types, never writes.
constexpr KeyName kOtherKeyNames[] = {
    {"2.5.4.8", "ST"},
    {"2.5.4.12", "Title"},
    {"2.5.4.42", "GivenName"},
    {"1.2.840.113549.1.9.1", "Email"},
};

constexpr BYTE kUtf8 = 0x0C, kT61 = 0x14, kUniversal = 0x1C, kBmp = 0x1E, kOctetString = 0x04;

// The other string types whose bytes are characters, one each.
bool byteString(BYTE tag) {
  return tag == 0x12 || tag == 0x13 || tag == 0x15 || tag == 0x16 || tag == 0x19 || tag == 0x1A ||
         tag == 0x1B;
}

std::u16string hexOf(std::string_view bytes) {
  static const char digits[] = "0123456789ABCDEF";
  std::u16string out = u"#";
  for (char c : bytes) {
    out += char16_t(digits[BYTE(c) >> 4]);
    out += char16_t(digits[BYTE(c) & 0x0F]);
  }
  return out;
}

// A value as UTF-16, as crypt32 decodes each string type.
std::u16string wideValue(const NameAttribute& a) {
  const auto* p = reinterpret_cast<const BYTE*>(a.value.data());
  size_t n = a.value.size();
  std::u16string out;
  if (a.tag == kUtf8) return pw::codepage::utf8ToUtf16(a.value);
  if (a.tag == kBmp) {
    for (size_t i = 0; i + 1 < n; i += 2) out += char16_t((p[i] << 8) | p[i + 1]);
    return out;
  }
  if (a.tag == kUniversal) {
    for (size_t i = 0; i + 3 < n; i += 4) {
      uint32_t c = (uint32_t(p[i]) << 24) | (p[i + 1] << 16) | (p[i + 2] << 8) | p[i + 3];
      if (c >= 0x10000) {
        c -= 0x10000;
        out += char16_t(0xD800 + (c >> 10));
        out += char16_t(0xDC00 + (c & 0x3FF));
      } else {
        out += char16_t(c);
      }
    }
    return out;
  }
  if (a.tag == kT61) {
    // Read as UTF-8 first, as Windows does, and byte by byte when that fails.
    std::u16string utf = pw::codepage::utf8ToUtf16(a.value);
    if (std::find(utf.begin(), utf.end(), u'\xFFFD') == utf.end()) return utf;
  } else if (!byteString(a.tag)) {
    return hexOf(a.tag == kOctetString ? a.value : derElement(a.tag, a.value));
  }
  for (size_t i = 0; i < n; ++i) out += char16_t(p[i]);
  return out;
}

bool hexWritten(BYTE tag) {
  return tag != kUtf8 && tag != kT61 && tag != kUniversal && tag != kBmp && !byteString(tag);
}

bool isSpace(char16_t c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

bool needsQuotes(const std::u16string& v) {
  if (v.empty() || isSpace(v.front()) || isSpace(v.back())) return true;
  return std::any_of(v.begin(), v.end(), [](char16_t c) {
    return c < 0x80 && std::strchr(",+=\"\n<>#;", char(c)) && c;
  });
}

std::string ansi(const std::u16string& w) {
  std::string out;
  for (char16_t c : w) {
    int a = pw::codepage::wideToAnsi(c);
    out += a < 0 ? '?' : char(a);
  }
  return out;
}

std::string render(std::vector<NameRdn> rdns, DWORD strType) {
  DWORD type = strType & 0xFF;
  const char* rdnSep = (strType & CERT_NAME_STR_SEMICOLON_FLAG) ? "; "
                       : (strType & CERT_NAME_STR_CRLF_FLAG)    ? "\r\n"
                                                                : ", ";
  const char* plusSep = (strType & CERT_NAME_STR_NO_PLUS_FLAG) ? " " : " + ";
  bool quoting = !(strType & CERT_NAME_STR_NO_QUOTING_FLAG);
  if (strType & CERT_NAME_STR_REVERSE_FLAG) std::reverse(rdns.begin(), rdns.end());

  std::string out;
  for (size_t r = 0; r < rdns.size(); ++r) {
    if (r) out += rdnSep;
    for (size_t i = 0; i < rdns[r].size(); ++i) {
      if (i) out += plusSep;
      const NameAttribute& a = rdns[r][i];
      if (type == CERT_OID_NAME_STR) {
        out += a.oid + "=";
      } else if (type == CERT_X500_NAME_STR) {
        std::string_view key = keyNameOf(a.oid);
        out += key.empty() ? "OID." + a.oid + "=" : std::string(key) + "=";
      }
      std::u16string value = wideValue(a);
      if (quoting && !hexWritten(a.tag) && needsQuotes(value)) {
        std::u16string quoted = u"\"";
        for (char16_t c : value) {
          quoted += c;
          if (c == '"') quoted += c;
        }
        value = quoted + u"\"";
      }
      out += ansi(value);
    }
  }
  return out;
}

}  // namespace

std::string_view keyNameOf(std::string_view oid) {
  for (const KeyName& k : kKeyNames)
    if (oid == k.oid) return k.name;
  return {};
}

std::string_view oidOfKeyName(std::string_view key) {
  auto same = [&](const KeyName& k) {
    return key.size() == std::strlen(k.name) &&
           std::equal(key.begin(), key.end(), k.name, [](char a, char b) {
             return std::toupper(BYTE(a)) == std::toupper(BYTE(b));
           });
  };
  for (const KeyName& k : kKeyNames)
    if (same(k)) return k.oid;
  for (const KeyName& k : kOtherKeyNames)
    if (same(k)) return k.oid;
  return {};
}

DWORD decodeName(std::string_view der, std::vector<NameRdn>* out) {
  constexpr int kSequence = 0x30, kSet = 0x31, kOid = 0x06;
  Der name;
  if (DWORD e = readElement(&der, &name, kSequence)) return e;
  std::string_view rdns = name.content;
  while (!rdns.empty()) {
    Der rdn;
    if (DWORD e = readElement(&rdns, &rdn, kSet)) return e;
    out->emplace_back();
    std::string_view attrs = rdn.content;
    while (!attrs.empty()) {
      Der attr, type, value;
      if (DWORD e = readElement(&attrs, &attr, kSequence)) return e;
      std::string_view body = attr.content;
      if (DWORD e = readElement(&body, &type, kOid)) return e;
      if (DWORD e = readElement(&body, &value)) return e;
      NameAttribute a;
      a.oid = oidOf(type.content);
      if (a.oid.empty() || !body.empty()) return DWORD(CRYPT_E_ASN1_CORRUPT);
      a.tag = value.tag;
      a.value = value.content;
      out->back().push_back(std::move(a));
    }
  }
  return 0;
}

}  // namespace pw::cert

DWORD WINAPI CertNameToStrA(DWORD dwCertEncodingType, PCERT_NAME_BLOB pName, DWORD dwStrType,
                            LPSTR psz, DWORD csz) {
  if (psz && csz) psz[0] = '\0';
  if (auto fault = pw::faults::injected(pw::faults::Point::CertNameToStrA)) {
    SetLastError(*fault);
    return 1;  // the terminator alone, as for a name that cannot be rendered
  }
  return pw::guarded(DWORD(1), ERROR_NOT_ENOUGH_MEMORY, [&]() -> DWORD {
    if ((dwCertEncodingType & 0xFFFF) != X509_ASN_ENCODING) {
      SetLastError(ERROR_FILE_NOT_FOUND);
      return 1;
    }
    std::vector<pw::cert::NameRdn> rdns;
    std::string_view der;
    if (pName && pName->pbData) der = {reinterpret_cast<const char*>(pName->pbData), pName->cbData};
    if (DWORD error = pw::cert::decodeName(der, &rdns)) {
      SetLastError(error);
      return 1;
    }
    std::string text = pw::cert::render(std::move(rdns), dwStrType);
    SetLastError(ERROR_SUCCESS);
    DWORD size = DWORD(text.size() + 1);
    if (!psz || !csz) return size;
    // A short buffer holds what fits, and the empty string in front of it.
    DWORD n = std::min(size - 1, csz - 1);
    std::memcpy(psz, text.data(), n);
    psz[n] = '\0';
    if (n < size - 1) {
      psz[0] = '\0';
      SetLastError(ERROR_INSUFFICIENT_BUFFER);
      return 1;
    }
    return size;
  });
}
