// The machine's own administration of the keys it owns (pwplatform.h).
#include <windows.h>

#include <pwplatform.h>

#include "advapi32/hive.h"

#include <string>
#include <string_view>
#include <vector>

namespace {

using pw::registry::Hive;
using pw::registry::HiveId;

// The hive of a predefined root and the names of a path below it.
LONG locate(HKEY root, LPCSTR sub, Hive** hive, std::vector<std::string>* path) {
  if (root != HKEY_LOCAL_MACHINE && root != HKEY_CURRENT_USER) return ERROR_INVALID_HANDLE;
  if (!sub) return ERROR_INVALID_PARAMETER;
  *hive = Hive::get(root == HKEY_CURRENT_USER ? HiveId::User : HiveId::Machine);
  if (!*hive) return ERROR_REGISTRY_IO_FAILED;
  std::string_view rest(sub);
  while (!rest.empty()) {
    size_t cut = rest.find('\\');
    if (std::string_view name = rest.substr(0, cut); !name.empty()) path->emplace_back(name);
    if (cut == std::string_view::npos) break;
    rest.remove_prefix(cut + 1);
  }
  return ERROR_SUCCESS;
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
