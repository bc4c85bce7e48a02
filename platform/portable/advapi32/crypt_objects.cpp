#include "advapi32/crypt_objects.h"

#include <cstring>

#include <openssl/evp.h>
#include <openssl/provider.h>

namespace pw::crypt {
namespace {

// A library context of our own, so that what this provider loads stays apart from the
// rest of the process.
OSSL_LIB_CTX* libctx() {
  static OSSL_LIB_CTX* ctx = [] {
    OSSL_LIB_CTX* c = OSSL_LIB_CTX_new();
    if (c) {
      OSSL_PROVIDER_load(c, "default");
    }
    return c;
  }();
  return ctx;
}

}  // namespace

void MdCtxFree::operator()(EVP_MD_CTX* c) const { EVP_MD_CTX_free(c); }

BOOL handOut(std::unique_ptr<handles::Object> object, ULONG_PTR* out) {
  ULONG_PTR handle = handles::addObject(std::move(object));
  if (!handle) return fail(NTE_NO_MEMORY);
  *out = handle;
  return TRUE;
}

const EVP_MD* digestFor(ALG_ID alg) {
  static const EVP_MD* md5 = EVP_MD_fetch(libctx(), "MD5", nullptr);
  static const EVP_MD* sha1 = EVP_MD_fetch(libctx(), "SHA1", nullptr);
  switch (alg) {
    case CALG_MD5:
      return md5;
    case CALG_SHA1:
      return sha1;
    default:
      return nullptr;
  }
}

}  // namespace pw::crypt
