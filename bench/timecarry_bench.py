#!/usr/bin/env python3
"""timecarry against the syscall floor and against touch through xargs.

usage: timecarry_bench.py BUILD_DIR [FILES]

Creates FILES (default 20,000) files in a temporary directory, lists them,
and sets their write and access times to now with each contender, the list on
standard input:
  timecarry "?nwna" < list        (the program, output to /dev/null)
  xargs -d '\\n' touch < list       (touch through xargs)
  bench_timecarry_floor < list     (open, statx, utimensat, close per path)
and, for comparison, timecarry "?wwna", whose string reads each file's times
first (as "?nwna" needs not: it opens and sets each file without a statx).
Each runs five times after a warm-up; the best time counts. Prints files per
second and timecarry's share of the floor (target: 0.85 or more, and at least
the rate of xargs touch in the same run).
"""
import os
import shutil
import subprocess
import sys
import tempfile
import time


def best_of(command, list_path, runs=5):
    times = []
    for _ in range(runs + 1):  # the first run warms the caches
        with open(list_path, "rb") as listing:
            start = time.perf_counter()
            done = subprocess.run(command, stdin=listing, stdout=subprocess.DEVNULL,
                                  stderr=subprocess.DEVNULL)
            times.append(time.perf_counter() - start)
        if done.returncode != 0:
            sys.exit(f"{command[0]} failed with {done.returncode}")
    return min(times[1:])


def main():
    if len(sys.argv) < 2:
        sys.exit(__doc__)
    build = sys.argv[1]
    count = int(sys.argv[2]) if len(sys.argv) > 2 else 20000
    timecarry = os.path.join(build, "bin", "timecarry")
    floor = os.path.join(build, "bin", "bench_timecarry_floor")
    work = tempfile.mkdtemp(prefix="timecarry-bench-")
    try:
        files = os.path.join(work, "files")
        os.mkdir(files)
        paths = [os.path.join(files, f"file{i:05d}.txt") for i in range(count)]
        for path in paths:
            with open(path, "wb"):
                pass
        list_path = os.path.join(work, "list")
        with open(list_path, "w") as listing:
            listing.write("\n".join(paths) + "\n")

        results = {
            "floor (open, statx, utimensat, close)": best_of([floor], list_path),
            "timecarry '?nwna'": best_of([timecarry, "?nwna"], list_path),
            "xargs touch": best_of(["xargs", "-d", "\n", "touch"], list_path),
            "timecarry '?wwna' (reads the times)": best_of([timecarry, "?wwna"], list_path),
        }
        print(f"{count} files, best of 5 runs")
        for name, seconds in results.items():
            print(f"  {name:40} {seconds * 1000:8.1f} ms  {count / seconds:10,.0f} files/s")
        floor_time = results["floor (open, statx, utimensat, close)"]
        ours = results["timecarry '?nwna'"]
        touch = results["xargs touch"]
        share = floor_time / ours
        reading = floor_time / results["timecarry '?wwna' (reads the times)"]
        print(f"timecarry: {share:.2f} of the floor's rate (target 0.85), "
              f"{touch / ours:.2f}x xargs touch (target 1.00); "
              f"reading the times first: {reading:.2f} of the floor's rate")
        return 0 if share >= 0.85 and touch / ours >= 1.0 else 1
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
