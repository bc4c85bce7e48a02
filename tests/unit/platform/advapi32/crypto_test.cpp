// The portable CryptoAPI against what the conformance probe cannot compare with Wine:
// published MD5 and SHA-1 vectors, `openssl enc -rc2-40-cbc` for unsalted keys, and the
// errors of calls the probe does not make (other providers, the machine's key set).
#include <windows.h>

#include <wincrypt.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <iterator>
#include <string>
#include <tuple>
#include <vector>

namespace {

using Bytes = std::vector<BYTE>;

std::string hex(const Bytes& b) {
  std::string s;
  char buf[3];
  for (BYTE c : b) std::snprintf(buf, sizeof buf, "%02x", c), s += buf;
  return s;
}

class Crypto : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(
        CryptAcquireContextA(&prov_, nullptr, MS_DEF_PROV_A, PROV_RSA_FULL, CRYPT_VERIFYCONTEXT));
  }
  void TearDown() override { CryptReleaseContext(prov_, 0); }

  HCRYPTHASH hash(ALG_ID alg, const std::vector<std::string>& parts) {
    HCRYPTHASH h = 0;
    EXPECT_TRUE(CryptCreateHash(prov_, alg, 0, 0, &h));
    for (const auto& p : parts)
      EXPECT_TRUE(CryptHashData(h, reinterpret_cast<const BYTE*>(p.data()), DWORD(p.size()), 0));
    return h;
  }

  HCRYPTPROV prov_ = 0;
};

TEST_F(Crypto, DigestsMatchPublishedVectors) {
  const std::tuple<ALG_ID, std::vector<std::string>, const char*> cases[] = {
      {CALG_MD5, {}, "d41d8cd98f00b204e9800998ecf8427e"},
      {CALG_MD5, {"a"}, "0cc175b9c0f1b6a831c399e269772661"},
      {CALG_MD5, {"message digest"}, "f96b697d7cb7938d525a2f31aaf161d0"},
      {CALG_MD5, {"mess", "", "age digest"}, "f96b697d7cb7938d525a2f31aaf161d0"},
      {CALG_SHA1, {"abc"}, "a9993e364706816aba3e25717850c26c9cd0d89d"}};
  for (const auto& [alg, parts, digest] : cases) {
    HCRYPTHASH h = hash(alg, parts);
    Bytes value(20);
    DWORD len = DWORD(value.size());
    EXPECT_TRUE(CryptGetHashParam(h, HP_HASHVAL, value.data(), &len, 0));
    value.resize(len);
    EXPECT_EQ(hex(value), digest);
    CryptDestroyHash(h);
  }
}

// Unsalted RC2 is what `openssl enc -rc2-40-cbc` does: the first five bytes of the MD5 as
// the key, 40 effective bits, CBC, zero IV, PKCS #5 padding. Checked against the command.
TEST_F(Crypto, UnsaltedKeyMatchesOpenSslCommandLine) {
  // MD5 of this pass data: f7a8ee323b1c2f1a23ad60ab353619ab.
  HCRYPTHASH h = hash(CALG_MD5, {"\x50\x77\xe1\xf3\xa0\xc2\x1b\x9d\x44\xe7\x08\x6e\x3f\x52\xd1"
                                 "\xaa\x9c\x0b\x7e\x65\x13\xf8\xc2\xd4\xe6\xa7\xb9\xc1\xd3\xe5"});
  HCRYPTKEY key = 0;
  ASSERT_TRUE(CryptDeriveKey(prov_, CALG_RC2, h, CRYPT_NO_SALT, &key));
  CryptDestroyHash(h);
  auto encrypt = [&](Bytes data) {
    DWORD len = DWORD(data.size());
    data.resize(data.size() + 8);
    EXPECT_TRUE(CryptEncrypt(key, 0, TRUE, 0, data.data(), &len, DWORD(data.size())));
    data.resize(len);
    return hex(data);
  };
  // Recorded with the command for the single byte 0x31, in case openssl is absent.
  EXPECT_EQ(encrypt({0x31}), "f934e7bf8cf40c10");
  for (DWORD n : {0u, 1u, 7u, 8u, 9u, 64u}) {
    Bytes plain(n);
    std::string octal;
    char buf[8];
    for (DWORD i = 0; i < n; ++i) {
      plain[i] = BYTE(0x30 + n + i * 7);
      std::snprintf(buf, sizeof buf, "\\%03o", plain[i]), octal += buf;
    }
    std::string cmd =
        "printf '" + octal +
        "' | openssl enc -rc2-40-cbc -K f7a8ee323b -iv 0000000000000000 "
        "-provider legacy -provider default 2>/dev/null | od -An -v -tx1 | tr -d ' \\n'";
    FILE* pipe = popen(cmd.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    char out[512] = {};
    size_t got = fread(out, 1, sizeof out - 1, pipe);
    if (pclose(pipe) != 0 || got == 0) GTEST_SKIP() << "openssl command line not available";
    EXPECT_EQ(encrypt(plain), std::string(out, got)) << "length " << n;
  }
  CryptDestroyKey(key);
}

// Errors of calls the conformance probe leaves out, step by step; a code of 0 means the
// step must succeed. A container made in the machine's key set is not in the user's.
TEST_F(Crypto, ErrorCodes) {
  HCRYPTPROV other = 0;
  HCRYPTKEY key = 0;
  HCRYPTHASH h = hash(CALG_MD5, {"x"}), done = hash(CALG_MD5, {});
  BYTE buf[8] = {};
  DWORD len = 0, machine = CRYPT_MACHINE_KEYSET;
  auto acquire = [&](const char* box, const char* provider, DWORD flags,
                     DWORD type = PROV_RSA_FULL) {
    return CryptAcquireContextA(&other, box, provider, type, flags);
  };
  const char* box = "unit-container";
  const char* unknown = "Microsoft Unknown Cryptographic Provider";
  const std::pair<std::function<BOOL()>, DWORD> steps[] = {
      {[&] { return CryptDestroyHash(done) && CryptDestroyHash(done); }, ERROR_INVALID_PARAMETER},
      {[&] { return CryptDestroyKey(h); }, ERROR_INVALID_PARAMETER},  // a hash is no key
      {[&] { return CryptDeriveKey(prov_, CALG_RC4, h, 0, &key); }, NTE_BAD_ALGID},
      {[&] { return CryptDeriveKey(prov_, CALG_RC2, h, CRYPT_NO_SALT, &key); }, 0},
      {[&] { return CryptDecrypt(key, 0, TRUE, 0, buf, &len); }, NTE_BAD_LEN},  // no data
      {[&] { return CryptDestroyKey(key); }, 0},
      {[&] { return acquire(nullptr, unknown, CRYPT_VERIFYCONTEXT); }, NTE_KEYSET_NOT_DEF},
      {[&] { return acquire(nullptr, MS_DEF_PROV_A, CRYPT_VERIFYCONTEXT, 24); },
       NTE_PROV_TYPE_NO_MATCH},
      {[&] { return acquire(nullptr, nullptr, CRYPT_VERIFYCONTEXT, 500); }, NTE_PROV_TYPE_NOT_DEF},
      {[&] { return acquire(nullptr, nullptr, CRYPT_VERIFYCONTEXT | CRYPT_NEWKEYSET); }, 0},
      {[&] { return CryptReleaseContext(other, 0); }, 0},
      {[&] { return acquire(box, MS_DEF_PROV_A, machine); }, NTE_BAD_KEYSET},
      {[&] { return acquire(box, MS_DEF_PROV_A, machine | CRYPT_NEWKEYSET); }, 0},
      {[&] { return CryptGetUserKey(other, AT_KEYEXCHANGE, &key); }, NTE_NO_KEY},
      {[&] { return CryptReleaseContext(other, 0); }, 0},
      {[&] { return acquire(box, MS_DEF_PROV_A, 0); }, NTE_BAD_KEYSET},
      {[&] { return acquire(box, MS_DEF_PROV_A, machine | CRYPT_DELETEKEYSET); }, 0},
      {[&] { return acquire(box, MS_DEF_PROV_A, machine); }, NTE_BAD_KEYSET},
  };
  for (size_t i = 0; i < std::size(steps); ++i) {
    SetLastError(0);
    EXPECT_EQ(steps[i].first(), steps[i].second == 0) << "step " << i;
    if (steps[i].second) {
      EXPECT_EQ(GetLastError(), steps[i].second) << "step " << i;
    }
  }
  CryptDestroyHash(h);
}

// Windows' default full RSA provider is the strong one (Wine 8 takes the enhanced one,
// so the conformance probe leaves this name out).
TEST(Providers, TheFullRsaTypesDefaultIsTheStrongProvider) {
  HCRYPTPROV prov = 0;
  ASSERT_TRUE(CryptAcquireContextA(&prov, nullptr, nullptr, PROV_RSA_FULL, CRYPT_VERIFYCONTEXT));
  char name[64] = "";
  DWORD size = sizeof name;
  ASSERT_TRUE(CryptGetProvParam(prov, PP_NAME, reinterpret_cast<BYTE*>(name), &size, 0));
  EXPECT_STREQ(name, MS_STRONG_PROV_A);
  EXPECT_EQ(size, sizeof MS_STRONG_PROV_A);
  CryptReleaseContext(prov, 0);
}

}  // namespace
