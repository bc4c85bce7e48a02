#include "crypt32/text_encoding.h"

#include <wincrypt.h>

namespace pw::cert {
namespace {

constexpr DWORD kLineCharacters = 64;
constexpr DWORD kBreakFlags = CRYPT_STRING_NOCR | CRYPT_STRING_NOCRLF;

std::string base64(const BYTE* data, DWORD size) {
  static const char* digits = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  for (DWORD i = 0; i < size; i += 3) {
    unsigned bits = unsigned(data[i]) << 16;
    if (i + 1 < size) bits |= unsigned(data[i + 1]) << 8;
    if (i + 2 < size) bits |= data[i + 2];
    out += {digits[bits >> 18 & 63], digits[bits >> 12 & 63],
            i + 1 < size ? digits[bits >> 6 & 63] : '=', i + 2 < size ? digits[bits & 63] : '='};
  }
  return out;
}

const char* headerOf(DWORD format) {
  switch (format) {
    case CRYPT_STRING_BASE64HEADER:
      return "CERTIFICATE";
    case CRYPT_STRING_BASE64REQUESTHEADER:
      return "NEW CERTIFICATE REQUEST";
    case CRYPT_STRING_BASE64X509CRLHEADER:
      return "X509 CRL";
    default:
      return nullptr;
  }
}

}  // namespace

DWORD binaryToText(const BYTE* data, DWORD size, DWORD flags, const DWORD* count,
                   std::string* text) {
  if (!data || !size || !count) return ERROR_INVALID_PARAMETER;
  DWORD format = flags & ~kBreakFlags;
  std::string lineBreak = (flags & CRYPT_STRING_NOCRLF) ? ""
                          : (flags & CRYPT_STRING_NOCR) ? "\n"
                                                        : "\r\n";
  if (format == CRYPT_STRING_HEXRAW) {
    static const char* digits = "0123456789abcdef";
    for (DWORD i = 0; i < size; ++i) *text += {digits[data[i] >> 4], digits[data[i] & 15]};
    *text += lineBreak;
    return 0;
  }
  const char* header = headerOf(format);
  if (format != CRYPT_STRING_BASE64 && !header) return ERROR_INVALID_PARAMETER;
  if (header) *text += std::string("-----BEGIN ") + header + "-----" + lineBreak;
  std::string encoded = base64(data, size);
  for (size_t at = 0; at < encoded.size(); at += kLineCharacters)
    *text += encoded.substr(at, kLineCharacters) + lineBreak;
  if (header) *text += std::string("-----END ") + header + "-----" + lineBreak;
  return 0;
}

}  // namespace pw::cert
