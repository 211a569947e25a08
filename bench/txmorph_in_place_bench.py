#!/usr/bin/env python3
"""txmorph converting files in place, against the usual ways of rewriting a
file with other tools: glibc's iconv into a new file that then replaces the
old one (iconv ... -o f.new && mv f.new f), and dos2unix, which rewrites a
file in place by itself.

usage: txmorph_in_place_bench.py BUILD_DIR [MEGABYTES] [WORK_DIR]

Inputs as in txmorph_bench.py (MEGABYTES, default 200, in 10^6 bytes; WORK_DIR
by default a new directory under the build directory, on the disk the files
are written to). Each run starts from a fresh copy of the input (made, and
flushed to the disk, before the clock starts, so it is in the page cache);
the contenders take turns, best of 5 after a warm-up. Throughput is input
bytes per second; the target is twice the throughput of iconv and mv.
txmorph's in-place run copies the old text beside the file first and flushes
both the copy and the new text to the disk; iconv and mv flush nothing, nor
does dos2unix. dos2unix runs where it
has a like conversion (UTF-16LE to UTF-8), and otherwise its plain rewrite of
the same file (line ends), as the cost of rewriting a file in place at all.

The floor (bench_txmorph_in_place_floor) is the file system's work of a
rewrite as safe as txmorph's, with nothing converted: the old text copied
beside the file and flushed, the new text's number of bytes written over the
file, the file cut and flushed, the copy removed. "of floor" is the floor's
time over txmorph's; "floor x" is iconv and mv's time over the floor's, the
most any rewrite as safe could reach against them on this disk.
"""
import os
import shutil
import subprocess
import sys
import time

from txmorph_bench import CASES, ENV, RUNS, arguments, load_average, measure_in, write_inputs

TARGET = 2

# dos2unix converts UTF-16 only in a UTF-8 locale.
UTF8_LOCALE = dict(ENV, LANG="C.UTF-8", LC_ALL="C.UTF-8")


def run_time(command, pristine, target, env=ENV):
    shutil.copyfile(pristine, target)
    os.sync()
    start = time.perf_counter()
    subprocess.run(command, env=env, check=True, stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL)
    return time.perf_counter() - start


def best_times(contenders, pristine, target):
    """The contenders (command, environment) in turn: each one's best time."""
    best = [float("inf")] * len(contenders)
    for round_ in range(RUNS + 1):
        for i, (command, env) in enumerate(contenders):
            seconds = run_time(command, pristine, target, env)
            if round_ > 0:
                best[i] = min(best[i], seconds)
    return best


def main():
    txmorph, megabytes, work, made = arguments("txmorph-in-place-")
    floor = os.path.join(os.path.dirname(txmorph), "bench_txmorph_in_place_floor")
    dos2unix = shutil.which("dos2unix")
    # dos2unix's options for a like conversion, where it has one.
    like = {"UTF-16LE to UTF-8": ["-ul"]}

    def measure():
        sizes = write_inputs(work, megabytes)
        target = os.path.join(work, "f.txt")
        print(f"{megabytes} MB inputs converted in place, best of {RUNS}; MB/s of input; "
              f"load average {load_average():.2f} at the start")
        print(f"{'conversion':26} {'txmorph':>9} {'iconv+mv':>9} {'ratio':>6} {'floor':>7} "
              f"{'of floor':>9} {'floor x':>8} {'dos2unix':>9}")
        missed = False
        for title, source, options, iconv_args in CASES:
            dos2unix_options = like.get(title)
            pristine = os.path.join(work, source)
            size = sizes[source] / 1e6
            # The new text's size, for the floor.
            run_time([txmorph, "-q", "-x", *options, target], pristine, target)
            contenders = [([txmorph, "-q", "-x", *options, target], ENV),
                          (["sh", "-c", f"iconv {iconv_args} {target} -o {target}.new"
                                        f" && mv {target}.new {target}"], ENV),
                          ([floor, target, str(os.path.getsize(target))], ENV)]
            if dos2unix is not None:
                contenders.append(([dos2unix, "-q", *(dos2unix_options or []), target],
                                   UTF8_LOCALE))
            times = best_times(contenders, pristine, target)
            ours, theirs, safe = times[0], times[1], times[2]
            rewrite = "-"
            if dos2unix is not None:
                rewrite = f"{size / times[3]:9.0f}" + ("" if dos2unix_options else "*")
            missed |= theirs / ours < TARGET
            print(f"{title:26} {size / ours:9.0f} {size / theirs:9.0f} "
                  f"{theirs / ours:6.2f} {size / safe:7.0f} {safe / ours:9.2f} "
                  f"{theirs / safe:8.2f} {rewrite:>9}")
        if dos2unix is not None:
            print("* dos2unix's plain rewrite of the same file (no like conversion)")
        return missed

    return measure_in(work, made, measure)


if __name__ == "__main__":
    sys.exit(main())
