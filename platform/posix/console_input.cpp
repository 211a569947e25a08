// The console input on POSIX: "CONIN$" is the controlling terminal, and the
// console mode maps onto the terminal's settings.
//
// SetConsoleMode only records the mode. The terminal is put into it only
// while ReadConsoleA waits for input and is restored right after, also when a
// signal ends the process during the wait, and while the process is stopped
// (the terminal's suspend key, Ctrl+Z, still stops it, as a shell's job
// control expects, and so does SIGTSTP): the user's terminal is never left
// changed. A read that a stop (or a continue after any stop) interrupts
// returns with nothing read, so that the caller can ask again. Without line input a read returns
// each key as it is pressed; without echo nothing is shown; without processed input control keys
// arrive as plain bytes (Ctrl+C as 0x03, Enter as 0x0D) instead of acting.
//
// Keys that send an escape sequence (arrows, function keys, Alt with a key)
// carry no character on Windows and are skipped; an Escape that nothing
// follows in the same read is the byte 0x1B.
// Bytes that one read of the terminal delivers beyond those asked for wait
// for the next read. While interrupts are held, a wait for a key gives up
// when one waits: a stop returns with nothing read (the caller lets it
// through and asks again), any other fails with ERROR_OPERATION_ABORTED.
#include "platform/posix/console_input.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <string.h>
#include <termios.h>
#include <unistd.h>

#include "platform/posix/errors.h"
#include "platform/posix/handle.h"
#include "platform/posix/interrupts.h"

namespace {

constexpr DWORD kDefaultMode = ENABLE_PROCESSED_INPUT | ENABLE_LINE_INPUT | ENABLE_ECHO_INPUT;
constexpr uint8_t kEscape = 0x1B;

// Bytes read but not yet handed out.
uint8_t pending[64];
size_t pending_at = 0;
size_t pending_count = 0;

// The settings to put back, also from a signal handler.
struct termios saved_settings;
volatile sig_atomic_t changed_fd = -1;

// Set when the process was stopped, or continued, during a read.
volatile sig_atomic_t interrupted = 0;

const int kGuardedSignals[] = {SIGHUP, SIGINT, SIGQUIT, SIGTERM, SIGTSTP, SIGCONT};
constexpr size_t kGuardedCount = sizeof kGuardedSignals / sizeof kGuardedSignals[0];
struct sigaction previous_actions[kGuardedCount];

void restore_terminal(void) {
  if (changed_fd >= 0) tcsetattr(changed_fd, TCSANOW, &saved_settings);
  changed_fd = -1;
}

// Puts the terminal back; the signal, reset to its default action by
// SA_RESETHAND, then ends the process as it would have.
void on_ending_signal(int signal) {
  int saved_errno = errno;
  restore_terminal();
  raise(signal);
  errno = saved_errno;
}

// Puts the terminal back and stops as the default action would; once
// continued, the read that was waiting ends with nothing read.
void on_stop_signal(int signal) {
  int saved_errno = errno;
  restore_terminal();
  interrupted = 1;
  struct sigaction stop;
  memset(&stop, 0, sizeof stop);
  stop.sa_handler = SIG_DFL;
  sigemptyset(&stop.sa_mask);
  struct sigaction mine;
  sigaction(signal, &stop, &mine);
  sigset_t only;
  sigemptyset(&only);
  sigaddset(&only, signal);
  sigprocmask(SIG_UNBLOCK, &only, nullptr);
  raise(signal);  // stopped here until continued
  sigaction(signal, &mine, nullptr);
  errno = saved_errno;
}

// A stop this process could not see (SIGSTOP) may have ended too.
void on_continue_signal(int) { interrupted = 1; }

void guard_signals(void) {
  struct sigaction action;
  memset(&action, 0, sizeof action);
  sigemptyset(&action.sa_mask);
  for (size_t i = 0; i < kGuardedCount; i++) {
    int signal = kGuardedSignals[i];
    if (signal == SIGTSTP) {
      action.sa_handler = on_stop_signal;
      action.sa_flags = 0;
    } else if (signal == SIGCONT) {
      action.sa_handler = on_continue_signal;
      action.sa_flags = 0;
    } else {
      action.sa_handler = on_ending_signal;
      action.sa_flags = SA_RESETHAND;
    }
    sigaction(signal, &action, &previous_actions[i]);
  }
}

void release_signals(void) {
  for (size_t i = 0; i < kGuardedCount; i++) {
    sigaction(kGuardedSignals[i], &previous_actions[i], nullptr);
  }
}

// The terminal's suspend key (Ctrl+Z), when processed input is off and the
// terminal therefore sends it as a plain byte; 0 when there is none.
uint8_t suspend_key_of(const struct termios& base, DWORD mode) {
  if (mode & ENABLE_PROCESSED_INPUT) return 0;
  cc_t key = base.c_cc[VSUSP];
  return key == _POSIX_VDISABLE ? 0 : static_cast<uint8_t>(key);
}

// Stops the process group as the suspend key would have, if stopping is
// what SIGTSTP does here (a process that ignores it is not stopped).
void suspend_by_key(void) {
  struct sigaction current;
  if (sigaction(SIGTSTP, nullptr, &current) == 0 && current.sa_handler == SIG_IGN) return;
  kill(0, SIGTSTP);
}

// The terminal settings a console mode stands for.
struct termios settings_for(const struct termios& base, DWORD mode) {
  struct termios settings = base;
  if (!(mode & ENABLE_LINE_INPUT)) {
    settings.c_lflag &= ~static_cast<tcflag_t>(ICANON);
    settings.c_cc[VMIN] = 1;
    settings.c_cc[VTIME] = 0;
  }
  if (!(mode & ENABLE_ECHO_INPUT)) settings.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHONL);
  if (!(mode & ENABLE_PROCESSED_INPUT)) {
    settings.c_lflag &= ~static_cast<tcflag_t>(ISIG | IEXTEN);
    settings.c_iflag &= ~static_cast<tcflag_t>(IXON | ICRNL | INLCR | IGNCR);
  }
  return settings;
}

// Drops the escape sequences of keys without a character: ESC [ parameters
// and a final byte, ESC O and a letter, ESC and one byte. Returns the bytes
// left.
size_t drop_key_sequences(uint8_t* bytes, size_t count) {
  size_t o = 0;
  size_t i = 0;
  while (i < count) {
    if (bytes[i] != kEscape || i + 1 == count) {
      bytes[o++] = bytes[i++];
      continue;
    }
    uint8_t kind = bytes[i + 1];
    i += 2;
    if (kind == '[') {
      while (i < count && !(bytes[i] >= 0x40 && bytes[i] <= 0x7E)) i++;
      if (i < count) i++;
    } else if (kind == 'O' && i < count) {
      i++;
    }
  }
  return o;
}

// How often a wait for a key looks whether an interrupt waits for a hold.
constexpr int kLookEveryMs = 100;

// A read that a stop or a continue interrupts ends with -2; so does one
// while a held stop waits (which the caller lets through: plat_pass_stops).
// One while a held interrupt that ends the process waits ends with -3: the
// answer would come only after the hold.
ssize_t read_retrying(int fd, uint8_t* buffer, size_t length) {
  for (;;) {
    struct pollfd key = {fd, POLLIN, 0};
    int ready = poll(&key, 1, kLookEveryMs);
    if (interrupted) return -2;
    if (ready == 0) {
      plat_waiting waiting = plat_waiting_interrupt();
      if (waiting == PLAT_END_WAITS) return -3;
      if (waiting == PLAT_STOP_WAITS) return -2;
      continue;
    }
    if (ready < 0 && errno == EINTR) continue;
    ssize_t n = read(fd, buffer, length);
    if (interrupted) return -2;
    if (n < 0 && errno == EINTR) continue;
    return n;
  }
}

enum Filled : uint8_t { FILLED, STOPPED, FAILED };

// One read of the terminal in the handle's mode into `pending`: FAILED with
// the reason set when it fails or the terminal is gone, STOPPED when the
// process was stopped meanwhile.
Filled fill_pending(const plat_handle* console) {
  int fd = console->fd;
  struct termios base;
  if (tcgetattr(fd, &base) != 0) {
    plat_fail_errno(errno);
    return FAILED;
  }
  struct termios settings = settings_for(base, console->console_mode);
  bool keys = !(console->console_mode & ENABLE_LINE_INPUT);
  uint8_t suspend_key = suspend_key_of(base, console->console_mode);

  saved_settings = base;
  interrupted = 0;
  guard_signals();
  changed_fd = fd;
  ssize_t n = -1;
  bool suspend = false;
  if (tcsetattr(fd, TCSANOW, &settings) == 0) {
    for (;;) {
      n = read_retrying(fd, pending, sizeof pending);
      if (n <= 0 || !keys) break;
      suspend = suspend_key != 0 && memchr(pending, suspend_key, static_cast<size_t>(n));
      if (suspend) break;
      n = static_cast<ssize_t>(drop_key_sequences(pending, static_cast<size_t>(n)));
      if (n > 0) break;  // else only keys without a character: read on
    }
  }
  int error = errno;
  restore_terminal();
  if (suspend) suspend_by_key();  // the stop comes while the guard is up
  release_signals();

  if (suspend || n == -2) return STOPPED;
  if (n <= 0) {
    if (n == 0) {
      SetLastError(ERROR_HANDLE_EOF);
    } else if (n == -3) {
      SetLastError(ERROR_OPERATION_ABORTED);
    } else {
      plat_fail_errno(error);
    }
    return FAILED;
  }
  pending_at = 0;
  pending_count = static_cast<size_t>(n);
  return FILLED;
}

}  // namespace

HANDLE plat_open_console_input(DWORD access) {
  int fd = open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) {
    SetLastError(ERROR_INVALID_HANDLE);
    return INVALID_HANDLE_VALUE;
  }
  HANDLE console = plat_make_handle(fd, PLAT_CONSOLE_IN, access, nullptr);
  if (console == INVALID_HANDLE_VALUE) {
    close(fd);
    return INVALID_HANDLE_VALUE;
  }
  plat_handle_of(console)->console_mode = kDefaultMode;
  SetLastError(NO_ERROR);
  return console;
}

BOOL ReadConsoleA(HANDLE console, LPVOID buffer, DWORD length, LPDWORD read, LPVOID) {
  if (read != nullptr) *read = 0;
  plat_handle* h = plat_handle_of(console);
  if (h == nullptr || h->fd < 0 || h->kind != PLAT_CONSOLE_IN) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (length == 0) return TRUE;
  if (pending_at == pending_count) {
    Filled filled = fill_pending(h);
    if (filled == FAILED) return FALSE;
    if (filled == STOPPED) return TRUE;  // nothing read: the caller asks again
  }
  size_t count = pending_count - pending_at;
  if (count > length) count = length;
  memcpy(buffer, pending + pending_at, count);
  pending_at += count;
  if (read != nullptr) *read = static_cast<DWORD>(count);
  return TRUE;
}
