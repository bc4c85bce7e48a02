// What a successful call does with the last error, function by function, as the table in
// platform/last-error.md states it: most leave it, a few set it on success because their
// callers tell an answer from a failure by it.
#include <windows.h>

#include <wincrypt.h>

#include <gtest/gtest.h>

#include <string>

namespace {

constexpr DWORD kBefore = 0xdeadbeef;

// Runs `call` with the last error set to kBefore and answers the last error after it.
template <class Call>
DWORD lastErrorAfter(Call call) {
  SetLastError(kBefore);
  call();
  return GetLastError();
}

TEST(LastError, FileCallsLeaveItExceptWhereTheirAnswerNeedsIt) {
  const char* path = "c:\\last_error.bin";
  HANDLE file = INVALID_HANDLE_VALUE;
  auto open = [&](DWORD disposition) {
    file = CreateFileA(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, disposition,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
  };
  EXPECT_EQ(lastErrorAfter([&] { open(CREATE_NEW); }), 0u);  // every open sets it
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  DWORD written = 0;
  EXPECT_EQ(
      lastErrorAfter([&] { EXPECT_TRUE(WriteFile(file, "0123456789", 10, &written, nullptr)); }),
      kBefore);
  EXPECT_EQ(lastErrorAfter([&] { EXPECT_EQ(SetFilePointer(file, 4, nullptr, FILE_BEGIN), 4u); }),
            kBefore);
  DWORD high = 0;
  EXPECT_EQ(lastErrorAfter([&] { EXPECT_EQ(GetFileSize(file, &high), 10u); }), kBefore);
  EXPECT_EQ(lastErrorAfter([&] { EXPECT_EQ(GetFileType(file), DWORD(FILE_TYPE_DISK)); }), kBefore);
  // A position whose low part is 0xffffffff reads as the failure value: the cleared last
  // error says it is none.
  LONG upper = 0;
  EXPECT_EQ(lastErrorAfter([&] {
              EXPECT_EQ(SetFilePointer(file, LONG(0xffffffff), &upper, FILE_BEGIN),
                        DWORD(INVALID_SET_FILE_POINTER));
            }),
            0u);
  EXPECT_EQ(lastErrorAfter([&] { EXPECT_TRUE(CloseHandle(file)); }), kBefore);
  EXPECT_EQ(lastErrorAfter([&] { open(OPEN_ALWAYS); }), DWORD(ERROR_ALREADY_EXISTS));
  CloseHandle(file);
  EXPECT_EQ(lastErrorAfter([&] { open(OPEN_EXISTING); }), 0u);
  CloseHandle(file);
  EXPECT_EQ(lastErrorAfter([&] { GetFileAttributesA(path); }), kBefore);
  EXPECT_EQ(lastErrorAfter([&] { EXPECT_TRUE(DeleteFileA(path)); }), kBefore);
  EXPECT_EQ(lastErrorAfter([&] { EXPECT_TRUE(CreateDirectoryA("c:\\last_error", nullptr)); }),
            kBefore);
  EXPECT_EQ(lastErrorAfter([&] { EXPECT_TRUE(RemoveDirectoryA("c:\\last_error")); }), kBefore);
  WCHAR wide[8];
  EXPECT_EQ(
      lastErrorAfter([&] { EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, "abc", 3, wide, 8), 3); }),
      kBefore);
}

TEST(LastError, RegistryCallsNeverTouchIt) {
  HKEY key = nullptr;
  EXPECT_EQ(lastErrorAfter([&] {
              EXPECT_EQ(
                  RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\PwNoSuchKey", 0, KEY_READ, &key),
                  ERROR_FILE_NOT_FOUND);
            }),
            kBefore);
  EXPECT_EQ(lastErrorAfter([&] {
              EXPECT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\PwLastError", 0, nullptr, 0,
                                        KEY_ALL_ACCESS, nullptr, &key, nullptr),
                        0);
            }),
            kBefore);
  DWORD size = 0;
  EXPECT_EQ(lastErrorAfter([&] {
              EXPECT_EQ(RegQueryValueExA(key, "none", nullptr, nullptr, nullptr, &size),
                        ERROR_FILE_NOT_FOUND);
            }),
            kBefore);
  EXPECT_EQ(lastErrorAfter([&] { RegDeleteKeyA(key, ""); }), kBefore);
  EXPECT_EQ(lastErrorAfter([&] { RegCloseKey(key); }), kBefore);
}

TEST(LastError, CryptoApiClearsItOnlyWhenAcquiring) {
  HCRYPTPROV prov = 0;
  HCRYPTHASH hash = 0;
  EXPECT_EQ(lastErrorAfter([&] {
              EXPECT_TRUE(CryptAcquireContextA(&prov, nullptr, MS_DEF_PROV_A, PROV_RSA_FULL,
                                               CRYPT_VERIFYCONTEXT));
            }),
            0u);
  EXPECT_EQ(lastErrorAfter([&] { EXPECT_TRUE(CryptCreateHash(prov, CALG_MD5, 0, 0, &hash)); }),
            kBefore);
  EXPECT_EQ(lastErrorAfter([&] { EXPECT_TRUE(CryptHashData(hash, (const BYTE*)"x", 1, 0)); }),
            kBefore);
  EXPECT_EQ(lastErrorAfter([&] { EXPECT_TRUE(CryptDestroyHash(hash)); }), kBefore);
  EXPECT_EQ(lastErrorAfter([&] { EXPECT_TRUE(CryptReleaseContext(prov, 0)); }), kBefore);
}

}  // namespace
