// Only regular files and folders open as files; the other answers of the file
// functions are compared with Wine by the file probe.
#include <windows.h>

#include <gtest/gtest.h>

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

std::string hostC(const char* name) {
  return std::string(std::getenv("PW_MACHINE_ROOT")) + "/drive_c/" + name;
}

// Every way of opening: none may wait for a FIFO's other end, none may succeed.
void expectNoOpen(const char* path) {
  const DWORD accesses[] = {GENERIC_READ, GENERIC_WRITE, FILE_APPEND_DATA};
  const DWORD dispositions[] = {OPEN_EXISTING, OPEN_ALWAYS, CREATE_ALWAYS, TRUNCATE_EXISTING};
  for (DWORD access : accesses) {
    for (DWORD disposition : dispositions) {
      SCOPED_TRACE(std::string(path) + " access " + std::to_string(access) + " disposition " +
                   std::to_string(disposition));
      HANDLE h = CreateFileA(path, access, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, disposition,
                             FILE_FLAG_BACKUP_SEMANTICS, nullptr);
      EXPECT_EQ(h, INVALID_HANDLE_VALUE);
      if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
      EXPECT_EQ(GetLastError(), DWORD(ERROR_CANT_ACCESS_FILE));
    }
  }
}

TEST(Files, FifosSocketsAndDevicesAreNoFiles) {
  ASSERT_TRUE(CreateDirectoryA("c:\\special", nullptr));
  ASSERT_EQ(::mkfifo(hostC("special/pipe").c_str(), 0666), 0);
  expectNoOpen("c:\\special\\pipe");

  int s = ::socket(AF_UNIX, SOCK_STREAM, 0);
  ASSERT_GE(s, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::string socketPath = hostC("special/socket");
  ASSERT_LT(socketPath.size(), sizeof address.sun_path);
  std::strcpy(address.sun_path, socketPath.c_str());
  ASSERT_EQ(::bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  expectNoOpen("c:\\special\\socket");
  ::close(s);

  expectNoOpen("Z:\\dev\\null");
}

TEST(Files, TypeOfAFileAndOfAStandardHandle) {
  HANDLE h = CreateFileA("c:\\typed.txt", GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetFileType(h), DWORD(FILE_TYPE_DISK));
  CloseHandle(h);
  EXPECT_EQ(GetFileType(h), DWORD(FILE_TYPE_UNKNOWN));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_HANDLE));

  int ends[2];
  ASSERT_EQ(::pipe(ends), 0);
  int saved = ::dup(STDIN_FILENO);
  ::dup2(ends[0], STDIN_FILENO);
  EXPECT_EQ(GetFileType(GetStdHandle(STD_INPUT_HANDLE)), DWORD(FILE_TYPE_PIPE));
  ::dup2(saved, STDIN_FILENO);
  ::close(saved);
  ::close(ends[0]);
  ::close(ends[1]);
}

}  // namespace
