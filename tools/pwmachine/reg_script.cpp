#include "reg_script.h"

#include "hex_digit.h"

#include <algorithm>
#include <cstdint>
#include <optional>

namespace pwm::reg {
namespace {

constexpr std::string_view kVersion5 = "Windows Registry Editor Version 5.00";
constexpr std::string_view kVersion4 = "REGEDIT4";

// The registry editor breaks a byte list once its line reaches this many
// columns, leaving room for ",\" within 80.
constexpr size_t kHexColumns = 77;

void appendAscii(WString* out, std::string_view ascii) { out->append(widen(ascii)); }

// Quotes a name or string for the script; the text ends at its first zero.
WString quoted(WStringView text) {
  // The characters the script escapes, and their escapes.
  constexpr std::pair<WCHAR, const char*> kEscapes[] = {
      {'\\', "\\\\"}, {'"', "\\\""}, {'\r', "\\r"}, {'\n', "\\n"}};
  WString out;
  out.push_back('"');
  for (WCHAR c : text) {
    if (c == 0) break;
    auto escape = std::find_if(std::begin(kEscapes), std::end(kEscapes),
                               [c](const auto& e) { return e.first == c; });
    if (escape != std::end(kEscapes))
      appendAscii(&out, escape->second);
    else
      out.push_back(c);
  }
  out.push_back('"');
  return out;
}

bool isStringType(DWORD type) {
  return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ;
}

bool isBlank(WCHAR c) { return c == ' ' || c == '\t'; }

WStringView trimLeft(WStringView s) {
  while (!s.empty() && isBlank(s.front())) s.remove_prefix(1);
  return s;
}

WStringView trim(WStringView s) {
  s = trimLeft(s);
  while (!s.empty() && isBlank(s.back())) s.remove_suffix(1);
  return s;
}

// Nothing but blanks and perhaps a comment.
bool endsHere(WStringView s) {
  s = trimLeft(s);
  return s.empty() || s.front() == ';';
}

bool startsWith(WStringView s, std::string_view ascii) {
  if (s.size() < ascii.size()) return false;
  for (size_t i = 0; i < ascii.size(); ++i)
    if (s[i] != WCHAR(ascii[i])) return false;
  return true;
}

using tools::hexDigit;

// Reads hexadecimal digits at the start of `s` into `value`; false if there
// are none or the number exceeds `max`.
bool hexNumber(WStringView* s, uint32_t max, uint32_t* value) {
  uint64_t v = 0;
  size_t n = 0;
  for (; n < s->size() && hexDigit((*s)[n]) >= 0; ++n) {
    v = v * 16 + uint64_t(hexDigit((*s)[n]));
    if (v > max) return false;
  }
  if (n == 0) return false;
  s->remove_prefix(n);
  *value = uint32_t(v);
  return true;
}

// The body of a quoted string, from after its opening quote: `rest` is left
// after the closing quote. False when the quote is not closed or an escape is
// not one the format knows.
bool unquote(WStringView s, WString* text, WStringView* rest) {
  text->clear();
  for (size_t i = 0; i < s.size(); ++i) {
    WCHAR c = s[i];
    if (c == '"') {
      *rest = s.substr(i + 1);
      return true;
    }
    if (c == '\\') {
      if (++i == s.size()) return false;
      switch (s[i]) {
        case '\\':
        case '"':
          c = s[i];
          break;
        case 'n':
          c = '\n';
          break;
        case 'r':
          c = '\r';
          break;
        default:
          return false;
      }
    }
    text->push_back(c);
  }
  return false;
}

enum class HexLine { Done, Continued, Bad };

// A line (or the rest of one) of comma-separated bytes; a backslash at its
// end continues the list on the next line.
HexLine hexBytes(WStringView s, std::string* bytes) {
  for (;;) {
    s = trimLeft(s);
    if (endsHere(s)) return HexLine::Done;
    if (s.front() == '\\') return endsHere(s.substr(1)) ? HexLine::Continued : HexLine::Bad;
    uint32_t byte = 0;
    if (!hexNumber(&s, 0xFF, &byte)) return HexLine::Bad;
    bytes->push_back(char(byte));
    s = trimLeft(s);
    if (endsHere(s)) return HexLine::Done;
    if (s.front() != ',') return HexLine::Bad;
    s.remove_prefix(1);
  }
}

// A value whose byte list is still being read.
struct HexValue {
  size_t line = 0;
  std::string name;
  DWORD type = REG_BINARY;
  std::string bytes;
};

class Reader {
 public:
  Reader(bool utf16, ScriptSink* sink) : utf16_(utf16), sink_(sink) {}

  void line(size_t number, WStringView text) {
    if (pending_) {
      WStringView s = trimLeft(text);
      if (endsHere(s)) return;  // blank and comment lines inside a list are skipped
      if (hexDigit(s.front()) >= 0) {
        continueHex(number, s);
        return;
      }
      sink_->problem(pending_->line, "the list of bytes breaks off; the value is skipped");
      pending_.reset();
    }
    WStringView s = trimLeft(text);
    if (endsHere(s)) return;
    if (s.front() == '[') return keyLine(number, s.substr(1));
    std::string name;
    if (s.front() == '@') {
      s.remove_prefix(1);
    } else if (s.front() == '"') {
      WString wide;
      if (!unquote(s.substr(1), &wide, &s))
        return sink_->problem(number, "the value's name is not a well-formed quoted string");
      name = toNarrow(wide);
    } else {
      return sink_->problem(number, "neither a [key], a value nor a comment");
    }
    s = trimLeft(s);
    if (s.empty() || s.front() != '=')
      return sink_->problem(number, "the value's name is not followed by '='");
    valueData(number, std::move(name), trim(s.substr(1)));
  }

  void end() {
    if (pending_) finishHex();
  }

 private:
  void keyLine(size_t number, WStringView s) {
    size_t close = s.rfind(WCHAR(']'));
    if (s.empty() || isBlank(s.front()) || close == WStringView::npos)
      return sink_->problem(number, "the key's name is not within [ ]");
    WStringView name = s.substr(0, close);
    if (!name.empty() && name.front() == '-')
      sink_->deleteKey(number, toNarrow(name.substr(1)));
    else
      sink_->key(number, toNarrow(name));
  }

  void valueData(size_t number, std::string name, WStringView s) {
    if (!s.empty() && s.front() == '-') {
      if (!endsHere(s.substr(1))) return sink_->problem(number, "unexpected text after '=-'");
      return sink_->deleteValue(number, name);
    }
    if (!s.empty() && s.front() == '"') {
      WString text;
      WStringView rest;
      if (!unquote(s.substr(1), &text, &rest) || !endsHere(rest))
        return sink_->problem(number, "the string is not a well-formed quoted string");
      std::string data = toNarrow(text);
      data.push_back('\0');
      return sink_->value(number, name, REG_SZ, data);
    }
    if (startsWith(s, "dword:")) {
      s.remove_prefix(6);
      uint32_t v = 0;
      WStringView digits = trimLeft(s);
      size_t count = 0;
      while (count < digits.size() && hexDigit(digits[count]) >= 0) ++count;
      if (count > 8 || !hexNumber(&digits, 0xFFFFFFFFu, &v) || !endsHere(digits))
        return sink_->problem(number, "dword: needs one to eight hexadecimal digits");
      std::string data;
      for (int i = 0; i < 4; ++i) data.push_back(char((v >> (8 * i)) & 0xFF));
      return sink_->value(number, name, REG_DWORD, data);
    }
    DWORD type = REG_BINARY;
    if (startsWith(s, "hex:")) {
      s.remove_prefix(4);
    } else if (startsWith(s, "hex(")) {
      s.remove_prefix(4);
      uint32_t t = 0;
      if (!hexNumber(&s, 0xFFFFFFFFu, &t) || !startsWith(s, "):"))
        return sink_->problem(number, "hex( needs a hexadecimal type and \"):\"");
      s.remove_prefix(2);
      type = t;
    } else {
      return sink_->problem(number, "the data is neither \"text\", dword:, hex: nor hex(type):");
    }
    pending_ = HexValue{number, std::move(name), type, {}};
    continueHex(number, s);
  }

  void continueHex(size_t number, WStringView s) {
    switch (hexBytes(s, &pending_->bytes)) {
      case HexLine::Done:
        finishHex();
        break;
      case HexLine::Continued:
        break;
      case HexLine::Bad:
        sink_->problem(number, "the list of bytes is not hexadecimal pairs separated by commas");
        pending_.reset();
        break;
    }
  }

  // Strings written as bytes are UTF-16 in a UTF-16 script and ANSI in an ANSI
  // one; they are stored in ANSI, with a closing zero if the list has none.
  void finishHex() {
    HexValue v = std::move(*pending_);
    pending_.reset();
    if (isStringType(v.type) && !v.bytes.empty()) {
      if (utf16_) {
        WString wide;
        for (size_t i = 0; i + 1 < v.bytes.size(); i += 2)
          wide.push_back(WCHAR(uint8_t(v.bytes[i]) | (uint8_t(v.bytes[i + 1]) << 8)));
        if (wide.empty() || wide.back() != 0) wide.push_back(0);
        v.bytes = toNarrow(wide);
      } else if (v.bytes.back() != '\0') {
        v.bytes.push_back('\0');
      }
    }
    sink_->value(v.line, v.name, v.type, v.bytes);
  }

  bool utf16_;
  ScriptSink* sink_;
  std::optional<HexValue> pending_;
};

}  // namespace

WString scriptHeader() {
  WString out(1, WCHAR(0xFEFF));
  appendAscii(&out, kVersion5);
  appendAscii(&out, "\r\n");
  return out;
}

void appendKeyHeading(WString* script, std::string_view path) {
  appendAscii(script, "\r\n[");
  script->append(toWide(path));
  appendAscii(script, "]\r\n");
}

void appendValue(WString* script, const Value& value) {
  WString line;
  if (value.name.empty())
    appendAscii(&line, "@");
  else
    line = quoted(toWide(value.name));
  line.push_back('=');

  if (value.type == REG_SZ) {
    line += quoted(toWide(value.data));
  } else if (value.type == REG_DWORD && value.data.size() == 4) {
    uint32_t v = 0;
    for (int i = 3; i >= 0; --i) v = (v << 8) | uint8_t(value.data[size_t(i)]);
    appendAscii(&line, format("dword:%08lx", static_cast<unsigned long>(v)));
  } else {
    // The other string types as the UTF-16 bytes the registry holds them in.
    std::string bytes = isStringType(value.type) ? scriptBytes(toWide(value.data)) : value.data;
    if (value.type == REG_BINARY)
      appendAscii(&line, "hex:");
    else
      appendAscii(&line, format("hex(%lx):", static_cast<unsigned long>(value.type)));
    size_t column = line.size();
    for (size_t i = 0; i < bytes.size(); ++i) {
      appendAscii(&line, format("%02x", unsigned(uint8_t(bytes[i]))));
      if (i + 1 == bytes.size()) break;
      line.push_back(',');
      column += 3;
      if (column >= kHexColumns) {
        appendAscii(&line, "\\\r\n  ");
        column = 2;
      }
    }
  }
  appendAscii(&line, "\r\n");
  script->append(line);
}

std::string scriptBytes(WStringView script) {
  std::string out;
  out.reserve(script.size() * 2);
  for (WCHAR c : script) {
    out.push_back(char(c & 0xFF));
    out.push_back(char((c >> 8) & 0xFF));
  }
  return out;
}

bool readScript(std::string_view file, ScriptSink* sink) {
  bool utf16 = file.size() >= 2 && uint8_t(file[0]) == 0xFF && uint8_t(file[1]) == 0xFE;
  WString text;
  if (utf16) {
    for (size_t i = 2; i + 1 < file.size(); i += 2)
      text.push_back(WCHAR(uint8_t(file[i]) | (uint8_t(file[i + 1]) << 8)));
  } else {
    text = toWide(file);
  }
  Reader reader(utf16, sink);
  WStringView rest(text);
  for (size_t number = 1; !rest.empty() || number == 1; ++number) {
    size_t cut = rest.find_first_of(widen("\r\n"));
    WStringView line = rest.substr(0, cut);
    if (cut == WStringView::npos) {
      rest = {};
    } else {
      size_t skip = (rest[cut] == '\r' && cut + 1 < rest.size() && rest[cut + 1] == '\n') ? 2 : 1;
      rest.remove_prefix(cut + skip);
    }
    if (number == 1) {
      WStringView version = trim(line);
      if (version != widen(kVersion5) && version != widen(kVersion4)) return false;
      continue;
    }
    reader.line(number, line);
  }
  reader.end();
  return true;
}

}  // namespace pwm::reg
