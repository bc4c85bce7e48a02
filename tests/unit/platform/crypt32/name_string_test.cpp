// CertNameToStrA and CertStrToNameA as Windows documents them, including where Wine 8
// answers otherwise (no quoting under NO_QUOTING, '#' values, REVERSE, the value types
// of C and E, the high word of the encoding type). Names are built here as DER by hand.
#include <windows.h>

#include <wincrypt.h>

#include <gtest/gtest.h>

#include "common/der.h"

#include <cstring>
#include <string>

namespace {

using test::der::Bytes;
using test::der::tlv;

Bytes attr(const Bytes& oidContent, int tag, const Bytes& value) {
  return tlv(0x30, tlv(0x06, oidContent) + tlv(tag, value));
}
Bytes rdn(const Bytes& attrs) { return tlv(0x31, attrs); }
Bytes name(const Bytes& rdns) { return tlv(0x30, rdns); }

const Bytes kCN("\x55\x04\x03", 3), kO("\x55\x04\x0a", 3), kOU("\x55\x04\x0b", 3),
    kC("\x55\x04\x06", 3), kE("\x2a\x86\x48\x86\xf7\x0d\x01\x09\x01", 9),
    kOdd("\x2a\x03\x04", 3);  // 1.2.3.4, a type without a key name
constexpr int kPrintable = 0x13, kIa5 = 0x16, kBmp = 0x1E, kUtf8 = 0x0C;

// C=GB, O=Velmora Ltd, CN=Kim + OU=Gateway, CN="a, b"
const Bytes& sample() {
  static const Bytes der =
      name(rdn(attr(kC, kPrintable, "GB")) + rdn(attr(kO, kPrintable, "Velmora Ltd")) +
           rdn(attr(kCN, kPrintable, "Kim") + attr(kOU, kPrintable, "Gateway")) +
           rdn(attr(kCN, kPrintable, "a, b")));
  return der;
}

struct Rendered {
  DWORD count;
  std::string text;
  DWORD lastError;
};

Rendered toStr(const Bytes& der, DWORD type, DWORD encoding = X509_ASN_ENCODING) {
  CERT_NAME_BLOB blob{DWORD(der.size()), reinterpret_cast<BYTE*>(const_cast<char*>(der.data()))};
  char buf[512];
  std::memset(buf, 'x', sizeof buf);
  SetLastError(0xdeadbeef);
  DWORD n = CertNameToStrA(encoding, &blob, type, buf, sizeof buf);
  return {n, buf, GetLastError()};
}

TEST(NameToStr, SizeQuestionsAndShortBuffers) {
  CERT_NAME_BLOB blob{DWORD(sample().size()), (BYTE*)sample().data()};
  const char* full = "C=GB, O=Velmora Ltd, CN=Kim + OU=Gateway, CN=\"a, b\"";
  DWORD size = DWORD(std::strlen(full) + 1);
  SetLastError(0xdeadbeef);
  EXPECT_EQ(CertNameToStrA(X509_ASN_ENCODING, &blob, CERT_X500_NAME_STR, nullptr, 0), size);
  EXPECT_EQ(GetLastError(), 0u);  // a rendered name clears it

  char buf[128];
  std::memset(buf, 'x', sizeof buf);
  EXPECT_EQ(CertNameToStrA(X509_ASN_ENCODING, &blob, CERT_X500_NAME_STR, buf, 0), size);
  EXPECT_EQ(buf[0], 'x');  // a buffer of no characters is not touched

  EXPECT_EQ(CertNameToStrA(X509_ASN_ENCODING, &blob, CERT_X500_NAME_STR, buf, size), size);
  EXPECT_STREQ(buf, full);

  // One character short: the empty string, the answer 1.
  SetLastError(0xdeadbeef);
  EXPECT_EQ(CertNameToStrA(X509_ASN_ENCODING, &blob, CERT_X500_NAME_STR, buf, size - 1), 1u);
  EXPECT_EQ(buf[0], '\0');
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INSUFFICIENT_BUFFER));
  std::memset(buf, 'x', sizeof buf);
  EXPECT_EQ(CertNameToStrA(X509_ASN_ENCODING, &blob, CERT_X500_NAME_STR, buf, 1), 1u);
  EXPECT_EQ(buf[0], '\0');
}

TEST(NameToStr, EncodingTypeIsTheLowWord) {
  EXPECT_EQ(toStr(sample(), CERT_SIMPLE_NAME_STR, 0).count, 1u);
  EXPECT_EQ(toStr(sample(), CERT_SIMPLE_NAME_STR, 0).lastError, DWORD(ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(toStr(sample(), CERT_SIMPLE_NAME_STR, 0).text, "");
  // The message encoding type alone is no certificate encoding type (Wine 8 renders it).
  EXPECT_EQ(toStr(sample(), CERT_SIMPLE_NAME_STR, PKCS_7_ASN_ENCODING).lastError,
            DWORD(ERROR_FILE_NOT_FOUND));
  Rendered both = toStr(sample(), CERT_SIMPLE_NAME_STR, X509_ASN_ENCODING | PKCS_7_ASN_ENCODING);
  EXPECT_EQ(both.text, "GB, Velmora Ltd, Kim + Gateway, \"a, b\"");
  EXPECT_EQ(both.lastError, 0u);
}

TEST(NameToStr, UndecodableNamesGiveTheAsn1Error) {
  struct {
    Bytes der;
    HRESULT error;
  } cases[] = {
      {Bytes("\x04\x01x", 3), CRYPT_E_ASN1_BADTAG},                        // no SEQUENCE
      {sample().substr(0, 20), CRYPT_E_ASN1_EOD},                          // cut short
      {Bytes(), CRYPT_E_ASN1_EOD},                                         // nothing
      {name(tlv(0x30, attr(kCN, kPrintable, "x"))), CRYPT_E_ASN1_BADTAG},  // RDN not a SET
      {name(rdn(tlv(0x30, tlv(0x02, "\x01") + tlv(kPrintable, "x")))), CRYPT_E_ASN1_BADTAG},
      // An indefinite length never ended within the bytes given (Wine 8 reads on past them).
      {Bytes("\x30\x80", 2), CRYPT_E_ASN1_CORRUPT},
      {Bytes("\x30\x80\x00\x05", 4), CRYPT_E_ASN1_CORRUPT},  // ended wrongly
      // Nested beyond any stack: refused, not followed down.
      {[] {
         Bytes deep;
         for (int i = 0; i < 100000; ++i) deep += "\x30\x80";
         return deep;
       }(),
       CRYPT_E_ASN1_CORRUPT},
      // A primitive value has no indefinite length.
      {name(rdn(tlv(0x30, tlv(0x06, kCN) + Bytes("\x13\x80x\0\0", 5)))), CRYPT_E_ASN1_CORRUPT},
  };
  for (const auto& c : cases) {
    Rendered r = toStr(c.der, CERT_X500_NAME_STR);
    EXPECT_EQ(r.count, 1u);
    EXPECT_EQ(r.text, "");
    EXPECT_EQ(r.lastError, DWORD(c.error));
  }
}

TEST(NameToStr, FormatsAndFlags) {
  struct {
    DWORD type;
    const char* text;
  } cases[] = {
      {CERT_SIMPLE_NAME_STR, "GB, Velmora Ltd, Kim + Gateway, \"a, b\""},
      {CERT_OID_NAME_STR,
       "2.5.4.6=GB, 2.5.4.10=Velmora Ltd, 2.5.4.3=Kim + 2.5.4.11=Gateway, 2.5.4.3=\"a, b\""},
      {CERT_X500_NAME_STR | CERT_NAME_STR_SEMICOLON_FLAG,
       "C=GB; O=Velmora Ltd; CN=Kim + OU=Gateway; CN=\"a, b\""},
      {CERT_X500_NAME_STR | CERT_NAME_STR_CRLF_FLAG,
       "C=GB\r\nO=Velmora Ltd\r\nCN=Kim + OU=Gateway\r\nCN=\"a, b\""},
      {CERT_X500_NAME_STR | CERT_NAME_STR_NO_PLUS_FLAG,
       "C=GB, O=Velmora Ltd, CN=Kim OU=Gateway, CN=\"a, b\""},
      // No quotes at all (Wine 8 quotes anyway).
      {CERT_X500_NAME_STR | CERT_NAME_STR_NO_QUOTING_FLAG,
       "C=GB, O=Velmora Ltd, CN=Kim + OU=Gateway, CN=a, b"},
      // Whole relative names change places, their values keep their order.
      {CERT_X500_NAME_STR | CERT_NAME_STR_REVERSE_FLAG,
       "CN=\"a, b\", CN=Kim + OU=Gateway, O=Velmora Ltd, C=GB"},
  };
  for (const auto& c : cases) EXPECT_EQ(toStr(sample(), c.type).text, c.text) << c.type;
}

TEST(NameToStr, ValuesAndTypes) {
  struct {
    Bytes der;
    const char* text;
  } cases[] = {
      {name(rdn(attr(kOdd, kPrintable, "x"))), "OID.1.2.3.4=x"},
      {name(rdn(attr(kE, kIa5, "a@example.com"))), "E=a@example.com"},
      {name(rdn(attr(kCN, kPrintable, ""))), "CN=\"\""},
      {name(rdn(attr(kCN, kPrintable, " lead"))), "CN=\" lead\""},
      {name(rdn(attr(kCN, kPrintable, "two  inner"))), "CN=two  inner"},
      {name(rdn(attr(kCN, kUtf8, "say \"hi\""))), "CN=\"say \"\"hi\"\"\""},
      {name(rdn(attr(kCN, kUtf8, "a<b"))), "CN=\"a<b\""},
      {name(rdn(attr(kCN, kUtf8, "#1"))), "CN=\"#1\""},
      {name(rdn(attr(kCN, kUtf8, "a\nb"))), "CN=\"a\nb\""},
      {name(rdn(attr(kCN, kUtf8, "Jos\xC3\xA9"))), "CN=Jos\xE9"},      // to Windows-1252
      {name(rdn(attr(kCN, kBmp, Bytes("\0K\x04\x10", 4)))), "CN=K?"},  // no ANSI form
      // An OCTET STRING in hex; a value that is no string, its whole element in hex.
      {name(rdn(attr(kCN, 0x04, "\x01\xab"))), "CN=#01AB"},
      {name(rdn(attr(kCN, 0x02, "\x05"))), "CN=#020105"},
      {name(""), ""},
      // BER's indefinite lengths, at every level.
      {Bytes("\x30\x80\x00\x00", 4), ""},
      {test::der::indefinite(
           0x30, test::der::indefinite(
                     0x31, test::der::indefinite(0x30, tlv(0x06, kCN) + tlv(kPrintable, "x")))),
       "CN=x"},
  };
  for (const auto& c : cases) EXPECT_EQ(toStr(c.der, CERT_X500_NAME_STR).text, c.text);
}

// ---- CertStrToNameA ----

struct Encoded {
  BOOL ok;
  DWORD lastError;
  long errorAt;  // -1: *ppszError null
  Bytes der;
};

Encoded toName(const char* text, DWORD type = CERT_X500_NAME_STR,
               DWORD encoding = X509_ASN_ENCODING) {
  BYTE buf[512];
  DWORD size = sizeof buf;
  LPCSTR error = reinterpret_cast<LPCSTR>(1);
  SetLastError(0xdeadbeef);
  BOOL ok = CertStrToNameA(encoding, text, type, nullptr, buf, &size, &error);
  return {ok, GetLastError(), error ? long(error - text) : -1,
          ok ? Bytes(reinterpret_cast<char*>(buf), size) : Bytes()};
}

TEST(StrToName, ErrorsAndWhereReadingStopped) {
  struct {
    const char* text;
    DWORD type;
    long at;
  } cases[] = {
      {"bogus", 0, 0},                                       // no '='
      {"XX=1", 0, 0},                                        // unknown key
      {"CN=a, YY=b", 0, 6},                                  // the second key
      {"CN=1+2", 0, 5},                                      // '+' wants another key
      {"CN=1,2", CERT_NAME_STR_NO_QUOTING_FLAG, 5},          //
      {"CN=\"1,2;3,4\"", CERT_NAME_STR_NO_QUOTING_FLAG, 6},  // quotes are characters
      {"CN=\"\"1\"\"", 0, 5},                                // after the closing quote
      {"CN=\"abc", 0, 7},                                    // unterminated: at the end
      {"CN=", 0, 3},                                         // no value at the end
      {"CN=#0", 0, 3},                                       // odd hex digits
      {"CN=#0g", 0, 3},                                      // no hex digit
      {"1.2..3=x", 0, 0},                                    // no dotted type
  };
  for (const auto& c : cases) {
    Encoded e = toName(c.text, c.type);
    EXPECT_FALSE(e.ok) << c.text;
    EXPECT_EQ(e.lastError, DWORD(CRYPT_E_INVALID_X500_STRING)) << c.text;
    EXPECT_EQ(e.errorAt, c.at) << c.text;
  }
  SetLastError(0xdeadbeef);
  DWORD size = 0;
  EXPECT_FALSE(CertStrToNameA(X509_ASN_ENCODING, nullptr, 0, nullptr, nullptr, &size, nullptr));
  EXPECT_EQ(GetLastError(), DWORD(CRYPT_E_INVALID_X500_STRING));
}

TEST(StrToName, TextIsReadBeforeTheEncodingType) {
  EXPECT_EQ(toName("bogus", 0, 0).lastError, DWORD(CRYPT_E_INVALID_X500_STRING));
  EXPECT_EQ(toName("bogus", 0, 0).errorAt, 0);
  Encoded sound = toName("CN=1", 0, 0);
  EXPECT_FALSE(sound.ok);
  EXPECT_EQ(sound.lastError, DWORD(ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(sound.errorAt, -1);
  EXPECT_EQ(toName("CN=1", 0, PKCS_7_ASN_ENCODING).lastError, DWORD(ERROR_FILE_NOT_FOUND));
  EXPECT_TRUE(toName("CN=1", 0, X509_ASN_ENCODING | PKCS_7_ASN_ENCODING).ok);
}

TEST(StrToName, SizeProtocolAndLastError) {
  DWORD size = 0;
  SetLastError(0xdeadbeef);
  EXPECT_TRUE(CertStrToNameA(X509_ASN_ENCODING, "CN=1", 0, nullptr, nullptr, &size, nullptr));
  EXPECT_EQ(size, 14u);
  EXPECT_EQ(GetLastError(), 0u);  // success clears it
  BYTE buf[14];
  size = 13;
  EXPECT_FALSE(CertStrToNameA(X509_ASN_ENCODING, "CN=1", 0, nullptr, buf, &size, nullptr));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_MORE_DATA));
  EXPECT_EQ(size, 14u);
  Encoded e = toName("CN=1");
  EXPECT_TRUE(e.ok);
  EXPECT_EQ(e.lastError, 0u);
  EXPECT_EQ(e.errorAt, -1);  // *ppszError null on success
  EXPECT_EQ(e.der, name(rdn(attr(kCN, kPrintable, "1"))));
}

TEST(StrToName, ValuesSeparatorsAndFlags) {
  auto cn = [](int tag, const Bytes& v) { return name(rdn(attr(kCN, tag, v))); };
  struct {
    const char* text;
    DWORD type;
    Bytes der;
  } cases[] = {
      {" CN =  Kim  ", 0, cn(kPrintable, "Kim")},   // blanks around key and value
      {"cn=x", 0, cn(kPrintable, "x")},             // key names in any case
      {"OID.2.5.4.3=x", 0, cn(kPrintable, "x")},    //
      {"2.5.4.3=x", 0, cn(kPrintable, "x")},        //
      {"CN=\"a,b\"", 0, cn(kPrintable, "a,b")},     //
      {"CN = \" 1 \" ", 0, cn(kPrintable, " 1 ")},  // blanks kept inside quotes
      {"CN=\"\"\"1\"\"\"", 0,
       cn(kBmp, Bytes("\0\"\0"
                      "1\0\"",
                      6))},
      {"CN=\"\"", 0, cn(kPrintable, "")},  //
      {"CN=\"abc\"", CERT_NAME_STR_NO_QUOTING_FLAG, cn(kBmp, Bytes("\0\"\0a\0b\0c\0\"", 10))},
      {"CN=1+2", CERT_NAME_STR_NO_PLUS_FLAG, cn(kPrintable, "1+2")},
      {"CN=a*b", 0, cn(kBmp, Bytes("\0a\0*\0b", 6))},  // '*' is not printable
      {"CN=a*b", CERT_NAME_STR_ENABLE_UTF8_UNICODE_FLAG, cn(kUtf8, "a*b")},
      {"CN=\xe9", CERT_NAME_STR_ENABLE_T61_UNICODE_FLAG, cn(0x14, "\xe9")},
      {"CN=# 01 ab", 0, cn(0x04, "\x01\xab")},  // hex: an OCTET STRING
      {"E=a@b", 0, name(rdn(attr(kE, kIa5, "a@b")))},
      {"Email=a@b", 0, name(rdn(attr(kE, kIa5, "a@b")))},
      {"CN=a,", 0, cn(kPrintable, "a")},  // a separator at the end
      {"", 0, name("")},
      {"CN=,O=x", 0, name(rdn(attr(kCN, kPrintable, "")) + rdn(attr(kO, kPrintable, "x")))},
      {"CN=a;O=b", 0, name(rdn(attr(kCN, kPrintable, "a")) + rdn(attr(kO, kPrintable, "b")))},
      {"CN=a,b;O=c", CERT_NAME_STR_SEMICOLON_FLAG,
       name(rdn(attr(kCN, kPrintable, "a,b")) + rdn(attr(kO, kPrintable, "c")))},
      {"CN=a,b\r\n O=c", CERT_NAME_STR_CRLF_FLAG,
       name(rdn(attr(kCN, kPrintable, "a,b")) + rdn(attr(kO, kPrintable, "c")))},
      // One relative name of two values, in DER's set order.
      {"OU=b+CN=a", 0, name(rdn(attr(kCN, kPrintable, "a") + attr(kOU, kPrintable, "b")))},
      {"C=GB, O=Org+OU=Unit, CN=Name", CERT_NAME_STR_REVERSE_FLAG,
       name(rdn(attr(kCN, kPrintable, "Name")) +
            rdn(attr(kO, kPrintable, "Org") + attr(kOU, kPrintable, "Unit")) +
            rdn(attr(kC, kPrintable, "GB")))},
  };
  for (const auto& c : cases) {
    Encoded e = toName(c.text, c.type);
    EXPECT_TRUE(e.ok) << c.text << " " << std::hex << e.lastError;
    EXPECT_EQ(e.der, c.der) << c.text;
  }
}

TEST(StrToName, TypesThatTakeOneStringType) {
  Encoded country = toName("C=a*b");
  EXPECT_FALSE(country.ok);
  EXPECT_EQ(country.lastError, DWORD(CRYPT_E_INVALID_PRINTABLE_STRING));
  Encoded email = toName("E=\xe9@example.com");
  EXPECT_FALSE(email.ok);
  EXPECT_EQ(email.lastError, DWORD(CRYPT_E_INVALID_IA5_STRING));
}

TEST(StrToName, RendersBackToTheSameText) {
  for (const char* text : {"C=GB, O=Velmora Ltd, CN=Kim + OU=Gateway, CN=\"a, b\"",
                           "CN=\"say \"\"hi\"\"\", OID.1.2.3.4=x", "CN=#01AB"}) {
    Encoded e = toName(text);
    ASSERT_TRUE(e.ok) << text;
    EXPECT_EQ(toStr(e.der, CERT_X500_NAME_STR).text, text);
  }
}

}  // namespace
