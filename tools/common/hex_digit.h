// What the tools share: the value of one hexadecimal digit, in narrow or wide text.
#pragma once

namespace tools {

// 0 to 15, or -1 for a character that is no hexadecimal digit.
template <class Char>
constexpr int hexDigit(Char c) {
  if (c >= '0' && c <= '9') return int(c - '0');
  if (c >= 'a' && c <= 'f') return int(c - 'a' + 10);
  if (c >= 'A' && c <= 'F') return int(c - 'A' + 10);
  return -1;
}

}  // namespace tools
