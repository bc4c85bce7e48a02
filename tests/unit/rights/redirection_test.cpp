// The rights command's argument text split into command line and report path.
#include "rights/rights_redirection.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

namespace {

struct Split {
  const char* args;
  const char* commandLine;
  const char* beforeOutput;
  const char* beforeInput;
  const char* reportPath;
};

const Split kSplits[] = {
    {"cacls c:\\dir /E /G a:F", "cacls c:\\dir /E /G a:F", "cacls c:\\dir /E /G a:F",
     "cacls c:\\dir /E /G a:F", kDefaultReportPath},
    {"cacls x > c:\\r.log", "cacls x ", "cacls x ", "cacls x ", "c:\\r.log"},
    {"cacls x < in.txt > r.log", "cacls x ", "cacls x < in.txt ", "cacls x ", "r.log"},
    {"cacls x < in.txt", "cacls x ", "cacls x < in.txt", "cacls x ", kDefaultReportPath},
    // One leading blank is dropped from the command line, and one only.
    {" cacls x", "cacls x", " cacls x", " cacls x", kDefaultReportPath},
    {"  cacls x > r", " cacls x ", "  cacls x ", "  cacls x ", "r"},
    // The path always begins two characters after the '>'.
    {"cacls x >r.log", "cacls x ", "cacls x ", "cacls x ", ".log"},
    {"cacls x >", "cacls x ", "cacls x ", "cacls x ", ""},
    {"cacls x >r", "cacls x ", "cacls x ", "cacls x ", ""},
    // Only the first '>' counts; a '<' after it belongs to the path.
    {"a > b > c", "a ", "a ", "a ", "b > c"},
    {"a > b < c", "a ", "a ", "a ", "b < c"},
    {"<in > r", "", "<in ", "", "r"},
    {" <in", "", " <in", " ", kDefaultReportPath},
    {"", "", "", "", kDefaultReportPath},
};

TEST(Redirection, SplitsTheArgumentText) {
  for (const Split& s : kSplits) {
    SCOPED_TRACE(s.args);
    RightsBuffers b;
    ASSERT_TRUE(splitRedirection(s.args, &b));
    EXPECT_STREQ(b.commandLine, s.commandLine);
    EXPECT_STREQ(b.beforeOutput, s.beforeOutput);
    EXPECT_STREQ(b.beforeInput, s.beforeInput);
    EXPECT_STREQ(b.reportPath, s.reportPath);
  }
}

TEST(Redirection, PiecesOfUpTo1023CharactersFitAndLongerOnesAreRefused) {
  auto b = std::make_unique<RightsBuffers>();
  const std::string fits(1023, 'x');
  ASSERT_TRUE(splitRedirection(fits.c_str(), b.get()));
  EXPECT_EQ(std::string(b->commandLine), fits);
  ASSERT_TRUE(splitRedirection((fits + "> " + fits).c_str(), b.get()));
  EXPECT_EQ(std::string(b->reportPath), fits);
  // A long text fits when each piece does.
  ASSERT_TRUE(splitRedirection(("cmd > " + fits).c_str(), b.get()));

  for (const std::string& args :
       {fits + "x", fits + "x > r", "cmd > " + fits + "x", fits + "x < in > r"}) {
    SCOPED_TRACE(args.size());
    std::memset(b.get(), 'z', sizeof *b);
    EXPECT_FALSE(splitRedirection(args.c_str(), b.get()));
    EXPECT_EQ(b->commandLine[0], '\0');
    EXPECT_EQ(b->reportPath[0], '\0');
  }
}

}  // namespace
