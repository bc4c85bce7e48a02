// Starts a Windows program with a command text passed verbatim and prints its
// full exit code. `wine` quotes arguments that hold blanks, so the text comes from
// a file instead: pwlaunch.exe PROGRAM TEXT-FILE
#include <windows.h>

#include <cstdio>
#include <string>

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: pwlaunch PROGRAM TEXT-FILE\n");
    return 2;
  }
  FILE* f = std::fopen(argv[2], "rb");
  if (!f) {
    std::fprintf(stderr, "pwlaunch: cannot read %s\n", argv[2]);
    return 2;
  }
  std::string text;
  char buf[4096];
  while (size_t n = std::fread(buf, 1, sizeof buf, f)) text.append(buf, n);
  std::fclose(f);

  std::string line = std::string("\"") + argv[1] + "\"";
  if (!text.empty()) line += " " + text;
  STARTUPINFOA si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  // On a loaded machine Wine now and then loses a new process before its start is
  // complete: CreateProcess then fails with ERROR_INTERNAL_ERROR, and none of the
  // program's own code has run (Wine reports the start done only after the loader has
  // finished, before the entry point). Such a start is made again; any other failure,
  // and any process that did start, is the test's to see.
  BOOL started = FALSE;
  DWORD error = 0;
  for (int attempt = 0; attempt < 3 && !started; ++attempt) {
    if (attempt) Sleep(1000);
    started = CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                             &si, &pi);
    error = started ? 0 : GetLastError();
    if (!started && error != ERROR_INTERNAL_ERROR) break;
  }
  if (!started) {
    std::fprintf(stderr, "pwlaunch: CreateProcess failed: %lu\n", error);
    return 2;
  }
  WaitForSingleObject(pi.hProcess, INFINITE);
  DWORD code = 0;
  GetExitCodeProcess(pi.hProcess, &code);
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  std::printf("%ld\n", long(LONG(code)));
  return 0;
}
