#!/usr/bin/env python3
"""Fails if a Windows program moves 32-byte registers to or from the stack
with an aligned move.

The x86_64 Windows compiler cannot align its stack frames to 32 bytes, yet
would still spill an AVX register with vmovaps/vmovdqa, which faults on a
frame that is only 16-byte aligned. The AVX2 loops are written to keep their
values in registers; this check keeps it so.

usage: check_wide_spills.py OBJDUMP PROGRAM
"""
import re
import subprocess
import sys

ALIGNED = re.compile(r"\bvmov(aps|apd|dqa|dqa32|dqa64|ntdq|ntps|ntpd)\b")
STACK = re.compile(r"\(%[re](sp|bp)\)")


def main():
    objdump, program = sys.argv[1], sys.argv[2]
    text = subprocess.run([objdump, "-d", "--no-show-raw-insn", program], check=True,
                          capture_output=True, text=True).stdout
    wide = [line for line in text.splitlines() if "%ymm" in line]
    bad = [line.strip() for line in wide if ALIGNED.search(line) and STACK.search(line)]
    print(f"{program}: {len(wide)} instructions on 32-byte registers, "
          f"{len(bad)} aligned moves against the stack")
    for line in bad[:20]:
        print("  " + line)
    return 1 if bad else 0


if __name__ == "__main__":
    sys.exit(main())
