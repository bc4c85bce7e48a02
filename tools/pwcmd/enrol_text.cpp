#include "enrol_text.h"

#include <windows.h>

#include <wincrypt.h>

#include "base64_encode.h"
#include "win32/handle.h"
#include "win32/reg_key.h"

#include <vector>

namespace {

constexpr size_t kLineChars = 64;

bool readFile(const std::string& path, std::string* bytes) {
  win32::FileHandle file(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                     OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return false;
  DWORD size = GetFileSize(file.get(), nullptr);
  if (size == INVALID_FILE_SIZE) return false;
  bytes->resize(size);
  DWORD read = 0;
  return ReadFile(file.get(), bytes->data(), size, &read, nullptr) && read == size;
}

// The DER of a PEM text (any label), or the bytes themselves when they are no PEM.
bool derOf(const std::string& bytes, std::string* der) {
  if (bytes.find("-----BEGIN ") == std::string::npos) {
    *der = bytes;
    return !der->empty();
  }
  DWORD size = 0;
  if (!CryptStringToBinaryA(bytes.c_str(), DWORD(bytes.size()), CRYPT_STRING_BASE64HEADER, nullptr,
                            &size, nullptr, nullptr))
    return false;
  der->resize(size);
  return CryptStringToBinaryA(bytes.c_str(), DWORD(bytes.size()), CRYPT_STRING_BASE64HEADER,
                              reinterpret_cast<BYTE*>(der->data()), &size, nullptr, nullptr) &&
         size > 0;
}

// A DER SEQUENCE whose length covers exactly the bytes given: a certificate or a PKCS #7
// message has that shape, a text or a truncated file has not.
bool isDerSequence(const std::string& der) {
  if (der.size() < 2 || BYTE(der[0]) != 0x30) return false;
  size_t length = BYTE(der[1]), header = 2;
  if (length & 0x80) {
    size_t octets = length & 0x7F;
    if (octets == 0 || octets > 4 || der.size() < 2 + octets) return false;
    length = 0;
    for (size_t i = 0; i < octets; ++i) length = length << 8 | BYTE(der[2 + i]);
    header += octets;
  }
  return header + length == der.size();
}

}  // namespace

bool answerCommand(char letter, const std::string& path, std::string* text, std::string* failure) {
  std::string bytes, der;
  if (!readFile(path, &bytes)) {
    *failure = "cannot read the file " + path;
    return false;
  }
  if (!derOf(bytes, &der) || !isDerSequence(der)) {
    *failure = path + " holds no certificate or PKCS #7 message in PEM or DER";
    return false;
  }
  std::string base64 =
      base64Encode(std::span<const BYTE>(reinterpret_cast<const BYTE*>(der.data()), der.size()));
  *text = std::string(1, letter) + ",";
  for (size_t at = 0; at < base64.size(); at += kLineChars)
    *text += base64.substr(at, kLineChars) + ":";
  return true;
}

bool requestPem(std::string* pem, std::string* failure) {
  win32::RegKey key;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Velmora\\Tessera\\Request", 0, KEY_QUERY_VALUE,
                    key.out()) != ERROR_SUCCESS) {
    *failure = "there is no stored request (HKLM\\Software\\Velmora\\Tessera\\Request)";
    return false;
  }
  DWORD type = 0, size = 0;
  if (RegQueryValueExA(key.get(), "9kHWID_CertRequest", nullptr, &type, nullptr, &size) !=
          ERROR_SUCCESS ||
      type != REG_BINARY) {
    *failure = "there is no stored request value 9kHWID_CertRequest";
    return false;
  }
  std::string stored(size, '\0');
  RegQueryValueExA(key.get(), "9kHWID_CertRequest", nullptr, &type,
                   reinterpret_cast<BYTE*>(stored.data()), &size);
  stored.resize(size);
  while (!stored.empty() && stored.back() == '\0') stored.pop_back();
  std::string body;
  for (char c : stored)
    if (c != '\r') body += c;
  if (body.empty()) {
    *failure = "the stored request is empty";
    return false;
  }
  if (body.back() != '\n') body += '\n';
  *pem = "-----BEGIN CERTIFICATE REQUEST-----\n" + body + "-----END CERTIFICATE REQUEST-----\n";
  return true;
}
