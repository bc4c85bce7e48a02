#include "crypto/pw_crypto_api_vb_mscrypto.h"

#include "crypto/byte_array.h"
#include "trace/error_stack.h"
#include "trace/trace.h"
#include "win32/result_codes.h"

#include <algorithm>
#include <memory>
#include <new>

namespace {

constexpr const char* kBaseProvider = "Microsoft Base Cryptographic Provider v1.0";

}  // namespace

bool PwCryptoApiVB_MSCrypto::PWpxyInit(const BYTE* pass, LONG passLength, LONG* error) {
  writeCryptoTrace("PwCryptoApiVB_MSCrypto::PWpxyInit - Start", TRACE_START);
  *error = 0;
  if (!initialised_) {
    // A provider kept from an earlier attempt that failed later on is not leaked.
    if (!CryptAcquireContextA(provider_.out(), nullptr, kBaseProvider, PROV_RSA_FULL,
                              CRYPT_VERIFYCONTEXT)) {
      DWORD code = GetLastError();
      provider_.release();  // a failed call leaves nothing to release
      if (code != DWORD(NTE_BAD_KEYSET)) {
        traceCryptoError(code, "PWpxyInit");
        writeCryptoTrace("_MSCryptoPwCryptoApiVB::PWpxyInit - End (failed to acquire context)",
                         TRACE_END);
        SetError(error, rc::kProxyNoContext);
        return false;
      }
      if (!CryptAcquireContextA(provider_.out(), nullptr, kBaseProvider, PROV_RSA_FULL,
                                CRYPT_VERIFYCONTEXT | CRYPT_NEWKEYSET)) {
        provider_.release();
        traceCryptoError(GetLastError(), "PWpxyInit");
        SetError(error, rc::kProxyNoContext);
        return cryptoTraceFail(
            "PwCryptoApiVB_MSCrypto::PWpxyInit - End (failed to acquire context)");
      }
    }
  } else {
    key_.reset();
  }

  win32::CryptHash hash;
  if (!CryptCreateHash(provider_.get(), CALG_MD5, 0, 0, hash.out())) {
    traceCryptoError(GetLastError(), "PWpxyInit");
    SetError(error, rc::kProxyNoHash);
    return cryptoTraceFail("PwCryptoApiVB_MSCrypto::PWpxyInit - End (failed to create hash)");
  }
  if (!CryptHashData(hash.get(), pass, DWORD(passLength), 0)) {
    DWORD code = GetLastError();
    hash.reset();
    traceCryptoError(code, "PWpxyInit");
    SetError(error, rc::kProxyNotHashed);
    return cryptoTraceFail("PwCryptoApiVB_MSCrypto::PWpxyInit - End (failed to hash data)");
  }
  // The key-length half of the flags is 0: the provider's default RC2 length.
  BOOL derived = CryptDeriveKey(provider_.get(), CALG_RC2, hash.get(), CRYPT_NO_SALT, key_.out());
  DWORD code = GetLastError();
  hash.reset();
  if (!derived) {
    key_.release();
    traceCryptoError(code, "PWpxyInit");
    SetError(error, rc::kProxyNoKey);
    return cryptoTraceFail("PwCryptoApiVB_MSCrypto::PWpxyInit - End (failed to derive key)");
  }
  initialised_ = true;
  writeCryptoTrace("PwCryptoApiVB_MSCrypto::PWpxyInit - End", TRACE_END);
  return true;
}

// The steps of PwCryptoApiVB::PWpxyDecrypt, with CryptDecrypt for the light cipher and
// trace texts of its own (some oddly spelt: part of the log format).
bool PwCryptoApiVB_MSCrypto::PWpxyDecrypt(VARIANT in, VARIANT* out, LONG* error) {
  writeCryptoTrace("PwCryptoApiVB_MSCrypto::PWpxyDecrypt - Start", TRACE_START);
  if (!initialised_) {
    SetError(error, rc::kProxyNotInitialised);
    return cryptoTraceFail(
        "PwCryptoApiVB_MSCrypto::PWpxyDecrypt - End (PWCryptoApiVb not initialized)");
  }
  std::span<const BYTE> cipher = byteArrayData(in.parray);
  const DWORD n = DWORD(cipher.size());
  *error = 0;
  std::unique_ptr<BYTE[]> work(new (std::nothrow) BYTE[size_t(n) + 1]());
  if (!work) {
    SetError(error, rc::kProxyNoMemory);
    return cryptoTraceFail(
        "PwCryptoApiVB:_MSCrypto:PWpxyDecrypt - End (failed to allocate memory)");
  }
  std::ranges::copy(cipher, work.get());
  DWORD length = n;
  if (!CryptDecrypt(key_.get(), 0, TRUE, 0, work.get(), &length)) {
    traceCryptoError(GetLastError(), "PWpxyDecrypt");
    SetError(error, rc::kProxyNotDecrypted);
    return cryptoTraceFail("PwCryptoApiVB_MSCrypto::PWpxyDecrypt - End (failed to decrypt)");
  }
  if (length > n) {
    SetError(error, rc::kProxyTooLong);
    return cryptoTraceFail(
        "PwCryptoApiVB_MSCrypto::PWpxyDecrypt - End (decrypted len is too long)");
  }
  try {
    if (!storeByteArray(std::span(work.get(), length), out)) {
      SetError(error, rc::kProxyNoOutputArray);
      return cryptoTraceFail(
          "PwCryptoApiVB_MSCrypto::PWpxyDecrypt - End (failed to create safe array)");
    }
  } catch (...) {
    SetError(error, rc::kProxyOutputFault);
    return cryptoTraceFail("PwCryptoApiVB_MSCrypto::PWpxyDecrypt - End (catch)");
  }
  writeCryptoTrace("PwCryptoApiVB_MSCrypto::PWpxyDecrypt - End", TRACE_END);
  return true;
}
