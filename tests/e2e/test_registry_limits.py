"""Windows' registry limits as a client meets them through 'D', 'B' and pwmachine: the
deepest tree Windows allows goes whole, nothing deeper is made, and a hive that holds a
deeper tree from before is walked without a crash, and removed by the administrator's
repair alone."""

import os
import sqlite3
import subprocess
import unittest

from harness import TARGET, TargetTest

PARENT = r"Software\PwDeep"
HKLM_PARENT = "HKLM\\" + PARENT


def chain(levels):
    """A path of `levels` keys below HKLM: Software, PwDeep, then d, d, ..."""
    return "HKLM\\" + "\\".join([PARENT] + ["d"] * (levels - 2))


class RegistryLimitsTest(TargetTest):
    def setUp(self):
        super().setUp()
        if self.t.name == "wine":  # the reset there clears only the system's own keys
            self.t.delete_key(HKLM_PARENT)

    def test_the_deepest_tree_windows_allows_is_deleted_whole(self):
        # \REGISTRY\MACHINE is level 2: its keys reach 510 levels below HKLM.
        self.t._check(self.t.reg("add", chain(510), "/v", "leaf", "/d", "x", "/f"))
        self.t._check(self.t.reg("add", chain(300) + r"\side", "/f"))
        self.assertEqual(self.t.run(r"D,Software,PwDeep").code, 0)
        self.assertFalse(self.t.key_exists(HKLM_PARENT))

    def test_nothing_is_made_deeper_than_windows_allows(self):
        self.skip_on("wine", "Wine 8 makes keys at any depth; Windows refuses those below "
                     "level 512 (ERROR_NO_SYSTEM_RESOURCES)")
        r = self.t.reg("add", chain(511), "/f")
        self.assertNotEqual(r.returncode, 0)
        self.assertIn("Insufficient system resources exist", r.stdout + r.stderr)
        self.assertFalse(self.t.key_exists(chain(511)))
        self.assertTrue(self.t.key_exists(chain(510)))  # the levels Windows makes one by one
        command = subprocess.run([os.path.join(self.t.bin, "pwcmd"), "N", "L",
                                  chain(511)[len("HKLM\\"):], "v", "D", "number", "1"],
                                 capture_output=True, text=True, check=True).stdout.strip()
        self.assertEqual(self.t.run(command).code, 7001)

    def test_a_leading_backslash_names_no_key(self):
        self.t.set_string(HKLM_PARENT + r"\A", "v", "x")
        self.assertEqual(self.t.run(r"D,Software\PwDeep,\A").code, 7024)
        self.assertTrue(self.t.key_exists(HKLM_PARENT + r"\A"))

    @unittest.skipIf(TARGET == "wine", "wine: its registry files are not the portable hives")
    def test_a_deeper_tree_from_an_earlier_build_is_walked_without_a_crash(self):
        self.run_ok("H,1")
        db = sqlite3.connect(self.t.hive_file())
        parent = db.execute("SELECT k.id FROM keys k JOIN keys s ON k.parent = s.id "
                            "WHERE s.parent = 1 AND s.fold = 'SOFTWARE' AND k.fold = 'PWDEEP'")
        row = parent.fetchone()
        if row is None:
            software = db.execute("SELECT id FROM keys WHERE parent = 1 AND fold = 'SOFTWARE'")
            top = db.execute("INSERT INTO keys(parent, name, fold) VALUES(?, 'PwDeep', 'PWDEEP')",
                             (software.fetchone()[0],)).lastrowid
        else:
            top = row[0]
        node = top
        for _ in range(25000):  # as earlier builds let a client make
            node = db.execute("INSERT INTO keys(parent, name, fold) VALUES(?, 'd', 'D')",
                              (node,)).lastrowid
        db.commit()
        db.close()

        self.assertEqual(self.t.run(r"D,Software,PwDeep").code, 7024)
        self.assertTrue(self.t.key_exists(HKLM_PARENT))
        listing = self.t.reg("query", HKLM_PARENT, "/s")
        self.assertGreaterEqual(listing.returncode, 0)  # ended, not killed by a signal
        self.assertGreater(listing.stdout.count("\\d\n"), 500)
        out = os.path.join(self.t.work, "deep.reg")
        self.assertGreaterEqual(self.t.reg("export", HKLM_PARENT, out, "/y").returncode, 0)

        # reg delete cannot reach the keys below the limit either; the administrator's
        # repair removes the whole tree, and only it.
        self.t.set_string(r"HKLM\Software\PwBeside", "v", "stays")
        r = self.t.reg("delete", HKLM_PARENT, "/f")
        self.assertEqual(r.returncode, 1)
        self.assertIn("Insufficient system resources exist", r.stdout + r.stderr)
        self.assertTrue(self.t.key_exists(HKLM_PARENT))
        self.t.pwmachine("prune", HKLM_PARENT, "/f")
        self.assertFalse(self.t.key_exists(HKLM_PARENT))
        self.assertEqual(self.t.value(r"HKLM\Software\PwBeside", "v"), (1, b"stays\0"))
        db = sqlite3.connect(self.t.hive_file())
        self.assertEqual(db.execute("PRAGMA integrity_check").fetchone()[0], "ok")
        self.assertEqual(db.execute("SELECT count(*) FROM keys WHERE parent <> 0 AND parent NOT IN "
                                    "(SELECT id FROM keys)").fetchone()[0], 0)
        db.close()
        self.assertEqual(self.t.run(r"D,Software,PwBeside").code, 0)


if __name__ == "__main__":
    unittest.main()
