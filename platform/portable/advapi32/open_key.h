// The keys behind registry handles. A handle stands for one key of one hive with the
// access granted when it was opened; the predefined handles stand for a hive's root key
// (or a key below it) with every right. HKEY_USERS is no key of any hive: it holds the
// hives of the machine's user profiles (".DEFAULT" and the current user's), and a path
// below it goes on in the hive its first name selects.
#pragma once

#include <windows.h>

#include "advapi32/hive.h"
#include "machine/handles.h"

#include <string>
#include <vector>

namespace pw::registry {

struct OpenKey {
  Hive* hive = nullptr;  // null for HKEY_USERS itself
  int64_t id = 0;
  REGSAM access = 0;
  size_t level = 0;  // in the registry's namespace (advapi32/key_path.h)
  bool isUsers() const { return hive == nullptr; }
};

struct KeyObject : pw::handles::ObjectOf<pw::handles::Kind::RegistryKey> {
  OpenKey key;
  // The subkey RegEnumKeyExA answered last through this handle, so that the next index
  // costs one look-up in the index rather than a count from the start: a store of ten
  // thousand certificates is read by enumerating its keys.
  DWORD lastIndex = 0;
  std::string lastName;
};

constexpr REGSAM kWriteRights =
    KEY_SET_VALUE | KEY_CREATE_SUB_KEY | KEY_CREATE_LINK | DELETE | WRITE_DAC | WRITE_OWNER;

// Whether a handle is one of the predefined ones. Windows reads only the low 32 bits of
// such a handle, so on 64-bit HKEY_CURRENT_USER with any upper bits set is still it.
bool isPredefined(HKEY h);
// Whether `h` is the predefined handle `which`, read as Windows reads it.
bool isPredefined(HKEY h, HKEY which);

// The key a handle stands for: ERROR_INVALID_HANDLE for anything but a live key handle or a
// predefined handle the machine has.
LONG resolve(HKEY h, OpenKey* key);

// A new handle for the key; ERROR_NOT_ENOUGH_MEMORY when the handle table cannot grow.
LONG newHandle(const OpenKey& key, PHKEY result);

// ERROR_ACCESS_DENIED unless `granted` holds every right of `right`.
LONG needs(REGSAM granted, REGSAM right);

// Steps below HKEY_USERS: when `from` is HKEY_USERS and `path` names one of its hives, `from`
// becomes that hive's root and the name leaves the path. A first name that is no hive is
// answered with `unknown`. Any other key is left as it is.
LONG enterUsers(OpenKey* from, std::vector<std::string>* path, LONG unknown);

// The names of HKEY_USERS' subkeys, in enumeration order.
std::vector<std::string> usersSubKeys();

// The data as RegQueryValueExA and RegEnumValueA hand it over under their size protocol:
// into `out` when it holds `room` bytes, else ERROR_MORE_DATA; a string (REG_SZ,
// REG_EXPAND_SZ, REG_MULTI_SZ) without its terminator gets one when room allows, which
// the size reported does not count.
LONG copyValueData(DWORD type, const std::string& data, LPBYTE out, DWORD room);

}  // namespace pw::registry
