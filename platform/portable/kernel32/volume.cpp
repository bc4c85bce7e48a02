// GetVolumeInformationA: what a drive reports about its volume. The file-system
// name comes from the machine's settings (NTFS unless the administrator set
// another); the volume has no label and a serial number fixed per machine and drive.
#include <windows.h>

#include "kernel32/paths.h"
#include "kernel32/reported_system.h"
#include "machine/faults.h"
#include "machine/guard.h"
#include "machine/host_calls.h"
#include "machine/machine.h"

#include <sys/stat.h>
#include <cstring>
#include <string>

namespace {

// The error for a root that is not a drive's root folder: a path with a folder
// below the root is no root; anything else is a malformed name.
DWORD notRootError(const char* root) {
  if (root[0] && root[1] == ':') root += 2;
  while (*root == '\\' || *root == '/') ++root;
  return std::strpbrk(root, "\\/") ? ERROR_DIR_NOT_ROOT : ERROR_INVALID_NAME;
}

DWORD serialNumber(char drive) {
  uint32_t hash = 2166136261u;  // FNV-1a over the machine root and the letter
  for (char c : pw::machine::root() + drive) hash = (hash ^ uint8_t(c)) * 16777619u;
  return hash;
}

bool copyOut(const std::string& text, LPSTR buffer, DWORD size) {
  if (!buffer) return true;
  if (size <= text.size()) return false;
  std::memcpy(buffer, text.c_str(), text.size() + 1);
  return true;
}

}  // namespace

BOOL WINAPI GetVolumeInformationA(LPCSTR root, LPSTR label, DWORD labelSize, LPDWORD serial,
                                  LPDWORD maxComponent, LPDWORD flags, LPSTR fileSystem,
                                  DWORD fileSystemSize) {
  if (auto fault = pw::faults::injected(pw::faults::Point::GetVolumeInformationA))
    return pw::fail(*fault);
  return pw::guarded(FALSE, ERROR_NOT_ENOUGH_MEMORY, [&]() -> BOOL {
    const char* path = root ? root : "\\";
    std::string full, host;
    if (pw::paths::fullPath(path, &full) != ERROR_SUCCESS) return pw::fail(ERROR_PATH_NOT_FOUND);
    if (full.size() != 3) return pw::fail(notRootError(path));
    struct stat st {};
    if (pw::paths::hostPath(full, &host) != ERROR_SUCCESS ||
        pw::host::stat(host.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
      return pw::fail(ERROR_PATH_NOT_FOUND);

    char drive = char(full[0] & ~0x20);
    std::string name = pw::kernel::fileSystemName(drive);
    if (!copyOut("", label, labelSize) || !copyOut(name, fileSystem, fileSystemSize))
      return pw::fail(ERROR_BAD_LENGTH);
    if (serial) *serial = serialNumber(drive);
    if (maxComponent) *maxComponent = 255;
    if (flags) {
      *flags = FILE_CASE_PRESERVED_NAMES | FILE_UNICODE_ON_DISK;
      if (name == "NTFS") *flags |= FILE_PERSISTENT_ACLS;
    }
    return TRUE;
  });
}
