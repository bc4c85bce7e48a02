// 'D': deletes a key of the local machine with every key and value below it,
// depth first, without rollback when something in the middle cannot go.
#include "dispatch/storage_manager.h"
#include "registry/reg_key.h"
#include "trace/trace.h"

#include <cstring>
#include <string>

namespace {

constexpr LONG kKeyNotDeleted = 7024;
constexpr LONG kParentNotOpened = 7025;
constexpr LONG kDeleteFault = 7026;
constexpr DWORD kNameBuffer = 256;

}  // namespace

LONG Storage_Manager_No_console::RecurseDeleteKey(HKEY parent, const char* name) {
  RegKey key;
  if (LONG status = RegOpenKeyExA(parent, name, 0, KEY_READ | KEY_WRITE, key.out())) return status;
  // Each subkey found is deleted before the next request, so index 0 is always
  // the next one.
  char subkey[kNameBuffer];
  DWORD size = kNameBuffer;
  while (RegEnumKeyExA(key.get(), 0, subkey, &size, nullptr, nullptr, nullptr, nullptr) ==
         ERROR_SUCCESS) {
    if (LONG status = RecurseDeleteKey(key.get(), subkey)) return status;
    size = kNameBuffer;
  }
  key.close();
  return RegDeleteKeyA(parent, name);
}

bool Storage_Manager_No_console::deletePending(LONG* error, const char* args) {
  // The parent's path before the first comma, the key to remove after it.
  const char* comma = std::strchr(args, ',');
  std::string parentPath = comma ? std::string(args, comma) : std::string(args);
  std::string name = comma ? std::string(comma + 1) : std::string();
  writeTrace("PW_Store::DeleteRegistryKey - start", TRACE_START);

  RegKey parent;
  bool deleted = false;
  try {
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, parentPath.c_str(), 0, KEY_ALL_ACCESS, parent.out()) !=
        ERROR_SUCCESS) {
      *error = kParentNotOpened;
    } else if (RecurseDeleteKey(parent.get(), name.c_str()) == ERROR_SUCCESS) {
      writeTrace("Storage_Manager_NoConsole::deletePending - delete registry key succeed",
                 TRACE_PLAIN);
      deleted = true;
    } else {
      *error = kKeyNotDeleted;
      writeTrace("Storage_Manager_NoConsole::deletePending - delete registry key failed",
                 TRACE_PLAIN);
    }
  } catch (...) {
    *error = kDeleteFault;
    writeTrace("Storage_Manager_NoConsole::deletePending - end (catch)", TRACE_END);
    return false;
  }
  writeTrace("Storage_Manager_NoConsole::deletePending - end", TRACE_END);
  return deleted;
}
