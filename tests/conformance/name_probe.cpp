// Conformance probe for the corners of the name-string calls: CertNameToStrA's size
// protocol (a size question, a buffer one character short, a buffer of no characters), its
// encoding type and last error, every format and flag; CertStrToNameA's error codes and
// error positions, its last error, its flags and quoted values. Names are built here as
// DER, independently of either implementation. One line a case; the outputs under Wine and
// the portable platform must be identical.
//
// Where Wine 8 departs from Windows the case is left out and the line says so; the
// portable platform follows Windows there (its unit tests hold it to Windows' answers).
#include <windows.h>

#include <wincrypt.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "../unit/common/der.h"
#include "probe_text.h"

namespace {

using test::der::oid;
using test::der::tlv;

using Bytes = std::string;

std::string errorText() {
  char err[16];
  std::snprintf(err, sizeof err, "%08x", unsigned(GetLastError()));
  return err;
}

// ---- DER ----

constexpr int kPrintable = 0x13, kIa5 = 0x16;

Bytes attr(const char* type, int tag, const Bytes& value) {
  return tlv(0x30, oid(type) + tlv(tag, value));
}
Bytes rdn(const Bytes& attrs) { return tlv(0x31, attrs); }
Bytes name(const Bytes& rdns) { return tlv(0x30, rdns); }

const Bytes& sample() {
  static const Bytes der =
      name(rdn(attr("2.5.4.6", kPrintable, "GB")) + rdn(attr("2.5.4.8", kPrintable, "Kent")) +
           rdn(attr("2.5.4.10", kPrintable, "Velmora Ltd")) +
           rdn(attr("2.5.4.3", kPrintable, "Kim") + attr("2.5.4.11", kPrintable, "Gateway")) +
           rdn(attr("2.5.4.3", kPrintable, "a, b")) +
           rdn(attr("1.2.840.113549.1.9.1", kIa5, "ops@velmora.example")));
  return der;
}

void nameToStr() {
  CERT_NAME_BLOB blob{DWORD(sample().size()), (BYTE*)sample().data()};
  struct Format {
    const char* label;
    DWORD type;
  } formats[] = {
      {"simple", CERT_SIMPLE_NAME_STR},
      {"oid", CERT_OID_NAME_STR},
      {"x500", CERT_X500_NAME_STR},
      {"x500 semicolon", CERT_X500_NAME_STR | CERT_NAME_STR_SEMICOLON_FLAG},
      {"x500 crlf", CERT_X500_NAME_STR | CERT_NAME_STR_CRLF_FLAG},
      {"x500 no plus", CERT_X500_NAME_STR | CERT_NAME_STR_NO_PLUS_FLAG},
      {"x500 reverse", CERT_X500_NAME_STR | CERT_NAME_STR_REVERSE_FLAG},
      {"oid semicolon reverse",
       CERT_OID_NAME_STR | CERT_NAME_STR_SEMICOLON_FLAG | CERT_NAME_STR_REVERSE_FLAG},
      {"simple crlf no plus",
       CERT_SIMPLE_NAME_STR | CERT_NAME_STR_CRLF_FLAG | CERT_NAME_STR_NO_PLUS_FLAG},
  };
  for (const Format& f : formats) {
    SetLastError(0xdeadbeef);
    DWORD size = CertNameToStrA(X509_ASN_ENCODING, &blob, f.type, nullptr, 0);
    std::string last = errorText();
    char buf[512];
    DWORD n = CertNameToStrA(X509_ASN_ENCODING, &blob, f.type, buf, sizeof buf);
    std::string text;
    for (const char* p = buf; *p; ++p)
      text += *p == '\r' ? "\\r" : *p == '\n' ? "\\n" : std::string(1, *p);
    std::printf("to str %s: size=%lu last=%s count=%lu [%s]\n", f.label, (unsigned long)size,
                last.c_str(), (unsigned long)n, text.c_str());
  }
  std::printf("departs: no quoting (Wine 8 quotes anyway)\n");
  char buf[512];
  DWORD full = CertNameToStrA(X509_ASN_ENCODING, &blob, CERT_X500_NAME_STR, nullptr, 0);
  std::memset(buf, 'x', sizeof buf);
  SetLastError(0xdeadbeef);
  DWORD n = CertNameToStrA(X509_ASN_ENCODING, &blob, CERT_X500_NAME_STR, buf, full - 1);
  std::printf("to str, one short: count=%lu last=%s first=%02x second=%c\n", (unsigned long)n,
              errorText().c_str(), unsigned(BYTE(buf[0])), buf[1]);
  std::memset(buf, 'x', sizeof buf);
  n = CertNameToStrA(X509_ASN_ENCODING, &blob, CERT_X500_NAME_STR, buf, 1);
  std::printf("to str, room for 1: count=%lu first=%02x\n", (unsigned long)n,
              unsigned(BYTE(buf[0])));
  std::memset(buf, 'x', sizeof buf);
  n = CertNameToStrA(X509_ASN_ENCODING, &blob, CERT_X500_NAME_STR, buf, 0);
  std::printf("to str, room for 0: count=%lu first=%c\n", (unsigned long)n, buf[0]);
  SetLastError(0xdeadbeef);
  n = CertNameToStrA(0, &blob, CERT_X500_NAME_STR, buf, sizeof buf);
  std::printf("to str, encoding 0: count=%lu last=%s\n", (unsigned long)n, errorText().c_str());
  std::printf("departs: message encoding type alone (Wine 8 renders the name)\n");
  SetLastError(0xdeadbeef);
  n = CertNameToStrA(X509_ASN_ENCODING | PKCS_7_ASN_ENCODING, &blob, CERT_X500_NAME_STR, buf,
                     sizeof buf);
  std::printf("to str, both encodings: count=%lu last=%s\n", (unsigned long)n, errorText().c_str());
  struct {
    const char* label;
    Bytes der;
  } junk[] = {
      {"not a name", Bytes("\x04\x01x", 3)},
      {"truncated", sample().substr(0, 20)},
      {"rdn not a set", name(tlv(0x30, attr("2.5.4.3", kPrintable, "x")))},
      {"type not an oid", name(rdn(tlv(0x30, tlv(0x02, "\x01") + tlv(kPrintable, "x"))))},
      {"empty blob", Bytes()},
      {"indefinite, ended wrongly", Bytes("\x30\x80\x00\x05", 4)},
      {"indefinite primitive value",
       name(rdn(tlv(0x30, oid("2.5.4.3") + Bytes("\x13\x80x\0\0", 5))))},
      {"indefinite, empty", Bytes("\x30\x80\0\0", 4)},
  };
  for (const auto& j : junk) {
    CERT_NAME_BLOB b{DWORD(j.der.size()), (BYTE*)j.der.data()};
    std::memset(buf, 'x', sizeof buf);
    SetLastError(0xdeadbeef);
    n = CertNameToStrA(X509_ASN_ENCODING, &b, CERT_X500_NAME_STR, buf, sizeof buf);
    std::printf("to str, %s: count=%lu last=%s first=%02x\n", j.label, (unsigned long)n,
                errorText().c_str(), unsigned(BYTE(buf[0])));
  }
  std::printf(
      "departs: indefinite lengths not ended within the bytes given, or nested (Wine 8 reads on "
      "past the bytes given)\n");
  std::printf("departs: octet string values (Wine 8 writes them otherwise)\n");
  Bytes mixed =
      name(rdn(attr("2.5.4.3", 0x0C, "\xC3\xA9t\xC3\xA9")) +
           rdn(attr("2.5.4.10", 0x1E, Bytes("\0K\0\xF6", 4))) + rdn(attr("2.5.4.11", 0x14, "T61")) +
           rdn(attr("2.5.4.7", 0x16, "ia5")) + rdn(attr("1.2.3.4", kPrintable, "odd")));
  CERT_NAME_BLOB m{DWORD(mixed.size()), (BYTE*)mixed.data()};
  n = CertNameToStrA(X509_ASN_ENCODING, &m, CERT_OID_NAME_STR, buf, sizeof buf);
  std::printf("to str, string types: count=%lu [%s]\n", (unsigned long)n, buf);
}

void strToName(const char* label, const char* text, DWORD flags,
               DWORD encoding = X509_ASN_ENCODING) {
  BYTE der[256];
  DWORD size = sizeof der;
  LPCSTR error = reinterpret_cast<LPCSTR>(1);
  SetLastError(0xdeadbeef);
  BOOL ok = CertStrToNameA(encoding, text, flags, nullptr, der, &size, &error);
  std::string last = errorText();
  std::string where = !error                                 ? "none"
                      : error == reinterpret_cast<LPCSTR>(1) ? "untouched"
                                                             : std::to_string(error - text);
  std::printf("str to name %s: ret=%d last=%s error=%s size=%lu%s%s\n", label, ok ? 1 : 0,
              last.c_str(), where.c_str(), (unsigned long)size, ok ? " der=" : "",
              ok ? probe::hex(der, size).c_str() : "");
}

void strToNameCases() {
  BYTE der[8];
  DWORD size = 0;
  SetLastError(0xdeadbeef);
  BOOL ok = CertStrToNameA(X509_ASN_ENCODING, nullptr, 0, nullptr, nullptr, &size, nullptr);
  std::printf("str to name no text: ret=%d last=%s\n", ok ? 1 : 0, errorText().c_str());
  strToName("encoding 0, bogus", "bogus", 0, 0);
  strToName("encoding 0, unknown key", "foo=1", 0, 0);
  {
    LPCSTR error = reinterpret_cast<LPCSTR>(1);
    size = sizeof der;
    SetLastError(0xdeadbeef);
    ok = CertStrToNameA(0, "CN=1", 0, nullptr, der, &size, &error);
    std::printf("str to name encoding 0, sound: ret=%d last=%s\n", ok ? 1 : 0, errorText().c_str());
  }
  size = 0;
  SetLastError(0xdeadbeef);
  ok = CertStrToNameA(X509_ASN_ENCODING, "CN=1", 0, nullptr, nullptr, &size, nullptr);
  std::printf("str to name size question: ret=%d last=%s size=%lu\n", ok ? 1 : 0,
              errorText().c_str(), (unsigned long)size);
  size = 4;
  SetLastError(0xdeadbeef);
  ok = CertStrToNameA(X509_ASN_ENCODING, "CN=1", 0, nullptr, der, &size, nullptr);
  std::printf("str to name short buffer: ret=%d last=%s size=%lu\n", ok ? 1 : 0,
              errorText().c_str(), (unsigned long)size);
  strToName("bare", "CN=1", 0);
  strToName("blanks around", " CN =   Wine Test,T = 123, C = BR", 0);
  strToName("single quotes", "CN='1'", 0);
  strToName("comma then key", "CN=dummy,T=test", 0);
  strToName("semicolon", "CN=a;O=b", 0);
  strToName("semicolon flag", "CN=a,b;O=c", CERT_NAME_STR_SEMICOLON_FLAG);
  strToName("comma flag", "CN=a;b,O=c", CERT_NAME_STR_COMMA_FLAG);
  strToName("crlf flag", "CN=a,b\r\nO=c", CERT_NAME_STR_CRLF_FLAG);
  strToName("no plus", "CN=1+2", CERT_NAME_STR_NO_PLUS_FLAG);
  strToName("plus without a key", "CN=1+2", 0);
  strToName("no quoting, comma", "CN=1,2", CERT_NAME_STR_NO_QUOTING_FLAG);
  strToName("no quoting, quoted", "CN=\"1,2;3,4\"", CERT_NAME_STR_NO_QUOTING_FLAG);
  strToName("no quoting, plain", "CN=abc", CERT_NAME_STR_NO_QUOTING_FLAG);
  strToName("quoted", "CN=\"a,b\"", 0);
  strToName("quoted, blanks around", "CN = \" 1 \"", 0);
  strToName("quoted, doubled quotes", "CN=\"\"\"1\"\"\"", 0);
  strToName("quoted, then more", "CN=\"\"1\"\"", 0);
  strToName("quoted, unterminated", "CN=\"abc", 0);
  strToName("empty value", "CN=", 0);
  strToName("empty value, then more", "CN=,O=x", 0);
  strToName("empty text", "", 0);
  strToName("separator at the end", "CN=a,", 0);
  strToName("long value",
            "CN=0123456789012345678901234567890123456789012345678901234567890123456789"
            "0123456789012345678901234567890123456789012345678901234567890123456789",
            0);
  strToName("unknown key", "XX=1", 0);
  strToName("no equals", "CN", 0);
  strToName("second key unknown", "CN=a, YY=b", 0);
  strToName("not printable", "CN=a*b", 0);
  strToName("email", "E=a@example.com", 0);
  std::printf(
      "departs: keys in lower case, dotted and OID. keys, '#' values, trailing blanks, quoted "
      "values followed by a separator, quotes under NO_QUOTING, '+' values, REVERSE, "
      "ENABLE_UTF8_UNICODE, the value types of C and E, the message encoding type alone "
      "(Wine 8 reads or encodes them otherwise)\n");
}

}  // namespace

int main() {
  nameToStr();
  strToNameCases();
  return 0;
}
