// CertStrToNameA: X.500 text ("CN=Name, O=Org") to an encoded name.
//
// A key is an X.500 key name (any case), "OID.<dotted>" or a dotted type; it ends at '='
// or white space, and white space may stand around it and around the '='. ',' and ';'
// separate relative names (only the one a CERT_NAME_STR_*_FLAG names, when one does:
// with CERT_NAME_STR_CRLF_FLAG, CR and LF), '+' joins the values of a multi-valued one
// unless CERT_NAME_STR_NO_PLUS_FLAG. A value is quoted ("" for a quote inside; what
// follows the closing quote up to the next separator may only be white space) unless
// CERT_NAME_STR_NO_QUOTING_FLAG, where quotes are ordinary characters; "#" and hex
// digits (white space between them ignored) make an OCTET STRING; else it is bare and
// loses its leading and trailing white space. A bare value may be empty when a separator
// follows it, never at the end of the text. REVERSE_FLAG reverses the relative names.
//
// The value's type: PrintableString when it can be, else a BMPString (T61String when
// CERT_NAME_STR_ENABLE_T61_UNICODE_FLAG and every character fits a byte, UTF8String with
// CERT_NAME_STR_ENABLE_UTF8_UNICODE_FLAG); "E" and "DC" take IA5Strings only, "C" a
// PrintableString only, failing with CRYPT_E_INVALID_IA5_STRING or
// CRYPT_E_INVALID_PRINTABLE_STRING.
//
// The text is read before the encoding type is looked at: a text that does not parse
// fails with CRYPT_E_INVALID_X500_STRING and *ppszError at the character where reading
// stopped, whatever the encoding type; one that parses, with an encoding type other than
// X509_ASN_ENCODING, with ERROR_FILE_NOT_FOUND. Success clears the last error.
#include "crypt32/name_string.h"

#include <windows.h>

#include <wincrypt.h>

#include "crypt32/cert_der.h"
#include "crypt32/cert_objects.h"
#include "machine/codepage.h"
#include "machine/guard.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <optional>

namespace pw::cert {
namespace {

constexpr BYTE kPrintable = 0x13, kIa5 = 0x16, kT61 = 0x14, kBmp = 0x1E, kUtf8 = 0x0C,
               kOctetString = 0x04;
constexpr char kEmail[] = "1.2.840.113549.1.9.1", kDomainComponent[] = "0.9.2342.19200300.100.1.25",
               kCountry[] = "2.5.4.6";

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

bool printable(const std::u16string& v) {
  return std::all_of(v.begin(), v.end(), [](char16_t c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
           (c < 0x80 && c && std::strchr(" '()+,-./:=?", char(c)));
  });
}

int hexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// The dotted type a key stands for: a key name, "OID.<dotted>" or a dotted type.
std::string typeOfKey(std::string_view key) {
  if (key.size() > 4 && (key.substr(0, 4) == "OID." || key.substr(0, 4) == "oid."))
    key.remove_prefix(4);
  if (!key.empty() && std::isdigit(BYTE(key.front())))
    return oidContent(key).empty() ? std::string() : std::string(key);
  return std::string(oidOfKeyName(key));
}

struct Value {
  std::string text;  // ANSI characters, or the bytes of a '#' value
  bool hex = false;
};

struct Attribute {
  std::string oid;
  Value value;
  bool newRdn;
};

class Parser {
 public:
  Parser(const char* text, DWORD strType) : p_(text), strType_(strType) {}

  // The attributes, in the text's order; nullopt with error() at the bad character.
  std::optional<std::vector<Attribute>> parse() {
    std::vector<Attribute> out;
    bool newRdn = true;
    skipWhite();
    while (*p_) {
      const char* keyStart = p_;
      while (*p_ && *p_ != '=' && !isBlank(*p_)) ++p_;
      std::string_view key(keyStart, size_t(p_ - keyStart));
      skipBlanks();
      std::string oid = *p_ == '=' ? typeOfKey(key) : std::string();
      if (oid.empty()) {
        refuse(keyStart);
        return std::nullopt;
      }
      ++p_;
      skipBlanks();
      Value value;
      if (!readValue(&value)) return std::nullopt;
      out.push_back({std::move(oid), std::move(value), newRdn});
      newRdn = !plus(*p_);
      if (*p_) ++p_;  // the separator; one at the very end ends the name
      skipWhite();
    }
    return out;
  }

  const char* error() const { return error_; }

 private:
  bool separator(char c) const {
    if (strType_ & CERT_NAME_STR_COMMA_FLAG) return c == ',';
    if (strType_ & CERT_NAME_STR_SEMICOLON_FLAG) return c == ';';
    if (strType_ & CERT_NAME_STR_CRLF_FLAG) return c == '\r' || c == '\n';
    return c == ',' || c == ';';
  }
  bool plus(char c) const { return c == '+' && !(strType_ & CERT_NAME_STR_NO_PLUS_FLAG); }
  bool ends(char c) const { return !c || separator(c) || plus(c); }
  // White space inside a relative name: what is no separator.
  void skipBlanks() {
    while (*p_ && isBlank(*p_) && !separator(*p_)) ++p_;
  }
  // White space before a key, separators of CERT_NAME_STR_CRLF_FLAG included.
  void skipWhite() {
    while (isBlank(*p_)) ++p_;
  }
  bool refuse(const char* at) {
    error_ = at;
    return false;
  }

  bool readValue(Value* value) {
    if (*p_ == '"' && !(strType_ & CERT_NAME_STR_NO_QUOTING_FLAG)) {
      for (++p_;; ++p_) {
        if (!*p_) return refuse(p_);
        if (*p_ == '"') {
          if (p_[1] != '"') break;
          ++p_;
        }
        value->text += *p_;
      }
      ++p_;
      skipBlanks();
      if (!ends(*p_)) return refuse(p_);
      return true;
    }
    const char* start = p_;
    while (!ends(*p_)) ++p_;
    std::string_view bare(start, size_t(p_ - start));
    while (!bare.empty() && isBlank(bare.back())) bare.remove_suffix(1);
    if (bare.empty() && !*p_) return refuse(start);  // an empty value ends no text
    if (!bare.empty() && bare.front() == '#') {
      value->hex = true;
      int high = -1;
      for (char c : bare.substr(1)) {
        if (isBlank(c)) continue;
        int digit = hexDigit(c);
        if (digit < 0) return refuse(start);
        if (high < 0) {
          high = digit;
        } else {
          value->text += char(high << 4 | digit);
          high = -1;
        }
      }
      if (high >= 0) return refuse(start);
      return true;
    }
    value->text = bare;
    return true;
  }

  const char* p_;
  DWORD strType_;
  const char* error_ = nullptr;
};

// The value as the type the attribute takes; 0 or the error that refuses it.
DWORD typedValue(const Attribute& a, DWORD strType, NameAttribute* out) {
  out->oid = a.oid;
  if (a.value.hex) {
    out->tag = kOctetString;
    out->value = a.value.text;
    return 0;
  }
  std::u16string wide = pw::codepage::ansiToWide(a.value.text);
  if (a.oid == kEmail || a.oid == kDomainComponent) {
    if (std::any_of(wide.begin(), wide.end(), [](char16_t c) { return c >= 0x80; }))
      return DWORD(CRYPT_E_INVALID_IA5_STRING);
    out->tag = kIa5;
    out->value.assign(wide.begin(), wide.end());
    return 0;
  }
  if (printable(wide)) {
    out->tag = kPrintable;
    out->value.assign(wide.begin(), wide.end());
    return 0;
  }
  if (a.oid == kCountry) return DWORD(CRYPT_E_INVALID_PRINTABLE_STRING);
  if ((strType & CERT_NAME_STR_ENABLE_T61_UNICODE_FLAG) &&
      std::all_of(wide.begin(), wide.end(), [](char16_t c) { return c < 0x100; })) {
    out->tag = kT61;
    out->value.assign(wide.begin(), wide.end());
  } else if (strType & CERT_NAME_STR_ENABLE_UTF8_UNICODE_FLAG) {
    out->tag = kUtf8;
    out->value = pw::codepage::utf16ToUtf8(wide);
  } else {
    out->tag = kBmp;
    for (char16_t c : wide) out->value += {char(c >> 8), char(c & 0xFF)};
  }
  return 0;
}

}  // namespace

std::string encodeName(const std::vector<NameRdn>& rdns) {
  std::string body;
  for (const NameRdn& rdn : rdns) {
    std::vector<std::string> attrs;
    for (const NameAttribute& a : rdn)
      attrs.push_back(
          derElement(0x30, derElement(0x06, oidContent(a.oid)) + derElement(a.tag, a.value)));
    std::sort(attrs.begin(), attrs.end());  // DER orders a SET OF by its encodings
    std::string set;
    for (const std::string& a : attrs) set += a;
    body += derElement(0x31, set);
  }
  return derElement(0x30, body);
}

}  // namespace pw::cert

BOOL WINAPI CertStrToNameA(DWORD dwCertEncodingType, LPCSTR pszX500, DWORD dwStrType,
                           void* pvReserved, BYTE* pbEncoded, DWORD* pcbEncoded,
                           LPCSTR* ppszError) {
  return pw::guarded(FALSE, ERROR_NOT_ENOUGH_MEMORY, [&]() -> BOOL {
    if (ppszError) *ppszError = nullptr;
    if (!pszX500) return pw::cert::fail(DWORD(CRYPT_E_INVALID_X500_STRING));
    if (!pcbEncoded) return pw::cert::fail(DWORD(E_INVALIDARG));
    pw::cert::Parser parser(pszX500, dwStrType);
    auto attributes = parser.parse();
    if (!attributes) {
      if (ppszError) *ppszError = parser.error();
      return pw::cert::fail(DWORD(CRYPT_E_INVALID_X500_STRING));
    }
    if ((dwCertEncodingType & 0xFFFF) != X509_ASN_ENCODING)
      return pw::cert::fail(ERROR_FILE_NOT_FOUND);

    std::vector<pw::cert::NameRdn> rdns;
    for (const pw::cert::Attribute& a : *attributes) {
      if (a.newRdn) rdns.emplace_back();
      rdns.back().emplace_back();
      if (DWORD error = pw::cert::typedValue(a, dwStrType, &rdns.back().back()))
        return pw::cert::fail(error);
    }
    // Whole relative names change places; their values keep their order.
    if (dwStrType & CERT_NAME_STR_REVERSE_FLAG) std::reverse(rdns.begin(), rdns.end());
    std::string der = pw::cert::encodeName(rdns);
    if (!pw::cert::copyOut(pbEncoded, pcbEncoded, der.data(), DWORD(der.size()))) return FALSE;
    SetLastError(ERROR_SUCCESS);
    return TRUE;
  });
}
