// Registry conformance probe: calls the registry functions the system and its tools
// use on fixed inputs and prints each status, size and result, one line per case.
// Built for both targets; the outputs under Wine and on the portable platform must
// be identical.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "probe_text.h"
#include "reg_key.h"  // src/win32

namespace {

using probe::hex;

const char* kBase = "Software\\PwProbe";

void line(const char* label, LONG status, const std::string& detail = "") {
  std::printf("%-44s %4ld %s\n", label, long(status), detail.c_str());
}

std::string num(const char* name, DWORD value) {
  return std::string(name) + "=" + std::to_string(value);
}

void keys(HKEY base) {
  HKEY k = nullptr;
  DWORD disp = 0;
  LONG st =
      RegCreateKeyExA(base, "One\\Two\\Three", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &k, &disp);
  line("create nested", st, num("disposition", disp));
  RegCloseKey(k);
  st =
      RegCreateKeyExA(base, "ONE\\two\\Three\\", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &k, &disp);
  line("create existing, other case, trailing \\", st, num("disposition", disp));
  RegCloseKey(k);
  st = RegCreateKeyExA(base, "\\Lead", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &k, &disp);
  line("create with leading \\", st);
  if (st == ERROR_SUCCESS) RegCloseKey(k);
  st = RegOpenKeyExA(base, "Missing\\Deeper", 0, KEY_READ, &k);
  line("open missing", st);
  st = RegOpenKeyExA(base, "one\\TWO", 0, KEY_READ, &k);
  line("open other case", st);
  if (st == ERROR_SUCCESS) RegCloseKey(k);
  HKEY parent;
  RegCreateKeyExA(base, "Enum", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &parent, nullptr);
  for (const char* sub : {"beta", "Alpha", "gamma\\inner"}) {
    RegCreateKeyExA(parent, sub, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &k, nullptr);
    RegCloseKey(k);
  }
  std::string names;
  char name[256];
  DWORD len = 0;
  for (DWORD i = 0;; ++i) {
    len = sizeof name;
    st = RegEnumKeyExA(parent, i, name, &len, nullptr, nullptr, nullptr, nullptr);
    if (st != ERROR_SUCCESS) break;
    names += std::string(name) + "(" + std::to_string(len) + ") ";
  }
  line("enumerate subkeys", st, names);
  len = 4;
  line("enumerate, buffer of 4 for 'Alpha'",
       RegEnumKeyExA(parent, 0, name, &len, nullptr, nullptr, nullptr, nullptr), num("size", len));
  len = 5;
  line("enumerate, buffer of 5 for 'Alpha'",
       RegEnumKeyExA(parent, 0, name, &len, nullptr, nullptr, nullptr, nullptr), num("size", len));
  DWORD subKeys = 0, values = 0, maxSub = 0;
  st = RegQueryInfoKeyA(parent, nullptr, nullptr, nullptr, &subKeys, &maxSub, nullptr, &values,
                        nullptr, nullptr, nullptr, nullptr);
  line("query info", st, num("subkeys", subKeys) + " " + num("values", values));
  line("delete key with subkeys", RegDeleteKeyA(parent, "gamma"));
  line("delete leaf by path", RegDeleteKeyA(parent, "GAMMA\\Inner"));
  line("delete it again", RegDeleteKeyA(parent, "gamma\\inner"));
  line("delete now empty key", RegDeleteKeyA(parent, "gamma"));

  HKEY child;
  RegCreateKeyExA(parent, "doomed", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &child, nullptr);
  line("delete key whose handle is open", RegDeleteKeyA(parent, "doomed"));
  DWORD v = 1;
  line("set value through handle of deleted key",
       RegSetValueExA(child, "v", 0, REG_DWORD, reinterpret_cast<BYTE*>(&v), 4));
  line("close handle of deleted key", RegCloseKey(child));
  RegCreateKeyExA(parent, "self", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &child, nullptr);
  line("delete key itself with empty name", RegDeleteKeyA(child, ""));
  RegCloseKey(child);
  line("open it afterwards", RegOpenKeyExA(parent, "self", 0, KEY_READ, &child));
  RegCloseKey(parent);
}

// Windows' limits on names and paths. (The depth limit is not compared: Wine 8 makes keys
// at any depth, where Windows refuses those below level 512.)
void limits(HKEY base) {
  HKEY k = nullptr;
  for (size_t n : {256, 257}) {  // the documentation says 255; Windows takes 256
    std::string name(n, 'k');
    LONG st =
        RegCreateKeyExA(base, name.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &k, nullptr);
    line(("create key name of " + std::to_string(n)).c_str(), st);
    if (st == ERROR_SUCCESS) RegCloseKey(k);
    st = RegOpenKeyExA(base, ("x\\" + name).c_str(), 0, KEY_READ, &k);
    line(("open missing path, last name of " + std::to_string(n)).c_str(), st);
    line(("delete key name of " + std::to_string(n)).c_str(), RegDeleteKeyA(base, name.c_str()));
  }
  DWORD v = 1, type = 0, size = 4;
  for (size_t n : {16383, 16384}) {
    std::string name(n, 'v');
    std::string label = "value name of " + std::to_string(n) + ": ";
    line((label + "set").c_str(),
         RegSetValueExA(base, name.c_str(), 0, REG_DWORD, reinterpret_cast<BYTE*>(&v), 4));
    size = 4;
    line((label + "query").c_str(),
         RegQueryValueExA(base, name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(&v), &size));
    line((label + "delete").c_str(), RegDeleteValueA(base, name.c_str()));
  }
  // More than a megabyte: the old file format's limit, not the current one's.
  std::string big(1 << 20 | 1, 'b');
  line("set value of 1 MB and a byte",
       RegSetValueExA(base, "big", 0, REG_BINARY, reinterpret_cast<const BYTE*>(big.data()),
                      DWORD(big.size())));
  size = 0;
  LONG st = RegQueryValueExA(base, "big", nullptr, &type, nullptr, &size);
  line("query its size", st, num("size", size));
  RegDeleteValueA(base, "big");

  std::string deep;
  for (int i = 0; i < 40; ++i) deep += "d\\";
  st = RegCreateKeyExA(base, deep.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &k, nullptr);
  line("create 40 levels in one call", st);
  if (st == ERROR_SUCCESS) RegCloseKey(k);
  RegCreateKeyExA(base, "Lead", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &k, nullptr);
  RegCloseKey(k);
  for (const char* path : {"\\Lead", "\\", "Lead\\\\", "Lead\\\\\\"}) {
    std::string label = std::string("'") + path + "': ";
    st = RegOpenKeyExA(base, path, 0, KEY_READ, &k);
    line((label + "open").c_str(), st);
    if (st == ERROR_SUCCESS) RegCloseKey(k);
  }
  line("'\\Lead': delete", RegDeleteKeyA(base, "\\Lead"));
  line("'Lead': delete", RegDeleteKeyA(base, "Lead"));
}

void values(HKEY base) {
  HKEY k;
  RegCreateKeyExA(base, "Values", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &k, nullptr);
  const BYTE bin[] = {0x00, 0xff, 0x10};
  line("set binary", RegSetValueExA(k, "Bin", 0, REG_BINARY, bin, 3));
  DWORD type = 99, size = 0;
  LONG st = RegQueryValueExA(k, "bin", nullptr, &type, nullptr, &size);
  line("query size only, other case", st, num("type", type) + " " + num("size", size));
  BYTE buf[64] = {};
  size = 2;
  st = RegQueryValueExA(k, "Bin", nullptr, &type, buf, &size);
  line("query with 2-byte buffer", st, num("size", size));
  size = sizeof buf;
  st = RegQueryValueExA(k, "Bin", nullptr, &type, buf, &size);
  line("query with large buffer", st, num("size", size) + " " + hex(buf, size));
  size = 20;
  st = RegQueryValueExA(k, "Absent", nullptr, &type, buf, &size);
  line("query missing value", st, num("size", size));

  DWORD dword = 0x2a;
  RegSetValueExA(k, "Bin", 0, REG_DWORD, reinterpret_cast<BYTE*>(&dword), 4);
  DWORD got = 0;
  size = sizeof got;
  st = RegQueryValueExA(k, "Bin", nullptr, &type, reinterpret_cast<BYTE*>(&got), &size);
  line("replace with dword", st,
       num("type", type) + " " + num("size", size) + " " + num("value", got));

  line("set empty binary", RegSetValueExA(k, "Empty", 0, REG_BINARY, nullptr, 0));
  size = sizeof buf;
  st = RegQueryValueExA(k, "Empty", nullptr, &type, buf, &size);
  line("query empty binary", st, num("type", type) + " " + num("size", size));

  const char text[] = "twenty-five-characters..";  // 24 characters and the terminator
  line("set string with terminator",
       RegSetValueExA(k, "Text", 0, REG_SZ, reinterpret_cast<const BYTE*>(text), 25));
  char small[21] = {};
  size = 20;
  st = RegQueryValueExA(k, "Text", nullptr, &type, reinterpret_cast<BYTE*>(small), &size);
  line("query string, size 20", st, num("size", size));
  line("set default value",
       RegSetValueExA(k, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>("d"), 2));
  size = sizeof buf;
  st = RegQueryValueExA(k, "", nullptr, &type, buf, &size);
  line("query default value by empty name", st, num("size", size));
  line("delete value, other case", RegDeleteValueA(k, "EMPTY"));
  line("delete it again", RegDeleteValueA(k, "Empty"));
  RegCloseKey(k);

  HKEY reader, writer;
  RegOpenKeyExA(base, "Values", 0, KEY_READ, &reader);
  line("set value through read-only handle",
       RegSetValueExA(reader, "x", 0, REG_DWORD, reinterpret_cast<BYTE*>(&dword), 4));
  RegCloseKey(reader);
  RegOpenKeyExA(base, "Values", 0, KEY_WRITE, &writer);
  size = sizeof buf;
  line("query through write-only handle",
       RegQueryValueExA(writer, "Text", nullptr, &type, buf, &size));
  RegCloseKey(writer);
}

}  // namespace

int main() {
  win32::deleteKeyTree(HKEY_CURRENT_USER, kBase);
  HKEY base;
  if (RegCreateKeyExA(HKEY_CURRENT_USER, kBase, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &base,
                      nullptr) != ERROR_SUCCESS) {
    std::printf("cannot create the probe's key\n");
    return 1;
  }
  keys(base);
  limits(base);
  values(base);
  RegCloseKey(base);
  win32::deleteKeyTree(HKEY_CURRENT_USER, kBase);
  return 0;
}
