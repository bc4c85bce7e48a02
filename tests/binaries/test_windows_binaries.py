"""The Windows build's programs and libraries as Windows will load them: the 32-bit
build that goes to workstations and the 64-bit build the Wine tests run. Each image is read
with pe_image (written from the PE/COFF layouts) and, where binutils for the target
are installed, its imports and subsystem are checked again against objdump's reading."""

import os
import re
import shutil
import subprocess
import unittest

from pe_image import (IMAGE_FILE_DLL, IMAGE_FILE_MACHINE_AMD64, IMAGE_FILE_MACHINE_I386,
                      IMAGE_SUBSYSTEM_WINDOWS_CUI, IMAGE_SUBSYSTEM_WINDOWS_GUI, PE32_MAGIC,
                      PE32_PLUS_MAGIC, RT_MANIFEST, RT_VERSION, PeImage)

# The libraries every Windows installation has in its system folder. MinGW's own
# run-time DLLs (libgcc_s_*, libstdc++-6, libwinpthread-1) are not among them: a
# program that needs them does not start on a workstation that lacks them.
SYSTEM_LIBRARIES = {"advapi32.dll", "crypt32.dll", "kernel32.dll", "msvcrt.dll", "ole32.dll",
                    "oleaut32.dll", "user32.dll"}
MINGW_RUNTIME = re.compile(r"^(libgcc_s_.*|libstdc\+\+-6|libwinpthread-1)\.dll$", re.I)

BUILDS = {
    # name: (folder variable, default folder, machine, optional-header magic,
    #        manifest architecture, objdump)
    "32-bit": ("PW_WINDOWS32_BIN_DIR", "build/mingw32/bin", IMAGE_FILE_MACHINE_I386, PE32_MAGIC,
               "x86", "i686-w64-mingw32-objdump"),
    "64-bit": ("PW_WINDOWS_BIN_DIR", "build/mingw/bin", IMAGE_FILE_MACHINE_AMD64, PE32_PLUS_MAGIC,
               "amd64", "x86_64-w64-mingw32-objdump"),
}
SOURCE_DIR = os.path.normpath(os.path.join(os.path.dirname(__file__), "..", ".."))


def program(build, name):
    variable, default, *_ = BUILDS[build]
    folder = os.environ.get(variable) or os.path.join(SOURCE_DIR, default)
    path = os.path.join(folder, name)
    if not os.path.exists(path):
        raise AssertionError("%s not found: build the Windows presets first (%s)" % (path, default))
    return path


def objdump_reading(tool, path):
    """(subsystem, imported libraries) as binutils reads them, or None without binutils."""
    if not shutil.which(tool):
        return None
    out = subprocess.run([tool, "-p", path], check=True, capture_output=True, text=True).stdout
    subsystem = int(re.search(r"^Subsystem\s+([0-9a-f]+)", out, re.M).group(1), 16)
    return subsystem, re.findall(r"DLL Name: (\S+)", out)


# The entry points an in-process COM server exports, by name, for regsvr32 and the COM
# runtime.
COM_SERVER_EXPORTS = ["DllCanUnloadNow", "DllGetClassObject", "DllRegisterServer",
                      "DllUnregisterServer"]


class WindowsBinariesTest(unittest.TestCase):
    def check_program(self, build, name, subsystem, library=False):
        _, _, machine, magic, _, objdump = BUILDS[build]
        path = program(build, name)
        image = PeImage(path)
        self.assertEqual(image.machine, machine, "%s %s: machine" % (build, name))
        self.assertEqual(image.magic, magic, "%s %s: optional header" % (build, name))
        self.assertEqual(image.subsystem, subsystem, "%s %s: subsystem" % (build, name))
        self.assertEqual(bool(image.characteristics & IMAGE_FILE_DLL), library,
                         "%s %s: library flag" % (build, name))
        imports = image.imports()
        self.assertIn("KERNEL32.dll", imports)
        for library in imports:
            self.assertNotRegex(library, MINGW_RUNTIME, "%s %s imports MinGW's run time" % (build, name))
            self.assertIn(library.lower(), SYSTEM_LIBRARIES, "%s %s: %s" % (build, name, library))
        reading = objdump_reading(objdump, path)
        if reading:
            self.assertEqual(reading, (subsystem, imports), "%s %s: objdump reads otherwise" % (build, name))
        return image

    def check_manifest(self, build, image):
        manifests = image.resources(RT_MANIFEST)
        self.assertEqual(len(manifests), 1, "%s pwexe.exe: one manifest" % build)
        text = manifests[0].decode("utf-8")
        self.assertRegex(text, r'<requestedExecutionLevel\s+level="requireAdministrator"\s+'
                               r'uiAccess="false"\s*/>')
        architecture = BUILDS[build][4]
        self.assertRegex(text, r'<assemblyIdentity [^>]*processorArchitecture="%s"' % architecture)

    def check_version(self, build, image):
        records = image.resources(RT_VERSION)
        self.assertEqual(len(records), 1, "%s pwexe.exe: one version record" % build)
        # VS_FIXEDFILEINFO starts with its signature; in the string table each UTF-16
        # key ends with its zero and is padded to 32 bits before its value.
        self.assertIn(bytes.fromhex("bd04effe"), records[0])
        for key, value in (("OriginalFilename", "pwexe.exe"), ("FileVersion", "1.0.0.0")):
            entry = re.escape(key.encode("utf-16-le")) + rb"(?:\0\0)+" + re.escape(value.encode("utf-16-le"))
            self.assertRegex(records[0], entry, "%s pwexe.exe: %s" % (build, key))

    def test_pwexe_32_bit_is_a_windowless_administrator_program(self):
        # PE32 for Intel 80386, GUI subsystem (no console window), the administrator
        # manifest and the version record, and nothing to load but the system's DLLs.
        image = self.check_program("32-bit", "pwexe.exe", IMAGE_SUBSYSTEM_WINDOWS_GUI)
        self.check_manifest("32-bit", image)
        self.check_version("32-bit", image)

    def test_pwexe_64_bit_is_built_alike(self):
        image = self.check_program("64-bit", "pwexe.exe", IMAGE_SUBSYSTEM_WINDOWS_GUI)
        self.check_manifest("64-bit", image)
        self.check_version("64-bit", image)

    def test_tools_are_console_programs_that_stand_alone(self):
        for build in BUILDS:
            for name in ("pwmachine.exe", "pwcmd.exe"):
                with self.subTest(build=build, name=name):
                    self.check_program(build, name, IMAGE_SUBSYSTEM_WINDOWS_CUI)


    def test_enrolment_components_are_com_servers_that_stand_alone(self):
        # An in-process server must match its process, so each build has its own; the
        # names are undecorated in the 32-bit build too (regsvr32 asks for them so).
        for build in BUILDS:
            for name in ("pwenrol_control.dll", "pwenrol_objects.dll"):
                with self.subTest(build=build, name=name):
                    image = self.check_program(build, name, IMAGE_SUBSYSTEM_WINDOWS_GUI,
                                               library=True)
                    self.assertEqual(image.exports(), (name, COM_SERVER_EXPORTS))
        # The executables export nothing.
        self.assertEqual(PeImage(program("64-bit", "pwexe.exe")).exports(), (None, []))


if __name__ == "__main__":
    unittest.main()
