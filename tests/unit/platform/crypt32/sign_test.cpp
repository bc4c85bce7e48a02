// Signing a request where the certsign probe cannot compare with Wine 8, which has no
// encoder for X509_CERT_REQUEST_TO_BE_SIGNED: CryptSignAndEncodeCertificate of the request
// must give the very bytes of the route the probe compared (the pieces in a SEQUENCE OF
// ANY, CryptSignCertificate, X509_CERT), and verify.
#include <windows.h>

#include <wincrypt.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using Bytes = std::vector<BYTE>;

Bytes encode(LPCSTR type, const void* info) {
  DWORD size = 0;
  EXPECT_TRUE(CryptEncodeObjectEx(X509_ASN_ENCODING, type, info, 0, nullptr, nullptr, &size));
  Bytes out(size);
  EXPECT_TRUE(CryptEncodeObjectEx(X509_ASN_ENCODING, type, info, 0, nullptr, out.data(), &size));
  out.resize(size);
  return out;
}

class Signing : public ::testing::Test {
 protected:
  void SetUp() override {
    CryptAcquireContextA(&prov_, "pw-sign-test", MS_ENH_RSA_AES_PROV_A, PROV_RSA_AES,
                         CRYPT_DELETEKEYSET);
    ASSERT_TRUE(CryptAcquireContextA(&prov_, "pw-sign-test", MS_ENH_RSA_AES_PROV_A, PROV_RSA_AES,
                                     CRYPT_NEWKEYSET));
    HCRYPTKEY pair = 0;
    ASSERT_TRUE(CryptGenKey(prov_, AT_KEYEXCHANGE, 1024 << 16, &pair));
    CryptDestroyKey(pair);
    DWORD size = 0;
    ASSERT_TRUE(CryptExportPublicKeyInfo(prov_, AT_KEYEXCHANGE, X509_ASN_ENCODING, nullptr, &size));
    keyBuffer_.resize(size);
    ASSERT_TRUE(CryptExportPublicKeyInfo(prov_, AT_KEYEXCHANGE, X509_ASN_ENCODING, key(), &size));
  }
  void TearDown() override {
    CryptReleaseContext(prov_, 0);
    CryptAcquireContextA(&prov_, "pw-sign-test", MS_ENH_RSA_AES_PROV_A, PROV_RSA_AES,
                         CRYPT_DELETEKEYSET);
  }
  CERT_PUBLIC_KEY_INFO* key() { return reinterpret_cast<CERT_PUBLIC_KEY_INFO*>(keyBuffer_.data()); }

  HCRYPTPROV prov_ = 0;
  Bytes keyBuffer_;
};

TEST_F(Signing, ARequestSignedInOneCallIsTheOneSignedFromItsPieces) {
  BYTE name[] = {0x30, 0x0f, 0x31, 0x0d, 0x30, 0x0b, 0x06, 0x03, 0x55,
                 0x04, 0x03, 0x13, 0x04, 'H',  'W',  'I',  'D'};
  BYTE extensions[] = {0x30, 0x0d, 0x30, 0x0b, 0x06, 0x03, 0x55, 0x1d,
                       0x0f, 0x04, 0x04, 0x03, 0x02, 0x04, 0xf0};
  CRYPT_ATTR_BLOB value{sizeof extensions, extensions};
  CRYPT_ATTRIBUTE attribute{const_cast<LPSTR>(szOID_RSA_certExtensions), 1, &value};
  CRYPT_ALGORITHM_IDENTIFIER sha256{const_cast<LPSTR>(szOID_RSA_SHA256RSA), {0, nullptr}};

  CERT_REQUEST_INFO request{};
  request.Subject = {sizeof name, name};
  request.SubjectPublicKeyInfo = *key();
  request.cAttribute = 1;
  request.rgAttribute = &attribute;
  DWORD size = 0;
  ASSERT_TRUE(CryptSignAndEncodeCertificate(prov_, AT_KEYEXCHANGE, X509_ASN_ENCODING,
                                            X509_CERT_REQUEST_TO_BE_SIGNED, &request, &sha256,
                                            nullptr, nullptr, &size));
  Bytes oneCall(size);
  ASSERT_TRUE(CryptSignAndEncodeCertificate(prov_, AT_KEYEXCHANGE, X509_ASN_ENCODING,
                                            X509_CERT_REQUEST_TO_BE_SIGNED, &request, &sha256,
                                            nullptr, oneCall.data(), &size));
  EXPECT_EQ(size, oneCall.size());  // the size query gave the size

  int version = 0;
  Bytes versionDer = encode(X509_INTEGER, &version), keyDer = encode(X509_PUBLIC_KEY_INFO, key());
  CRYPT_ATTRIBUTES attributes{1, &attribute};
  Bytes attributesDer = encode(PKCS_ATTRIBUTES, &attributes);
  attributesDer[0] = 0xa0;
  CRYPT_DER_BLOB parts[] = {{DWORD(versionDer.size()), versionDer.data()},
                            {sizeof name, name},
                            {DWORD(keyDer.size()), keyDer.data()},
                            {DWORD(attributesDer.size()), attributesDer.data()}};
  CRYPT_SEQUENCE_OF_ANY sequence{4, parts};
  Bytes tbs = encode(X509_SEQUENCE_OF_ANY, &sequence);
  Bytes signature(128);
  DWORD signatureSize = DWORD(signature.size());
  ASSERT_TRUE(CryptSignCertificate(prov_, AT_KEYEXCHANGE, X509_ASN_ENCODING, tbs.data(),
                                   DWORD(tbs.size()), &sha256, nullptr, signature.data(),
                                   &signatureSize));
  CERT_SIGNED_CONTENT_INFO content{
      {DWORD(tbs.size()), tbs.data()}, sha256, {signatureSize, signature.data(), 0}};
  EXPECT_EQ(oneCall, encode(X509_CERT, &content));

  EXPECT_TRUE(CryptVerifyCertificateSignature(0, X509_ASN_ENCODING, oneCall.data(),
                                              DWORD(oneCall.size()), key()));
}

TEST_F(Signing, VerificationRefusesWhatItCannotCheck) {
  BYTE tbs[] = {0x30, 0x03, 0x02, 0x01, 0x00};
  CRYPT_ALGORITHM_IDENTIFIER hashOnly{const_cast<LPSTR>(szOID_OIWSEC_sha1), {0, nullptr}};
  BYTE value[20];
  CERT_SIGNED_CONTENT_INFO content{{sizeof tbs, tbs}, hashOnly, {20, value, 0}};
  Bytes der = encode(X509_CERT, &content);
  // A hash is no signature to verify.
  EXPECT_FALSE(
      CryptVerifyCertificateSignature(0, X509_ASN_ENCODING, der.data(), DWORD(der.size()), key()));
  EXPECT_EQ(GetLastError(), 0x80090008u);  // NTE_BAD_ALGID
  BYTE garbage[] = {0x04, 0x01, 0x00};
  EXPECT_FALSE(
      CryptVerifyCertificateSignature(0, X509_ASN_ENCODING, garbage, sizeof garbage, key()));
  CRYPT_DATA_BLOB blob{sizeof garbage, garbage};
  EXPECT_FALSE(CryptVerifyCertificateSignatureEx(
      0, X509_ASN_ENCODING, 7, &blob, CRYPT_VERIFY_CERT_SIGN_ISSUER_PUBKEY, key(), 0, nullptr));
  EXPECT_EQ(GetLastError(), 0x80070057u);  // E_INVALIDARG: no such subject type
}

}  // namespace
