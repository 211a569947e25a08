"""txmorph on many files in one run (--each) and checking files without
writing anything (--check): a tree of every kind of file - reversible,
lossy, stopped, the same file under another name, one that cannot be loaded,
one another run holds - each with its messages, its result line, its bytes
and its date; the summary and the worst file's exit code; names on standard
input; the prompt's answers for every later file; a re-run that converts
nothing twice; Ctrl+C between files; the words txmorph does not know.

Locks, other users, terminals and signals need a native run; each case
that cannot run says why.
"""
import fcntl
import os
import re
import signal
import unittest

from harness import NOBODY, UNDER_WINE, as_user, fatal, run, why_no_other_user
from test_in_place import ENV, LOADED_AT, InPlace
from test_txmorph import LOST_1_2, NOT_FOUND, PROMPT_END, Terminal

WORDS = (b"REVERSIBLE", b"LOSSY", b"DECLINED", b"STOPPED", b"SKIPPED", b"FAILED")
RESULT = re.compile(rb'^(%s) "(.*)"\n' % b"|".join(WORDS), re.M)
CONVERTED_LOSSY = b"  converted (2) to ANSI 1252 -- LOSSY (to \\x0F)\n"
INVALID = (b"  Warning! not valid UTF8 text at offset 7\n"
           b"  Stopped! first character of unicode file is not 0xFEFF\n"
           b"  Hint! -s- converts it anyway\n")
ALSO_UTF8 = b"  Warning! the input is also valid UTF-8 (-iu)\n"
STOPPED_UTF8 = b"  Stopped! the input is also valid UTF-8 (-iu)\n"
HELD = b"The process cannot access the file because it is being used by another process."
FRENCH = "c\u0153ur d\u00e9\u00e7u\n"  # in 1252 and 437 alike: no loss either way


def summary(words):
    return (b"%d files: %d reversible, %d lossy, %d declined, %d stopped, %d skipped, %d failed\n"
            % (len(words), *(words.count(word) for word in WORDS)))


def results(err):
    """The (word, name) of each result line, in order."""
    return RESULT.findall(err)


class Each(InPlace):
    def each(self, *args, stdin=b"", user=None):
        """A run with no terminal (a lossy file in place is declined), as
        `user` when given; returns (exit code, stdout, stderr)."""
        return run(self.exe, *args, stdin=stdin, cwd=self.dir, env=ENV, start_new_session=True,
                   preexec_fn=as_user(user, user) if user is not None else None)

    def texts(self, names):
        """Each name's text and date (what is no file is left out)."""
        return {name: (self.read(name), os.stat(self.path(name)).st_mtime_ns)
                for name in names if os.path.isfile(self.path(name))}


class Tree(Each):
    """One file of each kind, given in one run: every file gets its own
    messages and result line, in the order named, the run goes on past every
    failure, and the exit code is the worst file's."""

    def plant(self):
        """Writes the tree, each file dated LOADED_AT; returns the rows
        (name, kind, converted text) in the order they are named, and the user
        to run as (another, when one can, so that a file can be unreadable)."""
        user = None if UNDER_WINE or why_no_other_user() else NOBODY
        rows = [("r.txt", "reversible", b"caf\xe9\n"),
                ("w.txt", "reversible", b"na\xefve\r\n"),
                ("l.txt", "lossy", b"x\x0f"),
                ("s.bin", "stopped", None),
                ("hard.txt", "same", None),
                ("sym.txt", "same", None),
                ("r.txt", "same", None),
                ("d", "directory", None),
                ("missing.txt", "missing", None)]
        self.dated("r.txt", "caf\u00e9\n")
        self.dated("w.txt", b"\xff\xfe" + "na\u00efve\r\n".encode("utf-16-le"))
        self.dated("l.txt", "x\u4e00")
        self.dated("s.bin", b"caf\xc3\xa9 \xff bad\n")
        os.link(self.path("r.txt"), self.path("hard.txt"))
        os.symlink("r.txt", self.path("sym.txt"))
        os.mkdir(self.path("d"))
        if not UNDER_WINE:  # Wine keeps its own share modes: a lock is not seen there
            self.dated("held.txt", "held")
            rows.append(("held.txt", "held", None))
        if user is not None:
            self.dated("u.txt", "no one else's")
            os.chmod(self.path("u.txt"), 0o600)
            rows.append(("u.txt", "unreadable", None))
            for name in os.listdir(self.dir):
                if name != "u.txt":
                    os.lchown(self.path(name), user, user)
            os.chown(self.dir, user, user)
        return rows, user

    def expected(self, kind, name, mode):
        """(word, the -q1 messages before the result line as a pattern) of a
        file of `kind` in a run of `mode`: "-x", "ask" (no -x, no terminal) or
        "--check"."""
        if kind == "reversible":
            return b"REVERSIBLE", b""
        if kind == "lossy":
            if mode == "ask":
                return b"DECLINED", (re.escape(CONVERTED_LOSSY + LOST_1_2 + b'  Write to "l.txt" ')
                                     + PROMPT_END.pattern + b"No\n")
            return b"LOSSY", re.escape(LOST_1_2)
        if kind == "stopped":
            return b"STOPPED", re.escape(INVALID)
        if kind == "same":
            return b"SKIPPED", b""  # a check tells what a run would find
        line = b'FATAL! (%d) cannot load "%s"' % ({"directory": 5, "missing": 2, "held": 32,
                                                 "unreadable": 5}[kind], name.encode())
        reason = {"directory": b"Is a directory", "missing": NOT_FOUND, "held": HELD,
                  "unreadable": b"Access is denied."}[kind]
        return b"FAILED", fatal(line, reason)

    def test_a_tree_of_every_kind(self):
        rows = [
            # options, the files named (all: every kind), the exit code
            (["-q1", "-x"], ["r.txt", "w.txt"], 0),
            (["-q1", "-x"], ["l.txt", "r.txt", "hard.txt"], 5),
            (["-q1", "-x"], ["s.bin", "l.txt", "w.txt"], 10),
            (["-q1", "-x"], "all", 242),
            (["-q1"], "all", 243),
            (["-q1", "--check"], "all", 242),
            (["-q", "-x"], "all", 242)]
        for options, names, code in rows:
            with self.subTest(options=options, names=names):
                self.clear()
                tree, user = self.plant()
                if names != "all":  # each name's first row, in the order given
                    first = {}
                    for row in reversed(tree):
                        first[row[0]] = row
                    tree = [first[name] for name in names]
                mode = "--check" if "--check" in options else "-x" if "-x" in options else "ask"
                planted = sorted(os.listdir(self.dir))
                old = self.texts(name for name, kind, _ in tree if kind != "same")
                held = open(self.path("held.txt"), "rb") if not UNDER_WINE else None
                try:
                    if held:
                        fcntl.flock(held, fcntl.LOCK_EX)
                    got, out, err = self.each(*options, "--each", *(name for name, _, _ in tree),
                                              user=user)
                finally:
                    if held:
                        held.close()
                pattern, words = b"", []
                for name, kind, converted in tree:
                    word, messages = self.expected(kind, name, mode)
                    words.append(word)
                    pattern += messages + re.escape(b'%s "%s"\n' % (word, name.encode()))
                pattern += re.escape(summary(words))
                if "-q" in options:
                    pattern = b""
                self.assertEqual((got, out), (code, b""), err)
                self.assertRegex(err, rb"\A" + pattern + rb"\Z")
                # Each file's bytes and date: the new text where it was written.
                written = {name: converted for (name, _, converted), word in zip(tree, words)
                           if word in (b"REVERSIBLE", b"LOSSY") and mode != "--check"}
                for name, (text, _) in old.items():
                    self.assertEqual(self.texts([name])[name],
                                     (written.get(name, text), LOADED_AT), name)
                self.assertOnly(*planted)
                self.assertEqual(os.stat(self.path("hard.txt")).st_ino,
                                 os.stat(self.path("r.txt")).st_ino)
                self.assertTrue(os.path.islink(self.path("sym.txt")))

    def test_messages_stay_together_in_the_order_named(self):
        # The first file is the largest: the others are done before it.
        names = ["f%02d.txt" % i for i in range(16)]
        sizes = [len("\u00e9t\u00e9\n".encode()) * (400_000 >> i) for i in range(16)]
        for name, size in zip(names, sizes):
            self.dated(name, "\u00e9t\u00e9\n" * (size // 6))
        code, _, err = self.each("-q0", "--each", *names)
        self.assertEqual(code, 0)
        blocks = re.split(rb"(?<=\n)(?=Loaded \()", err)
        self.assertEqual(len(blocks), len(names), err[:2000])
        for name, size, block in zip(names, sizes, blocks):
            self.assertTrue(block.startswith(b'Loaded (%d) "%s"\n' % (size, name.encode())),
                            block)
            self.assertTrue(block.endswith(b'REVERSIBLE "%s"\n' % name.encode()) or
                            block == blocks[-1], block)
        self.assertTrue(err.endswith(b'REVERSIBLE "f15.txt"\n' + summary([b"REVERSIBLE"] * 16)))

    def test_a_check_of_one_file_writes_nothing(self):
        self.dated("l.txt", "x\u4e00")
        for args, code in ((["l.txt"], 5), (["l.txt", "out.txt"], 5), (["-x-", "l.txt"], 5)):
            with self.subTest(args):
                got, out, err = self.each("-q1", "--check", *args)
                self.assertEqual((got, out), (code, b""))
                self.assertIn(b'LOSSY "l.txt"\n', err)
                self.assertIsNone(PROMPT_END.search(err), err)
                self.assertEqual(self.texts(["l.txt"]), {"l.txt": ("x\u4e00".encode(), LOADED_AT)})
                self.assertOnly("l.txt")


class Names(Each):
    """Names after --each, or one a line on standard input (LF, CR LF or NUL
    ends a line, blank lines are skipped, quotes around a line go)."""

    def test_names_on_the_command_line_and_on_standard_input(self):
        rows = [
            # the words after --each, standard input, the names converted
            ([], b"", []),
            ([], b"a.txt\0b c.txt\0", ["a.txt", "b c.txt"]),
            ([], b"a.txt\r\n\r\nb c.txt\r\n", ["a.txt", "b c.txt"]),
            ([], b'\n"b c.txt"\na.txt', ["b c.txt", "a.txt"]),
            (["a.txt"], b"b c.txt\n", ["a.txt"]),  # names given: standard input is no list
            (["--check", "-x"], b"a.txt\n", ["--check", "-x"])]  # options are over
        for args, stdin, names in rows:
            with self.subTest(args=args, stdin=stdin):
                self.clear()
                for name in ("a.txt", "b c.txt"):
                    self.dated(name, "\u00e9t\u00e9\n")
                code, out, err = self.each("-q1", "--each", *args, stdin=stdin)
                words = [b"FAILED" if name.startswith("-") else b"REVERSIBLE" for name in names]
                self.assertEqual(results(err), [(word, name.encode())
                                                for word, name in zip(words, names)])
                self.assertTrue(err.endswith(summary(words)), err)
                self.assertEqual((code, out), (242 if b"FAILED" in words else 0, b""))
                for name in ("a.txt", "b c.txt"):
                    self.assertEqual(self.read(name), b"\xe9t\xe9\n" if name in names
                                     else "\u00e9t\u00e9\n".encode())
                    self.assertEqual(os.stat(self.path(name)).st_mtime_ns, LOADED_AT)


class AlsoUtf8(Each):
    """Text that is already UTF-8 read as a code page stops a run of a file,
    so that a run made twice does not garble what the first converted."""

    def test_utf8_read_as_a_code_page(self):
        utf8 = FRENCH.encode()
        garbled = b"\xef\xbb\xbf" + utf8.decode("cp1252").encode()
        rows = [
            # options, text, exit code, messages, text after (None: as it was)
            (["-ia", "-ou"], utf8, 10, STOPPED_UTF8, None),
            (["-id", "-ow"], utf8, 10, STOPPED_UTF8, None),
            (["-ia", "-ou"], b"\xef\xbb\xbfplain\n", 10, STOPPED_UTF8, None),  # the mark alone
            (["-s-", "-ia", "-ou"], utf8, 0, ALSO_UTF8, garbled),
            (["-ia", "-ou"], b"plain\n", 0, b"", b"\xef\xbb\xbfplain\n"),
            (["-ia", "-ou", "<"], utf8, 0, ALSO_UTF8, garbled)]  # stopping is off for stdin
        for options, text, code, message, after in rows:
            with self.subTest(options=options, text=text):
                self.dated("f.txt", text)
                stdin = text if "<" in options else b""
                got, out, err = self.each("-q1", *options, *([] if stdin else ["f.txt"]),
                                          stdin=stdin)
                self.assertEqual(got, code)
                # A stop may be followed by the line that says how to go on.
                self.assertEqual(err[:len(message)] if code == 10 else err, message)
                self.assertEqual(out if stdin else self.read("f.txt"), after or text)

    def test_a_second_run_changes_nothing(self):
        os.mkdir(self.path("sub"))
        files = {"fr.txt": FRENCH.encode("cp1252"), "plain.txt": b"plain\r\n",
                 "sub/fr.txt": FRENCH.encode("cp1252") * 100}
        for name, text in files.items():
            self.dated(name, text)
        code, _, err = self.each("-q1", "-ia", "-ou", "--each", *files)
        self.assertEqual((code, err), (0, b"".join(b'REVERSIBLE "%s"\n' % name.encode()
                                                   for name in files) + summary([b"REVERSIBLE"] * 3)))
        first = self.texts(files)
        self.assertEqual(first["fr.txt"], (b"\xef\xbb\xbf" + FRENCH.encode(), LOADED_AT))
        code, _, err = self.each("-q1", "-ia", "-ou", "--each", *files)
        self.assertEqual(code, 10)
        self.assertEqual(results(err), [(b"STOPPED", name.encode()) for name in files])
        self.assertEqual(err.count(STOPPED_UTF8), 3)
        self.assertTrue(err.endswith(summary([b"STOPPED"] * 3)))
        self.assertEqual(self.texts(files), first)


class Words(Each):
    """A word txmorph does not know ends the run before any file is read: a
    misspelt --check must not convert them all."""

    def test_a_word_before_each(self):
        self.dated("a.txt", "\u00e9\n")
        rows = [(["--chek", "--each", "a.txt"], 240, b"Unknown command line option: --chek\n"),
                (["-q", "--each-file", "a.txt"], 240, b""),
                (["--help", "--each", "a.txt"], 241, None)]
        for args, code, message in rows:
            with self.subTest(args):
                got, out, err = self.each(*args)
                self.assertEqual((got, out), (code, b""))
                if message is not None:
                    self.assertEqual(err, message)
                self.assertEqual(self.texts(["a.txt"]), {"a.txt": ("\u00e9\n".encode(), LOADED_AT)})


@unittest.skipIf(UNDER_WINE, "Wine has no terminal to ask on")
class Answers(Terminal):
    """A and Q at the prompt answer for this file and every later lossy one:
    one question, and the reversible files between are converted."""

    def test_all_and_quit(self):
        names = ["r1.txt", "l1.txt", "l2.txt", "r2.txt", "l3.txt"]
        for key, lossy, code in ((b"A", b"LOSSY", 5), (b"Q", b"DECLINED", 243)):
            with self.subTest(key):
                for name in names:
                    self.write(name, "x\u4e00" if name[0] == "l" else "\u00e9")
                    self.set_mtime(name, LOADED_AT)
                got, err = self.answer([key], "-q1", "--each", *names)
                err = self.prompt_output + err
                words = [lossy if name[0] == "l" else b"REVERSIBLE" for name in names]
                self.assertEqual(got, code)
                self.assertEqual(len(PROMPT_END.findall(err)), 1, err)
                self.assertEqual(results(err), [(word, name.encode())
                                                for word, name in zip(words, names)])
                self.assertTrue(err.endswith(summary(words)), err)
                for name in names:
                    text = b"\xe9" if name[0] == "r" else b"x\x0f" if key == b"A" else \
                        "x\u4e00".encode()
                    self.assertEqual(self.read(name), text)
                    self.assertEqual(self.mtime(name), LOADED_AT)


@unittest.skipIf(UNDER_WINE, "Ctrl+C is sent natively")
class CtrlC(Each):
    """Ctrl+C in the middle of a batch: the files under way are finished,
    no other is started, and the files done are reported and summed up
    before the run ends with the signal."""

    def test_ctrl_c_between_files(self):
        self.need_strace()
        names = ["f%03d.txt" % i for i in range(100)]
        for name in names:
            self.dated(name, "\u00e9t\u00e9\n" * 5000)
        # Held as the 90th file is locked to be loaded: files before it are
        # written by then (a group holds 64 at most), or being written.
        process, pid = self.hold("flock", 90, "-q1", "--each", *names, seconds=2)
        os.kill(pid, signal.SIGINT)
        _, err = process.communicate(timeout=120)
        self.assertEqual(process.returncode, -signal.SIGINT, err)
        done = [name.decode() for word, name in results(err)]
        self.assertEqual(done, names[:len(done)])
        self.assertTrue(0 < len(done) < len(names), len(done))
        self.assertEqual(err, b"".join(b'REVERSIBLE "%s"\n' % name.encode() for name in done) +
                         summary([b"REVERSIBLE"] * len(done)))
        for name in names:
            text = b"\xe9t\xe9\n" * 5000 if name in done else "\u00e9t\u00e9\n".encode() * 5000
            self.assertEqual(self.texts([name])[name], (text, LOADED_AT), name)
        self.assertOnly(*names)


if __name__ == "__main__":
    unittest.main()
