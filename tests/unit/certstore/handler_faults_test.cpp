// The codes of 'K', 'E' and the store operations below them that no certificate or
// command text can reach, each made by a platform call that fails or raises and
// asserted with the lines it comes with; then every allocation of 'K' failing in turn.
// The machine's personal store holds one gateway certificate whose key-provider
// information names a container of the machine key set with an exchange key.
#include <windows.h>

#include <wincrypt.h>

#include "certstore/pw_checker.h"
#include "common/faults.h"
#include "common/trace.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace {

using test::Action;
using test::Point;

constexpr const char* kContainer = "pw-faults";

std::u16string wide(const char* text) { return std::u16string(text, text + std::strlen(text)); }

// A self-signed certificate of that subject, made once with `openssl req -x509 -newkey ec
// -subj "/CN=HWID/OU=faults/O=Velmora Portwyn Certificate"`; its own key does not matter
// to 'K', which reads the key named by the certificate's key-provider information.
std::string certificateDer() {
  const char* hex =
      "308201e330820189a00302010202141c1a0eb5abd72eeb1e03ce6132a7cbbfc96dc92b300a06082a8648ce3d0403"
      "023046310d300b06035504030c0448574944310f300d060355040b0c066661756c747331243022060355040a0c1b"
      "56656c6d6f726120506f727477796e2043657274696669636174653020170d3236313230363032343333355a180f"
      "32313236313131323032343333355a3046310d300b06035504030c0448574944310f300d060355040b0c06666175"
      "6c747331243022060355040a0c1b56656c6d6f726120506f727477796e2043657274696669636174653059301306"
      "072a8648ce3d020106082a8648ce3d03010703420004676a2c66ec3b1efa19e96a66368d9ead1bb98c748c0a8a5b"
      "6d95c1c1ca8867b282f553a4a85d1cc1323dfed21a8ccf76a849b049e9a1baacc8e9211ebaf1bc0da3533051301d"
      "0603551d0e041604149ecf9d223928590b4f4f2e7d546b8b68a7957111301f0603551d230418301680149ecf9d22"
      "3928590b4f4f2e7d546b8b68a7957111300f0603551d130101ff040530030101ff300a06082a8648ce3d04030203"
      "48003045022041b2c0094619142f84b28f5a8fea71e970c1f4ac96a5171c4d37e2c8bc71b1fa0221008073c8289e"
      "df1e575096ba4d0e87f06c55bd91b3e9ce1d241fde483d5a8dece6";
  std::string der;
  for (const char* p = hex; p[0] && p[1]; p += 2)
    der += char(std::stoi(std::string(p, 2), nullptr, 16));
  return der;
}

HCERTSTORE openMachineStore() {
  return CertOpenStore(CERT_STORE_PROV_SYSTEM_A, 0, 0, CERT_SYSTEM_STORE_LOCAL_MACHINE, "MY");
}

size_t certificatesInMachineStore() {
  HCERTSTORE store = openMachineStore();
  size_t n = 0;
  for (PCCERT_CONTEXT c = nullptr; (c = CertEnumCertificatesInStore(store, c));) ++n;
  CertCloseStore(store, CERT_CLOSE_STORE_FORCE_FLAG);
  return n;
}

class CertstoreFaults : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    HCRYPTPROV provider = 0;
    HCRYPTKEY key = 0;
    ASSERT_TRUE(CryptAcquireContextA(&provider, kContainer, nullptr, PROV_RSA_FULL,
                                     CRYPT_MACHINE_KEYSET | CRYPT_NEWKEYSET));
    ASSERT_TRUE(CryptGenKey(provider, AT_KEYEXCHANGE, 0, &key));
    CryptDestroyKey(key);
    CryptReleaseContext(provider, 0);

    std::string der = certificateDer();
    HCERTSTORE store = openMachineStore();
    PCCERT_CONTEXT cert = nullptr;
    ASSERT_TRUE(CertAddEncodedCertificateToStore(store, X509_ASN_ENCODING,
                                                 reinterpret_cast<const BYTE*>(der.data()),
                                                 DWORD(der.size()), CERT_STORE_ADD_NEW, &cert));
    std::u16string container = wide(kContainer);
    CRYPT_KEY_PROV_INFO info{};
    info.pwszContainerName = container.data();
    info.dwProvType = PROV_RSA_FULL;
    info.dwFlags = CRYPT_MACHINE_KEYSET;
    info.dwKeySpec = AT_KEYEXCHANGE;
    ASSERT_TRUE(CertSetCertificateContextProperty(cert, CERT_KEY_PROV_INFO_PROP_ID, 0, &info));
    CertFreeCertificateContext(cert);
    CertCloseStore(store, 0);
  }

  // The handler's code and lines with `fault` armed for the call.
  template <class Call>
  std::vector<std::string> run(const test::Fault& fault, Call call, LONG* code, bool* ok) {
    test::newTraceTexts();
    *code = 0;
    {
      test::ScopedFault armed(fault);
      *ok = call(code);
    }
    return test::newTraceTexts();
  }
};

bool checkKey(LONG* error) {
  char subject[] = "HWID: faults: Velmora Portwyn Certificate";
  HCRYPTKEY key = 0;
  bool ok = PW_checker::checkPrivateKey(error, subject, &key);
  if (key) CryptDestroyKey(key);
  return ok;
}

// getPrivateKey on the gateway certificate, found without the fault.
bool readKey(LONG* error) {
  HCERTSTORE store = openMachineStore();
  PCCERT_CONTEXT cert = CertEnumCertificatesInStore(store, nullptr);
  HCRYPTKEY key = 0;
  bool ok = PW_checker::getPrivateKey(error, &cert, &key);
  if (key) CryptDestroyKey(key);
  CertCloseStore(store, CERT_CLOSE_STORE_FORCE_FLAG);
  return ok;
}

bool renderSubject(LONG* error) {
  HCERTSTORE store = openMachineStore();
  PCCERT_CONTEXT cert = CertEnumCertificatesInStore(store, nullptr);
  BSTR text = nullptr;
  static const WCHAR kField[] = u"Subject";
  bool ok = PW_checker::GetCertificateString(error, cert, kField, &text);
  SysFreeString(text);
  CertCloseStore(store, CERT_CLOSE_STORE_FORCE_FLAG);
  return ok;
}

bool removeCertificate(LONG* error) { return deleteHwidCertificate(error, "TRUE,faults"); }

TEST_F(CertstoreFaults, EachCodeComesWithItsLinesAndTheCertificateStays) {
  // One case a row: the rows have the same form by design.
  const struct {
    test::Fault fault;
    std::function<bool(LONG*)> call;
    LONG code;
    std::vector<std::string> lines;  // among the lines of the call, in this order
  } cases[] = {
      // 'K': the handler replaces the codes below it.
      {{Point::CertOpenStore, ERROR_ACCESS_DENIED},
       checkKey,
       7505,
       {"PWEXE PW_checker::OpenStore - end false",
        "PWExe PW_checker::checkPrivateKey - return FALSE"}},
      {{Point::CertOpenStore, 0, 0, 1, Action::Raise},
       checkKey,
       7504,
       {"PWEXE PW_checker::OpenStore - Start", "PWExe PW_checker::checkPrivateKey - catch"}},
      {{Point::CertNameToStrA, 0, 0, 1, Action::Raise},
       checkKey,
       7505,
       {"PWEXE PW_checker::GetCertificateString - End CATCH",
        "PWexe PW_checker::GetCertificate - END FALSE",
        "PWExe PW_checker::checkPrivateKey - return FALSE"}},
      {{Point::CertGetCertificateContextProperty, DWORD(CRYPT_E_NOT_FOUND), 1},
       checkKey,
       7510,
       {"PWExe PW_checker::getPrivateKey - 2nd getcontextproperty failed",
        "PWExe PW_checker::getPrivateKey - END FALSE", "PWEXE PW_checker::CloseStore - END",
        "PWExe PW_checker::checkPrivateKey - end"}},
      {{Point::CryptAcquireContextA, 0, 0, 1, Action::Raise},
       checkKey,
       7510,
       {"PWExe PW_checker::getPrivateKey - CATCH", "PWEXE PW_checker::CloseStore - END",
        "PWExe PW_checker::checkPrivateKey - end"}},
      // getPrivateKey's own codes.
      {{Point::CertGetCertificateContextProperty, DWORD(CRYPT_E_NOT_FOUND)},
       readKey,
       7506,
       {"crypto error traced: [-2146885628]", "getcontextproperty failed",
        "PWExe PW_checker::getPrivateKey - END FALSE"}},
      {{Point::CertGetCertificateContextProperty, DWORD(ERROR_NOT_ENOUGH_MEMORY), 1},
       readKey,
       7506,
       {"crypto error traced: [8]",
        "PWExe PW_checker::getPrivateKey - 2nd getcontextproperty failed",
        "PWExe PW_checker::getPrivateKey - END FALSE"}},
      {{Point::CryptAcquireContextA, DWORD(NTE_BAD_KEYSET)},
       readKey,
       7508,
       {"Provider Container Name : pw-faults", "crypto error traced: [-2146893802]",
        "cryptacquirecontext failed", "PWExe PW_checker::getPrivateKey - END FALSE"}},
      {{Point::CryptAcquireContextA, 0, 0, 1, Action::Raise},
       readKey,
       7511,
       {"PWExe PW_checker::getPrivateKey - Provider Info End",
        "PWExe PW_checker::getPrivateKey - CATCH"}},
      // GetCertificateString's own.
      {{Point::CertNameToStrA, 0, 0, 1, Action::Raise},
       renderSubject,
       7503,
       {"PWEXE PW_checker::GetCertificateString - Start",
        "PWEXE PW_checker::GetCertificateString - End CATCH"}},
      // 'E'.
      {{Point::CertOpenStore, ERROR_ACCESS_DENIED},
       removeCertificate,
       7501,
       {"PWEXE PW_checker::openStoreForDelete - end false",
        "PW_Store::deleteHwidCertificate - end (error openStore failed)"}},
      {{Point::CertDeleteCertificateFromStore, ERROR_ACCESS_DENIED},
       removeCertificate,
       7518,
       {"PWexe GetCertificate - END TRUE", "PW_Store::deleteCert - start",
        "PWExe PW_checker::deleteCert - end (error failed in CertDeleteCertificateFromStore)",
        "PW_Store::deleteHwidCertificate - end (error deleteCert failed)"}},
      // The catch stores no code of its own, so 'E' names the removal that did not happen.
      {{Point::CertOpenStore, 0, 0, 1, Action::Raise},
       removeCertificate,
       7518,
       {"PWEXE PW_checker::openStoreForDelete - Start",
        "PW_Store::deleteHwidCertificate - end (catch)"}},
  };
  for (const auto& c : cases) {
    LONG code;
    bool ok;
    std::vector<std::string> lines = run(c.fault, c.call, &code, &ok);
    EXPECT_FALSE(ok) << c.code;
    EXPECT_EQ(code, c.code);
    EXPECT_EQ(test::firstMissing(lines, c.lines), "") << c.code;
    EXPECT_EQ(certificatesInMachineStore(), 1u) << c.code;
  }
  // Nothing the faults did stays behind: the check passes.
  LONG code = 0;
  EXPECT_TRUE(checkKey(&code));
  EXPECT_EQ(code, 0);
}

// Whatever allocation fails, getPrivateKey ends with one of its codes and its end line,
// and 'K' with one of its three codes, never with a crash or a key left open.
TEST_F(CertstoreFaults, EveryAllocationFailingInTurnEndsWithADefinedCode) {
  const struct {
    std::function<bool(LONG*)> call;
    std::set<LONG> codes;
    std::set<std::string> endLines;
    LONG mustMeet;
    const char* mustMeetLine;
  } operations[] = {
      {readKey,
       {7506, 7507, 7508, 7509, 7511},
       {"PWExe PW_checker::getPrivateKey - END FALSE", "PWExe PW_checker::getPrivateKey - CATCH"},
       7507,
       "PWExe PW_checker::getPrivateKey - END FALSE"},
      {checkKey,
       {7504, 7505, 7510},
       {"PWExe PW_checker::checkPrivateKey - return FALSE",
        "PWExe PW_checker::checkPrivateKey - end", "PWExe PW_checker::checkPrivateKey - catch"},
       7510,
       "PWExe PW_checker::getPrivateKey - END FALSE"},
  };
  for (const auto& op : operations) {
    LONG warm = 0;
    ASSERT_TRUE(op.call(&warm));  // what a process sets up once is in place
    test::newTraceTexts();
    std::map<LONG, std::vector<std::string>> failures;
    unsigned runs = test::eachAllocationFailing(
        [&] {
          LONG code = 0;
          bool ok = op.call(&code);
          return std::pair(ok, code);
        },
        [&](unsigned n, std::pair<bool, LONG> outcome) {
          auto [ok, code] = outcome;
          std::vector<std::string> lines = test::newTraceTexts();
          if (ok) return;  // only a trace line was lost
          EXPECT_TRUE(op.codes.count(code)) << "allocation " << n << ": " << code;
          EXPECT_TRUE(std::any_of(lines.begin(), lines.end(),
                                  [&](const std::string& l) { return op.endLines.count(l); }))
              << "allocation " << n << ", code " << code;
          failures.emplace(code, lines);
        });
    EXPECT_GT(runs, 5u);
    ASSERT_TRUE(failures.count(op.mustMeet)) << op.mustMeet;
    EXPECT_TRUE(test::contains(failures[op.mustMeet], op.mustMeetLine));
    EXPECT_EQ(certificatesInMachineStore(), 1u);
  }
}

}  // namespace
