// Tracing switched on for a whole test program, before its first trace call, so
// that tests can read back the lines an operation wrote.
#pragma once

#include <windows.h>

#include "registry.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

namespace test {

class TraceOnEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    ASSERT_TRUE(setDword(HKEY_CURRENT_USER, "Software\\Velmora\\Tessera", "doTrace", 1));
  }
};

// The texts of the lines written since the last call: no separators, no
// indentation, no time stamps.
inline std::vector<std::string> newTraceTexts() {
  static std::streamoff seen = 0;
  std::ifstream log(std::string(std::getenv("PW_MACHINE_ROOT")) + "/drive_c/PWY_log/Portwyn.log",
                    std::ios::binary);
  log.seekg(seen);
  std::vector<std::string> texts;
  std::string line;
  while (std::getline(log, line)) {
    seen += std::streamoff(line.size() + 1);
    size_t tab = line.find('\t');
    if (tab == std::string::npos) continue;  // a separator line
    if (!line.empty() && line.back() == '\r') line.pop_back();
    texts.push_back(line.substr(tab + 1));
  }
  return texts;
}

inline bool contains(const std::vector<std::string>& texts, const std::string& text) {
  return std::find(texts.begin(), texts.end(), text) != texts.end();
}

// The first of `expected` that `texts` does not hold in that order (other lines may
// stand between them); empty when it holds them all.
inline std::string firstMissing(const std::vector<std::string>& texts,
                                const std::vector<std::string>& expected) {
  auto at = texts.begin();
  for (const std::string& text : expected)
    if ((at = std::find(at, texts.end(), text)) == texts.end()) return text;
  return {};
}

// Registered once for the whole program; gtest owns the environment.
inline const bool kTraceOnRegistered =
    (::testing::AddGlobalTestEnvironment(new TraceOnEnvironment), true);

}  // namespace test
