// Conformance probe for CryptEncodeObjectEx: the structures an enrolment component
// encodes (names in both forms, public-key information, extensions, key usage, enhanced
// key usage, basic constraints, the request and the certificate to be signed, the signed
// content), the small types beside them, the size protocol and the errors. DER is
// deterministic, so each case prints its bytes; the outputs under Wine and the portable
// platform must be identical.
//
// Where Wine 8 departs from Windows' documented behaviour the portable library follows
// Windows, the case is left out of the comparison (printed as "departs") and the unit
// tests (tests/unit/platform/crypt32) hold Windows' answer:
//   - X509_UNICODE_NAME with CERT_RDN_ANY_TYPE: Windows chooses the value's string type
//     from its attribute and characters; Wine 8 refuses it (CRYPT_E_NOT_CHAR_STRING);
//   - X509_CERT_REQUEST_TO_BE_SIGNED: Windows encodes it; Wine 8 has no encoder
//     (ERROR_FILE_NOT_FOUND);
//   - szOID_RSA_certExtensions as a structure type: Windows takes it for X509_EXTENSIONS,
//     Wine 8 does not know it (ERROR_FILE_NOT_FOUND);
//   - the place of a bad character in X509_UNICODE_NAME: Windows packs the relative name's,
//     the attribute's and the character's index into the size; Wine 8 gives the last only;
//   - a blank in a NumericString, which X.680 and Windows allow and Wine 8 refuses;
//   - times outside 1950 to 2049: Windows refuses them as PKCS_UTC_TIME
//     (CRYPT_E_BAD_ENCODE) and writes X509_CHOICE_OF_TIME as a GeneralizedTime; Wine 8
//     writes 2050 as UTCTime "50..." (1950 to a reader) and refuses 1949 only after a size
//     query that passed;
//   - object identifiers beyond what Wine 8 reads: an arc above 2^31 (it keeps the low 7
//     bits), or a second arc that makes the first byte's sum 128 or more under 2 (it keeps
//     the low byte); X.690 writes every arc in base 128;
//   - -1 (every byte 0xFF) in X509_INTEGER and X509_MULTI_BYTE_INTEGER: Windows encodes
//     02 01 FF; Wine 8 faults inside (STATUS_ACCESS_VIOLATION).
#include <windows.h>

#include <wincrypt.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "probe_text.h"

namespace {

using probe::hex;
using Wide = std::basic_string<WCHAR>;

Wide wide(const char16_t* text) {
  Wide out;
  for (; *text; ++text) out += WCHAR(*text);
  return out;
}

CRYPT_DATA_BLOB blob(const void* data, size_t size) {
  return {DWORD(size), static_cast<BYTE*>(const_cast<void*>(data))};
}
CRYPT_DATA_BLOB blob(const std::string& bytes) { return blob(bytes.data(), bytes.size()); }

void departs(const std::string& name) { std::printf("%s: departs\n", name.c_str()); }

// One encoding: the size query, then the call with exactly that size; prints the bytes,
// or the error with what the size argument holds then.
std::string encode(const std::string& name, LPCSTR type, const void* info,
                   DWORD encoding = X509_ASN_ENCODING) {
  DWORD size = 0;
  BOOL ok = CryptEncodeObjectEx(encoding, type, info, 0, nullptr, nullptr, &size);
  if (!ok) {
    std::printf("%s: ret=0 err=%08x size=%u\n", name.c_str(), unsigned(GetLastError()),
                unsigned(size));
    return {};
  }
  std::string out(size, '\0');
  ok = CryptEncodeObjectEx(encoding, type, info, 0, nullptr, out.data(), &size);
  out.resize(ok ? size : 0);
  if (ok)
    std::printf("%s: ret=1 der=%s\n", name.c_str(), hex(out).c_str());
  else
    std::printf("%s: ret=0 err=%08x size=%u (after a size query that passed)\n", name.c_str(),
                unsigned(GetLastError()), unsigned(size));
  return out;
}

// ---- names ----
const char* const kCN = "2.5.4.3";
const char* const kOU = "2.5.4.11";
const char* const kO = "2.5.4.10";
const char* const kC = "2.5.4.6";
const char* const kEmail = "1.2.840.113549.1.9.1";
const char* const kDC = "0.9.2342.19200300.100.1.25";

CERT_RDN_ATTR attr(const char* oid, DWORD type, const void* value, size_t size) {
  return {const_cast<LPSTR>(oid), type, blob(value, size)};
}

void names() {
  // One attribute a relative name, in the order given, of any byte string type.
  const char hwid[] = "HWID", id[] = "4711", org[] = "Velmora Portwyn Certificate";
  CERT_RDN_ATTR plain[] = {attr(kCN, CERT_RDN_PRINTABLE_STRING, hwid, 4),
                           attr(kOU, CERT_RDN_PRINTABLE_STRING, id, 4),
                           attr(kO, CERT_RDN_PRINTABLE_STRING, org, 27)};
  CERT_RDN rdns[] = {{1, &plain[0]}, {1, &plain[1]}, {1, &plain[2]}};
  CERT_NAME_INFO info{3, rdns};
  encode("name printable", X509_NAME, &info);

  const char ia5[] = "a@b.example",
             utf8[] =
                 "Gr\xc3\xbc\xc3\x9f"
                 "e",
             t61[] = "caf\xe9";
  const char digits[] = "0123 45", octets[] = "\x01\x02";
  const BYTE encodedValue[] = {0x0c, 0x02, 'h', 'i'};  // a UTF8String, as it stands
  WCHAR bmp[] = {0x47, 0x72, 0xfc, 0xdf, 0x65};        // Grüße, in the host's order
  CERT_RDN_ATTR kinds[] = {
      attr(kEmail, CERT_RDN_IA5_STRING, ia5, 11),
      attr(kCN, CERT_RDN_UTF8_STRING, utf8, 7),
      attr(kCN, CERT_RDN_T61_STRING, t61, 4),
      attr(kCN, CERT_RDN_NUMERIC_STRING, digits, 7),
      attr(kCN, CERT_RDN_OCTET_STRING, octets, 2),
      attr(kCN, CERT_RDN_ENCODED_BLOB, encodedValue, sizeof encodedValue),
      attr(kCN, CERT_RDN_BMP_STRING, bmp, sizeof bmp),
      attr(kCN, CERT_RDN_VISIBLE_STRING, hwid, 4),
      attr(kCN, CERT_RDN_GENERAL_STRING, hwid, 4),
      attr(kCN, CERT_RDN_GRAPHIC_STRING, hwid, 4),
      attr(kCN, CERT_RDN_VIDEOTEX_STRING, hwid, 4),
  };
  const char* labels[] = {"ia5", "utf8",    "t61",     "numeric", "octet",   "encoded",
                          "bmp", "visible", "general", "graphic", "videotex"};
  for (size_t i = 0; i < sizeof kinds / sizeof kinds[0]; ++i) {
    CERT_RDN one{1, &kinds[i]};
    CERT_NAME_INFO single{1, &one};
    encode(std::string("name ") + labels[i], X509_NAME, &single);
  }

  // Two values in one relative name: a SET OF, which DER orders by the values' encodings.
  const char zz[] = "zz", a[] = "a";
  CERT_RDN_ATTR both[] = {attr(kO, CERT_RDN_PRINTABLE_STRING, zz, 2),
                          attr(kCN, CERT_RDN_PRINTABLE_STRING, a, 1)};
  CERT_RDN multi{2, both};
  CERT_NAME_INFO multiInfo{1, &multi};
  encode("name multi-valued", X509_NAME, &multiInfo);

  CERT_NAME_INFO empty{0, nullptr};
  encode("name empty", X509_NAME, &empty);
  CERT_RDN emptyRdn{0, nullptr};
  CERT_NAME_INFO emptyRdnInfo{1, &emptyRdn};
  encode("name empty rdn", X509_NAME, &emptyRdnInfo);

  CERT_RDN_ATTR anyType = attr(kCN, CERT_RDN_ANY_TYPE, hwid, 4);
  CERT_RDN anyRdn{1, &anyType};
  CERT_NAME_INFO anyInfo{1, &anyRdn};
  encode("name any type", X509_NAME, &anyInfo);
  CERT_RDN_ATTR badOid = attr("1.x.3", CERT_RDN_PRINTABLE_STRING, hwid, 4);
  CERT_RDN badOidRdn{1, &badOid};
  CERT_NAME_INFO badOidInfo{1, &badOidRdn};
  encode("name bad oid", X509_NAME, &badOidInfo);
  departs("name large arcs");
}

// X509_UNICODE_NAME: the values are wide strings, the type a choice or a request.
void unicodeNames() {
  struct Case {
    const char* label;
    const char* oid;
    DWORD type;
    const char16_t* value;
    DWORD flags;  // CERT_RDN_*_FLAG in the value type's upper bits
  };
  const Case cases[] = {
      {"any printable", kCN, CERT_RDN_ANY_TYPE, u"HWID 4711", 0},
      {"any not printable", kCN, CERT_RDN_ANY_TYPE, u"a@b", 0},
      {"any latin", kCN, CERT_RDN_ANY_TYPE, u"caf\u00e9", 0},
      {"any latin t61", kCN, CERT_RDN_ANY_TYPE, u"caf\u00e9", CERT_RDN_ENABLE_T61_UNICODE_FLAG},
      {"any latin utf8", kCN, CERT_RDN_ANY_TYPE, u"caf\u00e9", CERT_RDN_ENABLE_UTF8_UNICODE_FLAG},
      {"any greek", kCN, CERT_RDN_ANY_TYPE, u"\u03b1\u03b2", 0},
      {"any greek t61", kCN, CERT_RDN_ANY_TYPE, u"\u03b1\u03b2", CERT_RDN_ENABLE_T61_UNICODE_FLAG},
      {"any email", kEmail, CERT_RDN_ANY_TYPE, u"a@b.example", 0},
      {"any dc", kDC, CERT_RDN_ANY_TYPE, u"example", 0},
      {"any country", kC, CERT_RDN_ANY_TYPE, u"DE", 0},
      {"any empty", kCN, CERT_RDN_ANY_TYPE, u"", 0},
      {"printable", kCN, CERT_RDN_PRINTABLE_STRING, u"Doe, John", 0},
      {"printable bad", kCN, CERT_RDN_PRINTABLE_STRING, u"ab*c", 0},
      {"numeric", kCN, CERT_RDN_NUMERIC_STRING, u"1234", 0},
      {"numeric bad", kCN, CERT_RDN_NUMERIC_STRING, u"12a", 0},
      {"ia5", kCN, CERT_RDN_IA5_STRING, u"a@b", 0},
      {"ia5 bad", kCN, CERT_RDN_IA5_STRING, u"a\u00e9", 0},
      {"bmp", kCN, CERT_RDN_BMP_STRING, u"caf\u00e9", 0},
      {"utf8", kCN, CERT_RDN_UTF8_STRING, u"caf\u00e9 \u20ac", 0},
      {"t61", kCN, CERT_RDN_T61_STRING, u"caf\u00e9", 0},
      {"visible", kCN, CERT_RDN_VISIBLE_STRING, u"a~b", 0},
      {"universal", kCN, CERT_RDN_UNIVERSAL_STRING, u"ab", 0},
  };
  for (const Case& c : cases) {
    if (c.type == CERT_RDN_ANY_TYPE) {
      departs(std::string("unicode name ") + c.label);
      continue;
    }
    Wide value = wide(c.value);
    CERT_RDN_ATTR a{
        const_cast<LPSTR>(c.oid), c.type | c.flags, {0, reinterpret_cast<BYTE*>(value.data())}};
    CERT_RDN rdn{1, &a};
    CERT_NAME_INFO info{1, &rdn};
    encode(std::string("unicode name ") + c.label, X509_UNICODE_NAME, &info);
  }
  // A value's length in bytes, when given, limits it: the terminator is not needed.
  Wide value = wide(u"HWIDxyz");
  CERT_RDN_ATTR counted{const_cast<LPSTR>(kCN),
                        CERT_RDN_PRINTABLE_STRING,
                        {4 * sizeof(WCHAR), reinterpret_cast<BYTE*>(value.data())}};
  CERT_RDN countedRdn{1, &counted};
  CERT_NAME_INFO countedInfo{1, &countedRdn};
  encode("unicode name counted", X509_UNICODE_NAME, &countedInfo);
  Wide good = wide(u"ok");
  departs("unicode name error place");
  departs("unicode name numeric blank");

  CERT_NAME_VALUE plain{CERT_RDN_PRINTABLE_STRING, {0, reinterpret_cast<BYTE*>(good.data())}};
  encode("unicode name value", X509_UNICODE_NAME_VALUE, &plain);
  const char bytes[] = "caf\xe9";
  CERT_NAME_VALUE t61{CERT_RDN_T61_STRING, blob(bytes, 4)};
  encode("name value t61", X509_NAME_VALUE, &t61);
  CERT_NAME_VALUE anyBytes{CERT_RDN_ANY_TYPE, blob(bytes, 4)};
  encode("name value any", X509_NAME_VALUE, &anyBytes);
}

// ---- keys, extensions, usage ----
const BYTE kModulusKey[] = {0x30, 0x0d, 0x02, 0x06, 0x00, 0xc1, 0x02, 0x03,
                            0x04, 0x05, 0x02, 0x03, 0x01, 0x00, 0x01};

void keysAndExtensions() {
  CERT_PUBLIC_KEY_INFO key{{const_cast<LPSTR>(szOID_RSA_RSA), {0, nullptr}},
                           {sizeof kModulusKey, const_cast<BYTE*>(kModulusKey), 0}};
  encode("public key info no parameters", X509_PUBLIC_KEY_INFO, &key);
  const BYTE null[] = {0x05, 0x00};
  key.Algorithm.Parameters = blob(null, 2);
  encode("public key info null parameters", X509_PUBLIC_KEY_INFO, &key);
  key.PublicKey.cUnusedBits = 3;
  encode("public key info unused bits", X509_PUBLIC_KEY_INFO, &key);

  struct Bits {
    const char* label;
    std::string bytes;
    DWORD unused;
  };
  const Bits usages[] = {
      {"f0", "\xf0", 0},
      {"f0 unused 4", "\xf0", 4},
      {"80 00", std::string("\x80\x00", 2), 0},
      {"a0 80", "\xa0\x80", 0},
      {"a0 80 unused 7", "\xa0\x80", 7},
      {"empty", "", 0},
      {"00", std::string(1, '\0'), 0},
  };
  for (const Bits& b : usages) {
    CRYPT_BIT_BLOB bits{DWORD(b.bytes.size()),
                        reinterpret_cast<BYTE*>(const_cast<char*>(b.bytes.data())), b.unused};
    encode(std::string("key usage ") + b.label, X509_KEY_USAGE, &bits);
    encode(std::string("bits ") + b.label, X509_BITS, &bits);
  }
  CRYPT_BIT_BLOB f0{1, reinterpret_cast<BYTE*>(const_cast<char*>("\xf0")), 0};
  encode("key usage by oid", szOID_KEY_USAGE, &f0);

  LPSTR one[] = {const_cast<LPSTR>(szOID_PKIX_KP_CLIENT_AUTH)};
  CERT_ENHKEY_USAGE clientAuth{1, one};
  encode("enhanced key usage one", X509_ENHANCED_KEY_USAGE, &clientAuth);
  encode("enhanced key usage by oid", szOID_ENHANCED_KEY_USAGE, &clientAuth);
  LPSTR two[] = {const_cast<LPSTR>(szOID_PKIX_KP_SERVER_AUTH),
                 const_cast<LPSTR>(szOID_PKIX_KP_CLIENT_AUTH)};
  CERT_ENHKEY_USAGE both{2, two};
  encode("enhanced key usage two", X509_ENHANCED_KEY_USAGE, &both);
  CERT_ENHKEY_USAGE none{0, nullptr};
  encode("enhanced key usage none", X509_ENHANCED_KEY_USAGE, &none);
  LPSTR bad[] = {const_cast<LPSTR>("2")};
  CERT_ENHKEY_USAGE badUsage{1, bad};
  encode("enhanced key usage one arc", X509_ENHANCED_KEY_USAGE, &badUsage);
  departs("enhanced key usage arc above 39");

  CERT_BASIC_CONSTRAINTS2_INFO endEntity{FALSE, FALSE, 0};
  encode("basic constraints end entity", X509_BASIC_CONSTRAINTS2, &endEntity);
  CERT_BASIC_CONSTRAINTS2_INFO ca{TRUE, FALSE, 0};
  encode("basic constraints ca", X509_BASIC_CONSTRAINTS2, &ca);
  CERT_BASIC_CONSTRAINTS2_INFO caPath{TRUE, TRUE, 2};
  encode("basic constraints ca path", X509_BASIC_CONSTRAINTS2, &caPath);
  encode("basic constraints by oid", szOID_BASIC_CONSTRAINTS2, &caPath);

  const BYTE usageValue[] = {0x03, 0x02, 0x04, 0xf0};
  const BYTE ekuValue[] = {0x30, 0x0a, 0x06, 0x08, 0x2b, 0x06, 0x01, 0x05, 0x05, 0x07, 0x03, 0x02};
  CERT_EXTENSION list[] = {
      {const_cast<LPSTR>(szOID_KEY_USAGE), TRUE, blob(usageValue, sizeof usageValue)},
      {const_cast<LPSTR>(szOID_ENHANCED_KEY_USAGE), FALSE, blob(ekuValue, sizeof ekuValue)},
  };
  CERT_EXTENSIONS extensions{2, list};
  encode("extensions", X509_EXTENSIONS, &extensions);
  encode("extensions by oid", szOID_CERT_EXTENSIONS, &extensions);
  departs("extensions by rsa oid");
  CERT_EXTENSIONS noExtensions{0, nullptr};
  encode("extensions none", X509_EXTENSIONS, &noExtensions);
}

// ---- the small types ----
void smallTypes() {
  const BYTE octets[] = {0xde, 0xad, 0xbe, 0xef};
  CRYPT_DATA_BLOB octetBlob = blob(octets, sizeof octets);
  encode("octet string", X509_OCTET_STRING, &octetBlob);
  encode("subject key identifier", szOID_SUBJECT_KEY_IDENTIFIER, &octetBlob);
  CRYPT_DATA_BLOB noOctets{0, nullptr};
  encode("octet string empty", X509_OCTET_STRING, &noOctets);

  for (int value : {0, 1, 127, 128, 255, 256, -2, -128, -129, 0x7fffffff, int(0x80000000)}) {
    encode("integer " + std::to_string(value), X509_INTEGER, &value);
  }
  departs("integer -1");

  // Multi-byte integers are little-endian, as Windows keeps serial numbers.
  struct Multi {
    const char* label;
    std::string bytes;
  };
  const Multi multis[] = {{"01", "\x01"},
                          {"80", "\x80"},
                          {"fe ff", "\xfe\xff"},
                          {"00 80", std::string("\x00\x80", 2)},
                          {"80 00", std::string("\x80\x00", 2)},
                          {"00 00 00", std::string(3, '\0')},
                          {"ff 7f", "\xff\x7f"},
                          {"01 02 03 04 05 06 07 08 09", "\x01\x02\x03\x04\x05\x06\x07\x08\x09"}};
  for (const Multi& m : multis) {
    CRYPT_INTEGER_BLOB b = blob(m.bytes);
    encode(std::string("multi-byte integer ") + m.label, X509_MULTI_BYTE_INTEGER, &b);
  }
  departs("multi-byte integer ff ff");

  // 1 January 2020 00:00:00, 31 December 2049 23:59:59, 1 January 2050 00:00:00,
  // 31 December 1949 23:59:59 and 1 January 1950 00:00:00 UTC, as FILETIMEs (100 ns
  // since 1601), and one with fractions of a second.
  struct Time {
    const char* label;
    unsigned long long ticks;
  };
  const Time times[] = {{"2020", 132223104000000000ull}, {"2049", 141690815990000000ull},
                        {"2050", 141690816000000000ull}, {"1949", 110133215990000000ull},
                        {"1950", 110133216000000000ull}, {"fraction", 132223104001234567ull}};
  for (const Time& t : times) {
    FILETIME ft{DWORD(t.ticks & 0xffffffffu), DWORD(t.ticks >> 32)};
    if (t.ticks < 110133216000000000ull || t.ticks >= 141690816000000000ull) {
      departs(std::string("utc time ") + t.label);  // outside 1950 to 2049
      departs(std::string("choice of time ") + t.label);
      continue;
    }
    encode(std::string("utc time ") + t.label, PKCS_UTC_TIME, &ft);
    encode(std::string("choice of time ") + t.label, X509_CHOICE_OF_TIME, &ft);
  }

  const BYTE first[] = {0x02, 0x01, 0x05}, second[] = {0x05, 0x00};
  CRYPT_DER_BLOB items[] = {blob(first, sizeof first), blob(second, sizeof second)};
  CRYPT_SEQUENCE_OF_ANY sequence{2, items};
  encode("sequence of any", X509_SEQUENCE_OF_ANY, &sequence);

  const BYTE attributeValue[] = {0x13, 0x02, 'o', 'k'};
  CRYPT_ATTR_BLOB values[] = {blob(attributeValue, sizeof attributeValue)};
  CRYPT_ATTRIBUTE attribute{const_cast<LPSTR>(szOID_RSA_emailAddr), 1, values};
  encode("attribute", PKCS_ATTRIBUTE, &attribute);
  CRYPT_ATTRIBUTE noValues{const_cast<LPSTR>(szOID_RSA_emailAddr), 0, nullptr};
  encode("attribute no values", PKCS_ATTRIBUTE, &noValues);
  CRYPT_ATTRIBUTES attributes{1, &attribute};
  encode("attributes", PKCS_ATTRIBUTES, &attributes);
}

// ---- the request and the certificate to be signed, and the signed content ----
void toBeSigned() {
  const char cn[] = "HWID";
  CERT_RDN_ATTR a = attr(kCN, CERT_RDN_PRINTABLE_STRING, cn, 4);
  CERT_RDN rdn{1, &a};
  CERT_NAME_INFO nameInfo{1, &rdn};
  DWORD nameSize = 64;
  BYTE name[64];
  CryptEncodeObjectEx(X509_ASN_ENCODING, X509_NAME, &nameInfo, 0, nullptr, name, &nameSize);

  const BYTE extensionsValue[] = {0x30, 0x0e, 0x30, 0x0c, 0x06, 0x03, 0x55, 0x1d,
                                  0x0f, 0x01, 0x01, 0xff, 0x04, 0x02, 0x03, 0x00};
  CRYPT_ATTR_BLOB values[] = {blob(extensionsValue, sizeof extensionsValue)};
  CRYPT_ATTRIBUTE extensionRequest{const_cast<LPSTR>(szOID_RSA_certExtensions), 1, values};
  CERT_REQUEST_INFO request{};
  request.dwVersion = CERT_REQUEST_V1;
  request.Subject = blob(name, nameSize);
  request.SubjectPublicKeyInfo = {{const_cast<LPSTR>(szOID_RSA_RSA), {0, nullptr}},
                                  {sizeof kModulusKey, const_cast<BYTE*>(kModulusKey), 0}};
  request.cAttribute = 1;
  request.rgAttribute = &extensionRequest;
  departs("request");
  request.cAttribute = 0;
  request.rgAttribute = nullptr;
  departs("request no attributes");

  const BYTE serial[] = {0x01, 0x02, 0x83};  // little-endian: 0x830201, negative in DER
  const BYTE usageValue[] = {0x03, 0x02, 0x04, 0xf0};
  CERT_EXTENSION usage{const_cast<LPSTR>(szOID_KEY_USAGE), TRUE, blob(usageValue, 4)};
  CERT_INFO cert{};
  cert.dwVersion = CERT_V3;
  cert.SerialNumber = blob(serial, sizeof serial);
  cert.SignatureAlgorithm = {const_cast<LPSTR>(szOID_RSA_SHA256RSA), {0, nullptr}};
  cert.Issuer = blob(name, nameSize);
  cert.Subject = blob(name, nameSize);
  unsigned long long notBefore = 132223104000000000ull, notAfter = 141690815990000000ull;
  cert.NotBefore = {DWORD(notBefore), DWORD(notBefore >> 32)};
  cert.NotAfter = {DWORD(notAfter), DWORD(notAfter >> 32)};
  cert.SubjectPublicKeyInfo = request.SubjectPublicKeyInfo;
  cert.cExtension = 1;
  cert.rgExtension = &usage;
  encode("certificate v3", X509_CERT_TO_BE_SIGNED, &cert);
  cert.dwVersion = CERT_V1;
  cert.cExtension = 0;
  cert.rgExtension = nullptr;
  encode("certificate v1", X509_CERT_TO_BE_SIGNED, &cert);
  cert.dwVersion = CERT_V3;
  const BYTE uniqueId[] = {0xa5};
  cert.IssuerUniqueId = {1, const_cast<BYTE*>(uniqueId), 0};
  encode("certificate unique id", X509_CERT_TO_BE_SIGNED, &cert);

  const BYTE tbs[] = {0x30, 0x03, 0x02, 0x01, 0x01};
  const BYTE signature[] = {0x01, 0x02, 0x03, 0x04};
  CERT_SIGNED_CONTENT_INFO signedContent{blob(tbs, sizeof tbs),
                                         {const_cast<LPSTR>(szOID_RSA_SHA1RSA), {0, nullptr}},
                                         {sizeof signature, const_cast<BYTE*>(signature), 0}};
  encode("signed content", X509_CERT, &signedContent);
  // The flag keeps the signature's bytes in the order given.
  DWORD size = 0;
  BOOL ok =
      CryptEncodeObjectEx(X509_ASN_ENCODING, X509_CERT, &signedContent,
                          CRYPT_ENCODE_NO_SIGNATURE_BYTE_REVERSAL_FLAG, nullptr, nullptr, &size);
  std::string out(size, '\0');
  ok = ok && CryptEncodeObjectEx(X509_ASN_ENCODING, X509_CERT, &signedContent,
                                 CRYPT_ENCODE_NO_SIGNATURE_BYTE_REVERSAL_FLAG, nullptr, out.data(),
                                 &size);
  std::printf("signed content no reversal: ret=%d der=%s\n", ok,
              ok ? hex(out.data(), size).c_str() : "-");
  signedContent.SignatureAlgorithm.Parameters = blob("\x05\x00", 2);
  encode("signed content null parameters", X509_CERT, &signedContent);
}

// ---- the calling protocol ----
void protocol() {
  const BYTE octets[] = {1, 2, 3};
  CRYPT_DATA_BLOB value = blob(octets, 3);
  DWORD size = 2;
  BYTE shortBuffer[8] = {};
  BOOL ok = CryptEncodeObjectEx(X509_ASN_ENCODING, X509_OCTET_STRING, &value, 0, nullptr,
                                shortBuffer, &size);
  std::printf("short buffer: ret=%d err=%08x size=%u\n", ok, ok ? 0u : unsigned(GetLastError()),
              unsigned(size));

  BYTE* allocated = nullptr;
  size = 0;
  ok = CryptEncodeObjectEx(X509_ASN_ENCODING, X509_OCTET_STRING, &value, CRYPT_ENCODE_ALLOC_FLAG,
                           nullptr, &allocated, &size);
  std::printf("allocated: ret=%d size=%u der=%s\n", ok, unsigned(size),
              ok ? hex(allocated, size).c_str() : "-");
  // The block is LocalAlloc's: LocalFree answers NULL once it has freed it.
  std::printf("allocated freed: %d\n", allocated && LocalFree(allocated) == nullptr);
  // LocalAlloc as the alloc flag's callers use it: fixed memory, zeroed when asked.
  auto* zeroed = static_cast<BYTE*>(LocalAlloc(LPTR, 64));
  bool allZero = zeroed != nullptr;
  for (int i = 0; zeroed && i < 64; ++i) allZero = allZero && zeroed[i] == 0;
  std::printf("local alloc zeroed: %d freed: %d\n", allZero, LocalFree(zeroed) == nullptr);
  std::printf("local free of nothing: %d\n", LocalFree(nullptr) == nullptr);

  size = 0;
  ok = CryptEncodeObject(X509_ASN_ENCODING, X509_OCTET_STRING, &value, nullptr, &size);
  std::printf("old form size: ret=%d size=%u\n", ok, unsigned(size));

  encode("pkcs7 encoding type alone", X509_OCTET_STRING, &value, PKCS_7_ASN_ENCODING);
  encode("both encoding types", X509_OCTET_STRING, &value, X509_ASN_ENCODING | PKCS_7_ASN_ENCODING);
  encode("no encoding type", X509_OCTET_STRING, &value, 0);
  encode("unknown structure", reinterpret_cast<LPCSTR>(9999), &value);
  encode("unknown oid structure", "1.2.3.4.5", &value);
  size = 0;
  ok = CryptEncodeObjectEx(X509_ASN_ENCODING, X509_OCTET_STRING, &value, 0, nullptr, nullptr,
                           nullptr);
  std::printf("no size: ret=%d err=%08x\n", ok, ok ? 0u : unsigned(GetLastError()));
}

}  // namespace

int main() {
  names();
  unicodeNames();
  keysAndExtensions();
  smallTypes();
  toBeSigned();
  protocol();
  return 0;
}
