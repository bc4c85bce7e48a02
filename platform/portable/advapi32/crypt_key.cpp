// CryptoAPI session keys of the base provider: RC2 keys derived from a hash, their
// parameters, and their destruction. A derived key takes the first bytes of the hash
// value; a 40-bit key without CRYPT_NO_SALT carries 11 bytes of zero salt after them, and
// the block cipher is keyed with key and salt together at 40 effective bits. CBC with a
// zero IV and PKCS #5 padding are the defaults.
#include <windows.h>

#include <wincrypt.h>

#include "advapi32/crypt_objects.h"
#include "machine/faults.h"

#include <cstring>

namespace {

using namespace pw::crypt;  // the provider's own names, in every CryptoAPI file

constexpr DWORD kMaxEffectiveBits = 1024;

BOOL copyDword(BYTE* out, DWORD* outLen, DWORD value) {
  return copyOut(out, outLen, &value, sizeof value);
}

DWORD readDword(const BYTE* data) {
  DWORD v;
  std::memcpy(&v, data, sizeof v);
  return v;
}

bool isSessionKey(const Key& key) { return key.alg == CALG_RC2; }

}  // namespace

BOOL WINAPI CryptDeriveKey(HCRYPTPROV hProv, ALG_ID Algid, HCRYPTHASH hBaseData, DWORD dwFlags,
                           HCRYPTKEY* phKey) {
  if (auto fault = pw::faults::injected(pw::faults::Point::CryptDeriveKey)) return fail(*fault);
  return pw::guarded(FALSE, NTE_NO_MEMORY, [&]() -> BOOL {
    Hash* hash = objectFor<Hash>(hBaseData);
    auto* provider = objectFor<pw::crypt::Provider>(hProv);
    if (!provider || !hash || !phKey) return fail(ERROR_INVALID_PARAMETER);
    if (Algid != CALG_RC2) return fail(NTE_BAD_ALGID);

    DWORD bits = dwFlags >> 16;  // the key length in bits, 0 for the default
    DWORD largest = provider->base() ? pw::crypt::kRc2MaxBits : pw::crypt::kRc2StrongBits;
    if (!bits) bits = provider->base() ? pw::crypt::kRc2DefaultBits : pw::crypt::kRc2StrongBits;
    if (bits % 8 || bits < pw::crypt::kRc2DefaultBits || bits > largest) return fail(NTE_BAD_DATA);

    auto key = std::make_unique<Key>();
    key->provider = hProv;
    key->alg = Algid;
    key->personality = provider->personality;
    key->keyLen = bits / 8;
    key->permissions = CRYPT_ENCRYPT | CRYPT_DECRYPT | CRYPT_READ | CRYPT_WRITE | CRYPT_MAC;
    if (dwFlags & CRYPT_EXPORTABLE) key->permissions |= CRYPT_EXPORT;
    if ((dwFlags & CRYPT_CREATE_SALT) ||
        (bits == pw::crypt::kRc2DefaultBits && !(dwFlags & CRYPT_NO_SALT)))
      key->saltLen = pw::crypt::kSaltedKeyBytes - key->keyLen;
    // The enhanced provider makes no salt when asked to for a 40-bit key (a 40-bit key
    // it is not asked to salt still has its eleven zero bytes, as on the others).
    if ((dwFlags & CRYPT_CREATE_SALT) && bits == pw::crypt::kRc2DefaultBits &&
        provider->personality == pw::crypt::Personality::Enhanced)
      key->saltLen = 0;

    // Deriving takes the hash's value, which finishes the hash. A created salt is the
    // hash bytes that follow the key; otherwise the salt stays zero.
    BYTE value[64];
    DWORD valueLen = sizeof value;
    CryptGetHashParam(hBaseData, HP_HASHVAL, value, &valueLen, 0);
    DWORD take = key->keyLen + ((dwFlags & CRYPT_CREATE_SALT) ? key->saltLen : 0);
    std::memcpy(key->material.data(), value, take < valueLen ? take : valueLen);

    if (!pw::crypt::setupKey(*key)) return fail(NTE_FAIL);
    return pw::crypt::handOut(std::move(key), phKey);
  });
}

BOOL WINAPI CryptGetKeyParam(HCRYPTKEY hKey, DWORD dwParam, BYTE* pbData, DWORD* pdwDataLen,
                             DWORD dwFlags) {
  return pw::guarded(FALSE, NTE_NO_MEMORY, [&]() -> BOOL {
    Key* key = outputTarget<Key>(hKey, pdwDataLen, dwFlags);
    if (!key) return FALSE;
    bool session = isSessionKey(*key);
    if (dwParam == KP_SALT && !session) return fail(NTE_BAD_KEY);  // an RSA key has none
    switch (dwParam) {
      case KP_ALGID:
        return copyDword(pbData, pdwDataLen, key->alg);
      case KP_PERMISSIONS:
        return copyDword(pbData, pdwDataLen, key->permissions);
      case KP_KEYLEN:
        return copyDword(pbData, pdwDataLen, key->keyLen * 8);
      case KP_BLOCKLEN:
        return copyDword(pbData, pdwDataLen, session ? pw::crypt::kBlockBytes * 8 : 0);
      default:
        break;
    }
    if (!session) return fail(NTE_BAD_TYPE);
    switch (dwParam) {
      case KP_IV:
        return copyOut(pbData, pdwDataLen, key->iv.data(), pw::crypt::kBlockBytes);
      case KP_SALT:
        return copyOut(pbData, pdwDataLen, key->material.data() + key->keyLen, key->saltLen);
      case KP_PADDING:
        return copyDword(pbData, pdwDataLen, PKCS5_PADDING);
      case KP_MODE:
        return copyDword(pbData, pdwDataLen, key->mode);
      case KP_MODE_BITS:
        return copyDword(pbData, pdwDataLen, key->modeBits);
      case KP_EFFECTIVE_KEYLEN:
        return copyDword(pbData, pdwDataLen,
                         key->effectiveBits ? key->effectiveBits : key->keyLen * 8);
      default:
        return fail(NTE_BAD_TYPE);
    }
  });
}

BOOL WINAPI CryptSetKeyParam(HCRYPTKEY hKey, DWORD dwParam, const BYTE* pbData, DWORD dwFlags) {
  return pw::guarded(FALSE, NTE_NO_MEMORY, [&]() -> BOOL {
    Key* key = objectFor<Key>(hKey);
    if (!key || !pbData) return fail(ERROR_INVALID_PARAMETER);
    if (dwFlags) return fail(NTE_BAD_FLAGS);

    switch (dwParam) {
      case KP_PERMISSIONS: {
        // Export permission can be kept but never granted afterwards.
        DWORD perms = readDword(pbData);
        if ((perms & CRYPT_EXPORT) && !(key->permissions & CRYPT_EXPORT)) return fail(NTE_BAD_DATA);
        key->permissions = perms | (key->permissions & CRYPT_EXPORT);
        return TRUE;
      }
      default:
        break;
    }
    if (!isSessionKey(*key)) return fail(dwParam == KP_SALT ? NTE_BAD_KEY : NTE_BAD_TYPE);

    switch (dwParam) {
      case KP_PADDING:
        if (readDword(pbData) != PKCS5_PADDING) return fail(NTE_BAD_DATA);
        return TRUE;
      case KP_MODE:
        key->mode = readDword(pbData);  // modes other than CBC, ECB and CFB fail when used
        return TRUE;
      case KP_MODE_BITS:
        key->modeBits = readDword(pbData);
        return TRUE;
      case KP_IV:
        std::memcpy(key->iv.data(), pbData, pw::crypt::kBlockBytes);
        return pw::crypt::setupKey(*key) ? TRUE : fail(NTE_FAIL);
      case KP_SALT: {
        // Every provider takes eleven bytes of salt and keys the cipher with them. Only
        // the base and strong providers keep counting them: on the enhanced provider the
        // key reports no salt afterwards, and the next reset of the key (a Final call)
        // keys the cipher without it.
        std::memcpy(key->material.data() + key->keyLen, pbData, 11);
        key->saltLen = 11;
        bool ok = pw::crypt::setupKey(*key);
        if (key->personality == pw::crypt::Personality::Enhanced) key->saltLen = 0;
        return ok ? TRUE : fail(NTE_FAIL);
      }
      case KP_EFFECTIVE_KEYLEN: {
        DWORD bits = readDword(pbData);
        if (!bits || bits > kMaxEffectiveBits) return fail(NTE_BAD_DATA);
        // The base provider keeps its default and reports the attempt as an error.
        BOOL ok = TRUE;
        if (key->base() && bits != pw::crypt::kRc2DefaultBits) {
          bits = pw::crypt::kRc2DefaultBits;
          ok = FALSE;
        }
        key->effectiveBits = bits;
        if (!pw::crypt::setupKey(*key)) return fail(NTE_FAIL);
        return ok ? TRUE : fail(NTE_BAD_DATA);
      }
      default:
        return fail(NTE_BAD_TYPE);
    }
  });
}

BOOL WINAPI CryptDestroyKey(HCRYPTKEY hKey) {
  if (!objectFor<Key>(hKey)) return fail(ERROR_INVALID_PARAMETER);
  return pw::crypt::destroyObject(hKey);  // allocates nothing: no guard
}
