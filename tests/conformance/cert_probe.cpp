// Conformance probe for certificate names, context properties and system stores.
// Names are built here as DER, independently of either implementation, and rendered with
// CertNameToStrA; a certificate made by openssl goes through the property size protocol
// and a registry-backed system store of the current user. Each case prints one line;
// the outputs under Wine and the portable platform must be identical.
//
// Where Wine 8 departs from Windows' documented behaviour the portable library follows
// Windows and the case is left out of the comparison (printed as "departs"):
//   - empty values: Windows quotes them (""), Wine 8 writes nothing;
//   - a type without a key name: Windows writes "OID.1.2.3.4=", Wine 8 "1.2.3.4=";
//   - CertStrToNameA: Wine 8 rejects quoted values, splits a '+' relative name into
//     two, and trims only the leading blanks of a bare value;
//   - a read-only store refuses a deletion with E_ACCESSDENIED, Wine 8 with
//     ERROR_ACCESS_DENIED; Wine 8 writes additions and deletions back only on a commit.
//
// Usage: cert_probe CERTIFICATE.der
#include <windows.h>

#include <wincrypt.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "../unit/common/der.h"
#include "probe_text.h"

namespace {

using probe::hex;
using probe::line;
using test::der::oid;
using test::der::tlv;

using Bytes = std::string;

// ---- DER ----

constexpr int kPrintable = 0x13, kUtf8 = 0x0C, kIa5 = 0x16, kBmp = 0x1E;

Bytes attr(const char* type, int tag, const Bytes& value) {
  return tlv(0x30, oid(type) + tlv(tag, value));
}
Bytes rdn(const Bytes& attrs) { return tlv(0x31, attrs); }
Bytes name(const Bytes& rdns) { return tlv(0x30, rdns); }

const char* kCN = "2.5.4.3";
const char* kO = "2.5.4.10";
const char* kOU = "2.5.4.11";
const char* kC = "2.5.4.6";
const char* kE = "1.2.840.113549.1.9.1";

void render(const std::string& label, const Bytes& der) {
  CERT_NAME_BLOB blob{DWORD(der.size()), (BYTE*)der.data()};
  for (auto [type, typeName] :
       {std::pair{DWORD(CERT_SIMPLE_NAME_STR), "simple"}, {DWORD(CERT_X500_NAME_STR), "x500"}}) {
    char buf[512];
    DWORD size = CertNameToStrA(X509_ASN_ENCODING, &blob, type, nullptr, 0);
    DWORD n = CertNameToStrA(X509_ASN_ENCODING | PKCS_7_ASN_ENCODING, &blob, type, buf, sizeof buf);
    std::printf("name %s %s: size=%lu count=%lu [%s]\n", label.c_str(), typeName,
                (unsigned long)size, (unsigned long)n, buf);
  }
}

void nameCases() {
  render("plain", name(rdn(attr(kCN, kPrintable, "HWID")) + rdn(attr(kOU, kPrintable, "4711")) +
                       rdn(attr(kO, kPrintable, "Velmora Portwyn Certificate"))));
  render("comma", name(rdn(attr(kCN, kPrintable, "Doe, John")) + rdn(attr(kC, kPrintable, "DE"))));
  render("quote", name(rdn(attr(kCN, kUtf8, "say \"hi\""))));
  for (const char* special : {"a+b", "a=b", "a<b", "a>b", "#a", "a;b", "a\nb"})
    render(std::string("special ") + (special[0] == '\n' ? "nl" : special),
           name(rdn(attr(kCN, kUtf8, special))));
  render("leading blank", name(rdn(attr(kCN, kPrintable, " lead"))));
  render("trailing blank", name(rdn(attr(kO, kPrintable, "trail "))));
  render("inner blanks", name(rdn(attr(kO, kPrintable, "two  blanks"))));
  render("multi-valued", name(rdn(attr(kCN, kPrintable, "Kim") + attr(kOU, kPrintable, "Dev")) +
                              rdn(attr(kO, kPrintable, "Org"))));
  render("accented utf8", name(rdn(attr(kCN, kUtf8, "Jos\xC3\xA9 M\xC3\xBCller"))));
  render("accented bmp", name(rdn(attr(kCN, kBmp, Bytes("\0\xE9\0t\0\xE9", 6)))));
  render("email", name(rdn(attr(kE, kIa5, "a@example.com")) + rdn(attr(kCN, kPrintable, "A"))));
  render("empty name", name(""));
  CERT_NAME_BLOB junk{3, (BYTE*)"\x04\x01x"};
  char buf[16] = "unchanged";
  DWORD n = CertNameToStrA(X509_ASN_ENCODING, &junk, CERT_SIMPLE_NAME_STR, buf, sizeof buf);
  std::printf("name not a name: count=%lu [%s]\n", (unsigned long)n, buf);
  std::printf("departs: empty value, unknown type (Wine 8 writes them otherwise)\n");
}

void strToNameCases() {
  for (const char* text : {"CN=HWID, OU=4711, O=Velmora Portwyn Certificate", "CN=upper;O=semi",
                           "CN=Jos\xE9", "E=a@example.com, C=DE", "XX=unknown", "CN", "CN=a,"}) {
    BYTE der[256];
    DWORD size = 0;
    LPCSTR error = nullptr;
    BOOL ok = CertStrToNameA(X509_ASN_ENCODING, text, CERT_X500_NAME_STR, nullptr, nullptr, &size,
                             &error);
    std::string where = error ? std::to_string(error - text) : "-";
    if (ok) {
      DWORD got = sizeof der;
      ok = CertStrToNameA(X509_ASN_ENCODING, text, CERT_X500_NAME_STR, nullptr, der, &got, &error);
      line(std::string("str to name [") + text + "]", ok,
           "size=" + std::to_string(size) + " der=" + hex(der, ok ? got : 0));
    } else {
      line(std::string("str to name [") + text + "]", ok, "error at " + where);
    }
  }
  std::printf(
      "departs: quoted values, '+' names, trailing blanks (Wine 8 parses them otherwise)\n");
}

void propertyCases(PCCERT_CONTEXT cert) {
  BYTE buf[512];
  DWORD size = 0;
  BOOL ok = CertGetCertificateContextProperty(cert, CERT_SHA1_HASH_PROP_ID, nullptr, &size);
  line("sha1 size", ok, std::to_string(size));
  DWORD small = 4;
  ok = CertGetCertificateContextProperty(cert, CERT_SHA1_HASH_PROP_ID, buf, &small);
  line("sha1 short", ok, std::to_string(small));
  size = sizeof buf;
  ok = CertGetCertificateContextProperty(cert, CERT_SHA1_HASH_PROP_ID, buf, &size);
  line("sha1", ok, hex(buf, ok ? size : 0));
  size = 0;
  line("key prov info absent",
       CertGetCertificateContextProperty(cert, CERT_KEY_PROV_INFO_PROP_ID, nullptr, &size));
  line("friendly name absent",
       CertGetCertificateContextProperty(cert, CERT_FRIENDLY_NAME_PROP_ID, nullptr, &size));

  WCHAR container[] = {'p', 'w', '-', 'p', 'r', 'o', 'b', 'e', 0};
  WCHAR provider[64];
  MultiByteToWideChar(CP_ACP, 0, MS_DEF_PROV_A, -1, provider, 64);
  CRYPT_KEY_PROV_INFO info{container, provider, PROV_RSA_FULL, CRYPT_MACHINE_KEYSET,
                           0,         nullptr,  AT_KEYEXCHANGE};
  line("set key prov info",
       CertSetCertificateContextProperty(cert, CERT_KEY_PROV_INFO_PROP_ID, 0, &info));
  size = 0;
  ok = CertGetCertificateContextProperty(cert, CERT_KEY_PROV_INFO_PROP_ID, nullptr, &size);
  line("key prov info size", ok, std::to_string(size));
  small = size - 1;
  ok = CertGetCertificateContextProperty(cert, CERT_KEY_PROV_INFO_PROP_ID, buf, &small);
  line("key prov info short", ok, std::to_string(small));
  size = sizeof buf;
  ok = CertGetCertificateContextProperty(cert, CERT_KEY_PROV_INFO_PROP_ID, buf, &size);
  auto* got = reinterpret_cast<CRYPT_KEY_PROV_INFO*>(buf);
  char names[200] = "-";
  if (ok)
    std::snprintf(names, sizeof names, "type=%lu flags=%lx spec=%lu params=%lu",
                  (unsigned long)got->dwProvType, (unsigned long)got->dwFlags,
                  (unsigned long)got->dwKeySpec, (unsigned long)got->cProvParam);
  line("key prov info", ok, names);
  if (ok) {
    char c[64], p[64];
    WideCharToMultiByte(CP_ACP, 0, got->pwszContainerName, -1, c, 64, nullptr, nullptr);
    WideCharToMultiByte(CP_ACP, 0, got->pwszProvName, -1, p, 64, nullptr, nullptr);
    std::printf("key prov info names: [%s] [%s]\n", c, p);
  }
}

HCERTSTORE openUser(const char* store, DWORD flags) {
  return CertOpenStore(CERT_STORE_PROV_SYSTEM_A, 0, 0, CERT_SYSTEM_STORE_CURRENT_USER | flags,
                       store);
}

int count(HCERTSTORE store) {
  int n = 0;
  for (PCCERT_CONTEXT c = nullptr; (c = CertEnumCertificatesInStore(store, c));) ++n;
  return n;
}

void storeCases(const Bytes& der) {
  const char* kStore = "PwProbe";
  // A leftover of an interrupted run.
  if (HCERTSTORE old = openUser(kStore, 0)) {
    for (PCCERT_CONTEXT c; (c = CertEnumCertificatesInStore(old, nullptr));)
      CertDeleteCertificateFromStore(c);
    CertControlStore(old, 0, CERT_STORE_CTRL_COMMIT, nullptr);
    CertCloseStore(old, 0);
  }
  HCERTSTORE missing = openUser("PwProbeMissing", CERT_STORE_OPEN_EXISTING_FLAG);
  line("open missing existing store", missing != nullptr);

  HCERTSTORE store = openUser(kStore, 0);
  line("open writable", store != nullptr);
  if (!store) return;
  PCCERT_CONTEXT none = CertEnumCertificatesInStore(store, nullptr);
  line("enumerate empty store", none != nullptr);
  PCCERT_CONTEXT added = nullptr;
  line("add new",
       CertAddEncodedCertificateToStore(store, X509_ASN_ENCODING, (const BYTE*)der.data(),
                                        DWORD(der.size()), CERT_STORE_ADD_NEW, &added));
  line("add new again",
       CertAddEncodedCertificateToStore(store, X509_ASN_ENCODING, (const BYTE*)der.data(),
                                        DWORD(der.size()), CERT_STORE_ADD_NEW, nullptr));
  line("add garbage",
       CertAddEncodedCertificateToStore(store, X509_ASN_ENCODING, (const BYTE*)"\x04\x00", 2,
                                        CERT_STORE_ADD_NEW, nullptr));
  CRYPT_DATA_BLOB friendly{4, (BYTE*)"n\0m\0"};
  line("set friendly name",
       CertSetCertificateContextProperty(added, CERT_FRIENDLY_NAME_PROP_ID, 0, &friendly));
  BYTE hash[20];
  DWORD hashSize = sizeof hash;
  CertGetCertificateContextProperty(added, CERT_SHA1_HASH_PROP_ID, hash, &hashSize);
  CertFreeCertificateContext(added);
  line("commit", CertControlStore(store, 0, CERT_STORE_CTRL_COMMIT, nullptr));
  line("close", CertCloseStore(store, 0));

  std::string key = "Software\\Microsoft\\SystemCertificates\\PwProbe\\Certificates\\";
  for (BYTE b : hash) {
    char two[3];
    std::snprintf(two, sizeof two, "%02X", b);
    key += two;
  }
  HKEY h;
  LONG st = RegOpenKeyExA(HKEY_CURRENT_USER, key.c_str(), 0, KEY_READ, &h);
  DWORD type = 0, size = 0;
  if (!st) st = RegQueryValueExA(h, "Blob", nullptr, &type, nullptr, &size), RegCloseKey(h);
  std::printf("registry thumbprint key with Blob: %ld type=%lu\n", long(st), (unsigned long)type);

  HCERTSTORE readOnly = openUser(kStore, CERT_STORE_READONLY_FLAG);
  line("open read-only", readOnly != nullptr);
  std::printf("read-only count: %d\n", count(readOnly));
  PCCERT_CONTEXT c = CertEnumCertificatesInStore(readOnly, nullptr);
  if (!c) return;
  DWORD fsize = 0;
  BOOL kept = CertGetCertificateContextProperty(c, CERT_FRIENDLY_NAME_PROP_ID, nullptr, &fsize);
  line("friendly name kept", kept, std::to_string(fsize));
  // Windows refuses with E_ACCESSDENIED, Wine 8 with ERROR_ACCESS_DENIED: only the
  // refusal is compared.
  BOOL deleted = CertDeleteCertificateFromStore(CertDuplicateCertificateContext(c));
  std::printf("delete from read-only store: ret=%d\n", deleted ? 1 : 0);
  line("close read-only with force", CertCloseStore(readOnly, CERT_CLOSE_STORE_FORCE_FLAG));

  store = openUser(kStore, 0);
  c = CertEnumCertificatesInStore(store, nullptr);
  line("delete", CertDeleteCertificateFromStore(c));
  // Wine 8 writes a deletion back only on a commit; Windows at once.
  CertControlStore(store, 0, CERT_STORE_CTRL_COMMIT, nullptr);
  line("close after delete", CertCloseStore(store, 0));
  store = openUser(kStore, CERT_STORE_READONLY_FLAG);
  std::printf("count after delete: %d\n", count(store));
  CertCloseStore(store, 0);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: cert_probe CERTIFICATE.der\n");
    return 2;
  }
  Bytes der;
  if (FILE* f = std::fopen(argv[1], "rb")) {
    char chunk[4096];
    for (size_t n; (n = std::fread(chunk, 1, sizeof chunk, f));) der.append(chunk, n);
    std::fclose(f);
  }
  nameCases();
  strToNameCases();
  PCCERT_CONTEXT cert =
      CertCreateCertificateContext(X509_ASN_ENCODING, (const BYTE*)der.data(), DWORD(der.size()));
  line("create context", cert != nullptr);
  if (cert) {
    CERT_NAME_BLOB* subject = &cert->pCertInfo->Subject;
    char text[256];
    CertNameToStrA(X509_ASN_ENCODING, subject, CERT_X500_NAME_STR, text, sizeof text);
    std::printf(
        "subject: [%s] serial: %s version: %lu\n", text,
        hex(cert->pCertInfo->SerialNumber.pbData, cert->pCertInfo->SerialNumber.cbData).c_str(),
        (unsigned long)cert->pCertInfo->dwVersion);
    const CERT_INFO* info = cert->pCertInfo;
    std::printf(
        "signature: %s params=%s\n", info->SignatureAlgorithm.pszObjId,
        hex(info->SignatureAlgorithm.Parameters.pbData, info->SignatureAlgorithm.Parameters.cbData)
            .c_str());
    std::printf("validity: %08lx%08lx %08lx%08lx\n", (unsigned long)info->NotBefore.dwHighDateTime,
                (unsigned long)info->NotBefore.dwLowDateTime,
                (unsigned long)info->NotAfter.dwHighDateTime,
                (unsigned long)info->NotAfter.dwLowDateTime);
    std::printf("key: %s params=%s bits=%s unused=%lu\n",
                info->SubjectPublicKeyInfo.Algorithm.pszObjId,
                hex(info->SubjectPublicKeyInfo.Algorithm.Parameters.pbData,
                    info->SubjectPublicKeyInfo.Algorithm.Parameters.cbData)
                    .c_str(),
                hex(info->SubjectPublicKeyInfo.PublicKey.pbData,
                    info->SubjectPublicKeyInfo.PublicKey.cbData)
                    .c_str(),
                (unsigned long)info->SubjectPublicKeyInfo.PublicKey.cUnusedBits);
    for (DWORD i = 0; i < info->cExtension; ++i)
      std::printf(
          "extension: %s critical=%d %s\n", info->rgExtension[i].pszObjId,
          info->rgExtension[i].fCritical ? 1 : 0,
          hex(info->rgExtension[i].Value.pbData, info->rgExtension[i].Value.cbData).c_str());
    std::printf("issuer: %s\n", hex(info->Issuer.pbData, info->Issuer.cbData).c_str());
    propertyCases(cert);
    line("free context", CertFreeCertificateContext(cert));
  }
  line("create from garbage",
       CertCreateCertificateContext(X509_ASN_ENCODING, (const BYTE*)"\x04\x00", 2) != nullptr);
  storeCases(der);
  return 0;
}
