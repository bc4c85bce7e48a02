// How a run waits for a lock another process holds on a hive: a hive's write lock, a
// lock that keeps readers out as well, or the turn to lay a hive out. Other runs hold
// a hive's lock for a fraction of a millisecond, so one wait lasts at most kLockWaitMs;
// a wait for a hive's lock that runs out means the lock is held, and the run takes it
// as held from then on: its later waits, on any hive, give up at once. So a run meets
// a held lock with one wait, whichever lock it is and however many calls need it, and
// answers with the code of the call that gave up.
#pragma once

struct sqlite3;

namespace pw::registry {

constexpr int kLockWaitMs = 5000;

// Installs the waiting on a hive's connection (SQLite's busy handler).
void waitForLocks(sqlite3* db);

// SQLite's own retries, as when a reader finds the log's index being rebuilt by a
// process that holds it, sleep through this (the hives' file layer's xSleep): their
// sleeps of the run count against the same bound. Answers the microseconds slept.
int retryPause(int microseconds);

// One wait on a lock polled by the caller.
class LockWait {
 public:
  // A wait for a hive's lock, or for another run's work that holds none of them (the
  // turn to lay a hive out). A run that lays a hive out holds the turn across several
  // flushes, which a loaded disk may stretch past the wait; the waiting run then goes
  // on without the turn, and meets the hive's own locks with a wait of their own.
  enum class Kind { HiveLock, Turn };
  explicit LockWait(Kind kind = Kind::HiveLock) : kind_(kind) {}

  // Sleeps a little and answers true while the wait may go on; false once it has run
  // out (or an earlier wait of the run for a hive's lock has).
  bool pause();

 private:
  Kind kind_;
  int attempts_ = 0;
  long long started_ = 0;
};

}  // namespace pw::registry
