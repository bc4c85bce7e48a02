// CryptEncrypt and CryptDecrypt for the base provider's block cipher. OpenSSL supplies
// the raw RC2 block; chaining, padding and the state kept between calls are done here,
// because the provider's rules for them are its own: the chain vector runs on across
// calls until a Final call (successful or not) returns the key to its IV, Final
// encryption always adds one to eight bytes of PKCS #5 padding, and Final decryption
// removes it after checking every padding byte. Decryption works in place, so after a
// padding failure the buffer holds the raw plaintext.
//
// The block comes from RC2's own functions in libcrypto, which OpenSSL 3 keeps (and
// maintains) beside its providers but marks deprecated: through EVP, RC2 lives only in
// the legacy provider, a separate module whose loading cost every 'B' run about 10 ms.
#define OPENSSL_SUPPRESS_DEPRECATED
#include <windows.h>

#include <wincrypt.h>

#include "advapi32/crypt_objects.h"
#include "machine/faults.h"

#include "machine/ossl.h"

#include <openssl/rc2.h>

#include <algorithm>
#include <new>

namespace pw::crypt {

void Rc2ScheduleFree::operator()(rc2_key_st* k) const { delete k; }

bool setupKey(Key& key) {
  key.chain = key.iv;
  int keyBytes = int(key.keyLen + key.saltLen);
  int effective = int(key.effectiveBits ? key.effectiveBits : key.keyLen * 8);
  if (!key.schedule) key.schedule.reset(new (std::nothrow) RC2_KEY);
  if (!key.schedule) return false;
  RC2_set_key(key.schedule.get(), keyBytes, key.material.data(), effective);
  return true;
}

}  // namespace pw::crypt

namespace {

using namespace pw::crypt;  // the provider's own names, in every CryptoAPI file

void cipherBlock(const Key& key, BYTE* block, int direction) {
  RC2_ecb_encrypt(block, block, key.schedule.get(), direction);
}

// CFB with 8 bits of feedback, the providers' only width: each byte is the data byte
// XORed with the first byte of the enciphered chain, which then moves on by the cipher
// byte. Data is still taken, and padded, in whole blocks.
void cfbBlock(Key& key, BYTE* block, bool encrypting) {
  for (DWORD i = 0; i < kBlockBytes; ++i) {
    BYTE stream[kBlockBytes];
    std::copy(key.chain.begin(), key.chain.end(), stream);
    cipherBlock(key, stream, RC2_ENCRYPT);
    BYTE cipher = encrypting ? BYTE(block[i] ^ stream[0]) : block[i];
    block[i] ^= stream[0];
    std::copy(key.chain.begin() + 1, key.chain.end(), key.chain.begin());
    key.chain[kBlockBytes - 1] = cipher;
  }
}

void encryptBlocks(Key& key, BYTE* data, DWORD len) {
  for (DWORD at = 0; at < len; at += kBlockBytes) {
    BYTE* block = data + at;
    if (key.mode == CRYPT_MODE_CFB) {
      cfbBlock(key, block, true);
      continue;
    }
    if (key.mode == CRYPT_MODE_CBC)
      for (DWORD i = 0; i < kBlockBytes; ++i) block[i] ^= key.chain[i];
    cipherBlock(key, block, RC2_ENCRYPT);
    if (key.mode == CRYPT_MODE_CBC) std::copy(block, block + kBlockBytes, key.chain.begin());
  }
}

void decryptBlocks(Key& key, BYTE* data, DWORD len) {
  for (DWORD at = 0; at < len; at += kBlockBytes) {
    BYTE* block = data + at;
    if (key.mode == CRYPT_MODE_CFB) {
      cfbBlock(key, block, false);
      continue;
    }
    BYTE cipherText[kBlockBytes];
    std::copy(block, block + kBlockBytes, cipherText);
    cipherBlock(key, block, RC2_DECRYPT);
    if (key.mode == CRYPT_MODE_CBC) {
      for (DWORD i = 0; i < kBlockBytes; ++i) block[i] ^= key.chain[i];
      std::copy(cipherText, cipherText + kBlockBytes, key.chain.begin());
    }
  }
}

// The key behind a handle, checked for a cipher it can run.
Key* cipherKey(HCRYPTKEY hKey) {
  Key* key = pw::crypt::objectFor<Key>(hKey);
  if (!key) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  if (key->alg != CALG_RC2) {
    SetLastError(NTE_BAD_KEY);
    return nullptr;
  }
  if (key->mode != CRYPT_MODE_CBC && key->mode != CRYPT_MODE_ECB && key->mode != CRYPT_MODE_CFB) {
    SetLastError(NTE_BAD_ALGID);
    return nullptr;
  }
  return key;
}

}  // namespace

BOOL WINAPI CryptEncrypt(HCRYPTKEY hKey, HCRYPTHASH hHash, BOOL Final, DWORD dwFlags, BYTE* pbData,
                         DWORD* pdwDataLen, DWORD dwBufLen) {
  return pw::guarded(FALSE, NTE_NO_MEMORY, [&]() -> BOOL {
    if (!pdwDataLen) return fail(ERROR_INVALID_PARAMETER);
    if (dwFlags) return fail(NTE_BAD_FLAGS);
    Key* key = cipherKey(hKey);
    if (!key) return FALSE;

    DWORD len = *pdwDataLen;
    if (!Final && len % kBlockBytes) return fail(NTE_BAD_DATA);
    DWORD total = (len / kBlockBytes + (Final ? 1 : 0)) * kBlockBytes;
    if (!pbData) {  // a question about the size
      *pdwDataLen = total;
      return TRUE;
    }
    if (total > dwBufLen) {
      *pdwDataLen = total;
      return fail(ERROR_MORE_DATA);
    }
    if (hHash && !pw::crypt::hashPlaintext(hHash, pbData, len)) return FALSE;

    for (DWORD i = len; i < total; ++i) pbData[i] = BYTE(total - len);
    encryptBlocks(*key, pbData, total);
    *pdwDataLen = total;
    if (Final && !pw::crypt::setupKey(*key)) return fail(NTE_FAIL);
    return TRUE;
  });
}

BOOL WINAPI CryptDecrypt(HCRYPTKEY hKey, HCRYPTHASH hHash, BOOL Final, DWORD dwFlags, BYTE* pbData,
                         DWORD* pdwDataLen) {
  if (auto fault = pw::faults::injected(pw::faults::Point::CryptDecrypt)) return fail(*fault);
  return pw::guarded(FALSE, NTE_NO_MEMORY, [&]() -> BOOL {
    if (!pbData || !pdwDataLen) return fail(ERROR_INVALID_PARAMETER);
    if (dwFlags) return fail(NTE_BAD_FLAGS);
    Key* key = cipherKey(hKey);
    if (!key) return FALSE;

    DWORD len = *pdwDataLen;
    if (Final && !len) return fail(NTE_BAD_LEN);
    if (len % kBlockBytes) {
      // Only whole blocks can be decrypted; the data is left as it is.
      if (Final) pw::crypt::setupKey(*key);
      return fail(NTE_BAD_DATA);
    }

    decryptBlocks(*key, pbData, len);
    if (Final) {
      BYTE pad = pbData[len - 1];
      bool padOk = pad && pad <= kBlockBytes && pad <= len;
      for (DWORD i = 1; padOk && i < pad; ++i) padOk = pbData[len - 1 - i] == pad;
      pw::crypt::setupKey(*key);
      if (!padOk) return fail(NTE_BAD_DATA);
      len -= pad;
    }
    *pdwDataLen = len;
    if (hHash && !pw::crypt::hashPlaintext(hHash, pbData, len)) return FALSE;
    if (pw::faults::overstated(pw::faults::Point::CryptDecrypt)) *pdwDataLen = ~DWORD(0);
    return TRUE;
  });
}
