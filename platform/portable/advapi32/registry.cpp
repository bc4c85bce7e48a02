// advapi32's registry functions over the SQLite hives. Handles carry the hive, the
// key's row and the access granted; predefined roots resolve to a hive's root key.
#include <windows.h>

#include "advapi32/hive.h"

#include <cstring>
#include <mutex>
#include <new>
#include <unordered_set>

struct HKEY__ {
  pw::registry::Hive* hive;
  int64_t id;
  REGSAM access;
};

namespace {

using pw::registry::Hive;
using pw::registry::HiveId;

constexpr REGSAM kWriteRights =
    KEY_SET_VALUE | KEY_CREATE_SUB_KEY | KEY_CREATE_LINK | DELETE | WRITE_DAC | WRITE_OWNER;
constexpr size_t kMaxKeyName = 255;
constexpr size_t kMaxValueName = 16383;

std::unordered_set<HKEY>& liveHandles() {
  static auto* set = new std::unordered_set<HKEY>;  // process-wide, never torn down
  return *set;
}

REGSAM expand(REGSAM sam) {
  if (sam & GENERIC_READ) sam |= KEY_READ;
  if (sam & GENERIC_WRITE) sam |= KEY_WRITE;
  if (sam & (GENERIC_ALL | MAXIMUM_ALLOWED)) sam |= KEY_ALL_ACCESS;
  return sam & ~(GENERIC_READ | GENERIC_WRITE | GENERIC_ALL | MAXIMUM_ALLOWED | KEY_WOW64_32KEY |
                 KEY_WOW64_64KEY);
}

// The key a handle stands for. Predefined roots have every right.
LONG resolve(HKEY h, Hive** hive, int64_t* id, REGSAM* access) {
  auto value = reinterpret_cast<ULONG_PTR>(h);
  if (h == HKEY_LOCAL_MACHINE || h == HKEY_CURRENT_USER || h == HKEY_CLASSES_ROOT) {
    *hive = Hive::get(h == HKEY_CURRENT_USER ? HiveId::User : HiveId::Machine);
    if (!*hive) return ERROR_REGISTRY_IO_FAILED;
    *id = Hive::kRootId;
    *access = KEY_ALL_ACCESS;
    if (h == HKEY_CLASSES_ROOT)  // the machine's classes; no per-user merge
      return (*hive)->createPath(Hive::kRootId, {"Software", "Classes"}, id, nullptr);
    return ERROR_SUCCESS;
  }
  if (value == 0 || !liveHandles().count(h)) return ERROR_INVALID_HANDLE;
  *hive = h->hive;
  *id = h->id;
  *access = h->access;
  return ERROR_SUCCESS;
}

// Splits "a\b\c" into its names. A name longer than a key name may be is refused.
LONG splitPath(LPCSTR sub, std::vector<std::string>* out) {
  if (!sub) return ERROR_SUCCESS;
  std::string_view rest(sub);
  while (!rest.empty()) {
    size_t cut = rest.find('\\');
    std::string_view name = rest.substr(0, cut);
    if (!name.empty()) {
      if (name.size() > kMaxKeyName) return ERROR_INVALID_PARAMETER;
      out->emplace_back(name);
    }
    if (cut == std::string_view::npos) break;
    rest.remove_prefix(cut + 1);
  }
  return ERROR_SUCCESS;
}

LONG newHandle(Hive* hive, int64_t id, REGSAM access, PHKEY result) {
  HKEY h = new (std::nothrow) HKEY__{hive, id, access};
  if (!h) return ERROR_OUTOFMEMORY;
  liveHandles().insert(h);
  *result = h;
  return ERROR_SUCCESS;
}

LONG needs(REGSAM granted, REGSAM right) {
  return (granted & right) == right ? ERROR_SUCCESS : ERROR_ACCESS_DENIED;
}

}  // namespace

LSTATUS WINAPI RegOpenKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD, REGSAM samDesired,
                             PHKEY phkResult) {
  if (!phkResult) return ERROR_INVALID_PARAMETER;
  *phkResult = nullptr;
  Hive* hive;
  int64_t from;
  REGSAM granted;
  if (LONG st = resolve(hKey, &hive, &from, &granted)) return st;
  std::vector<std::string> path;
  if (LONG st = splitPath(lpSubKey, &path)) return st;
  REGSAM sam = expand(samDesired);
  if ((sam & kWriteRights) && !hive->writable()) return ERROR_ACCESS_DENIED;
  int64_t id;
  if (LONG st = hive->openPath(from, path, &id)) return st;
  return newHandle(hive, id, sam, phkResult);
}

LSTATUS WINAPI RegCreateKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD, LPSTR, DWORD dwOptions,
                               REGSAM samDesired, LPSECURITY_ATTRIBUTES, PHKEY phkResult,
                               LPDWORD lpdwDisposition) {
  if (!phkResult || !lpSubKey) return ERROR_INVALID_PARAMETER;
  *phkResult = nullptr;
  if (lpSubKey[0] == '\\') return ERROR_BAD_PATHNAME;
  if (dwOptions & ~(REG_OPTION_VOLATILE | 0x4 /* backup */ | 0x8 /* open link */))
    return ERROR_INVALID_PARAMETER;
  Hive* hive;
  int64_t from;
  REGSAM granted;
  if (LONG st = resolve(hKey, &hive, &from, &granted)) return st;
  std::vector<std::string> path;
  if (LONG st = splitPath(lpSubKey, &path)) return st;
  REGSAM sam = expand(samDesired);
  if ((sam & kWriteRights) && !hive->writable()) return ERROR_ACCESS_DENIED;
  int64_t id;
  if (LONG st = hive->createPath(from, path, &id, lpdwDisposition)) return st;
  return newHandle(hive, id, sam, phkResult);
}

LSTATUS WINAPI RegQueryValueExA(HKEY hKey, LPCSTR lpValueName, LPDWORD lpReserved, LPDWORD lpType,
                                LPBYTE lpData, LPDWORD lpcbData) {
  if (lpReserved || (lpData && !lpcbData)) return ERROR_INVALID_PARAMETER;
  Hive* hive;
  int64_t id;
  REGSAM granted;
  if (LONG st = resolve(hKey, &hive, &id, &granted)) return st;
  if (LONG st = needs(granted, KEY_QUERY_VALUE)) return st;
  DWORD type = REG_NONE;
  std::string data;
  if (LONG st = hive->queryValue(id, lpValueName ? lpValueName : "", &type, &data)) return st;
  if (lpType) *lpType = type;
  LONG st = ERROR_SUCCESS;
  if (lpData) {
    if (*lpcbData < data.size()) st = ERROR_MORE_DATA;
    else std::memcpy(lpData, data.data(), data.size());
  }
  if (lpcbData) *lpcbData = DWORD(data.size());
  return st;
}

LSTATUS WINAPI RegSetValueExA(HKEY hKey, LPCSTR lpValueName, DWORD, DWORD dwType,
                              const BYTE* lpData, DWORD cbData) {
  if (!lpData && cbData) return ERROR_NOACCESS;
  std::string_view name = lpValueName ? lpValueName : "";
  if (name.size() > kMaxValueName) return ERROR_INVALID_PARAMETER;
  Hive* hive;
  int64_t id;
  REGSAM granted;
  if (LONG st = resolve(hKey, &hive, &id, &granted)) return st;
  if (LONG st = needs(granted, KEY_SET_VALUE)) return st;
  return hive->setValue(id, name,
                        dwType, std::string_view(reinterpret_cast<const char*>(lpData), cbData));
}

LSTATUS WINAPI RegDeleteValueA(HKEY hKey, LPCSTR lpValueName) {
  Hive* hive;
  int64_t id;
  REGSAM granted;
  if (LONG st = resolve(hKey, &hive, &id, &granted)) return st;
  if (LONG st = needs(granted, KEY_SET_VALUE)) return st;
  return hive->deleteValue(id, lpValueName ? lpValueName : "");
}

LSTATUS WINAPI RegEnumKeyExA(HKEY hKey, DWORD dwIndex, LPSTR lpName, LPDWORD lpcchName,
                             LPDWORD lpReserved, LPSTR lpClass, LPDWORD lpcchClass,
                             PFILETIME lpftLastWriteTime) {
  if (!lpName || !lpcchName || lpReserved) return ERROR_INVALID_PARAMETER;
  Hive* hive;
  int64_t id;
  REGSAM granted;
  if (LONG st = resolve(hKey, &hive, &id, &granted)) return st;
  if (LONG st = needs(granted, KEY_ENUMERATE_SUB_KEYS)) return st;
  std::string name;
  if (LONG st = hive->enumKey(id, dwIndex, &name)) return st;
  if (*lpcchName <= name.size()) return ERROR_MORE_DATA;
  std::memcpy(lpName, name.c_str(), name.size() + 1);
  *lpcchName = DWORD(name.size());
  if (lpClass && lpcchClass && *lpcchClass) *lpClass = '\0';
  if (lpcchClass) *lpcchClass = 0;
  if (lpftLastWriteTime) *lpftLastWriteTime = FILETIME{0, 0};
  return ERROR_SUCCESS;
}

LSTATUS WINAPI RegEnumValueA(HKEY hKey, DWORD dwIndex, LPSTR lpValueName, LPDWORD lpcchValueName,
                             LPDWORD lpReserved, LPDWORD lpType, LPBYTE lpData,
                             LPDWORD lpcbData) {
  if (!lpValueName || !lpcchValueName || lpReserved || (lpData && !lpcbData))
    return ERROR_INVALID_PARAMETER;
  Hive* hive;
  int64_t id;
  REGSAM granted;
  if (LONG st = resolve(hKey, &hive, &id, &granted)) return st;
  if (LONG st = needs(granted, KEY_QUERY_VALUE)) return st;
  pw::registry::ValueRecord v;
  if (LONG st = hive->enumValue(id, dwIndex, &v)) return st;
  if (*lpcchValueName <= v.name.size()) return ERROR_MORE_DATA;
  std::memcpy(lpValueName, v.name.c_str(), v.name.size() + 1);
  *lpcchValueName = DWORD(v.name.size());
  if (lpType) *lpType = v.type;
  LONG st = ERROR_SUCCESS;
  if (lpData) {
    if (*lpcbData < v.data.size()) st = ERROR_MORE_DATA;
    else std::memcpy(lpData, v.data.data(), v.data.size());
  }
  if (lpcbData) *lpcbData = DWORD(v.data.size());
  return st;
}

LSTATUS WINAPI RegQueryInfoKeyA(HKEY hKey, LPSTR lpClass, LPDWORD lpcchClass, LPDWORD lpReserved,
                                LPDWORD lpcSubKeys, LPDWORD lpcbMaxSubKeyLen,
                                LPDWORD lpcbMaxClassLen, LPDWORD lpcValues,
                                LPDWORD lpcbMaxValueNameLen, LPDWORD lpcbMaxValueLen,
                                LPDWORD lpcbSecurityDescriptor, PFILETIME lpftLastWriteTime) {
  if (lpReserved) return ERROR_INVALID_PARAMETER;
  Hive* hive;
  int64_t id;
  REGSAM granted;
  if (LONG st = resolve(hKey, &hive, &id, &granted)) return st;
  if (LONG st = needs(granted, KEY_QUERY_VALUE)) return st;
  pw::registry::KeyInfo info;
  if (LONG st = hive->queryInfo(id, &info)) return st;
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
}

LSTATUS WINAPI RegDeleteKeyA(HKEY hKey, LPCSTR lpSubKey) {
  if (!lpSubKey) return ERROR_INVALID_PARAMETER;
  Hive* hive;
  int64_t from;
  REGSAM granted;
  if (LONG st = resolve(hKey, &hive, &from, &granted)) return st;
  std::vector<std::string> path;
  if (LONG st = splitPath(lpSubKey, &path)) return st;
  if (path.empty()) return hive->deleteKeyItself(from);  // an empty name deletes the key itself
  std::string last = path.back();
  path.pop_back();
  int64_t parent;
  if (LONG st = hive->openPath(from, path, &parent)) return st;
  return hive->deleteKey(parent, last);
}

LSTATUS WINAPI RegFlushKey(HKEY hKey) {
  Hive* hive;
  int64_t id;
  REGSAM granted;
  return resolve(hKey, &hive, &id, &granted);  // every change is committed already
}

LSTATUS WINAPI RegCloseKey(HKEY hKey) {
  if (hKey == HKEY_LOCAL_MACHINE || hKey == HKEY_CURRENT_USER || hKey == HKEY_CLASSES_ROOT ||
      hKey == HKEY_USERS)
    return ERROR_SUCCESS;
  if (!hKey || !liveHandles().erase(hKey)) return ERROR_INVALID_HANDLE;
  delete hKey;
  return ERROR_SUCCESS;
}
