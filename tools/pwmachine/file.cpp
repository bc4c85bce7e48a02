#include "file.h"

#include "handle.h"  // src/win32

namespace pwm {
namespace {

// Files pwmachine reads are scripts and certificates, never this large.
constexpr DWORD kMaxRead = 256u << 20;

}  // namespace

DWORD readFile(const std::string& path, std::string* bytes) {
  win32::FileHandle file(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                     OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return GetLastError();
  DWORD high = 0;
  DWORD size = GetFileSize(file.get(), &high);
  if (size == INVALID_FILE_SIZE && GetLastError() != ERROR_SUCCESS) return GetLastError();
  if (high || size > kMaxRead) return ERROR_NOT_ENOUGH_MEMORY;
  bytes->assign(size, '\0');
  DWORD got = 0;
  if (size && !ReadFile(file.get(), bytes->data(), size, &got, nullptr)) return GetLastError();
  bytes->resize(got);
  return ERROR_SUCCESS;
}

DWORD writeFile(const std::string& path, const std::string& bytes, bool replace) {
  win32::FileHandle file(CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr,
                                     replace ? CREATE_ALWAYS : CREATE_NEW, FILE_ATTRIBUTE_NORMAL,
                                     nullptr));
  if (!file) {
    DWORD error = GetLastError();
    return error == ERROR_ALREADY_EXISTS ? DWORD(ERROR_FILE_EXISTS) : error;
  }
  DWORD written = 0;
  if (!WriteFile(file.get(), bytes.data(), DWORD(bytes.size()), &written, nullptr) ||
      written != bytes.size())
    return GetLastError() ? GetLastError() : DWORD(ERROR_WRITE_FAULT);
  // Closed here, for the write-back error that only a close may report.
  if (!CloseHandle(file.release())) return GetLastError();
  return ERROR_SUCCESS;
}

}  // namespace pwm
