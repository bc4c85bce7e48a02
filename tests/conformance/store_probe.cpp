// Conformance probe for the corners of certificates and stores: the certificate encodings
// crypt32 takes (an unsigned certificate, empty algorithm identifiers, times of any year,
// BER's indefinite lengths)
// and the ASN.1 errors it gives for what it refuses; memory stores (their flags, their
// enumeration order, deletion while enumerating); adding to no store; duplicates found by
// the hash property; the store a created context belongs to; and the errors of opening
// system stores. Certificates are built here as DER. One line a case; the outputs under
// Wine and the portable platform must be identical.
//
// Usage: store_probe CERTIFICATE.der   (a certificate made by openssl)
#include <windows.h>

#include <wincrypt.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "../unit/common/der.h"
#include "probe_text.h"

namespace {

using probe::line;
using test::der::seq;
using test::der::tlv;

using Bytes = std::string;

// ---- DER ----
Bytes cn(const char* value) {
  return seq(tlv(0x31, seq(Bytes("\x06\x03\x55\x04\x03", 5) + tlv(0x13, value))));
}
const Bytes kEmptyAlgorithm("\x30\x02\x06\x00", 4);
Bytes generalizedTime(const char* text) { return tlv(0x18, text); }

// An unsigned version 1 certificate (its TBSCertificate alone), with empty algorithm
// identifiers and an empty key, as crypt32 takes one.
Bytes tbs(int serial, const char* issuer, const char* subject) {
  return seq(tlv(0x02, Bytes(1, char(serial))) + kEmptyAlgorithm + cn(issuer) +
             seq(generalizedTime("16010101000000Z") + generalizedTime("99991231235959Z")) +
             cn(subject) + seq(kEmptyAlgorithm + Bytes("\x03\x01\x00", 3)));
}
// The same signed: TBSCertificate, algorithm, a signature that is no real one.
Bytes signedCert(const Bytes& tbsCert) {
  return seq(tbsCert + kEmptyAlgorithm + tlv(0x03, Bytes("\x00\x01\x02\x03", 4)));
}

std::string serialOf(PCCERT_CONTEXT c) {
  return c ? probe::hex(c->pCertInfo->SerialNumber.pbData, c->pCertInfo->SerialNumber.cbData)
           : "none";
}

PCCERT_CONTEXT create(const Bytes& der) {
  return CertCreateCertificateContext(X509_ASN_ENCODING, (const BYTE*)der.data(),
                                      DWORD(der.size()));
}

void parsing(const Bytes& real) {
  Bytes plain = tbs(1, "Issuer One", "Subject One");
  Bytes crlLike = seq(seq(kEmptyAlgorithm + cn("Issuer One") + generalizedTime("16010101000000Z")) +
                      kEmptyAlgorithm + tlv(0x03, Bytes("\x00\x01", 2)));
  Bytes withExtensions =
      seq(plain.substr(2) +
          tlv(0xA3, seq(seq(Bytes("\x06\x03\x55\x1d\x13", 5) + Bytes("\x01\x01\xff", 3) +
                            tlv(0x04, seq(Bytes("\x01\x01\xff", 3)))))));
  // BER's indefinite length for the outer sequence: its content, then 00 00.
  Bytes inside = real.substr(2 + (BYTE(real[1]) & 0x7F));
  Bytes indefinite = "\x30\x80" + inside + Bytes(2, '\0');
  Bytes longForm = real;  // the outer length in one more byte than it needs
  longForm.insert(1, 1, char(0x83));
  longForm[2] = 0;
  struct Case {
    const char* label;
    Bytes der;
  } cases[] = {
      {"openssl certificate", real},
      {"unsigned certificate", plain},
      {"signed with a false signature", signedCert(plain)},
      {"empty sequence", Bytes("\x30\x00", 2)},
      {"trailing bytes", real + Bytes("\x00\x00", 2)},
      {"set instead of sequence", "\x31" + real.substr(1)},
      {"a revocation list", crlLike},
      {"an integer", Bytes("\x02\x01\x01", 3)},
      {"outer length in long form", longForm},
      {"outer length indefinite", indefinite},
      {"one byte", Bytes("\x30", 1)},
      {"unsigned with extensions, no version", withExtensions},
      {"empty serial", seq(tlv(0x02, "") + plain.substr(5))},
      {"no subject",
       seq(tlv(0x02, "\x01") + kEmptyAlgorithm + cn("Issuer One") +
           seq(generalizedTime("16010101000000Z") + generalizedTime("99991231235959Z")) +
           seq(kEmptyAlgorithm + Bytes("\x03\x01\x00", 3)))},
      {"a time of no type",
       seq(tlv(0x02, "\x01") + kEmptyAlgorithm + cn("I") +
           seq(tlv(0x04, "16010101000000Z") + generalizedTime("99991231235959Z")) + cn("S") +
           seq(kEmptyAlgorithm + Bytes("\x03\x01\x00", 3)))},
  };
  std::printf(
      "departs: a certificate cut short by a byte (Windows CRYPT_E_ASN1_EOD, Wine 8 "
      "CRYPT_E_ASN1_CORRUPT)\n");
  std::printf(
      "departs: an indefinite length not ended within the bytes given (Wine 8 reads on past "
      "them)\n");
  for (const Case& c : cases) {
    PCCERT_CONTEXT ctx = create(c.der);
    line(std::string("parse ") + c.label, ctx != nullptr,
         ctx ? "serial=" + serialOf(ctx) + " size=" + std::to_string(ctx->cbCertEncoded) : "");
    if (ctx) CertFreeCertificateContext(ctx);
  }
  PCCERT_CONTEXT ctx =
      CertCreateCertificateContext(0, (const BYTE*)real.data(), DWORD(real.size()));
  line("parse with encoding 0", ctx != nullptr);
  if (ctx) CertFreeCertificateContext(ctx);
  ctx = CertCreateCertificateContext(X509_ASN_ENCODING, nullptr, 0);
  line("parse nothing", ctx != nullptr);
}

HCERTSTORE memoryStore(DWORD flags = 0) {
  return CertOpenStore(CERT_STORE_PROV_MEMORY, 0, 0, flags, nullptr);
}

BOOL add(HCERTSTORE store, const Bytes& der, DWORD how, PCCERT_CONTEXT* out = nullptr) {
  return CertAddEncodedCertificateToStore(store, X509_ASN_ENCODING, (const BYTE*)der.data(),
                                          DWORD(der.size()), how, out);
}

std::string order(HCERTSTORE store) {
  std::string serials;
  for (PCCERT_CONTEXT c = nullptr; (c = CertEnumCertificatesInStore(store, c));)
    serials += serialOf(c) + " ";
  return serials;
}

void memoryStores() {
  HCERTSTORE none = CertOpenStore(nullptr, 0, 0, 0, nullptr);
  line("open with no provider", none != nullptr);
  HCERTSTORE deleting = memoryStore(CERT_STORE_DELETE_FLAG);
  line("memory store with delete flag", deleting != nullptr);
  HCERTSTORE readOnly = memoryStore(CERT_STORE_READONLY_FLAG);
  line("memory store read-only: add", add(readOnly, tbs(1, "A", "B"), CERT_STORE_ADD_ALWAYS));
  CertCloseStore(readOnly, 0);

  HCERTSTORE store = memoryStore();
  for (int serial : {1, 2, 3}) add(store, tbs(serial, "Issuer", "Subject"), CERT_STORE_ADD_ALWAYS);
  std::printf("enumeration order: %s\n", order(store).c_str());
  PCCERT_CONTEXT first = CertEnumCertificatesInStore(store, nullptr);
  std::printf("first: %s, same store: %d\n", serialOf(first).c_str(),
              first && first->hCertStore == store ? 1 : 0);
  line("delete the current one",
       CertDeleteCertificateFromStore(CertDuplicateCertificateContext(first)));
  line("delete it again", CertDeleteCertificateFromStore(CertDuplicateCertificateContext(first)));
  std::printf("left: %s\n", order(store).c_str());
  std::printf(
      "departs: enumerating on from a deleted certificate (Wine 8 gives the deleted one "
      "again, Windows the next one)\n");
  CertFreeCertificateContext(first);
  line("close no store", CertCloseStore(nullptr, 0));
  CertCloseStore(store, 0);
}

void noStore() {
  Bytes der = tbs(7, "Issuer", "Subject");
  PCCERT_CONTEXT ctx = nullptr;
  BOOL ok = add(nullptr, der, CERT_STORE_ADD_ALWAYS, &ctx);
  line("add to no store", ok,
       ctx ? std::string("store=") + (ctx->hCertStore ? "some" : "none") : "");
  if (ctx) CertFreeCertificateContext(ctx);
  line("add to no store, no disposition", add(nullptr, der, 0, nullptr));
  PCCERT_CONTEXT made = create(der), out = nullptr;
  ok = CertAddCertificateContextToStore(nullptr, made, CERT_STORE_ADD_ALWAYS, &out);
  line("add a context to no store", ok,
       out ? std::string("same=") + (out == made ? "1" : "0") : "");
  if (out) CertFreeCertificateContext(out);
  std::printf("created context: store=%s\n", made && made->hCertStore ? "some" : "none");
  if (made && made->hCertStore) {
    PCCERT_CONTEXT inOwn = CertEnumCertificatesInStore(made->hCertStore, nullptr);
    std::printf("its store holds: %s\n", serialOf(inOwn).c_str());
    if (inOwn) CertFreeCertificateContext(inOwn);
  }
  line("delete a created context",
       CertDeleteCertificateFromStore(CertDuplicateCertificateContext(made)));
  CertFreeCertificateContext(made);
}

void duplicates() {
  HCERTSTORE store = memoryStore();
  Bytes one = tbs(1, "Issuer", "Subject");
  line("add new", add(store, one, CERT_STORE_ADD_NEW));
  line("add new again", add(store, one, CERT_STORE_ADD_NEW));
  line("same issuer and serial, other subject",
       add(store, tbs(1, "Issuer", "Other"), CERT_STORE_ADD_NEW));
  PCCERT_CONTEXT existing = nullptr;
  line("use existing", add(store, one, CERT_STORE_ADD_USE_EXISTING, &existing));
  std::printf("use existing gives the member: %d\n",
              existing && existing->hCertStore == store ? 1 : 0);
  if (existing) CertFreeCertificateContext(existing);
  line("replace existing", add(store, one, CERT_STORE_ADD_REPLACE_EXISTING));
  std::printf("after replacing: %s\n", order(store).c_str());
  // A context whose hash property reads as the first certificate's counts as that one.
  BYTE hash[20];
  DWORD size = sizeof hash;
  PCCERT_CONTEXT first = CertEnumCertificatesInStore(store, nullptr);
  CertGetCertificateContextProperty(first, CERT_HASH_PROP_ID, hash, &size);
  CertFreeCertificateContext(first);
  PCCERT_CONTEXT other = create(tbs(9, "Another", "Another"));
  CRYPT_DATA_BLOB blob{size, hash};
  line("set a borrowed hash",
       CertSetCertificateContextProperty(other, CERT_HASH_PROP_ID, 0, &blob));
  BOOL ok = CertAddCertificateContextToStore(store, other, CERT_STORE_ADD_NEW, nullptr);
  std::printf("add new with a borrowed hash: ret=%d\n", ok ? 1 : 0);
  CertFreeCertificateContext(other);
  CertCloseStore(store, 0);
}

HCERTSTORE openSystem(LPCSTR provider, DWORD flags, const void* name) {
  return CertOpenStore(provider, 0, 0, flags, name);
}

void systemStores() {
  const WCHAR myW[] = {'M', 'y', 0};
  line("system, no flags, no name", openSystem(CERT_STORE_PROV_SYSTEM_A, 0, nullptr) != nullptr);
  line("system, user, no name",
       openSystem(CERT_STORE_PROV_SYSTEM_A, CERT_SYSTEM_STORE_CURRENT_USER, nullptr) != nullptr);
  line("system, both locations",
       openSystem(CERT_STORE_PROV_SYSTEM_A,
                  CERT_SYSTEM_STORE_LOCAL_MACHINE | CERT_SYSTEM_STORE_CURRENT_USER,
                  "My") != nullptr);
  line(
      "system wide, both locations",
      openSystem(CERT_STORE_PROV_SYSTEM_W,
                 CERT_SYSTEM_STORE_LOCAL_MACHINE | CERT_SYSTEM_STORE_CURRENT_USER, myW) != nullptr);
  const char* name = "PwStoreProbe";
  HCERTSTORE made = openSystem(CERT_STORE_PROV_SYSTEM_A, CERT_SYSTEM_STORE_CURRENT_USER, name);
  line("system, made", made != nullptr);
  CertCloseStore(made, 0);
  HCERTSTORE again = openSystem(CERT_STORE_PROV_SYSTEM_A,
                                CERT_SYSTEM_STORE_CURRENT_USER | CERT_STORE_CREATE_NEW_FLAG, name);
  line("system, create new on an existing one", again != nullptr);
  if (again) CertCloseStore(again, 0);
  SetLastError(0xdeadbeef);
  HCERTSTORE deleted = openSystem(CERT_STORE_PROV_SYSTEM_A,
                                  CERT_SYSTEM_STORE_CURRENT_USER | CERT_STORE_DELETE_FLAG, name);
  std::printf("system, delete: store=%s last=%08lx\n", deleted ? "some" : "none",
              (unsigned long)GetLastError());
  HCERTSTORE gone =
      openSystem(CERT_STORE_PROV_SYSTEM_A,
                 CERT_SYSTEM_STORE_CURRENT_USER | CERT_STORE_OPEN_EXISTING_FLAG, name);
  if (gone) CertCloseStore(gone, 0);
  std::printf("departs: opening the deleted store (Wine 8 keeps its key)\n");
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: store_probe CERTIFICATE.der\n");
    return 2;
  }
  Bytes der;
  if (FILE* f = std::fopen(argv[1], "rb")) {
    char chunk[4096];
    for (size_t n; (n = std::fread(chunk, 1, sizeof chunk, f));) der.append(chunk, n);
    std::fclose(f);
  }
  parsing(der);
  memoryStores();
  noStore();
  duplicates();
  systemStores();
  return 0;
}
