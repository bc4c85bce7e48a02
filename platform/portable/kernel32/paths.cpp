#include "kernel32/paths.h"

#include <pwplatform.h>

#include "machine/codepage.h"
#include "machine/drives.h"
#include "machine/guard.h"
#include "machine/host_calls.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <cstring>
#include <map>
#include <vector>

namespace pw::paths {
namespace {

bool isSep(char c) { return c == '\\' || c == '/'; }
bool isLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
char upper(char c) { return (c >= 'a' && c <= 'z') ? char(c - 32) : c; }

std::string initialDirectory() {
  char buf[4096];
  std::string cwd = pw::host::getcwd(buf, sizeof buf) ? buf : "/";
  const std::string c = pw::machine::systemDriveFolder();
  std::string win;
  if (cwd == c || cwd.rfind(c + "/", 0) == 0)
    win = "C:\\" + cwd.substr(std::min(cwd.size(), c.size() + 1));
  else
    win = "Z:\\" + cwd.substr(1);
  for (auto& ch : win)
    if (ch == '/') ch = '\\';
  win = codepage::utf8ToAnsi(win);
  if (win.size() > 3 && win.back() == '\\') win.pop_back();
  return win;
}

std::string& current() {
  static std::string dir = initialDirectory();
  return dir;
}

// Folds the names of an absolute path; `root` is "X:" and `names` the rest.
DWORD normalise(const std::string& root, std::string_view rest, std::string* full) {
  std::vector<std::string> names;
  size_t i = 0;
  while (i < rest.size()) {
    while (i < rest.size() && isSep(rest[i])) ++i;
    size_t j = i;
    while (j < rest.size() && !isSep(rest[j])) ++j;
    std::string name(rest.substr(i, j - i));
    i = j;
    if (name.empty() || name == ".") continue;
    if (name == "..") {
      if (!names.empty()) names.pop_back();
      continue;
    }
    while (!name.empty() && (name.back() == '.' || name.back() == ' ')) name.pop_back();
    if (name.empty()) continue;
    names.push_back(std::move(name));
  }
  std::string out = root + "\\";
  for (size_t k = 0; k < names.size(); ++k) {
    if (k) out += '\\';
    out += names[k];
  }
  // A path that ends in a separator keeps it, as GetFullPathName does.
  if (!names.empty() && !rest.empty() && isSep(rest.back())) out += '\\';
  *full = std::move(out);
  return ERROR_SUCCESS;
}

bool validName(std::string_view path) {
  for (size_t i = 0; i < path.size(); ++i) {
    unsigned char c = path[i];
    if (c < 32 || c == '<' || c == '>' || c == '"' || c == '|' || c == '?' || c == '*')
      return false;
    if (c == ':' && i != 1) return false;
  }
  return true;
}

std::u16string foldHost(std::string_view utf8) {
  std::u16string w = codepage::utf8ToUtf16(utf8);
  for (auto& c : w) c = codepage::upcase(c);
  return w;
}

// The entry of `dir` whose name matches `name` without regard to case.
bool findEntry(const std::string& dir, const std::string& name, std::string* found) {
  struct stat st {};
  if (pw::host::lstat((dir + "/" + name).c_str(), &st) == 0) {
    *found = name;
    return true;
  }
  DIR* d = pw::host::opendir(dir.empty() ? "/" : dir.c_str());
  if (!d) return false;
  std::u16string want = foldHost(name);
  bool ok = false;
  while (dirent* e = pw::host::readdir(d)) {
    if (foldHost(e->d_name) == want) {
      *found = e->d_name;
      ok = true;
      break;
    }
  }
  pw::host::closedir(d);
  return ok;
}

}  // namespace

DWORD fullPath(std::string_view path, std::string* full) {
  if (path.empty()) return ERROR_PATH_NOT_FOUND;
  if (!validName(path)) return ERROR_INVALID_NAME;
  if (path.size() >= 2 && isSep(path[0]) && isSep(path[1])) return ERROR_BAD_PATHNAME;  // UNC
  const std::string& cur = current();
  std::string root, rest;
  if (path.size() >= 2 && isLetter(path[0]) && path[1] == ':') {
    // The drive letter keeps the case it was given, as GetFullPathName does; a path
    // relative to the current drive takes the current directory's form.
    root = {path[0], ':'};
    std::string_view tail = path.substr(2);
    if (!tail.empty() && isSep(tail[0])) {
      rest = tail;
    } else if (upper(cur[0]) == upper(root[0])) {
      root = cur.substr(0, 2);
      rest = cur.substr(2) + "\\" + std::string(tail);
    } else {
      rest = "\\" + std::string(tail);  // another drive's current directory is its root
    }
  } else if (isSep(path[0])) {
    root = cur.substr(0, 2);
    rest = path;
  } else {
    root = cur.substr(0, 2);
    rest = cur.substr(2) + "\\" + std::string(path);
  }
  DWORD st = normalise(root, rest, full);
  if (st == ERROR_SUCCESS && full->size() >= MAX_PATH) return ERROR_FILENAME_EXCED_RANGE;
  return st;
}

DWORD hostPath(std::string_view path, std::string* host) {
  std::string full;
  if (DWORD st = fullPath(path, &full)) return st;
  std::string out;
  if (!pw::machine::driveFolder(full[0], &out)) return ERROR_PATH_NOT_FOUND;
  std::vector<std::string> names;
  for (size_t i = 3; i < full.size();) {
    size_t j = full.find('\\', i);
    if (j == std::string::npos) j = full.size();
    if (j > i) names.push_back(codepage::ansiToUtf8(std::string_view(full).substr(i, j - i)));
    i = j + 1;
  }
  for (size_t k = 0; k < names.size(); ++k) {
    std::string found;
    if (findEntry(out, names[k], &found)) {
      out += "/" + found;
      continue;
    }
    if (k + 1 < names.size()) return ERROR_PATH_NOT_FOUND;
    out += "/" + names[k];
  }
  if (out.empty()) out = "/";
  *host = std::move(out);
  return ERROR_SUCCESS;
}

// A missing name whose folder is missing too is a missing path, as on Windows.
DWORD missingError(const std::string& host) {
  size_t cut = host.rfind('/');
  std::string parent = cut == 0 ? "/" : host.substr(0, cut);
  struct stat st {};
  if (pw::host::stat(parent.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return ERROR_PATH_NOT_FOUND;
  return ERROR_FILE_NOT_FOUND;
}

const std::string& currentDirectory() { return current(); }

void setCurrentDirectory(std::string full) {
  if (full.size() > 3 && full.back() == '\\') full.pop_back();
  current() = std::move(full);
}

DWORD errorFromErrno(int err) {
  switch (err) {
    case 0:
      return ERROR_SUCCESS;
    case ENOENT:
      return ERROR_FILE_NOT_FOUND;
    case ENOTDIR:
      return ERROR_PATH_NOT_FOUND;
    case EACCES:
    case EPERM:
    case EISDIR:
    case EROFS:
      return ERROR_ACCESS_DENIED;
    case EEXIST:
      return ERROR_ALREADY_EXISTS;
    case ENAMETOOLONG:
      return ERROR_FILENAME_EXCED_RANGE;
    case ENOSPC:
      return ERROR_DISK_FULL;
    case EIO:
      return ERROR_IO_DEVICE;
    case ENOMEM:
      return ERROR_NOT_ENOUGH_MEMORY;
    case ENOTEMPTY:
      return ERROR_DIR_NOT_EMPTY;
    case EBADF:
      return ERROR_INVALID_HANDLE;
    default:
      return ERROR_INVALID_FUNCTION;
  }
}

}  // namespace pw::paths

// ---- the exported path functions ----

BOOL WINAPI SetCurrentDirectoryA(LPCSTR name) {
  return pw::guarded(FALSE, ERROR_NOT_ENOUGH_MEMORY, [&]() -> BOOL {
    if (!name) return pw::fail(ERROR_INVALID_PARAMETER);
    std::string full, host;
    if (DWORD st = pw::paths::fullPath(name, &full)) return pw::fail(st);
    if (DWORD st = pw::paths::hostPath(full, &host)) return pw::fail(st);
    struct stat st {};
    if (pw::host::stat(host.c_str(), &st) != 0) return pw::fail(pw::paths::missingError(host));
    if (!S_ISDIR(st.st_mode)) return pw::fail(ERROR_DIRECTORY);
    if (pw::host::chdir(host.c_str()) != 0) return pw::fail(pw::paths::errorFromErrno(errno));
    pw::paths::setCurrentDirectory(full);
    return TRUE;
  });
}

DWORD WINAPI GetCurrentDirectoryA(DWORD size, LPSTR buffer) {
  return pw::guarded(DWORD(0), ERROR_NOT_ENOUGH_MEMORY, [&]() -> DWORD {
    const std::string& cur = pw::paths::currentDirectory();
    if (!buffer || size <= cur.size()) return DWORD(cur.size() + 1);
    std::copy(cur.begin(), cur.end(), buffer);
    buffer[cur.size()] = '\0';
    return DWORD(cur.size());
  });
}

DWORD WINAPI GetFullPathNameA(LPCSTR name, DWORD size, LPSTR buffer, LPSTR* filePart) {
  return pw::guarded(DWORD(0), ERROR_NOT_ENOUGH_MEMORY, [&]() -> DWORD {
    std::string full;
    DWORD st = name ? pw::paths::fullPath(name, &full) : DWORD(ERROR_INVALID_PARAMETER);
    if (st) {
      SetLastError(st);
      return 0;
    }
    if (!buffer || size <= full.size()) return DWORD(full.size() + 1);
    std::copy(full.begin(), full.end(), buffer);
    buffer[full.size()] = '\0';
    if (filePart) {
      size_t cut = full.rfind('\\');
      *filePart = (cut == std::string::npos || cut + 1 == full.size()) ? nullptr : buffer + cut + 1;
    }
    return DWORD(full.size());
  });
}

DWORD WINAPI PwGetHostPathA(LPCSTR path, LPSTR buffer, DWORD size) {
  return pw::guarded(DWORD(0), ERROR_NOT_ENOUGH_MEMORY, [&]() -> DWORD {
    std::string host;
    DWORD st = path ? pw::paths::hostPath(path, &host) : DWORD(ERROR_INVALID_PARAMETER);
    if (st) {
      SetLastError(st);
      return 0;
    }
    if (!buffer || size <= host.size()) return DWORD(host.size() + 1);
    std::copy(host.begin(), host.end(), buffer);
    buffer[host.size()] = '\0';
    return DWORD(host.size());
  });
}
