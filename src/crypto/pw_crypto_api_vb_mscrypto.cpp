#include "crypto/pw_crypto_api_vb_mscrypto.h"

#include "crypto/byte_array.h"
#include "trace/error_stack.h"
#include "trace/trace.h"

#include <algorithm>
#include <memory>
#include <new>

namespace {

constexpr const char* kBaseProvider = "Microsoft Base Cryptographic Provider v1.0";
constexpr LONG kNotInitialised = 3501;
constexpr LONG kNoMemory = 3504;
constexpr LONG kNoContext = 3506;
constexpr LONG kNoHash = 3507;
constexpr LONG kNotHashed = 3508;
constexpr LONG kNoKey = 3510;
constexpr LONG kNoOutputArray = 3511;
constexpr LONG kNotDecrypted = 3512;
constexpr LONG kOutputFault = 3513;
constexpr LONG kTooLong = 3515;

bool fail(const char* line) {
  writeCryptoTrace(line, TRACE_END);
  return false;
}

// A hash object, destroyed when it goes out of scope unless destroyed before.
class Hash {
 public:
  ~Hash() { destroy(); }
  HCRYPTHASH* out() { return &hash_; }
  HCRYPTHASH get() const { return hash_; }
  void destroy() {
    if (hash_) CryptDestroyHash(hash_);
    hash_ = 0;
  }

 private:
  HCRYPTHASH hash_ = 0;
};

}  // namespace

PwCryptoApiVB_MSCrypto::~PwCryptoApiVB_MSCrypto() {
  if (key_) CryptDestroyKey(key_);
  if (provider_) CryptReleaseContext(provider_, 0);
}

bool PwCryptoApiVB_MSCrypto::PWpxyInit(const BYTE* pass, LONG passLength, LONG* error) {
  writeCryptoTrace("PwCryptoApiVB_MSCrypto::PWpxyInit - Start", TRACE_START);
  *error = 0;
  if (!initialised_) {
    // A provider kept from an earlier attempt that failed later on is not leaked.
    if (provider_) CryptReleaseContext(provider_, 0);
    provider_ = 0;
    if (!CryptAcquireContextA(&provider_, nullptr, kBaseProvider, PROV_RSA_FULL,
                              CRYPT_VERIFYCONTEXT)) {
      DWORD code = GetLastError();
      provider_ = 0;
      if (code != DWORD(NTE_BAD_KEYSET)) {
        traceCryptoError(code, "PWpxyInit");
        writeCryptoTrace("_MSCryptoPwCryptoApiVB::PWpxyInit - End (failed to acquire context)",
                         TRACE_END);
        SetError(error, kNoContext);
        return false;
      }
      if (!CryptAcquireContextA(&provider_, nullptr, kBaseProvider, PROV_RSA_FULL,
                                CRYPT_VERIFYCONTEXT | CRYPT_NEWKEYSET)) {
        provider_ = 0;
        traceCryptoError(GetLastError(), "PWpxyInit");
        SetError(error, kNoContext);
        return fail("PwCryptoApiVB_MSCrypto::PWpxyInit - End (failed to acquire context)");
      }
    }
  } else if (key_) {
    CryptDestroyKey(key_);
    key_ = 0;
  }

  Hash hash;
  if (!CryptCreateHash(provider_, CALG_MD5, 0, 0, hash.out())) {
    traceCryptoError(GetLastError(), "PWpxyInit");
    SetError(error, kNoHash);
    return fail("PwCryptoApiVB_MSCrypto::PWpxyInit - End (failed to create hash)");
  }
  if (!CryptHashData(hash.get(), pass, DWORD(passLength), 0)) {
    DWORD code = GetLastError();
    hash.destroy();
    traceCryptoError(code, "PWpxyInit");
    SetError(error, kNotHashed);
    return fail("PwCryptoApiVB_MSCrypto::PWpxyInit - End (failed to hash data)");
  }
  // The key-length half of the flags is 0: the provider's default RC2 length.
  BOOL derived = CryptDeriveKey(provider_, CALG_RC2, hash.get(), CRYPT_NO_SALT, &key_);
  DWORD code = GetLastError();
  hash.destroy();
  if (!derived) {
    key_ = 0;
    traceCryptoError(code, "PWpxyInit");
    SetError(error, kNoKey);
    return fail("PwCryptoApiVB_MSCrypto::PWpxyInit - End (failed to derive key)");
  }
  initialised_ = true;
  writeCryptoTrace("PwCryptoApiVB_MSCrypto::PWpxyInit - End", TRACE_END);
  return true;
}

bool PwCryptoApiVB_MSCrypto::PWpxyDecrypt(VARIANT in, VARIANT* out, LONG* error) {
  writeCryptoTrace("PwCryptoApiVB_MSCrypto::PWpxyDecrypt - Start", TRACE_START);
  if (!initialised_) {
    SetError(error, kNotInitialised);
    return fail("PwCryptoApiVB_MSCrypto::PWpxyDecrypt - End (PWCryptoApiVb not initialized)");
  }
  std::span<const BYTE> cipher = byteArrayData(in.parray);
  const DWORD n = DWORD(cipher.size());
  *error = 0;
  std::unique_ptr<BYTE[]> work(new (std::nothrow) BYTE[size_t(n) + 1]());
  if (!work) {
    SetError(error, kNoMemory);
    return fail("PwCryptoApiVB:_MSCrypto:PWpxyDecrypt - End (failed to allocate memory)");
  }
  std::ranges::copy(cipher, work.get());
  DWORD length = n;
  if (!CryptDecrypt(key_, 0, TRUE, 0, work.get(), &length)) {
    traceCryptoError(GetLastError(), "PWpxyDecrypt");
    SetError(error, kNotDecrypted);
    return fail("PwCryptoApiVB_MSCrypto::PWpxyDecrypt - End (failed to decrypt)");
  }
  if (length > n) {
    SetError(error, kTooLong);
    return fail("PwCryptoApiVB_MSCrypto::PWpxyDecrypt - End (decrypted len is too long)");
  }
  try {
    if (!storeByteArray(std::span(work.get(), length), out)) {
      SetError(error, kNoOutputArray);
      return fail("PwCryptoApiVB_MSCrypto::PWpxyDecrypt - End (failed to create safe array)");
    }
  } catch (...) {
    work.reset();
    SetError(error, kOutputFault);
    return fail("PwCryptoApiVB_MSCrypto::PWpxyDecrypt - End (catch)");
  }
  work.reset();
  writeCryptoTrace("PwCryptoApiVB_MSCrypto::PWpxyDecrypt - End", TRACE_END);
  return true;
}
