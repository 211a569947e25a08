#!/usr/bin/env python3
"""The user documents show commands as they must be typed in a shell: every
operation string in quotes (unquoted, a POSIX shell takes "?ww" for a file
pattern, and "<" or ">" for redirections) and the help as -h (not "-?",
another pattern).

usage: check_docs.py FILE...   (README.md and the files of docs/)

An operation string is a "?" followed by its letters or operators; it is
quoted when a single or double quote (in manual pages also \\(aq or \\(dq)
opened before it on its line and is not yet closed. Lines that quote the
program's own help text verbatim are marked by a line holding
"docs-check: help text follows" and end at the next blank line.
"""
import re
import sys

OPERATION = re.compile(r"\?[?@A-Za-z#.:+\-<>=!~]")
HELP_OPTION = re.compile(r"(?<![\w-])(\\)?-\?")
MARK = "docs-check: help text follows"


def unquoted_operations(line):
    """Columns of operation strings outside quotes."""
    found = []
    open_quote = None
    i = 0
    while i < len(line):
        if open_quote is not None:
            if line.startswith(open_quote, i):
                i += len(open_quote)
                open_quote = None
                continue
        else:
            for quote in ("\\(aq", "\\(dq", "'", '"'):
                if line.startswith(quote, i):
                    open_quote = quote
                    i += len(quote)
                    break
            else:
                if OPERATION.match(line, i) and (i == 0 or line[i - 1] in " \t`(|"):
                    found.append(i)
                i += 1
                continue
            continue
        i += 1
    return found


def check(path):
    problems = []
    in_help = False
    with open(path, encoding="utf-8") as f:
        for number, line in enumerate(f, 1):
            line = line.rstrip("\n")
            if MARK in line:
                in_help = True
                continue
            if in_help:
                in_help = line.strip() != ""
                continue
            # A backtick pair is inline code in Markdown: look inside it too.
            for column in unquoted_operations(line.replace("`", " ")):
                problems.append(f"{path}:{number}:{column + 1}: unquoted operation string: "
                                f"{line.strip()}")
            if HELP_OPTION.search(line):
                problems.append(f"{path}:{number}: the help is shown as -?: {line.strip()}")
    return problems


def main():
    problems = [problem for path in sys.argv[1:] for problem in check(path)]
    for problem in problems:
        print(problem)
    if problems:
        print(f"{len(problems)} places to mend")
        return 1
    print(f"{len(sys.argv) - 1} documents checked")
    return 0


if __name__ == "__main__":
    sys.exit(main())
