#include "console.h"

#include "text.h"

#include <cstdio>

namespace pwm {
namespace {

void write(std::FILE* stream, std::string_view ansi) {
  bool ascii = true;
  for (unsigned char c : ansi) ascii = ascii && c < 0x80;
  if (ascii) {
    std::fwrite(ansi.data(), 1, ansi.size(), stream);
  } else {
    std::string oem = toNarrow(toWide(ansi, CP_ACP), CP_OEMCP);
    std::fwrite(oem.data(), 1, oem.size(), stream);
  }
}

}  // namespace

void out(std::string_view ansi) { write(stdout, ansi); }

void err(std::string_view ansi) {
  std::fflush(stdout);  // keep the two streams in order on a shared terminal
  write(stderr, ansi);
}

}  // namespace pwm
