// The answer text that 'C' and 'A' hand to the enrolment components, built from the
// argument text, and the stored request's exact bytes.
#include <windows.h>

#include <oleauto.h>

#include "handlers/storage_manager.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::u16string answerFor(const char* args) {
  Storage_Manager_No_console manager;
  LONG error = 0;
  win32::Bstr answer;
  EXPECT_TRUE(manager.formatCert(&error, args, &answer));
  EXPECT_EQ(error, 0);
  return std::u16string(reinterpret_cast<const char16_t*>(answer.get()),
                        SysStringLen(answer.get()));
}

TEST(AnswerText, EachColonBecomesALineBreakAndEveryByteIsWidenedThroughTheAnsiPage) {
  EXPECT_EQ(answerFor("AAAA:BBBB:CC"), u"AAAA\r\nBBBB\r\nCC");
  EXPECT_EQ(answerFor("AAAA:"), u"AAAA\r\n");
  EXPECT_EQ(answerFor("A::B"), u"A\r\n\r\nB");
  EXPECT_EQ(answerFor("MIIB+/="), u"MIIB+/=");
  EXPECT_EQ(answerFor(""), u"");
  EXPECT_EQ(answerFor("\x80\xE9"), u"\u20AC\u00E9");  // Windows-1252: euro sign, e acute
}

TEST(StoredRequest, IsTheTextWithOneCountedZeroByte) {
  Storage_Manager_No_console manager;
  LONG error = 0;
  ASSERT_TRUE(manager.storeRequest(&error, "MIIB\r\nAA==\r\n"));
  HKEY key;
  ASSERT_EQ(
      RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Velmora\\Tessera\\Request", 0, KEY_READ, &key),
      ERROR_SUCCESS);
  BYTE data[32];
  DWORD type = 0, size = sizeof data;
  ASSERT_EQ(RegQueryValueExA(key, "9kHWID_CertRequest", nullptr, &type, data, &size),
            ERROR_SUCCESS);
  RegCloseKey(key);
  EXPECT_EQ(type, DWORD(REG_BINARY));
  EXPECT_EQ(std::string(reinterpret_cast<char*>(data), size),
            std::string("MIIB\r\nAA==\r\n\0", 13));
}

}  // namespace
