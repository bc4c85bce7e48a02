// Certificates and stores in the corners Windows documents and its tests pin down: what
// CertCreateCertificateContext takes and the ASN.1 error it gives for what it refuses,
// memory stores (order, deletion while enumerating, their flags), adding to no store,
// duplicates told by the hash property, the store of a lone context, and the errors of
// opening and deleting system stores.
#include <windows.h>

#include <wincrypt.h>

#include <gtest/gtest.h>

#include "common/der.h"

#include <string>

namespace {

using namespace test::der;

PCCERT_CONTEXT create(const Bytes& der) {
  return CertCreateCertificateContext(X509_ASN_ENCODING, (const BYTE*)der.data(),
                                      DWORD(der.size()));
}

BOOL add(HCERTSTORE store, const Bytes& der, DWORD how, PCCERT_CONTEXT* out = nullptr) {
  return CertAddEncodedCertificateToStore(store, X509_ASN_ENCODING, (const BYTE*)der.data(),
                                          DWORD(der.size()), how, out);
}

int serialOf(PCCERT_CONTEXT c) { return c->pCertInfo->SerialNumber.pbData[0]; }

std::string order(HCERTSTORE store) {
  std::string serials;
  for (PCCERT_CONTEXT c = nullptr; (c = CertEnumCertificatesInStore(store, c));)
    serials += std::to_string(serialOf(c));
  return serials;
}

HCERTSTORE memoryStore(DWORD flags = 0) {
  return CertOpenStore(CERT_STORE_PROV_MEMORY, 0, 0, flags, nullptr);
}

TEST(CertificateParsing, TakesWhatCrypt32Takes) {
  Bytes tbs = unsignedCertificate(1, "Issuer", "Subject");
  struct {
    const char* label;
    Bytes der;
    DWORD size;  // cbCertEncoded: the bytes given, what follows the certificate included
  } cases[] = {
      {"unsigned", tbs, DWORD(tbs.size())},
      {"signed", signedCertificate(tbs), DWORD(signedCertificate(tbs).size())},
      {"trailing bytes", tbs + Bytes(2, '\0'), DWORD(tbs.size() + 2)},
      {"indefinite length", indefinite(0x30, tbs.substr(2)), DWORD(tbs.size() + 2)},
      {"extensions in version 1",
       seq(tbs.substr(2) + tlv(0xA3, seq(seq(Bytes("\x06\x03\x55\x1d\x13\x04\x02\x30\x00", 9))))),
       0},
  };
  for (auto& c : cases) {
    if (!c.size) c.size = DWORD(c.der.size());
    PCCERT_CONTEXT cert = create(c.der);
    ASSERT_NE(cert, nullptr) << c.label << std::hex << " " << GetLastError();
    EXPECT_EQ(cert->cbCertEncoded, c.size) << c.label;
    EXPECT_EQ(serialOf(cert), 1) << c.label;
    EXPECT_STREQ(cert->pCertInfo->SignatureAlgorithm.pszObjId, "");  // the empty OID
    // 1601-01-01 is FILETIME zero.
    EXPECT_EQ(cert->pCertInfo->NotBefore.dwLowDateTime, 0u);
    EXPECT_EQ(cert->pCertInfo->NotBefore.dwHighDateTime, 0u);
    CertFreeCertificateContext(cert);
  }
}

TEST(CertificateParsing, NamesOfIndefiniteLength) {
  // The issuer in BER's indefinite form, inside a certificate of definite length.
  Bytes issuer = indefinite(
      0x30, indefinite(0x31, seq(Bytes("\x06\x03\x55\x04\x03", 5) + tlv(0x13, "Issuer"))));
  Bytes tbs = seq(tlv(0x02, "\x01") + kEmptyAlgorithm + issuer +
                  seq(tlv(0x18, "16010101000000Z") + tlv(0x18, "99991231235959Z")) +
                  commonName("Subject") + seq(kEmptyAlgorithm + Bytes("\x03\x01\x00", 3)));
  PCCERT_CONTEXT cert = create(tbs);
  ASSERT_NE(cert, nullptr) << std::hex << GetLastError();
  EXPECT_EQ(cert->pCertInfo->Issuer.cbData, DWORD(issuer.size()));  // the bytes as given
  char text[64];
  EXPECT_EQ(CertNameToStrA(X509_ASN_ENCODING, &cert->pCertInfo->Issuer, CERT_X500_NAME_STR, text,
                           sizeof text),
            10u);
  EXPECT_STREQ(text, "CN=Issuer");
  CertFreeCertificateContext(cert);
}

TEST(CertificateParsing, RefusesWithTheAsn1Error) {
  Bytes tbs = unsignedCertificate(1, "Issuer", "Subject");
  struct {
    const char* label;
    Bytes der;
    HRESULT error;
  } cases[] = {
      {"nothing", Bytes(), CRYPT_E_ASN1_EOD},
      {"cut short", tbs.substr(0, tbs.size() - 1), CRYPT_E_ASN1_EOD},
      {"one byte", Bytes("\x30", 1), CRYPT_E_ASN1_CORRUPT},
      {"empty sequence", Bytes("\x30\x00", 2), CRYPT_E_ASN1_CORRUPT},
      {"empty serial", seq(tlv(0x02, "") + tbs.substr(5)), CRYPT_E_ASN1_CORRUPT},
      {"a SET", "\x31" + tbs.substr(1), CRYPT_E_ASN1_BADTAG},
      {"an INTEGER", Bytes("\x02\x01\x01", 3), CRYPT_E_ASN1_BADTAG},
      {"a length of five bytes", Bytes("\x30\x85\x00\x00\x00\x00\x01\x00", 8),
       CRYPT_E_ASN1_CORRUPT},
      {"indefinite, never ended", "\x30\x80" + tbs.substr(2), CRYPT_E_ASN1_CORRUPT},
      {"indefinite, ended wrongly", "\x30\x80" + tbs.substr(2) + Bytes("\x00\x01", 2),
       CRYPT_E_ASN1_CORRUPT},
  };
  for (const auto& c : cases) {
    SetLastError(0xdeadbeef);
    EXPECT_EQ(create(c.der), nullptr) << c.label;
    EXPECT_EQ(GetLastError(), DWORD(c.error)) << c.label;
  }
  SetLastError(0xdeadbeef);
  EXPECT_EQ(CertCreateCertificateContext(0, (const BYTE*)tbs.data(), DWORD(tbs.size())), nullptr);
  EXPECT_EQ(GetLastError(), DWORD(E_INVALIDARG));
}

TEST(MemoryStore, NewestFirstAndDeletionWhileEnumerating) {
  HCERTSTORE store = memoryStore(CERT_STORE_READONLY_FLAG);  // no flag of a memory store
  ASSERT_NE(store, nullptr);
  for (int serial : {1, 2, 3})
    ASSERT_TRUE(add(store, unsignedCertificate(serial, "I", "S"), CERT_STORE_ADD_ALWAYS));
  EXPECT_EQ(order(store), "321");

  PCCERT_CONTEXT first = CertEnumCertificatesInStore(store, nullptr);
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(first->hCertStore, store);
  EXPECT_TRUE(CertDeleteCertificateFromStore(CertDuplicateCertificateContext(first)));
  EXPECT_TRUE(CertDeleteCertificateFromStore(CertDuplicateCertificateContext(first)));  // again
  // Enumeration goes on from the deleted one to the next.
  PCCERT_CONTEXT next = CertEnumCertificatesInStore(store, first);
  ASSERT_NE(next, nullptr);
  EXPECT_EQ(serialOf(next), 2);
  EXPECT_TRUE(CertDeleteCertificateFromStore(CertDuplicateCertificateContext(next)));
  next = CertEnumCertificatesInStore(store, next);
  ASSERT_NE(next, nullptr);
  EXPECT_EQ(serialOf(next), 1);
  SetLastError(0xdeadbeef);
  EXPECT_EQ(CertEnumCertificatesInStore(store, next), nullptr);
  EXPECT_EQ(GetLastError(), DWORD(CRYPT_E_NOT_FOUND));
  EXPECT_EQ(order(store), "1");
  EXPECT_TRUE(CertCloseStore(store, 0));
  EXPECT_TRUE(CertCloseStore(nullptr, 0));

  SetLastError(0xdeadbeef);
  EXPECT_EQ(memoryStore(CERT_STORE_DELETE_FLAG), nullptr);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_CALL_NOT_IMPLEMENTED));
  SetLastError(0xdeadbeef);
  EXPECT_EQ(CertOpenStore(nullptr, 0, 0, 0, nullptr), nullptr);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_FILE_NOT_FOUND));
}

TEST(MemoryStore, DuplicatesAreToldByTheHashProperty) {
  HCERTSTORE store = memoryStore();
  Bytes one = unsignedCertificate(1, "Issuer", "Subject");
  EXPECT_TRUE(add(store, one, CERT_STORE_ADD_NEW));
  SetLastError(0xdeadbeef);
  EXPECT_FALSE(add(store, one, CERT_STORE_ADD_NEW));
  EXPECT_EQ(GetLastError(), DWORD(CRYPT_E_EXISTS));
  // The same issuer and serial number is no duplicate.
  EXPECT_TRUE(add(store, unsignedCertificate(1, "Issuer", "Other"), CERT_STORE_ADD_NEW));

  BYTE hash[20];
  DWORD size = sizeof hash;
  PCCERT_CONTEXT member = CertEnumCertificatesInStore(store, nullptr);  // "Other", newest
  ASSERT_TRUE(CertGetCertificateContextProperty(member, CERT_HASH_PROP_ID, hash, &size));
  CertFreeCertificateContext(member);
  // Another certificate carrying that hash counts as the member.
  PCCERT_CONTEXT other = create(unsignedCertificate(9, "Another", "Another"));
  CRYPT_DATA_BLOB blob{size, hash};
  ASSERT_TRUE(CertSetCertificateContextProperty(other, CERT_HASH_PROP_ID, 0, &blob));
  SetLastError(0xdeadbeef);
  EXPECT_FALSE(CertAddCertificateContextToStore(store, other, CERT_STORE_ADD_NEW, nullptr));
  EXPECT_EQ(GetLastError(), DWORD(CRYPT_E_EXISTS));
  CertFreeCertificateContext(other);

  SetLastError(0xdeadbeef);
  EXPECT_FALSE(add(store, one, 0));  // no disposition
  EXPECT_EQ(GetLastError(), DWORD(E_INVALIDARG));
  CertCloseStore(store, 0);
}

TEST(NoStore, AddingGivesALoneContext) {
  Bytes der = unsignedCertificate(7, "Issuer", "Subject");
  PCCERT_CONTEXT made = nullptr;
  EXPECT_TRUE(add(nullptr, der, CERT_STORE_ADD_ALWAYS, &made));
  ASSERT_NE(made, nullptr);
  EXPECT_NE(made->hCertStore, nullptr);
  CertFreeCertificateContext(made);
  EXPECT_TRUE(add(nullptr, der, CERT_STORE_ADD_NEW));
  SetLastError(0xdeadbeef);
  EXPECT_FALSE(add(nullptr, der, 0));
  EXPECT_EQ(GetLastError(), DWORD(E_INVALIDARG));

  PCCERT_CONTEXT lone = create(der), out = nullptr;
  EXPECT_TRUE(CertAddCertificateContextToStore(nullptr, lone, CERT_STORE_ADD_ALWAYS, &out));
  EXPECT_EQ(out, lone);  // the same context, once more
  CertFreeCertificateContext(out);
  // A lone context's store: there, yet enumerating it finds nothing.
  ASSERT_NE(lone->hCertStore, nullptr);
  SetLastError(0xdeadbeef);
  EXPECT_EQ(CertEnumCertificatesInStore(lone->hCertStore, nullptr), nullptr);
  EXPECT_EQ(GetLastError(), DWORD(CRYPT_E_NOT_FOUND));
  EXPECT_TRUE(CertDeleteCertificateFromStore(CertDuplicateCertificateContext(lone)));
  EXPECT_EQ(serialOf(lone), 7);  // still held
  CertFreeCertificateContext(lone);
}

HCERTSTORE openSystem(DWORD flags, const void* name, LPCSTR provider = CERT_STORE_PROV_SYSTEM_A) {
  return CertOpenStore(provider, 0, 0, flags, name);
}

TEST(SystemStore, OpeningErrors) {
  struct {
    DWORD flags;
    const void* name;
  } cases[] = {
      {0, nullptr},
      {CERT_SYSTEM_STORE_CURRENT_USER, nullptr},
      {0, "My"},
      {CERT_SYSTEM_STORE_CURRENT_USER | CERT_SYSTEM_STORE_LOCAL_MACHINE, "My"},
  };
  for (const auto& c : cases) {
    SetLastError(0xdeadbeef);
    EXPECT_EQ(openSystem(c.flags, c.name), nullptr) << c.flags;
    EXPECT_EQ(GetLastError(), DWORD(ERROR_FILE_NOT_FOUND)) << c.flags;
  }
  const char* name = "CornersStore";
  HCERTSTORE made = openSystem(CERT_SYSTEM_STORE_CURRENT_USER, name);
  ASSERT_NE(made, nullptr);
  EXPECT_TRUE(add(made, unsignedCertificate(1, "I", "S"), CERT_STORE_ADD_NEW));
  CertCloseStore(made, 0);
  SetLastError(0xdeadbeef);
  EXPECT_EQ(openSystem(CERT_SYSTEM_STORE_CURRENT_USER | CERT_STORE_CREATE_NEW_FLAG, name), nullptr);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_FILE_EXISTS));

  // Deleting answers no store and a cleared last error; the store and its certificates
  // are gone.
  SetLastError(0xdeadbeef);
  EXPECT_EQ(openSystem(CERT_SYSTEM_STORE_CURRENT_USER | CERT_STORE_DELETE_FLAG, name), nullptr);
  EXPECT_EQ(GetLastError(), 0u);
  SetLastError(0xdeadbeef);
  EXPECT_EQ(openSystem(CERT_SYSTEM_STORE_CURRENT_USER | CERT_STORE_OPEN_EXISTING_FLAG, name),
            nullptr);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_FILE_NOT_FOUND));
  HKEY key;
  EXPECT_EQ(
      RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Microsoft\\SystemCertificates\\CornersStore", 0,
                    KEY_READ, &key),
      ERROR_FILE_NOT_FOUND);
  SetLastError(0xdeadbeef);
  EXPECT_EQ(openSystem(CERT_SYSTEM_STORE_CURRENT_USER | CERT_STORE_DELETE_FLAG, name), nullptr);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_FILE_NOT_FOUND));  // nothing left to delete
}

}  // namespace
