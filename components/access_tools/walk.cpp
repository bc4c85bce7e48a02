#include "access_tools/walk.h"

#include "local.h"  // src/win32

#include <vector>

namespace access_tools {
namespace {

static_assert(sizeof(WIN32_FIND_DATAA) == 320);  // both widths: what FindFirstFileA fills

std::string join(const std::string& folder, const std::string& name) {
  if (folder.empty()) return name;
  char last = folder.back();
  return last == '\\' || last == '/' || (folder.size() == 2 && last == ':') ? folder + name
                                                                            : folder + "\\" + name;
}

// The entries of a folder matching `pattern`, without "." and "..", as FindFirstFileA
// lists them.
std::vector<Target> matches(const std::string& folder, const std::string& pattern, DWORD* error) {
  std::vector<Target> found;
  WIN32_FIND_DATAA data;
  win32::FindHandle search(FindFirstFileA(join(folder, pattern).c_str(), &data));
  if (!search) {
    *error = GetLastError();
    return found;
  }
  *error = ERROR_SUCCESS;
  do {
    std::string name = data.cFileName;
    if (name == "." || name == "..") continue;
    found.push_back({join(folder, name), (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0});
  } while (FindNextFileA(search.get(), &data));
  return found;
}

// Everything below a folder, each folder before its contents; false once told to stop.
bool below(const std::string& folder, const std::function<bool(const Target&)>& visit) {
  DWORD error;
  for (const Target& target : matches(folder, "*", &error)) {
    if (!visit(target)) return false;
    if (target.folder && !below(target.path, visit)) return false;
  }
  return true;
}

// The matches of `pattern` in a folder and, with `recurse`, in every folder below it.
bool patternIn(const std::string& folder, const std::string& pattern, bool recurse,
               const std::function<bool(const Target&)>& visit, size_t* count) {
  DWORD error;
  for (const Target& target : matches(folder, pattern, &error)) {
    ++*count;
    if (!visit(target)) return false;
  }
  if (!recurse) return true;
  for (const Target& sub : matches(folder, "*", &error))
    if (sub.folder && !patternIn(sub.path, pattern, recurse, visit, count)) return false;
  return true;
}

}  // namespace

DWORD walk(const std::string& name, bool recurse, const std::function<bool(const Target&)>& visit) {
  size_t cut = name.find_last_of("\\/");
  std::string last = cut == std::string::npos ? name : name.substr(cut + 1);
  if (last.find_first_of("*?") == std::string::npos) {
    DWORD attributes = GetFileAttributesA(name.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return GetLastError();
    Target target{name, (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0};
    if (visit(target) && recurse && target.folder) below(name, visit);
    return ERROR_SUCCESS;
  }
  std::string folder = cut == std::string::npos ? "" : name.substr(0, cut + 1);
  if (cut == std::string::npos && name.size() >= 2 && name[1] == ':') {
    folder = name.substr(0, 2);
    last = name.substr(2);
  }
  DWORD error;
  matches(folder, last, &error);
  if (error == ERROR_PATH_NOT_FOUND) return error;
  size_t count = 0;
  patternIn(folder, last, recurse, visit, &count);
  return count ? DWORD(ERROR_SUCCESS) : DWORD(ERROR_FILE_NOT_FOUND);
}

}  // namespace access_tools
