// pwmachine volume and pwmachine ver: what the machine reports about its volumes
// and its operating system, and the settings that decide it on the emulated
// workstation (values under HKLM\Software\PwPlatform; a real Windows ignores them).
#pragma once

namespace pwm::system {

int runVolume(int argc, char** argv);
int runVer(int argc, char** argv);

}  // namespace pwm::system
