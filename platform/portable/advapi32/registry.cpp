// advapi32's registry functions over the SQLite hives. A handle stands for one key of
// one hive with the access granted when it was opened; the predefined roots resolve to
// a hive's root key with every right.
#include <windows.h>

#include "advapi32/hive.h"
#include "advapi32/key_path.h"
#include "kernel32/handles.h"
#include "machine/faults.h"
#include "machine/guard.h"

#include <cstring>
#include <string>
#include <vector>

namespace {

using pw::faults::injected;
using pw::faults::Point;
using pw::registry::Hive;
using pw::registry::HiveId;
using pw::registry::kMaxValueName;
using pw::registry::openKeyPath;
using pw::registry::splitKeyPath;

constexpr REGSAM kWriteRights =
    KEY_SET_VALUE | KEY_CREATE_SUB_KEY | KEY_CREATE_LINK | DELETE | WRITE_DAC | WRITE_OWNER;
constexpr LSTATUS kNoMemory = ERROR_NOT_ENOUGH_MEMORY;

// The key a handle stands for.
struct OpenKey {
  Hive* hive = nullptr;
  int64_t id = 0;
  REGSAM access = 0;
  size_t level = 0;  // in the registry's namespace (advapi32/key_path.h)
};

struct KeyObject : pw::handles::ObjectOf<pw::handles::Kind::RegistryKey> {
  OpenKey key;
};

bool isPredefined(HKEY h) {
  return h == HKEY_LOCAL_MACHINE || h == HKEY_CURRENT_USER || h == HKEY_CLASSES_ROOT ||
         h == HKEY_USERS;
}

REGSAM expand(REGSAM sam) {
  if (sam & GENERIC_READ) sam |= KEY_READ;
  if (sam & GENERIC_WRITE) sam |= KEY_WRITE;
  if (sam & (GENERIC_ALL | MAXIMUM_ALLOWED)) sam |= KEY_ALL_ACCESS;
  return sam & ~(GENERIC_READ | GENERIC_WRITE | GENERIC_ALL | MAXIMUM_ALLOWED | KEY_WOW64_32KEY |
                 KEY_WOW64_64KEY);
}

// The key a handle stands for. Predefined roots have every right.
LONG resolve(HKEY h, OpenKey* key) {
  if (h == HKEY_LOCAL_MACHINE || h == HKEY_CURRENT_USER || h == HKEY_CLASSES_ROOT) {
    key->hive = Hive::get(h == HKEY_CURRENT_USER ? HiveId::User : HiveId::Machine);
    if (!key->hive) return ERROR_REGISTRY_IO_FAILED;
    key->id = Hive::kRootId;
    key->access = KEY_ALL_ACCESS;
    key->level = pw::registry::rootLevel(h == HKEY_CURRENT_USER ? HiveId::User : HiveId::Machine);
    if (h == HKEY_CLASSES_ROOT) {  // the machine's classes; no per-user merge
      key->level = pw::registry::kClassesRootLevel;
      return key->hive->createPath(Hive::kRootId, {"Software", "Classes"}, &key->id, nullptr);
    }
    return ERROR_SUCCESS;
  }
  auto* object = pw::handles::objectFor<KeyObject>(h);
  if (!object) return ERROR_INVALID_HANDLE;
  *key = object->key;
  return ERROR_SUCCESS;
}

LONG newHandle(const OpenKey& key, PHKEY result) {
  auto object = std::make_unique<KeyObject>();
  object->key = key;
  HKEY h = pw::handles::addObject<HKEY>(std::move(object));
  if (!h) return kNoMemory;
  *result = h;
  return ERROR_SUCCESS;
}

LONG needs(REGSAM granted, REGSAM right) {
  return (granted & right) == right ? ERROR_SUCCESS : ERROR_ACCESS_DENIED;
}

// Copies data into a caller's buffer under the size protocol of the value calls: no
// buffer asks for the size, a short one gets ERROR_MORE_DATA and the size.
LONG copyData(const std::string& data, LPBYTE out, LPDWORD size) {
  LONG st = ERROR_SUCCESS;
  if (out) {
    if (*size < data.size())
      st = ERROR_MORE_DATA;
    else
      std::memcpy(out, data.data(), data.size());
  }
  if (size) *size = DWORD(data.size());
  return st;
}

}  // namespace

LSTATUS WINAPI RegOpenKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD, REGSAM samDesired,
                             PHKEY phkResult) {
  if (auto fault = injected(Point::RegOpenKeyExA)) return LSTATUS(*fault);
  return pw::guarded(kNoMemory, [&]() -> LSTATUS {
    if (!phkResult) return ERROR_INVALID_PARAMETER;
    *phkResult = nullptr;
    OpenKey from;
    if (LONG st = resolve(hKey, &from)) return st;
    std::vector<std::string> path;
    if (LONG st = splitKeyPath(lpSubKey, &path)) return st;
    OpenKey key{from.hive, 0, expand(samDesired), from.level + path.size()};
    // A missing key is missing before the hive's protection is looked at.
    if (LONG st = openKeyPath(key.hive, from.id, from.level, path, &key.id)) return st;
    if ((key.access & kWriteRights) && !key.hive->writable()) return ERROR_ACCESS_DENIED;
    return newHandle(key, phkResult);
  });
}

LSTATUS WINAPI RegCreateKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD, LPSTR, DWORD dwOptions,
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
    OpenKey key{from.hive, 0, expand(samDesired), from.level + path.size()};
    if ((key.access & kWriteRights) && !key.hive->writable()) return ERROR_ACCESS_DENIED;
    // Of a path that breaks Windows' limits, the keys before the first name that does
    // are made, as Windows makes them one by one.
    auto [at, error] = pw::registry::firstBeyondLimits(from.level, path);
    if (at < path.size()) {
      path.resize(at);
      int64_t id;
      if (LONG st = key.hive->createPath(from.id, path, &id, nullptr)) return st;
      return error;
    }
    if (LONG st = key.hive->createPath(from.id, path, &key.id, lpdwDisposition)) return st;
    return newHandle(key, phkResult);
  });
}

LSTATUS WINAPI RegQueryValueExA(HKEY hKey, LPCSTR lpValueName, LPDWORD lpReserved, LPDWORD lpType,
                                LPBYTE lpData, LPDWORD lpcbData) {
  if (auto fault = injected(Point::RegQueryValueExA)) return LSTATUS(*fault);
  return pw::guarded(kNoMemory, [&]() -> LSTATUS {
    if (lpReserved || (lpData && !lpcbData)) return ERROR_INVALID_PARAMETER;
    OpenKey key;
    if (LONG st = resolve(hKey, &key)) return st;
    if (LONG st = needs(key.access, KEY_QUERY_VALUE)) return st;
    DWORD type = REG_NONE;
    std::string data;
    if (LONG st = key.hive->queryValue(key.id, lpValueName ? lpValueName : "", &type, &data))
      return st;
    if (lpType) *lpType = type;
    return copyData(data, lpData, lpcbData);
  });
}

LSTATUS WINAPI RegSetValueExA(HKEY hKey, LPCSTR lpValueName, DWORD, DWORD dwType,
                              const BYTE* lpData, DWORD cbData) {
  if (auto fault = injected(Point::RegSetValueExA)) return LSTATUS(*fault);
  return pw::guarded(kNoMemory, [&]() -> LSTATUS {
    if (!lpData && cbData) return ERROR_NOACCESS;
    std::string_view name = lpValueName ? lpValueName : "";
    if (name.size() > kMaxValueName) return ERROR_INVALID_PARAMETER;
    OpenKey key;
    if (LONG st = resolve(hKey, &key)) return st;
    if (LONG st = needs(key.access, KEY_SET_VALUE)) return st;
    return key.hive->setValue(key.id, name, dwType,
                              std::string_view(reinterpret_cast<const char*>(lpData), cbData));
  });
}

LSTATUS WINAPI RegDeleteValueA(HKEY hKey, LPCSTR lpValueName) {
  return pw::guarded(kNoMemory, [&]() -> LSTATUS {
    OpenKey key;
    if (LONG st = resolve(hKey, &key)) return st;
    if (LONG st = needs(key.access, KEY_SET_VALUE)) return st;
    return key.hive->deleteValue(key.id, lpValueName ? lpValueName : "");
  });
}

LSTATUS WINAPI RegEnumKeyExA(HKEY hKey, DWORD dwIndex, LPSTR lpName, LPDWORD lpcchName,
                             LPDWORD lpReserved, LPSTR lpClass, LPDWORD lpcchClass,
                             PFILETIME lpftLastWriteTime) {
  if (auto fault = injected(Point::RegEnumKeyExA)) return LSTATUS(*fault);
  return pw::guarded(kNoMemory, [&]() -> LSTATUS {
    if (!lpName || !lpcchName || lpReserved) return ERROR_INVALID_PARAMETER;
    OpenKey key;
    if (LONG st = resolve(hKey, &key)) return st;
    if (LONG st = needs(key.access, KEY_ENUMERATE_SUB_KEYS)) return st;
    std::string name;
    if (LONG st = key.hive->enumKey(key.id, dwIndex, &name)) return st;
    if (*lpcchName <= name.size()) return ERROR_MORE_DATA;
    std::memcpy(lpName, name.c_str(), name.size() + 1);
    *lpcchName = DWORD(name.size());
    if (lpClass && lpcchClass && *lpcchClass) *lpClass = '\0';
    if (lpcchClass) *lpcchClass = 0;
    if (lpftLastWriteTime) *lpftLastWriteTime = FILETIME{0, 0};
    return ERROR_SUCCESS;
  });
}

LSTATUS WINAPI RegEnumValueA(HKEY hKey, DWORD dwIndex, LPSTR lpValueName, LPDWORD lpcchValueName,
                             LPDWORD lpReserved, LPDWORD lpType, LPBYTE lpData, LPDWORD lpcbData) {
  return pw::guarded(kNoMemory, [&]() -> LSTATUS {
    if (!lpValueName || !lpcchValueName || lpReserved || (lpData && !lpcbData))
      return ERROR_INVALID_PARAMETER;
    OpenKey key;
    if (LONG st = resolve(hKey, &key)) return st;
    if (LONG st = needs(key.access, KEY_QUERY_VALUE)) return st;
    pw::registry::ValueRecord v;
    if (LONG st = key.hive->enumValue(key.id, dwIndex, &v)) return st;
    if (*lpcchValueName <= v.name.size()) return ERROR_MORE_DATA;
    std::memcpy(lpValueName, v.name.c_str(), v.name.size() + 1);
    *lpcchValueName = DWORD(v.name.size());
    if (lpType) *lpType = v.type;
    return copyData(v.data, lpData, lpcbData);
  });
}

LSTATUS WINAPI RegQueryInfoKeyA(HKEY hKey, LPSTR lpClass, LPDWORD lpcchClass, LPDWORD lpReserved,
                                LPDWORD lpcSubKeys, LPDWORD lpcbMaxSubKeyLen,
                                LPDWORD lpcbMaxClassLen, LPDWORD lpcValues,
                                LPDWORD lpcbMaxValueNameLen, LPDWORD lpcbMaxValueLen,
                                LPDWORD lpcbSecurityDescriptor, PFILETIME lpftLastWriteTime) {
  return pw::guarded(kNoMemory, [&]() -> LSTATUS {
    if (lpReserved) return ERROR_INVALID_PARAMETER;
    OpenKey key;
    if (LONG st = resolve(hKey, &key)) return st;
    if (LONG st = needs(key.access, KEY_QUERY_VALUE)) return st;
    pw::registry::KeyInfo info;
    if (LONG st = key.hive->queryInfo(key.id, &info)) return st;
    if (lpClass && lpcchClass && *lpcchClass) *lpClass = '\0';
    if (lpcchClass) *lpcchClass = 0;
    if (lpcSubKeys) *lpcSubKeys = info.subKeys;
    if (lpcbMaxSubKeyLen) *lpcbMaxSubKeyLen = info.maxSubKeyLen;
    if (lpcbMaxClassLen) *lpcbMaxClassLen = 0;
    if (lpcValues) *lpcValues = info.values;
    if (lpcbMaxValueNameLen) *lpcbMaxValueNameLen = info.maxValueNameLen;
    if (lpcbMaxValueLen) *lpcbMaxValueLen = info.maxValueLen;
    if (lpcbSecurityDescriptor) *lpcbSecurityDescriptor = 0;
    if (lpftLastWriteTime) *lpftLastWriteTime = FILETIME{0, 0};
    return ERROR_SUCCESS;
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
    // Every change is committed already; this puts it on the disk.
    return key.hive->flush() ? ERROR_SUCCESS : ERROR_REGISTRY_IO_FAILED;
  });
}

LSTATUS WINAPI RegCloseKey(HKEY hKey) {
  if (isPredefined(hKey)) return ERROR_SUCCESS;
  if (!pw::handles::objectFor<KeyObject>(hKey)) return ERROR_INVALID_HANDLE;
  pw::handles::destroyObject(hKey);
  return ERROR_SUCCESS;
}
