// What waits while interrupts are held, for the console's reads, which give
// up a wait for a key when it could end only after the hold. Internal to
// platform/posix.
#ifndef PLATFORM_POSIX_INTERRUPTS_H
#define PLATFORM_POSIX_INTERRUPTS_H

#include <stdint.h>

enum plat_waiting : uint8_t {
  PLAT_NOTHING_WAITS,
  PLAT_STOP_WAITS,  // only stops (TSTP, TTIN, TTOU whose action stops)
  PLAT_END_WAITS,   // a signal that ends the process, or that it handles
};

plat_waiting plat_waiting_interrupt(void);

#endif
