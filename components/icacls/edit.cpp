#include "icacls/edit.h"

#include <algorithm>

namespace icacls {
namespace {

using access_tools::Entry;

void add(std::vector<Entry>* entries, BYTE type, const Operation& op, BYTE flags) {
  if (!op.mask) return;  // "N": nothing granted or denied
  for (Entry& e : *entries) {
    if (e.type == type && e.flags == flags && e.sid == op.sid) {
      e.mask |= op.mask;
      return;
    }
  }
  entries->push_back(Entry{type, flags, op.mask, op.sid});
}

void drop(std::vector<Entry>* entries, const access_tools::Sid& sid, bool grants, bool denials) {
  std::erase_if(*entries,
                [&](const Entry& e) { return e.sid == sid && (e.denies() ? denials : grants); });
}

}  // namespace

Edited apply(const std::vector<Operation>& operations, const std::vector<Entry>& current,
             bool isProtected, bool folder) {
  std::vector<Entry> own, inherited;
  for (const Entry& e : current) (e.inherited() ? inherited : own).push_back(e);
  Edited out;
  for (const Operation& op : operations) {
    BYTE flags = folder ? op.flags : 0;
    switch (op.op) {
      case Op::GrantReplace:
        drop(&own, op.sid, true, false);
        add(&own, ACCESS_ALLOWED_ACE_TYPE, op, flags);
        break;
      case Op::Grant:
        add(&own, ACCESS_ALLOWED_ACE_TYPE, op, flags);
        break;
      case Op::Deny:
        add(&own, ACCESS_DENIED_ACE_TYPE, op, flags);
        for (Entry& e : own)
          if (!e.denies() && e.sid == op.sid) e.mask &= ~op.mask;
        std::erase_if(own, [](const Entry& e) { return !e.denies() && !e.mask; });
        break;
      case Op::Remove:
        drop(&own, op.sid, true, true);
        break;
      case Op::RemoveGrants:
        drop(&own, op.sid, true, false);
        break;
      case Op::RemoveDenials:
        drop(&own, op.sid, false, true);
        break;
      case Op::Reset:
        own.clear();
        isProtected = false;
        out.protection = UNPROTECTED_DACL_SECURITY_INFORMATION;
        break;
      case Op::InheritanceEnable:
        isProtected = false;
        out.protection = UNPROTECTED_DACL_SECURITY_INFORMATION;
        break;
      case Op::InheritanceDisable:
        if (!isProtected) {
          for (Entry e : inherited) {
            e.flags &= BYTE(~INHERITED_ACE);
            own.push_back(std::move(e));
          }
        }
        isProtected = true;
        out.protection = PROTECTED_DACL_SECURITY_INFORMATION;
        break;
      case Op::InheritanceRemove:
        isProtected = true;
        out.protection = PROTECTED_DACL_SECURITY_INFORMATION;
        break;
    }
  }
  std::stable_partition(own.begin(), own.end(), [](const Entry& e) { return e.denies(); });
  out.entries = std::move(own);
  return out;
}

}  // namespace icacls
