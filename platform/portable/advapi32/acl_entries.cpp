// SetEntriesInAclA: explicit entries merged into a list, the list's own entries kept in
// the order Windows prefers (denials before grants), the inherited ones after them.
#include <windows.h>

#include <aclapi.h>

#include "advapi32/accounts.h"
#include "advapi32/security_objects.h"
#include "machine/guard.h"

#include <algorithm>

namespace {

using pw::security::Ace;
using pw::security::Bytes;

DWORD trusteeSid(const TRUSTEE_A& trustee, Bytes* sid) {
  if (trustee.pMultipleTrustee || trustee.MultipleTrusteeOperation != NO_MULTIPLE_TRUSTEE)
    return ERROR_INVALID_PARAMETER;
  if (!trustee.ptstrName) return ERROR_INVALID_PARAMETER;
  if (trustee.TrusteeForm == TRUSTEE_IS_SID) {
    *sid = pw::security::sidBytes(trustee.ptstrName);
    return sid->empty() ? DWORD(ERROR_INVALID_SID) : DWORD(ERROR_SUCCESS);
  }
  if (trustee.TrusteeForm != TRUSTEE_IS_NAME) return ERROR_INVALID_PARAMETER;
  const pw::security::Account* account = pw::security::accountNamed(trustee.ptstrName);
  if (!account) return ERROR_NONE_MAPPED;
  *sid = pw::security::parseSidText(account->sid);
  return ERROR_SUCCESS;
}

// The list's own entries of one kind for `sid`.
auto forSid(const Bytes& sid, BYTE type) {
  return [&sid, type](const Ace& ace) { return ace.type == type && ace.sid == sid; };
}

// Adds `mask` to the entry of the same trustee, type and flags, or adds an entry.
void merge(std::vector<Ace>* fresh, std::vector<Ace>* old, Ace ace) {
  for (std::vector<Ace>* list : {fresh, old}) {
    for (Ace& existing : *list) {
      if (existing.type == ace.type && existing.flags == ace.flags && existing.sid == ace.sid) {
        existing.mask |= ace.mask;
        return;
      }
    }
  }
  fresh->push_back(std::move(ace));
}

}  // namespace

DWORD WINAPI SetEntriesInAclA(ULONG count, PEXPLICIT_ACCESS_A entries, PACL oldAcl, PACL* newAcl) {
  return pw::guarded(DWORD(ERROR_NOT_ENOUGH_MEMORY), [&]() -> DWORD {
    if (!newAcl || (count && !entries)) return ERROR_INVALID_PARAMETER;
    *newAcl = nullptr;
    if (!count && !oldAcl) return ERROR_SUCCESS;
    std::vector<Ace> oldAces;
    if (oldAcl) {
      auto read = pw::security::readAcl(oldAcl);
      if (!read) return ERROR_INVALID_ACL;
      oldAces = std::move(*read);
    }
    // Explicit denials, explicit grants (and entries of other types), inherited entries:
    // each group keeps its order, new entries before those the list had.
    std::vector<Ace> oldDeny, oldAllow, inherited, newDeny, newAllow;
    for (Ace& ace : oldAces) {
      if (ace.inherited())
        inherited.push_back(std::move(ace));
      else if (ace.type == ACCESS_DENIED_ACE_TYPE)
        oldDeny.push_back(std::move(ace));
      else
        oldAllow.push_back(std::move(ace));
    }
    for (ULONG i = 0; i < count; ++i) {
      const EXPLICIT_ACCESS_A& entry = entries[i];
      if (entry.grfAccessMode == NOT_USED_ACCESS) continue;
      Bytes sid;
      if (DWORD st = trusteeSid(entry.Trustee, &sid)) return st;
      Ace ace;
      ace.flags = BYTE(entry.grfInheritance & (VALID_INHERIT_FLAGS & ~INHERITED_ACE));
      ace.mask = entry.grfAccessPermissions;
      ace.sid = sid;
      switch (entry.grfAccessMode) {
        case GRANT_ACCESS:
          merge(&newAllow, &oldAllow, std::move(ace));
          break;
        case SET_ACCESS:
          // Whatever the trustee had is discarded.
          for (auto* list : {&newAllow, &oldAllow})
            std::erase_if(*list, forSid(sid, ACCESS_ALLOWED_ACE_TYPE));
          for (auto* list : {&newDeny, &oldDeny})
            std::erase_if(*list, forSid(sid, ACCESS_DENIED_ACE_TYPE));
          if (ace.mask) newAllow.push_back(std::move(ace));
          break;
        case DENY_ACCESS:
          ace.type = ACCESS_DENIED_ACE_TYPE;
          merge(&newDeny, &oldDeny, std::move(ace));
          break;
        case REVOKE_ACCESS:
          // The trustee's grants go; its denials stay.
          for (auto* list : {&newAllow, &oldAllow})
            std::erase_if(*list, forSid(sid, ACCESS_ALLOWED_ACE_TYPE));
          break;
        default:
          return ERROR_INVALID_PARAMETER;
      }
    }
    std::vector<Ace> all;
    for (auto* group : {&newDeny, &oldDeny, &newAllow, &oldAllow, &inherited})
      all.insert(all.end(), group->begin(), group->end());
    auto bytes = pw::security::aclBytes(all);
    if (!bytes) return ERROR_INVALID_ACL;
    void* copy = pw::security::localCopy(bytes->data(), bytes->size());
    if (!copy) return ERROR_NOT_ENOUGH_MEMORY;
    *newAcl = static_cast<PACL>(copy);
    return ERROR_SUCCESS;
  });
}

void WINAPI BuildTrusteeWithSidA(PTRUSTEE_A trustee, PSID sid) {
  if (!trustee) return;
  trustee->pMultipleTrustee = nullptr;
  trustee->MultipleTrusteeOperation = NO_MULTIPLE_TRUSTEE;
  trustee->TrusteeForm = TRUSTEE_IS_SID;
  trustee->TrusteeType = TRUSTEE_IS_UNKNOWN;
  trustee->ptstrName = static_cast<LPSTR>(sid);
}

void WINAPI BuildTrusteeWithNameA(PTRUSTEE_A trustee, LPSTR name) {
  if (!trustee) return;
  trustee->pMultipleTrustee = nullptr;
  trustee->MultipleTrusteeOperation = NO_MULTIPLE_TRUSTEE;
  trustee->TrusteeForm = TRUSTEE_IS_NAME;
  trustee->TrusteeType = TRUSTEE_IS_UNKNOWN;
  trustee->ptstrName = name;
}

void WINAPI BuildExplicitAccessWithNameA(PEXPLICIT_ACCESS_A access, LPSTR name, DWORD permissions,
                                         ACCESS_MODE mode, DWORD inheritance) {
  if (!access) return;
  access->grfAccessPermissions = permissions;
  access->grfAccessMode = mode;
  access->grfInheritance = inheritance;
  BuildTrusteeWithNameA(&access->Trustee, name);
}
