// The start-up code of a windowless program: the command text is the rest of the
// command line, i.e. the arguments after the program's name joined by single
// blanks, without the bytes of value 0x20 or less in front of it, which Windows' C
// start-up code skips between the program's name and the text it hands WinMain. A
// Unix exit status keeps only 8 bits, so the full result code is also written to
// standard output as one decimal line.
#include <windows.h>

#include <cstdio>
#include <string>

int main(int argc, char** argv) {
  std::string text;
  for (int i = 1; i < argc; ++i) {
    if (i > 1) text += ' ';
    text += argv[i];
  }
  size_t start = 0;
  while (start < text.size() && static_cast<unsigned char>(text[start]) <= 0x20) ++start;
  int code = WinMain(nullptr, nullptr, text.data() + start, SW_SHOWDEFAULT);
  std::printf("%d\n", code);
  std::fflush(stdout);
  return code & 0xFF;
}
