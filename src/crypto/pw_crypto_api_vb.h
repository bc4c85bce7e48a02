// PwCryptoApiVB: decrypts byte arrays carried in VARIANTs with the light cipher,
// initialised with the forced key.
#pragma once

#include <windows.h>

#include <oleauto.h>

#include "crypto/light_crypto_manager.h"

#include <memory>

class PwCryptoApiVB {
 public:
  PwCryptoApiVB() = default;
  virtual ~PwCryptoApiVB() = default;
  PwCryptoApiVB(const PwCryptoApiVB&) = delete;
  PwCryptoApiVB& operator=(const PwCryptoApiVB&) = delete;

  bool PWpxyInit_ForcedKey(LONG* error);
  // On success `out` holds a new byte array as long as the input; on failure it
  // is not written.
  bool PWpxyDecrypt(VARIANT in, VARIANT* out, LONG* error);

 private:
  std::unique_ptr<lightCrypto_Manager> manager_;  // made on the first initialisation
  bool initialised_ = false;
};
