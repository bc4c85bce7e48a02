#include "machine/modules.h"

#include "components/certenroll/builtin.h"
#include "components/xenroll/builtin.h"

#include <array>
#include <cstddef>

namespace pw::machine {
namespace {

// A module's entry points in the loader's form, copied once into fixed storage, so
// that the first load allocates nothing.
template <std::size_t N>
struct ExportTable {
  std::array<ModuleExport, N> entries{};
  std::size_t count = 0;

  explicit ExportTable(std::span<const pw::com::Export> exports) {
    for (const pw::com::Export& e : exports)
      if (count < N) entries[count++] = {e.name, e.proc};
  }
  std::span<const ModuleExport> view() const { return {entries.data(), count}; }
};

}  // namespace

std::span<const BuiltinModule> builtinModules() {
  static const ExportTable<8> certenroll(pw::certenroll::exports());
  static const ExportTable<8> xenroll(pw::xenroll::exports());
  static const BuiltinModule modules[] = {
      {pw::certenroll::kBuiltinFile, certenroll.view()},
      {pw::xenroll::kBuiltinFile, xenroll.view()},
  };
  return modules;
}

}  // namespace pw::machine
