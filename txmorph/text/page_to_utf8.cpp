// A block of sixteen bytes at a time (32 with AVX2): the ASCII between the
// bytes with the high bit set copied a block's width at a time from where it
// starts (right up to the next such byte; the rest is overwritten next), each
// such byte's UTF-8 put after it. Where the next byte to make comes from
// depends on the bits of the block alone, not on the bytes made so far. With
// AVX2, a block whose bytes above ASCII are all characters of their own
// number (Western text in 1252) is made by shuffles instead. The output is at
// most three bytes for one: while two blocks are left, what is stored past
// the bytes made stays within the room of the input's.
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
  __builtin_memset(table->own, 0, sizeof table->own);
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
    if (units[b] == b) table->own[(b - 0x80) >> 3] |= static_cast<uint8_t>(1u << (b & 7));
  }
  table->anyOwn = false;
  for (uint8_t bits : table->own) table->anyOwn = table->anyOwn || bits != 0;
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

// The bytes of a block (its bits `high`) a byte at a time above ASCII: the
// output's end past them.
template <typename Block>
__attribute__((always_inline)) inline uint32_t byBytes(const PageToUtf8* table,
                                                       const uint8_t* block, uint32_t high,
                                                       uint8_t* out, uint32_t made) {
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
  return made + Block::kWidth - from;
}

// The blocks while two are left; *i and *o move on.
template <typename Block>
__attribute__((always_inline)) inline void blocksWith(const PageToUtf8* table, const uint8_t* bytes,
                                                      uint32_t count, uint8_t* out, uint32_t* i,
                                                      uint32_t* o) {
  uint32_t at = *i;
  uint32_t made = *o;
  for (; count - at >= 2 * Block::kWidth; at += Block::kWidth) {
    made = byBytes<Block>(table, bytes + at, Block::high(bytes + at), out, made);
  }
  *i = at;
  *o = made;
}

#if defined(PLAT_HAS_X86_VECTORS)
PLAT_AVX2 void blocksAvx2(const PageToUtf8* table, const uint8_t* bytes, uint32_t count,
                          uint8_t* out, uint32_t* i, uint32_t* o) {
  blocksWith<Avx2Block>(table, bytes, count, out, i, o);
}

// Bytes that decode to the character of their own number (U+0080 to U+00FF)
// have the two-byte form 0xC0 | b >> 6, 0x80 | (b & 0x3F): a block whose bytes
// above ASCII are all such is made by shuffles. For eight bytes with bit k set
// where byte k is above ASCII: which of the sixteen bytes of their forms
// (byte k's at 2k and 2k + 1) are kept, and how many.
struct FormTable {
  uint8_t order[256][16];
  uint8_t count[256];
};

constexpr FormTable makeFormTable() {
  FormTable table{};
  for (int high = 0; high < 256; high++) {
    int o = 0;
    for (int k = 0; k < 8; k++) {
      table.order[high][o++] = static_cast<uint8_t>(2 * k);
      if ((high >> k & 1) != 0) table.order[high][o++] = static_cast<uint8_t>(2 * k + 1);
    }
    table.count[high] = static_cast<uint8_t>(o);
    while (o < 16) table.order[high][o++] = 0x80;  // a zero byte
  }
  return table;
}

constexpr FormTable kForms = makeFormTable();

PLAT_AVX2 inline __m128i load16(const void* at) {
  return _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
}

PLAT_AVX2 inline __m256i forms2(uint32_t low, uint32_t high) {
  return _mm256_inserti128_si256(_mm256_castsi128_si256(load16(kForms.order[low])),
                                 load16(kForms.order[high]), 1);
}

// Blocks of 32 while two are left: by shuffles where every byte above ASCII
// is its own character (plain ASCII too: a branch that depends on the text
// costs more than the shuffles), else a byte at a time. The forms of a lane's
// bytes 0-7 come out in the low half of the lane and those of 8-15 in the
// high, lane by lane.
PLAT_AVX2 void ownBlocksAvx2(const PageToUtf8* table, const uint8_t* bytes, uint32_t count,
                             uint8_t* out, uint32_t* i, uint32_t* o) {
  const __m256i own = _mm256_broadcastsi128_si256(load16(table->own));
  const __m256i bit = _mm256_setr_epi8(1, 2, 4, 8, 16, 32, 64, -128, 1, 2, 4, 8, 16, 32, 64, -128,
                                       1, 2, 4, 8, 16, 32, 64, -128, 1, 2, 4, 8, 16, 32, 64, -128);
  const __m256i zero = _mm256_setzero_si256();
  const __m256i low3 = _mm256_set1_epi8(7);
  const __m256i low4 = _mm256_set1_epi8(0x0F);
  const __m256i low6 = _mm256_set1_epi8(0x3F);
  uint32_t at = *i;
  uint32_t made = *o;
  for (; count - at >= 64; at += 32) {
    const uint8_t* block = bytes + at;
    __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(block));
    uint32_t high = static_cast<uint32_t>(_mm256_movemask_epi8(v));
    __m256i group = _mm256_and_si256(_mm256_srli_epi16(v, 3), low4);
    __m256i owned = _mm256_and_si256(_mm256_shuffle_epi8(own, group),
                                     _mm256_shuffle_epi8(bit, _mm256_and_si256(v, low3)));
    uint32_t others = static_cast<uint32_t>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(owned, zero)));
    if ((high & others) != 0) {
      made = byBytes<Sse2Block>(table, block, high & 0xFFFF, out, made);
      made = byBytes<Sse2Block>(table, block + 16, high >> 16, out, made);
      continue;
    }
    __m256i above = _mm256_cmpgt_epi8(zero, v);
    __m256i lead = _mm256_or_si256(_mm256_and_si256(_mm256_srli_epi16(v, 6), _mm256_set1_epi8(3)),
                                   _mm256_set1_epi8(static_cast<char>(0xC0)));
    __m256i first = _mm256_blendv_epi8(v, lead, above);
    __m256i second =
        _mm256_or_si256(_mm256_and_si256(v, low6), _mm256_set1_epi8(static_cast<char>(0x80)));
    uint32_t b0 = high & 0xFF, b1 = high >> 8 & 0xFF, b2 = high >> 16 & 0xFF, b3 = high >> 24;
    __m256i lows = _mm256_shuffle_epi8(_mm256_unpacklo_epi8(first, second), forms2(b0, b2));
    __m256i highs = _mm256_shuffle_epi8(_mm256_unpackhi_epi8(first, second), forms2(b1, b3));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + made), _mm256_castsi256_si128(lows));
    made += kForms.count[b0];
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + made), _mm256_castsi256_si128(highs));
    made += kForms.count[b1];
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + made), _mm256_extracti128_si256(lows, 1));
    made += kForms.count[b2];
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + made), _mm256_extracti128_si256(highs, 1));
    made += kForms.count[b3];
  }
  *i = at;
  *o = made;
}
#endif
#endif

}  // namespace

uint32_t pageToUtf8(const PageToUtf8* table, const uint8_t* bytes, uint32_t count, uint8_t* out) {
  uint32_t i = 0;
  uint32_t o = 0;
#if defined(__SSE2__)
#if defined(PLAT_HAS_X86_VECTORS)
  plat_vector level = plat_vector_level();
  if (level >= PLAT_VECTOR_AVX2) {
    if (table->anyOwn) {
      ownBlocksAvx2(table, bytes, count, out, &i, &o);
    } else {
      blocksAvx2(table, bytes, count, out, &i, &o);
    }
  }
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
