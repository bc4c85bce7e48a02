// 'H' and 'W': the workstation's hardware identifiers, written to the local
// machine's hwid key and never read back.
#include "dispatch/storage_manager.h"
#include "registry/hwid_number.h"
#include "trace/trace.h"

#include <cstring>

namespace {

constexpr const char* kHwidKey = "Software\\Velmora\\Tessera\\hwid";
constexpr LONG kKeyNotWritable = 7001;
constexpr LONG kValueNotWritten = 7002;
constexpr LONG kNotANumber = 7008;

LONG openHwidKey(HKEY* key) {
  return RegCreateKeyExA(HKEY_LOCAL_MACHINE, kHwidKey, 0, nullptr, REG_OPTION_NON_VOLATILE,
                         KEY_WRITE, nullptr, key, nullptr);
}

}  // namespace

bool Storage_Manager_No_console::storeHwid1(LONG* error, const char* args) {
  writeTrace("PWExe Storage_Manager_No_console::storeHwid1 - Start", TRACE_START);
  HKEY key = nullptr;
  if (openHwidKey(&key) != ERROR_SUCCESS) {
    *error = kKeyNotWritable;
  } else {
    LONG number = 0;
    try {
      number = parseHwidNumber(args);
    } catch (...) {
      number = 0;
    }
    if (number == 0) {
      *error = kNotANumber;
      RegCloseKey(key);
    } else if (RegSetValueExA(key, "Blob", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number),
                              sizeof number) != ERROR_SUCCESS) {
      RegCloseKey(key);
      *error = kValueNotWritten;
    } else {
      RegCloseKey(key);
      writeTrace("PWEXE Storage_Manager_No_console::storeHwid1 - End", TRACE_END);
      return true;
    }
  }
  writeTrace("PWEXE Storage_Manager_No_console::storeHwid1 - End false", TRACE_END);
  return false;
}

bool Storage_Manager_No_console::storeHwid2(LONG* error, const char* args) {
  writeTrace("PWEXE Storage_Manager_No_console::storeHwid2 - Start", TRACE_START);
  HKEY key = nullptr;
  if (openHwidKey(&key) != ERROR_SUCCESS) {
    *error = kKeyNotWritable;
    return false;  // no end line on failure
  }
  if (RegSetValueExA(key, "Hwid2", 0, REG_SZ, reinterpret_cast<const BYTE*>(args),
                     DWORD(std::strlen(args))) != ERROR_SUCCESS) {
    RegCloseKey(key);
    *error = kValueNotWritten;
    return false;
  }
  RegCloseKey(key);
  writeTrace("PWEXE Storage_Manager_No_console::storeHwid2 - End", TRACE_END);
  return true;
}
