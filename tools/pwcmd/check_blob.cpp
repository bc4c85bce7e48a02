#include "check_blob.h"

#include <wincrypt.h>

#include "crypto/forced_key.h"
#include "crypto/light_key_stream.h"
#include "win32/crypt.h"

#include <cstdio>

namespace {

constexpr const char* kBaseProvider = "Microsoft Base Cryptographic Provider v1.0";
constexpr DWORD kRc2Block = 8;

std::string describe(const char* call) {
  char text[96];
  std::snprintf(text, sizeof text, "%s failed (error 0x%08X)", call, unsigned(GetLastError()));
  return text;
}

}  // namespace

bool rc2CheckBlob(std::span<const BYTE> data, std::vector<BYTE>* blob, std::string* failure) {
  win32::CryptProvider provider;
  if (!CryptAcquireContextA(provider.out(), nullptr, kBaseProvider, PROV_RSA_FULL,
                            CRYPT_VERIFYCONTEXT)) {
    *failure = describe("CryptAcquireContextA");
    return false;
  }
  win32::CryptHash hash;
  if (!CryptCreateHash(provider.get(), CALG_MD5, 0, 0, hash.out())) {
    *failure = describe("CryptCreateHash");
    return false;
  }
  if (!CryptHashData(hash.get(), forcedKey().data(), DWORD(forcedKey().size()), 0)) {
    *failure = describe("CryptHashData");
    return false;
  }
  win32::CryptKey key;
  if (!CryptDeriveKey(provider.get(), CALG_RC2, hash.get(), CRYPT_NO_SALT, key.out())) {
    *failure = describe("CryptDeriveKey");
    return false;
  }
  // Final padding adds one to eight bytes.
  blob->assign(data.begin(), data.end());
  blob->resize(data.size() + kRc2Block);
  DWORD length = DWORD(data.size());
  if (!CryptEncrypt(key.get(), 0, TRUE, 0, blob->data(), &length, DWORD(blob->size()))) {
    *failure = describe("CryptEncrypt");
    return false;
  }
  blob->resize(length);
  return true;
}

std::vector<BYTE> lightCheckBlob(std::span<const BYTE> data) {
  return lightTransform(forcedKey(), data);
}
