#include "machine/machine.h"

#include "machine/host_calls.h"
#include "machine/system_programs.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <cstdlib>

namespace pw::machine {
namespace {

void makeDirs(const std::string& path) {
  std::string partial;
  size_t pos = 0;
  while (pos != std::string::npos) {
    pos = path.find('/', pos + 1);
    partial = path.substr(0, pos);
    if (!partial.empty()) pw::host::mkdir(partial.c_str(), 0755);  // EEXIST is fine
  }
}

std::string defaultRoot() {
  if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg && *xdg == '/')
    return std::string(xdg) + "/pwexe/machine";
  const char* home = std::getenv("HOME");
  std::string h = home && *home ? home : "";
  if (h.empty()) {
    if (passwd* pw = ::getpwuid(::geteuid()); pw && pw->pw_dir) h = pw->pw_dir;
  }
  if (h.empty()) h = "/tmp";
  return h + "/.local/share/pwexe/machine";
}

std::string computeRoot() {
  const char* env = std::getenv("PW_MACHINE_ROOT");
  std::string r = env && *env ? env : defaultRoot();
  if (r[0] != '/') {
    char cwd[4096];
    if (pw::host::getcwd(cwd, sizeof cwd)) r = std::string(cwd) + "/" + r;
  }
  while (r.size() > 1 && r.back() == '/') r.pop_back();
  return r;
}

}  // namespace

const std::string& root() {
  static const std::string value = [] {
    std::string r = computeRoot();
    boot();
    return r;
  }();
  return value;
}

const std::string& userName() {
  static const std::string name = [] {
    if (passwd* pw = ::getpwuid(::geteuid()); pw && pw->pw_name) return std::string(pw->pw_name);
    return "uid" + std::to_string(::geteuid());
  }();
  return name;
}

std::string machineHivePath() { return root() + "/registry/machine.db"; }
std::string userHivePath() {
  // Named by the account's number, as Windows names a profile's hive by its SID: the
  // number needs no look-up in the user database, which every run would pay for.
  std::string path = root() + "/registry/user-" + std::to_string(::geteuid()) + ".db";
  struct stat st {};
  if (pw::host::stat(path.c_str(), &st) != 0 && errno == ENOENT) {
    // Earlier builds named the hive after the account; it moves over once.
    std::string old = root() + "/registry/user-" + userName() + ".db";
    if (old != path && pw::host::rename(old.c_str(), path.c_str()) == 0)
      pw::host::rename((old + "-wal").c_str(), (path + "-wal").c_str());
  }
  return path;
}

void boot() {
  // root() calls boot() once its value is known; compute it independently here so
  // that boot() can also be called directly.
  static const std::string r = computeRoot();
  struct stat st {};
  if (pw::host::stat((r + "/drive_c").c_str(), &st) == 0 &&
      pw::host::stat((r + "/registry").c_str(), &st) == 0)
    return;
  // The registry's folder comes last: a process that finds both folders finds the
  // system folder's programs too.
  makeDirs(r);
  pw::host::mkdir((r + "/drive_c").c_str(), 0755);
  pw::host::mkdir((r + "/drive_c/windows").c_str(), 0755);
  pw::host::mkdir((r + "/drive_c/windows/system32").c_str(), 0755);
  pw::host::mkdir((r + "/drive_c/users").c_str(), 0755);
  installSystemPrograms(r + "/drive_c/windows/system32");
  pw::host::mkdir((r + "/registry").c_str(), 0755);
}

}  // namespace pw::machine
