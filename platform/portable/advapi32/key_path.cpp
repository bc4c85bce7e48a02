#include "advapi32/key_path.h"

#include <string_view>

namespace pw::registry {

LONG splitKeyPath(const char* sub, std::vector<std::string>* out) {
  if (!sub) return ERROR_SUCCESS;
  if (sub[0] == '\\') return ERROR_BAD_PATHNAME;
  std::string_view rest(sub);
  while (!rest.empty()) {
    size_t cut = rest.find('\\');
    if (std::string_view name = rest.substr(0, cut); !name.empty()) out->emplace_back(name);
    if (cut == std::string_view::npos) break;
    rest.remove_prefix(cut + 1);
  }
  return ERROR_SUCCESS;
}

PathLimit firstBeyondLimits(size_t level, const std::vector<std::string>& path) {
  for (size_t i = 0; i < path.size(); ++i) {
    if (path[i].size() > kMaxKeyName) return {i, ERROR_INVALID_PARAMETER};
    if (!withinDepth(level, i + 1)) return {i, ERROR_NO_SYSTEM_RESOURCES};
  }
  return {path.size(), ERROR_SUCCESS};
}

LONG openKeyPath(Hive* hive, int64_t from, size_t level, const std::vector<std::string>& path,
                 int64_t* out) {
  auto [at, error] = firstBeyondLimits(level, path);
  if (at == path.size()) return hive->openPath(from, path, out);
  // A name too long is refused as it is read; a key too deep once it is found.
  size_t walk = error == ERROR_NO_SYSTEM_RESOURCES ? at + 1 : at;
  std::vector<std::string> head(path.begin(), path.begin() + std::ptrdiff_t(walk));
  int64_t id;
  if (LONG st = hive->openPath(from, head, &id)) return st;
  return error;
}

}  // namespace pw::registry
