#include "machine/system_programs.h"

#include "machine/host_calls.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <climits>
#include <string>

namespace pw::machine {
namespace {

constexpr const char* kPrograms[] = {"cacls", "icacls"};

std::string ownFolder() {
  char buf[PATH_MAX];
  ssize_t n = pw::host::readlink("/proc/self/exe", buf, sizeof buf - 1);
  if (n <= 0) return "";
  std::string path(buf, size_t(n));
  return path.substr(0, path.rfind('/'));
}

// The installed program, or "" when neither place has it.
std::string installed(const std::string& folder, const char* name) {
  for (const std::string& candidate : {folder + "/" + name, folder + "/../lib/pwexe/" + name}) {
    struct stat st {};
    if (pw::host::stat(candidate.c_str(), &st) == 0 && S_ISREG(st.st_mode) && (st.st_mode & S_IXUSR)) {
      char real[PATH_MAX];
      return ::realpath(candidate.c_str(), real) ? std::string(real) : candidate;
    }
  }
  return "";
}

// A shell word holding `text` exactly.
std::string quoted(const std::string& text) {
  std::string out = "'";
  for (char c : text) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return out + "'";
}

// Writes the placeholder beside its place and renames it there, so that it appears
// whole or not at all.
void place(const std::string& path, const std::string& program) {
  std::string text = "#!/bin/sh\nexec " + quoted(program) + " \"$@\"\n";
  std::string temporary = path + "." + std::to_string(::getpid()) + ".tmp";
  int fd = pw::host::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0755);
  if (fd < 0) return;
  bool whole = pw::host::write(fd, text.data(), text.size()) == ssize_t(text.size());
  whole = pw::host::close(fd) == 0 && whole;
  if (!whole || pw::host::rename(temporary.c_str(), path.c_str()) != 0) pw::host::unlink(temporary.c_str());
}

}  // namespace

void installSystemPrograms(const std::string& system32) {
  std::string folder = ownFolder();
  if (folder.empty()) return;
  for (const char* name : kPrograms) {
    std::string program = installed(folder, name);
    if (!program.empty()) place(system32 + "/" + name + ".exe", program);
  }
}

}  // namespace pw::machine
