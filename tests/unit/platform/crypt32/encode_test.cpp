// CryptEncodeObjectEx where the encode probe cannot compare with Wine 8, which departs from
// Windows there: the string types CERT_RDN_ANY_TYPE chooses, the place of a bad character,
// times outside 1950 to 2049, -1, large object identifiers and the request to be signed.
// Expected bytes are written out by hand from X.690, or put together from pieces the probe
// compared with Wine.
#include <windows.h>

#include <wincrypt.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

std::string hex(const std::string& bytes) {
  static const char* digits = "0123456789abcdef";
  std::string s;
  for (unsigned char c : bytes) s += {digits[c >> 4], digits[c & 15]};
  return s;
}

// The encoding as hex, or "error XXXXXXXX size N".
std::string encode(LPCSTR type, const void* info, DWORD flags = 0) {
  DWORD size = 0;
  if (!CryptEncodeObjectEx(X509_ASN_ENCODING, type, info, flags, nullptr, nullptr, &size)) {
    char text[40];
    std::snprintf(text, sizeof text, "error %08x size %u", unsigned(GetLastError()),
                  unsigned(size));
    return text;
  }
  std::string out(size, '\0');
  EXPECT_TRUE(
      CryptEncodeObjectEx(X509_ASN_ENCODING, type, info, flags, nullptr, out.data(), &size));
  out.resize(size);
  return hex(out);
}

std::string unicodeName(const char* oid, const char16_t* value, DWORD type = CERT_RDN_ANY_TYPE,
                        DWORD flags = 0) {
  CERT_RDN_ATTR attr{
      const_cast<LPSTR>(oid), type, {0, reinterpret_cast<BYTE*>(const_cast<char16_t*>(value))}};
  CERT_RDN rdn{1, &attr};
  CERT_NAME_INFO name{1, &rdn};
  return encode(X509_UNICODE_NAME, &name, flags);
}

TEST(Encode, AnyTypeTakesTheStringTypeTheAttributeAndCharactersAllow) {
  // A printable value is a PrintableString (13); CN = 06 03 55 04 03.
  EXPECT_EQ(unicodeName(szOID_COMMON_NAME, u"HWID"), "300f310d300b0603550403130448574944");
  // '@' is not printable: a BMPString (1E) of big-endian units.
  EXPECT_EQ(unicodeName(szOID_COMMON_NAME, u"a@b"), "3011310f300d06035504031e06006100400062");
  // With the T61 flag, Latin-1 characters make a T61String (14); beyond it still BMP.
  EXPECT_EQ(unicodeName(szOID_COMMON_NAME, u"caf\u00e9", CERT_RDN_ANY_TYPE,
                        CRYPT_UNICODE_NAME_ENCODE_ENABLE_T61_UNICODE_FLAG),
            "300f310d300b06035504031404636166e9");
  EXPECT_EQ(unicodeName(szOID_COMMON_NAME, u"\u03b1", CERT_RDN_ANY_TYPE,
                        CRYPT_UNICODE_NAME_ENCODE_ENABLE_T61_UNICODE_FLAG),
            "300d310b300906035504031e0203b1");
  // The UTF-8 flag, given in the value's type or the call's flags, makes a UTF8String (0C).
  EXPECT_EQ(unicodeName(szOID_COMMON_NAME, u"caf\u00e9",
                        CERT_RDN_ANY_TYPE | CERT_RDN_ENABLE_UTF8_UNICODE_FLAG),
            "3010310e300c06035504030c05636166c3a9");
  EXPECT_EQ(unicodeName(szOID_COMMON_NAME, u"caf\u00e9", CERT_RDN_ANY_TYPE,
                        CRYPT_UNICODE_NAME_ENCODE_ENABLE_UTF8_UNICODE_FLAG),
            "3010310e300c06035504030c05636166c3a9");
  // E-mail addresses and domain components are IA5Strings (16), even when printable.
  EXPECT_EQ(unicodeName(szOID_RSA_emailAddr, u"a@b"),
            "3014311230100609"
            "2a864886f70d010901"
            "1603614062");
  EXPECT_EQ(unicodeName(szOID_DOMAIN_COMPONENT, u"com"),
            "30153113301106"
            "0a0992268993f22c640119"
            "1603636f6d");
  // A country is a PrintableString or nothing.
  EXPECT_EQ(unicodeName(szOID_COUNTRY_NAME, u"D*"), "error 80092021 size 1");
  EXPECT_EQ(unicodeName(szOID_COMMON_NAME, u""), "300b3109300706035504031300");
}

TEST(Encode, ABadCharacterIsPlacedByNameAttributeAndIndex) {
  char16_t ok[] = u"ok", bad[] = u"b*d";
  CERT_RDN_ATTR first{const_cast<LPSTR>(szOID_COMMON_NAME),
                      CERT_RDN_PRINTABLE_STRING,
                      {0, reinterpret_cast<BYTE*>(ok)}};
  CERT_RDN_ATTR second{const_cast<LPSTR>(szOID_ORGANIZATION_NAME),
                       CERT_RDN_PRINTABLE_STRING,
                       {0, reinterpret_cast<BYTE*>(bad)}};
  CERT_RDN_ATTR pair[] = {first, second};
  CERT_RDN rdns[] = {{1, &first}, {1, &first}, {2, pair}};
  CERT_NAME_INFO name{3, rdns};
  // Relative name 2, attribute 1, character 1: (2 << 22) | (1 << 16) | 1.
  EXPECT_EQ(encode(X509_UNICODE_NAME, &name), "error 80092021 size 8454145");
  // X.680 lets a NumericString hold blanks.
  EXPECT_EQ(unicodeName(szOID_COMMON_NAME, u"12 34", CERT_RDN_NUMERIC_STRING),
            "3010310e300c06035504031205313220333"
            "4");
  // CERT_RDN_DISABLE_CHECK_TYPE_FLAG lets any character through.
  EXPECT_EQ(unicodeName(szOID_COMMON_NAME, u"b*",
                        CERT_RDN_PRINTABLE_STRING | CERT_RDN_DISABLE_CHECK_TYPE_FLAG),
            "300d310b30090603550403130262"
            "2a");
}

TEST(Encode, TimesOutsideUtcTimeAreRefusedOrGeneralized) {
  // FILETIMEs of 31 December 1949 23:59:59 and 1 January 2050 00:00:00 UTC.
  const unsigned long long before = 110133215990000000ull, after = 141690816000000000ull;
  FILETIME t1949{DWORD(before), DWORD(before >> 32)}, t2050{DWORD(after), DWORD(after >> 32)};
  EXPECT_EQ(encode(PKCS_UTC_TIME, &t1949), "error 80092002 size 0");  // CRYPT_E_BAD_ENCODE
  EXPECT_EQ(encode(PKCS_UTC_TIME, &t2050), "error 80092002 size 0");
  // GeneralizedTime "19491231235959Z" and "20500101000000Z".
  EXPECT_EQ(encode(X509_CHOICE_OF_TIME, &t1949), "180f31393439313233313233353935395a");
  EXPECT_EQ(encode(X509_CHOICE_OF_TIME, &t2050), "180f32303530303130313030303030305a");
}

TEST(Encode, IntegersKeepTheirShortestTwosComplement) {
  int minusOne = -1;
  EXPECT_EQ(encode(X509_INTEGER, &minusOne), "0201ff");
  BYTE allOnes[] = {0xff, 0xff, 0xff};
  CRYPT_INTEGER_BLOB blob{3, allOnes};
  EXPECT_EQ(encode(X509_MULTI_BYTE_INTEGER, &blob), "0201ff");
}

TEST(Encode, ObjectIdentifiersAreWrittenInBase128) {
  LPSTR large[] = {const_cast<LPSTR>("1.2.4294967295"), const_cast<LPSTR>("2.999.3")};
  CERT_ENHKEY_USAGE usage{2, large};
  // 1.2 is 42; 2^32-1 is 8F FF FF FF 7F; 2.999 is 80 + 999 = 1079 = 88 37.
  EXPECT_EQ(encode(X509_ENHANCED_KEY_USAGE, &usage), "300d06062a8fffffff7f0603883703");
  LPSTR tooLarge[] = {const_cast<LPSTR>("1.2.4294967296")};
  CERT_ENHKEY_USAGE bad{1, tooLarge};
  EXPECT_EQ(encode(X509_ENHANCED_KEY_USAGE, &bad), "error 80093100 size 0");  // CRYPT_E_ASN1_ERROR
}

TEST(Encode, ARequestToBeSignedCarriesItsAttributesAsImplicitSet) {
  BYTE name[] = {0x30, 0x0f, 0x31, 0x0d, 0x30, 0x0b, 0x06, 0x03, 0x55,
                 0x04, 0x03, 0x13, 0x04, 'H',  'W',  'I',  'D'};
  BYTE key[] = {0x30, 0x0d, 0x02, 0x06, 0x00, 0xc1, 0x02, 0x03,
                0x04, 0x05, 0x02, 0x03, 0x01, 0x00, 0x01};
  BYTE value[] = {0x13, 0x02, 'o', 'k'};
  CRYPT_ATTR_BLOB values[] = {{sizeof value, value}};
  CRYPT_ATTRIBUTE attribute{const_cast<LPSTR>(szOID_RSA_emailAddr), 1, values};
  CERT_REQUEST_INFO request{};
  request.Subject = {sizeof name, name};
  request.SubjectPublicKeyInfo = {{const_cast<LPSTR>(szOID_RSA_RSA), {0, nullptr}},
                                  {sizeof key, key, 0}};
  // Version 0, the name, the key with NULL parameters (as X509_PUBLIC_KEY_INFO writes it)
  // and the empty [0] set that a request always has.
  const std::string head =
      "020100"
      "300f310d300b0603550403130448574944"
      "3021300d06092a864886f70d0101010500031000300d020600c1020304050203010001";
  EXPECT_EQ(encode(X509_CERT_REQUEST_TO_BE_SIGNED, &request), "3039" + head + "a000");
  request.cAttribute = 1;
  request.rgAttribute = &attribute;
  // The attribute as PKCS_ATTRIBUTE writes it, in [0] (A0) instead of a SET (31).
  EXPECT_EQ(encode(X509_CERT_REQUEST_TO_BE_SIGNED, &request),
            "304c" + head +
                "a013"
                "301106092a864886f70d010901310413026f6b");
}

TEST(Encode, CertificateExtensionsByEitherIdentifier) {
  BYTE usage[] = {0x03, 0x02, 0x04, 0xf0};
  CERT_EXTENSION extension{const_cast<LPSTR>(szOID_KEY_USAGE), FALSE, {sizeof usage, usage}};
  CERT_EXTENSIONS list{1, &extension};
  EXPECT_EQ(encode(szOID_RSA_certExtensions, &list), encode(X509_EXTENSIONS, &list));
  EXPECT_EQ(encode(szOID_RSA_certExtensions, &list), "300d300b0603551d0f0404030204f0");
}

int allocations = 0;
LPVOID WINAPI callerAlloc(size_t size) {
  ++allocations;
  return std::malloc(size);
}

TEST(Encode, AllocatedOutputComesFromTheCallersAllocator) {
  BYTE octets[] = {1, 2, 3};
  CRYPT_DATA_BLOB value{3, octets};
  CRYPT_ENCODE_PARA para{sizeof para, callerAlloc, nullptr};
  BYTE* out = nullptr;
  DWORD size = 0;
  ASSERT_TRUE(CryptEncodeObjectEx(X509_ASN_ENCODING, X509_OCTET_STRING, &value,
                                  CRYPT_ENCODE_ALLOC_FLAG, &para, &out, &size));
  EXPECT_EQ(allocations, 1);
  EXPECT_EQ(hex(std::string(reinterpret_cast<char*>(out), size)), "0403010203");
  std::free(out);
}

}  // namespace
