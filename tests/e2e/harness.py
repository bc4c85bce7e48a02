"""Runs pwexe as a client would and inspects the machine it ran on.

Two targets, chosen with PW_TARGET:
  portable  the portable build (PW_BIN_DIR) on a machine root of its own;
  wine      the Windows build (PW_WINDOWS_BIN_DIR) under Wine, in a prefix of its
            own, started through pwlaunch.exe so that the command text arrives
            verbatim and the full exit code comes back.
The registry is inspected with the target's own tools: pwmachine reg on the
portable build, Wine's reg.exe under Wine, and regbytes (built for both) for the
exact bytes of a value.
"""

import atexit
import os
import re
import shutil
import subprocess
import tempfile
import time
import unittest

TARGET = os.environ.get("PW_TARGET", "portable")
HERE = os.path.dirname(os.path.abspath(__file__))
SANITIZER_MARKS = ("ERROR: AddressSanitizer", "runtime error:", "ERROR: LeakSanitizer")

TESSERA = r"Software\Velmora\Tessera"
HKCU_TESSERA = "HKCU\\" + TESSERA
HKLM_TESSERA = "HKLM\\" + TESSERA
HWID_KEY = HKLM_TESSERA + r"\hwid"

_STAMP = re.compile(rb"^( *)\d{4}-\d{1,2}-\d{1,2}  \d{1,2}:\d{2}:\d{2}:\d{3}\t")


class Result:
    def __init__(self, code, stdout, stderr):
        self.code, self.stdout, self.stderr = code, stdout, stderr

    def __repr__(self):
        return "Result(code=%r, stderr=%r)" % (self.code, self.stderr[-500:])


def mask_line(line):
    """A trace line with its timestamp replaced by 'T', indentation kept."""
    return _STAMP.sub(rb"\1T\t", line)


def separator(char, depth=0):
    return b"  " * depth + char * 71


def text_line(text, depth=0):
    return b"  " * depth + b"T\t" + text


def main_block(command, handler_lines, result, closing_depth=0):
    """The lines WinMain writes around its handler's block."""
    return ([separator(b"@"), text_line(b"PWEXE MAIN - Start"), text_line(command),
             text_line(b"PWEXE MAIN - entering the switch")] + handler_lines +
            [text_line(b"lReturn=%d" % result, closing_depth),
             text_line(b"PWEXE MAIN - end", closing_depth), separator(b"@", closing_depth)])


class Target:
    name = "?"

    def __init__(self):
        self.work = tempfile.mkdtemp(prefix="pw-e2e-%s-" % self.name)

    # ---- what every target offers ----
    def run(self, text, timeout=120):
        raise NotImplementedError

    def reg(self, *args):
        raise NotImplementedError

    def c_path(self, relative):
        """Host path of a file or folder on drive c of the machine."""
        raise NotImplementedError

    def certutil(self, *args):
        """pwmachine certutil on the target; file arguments are host paths."""
        raise NotImplementedError

    def install_program(self, folder, name="argdump"):
        """Copies a test program of the build into c:\\<folder> and answers its Windows
        path without ".exe" (the portable copy has none, as host programs have none)."""
        raise NotImplementedError

    def add_non_ntfs_drive(self, letter, host_folder):
        """Maps a drive letter to a host folder whose volume does not report NTFS, and
        answers the file-system name it reports."""
        raise NotImplementedError

    def report_platform_1(self):
        """Makes GetVersionExA report platform identifier 1 (Windows 95/98/Me) to pwexe."""
        raise NotImplementedError

    def value(self, key, name):
        """(type, bytes) of a value as RegQueryValueExA returns it, or None."""
        out = self._regbytes(key, name)
        line = out.strip().splitlines()[-1] if out.strip() else ""
        if line.startswith("error"):
            return None
        type_, size, hexdata = (line.split(" ") + [""])[:3]
        data = bytes.fromhex(hexdata)
        assert len(data) == int(size), line
        return int(type_), data

    def key_exists(self, key):
        return self.reg("query", key).returncode == 0

    def set_dword(self, key, name, value):
        self._check(self.reg("add", key, "/v", name, "/t", "REG_DWORD", "/d", str(value), "/f"))

    def set_string(self, key, name, text):
        self._check(self.reg("add", key, "/v", name, "/t", "REG_SZ", "/d", text, "/f"))

    def set_binary(self, key, name, hexdata):
        self._check(self.reg("add", key, "/v", name, "/t", "REG_BINARY", "/d", hexdata, "/f"))

    def delete_key(self, key):
        self.reg("delete", key, "/f")

    def trace_on(self):
        self.set_dword(HKCU_TESSERA, "doTrace", 1)

    def log_path(self, folder="PWY_log", name="Portwyn.log"):
        return os.path.join(self.c_path(folder), name)

    def log_lines(self, folder="PWY_log", name="Portwyn.log"):
        """The log's lines (CR LF removed), or None when there is no log."""
        path = self.log_path(folder, name)
        if not os.path.exists(path):
            return None
        with open(path, "rb") as f:
            data = f.read()
        assert data == b"" or data.endswith(b"\r\n"), data[-80:]
        lines = data.split(b"\r\n")[:-1]
        for line in lines:
            assert b"\n" not in line or line.endswith(b"\n"), line
        return lines

    def masked_log(self, folder="PWY_log", name="Portwyn.log"):
        lines = self.log_lines(folder, name)
        return None if lines is None else [mask_line(l) for l in lines]

    def reset(self):
        raise NotImplementedError

    def close(self):
        shutil.rmtree(self.work, ignore_errors=True)

    # ---- helpers ----
    @staticmethod
    def _check(proc):
        if proc.returncode != 0:
            raise AssertionError("command failed: %r\n%s%s" % (proc.args, proc.stdout, proc.stderr))
        return proc

    def _text_file(self, text):
        fd, path = tempfile.mkstemp(dir=self.work, suffix=".txt")
        with os.fdopen(fd, "wb") as f:
            f.write(text.encode("cp1252") if isinstance(text, str) else text)
        return path


class PortableTarget(Target):
    name = "portable"

    def __init__(self, bin_dir):
        super().__init__()
        self.bin = bin_dir
        self.root = None
        self.reset()

    def reset(self):
        if self.root:
            shutil.rmtree(self.root, ignore_errors=True)
        self.root = tempfile.mkdtemp(prefix="root-", dir=self.work)
        self.env = dict(os.environ, PW_MACHINE_ROOT=self.root)

    def run(self, text, timeout=120, cwd=None):
        # One argument holds the whole text, so it arrives exactly as given.
        args = [os.path.join(self.bin, "pwexe")] + ([text] if text != "" else [])
        proc = subprocess.run(args, env=self.env, capture_output=True, timeout=timeout,
                              cwd=cwd or self.work)
        return self._result(proc)

    def _result(self, proc):
        err = proc.stderr.decode("utf-8", "replace")
        for mark in SANITIZER_MARKS:
            if mark in err:
                raise AssertionError("sanitizer report:\n" + err)
        out = proc.stdout.decode().strip().splitlines()
        if not out:
            raise AssertionError("pwexe printed no result code (exit %d)\n%s" % (proc.returncode, err))
        code = int(out[-1])
        if proc.returncode != code & 0xFF:
            raise AssertionError("exit status %d is not the low byte of %d" % (proc.returncode, code))
        return Result(code, proc.stdout, err)

    def reg(self, *args):
        return subprocess.run([os.path.join(self.bin, "pwmachine"), "reg"] + list(args),
                              env=self.env, capture_output=True, text=True, timeout=60)

    def certutil(self, *args):
        return subprocess.run([os.path.join(self.bin, "pwmachine"), "certutil"] + list(args),
                              env=self.env, capture_output=True, text=True, timeout=120)

    def _regbytes(self, key, name):
        return subprocess.run([os.path.join(self.bin, "regbytes"), key, name], env=self.env,
                              capture_output=True, text=True, timeout=60).stdout

    def c_path(self, relative=""):
        return os.path.join(self.root, "drive_c", relative.replace("\\", "/"))

    def hive_file(self):
        return os.path.join(self.root, "registry", "machine.db")

    def pwmachine(self, *args):
        return self._check(subprocess.run([os.path.join(self.bin, "pwmachine")] + list(args),
                                          env=self.env, capture_output=True, text=True,
                                          timeout=60))

    def install_program(self, folder, name="argdump"):
        os.makedirs(self.c_path(folder), exist_ok=True)
        shutil.copy2(os.path.join(self.bin, name), self.c_path(os.path.join(folder, name)))
        return "c:\\%s\\%s" % (folder, name)

    def add_non_ntfs_drive(self, letter, host_folder):
        self.set_string(r"HKLM\Software\PwPlatform\Drives", letter + ":", host_folder)
        self.pwmachine("volume", letter + ":", "/fs", "FAT32")
        return "FAT32"

    def report_platform_1(self):
        self.pwmachine("ver", "/platform", "1", "/version", "4.10.2222", "/csd", " A")


def run_wine(args, env, timeout=120):
    """Runs a Wine command and collects its output through files, not pipes: Wine may
    leave helper processes (a console host, services) running that would hold a pipe
    open long after the command itself has ended."""
    with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
        proc = subprocess.run(args, env=env, stdin=subprocess.DEVNULL, stdout=out, stderr=err,
                              timeout=timeout)
        out.seek(0)
        err.seek(0)
        return subprocess.CompletedProcess(args, proc.returncode, out.read(), err.read())


def windows_path(unix_path):
    return "Z:" + os.path.abspath(unix_path).replace("/", "\\")


class WineTarget(Target):
    name = "wine"

    def __init__(self, bin_dir):
        super().__init__()
        self.bin = bin_dir
        self.prefix = os.path.join(self.work, "prefix")
        self.env = dict(os.environ, WINEPREFIX=self.prefix, WINEDEBUG="-all",
                        WINEDLLOVERRIDES="mscoree,mshtml=d", DISPLAY="")
        # A persistent server keeps every later start fast. It runs on in the
        # background, so it must not hold on to pipes of ours. It starts only in a
        # prefix folder that exists; wineboot fills the empty folder.
        os.makedirs(self.prefix)
        subprocess.run(["wineserver", "-p"], env=self.env, stdin=subprocess.DEVNULL,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=60)
        subprocess.run(["wineboot", "-i"], env=self.env, stdin=subprocess.DEVNULL,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=300)
        self._reset_reg = os.path.join(self.work, "reset.reg")
        with open(self._reset_reg, "w") as f:
            f.write("REGEDIT4\r\n\r\n[-HKEY_LOCAL_MACHINE\\%s]\r\n\r\n[-HKEY_CURRENT_USER\\%s]\r\n"
                    "\r\n[-HKEY_CURRENT_USER\\%s]\r\n"
                    % (r"Software\Velmora", r"Software\Velmora",
                       r"Software\Wine\AppDefaults\pwexe.exe"))

    def wine(self, *args, timeout=120):
        """Runs a program under Wine. A tool of the test's own (reg, regedit, regbytes,
        pwmachine) that ends with a failure and prints nothing at all did not start: on
        a loaded machine, just after the server has been restarted, Wine now and then
        fails to start a program. Such a start is tried twice more. pwexe's own runs go
        through pwlaunch, which prints on every path it takes once it has started, so a
        silent failure of pwlaunch is a start of pwlaunch that failed before pwexe was
        started; pwlaunch itself starts pwexe again only when Wine lost it before any of
        its code ran, since a command must not run twice."""
        for attempt in range(3):
            if attempt:
                time.sleep(1)
            proc = run_wine(["wine"] + list(args), self.env, timeout)
            if proc.returncode == 0 or proc.stdout or proc.stderr:
                break
        return proc

    def reset(self):
        self.wine("regedit", "/s", windows_path(self._reset_reg))
        drive_c = self.c_path()
        for entry in os.listdir(drive_c):
            if entry.lower() not in ("windows", "users", "programdata", "program files",
                                     "program files (x86)"):
                path = os.path.join(drive_c, entry)
                if os.path.isdir(path) and not os.path.islink(path):
                    shutil.rmtree(path, ignore_errors=True)
                else:
                    os.remove(path)

    def run(self, text, timeout=120):
        text_file = self._text_file(text)
        proc = self.wine(os.path.join(self.bin, "pwlaunch.exe"),
                         windows_path(os.path.join(self.bin, "pwexe.exe")),
                         windows_path(text_file), timeout=timeout)
        os.remove(text_file)
        out = proc.stdout.decode().strip().splitlines()
        if proc.returncode != 0 or not out:
            raise AssertionError("pwlaunch failed (%d): %r" % (proc.returncode, proc.stderr))
        return Result(int(out[-1]), proc.stdout, proc.stderr.decode("utf-8", "replace"))

    def reg(self, *args):
        proc = self.wine("reg", *args)
        return subprocess.CompletedProcess(
            proc.args, proc.returncode, proc.stdout.decode("utf-8", "replace").replace("\r\n", "\n"),
            proc.stderr.decode("utf-8", "replace").replace("\r\n", "\n"))

    def certutil(self, *args):
        args = [windows_path(a) if os.path.isabs(a) else a for a in args]
        proc = self.wine(os.path.join(self.bin, "pwmachine.exe"), "certutil", *args)
        return subprocess.CompletedProcess(
            proc.args, proc.returncode, proc.stdout.decode("cp1252").replace("\r\n", "\n"),
            proc.stderr.decode("cp1252").replace("\r\n", "\n"))

    def _regbytes(self, key, name):
        return self.wine(os.path.join(self.bin, "regbytes.exe"), key, name).stdout.decode()

    def c_path(self, relative=""):
        return os.path.join(self.prefix, "drive_c", relative.replace("\\", "/"))

    def install_program(self, folder, name="argdump"):
        os.makedirs(self.c_path(folder), exist_ok=True)
        shutil.copy2(os.path.join(self.bin, name + ".exe"),
                     self.c_path(os.path.join(folder, name + ".exe")))
        return "c:\\%s\\%s" % (folder, name)

    def add_non_ntfs_drive(self, letter, host_folder):
        # Wine 8 reports NTFS for every fixed drive; a CD-ROM drive reports CDFS. The
        # mount manager reads drive types when it starts, so the server starts anew.
        link = os.path.join(self.prefix, "dosdevices", letter + ":")
        os.symlink(host_folder, link)
        self._check(self.reg("add", r"HKLM\Software\Wine\Drives", "/v", letter + ":", "/d",
                             "cdrom", "/f"))
        self._restart_server()
        return "CDFS"

    def report_platform_1(self):
        self._check(self.reg("add", r"HKCU\Software\Wine\AppDefaults\pwexe.exe", "/v",
                             "Version", "/d", "win98", "/f"))

    def _restart_server(self):
        quiet = dict(stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                     stderr=subprocess.DEVNULL, timeout=60)
        subprocess.run(["wineserver", "-k"], env=self.env, **quiet)
        subprocess.run(["wineserver", "-w"], env=self.env, **quiet)
        subprocess.run(["wineserver", "-p"], env=self.env, **quiet)

    def close(self):
        subprocess.run(["wineserver", "-k"], env=self.env, stdin=subprocess.DEVNULL,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=60)
        super().close()


_target = None


def target():
    """The run's one target, made on first use and closed when the run ends."""
    global _target
    if _target is None:
        if TARGET == "wine":
            _target = WineTarget(os.environ["PW_WINDOWS_BIN_DIR"])
        else:
            _target = PortableTarget(os.environ["PW_BIN_DIR"])
        atexit.register(_target.close)
    return _target


class TargetTest(unittest.TestCase):
    """A test case on a freshly reset machine of the run's target."""

    maxDiff = None

    @classmethod
    def setUpClass(cls):
        cls.t = target()

    def setUp(self):
        self.t.reset()

    def skip_on(self, name, reason):
        if self.t.name == name:
            self.skipTest("%s: %s" % (name, reason))

    def run_ok(self, text):
        r = self.t.run(text)
        self.assertEqual(r.code, 0, r)
        return r
