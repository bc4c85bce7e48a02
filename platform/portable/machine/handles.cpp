#include "machine/handles.h"

#include <unordered_map>

namespace pw::handles {
namespace {

using Table = std::unordered_map<uintptr_t, std::unique_ptr<Object>>;

Table& table() {
  static auto* live = new Table;  // process-wide, never torn down: handles outlive statics
  return *live;
}

}  // namespace

uintptr_t addObject(std::unique_ptr<Object> object) noexcept {
  const void* address = object.get();
  return addObject(std::move(object), address);
}

uintptr_t addObject(std::unique_ptr<Object> object, const void* handle) noexcept {
  if (!object || !handle) return 0;
  auto value = reinterpret_cast<uintptr_t>(handle);
  try {
    // A handle already taken is refused; the object dies with `object` either way.
    if (!table().try_emplace(value, std::move(object)).second) return 0;
  } catch (...) {
    return 0;  // `object` still owns it when the table cannot grow
  }
  return value;
}

Object* lookup(uintptr_t handle) noexcept {
  if (!handle) return nullptr;
  auto it = table().find(handle);
  return it == table().end() ? nullptr : it->second.get();
}

bool destroyObject(uintptr_t handle) noexcept {
  auto it = table().find(handle);
  if (!handle || it == table().end()) return false;
  std::unique_ptr<Object> object = std::move(it->second);
  table().erase(it);
  return true;  // destroyed here, after it has left the table
}

std::vector<uintptr_t> liveHandles() {
  std::vector<uintptr_t> values;
  values.reserve(table().size());
  for (const auto& entry : table()) values.push_back(entry.first);
  return values;
}

}  // namespace pw::handles
