// The enrolment engine behind both generations of the enrolment components: the key
// pair in a new container, the PKCS #10 request signed with it, the pending request
// kept in a "REQUEST" store, and the installation of a certification authority's
// answer. CEnroll (the older control) and the CertEnroll objects are two faces of it,
// as the older control became a shim over the newer objects. Everything here is done
// through CryptoAPI and the certificate stores.
#pragma once

#include <windows.h>

#include <wincrypt.h>

#include <string>
#include <string_view>
#include <vector>

namespace pw::enrol {

using Bytes = std::vector<BYTE>;

// The provider of key pairs whose caller names none: the RSA provider that makes 2048-bit
// exchange keys and signs with SHA-256 (the base provider documents exchange keys of at
// most 1024 bits, and neither it nor the enhanced provider hashes SHA-256).
inline constexpr const char* kDefaultProvider =
    "Microsoft Enhanced RSA and AES Cryptographic Provider";
inline constexpr DWORD kDefaultProviderType = 24;  // PROV_RSA_AES

struct KeyParams {
  std::string container;  // empty: createKeyPair names a new one
  std::string provider;   // empty: the default provider of the type
  DWORD providerType = kDefaultProviderType;
  DWORD keySpec = AT_SIGNATURE;
  DWORD bits = 2048;
  bool exportable = false;
  bool machine = false;  // the machine's key set, else the current user's

  // The provider name handed to CryptoAPI (null: the type's default).
  const char* providerName() const;
};

struct Extension {
  std::string oid;  // dotted text
  bool critical = false;
  Bytes value;  // the DER of the extension's value
};

struct RequestParams {
  Bytes subject;  // the DER of the subject name
  std::vector<Extension> extensions;
};

// The DER of an X.500 name given as CertStrToName reads it (`flags` as its string type
// options; no type reads the text as an X.500 name, where ',' and ';' both separate
// relative names).
HRESULT encodeName(const WCHAR* x500, DWORD flags, Bytes* der);
// The text of a DER name, rendered as CertNameToStr renders it.
HRESULT renderName(const Bytes& der, DWORD flags, std::string* text);
// The key-usage extension with the X.509 usage bits `usage` (0x80 is digitalSignature,
// 0x8000 decipherOnly), and the extended-key-usage extension with `oids`; neither is
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
HRESULT signRequest(const KeyParams& key, const RequestParams& request, Bytes* der);
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
HRESULT install(const Bytes& der, bool machine, Install mode);

// Text as CryptBinaryToString writes it with `flags` (CRYPT_STRING_BASE64: lines of 64
// characters, each ended by CR LF).
HRESULT toText(const Bytes& bytes, DWORD flags, std::string* text);
// Bytes of text as CryptStringToBinary reads it with `flags`.
HRESULT fromText(std::string_view text, DWORD flags, Bytes* bytes);

}  // namespace pw::enrol
