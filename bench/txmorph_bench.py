#!/usr/bin/env python3
"""txmorph against iconv and against copying the file, and its peak memory.

usage: txmorph_bench.py BUILD_DIR [MEGABYTES] [WORK_DIR]
       txmorph_bench.py BUILD_DIR --peak MEGABYTES... [--work WORK_DIR]

Generates inputs of MEGABYTES (default 200, in 10^6 bytes) in WORK_DIR
(default: a new directory under the build directory, so on the disk the
outputs go to), and converts each to a file with txmorph and with glibc's
iconv, the same conversion:

  UTF-8 mostly ASCII  -> ANSI (1252)    txmorph -oa        iconv -t CP1252
  CP1252 (Western)    -> UTF-8          txmorph -ia -ou    iconv -f CP1252
  UTF-16LE (Western)  -> UTF-8          txmorph -ou        iconv -f UTF-16LE
  UTF-8 mostly ASCII  -> UTF-16LE       txmorph -ow        iconv -t UTF-16LE
  UTF-8 mixed scripts -> UTF-16LE       txmorph -ow        iconv -t UTF-16LE
  UTF-8 mostly ASCII  -> OEM (437)      txmorph -od        iconv -t CP437

The floor is `cat` copying whichever of the input and txmorph's output is
larger (a conversion that doubles the text writes twice the bytes). Every run
of each writes a fresh file: the old one is removed before the clock starts,
and the disk is flushed (sync) between runs, so that none pays for the last
one's pages or for truncating a large file. txmorph takes turns with iconv,
then with the floor, best of RUNS after a warm-up each: iconv gives back
hundreds of megabytes at its end, and on a virtual machine that hands free
memory back to its host the guest's work on those pages then runs on one of
its processors for a while, which a program on two threads feels and a copy
on one does not. Throughput is input bytes per second, txmorph's the better
of its two turns; "x iconv" is iconv's time over that, "of floor" the
floor's time over txmorph's in their own turns. Peak is the largest resident set of one
txmorph run, as GNU time (/usr/bin/time) reports it.

With --peak, inputs of each size (mostly ASCII UTF-8, and its UTF-16LE
form) go through the conversions that hold the most at once, with two names
and in place, and only the peak resident set of each run is reported.

Targets: at least 4x iconv's throughput and 0.8 of the floor on every
conversion, a peak of at most 64 MB for any size. txmorph runs with LANG=C,
whose ANSI and OEM code pages are 1252 and 437. Exits 1 when a target is
missed.
"""
import os
import random
import shutil
import subprocess
import sys
import tempfile
import time

ENV = dict(os.environ, LANG="C", LC_ALL="", LC_CTYPE="")
RUNS = 5
PEAK_LIMIT = 64  # MB
FLOOR_RATIO = 0.8
ICONV_RATIO = 4

ASCII_WORDS = ("the of and to in is that it was for on are as with his they at be this from "
               "have or by one had not but what all were when we there can an your which their "
               "said if do will each about how up out them then she many some so these would "
               "other into has more her two like him see time could no make than first been "
               "its who now people my made over did down only way find use may water long "
               "little very after words called just where most know").split()
# In both 1252 and 437, so that the ANSI and OEM conversions lose nothing.
LATIN_WORDS = ("café élève déjà naïve façade über größe müssen schön mañana niño "
               "año pàtè côte fête garçon hôtel crème brûlée forêt würde").split()
CYRILLIC_WORDS = "привет мир как дела хорошо спасибо город книга время человек".split()
CJK_WORDS = "日本語 中文 漢字 東京 北京 学校 電話 天気 世界 平和 こんにちは 한국어".split()
EMOJI = ["\U0001F600", "\U0001F680", "\U0001F44D", "\U0001F389"]


def text_of(size, pick, seed):
    """About `size` characters of lines of words chosen by pick(rng)."""
    rng = random.Random(seed)
    parts, length, column = [], 0, 0
    while length < size:
        word = pick(rng)
        parts.append(word)
        length += len(word) + 1
        column += len(word) + 1
        if column > 70:
            parts.append("\n")
            column = 0
        else:
            parts.append(" ")
    return "".join(parts)


def ascii_mostly(rng):
    return rng.choice(LATIN_WORDS) if rng.random() < 0.01 else rng.choice(ASCII_WORDS)


def western(rng):
    return rng.choice(LATIN_WORDS) if rng.random() < 0.12 else rng.choice(ASCII_WORDS)


def mixed_scripts(rng):
    r = rng.random()
    if r < 0.002:
        return rng.choice(EMOJI)
    if r < 0.30:
        return rng.choice(ASCII_WORDS)
    if r < 0.55:
        return rng.choice(LATIN_WORDS)
    if r < 0.80:
        return rng.choice(CYRILLIC_WORDS)
    return rng.choice(CJK_WORDS)


def write_input(path, megabytes, pick, encoding, prefix=b""):
    """A file of `megabytes` million bytes: a 4 MB piece repeated."""
    target = megabytes * 1_000_000
    piece = text_of(4_000_000, pick, 1).encode(encoding)
    if encoding == "utf-16-le":
        piece = piece[: len(piece) // 2 * 2]
    with open(path, "wb") as f:
        f.write(prefix)
        written = len(prefix)
        while written + len(piece) <= target:
            f.write(piece)
            written += len(piece)
        rest = piece[: target - written]
        if encoding == "utf-8":  # end on a whole character
            while rest and (rest[-1] & 0xC0) == 0x80:
                rest = rest[:-1]
            if rest and rest[-1] >= 0xC0:
                rest = rest[:-1]
        if encoding == "utf-16-le":
            rest = rest[: len(rest) // 2 * 2]
            if rest and 0xD8 <= rest[-1] <= 0xDB:
                rest = rest[:-2]
        f.write(rest)
    return os.path.getsize(path)


# GNU time measures the peak of its own child: a child forked from this
# script would carry the script's resident set into its peak.
TIME = shutil.which("time") or "/usr/bin/time"


def timed(command, output):
    """One run of `command` writing the fresh file `output`: its seconds and
    its peak resident set in MB."""
    if os.path.exists(output):
        os.unlink(output)
    os.sync()
    with tempfile.NamedTemporaryFile("r") as report:
        start = time.perf_counter()
        done = subprocess.run([TIME, "-f", "%M", "-o", report.name, *command], env=ENV,
                              stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=False)
        seconds = time.perf_counter() - start
        if done.returncode not in (0, 5):
            sys.exit(f"{command[0]} failed: {done.returncode}")
        kilobytes = int(report.read().split()[-1])
    return seconds, kilobytes / 1000  # kB to MB


def best_times(commands, output):
    """The commands in turn, a warm-up and RUNS timed rounds: each one's best
    time and largest peak."""
    best = [float("inf")] * len(commands)
    peak = [0.0] * len(commands)
    for round_ in range(RUNS + 1):
        for i, command in enumerate(commands):
            seconds, megabytes = timed(command, output)
            if round_ > 0:
                best[i] = min(best[i], seconds)
            peak[i] = max(peak[i], megabytes)
    return best, peak


# The inputs: name, (word picker, encoding, prefix).
INPUTS = {
    "ascii.u8": (ascii_mostly, "utf-8", b""),
    "western.1252": (western, "cp1252", b""),
    "western.u16": (western, "utf-16-le", b"\xff\xfe"),
    "mixed.u8": (mixed_scripts, "utf-8", b""),
}

# The conversions: title, input, txmorph's options, iconv's.
CASES = [
    ("UTF-8 mostly ASCII to ANSI", "ascii.u8", ["-oa"], "-f UTF-8 -t CP1252"),
    ("CP1252 to UTF-8", "western.1252", ["-ia", "-ou"], "-f CP1252 -t UTF-8"),
    ("UTF-16LE to UTF-8", "western.u16", ["-ou"], "-f UTF-16LE -t UTF-8"),
    ("UTF-8 to UTF-16LE", "ascii.u8", ["-ow"], "-f UTF-8 -t UTF-16LE"),
    ("mixed UTF-8 to UTF-16LE", "mixed.u8", ["-ow"], "-f UTF-8 -t UTF-16LE"),
    ("UTF-8 to OEM", "ascii.u8", ["-od"], "-f UTF-8 -t CP437"),
]


def write_inputs(work, megabytes, names=None):
    """The inputs in `work` (all, or those named); their sizes by name."""
    return {name: write_input(os.path.join(work, name), megabytes, pick, encoding, prefix)
            for name, (pick, encoding, prefix) in INPUTS.items()
            if names is None or name in names}


def arguments(prefix):
    """BUILD_DIR [MEGABYTES] [WORK_DIR] from the command line: the txmorph to
    run, the size, the work directory and whether it is made here (and so
    removed at the end)."""
    if len(sys.argv) < 2:
        sys.exit(sys.modules["__main__"].__doc__)
    build = os.path.abspath(sys.argv[1])
    megabytes = int(sys.argv[2]) if len(sys.argv) > 2 else 200
    made = len(sys.argv) <= 3
    work = tempfile.mkdtemp(prefix=prefix, dir=build) if made else sys.argv[3]
    os.makedirs(work, exist_ok=True)
    return os.path.join(build, "bin", "txmorph"), megabytes, work, made


def load_average():
    return os.getloadavg()[0]


def measure_in(work, made, measure):
    """Runs `measure` (true when it missed a target) and prints the load
    average after it; the work folder goes if the bench made it. The exit
    code: 1 when a target was missed."""
    try:
        missed = measure()
        print(f"load average {load_average():.2f} at the end")
        return 1 if missed else 0
    finally:
        if made:
            shutil.rmtree(work, ignore_errors=True)


def throughput(txmorph, megabytes, work):
    sizes = write_inputs(work, megabytes)
    out = os.path.join(work, "out")
    larger = os.path.join(work, "larger")
    print(f"{megabytes} MB inputs, best of {RUNS}, fresh output files; MB/s of input; "
          f"peak in MB; load average {load_average():.2f} at the start")
    print(f"{'conversion':26} {'txmorph':>8} {'iconv':>7} {'x iconv':>8} {'floor':>7} "
          f"{'of floor':>9} {'peak':>6}")
    missed = False
    for title, source, options, iconv_args in CASES:
        path = os.path.join(work, source)
        size = sizes[source]
        ours = [txmorph, "-q", *options, path, out]
        subprocess.run(ours, env=ENV, check=False)
        # The floor copies whichever of the input and the output is larger.
        shutil.copyfile(out if os.path.getsize(out) > size else path, larger)
        iconv = ["iconv", *iconv_args.split(), path, "-o", out]
        floor = ["sh", "-c", f"exec cat {larger} > {out}"]
        (ours_with_iconv, theirs_time), (peak, _) = best_times([ours, iconv], out)
        (ours_with_floor, floor_time), (peak_again, _) = best_times([ours, floor], out)
        ours_time = min(ours_with_iconv, ours_with_floor)
        peak = max(peak, peak_again)
        rate = [size / 1e6 / seconds for seconds in (ours_time, theirs_time, floor_time)]
        of_iconv = theirs_time / ours_time
        of_floor = floor_time / ours_with_floor
        missed |= of_iconv < ICONV_RATIO or of_floor < FLOOR_RATIO or peak > PEAK_LIMIT
        print(f"{title:26} {rate[0]:8.0f} {rate[1]:7.0f} {of_iconv:8.2f} {rate[2]:7.0f} "
              f"{of_floor:9.2f} {peak:6.0f}")
    return missed


def peaks(txmorph, sizes, work):
    print("peak resident set in MB, one run each")
    print(f"{'input':>8} {'conversion':34} {'peak':>6}")
    missed = False
    out = os.path.join(work, "out")
    target = os.path.join(work, "f.txt")
    for megabytes in sizes:
        source = os.path.join(work, "ascii.u8")
        write_input(source, megabytes, ascii_mostly, "utf-8")
        runs = [("UTF-8 to UTF-16LE, two names", [txmorph, "-q", "-ow", source, out], None),
                ("UTF-8 to UTF-16LE, in place", [txmorph, "-q", "-x", "-ow", target], source),
                ("UTF-8 to ANSI, two names", [txmorph, "-q", "-oa", source, out], None)]
        for title, command, pristine in runs:
            if pristine is not None:
                shutil.copyfile(pristine, target)
            _, peak = timed(command, out)
            missed |= peak > PEAK_LIMIT
            print(f"{megabytes:6} MB {title:34} {peak:6.0f}")
        # The file converted in place is the UTF-16LE form.
        wide = os.path.join(work, "wide.u16")
        os.replace(target, wide)
        _, peak = timed([txmorph, "-q", "-ou", wide, out], out)
        missed |= peak > PEAK_LIMIT
        print(f"{megabytes:6} MB {'UTF-16LE to UTF-8, two names':34} {peak:6.0f}")
        for name in (source, wide, target, out):
            if os.path.exists(name):
                os.unlink(name)
    return missed


def main():
    if "--peak" in sys.argv:
        build = os.path.abspath(sys.argv[1])
        args = sys.argv[sys.argv.index("--peak") + 1:]
        work = None
        if "--work" in args:
            work = args[args.index("--work") + 1]
            args = args[:args.index("--work")]
        made = work is None
        work = tempfile.mkdtemp(prefix="txmorph-peak-", dir=build) if made else work
        txmorph = os.path.join(build, "bin", "txmorph")
        return measure_in(work, made, lambda: peaks(txmorph, [int(a) for a in args], work))
    txmorph, megabytes, work, made = arguments("txmorph-bench-")
    return measure_in(work, made, lambda: throughput(txmorph, megabytes, work))


if __name__ == "__main__":
    sys.exit(main())
