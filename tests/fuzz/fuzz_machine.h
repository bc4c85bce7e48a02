// Every fuzz target works on a throw-away emulated machine: the machine root is a new
// temporary folder, in memory under /dev/shm where there is one, set before anything
// touches the platform.
//
// Each input runs as one run of the program on the same machine: asOneRun destroys
// the objects the input left open, as that run's end would, and puts the hives back
// as they were before the first input. Without that, a finding could depend on every
// input before it, the stores grow with every certificate an input installs (and each
// later input that opens them grows slower), and libFuzzer's leak check would look
// closer at every input that keeps a handle. The hives stay SQLite databases in files,
// opened by the platform as in any run; the harness writes its copy back through a
// connection of its own, only after an input that changed them.
#pragma once

#include "machine/handles.h"
#include "machine/machine.h"

#include <windows.h>

#include <sqlite3.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

inline const std::string& fuzzMachineRoot() {
  static const std::string root = [] {
    char shared[] = "/dev/shm/pw-fuzz-XXXXXX";
    char temporary[] = "/tmp/pw-fuzz-XXXXXX";
    const char* folder = ::mkdtemp(shared);
    if (!folder) folder = ::mkdtemp(temporary);
    if (!folder) {
      std::perror("mkdtemp");
      std::abort();
    }
    ::setenv("PW_MACHINE_ROOT", folder, 1);
    // Removed when the fuzzer ends normally; a crash leaves it for a look.
    std::atexit([] { std::filesystem::remove_all(std::getenv("PW_MACHINE_ROOT")); });
    return std::string(folder);
  }();
  return root;
}

namespace fuzz {

// One hive as it was before the first input, and the connection that writes it back:
// row by row, so that the schema stays as it was and the platform's connection keeps
// its prepared statements (a page-by-page copy would make it prepare them all again).
class HiveCopy {
 public:
  explicit HiveCopy(const std::string& path) {
    const std::string copyPath = path + ".fuzz-copy";
    sqlite3* copy = nullptr;
    if (sqlite3_open_v2(path.c_str(), &file_, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK ||
        sqlite3_open(copyPath.c_str(), &copy) != SQLITE_OK)
      fail(path.c_str());
    sqlite3_backup* backup = sqlite3_backup_init(copy, "main", file_, "main");
    if (!backup || sqlite3_backup_step(backup, -1) != SQLITE_DONE ||
        sqlite3_backup_finish(backup) != SQLITE_OK || sqlite3_close(copy) != SQLITE_OK)
      fail(copyPath.c_str());
    // The copy only ever goes back into a file in a throw-away root.
    exec("PRAGMA synchronous=OFF");
    exec(("ATTACH '" + copyPath + "' AS copy").c_str());
    std::vector<std::string> tables;
    sqlite3_stmt* list = prepare("SELECT name FROM main.sqlite_schema WHERE type = 'table'");
    while (sqlite3_step(list) == SQLITE_ROW)
      tables.emplace_back(reinterpret_cast<const char*>(sqlite3_column_text(list, 0)));
    sqlite3_finalize(list);
    restore_.push_back(prepare("BEGIN IMMEDIATE"));
    for (const auto& table : tables) restore_.push_back(prepare("DELETE FROM main." + table));
    for (const auto& table : tables)
      restore_.push_back(prepare("INSERT INTO main." + table + " SELECT * FROM copy." + table));
    restore_.push_back(prepare("COMMIT"));
    version_ = prepare("PRAGMA data_version");
    seen_ = dataVersion();
  }
  HiveCopy(const HiveCopy&) = delete;
  HiveCopy& operator=(const HiveCopy&) = delete;

  // Writes the copy back when another connection (the platform's) has committed a
  // change since the last look.
  void putBack() {
    if (dataVersion() == seen_) return;
    for (sqlite3_stmt* statement : restore_) {
      if (sqlite3_step(statement) != SQLITE_DONE) fail(sqlite3_errmsg(file_));
      sqlite3_reset(statement);
    }
    seen_ = dataVersion();  // unchanged by this connection's own commit
  }

 private:
  [[noreturn]] static void fail(const char* what) {
    std::fprintf(stderr, "fuzz machine: %s\n", what);
    std::abort();
  }
  void exec(const char* sql) {
    if (sqlite3_exec(file_, sql, nullptr, nullptr, nullptr) != SQLITE_OK)
      fail(sqlite3_errmsg(file_));
  }
  sqlite3_stmt* prepare(const std::string& sql) {
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v3(file_, sql.c_str(), -1, SQLITE_PREPARE_PERSISTENT, &statement,
                           nullptr) != SQLITE_OK)
      fail(sqlite3_errmsg(file_));
    return statement;
  }
  sqlite3_int64 dataVersion() {
    if (sqlite3_step(version_) != SQLITE_ROW) fail(sqlite3_errmsg(file_));
    sqlite3_int64 version = sqlite3_column_int64(version_, 0);
    sqlite3_reset(version_);
    return version;
  }

  sqlite3* file_ = nullptr;
  std::vector<sqlite3_stmt*> restore_;
  sqlite3_stmt* version_ = nullptr;
  sqlite3_int64 seen_ = -1;
};

// Both hives, laid out by the platform as the first run of a new machine lays them out.
struct MachineCopy {
  MachineCopy() : machine(layOut(HKEY_LOCAL_MACHINE)), user(layOut(HKEY_CURRENT_USER)) {}
  static std::string layOut(HKEY root) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(root, "Software", 0, KEY_READ, &key) == ERROR_SUCCESS) RegCloseKey(key);
    return root == HKEY_LOCAL_MACHINE ? pw::machine::machineHivePath()
                                      : pw::machine::userHivePath();
  }
  HiveCopy machine, user;
};

inline MachineCopy& machineCopy() {
  static MachineCopy* copy = new MachineCopy;  // lives as long as the hives it restores
  return *copy;
}

}  // namespace fuzz

// Runs one input's work as one run of the program on the machine as it was first.
template <class Work>
void asOneRun(Work&& work) {
  fuzz::MachineCopy& machine = fuzz::machineCopy();
  std::vector<uintptr_t> before = pw::handles::liveHandles();
  std::sort(before.begin(), before.end());
  work();
  for (uintptr_t handle : pw::handles::liveHandles())
    if (!std::binary_search(before.begin(), before.end(), handle))
      pw::handles::destroyObject(handle);
  machine.machine.putBack();
  machine.user.putBack();
}
