// What the portable registry does beyond the cases the registry probe compares with
// Wine: Windows' creation order of values (Wine lists them sorted) and case folding
// of names outside ASCII.
#include <windows.h>

#include "common/faults.h"
#include "common/registry.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using Key = win32::RegKey;

LONG create(HKEY root, const char* path, Key* k) {
  return RegCreateKeyExA(root, path, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr,
                         k->out(), nullptr);
}

TEST(Registry, ValuesEnumerateInCreationOrderAndKeepItWhenReplaced) {
  Key k;
  ASSERT_EQ(create(HKEY_CURRENT_USER, "Software\\T7", &k), 0);
  for (const char* n : {"zeta", "alpha", "Mid"})
    ASSERT_EQ(RegSetValueExA(k.get(), n, 0, REG_NONE, nullptr, 0), 0);
  ASSERT_EQ(RegSetValueExA(k.get(), "ZETA", 0, REG_NONE, nullptr, 0), 0);
  std::string names;
  for (DWORD i = 0;; ++i) {
    char name[64];
    DWORD len = sizeof name;
    if (RegEnumValueA(k.get(), i, name, &len, nullptr, nullptr, nullptr, nullptr)) break;
    names += std::string(name) + ",";
  }
  EXPECT_EQ(names, "zeta,alpha,Mid,");
}

TEST(Registry, NamesOutsideAsciiCompareWithoutCase) {
  Key k, again;
  ASSERT_EQ(create(HKEY_LOCAL_MACHINE,
                   "Software\\Caf\xe9\\\x9a"
                   "a",
                   &k),
            0);  // é, š
  ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE,
                          "SOFTWARE\\CAF\xc9\\\x8a"
                          "A",
                          0, KEY_READ, again.out()),
            0);
  DWORD v = 7;
  ASSERT_EQ(RegSetValueExA(k.get(), "\xff", 0, REG_DWORD, reinterpret_cast<BYTE*>(&v), 4), 0);  // ÿ
  DWORD got = 0, size = 4;
  EXPECT_EQ(
      RegQueryValueExA(again.get(), "\x9f", nullptr, nullptr, reinterpret_cast<BYTE*>(&got), &size),
      0);  // Ÿ
  EXPECT_EQ(got, 7u);
  char name[8];
  DWORD len = sizeof name;
  Key software;
  ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "software", 0, KEY_READ, software.out()), 0);
  len = sizeof name;
  ASSERT_EQ(RegEnumKeyExA(software.get(), 0, name, &len, nullptr, nullptr, nullptr, nullptr), 0);
  EXPECT_STREQ(name, "Caf\xe9");  // the name keeps the spelling it was created with
}

// Whatever allocation fails inside a registry call, the call answers a status (out of
// memory, as Windows does) and the hive holds the change whole or not at all, and
// takes the next change: a transaction is never left open.
TEST(Registry, EveryAllocationFailingInTurnLeavesTheHiveWholeAndUsable) {
  const char* path = "Software\\PwAlloc\\One\\Two";
  unsigned runs = test::eachAllocationFailing(
      [&] {
        Key k;
        LONG st = create(HKEY_CURRENT_USER, path, &k);
        if (st == ERROR_SUCCESS)
          st =
              RegSetValueExA(k.get(), "Value", 0, REG_SZ, reinterpret_cast<const BYTE*>("data"), 4);
        return st;
      },
      [&](unsigned n, LONG st) {
        std::optional<std::string> value = test::readValue(HKEY_CURRENT_USER, path, "Value");
        if (st == ERROR_SUCCESS) {
          EXPECT_EQ(value, "data") << n;
        } else {
          EXPECT_EQ(st, ERROR_NOT_ENOUGH_MEMORY) << n;
          EXPECT_FALSE(value) << n;
        }
        test::removeKey(HKEY_CURRENT_USER, "Software\\PwAlloc");
        EXPECT_FALSE(test::keyExists(HKEY_CURRENT_USER, "Software\\PwAlloc")) << n;
        EXPECT_TRUE(test::setValue(HKEY_CURRENT_USER, "Software\\PwAlloc", "After", REG_NONE, ""));
        test::removeKey(HKEY_CURRENT_USER, "Software\\PwAlloc");
      });
  EXPECT_GT(runs, 5u);
}

}  // namespace
