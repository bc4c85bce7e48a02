// CryptSignHash and CryptVerifySignature: PKCS #1 v1.5 RSA signatures over a hash's
// value, with the hash's DigestInfo in front of it unless CRYPT_NOHASHOID. CryptoAPI
// keeps a signature as a little-endian number, so both calls reverse the bytes that
// OpenSSL makes and reads. Signing uses the key pair of the container of the context that
// made the hash, and finishes the hash.
#include <windows.h>

#include <wincrypt.h>

#include "advapi32/crypt_objects.h"
#include "advapi32/key_container.h"
#include "machine/ossl.h"

#include <openssl/rsa.h>

#include <algorithm>

namespace {

using namespace pw::crypt;  // the provider's own names, in every CryptoAPI file

constexpr DWORD kSignFlags = CRYPT_NOHASHOID;

const EVP_MD* digestOf(ALG_ID alg) {
  switch (alg) {
    case CALG_MD5:
      return EVP_md5();
    case CALG_SHA1:
      return EVP_sha1();
    case CALG_SHA_256:
      return EVP_sha256();
    case CALG_SHA_384:
      return EVP_sha384();
    case CALG_SHA_512:
      return EVP_sha512();
    default:
      return nullptr;
  }
}

// A context for one PKCS #1 v1.5 operation with `key`; null when OpenSSL refuses it.
pw::ossl::PkeyContext rsaContext(EVP_PKEY* key, const Hash& hash, DWORD flags, bool sign) {
  pw::ossl::PkeyContext ctx(EVP_PKEY_CTX_new(key, nullptr));
  if (!ctx || (sign ? EVP_PKEY_sign_init(ctx.get()) : EVP_PKEY_verify_init(ctx.get())) <= 0 ||
      EVP_PKEY_CTX_set_rsa_padding(ctx.get(), RSA_PKCS1_PADDING) <= 0)
    return nullptr;
  if (!(flags & CRYPT_NOHASHOID) &&
      EVP_PKEY_CTX_set_signature_md(ctx.get(), digestOf(hash.alg)) <= 0)
    return nullptr;
  return ctx;
}

BOOL signHash(HCRYPTHASH hHash, DWORD keySpec, DWORD flags, BYTE* signature, DWORD* size) {
  return pw::guarded(FALSE, NTE_NO_MEMORY, [&]() -> BOOL {
    Hash* hash = objectFor<Hash>(hHash);
    if (!hash || !size) return fail(ERROR_INVALID_PARAMETER);
    if (flags & ~kSignFlags) return fail(NTE_BAD_FLAGS);
    if (keySpec != AT_KEYEXCHANGE && keySpec != AT_SIGNATURE) return fail(NTE_BAD_KEY);
    // The hash dies with its context, so the context that made it is there.
    Provider* provider = objectFor<Provider>(hash->provider);
    StoredPair pair;
    if (!provider || (provider->flags & CRYPT_VERIFYCONTEXT) ||
        readKeyPair(provider->container, provider->flags, keySpec, &pair))
      return fail(NTE_NO_KEY);
    Pkey key = pkeyFromBlob(pair.blob);
    if (!key) return fail(NTE_BAD_KEYSET);
    DWORD length = DWORD(EVP_PKEY_get_size(key.get()));
    if (!signature) {
      *size = length;
      return TRUE;
    }
    if (*size < length) {
      *size = length;
      return fail(ERROR_MORE_DATA);
    }
    pw::crypt::finishHash(*hash);
    pw::ossl::PkeyContext ctx = rsaContext(key.get(), *hash, flags, true);
    size_t made = length;
    if (!ctx || EVP_PKEY_sign(ctx.get(), signature, &made, hash->value.data(), hash->size) <= 0)
      return fail(NTE_FAIL);
    std::reverse(signature, signature + made);
    *size = DWORD(made);
    return TRUE;
  });
}

BOOL verifySignature(HCRYPTHASH hHash, const BYTE* signature, DWORD length, HCRYPTKEY hPubKey,
                     DWORD flags) {
  return pw::guarded(FALSE, NTE_NO_MEMORY, [&]() -> BOOL {
    Hash* hash = objectFor<Hash>(hHash);
    Key* publicKey = objectFor<Key>(hPubKey);
    if (!hash || !publicKey || (length && !signature)) return fail(ERROR_INVALID_PARAMETER);
    if (flags & ~kSignFlags) return fail(NTE_BAD_FLAGS);
    if (publicKey->pair.empty()) return fail(NTE_BAD_KEY);  // a session key
    Pkey key = pkeyFromBlob(publicKey->pair);
    if (!key) return fail(NTE_BAD_KEY);
    if (length != DWORD(EVP_PKEY_get_size(key.get()))) return fail(NTE_BAD_SIGNATURE);
    std::string bigEndian(reinterpret_cast<const char*>(signature), length);
    std::reverse(bigEndian.begin(), bigEndian.end());
    pw::crypt::finishHash(*hash);
    pw::ossl::PkeyContext ctx = rsaContext(key.get(), *hash, flags, false);
    if (!ctx) return fail(NTE_FAIL);
    int verified = EVP_PKEY_verify(ctx.get(), reinterpret_cast<const BYTE*>(bigEndian.data()),
                                   bigEndian.size(), hash->value.data(), hash->size);
    return verified == 1 ? TRUE : fail(NTE_BAD_SIGNATURE);
  });
}

}  // namespace

// The description is no longer used, as Windows documents; both forms ignore it.
BOOL WINAPI CryptSignHashA(HCRYPTHASH hHash, DWORD dwKeySpec, LPCSTR, DWORD dwFlags,
                           BYTE* pbSignature, DWORD* pdwSigLen) {
  return signHash(hHash, dwKeySpec, dwFlags, pbSignature, pdwSigLen);
}

BOOL WINAPI CryptSignHashW(HCRYPTHASH hHash, DWORD dwKeySpec, LPCWSTR, DWORD dwFlags,
                           BYTE* pbSignature, DWORD* pdwSigLen) {
  return signHash(hHash, dwKeySpec, dwFlags, pbSignature, pdwSigLen);
}

BOOL WINAPI CryptVerifySignatureA(HCRYPTHASH hHash, const BYTE* pbSignature, DWORD dwSigLen,
                                  HCRYPTKEY hPubKey, LPCSTR, DWORD dwFlags) {
  return verifySignature(hHash, pbSignature, dwSigLen, hPubKey, dwFlags);
}

BOOL WINAPI CryptVerifySignatureW(HCRYPTHASH hHash, const BYTE* pbSignature, DWORD dwSigLen,
                                  HCRYPTKEY hPubKey, LPCWSTR, DWORD dwFlags) {
  return verifySignature(hHash, pbSignature, dwSigLen, hPubKey, dwFlags);
}
