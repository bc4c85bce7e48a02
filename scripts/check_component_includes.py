#!/usr/bin/env python3
"""Checks that the enrolment components are Win32 programs and nothing more.

The enrolment components (components/xenroll, components/certenroll and the code they
share, components/common) are one source for two builds: the portable machine's
built-in modules and the Windows DLLs. They may include the Win32 and C++ headers
(<...>), each other by full path ("components/..."), and the project's handle owners
(src/win32: "crypt.h", "cert.h", "owned.h"). They may not include OpenSSL or SQLite,
nor a header of the portable platform's own folders ("machine/...", "crypt32/...");
the portable platform's exported face (<pwplatform.h>) only in the portable glue
(components/**/portable/). Any other include is reported with its file and line.

    scripts/check_component_includes.py [COMPONENTS_DIR]     exit 0 when clean
"""
import os
import re
import sys

INCLUDE = re.compile(r'^\s*#\s*include\s*([<"])([^>"]+)[>"]')
OWNERS = {"crypt.h", "cert.h", "owned.h"}
FOREIGN = ("openssl/", "sqlite3")
ENROLMENT = ("xenroll", "certenroll", "common")


def problem(path, kind, header):
    if header.startswith(FOREIGN):
        return "a library the components must not use"
    if kind == "<":
        if header == "pwplatform.h" and "portable" not in path.split(os.sep):
            return "the portable platform's face outside the portable glue"
        return None
    if header.startswith("components/") or header in OWNERS:
        return None
    return "not a component's header, nor a Win32 one"


def main():
    root = sys.argv[1] if len(sys.argv) > 1 else os.path.join(
        os.path.dirname(os.path.abspath(__file__)), "..", "components")
    found = 0
    for dirpath, _, files in (w for folder in ENROLMENT for w in os.walk(os.path.join(root, folder))):
        for name in sorted(files):
            if not name.endswith((".h", ".cpp")):
                continue
            path = os.path.join(dirpath, name)
            with open(path, encoding="utf-8") as text:
                for number, line in enumerate(text, 1):
                    match = INCLUDE.match(line)
                    why = match and problem(os.path.relpath(path, root), *match.groups())
                    if why:
                        print("%s:%d: %s: %s" % (path, number, match.group(2), why))
                        found += 1
    return 1 if found else 0


if __name__ == "__main__":
    sys.exit(main())
