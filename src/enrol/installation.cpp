// 'C' and 'A': the authority's answer handed to the enrolment components for
// installation on the local machine, through the older control (CEnroll) or, when
// it cannot be created, through the newer enrolment object. The command owns the
// answer text until a road has created its object; the road then takes it over and
// frees it when it ends.
#include <windows.h>

#include <certenroll.h>
#include <objbase.h>
#include <xenroll.h>

#include "handlers/storage_manager.h"
#include "trace/error_stack.h"
#include "trace/trace.h"
#include "win32/com.h"
#include "win32/result_codes.h"

#include <new>
#include <string>

namespace {

constexpr LONG kLocalMachineStores = 0x20000;  // CERT_SYSTEM_STORE_LOCAL_MACHINE

// The texts and codes that tell one road from another.
struct Road {
  const char* start;
  const char* end;
  const char* endFalse;
  const char* creation;
  const char* initializeFailed;  // CertEnroll roads
  const char* installFailed;     // XEnroll roads: a traceCryptoError text; CertEnroll: an end line
  const char* catchText;
  const char* endCatch;
  LONG installCode;
  LONG catchCode;
};

const Road kXEnrollCertificate = {
    "PWEXE Storage_Manager_No_console::storeXEnrollCertificate - Start",
    "PWEXE Storage_Manager_No_console::storeXEnrollCertificate - End",
    "PWEXE Storage_Manager_No_console::storeXEnrollCertificate - End false",
    "Creating instance of CEnroll in StoreCertificate (PWEXE)",
    nullptr,
    "AcceptPKCS7 in StoreCertificate (PWEXE)",
    "Catch in StoreCertificate (PWEXE)",
    "PWEXE Storage_Manager_No_console::storeXEnrollCertificate - End catch",
    rc::kCertNotInstalled,
    rc::kCertInstallFault,
};

const Road kCertEnrollCertificate = {
    "PWEXE Storage_Manager_No_console::storeCertEnrollCertificate - Start",
    "PWEXE Storage_Manager_No_console::storeCertEnrollCertificate - End",
    "PWEXE Storage_Manager_No_console::storeCertEnrollCertificate - End false",
    "Creating instance of X509Enrollment in StoreCertificate (PWEXE)",
    "PWEXE Storage_Manager_No_console::storeCertEnrollCertificate - end (error in "
    "pEnroll->Initialize)",
    "PWEXE Storage_Manager_No_console::storeCertEnrollCertificate - end (error in "
    "pEnroll->InstallResponse)",
    "Catch in StoreCertificate (PWEXE)",
    "PWEXE Storage_Manager_No_console::storeCertEnrollCertificate - End catch",
    rc::kCertNotInstalled,
    rc::kCertInstallFault,
};

const Road kXEnrollAuthority = {
    "PWEXE Storage_Manager_No_console::storeXEnrollAuthority - Start",
    "PWEXE Storage_Manager_No_console::storeXEnrollAuthority - End",
    "PWEXE Storage_Manager_No_console::storeXEnrollAuthority - End false",
    "Creating instance of CEnroll in storeAuthority (PWEXE)",
    nullptr,
    "InstallPKCS7 in storeAuthority (PWEXE)",
    "Catch in StoreAuthority (PWEXE)",
    "PWEXE Storage_Manager_No_console::storeXEnrollAuthority - End catch",
    rc::kAuthorityNotInstalled,
    rc::kAuthorityInstallFault,
};

// Its end-catch line is this system's own: the road's end line, with the catch named.
const Road kCertEnrollAuthority = {
    "PWEXE Storage_Manager_No_console::storeCertEnrollAuthority - Start",
    "PWEXE Storage_Manager_No_console::storeCertEnrollAuthority - End",
    "PWEXE Storage_Manager_No_console::storeCertEnrollAuthority - End false",
    "Creating instance of X509Enrollment in storeCertEnrollAuthority (PWEXE)",
    "PWEXE Storage_Manager_No_console::storeCertEnrollAuthority - end (error in "
    "pEnroll->Initialize)",
    "PWEXE Storage_Manager_No_console::storeCertEnrollAuthority - end (error in "
    "pEnroll->InstallResponse)",
    "Catch in StoreAuthority (PWEXE)",
    "PWEXE Storage_Manager_No_console::storeCertEnrollAuthority - End catch",
    rc::kAuthorityNotInstalled,
    rc::kAuthorityInstallFault,
};

enum class Answer { Certificate, Authority };

bool notCreated(const Road& road, LONG* error) {
  traceCryptoError(GetLastError(), road.creation);
  *error = rc::kEnrolObjectNotCreated;
  return traceFail(road.endFalse);
}

bool caught(const Road& road, LONG* error) {
  traceCryptoError(GetLastError(), road.catchText);
  writeTrace(road.endCatch, TRACE_END);
  *error = road.catchCode;
  return false;
}

bool xenrollRoad(const Road& road, Answer answer, LONG* error, win32::Bstr* text) {
  writeTrace(road.start, TRACE_START);
  // The certificate road asks for ICEnroll, the authority road for ICEnroll3.
  win32::ComPtr<ICEnroll> control;
  win32::ComPtr<ICEnroll3> control3;
  win32::Bstr taken;
  try {
    HRESULT created = answer == Answer::Certificate
                          ? CoCreateInstance(CLSID_CEnroll, nullptr, CLSCTX_INPROC_SERVER,
                                             IID_ICEnroll, win32::voidOut(control))
                          : CoCreateInstance(CLSID_CEnroll, nullptr, CLSCTX_INPROC_SERVER,
                                             IID_ICEnroll3, win32::voidOut(control3));
    if (created != S_OK) return notCreated(road, error);
    ICEnroll* enroll = control ? control.get() : control3.get();
    if (answer == Answer::Certificate) {
      // The results of both settings are not looked at.
      enroll->put_MyStoreFlags(kLocalMachineStores);
      enroll->put_RequestStoreFlags(kLocalMachineStores);
    } else if (enroll->put_MyStoreFlags(kLocalMachineStores) != S_OK) {
      traceCryptoError(GetLastError(), "Setting LM in storeAuthority (PWEXE)");
      *error = rc::kEnrolNotForMachine;
      return traceFail(road.endFalse);
    }
    taken = std::move(*text);
    HRESULT installed = answer == Answer::Certificate ? enroll->acceptPKCS7(taken.get())
                                                      : control3.get()->InstallPKCS7(taken.get());
    if (installed != S_OK) {
      traceCryptoError(GetLastError(), road.installFailed);
      *error = road.installCode;
      return traceFail(road.endFalse);
    }
    writeTrace(road.end, TRACE_END);
    return true;
  } catch (...) {
    return caught(road, error);
  }
}

bool certenrollRoad(const Road& road, LONG* error, win32::Bstr* text) {
  writeTrace(road.start, TRACE_START);
  win32::ComPtr<IX509Enrollment> enrollment;
  win32::Bstr taken;
  try {
    if (CoCreateInstance(CLSID_CX509Enrollment, nullptr, CLSCTX_INPROC_SERVER, IID_IX509Enrollment,
                         win32::voidOut(enrollment)) != S_OK)
      return notCreated(road, error);
    taken = std::move(*text);
    if (enrollment.get()->Initialize(ContextMachine) != S_OK) {
      SetError(error, rc::kEnrolNotForMachine);
      return traceFail(road.initializeFailed);
    }
    if (enrollment.get()->InstallResponse(AllowUntrustedCertificate, taken.get(),
                                          XCN_CRYPT_STRING_BASE64, nullptr) != S_OK) {
      SetError(error, road.installCode);
      return traceFail(road.installFailed);
    }
    writeTrace(road.end, TRACE_END);
    return true;
  } catch (...) {
    return caught(road, error);
  }
}

}  // namespace

bool Storage_Manager_No_console::formatCert(LONG* error, const char* args, win32::Bstr* answer) {
  try {
    writeTrace("PWEXE Storage_Manager_No_console::formatCert - Start", TRACE_START);
    std::basic_string<WCHAR> text;
    for (const char* p = args; *p; ++p) {
      if (*p == ':') {
        text += WCHAR('\r');
        text += WCHAR('\n');
        continue;
      }
      WCHAR wide = 0;
      if (MultiByteToWideChar(CP_ACP, 0, p, 1, &wide, 1) != 1) throw std::bad_alloc();
      text += wide;
    }
    answer->reset(
        SysAllocStringLen(reinterpret_cast<const OLECHAR*>(text.data()), UINT(text.size())));
    if (!*answer) throw std::bad_alloc();
    writeTrace("PWEXE Storage_Manager_No_console::formatCert - End", TRACE_END);
    return true;
  } catch (...) {
    *error = rc::kCertTextFault;
    writeTrace("PWEXE Storage_Manager_No_console::formatCert - End catch", TRACE_END);
    return false;
  }
}

bool Storage_Manager_No_console::storeXEnrollCertificate(LONG* error, win32::Bstr* answer) {
  return xenrollRoad(kXEnrollCertificate, Answer::Certificate, error, answer);
}
bool Storage_Manager_No_console::storeCertEnrollCertificate(LONG* error, win32::Bstr* answer) {
  return certenrollRoad(kCertEnrollCertificate, error, answer);
}
bool Storage_Manager_No_console::storeXEnrollAuthority(LONG* error, win32::Bstr* answer) {
  return xenrollRoad(kXEnrollAuthority, Answer::Authority, error, answer);
}
bool Storage_Manager_No_console::storeCertEnrollAuthority(LONG* error, win32::Bstr* answer) {
  return certenrollRoad(kCertEnrollAuthority, error, answer);
}

namespace {

// The procedure both commands share, with their own lines and roads.
struct Command {
  const char* start;
  const char* end;
  const char* endFalse;
  bool (Storage_Manager_No_console::*xenroll)(LONG*, win32::Bstr*);
  bool (Storage_Manager_No_console::*certenroll)(LONG*, win32::Bstr*);
};

bool install(Storage_Manager_No_console& manager, const Command& command, LONG* error,
             const char* args) {
  writeTrace(command.start, TRACE_START);
  // COM is left at the end whatever entering it answered.
  win32::Apartment apartment(win32::Apartment::Always);
  win32::Bstr answer;
  if (!manager.formatCert(error, args, &answer)) return traceFail(command.endFalse);
  bool result = (manager.*command.xenroll)(error, &answer);
  if (!result && *error == rc::kEnrolObjectNotCreated)
    result = (manager.*command.certenroll)(error, &answer);
  writeTrace(command.end, TRACE_END);
  return result;
}

}  // namespace

bool Storage_Manager_No_console::storeCertificate(LONG* error, const char* args) {
  static const Command command = {
      "PWEXE Storage_Manager_No_console::storeCertificate - Start",
      "PWEXE Storage_Manager_No_console::storeCertificate - End",
      "PWEXE Storage_Manager_No_console::storeCertificate - End false",
      &Storage_Manager_No_console::storeXEnrollCertificate,
      &Storage_Manager_No_console::storeCertEnrollCertificate,
  };
  return install(*this, command, error, args);
}

bool Storage_Manager_No_console::storeAuthority(LONG* error, const char* args) {
  static const Command command = {
      "PWEXE Storage_Manager_No_console::storeAuthority - Start",
      "PWEXE Storage_Manager_No_console::storeAuthority - End",
      "PWEXE Storage_Manager_No_console::storeAuthority - End false",
      &Storage_Manager_No_console::storeXEnrollAuthority,
      &Storage_Manager_No_console::storeCertEnrollAuthority,
  };
  return install(*this, command, error, args);
}
