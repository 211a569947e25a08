"""txmorph on real files: the command line, the checks and their messages,
every output encoding, the verdict, standard input and output, writing in
place with the date/time kept, the overwrite prompt on a terminal, and the
failure exits.

Under Wine some things cannot be checked: it runs as root and writes to
read-only files, it has no terminal to ask on, it ends on the signal of a file
size limit, file names are not UTF-8, and paths are limited to 259
characters. Hidden and system files exist only there.
"""
import fcntl
import os
import pty
import random
import re
import resource
import select
import shutil
import signal
import subprocess
import sys
import termios
import time
import unittest

import hint_corpus
from harness import (RUNNER_KIND, SANITIZED, UNDER_VALGRIND, UNDER_WINE, TempDirTest, fatal,
                     launch, program, run)

HELP_LINES = b"""Syntax: txmorph [options] [infile|"<" [outfile|">"]]
  -?    This help
  --    End of options
  -ia -id -iu -iw  Input  is ANSI/win, OEM/dos, UTF-8 or UTF-16LE/wide unicode
  -oa -od -ou -ow  Output is as above
  -s-   Do not stop if Unicode input has no BOM prefix (default for STDIN)
  -r    Raw output: do not insert Unicode BOM
  -x    Do not ask about lossy converting (default if no overwrite)
  -t    Do not keep date/time on output file
  -q[L] Suppress messages: None -q- or -q0; Info -q1; Max -q

  Reads/writes "<" and ">" (STDIN and STDOUT) if no filenames given
  Default input  is -iu (or -iw if it can be autodetected by BOM)
  Default output is -oa
  Due to loading whole file into memory, can check lossy/reversible status
    in advance and overwrite the file in place
  --each [NAME...]  Convert each file in place; no names: one a line from STDIN
  --check  Write nothing: tell what converting each file would find
  --losses[=N]  List the first 100 (or N) lost characters
  --restore NAME  Put back the old text of an unfinished in-place run
"""
BANNER = re.compile(rb"^txmorph [^\n]*\[[A-Z][a-z]{2} \d\d \d{4}\]\n")

NO_MARK = b"  Warning! first character of unicode file is not 0xFEFF\n"
STOPPED_NO_MARK = b"  Stopped! first character of unicode file is not 0xFEFF\n"
ANYWAY = b"  Hint! -s- converts it anyway\n"
NOT_FOUND = b"The system cannot find the file specified."
DENIED = b"Access is denied."
LOST_1_1 = b"  Warning! characters lost: 1, the first at line 1, column 1\n"
LOST_1_2 = b"  Warning! characters lost: 1, the first at line 1, column 2\n"
T2020 = 1_577_836_800  # 2020-01-01 00:00:00 UTC
# The end of the prompt: one file's, or a batch's that takes A and Q too.
PROMPT_END = re.compile(rb"\[Y/N(?:/A/Q)?\]\? ")


class Txmorph(TempDirTest):
    def setUp(self):
        super().setUp()
        self.exe = program("TXMORPH")

    def tm(self, *args, stdin=b"", lang="C", **process_options):
        """Runs in the temporary directory, in UTC, with the locale given;
        process_options (a new session, a limit) go to subprocess."""
        env = {"LANG": lang, "LC_ALL": "", "LC_CTYPE": "", "TZ": "UTC"}
        if not process_options:
            return run(self.exe, *args, stdin=stdin, cwd=self.dir, env=env)
        command, check = launch(self.exe, *args)
        done = subprocess.run(command, input=stdin, capture_output=True, cwd=self.dir,
                              env=dict(os.environ, **env), timeout=120, **process_options)
        check()
        return done.returncode, done.stdout, done.stderr

    def mtime(self, name):
        return os.stat(self.path(name)).st_mtime_ns

    def set_mtime(self, name, ns):
        os.utime(self.path(name), ns=(ns, ns))


class Help(Txmorph):
    def assertHelp(self, err):
        match = BANNER.match(err)
        self.assertIsNotNone(match, err[:80])
        self.assertEqual(err[match.end():], HELP_LINES)

    def test_no_arguments_question_mark_and_h(self):
        for args in [(), ("-?",), ("-h",), ("-q", "-hx"), ("-ou", "-?", "-z"), ("--help",)]:
            code, out, err = self.tm(*args)
            self.assertEqual(code, 241, args)
            self.assertEqual(out, b"")
            self.assertHelp(err)

    def test_the_first_unknown_option_decides(self):
        cases = [(("-z",), b"-z"), (("-z", "-?"), b"-z"), (("-",), b"-"), (("-i",), b"-i"),
                 (("-ix",), b"-ix"), (("-Q",), b"-Q")]
        for args, shown in cases:
            code, out, err = self.tm(*args)
            self.assertEqual((code, out), (240, b""), args)
            self.assertEqual(err, b"Unknown command line option: " + shown + b"\n")
        code, _, err = self.tm("-q", "-z")
        self.assertEqual((code, err), (240, b""))
        # A misspelt word must not convert in place: every --word is known.
        self.write("a.txt", "x")
        for word in ["--foo", "--chek", "--each=1", "--losses5", "--restorex", "--help2"]:
            code, _, err = self.tm(word, "a.txt")
            self.assertEqual((code, err), (240, b"Unknown command line option: -%s\n"
                                           % word[1:].encode()), word)
        self.assertEqual(self.read("a.txt"), b"x")
        code, out, err = self.tm("--version", "a.txt")
        self.assertEqual((code, out), (0, b""))
        self.assertRegex(err, BANNER.pattern + rb"\Z")


class Names(Txmorph):
    def test_one_name_is_converted_in_place(self):
        self.write("a.txt", "caf\u00e9\n")
        code, _, err = self.tm("a.txt")
        self.assertEqual(code, 0)
        self.assertEqual(self.read("a.txt"), b"caf\xe9\n")
        self.assertEqual(err, b'Loaded (6) "a.txt"\n' + NO_MARK +
                         b"  input length [UTF8] = 5\n"
                         b"  converted (5) to ANSI 1252 -- REVERSIBLE\n")

    def test_after_double_dash_a_dash_is_a_name(self):
        self.write("-a.txt", "x")
        code, _, _ = self.tm("-q", "-ou", "--", "-a.txt")
        self.assertEqual(code, 0)
        self.assertEqual(self.read("-a.txt"), b"\xef\xbb\xbfx")

    def test_options_end_at_the_first_name_and_a_third_name_is_ignored(self):
        self.write("in.txt", "abc")
        code, _, _ = self.tm("-q", "in.txt", "-iu", "third")
        self.assertEqual(code, 0)
        self.assertEqual(self.read("-iu"), b"abc")
        self.assertFalse(os.path.exists(self.path("third")))

    @unittest.skipIf(UNDER_WINE, "Windows paths are shorter than 300 characters")
    def test_a_long_name_is_never_cut(self):
        parts = ["d" * 100, "e" * 100, "f" * 98]
        os.makedirs(self.path(os.path.join(*parts[:2])))
        name = "/".join(parts)
        self.assertEqual(len(name), 300)
        self.write(name, "long")
        self.write(name[:275], "")  # the name cut where a short reader would cut it
        code, _, err = self.tm("-q", "-ou", name)
        self.assertEqual((code, err), (0, b""))
        self.assertEqual(self.read(name), b"\xef\xbb\xbflong")
        self.assertEqual(self.read(name[:275]), b"")


class MessageLevels(Txmorph):
    def setUp(self):
        super().setUp()
        self.write("a.txt", "abc")

    def test_levels(self):
        info = (b'Loaded (3) "a.txt"\n' + NO_MARK + b"  input length [UTF8] = 3\n"
                b"  converted (3) to ANSI 1252 -- REVERSIBLE\n")
        for level, expected in [("-q-", info), ("-q0", info), ("-q1", b""), ("-q", b""),
                                ("-q5", b""), ("-q12", b"")]:
            code, _, err = self.tm(level, "a.txt", "b.txt")
            self.assertEqual((code, err), (0, expected), level)

    def test_standard_input_is_quiet_unless_q_minus(self):
        code, out, err = self.tm("-r", stdin=b"abc")
        self.assertEqual((code, out, err), (0, b"abc", b""))
        code, out, err = self.tm("-q0", stdin=b"abc")
        self.assertEqual((code, out, err), (0, b"abc", b""))
        code, out, err = self.tm("-q-", "-ou", stdin=b"abc")
        self.assertEqual((code, out), (0, b"\xef\xbb\xbfabc"))
        self.assertEqual(err, b'Loaded (3) "<"\n' + NO_MARK + b"  input length [UTF8] = 3\n"
                         b"  converted (6) to UTF8 -- REVERSIBLE\n")


class Checks(Txmorph):
    def check(self, data, *options):
        self.write("in", data)
        return self.tm(*options, "in", "out")

    def test_wide_input_is_detected_by_ff_fe(self):
        code, _, err = self.check(b"\xff\xfeA\x00", "-ou")
        self.assertEqual(code, 0)
        self.assertEqual(self.read("out"), b"\xef\xbb\xbfA")
        self.assertEqual(err, b'Loaded (4) "in"\n  NOTE! Leading 0xFEFF removed\n'
                         b"  input length [WIDE] = 1\n  converted (4) to UTF8 -- REVERSIBLE\n")

    def test_odd_wide_size_stops_or_warns(self):
        code, _, err = self.check(b"\xff\xfeA")
        self.assertEqual(code, 10)
        self.assertEqual(err, b'Loaded (3) "in"\n'
                         b"  Stopped! filesize is not even for wide unicode file\n" + ANYWAY)
        self.assertFalse(os.path.exists(self.path("out")))
        # Going on without it loses the odd byte: after the last character.
        code, _, err = self.check(b"\xff\xfeA", "-s-", "-q1")
        self.assertEqual((code, err), (5, LOST_1_1))
        self.assertEqual(self.read("out"), b"")

    def test_invalid_utf8_without_mark_stops_with_mark_converts(self):
        code, _, err = self.check(b"A\xc3")
        self.assertEqual(code, 10)
        self.assertEqual(err, b'Loaded (2) "in"\n'
                         b"  Warning! not valid UTF8 text at offset 2\n" + STOPPED_NO_MARK +
                         b"  Hint! the text reads as ANSI (1252): add -ia\n")
        code, _, err = self.check(b"A\x00B", "-q1")
        self.assertEqual(code, 10)
        self.assertEqual(err, b"  Warning! not valid UTF8 text at offset 2\n" + STOPPED_NO_MARK +
                         ANYWAY)
        self.assertFalse(os.path.exists(self.path("out")))
        # Converted anyway, and the byte C0 is lost.
        code, _, err = self.check(b"\xef\xbb\xbfA\xc0B", "-q1", "-ou")
        self.assertEqual((code, err), (5, b"  Warning! not valid UTF8 text at offset 5\n"
                                          b"  Warning! characters lost: 1, the first at line 1,"
                                          b" column 2\n"))
        self.assertEqual(self.read("out"), "\ufeffA\ufffdB".encode())

    def test_explicit_stop_applies_to_standard_input(self):
        code, out, err = self.tm("-s", "-q-", stdin=b"a\xc3")
        self.assertEqual((code, out), (10, b""))
        self.assertTrue(err.endswith(STOPPED_NO_MARK + ANYWAY))

    def test_big_endian_utf16_is_not_utf8(self):
        code, _, err = self.check(b"\xfe\xff\x00A")
        self.assertEqual(code, 10)
        self.assertIn(b"not valid UTF8 text at offset 1\n", err)


class Outputs(Txmorph):
    def convert(self, data, *options, exit_code=0):
        self.write("in", data)
        code, _, err = self.tm("-q", *options, "in", "out")
        self.assertEqual((code, err), (exit_code, b""), options)
        return self.read("out")

    def test_every_output_encoding_with_and_without_mark(self):
        text = "\ufeffA\u00e9\u20ac".encode()
        self.assertEqual(self.convert(text, "-oa"), b"A\xe9\x80")
        self.assertEqual(self.convert(text, "-oa", "-r"), b"A\xe9\x80")
        self.assertEqual(self.convert(text, "-od", exit_code=5), b"A\x82\x0f")
        self.assertEqual(self.convert(text, "-ou"), b"\xef\xbb\xbfA\xc3\xa9\xe2\x82\xac")
        self.assertEqual(self.convert(text, "-ou", "-r"), b"A\xc3\xa9\xe2\x82\xac")
        self.assertEqual(self.convert(text, "-ow"), b"\xff\xfeA\x00\xe9\x00\xac\x20")
        self.assertEqual(self.convert(text, "-ow", "-r"), b"A\x00\xe9\x00\xac\x20")
        self.assertEqual(self.convert(b"", "-ou", "-r"), b"")
        self.assertEqual(self.convert(b"", "-ou"), b"\xef\xbb\xbf")

    def test_code_page_input(self):
        self.assertEqual(self.convert(b"\xef\xbb\xbf\x80", "-ia", "-ou", "-r"),
                         "\u00ef\u00bb\u00bf\u20ac".encode())
        self.assertEqual(self.convert(b"\x82\xb0", "-id", "-ow", "-r"), "\u00e9\u2591".encode(
            "utf-16-le"))

    def test_a_surrogate_pair_becomes_one_four_byte_character(self):
        wide = "\ufeff\U0001F600x".encode("utf-16-le")
        self.assertEqual(self.convert(wide, "-ou", "-r"), b"\xf0\x9f\x98\x80x")
        lone = b"\xff\xfe" + b"\x3d\xd8x\x00"  # a high surrogate alone
        self.assertEqual(self.convert(lone, "-ou", "-r"), b"\xed\xa0\xbdx")

    def test_lossy_is_0x0f_and_exit_5(self):
        self.write("in", "x\u4e00y")
        code, _, err = self.tm("-q1", "in", "out")
        self.assertEqual((code, err), (5, LOST_1_2))
        self.assertEqual(self.read("out"), b"x\x0fy")
        code, _, err = self.tm("-q-", "-s-", "in", "out")
        self.assertEqual(code, 5)
        self.assertTrue(err.endswith(b"  converted (3) to ANSI 1252 -- LOSSY (to \\x0F)\n"
                                     + LOST_1_2))
        code, _, err = self.tm("-q", "in", "out")
        self.assertEqual((code, err), (5, b""))

    def test_empty_input_makes_an_empty_file(self):
        self.write("in", b"")
        self.write("out", b"old")
        code, _, _ = self.tm("-q", "in", "out")
        self.assertEqual(code, 0)
        self.assertEqual(self.read("out"), b"")


class Verdict(Txmorph):
    """LOSSY whenever a character of the input does not come through as
    itself, in every output encoding; the bytes are the conversion's own."""

    def convert(self, data, *options):
        self.write("in", data)
        code, _, err = self.tm("-q1", *options, "in", "out")
        return code, err, self.read("out")

    def test_best_fit_is_lossy_and_keeps_its_bytes(self):
        code, err, out = self.convert("x \u221e \u0100\n".encode())
        self.assertEqual((code, out), (5, b"x 8 A\n"))
        self.assertEqual(err, b"  Warning! characters lost: 2, the first at line 1, column 3\n")
        code, err, out = self.convert("\u0100\u4e00".encode(), "-od")  # best fit and 0x0F
        self.assertEqual((code, out), (5, b"A\x0f"))

    def test_malformed_input_is_lossy_in_every_output(self):
        data = b"\xef\xbb\xbfcaf\xe9 ok\n"  # valid up to the byte E9
        for option, out in [("-ou", b"\xef\xbb\xbfcaf\xef\xbf\xbd ok\n"),
                            ("-ow", "\ufeffcaf\ufffd ok\n".encode("utf-16-le")),
                            ("-oa", b"caf\x0f ok\n")]:
            code, err, written = self.convert(data, option)
            self.assertEqual((code, written), (5, out), option)
            self.assertTrue(err.endswith(
                b"  Warning! characters lost: 1, the first at line 1, column 4\n"), option)
        # Forms the shape check lets pass: overlong, a surrogate, above U+10FFFF.
        # Each U+FFFD the decoder made of them is one character lost.
        code, err, out = self.convert(b"a\xe0\x80\x80b\xed\xa0\x80c\xf4\x90\x80\x80", "-s-",
                                      "-ou", "-r", "--losses")
        self.assertEqual(code, 5)
        text = out.decode()
        self.assertEqual(text.replace("\ufffd", ""), "abc")
        self.assertGreaterEqual(text.count("\ufffd"), 3)
        self.assertEqual(err.count(b": malformed input\n"), text.count("\ufffd"))

    def test_what_comes_through_is_no_loss(self):
        # The U+FFFD of the input, and a lone surrogate in its three-byte form.
        code, _, out = self.convert("a\ufffdb".encode(), "-ou", "-r")
        self.assertEqual((code, out), (0, "a\ufffdb".encode()))
        code, _, out = self.convert(b"\xff\xfe\x3d\xd8x\x00", "-ou", "-r")
        self.assertEqual((code, out), (0, b"\xed\xa0\xbdx"))

    def test_in_place_asks_before_a_best_fit_or_malformed_overwrite(self):
        for data, options in [("x \u221e \u0100\n".encode(), []),
                              (b"\xef\xbb\xbfcaf\xe9 ok\n", ["-ou"])]:
            self.write("f.txt", data)
            code, _, err = self.tm("-q", *options, "f.txt", start_new_session=True)
            self.assertEqual(code, 243)
            self.assertTrue(err.endswith(b'  Write to "f.txt" [Y/N]? No\n'), err)
            self.assertIn(b"  Warning! characters lost:", err)
            self.assertEqual(self.read("f.txt"), data)
            code, _, _ = self.tm("-q", "-x", *options, "f.txt")
            self.assertEqual(code, 5)

    def test_standard_input_loses_an_odd_byte_and_cut_sequences(self):
        code, out, _ = self.tm("-ou", "-r", stdin=b"\xff\xfeA\x00B")
        self.assertEqual((code, out), (5, b"A"))
        # Not cut by the end: every decoder keeps the A.
        code, out, _ = self.tm("-ow", "-r", stdin=b"xx\xe2Ay")
        self.assertEqual((code, out), (5, "xx\ufffdAy".encode("utf-16-le")))

    @unittest.skipIf(UNDER_WINE, "Wine's decoder drops what follows a sequence cut short by the end")
    def test_a_sequence_cut_short_by_the_end_swallows_nothing(self):
        code, out, _ = self.tm("-ow", "-r", stdin=b"xx\xe2A")
        self.assertEqual((code, out), (5, "xx\ufffdA".encode("utf-16-le")))
        code, out, _ = self.tm("-ou", "-r", stdin=b"\xf0\x9fA")
        self.assertEqual((code, out), (5, "\ufffdA".encode()))


class LossList(Txmorph):
    TEXT = "a\n\u221e b\n\u4e00\U0001F600z\u0100\n".encode()

    def test_losses_lists_a_hundred_and_losses_n_as_many(self):
        self.write("in", self.TEXT)
        code, _, err = self.tm("-q1", "--losses", "in", "out")
        self.assertEqual(code, 5)
        self.assertEqual(err, b"  Warning! characters lost: 4, the first at line 2, column 1\n"
                         b"    line 2, column 1: U+221E became 0x38\n"
                         b"    line 3, column 1: U+4E00 became 0x0F\n"
                         b"    line 3, column 2: U+1F600 became 0x0F0F\n"
                         b"    line 3, column 4: U+0100 became 0x41\n")
        code, _, err = self.tm("-q1", "--losses=1", "in", "out")
        self.assertEqual(err, b"  Warning! characters lost: 4, the first at line 2, column 1\n"
                         b"    line 2, column 1: U+221E became 0x38\n")
        # Listed whenever the loss line is shown: before a prompt, even with -q.
        code, _, err = self.tm("-q", "-x-", "--losses=1", "in", "out", start_new_session=True)
        self.assertEqual(code, 243)
        self.assertEqual(err, b"  converted (12) to ANSI 1252 -- LOSSY (to \\x0F)\n"
                         b"  Warning! characters lost: 4, the first at line 2, column 1\n"
                         b"    line 2, column 1: U+221E became 0x38\n"
                         b'  Write to "out" [Y/N]? No\n')
        code, _, err = self.tm("-q", "--losses", "in", "out")
        self.assertEqual((code, err), (5, b""))

    def test_malformed_input_and_a_dropped_byte_are_listed_as_such(self):
        self.write("in", b"\xff\xfe" + "\u00e9\n\u4e00".encode("utf-16-le") + b"!")
        code, _, err = self.tm("-q1", "-s-", "--losses", "in", "out")
        self.assertEqual(code, 5)
        self.assertEqual(err, b"  Warning! characters lost: 2, the first at line 2, column 1\n"
                         b"    line 2, column 1: U+4E00 became 0x0F\n"
                         b"    line 2, column 2: malformed input\n")
        self.write("in", b"ok\n\x80\xc3(")
        code, _, err = self.tm("-q1", "-s-", "-ow", "--losses=5", "in", "out")
        self.assertEqual(err, b"  Warning! characters lost: 2, the first at line 2, column 1\n"
                         b"    line 2, column 1: malformed input\n"
                         b"    line 2, column 2: malformed input\n")

    def test_a_bad_count_is_an_unknown_option(self):
        self.write("in", "x")
        code, _, err = self.tm("--losses=many", "in", "out")
        self.assertEqual((code, err), (240, b"Unknown command line option: --losses=many\n"))
        self.assertFalse(os.path.exists(self.path("out")))

    @unittest.skipIf(UNDER_WINE, "the code pages of a Japanese locale are a POSIX setting")
    def test_double_byte_codes(self):
        self.write("in", "x\u00a2\u3042".encode())
        code, _, err = self.tm("-q1", "--losses", "in", "out", lang="ja_JP.UTF-8")
        self.assertEqual(code, 5)
        self.assertEqual(err, b"  Warning! characters lost: 1, the first at line 1, column 2\n"
                         b"    line 1, column 2: U+00A2 became 0x8191\n")
        self.assertEqual(self.read("out"), b"x\x81\x91\x82\xa0")
        # Bytes that 932 cannot decode: a pair it leaves undefined, a lead byte at the end.
        self.write("in", b"a\x85\x40b\x82")
        code, _, err = self.tm("-q1", "-ia", "-ou", "--losses", "in", "out", lang="ja_JP.UTF-8")
        self.assertEqual(code, 5)
        self.assertEqual(err, b"  Warning! characters lost: 2, the first at line 1, column 2\n"
                         b"    line 1, column 2: malformed input\n"
                         b"    line 1, column 4: malformed input\n")


class Hints(Txmorph):
    """After a failed UTF-8 check, or a stop, what the bytes are and how to go
    on - or, when the evidence is weak, nothing but -s-."""

    CYRILLIC = "ru_RU.UTF-8"  # ANSI 1251 and OEM 866 on POSIX
    # The kinds of text the hint is judged on: the page they are in, the
    # languages, box drawing or not, and the locale whose pages are weighed
    # (C: 1252, 437 and 850). Those marked False only must never be named
    # wrongly, as their page is not among those weighed.
    KINDS = [
        ("1252", "cp1252", ["fr", "de", "es", "it", "pt"], False, "C", True),
        ("437", "cp437", ["fr", "de", "es"], False, "C", True),
        ("437 with box drawing", "cp437", ["en", "fr", "de"], True, "C", True),
        ("850", "cp850", ["fr", "de", "es", "pt", "it"], False, "C", True),
        ("850 with box drawing", "cp850", ["en", "pt", "de"], True, "C", True),
        ("1251", "cp1251", ["ru"], False, CYRILLIC, True),
        ("866", "cp866", ["ru"], False, CYRILLIC, True),
        ("866 with box drawing", "cp866", ["ru"], True, CYRILLIC, True),
        ("1251 among Western pages", "cp1251", ["ru"], False, "C", False),
    ]
    FILES = 4 if UNDER_VALGRIND else 40
    WIDE = b"  Hint! the text is UTF-16LE without a byte order mark: add -iw -s-\n"
    CUT_SHORT = b"  Hint! the text is UTF-8 cut short at its end\n"
    LEAVE_OUT_IU = b"  Hint! the text is UTF-16LE (it begins with FF FE): leave out -iu\n"

    def hint_of(self, data, *options, lang="C"):
        """The exit code and the hint lines of a run on the bytes."""
        self.write("in", data)
        code, _, err = self.tm("-q1", *options, "in", "out", lang=lang)
        return code, b"".join(line for line in err.splitlines(keepends=True)
                              if line.startswith(b"  Hint!"))

    def pages_of(self, lang):
        """The ANSI page a locale gives, as the "input length" line shows it."""
        self.write("in", b"x")
        _, _, err = self.tm("-q-", "-ia", "in", "out", lang=lang)
        return re.search(rb"\[ANSI (\d+)\]", err).group(1).decode()

    def test_the_hint_is_right_or_silent(self):
        rows = []
        for name, page, languages, box, lang, named in self.KINDS:
            if lang == self.CYRILLIC and self.pages_of(lang) != "1251":
                rows.append(f"  {name:28} not here: the locale gives other pages")
                continue
            right = silent = wrong = 0
            for text in hint_corpus.texts(name, page, languages, box, self.FILES):
                data = text.encode(page)
                _, hint = self.hint_of(data, lang=lang)
                shown = re.match(rb"  Hint! the text reads as \w+ \((\d+)\): add -i[ad]\d*\n", hint)
                if shown is None:
                    silent += 1
                elif data.decode("cp" + shown.group(1).decode(), "replace") == text:
                    right += 1
                else:
                    wrong += 1
            rows.append(f"  {name:28} {lang:12} {self.FILES:5} {right:5} {silent:6} {wrong:5}")
            with self.subTest(kind=name):
                self.assertEqual(wrong, 0)
                if named:
                    self.assertGreaterEqual(right, 0.95 * self.FILES)
        rng = random.Random(21)
        for name, hint, make in [
                ("UTF-16LE without a mark", self.WIDE, lambda text: text.encode("utf-16-le")),
                ("UTF-8 cut short", self.CUT_SHORT, lambda text: hint_corpus.cut_utf8(rng, text))]:
            files = hint_corpus.texts(name, "utf-8", ["mix", "fr", "ru", "de"], count=self.FILES)
            right = sum(self.hint_of(make(text))[1] == hint for text in files)
            rows.append(f"  {name:28} {'C':12} {self.FILES:5} {right:5} {self.FILES - right:6}"
                        f" {0:5}")
            with self.subTest(kind=name):
                self.assertGreaterEqual(right, 0.95 * self.FILES)
        sys.stderr.write("\nHint accuracy\n  " + "kind".ljust(29) + "locale        files right"
                         " silent wrong\n" + "\n".join(rows) + "\n")

    def test_following_the_hint_or_the_stop_goes_on(self):
        german = "Gr\u00f6\u00dfe f\u00fcr \u00c4rger und S\u00fc\u00dfes\r\n"
        french = "\u00e9t\u00e9 \u00e0 la gar\u00e7on, tr\u00e8s s\u00fbr\r\n"
        danish = "S\u00f8ren \u00d8stergaard, n\u00e3o sabe\r\n"
        box = ("\u2554" + "\u2550" * 10 + "\u2557\r\n\u2551 Men\u00fc     \u2551\r\n\u255a" +
               "\u2550" * 10 + "\u255d\r\n\u2591\u2592\u2593\u2588\r\n")
        cases = [
            # what the bytes are, the options of the run, the line, the text
            (german.encode("cp1252"), [], b"  Hint! the text reads as ANSI (1252): add -ia\n",
             german),
            (french.encode("cp437"), [], b"  Hint! the text reads as OEM (437): add -id\n", french),
            (box.encode("cp437"), [], b"  Hint! the text reads as OEM (437): add -id\n", box),
            (danish.encode("cp850"), [], b"  Hint! the text reads as OEM (850): add -id850\n",
             danish),
            (french.encode("utf-16-le"), [], self.WIDE, french),
            (french.encode("utf-16-le"), ["-iu"], self.WIDE, french),
            (b"\xff\xfe" + french.encode("utf-16-le"), ["-iu"], self.LEAVE_OUT_IU, french),
            (b"\xff\xfe" + french.encode("utf-16-le") + b"!", [], ANYWAY, french),
            (b"A\x00", ["-iw"], ANYWAY, "A"),
            (b"\xb0\xe9\xb1", [], ANYWAY, "\ufffd" * 2),
            (french.encode()[:-3] + b"\xe2\x82", [], self.CUT_SHORT, None),
        ]
        for data, options, line, text in cases:
            with self.subTest(line=line, data=data[:12]):
                code, hint = self.hint_of(data, *options)
                self.assertEqual((code, hint), (10, line))
                if text is None:
                    continue
                follow = [option for option in options if option != "-iu" or b"-iu" not in line]
                follow += line.rstrip(b"\n").split(b"add ")[-1].decode().split() if b"add" in line \
                    else ["-s-"] if line == ANYWAY else []
                code, _, err = self.tm("-q1", *follow, "-ou", "-r", "in", "out")
                self.assertIn(code, (0, 5), err)
                self.assertEqual(self.read("out").decode(), text)

    def test_utf8_read_as_a_code_page(self):
        # Text converted once is not garbled by a second conversion: a stop,
        # nothing written; with -s- (the default on standard input) a warning.
        utf8 = "caf\u00e9\n".encode()
        twice = "caf\u00c3\u00a9\n".encode()
        stopped = b"  Stopped! the input is also valid UTF-8 (-iu)\n"
        warned = b"  Warning! the input is also valid UTF-8 (-iu)\n"
        for args, text, want in [
                (("-q1", "-ia", "in", "out"), utf8, (10, stopped, None)),
                (("-q1", "-ia", "-ou", "in"), utf8, (10, stopped, None)),
                (("-q1", "-ia", "-ou", "in"), b"\xef\xbb\xbfcafe", (10, stopped, None)),
                (("-q", "-id", "in", "out"), utf8, (10, b"", None)),
                (("-q1", "-s-", "-ia", "-ou", "-r", "in", "out"), utf8, (0, warned, twice)),
                (("-q1", "-ia", "in", "out"), b"cafe\n", (0, b"", b"cafe\n"))]:
            with self.subTest(args=args, text=text):
                self.write("in", text)
                if os.path.exists(self.path("out")):
                    os.remove(self.path("out"))
                code, _, err = self.tm(*args)
                self.assertEqual((code, err), want[:2])
                if want[2] is None:
                    self.assertEqual(self.read("in"), text)
                    self.assertFalse(os.path.exists(self.path("out")))
                else:
                    self.assertEqual(self.read("out"), want[2])
        code, out, err = self.tm("-q-", "-ia", "-ou", "-r", stdin=utf8)
        self.assertEqual((code, out), (0, twice))
        self.assertIn(warned, err)


class CodePages(Txmorph):
    def test_any_code_page_by_number(self):
        every = bytes(range(0x80, 0x100))
        self.write("in", every)
        code, _, err = self.tm("-q-", "-id850", "-ou", "-r", "in", "out")
        self.assertEqual(code, 0)
        self.assertEqual(self.read("out"), every.decode("cp850").encode())
        self.assertIn(b"  input length [OEM 850] = 128\n", err)
        cyrillic = "\u0421\u044a\u0435\u0448\u044c \u0436\u0435 \u0435\u0449\u0451 \u2116 5"
        self.write("in", "\ufeff" + cyrillic)
        code, _, err = self.tm("-q-", "-oa1251", "in", "out")
        self.assertEqual(code, 0)
        self.assertEqual(self.read("out"), cyrillic.encode("cp1251"))
        self.assertTrue(err.endswith(b"  converted (%d) to ANSI 1251 -- REVERSIBLE\n"
                                     % len(cyrillic)), err)
        # The system's pages show their numbers too.
        code, _, err = self.tm("-q-", "-s-", "-ia", "-od", "in", "out")
        self.assertIn(b"[ANSI 1252]", err)
        self.assertIn(b" to OEM 437 -- ", err)

    def test_an_unknown_page_ends_the_run(self):
        self.write("in", "x")
        for option, number in [("-id851", b"851"), ("-oa65001", b"65001"), ("-ia0", b"0")]:
            code, out, err = self.tm(option, "in", "out")
            self.assertEqual((code, out, err), (240, b"", b"Unknown code page " + number + b"\n"))
            self.assertFalse(os.path.exists(self.path("out")))
        code, _, err = self.tm("-q", "-id851", "in", "out")
        self.assertEqual((code, err), (240, b""))


class StandardStreams(Txmorph):
    def test_standard_input_to_standard_output(self):
        code, out, err = self.tm("-ou", "-r", stdin="\u00e9t\u00e9".encode())
        self.assertEqual((code, out, err), (0, "\u00e9t\u00e9".encode(), b""))
        code, out, _ = self.tm("-iw", "-oa", stdin=b"\xff\xfeA\x00")
        self.assertEqual((code, out), (0, b"A"))
        code, out, _ = self.tm("-ow", stdin=b"x" * 200000)
        self.assertEqual((code, out), (0, b"\xff\xfe" + b"x\x00" * 200000))
        # Read as it comes, to a page settled from its first block.
        code, out, _ = self.tm("-oa", "-s-", stdin="\u00e9".encode() * 200000)
        self.assertEqual((code, out), (0, b"\xe9" * 200000))

    def test_file_to_standard_output_reads_no_date_warning(self):
        self.write("in", "abc")
        code, out, err = self.tm("-q1", "in", ">")
        self.assertEqual((code, out, err), (0, b"abc", b""))


class DateAndTime(Txmorph):
    def test_the_date_is_kept_exactly(self):
        # To the nanosecond on POSIX, to the 100 ns a Windows file time holds
        # under Wine; 1970 too, before the DOS dates began.
        for stamp in [(T2020 + 7) * 10**9 + 123_456_789, 5]:
            kept = stamp - stamp % 100 if UNDER_WINE else stamp
            self.write("a.txt", "abc")
            self.set_mtime("a.txt", stamp)
            for args in [("a.txt", "b.txt"), ("a.txt",)]:
                code, _, err = self.tm("-q1", "-ou", *args)
                self.assertEqual((code, err), (0, b""))
                self.assertEqual(self.mtime(args[-1]), kept, args)

    def test_t_leaves_the_date_to_the_system(self):
        self.write("in", "abc")
        self.set_mtime("in", T2020 * 10**9)
        code, _, _ = self.tm("-q", "-t", "in", "out")
        self.assertEqual(code, 0)
        self.assertGreater(self.mtime("out"), (T2020 + 86400) * 10**9)


class Failures(Txmorph):
    def test_each_failure_names_the_file_and_the_reason(self):
        self.write("in", "abc")
        os.mkdir(self.path("d"))
        cases = [
            (["missing.txt", "out"], 242, b'FATAL! (2) cannot load "missing.txt"', NOT_FOUND),
            (["d"], 242, b'FATAL! (5) cannot load "d"', b"Is a directory"),
            (["in", "d"], 244, b'FATAL! (5) cannot create "d"', b"Is a directory"),
            (["in", "no/out"], 244, b'FATAL! (3) cannot create "no/out"',
             b"The system cannot find the path specified."),
            (["-t", "in", "/dev/full"], 245,
             b'  FATAL! (112) write error, only -1 of 3 bytes to "/dev/full"',
             b"There is not enough space on the disk."),
        ]
        if not UNDER_WINE:  # it runs as root and writes to read-only files
            self.write("ro", "keep")
            os.chmod(self.path("ro"), 0o444)
            cases.append((["in", "ro"], 244, b'FATAL! (5) cannot create "ro"', DENIED))
        for args, exit_code, line, text in cases:
            code, out, err = self.tm("-q1", *args)
            self.assertEqual((code, out), (exit_code, b""), args)
            self.assertRegex(err, rb"\A" + fatal(line, text) + rb"\Z")
            code, _, err = self.tm("-q", *args)
            self.assertEqual((code, err), (exit_code, b""))
        if not UNDER_WINE:
            self.assertEqual(self.read("ro"), b"keep")
        self.assertFalse(os.path.exists(self.path("out")))

    def test_files_of_4_gib_load_and_print_their_whole_size(self):
        with open(self.path("big"), "wb") as f:
            f.truncate((1 << 32) + 1)  # sparse; odd, so the run stops before reading it
        code, _, err = self.tm("-iw", "big", "out")
        self.assertEqual((code, err), (10, b'Loaded (4294967297) "big"\n'
                                           b"  Stopped! filesize is not even for wide unicode file\n"
                                           b"  Hint! -s- converts it anyway\n"))
        self.assertFalse(os.path.exists(self.path("out")))

    SHORT = "/sys/kernel/mm/transparent_hugepage/enabled"  # says 4096 bytes, has fewer

    @unittest.skipUnless(os.path.isfile(SHORT), "no file that reads shorter than its size")
    def test_a_file_that_reads_shorter_than_its_size_is_not_loaded(self):
        code, _, err = self.tm(self.SHORT, "out")
        self.assertRegex(err, rb"\A" + fatal(b'FATAL! (38) cannot load "%s"' % self.SHORT.encode(),
                                             b"Reached the end of the file.") + rb"\Z")
        self.assertEqual(code, 242)
        self.assertFalse(os.path.exists(self.path("out")))

    @unittest.skipUnless(UNDER_WINE, "hidden and system files are Windows'")
    def test_hidden_or_system_output_is_not_overwritten(self):
        for attribute in (b"0x2", b"0x4"):  # as Wine keeps DOS attributes
            self.write("h.txt", "abc")
            try:
                os.setxattr(self.path("h.txt"), "user.DOSATTRIB", attribute)
            except OSError:
                self.skipTest("no extended attributes here")
            code, _, err = self.tm("-q1", "-ou", "h.txt")
            self.assertEqual(code, 244)
            self.assertRegex(err, rb"\A" + fatal(b'FATAL! (5) cannot create "h.txt"', DENIED))
            self.assertEqual(self.read("h.txt"), b"abc")

    @unittest.skipIf(UNDER_WINE, "Wine ends on the signal of a file size limit")
    def test_in_place_without_room_keeps_the_input(self):
        original = "\u00e9t\u00e9 " * 3000  # 2 bytes each in UTF-8, 4 with UTF-16
        self.write("a.txt", original)
        self.set_mtime("a.txt", (T2020 + 7) * 10**9 + 123_456_700)
        inode = os.stat(self.path("a.txt")).st_ino

        def limit():
            resource.setrlimit(resource.RLIMIT_FSIZE, (20000, resource.RLIM_INFINITY))
        code, _, err = self.tm("-q1", "-ow", "a.txt", preexec_fn=limit)
        self.assertEqual(code, 245)
        self.assertEqual(err, b'  FATAL! (223) write error, only -1 of 24002 bytes to "a.txt" -- '
                              b"The file size exceeds the limit allowed and cannot be saved.\n"
                              b'  "a.txt" is as it was\n')
        self.assertEqual(self.read("a.txt"), original.encode())
        self.assertEqual(self.mtime("a.txt"), (T2020 + 7) * 10**9 + 123_456_700)
        self.assertEqual(os.stat(self.path("a.txt")).st_ino, inode)

    @unittest.skipIf(UNDER_WINE, "ownership and links are POSIX's")
    def test_in_place_keeps_links_and_permissions(self):
        self.write("a.txt", "abc")
        os.chmod(self.path("a.txt"), 0o640)
        os.link(self.path("a.txt"), self.path("b.txt"))
        code, _, _ = self.tm("-q", "-ou", "a.txt")
        self.assertEqual(code, 0)
        self.assertEqual(self.read("b.txt"), b"\xef\xbb\xbfabc")
        self.assertEqual(os.stat(self.path("a.txt")).st_mode & 0o777, 0o640)

    @unittest.skipIf(UNDER_WINE, "file names are not UTF-8 there")
    def test_utf8_names_print_unchanged_in_a_utf8_locale(self):
        code, _, err = self.tm("caf\u00e9.txt", lang="C.UTF-8")
        self.assertEqual(code, 242)
        self.assertEqual(err, 'FATAL! (2) cannot load "caf\u00e9.txt" -- '.encode() + NOT_FOUND
                         + b"\n")

    @unittest.skipIf(UNDER_WINE, "names beyond ASCII pass Wine's own way")
    def test_names_print_as_their_bytes_in_every_locale(self):
        # A POSIX name is bytes: Latin-1 in a UTF-8 locale, UTF-8 in C, and
        # no locale at all (env -i) all print exactly as they are spelled.
        latin1 = b"\xe9t\xe9.txt"
        utf8 = "\u00e9t\u00e9.txt".encode()
        for name, text in [(latin1, b"abc"), (utf8, b"abcd")]:
            with open(os.path.join(self.dir.encode(), name), "wb") as f:
                f.write(text)
        unset = {"LC_ALL": "", "LC_CTYPE": ""}
        for env in [dict(unset, LANG="C"), dict(unset, LANG="C.UTF-8"), None]:
            for name, size in [(latin1, 3), (utf8, 4)]:
                with self.subTest(env=env, name=name):
                    code, _, err = run(self.exe, "-ou", name, b"out.txt", cwd=self.dir,
                                       env=env, empty_env=env is None)
                    self.assertEqual(code, 0)
                    self.assertTrue(err.startswith(b'Loaded (%d) "%s"\n' % (size, name)), err)
            code, _, err = run(self.exe, b"n\xe9ant", cwd=self.dir, env=env, empty_env=env is None)
            self.assertEqual((code, err),
                             (242, b'FATAL! (2) cannot load "n\xe9ant" -- ' + NOT_FOUND + b"\n"))


def big_file_skip():
    """Why the 5 GiB round trip does not run in this build, or None."""
    if UNDER_VALGRIND or SANITIZED or RUNNER_KIND == "emulator":
        return "gigabytes: the native and the Windows builds only, not instrumented or emulated"
    return None


@unittest.skipIf(big_file_skip(), big_file_skip())
class BigFiles(Txmorph):
    """A file of 5 GiB goes to UTF-16LE and back byte for byte, in a few
    megabytes of memory, its sizes printed whole."""

    SIZE = 5 << 30
    ROOM = 21 << 30  # the input, its UTF-16LE form of twice the size, and the way back

    def test_five_gib_to_utf16_and_back(self):
        free = shutil.disk_usage(self.dir).free
        if free < self.ROOM:
            self.skipTest(f"{free >> 30} GiB free where {self.ROOM >> 30} are needed")
        # A MiB of whole characters of every length, CR LF, a pair, repeated.
        piece = "caf\u00e9 \u20ac\U0001F600 \u4e00\u0100 line\r\n".encode() * 40000
        piece = piece[:piece.rindex(b"\n") + 1]
        piece += b"x" * ((1 << 20) - len(piece))
        with open(self.path("big.txt"), "wb") as f:
            for _ in range(self.SIZE >> 20):
                f.write(piece)
        code, _, err = run(self.exe, "-q0", "-ow", "big.txt", "wide.txt", cwd=self.dir,
                           timeout=1800)
        self.assertEqual(code, 0, err)
        units = piece.decode().encode("utf-16-le")
        wide_size = 2 + (len(units) << 10) * 5
        self.assertEqual(err, b'Loaded (5368709120) "big.txt"\n' + NO_MARK +
                         b"  input length [UTF8] = %d\n" % ((wide_size - 2) // 2) +
                         b"  converted (%d) to WIDE -- REVERSIBLE\n" % wide_size)
        self.assertEqual(os.path.getsize(self.path("wide.txt")), wide_size)
        os.unlink(self.path("big.txt"))
        code, _, err = run(self.exe, "-q1", "-ou", "-r", "wide.txt", "back.txt", cwd=self.dir,
                           timeout=1800)
        self.assertEqual((code, err), (0, b""))
        os.unlink(self.path("wide.txt"))
        self.assertEqual(os.path.getsize(self.path("back.txt")), self.SIZE)
        with open(self.path("back.txt"), "rb") as f:
            while True:
                block = f.read(64 << 20)
                if not block:
                    break
                self.assertEqual(block, piece * (len(block) >> 20))


class NoTerminal(Txmorph):
    def test_a_prompt_without_a_terminal_is_a_refusal(self):
        self.write("a.txt", "x\u4e00")
        self.set_mtime("a.txt", T2020 * 10**9)
        code, _, err = self.tm("-q", "a.txt", start_new_session=True)
        self.assertEqual(code, 243)
        self.assertEqual(err, b"  converted (2) to ANSI 1252 -- LOSSY (to \\x0F)\n" + LOST_1_2 +
                         b'  Write to "a.txt" [Y/N]? No\n')
        self.assertEqual(self.read("a.txt"), "x\u4e00".encode())
        self.assertEqual(self.mtime("a.txt"), T2020 * 10**9)

    def test_no_prompt_when_not_in_place_or_not_lossy(self):
        self.write("a.txt", "x\u4e00")
        code, _, _ = self.tm("-q", "a.txt", "b.txt", start_new_session=True)
        self.assertEqual(code, 5)
        code, _, _ = self.tm("-q", "-x", "a.txt", start_new_session=True)
        self.assertEqual(code, 5)
        self.write("c.txt", "plain")
        code, _, _ = self.tm("-q", "-x-", "c.txt", start_new_session=True)
        self.assertEqual(code, 0)

    def test_x_minus_asks_for_any_lossy_output(self):
        self.write("a.txt", "x\u4e00")
        code, _, err = self.tm("-q", "-x-", "a.txt", "b.txt", start_new_session=True)
        self.assertEqual(code, 243)
        self.assertTrue(err.endswith(b'  Write to "b.txt" [Y/N]? No\n'))
        self.assertFalse(os.path.exists(self.path("b.txt")))


@unittest.skipIf(UNDER_WINE, "Wine has no terminal to ask on")
class Terminal(Txmorph):
    """Runs with a pseudo-terminal as the program's controlling terminal,
    whose settings must be the same before and after; at_prompt() is called
    once the prompt is shown, before the keys are sent."""

    def answer(self, keys, *args, at_prompt=None):
        master, slave = os.openpty()
        before = termios.tcgetattr(slave)

        def take_terminal():
            fcntl.ioctl(slave, termios.TIOCSCTTY, 0)
        env = dict(os.environ, LANG="C", LC_ALL="", LC_CTYPE="", TZ="UTC")
        command, check = launch(self.exe, *args)
        process = subprocess.Popen(command, cwd=self.dir, env=env, stdin=slave,
                                   stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                                   start_new_session=True, preexec_fn=take_terminal,
                                   pass_fds=(slave,))
        try:
            self.wait_for_prompt(process)
            if at_prompt is not None:
                at_prompt()
            for key in keys:
                self.wait_for_key_mode(slave, process)
                os.write(master, key)
            out, err = process.communicate(timeout=30)
        finally:
            if process.poll() is None:
                process.kill()
                process.wait()
        after = termios.tcgetattr(slave)
        os.close(master)
        os.close(slave)
        check()
        self.assertEqual(after, before, "terminal settings changed")
        return process.returncode, err

    def wait_for_prompt(self, process):
        seen = b""
        deadline = time.monotonic() + 30
        while PROMPT_END.search(seen) is None:
            self.assertLess(time.monotonic(), deadline, seen)
            ready, _, _ = select.select([process.stderr], [], [], 1)
            if ready:
                seen += os.read(process.stderr.fileno(), 4096)
        self.prompt_output = seen

    def wait_for_key_mode(self, slave, process):
        # Keys are sent once the terminal reads them one at a time (else
        # Ctrl+C would still be a signal).
        deadline = time.monotonic() + 30
        while termios.tcgetattr(slave)[3] & termios.ICANON:
            self.assertIsNone(process.poll())
            self.assertLess(time.monotonic(), deadline)
            time.sleep(0.01)


class Prompt(Terminal):
    def lossy_file(self):
        self.write("a.txt", "x\u4e00")
        self.set_mtime("a.txt", (T2020 + 3) * 10**9)

    def test_other_keys_then_yes(self):
        self.lossy_file()
        # Ctrl+C first, while the terminal surely reads keys one at a time.
        code, err = self.answer([b"\x03", b"x", b"\x1b[A", b"\x1bOP", b"y"], "-q", "a.txt")
        self.assertEqual(code, 5)
        self.assertEqual(self.prompt_output + err,
                         b"  converted (2) to ANSI 1252 -- LOSSY (to \\x0F)\n" + LOST_1_2 +
                         b'  Write to "a.txt" [Y/N]? Yes\n')
        self.assertEqual(self.read("a.txt"), b"x\x0f")
        self.assertEqual(self.mtime("a.txt"), (T2020 + 3) * 10**9)  # as it was

    def test_a_best_fit_text_asks_too(self):
        self.write("f.txt", "x \u221e \u0100\n".encode())
        code, err = self.answer([b"y"], "-q", "--losses", "f.txt")
        self.assertEqual(code, 5)
        self.assertEqual(self.prompt_output + err,
                         b"  converted (6) to ANSI 1252 -- LOSSY (to \\x0F)\n"
                         b"  Warning! characters lost: 2, the first at line 1, column 3\n"
                         b"    line 1, column 3: U+221E became 0x38\n"
                         b"    line 1, column 5: U+0100 became 0x41\n"
                         b'  Write to "f.txt" [Y/N]? Yes\n')
        self.assertEqual(self.read("f.txt"), b"x 8 A\n")
        self.write("f.txt", "x \u221e\n".encode())
        code, err = self.answer([b"n"], "-q", "f.txt")
        self.assertEqual((code, err), (243, b"No\n"))
        self.assertEqual(self.read("f.txt"), "x \u221e\n".encode())

    def test_no_and_escape_leave_the_file(self):
        for key in [b"n", b"N", b"\x1b"]:
            self.lossy_file()
            code, err = self.answer([key], "-q", "a.txt")
            self.assertEqual(code, 243, key)
            self.assertEqual(err, b"No\n")
            self.assertEqual(self.read("a.txt"), "x\u4e00".encode())
            self.assertEqual(self.mtime("a.txt"), (T2020 + 3) * 10**9)


if __name__ == "__main__":
    unittest.main()
