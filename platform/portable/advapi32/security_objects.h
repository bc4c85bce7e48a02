// The byte layouts of security identifiers, access control lists and self-relative
// security descriptors, read into values and written back. Every reader checks the
// bytes as Windows' validity checks do (IsValidSid, IsValidAcl, IsValidSecurityDescriptor)
// before it trusts a length or an offset, so that a caller's or a store's bad bytes are
// refused, never followed.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string_view>
#include <vector>

namespace pw::security {

using Bytes = std::vector<BYTE>;

// The length of a valid SID (revision 1, at most 15 sub-authorities); 0 for anything else.
// `room` bounds what may be read: a SID longer than it is invalid.
size_t sidLength(const void* sid, size_t room = SIZE_MAX);
// The SID's bytes; empty when it is invalid.
Bytes sidBytes(const void* sid);
bool sameSid(const Bytes& a, const void* b);
// A SID made of an authority and sub-authorities.
Bytes makeSid(BYTE authority, std::initializer_list<DWORD> subAuthorities);

// One access control entry. The allowed, denied and audit types share one layout (mask,
// then SID); any other type keeps its body (what follows the header) as it came.
struct Ace {
  BYTE type = ACCESS_ALLOWED_ACE_TYPE;
  BYTE flags = 0;
  ACCESS_MASK mask = 0;
  Bytes sid;
  Bytes body;  // other types only

  bool hasSid() const { return type <= SYSTEM_AUDIT_ACE_TYPE; }
  size_t size() const;
  bool inherited() const { return (flags & INHERITED_ACE) != 0; }
};

// The entries of a valid ACL; nullopt when IsValidAcl would refuse it.
std::optional<std::vector<Ace>> readAcl(const ACL* acl);
// The bytes of an ACL (revision 2) holding exactly `aces`; nullopt beyond 65,535 bytes.
std::optional<Bytes> aclBytes(const std::vector<Ace>& aces);
// Appends one entry's bytes.
void appendAce(Bytes* out, const Ace& ace);

// What a security descriptor says, in values. A present DACL may be null (no list at
// all: everyone may do everything), which differs from an empty one (nobody may).
struct Descriptor {
  WORD control = 0;  // SE_DACL_PROTECTED, SE_DACL_AUTO_INHERITED, ...; not the presence bits
  Bytes owner;       // empty: none
  Bytes group;
  bool daclPresent = false;
  bool nullDacl = false;
  std::vector<Ace> dacl;
};

// The self-relative form, owner, group and DACL in that order after the header.
std::optional<Bytes> selfRelative(const Descriptor& d);
// A descriptor in either form, checked; nullopt when IsValidSecurityDescriptor refuses it.
// `room` bounds a self-relative descriptor's bytes.
std::optional<Descriptor> readDescriptor(const void* sd, size_t room = SIZE_MAX);

// A copy in memory from LocalAlloc, which the caller frees with LocalFree; null when
// the allocation fails.
void* localCopy(const void* data, size_t size);

}  // namespace pw::security
