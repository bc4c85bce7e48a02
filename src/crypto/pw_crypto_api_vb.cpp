#include "crypto/pw_crypto_api_vb.h"

#include "crypto/byte_array.h"
#include "trace/error_stack.h"
#include "trace/trace.h"
#include "win32/result_codes.h"

#include <algorithm>
#include <new>

bool PwCryptoApiVB::PWpxyInit_ForcedKey(LONG* error) {
  writeCryptoTrace("PwCryptoApiVB::PWpxyInit_ForcedKey - Start", TRACE_START);
  if (!manager_) manager_ = std::make_unique<lightCrypto_Manager>();
  if (!manager_->CryptoInit(error, lightCrypto_Manager::kForceKey))
    return cryptoTraceFail("PwCryptoApiVB::PWpxyInit_ForcedKey - End (failed to Init crypto)");
  initialised_ = true;
  writeCryptoTrace("PwCryptoApiVB::PWpxyInit_ForcedKey - End", TRACE_END);
  return true;
}

bool PwCryptoApiVB::PWpxyDecrypt(VARIANT in, VARIANT* out, LONG* error) {
  writeCryptoTrace("PwCryptoApiVB::PWpxyDecrypt - Start", TRACE_START);
  if (!initialised_) {
    SetError(error, rc::kProxyNotInitialised);
    return cryptoTraceFail("PwCryptoApiVB::PWpxyDecrypt - End (PWCryptoApiVb not initialized)");
  }
  std::span<const BYTE> cipher = byteArrayData(in.parray);
  const LONG n = LONG(cipher.size());
  *error = 0;
  std::unique_ptr<BYTE[]> work(new (std::nothrow) BYTE[cipher.size()]());
  if (!work) {
    SetError(error, rc::kProxyNoMemory);
    return cryptoTraceFail("PwCryptoApiVB::PWpxyDecrypt - End (failed to allocate memory)");
  }
  if (!manager_->DataDecrypt(error, cipher.data(), n, work.get()))
    return cryptoTraceFail("PwCryptoApiVB::PWpxyDecrypt - End (Unable to Decrypt)");
  try {
    if (!storeByteArray(std::span(work.get(), cipher.size()), out)) {
      SetError(error, rc::kProxyNoOutputArray);
      return cryptoTraceFail("PwCryptoApiVB::PWpxyDecrypt - End (failed to create safe array)");
    }
  } catch (...) {
    SetError(error, rc::kProxyOutputFault);
    return cryptoTraceFail("PwCryptoApiVB::PWpxyDecrypt - End (catch)");
  }
  writeCryptoTrace("PwCryptoApiVB::PWpxyDecrypt - End", TRACE_END);
  return true;
}
