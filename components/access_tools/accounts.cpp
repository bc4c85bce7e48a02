#include "access_tools/accounts.h"

#include <sddl.h>

#include "local.h"  // src/win32

namespace access_tools {

DWORD sidOfAccount(std::string_view text, bool starredSid, Sid* sid) {
  std::string name(text);
  if (starredSid && !name.empty() && name[0] == '*') {
    win32::LocalMemory block;
    if (!ConvertStringSidToSidA(name.c_str() + 1, block.out())) return GetLastError();
    auto* bytes = static_cast<const BYTE*>(block.get());
    sid->assign(bytes, bytes + GetLengthSid(block.get()));
    return ERROR_SUCCESS;
  }
  BYTE buffer[SECURITY_MAX_SID_SIZE];
  char domain[256];
  DWORD size = sizeof buffer, domainSize = sizeof domain;
  SID_NAME_USE use;
  if (name.empty() ||
      !LookupAccountNameA(nullptr, name.c_str(), buffer, &size, domain, &domainSize, &use))
    return name.empty() ? DWORD(ERROR_NONE_MAPPED) : GetLastError();
  sid->assign(buffer, buffer + size);
  return ERROR_SUCCESS;
}

std::string accountName(const void* sid) {
  char name[256], domain[256];
  DWORD nameSize = sizeof name, domainSize = sizeof domain;
  SID_NAME_USE use;
  if (LookupAccountSidA(nullptr, const_cast<void*>(sid), name, &nameSize, domain, &domainSize,
                        &use))
    return *domain ? std::string(domain) + "\\" + name : std::string(name);
  char* text = nullptr;
  if (!ConvertSidToStringSidA(const_cast<void*>(sid), &text)) return "?";
  std::string s = text;
  LocalFree(text);
  return s;
}

}  // namespace access_tools
