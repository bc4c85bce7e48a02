// 'D': deletes a key of the local machine with every key and value below it,
// depth first, without rollback when something in the middle cannot go.
#include "handlers/storage_manager.h"
#include "trace/trace.h"
#include "win32/reg_key.h"
#include "win32/result_codes.h"

#include <cstring>
#include <string>

// Opened with read and write access, subkey 0 asked for with a 256-character buffer
// until none is left, each deleted depth first, then the key itself: the one walk
// that pwmachine shares.
LONG Storage_Manager_No_console::RecurseDeleteKey(HKEY parent, const char* name) {
  return win32::deleteKeyTree(parent, name);
}

bool Storage_Manager_No_console::deletePending(LONG* error, const char* args) {
  // The parent's path before the first comma, the key to remove after it.
  const char* comma = std::strchr(args, ',');
  std::string parentPath = comma ? std::string(args, comma) : std::string(args);
  std::string name = comma ? std::string(comma + 1) : std::string();
  writeTrace("PW_Store::DeleteRegistryKey - start", TRACE_START);

  win32::RegKey parent;
  bool deleted = false;
  try {
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, parentPath.c_str(), 0, KEY_ALL_ACCESS, parent.out()) !=
        ERROR_SUCCESS) {
      *error = rc::kParentNotOpened;
    } else if (RecurseDeleteKey(parent.get(), name.c_str()) == ERROR_SUCCESS) {
      writeTrace("Storage_Manager_NoConsole::deletePending - delete registry key succeed",
                 TRACE_PLAIN);
      deleted = true;
    } else {
      *error = rc::kKeyNotDeleted;
      writeTrace("Storage_Manager_NoConsole::deletePending - delete registry key failed",
                 TRACE_PLAIN);
    }
  } catch (...) {
    *error = rc::kDeleteFault;
    writeTrace("Storage_Manager_NoConsole::deletePending - end (catch)", TRACE_END);
    return false;
  }
  writeTrace("Storage_Manager_NoConsole::deletePending - end", TRACE_END);
  return deleted;
}
