// One registry hive kept in an SQLite database: keys form a tree of rows, values
// keep their exact bytes and type, names compare case-insensitively. Every
// mutating call is one IMMEDIATE transaction, so overlapping processes never see
// or leave half a change. All calls answer with a Win32 status code.
#pragma once

#include <windows.h>

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

namespace pw::registry {

enum class HiveId { Machine, User };

struct ValueRecord {
  std::string name;  // ANSI
  DWORD type = REG_NONE;
  std::string data;
};

struct KeyInfo {
  DWORD subKeys = 0, maxSubKeyLen = 0, values = 0, maxValueNameLen = 0, maxValueLen = 0;
};

class Hive {
 public:
  static constexpr int64_t kRootId = 1;

  // The process's one connection to a hive, opened on first use; null when the
  // hive file cannot be opened at all.
  static Hive* get(HiveId id);

  Hive(const Hive&) = delete;
  Hive& operator=(const Hive&) = delete;
  ~Hive();

  bool writable() const { return writable_; }

  LONG keyExists(int64_t key);
  LONG openPath(int64_t from, const std::vector<std::string>& path, int64_t* out);
  LONG createPath(int64_t from, const std::vector<std::string>& path, int64_t* out,
                  DWORD* disposition);
  LONG queryValue(int64_t key, std::string_view name, DWORD* type, std::string* data);
  LONG setValue(int64_t key, std::string_view name, DWORD type, std::string_view data);
  LONG deleteValue(int64_t key, std::string_view name);
  LONG enumKey(int64_t key, DWORD index, std::string* name);
  LONG enumValue(int64_t key, DWORD index, ValueRecord* value);
  // Every subkey of `key` that has a value named `name`, in enumeration order, with
  // that value's data: one query where enumerating key by key would take one a key.
  LONG subKeyValues(int64_t key, std::string_view name,
                    std::vector<std::pair<std::string, std::string>>* out);
  LONG deleteKey(int64_t parent, std::string_view name);
  LONG deleteKeyItself(int64_t key);
  LONG queryInfo(int64_t key, KeyInfo* info);

 private:
  Hive(sqlite3* db, bool writable) : db_(db), writable_(writable) {}
  static Hive* open(const std::string& path);
  sqlite3_stmt* stmt(const char* sql);
  LONG begin();
  // Runs `body` in one write transaction: committed when it answers success, rolled
  // back otherwise.
  template <class Body>
  LONG change(Body body);
  LONG commit();
  void rollback();
  LONG childId(int64_t parent, std::string_view fold, int64_t* out);
  LONG removeLeaf(int64_t id);  // inside a transaction
  LONG status(int rc) const;

  sqlite3* db_;
  bool writable_;
  std::map<const char*, sqlite3_stmt*> stmts_;
};

}  // namespace pw::registry
