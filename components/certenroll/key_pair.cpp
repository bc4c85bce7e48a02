// Key pairs of the enrolment components live in containers of the RSA providers, made
// through CryptoAPI as the components make them on Windows. A container the
// components create gets a new GUID for its name.
#include "components/certenroll/enrolment.h"
#include "components/common/text.h"

#include <objbase.h>

#include "crypt.h"

namespace pw::enrol {
namespace {

DWORD keySetFlags(const KeyParams& key) { return key.machine ? CRYPT_MACHINE_KEYSET : 0; }

HRESULT newContainerName(std::string* name) {
  GUID guid;
  if (HRESULT hr = CoCreateGuid(&guid); FAILED(hr)) return hr;
  OLECHAR text[39];
  StringFromGUID2(guid, text, 39);
  name->clear();
  for (int i = 0; i < 38; ++i) *name += char(text[i]);
  return S_OK;
}

}  // namespace

const char* KeyParams::providerName() const {
  if (!provider.empty()) return provider.c_str();
  return providerType == kDefaultProviderType ? kDefaultProvider : nullptr;
}

HRESULT createKeyPair(KeyParams* key) {
  if (key->container.empty())
    if (HRESULT hr = newContainerName(&key->container); FAILED(hr)) return hr;
  win32::CryptProvider provider;
  if (!CryptAcquireContextA(provider.out(), key->container.c_str(), key->providerName(),
                            key->providerType, CRYPT_NEWKEYSET | keySetFlags(*key)))
    return com::lastError();
  win32::CryptKey pair;
  DWORD flags = key->bits << 16 | (key->exportable ? CRYPT_EXPORTABLE : 0);
  HRESULT hr =
      CryptGenKey(provider.get(), key->keySpec, flags, pair.out()) ? S_OK : com::lastError();
  pair.reset();
  provider.reset();
  if (FAILED(hr)) deleteKeyPair(*key);
  return hr;
}

HRESULT openKeyPair(const KeyParams& key) {
  win32::CryptProvider provider;
  if (!CryptAcquireContextA(provider.out(), key.container.c_str(), key.providerName(),
                            key.providerType, keySetFlags(key)))
    return com::lastError();
  win32::CryptKey pair;
  return CryptGetUserKey(provider.get(), key.keySpec, pair.out()) ? S_OK : com::lastError();
}

void deleteKeyPair(const KeyParams& key) {
  HCRYPTPROV none = 0;
  CryptAcquireContextA(&none, key.container.c_str(), key.providerName(), key.providerType,
                       CRYPT_DELETEKEYSET | keySetFlags(key));
}

}  // namespace pw::enrol
