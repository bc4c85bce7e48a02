"""End-to-end tests of `pwmachine reg` on the portable machine.

Each test gets a fresh machine root in a temporary folder and runs the portable
pwmachine from PW_BIN_DIR, as a script would. Expected outputs are written out
in full: reg.exe's layout is the contract, so a stray blank or space is a fault.
The expected registry script below is the one Wine's own `reg export` writes
for the same keys and values.
"""

import glob
import os
import random
import sqlite3
import subprocess
import tempfile
import unittest

BIN_DIR = os.environ.get("PW_BIN_DIR", "")
PWMACHINE = os.path.join(BIN_DIR, "pwmachine")
KEY = "HKCU\\Software\\PwTest"
LONG_KEY = "HKEY_CURRENT_USER\\Software\\PwTest"
NOT_FOUND = "ERROR: The system was unable to find the specified registry key or value.\n"
DONE = "The operation completed successfully.\n"


def script_bytes(text):
    """A version 5 registry script as the file holds it: UTF-16LE with a BOM."""
    return b"\xff\xfe" + text.encode("utf-16-le")


@unittest.skipUnless(os.path.isfile(PWMACHINE), "set PW_BIN_DIR to the portable build's bin")
class PwmachineCase(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.TemporaryDirectory(prefix="pwm-reg-")
        self.addCleanup(self.dir.cleanup)
        self.root = os.path.join(self.dir.name, "machine")
        self.env = dict(os.environ, PW_MACHINE_ROOT=self.root)

    def run_pwm(self, *args):
        """(exit code, stdout, stderr); output in the machine's code page."""
        r = subprocess.run([PWMACHINE, *args], env=self.env, cwd=self.dir.name,
                           capture_output=True, timeout=60)
        return r.returncode, r.stdout.decode("cp1252"), r.stderr.decode("cp1252")

    def ok(self, *args):
        rc, out, err = self.run_pwm(*args)
        self.assertEqual((rc, err), (0, ""), args)
        return out

    def fails(self, *args):
        rc, out, err = self.run_pwm(*args)
        self.assertEqual(rc, 1, args)
        self.assertEqual(out, "", args)
        self.assertTrue(err.startswith("ERROR: "), (args, err))
        return err

    def add(self, *args):
        self.assertEqual(self.ok("reg", "add", *args, "/f"), DONE)

    def path(self, name):
        return os.path.join(self.dir.name, name)

    def write(self, name, data):
        with open(self.path(name), "wb") as f:
            f.write(data)

    def read(self, name):
        with open(self.path(name), "rb") as f:
            return f.read()

    def stored(self, name):
        """(type, bytes) of the value `name` as the hives hold it: the one place
        where a value's exact bytes can be seen from outside."""
        found = []
        for db in glob.glob(os.path.join(self.root, "registry", "*.db")):
            con = sqlite3.connect(db)
            try:
                found += con.execute("SELECT type, data FROM vals WHERE name = ?",
                                     (name,)).fetchall()
            finally:
                con.close()
        self.assertEqual(len(found), 1, name)
        return found[0][0], bytes(found[0][1])


class QueryTest(PwmachineCase):
    def test_listing_shows_every_type_as_reg_exe_does(self):
        self.add(KEY, "/ve", "/d", "unnamed")
        self.add(KEY, "/v", "Text", "/d", "Hello, World")
        self.add(KEY, "/v", "Path", "/t", "REG_EXPAND_SZ", "/d", "%SystemRoot%\\x")
        self.add(KEY, "/v", "List", "/t", "REG_MULTI_SZ", "/d", "a\\0b\\0c")
        self.add(KEY, "/v", "Count", "/t", "REG_DWORD", "/d", "291")
        self.add(KEY, "/v", "Big", "/t", "REG_QWORD", "/d", "0x123456789ABC")
        self.add(KEY, "/v", "Blob", "/t", "REG_BINARY", "/d", "aBcdE")
        self.add(KEY, "/v", "Nothing", "/t", "REG_NONE", "/d", "hi")
        self.add(KEY, "/v", "Empty", "/t", "REG_BINARY")
        self.add(KEY + "\\beta")
        self.add(KEY + "\\Alpha")
        self.assertEqual(self.ok("reg", "query", KEY), (
            "\n"
            f"{LONG_KEY}\n"
            "    (Default)    REG_SZ    unnamed\n"
            "    Text    REG_SZ    Hello, World\n"
            "    Path    REG_EXPAND_SZ    %SystemRoot%\\x\n"
            "    List    REG_MULTI_SZ    a\\0b\\0c\n"
            "    Count    REG_DWORD    0x123\n"
            "    Big    REG_QWORD    0x123456789abc\n"
            "    Blob    REG_BINARY    0ABCDE\n"
            "    Nothing    REG_NONE    680069000000\n"
            "    Empty    REG_BINARY    \n"
            "\n"
            f"{LONG_KEY}\\Alpha\n"
            f"{LONG_KEY}\\beta\n"))

    def test_recursive_listing(self):
        # The top key has no values, so only the keys below it get headings.
        self.add(KEY + "\\One", "/v", "a", "/d", "1")
        self.add(KEY + "\\One\\Deeper", "/v", "b", "/d", "2")
        self.assertEqual(self.ok("reg", "add", KEY + "\\Two"), DONE)
        self.ok("reg", "delete", KEY + "\\Two", "/ve", "/f")
        self.assertEqual(self.ok("reg", "query", KEY, "/s"), (
            "\n"
            f"{LONG_KEY}\\One\n"
            "    a    REG_SZ    1\n"
            "\n"
            f"{LONG_KEY}\\One\\Deeper\n"
            "    b    REG_SZ    2\n"
            "\n"
            f"{LONG_KEY}\\Two\n"
            "\n"))
        self.assertEqual(self.ok("reg", "query", KEY), (
            f"\n{LONG_KEY}\\One\n{LONG_KEY}\\Two\n"))
        self.assertEqual(self.ok("reg", "query", KEY + "\\Two"), "\n")

    def test_single_values_and_searches(self):
        self.add(KEY, "/v", "x", "/d", "top")
        self.add(KEY + "\\Sub", "/v", "X", "/d", "below")
        self.add(KEY + "\\Sub", "/v", "y", "/t", "REG_DWORD", "/d", "0")
        self.assertEqual(self.ok("reg", "query", KEY, "/v", "x"),
                         f"\n{LONG_KEY}\n    x    REG_SZ    top\n\n")
        # An unset unnamed value is shown as such and is no error.
        self.assertEqual(self.ok("reg", "query", KEY, "/ve"),
                         f"\n{LONG_KEY}\n    (Default)    REG_SZ    (value not set)\n")
        # A value asked for by name is shown with the name as asked, as reg.exe does.
        self.assertEqual(self.ok("reg", "query", KEY, "/v", "x", "/s"), (
            "\n"
            f"{LONG_KEY}\n    x    REG_SZ    top\n\n"
            f"{LONG_KEY}\\Sub\n    x    REG_SZ    below\n\n"
            "End of search: 2 match(es) found.\n"))
        self.assertEqual(self.ok("reg", "query", KEY, "/v", "gone", "/s"),
                         "\nEnd of search: 0 match(es) found.\n")
        self.assertEqual(self.fails("reg", "query", KEY, "/v", "gone"), NOT_FOUND)
        self.assertEqual(self.fails("reg", "query", KEY + "\\Missing"), NOT_FOUND)

    def test_names_compare_without_case_and_keep_their_spelling(self):
        self.add("HKLM\\Software\\PwTest\\MixedCase", "/v", "Name", "/d", "first")
        self.add("hkey_local_machine\\SOFTWARE\\pwtest\\MIXEDCASE", "/v", "NAME", "/d", "second")
        # The path is printed as typed; the value keeps its first spelling.
        self.assertEqual(self.ok("reg", "query", "hklm\\software\\PWTEST\\mixedcase"), (
            "\nHKEY_LOCAL_MACHINE\\software\\PWTEST\\mixedcase\n"
            "    Name    REG_SZ    second\n\n"))
        self.assertEqual(self.ok("reg", "query", "HKLM\\Software\\PwTest"),
                         "\nHKEY_LOCAL_MACHINE\\Software\\PwTest\\MixedCase\n")
        # The machine's classes are HKLM\Software\Classes.
        self.add("HKCR\\.pwtest", "/d", "pwfile")
        self.assertEqual(self.ok("reg", "query", "HKLM\\Software\\Classes\\.pwtest", "/ve"),
                         "\nHKEY_LOCAL_MACHINE\\Software\\Classes\\.pwtest\n"
                         "    (Default)    REG_SZ    pwfile\n\n")


class AddTest(PwmachineCase):
    def test_stored_bytes(self):
        cases = [
            (["/d", "text"], 1, b"text\0"),
            (["/t", "REG_EXPAND_SZ", "/d", "%A%"], 2, b"%A%\0"),
            (["/t", "REG_SZ"], 1, b"\0"),
            (["/t", "REG_MULTI_SZ", "/d", "a\\0bc"], 7, b"a\0bc\0\0"),
            (["/t", "REG_MULTI_SZ", "/d", "a#b", "/s", "#"], 7, b"a\0b\0\0"),
            (["/t", "REG_MULTI_SZ", "/d", "x\\0y", "/s", "#"], 7, b"x\\0y\0\0"),
            (["/t", "REG_MULTI_SZ", "/d", "a#", "/s", "#"], 7, b"a\0\0"),
            (["/t", "REG_MULTI_SZ"], 7, b"\0"),
            (["/t", "REG_DWORD", "/d", "0x01020304"], 4, b"\x04\x03\x02\x01"),
            (["/t", "REG_QWORD"], 11, b"\0" * 8),
            (["/t", "REG_BINARY", "/d", "DeAdBeEf0DD"], 3, b"\x0d\xea\xdb\xee\xf0\xdd"),
            (["/t", "REG_BINARY"], 3, b""),
            (["/t", "REG_NONE", "/d", "ab"], 0, b"a\0b\0\0\0"),
        ]
        for i, (args, kind, data) in enumerate(cases):
            with self.subTest(args=args):
                self.add(KEY, "/v", f"v{i}", *args)
                self.assertEqual(self.stored(f"v{i}"), (kind, data))
        # A bare add sets the unnamed value to an empty string.
        self.add("HKLM\\Software\\PwBare")
        self.assertEqual(self.stored(""), (1, b"\0"))

    def test_numbers(self):
        good = [("REG_DWORD", "0123", "0x7b"), ("REG_DWORD", "0X1f", "0x1f"),
                ("REG_DWORD", "4294967295", "0xffffffff"), ("REG_DWORD", "0xffffffff", "0xffffffff"),
                ("REG_QWORD", "-1", "0xffffffffffffffff"), ("REG_QWORD", "18446744073709551615",
                                                              "0xffffffffffffffff")]
        for kind, data, shown in good:
            with self.subTest(data=data):
                self.add(KEY, "/v", "n", "/t", kind, "/d", data)
                self.assertEqual(self.ok("reg", "query", KEY, "/v", "n"),
                                 f"\n{LONG_KEY}\n    n    {kind}    {shown}\n\n")
        bad = [("REG_DWORD", "-1"), ("REG_DWORD", "4294967296"), ("REG_DWORD", "0x1ffffffff"),
               ("REG_DWORD", "12a"), ("REG_DWORD", "00x1"), ("REG_DWORD", ""),
               ("REG_DWORD", "0x"), ("REG_QWORD", "-0x1"), ("REG_QWORD", "18446744073709551616"),
               ("REG_BINARY", "0x12"), ("REG_BINARY", "12 34")]
        for kind, data in bad:
            with self.subTest(data=data):
                self.fails("reg", "add", KEY, "/v", "bad", "/t", kind, "/d", data, "/f")
        self.fails("reg", "add", KEY, "/v", "bad", "/t", "REG_DWORD", "/f")
        self.assertEqual(self.fails("reg", "query", KEY, "/v", "bad"), NOT_FOUND)

    def test_multi_string_lists_with_empty_strings_are_refused(self):
        for data, sep in [("a\\0\\0b", None), ("\\0a", None), ("##", "#"), ("a##b", "#"),
                          ("#a", "#")]:
            with self.subTest(data=data):
                extra = ["/s", sep] if sep else []
                self.fails("reg", "add", KEY, "/v", "m", "/t", "REG_MULTI_SZ", "/d", data, *extra,
                           "/f")

    def test_existing_values_need_f(self):
        self.add(KEY, "/v", "v", "/d", "old")
        err = self.fails("reg", "add", KEY, "/v", "V", "/d", "new")
        self.assertIn("/f", err)
        self.assertIn("REG_SZ    old\n", self.ok("reg", "query", KEY, "/v", "v"))
        # A new value in an existing key needs no /f.
        self.assertEqual(self.ok("reg", "add", KEY, "/v", "other", "/d", "x"), DONE)
        self.add(KEY, "/v", "v", "/d", "new")
        self.assertIn("REG_SZ    new\n", self.ok("reg", "query", KEY, "/v", "v"))

    def test_bad_command_lines(self):
        cases = [
            ["reg"], ["reg", "frobnicate", KEY], ["reg", "add"], ["reg", "query"],
            ["reg", "add", KEY, "/v"], ["reg", "add", KEY, "/v", "a", "/ve"],
            ["reg", "add", KEY, "/f", "/f"], ["reg", "add", KEY, "/v", "a", "/v", "b"],
            ["reg", "add", KEY, "/x"], ["reg", "add", KEY, "/"], ["reg", "add", KEY, "stray"],
            ["reg", "add", KEY, "/t", "REG_TEXT", "/d", "x"], ["reg", "add", KEY, "/t", ""],
            ["reg", "add", KEY, "/t", "REG_MULTI_SZ", "/s", "ab", "/d", "x"],
            ["reg", "add", KEY, "/reg:32"], ["reg", "query", KEY, "/s", "/s"],
            ["reg", "delete", KEY, "/v", "a", "/va", "/f"], ["reg", "export", KEY],
            ["reg", "export", KEY, "a.reg", "b.reg"], ["reg", "import", "a.reg", "b.reg"],
            ["reg", "query", KEY, "/?", "/s"],
        ] + [["reg", "add", key, "/f"] for key in [
            "HKCU\\", "HKCU\\\\", "HKXX\\Software", "\\\\host\\HKLM\\Software", "\\HKCU\\Software",
            "HKCU\\a\\\\b", "HKCU\\a\\\\", "HKCUx\\a", "",
        ]]
        for args in cases:
            with self.subTest(args=args):
                err = self.fails(*args)
                self.assertIn('Type "pwmachine reg', err)
        # /reg:64 is taken and changes nothing.
        self.add(KEY, "/reg:64")
        self.assertEqual(self.ok("reg", "query", KEY, "/reg:64", "/s"),
                         f"\n{LONG_KEY}\n    (Default)    REG_SZ    \n\n")
        self.fails("bogus")
        for args in [[], ["help"], ["reg", "/?"], ["reg", "add", "/?"], ["reg", "IMPORT", "-h"]]:
            with self.subTest(args=args):
                self.assertIn("pwmachine", self.ok(*args))


class DeleteTest(PwmachineCase):
    def test_deleting_a_key_deletes_its_tree(self):
        for sub in ["Gone", "Gone\\a", "Gone\\a\\b\\c", "Gone\\d", "Kept"]:
            self.add(f"{KEY}\\{sub}", "/v", "x", "/d", sub)
        self.assertEqual(self.ok("reg", "delete", KEY + "\\gone", "/f"), DONE)
        self.assertEqual(self.ok("reg", "query", KEY), f"\n{LONG_KEY}\\Kept\n")
        self.assertEqual(self.fails("reg", "delete", KEY + "\\Gone", "/f"), NOT_FOUND)
        self.fails("reg", "delete", "HKCU", "/f")

    def test_deleting_values(self):
        self.add(KEY, "/ve", "/d", "unnamed")
        for name in ["a", "b", "c"]:
            self.add(KEY, "/v", name, "/d", name)
        self.add(KEY + "\\Sub", "/v", "s", "/d", "s")
        self.ok("reg", "delete", KEY, "/v", "B", "/f")
        self.ok("reg", "delete", KEY, "/ve", "/f")
        self.assertEqual(self.ok("reg", "query", KEY), (
            f"\n{LONG_KEY}\n    a    REG_SZ    a\n    c    REG_SZ    c\n\n{LONG_KEY}\\Sub\n"))
        self.assertEqual(self.fails("reg", "delete", KEY, "/v", "b", "/f"), NOT_FOUND)
        self.ok("reg", "delete", KEY, "/va", "/f")
        self.assertEqual(self.ok("reg", "query", KEY, "/s"), (
            f"\n{LONG_KEY}\\Sub\n    s    REG_SZ    s\n\n"))

    def test_nothing_is_deleted_without_f(self):
        self.add(KEY, "/v", "a", "/d", "a")
        before = self.ok("reg", "query", KEY)
        for args in [[], ["/v", "a"], ["/va"]]:
            with self.subTest(args=args):
                self.assertIn("/f", self.fails("reg", "delete", KEY, *args))
        self.assertEqual(self.ok("reg", "query", KEY), before)


EXPECTED_SCRIPT = (
    "Windows Registry Editor Version 5.00\r\n"
    "\r\n"
    "[HKEY_CURRENT_USER\\Software\\PwExport]\r\n"
    '@="default text"\r\n'
    '"Blob of bytes for the wrap"=hex:00,01,02,03,04,05,06,07,08,09,0a,0b,0c,0d,0e,\\\r\n'
    "  0f,10,11,12,13,14,15,16,17,18,19,1a,1b,1c,1d,1e,1f,20,21,22,23,24,25,26,27,\\\r\n"
    "  28,29\r\n"
    '"Count"=dword:12345678\r\n'
    '"Empty"=hex:\r\n'
    '"List"=hex(7):6f,00,6e,00,65,00,00,00,74,00,77,00,6f,00,00,00,74,00,68,00,72,\\\r\n'
    "  00,65,00,65,00,00,00,00,00\r\n"
    '"Path"=hex(2):25,00,53,00,79,00,73,00,74,00,65,00,6d,00,52,00,6f,00,6f,00,74,\\\r\n'
    "  00,25,00,5c,00,78,00,00,00\r\n"
    '"Quote \\"and\\" \\\\slash"="C:\\\\dir\\\\\\"q\\""\r\n'
    "\r\n"
    "[HKEY_CURRENT_USER\\Software\\PwExport\\Sub]\r\n"
    '"big"=hex(b):88,77,66,55,44,33,22,11\r\n'
    "\r\n"
    "[HKEY_CURRENT_USER\\Software\\PwExport\\Sub\\Deeper]\r\n"
    '"n"=hex(0):61,00,62,00,00,00\r\n'
    "\r\n")


class ExportImportTest(PwmachineCase):
    EXPORT_KEY = "HKCU\\Software\\PwExport"

    def fill_export_key(self):
        k = self.EXPORT_KEY
        self.add(k, "/ve", "/d", "default text")
        self.add(k, "/v", "Blob of bytes for the wrap", "/t", "REG_BINARY", "/d",
                 "".join(f"{i:02x}" for i in range(0x2a)))
        self.add(k, "/v", "Count", "/t", "REG_DWORD", "/d", "0x12345678")
        self.add(k, "/v", "Empty", "/t", "REG_BINARY")
        self.add(k, "/v", "List", "/t", "REG_MULTI_SZ", "/d", "one#two#three", "/s", "#")
        self.add(k, "/v", "Path", "/t", "REG_EXPAND_SZ", "/d", "%SystemRoot%\\x")
        self.add(k, "/v", 'Quote "and" \\slash', "/d", 'C:\\dir\\"q"')
        self.add(k + "\\Sub\\Deeper", "/v", "n", "/t", "REG_NONE", "/d", "ab")
        self.add(k + "\\Sub", "/v", "big", "/t", "REG_QWORD", "/d", "0x1122334455667788")

    def test_export_writes_the_registry_editors_script(self):
        self.fill_export_key()
        self.assertEqual(self.ok("reg", "export", self.EXPORT_KEY, "out.reg"), DONE)
        self.assertEqual(self.read("out.reg"), script_bytes(EXPECTED_SCRIPT))
        # An existing file is replaced only with /y.
        self.write("out.reg", b"keep")
        self.assertIn("/y", self.fails("reg", "export", self.EXPORT_KEY, "out.reg"))
        self.assertEqual(self.read("out.reg"), b"keep")
        self.ok("reg", "export", self.EXPORT_KEY, self.path("out.reg"), "/y")
        self.assertEqual(self.read("out.reg"), script_bytes(EXPECTED_SCRIPT))
        self.assertEqual(self.fails("reg", "export", KEY + "\\Missing", "none.reg"), NOT_FOUND)
        self.assertFalse(os.path.exists(self.path("none.reg")))

    def test_round_trip(self):
        self.write("in.reg", script_bytes(EXPECTED_SCRIPT))
        self.assertEqual(self.ok("reg", "import", "in.reg"), DONE)
        listing = self.ok("reg", "query", self.EXPORT_KEY, "/s")
        self.assertIn("    Quote \"and\" \\slash    REG_SZ    C:\\dir\\\"q\"\n", listing)
        self.assertIn("    List    REG_MULTI_SZ    one\\0two\\0three\n", listing)
        self.ok("reg", "export", self.EXPORT_KEY, "out.reg")
        self.assertEqual(self.read("out.reg"), script_bytes(EXPECTED_SCRIPT))
        self.ok("reg", "delete", self.EXPORT_KEY, "/f")
        self.ok("reg", "import", "out.reg")
        self.assertEqual(self.ok("reg", "query", self.EXPORT_KEY, "/s"), listing)

    def test_ansi_script_with_deletions(self):
        self.add(KEY + "\\Old\\Below", "/v", "x", "/d", "x")
        self.add(KEY, "/v", "drop", "/d", "x")
        self.add(KEY, "/v", "keep", "/d", "x")
        self.write("in.reg", (
            "REGEDIT4\r\n\r\n"
            "; a comment\n"
            f"[-{LONG_KEY}\\Old]\r\n"
            f"[-{LONG_KEY}\\NeverWas]\r\n"
            f"[{LONG_KEY}]\r\n"
            '"drop"=-\r\n'
            '@="d\xe9faut"\r\n'
            '"exp"=hex(2):25,41,25\r\n'
            '"multi"=hex(7):61,00,62,\\\r\n'
            "   ; a comment inside the list\r\n"
            "  63,00,00\r\n"
            '"dw" = dword:0000002a ; trailing comment\r\n'
            '"esc"="a\\\\b\\"c"\n'
            f"[{KEY}\\New]\r"
            '"raw"=hex(8):01,2,ff\r\n').encode("cp1252"))
        self.assertEqual(self.ok("reg", "import", "in.reg"), DONE)
        self.assertEqual(self.ok("reg", "query", KEY, "/s"), (
            "\n"
            f"{LONG_KEY}\n"
            "    keep    REG_SZ    x\n"
            "    (Default)    REG_SZ    d\xe9faut\n"
            "    exp    REG_EXPAND_SZ    %A%\n"
            "    multi    REG_MULTI_SZ    a\\0bc\n"
            "    dw    REG_DWORD    0x2a\n"
            '    esc    REG_SZ    a\\b"c\n'
            "\n"
            f"{LONG_KEY}\\New\n"
            "    raw    REG_RESOURCE_LIST    0102FF\n"
            "\n"))
        self.assertEqual(self.stored("exp"), (2, b"%A%\0"))

    def test_utf16_strings_are_stored_in_the_ansi_code_page(self):
        self.write("in.reg", script_bytes(
            "Windows Registry Editor Version 5.00\r\n\r\n"
            f"[{LONG_KEY}\\Caf\u00e9]\r\n"
            '"na\u00efve"="\u20ac 5"\r\n'
            '"exp"=hex(2):e9,00,00,00\r\n'
            '"sz"=hex(1):41,00\r\n'
            '"empty"=hex(2):\r\n'))
        self.ok("reg", "import", "in.reg")
        self.assertEqual(self.stored("na\u00efve"), (1, b"\x80 5\0"))
        self.assertEqual(self.stored("exp"), (2, b"\xe9\0"))
        self.assertEqual(self.stored("sz"), (1, b"A\0"))
        self.assertEqual(self.stored("empty"), (2, b""))
        self.assertIn(f"{LONG_KEY}\\Caf\u00e9\n", self.ok("reg", "query", KEY))

    def test_bad_lines_are_reported_and_the_rest_applied(self):
        self.write("in.reg", script_bytes(
            "Windows Registry Editor Version 5.00\r\n"
            '"early"="before any key"\r\n'
            f"[{LONG_KEY}]\r\n"
            '"a"="fine"\r\n'
            '"b"=dword:123456789\r\n'
            '"c"="unterminated\r\n'
            '"d"=hex:12,zz\r\n'
            '"e"=hex:01,\\\r\n'
            '"f"="after a broken list"\r\n'
            '"g"=text\r\n'
            '"h"="bad \\q escape"\r\n'
            "junk\r\n"
            "[HKEY_NOWHERE\\x]\r\n"
            '"i"="lost with its key"\r\n'
            f"[{LONG_KEY}\\Next]\r\n"
            '"j"=hex(7):41,00\r\n'))
        rc, out, err = self.run_pwm("reg", "import", "in.reg")
        self.assertEqual((rc, out), (1, ""))
        reported = sorted(int(line.split("line ")[1].split(":")[0])
                          for line in err.splitlines() if ", line " in line)
        self.assertEqual(reported, [2, 5, 6, 7, 8, 10, 11, 12, 13])
        self.assertTrue(err.endswith("ERROR: 9 line(s) of 'in.reg' could not be imported.\n"))
        self.assertEqual(self.ok("reg", "query", KEY, "/s"), (
            f"\n{LONG_KEY}\n    a    REG_SZ    fine\n    f    REG_SZ    after a broken list\n\n"
            f"{LONG_KEY}\\Next\n    j    REG_MULTI_SZ    A\n\n"))

    def test_files_that_are_not_scripts(self):
        self.assertIn("in.reg", self.fails("reg", "import", "in.reg"))
        for data in [b"", b"REGEDIT\r\n", b"REGEDIT5\r\n", b"\xff\xfe",
                     "Windows Registry Editor Version 5.00\r\n".encode("utf-16-le"),
                     b"[HKEY_CURRENT_USER\\Software\\PwTest]\r\n"]:
            with self.subTest(data=data):
                self.write("in.reg", data)
                self.fails("reg", "import", "in.reg")
        self.assertEqual(self.fails("reg", "query", KEY), NOT_FOUND)

    def test_damaged_scripts_never_crash(self):
        rng = random.Random(2024)
        base = script_bytes(EXPECTED_SCRIPT)
        pieces = [b"[", b"]", b'"', b"\\", b"=", b"hex(", b"):", b",", b"-", b"@", b"\r\n",
                  b"\0", b"\xff"]
        for i in range(60):
            data = bytearray(base if i % 2 else EXPECTED_SCRIPT.encode("cp1252")
                             .replace(b"Windows Registry Editor Version 5.00", b"REGEDIT4"))
            for _ in range(rng.randint(1, 8)):
                at = rng.randrange(len(data))
                if rng.random() < 0.5:
                    data[at:at] = rng.choice(pieces)
                else:
                    del data[at:at + rng.randint(1, 9)]
            self.write("in.reg", bytes(data))
            rc, _, err = self.run_pwm("reg", "import", "in.reg")
            self.assertIn(rc, (0, 1), (bytes(data), err))
            for line in err.splitlines():
                self.assertTrue(line.startswith(("ERROR: ", "in.reg, line ")), (bytes(data), err))


if __name__ == "__main__":
    unittest.main()
