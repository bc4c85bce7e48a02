#include "advapi32/key_container.h"

#include <pwplatform.h>

#include "machine/host_calls.h"
#include "machine/machine.h"

#include "machine/ossl.h"

#include <sys/stat.h>

#include <cstring>

namespace pw::crypt {
namespace {

constexpr const char* kContainers = "Software\\PwPlatform\\Crypto\\Containers";

struct RegHandle {
  HKEY h = nullptr;
  RegHandle() = default;
  RegHandle(const RegHandle&) = delete;
  RegHandle& operator=(const RegHandle&) = delete;
  ~RegHandle() {
    if (h) RegCloseKey(h);
  }
};

std::string containerPath(std::string_view name) {
  return std::string(kContainers) + "\\" + std::string(name);
}

const char* pairValue(DWORD keySpec) {
  return keySpec == AT_SIGNATURE ? "SignatureKeyPair" : "KeyExchangeKeyPair";
}
const char* permissionsValue(DWORD keySpec) {
  return keySpec == AT_SIGNATURE ? "SignaturePermissions" : "KeyExchangePermissions";
}

// Private keys are for the hive's owner alone, as Windows keeps its key files. SQLite
// gives the log files it creates later the database file's permissions.
void restrictToOwner(DWORD flags) {
  std::string path =
      (flags & CRYPT_MACHINE_KEYSET) ? pw::machine::machineHivePath() : pw::machine::userHivePath();
  for (const char* suffix : {"", "-wal", "-shm"}) {
    std::string file = path + suffix;
    struct stat st;
    if (pw::host::stat(file.c_str(), &st) == 0 && (st.st_mode & 077))
      pw::host::chmod(file.c_str(), st.st_mode & 0700);
  }
}

}  // namespace

HKEY keySetRoot(DWORD flags) {
  return (flags & CRYPT_MACHINE_KEYSET) ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER;
}

bool containerExists(std::string_view name, DWORD flags) {
  RegHandle key;
  return RegOpenKeyExA(keySetRoot(flags), containerPath(name).c_str(), 0, KEY_READ, &key.h) ==
         ERROR_SUCCESS;
}

LONG createContainer(std::string_view name, DWORD flags) {
  RegHandle key;
  return RegCreateKeyExA(keySetRoot(flags), containerPath(name).c_str(), 0, nullptr,
                         REG_OPTION_NON_VOLATILE, KEY_WRITE, nullptr, &key.h, nullptr);
}

LONG deleteContainer(std::string_view name, DWORD flags) {
  // Containers belong to the machine's own settings, which the registry functions
  // cannot delete.
  return PwDeleteSystemKeyA(keySetRoot(flags), containerPath(name).c_str());
}

std::vector<std::string> containerNames(DWORD flags) {
  std::vector<std::string> names;
  RegHandle key;
  if (RegOpenKeyExA(keySetRoot(flags), kContainers, 0, KEY_READ, &key.h)) return names;
  char name[256];
  for (DWORD i = 0;; ++i) {
    DWORD len = sizeof name;
    LONG st = RegEnumKeyExA(key.h, i, name, &len, nullptr, nullptr, nullptr, nullptr);
    if (st == ERROR_NO_MORE_ITEMS) break;
    if (st == ERROR_SUCCESS) names.emplace_back(name, len);
  }
  return names;
}

LONG readKeyPair(std::string_view name, DWORD flags, DWORD keySpec, StoredPair* out) {
  RegHandle key;
  if (LONG st = RegOpenKeyExA(keySetRoot(flags), containerPath(name).c_str(), 0, KEY_READ, &key.h))
    return st;
  DWORD type = 0, size = 0;
  LONG st = RegQueryValueExA(key.h, pairValue(keySpec), nullptr, &type, nullptr, &size);
  if (st) return st;
  out->blob.resize(size);
  st = RegQueryValueExA(key.h, pairValue(keySpec), nullptr, &type,
                        reinterpret_cast<BYTE*>(out->blob.data()), &size);
  if (st) return st;
  out->blob.resize(size);
  if (out->blob.empty()) return ERROR_FILE_NOT_FOUND;
  DWORD perms = 0, permsSize = sizeof perms;
  if (RegQueryValueExA(key.h, permissionsValue(keySpec), nullptr, &type,
                       reinterpret_cast<BYTE*>(&perms), &permsSize) == ERROR_SUCCESS &&
      type == REG_DWORD)
    out->permissions = perms;
  return ERROR_SUCCESS;
}

LONG writeKeyPair(std::string_view name, DWORD flags, DWORD keySpec, const StoredPair& pair) {
  RegHandle key;
  if (LONG st = RegOpenKeyExA(keySetRoot(flags), containerPath(name).c_str(), 0, KEY_WRITE, &key.h))
    return st;
  restrictToOwner(flags);  // before the key reaches the file
  LONG st = RegSetValueExA(key.h, permissionsValue(keySpec), 0, REG_DWORD,
                           reinterpret_cast<const BYTE*>(&pair.permissions), sizeof(DWORD));
  if (st) return st;
  return RegSetValueExA(key.h, pairValue(keySpec), 0, REG_BINARY,
                        reinterpret_cast<const BYTE*>(pair.blob.data()), DWORD(pair.blob.size()));
}

Pkey containerKeyPair(std::string_view container, DWORD flags, DWORD keySpec) {
  StoredPair pair;
  if (readKeyPair(container, flags, keySpec, &pair)) return nullptr;
  return pkeyFromBlob(pair.blob);
}

}  // namespace pw::crypt
