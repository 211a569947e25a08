// The initialiser (and terminator) table: each pending entry runs once, the
// lowest priority first; among equal priorities the later entry wins.
#include "runtime/rt.h"

void rt_run_table(rt_init_entry* table, uint32_t count) {
  for (;;) {
    rt_init_entry* next = nullptr;
    for (uint32_t i = 0; i < count; i++) {
      rt_init_entry* entry = &table[i];
      if (entry->state != RT_PENDING) continue;
      if (next == nullptr || entry->priority <= next->priority) next = entry;
    }
    if (next == nullptr) return;
    if (next->routine != nullptr) next->routine();
    next->state = RT_DONE;
  }
}
