// txmorph's own UTF-8 encoder: the size first, then one exact block.
//
// A unit below U+0080 takes one byte, below U+0800 two, any other three; a
// high surrogate followed by a low one is one character above U+FFFF and takes
// four bytes (two three-byte forms of the halves are not UTF-8, and other
// programs reject or garble them). A lone surrogate keeps its three-byte form.
//
// With SSE2 the text goes 16 units at a time, classed by masks: ASCII is
// narrowed whole; units below U+0800 are compacted by a byte shuffle chosen by
// which of them take two bytes (where SSSE3 is there); units without a
// surrogate have each its form built in a word and stored four bytes at once.
// Bytes stored past the end of what a block makes are scratch that the next
// block overwrites, so these run only while enough units follow. A block with
// a surrogate, and the tail, go a unit at a time.
#include "txmorph/txmorph.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#include <tmmintrin.h>
#endif

namespace txmorph {

namespace {

inline bool isHighSurrogate(uint32_t u) { return (u & 0xFC00) == 0xD800; }
inline bool isLowSurrogate(uint32_t u) { return (u & 0xFC00) == 0xDC00; }

// Whether units[at] and units[at + 1] form a surrogate pair.
inline bool pairAt(const uint16_t* units, uint32_t count, uint32_t at) {
  return isHighSurrogate(units[at]) && at + 1 < count && isLowSurrogate(units[at + 1]);
}

// The form of a unit of one to three bytes, first byte lowest, and its length.
inline uint32_t formOf(uint32_t u, uint32_t* length) {
  uint32_t two = (0xC0 | u >> 6) | (0x80 | (u & 0x3F)) << 8;
  uint32_t three = (0xE0 | u >> 12) | (0x80 | (u >> 6 & 0x3F)) << 8 | (0x80 | (u & 0x3F)) << 16;
  *length = 1 + (u > 0x7F) + (u > 0x7FF);
  return u < 0x80 ? u : u < 0x800 ? two : three;
}

// The character at units[*at], exactly: only its own bytes are stored.
inline uint32_t encodeOne(const uint16_t* units, uint32_t count, uint32_t* at, uint8_t* out) {
  uint32_t u = units[*at];
  if (pairAt(units, count, *at)) {
    uint32_t c = 0x10000 + ((u - 0xD800) << 10) + (units[*at + 1] - 0xDC00);
    out[0] = static_cast<uint8_t>(0xF0 | c >> 18);
    out[1] = static_cast<uint8_t>(0x80 | (c >> 12 & 0x3F));
    out[2] = static_cast<uint8_t>(0x80 | (c >> 6 & 0x3F));
    out[3] = static_cast<uint8_t>(0x80 | (c & 0x3F));
    *at += 2;
    return 4;
  }
  uint32_t length;
  uint32_t form = formOf(u, &length);
  for (uint32_t k = 0; k < length; k++) out[k] = static_cast<uint8_t>(form >> (8 * k));
  *at += 1;
  return length;
}

#if defined(__SSE2__)

inline __m128i load8(const uint16_t* units) {
  return _mm_loadu_si128(reinterpret_cast<const __m128i*>(units));
}

// Unsigned compares by signed ones with the top bit flipped.
inline __m128i flipped(__m128i v) {
  return _mm_xor_si128(v, _mm_set1_epi16(static_cast<short>(0x8000)));
}
inline __m128i above(__m128i flippedUnits, uint16_t limit) {
  return _mm_cmpgt_epi16(flippedUnits, _mm_set1_epi16(static_cast<short>(limit ^ 0x8000)));
}
inline __m128i surrogates(__m128i v) {
  __m128i top = _mm_and_si128(v, _mm_set1_epi16(static_cast<short>(0xF800)));
  return _mm_cmpeq_epi16(top, _mm_set1_epi16(static_cast<short>(0xD800)));
}

// One bit per unit from the compares of two halves of a block.
inline uint32_t unitBits(__m128i low, __m128i high) {
  return static_cast<uint32_t>(_mm_movemask_epi8(_mm_packs_epi16(low, high)));
}

// Bytes beyond one per unit in a run: +1 above U+007F, +1 above U+07FF, -2 for
// each pair. The compares give -1 for true; lanes are summed before they can
// overflow.
uint64_t extraBytes(const uint16_t* units, uint32_t count, uint32_t* done) {
  uint64_t extra = 0;
  uint32_t i = 0;
  while (count - i >= 8) {
    __m128i sum = _mm_setzero_si128();
    for (int n = 0; n < 8192 && count - i >= 8; n++, i += 8) {
      __m128i v = load8(units + i);
      __m128i f = flipped(v);
      sum = _mm_sub_epi16(sum, above(f, 0x7F));
      sum = _mm_sub_epi16(sum, above(f, 0x7FF));
      if (_mm_movemask_epi8(surrogates(v)) != 0) {
        for (uint32_t k = i; k < i + 8; k++) extra -= pairAt(units, count, k) ? 2 : 0;
      }
    }
    alignas(16) uint32_t lanes[4];
    _mm_store_si128(reinterpret_cast<__m128i*>(lanes), _mm_madd_epi16(sum, _mm_set1_epi16(1)));
    extra += uint64_t{lanes[0]} + lanes[1] + lanes[2] + lanes[3];
  }
  *done = i;
  return extra;
}

// Eight units, none a surrogate: each one's bytes in a word (lead byte
// lowest), its length from two masks, four bytes stored per unit.
inline uint32_t encodeEight(__m128i u, uint8_t* out) {
  const __m128i low6 = _mm_set1_epi16(0x3F);
  const __m128i mark = _mm_set1_epi16(0x80);
  __m128i f = flipped(u);
  __m128i longer = above(f, 0x7F);
  __m128i longest = above(f, 0x7FF);
  __m128i twoLead = _mm_or_si128(_mm_srli_epi16(u, 6), _mm_set1_epi16(0xC0));
  __m128i threeLead = _mm_or_si128(_mm_srli_epi16(u, 12), _mm_set1_epi16(0xE0));
  __m128i lead =
      _mm_or_si128(_mm_andnot_si128(longer, u),
                   _mm_or_si128(_mm_and_si128(longest, threeLead),
                                _mm_and_si128(_mm_andnot_si128(longest, longer), twoLead)));
  __m128i middleBits =
      _mm_or_si128(_mm_and_si128(longest, _mm_srli_epi16(u, 6)), _mm_andnot_si128(longest, u));
  __m128i middle = _mm_or_si128(mark, _mm_and_si128(middleBits, low6));
  __m128i last = _mm_or_si128(mark, _mm_and_si128(u, low6));
  __m128i firstTwo = _mm_or_si128(lead, _mm_slli_epi16(middle, 8));
  alignas(16) uint32_t words[8];
  _mm_store_si128(reinterpret_cast<__m128i*>(words), _mm_unpacklo_epi16(firstTwo, last));
  _mm_store_si128(reinterpret_cast<__m128i*>(words + 4), _mm_unpackhi_epi16(firstTwo, last));
  uint32_t twoPlus = static_cast<uint32_t>(_mm_movemask_epi8(longer));  // two bits a unit
  uint32_t three = static_cast<uint32_t>(_mm_movemask_epi8(longest));
  uint32_t o = 0;
  for (int k = 0; k < 8; k++) {
    __builtin_memcpy(out + o, &words[k], 4);
    o += 1 + (twoPlus >> (2 * k) & 1) + (three >> (2 * k) & 1);
  }
  return o;
}

// For eight units below U+0800 with bit k set where unit k takes two bytes:
// which byte of the units' two-byte forms goes where, and how many there are.
struct ShortShuffle {
  uint8_t from[16];
  uint8_t length;
};

struct ShortShuffles {
  ShortShuffle entry[256];
};

constexpr ShortShuffles makeShortShuffles() {
  ShortShuffles table{};
  for (int mask = 0; mask < 256; mask++) {
    ShortShuffle& s = table.entry[mask];
    int o = 0;
    for (int k = 0; k < 8; k++) {
      s.from[o++] = static_cast<uint8_t>(2 * k);
      if (mask >> k & 1) s.from[o++] = static_cast<uint8_t>(2 * k + 1);
    }
    s.length = static_cast<uint8_t>(o);
    while (o < 16) s.from[o++] = 0x80;  // a zero byte
  }
  return table;
}

constexpr ShortShuffles kShortShuffles = makeShortShuffles();

// Eight units below U+0800 whose two-byte units `twoByte` marks: their bytes
// compacted by one shuffle, 16 bytes stored.
__attribute__((target("ssse3"))) uint32_t encodeShortEight(__m128i u, uint32_t twoByte,
                                                           uint8_t* out) {
  __m128i two = _mm_cmpgt_epi16(u, _mm_set1_epi16(0x7F));
  __m128i lead =
      _mm_or_si128(_mm_andnot_si128(two, u),
                   _mm_and_si128(two, _mm_or_si128(_mm_srli_epi16(u, 6), _mm_set1_epi16(0xC0))));
  __m128i trail = _mm_or_si128(_mm_set1_epi16(0x80), _mm_and_si128(u, _mm_set1_epi16(0x3F)));
  __m128i forms = _mm_or_si128(lead, _mm_slli_epi16(trail, 8));
  const ShortShuffle& shuffle = kShortShuffles.entry[twoByte];
  __m128i order = _mm_loadu_si128(reinterpret_cast<const __m128i*>(shuffle.from));
  _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm_shuffle_epi8(forms, order));
  return shuffle.length;
}

// Sixteen units at `units`, of which at least `more` follow in all. Returns
// the units taken (0: the block holds a surrogate, or too few follow).
template <bool kShuffle>
__attribute__((always_inline)) inline uint32_t encodeBlock(const uint16_t* units, uint32_t more,
                                                           uint8_t** out, bool* ascii) {
  __m128i a = load8(units);
  __m128i b = load8(units + 8);
  __m128i fa = flipped(a);
  __m128i fb = flipped(b);
  uint32_t twoPlus = unitBits(above(fa, 0x7F), above(fb, 0x7F));
  uint32_t three = unitBits(above(fa, 0x7FF), above(fb, 0x7FF));
  *ascii = twoPlus == 0;
  // Text below U+0800 goes through the shuffle whether or not a block has
  // any two-byte unit: no branch to guess wrong on sparse accents.
  if (kShuffle && three == 0 && more >= 24) {
    *out += encodeShortEight(a, twoPlus & 0xFF, *out);
    *out += encodeShortEight(b, twoPlus >> 8, *out);
    return 16;
  }
  if (twoPlus == 0) {
    _mm_storeu_si128(reinterpret_cast<__m128i*>(*out), _mm_packus_epi16(a, b));
    *out += 16;
    return 16;
  }
  if (unitBits(surrogates(a), surrogates(b)) == 0 && more >= 16 + 3) {
    *out += encodeEight(a, *out);
    *out += encodeEight(b, *out);
    return 16;
  }
  return 0;
}

// Sixteen units narrowed when all are ASCII; nothing stored otherwise.
inline bool narrowAscii16(const uint16_t* units, uint8_t* out) {
  __m128i a = load8(units);
  __m128i b = load8(units + 8);
  __m128i over = _mm_and_si128(_mm_or_si128(a, b), _mm_set1_epi16(static_cast<short>(0xFF80)));
  if (_mm_movemask_epi8(_mm_cmpeq_epi16(over, _mm_setzero_si128())) != 0xFFFF) return false;
  _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm_packus_epi16(a, b));
  return true;
}

// Blocks of 16 while 16 units are left; returns the units that are left
// after them. After a few blocks of ASCII in a row the next block is first
// tried as ASCII alone, a guess that holds in long ASCII stretches; text with
// scattered other characters goes through the classing of every block, which
// has no branch to guess wrong.
template <bool kShuffle>
__attribute__((always_inline)) inline uint32_t encodeBlocks(const uint16_t* units, uint32_t count,
                                                            uint8_t** out) {
  constexpr uint32_t kAsciiStretch = 8;
  uint8_t* at = *out;  // in a register: the bytes stored could alias *out
  uint32_t i = 0;
  uint32_t asciiBlocks = 0;
  while (count - i >= 16) {
    if (asciiBlocks >= kAsciiStretch && narrowAscii16(units + i, at)) {
      i += 16;
      at += 16;
      continue;
    }
    bool ascii = false;
    uint32_t taken = encodeBlock<kShuffle>(units + i, count - i, &at, &ascii);
    asciiBlocks = ascii ? asciiBlocks + 1 : 0;
    i += taken;
    if (taken == 0) at += encodeOne(units, count, &i, at);
  }
  *out = at;
  return i;
}

__attribute__((target("ssse3"))) uint32_t encodeBlocksShuffled(const uint16_t* units,
                                                               uint32_t count, uint8_t** out) {
  return encodeBlocks<true>(units, count, out);
}

uint32_t encodeBlocksPlain(const uint16_t* units, uint32_t count, uint8_t** out) {
  return encodeBlocks<false>(units, count, out);
}

#endif

uint64_t utf8Size64(const uint16_t* units, uint32_t count) {
  uint32_t i = 0;
  uint64_t size = count;
#if defined(__SSE2__)
  size += extraBytes(units, count, &i);
#endif
  for (; i < count; i++) {
    uint32_t u = units[i];
    size += (u > 0x7F) + (u > 0x7FF);
    if (pairAt(units, count, i)) size -= 2;
  }
  return size;
}

void encodeUnits(const uint16_t* units, uint32_t count, uint8_t* out) {
  uint32_t i = 0;
#if defined(__SSE2__)
  i = cpuHas(CpuSsse3) ? encodeBlocksShuffled(units, count, &out)
                       : encodeBlocksPlain(units, count, &out);
#endif
  while (i < count) out += encodeOne(units, count, &i, out);
}

}  // namespace

uint32_t utf8Size(const uint16_t* units, uint32_t count) {
  uint64_t size = utf8Size64(units, count);
  return size > UINT32_MAX ? UINT32_MAX : static_cast<uint32_t>(size);
}

TextString encodeUtf8(const TextString* text, bool byteOrderMark) {
  static const uint8_t kByteOrderMark[3] = {0xEF, 0xBB, 0xBF};
  const uint16_t* units = static_cast<const uint16_t*>(text->data);
  uint32_t mark = byteOrderMark ? 3 : 0;
  uint64_t size = utf8Size64(units, text->length) + mark;
  // A size past 32 bits is no block this program can hold.
  if (size >= UINT32_MAX) rt_out_of_memory(UINT32_MAX);

  TextString encoded;
  init(&encoded);
  uint32_t bytes = static_cast<uint32_t>(size);
  if (bytes == 0) return encoded;
  uint8_t* out = static_cast<uint8_t*>(resize(&encoded, bytes, 0));
  for (uint32_t k = 0; k < mark; k++) out[k] = kByteOrderMark[k];
  encodeUnits(units, text->length, out + mark);
  out[bytes] = 0;
  return encoded;
}

}  // namespace txmorph
