// PwCryptoApiVB_MSCrypto: decrypts byte arrays carried in VARIANTs with an RC2
// key that the CryptoAPI base provider derives from the MD5 digest of pass data.
// It mirrors PwCryptoApiVB (pw_crypto_api_vb.h) step for step, with trace texts and
// codes of its own; the two stay separate classes, each readable against its log.
#pragma once

#include <windows.h>

#include <oleauto.h>
#include <wincrypt.h>

#include "win32/crypt.h"

class PwCryptoApiVB_MSCrypto {
 public:
  PwCryptoApiVB_MSCrypto() = default;
  virtual ~PwCryptoApiVB_MSCrypto() = default;
  PwCryptoApiVB_MSCrypto(const PwCryptoApiVB_MSCrypto&) = delete;
  PwCryptoApiVB_MSCrypto& operator=(const PwCryptoApiVB_MSCrypto&) = delete;

  // Derives the key from `pass`; again on an initialised proxy, the provider stays
  // and the key is replaced.
  bool PWpxyInit(const BYTE* pass, LONG passLength, LONG* error);
  // On success `out` holds a new byte array with the plaintext, padding removed;
  // on failure it is not written.
  bool PWpxyDecrypt(VARIANT in, VARIANT* out, LONG* error);

 private:
  win32::CryptProvider provider_;
  win32::CryptKey key_;  // declared after the provider, so destroyed before it
  bool initialised_ = false;
};
