// What the list functions do where Wine departs from Windows, so that the security probe
// cannot compare them: entries added at an index, SetEntriesInAclA's canonical order and
// merging (Windows documents GRANT_ACCESS as combining with the trustee's rights and
// DENY_ACCESS as adding to its denials; Wine adds entries side by side, in the order
// given), and the error for a trustee name no account has.
#include <windows.h>

#include <aclapi.h>
#include <sddl.h>

#include "common/acl_text.h"
#include "local.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

using test::aclText;

struct Sids {
  win32::LocalMemory users, guests, world;
  Sids() {
    ConvertStringSidToSidA("BU", users.out());
    ConvertStringSidToSidA("BG", guests.out());
    ConvertStringSidToSidA("WD", world.out());
  }
};

EXPLICIT_ACCESS_A entry(ACCESS_MODE mode, DWORD mask, DWORD inheritance, void* sid) {
  EXPLICIT_ACCESS_A e{};
  e.grfAccessMode = mode;
  e.grfAccessPermissions = mask;
  e.grfInheritance = inheritance;
  BuildTrusteeWithSidA(&e.Trustee, sid);
  return e;
}

TEST(Acl, AddAceInsertsAtTheIndexGiven) {
  Sids s;
  alignas(4) BYTE buffer[128];
  auto* acl = reinterpret_cast<PACL>(buffer);
  ASSERT_TRUE(InitializeAcl(acl, sizeof buffer, ACL_REVISION));
  ASSERT_TRUE(AddAccessAllowedAce(acl, ACL_REVISION, 1, s.users.get()));
  ASSERT_TRUE(AddAccessAllowedAce(acl, ACL_REVISION, 2, s.guests.get()));
  void* ace;
  ASSERT_TRUE(GetAce(acl, 1, &ace));
  alignas(4) BYTE copy[32];
  WORD size = static_cast<ACE_HEADER*>(ace)->AceSize;
  std::memcpy(copy, ace, size);
  ASSERT_TRUE(AddAce(acl, ACL_REVISION, 0, copy, size));
  EXPECT_EQ(aclText(acl),
            "A 00 00000002 S-1-5-32-546; A 00 00000001 S-1-5-32-545; A 00 00000002 S-1-5-32-546; ");
  ASSERT_TRUE(AddAce(acl, ACL_REVISION, 2, copy, size));
  EXPECT_EQ(acl->AceCount, 4);
  ASSERT_TRUE(GetAce(acl, 2, &ace));
  EXPECT_EQ(static_cast<ACCESS_ALLOWED_ACE*>(ace)->Mask, 2u);
  // The entries given must be whole.
  EXPECT_FALSE(AddAce(acl, ACL_REVISION, 0, copy, size - 4));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));
}

TEST(Acl, SetEntriesKeepsDenialsFirstAndMergesATrusteesRights) {
  Sids s;
  alignas(4) BYTE buffer[256];
  auto* old = reinterpret_cast<PACL>(buffer);
  ASSERT_TRUE(InitializeAcl(old, sizeof buffer, ACL_REVISION));
  ASSERT_TRUE(AddAccessAllowedAceEx(old, ACL_REVISION, 3, FILE_READ_DATA, s.users.get()));
  ASSERT_TRUE(AddAccessDeniedAceEx(old, ACL_REVISION, 0, DELETE, s.guests.get()));
  ASSERT_TRUE(
      AddAccessAllowedAceEx(old, ACL_REVISION, INHERITED_ACE, FILE_ALL_ACCESS, s.world.get()));
  EXPLICIT_ACCESS_A change[] = {
      entry(GRANT_ACCESS, FILE_WRITE_DATA, SUB_CONTAINERS_AND_OBJECTS_INHERIT, s.users.get()),
      entry(DENY_ACCESS, WRITE_DAC, NO_INHERITANCE, s.guests.get()),
      entry(DENY_ACCESS, FILE_EXECUTE, NO_INHERITANCE, s.users.get()),
      entry(GRANT_ACCESS, FILE_READ_DATA, NO_INHERITANCE, s.users.get())};
  PACL merged = nullptr;
  ASSERT_EQ(SetEntriesInAclA(4, change, old, &merged), 0u);
  win32::LocalMemory owned(merged);
  // The Users grant with OI|CI takes the write right in; the one without inheritance is
  // new. The Guests denial takes WRITE_DAC in. Inherited entries come last, untouched.
  EXPECT_EQ(aclText(merged),
            "D 00 00000020 S-1-5-32-545; D 00 00050000 S-1-5-32-546; "
            "A 00 00000001 S-1-5-32-545; A 03 00000003 S-1-5-32-545; A 10 001f01ff S-1-1-0; ");

  // SET_ACCESS discards everything the trustee had, its denials too; REVOKE_ACCESS takes
  // its grants only.
  EXPLICIT_ACCESS_A replace[] = {entry(SET_ACCESS, FILE_ALL_ACCESS, 0, s.guests.get()),
                                 entry(REVOKE_ACCESS, 0, 0, s.users.get())};
  PACL replaced = nullptr;
  ASSERT_EQ(SetEntriesInAclA(2, replace, merged, &replaced), 0u);
  win32::LocalMemory ownedToo(replaced);
  EXPECT_EQ(aclText(replaced),
            "D 00 00000020 S-1-5-32-545; A 00 001f01ff S-1-5-32-546; A 10 001f01ff S-1-1-0; ");
}

TEST(Acl, SetEntriesNamesTheTrusteeItCannotFind) {
  EXPLICIT_ACCESS_A e{};
  BuildExplicitAccessWithNameA(&e, const_cast<char*>("no such account"), FILE_ALL_ACCESS,
                               GRANT_ACCESS, NO_INHERITANCE);
  PACL out = reinterpret_cast<PACL>(1);
  EXPECT_EQ(SetEntriesInAclA(1, &e, nullptr, &out), DWORD(ERROR_NONE_MAPPED));
  EXPECT_EQ(out, nullptr);
  e.grfAccessMode = SET_AUDIT_SUCCESS;
  BuildTrusteeWithNameA(&e.Trustee, const_cast<char*>("Users"));
  EXPECT_EQ(SetEntriesInAclA(1, &e, nullptr, &out), DWORD(ERROR_INVALID_PARAMETER));
}

}  // namespace
