// Registry keys as the reg operations see them: the key paths users write,
// whole reads of a key's values and subkeys through the A functions, and the
// deletion of a key with everything below it.
#pragma once

#include <windows.h>

#include "reg_key.h"  // src/win32: the one RAII registry key

#include <string>
#include <string_view>
#include <vector>

namespace pwm::reg {

struct KeyPath {
  HKEY root = nullptr;
  std::string rootName;  // the long spelling reg.exe prints: HKEY_LOCAL_MACHINE, ...
  std::string sub;       // the path below the root as written; empty for the root itself

  std::string full() const { return sub.empty() ? rootName : rootName + "\\" + sub; }
};

// Parses "HKLM\Software\Name" (short or long root name, any case, one trailing
// backslash allowed). False when the root is unknown, a name in the path is
// empty, or the path names a remote machine ("\\host\...").
bool parseKeyPath(std::string_view text, KeyPath* path);

using Key = win32::RegKey;

struct Value {
  std::string name;  // empty for the unnamed value
  DWORD type = REG_NONE;
  std::string data;  // the bytes the A functions give
};

LONG openKey(const KeyPath& path, REGSAM access, Key* key);
LONG openSubkey(HKEY parent, const std::string& name, REGSAM access, Key* key);

// Values in the registry's enumeration order; subkey names likewise.
LONG readValues(HKEY key, std::vector<Value>* values);
LONG readSubkeys(HKEY key, std::vector<std::string>* names);
// One value; ERROR_FILE_NOT_FOUND when the key has no value of that name.
LONG readValue(HKEY key, const std::string& name, Value* value);

// Deletes parent\sub with every key below it (win32::deleteKeyTree).
inline LONG deleteTree(HKEY parent, const std::string& sub) {
  return win32::deleteKeyTree(parent, sub.c_str());
}

}  // namespace pwm::reg
