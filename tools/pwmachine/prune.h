// pwmachine prune: the administrator's repair of a hive written by hand. It removes a
// key with everything below it in one step, however deep the tree: a hive file written
// directly may hold keys below the registry's limit of 512 levels, which the registry
// functions, and so 'D' and reg delete, cannot reach.
#pragma once

#include <windows.h>

#include <string>

namespace pwm::prune {

// The whole command; argv[0] is "prune".
int runPrune(int argc, char** argv);

// Removes the key `sub` of `root` with everything below it: a Win32 status. On the
// emulated machine keys the system owns go too (hive roots stay); on Windows it is
// RegDeleteTree. One implementation a platform (prune_portable.cpp, prune_windows.cpp).
LONG removeTree(HKEY root, const std::string& sub);

}  // namespace pwm::prune
