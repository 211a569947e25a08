// Allocate-or-die: retry after the program's out-of-memory hook, which in both
// programs ends the process, so a failure is final in practice.
#include "runtime/rt.h"

void* rt_xalloc(uint32_t size) {
  if (size == 0) return nullptr;
  for (;;) {
    void* block = rt_alloc(size);
    if (block != nullptr) return block;
    rt_out_of_memory(size);
  }
}

void* rt_xrealloc(void* block, uint32_t size) {
  if (size == 0) {
    rt_free(block);
    return nullptr;
  }
  for (;;) {
    void* moved = rt_realloc(block, size);
    if (moved != nullptr) return moved;
    rt_out_of_memory(size);
  }
}
