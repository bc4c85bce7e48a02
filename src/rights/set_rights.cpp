// 'R': runs the client's command line (the platform's access-control tool, as a
// rule) with this program's rights, its standard output in a report file, and waits
// up to a minute for it. On a volume that is not NTFS nothing is run.
#include "handlers/storage_manager.h"
#include "rights/rights_redirection.h"
#include "trace/trace.h"
#include "win32/handle.h"
#include "win32/result_codes.h"

#include <memory>

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
