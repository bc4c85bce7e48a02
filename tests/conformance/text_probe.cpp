// Conformance probe for binary data as text: CryptBinaryToStringA/W in each format an
// enrolment component writes (base64 with and without line breaks and headers, hex), and
// CryptStringToBinaryA/W reading them back, with their size protocols and errors. Line
// breaks print as \r and \n; the outputs under Wine and the portable platform must be
// identical.
//
// Where Wine 8 departs from Windows the case prints "departs" and the unit tests hold
// Windows' answer: Wine 8 reads CRYPT_STRING_HEX only without the blanks and line breaks
// that Windows' own hex text has, and reads neither CRYPT_STRING_HEXRAW nor
// CRYPT_STRING_HEX_ANY; CRYPT_STRING_ANY over text that is no base64 fails with
// ERROR_INSUFFICIENT_BUFFER where Windows falls back to the bytes themselves (its failed
// base64 attempt leaves a smaller size behind for the binary copy); and a buffer too short
// for the bytes fails with ERROR_INSUFFICIENT_BUFFER where Windows documents
// ERROR_MORE_DATA. Neither writes CRYPT_STRING_HEX (ERROR_INVALID_PARAMETER), which no
// enrolment component asks for.
#include <windows.h>

#include <wincrypt.h>

#include <cstdio>
#include <string>
#include <vector>

#include "probe_text.h"

namespace {

using namespace probe;  // hex, unhex, Bytes

std::string visible(const std::string& text) {
  std::string out;
  for (char c : text)
    out += c == '\r' ? std::string("\\r") : c == '\n' ? std::string("\\n") : std::string(1, c);
  return out;
}

Bytes counting(size_t n) {
  Bytes b(n);
  for (size_t i = 0; i < n; ++i) b[i] = BYTE(i * 7 + 1);
  return b;
}

struct Format {
  const char* label;
  DWORD flags;
};

const Format kFormats[] = {
    {"base64", CRYPT_STRING_BASE64},
    {"base64 header", CRYPT_STRING_BASE64HEADER},
    {"base64 request header", CRYPT_STRING_BASE64REQUESTHEADER},
    {"base64 crl header", CRYPT_STRING_BASE64X509CRLHEADER},
    {"base64 no crlf", CRYPT_STRING_BASE64 | CRYPT_STRING_NOCRLF},
    {"base64 no cr", CRYPT_STRING_BASE64 | CRYPT_STRING_NOCR},
    {"base64 header no crlf", CRYPT_STRING_BASE64HEADER | CRYPT_STRING_NOCRLF},
    {"hexraw", CRYPT_STRING_HEXRAW},
};

// The text in both forms; the size query's count and the written count.
void toText(const std::string& label, const Bytes& data, DWORD flags) {
  DWORD size = 0;
  BOOL ok = CryptBinaryToStringA(data.data(), DWORD(data.size()), flags, nullptr, &size);
  if (!ok) {
    std::printf("%s: ret=0 err=%08x\n", label.c_str(), unsigned(GetLastError()));
    return;
  }
  std::string text(size, '\0');
  DWORD written = size;
  ok = CryptBinaryToStringA(data.data(), DWORD(data.size()), flags, text.data(), &written);
  text.resize(ok ? written : 0);
  DWORD wideSize = 0;
  BOOL wideOk = CryptBinaryToStringW(data.data(), DWORD(data.size()), flags, nullptr, &wideSize);
  std::vector<WCHAR> wide(wideSize + 1);
  DWORD wideWritten = wideSize;
  wideOk = wideOk &&
           CryptBinaryToStringW(data.data(), DWORD(data.size()), flags, wide.data(), &wideWritten);
  std::string narrowed;
  for (DWORD i = 0; wideOk && i < wideWritten; ++i) narrowed += char(wide[i]);
  std::printf("%s: ret=%d size=%u written=%u wide same=%d text=%s\n", label.c_str(), ok,
              unsigned(size), unsigned(written), wideOk && narrowed == text && wideSize == size,
              visible(text).c_str());
}

void binaryToString() {
  for (const Format& f : kFormats) {
    toText(std::string("to text ") + f.label + " 70 bytes", counting(70), f.flags);
    toText(std::string("to text ") + f.label + " 3 bytes", counting(3), f.flags);
  }
  toText("to text base64 1 byte", counting(1), CRYPT_STRING_BASE64);
  toText("to text base64 48 bytes", counting(48), CRYPT_STRING_BASE64);
  toText("to text hex", counting(3), CRYPT_STRING_HEX);
  toText("to text base64 no bytes", Bytes(), CRYPT_STRING_BASE64);
  toText("to text unknown format", counting(3), 0x20);

  Bytes data = counting(3);
  DWORD size = 3;
  char shortBuffer[8];
  BOOL ok = CryptBinaryToStringA(data.data(), 3, CRYPT_STRING_BASE64, shortBuffer, &size);
  std::printf("to text short buffer: ret=%d err=%08x size=%u\n", ok,
              ok ? 0u : unsigned(GetLastError()), unsigned(size));
  ok = CryptBinaryToStringA(data.data(), 3, CRYPT_STRING_BASE64, nullptr, nullptr);
  std::printf("to text no size: ret=%d err=%08x\n", ok, ok ? 0u : unsigned(GetLastError()));
}

// Reads `text` in `flags`; prints the bytes, the skip and the format found.
void fromText(const std::string& label, const std::string& text, DWORD flags) {
  DWORD size = 0, skip = 99, used = 99;
  BOOL ok =
      CryptStringToBinaryA(text.c_str(), DWORD(text.size()), flags, nullptr, &size, &skip, &used);
  Bytes out(size);
  ok = ok && CryptStringToBinaryA(text.c_str(), DWORD(text.size()), flags, out.data(), &size,
                                  nullptr, nullptr);
  std::basic_string<WCHAR> wide(text.begin(), text.end());
  DWORD wideSize = 0;
  BOOL wideOk = CryptStringToBinaryW(wide.c_str(), DWORD(wide.size()), flags, nullptr, &wideSize,
                                     nullptr, nullptr);
  if (!ok) {
    std::printf("%s: ret=0 err=%08x wide ret=%d\n", label.c_str(), unsigned(GetLastError()),
                wideOk);
    return;
  }
  std::printf("%s: ret=1 bytes=%s skip=%u format=%u wide same=%d\n", label.c_str(),
              hex(out.data(), size).c_str(), unsigned(skip), unsigned(used),
              wideOk && wideSize == size);
}

void stringToBinary() {
  const std::string request =
      "-----BEGIN NEW CERTIFICATE REQUEST-----\r\nAQID\r\n"
      "-----END NEW CERTIFICATE REQUEST-----\r\n";
  const std::string certificate =
      "x-----BEGIN CERTIFICATE-----\r\nAQID\r\n-----END CERTIFICATE-----\r\n";
  fromText("from text request header as request header", request, CRYPT_STRING_BASE64REQUESTHEADER);
  fromText("from text certificate header as request header", certificate,
           CRYPT_STRING_BASE64REQUESTHEADER);
  fromText("from text request header as any header", request, CRYPT_STRING_BASE64HEADER);
  fromText("from text request header as base64 any", request, CRYPT_STRING_BASE64_ANY);
  fromText("from text certificate header", certificate, CRYPT_STRING_BASE64HEADER);
  fromText("from text crl header", "-----BEGIN X509 CRL-----\r\nAQID\r\n-----END X509 CRL-----\r\n",
           CRYPT_STRING_BASE64X509CRLHEADER);
  fromText("from text base64 lines", "AQID\r\nBAUG\r\n", CRYPT_STRING_BASE64);
  fromText("from text base64 bad character", "AQ*D", CRYPT_STRING_BASE64);
  fromText("from text base64 header without a header", "AQID\r\n", CRYPT_STRING_BASE64HEADER);
  fromText("from text base64 any without a header", "AQID\r\n", CRYPT_STRING_BASE64_ANY);
  std::printf("from text any that is no base64: departs\n");
  fromText("from text hex", "0A0B", CRYPT_STRING_HEX);
  fromText("from text hex lower case", "0a0b", CRYPT_STRING_HEX);
  std::printf("from text hex with blanks and line breaks: departs\n");
  fromText("from text hex odd", "0A0", CRYPT_STRING_HEX);
  std::printf("from text hexraw and hex any: departs\n");

  // A text counted by its terminating zero, and a buffer too short for the bytes.
  BYTE out[8];
  DWORD size = sizeof out;
  BOOL ok = CryptStringToBinaryA("AQID", 0, CRYPT_STRING_BASE64, out, &size, nullptr, nullptr);
  std::printf("from text ended by its zero: ret=%d bytes=%s\n", ok,
              ok ? hex(out, size).c_str() : "-");
  size = 2;
  ok = CryptStringToBinaryA("AQID", 4, CRYPT_STRING_BASE64, out, &size, nullptr, nullptr);
  std::printf("from text short buffer: ret=%d, the error departs\n", ok);
  ok = CryptStringToBinaryA(nullptr, 4, CRYPT_STRING_BASE64, out, &size, nullptr, nullptr);
  std::printf("from text no text: ret=%d err=%08x\n", ok, ok ? 0u : unsigned(GetLastError()));
}

}  // namespace

int main() {
  binaryToString();
  stringToBinary();
  return 0;
}
