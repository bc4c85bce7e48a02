// The two checks of the rights command: whether the current folder's volume counts
// as NTFS, and whether the system can start a program without a console window.
#include "handlers/storage_manager.h"
#include "trace/trace.h"

#include <cstddef>
#include <cstring>

// The version information has size 148 and the platform identifier at offset 16 on
// either width: no member is a pointer.
static_assert(sizeof(OSVERSIONINFOA) == 148);
static_assert(offsetof(OSVERSIONINFOA, dwPlatformId) == 16);

bool Storage_Manager_No_console::GetIsFormatedNTFS() {
  writeTrace("PWEXE Storage_Manager_No_console::GetIsFormatedNTFS - Start", TRACE_PLAIN);
  char fileSystem[10] = {};
  // A volume whose information cannot be read counts as NTFS.
  bool ntfs = !GetVolumeInformationA(nullptr, nullptr, 0, nullptr, nullptr, nullptr, fileSystem,
                                     sizeof fileSystem) ||
              std::strcmp(fileSystem, "NTFS") == 0;
  writeTrace(ntfs ? "PWEXE Storage_Manager_No_console::GetIsFormatedNTFS - NTFS fileformat"
                  : "PWEXE Storage_Manager_No_console::GetIsFormatedNTFS - Not NTFS fileformat",
             TRACE_PLAIN);
  writeTrace("PWEXE Storage_Manager_No_console::GetIsFormatedNTFS - End", TRACE_PLAIN);
  return ntfs;
}

bool Storage_Manager_No_console::IsOSVersionNoConsoleCompatible() {
  writeTrace("PWEXE Storage_Manager_No_console::IsOSVersionNoConsoleCompatible - Start",
             TRACE_PLAIN);
  OSVERSIONINFOA version{};
  version.dwOSVersionInfoSize = sizeof version;
  bool known = GetVersionExA(&version) != FALSE;
  bool noConsole = known && version.dwPlatformId == VER_PLATFORM_WIN32_NT;
  if (noConsole) {
    writeTrace(
        "PWEXE Storage_Manager_No_console::IsOSVersionNoConsoleCompatible - OS is supporting mode "
        "no console",
        TRACE_PLAIN);
  } else if (known && (version.dwPlatformId == VER_PLATFORM_WIN32s ||
                       version.dwPlatformId == VER_PLATFORM_WIN32_WINDOWS)) {
    writeTrace(
        "PWEXE Storage_Manager_No_console::IsOSVersionNoConsoleCompatible - OS is not supporting "
        "mode no console",
        TRACE_PLAIN);
  } else {
    writeTrace(
        "PWEXE Storage_Manager_No_console::IsOSVersionNoConsoleCompatible - Unknown OS version",
        TRACE_PLAIN);
  }
  writeTrace("PWEXE Storage_Manager_No_console::IsOSVersionNoConsoleCompatible - End", TRACE_PLAIN);
  return noConsole;
}
