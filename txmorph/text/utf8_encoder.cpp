// txmorph's own UTF-8 encoder: the size first, then one exact block.
//
// A unit below U+0080 takes one byte, below U+0800 two, any other three; a
// high surrogate followed by a low one is one character above U+FFFF and takes
// four bytes (two three-byte forms of the halves are not UTF-8, and other
// programs reject or garble them). A lone surrogate keeps its three-byte form.
//
// With SSE2 the text goes 16 units at a time, classed by masks: ASCII is
// narrowed whole; with SSSE3, units below U+0800 have their two-byte forms
// compacted by a byte shuffle chosen by which of them take two bytes, and
// other units without a surrogate have their forms built in words of four
// bytes, four units' words compacted by a shuffle chosen by their lengths;
// with SSE2 alone each form is stored four bytes at once. AVX2 does the same
// for 16 units with each shuffle. Bytes stored past the end of what a block
// makes are scratch that the next block overwrites, so these run only while
// enough units follow. A block with a surrogate, and the tail, go a unit at
// a time. AVX-512 builds 32 units' forms in lanes and keeps their bytes by
// one compress under masks, and stores only those.
#include "platform/vector_level.h"
#include "txmorph/txmorph.h"

namespace txmorph {

namespace {

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
    uint32_t c = pairCodePoint(u, units[*at + 1]);
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

// ---- classing units, eight at a time (SSE2) ---------------------------------

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

// Two bits per unit (both set or both clear) from a compare of eight.
inline uint32_t bytesOf(__m128i compare) {
  return static_cast<uint32_t>(_mm_movemask_epi8(compare));
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

// ---- the forms of eight units (SSE2) ----------------------------------------

// The bytes of eight units' forms, each in its 16-bit lane: the lead byte (the
// unit itself below U+0080), the middle byte of a three-byte form or the last
// of a two-byte one, and the last byte of a three-byte form.
struct Forms8 {
  __m128i lead;
  __m128i middle;
  __m128i last;
};

inline Forms8 formsOf(__m128i u, __m128i longer, __m128i longest) {
  const __m128i low6 = _mm_set1_epi16(0x3F);
  const __m128i mark = _mm_set1_epi16(0x80);
  __m128i twoLead = _mm_or_si128(_mm_srli_epi16(u, 6), _mm_set1_epi16(0xC0));
  __m128i threeLead = _mm_or_si128(_mm_srli_epi16(u, 12), _mm_set1_epi16(0xE0));
  Forms8 f;
  f.lead = _mm_or_si128(_mm_andnot_si128(longer, u),
                        _mm_or_si128(_mm_and_si128(longest, threeLead),
                                     _mm_and_si128(_mm_andnot_si128(longest, longer), twoLead)));
  __m128i middleBits =
      _mm_or_si128(_mm_and_si128(longest, _mm_srli_epi16(u, 6)), _mm_andnot_si128(longest, u));
  f.middle = _mm_or_si128(mark, _mm_and_si128(middleBits, low6));
  f.last = _mm_or_si128(mark, _mm_and_si128(u, low6));
  return f;
}

// Eight units, none a surrogate: each one's form in a word (lead byte
// lowest), its length from two masks, four bytes stored per unit.
inline uint32_t encodeEight(__m128i u, uint8_t* out) {
  __m128i f = flipped(u);
  __m128i longer = above(f, 0x7F);
  __m128i longest = above(f, 0x7FF);
  Forms8 forms = formsOf(u, longer, longest);
  __m128i firstTwo = _mm_or_si128(forms.lead, _mm_slli_epi16(forms.middle, 8));
  alignas(16) uint32_t words[8];
  _mm_store_si128(reinterpret_cast<__m128i*>(words), _mm_unpacklo_epi16(firstTwo, forms.last));
  _mm_store_si128(reinterpret_cast<__m128i*>(words + 4), _mm_unpackhi_epi16(firstTwo, forms.last));
  uint32_t twoPlus = bytesOf(longer);  // two bits a unit
  uint32_t three = bytesOf(longest);
  uint32_t o = 0;
  for (int k = 0; k < 8; k++) {
    __builtin_memcpy(out + o, &words[k], 4);
    o += 1 + (twoPlus >> (2 * k) & 1) + (three >> (2 * k) & 1);
  }
  return o;
}

// ---- shuffle tables ---------------------------------------------------------

// Which byte of a group's forms goes where, and how many bytes the group makes.
struct alignas(32) Shuffle {
  uint8_t from[16];
  uint8_t length;
};

struct Shuffles {
  Shuffle entry[256];
};

// Eight units below U+0800 in 16-bit lanes [lead, last], keyed by which of
// them (bit k for unit k) take two bytes.
constexpr Shuffles makeShortShuffles() {
  Shuffles table{};
  for (int mask = 0; mask < 256; mask++) {
    Shuffle& s = table.entry[mask];
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

// Four units in 32-bit lanes [lead, middle, last, -], keyed by their lengths
// less one, two bits each.
constexpr Shuffles makeLongShuffles() {
  Shuffles table{};
  for (int key = 0; key < 256; key++) {
    Shuffle& s = table.entry[key];
    int o = 0;
    for (int k = 0; k < 4; k++) {
      int length = (key >> (2 * k) & 3) + 1;
      for (int b = 0; b < length && b < 3; b++) s.from[o++] = static_cast<uint8_t>(4 * k + b);
    }
    s.length = static_cast<uint8_t>(o);
    while (o < 16) s.from[o++] = 0x80;
  }
  return table;
}

constexpr Shuffles kShortShuffles = makeShortShuffles();
constexpr Shuffles kLongShuffles = makeLongShuffles();

// Scratch past a block's own bytes: 16 bytes stored for each group, of
// which a group of eight short units makes at least 8 and one of four long
// units at least 4. As many more units as there are bytes of scratch cover it.
constexpr uint32_t kShortScratch = 8;
constexpr uint32_t kLongScratch = 12;

// The lengths less one of units, two bits each, from the masks of those above
// U+007F and above U+07FF (each unit's two bytes of a compare set or clear).
inline uint32_t lengthKey(uint32_t longerBytes, uint32_t longestBytes) {
  return (longerBytes & 0x55555555) + (longestBytes & 0x55555555);
}

inline __m128i orderOf(const Shuffle& s) {
  return _mm_loadu_si128(reinterpret_cast<const __m128i*>(s.from));
}

// ---- shuffled forms, eight units at a time (SSSE3) --------------------------

// Eight units below U+0800 whose two-byte units `twoByte` marks: their bytes
// compacted by one shuffle, 16 bytes stored.
PLAT_SSSE3 uint32_t encodeShortEight(__m128i u, uint32_t twoByte, uint8_t* out) {
  __m128i two = _mm_cmpgt_epi16(u, _mm_set1_epi16(0x7F));
  __m128i lead =
      _mm_or_si128(_mm_andnot_si128(two, u),
                   _mm_and_si128(two, _mm_or_si128(_mm_srli_epi16(u, 6), _mm_set1_epi16(0xC0))));
  __m128i trail = _mm_or_si128(_mm_set1_epi16(0x80), _mm_and_si128(u, _mm_set1_epi16(0x3F)));
  __m128i forms = _mm_or_si128(lead, _mm_slli_epi16(trail, 8));
  const Shuffle& shuffle = kShortShuffles.entry[twoByte];
  _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm_shuffle_epi8(forms, orderOf(shuffle)));
  return shuffle.length;
}

// Eight units, none a surrogate: the words of four at a time compacted by one
// shuffle, 16 bytes stored each.
PLAT_SSSE3 uint32_t encodeLongEight(__m128i u, uint8_t* out) {
  __m128i f = flipped(u);
  __m128i longer = above(f, 0x7F);
  __m128i longest = above(f, 0x7FF);
  Forms8 forms = formsOf(u, longer, longest);
  __m128i firstTwo = _mm_or_si128(forms.lead, _mm_slli_epi16(forms.middle, 8));
  uint32_t key = lengthKey(bytesOf(longer), bytesOf(longest));
  const Shuffle& a = kLongShuffles.entry[key & 0xFF];
  const Shuffle& b = kLongShuffles.entry[key >> 8];
  _mm_storeu_si128(reinterpret_cast<__m128i*>(out),
                   _mm_shuffle_epi8(_mm_unpacklo_epi16(firstTwo, forms.last), orderOf(a)));
  _mm_storeu_si128(reinterpret_cast<__m128i*>(out + a.length),
                   _mm_shuffle_epi8(_mm_unpackhi_epi16(firstTwo, forms.last), orderOf(b)));
  return a.length + b.length;
}

// ---- the block loops --------------------------------------------------------

// What the last blocks were. After a few blocks of ASCII in a row the next is
// first tried as ASCII alone, a guess that holds in long ASCII stretches. A
// block with a three-byte unit keeps the next few on the path for all units
// (when there is one), so that text of every kind mixed goes one way instead
// of flipping between paths by block; text with scattered accents goes through
// the classing of every block, which has no branch to guess wrong.
struct Recent {
  uint32_t asciiBlocks;
  uint32_t longBlocks;
};

constexpr uint32_t kAsciiStretch = 8;
constexpr uint32_t kLongStretch = 8;

inline void noteBlock(Recent* recent, bool ascii, bool long_) {
  recent->asciiBlocks = ascii ? recent->asciiBlocks + 1 : 0;
  recent->longBlocks = long_ ? kLongStretch : recent->longBlocks - (recent->longBlocks != 0);
}

// Sixteen units at `units`, of which at least `more` follow in all. Returns
// the units taken (0: the block holds a surrogate, or too few follow).
template <bool kShuffle>
__attribute__((always_inline)) inline uint32_t encodeBlock(const uint16_t* units, uint32_t more,
                                                           Recent* recent, uint8_t** out) {
  __m128i a = load8(units);
  __m128i b = load8(units + 8);
  __m128i fa = flipped(a);
  __m128i fb = flipped(b);
  uint32_t twoPlus = unitBits(above(fa, 0x7F), above(fb, 0x7F));
  uint32_t three = unitBits(above(fa, 0x7FF), above(fb, 0x7FF));
  noteBlock(recent, twoPlus == 0, three != 0);
  // Text below U+0800 goes through the shuffle whether or not a block has
  // any two-byte unit: no branch to guess wrong on sparse accents.
  if (kShuffle && three == 0 && recent->longBlocks == 0 && more >= 16 + kShortScratch) {
    *out += encodeShortEight(a, twoPlus & 0xFF, *out);
    *out += encodeShortEight(b, twoPlus >> 8, *out);
    return 16;
  }
  if (twoPlus == 0) {
    _mm_storeu_si128(reinterpret_cast<__m128i*>(*out), _mm_packus_epi16(a, b));
    *out += 16;
    return 16;
  }
  if (unitBits(surrogates(a), surrogates(b)) != 0) return 0;
  if (kShuffle && more >= 16 + kLongScratch) {
    *out += encodeLongEight(a, *out);
    *out += encodeLongEight(b, *out);
    return 16;
  }
  if (!kShuffle && more >= 16 + 3) {
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
// after them.
template <bool kShuffle>
__attribute__((always_inline)) inline uint32_t encodeBlocks(const uint16_t* units, uint32_t count,
                                                            uint8_t** out) {
  uint8_t* at = *out;  // in a register: the bytes stored could alias *out
  uint32_t i = 0;
  Recent recent = {0, 0};
  while (count - i >= 16) {
    if (recent.asciiBlocks >= kAsciiStretch && narrowAscii16(units + i, at)) {
      i += 16;
      at += 16;
      continue;
    }
    uint32_t taken = encodeBlock<kShuffle>(units + i, count - i, &recent, &at);
    i += taken;
    if (taken == 0) at += encodeOne(units, count, &i, at);
  }
  *out = at;
  return i;
}

PLAT_SSSE3 uint32_t encodeBlocksShuffled(const uint16_t* units, uint32_t count, uint8_t** out) {
  return encodeBlocks<true>(units, count, out);
}

uint32_t encodeBlocksPlain(const uint16_t* units, uint32_t count, uint8_t** out) {
  return encodeBlocks<false>(units, count, out);
}

// ---- sixteen units at a time (AVX2) -----------------------------------------

PLAT_AVX2 inline __m256i load16(const uint16_t* units) {
  return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(units));
}

PLAT_AVX2 inline __m256i above16(__m256i flippedUnits, uint16_t limit) {
  return _mm256_cmpgt_epi16(flippedUnits, _mm256_set1_epi16(static_cast<short>(limit ^ 0x8000)));
}

PLAT_AVX2 inline __m256i repeat16(uint16_t value) {
  return _mm256_set1_epi16(static_cast<short>(value));
}

PLAT_AVX2 inline uint32_t bytesOf16(__m256i compare) {
  return static_cast<uint32_t>(_mm256_movemask_epi8(compare));
}

// The constants of the loop, made once before it (the compiler would make
// those of a branch again on every pass).
struct Avx2Constants {
  __m256i beyondAscii;  // bits that make a unit take two bytes or more
  __m256i beyondTwo;    // ... three bytes
  __m256i surrogate;    // beyondTwo's bits of a surrogate
  __m256i flip;         // the top bit, for unsigned compares
  __m256i low6;
  __m256i mark;  // of a continuation byte
  __m256i twoMark;
  __m256i threeMark;
};

PLAT_AVX2 inline Avx2Constants avx2Constants() {
  return {plat_in_register(repeat16(0xFF80)), plat_in_register(repeat16(0xF800)),
          plat_in_register(repeat16(0xD800)), plat_in_register(repeat16(0x8000)),
          plat_in_register(repeat16(0x3F)),   plat_in_register(repeat16(0x80)),
          plat_in_register(repeat16(0xC0)),   plat_in_register(repeat16(0xE0))};
}

// The orders of two groups, one for each 128-bit lane.
PLAT_AVX2 inline __m256i ordersOf(const Shuffle& low, const Shuffle& high) {
  return _mm256_inserti128_si256(_mm256_castsi128_si256(orderOf(low)), orderOf(high), 1);
}

// Stores the two lanes of `bytes` one after the other; returns the bytes made.
PLAT_AVX2 inline uint32_t storeLanes(__m256i bytes, uint32_t lowLength, uint32_t highLength,
                                     uint8_t* out) {
  _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm256_castsi256_si128(bytes));
  _mm_storeu_si128(reinterpret_cast<__m128i*>(out + lowLength), _mm256_extracti128_si256(bytes, 1));
  return lowLength + highLength;
}

// Sixteen units below U+0800.
PLAT_AVX2 inline uint32_t encodeShort16(const Avx2Constants& k, __m256i u, uint8_t* out) {
  __m256i one = _mm256_cmpeq_epi16(_mm256_and_si256(u, k.beyondAscii), _mm256_setzero_si256());
  __m256i lead = _mm256_blendv_epi8(_mm256_or_si256(_mm256_srli_epi16(u, 6), k.twoMark), u, one);
  __m256i trail = _mm256_or_si256(k.mark, _mm256_and_si256(u, k.low6));
  __m256i forms = _mm256_or_si256(lead, _mm256_slli_epi16(trail, 8));
  // A bit per unit of one byte: units 0-7 in bits 0-7, units 8-15 in bits 16-23.
  uint32_t twoByte = ~bytesOf16(_mm256_packs_epi16(one, one));
  const Shuffle& low = kShortShuffles.entry[twoByte & 0xFF];
  const Shuffle& high = kShortShuffles.entry[twoByte >> 16 & 0xFF];
  __m256i packed = _mm256_shuffle_epi8(forms, ordersOf(low, high));
  return storeLanes(packed, low.length, high.length, out);
}

// Sixteen units, none a surrogate. Unpacking the forms into words puts units
// 0-3 and 8-11 in one register, 4-7 and 12-15 in the other.
PLAT_AVX2 inline uint32_t encodeLong16(const Avx2Constants& k, __m256i u, uint8_t* out) {
  __m256i f = _mm256_xor_si256(u, k.flip);
  __m256i longer = above16(f, 0x7F);
  __m256i longest = above16(f, 0x7FF);
  __m256i twoLead = _mm256_or_si256(_mm256_srli_epi16(u, 6), k.twoMark);
  __m256i threeLead = _mm256_or_si256(_mm256_srli_epi16(u, 12), k.threeMark);
  __m256i lead = _mm256_blendv_epi8(_mm256_blendv_epi8(u, twoLead, longer), threeLead, longest);
  __m256i middleBits = _mm256_blendv_epi8(u, _mm256_srli_epi16(u, 6), longest);
  __m256i middle = _mm256_or_si256(k.mark, _mm256_and_si256(middleBits, k.low6));
  __m256i last = _mm256_or_si256(k.mark, _mm256_and_si256(u, k.low6));
  __m256i firstTwo = _mm256_or_si256(lead, _mm256_slli_epi16(middle, 8));
  uint32_t key = lengthKey(bytesOf16(longer), bytesOf16(longest));  // a byte per four units
  const Shuffle& s0 = kLongShuffles.entry[key & 0xFF];
  const Shuffle& s1 = kLongShuffles.entry[key >> 8 & 0xFF];
  const Shuffle& s2 = kLongShuffles.entry[key >> 16 & 0xFF];
  const Shuffle& s3 = kLongShuffles.entry[key >> 24];
  __m256i even = _mm256_shuffle_epi8(_mm256_unpacklo_epi16(firstTwo, last), ordersOf(s0, s2));
  __m256i odd = _mm256_shuffle_epi8(_mm256_unpackhi_epi16(firstTwo, last), ordersOf(s1, s3));
  uint32_t o = 0;
  _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm256_castsi256_si128(even));
  o += s0.length;
  _mm_storeu_si128(reinterpret_cast<__m128i*>(out + o), _mm256_castsi256_si128(odd));
  o += s1.length;
  return o + storeLanes(_mm256_permute2x128_si256(even, odd, 0x31), s2.length, s3.length, out + o);
}

PLAT_AVX2 inline void narrow16(__m256i u, uint8_t* out) {
  __m128i bytes = _mm_packus_epi16(_mm256_castsi256_si128(u), _mm256_extracti128_si256(u, 1));
  _mm_storeu_si128(reinterpret_cast<__m128i*>(out), bytes);
}

PLAT_AVX2 uint32_t encodeBlocksAvx2(const uint16_t* units, uint32_t count, uint8_t** out) {
  const Avx2Constants k = avx2Constants();
  uint8_t* at = *out;
  uint32_t i = 0;
  Recent recent = {0, 0};
  while (count - i >= 16) {
    __m256i u = load16(units + i);
    uint32_t more = count - i;
    bool ascii = _mm256_testz_si256(u, k.beyondAscii);
    if (recent.asciiBlocks >= kAsciiStretch && ascii) {
      narrow16(u, at);
      i += 16;
      at += 16;
      continue;
    }
    recent.asciiBlocks = ascii ? recent.asciiBlocks + 1 : 0;
    bool three = !_mm256_testz_si256(u, k.beyondTwo);
    if (!three && recent.longBlocks == 0 && more >= 16 + kShortScratch) {
      at += encodeShort16(k, u, at);
      i += 16;
      continue;
    }
    recent.longBlocks = three ? kLongStretch : recent.longBlocks - (recent.longBlocks != 0);
    __m256i surrogate = _mm256_cmpeq_epi16(_mm256_and_si256(u, k.beyondTwo), k.surrogate);
    if (_mm256_testz_si256(surrogate, surrogate) && more >= 16 + kLongScratch) {
      at += encodeLong16(k, u, at);
      i += 16;
      continue;
    }
    at += encodeOne(units, count, &i, at);
  }
  *out = at;
  return i;
}

// The same sum as extraBytes, 16 units at a time.
PLAT_AVX2 uint64_t extraBytesAvx2(const uint16_t* units, uint32_t count, uint32_t* done) {
  const __m256i flip = _mm256_set1_epi16(static_cast<short>(0x8000));
  uint64_t extra = 0;
  uint32_t i = 0;
  while (count - i >= 16) {
    __m256i sum = _mm256_setzero_si256();
    for (int n = 0; n < 8192 && count - i >= 16; n++, i += 16) {
      __m256i v = load16(units + i);
      __m256i f = _mm256_xor_si256(v, flip);
      sum = _mm256_sub_epi16(sum, above16(f, 0x7F));
      sum = _mm256_sub_epi16(sum, above16(f, 0x7FF));
      __m256i top = _mm256_and_si256(v, _mm256_set1_epi16(static_cast<short>(0xF800)));
      __m256i surrogate = _mm256_cmpeq_epi16(top, _mm256_set1_epi16(static_cast<short>(0xD800)));
      if (!_mm256_testz_si256(surrogate, surrogate)) {
        for (uint32_t k = i; k < i + 16; k++) extra -= pairAt(units, count, k) ? 2 : 0;
      }
    }
    __m256i pairs = _mm256_madd_epi16(sum, _mm256_set1_epi16(1));
    __m128i quads =
        _mm_add_epi32(_mm256_castsi256_si128(pairs), _mm256_extracti128_si256(pairs, 1));
    alignas(16) uint32_t lanes[4];
    _mm_store_si128(reinterpret_cast<__m128i*>(lanes), quads);
    extra += uint64_t{lanes[0]} + lanes[1] + lanes[2] + lanes[3];
  }
  *done = i;
  return extra;
}

// ---- 32 units at a time (AVX-512) -------------------------------------------

//
// The forms are built in lanes (16 bits for a block below U+0800, 32 bits
// for one with three-byte forms), and one byte compress keeps the bytes of
// each form; a masked store writes those alone, so nothing is scratch. A
// block is taken up to its first surrogate.

// GCC 12 takes the undefined source of the intrinsics without a mask for an
// uninitialised value (a false warning, gone in GCC 13).
#if !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif

PLAT_AVX512 inline __m512i load32(const uint16_t* units) { return _mm512_loadu_si512(units); }

PLAT_AVX512 inline __m512i repeat32(uint16_t value) {
  return _mm512_set1_epi16(static_cast<short>(value));
}

// Stores the bytes of `forms` that `keep` has a bit for; returns how many.
PLAT_AVX512 inline uint32_t storeKept(__m512i forms, uint64_t keep, uint8_t* out) {
  uint32_t length = static_cast<uint32_t>(__builtin_popcountll(keep));
  _mm512_mask_storeu_epi8(out, _bzhi_u64(~uint64_t{0}, length),
                          _mm512_maskz_compress_epi8(keep, forms));
  return length;
}

// The units of `taken` below U+0800: a word each, lead byte first.
PLAT_AVX512 inline uint32_t encodeShort32(__m512i u, uint32_t taken, uint8_t* out) {
  constexpr int kOrAnd = 0xF8;  // a | (b & c)
  __mmask32 two = _mm512_cmpge_epu16_mask(u, repeat32(0x80));
  __m512i lead =
      _mm512_mask_mov_epi16(u, two, _mm512_or_si512(_mm512_srli_epi16(u, 6), repeat32(0xC0)));
  __m512i trail = _mm512_ternarylogic_epi32(repeat32(0x80), u, repeat32(0x3F), kOrAnd);
  __m512i forms = _mm512_or_si512(lead, _mm512_slli_epi16(trail, 8));
  uint64_t keep = _pdep_u64(taken, 0x5555555555555555) | _pdep_u64(two & taken, 0xAAAAAAAAAAAAAAAA);
  return storeKept(forms, keep, out);
}

// Sixteen units of `taken` (none a surrogate): a 32-bit lane each.
PLAT_AVX512 inline uint32_t encodeLong16(const uint16_t* units, uint32_t taken, uint8_t* out) {
  constexpr int kOrAnd = 0xF8;
  const __m512i low6 = _mm512_set1_epi32(0x3F);
  const __m512i mark = _mm512_set1_epi32(0x80);
  __m512i u = _mm512_cvtepu16_epi32(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(units)));
  __mmask16 two = _mm512_cmpge_epu32_mask(u, _mm512_set1_epi32(0x80));
  __mmask16 three = _mm512_cmpge_epu32_mask(u, _mm512_set1_epi32(0x800));
  __m512i lead = _mm512_mask_or_epi32(u, two, _mm512_srli_epi32(u, 6), _mm512_set1_epi32(0xC0));
  lead = _mm512_mask_or_epi32(lead, three, _mm512_srli_epi32(u, 12), _mm512_set1_epi32(0xE0));
  __m512i last = _mm512_ternarylogic_epi32(mark, u, low6, kOrAnd);
  __m512i middle = _mm512_mask_mov_epi32(
      last, three, _mm512_ternarylogic_epi32(mark, _mm512_srli_epi32(u, 6), low6, kOrAnd));
  // Lead, middle (the last of a two-byte form), last.
  __m512i forms = _mm512_or_si512(_mm512_or_si512(lead, _mm512_slli_epi32(middle, 8)),
                                  _mm512_slli_epi32(last, 16));
  uint64_t keep = _pdep_u64(taken, 0x1111111111111111) |
                  _pdep_u64(two & taken, 0x2222222222222222) |
                  _pdep_u64(three & taken, 0x4444444444444444);
  return storeKept(forms, keep, out);
}

PLAT_AVX512 uint32_t encodeBlocksAvx512(const uint16_t* units, uint32_t count, uint8_t** out) {
  uint8_t* at = *out;
  uint32_t i = 0;
  while (count - i >= 32) {
    __m512i u = load32(units + i);
    __mmask32 surrogate =
        _mm512_cmpeq_epi16_mask(_mm512_and_si512(u, repeat32(0xF800)), repeat32(0xD800));
    uint32_t taken = 32;
    if (surrogate != 0) {
      taken = static_cast<uint32_t>(__builtin_ctz(surrogate));
      if (taken == 0) {
        at += encodeOne(units, count, &i, at);
        continue;
      }
    }
    uint32_t mask = _bzhi_u32(~0u, taken);
    if (_mm512_cmpge_epu16_mask(u, repeat32(0x80)) == 0) {
      _mm256_mask_storeu_epi8(at, mask, _mm512_cvtepi16_epi8(u));
      at += taken;
    } else if ((_mm512_cmpge_epu16_mask(u, repeat32(0x800)) & mask) == 0) {
      at += encodeShort32(u, mask, at);
    } else {
      at += encodeLong16(units + i, mask & 0xFFFF, at);
      at += encodeLong16(units + i + 16, mask >> 16, at);
    }
    i += taken;
  }
  *out = at;
  return i;
}

// The same sum as extraBytes, 32 units at a time.
PLAT_AVX512 uint64_t extraBytesAvx512(const uint16_t* units, uint32_t count, uint32_t* done) {
  uint64_t extra = 0;
  uint32_t i = 0;
  for (; count - i >= 32; i += 32) {
    __m512i v = load32(units + i);
    extra += static_cast<uint32_t>(__builtin_popcount(_mm512_cmpge_epu16_mask(v, repeat32(0x80))));
    extra += static_cast<uint32_t>(__builtin_popcount(_mm512_cmpge_epu16_mask(v, repeat32(0x800))));
    __mmask32 surrogate =
        _mm512_cmpeq_epi16_mask(_mm512_and_si512(v, repeat32(0xF800)), repeat32(0xD800));
    if (surrogate != 0) {
      for (uint32_t k = i; k < i + 32; k++) extra -= pairAt(units, count, k) ? 2 : 0;
    }
  }
  *done = i;
  return extra;
}

#if !defined(__clang__)
#pragma GCC diagnostic pop
#endif

#endif

uint64_t utf8Size64(const uint16_t* units, uint32_t count) {
  uint32_t i = 0;
  uint64_t size = count;
#if defined(__SSE2__)
  plat_vector level = plat_vector_level();
  size += level == PLAT_VECTOR_AVX512 ? extraBytesAvx512(units, count, &i)
          : level == PLAT_VECTOR_AVX2 ? extraBytesAvx2(units, count, &i)
                                      : extraBytes(units, count, &i);
#endif
  for (; i < count; i++) {
    uint32_t u = units[i];
    size += (u > 0x7F) + (u > 0x7FF);
    if (pairAt(units, count, i)) size -= 2;
  }
  return size;
}

uint32_t encodeUnits(const uint16_t* units, uint32_t count, uint8_t* out) {
  uint8_t* start = out;
  uint32_t i = 0;
#if defined(__SSE2__)
  plat_vector level = plat_vector_level();
  i = level == PLAT_VECTOR_AVX512  ? encodeBlocksAvx512(units, count, &out)
      : level == PLAT_VECTOR_AVX2  ? encodeBlocksAvx2(units, count, &out)
      : level == PLAT_VECTOR_SSSE3 ? encodeBlocksShuffled(units, count, &out)
                                   : encodeBlocksPlain(units, count, &out);
#endif
  while (i < count) out += encodeOne(units, count, &i, out);
  return static_cast<uint32_t>(out - start);
}

}  // namespace

uint32_t encodeUtf8Into(const uint16_t* units, uint32_t count, uint8_t* out) {
  return encodeUnits(units, count, out);
}

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
