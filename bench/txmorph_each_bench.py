#!/usr/bin/env python3
"""txmorph converting a tree of many small files in place in one run
(--each), against recode, which converts the files it is given in place, and
against a shell loop that runs txmorph once a file.

usage: txmorph_each_bench.py BUILD_DIR [FILES] [RUNS] [WORK_DIR]

FILES (default 2000) files of about 4 KB of Western text in Windows-1252
(letters that Latin-1 has too, so that both readings give the same text),
in 20 folders of WORK_DIR (by default a new directory under the build
directory, on the disk the files are written to), each converted to UTF-8 in
place by:

  txmorph -q -ia -ou --each FILES
  recode latin1..utf8 FILES
  for f in FILES; do txmorph -q -ia -ou "$f"; done

Before each run every file gets its old text back and the disk is flushed
(sync), outside the clock; after it the files are checked to hold the new
text. The three take turns, best of RUNS (default 5) after a warm-up; the
ratio is a contender's time over that of --each.
txmorph keeps its safety guarantee for every file (each file's old text is
on the disk before it is overwritten), recode and the loop's redirections
flush nothing. Targets: --each at least 2x recode and at least 5x the loop.
Exits 1 when a target is missed; without recode that comparison is left out.
"""
import os
import random
import shutil
import subprocess
import sys
import tempfile
import time

from txmorph_bench import ENV, load_average, measure_in, text_of, western

TARGETS = {"recode": 2, "loop": 5}
FOLDERS = 20
SIZE = 4000  # characters of a file


def arguments():
    if len(sys.argv) < 2:
        sys.exit(__doc__)
    build = os.path.abspath(sys.argv[1])
    files = int(sys.argv[2]) if len(sys.argv) > 2 else 2000
    runs = int(sys.argv[3]) if len(sys.argv) > 3 else 5
    made = len(sys.argv) <= 4
    work = tempfile.mkdtemp(prefix="txmorph-each-", dir=build) if made else sys.argv[4]
    os.makedirs(work, exist_ok=True)
    return os.path.join(build, "bin", "txmorph"), files, runs, work, made


def texts(count):
    """The files' names (relative to the work directory) and old texts."""
    rng = random.Random(7)
    return {f"d{i % FOLDERS:02d}/f{i:05d}.txt":
            text_of(rng.randint(SIZE // 2, SIZE * 3 // 2), western, i).encode("cp1252")
            for i in range(count)}


def put_back(work, files):
    for name, text in files.items():
        with open(os.path.join(work, name), "wb") as f:
            f.write(text)
    os.sync()


def check_converted(work, files, mark):
    for name, text in files.items():
        with open(os.path.join(work, name), "rb") as f:
            if f.read() != mark + text.decode("cp1252").encode():
                sys.exit(f"{name} was not converted")


def best_times(contenders, work, files, runs):
    """The contenders (command, byte order mark of its output) in turn: each
    one's best time."""
    best = [float("inf")] * len(contenders)
    for round_ in range(runs + 1):
        for i, (command, mark) in enumerate(contenders):
            put_back(work, files)
            start = time.perf_counter()
            subprocess.run(command, cwd=work, env=ENV, check=True, stdin=subprocess.DEVNULL,
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            seconds = time.perf_counter() - start
            check_converted(work, files, mark)
            if round_ > 0:
                best[i] = min(best[i], seconds)
    return best


def main():
    txmorph, count, runs, work, made = arguments()
    recode = shutil.which("recode")

    def measure():
        files = texts(count)
        for i in range(FOLDERS):
            os.makedirs(os.path.join(work, f"d{i:02d}"), exist_ok=True)
        names = list(files)
        bom = b"\xef\xbb\xbf"
        contenders = [("txmorph -q -ia -ou --each", [txmorph, "-q", "-ia", "-ou", "--each", *names],
                       bom, None),
                      ("a txmorph run a file", ["sh", "-c", 'for f; do "$0" -q -ia -ou "$f" || exit;'
                                                " done", txmorph, *names], bom, "loop")]
        if recode is not None:
            contenders.insert(1, ("recode latin1..utf8", [recode, "latin1..utf8", *names], b"",
                                  "recode"))
        size = sum(len(text) for text in files.values())
        print(f"{count} files of {size / count / 1000:.1f} KB on average in {FOLDERS} folders,"
              f" Windows-1252 to UTF-8 in place, best of {runs}; load average"
              f" {load_average():.2f} at the start")
        times = best_times([(command, mark) for _, command, mark, _ in contenders], work, files,
                           runs)
        print(f"{'contender':28} {'seconds':>8} {'files/s':>8} {'ratio':>10} {'target':>7}")
        missed = False
        for (title, _, _, target), seconds in zip(contenders, times):
            lead = target and seconds / times[0]
            if target:
                missed |= lead < TARGETS[target]
            row = f"{title:28} {seconds:8.3f} {count / seconds:8.0f}"
            print(row + (f" {lead:9.2f}x {TARGETS[target]:6}x" if target else ""))
        if recode is None:
            print("recode is not installed (apt-get install recode): no comparison with it")
        return missed

    return measure_in(work, made, measure)


if __name__ == "__main__":
    sys.exit(main())
