// The program the rights command's tests start: prints its arguments one a line in
// brackets, then acts on the options among them:
//   --cwd          prints the current folder
//   --sleep=MS     waits MS milliseconds
//   --touch=PATH   creates PATH after the wait (proof that it ran to its end)
//   --exit=N       ends with exit code N (else 0)
// Plain standard C++, so that under Windows its arguments are those its own C
// runtime makes of the command line.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>

int main(int argc, char** argv) {
  int exitCode = 0;
  long sleepMs = 0;
  const char* touch = nullptr;
  for (int i = 1; i < argc; ++i) {
    std::printf("[%s]\n", argv[i]);
    if (std::strcmp(argv[i], "--cwd") == 0) {
      std::error_code ec;
      std::printf("cwd=%s\n", std::filesystem::current_path(ec).string().c_str());
    } else if (std::strncmp(argv[i], "--sleep=", 8) == 0) {
      sleepMs = std::atol(argv[i] + 8);
    } else if (std::strncmp(argv[i], "--touch=", 8) == 0) {
      touch = argv[i] + 8;
    } else if (std::strncmp(argv[i], "--exit=", 7) == 0) {
      exitCode = std::atoi(argv[i] + 7);
    }
  }
  std::fflush(stdout);
  std::this_thread::sleep_for(std::chrono::milliseconds(sleepMs));
  if (touch) {
    if (std::FILE* f = std::fopen(touch, "w")) std::fclose(f);
  }
  return exitCode;
}
