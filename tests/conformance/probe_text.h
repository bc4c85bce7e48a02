// What every conformance probe prints with: lower-case hex, "-" for none, and the line
// of a call that answers TRUE or FALSE.
#pragma once

#include <windows.h>

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

// "name: ret=1 err=-" or "name: ret=0 err=8009000f", then what the call gave back.
inline void line(const std::string& name, BOOL ok, const std::string& extra = "") {
  char err[16] = "-";
  if (!ok) std::snprintf(err, sizeof err, "%08x", unsigned(GetLastError()));
  std::printf("%s: ret=%d err=%s%s%s\n", name.c_str(), ok ? 1 : 0, err, extra.empty() ? "" : " ",
              extra.c_str());
}

}  // namespace probe
