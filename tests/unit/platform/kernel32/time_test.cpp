// Clock and calendar: FILETIMEs (100 ns since 1 January 1601 UTC) and SYSTEMTIMEs converted
// both ways, checked against values computed independently (Python's datetime).
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>

namespace {

uint64_t ticks(const FILETIME& ft) { return uint64_t(ft.dwHighDateTime) << 32 | ft.dwLowDateTime; }

FILETIME fileTime(uint64_t t) { return {DWORD(t), DWORD(t >> 32)}; }

TEST(Time, SystemTimesBecomeFileTimesOnTheGregorianCalendar) {
  struct Case {
    SYSTEMTIME st;
    uint64_t expected;
    WORD dayOfWeek;
  };
  const Case cases[] = {
      {{1601, 1, 0, 1, 0, 0, 0, 1}, 10000, 1},                    // a Monday
      {{2000, 2, 0, 29, 12, 34, 56, 789}, 125963012967890000, 2},  // a leap day, a Tuesday
      {{2020, 1, 0, 1, 0, 0, 0, 0}, 132223104000000000, 3},
      {{9999, 12, 0, 31, 23, 59, 59, 999}, 2650467743999990000, 5},
  };
  for (const Case& c : cases) {
    FILETIME ft{};
    ASSERT_TRUE(SystemTimeToFileTime(&c.st, &ft)) << c.st.wYear;
    EXPECT_EQ(ticks(ft), c.expected) << c.st.wYear;
    SYSTEMTIME back{};
    ASSERT_TRUE(FileTimeToSystemTime(&ft, &back));
    EXPECT_EQ(back.wYear, c.st.wYear);
    EXPECT_EQ(back.wMonth, c.st.wMonth);
    EXPECT_EQ(back.wDay, c.st.wDay);
    EXPECT_EQ(back.wHour, c.st.wHour);
    EXPECT_EQ(back.wMinute, c.st.wMinute);
    EXPECT_EQ(back.wSecond, c.st.wSecond);
    EXPECT_EQ(back.wMilliseconds, c.st.wMilliseconds);
    EXPECT_EQ(back.wDayOfWeek, c.dayOfWeek) << c.st.wYear;
  }
}

TEST(Time, DatesThatDoNotExistAreRefused) {
  const SYSTEMTIME bad[] = {
      {2100, 2, 0, 29, 0, 0, 0, 0},   // 2100 is no leap year
      {2021, 4, 0, 31, 0, 0, 0, 0},   // April has 30 days
      {2021, 13, 0, 1, 0, 0, 0, 0},   // month 13
      {1600, 12, 0, 31, 0, 0, 0, 0},  // before 1601
      {2021, 1, 0, 1, 24, 0, 0, 0},   // hour 24
      {2021, 1, 0, 1, 0, 0, 0, 1000},
  };
  for (const SYSTEMTIME& st : bad) {
    FILETIME ft{};
    SetLastError(0);
    EXPECT_FALSE(SystemTimeToFileTime(&st, &ft)) << st.wYear << "-" << st.wMonth;
    EXPECT_EQ(GetLastError(), 87u);  // ERROR_INVALID_PARAMETER
  }
  // A FILETIME is a signed 64-bit count: one with the top bit set is no time.
  FILETIME negative = fileTime(0x8000000000000000ull);
  SYSTEMTIME st{};
  EXPECT_FALSE(FileTimeToSystemTime(&negative, &st));
}

TEST(Time, TheFileTimeClockAgreesWithTheSystemTime) {
  FILETIME before{}, after{}, converted{};
  SYSTEMTIME now{};
  GetSystemTimeAsFileTime(&before);
  GetSystemTime(&now);
  GetSystemTimeAsFileTime(&after);
  ASSERT_TRUE(SystemTimeToFileTime(&now, &converted));
  // GetSystemTime keeps whole milliseconds: at most 10,000 ticks below the first reading.
  EXPECT_GE(ticks(converted) + 10000, ticks(before));
  EXPECT_LE(ticks(converted), ticks(after));
}

}  // namespace
