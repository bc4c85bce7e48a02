// 'F': the command text handed over in a file.
#include "dispatch/text_mode_reader.h"
#include "handlers/storage_manager.h"
#include "trace/trace.h"
#include "win32/handle.h"
#include "win32/result_codes.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <stdexcept>
#include <string>

namespace {

constexpr size_t kPiece = 25;

// The file's text in wide characters; false when it cannot be opened, is no disk file
// (a pipe or a device would never end) or cannot be read to its end: the part before a
// failed read is not the command the client wrote, and is never run. What is read
// stops at the size the file had when it was opened, however long a writer appends.
bool readWholeText(const char* path, std::basic_string<WCHAR>* text) {
  win32::FileHandle file(CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                     nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file || GetFileType(file.get()) != FILE_TYPE_DISK) return false;
  DWORD high = 0;
  DWORD low = GetFileSize(file.get(), &high);
  if (low == INVALID_FILE_SIZE && GetLastError() != NO_ERROR) return false;
  TextModeReader reader(file.get(), (uint64_t(high) << 32) | low);
  char piece[kPiece + 1] = {};
  while (reader.read(piece, kPiece) > 0) {
    // A zero byte cuts its piece: only the text before it is converted.
    int len = int(std::strlen(piece));
    if (len > 0) {
      WCHAR wide[kPiece];
      int n = MultiByteToWideChar(CP_ACP, 0, piece, len, wide, int(kPiece));
      text->append(wide, wide + (n > 0 ? n : 0));
    }
    std::memset(piece, 0, sizeof piece);
  }
  return !reader.failed();
}

// The wide text back in the ANSI code page, at most `limit` bytes of it.
void narrowInto(const std::basic_string<WCHAR>& text, char* out, size_t limit) {
  int needed =
      WideCharToMultiByte(CP_ACP, 0, text.data(), int(text.size()), nullptr, 0, nullptr, nullptr);
  if (needed <= 0) throw std::runtime_error("conversion failed");
  std::string ansi(size_t(needed), '\0');
  WideCharToMultiByte(CP_ACP, 0, text.data(), int(text.size()), ansi.data(), needed, nullptr,
                      nullptr);
  std::memcpy(out, ansi.data(), std::min(limit, ansi.size()));
}

}  // namespace

bool Storage_Manager_No_console::readCommandLineFromFile(LONG* error, const char* path,
                                                         CommandCopy* commandCopy) {
  writeTrace("PWEXE Storage_Manager_No_console::readCommandLineFromFile - Start", TRACE_START);
  try {
    std::basic_string<WCHAR> text;
    if (!readWholeText(path, &text)) throw std::runtime_error("command file not readable");
    DeleteFileA(path);  // a file that cannot be deleted stays; the command runs all the same

    commandCopy->reset();
    size_t n = text.size();
    auto copy = std::make_unique<char[]>(n + 1);  // zero-filled
    if (n > 0) narrowInto(text, copy.get(), n);
    *commandCopy = std::move(copy);
    writeTrace(commandCopy->get(), TRACE_PLAIN);
  } catch (...) {
    *error = rc::kCommandFileFailed;
    writeTrace("PWEXE Storage_Manager_No_console::readCommandLineFromFile - End catch3", TRACE_END);
    return false;
  }
  writeTrace("PWEXE Storage_Manager_No_console::readCommandLineFromFile - End true", TRACE_END);
  return true;
}
