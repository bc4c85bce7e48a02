// `pwmachine regsvr32`: registers or removes the classes of a library, in regsvr32's
// syntax and with its exit codes, without its message boxes (pwmachine never shows
// any): [/u] [/s] [/n] [/i[:cmdline]] library...
#pragma once

namespace pwm::regsvr32 {

int runRegsvr32(int argc, char** argv);

}  // namespace pwm::regsvr32
