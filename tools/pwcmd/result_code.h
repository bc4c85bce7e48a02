// The meanings of pwexe's result codes, from the table the system's constants come
// from, for `pwcmd code`.
#pragma once

#include <string>

// Prints the meaning of `text` (a result code, or a Unix exit status that keeps a
// code's low 8 bits), or every code when `text` is empty. Returns the exit code:
// 0, or 1 with the reason on standard error when `text` is no code.
int explainCode(const std::string& text);
