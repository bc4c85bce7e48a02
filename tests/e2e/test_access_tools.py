"""The machine's access tools, cacls and icacls in c:\\windows\\system32: run by 'R' as a
client runs them, and on their own with the switches, listings and exit codes of
Windows' tools.

Wine 8's own cacls and icacls are placeholders that print nothing and change nothing:
under Wine the README's example answers 0 with an empty report, and the other cases,
which look at what the tools did, are portable only.
"""

import os
import subprocess

from harness import TargetTest

REPORT = r"PWY_log\cacls.log"
ROOT_TO_FOLDER = [r"BUILTIN\Administrators:(I)(OI)(CI)(F)", r"NT AUTHORITY\SYSTEM:(I)(OI)(CI)(F)",
                  r"BUILTIN\Users:(I)(OI)(CI)(RX)",
                  r"NT AUTHORITY\Authenticated Users:(I)(OI)(CI)(M)"]
ROOT_TO_FILE = [r"BUILTIN\Administrators:(I)(F)", r"NT AUTHORITY\SYSTEM:(I)(F)",
                r"BUILTIN\Users:(I)(RX)", r"NT AUTHORITY\Authenticated Users:(I)(M)"]
SUMMARY = "Successfully processed %d files; Failed processing %d files"


def listing(path, entries):
    """icacls' listing of one object: the path, then each entry under the first."""
    indent = " " * (len(path) + 1)
    return [path + " " + entries[0]] + [indent + e for e in entries[1:]] + [""]


class AccessToolsTest(TargetTest):
    def report(self, relative=REPORT):
        path = self.t.c_path(relative)
        if not os.path.exists(path):
            return None
        with open(path, "rb") as f:
            data = f.read()
        self.assertNotIn(b"\n", data.replace(b"\r\n", b""), "lines end in CR LF")
        return data.decode("cp437").split("\r\n")[:-1] if data else []

    def tool(self, name, *args, stdin=b""):
        """Runs a tool of the machine's system folder; (exit code, lines). The code is the
        low byte of the Win32 error: a host process's exit status keeps 8 bits."""
        program = self.t.c_path(r"windows\system32\%s.exe" % name)
        proc = subprocess.run([program] + list(args), env=self.t.env, input=stdin,
                              capture_output=True, timeout=60, cwd=self.t.c_path())
        self.assertEqual(proc.stderr, b"")
        out = proc.stdout.decode("cp437")
        self.assertNotIn("\n", out.replace("\r\n", ""), "lines end in CR LF")
        return proc.returncode, out.split("\r\n")[:-1]

    def portable_only(self):
        self.skip_on("wine", "Wine's cacls and icacls change and list nothing")
        self.t.reg("query", r"HKLM\Software")  # boots the machine

    def folder(self, relative, files=()):
        os.makedirs(self.t.c_path(relative), exist_ok=True)
        for name in files:
            with open(self.t.c_path(relative + "\\" + name), "w") as f:
                f.write(name)

    def test_the_readme_example_sets_rights_that_icacls_then_lists(self):
        self.t.trace_on()  # the trace writer makes c:\PWY_log, where the report goes
        self.folder("data")
        r = self.t.run(r"R,cacls c:\data /E /G Users:R > c:\PWY_log\cacls.log")
        self.assertEqual(r.code, 0, r)
        if self.t.name == "wine":
            self.assertEqual(self.report(), [])
            return
        self.assertEqual(self.report(), [r"processed dir: c:\data"])
        self.folder("data", ["new.txt"])
        self.assertEqual(self.t.run(r"R,icacls c:\data > c:\PWY_log\icacls.log").code, 0)
        self.assertEqual(self.report(r"PWY_log\icacls.log"),
                         listing(r"c:\data", [r"BUILTIN\Users:(OI)(CI)(RX)"] + ROOT_TO_FOLDER) +
                         [SUMMARY % (1, 0)])
        # What the folder passes on reaches a file made after the change.
        self.assertEqual(self.t.run(r"R,icacls c:\data\new.txt > c:\PWY_log\file.log").code, 0)
        self.assertEqual(self.report(r"PWY_log\file.log"),
                         listing(r"c:\data\new.txt", [r"BUILTIN\Users:(I)(RX)"] + ROOT_TO_FILE) +
                         [SUMMARY % (1, 0)])

    def test_icacls_changes_lists_as_its_switches_say(self):
        self.portable_only()
        self.folder(r"tree\sub", ["a.txt"])
        self.folder("tree", ["b.txt"])
        code, out = self.tool("icacls", r"c:\tree", "/grant", "Users:(OI)(CI)F", "*S-1-5-32-546:R",
                              "/deny", "Everyone:(W)")
        self.assertEqual((code, out), (0, [r"processed file: c:\tree", SUMMARY % (1, 0)]))
        self.assertEqual(self.tool("icacls", r"c:\tree"), (0, listing(r"c:\tree", [
            "Everyone:(DENY)(W)", r"BUILTIN\Users:(OI)(CI)(F)", r"BUILTIN\Guests:(R)"] +
            ROOT_TO_FOLDER) + [SUMMARY % (1, 0)]))
        # :r replaces the account's grants; /remove:g drops the other's.
        code, out = self.tool("icacls", r"c:\tree", "/grant:r", "users:(CI)RX", "/remove:g",
                              "Guests", "/Q")
        self.assertEqual((code, out), (0, [SUMMARY % (1, 0)]))
        self.assertEqual(self.tool("icacls", r"c:\tree\*", "/T")[1],
                         listing(r"c:\tree\b.txt", ROOT_TO_FILE) +
                         listing(r"c:\tree\sub", [r"BUILTIN\Users:(I)(CI)(RX)"] + ROOT_TO_FOLDER) +
                         listing(r"c:\tree\sub\a.txt", ROOT_TO_FILE) + [SUMMARY % (3, 0)])
        # /T gives each object below the entry; a file takes it without inheritance flags.
        code, out = self.tool("icacls", r"c:\tree\sub", "/grant", "Guests:(OI)(CI)R", "/T")
        self.assertEqual((code, out), (0, [r"processed file: c:\tree\sub",
                                           r"processed file: c:\tree\sub\a.txt", SUMMARY % (2, 0)]))
        self.assertEqual(self.tool("icacls", r"c:\tree\sub\a.txt")[1],
                         listing(r"c:\tree\sub\a.txt", [r"BUILTIN\Guests:(R)",
                                                         r"BUILTIN\Guests:(I)(R)"] + ROOT_TO_FILE) +
                         [SUMMARY % (1, 0)])

    def test_icacls_turns_inheritance_off_and_on(self):
        self.portable_only()
        self.folder("copied")
        self.folder("cut", ["f.txt"])
        self.assertEqual(self.tool("icacls", r"c:\copied", "/inheritance:d", "/Q")[0], 0)
        self.assertEqual(self.tool("icacls", r"c:\copied")[1],
                         listing(r"c:\copied", [e.replace("(I)", "") for e in ROOT_TO_FOLDER]) +
                         [SUMMARY % (1, 0)])
        self.assertEqual(self.tool("icacls", r"c:\cut", "/inheritance:r", "/grant", "Users:(OI)F",
                                   "/Q")[0], 0)
        self.assertEqual(self.tool("icacls", r"c:\cut\f.txt")[1],
                         listing(r"c:\cut\f.txt", [r"BUILTIN\Users:(I)(F)"]) + [SUMMARY % (1, 0)])
        self.assertEqual(self.tool("icacls", r"c:\cut", "/reset", "/T", "/Q"),
                         (0, [SUMMARY % (2, 0)]))
        self.assertEqual(self.tool("icacls", r"c:\cut\f.txt")[1],
                         listing(r"c:\cut\f.txt", ROOT_TO_FILE) + [SUMMARY % (1, 0)])

    def test_icacls_answers_bad_input_with_windows_codes_and_messages(self):
        self.portable_only()
        self.folder("x", ["a.txt", "z.txt"])
        os.mkfifo(self.t.c_path(r"x\m.pipe"))  # keeps no list: every change to it fails
        cases = [
            ((r"c:\x", "/grant", "nobody:F"), 1332,
             ["nobody: No mapping between account names and security IDs was done.",
              SUMMARY % (0, 1)]),
            ((r"c:\x", "/grant", "Users:Q"), 87, ['Invalid parameter "Users:Q"']),
            ((r"c:\x", "/grant"), 87, ['Invalid parameter "/grant"']),
            ((r"c:\x", "/setowner", "Users"), 87, ['Invalid parameter "/setowner"']),
            ((r"c:\x", "/grant", "*S-1-5-x:F"), 1337,
             ["*S-1-5-x: The security ID structure is invalid.", SUMMARY % (0, 1)]),
            ((r"c:\x\missing.txt",), 2,
             [r"c:\x\missing.txt: The system cannot find the file specified.", SUMMARY % (0, 1)]),
            ((r"c:\nofolder\*",), 3,
             [r"c:\nofolder\*: The system cannot find the path specified.", SUMMARY % (0, 1)]),
            # Without /C the first failure ends the run; with it the run goes on.
            ((r"c:\x\*", "/grant", "Users:F"), 5,
             [r"processed file: c:\x\a.txt", r"c:\x\m.pipe: Access is denied.",
              SUMMARY % (1, 1)]),
            ((r"c:\x\*", "/grant", "Users:F", "/C", "/Q"), 5,
             [r"c:\x\m.pipe: Access is denied.", SUMMARY % (2, 1)]),
        ]
        for args, code, out in cases:
            with self.subTest(args=args):
                self.assertEqual(self.tool("icacls", *args), (code & 0xFF, out))
        self.assertEqual(self.tool("icacls", "/?")[0], 0)

    def test_cacls_edits_replaces_and_lists(self):
        self.portable_only()
        self.folder(r"c1\sub", ["f.txt"])
        code, out = self.tool("cacls", r"c:\c1", "/T", "/E", "/G", "Users:C", "/D", "Guests")
        self.assertEqual((code, out), (0, [r"processed dir: c:\c1", r"processed dir: c:\c1\sub",
                                           r"processed file: c:\c1\sub\f.txt"]))
        indent = " " * len(r"c:\c1 ")
        self.assertEqual(self.tool("cacls", r"c:\c1"), (0, [
            r"c:\c1 BUILTIN\Guests:(OI)(CI)N", indent + r"BUILTIN\Users:(OI)(CI)C",
            indent + r"BUILTIN\Administrators:(OI)(CI)(ID)F",
            indent + r"NT AUTHORITY\SYSTEM:(OI)(CI)(ID)F", indent + r"BUILTIN\Users:(OI)(CI)(ID)R",
            indent + r"NT AUTHORITY\Authenticated Users:(OI)(CI)(ID)C", ""]))
        # /R takes the user's grants, not its denials.
        self.assertEqual(self.tool("cacls", r"c:\c1", "/E", "/R", "Users"),
                         (0, [r"processed dir: c:\c1"]))
        self.assertEqual(self.tool("icacls", r"c:\c1")[1][:2],
                         [r"c:\c1 BUILTIN\Guests:(OI)(CI)(DENY)(F)",
                          r"      BUILTIN\Administrators:(I)(OI)(CI)(F)"])
        # Without /E the list is replaced after the question, and inherits no more.
        self.assertEqual(self.tool("cacls", r"c:\c1", "/G", "Everyone:F", stdin=b"n\r\n"),
                         (0, ["Are you sure (Y/N)?"]))
        code, out = self.tool("cacls", r"c:\c1", "/P", "Everyone:R", stdin=b"Y\r\n")
        self.assertEqual((code, out), (0, [r"Are you sure (Y/N)?processed dir: c:\c1"]))
        self.assertEqual(self.tool("cacls", r"c:\c1")[1], [r"c:\c1 Everyone:(OI)(CI)R", ""])
        inherited = [line.strip() for line in self.tool("icacls", r"c:\c1\sub")[1] if "(I)" in line]
        self.assertEqual(inherited, ["Everyone:(I)(OI)(CI)(RX)"])

    def test_cacls_answers_bad_input_with_windows_codes(self):
        self.portable_only()
        self.folder("c2")
        code, out = self.tool("cacls", r"c:\c2", "/E", "/G", "nobody:R")
        self.assertEqual((code, out),
                         (1332 & 0xFF, ["No mapping between account names and security IDs was done."]))
        code, out = self.tool("cacls", r"c:\c2\missing", "/E", "/G", "Users:R")
        self.assertEqual((code, out), (2, ["The system cannot find the file specified."]))
        for args in [(r"c:\c2", "/G", "Users:N"), (r"c:\c2", "/R", "Users"), (r"c:\c2", "/X"),
                     (r"c:\c2", "/E", "/G")]:
            with self.subTest(args=args):
                code, out = self.tool("cacls", *args)
                self.assertEqual(code, 87)
                self.assertEqual(out[0], "NOTE: Cacls is now deprecated, please use Icacls.")
        self.assertEqual(self.tool("icacls", r"c:\c2")[1], listing(r"c:\c2", ROOT_TO_FOLDER) +
                         [SUMMARY % (1, 0)])
