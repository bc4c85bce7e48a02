// The ACL functions, working in the caller's buffer as Windows does: entries are added
// at the end of the used part (or at an index) and must fit in the list's size.
#include <windows.h>

#include "advapi32/security_objects.h"
#include "machine/guard.h"

#include <cstring>
#include <optional>

namespace {

struct Layout {
  size_t used;  // the header and every entry
  std::vector<size_t> offsets;
};

WORD word(const BYTE* p) {
  WORD v;
  std::memcpy(&v, p, 2);
  return v;
}

void setWord(BYTE* p, WORD v) { std::memcpy(p, &v, 2); }

// Where each entry of a valid list begins, and where its used part ends.
std::optional<Layout> layoutOf(PACL acl) {
  if (!pw::security::readAcl(acl)) return std::nullopt;
  auto* p = reinterpret_cast<const BYTE*>(acl);
  Layout layout{sizeof(ACL), {}};
  for (WORD i = 0; i < word(p + 4); ++i) {
    layout.offsets.push_back(layout.used);
    layout.used += word(p + layout.used + 2);
  }
  return layout;
}

// Puts `size` bytes of entries at entry index `index` (the end when past it), moving
// the later entries up; false when the list has no room for them.
bool insert(PACL acl, const Layout& layout, size_t index, const BYTE* entries, size_t size,
            WORD count) {
  auto* p = reinterpret_cast<BYTE*>(acl);
  if (layout.used + size > word(p + 2)) return false;
  size_t at = index < layout.offsets.size() ? layout.offsets[index] : layout.used;
  std::memmove(p + at + size, p + at, layout.used - at);
  std::memcpy(p + at, entries, size);
  setWord(p + 4, WORD(word(p + 4) + count));
  return true;
}

BOOL addAccessAce(PACL acl, DWORD revision, BYTE type, DWORD flags, DWORD mask, PSID sid) {
  return pw::guarded(FALSE, ERROR_NOT_ENOUGH_MEMORY, [&]() -> BOOL {
    if (!pw::security::sidLength(sid)) return pw::fail(ERROR_INVALID_SID);
    auto layout = layoutOf(acl);
    if (!layout) return pw::fail(ERROR_INVALID_ACL);
    if (revision < ACL_REVISION || revision > MAX_ACL_REVISION)
      return pw::fail(ERROR_INVALID_PARAMETER);
    pw::security::Ace ace;
    ace.type = type;
    ace.flags = BYTE(flags);
    ace.mask = mask;
    ace.sid = pw::security::sidBytes(sid);
    pw::security::Bytes bytes;
    pw::security::appendAce(&bytes, ace);
    if (!insert(acl, *layout, SIZE_MAX, bytes.data(), bytes.size(), 1))
      return pw::fail(ERROR_ALLOTTED_SPACE_EXCEEDED);
    if (acl->AclRevision < revision) acl->AclRevision = BYTE(revision);
    return TRUE;
  });
}

}  // namespace

BOOL WINAPI InitializeAcl(PACL acl, DWORD length, DWORD revision) {
  if (length < sizeof(ACL)) return pw::fail(ERROR_INSUFFICIENT_BUFFER);
  if (length > 0xFFFF || revision < ACL_REVISION || revision > MAX_ACL_REVISION)
    return pw::fail(ERROR_INVALID_PARAMETER);
  std::memset(acl, 0, sizeof(ACL));
  acl->AclRevision = BYTE(revision);
  acl->AclSize = WORD(length);
  return TRUE;
}

BOOL WINAPI IsValidAcl(PACL acl) {
  return pw::guarded(FALSE, [&]() -> BOOL { return pw::security::readAcl(acl).has_value(); });
}

BOOL WINAPI GetAclInformation(PACL acl, LPVOID info, DWORD length, ACL_INFORMATION_CLASS kind) {
  return pw::guarded(FALSE, ERROR_NOT_ENOUGH_MEMORY, [&]() -> BOOL {
    auto layout = layoutOf(acl);
    if (!layout) return pw::fail(ERROR_INVALID_ACL);
    if (kind == AclRevisionInformation) {
      if (!info || length < sizeof(ACL_REVISION_INFORMATION))
        return pw::fail(ERROR_INVALID_PARAMETER);
      static_cast<ACL_REVISION_INFORMATION*>(info)->AclRevision = acl->AclRevision;
      return TRUE;
    }
    if (kind != AclSizeInformation || !info || length < sizeof(ACL_SIZE_INFORMATION))
      return pw::fail(ERROR_INVALID_PARAMETER);
    auto* size = static_cast<ACL_SIZE_INFORMATION*>(info);
    size->AceCount = acl->AceCount;
    size->AclBytesInUse = DWORD(layout->used);
    size->AclBytesFree = DWORD(acl->AclSize - layout->used);
    return TRUE;
  });
}

BOOL WINAPI AddAce(PACL acl, DWORD revision, DWORD start, LPVOID list, DWORD length) {
  return pw::guarded(FALSE, ERROR_NOT_ENOUGH_MEMORY, [&]() -> BOOL {
    auto layout = layoutOf(acl);
    if (!layout || !list || revision < ACL_REVISION || revision > MAX_ACL_REVISION)
      return pw::fail(ERROR_INVALID_PARAMETER);
    // The entries given must tile the length exactly.
    auto* entries = static_cast<const BYTE*>(list);
    WORD count = 0;
    for (size_t at = 0; at < length; ++count) {
      if (at + sizeof(ACE_HEADER) > length) return pw::fail(ERROR_INVALID_PARAMETER);
      WORD size = word(entries + at + 2);
      if (size < sizeof(ACE_HEADER) || at + size > length) return pw::fail(ERROR_INVALID_PARAMETER);
      at += size;
    }
    if (!insert(acl, *layout, start, entries, length, count))
      return pw::fail(ERROR_INSUFFICIENT_BUFFER);
    if (acl->AclRevision < revision) acl->AclRevision = BYTE(revision);
    return TRUE;
  });
}

BOOL WINAPI GetAce(PACL acl, DWORD index, LPVOID* ace) {
  return pw::guarded(FALSE, ERROR_NOT_ENOUGH_MEMORY, [&]() -> BOOL {
    auto layout = layoutOf(acl);
    if (!layout || !ace || index >= layout->offsets.size())
      return pw::fail(ERROR_INVALID_PARAMETER);
    *ace = reinterpret_cast<BYTE*>(acl) + layout->offsets[index];
    return TRUE;
  });
}

BOOL WINAPI DeleteAce(PACL acl, DWORD index) {
  return pw::guarded(FALSE, ERROR_NOT_ENOUGH_MEMORY, [&]() -> BOOL {
    auto layout = layoutOf(acl);
    if (!layout || index >= layout->offsets.size()) return pw::fail(ERROR_INVALID_PARAMETER);
    auto* p = reinterpret_cast<BYTE*>(acl);
    size_t at = layout->offsets[index];
    size_t size = word(p + at + 2);
    std::memmove(p + at, p + at + size, layout->used - at - size);
    acl->AceCount = WORD(acl->AceCount - 1);
    return TRUE;
  });
}

BOOL WINAPI AddAccessAllowedAce(PACL acl, DWORD revision, DWORD mask, PSID sid) {
  return addAccessAce(acl, revision, ACCESS_ALLOWED_ACE_TYPE, 0, mask, sid);
}

BOOL WINAPI AddAccessAllowedAceEx(PACL acl, DWORD revision, DWORD flags, DWORD mask, PSID sid) {
  return addAccessAce(acl, revision, ACCESS_ALLOWED_ACE_TYPE, flags, mask, sid);
}

BOOL WINAPI AddAccessDeniedAce(PACL acl, DWORD revision, DWORD mask, PSID sid) {
  return addAccessAce(acl, revision, ACCESS_DENIED_ACE_TYPE, 0, mask, sid);
}

BOOL WINAPI AddAccessDeniedAceEx(PACL acl, DWORD revision, DWORD flags, DWORD mask, PSID sid) {
  return addAccessAce(acl, revision, ACCESS_DENIED_ACE_TYPE, flags, mask, sid);
}

void WINAPI MapGenericMask(PDWORD mask, PGENERIC_MAPPING mapping) {
  if (*mask & GENERIC_READ) *mask |= mapping->GenericRead;
  if (*mask & GENERIC_WRITE) *mask |= mapping->GenericWrite;
  if (*mask & GENERIC_EXECUTE) *mask |= mapping->GenericExecute;
  if (*mask & GENERIC_ALL) *mask |= mapping->GenericAll;
  *mask &= ~(GENERIC_READ | GENERIC_WRITE | GENERIC_EXECUTE | GENERIC_ALL);
}
