// 'Q': a new key pair and a PKCS #10 request for the local machine through the older
// enrolment control (CEnroll), or through the newer enrolment objects when the
// control cannot be created, the request's base64 text kept in the registry for the
// client. A platform call has succeeded only when it answers exactly zero.
#include <windows.h>

#include <certenroll.h>
#include <objbase.h>
#include <xenroll.h>

#include "enrol/wide_text.h"
#include "handlers/storage_manager.h"
#include "trace/error_stack.h"
#include "trace/trace.h"
#include "win32/com.h"
#include "win32/reg_key.h"
#include "win32/result_codes.h"

#include <cstring>

namespace {

constexpr LONG kKeyExchange = 1;               // AT_KEYEXCHANGE
constexpr LONG kLocalMachineStores = 0x20000;  // CERT_SYSTEM_STORE_LOCAL_MACHINE
constexpr const char* kClientAuth = "1.3.6.1.5.5.7.3.2";
constexpr const char* kRequestKey = "Software\\Velmora\\Tessera\\Request";
constexpr const char* kRequestValue = "9kHWID_CertRequest";

template <class Interface>
HRESULT create(REFCLSID clsid, REFIID iid, win32::ComPtr<Interface>& object) {
  return CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, iid, win32::voidOut(object));
}

}  // namespace

bool Storage_Manager_No_console::createPKCS10(LONG* error, char* args) {
  writeTrace("PWEXE Storage_Manager_No_console::createPKCS10 - Start", TRACE_START);
  for (char* p = args; *p; ++p)
    if (*p == ':') *p = ';';

  bool result = false;
  win32::Apartment apartment(win32::Apartment::IfEntered);
  if (SUCCEEDED(apartment.result())) {
    try {
      result = createXEnrollPKCS10(error, args);
      if (!result && *error == rc::kEnrolObjectNotCreated) {
        *error = rc::kSuccess;
        result = createCertEnrollPKCS10(error, args);
      }
    } catch (...) {
      traceCryptoError(GetLastError(), "Catch in createPKCS10 (PWEXE)");
      writeTrace("PWEXE Storage_Manager_No_console::createPKCS10 - End catch", TRACE_END);
      *error = rc::kCreateRequestFault;
      result = false;
    }
  }
  writeTrace("PWEXE Storage_Manager_No_console::createPKCS10 - End", TRACE_END);
  return result;
}

bool Storage_Manager_No_console::createXEnrollPKCS10(LONG* error, const char* subject) {
  win32::ComPtr<ICEnroll> enroll;
  if (create(CLSID_CEnroll, IID_ICEnroll, enroll) != S_OK) {
    traceCryptoError(GetLastError(), "Creating instance of CEnroll in createXEnrollPKCS10 (PWEXE)");
    *error = rc::kEnrolObjectNotCreated;
    return false;
  }
  bool result = false;
  try {
    // The results of the three settings are not looked at.
    enroll.get()->put_KeySpec(kKeyExchange);
    enroll.get()->put_MyStoreFlags(kLocalMachineStores);
    enroll.get()->put_RequestStoreFlags(kLocalMachineStores);
    win32::Bstr request;
    if (enroll.get()->createPKCS10(enrol::widen(subject).get(), enrol::widen(kClientAuth).get(),
                                   request.out()) == S_OK)
      result = storeRequest(error, enrol::narrow(request.get()).c_str());
    else
      SetError(error, rc::kRequestNotCreated);
  } catch (...) {
    traceCryptoError(GetLastError(), "createPKCS10 in createXEnrollPKCS10 (PWEXE)");
    *error = rc::kRequestNotCreated;
    result = false;
  }
  return result;
}

// Without an exception handler of its own: an exception goes on to createPKCS10's.
bool Storage_Manager_No_console::createCertEnrollPKCS10(LONG* error, const char* subject) {
  writeTrace("PWExe Storage_Manager_NoConsole::createCertEnrollPKCS10 - Start", TRACE_START);
  win32::Bstr name = enrol::widen(subject);
  // Released in this order when the road ends: the request, the enrolment, the name.
  win32::ComPtr<IX500DistinguishedName> subjectName;
  win32::ComPtr<IX509Enrollment> enrollment;
  win32::ComPtr<IX509CertificateRequestPkcs10> request;
  bool result = [&] {
    if (create(CLSID_CX509CertificateRequestPkcs10, IID_IX509CertificateRequestPkcs10, request) !=
        S_OK) {
      traceCryptoError(GetLastError(), "IX509CertificateRequestPkcs10 creation (PWEXE)");
      SetError(error, rc::kEnrolObjectNotCreated);
      return false;
    }
    if (create(CLSID_CX500DistinguishedName, IID_IX500DistinguishedName, subjectName) != S_OK) {
      traceCryptoError(GetLastError(), "IX500DistinguishedName creation (PWEXE)");
      return false;
    }
    if (request.get()->Initialize(ContextMachine) != S_OK) {
      traceCryptoError(GetLastError(), "IX509CertificateRequestPkcs10->Initialize (PWEXE)");
      return false;
    }
    if (subjectName.get()->Encode(name.get(), XCN_CERT_NAME_STR_NONE) != S_OK) return false;
    if (request.get()->put_Subject(subjectName.get()) != S_OK) {
      traceCryptoError(GetLastError(), "IX509CertificateRequestPkcs10->put_Subject (PWEXE)");
      return false;
    }
    if (SetIEkuExtension(request.get()) != S_OK) {
      writeTrace("PWExe Storage_Manager_NoConsole::createCertEnrollPKCS10 - SetIEkuExtension KO",
                 TRACE_PLAIN);
      return false;
    }
    if (SetIKeyUsageExtension(request.get()) != S_OK) {
      writeTrace(
          "PWExe Storage_Manager_NoConsole::createCertEnrollPKCS10 - SetIKeyUsageExtension KO",
          TRACE_PLAIN);
      return false;
    }
    if (SetKeyExchange(request.get()) != S_OK) {
      writeTrace("PWExe Storage_Manager_NoConsole::createCertEnrollPKCS10 - SetKeySpec KO",
                 TRACE_PLAIN);
      return false;
    }
    if (create(CLSID_CX509Enrollment, IID_IX509Enrollment, enrollment) != S_OK) {
      traceCryptoError(GetLastError(), "IX509Enrollment creation (PWEXE)");
      return false;
    }
    if (enrollment.get()->InitializeFromRequest(request.get()) != S_OK) return false;
    win32::Bstr text;
    if (enrollment.get()->CreateRequest(XCN_CRYPT_STRING_BASE64, text.out()) != S_OK) {
      traceCryptoError(GetLastError(), "IX509Enrollment->CreateRequest (PWEXE)");
      return false;
    }
    return storeRequest(error, enrol::narrow(text.get()).c_str());
  }();
  request.reset();
  enrollment.reset();
  subjectName.reset();
  writeTrace("PWExe Storage_Manager_NoConsole::createCertEnrollPKCS10 - End", TRACE_END);
  return result;
}

// A road that succeeds without a request text stores the empty text: the value then
// holds its terminating zero byte alone.
bool Storage_Manager_No_console::storeRequest(LONG* error, const char* requestText) {
  writeTrace("PWEXE Storage_Manager_No_console::storeRequest - Start", TRACE_START);
  win32::RegKey key;
  if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, kRequestKey, 0, nullptr, REG_OPTION_NON_VOLATILE,
                      KEY_WRITE, nullptr, key.out(), nullptr) != ERROR_SUCCESS) {
    *error = rc::kKeyNotWritable;
    return traceFail("PWEXE Storage_Manager_No_console::storeRequest - End false");
  }
  LONG status = RegSetValueExA(key.get(), kRequestValue, 0, REG_BINARY,
                               reinterpret_cast<const BYTE*>(requestText),
                               DWORD(std::strlen(requestText) + 1));
  key.reset();
  if (status != ERROR_SUCCESS) {
    *error = rc::kValueNotWritten;
    return traceFail("PWEXE Storage_Manager_No_console::storeRequest - End false");
  }
  writeTrace("PWEXE Storage_Manager_No_console::storeRequest - End true", TRACE_END);
  return true;
}
