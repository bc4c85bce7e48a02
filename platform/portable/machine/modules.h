// The libraries installed on the emulated workstation: built into the platform, each
// with the file name a Windows system folder gives it and its exported entry points.
// The loader (LoadLibraryA, GetProcAddress) reads the table; which modules it holds is
// decided above every library (system/modules.cpp), since the modules use them all.
#pragma once

#include <windows.h>

#include <span>

namespace pw::machine {

struct ModuleExport {
  const char* name;
  FARPROC proc;
};

struct BuiltinModule {
  const char* fileName;  // lower case, with its ".dll"
  std::span<const ModuleExport> exports;
};

std::span<const BuiltinModule> builtinModules();

}  // namespace pw::machine
