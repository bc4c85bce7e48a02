// The calling thread's apartment, for the runtime's own checks.
#pragma once

namespace pw::ole32 {

// True while the thread has entered an apartment and not left it as often.
bool apartmentEntered();

}  // namespace pw::ole32
