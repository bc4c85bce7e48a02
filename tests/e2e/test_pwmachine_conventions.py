"""The command-line conventions of pwmachine and pwcmd on the portable machine: help
and version on standard output with exit 0, a usage error as one line and a pointer to
--help on standard error with a non-zero exit, failures said on standard error
(regsvr32's included, with its own exit codes), and `pwmachine log`."""

import os
import shutil
import subprocess
import tempfile
import unittest

BIN = os.environ.get("PW_BIN_DIR", "")
HELP = ("--help", "-h", "/?")


class Conventions(unittest.TestCase):
    def setUp(self):
        self.root = tempfile.mkdtemp(prefix="pw-conventions-")
        self.addCleanup(shutil.rmtree, self.root, True)

    def tool(self, *args):
        return subprocess.run([os.path.join(BIN, args[0])] + list(args[1:]), capture_output=True,
                              text=True, timeout=120,
                              env=dict(os.environ, PW_MACHINE_ROOT=self.root))

    def assert_usage_error(self, proc, pointer):
        self.assertNotEqual(proc.returncode, 0, proc)
        self.assertEqual(proc.stdout, "", proc)
        lines = proc.stderr.splitlines()
        self.assertEqual(len(lines), 2, proc.stderr)
        self.assertIn(pointer, lines[1])

    def test_help_and_version_go_to_standard_output(self):
        for args in ([], ["reg"], ["reg", "query"], ["reg", "add"], ["certutil"],
                     ["regsvr32"], ["volume"], ["ver"], ["log"]):
            for switch in HELP:
                proc = self.tool("pwmachine", *args, switch)
                self.assertEqual((proc.returncode, proc.stderr), (0, ""), (args, switch))
                self.assertIn("pwmachine", proc.stdout.lower(), (args, switch))
        for args in ([], ["B"], ["code"], ["request"]):
            for switch in ("--help", "-h"):
                proc = self.tool("pwcmd", *args, switch)
                self.assertEqual((proc.returncode, proc.stderr), (0, ""), (args, switch))
                self.assertIn("pwcmd", proc.stdout)
        # A verb's help is that verb's usage only.
        self.assertNotIn("request", self.tool("pwcmd", "B", "--help").stdout)
        for tool in ("pwmachine", "pwcmd"):
            proc = self.tool(tool, "--version")
            self.assertEqual((proc.returncode, proc.stderr), (0, ""))
            self.assertRegex(proc.stdout, r"^%s \d+\.\d+\.\d+\n$" % tool)

    def test_usage_errors_say_one_thing_and_point_to_help(self):
        self.assert_usage_error(self.tool("pwmachine"), "pwmachine --help")
        self.assert_usage_error(self.tool("pwmachine", "frobnicate"), "pwmachine --help")
        self.assert_usage_error(self.tool("pwmachine", "reg", "query"),
                                "pwmachine reg query --help")
        self.assert_usage_error(self.tool("pwmachine", "ver", "/platform"), "pwmachine ver --help")
        self.assert_usage_error(self.tool("pwmachine", "log", "0"), "pwmachine log --help")
        self.assert_usage_error(self.tool("pwmachine", "log", "1", "2"), "pwmachine log --help")
        for args in ([], ["frobnicate"], ["key", "extra"], ["B", "X"], ["file", "a"],
                     ["code", "1", "2"]):
            proc = self.tool("pwcmd", *args)
            self.assert_usage_error(proc, "pwcmd --help")
            self.assertEqual(proc.returncode, 2, args)

    def test_regsvr32_says_what_failed_and_keeps_its_exit_codes(self):
        cases = [
            ([], 1, "must provide a binary name"),
            (["/x", "xenroll.dll"], 1, "Unrecognized flag: /x"),
            (["/n", "xenroll.dll"], 1, "/n"),
            (["nowhere.dll"], 3, '"nowhere.dll" failed to load'),
            (["/i", "xenroll.dll"], 4, "entry-point DllInstall was not found"),
        ]
        for args, code, words in cases:
            proc = self.tool("pwmachine", "regsvr32", *args)
            self.assertEqual((proc.returncode, proc.stdout), (code, ""), args)
            self.assertIn(words, proc.stderr, args)
            self.assertEqual(len(proc.stderr.splitlines()), 1, proc.stderr)
        proc = self.tool("pwmachine", "regsvr32", "xenroll.dll")
        self.assertEqual((proc.returncode, proc.stderr), (0, ""))
        self.assertEqual(proc.stdout, "DllRegisterServer in xenroll.dll succeeded.\n")
        proc = self.tool("pwmachine", "regsvr32", "/u", "/s", "xenroll.dll")
        self.assertEqual((proc.returncode, proc.stdout, proc.stderr), (0, "", ""))

    def test_log_shows_the_last_runs_whole(self):
        proc = self.tool("pwmachine", "log")
        self.assertEqual((proc.returncode, proc.stdout), (1, ""))
        self.assertIn("doTrace", proc.stderr)
        self.assertEqual(self.tool("pwmachine", "reg", "add", r"HKCU\Software\Velmora\Tessera",
                                   "/v", "doTrace", "/t", "REG_DWORD", "/d", "1",
                                   "/f").returncode, 0)
        for text in ("H,1", "H,2", "X,3"):
            self.tool("pwexe", text)
        separator = "@" * 71

        def runs(n):
            proc = self.tool("pwmachine", "log", *([str(n)] if n else []))
            self.assertEqual((proc.returncode, proc.stderr), (0, ""))
            lines = proc.stdout.splitlines()
            self.assertEqual((lines[0], lines[-1]), (separator, separator))
            return [l.split("\t", 1)[1] for l in lines if l.startswith("20")
                    and l.endswith(("H,1", "H,2", "X,3", "lReturn=0", "lReturn=7007"))]

        self.assertEqual(runs(None), ["X,3", "lReturn=7007"])
        self.assertEqual(runs(2), ["H,2", "lReturn=0", "X,3", "lReturn=7007"])
        self.assertEqual(runs(3), runs(99))
        self.assertEqual(runs(3)[:2], ["H,1", "lReturn=0"])
        # The log moved by PW_LogPath and PW_LogFileName is the one shown.
        self.tool("pwmachine", "reg", "add", r"HKCU\Software\Velmora\Tessera", "/v",
                  "PW_LogPath", "/d", r"c:\elsewhere", "/f")
        self.tool("pwmachine", "reg", "add", r"HKCU\Software\Velmora\Tessera", "/v",
                  "PW_LogFileName", "/d", "other.log", "/f")
        self.tool("pwexe", "W,moved")
        self.assertTrue(os.path.exists(os.path.join(self.root, "drive_c", "elsewhere",
                                                    "other.log")))
        proc = self.tool("pwmachine", "log", "5")
        self.assertIn("W,moved", proc.stdout)
        self.assertNotIn("X,3", proc.stdout)


if __name__ == "__main__":
    unittest.main()
