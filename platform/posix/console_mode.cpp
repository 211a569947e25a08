// The console mode. On a terminal GetConsoleMode reports, and SetConsoleMode
// records, the mode; the terminal is put into it only while the console input
// is read (console_input.cpp). Anything else is no console.
#include <unistd.h>

#include "platform/posix/handle.h"

namespace {

plat_handle* terminal_of(HANDLE console) {
  plat_handle* h = plat_handle_of(console);
  if (h == nullptr || h->fd < 0 || !isatty(h->fd)) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  return h;
}

}  // namespace

BOOL GetConsoleMode(HANDLE console, LPDWORD mode) {
  plat_handle* h = terminal_of(console);
  if (h == nullptr) return FALSE;
  *mode = h->console_mode;
  return TRUE;
}

BOOL SetConsoleMode(HANDLE console, DWORD mode) {
  plat_handle* h = terminal_of(console);
  if (h == nullptr) return FALSE;
  h->console_mode = mode;
  return TRUE;
}
