// Files and folders over POSIX calls, with Windows' answers: dispositions,
// ERROR_ALREADY_EXISTS on a successful open of an existing file, read-only files
// refused for writing and deleting, folders refused as files.
#include <windows.h>

#include "kernel32/handles.h"
#include "kernel32/paths.h"

#include <cerrno>
#include <fcntl.h>
#include <new>
#include <sys/stat.h>
#include <unistd.h>

using pw::kernel::FileObject;
using pw::paths::errorFromErrno;
using pw::paths::hostPath;

namespace {

BOOL fail(DWORD err) {
  SetLastError(err);
  return FALSE;
}

// A missing name whose folder is missing too is a missing path, as on Windows.
DWORD missingError(const std::string& host) {
  size_t cut = host.rfind('/');
  std::string parent = cut == 0 ? "/" : host.substr(0, cut);
  struct stat st{};
  if (::stat(parent.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return ERROR_PATH_NOT_FOUND;
  return ERROR_FILE_NOT_FOUND;
}

// Windows' read-only attribute is the owner's write bit here; it binds root too.
bool readOnly(const struct stat& st) { return (st.st_mode & S_IWUSR) == 0; }

}  // namespace

HANDLE WINAPI CreateFileA(LPCSTR name, DWORD access, DWORD, LPSECURITY_ATTRIBUTES,
                          DWORD disposition, DWORD flags, HANDLE) {
  if (!name) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return INVALID_HANDLE_VALUE;
  }
  std::string host;
  if (DWORD st = hostPath(name, &host)) {
    SetLastError(st);
    return INVALID_HANDLE_VALUE;
  }
  bool wantRead = access & (GENERIC_READ | GENERIC_ALL | FILE_READ_DATA);
  bool wantWrite = access & (GENERIC_WRITE | GENERIC_ALL | FILE_WRITE_DATA);
  bool wantAppend = (access & FILE_APPEND_DATA) && !wantWrite;
  int oflags = O_CLOEXEC;
  if ((wantWrite || wantAppend) && wantRead) oflags |= O_RDWR;
  else if (wantWrite || wantAppend) oflags |= O_WRONLY;
  else oflags |= O_RDONLY;
  if (wantAppend) oflags |= O_APPEND;

  struct stat st{};
  bool exists = ::stat(host.c_str(), &st) == 0;
  if (exists && S_ISDIR(st.st_mode)) {
    if (!(flags & FILE_FLAG_BACKUP_SEMANTICS) || disposition == CREATE_NEW ||
        disposition == CREATE_ALWAYS || disposition == TRUNCATE_EXISTING) {
      SetLastError(disposition == CREATE_NEW ? ERROR_FILE_EXISTS : ERROR_ACCESS_DENIED);
      return INVALID_HANDLE_VALUE;
    }
    oflags = O_RDONLY | O_DIRECTORY | O_CLOEXEC;
  } else if (exists && (wantWrite || wantAppend || disposition == CREATE_ALWAYS ||
                        disposition == TRUNCATE_EXISTING) &&
             readOnly(st) && disposition != CREATE_NEW) {
    SetLastError(ERROR_ACCESS_DENIED);
    return INVALID_HANDLE_VALUE;
  }
  switch (disposition) {
    case CREATE_NEW: oflags |= O_CREAT | O_EXCL; break;
    case CREATE_ALWAYS: oflags |= O_CREAT | O_TRUNC; break;
    case OPEN_EXISTING: break;
    case OPEN_ALWAYS: oflags |= O_CREAT; break;
    case TRUNCATE_EXISTING:
      if (!wantWrite) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
      }
      oflags |= O_TRUNC;
      break;
    default: SetLastError(ERROR_INVALID_PARAMETER); return INVALID_HANDLE_VALUE;
  }
  if (S_ISDIR(st.st_mode) && exists) oflags &= ~(O_CREAT | O_TRUNC);
  mode_t mode = (flags & FILE_ATTRIBUTE_READONLY) ? 0444 : 0666;
  int fd = ::open(host.c_str(), oflags, mode);
  if (fd < 0) {
    int err = errno;
    DWORD code = err == ENOENT ? missingError(host)
                 : err == EEXIST ? DWORD(ERROR_FILE_EXISTS)
                                 : errorFromErrno(err);
    SetLastError(code);
    return INVALID_HANDLE_VALUE;
  }
  auto* object = new (std::nothrow) FileObject;
  if (!object) {
    ::close(fd);
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return INVALID_HANDLE_VALUE;
  }
  object->fd = fd;
  bool existed = exists && (disposition == OPEN_ALWAYS || disposition == CREATE_ALWAYS);
  SetLastError(existed ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
  return pw::kernel::registerObject(object);
}

BOOL WINAPI ReadFile(HANDLE h, LPVOID buffer, DWORD toRead, LPDWORD read, void*) {
  auto* f = pw::kernel::objectFor<FileObject>(h);
  if (!f) return fail(ERROR_INVALID_HANDLE);
  if (read) *read = 0;
  if (!buffer && toRead) return fail(ERROR_NOACCESS);
  size_t done = 0;
  while (done < toRead) {
    ssize_t n = ::read(f->fd, static_cast<char*>(buffer) + done, toRead - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      return fail(errno == EISDIR ? DWORD(ERROR_INVALID_FUNCTION) : errorFromErrno(errno));
    }
    if (n == 0) break;
    done += size_t(n);
  }
  if (read) *read = DWORD(done);
  return TRUE;
}

BOOL WINAPI WriteFile(HANDLE h, LPCVOID buffer, DWORD toWrite, LPDWORD written, void*) {
  auto* f = pw::kernel::objectFor<FileObject>(h);
  if (!f) return fail(ERROR_INVALID_HANDLE);
  if (written) *written = 0;
  size_t done = 0;
  while (done < toWrite) {
    ssize_t n = ::write(f->fd, static_cast<const char*>(buffer) + done, toWrite - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      return fail(errno == EBADF ? DWORD(ERROR_ACCESS_DENIED) : errorFromErrno(errno));
    }
    done += size_t(n);
  }
  if (written) *written = DWORD(done);
  return TRUE;
}

DWORD WINAPI SetFilePointer(HANDLE h, LONG distance, PLONG high, DWORD method) {
  auto* f = pw::kernel::objectFor<FileObject>(h);
  if (!f) {
    SetLastError(ERROR_INVALID_HANDLE);
    return INVALID_SET_FILE_POINTER;
  }
  off_t offset = high ? off_t((uint64_t(uint32_t(*high)) << 32) | uint32_t(distance)) : distance;
  int whence = method == FILE_BEGIN ? SEEK_SET : method == FILE_CURRENT ? SEEK_CUR : SEEK_END;
  off_t pos = ::lseek(f->fd, offset, whence);
  if (pos < 0) {
    SetLastError(ERROR_NEGATIVE_SEEK);
    return INVALID_SET_FILE_POINTER;
  }
  if (high) *high = LONG(uint64_t(pos) >> 32);
  SetLastError(ERROR_SUCCESS);
  return DWORD(pos);
}

DWORD WINAPI GetFileSize(HANDLE h, LPDWORD high) {
  auto* f = pw::kernel::objectFor<FileObject>(h);
  struct stat st{};
  if (!f || ::fstat(f->fd, &st) != 0) {
    SetLastError(ERROR_INVALID_HANDLE);
    return INVALID_FILE_SIZE;
  }
  if (high) *high = DWORD(uint64_t(st.st_size) >> 32);
  SetLastError(ERROR_SUCCESS);
  return DWORD(st.st_size);
}

BOOL WINAPI DeleteFileA(LPCSTR name) {
  if (!name) return fail(ERROR_INVALID_PARAMETER);
  std::string host;
  if (DWORD st = hostPath(name, &host)) return fail(st);
  struct stat st{};
  if (::lstat(host.c_str(), &st) != 0) return fail(missingError(host));
  if (S_ISDIR(st.st_mode) || readOnly(st)) return fail(ERROR_ACCESS_DENIED);
  if (::unlink(host.c_str()) != 0) return fail(errorFromErrno(errno));
  return TRUE;
}

BOOL WINAPI CreateDirectoryA(LPCSTR name, LPSECURITY_ATTRIBUTES) {
  if (!name) return fail(ERROR_INVALID_PARAMETER);
  std::string host;
  if (DWORD st = hostPath(name, &host)) return fail(st);
  if (::mkdir(host.c_str(), 0777) != 0) {
    int err = errno;
    return fail(err == ENOENT ? DWORD(ERROR_PATH_NOT_FOUND) : errorFromErrno(err));
  }
  return TRUE;
}

BOOL WINAPI RemoveDirectoryA(LPCSTR name) {
  if (!name) return fail(ERROR_INVALID_PARAMETER);
  std::string host;
  if (DWORD st = hostPath(name, &host)) return fail(st);
  if (::rmdir(host.c_str()) != 0) {
    int err = errno;
    return fail(err == ENOTDIR ? DWORD(ERROR_DIRECTORY)
                : err == ENOENT ? missingError(host)
                                : errorFromErrno(err));
  }
  return TRUE;
}

DWORD WINAPI GetFileAttributesA(LPCSTR name) {
  std::string host;
  if (!name) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return INVALID_FILE_ATTRIBUTES;
  }
  if (DWORD st = hostPath(name, &host)) {
    SetLastError(st);
    return INVALID_FILE_ATTRIBUTES;
  }
  struct stat st{};
  if (::stat(host.c_str(), &st) != 0) {
    SetLastError(errno == ENOENT ? missingError(host) : errorFromErrno(errno));
    return INVALID_FILE_ATTRIBUTES;
  }
  DWORD attrs = S_ISDIR(st.st_mode) ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_ARCHIVE;
  if (readOnly(st)) attrs |= FILE_ATTRIBUTE_READONLY;
  return attrs;
}

BOOL WINAPI SetCurrentDirectoryA(LPCSTR name) {
  if (!name) return fail(ERROR_INVALID_PARAMETER);
  std::string full, host;
  if (DWORD st = pw::paths::fullPath(name, &full)) return fail(st);
  if (DWORD st = hostPath(full, &host)) return fail(st);
  struct stat st{};
  if (::stat(host.c_str(), &st) != 0) return fail(missingError(host));
  if (!S_ISDIR(st.st_mode)) return fail(ERROR_DIRECTORY);
  if (::chdir(host.c_str()) != 0) return fail(errorFromErrno(errno));
  pw::paths::setCurrentDirectory(full);
  return TRUE;
}

DWORD WINAPI GetCurrentDirectoryA(DWORD size, LPSTR buffer) {
  const std::string& cur = pw::paths::currentDirectory();
  if (!buffer || size <= cur.size()) return DWORD(cur.size() + 1);
  std::copy(cur.begin(), cur.end(), buffer);
  buffer[cur.size()] = '\0';
  return DWORD(cur.size());
}

DWORD WINAPI GetFullPathNameA(LPCSTR name, DWORD size, LPSTR buffer, LPSTR* filePart) {
  if (!name) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  std::string full;
  if (DWORD st = pw::paths::fullPath(name, &full)) {
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
}
