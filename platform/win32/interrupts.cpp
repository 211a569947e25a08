// Holding interrupts: a console control handler takes Ctrl+C, Ctrl+Break and
// the close of the console window while the hold lasts, waits in its own
// thread until the hold ends, then passes the event on to the default
// handling (which ends the process).
#include "platform/platform.h"

namespace {

volatile LONG holding = 0;
volatile LONG pending = 0;

BOOL WINAPI on_control(DWORD) {
  InterlockedExchange(&pending, 1);
  while (InterlockedCompareExchange(&holding, 0, 0) != 0) Sleep(10);
  return FALSE;
}

}  // namespace

void plat_hold_interrupts(void) {
  if (InterlockedExchange(&holding, 1) != 0) return;
  SetConsoleCtrlHandler(on_control, TRUE);
}

BOOL plat_interrupt_pending(void) { return InterlockedCompareExchange(&pending, 0, 0) != 0; }

void plat_release_interrupts(void) {
  if (InterlockedExchange(&holding, 0) == 0) return;
  // A waiting handler now lets its event through; later ones find none.
  SetConsoleCtrlHandler(on_control, FALSE);
}
