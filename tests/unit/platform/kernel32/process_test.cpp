// Programs started by the portable CreateProcessA: the handles they receive, how
// they are found, waited for and how they end. The process probe compares what
// Windows programs see with Wine.
#include <windows.h>

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

namespace {

std::string hostC(const std::string& relative) {
  return std::string(std::getenv("PW_MACHINE_ROOT")) + "/drive_c/" + relative;
}

std::string readHost(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

void writeScript(const std::string& relative, const std::string& body, mode_t mode = 0755) {
  std::string path = hostC(relative);
  std::ofstream(path, std::ios::binary) << body;
  ::chmod(path.c_str(), mode);
}

struct Started {
  BOOL ok;
  DWORD error;
  PROCESS_INFORMATION info;
};

// Starts `line` with its standard output in c:\<out> (when given).
Started start(std::string line, const char* out = "out.txt", BOOL inheritable = TRUE,
              BOOL inherit = TRUE, const char* folder = nullptr, void* environment = nullptr) {
  SECURITY_ATTRIBUTES sa{sizeof sa, nullptr, inheritable};
  HANDLE file = INVALID_HANDLE_VALUE;
  if (out)
    file = CreateFileA((std::string("c:\\") + out).c_str(), GENERIC_WRITE, FILE_SHARE_WRITE, &sa,
                       CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  STARTUPINFOA si{};
  si.cb = sizeof si;
  si.dwFlags = STARTF_USESTDHANDLES;
  si.hStdOutput = file == INVALID_HANDLE_VALUE ? nullptr : file;
  Started s{};
  s.ok = CreateProcessA(nullptr, line.data(), nullptr, nullptr, inherit, CREATE_NO_WINDOW,
                        environment, folder, &si, &s.info);
  s.error = s.ok ? 0 : GetLastError();
  if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
  return s;
}

DWORD finish(const Started& s) {
  EXPECT_EQ(WaitForSingleObject(s.info.hProcess, 10000), WAIT_OBJECT_0);
  DWORD code = 0;
  EXPECT_TRUE(GetExitCodeProcess(s.info.hProcess, &code));
  CloseHandle(s.info.hThread);
  CloseHandle(s.info.hProcess);
  return code;
}

TEST(Process, TheChildHasItsReportAsStandardOutputAndNoOtherStandardHandle) {
  Started s =
      start(R"(z:\bin\sh -c "cat; echo in=$?; echo x >&2; echo err=$?; ls /proc/self/fd | wc -l")");
  ASSERT_TRUE(s.ok) << s.error;
  finish(s);
  // Reading the input and writing the error output fail; ls sees 0, 1, 2 and its own 3.
  EXPECT_EQ(readHost(hostC("out.txt")), "in=1\nerr=1\n4\n");
}

TEST(Process, OnlyAnInheritableHandleInheritedOnRequestReachesTheChild) {
  for (auto [inheritable, inherit] : {std::pair{FALSE, TRUE}, std::pair{TRUE, FALSE}}) {
    Started s = start(R"(z:\bin\sh -c "echo seen")", "out.txt", inheritable, inherit);
    ASSERT_TRUE(s.ok) << s.error;
    finish(s);
    EXPECT_EQ(readHost(hostC("out.txt")), "");
  }
}

TEST(Process, WaitsTimeOutWhileTheProgramRunsAndReportItsEnd) {
  Started s = start(R"(z:\bin\sh -c "sleep 0.3; exit 7")");
  ASSERT_TRUE(s.ok) << s.error;
  EXPECT_EQ(WaitForSingleObject(s.info.hProcess, 0), WAIT_TIMEOUT);
  EXPECT_EQ(WaitForSingleObject(s.info.hThread, 50), WAIT_TIMEOUT);
  DWORD code = 0;
  ASSERT_TRUE(GetExitCodeProcess(s.info.hProcess, &code));
  EXPECT_EQ(code, STILL_ACTIVE);
  EXPECT_EQ(WaitForSingleObject(s.info.hThread, INFINITE), WAIT_OBJECT_0);
  EXPECT_EQ(finish(s), 7u);

  Started killed = start(R"(z:\bin\sh -c "kill -9 $$")");
  ASSERT_TRUE(killed.ok);
  EXPECT_EQ(finish(killed), 128u + 9u);

  EXPECT_EQ(WaitForSingleObject(reinterpret_cast<HANDLE>(0x1234), 0), WAIT_FAILED);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_HANDLE));
}

TEST(Process, RunsInTheFolderAndEnvironmentGiven) {
  ASSERT_TRUE(CreateDirectoryA("c:\\work", nullptr));
  char environment[] = "PW_ONE=1\0PW_TWO=\xe9\0";
  Started s = start(R"(z:\bin\sh -c "pwd; echo $PW_ONE$PW_TWO")", "out.txt", TRUE, TRUE, "c:\\work",
                    environment);
  ASSERT_TRUE(s.ok) << s.error;
  finish(s);
  EXPECT_EQ(readHost(hostC("out.txt")), hostC("work") + "\n1\xc3\xa9\n");  // ANSI to UTF-8

  EXPECT_EQ(start(R"(z:\bin\true)", nullptr, TRUE, TRUE, "c:\\missing").error,
            DWORD(ERROR_DIRECTORY));
}

TEST(Process, FindsProgramsAsWindowsDoes) {
  ASSERT_TRUE(CreateDirectoryA("c:\\windows\\system32", nullptr) ||
              GetLastError() == ERROR_ALREADY_EXISTS);
  writeScript("windows/system32/sysprog.exe", "#!/bin/sh\necho system32 \"$@\"\n");
  ASSERT_TRUE(CreateDirectoryA("c:\\my tools", nullptr));
  writeScript("my tools/run", "#!/bin/sh\necho blank \"$0\" \"$@\"\n");
  ASSERT_TRUE(CreateDirectoryA("c:\\extra", nullptr));
  writeScript("extra/onpath", "#!/bin/sh\necho onpath\n");

  // ".exe" is added to a name without one; the system folder is searched.
  Started s = start("sysprog a");
  ASSERT_TRUE(s.ok) << s.error;
  finish(s);
  EXPECT_EQ(readHost(hostC("out.txt")), "system32 a\n");

  // An unquoted name with blanks is found word by word, then quoted for the child.
  s = start(R"(c:\my tools\run x)");
  ASSERT_TRUE(s.ok) << s.error;
  finish(s);
  EXPECT_EQ(readHost(hostC("out.txt")), "blank " + hostC("my tools/run") + " x\n");

  // The machine's PATH, with the system root expanded.
  EXPECT_EQ(start("onpath").error, DWORD(ERROR_FILE_NOT_FOUND));
  HKEY key;
  ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE,
                            "System\\CurrentControlSet\\Control\\Session Manager\\Environment", 0,
                            nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
            ERROR_SUCCESS);
  const char path[] = "%SystemRoot%\\system32;C:\\Extra";
  ASSERT_EQ(RegSetValueExA(key, "Path", 0, REG_EXPAND_SZ, reinterpret_cast<const BYTE*>(path),
                           sizeof path),
            ERROR_SUCCESS);
  RegCloseKey(key);
  s = start("onpath");
  ASSERT_TRUE(s.ok) << s.error;
  finish(s);
  EXPECT_EQ(readHost(hostC("out.txt")), "onpath\n");
}

TEST(Process, WhatCannotStartSaysWhy) {
  writeScript("plain.exe", "not a program\n", 0644);
  writeScript("text.exe", "not a program\n", 0755);
  EXPECT_EQ(start(R"(c:\nothing here)").error, DWORD(ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(start(R"(c:\windows)").error, DWORD(ERROR_FILE_NOT_FOUND));  // a folder
  EXPECT_EQ(start("").error, DWORD(ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(start(R"(c:\plain.exe)").error, DWORD(ERROR_ACCESS_DENIED));
  EXPECT_EQ(start(R"(c:\text.exe)").error, DWORD(ERROR_BAD_EXE_FORMAT));
}

}  // namespace
