// Conformance probe for CryptoAPI signatures: the AES provider beside the full RSA ones,
// SHA-2 hashes, CryptSignHash and CryptVerifySignature with a key pair made by
// `openssl rsa -outform MSBLOB`. PKCS #1 v1.5 signatures are deterministic, so each case
// prints its bytes; the outputs under Wine and the portable platform must be identical.
//
// Usage: signature_probe PRIVATEKEYBLOB-HEX
#include <windows.h>

#include <wincrypt.h>

#include <cstdio>
#include <string>

#include "probe_text.h"

namespace {

using namespace probe;  // hex, unhex, Bytes

const char* kContainer = "pw-signature-probe";
const BYTE kAbc[] = {'a', 'b', 'c'};

std::string number(DWORD value) { return std::to_string(value); }

void providers() {
  struct Case {
    const char* label;
    const char* name;
    DWORD type;
  };
  const Case cases[] = {
      {"aes by name", MS_ENH_RSA_AES_PROV_A, PROV_RSA_AES},
      {"aes by type", nullptr, PROV_RSA_AES},
      {"aes name, full type", MS_ENH_RSA_AES_PROV_A, PROV_RSA_FULL},
      {"enhanced name, aes type", MS_ENHANCED_PROV_A, PROV_RSA_AES},
      {"aes name in capitals", "MICROSOFT ENHANCED RSA AND AES CRYPTOGRAPHIC PROVIDER",
       PROV_RSA_AES},
  };
  for (const Case& c : cases) {
    HCRYPTPROV prov = 0;
    BOOL ok = CryptAcquireContextA(&prov, nullptr, c.name, c.type, CRYPT_VERIFYCONTEXT);
    char name[128] = "";
    DWORD size = sizeof name;
    if (ok) CryptGetProvParam(prov, PP_NAME, reinterpret_cast<BYTE*>(name), &size, 0);
    // A provider asked for in capitals is found without regard to case; which spelling
    // PP_NAME answers then is not compared.
    bool capitals = c.name && std::string(c.name) != MS_ENH_RSA_AES_PROV_A &&
                    std::string(c.name) != MS_ENHANCED_PROV_A;
    line(std::string("provider ") + c.label, ok,
         ok && !capitals ? std::string("name=") + name : "");
    if (ok) CryptReleaseContext(prov, 0);
  }
}

// The value of a hash of "abc", or the error of making it.
void hashes(HCRYPTPROV aes, HCRYPTPROV full) {
  struct Case {
    const char* label;
    ALG_ID alg;
  };
  const Case cases[] = {{"md5", CALG_MD5},
                        {"sha1", CALG_SHA1},
                        {"sha256", CALG_SHA_256},
                        {"sha384", CALG_SHA_384},
                        {"sha512", CALG_SHA_512}};
  for (const Case& c : cases) {
    for (auto [label, prov] : {std::pair{"aes", aes}, {"full", full}}) {
      HCRYPTHASH hash = 0;
      BOOL ok = CryptCreateHash(prov, c.alg, 0, 0, &hash) && CryptHashData(hash, kAbc, 3, 0);
      BYTE value[64];
      DWORD size = sizeof value;
      ok = ok && CryptGetHashParam(hash, HP_HASHVAL, value, &size, 0);
      line(std::string("hash ") + c.label + " " + label, ok, ok ? "value=" + hex(value, size) : "");
      if (hash) CryptDestroyHash(hash);
    }
  }
}

HCRYPTHASH hashOf(HCRYPTPROV prov, ALG_ID alg) {
  HCRYPTHASH hash = 0;
  if (!CryptCreateHash(prov, alg, 0, 0, &hash)) return 0;
  CryptHashData(hash, kAbc, 3, 0);
  return hash;
}

// Signs "abc"; prints the signature and answers it.
Bytes sign(const std::string& name, HCRYPTPROV prov, ALG_ID alg, DWORD spec, DWORD flags) {
  HCRYPTHASH hash = hashOf(prov, alg);
  DWORD size = 0;
  BOOL ok = CryptSignHashA(hash, spec, nullptr, flags, nullptr, &size);
  if (!ok) {
    line(name, ok);
    CryptDestroyHash(hash);
    return {};
  }
  Bytes signature(size);
  ok = CryptSignHashA(hash, spec, nullptr, flags, signature.data(), &size);
  line(name, ok, ok ? "signature=" + hex(signature.data(), size) : "");
  CryptDestroyHash(hash);
  return ok ? signature : Bytes();
}

void signatures(HCRYPTPROV aes, HCRYPTPROV full, HCRYPTKEY publicKey) {
  Bytes sha256 = sign("sign sha256", aes, CALG_SHA_256, AT_KEYEXCHANGE, 0);
  sign("sign sha512", aes, CALG_SHA_512, AT_KEYEXCHANGE, 0);
  sign("sign sha1 full", full, CALG_SHA1, AT_KEYEXCHANGE, 0);
  sign("sign md5 full", full, CALG_MD5, AT_KEYEXCHANGE, 0);
  sign("sign sha1 without hash oid", full, CALG_SHA1, AT_KEYEXCHANGE, CRYPT_NOHASHOID);
  sign("sign with the missing signature pair", aes, CALG_SHA_256, AT_SIGNATURE, 0);
  sign("sign with flags 0x100", aes, CALG_SHA_256, AT_KEYEXCHANGE, 0x100);

  // The size protocol: a short buffer is told the size; the hash is not spent by it.
  HCRYPTHASH hash = hashOf(aes, CALG_SHA_256);
  Bytes signature(256);
  DWORD size = 10;
  BOOL ok = CryptSignHashA(hash, AT_KEYEXCHANGE, nullptr, 0, signature.data(), &size);
  line("sign short buffer", ok, "size=" + number(size));
  ok = CryptHashData(hash, kAbc, 3, 0);
  line("hash data after a short buffer", ok);
  size = DWORD(signature.size());
  ok = CryptSignHashA(hash, AT_KEYEXCHANGE, nullptr, 0, signature.data(), &size);
  line("sign after a short buffer", ok, "size=" + number(size));
  ok = CryptHashData(hash, kAbc, 3, 0);
  line("hash data after signing", ok);
  CryptDestroyHash(hash);

  // Verification with the public key alone, imported into a context of its own.
  struct Check {
    const char* label;
    ALG_ID alg;
    int flip;  // the byte to change, -1 for none
    DWORD cut;
  };
  const Check checks[] = {{"verify", CALG_SHA_256, -1, 0},
                          {"verify changed first byte", CALG_SHA_256, 0, 0},
                          {"verify changed last byte", CALG_SHA_256, 127, 0},
                          {"verify short", CALG_SHA_256, -1, 1},
                          {"verify other hash", CALG_SHA_512, -1, 0}};
  for (const Check& c : checks) {
    Bytes copy = sha256;
    if (c.flip >= 0 && size_t(c.flip) < copy.size()) copy[c.flip] ^= 1;
    HCRYPTHASH check = hashOf(aes, c.alg);
    ok = CryptVerifySignatureA(check, copy.data(), DWORD(copy.size() - c.cut), publicKey, nullptr,
                               0);
    line(c.label, ok);
    CryptDestroyHash(check);
  }

  // The wide forms: the same signature (PKCS #1 v1.5 is deterministic), the same check.
  hash = hashOf(aes, CALG_SHA_256);
  Bytes wide(256);
  size = DWORD(wide.size());
  ok = CryptSignHashW(hash, AT_KEYEXCHANGE, nullptr, 0, wide.data(), &size);
  wide.resize(ok ? size : 0);
  line("sign wide", ok, "same as narrow=" + number(wide == sha256));
  CryptDestroyHash(hash);
  for (int flip : {-1, 0}) {
    Bytes copy = sha256;
    if (flip >= 0) copy[flip] ^= 1;
    HCRYPTHASH check = hashOf(aes, CALG_SHA_256);
    ok = CryptVerifySignatureW(check, copy.data(), DWORD(copy.size()), publicKey, nullptr, 0);
    line(flip < 0 ? "verify wide" : "verify wide changed first byte", ok);
    CryptDestroyHash(check);
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return 2;
  Bytes blob = unhex(argv[1]);
  providers();

  HCRYPTPROV aes = 0, full = 0, verify = 0;
  CryptAcquireContextA(&aes, kContainer, MS_ENH_RSA_AES_PROV_A, PROV_RSA_AES, CRYPT_DELETEKEYSET);
  BOOL ok =
      CryptAcquireContextA(&aes, kContainer, MS_ENH_RSA_AES_PROV_A, PROV_RSA_AES, CRYPT_NEWKEYSET);
  line("new container in the aes provider", ok);
  HCRYPTKEY pair = 0;
  ok = CryptImportKey(aes, blob.data(), DWORD(blob.size()), 0, 0, &pair);
  line("import pair", ok);
  if (pair) CryptDestroyKey(pair);
  // The enhanced provider opens the same container and finds the pair there.
  ok = CryptAcquireContextA(&full, kContainer, MS_ENHANCED_PROV_A, PROV_RSA_FULL, 0);
  line("container in the enhanced provider", ok);
  HCRYPTKEY user = 0;
  ok = CryptGetUserKey(full, AT_KEYEXCHANGE, &user);
  line("pair in the enhanced provider", ok);
  Bytes publicBlob(512);
  DWORD size = DWORD(publicBlob.size());
  CryptExportKey(user, 0, PUBLICKEYBLOB, 0, publicBlob.data(), &size);
  publicBlob.resize(size);
  if (user) CryptDestroyKey(user);
  CryptAcquireContextA(&verify, nullptr, MS_ENH_RSA_AES_PROV_A, PROV_RSA_AES, CRYPT_VERIFYCONTEXT);
  HCRYPTKEY publicKey = 0;
  ok = CryptImportKey(verify, publicBlob.data(), DWORD(publicBlob.size()), 0, 0, &publicKey);
  line("import public key", ok);

  hashes(aes, full);
  signatures(aes, full, publicKey);
  sign("sign in a verify context", verify, CALG_SHA_256, AT_KEYEXCHANGE, 0);

  CryptDestroyKey(publicKey);
  CryptReleaseContext(verify, 0);
  CryptReleaseContext(full, 0);
  CryptReleaseContext(aes, 0);
  CryptAcquireContextA(&aes, kContainer, MS_ENH_RSA_AES_PROV_A, PROV_RSA_AES, CRYPT_DELETEKEYSET);
  return 0;
}
