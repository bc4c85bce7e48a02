// Conformance probe of the last error: what each function leaves in it when it succeeds
// (and, for the registry, when it fails). Each case sets the last error to 0xdeadbeef,
// makes one call and prints the call's answer and the last error after it. Built for both
// targets; the outputs under Wine and the portable platform must be identical.
#include <windows.h>

#include <wincrypt.h>

#include <cstdio>
#include <string>

namespace {

constexpr DWORD kBefore = 0xdeadbeef;

template <class Call>
void probe(const char* label, Call call) {
  SetLastError(kBefore);
  long long answer = (long long)call();
  DWORD after = GetLastError();
  std::printf("%-44s answer=%lld last=%s\n", label, answer,
              after == kBefore ? "left" : std::to_string(after).c_str());
}

void files() {
  const char* path = "c:\\last_error_probe.bin";
  DeleteFileA(path);
  HANDLE f = INVALID_HANDLE_VALUE;
  auto open = [&](DWORD disposition) {
    f = CreateFileA(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, disposition,
                    FILE_ATTRIBUTE_NORMAL, nullptr);
    return f != INVALID_HANDLE_VALUE;
  };
  probe("CreateFileA, new", [&] { return open(CREATE_NEW); });
  DWORD written = 0;
  probe("WriteFile", [&] { return WriteFile(f, "0123456789", 10, &written, nullptr); });
  probe("SetFilePointer to 4", [&] { return SetFilePointer(f, 4, nullptr, FILE_BEGIN); });
  LONG high = 0;
  probe("SetFilePointer to 0xffffffff", [&] { return SetFilePointer(f, -1, &high, FILE_BEGIN); });
  probe("GetFileSize", [&] { return GetFileSize(f, nullptr); });
  probe("GetFileType", [&] { return GetFileType(f); });
  char buf[4];
  DWORD got = 0;
  SetFilePointer(f, 0, nullptr, FILE_BEGIN);
  probe("ReadFile", [&] { return ReadFile(f, buf, 4, &got, nullptr); });
  probe("CloseHandle", [&] { return CloseHandle(f); });
  probe("CreateFileA, open always, existing", [&] { return open(OPEN_ALWAYS); });
  CloseHandle(f);
  probe("CreateFileA, create always, existing", [&] { return open(CREATE_ALWAYS); });
  CloseHandle(f);
  probe("CreateFileA, open existing", [&] { return open(OPEN_EXISTING); });
  CloseHandle(f);
  probe("GetFileAttributesA", [&] { return GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES; });
  probe("DeleteFileA", [&] { return DeleteFileA(path); });
  probe("CreateFileA, open always, new", [&] { return open(OPEN_ALWAYS); });
  CloseHandle(f);
  DeleteFileA(path);
  probe("CreateDirectoryA", [&] { return CreateDirectoryA("c:\\last_error_probe.dir", nullptr); });
  probe("RemoveDirectoryA", [&] { return RemoveDirectoryA("c:\\last_error_probe.dir"); });
  WCHAR wide[8];
  probe("MultiByteToWideChar", [&] { return MultiByteToWideChar(CP_ACP, 0, "abc", 3, wide, 8); });
}

void registry() {
  HKEY key = nullptr;
  probe("RegOpenKeyExA, missing", [&] {
    return RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\PwNoSuchKey", 0, KEY_READ, &key);
  });
  probe("RegCreateKeyExA", [&] {
    return RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\PwLastErrorProbe", 0, nullptr, 0,
                           KEY_ALL_ACCESS, nullptr, &key, nullptr);
  });
  DWORD size = 0;
  probe("RegQueryValueExA, missing",
        [&] { return RegQueryValueExA(key, "none", nullptr, nullptr, nullptr, &size); });
  probe("RegSetValueExA", [&] { return RegSetValueExA(key, "v", 0, REG_SZ, (const BYTE*)"x", 2); });
  size = 1;
  BYTE data[1];
  probe("RegQueryValueExA, short buffer",
        [&] { return RegQueryValueExA(key, "v", nullptr, nullptr, data, &size); });
  probe("RegDeleteKeyA, itself", [&] { return RegDeleteKeyA(key, ""); });
  probe("RegCloseKey", [&] { return RegCloseKey(key); });
  probe("RegCloseKey, again", [&] { return RegCloseKey(key); });
}

void cryptoApi() {
  HCRYPTPROV prov = 0;
  HCRYPTHASH hash = 0;
  HCRYPTKEY key = 0;
  probe("CryptAcquireContextA", [&] {
    return CryptAcquireContextA(&prov, nullptr, MS_DEF_PROV_A, PROV_RSA_FULL, CRYPT_VERIFYCONTEXT);
  });
  probe("CryptCreateHash", [&] { return CryptCreateHash(prov, CALG_MD5, 0, 0, &hash); });
  probe("CryptHashData", [&] { return CryptHashData(hash, (const BYTE*)"x", 1, 0); });
  probe("CryptDeriveKey", [&] { return CryptDeriveKey(prov, CALG_RC2, hash, 0, &key); });
  BYTE data[16] = {};
  DWORD len = 8;
  probe("CryptEncrypt", [&] { return CryptEncrypt(key, 0, TRUE, 0, data, &len, sizeof data); });
  probe("CryptDecrypt", [&] { return CryptDecrypt(key, 0, TRUE, 0, data, &len); });
  probe("CryptDestroyKey", [&] { return CryptDestroyKey(key); });
  probe("CryptDestroyHash", [&] { return CryptDestroyHash(hash); });
  probe("CryptGenRandom", [&] { return CryptGenRandom(prov, 4, data); });
  probe("CryptReleaseContext", [&] { return CryptReleaseContext(prov, 0); });
}

}  // namespace

int main() {
  files();
  registry();
  cryptoApi();
  return 0;
}
