"""Shared helpers of the command-line suites.

The programs under test come from environment variables (TXMORPH, TIMECARRY,
RT_SMOKE). CLI_RUNNER, when set, is the program that runs them (Wine for the
Windows build); UNDER_WINE then tells the tests to skip what Wine cannot do.
"""
import os
import shutil
import subprocess
import tempfile
import unittest

RUNNER = os.environ.get("CLI_RUNNER", "").strip()
UNDER_WINE = bool(RUNNER)


def program(variable):
    path = os.environ.get(variable)
    if not path:
        raise unittest.SkipTest(f"{variable} is not set")
    return path


def run(exe, *args, stdin=b"", cwd=None, env=None, timeout=120):
    """Runs the program; returns (exit code, stdout bytes, stderr bytes)."""
    command = ([RUNNER] if RUNNER else []) + [exe, *args]
    full_env = dict(os.environ)
    if env:
        full_env.update(env)
    # stdin: bytes to pipe in, or a file object / subprocess.DEVNULL to hand over
    if isinstance(stdin, (bytes, bytearray)):
        feed = {"input": bytes(stdin)}
    else:
        feed = {"stdin": stdin}
    done = subprocess.run(command, capture_output=True, cwd=cwd, env=full_env,
                          timeout=timeout, **feed)
    return done.returncode, done.stdout, done.stderr


class TempDirTest(unittest.TestCase):
    """A test with a fresh temporary directory in self.dir."""

    def setUp(self):
        self.dir = tempfile.mkdtemp(prefix="cli-")
        self.addCleanup(shutil.rmtree, self.dir, True)

    def path(self, name):
        return os.path.join(self.dir, name)

    def write(self, name, data):
        if isinstance(data, str):
            data = data.encode()
        with open(self.path(name), "wb") as f:
            f.write(data)
        return self.path(name)

    def read(self, name):
        with open(self.path(name), "rb") as f:
            return f.read()
