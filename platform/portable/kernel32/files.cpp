// Files and folders over POSIX calls, with Windows' answers: dispositions,
// ERROR_ALREADY_EXISTS on a successful open of an existing file, read-only files
// refused for writing and deleting, folders refused as files. Only regular files and
// folders open at all: a FIFO, socket or device of the host is what Windows shows for
// such a file on its own disks (a reparse point of a kind it does not handle), which
// no open reaches (ERROR_CANT_ACCESS_FILE), and no open ever waits for a FIFO's other
// end. The functions that build paths run inside the guard; the ones that only make
// system calls cannot raise.
#include <windows.h>

#include "kernel32/file_object.h"
#include "kernel32/paths.h"
#include "kernel32/share_modes.h"
#include "machine/faults.h"
#include "machine/guard.h"
#include "machine/host_calls.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <new>

using pw::faults::injected;
using pw::faults::Point;
using pw::kernel::FileObject;
using pw::paths::errorFromErrno;
using pw::paths::hostPath;

namespace {

// Reads or writes `size` bytes with `call(done)`, again where a signal interrupted it;
// a read stops at the end of the file. The bytes moved, or -1 with errno set.
template <class Call>
ssize_t whole(size_t size, Call call) {
  size_t done = 0;
  while (done < size) {
    ssize_t n = call(done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return -1;
    if (n == 0) break;
    done += size_t(n);
  }
  return ssize_t(done);
}

// Windows' read-only attribute is the owner's write bit here; it binds root too.
bool readOnly(const struct stat& st) { return (st.st_mode & S_IWUSR) == 0; }

// What a file handle may stand for: a regular file or a folder.
bool openable(const struct stat& st) { return S_ISREG(st.st_mode) || S_ISDIR(st.st_mode); }

}  // namespace

HANDLE WINAPI CreateFileA(LPCSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                          DWORD disposition, DWORD flags, HANDLE) {
  if (auto fault = injected(Point::CreateFileA)) {
    SetLastError(*fault);
    return INVALID_HANDLE_VALUE;
  }
  return pw::guarded(INVALID_HANDLE_VALUE, ERROR_NOT_ENOUGH_MEMORY, [&]() -> HANDLE {
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
    if ((wantWrite || wantAppend) && wantRead)
      oflags |= O_RDWR;
    else if (wantWrite || wantAppend)
      oflags |= O_WRONLY;
    else
      oflags |= O_RDONLY;
    if (wantAppend) oflags |= O_APPEND;

    struct stat st {};
    bool exists = pw::host::stat(host.c_str(), &st) == 0;
    if (exists && !openable(st)) {
      SetLastError(ERROR_CANT_ACCESS_FILE);
      return INVALID_HANDLE_VALUE;
    }
    if (exists && S_ISDIR(st.st_mode)) {
      if (!(flags & FILE_FLAG_BACKUP_SEMANTICS) || disposition == CREATE_NEW ||
          disposition == CREATE_ALWAYS || disposition == TRUNCATE_EXISTING) {
        SetLastError(disposition == CREATE_NEW ? ERROR_FILE_EXISTS : ERROR_ACCESS_DENIED);
        return INVALID_HANDLE_VALUE;
      }
      oflags = O_RDONLY | O_DIRECTORY | O_CLOEXEC;
    } else if (exists &&
               (wantWrite || wantAppend || disposition == CREATE_ALWAYS ||
                disposition == TRUNCATE_EXISTING) &&
               readOnly(st) && disposition != CREATE_NEW) {
      SetLastError(ERROR_ACCESS_DENIED);
      return INVALID_HANDLE_VALUE;
    }
    switch (disposition) {
      case CREATE_NEW:
        oflags |= O_CREAT | O_EXCL;
        break;
      case CREATE_ALWAYS:
        oflags |= O_CREAT | O_TRUNC;
        break;
      case OPEN_EXISTING:
        break;
      case OPEN_ALWAYS:
        oflags |= O_CREAT;
        break;
      case TRUNCATE_EXISTING:
        if (!wantWrite) {
          SetLastError(ERROR_INVALID_PARAMETER);
          return INVALID_HANDLE_VALUE;
        }
        oflags |= O_TRUNC;
        break;
      default:
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    if (S_ISDIR(st.st_mode) && exists) oflags &= ~(O_CREAT | O_TRUNC);
    mode_t mode = (flags & FILE_ATTRIBUTE_READONLY) ? 0444 : 0666;
    // The file is emptied only once its share modes allow this handle; a handle for
    // writing reads too where it can, so that it can carry its share-mode marks.
    bool truncate = oflags & O_TRUNC;
    oflags &= ~O_TRUNC;
    // A FIFO put in the file's place since the stat above must not hold the open up:
    // O_NONBLOCK opens it at once, and the fstat below refuses it. On regular files
    // and folders the flag changes nothing.
    oflags |= O_NONBLOCK;
    auto object = std::make_unique<FileObject>();  // before the descriptor, which it then owns
    if ((oflags & O_ACCMODE) == O_WRONLY)
      object->fd = pw::host::open(host.c_str(), (oflags & ~O_WRONLY) | O_RDWR, mode);
    if (object->fd < 0) object->fd = pw::host::open(host.c_str(), oflags, mode);
    int fd = object->fd;
    if (fd < 0) {
      int err = errno;
      DWORD code = err == ENOENT   ? pw::paths::missingError(host)
                   : err == EEXIST ? DWORD(ERROR_FILE_EXISTS)
                   : err == ENXIO  ? DWORD(ERROR_CANT_ACCESS_FILE)  // a FIFO with no reader
                                   : errorFromErrno(err);
      SetLastError(code);
      return INVALID_HANDLE_VALUE;
    }
    struct stat opened {};
    if (pw::host::fstat(fd, &opened) != 0 || !openable(opened)) {
      SetLastError(ERROR_CANT_ACCESS_FILE);
      return INVALID_HANDLE_VALUE;  // the object closes the descriptor
    }
    if (!(oflags & O_DIRECTORY)) {
      DWORD st = pw::kernel::markShareMode(fd, access, share);
      if (st == ERROR_SUCCESS && truncate && pw::host::ftruncate(fd, 0) != 0)
        st = errorFromErrno(errno);
      if (st != ERROR_SUCCESS) {
        SetLastError(st);
        return INVALID_HANDLE_VALUE;
      }
    }
    object->inheritable = security && security->bInheritHandle;
    object->readable = wantRead;
    bool existed = exists && (disposition == OPEN_ALWAYS || disposition == CREATE_ALWAYS);
    SetLastError(existed ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
    HANDLE handle = pw::handles::addObject<HANDLE>(std::move(object));
    if (!handle) {
      SetLastError(ERROR_NOT_ENOUGH_MEMORY);
      return INVALID_HANDLE_VALUE;
    }
    return handle;
  });
}

BOOL WINAPI ReadFile(HANDLE h, LPVOID buffer, DWORD toRead, LPDWORD read, void*) {
  if (auto fault = injected(Point::ReadFile)) return pw::fail(*fault);
  auto* f = pw::handles::objectFor<FileObject>(h);
  if (!f) return pw::fail(ERROR_INVALID_HANDLE);
  if (read) *read = 0;
  if (!f->readable) return pw::fail(ERROR_ACCESS_DENIED);
  if (!buffer && toRead) return pw::fail(ERROR_NOACCESS);
  auto* at = static_cast<char*>(buffer);
  ssize_t done = whole(toRead, [&](size_t n) { return pw::host::read(f->fd, at + n, toRead - n); });
  if (done < 0)
    return pw::fail(errno == EISDIR ? DWORD(ERROR_INVALID_FUNCTION) : errorFromErrno(errno));
  if (read) *read = DWORD(done);
  return TRUE;
}

// ReadFile's mirror; the two stay whole, since their errors differ (EISDIR, EBADF) and
// only ReadFile refuses a missing buffer before the system call does.
BOOL WINAPI WriteFile(HANDLE h, LPCVOID buffer, DWORD toWrite, LPDWORD written, void*) {
  if (auto fault = injected(Point::WriteFile)) return pw::fail(*fault);
  auto* f = pw::handles::objectFor<FileObject>(h);
  if (!f) return pw::fail(ERROR_INVALID_HANDLE);
  if (written) *written = 0;
  auto* at = static_cast<const char*>(buffer);
  ssize_t done =
      whole(toWrite, [&](size_t n) { return pw::host::write(f->fd, at + n, toWrite - n); });
  if (done < 0)
    return pw::fail(errno == EBADF ? DWORD(ERROR_ACCESS_DENIED) : errorFromErrno(errno));
  if (written) *written = DWORD(done);
  return TRUE;
}

DWORD WINAPI SetFilePointer(HANDLE h, LONG distance, PLONG high, DWORD method) {
  auto* f = pw::handles::objectFor<FileObject>(h);
  if (!f) {
    SetLastError(ERROR_INVALID_HANDLE);
    return INVALID_SET_FILE_POINTER;
  }
  off_t offset = high ? off_t((uint64_t(uint32_t(*high)) << 32) | uint32_t(distance)) : distance;
  int whence = method == FILE_BEGIN ? SEEK_SET : method == FILE_CURRENT ? SEEK_CUR : SEEK_END;
  off_t pos = pw::host::lseek(f->fd, offset, whence);
  if (pos < 0) {
    SetLastError(ERROR_NEGATIVE_SEEK);
    return INVALID_SET_FILE_POINTER;
  }
  if (high) *high = LONG(uint64_t(pos) >> 32);
  // A position whose low part reads as the failure value is told apart by a cleared last
  // error; any other success leaves it as it was.
  if (DWORD(pos) == INVALID_SET_FILE_POINTER) SetLastError(NO_ERROR);
  return DWORD(pos);
}

DWORD WINAPI GetFileSize(HANDLE h, LPDWORD high) {
  auto* f = pw::handles::objectFor<FileObject>(h);
  struct stat st {};
  if (!f || pw::host::fstat(f->fd, &st) != 0) {
    SetLastError(ERROR_INVALID_HANDLE);
    return INVALID_FILE_SIZE;
  }
  if (high) *high = DWORD(uint64_t(st.st_size) >> 32);
  if (DWORD(st.st_size) == INVALID_FILE_SIZE) SetLastError(NO_ERROR);  // as SetFilePointer
  return DWORD(st.st_size);
}

// A handle of this platform is a disk file, unless it is a standard handle, which
// answers for what the host connected to it.
DWORD WINAPI GetFileType(HANDLE h) {
  auto* f = pw::handles::objectFor<FileObject>(h);
  struct stat st {};
  if (!f || pw::host::fstat(f->fd, &st) != 0) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FILE_TYPE_UNKNOWN;
  }
  if (openable(st)) return FILE_TYPE_DISK;
  if (S_ISCHR(st.st_mode)) return FILE_TYPE_CHAR;
  if (S_ISFIFO(st.st_mode) || S_ISSOCK(st.st_mode)) return FILE_TYPE_PIPE;
  SetLastError(NO_ERROR);  // an unknown type, told apart from a failure
  return FILE_TYPE_UNKNOWN;
}

BOOL WINAPI DeleteFileA(LPCSTR name) {
  return pw::guarded(FALSE, ERROR_NOT_ENOUGH_MEMORY, [&]() -> BOOL {
    if (!name) return pw::fail(ERROR_INVALID_PARAMETER);
    std::string host;
    if (DWORD st = hostPath(name, &host)) return pw::fail(st);
    struct stat st {};
    if (pw::host::lstat(host.c_str(), &st) != 0) return pw::fail(pw::paths::missingError(host));
    if (S_ISDIR(st.st_mode) || readOnly(st)) return pw::fail(ERROR_ACCESS_DENIED);
    if (DWORD denied = pw::kernel::checkDeleteAllowed(host.c_str())) return pw::fail(denied);
    if (pw::host::unlink(host.c_str()) != 0) return pw::fail(errorFromErrno(errno));
    return TRUE;
  });
}

// A folder's path leaves room for a file of 8.3 characters below it: of MAX_PATH, 248
// characters, the terminator included.
constexpr size_t kMaxFolderPath = MAX_PATH - 12;

BOOL WINAPI CreateDirectoryA(LPCSTR name, LPSECURITY_ATTRIBUTES) {
  return pw::guarded(FALSE, ERROR_NOT_ENOUGH_MEMORY, [&]() -> BOOL {
    if (!name) return pw::fail(ERROR_INVALID_PARAMETER);
    std::string full, host;
    if (DWORD st = pw::paths::fullPath(name, &full)) return pw::fail(st);
    if (full.size() >= kMaxFolderPath) return pw::fail(ERROR_FILENAME_EXCED_RANGE);
    if (DWORD st = hostPath(full, &host)) return pw::fail(st);
    if (pw::host::mkdir(host.c_str(), 0777) != 0) {
      int err = errno;
      return pw::fail(err == ENOENT ? DWORD(ERROR_PATH_NOT_FOUND) : errorFromErrno(err));
    }
    return TRUE;
  });
}

BOOL WINAPI RemoveDirectoryA(LPCSTR name) {
  return pw::guarded(FALSE, ERROR_NOT_ENOUGH_MEMORY, [&]() -> BOOL {
    if (!name) return pw::fail(ERROR_INVALID_PARAMETER);
    std::string host;
    if (DWORD st = hostPath(name, &host)) return pw::fail(st);
    if (pw::host::rmdir(host.c_str()) != 0) {
      int err = errno;
      return pw::fail(err == ENOTDIR  ? DWORD(ERROR_DIRECTORY)
                      : err == ENOENT ? pw::paths::missingError(host)
                                      : errorFromErrno(err));
    }
    return TRUE;
  });
}

DWORD WINAPI GetFileAttributesA(LPCSTR name) {
  return pw::guarded(DWORD(INVALID_FILE_ATTRIBUTES), ERROR_NOT_ENOUGH_MEMORY, [&]() -> DWORD {
    std::string host;
    if (!name) {
      SetLastError(ERROR_INVALID_PARAMETER);
      return INVALID_FILE_ATTRIBUTES;
    }
    if (DWORD st = hostPath(name, &host)) {
      SetLastError(st);
      return INVALID_FILE_ATTRIBUTES;
    }
    struct stat st {};
    if (pw::host::stat(host.c_str(), &st) != 0) {
      SetLastError(errno == ENOENT ? pw::paths::missingError(host) : errorFromErrno(errno));
      return INVALID_FILE_ATTRIBUTES;
    }
    DWORD attrs = S_ISDIR(st.st_mode) ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_ARCHIVE;
    if (readOnly(st)) attrs |= FILE_ATTRIBUTE_READONLY;
    return attrs;
  });
}

namespace pw::kernel {

FileObject::~FileObject() {
  if (owned && fd >= 0) pw::host::close(fd);
}

}  // namespace pw::kernel
