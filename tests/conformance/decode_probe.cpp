// Conformance probe for CryptDecodeObjectEx over what an enrolment component reads back
// (key usage, basic constraints, enhanced key usage, extensions, public-key information,
// signed content, the small types), damaged encodings, the calling protocol, and the
// helpers beside it: CertFindExtension, CertCompareCertificateName,
// CertComparePublicKeyInfo. Each case prints the fields it decoded (never the block's
// size, whose layout is the library's own); the outputs under Wine and the portable
// platform must be identical.
#include <windows.h>

#include <wincrypt.h>

#include <cstdio>
#include <string>
#include <vector>

#include "probe_text.h"

namespace {

using namespace probe;  // hex, unhex, Bytes

std::string bits(const CRYPT_BIT_BLOB& b) {
  return hex(b.pbData, b.cbData) + "/" + std::to_string(b.cUnusedBits);
}
std::string blob(const CRYPT_DATA_BLOB& b) { return hex(b.pbData, b.cbData); }
std::string algorithm(const CRYPT_ALGORITHM_IDENTIFIER& a) {
  return std::string(a.pszObjId ? a.pszObjId : "(null)") + "(" + blob(a.Parameters) + ")";
}

// Decodes `der` as `type`; prints the error, or what `show` makes of the structure.
template <class T, class Show>
void decode(const std::string& name, LPCSTR type, const char* der, Show show, DWORD flags = 0) {
  Bytes bytes = unhex(der);
  DWORD size = 0;
  BOOL ok = CryptDecodeObjectEx(X509_ASN_ENCODING, type, bytes.data(), DWORD(bytes.size()), flags,
                                nullptr, nullptr, &size);
  if (!ok) {
    std::printf("%s: ret=0 err=%08x\n", name.c_str(), unsigned(GetLastError()));
    return;
  }
  std::vector<BYTE> block(size);
  ok = CryptDecodeObjectEx(X509_ASN_ENCODING, type, bytes.data(), DWORD(bytes.size()), flags,
                           nullptr, block.data(), &size);
  std::printf("%s: ret=%d %s\n", name.c_str(), ok,
              ok ? show(*reinterpret_cast<const T*>(block.data())).c_str() : "");
}

void usages() {
  auto showBits = [](const CRYPT_BIT_BLOB& b) { return "bits=" + bits(b); };
  const char* cases[][2] = {{"f0 unused 4", "030204f0"},
                            {"f0", "030200f0"},
                            {"empty", "030100"},
                            {"two bytes", "030307a080"},
                            {"unused bits set", "030204ff"},
                            {"unused 8", "030208f0"},
                            {"short", "0302"},
                            {"octet string", "040100"},
                            {"trailing byte", "030204f000"}};
  for (auto& c : cases)
    decode<CRYPT_BIT_BLOB>(std::string("key usage ") + c[0], X509_KEY_USAGE, c[1], showBits);
  decode<CRYPT_BIT_BLOB>("key usage by oid", szOID_KEY_USAGE, "030204f0", showBits);

  auto showConstraints = [](const CERT_BASIC_CONSTRAINTS2_INFO& i) {
    return "ca=" + std::to_string(i.fCA) + " limited=" + std::to_string(i.fPathLenConstraint) +
           " path=" + std::to_string(i.dwPathLenConstraint);
  };
  const char* constraints[][2] = {{"end entity", "3000"},
                                  {"ca", "30030101ff"},
                                  {"ca path 2", "30060101ff020102"},
                                  {"path without ca", "3003020105"},
                                  {"not a sequence", "3103020105"},
                                  {"five length bytes", "30850000000000"}};
  for (auto& c : constraints)
    decode<CERT_BASIC_CONSTRAINTS2_INFO>(std::string("basic constraints ") + c[0],
                                         X509_BASIC_CONSTRAINTS2, c[1], showConstraints);

  auto showUsage = [](const CERT_ENHKEY_USAGE& u) {
    std::string s = "count=" + std::to_string(u.cUsageIdentifier);
    for (DWORD i = 0; i < u.cUsageIdentifier; ++i)
      s += std::string(" ") + u.rgpszUsageIdentifier[i];
    return s;
  };
  const char* ekus[][2] = {{"one", "300a06082b06010505070302"},
                           {"two", "301406082b0601050507030106082b06010505070302"},
                           {"none", "3000"},
                           {"an integer inside", "3003020101"}};
  for (auto& c : ekus)
    decode<CERT_ENHKEY_USAGE>(std::string("enhanced key usage ") + c[0], X509_ENHANCED_KEY_USAGE,
                              c[1], showUsage);
}

void structures() {
  auto showExtensions = [](const CERT_EXTENSIONS& e) {
    std::string s = "count=" + std::to_string(e.cExtension);
    for (DWORD i = 0; i < e.cExtension; ++i)
      s += std::string(" ") + e.rgExtension[i].pszObjId + ":" +
           std::to_string(e.rgExtension[i].fCritical) + ":" + blob(e.rgExtension[i].Value);
    return s;
  };
  const char* extensions =
      "3025300e0603551d0f0101ff0404030204f030130603551d25040c300a06082b06010505070302";
  decode<CERT_EXTENSIONS>("extensions", X509_EXTENSIONS, extensions, showExtensions);
  decode<CERT_EXTENSIONS>("extensions by oid", szOID_CERT_EXTENSIONS, extensions, showExtensions);
  decode<CERT_EXTENSIONS>("extensions none", X509_EXTENSIONS, "3000", showExtensions);
  decode<CERT_EXTENSIONS>("extensions false written out", X509_EXTENSIONS,
                          "3010300e0603551d0f0101000404030204f0", showExtensions);

  auto showKey = [](const CERT_PUBLIC_KEY_INFO& k) {
    return "algorithm=" + algorithm(k.Algorithm) + " key=" + bits(k.PublicKey);
  };
  decode<CERT_PUBLIC_KEY_INFO>(
      "public key info null parameters", X509_PUBLIC_KEY_INFO,
      "3021300d06092a864886f70d0101010500031000300d020600c1020304050203010001", showKey);
  decode<CERT_PUBLIC_KEY_INFO>("public key info no parameters", X509_PUBLIC_KEY_INFO,
                               "301f300b06092a864886f70d010101031000300d020600c1020304050203010001",
                               showKey);

  auto showSigned = [](const CERT_SIGNED_CONTENT_INFO& c) {
    return "tbs=" + blob(c.ToBeSigned) + " algorithm=" + algorithm(c.SignatureAlgorithm) +
           " signature=" + bits(c.Signature);
  };
  const char* signedContent = "30193003020101300b06092a864886f70d01010503050001020304";
  decode<CERT_SIGNED_CONTENT_INFO>("signed content", X509_CERT, signedContent, showSigned);
  decode<CERT_SIGNED_CONTENT_INFO>("signed content no reversal", X509_CERT, signedContent,
                                   showSigned, CRYPT_DECODE_NO_SIGNATURE_BYTE_REVERSAL_FLAG);
}

void smallTypes() {
  auto showBlob = [](const CRYPT_DATA_BLOB& b) { return "bytes=" + blob(b); };
  decode<CRYPT_DATA_BLOB>("octet string", X509_OCTET_STRING, "0404deadbeef", showBlob);
  decode<CRYPT_DATA_BLOB>("octet string empty", X509_OCTET_STRING, "0400", showBlob);
  decode<CRYPT_DATA_BLOB>("subject key identifier", szOID_SUBJECT_KEY_IDENTIFIER, "0402abcd",
                          showBlob);
  auto showInt = [](const int& v) { return "value=" + std::to_string(v); };
  const char* ints[][2] = {
      {"0", "020100"},      {"127", "02017f"},       {"128", "02020080"},          {"-1", "0201ff"},
      {"-129", "0202ff7f"}, {"max", "02047fffffff"}, {"5 bytes", "02050100000000"}};
  for (auto& c : ints) decode<int>(std::string("integer ") + c[0], X509_INTEGER, c[1], showInt);
  decode<CRYPT_INTEGER_BLOB>("multi-byte integer", X509_MULTI_BYTE_INTEGER,
                             "0209090807060504030201", showBlob);
  decode<CRYPT_INTEGER_BLOB>("multi-byte integer negative", X509_MULTI_BYTE_INTEGER, "02028000",
                             showBlob);
  auto showSequence = [](const CRYPT_SEQUENCE_OF_ANY& s) {
    std::string out = "count=" + std::to_string(s.cValue);
    for (DWORD i = 0; i < s.cValue; ++i) out += " " + blob(s.rgValue[i]);
    return out;
  };
  decode<CRYPT_SEQUENCE_OF_ANY>("sequence of any", X509_SEQUENCE_OF_ANY, "30050201050500",
                                showSequence);
}

void protocol() {
  Bytes der = unhex("30060101ff020102");
  DWORD size = 0;
  BOOL ok = CryptDecodeObjectEx(X509_ASN_ENCODING, X509_BASIC_CONSTRAINTS2, der.data(),
                                DWORD(der.size()), 0, nullptr, nullptr, &size);
  std::vector<BYTE> block(size + 8);
  DWORD shortSize = size - 1;
  ok = CryptDecodeObjectEx(X509_ASN_ENCODING, X509_BASIC_CONSTRAINTS2, der.data(),
                           DWORD(der.size()), 0, nullptr, block.data(), &shortSize);
  std::printf("short buffer: ret=%d err=%08x size told=%d\n", ok,
              ok ? 0u : unsigned(GetLastError()), shortSize == size);
  CERT_BASIC_CONSTRAINTS2_INFO* allocated = nullptr;
  ok = CryptDecodeObjectEx(X509_ASN_ENCODING, X509_BASIC_CONSTRAINTS2, der.data(),
                           DWORD(der.size()), CRYPT_DECODE_ALLOC_FLAG, nullptr, &allocated, &size);
  std::printf("allocated: ret=%d ca=%d path=%u\n", ok, allocated ? allocated->fCA : -1,
              allocated ? unsigned(allocated->dwPathLenConstraint) : 0u);
  if (allocated) LocalFree(allocated);
  size = sizeof block;
  ok = CryptDecodeObject(X509_ASN_ENCODING, X509_BASIC_CONSTRAINTS2, der.data(), DWORD(der.size()),
                         0, block.data(), &size);
  std::printf("old form: ret=%d\n", ok);
  struct Bad {
    const char* label;
    DWORD encoding;
    LPCSTR type;
    DWORD length;
  };
  const Bad bad[] = {
      {"no encoding type", 0, X509_BASIC_CONSTRAINTS2, DWORD(der.size())},
      {"unknown structure", X509_ASN_ENCODING, reinterpret_cast<LPCSTR>(9999), DWORD(der.size())},
      {"unknown oid structure", X509_ASN_ENCODING, "1.2.3.4.5", DWORD(der.size())},
      {"no bytes", X509_ASN_ENCODING, X509_BASIC_CONSTRAINTS2, 0}};
  for (const Bad& b : bad) {
    size = 0;
    ok = CryptDecodeObjectEx(b.encoding, b.type, der.data(), b.length, 0, nullptr, nullptr, &size);
    std::printf("%s: ret=%d err=%08x\n", b.label, ok, ok ? 0u : unsigned(GetLastError()));
  }
}

void helpers() {
  CERT_EXTENSION list[] = {{const_cast<LPSTR>(szOID_KEY_USAGE), TRUE, {0, nullptr}},
                           {const_cast<LPSTR>(szOID_ENHANCED_KEY_USAGE), FALSE, {0, nullptr}}};
  PCERT_EXTENSION found = CertFindExtension(szOID_ENHANCED_KEY_USAGE, 2, list);
  std::printf("find extension: index=%d\n", found ? int(found - list) : -1);
  SetLastError(0);
  found = CertFindExtension(szOID_BASIC_CONSTRAINTS2, 2, list);
  std::printf("find missing extension: found=%d err=%08x\n", found != nullptr,
              unsigned(GetLastError()));
  SetLastError(0);
  found = CertFindExtension(szOID_KEY_USAGE, 0, nullptr);
  std::printf("find in no extensions: found=%d err=%08x\n", found != nullptr,
              unsigned(GetLastError()));

  Bytes a = unhex("300f310d300b0603550403130448574944"), b = a,
        c = unhex("300f310d300b0603550403130448574945");
  CERT_NAME_BLOB na{DWORD(a.size()), a.data()}, nb{DWORD(b.size()), b.data()},
      nc{DWORD(c.size()), c.data()};
  std::printf("compare same names: %d\n", CertCompareCertificateName(X509_ASN_ENCODING, &na, &nb));
  std::printf("compare other names: %d\n", CertCompareCertificateName(X509_ASN_ENCODING, &na, &nc));
  // The same RSA key, its modulus written with and without a redundant zero byte.
  Bytes k1 = unhex("300d020600c1020304050203010001"), k2 = unhex("300c0205c1020304050203010001"),
        k3 = unhex("300d020600c1020304060203010001");
  auto info = [](Bytes& key, const char* oid) {
    return CERT_PUBLIC_KEY_INFO{{const_cast<LPSTR>(oid), {0, nullptr}},
                                {DWORD(key.size()), key.data(), 0}};
  };
  CERT_PUBLIC_KEY_INFO i1 = info(k1, szOID_RSA_RSA), i2 = info(k2, szOID_RSA_RSA),
                       i3 = info(k3, szOID_RSA_RSA);
  std::printf("compare same key: %d\n", CertComparePublicKeyInfo(X509_ASN_ENCODING, &i1, &i1));
  std::printf("compare other key: %d\n", CertComparePublicKeyInfo(X509_ASN_ENCODING, &i1, &i3));
  std::printf("compare key with a zero byte more: %d\n",
              CertComparePublicKeyInfo(X509_ASN_ENCODING, &i1, &i2));
}

}  // namespace

int main() {
  usages();
  structures();
  smallTypes();
  protocol();
  helpers();
  return 0;
}
