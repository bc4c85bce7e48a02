// Text-mode reading and the command file reader on files of the emulated machine.
#include "dispatch/text_mode_reader.h"

#include "common/faults.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

namespace {

void writeFile(const char* path, const std::string& bytes) {
  HANDLE h =
      CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  DWORD n = 0;
  ASSERT_TRUE(WriteFile(h, bytes.data(), DWORD(bytes.size()), &n, nullptr));
  CloseHandle(h);
}

// All pieces of at most `piece` bytes of the file's first `limit` bytes, joined, and
// how many reads delivered text.
std::string readAll(const std::string& bytes, size_t piece, int* reads = nullptr,
                    uint64_t limit = UINT64_MAX) {
  writeFile("c:\\textmode.txt", bytes);
  HANDLE h = CreateFileA("c:\\textmode.txt", GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  EXPECT_NE(h, INVALID_HANDLE_VALUE);
  TextModeReader reader(h, limit);
  std::string out;
  char buf[64];
  int count = 0;
  while (size_t n = reader.read(buf, piece)) {
    out.append(buf, n);
    ++count;
  }
  CloseHandle(h);
  if (reads) *reads = count;
  return out;
}

TEST(TextModeReader, DropsCarriageReturnBeforeLineFeedOnly) {
  EXPECT_EQ(readAll("H,5\r\n", 25), "H,5\n");
  EXPECT_EQ(readAll("a\rb\r\r\nc\r", 25), "a\rb\r\nc\r");
  EXPECT_EQ(readAll("\r\n\r\n", 1), "\n\n");
}

TEST(TextModeReader, PairSplitAcrossRawBlocksIsStillOneLineFeed) {
  std::string bytes(511, 'x');
  bytes += "\r\nend";
  EXPECT_EQ(readAll(bytes, 25), std::string(511, 'x') + "\nend");
}

TEST(TextModeReader, Byte26EndsTheText) {
  EXPECT_EQ(readAll(std::string("H,5\x1a"
                                "ignored",
                                11),
                    25),
            "H,5");
  EXPECT_EQ(readAll("\x1a", 25), "");
}

TEST(TextModeReader, ThousandCharactersComeInFortyPieces) {
  int reads = 0;
  EXPECT_EQ(readAll(std::string(1000, 'q'), 25, &reads), std::string(1000, 'q'));
  EXPECT_EQ(reads, 40);
}

TEST(TextModeReader, StopsAtTheLimitEvenInsideALineEnd) {
  std::string bytes(600, 'x');
  EXPECT_EQ(readAll(bytes, 25, nullptr, 513), std::string(513, 'x'));
  EXPECT_EQ(readAll("ab\r\ncd", 25, nullptr, 3), "ab\r");
  EXPECT_EQ(readAll("abc", 25, nullptr, 0), "");
}

TEST(TextModeReader, AFailedReadEndsTheTextAndSaysSo) {
  writeFile("c:\\textmode.txt", std::string(1000, 'r'));
  HANDLE h = CreateFileA("c:\\textmode.txt", GENERIC_READ, FILE_SHARE_READ, nullptr,
                         OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  TextModeReader reader(h, 1000);
  std::string out;
  char buf[25];
  {
    // The disk fails the second of the reader's reads of 512 bytes.
    test::ScopedFault broken(test::HostFault{test::Call::read, EIO, 1});
    while (size_t n = reader.read(buf, sizeof buf)) out.append(buf, n);
  }
  CloseHandle(h);
  EXPECT_EQ(out, std::string(512, 'r'));
  EXPECT_TRUE(reader.failed());
}

// The command file's own cases (zero bytes, ANSI text, unreadable files) run end to
// end on both targets.

}  // namespace
