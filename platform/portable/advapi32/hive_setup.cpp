// The setup values of a fresh machine hive, written row by row in the transaction that
// lays the hive out: the registry functions would each open a transaction of their own.
#include "advapi32/hive_layout.h"

#include <windows.h>

#include "machine/codepage.h"
#include "machine/setup.h"

#include <sqlite3.h>

#include <string>

namespace pw::registry {
namespace {

struct Statement {
  sqlite3_stmt* s = nullptr;
  Statement(sqlite3* db, const char* sql) { sqlite3_prepare_v2(db, sql, -1, &s, nullptr); }
  ~Statement() { sqlite3_finalize(s); }
  void text(int i, const std::string& t) {
    sqlite3_bind_text(s, i, t.data(), int(t.size()), SQLITE_TRANSIENT);
  }
};

// The row of `name` below `parent`, created when missing; 0 when SQLite fails.
int64_t key(sqlite3* db, int64_t parent, const std::string& name) {
  std::string fold = codepage::foldAnsi(name);
  Statement insert(db, "INSERT OR IGNORE INTO keys(parent, name, fold) VALUES(?1, ?2, ?3)");
  Statement find(db, "SELECT id FROM keys WHERE parent = ?1 AND fold = ?2");
  if (!insert.s || !find.s) return 0;
  sqlite3_bind_int64(insert.s, 1, parent);
  insert.text(2, codepage::ansiToUtf8(name));
  insert.text(3, fold);
  sqlite3_bind_int64(find.s, 1, parent);
  find.text(2, fold);
  if (sqlite3_step(insert.s) != SQLITE_DONE || sqlite3_step(find.s) != SQLITE_ROW) return 0;
  return sqlite3_column_int64(find.s, 0);
}

int value(sqlite3* db, int64_t id, const char* name, const std::string& text) {
  Statement set(db,
                "INSERT INTO vals(key, name, fold, type, data) VALUES(?1, ?2, ?3, ?4, ?5) "
                "ON CONFLICT(key, fold) DO UPDATE SET type = ?4, data = ?5");
  if (!set.s) return sqlite3_errcode(db);
  std::string valueName = name ? name : "";
  sqlite3_bind_int64(set.s, 1, id);
  set.text(2, codepage::ansiToUtf8(valueName));
  set.text(3, codepage::foldAnsi(valueName));
  sqlite3_bind_int64(set.s, 4, REG_SZ);
  sqlite3_bind_blob(set.s, 5, text.c_str(), int(text.size() + 1), SQLITE_TRANSIENT);
  return sqlite3_step(set.s) == SQLITE_DONE ? SQLITE_OK : sqlite3_errcode(db);
}

}  // namespace

int writeSetupValues(sqlite3* db) {
  try {
    for (const machine::SetupValue& entry : machine::setupValues()) {
      int64_t id = 1;  // the local machine's root
      for (size_t at = 0; id && at <= entry.key.size();) {
        size_t cut = entry.key.find('\\', at);
        id = key(db, id, entry.key.substr(at, cut - at));
        at = cut == std::string::npos ? entry.key.size() + 1 : cut + 1;
      }
      if (!id) return sqlite3_errcode(db);
      if (int rc = value(db, id, entry.name, entry.data)) return rc;
      if (int rc = markSubtreeSystemOwned(db, id)) return rc;
    }
    return SQLITE_OK;
  } catch (...) {
    return SQLITE_NOMEM;
  }
}

}  // namespace pw::registry
