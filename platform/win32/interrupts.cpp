// Holding interrupts: a console control handler takes Ctrl+C, Ctrl+Break and
// the close of the console window while a hold lasts, waits in its own
// thread until the last hold ends, then passes the event on to the default
// handling (which ends the process). Holds count, so that they nest.
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
  if (InterlockedIncrement(&holding) != 1) return;
  SetConsoleCtrlHandler(on_control, TRUE);
}

BOOL plat_interrupt_pending(void) { return InterlockedCompareExchange(&pending, 0, 0) != 0; }

void plat_pass_stops(void) {}

void plat_release_interrupts(void) {
  LONG count = InterlockedCompareExchange(&holding, 0, 0);
  for (;;) {
    if (count == 0) return;  // nothing held
    LONG was = InterlockedCompareExchange(&holding, count - 1, count);
    if (was == count) break;
    count = was;
  }
  // The last one: a waiting handler now lets its event through; later ones
  // find none.
  if (count == 1) SetConsoleCtrlHandler(on_control, FALSE);
}
