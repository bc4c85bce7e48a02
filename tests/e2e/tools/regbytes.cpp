// Prints a registry value as RegQueryValueExA returns it: "TYPE SIZE HEX", so the
// end-to-end tests can check exact bytes on either target.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: regbytes ROOT\\KEY VALUE-NAME  (ROOT: HKLM or HKCU)\n");
    return 2;
  }
  std::string path = argv[1];
  size_t cut = path.find('\\');
  std::string rootName = path.substr(0, cut);
  HKEY root = rootName == "HKLM"   ? HKEY_LOCAL_MACHINE
              : rootName == "HKCU" ? HKEY_CURRENT_USER
                                   : nullptr;
  if (!root || cut == std::string::npos) {
    std::fprintf(stderr, "regbytes: unknown root %s\n", rootName.c_str());
    return 2;
  }
  HKEY key;
  LONG st = RegOpenKeyExA(root, path.c_str() + cut + 1, 0, KEY_READ, &key);
  if (st != ERROR_SUCCESS) {
    std::printf("error %ld\n", long(st));
    return 1;
  }
  DWORD type = 0, size = 0;
  st = RegQueryValueExA(key, argv[2], nullptr, &type, nullptr, &size);
  std::vector<BYTE> data(size + 1);
  if (st == ERROR_SUCCESS) st = RegQueryValueExA(key, argv[2], nullptr, &type, data.data(), &size);
  RegCloseKey(key);
  if (st != ERROR_SUCCESS) {
    std::printf("error %ld\n", long(st));
    return 1;
  }
  std::printf("%lu %lu ", static_cast<unsigned long>(type), static_cast<unsigned long>(size));
  for (DWORD i = 0; i < size; ++i) std::printf("%02x", data[i]);
  std::printf("\n");
  return 0;
}
