#include "advapi32/hive_vfs.h"

#include <sqlite3.h>

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

int flushLog(sqlite3_file* p) { return self(p)->log ? flush(self(p)) : SQLITE_OK; }

// A frame header names the database's size in pages after the commit in bytes 4 to 7
// (big-endian) when its frame ends a commit, and holds zero there otherwise.
bool endsCommit(const void* header) {
  const auto* b = static_cast<const unsigned char*>(header);
  return (b[4] | b[5] | b[6] | b[7]) != 0;
}

int fileWrite(sqlite3_file* p, const void* data, int amount, sqlite3_int64 offset) {
  File* f = self(p);
  if (!f->log) return f->real->pMethods->xWrite(f->real, data, amount, offset);
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

// Every other call on a log first puts what was gathered in the file.
int fileRead(sqlite3_file* p, void* data, int amount, sqlite3_int64 offset) {
  if (int rc = flushLog(p)) return rc;
  return real(p)->pMethods->xRead(real(p), data, amount, offset);
}
int fileTruncate(sqlite3_file* p, sqlite3_int64 size) {
  if (int rc = flushLog(p)) return rc;
  return real(p)->pMethods->xTruncate(real(p), size);
}
int fileSync(sqlite3_file* p, int flags) {
  if (int rc = flushLog(p)) return rc;
  return real(p)->pMethods->xSync(real(p), flags);
}
int fileSize(sqlite3_file* p, sqlite3_int64* size) {
  if (int rc = flushLog(p)) return rc;
  return real(p)->pMethods->xFileSize(real(p), size);
}
int fileLock(sqlite3_file* p, int level) {
  if (int rc = flushLog(p)) return rc;
  return real(p)->pMethods->xLock(real(p), level);
}
int fileUnlock(sqlite3_file* p, int level) {
  if (int rc = flushLog(p)) return rc;
  return real(p)->pMethods->xUnlock(real(p), level);
}
int fileCheckReservedLock(sqlite3_file* p, int* out) {
  if (int rc = flushLog(p)) return rc;
  return real(p)->pMethods->xCheckReservedLock(real(p), out);
}
int fileControl(sqlite3_file* p, int op, void* arg) {
  if (int rc = flushLog(p)) return rc;
  return real(p)->pMethods->xFileControl(real(p), op, arg);
}
int fileSectorSize(sqlite3_file* p) { return real(p)->pMethods->xSectorSize(real(p)); }
int fileDeviceCharacteristics(sqlite3_file* p) {
  return real(p)->pMethods->xDeviceCharacteristics(real(p));
}
int fileShmMap(sqlite3_file* p, int region, int size, int extend, void volatile** out) {
  return real(p)->pMethods->xShmMap(real(p), region, size, extend, out);
}
int fileShmLock(sqlite3_file* p, int offset, int n, int flags) {
  return real(p)->pMethods->xShmLock(real(p), offset, n, flags);
}
// SQLite publishes a new index header in two copies with this barrier between them;
// the commit's frames are in their file by then already, and anything still gathered
// goes too, so that no reader is ever shown a frame the file does not hold.
void fileShmBarrier(sqlite3_file* p) {
  {
    std::lock_guard<std::mutex> hold(g_logsLock);
    for (File* f = g_logs; f; f = f->next) flush(f);
  }
  real(p)->pMethods->xShmBarrier(real(p));
}
int fileShmUnmap(sqlite3_file* p, int deleteFlag) {
  return real(p)->pMethods->xShmUnmap(real(p), deleteFlag);
}
int fileFetch(sqlite3_file* p, sqlite3_int64 offset, int amount, void** out) {
  return real(p)->pMethods->xFetch(real(p), offset, amount, out);
}
int fileUnfetch(sqlite3_file* p, sqlite3_int64 offset, void* page) {
  return real(p)->pMethods->xUnfetch(real(p), offset, page);
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
int vfsDelete(sqlite3_vfs*, const char* name, int syncDir) {
  return g_unix->xDelete(g_unix, name, syncDir);
}
int vfsAccess(sqlite3_vfs*, const char* name, int flags, int* out) {
  return g_unix->xAccess(g_unix, name, flags, out);
}
int vfsFullPathname(sqlite3_vfs*, const char* name, int size, char* out) {
  return g_unix->xFullPathname(g_unix, name, size, out);
}
void* vfsDlOpen(sqlite3_vfs*, const char* name) { return g_unix->xDlOpen(g_unix, name); }
void vfsDlError(sqlite3_vfs*, int size, char* out) { g_unix->xDlError(g_unix, size, out); }
void (*vfsDlSym(sqlite3_vfs*, void* lib, const char* sym))(void) {
  return g_unix->xDlSym(g_unix, lib, sym);
}
void vfsDlClose(sqlite3_vfs*, void* lib) { g_unix->xDlClose(g_unix, lib); }
int vfsRandomness(sqlite3_vfs*, int size, char* out) {
  return g_unix->xRandomness(g_unix, size, out);
}
int vfsSleep(sqlite3_vfs*, int us) { return g_unix->xSleep(g_unix, us); }
int vfsCurrentTime(sqlite3_vfs*, double* out) { return g_unix->xCurrentTime(g_unix, out); }
int vfsGetLastError(sqlite3_vfs*, int size, char* out) {
  return g_unix->xGetLastError(g_unix, size, out);
}
int vfsCurrentTimeInt64(sqlite3_vfs*, sqlite3_int64* out) {
  return g_unix->xCurrentTimeInt64(g_unix, out);
}

bool registerVfs() {
  g_unix = sqlite3_vfs_find("unix");
  if (!g_unix || g_unix->iVersion < 2) return false;
  sqlite3_vfs vfs{};
  vfs.iVersion = 2;
  vfs.szOsFile = int(((sizeof(File) + 7) & ~size_t(7)) + size_t(g_unix->szOsFile));
  vfs.mxPathname = g_unix->mxPathname;
  vfs.zName = "pw-hive";
  vfs.xOpen = vfsOpen;
  vfs.xDelete = vfsDelete;
  vfs.xAccess = vfsAccess;
  vfs.xFullPathname = vfsFullPathname;
  vfs.xDlOpen = vfsDlOpen;
  vfs.xDlError = vfsDlError;
  vfs.xDlSym = vfsDlSym;
  vfs.xDlClose = vfsDlClose;
  vfs.xRandomness = vfsRandomness;
  vfs.xSleep = vfsSleep;
  vfs.xCurrentTime = vfsCurrentTime;
  vfs.xGetLastError = vfsGetLastError;
  vfs.xCurrentTimeInt64 = vfsCurrentTimeInt64;
  g_vfs = vfs;
  sqlite3_io_methods m{};
  m.iVersion = 3;
  m.xClose = fileClose;
  m.xRead = fileRead;
  m.xWrite = fileWrite;
  m.xTruncate = fileTruncate;
  m.xSync = fileSync;
  m.xFileSize = fileSize;
  m.xLock = fileLock;
  m.xUnlock = fileUnlock;
  m.xCheckReservedLock = fileCheckReservedLock;
  m.xFileControl = fileControl;
  m.xSectorSize = fileSectorSize;
  m.xDeviceCharacteristics = fileDeviceCharacteristics;
  m.xShmMap = fileShmMap;
  m.xShmLock = fileShmLock;
  m.xShmBarrier = fileShmBarrier;
  m.xShmUnmap = fileShmUnmap;
  m.xFetch = fileFetch;
  m.xUnfetch = fileUnfetch;
  g_methods = m;
  return sqlite3_vfs_register(&g_vfs, 0) == SQLITE_OK;
}

}  // namespace

const char* hiveVfsName() {
  static const bool registered = registerVfs();
  return registered ? g_vfs.zName : nullptr;
}

}  // namespace pw::registry
