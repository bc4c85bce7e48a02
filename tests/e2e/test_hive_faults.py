"""The hive under faults a hostile client or a careless administrator causes: runs
killed at any moment, alone or among others. Nothing committed may be lost, and the
hive stays whole. (Locks held by another process: test_held_locks.py.)

PW_KILL_RUNS sets how many runs are killed (default 120; the long run uses 3000)."""

import os
import random
import sqlite3
import struct
import subprocess
import time
import unittest

from harness import HWID_KEY, TARGET, TargetTest

KILL_RUNS = int(os.environ.get("PW_KILL_RUNS", "120"))
TREE_KEY = r"HKLM\Software\PwFaults"


@unittest.skipIf(TARGET == "wine", "wine: the registry lives in wineserver's memory, not in "
                 "files the runs write, so neither a killed run nor a held file lock reaches it")
class HiveFaultTest(TargetTest):
    def hive(self):
        return sqlite3.connect(self.t.hive_file(), timeout=30)

    def assert_whole(self):
        db = self.hive()
        try:
            self.assertEqual(db.execute("PRAGMA integrity_check").fetchone()[0], "ok")
            orphans = db.execute("SELECT count(*) FROM keys WHERE parent <> 0 AND parent NOT IN "
                                 "(SELECT id FROM keys)").fetchone()[0]
            self.assertEqual(orphans, 0, "keys whose parent is gone")
            stray = db.execute("SELECT count(*) FROM vals WHERE key NOT IN (SELECT id FROM keys)")
            self.assertEqual(stray.fetchone()[0], 0, "values whose key is gone")
        finally:
            db.close()

    def blob(self):
        data = self.t.value(HWID_KEY, "Blob")
        return struct.unpack("<i", data[1])[0] if data else None

    def start(self, text):
        return subprocess.Popen([os.path.join(self.t.bin, "pwexe"), text], env=self.t.env,
                                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    def test_runs_killed_at_random_moments_lose_nothing_committed(self):
        rng = random.Random(7)
        self.run_ok("H,1")
        committed = 1
        for n in range(2, KILL_RUNS + 2):
            proc = self.start("H,%d" % n)
            time.sleep(rng.uniform(0, 0.012))
            proc.kill()
            finished = proc.wait() == 0
            value = self.blob()
            # The killed run's value is there if it committed, the last one otherwise.
            self.assertIn(value, (committed, n) if not finished else (n,), "run %d" % n)
            committed = value
        self.assert_whole()
        self.run_ok("H,%d" % (KILL_RUNS + 9))
        self.assertEqual(self.blob(), KILL_RUNS + 9)

    def test_a_deletion_killed_half_way_leaves_whole_keys(self):
        lines = ["Windows Registry Editor Version 5.00", ""]
        for i in range(40):
            for j in range(10):
                lines += ["[%s\\k%02d\\leaf%d]" % (TREE_KEY, i, j), '"v"=dword:%08x' % j, ""]
        script = os.path.join(self.t.work, "tree.reg")
        with open(script, "wb") as f:
            f.write(("\r\n".join(lines)).encode("utf-16"))
        rng = random.Random(11)
        for _ in range(max(3, KILL_RUNS // 20)):
            self.assertEqual(self.t.reg("import", script).returncode, 0)
            proc = self.start(r"D,Software,PwFaults")
            time.sleep(rng.uniform(0.005, 0.05))
            proc.kill()
            proc.wait()
            self.assert_whole()
            # Every leaf still there still holds its value.
            db = self.hive()
            bare = db.execute("SELECT count(*) FROM keys k WHERE k.name LIKE 'leaf%' AND NOT EXISTS "
                              "(SELECT 1 FROM vals v WHERE v.key = k.id)").fetchone()[0]
            db.close()
            self.assertEqual(bare, 0)
        # A killed run may have deleted the whole tree before its end (D of a missing key
        # answers 7024), so the tree is imported once more over what is left of it.
        self.assertEqual(self.t.reg("import", script).returncode, 0)
        self.run_ok(r"D,Software,PwFaults")
        self.assertFalse(self.t.key_exists(TREE_KEY))

    def test_overlapping_runs_that_are_killed_leave_the_others_whole(self):
        rng = random.Random(5)
        procs = [self.start("H,%d" % (i + 1)) for i in range(24)]
        victims = rng.sample(procs, 8)
        time.sleep(0.01)
        for p in victims:
            p.kill()
        codes = [p.wait(timeout=120) for p in procs]
        survivors = [c for p, c in zip(procs, codes) if p not in victims]
        self.assertEqual(survivors, [0] * len(survivors))
        self.assert_whole()
        self.assertIn(self.blob(), range(1, 25))


if __name__ == "__main__":
    unittest.main()
