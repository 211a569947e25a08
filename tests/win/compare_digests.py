#!/usr/bin/env python3
"""Runs the code-page probe and compares its digests with the committed ones.

usage: compare_digests.py [--known DIFFERENCES] DIGESTS [RUNNER] PROBE
       compare_digests.py --write DIGESTS [RUNNER] PROBE   (records them instead)

RUNNER is the program that starts PROBE (Wine for a Windows build). DIGESTS
holds what Windows gives; DIFFERENCES, for the sections where the system the
probe runs on is known to differ from Windows (Wine), what it gives there
instead: such a section passes with either, and a match with the known
difference is reported. On a mismatch, `PROBE SECTION` prints every record of
that section, for a diff between two builds.
"""
import os
import subprocess
import sys


def parse(text):
    digests = {}
    for line in text.splitlines():
        if line.strip() and not line.startswith("#"):
            name, digest = line.split()
            digests[name] = digest
    return digests


def main(argv):
    write = argv[:1] == ["--write"]
    if write:
        argv = argv[1:]
    known = {}
    if argv[:1] == ["--known"] and len(argv) > 1:
        known = parse(open(argv[1]).read())
        argv = argv[2:]
    if len(argv) < 2:
        print(__doc__)
        return 2
    path, command = argv[0], [a for a in argv[1:] if a]
    # The digests were recorded with ANSI 1252 and OEM 437, the pages of the C locale.
    env = dict(os.environ, LC_ALL="C", WINEDEBUG="-all")
    done = subprocess.run(command, capture_output=True, text=True, timeout=1200, env=env)
    if done.returncode != 0:
        print(f"probe failed ({done.returncode}): {done.stderr}")
        return 1
    got = parse(done.stdout)
    if write:
        with open(path, "w") as f:
            f.write(done.stdout)
        print(f"wrote {len(got)} digests to {path}")
        return 0
    want = parse(open(path).read())
    bad = 0
    for name in sorted(set(want) | set(got)):
        if name in known and got.get(name) == known[name]:
            print(f"known difference {name}: {got.get(name)} (Windows: {want.get(name)})")
        elif want.get(name) != got.get(name):
            print(f"MISMATCH {name}: expected {want.get(name)}, probe gave {got.get(name)}")
            bad += 1
    print(f"{len(want) - bad} of {len(want)} sections match")
    return 1 if bad else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
