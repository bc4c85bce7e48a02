// Libraries: LoadLibraryA finds a library of the workstation by its file name, with
// or without a folder (the libraries live in the system folder, as on Windows) and
// with ".dll" assumed when the name has no extension. A module handle is the
// library's own record, as an HMODULE is a library's load address on Windows. The
// libraries are part of the platform, so they stay loaded for the life of the
// process and FreeLibrary has nothing to unload.
#include <windows.h>

#include "machine/guard.h"
#include "machine/modules.h"

#include <strings.h>
#include <cstring>
#include <string>

namespace {

using pw::machine::BuiltinModule;

const BuiltinModule* moduleFor(HMODULE handle) {
  for (const BuiltinModule& module : pw::machine::builtinModules())
    if (reinterpret_cast<HMODULE>(const_cast<BuiltinModule*>(&module)) == handle) return &module;
  return nullptr;
}

// The file name part of a path, with ".dll" added when it has no extension.
std::string fileNameOf(const char* path) {
  const char* name = path;
  for (const char* p = path; *p; ++p)
    if (*p == '\\' || *p == '/' || *p == ':') name = p + 1;
  std::string file(name);
  if (file.find('.') == std::string::npos) file += ".dll";
  return file;
}

}  // namespace

HMODULE WINAPI LoadLibraryA(LPCSTR lpLibFileName) {
  if (!lpLibFileName || !*lpLibFileName) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  return pw::guarded(HMODULE(nullptr), ERROR_NOT_ENOUGH_MEMORY, [&]() -> HMODULE {
    std::string file = fileNameOf(lpLibFileName);
    for (const BuiltinModule& module : pw::machine::builtinModules())
      if (strcasecmp(module.fileName, file.c_str()) == 0)
        return reinterpret_cast<HMODULE>(const_cast<BuiltinModule*>(&module));
    SetLastError(ERROR_MOD_NOT_FOUND);
    return nullptr;
  });
}

FARPROC WINAPI GetProcAddress(HMODULE hModule, LPCSTR lpProcName) {
  const BuiltinModule* module = moduleFor(hModule);
  if (!module) {
    SetLastError(ERROR_MOD_NOT_FOUND);
    return nullptr;
  }
  // A value below 64K names an export by its ordinal; these libraries export by name only.
  if (reinterpret_cast<ULONG_PTR>(lpProcName) >= 0x10000)
    for (const auto& entry : module->exports)
      if (std::strcmp(entry.name, lpProcName) == 0) return entry.proc;
  SetLastError(ERROR_PROC_NOT_FOUND);
  return nullptr;
}

BOOL WINAPI FreeLibrary(HMODULE hLibModule) {
  if (moduleFor(hLibModule)) return TRUE;
  SetLastError(ERROR_MOD_NOT_FOUND);
  return FALSE;
}
