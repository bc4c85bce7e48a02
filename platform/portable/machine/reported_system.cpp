#include "machine/reported_system.h"

#include "advapi32/hive.h"

#include <algorithm>
#include <cstring>

namespace pw::machine {
namespace {

using pw::registry::Hive;

// One key of the machine's settings, read through the hive's own interface.
class Settings {
 public:
  explicit Settings(const char* name) {
    hive_ = Hive::get(pw::registry::HiveId::Machine);
    if (hive_ && hive_->openPath(Hive::kRootId, {"Software", "PwPlatform", name}, &key_))
      hive_ = nullptr;
  }

  bool string(const char* name, std::string* out, size_t maxLength) const {
    DWORD type = REG_NONE;
    std::string data;
    if (!hive_ || hive_->queryValue(key_, name, &type, &data) != ERROR_SUCCESS || type != REG_SZ)
      return false;
    out->assign(data.c_str(), std::min(std::strlen(data.c_str()), maxLength));
    return true;
  }

  void dword(const char* name, DWORD* out) const {
    DWORD type = REG_NONE;
    std::string data;
    if (hive_ && hive_->queryValue(key_, name, &type, &data) == ERROR_SUCCESS &&
        type == REG_DWORD && data.size() == sizeof(DWORD))
      std::memcpy(out, data.data(), sizeof(DWORD));
  }

 private:
  Hive* hive_ = nullptr;
  int64_t key_ = 0;
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

}  // namespace pw::machine
