// An access list as text, each entry as type (A allowed, D denied), flags, mask and SID in
// the numbers Windows gives them: "A 13 001f01ff S-1-5-32-544; ...".
#pragma once

#include <windows.h>

#include <sddl.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace test {

inline std::string aclText(PACL acl) {
  std::string text;
  for (DWORD i = 0; acl && i < acl->AceCount; ++i) {
    ACCESS_ALLOWED_ACE* ace;
    EXPECT_TRUE(GetAce(acl, i, reinterpret_cast<void**>(&ace)));
    char* s = nullptr;
    ConvertSidToStringSidA(&ace->SidStart, &s);
    char line[96];
    std::snprintf(line, sizeof line, "%s %02x %08lx %s; ", ace->Header.AceType ? "D" : "A",
                  ace->Header.AceFlags, static_cast<unsigned long>(ace->Mask), s);
    LocalFree(s);
    text += line;
  }
  return text;
}

}  // namespace test
