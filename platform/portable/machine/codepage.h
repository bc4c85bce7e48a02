// Windows-1252, the ANSI code page of the emulated workstation, and the UTF-8
// form in which the hives store names.
#pragma once

#include <string>
#include <string_view>

namespace pw::codepage {

char16_t ansiToWide(unsigned char c);
// The ANSI byte for a UTF-16 unit, or -1 when the code page has none.
int wideToAnsi(char16_t c);

std::u16string ansiToWide(std::string_view ansi);
std::string utf16ToUtf8(std::u16string_view text);
std::u16string utf8ToUtf16(std::string_view text);

// ANSI text to UTF-8 and back (registry names and string data on the hives).
std::string ansiToUtf8(std::string_view ansi);
std::string utf8ToAnsi(std::string_view utf8);

// Upper case as the registry and the file system compare names.
char16_t upcase(char16_t c);
std::string foldAnsi(std::string_view ansi);  // UTF-8 of the upper-cased name

}  // namespace pw::codepage
