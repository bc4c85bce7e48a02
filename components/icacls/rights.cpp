#include "icacls/rights.h"

#include <cctype>
#include <vector>

namespace icacls {
namespace {

struct Right {
  const char* name;
  ACCESS_MASK mask;
};

// The simple rights, largest first, as a listing prefers them.
constexpr Right kSimple[] = {
    {"F", FILE_ALL_ACCESS},
    {"M", FILE_GENERIC_READ | FILE_GENERIC_WRITE | FILE_GENERIC_EXECUTE | DELETE},
    {"RX", FILE_GENERIC_READ | FILE_GENERIC_EXECUTE},
    {"R", FILE_GENERIC_READ},
    {"W", FILE_GENERIC_WRITE & ~READ_CONTROL},
    {"D", DELETE},
};

constexpr Right kSpecific[] = {
    {"DE", DELETE},
    {"RC", READ_CONTROL},
    {"WDAC", WRITE_DAC},
    {"WO", WRITE_OWNER},
    {"S", SYNCHRONIZE},
    {"AS", ACCESS_SYSTEM_SECURITY},
    {"MA", MAXIMUM_ALLOWED},
    {"GR", GENERIC_READ},
    {"GW", GENERIC_WRITE},
    {"GE", GENERIC_EXECUTE},
    {"GA", GENERIC_ALL},
    {"RD", FILE_READ_DATA},
    {"WD", FILE_WRITE_DATA},
    {"AD", FILE_APPEND_DATA},
    {"REA", FILE_READ_EA},
    {"WEA", FILE_WRITE_EA},
    {"X", FILE_EXECUTE},
    {"DC", FILE_DELETE_CHILD},
    {"RA", FILE_READ_ATTRIBUTES},
    {"WA", FILE_WRITE_ATTRIBUTES},
};

constexpr Right kFlags[] = {
    {"OI", OBJECT_INHERIT_ACE},
    {"CI", CONTAINER_INHERIT_ACE},
    {"IO", INHERIT_ONLY_ACE},
    {"NP", NO_PROPAGATE_INHERIT_ACE},
};

std::string upper(std::string_view text) {
  std::string s(text);
  for (char& c : s) c = char(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

bool lookup(const Right* table, size_t count, const std::string& name, ACCESS_MASK* mask) {
  for (size_t i = 0; i < count; ++i) {
    if (name == table[i].name) {
      *mask = table[i].mask;
      return true;
    }
  }
  return false;
}

// A run of simple rights written together: "F", "RX", "RXW"; "N" is no access.
bool parseSimpleRun(const std::string& run, ACCESS_MASK* mask) {
  if (run.empty()) return false;
  for (size_t i = 0; i < run.size();) {
    if (run.compare(i, 2, "RX") == 0) {
      *mask |= kSimple[2].mask;
      i += 2;
      continue;
    }
    ACCESS_MASK m = 0;
    if (run[i] != 'N' && !lookup(kSimple, std::size(kSimple), std::string(1, run[i]), &m))
      return false;
    *mask |= m;
    ++i;
  }
  return true;
}

}  // namespace

bool parsePermission(std::string_view text, BYTE* flags, ACCESS_MASK* mask) {
  std::string s = upper(text);
  *flags = 0;
  *mask = 0;
  bool rights = false;
  for (size_t i = 0; i < s.size();) {
    if (s[i] != '(') {
      size_t end = s.find('(', i);
      if (end == std::string::npos) end = s.size();
      if (!parseSimpleRun(s.substr(i, end - i), mask)) return false;
      rights = true;
      i = end;
      continue;
    }
    size_t close = s.find(')', i);
    if (close == std::string::npos) return false;
    std::string group = s.substr(i + 1, close - i - 1);
    i = close + 1;
    ACCESS_MASK flag = 0;
    if (lookup(kFlags, std::size(kFlags), group, &flag)) {
      *flags |= BYTE(flag);
      continue;
    }
    // A list of rights, simple or specific.
    for (size_t at = 0; at <= group.size();) {
      size_t comma = group.find(',', at);
      if (comma == std::string::npos) comma = group.size();
      std::string name = group.substr(at, comma - at);
      ACCESS_MASK m = 0;
      if (!lookup(kSpecific, std::size(kSpecific), name, &m) && !parseSimpleRun(name, &m))
        return false;
      *mask |= m;
      at = comma + 1;
    }
    rights = true;
  }
  return rights;
}

std::string describeRights(ACCESS_MASK mask) {
  std::vector<std::string> parts;
  ACCESS_MASK rest = mask;
  // One of the nested simple rights (F holds M, M holds RX and W, RX holds R), then W and
  // D where the first did not hold them.
  for (size_t i = 0; i < 4; ++i) {
    if ((mask & kSimple[i].mask) == kSimple[i].mask) {
      parts.push_back(kSimple[i].name);
      rest &= ~kSimple[i].mask;
      break;
    }
  }
  for (size_t i = 4; i < std::size(kSimple); ++i) {
    if ((rest & kSimple[i].mask) && (mask & kSimple[i].mask) == kSimple[i].mask) {
      parts.push_back(kSimple[i].name);
      rest &= ~kSimple[i].mask;
    }
  }
  for (const Right& right : kSpecific) {
    if (rest & right.mask) {
      parts.push_back(right.name);
      rest &= ~right.mask;
    }
  }
  if (parts.empty()) return "(N)";
  std::string text = "(";
  for (size_t i = 0; i < parts.size(); ++i) text += (i ? "," : "") + parts[i];
  return text + ")";
}

std::string describeEntry(const access_tools::Entry& entry) {
  std::string text;
  if (entry.inherited()) text += "(I)";
  for (const Right& flag : kFlags)
    if (entry.flags & flag.mask) text += "(" + std::string(flag.name) + ")";
  if (entry.denies()) text += "(DENY)";
  return text + describeRights(entry.mask);
}

}  // namespace icacls
