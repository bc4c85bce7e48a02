// PFXImportCertStore over OpenSSL's PKCS #12: a memory store with the file's
// certificates; the private key goes into a new container of the key set the flags name
// (the machine's with CRYPT_MACHINE_KEYSET, else the user's) as its exchange key, and the
// certificate that matches it carries CERT_KEY_PROV_INFO_PROP_ID naming that container.
// Nothing is created when the password is wrong or the data are no PFX.
#include <windows.h>

#include <wincrypt.h>

#include "advapi32/key_container.h"
#include "crypt32/cert_objects.h"
#include "machine/codepage.h"
#include "machine/guard.h"

#include <openssl/pkcs12.h>
#include <openssl/rand.h>
#include <openssl/x509.h>

#include <cstdio>

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
  unsigned char* der = nullptr;
  int n = i2d_X509(cert, &der);
  std::string out = n > 0 ? std::string(reinterpret_cast<char*>(der), size_t(n)) : std::string();
  OPENSSL_free(der);
  return out;
}

// Puts the key into a new container; the container's name, or empty on failure.
std::string importKey(EVP_PKEY* key, DWORD flags) {
  std::string blob = pw::crypt::blobFromPkey(key, true, CALG_RSA_KEYX);
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

struct Parsed {
  EVP_PKEY* key = nullptr;
  X509* cert = nullptr;
  STACK_OF(X509) * others = nullptr;
  ~Parsed() {
    EVP_PKEY_free(key);
    X509_free(cert);
    sk_X509_pop_free(others, X509_free);
  }
};

}  // namespace

HCERTSTORE WINAPI PFXImportCertStore(CRYPT_DATA_BLOB* pPFX, LPCWSTR szPassword, DWORD dwFlags) {
  return pw::guarded(HCERTSTORE(nullptr), ERROR_NOT_ENOUGH_MEMORY, [&]() -> HCERTSTORE {
    if (!pPFX || !pPFX->pbData) {
      SetLastError(DWORD(E_INVALIDARG));
      return nullptr;
    }
    const unsigned char* p = pPFX->pbData;
    PKCS12* p12 = d2i_PKCS12(nullptr, &p, long(pPFX->cbData));
    if (!p12) {
      SetLastError(DWORD(CRYPT_E_BAD_ENCODE));
      return nullptr;
    }
    // A missing or empty password is tried as the empty one and as none, as Windows does.
    std::string utf8 = szPassword ? pw::codepage::utf16ToUtf8(szPassword) : std::string();
    const char* password = utf8.c_str();
    bool verified = !PKCS12_mac_present(p12) || PKCS12_verify_mac(p12, password, -1);
    if (!verified && utf8.empty()) {
      password = nullptr;
      verified = PKCS12_verify_mac(p12, nullptr, 0);
    }
    Parsed parsed;
    bool ok = verified && PKCS12_parse(p12, password, &parsed.key, &parsed.cert, &parsed.others);
    PKCS12_free(p12);
    if (!ok) {
      SetLastError(verified ? DWORD(CRYPT_E_BAD_ENCODE) : DWORD(ERROR_INVALID_PASSWORD));
      return nullptr;
    }

    std::string container;
    if (parsed.key && parsed.cert) {
      container = importKey(parsed.key, dwFlags);
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
    if (parsed.cert) add(parsed.cert, !container.empty());
    for (int i = 0; parsed.others && i < sk_X509_num(parsed.others); ++i)
      add(sk_X509_value(parsed.others, i), false);
    SetLastError(ERROR_SUCCESS);
    return store.keep();
  });
}
