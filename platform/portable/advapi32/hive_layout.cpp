#include "advapi32/hive_layout.h"

#include "advapi32/lock_wait.h"

#include <sqlite3.h>
#include <time.h>

#include <string>

namespace pw::registry {
namespace {

constexpr const char* kTables =
    "CREATE TABLE IF NOT EXISTS keys("
    "  id INTEGER PRIMARY KEY AUTOINCREMENT,"
    "  parent INTEGER NOT NULL,"
    "  name TEXT NOT NULL,"
    "  fold TEXT NOT NULL,"
    "  flags INTEGER NOT NULL DEFAULT 0,"
    "  class TEXT,"
    "  written INTEGER NOT NULL DEFAULT 0,"
    "  UNIQUE(parent, fold));"
    "CREATE TABLE IF NOT EXISTS vals("
    "  seq INTEGER PRIMARY KEY AUTOINCREMENT,"
    "  key INTEGER NOT NULL,"
    "  name TEXT NOT NULL,"
    "  fold TEXT NOT NULL,"
    "  type INTEGER NOT NULL,"
    "  data BLOB NOT NULL,"
    "  UNIQUE(key, fold));"
    "INSERT OR IGNORE INTO keys(id, parent, name, fold) VALUES(1, 0, '', '');";

// Names are matched by their upper-case fold. Layout 1 had no flags; layouts 1 and 2 kept
// neither a key's class nor its last write time.
constexpr const char* kAddFlags = "ALTER TABLE keys ADD COLUMN flags INTEGER NOT NULL DEFAULT 0;";
constexpr const char* kAddClassAndTime =
    "ALTER TABLE keys ADD COLUMN class TEXT;"
    "ALTER TABLE keys ADD COLUMN written INTEGER NOT NULL DEFAULT 0;";

// The hives Windows mounts under HKEY_LOCAL_MACHINE, which itself takes no others. A
// key of an older layout that already holds one of these names keeps its spelling.
constexpr const char* kMachineRoots =
    "INSERT OR IGNORE INTO keys(parent, name, fold) VALUES"
    "  (1, 'BCD00000000', 'BCD00000000'), (1, 'HARDWARE', 'HARDWARE'), (1, 'SAM', 'SAM'),"
    "  (1, 'SECURITY', 'SECURITY'), (1, 'SOFTWARE', 'SOFTWARE'), (1, 'SYSTEM', 'SYSTEM');"
    "UPDATE keys SET flags = flags | 1 WHERE parent = 1;"
    "UPDATE keys SET flags = flags | 4 WHERE id = 1;"
    // The machine's own settings: drive mappings, key containers, what it reports.
    "INSERT OR IGNORE INTO keys(parent, name, fold)"
    "  SELECT id, 'PwPlatform', 'PWPLATFORM' FROM keys WHERE parent = 1 AND fold = 'SOFTWARE';";

constexpr const char* kPlatformKey =
    "SELECT p.id FROM keys p JOIN keys s ON p.parent = s.id "
    "WHERE s.parent = 1 AND s.fold = 'SOFTWARE' AND p.fold = 'PWPLATFORM'";

int exec(sqlite3* db, const char* sql) { return sqlite3_exec(db, sql, nullptr, nullptr, nullptr); }

int64_t single(sqlite3* db, const char* sql, int64_t otherwise) {
  sqlite3_stmt* s = nullptr;
  int64_t v = otherwise;
  if (sqlite3_prepare_v2(db, sql, -1, &s, nullptr) == SQLITE_OK && sqlite3_step(s) == SQLITE_ROW)
    v = sqlite3_column_int64(s, 0);
  sqlite3_finalize(s);
  return v;
}

// A fresh machine hive also gets what the workstation's setup registers.
int layOutMachine(sqlite3* db, bool fresh) {
  if (int rc = exec(db, kMachineRoots)) return rc;
  int64_t platform = single(db, kPlatformKey, 0);
  int rc = platform ? markSubtreeSystemOwned(db, platform) : SQLITE_CORRUPT;
  if (rc == SQLITE_OK && fresh) rc = writeSetupValues(db);
  return rc;
}

}  // namespace

int64_t fileTimeNow() {
  constexpr int64_t kUnixEpoch = 11644473600;  // seconds from 1601 to 1970
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  return (int64_t(now.tv_sec) + kUnixEpoch) * 10000000 + now.tv_nsec / 100;
}

int layoutVersion(sqlite3* db) { return int(single(db, "PRAGMA user_version", -1)); }

int markSubtreeSystemOwned(sqlite3* db, int64_t id) {
  sqlite3_stmt* s = nullptr;
  int rc = sqlite3_prepare_v2(db,
                              "WITH RECURSIVE below(id) AS (SELECT ?1 UNION ALL "
                              "  SELECT k.id FROM keys k JOIN below b ON k.parent = b.id) "
                              "UPDATE keys SET flags = flags | 2 WHERE id IN below",
                              -1, &s, nullptr);
  if (rc == SQLITE_OK) {
    sqlite3_bind_int64(s, 1, id);
    rc = sqlite3_step(s) == SQLITE_DONE ? SQLITE_OK : sqlite3_errcode(db);
  }
  sqlite3_finalize(s);
  return rc;
}

int layOutHive(sqlite3* db, HiveId id) {
  // Small pages: a change to a key or a value rewrites one page or two, and the next
  // run that opens the hive reads back every page still in the write-ahead log. Page
  // size and journal mode are recorded in the file; neither changes inside a
  // transaction, and the page size only while the file is empty.
  if (layoutVersion(db) == 0) exec(db, "PRAGMA page_size=1024");
  // Of runs that switch the file at once (one without the turn), SQLite lets one go
  // on and answers "busy" to the others without waiting, as waiting could deadlock:
  // they try again once the one has switched it.
  int rc = exec(db, "PRAGMA journal_mode=WAL");
  for (LockWait wait; rc == SQLITE_BUSY && wait.pause();) rc = exec(db, "PRAGMA journal_mode=WAL");
  if (rc != SQLITE_OK) return rc;
  // The layout's commit is flushed with the log, as every commit of a run is, rather
  // than on its own while the process holds the turn that other runs wait for.
  exec(db, "PRAGMA synchronous=NORMAL");
  if ((rc = exec(db, "BEGIN IMMEDIATE"))) return rc;
  // Another process may have laid the hive out while this one waited for the lock.
  int version = layoutVersion(db);
  rc = version < 0 ? SQLITE_NOTADB : SQLITE_OK;
  if (rc == SQLITE_OK && version < kLayoutVersion) {
    if (version == 1) rc = exec(db, kAddFlags);
    if (rc == SQLITE_OK && (version == 1 || version == 2)) rc = exec(db, kAddClassAndTime);
    if (rc == SQLITE_OK) rc = exec(db, kTables);
    if (rc == SQLITE_OK && id == HiveId::Machine) rc = layOutMachine(db, version == 0);
    // Every key the layout made or found was last written now.
    if (rc == SQLITE_OK)
      rc = exec(db, ("UPDATE keys SET written = " + std::to_string(fileTimeNow()) +
                     " WHERE written = 0;PRAGMA user_version = 3")
                        .c_str());
  }
  if (rc == SQLITE_OK) rc = exec(db, "COMMIT");
  if (rc != SQLITE_OK) exec(db, "ROLLBACK");
  return rc;
}

}  // namespace pw::registry
