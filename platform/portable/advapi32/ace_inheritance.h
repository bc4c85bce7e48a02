// What a file or folder inherits from its folder's access list, as NTFS makes it when
// the object is created and when the folder's list changes:
// - a folder takes the entries marked container-inherit as its own, keeping their
//   inheritance flags (none with no-propagate), and the object-inherit-only ones as
//   inherit-only entries that pass them on to its files (none with no-propagate);
// - a file takes the object-inherit entries, without inheritance flags;
// - an entry that applies to the object and holds generic rights or names CREATOR OWNER
//   or CREATOR GROUP applies as the object's own owner or group with the rights the
//   file mapping gives them; where it is also passed on, an inherit-only copy keeps the
//   original for the objects below.
// Every inherited entry carries INHERITED_ACE.
#pragma once

#include "advapi32/security_objects.h"

#include <vector>

namespace pw::security {

std::vector<Ace> inheritedAces(const std::vector<Ace>& parentDacl, bool container,
                               const Bytes& owner, const Bytes& group);

}  // namespace pw::security
