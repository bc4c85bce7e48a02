// Registry conformance probe, the corners of the contract: string data without its
// terminator, the size protocols of the value calls when a buffer is short, opening with
// no name or from no key, HKEY_USERS, volatile keys, handles of deleted keys, and what a
// key reports of its class, sizes and last write. One line per case: label, status,
// details. Built for both targets; the outputs under Wine and on the portable platform
// must be identical.
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "probe_text.h"
#include "reg_key.h"  // src/win32

namespace {

using probe::hex;

const char* kBase = "Software\\PwCornerProbe";

void line(const char* label, LONG status, const std::string& detail = "") {
  std::printf("%-46s %4ld %s\n", label, long(status), detail.c_str());
}

std::string num(const char* name, DWORD value) {
  return std::string(name) + "=" + std::to_string(value);
}

HKEY create(HKEY parent, const char* name, DWORD options = 0, LPSTR className = nullptr,
            LONG* status = nullptr, DWORD* disposition = nullptr) {
  HKEY k = nullptr;
  LONG st = RegCreateKeyExA(parent, name, 0, className, options, KEY_ALL_ACCESS, nullptr, &k,
                            disposition);
  if (status) *status = st;
  return k;
}

const BYTE* bytes(const char* text) { return reinterpret_cast<const BYTE*>(text); }

// String data handed over without its terminator.
void terminators(HKEY base) {
  HKEY k = create(base, "Strings");
  static const char full[] = "FullString";  // 10 characters, then the zero
  for (DWORD type : {DWORD(REG_SZ), DWORD(REG_EXPAND_SZ), DWORD(REG_MULTI_SZ), DWORD(REG_BINARY)}) {
    std::string label = "type " + std::to_string(type) + ", 10 bytes, zero behind: size";
    DWORD size = 0;
    LONG st = RegSetValueExA(k, "v", 0, type, bytes(full), 10);
    if (st == ERROR_SUCCESS) st = RegQueryValueExA(k, "v", nullptr, nullptr, nullptr, &size);
    line(label.c_str(), st, num("size", size));
  }
  LONG st = RegSetValueExA(k, "cut", 0, REG_SZ, bytes(full), 9);  // 'g' behind
  DWORD size = 0;
  RegQueryValueExA(k, "cut", nullptr, nullptr, nullptr, &size);
  line("9 bytes, no zero behind: size", st, num("size", size));
  BYTE buf[16];
  for (DWORD room : {DWORD(8), DWORD(9), DWORD(10)}) {
    std::memset(buf, 0xbd, sizeof buf);
    size = room;
    st = RegQueryValueExA(k, "cut", nullptr, nullptr, buf, &size);
    line(("query into " + std::to_string(room)).c_str(), st,
         num("size", size) + " " + hex(buf, 11));
  }
  HKEY alone = create(k, "Alone");  // one value: Wine enumerates in another order than Windows
  RegSetValueExA(alone, "cut", 0, REG_SZ, bytes(full), 9);
  for (DWORD room : {DWORD(9), DWORD(10)}) {
    std::memset(buf, 0xbd, sizeof buf);
    char name[16];
    DWORD nameLen = sizeof name, type = 0;
    size = room;
    st = RegEnumValueA(alone, 0, name, &nameLen, nullptr, &type, buf, &size);
    line(("enumerate into " + std::to_string(room)).c_str(), st,
         std::string(name) + " " + num("size", size) + " " + hex(buf, 11));
  }
  RegCloseKey(alone);
  st = RegSetValueExA(k, "empty", 0, REG_SZ, bytes(""), 0);
  std::memset(buf, 0xbd, sizeof buf);
  size = sizeof buf;
  LONG q = RegQueryValueExA(k, "empty", nullptr, nullptr, buf, &size);
  line("empty string: set, query", st,
       std::to_string(q) + " " + num("size", size) + " " + hex(buf, 2));
  RegCloseKey(k);
}

// RegEnumValueA with short buffers: "Test" holding "foobar" and its terminator.
void enumShort(HKEY base) {
  HKEY k = create(base, "Enum");
  RegSetValueExA(k, "Test", 0, REG_SZ, bytes("foobar"), 7);
  struct Case {
    const char* label;
    DWORD nameRoom, dataRoom;
  } cases[] = {{"name 2, data 2", 2, 2},   {"name 3, data 20", 3, 20}, {"name 0, data 20", 0, 20},
               {"name 20, data 2", 20, 2}, {"name 4, data 7", 4, 7},   {"name 5, data 7", 5, 7}};
  for (const Case& c : cases) {
    char name[20], data[20];
    std::strcpy(name, "xxxxxxxxxx");
    std::strcpy(data, "xxxxxxxxxx");
    DWORD nameLen = c.nameRoom, dataLen = c.dataRoom, type = 1234;
    LONG st = RegEnumValueA(k, 0, name, &nameLen, nullptr, &type, reinterpret_cast<BYTE*>(data),
                            &dataLen);
    line(("enumerate, " + std::string(c.label)).c_str(), st,
         num("name", nameLen) + " " + num("data", dataLen) + " " + num("type", type) + " " + name +
             " " + data);
  }
  DWORD nameLen = 20, type = 0;
  line("enumerate, no name buffer",
       RegEnumValueA(k, 0, nullptr, &nameLen, nullptr, &type, nullptr, nullptr));
  char name[20];
  line("enumerate, no name size",
       RegEnumValueA(k, 0, name, nullptr, nullptr, &type, nullptr, nullptr));
  nameLen = sizeof name;
  DWORD dataLen = 0;
  LONG st = RegEnumValueA(k, 0, name, &nameLen, nullptr, &type, nullptr, &dataLen);
  line("enumerate, sizes only", st, num("name", nameLen) + " " + num("data", dataLen));
  RegCloseKey(k);
}

void querySizes(HKEY base) {
  HKEY k = create(base, "Query");
  DWORD four = 0x12345678;
  RegSetValueExA(k, "Bin", 0, REG_BINARY, reinterpret_cast<BYTE*>(&four), 4);
  RegSetValueExA(k, "Str", 0, REG_SZ, bytes("text"), 5);
  DWORD type = 0xdeadbeef, size = 0xdeadbeef;
  LONG st = RegQueryValueExA(k, "Missing", nullptr, &type, nullptr, &size);
  line("missing value, size only", st, num("size", size) + " " + num("type", type));
  BYTE buf[10];
  size = sizeof buf;
  st = RegQueryValueExA(k, "Missing", nullptr, &type, buf, &size);
  line("missing value, buffer of 10", st, num("size", size));
  size = 4;
  st = RegQueryValueExA(k, "Bin", nullptr, &size, buf, &size);
  line("type and size in one variable, binary", st, num("shared", size) + " " + hex(buf, 4));
  size = sizeof buf;
  st = RegQueryValueExA(k, "Str", nullptr, &size, nullptr, &size);
  line("type and size in one variable, size only", st, num("shared", size));
  size = 0;
  st = RegQueryValueExA(k, "Str", nullptr, &type, nullptr, &size);
  line("string, size only", st, num("size", size) + " " + num("type", type));
  RegCloseKey(k);
}

std::string same(HKEY got, HKEY want) { return got == want ? "same handle" : "new handle"; }

void opening(HKEY base) {
  HKEY preset = reinterpret_cast<HKEY>(static_cast<uintptr_t>(0x5a5a));
  HKEY k = preset;
  LONG st = RegOpenKeyExA(HKEY_CURRENT_USER, nullptr, 0, KEY_READ, &k);
  line("current user, no name", st, same(k, HKEY_CURRENT_USER));
  k = preset;
  st = RegOpenKeyExA(HKEY_CLASSES_ROOT, "", 0, KEY_READ, &k);
  line("classes root, empty name", st, same(k, HKEY_CLASSES_ROOT));
  k = preset;
  st = RegOpenKeyExA(HKEY_CLASSES_ROOT, "\\", 0, KEY_READ, &k);
  line("classes root, '\\'", st, same(k, HKEY_CLASSES_ROOT));
  if (st == ERROR_SUCCESS) RegCloseKey(k);
  HKEY cls = create(HKEY_CLASSES_ROOT, "PwProbeClass");
  RegCloseKey(cls);
  st = RegOpenKeyExA(HKEY_CLASSES_ROOT, "\\PwProbeClass", 0, KEY_READ, &k);
  line("classes root, leading '\\'", st);
  if (st == ERROR_SUCCESS) RegCloseKey(k);
  st = RegOpenKeyExA(HKEY_CURRENT_USER, "\\Software", 0, KEY_READ, &k);
  line("current user, leading '\\'", st);
  RegDeleteKeyA(HKEY_CLASSES_ROOT, "PwProbeClass");
  k = preset;
  st = RegOpenKeyExA(base, "", 0, KEY_READ, &k);
  line("open key, empty name", st, same(k, base));
  if (st == ERROR_SUCCESS && k != base) RegCloseKey(k);
  k = preset;
  st = RegOpenKeyExA(nullptr, "", 0, KEY_READ, &k);
  line("no key, empty name", st, k == preset ? "untouched" : "changed");
  k = preset;
  st = RegOpenKeyExA(nullptr, "Software", 0, KEY_READ, &k);
  line("no key, a name", st, k == preset ? "untouched" : "changed");
  HKEY upper = HKEY_CURRENT_USER;
  if (sizeof(void*) == 8)  // only the low 32 bits of a predefined handle count
    upper = reinterpret_cast<HKEY>(uintptr_t(0x80000001u) | (uintptr_t(0xdeadbeefu) << 16 << 16));
  st = RegOpenKeyExA(upper, "Software", 0, KEY_READ, &k);
  line("current user with upper bits set", st);
  if (st == ERROR_SUCCESS) RegCloseKey(k);
  st = RegOpenKeyExA(HKEY_USERS, ".Default", 0, KEY_READ, &k);
  line("users, '.Default'", st);
  if (st == ERROR_SUCCESS) RegCloseKey(k);
  HKEY made = create(HKEY_USERS, ".DEFAULT\\PwProbeKey", 0, nullptr, &st);
  line("users, create below '.DEFAULT'", st);
  if (made) RegCloseKey(made);
  line("users, delete it", RegDeleteKeyA(HKEY_USERS, ".default\\PwProbeKey"));
  st = RegOpenKeyExA(HKEY_USERS, "PwNoSuchProfile", 0, KEY_READ, &k);
  line("users, a name that is no profile", st);
}

void volatileKeys(HKEY base) {
  LONG st;
  DWORD disp = 0;
  HKEY vol = create(base, "Volatile", REG_OPTION_VOLATILE, nullptr, &st, &disp);
  line("create volatile", st, num("disposition", disp));
  HKEY k = create(vol, "Child", 0, nullptr, &st);
  line("non-volatile child of volatile", st);
  if (k) RegCloseKey(k);
  k = create(vol, "Child", REG_OPTION_VOLATILE, nullptr, &st, &disp);
  line("volatile child of volatile", st, num("disposition", disp));
  if (k) RegCloseKey(k);
  k = create(vol, "Child", 0, nullptr, &st, &disp);
  line("existing child, non-volatile asked", st, num("disposition", disp));
  if (k) RegCloseKey(k);
  k = create(base, "Volatile\\Deep\\Deeper", 0, nullptr, &st);
  line("non-volatile path below volatile", st);
  if (k) RegCloseKey(k);
  line("its first key afterwards", RegOpenKeyExA(vol, "Deep", 0, KEY_READ, &k));
  RegDeleteKeyA(vol, "Child");
  RegDeleteKeyA(vol, "");
  RegCloseKey(vol);
}

void deletedKey(HKEY base) {
  HKEY k = create(base, "Doomed");
  RegSetValueExA(k, "v", 0, REG_SZ, bytes("x"), 2);
  RegDeleteValueA(k, "v");
  line("delete the key itself", RegDeleteKeyA(k, ""));
  char name[32];
  BYTE data[32];
  DWORD nameLen = sizeof name, dataLen = sizeof data, type = 0;
  line("deleted: enumerate values",
       RegEnumValueA(k, 0, name, &nameLen, nullptr, &type, data, &dataLen));
  nameLen = sizeof name;
  line("deleted: enumerate keys",
       RegEnumKeyExA(k, 0, name, &nameLen, nullptr, nullptr, nullptr, nullptr));
  dataLen = sizeof data;
  line("deleted: query value", RegQueryValueExA(k, "v", nullptr, &type, data, &dataLen));
  line("deleted: set value", RegSetValueExA(k, "v", 0, REG_SZ, bytes("x"), 2));
  line("deleted: delete value", RegDeleteValueA(k, "v"));
  HKEY sub = nullptr;
  line("deleted: open subkey", RegOpenKeyExA(k, "test", 0, KEY_READ, &sub));
  line("deleted: create subkey",
       RegCreateKeyExA(k, "test", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &sub, nullptr));
  DWORD subKeys = 0;
  line("deleted: query info",
       RegQueryInfoKeyA(k, nullptr, nullptr, nullptr, &subKeys, nullptr, nullptr, nullptr, nullptr,
                        nullptr, nullptr, nullptr));
  line("deleted: flush", RegFlushKey(k));
  line("deleted: delete it again", RegDeleteKeyA(k, ""));
  line("deleted: close", RegCloseKey(k));
}

void keyInfo(HKEY base) {
  char keyClass[] = "subkey class", subClass[] = "subsubkey class";
  HKEY k = create(base, "Info", 0, keyClass);
  line("query info, no key",
       RegQueryInfoKeyA(nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                        nullptr, nullptr, nullptr, nullptr));
  char cls[32];
  line("query info, class without its size",
       RegQueryInfoKeyA(k, cls, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                        nullptr, nullptr, nullptr));
  DWORD clsLen = 0, subKeys, maxSub, maxCls, values, maxName, maxValue;
  FILETIME written{};
  auto info = [&](const char* label) {
    clsLen = 0;
    LONG st = RegQueryInfoKeyA(k, nullptr, &clsLen, nullptr, &subKeys, &maxSub, &maxCls, &values,
                               &maxName, &maxValue, nullptr, &written);
    line(label, st,
         num("class", clsLen) + " " + num("subkeys", subKeys) + " " + num("maxsub", maxSub) + " " +
             num("maxclass", maxCls) + " " + num("values", values) + " " + num("maxname", maxName) +
             " " + num("maxvalue", maxValue) + " " +
             (written.dwHighDateTime ? "written" : "no time"));
  };
  info("query info, empty key");
  HKEY sub = create(k, "subsubkey", 0, subClass);
  RegSetValueExA(k, nullptr, 0, REG_SZ, bytes("data"), 5);
  info("with a subkey and the default value");
  RegSetValueExA(k, "value one", 0, REG_SZ, bytes("first value data"), 17);
  RegSetValueExA(k, "value 2", 0, REG_EXPAND_SZ, bytes("second value data"), 18);
  const BYTE bin[30] = {};
  RegSetValueExA(k, "bin", 0, REG_BINARY, bin, 30);
  info("with named values");
  RegSetValueExA(k, "bin", 0, REG_BINARY, bin, 37);
  info("with a longer binary value");
  for (DWORD room : {DWORD(0), DWORD(1), DWORD(12), DWORD(13)}) {
    std::memset(cls, 0x55, sizeof cls);
    clsLen = room;
    LONG st = RegQueryInfoKeyA(k, cls, &clsLen, nullptr, nullptr, nullptr, nullptr, nullptr,
                               nullptr, nullptr, nullptr, nullptr);
    // With no room at all Windows reports 0 and Wine the class's length, as Windows 2000
    // did: only the buffer is compared there.
    line(("class into " + std::to_string(room)).c_str(), st,
         (room ? num("class", clsLen) + " " : "") + hex(cls, 14));
  }
  char name[32];
  for (DWORD room : {DWORD(15), DWORD(16)}) {
    std::memset(cls, 0x55, sizeof cls);
    DWORD nameLen = sizeof name;
    clsLen = room;
    FILETIME subWritten{};
    LONG st = RegEnumKeyExA(k, 0, name, &nameLen, nullptr, cls, &clsLen, &subWritten);
    line(("enumerate subkey, class into " + std::to_string(room)).c_str(), st,
         num("name", nameLen) + " " + num("class", clsLen) + " " + hex(cls, 16) + " " +
             (subWritten.dwHighDateTime ? "written" : "no time"));
  }
  RegCloseKey(sub);
  RegCloseKey(k);
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
  terminators(base);
  enumShort(base);
  querySizes(base);
  opening(base);
  volatileKeys(base);
  deletedKey(base);
  keyInfo(base);
  RegCloseKey(base);
  win32::deleteKeyTree(HKEY_CURRENT_USER, kBase);
  return 0;
}
