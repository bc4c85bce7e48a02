"""'F': the command text handed over in a file, read and deleted."""

import os
import struct
import subprocess
import unittest

from harness import HWID_KEY, TargetTest, separator, text_line


class CommandFileTest(TargetTest):
    def write(self, relative, data):
        path = self.t.c_path(relative)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(data)
        return path

    def test_file_text_is_dispatched_and_the_file_deleted(self):
        path = self.write("cmd.txt", b"H,5\r\n")  # the line feed reaches the handler
        self.run_ok(r"F,c:\cmd.txt")
        self.assertEqual(self.t.value(HWID_KEY, "Blob"), (4, struct.pack("<i", 5)))
        self.assertFalse(os.path.exists(path))

    def test_line_end_belongs_to_the_last_field(self):
        self.write("cmd.txt", b"W,abc\r\n")
        self.run_ok(r"F,c:\cmd.txt")
        self.assertEqual(self.t.value(HWID_KEY, "Hwid2"), (1, b"abc\n"))

    def test_empty_file_and_second_indirection_are_unknown_commands(self):
        for content in [b"", b"F,c:\\other.txt", b"\x1aH,5"]:
            with self.subTest(content=content):
                path = self.write("cmd.txt", content)
                self.assertEqual(self.t.run(r"F,c:\cmd.txt").code, 7007)
                self.assertFalse(os.path.exists(path))

    def test_missing_file_or_no_path_is_7031_and_the_run_stops_at_once(self):
        self.t.trace_on()
        self.assertEqual(self.t.run(r"F,c:\absent.txt").code, 7031)
        self.assertEqual(self.t.masked_log(), [
            separator(b"@"), text_line(b"PWEXE MAIN - Start"), text_line(b"F,c:\\absent.txt"),
            separator(b"@", 1),
            text_line(b"PWEXE Storage_Manager_No_console::readCommandLineFromFile - Start", 1),
            text_line(b"PWEXE Storage_Manager_No_console::readCommandLineFromFile - End catch3", 1),
            separator(b"@", 1)])
        os.makedirs(self.t.c_path("adir"))
        for text in ["F", "F,", r"F,c:\\", r"F,c:\adir"]:  # no path, or a folder
            with self.subTest(text=text):
                self.assertEqual(self.t.run(text).code, 7031)

    def test_fifo_device_or_folder_in_the_files_place_is_7031_at_once(self):
        # Only a disk file is a command file: a FIFO (Windows sees the host's FIFOs as
        # reparse points it cannot open; Wine opens them as pipes), a device or a
        # folder answers at once, even while a writer keeps a FIFO full.
        self.t.trace_on()
        os.mkfifo(self.t.c_path("idle.fifo"))
        os.mkfifo(self.t.c_path("busy.fifo"))
        os.makedirs(self.t.c_path("adir"))
        writer = subprocess.Popen(["sh", "-c", 'exec yes > "$0"', self.t.c_path("busy.fifo")],
                                  stderr=subprocess.DEVNULL)
        self.addCleanup(writer.wait)
        self.addCleanup(writer.kill)
        for path in [r"c:\idle.fifo", r"c:\busy.fifo", r"Z:\dev\zero", r"c:\adir"]:
            with self.subTest(path=path):
                if os.path.exists(self.t.log_path()):
                    os.remove(self.t.log_path())
                self.assertEqual(self.t.run("F," + path, timeout=60).code, 7031)
                self.assertEqual(self.t.masked_log(), [
                    separator(b"@"), text_line(b"PWEXE MAIN - Start"),
                    text_line(b"F," + path.encode()), separator(b"@", 1),
                    text_line(b"PWEXE Storage_Manager_No_console::readCommandLineFromFile - Start",
                              1),
                    text_line(
                        b"PWEXE Storage_Manager_No_console::readCommandLineFromFile - End catch3",
                        1), separator(b"@", 1)])
        self.assertTrue(os.path.exists(self.t.c_path("idle.fifo")))

    def test_path_is_the_whole_rest_of_the_text(self):
        path = self.write("a,b/cmd, 1.txt", b"W,xyz")
        self.run_ok(r"F,c:\a,b\cmd, 1.txt")
        self.assertEqual(self.t.value(HWID_KEY, "Hwid2"), (1, b"xyz"))
        self.assertFalse(os.path.exists(path))

    def test_long_file_is_read_completely_and_zero_bytes_cut_their_piece(self):
        self.write("long.txt", b"W," + b"q" * 998)
        self.run_ok(r"F,c:\long.txt")
        self.assertEqual(self.t.value(HWID_KEY, "Hwid2"), (1, b"q" * 998))
        # First piece: "W," + 10 x A + NUL + 12 x B; the Bs are cut, the Cs read on.
        self.write("zero.txt", b"W," + b"A" * 10 + b"\0" + b"B" * 12 + b"CCC")
        self.run_ok(r"F,c:\zero.txt")
        self.assertEqual(self.t.value(HWID_KEY, "Hwid2"), (1, b"A" * 10 + b"CCC"))

    def test_ansi_text_passes_through_unchanged(self):
        self.write("ansi.txt", b"W,caf\xe9 \x80\x9f")
        self.run_ok(r"F,c:\ansi.txt")
        self.assertEqual(self.t.value(HWID_KEY, "Hwid2"), (1, b"caf\xe9 \x80\x9f"))

    def test_relative_path_resolves_against_the_log_folders_parent(self):
        path = self.write("rel.txt", b"H,9")
        # Without tracing the current directory is the client's: the file is not there.
        self.assertEqual(self.t.run("F,rel.txt").code, 7031)
        self.assertTrue(os.path.exists(path))
        self.t.trace_on()
        self.run_ok("F,rel.txt")
        self.assertEqual(self.t.value(HWID_KEY, "Blob"), (4, struct.pack("<i", 9)))
        self.assertFalse(os.path.exists(path))
        log = self.t.masked_log()
        self.assertIn(text_line(b"H,9", 1), log)  # the text read, traced as a plain line
        self.assertEqual(log[-3], text_line(b"lReturn=0"))


if __name__ == "__main__":
    unittest.main()
