"""The installation a user gets: `cmake --install` of the build into a fresh DESTDIR,
then the installed programs, manual pages and walkthrough run from there, with nothing
of the build tree on their path."""

import gzip
import os
import re
import shutil
import subprocess
import tempfile
import unittest

BUILD = os.environ["PW_BUILD_DIR"]
VERSION = os.environ["PW_VERSION"]

# Every result code pwexe can answer, as the system defines them.
CODES = ([0, 3215, 3216, 3217, 3219, 3220, 3222, 3223,
          3501, 3504, 3506, 3507, 3508, 3510, 3511, 3512, 3513, 3515] +
         [c for c in range(7001, 7034) if c not in (7029, 7030, 7032)] +
         [c for c in range(7500, 7512)] + [7518])

# A few meanings, in the words the system uses for them.
MEANINGS = {
    0: "success",
    3512: "CryptoAPI decryption failed",
    7007: "unknown command letter",
    7011: "field count does not match the letter",
    7013: "the decrypted check blob differs from the value data",
    7021: "did not end within 60 seconds",
    7505: "replaces 7500 or 7501",
    7518: "deleting the certificate from the store failed",
}

EXPECTED_FILES = {
    "usr/bin/pwexe", "usr/bin/pwmachine", "usr/bin/pwcmd",
    "usr/share/man/man8/pwexe.8.gz", "usr/share/man/man8/pwmachine.8.gz",
    "usr/share/man/man1/pwcmd.1.gz",
    "usr/share/doc/pwexe/README.md", "usr/share/doc/pwexe/examples/walkthrough.sh",
    "usr/lib/pwexe/cacls", "usr/lib/pwexe/icacls",
}


class Installed(unittest.TestCase):
    maxDiff = None

    @classmethod
    def setUpClass(cls):
        cls.destdir = tempfile.mkdtemp(prefix="pw-install-")
        cls.scratch = tempfile.mkdtemp(prefix="pw-install-machines-")  # machines, outside
        subprocess.run(["cmake", "--install", BUILD, "--prefix", "/usr"], check=True,
                       env=dict(os.environ, DESTDIR=cls.destdir), capture_output=True)
        cls.bin = os.path.join(cls.destdir, "usr", "bin")
        # The installed programs only: no build folder on the path.
        cls.env = dict(os.environ, PATH=cls.bin + ":/usr/bin:/bin")
        cls.env.pop("PW_BIN_DIR", None)

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.destdir, ignore_errors=True)
        shutil.rmtree(cls.scratch, ignore_errors=True)

    def run_installed(self, *args, root=None, check=True):
        env = dict(self.env, PW_MACHINE_ROOT=root or tempfile.mkdtemp(dir=self.scratch))
        proc = subprocess.run(list(args), env=env, capture_output=True, text=True, timeout=300)
        if check:
            self.assertEqual(proc.returncode, 0, proc)
        return proc

    def man_text(self, page):
        proc = subprocess.run(["man", "--warnings", "-E", "UTF-8", "-l", page],
                              env=dict(os.environ, MANWIDTH="100", MAN_KEEP_FORMATTING="0"),
                              capture_output=True, text=True, timeout=60)
        self.assertEqual(proc.returncode, 0, proc.stderr)
        self.assertEqual(proc.stderr, "", page)
        return re.sub(r".\x08", "", proc.stdout)

    def test_the_files_land_in_the_usual_places_and_nowhere_else(self):
        files = set()
        for folder, _, names in os.walk(self.destdir):
            for name in names:
                files.add(os.path.relpath(os.path.join(folder, name), self.destdir))
        self.assertTrue(EXPECTED_FILES <= files, EXPECTED_FILES - files)
        self.assertEqual([f for f in files if not f.startswith("usr/")], [])
        for program in ("pwexe", "pwmachine", "pwcmd"):
            self.assertTrue(os.access(os.path.join(self.bin, program), os.X_OK), program)

    def test_installed_programs_run_on_a_fresh_machine(self):
        self.assertEqual(self.run_installed("pwmachine", "--version").stdout,
                         "pwmachine %s\n" % VERSION)
        self.assertEqual(self.run_installed("pwcmd", "--version").stdout, "pwcmd %s\n" % VERSION)
        root = tempfile.mkdtemp(dir=self.scratch)
        self.assertEqual(self.run_installed("pwexe", "H,42", root=root).stdout, "0\n")
        query = self.run_installed("pwmachine", "reg", "query",
                                   r"HKLM\Software\Velmora\Tessera\hwid", "/v", "Blob", root=root)
        self.assertIn("REG_DWORD    0x2a", query.stdout)
        # pwexe has no options: an unknown command text answers 7007, exit status 95.
        for text in ("--help", "--version", "h,5"):
            proc = self.run_installed("pwexe", text, root=root, check=False)
            self.assertEqual((proc.stdout, proc.returncode), ("7007\n", 95), text)

    def test_manual_pages_render_without_warnings(self):
        for page in ("man8/pwexe.8.gz", "man8/pwmachine.8.gz", "man1/pwcmd.1.gz"):
            path = os.path.join(self.destdir, "usr/share/man", page)
            text = self.man_text(path)
            self.assertIn("NAME", text)
            with gzip.open(path, "rb") as f:
                roff = f.read()
            groff = subprocess.run(["groff", "-t", "-ww", "-man", "-z"], input=roff,
                                   capture_output=True, timeout=60)
            self.assertEqual((groff.returncode, groff.stderr), (0, b""), page)
        # man finds the installed pages by name under the installed tree.
        proc = subprocess.run(["man", "-M", os.path.join(self.destdir, "usr/share/man"), "-w",
                               "pwexe"], capture_output=True, text=True, timeout=60)
        self.assertTrue(proc.stdout.strip().endswith("man8/pwexe.8.gz"), proc)

    def test_every_result_code_has_one_meaning_in_the_manual_and_in_pwcmd(self):
        listing = self.run_installed("pwcmd", "code").stdout.splitlines()
        from_pwcmd = dict(line.split(": ", 1) for line in listing)
        self.assertEqual([int(c) for c in from_pwcmd], CODES)
        for code, words in MEANINGS.items():
            self.assertIn(words, from_pwcmd[str(code)], code)
            self.assertEqual(self.run_installed("pwcmd", "code", str(code)).stdout,
                             "%d: %s\n" % (code, from_pwcmd[str(code)]))

        text = self.man_text(os.path.join(self.destdir, "usr/share/man/man8/pwexe.8.gz"))
        section = text[text.index("\nEXIT STATUS\n"):text.index("\nFILES\n")]
        # Each entry: the code alone on a line, its meaning indented below, maybe wrapped.
        from_manual = {}
        for code, body in re.findall(r"\n {7}(\d+)\n((?: {11}.*\n)+)", section):
            from_manual[code] = " ".join(line.strip() for line in body.splitlines())
        self.assertEqual([int(c) for c in from_manual], CODES)
        for code, meaning in from_pwcmd.items():
            # man hyphenates long words where it wraps a line: compare without that.
            self.assertEqual(from_manual[code].replace("\u2010 ", "").replace("- ", "-"),
                             meaning.replace("- ", "-"), code)

    def test_pwcmd_names_the_codes_an_exit_status_keeps(self):
        proc = self.run_installed("pwcmd", "code", "95")
        self.assertEqual(proc.stdout.splitlines()[1:], ["7007: unknown command letter"])
        low_94 = [c for c in CODES if c & 0xFF == 94]  # 7006 and one more
        self.assertEqual(len(low_94), 2)
        proc = self.run_installed("pwcmd", "code", "94")
        self.assertEqual([int(l.split(":")[0]) for l in proc.stdout.splitlines()[1:]], low_94)
        self.assertEqual(self.run_installed("pwcmd", "code", "0x1B5F").stdout.split(":")[0],
                         "7007")
        for text in ("7029", "1234", "abc", "-1", "300"):
            proc = self.run_installed("pwcmd", "code", text, check=False)
            self.assertEqual((proc.returncode, proc.stdout), (1, ""), text)
            self.assertRegex(proc.stderr, "^pwcmd: .+\n$", text)

    def test_walkthrough_runs_green_from_the_installation(self):
        script = os.path.join(self.destdir, "usr/share/doc/pwexe/examples/walkthrough.sh")
        tmp = tempfile.mkdtemp(dir=self.scratch)
        proc = subprocess.run(["sh", script], env=dict(self.env, TMPDIR=tmp), capture_output=True,
                              text=True, timeout=300, cwd=self.scratch)
        self.assertEqual(proc.returncode, 0, proc.stdout[-3000:] + proc.stderr)
        self.assertIn("walkthrough: every step answered as expected", proc.stdout)
        # First boot puts the installed access-control tools into the machine's system
        # folder, and 'R' runs them.
        self.assertIn("c:\\data BUILTIN\\Users:(OI)(CI)(RX)", proc.stdout)
        self.assertEqual(os.listdir(tmp), [])  # it removes its machine again


if __name__ == "__main__":
    unittest.main()
