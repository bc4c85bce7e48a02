// The objects behind CryptoAPI handles (provider contexts, hashes, keys) and what they
// share: the base provider's key set-up. The objects live in the library's one handle table
// (kernel32/handles.h): a null, unknown or wrong kind of handle is ERROR_INVALID_PARAMETER, as
// advapi32 answers before a provider sees the call.
#pragma once

#include <windows.h>

#include <wincrypt.h>

#include "machine/guard.h"
#include "machine/handles.h"

#include <array>
#include <memory>
#include <string>
#include <vector>

struct rc2_key_st;

namespace pw::crypt {

// The base provider's RC2 limits, in bits: its default (and minimum) key length and its
// maximum; the salt of a salted 40-bit key fills the key material up to 16 bytes. The
// strong and enhanced providers default to 128 bits and go up to 128.
inline constexpr DWORD kRc2DefaultBits = 40;
inline constexpr DWORD kRc2MaxBits = 56;
inline constexpr DWORD kRc2StrongBits = 128;
inline constexpr DWORD kSaltedKeyBytes = 16;
inline constexpr DWORD kBlockBytes = 8;

// The machine's RSA providers: of the full RSA type base, strong (the type's default) and
// enhanced; of the AES type the AES provider, which keys as the enhanced one does and alone
// hashes with SHA-2. They share the key sets and differ in their keys' default and largest
// lengths, and in what becomes of an RC2 key's salt.
enum class Personality : uint8_t { Base, Strong, Enhanced };

struct Provider : handles::ObjectOf<handles::Kind::CryptProvider> {
  const char* name = MS_DEF_PROV_A;  // as PP_NAME reports it
  DWORD type = PROV_RSA_FULL;
  Personality personality = Personality::Base;
  bool base() const { return personality == Personality::Base; }  // the base provider's limits
  std::string container;                                          // empty for a verify context
  DWORD flags = 0;  // as acquired: CRYPT_VERIFYCONTEXT, CRYPT_MACHINE_KEYSET, ...
  std::vector<std::string> enumNames;  // the key set's containers, as PP_ENUMCONTAINERS saw them
  size_t enumNext = 0;
};

struct DigestState;  // a running MD5 or SHA-1 (crypt_hash.cpp)
struct DigestStateFree {
  void operator()(DigestState* d) const;
};
struct Rc2ScheduleFree {
  void operator()(rc2_key_st* k) const;
};
using Digest = std::unique_ptr<DigestState, DigestStateFree>;
using Rc2Schedule = std::unique_ptr<rc2_key_st, Rc2ScheduleFree>;

// Hashes and keys belong to the context they were made from: releasing it destroys them.
struct Hash : handles::ObjectOf<handles::Kind::CryptHash> {
  HCRYPTPROV provider = 0;
  ALG_ID alg = 0;
  Digest digest;
  bool finished = false;  // the value has been taken; no more data may be added
  std::array<BYTE, 64> value{};
  DWORD size = 0;
};

struct Key : handles::ObjectOf<handles::Kind::CryptKey> {
  HCRYPTPROV provider = 0;
  ALG_ID alg = 0;
  DWORD keyLen = 0;         // bytes of key material (an RSA key's: its declared bit length / 8)
  DWORD saltLen = 0;        // bytes of salt that follow the key material
  DWORD effectiveBits = 0;  // RC2's effective key length; 0 means keyLen * 8
  Personality personality = Personality::Base;  // of the provider that made it
  bool base() const { return personality == Personality::Base; }
  DWORD mode = CRYPT_MODE_CBC;
  DWORD modeBits = 0;
  DWORD permissions = 0;
  std::array<BYTE, 64> material{};  // key material, then salt
  std::array<BYTE, kBlockBytes> iv{};
  std::array<BYTE, kBlockBytes> chain{};  // the running CBC vector between calls
  std::string pair;      // an RSA key in its blob layout: PRIVATEKEYBLOB or PUBLICKEYBLOB
  Rc2Schedule schedule;  // RC2's expanded key, for both directions
};

// ---- handles ----
using handles::destroyObject;
using handles::objectFor;

// The object a call that fills a buffer works on, checked in the provider's order: a
// live handle of its kind and a size to fill, then flags of 0. Null, with the last
// error set, when the call fails there.
template <class T, class H>
T* outputTarget(H handle, const DWORD* size, DWORD flags) {
  T* object = objectFor<T>(handle);
  DWORD error = !object || !size ? ERROR_INVALID_PARAMETER : flags ? NTE_BAD_FLAGS : 0;
  if (error) fail(error);
  return error ? nullptr : object;
}
// Enters a new object into the handle table and stores its handle in `out`; FALSE
// with NTE_NO_MEMORY when the table cannot grow.
BOOL handOut(std::unique_ptr<handles::Object> object, ULONG_PTR* out);

// ---- OpenSSL ----

// Returns the key to its just-derived state: the chain vector back to the IV and the
// block cipher keyed with the material and salt. False when OpenSSL refuses the key.
bool setupKey(Key& key);

// Adds data to a hash on behalf of CryptEncrypt and CryptDecrypt.
bool hashPlaintext(HCRYPTHASH hash, const BYTE* data, DWORD len);
// Takes a hash's value (Hash::value, Hash::size); later data is refused.
void finishHash(Hash& hash);

// A handle to a new RSA key object of the context `provider` over a PRIVATEKEYBLOB or
// PUBLICKEYBLOB, in `out`.
BOOL addRsaKey(HCRYPTPROV provider, std::string blob, ALG_ID alg, DWORD permissions,
               HCRYPTKEY* out);

// Destroys the hashes and keys made from the context `provider`.
void destroyObjectsOf(HCRYPTPROV provider);

// Failing with the last error set, and the size protocol of the parameter calls
// (machine/guard.h).
using pw::copyOut;
using pw::fail;

}  // namespace pw::crypt
