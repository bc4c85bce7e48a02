// Registry keys: an open key that closes itself, and the walk that deletes a key
// with everything below it.
// Its traits have the form of every family header's (owned.h).
#pragma once

#include <windows.h>

#include "owned.h"

namespace win32 {

struct RegKeyTraits {
  using Type = HKEY;
  static Type none() { return nullptr; }
  static void close(Type key) { RegCloseKey(key); }
};
using RegKey = Owned<RegKeyTraits>;

// Windows' RegSetValueExA takes a zero byte right behind string data as the
// terminator its caller forgot to count, and stores it too. Data handed over with this
// byte behind it is stored as exactly the bytes counted, on every platform.
inline constexpr BYTE kDataGuardByte = 0xFF;

// The longest key name is 255 characters; the walk asks for names in a buffer of
// this many, terminator included.
inline constexpr DWORD kKeyNameBuffer = 256;

// Deletes `name` below `parent` with every key below it, deepest first, since
// RegDeleteKeyA deletes only a key without subkeys. Subkey 0 is asked for each time:
// each one found is gone before the next request. A request that fails (no subkey
// left, or a name longer than the buffer) ends the walk over that key, whose own
// deletion then decides. Nothing is rolled back when a key in the middle cannot go.
inline LONG deleteKeyTree(HKEY parent, const char* name) {
  RegKey key;
  if (LONG status = RegOpenKeyExA(parent, name, 0, KEY_READ | KEY_WRITE, key.out())) return status;
  char subkey[kKeyNameBuffer];
  DWORD size = kKeyNameBuffer;
  while (RegEnumKeyExA(key.get(), 0, subkey, &size, nullptr, nullptr, nullptr, nullptr) ==
         ERROR_SUCCESS) {
    if (LONG status = deleteKeyTree(key.get(), subkey)) return status;
    size = kKeyNameBuffer;
  }
  key.reset();
  return RegDeleteKeyA(parent, name);
}

}  // namespace win32
