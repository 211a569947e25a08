#!/usr/bin/env python3
"""Fails unless a Windows program imports from the named DLLs only.

usage: check_imports.py OBJDUMP PROGRAM DLL...   (DLL names without .dll)
"""
import subprocess
import sys


def main():
    objdump, program, allowed = sys.argv[1], sys.argv[2], sys.argv[3:]
    text = subprocess.run([objdump, "-p", program], check=True, capture_output=True,
                          text=True).stdout
    dlls = sorted({line.split("DLL Name:")[1].strip().lower()
                   for line in text.splitlines() if "DLL Name:" in line})
    wanted = {name.lower() + ".dll" for name in allowed}
    print(f"{program}: imports {', '.join(dlls) or 'nothing'}")
    extra = [d for d in dlls if d not in wanted]
    if extra or "kernel32.dll" not in dlls:
        print(f"FAIL: allowed only {', '.join(sorted(wanted))}")
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
