#include "advapi32/file_security_store.h"

#include "advapi32/accounts.h"

#include <sys/xattr.h>
#include <cerrno>

namespace pw::security {
namespace {

constexpr const char* kAttribute = "user.pwplatform.sd";
constexpr BYTE kFormat = 1;  // the first byte: this layout, a self-relative descriptor after it
constexpr size_t kMaxStored = 65536 + 64;

Ace entry(const char* sid, BYTE flags, ACCESS_MASK mask) {
  Ace ace;
  ace.flags = flags;
  ace.mask = mask;
  ace.sid = parseSidText(sid);
  return ace;
}

}  // namespace

Descriptor initialDescriptor(bool driveRoot) {
  Descriptor d;
  d.owner = administratorsSid();
  d.group = systemSid();
  d.daclPresent = true;
  if (!driveRoot) return d;
  constexpr BYTE kBoth = OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE;
  d.control = SE_DACL_PROTECTED;
  d.dacl = {entry("S-1-5-32-544", kBoth, FILE_ALL_ACCESS),
            entry("S-1-5-18", kBoth, FILE_ALL_ACCESS),
            entry("S-1-5-32-545", kBoth, FILE_GENERIC_READ | FILE_GENERIC_EXECUTE),
            entry("S-1-5-11", kBoth | INHERIT_ONLY_ACE,
                  FILE_GENERIC_READ | FILE_GENERIC_WRITE | FILE_GENERIC_EXECUTE | DELETE),
            entry("S-1-5-11", 0, FILE_ADD_SUBDIRECTORY)};
  return d;
}

std::optional<Descriptor> storedDescriptor(const std::string& host) {
  Bytes data(4096);
  ssize_t n = ::getxattr(host.c_str(), kAttribute, data.data(), data.size());
  if (n < 0 && errno == ERANGE) {
    n = ::getxattr(host.c_str(), kAttribute, nullptr, 0);
    if (n <= 0 || size_t(n) > kMaxStored) return std::nullopt;
    data.resize(size_t(n));
    n = ::getxattr(host.c_str(), kAttribute, data.data(), data.size());
  }
  if (n < 2 || data[0] != kFormat) return std::nullopt;
  auto d = readDescriptor(data.data() + 1, size_t(n) - 1);
  if (!d || !d->daclPresent) return std::nullopt;
  return d;
}

DWORD storeDescriptor(const std::string& host, const Descriptor& own) {
  auto sd = selfRelative(own);
  if (!sd) return ERROR_INVALID_ACL;
  Bytes data;
  data.reserve(sd->size() + 1);
  data.push_back(kFormat);
  data.insert(data.end(), sd->begin(), sd->end());
  if (::setxattr(host.c_str(), kAttribute, data.data(), data.size(), 0) == 0) return ERROR_SUCCESS;
  switch (errno) {
    case ENOTSUP:
      return ERROR_NOT_SUPPORTED;
    case ENOSPC:
    case EDQUOT:
    case E2BIG:
      return ERROR_DISK_FULL;  // the file system's room for attributes is used up
    case ENOENT:
      return ERROR_FILE_NOT_FOUND;
    case ENOMEM:
      return ERROR_NOT_ENOUGH_MEMORY;
    default:
      return ERROR_ACCESS_DENIED;
  }
}

}  // namespace pw::security
