"""Every command, and every administrator's verb that writes, on a disk that fails: the
short run of the fault sweep (fault_sweep.py says what each run must leave), a few
failing host calls for each command and error, the calls that write first. The full
sweep, every call of every command, is run by hand and recorded in the README.

PW_SWEEP_SAMPLE sets how many calls fail for each command and error (6 by default)."""

import os
import unittest

import fault_sweep
from harness import TARGET

SAMPLE = int(os.environ.get("PW_SWEEP_SAMPLE", "6"))


@unittest.skipIf(TARGET == "wine", "wine: the calls failed are the portable platform's own")
class FaultSweepTest(unittest.TestCase):
    def test_every_store_stays_whole_when_a_host_call_fails(self):
        faults, runs, findings = fault_sweep.sweep(sample=SAMPLE,
                                                   report=lambda line: print(line, flush=True))
        if runs == 0:
            self.skipTest("this build reads no PW_HOST_FAULTS (PW_FAULT_INJECTION is off)")
        self.assertEqual(findings, [])
        # Each run fails one call; a few runs of 'Q', whose calls vary with its fresh key,
        # may reach fewer calls than the run they were chosen from.
        self.assertGreaterEqual(faults, runs * 9 // 10)


if __name__ == "__main__":
    unittest.main()
