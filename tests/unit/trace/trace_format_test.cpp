// The bytes of one trace call, and where the log folder's parent is.
#include "trace/trace.h"
#include "trace/trace_log.h"

#include <gtest/gtest.h>

namespace {

SYSTEMTIME at(WORD y, WORD mo, WORD d, WORD h, WORD mi, WORD s, WORD ms) {
  SYSTEMTIME t{};
  t.wYear = y;
  t.wMonth = mo;
  t.wDay = d;
  t.wHour = h;
  t.wMinute = mi;
  t.wSecond = s;
  t.wMilliseconds = ms;
  return t;
}

const std::string kAt(71, '@');
const std::string kEq(71, '=');

TEST(TraceFormat, StartLineIsSeparatorThenTextWithUnpaddedDateAndPaddedTime) {
  EXPECT_EQ(
      TraceLog::formatBlock(0, TRACE_START, '@', at(2026, 1, 5, 7, 4, 9, 7), "PWEXE MAIN - Start"),
      kAt + "\r\n" + "2026-1-5  7:04:09:007\tPWEXE MAIN - Start\r\n");
}

TEST(TraceFormat, EndLineIsTextThenSeparatorBothIndented) {
  EXPECT_EQ(TraceLog::formatBlock(2, TRACE_END, '=', at(2026, 12, 31, 23, 59, 58, 999), "x - End"),
            "    2026-12-31  23:59:58:999\tx - End\r\n    " + kEq + "\r\n");
}

TEST(TraceFormat, PlainLineIsOneLineAndDepthMinusOneHasNoIndent) {
  EXPECT_EQ(TraceLog::formatBlock(-1, TRACE_PLAIN, '@', at(2026, 3, 4, 0, 0, 0, 0), "lReturn=0"),
            "2026-3-4  0:00:00:000\tlReturn=0\r\n");
}

TEST(TraceFormat, EveryLineFeedInTheTextIsWrittenAsTextModeWould) {
  EXPECT_EQ(TraceLog::formatBlock(1, TRACE_PLAIN, '@', at(2026, 3, 4, 10, 11, 12, 13), "H,5\n"),
            "  2026-3-4  10:11:12:013\tH,5\r\n\r\n");
}

TEST(TraceFormat, ParentIsTheDriveAndDirectoryPartOfTheFolder) {
  EXPECT_EQ(TraceLog::parentOf("c:\\PWY_log"), "c:\\");
  EXPECT_EQ(TraceLog::parentOf("c:\\logs\\pw"), "c:\\logs\\");
  EXPECT_EQ(TraceLog::parentOf("d:/a/b"), "d:/a/");
  EXPECT_EQ(TraceLog::parentOf("c:\\logs\\"), "c:\\logs\\");  // empty last name
  EXPECT_EQ(TraceLog::parentOf("PWY_log"), "");
  EXPECT_EQ(TraceLog::parentOf("c:PWY_log"), "c:");
}

}  // namespace
