"""Overlapping runs with tracing on: every run succeeds, no log line is torn or
mixed with another, and the hive stays whole."""

import os
import re
import sqlite3
import struct
import subprocess
import threading
import unittest

from harness import HWID_KEY, TargetTest

RUNS = int(os.environ.get("PW_OVERLAP_RUNS", "32"))  # the long run uses 256
FRESH_MACHINES, FRESH_RUNS = 20, 24
LINE = re.compile(rb"^( {2})?(@{71}|\d{4}-\d{1,2}-\d{1,2}  \d{1,2}:\d{2}:\d{2}:\d{3}\t"
                  rb"(PWEXE MAIN - Start|H,\d+|PWEXE MAIN - entering the switch|"
                  rb"PWExe Storage_Manager_No_console::storeHwid1 - Start|"
                  rb"PWEXE Storage_Manager_No_console::storeHwid1 - End|lReturn=0|"
                  rb"PWEXE MAIN - end))$")


class ConcurrencyTest(TargetTest):
    def test_overlapping_traced_runs(self):
        self.t.trace_on()
        results = [None] * RUNS
        errors = []

        def run(i):
            try:
                results[i] = self.t.run("H,%d" % (i + 1), timeout=600).code
            except Exception as e:  # reported below, with the run's number
                errors.append((i, e))

        threads = [threading.Thread(target=run, args=(i,)) for i in range(RUNS)]
        for th in threads:
            th.start()
        for th in threads:
            th.join()
        self.assertEqual(errors, [])
        self.assertEqual(results, [0] * RUNS)

        self.check_hive()
        if self.t.name == "wine":
            self.skipTest("wine: appends from several processes are not atomic there (a write "
                          "lands at the end-of-file offset read before it, so a later writer can "
                          "overwrite part of a line); every run succeeded and the hive is whole")
        lines = self.t.log_lines()
        self.assertEqual(len(lines), RUNS * 11)
        for line in lines:
            self.assertRegex(line, LINE)
        commands = sorted(int(m.group(1)) for l in lines for m in [re.search(rb"\tH,(\d+)$", l)] if m)
        self.assertEqual(commands, list(range(1, RUNS + 1)))

    def test_many_first_runs_on_a_fresh_machine(self):
        # The first runs on a new machine lay its hive out; when several start at once,
        # one lays it out and the others wait for it, and every run succeeds.
        self.skip_on("wine", "the hive files and their first lay-out are the portable machine's")
        for machine in range(FRESH_MACHINES):
            if machine:
                self.t.reset()
            runs = [subprocess.Popen([os.path.join(self.t.bin, "pwexe"), "H,%d" % (i + 1)],
                                     env=self.t.env, cwd=self.t.work, stdout=subprocess.PIPE,
                                     stderr=subprocess.PIPE) for i in range(FRESH_RUNS)]
            answers = [(p.communicate(timeout=600), p.returncode)[0][0].strip() for p in runs]
            self.assertEqual(answers, [b"0"] * FRESH_RUNS, "machine %d" % machine)
            self.check_hive(FRESH_RUNS)

    def check_hive(self, runs=RUNS):
        blob = self.t.value(HWID_KEY, "Blob")
        self.assertEqual(blob[0], 4)
        self.assertIn(struct.unpack("<i", blob[1])[0], range(1, runs + 1))
        if self.t.name == "portable":
            db = sqlite3.connect(self.t.hive_file())
            self.assertEqual(db.execute("PRAGMA integrity_check").fetchone()[0], "ok")
            db.close()


if __name__ == "__main__":
    unittest.main()
