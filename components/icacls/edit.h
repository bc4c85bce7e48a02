// What icacls' switches do to an object's list, worked out on its entries:
// - /grant adds rights to the account's grant with the same inheritance, or adds a
//   grant; /grant:r first drops the account's explicit grants;
// - /deny adds a denial (merged as a grant is) and takes the denied rights out of the
//   account's explicit grants;
// - /remove drops the account's explicit entries (:g its grants, :d its denials);
// - /reset drops every explicit entry and lets the object inherit again;
// - /inheritance:e lets it inherit, :d stops it and keeps the inherited entries as its
//   own, :r stops it and drops them.
// The result is in canonical order: explicit denials, then explicit grants. Inheritance
// flags apply to folders only; a file's entries take none.
#pragma once

#include <windows.h>

#include "access_tools/security.h"

#include <vector>

namespace icacls {

enum class Op {
  Grant,
  GrantReplace,
  Deny,
  Remove,
  RemoveGrants,
  RemoveDenials,
  Reset,
  InheritanceEnable,
  InheritanceDisable,
  InheritanceRemove,
};

struct Operation {
  Op op;
  access_tools::Sid sid;  // the account, for grants, denials and removals
  BYTE flags = 0;         // inheritance
  ACCESS_MASK mask = 0;
};

struct Edited {
  std::vector<access_tools::Entry> entries;  // the object's own
  SECURITY_INFORMATION protection = 0;       // PROTECTED_ or UNPROTECTED_DACL_..., or 0 to keep
};

Edited apply(const std::vector<Operation>& operations,
             const std::vector<access_tools::Entry>& current, bool isProtected, bool folder);

}  // namespace icacls
