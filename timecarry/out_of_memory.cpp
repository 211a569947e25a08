// timecarry's out-of-memory hook. Only the argument vector is taken from the
// heap, before anything is done, so the run ends at once: a report in the
// usual shape and the exit code 3 (1, out of memory, with 2, nothing done).
#include "timecarry/timecarry.h"

void rt_out_of_memory(uint32_t size) {
  rt_printf("ERROR! Out of memory (%u bytes)\n", size);
  rt_exit(exit_out_of_memory | exit_nothing_done);
}
