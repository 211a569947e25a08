#!/usr/bin/env python3
"""txmorph against iconv on whole files: throughput and peak memory.

usage: txmorph_bench.py BUILD_DIR [MEGABYTES] [WORK_DIR]

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

Times are the best of 5 runs after a warm-up (hyperfine when it is there),
throughput is input bytes per second; peak memory is the largest resident
set of one run (ru_maxrss). Targets: twice iconv's throughput on every
conversion, and a peak of at most 3x the input plus 16 MB. txmorph runs with
LANG=C, whose ANSI and OEM code pages are 1252 and 437. Exits 1 when a
target is missed.
"""
import json
import os
import random
import shutil
import subprocess
import sys
import tempfile
import time

ENV = dict(os.environ, LANG="C", LC_ALL="", LC_CTYPE="")
RUNS = 5

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


def best_time(command):
    if shutil.which("hyperfine"):
        with tempfile.NamedTemporaryFile(suffix=".json") as report:
            subprocess.run(["hyperfine", "-N", "--warmup", "1", "--runs", str(RUNS),
                            "--export-json", report.name, command],
                           env=ENV, check=True, stdout=subprocess.DEVNULL,
                           stderr=subprocess.DEVNULL)
            return min(json.load(open(report.name))["results"][0]["times"])
    import shlex
    times = []
    for _ in range(RUNS + 1):
        start = time.perf_counter()
        subprocess.run(shlex.split(command), env=ENV, check=True)
        times.append(time.perf_counter() - start)
    return min(times[1:])


def peak_megabytes(args):
    process = subprocess.Popen(args, env=ENV, stdout=subprocess.DEVNULL,
                               stderr=subprocess.DEVNULL)
    _, status, usage = os.wait4(process.pid, 0)
    if os.waitstatus_to_exitcode(status) != 0:
        sys.exit(f"{args[0]} failed: {os.waitstatus_to_exitcode(status)}")
    return usage.ru_maxrss / 1000  # kB to MB


# The inputs: name, (word picker, encoding, prefix).
INPUTS = {
    "ascii.u8": (ascii_mostly, "utf-8", b""),
    "western.1252": (western, "cp1252", b""),
    "western.u16": (western, "utf-16-le", b"\xff\xfe"),
    "mixed.u8": (mixed_scripts, "utf-8", b""),
}

# The conversions: title, input, txmorph's options, iconv's, and iconv's
# MB/s as measured by hand when the targets were set.
CASES = [
    ("UTF-8 mostly ASCII to ANSI", "ascii.u8", ["-oa"], "-f UTF-8 -t CP1252", 391),
    ("CP1252 to UTF-8", "western.1252", ["-ia", "-ou"], "-f CP1252 -t UTF-8", 574),
    ("UTF-16LE to UTF-8", "western.u16", ["-ou"], "-f UTF-16LE -t UTF-8", 889),
    ("UTF-8 to UTF-16LE", "ascii.u8", ["-ow"], "-f UTF-8 -t UTF-16LE", 352),
    ("mixed UTF-8 to UTF-16LE", "mixed.u8", ["-ow"], "-f UTF-8 -t UTF-16LE", 302),
    ("UTF-8 to OEM", "ascii.u8", ["-od"], "-f UTF-8 -t CP437", 299),
]


def write_inputs(work, megabytes):
    """Every input in `work`; their sizes by name."""
    return {name: write_input(os.path.join(work, name), megabytes, pick, encoding, prefix)
            for name, (pick, encoding, prefix) in INPUTS.items()}


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


def main():
    txmorph, megabytes, work, made = arguments("txmorph-bench-")
    try:
        sizes = write_inputs(work, megabytes)
        out = os.path.join(work, "out")
        print(f"{megabytes} MB inputs, best of {RUNS}; MB/s of input; peak in MB")
        print(f"{'conversion':26} {'txmorph':>9} {'iconv':>9} {'ratio':>6} "
              f"{'peak':>7} {'limit':>7}  (iconv measured by hand)")
        missed = False
        for title, source, options, iconv_args, reference in CASES:
            path = os.path.join(work, source)
            size = sizes[source]
            ours = [txmorph, "-q", *options, path, out]
            ours_time = best_time(" ".join(ours))
            theirs_time = best_time(f"iconv {iconv_args} {path} -o {out}")
            peak = peak_megabytes(ours)
            limit = 3 * size / 1e6 + 16
            ours_rate = size / 1e6 / ours_time
            theirs_rate = size / 1e6 / theirs_time
            ratio = ours_rate / theirs_rate
            missed |= ratio < 2 or peak > limit
            print(f"{title:26} {ours_rate:9.0f} {theirs_rate:9.0f} {ratio:6.2f} "
                  f"{peak:7.0f} {limit:7.0f}  ({reference})")
        return 1 if missed else 0
    finally:
        if made:
            shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
