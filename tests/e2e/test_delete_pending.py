"""'D': a key of the local machine removed with every key and value below it."""

import os
import unittest

from harness import TargetTest, separator, text_line, windows_path

PARENT = r"Software\PwDeleteTest"
HKLM_PARENT = "HKLM\\" + PARENT
AT = b"@"


def tree_reg(root, levels, fan_out):
    """A .reg text: `fan_out` subkeys on each of `levels` levels below `root`, and
    a string, a DWORD and a binary value on every key."""
    sections, keys = [], [root]
    for _ in range(levels):
        keys = [k + "\\K%d" % i for k in keys for i in range(fan_out)]
        for k in keys:
            sections.append('[%s]\r\n"s"="%s"\r\n"d"=dword:0000002a\r\n"b"=hex:00,ff\r\n'
                            % (k, k.rsplit("\\", 1)[1]))
    return "REGEDIT4\r\n\r\n" + "\r\n".join(sections)


def expected_log(command, result, *lines):
    """WinMain's lines around deletePending's: its start line, `lines` as plain lines
    and its end line, one level deep."""
    return ([separator(AT), text_line(b"PWEXE MAIN - Start"), text_line(command),
             text_line(b"PWEXE MAIN - entering the switch"),
             separator(AT, 1), text_line(b"PW_Store::DeleteRegistryKey - start", 1)] +
            [text_line(l, 1) for l in lines] +
            [text_line(b"Storage_Manager_NoConsole::deletePending - end", 1), separator(AT, 1),
             text_line(b"lReturn=%d" % result), text_line(b"PWEXE MAIN - end"), separator(AT)])


class DeletePendingTest(TargetTest):
    def setUp(self):
        super().setUp()
        if self.t.name == "wine":  # the reset there clears only the system's own keys
            self.t.delete_key(HKLM_PARENT)

    def import_reg(self, text):
        path = os.path.join(self.t.work, "tree.reg")
        with open(path, "w", newline="") as f:
            f.write(text)
        self.t._check(self.t.reg("import", windows_path(path)))

    def check_traced(self, command, result, *lines):
        self.t.trace_on()
        self.assertEqual(self.t.run(command).code, result)
        self.assertEqual(self.t.masked_log(), expected_log(command.encode(), result, *lines))

    def test_a_missing_parent_is_7025_with_no_failed_line(self):
        self.check_traced(r"D,Software\PwDeleteTest\Missing,B", 7025)

    def test_a_missing_key_is_7024(self):
        self.t.set_string(HKLM_PARENT + r"\Other", "v", "x")
        self.check_traced(r"D,Software\PwDeleteTest,Missing", 7024,
                          b"Storage_Manager_NoConsole::deletePending - delete registry key failed")
        self.assertTrue(self.t.key_exists(HKLM_PARENT + r"\Other"))

    def test_a_three_level_tree_is_removed_completely(self):
        self.import_reg(tree_reg(r"HKEY_LOCAL_MACHINE\Software\PwDeleteTest\Tree", 3, 3))
        self.t.set_string(HKLM_PARENT, "kept", "parent's own value")
        self.t.set_string(HKLM_PARENT + r"\Sibling", "kept", "sibling")
        self.t.set_string(HKLM_PARENT + r"\Tree", "top", "top value")
        self.assertEqual(self.t.value(HKLM_PARENT + r"\Tree\K2\K1\K0", "d"), (4, b"\x2a\0\0\0"))
        self.check_traced(r"D,Software\PwDeleteTest,Tree", 0,
                          b"Storage_Manager_NoConsole::deletePending - delete registry key succeed")
        for key in [r"\Tree", r"\Tree\K0", r"\Tree\K2\K2", r"\Tree\K1\K2\K0"]:
            self.assertFalse(self.t.key_exists(HKLM_PARENT + key), key)
        self.assertEqual(self.t.value(HKLM_PARENT, "kept"), (1, b"parent's own value\0"))
        self.assertEqual(self.t.value(HKLM_PARENT + r"\Sibling", "kept"), (1, b"sibling\0"))
        self.assertEqual(self.t.run(r"D,Software\PwDeleteTest,Tree").code, 7024)

    def test_parent_and_key_may_be_paths_and_names_ignore_case(self):
        self.import_reg(tree_reg(r"HKEY_LOCAL_MACHINE\Software\PwDeleteTest\A", 2, 2))
        self.t.set_string(HKLM_PARENT + r"\A", "own", "stays")
        self.run_ok(r"D,Software\PwDeleteTest,A\K1")  # removes only the path's last key
        for key in [r"\A\K1", r"\A\K1\K0"]:
            self.assertFalse(self.t.key_exists(HKLM_PARENT + key), key)
        self.assertEqual(self.t.value(HKLM_PARENT + r"\A\K0\K1", "b"), (3, b"\x00\xff"))
        self.run_ok(r"D,software\pwdeletetest\a,k0")
        self.assertFalse(self.t.key_exists(HKLM_PARENT + r"\A\K0"))
        self.assertEqual(self.t.value(HKLM_PARENT + r"\A", "own"), (1, b"stays\0"))

    def test_only_the_local_machine_is_reached(self):
        self.t.set_string("HKCU\\" + PARENT + r"\User", "v", "x")
        self.assertEqual(self.t.run(r"D,Software\PwDeleteTest,User").code, 7025)
        self.assertTrue(self.t.key_exists("HKCU\\" + PARENT + r"\User"))
        self.t.delete_key("HKCU\\" + PARENT)


if __name__ == "__main__":
    unittest.main()
