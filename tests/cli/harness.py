"""Shared helpers of the command-line suites.

The programs under test come from environment variables (TXMORPH, TIMECARRY,
RT_SMOKE). CLI_RUNNER, when set, is the command that runs them, and
CLI_RUNNER_KIND says what it is:
  wine      the Windows build (the default kind when a runner is set);
            UNDER_WINE tells the tests to skip what Wine cannot do
  valgrind  memcheck; every run's report is checked, and a run with any
            error (leaks included) fails its test
  emulator  another processor's emulator (qemu): the programs behave as
            natively
CLI_FAULT_INJECTION=1 says the programs were built with the heap's fault
switch (PLAT_FAIL_ALLOC_ABOVE, PLAT_FAIL_ALLOC_AFTER); CLI_SANITIZED=1 that
they were built with the sanitizers.
"""
import os
import re
import shlex
import shutil
import subprocess
import sys
import tempfile
import unittest

RUNNER = shlex.split(os.environ.get("CLI_RUNNER", ""))
RUNNER_KIND = os.environ.get("CLI_RUNNER_KIND", "wine" if RUNNER else "").strip()
UNDER_WINE = RUNNER_KIND == "wine"
UNDER_VALGRIND = RUNNER_KIND == "valgrind"
FAULT_INJECTION = os.environ.get("CLI_FAULT_INJECTION") == "1"
SANITIZED = os.environ.get("CLI_SANITIZED") == "1"
# The exit code of a program Wine could not start; under Wine the programs
# never end with it (running out of memory is tested natively only).
WINE_START_FAILURE = 1


def fatal(line, text):
    """A pattern for a line of txmorph's that ends with the system's text for
    a code: `line`, " -- ", then `text` as the POSIX layer gives it; under
    Wine whatever Wine's words are, where it has some."""
    if UNDER_WINE:
        return re.escape(line) + rb"(?: -- [^\n]+)?\n"
    return re.escape(line) + rb" -- " + re.escape(text) + rb"\n"


# Another user, for tests that act as one (a watcher, an attacker, a runner
# without root's rights): nobody, and groups no one is in.
NOBODY = 65534


def as_user(uid, gid):
    """A preexec_fn that runs the child as the user `uid` with the one group
    `gid` and no others, as setpriv --reuid --regid --clear-groups does."""
    def drop():
        os.setgroups([])
        os.setresgid(gid, gid, gid)
        os.setresuid(uid, uid, uid)
    return drop


def why_no_other_user():
    """Why this run cannot act as another user, or None when it can."""
    if RUNNER:
        return "other users natively only"
    if os.geteuid() != 0:
        return "only root can act as another user"
    child = os.fork()
    if child == 0:
        try:
            as_user(NOBODY, NOBODY)()
        finally:
            os._exit(0 if os.geteuid() == NOBODY else 1)
    _, status = os.waitpid(child, 0)
    return None if status == 0 else "this system does not let root become another user"


def program(variable):
    path = os.environ.get(variable)
    if not path:
        raise unittest.SkipTest(f"{variable} is not set")
    return path


def launch(exe, *args, live_at_exit=False):
    """Returns (command, check): the command line that starts the program
    (under the runner, if any), and what to call once it has ended.

    Under valgrind, check() fails the test when the report shows an error.
    Every block still allocated at the end counts as one, except those the
    suppressions name as living to the end by design. live_at_exit is for a
    run that may end in the out-of-memory hook, which leaves every block in
    use to the system (wherever the compiler keeps the pointers): only
    memory errors count there.
    """
    if not UNDER_VALGRIND:
        return RUNNER + [exe, *args], lambda: None
    handle, log = tempfile.mkstemp(prefix="memcheck-", suffix=".log")
    os.close(handle)
    options = [f"--log-file={log}"]
    if live_at_exit:
        options.append("--leak-check=no")

    def check():
        with open(log, encoding="utf-8", errors="replace") as f:
            report = f.read()
        os.unlink(log)
        summary = re.search(r"ERROR SUMMARY: (\d+) errors", report)
        if summary is None or summary.group(1) != "0":
            raise AssertionError(f"memcheck of {exe} {args}:\n{report}")
    return RUNNER + options + [exe, *args], check


def run(exe, *args, stdin=b"", cwd=None, env=None, timeout=120, live_at_exit=False,
        empty_env=False, **process_options):
    """Runs the program; returns (exit code, stdout bytes, stderr bytes).
    env adds to this process's environment; with empty_env it is the whole
    environment (none at all when not given), as `env -i` and cron run.
    process_options (a new session, a preexec_fn) go to subprocess."""
    command, check = launch(exe, *args, live_at_exit=live_at_exit)
    full_env = {} if empty_env else dict(os.environ)
    if env:
        full_env.update(env)
    # stdin: bytes to pipe in, or a file object / subprocess.DEVNULL to hand over
    if isinstance(stdin, (bytes, bytearray)):
        feed = {"input": bytes(stdin)}
    else:
        feed = {"stdin": stdin}
    start = None
    if UNDER_WINE and hasattr(feed.get("stdin"), "seekable") and feed["stdin"].seekable():
        start = feed["stdin"].tell()
    done = subprocess.run(command, capture_output=True, cwd=cwd, env=full_env,
                          timeout=timeout, **feed, **process_options)
    if UNDER_WINE and done.returncode == WINE_START_FAILURE:
        # Now and then Wine fails to start a program and ends with 1, a code
        # no run of these programs under Wine ends with. Run it once more;
        # the log keeps what the failed start printed.
        sys.stderr.write(f"\nWine ended {command[1:]} with 1; running it again. "
                         f"stdout {done.stdout!r} stderr {done.stderr!r}\n")
        if start is not None:
            feed["stdin"].seek(start)
        done = subprocess.run(command, capture_output=True, cwd=cwd, env=full_env,
                              timeout=timeout, **feed, **process_options)
    check()
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
