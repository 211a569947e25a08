// Holding interrupts: the signals that end or stop the process from its
// terminal or by request are blocked, and delivered - with whatever action
// they have - when the hold ends.
#include <signal.h>

#include "platform/platform.h"

namespace {

const int kInterrupts[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGTSTP};

sigset_t before;
bool holding = false;

}  // namespace

void plat_hold_interrupts(void) {
  if (holding) return;
  sigset_t interrupts;
  sigemptyset(&interrupts);
  for (int signal : kInterrupts) sigaddset(&interrupts, signal);
  sigprocmask(SIG_BLOCK, &interrupts, &before);
  holding = true;
}

BOOL plat_interrupt_pending(void) {
  sigset_t pending;
  if (sigpending(&pending) != 0) return FALSE;
  for (int signal : kInterrupts) {
    if (sigismember(&pending, signal)) return TRUE;
  }
  return FALSE;
}

void plat_release_interrupts(void) {
  if (!holding) return;
  holding = false;
  sigprocmask(SIG_SETMASK, &before, nullptr);
}
