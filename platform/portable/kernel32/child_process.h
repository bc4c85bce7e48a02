// Started programs behind process and thread handles. Both handles of one start
// share the host process they stand for; closing them never stops it.
#pragma once

#include <windows.h>

#include "machine/handles.h"

#include <sys/types.h>
#include <memory>

namespace pw::kernel {

class ChildProcess {
 public:
  ChildProcess() = default;
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;
  ~ChildProcess();

  // The host process once it runs; `pidfd` is -1 where the kernel offers none.
  void started(pid_t pid, int pidfd) {
    pid_ = pid;
    pidfd_ = pidfd;
  }
  pid_t pid() const { return pid_; }
  // Waits up to `ms` milliseconds (INFINITE for ever); true once the program ended.
  bool waitFor(DWORD ms);
  // True once the program ended; never blocks.
  bool ended() { return collect(false); }
  // The program's exit code, or STILL_ACTIVE while it runs. A program ended by a
  // signal reports 128 plus the signal's number, as a shell does.
  DWORD exitCode() { return collect(false) ? exitCode_ : STILL_ACTIVE; }

 private:
  bool collect(bool block);

  pid_t pid_ = 0;
  int pidfd_ = -1;  // -1 where the kernel has none; waits then poll
  bool ended_ = false;
  DWORD exitCode_ = STILL_ACTIVE;
};

struct ProcessObject : handles::ObjectOf<handles::Kind::Process> {
  std::shared_ptr<ChildProcess> child;
};

struct ThreadObject : handles::ObjectOf<handles::Kind::Thread> {
  std::shared_ptr<ChildProcess> child;
};

}  // namespace pw::kernel
