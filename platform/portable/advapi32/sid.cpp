// The SID functions: building, copying, comparing and inspecting security identifiers,
// the well-known ones, and their text form.
#include <windows.h>

#include <sddl.h>

#include "advapi32/accounts.h"
#include "machine/guard.h"

#include <cstdlib>
#include <cstring>

namespace {

using pw::security::Bytes;

constexpr size_t kSidHeader = 8;

BYTE* bytesOf(PSID sid) { return static_cast<BYTE*>(sid); }

const pw::security::Account* wellKnown(WELL_KNOWN_SID_TYPE type) {
  for (const auto& account : pw::security::accounts())
    if (account.wellKnownType == int(type)) return &account;
  return nullptr;
}

}  // namespace

BOOL WINAPI AllocateAndInitializeSid(PSID_IDENTIFIER_AUTHORITY authority, BYTE count, DWORD s0,
                                     DWORD s1, DWORD s2, DWORD s3, DWORD s4, DWORD s5, DWORD s6,
                                     DWORD s7, PSID* sid) {
  if (!authority || !sid) return pw::fail(ERROR_INVALID_PARAMETER);
  if (count > 8) return pw::fail(ERROR_INVALID_SID);
  auto* p = static_cast<BYTE*>(std::malloc(kSidHeader + 4 * size_t(count)));
  if (!p) return pw::fail(ERROR_NOT_ENOUGH_MEMORY);
  p[0] = SID_REVISION;
  p[1] = count;
  std::memcpy(p + 2, authority->Value, 6);
  const DWORD subs[] = {s0, s1, s2, s3, s4, s5, s6, s7};
  std::memcpy(p + kSidHeader, subs, 4 * size_t(count));
  *sid = p;
  return TRUE;
}

PVOID WINAPI FreeSid(PSID sid) {
  std::free(sid);
  return nullptr;
}

BOOL WINAPI InitializeSid(PSID sid, PSID_IDENTIFIER_AUTHORITY authority, BYTE count) {
  if (!sid || !authority || count > SID_MAX_SUB_AUTHORITIES)
    return pw::fail(ERROR_INVALID_PARAMETER);
  bytesOf(sid)[0] = SID_REVISION;
  bytesOf(sid)[1] = count;
  std::memcpy(bytesOf(sid) + 2, authority->Value, 6);
  return TRUE;
}

DWORD WINAPI GetSidLengthRequired(BYTE count) { return DWORD(kSidHeader + 4 * size_t(count)); }

DWORD WINAPI GetLengthSid(PSID sid) { return DWORD(kSidHeader + 4 * size_t(bytesOf(sid)[1])); }

BOOL WINAPI IsValidSid(PSID sid) { return pw::security::sidLength(sid) != 0; }

BOOL WINAPI EqualSid(PSID a, PSID b) {
  size_t n = pw::security::sidLength(a);
  if (!n || !pw::security::sidLength(b)) return pw::fail(ERROR_INVALID_SID);
  SetLastError(ERROR_SUCCESS);
  return n == pw::security::sidLength(b) && std::memcmp(a, b, n) == 0;
}

BOOL WINAPI CopySid(DWORD length, PSID to, PSID from) {
  size_t n = pw::security::sidLength(from);
  if (!n) return pw::fail(ERROR_INVALID_SID);
  if (length < n || !to) return pw::fail(ERROR_INSUFFICIENT_BUFFER);
  std::memmove(to, from, n);
  return TRUE;
}

PSID_IDENTIFIER_AUTHORITY WINAPI GetSidIdentifierAuthority(PSID sid) {
  SetLastError(ERROR_SUCCESS);
  return reinterpret_cast<PSID_IDENTIFIER_AUTHORITY>(bytesOf(sid) + 2);
}

PDWORD WINAPI GetSidSubAuthority(PSID sid, DWORD index) {
  SetLastError(ERROR_SUCCESS);
  return reinterpret_cast<PDWORD>(bytesOf(sid) + kSidHeader + 4 * size_t(index));
}

BYTE* WINAPI GetSidSubAuthorityCount(PSID sid) {
  SetLastError(ERROR_SUCCESS);
  return bytesOf(sid) + 1;
}

BOOL WINAPI CreateWellKnownSid(WELL_KNOWN_SID_TYPE type, PSID domain, PSID sid, DWORD* cbSid) {
  return pw::guarded(FALSE, ERROR_NOT_ENOUGH_MEMORY, [&]() -> BOOL {
    const pw::security::Account* account = wellKnown(type);
    if (!cbSid || !account) return pw::fail(ERROR_INVALID_PARAMETER);
    Bytes bytes = pw::security::parseSidText(account->sid);
    if (!sid || *cbSid < bytes.size()) {
      *cbSid = DWORD(bytes.size());
      return pw::fail(ERROR_INSUFFICIENT_BUFFER);
    }
    std::memcpy(sid, bytes.data(), bytes.size());
    *cbSid = DWORD(bytes.size());
    return TRUE;
  });
}

BOOL WINAPI IsWellKnownSid(PSID sid, WELL_KNOWN_SID_TYPE type) {
  return pw::guarded(FALSE, [&]() -> BOOL {
    const pw::security::Account* account = wellKnown(type);
    return account && pw::security::sameSid(pw::security::parseSidText(account->sid), sid);
  });
}

BOOL WINAPI ConvertSidToStringSidA(PSID sid, LPSTR* text) {
  return pw::guarded(FALSE, ERROR_NOT_ENOUGH_MEMORY, [&]() -> BOOL {
    if (!pw::security::sidLength(sid)) return pw::fail(ERROR_INVALID_SID);
    if (!text) return pw::fail(ERROR_INVALID_PARAMETER);
    std::string s = pw::security::sidText(sid);
    void* copy = pw::security::localCopy(s.c_str(), s.size() + 1);
    if (!copy) return pw::fail(ERROR_NOT_ENOUGH_MEMORY);
    *text = static_cast<LPSTR>(copy);
    return TRUE;
  });
}

BOOL WINAPI ConvertStringSidToSidA(LPCSTR text, PSID* sid) {
  return pw::guarded(FALSE, ERROR_NOT_ENOUGH_MEMORY, [&]() -> BOOL {
    if (!text || !sid) return pw::fail(ERROR_INVALID_PARAMETER);
    Bytes bytes = pw::security::parseSidText(text);
    if (bytes.empty()) return pw::fail(ERROR_INVALID_SID);
    void* copy = pw::security::localCopy(bytes.data(), bytes.size());
    if (!copy) return pw::fail(ERROR_NOT_ENOUGH_MEMORY);
    *sid = copy;
    return TRUE;
  });
}
