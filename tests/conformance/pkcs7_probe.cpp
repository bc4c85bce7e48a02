// Conformance probe for the PKCS #7 store (CERT_STORE_PROV_PKCS7): the certificates of a
// degenerate SignedData made by `openssl crl2pkcs7` (an issued certificate and its
// authority), as an enrolment component reads an authority's answer, and what is no such
// message. The outputs under Wine and the portable platform must be identical.
//
// Usage: pkcs7_probe ANSWER.p7b CERTIFICATE.der
#include <windows.h>

#include <wincrypt.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <set>
#include <string>

#include "probe_text.h"

namespace {

using probe::Bytes;
using probe::hex;

Bytes readFile(const char* path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Opens the bytes as a PKCS #7 store and lists its certificates.
void open(const std::string& name, const Bytes& bytes, DWORD encoding, const void* para = nullptr) {
  CRYPT_DATA_BLOB blob{DWORD(bytes.size()), const_cast<BYTE*>(bytes.data())};
  HCERTSTORE store = CertOpenStore(CERT_STORE_PROV_PKCS7, encoding, 0, 0, para ? para : &blob);
  if (!store) {
    std::printf("%s: store=0 err=%08x\n", name.c_str(), unsigned(GetLastError()));
    return;
  }
  // Listed in the order of their thumbprints: the order a memory store enumerates in is
  // the memory store's business, not the message's.
  std::set<std::string> list;
  for (PCCERT_CONTEXT c = nullptr; (c = CertEnumCertificatesInStore(store, c)) != nullptr;) {
    char subject[128];
    CertNameToStrA(X509_ASN_ENCODING, &c->pCertInfo->Subject, CERT_X500_NAME_STR, subject,
                   sizeof subject);
    BYTE hash[20];
    DWORD size = sizeof hash;
    CertGetCertificateContextProperty(c, CERT_SHA1_HASH_PROP_ID, hash, &size);
    list.insert(hex(hash, size) + " " + subject);
  }
  std::string text;
  for (const std::string& entry : list) text += " [" + entry + "]";
  std::printf("%s: store=1 count=%d%s\n", name.c_str(), int(list.size()), text.c_str());
  CertCloseStore(store, 0);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) return 2;
  Bytes answer = readFile(argv[1]), certificate = readFile(argv[2]);
  const DWORD both = X509_ASN_ENCODING | PKCS_7_ASN_ENCODING;
  open("pkcs7 answer", answer, both);
  open("pkcs7 answer, message encoding only", answer, PKCS_7_ASN_ENCODING);
  open("pkcs7 answer, certificate encoding only", answer, X509_ASN_ENCODING);
  open("a bare certificate", certificate, both);
  Bytes truncated(answer.begin(), answer.begin() + answer.size() / 2);
  open("a truncated answer", truncated, both);
  open("garbage", Bytes{0x01, 0x02, 0x03}, both);
  // A SignedData that carries no certificate, and a message of another content type.
  open("no certificates",
       Bytes{0x30, 0x23, 0x06, 0x09, 0x2a, 0x86, 0x48, 0x86, 0xf7, 0x0d, 0x01, 0x07, 0x02,
             0xa0, 0x16, 0x30, 0x14, 0x02, 0x01, 0x01, 0x31, 0x00, 0x30, 0x0b, 0x06, 0x09,
             0x2a, 0x86, 0x48, 0x86, 0xf7, 0x0d, 0x01, 0x07, 0x01, 0x31, 0x00},
       both);
  open("a data message", Bytes{0x30, 0x13, 0x06, 0x09, 0x2a, 0x86, 0x48, 0x86, 0xf7, 0x0d, 0x01,
                               0x07, 0x01, 0xa0, 0x06, 0x04, 0x04, 0x01, 0x02, 0x03, 0x04},
       both);
  open("nothing", Bytes(), both);

  // The way an enrolment component reads an answer handed over as base64 text.
  DWORD chars = 0;
  CryptBinaryToStringA(answer.data(), DWORD(answer.size()), CRYPT_STRING_BASE64, nullptr, &chars);
  std::string text(chars, '\0');
  CryptBinaryToStringA(answer.data(), DWORD(answer.size()), CRYPT_STRING_BASE64, text.data(),
                       &chars);
  DWORD size = 0;
  CryptStringToBinaryA(text.c_str(), chars, CRYPT_STRING_BASE64, nullptr, &size, nullptr, nullptr);
  Bytes back(size);
  CryptStringToBinaryA(text.c_str(), chars, CRYPT_STRING_BASE64, back.data(), &size, nullptr,
                       nullptr);
  open("pkcs7 answer from its base64", back, both);
  return 0;
}
