// The rights handler on the paths no client input reaches: platform calls that fail
// or raise, and the platform identifiers other than the one a current Windows reports.
#include "handlers/storage_manager.h"
#include "machine/faults.h"

#include "common/registry.h"
#include "common/trace.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using pw::faults::Action;
using pw::faults::Point;
using test::contains;
using test::newTraceTexts;

const std::string M = "PWEXE Storage_Manager_No_console::";

class SetRights : public ::testing::Test {
 protected:
  void SetUp() override { newTraceTexts(); }
  void TearDown() override { pw::faults::disarm(); }

  // Runs 'R' with the argument text; answers the handler's result.
  bool run(const char* args) {
    Storage_Manager_No_console manager;
    return manager.setRights(&error, args);
  }

  LONG error = 0;
};

TEST_F(SetRights, AStartThatRaisesAnswers7021WithoutAnEndLine) {
  pw::faults::arm({Point::CreateProcessA, 0, 0, 1, Action::Raise});
  EXPECT_FALSE(run("z:\\bin\\true"));
  EXPECT_EQ(error, 7021);
  auto lines = newTraceTexts();
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines.back(), M + "IsOSVersionNoConsoleCompatible - End");
}

TEST_F(SetRights, AWaitThatFailsIsRepeated) {
  pw::faults::arm({Point::WaitForSingleObject, ERROR_INVALID_HANDLE, 0, 3});
  EXPECT_TRUE(run("z:\\bin\\true"));
  EXPECT_EQ(pw::faults::reached(Point::WaitForSingleObject), 4u);
  EXPECT_EQ(newTraceTexts().back(), M + "setRights - End");
}

TEST_F(SetRights, AnUnreadableVolumeCountsAsNtfs) {
  pw::faults::arm({Point::GetVolumeInformationA, ERROR_NOT_READY});
  EXPECT_TRUE(run("z:\\bin\\true"));
  auto lines = newTraceTexts();
  EXPECT_TRUE(contains(lines, M + "GetIsFormatedNTFS - NTFS fileformat"));
  EXPECT_EQ(lines.back(), M + "setRights - End");
}

TEST_F(SetRights, EachPlatformIdentifierHasItsLine) {
  const std::pair<DWORD, const char*> cases[] = {
      {0, "OS is not supporting mode no console"},
      {1, "OS is not supporting mode no console"},
      {2, "OS is supporting mode no console"},
      {3, "Unknown OS version"},
  };
  const char* kVersion = "Software\\PwPlatform\\Version";
  for (auto [platform, line] : cases) {
    SCOPED_TRACE(platform);
    ASSERT_TRUE(test::setDword(HKEY_LOCAL_MACHINE, kVersion, "PlatformId", platform));
    EXPECT_TRUE(run("z:\\bin\\true"));
    EXPECT_TRUE(contains(newTraceTexts(), M + "IsOSVersionNoConsoleCompatible - " + line));
  }
  {
    win32::RegKey key;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, kVersion, 0, KEY_SET_VALUE, key.out()), 0);
    RegDeleteValueA(key.get(), "PlatformId");
  }

  pw::faults::arm({Point::GetVersionExA, ERROR_INVALID_PARAMETER});
  EXPECT_TRUE(run("z:\\bin\\true"));
  EXPECT_TRUE(contains(newTraceTexts(), M + "IsOSVersionNoConsoleCompatible - Unknown OS version"));
}

}  // namespace
