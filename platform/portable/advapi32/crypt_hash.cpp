// CryptoAPI hashes (MD5 and SHA-1, as the base provider offers them) over OpenSSL.
// Taking the value finishes a hash: it can be read again, but no data may be added.
#include <windows.h>

#include <wincrypt.h>

#include "advapi32/crypt_objects.h"
#include "machine/faults.h"

#include <openssl/evp.h>

#include <cstring>

namespace {

using namespace pw::crypt;  // the provider's own names, in every CryptoAPI file

constexpr DWORD kUserData = 0x1;  // CRYPT_USERDATA: accepted and ignored

void finish(Hash& hash) {
  if (hash.finished) return;
  unsigned int size = 0;
  EVP_DigestFinal_ex(hash.ctx.get(), hash.value.data(), &size);
  hash.finished = true;
}

}  // namespace

namespace pw::crypt {

bool hashPlaintext(HCRYPTHASH hHash, const BYTE* data, DWORD len) {
  Hash* hash = objectFor<Hash>(hHash);
  if (!hash) return fail(ERROR_INVALID_PARAMETER);
  if (hash->finished) return fail(NTE_BAD_HASH_STATE);
  EVP_DigestUpdate(hash->ctx.get(), data, len);
  return true;
}

}  // namespace pw::crypt

BOOL WINAPI CryptCreateHash(HCRYPTPROV hProv, ALG_ID Algid, HCRYPTKEY hKey, DWORD dwFlags,
                            HCRYPTHASH* phHash) {
  if (auto fault = pw::faults::injected(pw::faults::Point::CryptCreateHash)) return fail(*fault);
  return pw::guarded(FALSE, NTE_NO_MEMORY, [&]() -> BOOL {
    if (!objectFor<pw::crypt::Provider>(hProv) || !phHash) return fail(ERROR_INVALID_PARAMETER);
    if (dwFlags) return fail(NTE_BAD_FLAGS);
    const EVP_MD* md = pw::crypt::digestFor(Algid);
    if (!md) return fail(NTE_BAD_ALGID);  // keyed hashes (MAC, HMAC) are not offered

    auto hash = std::make_unique<Hash>();
    hash->alg = Algid;
    hash->size = DWORD(EVP_MD_get_size(md));
    hash->ctx.reset(EVP_MD_CTX_new());
    if (!hash->ctx || !EVP_DigestInit_ex2(hash->ctx.get(), md, nullptr)) return fail(NTE_NO_MEMORY);
    return pw::crypt::handOut(std::move(hash), phHash);
  });
}

BOOL WINAPI CryptHashData(HCRYPTHASH hHash, const BYTE* pbData, DWORD dwDataLen, DWORD dwFlags) {
  if (auto fault = pw::faults::injected(pw::faults::Point::CryptHashData)) return fail(*fault);
  return pw::guarded(FALSE, NTE_NO_MEMORY, [&]() -> BOOL {
    if (!objectFor<Hash>(hHash)) return fail(ERROR_INVALID_PARAMETER);
    if (dwFlags & ~kUserData) return fail(NTE_BAD_FLAGS);
    if (!pbData && dwDataLen) return fail(ERROR_INVALID_PARAMETER);
    return pw::crypt::hashPlaintext(hHash, pbData, dwDataLen);
  });
}

BOOL WINAPI CryptGetHashParam(HCRYPTHASH hHash, DWORD dwParam, BYTE* pbData, DWORD* pdwDataLen,
                              DWORD dwFlags) {
  return pw::guarded(FALSE, NTE_NO_MEMORY, [&]() -> BOOL {
    Hash* hash = outputTarget<Hash>(hHash, pdwDataLen, dwFlags);
    if (!hash) return FALSE;
    switch (dwParam) {
      case HP_ALGID:
        return copyOut(pbData, pdwDataLen, &hash->alg, sizeof(ALG_ID));
      case HP_HASHSIZE:
        return copyOut(pbData, pdwDataLen, &hash->size, sizeof(DWORD));
      case HP_HASHVAL:
        finish(*hash);
        return copyOut(pbData, pdwDataLen, hash->value.data(), hash->size);
      default:
        return fail(NTE_BAD_TYPE);
    }
  });
}

BOOL WINAPI CryptDestroyHash(HCRYPTHASH hHash) {
  if (!objectFor<Hash>(hHash)) return fail(ERROR_INVALID_PARAMETER);
  return pw::crypt::destroyObject(hHash);  // allocates nothing: no guard
}
