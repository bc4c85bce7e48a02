#include "advapi32/hive.h"

#include "advapi32/boot_note.h"
#include "advapi32/hive_vfs.h"
#include "advapi32/lock_wait.h"

#include "machine/codepage.h"
#include "machine/host_calls.h"
#include "machine/machine.h"

#include <fcntl.h>
#include <sqlite3.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <cstdlib>
#include <memory>

namespace pw::registry {
namespace {

// A run checkpoints the write-ahead log into the hive when a commit leaves more frames
// in it than this (a long 'D' writes many), and once more at its end when more than
// kEndCheckpointFrames are left, so that the next run has only a short log to read
// when it opens the hive.
constexpr int kRunCheckpointFrames = 4096;
constexpr int kEndCheckpointFrames = 32;

// Root may write any file; the owner's write bit is what an administrator sets to
// deny writes to a hive, so it is honoured for root too.
bool hiveWritable(const std::string& path) {
  struct stat st {};
  if (pw::host::stat(path.c_str(), &st) != 0) return true;  // created on open
  if (::geteuid() == 0) return (st.st_mode & S_IWUSR) != 0;
  return pw::host::access(path.c_str(), W_OK) == 0;
}

// Laying a hive out switches its file to write-ahead logging, which upgrades a shared
// lock on the file to an exclusive one; when several processes try that at once, SQLite
// answers "busy" to all but one without waiting, since waiting could deadlock. So the
// processes that find a hive still to lay out take turns on a lock of the registry
// folder: the first lays it out, the others then find it done. The lock goes with its
// process however that ends; one not given within the lock wait is done without, and
// is no held lock of a hive (the run laying the hive out may only be slow).
class LayoutTurn {
 public:
  explicit LayoutTurn(const std::string& hivePath) {
    std::string folder = hivePath.substr(0, hivePath.rfind('/') + 1);
    fd_ = pw::host::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    LockWait wait(LockWait::Kind::Turn);
    while (fd_ >= 0 && pw::host::flock(fd_, LOCK_EX | LOCK_NB) != 0) {
      if ((errno != EWOULDBLOCK && errno != EINTR) || !wait.pause()) {
        pw::host::close(fd_);
        fd_ = -1;
      }
    }
  }
  ~LayoutTurn() {
    if (fd_ >= 0) pw::host::close(fd_);
  }
  LayoutTurn(const LayoutTurn&) = delete;
  LayoutTurn& operator=(const LayoutTurn&) = delete;

 private:
  int fd_ = -1;
};

// Folds the write-ahead log into the hive and empties it, without waiting for other
// runs. The pages are copied and flushed first without the write lock, so that other
// runs' changes are not held up for the flushes; emptying the log then needs the write
// lock only for a moment.
bool foldLog(sqlite3* db) {
  sqlite3_wal_checkpoint_v2(db, "main", SQLITE_CHECKPOINT_PASSIVE, nullptr, nullptr);
  return sqlite3_wal_checkpoint_v2(db, "main", SQLITE_CHECKPOINT_TRUNCATE, nullptr, nullptr) ==
         SQLITE_OK;
}

// A cached statement in use: its parameters ?1, ?2, ... bound from the arguments in
// that order, and reset with its bindings cleared when the query goes. It stands for
// its statement wherever SQLite takes one.
class Query {
 public:
  template <class... Params>
  explicit Query(sqlite3_stmt* s, const Params&... params) : s_(s) {
    int i = 0;
    if (s_) (bind(++i, params), ...);
  }
  ~Query() {
    if (!s_) return;
    sqlite3_reset(s_);
    sqlite3_clear_bindings(s_);
  }
  Query(const Query&) = delete;
  Query& operator=(const Query&) = delete;
  operator sqlite3_stmt*() const { return s_; }

 private:
  void bind(int i, int64_t value) { sqlite3_bind_int64(s_, i, value); }
  void bind(int i, const char* text) {  // null binds SQL NULL
    if (text)
      sqlite3_bind_text(s_, i, text, -1, SQLITE_TRANSIENT);
    else
      sqlite3_bind_null(s_, i);
  }
  void bind(int i, std::string_view text) {
    sqlite3_bind_text(s_, i, text.data(), int(text.size()), SQLITE_TRANSIENT);
  }
  sqlite3_stmt* s_;
};

// A subkey's row as enumKey and nextKey select it: name, class, last write.
void readSubKey(sqlite3_stmt* s, SubKeyRecord* subKey) {
  subKey->name = codepage::utf8ToAnsi(reinterpret_cast<const char*>(sqlite3_column_text(s, 0)));
  const unsigned char* className = sqlite3_column_text(s, 1);
  subKey->className =
      className ? codepage::utf8ToAnsi(reinterpret_cast<const char*>(className)) : "";
  subKey->written = sqlite3_column_int64(s, 2);
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
  if (id == HiveId::Machine) {
    static Hive* const machine = keepUntilExit(open(pw::machine::machineHivePath(), id));
    return machine;
  }
  if (id == HiveId::DefaultUser) {
    // Beside the machine's hive, as Windows keeps config\DEFAULT beside config\SOFTWARE.
    static Hive* const defaultUser = [] {
      std::string path = pw::machine::machineHivePath();
      return keepUntilExit(
          open(path.substr(0, path.rfind('/') + 1) + "default.db", HiveId::DefaultUser));
    }();
    return defaultUser;
  }
  static Hive* const user = keepUntilExit(open(pw::machine::userHivePath(), id));
  return user;
}

Hive* Hive::keepUntilExit(Hive* hive) {
  // At the process's end what the run committed is put on disk; the connection itself
  // is left for the exit to close (its locks, descriptors and maps go with the
  // process), which costs a run less than SQLite's close, whose unmapping of the
  // shared-memory index alone took a twentieth of a short run.
  static Hive* kept[3];
  static int count = 0;
  if (hive && count < 3) {
    kept[count] = hive;
    if (count++ == 0)
      std::atexit([] {
        for (int i = count - 1; i >= 0; --i) kept[i]->finishRun();
      });
  }
  return hive;
}

Hive* Hive::open(const std::string& path, HiveId id) {
  // Nothing here needs SQLite's count of its memory use, whose upkeep costs a lock and
  // an update on every allocation, nor the page cache it sets aside for each connection
  // in one block and writes through at once: a run reads a few pages of each hive, and
  // each new page of memory a process touches costs it a page fault. (Refused,
  // harmlessly, once SQLite is running.)
  static const bool configured = (sqlite3_config(SQLITE_CONFIG_MEMSTATUS, 0),
                                  sqlite3_config(SQLITE_CONFIG_PAGECACHE, nullptr, 0, 0), true);
  (void)configured;
  bool writable = hiveWritable(path);
  struct stat st {};
  bool newLog = pw::host::stat((path + "-wal").c_str(), &st) != 0;
  sqlite3* db = nullptr;
  int flags = writable ? (SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE) : SQLITE_OPEN_READONLY;
  if (sqlite3_open_v2(path.c_str(), &db, flags | SQLITE_OPEN_NOMUTEX, hiveVfsName()) != SQLITE_OK) {
    sqlite3_close(db);
    return nullptr;
  }
  waitForLocks(db);
  // The write-ahead log and its index stay beside the hive from run to run instead of
  // being made, grown and removed by every run; the run decides itself when to fold
  // the log back into the hive (see the destructor).
  sqlite3_db_config(db, SQLITE_DBCONFIG_NO_CKPT_ON_CLOSE, 1, nullptr);
  std::unique_ptr<Hive> hive(new Hive(db, writable, path, newLog));
  sqlite3_wal_hook(db, &Hive::onCommit, hive.get());
  // A hive that cannot be read (held by another process past the lock wait, a failing
  // disk) is no hive to lay out.
  int version = layoutVersion(db);
  if (version < 0) return nullptr;
  if (version < kLayoutVersion) {
    if (!writable) return nullptr;
    {
      LayoutTurn turn(path);
      version = layoutVersion(db);
      if (version < 0) return nullptr;
      // Not laid out by the process before; a run that finds it done once it holds
      // the write lock commits nothing.
      if (version < kLayoutVersion && layOutHive(db, id) != SQLITE_OK) return nullptr;
    }
    // The run that laid the hive out folds its layout into the hive, or a hive that is
    // seldom written would have it read back from the log by every run that opens it.
    // Other runs are free to go on meanwhile (the turn is given back), and a fold
    // that would have to wait for one of them is left to a later run's end.
    if (hive->wrote_) {
      sqlite3_busy_handler(db, nullptr, nullptr);
      if (foldLog(db)) hive->logFrames_ = 0;
      waitForLocks(db);
    }
  }
  sqlite3_exec(db, "PRAGMA synchronous=NORMAL", nullptr, nullptr, nullptr);
  if (writable) hive->forgetVolatileKeysOfAnEarlierBoot();
  return hive.release();
}

int Hive::onCommit(void* self, sqlite3* db, const char* name, int frames) {
  auto* hive = static_cast<Hive*>(self);
  hive->wrote_ = true;
  hive->logFrames_ = frames;
  if (frames > kRunCheckpointFrames &&
      sqlite3_wal_checkpoint_v2(db, name, SQLITE_CHECKPOINT_PASSIVE, nullptr, nullptr) == SQLITE_OK)
    hive->logFrames_ = 0;  // folded in; the next commit starts the log afresh
  return SQLITE_OK;
}

void Hive::finishRun() {
  if (!wrote_) return;
  wrote_ = false;
  // What a run committed is on disk before it ends, as it was when every run folded
  // the log into the hive: a long log is folded in and emptied (when no other run is
  // reading it at that moment), a short one is only flushed.
  // A flush that fails here has no one left to tell: the run's code is given already,
  // and what it committed stays in the log, whole, for the next run to read, as
  // Windows' lazy writing of a hive tells no program of its failures either.
  sqlite3_busy_handler(db_, nullptr, nullptr);
  if (logFrames_ <= kEndCheckpointFrames || !foldLog(db_)) (void)flushLog();
}

Hive::~Hive() {  // a connection that failed to open
  for (auto& [sql, s] : stmts_) sqlite3_finalize(s);
  sqlite3_close(db_);
}

bool Hive::flushLog() {
  // Through a descriptor of its own: SQLite's sync would flush the folder as well on
  // every run, which only a log made in this run needs. No log means nothing to flush.
  std::string log = path_ + "-wal";
  bool flushed = true;
  if (int fd = pw::host::open(log.c_str(), O_RDONLY | O_CLOEXEC); fd >= 0) {
    flushed = pw::host::fdatasync(fd) == 0;
    pw::host::close(fd);
  } else if (errno != ENOENT) {
    flushed = false;
  }
  if (newLog_ && flushed) {
    std::string folder = path_.substr(0, path_.rfind('/') + 1);
    int fd = pw::host::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    flushed = fd >= 0 && pw::host::fsync(fd) == 0;
    if (fd >= 0) pw::host::close(fd);
  }
  return flushed;
}

sqlite3_stmt* Hive::stmt(const char* sql) {
  auto [it, added] = stmts_.try_emplace(sql, nullptr);  // the map grows before SQLite allocates
  if (!added) return it->second;
  if (sqlite3_prepare_v3(db_, sql, -1, SQLITE_PREPARE_PERSISTENT, &it->second, nullptr) !=
      SQLITE_OK) {
    sqlite3_finalize(it->second);
    stmts_.erase(it);
    return nullptr;
  }
  return it->second;
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

int Hive::run(const char* sql) {
  sqlite3_stmt* s = stmt(sql);
  if (!s) return sqlite3_errcode(db_);
  int rc = sqlite3_step(s);
  sqlite3_reset(s);
  return rc == SQLITE_DONE ? SQLITE_OK : rc;
}

LONG Hive::begin() {
  if (!writable_) return ERROR_ACCESS_DENIED;
  return status(run("BEGIN IMMEDIATE"));
}

LONG Hive::commit() {
  int rc = run("COMMIT");
  if (rc != SQLITE_OK) rollback();
  return status(rc);
}

void Hive::rollback() {
  if (!sqlite3_get_autocommit(db_)) run("ROLLBACK");
}

template <class Body>
LONG Hive::change(Body body) {
  if (LONG st = begin()) return st;
  LONG st;
  try {
    st = body();
  } catch (...) {
    rollback();  // a transaction left open would hold the write lock and refuse every change
    throw;
  }
  if (st) {
    rollback();
    return st;
  }
  return commit();
}

template <class Body>
LONG Hive::read(Body body) {
  if (!sqlite3_get_autocommit(db_)) return body();  // inside a change already
  if (int rc = run("BEGIN")) return status(rc);
  LONG st;
  try {
    st = body();
  } catch (...) {
    rollback();  // a read left open would keep every later change out
    throw;
  }
  run("COMMIT");  // ends the read; nothing to write
  return st;
}

LONG Hive::keyFlags(int64_t key, int64_t* flags) {
  Query s(stmt("SELECT flags FROM keys WHERE id = ?1"), key);
  if (!s) return ERROR_REGISTRY_IO_FAILED;
  int rc = sqlite3_step(s);
  if (rc == SQLITE_ROW) {
    *flags = sqlite3_column_int64(s, 0);
    return ERROR_SUCCESS;
  }
  if (rc == SQLITE_DONE) return ERROR_KEY_DELETED;
  return status(rc);
}

LONG Hive::keyExists(int64_t key) {
  int64_t flags;
  return keyFlags(key, &flags);
}

LONG Hive::childId(int64_t parent, std::string_view fold, int64_t* out, int64_t* flags) {
  Query s(stmt("SELECT id, flags FROM keys WHERE parent = ?1 AND fold = ?2"), parent, fold);
  if (!s) return ERROR_REGISTRY_IO_FAILED;
  int rc = sqlite3_step(s);
  if (rc == SQLITE_ROW) {
    *out = sqlite3_column_int64(s, 0);
    if (flags) *flags = sqlite3_column_int64(s, 1);
    return ERROR_SUCCESS;
  }
  return rc == SQLITE_DONE ? ERROR_FILE_NOT_FOUND : status(rc);
}

LONG Hive::openPath(int64_t from, const std::vector<std::string>& path, int64_t* out) {
  return read([&]() -> LONG {
    if (LONG st = keyExists(from)) return st;
    int64_t id = from;
    for (const auto& name : path) {
      std::string fold = codepage::foldAnsi(name);
      if (LONG st = childId(id, fold, &id)) return st;
    }
    *out = id;
    return ERROR_SUCCESS;
  });
}

LONG Hive::createPath(int64_t from, const std::vector<std::string>& path, int64_t* out,
                      DWORD* disposition, const CreateOptions& options) {
  // Opening an existing key needs no write lock (and succeeds on a read-only hive
  // when the caller asked for no write access).
  if (LONG st = openPath(from, path, out); st != ERROR_FILE_NOT_FOUND) {
    if (st == ERROR_SUCCESS && disposition) *disposition = REG_OPENED_EXISTING_KEY;
    return st;
  }
  std::string className = options.className ? codepage::ansiToUtf8(options.className) : "";
  bool created = false;
  LONG result = change([&]() -> LONG {
    int64_t id = from, flags = 0;
    if (LONG st = keyFlags(from, &flags)) return st;
    created = false;
    int64_t now = fileTimeNow();
    for (const auto& name : path) {
      std::string fold = codepage::foldAnsi(name);
      int64_t parent = id, parentFlags = flags;
      LONG st = childId(id, fold, &id, &flags);
      if (st == ERROR_FILE_NOT_FOUND) {
        if (parentFlags & kKeySealed) return ERROR_ACCESS_DENIED;
        if ((parentFlags & kKeyVolatile) && !options.isVolatile)
          return ERROR_CHILD_MUST_BE_VOLATILE;
        // A key created below one owned by the system belongs to the system too.
        flags = (parentFlags & kKeySystemOwned) | (options.isVolatile ? int64_t(kKeyVolatile) : 0);
        Query s(stmt("INSERT INTO keys(parent, name, fold, flags, class, written) "
                     "VALUES(?1, ?2, ?3, ?4, ?5, ?6)"),
                parent, codepage::ansiToUtf8(name), fold, int64_t(flags),
                options.className ? className.c_str() : nullptr, now);
        if (!s) return ERROR_REGISTRY_IO_FAILED;
        if ((st = status(sqlite3_step(s)))) return st;
        id = sqlite3_last_insert_rowid(db_);
        // The existing key above the first new one has a new subkey: it is written.
        if (!created && (st = touch(parent))) return st;
        created = true;
      } else if (st) {
        return st;
      }
    }
    *out = id;
    if (disposition) *disposition = created ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
    return ERROR_SUCCESS;
  });
  if (result == ERROR_SUCCESS && created && options.isVolatile) noteVolatileKeys();
  return result;
}

void Hive::noteVolatileKeys() {
  std::string note = path_ + "-volatile";
  if (!readBootNote(note).empty()) return;
  if (std::string boot = hostBootId(); !boot.empty()) writeBootNote(note, boot);
}

void Hive::forgetVolatileKeysOfAnEarlierBoot() {
  std::string note = path_ + "-volatile";
  std::string noted = readBootNote(note);
  if (noted.empty()) return;  // no volatile key was ever made here
  std::string boot = hostBootId();
  if (boot.empty() || boot == noted) return;
  // Every subkey of a volatile key is volatile too: the flag finds them all.
  LONG st = change([&]() -> LONG {
    for (const char* sql : {"DELETE FROM vals WHERE key IN (SELECT id FROM keys WHERE flags & 8)",
                            "DELETE FROM keys WHERE flags & 8"})
      if (int rc = run(sql)) return status(rc);
    return ERROR_SUCCESS;
  });
  if (st == ERROR_SUCCESS) writeBootNote(note, boot);
}

LONG Hive::touch(int64_t key) {
  Query s(stmt("UPDATE keys SET written = ?2 WHERE id = ?1"), key, fileTimeNow());
  if (!s) return ERROR_REGISTRY_IO_FAILED;
  return status(sqlite3_step(s));
}

LONG Hive::queryValue(int64_t key, std::string_view name, DWORD* type, std::string* data) {
  return read([&]() -> LONG {
    Query s(stmt("SELECT type, data FROM vals WHERE key = ?1 AND fold = ?2"), key,
            codepage::foldAnsi(name));
    if (!s) return ERROR_REGISTRY_IO_FAILED;
    int rc = sqlite3_step(s);
    if (rc == SQLITE_ROW) {
      *type = DWORD(sqlite3_column_int64(s, 0));
      columnBytes(s, 1, data);
      return ERROR_SUCCESS;
    }
    if (rc != SQLITE_DONE) return status(rc);
    LONG st = keyExists(key);
    return st ? st : ERROR_FILE_NOT_FOUND;
  });
}

LONG Hive::setValue(int64_t key, std::string_view name, DWORD type, std::string_view data) {
  return change([&]() -> LONG {
    if (LONG st = keyExists(key)) return st;
    // An existing value keeps its place in the enumeration order.
    Query s(stmt("INSERT INTO vals(key, name, fold, type, data) VALUES(?1, ?2, ?3, ?4, ?5) "
                 "ON CONFLICT(key, fold) DO UPDATE SET type = ?4, data = ?5"),
            key, codepage::ansiToUtf8(name), codepage::foldAnsi(name), int64_t(type));
    if (!s) return ERROR_REGISTRY_IO_FAILED;
    // An empty value is an empty blob, never SQL NULL.
    if (data.empty())
      sqlite3_bind_zeroblob(s, 5, 0);
    else
      sqlite3_bind_blob(s, 5, data.data(), int(data.size()), SQLITE_STATIC);
    if (LONG st = status(sqlite3_step(s))) return st;
    return touch(key);
  });
}

LONG Hive::deleteValue(int64_t key, std::string_view name) {
  return change([&]() -> LONG {
    if (LONG st = keyExists(key)) return st;
    Query s(stmt("DELETE FROM vals WHERE key = ?1 AND fold = ?2"), key, codepage::foldAnsi(name));
    if (!s) return ERROR_REGISTRY_IO_FAILED;
    if (LONG st = status(sqlite3_step(s))) return st;
    return sqlite3_changes(db_) == 0 ? ERROR_FILE_NOT_FOUND : touch(key);
  });
}

LONG Hive::enumKey(int64_t key, DWORD index, std::string* name) {
  SubKeyRecord subKey;
  LONG st = enumKey(key, index, &subKey);
  if (st == ERROR_SUCCESS) *name = std::move(subKey.name);
  return st;
}

LONG Hive::enumKey(int64_t key, DWORD index, SubKeyRecord* subKey) {
  return read([&]() -> LONG {
    if (LONG st = keyExists(key)) return st;
    Query s(stmt("SELECT name, class, written FROM keys WHERE parent = ?1 ORDER BY fold "
                 "LIMIT 1 OFFSET ?2"),
            key, int64_t(index));
    if (!s) return ERROR_REGISTRY_IO_FAILED;
    int rc = sqlite3_step(s);
    if (rc == SQLITE_ROW) {
      readSubKey(s, subKey);
      return ERROR_SUCCESS;
    }
    return rc == SQLITE_DONE ? ERROR_NO_MORE_ITEMS : status(rc);
  });
}

LONG Hive::nextKey(int64_t key, std::string_view previous, SubKeyRecord* subKey) {
  return read([&]() -> LONG {
    if (LONG st = keyExists(key)) return st;
    Query s(stmt("SELECT name, class, written FROM keys WHERE parent = ?1 AND fold > ?2 "
                 "ORDER BY fold LIMIT 1"),
            key, codepage::foldAnsi(previous));
    if (!s) return ERROR_REGISTRY_IO_FAILED;
    int rc = sqlite3_step(s);
    if (rc == SQLITE_ROW) {
      readSubKey(s, subKey);
      return ERROR_SUCCESS;
    }
    return rc == SQLITE_DONE ? ERROR_NO_MORE_ITEMS : status(rc);
  });
}

LONG Hive::enumValue(int64_t key, DWORD index, ValueRecord* value) {
  return read([&]() -> LONG {
    if (LONG st = keyExists(key)) return st;
    Query s(stmt("SELECT name, type, data FROM vals WHERE key = ?1 ORDER BY seq LIMIT 1 OFFSET ?2"),
            key, int64_t(index));
    if (!s) return ERROR_REGISTRY_IO_FAILED;
    int rc = sqlite3_step(s);
    if (rc == SQLITE_ROW) {
      value->name = codepage::utf8ToAnsi(reinterpret_cast<const char*>(sqlite3_column_text(s, 0)));
      value->type = DWORD(sqlite3_column_int64(s, 1));
      columnBytes(s, 2, &value->data);
      return ERROR_SUCCESS;
    }
    return rc == SQLITE_DONE ? ERROR_NO_MORE_ITEMS : status(rc);
  });
}

LONG Hive::removeLeaf(int64_t id, bool asSystem) {
  int64_t flags = 0, parent = 0;
  {
    Query s(stmt("SELECT flags, parent FROM keys WHERE id = ?1"), id);
    if (!s) return ERROR_REGISTRY_IO_FAILED;
    int rc = sqlite3_step(s);
    if (rc == SQLITE_DONE) return ERROR_KEY_DELETED;
    if (rc != SQLITE_ROW) return status(rc);
    flags = sqlite3_column_int64(s, 0);
    parent = sqlite3_column_int64(s, 1);
  }
  if ((flags & kKeyUndeletable) || ((flags & kKeySystemOwned) && !asSystem))
    return ERROR_ACCESS_DENIED;
  {
    Query s(stmt("SELECT 1 FROM keys WHERE parent = ?1 LIMIT 1"), id);
    if (!s) return ERROR_REGISTRY_IO_FAILED;
    int rc = sqlite3_step(s);
    if (rc == SQLITE_ROW) return ERROR_ACCESS_DENIED;  // a key with subkeys stays
    if (rc != SQLITE_DONE) return status(rc);
  }
  for (const char* sql : {"DELETE FROM vals WHERE key = ?1", "DELETE FROM keys WHERE id = ?1"}) {
    Query d(stmt(sql), id);
    if (!d) return ERROR_REGISTRY_IO_FAILED;
    if (LONG st = status(sqlite3_step(d))) return st;
  }
  return touch(parent);  // the parent lost a subkey
}

LONG Hive::deleteKey(int64_t from, const std::vector<std::string>& path) {
  // A missing key is missing on a hive that cannot be written too.
  if (!writable_) {
    int64_t id;
    if (LONG st = openPath(from, path, &id)) return st;
    return ERROR_ACCESS_DENIED;
  }
  return change([&]() -> LONG {
    int64_t id;
    if (LONG st = openPath(from, path, &id)) return st;
    return removeLeaf(id, false);
  });
}

LONG Hive::deleteKeyItself(int64_t key) {
  if (key == kRootId) return ERROR_ACCESS_DENIED;
  return change([&]() -> LONG { return removeLeaf(key, false); });
}

LONG Hive::markSystemOwned(const std::vector<std::string>& path) {
  if (path.empty()) return ERROR_ACCESS_DENIED;  // a hive's root belongs to no one
  int64_t id;
  if (LONG st = createPath(kRootId, path, &id, nullptr)) return st;
  return change([&]() -> LONG {
    if (LONG st = keyExists(id)) return st;
    return status(markSubtreeSystemOwned(db_, id));
  });
}

LONG Hive::deleteSystemTree(const std::vector<std::string>& path) {
  return change([&]() -> LONG {
    int64_t id;
    if (path.empty()) return ERROR_ACCESS_DENIED;
    if (LONG st = openPath(kRootId, path, &id)) return st;
    // Children before their parent, so that every key is a leaf when it goes.
    std::vector<int64_t> order;
    {
      Query s(stmt("WITH RECURSIVE below(id, depth) AS (SELECT ?1, 0 UNION ALL "
                   "  SELECT k.id, b.depth + 1 FROM keys k JOIN below b ON k.parent = b.id) "
                   "SELECT id FROM below ORDER BY depth DESC"),
              id);
      if (!s) return ERROR_REGISTRY_IO_FAILED;
      int rc;
      while ((rc = sqlite3_step(s)) == SQLITE_ROW) order.push_back(sqlite3_column_int64(s, 0));
      if (rc != SQLITE_DONE) return status(rc);
    }
    for (int64_t key : order)
      if (LONG st = removeLeaf(key, true)) return st;
    return ERROR_SUCCESS;
  });
}

LONG Hive::queryInfo(int64_t key, KeyInfo* info) {
  return read([&]() -> LONG {
    // Names count in characters: each character of the ANSI code page is one of UTF-16,
    // and SQLite's length() of a text counts its characters.
    Query s(stmt("SELECT (SELECT count(*) FROM keys WHERE parent = ?1),"
                 "       (SELECT max(length(name)) FROM keys WHERE parent = ?1),"
                 "       (SELECT max(length(class)) FROM keys WHERE parent = ?1),"
                 "       (SELECT count(*) FROM vals WHERE key = ?1),"
                 "       (SELECT max(length(name)) FROM vals WHERE key = ?1),"
                 "       (SELECT max(CASE WHEN type IN (1, 2, 7) THEN 2 * length(data)"
                 "                   ELSE length(data) END) FROM vals WHERE key = ?1),"
                 "       class, written FROM keys WHERE id = ?1"),
            key);
    if (!s) return ERROR_REGISTRY_IO_FAILED;
    int rc = sqlite3_step(s);
    if (rc == SQLITE_DONE) return ERROR_KEY_DELETED;
    if (rc != SQLITE_ROW) return status(rc);
    info->subKeys = DWORD(sqlite3_column_int64(s, 0));
    info->maxSubKeyLen = DWORD(sqlite3_column_int64(s, 1));
    info->maxClassLen = DWORD(sqlite3_column_int64(s, 2));
    info->values = DWORD(sqlite3_column_int64(s, 3));
    info->maxValueNameLen = DWORD(sqlite3_column_int64(s, 4));
    info->maxValueLen = DWORD(sqlite3_column_int64(s, 5));
    const unsigned char* className = sqlite3_column_text(s, 6);
    info->className =
        className ? codepage::utf8ToAnsi(reinterpret_cast<const char*>(className)) : "";
    info->written = sqlite3_column_int64(s, 7);
    return ERROR_SUCCESS;
  });
}

}  // namespace pw::registry
