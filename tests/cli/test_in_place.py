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
import re
import resource
import select
import shutil
import signal
import stat
import struct
import subprocess
import sys
import tempfile
import termios
import time
import unittest

from harness import (FAULT_INJECTION, NOBODY, RUNNER, UNDER_VALGRIND, UNDER_WINE, TempDirTest,
                     as_user, fatal, launch, program, why_no_other_user)
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
# The names of a.txt's safety copy: while it is made (where the file system
# cannot make it without a name), while the text is written, once the new
# text is whole.
PIECE, UNFINISHED, FINISHED = ".a.txt.txmorph~tmp", ".a.txt.txmorph~", ".a.txt.txmorph~done"
LEFT = (b'FATAL! ".a.txt.txmorph~" was left by a run that did not finish; txmorph --restore'
        b" a.txt puts the old text back\n")
RESTORED = b'"a.txt" is as it was\n'
NO_COPY = b'FATAL! there is no safety copy ".a.txt.txmorph~" of "a.txt"; nothing written\n'
DONE = (b'FATAL! ".a.txt.txmorph~done" is left by a run that finished; "a.txt" has its new'
        b" text; nothing written\n")
NO_COPY_HERE = b"  the folder takes no safety copy; convert to another name and copy it back\n"
STRACE = shutil.which("strace")
# Users and groups of no one else: a file's owner other than root, a group.
USER, GROUP = 4242, 4343


def not_a_copy(name):
    return b'FATAL! "%s" is not a safety copy of "a.txt"; nothing written\n' % name.encode()


def posix_acl(*entries):
    """The system.posix_acl_access (or _default) value of (tag, permissions,
    id) entries: tags 1 owner, 2 a user, 4 the group, 8 a group, 16 the
    mask, 32 others."""
    return struct.pack("<I", 2) + b"".join(struct.pack("<HHI", tag, permissions, who)
                                           for tag, permissions, who in entries)


def watch(folder, gid, report, stop, ready):
    """As nobody in the group `gid`: opens every name that appears in the
    folder (inotify) or stands in it, and writes each one it could open to
    `report`; until `stop` is closed."""
    import ctypes
    as_user(NOBODY, gid)()
    libc = ctypes.CDLL(None, use_errno=True)
    events = libc.inotify_init1(os.O_NONBLOCK)
    # IN_ATTRIB, IN_CLOSE_WRITE, IN_MOVED_TO, IN_CREATE
    libc.inotify_add_watch(events, folder.encode(), 0x4 | 0x8 | 0x80 | 0x100)
    os.write(ready, b"w")
    opened = set()
    while True:
        readable, _, _ = select.select([events, stop], [], [], 0.001)
        if stop in readable:
            return
        if events in readable:
            try:
                os.read(events, 65536)
            except BlockingIOError:
                pass
        for name in os.listdir(folder):
            try:
                os.close(os.open(os.path.join(folder, name), os.O_RDONLY | os.O_NONBLOCK))
            except OSError:
                continue
            if name not in opened:
                opened.add(name)
                os.write(report, name.encode() + b"\n")


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

    def tm(self, *args, env=None, cwd=None, preexec_fn=None):
        command, check = launch(self.exe, *args)
        done = subprocess.run(command, capture_output=True, cwd=cwd or self.dir,
                              env=self.env(env), timeout=600, stdin=subprocess.DEVNULL,
                              preexec_fn=preexec_fn)
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

    def clear(self):
        """The case folder emptied, for the next row of a table."""
        for name in os.listdir(self.dir):
            path = self.path(name)
            if os.path.isdir(path) and not os.path.islink(path):
                shutil.rmtree(path)
            else:
                os.unlink(path)

    def need_strace(self):
        if UNDER_WINE or RUNNER or STRACE is None:
            self.skipTest("strace follows a native run" if STRACE else "strace is not installed")

    def hold(self, call, nth, *args, seconds=3.0):
        """Starts a run under strace that waits `seconds` as it enters its
        nth `call`; returns (strace's process, the run's pid) once the run
        waits there."""
        self.need_strace()
        handle, log = tempfile.mkstemp(prefix="strace-")
        os.close(handle)
        self.addCleanup(os.unlink, log)
        delay = f"{call}:delay_enter={int(seconds * 1e6)}:when={nth}"
        process = subprocess.Popen([STRACE, "-f", "-qq", "-e", f"trace={call}", "-e",
                                    f"inject={delay}", "-o", log, self.exe, *args],
                                   cwd=self.dir, env=self.env(), stdin=subprocess.DEVNULL,
                                   stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
        deadline = time.monotonic() + 60
        while True:
            with open(log, "rb") as f:
                calls = [line for line in f.read().splitlines()
                         if line.split(b" ", 1)[-1].lstrip().startswith(call.encode() + b"(")]
            # strace writes a call as it enters it, and its result after.
            if len(calls) >= nth and b" = " not in calls[nth - 1]:
                return process, int(calls[nth - 1].split()[0])
            self.assertIsNone(process.poll(), calls)
            self.assertLess(time.monotonic(), deadline, calls)
            time.sleep(0.002)

    def nth_call(self, call, mark, *args):
        """Which of a run's calls of `call` is the first whose line holds
        `mark` (the run made once, under strace)."""
        self.need_strace()
        handle, log = tempfile.mkstemp(prefix="strace-")
        os.close(handle)
        self.addCleanup(os.unlink, log)
        subprocess.run([STRACE, "-f", "-qq", "-e", f"trace={call}", "-o", log, self.exe, *args],
                       cwd=self.dir, env=self.env(), capture_output=True, timeout=120)
        with open(log, "rb") as f:
            calls = [line for line in f.read().splitlines() if (call + "(").encode() in line]
        return next(n for n, line in enumerate(calls, 1) if mark in line)

    def other_user(self):
        reason = why_no_other_user()
        if reason:
            self.skipTest(reason)

    def watcher(self, folder, gid):
        """Another user watching `folder` (see watch()); returns the call
        that stops it and gives the names it could open."""
        report_r, report_w = os.pipe()
        stop_r, stop_w = os.pipe()
        ready_r, ready_w = os.pipe()
        child = os.fork()
        if child == 0:
            try:
                for fd in (report_r, stop_w, ready_r):
                    os.close(fd)
                watch(folder, gid, report_w, stop_r, ready_w)
            finally:
                os._exit(0)
        for fd in (report_w, stop_r, ready_w):
            os.close(fd)
        running = [True]

        def stop():
            if running.pop():
                os.close(stop_w)
                os.waitpid(child, 0)
            with os.fdopen(report_r, "rb") as f:
                return f.read().split()
        self.addCleanup(lambda: running and stop())
        self.assertEqual(os.read(ready_r, 1), b"w")
        os.close(ready_r)
        return stop


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


class Planted(InPlace):
    """What stands at a copy's names when a run begins, or when --restore
    looks: txmorph's own copies (a regular file of one link, of the file's
    owner or the runner) are kept (unfinished) or removed (a piece, a
    finished run's); anything else - a folder, a second link, a symbolic
    link, another user's file - is never read, renamed over or removed, and
    nothing is written."""

    def kinds(self):
        """The kinds of things this run can plant."""
        kinds = {"copy", "folder", "second link"}
        if not UNDER_WINE:  # Wine follows a link it is asked not to
            kinds.add("symbolic link")
        if not UNDER_WINE and os.geteuid() == 0:
            kinds.add("another user's")
        return kinds

    def plant(self, kind, name):
        path = self.path(name)
        if kind == "copy":
            self.dated(name, "the old text")
        elif kind == "folder":
            os.mkdir(path)
        elif kind == "second link":
            self.write("other.txt", "another file")
            os.link(self.path("other.txt"), path)
        elif kind == "symbolic link":
            os.symlink("other.txt", path)
        else:
            self.dated(name, "an attacker's text")
            os.chown(path, NOBODY, NOBODY)
        return self.look(name)

    def look(self, name):
        st = os.lstat(self.path(name))
        data = self.read(name) if stat.S_ISREG(st.st_mode) else None
        return st.st_ino, st.st_mode, st.st_uid, st.st_mtime_ns, data

    def test_a_run_takes_only_its_own_copies(self):
        rows = [(UNFINISHED, "copy", 245, LEFT),
                (FINISHED, "copy", 0, b""),
                (PIECE, "copy", 0, b""),
                (UNFINISHED, "folder", 245, not_a_copy(UNFINISHED)),
                (PIECE, "folder", 245, not_a_copy(PIECE)),
                (FINISHED, "second link", 245, not_a_copy(FINISHED)),
                (UNFINISHED, "symbolic link", 245, not_a_copy(UNFINISHED)),
                (UNFINISHED, "another user's", 245, not_a_copy(UNFINISHED)),
                (PIECE, "another user's", 245, not_a_copy(PIECE)),
                (FINISHED, "another user's", 245, not_a_copy(FINISHED))]
        for name, kind, code, message in rows:
            if kind not in self.kinds():
                continue
            with self.subTest(name=name, kind=kind):
                self.clear()
                self.dated("a.txt", "abc")
                planted = self.plant(kind, name)
                before = self.state("a.txt")
                self.assertEqual(self.tm("-q1", "-ou", "a.txt"), (code, message))
                if code == 0:
                    self.assertEqual(self.read("a.txt"), b"\xef\xbb\xbfabc")
                    self.assertFalse(os.path.lexists(self.path(name)))
                else:
                    self.assertEqual(self.state("a.txt"), before)
                    self.assertEqual(self.look(name), planted)

    def test_restore_takes_only_an_unfinished_copy_of_its_own(self):
        rows = [(UNFINISHED, "copy", 0, RESTORED),
                (None, None, 242, NO_COPY),
                (PIECE, "copy", 242, NO_COPY),  # never the only copy of anything
                (FINISHED, "copy", 242, DONE),
                (UNFINISHED, "folder", 242, not_a_copy(UNFINISHED)),
                (UNFINISHED, "second link", 242, not_a_copy(UNFINISHED)),
                (UNFINISHED, "symbolic link", 242, not_a_copy(UNFINISHED)),
                (UNFINISHED, "another user's", 242, not_a_copy(UNFINISHED))]
        for name, kind, code, message in rows:
            if kind is not None and kind not in self.kinds():
                continue
            with self.subTest(name=name, kind=kind):
                self.clear()
                self.write("a.txt", "a new text cut off as it was writ")
                inode = os.stat(self.path("a.txt")).st_ino
                planted = self.plant(kind, name) if kind else None
                before = self.state("a.txt")
                self.assertEqual(self.tm("--restore", "a.txt"), (code, message))
                if code == 0:
                    self.assertEqual(self.state("a.txt"),
                                     (digest(b"the old text"), LOADED_AT, inode))
                    self.assertOnly("a.txt")
                else:
                    self.assertEqual(self.state("a.txt"), before)
                    if kind:
                        self.assertEqual(self.look(name), planted)
        code, err = self.tm("--restore", "b.txt")
        self.assertEqual(code, 242)
        self.assertRegex(err, rb"\A" + fatal(b'FATAL! (2) cannot load "b.txt"',
                                             b"The system cannot find the file specified.") + rb"\Z")
        self.assertEqual(self.tm("-q1", "--restore"),
                         (240, b"Unknown command line option: --restore\n"))


@unittest.skipIf(UNDER_WINE, "files of other users, folders and ACLs natively")
class Private(InPlace):
    """The copy is its owner's alone from its first moment: another user who
    watches the folder and opens whatever appears in it never opens the copy;
    while the text is written the copy is mode 0600, has the file's owner and
    group and no ACL, and carries the file's date."""

    def test_no_one_else_opens_the_copy(self):
        self.other_user()
        read_by_another = posix_acl((1, 6, 0xFFFFFFFF), (2, 4, USER), (4, 0, 0xFFFFFFFF),
                                    (16, 4, 0xFFFFFFFF), (32, 0, 0xFFFFFFFF))
        group_reads = posix_acl((1, 7, 0xFFFFFFFF), (4, 5, 0xFFFFFFFF), (8, 4, GROUP),
                                (16, 7, 0xFFFFFFFF), (32, 5, 0xFFFFFFFF))
        rows = [
            # the file's owner and group, its mode, its ACL, the folder's default
            # ACL, the watcher's group
            ("root's own file", 0, 0, 0o600, None, None, NOBODY),
            ("a user's file converted by root", USER, USER, 0o600, None, None, NOBODY),
            ("an ACL keeps the group out", 0, GROUP, 0o640, read_by_another, None, GROUP),
            ("the folder gives its group reading", 0, 0, 0o600, None, group_reads, GROUP)]
        os.chmod(self.dir, 0o755)
        for what, uid, gid, mode, acl, default, watcher_group in rows:
            with self.subTest(what):
                self.clear()
                os.mkdir(self.path("d"), 0o755)
                self.dated("d/a.txt", utf8_text(100_000))
                os.chown(self.path("d/a.txt"), uid, gid)
                os.chmod(self.path("d/a.txt"), 0o600)
                try:
                    if acl:
                        os.setxattr(self.path("d/a.txt"), "system.posix_acl_access", acl)
                    if default:
                        os.setxattr(self.path("d"), "system.posix_acl_default", default)
                except OSError as e:
                    self.skipTest(f"no ACLs here: {e}")
                self.assertEqual(os.stat(self.path("d/a.txt")).st_mode & 0o777, mode)
                stop = self.watcher(self.path("d"), watcher_group)
                # Held as the file's new text is flushed: the copy is whole.
                process, _ = self.hold("fsync", 3, "-q", "-ow", "d/a.txt")
                st = os.stat(self.path("d/.a.txt.txmorph~"))
                names = os.listxattr(self.path("d/.a.txt.txmorph~"))
                process.communicate(timeout=120)
                self.assertEqual(stop(), [])
                self.assertEqual((st.st_mode & 0o7777, st.st_uid, st.st_gid, st.st_mtime_ns),
                                 (0o600, uid, gid, LOADED_AT))
                self.assertNotIn("system.posix_acl_access", names)
                self.assertEqual(process.returncode, 0)
                self.assertEqual(sorted(os.listdir(self.path("d"))), ["a.txt"])


@unittest.skipIf(UNDER_WINE, "folders swapped, and other users, natively")
class Folders(InPlace):
    """The copy is made, renamed and removed in the folder the file was
    loaded from, held from the first look at a copy: a folder swapped for a
    link to another meanwhile is never acted in. A folder that takes no copy
    is said to."""

    def test_a_folder_swapped_for_a_link(self):
        if os.geteuid() != 0:
            self.skipTest("the swap is made as the folder's owner, the run as root")
        os.chmod(self.dir, 0o755)

        def setup():
            self.clear()
            os.mkdir(self.path("shared"), 0o777)
            os.chown(self.path("shared"), NOBODY, NOBODY)
            self.dated("shared/f.txt", "abc")
            os.mkdir(self.path("private"), 0o700)
            self.write("private/f.txt", "root's own text")
            self.write("private/.f.txt.txmorph~", "root's own copy")

        setup()
        folder_opened = self.nth_call("openat", b"O_DIRECTORY", "-q", "-ou", "shared/f.txt")
        rows = [("as the file is loaded", "flock", 1, 244),
                ("as the folder is opened", "openat", folder_opened, 244),
                ("as the copy is made", "fsync", 1, 0),
                ("as the text is written", "write", 1, 0)]
        for what, call, nth, code in rows:
            with self.subTest(what):
                setup()
                process, _ = self.hold(call, nth, "-q1", "-ou", "shared/f.txt", seconds=2)
                os.rename(self.path("shared"), self.path("moved"))
                os.symlink("private", self.path("shared"))
                _, err = process.communicate(timeout=120)
                self.assertEqual(process.returncode, code, err)
                self.assertEqual(sorted(os.listdir(self.path("private"))),
                                 [".f.txt.txmorph~", "f.txt"])
                self.assertEqual(self.read("private/f.txt"), b"root's own text")
                self.assertEqual(self.read("private/.f.txt.txmorph~"), b"root's own copy")
                self.assertEqual(os.listdir(self.path("moved")), ["f.txt"])
                self.assertEqual(self.read("moved/f.txt"),
                                 b"\xef\xbb\xbfabc" if code == 0 else b"abc")
                if code != 0:
                    self.assertEqual(err, b'FATAL! "shared/f.txt" changed since it was loaded;'
                                          b" nothing written\n")

    def test_a_folder_that_takes_no_copy(self):
        self.other_user()
        os.chmod(self.dir, 0o755)
        long_name = "f" * 250
        rows = [
            # the folder's mode and owner, the file's name and owner, the runner
            ("a folder it cannot read", 0o300, NOBODY, "f.txt", NOBODY, 5),
            ("a folder that takes no new file", 0o755, 0, "f.txt", NOBODY, 5),
            ("no name that long", 0o755, 0, long_name, 0, 206)]
        for what, mode, owner, name, runner, error in rows:
            with self.subTest(what):
                self.clear()
                os.mkdir(self.path("d"))
                self.dated(f"d/{name}", "abc")
                os.chown(self.path(f"d/{name}"), runner, runner)
                os.chown(self.path("d"), owner, owner)
                os.chmod(self.path("d"), mode)
                before = self.state(f"d/{name}")
                code, err = self.tm("-q1", "-ou", f"d/{name}",
                                    preexec_fn=as_user(runner, runner) if runner else None)
                reason = {5: b"Access is denied.", 206: b"The filename or extension is too long."}
                self.assertEqual((code, err), (245, b'FATAL! (%d) cannot make the safety copy'
                                                    b' "d/.%s.txmorph~"; nothing written -- %s\n'
                                               % (error, name.encode(), reason[error]) +
                                               NO_COPY_HERE))
                self.assertEqual(self.state(f"d/{name}"), before)
                self.assertEqual(os.listdir(self.path("d")), [name])


class Kills(InPlace):
    """A run killed where nothing can hold the kill (SIGKILL, held there by
    strace). Killed as it writes the text: the next run writes nothing and
    says how to go on, and --restore puts the old text back, with its size
    and dates, in the same file. Killed once the new text was whole: --restore
    refuses, and the next run clears the copy away and converts."""

    def test_killed_then_put_back(self):
        text = utf8_text(300_000)
        for call in ("write", "unlinkat"):
            with self.subTest(call):
                self.clear()
                self.dated("a.txt", text)
                inode = os.stat(self.path("a.txt")).st_ino
                process, pid = self.hold(call, 1, "-q", "-ow", "a.txt")
                os.kill(pid, signal.SIGKILL)
                process.communicate(timeout=120)
                if call == "write":
                    self.assertOnly("a.txt", UNFINISHED)
                    self.assertEqual(self.tm("-q1", "-ia", "-ow", "a.txt"), (245, LEFT))
                    self.assertEqual(self.tm("--restore", "a.txt"), (0, RESTORED))
                    self.assertEqual(os.stat(self.path("a.txt")).st_atime_ns, LOADED_AT)
                    self.assertEqual(self.state("a.txt"), (digest(text), LOADED_AT, inode))
                else:
                    self.assertOnly("a.txt", FINISHED)
                    self.assertEqual(self.tm("--restore", "a.txt"), (242, DONE))
                    self.assertConverted("a.txt", as_wide(text))
                    self.assertEqual(self.tm("-q1", "-ou", "a.txt"), (0, b""))
                    self.assertEqual(self.read("a.txt"), b"\xef\xbb\xbf" + text)
                self.assertOnly("a.txt")

    def test_a_new_output_appears_whole_or_not_at_all(self):
        """A file that was not there is written without a name and named once
        whole: a run killed as it writes leaves none, and a name taken
        meanwhile is left as it is."""
        text = utf8_text(300_000)
        for call, sig in (("write", signal.SIGKILL), ("write", signal.SIGINT), ("linkat", None)):
            with self.subTest(call, signal=sig):
                self.clear()
                self.dated("a.txt", text)
                process, pid = self.hold(call, 1, "-q1", "-oa", "a.txt", "out.txt")
                if sig is not None:
                    os.kill(pid, sig)
                    process.communicate(timeout=120)
                    self.assertOnly("a.txt")
                    continue
                self.write("out.txt", b"planted")
                _, err = process.communicate(timeout=120)
                self.assertEqual((process.returncode, err),
                                 (244, b'FATAL! (183) cannot create "out.txt" -- Cannot create a'
                                       b' file when that file already exists.\n'))
                self.assertEqual(self.read("out.txt"), b"planted")
                self.assertOnly("a.txt", "out.txt")


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

    def test_the_copy_is_its_owners_alone_and_dated_as_the_file(self):
        # Kept after a failed close, where it can be looked at.
        for mode in (0o600, 0o640, 0o755):
            self.dated("a.txt", "abc")
            os.chmod(self.path("a.txt"), mode)
            code, _ = self.tm("-q", "-ou", "a.txt", env={"PLAT_FAIL_CLOSE": "1"})
            self.assertEqual(code, 245)
            st = os.stat(self.path(UNFINISHED))
            self.assertEqual((st.st_mode & 0o777, st.st_mtime_ns), (0o600, LOADED_AT))
            os.unlink(self.path(UNFINISHED))

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
            sent = rng.choice([signal.SIGINT, signal.SIGTERM, signal.SIGHUP, signal.SIGQUIT,
                               signal.SIGUSR1, signal.SIGALRM])
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

    def test_every_signal_that_ends_a_process_waits(self):
        # Sent as the text is about to be written (held there by strace). PIPE
        # and XFSZ end no run: a write to a closed pipe or past a limit fails.
        text = utf8_text(100_000)
        for sent in (signal.SIGUSR1, signal.SIGUSR2, signal.SIGALRM, signal.SIGVTALRM,
                     signal.SIGPROF, signal.SIGXCPU, signal.SIGIO, signal.SIGPWR,
                     signal.SIGRTMIN + 2, signal.SIGRTMAX):
            with self.subTest(sent):
                self.dated("a.txt", text)
                process, pid = self.hold("write", 1, "-q", "-ow", "a.txt", seconds=1.5)
                os.kill(pid, sent)
                process.communicate(timeout=120)
                self.assertEqual(process.returncode, -sent)
                self.assertConverted("a.txt", as_wide(text))
                self.assertOnly("a.txt")

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


class CopiedWhileRead(InPlace):
    """With no prompt to come (-x), a file of more than a block has its copy
    made while the pass before the writing one reads it. Whatever ends the run
    before the write leaves the file and its folder as they were, and is told
    as it is when the copy is made after that pass: the pass's messages first."""

    SIZE = 5_000_000  # more than a block: read from the disk, not held in memory

    def test_what_ends_the_run_first_leaves_no_copy(self):
        text = utf8_text(self.SIZE)
        bad = text + b"\xff\n"
        unflushed = {"PLAT_FAIL_FLUSH_AFTER": "0"}
        rows = [("converted", text, {}, False, 0, rb"\A\Z"),
                ("a failed check", bad, {}, False, 10, rb"\n  Stopped! "),
                ("a failed check and a copy not flushed", bad, unflushed, False, 10,
                 rb"\n  Stopped! (?!.*safety copy)"),
                ("a copy not flushed", text, unflushed, False, 245,
                 rb"\AFATAL! \(1117\) cannot make the safety copy"),
                ("a copy left over", text, {}, True, 245,
                 rb"\AFATAL! \".a.txt.txmorph~\" was left by a run that did not finish")]
        for what, data, env, leftover, code, said in rows:
            with self.subTest(what):
                if env and not (FAULT_INJECTION and not UNDER_WINE):
                    continue  # no fault switches in this build
                self.clear()
                self.dated("a.txt", data)
                names = ["a.txt"] + ([".a.txt.txmorph~"] if leftover else [])
                if leftover:
                    os.chmod(self.write(".a.txt.txmorph~", b"old"), 0o600)
                before = self.state("a.txt")
                got, err = self.tm("-q1", "-x", "-ow", "a.txt", env=env)
                self.assertEqual(got, code, err)
                self.assertRegex(err, re.compile(said, re.S))
                if code == 0:
                    self.assertConverted("a.txt", as_wide(data))
                else:
                    self.assertEqual(self.state("a.txt"), before)
                self.assertOnly(*names)

    def test_while_the_copy_is_flushed(self):
        # Held by strace as the copy is flushed, which the pass goes on past.
        text = utf8_text(self.SIZE)

        def append():
            with open(self.path("a.txt"), "ab") as f:
                f.write(b"more\n")
        rows = [("interrupted", lambda pid: os.kill(pid, signal.SIGTERM), -signal.SIGTERM),
                ("written meanwhile", lambda pid: append(), 244)]
        for what, meanwhile, code in rows:
            with self.subTest(what):
                self.clear()
                self.dated("a.txt", text)
                process, pid = self.hold("fsync", 1, "-q1", "-x", "-ow", "a.txt", seconds=1.5)
                meanwhile(pid)
                _, err = process.communicate(timeout=120)
                self.assertEqual(process.returncode, code, err)
                if code == 244:
                    self.assertTrue(err.endswith(b'FATAL! "a.txt" changed since it was loaded;'
                                                 b" nothing written\n"), err[-200:])
                else:
                    self.assertEqual(self.state("a.txt")[:2], (digest(text), LOADED_AT))
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
try:
    os.setpgid(pid, pid)
except PermissionError:
    pass  # the child has made its group and run the program already
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


if __name__ == "__main__":
    unittest.main()
