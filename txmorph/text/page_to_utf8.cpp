// A block of sixteen bytes at a time (32 with AVX2): the ASCII between the
// bytes with the high bit set copied a block's width at a time from where it
// starts (right up to the next such byte; the rest is overwritten next), each
// such byte's UTF-8 put after it. Where the next byte to make comes from
// depends on the bits of the block alone, not on the bytes made so far. The
// output is at most three bytes for one: while two blocks are left, what is
// stored past the bytes made stays within the room of the input's.
#include "txmorph/text/page_to_utf8.h"

#include "platform/vector_level.h"
#include "txmorph/text/conversion_state.h"
#include "txmorph/text/convert_units.h"
#include "txmorph/txmorph.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace txmorph {

void makePageToUtf8(PageToUtf8* table, const PageInfo* page) {
  table->tried = true;
  table->ready = false;
  if (page->maxCharSize != 1 || page->utf8) return;
  uint8_t bytes[0x100];
  uint16_t units[0x100];
  for (uint32_t b = 0; b < 0x100; b++) bytes[b] = static_cast<uint8_t>(b);
  ConversionState state = {page->codePage, 0, 0, 2};
  if (convertUnitsWith(&state, bytes, 0x100, kNarrow, units, 0x100, kWide) != 0x100) return;
  for (uint32_t b = 0; b < 0x80; b++) {
    if (units[b] != b) return;
  }
  for (uint32_t b = 0x80; b < 0x100; b++) {
    if (isHighSurrogate(units[b]) || isLowSurrogate(units[b])) return;
    uint8_t utf8[4] = {0, 0, 0, 0};
    uint32_t length = encodeUtf8Into(&units[b], 1, utf8);
    table->length[b - 0x80] = static_cast<uint8_t>(length);
    __builtin_memcpy(table->utf8[b - 0x80], utf8, 4);
  }
  table->ready = true;
}

namespace {

#if defined(__SSE2__)
// Blocks of 16 bytes (SSE2) or 32 (AVX2): the bits of the bytes with the
// high bit set, and a copy of a block's bytes.
struct Sse2Block {
  static constexpr uint32_t kWidth = 16;
  static uint32_t high(const uint8_t* at) {
    return static_cast<uint32_t>(
        _mm_movemask_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(at))));
  }
  static void copy(uint8_t* to, const uint8_t* from) {
    _mm_storeu_si128(reinterpret_cast<__m128i*>(to),
                     _mm_loadu_si128(reinterpret_cast<const __m128i*>(from)));
  }
};

#if defined(PLAT_HAS_X86_VECTORS)
struct Avx2Block {
  static constexpr uint32_t kWidth = 32;
  PLAT_AVX2 static uint32_t high(const uint8_t* at) {
    return static_cast<uint32_t>(
        _mm256_movemask_epi8(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(at))));
  }
  PLAT_AVX2 static void copy(uint8_t* to, const uint8_t* from) {
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(to),
                        _mm256_loadu_si256(reinterpret_cast<const __m256i*>(from)));
  }
};
#endif

// The blocks while two are left; *i and *o move on.
template <typename Block>
__attribute__((always_inline)) inline void blocksWith(const PageToUtf8* table, const uint8_t* bytes,
                                                      uint32_t count, uint8_t* out, uint32_t* i,
                                                      uint32_t* o) {
  constexpr uint32_t kWidth = Block::kWidth;
  uint32_t at = *i;
  uint32_t made = *o;
  while (count - at >= 2 * kWidth) {
    const uint8_t* block = bytes + at;
    uint32_t high = Block::high(block);
    uint32_t from = 0;  // the block's next byte not yet made
    while (high != 0) {
      uint32_t next = static_cast<uint32_t>(__builtin_ctz(high));
      Block::copy(out + made, block + from);
      made += next - from;
      uint32_t b = block[next] - 0x80u;
      __builtin_memcpy(out + made, table->utf8[b], 4);
      made += table->length[b];
      from = next + 1;
      high &= high - 1;
    }
    Block::copy(out + made, block + from);
    made += kWidth - from;
    at += kWidth;
  }
  *i = at;
  *o = made;
}

#if defined(PLAT_HAS_X86_VECTORS)
PLAT_AVX2 void blocksAvx2(const PageToUtf8* table, const uint8_t* bytes, uint32_t count,
                          uint8_t* out, uint32_t* i, uint32_t* o) {
  blocksWith<Avx2Block>(table, bytes, count, out, i, o);
}
#endif
#endif

}  // namespace

uint32_t pageToUtf8(const PageToUtf8* table, const uint8_t* bytes, uint32_t count, uint8_t* out) {
  uint32_t i = 0;
  uint32_t o = 0;
#if defined(__SSE2__)
#if defined(PLAT_HAS_X86_VECTORS)
  if (plat_vector_level() == PLAT_VECTOR_AVX2) blocksAvx2(table, bytes, count, out, &i, &o);
#endif
  blocksWith<Sse2Block>(table, bytes, count, out, &i, &o);
#endif
  for (; i < count; i++) {
    if (bytes[i] < 0x80) {
      out[o++] = bytes[i];
      continue;
    }
    uint32_t b = bytes[i] - 0x80u;
    for (uint32_t k = 0; k < table->length[b]; k++) out[o++] = table->utf8[b][k];
  }
  return o;
}

}  // namespace txmorph
