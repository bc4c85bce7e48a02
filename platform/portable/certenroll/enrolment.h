// The enrolment engine behind both generations of the enrolment components: the key
// pair in a new container, the PKCS #10 request signed with it, the pending request
// kept in a "REQUEST" store, and the installation of a certification authority's
// answer. CEnroll (xenroll.dll) and the CertEnroll objects (certenroll.dll) are two
// faces of it, as the older control became a shim over the newer objects.
#pragma once

#include <windows.h>

#include <oleauto.h>
#include <wincrypt.h>

#include "machine/guard.h"

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace pw::enrol {

// The provider of key pairs whose caller names none.
inline constexpr const char* kDefaultProvider = MS_DEF_PROV_A;

struct KeyParams {
  std::string container;  // empty: createKeyPair names a new one
  std::string provider;   // empty: the default provider of the type
  DWORD providerType = PROV_RSA_FULL;
  DWORD keySpec = AT_SIGNATURE;
  DWORD bits = 2048;
  bool exportable = false;
  bool machine = false;  // the machine's key set, else the current user's
};

struct Extension {
  std::string oid;  // dotted text
  bool critical = false;
  std::string value;  // the DER of the extension's value
};

struct RequestParams {
  std::string subject;  // the DER of the subject name
  std::vector<Extension> extensions;
};

// The DER of an X.500 name given as CertStrToName reads it (`flags` as its string
// type options; 0 lets ',' and ';' both separate names).
HRESULT encodeName(const WCHAR* x500, DWORD flags, std::string* der);
// The text of a DER name, rendered as CertNameToStr renders X.500 names.
HRESULT renderName(const std::string& der, DWORD flags, std::string* text);
// The key-usage extension with the X.509 usage bits `usage` (bit 0x80 is
// digitalSignature), and the extended-key-usage extension with `oids`; neither is
// critical.
HRESULT encodeKeyUsage(DWORD usage, Extension* out);
HRESULT encodeEnhancedKeyUsage(const std::vector<std::string>& oids, Extension* out);

// Makes the key pair in a new container of the key set; names the container when the
// caller left it unnamed.
HRESULT createKeyPair(KeyParams* key);
// Checks that the container exists and holds the key pair of its specification.
HRESULT openKeyPair(const KeyParams& key);
// Removes the container again (a request that could not be completed leaves no key).
void deleteKeyPair(const KeyParams& key);
// The DER of the request for the container's public key, signed with its private key
// (SHA-256 with RSA).
HRESULT signRequest(const KeyParams& key, const RequestParams& request, std::string* der);
// Keeps the request pending in the "REQUEST" store of the key's context until its
// certificate is installed: a self-signed placeholder certificate for the same key,
// carrying the key-provider information.
HRESULT keepPending(const KeyParams& key, const RequestParams& request);

enum class Install {
  Response,     // the answer to a pending request, with its authorities' certificates
  Authorities,  // authority certificates only; a certificate for a pending request is
                // installed as well
};
// Installs the certificates of `der` (one certificate or a PKCS #7 message) in the
// stores of the machine or of the current user. An answer that holds a certificate
// for no pending request changes nothing and answers CRYPT_E_NOT_FOUND.
HRESULT install(std::string_view der, bool machine, Install mode);

// Base64 as CryptBinaryToString writes it (CRYPT_STRING_BASE64): lines of 64
// characters, each ended by CR LF.
std::string base64Lines(std::string_view bytes);
// Base64 as CryptStringToBinary reads it with `flags` (CRYPT_STRING_BASE64: blanks and
// line breaks skipped; anything else that is not base64 answers
// HRESULT_FROM_WIN32(ERROR_INVALID_DATA)).
HRESULT decodeBase64(std::string_view text, std::string* bytes, DWORD flags = CRYPT_STRING_BASE64);

// A wide string of the interfaces, narrowed through the ANSI code page.
std::string narrow(const WCHAR* text);
// The failure of the last platform call as an HRESULT.
HRESULT lastError();
// Answers `hr`, leaving a failure as the thread's last error too, as the components'
// work over CryptoAPI leaves it.
inline HRESULT withLastError(HRESULT hr) {
  if (FAILED(hr)) SetLastError(DWORD(hr));
  return hr;
}
// A method's work inside the platform's exception guard (machine/guard.h): memory
// that runs out answers E_OUTOFMEMORY, left as the last error too.
template <class Body>
HRESULT guardedWork(Body&& body) {
  return withLastError(pw::guarded(E_OUTOFMEMORY, std::forward<Body>(body)));
}

// A property's value given out through an interface's out parameter.
template <class T, class U>
HRESULT outValue(T value, U* out) {
  if (!out) return E_POINTER;
  *out = U(value);
  return S_OK;
}

// ANSI text widened through the ANSI code page.
std::u16string codepageWide(std::string_view text);
// A system string made from `text`, or null when memory runs out.
BSTR widen(std::string_view text);

}  // namespace pw::enrol
