// lightCrypto_Manager: initialisation by init type, key generation, the forced key
// and the inverse key.
#include "crypto/forced_key.h"
#include "crypto/light_crypto_manager.h"
#include "trace/error_stack.h"
#include "trace/trace.h"
#include "win32/result_codes.h"

#include <algorithm>

bool lightCrypto_Manager::CryptoInit(LONG* error, LONG initType) {
  writeCryptoTrace("lightCrypto_Manager::CryptoInit - start", TRACE_START);
  switch (initType) {
    case kLoadKey:
      if (!LoadKey(error)) {
        // A code means the store is there but unreadable; none means no key yet.
        if (*error != 0)
          return cryptoTraceFail("lightCrypto_Manager::CryptoInit - error (load failed)");
        if (!GenerateKey(error))
          return cryptoTraceFail(
              "lightCrypto_Manager::CryptoInit - error (unable to generate key)");
        if (!SaveKey(error)) {
          writeCryptoTrace(
              "lightCrypto_Manager::CryptoInit - error (unable to save key - not fatal)",
              TRACE_PLAIN);
          SetError(error, 0);
        }
      }
      break;
    case kGenerateKey:
      if (!GenerateKey(error))
        return cryptoTraceFail("lightCrypto_Manager::CryptoInit - error (unable to generate key)");
      break;
    case kForceKey:
      if (!ForceKey(error))
        return cryptoTraceFail("lightCrypto_Manager::CryptoInit - error (unable to force key)");
      break;
    default:
      SetError(error, rc::kLightUnknownInitType);
      return cryptoTraceFail("lightCrypto_Manager::CryptoInit - error (unknown init type)");
  }
  if (!CreateInvKey(error))
    return cryptoTraceFail("lightCrypto_Manager::CryptoInit - error (unable to create inv key)");
  setInitialised(true);
  writeCryptoTrace("lightCrypto_Manager::CryptoInit - end", TRACE_END);
  return true;
}

bool lightCrypto_Manager::ForceKey(LONG*) {
  writeCryptoTrace("lightCrypto_Manager::ForceKey - start", TRACE_START);
  key_.reset();
  key_ = std::make_unique<BYTE[]>(kForcedKeyLength);
  keyLength_ = kForcedKeyLength;
  std::ranges::copy(forcedKey(), key_.get());
  writeCryptoTrace("lightCrypto_Manager::ForceKey - end", TRACE_END);
  return true;
}

bool lightCrypto_Manager::GenerateKey(LONG* error) {
  writeCryptoTrace("lightCrypto_Manager::GenerateKey - start", TRACE_START);
  try {
    key_.reset();
    key_ = std::make_unique<BYTE[]>(kGeneratedKeyLength);
    keySource_ = ReadFileForKey(key_.get(), &keyLength_, kGeneratedKeyLength, &keyOffset_);
  } catch (...) {
    writeCryptoTrace("lightCrypto_Manager::GenerateKey - error (catch)", TRACE_END);
    SetError(error, rc::kLightGenerateFault);
    return false;
  }
  writeCryptoTrace("lightCrypto_Manager::GenerateKey - end", TRACE_END);
  return true;
}

bool lightCrypto_Manager::CreateInvKey(LONG*) {
  writeCryptoTrace("lightCrypto_Manager::CreateInvKey - start", TRACE_START);
  inverseKey_.reset();
  inverseKey_ = std::make_unique<BYTE[]>(size_t(keyLength_));
  for (LONG i = 0; i < keyLength_; ++i) inverseKey_[i] = key_[keyLength_ - 1 - i];
  writeCryptoTrace("lightCrypto_Manager::CreateInvKey - end", TRACE_END);
  return true;
}
