// What a fresh workstation has before anyone administers it: the registry values its
// setup leaves in the machine hive. The registry lays them into a new machine hive in
// the transaction that creates it, so that no process ever sees the hive without them;
// what they are is decided above every library (system/first_boot.cpp), since setup
// registers the components that use them all.
#pragma once

#include <string>
#include <vector>

namespace pw::machine {

// One REG_SZ value under HKEY_LOCAL_MACHINE; a null name is the key's default value.
// The keys belong to the system, as the keys Windows' setup makes do.
struct SetupValue {
  std::string key;  // "SOFTWARE\Classes\CLSID\{...}\InprocServer32"
  const char* name;
  std::string data;
};

// The values in the order their keys are made.
std::vector<SetupValue> setupValues();

}  // namespace pw::machine
