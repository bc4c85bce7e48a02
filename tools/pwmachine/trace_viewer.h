// `pwmachine log [N]`: the last N runs of pwexe's trace log, found where pwexe's
// trace writer puts it (the current user's PW_LogPath and PW_LogFileName under
// Software\Velmora\Tessera, else c:\PWY_log\Portwyn.log).
#pragma once

namespace pwm::trace {

int runLog(int argc, char** argv);

}  // namespace pwm::trace
