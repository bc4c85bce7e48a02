// Clocks and calendar: the current time as SYSTEMTIME or FILETIME (100 ns since
// 1 January 1601, UTC), and the two converted into each other on the proleptic Gregorian
// calendar, which Windows uses back to 1601.
#include <windows.h>

#include <sys/time.h>
#include <cstdint>
#include <ctime>

namespace {

constexpr int64_t kTicksPerSecond = 10000000;
constexpr int64_t kTicksPerDay = kTicksPerSecond * 86400;
// Days from 1 January 1601 to 1 January 1970, and the year 30827 that Windows stops at.
constexpr int64_t kDaysTo1970 = 134774;
constexpr int kLastYear = 30827;

// Days since 1 January 1970 of a date, and back (Howard Hinnant's civil-date algorithms).
int64_t daysFromCivil(int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  int64_t era = (y >= 0 ? y : y - 399) / 400;
  unsigned yoe = unsigned(y - era * 400);
  unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + int64_t(doe) - 719468;
}

void civilFromDays(int64_t z, int64_t* y, unsigned* m, unsigned* d) {
  z += 719468;
  int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  unsigned doe = unsigned(z - era * 146097);
  unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  unsigned mp = (5 * doy + 2) / 153;
  *d = doy - (153 * mp + 2) / 5 + 1;
  *m = mp < 10 ? mp + 3 : mp - 9;
  *y = int64_t(yoe) + era * 400 + (*m <= 2);
}

bool leap(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

unsigned daysIn(int y, unsigned m) {
  static const unsigned days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return m == 2 && leap(y) ? 29 : days[m - 1];
}

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

void WINAPI GetSystemTimeAsFileTime(LPFILETIME ft) {
  timeval tv{};
  ::gettimeofday(&tv, nullptr);
  uint64_t ticks = uint64_t(int64_t(tv.tv_sec) + kDaysTo1970 * 86400) * kTicksPerSecond +
                   uint64_t(tv.tv_usec) * 10;
  ft->dwLowDateTime = DWORD(ticks);
  ft->dwHighDateTime = DWORD(ticks >> 32);
}

// Times from 1601 up to the end of 30827; the day of the week is ignored.
BOOL WINAPI SystemTimeToFileTime(const SYSTEMTIME* st, LPFILETIME ft) {
  if (!st || !ft || st->wYear < 1601 || st->wYear > kLastYear || st->wMonth < 1 ||
      st->wMonth > 12 || st->wDay < 1 || st->wDay > daysIn(st->wYear, st->wMonth) ||
      st->wHour > 23 || st->wMinute > 59 || st->wSecond > 59 || st->wMilliseconds > 999) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  int64_t days = daysFromCivil(st->wYear, st->wMonth, st->wDay) + kDaysTo1970;
  uint64_t ticks = uint64_t(days) * kTicksPerDay +
                   uint64_t(st->wHour * 3600 + st->wMinute * 60 + st->wSecond) * kTicksPerSecond +
                   uint64_t(st->wMilliseconds) * 10000;
  ft->dwLowDateTime = DWORD(ticks);
  ft->dwHighDateTime = DWORD(ticks >> 32);
  return TRUE;
}

// FILETIMEs with the top bit set are refused, as Windows refuses them.
BOOL WINAPI FileTimeToSystemTime(const FILETIME* ft, LPSYSTEMTIME st) {
  if (!ft || !st || (ft->dwHighDateTime & 0x80000000u)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  uint64_t ticks = uint64_t(ft->dwHighDateTime) << 32 | ft->dwLowDateTime;
  int64_t days = int64_t(ticks / kTicksPerDay);
  uint64_t rest = ticks % kTicksPerDay;
  int64_t y;
  unsigned m, d;
  civilFromDays(days - kDaysTo1970, &y, &m, &d);
  st->wYear = WORD(y);
  st->wMonth = WORD(m);
  st->wDay = WORD(d);
  st->wDayOfWeek = WORD((days + 1) % 7);  // 1 January 1601 was a Monday
  st->wHour = WORD(rest / (3600 * kTicksPerSecond));
  st->wMinute = WORD(rest / (60 * kTicksPerSecond) % 60);
  st->wSecond = WORD(rest / kTicksPerSecond % 60);
  st->wMilliseconds = WORD(rest / 10000 % 1000);
  return TRUE;
}
