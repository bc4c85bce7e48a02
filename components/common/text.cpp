#include "components/common/text.h"

namespace pw::com {

std::string narrow(const WCHAR* text) {
  if (!text || !*text) return {};
  int size = WideCharToMultiByte(CP_ACP, 0, text, -1, nullptr, 0, nullptr, nullptr);
  if (size <= 1) return {};
  std::string out(size_t(size), '\0');
  WideCharToMultiByte(CP_ACP, 0, text, -1, out.data(), size, nullptr, nullptr);
  out.resize(size_t(size - 1));
  return out;
}

WideString wide(std::string_view text) {
  if (text.empty()) return {};
  int size = MultiByteToWideChar(CP_ACP, 0, text.data(), int(text.size()), nullptr, 0);
  WideString out(size_t(size), WCHAR(0));
  MultiByteToWideChar(CP_ACP, 0, text.data(), int(text.size()), out.data(), size);
  return out;
}

BSTR widen(std::string_view text) {
  WideString w = wide(text);
  return SysAllocStringLen(w.data(), UINT(w.size()));
}

HRESULT lastError() {
  DWORD code = GetLastError();
  if (!code) return E_FAIL;
  // CryptoAPI and the COM runtime leave HRESULTs as their last error.
  return (code & 0x80000000) ? HRESULT(code) : HRESULT_FROM_WIN32(code);
}

}  // namespace pw::com
