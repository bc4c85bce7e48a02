// icacls: lists the access lists of files and folders, or changes them, with the
// switches and the output of Windows' icacls:
//   icacls name [/grant[:r] Sid:perm[...]] [/deny Sid:perm[...]] [/remove[:g|:d] Sid[...]]
//               [/reset] [/inheritance:e|d|r] [/T] [/C] [/L] [/Q]
// A Sid is an account name or '*' and a SID's text. The exit code is 0, or the Win32
// error of the last object that failed (87 for a command line it cannot read, 1332 for
// an account it cannot find).
#include <windows.h>

#include "access_tools/console.h"
#include "access_tools/messages.h"
#include "access_tools/walk.h"
#include "icacls/edit.h"
#include "icacls/rights.h"

#include <cctype>
#include <cstring>
#include <string>
#include <vector>

namespace {

using access_tools::format;
using access_tools::out;

const char kUsage[] =
    "\n"
    "ICACLS name [/grant[:r] Sid:perm[...]]\n"
    "       [/deny Sid:perm [...]]\n"
    "       [/remove[:g|:d]] Sid[...]] [/T] [/C] [/L] [/Q]\n"
    "\n"
    "ICACLS name /reset [/T] [/C] [/L] [/Q]\n"
    "    replaces ACLs with default inherited ACLs for all matching files.\n"
    "\n"
    "ICACLS name /inheritance:e|d|r [/T] [/C] [/L] [/Q]\n"
    "    e - enables inheritance\n"
    "    d - disables inheritance and copy the ACEs\n"
    "    r - remove all inherited ACEs\n"
    "\n"
    "    /grant[:r] Sid:perm grants the specified user access rights. With :r,\n"
    "        the permissions replace any previously granted explicit permissions.\n"
    "        Without :r, the permissions are added to any previously granted\n"
    "        explicit permissions.\n"
    "\n"
    "    /deny Sid:perm explicitly denies the specified user access rights.\n"
    "        An explicit deny ACE is added for the stated permissions and\n"
    "        the same permissions in any explicit grant are removed.\n"
    "\n"
    "    /remove[:[g|d]] Sid removes all occurrences of Sid in the ACL. With\n"
    "        :g, it removes all occurrences of granted rights to that Sid. With\n"
    "        :d, it removes all occurrences of denied rights to that Sid.\n"
    "\n"
    "Note:\n"
    "    Sids may be in either numerical or friendly name form. If a numerical\n"
    "    form is given, affix a * to the start of the SID.\n"
    "\n"
    "    /T indicates that this operation is performed on all matching\n"
    "        files/directories below the directories specified in the name.\n"
    "\n"
    "    /C indicates that this operation will continue on all file errors.\n"
    "        Error messages will still be displayed.\n"
    "\n"
    "    /L indicates that this operation is performed on a symbolic link\n"
    "       itself versus its target.\n"
    "\n"
    "    /Q indicates that icacls should suppress success messages.\n"
    "\n"
    "    ICACLS preserves the canonical ordering of ACE entries:\n"
    "            Explicit denials\n"
    "            Explicit grants\n"
    "            Inherited denials\n"
    "            Inherited grants\n"
    "\n"
    "    perm is a permission mask and can be specified in one of two forms:\n"
    "        a sequence of simple rights:\n"
    "                N - no access\n"
    "                F - full access\n"
    "                M - modify access\n"
    "                RX - read and execute access\n"
    "                R - read-only access\n"
    "                W - write-only access\n"
    "                D - delete access\n"
    "        a comma-separated list in parentheses of specific rights:\n"
    "                DE - delete\n"
    "                RC - read control\n"
    "                WDAC - write DAC\n"
    "                WO - write owner\n"
    "                S - synchronize\n"
    "                AS - access system security\n"
    "                MA - maximum allowed\n"
    "                GR - generic read\n"
    "                GW - generic write\n"
    "                GE - generic execute\n"
    "                GA - generic all\n"
    "                RD - read data/list directory\n"
    "                WD - write data/add file\n"
    "                AD - append data/add subdirectory\n"
    "                REA - read extended attributes\n"
    "                WEA - write extended attributes\n"
    "                X - execute/traverse\n"
    "                DC - delete child\n"
    "                RA - read attributes\n"
    "                WA - write attributes\n"
    "        inheritance rights may precede either form and are applied\n"
    "        only to directories:\n"
    "                (OI) - object inherit\n"
    "                (CI) - container inherit\n"
    "                (IO) - inherit only\n"
    "                (NP) - don't propagate inherit\n"
    "                (I) - permission inherited from parent container\n";

struct Command {
  std::string name;
  std::vector<icacls::Operation> operations;
  std::vector<std::string> accounts;  // as written, beside each operation that names one
  bool recurse = false, continueOnError = false, quiet = false;
};

bool equalsNoCase(const char* a, const char* b) {
  for (; *a && *b; ++a, ++b)
    if (std::tolower(static_cast<unsigned char>(*a)) !=
        std::tolower(static_cast<unsigned char>(*b)))
      return false;
  return *a == *b;
}

// The switches after the name; the first argument it cannot read, or null.
const char* parse(int argc, char** argv, Command* command) {
  using icacls::Op;
  for (int i = 2; i < argc; ++i) {
    const char* arg = argv[i];
    Op op;
    bool withRights = false;
    if (equalsNoCase(arg, "/grant")) {
      op = Op::Grant, withRights = true;
    } else if (equalsNoCase(arg, "/grant:r")) {
      op = Op::GrantReplace, withRights = true;
    } else if (equalsNoCase(arg, "/deny")) {
      op = Op::Deny, withRights = true;
    } else if (equalsNoCase(arg, "/remove")) {
      op = Op::Remove;
    } else if (equalsNoCase(arg, "/remove:g")) {
      op = Op::RemoveGrants;
    } else if (equalsNoCase(arg, "/remove:d")) {
      op = Op::RemoveDenials;
    } else {
      if (equalsNoCase(arg, "/t")) {
        command->recurse = true;
      } else if (equalsNoCase(arg, "/c")) {
        command->continueOnError = true;
      } else if (equalsNoCase(arg, "/q")) {
        command->quiet = true;
      } else if (equalsNoCase(arg, "/l")) {
        // Links are followed here as anywhere on the machine: nothing to choose.
      } else if (equalsNoCase(arg, "/reset")) {
        command->operations.push_back(icacls::Operation{Op::Reset, {}, 0, 0});
        command->accounts.emplace_back();
      } else if (equalsNoCase(arg, "/inheritance:e") || equalsNoCase(arg, "/inheritance:d") ||
                 equalsNoCase(arg, "/inheritance:r")) {
        char kind = char(std::tolower(static_cast<unsigned char>(arg[13])));
        Op inheritance = kind == 'e'   ? Op::InheritanceEnable
                         : kind == 'd' ? Op::InheritanceDisable
                                       : Op::InheritanceRemove;
        command->operations.push_back(icacls::Operation{inheritance, {}, 0, 0});
        command->accounts.emplace_back();
      } else {
        return arg;
      }
      continue;
    }
    // The accounts (with their rights) up to the next switch; at least one.
    int first = i + 1;
    for (; i + 1 < argc && argv[i + 1][0] != '/'; ++i) {
      std::string item = argv[i + 1];
      icacls::Operation operation{op, {}, 0, 0};
      std::string account = item;
      if (withRights) {
        size_t colon = item.rfind(':');
        if (colon == std::string::npos || colon == 0 ||
            !icacls::parsePermission(std::string_view(item).substr(colon + 1), &operation.flags,
                                     &operation.mask))
          return argv[i + 1];
        account = item.substr(0, colon);
      }
      command->operations.push_back(std::move(operation));
      command->accounts.push_back(account);
    }
    if (i + 1 == first) return arg;
  }
  return nullptr;
}

void list(const access_tools::Target& target, const access_tools::ObjectSecurity& security) {
  std::string indent(target.path.size() + 1, ' ');
  std::string text = target.path;
  auto entries = access_tools::entriesOf(security.dacl);
  if (!security.dacl) text += " NULL DACL\n";
  for (size_t i = 0; i < entries.size(); ++i) {
    text += (i ? indent : std::string(" ")) + access_tools::accountName(entries[i].sid.data()) +
            ":" + icacls::describeEntry(entries[i]) + "\n";
  }
  if (security.dacl && entries.empty()) text += "\n";
  out(text + "\n");
}

DWORD change(const Command& command, const access_tools::Target& target,
             const access_tools::ObjectSecurity& security) {
  icacls::Edited edited = icacls::apply(command.operations, access_tools::entriesOf(security.dacl),
                                        security.isProtected, target.folder);
  return access_tools::writeEntries(target.path, edited.entries, edited.protection);
}

int run(int argc, char** argv) {
  if (argc < 2) {
    out(kUsage);
    return ERROR_INVALID_PARAMETER;
  }
  if (std::strcmp(argv[1], "/?") == 0) {
    out(kUsage);
    return 0;
  }
  Command command;
  command.name = argv[1];
  if (const char* bad = parse(argc, argv, &command)) {
    out(format("Invalid parameter \"%s\"\n", bad));
    return ERROR_INVALID_PARAMETER;
  }
  for (size_t i = 0; i < command.operations.size(); ++i) {
    if (command.accounts[i].empty()) continue;
    if (DWORD st =
            access_tools::sidOfAccount(command.accounts[i], true, &command.operations[i].sid)) {
      out(command.accounts[i] + ": " + access_tools::systemMessage(st) + "\n");
      out("Successfully processed 0 files; Failed processing 1 files\n");
      return int(st);
    }
  }
  unsigned done = 0, failed = 0;
  DWORD last = ERROR_SUCCESS;
  bool listing = command.operations.empty();
  DWORD st =
      access_tools::walk(command.name, command.recurse, [&](const access_tools::Target& target) {
        access_tools::ObjectSecurity security;
        DWORD error = access_tools::readSecurity(target.path, &security);
        if (!error && listing) list(target, security);
        if (!error && !listing) error = change(command, target, security);
        if (error) {
          out(target.path + ": " + access_tools::systemMessage(error) + "\n");
          ++failed;
          last = error;
          return command.continueOnError;
        }
        if (!listing && !command.quiet) out("processed file: " + target.path + "\n");
        ++done;
        return true;
      });
  if (st) {
    out(command.name + ": " + access_tools::systemMessage(st) + "\n");
    ++failed;
    last = st;
  }
  out(format("Successfully processed %u files; Failed processing %u files\n", done, failed));
  return int(last);
}

}  // namespace

int main(int argc, char** argv) {
  int code = run(argc, argv);
  access_tools::flush();
  return code;
}
