// findInvalidUtf8: checks the shape of UTF-8 only. A lead byte tells how many
// continuation bytes (10xxxxxx) follow; C0, C1, F5 to FF, a stray continuation
// byte and the zero byte are never right. Overlong forms, encoded surrogates
// and values above U+10FFFF pass: the decoder decides what they become.
//
// Blocks of 16 bytes are checked at once where SSE2 is there: an ASCII block
// by two masks, any other by the masks of its byte classes (continuation, lead
// of two, three or four bytes, never right), where the continuation bytes
// must stand exactly where the leads call for them. A character running past
// the block starts the next one. The first block that does not pass, and the
// tail, go a byte at a time, which finds the offending byte's position.
#include "txmorph/txmorph.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

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

// From a character start at `at` to the end, a byte at a time.
uint32_t checkBytes(const uint8_t* bytes, uint32_t count, uint32_t at) {
  while (at < count) {
    uint8_t follow = kLeads.follow[bytes[at++]];
    if (follow == kNever) return at;
    for (; follow > 0; follow--) {
      if (at == count) return count;
      if ((bytes[at++] & 0xC0) != 0x80) return at;
    }
  }
  return 0;
}

#if defined(__SSE2__)

inline uint32_t maskOf(__m128i compared) {
  return static_cast<uint32_t>(_mm_movemask_epi8(compared));
}

// Bytes from `at` (a character start) that pass as whole characters; stops at
// the first block that does not pass or when fewer than 16 bytes are left.
uint32_t checkBlocks(const uint8_t* bytes, uint32_t count, uint32_t at) {
  const __m128i zero = _mm_setzero_si128();
  const __m128i flip = _mm_set1_epi8(static_cast<char>(0x80));
  while (count - at >= 16) {
    __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + at));
    uint32_t nul = maskOf(_mm_cmpeq_epi8(v, zero));
    uint32_t high = maskOf(v);
    if ((nul | high) == 0) {
      at += 16;
      continue;
    }
    // Unsigned ranges by signed compares of the bytes with the top bit flipped.
    __m128i s = _mm_xor_si128(v, flip);
    uint32_t cont =
        maskOf(_mm_cmpeq_epi8(_mm_and_si128(v, _mm_set1_epi8(static_cast<char>(0xC0))), flip));
    uint32_t fromC0 = maskOf(_mm_cmpgt_epi8(s, _mm_set1_epi8(0x3F)));
    uint32_t fromC2 = maskOf(_mm_cmpgt_epi8(s, _mm_set1_epi8(0x41)));
    uint32_t fromE0 = maskOf(_mm_cmpgt_epi8(s, _mm_set1_epi8(0x5F)));
    uint32_t fromF0 = maskOf(_mm_cmpgt_epi8(s, _mm_set1_epi8(0x6F)));
    uint32_t fromF5 = maskOf(_mm_cmpgt_epi8(s, _mm_set1_epi8(0x74)));
    uint32_t never = nul | (fromC0 & ~fromC2) | fromF5;
    uint32_t lead2 = fromC2 & ~fromE0;
    uint32_t lead3 = fromE0 & ~fromF0;
    uint32_t lead4 = fromF0 & ~fromF5;
    // A character that would run past the block is left to the next one.
    uint32_t across = (lead2 & 0x8000) | (lead3 & 0xC000) | (lead4 & 0xE000);
    uint32_t taken = static_cast<uint32_t>(__builtin_ctz(across | 0x10000));
    uint32_t mine = (1u << taken) - 1;
    uint32_t leads = (lead2 | lead3 | lead4) & mine;
    uint32_t longer = (lead3 | lead4) & mine;
    uint32_t longest = lead4 & mine;
    uint32_t wanted = leads << 1 | longer << 2 | longest << 3;
    if ((never & mine) != 0 || (wanted & ~mine) != 0 || ((cont ^ wanted) & mine) != 0) break;
    at += taken;
  }
  return at;
}

#else

uint32_t checkBlocks(const uint8_t*, uint32_t, uint32_t at) { return at; }

#endif

}  // namespace

uint32_t findInvalidUtf8(const uint8_t* bytes, uint32_t count) {
  return checkBytes(bytes, count, checkBlocks(bytes, count, 0));
}

}  // namespace txmorph
