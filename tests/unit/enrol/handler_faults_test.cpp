// The codes of 'Q', 'C' and 'A' that no command text can reach, each made by a
// platform call or an enrolment method that fails or raises, asserted with the lines
// it comes with. The answers are no certificates: every row ends before installing.
#include <windows.h>

#include <oleauto.h>

#include "common/faults.h"
#include "common/handler_faults.h"
#include "common/registry.h"
#include "common/trace.h"
#include "handlers/storage_manager.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

namespace {

using test::Action;
using test::Point;

constexpr const char* kRequestKey = "Software\\Velmora\\Tessera\\Request";
constexpr const char* SM = "PWEXE Storage_Manager_No_console::";

// Registers or removes the classes of one enrolment library, as regsvr32 does.
void serve(const char* library, bool registered) {
  HMODULE module = LoadLibraryA(library);
  ASSERT_TRUE(module) << library;
  auto call = reinterpret_cast<HRESULT(STDAPICALLTYPE*)()>(reinterpret_cast<void (*)()>(
      GetProcAddress(module, registered ? "DllRegisterServer" : "DllUnregisterServer")));
  ASSERT_EQ(call(), S_OK) << library;
}

std::string line(const char* operation, const char* end) {
  return std::string(SM) + operation + " - " + end;
}

using Handler = std::function<bool(Storage_Manager_No_console&, LONG*)>;

bool request(Storage_Manager_No_console& m, LONG* e) {
  char args[] = "CN=HWID:OU=faults:O=Velmora Portwyn Certificate";
  return m.createPKCS10(e, args);
}
bool certificate(Storage_Manager_No_console& m, LONG* e) { return m.storeCertificate(e, "AAAA:"); }
bool authority(Storage_Manager_No_console& m, LONG* e) { return m.storeAuthority(e, "AAAA:"); }
bool storeText(Storage_Manager_No_console& m, LONG* e) { return m.storeRequest(e, "MIIB\r\n"); }

TEST(EnrolmentFaults, EachCodeComesWithItsLinesAndNothingIsStored) {
  const std::string catchQ = line("createPKCS10", "End catch");
  const std::string formatCatch = line("formatCert", "End catch");
  // One case a row: the rows have the same form by design.
  const struct {
    test::Fault fault;
    bool xenroll;  // the older control registered beside the newer objects
    Handler handler;
    LONG code;
    std::vector<std::string> lines;  // among the lines of the run, in this order
  } cases[] = {
      {{Point::CoCreateInstance, 0, 0, 1, Action::Raise},
       true,
       request,
       7028,
       {catchQ, line("createPKCS10", "End")}},
      // The newer road has no handler of its own: its exception reaches the command's.
      {{Point::CoCreateInstance, 0, 1, 1, Action::Raise},
       false,
       request,
       7028,
       {"PWExe Storage_Manager_NoConsole::createCertEnrollPKCS10 - Start", catchQ,
        line("createPKCS10", "End")}},
      {{Point::RegCreateKeyExA, ERROR_ACCESS_DENIED},
       false,
       storeText,
       7001,
       {line("storeRequest", "End false")}},
      {{Point::RegSetValueExA, ERROR_ACCESS_DENIED},
       false,
       storeText,
       7002,
       {line("storeRequest", "End false")}},
      {{Point::SysAllocStringLen},
       false,
       certificate,
       7017,
       {formatCatch, line("storeCertificate", "End false")}},
      {{Point::SysAllocStringLen},
       true,
       authority,
       7017,
       {formatCatch, line("storeAuthority", "End false")}},
      {{Point::CoCreateInstance, 0, 0, 1, Action::Raise},
       true,
       certificate,
       7006,
       {line("storeXEnrollCertificate", "End catch"), line("storeCertificate", "End")}},
      // The first creation fails for want of the class; the second one raises.
      {{Point::CoCreateInstance, 0, 1, 1, Action::Raise},
       false,
       certificate,
       7006,
       {line("storeXEnrollCertificate", "End false"),
        line("storeCertEnrollCertificate", "End catch"), line("storeCertificate", "End")}},
      {{Point::CoCreateInstance, 0, 0, 1, Action::Raise},
       true,
       authority,
       7023,
       {line("storeXEnrollAuthority", "End catch"), line("storeAuthority", "End")}},
      {{Point::CoCreateInstance, 0, 1, 1, Action::Raise},
       false,
       authority,
       7023,
       {line("storeXEnrollAuthority", "End false"), line("storeCertEnrollAuthority", "End catch"),
        line("storeAuthority", "End")}},
      {{Point::ICEnroll_put_MyStoreFlags, DWORD(E_FAIL)},
       true,
       authority,
       7004,
       {line("storeXEnrollAuthority", "End false"), line("storeAuthority", "End")}},
      // The certificate road does not look at the flags: it goes on and fails to install.
      {{Point::ICEnroll_put_MyStoreFlags, DWORD(E_FAIL)},
       true,
       certificate,
       7005,
       {line("storeXEnrollCertificate", "End false")}},
      {{Point::IX509Enrollment_Initialize, DWORD(E_FAIL)},
       false,
       certificate,
       7004,
       {"*** SetError:[7004] ***",
        line("storeCertEnrollCertificate", "end (error in pEnroll->Initialize)"),
        line("storeCertificate", "End")}},
      {{Point::IX509Enrollment_Initialize, DWORD(E_FAIL)},
       false,
       authority,
       7004,
       {"*** SetError:[7004] ***",
        line("storeCertEnrollAuthority", "end (error in pEnroll->Initialize)"),
        line("storeAuthority", "End")}},
  };
  serve("certenroll.dll", true);
  for (const auto& c : cases) {
    serve("xenroll.dll", c.xenroll);
    test::removeKey(HKEY_LOCAL_MACHINE, kRequestKey);
    test::HandlerOutcome run = test::runWithFault(c.fault, c.handler);
    EXPECT_FALSE(run.ok) << c.code;
    EXPECT_EQ(run.error, c.code);
    EXPECT_EQ(test::firstMissing(run.lines, c.lines), "") << c.code;
    EXPECT_FALSE(test::readValue(HKEY_LOCAL_MACHINE, kRequestKey, "9kHWID_CertRequest")) << c.code;
  }
  serve("xenroll.dll", false);
}

}  // namespace
