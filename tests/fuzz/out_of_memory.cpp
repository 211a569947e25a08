// The out-of-memory hook of the fuzz targets and their replays. No target
// asks for more than a few megabytes, so running out is a finding: abort, and
// the fuzzer keeps the input.
#include <stdio.h>
#include <stdlib.h>

#include "runtime/rt.h"

void rt_out_of_memory(uint32_t size) {
  fprintf(stderr, "\nOut of memory (%u)\n", size);
  abort();
}
