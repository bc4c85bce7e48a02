// advapi32's value functions. Values keep the exact bytes they were given, with one
// exception Windows makes: string data (REG_SZ, REG_EXPAND_SZ, REG_MULTI_SZ) whose last
// byte counted is no zero but whose next byte is gets that zero too, as the terminator its
// caller forgot to count. Reading string data back into a buffer with room to spare adds
// a terminator the data lacks, without counting it.
#include <windows.h>

#include "advapi32/hive.h"
#include "advapi32/key_path.h"
#include "advapi32/open_key.h"
#include "machine/faults.h"
#include "machine/guard.h"

#include <cstring>
#include <string>

namespace {

using pw::faults::injected;
using pw::faults::Point;
using pw::registry::copyValueData;
using pw::registry::needs;
using pw::registry::OpenKey;
using pw::registry::resolve;

constexpr LSTATUS kNoMemory = ERROR_NOT_ENOUGH_MEMORY;

bool isString(DWORD type) {
  return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ;
}

}  // namespace

LSTATUS WINAPI RegQueryValueExA(HKEY hKey, LPCSTR lpValueName, LPDWORD lpReserved, LPDWORD lpType,
                                LPBYTE lpData, LPDWORD lpcbData) {
  if (auto fault = injected(Point::RegQueryValueExA)) return LSTATUS(*fault);
  return pw::guarded(kNoMemory, [&]() -> LSTATUS {
    if (lpReserved || (lpData && !lpcbData)) return ERROR_INVALID_PARAMETER;
    OpenKey key;
    if (LONG st = resolve(hKey, &key)) return st;
    // The room is read before anything is written: type and size may share a variable.
    DWORD room = lpcbData ? *lpcbData : 0;
    if (!lpData && lpcbData) *lpcbData = 0;  // a size asked of a missing value is 0
    // Windows leaves the type of a value it does not find undefined; it reads REG_NONE.
    if (lpType) *lpType = REG_NONE;
    if (LONG st = needs(key.access, KEY_QUERY_VALUE)) return st;
    if (key.isUsers()) return ERROR_FILE_NOT_FOUND;
    DWORD type = REG_NONE;
    std::string data;
    if (LONG st = key.hive->queryValue(key.id, lpValueName ? lpValueName : "", &type, &data))
      return st;
    LONG st = copyValueData(type, data, lpData, room);
    if (lpType) *lpType = type;
    if (lpcbData) *lpcbData = DWORD(data.size());
    return st;
  });
}

LSTATUS WINAPI RegSetValueExA(HKEY hKey, LPCSTR lpValueName, DWORD, DWORD dwType,
                              const BYTE* lpData, DWORD cbData) {
  if (auto fault = injected(Point::RegSetValueExA)) return LSTATUS(*fault);
  return pw::guarded(kNoMemory, [&]() -> LSTATUS {
    if (!lpData && cbData) return ERROR_NOACCESS;
    std::string_view name = lpValueName ? lpValueName : "";
    if (name.size() > pw::registry::kMaxValueName) return ERROR_INVALID_PARAMETER;
    OpenKey key;
    if (LONG st = resolve(hKey, &key)) return st;
    if (LONG st = needs(key.access, KEY_SET_VALUE)) return st;
    if (key.isUsers()) return ERROR_ACCESS_DENIED;
    if (isString(dwType) && cbData && lpData[cbData - 1] && !lpData[cbData]) ++cbData;
    return key.hive->setValue(key.id, name, dwType,
                              std::string_view(reinterpret_cast<const char*>(lpData), cbData));
  });
}

LSTATUS WINAPI RegDeleteValueA(HKEY hKey, LPCSTR lpValueName) {
  return pw::guarded(kNoMemory, [&]() -> LSTATUS {
    OpenKey key;
    if (LONG st = resolve(hKey, &key)) return st;
    if (LONG st = needs(key.access, KEY_SET_VALUE)) return st;
    if (key.isUsers()) return ERROR_FILE_NOT_FOUND;
    return key.hive->deleteValue(key.id, lpValueName ? lpValueName : "");
  });
}

// The data is looked at before the name: data that does not fit leaves the name
// buffer untouched, while a name that does not fit, after data that did, is cut to the
// buffer with its terminator. Type and data size are reported either way; the name's
// size only when the name fits.
LSTATUS WINAPI RegEnumValueA(HKEY hKey, DWORD dwIndex, LPSTR lpValueName, LPDWORD lpcchValueName,
                             LPDWORD lpReserved, LPDWORD lpType, LPBYTE lpData, LPDWORD lpcbData) {
  return pw::guarded(kNoMemory, [&]() -> LSTATUS {
    if (!lpValueName || !lpcchValueName || lpReserved || (lpData && !lpcbData))
      return ERROR_INVALID_PARAMETER;
    OpenKey key;
    if (LONG st = resolve(hKey, &key)) return st;
    if (LONG st = needs(key.access, KEY_QUERY_VALUE)) return st;
    if (key.isUsers()) return ERROR_NO_MORE_ITEMS;
    pw::registry::ValueRecord v;
    if (LONG st = key.hive->enumValue(key.id, dwIndex, &v)) return st;
    LONG st = copyValueData(v.type, v.data, lpData, lpcbData ? *lpcbData : 0);
    if (st == ERROR_SUCCESS) {
      DWORD room = *lpcchValueName;
      if (v.name.size() >= room) {
        st = ERROR_MORE_DATA;
        if (room) {
          std::memcpy(lpValueName, v.name.data(), room - 1);
          lpValueName[room - 1] = '\0';
        }
      } else {
        std::memcpy(lpValueName, v.name.c_str(), v.name.size() + 1);
        *lpcchValueName = DWORD(v.name.size());
      }
    }
    if (lpType) *lpType = v.type;
    if (lpcbData) *lpcbData = DWORD(v.data.size());
    return st;
  });
}
