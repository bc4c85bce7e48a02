#include "trace/trace_log.h"

#include "trace/trace.h"
#include "trace/trace_settings.h"
#include "win32/handle.h"

#include <cstdio>

namespace {

void appendLine(std::string& out, const std::string& indent, const std::string& line) {
  out += indent;
  out += line;
}

// Text mode: every line feed goes to the file as carriage return and line feed.
std::string toTextMode(const std::string& in) {
  std::string out;
  out.reserve(in.size() + 8);
  for (char c : in) {
    if (c == '\n') out += '\r';
    out += c;
  }
  return out;
}

bool isDirectory(const std::string& path) {
  DWORD attrs = GetFileAttributesA(path.c_str());
  return attrs != INVALID_FILE_ATTRIBUTES && (attrs & FILE_ATTRIBUTE_DIRECTORY);
}

}  // namespace

TraceLog& TraceLog::instance() {
  static TraceLog* log = new TraceLog;  // process-wide, never released
  return *log;
}

std::string TraceLog::parentOf(const std::string& folder) {
  std::string drive, rest = folder;
  if (rest.size() >= 2 && rest[1] == ':') {
    drive = rest.substr(0, 2);
    rest = rest.substr(2);
  }
  size_t cut = rest.find_last_of("\\/");
  return drive + (cut == std::string::npos ? std::string() : rest.substr(0, cut + 1));
}

std::string TraceLog::formatBlock(int depth, int kind, char separator, const SYSTEMTIME& t,
                                  const char* text) {
  std::string indent(depth > 0 ? size_t(depth) * 2 : 0, ' ');
  std::string separatorLine(kSeparatorWidth, separator);
  separatorLine += '\n';
  char stamp[64];
  std::snprintf(stamp, sizeof stamp, "%d-%d-%d  %d:%.2d:%.2d:%.3d\t", t.wYear, t.wMonth, t.wDay,
                t.wHour, t.wMinute, t.wSecond, t.wMilliseconds);
  std::string block;
  if (kind == TRACE_START) appendLine(block, indent, separatorLine);
  appendLine(block, indent, std::string(stamp) + text + "\n");
  if (kind == TRACE_END) appendLine(block, indent, separatorLine);
  return toTextMode(block);
}

bool TraceLog::enabled() {
  if (state_ == State::NotRead) readSettings();
  return state_ == State::On;
}

void TraceLog::readSettings() {
  try {
    DWORD value = 0;
    bool on = readTraceDword(HKEY_CURRENT_USER, "doTrace", &value) && value == 1;
    if (!on) {
      value = 0;
      on = readTraceDword(HKEY_LOCAL_MACHINE, "doTrace", &value) && value == 1;
    }
    if (!on) {
      state_ = State::Off;
      return;
    }
    folder_ = "c:\\PWY_log";
    fileName_ = "Portwyn.log";
    state_ = State::On;
    // Settings longer than the writer's buffers are cut to them.
    std::string text;
    if (readTraceString(HKEY_CURRENT_USER, "PW_LogPath", &text)) folder_ = text.substr(0, kMaxText);
    if (readTraceString(HKEY_CURRENT_USER, "PW_LogFileName", &text))
      fileName_ = text.substr(0, kMaxText);
  } catch (...) {
    state_ = State::Off;
  }
}

void TraceLog::write(const char* text, int kind, char separator) {
  if (!enabled()) return;
  writeLine(text ? text : "", kind, separator);
}

void TraceLog::writeLine(const char* text, int kind, char separator) {
  if (kind == TRACE_START && depth_ < kMaxDepth) ++depth_;
  try {
    // The log folder's parent becomes the current directory, so that relative
    // paths used later in the run resolve against it.
    std::string parent = parentOf(folder_);
    if (!parent.empty() && isDirectory(parent)) SetCurrentDirectoryA(parent.c_str());

    // The folder is made before the log path is built and measured: a path longer
    // than the writer's buffer loses the line, but its folder is made all the same.
    if (!isDirectory(folder_)) CreateDirectoryA(folder_.c_str(), nullptr);
    std::string path = folder_ + "\\" + fileName_;
    if (path.size() <= kMaxText) {
      win32::FileHandle probe(CreateFileA(path.c_str(), GENERIC_WRITE,
                                          FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                                          FILE_ATTRIBUTE_NORMAL, nullptr));
      if (probe) {
        probe.reset();
        win32::FileHandle log(CreateFileA(path.c_str(), FILE_APPEND_DATA,
                                          FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                                          FILE_ATTRIBUTE_NORMAL, nullptr));
        // Only a disk file takes lines: a pipe or a device in the log's place could
        // hold the run up, or swallow its lines unseen.
        if (log && GetFileType(log.get()) == FILE_TYPE_DISK) {
          SYSTEMTIME now{};
          GetLocalTime(&now);
          // One write per call, so that lines of overlapping runs never mix.
          std::string block = formatBlock(depth_, kind, separator, now, text);
          DWORD written = 0;
          WriteFile(log.get(), block.data(), DWORD(block.size()), &written, nullptr);
        }
      }
    }
  } catch (...) {
    // A line that cannot be written is lost.
  }
  if (kind == TRACE_END && depth_ >= 1) --depth_;
}

void writeTrace(const char* text, int kind) { TraceLog::instance().write(text, kind, '@'); }

void writeCryptoTrace(const char* text, int kind) { TraceLog::instance().write(text, kind, '='); }

void traceCryptoError(DWORD code, const char* /* the call: only its code goes to the log */) {
  char line[48];
  std::snprintf(line, sizeof line, "crypto error traced: [%d]", int(code));
  writeCryptoTrace(line, TRACE_PLAIN);
}
