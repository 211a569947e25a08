// Decoding, and the characters it made of malformed input: U+FFFD for
// invalid UTF-8, the page's default character for bytes a double-byte page
// cannot decode. A single-byte page decodes every byte to a character of its
// own.
//
// Only a text holding the default character can hold such a loss, and only
// input that the platform's strict decoding refuses does: anything else is
// settled by a scan of the units and at most one more call. UTF-8 is decoded
// in pieces that end before a byte that starts a character (which decodes
// alike whole or in pieces), each scanned while it is still in the cache.
// Where a loss is possible, the bytes are walked by character next to the
// units they made:
// - UTF-8: a well-formed sequence is decoded as itself wherever it stands,
//   and malformed bytes never swallow the start of one, so the bytes between
//   two well-formed sequences are malformed as a whole; how many U+FFFD they
//   made is asked of the platform for them alone;
// - a double-byte page: a lead byte and the byte after it (unless there is
//   none, or it is zero) are one character, any other byte is one; a
//   character that became the default character without being its bytes
//   is malformed.
#include "platform/vector_level.h"
#include "txmorph/conversion_state.h"
#include "txmorph/txmorph.h"

namespace txmorph {

namespace {

constexpr uint16_t kReplacementCharacter = 0xFFFD;

// Whether the unit stands in the text, 16 units at a time where SSE2 is there.
bool holdsUnit(const uint16_t* units, uint32_t count, uint16_t unit) {
  uint32_t i = 0;
#if defined(__SSE2__)
  const __m128i wanted = _mm_set1_epi16(static_cast<int16_t>(unit));
  for (; i + 16 <= count; i += 16) {
    __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(units + i));
    __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(units + i + 8));
    __m128i same = _mm_or_si128(_mm_cmpeq_epi16(a, wanted), _mm_cmpeq_epi16(b, wanted));
    if (_mm_movemask_epi8(same) != 0) return true;
  }
#endif
  for (; i < count; i++) {
    if (units[i] == unit) return true;
  }
  return false;
}

// The length of the well-formed UTF-8 sequence at bytes[0]; 0 when none
// starts there (shortest forms of U+0000 to U+10FFFF, no surrogates).
uint32_t wellFormedLength(const uint8_t* bytes, uint32_t left) {
  uint8_t lead = bytes[0];
  if (lead < 0x80) return 1;
  uint32_t more;
  uint8_t low = 0x80;
  uint8_t high = 0xBF;
  if (lead >= 0xC2 && lead <= 0xDF) {
    more = 1;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    more = 2;
    if (lead == 0xE0) low = 0xA0;
    if (lead == 0xED) high = 0x9F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    more = 3;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;
  } else {
    return 0;
  }
  if (more >= left || bytes[1] < low || bytes[1] > high) return 0;
  for (uint32_t k = 2; k <= more; k++) {
    if ((bytes[k] & 0xC0) != 0x80) return 0;
  }
  return more + 1;
}

uint32_t markUtf8(const uint8_t* bytes, uint32_t count, uint32_t unitCount, uint32_t* bits) {
  uint32_t found = 0;
  uint32_t i = 0;
  uint32_t k = 0;
  while (i < count && k < unitCount) {
    uint32_t run = asciiSpan(bytes + i, count - i);
    i += run;
    k += run;
    if (i == count) break;
    uint32_t length = wellFormedLength(bytes + i, count - i);
    if (length != 0) {
      i += length;
      k += length == 4 ? 2 : 1;
      continue;
    }
    uint32_t end = i + 1;
    while (end < count && wellFormedLength(bytes + end, count - end) == 0) end++;
    int made = MultiByteToWideChar(CP_UTF8, 0, reinterpret_cast<LPCSTR>(bytes + i),
                                   static_cast<int>(end - i), nullptr, 0);
    for (int n = 0; n < made && k < unitCount; n++, k++, found++) setBit(bits, k);
    i = end;
  }
  return found;
}

uint32_t markDoubleByte(const CPINFOEXA& info, uint32_t codePage, const uint8_t* bytes,
                        uint32_t count, const uint16_t* units, uint32_t unitCount, uint32_t* bits) {
  bool lead[256] = {};
  for (uint32_t r = 0; r + 1 < MAX_LEADBYTES && info.LeadByte[r] != 0; r += 2) {
    for (uint32_t b = info.LeadByte[r]; b <= info.LeadByte[r + 1]; b++) lead[b] = true;
  }
  // The bytes of the default character itself, which decode to it rightly.
  uint16_t fallback = info.UnicodeDefaultChar;
  uint8_t own[2];
  int ownLength = WideCharToMultiByte(codePage, 0, reinterpret_cast<LPCWSTR>(&fallback), 1,
                                      reinterpret_cast<LPSTR>(own), 2, nullptr, nullptr);
  uint32_t found = 0;
  for (uint32_t i = 0, k = 0; i < count && k < unitCount; k++) {
    uint32_t length = lead[bytes[i]] && i + 1 < count && bytes[i + 1] != 0 ? 2 : 1;
    bool itself = static_cast<int>(length) == ownLength && bytes[i] == own[0] &&
                  (length == 1 || bytes[i + 1] == own[1]);
    if (units[k] == fallback && !itself) {
      setBit(bits, k);
      found++;
    }
    i += length;
  }
  return found;
}

constexpr uint32_t kPiece = 64 * 1024;

// UTF-8 a piece at a time: whether the units hold U+FFFD, in *holds.
uint32_t decodeUtf8(const uint8_t* bytes, uint32_t count, uint16_t* units, bool* holds) {
  uint32_t written = 0;
  for (uint32_t i = 0; i < count;) {
    uint32_t end = count - i > kPiece ? i + kPiece : count;
    // Back to a byte that is no continuation byte: a character never has more
    // than three, so where four stand in a row no character is cut.
    for (uint32_t back = 0; end < count && back < 4; back++) {
      if ((bytes[end - back] & 0xC0) != 0x80) {
        end -= back;
        break;
      }
    }
    uint32_t made = convertUnits(bytes + i, end - i, kNarrow, units + written, kWide);
    if (made == 0) return 0;
    *holds = *holds || holdsUnit(units + written, made, kReplacementCharacter);
    written += made;
    i = end;
  }
  return written;
}

}  // namespace

uint32_t asciiSpan(const uint8_t* bytes, uint32_t count) {
  uint32_t i = 0;
  for (; count - i >= 8; i += 8) {
    uint64_t word;
    __builtin_memcpy(&word, bytes + i, 8);
    if ((word & 0x8080808080808080u) != 0) break;
  }
  while (i < count && bytes[i] < 0x80) i++;
  return i;
}

uint32_t decodeNotingLosses(const uint8_t* bytes, uint32_t count, uint16_t* units) {
  uint32_t codePage = conversionState.codePage;
  CPINFOEXA info;
  if (!GetCPInfoExA(codePage, 0, &info) || info.MaxCharSize < 2) {
    return convertUnits(bytes, count, kNarrow, units, kWide);
  }
  bool utf8 = codePageNumber(codePage) == CP_UTF8;
  uint32_t unitCount;
  bool holds = false;
  if (utf8) {
    unitCount = decodeUtf8(bytes, count, units, &holds);
  } else {
    unitCount = convertUnits(bytes, count, kNarrow, units, kWide);
    holds = holdsUnit(units, unitCount, info.UnicodeDefaultChar);
  }
  if (unitCount == 0 || !holds) return unitCount;
  if (MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, reinterpret_cast<LPCSTR>(bytes),
                          static_cast<int>(count), nullptr, 0) != 0) {
    return unitCount;
  }
  uint32_t* bits = newBits(unitCount);
  uint32_t found = utf8 ? markUtf8(bytes, count, unitCount, bits)
                        : markDoubleByte(info, codePage, bytes, count, units, unitCount, bits);
  if (found == 0) {
    rt_free(bits);
    return unitCount;
  }
  rt_free(textLosses.malformed);
  textLosses.malformed = bits;
  textLosses.malformedUnits = unitCount;
  return unitCount;
}

}  // namespace txmorph
