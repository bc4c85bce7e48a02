// The library's one handle table: every call takes only live handles of its own kind,
// so that a closed handle, or one of another kind, is refused and never followed.
#include <windows.h>

#include <wincrypt.h>

#include <gtest/gtest.h>

namespace {

TEST(Handles, ClosedAndOtherKindsOfHandlesAreRefused) {
  HANDLE file =
      CreateFileA("c:\\handles.txt", GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\PwHandles", 0, nullptr, 0, KEY_ALL_ACCESS,
                            nullptr, &key, nullptr),
            0);
  HCRYPTPROV provider = 0;
  ASSERT_TRUE(
      CryptAcquireContextA(&provider, nullptr, MS_DEF_PROV_A, PROV_RSA_FULL, CRYPT_VERIFYCONTEXT));
  HCRYPTHASH hash = 0;
  ASSERT_TRUE(CryptCreateHash(provider, CALG_MD5, 0, 0, &hash));

  // Each kind through the calls of the others.
  EXPECT_FALSE(CloseHandle(reinterpret_cast<HANDLE>(key)));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_HANDLE));
  EXPECT_FALSE(CloseHandle(reinterpret_cast<HANDLE>(hash)));
  EXPECT_EQ(RegCloseKey(reinterpret_cast<HKEY>(file)), ERROR_INVALID_HANDLE);
  EXPECT_EQ(RegSetValueExA(reinterpret_cast<HKEY>(provider), "v", 0, REG_NONE, nullptr, 0),
            ERROR_INVALID_HANDLE);
  EXPECT_FALSE(CryptDestroyKey(hash));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));
  EXPECT_FALSE(CryptHashData(provider, reinterpret_cast<const BYTE*>("x"), 1, 0));
  DWORD written = 0;
  EXPECT_FALSE(WriteFile(reinterpret_cast<HANDLE>(key), "x", 1, &written, nullptr));

  // Each kind once closed.
  EXPECT_TRUE(CloseHandle(file));
  EXPECT_FALSE(CloseHandle(file));
  EXPECT_FALSE(WriteFile(file, "x", 1, &written, nullptr));
  EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
  EXPECT_EQ(RegCloseKey(key), ERROR_INVALID_HANDLE);
  EXPECT_EQ(RegSetValueExA(key, "v", 0, REG_NONE, nullptr, 0), ERROR_INVALID_HANDLE);
  EXPECT_TRUE(CryptDestroyHash(hash));
  EXPECT_FALSE(CryptDestroyHash(hash));
  EXPECT_TRUE(CryptReleaseContext(provider, 0));
  EXPECT_FALSE(CryptCreateHash(provider, CALG_MD5, 0, 0, &hash));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));
}

}  // namespace
