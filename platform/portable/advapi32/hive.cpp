#include "advapi32/hive.h"

#include "kernel32/codepage.h"
#include "machine/machine.h"

#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>
#include <memory>

namespace pw::registry {
namespace {

constexpr const char* kSchema =
    "CREATE TABLE IF NOT EXISTS keys("
    "  id INTEGER PRIMARY KEY AUTOINCREMENT,"
    "  parent INTEGER NOT NULL,"
    "  name TEXT NOT NULL,"
    "  fold TEXT NOT NULL,"
    "  UNIQUE(parent, fold));"
    "CREATE TABLE IF NOT EXISTS vals("
    "  seq INTEGER PRIMARY KEY AUTOINCREMENT,"
    "  key INTEGER NOT NULL,"
    "  name TEXT NOT NULL,"
    "  fold TEXT NOT NULL,"
    "  type INTEGER NOT NULL,"
    "  data BLOB NOT NULL,"
    "  UNIQUE(key, fold));"
    "INSERT OR IGNORE INTO keys(id, parent, name, fold) VALUES(1, 0, '', '');"
    "PRAGMA user_version = 1;";

// Root may write any file; the owner's write bit is what an administrator sets to
// deny writes to a hive, so it is honoured for root too.
bool hiveWritable(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return true;  // created on open
  if (::geteuid() == 0) return (st.st_mode & S_IWUSR) != 0;
  return ::access(path.c_str(), W_OK) == 0;
}

int userVersion(sqlite3* db) {
  sqlite3_stmt* s = nullptr;
  int v = -1;
  if (sqlite3_prepare_v2(db, "PRAGMA user_version", -1, &s, nullptr) == SQLITE_OK &&
      sqlite3_step(s) == SQLITE_ROW)
    v = sqlite3_column_int(s, 0);
  sqlite3_finalize(s);
  return v;
}

struct Reset {
  sqlite3_stmt* s;
  ~Reset() {
    sqlite3_reset(s);
    sqlite3_clear_bindings(s);
  }
};

void bindText(sqlite3_stmt* s, int i, const std::string& t) {
  sqlite3_bind_text(s, i, t.data(), int(t.size()), SQLITE_TRANSIENT);
}

// A blob column's bytes; an empty blob comes back from SQLite as a null pointer.
void columnBytes(sqlite3_stmt* s, int column, std::string* out) {
  const void* blob = sqlite3_column_blob(s, column);
  int size = sqlite3_column_bytes(s, column);
  if (blob && size > 0)
    out->assign(static_cast<const char*>(blob), size_t(size));
  else
    out->clear();
}

}  // namespace

Hive* Hive::get(HiveId id) {
  // Each hive is opened on first use and closed when the process ends: the last
  // connection to close folds the write-ahead log back into the database, so the
  // next process does not have to replay a long log when it opens the hive.
  if (id == HiveId::Machine) {
    static std::unique_ptr<Hive> machine(open(pw::machine::machineHivePath()));
    return machine.get();
  }
  static std::unique_ptr<Hive> user(open(pw::machine::userHivePath()));
  return user.get();
}

Hive* Hive::open(const std::string& path) {
  bool writable = hiveWritable(path);
  sqlite3* db = nullptr;
  int flags = writable ? (SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE) : SQLITE_OPEN_READONLY;
  if (sqlite3_open_v2(path.c_str(), &db, flags | SQLITE_OPEN_NOMUTEX, nullptr) != SQLITE_OK) {
    sqlite3_close(db);
    return nullptr;
  }
  sqlite3_busy_timeout(db, 60000);
  if (userVersion(db) < 1) {
    if (!writable) {
      sqlite3_close(db);
      return nullptr;
    }
    // A fresh hive: the first process to get the write lock lays out the schema.
    sqlite3_exec(db, "PRAGMA journal_mode=WAL", nullptr, nullptr, nullptr);
    if (sqlite3_exec(db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr) != SQLITE_OK) {
      sqlite3_close(db);
      return nullptr;
    }
    if (sqlite3_exec(db, kSchema, nullptr, nullptr, nullptr) != SQLITE_OK ||
        sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr) != SQLITE_OK) {
      sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
      sqlite3_close(db);
      return nullptr;
    }
  }
  sqlite3_exec(db, "PRAGMA synchronous=NORMAL", nullptr, nullptr, nullptr);
  return new Hive(db, writable);
}

Hive::~Hive() {
  for (auto& [sql, s] : stmts_) sqlite3_finalize(s);
  sqlite3_close(db_);
}

sqlite3_stmt* Hive::stmt(const char* sql) {
  auto it = stmts_.find(sql);
  if (it != stmts_.end()) return it->second;
  sqlite3_stmt* s = nullptr;
  if (sqlite3_prepare_v3(db_, sql, -1, SQLITE_PREPARE_PERSISTENT, &s, nullptr) != SQLITE_OK)
    return nullptr;
  stmts_[sql] = s;
  return s;
}

LONG Hive::status(int rc) const {
  switch (rc & 0xFF) {
    case SQLITE_OK:
    case SQLITE_DONE:
    case SQLITE_ROW:
      return ERROR_SUCCESS;
    case SQLITE_READONLY:
    case SQLITE_PERM:
    case SQLITE_AUTH:
      return ERROR_ACCESS_DENIED;
    case SQLITE_NOMEM:
      return ERROR_OUTOFMEMORY;
    case SQLITE_FULL:
      return ERROR_DISK_FULL;
    case SQLITE_CORRUPT:
    case SQLITE_NOTADB:
      return ERROR_BADDB;
    default:
      return ERROR_REGISTRY_IO_FAILED;
  }
}

LONG Hive::begin() {
  if (!writable_) return ERROR_ACCESS_DENIED;
  return status(sqlite3_exec(db_, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr));
}

LONG Hive::commit() {
  int rc = sqlite3_exec(db_, "COMMIT", nullptr, nullptr, nullptr);
  if (rc != SQLITE_OK) rollback();
  return status(rc);
}

void Hive::rollback() {
  if (!sqlite3_get_autocommit(db_)) sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
}

template <class Body>
LONG Hive::change(Body body) {
  if (LONG st = begin()) return st;
  if (LONG st = body()) {
    rollback();
    return st;
  }
  return commit();
}

LONG Hive::keyExists(int64_t key) {
  sqlite3_stmt* s = stmt("SELECT 1 FROM keys WHERE id = ?1");
  if (!s) return ERROR_REGISTRY_IO_FAILED;
  Reset r{s};
  sqlite3_bind_int64(s, 1, key);
  int rc = sqlite3_step(s);
  if (rc == SQLITE_ROW) return ERROR_SUCCESS;
  if (rc == SQLITE_DONE) return ERROR_KEY_DELETED;
  return status(rc);
}

LONG Hive::childId(int64_t parent, std::string_view fold, int64_t* out) {
  sqlite3_stmt* s = stmt("SELECT id FROM keys WHERE parent = ?1 AND fold = ?2");
  if (!s) return ERROR_REGISTRY_IO_FAILED;
  Reset r{s};
  sqlite3_bind_int64(s, 1, parent);
  sqlite3_bind_text(s, 2, fold.data(), int(fold.size()), SQLITE_STATIC);
  int rc = sqlite3_step(s);
  if (rc == SQLITE_ROW) {
    *out = sqlite3_column_int64(s, 0);
    return ERROR_SUCCESS;
  }
  return rc == SQLITE_DONE ? ERROR_FILE_NOT_FOUND : status(rc);
}

LONG Hive::openPath(int64_t from, const std::vector<std::string>& path, int64_t* out) {
  if (LONG st = keyExists(from)) return st;
  int64_t id = from;
  for (const auto& name : path) {
    std::string fold = codepage::foldAnsi(name);
    if (LONG st = childId(id, fold, &id)) return st;
  }
  *out = id;
  return ERROR_SUCCESS;
}

LONG Hive::createPath(int64_t from, const std::vector<std::string>& path, int64_t* out,
                      DWORD* disposition) {
  // Opening an existing key needs no write lock (and succeeds on a read-only hive
  // when the caller asked for no write access).
  if (LONG st = openPath(from, path, out); st != ERROR_FILE_NOT_FOUND) {
    if (st == ERROR_SUCCESS && disposition) *disposition = REG_OPENED_EXISTING_KEY;
    return st;
  }
  if (LONG st = begin()) return st;
  if (LONG st = keyExists(from)) {
    rollback();
    return st;
  }
  int64_t id = from;
  bool created = false;
  for (const auto& name : path) {
    std::string fold = codepage::foldAnsi(name);
    LONG st = childId(id, fold, &id);
    if (st == ERROR_FILE_NOT_FOUND) {
      sqlite3_stmt* s = stmt("INSERT INTO keys(parent, name, fold) VALUES(?1, ?2, ?3)");
      if (!s)
        st = ERROR_REGISTRY_IO_FAILED;
      else {
        Reset r{s};
        sqlite3_bind_int64(s, 1, id);
        bindText(s, 2, codepage::ansiToUtf8(name));
        bindText(s, 3, fold);
        st = status(sqlite3_step(s));
        if (st == ERROR_SUCCESS) {
          id = sqlite3_last_insert_rowid(db_);
          created = true;
        }
      }
    }
    if (st != ERROR_SUCCESS) {
      rollback();
      return st;
    }
  }
  if (LONG st = commit()) return st;
  *out = id;
  if (disposition) *disposition = created ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
  return ERROR_SUCCESS;
}

LONG Hive::queryValue(int64_t key, std::string_view name, DWORD* type, std::string* data) {
  sqlite3_stmt* s = stmt(
      "SELECT type, data, (SELECT 1 FROM keys WHERE id = ?1) FROM vals "
      "WHERE key = ?1 AND fold = ?2");
  if (!s) return ERROR_REGISTRY_IO_FAILED;
  Reset r{s};
  std::string fold = codepage::foldAnsi(name);
  sqlite3_bind_int64(s, 1, key);
  bindText(s, 2, fold);
  int rc = sqlite3_step(s);
  if (rc == SQLITE_ROW) {
    *type = DWORD(sqlite3_column_int64(s, 0));
    columnBytes(s, 1, data);
    return ERROR_SUCCESS;
  }
  if (rc != SQLITE_DONE) return status(rc);
  LONG st = keyExists(key);
  return st ? st : ERROR_FILE_NOT_FOUND;
}

LONG Hive::setValue(int64_t key, std::string_view name, DWORD type, std::string_view data) {
  return change([&]() -> LONG {
    if (LONG st = keyExists(key)) return st;
    // An existing value keeps its place in the enumeration order.
    sqlite3_stmt* s = stmt(
        "INSERT INTO vals(key, name, fold, type, data) VALUES(?1, ?2, ?3, ?4, ?5) "
        "ON CONFLICT(key, fold) DO UPDATE SET type = ?4, data = ?5");
    if (!s) return ERROR_REGISTRY_IO_FAILED;
    Reset r{s};
    sqlite3_bind_int64(s, 1, key);
    bindText(s, 2, codepage::ansiToUtf8(name));
    bindText(s, 3, codepage::foldAnsi(name));
    sqlite3_bind_int64(s, 4, type);
    // An empty value is an empty blob, never SQL NULL.
    if (data.empty())
      sqlite3_bind_zeroblob(s, 5, 0);
    else
      sqlite3_bind_blob(s, 5, data.data(), int(data.size()), SQLITE_STATIC);
    return status(sqlite3_step(s));
  });
}

LONG Hive::deleteValue(int64_t key, std::string_view name) {
  return change([&]() -> LONG {
    if (LONG st = keyExists(key)) return st;
    sqlite3_stmt* s = stmt("DELETE FROM vals WHERE key = ?1 AND fold = ?2");
    if (!s) return ERROR_REGISTRY_IO_FAILED;
    Reset r{s};
    sqlite3_bind_int64(s, 1, key);
    bindText(s, 2, codepage::foldAnsi(name));
    if (LONG st = status(sqlite3_step(s))) return st;
    return sqlite3_changes(db_) == 0 ? ERROR_FILE_NOT_FOUND : ERROR_SUCCESS;
  });
}

LONG Hive::enumKey(int64_t key, DWORD index, std::string* name) {
  if (LONG st = keyExists(key)) return st;
  sqlite3_stmt* s = stmt("SELECT name FROM keys WHERE parent = ?1 ORDER BY fold LIMIT 1 OFFSET ?2");
  if (!s) return ERROR_REGISTRY_IO_FAILED;
  Reset r{s};
  sqlite3_bind_int64(s, 1, key);
  sqlite3_bind_int64(s, 2, index);
  int rc = sqlite3_step(s);
  if (rc == SQLITE_ROW) {
    *name = codepage::utf8ToAnsi(reinterpret_cast<const char*>(sqlite3_column_text(s, 0)));
    return ERROR_SUCCESS;
  }
  return rc == SQLITE_DONE ? ERROR_NO_MORE_ITEMS : status(rc);
}

LONG Hive::subKeyValues(int64_t key, std::string_view name,
                        std::vector<std::pair<std::string, std::string>>* out) {
  if (LONG st = keyExists(key)) return st;
  sqlite3_stmt* s = stmt(
      "SELECT k.name, v.data FROM keys k JOIN vals v ON v.key = k.id AND v.fold = ?2 "
      "WHERE k.parent = ?1 ORDER BY k.fold");
  if (!s) return ERROR_REGISTRY_IO_FAILED;
  Reset r{s};
  sqlite3_bind_int64(s, 1, key);
  bindText(s, 2, codepage::foldAnsi(name));
  int rc;
  while ((rc = sqlite3_step(s)) == SQLITE_ROW) {
    std::string data;
    columnBytes(s, 1, &data);
    out->emplace_back(
        codepage::utf8ToAnsi(reinterpret_cast<const char*>(sqlite3_column_text(s, 0))),
        std::move(data));
  }
  return rc == SQLITE_DONE ? ERROR_SUCCESS : status(rc);
}

LONG Hive::enumValue(int64_t key, DWORD index, ValueRecord* value) {
  if (LONG st = keyExists(key)) return st;
  sqlite3_stmt* s =
      stmt("SELECT name, type, data FROM vals WHERE key = ?1 ORDER BY seq LIMIT 1 OFFSET ?2");
  if (!s) return ERROR_REGISTRY_IO_FAILED;
  Reset r{s};
  sqlite3_bind_int64(s, 1, key);
  sqlite3_bind_int64(s, 2, index);
  int rc = sqlite3_step(s);
  if (rc == SQLITE_ROW) {
    value->name = codepage::utf8ToAnsi(reinterpret_cast<const char*>(sqlite3_column_text(s, 0)));
    value->type = DWORD(sqlite3_column_int64(s, 1));
    columnBytes(s, 2, &value->data);
    return ERROR_SUCCESS;
  }
  return rc == SQLITE_DONE ? ERROR_NO_MORE_ITEMS : status(rc);
}

LONG Hive::removeLeaf(int64_t id) {
  sqlite3_stmt* s = stmt("SELECT 1 FROM keys WHERE parent = ?1 LIMIT 1");
  if (!s) return ERROR_REGISTRY_IO_FAILED;
  {
    Reset r{s};
    sqlite3_bind_int64(s, 1, id);
    int rc = sqlite3_step(s);
    if (rc == SQLITE_ROW) return ERROR_ACCESS_DENIED;  // a key with subkeys stays
    if (rc != SQLITE_DONE) return status(rc);
  }
  for (const char* sql : {"DELETE FROM vals WHERE key = ?1", "DELETE FROM keys WHERE id = ?1"}) {
    sqlite3_stmt* d = stmt(sql);
    if (!d) return ERROR_REGISTRY_IO_FAILED;
    Reset r{d};
    sqlite3_bind_int64(d, 1, id);
    if (LONG st = status(sqlite3_step(d))) return st;
  }
  return ERROR_SUCCESS;
}

LONG Hive::deleteKey(int64_t parent, std::string_view name) {
  return change([&]() -> LONG {
    int64_t id = 0;
    if (LONG st = keyExists(parent)) return st;
    if (LONG st = childId(parent, codepage::foldAnsi(name), &id)) return st;
    return removeLeaf(id);
  });
}

LONG Hive::deleteKeyItself(int64_t key) {
  if (key == kRootId) return ERROR_ACCESS_DENIED;
  return change([&]() -> LONG {
    if (LONG st = keyExists(key)) return st;
    return removeLeaf(key);
  });
}

LONG Hive::queryInfo(int64_t key, KeyInfo* info) {
  if (LONG st = keyExists(key)) return st;
  sqlite3_stmt* s = stmt(
      "SELECT (SELECT count(*) FROM keys WHERE parent = ?1),"
      "       (SELECT max(length(CAST(name AS BLOB))) FROM keys WHERE parent = ?1),"
      "       (SELECT count(*) FROM vals WHERE key = ?1),"
      "       (SELECT max(length(CAST(name AS BLOB))) FROM vals WHERE key = ?1),"
      "       (SELECT max(length(data)) FROM vals WHERE key = ?1)");
  if (!s) return ERROR_REGISTRY_IO_FAILED;
  Reset r{s};
  sqlite3_bind_int64(s, 1, key);
  int rc = sqlite3_step(s);
  if (rc != SQLITE_ROW) return status(rc);
  // Name lengths are counted in UTF-8 bytes here, an upper bound of the ANSI length.
  info->subKeys = DWORD(sqlite3_column_int64(s, 0));
  info->maxSubKeyLen = DWORD(sqlite3_column_int64(s, 1));
  info->values = DWORD(sqlite3_column_int64(s, 2));
  info->maxValueNameLen = DWORD(sqlite3_column_int64(s, 3));
  info->maxValueLen = DWORD(sqlite3_column_int64(s, 4));
  return ERROR_SUCCESS;
}

}  // namespace pw::registry
