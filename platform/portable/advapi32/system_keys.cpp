// The machine's own administration of the keys it owns (pwplatform.h).
#include <windows.h>

#include <pwplatform.h>

#include "advapi32/hive.h"
#include "advapi32/key_path.h"

#include <string>
#include <vector>

namespace {

using pw::registry::Hive;
using pw::registry::HiveId;

// The hive of a predefined root and the names of a path below it, within Windows' limits.
LONG locate(HKEY root, LPCSTR sub, Hive** hive, std::vector<std::string>* path) {
  if (root != HKEY_LOCAL_MACHINE && root != HKEY_CURRENT_USER) return ERROR_INVALID_HANDLE;
  if (!sub) return ERROR_INVALID_PARAMETER;
  HiveId id = root == HKEY_CURRENT_USER ? HiveId::User : HiveId::Machine;
  if (LONG st = pw::registry::splitKeyPath(sub, path)) return st;
  if (auto limit = pw::registry::firstBeyondLimits(pw::registry::rootLevel(id), *path); limit.error)
    return limit.error;
  *hive = Hive::get(id);
  return *hive ? ERROR_SUCCESS : ERROR_REGISTRY_IO_FAILED;
}

}  // namespace

LSTATUS WINAPI PwMarkSystemKeyA(HKEY hKey, LPCSTR lpSubKey) {
  Hive* hive;
  std::vector<std::string> path;
  if (LONG st = locate(hKey, lpSubKey, &hive, &path)) return st;
  return hive->markSystemOwned(path);
}

LSTATUS WINAPI PwDeleteSystemKeyA(HKEY hKey, LPCSTR lpSubKey) {
  Hive* hive;
  std::vector<std::string> path;
  if (LONG st = locate(hKey, lpSubKey, &hive, &path)) return st;
  return hive->deleteSystemTree(path);
}
