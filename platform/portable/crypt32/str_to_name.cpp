// CertStrToNameA: X.500 text ("CN=Name, O=Org") to an encoded name. Keys are the X.500
// key names (any case), "OID.<dotted>" or a dotted type; values are quoted ("" for a
// quote) or bare, bare values losing their leading and trailing blanks. ',' and ';'
// separate relative names (only the one a CERT_NAME_STR_*_FLAG names, when one does) and
// '+' joins the values of a multi-valued one unless CERT_NAME_STR_NO_PLUS_FLAG. A value
// is a PrintableString when it can be, else a BMPString (UTF8String with
// CERT_NAME_STR_ENABLE_UTF8_UNICODE_FLAG); "E" and "DC" are IA5Strings.
#include "crypt32/name_string.h"

#include <windows.h>

#include <wincrypt.h>

#include "crypt32/cert_objects.h"
#include "machine/codepage.h"
#include "machine/guard.h"
#include "machine/ossl.h"

#include <openssl/objects.h>

#include <algorithm>
#include <cstring>

namespace {

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

bool printable(const std::u16string& v) {
  return std::all_of(v.begin(), v.end(), [](char16_t c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
           (c < 0x80 && c && std::strchr(" '()+,-./:=?", char(c)));
  });
}

bool dottedOid(std::string_view s) {
  if (s.empty() || !std::isdigit(BYTE(s.front())) || !std::isdigit(BYTE(s.back()))) return false;
  for (size_t i = 0; i < s.size(); ++i)
    if (!std::isdigit(BYTE(s[i])) && !(s[i] == '.' && i && s[i - 1] != '.')) return false;
  return s.find('.') != std::string_view::npos;
}

struct Parser {
  const char* text;
  const char* p;
  DWORD strType;

  bool separator(char c) const {
    if (strType & CERT_NAME_STR_COMMA_FLAG) return c == ',';
    if (strType & CERT_NAME_STR_SEMICOLON_FLAG) return c == ';';
    if (strType & CERT_NAME_STR_CRLF_FLAG) return c == '\r' || c == '\n';
    return c == ',' || c == ';';
  }
  bool plus(char c) const { return c == '+' && !(strType & CERT_NAME_STR_NO_PLUS_FLAG); }
  void skipBlanks() {
    while (*p && isBlank(*p) && !separator(*p)) ++p;
  }
};

// Adds one attribute; false when OpenSSL refuses it.
bool addAttribute(X509_NAME* name, const std::string& oid, const std::string& ansiValue,
                  DWORD strType, bool newRdn) {
  pw::ossl::Object obj(OBJ_txt2obj(oid.c_str(), 1));
  if (!obj) return false;
  std::u16string wide = pw::codepage::ansiToWide(ansiValue);
  int type;
  std::string bytes;
  if (oid == "1.2.840.113549.1.9.1" || oid == "0.9.2342.19200300.100.1.25") {
    type = V_ASN1_IA5STRING;
    bytes = ansiValue;
  } else if (printable(wide)) {
    type = V_ASN1_PRINTABLESTRING;
    bytes = ansiValue;
  } else if (strType & CERT_NAME_STR_ENABLE_UTF8_UNICODE_FLAG) {
    type = V_ASN1_UTF8STRING;
    bytes = pw::codepage::utf16ToUtf8(wide);
  } else {
    type = V_ASN1_BMPSTRING;
    for (char16_t c : wide) bytes += {char(c >> 8), char(c & 0xFF)};
  }
  pw::ossl::NameEntry e(X509_NAME_ENTRY_create_by_OBJ(
      nullptr, obj.get(), type, reinterpret_cast<const unsigned char*>(bytes.data()),
      int(bytes.size())));
  return e && X509_NAME_add_entry(name, e.get(), -1, newRdn ? 0 : -1);
}

}  // namespace

BOOL WINAPI CertStrToNameA(DWORD dwCertEncodingType, LPCSTR pszX500, DWORD dwStrType,
                           void* pvReserved, BYTE* pbEncoded, DWORD* pcbEncoded,
                           LPCSTR* ppszError) {
  return pw::guarded(FALSE, ERROR_NOT_ENOUGH_MEMORY, [&]() -> BOOL {
    if (ppszError) *ppszError = nullptr;
    if (!pszX500 || !pcbEncoded) return pw::cert::fail(DWORD(E_INVALIDARG));
    if ((dwCertEncodingType & 0xFFFF) != X509_ASN_ENCODING)
      return pw::cert::fail(DWORD(E_INVALIDARG));
    Parser in{pszX500, pszX500, dwStrType};
    auto bad = [&](const char* at) {
      if (ppszError) *ppszError = at;
      return pw::cert::fail(DWORD(CRYPT_E_INVALID_X500_STRING));
    };

    struct Attribute {
      std::string oid, value;
      bool newRdn;
    };
    std::vector<Attribute> attributes;
    bool newRdn = true;
    in.skipBlanks();
    while (*in.p) {
      const char* keyStart = in.p;
      while (*in.p && *in.p != '=' && !isBlank(*in.p) && !in.separator(*in.p) && !in.plus(*in.p))
        ++in.p;
      std::string_view key(keyStart, size_t(in.p - keyStart));
      in.skipBlanks();
      if (*in.p != '=') return bad(keyStart);
      std::string oid;
      if (key.size() > 4 && (key.substr(0, 4) == "OID." || key.substr(0, 4) == "oid."))
        key.remove_prefix(4);
      if (dottedOid(key))
        oid = key;
      else
        oid = pw::cert::oidOfKeyName(key);
      if (oid.empty()) return bad(keyStart);
      ++in.p;
      in.skipBlanks();

      std::string value;
      const char* valueStart = in.p;
      if (*in.p == '"') {
        ++in.p;
        for (;; ++in.p) {
          if (!*in.p) return bad(valueStart);
          if (*in.p == '"') {
            if (in.p[1] != '"') break;
            ++in.p;
          }
          value += *in.p;
        }
        ++in.p;
        in.skipBlanks();
        if (*in.p && !in.separator(*in.p) && !in.plus(*in.p)) return bad(valueStart);
      } else {
        while (*in.p && !in.separator(*in.p) && !in.plus(*in.p)) value += *in.p++;
        while (!value.empty() && isBlank(value.back())) value.pop_back();
      }
      attributes.push_back({oid, value, newRdn});
      newRdn = !in.plus(*in.p);
      if (*in.p) {  // a separator at the very end ends the name
        ++in.p;
        in.skipBlanks();
      }
    }

    if (dwStrType & CERT_NAME_STR_REVERSE_FLAG) {
      // Whole relative names change places; their values keep their order.
      std::vector<std::vector<Attribute>> rdns;
      for (const Attribute& a : attributes) {
        if (a.newRdn) rdns.emplace_back();
        rdns.back().push_back(a);
      }
      std::reverse(rdns.begin(), rdns.end());
      attributes.clear();
      for (auto& rdn : rdns)
        for (size_t i = 0; i < rdn.size(); ++i) {
          rdn[i].newRdn = i == 0;
          attributes.push_back(rdn[i]);
        }
    }

    pw::ossl::Name name(X509_NAME_new());
    bool ok = name != nullptr;
    for (const Attribute& a : attributes)
      ok = ok && addAttribute(name.get(), a.oid, a.value, dwStrType, a.newRdn);
    pw::ossl::Bytes der;
    int len = ok ? i2d_X509_NAME(name.get(), der.out()) : -1;
    if (len < 0) return bad(pszX500);
    std::string encoded = der.take(len);
    return pw::cert::copyOut(pbEncoded, pcbEncoded, encoded.data(), DWORD(encoded.size()));
  });
}
