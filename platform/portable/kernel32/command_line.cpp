#include "kernel32/command_line.h"

namespace pw::kernel {
namespace {

bool isBlank(char c) { return c == ' ' || c == '\t'; }

}  // namespace

std::vector<std::string> splitCommandLine(std::string_view line) {
  std::vector<std::string> args;
  size_t p = 0;

  // The program name: quotes toggle grouping and are dropped; nothing else is special.
  std::string name;
  bool inQuotes = false;
  while (p < line.size()) {
    char c = line[p++];
    if (c == '"') {
      inQuotes = !inQuotes;
      continue;
    }
    if (!inQuotes && isBlank(c)) break;
    name += c;
  }
  args.push_back(std::move(name));

  inQuotes = false;
  for (;;) {
    while (p < line.size() && isBlank(line[p])) ++p;
    if (p >= line.size()) break;
    std::string arg;
    for (;;) {
      size_t backslashes = 0;
      while (p < line.size() && line[p] == '\\') {
        ++p;
        ++backslashes;
      }
      bool copy = true;
      if (p < line.size() && line[p] == '"') {
        if (backslashes % 2 == 0) {
          if (inQuotes && p + 1 < line.size() && line[p + 1] == '"') {
            ++p;  // a doubled quote inside quotes is one literal quote
          } else {
            copy = false;
            inQuotes = !inQuotes;
          }
        }
        backslashes /= 2;
      }
      arg.append(backslashes, '\\');
      if (p >= line.size() || (!inQuotes && isBlank(line[p]))) break;
      if (copy) arg += line[p];
      ++p;
    }
    args.push_back(std::move(arg));
  }
  return args;
}

std::vector<ProgramCandidate> programCandidates(std::string_view line) {
  std::vector<ProgramCandidate> out;
  if (!line.empty() && line[0] == '"') {
    size_t close = line.find('"', 1);
    if (close != std::string_view::npos) {
      out.push_back({std::string(line.substr(1, close - 1)), close + 1, true});
      return out;
    }
  }
  for (size_t i = 0; i <= line.size(); ++i) {
    if (i == line.size() || isBlank(line[i]))
      out.push_back({std::string(line.substr(0, i)), i, false});
  }
  return out;
}

}  // namespace pw::kernel
