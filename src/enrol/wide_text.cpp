#include "enrol/wide_text.h"

#include <new>
#include <vector>

namespace enrol {

win32::Bstr widen(const char* text) {
  int count = MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
  if (count <= 0) throw std::bad_alloc();
  std::vector<WCHAR> wide(static_cast<size_t>(count));
  if (MultiByteToWideChar(CP_ACP, 0, text, -1, wide.data(), count) != count) throw std::bad_alloc();
  win32::Bstr string(
      SysAllocStringLen(reinterpret_cast<const OLECHAR*>(wide.data()), UINT(count - 1)));
  if (!string) throw std::bad_alloc();
  return string;
}

std::string narrow(BSTR text) {
  if (!text) return {};
  int length = int(SysStringLen(text));
  if (length == 0) return {};
  int count = WideCharToMultiByte(CP_ACP, 0, reinterpret_cast<LPCWSTR>(text), length, nullptr, 0,
                                  nullptr, nullptr);
  std::string narrowed(size_t(count > 0 ? count : 0), '\0');
  WideCharToMultiByte(CP_ACP, 0, reinterpret_cast<LPCWSTR>(text), length, narrowed.data(), count,
                      nullptr, nullptr);
  return narrowed;
}

}  // namespace enrol
