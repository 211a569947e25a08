// The process heap. Small blocks come from malloc. Large blocks come from
// mappings of their own with transparent huge pages asked for (first writes to
// fresh 4 KiB pages cost far more than the work done on them), grow in place or
// move with mremap, and released ones are kept for reuse, because a conversion
// frees one large form of the text just before it builds the next.
//
// The heap serves every thread: its own tables and switches are kept under
// one lock (malloc has its own).
//
// Builds with a sanitizer or for memory checking define PLAT_PLAIN_HEAP and use
// malloc for everything, so every block stays visible to the checker.
//
// Test builds (PLAT_FAULT_INJECTION) let a test make the heap run dry through
// the environment, read at the first request:
//   PLAT_FAIL_ALLOC_ABOVE=<bytes>  every request for more bytes fails
//   PLAT_FAIL_ALLOC_AFTER=<n>      n requests succeed, every later one fails
// Requests are HeapAlloc and HeapReAlloc calls; releases always succeed.
#include <malloc.h>
#include <pthread.h>
#include <stdlib.h>
#include <string.h>
#include <sys/mman.h>

#include <utility>

#include "platform/posix/fault_injection.h"
#include "platform/test_switches.h"

namespace {

HANDLE const kProcessHeap = reinterpret_cast<HANDLE>(static_cast<intptr_t>(0x4EA9));

pthread_mutex_t heapLock = PTHREAD_MUTEX_INITIALIZER;

// The heap's lock, held for the rest of the scope.
struct Locked {
  Locked() { pthread_mutex_lock(&heapLock); }
  ~Locked() { pthread_mutex_unlock(&heapLock); }
  Locked(const Locked&) = delete;
  Locked& operator=(const Locked&) = delete;
};

#if !defined(PLAT_PLAIN_HEAP) && defined(__linux__)
#define PLAT_LARGE_BLOCKS 1

constexpr size_t kLargeBlock = size_t{1} << 20;  // from here on, a mapping of its own
constexpr size_t kHugePage = size_t{2} << 20;
constexpr int kMaxRegions = 64;
// A large block starts 8 bytes before a cache line, so that what follows an
// 8-byte header (where callers put the bulk of a block, a text's units) is on
// one: the system copies a file into memory about four times faster to a
// destination on a cache line than to one a few bytes off it.
constexpr size_t kBlockOffset = 64 - 8;
constexpr int kMaxKept = 2;

struct Region {
  char* start;
  size_t size;  // bytes mapped
};

Region live[kMaxRegions];  // mappings handed out
Region kept[kMaxKept];     // released mappings kept for reuse

size_t round_up(size_t n, size_t unit) { return (n + unit - 1) / unit * unit; }

Region* find_live(void* block) {
  if (block == nullptr) return nullptr;
  for (Region& r : live) {
    if (r.start != nullptr && r.start + kBlockOffset == block) return &r;
  }
  return nullptr;
}

Region* free_slot() {
  for (Region& r : live) {
    if (r.start == nullptr) return &r;
  }
  return nullptr;
}

// A fresh mapping of at least `size` bytes, its start on a huge-page boundary.
Region map_region(size_t size) {
  size_t mapped = round_up(size, kHugePage);
  void* raw = mmap(nullptr, mapped + kHugePage, PROT_READ | PROT_WRITE,
                   MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
  if (raw == MAP_FAILED) return Region{nullptr, 0};
  char* start = static_cast<char*>(raw);
  char* aligned = reinterpret_cast<char*>(round_up(reinterpret_cast<uintptr_t>(start), kHugePage));
  if (aligned > start) munmap(start, static_cast<size_t>(aligned - start));
  size_t tail = static_cast<size_t>((start + mapped + kHugePage) - (aligned + mapped));
  if (tail > 0) munmap(aligned + mapped, tail);
  madvise(aligned, mapped, MADV_HUGEPAGE);
  return Region{aligned, mapped};
}

// A mapping resized to `size` bytes (rounded to huge pages); it may move.
// Growing keeps the pages it has; shrinking gives the surplus back.
Region resize_region(Region region, size_t size) {
  size_t mapped = round_up(size, kHugePage);
  if (mapped == region.size) return region;
  void* moved = mremap(region.start, region.size, mapped, MREMAP_MAYMOVE);
  if (moved == MAP_FAILED) return Region{nullptr, 0};
  if (mapped > region.size) madvise(moved, mapped, MADV_HUGEPAGE);
  return Region{static_cast<char*>(moved), mapped};
}

// A kept mapping for `size` bytes: the smallest that holds it, or else the
// largest, grown. Its pages are there already: only what it grows by is
// fresh, and a request never faults in a new mapping while an old one waits.
Region take_kept(size_t size) {
  Region* best = nullptr;
  for (Region& r : kept) {
    if (r.start != nullptr && r.size >= size && (best == nullptr || r.size < best->size)) best = &r;
  }
  if (best == nullptr) {
    for (Region& r : kept) {
      if (r.start != nullptr && (best == nullptr || r.size > best->size)) best = &r;
    }
  }
  if (best == nullptr) return Region{nullptr, 0};
  Region found = resize_region(*best, size);
  if (found.start != nullptr) *best = Region{nullptr, 0};
  return found;
}

void release_region(Region region) {
  for (Region& r : kept) {
    if (r.start == nullptr) {
      r = region;
      return;
    }
  }
  // Keep the larger ones: they are the costly ones to fault in again.
  Region* smallest = &kept[0];
  for (Region& r : kept) {
    if (r.size < smallest->size) smallest = &r;
  }
  if (smallest->size < region.size) std::swap(*smallest, region);
  munmap(region.start, region.size);
}

void* large_alloc(size_t size) {
  Region* slot = free_slot();
  if (slot == nullptr) return nullptr;
  Region region = take_kept(size + kBlockOffset);
  if (region.start == nullptr) region = map_region(size + kBlockOffset);
  if (region.start == nullptr) return nullptr;
  *slot = region;
  return region.start + kBlockOffset;
}

void* large_realloc(Region* region, size_t size) {
  if (size + kBlockOffset > region->size) {
    Region grown = resize_region(*region, size + kBlockOffset);
    if (grown.start == nullptr) return nullptr;
    *region = grown;
  }
  return region->start + kBlockOffset;
}
#endif

#ifdef PLAT_FAULT_INJECTION
constexpr unsigned long long kNoLimit = kPlatNoLimit;

bool limits_read = false;
unsigned long long requests_left = kNoLimit;

void read_limits() {
  limits_read = true;
  unsigned long long above = plat_fault_number("PLAT_FAIL_ALLOC_ABOVE", 0);
  if (above != 0) plat_heap_fail_above = static_cast<SIZE_T>(above);
  requests_left = plat_fault_number("PLAT_FAIL_ALLOC_AFTER", kNoLimit);
}

bool counted_out() {
  if (!limits_read) read_limits();
  if (requests_left == kNoLimit) return false;
  if (requests_left == 0) return true;
  requests_left--;
  return false;
}
#else
bool counted_out() { return false; }
#endif

// Whether a request is refused as an exhausted heap would refuse it.
bool refused(SIZE_T bytes) {
  if (counted_out()) return true;
  return plat_heap_fail_above != 0 && bytes > plat_heap_fail_above;
}

}  // namespace

SIZE_T plat_heap_fail_above = 0;

HANDLE GetProcessHeap(void) { return kProcessHeap; }

LPVOID HeapAlloc(HANDLE, DWORD, SIZE_T bytes) {
  Locked locked;
  if (refused(bytes)) return nullptr;
#ifdef PLAT_LARGE_BLOCKS
  if (bytes >= kLargeBlock) {
    if (void* block = large_alloc(bytes)) return block;
  }
#endif
  return malloc(bytes == 0 ? 1 : bytes);
}

LPVOID HeapReAlloc(HANDLE, DWORD, LPVOID block, SIZE_T bytes) {
  Locked locked;
  if (refused(bytes)) return nullptr;
#ifdef PLAT_LARGE_BLOCKS
  if (Region* region = find_live(block)) return large_realloc(region, bytes);
  if (bytes >= kLargeBlock) {
    // A growing block moves to a mapping of its own once it is large.
    if (void* moved = large_alloc(bytes)) {
      size_t old_size = malloc_usable_size(block);
      memcpy(moved, block, old_size < bytes ? old_size : bytes);
      free(block);
      return moved;
    }
  }
#endif
  return realloc(block, bytes == 0 ? 1 : bytes);
}

BOOL HeapFree(HANDLE, DWORD, LPVOID block) {
  Locked locked;
#ifdef PLAT_LARGE_BLOCKS
  if (Region* region = find_live(block)) {
    release_region(*region);
    *region = Region{nullptr, 0};
    return TRUE;
  }
#endif
  free(block);
  return TRUE;
}
