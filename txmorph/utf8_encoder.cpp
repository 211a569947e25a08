// txmorph's own UTF-8 encoder: the size first, then one exact block.
//
// A unit below U+0080 takes one byte, below U+0800 two, any other three; a
// high surrogate followed by a low one is one character above U+FFFF and takes
// four bytes (two three-byte forms of the halves are not UTF-8, and other
// programs reject or garble them). A lone surrogate keeps its three-byte form.
//
// Sixteen ASCII units at a time are narrowed whole; eight units without a
// surrogate are encoded each by its form in a word, stored four bytes at once
// (the bytes past the form are scratch the next character overwrites, so this
// runs only while three more units follow); the rest one at a time.
#include "txmorph/txmorph.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace txmorph {

namespace {

inline bool isHighSurrogate(uint32_t u) { return (u & 0xFC00) == 0xD800; }
inline bool isLowSurrogate(uint32_t u) { return (u & 0xFC00) == 0xDC00; }

// Whether units[at] and units[at + 1] form a surrogate pair.
inline bool pairAt(const uint16_t* units, uint32_t count, uint32_t at) {
  return isHighSurrogate(units[at]) && at + 1 < count && isLowSurrogate(units[at + 1]);
}

#if defined(__SSE2__)

inline __m128i load8(const uint16_t* units) {
  return _mm_loadu_si128(reinterpret_cast<const __m128i*>(units));
}

inline uint32_t surrogateMask8(__m128i v) {
  __m128i top = _mm_and_si128(v, _mm_set1_epi16(static_cast<short>(0xF800)));
  return static_cast<uint32_t>(
      _mm_movemask_epi8(_mm_cmpeq_epi16(top, _mm_set1_epi16(static_cast<short>(0xD800)))));
}

inline bool hasSurrogate8(const uint16_t* units) { return surrogateMask8(load8(units)) != 0; }

inline bool narrowAscii16(const uint16_t* units, uint8_t* out) {
  __m128i a = load8(units);
  __m128i b = load8(units + 8);
  __m128i high = _mm_and_si128(_mm_or_si128(a, b), _mm_set1_epi16(static_cast<short>(0xFF80)));
  if (_mm_movemask_epi8(_mm_cmpeq_epi16(high, _mm_setzero_si128())) != 0xFFFF) return false;
  _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm_packus_epi16(a, b));
  return true;
}

// Bytes beyond one per unit in a run: +1 above U+007F, +1 above U+07FF, -2 for
// each pair. The compares give -1 for true; lanes are summed before they can
// overflow.
uint64_t extraBytes(const uint16_t* units, uint32_t count, uint32_t* done) {
  const __m128i flip = _mm_set1_epi16(static_cast<short>(0x8000));
  const __m128i above7F = _mm_set1_epi16(static_cast<short>(0x807F));
  const __m128i above7FF = _mm_set1_epi16(static_cast<short>(0x87FF));
  uint64_t extra = 0;
  uint32_t i = 0;
  while (count - i >= 8) {
    __m128i sum = _mm_setzero_si128();
    for (int n = 0; n < 8192 && count - i >= 8; n++, i += 8) {
      __m128i v = load8(units + i);
      __m128i s = _mm_xor_si128(v, flip);
      sum = _mm_sub_epi16(sum, _mm_cmpgt_epi16(s, above7F));
      sum = _mm_sub_epi16(sum, _mm_cmpgt_epi16(s, above7FF));
      if (surrogateMask8(v) != 0) {
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

#else

inline bool hasSurrogate8(const uint16_t* units) {
  uint32_t any = 0;
  for (int k = 0; k < 8; k++) any |= (units[k] & 0xF800) == 0xD800;
  return any != 0;
}

inline bool narrowAscii16(const uint16_t* units, uint8_t* out) {
  uint32_t any = 0;
  for (int k = 0; k < 16; k++) any |= units[k];
  if (any >= 0x80) return false;
  for (int k = 0; k < 16; k++) out[k] = static_cast<uint8_t>(units[k]);
  return true;
}

uint64_t extraBytes(const uint16_t*, uint32_t, uint32_t* done) {
  *done = 0;
  return 0;
}

#endif

// The form of a unit of one to three bytes, first byte lowest, and its length.
inline uint32_t formOf(uint32_t u, uint32_t* length) {
  uint32_t two = (0xC0 | u >> 6) | (0x80 | (u & 0x3F)) << 8;
  uint32_t three = (0xE0 | u >> 12) | (0x80 | (u >> 6 & 0x3F)) << 8 | (0x80 | (u & 0x3F)) << 16;
  *length = 1 + (u > 0x7F) + (u > 0x7FF);
  return u < 0x80 ? u : u < 0x800 ? two : three;
}

inline void storeWord(uint8_t* out, uint32_t word) {
  out[0] = static_cast<uint8_t>(word);
  out[1] = static_cast<uint8_t>(word >> 8);
  out[2] = static_cast<uint8_t>(word >> 16);
  out[3] = static_cast<uint8_t>(word >> 24);
}

// Eight units, none a surrogate; four bytes stored for each.
inline uint32_t encodeEight(const uint16_t* units, uint8_t* out) {
  uint32_t o = 0;
  for (int k = 0; k < 8; k++) {
    uint32_t length;
    storeWord(out + o, formOf(units[k], &length));
    o += length;
  }
  return o;
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

uint64_t utf8Size64(const uint16_t* units, uint32_t count) {
  uint32_t i;
  uint64_t size = uint64_t{count} + extraBytes(units, count, &i);
  for (; i < count; i++) {
    uint32_t u = units[i];
    size += (u > 0x7F) + (u > 0x7FF);
    if (pairAt(units, count, i)) {
      size -= 2;
    }
  }
  return size;
}

void encodeUnits(const uint16_t* units, uint32_t count, uint8_t* out) {
  uint32_t i = 0;
  while (i < count) {
    uint32_t left = count - i;
    if (left >= 16 && narrowAscii16(units + i, out)) {
      i += 16;
      out += 16;
    } else if (left >= 8 + 3 && !hasSurrogate8(units + i)) {
      out += encodeEight(units + i, out);
      i += 8;
    } else {
      out += encodeOne(units, count, &i, out);
    }
  }
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
