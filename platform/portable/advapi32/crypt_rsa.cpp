// CryptoAPI RSA key pairs of the base provider: generation, import and export in the
// PUBLICKEYBLOB and PRIVATEKEYBLOB layouts. A pair made or imported in a named container
// is stored there under its key specification (exchange or signature) and outlives the
// context; in a verify context it lives as long as its handle. Public keys are never
// stored.
#include <windows.h>

#include <wincrypt.h>

#include "advapi32/crypt_objects.h"
#include "advapi32/key_container.h"
#include "machine/ossl.h"

#include <openssl/evp.h>
#include <openssl/rsa.h>

#include <cstring>

namespace {

using namespace pw::crypt;  // the provider's own names, in every CryptoAPI file

// The base provider's RSA key lengths, in bits.
constexpr DWORD kRsaDefaultBits = 512;  // the base provider's; the others' is 1024
constexpr DWORD kRsaStrongDefaultBits = 1024;
constexpr DWORD kRsaMinBits = 384;
constexpr DWORD kRsaMaxBits = 16384;

constexpr DWORD kPairPermissions =
    CRYPT_ENCRYPT | CRYPT_DECRYPT | CRYPT_READ | CRYPT_WRITE | CRYPT_MAC;

DWORD specOf(ALG_ID alg) { return alg == CALG_RSA_SIGN ? AT_SIGNATURE : AT_KEYEXCHANGE; }

DWORD permissionsFor(DWORD flags) {
  return kPairPermissions | ((flags & CRYPT_EXPORTABLE) ? CRYPT_EXPORT : 0);
}

// Keeps a new pair: in the provider's container unless it is a verify context, then as
// a key handle.
BOOL keepPair(HCRYPTPROV hProv, Provider& provider, std::string blob, ALG_ID alg, DWORD permissions,
              HCRYPTKEY* out) {
  if (!(provider.flags & CRYPT_VERIFYCONTEXT)) {
    pw::crypt::StoredPair pair{blob, permissions};
    if (LONG st = pw::crypt::writeKeyPair(provider.container, provider.flags, specOf(alg), pair))
      return fail(st == ERROR_FILE_NOT_FOUND ? DWORD(NTE_BAD_KEYSET) : DWORD(st));
  }
  return pw::crypt::addRsaKey(hProv, std::move(blob), alg, permissions, out);
}

// The bit length a key blob declares.
DWORD declaredBits(std::string_view blob) {
  RSAPUBKEY header;
  std::memcpy(&header, blob.data() + sizeof(BLOBHEADER), sizeof header);
  return header.bitlen;
}

pw::crypt::Pkey generate(DWORD bits) {
  pw::ossl::PkeyContext ctx(EVP_PKEY_CTX_new_from_name(nullptr, "RSA", nullptr));
  EVP_PKEY* key = nullptr;
  if (ctx && EVP_PKEY_keygen_init(ctx.get()) > 0 &&
      EVP_PKEY_CTX_set_rsa_keygen_bits(ctx.get(), int(bits)) > 0)
    EVP_PKEY_generate(ctx.get(), &key);
  return pw::crypt::Pkey(key);
}

}  // namespace

namespace pw::crypt {

BOOL addRsaKey(HCRYPTPROV provider, std::string blob, ALG_ID alg, DWORD permissions,
               HCRYPTKEY* out) {
  auto key = std::make_unique<Key>();
  key->provider = provider;
  if (auto* owner = objectFor<Provider>(provider)) key->personality = owner->personality;
  key->alg = alg;
  key->permissions = permissions;
  key->keyLen = declaredBits(blob) / 8;
  key->pair = std::move(blob);
  return handOut(std::move(key), out);
}

}  // namespace pw::crypt

BOOL WINAPI CryptGenKey(HCRYPTPROV hProv, ALG_ID Algid, DWORD dwFlags, HCRYPTKEY* phKey) {
  return pw::guarded(FALSE, NTE_NO_MEMORY, [&]() -> BOOL {
    Provider* provider = objectFor<Provider>(hProv);
    if (!provider || !phKey) return fail(ERROR_INVALID_PARAMETER);
    ALG_ID alg = Algid == AT_KEYEXCHANGE ? CALG_RSA_KEYX
                 : Algid == AT_SIGNATURE ? CALG_RSA_SIGN
                                         : Algid;
    if (alg != CALG_RSA_KEYX && alg != CALG_RSA_SIGN) return fail(NTE_BAD_ALGID);
    DWORD bits = dwFlags >> 16;
    if (!bits) bits = provider->base() ? kRsaDefaultBits : kRsaStrongDefaultBits;
    if (bits < kRsaMinBits || bits > kRsaMaxBits || bits % 8) return fail(NTE_BAD_DATA);

    pw::crypt::Pkey pair = generate(bits);
    std::string blob = pair ? pw::crypt::blobFromPkey(pair.get(), true, alg) : std::string();
    if (blob.empty()) return fail(NTE_FAIL);
    return keepPair(hProv, *provider, std::move(blob), alg, permissionsFor(dwFlags), phKey);
  });
}

BOOL WINAPI CryptImportKey(HCRYPTPROV hProv, const BYTE* pbData, DWORD dwDataLen, HCRYPTKEY hPubKey,
                           DWORD dwFlags, HCRYPTKEY* phKey) {
  return pw::guarded(FALSE, NTE_NO_MEMORY, [&]() -> BOOL {
    Provider* provider = objectFor<Provider>(hProv);
    if (!provider || !pbData || !phKey) return fail(ERROR_INVALID_PARAMETER);
    if (dwDataLen < sizeof(BLOBHEADER) + sizeof(RSAPUBKEY)) return fail(NTE_BAD_DATA);
    BLOBHEADER header;
    std::memcpy(&header, pbData, sizeof header);
    if (header.bVersion != CUR_BLOB_VERSION) return fail(NTE_BAD_VER);
    if (header.bType != PUBLICKEYBLOB && header.bType != PRIVATEKEYBLOB) return fail(NTE_BAD_TYPE);
    if (header.aiKeyAlg != CALG_RSA_KEYX && header.aiKeyAlg != CALG_RSA_SIGN)
      return fail(NTE_BAD_ALGID);
    if (hPubKey) return fail(NTE_BAD_KEY);  // encrypted private key blobs are not offered

    std::string_view given(reinterpret_cast<const char*>(pbData), dwDataLen);
    pw::crypt::Pkey pair = pw::crypt::pkeyFromBlob(given);
    if (!pair) return fail(NTE_BAD_DATA);
    bool isPrivate = header.bType == PRIVATEKEYBLOB;
    // Re-encoded, so that what is kept is exactly one sound blob, at the bit length the
    // blob declares: a modulus whose leading bits are clear keeps its width.
    std::string blob =
        pw::crypt::blobFromPkey(pair.get(), isPrivate, header.aiKeyAlg, declaredBits(given));
    if (blob.empty()) return fail(NTE_BAD_DATA);
    if (!isPrivate) {
      return pw::crypt::addRsaKey(hProv, std::move(blob), header.aiKeyAlg, kPairPermissions, phKey);
    }
    return keepPair(hProv, *provider, std::move(blob), header.aiKeyAlg, permissionsFor(dwFlags),
                    phKey);
  });
}

BOOL WINAPI CryptExportKey(HCRYPTKEY hKey, HCRYPTKEY hExpKey, DWORD dwBlobType, DWORD dwFlags,
                           BYTE* pbData, DWORD* pdwDataLen) {
  return pw::guarded(FALSE, NTE_NO_MEMORY, [&]() -> BOOL {
    // A blob type the provider does not make is refused before the flags are looked at.
    Key* key = outputTarget<Key>(hKey, pdwDataLen, 0);
    if (!key) return FALSE;
    bool isPrivate = dwBlobType == PRIVATEKEYBLOB;
    if (!isPrivate && dwBlobType != PUBLICKEYBLOB) return fail(NTE_BAD_TYPE);
    if (dwFlags) return fail(NTE_BAD_FLAGS);
    if (hExpKey) return fail(NTE_BAD_KEY);             // blobs are exported in the clear only
    if (key->pair.empty()) return fail(NTE_BAD_TYPE);  // a session key
    if (isPrivate && (!(key->permissions & CRYPT_EXPORT) || !pw::crypt::isPrivateBlob(key->pair)))
      return fail(NTE_BAD_KEY_STATE);

    std::string blob = key->pair;
    if (!isPrivate) {
      pw::crypt::Pkey pair = pw::crypt::pkeyFromBlob(key->pair);
      blob = pair ? pw::crypt::blobFromPkey(pair.get(), false, key->alg, key->keyLen * 8)
                  : std::string();
      if (blob.empty()) return fail(NTE_FAIL);
    }
    return pw::crypt::copyOut(pbData, pdwDataLen, blob.data(), DWORD(blob.size()));
  });
}
