#!/usr/bin/env python3
"""Every host call of the portable platform goes through its table (machine/host_calls.h),
so that a test can fail any of them. This lists the calls made around it: a host
function named with the global scope (::open) anywhere, or by its bare name where the
name is the host's alone. Exit status 1 when there are any."""

import os
import re
import sys

ROOT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "platform", "portable")
# The table itself, and the start-up reading of test faults, which must not count its
# own calls.
EXEMPT = {"machine/host_calls.cpp", "machine/host_calls.h", "machine/fault_environment.cpp"}
CALLS = ("open openat close read write pread pwrite lseek fsync fdatasync ftruncate truncate "
         "posix_fallocate fallocate stat lstat fstat fstatat access chmod fchmod fchown mkdir "
         "rmdir unlink unlinkat rename renameat readlink getcwd chdir opendir readdir closedir "
         "fcntl flock mmap munmap mremap posix_spawn posix_spawnp pidfd_open waitid waitpid "
         "poll getrandom syscall fopen").split()
# Names no class of the platform uses for a member of its own.
BARE = set(CALLS) - {"open", "close", "read", "write", "stat", "access", "poll", "truncate"}
QUALIFIED = re.compile(r"(?<![\w>.:])::(%s)\s*\(" % "|".join(CALLS))
UNQUALIFIED = re.compile(r"(?<![\w>.:])(%s)\s*\(" % "|".join(sorted(BARE)))


def main():
    found = []
    for folder, _, files in os.walk(ROOT):
        for name in files:
            if not name.endswith((".cpp", ".h")):
                continue
            path = os.path.join(folder, name)
            relative = os.path.relpath(path, ROOT).replace(os.sep, "/")
            if relative in EXEMPT:
                continue
            with open(path, encoding="utf-8") as f:
                for number, line in enumerate(f, 1):
                    code = line.split("//", 1)[0]
                    if QUALIFIED.search(code) or UNQUALIFIED.search(code):
                        found.append("%s:%d: %s" % (relative, number, line.strip()))
    for line in found:
        print("host call outside the table: " + line)
    return 1 if found else 0


if __name__ == "__main__":
    sys.exit(main())
