#include "value_data.h"

#include "hex_digit.h"

#include <cerrno>
#include <cstdlib>

namespace {

using tools::hexDigit;

bool fromHex(const std::string& text, std::vector<BYTE>* bytes) {
  int high = -1;
  for (char c : text) {
    if (c == ' ' || c == ':' || c == '\t') continue;
    int digit = hexDigit(c);
    if (digit < 0) return false;
    if (high < 0) {
      high = digit;
    } else {
      bytes->push_back(BYTE(high * 16 + digit));
      high = -1;
    }
  }
  return high < 0;
}

bool fromNumber(const std::string& text, std::vector<BYTE>* bytes) {
  if (text.empty()) return false;
  errno = 0;
  char* end = nullptr;
  long long value = std::strtoll(text.c_str(), &end, 0);
  if (errno || *end || value < -2147483648LL || value > 4294967295LL) return false;
  auto word = uint32_t(value);
  for (int i = 0; i < 4; ++i) bytes->push_back(BYTE(word >> (8 * i)));
  return true;
}

bool fromFile(const std::string& path, std::vector<BYTE>* bytes) {
  HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  BYTE chunk[4096];
  DWORD got = 0;
  bool ok = true;
  while ((ok = ReadFile(file, chunk, sizeof chunk, &got, nullptr) != FALSE) && got > 0)
    bytes->insert(bytes->end(), chunk, chunk + got);
  CloseHandle(file);
  return ok;
}

}  // namespace

bool readValueData(const std::string& kind, const std::string& data, std::vector<BYTE>* bytes,
                   std::string* failure) {
  bytes->clear();
  if (kind == "text") {
    bytes->assign(data.begin(), data.end());
    return true;
  }
  if (kind == "hex" && fromHex(data, bytes)) return true;
  if (kind == "number" && fromNumber(data, bytes)) return true;
  if (kind == "file" && fromFile(data, bytes)) return true;
  if (kind == "hex")
    *failure = "not an even number of hex digits: " + data;
  else if (kind == "number")
    *failure = "not a 32-bit number: " + data;
  else if (kind == "file")
    *failure = "cannot read the file " + data;
  else
    *failure = "unknown data kind " + kind + " (text, hex, number or file)";
  return false;
}
