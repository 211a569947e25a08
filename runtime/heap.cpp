// The process heap: plain operations that report failure as a null result.
#include "runtime/rt.h"

HANDLE rt_heap = nullptr;

void rt_heap_init(void) { rt_heap = GetProcessHeap(); }

void* rt_alloc(uint32_t size) {
  if (size == 0) return nullptr;
  return HeapAlloc(rt_heap, 0, size);
}

void* rt_realloc(void* block, uint32_t size) {
  if (block == nullptr) return rt_alloc(size);
  if (size == 0) {
    rt_free(block);
    return nullptr;
  }
  return HeapReAlloc(rt_heap, 0, block, size);
}

void rt_free(void* block) {
  if (block == nullptr) return;
  if (!HeapFree(rt_heap, 0, block)) rt_out_of_memory(0);
}
