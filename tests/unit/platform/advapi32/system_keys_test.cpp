// The shape Windows gives the local machine: hive roots no one deletes, a root that
// takes no new keys, and keys owned by the system that the registry functions cannot
// delete while the machine's own administration can.
#include <windows.h>

#include <pwplatform.h>

#include "common/registry.h"

#include <gtest/gtest.h>

namespace {

using Key = win32::RegKey;
using test::keyExists;

LONG create(HKEY root, const char* path, Key* k) {
  return RegCreateKeyExA(root, path, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr,
                         k->out(), nullptr);
}

TEST(SystemKeys, HiveRootsStayAndTheMachineRootTakesNoNewKeys) {
  for (const char* root : {"BCD00000000", "HARDWARE", "SAM", "SECURITY", "SOFTWARE", "SYSTEM"}) {
    EXPECT_TRUE(keyExists(HKEY_LOCAL_MACHINE, root)) << root;
    EXPECT_EQ(RegDeleteKeyA(HKEY_LOCAL_MACHINE, root), ERROR_ACCESS_DENIED) << root;
    Key k;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, root, 0, KEY_ALL_ACCESS, k.out()), 0) << root;
    EXPECT_EQ(RegDeleteKeyA(k.get(), ""), ERROR_ACCESS_DENIED) << root;
    EXPECT_EQ(PwDeleteSystemKeyA(HKEY_LOCAL_MACHINE, root), ERROR_ACCESS_DENIED) << root;
  }
  EXPECT_EQ(RegDeleteKeyA(HKEY_LOCAL_MACHINE, ""), ERROR_ACCESS_DENIED);
  Key top, below;
  EXPECT_EQ(create(HKEY_LOCAL_MACHINE, "NewTop\\Below", &top), ERROR_ACCESS_DENIED);
  EXPECT_FALSE(keyExists(HKEY_LOCAL_MACHINE, "NewTop"));
  // Below a hive root everything is the administrator's.
  ASSERT_EQ(create(HKEY_LOCAL_MACHINE, "SYSTEM\\PwUnit\\Below", &below), 0);
  EXPECT_EQ(RegDeleteKeyA(HKEY_LOCAL_MACHINE, "SYSTEM\\PwUnit\\Below"), 0);
  EXPECT_EQ(RegDeleteKeyA(HKEY_LOCAL_MACHINE, "System\\PwUnit"), 0);
}

TEST(SystemKeys, TheMachinesOwnSettingsAreOwnedBySystemFromFirstBoot) {
  Key drives;
  ASSERT_EQ(create(HKEY_LOCAL_MACHINE, "Software\\PwPlatform\\Drives", &drives), 0);
  EXPECT_EQ(RegDeleteKeyA(HKEY_LOCAL_MACHINE, "Software\\PwPlatform\\Drives"), ERROR_ACCESS_DENIED);
  EXPECT_EQ(RegDeleteKeyA(HKEY_LOCAL_MACHINE, "Software\\PwPlatform"), ERROR_ACCESS_DENIED);
  EXPECT_TRUE(keyExists(HKEY_LOCAL_MACHINE, "Software\\PwPlatform\\Drives"));
}

TEST(SystemKeys, MarkedKeysDenyDeletionButKeepTheirValuesWritable) {
  Key older, value;
  ASSERT_EQ(create(HKEY_CURRENT_USER, "Software\\PwUnitOwned\\Older", &older), 0);
  ASSERT_EQ(PwMarkSystemKeyA(HKEY_CURRENT_USER, "Software\\PwUnitOwned"), 0);
  // Keys made after the mark belong to the system as well, however they were made.
  ASSERT_EQ(create(HKEY_CURRENT_USER, "Software\\PwUnitOwned\\Later\\Leaf", &value), 0);
  for (const char* path : {"Software\\PwUnitOwned\\Older", "Software\\PwUnitOwned\\Later\\Leaf",
                           "Software\\PwUnitOwned"})
    EXPECT_EQ(RegDeleteKeyA(HKEY_CURRENT_USER, path), ERROR_ACCESS_DENIED) << path;
  DWORD v = 5;
  EXPECT_EQ(RegSetValueExA(value.get(), "v", 0, REG_DWORD, reinterpret_cast<BYTE*>(&v), 4), 0);
  EXPECT_EQ(RegDeleteValueA(value.get(), "v"), 0);

  // A key that is not the system's, beside them, goes as usual.
  Key plain;
  ASSERT_EQ(create(HKEY_CURRENT_USER, "Software\\PwUnitPlain", &plain), 0);
  EXPECT_EQ(RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\PwUnitPlain"), 0);

  EXPECT_EQ(PwDeleteSystemKeyA(HKEY_CURRENT_USER, "Software\\PwUnitOwned"), 0);
  EXPECT_FALSE(keyExists(HKEY_CURRENT_USER, "Software\\PwUnitOwned"));
  EXPECT_EQ(PwDeleteSystemKeyA(HKEY_CURRENT_USER, "Software\\PwUnitOwned"), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(PwMarkSystemKeyA(HKEY_CLASSES_ROOT, "CLSID"), ERROR_INVALID_HANDLE);
  EXPECT_EQ(PwMarkSystemKeyA(HKEY_CURRENT_USER, ""), ERROR_ACCESS_DENIED);
}

}  // namespace
