"""Locks that another process takes on a hive and never releases: a transaction that
holds the write lock, one that keeps readers out as well, or a bare lock on a byte of
the hive file or of its log's index, as a stuck or hostile program may leave them. A
run waits for such a lock once, for the lock wait (5 s), then answers with the code of
the call that gave up; before, a lock that kept readers out made a run wait once for
each call that needed the hive, 20 s and more. Nothing committed is lost, and the
hive takes changes again once the lock goes.

The cases run at once, each on a machine of its own, so that their waits overlap."""

import fcntl
import os
import shutil
import sqlite3
import struct
import subprocess
import time
import unittest

from harness import HWID_KEY, TARGET, TargetTest

# One wait is 5 s; a run that waited for every call that needed the hive took 20 s
# to 42 s. The bound leaves room for a slow start on a loaded machine.
BOUND_S = 15


def sqlite_holder(path, *statements):
    db = sqlite3.connect(path, isolation_level=None, timeout=5)
    for sql in statements:
        db.execute(sql).fetchall()
    return db


def byte_holder(path, start, length):
    fd = os.open(path, os.O_RDWR)
    fcntl.lockf(fd, fcntl.LOCK_EX | fcntl.LOCK_NB, length, start, os.SEEK_SET)
    return fd


@unittest.skipIf(TARGET == "wine", "wine: the registry lives in wineserver's memory, not in "
                 "files another process can lock")
class HeldLockTest(TargetTest):
    def blob(self, env):
        out = subprocess.run([os.path.join(self.t.bin, "regbytes"), HWID_KEY, "Blob"], env=env,
                             capture_output=True, text=True, timeout=60).stdout.split()
        return struct.unpack("<i", bytes.fromhex(out[2]))[0]

    def test_any_held_lock_is_answered_after_one_wait(self):
        self.run_ok("H,1")
        machine = lambda root: os.path.join(root, "registry", "machine.db")
        pending = 0x40000000  # the hive file's lock bytes; its index's from byte 120
        cases = [
            # (what holds it, how, the codes the run may answer)
            ("a transaction with the write lock",
             lambda r: sqlite_holder(machine(r), "BEGIN IMMEDIATE"), {7002}),
            ("an exclusive transaction that keeps readers out",
             lambda r: sqlite_holder(machine(r), "PRAGMA locking_mode=EXCLUSIVE",
                                     "BEGIN EXCLUSIVE", "SELECT count(*) FROM keys"), {7001}),
            ("the hive file's pending byte", lambda r: byte_holder(machine(r), pending, 1),
             {7001, 7002}),
            ("the hive file's shared bytes", lambda r: byte_holder(machine(r), pending + 2, 510),
             {7001, 7002}),
            ("the index's write lock", lambda r: byte_holder(machine(r) + "-shm", 120, 1),
             {7001, 7002}),
            ("the index's checkpoint lock", lambda r: byte_holder(machine(r) + "-shm", 121, 1),
             {7001, 7002}),
            ("the index's recovery lock", lambda r: byte_holder(machine(r) + "-shm", 122, 1),
             {7001, 7002}),
            ("the index's read locks", lambda r: byte_holder(machine(r) + "-shm", 124, 4),
             {7001, 7002}),
            ("the index's own lock", lambda r: byte_holder(machine(r) + "-shm", 128, 1),
             {7001, 7002}),
            # Only the trace settings live there: the run waits once and goes on untraced.
            ("the user's hive, kept from readers",
             lambda r: sqlite_holder(os.path.join(r, "registry", "user-%d.db" % os.geteuid()),
                                     "PRAGMA locking_mode=EXCLUSIVE", "BEGIN EXCLUSIVE",
                                     "SELECT count(*) FROM keys"), {0}),
        ]
        runs, answers = [], []
        try:
            for n, (what, hold, codes) in enumerate(cases):
                root = os.path.join(self.t.work, "held-%d" % n)
                shutil.rmtree(root, ignore_errors=True)
                shutil.copytree(self.t.root, root)
                env = dict(self.t.env, PW_MACHINE_ROOT=root)
                holder = hold(root)
                proc = subprocess.Popen([os.path.join(self.t.bin, "pwexe"), "H,2"], env=env,
                                        stdout=subprocess.PIPE, stderr=subprocess.PIPE)
                runs.append((what, codes, env, holder, proc))
            for what, codes, env, holder, proc in runs:
                try:
                    out, err = proc.communicate(timeout=BOUND_S)
                except subprocess.TimeoutExpired:
                    proc.kill()
                    proc.communicate()
                    self.fail("%s: no answer within %d s" % (what, BOUND_S))
                answers.append(int(out.decode().split()[-1]))
                self.assertIn(answers[-1], codes, "%s: %r" % (what, err))
        finally:
            for what, codes, env, holder, proc in runs:
                if proc.poll() is None:
                    proc.kill()
                    proc.wait()
                if isinstance(holder, int):
                    os.close(holder)
                else:
                    holder.close()
        # What the run answered is what it left, and once the lock is gone the hive
        # takes changes again.
        for (what, codes, env, holder, proc), code in zip(runs, answers):
            self.assertEqual(self.blob(env), 2 if code == 0 else 1, what)
            r = subprocess.run([os.path.join(self.t.bin, "pwexe"), "H,3"], env=env,
                               capture_output=True, text=True, timeout=60)
            self.assertEqual(r.stdout.split()[-1], "0", what)
            self.assertEqual(self.blob(env), 3, what)

    def test_a_run_laying_the_hives_out_slowly_is_waited_for_not_taken_as_held(self):
        # A run laying a fresh machine's hives out on a slow disk: it holds the turn to
        # lay them out, and the machine hive's write lock, for longer than one wait. The
        # run waits for the turn, goes on without it, and then meets the write lock with
        # a wait of its own, which ends when the slow run's does.
        registry = os.path.join(self.t.root, "registry")
        os.makedirs(registry)
        turn = os.open(registry, os.O_RDONLY | os.O_DIRECTORY)
        fcntl.flock(turn, fcntl.LOCK_EX)
        slow = sqlite_holder(os.path.join(registry, "machine.db"), "PRAGMA journal_mode=WAL",
                             "BEGIN IMMEDIATE")
        try:
            proc = subprocess.Popen([os.path.join(self.t.bin, "pwexe"), "H,2"], env=self.t.env,
                                    stdout=subprocess.PIPE, stderr=subprocess.PIPE)
            # Past the wait for the user hive's turn, within the wait for the machine's.
            time.sleep(8)
        finally:
            slow.close()
            os.close(turn)
        out, err = proc.communicate(timeout=60)
        self.assertEqual(out.decode().split()[-1:], ["0"], err)
        self.assertEqual(self.blob(self.t.env), 2)


if __name__ == "__main__":
    unittest.main()
