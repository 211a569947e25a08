// The UTF-8 fast paths. They take only what they are sure of and leave the
// rest (four-byte forms, surrogates, anything malformed, the last few bytes
// or units, a short room) to the exact conversion, which decides what
// Windows makes of it.
//
// Decoding goes a block of 16 bytes at a time where SSE2 is there: ASCII
// blocks are widened whole; in any other block every byte is classed at once
// (continuation, lead of two, lead of three), the block is checked as a
// whole (every continuation byte where a lead byte calls for one, the second
// byte of E0 and ED in range), every position is decoded as if a character
// started there, and the starts are kept, with nothing in one character
// waiting on the one before. A character at a time, its length chosen by
// masks rather than branches, takes over where a block does not pass, and is
// all there is without SSE2.
//
// Encoding picks the one-, two- or three-byte form of a unit by masks and
// stores four bytes at once; the bytes past the form are scratch that the
// following characters overwrite, so it runs only while three more units
// and their room are certain to follow.
#include "platform/code_pages/code_page.h"
#include "platform/code_pages/code_page_ascii.h"
#include "platform/code_pages/code_page_utf8_blocks.h"
#include "platform/vector_level.h"

namespace {

// The unit of a well-formed character of one, two or three bytes.
inline uint32_t unit_of(uint32_t c, uint32_t b1, uint32_t b2) {
  uint32_t one = 0u - (c < 0x80);
  uint32_t three = 0u - (c >= 0xE0);
  uint32_t two_form = (c & 0x1F) << 6 | (b1 & 0x3F);
  uint32_t three_form = (c & 0x0F) << 12 | (b1 & 0x3F) << 6 | (b2 & 0x3F);
  return (c & one) | (two_form & ~(one | three)) | (three_form & three);
}

// Characters one at a time, up to `limit` bytes in; at least four bytes and
// one unit of room must be left for each.
size_t decode_chars(const uint8_t* source, size_t count, size_t limit, WCHAR* dest, size_t room,
                    size_t* written) {
  size_t i = 0;
  size_t o = 0;
  while (i < limit && count - i >= 4 && o < room) {
    uint32_t c = source[i];
    uint32_t b1 = source[i + 1];
    uint32_t b2 = source[i + 2];
    uint32_t more = (c >= 0xC0) + (c >= 0xE0);
    uint32_t bad = (c >= 0x80 && c < 0xC2) | (c >= 0xF0) | ((more >= 1) & ((b1 & 0xC0) != 0x80)) |
                   ((more == 2) & ((b2 & 0xC0) != 0x80)) | ((c == 0xE0) & (b1 < 0xA0)) |
                   ((c == 0xED) & (b1 > 0x9F));
    if (bad) break;
    dest[o++] = static_cast<WCHAR>(unit_of(c, b1, b2));
    i += more + 1;
  }
  *written = o;
  return i;
}

#if defined(__SSE2__)

// Every position of the block decoded as if a character of one to three
// bytes started there (only the starts are kept), in two halves of eight.
inline void units_at_every_byte(__m128i v, const uint8_t* at, __m128i units[2]) {
  const __m128i zero = _mm_setzero_si128();
  const __m128i low6 = _mm_set1_epi16(0x3F);
  __m128i next = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at + 1));
  __m128i after = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at + 2));
  for (int half = 0; half < 2; half++) {
    __m128i c = half ? _mm_unpackhi_epi8(v, zero) : _mm_unpacklo_epi8(v, zero);
    __m128i b1 = half ? _mm_unpackhi_epi8(next, zero) : _mm_unpacklo_epi8(next, zero);
    __m128i b2 = half ? _mm_unpackhi_epi8(after, zero) : _mm_unpacklo_epi8(after, zero);
    __m128i tail1 = _mm_and_si128(b1, low6);
    __m128i tail2 = _mm_and_si128(b2, low6);
    __m128i two = _mm_or_si128(_mm_slli_epi16(_mm_and_si128(c, _mm_set1_epi16(0x1F)), 6), tail1);
    __m128i three =
        _mm_or_si128(_mm_or_si128(_mm_slli_epi16(c, 12), _mm_slli_epi16(tail1, 6)), tail2);
    __m128i is_one = _mm_cmplt_epi16(c, _mm_set1_epi16(0x80));
    __m128i is_three = _mm_cmpgt_epi16(c, _mm_set1_epi16(0xDF));
    units[half] =
        _mm_or_si128(_mm_or_si128(_mm_and_si128(c, is_one), _mm_and_si128(three, is_three)),
                     _mm_andnot_si128(_mm_or_si128(is_one, is_three), two));
  }
}

// Stores the units of the starts one after another from dest[0], with no
// branch: every position stores its unit where the next start would go, and
// only a start moves on. What the others leave there, the next start (or the
// next character after the block) overwrites. Returns the units kept.
inline size_t keep_starts(const __m128i units[2], uint32_t starts, WCHAR* dest) {
  size_t o = 0;
#define PLAT_KEEP(k)                                                        \
  dest[o] = static_cast<WCHAR>(_mm_extract_epi16(units[(k) / 8], (k) % 8)); \
  o += (starts >> (k)) & 1;
  PLAT_KEEP(0)
  PLAT_KEEP(1)
  PLAT_KEEP(2)
  PLAT_KEEP(3)
  PLAT_KEEP(4) PLAT_KEEP(5) PLAT_KEEP(6) PLAT_KEEP(7) PLAT_KEEP(8) PLAT_KEEP(9) PLAT_KEEP(10)
      PLAT_KEEP(11) PLAT_KEEP(12) PLAT_KEEP(13) PLAT_KEEP(14) PLAT_KEEP(15)
#undef PLAT_KEEP
          return o;
}

// Whole blocks of 16 bytes (18 must be left, for the bytes read past a
// character at the end of a block) with room for 16 units each.
size_t decode_blocks(const uint8_t* source, size_t count, WCHAR* dest, size_t room,
                     size_t* written) {
  const __m128i flip = _mm_set1_epi8(static_cast<char>(0x80));
  size_t i = 0;
  size_t o = 0;
  while (count - i >= kPlatAsciiBlock + 2 && room - o >= kPlatAsciiBlock) {
    const uint8_t* at = source + i;
    __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
    if (plat_ascii_widen_block(at, dest + o)) {
      i += kPlatAsciiBlock;
      o += kPlatAsciiBlock;
      continue;
    }
    // Unsigned byte ranges through signed compares of the bytes flipped.
    __m128i s = _mm_xor_si128(v, flip);
    uint32_t cont = static_cast<uint32_t>(_mm_movemask_epi8(
        _mm_cmpeq_epi8(_mm_and_si128(v, _mm_set1_epi8(static_cast<char>(0xC0))), flip)));
    uint32_t high = static_cast<uint32_t>(_mm_movemask_epi8(v));
    uint32_t from_c2 = _mm_movemask_epi8(_mm_cmpgt_epi8(s, _mm_set1_epi8(0x41)));
    uint32_t from_e0 = _mm_movemask_epi8(_mm_cmpgt_epi8(s, _mm_set1_epi8(0x5F)));
    uint32_t from_f0 = _mm_movemask_epi8(_mm_cmpgt_epi8(s, _mm_set1_epi8(0x6F)));
    if (((high & ~cont & ~from_c2) | from_f0) != 0) break;  // C0, C1, F0-FF
    uint32_t lead2 = from_c2 & ~from_e0;
    uint32_t lead3 = from_e0;
    uint32_t wanted = lead2 << 1 | lead3 << 1 | lead3 << 2;
    if (((cont ^ wanted) & 0xFFFF) != 0) break;
    // A character that runs past the block starts the next one.
    uint32_t across = (lead2 & 0x8000) | (lead3 & 0xC000);
    uint32_t taken = static_cast<uint32_t>(__builtin_ctz(across | 0x10000));
    uint32_t mine = (1u << taken) - 1;
    uint32_t e0 = _mm_movemask_epi8(_mm_cmpeq_epi8(v, _mm_set1_epi8(static_cast<char>(0xE0))));
    uint32_t ed = _mm_movemask_epi8(_mm_cmpeq_epi8(v, _mm_set1_epi8(static_cast<char>(0xED))));
    if ((e0 | ed) & mine) {
      __m128i next = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at + 1));
      __m128i a0 = _mm_set1_epi8(static_cast<char>(0xA0));
      __m128i x9f = _mm_set1_epi8(static_cast<char>(0x9F));
      uint32_t from_a0 = _mm_movemask_epi8(_mm_cmpeq_epi8(_mm_max_epu8(next, a0), next));
      uint32_t to_9f = _mm_movemask_epi8(_mm_cmpeq_epi8(_mm_min_epu8(next, x9f), next));
      if (((e0 & ~from_a0) | (ed & ~to_9f)) & mine) break;
    }
    __m128i units[2];
    units_at_every_byte(v, at, units);
    o += keep_starts(units, ~cont & mine, dest + o);
    i += taken;
  }
  *written = o;
  return i;
}

#else

size_t decode_blocks(const uint8_t*, size_t, WCHAR*, size_t, size_t* written) {
  *written = 0;
  return 0;
}

#endif

}  // namespace

size_t plat_utf8_decode_fast(const uint8_t* source, size_t count, WCHAR* dest, size_t room,
                             size_t* written) {
  using Blocks = size_t (*)(const uint8_t*, size_t, WCHAR*, size_t, size_t*);
  plat_vector level = plat_vector_level();
  Blocks blocks = level == PLAT_VECTOR_AVX512  ? plat_utf8_decode_blocks_avx512
                  : level == PLAT_VECTOR_AVX2  ? plat_utf8_decode_blocks_avx2
                  : level == PLAT_VECTOR_SSSE3 ? plat_utf8_decode_blocks_ssse3
                                               : decode_blocks;
  size_t i = 0;
  size_t o = 0;
  for (;;) {
    size_t w;
    size_t by_blocks = blocks(source + i, count - i, dest + o, room - o, &w);
    i += by_blocks;
    o += w;
    // Past whatever stopped the blocks, a character at a time.
    size_t by_chars = decode_chars(source + i, count - i, kPlatAsciiBlock, dest + o, room - o, &w);
    i += by_chars;
    o += w;
    if (by_blocks == 0 && by_chars == 0) break;
  }
  *written = o;
  return i;
}

namespace {

// One unit by masks: its form (one, two or three bytes, low byte first) in a
// word, and its length. Four bytes are stored; the ones past the form are
// scratch.
inline size_t encode_unit(uint32_t u, uint8_t* dest) {
  uint32_t one = 0u - (u < 0x80);
  uint32_t three = 0u - (u >= 0x800);
  uint32_t two_form = (0xC0 | u >> 6) | (0x80 | (u & 0x3F)) << 8;
  uint32_t three_form =
      (0xE0 | u >> 12) | (0x80 | (u >> 6 & 0x3F)) << 8 | (0x80 | (u & 0x3F)) << 16;
  uint32_t bytes = (u & one) | (two_form & ~(one | three)) | (three_form & three);
  dest[0] = static_cast<uint8_t>(bytes);
  dest[1] = static_cast<uint8_t>(bytes >> 8);
  dest[2] = static_cast<uint8_t>(bytes >> 16);
  dest[3] = 0;
  return 1 + (u >= 0x80) + (u >= 0x800);
}

#if defined(__SSE2__)

inline bool has_surrogate8(const WCHAR* source) {
  __m128i u = _mm_loadu_si128(reinterpret_cast<const __m128i*>(source));
  __m128i top = _mm_and_si128(u, _mm_set1_epi16(static_cast<short>(0xF800)));
  return _mm_movemask_epi8(_mm_cmpeq_epi16(top, _mm_set1_epi16(static_cast<short>(0xD800)))) != 0;
}

// Eight units at once, none a surrogate: their forms as words and their
// lengths, then stored one after another.
size_t encode_eight(const WCHAR* source, uint8_t* dest) {
  __m128i u = _mm_loadu_si128(reinterpret_cast<const __m128i*>(source));
  // Units are unsigned; flipping the top bit lets signed compares order them.
  __m128i s = _mm_xor_si128(u, _mm_set1_epi16(static_cast<short>(0x8000)));
  __m128i one = _mm_cmplt_epi16(s, _mm_set1_epi16(static_cast<short>(0x8080)));
  __m128i three = _mm_cmpgt_epi16(s, _mm_set1_epi16(static_cast<short>(0x87FF)));
  __m128i low6 = _mm_set1_epi16(0x3F);
  __m128i mark = _mm_set1_epi16(0x80);
  __m128i lead = _mm_or_si128(
      _mm_and_si128(u, one),
      _mm_or_si128(_mm_and_si128(three, _mm_or_si128(_mm_srli_epi16(u, 12), _mm_set1_epi16(0xE0))),
                   _mm_andnot_si128(_mm_or_si128(one, three),
                                    _mm_or_si128(_mm_srli_epi16(u, 6), _mm_set1_epi16(0xC0)))));
  __m128i second = _mm_or_si128(
      mark, _mm_and_si128(low6, _mm_or_si128(_mm_and_si128(three, _mm_srli_epi16(u, 6)),
                                             _mm_andnot_si128(three, u))));
  __m128i third = _mm_or_si128(mark, _mm_and_si128(low6, u));
  __m128i pair = _mm_or_si128(lead, _mm_slli_epi16(second, 8));
  alignas(16) uint32_t words[8];
  _mm_store_si128(reinterpret_cast<__m128i*>(words), _mm_unpacklo_epi16(pair, third));
  _mm_store_si128(reinterpret_cast<__m128i*>(words + 4), _mm_unpackhi_epi16(pair, third));
  // Lengths: 2, less 1 below 0x80, plus 1 from 0x800 (a true compare is -1).
  __m128i length = _mm_sub_epi16(_mm_add_epi16(_mm_set1_epi16(2), one), three);
  alignas(16) uint16_t lengths[8];
  _mm_store_si128(reinterpret_cast<__m128i*>(lengths), length);
  size_t o = 0;
  for (int k = 0; k < 8; k++) {
    memcpy(dest + o, &words[k], 4);
    o += lengths[k];
  }
  return o;
}

#endif

}  // namespace

size_t plat_utf8_encode_fast(const WCHAR* source, size_t count, uint8_t* dest, size_t room,
                             size_t* written) {
  size_t i = 0;
  size_t o = 0;
  while (count - i >= 4 && room - o >= 13) {
    if (count - i >= kPlatAsciiBlock && room - o >= kPlatAsciiBlock &&
        plat_ascii_narrow_block(source + i, dest + o)) {
      i += kPlatAsciiBlock;
      o += kPlatAsciiBlock;
      continue;
    }
#if defined(__SSE2__)
    if (count - i >= 8 + 3 && room - o >= 24 + 9 && !has_surrogate8(source + i)) {
      o += encode_eight(source + i, dest + o);
      i += 8;
      continue;
    }
#endif
    uint32_t u = source[i];
    if (u >= 0xD800 && u <= 0xDFFF) break;
    o += encode_unit(u, dest + o);
    i++;
  }
  *written = o;
  return i;
}
