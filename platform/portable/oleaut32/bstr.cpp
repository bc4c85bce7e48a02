// System strings. A BSTR points at its characters; the 32-bit byte count sits right
// before them and two zero bytes right after. On 64-bit Windows the count is preceded by
// 4 bytes of padding so that the characters are 8-byte aligned; the same is done here.
#include <windows.h>

#include <oleauto.h>

#include "machine/faults.h"

#include <cstdlib>
#include <cstring>

namespace {

constexpr size_t kHeader = 8;  // padding + byte count
constexpr UINT kMaxBytes = 0x7FFFFFF0u;

DWORD* countOf(BSTR s) { return reinterpret_cast<DWORD*>(s) - 1; }

// A string of `bytes` bytes, copied from `from` when given, zeroed otherwise.
BSTR allocate(const void* from, UINT bytes) {
  if (bytes > kMaxBytes) return nullptr;
  auto* block = static_cast<BYTE*>(std::malloc(kHeader + bytes + sizeof(OLECHAR)));
  if (!block) return nullptr;
  BYTE* text = block + kHeader;
  DWORD count = bytes;
  std::memcpy(text - sizeof(DWORD), &count, sizeof count);
  if (from)
    std::memcpy(text, from, bytes);
  else
    std::memset(text, 0, bytes);
  text[bytes] = 0;
  text[bytes + 1] = 0;
  return reinterpret_cast<BSTR>(text);
}

UINT length(const OLECHAR* s) {
  UINT n = 0;
  while (s[n]) ++n;
  return n;
}

}  // namespace

BSTR WINAPI SysAllocString(const OLECHAR* psz) {
  return psz ? SysAllocStringLen(psz, length(psz)) : nullptr;
}

BSTR WINAPI SysAllocStringLen(const OLECHAR* strIn, UINT ui) {
  if (pw::faults::injected(pw::faults::Point::SysAllocStringLen)) return nullptr;
  if (ui > kMaxBytes / sizeof(OLECHAR)) return nullptr;
  return allocate(strIn, ui * UINT(sizeof(OLECHAR)));
}

BSTR WINAPI SysAllocStringByteLen(LPCSTR psz, UINT len) { return allocate(psz, len); }

INT WINAPI SysReAllocString(BSTR* pbstr, const OLECHAR* psz) {
  if (!pbstr) return FALSE;
  BSTR fresh = SysAllocString(psz);  // before the free: psz may lie inside *pbstr
  if (psz && !fresh) return FALSE;
  SysFreeString(*pbstr);
  *pbstr = fresh;
  return TRUE;
}

INT WINAPI SysReAllocStringLen(BSTR* pbstr, const OLECHAR* psz, UINT len) {
  if (!pbstr) return FALSE;
  BSTR fresh = SysAllocStringLen(psz, len);
  if (!fresh) return FALSE;
  SysFreeString(*pbstr);
  *pbstr = fresh;
  return TRUE;
}

void WINAPI SysFreeString(BSTR bstrString) {
  if (bstrString) std::free(reinterpret_cast<BYTE*>(bstrString) - kHeader);
}

UINT WINAPI SysStringLen(BSTR pbstr) { return pbstr ? *countOf(pbstr) / UINT(sizeof(OLECHAR)) : 0; }

UINT WINAPI SysStringByteLen(BSTR bstr) { return bstr ? *countOf(bstr) : 0; }
