"""End-to-end tests of `pwmachine reg` on the portable machine.

Each test gets a fresh machine root and runs the portable pwmachine from PW_BIN_DIR,
as a script would. Outputs are compared in full: reg.exe's layout is the contract,
so a stray blank is a fault. EXPECTED_SCRIPT is what Wine's own `reg export` writes
for the same keys and values.
"""

import os
import pathlib
import random
import sqlite3
import subprocess
import tempfile
import unittest

PWMACHINE = os.path.join(os.environ.get("PW_BIN_DIR", ""), "pwmachine")
KEY = "HKCU\\Software\\PwTest"
LONG_KEY = "HKEY_CURRENT_USER\\Software\\PwTest"
NOT_FOUND = "ERROR: The system was unable to find the specified registry key or value.\n"
DONE = "The operation completed successfully.\n"
EXPECTED_SCRIPT = (
    "Windows Registry Editor Version 5.00\r\n\r\n"
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
    '"Quote \\"and\\" \\\\slash"="C:\\\\dir\\\\\\"q\\""\r\n\r\n'
    "[HKEY_CURRENT_USER\\Software\\PwExport\\Sub]\r\n"
    '"big"=hex(b):88,77,66,55,44,33,22,11\r\n\r\n'
    "[HKEY_CURRENT_USER\\Software\\PwExport\\Sub\\Deeper]\r\n"
    '"n"=hex(0):61,00,62,00,00,00\r\n\r\n')

TYPE_NAMES = {0: "REG_NONE", 1: "REG_SZ", 2: "REG_EXPAND_SZ", 3: "REG_BINARY", 4: "REG_DWORD",
              7: "REG_MULTI_SZ", 11: "REG_QWORD"}
MULTI, DWORD, QWORD, BINARY = (["/t", "REG_" + t] for t in ["MULTI_SZ", "DWORD", "QWORD", "BINARY"])
# name ("" for the unnamed value), add's arguments, the type and bytes stored, and the
# data as query shows it
VALUES = [
    ("", ["/d", "unnamed"], 1, b"unnamed\0", "unnamed"),
    ("Text", ["/d", "Hello, World"], 1, b"Hello, World\0", "Hello, World"),
    ("NoText", ["/t", "REG_SZ"], 1, b"\0", ""),
    ("Path", ["/t", "REG_EXPAND_SZ", "/d", "%A%\\x"], 2, b"%A%\\x\0", "%A%\\x"),
    ("List", MULTI + ["/d", "a\\0b\\0c"], 7, b"a\0b\0c\0\0", "a\\0b\\0c"),
    ("Sep", MULTI + ["/d", "a#bc", "/s", "#"], 7, b"a\0bc\0\0", "a\\0bc"),
    ("Plain", MULTI + ["/d", "x\\0y", "/s", "#"], 7, b"x\\0y\0\0", "x\\0y"),
    ("LastEmpty", MULTI + ["/d", "a#", "/s", "#"], 7, b"a\0\0", "a"),
    ("NoList", MULTI, 7, b"\0", ""),
    ("Count", DWORD + ["/d", "291"], 4, b"\x23\x01\0\0", "0x123"),
    ("Order", DWORD + ["/d", "0x01020304"], 4, b"\x04\x03\x02\x01", "0x1020304"),
    ("Decimal", DWORD + ["/d", "0123"], 4, b"\x7b\0\0\0", "0x7b"),
    ("Hex", DWORD + ["/d", "0X1f"], 4, b"\x1f\0\0\0", "0x1f"),
    ("Max", DWORD + ["/d", "4294967295"], 4, b"\xff" * 4, "0xffffffff"),
    ("MaxHex", DWORD + ["/d", "0xffffffff"], 4, b"\xff" * 4, "0xffffffff"),
    ("Big", QWORD + ["/d", "0x123456789ABC"], 11, bytes.fromhex("bc9a785634120000"),
     "0x123456789abc"),
    ("NoBig", QWORD, 11, b"\0" * 8, "0x0"),
    ("Minus", QWORD + ["/d", "-1"], 11, b"\xff" * 8, "0xffffffffffffffff"),
    ("MaxBig", QWORD + ["/d", "18446744073709551615"], 11, b"\xff" * 8, "0xffffffffffffffff"),
    ("Blob", BINARY + ["/d", "aBcdE"], 3, b"\x0a\xbc\xde", "0ABCDE"),
    ("Odd", BINARY + ["/d", "DeAdBeEf0DD"], 3, b"\x0d\xea\xdb\xee\xf0\xdd", "0DEADBEEF0DD"),
    ("Empty", BINARY, 3, b"", ""),
    ("Nothing", ["/t", "REG_NONE", "/d", "hi"], 0, b"h\0i\0\0\0", "680069000000"),
]

def script_bytes(text):
    """A version 5 registry script as the file holds it: UTF-16LE with a BOM."""
    return b"\xff\xfe" + text.encode("utf-16-le")


@unittest.skipUnless(os.path.isfile(PWMACHINE), "set PW_BIN_DIR to the portable build's bin")
class RegTest(unittest.TestCase):
    maxDiff = None

    def setUp(self):
        work = tempfile.TemporaryDirectory(prefix="pwm-reg-")
        self.addCleanup(work.cleanup)
        self.dir = pathlib.Path(work.name)
        self.root = self.dir / "machine"

    def run_pwm(self, *args):
        """(exit code, stdout, stderr); output in the machine's code page."""
        r = subprocess.run([PWMACHINE, *args], env=dict(os.environ, PW_MACHINE_ROOT=self.root),
                           cwd=self.dir, capture_output=True, timeout=60)
        return r.returncode, r.stdout.decode("cp1252"), r.stderr.decode("cp1252")

    def ok(self, *args):
        rc, out, err = self.run_pwm(*args)
        self.assertEqual((rc, err), (0, ""), args)
        return out

    def fails(self, *args):
        rc, out, err = self.run_pwm(*args)
        self.assertEqual((rc, out), (1, ""), args)
        self.assertTrue(err.startswith("ERROR: "), (args, err))
        return err

    def add(self, key, *args):
        self.assertEqual(self.ok("reg", "add", key, *args, "/f"), DONE)

    def query(self, *args):
        return self.ok("reg", "query", *args)

    def stored(self, name):
        """(type, bytes) of the value `name` as the hives hold it."""
        found = []
        for db in (self.root / "registry").glob("*.db"):
            con = sqlite3.connect(db)
            found += con.execute("SELECT type, data FROM vals WHERE name = ?", (name,)).fetchall()
            con.close()
        self.assertEqual(len(found), 1, name)
        return found[0][0], bytes(found[0][1])

    def test_add_stores_exact_bytes_and_query_lists_them(self):
        for name, args, _, _, _ in VALUES:
            self.add(KEY, *(["/v", name] if name else ["/ve"]), *args)
        for name, args, kind, data, _ in VALUES:
            with self.subTest(args=args):
                self.assertEqual(self.stored(name), (kind, data))
        self.add(KEY + "\\beta")
        self.add(KEY + "\\Alpha")
        # The key's path is printed as typed.
        self.assertEqual(self.query("hkcu\\software\\PWTEST"), (
            "\nHKEY_CURRENT_USER\\software\\PWTEST\n" +
            "".join(f"    {n or '(Default)'}    {TYPE_NAMES[kind]}    {shown}\n"
                    for n, _, kind, _, shown in VALUES) +
            "\nHKEY_CURRENT_USER\\software\\PWTEST\\Alpha\n"
            "HKEY_CURRENT_USER\\software\\PWTEST\\beta\n"))
        # An existing value is replaced only with /f; a new one needs none.
        self.assertIn("/f", self.fails("reg", "add", KEY, "/v", "TEXT", "/d", "new"))
        self.assertEqual(self.ok("reg", "add", KEY, "/v", "other", "/d", "x"), DONE)
        self.add("HKLM\\Software\\PwBare")  # a bare add sets the unnamed value to ""
        self.assertEqual(self.ok("reg", "query", "HKLM\\Software\\PwBare"),
                         "\nHKEY_LOCAL_MACHINE\\Software\\PwBare\n    (Default)    REG_SZ    \n\n")

    def test_recursive_query_and_value_searches(self):
        # Key and value names compare without case and keep their first spelling.
        self.add(KEY + "\\One", "/v", "a", "/d", "old")
        self.add("hkey_current_user\\SOFTWARE\\pwtest\\ONE", "/v", "A", "/d", "1")
        self.add(KEY + "\\One\\Deeper", "/v", "A", "/d", "2")
        self.assertEqual(self.ok("reg", "add", KEY + "\\Two"), DONE)
        self.ok("reg", "delete", KEY + "\\Two", "/ve", "/f")
        # The top key has no values, so only the keys below it get headings.
        self.assertEqual(self.query(KEY, "/s"), (
            f"\n{LONG_KEY}\\One\n    a    REG_SZ    1\n\n"
            f"{LONG_KEY}\\One\\Deeper\n    A    REG_SZ    2\n\n"
            f"{LONG_KEY}\\Two\n\n"))
        self.assertEqual(self.query(KEY), f"\n{LONG_KEY}\\One\n{LONG_KEY}\\Two\n")
        self.assertEqual(self.query(KEY + "\\Two"), "\n")
        self.assertEqual(self.query(KEY + "\\One", "/v", "a"),
                         f"\n{LONG_KEY}\\One\n    a    REG_SZ    1\n\n")
        # An unset unnamed value is shown as such and is no error.
        self.assertEqual(self.query(KEY + "\\One", "/ve"),
                         f"\n{LONG_KEY}\\One\n    (Default)    REG_SZ    (value not set)\n")
        # A value searched for by name is shown with the name as asked.
        self.assertEqual(self.query(KEY, "/v", "a", "/s"), (
            f"\n{LONG_KEY}\\One\n    a    REG_SZ    1\n\n"
            f"{LONG_KEY}\\One\\Deeper\n    a    REG_SZ    2\n\n"
            "End of search: 2 match(es) found.\n"))
        self.assertEqual(self.query(KEY, "/v", "gone", "/s"), "\nEnd of search: 0 match(es) found.\n")
        self.assertEqual(self.fails("reg", "query", KEY + "\\One", "/v", "gone"), NOT_FOUND)
        self.assertEqual(self.fails("reg", "query", KEY + "\\Missing"), NOT_FOUND)

    def test_bad_command_lines_change_nothing(self):
        bad_data = ([("REG_DWORD", d) for d in ["-1", "4294967296", "0x1ffffffff", "12a", "00x1", "",
                                                 "0x"]] +
                    [("REG_QWORD", "-0x1"), ("REG_QWORD", "18446744073709551616"),
                     ("REG_BINARY", "0x12"), ("REG_BINARY", "12 34"),
                     ("REG_MULTI_SZ", "a\\0\\0b"), ("REG_MULTI_SZ", "\\0a")])
        cases = [["add", KEY, "/v", "bad", "/t", t, "/d", d, "/f"] for t, d in bad_data] + [
            ["add", KEY, "/v", "bad", "/t", "REG_MULTI_SZ", "/d", d, "/s", "#", "/f"]
            for d in ["##", "a##b", "#a"]] + [
            [], ["frobnicate", KEY], ["add"], ["query"], ["add", KEY, "/v", "bad", "/t", "REG_DWORD", "/f"],
            ["add", KEY, "/v"], ["add", KEY, "/v", "a", "/ve"], ["add", KEY, "/f", "/f"],
            ["add", KEY, "/v", "a", "/v", "b"], ["add", KEY, "/x"], ["add", KEY, "/"],
            ["add", KEY, "stray"], ["add", KEY, "/t", "REG_TEXT", "/d", "x"], ["add", KEY, "/t", ""],
            ["add", KEY, "/t", "REG_MULTI_SZ", "/s", "ab", "/d", "x"], ["add", KEY, "/reg:32"],
            ["query", KEY, "/s", "/s"], ["delete", KEY, "/v", "a", "/va", "/f"], ["export", KEY],
            ["export", KEY, "a.reg", "b.reg"], ["import", "a.reg", "b.reg"],
            ["query", KEY, "/?", "/s"]] + [["add", key, "/f"] for key in [
                "HKCU\\", "HKCU\\\\", "HKXX\\Software", "\\\\host\\HKLM\\Software",
                "\\HKCU\\Software", "HKCU\\a\\\\b", "HKCU\\a\\\\", "HKCUx\\a", ""]]
        for args in cases:
            with self.subTest(args=args):
                self.assertIn('Type "pwmachine reg', self.fails("reg", *args))
        self.assertEqual(self.fails("reg", "query", KEY), NOT_FOUND)
        self.fails("bogus")

    def test_delete_of_a_tree_and_of_values(self):
        for sub in ["Gone", "Gone\\a", "Gone\\a\\b\\c", "Gone\\d", "Kept"]:
            self.add(f"{KEY}\\{sub}", "/v", "x", "/d", sub)
        for name in ["a", "b", "c"]:
            self.add(KEY, "/v", name, "/d", name)
        self.add(KEY, "/ve", "/d", "unnamed")
        before = self.query(KEY, "/s")
        for args in [[], ["/v", "a"], ["/va"]]:  # nothing is deleted without /f
            self.assertIn("/f", self.fails("reg", "delete", KEY, *args))
        self.assertEqual(self.query(KEY, "/s"), before)
        self.assertEqual(self.ok("reg", "delete", KEY + "\\gone", "/f"), DONE)
        self.assertEqual(self.fails("reg", "delete", KEY + "\\Gone", "/f"), NOT_FOUND)
        self.ok("reg", "delete", KEY, "/v", "B", "/f")
        self.ok("reg", "delete", KEY, "/ve", "/f")
        self.assertEqual(self.query(KEY), (
            f"\n{LONG_KEY}\n    a    REG_SZ    a\n    c    REG_SZ    c\n\n{LONG_KEY}\\Kept\n"))
        self.assertEqual(self.fails("reg", "delete", KEY, "/v", "b", "/f"), NOT_FOUND)
        self.ok("reg", "delete", KEY, "/va", "/f")
        self.assertEqual(self.query(KEY, "/s"), f"\n{LONG_KEY}\\Kept\n    x    REG_SZ    Kept\n\n")
        self.fails("reg", "delete", "HKCU", "/f")

    def test_export_writes_the_script_and_import_reads_it_back(self):
        k = "HKCU\\Software\\PwExport"
        self.add(k, "/ve", "/d", "default text")
        self.add(k, "/v", "Blob of bytes for the wrap", "/t", "REG_BINARY", "/d", bytes(range(42)).hex())
        self.add(k, "/v", "Count", "/t", "REG_DWORD", "/d", "0x12345678")
        self.add(k, "/v", "Empty", "/t", "REG_BINARY")
        self.add(k, "/v", "List", "/t", "REG_MULTI_SZ", "/d", "one#two#three", "/s", "#")
        self.add(k, "/v", "Path", "/t", "REG_EXPAND_SZ", "/d", "%SystemRoot%\\x")
        self.add(k, "/v", 'Quote "and" \\slash', "/d", 'C:\\dir\\"q"')
        self.add(k + "\\Sub\\Deeper", "/v", "n", "/t", "REG_NONE", "/d", "ab")
        self.add(k + "\\Sub", "/v", "big", "/t", "REG_QWORD", "/d", "0x1122334455667788")
        out = self.dir / "out.reg"
        self.assertEqual(self.ok("reg", "export", k, "out.reg"), DONE)
        self.assertEqual(out.read_bytes(), script_bytes(EXPECTED_SCRIPT))
        # What was exported imports back to the same values; a file is replaced only with /y.
        self.ok("reg", "delete", k, "/f")
        self.assertEqual(self.ok("reg", "import", "out.reg"), DONE)
        out.write_bytes(b"keep")
        self.assertIn("/y", self.fails("reg", "export", k, "out.reg"))
        self.assertEqual(out.read_bytes(), b"keep")
        self.ok("reg", "export", k, str(out), "/y")
        self.assertEqual(out.read_bytes(), script_bytes(EXPECTED_SCRIPT))
        self.assertEqual(self.fails("reg", "export", KEY, "none.reg"), NOT_FOUND)
        self.assertFalse((self.dir / "none.reg").exists())

    def test_regedit4_import_with_deletions(self):
        self.add(KEY + "\\Old\\Below", "/v", "x", "/d", "x")
        self.add(KEY, "/v", "drop", "/d", "x")
        self.add(KEY, "/v", "keep", "/d", "x")
        self.dir.joinpath("in.reg").write_bytes((
            f"REGEDIT4\r\n\r\n; a comment\n[-{LONG_KEY}\\Old]\r\n[-{LONG_KEY}\\NeverWas]\r\n"
            f'[{LONG_KEY}]\r\n"drop"=-\r\n@="d\xe9faut"\r\n"exp"=hex(2):25,41,25\r\n'
            '"multi"=hex(7):61,00,62,\\\r\n   ; a comment inside the list\r\n  63,00,00\r\n'
            '"dw" = dword:0000002a ; trailing comment\r\n"esc"="a\\\\b\\"c"\n'
            f'[{KEY}\\New]\r"raw"=hex(8):01,2,ff\r\n').encode("cp1252"))
        self.assertEqual(self.ok("reg", "import", "in.reg"), DONE)
        self.assertEqual(self.query(KEY, "/s"), (
            f"\n{LONG_KEY}\n"
            "    keep    REG_SZ    x\n"
            "    (Default)    REG_SZ    d\xe9faut\n"
            "    exp    REG_EXPAND_SZ    %A%\n"
            "    multi    REG_MULTI_SZ    a\\0bc\n"
            "    dw    REG_DWORD    0x2a\n"
            '    esc    REG_SZ    a\\b"c\n\n'
            f"{LONG_KEY}\\New\n    raw    REG_RESOURCE_LIST    0102FF\n\n"))
        self.assertEqual(self.stored("exp"), (2, b"%A%\0"))

    def test_bad_script_lines_are_reported_and_the_rest_applied(self):
        self.dir.joinpath("in.reg").write_bytes(script_bytes(
            "Windows Registry Editor Version 5.00\r\n"
            '"early"="before any key"\r\n'
            f'[{LONG_KEY}]\r\n"a"="fine"\r\n"b"=dword:123456789\r\n"c"="unterminated\r\n'
            '"d"=hex:12,zz\r\n"e"=hex:01,\\\r\n"f"="after a broken list"\r\n"g"=text\r\n'
            '"h"="bad \\q escape"\r\njunk\r\n[HKEY_NOWHERE\\x]\r\n"i"="lost with its key"\r\n'
            f'[{LONG_KEY}\\Next]\r\n"j"=hex(7):41,00\r\n'
            # Strings are stored in the ANSI code page.
            f'[{LONG_KEY}\\Next\\Caf\u00e9]\r\n"na\u00efve"="\u20ac 5"\r\n'
            '"exp"=hex(2):e9,00,00,00\r\n"sz"=hex(1):41,00\r\n"empty"=hex(2):\r\n'))
        rc, out, err = self.run_pwm("reg", "import", "in.reg")
        self.assertEqual((rc, out), (1, ""))
        reported = sorted(int(line.split("line ")[1].split(":")[0])
                          for line in err.splitlines() if ", line " in line)
        self.assertEqual(reported, [2, 5, 6, 7, 8, 10, 11, 12, 13])
        self.assertTrue(err.endswith("ERROR: 9 line(s) of 'in.reg' could not be imported.\n"))
        self.assertEqual(self.query(KEY, "/s"), (
            f"\n{LONG_KEY}\n    a    REG_SZ    fine\n    f    REG_SZ    after a broken list\n\n"
            f"{LONG_KEY}\\Next\n    j    REG_MULTI_SZ    A\n\n"
            f"{LONG_KEY}\\Next\\Caf\u00e9\n    na\u00efve    REG_SZ    \u20ac 5\n"
            "    exp    REG_EXPAND_SZ    \u00e9\n    sz    REG_SZ    A\n"
            "    empty    REG_EXPAND_SZ    \n\n"))
        self.assertEqual([self.stored(n) for n in ["na\u00efve", "exp", "sz", "empty"]],
                         [(1, b"\x80 5\0"), (2, b"\xe9\0"), (1, b"A\0"), (2, b"")])

    def test_broken_scripts_fail_without_crashing(self):
        self.assertIn("in.reg", self.fails("reg", "import", "in.reg"))  # no such file
        for data in [b"", b"REGEDIT\r\n", b"REGEDIT5\r\n", b"\xff\xfe",
                     "Windows Registry Editor Version 5.00\r\n".encode("utf-16-le"),
                     b"[HKEY_CURRENT_USER\\Software\\PwTest]\r\n"]:
            with self.subTest(data=data):
                self.dir.joinpath("in.reg").write_bytes(data)
                self.fails("reg", "import", "in.reg")
        self.assertEqual(self.fails("reg", "query", KEY), NOT_FOUND)
        # Scripts damaged at random: each line is applied or reported, never a crash.
        rng = random.Random(2024)
        pieces = [b"[", b"]", b'"', b"\\", b"=", b"hex(", b"):", b",", b"-", b"@", b"\r\n", b"\0",
                  b"\xff"]
        ansi = EXPECTED_SCRIPT.replace("Windows Registry Editor Version 5.00", "REGEDIT4")
        for i in range(60):
            data = bytearray(script_bytes(EXPECTED_SCRIPT) if i % 2 else ansi.encode("cp1252"))
            for _ in range(rng.randint(1, 8)):
                at = rng.randrange(len(data))
                if rng.random() < 0.5:
                    data[at:at] = rng.choice(pieces)
                else:
                    del data[at:at + rng.randint(1, 9)]
            self.dir.joinpath("in.reg").write_bytes(bytes(data))
            rc, _, err = self.run_pwm("reg", "import", "in.reg")
            self.assertIn(rc, (0, 1), (bytes(data), err))
            for line in err.splitlines():
                self.assertTrue(line.startswith(("ERROR: ", "in.reg, line ")), (bytes(data), err))


if __name__ == "__main__":
    unittest.main()
