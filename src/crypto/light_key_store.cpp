// lightCrypto_Manager: the per-user key store, the REG_BINARY value "Blob" under
// the current user's Software\Velmora\Tessera\My. A missing key or value sets no
// code: to the load-or-generate initialisation it means no key is stored yet. The
// store's key closes itself on every path.
#include "crypto/light_crypto_manager.h"
#include "trace/error_stack.h"
#include "trace/trace.h"
#include "win32/reg_key.h"
#include "win32/result_codes.h"

namespace {

constexpr const char* kStoreKey = "Software\\Velmora\\Tessera\\My";
constexpr const char* kStoreValue = "Blob";

}  // namespace

bool lightCrypto_Manager::LoadKey(LONG* error) {
  writeCryptoTrace("lightCrypto_Manager::LoadKey - start", TRACE_START);
  win32::RegKey store;
  LONG status = RegOpenKeyExA(HKEY_CURRENT_USER, kStoreKey, 0, KEY_READ, store.out());
  if (status != ERROR_SUCCESS) {
    if (status != ERROR_FILE_NOT_FOUND) SetError(error, rc::kLightStoreNotOpened);
    return cryptoTraceFail("lightCrypto_Manager::LoadKey - error (unable to open key)");
  }
  DWORD type = 0, size = 0;
  status = RegQueryValueExA(store.get(), kStoreValue, nullptr, &type, nullptr, &size);
  if (status != ERROR_SUCCESS || size == 0) {
    // An empty value holds no key: it counts as absent, so a new key replaces it.
    if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND)
      SetError(error, rc::kLightKeyNotRead);
    return cryptoTraceFail("lightCrypto_Manager::LoadKey - error (unable to retrieve value 1)");
  }
  key_.reset();
  key_ = std::make_unique<BYTE[]>(size);
  status = RegQueryValueExA(store.get(), kStoreValue, nullptr, &type, key_.get(), &size);
  if (status != ERROR_SUCCESS) {
    // The old key is gone already; no key of the old length may stay behind.
    key_.reset();
    keyLength_ = 0;
    if (status != ERROR_FILE_NOT_FOUND) SetError(error, rc::kLightKeyNotRead);
    return cryptoTraceFail("lightCrypto_Manager::LoadKey - error (unable to retrieve value 2)");
  }
  keyLength_ = LONG(size);
  writeCryptoTrace("lightCrypto_Manager::LoadKey - end", TRACE_END);
  return true;
}

bool lightCrypto_Manager::SaveKey(LONG* error) {
  writeCryptoTrace("lightCrypto_Manager::SaveKey - start", TRACE_START);
  win32::RegKey store;
  LONG status = RegOpenKeyExA(HKEY_CURRENT_USER, kStoreKey, 0, KEY_SET_VALUE, store.out());
  if (status == ERROR_FILE_NOT_FOUND) {
    if (RegCreateKeyExA(HKEY_CURRENT_USER, kStoreKey, 0, nullptr, REG_OPTION_NON_VOLATILE,
                        KEY_ALL_ACCESS, nullptr, store.out(), nullptr) != ERROR_SUCCESS) {
      SetError(error, rc::kLightStoreNotCreated);
      return cryptoTraceFail("lightCrypto_Manager::SaveKey - error (unable to create key)");
    }
  } else if (status != ERROR_SUCCESS) {
    SetError(error, rc::kLightStoreNotOpened);
    return cryptoTraceFail("lightCrypto_Manager::SaveKey - error (unable to open key)");
  }
  if (RegSetValueExA(store.get(), kStoreValue, 0, REG_BINARY, key_.get(), DWORD(keyLength_)) !=
      ERROR_SUCCESS) {
    SetError(error, rc::kLightKeyNotWritten);
    return cryptoTraceFail("lightCrypto_Manager::SaveKey - error (unable to set value)");
  }
  writeCryptoTrace("lightCrypto_Manager::SaveKey - end", TRACE_END);
  return true;
}
