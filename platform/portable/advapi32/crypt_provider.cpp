// CryptoAPI provider contexts: the one provider this machine has (the base RSA
// provider), verify contexts, and named key containers. A container is a registry key
// under a platform-private key of the hive of its key set (the machine's for
// CRYPT_MACHINE_KEYSET, else the current user's); its key pairs are binary values of
// that key, "KeyExchangeKeyPair" and "SignatureKeyPair", written by whatever creates them.
#include <windows.h>

#include <wincrypt.h>

#include "advapi32/crypt_objects.h"
#include "machine/machine.h"

#include <strings.h>
#include <cstring>

namespace {

using pw::crypt::fail;
using pw::crypt::Key;
using pw::crypt::objectFor;
using pw::crypt::Provider;

constexpr const char* kContainers = "Software\\PwPlatform\\Crypto\\Containers\\";
constexpr DWORD kMaxProvType = 999;
constexpr size_t kMaxContainerName = 255;

HKEY keySetRoot(DWORD flags) {
  return (flags & CRYPT_MACHINE_KEYSET) ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER;
}

std::string containerPath(const std::string& name) { return kContainers + name; }

bool containerExists(const std::string& name, DWORD flags) {
  HKEY key;
  if (RegOpenKeyExA(keySetRoot(flags), containerPath(name).c_str(), 0, KEY_READ, &key))
    return false;
  RegCloseKey(key);
  return true;
}

BOOL succeed(HCRYPTPROV* out, const std::string& container, DWORD flags) {
  auto provider = std::make_unique<Provider>();
  provider->container = container;
  provider->flags = flags;
  *out = pw::crypt::addObject(std::move(provider));
  SetLastError(ERROR_SUCCESS);
  return TRUE;
}

}  // namespace

BOOL WINAPI CryptAcquireContextA(HCRYPTPROV* phProv, LPCSTR szContainer, LPCSTR szProvider,
                                 DWORD dwProvType, DWORD dwFlags) {
  if (!phProv) return fail(ERROR_INVALID_PARAMETER);
  if (!dwProvType || dwProvType > kMaxProvType) return fail(NTE_BAD_PROV_TYPE);
  if (!szProvider) {
    // The default provider of the type; the base provider is the only full RSA one.
    if (dwProvType != PROV_RSA_FULL) return fail(NTE_PROV_TYPE_NOT_DEF);
  } else {
    if (strcasecmp(szProvider, MS_DEF_PROV_A) != 0) return fail(NTE_KEYSET_NOT_DEF);
    if (dwProvType != PROV_RSA_FULL) return fail(NTE_PROV_TYPE_NO_MATCH);
  }

  bool named = szContainer && *szContainer;
  if (named && (std::strlen(szContainer) > kMaxContainerName || std::strchr(szContainer, '\\')))
    return fail(NTE_BAD_KEYSET_PARAM);
  // Without a name the container is named after the user, as on Windows.
  std::string name = named ? szContainer : pw::machine::userName();

  switch (dwFlags & (CRYPT_NEWKEYSET | CRYPT_VERIFYCONTEXT | CRYPT_DELETEKEYSET)) {
    case 0:
      if (!containerExists(name, dwFlags)) return fail(NTE_BAD_KEYSET);
      return succeed(phProv, name, dwFlags);

    case CRYPT_NEWKEYSET: {
      if (containerExists(name, dwFlags)) return fail(NTE_EXISTS);
      HKEY key;
      LONG st = RegCreateKeyExA(keySetRoot(dwFlags), containerPath(name).c_str(), 0, nullptr,
                                REG_OPTION_NON_VOLATILE, KEY_WRITE, nullptr, &key, nullptr);
      if (st) return fail(DWORD(st));
      RegCloseKey(key);
      return succeed(phProv, name, dwFlags);
    }

    case CRYPT_DELETEKEYSET:
      // The handle is undefined after a deletion; nothing needs releasing.
      if (RegDeleteKeyA(keySetRoot(dwFlags), containerPath(name).c_str()))
        return fail(NTE_BAD_KEYSET);
      SetLastError(ERROR_SUCCESS);
      return TRUE;

    case CRYPT_VERIFYCONTEXT:
    case CRYPT_VERIFYCONTEXT | CRYPT_NEWKEYSET:
      if (named) return fail(NTE_BAD_FLAGS);
      return succeed(phProv, "", dwFlags);

    default:
      return fail(NTE_BAD_FLAGS);
  }
}

BOOL WINAPI CryptReleaseContext(HCRYPTPROV hProv, DWORD dwFlags) {
  if (!objectFor<Provider>(hProv)) return fail(ERROR_INVALID_PARAMETER);
  pw::crypt::destroyObject(hProv);
  if (dwFlags) return fail(NTE_BAD_FLAGS);  // released all the same
  return TRUE;
}

// Hashes and keys made from a context do not depend on it afterwards, so a key obtained
// here may outlive the context it came from.
BOOL WINAPI CryptGetUserKey(HCRYPTPROV hProv, DWORD dwKeySpec, HCRYPTKEY* phUserKey) {
  Provider* provider = objectFor<Provider>(hProv);
  if (!provider || !phUserKey) return fail(ERROR_INVALID_PARAMETER);

  const char* valueName = dwKeySpec == AT_KEYEXCHANGE ? "KeyExchangeKeyPair"
                          : dwKeySpec == AT_SIGNATURE ? "SignatureKeyPair"
                                                      : nullptr;
  if (!valueName || (provider->flags & CRYPT_VERIFYCONTEXT)) return fail(NTE_NO_KEY);

  HKEY key;
  if (RegOpenKeyExA(keySetRoot(provider->flags), containerPath(provider->container).c_str(), 0,
                    KEY_READ, &key))
    return fail(NTE_BAD_KEYSET);  // deleted since it was acquired
  DWORD type = 0, size = 0;
  std::string pair;
  LONG st = RegQueryValueExA(key, valueName, nullptr, &type, nullptr, &size);
  if (st == ERROR_SUCCESS && size) {
    pair.resize(size);
    st = RegQueryValueExA(key, valueName, nullptr, &type, reinterpret_cast<BYTE*>(pair.data()),
                          &size);
  }
  RegCloseKey(key);
  if (st != ERROR_SUCCESS || pair.empty()) return fail(NTE_NO_KEY);

  auto userKey = std::make_unique<Key>();
  userKey->alg = dwKeySpec == AT_KEYEXCHANGE ? CALG_RSA_KEYX : CALG_RSA_SIGN;
  userKey->permissions = CRYPT_ENCRYPT | CRYPT_DECRYPT | CRYPT_READ | CRYPT_WRITE | CRYPT_MAC;
  userKey->pair = std::move(pair);
  *phUserKey = pw::crypt::addObject(std::move(userKey));
  return TRUE;
}
