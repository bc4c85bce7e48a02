// Where Windows paths land on the host. How paths resolve and what the file
// functions answer is compared with Wine by the file probe.
#include <windows.h>

#include "kernel32/paths.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

namespace {

std::string root() { return std::getenv("PW_MACHINE_ROOT"); }

TEST(Paths, DrivesMapToTheMachineRootAndTheHostRoot) {
  std::string host;
  ASSERT_EQ(pw::paths::hostPath("c:\\windows", &host), 0u);
  EXPECT_EQ(host, root() + "/drive_c/windows");
  ASSERT_EQ(pw::paths::hostPath("Z:\\tmp", &host), 0u);
  EXPECT_EQ(host, "/tmp");
  EXPECT_EQ(pw::paths::hostPath("q:\\x", &host), DWORD(ERROR_PATH_NOT_FOUND));
}

TEST(Paths, ExistingNamesMatchWithoutRegardToCase) {
  ASSERT_TRUE(CreateDirectoryA("c:\\MixedCase", nullptr));
  HANDLE h =
      CreateFileA("c:\\mixedcase\\Data.TXT", GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  CloseHandle(h);
  std::string host;
  ASSERT_EQ(pw::paths::hostPath("C:\\MIXEDCASE\\data.txt", &host), 0u);
  EXPECT_EQ(host, root() + "/drive_c/MixedCase/Data.TXT");
  ASSERT_EQ(pw::paths::hostPath("c:\\mixedcase\\new.txt", &host), 0u);
  EXPECT_EQ(host, root() + "/drive_c/MixedCase/new.txt");  // a new name is taken as written
}

TEST(Paths, InvalidAndOverlongNamesAreRefused) {
  char buf[MAX_PATH];
  EXPECT_EQ(GetFullPathNameA("c:\\a|b", MAX_PATH, buf, nullptr), 0u);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_NAME));
  EXPECT_EQ(GetFullPathNameA(("c:\\" + std::string(300, 'l')).c_str(), MAX_PATH, buf, nullptr), 0u);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_FILENAME_EXCED_RANGE));
}

}  // namespace
