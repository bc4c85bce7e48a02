// The hives' file layer gathers a commit's writes to the write-ahead log: what a
// commit put there must be in the file when the commit returns, whatever the process
// does next. Each case commits in a child process that then ends without closing
// anything (as a killed run would), and reads the result back in the parent through
// SQLite's own unix layer.
#include "advapi32/hive_vfs.h"

#include <sqlite3.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>

namespace {

class HiveVfs : public ::testing::Test {
 protected:
  void SetUp() override {
    char folder[] = "/tmp/pw-hive-vfs-XXXXXX";
    ASSERT_NE(::mkdtemp(folder), nullptr);
    folder_ = folder;
    path_ = folder_ + "/hive.db";
    ASSERT_NE(pw::registry::hiveVfsName(), nullptr);
    sqlite3* db = open(pw::registry::hiveVfsName());
    ASSERT_EQ(exec(db, "PRAGMA page_size=1024; PRAGMA journal_mode=WAL;"
                       "CREATE TABLE t(k INTEGER PRIMARY KEY, v BLOB)"),
              SQLITE_OK);
    sqlite3_close(db);
  }
  void TearDown() override {
    for (const char* end : {"", "-wal", "-shm"}) ::unlink((path_ + end).c_str());
    ::rmdir(folder_.c_str());
  }

  sqlite3* open(const char* vfs) {
    sqlite3* db = nullptr;
    sqlite3_open_v2(path_.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, vfs);
    sqlite3_busy_timeout(db, 5000);
    return db;
  }
  static int exec(sqlite3* db, const char* sql) {
    return sqlite3_exec(db, sql, nullptr, nullptr, nullptr);
  }

  // Runs `work` on a connection of the hives' layer in a child that ends with _exit
  // right after it: no close, no destructor, nothing flushed on the way out.
  void inChild(const std::function<int(sqlite3*)>& work) {
    pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      sqlite3* db = open(pw::registry::hiveVfsName());
      if (work(db) == SQLITE_OK) ::_exit(0);
      std::fprintf(stderr, "child: %s\n", sqlite3_errmsg(db));
      ::_exit(1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status));
    ASSERT_EQ(WEXITSTATUS(status), 0);
  }

  // Rows and their total size, read through SQLite's unix layer; "ok" from the
  // integrity check.
  std::string look(long long* rows, long long* bytes) {
    sqlite3* db = open("unix");
    sqlite3_stmt* s = nullptr;
    sqlite3_prepare_v2(db, "SELECT count(*), total(length(v)) FROM t", -1, &s, nullptr);
    if (sqlite3_step(s) == SQLITE_ROW) {
      *rows = sqlite3_column_int64(s, 0);
      *bytes = sqlite3_column_int64(s, 1);
    }
    sqlite3_finalize(s);
    sqlite3_prepare_v2(db, "PRAGMA integrity_check", -1, &s, nullptr);
    std::string check = sqlite3_step(s) == SQLITE_ROW
                            ? reinterpret_cast<const char*>(sqlite3_column_text(s, 0))
                            : "no answer";
    sqlite3_finalize(s);
    sqlite3_close(db);
    return check;
  }

  std::string folder_, path_;
};

TEST_F(HiveVfs, SmallCommitsAreInTheLogWhenTheyReturn) {
  inChild([](sqlite3* db) {
    for (int i = 0; i < 50; ++i) {
      std::string sql = "INSERT INTO t(v) VALUES(zeroblob(" + std::to_string(10 + i) + "))";
      if (int rc = exec(db, sql.c_str())) return rc;
    }
    return SQLITE_OK;
  });
  // Whole frames only: the log's header and frames of a 24-byte header and a page.
  struct stat st {};
  ASSERT_EQ(::stat((path_ + "-wal").c_str(), &st), 0);
  EXPECT_GT(st.st_size, 32);
  EXPECT_EQ((st.st_size - 32) % (24 + 1024), 0);
  long long rows = 0, bytes = 0;
  EXPECT_EQ(look(&rows, &bytes), "ok");
  EXPECT_EQ(rows, 50);
  EXPECT_EQ(bytes, 50 * 10 + 49 * 50 / 2);
}

TEST_F(HiveVfs, ACommitLargerThanWhatIsGatheredAtOnceIsWhole) {
  inChild([](sqlite3* db) {
    return exec(db, "BEGIN; INSERT INTO t(v) VALUES(randomblob(3000000));"
                    "INSERT INTO t(v) VALUES(randomblob(700)); COMMIT");
  });
  long long rows = 0, bytes = 0;
  EXPECT_EQ(look(&rows, &bytes), "ok");
  EXPECT_EQ(rows, 2);
  EXPECT_EQ(bytes, 3000700);
}

TEST_F(HiveVfs, PagesWrittenTwiceInOneTransactionKeepTheirLastContent) {
  // A small cache spills pages to the log before the commit; changing them again
  // rewrites their frames in place, behind the end of the log.
  inChild([](sqlite3* db) {
    if (int rc = exec(db, "PRAGMA cache_size=4; BEGIN;"
                          "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n "
                          "WHERE i < 400) INSERT INTO t(k, v) SELECT i, zeroblob(300) FROM n;"
                          "UPDATE t SET v = zeroblob(100) WHERE k % 2 = 0;"
                          "DELETE FROM t WHERE k > 300; COMMIT"))
      return rc;
    return SQLITE_OK;
  });
  long long rows = 0, bytes = 0;
  EXPECT_EQ(look(&rows, &bytes), "ok");
  EXPECT_EQ(rows, 300);
  EXPECT_EQ(bytes, 150 * 300 + 150 * 100);
}

TEST_F(HiveVfs, AnUncommittedTransactionLeavesNothing) {
  inChild([](sqlite3* db) {
    exec(db, "INSERT INTO t(v) VALUES(zeroblob(5))");
    return exec(db, "BEGIN; INSERT INTO t(v) VALUES(randomblob(400000)); "
                    "INSERT INTO t(v) VALUES(zeroblob(7))");  // and no commit
  });
  long long rows = 0, bytes = 0;
  EXPECT_EQ(look(&rows, &bytes), "ok");
  EXPECT_EQ(rows, 1);
  EXPECT_EQ(bytes, 5);
}

}  // namespace
