// Conformance probe for the corners of the CryptoAPI providers' contract: which error a
// call gives when several arguments are wrong, acquiring with no container name or no
// provider type, what deleting a key set leaves in the handle, the sizes of container
// enumeration, hashes and keys whose provider was released, the salt of RC2 keys on each
// provider and of RSA keys, RC2 in CFB mode, and RSA keys whose modulus has its leading
// bits clear. One line a case; the outputs under Wine and the portable platform must be
// identical.
//
// Usage: provider_probe PRIVATEKEYBLOB-HEX   (a 1024-bit key made by openssl)
#include <windows.h>

#include <wincrypt.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "probe_text.h"

namespace {

using namespace probe;  // hex, unhex, Bytes

const char* kContainer = "pw-provider-probe";

std::string num(DWORD v) { return std::to_string(v); }

HCRYPTKEY derive(HCRYPTPROV prov, DWORD flags) {
  HCRYPTHASH hash = 0;
  HCRYPTKEY key = 0;
  static const BYTE data[] = "salt and pepper";
  if (CryptCreateHash(prov, CALG_MD5, 0, 0, &hash) && CryptHashData(hash, data, 15, 0))
    CryptDeriveKey(prov, CALG_RC2, hash, flags, &key);
  if (hash) CryptDestroyHash(hash);
  return key;
}

// Encrypts 16 bytes of 0xaf in one Final call.
std::string encrypt16(HCRYPTKEY key) {
  BYTE data[24];
  std::memset(data, 0xaf, sizeof data);
  DWORD len = 16;
  if (!CryptEncrypt(key, 0, TRUE, 0, data, &len, sizeof data)) return "failed";
  return hex(data, len);
}

std::string saltOf(HCRYPTKEY key) {
  BYTE salt[32];
  DWORD len = sizeof salt;
  if (!CryptGetKeyParam(key, KP_SALT, salt, &len, 0)) return "no salt";
  return "salt=" + num(len) + ":" + hex(salt, len);
}

void argumentOrder(HCRYPTPROV prov) {
  HCRYPTPROV other = 0;
  line("acquire: no handle, type 0", CryptAcquireContextA(nullptr, kContainer, nullptr, 0, 0));
  line("acquire: no handle, unknown provider",
       CryptAcquireContextA(nullptr, kContainer, "Pw Unknown Provider", PROV_RSA_FULL, 0));
  line("acquire: unknown provider, type 999",
       CryptAcquireContextA(&other, kContainer, "Pw Unknown Provider", 999, 0));
  line("acquire: verify and delete",
       CryptAcquireContextA(&other, nullptr, nullptr, PROV_RSA_FULL,
                            CRYPT_VERIFYCONTEXT | CRYPT_DELETEKEYSET));
  line("acquire: unknown flag", CryptAcquireContextA(&other, nullptr, nullptr, PROV_RSA_FULL,
                                                     CRYPT_VERIFYCONTEXT | 0x100000));
  HCRYPTHASH hash = 0;
  HCRYPTKEY key = 0;
  BYTE buf[64];
  DWORD len = sizeof buf;
  line("create hash: flags and no result", CryptCreateHash(prov, CALG_MD5, 0, 1, nullptr));
  line("create hash: flags and unknown algorithm", CryptCreateHash(prov, 0x1234, 0, 1, &hash));
  CryptCreateHash(prov, CALG_MD5, 0, 0, &hash);
  key = derive(prov, CRYPT_NO_SALT);
  line("hash param: unknown, no size", CryptGetHashParam(hash, 999, nullptr, nullptr, 0));
  line("hash param: unknown, flags", CryptGetHashParam(hash, 999, buf, &len, 1));
  line("key param: unknown, flags", CryptGetKeyParam(key, 999, buf, &len, 1));
  line("set key param: unknown, no data, flags", CryptSetKeyParam(key, 999, nullptr, 1));
  line("set key param: unknown", CryptSetKeyParam(key, 999, buf, 0));
  line("encrypt: flags, no size", CryptEncrypt(key, 0, TRUE, 1, nullptr, nullptr, 0));
  len = 8;
  line("decrypt: flags, no data", CryptDecrypt(key, 0, TRUE, 1, nullptr, &len));
  line("derive: no hash, wrong algorithm", CryptDeriveKey(prov, CALG_MD5, 0, 0, &key));
  line("derive: no result", CryptDeriveKey(prov, CALG_RC2, hash, 0, nullptr));
  line("import: nothing", CryptImportKey(prov, nullptr, 0, 0, 0, nullptr));
  line("export: session key, unknown type, flags", CryptExportKey(key, 0, 99, 1, nullptr, &len));
  line("gen key: unknown algorithm, no result", CryptGenKey(prov, 0x1234, 0, nullptr));
  line("prov param: unknown, no size", CryptGetProvParam(prov, 999, nullptr, nullptr, 0));
  len = sizeof buf;
  line("prov param: unknown", CryptGetProvParam(prov, 999, buf, &len, 0));
  line("user key: no result", CryptGetUserKey(prov, 99, nullptr));
  CryptDestroyKey(key);
  CryptDestroyHash(hash);
}

void acquiring() {
  HCRYPTPROV prov = 0;
  line("verify context, empty name",
       CryptAcquireContextA(&prov, "", MS_DEF_PROV_A, PROV_RSA_FULL, CRYPT_VERIFYCONTEXT));
  if (prov) CryptReleaseContext(prov, 0);
  // The default container is named after the user; "" names it as well as no name does.
  CryptAcquireContextA(&prov, nullptr, MS_DEF_PROV_A, PROV_RSA_FULL, CRYPT_DELETEKEYSET);
  line("open default container, empty name, missing",
       CryptAcquireContextA(&prov, "", MS_DEF_PROV_A, PROV_RSA_FULL, 0));
  BOOL ok = CryptAcquireContextA(&prov, "", MS_DEF_PROV_A, PROV_RSA_FULL, CRYPT_NEWKEYSET);
  line("create default container, empty name", ok);
  if (ok) {
    char empty[300] = "", none[300] = "";
    DWORD len = sizeof empty;
    CryptGetProvParam(prov, PP_CONTAINER, reinterpret_cast<BYTE*>(empty), &len, 0);
    CryptReleaseContext(prov, 0);
    ok = CryptAcquireContextA(&prov, nullptr, MS_DEF_PROV_A, PROV_RSA_FULL, 0);
    len = sizeof none;
    if (ok) CryptGetProvParam(prov, PP_CONTAINER, reinterpret_cast<BYTE*>(none), &len, 0);
    line("open it with no name", ok, std::strcmp(empty, none) == 0 ? "same name" : "other name");
    if (ok) CryptReleaseContext(prov, 0);
  }
  HCRYPTPROV handle = HCRYPTPROV(0x5a5a);
  ok = CryptAcquireContextA(&handle, nullptr, MS_DEF_PROV_A, PROV_RSA_FULL, CRYPT_DELETEKEYSET);
  line("delete default container", ok,
       handle == 0        ? "handle=0"
       : handle == 0x5a5a ? "handle untouched"
                          : "handle other");
  handle = HCRYPTPROV(0x5a5a);
  ok = CryptAcquireContextA(&handle, nullptr, MS_DEF_PROV_A, PROV_RSA_FULL, CRYPT_DELETEKEYSET);
  line("delete it again", ok,
       handle == 0        ? "handle=0"
       : handle == 0x5a5a ? "handle untouched"
                          : "handle other");
}

void enumeration() {
  HCRYPTPROV prov = 0;
  CryptAcquireContextA(&prov, kContainer, MS_DEF_PROV_A, PROV_RSA_FULL, CRYPT_DELETEKEYSET);
  if (!CryptAcquireContextA(&prov, kContainer, MS_DEF_PROV_A, PROV_RSA_FULL, CRYPT_NEWKEYSET))
    return line("enumeration container", FALSE);
  DWORD size = 0;
  BOOL ok = CryptGetProvParam(prov, PP_ENUMCONTAINERS, nullptr, &size, CRYPT_FIRST);
  line("enumerate: size question", ok, "size=" + num(size));
  char name[400];
  size = sizeof name;
  ok =
      CryptGetProvParam(prov, PP_ENUMCONTAINERS, reinterpret_cast<BYTE*>(name), &size, CRYPT_FIRST);
  line("enumerate: first into 400", ok, "size=" + num(size));
  bool found = false;
  while (ok) {
    found = found || std::strcmp(name, kContainer) == 0;
    size = sizeof name;
    ok = CryptGetProvParam(prov, PP_ENUMCONTAINERS, reinterpret_cast<BYTE*>(name), &size, 0);
  }
  line("enumerate: end", ok, std::string(found ? "found" : "not found") + " size=" + num(size));
  CryptReleaseContext(prov, 0);
  CryptAcquireContextA(&prov, kContainer, MS_DEF_PROV_A, PROV_RSA_FULL, CRYPT_DELETEKEYSET);
}

void afterRelease() {
  HCRYPTPROV prov = 0, other = 0;
  CryptAcquireContextA(&prov, nullptr, MS_DEF_PROV_A, PROV_RSA_FULL, CRYPT_VERIFYCONTEXT);
  CryptAcquireContextA(&other, nullptr, MS_DEF_PROV_A, PROV_RSA_FULL, CRYPT_VERIFYCONTEXT);
  HCRYPTHASH hash = 0;
  CryptCreateHash(prov, CALG_MD5, 0, 0, &hash);
  HCRYPTKEY key = derive(prov, CRYPT_NO_SALT), pair = 0, kept = derive(other, CRYPT_NO_SALT);
  CryptGenKey(prov, AT_KEYEXCHANGE, 512 << 16, &pair);
  line("release the provider", CryptReleaseContext(prov, 0));
  BYTE data[16] = {};
  DWORD len = 8;
  line("released: hash data", CryptHashData(hash, data, 1, 0));
  line("released: hash param", CryptGetHashParam(hash, HP_HASHVAL, data, &len, 0));
  len = 8;
  line("released: encrypt", CryptEncrypt(key, 0, TRUE, 0, data, &len, sizeof data));
  len = 8;
  line("released: decrypt", CryptDecrypt(key, 0, TRUE, 0, data, &len));
  len = sizeof data;
  line("released: key param", CryptGetKeyParam(key, KP_IV, data, &len, 0));
  line("released: set key param", CryptSetKeyParam(key, KP_IV, data, 0));
  len = 0;
  line("released: export", CryptExportKey(pair, 0, PUBLICKEYBLOB, 0, nullptr, &len));
  line("released: random", CryptGenRandom(prov, 4, data));
  line("released: create hash", CryptCreateHash(prov, CALG_MD5, 0, 0, &hash));
  line("released: destroy hash", CryptDestroyHash(hash));
  line("released: destroy key", CryptDestroyKey(key));
  line("released: destroy pair", CryptDestroyKey(pair));
  line("released: release again", CryptReleaseContext(prov, 0));
  line("other provider's key", !encrypt16(kept).empty() && encrypt16(kept) != "failed");
  CryptDestroyKey(kept);
  CryptReleaseContext(other, 0);
}

void salts() {
  for (const char* name : {MS_DEF_PROV_A, MS_STRONG_PROV_A, MS_ENHANCED_PROV_A}) {
    std::string p = name[10] == 'B' ? "base" : name[10] == 'S' ? "strong" : "enhanced";
    HCRYPTPROV prov = 0;
    if (!CryptAcquireContextA(&prov, nullptr, name, PROV_RSA_FULL, CRYPT_VERIFYCONTEXT)) {
      line(p, FALSE);
      continue;
    }
    HCRYPTKEY key = derive(prov, 40 << 16);
    line(p + " 40 bits", key != 0, saltOf(key) + " data=" + encrypt16(key));
    BYTE salt[11] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11};
    BOOL ok = CryptSetKeyParam(key, KP_SALT, salt, 0);
    line(p + " 40 bits, salt set", ok, saltOf(key));
    line(p + " 40 bits, salt set, encrypt", ok, encrypt16(key));
    line(p + " 40 bits, salt set, encrypt again", ok, encrypt16(key));
    CryptDestroyKey(key);
    key = derive(prov, (40 << 16) | CRYPT_CREATE_SALT);
    line(p + " 40 bits, created salt", key != 0, saltOf(key) + " data=" + encrypt16(key));
    CryptDestroyKey(key);
    key = derive(prov, (56 << 16) | CRYPT_CREATE_SALT);
    line(p + " 56 bits, created salt", key != 0, saltOf(key) + " data=" + encrypt16(key));
    CryptDestroyKey(key);
    key = derive(prov, (56 << 16));
    line(p + " 56 bits", key != 0, saltOf(key));
    CryptDestroyKey(key);
    CryptReleaseContext(prov, 0);
  }
  HCRYPTPROV prov = 0;
  HCRYPTKEY pair = 0;
  CryptAcquireContextA(&prov, nullptr, MS_ENHANCED_PROV_A, PROV_RSA_FULL, CRYPT_VERIFYCONTEXT);
  CryptGenKey(prov, AT_KEYEXCHANGE, 512 << 16, &pair);
  BYTE salt[16] = {};
  DWORD len = sizeof salt;
  BOOL ok = CryptGetKeyParam(pair, KP_SALT, salt, &len, 0);
  line("rsa key salt", ok, "len=" + num(len));
  line("rsa key set salt", CryptSetKeyParam(pair, KP_SALT, salt, 0));
  CryptDestroyKey(pair);
  CryptReleaseContext(prov, 0);
}

void cfb() {
  HCRYPTPROV prov = 0;
  CryptAcquireContextA(&prov, nullptr, MS_DEF_PROV_A, PROV_RSA_FULL, CRYPT_VERIFYCONTEXT);
  HCRYPTKEY key = derive(prov, CRYPT_NO_SALT);
  DWORD mode = CRYPT_MODE_CFB, bits = 0, len = sizeof bits;
  line("cfb: set mode", CryptSetKeyParam(key, KP_MODE, reinterpret_cast<BYTE*>(&mode), 0));
  BOOL ok = CryptGetKeyParam(key, KP_MODE_BITS, reinterpret_cast<BYTE*>(&bits), &len, 0);
  line("cfb: mode bits", ok, num(bits));
  BYTE data[32];
  for (int i = 0; i < 32; ++i) data[i] = BYTE(i);
  len = 23;
  ok = CryptEncrypt(key, 0, TRUE, 0, data, &len, sizeof data);
  line("cfb: encrypt 23", ok, "len=" + num(len) + " data=" + hex(data, ok ? len : 0));
  ok = CryptDecrypt(key, 0, TRUE, 0, data, &len);
  line("cfb: decrypt", ok, "len=" + num(len) + " data=" + hex(data, ok ? len : 0));
  for (int i = 0; i < 32; ++i) data[i] = BYTE(i);
  len = 16;
  ok = CryptEncrypt(key, 0, FALSE, 0, data, &len, sizeof data);
  DWORD tail = 7;
  ok = ok && CryptEncrypt(key, 0, TRUE, 0, data + 16, &tail, 8);
  line("cfb: encrypt 16, then 7", ok, hex(data, 16 + tail));
  len = 8;
  ok = CryptDecrypt(key, 0, FALSE, 0, data, &len);
  tail = 16;
  ok = ok && CryptDecrypt(key, 0, TRUE, 0, data + 8, &tail);
  line("cfb: decrypt 8, then 16", ok, "len=" + num(8 + tail) + " data=" + hex(data, 8 + tail));
  mode = CRYPT_MODE_OFB;
  line("ofb: set mode", CryptSetKeyParam(key, KP_MODE, reinterpret_cast<BYTE*>(&mode), 0));
  len = 8;
  line("ofb: encrypt", CryptEncrypt(key, 0, TRUE, 0, data, &len, sizeof data));
  CryptDestroyKey(key);
  CryptReleaseContext(prov, 0);
}

// A key blob whose modulus is declared wider than its value: the fields are widened by
// zeros at their top (the blob is little-endian), the bit length by `extra`.
Bytes widen(const Bytes& blob, DWORD extra) {
  DWORD bits;
  std::memcpy(&bits, blob.data() + 12, 4);
  bool priv = blob[0] == PRIVATEKEYBLOB;
  DWORD full = bits / 8, half = bits / 16, wider = (bits + extra) / 8,
        widerHalf = (bits + extra) / 16;
  Bytes out(blob.begin(), blob.begin() + 20);
  DWORD newBits = bits + extra;
  std::memcpy(out.data() + 12, &newBits, 4);
  size_t at = 20;
  auto field = [&](DWORD size, DWORD newSize) {
    out.insert(out.end(), blob.begin() + at, blob.begin() + at + size);
    out.insert(out.end(), newSize - size, 0);
    at += size;
  };
  field(full, wider);  // modulus
  if (priv) {
    for (int i = 0; i < 5; ++i) field(half, widerHalf);  // primes, exponents, coefficient
    field(full, wider);                                  // private exponent
  }
  return out;
}

void leadingZeros(const Bytes& privateBlob) {
  HCRYPTPROV prov = 0;
  CryptAcquireContextA(&prov, nullptr, MS_ENHANCED_PROV_A, PROV_RSA_FULL, CRYPT_VERIFYCONTEXT);
  // The public half of the key, as a PUBLICKEYBLOB with its modulus declared 16 bits wider.
  Bytes pub(privateBlob.begin(), privateBlob.begin() + 20 + 128);
  pub[0] = PUBLICKEYBLOB;
  std::memcpy(pub.data() + 8, "RSA1", 4);
  for (auto [label, blob] :
       {std::pair{"public", widen(pub, 16)}, std::pair{"private", widen(privateBlob, 16)},
        std::pair{"public, top bit clear", pub}}) {
    if (std::string(label) == "public, top bit clear") blob[20 + 127] &= 0x7f;
    HCRYPTKEY key = 0;
    BOOL ok = CryptImportKey(prov, blob.data(), DWORD(blob.size()), 0, CRYPT_EXPORTABLE, &key);
    DWORD bits = 0, len = sizeof bits;
    if (ok) CryptGetKeyParam(key, KP_KEYLEN, reinterpret_cast<BYTE*>(&bits), &len, 0);
    line(std::string("import ") + label, ok, "keylen=" + num(bits));
    for (DWORD type : {DWORD(PUBLICKEYBLOB), DWORD(PRIVATEKEYBLOB)}) {
      if (type == PRIVATEKEYBLOB && blob[0] != PRIVATEKEYBLOB) continue;
      Bytes out(2048);
      len = DWORD(out.size());
      BOOL exported = ok && CryptExportKey(key, 0, type, 0, out.data(), &len);
      out.resize(exported ? len : 0);
      std::string detail = "size=" + num(len);
      if (exported && type == DWORD(blob[0]))
        detail += out == blob ? " as imported" : " " + hex(out);
      if (exported && type != DWORD(blob[0])) detail += " " + hex(out.data(), 20 + 16);
      line(std::string("export ") + label + (type == PUBLICKEYBLOB ? " public" : " private"),
           exported, detail);
    }
    if (key) CryptDestroyKey(key);
  }
  CryptReleaseContext(prov, 0);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: provider_probe PRIVATEKEYBLOB-HEX\n");
    return 2;
  }
  HCRYPTPROV prov = 0;
  if (!CryptAcquireContextA(&prov, nullptr, MS_DEF_PROV_A, PROV_RSA_FULL, CRYPT_VERIFYCONTEXT))
    return 1;
  argumentOrder(prov);
  CryptReleaseContext(prov, 0);
  acquiring();
  enumeration();
  afterRelease();
  salts();
  cfb();
  leadingZeros(unhex(argv[1]));
  return 0;
}
