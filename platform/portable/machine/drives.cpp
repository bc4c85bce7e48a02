#include "machine/drives.h"

#include <windows.h>

#include "machine/faults.h"
#include "machine/machine.h"

#include <cstring>
#include <map>

namespace pw::machine {
namespace {

char upper(char c) { return (c >= 'a' && c <= 'z') ? char(c - 32) : c; }
bool isLetter(char c) { return upper(c) >= 'A' && upper(c) <= 'Z'; }

// The mapped drives, read through the registry functions like any other setting.
void readMappings(std::map<char, std::string>* table) {
  pw::faults::Unfaulted machineOwnRead;
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\PwPlatform\\Drives", 0, KEY_READ, &key)) return;
  char name[256];
  std::string data(MAX_PATH, '\0');
  for (DWORD i = 0;;) {
    DWORD nameLength = sizeof name, type = REG_NONE, size = DWORD(data.size());
    LONG status = RegEnumValueA(key, i, name, &nameLength, nullptr, &type,
                                reinterpret_cast<BYTE*>(data.data()), &size);
    if (status == ERROR_MORE_DATA && size > data.size()) {
      data.resize(size);  // the same value once more
      continue;
    }
    ++i;
    if (status == ERROR_MORE_DATA) continue;  // a name no drive has
    if (status != ERROR_SUCCESS) break;
    if (type != REG_SZ || !nameLength || !isLetter(name[0])) continue;
    std::string host(data.c_str(), strnlen(data.c_str(), size));  // up to the first zero byte
    while (!host.empty() && host.back() == '/') host.pop_back();
    if (!host.empty() && host[0] != '/') host = root() + "/" + host;
    (*table)[upper(name[0])] = host;
  }
  RegCloseKey(key);
}

}  // namespace

std::string systemDriveFolder() { return root() + "/drive_c"; }

bool driveFolder(char letter, std::string* folder) {
  static const std::map<char, std::string> drives = [] {
    std::map<char, std::string> table{{'C', systemDriveFolder()}, {'Z', ""}};
    readMappings(&table);
    return table;
  }();
  auto it = drives.find(upper(letter));
  if (it == drives.end()) return false;
  *folder = it->second;
  return true;
}

}  // namespace pw::machine
