// CryptStringToBinaryA/W: base64 text, bare or between PEM's "-----BEGIN ...-----" and
// "-----END ...-----" lines (any such header, whichever header format is asked for), hex
// text, and binary passed through. White space in base64 and between hex pairs is
// ignored; anything else that is no base64 or hex fails with ERROR_INVALID_DATA. The wide
// form reads the same text in 16-bit characters.
#include <windows.h>

#include <wincrypt.h>

#include "crypt32/text_encoding.h"
#include "machine/guard.h"

#include <cstring>
#include <string>
#include <string_view>

namespace {

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

int digit(char c) {
  if (c >= 'A' && c <= 'Z') return c - 'A';
  if (c >= 'a' && c <= 'z') return c - 'a' + 26;
  if (c >= '0' && c <= '9') return c - '0' + 52;
  if (c == '+') return 62;
  if (c == '/') return 63;
  return -1;
}

bool decodeBase64(std::string_view text, std::string* out) {
  unsigned bits = 0, count = 0, pad = 0;
  for (char c : text) {
    if (isBlank(c)) continue;
    if (c == '=') {
      ++pad;
      continue;
    }
    int d = digit(c);
    if (d < 0 || pad) return false;  // nothing may follow the padding
    bits = (bits << 6) | unsigned(d);
    if (++count % 4 == 0) {
      *out += {char(bits >> 16), char(bits >> 8), char(bits)};
      bits = 0;
    }
  }
  switch (count % 4) {
    case 0:
      return pad == 0 && !out->empty();
    case 2:
      *out += char(bits >> 4);
      return pad <= 2;
    case 3:
      *out += {char(bits >> 10), char(bits >> 2)};
      return pad <= 1;
    default:
      return false;
  }
}

int hexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Pairs of hex digits, white space between the pairs.
bool decodeHex(std::string_view text, std::string* out) {
  for (size_t i = 0; i < text.size();) {
    if (isBlank(text[i])) {
      ++i;
      continue;
    }
    if (i + 1 >= text.size()) return false;
    int high = hexDigit(text[i]), low = hexDigit(text[i + 1]);
    if (high < 0 || low < 0) return false;
    *out += char(high << 4 | low);
    i += 2;
  }
  return !out->empty();
}

// The base64 between the first BEGIN line and its END line.
bool betweenHeaders(std::string_view text, std::string_view* body, DWORD* skip) {
  size_t begin = text.find("-----BEGIN ");
  if (begin == std::string_view::npos) return false;
  size_t lineEnd = text.find("-----", begin + 11);
  if (lineEnd == std::string_view::npos) return false;
  size_t start = lineEnd + 5;
  size_t end = text.find("-----END ", start);
  if (end == std::string_view::npos) return false;
  *body = text.substr(start, end - start);
  *skip = DWORD(begin);
  return true;
}

BOOL stringToBinary(std::string_view text, DWORD flags, BYTE* binary, DWORD* binarySize,
                    DWORD* skipOut, DWORD* flagsOut) {
  std::string out;
  DWORD skip = 0, used = flags;
  std::string_view body;
  bool ok = false;
  switch (flags) {
    case CRYPT_STRING_BASE64HEADER:
    case CRYPT_STRING_BASE64REQUESTHEADER:
    case CRYPT_STRING_BASE64X509CRLHEADER:
      ok = betweenHeaders(text, &body, &skip) && decodeBase64(body, &out);
      break;
    case CRYPT_STRING_BASE64:
      ok = decodeBase64(text, &out);
      break;
    case CRYPT_STRING_BINARY:
      out = text;
      ok = true;
      break;
    case CRYPT_STRING_HEX:
    case CRYPT_STRING_HEXRAW:
    case CRYPT_STRING_HEX_ANY:
      ok = decodeHex(text, &out);
      if (flags == CRYPT_STRING_HEX_ANY) used = CRYPT_STRING_HEX;
      break;
    case CRYPT_STRING_BASE64_ANY:
    case CRYPT_STRING_ANY:
      if (betweenHeaders(text, &body, &skip) && decodeBase64(body, &out)) {
        ok = true;
        used = CRYPT_STRING_BASE64HEADER;
      } else if (out.clear(), skip = 0, decodeBase64(text, &out)) {
        ok = true;
        used = CRYPT_STRING_BASE64;
      } else if (flags == CRYPT_STRING_ANY) {
        out = text;
        ok = true;
        used = CRYPT_STRING_BINARY;
      }
      break;
    default:
      return pw::fail(ERROR_INVALID_PARAMETER);
  }
  if (!ok) return pw::fail(ERROR_INVALID_DATA);
  if (skipOut) *skipOut = skip;
  if (flagsOut) *flagsOut = used;
  return pw::copyOut(binary, binarySize, out.data(), DWORD(out.size()));
}

}  // namespace

BOOL WINAPI CryptStringToBinaryA(LPCSTR pszString, DWORD cchString, DWORD dwFlags, BYTE* pbBinary,
                                 DWORD* pcbBinary, DWORD* pdwSkip, DWORD* pdwFlags) {
  return pw::guarded(FALSE, ERROR_NOT_ENOUGH_MEMORY, [&]() -> BOOL {
    if (!pszString || !pcbBinary) return pw::fail(ERROR_INVALID_PARAMETER);
    std::string_view text(pszString, cchString ? cchString : std::strlen(pszString));
    return stringToBinary(text, dwFlags, pbBinary, pcbBinary, pdwSkip, pdwFlags);
  });
}

// Base64 and hex are ASCII: a wider character makes the text no such text (binary keeps
// the low byte of each character).
BOOL WINAPI CryptStringToBinaryW(LPCWSTR pszString, DWORD cchString, DWORD dwFlags, BYTE* pbBinary,
                                 DWORD* pcbBinary, DWORD* pdwSkip, DWORD* pdwFlags) {
  return pw::guarded(FALSE, ERROR_NOT_ENOUGH_MEMORY, [&]() -> BOOL {
    if (!pszString || !pcbBinary) return pw::fail(ERROR_INVALID_PARAMETER);
    std::u16string_view wide(pszString,
                             cchString ? cchString : std::char_traits<char16_t>::length(pszString));
    std::string text;
    for (char16_t c : wide) text += c < 0x80 || dwFlags == CRYPT_STRING_BINARY ? char(c) : '\x7f';
    return stringToBinary(text, dwFlags, pbBinary, pcbBinary, pdwSkip, pdwFlags);
  });
}

BOOL WINAPI CryptBinaryToStringA(const BYTE* pbBinary, DWORD cbBinary, DWORD dwFlags,
                                 LPSTR pszString, DWORD* pcchString) {
  return pw::guarded(FALSE, ERROR_NOT_ENOUGH_MEMORY, [&]() -> BOOL {
    std::string text;
    if (DWORD error = pw::cert::binaryToText(pbBinary, cbBinary, dwFlags, pcchString, &text))
      return pw::fail(error);
    return pw::cert::textOut(text, pszString, pcchString);
  });
}

BOOL WINAPI CryptBinaryToStringW(const BYTE* pbBinary, DWORD cbBinary, DWORD dwFlags,
                                 LPWSTR pszString, DWORD* pcchString) {
  return pw::guarded(FALSE, ERROR_NOT_ENOUGH_MEMORY, [&]() -> BOOL {
    std::string text;
    if (DWORD error = pw::cert::binaryToText(pbBinary, cbBinary, dwFlags, pcchString, &text))
      return pw::fail(error);
    std::u16string wide(text.begin(), text.end());
    return pw::cert::textOut(wide, pszString, pcchString);
  });
}
