#include "advapi32/security_objects.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace pw::security {
namespace {

constexpr size_t kSidHeader = 8;  // revision, count, six bytes of authority
constexpr size_t kAceHeader = sizeof(ACE_HEADER);
constexpr size_t kAceSidOffset = kAceHeader + sizeof(ACCESS_MASK);
constexpr size_t kRelativeHeader = 20;  // SECURITY_DESCRIPTOR_RELATIVE

template <class T>
T load(const BYTE* p) {
  T v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

template <class T>
void store(BYTE* p, T v) {
  std::memcpy(p, &v, sizeof v);
}

template <class T>
void put(Bytes* out, T v) {
  size_t at = out->size();
  out->resize(at + sizeof v);
  store(out->data() + at, v);
}

// The ACL's bytes when they are valid: revision 2 to 4, a size of at least the header,
// and entries that each fit within it with a valid SID where their type has one.
std::optional<std::vector<Ace>> readAclBytes(const BYTE* p, size_t room) {
  if (room < sizeof(ACL)) return std::nullopt;
  BYTE revision = p[0];
  WORD size = load<WORD>(p + 2);
  WORD count = load<WORD>(p + 4);
  if (revision < ACL_REVISION || revision > MAX_ACL_REVISION) return std::nullopt;
  if (size < sizeof(ACL) || size > room) return std::nullopt;
  std::vector<Ace> aces;
  size_t at = sizeof(ACL);
  for (WORD i = 0; i < count; ++i) {
    if (at + kAceHeader > size) return std::nullopt;
    Ace ace;
    ace.type = p[at];
    ace.flags = p[at + 1];
    WORD aceSize = load<WORD>(p + at + 2);
    if (aceSize < kAceHeader || at + aceSize > size) return std::nullopt;
    if (ace.hasSid()) {
      if (aceSize < kAceSidOffset) return std::nullopt;
      ace.mask = load<ACCESS_MASK>(p + at + kAceHeader);
      size_t sidLen = sidLength(p + at + kAceSidOffset, aceSize - kAceSidOffset);
      if (!sidLen) return std::nullopt;
      ace.sid.assign(p + at + kAceSidOffset, p + at + kAceSidOffset + sidLen);
    } else {
      ace.body.assign(p + at + kAceHeader, p + at + aceSize);
    }
    aces.push_back(std::move(ace));
    at += aceSize;
  }
  return aces;
}

}  // namespace

size_t sidLength(const void* sid, size_t room) {
  if (!sid || room < kSidHeader) return 0;
  auto* p = static_cast<const BYTE*>(sid);
  if (p[0] != SID_REVISION || p[1] > SID_MAX_SUB_AUTHORITIES) return 0;
  size_t length = kSidHeader + 4 * size_t(p[1]);
  return length <= room ? length : 0;
}

Bytes sidBytes(const void* sid) {
  size_t n = sidLength(sid);
  auto* p = static_cast<const BYTE*>(sid);
  return n ? Bytes(p, p + n) : Bytes();
}

bool sameSid(const Bytes& a, const void* b) {
  size_t n = sidLength(b);
  return n && n == a.size() && std::memcmp(a.data(), b, n) == 0;
}

Bytes makeSid(BYTE authority, std::initializer_list<DWORD> subAuthorities) {
  Bytes sid = {SID_REVISION, BYTE(subAuthorities.size()), 0, 0, 0, 0, 0, authority};
  for (DWORD sub : subAuthorities) put(&sid, sub);
  return sid;
}

size_t Ace::size() const {
  return kAceHeader + (hasSid() ? sizeof(ACCESS_MASK) + sid.size() : body.size());
}

std::optional<std::vector<Ace>> readAcl(const ACL* acl) {
  if (!acl) return std::nullopt;
  auto* p = reinterpret_cast<const BYTE*>(acl);
  return readAclBytes(p, load<WORD>(p + 2));
}

void appendAce(Bytes* out, const Ace& ace) {
  out->push_back(ace.type);
  out->push_back(ace.flags);
  put(out, WORD(ace.size()));
  if (ace.hasSid()) {
    put(out, ace.mask);
    out->insert(out->end(), ace.sid.begin(), ace.sid.end());
  } else {
    out->insert(out->end(), ace.body.begin(), ace.body.end());
  }
}

std::optional<Bytes> aclBytes(const std::vector<Ace>& aces) {
  size_t size = sizeof(ACL);
  for (const Ace& ace : aces) size += ace.size();
  if (size > 0xFFFF || aces.size() > 0xFFFF) return std::nullopt;
  Bytes out = {ACL_REVISION, 0};
  put(&out, WORD(size));
  put(&out, WORD(aces.size()));
  put(&out, WORD(0));
  for (const Ace& ace : aces) appendAce(&out, ace);
  return out;
}

std::optional<Bytes> selfRelative(const Descriptor& d) {
  Bytes out(kRelativeHeader, 0);
  out[0] = SECURITY_DESCRIPTOR_REVISION;
  WORD control = WORD(d.control | SE_SELF_RELATIVE);
  if (d.daclPresent) control |= SE_DACL_PRESENT;
  store(out.data() + 2, control);
  auto place = [&](size_t field, const Bytes& part) {
    if (part.empty()) return;
    store(out.data() + field, DWORD(out.size()));
    out.insert(out.end(), part.begin(), part.end());
  };
  place(4, d.owner);
  place(8, d.group);
  if (d.daclPresent && !d.nullDacl) {
    auto acl = aclBytes(d.dacl);
    if (!acl) return std::nullopt;
    place(16, *acl);
  }
  return out;
}

std::optional<Descriptor> readDescriptor(const void* sd, size_t room) {
  if (!sd || room < 4) return std::nullopt;
  auto* p = static_cast<const BYTE*>(sd);
  if (p[0] != SECURITY_DESCRIPTOR_REVISION) return std::nullopt;
  WORD control = load<WORD>(p + 2);
  Descriptor d;
  d.control = WORD(control & ~(SE_SELF_RELATIVE | SE_DACL_PRESENT | SE_SACL_PRESENT));
  d.daclPresent = (control & SE_DACL_PRESENT) != 0;
  const BYTE *owner = nullptr, *group = nullptr, *dacl = nullptr;
  size_t ownerRoom = SIZE_MAX, groupRoom = SIZE_MAX, daclRoom = SIZE_MAX;
  if (control & SE_SELF_RELATIVE) {
    if (room < kRelativeHeader) return std::nullopt;
    auto at = [&](size_t field, const BYTE** part, size_t* partRoom) {
      DWORD offset = load<DWORD>(p + field);
      if (!offset) return true;
      if (offset < kRelativeHeader || offset >= room) return false;
      *part = p + offset;
      *partRoom = room - offset;
      return true;
    };
    if (!at(4, &owner, &ownerRoom) || !at(8, &group, &groupRoom) || !at(16, &dacl, &daclRoom))
      return std::nullopt;
  } else {
    auto* absolute = static_cast<const SECURITY_DESCRIPTOR*>(sd);
    owner = static_cast<const BYTE*>(absolute->Owner);
    group = static_cast<const BYTE*>(absolute->Group);
    dacl = reinterpret_cast<const BYTE*>(absolute->Dacl);
  }
  if (owner) {
    if (!sidLength(owner, ownerRoom)) return std::nullopt;
    d.owner = sidBytes(owner);
  }
  if (group) {
    if (!sidLength(group, groupRoom)) return std::nullopt;
    d.group = sidBytes(group);
  }
  if (d.daclPresent) {
    if (!dacl) {
      d.nullDacl = true;
    } else {
      if (daclRoom < sizeof(ACL)) return std::nullopt;
      auto aces = readAclBytes(dacl, std::min<size_t>(daclRoom, load<WORD>(dacl + 2)));
      if (!aces) return std::nullopt;
      d.dacl = std::move(*aces);
    }
  }
  return d;
}

void* localCopy(const void* data, size_t size) {
  void* p = LocalAlloc(LMEM_FIXED, size);
  if (p && size) std::memcpy(p, data, size);
  return p;
}

}  // namespace pw::security
