// Windows-1252 conversions; the reference is the code page's published table.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

TEST(CodePage, AnsiRoundTripsEveryByteThroughWideCharacters) {
  std::string all;
  for (int c = 1; c < 256; ++c) all.push_back(char(c));
  WCHAR wide[256];
  ASSERT_EQ(MultiByteToWideChar(CP_ACP, 0, all.data(), int(all.size()), wide, 256), 255);
  EXPECT_EQ(wide[0x80 - 1], WCHAR(0x20AC));  // euro sign
  EXPECT_EQ(wide[0x9F - 1], WCHAR(0x0178));
  EXPECT_EQ(wide[0x81 - 1], WCHAR(0x0081));  // undefined bytes map to C1 controls
  EXPECT_EQ(wide[0xE9 - 1], WCHAR(0x00E9));
  char back[256];
  ASSERT_EQ(WideCharToMultiByte(CP_ACP, 0, wide, 255, back, 256, nullptr, nullptr), 255);
  EXPECT_EQ(std::string(back, 255), all);
}

TEST(CodePage, UnmappableCharactersBecomeTheDefaultCharacter) {
  const WCHAR text[] = {u'a', 0x4E2D, u'b'};
  char out[4] = {};
  BOOL used = FALSE;
  ASSERT_EQ(WideCharToMultiByte(CP_ACP, 0, text, 3, out, 4, nullptr, &used), 3);
  EXPECT_STREQ(out, "a?b");
  EXPECT_TRUE(used);
  EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, "abc", 3, nullptr, 0), 3);
  WCHAR small[2];
  EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, "abc", 3, small, 2), 0);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INSUFFICIENT_BUFFER));
}
