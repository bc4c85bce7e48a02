#include "text.h"

#include <climits>
#include <cstdarg>
#include <cstdio>

namespace pwm {

WString toWide(std::string_view text, UINT codePage) {
  if (text.empty() || text.size() > size_t(INT_MAX)) return {};
  int n = MultiByteToWideChar(codePage, 0, text.data(), int(text.size()), nullptr, 0);
  if (n <= 0) return {};
  WString out(size_t(n), WCHAR(0));
  MultiByteToWideChar(codePage, 0, text.data(), int(text.size()), out.data(), n);
  return out;
}

std::string toNarrow(WStringView text, UINT codePage) {
  if (text.empty() || text.size() > size_t(INT_MAX)) return {};
  int n =
      WideCharToMultiByte(codePage, 0, text.data(), int(text.size()), nullptr, 0, nullptr, nullptr);
  if (n <= 0) return {};
  std::string out(size_t(n), '\0');
  WideCharToMultiByte(codePage, 0, text.data(), int(text.size()), out.data(), n, nullptr, nullptr);
  return out;
}

WString widen(std::string_view ascii) { return WString(ascii.begin(), ascii.end()); }

namespace {
char lower(char c) { return (c >= 'A' && c <= 'Z') ? char(c + 32) : c; }
char upper(char c) { return (c >= 'a' && c <= 'z') ? char(c - 32) : c; }
}  // namespace

bool equalsNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (lower(a[i]) != lower(b[i])) return false;
  return true;
}

std::string toLower(std::string_view text) {
  std::string out(text);
  for (auto& c : out) c = lower(c);
  return out;
}

std::string toUpper(std::string_view text) {
  std::string out(text);
  for (auto& c : out) c = upper(c);
  return out;
}

std::string format(const char* fmt, ...) {
  va_list args;
  va_start(args, fmt);
  va_list again;
  va_copy(again, args);
  int n = std::vsnprintf(nullptr, 0, fmt, args);
  va_end(args);
  std::string out;
  if (n > 0) {
    out.resize(size_t(n) + 1);
    std::vsnprintf(out.data(), out.size(), fmt, again);
    out.resize(size_t(n));
  }
  va_end(again);
  return out;
}

bool isHelpSwitch(std::string_view arg) {
  return arg == "--help" || (arg.size() == 2 && (arg[0] == '/' || arg[0] == '-') &&
                             (arg[1] == '?' || arg[1] == 'h' || arg[1] == 'H'));
}

}  // namespace pwm
