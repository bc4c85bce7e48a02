// CertNameToStrA: an encoded X.500 name as text, in the name's encoded order unless
// reversed. CERT_SIMPLE_NAME_STR writes the values only, CERT_OID_NAME_STR prefixes each
// with its dotted type and '=', CERT_X500_NAME_STR with its key name ("CN=") or
// "OID.<dotted>=" for a type without one. Relative names are joined by ", " (or "; ",
// or CR LF), the values of a multi-valued one by " + " (or " "). A value that is empty,
// starts or ends with white space, or holds one of , + = " \n < > # ; is quoted, with
// its quotes doubled. Text leaves in the ANSI code page, '?' for what it cannot carry.
#include "crypt32/name_string.h"

#include <windows.h>

#include <wincrypt.h>

#include "machine/faults.h"
#include "machine/guard.h"

#include "machine/codepage.h"
#include "machine/ossl.h"

#include <openssl/objects.h>

#include <algorithm>
#include <cstring>
#include <memory>
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

std::string oidText(const ASN1_OBJECT* obj) {
  char buf[128];
  int n = OBJ_obj2txt(buf, sizeof buf, obj, 1);
  return n > 0 && size_t(n) < sizeof buf ? std::string(buf, size_t(n)) : std::string();
}

// A value as UTF-16, as crypt32 decodes each string type.
std::u16string wideValue(const ASN1_STRING* value) {
  const unsigned char* p = ASN1_STRING_get0_data(value);
  size_t n = size_t(ASN1_STRING_length(value));
  std::u16string out;
  switch (ASN1_STRING_type(value)) {
    case V_ASN1_UTF8STRING:
      return pw::codepage::utf8ToUtf16({reinterpret_cast<const char*>(p), n});
    case V_ASN1_BMPSTRING:
      for (size_t i = 0; i + 1 < n; i += 2) out += char16_t((p[i] << 8) | p[i + 1]);
      return out;
    case V_ASN1_UNIVERSALSTRING:
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
    case V_ASN1_T61STRING: {
      // Read as UTF-8 first, as Windows does, and byte by byte when that fails.
      std::u16string utf = pw::codepage::utf8ToUtf16({reinterpret_cast<const char*>(p), n});
      if (std::find(utf.begin(), utf.end(), u'\xFFFD') == utf.end()) return utf;
      out.clear();
      [[fallthrough]];
    }
    default:
      for (size_t i = 0; i < n; ++i) out += char16_t(p[i]);
      return out;
  }
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

std::string render(X509_NAME* name, DWORD strType) {
  DWORD type = strType & 0xFF;
  const char* rdnSep = (strType & CERT_NAME_STR_SEMICOLON_FLAG) ? "; "
                       : (strType & CERT_NAME_STR_CRLF_FLAG)    ? "\r\n"
                                                                : ", ";
  const char* plusSep = (strType & CERT_NAME_STR_NO_PLUS_FLAG) ? " " : " + ";
  bool quoting = !(strType & CERT_NAME_STR_NO_QUOTING_FLAG);

  // The relative names, each a run of entries that share a set number.
  std::vector<std::vector<X509_NAME_ENTRY*>> rdns;
  int count = X509_NAME_entry_count(name);
  for (int i = 0; i < count; ++i) {
    X509_NAME_ENTRY* e = X509_NAME_get_entry(name, i);
    if (rdns.empty() ||
        X509_NAME_ENTRY_set(e) != X509_NAME_ENTRY_set(X509_NAME_get_entry(name, i - 1)))
      rdns.emplace_back();
    rdns.back().push_back(e);
  }
  if (strType & CERT_NAME_STR_REVERSE_FLAG) std::reverse(rdns.begin(), rdns.end());

  std::string out;
  for (size_t r = 0; r < rdns.size(); ++r) {
    if (r) out += rdnSep;
    for (size_t a = 0; a < rdns[r].size(); ++a) {
      if (a) out += plusSep;
      X509_NAME_ENTRY* e = rdns[r][a];
      std::string oid = oidText(X509_NAME_ENTRY_get_object(e));
      if (type == CERT_OID_NAME_STR) {
        out += oid + "=";
      } else if (type == CERT_X500_NAME_STR) {
        std::string_view key = keyNameOf(oid);
        out += key.empty() ? "OID." + oid + "=" : std::string(key) + "=";
      }
      std::u16string value = wideValue(X509_NAME_ENTRY_get_data(e));
      if (quoting && needsQuotes(value)) {
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
  for (const KeyName& k : kKeyNames)
    if (key.size() == std::strlen(k.name) &&
        std::equal(key.begin(), key.end(), k.name,
                   [](char a, char b) { return std::toupper(BYTE(a)) == std::toupper(BYTE(b)); }))
      return k.oid;
  return {};
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
    std::string text;
    if (pName && (pName->pbData || !pName->cbData)) {
      const unsigned char* p = pName->pbData;
      pw::ossl::Name name(p ? d2i_X509_NAME(nullptr, &p, long(pName->cbData)) : nullptr);
      if (name) text = pw::cert::render(name.get(), dwStrType);
    }
    if (!psz || !csz) return DWORD(text.size() + 1);
    DWORD n = std::min<DWORD>(DWORD(text.size()), csz - 1);
    std::memcpy(psz, text.data(), n);
    psz[n] = '\0';
    return n + 1;
  });
}
