// What a key reports of itself and of its subkeys: RegQueryInfoKeyA and RegEnumKeyExA.
// A key keeps the class it was created with and the time it was last written (created,
// a value set or deleted, a subkey created or deleted).
#include <windows.h>

#include "advapi32/hive.h"
#include "advapi32/hive_layout.h"
#include "advapi32/open_key.h"
#include "machine/faults.h"
#include "machine/guard.h"

#include <algorithm>
#include <cstring>
#include <string>

namespace {

using pw::faults::injected;
using pw::faults::Point;
using pw::registry::needs;
using pw::registry::OpenKey;
using pw::registry::resolve;

constexpr LSTATUS kNoMemory = ERROR_NOT_ENOUGH_MEMORY;

FILETIME fileTime(int64_t value) {
  return FILETIME{DWORD(uint64_t(value)), DWORD(uint64_t(value) >> 32)};
}

// HKEY_USERS reports its hives as its subkeys, and nothing else.
pw::registry::KeyInfo usersInfo() {
  pw::registry::KeyInfo info;
  for (const std::string& name : pw::registry::usersSubKeys()) {
    ++info.subKeys;
    info.maxSubKeyLen = std::max(info.maxSubKeyLen, DWORD(name.size()));
  }
  info.written = pw::registry::fileTimeNow();
  return info;
}

// The class into a caller's buffer: cut to the buffer, with its terminator, when it does
// not fit; a buffer of no characters is left alone.
LONG copyClass(const std::string& className, LPSTR out, LPDWORD chars) {
  if (!out) {
    if (chars) *chars = DWORD(className.size());
    return ERROR_SUCCESS;
  }
  DWORD room = *chars;
  if (!room) return ERROR_SUCCESS;
  if (className.size() >= room) {
    std::memcpy(out, className.data(), room - 1);
    out[room - 1] = '\0';
    *chars = room - 1;
    return ERROR_MORE_DATA;
  }
  std::memcpy(out, className.c_str(), className.size() + 1);
  *chars = DWORD(className.size());
  return ERROR_SUCCESS;
}

}  // namespace

LSTATUS WINAPI RegQueryInfoKeyA(HKEY hKey, LPSTR lpClass, LPDWORD lpcchClass, LPDWORD lpReserved,
                                LPDWORD lpcSubKeys, LPDWORD lpcbMaxSubKeyLen,
                                LPDWORD lpcbMaxClassLen, LPDWORD lpcValues,
                                LPDWORD lpcbMaxValueNameLen, LPDWORD lpcbMaxValueLen,
                                LPDWORD lpcbSecurityDescriptor, PFILETIME lpftLastWriteTime) {
  return pw::guarded(kNoMemory, [&]() -> LSTATUS {
    if (lpReserved || (lpClass && !lpcchClass)) return ERROR_INVALID_PARAMETER;
    OpenKey key;
    if (LONG st = resolve(hKey, &key)) return st;
    if (LONG st = needs(key.access, KEY_QUERY_VALUE)) return st;
    pw::registry::KeyInfo info;
    if (key.isUsers())
      info = usersInfo();
    else if (LONG st = key.hive->queryInfo(key.id, &info))
      return st;
    LONG st = copyClass(info.className, lpClass, lpcchClass);
    if (lpcSubKeys) *lpcSubKeys = info.subKeys;
    if (lpcbMaxSubKeyLen) *lpcbMaxSubKeyLen = info.maxSubKeyLen;
    if (lpcbMaxClassLen) *lpcbMaxClassLen = info.maxClassLen;
    if (lpcValues) *lpcValues = info.values;
    if (lpcbMaxValueNameLen) *lpcbMaxValueNameLen = info.maxValueNameLen;
    if (lpcbMaxValueLen) *lpcbMaxValueLen = info.maxValueLen;
    // Keys carry no security descriptor on this machine.
    if (lpcbSecurityDescriptor) *lpcbSecurityDescriptor = 0;
    if (lpftLastWriteTime) *lpftLastWriteTime = fileTime(info.written);
    return st;
  });
}

// A name or class that does not fit leaves both buffers and sizes as they were; the last
// write time is reported either way.
LSTATUS WINAPI RegEnumKeyExA(HKEY hKey, DWORD dwIndex, LPSTR lpName, LPDWORD lpcchName,
                             LPDWORD lpReserved, LPSTR lpClass, LPDWORD lpcchClass,
                             PFILETIME lpftLastWriteTime) {
  if (auto fault = injected(Point::RegEnumKeyExA)) return LSTATUS(*fault);
  return pw::guarded(kNoMemory, [&]() -> LSTATUS {
    if (!lpName || !lpcchName || lpReserved) return ERROR_INVALID_PARAMETER;
    OpenKey key;
    if (LONG st = resolve(hKey, &key)) return st;
    if (LONG st = needs(key.access, KEY_ENUMERATE_SUB_KEYS)) return st;
    pw::registry::SubKeyRecord subKey;
    if (key.isUsers()) {
      std::vector<std::string> names = pw::registry::usersSubKeys();
      if (dwIndex >= names.size()) return ERROR_NO_MORE_ITEMS;
      subKey.name = names[dwIndex];
      subKey.written = pw::registry::fileTimeNow();
    } else {
      auto* object = pw::handles::objectFor<pw::registry::KeyObject>(hKey);
      bool follows =
          object && dwIndex && !object->lastName.empty() && object->lastIndex == dwIndex - 1;
      if (LONG st = follows ? key.hive->nextKey(key.id, object->lastName, &subKey)
                            : key.hive->enumKey(key.id, dwIndex, &subKey))
        return st;
      if (object) {
        object->lastIndex = dwIndex;
        object->lastName = subKey.name;
      }
    }
    if (lpftLastWriteTime) *lpftLastWriteTime = fileTime(subKey.written);
    if (subKey.name.size() >= *lpcchName ||
        (lpClass && lpcchClass && subKey.className.size() >= *lpcchClass))
      return ERROR_MORE_DATA;
    std::memcpy(lpName, subKey.name.c_str(), subKey.name.size() + 1);
    *lpcchName = DWORD(subKey.name.size());
    if (lpcchClass) {
      *lpcchClass = DWORD(subKey.className.size());
      if (lpClass) std::memcpy(lpClass, subKey.className.c_str(), subKey.className.size() + 1);
    }
    return ERROR_SUCCESS;
  });
}
