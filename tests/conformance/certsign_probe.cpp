// Conformance probe for crypt32's signing of certificates and requests: a key pair made
// by `openssl rsa -outform MSBLOB` exported as CERT_PUBLIC_KEY_INFO and imported back,
// CryptSignCertificate over fixed to-be-signed bytes, CryptSignAndEncodeCertificate of a
// certificate, the request as an enrolment component puts it together from pieces Wine 8
// can encode, and CryptVerifyCertificateSignature(Ex). PKCS #1 v1.5 signatures are
// deterministic, so each case prints its bytes; the outputs under Wine and the portable
// platform must be identical.
//
// Usage: certsign_probe PRIVATEKEYBLOB-HEX
#include <windows.h>

#include <wincrypt.h>

#include <cstdio>
#include <string>
#include <vector>

#include "probe_text.h"

namespace {

using namespace probe;  // hex, unhex, Bytes

const char* kContainer = "pw-certsign-probe";

Bytes encode(LPCSTR type, const void* info) {
  DWORD size = 0;
  if (!CryptEncodeObjectEx(X509_ASN_ENCODING, type, info, 0, nullptr, nullptr, &size)) return {};
  Bytes out(size);
  CryptEncodeObjectEx(X509_ASN_ENCODING, type, info, 0, nullptr, out.data(), &size);
  out.resize(size);
  return out;
}

// The public key info, in a buffer that keeps what its pointers point to.
Bytes exportKey(HCRYPTPROV prov) {
  DWORD size = 0;
  BOOL ok = CryptExportPublicKeyInfo(prov, AT_KEYEXCHANGE, X509_ASN_ENCODING, nullptr, &size);
  line("export public key info size", ok, "size=" + std::to_string(size));
  Bytes buffer(size);
  DWORD shortSize = size - 1;
  ok = CryptExportPublicKeyInfo(prov, AT_KEYEXCHANGE, X509_ASN_ENCODING,
                                reinterpret_cast<CERT_PUBLIC_KEY_INFO*>(buffer.data()), &shortSize);
  line("export public key info short", ok, "size=" + std::to_string(shortSize));
  ok = CryptExportPublicKeyInfo(prov, AT_KEYEXCHANGE, X509_ASN_ENCODING,
                                reinterpret_cast<CERT_PUBLIC_KEY_INFO*>(buffer.data()), &size);
  auto* info = reinterpret_cast<CERT_PUBLIC_KEY_INFO*>(buffer.data());
  line("export public key info", ok,
       ok ? std::string("oid=") + info->Algorithm.pszObjId + " parameters=" +
                hex(info->Algorithm.Parameters.pbData, info->Algorithm.Parameters.cbData) +
                " unused=" + std::to_string(info->PublicKey.cUnusedBits) +
                " key=" + hex(info->PublicKey.pbData, info->PublicKey.cbData)
          : "");
  ok = CryptExportPublicKeyInfoEx(prov, AT_KEYEXCHANGE, X509_ASN_ENCODING,
                                  const_cast<LPSTR>(szOID_RSA_RSA), 0, nullptr, nullptr, &size);
  line("export public key info ex rsa", ok, "size=" + std::to_string(size));
  DWORD none = 0;
  ok = CryptExportPublicKeyInfo(prov, AT_SIGNATURE, X509_ASN_ENCODING, nullptr, &none);
  line("export the missing signature pair", ok);
  return buffer;
}

void importBack(HCRYPTPROV verify, CERT_PUBLIC_KEY_INFO* info) {
  HCRYPTKEY key = 0;
  BOOL ok = CryptImportPublicKeyInfo(verify, X509_ASN_ENCODING, info, &key);
  Bytes blob(512);
  DWORD size = DWORD(blob.size());
  ok = ok && CryptExportKey(key, 0, PUBLICKEYBLOB, 0, blob.data(), &size);
  line("import public key info", ok, ok ? "blob=" + hex(blob.data(), size) : "");
  if (key) CryptDestroyKey(key);

  // The Ex form names the key's algorithm, which the blob then carries.
  key = 0;
  ok = CryptImportPublicKeyInfoEx(verify, X509_ASN_ENCODING, info, CALG_RSA_SIGN, 0, nullptr,
                                  &key);
  size = DWORD(blob.size());
  ok = ok && CryptExportKey(key, 0, PUBLICKEYBLOB, 0, blob.data(), &size);
  line("import public key info as a signature key", ok,
       ok ? "blob=" + hex(blob.data(), size) : "");
  if (key) CryptDestroyKey(key);
  CERT_PUBLIC_KEY_INFO other = *info;
  other.Algorithm.pszObjId = const_cast<LPSTR>("1.2.3.4");
  key = 0;
  ok = CryptImportPublicKeyInfoEx(verify, X509_ASN_ENCODING, &other, 0, 0, nullptr, &key);
  line("import public key info of another algorithm", ok);
  if (key) CryptDestroyKey(key);
}

void signBytes(HCRYPTPROV prov) {
  const BYTE tbs[] = {0x30, 0x03, 0x02, 0x01, 0x00};
  const char* oids[] = {szOID_RSA_SHA1RSA,        szOID_RSA_SHA256RSA, szOID_RSA_MD5RSA,
                        szOID_OIWSEC_sha1RSASign, szOID_OIWSEC_sha1,   "1.2.3.4"};
  for (const char* oid : oids) {
    CRYPT_ALGORITHM_IDENTIFIER algorithm{const_cast<LPSTR>(oid), {0, nullptr}};
    DWORD size = 0;
    BOOL ok = CryptSignCertificate(prov, AT_KEYEXCHANGE, X509_ASN_ENCODING, tbs, sizeof tbs,
                                   &algorithm, nullptr, nullptr, &size);
    Bytes signature(size);
    ok = ok && CryptSignCertificate(prov, AT_KEYEXCHANGE, X509_ASN_ENCODING, tbs, sizeof tbs,
                                    &algorithm, nullptr, signature.data(), &size);
    line(std::string("sign certificate ") + oid, ok, ok ? "signature=" + hex(signature) : "");
  }
  CRYPT_ALGORITHM_IDENTIFIER sha1{const_cast<LPSTR>(szOID_RSA_SHA1RSA), {0, nullptr}};
  Bytes signature(128);
  DWORD size = 16;
  BOOL ok = CryptSignCertificate(prov, AT_KEYEXCHANGE, X509_ASN_ENCODING, tbs, sizeof tbs, &sha1,
                                 nullptr, signature.data(), &size);
  line("sign certificate short buffer", ok, "size=" + std::to_string(size));
}

void verify(const std::string& name, const Bytes& der, CERT_PUBLIC_KEY_INFO* key) {
  BOOL ok =
      CryptVerifyCertificateSignature(0, X509_ASN_ENCODING, der.data(), DWORD(der.size()), key);
  line(name + " verified", ok);
  Bytes changed = der;
  changed[changed.size() - 1] ^= 1;  // the signature's last byte
  ok = CryptVerifyCertificateSignature(0, X509_ASN_ENCODING, changed.data(), DWORD(changed.size()),
                                       key);
  line(name + " changed", ok);
}

// A self-signed certificate, encoded and signed in one call.
void certificate(HCRYPTPROV prov, CERT_PUBLIC_KEY_INFO* key, const Bytes& name) {
  const BYTE serial[] = {0x2a};
  CERT_INFO cert{};
  cert.dwVersion = CERT_V3;
  cert.SerialNumber = {1, const_cast<BYTE*>(serial)};
  cert.SignatureAlgorithm = {const_cast<LPSTR>(szOID_RSA_SHA256RSA), {0, nullptr}};
  cert.Issuer = {DWORD(name.size()), const_cast<BYTE*>(name.data())};
  cert.Subject = cert.Issuer;
  unsigned long long from = 132223104000000000ull, to = 141690815990000000ull;  // 2020, 2049
  cert.NotBefore = {DWORD(from), DWORD(from >> 32)};
  cert.NotAfter = {DWORD(to), DWORD(to >> 32)};
  cert.SubjectPublicKeyInfo = *key;
  DWORD size = 0;
  BOOL ok =
      CryptSignAndEncodeCertificate(prov, AT_KEYEXCHANGE, X509_ASN_ENCODING, X509_CERT_TO_BE_SIGNED,
                                    &cert, &cert.SignatureAlgorithm, nullptr, nullptr, &size);
  line("sign and encode size", ok, "size=" + std::to_string(size));
  Bytes der(size);
  ok =
      CryptSignAndEncodeCertificate(prov, AT_KEYEXCHANGE, X509_ASN_ENCODING, X509_CERT_TO_BE_SIGNED,
                                    &cert, &cert.SignatureAlgorithm, nullptr, der.data(), &size);
  der.resize(ok ? size : 0);
  line("sign and encode certificate", ok, "der=" + hex(der));
  if (!ok) return;
  verify("certificate", der, key);
  PCCERT_CONTEXT context =
      CertCreateCertificateContext(X509_ASN_ENCODING, der.data(), DWORD(der.size()));
  ok = context && CryptVerifyCertificateSignatureEx(
                      0, X509_ASN_ENCODING, CRYPT_VERIFY_CERT_SIGN_SUBJECT_CERT,
                      const_cast<CERT_CONTEXT*>(context), CRYPT_VERIFY_CERT_SIGN_ISSUER_CERT,
                      const_cast<CERT_CONTEXT*>(context), 0, nullptr);
  line("certificate verified by itself", ok);
  if (context) CertFreeCertificateContext(context);
}

// The request as the enrolment components make it: version, name, key and the [0]
// attributes (a SET of PKCS_ATTRIBUTES retagged) in a SEQUENCE OF ANY, signed by
// CryptSignCertificate, wrapped as X509_CERT.
void request(HCRYPTPROV prov, CERT_PUBLIC_KEY_INFO* key, const Bytes& name) {
  int version = 0;
  Bytes versionDer = encode(X509_INTEGER, &version);
  Bytes keyDer = encode(X509_PUBLIC_KEY_INFO, key);
  const BYTE extensions[] = {0x30, 0x0d, 0x30, 0x0b, 0x06, 0x03, 0x55, 0x1d,
                             0x0f, 0x04, 0x04, 0x03, 0x02, 0x04, 0xf0};
  CRYPT_ATTR_BLOB value{sizeof extensions, const_cast<BYTE*>(extensions)};
  CRYPT_ATTRIBUTE attribute{const_cast<LPSTR>(szOID_RSA_certExtensions), 1, &value};
  CRYPT_ATTRIBUTES attributes{1, &attribute};
  Bytes attributesDer = encode(PKCS_ATTRIBUTES, &attributes);
  attributesDer[0] = 0xa0;
  CRYPT_DER_BLOB parts[] = {{DWORD(versionDer.size()), versionDer.data()},
                            {DWORD(name.size()), const_cast<BYTE*>(name.data())},
                            {DWORD(keyDer.size()), keyDer.data()},
                            {DWORD(attributesDer.size()), attributesDer.data()}};
  CRYPT_SEQUENCE_OF_ANY sequence{4, parts};
  Bytes tbs = encode(X509_SEQUENCE_OF_ANY, &sequence);
  line("request to be signed", !tbs.empty(), "der=" + hex(tbs));
  CRYPT_ALGORITHM_IDENTIFIER sha256{const_cast<LPSTR>(szOID_RSA_SHA256RSA), {0, nullptr}};
  Bytes signature(256);
  DWORD size = DWORD(signature.size());
  BOOL ok = CryptSignCertificate(prov, AT_KEYEXCHANGE, X509_ASN_ENCODING, tbs.data(),
                                 DWORD(tbs.size()), &sha256, nullptr, signature.data(), &size);
  CERT_SIGNED_CONTENT_INFO content{
      {DWORD(tbs.size()), tbs.data()}, sha256, {size, signature.data(), 0}};
  Bytes der = ok ? encode(X509_CERT, &content) : Bytes();
  line("request signed", ok, "der=" + hex(der));
  if (ok) verify("request", der, key);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return 2;
  Bytes blob = unhex(argv[1]);
  HCRYPTPROV prov = 0, verifier = 0;
  CryptAcquireContextA(&prov, kContainer, MS_ENH_RSA_AES_PROV_A, PROV_RSA_AES, CRYPT_DELETEKEYSET);
  BOOL ok =
      CryptAcquireContextA(&prov, kContainer, MS_ENH_RSA_AES_PROV_A, PROV_RSA_AES, CRYPT_NEWKEYSET);
  HCRYPTKEY pair = 0;
  ok = ok && CryptImportKey(prov, blob.data(), DWORD(blob.size()), 0, 0, &pair);
  line("key pair", ok);
  if (pair) CryptDestroyKey(pair);
  CryptAcquireContextA(&verifier, nullptr, MS_ENH_RSA_AES_PROV_A, PROV_RSA_AES,
                       CRYPT_VERIFYCONTEXT);

  Bytes keyBuffer = exportKey(prov);
  auto* key = reinterpret_cast<CERT_PUBLIC_KEY_INFO*>(keyBuffer.data());
  importBack(verifier, key);
  signBytes(prov);
  const BYTE name[] = {0x30, 0x0f, 0x31, 0x0d, 0x30, 0x0b, 0x06, 0x03, 0x55,
                       0x04, 0x03, 0x13, 0x04, 'H',  'W',  'I',  'D'};
  Bytes nameDer(name, name + sizeof name);
  certificate(prov, key, nameDer);
  request(prov, key, nameDer);

  CryptReleaseContext(verifier, 0);
  CryptReleaseContext(prov, 0);
  CryptAcquireContextA(&prov, kContainer, MS_ENH_RSA_AES_PROV_A, PROV_RSA_AES, CRYPT_DELETEKEYSET);
  return 0;
}
