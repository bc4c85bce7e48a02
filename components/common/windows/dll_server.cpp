#include "components/common/windows/dll_server.h"

#include <olectl.h>

namespace pw::com {
namespace {

HINSTANCE module = nullptr;

}  // namespace

BOOL dllMain(HINSTANCE instance, DWORD reason) {
  if (reason == DLL_PROCESS_ATTACH) {
    module = instance;
    DisableThreadLibraryCalls(instance);
  }
  return TRUE;
}

HRESULT registerDll(std::span<const ServedClass> classes) {
  char path[MAX_PATH];
  DWORD length = GetModuleFileNameA(module, path, MAX_PATH);
  if (length == 0 || length == MAX_PATH) return SELFREG_E_CLASS;
  return registerServer(classes, std::string(path, length));
}

}  // namespace pw::com
