"""'H' and 'W': the hardware identifiers in the local machine's hwid key."""

import os
import stat
import struct
import unittest

from harness import HWID_KEY, TargetTest


class HwidStoreTest(TargetTest):
    def test_numbers_convert_like_the_runtime(self):
        for text, number in [("H,42", 42), ("H, 42", 42), ("H,12abc", 12), ("H,-1", -1),
                             ("H,+7", 7), ("H,4294967297", 1)]:
            with self.subTest(text=text):
                self.run_ok(text)
                self.assertEqual(self.t.value(HWID_KEY, "Blob"), (4, struct.pack("<i", number)))

    def test_zero_or_no_number_is_7008_but_the_key_is_created(self):
        for text in ["H,0", "H,abc", "H,"]:
            with self.subTest(text=text):
                self.t.reset()
                self.assertEqual(self.t.run(text).code, 7008)
                self.assertTrue(self.t.key_exists(HWID_KEY))
                self.assertIsNone(self.t.value(HWID_KEY, "Blob"))

    def test_text_is_stored_as_exactly_its_bytes(self):
        # Windows' RegSetValueExA would also store a zero byte that follows the data.
        self.run_ok("W,ABC")
        self.assertEqual(self.t.value(HWID_KEY, "Hwid2"), (1, b"ABC"))
        self.run_ok("W,")
        self.assertEqual(self.t.value(HWID_KEY, "Hwid2"), (1, b""))

    def test_the_last_writer_wins(self):
        self.run_ok("H,1")
        self.run_ok("H,2")
        self.run_ok("W,first")
        self.run_ok("W,second")
        self.assertEqual(self.t.value(HWID_KEY, "Blob"), (4, struct.pack("<i", 2)))
        self.assertEqual(self.t.value(HWID_KEY, "Hwid2"), (1, b"second"))
        out = self.t.reg("query", HWID_KEY).stdout
        self.assertEqual(out.lower().count("blob"), 1)

    def test_a_machine_hive_that_denies_writes_gives_7001(self):
        self.skip_on("wine", "reg.exe cannot deny writes to a hive under Wine")
        self.run_ok("H,5")  # the hive exists
        hive = self.t.hive_file()
        os.chmod(hive, stat.S_IRUSR | stat.S_IRGRP | stat.S_IROTH)
        try:
            self.assertEqual(self.t.run("H,6").code, 7001)
            self.assertEqual(self.t.run("W,x").code, 7001)
        finally:
            os.chmod(hive, stat.S_IRUSR | stat.S_IWUSR)
        self.assertEqual(self.t.value(HWID_KEY, "Blob"), (4, struct.pack("<i", 5)))
        self.assertIsNone(self.t.value(HWID_KEY, "Hwid2"))


if __name__ == "__main__":
    unittest.main()
