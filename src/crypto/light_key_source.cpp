// lightCrypto_Manager::ReadFileForKey: key bytes taken from the registry editor's
// executable at a random offset, from the first of two places where Windows keeps
// it, else the forced key.
#include "crypto/forced_key.h"
#include "crypto/light_crypto_manager.h"
#include "trace/trace.h"
#include "win32/handle.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <ctime>

namespace {

constexpr const char* kWinntEditor = "c:\\winnt\\regedit.exe";
constexpr const char* kWindowsEditor = "c:\\windows\\regedit.exe";
constexpr DWORD kHeadLength = 6000;  // bytes read from the start of the file
constexpr double kRandMax = 32767.0;

// One draw of the C library's generator in 0 to 32767, Windows's range; a wider
// generator is cut to the same 15 bits.
double draw() { return double(std::rand() & 0x7FFF); }

// The first kHeadLength bytes of a file; false when it cannot be opened.
bool readHead(const char* path, BYTE* buffer, DWORD* got) {
  win32::FileHandle file(CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                     FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return false;
  *got = 0;
  DWORD n = 0;
  while (*got < kHeadLength &&
         ReadFile(file.get(), buffer + *got, kHeadLength - *got, &n, nullptr) && n > 0)
    *got += n;
  return true;
}

}  // namespace

LONG lightCrypto_Manager::ReadFileForKey(BYTE* key, LONG* keyLength, LONG maxLength,
                                         LONG* keyOffset) {
  writeCryptoTrace("lightCrypto_Manager::ReadFileForKey - start", TRACE_START);
  *keyOffset = 0;
  std::srand(unsigned(std::time(nullptr)));

  double r = draw();
  double spread = double(maxLength) - 30.0;  // 0 when the length is fixed at 30
  LONG length = spread > 0 ? LONG(30.0 + std::floor(r / std::ceil(kRandMax / spread))) : 30;
  *keyLength = length;

  BYTE head[kHeadLength] = {};
  DWORD got = 0;
  if (readHead(kWinntEditor, head, &got)) {
    r = draw();
    LONG offset = 1536 + LONG(std::floor(r / std::ceil(kRandMax / double(4463 - length))));
    if (offset + length + 1 > 5999) offset = 5998 - length;
    // A file too short for the offset drawn gives no key: the next source is tried.
    if (DWORD(offset + length) <= got) {
      std::copy_n(head + offset, length, key);
      *keyOffset = offset;
      writeCryptoTrace("lightCrypto_Manager::ReadFileForKey - end (PW_WINNT_FILE)", TRACE_END);
      return PW_WINNT_FILE;
    }
  }
  if (readHead(kWindowsEditor, head, &got)) {
    LONG highest = LONG(got) - length - 1;
    // A file of no more than key length bytes has no offset that fits: next source.
    if (highest >= 0) {
      do r = draw();
      while (r > highest);
      LONG offset = LONG(r);
      std::copy_n(head + offset, length, key);
      *keyOffset = offset;
      writeCryptoTrace("lightCrypto_Manager::ReadFileForKey - end (PW_WINDOWS_FILE)", TRACE_END);
      return PW_WINDOWS_FILE;
    }
  }
  std::ranges::copy(forcedKey(), key);
  *keyLength = kForcedKeyLength;
  writeCryptoTrace("lightCrypto_Manager::ReadFileForKey - end (PW_NO_FILE)", TRACE_END);
  return PW_NO_FILE;
}
