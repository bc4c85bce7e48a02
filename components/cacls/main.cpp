// cacls: lists the access lists of files and folders, or changes them, with the
// switches and the output of Windows' cacls:
//   cacls filename [/T] [/E] [/C] [/G user:perm] [/R user [...]] [/P user:perm [...]]
//                  [/D user [...]]
// Granted and denied entries of a folder are inherited by what it holds ((OI)(CI)).
// Without /E the list is replaced, after the question "Are you sure (Y/N)?". The exit
// code is 0, or the Win32 error of the last failure (87 for a command line it cannot
// read, 1332 for an account it cannot find).
#include <windows.h>

#include <aclapi.h>

#include "abi.h"  // src/win32
#include "access_tools/console.h"
#include "access_tools/messages.h"
#include "access_tools/walk.h"
#include "cacls/rights.h"

#include <cctype>
#include <cstddef>
#include <cstring>
#include <string>
#include <vector>

namespace {

static_assert(sizeof(EXPLICIT_ACCESS_A) == win32::abiSize(32, 48));
static_assert(offsetof(EXPLICIT_ACCESS_A, Trustee) == win32::abiSize(12, 16));

using access_tools::out;

const char kUsage[] =
    "NOTE: Cacls is now deprecated, please use Icacls.\n"
    "\n"
    "Displays or modifies access control lists (ACLs) of files\n"
    "\n"
    "CACLS filename [/T] [/E] [/C] [/G user:perm] [/R user [...]]\n"
    "               [/P user:perm [...]] [/D user [...]]\n"
    "   filename      Displays ACLs.\n"
    "   /T            Changes ACLs of specified files in\n"
    "                 the current directory and all subdirectories.\n"
    "   /E            Edit ACL instead of replacing it.\n"
    "   /C            Continue on access denied errors.\n"
    "   /G user:perm  Grant specified user access rights.\n"
    "                 Perm can be: R  Read\n"
    "                              W  Write\n"
    "                              C  Change (write)\n"
    "                              F  Full control\n"
    "   /R user       Revoke specified user's access rights (only valid with /E).\n"
    "   /P user:perm  Replace specified user's access rights.\n"
    "                 Perm can be: N  None\n"
    "                              R  Read\n"
    "                              W  Write\n"
    "                              C  Change (write)\n"
    "                              F  Full control\n"
    "   /D user       Deny specified user access.\n"
    "Wildcards can be used to specify more than one file in a command.\n"
    "You can specify more than one user in a command.\n";

struct Change {
  ACCESS_MODE mode;
  std::string account;
  ACCESS_MASK mask = 0;
  access_tools::Sid sid;
};

struct Command {
  std::string name;
  std::vector<Change> changes;
  bool recurse = false, edit = false, continueOnError = false;
};

bool isSwitch(const char* arg, char letter) {
  return arg[0] == '/' && std::tolower(static_cast<unsigned char>(arg[1])) == letter && !arg[2];
}

// The switches after the file name; false for anything it cannot read.
bool parse(int argc, char** argv, Command* command) {
  for (int i = 2; i < argc; ++i) {
    const char* arg = argv[i];
    if (isSwitch(arg, 't')) {
      command->recurse = true;
      continue;
    }
    if (isSwitch(arg, 'e')) {
      command->edit = true;
      continue;
    }
    if (isSwitch(arg, 'c')) {
      command->continueOnError = true;
      continue;
    }
    char kind = arg[0] == '/' && arg[1] && !arg[2]
                    ? char(std::tolower(static_cast<unsigned char>(arg[1])))
                    : 0;
    if (kind != 'g' && kind != 'r' && kind != 'p' && kind != 'd') return false;
    int first = i + 1;
    for (; i + 1 < argc && argv[i + 1][0] != '/'; ++i) {
      std::string item = argv[i + 1];
      Change change{kind == 'g'   ? GRANT_ACCESS
                    : kind == 'p' ? SET_ACCESS
                    : kind == 'd' ? DENY_ACCESS
                                  : REVOKE_ACCESS,
                    item,
                    0,
                    {}};
      if (kind == 'g' || kind == 'p') {
        size_t colon = item.rfind(':');
        if (colon == std::string::npos || colon == 0 ||
            !cacls::parseRights(item.substr(colon + 1), kind == 'p', &change.mask))
          return false;
        change.account = item.substr(0, colon);
      }
      if (kind == 'd') change.mask = FILE_ALL_ACCESS;
      command->changes.push_back(std::move(change));
    }
    if (i + 1 == first) return false;
  }
  // Revoking edits a list; it cannot replace one.
  for (const Change& change : command->changes)
    if (change.mode == REVOKE_ACCESS && !command->edit) return false;
  return true;
}

std::string fullPath(const std::string& path) {
  char buffer[MAX_PATH];
  DWORD n = GetFullPathNameA(path.c_str(), MAX_PATH, buffer, nullptr);
  return n && n < MAX_PATH ? std::string(buffer, n) : path;
}

void list(const std::string& path, const access_tools::ObjectSecurity& security) {
  std::string text = path;
  auto entries = access_tools::entriesOf(security.dacl);
  for (size_t i = 0; i < entries.size(); ++i) {
    std::string account = access_tools::accountName(entries[i].sid.data());
    text += (i ? std::string(path.size() + 1, ' ') : std::string(" ")) + account + ":" +
            cacls::describeEntry(entries[i], path.size() + 1 + account.size() + 1) + "\n";
  }
  if (entries.empty()) text += "\n";
  out(text + "\n");
}

DWORD change(const Command& command, const access_tools::Target& target,
             const access_tools::ObjectSecurity& security) {
  std::vector<EXPLICIT_ACCESS_A> entries;
  for (const Change& c : command.changes) {
    EXPLICIT_ACCESS_A entry{};
    entry.grfAccessMode = c.mode;
    entry.grfAccessPermissions = c.mask;
    entry.grfInheritance = target.folder ? SUB_CONTAINERS_AND_OBJECTS_INHERIT : NO_INHERITANCE;
    BuildTrusteeWithSidA(&entry.Trustee, const_cast<BYTE*>(c.sid.data()));
    entries.push_back(entry);
    // None: whatever the user had goes, and everything is denied.
    if (c.mode == SET_ACCESS && !c.mask) {
      entry.grfAccessMode = DENY_ACCESS;
      entry.grfAccessPermissions = FILE_ALL_ACCESS;
      entries.push_back(entry);
    }
  }
  win32::LocalMemory list;
  PACL acl = nullptr;
  DWORD st = SetEntriesInAclA(ULONG(entries.size()), entries.data(),
                              command.edit ? security.dacl : nullptr, &acl);
  list.reset(acl);
  if (st) return st;
  if (!acl) return ERROR_INVALID_ACL;
  return SetNamedSecurityInfoA(
      const_cast<char*>(target.path.c_str()), SE_FILE_OBJECT,
      DACL_SECURITY_INFORMATION | (command.edit ? 0 : PROTECTED_DACL_SECURITY_INFORMATION), nullptr,
      nullptr, acl, nullptr);
}

int run(int argc, char** argv) {
  Command command;
  if (argc < 2 || std::strcmp(argv[1], "/?") == 0 || argv[1][0] == '/' ||
      !parse(argc, argv, &command)) {
    out(kUsage);
    return argc >= 2 && std::strcmp(argv[1], "/?") == 0 ? 0 : int(ERROR_INVALID_PARAMETER);
  }
  command.name = argv[1];
  for (Change& c : command.changes) {
    if (DWORD st = access_tools::sidOfAccount(c.account, false, &c.sid)) {
      out(access_tools::systemMessage(st) + "\n");
      return int(st);
    }
  }
  bool listing = command.changes.empty();
  if (!listing && !command.edit) {
    out("Are you sure (Y/N)?");
    std::string answer;
    if (!access_tools::readLine(&answer) || answer.empty() || (answer[0] | 0x20) != 'y') {
      out("\n");
      return 0;
    }
  }
  DWORD last = ERROR_SUCCESS;
  DWORD st =
      access_tools::walk(command.name, command.recurse, [&](const access_tools::Target& target) {
        std::string path = fullPath(target.path);
        access_tools::ObjectSecurity security;
        DWORD error = access_tools::readSecurity(target.path, &security);
        if (!error && listing) list(path, security);
        if (!error && !listing) error = change(command, target, security);
        if (error) {
          out(path + ": " + access_tools::systemMessage(error) + "\n");
          last = error;
          return command.continueOnError;
        }
        if (!listing) out((target.folder ? "processed dir: " : "processed file: ") + path + "\n");
        return true;
      });
  if (st) {
    out(access_tools::systemMessage(st) + "\n");
    return int(st);
  }
  return int(last);
}

}  // namespace

int main(int argc, char** argv) {
  int code = run(argc, argv);
  access_tools::flush();
  return code;
}
