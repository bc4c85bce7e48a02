#include "advapi32/boot_note.h"

#include "machine/host_calls.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>

namespace pw::registry {
namespace {

std::string readSmallFile(const char* path) {
  int fd = pw::host::open(path, O_RDONLY | O_CLOEXEC);
  if (fd < 0) return {};
  char buf[64];
  ssize_t n = pw::host::read(fd, buf, sizeof buf);
  pw::host::close(fd);
  std::string text(buf, n > 0 ? size_t(n) : 0);
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
  return text;
}

}  // namespace

std::string hostBootId() { return readSmallFile("/proc/sys/kernel/random/boot_id"); }

std::string readBootNote(const std::string& path) { return readSmallFile(path.c_str()); }

bool writeBootNote(const std::string& path, const std::string& bootId) {
  std::string fresh = path + ".new";
  int fd = pw::host::open(fresh.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (fd < 0) return false;
  bool ok = pw::host::write(fd, bootId.data(), bootId.size()) == ssize_t(bootId.size());
  ok = pw::host::close(fd) == 0 && ok;
  ok = ok && pw::host::rename(fresh.c_str(), path.c_str()) == 0;
  if (!ok) pw::host::unlink(fresh.c_str());
  return ok;
}

}  // namespace pw::registry
