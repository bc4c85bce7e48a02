// The start-up code of a windowless program: the command text is the rest of the
// command line, i.e. the arguments after the program's name joined by single
// blanks. A Unix exit status keeps only 8 bits, so the full result code is also
// written to standard output as one decimal line.
#include <windows.h>

#include <cstdio>
#include <string>

int main(int argc, char** argv) {
  std::string text;
  for (int i = 1; i < argc; ++i) {
    if (i > 1) text += ' ';
    text += argv[i];
  }
  int code = WinMain(nullptr, nullptr, text.data(), SW_SHOWDEFAULT);
  std::printf("%d\n", code);
  std::fflush(stdout);
  return code & 0xFF;
}
