// CryptoAPI objects: a provider context, a hash and a key, each released or
// destroyed when its owner goes away.
// Its traits have the form of every family header's (owned.h).
#pragma once

#include <windows.h>

#include <wincrypt.h>

#include "owned.h"

namespace win32 {

struct CryptProviderTraits {
  using Type = HCRYPTPROV;
  static Type none() { return 0; }
  static void close(Type provider) { CryptReleaseContext(provider, 0); }
};
using CryptProvider = Owned<CryptProviderTraits>;

struct CryptHashTraits {
  using Type = HCRYPTHASH;
  static Type none() { return 0; }
  static void close(Type hash) { CryptDestroyHash(hash); }
};
using CryptHash = Owned<CryptHashTraits>;

struct CryptKeyTraits {
  using Type = HCRYPTKEY;
  static Type none() { return 0; }
  static void close(Type key) { CryptDestroyKey(key); }
};
using CryptKey = Owned<CryptKeyTraits>;

}  // namespace win32
