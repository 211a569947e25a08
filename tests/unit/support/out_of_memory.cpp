// The out-of-memory hook for test programs: report and end, as a program would.
#include <stdio.h>
#include <unistd.h>

#include "runtime/rt.h"

void rt_out_of_memory(uint32_t size) {
  fprintf(stderr, "\nOut of memory (%d)\n", static_cast<int32_t>(size));
  _exit(1);
}
