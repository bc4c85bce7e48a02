// 'H' and 'W': the workstation's hardware identifiers, written to the local
// machine's hwid key and never read back.
#include "handlers/storage_manager.h"
#include "registry/hwid_number.h"
#include "trace/trace.h"
#include "win32/reg_key.h"
#include "win32/result_codes.h"

#include <cstring>
#include <memory>
#include <new>

// 'H' stores its number as a REG_DWORD: four bytes, little-endian, on either width.
static_assert(sizeof(LONG) == 4 && REG_DWORD == 4);

namespace {

constexpr const char* kHwidKey = "Software\\Velmora\\Tessera\\hwid";

LONG openHwidKey(HKEY* key) {
  return RegCreateKeyExA(HKEY_LOCAL_MACHINE, kHwidKey, 0, nullptr, REG_OPTION_NON_VOLATILE,
                         KEY_WRITE, nullptr, key, nullptr);
}

}  // namespace

bool Storage_Manager_No_console::storeHwid1(LONG* error, const char* args) {
  writeTrace("PWExe Storage_Manager_No_console::storeHwid1 - Start", TRACE_START);
  win32::RegKey key;
  if (openHwidKey(key.out()) != ERROR_SUCCESS) {
    *error = rc::kKeyNotWritable;
  } else {
    LONG number = 0;
    try {
      number = parseHwidNumber(args);
    } catch (...) {
      number = 0;
    }
    if (number == 0) {
      *error = rc::kNotANumber;
    } else if (RegSetValueExA(key.get(), "Blob", 0, REG_DWORD,
                              reinterpret_cast<const BYTE*>(&number),
                              sizeof number) != ERROR_SUCCESS) {
      *error = rc::kValueNotWritten;
    } else {
      key.reset();
      writeTrace("PWEXE Storage_Manager_No_console::storeHwid1 - End", TRACE_END);
      return true;
    }
  }
  key.reset();
  return traceFail("PWEXE Storage_Manager_No_console::storeHwid1 - End false");
}

bool Storage_Manager_No_console::storeHwid2(LONG* error, const char* args) {
  writeTrace("PWEXE Storage_Manager_No_console::storeHwid2 - Start", TRACE_START);
  win32::RegKey key;
  if (openHwidKey(key.out()) != ERROR_SUCCESS) {
    *error = rc::kKeyNotWritable;
    return false;  // no end line on failure
  }
  // The text's own bytes, with the guard byte behind them instead of its terminator.
  size_t length = std::strlen(args);
  std::unique_ptr<BYTE[]> text(new (std::nothrow) BYTE[length + 1]);
  if (!text) {
    *error = rc::kValueNotWritten;
    return false;
  }
  std::memcpy(text.get(), args, length);
  text[length] = win32::kDataGuardByte;
  if (RegSetValueExA(key.get(), "Hwid2", 0, REG_SZ, text.get(), DWORD(length)) != ERROR_SUCCESS) {
    *error = rc::kValueNotWritten;
    return false;
  }
  key.reset();
  writeTrace("PWEXE Storage_Manager_No_console::storeHwid2 - End", TRACE_END);
  return true;
}
