// The console input on POSIX: "CONIN$" is the controlling terminal, and the
// console mode maps onto the terminal's settings.
//
// SetConsoleMode only records the mode. The terminal is put into it only
// while ReadConsoleA waits for input and is restored right after, also when a
// signal ends the process during the wait, so the user's terminal is never
// left changed. Without line input a read returns each key as it is pressed;
// without echo nothing is shown; without processed input control keys arrive
// as plain bytes (Ctrl+C as 0x03, Enter as 0x0D) instead of acting.
//
// Keys that send an escape sequence (arrows, function keys, Alt with a key)
// carry no character on Windows and are skipped; an Escape that nothing
// follows in the same read is the byte 0x1B.
// Bytes that one read of the terminal delivers beyond those asked for wait
// for the next read.
#include "platform/posix/console_input.h"

#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <string.h>
#include <termios.h>
#include <unistd.h>

#include "platform/posix/errors.h"
#include "platform/posix/handle.h"

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

const int kEndingSignals[] = {SIGHUP, SIGINT, SIGQUIT, SIGTERM};
struct sigaction previous_actions[sizeof kEndingSignals / sizeof kEndingSignals[0]];

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

void guard_signals(void) {
  struct sigaction action;
  memset(&action, 0, sizeof action);
  action.sa_handler = on_ending_signal;
  action.sa_flags = SA_RESETHAND;
  sigemptyset(&action.sa_mask);
  for (size_t i = 0; i < sizeof kEndingSignals / sizeof kEndingSignals[0]; i++) {
    sigaction(kEndingSignals[i], &action, &previous_actions[i]);
  }
}

void release_signals(void) {
  for (size_t i = 0; i < sizeof kEndingSignals / sizeof kEndingSignals[0]; i++) {
    sigaction(kEndingSignals[i], &previous_actions[i], nullptr);
  }
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

ssize_t read_retrying(int fd, uint8_t* buffer, size_t length) {
  ssize_t n;
  do n = read(fd, buffer, length);
  while (n < 0 && errno == EINTR);
  return n;
}

// One read of the terminal in the handle's mode into `pending`; false with
// the reason set when it fails or the terminal is gone.
bool fill_pending(const plat_handle* console) {
  int fd = console->fd;
  struct termios base;
  if (tcgetattr(fd, &base) != 0) {
    plat_fail_errno(errno);
    return false;
  }
  struct termios settings = settings_for(base, console->console_mode);
  bool keys = !(console->console_mode & ENABLE_LINE_INPUT);

  saved_settings = base;
  guard_signals();
  changed_fd = fd;
  ssize_t n = -1;
  if (tcsetattr(fd, TCSANOW, &settings) == 0) {
    for (;;) {
      n = read_retrying(fd, pending, sizeof pending);
      if (n <= 0 || !keys) break;
      n = static_cast<ssize_t>(drop_key_sequences(pending, static_cast<size_t>(n)));
      if (n > 0) break;  // else only keys without a character: read on
    }
  }
  int error = errno;
  restore_terminal();
  release_signals();

  if (n <= 0) {
    if (n == 0)
      SetLastError(ERROR_HANDLE_EOF);
    else
      plat_fail_errno(error);
    return false;
  }
  pending_at = 0;
  pending_count = static_cast<size_t>(n);
  return true;
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
  if (pending_at == pending_count && !fill_pending(h)) return FALSE;
  size_t count = pending_count - pending_at;
  if (count > length) count = length;
  memcpy(buffer, pending + pending_at, count);
  pending_at += count;
  if (read != nullptr) *read = static_cast<DWORD>(count);
  return TRUE;
}
