#include "trace/trace_settings.h"

#include "win32/reg_key.h"

#include <vector>

// doTrace is read as at most four bytes, taken as a 32-bit integer.
static_assert(sizeof(DWORD) == 4);

bool readTraceDword(HKEY root, const char* name, DWORD* value) {
  win32::RegKey k;
  if (RegOpenKeyExA(root, kTessera, 0, KEY_READ, k.out()) != ERROR_SUCCESS) return false;
  DWORD data = 0, type = 0, size = sizeof data;
  if (RegQueryValueExA(k.get(), name, nullptr, &type, reinterpret_cast<BYTE*>(&data), &size) !=
      ERROR_SUCCESS)
    return false;
  *value = data;
  return true;
}

bool readTraceString(HKEY root, const char* name, std::string* value) {
  win32::RegKey k;
  if (RegOpenKeyExA(root, kTessera, 0, KEY_READ, k.out()) != ERROR_SUCCESS) return false;
  std::vector<char> buffer(21, '\0');
  DWORD type = 0, size = 20;
  LONG st = RegQueryValueExA(k.get(), name, nullptr, &type, reinterpret_cast<BYTE*>(buffer.data()),
                             &size);
  if (st != ERROR_SUCCESS) {
    if (size == 20) return false;
    buffer.assign(size_t(size) + 1, '\0');
    st = RegQueryValueExA(k.get(), name, nullptr, &type, reinterpret_cast<BYTE*>(buffer.data()),
                          &size);
    if (st != ERROR_SUCCESS) return false;
  }
  value->assign(buffer.data());  // taken as stored, up to its first zero byte
  return true;
}
