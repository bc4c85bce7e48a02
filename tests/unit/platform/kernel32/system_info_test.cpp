// What the machine reports about its volumes and its version follows the settings
// under its platform key; how roots are checked is compared with Wine by the
// process probe.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

namespace {

void setString(const char* key, const char* name, const char* text) {
  HKEY k;
  ASSERT_EQ(
      RegCreateKeyExA(HKEY_LOCAL_MACHINE, key, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &k, nullptr),
      ERROR_SUCCESS);
  RegSetValueExA(k, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text), DWORD(strlen(text) + 1));
  RegCloseKey(k);
}

void setNumber(const char* name, DWORD value) {
  HKEY k;
  ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, "Software\\PwPlatform\\Version", 0, nullptr, 0,
                            KEY_ALL_ACCESS, nullptr, &k, nullptr),
            ERROR_SUCCESS);
  RegSetValueExA(k, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
  RegCloseKey(k);
}

std::string fileSystem(const char* root, DWORD size = 10) {
  char name[64] = {};
  if (!GetVolumeInformationA(root, nullptr, 0, nullptr, nullptr, nullptr, name, size))
    return "error " + std::to_string(GetLastError());
  return name;
}

TEST(SystemInfo, EachDriveReportsTheFileSystemItIsSetTo) {
  ASSERT_TRUE(SetCurrentDirectoryA("c:\\"));
  EXPECT_EQ(fileSystem(nullptr), "NTFS");
  setString("Software\\PwPlatform\\FileSystems", "c:", "FAT32");
  EXPECT_EQ(fileSystem("C:\\"), "FAT32");
  EXPECT_EQ(fileSystem(nullptr), "FAT32");  // the current folder is on c:
  EXPECT_EQ(fileSystem("z:\\"), "NTFS");
  EXPECT_EQ(fileSystem("c:\\", 5), "error 24");  // "FAT32" and its terminator need 6
  setString("Software\\PwPlatform\\FileSystems", "C:", "NTFS");
  EXPECT_EQ(fileSystem("c:\\", 5), "NTFS");
}

TEST(SystemInfo, TheVersionIsACurrentWindowsUntilSetOtherwise) {
  OSVERSIONINFOA v{};
  v.dwOSVersionInfoSize = sizeof v;
  ASSERT_TRUE(GetVersionExA(&v));
  EXPECT_EQ(v.dwPlatformId, DWORD(VER_PLATFORM_WIN32_NT));
  EXPECT_EQ(v.dwMajorVersion, 10u);

  setNumber("PlatformId", VER_PLATFORM_WIN32_WINDOWS);
  setNumber("MajorVersion", 4);
  setNumber("MinorVersion", 10);
  setNumber("BuildNumber", 2222);
  setString("Software\\PwPlatform\\Version", "CSDVersion", " A");
  OSVERSIONINFOEXA ex{};
  ex.dwOSVersionInfoSize = sizeof ex;
  ASSERT_TRUE(GetVersionExA(reinterpret_cast<OSVERSIONINFOA*>(&ex)));
  EXPECT_EQ(ex.dwPlatformId, DWORD(VER_PLATFORM_WIN32_WINDOWS));
  EXPECT_EQ(ex.dwMajorVersion * 1000000 + ex.dwMinorVersion * 10000 + ex.dwBuildNumber, 4102222u);
  EXPECT_STREQ(ex.szCSDVersion, " A");
}

}  // namespace
