// Folder searches: the pattern rules, NTFS's order (by upper-cased name, "." and ".."
// first, none in a drive's root) and the errors for what matches nothing.
#include <windows.h>

#include "local.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

std::string names(const char* pattern) {
  WIN32_FIND_DATAA data;
  win32::FindHandle search(FindFirstFileA(pattern, &data));
  if (!search) return "error " + std::to_string(GetLastError());
  std::string text;
  do {
    text += data.cFileName;
    text += (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ? "/ " : " ";
  } while (FindNextFileA(search.get(), &data));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_NO_MORE_FILES));
  return text;
}

void makeFile(const char* path, const char* content = "") {
  HANDLE h =
      CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  DWORD written;
  WriteFile(h, content, DWORD(std::strlen(content)), &written, nullptr);
  CloseHandle(h);
}

TEST(FindFile, MatchesPatternsInNtfsOrder) {
  ASSERT_TRUE(CreateDirectoryA("c:\\find", nullptr));
  ASSERT_TRUE(CreateDirectoryA("c:\\find\\Sub", nullptr));
  for (const char* name : {"c:\\find\\b.txt", "c:\\find\\A.log", "c:\\find\\a.txt",
                           "c:\\find\\noext", "c:\\find\\_x.txt"})
    makeFile(name);
  EXPECT_EQ(names("c:\\find\\*"), "./ ../ A.log a.txt b.txt noext Sub/ _x.txt ");
  EXPECT_EQ(names("c:\\find\\*.*"), "./ ../ A.log a.txt b.txt noext Sub/ _x.txt ");
  EXPECT_EQ(names("C:/FIND/*.TXT"), "a.txt b.txt _x.txt ");
  EXPECT_EQ(names("c:\\find\\?.txt"), "a.txt b.txt ");
  EXPECT_EQ(names("c:\\find\\*o*"), "A.log noext ");
  EXPECT_EQ(names("c:\\find\\sub"), "Sub/ ");
  EXPECT_EQ(names("c:\\find\\*.none"), "error 2");
  EXPECT_EQ(names("c:\\nofolder\\*"), "error 3");
  EXPECT_EQ(names("c:\\find\\"), "error 2");
  SetCurrentDirectoryA("c:\\find");
  EXPECT_EQ(names("a*"), "A.log a.txt ");
  // A drive's root has no "." or "..".
  EXPECT_EQ(names("c:\\*").find("./ ../"), std::string::npos);
}

TEST(FindFile, DescribesEachFileAndRefusesOtherHandles) {
  ASSERT_TRUE(CreateDirectoryA("c:\\described", nullptr));
  makeFile("c:\\described\\five.txt", "12345");
  WIN32_FIND_DATAA data;
  win32::FindHandle search(FindFirstFileA("c:\\described\\f*", &data));
  ASSERT_TRUE(search);
  EXPECT_STREQ(data.cFileName, "five.txt");
  EXPECT_EQ(data.nFileSizeLow, 5u);
  EXPECT_EQ(data.dwFileAttributes, DWORD(FILE_ATTRIBUTE_ARCHIVE));
  EXPECT_NE(data.ftLastWriteTime.dwHighDateTime, 0u);
  HANDLE file = CreateFileA("c:\\described\\five.txt", GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  EXPECT_FALSE(FindNextFileA(file, &data));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_HANDLE));
  EXPECT_FALSE(FindClose(file));
  CloseHandle(file);
}

}  // namespace
