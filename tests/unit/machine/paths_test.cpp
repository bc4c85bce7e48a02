// Drive mapping, path resolution and the current directory.
#include <windows.h>

#include "kernel32/paths.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

namespace {

std::string full(const char* path) {
  char buf[MAX_PATH];
  DWORD n = GetFullPathNameA(path, MAX_PATH, buf, nullptr);
  return n ? std::string(buf, n) : "<error " + std::to_string(GetLastError()) + ">";
}

TEST(Paths, ResolveAgainstTheCurrentDirectoryAsWindowsDoes) {
  ASSERT_TRUE(CreateDirectoryA("c:\\work", nullptr) || GetLastError() == ERROR_ALREADY_EXISTS);
  ASSERT_TRUE(SetCurrentDirectoryA("C:/work/"));
  EXPECT_EQ(full("file.txt"), "C:\\work\\file.txt");
  EXPECT_EQ(full("..\\..\\x"), "C:\\x");
  EXPECT_EQ(full("\\top"), "C:\\top");
  EXPECT_EQ(full("c:rel"), "C:\\work\\rel");      // drive-relative on the current drive
  EXPECT_EQ(full("Z:rel"), "Z:\\rel");            // another drive: its root
  EXPECT_EQ(full("c:/a/./b//c"), "c:\\a\\b\\c");  // the drive letter keeps its case
  EXPECT_EQ(full("c:\\dots...\\name. "), "c:\\dots\\name");
  EXPECT_EQ(full("C:\\dir\\"), "C:\\dir\\");
  EXPECT_EQ(full("c:\\a|b"), "<error 123>");
  EXPECT_EQ(full(("c:\\" + std::string(300, 'l')).c_str()), "<error 206>");
}

TEST(Paths, DrivesMapToTheMachineRootAndTheHostRoot) {
  std::string root = std::getenv("PW_MACHINE_ROOT");
  std::string host;
  ASSERT_EQ(pw::paths::hostPath("c:\\windows", &host), 0u);
  EXPECT_EQ(host, root + "/drive_c/windows");
  ASSERT_EQ(pw::paths::hostPath("Z:\\tmp", &host), 0u);
  EXPECT_EQ(host, "/tmp");
  EXPECT_EQ(pw::paths::hostPath("q:\\x", &host), DWORD(ERROR_PATH_NOT_FOUND));
}

TEST(Paths, ExistingNamesMatchWithoutRegardToCase) {
  ASSERT_TRUE(CreateDirectoryA("c:\\MixedCase", nullptr));
  HANDLE h = CreateFileA("c:\\mixedcase\\Data.TXT", GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  CloseHandle(h);
  std::string host;
  ASSERT_EQ(pw::paths::hostPath("C:\\MIXEDCASE\\data.txt", &host), 0u);
  EXPECT_EQ(host, std::string(std::getenv("PW_MACHINE_ROOT")) + "/drive_c/MixedCase/Data.TXT");
  EXPECT_EQ(CreateFileA("c:\\MIXEDCASE\\DATA.txt", GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr),
            INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_FILE_EXISTS));
}

TEST(Paths, FileErrorsAreWindowsErrors) {
  EXPECT_EQ(CreateFileA("c:\\nope\\x.txt", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr),
            INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_PATH_NOT_FOUND));
  EXPECT_EQ(CreateFileA("c:\\x.txt", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr),
            INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(CreateFileA("c:\\windows", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr),
            INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_ACCESS_DENIED));
  EXPECT_FALSE(CreateDirectoryA("c:\\windows", nullptr));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_ALREADY_EXISTS));
  EXPECT_FALSE(CreateDirectoryA("c:\\a\\b\\c", nullptr));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_PATH_NOT_FOUND));
  EXPECT_FALSE(SetCurrentDirectoryA("c:\\missing"));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_FILE_NOT_FOUND));

  HANDLE h = CreateFileA("c:\\appended.txt", GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS, 0, nullptr);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_SUCCESS));
  CloseHandle(h);
  h = CreateFileA("c:\\appended.txt", FILE_APPEND_DATA, 0, nullptr, OPEN_ALWAYS, 0, nullptr);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_ALREADY_EXISTS));
  DWORD n;
  WriteFile(h, "ab", 2, &n, nullptr);
  SetFilePointer(h, 0, nullptr, FILE_BEGIN);  // appending ignores the position
  WriteFile(h, "cd", 2, &n, nullptr);
  EXPECT_EQ(GetFileSize(h, nullptr), 4u);
  CloseHandle(h);
  EXPECT_TRUE(DeleteFileA("c:\\APPENDED.TXT"));
  EXPECT_FALSE(DeleteFileA("c:\\appended.txt"));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_FILE_NOT_FOUND));
}

}  // namespace
