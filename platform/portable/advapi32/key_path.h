// Key paths and the limits Windows sets on them. Windows counts a key's level from the
// root of the registry's namespace, \REGISTRY being the first, and opens or creates no
// key below level 512: the local machine's root (\REGISTRY\MACHINE) is level 2, so its
// keys lie at most 510 levels below HKEY_LOCAL_MACHINE; the current user's
// (\REGISTRY\USER\<SID>) is level 3. Such a key is answered with
// ERROR_NO_SYSTEM_RESOURCES, the answer of the kernel that runs out of room for it. (The
// documentation also speaks of 32 levels made in one call; current Windows makes all
// 509 of a user's in one.)
#pragma once

#include <windows.h>

#include "advapi32/hive.h"

#include <string>
#include <vector>

namespace pw::registry {

// A key name takes 256 characters (the documentation says 255; Windows and Wine take
// one more), a value name 16,383.
constexpr size_t kMaxKeyName = 256;
constexpr size_t kMaxValueName = 16383;
constexpr size_t kMaxKeyLevel = 512;
constexpr size_t kMachineRootLevel = 2;
constexpr size_t kUserRootLevel = 3;
constexpr size_t kClassesRootLevel = 4;  // \REGISTRY\MACHINE\SOFTWARE\Classes

constexpr size_t rootLevel(HiveId id) {
  return id == HiveId::Machine ? kMachineRootLevel : kUserRootLevel;
}

// Whether a key `extra` levels below a key of level `level` may exist.
constexpr bool withinDepth(size_t level, size_t extra) { return level + extra <= kMaxKeyLevel; }

// Splits "a\b\c" into its names (empty names between backslashes are skipped); a path
// that starts with a backslash is ERROR_BAD_PATHNAME.
LONG splitKeyPath(const char* sub, std::vector<std::string>* out);

// Where a path below a key of level `level` first breaks Windows' limits: the index of
// its first name that is too long (ERROR_INVALID_PARAMETER) or lies too deep
// (ERROR_NO_SYSTEM_RESOURCES); path.size() and ERROR_SUCCESS when none does. Windows
// walks a path name by name, so what lies before that name counts first: a missing key
// there is missing, and the keys a creation makes there stay made.
struct PathLimit {
  size_t at;
  LONG error;
};
PathLimit firstBeyondLimits(size_t level, const std::vector<std::string>& path);

// Opens the key `path` below the key `from` of level `level` as Windows walks a path. A
// key too deep is refused when it exists and missing when it does not.
LONG openKeyPath(Hive* hive, int64_t from, size_t level, const std::vector<std::string>& path,
                 int64_t* out);

}  // namespace pw::registry
