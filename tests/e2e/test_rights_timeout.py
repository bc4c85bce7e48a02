"""'R' with a program that outlives its minute: a slow test (about 65 s a target).

pwexe waits 60 s for the program, answers 7021 after its Timeout line and leaves the
program running: it ends on its own afterwards and leaves its marker file.
"""

import os
import time

from harness import TargetTest, main_block, separator, text_line
from test_rights import M, rights_block


class RightsTimeoutTest(TargetTest):
    def test_a_program_running_past_the_minute_answers_7021_and_runs_on(self):
        self.t.trace_on()
        prog = self.t.install_program("tools")
        args = prog + " --sleep=64000 --touch=done.txt"
        started = time.monotonic()
        r = self.t.run("R," + args, timeout=180)
        waited = time.monotonic() - started
        self.assertEqual(r.code, 7021, r)
        self.assertGreaterEqual(waited, 60)
        self.assertEqual(self.t.masked_log(), main_block(
            b"R," + args.encode(), rights_block(args.encode(), b"Timeout"), 7021))
        marker = self.t.c_path("done.txt")
        self.assertFalse(os.path.exists(marker), "the program ended within the minute")
        deadline = started + 64 + 30
        while not os.path.exists(marker) and time.monotonic() < deadline:
            time.sleep(0.5)
        self.assertTrue(os.path.exists(marker), "the program did not run to its end")
