#include "access_tools/console.h"

#include <windows.h>

#include <cstdarg>
#include <cstdio>
#include <vector>

namespace access_tools {
namespace {

std::string& pending() {
  static std::string text;
  return text;
}

std::string toOem(std::string_view ansi) {
  bool ascii = true;
  for (unsigned char c : ansi) ascii = ascii && c < 0x80;
  if (ascii || ansi.empty()) return std::string(ansi);
  int n = MultiByteToWideChar(CP_ACP, 0, ansi.data(), int(ansi.size()), nullptr, 0);
  std::vector<WCHAR> wide(size_t(n > 0 ? n : 0));
  if (n <= 0 || !MultiByteToWideChar(CP_ACP, 0, ansi.data(), int(ansi.size()), wide.data(), n))
    return std::string(ansi);
  int m = WideCharToMultiByte(CP_OEMCP, 0, wide.data(), n, nullptr, 0, nullptr, nullptr);
  std::string oem(size_t(m > 0 ? m : 0), '\0');
  if (m <= 0 || !WideCharToMultiByte(CP_OEMCP, 0, wide.data(), n, oem.data(), m, nullptr, nullptr))
    return std::string(ansi);
  return oem;
}

}  // namespace

void out(std::string_view ansi) {
  std::string& text = pending();
  for (char c : toOem(ansi)) {
    if (c == '\n') text += '\r';
    text += c;
  }
  if (text.size() > 16384) flush();
}

void flush() {
  std::string& text = pending();
  HANDLE h = GetStdHandle(STD_OUTPUT_HANDLE);
  // Without a standard output (a program started with none) the text goes nowhere.
  for (size_t at = 0; h && h != INVALID_HANDLE_VALUE && at < text.size();) {
    DWORD written = 0;
    if (!WriteFile(h, text.data() + at, DWORD(text.size() - at), &written, nullptr) || !written)
      break;
    at += written;
  }
  text.clear();
}

bool readLine(std::string* line) {
  flush();
  line->clear();
  HANDLE h = GetStdHandle(STD_INPUT_HANDLE);
  if (!h || h == INVALID_HANDLE_VALUE) return false;
  char c;
  DWORD got = 0;
  bool any = false;
  while (ReadFile(h, &c, 1, &got, nullptr) && got == 1) {
    any = true;
    if (c == '\n') break;
    if (c != '\r') *line += c;
  }
  return any;
}

std::string format(const char* pattern, ...) {
  va_list args;
  va_start(args, pattern);
  char buffer[1024];
  int n = std::vsnprintf(buffer, sizeof buffer, pattern, args);
  va_end(args);
  if (n < 0) return "";
  if (size_t(n) < sizeof buffer) return std::string(buffer, size_t(n));
  std::string text(size_t(n) + 1, '\0');
  va_start(args, pattern);
  std::vsnprintf(text.data(), text.size(), pattern, args);
  va_end(args);
  text.resize(size_t(n));
  return text;
}

}  // namespace access_tools
