// The portable registry's answers, as Windows gives them.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

struct Key {
  HKEY h = nullptr;
  ~Key() {
    if (h) RegCloseKey(h);
  }
};

LONG create(HKEY root, const char* path, Key* k, REGSAM sam = KEY_ALL_ACCESS, DWORD* disp = nullptr) {
  return RegCreateKeyExA(root, path, 0, nullptr, REG_OPTION_NON_VOLATILE, sam, nullptr, &k->h, disp);
}

TEST(Registry, CreateMakesEveryMissingKeyAndReportsDisposition) {
  Key a, b;
  DWORD disp = 0;
  ASSERT_EQ(create(HKEY_LOCAL_MACHINE, "Software\\T1\\x\\y", &a, KEY_ALL_ACCESS, &disp), ERROR_SUCCESS);
  EXPECT_EQ(disp, DWORD(REG_CREATED_NEW_KEY));
  ASSERT_EQ(create(HKEY_LOCAL_MACHINE, "SOFTWARE\\t1\\X\\Y\\", &b, KEY_ALL_ACCESS, &disp), ERROR_SUCCESS);
  EXPECT_EQ(disp, DWORD(REG_OPENED_EXISTING_KEY));
  Key c;
  EXPECT_EQ(create(HKEY_LOCAL_MACHINE, "\\Software", &c), ERROR_BAD_PATHNAME);
}

TEST(Registry, OpenFailsWithFileNotFoundForMissingKeys) {
  Key k;
  EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Missing\\Deeper", 0, KEY_READ, &k.h),
            ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(k.h, nullptr);
}

TEST(Registry, ValuesKeepExactBytesAndTypeAndNamesIgnoreCase) {
  Key k;
  ASSERT_EQ(create(HKEY_CURRENT_USER, "Software\\T2", &k), ERROR_SUCCESS);
  const BYTE data[] = {'A', 'B', 'C'};  // no terminator is added
  ASSERT_EQ(RegSetValueExA(k.h, "Hwid2", 0, REG_SZ, data, 3), ERROR_SUCCESS);
  DWORD type = 0, size = 0;
  ASSERT_EQ(RegQueryValueExA(k.h, "HWID2", nullptr, &type, nullptr, &size), ERROR_SUCCESS);
  EXPECT_EQ(type, DWORD(REG_SZ));
  EXPECT_EQ(size, 3u);
  BYTE out[8] = {};
  size = sizeof out;
  ASSERT_EQ(RegQueryValueExA(k.h, "hwid2", nullptr, &type, out, &size), ERROR_SUCCESS);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(out), size), "ABC");

  const BYTE other[] = {0, 0xFF, 0};
  ASSERT_EQ(RegSetValueExA(k.h, "HWID2", 0, REG_BINARY, other, 3), ERROR_SUCCESS);  // replaces
  size = sizeof out;
  ASSERT_EQ(RegQueryValueExA(k.h, "Hwid2", nullptr, &type, out, &size), ERROR_SUCCESS);
  EXPECT_EQ(type, DWORD(REG_BINARY));
  EXPECT_EQ(std::string(reinterpret_cast<char*>(out), size), std::string("\0\xff\0", 3));
}

TEST(Registry, SmallBufferGivesMoreDataWithTheSizeNeeded) {
  Key k;
  ASSERT_EQ(create(HKEY_CURRENT_USER, "Software\\T3", &k), ERROR_SUCCESS);
  std::string text(25, 'n');
  ASSERT_EQ(RegSetValueExA(k.h, "Name", 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()), 26), 0);
  char buf[21] = {};
  DWORD size = 20, type;
  EXPECT_EQ(RegQueryValueExA(k.h, "Name", nullptr, &type, reinterpret_cast<BYTE*>(buf), &size),
            ERROR_MORE_DATA);
  EXPECT_EQ(size, 26u);
  size = 20;
  EXPECT_EQ(RegQueryValueExA(k.h, "Absent", nullptr, &type, reinterpret_cast<BYTE*>(buf), &size),
            ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(size, 20u);  // untouched
}

TEST(Registry, AccessRightsOfTheHandleAreEnforced) {
  Key w, r;
  ASSERT_EQ(create(HKEY_CURRENT_USER, "Software\\T4", &w, KEY_WRITE), ERROR_SUCCESS);
  DWORD v = 1, size = 4;
  ASSERT_EQ(RegSetValueExA(w.h, "v", 0, REG_DWORD, reinterpret_cast<BYTE*>(&v), 4), 0);
  EXPECT_EQ(RegQueryValueExA(w.h, "v", nullptr, nullptr, reinterpret_cast<BYTE*>(&v), &size),
            ERROR_ACCESS_DENIED);
  ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\T4", 0, KEY_READ, &r.h), 0);
  EXPECT_EQ(RegSetValueExA(r.h, "v", 0, REG_DWORD, reinterpret_cast<BYTE*>(&v), 4), ERROR_ACCESS_DENIED);
}

TEST(Registry, KeysEnumerateInNameOrderAndOnlyLeavesCanBeDeleted) {
  Key root, tmp;
  ASSERT_EQ(create(HKEY_LOCAL_MACHINE, "Software\\T5", &root), 0);
  for (const char* sub : {"b", "C", "a\\inner"}) {
    Key s;
    ASSERT_EQ(create(root.h, sub, &s), 0);
  }
  std::string names;
  char name[256];
  DWORD i = 0;
  for (;; ++i) {
    DWORD len = sizeof name;
    LONG st = RegEnumKeyExA(root.h, i, name, &len, nullptr, nullptr, nullptr, nullptr);
    if (st == ERROR_NO_MORE_ITEMS) break;
    ASSERT_EQ(st, 0);
    EXPECT_EQ(len, std::strlen(name));
    names += name;
  }
  EXPECT_EQ(names, "abC");
  DWORD tiny = 1;
  EXPECT_EQ(RegEnumKeyExA(root.h, 0, name, &tiny, nullptr, nullptr, nullptr, nullptr), ERROR_MORE_DATA);

  EXPECT_EQ(RegDeleteKeyA(root.h, "a"), ERROR_ACCESS_DENIED);
  EXPECT_EQ(RegDeleteKeyA(root.h, "A\\INNER"), ERROR_SUCCESS);
  EXPECT_EQ(RegDeleteKeyA(root.h, "a"), ERROR_SUCCESS);
  EXPECT_EQ(RegDeleteKeyA(root.h, "a"), ERROR_FILE_NOT_FOUND);
}

TEST(Registry, HandleOfADeletedKeyReportsKeyDeleted) {
  Key parent, child;
  ASSERT_EQ(create(HKEY_LOCAL_MACHINE, "Software\\T6", &parent), 0);
  ASSERT_EQ(create(parent.h, "gone", &child), 0);
  ASSERT_EQ(RegDeleteKeyA(parent.h, "gone"), 0);
  DWORD v = 1;
  EXPECT_EQ(RegSetValueExA(child.h, "v", 0, REG_DWORD, reinterpret_cast<BYTE*>(&v), 4), ERROR_KEY_DELETED);
  EXPECT_EQ(RegCloseKey(child.h), ERROR_SUCCESS);
  child.h = nullptr;
  EXPECT_EQ(RegCloseKey(child.h), ERROR_INVALID_HANDLE);
}

TEST(Registry, ValuesEnumerateInCreationOrder) {
  Key k;
  ASSERT_EQ(create(HKEY_CURRENT_USER, "Software\\T7", &k), 0);
  for (const char* n : {"zeta", "alpha", "Mid"}) ASSERT_EQ(RegSetValueExA(k.h, n, 0, REG_NONE, nullptr, 0), 0);
  ASSERT_EQ(RegSetValueExA(k.h, "ZETA", 0, REG_NONE, nullptr, 0), 0);  // keeps its place
  std::string names;
  for (DWORD i = 0;; ++i) {
    char name[64];
    DWORD len = sizeof name;
    if (RegEnumValueA(k.h, i, name, &len, nullptr, nullptr, nullptr, nullptr)) break;
    names += std::string(name) + ",";
  }
  EXPECT_EQ(names, "zeta,alpha,Mid,");
  EXPECT_EQ(RegDeleteValueA(k.h, "ALPHA"), 0);
  EXPECT_EQ(RegDeleteValueA(k.h, "alpha"), ERROR_FILE_NOT_FOUND);
}

}  // namespace

namespace {

TEST(Registry, EmptySubkeyNameDeletesTheKeyItself) {
  Key k;
  ASSERT_EQ(create(HKEY_LOCAL_MACHINE, "Software\\T8\\leaf", &k), 0);
  EXPECT_EQ(RegDeleteKeyA(k.h, ""), ERROR_SUCCESS);
  Key again;
  EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\T8\\leaf", 0, KEY_READ, &again.h),
            ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(RegDeleteKeyA(HKEY_LOCAL_MACHINE, ""), ERROR_ACCESS_DENIED);
}

}  // namespace
