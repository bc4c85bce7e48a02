// Process, volume and version conformance probe: the arguments a started program's C
// runtime makes of its command line (the probe starts itself, found in its own
// folder without ".exe"), what CreateProcessA answers when it cannot start a
// program, waits and exit codes, the standard output a program inherits, and the
// volume and version queries with their error codes. Built for both targets; the
// outputs under Wine and on the portable platform must be identical. Works inside
// c:\pwprobe, which it removes again.
#include <windows.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>

namespace {

const char* kOut = "c:\\pwprobe\\out.txt";

void line(const std::string& label, const std::string& detail) {
  std::printf("%-52s %s\n", label.c_str(), detail.c_str());
}

std::string err(DWORD e) { return "error=" + std::to_string(static_cast<unsigned long>(e)); }

std::string readOut() {
  HANDLE h = CreateFileA(kOut, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                         OPEN_EXISTING, 0, nullptr);
  if (h == INVALID_HANDLE_VALUE) return "(unreadable " + err(GetLastError()) + ")";
  char buf[4096] = {};
  DWORD n = 0;
  ReadFile(h, buf, sizeof buf - 1, &n, nullptr);
  CloseHandle(h);
  std::string text(buf, n);
  std::string flat;
  for (char c : text)
    if (c != '\r' && c != '\n') flat += c;
  return flat;
}

struct Run {
  BOOL ok = FALSE;
  DWORD error = 0;
  PROCESS_INFORMATION info{};
};

// Starts `commandLine` with its output in the probe's file.
Run start(std::string commandLine, BOOL inheritable = TRUE, const char* folder = nullptr) {
  SECURITY_ATTRIBUTES sa{sizeof sa, nullptr, inheritable};
  HANDLE out = CreateFileA(kOut, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &sa,
                           CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  STARTUPINFOA si{};
  si.cb = sizeof si;
  si.dwFlags = STARTF_USESTDHANDLES;
  si.hStdOutput = out;
  Run r;
  SetLastError(0);
  r.ok = CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW,
                        nullptr, folder, &si, &r.info);
  r.error = r.ok ? 0 : GetLastError();
  CloseHandle(out);
  return r;
}

DWORD finish(Run& r) {
  DWORD wait = WaitForSingleObject(r.info.hProcess, 30000);
  DWORD code = 0;
  GetExitCodeProcess(r.info.hProcess, &code);
  CloseHandle(r.info.hThread);
  CloseHandle(r.info.hProcess);
  return wait == WAIT_OBJECT_0 ? code : 0xFFFFFFFF;
}

void arguments(const char* rest) {
  Run r = start(std::string("process_probe child ") + rest);
  if (!r.ok) return line(std::string("args of ") + rest, err(r.error));
  DWORD code = finish(r);
  line(std::string("args of ") + rest, readOut() + " exit=" + std::to_string(code));
}

void cannotStart(const char* label, const char* commandLine, const char* folder = nullptr) {
  Run r = start(commandLine, TRUE, folder);
  if (r.ok) finish(r);
  line(label, r.ok ? "started" : err(r.error));
}

void volume(const char* label, const char* root, DWORD size = 10) {
  char fs[32] = {};
  DWORD maxLength = 0;
  SetLastError(0);
  BOOL ok = GetVolumeInformationA(root, nullptr, 0, nullptr, &maxLength, nullptr, fs, size);
  line(label, ok ? std::string(fs) + " max=" + std::to_string(static_cast<unsigned long>(maxLength))
                 : err(GetLastError()));
}

void shareOpen(const char* label, DWORD access, DWORD share, DWORD disposition = OPEN_EXISTING) {
  SetLastError(0);
  HANDLE h = CreateFileA("c:\\pwprobe\\share.txt", access, share, nullptr, disposition,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  DWORD e = GetLastError();
  line(label, std::to_string(h != INVALID_HANDLE_VALUE) + " " + err(e));
  if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
}

// The report file's share mode (writing shared, nothing else) against other handles.
void shareModes() {
  HANDLE report = CreateFileA("c:\\pwprobe\\share.txt", GENERIC_WRITE, FILE_SHARE_WRITE, nullptr,
                              CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  DWORD written = 0;
  WriteFile(report, "data", 4, &written, nullptr);
  shareOpen("open to read beside the report", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE);
  shareOpen("open to write beside the report", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE);
  shareOpen("open to write sharing reading only", GENERIC_WRITE, FILE_SHARE_READ);
  shareOpen("create anew denying writes", GENERIC_WRITE, FILE_SHARE_READ, CREATE_ALWAYS);
  line("report size after the refused creation", std::to_string(GetFileSize(report, nullptr)));
  SetLastError(0);
  BOOL deleted = DeleteFileA("c:\\pwprobe\\share.txt");
  line("delete while the report is open", std::to_string(deleted) + " " + err(GetLastError()));
  DWORD got = 0;
  char buf[4];
  SetLastError(0);
  BOOL read = ReadFile(report, buf, sizeof buf, &got, nullptr);
  line("read through the report's handle", std::to_string(read) + " " + err(GetLastError()));
  shareOpen("create anew sharing writes", GENERIC_WRITE, FILE_SHARE_WRITE, CREATE_ALWAYS);
  line("report size after it was created anew", std::to_string(GetFileSize(report, nullptr)));
  CloseHandle(report);
  SetLastError(0);
  deleted = DeleteFileA("c:\\pwprobe\\share.txt");
  line("delete once it is closed", std::to_string(deleted) + " " + err(GetLastError()));
}

int child(int argc, char** argv) {
  for (int i = 2; i < argc; ++i) {
    if (std::strcmp(argv[i], "--sleep") == 0)
      std::this_thread::sleep_for(std::chrono::milliseconds(400));
    std::printf("[%s]", argv[i]);
  }
  std::fflush(stdout);
  return argc - 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc >= 2 && std::strcmp(argv[1], "child") == 0) return child(argc, argv);
  CreateDirectoryA("c:\\pwprobe", nullptr);

  // The C runtime's splitting, against Wine's own.
  arguments("a b");
  arguments("\"a b\" c\\\\\"d e\" f\\\"g");
  arguments("a\\\\\\b d\"e f\"g h");
  arguments("a\\\\\\\"b c d");
  arguments("a\\\\\\\\\"b c\" d e");
  arguments("a\"b\"\" c d");
  arguments("\"\" x \"\"\"\" y");
  arguments("\"unclosed a b");
  arguments("tab\tsep  two  blanks ");
  arguments("trailing\\ back\\\\");

  // Programs that cannot start.
  cannotStart("empty command line", "");
  cannotStart("missing program", "pwprobe-no-such-program x");
  cannotStart("missing folder on the way", "c:\\pwprobe-missing\\x.exe a");
  cannotStart("a folder as program", "c:\\pwprobe a");
  cannotStart("leading blank", " process_probe child");
  cannotStart("quote that never closes", "\"process_probe child");
  cannotStart("quotes inside the name", "process\"_probe\" child");
  cannotStart("current folder missing", "process_probe child", "c:\\pwprobe\\missing");

  // Waiting, exit codes, inherited output.
  Run r = start("process_probe child --sleep x y");
  DWORD code = 0;
  line("wait 0 ms while running", std::to_string(WaitForSingleObject(r.info.hProcess, 0)));
  GetExitCodeProcess(r.info.hProcess, &code);
  line("exit code while running", std::to_string(static_cast<unsigned long>(code)));
  line("wait on the thread", std::to_string(WaitForSingleObject(r.info.hThread, INFINITE)));
  line("wait on the process", std::to_string(WaitForSingleObject(r.info.hProcess, 0)));
  line("exit code and output", std::to_string(finish(r)) + " " + readOut());
  SetLastError(0);
  DWORD closedWait = WaitForSingleObject(r.info.hProcess, 0);
  line("wait on a closed handle", std::to_string(closedWait) + " " + err(GetLastError()));
  Run hidden = start("process_probe child not-inheritable", FALSE);
  line("output through a handle not inheritable",
       std::to_string(finish(hidden)) + " '" + readOut() + "'");

  shareModes();

  // Volumes and versions.
  volume("volume of the current folder", nullptr);
  volume("volume c:\\", "c:\\");
  volume("volume c:\\windows\\", "c:\\windows\\");
  volume("volume c:\\windows", "c:\\windows");
  volume("volume q:\\ (no such drive)", "q:\\");
  volume("volume c:\\ into 4 bytes", "c:\\", 4);
  volume("volume c:\\ into 5 bytes", "c:\\", 5);
  OSVERSIONINFOA v{};
  v.dwOSVersionInfoSize = 100;
  SetLastError(0);
  BOOL wrongSize = GetVersionExA(&v);
  line("version with a wrong size", std::to_string(wrongSize) + " " + err(GetLastError()));
  v.dwOSVersionInfoSize = sizeof v;
  BOOL ok = GetVersionExA(&v);
  line("version platform",
       std::to_string(ok) + " " + std::to_string(static_cast<unsigned long>(v.dwPlatformId)));

  DeleteFileA(kOut);
  RemoveDirectoryA("c:\\pwprobe");
  return 0;
}
