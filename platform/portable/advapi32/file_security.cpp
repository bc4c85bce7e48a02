// GetNamedSecurityInfoA and SetNamedSecurityInfoA for the machine's files and folders.
// An object's security is its own stored part (file_security_store.h) and, unless its
// list is protected, what it inherits from the folder above it, worked out down from
// the nearest protected folder or the drive's root.
#include <windows.h>

#include <aclapi.h>
#include <pwplatform.h>

#include "advapi32/ace_inheritance.h"
#include "advapi32/file_security_store.h"
#include "machine/guard.h"

#include <string>
#include <vector>

namespace {

using pw::security::Ace;
using pw::security::Descriptor;

// One file or folder: its Windows path, the host paths of it and of each folder above it
// up to its drive's root (root first), and whether it is a folder.
struct Object {
  std::vector<std::string> hosts;
  bool folder = false;
};

DWORD hostPathOf(const std::string& path, std::string* host) {
  DWORD n = PwGetHostPathA(path.c_str(), nullptr, 0);
  if (!n) return GetLastError();
  std::string buffer(n, '\0');
  DWORD got = PwGetHostPathA(path.c_str(), buffer.data(), n);
  if (!got || got >= n) return got ? DWORD(ERROR_PATH_NOT_FOUND) : GetLastError();
  buffer.resize(got);
  *host = std::move(buffer);
  return ERROR_SUCCESS;
}

DWORD locate(LPCSTR name, Object* object) {
  char full[MAX_PATH];
  DWORD n = GetFullPathNameA(name, MAX_PATH, full, nullptr);
  if (!n) return GetLastError();
  if (n >= MAX_PATH) return ERROR_FILENAME_EXCED_RANGE;
  std::string path(full, n);
  if (path.size() > 3 && path.back() == '\\') path.pop_back();
  DWORD attributes = GetFileAttributesA(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return GetLastError();
  object->folder = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  std::string root, host;
  if (DWORD st = hostPathOf(path.substr(0, 3), &root)) return st;
  if (DWORD st = hostPathOf(path, &host)) return st;
  // The host path is the root's, then one name for each name of the Windows path.
  object->hosts = {root};
  size_t at = root.size();
  while (at < host.size()) {
    size_t next = host.find('/', at + 1);
    if (next == std::string::npos) next = host.size();
    object->hosts.push_back(host.substr(0, next));
    at = next;
  }
  return ERROR_SUCCESS;
}

Descriptor ownPart(const Object& object, size_t level) {
  auto stored = pw::security::storedDescriptor(object.hosts[level]);
  Descriptor d = stored ? std::move(*stored) : pw::security::initialDescriptor(level == 0);
  if (level == 0) d.control |= SE_DACL_PROTECTED;  // a root has nothing to inherit from
  return d;
}

// The object's whole security: its own part, with its list followed by what it inherits.
Descriptor effective(const Object& object) {
  size_t last = object.hosts.size() - 1;
  std::vector<Descriptor> own;  // the object first, then each folder up to a protected one
  for (size_t level = last + 1; level-- > 0;) {
    own.push_back(ownPart(object, level));
    if (own.back().control & SE_DACL_PROTECTED) break;
  }
  Descriptor d = std::move(own.back());
  for (size_t i = own.size() - 1; i-- > 0;) {
    Descriptor& child = own[i];
    bool container = i > 0 || object.folder;
    if (!d.nullDacl) {
      auto inherited = pw::security::inheritedAces(d.dacl, container, child.owner, child.group);
      if (!child.nullDacl) child.dacl.insert(child.dacl.end(), inherited.begin(), inherited.end());
    }
    d = std::move(child);
  }
  return d;
}

// Replaces the stored list with `dacl` as SetNamedSecurityInfo does: a protected list
// keeps every entry given, as its own; an inheriting one drops the entries marked as
// inherited, which come from its folder instead.
void setList(Descriptor* own, const PACL dacl, SECURITY_INFORMATION info, bool driveRoot) {
  if (info & PROTECTED_DACL_SECURITY_INFORMATION)
    own->control |= SE_DACL_PROTECTED;
  else if (info & UNPROTECTED_DACL_SECURITY_INFORMATION)
    own->control &= WORD(~SE_DACL_PROTECTED);
  if (driveRoot) own->control |= SE_DACL_PROTECTED;
  bool isProtected = own->control & SE_DACL_PROTECTED;
  own->daclPresent = true;
  own->nullDacl = !dacl;
  own->dacl.clear();
  auto given = dacl ? pw::security::readAcl(dacl) : std::nullopt;
  if (!given) return;  // a null list (checked by the caller otherwise)
  for (Ace& ace : *given) {
    if (ace.inherited() && !isProtected) continue;
    ace.flags &= BYTE(~INHERITED_ACE);
    own->dacl.push_back(std::move(ace));
  }
}

DWORD checkRequest(SE_OBJECT_TYPE type, SECURITY_INFORMATION info) {
  if (type == SE_UNKNOWN_OBJECT_TYPE || type > SE_REGISTRY_WOW64_32KEY)
    return ERROR_INVALID_PARAMETER;
  if (type != SE_FILE_OBJECT) return ERROR_NOT_SUPPORTED;  // only files and folders here
  // The system's audit lists need a privilege that the machine's programs do not hold.
  if (info & SACL_SECURITY_INFORMATION) return ERROR_PRIVILEGE_NOT_HELD;
  return ERROR_SUCCESS;
}

}  // namespace

DWORD WINAPI GetNamedSecurityInfoA(LPCSTR name, SE_OBJECT_TYPE type, SECURITY_INFORMATION info,
                                   PSID* owner, PSID* group, PACL* dacl, PACL* sacl,
                                   PSECURITY_DESCRIPTOR* sd) {
  return pw::guarded(DWORD(ERROR_NOT_ENOUGH_MEMORY), [&]() -> DWORD {
    if (!name) return ERROR_INVALID_PARAMETER;
    if (DWORD st = checkRequest(type, info)) return st;
    bool wantsOwner = info & OWNER_SECURITY_INFORMATION,
         wantsGroup = info & GROUP_SECURITY_INFORMATION;
    bool wantsDacl = info & DACL_SECURITY_INFORMATION;
    if (!sd && ((wantsOwner && owner) || (wantsGroup && group) || (wantsDacl && dacl)))
      return ERROR_INVALID_PARAMETER;
    Object object;
    if (DWORD st = locate(name, &object)) return st;
    Descriptor whole = effective(object);
    Descriptor out;
    if (wantsOwner) out.owner = whole.owner;
    if (wantsGroup) out.group = whole.group;
    if (wantsDacl) {
      out.daclPresent = true;
      out.nullDacl = whole.nullDacl;
      out.dacl = std::move(whole.dacl);
      out.control = WORD((whole.control & SE_DACL_PROTECTED) | SE_DACL_AUTO_INHERITED);
    }
    auto bytes = pw::security::selfRelative(out);
    if (!bytes) return ERROR_INVALID_ACL;
    if (owner) *owner = nullptr;
    if (group) *group = nullptr;
    if (dacl) *dacl = nullptr;
    if (sacl) *sacl = nullptr;
    if (!sd) return ERROR_SUCCESS;
    void* block = pw::security::localCopy(bytes->data(), bytes->size());
    if (!block) return ERROR_NOT_ENOUGH_MEMORY;
    *sd = block;
    BOOL present = FALSE, defaulted = FALSE;
    if (wantsOwner && owner) GetSecurityDescriptorOwner(block, owner, &defaulted);
    if (wantsGroup && group) GetSecurityDescriptorGroup(block, group, &defaulted);
    if (wantsDacl && dacl) GetSecurityDescriptorDacl(block, &present, dacl, &defaulted);
    return ERROR_SUCCESS;
  });
}

DWORD WINAPI SetNamedSecurityInfoA(LPSTR name, SE_OBJECT_TYPE type, SECURITY_INFORMATION info,
                                   PSID owner, PSID group, PACL dacl, PACL sacl) {
  return pw::guarded(DWORD(ERROR_NOT_ENOUGH_MEMORY), [&]() -> DWORD {
    if (!name) return ERROR_INVALID_PARAMETER;
    if (DWORD st = checkRequest(type, info)) return st;
    if ((info & OWNER_SECURITY_INFORMATION) && !pw::security::sidLength(owner))
      return owner ? DWORD(ERROR_INVALID_SID) : DWORD(ERROR_INVALID_OWNER);
    if ((info & GROUP_SECURITY_INFORMATION) && !pw::security::sidLength(group))
      return group ? DWORD(ERROR_INVALID_SID) : DWORD(ERROR_INVALID_PRIMARY_GROUP);
    if ((info & DACL_SECURITY_INFORMATION) && dacl && !pw::security::readAcl(dacl))
      return ERROR_INVALID_ACL;
    Object object;
    if (DWORD st = locate(name, &object)) return st;
    bool driveRoot = object.hosts.size() == 1;
    Descriptor own = ownPart(object, object.hosts.size() - 1);
    if (info & OWNER_SECURITY_INFORMATION) own.owner = pw::security::sidBytes(owner);
    if (info & GROUP_SECURITY_INFORMATION) own.group = pw::security::sidBytes(group);
    if (info & DACL_SECURITY_INFORMATION) setList(&own, dacl, info, driveRoot);
    return pw::security::storeDescriptor(object.hosts.back(), own);
  });
}
