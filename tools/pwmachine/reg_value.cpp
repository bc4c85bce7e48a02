#include "reg_value.h"

#include "hex_digit.h"

#include "text.h"

#include <cstdint>

namespace pwm::reg {
namespace {

struct TypeName {
  DWORD type;
  const char* name;
  bool addable;  // offered by `reg add /t`
};

const TypeName kTypes[] = {
    {REG_NONE, "REG_NONE", true},
    {REG_SZ, "REG_SZ", true},
    {REG_EXPAND_SZ, "REG_EXPAND_SZ", true},
    {REG_BINARY, "REG_BINARY", true},
    {REG_DWORD, "REG_DWORD", true},
    {REG_DWORD_BIG_ENDIAN, "REG_DWORD_BIG_ENDIAN", false},
    {REG_LINK, "REG_LINK", false},
    {REG_MULTI_SZ, "REG_MULTI_SZ", true},
    {REG_RESOURCE_LIST, "REG_RESOURCE_LIST", false},
    {9, "REG_FULL_RESOURCE_DESCRIPTOR", false},
    {10, "REG_RESOURCE_REQUIREMENTS_LIST", false},
    {REG_QWORD, "REG_QWORD", true},
};

using tools::hexDigit;

std::string hexPairs(std::string_view data) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(data.size() * 2);
  for (unsigned char c : data) {
    out.push_back(kDigits[c >> 4]);
    out.push_back(kDigits[c & 15]);
  }
  return out;
}

uint64_t littleEndian(std::string_view data) {
  uint64_t v = 0;
  for (size_t i = data.size(); i-- > 0;) v = (v << 8) | uint8_t(data[i]);
  return v;
}

// A number as reg.exe takes it: decimal digits, or 0x and hexadecimal digits,
// no larger than `max`. A minus sign is taken only where reg.exe takes it
// (REG_QWORD, decimal), and wraps around as the C library's conversion does.
bool parseNumber(std::string_view text, uint64_t max, bool minusAllowed, uint64_t* out) {
  bool minus = minusAllowed && !text.empty() && text[0] == '-';
  if (minus) text.remove_prefix(1);
  unsigned base = 10;
  if (text.size() >= 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    if (minus) return false;
    base = 16;
    text.remove_prefix(2);
  }
  if (text.empty()) return false;
  uint64_t v = 0;
  for (char c : text) {
    int d = hexDigit(c);
    if (d < 0 || unsigned(d) >= base) return false;
    if (v > (max - unsigned(d)) / base) return false;
    v = v * base + unsigned(d);
  }
  *out = minus ? uint64_t(0) - v : v;
  return true;
}

// reg.exe's reading of REG_MULTI_SZ data: strings separated by `separator`, or
// by "\0" without one; no empty string before another one, and the list ends
// with an empty string.
bool multiString(std::string_view text, char separator, std::string* bytes) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (!separator && c == '\\' && i + 1 < text.size() && text[i + 1] == '0') {
      c = '\0';
      ++i;
    } else if (separator && c == separator) {
      c = '\0';
    }
    out.push_back(c);
    size_t at = out.size() - 1;
    if (at > 0 && out[at - 1] == '\0' && (c == '\0' || at == 1)) return false;
  }
  if (!out.empty() && out.back() != '\0') out.push_back('\0');
  out.push_back('\0');
  *bytes = std::move(out);
  return true;
}

}  // namespace

std::string typeName(DWORD type) {
  for (const auto& t : kTypes)
    if (t.type == type) return t.name;
  return format("0x%lx", static_cast<unsigned long>(type));
}

bool parseAddType(std::string_view name, DWORD* type) {
  for (const auto& t : kTypes) {
    if (t.addable && equalsNoCase(name, t.name)) {
      *type = t.type;
      return true;
    }
  }
  return false;
}

std::string displayData(DWORD type, std::string_view data) {
  switch (type) {
    case REG_SZ:
    case REG_EXPAND_SZ:
      return std::string(data.substr(0, data.find('\0')));
    case REG_MULTI_SZ: {
      // Without the list's closing zeros, each zero between strings shown as "\0".
      for (int i = 0; i < 2 && !data.empty() && data.back() == '\0'; ++i) data.remove_suffix(1);
      std::string out;
      for (char c : data) {
        if (c)
          out.push_back(c);
        else
          out += "\\0";
      }
      return out;
    }
    case REG_DWORD:
    case REG_DWORD_BIG_ENDIAN:  // shown unswapped, as reg.exe does
      if (data.size() == 4) return format("0x%lx", static_cast<unsigned long>(littleEndian(data)));
      break;
    case REG_QWORD:
      if (data.size() == 8)
        return format("0x%llx", static_cast<unsigned long long>(littleEndian(data)));
      break;
    default:
      break;
  }
  return hexPairs(data);
}

bool buildData(DWORD type, const std::string* text, char separator, std::string* bytes,
               std::string* error) {
  const std::string empty;
  const std::string& data = text ? *text : empty;
  switch (type) {
    case REG_SZ:
    case REG_EXPAND_SZ:
      *bytes = data + '\0';
      return true;
    case REG_NONE: {
      // reg.exe stores REG_NONE data as UTF-16 text, zero included: the W
      // function it calls only converts the string types, so neither may we.
      WString wide = toWide(data);
      wide.push_back(0);
      bytes->clear();
      for (WCHAR c : wide) {
        bytes->push_back(char(c & 0xFF));
        bytes->push_back(char((c >> 8) & 0xFF));
      }
      return true;
    }
    case REG_DWORD:
    case REG_QWORD: {
      bool dword = type == REG_DWORD;
      uint64_t v = 0;
      if (text && !parseNumber(data, dword ? 0xFFFFFFFFull : ~uint64_t(0), !dword, &v)) {
        *error = format(
            "The data for %s must be a number: decimal digits, or 0x and "
            "hexadecimal digits, no larger than %s.",
            dword ? "REG_DWORD" : "REG_QWORD", dword ? "0xffffffff" : "0xffffffffffffffff");
        return false;
      }
      bytes->clear();
      for (int i = 0; i < (dword ? 4 : 8); ++i) bytes->push_back(char((v >> (8 * i)) & 0xFF));
      return true;
    }
    case REG_BINARY: {
      // An odd count of digits gives the first one a byte of its own.
      bytes->clear();
      size_t i = data.size() % 2;
      if (i && hexDigit(data[0]) >= 0) bytes->push_back(char(hexDigit(data[0])));
      for (; i + 1 < data.size(); i += 2) {
        int hi = hexDigit(data[i]), lo = hexDigit(data[i + 1]);
        if (hi < 0 || lo < 0) break;
        bytes->push_back(char(hi * 16 + lo));
      }
      if (bytes->size() != (data.size() + 1) / 2) {
        *error = "The data for REG_BINARY must be hexadecimal digits, such as 0a1B2c.";
        return false;
      }
      return true;
    }
    case REG_MULTI_SZ:
      if (!multiString(data, separator, bytes)) {
        *error =
            "The REG_MULTI_SZ data holds an empty string: only the last string may be "
            "empty.";
        return false;
      }
      return true;
    default:
      *error = "This type cannot be added.";
      return false;
  }
}

}  // namespace pwm::reg
