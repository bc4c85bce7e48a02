// cacls' and icacls' texts and icacls' edits of a list, against the rights Windows
// gives each letter: F 0x1f01ff, M 0x1301bf, RX 0x1200a9, R 0x120089, W 0x100116
// (icacls) and cacls' R 0x1200a9, W 0x120116, C 0x1301bf, F 0x1f01ff.
#include <windows.h>

#include "cacls/rights.h"
#include "icacls/edit.h"
#include "icacls/rights.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using access_tools::Entry;

const access_tools::Sid kUsers = {1, 2, 0, 0, 0, 0, 0, 5, 32, 0, 0, 0, 0x21, 2, 0, 0};
const access_tools::Sid kGuests = {1, 2, 0, 0, 0, 0, 0, 5, 32, 0, 0, 0, 0x22, 2, 0, 0};

struct Parsed {
  bool ok;
  int flags;
  unsigned long mask;
  bool operator==(const Parsed&) const = default;
};

Parsed parse(const char* text) {
  BYTE flags = 0;
  ACCESS_MASK mask = 0;
  bool ok = icacls::parsePermission(text, &flags, &mask);
  return ok ? Parsed{true, flags, mask} : Parsed{false, 0, 0};
}

TEST(Icacls, ReadsPermissionTexts) {
  EXPECT_EQ(parse("F"), (Parsed{true, 0, 0x1f01ff}));
  EXPECT_EQ(parse("(OI)(CI)F"), (Parsed{true, 3, 0x1f01ff}));
  EXPECT_EQ(parse("(oi)(ci)(io)(np)(rx)"), (Parsed{true, 0x0f, 0x1200a9}));
  EXPECT_EQ(parse("RXW"), (Parsed{true, 0, 0x1201bf}));
  EXPECT_EQ(parse("(CI)(RD,WD,X)"), (Parsed{true, 2, 0x23}));
  EXPECT_EQ(parse("(M,DC)"), (Parsed{true, 0, 0x1301ff}));
  EXPECT_EQ(parse("(GR,GE)"), (Parsed{true, 0, 0xa0000000}));
  EXPECT_EQ(parse("N"), (Parsed{true, 0, 0}));
  EXPECT_EQ(parse("D"), (Parsed{true, 0, 0x10000}));
  for (const char* bad : {"", "Q", "(OI)", "(OI", "(XX)", "(RD,,WD)", "F(Q)", "(I)F"})
    EXPECT_EQ(parse(bad), (Parsed{false, 0, 0})) << bad;
}

TEST(Icacls, WritesRightsAsItsListingDoes) {
  const struct {
    ACCESS_MASK mask;
    const char* text;
  } cases[] = {
      {0x1f01ff, "(F)"},       {0x1301bf, "(M)"},    {0x1200a9, "(RX)"},
      {0x120089, "(R)"},       {0x100116, "(W)"},    {0x1201bf, "(RX,W)"},
      {0x12019f, "(R,W)"},     {0x1301ff, "(M,DC)"}, {0x10000, "(D)"},
      {0xa0000000, "(GR,GE)"}, {0x10000000, "(GA)"}, {0x4, "(AD)"},
      {0x120000, "(RC,S)"},    {0, "(N)"},
  };
  for (const auto& c : cases) EXPECT_EQ(icacls::describeRights(c.mask), c.text) << c.mask;
  EXPECT_EQ(icacls::describeEntry(Entry{ACCESS_DENIED_ACE_TYPE, 0x13, 0x100116, kUsers}),
            "(I)(OI)(CI)(DENY)(W)");
  EXPECT_EQ(icacls::describeEntry(Entry{ACCESS_ALLOWED_ACE_TYPE, 0x0b, 0x1301bf, kUsers}),
            "(OI)(CI)(IO)(M)");
}

icacls::Operation op(icacls::Op kind, const access_tools::Sid& sid = {}, BYTE flags = 0,
                     ACCESS_MASK mask = 0) {
  return icacls::Operation{kind, sid, flags, mask};
}

std::string show(const icacls::Edited& edited) {
  std::string text;
  for (const Entry& e : edited.entries)
    text += std::string(e.denies() ? "D " : "A ") + (e.sid == kUsers ? "users " : "guests ") +
            std::to_string(e.flags) + " " + icacls::describeRights(e.mask) + "; ";
  return text + "protection " + std::to_string(edited.protection >> 28);
}

TEST(Icacls, EditsTheObjectsOwnEntries) {
  using icacls::Op;
  const std::vector<Entry> current = {{ACCESS_ALLOWED_ACE_TYPE, 3, 0x120089, kUsers},
                                      {ACCESS_ALLOWED_ACE_TYPE, 0, 0x10000, kUsers},
                                      {ACCESS_DENIED_ACE_TYPE, 0x13, 0x100116, kGuests},
                                      {ACCESS_ALLOWED_ACE_TYPE, 0x13, 0x1f01ff, kGuests}};
  // A grant joins the account's grant with the same inheritance; another is added.
  EXPECT_EQ(show(icacls::apply({op(Op::Grant, kUsers, 3, 0x1200a9), op(Op::Grant, kGuests, 0, 4)},
                               current, false, true)),
            "A users 3 (RX); A users 0 (D); A guests 0 (AD); protection 0");
  // :r first drops the account's grants; a denial takes its rights out of them.
  EXPECT_EQ(
      show(icacls::apply({op(Op::GrantReplace, kUsers, 0, 0x1200a9), op(Op::Deny, kUsers, 0, 0x20)},
                         current, false, true)),
      "D users 0 (X); A users 0 (R); protection 0");
  EXPECT_EQ(show(icacls::apply({op(Op::Deny, kUsers, 3, 0x1f01ff)}, current, false, true)),
            "D users 3 (F); protection 0");
  EXPECT_EQ(show(icacls::apply({op(Op::RemoveGrants, kUsers), op(Op::Grant, kGuests, 0, 0)},
                               current, false, true)),
            "protection 0");
  // Inheritance: d keeps the inherited entries as the object's own, denials first.
  EXPECT_EQ(show(icacls::apply({op(Op::InheritanceDisable)}, current, false, true)),
            "D guests 3 (W); A users 3 (R); A users 0 (D); A guests 3 (F); protection 8");
  EXPECT_EQ(show(icacls::apply({op(Op::InheritanceRemove)}, current, false, true)),
            "A users 3 (R); A users 0 (D); protection 8");
  EXPECT_EQ(
      show(icacls::apply({op(Op::Reset), op(Op::Grant, kUsers, 3, 0x120089)}, current, true, true)),
      "A users 3 (R); protection 2");
  // A file's entries take no inheritance flags.
  EXPECT_EQ(show(icacls::apply({op(Op::Grant, kUsers, 3, 0x1200a9)}, {}, false, false)),
            "A users 0 (RX); protection 0");
}

TEST(Cacls, ReadsLettersAndWritesEntries) {
  ACCESS_MASK mask = 0;
  EXPECT_TRUE(cacls::parseRights("r", false, &mask));
  EXPECT_EQ(mask, 0x1200a9u);
  EXPECT_TRUE(cacls::parseRights("C", false, &mask));
  EXPECT_EQ(mask, 0x1301bfu);
  EXPECT_TRUE(cacls::parseRights("W", false, &mask));
  EXPECT_EQ(mask, 0x120116u);
  EXPECT_FALSE(cacls::parseRights("N", false, &mask));  // none: for /P only
  EXPECT_TRUE(cacls::parseRights("N", true, &mask));
  EXPECT_FALSE(cacls::parseRights("RW", true, &mask));

  EXPECT_EQ(cacls::describeEntry(Entry{ACCESS_ALLOWED_ACE_TYPE, 3, 0x1200a9, kUsers}, 10),
            "(OI)(CI)R");
  EXPECT_EQ(cacls::describeEntry(Entry{ACCESS_ALLOWED_ACE_TYPE, 0x1b, 0x1f01ff, kUsers}, 10),
            "(OI)(CI)(IO)(ID)F");
  EXPECT_EQ(cacls::describeEntry(Entry{ACCESS_DENIED_ACE_TYPE, 0, 0x1f01ff, kUsers}, 10), "N");
  EXPECT_EQ(cacls::describeEntry(Entry{ACCESS_DENIED_ACE_TYPE, 0, 0x120116, kUsers}, 10),
            "(DENY)W");
  EXPECT_EQ(cacls::describeEntry(Entry{ACCESS_ALLOWED_ACE_TYPE, 0x10, 0xa0010004, kUsers}, 4),
            "(ID)(special access:)\n    GENERIC_READ\n    GENERIC_EXECUTE\n    DELETE\n"
            "    FILE_APPEND_DATA");
}

}  // namespace
