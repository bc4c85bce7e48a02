// CryptStringToBinary where the text probe cannot compare with Wine 8: hex text as Windows
// writes it, with blanks and line breaks, in each hex format it reads; any text that is no
// base64 taken as it is; a buffer too short; and wide text with a character beyond ASCII.
#include <windows.h>

#include <wincrypt.h>

#include <gtest/gtest.h>

#include <string>

namespace {

std::string read(const char* text, DWORD flags, DWORD* used = nullptr) {
  BYTE out[16];
  DWORD size = sizeof out;
  if (!CryptStringToBinaryA(text, 0, flags, out, &size, nullptr, used))
    return "error " + std::to_string(GetLastError());
  return std::string(reinterpret_cast<char*>(out), size);
}

TEST(Text, HexTextMayHaveBlanksAndLineBreaksBetweenItsPairs) {
  EXPECT_EQ(read("0a 0B\r\n0c\t0d", CRYPT_STRING_HEX), "\x0a\x0b\x0c\x0d");
  EXPECT_EQ(read("0a0b", CRYPT_STRING_HEXRAW), "\x0a\x0b");
  DWORD used = 0;
  EXPECT_EQ(read("0a 0b", CRYPT_STRING_HEX_ANY, &used), "\x0a\x0b");
  EXPECT_EQ(used, 4u);                                    // CRYPT_STRING_HEX
  EXPECT_EQ(read("0a 0", CRYPT_STRING_HEX), "error 13");  // ERROR_INVALID_DATA: half a pair
  EXPECT_EQ(read("0 a", CRYPT_STRING_HEX), "error 13");   // a pair is not split
}

TEST(Text, AnyTextThatIsNoBase64IsTakenAsItIs) {
  DWORD used = 0;
  EXPECT_EQ(read("AQ*D", CRYPT_STRING_ANY, &used), "AQ*D");
  EXPECT_EQ(used, 2u);                                           // CRYPT_STRING_BINARY
  EXPECT_EQ(read("AQ*D", CRYPT_STRING_BASE64_ANY), "error 13");  // ERROR_INVALID_DATA
}

TEST(Text, ABufferTooShortAsksForMore) {
  BYTE out[2];
  DWORD size = sizeof out;
  EXPECT_FALSE(CryptStringToBinaryA("AQID", 0, CRYPT_STRING_BASE64, out, &size, nullptr, nullptr));
  EXPECT_EQ(GetLastError(), 234u);  // ERROR_MORE_DATA
}

TEST(Text, WideTextBeyondAsciiIsNoBase64) {
  const WCHAR good[] = {'A', 'Q', 'I', 'D', 0}, bad[] = {'A', 'Q', 0x0100 | 'I', 'D', 0};
  BYTE out[8];
  DWORD size = sizeof out;
  ASSERT_TRUE(CryptStringToBinaryW(good, 0, CRYPT_STRING_BASE64, out, &size, nullptr, nullptr));
  EXPECT_EQ(std::string(reinterpret_cast<char*>(out), size), "\x01\x02\x03");
  size = sizeof out;
  EXPECT_FALSE(CryptStringToBinaryW(bad, 0, CRYPT_STRING_BASE64, out, &size, nullptr, nullptr));
  EXPECT_EQ(GetLastError(), 13u);  // ERROR_INVALID_DATA: the low byte alone would be base64
}

}  // namespace
