// One way to own an OpenSSL object in the libraries that keep their cryptography in
// OpenSSL (the providers of advapi32, crypt32): a unique_ptr whose deleter is the
// object's own free function, as win32/owned.h owns a Win32 handle.
//   pw::ossl::Pkey key(EVP_PKEY_new());   pw::ossl::Bytes der;  i2d_X509(x, der.out());
#pragma once

// wincrypt.h names two structure types X509_NAME and X509_EXTENSIONS, which are OpenSSL's
// type names. As OpenSSL's own Windows build does, the macros go before its headers: a
// file that includes this one uses OpenSSL's types, never those two structure types.
#include <windows.h>

#include <wincrypt.h>
#undef X509_NAME
#undef X509_EXTENSIONS

#include <openssl/asn1.h>
#include <openssl/bio.h>
#include <openssl/bn.h>
#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/pkcs12.h>
#include <openssl/pkcs7.h>
#include <openssl/rand.h>
#include <openssl/rsa.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <memory>
#include <string>

namespace pw::ossl {

template <auto Free>
struct Deleter {
  template <class T>
  void operator()(T* object) const {
    Free(object);
  }
};

using Pkey = std::unique_ptr<EVP_PKEY, Deleter<EVP_PKEY_free>>;
using PkeyContext = std::unique_ptr<EVP_PKEY_CTX, Deleter<EVP_PKEY_CTX_free>>;
using DigestContext = std::unique_ptr<EVP_MD_CTX, Deleter<EVP_MD_CTX_free>>;
using Bio = std::unique_ptr<BIO, Deleter<BIO_free>>;
using Bignum = std::unique_ptr<BIGNUM, Deleter<BN_free>>;
using SecretBignum = std::unique_ptr<BIGNUM, Deleter<BN_clear_free>>;  // cleared when freed
using Object = std::unique_ptr<ASN1_OBJECT, Deleter<ASN1_OBJECT_free>>;
using Certificate = std::unique_ptr<X509, Deleter<X509_free>>;
using Name = std::unique_ptr<X509_NAME, Deleter<X509_NAME_free>>;
using NameEntry = std::unique_ptr<X509_NAME_ENTRY, Deleter<X509_NAME_ENTRY_free>>;
using Pkcs7 = std::unique_ptr<PKCS7, Deleter<PKCS7_free>>;
using Pkcs12 = std::unique_ptr<PKCS12, Deleter<PKCS12_free>>;
using Request = std::unique_ptr<X509_REQ, Deleter<X509_REQ_free>>;
using Extension = std::unique_ptr<X509_EXTENSION, Deleter<X509_EXTENSION_free>>;
using OctetString = std::unique_ptr<ASN1_OCTET_STRING, Deleter<ASN1_OCTET_STRING_free>>;
using BitString = std::unique_ptr<ASN1_BIT_STRING, Deleter<ASN1_BIT_STRING_free>>;
using KeyUsages = std::unique_ptr<EXTENDED_KEY_USAGE, Deleter<EXTENDED_KEY_USAGE_free>>;

inline void freeCertificates(STACK_OF(X509) * list) { sk_X509_pop_free(list, X509_free); }
using Certificates = std::unique_ptr<STACK_OF(X509), Deleter<freeCertificates>>;
inline void freeExtensions(STACK_OF(X509_EXTENSION) * list) {
  sk_X509_EXTENSION_pop_free(list, X509_EXTENSION_free);
}
using Extensions = std::unique_ptr<STACK_OF(X509_EXTENSION), Deleter<freeExtensions>>;

// Bytes OpenSSL allocated for the caller (i2d_*), freed with OPENSSL_free.
class Bytes {
 public:
  Bytes() = default;
  ~Bytes() { OPENSSL_free(bytes_); }
  Bytes(const Bytes&) = delete;
  Bytes& operator=(const Bytes&) = delete;
  unsigned char** out() {
    OPENSSL_free(bytes_);
    bytes_ = nullptr;
    return &bytes_;
  }
  // The bytes of a call that answered `length`; empty when it failed.
  std::string take(int length) const {
    return bytes_ && length > 0 ? std::string(reinterpret_cast<const char*>(bytes_), size_t(length))
                                : std::string();
  }

 private:
  unsigned char* bytes_ = nullptr;
};

}  // namespace pw::ossl
