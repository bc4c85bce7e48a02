#include "advapi32/ace_inheritance.h"

#include "advapi32/accounts.h"

namespace pw::security {
namespace {

constexpr ACCESS_MASK kGenericRights = GENERIC_READ | GENERIC_WRITE | GENERIC_EXECUTE | GENERIC_ALL;

ACCESS_MASK mapFileRights(ACCESS_MASK mask) {
  GENERIC_MAPPING files = {FILE_GENERIC_READ, FILE_GENERIC_WRITE, FILE_GENERIC_EXECUTE,
                           FILE_ALL_ACCESS};
  MapGenericMask(&mask, &files);
  return mask;
}

}  // namespace

std::vector<Ace> inheritedAces(const std::vector<Ace>& parentDacl, bool container,
                               const Bytes& owner, const Bytes& group) {
  static const Bytes creatorOwner = parseSidText("S-1-3-0");
  static const Bytes creatorGroup = parseSidText("S-1-3-1");
  std::vector<Ace> out;
  for (const Ace& parent : parentDacl) {
    if (parent.type != ACCESS_ALLOWED_ACE_TYPE && parent.type != ACCESS_DENIED_ACE_TYPE) continue;
    bool objects = parent.flags & OBJECT_INHERIT_ACE;
    bool containers = parent.flags & CONTAINER_INHERIT_ACE;
    bool noPropagate = parent.flags & NO_PROPAGATE_INHERIT_ACE;
    Ace ace = parent;
    if (container && containers) {
      ace.flags =
          noPropagate ? 0 : BYTE(parent.flags & (OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE));
    } else if (container && objects && !noPropagate) {
      // Only passed on to the folder's files.
      ace.flags = OBJECT_INHERIT_ACE | INHERIT_ONLY_ACE | INHERITED_ACE;
      out.push_back(std::move(ace));
      continue;
    } else if (!container && objects) {
      ace.flags = 0;
    } else {
      continue;
    }
    const Bytes* creator = ace.sid == creatorOwner   ? &owner
                           : ace.sid == creatorGroup ? &group
                                                     : nullptr;
    bool specific = !(ace.mask & kGenericRights) && !creator;
    if (specific || ace.flags == 0) {
      // Applies here as it is (or, having nothing to pass on, in its mapped form).
      if (!specific) {
        ace.mask = mapFileRights(ace.mask);
        if (creator && !creator->empty()) ace.sid = *creator;
      }
      ace.flags |= INHERITED_ACE;
      out.push_back(std::move(ace));
      continue;
    }
    Ace applied = ace;
    applied.flags = INHERITED_ACE;
    applied.mask = mapFileRights(ace.mask);
    if (creator && !creator->empty()) applied.sid = *creator;
    out.push_back(std::move(applied));
    ace.flags |= INHERIT_ONLY_ACE | INHERITED_ACE;
    out.push_back(std::move(ace));
  }
  return out;
}

}  // namespace pw::security
