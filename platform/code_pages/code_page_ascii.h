// ASCII runs, the common case of every conversion, taken a block of 16 at a
// time (SSE2 on x86-64, two machine words elsewhere). The scalar forms are
// the reference that the tests hold the fast ones to. Internal to
// platform/code_pages.
#ifndef PLATFORM_CODE_PAGES_CODE_PAGE_ASCII_H
#define PLATFORM_CODE_PAGES_CODE_PAGE_ASCII_H

#include <stddef.h>
#include <stdint.h>
#include <string.h>

#include "platform/platform.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

constexpr size_t kPlatAsciiBlock = 16;

// Whether the 16 bytes at source are all below 0x80; if so they are widened
// into dest, else nothing is written.
inline bool plat_ascii_widen_block_word(const uint8_t* source, WCHAR* dest) {
  uint64_t a;
  uint64_t b;
  memcpy(&a, source, 8);
  memcpy(&b, source + 8, 8);
  if ((a | b) & 0x8080808080808080ull) return false;
  for (size_t k = 0; k < kPlatAsciiBlock; k++) dest[k] = source[k];
  return true;
}

// Whether the 16 units at source are all below 0x80; if so they are narrowed
// into dest, else nothing is written.
inline bool plat_ascii_narrow_block_word(const WCHAR* source, uint8_t* dest) {
  uint64_t words[4];
  memcpy(words, source, sizeof words);
  if ((words[0] | words[1] | words[2] | words[3]) & 0xFF80FF80FF80FF80ull) return false;
  for (size_t k = 0; k < kPlatAsciiBlock; k++) dest[k] = static_cast<uint8_t>(source[k]);
  return true;
}

// Widens the 16 bytes at source into dest whatever they are, and returns a bit
// for each byte from 0x80 up (widened as it is, for the caller to look up).
inline uint32_t plat_widen_block_marking_word(const uint8_t* source, WCHAR* dest) {
  uint32_t high = 0;
  for (size_t k = 0; k < kPlatAsciiBlock; k++) {
    dest[k] = source[k];
    high |= static_cast<uint32_t>(source[k] >> 7) << k;
  }
  return high;
}

// Narrows the 16 units at source into dest whatever they are (a unit from
// 0x80 up comes out as anything), and returns a bit for each such unit.
inline uint32_t plat_narrow_block_marking_word(const WCHAR* source, uint8_t* dest) {
  uint32_t high = 0;
  for (size_t k = 0; k < kPlatAsciiBlock; k++) {
    dest[k] = static_cast<uint8_t>(source[k]);
    high |= static_cast<uint32_t>(source[k] > 0x7F) << k;
  }
  return high;
}

#if defined(__SSE2__)

inline uint32_t plat_narrow_block_marking(const WCHAR* source, uint8_t* dest) {
  __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(source));
  __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(source + 8));
  _mm_storeu_si128(reinterpret_cast<__m128i*>(dest), _mm_packus_epi16(a, b));
  const __m128i ascii = _mm_set1_epi16(static_cast<short>(0xFF80));
  const __m128i zero = _mm_setzero_si128();
  __m128i low = _mm_cmpeq_epi16(_mm_and_si128(a, ascii), zero);
  __m128i high = _mm_cmpeq_epi16(_mm_and_si128(b, ascii), zero);
  return ~static_cast<uint32_t>(_mm_movemask_epi8(_mm_packs_epi16(low, high))) & 0xFFFF;
}

inline uint32_t plat_widen_block_marking(const uint8_t* source, WCHAR* dest) {
  __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(source));
  const __m128i zero = _mm_setzero_si128();
  _mm_storeu_si128(reinterpret_cast<__m128i*>(dest), _mm_unpacklo_epi8(v, zero));
  _mm_storeu_si128(reinterpret_cast<__m128i*>(dest + 8), _mm_unpackhi_epi8(v, zero));
  return static_cast<uint32_t>(_mm_movemask_epi8(v));
}

inline bool plat_ascii_widen_block(const uint8_t* source, WCHAR* dest) {
  __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(source));
  if (_mm_movemask_epi8(v) != 0) return false;
  const __m128i zero = _mm_setzero_si128();
  _mm_storeu_si128(reinterpret_cast<__m128i*>(dest), _mm_unpacklo_epi8(v, zero));
  _mm_storeu_si128(reinterpret_cast<__m128i*>(dest + 8), _mm_unpackhi_epi8(v, zero));
  return true;
}

inline bool plat_ascii_narrow_block(const WCHAR* source, uint8_t* dest) {
  __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(source));
  __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(source + 8));
  __m128i over = _mm_and_si128(_mm_or_si128(a, b), _mm_set1_epi16(static_cast<short>(0xFF80)));
  if (_mm_movemask_epi8(_mm_cmpeq_epi16(over, _mm_setzero_si128())) != 0xFFFF) return false;
  _mm_storeu_si128(reinterpret_cast<__m128i*>(dest), _mm_packus_epi16(a, b));
  return true;
}

#else

inline uint32_t plat_narrow_block_marking(const WCHAR* source, uint8_t* dest) {
  return plat_narrow_block_marking_word(source, dest);
}

inline uint32_t plat_widen_block_marking(const uint8_t* source, WCHAR* dest) {
  return plat_widen_block_marking_word(source, dest);
}

inline bool plat_ascii_widen_block(const uint8_t* source, WCHAR* dest) {
  return plat_ascii_widen_block_word(source, dest);
}

inline bool plat_ascii_narrow_block(const WCHAR* source, uint8_t* dest) {
  return plat_ascii_narrow_block_word(source, dest);
}

#endif

// The number of leading bytes below 0x80 (at most count).
size_t plat_ascii_span(const uint8_t* source, size_t count);
// The same, widening them into dest (room for count units).
size_t plat_ascii_widen(const uint8_t* source, size_t count, WCHAR* dest);
// The number of leading units below 0x80, narrowed into dest (room for count bytes).
size_t plat_ascii_narrow(const WCHAR* source, size_t count, uint8_t* dest);

// The references: a unit at a time.
size_t plat_ascii_span_scalar(const uint8_t* source, size_t count);
size_t plat_ascii_widen_scalar(const uint8_t* source, size_t count, WCHAR* dest);
size_t plat_ascii_narrow_scalar(const WCHAR* source, size_t count, uint8_t* dest);

#endif
