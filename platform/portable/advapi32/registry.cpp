// advapi32's registry functions over the SQLite hives: opening, creating, deleting and
// closing keys (advapi32/open_key.h says what a handle stands for). The values are in
// registry_values.cpp, what a key reports of itself in registry_info.cpp.
//
// The last error: the registry functions answer with their status and never set it, on
// success or failure (platform/last-error.md).
#include <windows.h>

#include "advapi32/hive.h"
#include "advapi32/key_path.h"
#include "advapi32/open_key.h"
#include "machine/faults.h"
#include "machine/guard.h"

#include <string>
#include <vector>

namespace {

using pw::faults::injected;
using pw::faults::Point;
using pw::registry::enterUsers;
using pw::registry::Hive;
using pw::registry::isPredefined;
using pw::registry::kWriteRights;
using pw::registry::OpenKey;
using pw::registry::openKeyPath;
using pw::registry::resolve;
using pw::registry::splitKeyPath;

constexpr LSTATUS kNoMemory = ERROR_NOT_ENOUGH_MEMORY;

REGSAM expand(REGSAM sam) {
  if (sam & GENERIC_READ) sam |= KEY_READ;
  if (sam & GENERIC_WRITE) sam |= KEY_WRITE;
  if (sam & (GENERIC_ALL | MAXIMUM_ALLOWED)) sam |= KEY_ALL_ACCESS;
  return sam & ~(GENERIC_READ | GENERIC_WRITE | GENERIC_ALL | MAXIMUM_ALLOWED | KEY_WOW64_32KEY |
                 KEY_WOW64_64KEY);
}

}  // namespace

LSTATUS WINAPI RegOpenKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD, REGSAM samDesired,
                             PHKEY phkResult) {
  if (auto fault = injected(Point::RegOpenKeyExA)) return LSTATUS(*fault);
  return pw::guarded(kNoMemory, [&]() -> LSTATUS {
    // No name below a predefined handle is that handle itself, not a new one.
    if (phkResult && (!lpSubKey || !*lpSubKey) && isPredefined(hKey)) {
      *phkResult = hKey;
      return ERROR_SUCCESS;
    }
    // Below the classes root a leading backslash is taken as no more than a separator.
    if (pw::registry::isPredefined(hKey, HKEY_CLASSES_ROOT) && lpSubKey && *lpSubKey == '\\')
      ++lpSubKey;
    if (!phkResult) return ERROR_INVALID_PARAMETER;
    if (!hKey) return ERROR_INVALID_HANDLE;  // the out-handle stays as it was
    *phkResult = nullptr;
    OpenKey from;
    if (LONG st = resolve(hKey, &from)) return st;
    std::vector<std::string> path;
    if (LONG st = splitKeyPath(lpSubKey, &path)) return st;
    if (LONG st = enterUsers(&from, &path, ERROR_FILE_NOT_FOUND)) return st;
    OpenKey key = from;
    key.access = expand(samDesired);
    key.level = from.level + path.size();
    if (!key.isUsers()) {
      // A missing key is missing before the hive's protection is looked at.
      if (LONG st = openKeyPath(key.hive, from.id, from.level, path, &key.id)) return st;
      if ((key.access & kWriteRights) && !key.hive->writable()) return ERROR_ACCESS_DENIED;
    }
    return pw::registry::newHandle(key, phkResult);
  });
}

LSTATUS WINAPI RegCreateKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD, LPSTR lpClass, DWORD dwOptions,
                               REGSAM samDesired, LPSECURITY_ATTRIBUTES, PHKEY phkResult,
                               LPDWORD lpdwDisposition) {
  if (auto fault = injected(Point::RegCreateKeyExA)) return LSTATUS(*fault);
  return pw::guarded(kNoMemory, [&]() -> LSTATUS {
    if (!phkResult || !lpSubKey) return ERROR_INVALID_PARAMETER;
    *phkResult = nullptr;
    if (dwOptions & ~(REG_OPTION_VOLATILE | 0x4 /* backup */ | 0x8 /* open link */))
      return ERROR_INVALID_PARAMETER;
    OpenKey from;
    if (LONG st = resolve(hKey, &from)) return st;
    std::vector<std::string> path;
    if (LONG st = splitKeyPath(lpSubKey, &path)) return st;
    // HKEY_USERS takes no keys of its own: only its hives are mounted there.
    if (LONG st = enterUsers(&from, &path, ERROR_ACCESS_DENIED)) return st;
    OpenKey key = from;
    key.access = expand(samDesired);
    key.level = from.level + path.size();
    if (key.isUsers()) return pw::registry::newHandle(key, phkResult);
    if ((key.access & kWriteRights) && !key.hive->writable()) return ERROR_ACCESS_DENIED;
    pw::registry::CreateOptions options;
    options.isVolatile = (dwOptions & REG_OPTION_VOLATILE) != 0;
    options.className = lpClass;
    // Of a path that breaks Windows' limits, the keys before the first name that does
    // are made, as Windows makes them one by one.
    auto [at, error] = pw::registry::firstBeyondLimits(from.level, path);
    if (at < path.size()) {
      path.resize(at);
      int64_t id;
      if (LONG st = key.hive->createPath(from.id, path, &id, nullptr, options)) return st;
      return error;
    }
    if (LONG st = key.hive->createPath(from.id, path, &key.id, lpdwDisposition, options)) return st;
    return pw::registry::newHandle(key, phkResult);
  });
}

LSTATUS WINAPI RegDeleteKeyA(HKEY hKey, LPCSTR lpSubKey) {
  if (auto fault = injected(Point::RegDeleteKeyA)) return LSTATUS(*fault);
  return pw::guarded(kNoMemory, [&]() -> LSTATUS {
    if (!lpSubKey) return ERROR_INVALID_PARAMETER;
    OpenKey from;
    if (LONG st = resolve(hKey, &from)) return st;
    std::vector<std::string> path;
    if (LONG st = splitKeyPath(lpSubKey, &path)) return st;
    if (LONG st = enterUsers(&from, &path, ERROR_FILE_NOT_FOUND)) return st;
    if (from.isUsers()) return ERROR_ACCESS_DENIED;                // HKEY_USERS itself
    if (path.empty()) return from.hive->deleteKeyItself(from.id);  // "" deletes the key itself
    // A path beyond the registry's limits is answered as opening it would be.
    if (pw::registry::firstBeyondLimits(from.level, path).at != path.size()) {
      int64_t id;
      return openKeyPath(from.hive, from.id, from.level, path, &id);
    }
    return from.hive->deleteKey(from.id, path);
  });
}

LSTATUS WINAPI RegFlushKey(HKEY hKey) {
  return pw::guarded(kNoMemory, [&]() -> LSTATUS {
    OpenKey key;
    if (LONG st = resolve(hKey, &key)) return st;
    if (key.isUsers()) return ERROR_SUCCESS;
    if (LONG st = key.hive->keyExists(key.id)) return st;  // a deleted key has nothing to flush
    // Every change is committed already; this puts it on the disk.
    return key.hive->flush() ? ERROR_SUCCESS : ERROR_REGISTRY_IO_FAILED;
  });
}

LSTATUS WINAPI RegCloseKey(HKEY hKey) {
  if (isPredefined(hKey)) return ERROR_SUCCESS;
  if (!pw::handles::objectFor<pw::registry::KeyObject>(hKey)) return ERROR_INVALID_HANDLE;
  pw::handles::destroyObject(hKey);
  return ERROR_SUCCESS;
}
