"""The runtime's start-up path, run as a real program."""
import unittest

from harness import UNDER_WINE, program, run


class Smoke(unittest.TestCase):
    def setUp(self):
        self.exe = program("RT_SMOKE")

    def test_exit_code_arguments_and_both_handles(self):
        code, out, err = run(self.exe, "7", "alpha", "b")
        self.assertEqual(code, 7)
        self.assertEqual(out, b"argc 4\n[7]\n[alpha]\n[b]\n")
        self.assertEqual(err, b"to standard error  42|ab  |1,234,567\n")

    def test_no_arguments(self):
        code, out, _ = run(self.exe)
        self.assertEqual(code, 0)
        self.assertEqual(out, b"argc 1\n")

    def test_large_exit_code(self):
        code, _, _ = run(self.exe, "245")
        self.assertEqual(code, 245)

    @unittest.skipIf(UNDER_WINE, "Wine quotes arguments its own way")
    def test_arguments_survive_the_command_line(self):
        args = ["0", "a b", "", 'say "hi"', "back\\slash\\", "tab\there", "x" * 400]
        code, out, _ = run(self.exe, *args)
        self.assertEqual(code, 0)
        expected = f"argc {len(args) + 1}\n" + "".join(f"[{a}]\n" for a in args)
        self.assertEqual(out, expected.encode())


if __name__ == "__main__":
    unittest.main()
