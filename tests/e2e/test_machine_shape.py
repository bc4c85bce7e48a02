"""The machine has the shape Windows gives it: 'D' cannot take the hive roots of the
local machine or the keys the system owns, whatever an administrator asks for."""

import getpass
import os
import sqlite3
import unittest

from harness import HKCU_TESSERA, HWID_KEY, TARGET, TargetTest

# How a hive was laid out before keys carried flags.
LAYOUT_1 = """
CREATE TABLE keys(id INTEGER PRIMARY KEY AUTOINCREMENT, parent INTEGER NOT NULL,
  name TEXT NOT NULL, fold TEXT NOT NULL, UNIQUE(parent, fold));
CREATE TABLE vals(seq INTEGER PRIMARY KEY AUTOINCREMENT, key INTEGER NOT NULL,
  name TEXT NOT NULL, fold TEXT NOT NULL, type INTEGER NOT NULL, data BLOB NOT NULL,
  UNIQUE(key, fold));
INSERT INTO keys(id, parent, name, fold) VALUES(1, 0, '', '');
PRAGMA user_version = 1;
"""


def old_hive(path, keys, values):
    """A hive of layout 1 holding `keys` (paths from its root) and `values`."""
    db = sqlite3.connect(path)
    db.execute("PRAGMA journal_mode=WAL")
    db.executescript(LAYOUT_1)
    ids = {(): 1}
    for path_ in keys:
        names = tuple(path_.split("\\"))
        for i in range(1, len(names) + 1):
            if names[:i] not in ids:
                cur = db.execute("INSERT INTO keys(parent, name, fold) VALUES(?, ?, ?)",
                                 (ids[names[:i - 1]], names[i - 1], names[i - 1].upper()))
                ids[names[:i]] = cur.lastrowid
    for key, name, type_, data in values:
        db.execute("INSERT INTO vals(key, name, fold, type, data) VALUES(?, ?, ?, ?, ?)",
                   (ids[tuple(key.split("\\"))], name, name.upper(), type_, data))
    db.commit()
    db.close()


class MachineShapeTest(TargetTest):
    def test_deleting_the_whole_local_machine_stops_at_its_first_hive_root(self):
        self.run_ok("H,5")
        self.assertEqual(self.t.run("D,,").code, 7024)
        self.assertEqual(self.t.value(HWID_KEY, "Blob")[0], 4)

    def test_the_machines_own_settings_are_not_deleted(self):
        self.skip_on("wine", "Wine keeps its own settings outside the registry")
        self.assertEqual(self.t.reg("add", r"HKLM\Software\PwPlatform\Drives", "/v", "q:", "/d",
                                    self.t.work, "/f").returncode, 0)
        self.assertEqual(self.t.run(r"D,Software\PwPlatform,Drives").code, 7024)
        self.assertEqual(self.t.run(r"D,Software,PwPlatform").code, 7024)
        r = self.t.reg("delete", r"HKLM\Software\PwPlatform\Drives", "/f")
        self.assertNotEqual(r.returncode, 0)
        self.assertIn("Access is denied", r.stdout + r.stderr)
        self.assertEqual(self.t.value(r"HKLM\Software\PwPlatform\Drives", "q:")[0], 1)

    def test_deleting_the_software_hive_stops_at_the_systems_keys(self):
        self.skip_on("wine", "Wine lets administrators delete every key below a hive root, the "
                     "ones Windows reserves to the system included")
        self.run_ok("H,5")
        # Software's keys go in their order until one owned by the system refuses.
        self.assertEqual(self.t.reg("add", r"HKLM\Software\Aardvark\x", "/f").returncode, 0)
        self.assertEqual(self.t.run("D,SOFTWARE,").code, 7024)
        self.assertFalse(self.t.key_exists(r"HKLM\Software\Aardvark"))
        self.assertTrue(self.t.key_exists(r"HKLM\SOFTWARE\PwPlatform"))
        self.assertEqual(self.t.value(HWID_KEY, "Blob")[0], 4)

    @unittest.skipIf(TARGET == "wine", "wine: its registry files are not the portable hives")
    def test_hives_of_the_earlier_layout_take_the_new_shape_and_keep_their_data(self):
        registry = os.path.join(self.t.root, "registry")
        os.makedirs(registry, exist_ok=True)
        os.makedirs(self.t.c_path(), exist_ok=True)
        old_hive(os.path.join(registry, "machine.db"),
                 [r"Software\PwPlatform\Crypto\Containers\box", r"Software\Velmora\Tessera\hwid"],
                 [(r"Software\Velmora\Tessera\hwid", "Hwid2", 1, b"old")])
        # The user's hive was named after the account.
        old_hive(os.path.join(registry, "user-%s.db" % getpass.getuser()),
                 [r"Software\Velmora\Tessera"],
                 [(r"Software\Velmora\Tessera", "doTrace", 4, b"\x01\x00\x00\x00")])

        self.run_ok("H,7")
        self.assertTrue(os.path.exists(os.path.join(registry, "user-%d.db" % os.geteuid())))
        self.assertEqual(len(self.t.log_lines()), 11)  # the moved user hive switched tracing on
        self.assertEqual(self.t.value(HWID_KEY, "Hwid2"), (1, b"old"))
        self.assertEqual(self.t.value(HKCU_TESSERA, "doTrace")[0], 4)
        listing = self.t.reg("query", "HKLM").stdout
        for root in ["HKEY_LOCAL_MACHINE\\Software", "HKEY_LOCAL_MACHINE\\SYSTEM",
                     "HKEY_LOCAL_MACHINE\\SECURITY"]:
            self.assertIn(root + "\n", listing)
        self.assertEqual(self.t.run("D,,").code, 7024)
        self.assertEqual(self.t.run(r"D,Software\PwPlatform\Crypto\Containers,box").code, 7024)
        self.assertTrue(self.t.key_exists(r"HKLM\Software\PwPlatform\Crypto\Containers\box"))


if __name__ == "__main__":
    unittest.main()
