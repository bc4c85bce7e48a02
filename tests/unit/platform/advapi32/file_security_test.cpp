// The security of the machine's files and folders: what a fresh object has, what a set
// list passes on and how (the inheritance rules of NTFS), protection, and what is kept
// with a file. Wine keeps no lists of its own for files (it makes them from the Unix
// mode bits), so these cases hold Windows' documented behaviour, each entry written as
// type (A allowed, D denied), flags, mask and SID in the numbers Windows gives them.
#include <windows.h>

#include <aclapi.h>
#include <sddl.h>

#include "common/acl_text.h"
#include "local.h"

#include <gtest/gtest.h>

#include <sys/xattr.h>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

using Sid = std::vector<BYTE>;

Sid sid(const char* text) {
  win32::LocalMemory block;
  EXPECT_TRUE(ConvertStringSidToSidA(text, block.out())) << text;
  auto* p = static_cast<BYTE*>(block.get());
  return Sid(p, p + GetLengthSid(block.get()));
}

std::string hostC(const std::string& name) {
  return std::string(std::getenv("PW_MACHINE_ROOT")) + "/drive_c/" + name;
}

struct Entry {
  BYTE type;
  BYTE flags;
  DWORD mask;
  const char* sid;
};

// An ACL of the entries, in a buffer that lives as long as the vector.
std::vector<DWORD> list(const std::vector<Entry>& entries) {
  std::vector<DWORD> buffer(256);
  auto* acl = reinterpret_cast<PACL>(buffer.data());
  EXPECT_TRUE(InitializeAcl(acl, DWORD(buffer.size() * 4), ACL_REVISION));
  for (const Entry& e : entries) {
    Sid s = sid(e.sid);
    BOOL ok = e.type == ACCESS_DENIED_ACE_TYPE
                  ? AddAccessDeniedAceEx(acl, ACL_REVISION, e.flags, e.mask, s.data())
                  : AddAccessAllowedAceEx(acl, ACL_REVISION, e.flags, e.mask, s.data());
    EXPECT_TRUE(ok);
  }
  return buffer;
}

DWORD set(const char* path, const std::vector<Entry>& entries, SECURITY_INFORMATION extra = 0) {
  auto buffer = list(entries);
  return SetNamedSecurityInfoA(const_cast<char*>(path), SE_FILE_OBJECT,
                               DACL_SECURITY_INFORMATION | extra, nullptr, nullptr,
                               reinterpret_cast<PACL>(buffer.data()), nullptr);
}

// "A 13 001f01ff S-1-5-32-544; ..." and the descriptor's control word.
std::string show(const char* path, WORD* control = nullptr) {
  win32::LocalMemory sd;
  PACL dacl = nullptr;
  DWORD st = GetNamedSecurityInfoA(path, SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr,
                                   nullptr, &dacl, nullptr, sd.out());
  if (st) return "error " + std::to_string(st);
  if (control) {
    DWORD revision;
    GetSecurityDescriptorControl(sd.get(), control, &revision);
  }
  return test::aclText(dacl);
}

void makeFile(const char* path) {
  HANDLE h =
      CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(h, INVALID_HANDLE_VALUE) << path;
  CloseHandle(h);
}

const std::string kRoot =
    "A 03 001f01ff S-1-5-32-544; A 03 001f01ff S-1-5-18; A 03 001200a9 S-1-5-32-545; "
    "A 0b 001301bf S-1-5-11; A 00 00000004 S-1-5-11; ";
const std::string kFromRootToFolder =
    "A 13 001f01ff S-1-5-32-544; A 13 001f01ff S-1-5-18; A 13 001200a9 S-1-5-32-545; "
    "A 13 001301bf S-1-5-11; ";
const std::string kFromRootToFile =
    "A 10 001f01ff S-1-5-32-544; A 10 001f01ff S-1-5-18; A 10 001200a9 S-1-5-32-545; "
    "A 10 001301bf S-1-5-11; ";

TEST(FileSecurity, FreshObjectsInheritFromTheRootAsAFreshWindowsDoes) {
  WORD control = 0;
  EXPECT_EQ(show("c:\\", &control), kRoot);
  EXPECT_EQ(control, 0x9404);  // self-relative, protected, auto-inherited, DACL present
  ASSERT_TRUE(CreateDirectoryA("c:\\fresh", nullptr));
  makeFile("c:\\fresh\\a.txt");
  EXPECT_EQ(show("c:\\fresh", &control), kFromRootToFolder);
  EXPECT_EQ(control, 0x8404);
  EXPECT_EQ(show("c:\\fresh\\a.txt"), kFromRootToFile);

  win32::LocalMemory sd;
  PSID owner = nullptr, group = nullptr;
  ASSERT_EQ(GetNamedSecurityInfoA("c:\\fresh\\a.txt", SE_FILE_OBJECT,
                                  OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION, &owner,
                                  &group, nullptr, nullptr, sd.out()),
            0u);
  EXPECT_TRUE(EqualSid(owner, sid("BA").data()));
  EXPECT_TRUE(EqualSid(group, sid("SY").data()));
}

TEST(FileSecurity, EntriesPassDownAsTheirInheritanceFlagsSay) {
  ASSERT_TRUE(CreateDirectoryA("c:\\tree", nullptr));
  ASSERT_EQ(set("c:\\tree",
                {{0, OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE, FILE_ALL_ACCESS, "BA"},
                 {0, OBJECT_INHERIT_ACE, 0x1200a9, "BU"},
                 {0, CONTAINER_INHERIT_ACE | NO_PROPAGATE_INHERIT_ACE, 0x120089, "BG"},
                 {1, CONTAINER_INHERIT_ACE | INHERIT_ONLY_ACE, FILE_WRITE_DATA, "AU"},
                 {0, 0, DELETE, "SY"}},
                PROTECTED_DACL_SECURITY_INFORMATION),
            0u);
  EXPECT_EQ(show("c:\\tree"),
            "A 03 001f01ff S-1-5-32-544; A 01 001200a9 S-1-5-32-545; A 06 00120089 S-1-5-32-546; "
            "D 0a 00000002 S-1-5-11; A 00 00010000 S-1-5-18; ");
  ASSERT_TRUE(CreateDirectoryA("c:\\tree\\sub", nullptr));
  ASSERT_TRUE(CreateDirectoryA("c:\\tree\\sub\\deeper", nullptr));
  makeFile("c:\\tree\\file.txt");
  makeFile("c:\\tree\\sub\\deeper\\file.txt");
  // A folder: OI|CI stays, OI alone becomes inherit-only, CI|NP applies without flags,
  // the denial applies with CI; this-folder-only entries stay behind.
  EXPECT_EQ(show("c:\\tree\\sub"),
            "A 13 001f01ff S-1-5-32-544; A 19 001200a9 S-1-5-32-545; A 10 00120089 S-1-5-32-546; "
            "D 12 00000002 S-1-5-11; ");
  EXPECT_EQ(show("c:\\tree\\file.txt"), "A 10 001f01ff S-1-5-32-544; A 10 001200a9 S-1-5-32-545; ");
  // Below the first level the no-propagate entry is gone.
  EXPECT_EQ(show("c:\\tree\\sub\\deeper"),
            "A 13 001f01ff S-1-5-32-544; A 19 001200a9 S-1-5-32-545; D 12 00000002 S-1-5-11; ");
  EXPECT_EQ(show("c:\\tree\\sub\\deeper\\file.txt"),
            "A 10 001f01ff S-1-5-32-544; A 10 001200a9 S-1-5-32-545; ");

  // A change to the folder reaches everything below at once.
  ASSERT_EQ(set("c:\\tree", {{0, OBJECT_INHERIT_ACE, FILE_ALL_ACCESS, "WD"}}), 0u);
  EXPECT_EQ(show("c:\\tree\\sub\\deeper\\file.txt"), "A 10 001f01ff S-1-1-0; ");
}

TEST(FileSecurity, GenericRightsAndCreatorOwnerApplyMappedWithACopyPassedOn) {
  ASSERT_TRUE(CreateDirectoryA("c:\\generic", nullptr));
  ASSERT_EQ(
      set("c:\\generic",
          {{0, OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE, GENERIC_READ | GENERIC_EXECUTE, "BU"},
           {0, OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE | INHERIT_ONLY_ACE, GENERIC_ALL, "CO"}},
          PROTECTED_DACL_SECURITY_INFORMATION),
      0u);
  ASSERT_TRUE(CreateDirectoryA("c:\\generic\\sub", nullptr));
  makeFile("c:\\generic\\file.txt");
  // GENERIC_READ|GENERIC_EXECUTE maps to 0x1200a9 for files; GENERIC_ALL to 0x1f01ff,
  // for the owner (Administrators) in place of CREATOR OWNER.
  EXPECT_EQ(show("c:\\generic\\sub"),
            "A 10 001200a9 S-1-5-32-545; A 1b a0000000 S-1-5-32-545; "
            "A 10 001f01ff S-1-5-32-544; A 1b 10000000 S-1-3-0; ");
  EXPECT_EQ(show("c:\\generic\\file.txt"),
            "A 10 001200a9 S-1-5-32-545; A 10 001f01ff S-1-5-32-544; ");
}

TEST(FileSecurity, ProtectionKeepsWhatIsGivenAndInheritingDropsWhatIsMarkedInherited) {
  ASSERT_TRUE(CreateDirectoryA("c:\\guarded", nullptr));
  makeFile("c:\\guarded\\f.txt");
  // Entries marked inherited in the list given: an inheriting object takes them from
  // its folder instead; a protected one keeps them as its own.
  std::vector<Entry> given = {{0, 0, FILE_WRITE_DATA, "BU"}, {0, INHERITED_ACE, DELETE, "BG"}};
  ASSERT_EQ(set("c:\\guarded\\f.txt", given), 0u);
  EXPECT_EQ(show("c:\\guarded\\f.txt"), "A 00 00000002 S-1-5-32-545; " + kFromRootToFile);
  WORD control = 0;
  ASSERT_EQ(set("c:\\guarded\\f.txt", given, PROTECTED_DACL_SECURITY_INFORMATION), 0u);
  EXPECT_EQ(show("c:\\guarded\\f.txt", &control),
            "A 00 00000002 S-1-5-32-545; A 00 00010000 S-1-5-32-546; ");
  EXPECT_EQ(control, 0x9404);
  // Without either flag the protection stays as it was.
  ASSERT_EQ(set("c:\\guarded\\f.txt", {{0, 0, FILE_READ_DATA, "BU"}}), 0u);
  EXPECT_EQ(show("c:\\guarded\\f.txt"), "A 00 00000001 S-1-5-32-545; ");
  ASSERT_EQ(set("c:\\guarded\\f.txt", {}, UNPROTECTED_DACL_SECURITY_INFORMATION), 0u);
  EXPECT_EQ(show("c:\\guarded\\f.txt", &control), kFromRootToFile);
  EXPECT_EQ(control, 0x8404);
  // A drive's root has nothing to inherit: it stays protected.
  ASSERT_EQ(set("c:\\", {{0, 3, FILE_ALL_ACCESS, "BA"}}, UNPROTECTED_DACL_SECURITY_INFORMATION),
            0u);
  EXPECT_EQ(show("c:\\", &control), "A 03 001f01ff S-1-5-32-544; ");
  EXPECT_EQ(control, 0x9404);
  ASSERT_EQ(set("c:\\", {{0, 0x03, FILE_ALL_ACCESS, "BA"},
                         {0, 0x03, FILE_ALL_ACCESS, "SY"},
                         {0, 0x03, 0x1200a9, "BU"},
                         {0, 0x0b, 0x1301bf, "AU"},
                         {0, 0x00, 0x4, "AU"}}),
            0u);
  EXPECT_EQ(show("c:\\"), kRoot);
}

TEST(FileSecurity, TheListStaysWithItsFileAndANewFileStartsAfresh) {
  ASSERT_TRUE(CreateDirectoryA("c:\\kept", nullptr));
  makeFile("c:\\kept\\f.txt");
  ASSERT_EQ(set("c:\\kept\\f.txt", {{1, 0, FILE_WRITE_DATA, "WD"}}), 0u);
  // Rewriting the file keeps it; a host rename takes the list along.
  makeFile("c:\\kept\\f.txt");
  EXPECT_EQ(show("c:\\kept\\f.txt"), "D 00 00000002 S-1-1-0; " + kFromRootToFile);
  ASSERT_EQ(std::rename(hostC("kept/f.txt").c_str(), hostC("kept/g.txt").c_str()), 0);
  EXPECT_EQ(show("C:\\KEPT\\G.TXT"), "D 00 00000002 S-1-1-0; " + kFromRootToFile);
  ASSERT_TRUE(DeleteFileA("c:\\kept\\g.txt"));
  makeFile("c:\\kept\\g.txt");
  EXPECT_EQ(show("c:\\kept\\g.txt"), kFromRootToFile);
}

TEST(FileSecurity, BadRequestsAndBadStoredBytesGetDefinedAnswers) {
  ASSERT_TRUE(CreateDirectoryA("c:\\bad", nullptr));
  makeFile("c:\\bad\\f.txt");
  EXPECT_EQ(show("c:\\bad\\missing.txt"), "error 2");
  EXPECT_EQ(show("c:\\bad\\missing\\f.txt"), "error 3");
  PACL dacl = nullptr;
  EXPECT_EQ(GetNamedSecurityInfoA("c:\\bad\\f.txt", SE_FILE_OBJECT, DACL_SECURITY_INFORMATION,
                                  nullptr, nullptr, &dacl, nullptr, nullptr),
            DWORD(ERROR_INVALID_PARAMETER));
  win32::LocalMemory sd;
  EXPECT_EQ(GetNamedSecurityInfoA("c:\\bad\\f.txt", SE_FILE_OBJECT, SACL_SECURITY_INFORMATION,
                                  nullptr, nullptr, nullptr, nullptr, sd.out()),
            DWORD(ERROR_PRIVILEGE_NOT_HELD));
  EXPECT_EQ(GetNamedSecurityInfoA("MACHINE\\SOFTWARE", SE_REGISTRY_KEY, DACL_SECURITY_INFORMATION,
                                  nullptr, nullptr, &dacl, nullptr, sd.out()),
            DWORD(ERROR_NOT_SUPPORTED));
  BYTE broken[16] = {2, 0, 16, 0, 1, 0, 0, 0, 0, 0, 40, 0};  // one entry larger than the list
  EXPECT_EQ(SetNamedSecurityInfoA(const_cast<char*>("c:\\bad\\f.txt"), SE_FILE_OBJECT,
                                  DACL_SECURITY_INFORMATION, nullptr, nullptr,
                                  reinterpret_cast<PACL>(broken), nullptr),
            DWORD(ERROR_INVALID_ACL));
  EXPECT_EQ(SetNamedSecurityInfoA(const_cast<char*>("c:\\bad\\f.txt"), SE_FILE_OBJECT,
                                  OWNER_SECURITY_INFORMATION, nullptr, nullptr, nullptr, nullptr),
            DWORD(ERROR_INVALID_OWNER));
  // Bytes the machine did not write in the attribute are ignored: the file reads as fresh.
  const char junk[] = "\x01\x01\x00\x04\x80\xff\xff\xff\xff";
  ASSERT_EQ(::setxattr(hostC("bad/f.txt").c_str(), "user.pwplatform.sd", junk, sizeof junk, 0), 0);
  EXPECT_EQ(show("c:\\bad\\f.txt"), kFromRootToFile);
  // A null list: every right for everyone, nothing passed on.
  ASSERT_EQ(SetNamedSecurityInfoA(const_cast<char*>("c:\\bad"), SE_FILE_OBJECT,
                                  DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION,
                                  nullptr, nullptr, nullptr, nullptr),
            0u);
  ASSERT_EQ(GetNamedSecurityInfoA("c:\\bad", SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr,
                                  nullptr, &dacl, nullptr, sd.out()),
            0u);
  EXPECT_EQ(dacl, nullptr);
  EXPECT_EQ(show("c:\\bad\\f.txt"), "");
}

}  // namespace
