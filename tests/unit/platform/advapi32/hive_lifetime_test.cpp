// What outlives what on a hive: volatile keys last until the machine restarts with its
// host, and a hive written by an older build keeps its keys and gains what it lacked (a
// class and a last write time for each key). Each case that opens a hive prepared by hand
// runs in a process of its own, whose hives nothing has opened yet.
#include <windows.h>

#include <gtest/gtest.h>
#include <sqlite3.h>

#include "advapi32/boot_note.h"
#include "advapi32/hive_layout.h"
#include "machine/machine.h"

#include <cstdlib>
#include <string>

namespace {

bool exec(sqlite3* db, const char* sql) {
  return sqlite3_exec(db, sql, nullptr, nullptr, nullptr) == SQLITE_OK;
}

bool exists(const char* path) {
  HKEY k = nullptr;
  LONG st = RegOpenKeyExA(HKEY_CURRENT_USER, path, 0, KEY_READ, &k);
  if (k) RegCloseKey(k);
  return st == ERROR_SUCCESS;
}

TEST(HiveLifetime, AVolatileKeyNotesTheBootItBelongsTo) {
  if (pw::registry::hostBootId().empty()) GTEST_SKIP() << "the host tells no boot identifier";
  HKEY k = nullptr;
  ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\PwVolatileNote", 0, nullptr,
                            REG_OPTION_VOLATILE, KEY_ALL_ACCESS, nullptr, &k, nullptr),
            0);
  RegCloseKey(k);
  EXPECT_EQ(pw::registry::readBootNote(pw::machine::userHivePath() + "-volatile"),
            pw::registry::hostBootId());
  RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\PwVolatileNote");
}

// A hive whose volatile keys were made in another boot of the host: the first process to
// open it finds them gone, the other keys kept.
int openAfterARestart() {
  std::string path = pw::machine::userHivePath();
  sqlite3* db = nullptr;
  if (sqlite3_open(path.c_str(), &db) != SQLITE_OK ||
      pw::registry::layOutHive(db, pw::registry::HiveId::User) != SQLITE_OK ||
      !exec(db,
            "INSERT INTO keys(parent, name, fold, flags) VALUES(1, 'Gone', 'GONE', 8);"
            "INSERT INTO keys(parent, name, fold, flags) SELECT id, 'Below', 'BELOW', 8 "
            "  FROM keys WHERE fold = 'GONE';"
            "INSERT INTO keys(parent, name, fold) VALUES(1, 'Kept', 'KEPT');"))
    return 10;
  sqlite3_close(db);
  if (!pw::registry::writeBootNote(path + "-volatile", "an-earlier-boot")) return 11;
  if (exists("Gone") || exists("Gone\\Below")) return 12;
  if (!exists("Kept")) return 13;
  if (pw::registry::readBootNote(path + "-volatile") != pw::registry::hostBootId()) return 14;
  return 0;
}

TEST(HiveLifetimeDeathTest, VolatileKeysOfAnEarlierBootAreGone) {
  if (pw::registry::hostBootId().empty()) GTEST_SKIP() << "the host tells no boot identifier";
  GTEST_FLAG_SET(death_test_style, "threadsafe");  // a fresh process and machine root
  EXPECT_EXIT(std::exit(openAfterARestart()), ::testing::ExitedWithCode(0), "");
}

// A hive of layout 2 (keys without class or last write time) is brought up to date when it
// is first opened: its keys stay, and each reports a last write time.
int openAnOlderHive() {
  std::string path = pw::machine::userHivePath();
  sqlite3* db = nullptr;
  if (sqlite3_open(path.c_str(), &db) != SQLITE_OK ||
      !exec(db,
            "PRAGMA journal_mode=WAL;"
            "CREATE TABLE keys(id INTEGER PRIMARY KEY AUTOINCREMENT, parent INTEGER NOT NULL,"
            "  name TEXT NOT NULL, fold TEXT NOT NULL, flags INTEGER NOT NULL DEFAULT 0,"
            "  UNIQUE(parent, fold));"
            "CREATE TABLE vals(seq INTEGER PRIMARY KEY AUTOINCREMENT, key INTEGER NOT NULL,"
            "  name TEXT NOT NULL, fold TEXT NOT NULL, type INTEGER NOT NULL,"
            "  data BLOB NOT NULL, UNIQUE(key, fold));"
            "INSERT INTO keys(id, parent, name, fold) VALUES(1, 0, '', '');"
            "INSERT INTO keys(parent, name, fold) VALUES(1, 'Old', 'OLD');"
            "INSERT INTO vals(key, name, fold, type, data) SELECT id, 'v', 'V', 4, x'2a000000'"
            "  FROM keys WHERE fold = 'OLD';"
            "PRAGMA user_version = 2;"))
    return 10;
  sqlite3_close(db);
  HKEY k = nullptr;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, "Old", 0, KEY_READ, &k)) return 11;
  DWORD value = 0, size = 4, classLen = 99;
  FILETIME written{};
  if (RegQueryValueExA(k, "v", nullptr, nullptr, reinterpret_cast<BYTE*>(&value), &size) ||
      value != 42)
    return 12;
  if (RegQueryInfoKeyA(k, nullptr, &classLen, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                       nullptr, nullptr, &written) ||
      classLen != 0 || !written.dwHighDateTime)
    return 13;
  RegCloseKey(k);
  return 0;
}

TEST(HiveLifetimeDeathTest, AHiveOfAnOlderLayoutKeepsItsKeys) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(std::exit(openAnOlderHive()), ::testing::ExitedWithCode(0), "");
}

}  // namespace
