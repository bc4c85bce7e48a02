// Every fuzz target works on a throw-away emulated machine: the machine root is a
// new temporary folder, set before anything touches the platform.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

inline const std::string& fuzzMachineRoot() {
  static const std::string root = [] {
    char folder[] = "/tmp/pw-fuzz-XXXXXX";
    if (!::mkdtemp(folder)) {
      std::perror("mkdtemp");
      std::abort();
    }
    ::setenv("PW_MACHINE_ROOT", folder, 1);
    // Removed when the fuzzer ends normally; a crash leaves it for a look.
    std::atexit([] { std::filesystem::remove_all(std::getenv("PW_MACHINE_ROOT")); });
    return std::string(folder);
  }();
  return root;
}
