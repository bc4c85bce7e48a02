#include "system_info.h"

#include "console.h"
#include "reg_key.h"  // src/win32
#include "text.h"

#include <windows.h>

#include <cerrno>
#include <cstdlib>
#include <string>

namespace pwm::system {
namespace {

constexpr const char* kFileSystemsKey = "Software\\PwPlatform\\FileSystems";
constexpr const char* kVersionKey = "Software\\PwPlatform\\Version";
constexpr size_t kMaxFileSystemName = 31;
constexpr size_t kMaxServicePack = 127;

int usageError(const std::string& message, const char* command) {
  err("ERROR: " + message + "\nType \"pwmachine " + command + " --help\" for usage.\n");
  return 1;
}

constexpr const char* kVolumeUsage =
    "PWMACHINE VOLUME [DRIVE:] [/fs NAME]\n\n"
    "  Without /fs, shows the file-system name each volume reports (every drive, or\n"
    "  the one given). With /fs, sets the name DRIVE: reports on the emulated\n"
    "  machine: HKLM\\Software\\PwPlatform\\FileSystems, REG_SZ value \"DRIVE:\".\n"
    "  Drives report NTFS until it is set.\n\n"
    "  /fs NAME   the file-system name, 1 to 31 characters (NTFS, FAT32, exFAT, ...)\n";

constexpr const char* kVerUsage =
    "PWMACHINE VER [/platform N] [/version MAJOR.MINOR.BUILD] [/csd TEXT]\n\n"
    "  Without options, shows the version GetVersionExA reports. With options, sets\n"
    "  what the emulated machine reports: HKLM\\Software\\PwPlatform\\Version, REG_DWORD\n"
    "  PlatformId, MajorVersion, MinorVersion, BuildNumber and REG_SZ CSDVersion.\n"
    "  Until set, it reports platform 2 (VER_PLATFORM_WIN32_NT), version 10.0.19045.\n\n"
    "  /platform N   0 (Win32s), 1 (Windows 95/98/Me), 2 (NT), or any other number\n"
    "  /version V    MAJOR.MINOR.BUILD, three numbers\n"
    "  /csd TEXT     the service-pack text, at most 127 characters\n";

// Prints the usage when the first parameter asks for it.
bool showHelp(int argc, char** argv, const char* usage) {
  if (argc < 2) return false;
  std::string_view arg = argv[1];
  if (!isHelpSwitch(arg)) return false;
  out(usage);
  return true;
}

bool parseNumber(const std::string& text, DWORD* value) {
  if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos) return false;
  errno = 0;
  unsigned long long n = std::strtoull(text.c_str(), nullptr, 10);
  if (errno || n > 0xFFFFFFFFull) return false;
  *value = DWORD(n);
  return true;
}

// "C:" or "c:\" as a drive letter, upper case.
bool parseDrive(std::string_view text, char* letter) {
  if (text.size() < 2 || text.size() > 3 || text[1] != ':' || (text.size() == 3 && text[2] != '\\'))
    return false;
  char c = text[0];
  if (c >= 'a' && c <= 'z') c = char(c - 32);
  if (c < 'A' || c > 'Z') return false;
  *letter = c;
  return true;
}

bool writeValue(const char* key, const char* name, DWORD type, const void* data, DWORD size) {
  win32::RegKey k;
  LONG st = RegCreateKeyExA(HKEY_LOCAL_MACHINE, key, 0, nullptr, REG_OPTION_NON_VOLATILE,
                            KEY_SET_VALUE, nullptr, k.out(), nullptr);
  if (st == ERROR_SUCCESS)
    st = RegSetValueExA(k.get(), name, 0, type, static_cast<const BYTE*>(data), size);
  if (st != ERROR_SUCCESS) {
    err(st == ERROR_ACCESS_DENIED
            ? "ERROR: Access is denied.\n"
            : format("ERROR: The setting cannot be written (%ld).\n", long(st)));
    return false;
  }
  return true;
}

bool writeNumber(const char* name, DWORD value) {
  return writeValue(kVersionKey, name, REG_DWORD, &value, sizeof value);
}

// "C:\  NTFS" as GetVolumeInformationA reports it, or false for a drive without a volume.
bool showVolume(char letter) {
  const char root[] = {letter, ':', '\\', '\0'};
  char fileSystem[MAX_PATH + 1] = {};
  if (!GetVolumeInformationA(root, nullptr, 0, nullptr, nullptr, nullptr, fileSystem,
                             sizeof fileSystem))
    return false;
  out(format("%s  %s\n", root, fileSystem));
  return true;
}

}  // namespace

int runVolume(int argc, char** argv) {
  if (showHelp(argc, argv, kVolumeUsage)) return 0;
  char letter = 0;
  std::string fileSystem;
  bool setFs = false;
  for (int i = 1; i < argc; ++i) {
    std::string_view arg = argv[i];
    if (equalsNoCase(arg, "/fs")) {
      if (++i >= argc) return usageError("/fs needs a file-system name.", "volume");
      fileSystem = argv[i];
      setFs = true;
    } else if (!letter && parseDrive(arg, &letter)) {
    } else {
      return usageError("Invalid parameter '" + std::string(arg) + "'.", "volume");
    }
  }
  if (setFs) {
    if (!letter) return usageError("/fs needs a drive.", "volume");
    if (fileSystem.empty() || fileSystem.size() > kMaxFileSystemName)
      return usageError("A file-system name has 1 to 31 characters.", "volume");
    for (unsigned char c : fileSystem)
      if (c < 0x20) return usageError("A file-system name has no control characters.", "volume");
    const char name[] = {letter, ':', '\0'};
    if (!writeValue(kFileSystemsKey, name, REG_SZ, fileSystem.c_str(),
                    DWORD(fileSystem.size() + 1)))
      return 1;
    out("The operation completed successfully.\n");
    return 0;
  }
  if (letter) {
    if (showVolume(letter)) return 0;
    err(format("ERROR: Drive %c: has no volume (%lu).\n", letter,
               static_cast<unsigned long>(GetLastError())));
    return 1;
  }
  for (char c = 'A'; c <= 'Z'; ++c) showVolume(c);
  return 0;
}

int runVer(int argc, char** argv) {
  if (showHelp(argc, argv, kVerUsage)) return 0;
  struct Setting {
    const char* name;
    DWORD value;
  };
  Setting numbers[4];
  int count = 0;
  std::string servicePack;
  bool setServicePack = false;
  for (int i = 1; i < argc; ++i) {
    std::string_view arg = argv[i];
    if (i + 1 >= argc) return usageError("Invalid parameter '" + std::string(arg) + "'.", "ver");
    std::string value = argv[++i];
    if (equalsNoCase(arg, "/platform")) {
      DWORD n = 0;
      if (!parseNumber(value, &n)) return usageError("/platform needs a number.", "ver");
      numbers[count++] = {"PlatformId", n};
    } else if (equalsNoCase(arg, "/version")) {
      size_t a = value.find('.'), b = a == std::string::npos ? a : value.find('.', a + 1);
      DWORD major = 0, minor = 0, build = 0;
      if (b == std::string::npos || !parseNumber(value.substr(0, a), &major) ||
          !parseNumber(value.substr(a + 1, b - a - 1), &minor) ||
          !parseNumber(value.substr(b + 1), &build))
        return usageError("/version needs MAJOR.MINOR.BUILD.", "ver");
      if (count > 1) return usageError("/version is given twice.", "ver");
      numbers[count++] = {"MajorVersion", major};
      numbers[count++] = {"MinorVersion", minor};
      numbers[count++] = {"BuildNumber", build};
    } else if (equalsNoCase(arg, "/csd")) {
      if (value.size() > kMaxServicePack)
        return usageError("The service-pack text has at most 127 characters.", "ver");
      servicePack = value;
      setServicePack = true;
    } else {
      return usageError("Invalid parameter '" + std::string(arg) + "'.", "ver");
    }
  }
  if (count || setServicePack) {
    for (int i = 0; i < count; ++i)
      if (!writeNumber(numbers[i].name, numbers[i].value)) return 1;
    if (setServicePack && !writeValue(kVersionKey, "CSDVersion", REG_SZ, servicePack.c_str(),
                                      DWORD(servicePack.size() + 1)))
      return 1;
    out("The operation completed successfully.\n");
    return 0;
  }
  OSVERSIONINFOA v{};
  v.dwOSVersionInfoSize = sizeof v;
  if (!GetVersionExA(&v)) {
    err(format("ERROR: The version cannot be read (%lu).\n",
               static_cast<unsigned long>(GetLastError())));
    return 1;
  }
  out(format("PlatformId  %lu\nVersion     %lu.%lu.%lu\nCSDVersion  %s\n",
             static_cast<unsigned long>(v.dwPlatformId),
             static_cast<unsigned long>(v.dwMajorVersion),
             static_cast<unsigned long>(v.dwMinorVersion),
             static_cast<unsigned long>(v.dwBuildNumber), v.szCSDVersion));
  return 0;
}

}  // namespace pwm::system
