// CryptoAPI hashes over OpenSSL: MD5 and SHA-1 in every provider, SHA-256, SHA-384 and
// SHA-512 in the AES provider only, as Windows' providers offer them. Taking the value (or
// signing the hash) finishes it: the value can be read again, but no data may be added.
//
// The digests come from libcrypto's own MD5 and SHA-1 functions, as RC2's block does
// (crypt_cipher.cpp): through EVP, each run that hashes would first load and set up a
// provider, which costs more than the rest of a 'B' run.
#define OPENSSL_SUPPRESS_DEPRECATED
#include <windows.h>

#include <wincrypt.h>

#include "advapi32/crypt_objects.h"
#include "machine/faults.h"

#include "machine/ossl.h"

#include <openssl/md5.h>
#include <openssl/sha.h>

#include <cstring>

namespace pw::crypt {

struct DigestState {  // the running state of the hash's algorithm (Hash::alg)
  MD5_CTX md5{};
  SHA_CTX sha1{};
  SHA256_CTX sha256{};
  SHA512_CTX sha512{};  // SHA-384 too
};

void DigestStateFree::operator()(DigestState* d) const { delete d; }

}  // namespace pw::crypt

namespace {

using namespace pw::crypt;  // the provider's own names, in every CryptoAPI file

constexpr DWORD kUserData = 0x1;  // CRYPT_USERDATA: accepted and ignored

// The digest's size for a hash the provider offers, 0 for any other (keyed hashes,
// MAC and HMAC, are not offered).
DWORD digestSize(ALG_ID alg, DWORD providerType) {
  bool aes = providerType == PROV_RSA_AES;
  switch (alg) {
    case CALG_MD5:
      return MD5_DIGEST_LENGTH;
    case CALG_SHA1:
      return SHA_DIGEST_LENGTH;
    case CALG_SHA_256:
      return aes ? SHA256_DIGEST_LENGTH : 0;
    case CALG_SHA_384:
      return aes ? SHA384_DIGEST_LENGTH : 0;
    case CALG_SHA_512:
      return aes ? SHA512_DIGEST_LENGTH : 0;
    default:
      return 0;
  }
}

void start(Hash& hash) {
  DigestState& d = *hash.digest;
  switch (hash.alg) {
    case CALG_MD5:
      MD5_Init(&d.md5);
      break;
    case CALG_SHA_256:
      SHA256_Init(&d.sha256);
      break;
    case CALG_SHA_384:
      SHA384_Init(&d.sha512);
      break;
    case CALG_SHA_512:
      SHA512_Init(&d.sha512);
      break;
    default:
      SHA1_Init(&d.sha1);
  }
}

void update(Hash& hash, const BYTE* data, DWORD len) {
  DigestState& d = *hash.digest;
  switch (hash.alg) {
    case CALG_MD5:
      MD5_Update(&d.md5, data, len);
      break;
    case CALG_SHA_256:
      SHA256_Update(&d.sha256, data, len);
      break;
    case CALG_SHA_384:
      SHA384_Update(&d.sha512, data, len);
      break;
    case CALG_SHA_512:
      SHA512_Update(&d.sha512, data, len);
      break;
    default:
      SHA1_Update(&d.sha1, data, len);
  }
}

}  // namespace

namespace pw::crypt {

void finishHash(Hash& hash) {
  if (hash.finished) return;
  DigestState& d = *hash.digest;
  BYTE* out = hash.value.data();
  switch (hash.alg) {
    case CALG_MD5:
      MD5_Final(out, &d.md5);
      break;
    case CALG_SHA_256:
      SHA256_Final(out, &d.sha256);
      break;
    case CALG_SHA_384:
      SHA384_Final(out, &d.sha512);
      break;
    case CALG_SHA_512:
      SHA512_Final(out, &d.sha512);
      break;
    default:
      SHA1_Final(out, &d.sha1);
  }
  hash.finished = true;
}

}  // namespace pw::crypt

namespace pw::crypt {

bool hashPlaintext(HCRYPTHASH hHash, const BYTE* data, DWORD len) {
  Hash* hash = objectFor<Hash>(hHash);
  if (!hash) return fail(ERROR_INVALID_PARAMETER);
  if (hash->finished) return fail(NTE_BAD_HASH_STATE);
  update(*hash, data, len);
  return true;
}

}  // namespace pw::crypt

BOOL WINAPI CryptCreateHash(HCRYPTPROV hProv, ALG_ID Algid, HCRYPTKEY hKey, DWORD dwFlags,
                            HCRYPTHASH* phHash) {
  if (auto fault = pw::faults::injected(pw::faults::Point::CryptCreateHash)) return fail(*fault);
  return pw::guarded(FALSE, NTE_NO_MEMORY, [&]() -> BOOL {
    auto* provider = objectFor<pw::crypt::Provider>(hProv);
    if (!provider || !phHash) return fail(ERROR_INVALID_PARAMETER);
    if (dwFlags) return fail(NTE_BAD_FLAGS);
    DWORD size = digestSize(Algid, provider->type);
    if (!size) return fail(NTE_BAD_ALGID);

    auto hash = std::make_unique<Hash>();
    hash->provider = hProv;
    hash->alg = Algid;
    hash->size = size;
    hash->digest.reset(new DigestState{});
    start(*hash);
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
        pw::crypt::finishHash(*hash);
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
