// CreateProcessA: the program found as Windows finds it and started as a host
// process, with the arguments a Windows C runtime would make of the command line,
// this program's environment and the current folder (or the one given), both in
// their host form. A started program is independent of this one: it gets a session
// of its own, so nothing that stops this program's process group stops it.
#include <windows.h>

#include "kernel32/child_process.h"
#include "kernel32/command_line.h"
#include "kernel32/file_object.h"
#include "kernel32/paths.h"
#include "machine/codepage.h"
#include "machine/drives.h"
#include "machine/faults.h"
#include "machine/guard.h"
#include "machine/host_calls.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstring>
#include <new>
#include <vector>

extern char** environ;

using pw::kernel::ChildProcess;
using pw::kernel::FileObject;

namespace {

constexpr DWORD kHandledFlags = CREATE_NO_WINDOW | DETACHED_PROCESS | CREATE_NEW_CONSOLE;
constexpr const char* kEnvironmentKey =
    "System\\CurrentControlSet\\Control\\Session Manager\\Environment";
constexpr const char* kDefaultPath =
    "%SystemRoot%\\system32;%SystemRoot%;%SystemRoot%\\System32\\Wbem";
constexpr const char* kSystemRoot = "C:\\windows";

bool isSep(char c) { return c == '\\' || c == '/'; }

// A name with a drive, a leading separator or a leading "." or ".." names one
// place; any other name is looked for along the search path.
bool namesOnePlace(const std::string& name) {
  if (name.empty()) return false;
  if (isSep(name[0]) || (name.size() >= 2 && name[1] == ':')) return true;
  if (name[0] != '.') return false;
  size_t dots = name.size() >= 2 && name[1] == '.' ? 2 : 1;
  return name.size() == dots || isSep(name[dots]);
}

bool hasExtension(const std::string& name) {
  size_t dot = name.rfind('.');
  if (dot == std::string::npos) return false;
  size_t sep = name.find_last_of("\\/");
  return sep == std::string::npos || dot > sep;
}

// %SystemRoot%, %windir% and %SystemDrive% expanded; other references stay as
// written, as ExpandEnvironmentStrings leaves unknown names.
std::string expandSystemNames(const std::string& text) {
  std::string out;
  for (size_t i = 0; i < text.size();) {
    size_t end = text[i] == '%' ? text.find('%', i + 1) : std::string::npos;
    if (end == std::string::npos) {
      out += text[i++];
      continue;
    }
    std::string name = pw::codepage::foldAnsi(text.substr(i + 1, end - i - 1));
    if (name == "SYSTEMROOT" || name == "WINDIR")
      out += kSystemRoot;
    else if (name == "SYSTEMDRIVE")
      out += "C:";
    else
      out += text.substr(i, end - i + 1);
    i = end + 1;
  }
  return out;
}

// The machine's PATH, as Windows keeps it for every process it starts.
std::string machinePath() {
  std::string path = kDefaultPath;
  HKEY key;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kEnvironmentKey, 0, KEY_READ, &key) == ERROR_SUCCESS) {
    std::vector<char> data(32768);
    DWORD type = 0, size = DWORD(data.size() - 1);
    if (RegQueryValueExA(key, "Path", nullptr, &type, reinterpret_cast<BYTE*>(data.data()),
                         &size) == ERROR_SUCCESS &&
        (type == REG_SZ || type == REG_EXPAND_SZ))
      path.assign(data.data(), strnlen(data.data(), size));
    RegCloseKey(key);
  }
  return expandSystemNames(path);
}

// The Windows form of this program's folder, on drive c: or z:.
std::string applicationFolder() {
  char buf[PATH_MAX];
  ssize_t n = pw::host::readlink("/proc/self/exe", buf, sizeof buf - 1);
  if (n <= 0) return "";
  std::string host(buf, size_t(n));
  host.erase(host.rfind('/'));
  const std::string c = pw::machine::systemDriveFolder();
  std::string win = host.rfind(c, 0) == 0 && (host.size() == c.size() || host[c.size()] == '/')
                        ? "C:" + host.substr(c.size())
                        : "Z:" + host;
  for (char& ch : win)
    if (ch == '/') ch = '\\';
  return pw::codepage::utf8ToAnsi(win);
}

// The folders searched for a program named without a place: this program's folder,
// the current folder, the system folders, then the machine's PATH.
std::vector<std::string> searchFolders() {
  std::vector<std::string> dirs;
  if (std::string app = applicationFolder(); !app.empty()) dirs.push_back(app);
  for (const char* dir : {".", "C:\\windows\\system32", "C:\\windows\\system", kSystemRoot})
    dirs.emplace_back(dir);
  std::string path = machinePath();
  for (size_t i = 0; i <= path.size();) {
    size_t end = path.find(';', i);
    if (end == std::string::npos) end = path.size();
    if (end > i) dirs.push_back(path.substr(i, end - i));
    i = end + 1;
  }
  return dirs;
}

// Finds a program as CreateProcess does: along the search path with ".exe" added
// to a name without an extension, then as written (a host program has no
// extension). The first existing entry is taken; a folder there is no program.
bool findProgram(const std::string& name, std::string* host) {
  if (name.empty()) return false;
  std::vector<std::string> places;
  if (namesOnePlace(name)) {
    places.push_back("");
  } else {
    places = searchFolders();
  }
  const std::string suffixes[] = {hasExtension(name) ? "" : ".exe", ""};
  for (int pass = hasExtension(name) ? 1 : 0; pass < 2; ++pass) {
    for (const std::string& dir : places) {
      std::string candidate = dir.empty() ? name : dir + "\\" + name;
      candidate += suffixes[pass];
      std::string found;
      struct stat st {};
      if (pw::paths::hostPath(candidate, &found) != ERROR_SUCCESS ||
          pw::host::stat(found.c_str(), &st) != 0)
        continue;
      if (!S_ISREG(st.st_mode)) return false;
      *host = std::move(found);
      return true;
    }
  }
  return false;
}

DWORD spawnError(int err) {
  switch (err) {
    case ENOEXEC:
      return ERROR_BAD_EXE_FORMAT;
    case EACCES:
    case EPERM:
      return ERROR_ACCESS_DENIED;
    case ENOENT:
      return ERROR_FILE_NOT_FOUND;
    case ENOMEM:
    case EAGAIN:
      return ERROR_NOT_ENOUGH_MEMORY;
    default:
      return pw::paths::errorFromErrno(err);
  }
}

// The host environment for the child: this program's own, or an ANSI block
// ("NAME=value\0...\0\0") given by the caller.
std::vector<std::string> environmentFrom(const char* block) {
  std::vector<std::string> env;
  if (!block) {
    for (char** e = environ; *e; ++e) env.emplace_back(*e);
    return env;
  }
  for (const char* p = block; *p; p += std::strlen(p) + 1)
    env.push_back(pw::codepage::ansiToUtf8(p));
  return env;
}

std::vector<char*> pointers(std::vector<std::string>& strings) {
  std::vector<char*> out;
  for (auto& s : strings) out.push_back(s.data());
  out.push_back(nullptr);
  return out;
}

// Standard handles for the child, each duplicated to a descriptor of its own so
// that the child's 0, 1 and 2 can be laid out in any order.
class StandardHandles {
 public:
  ~StandardHandles() {
    for (int fd : fds_)
      if (fd >= 0) pw::host::close(fd);
  }
  // A handle the child may have: one that is inheritable, inherited, and open.
  bool set(int slot, HANDLE h, BOOL inherit) {
    auto* file = pw::handles::objectFor<FileObject>(h);
    if (!file || !inherit || !file->inheritable) return true;
    fds_[slot] = pw::host::fcntl(file->fd, F_DUPFD_CLOEXEC, 10);
    return fds_[slot] >= 0;
  }
  // A slot without a handle holds a descriptor that refuses reading and writing
  // (O_PATH), as a missing standard handle refuses them on Windows; a closed slot
  // would be taken by the program's next open, and its diagnostics would land there.
  void addTo(posix_spawn_file_actions_t* actions) const {
    for (int slot = 0; slot < 3; ++slot) {
      if (fds_[slot] >= 0)
        posix_spawn_file_actions_adddup2(actions, fds_[slot], slot);
      else
        posix_spawn_file_actions_addopen(actions, slot, "/", O_PATH, 0);
    }
  }

 private:
  int fds_[3] = {-1, -1, -1};
};

class SpawnSetup {
 public:
  SpawnSetup() {
    posix_spawn_file_actions_init(&actions);
    posix_spawnattr_init(&attr);
  }
  ~SpawnSetup() {
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attr);
  }
  posix_spawn_file_actions_t actions;
  posix_spawnattr_t attr;
};

}  // namespace

BOOL WINAPI CreateProcessA(LPCSTR applicationName, LPSTR commandLine, LPSECURITY_ATTRIBUTES,
                           LPSECURITY_ATTRIBUTES, BOOL inheritHandles, DWORD flags,
                           LPVOID environment, LPCSTR currentDirectory, LPSTARTUPINFOA startup,
                           LPPROCESS_INFORMATION info) {
  if (!startup || !info || (!applicationName && !commandLine))
    return pw::fail(ERROR_INVALID_PARAMETER);
  if ((flags & DETACHED_PROCESS) && (flags & CREATE_NEW_CONSOLE))
    return pw::fail(ERROR_INVALID_PARAMETER);
  if (flags & ~kHandledFlags) return pw::fail(ERROR_NOT_SUPPORTED);
  if (auto fault = pw::faults::injected(pw::faults::Point::CreateProcessA)) return pw::fail(*fault);
  return pw::guarded(FALSE, ERROR_NOT_ENOUGH_MEMORY, [&]() -> BOOL {
    // The program: the application name as given, or the first name of the command
    // line that exists, trying the words before each blank in turn.
    std::string line = commandLine ? commandLine : applicationName;
    std::string program;
    if (applicationName) {
      struct stat st {};
      if (pw::paths::hostPath(applicationName, &program) != ERROR_SUCCESS ||
          pw::host::stat(program.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
        return pw::fail(ERROR_FILE_NOT_FOUND);
    } else {
      bool found = false;
      auto candidates = pw::kernel::programCandidates(line);
      for (size_t i = 0; i < candidates.size() && !found; ++i) {
        if (!findProgram(candidates[i].name, &program)) continue;
        found = true;
        // A name found only with its blanks is quoted, so that the arguments begin after it.
        if (i > 0 && !candidates[i].quoted)
          line = "\"" + candidates[i].name + "\"" + line.substr(candidates[i].end);
      }
      if (!found) return pw::fail(ERROR_FILE_NOT_FOUND);
    }

    std::string folder, hostFolder;
    if (DWORD st = pw::paths::fullPath(
            currentDirectory ? currentDirectory : pw::paths::currentDirectory().c_str(), &folder))
      return pw::fail(st == ERROR_INVALID_NAME ? DWORD(ERROR_DIRECTORY) : st);
    struct stat st {};
    if (pw::paths::hostPath(folder, &hostFolder) != ERROR_SUCCESS ||
        pw::host::stat(hostFolder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
      return pw::fail(ERROR_DIRECTORY);

    std::vector<std::string> args;
    for (const std::string& a : pw::kernel::splitCommandLine(line))
      args.push_back(pw::codepage::ansiToUtf8(a));
    std::vector<std::string> env = environmentFrom(static_cast<const char*>(environment));
    auto argv = pointers(args);
    auto envp = pointers(env);

    SpawnSetup setup;
    StandardHandles standard;
    if (startup->dwFlags & STARTF_USESTDHANDLES) {
      if (!standard.set(0, startup->hStdInput, inheritHandles) ||
          !standard.set(1, startup->hStdOutput, inheritHandles) ||
          !standard.set(2, startup->hStdError, inheritHandles))
        return pw::fail(ERROR_NOT_ENOUGH_MEMORY);
      standard.addTo(&setup.actions);
    }
#if defined(__GLIBC__) && (__GLIBC__ > 2 || (__GLIBC__ == 2 && __GLIBC_MINOR__ >= 34))
    posix_spawn_file_actions_addclosefrom_np(&setup.actions, 3);
#endif
    posix_spawn_file_actions_addchdir_np(&setup.actions, hostFolder.c_str());
    sigset_t none, all;
    sigemptyset(&none);
    sigfillset(&all);
    posix_spawnattr_setsigmask(&setup.attr, &none);
    posix_spawnattr_setsigdefault(&setup.attr, &all);
    posix_spawnattr_setflags(&setup.attr,
                             POSIX_SPAWN_SETSID | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);

    // The handles exist before the program does, so that a program never runs
    // without them.
    auto child = std::make_shared<ChildProcess>();
    auto process = std::make_unique<pw::kernel::ProcessObject>();
    auto thread = std::make_unique<pw::kernel::ThreadObject>();
    process->child = child;
    thread->child = child;
    HANDLE hProcess = pw::handles::addObject<HANDLE>(std::move(process));
    HANDLE hThread = hProcess ? pw::handles::addObject<HANDLE>(std::move(thread)) : nullptr;
    pid_t pid = 0;
    int err = hThread ? pw::host::posix_spawn(&pid, program.c_str(), &setup.actions, &setup.attr,
                                              argv.data(), envp.data())
                      : ENOMEM;
    if (err) {
      if (hProcess) pw::handles::destroyObject(hProcess);
      if (hThread) pw::handles::destroyObject(hThread);
      return pw::fail(spawnError(err));
    }
    child->started(pid, pw::host::pidfd_open(pid, 0));
    info->hProcess = hProcess;
    info->hThread = hThread;
    info->dwProcessId = DWORD(pid);
    info->dwThreadId = DWORD(pid);
    return TRUE;
  });
}
