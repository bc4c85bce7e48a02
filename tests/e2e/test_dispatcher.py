"""The command grammar as a client meets it: letters, field counts, exit codes."""

import struct
import unittest

from harness import HWID_KEY, TargetTest


class DispatcherTest(TargetTest):
    def test_unknown_letters_and_wrong_field_counts(self):
        cases = [
            ("", 7007),          # the terminating zero is no letter
            ("h,5", 7007),       # lower case
            ("H", 7011),
            ("H,1,2", 7011),
            ("X,1,2", 7007),     # the letter is tested before the count
            ('"H,5"', 7007),     # a quoted text starts with the quote
            ("W", 7011),
            ("W,a,b", 7011),
        ]
        for text, code in cases:
            with self.subTest(text=text):
                self.assertEqual(self.t.run(text).code, code)
        self.assertFalse(self.t.key_exists(HWID_KEY), "no handler may have run")

    def test_second_character_is_skipped_unseen(self):
        # Two fields, so the handler runs; it receives ',5', which is no number.
        self.assertEqual(self.t.run("Hx,5").code, 7008)
        self.assertTrue(self.t.key_exists(HWID_KEY))
        self.run_ok("H;7,")  # the ";" is skipped unseen; the handler receives "7,"
        self.assertEqual(self.t.value(HWID_KEY, "Blob"), (4, struct.pack("<i", 7)))

    def test_blanks_belong_to_their_field(self):
        self.run_ok("W, a  b ")
        self.assertEqual(self.t.value(HWID_KEY, "Hwid2"), (1, b" a  b "))

    def test_bytes_up_to_blank_before_the_text_are_skipped(self):
        # Windows' C start-up code skips every byte of value 0x20 or less between the
        # program's name and the command text.
        for number, text in enumerate([" H,1", "\tH,2", "     H,3", " \t\x01\x1f\x20H,4"], 1):
            with self.subTest(text=text):
                self.run_ok(text)
                self.assertEqual(self.t.value(HWID_KEY, "Blob"), (4, struct.pack("<i", number)))
        self.assertEqual(self.t.run(" \t ").code, 7007)
        self.assertEqual(self.t.value(HWID_KEY, "Blob"), (4, struct.pack("<i", 4)))

    def test_full_result_code_reaches_the_client(self):
        # 7007 does not fit in 8 bits: the harness reads the full code on both targets.
        r = self.t.run("Z,1")
        self.assertEqual(r.code, 7007)


if __name__ == "__main__":
    unittest.main()
