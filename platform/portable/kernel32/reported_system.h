// What the emulated workstation reports about itself: the file system of each
// drive and the version of the operating system. The administrator sets both as
// registry values under the platform's own key (pwmachine volume / pwmachine ver):
//   HKLM\Software\PwPlatform\FileSystems   REG_SZ "C:" ... = "NTFS", "FAT32", ...
//   HKLM\Software\PwPlatform\Version       REG_DWORD PlatformId, MajorVersion,
//                                          MinorVersion, BuildNumber; REG_SZ CSDVersion
// Absent values report a current Windows on NTFS.
#pragma once

#include <windows.h>

#include <string>

namespace pw::kernel {

// The file-system name of a drive ('A' to 'Z'), "NTFS" unless set.
std::string fileSystemName(char drive);

struct ReportedVersion {
  DWORD platformId = VER_PLATFORM_WIN32_NT;
  DWORD major = 10;
  DWORD minor = 0;
  DWORD build = 19045;
  std::string servicePack;  // CSDVersion, at most 127 characters
};
ReportedVersion reportedVersion();

}  // namespace pw::kernel
