// One registry hive kept in an SQLite database: keys form a tree of rows, values
// keep their exact bytes and type, names compare case-insensitively. Every
// mutating call is one IMMEDIATE transaction, so overlapping processes never see
// or leave half a change. All calls answer with a Win32 status code.
#pragma once

#include <windows.h>

#include "advapi32/hive_layout.h"

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

namespace pw::registry {

struct ValueRecord {
  std::string name;  // ANSI
  DWORD type = REG_NONE;
  std::string data;
};

// What RegQueryInfoKeyA reports of a key. Lengths count characters (one a byte in the ANSI
// code page); the longest value counts the bytes Windows keeps, where string data is
// UTF-16, two bytes a character.
struct KeyInfo {
  DWORD subKeys = 0, maxSubKeyLen = 0, maxClassLen = 0, values = 0, maxValueNameLen = 0,
        maxValueLen = 0;
  std::string className;  // ANSI
  int64_t written = 0;    // last write time, as a FILETIME counts it
};

// A subkey as RegEnumKeyExA reports it.
struct SubKeyRecord {
  std::string name, className;  // ANSI
  int64_t written = 0;
};

// How RegCreateKeyExA makes the keys it creates.
struct CreateOptions {
  bool isVolatile = false;  // REG_OPTION_VOLATILE
  const char* className = nullptr;
};

class Hive {
 public:
  static constexpr int64_t kRootId = 1;

  // The process's one connection to a hive, opened on first use and kept until the
  // process ends; null when the hive file cannot be opened at all.
  static Hive* get(HiveId id);

  Hive(const Hive&) = delete;
  Hive& operator=(const Hive&) = delete;
  ~Hive();

  bool writable() const { return writable_; }

  LONG keyExists(int64_t key);
  LONG openPath(int64_t from, const std::vector<std::string>& path, int64_t* out);
  // Creates every missing key on the path; a non-volatile key is refused below a volatile
  // one (ERROR_CHILD_MUST_BE_VOLATILE).
  LONG createPath(int64_t from, const std::vector<std::string>& path, int64_t* out,
                  DWORD* disposition, const CreateOptions& options = {});
  LONG queryValue(int64_t key, std::string_view name, DWORD* type, std::string* data);
  LONG setValue(int64_t key, std::string_view name, DWORD type, std::string_view data);
  LONG deleteValue(int64_t key, std::string_view name);
  LONG enumKey(int64_t key, DWORD index, std::string* name);
  LONG enumKey(int64_t key, DWORD index, SubKeyRecord* subKey);
  // The subkey that follows `previous` in enumeration order: what enumKey answers for
  // the next index, found through the index rather than by counting.
  LONG nextKey(int64_t key, std::string_view previous, SubKeyRecord* subKey);
  LONG enumValue(int64_t key, DWORD index, ValueRecord* value);
  // Deletes the key at `path` below `from` (a leaf, not owned by the system): the
  // lookup and the deletion in one transaction.
  LONG deleteKey(int64_t from, const std::vector<std::string>& path);
  LONG deleteKeyItself(int64_t key);
  LONG queryInfo(int64_t key, KeyInfo* info);

  // The machine's own administration: marks the key at `path` (created when missing)
  // and everything below it as owned by the system, or deletes such a key with
  // everything below it. Hive roots stay.
  LONG markSystemOwned(const std::vector<std::string>& path);
  LONG deleteSystemTree(const std::vector<std::string>& path);

  // Puts what is committed on the disk now rather than when the process ends; false
  // when the host could not.
  bool flush() { return flushLog(); }

 private:
  Hive(sqlite3* db, bool writable, std::string path, bool newLog)
      : db_(db), writable_(writable), newLog_(newLog), path_(std::move(path)) {}
  static Hive* open(const std::string& path, HiveId id);
  static Hive* keepUntilExit(Hive* hive);
  void finishRun();
  static int onCommit(void* hive, sqlite3* db, const char* name, int frames);
  bool flushLog();
  sqlite3_stmt* stmt(const char* sql);
  int run(const char* sql);  // a statement without results, prepared once
  LONG begin();
  // Runs `body` in one write transaction: committed when it answers success, rolled
  // back otherwise.
  template <class Body>
  LONG change(Body body);
  // Runs `body` as one read transaction: one look at the hive, with one lock taken
  // and released, instead of one per statement.
  template <class Body>
  LONG read(Body body);
  LONG commit();
  void rollback();
  LONG keyFlags(int64_t key, int64_t* flags);
  // Marks a key as written now, inside a change.
  LONG touch(int64_t key);
  LONG childId(int64_t parent, std::string_view fold, int64_t* out, int64_t* flags = nullptr);
  // Volatile keys last until the machine restarts, which it does with its host: a hive
  // that has held one keeps a note of the host's boot beside it, and the first process
  // to open it after another boot deletes them (advapi32/hive_volatile.cpp).
  void noteVolatileKeys();
  void forgetVolatileKeysOfAnEarlierBoot();
  // Deletes a key without subkeys, inside a transaction; `asSystem` lets keys owned by
  // the system go.
  LONG removeLeaf(int64_t id, bool asSystem);
  LONG status(int rc) const;

  sqlite3* db_;
  bool writable_;
  bool newLog_;  // the write-ahead log did not exist before this process
  std::string path_;
  bool wrote_ = false;  // a change was committed through this connection
  int logFrames_ = 0;   // frames in the write-ahead log after the last commit
  std::map<const char*, sqlite3_stmt*> stmts_;
};

}  // namespace pw::registry
