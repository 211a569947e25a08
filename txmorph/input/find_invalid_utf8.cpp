// findInvalidUtf8 and the piece-wise check: the shape of UTF-8 only. A lead byte tells how many
// continuation bytes (10xxxxxx) follow; C0, C1, F5 to FF, a stray continuation
// byte and the zero byte are never right. Overlong forms, encoded surrogates
// and values above U+10FFFF pass: the decoder decides what they become.
//
// Blocks of 32 bytes (AVX2) or 16 (SSE2) are checked at once: an ASCII block
// by two masks, any other by the masks of its byte classes (continuation, lead
// of two, three or four bytes, never right), where the continuation bytes
// must stand exactly where the leads call for them. A character running past
// the block starts the next one. The first block that does not pass, and the
// tail, go a byte at a time, which finds the offending byte's position.
#include "platform/vector_level.h"
#include "txmorph/txmorph.h"

namespace txmorph {

namespace {

constexpr uint8_t kNever = 0xFF;

// Continuation bytes after each byte as a lead; kNever where it cannot lead.
struct LeadTable {
  uint8_t follow[256];
};

constexpr LeadTable makeLeadTable() {
  LeadTable table{};
  for (int byte = 0; byte < 256; byte++) {
    uint8_t follow = kNever;
    if (byte >= 0x01 && byte <= 0x7F) follow = 0;
    if (byte >= 0xC2 && byte <= 0xDF) follow = 1;
    if (byte >= 0xE0 && byte <= 0xEF) follow = 2;
    if (byte >= 0xF0 && byte <= 0xF4) follow = 3;
    table.follow[byte] = follow;
  }
  return table;
}

constexpr LeadTable kLeads = makeLeadTable();

// From a character start at `at` to the end, a byte at a time; *missing gets
// the continuation bytes a sequence cut short by the end lacks.
uint32_t checkBytes(const uint8_t *bytes, uint32_t count, uint32_t at, uint32_t *missing) {
  *missing = 0;
  while (at < count) {
    uint8_t follow = kLeads.follow[bytes[at++]];
    if (follow == kNever) return at;
    for (; follow > 0; follow--) {
      if (at == count) {
        *missing = follow;
        return 0;
      }
      if ((bytes[at++] & 0xC0) != 0x80) return at;
    }
  }
  return 0;
}

#if defined(__SSE2__)

// The classes of a block's bytes, one bit per byte.
struct ByteClasses {
  uint64_t nul;     // 00
  uint64_t cont;    // 80-BF
  uint64_t fromC0;  // C0-FF, and so on
  uint64_t fromC2;
  uint64_t fromE0;
  uint64_t fromF0;
  uint64_t fromF5;
};

// Unsigned ranges by signed compares of the bytes with the top bit flipped.
inline uint64_t above128(__m128i flipped, uint8_t limit) {
  __m128i bound = _mm_set1_epi8(static_cast<char>(limit ^ 0x80));
  return static_cast<uint32_t>(_mm_movemask_epi8(_mm_cmpgt_epi8(flipped, bound)));
}

PLAT_AVX2 inline uint64_t above256(__m256i flipped, uint8_t limit) {
  __m256i bound = _mm256_set1_epi8(static_cast<char>(limit ^ 0x80));
  return static_cast<uint32_t>(_mm256_movemask_epi8(_mm256_cmpgt_epi8(flipped, bound)));
}

// A block of 16 bytes (SSE2) or 32 (AVX2): the bytes that are not plain
// ASCII (the high bit set, or zero), and the classes of all of them.
struct Sse2Block {
  static constexpr uint32_t kWidth = 16;
  static uint64_t unusual(const uint8_t *at) {
    __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(at));
    __m128i nul = _mm_cmpeq_epi8(v, _mm_setzero_si128());
    return static_cast<uint32_t>(_mm_movemask_epi8(_mm_or_si128(v, nul)));
  }
  static void classify(const uint8_t *at, ByteClasses *c) {
    __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(at));
    __m128i f = _mm_xor_si128(v, _mm_set1_epi8(static_cast<char>(0x80)));
    __m128i top = _mm_and_si128(v, _mm_set1_epi8(static_cast<char>(0xC0)));
    c->nul = static_cast<uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(v, _mm_setzero_si128())));
    c->cont = static_cast<uint32_t>(
        _mm_movemask_epi8(_mm_cmpeq_epi8(top, _mm_set1_epi8(static_cast<char>(0x80)))));
    c->fromC0 = above128(f, 0xBF);
    c->fromC2 = above128(f, 0xC1);
    c->fromE0 = above128(f, 0xDF);
    c->fromF0 = above128(f, 0xEF);
    c->fromF5 = above128(f, 0xF4);
  }
};

struct Avx2Block {
  static constexpr uint32_t kWidth = 32;
  PLAT_AVX2 static uint64_t unusual(const uint8_t *at) {
    __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(at));
    __m256i nul = _mm256_cmpeq_epi8(v, _mm256_setzero_si256());
    return static_cast<uint32_t>(_mm256_movemask_epi8(_mm256_or_si256(v, nul)));
  }
  PLAT_AVX2 static void classify(const uint8_t *at, ByteClasses *c) {
    __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(at));
    __m256i f = _mm256_xor_si256(v, _mm256_set1_epi8(static_cast<char>(0x80)));
    __m256i top = _mm256_and_si256(v, _mm256_set1_epi8(static_cast<char>(0xC0)));
    c->nul =
        static_cast<uint32_t>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(v, _mm256_setzero_si256())));
    c->cont = static_cast<uint32_t>(
        _mm256_movemask_epi8(_mm256_cmpeq_epi8(top, _mm256_set1_epi8(static_cast<char>(0x80)))));
    c->fromC0 = above256(f, 0xBF);
    c->fromC2 = above256(f, 0xC1);
    c->fromE0 = above256(f, 0xDF);
    c->fromF0 = above256(f, 0xEF);
    c->fromF5 = above256(f, 0xF4);
  }
};

// The bytes of a block of `kWidth`, which starts a character, that pass as
// whole characters; a character that would run past the block is left to
// the next one. 0 when the block has a fault.
template <uint32_t kWidth>
inline uint32_t passingBytes(const ByteClasses &c) {
  constexpr uint64_t kLast = uint64_t{1} << (kWidth - 1);
  uint64_t never = c.nul | (c.fromC0 & ~c.fromC2) | c.fromF5;
  uint64_t lead2 = c.fromC2 & ~c.fromE0;
  uint64_t lead3 = c.fromE0 & ~c.fromF0;
  uint64_t lead4 = c.fromF0 & ~c.fromF5;
  uint64_t across = (lead2 & kLast) | (lead3 & (kLast | kLast >> 1)) |
                    (lead4 & (kLast | kLast >> 1 | kLast >> 2));
  uint32_t taken = static_cast<uint32_t>(__builtin_ctzll(across | kLast << 1));
  uint64_t mine = (uint64_t{1} << taken) - 1;
  uint64_t leads = (lead2 | lead3 | lead4) & mine;
  uint64_t longer = (lead3 | lead4) & mine;
  uint64_t longest = lead4 & mine;
  uint64_t wanted = leads << 1 | longer << 2 | longest << 3;
  if ((never & mine) != 0 || (wanted & ~mine) != 0 || ((c.cont ^ wanted) & mine) != 0) return 0;
  return taken;
}

// Bytes from `at` (a character start) that pass as whole characters; stops at
// the first block that does not pass or when less than a block is left.
template <typename Block>
__attribute__((always_inline)) inline uint32_t checkBlocksWith(const uint8_t *bytes, uint32_t count,
                                                               uint32_t at) {
  while (count - at >= Block::kWidth) {
    if (Block::unusual(bytes + at) == 0) {
      at += Block::kWidth;
      continue;
    }
    ByteClasses classes;
    Block::classify(bytes + at, &classes);
    uint32_t taken = passingBytes<Block::kWidth>(classes);
    if (taken == 0) break;
    at += taken;
  }
  return at;
}

PLAT_AVX2 uint32_t checkBlocksAvx2(const uint8_t *bytes, uint32_t count, uint32_t at) {
  return checkBlocksWith<Avx2Block>(bytes, count, at);
}

uint32_t checkBlocks(const uint8_t *bytes, uint32_t count, uint32_t at) {
  if (plat_vector_level() >= PLAT_VECTOR_AVX2) at = checkBlocksAvx2(bytes, count, at);
  return checkBlocksWith<Sse2Block>(bytes, count, at);
}

#else

uint32_t checkBlocks(const uint8_t *, uint32_t, uint32_t at) { return at; }

#endif

}  // namespace

uint32_t checkUtf8Shape(const uint8_t *bytes, uint32_t count, uint32_t *missing) {
  return checkBytes(bytes, count, checkBlocks(bytes, count, 0), missing);
}

uint32_t findInvalidUtf8(const uint8_t *bytes, uint32_t count) {
  uint32_t missing;
  uint32_t at = checkUtf8Shape(bytes, count, &missing);
  return at != 0 || missing == 0 ? at : count;
}

void startUtf8Check(Utf8Check *check) { *check = Utf8Check{0, 0, 0, true, 0}; }

namespace {

// Whether the byte after a lead byte of E0, ED, F0 or F4 is in the range that
// makes it a character: no overlong form, no surrogate, nothing above U+10FFFF.
bool secondInRange(uint8_t lead, uint8_t second) {
  switch (lead) {
    case 0xE0: return second >= 0xA0;
    case 0xED: return second <= 0x9F;
    case 0xF0: return second >= 0x90;
    case 0xF4: return second <= 0x8F;
    default: return true;
  }
}

#if defined(__SSE2__)
// Lanes of 16 bytes `v` (top bits flipped) that are `lead` while the byte
// after each, in `next` (flipped too), is below `low` or above `high`.
inline __m128i outOfRange(__m128i v, __m128i next, uint8_t lead, uint8_t low, uint8_t high) {
  __m128i isLead = _mm_cmpeq_epi8(v, _mm_set1_epi8(static_cast<char>(lead ^ 0x80)));
  __m128i below = _mm_cmplt_epi8(next, _mm_set1_epi8(static_cast<char>(low ^ 0x80)));
  __m128i above = _mm_cmpgt_epi8(next, _mm_set1_epi8(static_cast<char>(high ^ 0x80)));
  return _mm_and_si128(isLead, _mm_or_si128(below, above));
}
#endif

// Past the shape check: whether every sequence of bytes of the right shape is
// a character, 16 bytes and the one after them at a time, those without a
// byte from E0 up passed over at once. A lead byte at the end is left in
// *pending for the next piece.
bool wellFormedPiece(const uint8_t *bytes, uint32_t count, uint8_t *pending) {
  uint32_t i = 0;
  if (count == 0) return true;
  if (*pending != 0 && !secondInRange(*pending, bytes[0])) return false;
  *pending = 0;
#if defined(__SSE2__)
  const __m128i flip = _mm_set1_epi8(static_cast<char>(0x80));
  const __m128i fromE0 = _mm_set1_epi8(static_cast<char>(0xDF ^ 0x80));
  for (; i + 17 <= count; i += 16) {
    __m128i v = _mm_xor_si128(_mm_loadu_si128(reinterpret_cast<const __m128i *>(bytes + i)), flip);
    if (_mm_movemask_epi8(_mm_cmpgt_epi8(v, fromE0)) == 0) continue;
    __m128i next =
        _mm_xor_si128(_mm_loadu_si128(reinterpret_cast<const __m128i *>(bytes + i + 1)), flip);
    __m128i bad = _mm_or_si128(
        _mm_or_si128(outOfRange(v, next, 0xE0, 0xA0, 0xFF), outOfRange(v, next, 0xED, 0x00, 0x9F)),
        _mm_or_si128(outOfRange(v, next, 0xF0, 0x90, 0xFF), outOfRange(v, next, 0xF4, 0x00, 0x8F)));
    if (_mm_movemask_epi8(bad) != 0) return false;
  }
#endif
  for (; i < count; i++) {
    if (i + 1 == count) {
      if (bytes[i] >= 0xE0) *pending = bytes[i];
    } else if (!secondInRange(bytes[i], bytes[i + 1])) {
      return false;
    }
  }
  return true;
}

#if defined(PLAT_HAS_X86_VECTORS) && defined(__SSE2__)
// The whole check at once, 32 bytes at a time (AVX2), for text that passes
// it: each byte is judged with the three before it by three tables of what
// a pair of bytes can be wrong in (the high half of the first byte, its low
// half, the high half of the second), and a byte that the third or fourth
// byte of a sequence must be has to be a continuation byte. Bits of what
// can be wrong with a pair:
constexpr uint8_t kTooShort = 1 << 0;   // a lead, then no continuation byte
constexpr uint8_t kTooLong = 1 << 1;    // ASCII, then a continuation byte
constexpr uint8_t kOverlong3 = 1 << 2;  // E0 80-9F
constexpr uint8_t kTooLarge = 1 << 3;   // F4 90-BF, F5-FF
constexpr uint8_t kSurrogate = 1 << 4;  // ED A0-BF
constexpr uint8_t kOverlong2 = 1 << 5;  // C0-C1
constexpr uint8_t kLarge1000 = 1 << 6;  // F5-FF 80-8F
constexpr uint8_t kOverlong4 = 1 << 6;  // F0 80-8F
constexpr uint8_t kTwoConts = 1 << 7;   // two continuation bytes
constexpr uint8_t kCarry = kTooShort | kTooLong | kTwoConts;

PLAT_AVX2 inline __m256i table16(uint8_t a0, uint8_t a1, uint8_t a2, uint8_t a3, uint8_t a4,
                                 uint8_t a5, uint8_t a6, uint8_t a7, uint8_t a8, uint8_t a9,
                                 uint8_t a10, uint8_t a11, uint8_t a12, uint8_t a13, uint8_t a14,
                                 uint8_t a15) {
  return _mm256_setr_epi8(
      static_cast<char>(a0), static_cast<char>(a1), static_cast<char>(a2), static_cast<char>(a3),
      static_cast<char>(a4), static_cast<char>(a5), static_cast<char>(a6), static_cast<char>(a7),
      static_cast<char>(a8), static_cast<char>(a9), static_cast<char>(a10), static_cast<char>(a11),
      static_cast<char>(a12), static_cast<char>(a13), static_cast<char>(a14),
      static_cast<char>(a15), static_cast<char>(a0), static_cast<char>(a1), static_cast<char>(a2),
      static_cast<char>(a3), static_cast<char>(a4), static_cast<char>(a5), static_cast<char>(a6),
      static_cast<char>(a7), static_cast<char>(a8), static_cast<char>(a9), static_cast<char>(a10),
      static_cast<char>(a11), static_cast<char>(a12), static_cast<char>(a13),
      static_cast<char>(a14), static_cast<char>(a15));
}

// The bytes of `input` shifted on by n, those of `before` coming in.
template <int n>
PLAT_AVX2 inline __m256i shiftedIn(__m256i input, __m256i before) {
  return _mm256_alignr_epi8(input, _mm256_permute2x128_si256(before, input, 0x21), 16 - n);
}

// How many bytes from the start pass the whole check, in blocks of 32, the
// last ending where a character does; 0 at the first block that fails, which
// the byte-wise check then goes over.
PLAT_AVX2 uint32_t validBlocksAvx2(const uint8_t *bytes, uint32_t count) {
  const __m256i firstHigh =
      table16(kTooLong, kTooLong, kTooLong, kTooLong, kTooLong, kTooLong, kTooLong, kTooLong,
              kTwoConts, kTwoConts, kTwoConts, kTwoConts, kTooShort | kOverlong2, kTooShort,
              kTooShort | kOverlong3 | kSurrogate, kTooShort | kTooLarge | kLarge1000 | kOverlong4);
  constexpr uint8_t kLarge = kCarry | kTooLarge | kLarge1000;
  const __m256i firstLow =
      table16(kCarry | kOverlong3 | kOverlong2 | kOverlong4, kCarry | kOverlong2, kCarry, kCarry,
              kCarry | kTooLarge, kLarge, kLarge, kLarge, kLarge, kLarge, kLarge, kLarge, kLarge,
              kLarge | kSurrogate, kLarge, kLarge);
  constexpr uint8_t kCont = kTooLong | kOverlong2 | kTwoConts;
  const __m256i secondHigh =
      table16(kTooShort, kTooShort, kTooShort, kTooShort, kTooShort, kTooShort, kTooShort,
              kTooShort, kCont | kOverlong3 | kLarge1000 | kOverlong4,
              kCont | kOverlong3 | kTooLarge, kCont | kSurrogate | kTooLarge,
              kCont | kSurrogate | kTooLarge, kTooShort, kTooShort, kTooShort, kTooShort);
  const __m256i nibble = _mm256_set1_epi8(0x0F);
  const __m256i third = _mm256_set1_epi8(static_cast<char>(0xE0 - 0x80));
  const __m256i fourth = _mm256_set1_epi8(static_cast<char>(0xF0 - 0x80));
  const __m256i top = _mm256_set1_epi8(static_cast<char>(0x80));
  // A block ends inside a character when one of its last three bytes is a
  // lead of more bytes than are left.
  const __m256i lastLeads =
      _mm256_setr_epi8(-1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1,
                       -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, static_cast<char>(0xF0 - 1),
                       static_cast<char>(0xE0 - 1), static_cast<char>(0xC0 - 1));
  __m256i before = _mm256_setzero_si256();
  __m256i cut = _mm256_setzero_si256();  // the last block ended inside a character
  uint32_t passed = 0;
  for (uint32_t at = 0; count - at >= 32; at += 32) {
    __m256i input = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(bytes + at));
    __m256i error = _mm256_cmpeq_epi8(input, _mm256_setzero_si256());
    if (_mm256_movemask_epi8(input) == 0) {
      error = _mm256_or_si256(error, cut);
    } else {
      __m256i prev1 = shiftedIn<1>(input, before);
      __m256i pairs = _mm256_and_si256(
          _mm256_and_si256(
              _mm256_shuffle_epi8(firstHigh, _mm256_and_si256(_mm256_srli_epi16(prev1, 4), nibble)),
              _mm256_shuffle_epi8(firstLow, _mm256_and_si256(prev1, nibble))),
          _mm256_shuffle_epi8(secondHigh, _mm256_and_si256(_mm256_srli_epi16(input, 4), nibble)));
      __m256i thirdOn = _mm256_subs_epu8(shiftedIn<2>(input, before), third);
      __m256i fourthOn = _mm256_subs_epu8(shiftedIn<3>(input, before), fourth);
      __m256i must = _mm256_and_si256(_mm256_or_si256(thirdOn, fourthOn), top);
      error = _mm256_or_si256(error, _mm256_xor_si256(must, pairs));
    }
    if (!_mm256_testz_si256(error, error)) return passed;
    cut = _mm256_subs_epu8(input, lastLeads);
    before = input;
    if (_mm256_testz_si256(cut, cut)) passed = at + 32;
  }
  return passed;
}
#endif

}  // namespace

namespace {

// A byte at a time where need be: a sequence that goes on from the last
// piece takes its continuation bytes first; the rest starts a character.
void checkPieceBytewise(Utf8Check *check, const uint8_t *bytes, uint32_t count) {
  uint32_t i = 0;
  for (; check->invalidAt == 0 && check->missing > 0 && i < count; i++, check->missing--) {
    if ((bytes[i] & 0xC0) != 0x80) check->invalidAt = check->at + i + 1;
  }
  if (check->invalidAt == 0 && i < count) {
    uint32_t at = checkUtf8Shape(bytes + i, count - i, &check->missing);
    if (at != 0) check->invalidAt = check->at + i + at;
  }
  if (check->invalidAt == 0 && check->wellFormed) {
    check->wellFormed = wellFormedPiece(bytes, count, &check->pendingLead);
  }
  check->at += count;
}

}  // namespace

// The end of a sequence that goes on from the last piece a byte at a time,
// then from a character's start whatever passes the whole check at once
// (AVX2), and the rest a byte at a time.
void checkUtf8Piece(Utf8Check *check, const uint8_t *bytes, uint32_t count) {
#if defined(PLAT_HAS_X86_VECTORS) && defined(__SSE2__)
  if (check->invalidAt == 0 && check->wellFormed && plat_vector_level() >= PLAT_VECTOR_AVX2) {
    uint32_t rest = check->missing < count ? check->missing : count;
    checkPieceBytewise(check, bytes, rest);
    bytes += rest;
    count -= rest;
    if (check->invalidAt == 0 && check->missing == 0 && check->pendingLead == 0) {
      uint32_t passed = validBlocksAvx2(bytes, count);
      check->at += passed;
      bytes += passed;
      count -= passed;
    }
  }
#endif
  checkPieceBytewise(check, bytes, count);
}

namespace {

// The decoder takes a zero byte as a character; the check never does. The
// least byte of each column of 16, with SSE2.
bool holdsZeroByte(const uint8_t *bytes, uint32_t count) {
#if defined(__SSE2__)
  if (count >= 16) {
    __m128i least = _mm_loadu_si128(reinterpret_cast<const __m128i *>(bytes + count - 16));
    for (uint32_t i = 0; i + 16 <= count; i += 16) {
      least = _mm_min_epu8(least, _mm_loadu_si128(reinterpret_cast<const __m128i *>(bytes + i)));
    }
    return _mm_movemask_epi8(_mm_cmpeq_epi8(least, _mm_setzero_si128())) != 0;
  }
#endif
  constexpr uint64_t kOnes = 0x0101010101010101ull;
  constexpr uint64_t kHighs = 0x8080808080808080ull;
  uint64_t found = 0;
  uint32_t i = 0;
  for (; i + 8 <= count; i += 8) {
    uint64_t word;
    __builtin_memcpy(&word, bytes + i, 8);
    found |= (word - kOnes) & ~word & kHighs;
  }
  for (; i < count; i++) found |= bytes[i] == 0;
  return found != 0;
}

}  // namespace

void checkDecodedUtf8Piece(Utf8Check *check, const uint8_t *bytes, uint32_t count, bool malformed) {
  if (malformed || check->invalidAt != 0 || check->missing != 0 || check->pendingLead != 0 ||
      holdsZeroByte(bytes, count)) {
    checkUtf8Piece(check, bytes, count);
  } else {
    check->at += count;
  }
}

void endUtf8Check(Utf8Check *check) {
  if (check->invalidAt == 0 && check->missing > 0) check->invalidAt = check->at;
}

}  // namespace txmorph
