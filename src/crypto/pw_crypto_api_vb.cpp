#include "crypto/pw_crypto_api_vb.h"

#include "crypto/byte_array.h"
#include "trace/error_stack.h"
#include "trace/trace.h"

#include <algorithm>
#include <new>

namespace {

constexpr LONG kNotInitialised = 3501;
constexpr LONG kNoMemory = 3504;
constexpr LONG kNoOutputArray = 3511;
constexpr LONG kOutputFault = 3513;

bool fail(const char* line) {
  writeCryptoTrace(line, TRACE_END);
  return false;
}

}  // namespace

bool PwCryptoApiVB::PWpxyInit_ForcedKey(LONG* error) {
  writeCryptoTrace("PwCryptoApiVB::PWpxyInit_ForcedKey - Start", TRACE_START);
  if (!manager_) manager_ = std::make_unique<lightCrypto_Manager>();
  if (!manager_->CryptoInit(error, lightCrypto_Manager::kForceKey))
    return fail("PwCryptoApiVB::PWpxyInit_ForcedKey - End (failed to Init crypto)");
  initialised_ = true;
  writeCryptoTrace("PwCryptoApiVB::PWpxyInit_ForcedKey - End", TRACE_END);
  return true;
}

bool PwCryptoApiVB::PWpxyDecrypt(VARIANT in, VARIANT* out, LONG* error) {
  writeCryptoTrace("PwCryptoApiVB::PWpxyDecrypt - Start", TRACE_START);
  if (!initialised_) {
    SetError(error, kNotInitialised);
    return fail("PwCryptoApiVB::PWpxyDecrypt - End (PWCryptoApiVb not initialized)");
  }
  std::span<const BYTE> cipher = byteArrayData(in.parray);
  const LONG n = LONG(cipher.size());
  *error = 0;
  std::unique_ptr<BYTE[]> work(new (std::nothrow) BYTE[cipher.size()]());
  if (!work) {
    SetError(error, kNoMemory);
    return fail("PwCryptoApiVB::PWpxyDecrypt - End (failed to allocate memory)");
  }
  if (!manager_->DataDecrypt(error, cipher.data(), n, work.get()))
    return fail("PwCryptoApiVB::PWpxyDecrypt - End (Unable to Decrypt)");
  try {
    if (!storeByteArray(std::span(work.get(), cipher.size()), out)) {
      SetError(error, kNoOutputArray);
      return fail("PwCryptoApiVB::PWpxyDecrypt - End (failed to create safe array)");
    }
  } catch (...) {
    work.reset();
    SetError(error, kOutputFault);
    return fail("PwCryptoApiVB::PWpxyDecrypt - End (catch)");
  }
  work.reset();
  writeCryptoTrace("PwCryptoApiVB::PWpxyDecrypt - End", TRACE_END);
  return true;
}
