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

namespace {

using Bytes = std::vector<BYTE>;

const char* kDefaultPass = "5077e1f3a0c21b9d44e7086e3f52d1aa9c0b7e6513f8c2d4e6a7b9c1d3e5";
const char* kContainer = "pw-conformance-probe";

std::string hex(const BYTE* p, DWORD n) {
  static const char* digits = "0123456789abcdef";
  std::string s;
  for (DWORD i = 0; i < n; ++i) {
    s += digits[p[i] >> 4];
    s += digits[p[i] & 15];
  }
  return s.empty() ? "-" : s;
}

std::string hex(const Bytes& b) { return hex(b.data(), DWORD(b.size())); }

Bytes unhex(const char* text) {
  Bytes out;
  for (size_t i = 0; text[i] && text[i + 1]; i += 2) {
    unsigned v = 0;
    std::sscanf(text + i, "%2x", &v);
    out.push_back(BYTE(v));
  }
  return out;
}

Bytes pattern(DWORD n, BYTE seed) {
  Bytes b(n);
  for (DWORD i = 0; i < n; ++i) b[i] = BYTE(seed + i * 7);
  return b;
}

// One line: the case, TRUE/FALSE, the error (only on failure), then any extra fields.
void line(const char* name, BOOL ok, const std::string& extra = "") {
  char err[16] = "-";
  if (!ok) std::snprintf(err, sizeof err, "%08x", unsigned(GetLastError()));
  std::printf("%s: ret=%d err=%s%s%s\n", name, ok ? 1 : 0, err, extra.empty() ? "" : " ",
              extra.c_str());
}

std::string field(const char* name, const std::string& value) {
  return std::string(name) + "=" + value;
}

std::string num(DWORD v) { return std::to_string(v); }

Bytes hashOf(HCRYPTPROV prov, ALG_ID alg, const std::vector<Bytes>& parts, const char* name) {
  HCRYPTHASH hash = 0;
  BOOL ok = CryptCreateHash(prov, alg, 0, 0, &hash);
  for (const Bytes& p : parts)
    if (ok) ok = CryptHashData(hash, p.data(), DWORD(p.size()), 0);
  Bytes value(64);
  DWORD len = DWORD(value.size());
  if (ok) ok = CryptGetHashParam(hash, HP_HASHVAL, value.data(), &len, 0);
  value.resize(ok ? len : 0);
  line(name, ok, field("value", hex(value)));
  if (hash) CryptDestroyHash(hash);
  return value;
}

HCRYPTKEY derive(HCRYPTPROV prov, const Bytes& pass, DWORD flags, const char* name) {
  HCRYPTHASH hash = 0;
  HCRYPTKEY key = 0;
  BOOL ok = CryptCreateHash(prov, CALG_MD5, 0, 0, &hash) &&
            CryptHashData(hash, pass.data(), DWORD(pass.size()), 0) &&
            CryptDeriveKey(prov, CALG_RC2, hash, flags, &key);
  line(name, ok);
  if (hash) CryptDestroyHash(hash);
  return ok ? key : 0;
}

void keyParams(HCRYPTKEY key, const char* prefix) {
  static const struct {
    DWORD param;
    const char* name;
  } params[] = {{KP_ALGID, "algid"},
                {KP_KEYLEN, "keylen"},
                {KP_EFFECTIVE_KEYLEN, "effective"},
                {KP_BLOCKLEN, "blocklen"},
                {KP_MODE, "mode"},
                {KP_PADDING, "padding"},
                {KP_IV, "iv"},
                {KP_SALT, "salt"},
                {KP_PERMISSIONS, "permissions"}};
  for (const auto& p : params) {
    BYTE buf[64];
    DWORD len = sizeof buf;
    BOOL ok = CryptGetKeyParam(key, p.param, buf, &len, 0);
    std::string name = std::string(prefix) + " param " + p.name;
    line(name.c_str(), ok, field("value", ok ? hex(buf, len) : "-"));
  }
}

// Encrypts in one Final call, then decrypts the result in one Final call.
Bytes roundTrip(HCRYPTKEY key, const Bytes& plain, const char* prefix) {
  Bytes buf = plain;
  buf.resize(plain.size() + 16, 0xEE);
  DWORD len = DWORD(plain.size());
  BOOL ok = CryptEncrypt(key, 0, TRUE, 0, buf.data(), &len, DWORD(buf.size()));
  Bytes cipher(buf.begin(), buf.begin() + (ok ? len : 0));
  std::string name = std::string(prefix) + " encrypt " + num(DWORD(plain.size()));
  line(name.c_str(), ok, field("len", num(len)) + " " + field("data", hex(cipher)));

  Bytes back = cipher;
  DWORD backLen = DWORD(back.size());
  back.push_back(0);  // the proxies decrypt in a buffer one byte longer than the data
  ok = CryptDecrypt(key, 0, TRUE, 0, back.data(), &backLen);
  name = std::string(prefix) + " decrypt " + num(DWORD(plain.size()));
  line(name.c_str(), ok,
       field("len", num(backLen)) + " " + field("data", ok ? hex(back.data(), backLen) : "-"));
  return cipher;
}

// Decrypts bad input; the buffer is larger than the data and filled with a known
// pattern so that a provider reading past the data still behaves the same every run.
void badDecrypt(HCRYPTKEY key, const Bytes& data, const char* name, bool showData) {
  Bytes buf = data;
  buf.resize(data.size() + 32, 0x5A);
  DWORD len = DWORD(data.size());
  BOOL ok = CryptDecrypt(key, 0, TRUE, 0, buf.data(), &len);
  line(name, ok,
       field("len", num(len)) + " " +
           field("data", showData ? hex(buf.data(), DWORD(data.size())) : "(not compared)"));
}

void cipherCases(HCRYPTKEY key, const char* prefix) {
  keyParams(key, prefix);
  Bytes eight;
  for (DWORD n : {0u, 1u, 7u, 8u, 9u, 64u}) {
    Bytes c = roundTrip(key, pattern(n, BYTE(0x30 + n)), prefix);
    if (n == 8) eight = c;
  }
  std::string p = prefix;

  // Size question, short buffer, and a non-Final call on a partial block.
  DWORD len = 9;
  BOOL ok = CryptEncrypt(key, 0, TRUE, 0, nullptr, &len, 0);
  line((p + " encrypt size question").c_str(), ok, field("len", num(len)));
  Bytes buf = pattern(9, 1);
  len = 9;
  ok = CryptEncrypt(key, 0, TRUE, 0, buf.data(), &len, 9);
  line((p + " encrypt short buffer").c_str(), ok, field("len", num(len)));
  len = 7;
  ok = CryptEncrypt(key, 0, FALSE, 0, buf.data(), &len, 9);
  line((p + " encrypt partial block not final").c_str(), ok, field("len", num(len)));

  // Two calls chain like one.
  Bytes two = pattern(21, 0x61);
  two.resize(32);
  len = 16;
  ok = CryptEncrypt(key, 0, FALSE, 0, two.data(), &len, 32);
  DWORD len2 = 5;
  if (ok) ok = CryptEncrypt(key, 0, TRUE, 0, two.data() + 16, &len2, 16);
  line((p + " encrypt in two calls").c_str(), ok, field("data", hex(two.data(), 16 + len2)));
  len = 16;
  ok = CryptDecrypt(key, 0, FALSE, 0, two.data(), &len);
  len2 = 8;
  if (ok) ok = CryptDecrypt(key, 0, TRUE, 0, two.data() + 16, &len2);
  line((p + " decrypt in two calls").c_str(), ok, field("data", hex(two.data(), 16 + len2)));

  // Bad input for CryptDecrypt.
  // An empty Final decryption is left out: Wine 8 reads before the buffer there.
  badDecrypt(key, Bytes(eight.begin(), eight.begin() + 7), (p + " decrypt 7 bytes").c_str(), false);
  Bytes nine = eight;
  nine.push_back(0x42);
  badDecrypt(key, nine, (p + " decrypt 17 bytes").c_str(), false);
  Bytes corrupt = eight;
  corrupt[7] ^= 0x01;  // flips the last padding byte of the plaintext
  badDecrypt(key, corrupt, (p + " decrypt corrupt pad byte").c_str(), true);
  corrupt = eight;
  corrupt[3] ^= 0x80;  // flips a padding byte that is not the last one
  badDecrypt(key, corrupt, (p + " decrypt corrupt inner pad").c_str(), true);
  // The key must be usable again after a failed Final decryption.
  Bytes again = eight;
  len = DWORD(again.size());
  ok = CryptDecrypt(key, 0, TRUE, 0, again.data(), &len);
  line((p + " decrypt after failure").c_str(), ok, field("data", hex(again.data(), ok ? len : 0)));
}

void paramCases(HCRYPTPROV prov, const Bytes& pass) {
  HCRYPTKEY key = derive(prov, pass, CRYPT_NO_SALT, "param key derive");
  if (!key) return;
  BYTE iv[8] = {1, 2, 3, 4, 5, 6, 7, 8};
  line("param set iv", CryptSetKeyParam(key, KP_IV, iv, 0));
  roundTrip(key, pattern(12, 9), "param iv");
  DWORD ecb = CRYPT_MODE_ECB;
  line("param set mode ecb", CryptSetKeyParam(key, KP_MODE, reinterpret_cast<BYTE*>(&ecb), 0));
  roundTrip(key, pattern(16, 3), "param ecb");
  DWORD bits = 128;
  line("param set effective 128",
       CryptSetKeyParam(key, KP_EFFECTIVE_KEYLEN, reinterpret_cast<BYTE*>(&bits), 0));
  DWORD padding = ZERO_PADDING;
  line("param set zero padding",
       CryptSetKeyParam(key, KP_PADDING, reinterpret_cast<BYTE*>(&padding), 0));
  CryptDestroyKey(key);
}

void deriveCases(HCRYPTPROV prov, const Bytes& pass) {
  for (DWORD bits : {48u, 56u, 64u, 128u, 44u}) {
    std::string name = "derive length " + num(bits);
    HCRYPTKEY key = derive(prov, pass, (bits << 16) | CRYPT_NO_SALT, name.c_str());
    if (!key) continue;
    roundTrip(key, pattern(5, 0x11), name.c_str());
    CryptDestroyKey(key);
  }
  HCRYPTKEY key = derive(prov, pass, CRYPT_CREATE_SALT, "derive create salt");
  if (key) {
    keyParams(key, "create salt");
    roundTrip(key, pattern(5, 0x11), "create salt");
    CryptDestroyKey(key);
  }
  HCRYPTHASH hash = 0;
  CryptCreateHash(prov, CALG_MD5, 0, 0, &hash);
  CryptHashData(hash, pass.data(), DWORD(pass.size()), 0);
  line("derive rc4 alg", CryptDeriveKey(prov, CALG_MD5, hash, 0, &key));
  line("derive twice from one hash", CryptDeriveKey(prov, CALG_RC2, hash, CRYPT_NO_SALT, &key));
  if (key) roundTrip(key, pattern(3, 0x77), "derive twice");
  CryptDestroyKey(key);
  line("hash data after derive", CryptHashData(hash, pass.data(), 1, 0));
  CryptDestroyHash(hash);
}

void hashCases(HCRYPTPROV prov, const Bytes& pass) {
  hashOf(prov, CALG_MD5, {pass}, "md5 pass");
  hashOf(prov, CALG_MD5, {}, "md5 empty");
  hashOf(prov, CALG_MD5, {Bytes{'a', 'b', 'c'}}, "md5 abc");
  hashOf(prov, CALG_MD5, {Bytes{'a'}, Bytes{}, Bytes{'b', 'c'}}, "md5 abc in parts");
  hashOf(prov, CALG_SHA1, {Bytes{'a', 'b', 'c'}}, "sha1 abc");
  HCRYPTHASH hash = 0;
  CryptCreateHash(prov, CALG_MD5, 0, 0, &hash);
  DWORD size = 0, len = sizeof size;
  BOOL ok = CryptGetHashParam(hash, HP_HASHSIZE, reinterpret_cast<BYTE*>(&size), &len, 0);
  line("md5 hash size", ok, field("value", num(size)));
  BYTE small[4];
  len = sizeof small;
  ok = CryptGetHashParam(hash, HP_HASHVAL, small, &len, 0);
  line("md5 value short buffer", ok, field("len", num(len)));
  line("md5 data after value", CryptHashData(hash, small, 1, 0));
  CryptDestroyHash(hash);
  HCRYPTHASH bad = 0;
  line("create hash sha256 alg", CryptCreateHash(prov, 0x800c, 0, 0, &bad));
  line("create hash bad flags", CryptCreateHash(prov, CALG_MD5, 0, 1, &bad));
}

void containerCases() {
  HCRYPTPROV prov = 0;
  // A leftover from an interrupted run would change the first answers.
  CryptAcquireContextA(&prov, kContainer, MS_DEF_PROV_A, PROV_RSA_FULL, CRYPT_DELETEKEYSET);
  line("container open missing",
       CryptAcquireContextA(&prov, kContainer, MS_DEF_PROV_A, PROV_RSA_FULL, 0));
  line("container verify with name",
       CryptAcquireContextA(&prov, kContainer, MS_DEF_PROV_A, PROV_RSA_FULL, CRYPT_VERIFYCONTEXT));
  BOOL ok = CryptAcquireContextA(&prov, kContainer, MS_DEF_PROV_A, PROV_RSA_FULL, CRYPT_NEWKEYSET);
  line("container create", ok);
  if (ok) {
    HCRYPTKEY key = 0;
    line("container user key", CryptGetUserKey(prov, AT_KEYEXCHANGE, &key));
    line("container release", CryptReleaseContext(prov, 0));
  }
  line("container create again",
       CryptAcquireContextA(&prov, kContainer, MS_DEF_PROV_A, PROV_RSA_FULL, CRYPT_NEWKEYSET));
  ok = CryptAcquireContextA(&prov, kContainer, nullptr, PROV_RSA_FULL, 0);
  line("container open default provider", ok);
  if (ok) CryptReleaseContext(prov, 0);
  line("container delete",
       CryptAcquireContextA(&prov, kContainer, MS_DEF_PROV_A, PROV_RSA_FULL, CRYPT_DELETEKEYSET));
  line("container delete again",
       CryptAcquireContextA(&prov, kContainer, MS_DEF_PROV_A, PROV_RSA_FULL, CRYPT_DELETEKEYSET));
  line("container open deleted",
       CryptAcquireContextA(&prov, kContainer, MS_DEF_PROV_A, PROV_RSA_FULL, 0));
}

void handleCases(HCRYPTPROV prov) {
  HCRYPTHASH hash = 0;
  HCRYPTKEY key = 0;
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
  HCRYPTPROV other = 0;
  line("acquire type 0",
       CryptAcquireContextA(&other, nullptr, MS_DEF_PROV_A, 0, CRYPT_VERIFYCONTEXT));
  line("acquire type 1000",
       CryptAcquireContextA(&other, nullptr, MS_DEF_PROV_A, 1000, CRYPT_VERIFYCONTEXT));
  line("acquire delete and new", CryptAcquireContextA(&other, nullptr, MS_DEF_PROV_A, PROV_RSA_FULL,
                                                      CRYPT_DELETEKEYSET | CRYPT_NEWKEYSET));
}

void oleCases() {
  SAFEARRAY* psa = SafeArrayCreateVector(VT_UI1, 0, 5);
  line("sa create vector", psa != nullptr);
  if (!psa) return;
  LONG lo = -1, hi = -1;
  HRESULT hr = SafeArrayGetLBound(psa, 1, &lo);
  HRESULT hr2 = SafeArrayGetUBound(psa, 1, &hi);
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
  LONG index = 5;
  BYTE b = 0;
  std::printf("sa get out of range: hr=%08x\n", unsigned(SafeArrayGetElement(psa, &index, &b)));
  index = 4;
  hr = SafeArrayGetElement(psa, &index, &b);
  std::printf("sa get: hr=%08x value=%02x\n", unsigned(hr), unsigned(b));
  SAFEARRAY* copy = nullptr;
  hr = SafeArrayCopy(psa, &copy);
  std::printf("sa copy: hr=%08x data=%s features=%04x\n", unsigned(hr),
              hex(static_cast<BYTE*>(copy->pvData), 5).c_str(), unsigned(copy->fFeatures));
  VARTYPE vt = 0;
  hr = SafeArrayGetVartype(copy, &vt);
  std::printf("sa vartype: hr=%08x vt=%u\n", unsigned(hr), unsigned(vt));
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
  paramCases(prov, pass);
  handleCases(prov);
  line("release verify context", CryptReleaseContext(prov, 0));
  containerCases();
  oleCases();
  return 0;
}
