"""'R' as a client runs it: the program started with its report file, on both targets.

The program is argdump, a test program of the build installed on the machine's drive c
(the Windows build under Wine; on the portable build a host program without ".exe").
It prints its arguments one a line in brackets.
"""

import os
import shutil
import tempfile

from harness import HKCU_TESSERA, TargetTest, main_block, mask_line, separator, text_line

AT = b"@"
M = b"PWEXE Storage_Manager_No_console::"
DEFAULT_REPORT = r"PWY_log\CACLSReportLog.log"


def ntfs_check(ntfs=True):
    return [text_line(M + b"GetIsFormatedNTFS - Start", 1),
            text_line(M + b"GetIsFormatedNTFS - " + (b"NTFS fileformat" if ntfs else
                                                      b"Not NTFS fileformat"), 1),
            text_line(M + b"GetIsFormatedNTFS - End", 1)]


def rights_block(command_line, last, no_console=True):
    """The handler's lines when the program is (to be) started; `last` ends them."""
    mode = b"OS is supporting mode no console" if no_console else \
        b"OS is not supporting mode no console"
    return ([separator(AT, 1), text_line(M + b"setRights - Start", 1)] + ntfs_check() +
            [text_line(command_line, 1),
             text_line(M + b"IsOSVersionNoConsoleCompatible - Start", 1),
             text_line(M + b"IsOSVersionNoConsoleCompatible - " + mode, 1),
             text_line(M + b"IsOSVersionNoConsoleCompatible - End", 1),
             text_line(M + b"setRights - " + last, 1), separator(AT, 1)])


class RightsTest(TargetTest):
    def setUp(self):
        super().setUp()
        self.t.trace_on()
        self.prog = self.t.install_program("tools")

    def rights(self, args, code=0):
        r = self.t.run("R," + args)
        self.assertEqual(r.code, code, r)
        return r

    def report(self, relative=DEFAULT_REPORT):
        """The report's lines, or None when there is no report file."""
        path = self.t.c_path(relative)
        if not os.path.exists(path):
            return None
        with open(path, "rb") as f:
            return f.read().decode("cp1252").replace("\r\n", "\n").splitlines()

    def assert_log(self, args, handler_lines, code):
        self.assertEqual(self.t.masked_log(), main_block(b"R," + args.encode("cp1252"),
                                                          handler_lines, code))

    def test_runs_the_program_with_its_report_in_the_default_file(self):
        args = self.prog + r' one "two words" back\\\"slash'
        self.rights(args)
        self.assertEqual(self.report(), ["[one]", "[two words]", r'[back\"slash]'])
        self.assert_log(args, rights_block(args.encode(), b"End"), 0)

    def test_report_in_the_file_given_relative_to_the_folder_the_trace_sets(self):
        self.rights(self.prog + " --cwd > report.txt")
        cwd = "c:\\" if self.t.name == "wine" else self.t.c_path("").rstrip("/")
        self.assertEqual(self.report("report.txt"), ["[--cwd]", "cwd=" + cwd])
        self.assertIsNone(self.report())

    def test_input_redirection_is_dropped_and_the_blank_before_it_stays(self):
        args = self.prog + " a < missing-input.txt > out.txt"
        self.rights(args)
        self.assertEqual(self.report("out.txt"), ["[a]"])
        self.assert_log(args, rights_block(self.prog.encode() + b" a ", b"End"), 0)

    def test_one_leading_blank_is_dropped_and_a_second_one_stays(self):
        self.rights(" " + self.prog + " a")
        self.assertEqual(self.report(), ["[a]"])
        # CreateProcess takes a name that begins with a blank as written: none is found.
        self.t.reset()
        self.t.trace_on()
        self.t.install_program("tools")
        args = "  " + self.prog + " a"
        self.rights(args, 7021)
        self.assert_log(args, rights_block(b" " + self.prog.encode() + b" a", b"Error"), 7021)

    def test_the_program_is_found_along_the_search_path(self):
        self.t.install_program(r"windows\system32")
        self.rights("argdump found")
        self.assertEqual(self.report(), ["[found]"])

    def test_a_program_ending_with_a_failure_code_still_answers_0(self):
        self.rights(self.prog + " --exit=5")
        self.assertEqual(self.report(), ["[--exit=5]"])

    def test_a_program_that_cannot_be_started_answers_7021(self):
        args = self.prog + "-missing a"
        self.rights(args, 7021)
        self.assert_log(args, rights_block(args.encode(), b"Error"), 7021)
        self.assertEqual(self.report(), [])  # the report file was made before the start

    def test_nothing_runs_on_a_volume_that_is_not_ntfs(self):
        # The trace makes the log folder's parent, f:\, the current folder.
        drive = tempfile.mkdtemp(dir=self.t.work)
        self.addCleanup(shutil.rmtree, drive, True)
        self.t.add_non_ntfs_drive("f", drive)
        self.t.set_string(HKCU_TESSERA, "PW_LogPath", "f:\\PWY_log")
        args = self.prog + " --touch=ran.txt"
        self.rights(args)
        self.assertFalse(os.path.exists(os.path.join(drive, "ran.txt")))
        with open(os.path.join(drive, "PWY_log", "Portwyn.log"), "rb") as f:
            log = [mask_line(line) for line in f.read().split(b"\r\n")[:-1]]
        self.assertEqual(log, main_block(b"R," + args.encode(), [
            separator(AT, 1), text_line(M + b"setRights - Start", 1)] + ntfs_check(False) + [
            text_line(M + b"setRights - End", 1), separator(AT, 1)], 0))

    def test_platform_1_starts_the_program_without_the_no_window_flag(self):
        self.t.report_platform_1()
        args = self.prog + " old"
        self.rights(args)
        self.assertEqual(self.report(), ["[old]"])
        self.assert_log(args, rights_block(args.encode(), b"End", no_console=False), 0)

    def test_a_command_line_of_1023_characters_runs_and_a_longer_one_is_refused(self):
        word = "x" * (1023 - len(self.prog) - 1)
        fits = self.prog + " " + word
        self.rights(fits + "> long.txt")
        self.assertEqual(self.report("long.txt"), ["[" + word + "]"])
        self.t.reset()
        self.t.trace_on()
        args = fits + " > long.txt"  # the blank before '>' makes 1024 characters
        self.rights(args, 7021)
        self.assert_log(args, [separator(AT, 1), text_line(M + b"setRights - Start", 1)] +
                        ntfs_check() + [text_line(M + b"setRights - Command too long", 1),
                                        separator(AT, 1)], 7021)

    def test_bad_input_gets_its_defined_result(self):
        marker = "ran.txt"  # relative: the program runs in c:\ on both targets
        cases = [
            # (argument text, code, program runs, report file that must not exist)
            (self.prog + " --touch=%s > c:\\missing\\r.txt" % marker, 0, True, r"missing\r.txt"),
            (self.prog + " --touch=%s > c:\\tools" % marker, 0, True, None),  # a folder
            (self.prog + " --touch=%s >" % marker, 0, True, DEFAULT_REPORT),
            (self.prog + " --touch=%s >x" % marker, 0, True, DEFAULT_REPORT),
            (self.prog + ' "--touch=%s' % marker, 0, True, None),  # the quote runs to the end
            ('"' + self.prog + " --touch=" + marker, 7021, False, None),
            ("c:\\tools --touch=" + marker, 7021, False, None),  # a folder is no program
            ("", 7021, False, None),
        ]
        for args, code, runs, no_report in cases:
            with self.subTest(args=args):
                self.t.reset()
                self.t.trace_on()
                self.t.install_program("tools")
                self.rights(args, code)
                self.assertEqual(os.path.exists(self.t.c_path("ran.txt")), runs)
                if no_report:
                    self.assertIsNone(self.report(no_report))
