// What the access tools print: ANSI text with "\n" line ends, written to standard
// output in the console's (OEM) code page with CR LF line ends, as Windows' console
// tools write it to a console or a file alike. Output is held until flush() (or until
// a good deal of it is waiting), so that a report is written in few calls.
#pragma once

#include <string>
#include <string_view>

namespace access_tools {

void out(std::string_view ansi);
void flush();

// A line from standard input, without its end; false when none can be read.
bool readLine(std::string* line);

// printf into a string.
std::string format(const char* pattern, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;

}  // namespace access_tools
