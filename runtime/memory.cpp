// memcpy, memmove, memset and memcmp for the Windows build, which links no C
// runtime: the compiler emits calls to them on its own. Elsewhere the system's
// versions are used.
#ifdef _WIN32
#include <stddef.h>
#include <stdint.h>

// Keep the compiler from turning these loops back into calls to themselves.
#define RT_PLAIN_LOOP __attribute__((optimize("no-tree-loop-distribute-patterns")))

extern "C" {

typedef uintptr_t __attribute__((may_alias, aligned(1))) unaligned_word;

RT_PLAIN_LOOP void* memcpy(void* dest, const void* src, size_t n) {
  uint8_t* d = static_cast<uint8_t*>(dest);
  const uint8_t* s = static_cast<const uint8_t*>(src);
  while (n >= sizeof(uintptr_t)) {
    *reinterpret_cast<unaligned_word*>(d) = *reinterpret_cast<const unaligned_word*>(s);
    d += sizeof(uintptr_t);
    s += sizeof(uintptr_t);
    n -= sizeof(uintptr_t);
  }
  while (n--) *d++ = *s++;
  return dest;
}

RT_PLAIN_LOOP void* memmove(void* dest, const void* src, size_t n) {
  uint8_t* d = static_cast<uint8_t*>(dest);
  const uint8_t* s = static_cast<const uint8_t*>(src);
  if (d == s || n == 0) return dest;
  if (d < s || d >= s + n) return memcpy(dest, src, n);
  // Overlapping with the destination above: copy from the end down.
  while (n >= sizeof(uintptr_t)) {
    n -= sizeof(uintptr_t);
    *reinterpret_cast<unaligned_word*>(d + n) = *reinterpret_cast<const unaligned_word*>(s + n);
  }
  while (n--) d[n] = s[n];
  return dest;
}

RT_PLAIN_LOOP void* memset(void* dest, int value, size_t n) {
  uint8_t* d = static_cast<uint8_t*>(dest);
  while (n--) *d++ = static_cast<uint8_t>(value);
  return dest;
}

RT_PLAIN_LOOP int memcmp(const void* a, const void* b, size_t n) {
  const uint8_t* x = static_cast<const uint8_t*>(a);
  const uint8_t* y = static_cast<const uint8_t*>(b);
  for (; n; n--, x++, y++) {
    if (*x != *y) return *x < *y ? -1 : 1;
  }
  return 0;
}

}  // extern "C"
#endif
