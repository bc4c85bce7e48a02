#include "dispatch/command_table.h"

#include <gtest/gtest.h>

TEST(CommandGrammar, FieldCountIsOnePlusEveryComma) {
  EXPECT_EQ(countFields(""), 1);
  EXPECT_EQ(countFields("H"), 1);
  EXPECT_EQ(countFields("H,17"), 2);
  EXPECT_EQ(countFields("D,a,b"), 3);
  EXPECT_EQ(countFields(",,,"), 4);
}

TEST(CommandGrammar, OnlyUpperCaseTableLettersAreCommands) {
  EXPECT_NE(findCommand('H'), nullptr);
  EXPECT_EQ(findCommand('H')->fieldCount, 2);
  EXPECT_EQ(findCommand('W')->fieldCount, 2);
  for (char c : {'h', 'w', 'F', '"', '\0', 'X', ' '}) EXPECT_EQ(findCommand(c), nullptr) << int(c);
}
