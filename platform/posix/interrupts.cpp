// Holding interrupts: every signal that ends or stops the process by default
// and can be caught is blocked - those of the terminal and of requests to
// end (INT, TERM, HUP, QUIT, TSTP, TTIN, TTOU), timers, limits, power, I/O,
// user and realtime signals - and delivered, with whatever action it has,
// when the hold ends. (The programs ignore PIPE and XFSZ: a write to a
// closed pipe or past a file-size limit fails instead.) Left out are the
// signals that cannot be caught (KILL, STOP), those ignored or continuing by
// default (CHLD, CONT, URG, WINCH), and the faults of the program itself
// (SEGV, BUS, FPE, ILL, TRAP, SYS), which a block would not hold back.
#include <signal.h>

#include "platform/platform.h"

namespace {

const int kNotHeld[] = {SIGKILL, SIGSTOP, SIGCHLD, SIGCONT, SIGURG,  SIGWINCH,
                        SIGSEGV, SIGBUS,  SIGFPE,  SIGILL,  SIGTRAP, SIGSYS};

sigset_t interrupts;
sigset_t before;
bool holding = false;

bool held(int signal) {
  for (int left_out : kNotHeld) {
    if (signal == left_out) return false;
  }
  return true;
}

void fill_interrupts() {
  sigemptyset(&interrupts);
  // The C library refuses to add the few realtime signals it keeps to itself.
  for (int signal = 1; signal <= SIGRTMAX; signal++) {
    if (held(signal)) sigaddset(&interrupts, signal);
  }
}

}  // namespace

void plat_hold_interrupts(void) {
  if (holding) return;
  fill_interrupts();
  sigprocmask(SIG_BLOCK, &interrupts, &before);
  holding = true;
}

BOOL plat_interrupt_pending(void) {
  sigset_t pending;
  if (sigpending(&pending) != 0) return FALSE;
  for (int signal = 1; signal <= SIGRTMAX; signal++) {
    if (sigismember(&interrupts, signal) == 1 && sigismember(&pending, signal) == 1) return TRUE;
  }
  return FALSE;
}

void plat_release_interrupts(void) {
  if (!holding) return;
  holding = false;
  sigprocmask(SIG_SETMASK, &before, nullptr);
}
