#include "registry/hwid_number.h"

#include <gtest/gtest.h>

TEST(HwidNumber, ConvertsLikeTheRuntimeWithWrapAround) {
  EXPECT_EQ(parseHwidNumber("42"), 42);
  EXPECT_EQ(parseHwidNumber(" \t42"), 42);
  EXPECT_EQ(parseHwidNumber("12abc"), 12);
  EXPECT_EQ(parseHwidNumber("+7"), 7);
  EXPECT_EQ(parseHwidNumber("-1"), -1);
  EXPECT_EQ(parseHwidNumber("2147483648"), INT32_MIN);  // 2^31 wraps
  EXPECT_EQ(parseHwidNumber("4294967297"), 1);          // 2^32 + 1
  EXPECT_EQ(parseHwidNumber("-4294967295"), 1);
  EXPECT_EQ(parseHwidNumber("99999999999999999999"), 1661992959);  // (10^20 - 1) mod 2^32
}

TEST(HwidNumber, NoDigitsGiveZero) {
  for (const char* text : {"", "abc", "+", "-", " ", "+-5", "- 5", "0"})
    EXPECT_EQ(parseHwidNumber(text), 0) << '"' << text << '"';
}
