// CryptoAPI provider contexts: the machine's full RSA providers (base, strong and
// enhanced) and its AES provider, verify contexts, and named key containers
// (advapi32/key_container.h), which all four share.
#include <windows.h>

#include <wincrypt.h>

#include "advapi32/crypt_objects.h"
#include "advapi32/key_container.h"
#include "machine/faults.h"
#include "machine/machine.h"

#include "machine/ossl.h"

#include <strings.h>
#include <cstring>

namespace {

using namespace pw::crypt;  // the provider's own names, in every CryptoAPI file

constexpr DWORD kMaxProvType = 999;
constexpr size_t kMaxContainerName = 255;

struct Known {
  const char* name;
  DWORD type;
  Personality personality;
};
// The providers by name, each type's default first.
const Known kProviders[] = {{MS_STRONG_PROV_A, PROV_RSA_FULL, Personality::Strong},
                            {MS_ENHANCED_PROV_A, PROV_RSA_FULL, Personality::Enhanced},
                            {MS_DEF_PROV_A, PROV_RSA_FULL, Personality::Base},
                            {MS_ENH_RSA_AES_PROV_A, PROV_RSA_AES, Personality::Enhanced}};

// Of a container name, the longest the providers take, and the size PP_ENUMCONTAINERS
// gives as the room any name needs, its terminator included.
constexpr DWORD kEnumeratedNameRoom = MAX_PATH + 1;

BOOL succeed(HCRYPTPROV* out, const Known& known, const std::string& container, DWORD flags) {
  auto provider = std::make_unique<Provider>();
  provider->name = known.name;
  provider->type = known.type;
  provider->personality = known.personality;
  provider->container = container;
  provider->flags = flags;
  if (!pw::crypt::handOut(std::move(provider), out)) return FALSE;
  SetLastError(ERROR_SUCCESS);
  return TRUE;
}

}  // namespace

BOOL WINAPI CryptAcquireContextA(HCRYPTPROV* phProv, LPCSTR szContainer, LPCSTR szProvider,
                                 DWORD dwProvType, DWORD dwFlags) {
  if (auto fault = pw::faults::injected(pw::faults::Point::CryptAcquireContextA))
    return fail(*fault);
  return pw::guarded(FALSE, NTE_NO_MEMORY, [&]() -> BOOL {
    // The provider type is looked at before anything else, the handle's place included.
    if (!dwProvType || dwProvType > kMaxProvType) return fail(NTE_BAD_PROV_TYPE);
    if (!phProv) return fail(ERROR_INVALID_PARAMETER);
    // A named provider is looked up without regard to case; none is the type's default.
    const Known* found = nullptr;
    for (const Known& known : kProviders)
      if (szProvider ? strcasecmp(szProvider, known.name) == 0 : known.type == dwProvType && !found)
        found = &known;
    if (!found) return fail(szProvider ? NTE_KEYSET_NOT_DEF : NTE_PROV_TYPE_NOT_DEF);
    if (found->type != dwProvType) return fail(NTE_PROV_TYPE_NO_MATCH);
    const Known& provider = *found;

    bool named = szContainer && *szContainer;
    if (named && (std::strlen(szContainer) > kMaxContainerName || std::strchr(szContainer, '\\')))
      return fail(NTE_BAD_KEYSET_PARAM);
    // Without a name the container is named after the user, as on Windows.
    // (Looked up only where a container is used: a verification context needs none.)
    auto container = [&] { return named ? std::string(szContainer) : pw::machine::userName(); };

    switch (dwFlags & (CRYPT_NEWKEYSET | CRYPT_VERIFYCONTEXT | CRYPT_DELETEKEYSET)) {
      case 0: {
        std::string name = container();
        if (!pw::crypt::containerExists(name, dwFlags)) return fail(NTE_BAD_KEYSET);
        return succeed(phProv, provider, name, dwFlags);
      }

      case CRYPT_NEWKEYSET: {
        std::string name = container();
        if (pw::crypt::containerExists(name, dwFlags)) return fail(NTE_EXISTS);
        if (LONG st = pw::crypt::createContainer(name, dwFlags)) return fail(DWORD(st));
        return succeed(phProv, provider, name, dwFlags);
      }

      case CRYPT_DELETEKEYSET:
        // The handle is undefined after a deletion, and nothing needs releasing: it
        // reads 0, as advapi32 leaves it.
        if (pw::crypt::deleteContainer(container(), dwFlags)) return fail(NTE_BAD_KEYSET);
        *phProv = 0;
        SetLastError(ERROR_SUCCESS);
        return TRUE;

      case CRYPT_VERIFYCONTEXT:
      case CRYPT_VERIFYCONTEXT | CRYPT_NEWKEYSET:
        if (named) return fail(NTE_BAD_FLAGS);
        return succeed(phProv, provider, "", dwFlags);

      default:
        return fail(NTE_BAD_FLAGS);
    }
  });
}

// Releasing a context destroys the hashes and keys made from it: their handles are
// refused afterwards, as any handle that is no longer live.
BOOL WINAPI CryptReleaseContext(HCRYPTPROV hProv, DWORD dwFlags) {
  return pw::guarded(FALSE, NTE_NO_MEMORY, [&]() -> BOOL {
    if (!objectFor<Provider>(hProv)) return fail(ERROR_INVALID_PARAMETER);
    pw::crypt::destroyObjectsOf(hProv);
    pw::crypt::destroyObject(hProv);
    if (dwFlags) return fail(NTE_BAD_FLAGS);  // released all the same
    return TRUE;
  });
}

BOOL WINAPI CryptGenRandom(HCRYPTPROV hProv, DWORD dwLen, BYTE* pbBuffer) {
  if (!objectFor<Provider>(hProv) || (dwLen && !pbBuffer)) return fail(ERROR_INVALID_PARAMETER);
  if (dwLen && RAND_bytes(pbBuffer, int(dwLen)) != 1) return fail(NTE_FAIL);
  return TRUE;
}

BOOL WINAPI CryptGetProvParam(HCRYPTPROV hProv, DWORD dwParam, BYTE* pbData, DWORD* pdwDataLen,
                              DWORD dwFlags) {
  return pw::guarded(FALSE, NTE_NO_MEMORY, [&]() -> BOOL {
    Provider* provider = objectFor<Provider>(hProv);
    if (!provider || !pdwDataLen) return fail(ERROR_INVALID_PARAMETER);
    switch (dwParam) {
      case PP_NAME:
        return pw::crypt::copyOut(pbData, pdwDataLen, provider->name,
                                  DWORD(std::strlen(provider->name) + 1));
      case PP_CONTAINER:
      case PP_UNIQUE_CONTAINER:
        if (provider->flags & CRYPT_VERIFYCONTEXT) return fail(NTE_BAD_KEYSET);
        return pw::crypt::copyOut(pbData, pdwDataLen, provider->container.c_str(),
                                  DWORD(provider->container.size() + 1));
      case PP_ENUMCONTAINERS: {
        // A null buffer asks for the room any name needs (MAX_PATH + 1) and does not move
        // on; a name that fits leaves the size as it was; one that does not fit is
        // ERROR_MORE_DATA with its own size, and the enumeration stays at it.
        if (dwFlags & CRYPT_FIRST) {
          provider->enumNames = pw::crypt::containerNames(provider->flags);
          provider->enumNext = 0;
        }
        if (!pbData) {
          *pdwDataLen = kEnumeratedNameRoom;
          return TRUE;
        }
        if (provider->enumNext >= provider->enumNames.size()) return fail(ERROR_NO_MORE_ITEMS);
        const std::string& name = provider->enumNames[provider->enumNext];
        if (*pdwDataLen <= name.size()) {
          *pdwDataLen = DWORD(name.size() + 1);
          return fail(ERROR_MORE_DATA);
        }
        std::memcpy(pbData, name.c_str(), name.size() + 1);
        ++provider->enumNext;
        return TRUE;
      }
      default:
        return fail(NTE_BAD_TYPE);
    }
  });
}

BOOL WINAPI CryptGetUserKey(HCRYPTPROV hProv, DWORD dwKeySpec, HCRYPTKEY* phUserKey) {
  return pw::guarded(FALSE, NTE_NO_MEMORY, [&]() -> BOOL {
    Provider* provider = objectFor<Provider>(hProv);
    if (!provider || !phUserKey) return fail(ERROR_INVALID_PARAMETER);

    if ((dwKeySpec != AT_KEYEXCHANGE && dwKeySpec != AT_SIGNATURE) ||
        (provider->flags & CRYPT_VERIFYCONTEXT))
      return fail(NTE_NO_KEY);

    pw::crypt::StoredPair pair;
    LONG st = pw::crypt::readKeyPair(provider->container, provider->flags, dwKeySpec, &pair);
    if (st == ERROR_FILE_NOT_FOUND &&
        !pw::crypt::containerExists(provider->container, provider->flags))
      return fail(NTE_BAD_KEYSET);  // deleted since it was acquired
    if (st) return fail(NTE_NO_KEY);

    return pw::crypt::addRsaKey(hProv, std::move(pair.blob),
                                dwKeySpec == AT_KEYEXCHANGE ? CALG_RSA_KEYX : CALG_RSA_SIGN,
                                pair.permissions, phUserKey);
  });
}
