#include "machine/drives.h"

#include "advapi32/hive.h"
#include "machine/machine.h"

#include <map>

namespace pw::machine {
namespace {

char upper(char c) { return (c >= 'a' && c <= 'z') ? char(c - 32) : c; }
bool isLetter(char c) { return upper(c) >= 'A' && upper(c) <= 'Z'; }

// The mapped drives, read from the machine hive through the hive's own interface.
void readMappings(std::map<char, std::string>* table) {
  using pw::registry::Hive;
  Hive* hive = Hive::get(pw::registry::HiveId::Machine);
  int64_t key = 0;
  if (!hive || hive->openPath(Hive::kRootId, {"Software", "PwPlatform", "Drives"}, &key)) return;
  pw::registry::ValueRecord value;
  for (DWORD i = 0; hive->enumValue(key, i, &value) == ERROR_SUCCESS; ++i) {
    if (value.type != REG_SZ || value.name.empty() || !isLetter(value.name[0])) continue;
    std::string host(value.data.c_str());  // up to the first zero byte
    while (!host.empty() && host.back() == '/') host.pop_back();
    if (!host.empty() && host[0] != '/') host = root() + "/" + host;
    (*table)[upper(value.name[0])] = host;
  }
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
