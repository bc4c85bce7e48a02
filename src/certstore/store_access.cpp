// PW_checker's store operations: opening the personal stores, finding a certificate by
// its rendered subject, rendering a name, deleting and closing.
#include "certstore/pw_checker.h"

#include "trace/trace.h"
#include "win32/oleaut.h"
#include "win32/result_codes.h"

#include <string>

namespace {

constexpr DWORD kNameEncoding = X509_ASN_ENCODING | PKCS_7_ASN_ENCODING;
constexpr DWORD kNameBufferChars = 4000;

std::string narrow(const WCHAR* text) {
  int size = WideCharToMultiByte(CP_ACP, 0, text, -1, nullptr, 0, nullptr, nullptr);
  std::string out(size > 0 ? size_t(size) : 1, '\0');
  if (size > 0) WideCharToMultiByte(CP_ACP, 0, text, -1, out.data(), size, nullptr, nullptr);
  out.resize(std::char_traits<char>::length(out.c_str()));
  return out;
}

// The C library's comparison in its default locale: ASCII letters without regard to case.
bool equalIgnoringAsciiCase(const char* a, const char* b) {
  auto lower = [](unsigned char c) { return c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c; };
  for (; *a && *b; ++a, ++b)
    if (lower(BYTE(*a)) != lower(BYTE(*b))) return false;
  return *a == *b;
}

bool openSystemStore(LONG* error, DWORD location, const WCHAR* storeName, HCERTSTORE* store,
                     const char* success, const char* failure) {
  std::string name = narrow(storeName);
  HCERTSTORE opened = CertOpenStore(CERT_STORE_PROV_SYSTEM_A, 0, 0, location, name.c_str());
  if (!opened) {
    *error = rc::kStoreNotOpened;
    return traceFail(failure);
  }
  *store = opened;
  writeTrace(success, TRACE_END);
  return true;
}

// The serial number as certutil prints it: hex digits, most significant first.
std::string serialText(const CRYPT_INTEGER_BLOB& serial) {
  static const char* digits = "0123456789abcdef";
  std::string text;
  for (DWORD i = serial.cbData; i-- > 0;)
    text += {digits[serial.pbData[i] >> 4], digits[serial.pbData[i] & 15]};
  return text;
}

}  // namespace

bool PW_checker::OpenStore(LONG* error, bool machine, const WCHAR* storeName, HCERTSTORE* store) {
  writeTrace("PWEXE PW_checker::OpenStore - Start", TRACE_START);
  DWORD location = machine ? CERT_SYSTEM_STORE_LOCAL_MACHINE | CERT_STORE_READONLY_FLAG
                           : CERT_SYSTEM_STORE_CURRENT_USER;
  return openSystemStore(error, location, storeName, store,
                         "PWEXE PW_checker::OpenStore - end true",
                         "PWEXE PW_checker::OpenStore - end false");
}

bool PW_checker::openStoreForDelete(LONG* error, bool machine, const WCHAR* storeName,
                                    HCERTSTORE* store) {
  writeTrace("PWEXE PW_checker::openStoreForDelete - Start", TRACE_START);
  DWORD location = machine ? CERT_SYSTEM_STORE_LOCAL_MACHINE : CERT_SYSTEM_STORE_CURRENT_USER;
  return openSystemStore(error, location, storeName, store,
                         "PWEXE PW_checker::openStoreForDelete - end true",
                         "PWEXE PW_checker::openStoreForDelete - end false");
}

void PW_checker::CloseStore(HCERTSTORE store) {
  writeTrace("PWEXE PW_checker::CloseStore - START", TRACE_START);
  CertCloseStore(store, CERT_CLOSE_STORE_FORCE_FLAG);
  writeTrace("PWEXE PW_checker::CloseStore - END", TRACE_END);
}

bool PW_checker::GetCertificate(LONG* error, const char* subject, HCERTSTORE store,
                                PCCERT_CONTEXT* cert) {
  writeTrace("PWexe PW_checker::GetCertificate - Start", TRACE_START);
  static const WCHAR kSubject[] = {'S', 'u', 'b', 'j', 'e', 'c', 't', 0};
  // Contexts are not freed one by one: closing the store with the force flag frees them.
  for (PCCERT_CONTEXT c = nullptr; (c = CertEnumCertificatesInStore(store, c));) {
    win32::Bstr text;
    if (!GetCertificateString(error, c, kSubject, text.out())) continue;
    std::string rendered = narrow(text.get());
    text.reset();
    if (equalIgnoringAsciiCase(rendered.c_str(), subject)) {
      *cert = CertDuplicateCertificateContext(c);
      writeTrace("PWexe GetCertificate - END TRUE", TRACE_END);
      return true;
    }
  }
  *error = rc::kCertNotFound;
  return traceFail("PWexe PW_checker::GetCertificate - END FALSE");
}

bool PW_checker::GetCertificateString(LONG* error, PCCERT_CONTEXT cert, const WCHAR* field,
                                      BSTR* text) {
  writeTrace("PWEXE PW_checker::GetCertificateString - Start", TRACE_START);
  if (!cert) return false;
  try {
    std::string name = narrow(field);
    std::string rendered;
    if (equalIgnoringAsciiCase(name.c_str(), "SerialNumber")) {
      rendered = serialText(cert->pCertInfo->SerialNumber);
    } else {
      CERT_NAME_BLOB* blob = equalIgnoringAsciiCase(name.c_str(), "Issuer")
                                 ? &cert->pCertInfo->Issuer
                                 : &cert->pCertInfo->Subject;
      std::string buffer(kNameBufferChars, '\0');
      DWORD count = CertNameToStrA(kNameEncoding, blob, CERT_SIMPLE_NAME_STR, buffer.data(),
                                   kNameBufferChars);
      if (count >= 2) rendered.assign(buffer.c_str());
    }
    if (rendered.empty()) {
      *error = rc::kNameNotRendered;
      return traceFail("PWEXE PW_checker::GetCertificateString - End False");
    }
    writeTrace(rendered.c_str(), TRACE_START);  // deepens the nesting: no end line follows
    int chars = MultiByteToWideChar(CP_ACP, 0, rendered.c_str(), -1, nullptr, 0);
    std::basic_string<WCHAR> wide(size_t(chars), 0);
    MultiByteToWideChar(CP_ACP, 0, rendered.c_str(), -1, wide.data(), chars);
    *text = SysAllocString(wide.c_str());
    if (!*text) throw std::bad_alloc();
    writeTrace("PWEXE PW_checker::GetCertificateString - End TRUE", TRACE_END);
    return true;
  } catch (...) {
    writeTrace("PWEXE PW_checker::GetCertificateString - End CATCH", TRACE_END);
    *error = rc::kNameRenderFault;
    return false;
  }
}

bool PW_checker::deleteCert(PCCERT_CONTEXT cert, LONG* error) {
  writeCryptoTrace("PW_Store::deleteCert - start", TRACE_START);
  if (!CertDeleteCertificateFromStore(cert)) {
    *error = rc::kCertNotDeleted;
    return traceFail(
        "PWExe PW_checker::deleteCert - end (error failed in CertDeleteCertificateFromStore)");
  }
  *error = 0;
  writeTrace("PWExe PW_checker::deleteCert - end", TRACE_END);
  return true;
}
