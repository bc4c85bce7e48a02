// certutil -key and -delkey: the key containers of the machine's key set (or the user's
// with -user) of the base provider, each with the key pairs it holds.
#include "certutil.h"
#include "console.h"
#include "crypt.h"
#include "text.h"

namespace pwm::certutil {

int runKey(const Options& o) {
  if (!o.args.empty()) return failed("key", ERROR_INVALID_PARAMETER, "no arguments expected");
  win32::CryptProvider prov;
  if (!CryptAcquireContextA(prov.out(), nullptr, MS_DEF_PROV_A, PROV_RSA_FULL,
                            CRYPT_VERIFYCONTEXT | keySet(o)))
    return failed("key", GetLastError(), MS_DEF_PROV_A);
  std::string text = std::string(MS_DEF_PROV_A) + ":\n";
  char name[1024];
  for (DWORD flags = CRYPT_FIRST;; flags = CRYPT_NEXT) {
    DWORD size = sizeof name;
    if (!CryptGetProvParam(prov.get(), PP_ENUMCONTAINERS, reinterpret_cast<BYTE*>(name), &size,
                           flags)) {
      if (GetLastError() != ERROR_NO_MORE_ITEMS) return failed("key", GetLastError());
      break;
    }
    text += std::string("  ") + name + "\n";
    win32::CryptProvider container;
    if (!CryptAcquireContextA(container.out(), name, MS_DEF_PROV_A, PROV_RSA_FULL, keySet(o)))
      continue;
    for (auto [spec, label] : {std::pair{DWORD(AT_KEYEXCHANGE), "AT_KEYEXCHANGE"},
                               {DWORD(AT_SIGNATURE), "AT_SIGNATURE"}}) {
      win32::CryptKey key;
      if (CryptGetUserKey(container.get(), spec, key.out()))
        text += std::string("  ") + label + "\n";
    }
  }
  out(text);
  return succeeded("key");
}

int runDelKey(const Options& o) {
  if (o.args.size() != 1) return failed("delkey", ERROR_INVALID_PARAMETER, "CONTAINER expected");
  HCRYPTPROV gone = 0;
  if (!CryptAcquireContextA(&gone, o.args[0].c_str(), MS_DEF_PROV_A, PROV_RSA_FULL,
                            keySet(o) | CRYPT_DELETEKEYSET))
    return failed("delkey", GetLastError(), o.args[0]);
  return succeeded("delkey");
}

}  // namespace pwm::certutil
