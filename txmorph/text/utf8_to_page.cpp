// Sixteen bytes at a time: the ASCII between the characters of two bytes
// copied sixteen bytes at a time from where it starts (right up to the next
// character; the rest is overwritten next), each character's byte looked up
// and put after it; a character whose second byte is past the block moves
// the next block on by one. The output never runs ahead of the input, so
// what is stored past the bytes made stays within the room of the input's.
#include "txmorph/text/utf8_to_page.h"

#include "txmorph/text/conversion_state.h"
#include "txmorph/text/convert_units.h"
#include "txmorph/txmorph.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace txmorph {

void makeUtf8ToPage(Utf8ToPage* table, const PageInfo* page) {
  table->tried = true;
  table->ready = false;
  if (page->maxCharSize != 1 || page->utf8) return;
  uint16_t units[0x800];
  uint8_t bytes[0x800];
  for (uint32_t u = 0; u < 0x800; u++) units[u] = static_cast<uint16_t>(u);
  ConversionState state = {page->codePage, WC_NO_BEST_FIT_CHARS, kLossReplacement, 2};
  if (convertUnitsWith(&state, units, 0x800, kWide, bytes, 0x800, kNarrow) != 0x800) return;
  for (uint32_t u = 0; u < 0x80; u++) {
    if (bytes[u] != u) return;
  }
  // No character past ASCII is held as 0x0F: there it was replaced.
  for (uint32_t u = 0x80; u < 0x800; u++) {
    table->bytes[u - 0x80] = bytes[u] == kLossReplacement ? 0 : bytes[u];
  }
  table->ready = true;
}

namespace {

// The byte of a character of two bytes at `at`, of which `left` are in
// hand; 0 when it is none the table holds.
inline uint8_t twoBytes(const Utf8ToPage* table, const uint8_t* at, uint32_t left) {
  if (left < 2 || at[0] < 0xC2 || at[0] > 0xDF || (at[1] & 0xC0) != 0x80) return 0;
  return table->bytes[((at[0] & 0x1F) << 6 | (at[1] & 0x3F)) - 0x80];
}

#if defined(__SSE2__)
inline void copy16(uint8_t* to, const uint8_t* from) {
  _mm_storeu_si128(reinterpret_cast<__m128i*>(to),
                   _mm_loadu_si128(reinterpret_cast<const __m128i*>(from)));
}
#endif

}  // namespace

uint32_t utf8ToPage(const Utf8ToPage* table, const uint8_t* bytes, uint32_t count, uint8_t* out,
                    uint32_t* taken) {
  uint32_t i = 0;
  uint32_t o = 0;
#if defined(__SSE2__)
  while (count - i >= 32) {
    const uint8_t* block = bytes + i;
    uint32_t high = static_cast<uint32_t>(
        _mm_movemask_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(block))));
    uint32_t from = 0;  // the block's next byte not yet made
    while (high != 0) {
      uint32_t at = static_cast<uint32_t>(__builtin_ctz(high));
      copy16(out + o, block + from);
      o += at - from;
      uint8_t byte = twoBytes(table, block + at, 2);
      if (byte == 0) {
        *taken = i + at;
        return o;
      }
      out[o++] = byte;
      from = at + 2;
      high &= ~(3u << at);
    }
    if (from < 16) {
      copy16(out + o, block + from);
      o += 16 - from;
      from = 16;
    }
    i += from;
  }
#endif
  while (i < count) {
    if (bytes[i] < 0x80) {
      out[o++] = bytes[i++];
      continue;
    }
    uint8_t byte = twoBytes(table, bytes + i, count - i);
    if (byte == 0) break;
    out[o++] = byte;
    i += 2;
  }
  *taken = i;
  return o;
}

}  // namespace txmorph
