// The dispatcher's command text, as WinMain receives it, and the command file
// that 'F' hands over. Commands whose handlers reach beyond the throw-away
// machine (running a command line, reading a path given by the input) or that
// are slow by design (key generation) are left out.
#include "fuzz_machine.h"

#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

namespace {

bool leftOut(char letter) { return letter == 'R' || letter == 'Q'; }

// 'F' with the rest of the input as the content of a command file of our own.
void runCommandFile(const uint8_t* data, size_t size) {
  std::string content(reinterpret_cast<const char*>(data), size);
  // Pieces are cut at zero bytes and line ends are changed, so any of these
  // bytes could end up first: a file that holds one is not run.
  if (content.find_first_of("RQ") != std::string::npos) return;
  const std::string path = fuzzMachineRoot() + "/command.txt";
  if (FILE* file = std::fopen(path.c_str(), "wb")) {
    std::fwrite(content.data(), 1, content.size(), file);
    std::fclose(file);
  }
  std::string command = "F,Z:" + path;
  asOneRun([&] { WinMain(nullptr, nullptr, command.data(), SW_SHOWDEFAULT); });
}

// The machine every input starts from is a workstation that has been through the
// seeds' commands that leave something behind (values, certificates, identifiers),
// so that the commands that look for such things can find them.
void setUpMachine() {
  std::vector<std::filesystem::path> seeds;
  for (const auto& entry : std::filesystem::directory_iterator(PW_FUZZ_COMMAND_SEEDS))
    seeds.push_back(entry.path());
  std::sort(seeds.begin(), seeds.end());
  for (const auto& seed : seeds) {
    std::ifstream file(seed, std::ios::binary);
    std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    if (text.empty() || std::string_view("ABCHNW").find(text[0]) == std::string_view::npos)
      continue;
    text.resize(std::min(text.size(), text.find('\0')));
    WinMain(nullptr, nullptr, text.data(), SW_SHOWDEFAULT);
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzzMachineRoot();
  setUpMachine();
  fuzz::machineCopy();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 0 && data[0] == 'F') {
    runCommandFile(data + 1, size - 1);
    return 0;
  }
  std::string text(reinterpret_cast<const char*>(data), size);
  text.resize(text.find('\0') == std::string::npos ? text.size() : text.find('\0'));
  if (!text.empty() && leftOut(text[0])) return 0;
  asOneRun([&] { WinMain(nullptr, nullptr, text.data(), SW_SHOWDEFAULT); });
  return 0;
}
