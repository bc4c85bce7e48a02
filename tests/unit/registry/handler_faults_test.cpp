// The codes of the registry handlers that no command text can reach, each made by a
// platform call that fails or raises, and asserted with the end line it comes with;
// then every allocation of 'B' and 'N' failing in turn.
#include "common/handler_faults.h"
#include "common/faults.h"
#include "common/registry.h"
#include "common/trace.h"
#include "handlers/storage_manager.h"

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <string>

namespace {

using test::Action;
using test::Point;

constexpr const char* kKey = "Software\\PwFaults";
// Made by pwcmd; the RC2 blob is also what `openssl enc -rc2-40-cbc` gives for the
// first five bytes of MD5(forced key) and a zero IV.
constexpr const char* kRc2Args = "C,Software\\PwFaults,Value,B,AAECAwQ=,kQqINtdZvvg=";
constexpr const char* kLightArgs = "C,Software\\PwFaults,Value,B,AAECAwQ=,ctOnDSc=";
const std::string kData("\0\1\2\3\4", 5);

using Handler = std::function<bool(Storage_Manager_No_console&, LONG*)>;

bool storeRc2(Storage_Manager_No_console& m, LONG* e) { return m.storeBlob(e, kRc2Args, 0); }

TEST(HandlerFaults, EachCodeComesWithItsEndLineAndTheStoreStaysUntouched) {
  // One case a row: the rows have the same form by design.
  const struct {
    test::Fault fault;
    Handler handler;
    LONG code;
    const char* line;  // the end line that goes with the code
  } cases[] = {
      {{Point::RegSetValueExA, ERROR_ACCESS_DENIED},
       [](auto& m, LONG* e) { return m.storeHwid1(e, "5"); },
       7002,
       "PWEXE Storage_Manager_No_console::storeHwid1 - End false"},
      {{Point::RegSetValueExA, ERROR_ACCESS_DENIED},
       [](auto& m, LONG* e) { return m.storeHwid2(e, "text"); },
       7002,
       "PWEXE Storage_Manager_No_console::storeHwid2 - Start"},  // 'W' fails with no end line
      {{Point::RegSetValueExA, ERROR_ACCESS_DENIED},
       storeRc2,
       7002,
       "PWEXE Storage_Manager_No_console::storeBlob - End false"},
      {{Point::SafeArrayCreate},
       storeRc2,
       7015,
       "PWEXE Storage_Manager_No_console::checkBlob - End false"},
      {{Point::SafeArrayCreate, 0, 0, 1, Action::Raise},
       storeRc2,
       7016,
       "PWEXE Storage_Manager_No_console::checkBlob - End catch"},
      {{Point::RegCreateKeyExA, 0, 0, 1, Action::Raise},
       storeRc2,
       7018,
       "PWEXE Storage_Manager_No_console::storeBlob - End catch"},
      {{Point::CryptDecrypt, 0, 0, 1, Action::Raise},
       storeRc2,
       7019,
       "PWEXE Storage_Manager_No_console::checkBlob - End catch"},
      {{Point::RegEnumKeyExA, 0, 0, 1, Action::Raise},
       [](auto& m, LONG* e) { return m.deletePending(e, "Software,PwFaults"); },
       7026,
       "Storage_Manager_NoConsole::deletePending - end (catch)"},
  };
  for (const auto& c : cases) {
    test::removeKey(HKEY_LOCAL_MACHINE, "Software\\Velmora\\Tessera\\hwid");
    test::removeKey(HKEY_CURRENT_USER, kKey);
    ASSERT_TRUE(test::setString(HKEY_LOCAL_MACHINE, kKey, "Kept", "yes"));  // for 'D'
    ASSERT_TRUE(test::setString(HKEY_LOCAL_MACHINE, "Software\\PwFaults\\Below", "Kept", "yes"));
    test::HandlerOutcome run = test::runWithFault(c.fault, c.handler);
    EXPECT_FALSE(run.ok) << c.code;
    EXPECT_EQ(run.error, c.code);
    EXPECT_TRUE(test::contains(run.lines, c.line)) << c.code;
    EXPECT_FALSE(test::readValue(HKEY_LOCAL_MACHINE, "Software\\Velmora\\Tessera\\hwid", "Blob"));
    EXPECT_FALSE(test::readValue(HKEY_CURRENT_USER, kKey, "Value")) << c.code;
    EXPECT_TRUE(test::keyExists(HKEY_LOCAL_MACHINE, "Software\\PwFaults\\Below")) << c.code;
  }
}

// Whatever allocation fails, 'B' and 'N' end with their end line and a code, and the
// value is written whole or not at all.
TEST(HandlerFaults, EveryAllocationFailingInTurnEndsWithACodeAndNeverHalfAValue) {
  const struct {
    int selector;
    const char* args;
    const char* noMemoryLine;
  } commands[] = {
      {0, kRc2Args, "PwCryptoApiVB:_MSCrypto:PWpxyDecrypt - End (failed to allocate memory)"},
      {1, kLightArgs, "PwCryptoApiVB::PWpxyDecrypt - End (failed to allocate memory)"},
  };
  for (const auto& command : commands) {
    Storage_Manager_No_console manager;
    LONG error = 0;
    // A whole run first, so that what a process sets up once is in place.
    ASSERT_TRUE(manager.storeBlob(&error, command.args, command.selector));
    test::removeKey(HKEY_CURRENT_USER, kKey);
    test::newTraceTexts();
    // Code: the lines of one run. The light cipher fails without a code when its key
    // stream gets no memory, so 0 is among them.
    std::map<LONG, std::vector<std::string>> failures;
    unsigned runs = test::eachAllocationFailing(
        [&] {
          LONG code = 0;
          bool ok = manager.storeBlob(&code, command.args, command.selector);
          return std::pair(ok, code);
        },
        [&](unsigned n, std::pair<bool, LONG> outcome) {
          auto [ok, code] = outcome;
          std::vector<std::string> lines = test::newTraceTexts();
          std::optional<std::string> value = test::readValue(HKEY_CURRENT_USER, kKey, "Value");
          test::removeKey(HKEY_CURRENT_USER, kKey);
          if (ok) {
            EXPECT_EQ(value, kData) << "allocation " << n;
            return;
          }
          EXPECT_FALSE(value) << "allocation " << n << ", code " << code;
          ASSERT_FALSE(lines.empty());
          EXPECT_TRUE(lines.back() == "PWEXE Storage_Manager_No_console::storeBlob - End false" ||
                      lines.back() == "PWEXE Storage_Manager_No_console::storeBlob - End catch")
              << "allocation " << n << ": " << lines.back();
          failures.emplace(code, lines);
        });
    EXPECT_GT(runs, 20u);
    ASSERT_TRUE(failures.count(3504)) << command.selector;
    EXPECT_TRUE(test::contains(failures[3504], command.noMemoryLine));
    ASSERT_TRUE(failures.count(7019)) << command.selector;
    EXPECT_TRUE(
        test::contains(failures[7019], "PWEXE Storage_Manager_No_console::checkBlob - End catch"));
    std::string codes;
    for (const auto& [code, lines] : failures) codes += std::to_string(code) + " ";
    RecordProperty("codes", codes);
  }
}

}  // namespace
