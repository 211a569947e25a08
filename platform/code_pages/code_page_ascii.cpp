// ASCII runs: whole blocks while they last, then the scalar form finishes the
// run, so nothing past it is ever written.
#include "platform/code_pages/code_page_ascii.h"

size_t plat_ascii_span_scalar(const uint8_t* source, size_t count) {
  size_t i = 0;
  while (i < count && source[i] < 0x80) i++;
  return i;
}

size_t plat_ascii_widen_scalar(const uint8_t* source, size_t count, WCHAR* dest) {
  size_t i = 0;
  for (; i < count && source[i] < 0x80; i++) dest[i] = source[i];
  return i;
}

size_t plat_ascii_narrow_scalar(const WCHAR* source, size_t count, uint8_t* dest) {
  size_t i = 0;
  for (; i < count && source[i] < 0x80; i++) dest[i] = static_cast<uint8_t>(source[i]);
  return i;
}

size_t plat_ascii_span(const uint8_t* source, size_t count) {
  size_t i = 0;
#if defined(__SSE2__)
  for (; i + kPlatAsciiBlock <= count; i += kPlatAsciiBlock) {
    __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(source + i));
    int high = _mm_movemask_epi8(v);
    if (high != 0) return i + static_cast<size_t>(__builtin_ctz(high));
  }
#else
  for (; i + 8 <= count; i += 8) {
    uint64_t word;
    memcpy(&word, source + i, 8);
    if (word & 0x8080808080808080ull) break;
  }
#endif
  return i + plat_ascii_span_scalar(source + i, count - i);
}

size_t plat_ascii_widen(const uint8_t* source, size_t count, WCHAR* dest) {
  size_t i = 0;
  while (i + kPlatAsciiBlock <= count && plat_ascii_widen_block(source + i, dest + i)) {
    i += kPlatAsciiBlock;
  }
  return i + plat_ascii_widen_scalar(source + i, count - i, dest + i);
}

size_t plat_ascii_narrow(const WCHAR* source, size_t count, uint8_t* dest) {
  size_t i = 0;
  while (i + kPlatAsciiBlock <= count && plat_ascii_narrow_block(source + i, dest + i)) {
    i += kPlatAsciiBlock;
  }
  return i + plat_ascii_narrow_scalar(source + i, count - i, dest + i);
}
