// The programs of a fresh machine's system folder that Windows has and the platform
// ships beside its own: cacls.exe and icacls.exe in c:\windows\system32. Each is a
// small host script there that starts the installed program, as a Windows emulator's
// system folder holds placeholders for its built-in programs: it is found as Windows
// finds programs, it is the machine's own file (with its own access list), and it costs
// a machine a few hundred bytes. The installed programs are looked for in the folder of
// the program that boots the machine, then in "../lib/pwexe" beside it (where both an
// installed system and the build keep them); a program found in neither is left out.
#pragma once

#include <string>

namespace pw::machine {

// Lays the placeholders into `system32` (a host folder that exists); a stale or
// half-written one is never left, so that machines booting at once agree.
void installSystemPrograms(const std::string& system32);

}  // namespace pw::machine
