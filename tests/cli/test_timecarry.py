"""timecarry on real files: the command line, the path list of standard input,
the output lines and the exit bits.

Under Wine some things cannot be checked: it ignores creation and change time
sets, follows symbolic links even when told not to, and its error texts differ
from Windows' (only the codes are compared there).
"""
import datetime
import os
import re
import subprocess
import unittest

from harness import UNDER_WINE, TempDirTest, launch, program, run

HELP_LINES = b"""Syntax: timecarry [?......] _sourcePath [_destPath1 [_destPath2 ...]]
  Source/Destination timestamps:  Write Creation Access chanGe
  Other sources:  Now  # ignore  . preserve  : maximum
  Uppercase W C A G N applies 2 sec (DOS / FAT32) rounding
  Operators: < min  > max  = ifEqual  ! ifNotEqual  ~ ifApproxEqual
             + - increment/decrement by 1 minute, can be multiple
Examples:
  ?ww        Transfer Write to Write date; default
  ?Wcnw#a.g  Transfer Write to Creation applying 2 sec rounding, Now to Write,
             ignore Access and preserve Change date
  timecarry ?w+w.a.g myfile.txt  Increment last Write timestamp
  timecarry ?nwnang C:/TEMP      Classic 'touch'
  dir /s/b/a *.txt | timecarry "?Wwc<aW<c.g"  Rearrange timestamps on each file
Exit code:
  0    Full success
  |2   No successful operations were done
  |4   2 sec rounding failed on some timestamp(s)
  |16  The report could not be written
  |32  Failed setting timestamp on some file(s)
  |64  Failed requesting timestamp from some file(s)
  |128 Illegal command line
  @YYYY-MM-DD[Thh:mm[:ss[.fffffff]]][Z|+hh:mm]  Date as source (no zone: local)
  ?w+90sw ?W-1hw ?a+2dw  Exact shift by s m h d after a source, mixes with + -
  SOURCE<TAB>DEST lines on stdin: each DEST from its SOURCE (path or @date)
  ?@w       Print @date<TAB>path of each Write time (UTC); feed back with ?ww
"""
BANNER = re.compile(rb"^timecarry [^\n]*  \[[A-Z][a-z]{2} \d\d \d{4}\]\n")

NOT_FOUND = b"(2) The system cannot find the file specified.\n"
PATH_NOT_FOUND = b"(3) The system cannot find the path specified.\n"
TOO_LONG = b"(206) The filename or extension is too long.\n"
NOT_SUPPORTED = b"(50) The request is not supported.\n"
INVALID = b"(87) The parameter is incorrect.\n"

# The longest path a list line may hold.
LONGEST = 259 if UNDER_WINE else 4095

SECOND = 1_000_000_000  # in nanoseconds
T2020 = 1_577_836_800 * SECOND  # 2020-01-01 00:00:00 UTC


def utc_ns(*date, ns=0):
    """Nanoseconds since 1970 of a UTC date and time."""
    moment = datetime.datetime(*date, tzinfo=datetime.timezone.utc)
    return int(moment.timestamp()) * SECOND + ns


def codes_only(text):
    """Under Wine, the system's texts are cut off after the code."""
    if not UNDER_WINE:
        return text
    return re.sub(rb"(\(\d+\))[^\n]*", rb"\1", text)


class Timecarry(TempDirTest):
    def setUp(self):
        super().setUp()
        self.exe = program("TIMECARRY")

    def tc(self, *args, stdin=subprocess.DEVNULL, lang="C.UTF-8", tz="UTC"):
        """Runs in the temporary directory; standard input a character device
        unless a list is given."""
        return run(self.exe, *args, stdin=stdin, cwd=self.dir,
                   env={"LANG": lang, "LC_ALL": "", "LC_CTYPE": "", "TZ": tz})

    def file(self, name, write_ns=T2020, access_ns=None):
        path = self.write(name, name)
        self.set_times(name, write_ns, access_ns if access_ns is not None else write_ns)
        return path

    def set_times(self, name, write_ns, access_ns):
        os.utime(self.path(name), ns=(access_ns, write_ns), follow_symlinks=False)

    def mtime(self, name):
        return os.lstat(self.path(name)).st_mtime_ns

    def atime(self, name):
        return os.lstat(self.path(name)).st_atime_ns

    def assertOutput(self, out, expected):
        self.assertEqual(codes_only(out), codes_only(expected))


class Help(Timecarry):
    def assertHelp(self, out):
        match = BANNER.match(out)
        self.assertIsNotNone(match, out[:80])
        self.assertEqual(out[match.end():], HELP_LINES)

    def test_no_argument_only_a_question_mark_or_help(self):
        for args in [(), ("?",), ("--help",)]:
            code, out, _ = self.tc(*args)
            self.assertEqual(code, 130)
            self.assertHelp(out)

    def test_version_is_the_banner(self):
        code, out, _ = self.tc("--version")
        self.assertEqual(code, 0)
        self.assertEqual(BANNER.match(out).group(0), out)
        self.file("--help")  # beside another argument, a path as ever
        code, out, _ = self.tc("--help", "--help")
        self.assertEqual((code, out), (0, b"--help\n"))

    def test_illegal_operations_are_noticed_after_the_source_was_read(self):
        self.file("a")
        code, out, _ = self.tc("?xx", "a")
        self.assertEqual(code, 130)
        line, help_text = out.split(b"\n", 1)
        self.assertEqual(line, b"Illegal operation string \"xx\": 'x' at 1 is not a time letter")
        self.assertHelp(help_text)
        code, out, _ = self.tc("?xx", "missing")
        self.assertEqual(code, 66)
        self.assertOutput(out, b'ERROR! Cannot open "missing" -- ' + NOT_FOUND)

    def test_what_is_illegal_where(self):
        self.file("a")
        cases = [
            ("2021-03-04", b"'2' at 1 is not a time letter"),
            ("w", b"end at 2 is not a time letter"),
            ("ww c", b"end at 5 is not a time letter"),
            ("w<+w", b"'+' at 3 is not a time letter"),
            ("w+1w", b"'w' at 4 is not a unit (s, m, h or d)"),
            ("w-12", b"end at 5 is not a unit (s, m, h or d)"),
            ("w+1h+5yw", b"'y' at 7 is not a unit (s, m, h or d)"),
            ("@n", b"'n' at 2 is not a time letter of a file (W, C, A or G)"),
            ("@wa", b"'a' at 3 is more than ?@ takes (one time letter)"),
        ]
        for operations, why in cases:
            with self.subTest(operations=operations):
                code, out, _ = self.tc("?" + operations, "a")
                self.assertEqual(code, 130)
                line, help_text = out.split(b"\n", 1)
                self.assertEqual(line, b'Illegal operation string "%s": %s'
                                 % (operations.encode(), why))
                self.assertHelp(help_text)

    def test_illegal_operations_with_a_path_list(self):
        self.file("a")
        code, out, _ = self.tc("?w<+w", stdin=b"missing\na\nnever\n")
        self.assertEqual(code, 2 + 64 + 128)
        first, line, help_text = out.split(b"\n", 2)
        self.assertOutput(first + b"\n", b'ERROR! Cannot open "missing" -- ' + NOT_FOUND)
        self.assertEqual(line, b"Illegal operation string \"w<+w\": '+' at 3 is not a time letter")
        self.assertHelp(help_text)


class CommandLine(Timecarry):
    def test_no_path_and_no_list(self):
        code, out, _ = self.tc("?ww")
        self.assertEqual((code, out), (2, b""))
        code, out, _ = self.tc("?ww", stdin=b"")
        self.assertEqual((code, out), (2, b""))

    def test_single_path_is_source_and_destination(self):
        self.file("a", T2020 + 123_456_700)
        code, out, _ = self.tc("a")
        self.assertEqual((code, out), (0, b"a\n"))
        self.assertEqual(self.mtime("a"), T2020 + 123_456_700)

        code, out, _ = self.tc("?w+w.a", "a")
        self.assertEqual((code, out), (0, b"a\n"))
        self.assertEqual(self.mtime("a"), T2020 + 60 * SECOND)
        self.assertEqual(self.atime("a"), T2020 + 123_456_700)  # preserved

    def test_source_to_destinations_second_missing(self):
        self.file("src", T2020 + 7 * SECOND)
        self.file("dst", 0)
        code, out, _ = self.tc("src", "dst", "missing")
        self.assertEqual(code, 32)
        self.assertOutput(out, b"dst\nmissing -- ERROR! " + NOT_FOUND)
        self.assertEqual(self.mtime("dst"), T2020 + 7 * SECOND)
        self.assertFalse(os.path.exists(self.path("missing")), "never created")

    def test_missing_source_touches_no_destination(self):
        self.file("dst", 0)
        code, out, _ = self.tc("?nw", "nodir/src", "dst")
        self.assertEqual(code, 66)
        self.assertOutput(out, b'ERROR! Cannot open "nodir/src" -- ' + PATH_NOT_FOUND)
        self.assertEqual(self.mtime("dst"), 0)

    def test_later_question_mark_is_a_path(self):
        if not UNDER_WINE:
            self.file("?b")
        self.file("a", T2020 + 2 * SECOND)
        code, out, _ = self.tc("a", "?b")
        if UNDER_WINE:  # a name Windows refuses, but a name
            self.assertEqual(code, 32 + 2)
            self.assertOutput(out, b"?b -- ERROR! (123)\n")
        else:
            self.assertEqual((code, out), (0, b"?b\n"))
            self.assertEqual(self.mtime("?b"), T2020 + 2 * SECOND)

    def test_rounding_failure_is_reported_and_the_pair_goes_on(self):
        self.file("old", 157_766_400 * SECOND + 500_000_000)  # 1975-01-01 00:00:00.5
        code, out, _ = self.tc("?Wa", "old")
        self.assertEqual(code, 4)
        value = 157_766_400 * 10_000_000 + 116_444_736_000_000_000 + 5_000_000
        prefix = b"ERROR! Cannot convert timestamp %d  -- " % value
        self.assertTrue(out.startswith(prefix), out)
        self.assertTrue(out.endswith(b"\nold\n"), out)
        self.assertEqual(self.atime("old"), 157_766_400 * SECOND + 500_000_000)

    def test_directories_are_sources_and_destinations(self):
        os.mkdir(self.path("d1"))
        os.mkdir(self.path("d2"))
        self.set_times("d1", T2020 + 9 * SECOND, T2020)
        code, out, _ = self.tc("d1", "d2")
        self.assertEqual((code, out), (0, b"d2\n"))
        self.assertEqual(self.mtime("d2"), T2020 + 9 * SECOND)

    @unittest.skipIf(UNDER_WINE, "Wine follows symbolic links")
    def test_symbolic_link_is_itself_the_file(self):
        self.file("target", T2020)
        os.symlink("target", self.path("link"))
        self.set_times("link", T2020 + 60 * SECOND, T2020)
        code, out, _ = self.tc("?w+w", "link")
        self.assertEqual((code, out), (0, b"link\n"))
        self.assertEqual(self.mtime("link"), T2020 + 120 * SECOND)
        self.assertEqual(self.mtime("target"), T2020)
        os.symlink("nowhere", self.path("dangling"))
        code, out, _ = self.tc("target", "dangling")
        self.assertEqual((code, out), (0, b"dangling\n"))
        self.assertEqual(self.mtime("dangling"), T2020)

    @unittest.skipIf(UNDER_WINE, "Wine ignores creation and change time sets")
    def test_creation_and_change_times_on_posix(self):
        self.file("a")
        code, out, _ = self.tc("?wc", "a")
        self.assertEqual(code, 32 + 2)
        self.assertEqual(out, b"a -- ERROR! " + NOT_SUPPORTED)
        code, out, _ = self.tc("?nwwg.c", "a")  # change time dropped, creation preserved
        self.assertEqual((code, out), (0, b"a\n"))
        code, out, _ = self.tc("?Gg", "a")  # the change time is read natively
        self.assertEqual((code, out), (0, b"a\n"))


class Preview(Timecarry):
    """??ops: the run as it would be, its lines and its exit code, with the
    times it would write under each destination; nothing written."""

    def times(self):
        return {name: (self.mtime(name), self.atime(name)) for name in os.listdir(self.dir)}

    def preview(self, operations, *args, stdin=subprocess.DEVNULL, tz="UTC"):
        """Runs ??operations and checks that no time changed, to the
        nanosecond; then runs ?operations itself on copies of the times, and
        checks that the preview's lines without its time lines and its exit
        code are the real run's."""
        before = self.times()
        code, out, _ = run(self.exe, "??" + operations, *args, stdin=stdin, cwd=self.dir,
                           env={"LANG": "C.UTF-8", "LC_ALL": "", "LC_CTYPE": "", "TZ": tz})
        self.assertEqual(self.times(), before, "a preview wrote")
        real_code, real_out, _ = self.tc("?" + operations, *args, stdin=stdin)
        self.assertEqual(real_code, code)
        without_times = b"".join(line for line in out.splitlines(keepends=True)
                                 if not re.match(rb"  [CAWG] ", line))
        self.assertEqual(without_times, real_out)
        return code, out

    def test_one_time(self):
        self.file("a", T2020 + 123_456_700, T2020)
        code, out = self.preview("w+w", "a")
        self.assertEqual(code, 0)
        self.assertEqual(out, b"a\n  W 2020-01-01 00:00:00.1234567 -> 2020-01-01 00:01:00.0000000\n")

    def test_two_times_east_of_utc_in_the_order_c_a_w_g(self):
        self.file("src", T2020 + 7_500_000_000, T2020)
        self.file("dst", T2020 - 3600 * SECOND)
        code, out = self.preview("Www+a", "src", "dst", tz="JST-9")
        self.assertEqual(code, 0)
        self.assertEqual(out, b"dst\n"
                         b"  A 2020-01-01 08:00:00.0000000 -> 2020-01-01 09:01:00.0000000\n"
                         b"  W 2020-01-01 08:00:00.0000000 -> 2020-01-01 09:00:06.0000000\n")

    def test_a_list_with_a_missing_file(self):
        self.file("a", T2020)
        self.file("b", T2020 + 60 * SECOND)
        code, out = self.preview("w-w", stdin=b"a\nmissing\nb\n")
        self.assertEqual(code, 64)
        self.assertOutput(out, b"a\n  W 2020-01-01 00:00:00.0000000 -> 2019-12-31 23:59:00.0000000\n"
                          b'ERROR! Cannot open "missing" -- ' + NOT_FOUND +
                          b"b\n  W 2020-01-01 00:01:00.0000000 -> 2020-01-01 00:00:00.0000000\n")

    def test_failures_and_exit_bits_as_in_the_real_run(self):
        self.file("old", 157_766_400 * SECOND)  # 1975: no DOS date
        self.file("dst", T2020)
        code, out = self.preview("Ww.a", "old", "dst", "missing")
        self.assertEqual(code, 4 + 32)
        self.assertTrue(out.startswith(b"ERROR! Cannot convert timestamp "), out)
        self.assertTrue(codes_only(out).endswith(
            b"dst\n  A 2020-01-01 00:00:00.0000000 -> -\n"
            b"  W 2020-01-01 00:00:00.0000000 -> 1975-01-01 00:00:00.0000000\n"
            b"missing -- ERROR! " + codes_only(NOT_FOUND)), out)

    @unittest.skipIf(UNDER_WINE, "Wine ignores creation time sets")
    def test_a_creation_time_on_linux(self):
        self.file("a")
        code, out = self.preview("wc", "a")
        self.assertEqual((code, out), (32 + 2, b"a -- ERROR! " + NOT_SUPPORTED))

    def test_only_a_question_mark_more_is_the_help(self):
        code, out, _ = self.tc("??")
        self.assertEqual(code, 130)
        self.assertTrue(out.endswith(HELP_LINES))


class WrittenDates(Timecarry):
    """@DATE as a source: W, C, A and G all that time."""

    def test_each_form_with_and_without_a_zone_and_summer_time(self):
        cases = [
            ("UTC", "2021-03-04 05:06", utc_ns(2021, 3, 4, 5, 6)),
            ("UTC", "2021-03-04T05:06:07.1234567", utc_ns(2021, 3, 4, 5, 6, 7, ns=123_456_700)),
            ("JST-9", "2021-03-04T05:06:07.5", utc_ns(2021, 3, 3, 20, 6, 7, ns=500_000_000)),
            ("JST-9", "2021-03-04T05:06-02:30", utc_ns(2021, 3, 4, 7, 36)),
            ("Europe/Berlin", "2021-03-28T02:30", utc_ns(2021, 3, 28, 1, 30)),  # skipped: 03:30
            ("Europe/Berlin", "2021-03-28T03:00", utc_ns(2021, 3, 28, 1)),
            ("Europe/Berlin", "2021-10-31T02:30", utc_ns(2021, 10, 31, 0, 30)),  # twice: first
            ("Europe/Berlin", "2021-10-31T03:00", utc_ns(2021, 10, 31, 2)),
        ]
        for tz, date, expected in cases:
            with self.subTest(tz=tz, date=date):
                self.file("f", 0)
                code, out, _ = self.tc("?wwaa", "@" + date, "f", tz=tz)
                self.assertEqual((code, out), (0, b"f\n"))
                self.assertEqual((self.mtime("f"), self.atime("f")), (expected, expected))

    def test_what_is_no_date_is_a_path(self):
        self.file("@2021-02-30", T2020 + 3 * SECOND)  # no such day
        self.file("@2021-03-04", T2020 + 5 * SECOND)  # a date: reached as ./@...
        self.file("f", 0)
        for source, expected in [("@2021-02-30", T2020 + 3 * SECOND),
                                 ("./@2021-03-04", T2020 + 5 * SECOND),
                                 ("@2021-03-04", utc_ns(2021, 3, 4))]:
            code, out, _ = self.tc(source, "f")
            self.assertEqual((code, out, self.mtime("f")), (0, b"f\n", expected), source)
        for source, failure in [("@yesterday", b"open"), ("@1600-12-31", b"retrieve date/time from")]:
            code, out, _ = self.tc(source, "f")
            self.assertEqual(code, 66)
            self.assertOutput(out, b'ERROR! Cannot %s "%s" -- ' % (failure, source.encode())
                              + (NOT_FOUND if failure == b"open" else INVALID))
        # Alone, a word is its own source: a path.
        code, out, _ = self.tc("?w+w", "@2021-03-04")
        self.assertEqual((code, out, self.mtime("@2021-03-04")),
                         (0, b"@2021-03-04\n", T2020 + 60 * SECOND))


class ExactShifts(Timecarry):
    def test_each_unit_mixed_with_minute_steps_and_out_of_range(self):
        start = utc_ns(2021, 3, 28, 9, 0, 17, ns=300_000_000)
        cases = [
            ("?w+1hw", utc_ns(2021, 3, 28, 10, 0, 17, ns=300_000_000)),
            ("?w-90sw", utc_ns(2021, 3, 28, 8, 58, 47, ns=300_000_000)),
            ("?w+2dw", utc_ns(2021, 3, 30, 9, 0, 17, ns=300_000_000)),
            ("?w+-1hw", utc_ns(2021, 3, 28, 8, 1)),
            ("?W-1h+w", utc_ns(2021, 3, 28, 8, 1)),
        ]
        for operations, expected in cases:
            with self.subTest(operations=operations):
                self.file("f", start)
                code, out, _ = self.tc(operations, "f", tz="Europe/Berlin")
                self.assertEqual((code, out, self.mtime("f")), (0, b"f\n", expected))
        for operations in ["?w-200000dw", "?w+99999999999dw"]:
            self.file("f", start)
            code, out, _ = self.tc(operations, "f")
            self.assertEqual(code, 4)
            value = start // 100 + 116_444_736_000_000_000
            self.assertOutput(out, b"ERROR! Cannot shift timestamp %d  -- " % value + INVALID
                              + b"f\n")
            self.assertEqual(self.mtime("f"), start)


class Pairs(Timecarry):
    """SOURCE<TAB>DESTINATION lines: the destination from the source."""

    def test_pairs_with_dates_missing_and_empty_paths(self):
        self.file("a", T2020 + 5 * SECOND)
        self.file("a b", T2020 + 7 * SECOND)
        for name in ["b", "c d", "e", "@2021-03-04"]:
            self.file(name, 0)
        listing = (b"a\tb\n\"a b\"\t\"c d\"\n@2021-03-04T05:06:07.5Z\te\n"
                   b"missing\tb\na\tmissing\n\tb\na\t\n@2021-03-04\n")
        code, out, _ = self.tc("?ww", stdin=listing)
        self.assertEqual(code, 64 + 32)
        self.assertOutput(out, b"b\nc d\ne\n" + b'ERROR! Cannot open "missing" -- ' + NOT_FOUND
                          + b"missing -- ERROR! " + NOT_FOUND
                          + b'ERROR! Cannot open "" -- ' + PATH_NOT_FOUND
                          + b" -- ERROR! " + PATH_NOT_FOUND + b"@2021-03-04\n")
        self.assertEqual([self.mtime(name) for name in ["b", "c d", "e"]],
                         [T2020 + 5 * SECOND, T2020 + 7 * SECOND,
                          utc_ns(2021, 3, 4, 5, 6, 7, ns=500_000_000)])

    @unittest.skipIf(UNDER_WINE, "find -printf writes POSIX paths")
    def test_a_tree_mirrored_with_find(self):
        for name, write_ns in [("A/x", T2020), ("A/sub/y z", T2020 + 9 * SECOND + 100)]:
            for tree in "AB":
                os.makedirs(os.path.dirname(self.path(tree + name[1:])), exist_ok=True)
                self.file(tree + name[1:], write_ns if tree == "A" else 0)
        listing = subprocess.run(["find", "A", "-type", "f", "-printf", "%p\tB/%P\n"],
                                 cwd=self.dir, capture_output=True, check=True).stdout
        code, _, _ = self.tc("?ww", stdin=listing)
        self.assertEqual(code, 0)
        self.assertEqual([self.mtime("B/x"), self.mtime("B/sub/y z")],
                         [T2020, T2020 + 9 * SECOND + 100])


class SavedTimes(Timecarry):
    """?@: each path's time as @DATE<TAB>PATH, which a list gives back."""

    def test_saved_and_given_back_to_the_100_ns(self):
        times = {"a": (T2020 + 123_456_700, T2020 + 100), "b c": (utc_ns(1999, 12, 31, 23, 59, 59,
                                                                          ns=999_999_900), T2020)}
        for name, (write_ns, access_ns) in times.items():
            self.file(name, write_ns, access_ns)
        code, saved_w, _ = self.tc("?@", "a", stdin=b"b c\nmissing\n", tz="Europe/Berlin")
        self.assertEqual(code, 64)
        self.assertOutput(saved_w, b"@1999-12-31T23:59:59.9999999Z\tb c\n"
                          b'ERROR! Cannot open "missing" -- ' + NOT_FOUND
                          + b"@2020-01-01T00:00:00.1234567Z\ta\n")
        code, saved_a, _ = self.tc("?@A", "a", "b c")
        self.assertEqual(code, 0)
        for name in times:
            self.set_times(name, 0, 0)
        kept = b"".join(line + b"\n" for line in saved_w.splitlines() if line.startswith(b"@"))
        for operations, listing in [("?ww", kept), ("?aa", saved_a)]:
            code, out, _ = self.tc(operations, stdin=listing, tz="JST-9")
            self.assertEqual((code, out), (0, b"b c\na\n" if operations == "?ww" else b"a\nb c\n"))
        for name, (write_ns, access_ns) in times.items():
            self.assertEqual((self.mtime(name), self.atime(name)), (write_ns, access_ns), name)


class UnwrittenReport(Timecarry):
    def test_a_full_disk_or_a_closed_pipe_is_bit_16_and_the_run_goes_on(self):
        read_end, write_end = os.pipe()
        os.close(read_end)
        for stdout in [open("/dev/full", "wb"), os.fdopen(write_end, "wb")]:
            with stdout:
                self.file("f", T2020)
                command, check = launch(self.exe, "?nw", "f")
                done = subprocess.run(command, stdout=stdout, stdin=subprocess.DEVNULL,
                                      cwd=self.dir)
                check()
                self.assertEqual(done.returncode, 16)
                self.assertGreater(self.mtime("f"), T2020)
        # ?@ and the help alike
        with open("/dev/full", "wb") as full:
            for args, code in [(("?@", "f"), 16), ((), 128 + 16 + 2), (("--version",), 16)]:
                command, check = launch(self.exe, *args)
                done = subprocess.run(command, stdout=full, stdin=subprocess.DEVNULL, cwd=self.dir)
                check()
                self.assertEqual(done.returncode, code, args)


def on_ext4(path):
    kind = subprocess.run(["stat", "-f", "-c", "%T", path], capture_output=True, text=True)
    return kind.stdout.strip() == "ext2/ext3"


EXT4_FIRST = -(2**31) * SECOND  # 1901-12-13 20:45:52 UTC
T2300 = 10_413_792_000 * SECOND


@unittest.skipIf(UNDER_WINE, "Wine clamps times as the file system does and reports success")
class TimesTheFileSystemCannotHold(Timecarry):
    """ext4 keeps 1901-12-13 to 2446-05-10 and stores the nearest end for a
    time beyond; a time reported set must be the time stored."""

    def setUp(self):
        super().setUp()
        if not on_ext4(self.dir):
            self.skipTest("needs ext4")

    def assertRefusedAndKept(self, operations, name, write_ns, access_ns):
        code, out, _ = self.tc(operations, name)
        self.assertEqual((code, out), (32 + 2, name.encode() + b" -- ERROR! " + INVALID))
        self.assertEqual((self.mtime(name), self.atime(name)), (write_ns, access_ns))

    def test_beyond_the_last_time(self):
        self.file("f", T2020 + 123_456_789, T2020 + 987_654_321)
        self.assertRefusedAndKept("?:w", "f", T2020 + 123_456_789, T2020 + 987_654_321)
        self.assertRefusedAndKept("?nw:a", "f", T2020 + 123_456_789, T2020 + 987_654_321)

    def test_before_the_first_time(self):
        # 25 hours before the first time ext4 keeps, which it would store instead
        self.file("f", EXT4_FIRST + 7 * SECOND + 5, T2020 + 1)
        self.assertRefusedAndKept("?w" + "-" * 1500 + "w", "f", EXT4_FIRST + 7 * SECOND + 5,
                                   T2020 + 1)

    def test_far_times_the_file_system_holds_are_set(self):
        self.file("src", T2300 + 100)
        self.file("dst")
        code, out, _ = self.tc("?wwwa", "src", "dst")
        self.assertEqual((code, out), (0, b"dst\n"))
        self.assertEqual((self.mtime("dst"), self.atime("dst")), (T2300 + 100, T2300 + 100))


# The environments a name must come through unchanged: the C locale, a UTF-8
# one, and none at all (env -i, as cron starts a job).
LOCALES = [
    ("C", {"LANG": "C", "LC_ALL": "", "LC_CTYPE": ""}),
    ("UTF-8", {"LANG": "C.UTF-8", "LC_ALL": "", "LC_CTYPE": ""}),
    ("env -i", None),
]
LATIN1 = b"caf\xe9"  # e acute in Latin-1 and 1252; 0x82 is e acute in 437
UTF8 = "caf\u00e9".encode()


@unittest.skipIf(UNDER_WINE, "names beyond ASCII pass Wine's own way")
class NamesAreBytes(Timecarry):
    """On POSIX a name is its bytes in every locale: a listed name opens
    exactly those bytes and a printed name shows exactly its bytes."""

    def tc_in(self, env, *args, stdin=subprocess.DEVNULL):
        return run(self.exe, *args, stdin=stdin, cwd=self.dir, env=env,
                   empty_env=env is None)

    def make(self, name, write_ns=T2020):
        path = os.path.join(self.dir.encode(), name)
        with open(path, "wb"):
            pass
        os.utime(path, ns=(write_ns, write_ns))
        return path

    def test_a_listed_name_acts_on_that_file_and_no_other(self):
        for locale, env in LOCALES:
            with self.subTest(locale=locale):
                for name in [LATIN1, UTF8, b"\x82.txt", b"\xe9.txt"]:
                    self.make(name)
                code, out, _ = self.tc_in(env, "?nw", stdin=b"\xe9.txt\n" + LATIN1 + b"\n" + UTF8)
                self.assertEqual((code, out), (0, b"\xe9.txt\n" + LATIN1 + b"\n" + UTF8 + b"\n"))
                for name in [b"\xe9.txt", LATIN1, UTF8]:
                    self.assertGreater(os.stat(os.path.join(self.dir.encode(), name)).st_mtime_ns,
                                       T2020, name)
                self.assertEqual(os.stat(os.path.join(self.dir.encode(), b"\x82.txt")).st_mtime_ns,
                                 T2020, "another file than the one listed")

    def test_argument_names_print_as_their_bytes(self):
        for locale, env in LOCALES:
            with self.subTest(locale=locale):
                self.make(LATIN1, T2020 + 4 * SECOND)
                self.make(UTF8)
                code, out, _ = self.tc_in(env, LATIN1, UTF8, LATIN1, b"n\xe9ant")
                self.assertEqual(code, 32)
                self.assertEqual(out, UTF8 + b"\n" + LATIN1 + b"\n" + b"n\xe9ant -- ERROR! "
                                 + NOT_FOUND)
                self.assertEqual(os.stat(os.path.join(self.dir.encode(), UTF8)).st_mtime_ns,
                                 T2020 + 4 * SECOND)
                code, out, _ = self.tc_in(env, b"\xe9" + UTF8)
                self.assertEqual(code, 66)
                self.assertEqual(out, b'ERROR! Cannot open "\xe9' + UTF8 + b'" -- ' + NOT_FOUND)

    def test_one_page_for_ansi_and_oem_names_no_other_file(self):
        # Japanese outside UTF-8 has one page, 932, for both, in which 87 90
        # and 81 E0 are one character: the listed bytes name the file.
        self.make(b"\x87\x90")
        self.make(b"\x81\xe0")
        env = {"LANG": "ja_JP", "LC_ALL": "", "LC_CTYPE": ""}
        code, out, _ = self.tc_in(env, "?nw", stdin=b"\x87\x90\n")
        self.assertEqual((code, out), (0, b"\x87\x90\n"))
        code, out, _ = self.tc_in(env, "?nw", b"\x87\x90")
        self.assertEqual((code, out), (0, b"\x87\x90\n"))
        self.assertGreater(os.stat(os.path.join(self.dir.encode(), b"\x87\x90")).st_mtime_ns,
                           T2020)
        self.assertEqual(os.stat(os.path.join(self.dir.encode(), b"\x81\xe0")).st_mtime_ns, T2020)


class PathList(Timecarry):
    def test_each_listed_file_from_itself_with_crlf_quotes_and_blank_lines(self):
        self.file("a b", T2020)
        self.file("c", T2020 + 3600 * SECOND)
        listing = b'a b\r\n\r\n\n"c"\r\nmissing\r\n""\n'
        code, out, _ = self.tc("?w+w", stdin=listing)
        self.assertEqual(code, 64)
        self.assertOutput(out, b'a b\nc\nERROR! Cannot open "missing" -- ' + NOT_FOUND)
        self.assertEqual(self.mtime("a b"), T2020 + 60 * SECOND)
        self.assertEqual(self.mtime("c"), T2020 + 3660 * SECOND)

    def test_quotes_in_listed_names(self):
        # A quote is a byte of a POSIX name: only a pair around the whole line
        # is dropped. Windows names cannot hold one: it is dropped anywhere.
        for name in ["xy", "my file", "open", "close"] + ([] if UNDER_WINE else
                                                          ['x"y', '"open', 'close"']):
            self.file(name, T2020)
        code, out, _ = self.tc("?w+w", stdin=b'x"y\n"my file"\n"open\nclose"\n')
        self.assertEqual(code, 0)
        changed = ["xy", "my file", "open", "close"] if UNDER_WINE else [
            'x"y', "my file", '"open', 'close"']
        self.assertEqual(out, "".join(name + "\n" for name in changed).encode())
        for name in changed:
            self.assertEqual(self.mtime(name), T2020 + 60 * SECOND, name)
        if not UNDER_WINE:
            for name in ["xy", "open", "close"]:
                self.assertEqual(self.mtime(name), T2020, name)

    def test_nul_and_cr_end_lines_and_spaces_stay(self):
        self.file("x", 0)
        self.file(" x", 0)
        code, out, _ = self.tc("?nw", stdin=b"x\0 x\rx")
        self.assertEqual((code, out), (0, b"x\n x\nx\n"))
        self.assertGreater(self.mtime(" x"), T2020)

    def test_list_before_command_line(self):
        self.file("listed", T2020)
        self.file("src", T2020 + 5 * SECOND)
        self.file("dst", 0)
        code, out, _ = self.tc("?ww", "src", "dst", stdin=b"listed\n")
        self.assertEqual((code, out), (0, b"listed\ndst\n"))
        self.assertEqual(self.mtime("dst"), T2020 + 5 * SECOND)
        self.assertEqual(self.mtime("listed"), T2020)

    def test_list_from_a_disk_file(self):
        self.file("a", T2020)
        self.write("list.txt", b"a\n")
        with open(self.path("list.txt"), "rb") as listing:
            code, out, _ = self.tc("?w-w", stdin=listing)
        self.assertEqual((code, out), (0, b"a\n"))
        self.assertEqual(self.mtime("a"), T2020 - 60 * SECOND)

    def test_overlong_line_is_never_cut(self):
        # A file whose path is exactly as long as a line may be; a line that
        # goes on beyond it must not touch it.
        cut = self.dir
        while LONGEST - len(cut) > 201:
            cut += "/" + "d" * 200
        os.makedirs(cut, exist_ok=True)
        cut += "/" + "f" * (LONGEST - len(cut) - 1)
        self.assertEqual(len(cut), LONGEST)
        with open(cut, "wb"):
            pass
        os.utime(cut, ns=(T2020, T2020))
        code, out, _ = self.tc("?nw", stdin=cut.encode() + b"zz\n" + cut.encode() + b"\n")
        self.assertEqual(code, 64)
        self.assertOutput(out, b'ERROR! Cannot open "' + cut.encode() + b'" -- ' + TOO_LONG
                          + cut.encode() + b"\n")
        self.assertGreater(os.stat(cut).st_mtime_ns, T2020, "the exact line was processed")

    @unittest.skipIf(UNDER_WINE or os.geteuid() == 0, "root may write any file's attributes")
    def test_readable_file_whose_attributes_may_not_be_written_is_a_source_failure(self):
        code, out, _ = self.tc("?ww", stdin=b"/etc/hostname\n")
        self.assertEqual(code, 66)
        self.assertOutput(out, b'ERROR! Cannot open "/etc/hostname" -- (5) Access is denied.\n')


if __name__ == "__main__":
    unittest.main()
