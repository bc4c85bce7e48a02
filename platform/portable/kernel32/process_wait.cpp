// Waiting for started programs and reading their exit codes. The host process is
// reaped by the first wait or query that sees it ended; one that outlives every
// handle (and this program) runs on, never stopped.
#include "kernel32/child_process.h"
#include "kernel32/file_object.h"
#include "machine/faults.h"
#include "machine/host_calls.h"

#include <poll.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>
#include <algorithm>
#include <cerrno>
#include <climits>

namespace pw::kernel {
namespace {

uint64_t nowMs() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return uint64_t(ts.tv_sec) * 1000 + uint64_t(ts.tv_nsec) / 1000000;
}

constexpr int kPollWithoutPidfdMs = 10;

}  // namespace

ChildProcess::~ChildProcess() {
  collect(false);  // an ended program leaves no zombie behind
  if (pidfd_ >= 0) pw::host::close(pidfd_);
}

bool ChildProcess::collect(bool block) {
  if (ended_) return true;
  if (pid_ <= 0) return false;  // not started
  siginfo_t info{};
  int rc;
  do {
    rc = pw::host::waitid(P_PID, id_t(pid_), &info, WEXITED | (block ? 0 : WNOHANG));
  } while (rc != 0 && errno == EINTR);
  if (rc != 0) {
    // Reaped elsewhere (a SIGCHLD that discards its children): ended, code unknown.
    if (errno == ECHILD) {
      ended_ = true;
      exitCode_ = 0;
    }
    return ended_;
  }
  if (info.si_pid == 0) return false;
  ended_ = true;
  exitCode_ = info.si_code == CLD_EXITED ? DWORD(info.si_status) : DWORD(128 + info.si_status);
  return true;
}

bool ChildProcess::waitFor(DWORD ms) {
  if (collect(false)) return true;
  const bool forever = ms == INFINITE;
  const uint64_t deadline = nowMs() + ms;
  for (;;) {
    uint64_t now = nowMs();
    if (!forever && now >= deadline) return collect(false);
    int slice = forever ? -1 : int(std::min<uint64_t>(deadline - now, INT_MAX));
    if (pidfd_ >= 0) {
      pollfd p{pidfd_, POLLIN, 0};
      if (pw::host::poll(&p, 1, slice) < 0 && errno != EINTR) return collect(false);
    } else {
      int pause = slice < 0 ? kPollWithoutPidfdMs : std::min(slice, kPollWithoutPidfdMs);
      timespec ts{0, long(pause) * 1000000L};
      ::nanosleep(&ts, nullptr);
    }
    if (collect(false)) return true;
  }
}

}  // namespace pw::kernel

using pw::kernel::FileObject;
using pw::kernel::ProcessObject;
using pw::kernel::ThreadObject;

DWORD WINAPI WaitForSingleObject(HANDLE h, DWORD ms) {
  if (auto fault = pw::faults::injected(pw::faults::Point::WaitForSingleObject)) {
    SetLastError(*fault);
    return WAIT_FAILED;
  }
  std::shared_ptr<pw::kernel::ChildProcess> child;
  if (auto* p = pw::handles::objectFor<ProcessObject>(h))
    child = p->child;
  else if (auto* t = pw::handles::objectFor<ThreadObject>(h))
    child = t->child;
  else if (pw::handles::objectFor<FileObject>(h))
    return WAIT_OBJECT_0;  // files are signalled
  if (!child) {
    SetLastError(ERROR_INVALID_HANDLE);
    return WAIT_FAILED;
  }
  return child->waitFor(ms) ? WAIT_OBJECT_0 : WAIT_TIMEOUT;
}

BOOL WINAPI GetExitCodeProcess(HANDLE h, LPDWORD code) {
  auto* p = pw::handles::objectFor<ProcessObject>(h);
  if (!p) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (!code) {
    SetLastError(ERROR_NOACCESS);
    return FALSE;
  }
  *code = p->child->exitCode();
  return TRUE;
}
