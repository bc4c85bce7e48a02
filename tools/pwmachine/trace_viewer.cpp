#include "trace_viewer.h"

#include <windows.h>

#include "console.h"
#include "handle.h"   // src/win32
#include "reg_key.h"  // src/win32
#include "text.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

namespace pwm::trace {
namespace {

constexpr const char* kUsage =
    "PWMACHINE LOG [N]\n\n"
    "  Prints the last N runs of pwexe's trace log (1 without N), each from its\n"
    "  opening '@' line to its closing one. The log is where pwexe writes it: the\n"
    "  folder PW_LogPath and the file PW_LogFileName (REG_SZ values under\n"
    "  HKCU\\Software\\Velmora\\Tessera), else c:\\PWY_log\\Portwyn.log. pwexe writes\n"
    "  it while the REG_DWORD value doTrace under that key (or under HKLM's) is 1.\n";

// The trace writer's buffers hold 255 characters; longer settings are cut to that.
constexpr size_t kMaxSetting = 255;
constexpr DWORD kMaxLog = 256u << 20;
constexpr std::string_view kRunStart = "PWEXE MAIN - Start";

int usageError(const std::string& problem) {
  err("ERROR: " + problem + "\nType \"pwmachine log --help\" for usage.\n");
  return 1;
}

bool readSetting(const char* name, std::string* value) {
  win32::RegKey key;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Velmora\\Tessera", 0, KEY_READ, key.out()))
    return false;
  DWORD type = 0, size = 0;
  if (RegQueryValueExA(key.get(), name, nullptr, &type, nullptr, &size) || size == 0) return false;
  std::string data(size, '\0');
  if (RegQueryValueExA(key.get(), name, nullptr, &type, reinterpret_cast<BYTE*>(data.data()),
                       &size))
    return false;
  data.resize(std::min<size_t>(size, std::strlen(data.c_str())));  // up to its first zero
  *value = data.substr(0, kMaxSetting);
  return true;
}

std::string logPath() {
  std::string folder = "c:\\PWY_log", file = "Portwyn.log";
  readSetting("PW_LogPath", &folder);
  readSetting("PW_LogFileName", &file);
  return folder + "\\" + file;
}

// The whole log. pwexe opens it for each line, sharing reading and writing: this
// reader shares both too, so that a run writing now loses no line.
DWORD readLog(const std::string& path, std::string* bytes) {
  win32::FileHandle file(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                     nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return GetLastError();
  DWORD high = 0;
  DWORD size = GetFileSize(file.get(), &high);
  if (size == INVALID_FILE_SIZE && GetLastError() != ERROR_SUCCESS) return GetLastError();
  if (high || size > kMaxLog) return ERROR_NOT_ENOUGH_MEMORY;
  bytes->assign(size, '\0');
  DWORD got = 0;
  if (size && !ReadFile(file.get(), bytes->data(), size, &got, nullptr)) return GetLastError();
  bytes->resize(got);
  return ERROR_SUCCESS;
}

// A run begins with an '@' line at no indentation, right before "PWEXE MAIN - Start"
// (each line's text follows its time stamp and a tab).
bool opensRun(const std::vector<std::string_view>& lines, size_t i) {
  std::string_view line = lines[i];
  size_t tab = line.find('\t');
  if (line.empty() || line[0] == ' ' || tab == std::string_view::npos ||
      line.substr(tab + 1) != kRunStart)
    return false;
  return i > 0 && !lines[i - 1].empty() && lines[i - 1].find_first_not_of('@') == std::string::npos;
}

}  // namespace

int runLog(int argc, char** argv) {
  if (argc >= 2 && isHelpSwitch(argv[1])) {
    out(kUsage);
    return 0;
  }
  if (argc > 2) return usageError("Too many parameters.");
  unsigned long runs = 1;
  if (argc == 2) {
    std::string_view text = argv[1];
    char* end = nullptr;
    errno = 0;
    runs = std::strtoul(argv[1], &end, 10);
    if (text.empty() || text.find_first_not_of("0123456789") != std::string_view::npos || errno ||
        runs == 0)
      return usageError("N is a number of runs, 1 or more.");
  }
  std::string path = logPath(), bytes;
  if (DWORD error = readLog(path, &bytes)) {
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND)
      err("ERROR: There is no trace log " + path +
          ". pwexe writes it while doTrace is 1:\n"
          "  pwmachine reg add HKCU\\Software\\Velmora\\Tessera /v doTrace /t REG_DWORD /d 1 /f\n");
    else
      err(format("ERROR: The trace log %s cannot be read (error %lu).\n", path.c_str(),
                 (unsigned long)error));
    return 1;
  }
  // Lines end with CR LF; a line of a Unix log ends with LF alone.
  std::vector<std::string_view> lines;
  std::string_view rest = bytes;
  while (!rest.empty()) {
    size_t end = rest.find('\n');
    std::string_view line = rest.substr(0, end);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    lines.push_back(line);
    if (end == std::string_view::npos) break;
    rest.remove_prefix(end + 1);
  }
  size_t first = 0;
  unsigned long found = 0;
  for (size_t i = lines.size(); i-- > 1 && found < runs;)
    if (opensRun(lines, i)) {
      first = i - 1;
      ++found;
    }
  std::string text;
  for (size_t i = first; i < lines.size(); ++i) {
    text += lines[i];
    text += '\n';
  }
  out(text);
  return 0;
}

}  // namespace pwm::trace
