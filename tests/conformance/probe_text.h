// What every conformance probe prints its bytes with: lower-case hex, "-" for none.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

namespace probe {

using Bytes = std::vector<unsigned char>;

inline std::string hex(const void* data, size_t n) {
  static const char* digits = "0123456789abcdef";
  auto* p = static_cast<const unsigned char*>(data);
  std::string s;
  for (size_t i = 0; i < n; ++i) s += {digits[p[i] >> 4], digits[p[i] & 15]};
  return s.empty() ? "-" : s;
}

template <class Container>
std::string hex(const Container& bytes) {
  return hex(bytes.data(), bytes.size());
}

// The bytes of a hex text; it stops at the first pair that is no hex.
inline Bytes unhex(const char* text) {
  Bytes out;
  for (unsigned v = 0; text[0] && text[1] && std::sscanf(text, "%2x", &v) == 1; text += 2)
    out.push_back((unsigned char)v);
  return out;
}

}  // namespace probe
