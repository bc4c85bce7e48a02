// The trace writer against the emulated machine: settings from both hives, the
// nesting depth's limits, and what is (not) created on disk.
#include "trace/trace_log.h"
#include "common/registry.h"
#include "trace/trace.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

const char* kKey = "Software\\Velmora\\Tessera";

void setDword(HKEY root, const char* name, DWORD v) {
  ASSERT_TRUE(test::setDword(root, kKey, name, v));
}
void setString(HKEY root, const char* name, const std::string& s) {
  ASSERT_TRUE(test::setString(root, kKey, name, s));
}

void clearSettings() {
  for (HKEY root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) test::removeKey(root, kKey);
}

std::string host(const std::string& relative) {
  return std::string(std::getenv("PW_MACHINE_ROOT")) + "/drive_c/" + relative;
}

bool exists(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0;
}

std::vector<std::string> lines(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream all;
  all << in.rdbuf();
  std::vector<std::string> out;
  std::string text = all.str(), line;
  for (size_t i = 0; i < text.size();) {
    size_t end = text.find("\r\n", i);
    if (end == std::string::npos) break;
    out.push_back(text.substr(i, end - i));
    i = end + 2;
  }
  return out;
}

size_t indentOf(const std::string& line) { return line.find_first_not_of(' '); }

class TraceLogTest : public ::testing::Test {
 protected:
  void SetUp() override { clearSettings(); }
  void TearDown() override { clearSettings(); }
};

// Which settings switch tracing on is covered end to end on both targets; these
// cases look at what only the writer's state shows.

TEST_F(TraceLogTest, LongStringSettingsAreReadWithTheSecondQueryAndCutToTheBuffer) {
  setDword(HKEY_CURRENT_USER, "doTrace", 1);
  setString(HKEY_CURRENT_USER, "PW_LogFileName", "abcdefghijklmnopqrstu.log");  // 25 characters
  setString(HKEY_CURRENT_USER, "PW_LogPath", "c:\\" + std::string(300, 'p'));
  TraceLog log;
  ASSERT_TRUE(log.enabled());
  EXPECT_EQ(log.fileName(), "abcdefghijklmnopqrstu.log");
  EXPECT_EQ(log.folder().size(), TraceLog::kMaxText);
  log.write("lost: the log path is longer than 255 characters", TRACE_PLAIN, '@');
  EXPECT_EQ(log.depth(), -1);
}

TEST_F(TraceLogTest, NestingStopsAt24AndEndLinesThenStandLessIndented) {
  setDword(HKEY_CURRENT_USER, "doTrace", 1);
  setString(HKEY_CURRENT_USER, "PW_LogPath", "c:\\nest_logs");
  TraceLog log;
  log.write("before any start", TRACE_PLAIN, '@');
  for (int i = 0; i < 30; ++i) log.write("start", TRACE_START, '@');
  EXPECT_EQ(log.depth(), 24);
  for (int i = 0; i < 30; ++i) log.write("end", TRACE_END, '=');
  EXPECT_EQ(log.depth(), 0);

  std::vector<std::string> got = lines(host("nest_logs/Portwyn.log"));
  ASSERT_EQ(got.size(), 1u + 30 * 2 + 30 * 2);
  EXPECT_EQ(indentOf(got[0]), 0u);
  // Starts at depths 0..24, then five more at 24.
  for (int i = 0; i < 30; ++i) {
    size_t want = size_t(std::min(i, 24)) * 2;
    EXPECT_EQ(indentOf(got[1 + 2 * i]), want) << "separator of start " << i;
    EXPECT_EQ(got[1 + 2 * i].substr(want), std::string(71, '@'));
    EXPECT_EQ(indentOf(got[2 + 2 * i]), want) << "start " << i;
  }
  // Ends at 24, 23, ... 0, and the depth stays at 0 for the last five.
  for (int i = 0; i < 30; ++i) {
    size_t want = size_t(std::max(24 - i, 0)) * 2;
    EXPECT_EQ(indentOf(got[61 + 2 * i]), want) << "end " << i;
    EXPECT_EQ(got[62 + 2 * i].substr(want), std::string(71, '=')) << "separator of end " << i;
  }
}

TEST_F(TraceLogTest, MissingParentWritesNothingAndLeavesTheCurrentDirectory) {
  setDword(HKEY_CURRENT_USER, "doTrace", 1);
  setString(HKEY_CURRENT_USER, "PW_LogPath", "c:\\no_such_parent\\logs");
  ASSERT_TRUE(SetCurrentDirectoryA("c:\\"));
  TraceLog log;
  log.write("lost", TRACE_START, '@');
  EXPECT_EQ(log.depth(), 0);  // the depth moves even when the line is lost
  char cur[MAX_PATH];
  GetCurrentDirectoryA(MAX_PATH, cur);
  EXPECT_STREQ(cur, "c:\\");
  EXPECT_FALSE(exists(host("no_such_parent")));
}

}  // namespace
