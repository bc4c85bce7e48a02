// PFXImportCertStore over OpenSSL's PKCS #12: a memory store with the file's
// certificates; the private key goes into a new container of the key set the flags name
// (the machine's with CRYPT_MACHINE_KEYSET, else the user's) as its exchange key, and the
// certificate that matches it carries CERT_KEY_PROV_INFO_PROP_ID naming that container.
// Nothing is created when the password is wrong or the data are no PFX.
#include <windows.h>

#include <wincrypt.h>

#include "crypt32/cert_objects.h"
#include "machine/codepage.h"
#include "machine/guard.h"
#include "machine/ossl.h"

#include <openssl/rand.h>

#include <cstdio>
#include <cstring>

namespace {

std::string newContainerName() {
  unsigned char r[16];
  RAND_bytes(r, sizeof r);
  char name[40];
  std::snprintf(name, sizeof name,
                "{%02X%02X%02X%02X-%02X%02X-%02X%02X-%02X%02X-%02X%02X%02X%02X%02X%02X}", r[0],
                r[1], r[2], r[3], r[4], r[5], r[6], r[7], r[8], r[9], r[10], r[11], r[12], r[13],
                r[14], r[15]);
  return name;
}

std::string derOf(X509* cert) {
  pw::ossl::Bytes der;
  return der.take(i2d_X509(cert, der.out()));
}

// The key as the PRIVATEKEYBLOB of an exchange key pair; empty when it is no RSA key.
std::string exchangeKeyBlob(EVP_PKEY* key) {
  pw::ossl::Bio bio(BIO_new(BIO_s_mem()));
  char* data = nullptr;
  long length = 0;
  if (!bio || i2b_PrivateKey_bio(bio.get(), key) <= 0 ||
      (length = BIO_get_mem_data(bio.get(), &data)) < long(sizeof(BLOBHEADER)))
    return {};
  std::string blob(data, size_t(length));
  const ALG_ID exchange = CALG_RSA_KEYX;
  std::memcpy(blob.data() + offsetof(BLOBHEADER, aiKeyAlg), &exchange, sizeof exchange);
  return blob;
}

// Puts the key into a new container, through the provider as any program would; the
// container's name, or empty on failure.
std::string importKey(EVP_PKEY* key, DWORD flags) {
  std::string blob = exchangeKeyBlob(key);
  if (blob.empty()) return {};
  DWORD keySet = flags & CRYPT_MACHINE_KEYSET;
  std::string name = newContainerName();
  HCRYPTPROV prov = 0;
  if (!CryptAcquireContextA(&prov, name.c_str(), MS_ENHANCED_PROV_A, PROV_RSA_FULL,
                            keySet | CRYPT_NEWKEYSET))
    return {};
  HCRYPTKEY handle = 0;
  BOOL ok = CryptImportKey(prov, reinterpret_cast<const BYTE*>(blob.data()), DWORD(blob.size()), 0,
                           flags & CRYPT_EXPORTABLE, &handle);
  DWORD error = GetLastError();
  if (handle) CryptDestroyKey(handle);
  CryptReleaseContext(prov, 0);
  if (!ok) {
    CryptAcquireContextA(&prov, name.c_str(), MS_ENHANCED_PROV_A, PROV_RSA_FULL,
                         keySet | CRYPT_DELETEKEYSET);
    SetLastError(error);
    return {};
  }
  return name;
}

}  // namespace

HCERTSTORE WINAPI PFXImportCertStore(CRYPT_DATA_BLOB* pPFX, LPCWSTR szPassword, DWORD dwFlags) {
  return pw::guarded(HCERTSTORE(nullptr), ERROR_NOT_ENOUGH_MEMORY, [&]() -> HCERTSTORE {
    if (!pPFX || !pPFX->pbData) {
      SetLastError(DWORD(E_INVALIDARG));
      return nullptr;
    }
    const unsigned char* p = pPFX->pbData;
    pw::ossl::Pkcs12 p12(d2i_PKCS12(nullptr, &p, long(pPFX->cbData)));
    if (!p12) {
      SetLastError(DWORD(CRYPT_E_BAD_ENCODE));
      return nullptr;
    }
    // A missing or empty password is tried as the empty one and as none, as Windows does.
    std::string utf8 = szPassword ? pw::codepage::utf16ToUtf8(szPassword) : std::string();
    const char* password = utf8.c_str();
    bool verified = !PKCS12_mac_present(p12.get()) || PKCS12_verify_mac(p12.get(), password, -1);
    if (!verified && utf8.empty()) {
      password = nullptr;
      verified = PKCS12_verify_mac(p12.get(), nullptr, 0);
    }
    EVP_PKEY* parsedKey = nullptr;
    X509* parsedCert = nullptr;
    STACK_OF(X509)* parsedOthers = nullptr;
    bool ok = verified && PKCS12_parse(p12.get(), password, &parsedKey, &parsedCert, &parsedOthers);
    pw::ossl::Pkey key(parsedKey);
    pw::ossl::Certificate cert(parsedCert);
    pw::ossl::Certificates others(parsedOthers);
    if (!ok) {
      SetLastError(verified ? DWORD(CRYPT_E_BAD_ENCODE) : DWORD(ERROR_INVALID_PASSWORD));
      return nullptr;
    }

    std::string container;
    if (key && cert) {
      container = importKey(key.get(), dwFlags);
      if (container.empty()) return nullptr;
    }
    pw::cert::NewStore store;
    auto add = [&](X509* x, bool withKey) {
      std::string der = derOf(x);
      auto context =
          pw::cert::decodeCertificate(reinterpret_cast<const BYTE*>(der.data()), DWORD(der.size()));
      if (!context) return;
      if (withKey) {
        std::u16string wideName = pw::codepage::ansiToWide(container);
        std::u16string provider = MS_ENHANCED_PROV_W;
        CRYPT_KEY_PROV_INFO info{
            wideName.data(), provider.data(), PROV_RSA_FULL, dwFlags & CRYPT_MACHINE_KEYSET, 0,
            nullptr,         AT_KEYEXCHANGE};
        context->props[CERT_KEY_PROV_INFO_PROP_ID] = pw::cert::storedKeyProvInfo(info);
      }
      pw::cert::addMember(*store, std::move(context));
    };
    if (cert) add(cert.get(), !container.empty());
    for (int i = 0; others && i < sk_X509_num(others.get()); ++i)
      add(sk_X509_value(others.get(), i), false);
    SetLastError(ERROR_SUCCESS);
    return store.keep();
  });
}
