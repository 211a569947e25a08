// UTF-8 to UTF-16 by byte shuffles, a block of 16 bytes (SSSE3) or 32 (AVX2)
// at a time, for text of well-formed characters of one to three bytes.
//
// Blocks follow each other at fixed steps, so that where the next one starts
// never waits on what this one holds. A block's bytes are classed at once (one
// bit per byte: continuation, lead of two or more, lead of three or more,
// F0 and up, E0 or ED with a second byte out of range) and the block is
// checked as a whole: every continuation byte where a lead byte calls for
// one, and nowhere else but at the start, where the continuation bytes of a
// character that the block before took are carried over. A character that
// runs past the block is taken with it, its continuation bytes checked by
// looking ahead. Every byte is then decoded as if a character started there,
// and the units of the starts are kept: one shuffle for each eight bytes,
// from a table keyed by which of them start a character, packs their units
// to the front; the shuffled units are stored whole, so up to seven units
// past those kept are scratch. Blocks run only while 24 bytes follow the
// block and what it takes of the next (at least eight more units, which
// cover the scratch) and the room takes a whole block.
//
// Anything else ends the blocks: four-byte forms, malformed bytes, the
// tail. The caller goes on from there a character at a time.
#include "platform/code_pages/code_page_utf8_blocks.h"
#include "platform/vector_level.h"

#if defined(__SSE2__) && defined(PLAT_HAS_X86_VECTORS)

namespace {

using namespace plat_utf8_blocks;

constexpr size_t kCover = 24;  // decodes to at least eight units

// For eight bytes with bit k set where byte k starts a character: which bytes
// of their eight units go where, and how many units that keeps.
struct KeepTable {
  uint8_t order[256][16];
  uint8_t count[256];
};

constexpr KeepTable make_keep_table() {
  KeepTable table{};
  for (int starts = 0; starts < 256; starts++) {
    int o = 0;
    for (int k = 0; k < 8; k++) {
      if ((starts >> k & 1) == 0) continue;
      table.order[starts][o++] = static_cast<uint8_t>(2 * k);
      table.order[starts][o++] = static_cast<uint8_t>(2 * k + 1);
    }
    table.count[starts] = static_cast<uint8_t>(o / 2);
    while (o < 16) table.order[starts][o++] = 0x80;  // a zero byte
  }
  return table;
}

constexpr KeepTable kKeep = make_keep_table();

// Bytes are unsigned; these compares take them as signed: 0x80-0xBF is
// -128..-65, 0xC0-0xFF is -64..-1.
constexpr char kCont = -64;     // below it: 0x80-0xBF
constexpr char kBelowC2 = -63;  // above it: 0xC2 and up, or ASCII
constexpr char kBelowE0 = -33;
constexpr char kBelowF0 = -17;
constexpr char kA0 = -96;  // below it: 0x80-0x9F
constexpr char k9F = -97;  // above it: 0xA0 and up, or ASCII

// ---- SSSE3: blocks of 16 ----------------------------------------------------

PLAT_SSSE3 inline Classes classes16(const uint8_t* at, __m128i v, __m128i next) {
  Classes c;
  c.high = static_cast<uint32_t>(_mm_movemask_epi8(v));
  c.cont = static_cast<uint32_t>(_mm_movemask_epi8(_mm_cmpgt_epi8(_mm_set1_epi8(kCont), v)));
  c.lead = static_cast<uint32_t>(_mm_movemask_epi8(_mm_cmpgt_epi8(v, _mm_set1_epi8(kBelowC2))));
  c.lead3 = static_cast<uint32_t>(_mm_movemask_epi8(_mm_cmpgt_epi8(v, _mm_set1_epi8(kBelowE0))));
  c.over = static_cast<uint32_t>(_mm_movemask_epi8(_mm_cmpgt_epi8(v, _mm_set1_epi8(kBelowF0))));
  c.lead &= c.high;
  c.lead3 &= c.high;
  c.over &= c.high;
  __m128i e0 = _mm_and_si128(_mm_cmpeq_epi8(v, _mm_set1_epi8(static_cast<char>(0xE0))),
                             _mm_cmpgt_epi8(_mm_set1_epi8(kA0), next));
  __m128i ed = _mm_and_si128(_mm_cmpeq_epi8(v, _mm_set1_epi8(static_cast<char>(0xED))),
                             _mm_cmpgt_epi8(next, _mm_set1_epi8(k9F)));
  c.second = static_cast<uint32_t>(_mm_movemask_epi8(_mm_or_si128(e0, ed)));
  c.cont |= continuations_after(at, 16);
  return c;
}

// The units of eight bytes at `at`, each decoded as if a character of one to
// three bytes started there. The bits of the first two bytes, shifted
// together in 16 bits, are the unit of two bytes once cut to 11 bits, and
// shifted on with the third byte's the unit of three (the lead byte's high
// bits fall off the top).
PLAT_SSSE3 inline __m128i units8(const uint8_t* at) {
  const __m128i zero = _mm_setzero_si128();
  const __m128i low6 = _mm_set1_epi16(0x3F);
  __m128i c = _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(at)), zero);
  __m128i b1 = _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(at + 1)), zero);
  __m128i b2 = _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(at + 2)), zero);
  __m128i first_two = _mm_or_si128(_mm_slli_epi16(c, 6), _mm_and_si128(b1, low6));
  __m128i two = _mm_and_si128(first_two, _mm_set1_epi16(0x7FF));
  __m128i three = _mm_or_si128(_mm_slli_epi16(first_two, 6), _mm_and_si128(b2, low6));
  __m128i is_one = _mm_cmplt_epi16(c, _mm_set1_epi16(0x80));
  __m128i is_three = _mm_cmpgt_epi16(c, _mm_set1_epi16(0xDF));
  return _mm_or_si128(_mm_or_si128(_mm_and_si128(c, is_one), _mm_and_si128(three, is_three)),
                      _mm_andnot_si128(_mm_or_si128(is_one, is_three), two));
}

PLAT_SSSE3 inline size_t keep8(__m128i units, uint32_t starts, WCHAR* dest) {
  __m128i order = _mm_loadu_si128(reinterpret_cast<const __m128i*>(kKeep.order[starts]));
  _mm_storeu_si128(reinterpret_cast<__m128i*>(dest), _mm_shuffle_epi8(units, order));
  return kKeep.count[starts];
}

}  // namespace

PLAT_SSSE3 size_t plat_utf8_decode_blocks_ssse3(const uint8_t* source, size_t count, WCHAR* dest,
                                                size_t room, size_t* written) {
  constexpr size_t kBlock = 16;
  const __m128i zero = _mm_setzero_si128();
  size_t i = 0;
  size_t o = 0;
  uint64_t carried = 0;
  while (count - i >= kBlock + kAhead + kCover && room - o >= kBlock) {
    const uint8_t* at = source + i;
    __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
    if (_mm_movemask_epi8(v) == 0) {
      _mm_storeu_si128(reinterpret_cast<__m128i*>(dest + o), _mm_unpacklo_epi8(v, zero));
      _mm_storeu_si128(reinterpret_cast<__m128i*>(dest + o + 8), _mm_unpackhi_epi8(v, zero));
      i += kBlock;
      o += kBlock;
      carried = 0;
      continue;
    }
    __m128i next = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at + 1));
    uint64_t starts;
    if (!check_block(classes16(at, v, next), kBlock, carried, &starts, &carried)) break;
    o += keep8(units8(at), starts & 0xFF, dest + o);
    o += keep8(units8(at + 8), starts >> 8 & 0xFF, dest + o);
    i += kBlock;
  }
  *written = o;
  return i + carried_bytes(carried);
}

// ---- AVX2: blocks of 32 -----------------------------------------------------

namespace {

PLAT_AVX2 inline uint32_t bits(__m256i v) { return static_cast<uint32_t>(_mm256_movemask_epi8(v)); }

struct Avx2Constants {
  __m256i cont, below_c2, below_e0, below_f0, e0, ed, a0, x9f;  // bytes
  __m256i low6, low11, df, ascii_end;                           // units
};

PLAT_AVX2 inline Avx2Constants avx2_constants() {
  return {plat_in_register(_mm256_set1_epi8(kCont)),
          plat_in_register(_mm256_set1_epi8(kBelowC2)),
          plat_in_register(_mm256_set1_epi8(kBelowE0)),
          plat_in_register(_mm256_set1_epi8(kBelowF0)),
          plat_in_register(_mm256_set1_epi8(static_cast<char>(0xE0))),
          plat_in_register(_mm256_set1_epi8(static_cast<char>(0xED))),
          plat_in_register(_mm256_set1_epi8(kA0)),
          plat_in_register(_mm256_set1_epi8(k9F)),
          plat_in_register(_mm256_set1_epi16(0x3F)),
          plat_in_register(_mm256_set1_epi16(0x7FF)),
          plat_in_register(_mm256_set1_epi16(0xDF)),
          plat_in_register(_mm256_set1_epi16(0x80))};
}

PLAT_AVX2 inline Classes classes32(const Avx2Constants& k, const uint8_t* at, __m256i v,
                                   __m256i next) {
  Classes c;
  c.high = bits(v);
  c.cont = bits(_mm256_cmpgt_epi8(k.cont, v));
  c.lead = bits(_mm256_cmpgt_epi8(v, k.below_c2)) & c.high;
  c.lead3 = bits(_mm256_cmpgt_epi8(v, k.below_e0)) & c.high;
  c.over = bits(_mm256_cmpgt_epi8(v, k.below_f0)) & c.high;
  __m256i e0 = _mm256_and_si256(_mm256_cmpeq_epi8(v, k.e0), _mm256_cmpgt_epi8(k.a0, next));
  __m256i ed = _mm256_and_si256(_mm256_cmpeq_epi8(v, k.ed), _mm256_cmpgt_epi8(next, k.x9f));
  c.second = bits(_mm256_or_si256(e0, ed));
  c.cont |= continuations_after(at, 32);
  return c;
}

PLAT_AVX2 inline __m256i widen16(const uint8_t* at) {
  return _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(at)));
}

// The units of 16 bytes at `at`, each decoded as if a character of one to
// three bytes started there: bytes 0-7 in the low lane, 8-15 in the high.
// The bits of the first two bytes, shifted together in 16 bits, are the unit
// of two bytes once cut to 11 bits, and shifted on with the third byte's the
// unit of three (the lead byte's high bits fall off the top).
PLAT_AVX2 inline __m256i units16(const Avx2Constants& k, const uint8_t* at) {
  __m256i c = widen16(at);
  __m256i first_two =
      _mm256_or_si256(_mm256_slli_epi16(c, 6), _mm256_and_si256(widen16(at + 1), k.low6));
  __m256i two = _mm256_and_si256(first_two, k.low11);
  __m256i three =
      _mm256_or_si256(_mm256_slli_epi16(first_two, 6), _mm256_and_si256(widen16(at + 2), k.low6));
  __m256i longer = _mm256_blendv_epi8(two, three, _mm256_cmpgt_epi16(c, k.df));
  return _mm256_blendv_epi8(longer, c, _mm256_cmpgt_epi16(k.ascii_end, c));
}

// The units of 16 bytes' starts packed to the front of each eight's.
PLAT_AVX2 inline size_t keep16(__m256i units, uint32_t starts, WCHAR* dest) {
  uint32_t low = starts & 0xFF;
  uint32_t high = starts >> 8 & 0xFF;
  __m256i order = _mm256_inserti128_si256(
      _mm256_castsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(kKeep.order[low]))),
      _mm_loadu_si128(reinterpret_cast<const __m128i*>(kKeep.order[high])), 1);
  __m256i kept = _mm256_shuffle_epi8(units, order);
  size_t o = kKeep.count[low];
  _mm_storeu_si128(reinterpret_cast<__m128i*>(dest), _mm256_castsi256_si128(kept));
  _mm_storeu_si128(reinterpret_cast<__m128i*>(dest + o), _mm256_extracti128_si256(kept, 1));
  return o + kKeep.count[high];
}

}  // namespace

PLAT_AVX2 size_t plat_utf8_decode_blocks_avx2(const uint8_t* source, size_t count, WCHAR* dest,
                                              size_t room, size_t* written) {
  constexpr size_t kBlock = 32;
  const Avx2Constants k = avx2_constants();
  size_t i = 0;
  size_t o = 0;
  uint64_t carried = 0;
  while (count - i >= kBlock + kAhead + kCover && room - o >= kBlock) {
    const uint8_t* at = source + i;
    __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(at));
    if (bits(v) == 0) {
      __m256i* out = reinterpret_cast<__m256i*>(dest + o);
      _mm256_storeu_si256(out, _mm256_cvtepu8_epi16(_mm256_castsi256_si128(v)));
      _mm256_storeu_si256(out + 1, _mm256_cvtepu8_epi16(_mm256_extracti128_si256(v, 1)));
      i += kBlock;
      o += kBlock;
      carried = 0;
      continue;
    }
    __m256i next = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(at + 1));
    uint64_t starts;
    if (!check_block(classes32(k, at, v, next), kBlock, carried, &starts, &carried)) break;
    o += keep16(units16(k, at), starts & 0xFFFF, dest + o);
    o += keep16(units16(k, at + 16), starts >> 16 & 0xFFFF, dest + o);
    i += kBlock;
  }
  *written = o;
  return i + carried_bytes(carried);
}

#else

size_t plat_utf8_decode_blocks_ssse3(const uint8_t*, size_t, WCHAR*, size_t, size_t* written) {
  *written = 0;
  return 0;
}

size_t plat_utf8_decode_blocks_avx2(const uint8_t*, size_t, WCHAR*, size_t, size_t* written) {
  *written = 0;
  return 0;
}

#endif
