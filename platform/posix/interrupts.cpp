// Holding interrupts: every signal that ends or stops the process by default
// and can be caught is blocked - those of the terminal and of requests to
// end (INT, TERM, HUP, QUIT, TSTP, TTIN, TTOU), timers, limits, power, I/O,
// user and realtime signals - and delivered, with whatever action it has,
// when the last hold ends. (The programs ignore PIPE and XFSZ: a write to a
// closed pipe or past a file-size limit fails instead.) Left out are the
// signals that cannot be caught (KILL, STOP), those ignored or continuing by
// default (CHLD, CONT, URG, WINCH), and the faults of the program itself
// (SEGV, BUS, FPE, ILL, TRAP, SYS), which a block would not hold back.
//
// The block is the first thread's (threads.cpp starts every other thread
// with all signals blocked), made by the first hold and lifted by the last
// release; the holds between only count.
#include "platform/posix/interrupts.h"

#include <signal.h>

#include "platform/platform.h"

namespace {

const int kNotHeld[] = {SIGKILL, SIGSTOP, SIGCHLD, SIGCONT, SIGURG,  SIGWINCH,
                        SIGSEGV, SIGBUS,  SIGFPE,  SIGILL,  SIGTRAP, SIGSYS};
const int kStops[] = {SIGTSTP, SIGTTIN, SIGTTOU};

sigset_t interrupts;
sigset_t before;
int holds = 0;  // holds not yet released

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

bool stops(int signal) {
  for (int stop : kStops) {
    if (signal == stop) return true;
  }
  return false;
}

// What the signal does once let through: nothing (ignored), stop, or end
// (or run a handler).
enum Action : uint8_t { Ignored, Stops, Ends };

Action action_of(int signal) {
  struct sigaction action;
  if (sigaction(signal, nullptr, &action) != 0) return Ends;
  if (!(action.sa_flags & SA_SIGINFO) && action.sa_handler == SIG_IGN) return Ignored;
  bool by_default = !(action.sa_flags & SA_SIGINFO) && action.sa_handler == SIG_DFL;
  return by_default && stops(signal) ? Stops : Ends;
}

}  // namespace

void plat_hold_interrupts(void) {
  if (__atomic_fetch_add(&holds, 1, __ATOMIC_SEQ_CST) != 0) return;
  fill_interrupts();
  sigprocmask(SIG_BLOCK, &interrupts, &before);
}

plat_waiting plat_waiting_interrupt(void) {
  if (__atomic_load_n(&holds, __ATOMIC_SEQ_CST) == 0) return PLAT_NOTHING_WAITS;
  sigset_t pending;
  if (sigpending(&pending) != 0) return PLAT_NOTHING_WAITS;
  plat_waiting waiting = PLAT_NOTHING_WAITS;
  for (int signal = 1; signal <= SIGRTMAX; signal++) {
    if (sigismember(&interrupts, signal) != 1 || sigismember(&pending, signal) != 1) continue;
    Action action = action_of(signal);
    if (action == Ends) return PLAT_END_WAITS;
    if (action == Stops) waiting = PLAT_STOP_WAITS;
  }
  return waiting;
}

BOOL plat_interrupt_pending(void) { return plat_waiting_interrupt() != PLAT_NOTHING_WAITS; }

void plat_pass_stops(void) {
  sigset_t pending;
  if (__atomic_load_n(&holds, __ATOMIC_SEQ_CST) == 0 || sigpending(&pending) != 0) return;
  sigset_t waiting;
  sigemptyset(&waiting);
  bool any = false;
  for (int stop : kStops) {
    if (sigismember(&pending, stop) != 1) continue;
    sigaddset(&waiting, stop);
    any = true;
  }
  if (!any) return;
  // Delivered as the block lifts: the process stops here until continued.
  sigprocmask(SIG_UNBLOCK, &waiting, nullptr);
  sigprocmask(SIG_BLOCK, &waiting, nullptr);
}

void plat_release_interrupts(void) {
  int count = __atomic_load_n(&holds, __ATOMIC_SEQ_CST);
  do {
    if (count == 0) return;  // nothing held
  } while (!__atomic_compare_exchange_n(&holds, &count, count - 1, false, __ATOMIC_SEQ_CST,
                                        __ATOMIC_SEQ_CST));
  if (count == 1) sigprocmask(SIG_SETMASK, &before, nullptr);
}
