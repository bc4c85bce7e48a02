// FindFirstFileA, FindNextFileA and FindClose: the names of a folder that match a
// pattern ('*' any run of characters, '?' any one, compared without regard to case),
// in the order NTFS keeps them (by upper-cased name, "." and ".." first). The folder is
// read once, when the search begins.
#include <windows.h>

#include "kernel32/paths.h"
#include "machine/codepage.h"
#include "machine/handles.h"
#include "machine/guard.h"
#include "machine/host_calls.h"

#include <dirent.h>
#include <sys/stat.h>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

namespace {

struct Found {
  std::string name;  // ANSI
  std::u16string key;
  WIN32_FIND_DATAA data;
};

struct FindObject : pw::handles::ObjectOf<pw::handles::Kind::FindSearch> {
  std::vector<Found> entries;
  size_t next = 0;
};

std::u16string folded(std::string_view ansi) {
  std::u16string w = pw::codepage::utf8ToUtf16(pw::codepage::ansiToUtf8(ansi));
  for (auto& c : w) c = pw::codepage::upcase(c);
  return w;
}

// Windows' wildcard match; "*.*" matches every name, those without a dot included.
bool matches(std::u16string_view pattern, std::u16string_view name) {
  if (pattern == u"*.*") pattern = u"*";
  size_t p = 0, n = 0, star = std::u16string_view::npos, resume = 0;
  while (n < name.size()) {
    if (p < pattern.size() && (pattern[p] == u'?' || pattern[p] == name[n])) {
      ++p;
      ++n;
    } else if (p < pattern.size() && pattern[p] == u'*') {
      star = p++;
      resume = n;
    } else if (star != std::u16string_view::npos) {
      p = star + 1;
      n = ++resume;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == u'*') ++p;
  return p == pattern.size();
}

FILETIME fileTime(const struct timespec& t) {
  // 100-ns intervals since 1601-01-01.
  uint64_t ticks = (uint64_t(t.tv_sec) + 11644473600ull) * 10000000ull + uint64_t(t.tv_nsec) / 100;
  return FILETIME{DWORD(ticks), DWORD(ticks >> 32)};
}

WIN32_FIND_DATAA describe(const std::string& ansiName, const struct stat& st) {
  WIN32_FIND_DATAA d{};
  d.dwFileAttributes = S_ISDIR(st.st_mode) ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_ARCHIVE;
  if ((st.st_mode & S_IWUSR) == 0) d.dwFileAttributes |= FILE_ATTRIBUTE_READONLY;
  d.ftCreationTime = fileTime(st.st_mtim);
  d.ftLastAccessTime = fileTime(st.st_atim);
  d.ftLastWriteTime = fileTime(st.st_mtim);
  if (!S_ISDIR(st.st_mode)) {
    d.nFileSizeHigh = DWORD(uint64_t(st.st_size) >> 32);
    d.nFileSizeLow = DWORD(st.st_size);
  }
  std::memcpy(d.cFileName, ansiName.c_str(), ansiName.size() + 1);
  return d;
}

// The matching entries of a host folder; a Win32 error, 0 on success.
DWORD readFolder(const std::string& host, bool root, std::u16string_view pattern,
                 std::vector<Found>* out) {
  DIR* dir = pw::host::opendir(host.empty() ? "/" : host.c_str());
  if (!dir)
    return errno == ENOENT || errno == ENOTDIR ? DWORD(ERROR_PATH_NOT_FOUND)
                                               : pw::paths::errorFromErrno(errno);
  std::vector<std::string> names;
  while (dirent* e = pw::host::readdir(dir)) {
    std::string name = e->d_name;
    if (root && (name == "." || name == "..")) continue;  // a drive's root has neither
    names.push_back(std::move(name));
  }
  pw::host::closedir(dir);
  for (const std::string& utf8 : names) {
    std::string ansi = pw::codepage::utf8ToAnsi(utf8);
    std::u16string key = folded(ansi);
    if (ansi.size() >= MAX_PATH || !matches(pattern, key)) continue;
    struct stat st {};
    if (pw::host::stat((host + "/" + utf8).c_str(), &st) != 0) continue;  // a dangling link
    out->push_back({ansi, key, describe(ansi, st)});
  }
  std::sort(out->begin(), out->end(), [](const Found& a, const Found& b) {
    bool dotsA = a.name == "." || a.name == "..", dotsB = b.name == "." || b.name == "..";
    if (dotsA != dotsB) return dotsA;
    return a.key < b.key;
  });
  return ERROR_SUCCESS;
}

}  // namespace

HANDLE WINAPI FindFirstFileA(LPCSTR name, LPWIN32_FIND_DATAA data) {
  return pw::guarded(INVALID_HANDLE_VALUE, ERROR_NOT_ENOUGH_MEMORY, [&]() -> HANDLE {
    if (!name || !data) {
      SetLastError(ERROR_INVALID_PARAMETER);
      return INVALID_HANDLE_VALUE;
    }
    // The pattern is the last name; the folder before it resolves as any path does.
    std::string text = name, folder, host;
    size_t cut = text.find_last_of("\\/");
    std::string folderPart = cut != std::string::npos             ? text.substr(0, cut + 1)
                             : text.size() >= 2 && text[1] == ':' ? text.substr(0, 2)
                                                                  : ".";
    std::string pattern = text.substr(cut != std::string::npos             ? cut + 1
                                      : text.size() >= 2 && text[1] == ':' ? 2
                                                                           : 0);
    if (DWORD st = pw::paths::fullPath(folderPart, &folder)) {
      SetLastError(st);
      return INVALID_HANDLE_VALUE;
    }
    if (folder.size() > 3 && folder.back() == '\\') folder.pop_back();
    if (pattern.empty()) {
      SetLastError(ERROR_FILE_NOT_FOUND);
      return INVALID_HANDLE_VALUE;
    }
    auto search = std::make_unique<FindObject>();
    DWORD st = pw::paths::hostPath(folder, &host);
    if (!st) st = readFolder(host, folder.size() == 3, folded(pattern), &search->entries);
    if (!st && search->entries.empty()) st = ERROR_FILE_NOT_FOUND;
    if (st) {
      SetLastError(st);
      return INVALID_HANDLE_VALUE;
    }
    *data = search->entries[0].data;
    search->next = 1;
    HANDLE h = pw::handles::addObject<HANDLE>(std::move(search));
    if (!h) {
      SetLastError(ERROR_NOT_ENOUGH_MEMORY);
      return INVALID_HANDLE_VALUE;
    }
    return h;
  });
}

BOOL WINAPI FindNextFileA(HANDLE h, LPWIN32_FIND_DATAA data) {
  auto* search = pw::handles::objectFor<FindObject>(h);
  if (!search || !data) return pw::fail(ERROR_INVALID_HANDLE);
  if (search->next >= search->entries.size()) return pw::fail(ERROR_NO_MORE_FILES);
  *data = search->entries[search->next++].data;
  return TRUE;
}

BOOL WINAPI FindClose(HANDLE h) {
  if (!pw::handles::objectFor<FindObject>(h)) return pw::fail(ERROR_INVALID_HANDLE);
  pw::handles::destroyObject(h);
  return TRUE;
}
