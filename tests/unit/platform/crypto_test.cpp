// The portable CryptoAPI against independent references: RFC 1321 and FIPS 180 digests,
// `openssl enc -rc2-40-cbc` for unsalted keys, and bytes that Wine's own base provider
// produced (recorded from tests/conformance/crypto_probe under Wine) for salted ones.
#include <windows.h>

#include <wincrypt.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<BYTE>;

// The probe's default pass data; its MD5 is f7a8ee323b1c2f1a23ad60ab353619ab.
const char* kPassHex = "5077e1f3a0c21b9d44e7086e3f52d1aa9c0b7e6513f8c2d4e6a7b9c1d3e5";

Bytes unhex(const std::string& text) {
  Bytes out;
  for (size_t i = 0; i + 1 < text.size(); i += 2)
    out.push_back(BYTE(std::stoul(text.substr(i, 2), nullptr, 16)));
  return out;
}

std::string hex(const BYTE* p, size_t n) {
  std::string s;
  char buf[3];
  for (size_t i = 0; i < n; ++i) {
    std::snprintf(buf, sizeof buf, "%02x", p[i]);
    s += buf;
  }
  return s;
}

std::string hex(const Bytes& b) { return hex(b.data(), b.size()); }

Bytes pattern(DWORD n, BYTE seed) {
  Bytes b(n);
  for (DWORD i = 0; i < n; ++i) b[i] = BYTE(seed + i * 7);
  return b;
}

class Crypto : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(
        CryptAcquireContextA(&prov_, nullptr, MS_DEF_PROV_A, PROV_RSA_FULL, CRYPT_VERIFYCONTEXT));
  }
  void TearDown() override { CryptReleaseContext(prov_, 0); }

  std::string digest(ALG_ID alg, const std::vector<std::string>& parts) {
    HCRYPTHASH h = 0;
    EXPECT_TRUE(CryptCreateHash(prov_, alg, 0, 0, &h));
    for (const auto& p : parts)
      EXPECT_TRUE(CryptHashData(h, reinterpret_cast<const BYTE*>(p.data()), DWORD(p.size()), 0));
    BYTE value[20];
    DWORD len = sizeof value;
    EXPECT_TRUE(CryptGetHashParam(h, HP_HASHVAL, value, &len, 0));
    CryptDestroyHash(h);
    return hex(value, len);
  }

  HCRYPTKEY derive(DWORD flags) {
    Bytes pass = unhex(kPassHex);
    HCRYPTHASH h = 0;
    HCRYPTKEY key = 0;
    EXPECT_TRUE(CryptCreateHash(prov_, CALG_MD5, 0, 0, &h));
    EXPECT_TRUE(CryptHashData(h, pass.data(), DWORD(pass.size()), 0));
    EXPECT_TRUE(CryptDeriveKey(prov_, CALG_RC2, h, flags, &key));
    CryptDestroyHash(h);
    return key;
  }

  static Bytes encrypt(HCRYPTKEY key, Bytes data) {
    DWORD len = DWORD(data.size());
    data.resize(data.size() + 8);
    EXPECT_TRUE(CryptEncrypt(key, 0, TRUE, 0, data.data(), &len, DWORD(data.size())));
    data.resize(len);
    return data;
  }

  HCRYPTPROV prov_ = 0;
};

TEST_F(Crypto, DigestsMatchPublishedVectors) {
  EXPECT_EQ(digest(CALG_MD5, {}), "d41d8cd98f00b204e9800998ecf8427e");
  EXPECT_EQ(digest(CALG_MD5, {"a"}), "0cc175b9c0f1b6a831c399e269772661");
  EXPECT_EQ(digest(CALG_MD5, {"message digest"}), "f96b697d7cb7938d525a2f31aaf161d0");
  EXPECT_EQ(digest(CALG_MD5, {"mess", "", "age digest"}), "f96b697d7cb7938d525a2f31aaf161d0");
  EXPECT_EQ(digest(CALG_SHA1, {"abc"}), "a9993e364706816aba3e25717850c26c9cd0d89d");
}

TEST_F(Crypto, HashValueProtocolAndFinishedState) {
  HCRYPTHASH h = 0;
  ASSERT_TRUE(CryptCreateHash(prov_, CALG_MD5, 0, 0, &h));
  DWORD len = 0;
  EXPECT_TRUE(CryptGetHashParam(h, HP_HASHVAL, nullptr, &len, 0));
  EXPECT_EQ(len, 16u);
  BYTE small[4];
  len = sizeof small;
  EXPECT_FALSE(CryptGetHashParam(h, HP_HASHVAL, small, &len, 0));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_MORE_DATA));
  EXPECT_EQ(len, 16u);
  // Taking the value finished the hash.
  EXPECT_FALSE(CryptHashData(h, small, 1, 0));
  EXPECT_EQ(GetLastError(), DWORD(NTE_BAD_HASH_STATE));
  EXPECT_TRUE(CryptDestroyHash(h));
  EXPECT_FALSE(CryptDestroyHash(h));  // stale handle
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));
}

// Unsalted RC2 is what `openssl enc -rc2-40-cbc` does: 40-bit key, 40 effective bits,
// CBC, zero IV, PKCS #5 padding. Checked against the openssl command itself.
TEST_F(Crypto, UnsaltedKeyMatchesOpenSslCommandLine) {
  HCRYPTKEY key = derive(CRYPT_NO_SALT);
  for (DWORD n : {0u, 1u, 7u, 8u, 9u, 64u}) {
    Bytes plain = pattern(n, BYTE(0x30 + n));
    std::string cmd =
        "printf '" +
        [&] {
          std::string s;
          char buf[8];
          for (BYTE b : plain) std::snprintf(buf, sizeof buf, "\\%03o", b), s += buf;
          return s;
        }() +
        "' | openssl enc -rc2-40-cbc -K f7a8ee323b -iv 0000000000000000 " +
        "-provider legacy -provider default 2>/dev/null | od -An -v -tx1 | tr -d ' \\n'";
    FILE* pipe = popen(cmd.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    char out[512] = {};
    size_t got = fread(out, 1, sizeof out - 1, pipe);
    if (pclose(pipe) != 0 || got == 0) GTEST_SKIP() << "openssl command line not available";
    EXPECT_EQ(hex(encrypt(key, plain)), std::string(out, got)) << "length " << n;
  }
  // Recorded with the same command for the single byte 0x31, in case openssl is absent.
  EXPECT_EQ(hex(encrypt(key, {0x31})), "f934e7bf8cf40c10");
  CryptDestroyKey(key);
}

// Without CRYPT_NO_SALT the base provider's 40-bit key carries 11 zero bytes of salt.
// Expected bytes: Wine's rsaenh, from the conformance probe.
TEST_F(Crypto, SaltedKeyMatchesWine) {
  HCRYPTKEY key = derive(0);
  BYTE salt[16];
  DWORD len = sizeof salt;
  ASSERT_TRUE(CryptGetKeyParam(key, KP_SALT, salt, &len, 0));
  EXPECT_EQ(hex(salt, len), "0000000000000000000000");
  EXPECT_EQ(hex(encrypt(key, pattern(9, 0x39))), "1380a2b9729677ba11048bfa2d5af053");
  EXPECT_EQ(hex(encrypt(key, pattern(0, 0x30))), "678c70d7f657ddfe");
  CryptDestroyKey(key);
  key = derive(CRYPT_CREATE_SALT);  // the salt is the hash bytes after the key
  len = sizeof salt;
  ASSERT_TRUE(CryptGetKeyParam(key, KP_SALT, salt, &len, 0));
  EXPECT_EQ(hex(salt, len), "1c2f1a23ad60ab353619ab");
  EXPECT_EQ(hex(encrypt(key, pattern(5, 0x11))), "05ee9126bf8d6d7b");
  CryptDestroyKey(key);
}

TEST_F(Crypto, DecryptRemovesPaddingAndRejectsBadInput) {
  HCRYPTKEY key = derive(CRYPT_NO_SALT);
  // The proxies' case: 16 bytes of ciphertext that hold 10 bytes.
  Bytes plain = pattern(10, 1);
  Bytes data = encrypt(key, plain);
  ASSERT_EQ(data.size(), 16u);
  Bytes work = data;
  work.push_back(0);
  DWORD len = 16;
  ASSERT_TRUE(CryptDecrypt(key, 0, TRUE, 0, work.data(), &len));
  EXPECT_EQ(Bytes(work.begin(), work.begin() + len), plain);

  // Not whole blocks: refused, data untouched.
  for (DWORD bad : {7u, 17u}) {
    Bytes partial = data;
    partial.resize(24, 0x5A);
    Bytes before = partial;
    len = bad;
    EXPECT_FALSE(CryptDecrypt(key, 0, TRUE, 0, partial.data(), &len));
    EXPECT_EQ(GetLastError(), DWORD(NTE_BAD_DATA));
    EXPECT_EQ(partial, before);
  }
  len = 0;
  EXPECT_FALSE(CryptDecrypt(key, 0, TRUE, 0, work.data(), &len));
  EXPECT_EQ(GetLastError(), DWORD(NTE_BAD_LEN));

  // A wrong padding byte anywhere in the padding; the key works again afterwards.
  for (size_t flip : {15u, 11u}) {
    Bytes corrupt = data;
    corrupt[flip - 8] ^= 0x01;
    len = 16;
    EXPECT_FALSE(CryptDecrypt(key, 0, TRUE, 0, corrupt.data(), &len));
    EXPECT_EQ(GetLastError(), DWORD(NTE_BAD_DATA));
    work = data;
    len = 16;
    ASSERT_TRUE(CryptDecrypt(key, 0, TRUE, 0, work.data(), &len));
    EXPECT_EQ(len, 10u);
  }
  CryptDestroyKey(key);
}

TEST_F(Crypto, EncryptBufferProtocolAndChainingAcrossCalls) {
  HCRYPTKEY key = derive(CRYPT_NO_SALT);
  DWORD len = 9;
  EXPECT_TRUE(CryptEncrypt(key, 0, TRUE, 0, nullptr, &len, 0));
  EXPECT_EQ(len, 16u);
  Bytes buf = pattern(9, 3);
  len = 9;
  EXPECT_FALSE(CryptEncrypt(key, 0, TRUE, 0, buf.data(), &len, 9));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_MORE_DATA));
  EXPECT_EQ(len, 16u);
  len = 7;
  EXPECT_FALSE(CryptEncrypt(key, 0, FALSE, 0, buf.data(), &len, 9));
  EXPECT_EQ(GetLastError(), DWORD(NTE_BAD_DATA));

  // Sixteen bytes, then five more with Final, equal one call over 21 bytes.
  Bytes whole = encrypt(key, pattern(21, 0x61));
  Bytes parts = pattern(21, 0x61);
  parts.resize(32);
  len = 16;
  ASSERT_TRUE(CryptEncrypt(key, 0, FALSE, 0, parts.data(), &len, 32));
  DWORD tail = 5;
  ASSERT_TRUE(CryptEncrypt(key, 0, TRUE, 0, parts.data() + 16, &tail, 16));
  parts.resize(16 + tail);
  EXPECT_EQ(parts, whole);
  CryptDestroyKey(key);
}

TEST_F(Crypto, KeyLengthsAndParametersOfTheBaseProvider) {
  HCRYPTKEY key = derive(CRYPT_NO_SALT);
  DWORD value = 0, len = sizeof value;
  ASSERT_TRUE(CryptGetKeyParam(key, KP_EFFECTIVE_KEYLEN, reinterpret_cast<BYTE*>(&value), &len, 0));
  EXPECT_EQ(value, 40u);
  value = 128;  // the base provider keeps 40 bits and says so
  EXPECT_FALSE(CryptSetKeyParam(key, KP_EFFECTIVE_KEYLEN, reinterpret_cast<BYTE*>(&value), 0));
  EXPECT_EQ(GetLastError(), DWORD(NTE_BAD_DATA));
  CryptDestroyKey(key);

  HCRYPTHASH h = 0;
  ASSERT_TRUE(CryptCreateHash(prov_, CALG_MD5, 0, 0, &h));
  for (DWORD bits : {44u, 64u}) {
    EXPECT_FALSE(CryptDeriveKey(prov_, CALG_RC2, h, bits << 16, &key));
    EXPECT_EQ(GetLastError(), DWORD(NTE_BAD_DATA));
  }
  ASSERT_TRUE(CryptDeriveKey(prov_, CALG_RC2, h, (56u << 16), &key));
  len = sizeof value;
  ASSERT_TRUE(CryptGetKeyParam(key, KP_KEYLEN, reinterpret_cast<BYTE*>(&value), &len, 0));
  EXPECT_EQ(value, 56u);
  CryptDestroyKey(key);
  EXPECT_FALSE(CryptDeriveKey(prov_, CALG_RC4, h, 0, &key));
  EXPECT_EQ(GetLastError(), DWORD(NTE_BAD_ALGID));
  // A hash handle is not a key handle.
  EXPECT_FALSE(CryptDestroyKey(h));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));
  EXPECT_TRUE(CryptDestroyHash(h));
}

TEST(CryptoProvider, OnlyTheBaseRsaProviderExists) {
  HCRYPTPROV prov = 0;
  EXPECT_FALSE(CryptAcquireContextA(&prov, nullptr,
                                    "Microsoft Enhanced Cryptographic Provider v1.0", PROV_RSA_FULL,
                                    CRYPT_VERIFYCONTEXT));
  EXPECT_EQ(GetLastError(), DWORD(NTE_KEYSET_NOT_DEF));
  EXPECT_FALSE(CryptAcquireContextA(&prov, nullptr, MS_DEF_PROV_A, 24, CRYPT_VERIFYCONTEXT));
  EXPECT_EQ(GetLastError(), DWORD(NTE_PROV_TYPE_NO_MATCH));
  EXPECT_FALSE(CryptAcquireContextA(&prov, nullptr, nullptr, 24, CRYPT_VERIFYCONTEXT));
  EXPECT_EQ(GetLastError(), DWORD(NTE_PROV_TYPE_NOT_DEF));
  ASSERT_TRUE(CryptAcquireContextA(&prov, nullptr, nullptr, PROV_RSA_FULL,
                                   CRYPT_VERIFYCONTEXT | CRYPT_NEWKEYSET));
  EXPECT_TRUE(CryptReleaseContext(prov, 0));
}

// Containers live in the hive of their key set: one made in the machine's set is not
// found in the user's, and a key pair stored in it is what CryptGetUserKey returns.
TEST(CryptoProvider, ContainersBelongToTheirKeySet) {
  const char* name = "unit-container";
  HCRYPTPROV prov = 0;
  EXPECT_FALSE(
      CryptAcquireContextA(&prov, name, MS_DEF_PROV_A, PROV_RSA_FULL, CRYPT_MACHINE_KEYSET));
  EXPECT_EQ(GetLastError(), DWORD(NTE_BAD_KEYSET));
  ASSERT_TRUE(CryptAcquireContextA(&prov, name, MS_DEF_PROV_A, PROV_RSA_FULL,
                                   CRYPT_NEWKEYSET | CRYPT_MACHINE_KEYSET));
  HCRYPTKEY key = 0;
  EXPECT_FALSE(CryptGetUserKey(prov, AT_KEYEXCHANGE, &key));
  EXPECT_EQ(GetLastError(), DWORD(NTE_NO_KEY));
  CryptReleaseContext(prov, 0);

  HCRYPTPROV user = 0;
  EXPECT_FALSE(CryptAcquireContextA(&user, name, MS_DEF_PROV_A, PROV_RSA_FULL, 0));
  EXPECT_EQ(GetLastError(), DWORD(NTE_BAD_KEYSET));

  HKEY container;
  ASSERT_EQ(
      RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\PwPlatform\\Crypto\\Containers\\unit-container",
                    0, KEY_WRITE, &container),
      ERROR_SUCCESS);
  const BYTE pair[] = {1, 2, 3};
  RegSetValueExA(container, "KeyExchangeKeyPair", 0, REG_BINARY, pair, sizeof pair);
  RegCloseKey(container);
  ASSERT_TRUE(CryptAcquireContextA(&prov, name, nullptr, PROV_RSA_FULL, CRYPT_MACHINE_KEYSET));
  EXPECT_FALSE(CryptGetUserKey(prov, AT_SIGNATURE, &key));
  ASSERT_TRUE(CryptGetUserKey(prov, AT_KEYEXCHANGE, &key));
  EXPECT_TRUE(CryptReleaseContext(prov, 0));
  EXPECT_TRUE(CryptDestroyKey(key));  // after its context, as the 'K' handler does

  EXPECT_TRUE(CryptAcquireContextA(&prov, name, MS_DEF_PROV_A, PROV_RSA_FULL,
                                   CRYPT_DELETEKEYSET | CRYPT_MACHINE_KEYSET));
  EXPECT_FALSE(
      CryptAcquireContextA(&prov, name, MS_DEF_PROV_A, PROV_RSA_FULL, CRYPT_MACHINE_KEYSET));
  EXPECT_EQ(GetLastError(), DWORD(NTE_BAD_KEYSET));
}

}  // namespace
