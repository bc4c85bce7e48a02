// Every call the portable platform makes to the host goes through one table, as
// SQLite's unix layer makes its calls through aSyscall[]: files, folders, locks,
// memory maps, processes and random bytes. The hives' file layer hands SQLite's own
// table these same calls, so that a hive's reads, writes, syncs and locks pass here
// too. A test can replace any call (`replace`, SQLite's xSetSystemCall) and make the
// nth call of a kind fail with the errno it chooses (machine/faults.h), in the
// program as built. Reading the clock and sleeping stay outside: nothing the
// platform answers depends on their failing.
//
// The calls keep the host's names and signatures: `pw::host::open(path, flags, mode)`
// where a library would write `::open(path, flags, mode)`.
#pragma once

#include <dirent.h>
#include <poll.h>
#include <spawn.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/wait.h>

#include <cstddef>

namespace pw::host {

// The table: each call's name, result, the result it fails with (errno set), its
// parameters and how they are passed on. posix_spawn and posix_fallocate answer with
// the error itself (`err`), as the host's do. A close that fails has released its
// descriptor all the same, as Linux's always does.
#define PW_HOST_CALLS(X)                                                                      \
  X(open, int, -1, (const char* path, int flags, mode_t mode), (path, flags, mode))           \
  X(close, int, (entry<Call::close>()(fd), -1), (int fd), (fd))                               \
  X(read, ssize_t, -1, (int fd, void* buf, size_t n), (fd, buf, n))                           \
  X(write, ssize_t, -1, (int fd, const void* buf, size_t n), (fd, buf, n))                    \
  X(pread, ssize_t, -1, (int fd, void* buf, size_t n, off_t at), (fd, buf, n, at))            \
  X(pwrite, ssize_t, -1, (int fd, const void* buf, size_t n, off_t at), (fd, buf, n, at))     \
  X(lseek, off_t, -1, (int fd, off_t offset, int whence), (fd, offset, whence))               \
  X(fsync, int, -1, (int fd), (fd))                                                           \
  X(fdatasync, int, -1, (int fd), (fd))                                                       \
  X(ftruncate, int, -1, (int fd, off_t size), (fd, size))                                     \
  X(posix_fallocate, int, err, (int fd, off_t at, off_t size), (fd, at, size))                \
  X(stat, int, -1, (const char* path, struct stat* st), (path, st))                           \
  X(lstat, int, -1, (const char* path, struct stat* st), (path, st))                          \
  X(fstat, int, -1, (int fd, struct stat* st), (fd, st))                                      \
  X(access, int, -1, (const char* path, int mode), (path, mode))                              \
  X(chmod, int, -1, (const char* path, mode_t mode), (path, mode))                            \
  X(fchmod, int, -1, (int fd, mode_t mode), (fd, mode))                                       \
  X(fchown, int, -1, (int fd, uid_t uid, gid_t gid), (fd, uid, gid))                          \
  X(mkdir, int, -1, (const char* path, mode_t mode), (path, mode))                            \
  X(rmdir, int, -1, (const char* path), (path))                                               \
  X(unlink, int, -1, (const char* path), (path))                                              \
  X(rename, int, -1, (const char* from, const char* to), (from, to))                          \
  X(readlink, ssize_t, -1, (const char* path, char* buf, size_t n), (path, buf, n))           \
  X(getcwd, char*, nullptr, (char* buf, size_t n), (buf, n))                                  \
  X(chdir, int, -1, (const char* path), (path))                                               \
  X(opendir, DIR*, nullptr, (const char* path), (path))                                       \
  X(readdir, dirent*, nullptr, (DIR * dir), (dir))                                            \
  X(closedir, int, (entry<Call::closedir>()(dir), -1), (DIR * dir), (dir))                    \
  X(fcntl, int, -1, (int fd, int cmd, void* arg), (fd, cmd, arg))                             \
  X(flock, int, -1, (int fd, int op), (fd, op))                                               \
  X(mmap, void*, MAP_FAILED, (void* at, size_t n, int prot, int flags, int fd, off_t offset), \
    (at, n, prot, flags, fd, offset))                                                         \
  X(munmap, int, -1, (void* at, size_t n), (at, n))                                           \
  X(mremap, void*, MAP_FAILED, (void* at, size_t n, size_t size, int flags, void* to),        \
    (at, n, size, flags, to))                                                                 \
  X(posix_spawn, int, err,                                                                    \
    (pid_t * pid, const char* path, const posix_spawn_file_actions_t* actions,                \
     const posix_spawnattr_t* attr, char* const* argv, char* const* envp),                    \
    (pid, path, actions, attr, argv, envp))                                                   \
  X(pidfd_open, int, -1, (pid_t pid, unsigned flags), (pid, flags))                           \
  X(waitid, int, -1, (idtype_t type, id_t id, siginfo_t * info, int options),                 \
    (type, id, info, options))                                                                \
  X(poll, int, -1, (pollfd * fds, nfds_t n, int timeout), (fds, n, timeout))                  \
  X(getrandom, ssize_t, -1, (void* buf, size_t n, unsigned flags), (buf, n, flags))

enum class Call : unsigned char {
#define PW_HOST_CALL_ENUM(name, ...) name,
  PW_HOST_CALLS(PW_HOST_CALL_ENUM)
#undef PW_HOST_CALL_ENUM
      any,  // not a call: a fault armed here counts every host call (machine/faults.h)
};
constexpr size_t kCalls = size_t(Call::any);

// The host's name of a call ("pwrite"), or "any".
const char* name(Call call);
// The call of that name, or false.
bool callNamed(const char* name, Call* call);

// The calls themselves.
#define PW_HOST_CALL_DECLARE(name, result, failure, params, args) result name params;
PW_HOST_CALLS(PW_HOST_CALL_DECLARE)
#undef PW_HOST_CALL_DECLARE
// The host's shorter forms: an open that creates nothing, an fcntl with a number.
inline int open(const char* path, int flags) { return open(path, flags, 0); }
inline int fcntl(int fd, int cmd, long arg) { return fcntl(fd, cmd, reinterpret_cast<void*>(arg)); }

// What each call's entry holds: Function<Call::write> is ssize_t (*)(int, const void*, size_t).
template <Call C>
struct Signature;
#define PW_HOST_CALL_SIGNATURE(name, result, failure, params, args) \
  template <>                                                       \
  struct Signature<Call::name> {                                    \
    using type = result(*) params;                                  \
  };
PW_HOST_CALLS(PW_HOST_CALL_SIGNATURE)
#undef PW_HOST_CALL_SIGNATURE
template <Call C>
using Function = typename Signature<C>::type;

// Puts `f` in the call's entry (nullptr puts the host's own back) and answers what was
// there, as xSetSystemCall does.
void* replaceEntry(Call call, void* f);
template <Call C>
Function<C> replace(Function<C> f) {
  return reinterpret_cast<Function<C>>(replaceEntry(C, reinterpret_cast<void*>(f)));
}
// The host's own function of a call, for a replacement that passes calls on.
void* hostEntry(Call call);
template <Call C>
Function<C> hostFunction() {
  return reinterpret_cast<Function<C>>(hostEntry(C));
}

}  // namespace pw::host
