// Key pairs of the enrolment components live in containers of the base RSA provider,
// made through CryptoAPI as the components make them on Windows. A container the
// components create gets a new GUID for its name.
#include "certenroll/enrolment.h"

#include <objbase.h>

namespace pw::enrol {
namespace {

DWORD keySetFlags(const KeyParams& key) { return key.machine ? CRYPT_MACHINE_KEYSET : 0; }

const char* providerOf(const KeyParams& key) {
  return key.provider.empty() ? nullptr : key.provider.c_str();
}

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

HRESULT createKeyPair(KeyParams* key) {
  if (key->container.empty())
    if (HRESULT hr = newContainerName(&key->container); FAILED(hr)) return hr;
  HCRYPTPROV provider = 0;
  if (!CryptAcquireContextA(&provider, key->container.c_str(), providerOf(*key), key->providerType,
                            CRYPT_NEWKEYSET | keySetFlags(*key)))
    return lastError();
  HCRYPTKEY pair = 0;
  DWORD flags = key->bits << 16 | (key->exportable ? CRYPT_EXPORTABLE : 0);
  BOOL made = CryptGenKey(provider, key->keySpec, flags, &pair);
  HRESULT hr = made ? S_OK : lastError();
  if (made) CryptDestroyKey(pair);
  CryptReleaseContext(provider, 0);
  if (FAILED(hr)) deleteKeyPair(*key);
  return hr;
}

HRESULT openKeyPair(const KeyParams& key) {
  HCRYPTPROV provider = 0;
  if (!CryptAcquireContextA(&provider, key.container.c_str(), providerOf(key), key.providerType,
                            keySetFlags(key)))
    return lastError();
  HCRYPTKEY pair = 0;
  BOOL found = CryptGetUserKey(provider, key.keySpec, &pair);
  HRESULT hr = found ? S_OK : lastError();
  if (found) CryptDestroyKey(pair);
  CryptReleaseContext(provider, 0);
  return hr;
}

void deleteKeyPair(const KeyParams& key) {
  HCRYPTPROV none = 0;
  CryptAcquireContextA(&none, key.container.c_str(), providerOf(key), key.providerType,
                       CRYPT_DELETEKEYSET | keySetFlags(key));
}

}  // namespace pw::enrol
