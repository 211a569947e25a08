"""Both programs against what goes wrong around them: memory that runs out,
writes that fail, files that vanish or change while a run waits, and names
and files of every awkward kind. Each case states what must hold: no crash,
no data lost, and no failure reported as success.

Under Wine there is no heap switch, no file-size limit that its server
keeps, no terminal, no FIFO, no symbolic link taken as itself, and paths end
at 259 characters; those cases run natively only.
"""
import fcntl
import os
import re
import resource
import select
import signal
import subprocess
import termios
import threading
import time
import unittest

from harness import (FAULT_INJECTION, RUNNER_KIND, SANITIZED, UNDER_VALGRIND, UNDER_WINE,
                     TempDirTest, fatal, launch, program, run)
from test_timecarry import codes_only
from test_txmorph import Terminal

SECOND = 1_000_000_000  # in nanoseconds
T2020 = 1_577_836_800 * SECOND  # 2020-01-01 00:00:00 UTC
ENV = {"LANG": "C", "LC_ALL": "", "LC_CTYPE": "", "TZ": "UTC"}
OUT_OF_MEMORY = re.compile(rb"\nOut of memory \((\d+)\)\n\Z")
NATIVE_ONLY = unittest.skipIf(UNDER_WINE, "natively only")


class Files(TempDirTest):
    def setUp(self):
        super().setUp()
        self.txmorph = program("TXMORPH")
        self.timecarry = program("TIMECARRY")

    def tm(self, *args, stdin=b"", env=None, live_at_exit=False):
        return run(self.txmorph, *args, stdin=stdin, cwd=self.dir, env=dict(ENV, **(env or {})),
                   live_at_exit=live_at_exit)

    def tc(self, *args, stdin=subprocess.DEVNULL, env=None, live_at_exit=False):
        return run(self.timecarry, *args, stdin=stdin, cwd=self.dir,
                   env=dict(ENV, **(env or {})), live_at_exit=live_at_exit)

    def dated(self, name, data, ns=T2020 + 7 * SECOND + 123_456_700):
        self.write(name, data)
        os.utime(self.path(name), ns=(ns, ns))
        return self.path(name)

    def state(self, name):
        """What a failed run must leave as it was: bytes, date, identity."""
        st = os.lstat(self.path(name))
        return self.read(name), st.st_mtime_ns, st.st_ino

    def mtime(self, name):
        return os.lstat(self.path(name)).st_mtime_ns


@unittest.skipUnless(FAULT_INJECTION and not UNDER_WINE, "no heap switch in this build")
class OutOfMemory(Files):
    """The heap made to run dry (PLAT_FAIL_ALLOC_ABOVE, PLAT_FAIL_ALLOC_AFTER)."""

    def test_txmorph_names_the_block_it_could_not_have(self):
        # The load's block: the file's bytes, a terminating byte and the
        # block's 8-byte header.
        self.write("in", b"a" * 100000)
        self.dated("out", b"keep")
        before = self.state("out")
        for level in ("-q-", "-q"):
            code, out, err = self.tm(level, "in", "out", env={"PLAT_FAIL_ALLOC_ABOVE": "50000"},
                                     live_at_exit=True)
            self.assertEqual((code, out, err), (1, b"", b"\nOut of memory (100009)\n"), level)
            self.assertEqual(self.state("out"), before)

    def test_txmorph_in_place_keeps_the_file(self):
        # Loaded, then the wide form cannot be had.
        self.dated("a.txt", "\u00e9t\u00e9 " * 25000)
        before = self.state("a.txt")
        code, _, err = self.tm("-q", "-ow", "a.txt", env={"PLAT_FAIL_ALLOC_ABOVE": "150000"},
                               live_at_exit=True)
        self.assertEqual(code, 1)
        size = OUT_OF_MEMORY.match(err)
        self.assertIsNotNone(size, err)
        self.assertGreater(int(size.group(1)), 150000)
        self.assertEqual(self.state("a.txt"), before)

    def test_txmorph_every_request_failing_in_turn(self):
        # The n-th request fails for n = 0, 1, ... until a run needs no more:
        # every one before it ends in the hook with the file as it was.
        self.dated("a.txt", "x\u00e9\u4e00 " * 20)
        before = self.state("a.txt")
        for failing in range(200):
            env = {"PLAT_FAIL_ALLOC_AFTER": str(failing)}
            code, _, err = self.tm("-x", "-od", "a.txt", env=env, live_at_exit=True)
            if code != 1:
                break
            self.assertRegex(err, OUT_OF_MEMORY, failing)
            self.assertEqual(self.state("a.txt"), before, failing)
        self.assertGreater(failing, 3)
        self.assertEqual(code, 5, err)
        self.assertEqual(self.read("a.txt"), b"x\x82\x0f " * 20)

    def test_txmorph_standard_input_every_request_failing_in_turn(self):
        sent = "caf\u00e9 ".encode() * 20000  # more than one piece of 64 KiB
        for failing in range(200):
            env = {"PLAT_FAIL_ALLOC_AFTER": str(failing)}
            code, out, err = self.tm("-ou", "-r", stdin=sent, env=env, live_at_exit=True)
            if code != 1:
                break
            self.assertEqual(out, b"", failing)
            self.assertRegex(err, OUT_OF_MEMORY, failing)
        self.assertGreater(failing, 3)
        self.assertEqual((code, out), (0, sent))

    @unittest.skipIf(UNDER_VALGRIND or SANITIZED or RUNNER_KIND == "emulator",
                     "gigabytes: the native build only, not instrumented or emulated")
    def test_txmorph_out_of_memory_prints_unsigned(self):
        # Standard input that must be read twice (-s) is kept whole in memory:
        # the block it cannot have is past 2^31 bytes.
        with open(self.path("big.txt"), "wb") as f:
            f.truncate(2_100_000_000)
        with open(self.path("big.txt"), "rb") as f:
            code, out, err = self.tm("-q1", "-s", "<", "out.txt", stdin=f,
                                     env={"PLAT_FAIL_ALLOC_ABOVE": "2000000000"}, live_at_exit=True)
        self.assertEqual((code, out), (1, b""))
        self.assertRegex(err, rb"\A\nOut of memory \(20000\d{5}\)\n\Z")
        self.assertFalse(os.path.exists(self.path("out.txt")))

    def test_timecarry_ends_before_doing_anything(self):
        # Only the argument vector comes from the heap: the splitter's buffer
        # (at least 275 bytes and the terminator), the strings, the vector.
        self.dated("a", "a", T2020)
        for failing in range(3):
            code, out, _ = self.tc("?nw", "a", env={"PLAT_FAIL_ALLOC_AFTER": str(failing)},
                                   live_at_exit=True)
            self.assertEqual(code, 3, failing)
            self.assertRegex(out, rb"\AERROR! Out of memory \(\d+ bytes\)\n\Z")
            if failing == 0:
                self.assertEqual(out, b"ERROR! Out of memory (276 bytes)\n")
            self.assertEqual(self.mtime("a"), T2020)
        # The vector that cannot be shrunk is kept as it is.
        code, out, _ = self.tc("?nw", "a", env={"PLAT_FAIL_ALLOC_AFTER": "3"})
        self.assertEqual((code, out), (0, b"a\n"))
        self.assertGreater(self.mtime("a"), T2020)


class FailingWrites(Files):
    def test_standard_output_on_a_full_device(self):
        self.write("in", "abc")
        for args, stdin in ((("-q1", "in", ">"), b""), (("-q-",), b"abc")):
            with open("/dev/full", "wb") as full:
                command, check = launch(self.txmorph, *args)
                done = subprocess.run(command, input=stdin, stdout=full, stderr=subprocess.PIPE,
                                      cwd=self.dir, env=dict(os.environ, **ENV), timeout=120)
                check()
            self.assertEqual(done.returncode, 245, args)
            self.assertRegex(done.stderr, fatal(b'  FATAL! (112) write error, only -1 of 3 bytes'
                                                b' to ">"', b"There is not enough space on the"
                                                b" disk.") + rb"\Z")

    def test_a_reader_that_goes_away(self):
        # More than a pipe holds, so the program is still writing when the
        # reader closes its end.
        self.write("in", b"x" * 1_000_000)
        command, check = launch(self.txmorph, "-q1", "in", ">")
        with subprocess.Popen(command, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                              cwd=self.dir, env=dict(os.environ, **ENV)) as process:
            process.stdout.read(10)
            process.stdout.close()
            err = process.stderr.read()
            process.wait(timeout=120)
        check()
        self.assertEqual(process.returncode, 245)
        self.assertRegex(err, rb'\A  FATAL! \(\d+\) write error, only \d+ of 1000000 bytes to ">"'
                              rb' -- [^\n]+\n\Z')

    def test_messages_that_cannot_be_shown_change_nothing(self):
        self.write("in", "caf\u00e9")
        with open("/dev/full", "wb") as full:
            command, check = launch(self.txmorph, "-q-", "in", "out")
            done = subprocess.run(command, stderr=full, cwd=self.dir,
                                  env=dict(os.environ, **ENV), timeout=120)
            check()
        self.assertEqual(done.returncode, 0)
        self.assertEqual(self.read("out"), b"caf\xe9")


class FailingReads(Files):
    def test_standard_input_that_cannot_be_read_is_not_taken_as_empty(self):
        self.dated("out", b"keep")
        before = self.state("out")
        directory = os.open(self.dir, os.O_RDONLY)
        self.addCleanup(os.close, directory)
        code, out, err = self.tm("-q1", "<", "out", stdin=directory)
        self.assertEqual((code, out), (242, b""))
        # 1 on Windows, 5 here
        self.assertRegex(err, rb'\AFATAL! \(\d+\) cannot load "<" -- [^\n]+\n\Z')
        self.assertEqual(self.state("out"), before)
        with open(self.path("write-only"), "wb") as write_only:
            code, out, _ = self.tm("-ou", stdin=write_only)
        self.assertEqual((code, out), (242, b""))


@NATIVE_ONLY
class NonBlockingStreams(Files):
    """Standard handles left non-blocking by another program: a read or
    write that would wait is waited for, not taken as the end or a failure."""

    def slowly(self, exe, *args, first, then):
        """Runs with a non-blocking pipe as standard input, which gets
        `first`, and `then` a moment later."""
        read_end, write_end = os.pipe()
        os.set_blocking(read_end, False)
        command, check = launch(exe, *args)
        with subprocess.Popen(command, stdin=read_end, stdout=subprocess.PIPE,
                              stderr=subprocess.PIPE, cwd=self.dir,
                              env=dict(os.environ, **ENV)) as process:
            os.close(read_end)
            os.write(write_end, first)
            time.sleep(0.3)
            os.write(write_end, then)
            os.close(write_end)
            out, err = process.communicate(timeout=120)
        check()
        return process.returncode, out, err

    def test_input_that_comes_slowly(self):
        done = self.slowly(self.txmorph, "-q1", "-ou", "-r", first=b"abc", then=b"def")
        self.assertEqual(done, (0, b"abcdef", b""))

    def test_a_path_list_that_comes_slowly(self):
        self.dated("a", "a", T2020)
        self.dated("b", "b", T2020)
        code, out, _ = self.slowly(self.timecarry, "?nw", first=b"a\n", then=b"b\n")
        self.assertEqual((code, out), (0, b"a\nb\n"))
        self.assertGreater(self.mtime("b"), T2020)

    def test_output_read_slowly(self):
        self.write("in", b"x" * 1_000_000)  # more than a pipe holds
        read_end, write_end = os.pipe()
        os.set_blocking(write_end, False)
        command, check = launch(self.txmorph, "-q1", "in", ">")
        with subprocess.Popen(command, stdout=write_end, stderr=subprocess.PIPE, cwd=self.dir,
                              env=dict(os.environ, **ENV)) as process:
            os.close(write_end)
            time.sleep(0.3)
            with open(read_end, "rb") as reader:
                out = reader.read()
            err = process.stderr.read()
            process.wait(timeout=120)
        check()
        self.assertEqual((process.returncode, len(out), err), (0, 1_000_000, b""))


@unittest.skipIf(UNDER_WINE or UNDER_VALGRIND, "the runner takes the free descriptors itself")
class MissingStandardHandles(Files):
    """Started with standard input or output closed, on a terminal: the
    console input that txmorph opens at start-up must not take their place."""

    def without(self, closed, *args, **streams):
        master, slave = os.openpty()
        self.addCleanup(os.close, master)
        self.addCleanup(os.close, slave)

        def take_terminal_and_close():
            fcntl.ioctl(slave, termios.TIOCSCTTY, 0)
            os.close(closed)
        command, check = launch(self.txmorph, *args)
        done = subprocess.run(command, stderr=subprocess.PIPE, cwd=self.dir,
                              env=dict(os.environ, **ENV), start_new_session=True,
                              preexec_fn=take_terminal_and_close, pass_fds=(slave,),
                              timeout=60, **streams)
        check()
        ready, _, _ = select.select([master], [], [], 0.2)
        self.assertEqual(ready, [], "nothing reaches the terminal")
        return done.returncode, done.stderr

    def test_no_standard_output(self):
        self.write("in", "abc")
        code, err = self.without(1, "-q1", "in", ">", stdin=subprocess.DEVNULL)
        self.assertEqual(code, 245)
        self.assertRegex(err, rb"\A" + fatal(b'  FATAL! (6) write error, only -1 of 3 bytes to ">"',
                                             b"The handle is invalid.") + rb"\Z")

    def test_no_standard_input(self):
        code, err = self.without(0, "-q1", "-ou", stdout=subprocess.DEVNULL)
        self.assertEqual(code, 242)
        self.assertRegex(err, rb"\A" + fatal(b'FATAL! (6) cannot load "<"',
                                             b"The handle is invalid.") + rb"\Z")


@unittest.skipIf(UNDER_WINE, "Wine's server, which grows files, has no such limit")
class FileSizeLimit(Files):
    """An in-place conversion of a large file with a limit on the size of
    files the process may write (SIGXFSZ ignored, as a shell may leave it):
    when the new text does not fit under the limit, nothing is written."""

    TEXT = "\u00e9t\u00e9 \u20ac " * 300_000  # 2.1 MB in UTF-8, 2.4 MB in UTF-16

    def convert_under_limit(self, name, option, limit):
        def limited():
            resource.setrlimit(resource.RLIMIT_FSIZE, (limit, resource.RLIM_INFINITY))
            signal.signal(signal.SIGXFSZ, signal.SIG_IGN)
        command, check = launch(self.txmorph, "-q1", "-x", option, name)
        done = subprocess.run(command, capture_output=True, cwd=self.dir, preexec_fn=limited,
                              env=dict(os.environ, **ENV), timeout=300)
        check()
        return done.returncode, done.stderr

    def test_nothing_is_written_when_the_text_does_not_fit(self):
        utf8 = ("\ufeff" + self.TEXT).encode()
        wide = ("\ufeff" + self.TEXT).encode("utf-16-le")
        self.dated("a.txt", utf8)
        before = self.state("a.txt")
        code, err = self.convert_under_limit("a.txt", "-ow", len(utf8) + 1000)
        self.assertEqual(code, 245)
        self.assertEqual(err, b'  FATAL! (223) write error, only -1 of %d bytes to "a.txt" -- The'
                         b' file size exceeds the limit allowed and cannot be saved.\n'
                         b'  "a.txt" is as it was\n' % len(wide))
        self.assertEqual(self.state("a.txt"), before)
        self.assertEqual(os.listdir(self.dir), ["a.txt"])

    def test_nothing_is_written_when_the_old_text_cannot_be_copied(self):
        utf8 = ("\ufeff" + self.TEXT).encode()
        wide = ("\ufeff" + self.TEXT).encode("utf-16-le")
        for what, limit in (("shrinks", len(utf8) - 1000), ("new text fits", len(utf8))):
            self.dated("a.txt", wide)
            before = self.state("a.txt")
            code, err = self.convert_under_limit("a.txt", "-ou", limit)
            self.assertEqual(code, 245, what)
            self.assertEqual(err, b'FATAL! (223) cannot make the safety copy ".a.txt.txmorph~";'
                             b' nothing written -- The file size exceeds the limit allowed and'
                             b' cannot be saved.\n', what)
            self.assertEqual(self.state("a.txt"), before, what)
            self.assertEqual(os.listdir(self.dir), ["a.txt"], what)

    def test_a_text_that_fits_is_written(self):
        wide = ("\ufeff" + self.TEXT).encode("utf-16-le")
        utf8 = ("\ufeff" + self.TEXT).encode()
        self.dated("a.txt", wide)
        code, err = self.convert_under_limit("a.txt", "-ou", len(wide))
        self.assertEqual((code, err), (0, b""))
        self.assertEqual(self.read("a.txt"), utf8)


class VanishingListedFiles(Files):
    """timecarry acts on each line of its list as it arrives: what happens to
    a file between the listing and its line counts."""

    def feed_list(self, lines, before_line):
        """Sends the lines one at a time, each after the output of the one
        before it; before_line(i) runs before line i is sent."""
        command, check = launch(self.timecarry, "?nw")
        out = b""
        with subprocess.Popen(command, stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                              cwd=self.dir, env=dict(os.environ, **ENV)) as process:
            try:
                for i, line in enumerate(lines):
                    before_line(i)
                    process.stdin.write(line + b"\n")
                    process.stdin.flush()
                    out += process.stdout.readline()
                process.stdin.close()
                out += process.stdout.read()
                process.wait(timeout=60)
            finally:
                if process.poll() is None:
                    process.kill()
        check()
        return process.returncode, out

    def test_a_listed_file_removed_before_its_line(self):
        for name in ("a", "b", "c"):
            self.dated(name, name, T2020)

        def remove_b(i):
            if i == 1:
                os.unlink(self.path("b"))
        code, out = self.feed_list([b"a", b"b", b"c"], remove_b)
        self.assertEqual(code, 64)
        self.assertEqual(codes_only(out), codes_only(
            b'a\nERROR! Cannot open "b" -- (2) The system cannot find the file specified.\nc\n'))
        self.assertGreater(self.mtime("a"), T2020)
        self.assertGreater(self.mtime("c"), T2020)
        self.assertFalse(os.path.exists(self.path("b")), "never created")

    def test_a_listed_files_directory_replaced_before_its_line(self):
        os.mkdir(self.path("d"))
        self.dated("a", "a", T2020)
        self.dated(os.path.join("d", "b"), "b", T2020)

        def replace_d(i):
            if i == 1:
                os.unlink(self.path(os.path.join("d", "b")))
                os.rmdir(self.path("d"))
                self.write("d", "now a file")
        code, out = self.feed_list([b"a", b"d/b"], replace_d)
        self.assertEqual(code, 64)
        self.assertEqual(codes_only(out), codes_only(
            b'a\nERROR! Cannot open "d/b" -- (3) The system cannot find the path specified.\n'))
        self.assertEqual(self.read("d"), b"now a file")

    @unittest.skipIf(UNDER_WINE or os.geteuid() == 0, "root enters every directory")
    def test_a_listed_files_directory_closed_before_its_line(self):
        os.mkdir(self.path("d"))
        self.dated("a", "a", T2020)
        self.dated(os.path.join("d", "b"), "b", T2020)
        self.addCleanup(os.chmod, self.path("d"), 0o755)

        def close_d(i):
            if i == 1:
                os.chmod(self.path("d"), 0)
        code, out = self.feed_list([b"a", b"d/b"], close_d)
        self.assertEqual(code, 64)
        self.assertEqual(out, b'a\nERROR! Cannot open "d/b" -- (5) Access is denied.\n')


class ChangedWhileAsking(Terminal):
    """What happens to txmorph's files while its prompt waits for a key."""

    def setUp(self):
        super().setUp()
        self.write("a.txt", "x\u4e00")
        os.utime(self.path("a.txt"), ns=(T2020, T2020))

    def test_input_removed_then_yes(self):
        code, err = self.answer([b"y"], "-q1", "-x-", "a.txt", "b.txt",
                                at_prompt=lambda: os.unlink(self.path("a.txt")))
        self.assertEqual(code, 5)
        self.assertEqual(err, b"Yes\n  Warning! cannot retrieve date/time from infile\n")
        self.assertEqual(self.read("b.txt"), b"x\x0f")

    def test_file_converted_in_place_removed_then_yes(self):
        code, err = self.answer([b"y"], "-q1", "a.txt",
                                at_prompt=lambda: os.unlink(self.path("a.txt")))
        self.assertEqual((code, err), (244, b'Yes\nFATAL! "a.txt" changed since it was loaded;'
                                            b' nothing written\n'))
        self.assertEqual(os.listdir(self.dir), [])

    def test_file_converted_in_place_made_read_only_then_yes(self):
        code, err = self.answer([b"y"], "-q1", "a.txt",
                                at_prompt=lambda: os.chmod(self.path("a.txt"), 0o444))
        self.assertEqual((code, err), (244, b'Yes\nFATAL! (5) cannot create "a.txt" -- Access is'
                                            b' denied.\n'))
        self.assertEqual(self.read("a.txt"), "x\u4e00".encode())
        self.assertEqual(os.stat(self.path("a.txt")).st_mtime_ns, T2020)

    def test_output_directory_removed_then_yes(self):
        os.mkdir(self.path("sub"))
        code, err = self.answer([b"y"], "-q1", "-x-", "a.txt", "sub/b.txt",
                                at_prompt=lambda: os.rmdir(self.path("sub")))
        self.assertEqual((code, err), (244, b'Yes\nFATAL! (3) cannot create "sub/b.txt" -- The'
                                            b' system cannot find the path specified.\n'))
        self.assertFalse(os.path.exists(self.path("sub")))


class HostileNames(Files):
    # Wine passes neither quotes, backslashes nor bytes beyond ASCII through
    # its command line unchanged, and Windows names do not end in a space.
    PORTABLE = ["a b.txt", " lead", "-dash", "100%s%d%n", "x,y;z=1", "'single'"]
    NATIVE = [b"trail ", b'say "hi"', b'"', b"back\\slash\\", b"tab\there",
              b"caf\xe9 \xff\xfe", "\u20ac\u4e00".encode(), b"*?<>|"]

    def names(self):
        names = [name.encode() for name in self.PORTABLE]
        return names if UNDER_WINE else names + self.NATIVE

    def write_bytes_name(self, name, data):
        path = os.path.join(self.dir.encode(), name)
        with open(path, "wb") as f:
            f.write(data)
        return path

    def test_txmorph_converts_them_in_place(self):
        for name in self.names():
            path = self.write_bytes_name(name, b"abc")
            code, _, err = self.tm("-q1", "-ou", "--", name)
            self.assertEqual((code, err), (0, b""), name)
            with open(path, "rb") as f:
                self.assertEqual(f.read(), b"\xef\xbb\xbfabc", name)
            os.unlink(path)

    def test_txmorph_shows_them_in_its_messages(self):
        for name in (b"a b.txt", b"100%s%d%n", b"-dash"):
            self.write_bytes_name(name, b"abc")
            code, _, err = self.tm("-q-", "--", name, "out")
            self.assertEqual(code, 0, name)
            self.assertTrue(err.startswith(b'Loaded (3) "' + name + b'"\n'), err)
            code, _, err = self.tm("--", name + b".missing")
            self.assertEqual(code, 242)
            self.assertRegex(err, rb"\A" + fatal(b'FATAL! (2) cannot load "' + name + b'.missing"',
                                                 b"The system cannot find the file specified."))

    def test_timecarry_takes_them_as_sources_destinations_and_lines(self):
        for name in self.names():
            path = self.write_bytes_name(name, name)
            os.utime(path, ns=(T2020, T2020))
            code, out, _ = self.tc("?w+w", name)
            self.assertEqual(code, 0, name)
            self.assertEqual(os.stat(path).st_mtime_ns, T2020 + 60 * SECOND, name)
            # A listed name is its bytes, quotes and bytes beyond ASCII
            # included (only a pair around the whole line is dropped). A TAB
            # makes a line a pair: such a name is the destination of a date
            # a minute on (its own time now), after the line's first TAB.
            line = name if b"\t" not in name else b"@2020-01-01T00:01:00Z\t" + name
            code, out, _ = self.tc("?w+w", stdin=line + b"\n")
            self.assertEqual((code, out), (0, name + b"\n"), name)
            self.assertEqual(os.stat(path).st_mtime_ns, T2020 + 120 * SECOND, name)
            os.unlink(path)

    def deep_path(self, length):
        """A relative path of `length` bytes to a file at the bottom of a
        chain of directories, which with the temporary directory in front
        is longer than any absolute path the system takes."""
        parts = []
        while length - 201 * len(parts) > 201:
            parts.append("d" * 200)
        parts.append("f" * (length - 201 * len(parts)))
        directory = os.open(self.dir, os.O_RDONLY)
        for part in parts[:-1]:
            try:
                os.mkdir(part, dir_fd=directory)
            except FileExistsError:
                pass
            inner = os.open(part, os.O_RDONLY, dir_fd=directory)
            os.close(directory)
            directory = inner
        self.addCleanup(os.close, directory)
        path = "/".join(parts)
        self.assertEqual(len(path), length)
        self.assertGreater(len(self.dir) + 1 + length, 4096)
        return path, directory, parts[-1]

    @NATIVE_ONLY
    def test_the_longest_relative_path_and_one_byte_more(self):
        path, directory, leaf = self.deep_path(4095)
        handle = os.open(leaf, os.O_WRONLY | os.O_CREAT, 0o644, dir_fd=directory)
        os.write(handle, b"abc")
        os.close(handle)
        os.utime(leaf, ns=(T2020, T2020), dir_fd=directory)

        # The safety copy is named within the folder: no path of it is longer.
        code, _, err = self.tm("-q1", "-ou", path)
        self.assertEqual((code, err), (0, b""))
        self.assertEqual(sorted(os.listdir(directory)), [leaf])
        code, out, _ = self.tc("?w+w", path)
        self.assertEqual((code, out), (0, path.encode() + b"\n"))
        self.assertEqual(os.stat(leaf, dir_fd=directory).st_mtime_ns, T2020 + 60 * SECOND)
        with open(os.open(leaf, os.O_RDONLY, dir_fd=directory), "rb") as f:
            self.assertEqual(f.read(), b"\xef\xbb\xbfabc")

        longer = path + "x"
        code, _, err = self.tm("-q1", longer)
        self.assertEqual((code, err), (242, f'FATAL! (206) cannot load "{longer}" -- The filename'
                                            f" or extension is too long.\n".encode()))
        code, out, _ = self.tc(longer)
        self.assertEqual(code, 64 + 2)
        self.assertEqual(out, f'ERROR! Cannot open "{longer}" -- (206) The filename or '
                         f"extension is too long.\n".encode())

    def test_a_directory_is_no_input(self):
        os.mkdir(self.path("d"))
        code, _, err = self.tm("d", "out")
        self.assertEqual(code, 242)
        self.assertRegex(err, rb"\A" + fatal(b'FATAL! (5) cannot load "d"', b"Is a directory")
                         + rb"\Z")
        self.assertFalse(os.path.exists(self.path("out")))


@NATIVE_ONLY
class NonRegularFiles(Files):
    """FIFOs, devices and system files: a named input is read to its end,
    never taken for an empty file; output waits for a reader."""

    def fifo(self, name):
        os.mkfifo(self.path(name))
        return self.path(name)

    def in_thread(self, work):
        worker = threading.Thread(target=work, daemon=True)
        worker.start()
        self.addCleanup(worker.join, 30)
        return worker

    def test_a_fifo_with_a_writer_is_read_to_its_end(self):
        sent = "caf\u00e9 ".encode() * 30000  # more than a pipe holds
        self.fifo("in")
        self.dated("out", b"keep")

        def writer():
            with open(self.path("in"), "wb") as f:
                f.write(sent)
        self.in_thread(writer)
        code, _, err = self.tm("-q1", "-ou", "-r", "in", "out")
        self.assertEqual((code, err), (0, b""))
        self.assertEqual(self.read("out"), sent)
        self.assertGreater(self.mtime("out"), T2020 + 86400 * SECOND, "a pipe has no date")

    def test_a_fifo_in_place_is_read_then_written_for_a_reader(self):
        self.fifo("f")
        received = []

        def writer_then_reader():
            with open(self.path("f"), "wb") as f:
                f.write(b"abc")
            with open(self.path("f"), "rb") as f:
                received.append(f.read())
        worker = self.in_thread(writer_then_reader)
        code, _, err = self.tm("-q1", "-ou", "f")
        worker.join(30)
        self.assertEqual((code, err), (0, b""))
        self.assertEqual(received, [b"\xef\xbb\xbfabc"])

    def test_output_to_a_fifo_waits_for_its_reader(self):
        # Opened to read and write, the FIFO would be its own reader: the
        # text would be gone before a reader came.
        self.dated("in", b"abc", T2020)
        self.fifo("out")
        received = []

        def late_reader():
            time.sleep(0.5)
            with open(self.path("out"), "rb") as f:
                received.append(f.read())
        worker = self.in_thread(late_reader)
        code, _, err = self.tm("-q1", "in", "out")
        worker.join(30)
        self.assertEqual((code, err), (0, b""))
        self.assertEqual(received, [b"abc"])
        self.assertNotEqual(self.mtime("out"), T2020, "no date on a pipe")

    def test_output_to_a_fifo_whose_reader_leaves(self):
        self.write("in", b"x" * 1_000_000)
        self.fifo("out")

        def short_reader():
            with open(self.path("out"), "rb") as f:
                f.read(10)
        self.in_thread(short_reader)
        code, _, err = self.tm("-q1", "in", "out")
        self.assertEqual(code, 245)
        self.assertRegex(err, rb'\A  FATAL! \(109\) write error, only \d+ of 1000000 bytes to "out"'
                              rb' -- The pipe has been ended.\n\Z')

    def test_timecarry_reads_and_sets_a_fifos_times_without_waiting(self):
        self.fifo("f")
        os.utime(self.path("f"), ns=(T2020, T2020))
        self.dated("a", "a", T2020 + 5 * SECOND)
        code, out, _ = self.tc("a", "f")
        self.assertEqual((code, out), (0, b"f\n"))
        self.assertEqual(self.mtime("f"), T2020 + 5 * SECOND)
        code, out, _ = self.tc("?w+w", stdin=b"f\n")  # the next whole minute
        self.assertEqual((code, out), (0, b"f\n"))
        self.assertEqual(self.mtime("f"), T2020 + 60 * SECOND)

    def test_a_system_file_that_says_it_is_empty_is_read_whole(self):
        with open("/proc/version", "rb") as f:
            expected = f.read()
        self.assertEqual(os.stat("/proc/version").st_size, 0)
        code, _, err = self.tm("-q1", "-ia", "-oa", "/proc/version", "out")
        self.assertEqual((code, err), (0, b""))
        self.assertEqual(self.read("out"), expected)

    def test_a_character_device_is_read_to_its_end(self):
        # A terminal that holds one line and then the end of its input.
        master, slave = os.openpty()
        self.addCleanup(os.close, master)
        self.addCleanup(os.close, slave)
        os.write(master, b"abc\n\x04")
        self.dated("out", b"old")
        code, _, err = self.tm("-q1", "-ou", "-r", os.ttyname(slave), "out")
        self.assertEqual((code, err), (0, b""))
        self.assertEqual(self.read("out"), b"abc\n")


@NATIVE_ONLY
class SymbolicLinkLoops(Files):
    def setUp(self):
        super().setUp()
        os.symlink("loop2", self.path("loop1"))
        os.symlink("loop1", self.path("loop2"))

    def test_txmorph_refuses_a_loop_either_way(self):
        code, _, err = self.tm("loop1", "out")
        self.assertEqual((code, err), (242, b'FATAL! (1921) cannot load "loop1" -- The name of the'
                                            b" file cannot be resolved by the system.\n"))
        self.write("in", "abc")
        code, _, err = self.tm("-q1", "in", "loop1")
        self.assertEqual((code, err), (244, b'FATAL! (1921) cannot create "loop1" -- The name of'
                                            b" the file cannot be resolved by the system.\n"))
        self.assertEqual(os.readlink(self.path("loop1")), "loop2")

    def test_timecarry_takes_the_link_itself_and_not_a_path_through_it(self):
        os.utime(self.path("loop1"), ns=(T2020, T2020), follow_symlinks=False)
        code, out, _ = self.tc("?w+w", "loop1")
        self.assertEqual((code, out), (0, b"loop1\n"))
        self.assertEqual(self.mtime("loop1"), T2020 + 60 * SECOND)
        cannot = b" -- (1921) The name of the file cannot be resolved by the system.\n"
        code, out, _ = self.tc("loop1/x")
        self.assertEqual((code, out), (66, b'ERROR! Cannot open "loop1/x"' + cannot))
        self.dated("a", "a")
        code, out, _ = self.tc("a", "loop1/x")
        self.assertEqual((code, out), (34, b"loop1/x -- ERROR!" + cannot[3:]))
        code, out, _ = self.tc("?ww", stdin=b"loop1/x\n")
        self.assertEqual((code, out), (66, b'ERROR! Cannot open "loop1/x"' + cannot))


if __name__ == "__main__":
    unittest.main()
