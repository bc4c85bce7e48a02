// Conformance probe for the CryptoAPI base provider and the OLE Automation array and
// string calls that the system makes. Built for both targets; each case prints one line
// with the call's result, its last-error code on failure, and the bytes it produced, so
// that the outputs under Wine and under the portable platform can be compared verbatim.
//
// Usage: crypto_probe [pass-data-hex]   (default: a fixed 30-byte key)
#include <windows.h>

#include <oleauto.h>
#include <wincrypt.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "probe_text.h"

namespace {

using namespace probe;  // hex, unhex, Bytes

const char* kDefaultPass = "5077e1f3a0c21b9d44e7086e3f52d1aa9c0b7e6513f8c2d4e6a7b9c1d3e5";
const char* kContainer = "pw-conformance-probe";

Bytes pattern(DWORD n, BYTE seed) {
  Bytes b(n);
  for (DWORD i = 0; i < n; ++i) b[i] = BYTE(seed + i * 7);
  return b;
}

std::string num(DWORD v) { return std::to_string(v); }

// One line: the case, TRUE/FALSE, the error (only on failure), then any extra fields.
HCRYPTKEY derive(HCRYPTPROV prov, const Bytes& pass, DWORD flags, const std::string& name) {
  HCRYPTHASH hash = 0;
  HCRYPTKEY key = 0;
  BOOL ok = CryptCreateHash(prov, CALG_MD5, 0, 0, &hash) &&
            CryptHashData(hash, pass.data(), DWORD(pass.size()), 0) &&
            CryptDeriveKey(prov, CALG_RC2, hash, flags, &key);
  line(name, ok);
  if (hash) CryptDestroyHash(hash);
  return ok ? key : 0;
}

void keyParams(HCRYPTKEY key, const std::string& prefix) {
  static const DWORD params[] = {KP_ALGID,    KP_KEYLEN, KP_EFFECTIVE_KEYLEN,
                                 KP_BLOCKLEN, KP_MODE,   KP_PADDING,
                                 KP_IV,       KP_SALT,   KP_PERMISSIONS};
  static const char* names[] = {"algid",   "keylen", "effective", "blocklen",   "mode",
                                "padding", "iv",     "salt",      "permissions"};
  for (size_t i = 0; i < sizeof params / sizeof *params; ++i) {
    BYTE buf[64];
    DWORD len = sizeof buf;
    BOOL ok = CryptGetKeyParam(key, params[i], buf, &len, 0);
    line(prefix + " param " + names[i], ok, "value=" + (ok ? hex(buf, len) : "-"));
  }
}

// Encrypts in one Final call, then decrypts the result in one Final call, in a buffer
// one byte longer than the data as the proxies do.
Bytes roundTrip(HCRYPTKEY key, const Bytes& plain, const std::string& prefix) {
  Bytes buf = plain;
  buf.resize(plain.size() + 16, 0xEE);
  DWORD len = DWORD(plain.size());
  BOOL ok = CryptEncrypt(key, 0, TRUE, 0, buf.data(), &len, DWORD(buf.size()));
  Bytes cipher(buf.begin(), buf.begin() + (ok ? len : 0));
  std::string n = num(DWORD(plain.size()));
  line(prefix + " encrypt " + n, ok, "len=" + num(len) + " data=" + hex(cipher));
  buf = cipher;
  buf.push_back(0);
  len = DWORD(cipher.size());
  ok = CryptDecrypt(key, 0, TRUE, 0, buf.data(), &len);
  line(prefix + " decrypt " + n, ok, "len=" + num(len) + " data=" + hex(buf.data(), ok ? len : 0));
  return cipher;
}

void cipherCases(HCRYPTKEY key, const std::string& p) {
  keyParams(key, p);
  Bytes eight;
  for (DWORD n : {0u, 1u, 7u, 8u, 9u, 64u}) {
    Bytes c = roundTrip(key, pattern(n, BYTE(0x30 + n)), p);
    if (n == 8) eight = c;
  }

  // Size question, short buffer, and a non-Final call on a partial block.
  Bytes nine = pattern(9, 1);
  auto encrypt = [&](const char* name, BOOL final, BYTE* data, DWORD len, DWORD size) {
    BOOL ok = CryptEncrypt(key, 0, final, 0, data, &len, size);
    line(p + name, ok, "len=" + num(len));
  };
  encrypt(" encrypt size question", TRUE, nullptr, 9, 0);
  encrypt(" encrypt short buffer", TRUE, nine.data(), 9, 9);
  encrypt(" encrypt partial block not final", FALSE, nine.data(), 7, 9);

  // Two calls chain like one.
  Bytes two = pattern(21, 0x61);
  two.resize(32);
  DWORD len = 16, len2 = 5;
  BOOL ok = CryptEncrypt(key, 0, FALSE, 0, two.data(), &len, 32) &&
            CryptEncrypt(key, 0, TRUE, 0, two.data() + 16, &len2, 16);
  line(p + " encrypt in two calls", ok, "data=" + hex(two.data(), 16 + len2));
  len = 16, len2 = 8;
  ok = CryptDecrypt(key, 0, FALSE, 0, two.data(), &len) &&
       CryptDecrypt(key, 0, TRUE, 0, two.data() + 16, &len2);
  line(p + " decrypt in two calls", ok, "data=" + hex(two.data(), 16 + len2));

  // Bad input for a Final decryption, in a buffer larger than the data and filled with a
  // known pattern, so that a provider reading past the data behaves the same every run.
  // An empty one is left out: Wine 8 reads before the buffer there.
  auto bad = [&](const char* name, Bytes data, bool showData) {
    DWORD size = DWORD(data.size()), len = size;
    data.resize(size + 32, 0x5A);
    BOOL ok = CryptDecrypt(key, 0, TRUE, 0, data.data(), &len);
    line(p + name, ok,
         "len=" + num(len) + " data=" + (showData ? hex(data.data(), size) : "(not compared)"));
  };
  Bytes longer = eight, pad = eight, inner = eight;
  longer.push_back(0x42);
  pad[7] ^= 0x01;    // the last padding byte of the plaintext
  inner[3] ^= 0x80;  // a padding byte that is not the last one
  bad(" decrypt 7 bytes", Bytes(eight.begin(), eight.begin() + 7), false);
  bad(" decrypt 17 bytes", longer, false);
  bad(" decrypt corrupt pad byte", pad, true);
  bad(" decrypt corrupt inner pad", inner, true);
  // The key must be usable again after a failed Final decryption.
  len = DWORD(eight.size());
  ok = CryptDecrypt(key, 0, TRUE, 0, eight.data(), &len);
  line(p + " decrypt after failure", ok, "data=" + hex(eight.data(), ok ? len : 0));
}

void deriveCases(HCRYPTPROV prov, const Bytes& pass) {
  for (DWORD bits : {48u, 56u, 64u, 128u, 44u}) {
    std::string name = "derive length " + num(bits);
    if (HCRYPTKEY key = derive(prov, pass, (bits << 16) | CRYPT_NO_SALT, name)) {
      roundTrip(key, pattern(5, 0x11), name);
      CryptDestroyKey(key);
    }
  }
  if (HCRYPTKEY key = derive(prov, pass, CRYPT_CREATE_SALT, "derive create salt")) {
    keyParams(key, "create salt");
    roundTrip(key, pattern(5, 0x11), "create salt");
    CryptDestroyKey(key);
  }
  HCRYPTHASH hash = 0;
  HCRYPTKEY key = 0;
  CryptCreateHash(prov, CALG_MD5, 0, 0, &hash);
  CryptHashData(hash, pass.data(), DWORD(pass.size()), 0);
  line("derive rc4 alg", CryptDeriveKey(prov, CALG_MD5, hash, 0, &key));
  line("derive twice from one hash", CryptDeriveKey(prov, CALG_RC2, hash, CRYPT_NO_SALT, &key));
  if (key) roundTrip(key, pattern(3, 0x77), "derive twice");
  CryptDestroyKey(key);
  line("hash data after derive", CryptHashData(hash, pass.data(), 1, 0));
  CryptDestroyHash(hash);

  // Parameters changed on a derived key.
  if (!(key = derive(prov, pass, CRYPT_NO_SALT, "param key derive"))) return;
  BYTE iv[8] = {1, 2, 3, 4, 5, 6, 7, 8};
  DWORD ecb = CRYPT_MODE_ECB, bits = 128, padding = ZERO_PADDING;
  auto set = [&](const char* name, DWORD param, const void* value) {
    line(name, CryptSetKeyParam(key, param, static_cast<const BYTE*>(value), 0));
  };
  set("param set iv", KP_IV, iv);
  roundTrip(key, pattern(12, 9), "param iv");
  set("param set mode ecb", KP_MODE, &ecb);
  roundTrip(key, pattern(16, 3), "param ecb");
  set("param set effective 128", KP_EFFECTIVE_KEYLEN, &bits);
  set("param set zero padding", KP_PADDING, &padding);
  CryptDestroyKey(key);
}

void hashCases(HCRYPTPROV prov, const Bytes& pass) {
  auto digest = [&](const char* name, ALG_ID alg, std::initializer_list<Bytes> parts) {
    HCRYPTHASH hash = 0;
    BYTE value[64];
    DWORD len = sizeof value;
    BOOL ok = CryptCreateHash(prov, alg, 0, 0, &hash);
    for (const Bytes& part : parts)
      ok = ok && CryptHashData(hash, part.data(), DWORD(part.size()), 0);
    ok = ok && CryptGetHashParam(hash, HP_HASHVAL, value, &len, 0);
    line(name, ok, "value=" + hex(value, ok ? len : 0));
    if (hash) CryptDestroyHash(hash);
  };
  digest("md5 pass", CALG_MD5, {pass});
  digest("md5 empty", CALG_MD5, {});
  digest("md5 abc", CALG_MD5, {{'a', 'b', 'c'}});
  digest("md5 abc in parts", CALG_MD5, {{'a'}, {}, {'b', 'c'}});
  digest("sha1 abc", CALG_SHA1, {{'a', 'b', 'c'}});

  HCRYPTHASH hash = 0;
  CryptCreateHash(prov, CALG_MD5, 0, 0, &hash);
  DWORD size = 0, len = sizeof size;
  BOOL ok = CryptGetHashParam(hash, HP_HASHSIZE, reinterpret_cast<BYTE*>(&size), &len, 0);
  line("md5 hash size", ok, "value=" + num(size));
  BYTE small[4];
  len = sizeof small;
  ok = CryptGetHashParam(hash, HP_HASHVAL, small, &len, 0);
  line("md5 value short buffer", ok, "len=" + num(len));
  line("md5 data after value", CryptHashData(hash, small, 1, 0));
  CryptDestroyHash(hash);
  line("create hash sha256 alg", CryptCreateHash(prov, 0x800c, 0, 0, &hash));
  line("create hash bad flags", CryptCreateHash(prov, CALG_MD5, 0, 1, &hash));
}

void containerCases() {
  HCRYPTPROV prov = 0;
  auto acquire = [&](const char* name, const char* provider, DWORD flags) {
    BOOL ok = CryptAcquireContextA(&prov, kContainer, provider, PROV_RSA_FULL, flags);
    if (name) line(name, ok);
    return ok;
  };
  acquire(nullptr, MS_DEF_PROV_A, CRYPT_DELETEKEYSET);  // a leftover of an interrupted run
  acquire("container open missing", MS_DEF_PROV_A, 0);
  acquire("container verify with name", MS_DEF_PROV_A, CRYPT_VERIFYCONTEXT);
  if (acquire("container create", MS_DEF_PROV_A, CRYPT_NEWKEYSET)) {
    HCRYPTKEY key = 0;
    line("container user key", CryptGetUserKey(prov, AT_KEYEXCHANGE, &key));
    line("container release", CryptReleaseContext(prov, 0));
  }
  acquire("container create again", MS_DEF_PROV_A, CRYPT_NEWKEYSET);
  if (acquire("container open default provider", nullptr, 0)) CryptReleaseContext(prov, 0);
  acquire("container delete", MS_DEF_PROV_A, CRYPT_DELETEKEYSET);
  acquire("container delete again", MS_DEF_PROV_A, CRYPT_DELETEKEYSET);
  acquire("container open deleted", MS_DEF_PROV_A, 0);
}

void handleCases(HCRYPTPROV prov) {
  HCRYPTHASH hash = 0;
  HCRYPTKEY key = 0;
  HCRYPTPROV other = 0;
  BYTE data[8] = {};
  DWORD len = 8;
  line("null provider create hash", CryptCreateHash(0, CALG_MD5, 0, 0, &hash));
  line("null hash derive", CryptDeriveKey(prov, CALG_RC2, 0, 0, &key));
  line("null key decrypt", CryptDecrypt(0, 0, TRUE, 0, data, &len));
  line("null key encrypt", CryptEncrypt(0, 0, TRUE, 0, data, &len, 8));
  line("null hash data", CryptHashData(0, data, 1, 0));
  line("null hash param", CryptGetHashParam(0, HP_HASHVAL, data, &len, 0));
  line("null key get param", CryptGetKeyParam(0, KP_IV, data, &len, 0));
  line("null key set param", CryptSetKeyParam(0, KP_IV, data, 0));
  line("null key destroy", CryptDestroyKey(0));
  line("null hash destroy", CryptDestroyHash(0));
  line("null provider release", CryptReleaseContext(0, 0));
  line("null provider user key", CryptGetUserKey(0, AT_KEYEXCHANGE, &key));
  line("acquire null handle pointer",
       CryptAcquireContextA(nullptr, nullptr, MS_DEF_PROV_A, PROV_RSA_FULL, CRYPT_VERIFYCONTEXT));
  const std::pair<const char*, DWORD> types[] = {{"0", 0}, {"1000", 1000}};
  for (const auto& [name, type] : types)
    line(std::string("acquire type ") + name,
         CryptAcquireContextA(&other, nullptr, MS_DEF_PROV_A, type, CRYPT_VERIFYCONTEXT));
  line("acquire delete and new", CryptAcquireContextA(&other, nullptr, MS_DEF_PROV_A, PROV_RSA_FULL,
                                                      CRYPT_DELETEKEYSET | CRYPT_NEWKEYSET));
}

void oleCases() {
  SAFEARRAY* psa = SafeArrayCreateVector(VT_UI1, 0, 5);
  line("sa create vector", psa != nullptr);
  if (!psa) return;
  LONG lo = -1, hi = -1, index = 5;
  HRESULT hr = SafeArrayGetLBound(psa, 1, &lo), hr2 = SafeArrayGetUBound(psa, 1, &hi);
  std::printf("sa bounds: hr=%08x,%08x lo=%d hi=%d dims=%u elem=%u features=%04x\n", unsigned(hr),
              unsigned(hr2), int(lo), int(hi), SafeArrayGetDim(psa), SafeArrayGetElemsize(psa),
              unsigned(psa->fFeatures));
  std::printf("sa bad dim: hr=%08x\n", unsigned(SafeArrayGetLBound(psa, 2, &lo)));
  void* data = nullptr;
  hr = SafeArrayAccessData(psa, &data);
  std::memcpy(data, "\x01\x02\x03\x04\x05", 5);
  hr2 = SafeArrayDestroy(psa);
  std::printf("sa destroy locked: hr=%08x,%08x locks=%u\n", unsigned(hr), unsigned(hr2),
              unsigned(psa->cLocks));
  SafeArrayUnaccessData(psa);
  std::printf("sa unlock unlocked: hr=%08x\n", unsigned(SafeArrayUnlock(psa)));
  BYTE b = 0;
  std::printf("sa get out of range: hr=%08x\n", unsigned(SafeArrayGetElement(psa, &index, &b)));
  index = 4;
  hr = SafeArrayGetElement(psa, &index, &b);
  std::printf("sa get: hr=%08x value=%02x\n", unsigned(hr), unsigned(b));
  SAFEARRAY* copy = nullptr;
  hr = SafeArrayCopy(psa, &copy);
  VARTYPE vt = 0;
  hr2 = SafeArrayGetVartype(copy, &vt);
  std::printf("sa copy: hr=%08x data=%s features=%04x\n", unsigned(hr),
              hex(static_cast<BYTE*>(copy->pvData), 5).c_str(), unsigned(copy->fFeatures));
  std::printf("sa vartype: hr=%08x vt=%u\n", unsigned(hr2), unsigned(vt));
  VARIANT v, w;
  VariantInit(&v);
  VariantInit(&w);
  v.vt = VT_ARRAY | VT_UI1;
  v.parray = copy;
  hr = VariantCopy(&w, &v);
  std::printf("variant copy: hr=%08x vt=%04x distinct=%d\n", unsigned(hr), unsigned(w.vt),
              w.parray != copy ? 1 : 0);
  hr = VariantClear(&v);
  hr2 = VariantClear(&w);
  std::printf("variant clear: hr=%08x,%08x vt=%u\n", unsigned(hr), unsigned(hr2), unsigned(w.vt));
  v.vt = 15;
  std::printf("variant clear bad type: hr=%08x\n", unsigned(VariantClear(&v)));
  SafeArrayDestroy(psa);

  BSTR s = SysAllocStringByteLen("abcde", 5);
  std::printf("bstr byte len: len=%u chars=%u prefix=%u\n", SysStringByteLen(s), SysStringLen(s),
              unsigned(reinterpret_cast<DWORD*>(s)[-1]));
  SysFreeString(s);
}

}  // namespace

int main(int argc, char** argv) {
  Bytes pass = unhex(argc > 1 ? argv[1] : kDefaultPass);
  std::printf("pass: %s\n", hex(pass).c_str());

  HCRYPTPROV prov = 0;
  BOOL ok = CryptAcquireContextA(&prov, nullptr, MS_DEF_PROV_A, PROV_RSA_FULL, CRYPT_VERIFYCONTEXT);
  line("acquire verify context", ok);
  if (!ok) return 1;
  HCRYPTKEY none = 0;
  line("verify context user key", CryptGetUserKey(prov, AT_KEYEXCHANGE, &none));

  hashCases(prov, pass);
  HCRYPTKEY noSalt = derive(prov, pass, CRYPT_NO_SALT, "derive rc2 no salt");
  if (noSalt) cipherCases(noSalt, "no salt");
  HCRYPTKEY salted = derive(prov, pass, 0, "derive rc2 default salt");
  if (salted) cipherCases(salted, "salted");
  line("destroy key", CryptDestroyKey(noSalt));
  CryptDestroyKey(salted);
  deriveCases(prov, pass);
  handleCases(prov);
  line("release verify context", CryptReleaseContext(prov, 0));
  containerCases();
  oleCases();
  return 0;
}
