// The CryptoAPI providers in the corners of Windows' contract, with the value Windows gives
// beside each call: acquiring, container enumeration sizes, hashes and keys of a released
// context, RC2 salts on each provider and on RSA keys, CFB mode, RSA moduli with leading
// zeros. The provider probe compares the same answers with Wine's.
#include <windows.h>

#include <wincrypt.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<BYTE>;

HCRYPTPROV verifyContext(const char* provider = MS_DEF_PROV_A) {
  HCRYPTPROV prov = 0;
  EXPECT_TRUE(CryptAcquireContextA(&prov, nullptr, provider, PROV_RSA_FULL, CRYPT_VERIFYCONTEXT));
  return prov;
}

HCRYPTKEY rc2(HCRYPTPROV prov, DWORD flags) {
  HCRYPTHASH hash = 0;
  HCRYPTKEY key = 0;
  EXPECT_TRUE(CryptCreateHash(prov, CALG_MD5, 0, 0, &hash));
  EXPECT_TRUE(CryptHashData(hash, reinterpret_cast<const BYTE*>("salt and pepper"), 15, 0));
  EXPECT_TRUE(CryptDeriveKey(prov, CALG_RC2, hash, flags, &key));
  CryptDestroyHash(hash);
  return key;
}

DWORD saltLength(HCRYPTKEY key) {
  BYTE salt[32];
  DWORD len = sizeof salt;
  EXPECT_TRUE(CryptGetKeyParam(key, KP_SALT, salt, &len, 0));
  return len;
}

TEST(ProviderContract, AcquireLooksAtTheTypeFirstAndADeletionLeavesNoHandle) {
  EXPECT_FALSE(CryptAcquireContextA(nullptr, "pw", nullptr, 0, 0));
  EXPECT_EQ(GetLastError(), DWORD(NTE_BAD_PROV_TYPE));  // before the missing handle's place
  EXPECT_FALSE(CryptAcquireContextA(nullptr, "pw", nullptr, PROV_RSA_FULL, 0));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));

  HCRYPTPROV prov = 0;
  ASSERT_TRUE(CryptAcquireContextA(&prov, "", MS_DEF_PROV_A, PROV_RSA_FULL, CRYPT_NEWKEYSET));
  CryptReleaseContext(prov, 0);
  EXPECT_TRUE(CryptAcquireContextA(&prov, nullptr, MS_DEF_PROV_A, PROV_RSA_FULL, 0));  // the same
  CryptReleaseContext(prov, 0);
  prov = 0x5a5a;
  EXPECT_TRUE(
      CryptAcquireContextA(&prov, nullptr, MS_DEF_PROV_A, PROV_RSA_FULL, CRYPT_DELETEKEYSET));
  EXPECT_EQ(prov, 0u);
  prov = 0x5a5a;
  EXPECT_FALSE(
      CryptAcquireContextA(&prov, nullptr, MS_DEF_PROV_A, PROV_RSA_FULL, CRYPT_DELETEKEYSET));
  EXPECT_EQ(GetLastError(), DWORD(NTE_BAD_KEYSET));
  EXPECT_EQ(prov, 0x5a5au);  // a failed deletion leaves the handle alone
}

TEST(ProviderContract, ContainerEnumerationReportsTheRoomAnyNameNeeds) {
  HCRYPTPROV made = 0;
  ASSERT_TRUE(
      CryptAcquireContextA(&made, "pw-enumerated", MS_DEF_PROV_A, PROV_RSA_FULL, CRYPT_NEWKEYSET));
  HCRYPTPROV prov = verifyContext();
  DWORD size = 0;
  EXPECT_TRUE(CryptGetProvParam(prov, PP_ENUMCONTAINERS, nullptr, &size, CRYPT_FIRST));
  EXPECT_EQ(size, 261u);  // MAX_PATH + 1
  char name[300];
  size = 1;
  EXPECT_FALSE(CryptGetProvParam(prov, PP_ENUMCONTAINERS, reinterpret_cast<BYTE*>(name), &size,
                                 CRYPT_FIRST));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_MORE_DATA));
  DWORD needed = size;  // the first name's size, terminator included
  size = sizeof name;   // the same name again: a short buffer does not move on
  EXPECT_TRUE(CryptGetProvParam(prov, PP_ENUMCONTAINERS, reinterpret_cast<BYTE*>(name), &size, 0));
  EXPECT_EQ(std::strlen(name) + 1, needed);
  EXPECT_EQ(size, DWORD(sizeof name));  // a name that fits leaves the size as it was
  bool found = std::strcmp(name, "pw-enumerated") == 0;
  while (CryptGetProvParam(prov, PP_ENUMCONTAINERS, reinterpret_cast<BYTE*>(name), &size, 0))
    found = found || std::strcmp(name, "pw-enumerated") == 0;
  EXPECT_EQ(GetLastError(), DWORD(ERROR_NO_MORE_ITEMS));
  EXPECT_TRUE(found);
  CryptReleaseContext(prov, 0);
  CryptReleaseContext(made, 0);
  CryptAcquireContextA(&made, "pw-enumerated", MS_DEF_PROV_A, PROV_RSA_FULL, CRYPT_DELETEKEYSET);
}

TEST(ProviderContract, ReleasingAContextDestroysItsHashesAndKeys) {
  HCRYPTPROV prov = verifyContext(), other = verifyContext();
  HCRYPTHASH hash = 0;
  ASSERT_TRUE(CryptCreateHash(prov, CALG_SHA1, 0, 0, &hash));
  HCRYPTKEY key = rc2(prov, CRYPT_NO_SALT), kept = rc2(other, CRYPT_NO_SALT), pair = 0;
  ASSERT_TRUE(CryptGenKey(prov, AT_SIGNATURE, 512 << 16, &pair));
  ASSERT_TRUE(CryptReleaseContext(prov, 0));
  BYTE data[16] = {};
  DWORD len = 8;
  EXPECT_FALSE(CryptHashData(hash, data, 1, 0));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));
  EXPECT_FALSE(CryptEncrypt(key, 0, TRUE, 0, data, &len, sizeof data));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));
  EXPECT_FALSE(CryptDestroyKey(pair));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));
  EXPECT_FALSE(CryptDestroyHash(hash));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));
  len = 8;  // another context's key lives on
  EXPECT_TRUE(CryptEncrypt(kept, 0, TRUE, 0, data, &len, sizeof data));
  EXPECT_TRUE(CryptDestroyKey(kept));
  EXPECT_TRUE(CryptReleaseContext(other, 0));
}

TEST(ProviderContract, SaltsOfEachProviderAndOfRsaKeys) {
  const BYTE salt[11] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11};
  for (const char* name : {MS_DEF_PROV_A, MS_STRONG_PROV_A, MS_ENHANCED_PROV_A}) {
    SCOPED_TRACE(name);
    bool enhanced = std::strcmp(name, MS_ENHANCED_PROV_A) == 0;
    HCRYPTPROV prov = verifyContext(name);
    HCRYPTKEY key = rc2(prov, 40 << 16);
    EXPECT_EQ(saltLength(key), 11u);  // eleven zero bytes on every provider
    EXPECT_TRUE(CryptSetKeyParam(key, KP_SALT, salt, 0));
    EXPECT_EQ(saltLength(key), enhanced ? 0u : 11u);
    CryptDestroyKey(key);
    key = rc2(prov, (40 << 16) | CRYPT_CREATE_SALT);
    EXPECT_EQ(saltLength(key), enhanced ? 0u : 11u);
    CryptDestroyKey(key);
    key = rc2(prov, (56 << 16) | CRYPT_CREATE_SALT);
    EXPECT_EQ(saltLength(key), 9u);
    CryptDestroyKey(key);
    CryptReleaseContext(prov, 0);
  }
  HCRYPTPROV prov = verifyContext(MS_ENHANCED_PROV_A);
  HCRYPTKEY pair = 0;
  ASSERT_TRUE(CryptGenKey(prov, AT_KEYEXCHANGE, 512 << 16, &pair));
  BYTE buf[16];
  DWORD len = sizeof buf;
  EXPECT_FALSE(CryptGetKeyParam(pair, KP_SALT, buf, &len, 0));
  EXPECT_EQ(GetLastError(), DWORD(NTE_BAD_KEY));
  EXPECT_FALSE(CryptSetKeyParam(pair, KP_SALT, salt, 0));
  EXPECT_EQ(GetLastError(), DWORD(NTE_BAD_KEY));
  CryptDestroyKey(pair);
  CryptReleaseContext(prov, 0);
}

// The vectors were recorded from Wine's rsaenh, whose CFB mode (8 bits of feedback) is
// checked against Windows' own output by Wine's tests.
TEST(ProviderContract, Rc2InCfbModeFeedsBackOneByteAtATime) {
  HCRYPTPROV prov = verifyContext();
  HCRYPTKEY key = rc2(prov, CRYPT_NO_SALT);
  DWORD mode = CRYPT_MODE_CFB;
  ASSERT_TRUE(CryptSetKeyParam(key, KP_MODE, reinterpret_cast<BYTE*>(&mode), 0));
  BYTE data[32];
  for (int i = 0; i < 32; ++i) data[i] = BYTE(i);
  DWORD len = 16, tail = 7;
  ASSERT_TRUE(CryptEncrypt(key, 0, FALSE, 0, data, &len, sizeof data));
  ASSERT_TRUE(CryptEncrypt(key, 0, TRUE, 0, data + 16, &tail, 8));
  const BYTE want[24] = {0xe7, 0x81, 0xb4, 0x23, 0x10, 0x14, 0x04, 0xe3, 0x4a, 0xc6, 0xba, 0x17,
                         0x6b, 0x9e, 0xe5, 0xb0, 0x30, 0x91, 0x7e, 0x1e, 0x65, 0x52, 0x15, 0x31};
  EXPECT_EQ(tail, 8u);
  EXPECT_EQ(std::memcmp(data, want, sizeof want), 0);
  len = 24;
  ASSERT_TRUE(CryptDecrypt(key, 0, TRUE, 0, data, &len));
  EXPECT_EQ(len, 23u);
  for (int i = 0; i < 23; ++i) EXPECT_EQ(data[i], BYTE(i));
  mode = CRYPT_MODE_OFB;  // accepted as a setting, refused when used
  EXPECT_TRUE(CryptSetKeyParam(key, KP_MODE, reinterpret_cast<BYTE*>(&mode), 0));
  len = 8;
  EXPECT_FALSE(CryptEncrypt(key, 0, TRUE, 0, data, &len, sizeof data));
  EXPECT_EQ(GetLastError(), DWORD(NTE_BAD_ALGID));
  CryptDestroyKey(key);
  CryptReleaseContext(prov, 0);
}

TEST(ProviderContract, AnRsaModulusWithLeadingZerosKeepsItsDeclaredWidth) {
  HCRYPTPROV prov = verifyContext(MS_ENHANCED_PROV_A);
  HCRYPTKEY made = 0;
  ASSERT_TRUE(CryptGenKey(prov, AT_KEYEXCHANGE, (512 << 16) | CRYPT_EXPORTABLE, &made));
  Bytes pub(200);
  DWORD len = DWORD(pub.size());
  ASSERT_TRUE(CryptExportKey(made, 0, PUBLICKEYBLOB, 0, pub.data(), &len));
  ASSERT_EQ(len, 84u);  // 20 bytes of headers, 64 of modulus
  pub.resize(len);
  // Declared 8 bits wider: one more byte of modulus, zero, at its top.
  pub.push_back(0);
  DWORD bits = 520;
  std::memcpy(pub.data() + 12, &bits, 4);
  HCRYPTKEY wide = 0;
  ASSERT_TRUE(CryptImportKey(prov, pub.data(), DWORD(pub.size()), 0, 0, &wide));
  DWORD keyLen = 0, size = sizeof keyLen;
  EXPECT_TRUE(CryptGetKeyParam(wide, KP_KEYLEN, reinterpret_cast<BYTE*>(&keyLen), &size, 0));
  EXPECT_EQ(keyLen, 520u);
  Bytes out(200);
  len = DWORD(out.size());
  ASSERT_TRUE(CryptExportKey(wide, 0, PUBLICKEYBLOB, 0, out.data(), &len));
  out.resize(len);
  EXPECT_EQ(out, pub);  // exported as imported, the zero byte kept
  CryptDestroyKey(wide);
  CryptDestroyKey(made);
  CryptReleaseContext(prov, 0);
}

}  // namespace
