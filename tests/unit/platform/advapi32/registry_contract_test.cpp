// The registry functions in the corners of Windows' contract, with the value Windows
// documents beside each call: string data without its terminator, the value calls' size
// protocols with short buffers, predefined handles, HKEY_USERS, volatile keys, handles of
// deleted keys, and what a key reports of itself. The registry corner probe compares
// most of these answers with Wine's; these cases also look at what only the portable
// machine shows (its hives, names outside ASCII, a hive of an older layout).
#include <windows.h>

#include "common/registry.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>

namespace {

using Key = win32::RegKey;

LONG create(HKEY parent, const char* path, Key* k, DWORD options = 0, LPSTR className = nullptr,
            DWORD* disposition = nullptr) {
  return RegCreateKeyExA(parent, path, 0, className, options, KEY_ALL_ACCESS, nullptr, k->out(),
                         disposition);
}

const BYTE* bytes(const char* text) { return reinterpret_cast<const BYTE*>(text); }

class RegistryContract : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(create(HKEY_CURRENT_USER, "Software\\PwContract", &base), 0); }
  void TearDown() override {
    base.reset();
    test::removeKey(HKEY_CURRENT_USER, "Software\\PwContract");
  }
  Key base;
};

TEST_F(RegistryContract, StringDataGetsTheTerminatorItsCallerForgot) {
  static const char full[] = "FullString";
  DWORD size = 0;
  ASSERT_EQ(RegSetValueExA(base.get(), "s", 0, REG_SZ, bytes(full), 10), 0);
  EXPECT_EQ(RegQueryValueExA(base.get(), "s", nullptr, nullptr, nullptr, &size), 0);
  EXPECT_EQ(size, 11u);  // the zero behind the data is stored too
  ASSERT_EQ(RegSetValueExA(base.get(), "m", 0, REG_MULTI_SZ, bytes(full), 10), 0);
  EXPECT_EQ(RegQueryValueExA(base.get(), "m", nullptr, nullptr, nullptr, &size), 0);
  EXPECT_EQ(size, 11u);
  ASSERT_EQ(RegSetValueExA(base.get(), "b", 0, REG_BINARY, bytes(full), 10), 0);
  EXPECT_EQ(RegQueryValueExA(base.get(), "b", nullptr, nullptr, nullptr, &size), 0);
  EXPECT_EQ(size, 10u);  // binary data is never extended

  ASSERT_EQ(RegSetValueExA(base.get(), "cut", 0, REG_SZ, bytes(full), 9), 0);  // 'g' behind
  BYTE buf[12];
  std::memset(buf, 0xbd, sizeof buf);
  size = 9;
  EXPECT_EQ(RegQueryValueExA(base.get(), "cut", nullptr, nullptr, buf, &size), 0);
  EXPECT_EQ(size, 9u);
  EXPECT_EQ(buf[9], 0xbd);  // no room: no terminator
  size = 10;
  EXPECT_EQ(RegQueryValueExA(base.get(), "cut", nullptr, nullptr, buf, &size), 0);
  EXPECT_EQ(size, 9u);  // the terminator added is not counted
  EXPECT_EQ(buf[9], 0);
  size = 8;
  EXPECT_EQ(RegQueryValueExA(base.get(), "cut", nullptr, nullptr, buf, &size), ERROR_MORE_DATA);
  EXPECT_EQ(size, 9u);

  char name[8];
  DWORD nameLen = sizeof name;
  std::memset(buf, 0xbd, sizeof buf);
  size = 10;
  EXPECT_EQ(RegEnumValueA(base.get(), 3, name, &nameLen, nullptr, nullptr, buf, &size), 0);
  EXPECT_STREQ(name, "cut");
  EXPECT_EQ(size, 9u);
  EXPECT_EQ(buf[9], 0);
}

TEST_F(RegistryContract, EnumValueLooksAtTheDataBeforeTheName) {
  ASSERT_EQ(RegSetValueExA(base.get(), "Test", 0, REG_SZ, bytes("foobar"), 7), 0);
  char name[20], data[20];
  std::strcpy(name, "xxxxxxxxxx");
  std::strcpy(data, "xxxxxxxxxx");
  DWORD nameLen = 3, dataLen = 20, type = 1234;
  EXPECT_EQ(RegEnumValueA(base.get(), 0, name, &nameLen, nullptr, &type,
                          reinterpret_cast<BYTE*>(data), &dataLen),
            ERROR_MORE_DATA);
  EXPECT_STREQ(name, "Te");  // cut to the buffer, terminator included
  EXPECT_EQ(nameLen, 3u);    // left as it was
  EXPECT_STREQ(data, "foobar");
  EXPECT_EQ(dataLen, 7u);
  EXPECT_EQ(type, DWORD(REG_SZ));

  std::strcpy(name, "xxxxxxxxxx");
  std::strcpy(data, "xxxxxxxxxx");
  nameLen = 20, dataLen = 2, type = 1234;
  EXPECT_EQ(RegEnumValueA(base.get(), 0, name, &nameLen, nullptr, &type,
                          reinterpret_cast<BYTE*>(data), &dataLen),
            ERROR_MORE_DATA);
  EXPECT_STREQ(name, "xxxxxxxxxx");  // the data did not fit: the name is not looked at
  EXPECT_EQ(nameLen, 20u);
  EXPECT_STREQ(data, "xxxxxxxxxx");
  EXPECT_EQ(dataLen, 7u);
  EXPECT_EQ(type, DWORD(REG_SZ));
  EXPECT_EQ(RegEnumValueA(base.get(), 0, nullptr, &nameLen, nullptr, nullptr, nullptr, nullptr),
            ERROR_INVALID_PARAMETER);
}

TEST_F(RegistryContract, QueryValueReadsTheRoomBeforeWritingTheType) {
  DWORD four = 0x12345678, size = 0xdeadbeef, type = 0xdeadbeef;
  ASSERT_EQ(RegSetValueExA(base.get(), "Bin", 0, REG_BINARY, reinterpret_cast<BYTE*>(&four), 4), 0);
  EXPECT_EQ(RegQueryValueExA(base.get(), "Missing", nullptr, &type, nullptr, &size),
            ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(size, 0u);               // a size question is answered 0 first
  EXPECT_EQ(type, DWORD(REG_NONE));  // undefined on Windows; REG_NONE here, as on Wine
  BYTE buf[10];
  size = sizeof buf;
  EXPECT_EQ(RegQueryValueExA(base.get(), "Missing", nullptr, &type, buf, &size),
            ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(size, 10u);
  size = 4;  // type and size in one variable: REG_BINARY (3) must not shrink the room
  EXPECT_EQ(RegQueryValueExA(base.get(), "Bin", nullptr, &size, buf, &size), 0);
  EXPECT_EQ(size, 4u);
  EXPECT_EQ(std::memcmp(buf, &four, 4), 0);
}

TEST_F(RegistryContract, PredefinedHandlesOpenAsWindowsReadsThem) {
  HKEY preset = reinterpret_cast<HKEY>(uintptr_t(0x5a5a)), k = preset;
  EXPECT_EQ(RegOpenKeyExA(HKEY_CLASSES_ROOT, nullptr, 0, KEY_READ, &k), 0);
  EXPECT_EQ(k, HKEY_CLASSES_ROOT);  // the predefined handle itself, not a new one
  k = preset;
  EXPECT_EQ(RegOpenKeyExA(base.get(), "", 0, KEY_READ, &k), 0);
  EXPECT_NE(k, base.get());  // an open key's own name gives a new handle
  RegCloseKey(k);
  k = preset;
  EXPECT_EQ(RegOpenKeyExA(nullptr, "Software", 0, KEY_READ, &k), ERROR_INVALID_HANDLE);
  EXPECT_EQ(k, preset);  // untouched

  Key cls, opened;
  ASSERT_EQ(create(HKEY_CLASSES_ROOT, "PwContractClass", &cls), 0);
  EXPECT_EQ(RegOpenKeyExA(HKEY_CLASSES_ROOT, "\\PwContractClass", 0, KEY_READ, opened.out()), 0);
  EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "\\Software", 0, KEY_READ, opened.out()),
            ERROR_BAD_PATHNAME);
  EXPECT_EQ(RegDeleteKeyA(HKEY_CLASSES_ROOT, "PwContractClass"), 0);

  if (sizeof(void*) == 8) {
    auto upper =
        reinterpret_cast<HKEY>(uintptr_t(0x80000001u) | (uintptr_t(0xdeadbeefu) << 16 << 16));
    EXPECT_EQ(RegOpenKeyExA(upper, "Software\\PwContract", 0, KEY_READ, opened.out()), 0);
    EXPECT_EQ(RegCloseKey(upper), 0);  // closing a predefined handle does nothing
  }
  auto performanceData = reinterpret_cast<HKEY>(uintptr_t(intptr_t(LONG(0x80000004))));
  EXPECT_EQ(RegOpenKeyExA(performanceData, "x", 0, KEY_READ, opened.out()), ERROR_INVALID_HANDLE);
}

TEST_F(RegistryContract, HkeyUsersHoldsTheDefaultProfileAndTheCurrentUsersHive) {
  Key def, made, viaUsers;
  EXPECT_EQ(RegOpenKeyExA(HKEY_USERS, ".Default", 0, KEY_READ, def.out()), 0);
  ASSERT_EQ(create(HKEY_USERS, ".DEFAULT\\Software\\PwContract", &made), 0);
  EXPECT_FALSE(test::keyExists(HKEY_CURRENT_USER, "Software\\PwContract\\Software"));
  EXPECT_EQ(RegDeleteKeyA(HKEY_USERS, ".default\\Software\\PwContract"), 0);
  EXPECT_EQ(RegDeleteKeyA(HKEY_USERS, ".DEFAULT"), ERROR_ACCESS_DENIED);  // a hive's root stays
  EXPECT_EQ(create(HKEY_USERS, "PwNoProfile", &made), ERROR_ACCESS_DENIED);
  EXPECT_EQ(RegOpenKeyExA(HKEY_USERS, "PwNoProfile", 0, KEY_READ, made.out()),
            ERROR_FILE_NOT_FOUND);

  char name[80];
  DWORD len = sizeof name;
  EXPECT_EQ(RegEnumKeyExA(HKEY_USERS, 0, name, &len, nullptr, nullptr, nullptr, nullptr), 0);
  EXPECT_STREQ(name, ".DEFAULT");
  len = sizeof name;
  ASSERT_EQ(RegEnumKeyExA(HKEY_USERS, 1, name, &len, nullptr, nullptr, nullptr, nullptr), 0);
  EXPECT_EQ(std::string(name).rfind("S-1-5-21-", 0), 0u);
  len = sizeof name;
  char sid[80];
  std::strcpy(sid, name);
  EXPECT_EQ(RegEnumKeyExA(HKEY_USERS, 2, name, &len, nullptr, nullptr, nullptr, nullptr),
            ERROR_NO_MORE_ITEMS);
  // The current user's SID names the hive HKEY_CURRENT_USER opens.
  ASSERT_TRUE(test::setDword(HKEY_CURRENT_USER, "Software\\PwContract", "seen", 7));
  std::string path = std::string(sid) + "\\Software\\PwContract";
  EXPECT_EQ(test::readValue(HKEY_USERS, path.c_str(), "seen"), std::string("\x07\0\0\0", 4));
}

TEST_F(RegistryContract, AVolatileKeyTakesOnlyVolatileSubkeys) {
  Key vol, child;
  DWORD disposition = 0;
  ASSERT_EQ(create(base.get(), "Volatile", &vol, REG_OPTION_VOLATILE), 0);
  EXPECT_EQ(create(vol.get(), "Child", &child), ERROR_CHILD_MUST_BE_VOLATILE);
  EXPECT_EQ(create(vol.get(), "Child", &child, REG_OPTION_VOLATILE), 0);
  EXPECT_EQ(create(vol.get(), "Child", &child, 0, nullptr, &disposition), 0);  // it exists
  EXPECT_EQ(disposition, DWORD(REG_OPENED_EXISTING_KEY));
  EXPECT_EQ(create(base.get(), "Volatile\\Deep\\Deeper", &child), ERROR_CHILD_MUST_BE_VOLATILE);
  EXPECT_FALSE(test::keyExists(HKEY_CURRENT_USER, "Software\\PwContract\\Volatile\\Deep"));
  EXPECT_EQ(create(base.get(), "Volatile\\Deep\\Deeper", &child, REG_OPTION_VOLATILE), 0);
  // Every key a volatile creation makes is volatile.
  EXPECT_EQ(create(base.get(), "Volatile\\Deep\\Other", &child), ERROR_CHILD_MUST_BE_VOLATILE);
}

TEST_F(RegistryContract, EveryCallOnADeletedKeyAnswersKeyDeleted) {
  Key doomed, sub;
  ASSERT_EQ(create(base.get(), "Doomed", &doomed), 0);
  ASSERT_EQ(RegDeleteKeyA(doomed.get(), ""), 0);
  char name[16];
  BYTE data[16];
  DWORD len = sizeof name, size = sizeof data;
  HKEY k = doomed.get();
  EXPECT_EQ(RegEnumValueA(k, 0, name, &len, nullptr, nullptr, data, &size), ERROR_KEY_DELETED);
  len = sizeof name;
  EXPECT_EQ(RegEnumKeyExA(k, 0, name, &len, nullptr, nullptr, nullptr, nullptr), ERROR_KEY_DELETED);
  EXPECT_EQ(RegQueryValueExA(k, "v", nullptr, nullptr, data, &size), ERROR_KEY_DELETED);
  EXPECT_EQ(RegSetValueExA(k, "v", 0, REG_SZ, bytes("x"), 2), ERROR_KEY_DELETED);
  EXPECT_EQ(RegDeleteValueA(k, "v"), ERROR_KEY_DELETED);
  EXPECT_EQ(RegOpenKeyExA(k, "test", 0, KEY_READ, sub.out()), ERROR_KEY_DELETED);
  EXPECT_EQ(create(k, "test", &sub), ERROR_KEY_DELETED);
  EXPECT_EQ(RegQueryInfoKeyA(k, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                             nullptr, nullptr, nullptr, nullptr),
            ERROR_KEY_DELETED);
  EXPECT_EQ(RegFlushKey(k), ERROR_KEY_DELETED);
  EXPECT_EQ(RegDeleteKeyA(k, ""), ERROR_KEY_DELETED);
}

TEST_F(RegistryContract, AKeyReportsItsClassSizesAndLastWrite) {
  char keyClass[] = "subkey class", subClass[] = "subsubkey class";
  Key k, sub;
  ASSERT_EQ(create(base.get(), "Info", &k, 0, keyClass), 0);
  ASSERT_EQ(create(k.get(), "Caf\xe9", &sub, 0, subClass), 0);  // four characters
  ASSERT_EQ(RegSetValueExA(k.get(), "na\xefve", 0, REG_SZ, bytes("data"), 5), 0);
  BYTE bin[9] = {};
  ASSERT_EQ(RegSetValueExA(k.get(), "bin", 0, REG_BINARY, bin, 9), 0);
  DWORD clsLen = 0, subKeys, maxSub, maxCls, values, maxName, maxValue;
  FILETIME written{};
  ASSERT_EQ(RegQueryInfoKeyA(k.get(), nullptr, &clsLen, nullptr, &subKeys, &maxSub, &maxCls,
                             &values, &maxName, &maxValue, nullptr, &written),
            0);
  EXPECT_EQ(clsLen, 12u);
  EXPECT_EQ(subKeys, 1u);
  EXPECT_EQ(maxSub, 4u);  // characters, not the bytes of the hive's UTF-8
  EXPECT_EQ(maxCls, 15u);
  EXPECT_EQ(values, 2u);
  EXPECT_EQ(maxName, 5u);
  EXPECT_EQ(maxValue, 10u);  // "data" and its terminator as Windows keeps them: UTF-16
  EXPECT_NE(written.dwHighDateTime, 0u);

  char cls[16];
  std::memset(cls, 0x55, sizeof cls);
  clsLen = 12;  // one short: cut, with its terminator
  EXPECT_EQ(RegQueryInfoKeyA(k.get(), cls, &clsLen, nullptr, nullptr, nullptr, nullptr, nullptr,
                             nullptr, nullptr, nullptr, nullptr),
            ERROR_MORE_DATA);
  EXPECT_EQ(clsLen, 11u);
  EXPECT_STREQ(cls, "subkey clas");
  clsLen = 0;     // no room at all: nothing written, and 0 reported (Wine reports 12, as
  cls[0] = 0x55;  // Windows 2000 did)
  EXPECT_EQ(RegQueryInfoKeyA(k.get(), cls, &clsLen, nullptr, nullptr, nullptr, nullptr, nullptr,
                             nullptr, nullptr, nullptr, nullptr),
            0);
  EXPECT_EQ(clsLen, 0u);
  EXPECT_EQ(cls[0], 0x55);
  EXPECT_EQ(RegQueryInfoKeyA(k.get(), cls, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                             nullptr, nullptr, nullptr, nullptr),
            ERROR_INVALID_PARAMETER);

  char name[8];
  DWORD nameLen = sizeof name;
  clsLen = sizeof cls;
  FILETIME subWritten{};
  EXPECT_EQ(RegEnumKeyExA(k.get(), 0, name, &nameLen, nullptr, cls, &clsLen, &subWritten), 0);
  EXPECT_STREQ(cls, "subsubkey class");
  EXPECT_EQ(clsLen, 15u);
  EXPECT_NE(subWritten.dwHighDateTime, 0u);

  // A value written moves the key's last write time on, never back.
  auto time = [](const FILETIME& t) { return uint64_t(t.dwHighDateTime) << 32 | t.dwLowDateTime; };
  FILETIME before = written;
  ASSERT_EQ(RegSetValueExA(k.get(), "later", 0, REG_DWORD, bin, 4), 0);
  ASSERT_EQ(RegQueryInfoKeyA(k.get(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                             nullptr, nullptr, nullptr, &written),
            0);
  EXPECT_GE(time(written), time(before));
}

}  // namespace
