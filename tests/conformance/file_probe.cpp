// File and path conformance probe: path resolution against the current directory,
// the answers of the file functions the system uses, and their last-error codes.
// Built for both targets; the outputs under Wine and on the portable platform must
// be identical. Works inside c:\pwprobe, which it removes again.
#include <windows.h>

#include <cstdio>
#include <string>

namespace {

void line(const char* label, long result, const std::string& detail = "") {
  std::printf("%-46s %6ld %s\n", label, result, detail.c_str());
}

void lastError(const char* label, BOOL ok) {
  DWORD err = ok ? 0 : GetLastError();
  line(label, ok ? 1 : 0, "error=" + std::to_string(err));
}

void full(const char* path) {
  char buf[MAX_PATH];
  char* part = nullptr;
  DWORD n = GetFullPathNameA(path, MAX_PATH, buf, &part);
  std::string label = std::string("full path of '") + path + "'";
  line(label.c_str(), long(n),
       n ? std::string(buf) + (part ? " part=" + std::string(part) : "")
         : "error=" + std::to_string(GetLastError()));
}

void open(const char* label, const char* path, DWORD access, DWORD disposition, DWORD flags = 0) {
  SetLastError(12345);
  HANDLE h = CreateFileA(path, access, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, disposition,
                         flags ? flags : FILE_ATTRIBUTE_NORMAL, nullptr);
  DWORD err = GetLastError();
  line(label, h != INVALID_HANDLE_VALUE, "error=" + std::to_string(err));
  if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
}

}  // namespace

int main() {
  if (!SetCurrentDirectoryA("c:\\")) return 1;
  RemoveDirectoryA("c:\\pwprobe\\sub");
  DeleteFileA("c:\\pwprobe\\file.txt");
  RemoveDirectoryA("c:\\pwprobe");

  lastError("create folder", CreateDirectoryA("c:\\pwprobe", nullptr));
  lastError("create it again", CreateDirectoryA("c:\\PWPROBE", nullptr));
  lastError("create below a missing folder", CreateDirectoryA("c:\\pwprobe\\a\\b", nullptr));
  lastError("current directory, other case, '/'", SetCurrentDirectoryA("C:/PwProbe/"));
  char cur[MAX_PATH];
  DWORD n = GetCurrentDirectoryA(MAX_PATH, cur);
  line("current directory", long(n), cur);
  line("current directory, buffer too small", long(GetCurrentDirectoryA(3, cur)));

  full("file.txt");
  full("..\\..\\x");
  full("\\top");
  full("c:rel");
  full("c:\\a\\.\\b\\\\c");
  full("c:\\dir\\");
  full("c:\\trailing.. ");

  open("open missing file", "file.txt", GENERIC_READ, OPEN_EXISTING);
  open("open in missing folder", "nope\\file.txt", GENERIC_READ, OPEN_EXISTING);
  open("create new", "file.txt", GENERIC_WRITE, CREATE_NEW);
  open("create new again", "FILE.TXT", GENERIC_WRITE, CREATE_NEW);
  open("open always, existing", "file.txt", GENERIC_WRITE, OPEN_ALWAYS);
  open("create always, existing", "file.txt", GENERIC_WRITE, CREATE_ALWAYS);
  open("append, existing", "file.txt", FILE_APPEND_DATA, OPEN_ALWAYS);
  open("folder as file", "c:\\pwprobe", GENERIC_READ, OPEN_EXISTING);
  open("folder with backup semantics", "c:\\pwprobe", GENERIC_READ, OPEN_EXISTING,
       FILE_FLAG_BACKUP_SEMANTICS);

  HANDLE h = CreateFileA("file.txt", FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  DWORD written = 0;
  WriteFile(h, "ab", 2, &written, nullptr);
  SetFilePointer(h, 0, nullptr, FILE_BEGIN);
  WriteFile(h, "cd", 2, &written, nullptr);
  line("size after two appends", long(GetFileSize(h, nullptr)));
  CloseHandle(h);
  h = CreateFileA("file.txt", GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                  FILE_ATTRIBUTE_NORMAL, nullptr);
  char data[8] = {};
  DWORD got = 0;
  ReadFile(h, data, sizeof data, &got, nullptr);
  line("read back", long(got), data);
  ReadFile(h, data, sizeof data, &got, nullptr);
  line("read at end", long(got));
  line("type of a file", long(GetFileType(h)));
  CloseHandle(h);
  h = CreateFileA("c:\\pwprobe", GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                  FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  line("type of a folder", long(GetFileType(h)));
  CloseHandle(h);

  DWORD attrs = GetFileAttributesA("c:\\pwprobe");
  line("attributes of folder", long(attrs & FILE_ATTRIBUTE_DIRECTORY));
  attrs = GetFileAttributesA("c:\\pwprobe\\missing");
  line("attributes of missing file", long(attrs == INVALID_FILE_ATTRIBUTES),
       "error=" + std::to_string(GetLastError()));
  attrs = GetFileAttributesA("c:\\pwprobe\\missing\\deeper");
  line("attributes below missing folder", long(attrs == INVALID_FILE_ATTRIBUTES),
       "error=" + std::to_string(GetLastError()));
  lastError("current directory to a file", SetCurrentDirectoryA("file.txt"));
  lastError("current directory to missing", SetCurrentDirectoryA("c:\\pwprobe\\missing"));
  lastError("delete folder as file", DeleteFileA("c:\\pwprobe"));
  lastError("delete file, other case", DeleteFileA("FILE.txt"));
  lastError("delete it again", DeleteFileA("file.txt"));
  lastError("delete in missing folder", DeleteFileA("nope\\file.txt"));

  SetCurrentDirectoryA("c:\\");
  lastError("remove folder", RemoveDirectoryA("c:\\pwprobe"));
  return 0;
}
