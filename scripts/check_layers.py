#!/usr/bin/env python3
"""Checks how the portable platform's folders include each other.

platform/portable holds one folder per library it stands in for (kernel32, advapi32,
crypt32, ...), the base every library uses (machine/) and the top that uses them all
(system/). A library includes its own headers and the base's; it meets every other
library only through the functions they export (platform/include). The base includes
only itself; nothing includes the top. Folders named with --components hold components
the machine has built in: they sit above the libraries and below the top. Any other
include, and any cycle between folders, is reported with the file and line that makes it.

    scripts/check_layers.py [--components=NAME,...] [PORTABLE_DIR]
                                               exit 0 when the graph is clean
"""
import os
import re
import sys

BASE = "machine"
TOP = "system"
INCLUDE = re.compile(r'^\s*#\s*include\s*"([^"/]+)/[^"]+"')


def includes(root):
    """(folder, included folder, file, line number) for each quoted full-path include."""
    for folder in sorted(os.listdir(root)):
        path = os.path.join(root, folder)
        if not os.path.isdir(path):
            continue
        for dirpath, _, files in os.walk(path):
            for name in sorted(files):
                if not name.endswith((".h", ".hpp", ".c", ".cpp")):
                    continue
                file = os.path.join(dirpath, name)
                with open(file, encoding="utf-8", errors="replace") as text:
                    for number, line in enumerate(text, 1):
                        match = INCLUDE.match(line)
                        if match and os.path.isdir(os.path.join(root, match.group(1))):
                            yield folder, match.group(1), os.path.relpath(file, root), number


def layer(folder, components):
    if folder == BASE:
        return 0
    if folder in components:
        return 2
    if folder == TOP:
        return 3
    return 1  # a library


def allowed(folder, target, components):
    if folder == target or target == BASE:
        return True
    # Above the libraries everything below is in reach, and components share code among
    # themselves (a cycle among them is still one); a library reaches only the base.
    mine, theirs = layer(folder, components), layer(target, components)
    return mine >= 2 and (theirs < mine or theirs == mine == 2)


def cycles(edges):
    """Each cycle of the folder graph once, as a list of folders."""
    found, seen = [], set()

    def visit(node, trail):
        for nxt in sorted(edges.get(node, ())):
            if nxt in trail:
                cycle = trail[trail.index(nxt):]
                key = frozenset(cycle)
                if key not in seen:
                    seen.add(key)
                    found.append(cycle + [nxt])
            else:
                visit(nxt, trail + [nxt])

    for start in sorted(edges):
        visit(start, [start])
    return found


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    args = sys.argv[1:]
    components = set()
    if args and args[0].startswith("--components="):
        components = set(filter(None, args.pop(0).split("=", 1)[1].split(",")))
    root = args[0] if args else os.path.join(here, "..", "platform", "portable")
    problems = []
    edges = {}
    for folder, target, file, number in includes(root):
        if folder != target:
            edges.setdefault(folder, set()).add(target)
        if not allowed(folder, target, components):
            problems.append(f"{file}:{number}: {folder}/ includes a private header of {target}/")
    for cycle in cycles(edges):
        problems.append("include cycle: " + " -> ".join(cycle))
    for problem in problems:
        print(problem)
    if not problems:
        print(f"{os.path.normpath(root)}: {len(edges)} folders, no cycle, no private include")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
