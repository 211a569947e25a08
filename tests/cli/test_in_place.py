"""txmorph converting a file in place, tried as an adversary would: writes
that fail anywhere in the file, file systems that are full or copy on write,
signals at any moment of the write, the file swapped or changed while the run
waits, two runs on one file at once, and a stop at the prompt. Whatever
happens the file ends whole - its old text or its new one, with its date -
and the exit code says which.

The file systems need root and loop mounts, the fault switches a test build,
signals, links, locks and terminals a native run; each case that cannot run
says why.
"""
import fcntl
import hashlib
import os
import random
import resource
import select
import shutil
import signal
import subprocess
import sys
import tempfile
import termios
import time
import unittest

from harness import (FAULT_INJECTION, UNDER_VALGRIND, UNDER_WINE, TempDirTest, fatal, launch,
                     program)
from test_txmorph import Terminal

SECOND = 1_000_000_000  # in nanoseconds
T2020 = 1_577_836_800 * SECOND  # 2020-01-01 00:00:00 UTC
LOADED_AT = T2020 + 7 * SECOND + 123_456_700
CARRIED = LOADED_AT  # the same date, exactly
IO_ERROR = b"The request could not be performed because of an I/O device error."
NO_SPACE = b"There is not enough space on the disk."
ENV = {"LANG": "C", "LC_ALL": "", "LC_CTYPE": "", "TZ": "UTC"}
NATIVE_ONLY = unittest.skipIf(UNDER_WINE, "natively only")
# A text whose conversion takes long enough to act while it runs.
LARGE = 3_000_000 if UNDER_VALGRIND else 40_000_000


def no_core_files():
    resource.setrlimit(resource.RLIMIT_CORE, (0, 0))


def utf8_text(size):
    """About `size` bytes of UTF-8 with accents, no byte order mark."""
    line = "Grüße aus Köln, déjà vu, naïve café — über alles. " * 4 + "\n"
    count = max(1, size // len(line.encode()))
    return (line * count).encode()


def as_wide(utf8):
    return b"\xff\xfe" + utf8.decode().encode("utf-16-le")


def digest(data):
    return hashlib.sha256(data).hexdigest()


class InPlace(TempDirTest):
    def setUp(self):
        super().setUp()
        self.exe = program("TXMORPH")

    def env(self, extra=None):
        return dict(os.environ, **ENV, **(extra or {}))

    def tm(self, *args, env=None, cwd=None):
        command, check = launch(self.exe, *args)
        done = subprocess.run(command, capture_output=True, cwd=cwd or self.dir,
                              env=self.env(env), timeout=600, stdin=subprocess.DEVNULL)
        check()
        return done.returncode, done.stderr

    def start(self, *args, env=None, preexec_fn=None):
        """A run in the background, its messages on a pipe."""
        command, _ = launch(self.exe, *args)
        return subprocess.Popen(command, cwd=self.dir, env=self.env(env),
                                stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                stderr=subprocess.PIPE, preexec_fn=preexec_fn)

    def until_loaded(self, process):
        """Reads the run's messages until its "Loaded" line: from then on it
        holds the file and converts."""
        seen = b""
        deadline = time.monotonic() + 120
        while b"Loaded (" not in seen or not seen.endswith(b"\n"):
            self.assertLess(time.monotonic(), deadline, seen)
            ready, _, _ = select.select([process.stderr], [], [], 1)
            if ready:
                piece = os.read(process.stderr.fileno(), 4096)
                self.assertTrue(piece, seen)
                seen += piece
        return seen

    def dated(self, name, data, ns=LOADED_AT):
        path = self.write(name, data)
        os.utime(path, ns=(ns, ns))
        return path

    def state(self, name):
        st = os.stat(self.path(name))
        return digest(self.read(name)), st.st_mtime_ns, st.st_ino

    def assertOnly(self, *names):
        self.assertEqual(sorted(os.listdir(self.dir)), sorted(names))

    def assertConverted(self, name, data):
        self.assertEqual(digest(self.read(name)), digest(data))
        self.assertEqual(os.stat(self.path(name)).st_mtime_ns, CARRIED)


class SafetyCopy(InPlace):
    def test_the_copy_goes_once_the_new_text_is_whole(self):
        text = utf8_text(100_000)
        self.dated("a.txt", text)
        inode = os.stat(self.path("a.txt")).st_ino
        self.assertEqual(self.tm("-q1", "-ow", "a.txt"), (0, b""))
        self.assertConverted("a.txt", as_wide(text))
        self.assertOnly("a.txt")
        if not UNDER_WINE:
            self.assertEqual(os.stat(self.path("a.txt")).st_ino, inode)

    def test_a_copy_left_by_a_run_that_did_not_finish_is_never_replaced(self):
        self.dated("a.txt", "new text")
        self.dated(".a.txt.txmorph~", "the only old text")
        before = self.state("a.txt"), self.state(".a.txt.txmorph~")
        code, err = self.tm("-q1", "-ou", "a.txt")
        self.assertEqual((code, err), (245, b'FATAL! ".a.txt.txmorph~" is left from a run that'
                                            b" did not finish; nothing written\n"))
        self.assertEqual((self.state("a.txt"), self.state(".a.txt.txmorph~")), before)

    def test_a_piece_of_an_unfinished_copy_goes(self):
        self.dated("a.txt", "abc")
        self.write(".a.txt.txmorph~tmp", "a piece")
        self.assertEqual(self.tm("-q1", "-ou", "a.txt"), (0, b""))
        self.assertEqual(self.read("a.txt"), b"\xef\xbb\xbfabc")
        self.assertOnly("a.txt")

    def test_in_a_sub_folder(self):
        os.mkdir(self.path("sub"))
        self.dated("sub/a.txt", "abc")
        self.assertEqual(self.tm("-q1", "-ou", os.path.join("sub", "a.txt")), (0, b""))
        self.assertEqual(sorted(os.listdir(self.path("sub"))), ["a.txt"])

    def test_two_names_of_one_file_are_one_file_converted_in_place(self):
        self.dated("a.txt", "abc")
        self.assertEqual(self.tm("-q1", "-ou", "a.txt", "./a.txt"), (0, b""))
        self.assertEqual(self.read("a.txt"), b"\xef\xbb\xbfabc")
        self.assertEqual(os.stat(self.path("a.txt")).st_mtime_ns, CARRIED)
        self.assertOnly("a.txt")


@unittest.skipUnless(FAULT_INJECTION and not UNDER_WINE, "no fault switches in this build")
class FailingWrites(InPlace):
    """Writes, flushes and closes made to fail by the test build's switches
    (PLAT_FAIL_WRITE_AFTER, PLAT_FAIL_FLUSH_AFTER, PLAT_FAIL_CLOSE)."""

    def test_a_write_that_fails_anywhere_puts_the_old_text_back(self):
        text = utf8_text(300_000)
        cases = [("grows", text, "-ow", len(as_wide(text))),
                 ("shrinks", as_wide(text), "-ou", len(text) + 3)]
        for what, data, option, size in cases:
            for after in (0, 1, 4096, size // 2, size - 1):
                self.dated("a.txt", data)
                before = self.state("a.txt")
                code, err = self.tm("-q1", option, "a.txt",
                                    env={"PLAT_FAIL_WRITE_AFTER": str(after)})
                self.assertEqual(code, 245, (what, after))
                self.assertRegex(err, rb'\A  FATAL! \(\d+\) write error, only -?\d+ of %d bytes'
                                      rb' to "a.txt" -- [^\n]+\n  "a.txt" is as it was\n\Z' % size,
                                 (what, after))
                self.assertEqual(self.state("a.txt"), before, (what, after))
                self.assertOnly("a.txt")

    def test_a_flush_that_fails_puts_the_old_text_back(self):
        # The first flush is the copy's, the second the file's.
        self.dated("a.txt", utf8_text(100_000))
        before = self.state("a.txt")
        code, err = self.tm("-q1", "-ow", "a.txt", env={"PLAT_FAIL_FLUSH_AFTER": "1"})
        self.assertEqual(code, 245)
        self.assertTrue(err.endswith(b'  "a.txt" is as it was\n'), err)
        self.assertEqual(self.state("a.txt"), before)
        self.assertOnly("a.txt")

    def test_a_copy_that_cannot_be_flushed_touches_nothing(self):
        self.dated("a.txt", "abc")
        before = self.state("a.txt")
        code, err = self.tm("-q1", "-ou", "a.txt", env={"PLAT_FAIL_FLUSH_AFTER": "0"})
        self.assertEqual(code, 245)
        self.assertRegex(err, rb"\A" + fatal(b'FATAL! (1117) cannot make the safety copy'
                                             b' ".a.txt.txmorph~"; nothing written', IO_ERROR))
        self.assertEqual(self.state("a.txt"), before)
        self.assertOnly("a.txt")

    def test_a_close_that_fails_is_a_failed_write(self):
        self.dated("a.txt", "abc")
        code, err = self.tm("-q1", "-ou", "a.txt", "b.txt", env={"PLAT_FAIL_CLOSE": "1"})
        self.assertEqual(code, 245)
        self.assertRegex(err, rb"\A" + fatal(b'  FATAL! (1117) write error, only 6 of 6 bytes to'
                                             b' "b.txt"', IO_ERROR) + rb"\Z")
        # In place the text is flushed before the close: it is kept, and so
        # is the copy of the old text, since the close cannot say for sure.
        code, err = self.tm("-q1", "-ou", "a.txt", env={"PLAT_FAIL_CLOSE": "1"})
        self.assertEqual(code, 245)
        self.assertRegex(err, rb"\A" + fatal(b'  FATAL! (1117) write error, only 6 of 6 bytes to'
                                             b' "a.txt"', IO_ERROR) +
                         fatal(b'  FATAL! (1117) the file could not be closed; its old text is in'
                               b' ".a.txt.txmorph~"', IO_ERROR) + rb"\Z")
        self.assertEqual(self.read(".a.txt.txmorph~"), b"abc")

    def test_the_copy_is_as_private_as_the_file(self):
        # Kept after a failed close, where it can be looked at.
        for mode in (0o600, 0o640, 0o755):
            self.dated("a.txt", "abc")
            os.chmod(self.path("a.txt"), mode)
            code, _ = self.tm("-q", "-ou", "a.txt", env={"PLAT_FAIL_CLOSE": "1"})
            self.assertEqual(code, 245)
            self.assertEqual(os.stat(self.path(".a.txt.txmorph~")).st_mode & 0o777, mode)
            os.unlink(self.path(".a.txt.txmorph~"))

    def test_two_names_of_one_file_are_written_safely(self):
        self.dated("a.txt", utf8_text(10_000))
        os.link(self.path("a.txt"), self.path("b.txt"))
        before = self.state("a.txt")
        code, err = self.tm("-q1", "-ow", "a.txt", "b.txt", env={"PLAT_FAIL_WRITE_AFTER": "5000"})
        self.assertEqual(code, 245)
        self.assertTrue(err.endswith(b'  "b.txt" is as it was\n'), err)
        self.assertEqual(self.state("a.txt"), before)
        self.assertOnly("a.txt", "b.txt")


def mounted(test, kind, size_mb, *options):
    """A fresh file system of `kind` mounted on a new folder for the test, or
    a skip that says why there is none."""
    if UNDER_WINE or os.geteuid() != 0 or shutil.which("mount") is None:
        raise unittest.SkipTest("mounting needs root and a native run")
    where = tempfile.mkdtemp(prefix=f"fs-{kind}-")
    test.addCleanup(shutil.rmtree, where, True)
    target = os.path.join(where, "mnt")
    os.mkdir(target)
    if kind == "tmpfs":
        command = ["mount", "-t", "tmpfs", "-o", f"size={size_mb}m", "tmpfs", target]
    else:
        mkfs = shutil.which(f"mkfs.{kind}")
        if mkfs is None:
            raise unittest.SkipTest(f"mkfs.{kind} is not installed")
        image = os.path.join(where, "image")
        with open(image, "wb") as f:
            f.truncate(size_mb * 1024 * 1024)
        made = subprocess.run([mkfs, *options, image], capture_output=True)
        if made.returncode != 0:
            raise unittest.SkipTest(f"mkfs.{kind}: {made.stderr.decode(errors='replace')}")
        command = ["mount", "-o", "loop", image, target]
    done = subprocess.run(command, capture_output=True)
    if done.returncode != 0:
        raise unittest.SkipTest(f"cannot mount {kind} here: "
                                f"{done.stderr.decode(errors='replace').strip()}")
    test.addCleanup(subprocess.run, ["umount", "-l", target], capture_output=True)
    return target


def fill(folder, leave):
    """Fills the file system of `folder` until `leave` bytes are left."""
    with open(os.path.join(folder, "filler"), "wb") as f:
        piece = b"\0" * (1 << 20)
        try:
            while True:
                f.write(piece)
                f.flush()
        except OSError:
            pass
    os.sync()
    size = os.path.getsize(os.path.join(folder, "filler"))
    os.truncate(os.path.join(folder, "filler"), max(0, size - leave))
    os.sync()


class SmallFileSystems(InPlace):
    """Full and tiny file systems, and those that copy on write, where
    overwriting a file's old bytes needs room as much as new ones do."""

    def convert_there(self, folder, option, data, leave=None):
        path = os.path.join(folder, "a.txt")
        with open(path, "wb") as f:
            f.write(data)
        os.utime(path, ns=(LOADED_AT, LOADED_AT))
        if leave is not None:
            fill(folder, leave)
        before = digest(data), os.stat(path).st_mtime_ns, os.stat(path).st_ino
        code, err = self.tm("-q1", option, path, cwd=folder)
        st = os.stat(path)
        with open(path, "rb") as f:
            after = digest(f.read()), st.st_mtime_ns, st.st_ino
        leftovers = sorted(set(os.listdir(folder)) - {"a.txt", "filler", "lost+found"})
        return code, err, before, after, leftovers

    def test_a_sparse_file_on_a_full_tmpfs(self):
        folder = mounted(self, "tmpfs", 8)
        path = os.path.join(folder, "a.txt")
        with open(path, "wb") as f:
            f.write(b"head ")
            f.seek(20 * 1024 * 1024)
            f.write(b" tail\n")
        os.utime(path, ns=(LOADED_AT, LOADED_AT))
        st = os.stat(path)
        before = st.st_size, st.st_mtime_ns, st.st_ino
        code, err = self.tm("-q1", "-ia", "-ou", path, cwd=folder)
        self.assertEqual(code, 245, err)
        self.assertRegex(err, rb'\AFATAL! \(112\) cannot make the safety copy "[^"]*/\.a\.txt'
                              rb'\.txmorph~"; nothing written -- ' + NO_SPACE + rb'\n\Z')
        st = os.stat(path)
        self.assertEqual((st.st_size, st.st_mtime_ns, st.st_ino), before)
        with open(path, "rb") as f:
            self.assertEqual(f.read(5), b"head ")
            f.seek(-6, os.SEEK_END)
            self.assertEqual(f.read(), b" tail\n")
        self.assertEqual(os.listdir(folder), ["a.txt"])

    def test_a_tmpfs_with_room_for_the_copy_but_not_the_new_text(self):
        folder = mounted(self, "tmpfs", 8)
        text = utf8_text(3_400_000)  # 5.7 MB in UTF-16
        code, err, before, after, leftovers = self.convert_there(folder, "-ow", text)
        self.assertEqual(code, 245, err)
        self.assertEqual(err, b'  FATAL! (112) write error, only -1 of %d bytes to "%s" -- %s\n'
                              b'  "%s" is as it was\n'
                         % (len(as_wide(text)), folder.encode() + b"/a.txt", NO_SPACE,
                            folder.encode() + b"/a.txt"))
        self.assertEqual((after, leftovers), (before, []))

    def copy_on_write(self, kind, *options):
        """Near-full copy-on-write file systems, both ways of conversion:
        the file is whole afterwards, old or new."""
        folder = mounted(self, kind, 320, *options)
        text = utf8_text(2_600_000)
        for option, data, converted in (("-ow", text, as_wide(text)),
                                        ("-ou", as_wide(text), b"\xef\xbb\xbf" + text)):
            for leave in (1_500_000, 4_000_000):
                code, err, before, after, leftovers = self.convert_there(folder, option, data,
                                                                         leave)
                what = (option, leave, code, err)
                self.assertIn(code, (0, 245), what)
                if code == 0:
                    self.assertEqual(after[:2], (digest(converted), CARRIED), what)
                else:
                    self.assertEqual(after, before, what)
                self.assertEqual(after[2], before[2], what)
                self.assertEqual(leftovers, [], what)
                os.unlink(os.path.join(folder, "filler"))
                os.unlink(os.path.join(folder, "a.txt"))

    def test_btrfs(self):
        self.copy_on_write("btrfs", "-q", "-f")

    def test_xfs_with_reflinks(self):
        self.copy_on_write("xfs", "-q", "-f", "-m", "reflink=1")


@unittest.skipIf(UNDER_WINE or UNDER_VALGRIND, "signals are sent natively")
class Signals(InPlace):
    """Signals at random moments of in-place conversions of a large file:
    each run ends with the old text or the new one whole, never a mix, dated
    as the old one, and with no copy left behind."""

    TRIALS = 16

    def test_signals_at_random_moments(self):
        text = utf8_text(LARGE)
        converted = as_wide(text)
        old, new = digest(text), digest(converted)
        # How long a whole run takes, to spread the signals over it.
        self.dated("a.txt", text)
        started = time.monotonic()
        self.assertEqual(self.tm("-q", "-ow", "a.txt"), (0, b""))
        length = time.monotonic() - started
        rng = random.Random(1234)
        outcomes = {False: 0, True: 0}
        for trial in range(self.TRIALS):
            self.dated("a.txt", text)
            sent = rng.choice([signal.SIGINT, signal.SIGTERM, signal.SIGHUP, signal.SIGQUIT])
            delay = rng.uniform(0, length * 1.2)
            process = self.start("-q", "-ow", "a.txt", preexec_fn=no_core_files)
            time.sleep(delay)
            process.send_signal(sent)
            process.communicate(timeout=120)
            what = (trial, sent, delay, process.returncode)
            now = digest(self.read("a.txt"))
            self.assertIn(now, (old, new), what)
            if now == new:
                # Written whole: the signal waited for it, or came after.
                self.assertIn(process.returncode, (0, -sent), what)
                self.assertEqual(os.stat(self.path("a.txt")).st_mtime_ns, CARRIED, what)
            else:
                self.assertEqual(process.returncode, -sent, what)
                self.assertEqual(os.stat(self.path("a.txt")).st_mtime_ns, LOADED_AT, what)
            self.assertOnly("a.txt")
            outcomes[now == new] += 1
        print(f"\n  signalled runs that kept the old text: {outcomes[False]}, that wrote the new"
              f" one: {outcomes[True]}", file=sys.stderr)

    def test_a_stop_during_the_write_waits_for_the_file_to_be_whole(self):
        text = utf8_text(LARGE)
        self.dated("a.txt", text)
        process = self.start("-q0", "-ow", "a.txt")
        self.until_loaded(process)
        copy = self.path(".a.txt.txmorph~")
        while not os.path.exists(copy) and process.poll() is None:
            time.sleep(0.001)
        process.send_signal(signal.SIGTSTP)
        # Stopped only with the file whole and no copy left: the new text, or
        # the old one when the stop came as the copy was made (which is made
        # again once the run goes on). A process group that the system takes
        # as orphaned is not stopped at all.
        deadline = time.monotonic() + 60
        while self.process_state(process.pid) not in ("T", "Z", None):
            self.assertLess(time.monotonic(), deadline)
            time.sleep(0.01)
        if self.process_state(process.pid) == "T":
            self.assertIn(digest(self.read("a.txt")), (digest(text), digest(as_wide(text))))
            self.assertOnly("a.txt")
            process.send_signal(signal.SIGCONT)
        process.communicate(timeout=120)
        self.assertEqual(process.returncode, 0)
        self.assertConverted("a.txt", as_wide(text))

    @staticmethod
    def process_state(pid):
        try:
            with open(f"/proc/{pid}/stat") as f:
                return f.read().rsplit(")", 1)[1].split()[0]
        except FileNotFoundError:
            return None


class ChangedWhileConverting(InPlace):
    """The file changed, or another file put under its name, after the run
    loaded it and before it writes: it is left alone."""

    def convert_then(self, change):
        self.dated("a.txt", utf8_text(LARGE))
        process = self.start("-q0", "-ow", "a.txt")
        self.until_loaded(process)
        change()
        _, err = process.communicate(timeout=300)
        return process.returncode, err

    def test_written_meanwhile(self):
        def append():
            with open(self.path("a.txt"), "ab") as f:
                f.write(b"more\n")
        code, err = self.convert_then(append)
        self.assertEqual(code, 244)
        self.assertTrue(err.endswith(b'FATAL! "a.txt" changed since it was loaded;'
                                     b" nothing written\n"), err[-200:])
        self.assertTrue(self.read("a.txt").endswith(b"\nmore\n"))
        self.assertOnly("a.txt")

    def test_saved_by_rename_meanwhile(self):
        def save():
            self.write("a.txt.new", "an editor's text\n")
            os.replace(self.path("a.txt.new"), self.path("a.txt"))
        code, err = self.convert_then(save)
        self.assertEqual(code, 244)
        self.assertTrue(err.endswith(b'FATAL! "a.txt" changed since it was loaded;'
                                     b" nothing written\n"), err[-200:])
        self.assertEqual(self.read("a.txt"), b"an editor's text\n")
        self.assertOnly("a.txt")


class TwoRuns(InPlace):
    """Two runs on one file at once: the one that holds the file converts it,
    the other cannot load it."""

    def test_a_second_run_cannot_load_a_held_file(self):
        text = utf8_text(LARGE)
        self.dated("r.txt", text)
        first = self.start("-q0", "-ow", "r.txt")
        self.until_loaded(first)
        for second in (["-q1", "-s-", "-ou", "r.txt"], ["-q1", "-ou", "r.txt", "copy.txt"]):
            code, err = self.tm(*second)
            if first.poll() is not None:
                self.skipTest("the first run ended before the second began")
            self.assertEqual(code, 242, second)
            self.assertRegex(err, rb"\A" + fatal(b'FATAL! (32) cannot load "r.txt"',
                                                 b"The process cannot access the file because it"
                                                 b" is being used by another process.") + rb"\Z")
        first.communicate(timeout=300)
        self.assertEqual(first.returncode, 0)
        self.assertConverted("r.txt", as_wide(text))
        self.assertOnly("r.txt")

    @unittest.skipIf(UNDER_WINE or UNDER_VALGRIND, "many runs natively")
    def test_runs_started_together(self):
        text = utf8_text(LARGE // 4)
        wide = as_wide(text)
        utf8_again = b"\xef\xbb\xbf" + text
        # Each alone, and each after the other: what a file may end as.
        whole = {digest(wide), digest(utf8_again), digest(b"\xef\xbb\xbf" + wide)}
        overlapped = 0
        for trial in range(12):
            self.dated("r.txt", text)
            a = self.start("-q", "-ow", "r.txt")
            if trial % 2:
                time.sleep(random.uniform(0, 0.05))
            b = self.start("-q", "-s-", "-ou", "r.txt")
            a.communicate(timeout=300)
            b.communicate(timeout=300)
            codes = (a.returncode, b.returncode)
            self.assertIn(codes, ((0, 0), (0, 242), (242, 0)), trial)
            self.assertIn(digest(self.read("r.txt")), whole, (trial, codes))
            overlapped += 242 in codes
            self.assertOnly("r.txt")
        print(f"\n  runs that met another: {overlapped} of 12", file=sys.stderr)


@unittest.skipIf(UNDER_WINE, "Wine has no terminal to ask on")
class ChangedWhileAsking(Terminal):
    """What others do to the file while the prompt waits."""

    def setUp(self):
        super().setUp()
        self.write("A.txt", "x\u4e00")
        self.write("B.txt", "y\u4e01")
        for name in ("A.txt", "B.txt"):
            os.utime(self.path(name), ns=(T2020, T2020))
        os.symlink("A.txt", self.path("cur"))

    def test_the_link_turned_to_another_file(self):
        def swap():
            os.unlink(self.path("cur"))
            os.symlink("B.txt", self.path("cur"))
        code, err = self.answer([b"y"], "-q1", "cur", at_prompt=swap)
        self.assertEqual((code, err),
                         (244, b'Yes\nFATAL! "cur" changed since it was loaded; nothing written\n'))
        self.assertEqual(self.read("A.txt"), "x\u4e00".encode())
        self.assertEqual(self.read("B.txt"), "y\u4e01".encode())
        self.assertEqual(sorted(os.listdir(self.dir)), ["A.txt", "B.txt", "cur"])

    def test_rewritten_in_place(self):
        def rewrite():
            with open(self.path("A.txt"), "r+b") as f:
                f.write(b"z")
        code, err = self.answer([b"y"], "-q1", "A.txt", at_prompt=rewrite)
        self.assertEqual((code, err),
                         (244, b'Yes\nFATAL! "A.txt" changed since it was loaded; nothing written\n'))
        self.assertEqual(self.read("A.txt"), "z\u4e00".encode())

    def test_through_the_link_unchanged(self):
        code, err = self.answer([b"y"], "-q1", "cur")
        self.assertEqual((code, err), (5, b"Yes\n"))
        self.assertEqual(self.read("A.txt"), b"x\x0f")
        self.assertTrue(os.path.islink(self.path("cur")))
        self.assertEqual(sorted(os.listdir(self.dir)), ["A.txt", "B.txt", "cur"])


# Runs txmorph as a job of its own in a session whose terminal is the pty,
# as a shell with job control would: it is the terminal's foreground, and
# its process group is not orphaned, so that a stop stops it. Reports on its
# standard output: "stopped <same terminal settings: 1 or 0>" each time the
# job stops (then puts it back in the foreground and continues it), and
# "exit <code>" at the end.
JOB_SHELL = r"""
import os, signal, sys, termios
fd = 0
before = termios.tcgetattr(fd)
signal.signal(signal.SIGTTOU, signal.SIG_IGN)
pid = os.fork()
if pid == 0:
    os.setpgid(0, 0)
    os.tcsetpgrp(fd, os.getpgrp())
    os.execv(sys.argv[1], sys.argv[1:])
os.setpgid(pid, pid)
os.tcsetpgrp(fd, pid)
while True:
    _, status = os.waitpid(pid, os.WUNTRACED)
    if os.WIFSTOPPED(status):
        os.tcsetpgrp(fd, os.getpgrp())
        same = termios.tcgetattr(fd) == before
        print("stopped", int(same), flush=True)
        os.tcsetpgrp(fd, pid)
        os.killpg(pid, signal.SIGCONT)
        continue
    print("exit", os.waitstatus_to_exitcode(status), flush=True)
    break
"""


@unittest.skipIf(UNDER_WINE or UNDER_VALGRIND, "job control on a terminal, natively")
class JobControl(Terminal):
    def test_ctrl_z_at_the_prompt_stops_with_the_terminal_as_it_was(self):
        self.write("a.txt", "x\u4e00")
        os.utime(self.path("a.txt"), ns=(T2020, T2020))
        master, slave = os.openpty()
        before = termios.tcgetattr(slave)

        def take_terminal():
            fcntl.ioctl(slave, termios.TIOCSCTTY, 0)
        command, check = launch(self.exe, "-q1", "a.txt")
        if not os.path.isabs(command[0]):
            command[0] = shutil.which(command[0]) or command[0]
        process = subprocess.Popen([sys.executable, "-c", JOB_SHELL, *command],
                                   cwd=self.dir, env=dict(os.environ, **ENV), stdin=slave,
                                   stdout=subprocess.PIPE, stderr=slave, start_new_session=True,
                                   preexec_fn=take_terminal, pass_fds=(slave,))
        shown = b""
        try:
            shown += self.read_until(master, b"[Y/N]? ")
            self.wait_for_key_mode(slave, process)
            os.write(master, b"\x1a")  # Ctrl+Z
            self.assertEqual(process.stdout.readline(), b"stopped 1\n")
            shown += self.read_until(master, b"[Y/N]? ")  # asked again
            self.wait_for_key_mode(slave, process)
            os.write(master, b"y")
            self.assertEqual(process.stdout.readline(), b"exit 5\n")
            shown += self.read_until(master, b"Yes")
            process.wait(timeout=30)
        finally:
            if process.poll() is None:
                process.kill()
                process.wait()
            process.stdout.close()
            after = termios.tcgetattr(slave)
            os.close(master)
            os.close(slave)
        check()
        self.assertEqual(after, before)
        self.assertEqual(shown.count(b'Write to "a.txt" [Y/N]? '), 2, shown)
        self.assertEqual(self.read("a.txt"), b"x\x0f")

    def read_until(self, master, mark):
        seen = b""
        deadline = time.monotonic() + 30
        while mark not in seen:
            self.assertLess(time.monotonic(), deadline, seen)
            ready, _, _ = select.select([master], [], [], 1)
            if ready:
                seen += os.read(master, 4096)
        return seen


@unittest.skipIf(UNDER_WINE or UNDER_VALGRIND, "gigabytes, natively")
class LargeSizes(InPlace):
    def test_sizes_print_unsigned(self):
        size = 2_306_802_002
        with open(self.path("big.txt"), "wb") as f:
            f.truncate(size)  # UTF-16LE without a byte order mark: the run stops
        code, err = self.tm("-q0", "-s", "-iw", "big.txt", "out.txt")
        self.assertEqual(code, 10)
        self.assertTrue(err.startswith(b'Loaded (2306802002) "big.txt"\n'), err[:80])

    @unittest.skipUnless(FAULT_INJECTION, "no heap switch in this build")
    def test_out_of_memory_prints_unsigned(self):
        with open(self.path("big.txt"), "wb") as f:
            f.truncate(1_100_000_000)
        code, err = self.tm("-q1", "-ia", "big.txt", "out.txt",
                            env={"PLAT_FAIL_ALLOC_ABOVE": "2000000000"})
        self.assertEqual(code, 1)
        self.assertRegex(err, rb"\A\nOut of memory \(2[12]\d{8}\)\n\Z")


if __name__ == "__main__":
    unittest.main()
