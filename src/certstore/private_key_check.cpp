// 'K': the gateway certificate, found by its subject in the machine's personal store,
// has a usable private key: its key-provider information names a container of the
// machine's key set that holds an exchange key pair. The key handle obtained is left
// to WinMain, which destroys it after the command.
#include "certstore/pw_checker.h"

#include "trace/trace.h"
#include "win32/abi.h"
#include "win32/result_codes.h"

#include <cstddef>
#include <cstdio>
#include <memory>

// The key-provider information is read in place from the property's buffer, whose
// strings follow the structure; the key handle 'K' leaves is pointer-sized.
static_assert(sizeof(CRYPT_KEY_PROV_INFO) == win32::abiSize(28, 48));
static_assert(offsetof(CRYPT_KEY_PROV_INFO, dwProvType) == win32::abiSize(8, 16));
static_assert(offsetof(CRYPT_KEY_PROV_INFO, dwKeySpec) == win32::abiSize(24, 40));
static_assert(sizeof(HCRYPTKEY) == sizeof(void*) && sizeof(HCRYPTPROV) == sizeof(void*));
#include <new>

namespace {

// A name of the key-provider information as 8-bit text, in a buffer of its converted
// length plus one; null when that buffer cannot be had. Characters outside the ANSI
// code page become '?'.
std::unique_ptr<char[]> narrowName(const WCHAR* name) {
  int size = WideCharToMultiByte(CP_ACP, 0, name, -1, nullptr, 0, nullptr, nullptr);
  if (size < 1) size = 1;
  std::unique_ptr<char[]> out(new (std::nothrow) char[size_t(size) + 1]);
  if (!out) return nullptr;
  out[0] = '\0';
  WideCharToMultiByte(CP_ACP, 0, name, -1, out.get(), size, nullptr, nullptr);
  out[size_t(size)] = '\0';
  return out;
}

// A provider line in its 256-byte buffer; a name too long for it is cut.
void traceProviderLine(const char* format, const char* name) {
  char line[256];
  std::snprintf(line, sizeof line, format, name);
  writeTrace(line, TRACE_PLAIN);
}

bool keyFail() { return traceFail("PWExe PW_checker::getPrivateKey - END FALSE"); }

}  // namespace

bool PW_checker::checkPrivateKey(LONG* error, char* subject, HCRYPTKEY* key) {
  writeTrace("PWExe PW_checker::checkPrivateKey - start", TRACE_START);
  for (char* p = subject; *p; ++p)
    if (*p == ':') *p = ',';
  try {
    static const WCHAR kMy[] = {'M', 'Y', 0};
    HCERTSTORE store = nullptr;
    PCCERT_CONTEXT cert = nullptr;
    // A store opened before a failure here is left for the process's end to release.
    if (!OpenStore(error, true, kMy, &store) || !GetCertificate(error, subject, store, &cert) ||
        !cert) {
      *error = rc::kCheckKeyNoCert;
      return traceFail("PWExe PW_checker::checkPrivateKey - return FALSE");
    }
    bool usable = getPrivateKey(error, &cert, key);
    CloseStore(store);
    if (usable) {
      writeTrace("PWExe PW_checker::checkPrivateKey - return TRUE", TRACE_END);
      return true;
    }
    writeTrace("PWExe PW_checker::checkPrivateKey - end", TRACE_END);
    *error = rc::kNoPrivateKey;
    return false;
  } catch (...) {
    writeTrace("PWExe PW_checker::checkPrivateKey - catch", TRACE_END);
    *error = rc::kCheckKeyFault;
    return false;
  }
}

bool PW_checker::getPrivateKey(LONG* error, PCCERT_CONTEXT* cert, HCRYPTKEY* key) {
  writeTrace("PWExe PW_checker::getPrivateKey - START", TRACE_START);
  HCRYPTPROV provider = 0;
  try {
    DWORD size = 0;
    if (!CertGetCertificateContextProperty(*cert, CERT_KEY_PROV_INFO_PROP_ID, nullptr, &size)) {
      traceCryptoError(GetLastError(), "CertGetCertificateContextProperty(PWEXE)");
      writeTrace("getcontextproperty failed", TRACE_PLAIN);
      *error = rc::kNoKeyProvInfo;
      return keyFail();
    }
    // The property holds pointers into itself, so its buffer keeps the structure's alignment.
    std::unique_ptr<ULONG_PTR[]> buffer(new (std::nothrow) ULONG_PTR[size / sizeof(ULONG_PTR) + 1]);
    if (!buffer) {
      *error = rc::kNoKeyProvMemory;
      return keyFail();
    }
    if (!CertGetCertificateContextProperty(*cert, CERT_KEY_PROV_INFO_PROP_ID, buffer.get(),
                                           &size)) {
      traceCryptoError(GetLastError(), "CertGetCertificateContextProperty2 (PWEXE)");
      writeTrace("PWExe PW_checker::getPrivateKey - 2nd getcontextproperty failed", TRACE_PLAIN);
      *error = rc::kNoKeyProvInfo;
      return keyFail();
    }
    const auto* info = reinterpret_cast<const CRYPT_KEY_PROV_INFO*>(buffer.get());
    std::unique_ptr<char[]> container = narrowName(info->pwszContainerName);
    if (!container) {
      *error = rc::kNoKeyProvMemory;
      return keyFail();
    }
    std::unique_ptr<char[]> providerName;
    if (info->pwszProvName && !(providerName = narrowName(info->pwszProvName))) {
      *error = rc::kNoKeyProvMemory;
      return keyFail();
    }
    DWORD providerType = info->dwProvType;

    writeTrace("PWExe PW_checker::getPrivateKey - Provider Info Start", TRACE_PLAIN);
    traceProviderLine("Provider Name : %s", providerName ? providerName.get() : "(null)");
    traceProviderLine("Provider Container Name : %s", container.get());
    writeTrace("PWExe PW_checker::getPrivateKey - Provider Info End", TRACE_PLAIN);

    if (!CryptAcquireContextA(&provider, container.get(), providerName.get(), providerType,
                              CRYPT_MACHINE_KEYSET)) {
      traceCryptoError(GetLastError(), "CryptAcquireContext (PWEXE)");
      writeTrace("cryptacquirecontext failed", TRACE_PLAIN);
      *error = rc::kNoKeyContainer;
      return keyFail();
    }
    buffer.reset();
    container.reset();
    providerName.reset();

    if (CryptGetUserKey(provider, AT_KEYEXCHANGE, key)) {
      CryptReleaseContext(provider, 0);
      writeTrace("PWExe PW_checker::getPrivateKey - Private key found", TRACE_PLAIN);
      writeTrace("PWExe PW_checker::getPrivateKey - END TRUE", TRACE_END);
      return true;
    }
    traceCryptoError(GetLastError(), "CryptGetUserKey (PWEXE)");
    writeTrace("PWExe PW_checker::getPrivateKey - getuserkey failed", TRACE_PLAIN);
    *error = rc::kNoExchangeKey;
    CryptReleaseContext(provider, 0);
    return keyFail();
  } catch (...) {
    *error = rc::kReadKeyFault;
    writeTrace("PWExe PW_checker::getPrivateKey - CATCH", TRACE_END);
    if (provider) CryptReleaseContext(provider, 0);
    return false;
  }
}
