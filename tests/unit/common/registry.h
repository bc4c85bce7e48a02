// Registry helpers of the unit tests: set, read and remove values and keys of the
// test's own machine in one call each.
#pragma once

#include <windows.h>

#include "reg_key.h"  // src/win32

#include <optional>
#include <string>
#include <string_view>

namespace test {

// Creates the key when needed and writes the value; false when either call fails.
inline bool setValue(HKEY root, const char* path, const char* name, DWORD type,
                     std::string_view data) {
  win32::RegKey key;
  return RegCreateKeyExA(root, path, 0, nullptr, 0, KEY_WRITE, nullptr, key.out(), nullptr) == 0 &&
         RegSetValueExA(key.get(), name, 0, type, reinterpret_cast<const BYTE*>(data.data()),
                        DWORD(data.size())) == 0;
}
inline bool setDword(HKEY root, const char* path, const char* name, DWORD value) {
  return setValue(root, path, name, REG_DWORD, {reinterpret_cast<const char*>(&value), 4});
}
// A REG_SZ value with its terminator.
inline bool setString(HKEY root, const char* path, const char* name, const std::string& text) {
  return setValue(root, path, name, REG_SZ, {text.c_str(), text.size() + 1});
}

// A value's bytes; none when the key or the value is missing.
inline std::optional<std::string> readValue(HKEY root, const char* path, const char* name,
                                            DWORD* type = nullptr) {
  win32::RegKey key;
  if (RegOpenKeyExA(root, path, 0, KEY_READ, key.out())) return std::nullopt;
  DWORD size = 0;
  if (RegQueryValueExA(key.get(), name, nullptr, type, nullptr, &size)) return std::nullopt;
  std::string data(size, '\0');
  if (RegQueryValueExA(key.get(), name, nullptr, type, reinterpret_cast<BYTE*>(data.data()), &size))
    return std::nullopt;
  data.resize(size);
  return data;
}

inline bool keyExists(HKEY root, const char* path) {
  win32::RegKey key;
  return RegOpenKeyExA(root, path, 0, KEY_READ, key.out()) == 0;
}

// Removes a key with everything below it; a missing key is no failure.
inline void removeKey(HKEY root, const char* path) { win32::deleteKeyTree(root, path); }

}  // namespace test
