// The value store's base64 decoder, including where it departs from RFC 4648.
#include "registry/base64_decoder.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace {

// The decoded bytes, or no value when the decoder left the length as preset.
std::optional<std::vector<BYTE>> decode(const std::string& text) {
  LONG length = -1;
  base64Decode(LONG(text.size()), text.c_str(), nullptr, &length);
  if (length == -1) return std::nullopt;
  // Guard bytes behind the output show any write past the decoded length.
  std::vector<BYTE> out(size_t(length) + 4, 0xEE);
  LONG again = -1;
  base64Decode(LONG(text.size()), text.c_str(), out.data(), &again);
  EXPECT_EQ(again, length);
  EXPECT_EQ(std::vector<BYTE>(out.end() - 4, out.end()), std::vector<BYTE>(4, 0xEE)) << text;
  out.resize(size_t(length));
  return out;
}

using Bytes = std::vector<BYTE>;

TEST(Base64Decoder, StandardTextWithPadding) {
  EXPECT_EQ(decode("aGVsbG8="), Bytes({'h', 'e', 'l', 'l', 'o'}));
  EXPECT_EQ(decode("aGVsbA=="), Bytes({'h', 'e', 'l', 'l'}));
  EXPECT_EQ(decode("aGVs"), Bytes({'h', 'e', 'l'}));
  EXPECT_EQ(decode("AAAA"), Bytes(3, 0));
  EXPECT_EQ(decode("+/+/"), Bytes({0xFB, 0xFF, 0xBF}));
  EXPECT_EQ(decode(""), Bytes{});
}

TEST(Base64Decoder, EveryByteValueRoundTrips) {
  const std::string text =
      "AAECAwQFBgcICQoLDA0ODxAREhMUFRYXGBkaGxwdHh8gISIjJCUmJygpKissLS4vMDEyMzQ1Njc4OTo7PD0+P0BBQkNE"
      "RUZHSElKS0xNTk9QUVJTVFVWV1hZWltcXV5fYGFiY2RlZmdoaWprbG1ub3BxcnN0dXZ3eHl6e3x9fn+AgYKDhIWGh4iJ"
      "iouMjY6PkJGSk5SVlpeYmZqbnJ2en6ChoqOkpaanqKmqq6ytrq+wsbKztLW2t7i5uru8vb6/wMHCw8TFxsfIycrLzM3O"
      "z9DR0tPU1dbX2Nna29zd3t/g4eLj5OXm5+jp6uvs7e7v8PHy8/T19vf4+fr7/P3+/w==";
  Bytes all(256);
  for (int i = 0; i < 256; ++i) all[i] = BYTE(i);
  EXPECT_EQ(decode(text), all);
}

TEST(Base64Decoder, LengthNotAMultipleOfFourLeavesTheLengthUnwritten) {
  for (const char* text : {"A", "AA", "AAA", "AAAAA", "aGVsbG8", "aGVsbG8=="})
    EXPECT_EQ(decode(text), std::nullopt) << text;
}

TEST(Base64Decoder, CharactersOutsideTheAlphabetCountAsZero) {
  EXPECT_EQ(decode("A!*A"), Bytes(3, 0));
  EXPECT_EQ(decode("QU\nC"), decode("QUAC"));
  EXPECT_EQ(decode("\xff\xff\xff\xff"), Bytes(3, 0));
  // '=' counts as zero where it stands, and only the last two shorten the text.
  EXPECT_EQ(decode("QQ==QUJD"), Bytes({'A', 0, 0, 'A', 'B', 'C'}));
  EXPECT_EQ(decode("===="), Bytes(1, 0));
  EXPECT_EQ(decode("QU=C"), decode("QUAC"));
}

}  // namespace
