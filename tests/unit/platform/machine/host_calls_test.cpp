// The file functions over a host whose calls fail, come back short or are interrupted:
// the error Windows gives for the host's, no descriptor left behind, and the whole
// of the data moved when the host takes it in pieces.
#include <windows.h>

#include "common/faults.h"

#include <dirent.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <string>

namespace {

using test::Call;
using test::HostFault;
using test::ScopedFault;

int openDescriptors() {
  int n = 0;
  if (DIR* d = ::opendir("/proc/self/fd")) {
    while (::readdir(d)) ++n;
    ::closedir(d);
  }
  return n;
}

// Writes the file anew: the answer of the first call that fails, or 0.
DWORD save(const char* path, const std::string& data) {
  HANDLE h = CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  if (h == INVALID_HANDLE_VALUE) return GetLastError();
  DWORD written = 0;
  DWORD st = WriteFile(h, data.data(), DWORD(data.size()), &written, nullptr) ? 0 : GetLastError();
  if (!st && written != data.size()) st = ERROR_HANDLE_EOF;
  CloseHandle(h);
  return st;
}

std::string load(const char* path) {
  HANDLE h = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (h == INVALID_HANDLE_VALUE) return "<" + std::to_string(GetLastError()) + ">";
  std::string data(4096, '\0');
  DWORD read = 0;
  if (!ReadFile(h, data.data(), DWORD(data.size()), &read, nullptr)) read = 0;
  CloseHandle(h);
  data.resize(read);
  return data;
}

TEST(HostCalls, AFailingHostCallIsWindowsError) {
  const std::string data(300, 'x');
  ASSERT_EQ(save("c:\\host-errors.txt", "before"), 0u);
  {
    ScopedFault full(HostFault{Call::write, ENOSPC});
    EXPECT_EQ(save("c:\\host-errors.txt", data), 112u);  // ERROR_DISK_FULL
  }
  {
    ScopedFault broken(HostFault{Call::write, EIO});
    EXPECT_EQ(save("c:\\host-errors.txt", data), 1117u);  // ERROR_IO_DEVICE
  }
  {
    ScopedFault denied(HostFault{Call::open, EACCES, 0, 0});
    EXPECT_EQ(save("c:\\host-errors.txt", data), 5u);  // ERROR_ACCESS_DENIED
    EXPECT_EQ(pw::faults::reached(Call::open), 2u);    // read-write first, then write alone
  }
  {
    ScopedFault interrupted(HostFault{Call::write, EINTR});  // once: written again
    EXPECT_EQ(save("c:\\host-errors.txt", data), 0u);
  }
  EXPECT_EQ(load("c:\\host-errors.txt"), data);
}

TEST(HostCalls, EachCallOfASaveFailingInTurnLeavesNoDescriptor) {
  const std::string data(1000, 'y');
  ASSERT_EQ(save("c:\\each-call.txt", "first"), 0u);  // the file exists from here on
  unsigned calls = 0;
  {
    ScopedFault counted(HostFault{Call::any, EIO, ~0u});
    ASSERT_EQ(save("c:\\each-call.txt", data), 0u);
    calls = pw::faults::reached(Call::any);
  }
  ASSERT_GT(calls, 3u);  // a stat, an open, its locks, a truncation, a write, a close
  int before = openDescriptors();
  for (unsigned n = 0; n < calls; ++n) {
    SCOPED_TRACE("host call " + std::to_string(n + 1));
    DWORD st;
    {
      ScopedFault fault(HostFault{Call::any, EIO, n});
      st = save("c:\\each-call.txt", data);
      EXPECT_GT(pw::faults::reached(Call::any), n);  // the call was reached, and failed
    }
    // A failed save says so; one that succeeds (the failing call was one it can do
    // without) wrote everything.
    std::string now = load("c:\\each-call.txt");
    if (st == 0) {
      EXPECT_EQ(now, data);
    }
    EXPECT_EQ(openDescriptors(), before);
  }
}

// A host that takes at most 7 bytes a call, as a pipe or a signal may make it.
ssize_t shortWrite(int fd, const void* buf, size_t n) {
  return pw::host::hostFunction<Call::write>()(fd, buf, std::min<size_t>(n, 7));
}
ssize_t shortRead(int fd, void* buf, size_t n) {
  return pw::host::hostFunction<Call::read>()(fd, buf, std::min<size_t>(n, 7));
}

TEST(HostCalls, DataTheHostMovesInPiecesArrivesWhole) {
  std::string data;
  for (int i = 0; i < 100; ++i) data += std::to_string(i) + ",";
  test::ScopedCall<Call::write> pieces(shortWrite);
  test::ScopedCall<Call::read> readPieces(shortRead);
  ASSERT_EQ(save("c:\\pieces.txt", data), 0u);
  EXPECT_EQ(load("c:\\pieces.txt"), data);
}

}  // namespace
