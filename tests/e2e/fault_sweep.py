"""The fault sweep: every command, and every administrator's verb that writes, run on a
machine whose nth host call fails, for each n the command reaches, with ENOSPC and with
EIO (the portable build reads PW_HOST_FAULTS in builds made for testing). Each run must
end by itself with the command's own code (or 0 when the failing call was one it could
do without), and leave every store readable, holding what was committed before, and
holding the run's change whole or not at all:

  - the hives pass SQLite's integrity check, read here with Python's own SQLite, and
    the platform's tools list the certificate stores and key containers;
  - every value and key is as it was before the run or as the run without a fault left
    it, never anything else (no torn value, nothing lost, nothing foreign);
  - what the command changes in one step (one key's values, a certificate, a value the
    command writes) changed whole or not at all;
  - a run that answered 0 left everything the run without a fault left (the trace log
    aside, whose lines a failing disk may lose without the command hearing of it);
  - the trace log still holds what it held, followed by whole lines.

    tests/e2e/fault_sweep.py                 every n (the full sweep; a long run)
    tests/e2e/fault_sweep.py --sample 6      six n for each command and error, the calls
                                             that write first (what CI runs)
    tests/e2e/fault_sweep.py --cases H,Q     some commands only

PW_BIN_DIR names the portable build's programs (build/default/bin by default)."""

import argparse
import collections
import concurrent.futures
import os
import re
import shutil
import sqlite3
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
BIN = os.environ.get("PW_BIN_DIR", os.path.join(HERE, "..", "..", "build", "default", "bin"))
ERRORS = ("ENOSPC", "EIO")
SANITIZER_MARKS = ("ERROR: AddressSanitizer", "runtime error:", "ERROR: LeakSanitizer")
REPORT = "sweep.log"  # the report file of 'R'
RUN_TIMEOUT_S = 90  # a held lock is waited for 5 s, 'R' waits 60 s at most for its program
# Calls that change what is on the disk, or that a change depends on: a short sweep
# fails these first.
WRITING = {"open", "write", "pwrite", "fsync", "fdatasync", "ftruncate", "posix_fallocate",
           "rename", "unlink", "mkdir", "rmdir", "fcntl", "flock", "chmod", "fchmod", "close",
           "mmap"}

TESSERA = r"Software\Velmora\Tessera"
SUBJECT = "CN=HWID:OU=4711:O=Velmora Portwyn Certificate"
GUID = re.compile(r"\{[0-9A-Fa-f]{8}-[0-9A-Fa-f]{4}-[0-9A-Fa-f]{4}-[0-9A-Fa-f]{4}-[0-9A-Fa-f]{12}\}")
GUID_BYTES = re.compile(GUID.pattern.encode())
GUID_WIDE = re.compile(b"".join(re.escape(bytes([c])) + b"\\x00" if chr(c) in "{}-" else
                                (b"[0-9A-Fa-f]\\x00" if chr(c) == "x" else bytes([c]))
                                for c in b"{xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx}"))
THUMB = re.compile(r"^[0-9A-F]{40}$")


def run(args, env, timeout=120, stdin=None):
    return subprocess.run(args, env=env, capture_output=True, timeout=timeout, stdin=stdin)


def openssl(*args):
    proc = subprocess.run(["openssl"] + list(args), capture_output=True, timeout=120)
    if proc.returncode != 0:
        raise RuntimeError("openssl %s: %s" % (args[0], proc.stderr.decode()))
    return proc.stdout


class Machine:
    """A machine root and the programs that run on it."""

    def __init__(self, root):
        self.root = root
        self.env = dict(os.environ, PW_MACHINE_ROOT=root)
        for name in ("PW_HOST_FAULTS", "PW_HOST_FAULTS_LOG"):
            self.env.pop(name, None)

    def c(self, relative=""):
        return os.path.join(self.root, "drive_c", relative.replace("\\", "/"))

    def pwexe(self, text):
        proc = run([os.path.join(BIN, "pwexe"), text], self.env)
        if proc.returncode != 0:
            raise RuntimeError("setup: pwexe %r answered %r %r" % (text, proc.stdout, proc.stderr))

    def tool(self, *args, check=True):
        proc = run([os.path.join(BIN, args[0])] + list(args[1:]), self.env)
        if check and proc.returncode != 0:
            raise RuntimeError("setup: %r failed: %r %r" % (args, proc.stdout, proc.stderr))
        return proc.stdout.decode("cp1252")


# ---- what a machine holds, read without the platform's code ----

def hive_items(path, hive, items, problems):
    """Every key and value of a hive file, read with Python's SQLite."""
    if not os.path.exists(path):
        return
    try:
        db = sqlite3.connect(path, timeout=30)
        check = db.execute("PRAGMA integrity_check").fetchall()
        if check != [("ok",)]:
            problems.append("%s: integrity check %r" % (hive, check[:3]))
        names = {}
        for key, parent, name in db.execute("SELECT id, parent, name FROM keys"):
            names[key] = (parent, name)
        paths = {}

        def path_of(key):
            if key not in paths:
                parent, name = names[key]
                paths[key] = hive if parent == 0 else path_of(parent) + "\\" + name
            return paths[key]
        for key in names:
            items[("key", path_of(key))] = b""
        for key, name, type_, data in db.execute("SELECT key, name, type, data FROM vals"):
            items[("val", path_of(key), name)] = (type_, bytes(data))
        db.close()
    except (sqlite3.Error, KeyError, RecursionError) as e:
        problems.append("%s: unreadable: %s" % (hive, e))


def snapshot(root):
    """The machine's items: keys, values and the files the commands write; and the
    problems found reading them."""
    items, problems = {}, []
    registry = os.path.join(root, "registry")
    hive_items(os.path.join(registry, "machine.db"), "HKLM", items, problems)
    hive_items(os.path.join(registry, "user-%d.db" % os.geteuid()), "HKCU", items, problems)
    for dirpath, _, files in os.walk(os.path.join(root, "drive_c")):
        for name in files:
            path = os.path.join(dirpath, name)
            with open(path, "rb") as f:
                items[("file", os.path.relpath(path, root))] = f.read()
    return items, problems


def normalise(items):
    """Names the run makes at random (a key container's GUID, a new key's certificate
    thumbprint) are replaced by their kind, and values that hold a fresh key or what
    it signed by their presence alone."""
    out = {}
    for item, data in items.items():
        parts = item[1].split("\\")
        fresh = False
        for i, part in enumerate(parts):
            if GUID.search(part):
                parts[i] = GUID.sub("{GUID}", part)
                fresh = True
            elif THUMB.match(part) and i > 0 and parts[i - 1] == "Certificates" and \
                    "REQUEST" in parts:
                parts[i] = "<thumbprint>"
                fresh = True
        if item[0] == "val" and item[2] == "9kHWID_CertRequest":
            fresh = True
        if item[0] == "file" and item[1].endswith("Portwyn.log"):
            continue  # the trace log: checked line by line
        key = (item[0], "\\".join(parts)) + item[2:]
        if fresh and item[0] == "val":
            data = "<fresh>"
        elif item[0] == "val":  # a certificate names its key's container
            data = (data[0], GUID_BYTES.sub(b"{GUID}", GUID_WIDE.sub("{GUID}".encode("utf-16-le"),
                                                                       data[1])))
        out[key] = data
    return out


# ---- the cases ----

class Case:
    """One command: how its machine is prepared, what runs, and the codes it may answer
    besides 0: those of the parts of the system it goes through."""

    def __init__(self, name, prepare, command, codes, stores=False, unseen=None, unseen_after=None):
        self.name, self.prepare, self.command, self.codes = name, prepare, command, set(codes)
        self.stores = stores  # lists the certificate stores and key containers afterwards
        # What a run may answer 0 without, where the system answers 0 for a failure the
        # command does not see ("" for anything the command changes).
        self.unseen = re.compile(unseen) if unseen is not None else None
        # ... only when the run's trace shows the step that fails without a code.
        self.unseen_after = unseen_after


# The codes of the parts of the system a command goes through.
HWID = {7001, 7002, 7008}
LIGHT_KEY = {3215, 3216, 3217, 3219, 3220, 3222, 3223}
PROXIES = {3501, 3504, 3506, 3507, 3508, 3510, 3511, 3512, 3513, 3515}
BLOB = {7001, 7002, 7033} | set(range(7009, 7021)) | LIGHT_KEY | PROXIES
STORE_ACCESS = {7500, 7501, 7502, 7503}
KEY_CHECK = {7504, 7505, 7510, 7511}
REQUEST = {7001, 7002, 7003, 7027, 7028}
INSTALL = {7003, 7004, 7005, 7006, 7017, 7022, 7023}


class Fixtures:
    """Files the cases share: an authority with a chain, a certificate with its key."""

    def __init__(self, folder):
        self.folder = folder
        os.makedirs(folder)
        p = self.path
        openssl("req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", p("root.key"),
                "-out", p("root.pem"), "-days", "30", "-subj", "/CN=Sweep Root")
        openssl("req", "-new", "-newkey", "rsa:2048", "-nodes", "-keyout", p("ca.key"),
                "-out", p("ca.csr"), "-subj", "/CN=Sweep Issuing CA")
        with open(p("ca.ext"), "w") as f:
            f.write("basicConstraints=critical,CA:TRUE\n")
        openssl("x509", "-req", "-in", p("ca.csr"), "-CA", p("root.pem"), "-CAkey",
                p("root.key"), "-CAcreateserial", "-days", "30", "-extfile", p("ca.ext"),
                "-out", p("ca.pem"))
        with open(p("chain.pem"), "wb") as f:
            for name in ("root.pem", "ca.pem"):
                with open(p(name), "rb") as g:
                    f.write(g.read())
        openssl("crl2pkcs7", "-nocrl", "-certfile", p("chain.pem"), "-out", p("chain.p7b"))
        openssl("req", "-x509", "-newkey", "rsa:1024", "-nodes", "-keyout", p("hwid.key"),
                "-out", p("hwid.pem"), "-days", "30", "-subj",
                "/CN=HWID/OU=4711/O=Velmora Portwyn Certificate")
        openssl("pkcs12", "-export", "-in", p("hwid.pem"), "-inkey", p("hwid.key"), "-out",
                p("hwid.pfx"), "-passout", "pass:pw")
        openssl("req", "-x509", "-newkey", "rsa:1024", "-nodes", "-keyout", p("other.key"),
                "-out", p("other.pem"), "-days", "30", "-subj", "/CN=Sweep Other")
        with open(p("tree.reg"), "wb") as f:
            lines = ["Windows Registry Editor Version 5.00", ""]
            for i in range(4):
                for j in range(3):
                    lines += ["[HKEY_LOCAL_MACHINE\\Software\\PwSweep\\Import\\k%d\\leaf%d]" % (i, j),
                              '"v"=dword:%08x' % j, '"s"="text %d"' % j, ""]
            f.write("\r\n".join(lines).encode("utf-16"))

    def path(self, name):
        return os.path.join(self.folder, name)

    def issue(self, request_pem):
        with open(self.path("request.pem"), "wb") as f:
            f.write(request_pem)
        openssl("x509", "-req", "-in", self.path("request.pem"), "-CA", self.path("root.pem"),
                "-CAkey", self.path("root.key"), "-CAcreateserial", "-days", "30",
                "-copy_extensions", "copy", "-out", self.path("issued.pem"))
        return self.path("issued.pem")


def common(m):
    """What every machine holds before the run: tracing on, values in both hives, a
    tree, a certificate in a store, the log with the lines of the runs so far."""
    m.tool("pwmachine", "reg", "add", "HKCU\\" + TESSERA, "/v", "doTrace", "/t", "REG_DWORD",
           "/d", "1", "/f")
    m.pwexe("H,1")
    m.pwexe("W,before")
    for i in range(3):
        m.tool("pwmachine", "reg", "add", r"HKLM\Software\PwSweep\Kept\k%d" % i, "/v", "v",
               "/t", "REG_SZ", "/d", "kept %d" % i, "/f")
    m.tool("pwmachine", "reg", "add", r"HKCU\Software\PwSweep\Kept", "/v", "v", "/t",
           "REG_DWORD", "/d", "7", "/f")
    for i in range(3):
        for j in range(2):
            m.tool("pwmachine", "reg", "add", r"HKLM\Software\PwSweep\Tree\k%d\leaf%d" % (i, j),
                   "/v", "v", "/t", "REG_DWORD", "/d", str(j), "/f")


def cases(fx):
    def with_pfx(m):
        m.tool("pwmachine", "certutil", "-p", "pw", "-importPFX", fx.path("hwid.pfx"))

    def with_request(m):
        m.pwexe("Q," + SUBJECT)
        issued = fx.issue(m.tool("pwcmd", "request").encode())
        m.pwexe(m.tool("pwcmd", "A", fx.path("root.pem")).strip())
        m.files["C"] = m.tool("pwcmd", "C", issued).strip()

    def with_command_file(m):
        os.makedirs(m.c("sweep"))
        m.files["F"] = m.tool("pwcmd", "file", r"c:\sweep\command.txt", "H,77").strip()

    def with_program(m):
        os.makedirs(m.c("tools"), exist_ok=True)
        shutil.copy2(os.path.join(BIN, "argdump"), m.c("tools/argdump"))

    def blob_command(letter, hive):
        def prepare(m):
            m.files[letter] = m.tool("pwcmd", letter, hive, r"Software\PwSweep\Blob", "Value", "S",
                                     "text", "protected value", "--zero").strip()
        return prepare

    def containers(m):
        return re.findall(r"\{[0-9A-F-]{36}\}", m.tool("pwmachine", "certutil", "-key"))

    def with_pfx_container(m):
        with_pfx(m)
        m.files["container"] = containers(m)[0]

    def thumb(name):
        out = openssl("x509", "-in", fx.path(name), "-noout", "-fingerprint", "-sha1").decode()
        return out.split("=", 1)[1].strip().replace(":", "")

    return [
        Case("H", None, ["pwexe", "H,42"], HWID),
        Case("W", None, ["pwexe", "W,a new identifier"], HWID),
        Case("B", blob_command("B", "L"), ["pwexe", "@B"], BLOB),
        Case("N", blob_command("N", "C"), ["pwexe", "@N"], BLOB),
        Case("D", None, ["pwexe", r"D,Software\PwSweep,Tree"], [7024, 7025, 7026]),
        # A command file that cannot be deleted stays; the command is carried out all the same.
        Case("F", with_command_file, ["pwexe", "@F"], HWID | {7031}, unseen=r"command\.txt$"),
        Case("K", with_pfx, ["pwexe", "K,HWID: 4711: Velmora Portwyn Certificate"],
             STORE_ACCESS | KEY_CHECK, stores=True),
        Case("E", with_pfx, ["pwexe", "E,TRUE,4711"], STORE_ACCESS | {7518}, stores=True),
        # The newer road (taken when the older control cannot be made) fails without a
        # code after its first step.
        Case("Q", None, ["pwexe", "Q," + SUBJECT], REQUEST, stores=True, unseen="",
             unseen_after=b"createCertEnrollPKCS10 - Start"),
        Case("C", with_request, ["pwexe", "@C"], INSTALL, stores=True),
        Case("A", None, ["pwexe", "@A"], INSTALL, stores=True),
        # A report file that cannot be made leaves the program without output.
        Case("R", with_program, ["pwexe", r"R,c:\tools\argdump one two > c:\PWY_log\sweep.log"],
             [7021], unseen=REPORT),
        # pwmachine answers 1 for a failure, regsvr32 its own codes.
        Case("reg add", None, ["pwmachine", "reg", "add", r"HKLM\Software\PwSweep\Added", "/v",
                               "v", "/t", "REG_MULTI_SZ", "/d", r"one\0two", "/f"], [1]),
        Case("reg delete", None, ["pwmachine", "reg", "delete", r"HKLM\Software\PwSweep\Tree",
                                  "/f"], [1]),
        Case("reg import", None, ["pwmachine", "reg", "import", fx.path("tree.reg")], [1]),
        Case("certutil -addstore", None, ["pwmachine", "certutil", "-addstore", "Root",
                                          fx.path("other.pem")], [1], stores=True),
        Case("certutil -delstore", with_pfx, ["pwmachine", "certutil", "-delstore", "My",
                                              thumb("hwid.pem")], [1], stores=True),
        Case("certutil -importPFX", None, ["pwmachine", "certutil", "-p", "pw", "-importPFX",
                                           fx.path("hwid.pfx")], [1], stores=True),
        Case("certutil -delkey", with_pfx_container, ["pwmachine", "certutil", "-delkey",
                                                      "@container"], [1], stores=True),
        Case("regsvr32", None, ["pwmachine", "regsvr32", "/s", "xenroll.dll"], [1, 2, 3, 4, 5]),
    ]


# ---- one run ----

class Outcome:
    def __init__(self):
        self.code, self.fired, self.reached, self.calls, self.problems = None, 0, 0, [], []


def argv_of(case, m):
    args = [os.path.join(BIN, case.command[0])]
    for a in case.command[1:]:
        args.append(m.files[a[1:]] if a.startswith("@") else a)
    return args


def run_case(case, m, faults):
    """Runs the case's command on machine `m` with PW_HOST_FAULTS=`faults`."""
    out = Outcome()
    fd, log = tempfile.mkstemp(prefix="faults-", dir=m.root)
    os.close(fd)
    env = dict(m.env, PW_HOST_FAULTS=faults, PW_HOST_FAULTS_LOG=log)
    try:
        proc = subprocess.run(argv_of(case, m), env=env, capture_output=True,
                              timeout=RUN_TIMEOUT_S, stdin=subprocess.DEVNULL)
    except subprocess.TimeoutExpired:
        out.problems.append("no end within %d s" % RUN_TIMEOUT_S)
        return out
    finally:
        with open(log) as f:
            for line in f.read().splitlines():
                word = line.split()
                if word[0] == "fired":
                    out.fired += 1
                elif word[0] == "reached":
                    out.reached = max(out.reached, int(word[2]))
                elif word[0] == "call":
                    out.calls.append(word[1])
        os.remove(log)
    err = proc.stderr.decode("utf-8", "replace")
    if proc.returncode < 0:
        out.problems.append("ended by signal %d: %s" % (-proc.returncode, err[-400:]))
    for mark in SANITIZER_MARKS:
        if mark in err:
            out.problems.append("sanitizer: " + err[-1500:])
    if case.command[0] == "pwexe":
        lines = proc.stdout.decode().split()
        out.code = int(lines[-1]) if lines else None
        if out.code is None:
            out.problems.append("no result code (exit %d): %s" % (proc.returncode, err[-400:]))
    else:
        out.code = proc.returncode
    return out


class Prepared:
    """A case's machine before the run, and what the run without a fault left."""

    def __init__(self, case, base, work):
        self.case, self.base = case, base
        self.before, problems = snapshot(base.root)
        if problems:
            raise RuntimeError("%s: the prepared machine: %r" % (case.name, problems))
        if case.stores:
            self.listed_before, _ = listings(base)
        m = copy_machine(base, os.path.join(work, "success"))
        clean = run_case(case, m, "any:0")
        if clean.problems or clean.code != 0:
            raise RuntimeError("%s without a fault: %r %r" % (case.name, clean.code,
                                                              clean.problems))
        self.calls = clean.calls
        self.after, problems = snapshot(m.root)
        if case.stores:
            self.listed_after, unlisted = listings(m)
            problems += unlisted
        if problems:
            raise RuntimeError("%s: after the run without a fault: %r" % (case.name, problems))
        shutil.rmtree(m.root)


def copy_machine(base, root):
    shutil.rmtree(root, ignore_errors=True)
    shutil.copytree(base.root, root)
    m = Machine(root)
    m.files = base.files
    return m


def judge(prepared, m, out):
    """What is wrong with the machine a faulted run left: a list of findings."""
    case = prepared.case
    problems = list(out.problems)
    if out.code is not None and out.code != 0 and out.code not in case.codes:
        problems.append("answered %d" % out.code)
    items, read = snapshot(m.root)
    problems += read
    before, after, now = (normalise(x) for x in (prepared.before, prepared.after, items))
    for item in set(before) | set(after) | set(now):
        allowed = (before.get(item), after.get(item))
        if item[0] == "file" and item[1].endswith(REPORT):
            allowed += (b"",)  # made, and the program then could not be started
        if now.get(item) not in allowed:
            state = "gone" if item not in now else "foreign" if item not in before and \
                item not in after else "torn"
            problems.append("%s %r" % (state, item))
    if out.code == 0:
        unseen = case.unseen
        if case.unseen_after and case.unseen_after not in added_log(prepared.before, items):
            unseen = None
        # A key that holds nothing (a store opened, and so made, on the way) is no change.
        holding = {i[1] for i in after if i[0] == "val"} | {i[1] for i in before}
        lost = [i for i in set(before) | set(after) if now.get(i) != after.get(i) and
                not (unseen is not None and unseen.search(i[1])) and
                not (i[0] == "key" and i[1] not in holding)]
        if lost:
            problems.append("answered 0 without its change: %r" % lost[:4])
    # A key the run deletes goes with all its values at once.
    for item in before:
        if item[0] == "key" and item not in after:
            members = [i for i in before if i[1] == item[1]]
            if len({i in now for i in members}) > 1:
                problems.append("half a deletion of %s" % item[1])
    problems += check_log(prepared.before, items)
    if case.stores and not read:
        lists, unlisted = listings(m)
        problems += unlisted + check_listings(prepared.listed_before, prepared.listed_after, lists)
    return problems


LOG = ("file", os.path.join("drive_c", "PWY_log", "Portwyn.log"))


def added_log(before, now):
    """What the run added to the trace log."""
    return now.get(LOG, b"")[len(before.get(LOG, b"")):]


def check_log(before, now):
    """The trace log holds what it held, then whole lines."""
    old, new = before.get(LOG, b""), now.get(LOG, b"")
    if not new.startswith(old):
        return ["the trace log lost what it held"]
    added = new[len(old):]
    if added and not added.endswith(b"\r\n"):
        return ["the trace log ends in half a line"]
    return []


LISTINGS = (["-store", "My"], ["-store", "Root"], ["-store", "CA"], ["-store", "REQUEST"],
            ["-user", "-store", "My"], ["-key"])


def listings(m):
    """The certificates and key containers the platform's tools list, store by store:
    {listing: set of thumbprints or containers}; and what went wrong listing them."""
    lists, problems = {}, []
    for args in LISTINGS:
        proc = run([os.path.join(BIN, "pwmachine"), "certutil"] + args, m.env)
        text = proc.stdout.decode("cp1252")
        if proc.returncode != 0:
            problems.append("certutil %s: %s" % (" ".join(args), proc.stderr.decode()[-300:]))
        pattern = r"\{[0-9A-F-]{36}\}" if args == ["-key"] else r"Cert Hash\(sha1\): ([0-9a-f]{40})"
        lists[" ".join(args)] = set(re.findall(pattern, text))
    return lists, problems


def check_listings(before, after, now):
    """Each certificate and container listed is one listed before or after the run
    without a fault, or, where that run made one afresh, one made afresh."""
    problems = []
    for name, listed in now.items():
        fresh = after[name] - before[name]
        unknown = listed - before[name] - after[name]
        if len(unknown) > len(fresh):
            problems.append("certutil %s lists %s" % (name, sorted(unknown)))
    return problems


# ---- the sweep ----

def choose(calls, sample, offset):
    """Which calls to fail: all of them, or `sample` of them spread over the run, the
    calls that write first."""
    every = list(range(1, len(calls) + 1))
    if not sample or sample >= len(every):
        return every
    writing = [n for n in every if calls[n - 1] in WRITING]
    pool = writing if len(writing) >= sample else every
    step = len(pool) / sample
    return sorted({pool[min(len(pool) - 1, int(offset * step / 2 + i * step))]
                   for i in range(sample)})


def prepare_case(case, fx, work):
    base = Machine(os.path.join(work, "base"))
    base.files = {}
    common(base)
    if case.prepare:
        case.prepare(base)
    if case.name == "A":
        base.files["A"] = base.tool("pwcmd", "A", fx.path("chain.p7b")).strip()
    return Prepared(case, base, work)


def sweep(names=None, sample=0, jobs=2, report=print, at=None, keep=None):
    """Runs the sweep; answers (faults injected, runs, findings). `at` names the runs
    to make instead ([(error, n)]); `keep` is a folder for the machines of findings."""
    work = tempfile.mkdtemp(prefix="pw-sweep-", dir="/dev/shm" if os.path.isdir("/dev/shm")
                            else None)
    findings, faults, runs = [], 0, 0
    try:
        fx = Fixtures(os.path.join(work, "fixtures"))
        for case in cases(fx):
            if names and case.name not in names:
                continue
            started = time.time()
            folder = os.path.join(work, case.name.replace(" ", "_"))
            os.makedirs(folder)
            prepared = prepare_case(case, fx, folder)
            plan = at or [(error, n) for k, error in enumerate(ERRORS)
                          for n in choose(prepared.calls, sample, k)]

            def one(job):
                index, (error, n) = job
                m = copy_machine(prepared.base, os.path.join(folder, "run-%d" % index))
                out = run_case(case, m, "any:%d:%s" % (n, error))
                found = judge(prepared, m, out) if out.fired else []
                if found and keep:
                    shutil.copytree(m.root, os.path.join(keep, "%s-%d-%s" % (
                        case.name.replace(" ", "_"), n, error)), dirs_exist_ok=True)
                shutil.rmtree(m.root, ignore_errors=True)
                return error, n, out, found
            case_faults, codes = 0, collections.Counter()
            with concurrent.futures.ThreadPoolExecutor(jobs) as pool:
                for error, n, out, found in pool.map(one, enumerate(plan)):
                    runs += 1
                    case_faults += out.fired
                    codes[out.code] += 1
                    for f in found:
                        findings.append("%s, call %d (%s) failing with %s: %s" % (
                            case.name, n, prepared.calls[n - 1], error, f))
            faults += case_faults
            report("%-20s %5d calls %5d runs %5d faults %3d findings %5.0f s  answers %s" % (
                case.name, len(prepared.calls), len(plan), case_faults,
                sum(1 for f in findings if f.startswith(case.name + ",")), time.time() - started,
                " ".join("%s:%d" % kv for kv in sorted(codes.items(), key=str))))
            shutil.rmtree(folder, ignore_errors=True)
    finally:
        shutil.rmtree(work, ignore_errors=True)
    return faults, runs, findings


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--sample", type=int, default=0,
                        help="calls to fail for each command and error (0: every one)")
    parser.add_argument("--cases", default="", help="commands to sweep, separated by commas")
    parser.add_argument("--jobs", type=int, default=2)
    parser.add_argument("--at", default="", help="runs to make instead, as N:ERROR,...")
    parser.add_argument("--keep", help="a folder for the machines the findings were made on")
    args = parser.parse_args()
    names = set(args.cases.split(",")) if args.cases else None
    at = [(e, int(n)) for n, e in (a.split(":") for a in args.at.split(","))] if args.at else None
    started = time.time()
    faults, runs, findings = sweep(names, args.sample, args.jobs, at=at, keep=args.keep)
    for f in findings:
        print("FINDING " + f)
    print("%d runs, %d faults injected, %d findings, %.0f s" % (runs, faults, len(findings),
                                                                time.time() - started))
    return 1 if findings else 0


if __name__ == "__main__":
    sys.exit(main())
