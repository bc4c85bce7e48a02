// RSA keys in CryptoAPI's blob layouts. A blob is the BLOBHEADER, the RSAPUBKEY (magic, bit
// length, public exponent) and the key's numbers little-endian, each at the width the
// declared bit length gives it: the modulus and the private exponent bits / 8 bytes, the
// primes, the CRT exponents and the coefficient bits / 16. A modulus whose leading bits are
// clear keeps the width the blob declared, as the providers keep it.
#include "advapi32/key_container.h"

#include "machine/ossl.h"

#include <openssl/core_names.h>

#include <cstring>

namespace pw::crypt {
namespace {

// The blob header (8 bytes) and RSAPUBKEY (12 bytes) that open every RSA key blob.
constexpr size_t kHeaderBytes = 20;
constexpr DWORD kPublicMagic = 0x31415352;   // "RSA1"
constexpr DWORD kPrivateMagic = 0x32415352;  // "RSA2"

using Bn = ossl::SecretBignum;

Bn param(EVP_PKEY* key, const char* name) {
  BIGNUM* n = nullptr;
  EVP_PKEY_get_bn_param(key, name, &n);
  return Bn(n);
}

// Appends `n` little-endian in `width` bytes; false when it does not fit.
bool append(std::string* out, const BIGNUM* n, DWORD width) {
  if (!n) return false;
  size_t at = out->size();
  out->resize(at + width);
  return BN_bn2lebinpad(n, reinterpret_cast<unsigned char*>(out->data() + at), int(width)) ==
         int(width);
}

}  // namespace

bool isPrivateBlob(std::string_view blob) {
  return blob.size() > kHeaderBytes && BYTE(blob[0]) == PRIVATEKEYBLOB;
}

Pkey pkeyFromBlob(std::string_view blob) {
  if (blob.size() <= kHeaderBytes) return nullptr;
  BYTE type = BYTE(blob[0]);
  if (type != PUBLICKEYBLOB && type != PRIVATEKEYBLOB) return nullptr;
  ALG_ID alg;
  std::memcpy(&alg, blob.data() + 4, sizeof alg);
  if (alg != CALG_RSA_KEYX && alg != CALG_RSA_SIGN) return nullptr;
  auto* p = reinterpret_cast<const unsigned char*>(blob.data());
  EVP_PKEY* key = type == PRIVATEKEYBLOB ? b2i_PrivateKey(&p, long(blob.size()))
                                         : b2i_PublicKey(&p, long(blob.size()));
  return Pkey(key);
}

std::string blobFromPkey(EVP_PKEY* key, bool withPrivate, ALG_ID alg, DWORD bits) {
  Bn n = param(key, OSSL_PKEY_PARAM_RSA_N), e = param(key, OSSL_PKEY_PARAM_RSA_E);
  if (!n || !e || BN_num_bits(e.get()) > 32) return {};
  if (!bits) bits = DWORD(BN_num_bits(n.get()));
  if (DWORD(BN_num_bits(n.get())) > bits) return {};
  DWORD full = (bits + 7) / 8, half = (bits + 15) / 16;

  BLOBHEADER header{BYTE(withPrivate ? PRIVATEKEYBLOB : PUBLICKEYBLOB), CUR_BLOB_VERSION, 0, alg};
  RSAPUBKEY pub{withPrivate ? kPrivateMagic : kPublicMagic, bits, DWORD(BN_get_word(e.get()))};
  std::string blob(reinterpret_cast<const char*>(&header), sizeof header);
  blob.append(reinterpret_cast<const char*>(&pub), sizeof pub);
  if (!append(&blob, n.get(), full)) return {};
  if (!withPrivate) return blob;
  for (const char* name :
       {OSSL_PKEY_PARAM_RSA_FACTOR1, OSSL_PKEY_PARAM_RSA_FACTOR2, OSSL_PKEY_PARAM_RSA_EXPONENT1,
        OSSL_PKEY_PARAM_RSA_EXPONENT2, OSSL_PKEY_PARAM_RSA_COEFFICIENT1})
    if (!append(&blob, param(key, name).get(), half)) return {};
  if (!append(&blob, param(key, OSSL_PKEY_PARAM_RSA_D).get(), full)) return {};
  return blob;
}

}  // namespace pw::crypt
