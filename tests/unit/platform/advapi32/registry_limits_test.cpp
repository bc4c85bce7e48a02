// Windows' depth limit, which Wine does not keep (the registry probe compares the name
// limits and path syntax with Wine): no key below level 512 of the registry's namespace,
// where the local machine's root is level 2 and the current user's level 3.
#include <windows.h>

#include <pwplatform.h>

#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/stat.h>

#include "advapi32/hive_layout.h"
#include "machine/machine.h"

#include <cstdlib>
#include <string>

namespace {

struct Key {
  HKEY h = nullptr;
  ~Key() {
    if (h) RegCloseKey(h);
  }
};

std::string levels(const char* first, size_t count) {
  std::string path = first;
  for (size_t i = 1; i < count; ++i) path += "\\d";
  return path;
}

LONG create(HKEY root, const std::string& path, Key* k) {
  return RegCreateKeyExA(root, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS,
                         nullptr, &k->h, nullptr);
}

LONG open(HKEY root, const std::string& path, Key* k) {
  return RegOpenKeyExA(root, path.c_str(), 0, KEY_ALL_ACCESS, &k->h);
}

TEST(RegistryLimits, KeysLieAtMost510LevelsBelowTheMachineAnd509BelowTheUser) {
  Key deepest, beyond, again;
  ASSERT_EQ(create(HKEY_LOCAL_MACHINE, levels("SOFTWARE", 510), &deepest), 0);
  EXPECT_EQ(create(HKEY_LOCAL_MACHINE, levels("SOFTWARE", 511), &beyond),
            ERROR_NO_SYSTEM_RESOURCES);
  EXPECT_EQ(beyond.h, nullptr);
  EXPECT_EQ(create(deepest.h, "d", &beyond), ERROR_NO_SYSTEM_RESOURCES);
  // Missing before too deep: nothing was made at level 513.
  EXPECT_EQ(open(HKEY_LOCAL_MACHINE, levels("SOFTWARE", 511), &again), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(RegDeleteKeyA(HKEY_LOCAL_MACHINE, levels("SOFTWARE", 511).c_str()),
            ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(RegDeleteKeyA(HKEY_LOCAL_MACHINE, levels("SOFTWARE", 510).c_str()), 0);

  Key user;
  ASSERT_EQ(create(HKEY_CURRENT_USER, levels("Software", 509), &user), 0);
  EXPECT_EQ(create(HKEY_CURRENT_USER, levels("Software", 510), &beyond), ERROR_NO_SYSTEM_RESOURCES);
  EXPECT_EQ(PwMarkSystemKeyA(HKEY_CURRENT_USER, levels("Software", 510).c_str()),
            ERROR_NO_SYSTEM_RESOURCES);
  EXPECT_EQ(PwMarkSystemKeyA(HKEY_CURRENT_USER, levels("Software", 509).c_str()), 0);
}

TEST(RegistryLimits, HandlesCarryTheirLevel) {
  Key middle, fits, beyond, classes;
  ASSERT_EQ(create(HKEY_LOCAL_MACHINE, levels("SOFTWARE\\Mid", 499), &middle), 0);  // level 502
  EXPECT_EQ(create(middle.h, levels("d", 10), &fits), 0);
  EXPECT_EQ(create(middle.h, levels("d", 11), &beyond), ERROR_NO_SYSTEM_RESOURCES);
  // The classes root is \REGISTRY\MACHINE\SOFTWARE\Classes, level 4.
  EXPECT_EQ(create(HKEY_CLASSES_ROOT, levels("c", 508), &classes), 0);
  EXPECT_EQ(create(HKEY_CLASSES_ROOT, levels("c", 509), &beyond), ERROR_NO_SYSTEM_RESOURCES);
}

TEST(RegistryLimits, TheKeysBeforeANameTooLongAreMade) {
  Key k;
  EXPECT_EQ(create(HKEY_CURRENT_USER, "Software\\PwPre\\" + std::string(257, 'n') + "\\x", &k),
            ERROR_INVALID_PARAMETER);
  EXPECT_EQ(open(HKEY_CURRENT_USER, "Software\\PwPre", &k), 0);
}

// A hive whose file denies writes answers for a missing key that it is missing, as
// Windows looks for a key before it looks at what may be done to it. Run in a process of
// its own, whose machine hive is made read-only before anything opens it.
int openOnAReadOnlyHive() {
  std::string path = pw::machine::machineHivePath();
  sqlite3* db = nullptr;
  if (sqlite3_open(path.c_str(), &db) != SQLITE_OK ||
      pw::registry::layOutHive(db, pw::registry::HiveId::Machine) != SQLITE_OK)
    return 10;
  sqlite3_close(db);
  ::chmod(path.c_str(), 0444);
  Key missing, present, readable;
  if (open(HKEY_LOCAL_MACHINE, "SOFTWARE\\Missing", &missing) != ERROR_FILE_NOT_FOUND) return 11;
  if (open(HKEY_LOCAL_MACHINE, "SOFTWARE", &present) != ERROR_ACCESS_DENIED) return 12;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE", 0, KEY_READ, &readable.h) != 0) return 13;
  return 0;
}

TEST(RegistryLimitsDeathTest, AMissingKeyOfAReadOnlyHiveIsMissing) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");  // a fresh process and machine root
  EXPECT_EXIT(std::exit(openOnAReadOnlyHive()), ::testing::ExitedWithCode(0), "");
}

}  // namespace
