// The rights command's argument text: its redirection marks, checked against a
// plain string model of the rules, then the command line as the platform splits it
// into a program name and arguments. Arguments quoted again as a Windows client
// quotes them must split back to themselves.
#include "kernel32/command_line.h"
#include "rights/rights_redirection.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

void check(bool condition) {
  if (!condition) std::abort();
}

// The quoting that makes a C runtime read `arg` back unchanged: backslashes are
// doubled only before a quote, quotes are escaped, and the whole is quoted.
std::string quote(const std::string& arg) {
  std::string out = "\"";
  size_t backslashes = 0;
  for (char c : arg) {
    if (c == '\\') {
      ++backslashes;
      continue;
    }
    out.append(c == '"' ? 2 * backslashes + 1 : backslashes, '\\');
    backslashes = 0;
    out += c;
  }
  out.append(2 * backslashes, '\\');
  return out + "\"";
}

void checkRedirection(const std::string& args) {
  auto buffers = std::make_unique<RightsBuffers>();
  bool ok = splitRedirection(args.c_str(), buffers.get());

  size_t gt = args.find('>');
  std::string before = args.substr(0, gt);
  std::string path = gt == std::string::npos ? kDefaultReportPath
                     : gt + 1 >= args.size() ? ""
                                             : args.substr(gt + 2);
  std::string input = before.substr(0, before.find('<'));
  std::string command = !before.empty() && before[0] == ' ' && !input.empty() ? input.substr(1)
                                                                              : input;
  check(ok == (before.size() < kRightsBufferSize && path.size() < kRightsBufferSize));
  for (const char* buffer : {buffers->commandLine, buffers->beforeOutput, buffers->beforeInput,
                             buffers->reportPath})
    check(std::memchr(buffer, '\0', kRightsBufferSize) != nullptr);
  if (!ok) return;
  check(buffers->commandLine == command && buffers->beforeOutput == before &&
        buffers->beforeInput == input && buffers->reportPath == path);
}

void checkCommandLine(const std::string& line) {
  std::vector<std::string> args = pw::kernel::splitCommandLine(line);
  check(!args.empty());
  std::string again = "prog";
  for (size_t i = 1; i < args.size(); ++i) again += " " + quote(args[i]);
  std::vector<std::string> back = pw::kernel::splitCommandLine(again);
  check(back.size() == args.size());
  for (size_t i = 1; i < args.size(); ++i) check(back[i] == args[i]);

  for (const auto& c : pw::kernel::programCandidates(line)) {
    check(c.end <= line.size());
    if (c.quoted) check(line[0] == '"' && line.compare(1, c.name.size(), c.name) == 0);
    else check(line.compare(0, c.end, c.name) == 0);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string text(reinterpret_cast<const char*>(data), size);
  text = text.substr(0, text.find('\0'));  // the argument text is a C string
  checkRedirection(text);
  checkCommandLine(text);
  return 0;
}
