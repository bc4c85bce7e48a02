#include "advapi32/lock_wait.h"

#include <sqlite3.h>
#include <time.h>

#include <atomic>

namespace pw::registry {
namespace {

// Set by the first wait of the run that ran out.
std::atomic<bool> g_lockHeld{false};

long long nowMs() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return (long long)ts.tv_sec * 1000 + ts.tv_nsec / 1000000;
}

// Short pauses first: a lock another run holds is usually gone within a millisecond.
int pauseMs(int attempt) {
  static constexpr int kPauses[] = {1, 2, 5, 10, 15, 20, 25, 25, 25, 50, 50};
  constexpr int kCount = int(sizeof kPauses / sizeof kPauses[0]);
  return attempt < kCount ? kPauses[attempt] : 100;
}

void sleepMs(int ms) {
  timespec ts{ms / 1000, long(ms % 1000) * 1000000L};
  while (nanosleep(&ts, &ts) != 0) {
  }
}

// SQLite's busy handler: its count starts at 0 for each call that finds a lock held,
// and a fresh wait begins there.
int busy(void*, int count) {
  thread_local LockWait wait;
  if (count == 0) wait = LockWait();
  return wait.pause() ? 1 : 0;
}

}  // namespace

bool LockWait::pause() {
  if (g_lockHeld) return false;
  long long now = nowMs();
  if (attempts_ == 0) started_ = now;
  if (now - started_ >= kLockWaitMs) {
    if (kind_ == Kind::HiveLock) g_lockHeld = true;
    return false;
  }
  int ms = pauseMs(attempts_++);
  if (now + ms - started_ > kLockWaitMs) ms = int(kLockWaitMs - (now - started_));
  sleepMs(ms);
  return true;
}

int retryPause(int microseconds) {
  // Other runs' changes make a reader retry for microseconds at a time; only a held
  // lock makes the retries of a run add up to the lock wait.
  static std::atomic<long long> slept{0};
  if (g_lockHeld) return 0;
  if (slept.fetch_add(microseconds) + microseconds > kLockWaitMs * 1000LL) {
    g_lockHeld = true;
    return 0;
  }
  timespec ts{microseconds / 1000000, long(microseconds % 1000000) * 1000L};
  while (nanosleep(&ts, &ts) != 0) {
  }
  return microseconds;
}

void waitForLocks(sqlite3* db) { sqlite3_busy_handler(db, busy, nullptr); }

}  // namespace pw::registry
