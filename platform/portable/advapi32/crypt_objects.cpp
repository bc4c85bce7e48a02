#include "advapi32/crypt_objects.h"

#include <cstring>

#include <openssl/evp.h>
#include <openssl/provider.h>

#include <unordered_set>

namespace pw::crypt {
namespace {

std::unordered_set<CryptObject*>& live() {
  static auto* set = new std::unordered_set<CryptObject*>;  // process-wide
  return *set;
}

// A library context of our own, so that the legacy provider (RC2) is loaded here and
// nowhere else in the process.
OSSL_LIB_CTX* libctx() {
  static OSSL_LIB_CTX* ctx = [] {
    OSSL_LIB_CTX* c = OSSL_LIB_CTX_new();
    if (c) {
      OSSL_PROVIDER_load(c, "default");
      OSSL_PROVIDER_load(c, "legacy");
    }
    return c;
  }();
  return ctx;
}

}  // namespace

void MdCtxFree::operator()(EVP_MD_CTX* c) const { EVP_MD_CTX_free(c); }
void CipherCtxFree::operator()(EVP_CIPHER_CTX* c) const { EVP_CIPHER_CTX_free(c); }

ULONG_PTR addObject(std::unique_ptr<CryptObject> object) {
  CryptObject* raw = object.release();
  live().insert(raw);
  return reinterpret_cast<ULONG_PTR>(raw);
}

CryptObject* lookupObject(ULONG_PTR handle) {
  auto* object = reinterpret_cast<CryptObject*>(handle);
  return handle && live().count(object) ? object : nullptr;
}

bool destroyObject(ULONG_PTR handle) {
  auto* object = reinterpret_cast<CryptObject*>(handle);
  if (!handle || !live().erase(object)) return false;
  delete object;
  return true;
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

const EVP_CIPHER* rc2Ecb() {
  static const EVP_CIPHER* cipher = EVP_CIPHER_fetch(libctx(), "RC2-ECB", nullptr);
  return cipher;
}

BOOL fail(DWORD code) {
  SetLastError(code);
  return FALSE;
}

BOOL copyParam(BYTE* out, DWORD* outLen, const void* value, DWORD size) {
  if (out) {
    if (*outLen < size) {
      *outLen = size;
      return fail(ERROR_MORE_DATA);
    }
    std::memcpy(out, value, size);
  }
  *outLen = size;
  return TRUE;
}

}  // namespace pw::crypt
