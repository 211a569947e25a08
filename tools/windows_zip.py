#!/usr/bin/env python3
"""Packs the Windows programs of the win32 and win64 builds into one zip.

usage: windows_zip.py WIN32_BUILD_DIR WIN64_BUILD_DIR OUTPUT.zip

The zip holds i686/ and x86_64/ with txmorph.exe and timecarry.exe each, and
README.txt (docs/windows-readme.txt with Windows line ends).
"""
import os
import sys
import zipfile

PROGRAMS = ("txmorph.exe", "timecarry.exe")


def main():
    if len(sys.argv) != 4:
        sys.exit(__doc__)
    builds = {"i686": sys.argv[1], "x86_64": sys.argv[2]}
    output = sys.argv[3]
    readme = os.path.join(os.path.dirname(__file__), "..", "docs", "windows-readme.txt")
    with open(readme, encoding="utf-8") as f:
        text = f.read().replace("\n", "\r\n")
    with zipfile.ZipFile(output, "w", zipfile.ZIP_DEFLATED) as z:
        z.writestr("README.txt", text)
        for arch, build in builds.items():
            for program in PROGRAMS:
                path = os.path.join(build, "bin", program)
                if not os.path.isfile(path):
                    sys.exit(f"missing {path}")
                z.write(path, f"{arch}/{program}")
    with zipfile.ZipFile(output) as z:
        for info in z.infolist():
            print(f"{info.file_size:>9}  {info.filename}")
    print(f"wrote {output}")


if __name__ == "__main__":
    main()
