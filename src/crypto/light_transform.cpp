// lightCrypto_Manager: the transform. Every call starts the key stream afresh at
// the first key byte, so encryption and decryption are one XOR.
#include "crypto/light_crypto_manager.h"
#include "crypto/light_key_stream.h"
#include "trace/error_stack.h"
#include "trace/trace.h"
#include "win32/result_codes.h"

namespace {

// A transform refused before initialisation: its end line first, then 3215.
bool refuseUninitialised(LONG* error, const char* endLine) {
  writeCryptoTrace(endLine, TRACE_END);
  SetError(error, rc::kLightNotInitialised);
  return false;
}

}  // namespace

#include <new>

bool lightCrypto_Manager::BuildTempKey(LONG length, BYTE* out) {
  writeCryptoTrace("lightCrypto_Manager::BuildTempKey - start", TRACE_START);
  // A key of no bytes (only an empty stored key could give one) makes no stream.
  if (keyLength_ <= 0 && length > 0) {
    return cryptoTraceFail("lightCrypto_Manager::BuildTempKey - error (empty key)");
  }
  std::span<const BYTE> key(key_.get(), size_t(keyLength_));
  std::span<const BYTE> inverse(inverseKey_.get(), size_t(keyLength_));
  fillLightKeyStream(key, inverse, std::span(out, size_t(length)));
  writeCryptoTrace("lightCrypto_Manager::BuildTempKey - end", TRACE_END);
  return true;
}

bool lightCrypto_Manager::DataEncrypt(LONG* error, const BYTE* in, LONG length, BYTE* out) {
  writeCryptoTrace("lightCrypto_Manager::DataEncrypt - start", TRACE_START);
  if (!isInitialised())
    return refuseUninitialised(error, "lightCrypto_Manager::DataEncrypt - error (not initialised)");
  std::unique_ptr<BYTE[]> temp(new (std::nothrow) BYTE[size_t(length)]());
  if (!temp || !BuildTempKey(length, temp.get())) {
    return cryptoTraceFail("lightCrypto_Manager::DataEncrypt - error (unable to build temp key)");
  }
  for (LONG i = 0; i < length; ++i) out[i] = BYTE(in[i] ^ temp[i]);
  writeCryptoTrace("lightCrypto_Manager::DataEncrypt - end", TRACE_END);
  return true;
}

// The same XOR as DataEncrypt, with its own start, refusal and end lines around it.
bool lightCrypto_Manager::DataDecrypt(LONG* error, const BYTE* in, LONG length, BYTE* out) {
  writeCryptoTrace("lightCrypto_Manager::DataDecrypt - start", TRACE_START);
  if (!isInitialised())
    return refuseUninitialised(error, "lightCrypto_Manager::DataDecrypt - error (not initialised)");
  if (!DataEncrypt(error, in, length, out)) {
    return cryptoTraceFail("lightCrypto_Manager::DataDecrypt - error (unable to decrypt)");
  }
  writeCryptoTrace("lightCrypto_Manager::DataDecrypt - end", TRACE_END);
  return true;
}
