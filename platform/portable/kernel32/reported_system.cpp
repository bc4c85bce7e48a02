// What the workstation reports of itself, read from the machine's own settings.
#include "kernel32/reported_system.h"

#include "machine/faults.h"

#include <algorithm>
#include <cstring>

namespace pw::kernel {
namespace {

// One key of the machine's settings, read through the registry functions. The reads are
// the machine's own, not the program's (machine/faults.h).
class Settings {
 public:
  explicit Settings(const char* name) {
    std::string path = std::string("Software\\PwPlatform\\") + name;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_QUERY_VALUE, &key_)) key_ = nullptr;
  }
  ~Settings() {
    if (key_) RegCloseKey(key_);
  }
  Settings(const Settings&) = delete;
  Settings& operator=(const Settings&) = delete;

  bool string(const char* name, std::string* out, size_t maxLength) const {
    DWORD type = REG_NONE, size = 0;
    if (!key_ || RegQueryValueExA(key_, name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS ||
        type != REG_SZ)
      return false;
    std::string data(size, '\0');
    if (RegQueryValueExA(key_, name, nullptr, &type, reinterpret_cast<BYTE*>(data.data()), &size) !=
        ERROR_SUCCESS)
      return false;
    out->assign(data.c_str(), std::min(strnlen(data.c_str(), size), maxLength));
    return true;
  }

  void dword(const char* name, DWORD* out) const {
    DWORD type = REG_NONE, value = 0, size = sizeof value;
    if (key_ &&
        RegQueryValueExA(key_, name, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size) ==
            ERROR_SUCCESS &&
        type == REG_DWORD && size == sizeof value)
      *out = value;
  }

 private:
  pw::faults::Unfaulted machineOwnRead_;
  HKEY key_ = nullptr;
};

}  // namespace

std::string fileSystemName(char drive) {
  const char name[] = {drive, ':', '\0'};
  std::string fs;
  if (!Settings("FileSystems").string(name, &fs, 255) || fs.empty()) fs = "NTFS";
  return fs;
}

ReportedVersion reportedVersion() {
  ReportedVersion v;
  Settings key("Version");
  key.dword("PlatformId", &v.platformId);
  key.dword("MajorVersion", &v.major);
  key.dword("MinorVersion", &v.minor);
  key.dword("BuildNumber", &v.build);
  key.string("CSDVersion", &v.servicePack, 127);
  return v;
}

}  // namespace pw::kernel
