// The hives' file layer on a failing disk: each write, sync and truncation of a run of
// commits fails in turn, once (a broken sector) and from then on (a full disk). SQLite
// must report the failure to the statement that needed the call, and the hive, opened
// again, must pass SQLite's integrity check and hold what was committed before, every
// commit that was reported done, and each commit whole or not at all.
#include "advapi32/hive_vfs.h"
#include "common/faults.h"

#include <fcntl.h>
#include <sqlite3.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace {

using test::Call;
using test::HostFault;

namespace fs = std::filesystem;

int exec(sqlite3* db, const char* sql) { return sqlite3_exec(db, sql, nullptr, nullptr, nullptr); }

long long number(sqlite3* db, const char* sql) {
  sqlite3_stmt* s = nullptr;
  long long n = -1;
  if (sqlite3_prepare_v2(db, sql, -1, &s, nullptr) == SQLITE_OK && sqlite3_step(s) == SQLITE_ROW)
    n = sqlite3_column_int64(s, 0);
  sqlite3_finalize(s);
  return n;
}

// A row's value is its key in digits, padded with zeros to the value's length.
constexpr const char* kRowsIntact =
    "SELECT count(*) FROM t WHERE v != printf('%0*d', length(v), k)";

class HiveVfsFaults : public ::testing::Test {
 protected:
  void SetUp() override {
    // Memory-backed where the host has it: the syncs are many and cost nothing there.
    std::string base = fs::exists("/dev/shm") ? "/dev/shm" : "/tmp";
    folder_ = base + "/pw-hive-faults-XXXXXX";
    ASSERT_NE(::mkdtemp(folder_.data()), nullptr);
    ASSERT_NE(pw::registry::hiveVfsName(), nullptr);
    // What was committed before the run: ten rows, still in the write-ahead log.
    sqlite3* db = open(folder_ + "/base.db", pw::registry::hiveVfsName());
    ASSERT_EQ(exec(db, "PRAGMA page_size=1024; PRAGMA journal_mode=WAL;"
                       "CREATE TABLE t(k INTEGER PRIMARY KEY, v BLOB);"
                       "WITH RECURSIVE n(i) AS (SELECT 1000 UNION ALL SELECT i + 1 FROM n "
                       "WHERE i < 1009) INSERT INTO t SELECT i, printf('%0*d', 900, i) FROM n"),
              SQLITE_OK);
    sqlite3_db_config(db, SQLITE_DBCONFIG_NO_CKPT_ON_CLOSE, 1, nullptr);
    sqlite3_close(db);
  }
  void TearDown() override { fs::remove_all(folder_); }

  static sqlite3* open(const std::string& path, const char* vfs) {
    sqlite3* db = nullptr;
    sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, vfs);
    return db;
  }

  // A fresh copy of the hive as it was before the run.
  std::string copyOfBase() {
    std::string path = folder_ + "/run.db";
    for (const char* end : {"", "-wal", "-shm"}) fs::remove(path + end);
    fs::copy_file(folder_ + "/base.db", path);
    fs::copy_file(folder_ + "/base.db-wal", path + "-wal");
    return path;
  }

  std::string folder_;
};

// The run: the hives' own setting, then the statements a registry makes, each one
// commit but the checkpoint. Answers each statement's result.
std::vector<int> run(sqlite3* db) {
  static const char* const kStatements[] = {
      "PRAGMA synchronous=NORMAL",  // the first look at the hive, its log's index rebuilt
      "INSERT INTO t VALUES(1, printf('%0*d', 1500, 1))",
      "INSERT INTO t VALUES(2, printf('%0*d', 1500, 2))",
      "INSERT INTO t VALUES(3, printf('%0*d', 1500, 3))",
      // Pages spill to the log before this commit ends.
      "BEGIN; WITH RECURSIVE n(i) AS (SELECT 100 UNION ALL SELECT i + 1 FROM n WHERE i < 299) "
      "INSERT INTO t SELECT i, printf('%0*d', 300, i) FROM n; COMMIT",
      "UPDATE t SET v = printf('%0*d', 700, k) WHERE k >= 1000 AND k < 1005",
      "PRAGMA wal_checkpoint(TRUNCATE)",
      "DELETE FROM t WHERE k = 1008 OR k = 1009",
  };
  std::vector<int> results;
  for (const char* sql : kStatements) {
    int rc = exec(db, sql);
    if (rc != SQLITE_OK && !sqlite3_get_autocommit(db)) exec(db, "ROLLBACK");
    results.push_back(rc);
  }
  return results;
}

struct Sweep {
  Call call;
  int error;
  unsigned times;  // 1: one call fails; 0: every one from the first that fails
  int reported;    // SQLite's primary code for it; a full disk is also an I/O error where
                   // SQLite grows the log's index
};

TEST_F(HiveVfsFaults, EachWriteSyncAndTruncationFailingLosesNothing) {
  const Sweep sweeps[] = {
      {Call::pwrite, EIO, 1, SQLITE_IOERR},     {Call::pwrite, ENOSPC, 1, SQLITE_FULL},
      {Call::pwrite, ENOSPC, 0, SQLITE_FULL},   {Call::fsync, EIO, 1, SQLITE_IOERR},
      {Call::fsync, EIO, 0, SQLITE_IOERR},      {Call::ftruncate, EIO, 1, SQLITE_IOERR},
      {Call::ftruncate, ENOSPC, 0, SQLITE_IOERR},
  };
  unsigned faults = 0;
  for (const Sweep& sweep : sweeps) {
    for (unsigned n = 0;; ++n) {
      SCOPED_TRACE(std::string(pw::host::name(sweep.call)) + " " + std::to_string(n + 1) +
                   " errno " + std::to_string(sweep.error) + " times " +
                   std::to_string(sweep.times));
      std::string path = copyOfBase();
      std::vector<int> rc;
      bool fired;
      {
        test::ScopedFault fault(HostFault{sweep.call, sweep.error, n, sweep.times});
        sqlite3* db = open(path, pw::registry::hiveVfsName());
        rc = run(db);
        fired = pw::faults::reached(sweep.call) > n;
        sqlite3_db_config(db, SQLITE_DBCONFIG_NO_CKPT_ON_CLOSE, 1, nullptr);
        sqlite3_close(db);
      }
      if (!fired) break;
      ++faults;
      bool reported = false;
      for (int r : rc) {
        EXPECT_TRUE(r == SQLITE_OK || (r & 0xFF) == sweep.reported || (r & 0xFF) == SQLITE_IOERR)
            << r;
        reported = reported || r != SQLITE_OK;
      }
      EXPECT_TRUE(reported) << "a failed call that no statement reported";

      sqlite3* db = open(path, "unix");
      EXPECT_EQ(number(db, "SELECT count(*) FROM pragma_integrity_check WHERE integrity_check "
                           "!= 'ok'"),
                0);
      EXPECT_EQ(number(db, kRowsIntact), 0);
      // Committed before the run: always there (but what the run deleted).
      EXPECT_EQ(number(db, "SELECT count(*) FROM t WHERE k BETWEEN 1000 AND 1007"), 8);
      for (long long k = 1; k <= 3; ++k) {
        std::string sql = "SELECT count(*) FROM t WHERE k = " + std::to_string(k);
        EXPECT_TRUE(rc[size_t(k)] != SQLITE_OK || number(db, sql.c_str()) == 1) << k;
      }
      long long spilled = number(db, "SELECT count(*) FROM t WHERE k BETWEEN 100 AND 299");
      EXPECT_TRUE(spilled == 0 || spilled == 200) << spilled;
      EXPECT_TRUE(rc[4] != SQLITE_OK || spilled == 200);
      long long updated =
          number(db, "SELECT count(*) FROM t WHERE k BETWEEN 1000 AND 1004 AND length(v) = 700");
      EXPECT_TRUE(updated == 0 || updated == 5) << updated;
      EXPECT_TRUE(rc[5] != SQLITE_OK || updated == 5);
      long long deleted = number(db, "SELECT count(*) FROM t WHERE k IN (1008, 1009)");
      EXPECT_TRUE(deleted == 0 || deleted == 2) << deleted;
      EXPECT_TRUE(rc[7] != SQLITE_OK || deleted == 0);
      sqlite3_close(db);
    }
  }
  EXPECT_GT(faults, 50u);  // the run reaches every kind of call
}

TEST_F(HiveVfsFaults, ALockOrUnlockThatFailsOnceLeavesTheHiveWorking) {
  // SQLite keeps its own books of the locks a process holds; an unlock the host refused
  // once must not leave the process holding the lock in them, which would make every
  // later change of the run answer "busy" or "locking protocol".
  std::string path = copyOfBase();
  sqlite3* db = open(path, pw::registry::hiveVfsName());
  ASSERT_EQ(exec(db, "PRAGMA synchronous=NORMAL"), SQLITE_OK);
  unsigned n = 0;
  for (;; ++n) {
    std::string sql = "INSERT INTO t VALUES(" + std::to_string(2000 + n) + ", '1')";
    bool fired;
    {
      test::ScopedFault fault(HostFault{Call::fcntl, EIO, n});
      exec(db, sql.c_str());
      fired = pw::faults::reached(Call::fcntl) > n;
    }
    if (!fired) break;
    sql = "INSERT INTO t VALUES(" + std::to_string(3000 + n) + ", '2')";
    EXPECT_EQ(exec(db, sql.c_str()), SQLITE_OK) << "after lock call " << n + 1 << " failed";
  }
  EXPECT_GT(n, 4u);  // a change takes and releases several locks
  sqlite3_db_config(db, SQLITE_DBCONFIG_NO_CKPT_ON_CLOSE, 1, nullptr);
  sqlite3_close(db);
  db = open(path, "unix");
  EXPECT_EQ(number(db, "SELECT count(*) FROM t WHERE k >= 3000"), n);
  EXPECT_EQ(number(db, "SELECT count(*) FROM pragma_integrity_check WHERE integrity_check "
                       "!= 'ok'"),
            0);
  sqlite3_close(db);
}

// Writes to one log fail; the others' go through.
std::string g_failingLog;
unsigned g_failedWrites = 0;
ssize_t failOneLog(int fd, const void* buf, size_t n, off_t at) {
  char link[64], target[4096];
  std::snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
  ssize_t len = ::readlink(link, target, sizeof target - 1);
  if (len > 0 && std::string(target, size_t(len)) == g_failingLog) {
    ++g_failedWrites;
    errno = EIO;
    return -1;
  }
  return pw::host::hostFunction<Call::pwrite>()(fd, buf, n, at);
}

TEST_F(HiveVfsFaults, ALogWriteThatFailsWhileAnotherHivePublishesFailsItsOwnCommit) {
  // The run's two hives: one is in the middle of a transaction whose pages spilled to
  // its log (some of them still gathered), when the other commits and publishes its
  // index, which first puts every log's gathered writes in its file.
  std::string spilling = copyOfBase();
  sqlite3* other = open(folder_ + "/other.db", pw::registry::hiveVfsName());
  ASSERT_EQ(exec(other, "PRAGMA journal_mode=WAL; CREATE TABLE o(x)"), SQLITE_OK);
  sqlite3* db = open(spilling, pw::registry::hiveVfsName());
  ASSERT_EQ(exec(db, "PRAGMA cache_size=2; BEGIN;"
                     "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n "
                     "WHERE i < 150) INSERT INTO t SELECT i, printf('%0*d', 500, i) FROM n"),
            SQLITE_OK);
  g_failingLog = fs::canonical(spilling + "-wal").string();
  {
    test::ScopedCall<Call::pwrite> failing(failOneLog);
    EXPECT_EQ(exec(other, "INSERT INTO o VALUES(1)"), SQLITE_OK);
  }
  ASSERT_GT(g_failedWrites, 0u) << "nothing was gathered when the other hive committed";
  // The failed flush could not be reported where it happened; the commit hears of it.
  int rc = exec(db, "COMMIT");
  EXPECT_EQ(rc & 0xFF, SQLITE_IOERR) << rc;
  if (!sqlite3_get_autocommit(db)) exec(db, "ROLLBACK");
  sqlite3_db_config(db, SQLITE_DBCONFIG_NO_CKPT_ON_CLOSE, 1, nullptr);
  sqlite3_close(db);
  sqlite3_close(other);

  db = open(spilling, "unix");
  EXPECT_EQ(number(db, "SELECT count(*) FROM pragma_integrity_check WHERE integrity_check "
                       "!= 'ok'"),
            0);
  EXPECT_EQ(number(db, kRowsIntact), 0);
  EXPECT_EQ(number(db, "SELECT count(*) FROM t"), 10);  // the ten committed before, alone
  sqlite3_close(db);
}

}  // namespace
