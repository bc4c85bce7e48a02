// GetVersionExA: the operating system the machine's settings make it report.
#include <windows.h>

#include "kernel32/reported_system.h"
#include "machine/faults.h"
#include "machine/guard.h"

#include <cstring>

BOOL WINAPI GetVersionExA(LPOSVERSIONINFOA info) {
  if (auto fault = pw::faults::injected(pw::faults::Point::GetVersionExA)) return pw::fail(*fault);
  if (!info) return pw::fail(ERROR_NOACCESS);
  DWORD size = info->dwOSVersionInfoSize;
  if (size != sizeof(OSVERSIONINFOA) && size != sizeof(OSVERSIONINFOEXA))
    return pw::fail(ERROR_INSUFFICIENT_BUFFER);
  return pw::guarded(FALSE, ERROR_NOT_ENOUGH_MEMORY, [&]() -> BOOL {
    pw::kernel::ReportedVersion v = pw::kernel::reportedVersion();
    info->dwMajorVersion = v.major;
    info->dwMinorVersion = v.minor;
    info->dwBuildNumber = v.build;
    info->dwPlatformId = v.platformId;
    std::memset(info->szCSDVersion, 0, sizeof info->szCSDVersion);
    std::memcpy(info->szCSDVersion, v.servicePack.data(), v.servicePack.size());
    if (size == sizeof(OSVERSIONINFOEXA)) {
      auto* ex = reinterpret_cast<LPOSVERSIONINFOEXA>(info);
      ex->wServicePackMajor = 0;
      ex->wServicePackMinor = 0;
      ex->wSuiteMask = 0x100;  // VER_SUITE_SINGLEUSERTS, as a workstation reports
      ex->wProductType = VER_NT_WORKSTATION;
      ex->wReserved = 0;
    }
    return TRUE;
  });
}
