#include <windows.h>

#include <sys/time.h>
#include <ctime>

namespace {
void fill(LPSYSTEMTIME st, const std::tm& tm, long micros) {
  st->wYear = WORD(tm.tm_year + 1900);
  st->wMonth = WORD(tm.tm_mon + 1);
  st->wDayOfWeek = WORD(tm.tm_wday);
  st->wDay = WORD(tm.tm_mday);
  st->wHour = WORD(tm.tm_hour);
  st->wMinute = WORD(tm.tm_min);
  st->wSecond = WORD(tm.tm_sec > 59 ? 59 : tm.tm_sec);  // Windows has no leap second
  st->wMilliseconds = WORD(micros / 1000);
}

// The current time, broken down by `convert` (local time or UTC).
void now(LPSYSTEMTIME st, std::tm* (*convert)(const time_t*, std::tm*)) {
  timeval tv{};
  ::gettimeofday(&tv, nullptr);
  std::tm tm{};
  time_t secs = tv.tv_sec;
  convert(&secs, &tm);
  fill(st, tm, tv.tv_usec);
}
}  // namespace

void WINAPI GetLocalTime(LPSYSTEMTIME st) { now(st, ::localtime_r); }

void WINAPI GetSystemTime(LPSYSTEMTIME st) { now(st, ::gmtime_r); }

DWORD WINAPI GetTickCount(void) {
  timespec ts{};
  ::clock_gettime(CLOCK_MONOTONIC, &ts);
  return DWORD(uint64_t(ts.tv_sec) * 1000 + uint64_t(ts.tv_nsec) / 1000000);
}
