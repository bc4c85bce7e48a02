// xenroll.dll serves one class, CEnroll, and registers it when regsvr32 asks.
#include "xenroll/module.h"

#include <xenroll.h>

#include "ole32/server.h"
#include "xenroll/cenroll.h"

namespace pw::xenroll {
namespace {

const ole32::ServedClass kClasses[] = {
    {&CLSID_CEnroll, "CEnroll Class", "CEnroll.CEnroll.1", createEnroll},
};

constexpr char kFile[] = "xenroll.dll";

}  // namespace

std::span<const machine::ModuleExport> exports() {
  return ole32::InprocServer<kClasses, kFile>::exports();
}

}  // namespace pw::xenroll
