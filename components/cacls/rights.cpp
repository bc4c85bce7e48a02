#include "cacls/rights.h"

namespace cacls {
namespace {

constexpr ACCESS_MASK kRead = FILE_GENERIC_READ | FILE_GENERIC_EXECUTE;
constexpr ACCESS_MASK kWrite = FILE_GENERIC_WRITE;
constexpr ACCESS_MASK kChange =
    FILE_GENERIC_READ | FILE_GENERIC_WRITE | FILE_GENERIC_EXECUTE | DELETE;

struct Named {
  const char* name;
  ACCESS_MASK mask;
};

// The rights a special access lists, in its order: generic, standard, the file
// groups it holds whole, then each file right.
constexpr Named kRights[] = {
    {"GENERIC_READ", GENERIC_READ},
    {"GENERIC_WRITE", GENERIC_WRITE},
    {"GENERIC_EXECUTE", GENERIC_EXECUTE},
    {"GENERIC_ALL", GENERIC_ALL},
    {"DELETE", DELETE},
    {"READ_CONTROL", READ_CONTROL},
    {"WRITE_DAC", WRITE_DAC},
    {"WRITE_OWNER", WRITE_OWNER},
    {"SYNCHRONIZE", SYNCHRONIZE},
    {"ACCESS_SYSTEM_SECURITY", ACCESS_SYSTEM_SECURITY},
    {"FILE_GENERIC_READ", FILE_GENERIC_READ},
    {"FILE_GENERIC_WRITE", FILE_GENERIC_WRITE},
    {"FILE_GENERIC_EXECUTE", FILE_GENERIC_EXECUTE},
    {"FILE_READ_DATA", FILE_READ_DATA},
    {"FILE_WRITE_DATA", FILE_WRITE_DATA},
    {"FILE_APPEND_DATA", FILE_APPEND_DATA},
    {"FILE_READ_EA", FILE_READ_EA},
    {"FILE_WRITE_EA", FILE_WRITE_EA},
    {"FILE_EXECUTE", FILE_EXECUTE},
    {"FILE_DELETE_CHILD", FILE_DELETE_CHILD},
    {"FILE_READ_ATTRIBUTES", FILE_READ_ATTRIBUTES},
    {"FILE_WRITE_ATTRIBUTES", FILE_WRITE_ATTRIBUTES},
};

}  // namespace

bool parseRights(const std::string& letter, bool allowNone, ACCESS_MASK* mask) {
  if (letter.size() != 1) return false;
  switch (letter[0] | 0x20) {
    case 'r':
      *mask = kRead;
      return true;
    case 'w':
      *mask = kWrite;
      return true;
    case 'c':
      *mask = kChange;
      return true;
    case 'f':
      *mask = FILE_ALL_ACCESS;
      return true;
    case 'n':
      *mask = 0;
      return allowNone;
    default:
      return false;
  }
}

std::string describeEntry(const access_tools::Entry& entry, size_t column) {
  std::string text;
  if (entry.flags & OBJECT_INHERIT_ACE) text += "(OI)";
  if (entry.flags & CONTAINER_INHERIT_ACE) text += "(CI)";
  if (entry.flags & INHERIT_ONLY_ACE) text += "(IO)";
  if (entry.flags & NO_PROPAGATE_INHERIT_ACE) text += "(NP)";
  if (entry.inherited()) text += "(ID)";
  // A denial of everything is "no access", N.
  if (entry.denies() && entry.mask == FILE_ALL_ACCESS) return text + "N";
  if (entry.denies()) text += "(DENY)";
  for (const Named& letter :
       {Named{"F", FILE_ALL_ACCESS}, Named{"C", kChange}, Named{"W", kWrite}, Named{"R", kRead}})
    if (entry.mask == letter.mask) return text + letter.name;
  text += "(special access:)";
  for (const Named& right : kRights)
    if ((entry.mask & right.mask) == right.mask)
      text += "\n" + std::string(column, ' ') + right.name;
  return text;
}

}  // namespace cacls
