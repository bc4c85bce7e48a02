// A command line as a Windows C runtime splits it into arguments, and the names
// CreateProcess tries as its program. Wine's C runtime makes the same arguments of
// the process probe's command lines; these cases add the documented corners.
#include "kernel32/command_line.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using Args = std::vector<std::string>;

TEST(CommandLine, SplitsAsTheCRuntimeDocumentsIt) {
  // The documented table: input after the program name, then argv[1] on.
  const std::pair<const char*, Args> cases[] = {
      {R"("a b c" d e)", {"a b c", "d", "e"}},
      {R"("ab\"c" "\\" d)", {"ab\"c", "\\", "d"}},
      {R"(a\\\b d"e f"g h)", {"a\\\\\\b", "de fg", "h"}},
      {R"(a\\\"b c d)", {"a\\\"b", "c", "d"}},
      {R"(a\\\\"b c" d e)", {"a\\\\b c", "d", "e"}},
      {R"(a"b"" c d)", {"ab\" c d"}},  // a doubled quote inside quotes stays inside
      {"\"\" x \"\"\"\" y", {"", "x", "\"", "y"}},
      {"a\t\tb ", {"a", "b"}},
      {"\"unclosed a b", {"unclosed a b"}},
      {"end\\", {"end\\"}},
  };
  for (const auto& [rest, want] : cases) {
    SCOPED_TRACE(rest);
    Args got = pw::kernel::splitCommandLine(std::string("prog ") + rest);
    ASSERT_FALSE(got.empty());
    EXPECT_EQ(got[0], "prog");
    EXPECT_EQ(Args(got.begin() + 1, got.end()), want);
  }
}

TEST(CommandLine, TheProgramNameTakesQuotesButNoEscapes) {
  EXPECT_EQ(pw::kernel::splitCommandLine(R"("c:\my tools\run.exe" x)"),
            (Args{"c:\\my tools\\run.exe", "x"}));
  EXPECT_EQ(pw::kernel::splitCommandLine(R"(c:\a\"b c"\d\ x)"), (Args{"c:\\a\\b c\\d\\", "x"}));
  EXPECT_EQ(pw::kernel::splitCommandLine(" prog x"), (Args{"", "prog", "x"}));
  EXPECT_EQ(pw::kernel::splitCommandLine(""), (Args{""}));
}

TEST(CommandLine, CreateProcessTriesTheWordsBeforeEachBlank) {
  auto names = [](const char* line) {
    std::vector<std::string> out;
    for (const auto& c : pw::kernel::programCandidates(line)) out.push_back(c.name);
    return out;
  };
  EXPECT_EQ(names(R"(c:\my tools\run x)"),
            (Args{"c:\\my", "c:\\my tools\\run", "c:\\my tools\\run x"}));
  EXPECT_EQ(names(R"("c:\my tools\run" x)"), (Args{"c:\\my tools\\run"}));
  // A quote that never closes is part of the name.
  EXPECT_EQ(names(R"("c:\run x)"), (Args{"\"c:\\run", "\"c:\\run x"}));
  EXPECT_EQ(names(" run"), (Args{"", " run"}));
}

}  // namespace
