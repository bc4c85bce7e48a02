#include "result_code.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>

namespace {

struct Code {
  long value;
  const char* meaning;
};

const Code kCodes[] = {
#define PW_RESULT_RANGE(title)
#define PW_RESULT_CODE(name, value, meaning) {value, meaning},
#include "win32/result_codes.def"
#undef PW_RESULT_CODE
#undef PW_RESULT_RANGE
};

void print(const Code& code) { std::printf("%ld: %s\n", code.value, code.meaning); }

// Decimal, or 0x hex as a Windows exit code is often written; nothing else.
bool parse(const std::string& text, long* value) {
  if (text.empty() || text.size() > 12) return false;
  errno = 0;
  char* end = nullptr;
  *value = std::strtol(text.c_str(), &end, 0);
  return errno == 0 && *end == '\0' && text[0] != '+' && text[0] != ' ';
}

}  // namespace

int explainCode(const std::string& text) {
  if (text.empty()) {
    for (const Code& code : kCodes) print(code);
    return 0;
  }
  long value = 0;
  if (!parse(text, &value)) {
    std::fprintf(stderr, "pwcmd: '%s' is no number\n", text.c_str());
    return 1;
  }
  for (const Code& code : kCodes)
    if (code.value == value) {
      print(code);
      return 0;
    }
  // A Unix exit status keeps 8 bits of the code: name the codes it can stand for.
  bool found = false;
  if (value > 0 && value < 256)
    for (const Code& code : kCodes)
      if (code.value != value && (code.value & 0xFF) == value) {
        if (!found) std::printf("exit status %ld is the low 8 bits of\n", value);
        found = true;
        print(code);
      }
  if (!found) std::fprintf(stderr, "pwcmd: %s is no result code of pwexe\n", text.c_str());
  return found ? 0 : 1;
}
