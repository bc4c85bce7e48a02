"""The trace log as an administrator reads it: settings, layout, nesting."""

import os
import stat
import struct
import unittest

from harness import (HKCU_TESSERA, HKLM_TESSERA, HWID_KEY, TargetTest, main_block, separator,
                     text_line)

AT = b"@"


def store_hwid1_block(end_line):
    """The block of 'H', one level down, closed by its end line."""
    return [separator(AT, 1),
            text_line(b"PWExe Storage_Manager_No_console::storeHwid1 - Start", 1),
            text_line(end_line, 1), separator(AT, 1)]


class TraceLogTest(TargetTest):
    def test_successful_h5_writes_its_eleven_lines(self):
        self.t.trace_on()
        self.t.run("H,5")
        self.assertEqual(self.t.masked_log(), main_block(
            b"H,5", store_hwid1_block(b"PWEXE Storage_Manager_No_console::storeHwid1 - End"), 0))

    def test_runs_append_to_the_same_log(self):
        self.t.trace_on()
        self.t.run("H,5")
        self.t.run("Z")
        log = self.t.masked_log()
        self.assertEqual(len(log), 11 + 7)
        self.assertEqual(log[11:], main_block(b"Z", [], 7007))

    def test_failures_write_their_end_lines(self):
        self.t.trace_on()
        self.assertEqual(self.t.run("H,0").code, 7008)
        self.assertEqual(self.t.masked_log(), main_block(
            b"H,0", store_hwid1_block(b"PWEXE Storage_Manager_No_console::storeHwid1 - End false"),
            7008))

    def test_a_failed_w_leaves_the_closing_lines_one_level_deeper(self):
        self.skip_on("wine", "reg.exe cannot deny writes to a hive under Wine")
        self.run_ok("H,1")
        self.t.trace_on()
        hive = self.t.hive_file()
        os.chmod(hive, stat.S_IRUSR)
        try:
            self.assertEqual(self.t.run("W,x").code, 7001)
        finally:
            os.chmod(hive, stat.S_IRUSR | stat.S_IWUSR)
        self.assertEqual(self.t.masked_log(), main_block(b"W,x", [
            separator(AT, 1),
            text_line(b"PWEXE Storage_Manager_No_console::storeHwid2 - Start", 1),
        ], 7001, closing_depth=1))

    def test_no_log_unless_do_trace_reads_as_one(self):
        for setting in [None, ("dword", 0), ("dword", 2), ("binary", "0100000000")]:
            with self.subTest(setting=setting):
                self.t.reset()
                if setting and setting[0] == "dword":
                    self.t.set_dword(HKCU_TESSERA, "doTrace", setting[1])
                elif setting:
                    self.t.set_binary(HKCU_TESSERA, "doTrace", setting[1])  # five bytes: not read
                self.run_ok("H,5")
                self.assertFalse(os.path.exists(self.t.c_path("PWY_log")))

    def test_do_trace_of_any_type_counts_by_its_bytes(self):
        self.t.set_binary(HKCU_TESSERA, "doTrace", "01")
        self.run_ok("H,5")
        self.assertEqual(len(self.t.log_lines()), 11)

    def test_machine_switch_turns_tracing_on_but_folder_comes_from_the_user_key(self):
        self.t.set_dword(HKCU_TESSERA, "doTrace", 0)
        self.t.set_dword(HKLM_TESSERA, "doTrace", 1)
        self.t.set_string(HKLM_TESSERA, "PW_LogPath", r"c:\machine_logs")
        self.run_ok("H,5")
        self.assertEqual(len(self.t.log_lines()), 11)
        self.assertFalse(os.path.exists(self.t.c_path("machine_logs")))

    def test_folder_and_long_file_name_from_the_user_key(self):
        self.t.trace_on()
        os.makedirs(self.t.c_path("logs"))
        self.t.set_string(HKCU_TESSERA, "PW_LogPath", r"c:\logs\pw")
        name = "twenty-five-characters.x"
        name += "y" * (25 - len(name))
        self.t.set_string(HKCU_TESSERA, "PW_LogFileName", name)
        self.run_ok("H,5")
        self.assertEqual(len(self.t.log_lines(r"logs\pw", name)), 11)
        self.assertFalse(os.path.exists(self.t.c_path("PWY_log")))

    def test_missing_parent_of_the_log_folder_loses_the_lines(self):
        self.t.trace_on()
        self.t.set_string(HKCU_TESSERA, "PW_LogPath", r"c:\no_parent\logs")
        self.run_ok("H,5")
        self.assertFalse(os.path.exists(self.t.c_path("no_parent")))

    def test_fifo_in_the_logs_place_takes_no_lines_and_holds_nothing_up(self):
        self.t.trace_on()
        os.makedirs(self.t.c_path("PWY_log"))
        os.mkfifo(self.t.log_path())  # no reader: an open for writing would wait for one
        r = self.t.run("H,5", timeout=60)
        self.assertEqual(r.code, 0, r)
        self.assertEqual(self.t.value(HWID_KEY, "Blob"), (4, struct.pack("<i", 5)))

    def test_a_log_path_over_255_characters_loses_its_lines_but_makes_its_folder(self):
        # The writer makes the folder before it builds and measures the log path. Both
        # folders fit CreateDirectoryA's limit; with \Portwyn.log the first makes a log
        # path of 255 characters, the second one of 256, and so does a short folder with
        # a long file name.
        self.t.trace_on()
        fits, over = "c:\\" + "f" * 240, "c:\\" + "g" * 241
        self.t.set_string(HKCU_TESSERA, "PW_LogPath", over)
        self.run_ok("H,5")
        self.assertEqual(os.listdir(self.t.c_path(over[3:])), [])
        self.t.set_string(HKCU_TESSERA, "PW_LogPath", r"c:\short_logs")
        self.t.set_string(HKCU_TESSERA, "PW_LogFileName", "n" * 244)  # 13 + 1 + 244 characters
        self.run_ok("H,5")
        self.assertEqual(os.listdir(self.t.c_path("short_logs")), [])
        self.t.set_string(HKCU_TESSERA, "PW_LogFileName", "Portwyn.log")
        self.t.set_string(HKCU_TESSERA, "PW_LogPath", fits)
        self.run_ok("H,5")
        self.assertEqual(len(self.t.log_lines(fits[3:])), 11)

    def test_overlong_settings_are_cut_safely(self):
        # The folder, cut to 255 characters, is longer than the 247 characters
        # CreateDirectoryA takes for a folder, so neither the folder nor a file is made.
        # Wine makes folders of any length MAX_PATH allows, where Windows refuses this one.
        self.skip_on("wine", "Wine's CreateDirectoryA makes folders beyond Windows' limit")
        self.t.trace_on()
        self.t.set_string(HKCU_TESSERA, "PW_LogPath", "c:\\" + "p" * 300)
        self.t.set_string(HKCU_TESSERA, "PW_LogFileName", "n" * 400)
        self.run_ok("H,5")
        made = [name for _, dirs, files in os.walk(self.t.c_path()) for name in dirs + files]
        self.assertFalse([n for n in made if n.startswith("p" * 10) or n.startswith("n" * 10)])


if __name__ == "__main__":
    unittest.main()
