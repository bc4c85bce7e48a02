#include "advapi32/hive_vfs.h"

#include "advapi32/lock_wait.h"

#include "machine/faults.h"
#include "machine/host_calls.h"

#include <sqlite3.h>
#include <sys/mman.h>

#include <cstdarg>
#include <mutex>
#include <new>
#include <string>

namespace pw::registry {
namespace {

// SQLite writes each frame of a write-ahead log as two writes, its 24-byte header and
// its page, so a change that rewrites four pages costs eight system calls. Here the
// writes to a log that follow one another in the file are gathered and handed to the
// file in one write when the commit's last frame is complete, before any other call
// on the log and before the log's index is published to other processes: what a
// commit put in the log is in the file, as before, when SQLite counts it committed,
// and a process killed before that leaves no more of the commit than it did.
constexpr int kFrameHeader = 24;
// At most this many bytes go in one write: SQLite's unix layer writes less than
// 128 KiB at a time (it cuts a longer write short, which reads as a full disk).
constexpr size_t kGatherLimit = 64 << 10;

struct File {
  sqlite3_file base;   // first: SQLite sees a File as its sqlite3_file
  sqlite3_file* real;  // SQLite's unix file, in the space behind this struct
  bool log;            // a write-ahead log, whose writes are gathered
  bool commitFrame;    // the last write was the header of a commit's last frame
  sqlite3_int64 at;    // where the gathered bytes go
  std::string gathered;
  int failed;  // a flush with no caller to tell failed: the log's next call reports it
  File* next;  // the open logs, for the flush before an index is published
  File* prev;
};
// The hives are used from one thread (their connections are opened without SQLite's
// mutexes); the list's lock keeps opening and closing logs safe all the same, but a
// gathered log belongs to the thread of its connection.

sqlite3_vfs* g_unix = nullptr;
sqlite3_vfs g_vfs;
sqlite3_io_methods g_methods;
std::mutex g_logsLock;
File* g_logs = nullptr;

File* self(sqlite3_file* p) { return reinterpret_cast<File*>(p); }
sqlite3_file* real(sqlite3_file* p) { return self(p)->real; }

int flush(File* f) {
  if (f->gathered.empty()) return SQLITE_OK;
  int rc = f->real->pMethods->xWrite(f->real, f->gathered.data(), int(f->gathered.size()), f->at);
  f->gathered.clear();
  return rc;
}

// What a log owes its caller: a failure seen where it could not be reported, else the
// flush of what it has gathered.
int flushLog(sqlite3_file* p) {
  File* f = self(p);
  if (!f->log) return SQLITE_OK;
  if (int rc = f->failed) {
    f->failed = SQLITE_OK;
    return rc;
  }
  return flush(f);
}

// A frame header names the database's size in pages after the commit in bytes 4 to 7
// (big-endian) when its frame ends a commit, and holds zero there otherwise.
bool endsCommit(const void* header) {
  const auto* b = static_cast<const unsigned char*>(header);
  return (b[4] | b[5] | b[6] | b[7]) != 0;
}

int fileWrite(sqlite3_file* p, const void* data, int amount, sqlite3_int64 offset) {
  File* f = self(p);
  if (!f->log) return f->real->pMethods->xWrite(f->real, data, amount, offset);
  if (int rc = f->failed) {
    f->failed = SQLITE_OK;
    return rc;
  }
  bool endOfCommit = f->commitFrame;
  f->commitFrame = amount == kFrameHeader && endsCommit(data);
  if (!f->gathered.empty() && (offset != f->at + sqlite3_int64(f->gathered.size()) ||
                               f->gathered.size() + size_t(amount) > kGatherLimit))
    if (int rc = flush(f)) return rc;
  if (size_t(amount) <= kGatherLimit) {
    try {
      if (f->gathered.empty()) f->at = offset;
      f->gathered.append(static_cast<const char*>(data), size_t(amount));
      return endOfCommit ? flush(f) : SQLITE_OK;
    } catch (const std::bad_alloc&) {  // written as it comes, then
    }
  }
  if (int rc = flush(f)) return rc;
  return f->real->pMethods->xWrite(f->real, data, amount, offset);
}

int fileClose(sqlite3_file* p) {
  File* f = self(p);
  int rc = flushLog(p);
  if (f->log) {
    std::lock_guard<std::mutex> hold(g_logsLock);
    (f->prev ? f->prev->next : g_logs) = f->next;
    if (f->next) f->next->prev = f->prev;
  }
  int closed = f->real->pMethods->xClose(f->real);
  f->gathered.~basic_string();
  return rc ? rc : closed;
}

// The calls passed on to SQLite's unix file as they are, and those that first put what
// a log has gathered in the file: every call on a log but a write.
template <auto Method, class... Args>
auto passOn(sqlite3_file* p, Args... args) {
  return (real(p)->pMethods->*Method)(real(p), args...);
}
template <auto Method, class... Args>
int flushFirst(sqlite3_file* p, Args... args) {
  if (int rc = flushLog(p)) return rc;
  return passOn<Method>(p, args...);
}

// SQLite counts a lock released only once the host has released it: an unlock the host
// refuses leaves this process holding the lock in SQLite's books, and every later try
// of the process to take it again busy, for as long as the connection lives. So an
// unlock is asked again a few times; a host that keeps refusing is a broken one.
constexpr int kUnlockTries = 8;

int fileUnlock(sqlite3_file* p, int level) {
  int flushed = flushLog(p);
  int rc = passOn<&sqlite3_io_methods::xUnlock>(p, level);
  for (int i = 1; rc != SQLITE_OK && i < kUnlockTries; ++i)
    rc = passOn<&sqlite3_io_methods::xUnlock>(p, level);
  return flushed ? flushed : rc;
}

int fileShmLock(sqlite3_file* p, int offset, int n, int flags) {
  int rc = passOn<&sqlite3_io_methods::xShmLock>(p, offset, n, flags);
  for (int i = 1; rc != SQLITE_OK && (flags & SQLITE_SHM_UNLOCK) && i < kUnlockTries; ++i)
    rc = passOn<&sqlite3_io_methods::xShmLock>(p, offset, n, flags);
  return rc;
}

// SQLite syncs a file with the host's fsync itself, outside its table of calls; the
// sync is counted here as the host's fsync, and fails as a failing one would.
int fileSync(sqlite3_file* p, int flags) {
  if (int rc = flushLog(p)) return rc;
  if (int err = faults::hostError(host::Call::fsync)) {
    errno = err;
    return SQLITE_IOERR_FSYNC;
  }
  return passOn<&sqlite3_io_methods::xSync>(p, flags);
}

// SQLite publishes a new index header in two copies with this barrier between them;
// the commit's frames are in their file by then already, and anything still gathered
// goes too, so that no reader is ever shown a frame the file does not hold. The
// barrier answers nothing, so a flush that fails here is kept for the log's next
// call, which SQLite then sees fail: the transaction that wrote those frames cannot
// commit, and no reader is ever shown them.
void fileShmBarrier(sqlite3_file* p) {
  {
    std::lock_guard<std::mutex> hold(g_logsLock);
    for (File* f = g_logs; f; f = f->next)
      if (int rc = flush(f); rc && !f->failed) f->failed = rc;
  }
  passOn<&sqlite3_io_methods::xShmBarrier>(p);
}

int vfsOpen(sqlite3_vfs*, sqlite3_filename name, sqlite3_file* p, int flags, int* outFlags) {
  File* f = self(p);
  f->base.pMethods = nullptr;
  f->real = reinterpret_cast<sqlite3_file*>(reinterpret_cast<char*>(f) +
                                            ((sizeof(File) + 7) & ~size_t(7)));
  int rc = g_unix->xOpen(g_unix, name, f->real, flags, outFlags);
  if (rc != SQLITE_OK) {
    if (f->real->pMethods) f->real->pMethods->xClose(f->real);
    return rc;
  }
  f->log = (flags & SQLITE_OPEN_WAL) != 0;
  f->commitFrame = false;
  f->at = 0;
  f->failed = SQLITE_OK;
  new (&f->gathered) std::string();
  f->next = f->prev = nullptr;
  if (f->log) {
    std::lock_guard<std::mutex> hold(g_logsLock);
    f->next = g_logs;
    if (g_logs) g_logs->prev = f;
    g_logs = f;
  }
  f->base.pMethods = &g_methods;
  return SQLITE_OK;
}

// The rest is SQLite's unix layer as it is.
template <auto Method, class... Args>
auto unixCall(sqlite3_vfs*, Args... args) {
  return (g_unix->*Method)(g_unix, args...);
}

// SQLite maps the write-ahead log's shared-memory index in blocks of 32 KiB, whose
// pages it has just made exist in the file, and a run that is the only one holding
// the hive writes most of them when it rebuilds the index. Mapped and populated in
// one call, they cost no page fault each.
void* mapPopulated(void* addr, size_t len, int prot, int flags, int fd, off_t offset) {
  void* map = host::mmap(addr, len, prot, flags, fd, offset);
  if (map != MAP_FAILED && (prot & PROT_WRITE) && (flags & MAP_SHARED))
    ::madvise(map, len, MADV_POPULATE_WRITE);  // declined by an older kernel: no harm
  return map;
}

// SQLite's unix layer makes its calls through a table of its own; these put the
// platform's in it, with the signatures SQLite calls them by.
int sqliteOpen(const char* path, int flags, int mode) {
  return host::open(path, flags, mode_t(mode));
}
int sqliteFcntl(int fd, int cmd, ...) {
  va_list args;
  va_start(args, cmd);
  void* arg = va_arg(args, void*);  // a number or a pointer: passed on as the host does
  va_end(args);
  return host::fcntl(fd, cmd, arg);
}
void* sqliteMremap(void* at, size_t n, size_t size, int flags, ...) {
  va_list args;
  va_start(args, flags);
  void* to = (flags & MREMAP_FIXED) ? va_arg(args, void*) : nullptr;
  va_end(args);
  return host::mremap(at, n, size, flags, to);
}

void routeSystemCalls() {
  if (g_unix->iVersion < 3 || !g_unix->xSetSystemCall) return;
  struct Route {
    const char* name;
    void* call;
  };
  const Route routes[] = {
      {"open", reinterpret_cast<void*>(&sqliteOpen)},
      {"close", reinterpret_cast<void*>(&host::close)},
      {"access", reinterpret_cast<void*>(&host::access)},
      {"getcwd", reinterpret_cast<void*>(&host::getcwd)},
      {"stat", reinterpret_cast<void*>(&host::stat)},
      {"fstat", reinterpret_cast<void*>(&host::fstat)},
      {"ftruncate", reinterpret_cast<void*>(&host::ftruncate)},
      {"fcntl", reinterpret_cast<void*>(&sqliteFcntl)},
      {"read", reinterpret_cast<void*>(&host::read)},
      {"pread", reinterpret_cast<void*>(&host::pread)},
      {"pread64", reinterpret_cast<void*>(&host::pread)},  // off64_t is off_t on this host
      {"write", reinterpret_cast<void*>(&host::write)},
      {"pwrite", reinterpret_cast<void*>(&host::pwrite)},
      {"pwrite64", reinterpret_cast<void*>(&host::pwrite)},
      {"fchmod", reinterpret_cast<void*>(&host::fchmod)},
      {"fallocate", reinterpret_cast<void*>(&host::posix_fallocate)},
      {"unlink", reinterpret_cast<void*>(&host::unlink)},
      {"mkdir", reinterpret_cast<void*>(&host::mkdir)},
      {"rmdir", reinterpret_cast<void*>(&host::rmdir)},
      {"fchown", reinterpret_cast<void*>(&host::fchown)},
      {"mmap", reinterpret_cast<void*>(&mapPopulated)},
      {"munmap", reinterpret_cast<void*>(&host::munmap)},
      {"mremap", reinterpret_cast<void*>(&sqliteMremap)},
      {"readlink", reinterpret_cast<void*>(&host::readlink)},
      {"lstat", reinterpret_cast<void*>(&host::lstat)},
  };
  static_assert(sizeof(off64_t) == sizeof(off_t));
  for (const Route& r : routes)  // a call this SQLite does not make is left alone
    if (g_unix->xGetSystemCall(g_unix, r.name))
      g_unix->xSetSystemCall(g_unix, r.name, reinterpret_cast<sqlite3_syscall_ptr>(r.call));
}

bool registerVfs() {
  g_unix = sqlite3_vfs_find("unix");
  if (!g_unix || g_unix->iVersion < 2) return false;
  routeSystemCalls();
  sqlite3_vfs vfs{};
  vfs.iVersion = 2;
  vfs.szOsFile = int(((sizeof(File) + 7) & ~size_t(7)) + size_t(g_unix->szOsFile));
  vfs.mxPathname = g_unix->mxPathname;
  vfs.zName = "pw-hive";
  vfs.xOpen = vfsOpen;
  vfs.xDelete = unixCall<&sqlite3_vfs::xDelete>;
  vfs.xAccess = unixCall<&sqlite3_vfs::xAccess>;
  vfs.xFullPathname = unixCall<&sqlite3_vfs::xFullPathname>;
  vfs.xDlOpen = unixCall<&sqlite3_vfs::xDlOpen>;
  vfs.xDlError = unixCall<&sqlite3_vfs::xDlError>;
  vfs.xDlSym = unixCall<&sqlite3_vfs::xDlSym>;
  vfs.xDlClose = unixCall<&sqlite3_vfs::xDlClose>;
  vfs.xRandomness = unixCall<&sqlite3_vfs::xRandomness>;
  vfs.xSleep = [](sqlite3_vfs*, int microseconds) { return retryPause(microseconds); };
  vfs.xCurrentTime = unixCall<&sqlite3_vfs::xCurrentTime>;
  vfs.xGetLastError = unixCall<&sqlite3_vfs::xGetLastError>;
  vfs.xCurrentTimeInt64 = unixCall<&sqlite3_vfs::xCurrentTimeInt64>;
  g_vfs = vfs;
  sqlite3_io_methods m{};
  m.iVersion = 3;
  m.xClose = fileClose;
  m.xRead = flushFirst<&sqlite3_io_methods::xRead>;
  m.xWrite = fileWrite;
  m.xTruncate = flushFirst<&sqlite3_io_methods::xTruncate>;
  m.xSync = fileSync;
  m.xFileSize = flushFirst<&sqlite3_io_methods::xFileSize>;
  m.xLock = flushFirst<&sqlite3_io_methods::xLock>;
  m.xUnlock = fileUnlock;
  m.xCheckReservedLock = flushFirst<&sqlite3_io_methods::xCheckReservedLock>;
  m.xFileControl = flushFirst<&sqlite3_io_methods::xFileControl>;
  m.xSectorSize = passOn<&sqlite3_io_methods::xSectorSize>;
  m.xDeviceCharacteristics = passOn<&sqlite3_io_methods::xDeviceCharacteristics>;
  m.xShmMap = passOn<&sqlite3_io_methods::xShmMap>;
  m.xShmLock = fileShmLock;
  m.xShmBarrier = fileShmBarrier;
  m.xShmUnmap = passOn<&sqlite3_io_methods::xShmUnmap>;
  m.xFetch = passOn<&sqlite3_io_methods::xFetch>;
  m.xUnfetch = passOn<&sqlite3_io_methods::xUnfetch>;
  g_methods = m;
  return sqlite3_vfs_register(&g_vfs, 0) == SQLITE_OK;
}

}  // namespace

const char* hiveVfsName() {
  static const bool registered = registerVfs();
  return registered ? g_vfs.zName : nullptr;
}

}  // namespace pw::registry
