// How a command line becomes a program and its arguments: the name CreateProcess
// looks for, and the argument vector a Windows C runtime makes of the line.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace pw::kernel {

// The arguments, argv[0] included, that the C runtime's start-up code makes of a
// command line: blanks and tabs separate arguments; double quotes group and are
// dropped; inside quotes a doubled quote is one literal quote; 2n backslashes before
// a quote become n and the quote is a delimiter, 2n+1 become n and a literal quote;
// other backslashes are literal. argv[0] is the program name: only quotes group it,
// backslashes are literal, and it ends at the first blank or tab outside quotes
// (a line that begins with a blank has an empty argv[0]). A quote left open runs
// to the end of the line.
std::vector<std::string> splitCommandLine(std::string_view line);

// The names CreateProcess tries, in order, as the program of a line given without
// an application name: the text between a leading quote and the next quote when
// there is one; otherwise every prefix of the line that ends before a blank or a
// tab, and the whole line, shortest first (so "c:\my tools\run x" tries "c:\my",
// then "c:\my tools\run", then the whole line). `end` is where the name stops.
struct ProgramCandidate {
  std::string name;
  size_t end;
  bool quoted;
};
std::vector<ProgramCandidate> programCandidates(std::string_view line);

}  // namespace pw::kernel
