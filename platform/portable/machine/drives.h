// The machine's drives: c: is "<root>/drive_c", z: is the host's "/", and an
// administrator maps more with REG_SZ values named "d:" ... under the local
// machine's Software\PwPlatform\Drives (a host folder, absolute or relative to the
// machine root), as a Windows emulator keeps its drive configuration.
#pragma once

#include <string>

namespace pw::machine {

// The host folder of a drive letter, either case ("" for z:, the host's root);
// false for a letter that names no drive. The mappings are read once a process.
bool driveFolder(char letter, std::string* folder);

// The host folder of c:.
std::string systemDriveFolder();

}  // namespace pw::machine
