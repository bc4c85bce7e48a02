// The encodings the enrolment components speak: base64 text laid out as CryptoAPI
// writes it, the interfaces' wide strings, and the DER of the two extensions the
// requests carry (built with OpenSSL).
#include "certenroll/enrolment.h"
#include "certenroll/objects.h"
#include "machine/codepage.h"

#include <oleauto.h>

#include "machine/ossl.h"

#include <openssl/evp.h>
#include <openssl/objects.h>

#include <memory>

namespace pw::enrol {
namespace {

constexpr size_t kLineChars = 64;

// The DER of an OpenSSL object through its i2d function.
template <class T, class I2d>
bool toDer(T* object, I2d i2d, std::string* der) {
  ossl::Bytes bytes;
  *der = bytes.take(i2d(object, bytes.out()));
  return !der->empty();
}

}  // namespace

std::string base64Lines(std::string_view bytes) {
  std::string text;
  for (size_t at = 0; at < bytes.size(); at += kLineChars / 4 * 3) {
    size_t chunk = std::min(bytes.size() - at, kLineChars / 4 * 3);
    unsigned char line[kLineChars + 1];
    int written = EVP_EncodeBlock(line, reinterpret_cast<const unsigned char*>(bytes.data() + at),
                                  int(chunk));
    text.append(reinterpret_cast<char*>(line), size_t(written));
    text += "\r\n";
  }
  return text;
}

HRESULT decodeBase64(std::string_view text, std::string* bytes, DWORD flags) {
  DWORD size = 0;
  if (!CryptStringToBinaryA(text.data(), DWORD(text.size()), flags, nullptr, &size, nullptr,
                            nullptr))
    return lastError();
  std::string out(size, '\0');
  if (!CryptStringToBinaryA(text.data(), DWORD(text.size()), flags,
                            reinterpret_cast<BYTE*>(out.data()), &size, nullptr, nullptr))
    return lastError();
  out.resize(size);
  *bytes = std::move(out);
  return S_OK;
}

HRESULT lastError() {
  DWORD code = GetLastError();
  return code ? HRESULT_FROM_WIN32(code) : E_FAIL;
}

std::string narrow(const WCHAR* text) {
  std::string out;
  for (const WCHAR* p = text; p && *p; ++p) {
    int c = codepage::wideToAnsi(*p);
    out += c < 0 ? '?' : char(c);
  }
  return out;
}

std::u16string codepageWide(std::string_view text) { return codepage::ansiToWide(text); }

BSTR widen(std::string_view text) {
  std::u16string wide = codepage::ansiToWide(text);
  return SysAllocStringLen(reinterpret_cast<const OLECHAR*>(wide.data()), UINT(wide.size()));
}

HRESULT encodeKeyUsage(DWORD usage, Extension* out) {
  ossl::BitString bits(ASN1_BIT_STRING_new());
  if (!bits) return E_OUTOFMEMORY;
  // X.509 numbers the bits from the first byte's most significant one; decipherOnly
  // (bit 8) is the second byte's 0x80.
  for (int bit = 0; bit < 9; ++bit)
    if (usage & (bit < 8 ? 0x80u >> bit : 0x8000u))
      if (!ASN1_BIT_STRING_set_bit(bits.get(), bit, 1)) return E_OUTOFMEMORY;
  out->oid = "2.5.29.15";
  out->critical = false;
  return toDer(bits.get(), i2d_ASN1_BIT_STRING, &out->value) ? S_OK : CRYPT_E_BAD_ENCODE;
}

HRESULT encodeEnhancedKeyUsage(const std::vector<std::string>& oids, Extension* out) {
  ossl::KeyUsages usages(sk_ASN1_OBJECT_new_null());
  if (!usages) return E_OUTOFMEMORY;
  for (const std::string& oid : oids) {
    ossl::Object object(OBJ_txt2obj(oid.c_str(), 1));
    if (!object) return E_INVALIDARG;
    if (!sk_ASN1_OBJECT_push(usages.get(), object.get())) return E_OUTOFMEMORY;
    object.release();  // the list owns it now
  }
  out->oid = "2.5.29.37";
  out->critical = false;
  return toDer(usages.get(), i2d_EXTENDED_KEY_USAGE, &out->value) ? S_OK : CRYPT_E_BAD_ENCODE;
}

}  // namespace pw::enrol

namespace pw::certenroll {
namespace {

struct Armour {
  EncodingType type;
  const char* label;
};

const Armour kArmours[] = {
    {XCN_CRYPT_STRING_BASE64HEADER, "CERTIFICATE"},
    {XCN_CRYPT_STRING_BASE64REQUESTHEADER, "NEW CERTIFICATE REQUEST"},
    {XCN_CRYPT_STRING_BASE64X509CRLHEADER, "X509 CRL"},
};

}  // namespace

HRESULT encodeOut(std::string_view bytes, EncodingType encoding, BSTR* out) {
  *out = nullptr;
  EncodingType type = EncodingType(encoding & 0xFF);
  if (type == XCN_CRYPT_STRING_BINARY) {
    *out = SysAllocStringByteLen(bytes.data(), UINT(bytes.size()));
    return *out ? S_OK : E_OUTOFMEMORY;
  }
  std::string text = enrol::base64Lines(bytes);
  if (encoding & XCN_CRYPT_STRING_NOCRLF)
    std::erase_if(text, [](char c) { return c == '\r' || c == '\n'; });
  if (type != XCN_CRYPT_STRING_BASE64) {
    const Armour* armour = nullptr;
    for (const Armour& a : kArmours)
      if (a.type == type) armour = &a;
    if (!armour) return E_INVALIDARG;
    text = std::string("-----BEGIN ") + armour->label + "-----\r\n" + text + "-----END " +
           armour->label + "-----\r\n";
  }
  *out = enrol::widen(text);
  return *out ? S_OK : E_OUTOFMEMORY;
}

// The encodings share their values with CryptStringToBinary's flags.
HRESULT decodeIn(BSTR text, EncodingType encoding, std::string* bytes) {
  if (!text) return E_POINTER;
  if (encoding == XCN_CRYPT_STRING_BINARY) {
    bytes->assign(reinterpret_cast<const char*>(text), SysStringByteLen(text));
    return S_OK;
  }
  return enrol::decodeBase64(enrol::narrow(text), bytes, DWORD(encoding));
}

}  // namespace pw::certenroll
