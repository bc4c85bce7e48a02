#include "kernel32/share_modes.h"

#include "machine/host_calls.h"

#include <fcntl.h>
#include <initializer_list>
#include <unistd.h>
#include <cerrno>

namespace pw::kernel {
namespace {

// One byte for each right a handle holds and one for each it denies others.
constexpr off_t kMarks = off_t(0x7FFFFFFFFFFF0000LL);
enum Right { kRead, kWrite, kDelete };
off_t holds(Right r) { return kMarks + r; }
off_t denies(Right r) { return kMarks + 3 + r; }

bool lockByte(int fd, off_t at, short type) {
  struct flock lock {};
  lock.l_type = type;
  lock.l_whence = SEEK_SET;
  lock.l_start = at;
  lock.l_len = 1;
  return pw::host::fcntl(fd, F_OFD_SETLK, &lock) == 0;
}

// True when a handle other than `fd`'s own open file marks the byte, or when the host
// cannot tell: a share mode is never broken by a call that failed.
bool othersMark(int fd, off_t at) {
  struct flock lock {};
  lock.l_type = F_WRLCK;
  lock.l_whence = SEEK_SET;
  lock.l_start = at;
  lock.l_len = 1;
  return pw::host::fcntl(fd, F_OFD_GETLK, &lock) != 0 || lock.l_type != F_UNLCK;
}

bool wants(DWORD access, Right r) {
  switch (r) {
    case kRead:
      return access & (GENERIC_READ | GENERIC_ALL | FILE_READ_DATA);
    case kWrite:
      return access & (GENERIC_WRITE | GENERIC_ALL | FILE_WRITE_DATA | FILE_APPEND_DATA);
    case kDelete:
      return access & (DELETE | GENERIC_ALL);
  }
  return false;
}

bool shares(DWORD share, Right r) {
  switch (r) {
    case kRead:
      return share & FILE_SHARE_READ;
    case kWrite:
      return share & FILE_SHARE_WRITE;
    case kDelete:
      return share & FILE_SHARE_DELETE;
  }
  return false;
}

}  // namespace

DWORD markShareMode(int fd, DWORD access, DWORD share) {
  // The marks are placed first and the others' looked at after, so that of two
  // handles opened at once that exclude each other, neither stays open.
  for (Right r : {kRead, kWrite, kDelete}) {
    if ((wants(access, r) && !lockByte(fd, holds(r), F_RDLCK)) ||
        (!shares(share, r) && !lockByte(fd, denies(r), F_RDLCK)))
      return errno == EBADF || errno == EINVAL || errno == ENOLCK ? ERROR_SUCCESS
                                                                  : ERROR_SHARING_VIOLATION;
  }
  for (Right r : {kRead, kWrite, kDelete}) {
    if ((wants(access, r) && othersMark(fd, denies(r))) ||
        (!shares(share, r) && othersMark(fd, holds(r)))) {
      struct flock all {};
      all.l_type = F_UNLCK;
      all.l_whence = SEEK_SET;
      all.l_start = kMarks;
      all.l_len = 6;
      pw::host::fcntl(fd, F_OFD_SETLK, &all);
      return ERROR_SHARING_VIOLATION;
    }
  }
  return ERROR_SUCCESS;
}

DWORD checkDeleteAllowed(const char* host) {
  int fd = pw::host::open(host, O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
  if (fd < 0) return ERROR_SUCCESS;  // unreadable: nothing to look at
  bool denied = othersMark(fd, denies(kDelete));
  pw::host::close(fd);
  return denied ? ERROR_SHARING_VIOLATION : ERROR_SUCCESS;
}

}  // namespace pw::kernel
