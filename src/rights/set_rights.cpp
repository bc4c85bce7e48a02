// 'R': runs the client's command line (the platform's access-control tool, as a
// rule) with this program's rights, its standard output in a report file, and waits
// up to a minute for it. On a volume that is not NTFS nothing is run.
#include "handlers/storage_manager.h"
#include "rights/rights_redirection.h"
#include "trace/trace.h"
#include "win32/abi.h"
#include "win32/handle.h"
#include "win32/result_codes.h"

#include <cstddef>
#include <memory>

// The report file's security attributes have length 12 and the start-up information
// size 68, as in the 32-bit process the system is; the platform reads the standard
// output handle from where its own layout puts it.
static_assert(sizeof(SECURITY_ATTRIBUTES) == win32::abiSize(12, 24));
static_assert(offsetof(SECURITY_ATTRIBUTES, bInheritHandle) == win32::abiSize(8, 16));
static_assert(sizeof(STARTUPINFOA) == win32::abiSize(68, 104));
static_assert(offsetof(STARTUPINFOA, dwFlags) == win32::abiSize(44, 60));
static_assert(offsetof(STARTUPINFOA, hStdOutput) == win32::abiSize(60, 88));
static_assert(sizeof(PROCESS_INFORMATION) == win32::abiSize(16, 24));
static_assert(STARTF_USESTDHANDLES == 0x100 && CREATE_NO_WINDOW == 0x08000000);

namespace {

constexpr DWORD kWaitMs = 60000;
// A wait that fails outright is tried again after a pause, for at most a minute
// in all; then the program counts as not having ended in time.
constexpr DWORD kFailedWaitPauseMs = 100;
constexpr int kFailedWaitTries = kWaitMs / kFailedWaitPauseMs;

// WAIT_OBJECT_0 when the program ended, WAIT_TIMEOUT when the minute ran out.
DWORD waitForEnd(HANDLE process) {
  for (int failures = 0;;) {
    DWORD status = WaitForSingleObject(process, kWaitMs);
    if (status == WAIT_OBJECT_0 || status == WAIT_TIMEOUT) return status;
    if (++failures >= kFailedWaitTries) return WAIT_TIMEOUT;
    Sleep(kFailedWaitPauseMs);
  }
}

}  // namespace

bool Storage_Manager_No_console::setRights(LONG* error, const char* args) {
  writeTrace("PWEXE Storage_Manager_No_console::setRights - Start", TRACE_START);
  try {
    if (!GetIsFormatedNTFS()) {
      writeTrace("PWEXE Storage_Manager_No_console::setRights - End", TRACE_END);
      return true;
    }
    auto buffers = std::make_unique<RightsBuffers>();
    if (!splitRedirection(args, buffers.get())) {
      *error = rc::kRightsFailed;
      return traceFail("PWEXE Storage_Manager_No_console::setRights - Command too long");
    }

    SECURITY_ATTRIBUTES inheritable{sizeof inheritable, nullptr, TRUE};
    win32::FileHandle report(CreateFileA(buffers->reportPath, GENERIC_WRITE, FILE_SHARE_WRITE,
                                         &inheritable, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                                         nullptr));
    writeTrace(buffers->commandLine, TRACE_PLAIN);
    DWORD flags = IsOSVersionNoConsoleCompatible() ? CREATE_NO_WINDOW : 0;

    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = report ? report.get() : nullptr;
    PROCESS_INFORMATION started{};
    if (!CreateProcessA(nullptr, buffers->commandLine, nullptr, nullptr, TRUE, flags, nullptr,
                        nullptr, &startup, &started)) {
      report.reset();
      *error = rc::kRightsFailed;
      return traceFail("PWEXE Storage_Manager_No_console::setRights - Error");
    }
    win32::Handle process(started.hProcess);
    win32::Handle thread(started.hThread);
    DWORD ended = waitForEnd(process.get());
    report.reset();
    thread.reset();
    process.reset();
    if (ended == WAIT_TIMEOUT) {  // the program runs on: it is never stopped
      *error = rc::kRightsFailed;
      return traceFail("PWEXE Storage_Manager_No_console::setRights - Timeout");
    }
    writeTrace("PWEXE Storage_Manager_No_console::setRights - End", TRACE_END);
    return true;
  } catch (...) {
    *error = rc::kRightsFailed;
    return false;
  }
}
