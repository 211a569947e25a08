// ASCII runs a vector or a word at a time. On a block that is not all ASCII
// the scalar form finishes the run, so nothing past it is ever written.
#include "platform/posix/code_page_ascii.h"

#include <string.h>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

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

namespace {

constexpr uint64_t kByteHigh = 0x8080808080808080ull;
constexpr uint64_t kUnitHigh = 0xFF80FF80FF80FF80ull;

uint64_t load64(const void* at) {
  uint64_t word;
  memcpy(&word, at, sizeof word);
  return word;
}

}  // namespace

size_t plat_ascii_span_word(const uint8_t* source, size_t count) {
  size_t i = 0;
  while (i + 8 <= count && (load64(source + i) & kByteHigh) == 0) i += 8;
  return i + plat_ascii_span_scalar(source + i, count - i);
}

size_t plat_ascii_widen_word(const uint8_t* source, size_t count, WCHAR* dest) {
  size_t i = 0;
  for (; i + 8 <= count && (load64(source + i) & kByteHigh) == 0; i += 8) {
    for (size_t k = 0; k < 8; k++) dest[i + k] = source[i + k];
  }
  return i + plat_ascii_widen_scalar(source + i, count - i, dest + i);
}

size_t plat_ascii_narrow_word(const WCHAR* source, size_t count, uint8_t* dest) {
  size_t i = 0;
  for (; i + 4 <= count && (load64(source + i) & kUnitHigh) == 0; i += 4) {
    for (size_t k = 0; k < 4; k++) dest[i + k] = static_cast<uint8_t>(source[i + k]);
  }
  return i + plat_ascii_narrow_scalar(source + i, count - i, dest + i);
}

#if defined(__SSE2__)

size_t plat_ascii_span(const uint8_t* source, size_t count) {
  size_t i = 0;
  for (; i + 16 <= count; i += 16) {
    __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(source + i));
    int high = _mm_movemask_epi8(v);
    if (high != 0) return i + __builtin_ctz(high);
  }
  return i + plat_ascii_span_scalar(source + i, count - i);
}

size_t plat_ascii_widen(const uint8_t* source, size_t count, WCHAR* dest) {
  const __m128i zero = _mm_setzero_si128();
  size_t i = 0;
  for (; i + 16 <= count; i += 16) {
    __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(source + i));
    if (_mm_movemask_epi8(v) != 0) break;
    _mm_storeu_si128(reinterpret_cast<__m128i*>(dest + i), _mm_unpacklo_epi8(v, zero));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(dest + i + 8), _mm_unpackhi_epi8(v, zero));
  }
  return i + plat_ascii_widen_scalar(source + i, count - i, dest + i);
}

size_t plat_ascii_narrow(const WCHAR* source, size_t count, uint8_t* dest) {
  const __m128i high = _mm_set1_epi16(static_cast<short>(0xFF80));
  const __m128i zero = _mm_setzero_si128();
  size_t i = 0;
  for (; i + 16 <= count; i += 16) {
    __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(source + i));
    __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(source + i + 8));
    __m128i over = _mm_and_si128(_mm_or_si128(a, b), high);
    if (_mm_movemask_epi8(_mm_cmpeq_epi16(over, zero)) != 0xFFFF) break;
    _mm_storeu_si128(reinterpret_cast<__m128i*>(dest + i), _mm_packus_epi16(a, b));
  }
  return i + plat_ascii_narrow_scalar(source + i, count - i, dest + i);
}

#else

size_t plat_ascii_span(const uint8_t* source, size_t count) {
  return plat_ascii_span_word(source, count);
}

size_t plat_ascii_widen(const uint8_t* source, size_t count, WCHAR* dest) {
  return plat_ascii_widen_word(source, count, dest);
}

size_t plat_ascii_narrow(const WCHAR* source, size_t count, uint8_t* dest) {
  return plat_ascii_narrow_word(source, count, dest);
}

#endif
