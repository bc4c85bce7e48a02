// The emulated workstation: where its machine root lives, its hives and drives,
// and the first boot that lays them out.
#pragma once

#include <string>

namespace pw::machine {

// The machine root: $PW_MACHINE_ROOT, else "<XDG data home>/pwexe/machine".
// Created and booted on the first call in a process that needs it.
const std::string& root();

// Host path of the local machine's hive and of the current (Unix) user's hive, which
// is named by the account's number.
std::string machineHivePath();
std::string userHivePath();

// The current user's name, as the Unix account names it.
const std::string& userName();

// Makes sure the machine root and its folders exist; idempotent and safe when
// several processes boot the same fresh root at once.
void boot();

}  // namespace pw::machine
